// Writes BMP files for the tests, field by field, so that every variant (and every way of
// breaking one) can be produced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tavrona::testing {

struct BmpRecipe {
  uint32_t headerSize = 40;  // 12 (core), 16 to 64 (OS/2 2.x), 40, 52, 56, 108 (V4), 124 (V5)
  int32_t width = 1;
  int32_t height = 1;  // < 0: top-down
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t imageSize = 0;  // the header's field; 0 is allowed for uncompressed pictures
  uint32_t clrUsed = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB, written as RGBQUAD (RGBTRIPLE for core)
  std::vector<uint32_t> masks;    // written after a 40-byte header, inside longer ones
  uint32_t gapBeforePixels = 0;   // bytes between the table and the pixels
  // Raw pixel values, top row first: palette index, 16-bit word, 0xRRGGBB or 32-bit word.
  std::vector<std::vector<uint32_t>> rows;
};

inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

inline std::vector<uint8_t> PackRow(const BmpRecipe& s, const std::vector<uint32_t>& values) {
  std::vector<uint8_t> row;
  const size_t stride = (static_cast<size_t>(s.bitCount) * s.width + 31) / 32 * 4;
  if (s.bitCount < 8) {
    row.assign(stride, 0);
    const int perByte = 8 / s.bitCount;
    for (size_t x = 0; x < values.size(); ++x) {
      const int shift = 8 - s.bitCount * (static_cast<int>(x % perByte) + 1);
      row[x / perByte] |= static_cast<uint8_t>(values[x] << shift);
    }
    return row;
  }
  for (uint32_t v : values) {
    switch (s.bitCount) {
      case 8:
        row.push_back(static_cast<uint8_t>(v));
        break;
      case 16:
        Put16(row, v);
        break;
      case 24:
        row.push_back(v & 0xFF);
        row.push_back((v >> 8) & 0xFF);
        row.push_back(v >> 16);
        break;
      default:
        Put32(row, v);
        break;
    }
  }
  row.resize(stride, 0);
  return row;
}

inline std::vector<uint8_t> BuildBmp(const BmpRecipe& s) {
  std::vector<uint8_t> body;
  const bool core = s.headerSize == 12;
  Put32(body, s.headerSize);
  if (core) {
    Put16(body, s.width);
    Put16(body, s.height);
    Put16(body, 1);
    Put16(body, s.bitCount);
  } else {
    Put32(body, s.width);
    Put32(body, s.height);
    Put16(body, 1);
    Put16(body, s.bitCount);
    Put32(body, s.compression);
    Put32(body, s.imageSize);
    Put32(body, 2835);
    Put32(body, 2835);
    Put32(body, s.clrUsed);
    Put32(body, 0);
    if (s.headerSize > 40) {
      for (size_t i = 0; i < 4; ++i) Put32(body, i < s.masks.size() ? s.masks[i] : 0);
      body.resize(s.headerSize, 0);  // colour space and the rest: zero
    } else if (s.headerSize < 40) {
      body.resize(s.headerSize);  // a short OS/2 2.x header ends after the fields it has
    } else {
      for (uint32_t m : s.masks) Put32(body, m);
    }
  }
  for (uint32_t c : s.palette) {
    body.push_back(c & 0xFF);
    body.push_back((c >> 8) & 0xFF);
    body.push_back((c >> 16) & 0xFF);
    if (!core) body.push_back(0);
  }
  body.resize(body.size() + s.gapBeforePixels, 0xEE);
  const uint32_t pixelOffset = 14 + static_cast<uint32_t>(body.size());
  // Stored bottom-up unless the height is negative.
  for (size_t i = 0; i < s.rows.size(); ++i) {
    const size_t y = s.height < 0 ? i : s.rows.size() - 1 - i;
    const std::vector<uint8_t> row = PackRow(s, s.rows[y]);
    body.insert(body.end(), row.begin(), row.end());
  }
  std::vector<uint8_t> file{'B', 'M'};
  Put32(file, 14 + static_cast<uint32_t>(body.size()));
  Put32(file, 0);
  Put32(file, pixelOffset);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace tavrona::testing
