// FrameBuffer: the one image type. 32 bits per pixel (0x00RRGGBB words, bytes B, G, R, 0),
// rows stored bottom-up like a device-independent bitmap, no row padding. Everything else
// uses top-down picture coordinates: pixel (x, y) is word (height - 1 - y) * width + x.
//
// The buffer owns plain, 64-byte-aligned memory at a stable address for its lifetime, so the
// kernels, text drawing and display can all wrap the same pixels without copying. Used on the
// user-interface thread only. Header-only: the project block embeds buffers by value.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "model/win_types.h"

namespace tavrona {

class FrameBuffer {
 public:
  FrameBuffer() = default;
  ~FrameBuffer() { Release(); }
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;
  FrameBuffer(FrameBuffer&& other) noexcept { *this = std::move(other); }
  FrameBuffer& operator=(FrameBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      header = other.header;
      colourEntry = other.colourEntry;
      pixels = std::exchange(other.pixels, nullptr);
      byteSize = std::exchange(other.byteSize, 0);
      other.header = {};
      other.colourEntry = 0;
    }
    return *this;
  }

  // Header as a 32-bit BI_RGB bitmap would carry it; all zero when empty.
  BITMAPINFOHEADER header{};
  uint32_t colourEntry = 0;   // the one colour-table entry; never used, always 0
  uint8_t* pixels = nullptr;  // first byte of the bottom row; null when empty
  uint32_t byteSize = 0;      // number of pixel bytes; 0 when empty

  bool Empty() const { return pixels == nullptr; }
  int32_t Width() const { return header.biWidth; }
  int32_t Height() const { return header.biHeight; }
  uint32_t* Words() { return reinterpret_cast<uint32_t*>(pixels); }
  const uint32_t* Words() const { return reinterpret_cast<const uint32_t*>(pixels); }
  // Pointer to the top row; walk down the picture by subtracting Width() words.
  uint32_t* TopRow() { return Words() + static_cast<size_t>(Height() - 1) * Width(); }
  const uint32_t* TopRow() const {
    return Words() + static_cast<size_t>(Height() - 1) * Width();
  }
  // Pixel (x, y) in top-down picture coordinates.
  uint32_t& At(int x, int y) { return Words()[static_cast<size_t>(Height() - 1 - y) * Width() + x]; }
  uint32_t At(int x, int y) const {
    return Words()[static_cast<size_t>(Height() - 1 - y) * Width() + x];
  }

  void Release() {
    std::free(pixels);
    pixels = nullptr;
    byteSize = 0;
    header = {};
    colourEntry = 0;
  }
};

inline constexpr size_t kFrameBufferAlignment = 64;

// Makes the buffer empty. A buffer that holds memory releases it.
inline void InitFrameBuffer(FrameBuffer& buffer) { buffer.Release(); }

inline void ReleaseFrameBuffer(FrameBuffer& buffer) { buffer.Release(); }

// Releases what the buffer holds, then allocates zeroed pixels for width x height at bitCount
// bits per pixel. On failure (non-positive size, a size beyond 32 bits, no memory) the buffer
// has no pixels and byte size 0, and the header keeps the requested values.
inline bool CreateFrameBuffer(FrameBuffer& buffer, int32_t width, int32_t height,
                              int bitCount = 32) {
  buffer.Release();
  BITMAPINFOHEADER& h = buffer.header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<uint16_t>(bitCount);
  h.biCompression = kBiRgb;
  if (width <= 0 || height <= 0 || bitCount <= 0) return false;
  const uint64_t rowBytes = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
  const uint64_t imageSize = rowBytes * static_cast<uint64_t>(height);
  if (imageSize > 0x7FFFFFFFu) return false;
  h.biSizeImage = static_cast<uint32_t>(imageSize);
  const size_t allocSize =
      (imageSize + kFrameBufferAlignment - 1) / kFrameBufferAlignment * kFrameBufferAlignment;
  void* memory = std::aligned_alloc(kFrameBufferAlignment, allocSize);
  if (memory == nullptr) return false;
  std::memset(memory, 0, allocSize);
  buffer.pixels = static_cast<uint8_t*>(memory);
  buffer.byteSize = h.biSizeImage;
  return true;
}

// A project colour 0x00BBGGRR as a pixel word 0x00RRGGBB.
constexpr uint32_t ProjectColourToPixel(uint32_t colour) {
  return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

// Sets every pixel to the project colour 0x00BBGGRR (fourth byte 0).
// The plain loop over every word stays scalar at -O2 and cost a few percent of an export:
// one block is filled word by word and copied on, which runs at memory speed.
inline void FillFrameBuffer(FrameBuffer& buffer, uint32_t colour) {
  const uint32_t pixel = ProjectColourToPixel(colour);
  uint32_t* words = buffer.Words();
  const uint32_t n = buffer.byteSize / 4;
  constexpr uint32_t kBlock = 1024;
  const uint32_t block = std::min(n, kBlock);
  for (uint32_t i = 0; i < block; ++i) words[i] = pixel;
  for (uint32_t done = block; done < n; done += block) {
    std::memcpy(words + done, words, std::min(block, n - done) * sizeof(uint32_t));
  }
}

}  // namespace tavrona
