#include "sources/picture_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
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

bool CreateUntouchedPicture(FrameBuffer& buffer, int32_t width, int32_t height) {
  buffer.Release();
  if (width <= 0 || height <= 0) return false;
  const uint64_t imageSize = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
  if (imageSize > 0x7FFFFFFFu) return false;
  const size_t allocSize =
      (imageSize + kFrameBufferAlignment - 1) / kFrameBufferAlignment * kFrameBufferAlignment;
  void* memory = std::aligned_alloc(kFrameBufferAlignment, allocSize);
  if (memory == nullptr) return false;
  // Not memset: that would make every page resident only to give it back.
  ReturnPicturePages(static_cast<uint8_t*>(memory), allocSize);
  BITMAPINFOHEADER& h = buffer.header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = 32;
  h.biCompression = kBiRgb;
  h.biSizeImage = static_cast<uint32_t>(imageSize);
  buffer.pixels = static_cast<uint8_t*>(memory);
  buffer.byteSize = h.biSizeImage;
  return true;
}

}  // namespace tavrona
