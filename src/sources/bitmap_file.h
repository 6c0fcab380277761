// The still image reader's own half: Windows BMP files, and the conversion of any decoded
// picture (from a BMP file or an image plug-in) into a 32-bit FrameBuffer.
//
// No Qt and no plug-ins here, so the fuzz target can build this file on its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "model/frame_buffer.h"
#include "model/win_types.h"

namespace tavrona {

inline constexpr uint32_t kBiBitFields = 3;
inline constexpr uint32_t kBiAlphaBitFields = 6;

// A picture as a decoder delivers it: a device-independent bitmap of any bit depth.
struct DecodedPicture {
  // Width > 0; height != 0, negative when the rows are stored top-down. Bit count 1, 4, 8, 16,
  // 24 or 32; compression kBiRgb or kBiBitFields (the latter with 16 or 32 bits only).
  BITMAPINFOHEADER header{};
  // 1, 4 and 8 bits: the colour table as pixel words 0x00RRGGBB; indices at or beyond
  // colourCount give black.
  std::array<uint32_t, 256> colours{};
  int colourCount = 0;
  // kBiBitFields: red, green and blue masks, each one contiguous run of bits (or 0).
  std::array<uint32_t, 3> masks{};
  // Stride() * |height| bytes, rows in the order the height's sign says.
  std::unique_ptr<uint8_t[]> pixels;

  int32_t Width() const { return header.biWidth; }
  int32_t Rows() const { return header.biHeight < 0 ? -header.biHeight : header.biHeight; }
  bool TopDown() const { return header.biHeight < 0; }
  // Bytes per row: ((bit count x width + 31) / 32) x 4.
  size_t Stride() const {
    return static_cast<size_t>((static_cast<uint64_t>(header.biBitCount) * Width() + 31) / 32 * 4);
  }
};

// Checks the header fields of a picture (width, height, bit count, compression and their
// combination) and returns the pixel byte count stride x |height|, or nullopt when the header
// is not one ConvertTo32Bit handles or the count exceeds 2^31 - 1.
std::optional<uint32_t> PictureByteCount(const BITMAPINFOHEADER& header);

// Fills colours/colourCount (1, 4, 8 bits) or masks (bit fields) from the bytes that follow
// a header, entries of entrySize bytes (4 for RGBQUAD, 3 for the old core header's RGBTRIPLE).
// For bit fields, table must hold the three masks. False when the table is too short or a mask
// is not one contiguous run of bits.
bool ReadColourTable(DecodedPicture& picture, std::span<const uint8_t> table, int entrySize);

// Decodes a BMP file held in memory: file header "BM", an info header (the 12-byte core header,
// the 40-byte info header or its 52-, 56-, 108- and 124-byte versions, or an OS/2 2.x header of
// 16 to 64 bytes), the colour table or masks right after the header, the pixel rows at the file
// header's pixel offset. Uncompressed (BI_RGB) and bit-field pictures of 1, 4, 8, 16, 24 and 32
// bits, bottom-up or top-down. Any other header size, anything truncated, inconsistent or
// compressed otherwise yields nullopt; nothing is read outside bytes and nothing is allocated
// beyond what bytes can fill.
std::optional<DecodedPicture> DecodeBitmap(std::span<const uint8_t> bytes);

// Reads a BMP file. Only the headers, the colour table and the pixel rows are read, never more
// than the file holds. nullopt when the file cannot be read or is not a BMP DecodeBitmap accepts.
std::optional<DecodedPicture> LoadBitmapFile(const std::filesystem::path& fileName);

// Converts the picture into a 32-bit buffer of the same width and height (rows bottom-up). Each
// pixel becomes blue, green, red and a fourth byte of 0, except that 32-bit BI_RGB pixels are
// copied whole. On failure (a header PictureByteCount refuses, too large a result) the buffer is
// empty and the result false. The picture's pixels are released either way.
bool ConvertTo32Bit(DecodedPicture& picture, FrameBuffer& buffer);

}  // namespace tavrona
