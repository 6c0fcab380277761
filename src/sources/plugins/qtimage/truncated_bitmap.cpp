#include "truncated_bitmap.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "model/little_endian.h"

namespace tavrona::qtimage {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiAlphaBitFields = 6;

}  // namespace

TruncationResult FindTruncatedBitmap(const uint8_t* bytes, size_t length, TruncatedBitmap& bitmap) {
  if (bytes == nullptr || length < kFileHeaderSize + kCoreHeaderSize || LoadLe16(bytes) != 0x4D42) {
    return TruncationResult::kNotTruncated;
  }
  const uint32_t pixelOffset = LoadLe32(bytes + 10);
  const uint32_t headerSize = LoadLe32(bytes + 14);
  int64_t width = 0;
  int64_t height = 0;
  uint32_t bits = 0;
  uint32_t compression = kBiRgb;
  if (headerSize == kCoreHeaderSize) {
    width = LoadLe16(bytes + 18);
    height = LoadLe16(bytes + 20);
    bits = LoadLe16(bytes + 24);
  } else {
    // The info header and its longer versions, and the OS/2 2.x header (16 to 64 bytes), which
    // may end before the compression field: absent, it reads as BI_RGB.
    if (headerSize < 16 || headerSize > 124 || length < kFileHeaderSize + 16) {
      return TruncationResult::kNotTruncated;
    }
    width = static_cast<int32_t>(LoadLe32(bytes + 18));
    height = static_cast<int32_t>(LoadLe32(bytes + 22));
    bits = LoadLe16(bytes + 28);
    if (headerSize >= 20) {
      if (length < kFileHeaderSize + 20) return TruncationResult::kNotTruncated;
      compression = LoadLe32(bytes + 30);
    }
  }
  if (compression != kBiRgb && compression != kBiBitFields && compression != kBiAlphaBitFields) {
    return TruncationResult::kNotTruncated;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return TruncationResult::kNotTruncated;
  }
  if (width <= 0 || height == 0 || height == INT32_MIN) return TruncationResult::kNotTruncated;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  const uint64_t stride =
      (static_cast<uint64_t>(bits) * static_cast<uint64_t>(width) + 31) / 32 * 4;
  const uint64_t outputStride = (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4;
  // A file held in memory is far shorter than 2^62 bytes, so a picture larger than that is
  // truncated whatever the file holds (and is too large).
  const bool huge = stride > (uint64_t{1} << 62) / rows;
  const uint64_t fullLength = huge ? UINT64_MAX : pixelOffset + stride * rows;
  if (fullLength <= length) return TruncationResult::kNotTruncated;
  if (fullLength > kMaxTruncatedPictureBytes || outputStride > kMaxTruncatedPictureBytes / rows) {
    return TruncationResult::kTooLarge;
  }

  const uint64_t present = length > pixelOffset ? length - pixelOffset : 0;
  bitmap.fullLength = static_cast<size_t>(fullLength);
  bitmap.width = static_cast<int32_t>(width);
  bitmap.rows = static_cast<int32_t>(rows);
  bitmap.topDown = height < 0;
  bitmap.completeRows = static_cast<size_t>(present / stride);
  // Every row but the cut one is whole or absent; of the cut one, the pixels whose last bit is
  // inside the file.
  bitmap.partialPixels =
      static_cast<int32_t>(std::min<uint64_t>(present % stride * 8 / bits, bitmap.width));
  return TruncationResult::kTruncated;
}

void BlackOutMissingPixels(const TruncatedBitmap& bitmap, uint8_t* rows, size_t stride) {
  for (size_t stored = bitmap.completeRows; stored < static_cast<size_t>(bitmap.rows); ++stored) {
    // Output rows are bottom-up: a bottom-up file's stored row k is output row k.
    const size_t outputRow = bitmap.topDown ? bitmap.rows - 1 - stored : stored;
    const size_t firstMissing = stored == bitmap.completeRows ? bitmap.partialPixels : 0;
    uint8_t* row = rows + outputRow * stride;
    std::memset(row + firstMissing * 3, 0, (static_cast<size_t>(bitmap.width) - firstMissing) * 3);
  }
}

}  // namespace tavrona::qtimage
