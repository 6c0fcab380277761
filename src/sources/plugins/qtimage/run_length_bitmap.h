// Run-length coded BMP files (8-bit and 4-bit runs), decoded by qtimage.spi itself rather than
// by Qt's reader: run-length codes may skip pixels (delta and end-of-line codes, an early end
// of the picture, a file cut short), and every skipped pixel has to come out black, the same on
// every run, which Qt's reader does not promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrona::qtimage {

enum class RunLengthResult {
  kNotRunLength,  // not a BMP file with 8- or 4-bit runs: another reader may try it
  kInvalid,       // a run-length BMP whose header or colour table cannot be used
  kDecoded,
};

// A decoded picture in the plug-in's output layout: 24 bits per pixel (bytes blue, green, red),
// rows bottom-up, each padded with zeros to a multiple of 4 bytes.
struct RunLengthPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rows;  // ((24 * width + 31) / 32) * 4 * height bytes
};

// Pictures larger than this many output bytes are refused (a few bytes of runs can claim any
// size).
inline constexpr size_t kMaxRunLengthPictureBytes = size_t{256} << 20;

// Decodes the BMP file held in bytes[0, length). Pixels that no run sets are 0 (black), and so
// are pixels whose colour index lies beyond the colour table. Runs that reach past the right
// edge are cut there; codes after the top row, or after the data ends, are not read.
RunLengthResult DecodeRunLengthBitmap(const uint8_t* bytes, size_t length,
                                      RunLengthPicture& picture);

}  // namespace tavrona::qtimage
