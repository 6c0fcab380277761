// Uncompressed BMP files that end inside their pixel rows. Qt's reader accepts such a file and
// leaves the rows it could not read as whatever its freshly allocated picture held, so a
// picture would differ from run to run. The plug-in hands Qt the file padded to its full length
// instead, and afterwards blacks out every pixel whose bytes were not in the file: missing
// pixels come out black and the same on every run, as the run-length decoder makes them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrona::qtimage {

// Where the stored rows of an uncompressed BMP stop.
struct TruncatedBitmap {
  size_t fullLength = 0;  // the file's length with every row there: pixel offset + stride x rows
  int32_t width = 0;
  int32_t rows = 0;           // |height|
  bool topDown = false;       // stored row k is picture row k (else row rows - 1 - k)
  size_t completeRows = 0;    // stored rows whose bytes are all in the file
  int32_t partialPixels = 0;  // pixels of the next stored row whose bytes are all in the file
};

enum class TruncationResult {
  kNotTruncated,  // not an uncompressed BMP, or every row is there: hand the file on as it is
  kTooLarge,      // truncated, but the full picture would exceed kMaxTruncatedPictureBytes
  kTruncated,
};

// Pictures whose padded file or 24-bit output would exceed this many bytes are refused.
inline constexpr size_t kMaxTruncatedPictureBytes = size_t{256} << 20;

// Looks at the BMP file held in bytes[0, length): an uncompressed (BI_RGB or bit-field) picture
// of 1, 4, 8, 16, 24 or 32 bits whose pixel rows, at the file header's pixel offset, run past
// the end of the file. Fills bitmap for kTruncated.
TruncationResult FindTruncatedBitmap(const uint8_t* bytes, size_t length, TruncatedBitmap& bitmap);

// Sets to black every pixel of a picture in the plug-in's output layout (24 bits, rows bottom-up,
// stride bytes each, bitmap.width x bitmap.rows) whose bytes were not in the file.
void BlackOutMissingPixels(const TruncatedBitmap& bitmap, uint8_t* rows, size_t stride);

}  // namespace tavrona::qtimage
