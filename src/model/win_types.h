// Fixed-layout records shared with files and the clipboard. Their byte layouts are those of
// the Windows structures of the same name, little-endian, so project files and clipboard
// payloads stay interchangeable with the original format.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace tavrona {

static_assert(std::endian::native == std::endian::little,
              "records are read and written in place: a little-endian host is required");

inline constexpr int kLfFaceSize = 32;

// The logical font of a text source (92 bytes).
struct LOGFONTW {
  int32_t lfHeight;  // < 0: character height in pixels; > 0: cell height; 0: default
  int32_t lfWidth;
  int32_t lfEscapement;
  int32_t lfOrientation;
  int32_t lfWeight;  // 0 = default, 400 normal, 700 bold
  uint8_t lfItalic;
  uint8_t lfUnderline;
  uint8_t lfStrikeOut;
  uint8_t lfCharSet;
  uint8_t lfOutPrecision;
  uint8_t lfClipPrecision;
  uint8_t lfQuality;
  uint8_t lfPitchAndFamily;
  char16_t lfFaceName[kLfFaceSize];  // UTF-16, terminated
};
static_assert(sizeof(LOGFONTW) == 92);
static_assert(offsetof(LOGFONTW, lfWeight) == 16);
static_assert(offsetof(LOGFONTW, lfItalic) == 20);
static_assert(offsetof(LOGFONTW, lfCharSet) == 23);
static_assert(offsetof(LOGFONTW, lfPitchAndFamily) == 27);
static_assert(offsetof(LOGFONTW, lfFaceName) == 28);

inline constexpr uint32_t kBiRgb = 0;

// The device-independent bitmap header (40 bytes).
struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;  // > 0: rows stored bottom-up
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == 12);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14);
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36);

}  // namespace tavrona
