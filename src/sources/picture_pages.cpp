#include "sources/picture_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace tavrona {

void ReturnPicturePages(uint8_t* pixels, size_t byteCount) {
  if (pixels == nullptr || byteCount == 0) return;
  const long pageSize = sysconf(_SC_PAGESIZE);
  const uintptr_t page = pageSize > 0 ? static_cast<uintptr_t>(pageSize) : 4096;
  const uintptr_t begin = reinterpret_cast<uintptr_t>(pixels);
  const uintptr_t end = begin + byteCount;
  const uintptr_t firstWhole = (begin + page - 1) / page * page;
  const uintptr_t lastWhole = end / page * page;
  if (firstWhole >= lastWhole ||
      madvise(reinterpret_cast<void*>(firstWhole), lastWhole - firstWhole, MADV_DONTNEED) != 0) {
    std::memset(pixels, 0, byteCount);  // no whole page, or the system refused: clear it all
    return;
  }
  std::memset(pixels, 0, firstWhole - begin);
  std::memset(reinterpret_cast<uint8_t*>(lastWhole), 0, end - lastWhole);
}

}  // namespace tavrona
