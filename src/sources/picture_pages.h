// Giving the memory of a picture back to the system without freeing the picture.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrona {

// Sets the byteCount bytes at pixels to zero, as memset would, and gives the whole pages among
// them back to the system: they hold no memory until written again (MADV_DONTNEED; heap memory
// is private and anonymous, so those pages read as zeros afterwards). The partial pages at
// either end are cleared in place. The buffer stays allocated and owned by its owner. A null
// pointer or a count of 0 does nothing.
void ReturnPicturePages(uint8_t* pixels, size_t byteCount);

}  // namespace tavrona
