// Giving the memory of a picture back to the system without freeing the picture.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/frame_buffer.h"

namespace tavrona {

// Sets the byteCount bytes at pixels to zero, as memset would, and gives the whole pages among
// them back to the system: they hold no memory until written again (MADV_DONTNEED; heap memory
// is private and anonymous, so those pages read as zeros afterwards). The partial pages at
// either end are cleared in place. The buffer stays allocated and owned by its owner. A null
// pointer or a count of 0 does nothing.
void ReturnPicturePages(uint8_t* pixels, size_t byteCount);

// CreateFrameBuffer for a 32-bit picture whose pixels read as zeros but hold no memory until
// written: a movie's picture, of which a project may hold a thousand at 8 MB each. Fails as
// CreateFrameBuffer does (non-positive or too large a size, no memory), leaving the buffer
// empty.
bool CreateUntouchedPicture(FrameBuffer& buffer, int32_t width, int32_t height);

}  // namespace tavrona
