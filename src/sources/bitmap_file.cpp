#include "sources/bitmap_file.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>

#include "model/little_endian.h"
#include "sources/read_only_file.h"

namespace tavrona {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2MinHeaderSize = 16;
constexpr uint32_t kOs2MaxHeaderSize = 64;

// Random access to the bytes of a BMP: a file or a block of memory. ReadAt yields exactly n
// bytes or fails.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  virtual bool ReadAt(uint64_t offset, void* destination, size_t n) = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* destination, size_t n) override {
    if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
    if (n > 0) std::memcpy(destination, bytes_.data() + offset, n);
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
};

class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& fileName) : file_(fileName) {}
  bool Ok() const { return file_.Ok(); }
  uint64_t Size() const override { return file_.Size(); }
  bool ReadAt(uint64_t offset, void* destination, size_t n) override {
    return file_.ReadAt(offset, destination, n);
  }

 private:
  ReadOnlyFile file_;
};

std::optional<DecodedPicture> Decode(ByteSource& source) {
  uint8_t fileHeader[kFileHeaderSize];
  if (!source.ReadAt(0, fileHeader, sizeof fileHeader)) return std::nullopt;
  if (LoadLe16(fileHeader) != 0x4D42) return std::nullopt;  // "BM"
  const uint32_t pixelOffset = LoadLe32(fileHeader + 10);

  uint8_t sizeField[4];
  if (!source.ReadAt(kFileHeaderSize, sizeField, sizeof sizeField)) return std::nullopt;
  const uint32_t headerSize = LoadLe32(sizeField);

  DecodedPicture picture;
  BITMAPINFOHEADER& h = picture.header;
  uint64_t tableOffset = 0;
  int entrySize = 4;
  if (headerSize == kCoreHeaderSize) {
    // The old core header: 16-bit unsigned sizes, always bottom-up, RGBTRIPLE colour table.
    uint8_t core[kCoreHeaderSize];
    if (!source.ReadAt(kFileHeaderSize, core, sizeof core)) return std::nullopt;
    h.biSize = kCoreHeaderSize;
    h.biWidth = LoadLe16(core + 4);
    h.biHeight = LoadLe16(core + 6);
    h.biPlanes = LoadLe16(core + 8);
    h.biBitCount = LoadLe16(core + 10);
    h.biCompression = kBiRgb;
    tableOffset = kFileHeaderSize + kCoreHeaderSize;
    entrySize = 3;
  } else {
    // The info header and its longer versions (52, 56, 108, 124 bytes), and the OS/2 2.x header
    // (16 to 64 bytes), whose first 40 bytes have the info header's layout and which may end
    // after any field: the fields it leaves out read as 0. Any other size is refused rather than
    // guessed at, so that the plug-ins get the file.
    const bool windows = headerSize == kInfoHeaderSize || headerSize == 52 || headerSize == 56 ||
                         headerSize == 108 || headerSize == 124;
    const bool os2 = !windows && headerSize >= kOs2MinHeaderSize && headerSize <= kOs2MaxHeaderSize;
    if (!windows && !os2) return std::nullopt;
    uint8_t info[kInfoHeaderSize] = {};
    if (!source.ReadAt(kFileHeaderSize, info, std::min(headerSize, kInfoHeaderSize))) {
      return std::nullopt;
    }
    std::memcpy(&h, info, sizeof h);
    // The colour table follows the header, however long the header is.
    tableOffset = kFileHeaderSize + headerSize;
    if (os2) {
      // OS/2 gives compression codes 3 and 4 other meanings (Huffman, 24-bit runs).
      if (h.biCompression != kBiRgb) return std::nullopt;
    } else if (h.biCompression == kBiBitFields || h.biCompression == kBiAlphaBitFields) {
      // Bit-field masks sit at offset 54 whatever the header: right after a 40-byte header,
      // or inside the longer ones, whose fields 40..51 are the same masks.
      h.biCompression = kBiBitFields;
      tableOffset = kFileHeaderSize + kInfoHeaderSize;
    }
  }

  const std::optional<uint32_t> byteCount = PictureByteCount(h);
  if (!byteCount) return std::nullopt;

  size_t tableBytes = 0;
  if (h.biBitCount <= 8) {
    const uint32_t full = 1u << h.biBitCount;
    const uint32_t used = (entrySize == 4 && h.biClrUsed != 0) ? h.biClrUsed : full;
    tableBytes = static_cast<size_t>(std::min(used, full)) * entrySize;
  } else if (h.biCompression == kBiBitFields) {
    tableBytes = 12;
  }
  uint8_t table[256 * 4];
  if (!source.ReadAt(tableOffset, table, tableBytes)) return std::nullopt;
  if (!ReadColourTable(picture, std::span<const uint8_t>(table, tableBytes), entrySize)) {
    return std::nullopt;
  }

  // The rows must all be there: check against the size before allocating, so that a header
  // that claims a huge picture costs nothing.
  if (static_cast<uint64_t>(pixelOffset) + *byteCount > source.Size()) return std::nullopt;
  picture.pixels.reset(new (std::nothrow) uint8_t[std::max<uint32_t>(*byteCount, 1)]);
  if (!picture.pixels) return std::nullopt;
  if (!source.ReadAt(pixelOffset, picture.pixels.get(), *byteCount)) return std::nullopt;
  h.biSize = kInfoHeaderSize;
  h.biSizeImage = *byteCount;
  return picture;
}

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit Channel(uint32_t m) : mask(m) {
    if (m != 0) {
      shift = std::countr_zero(m);
      bits = std::popcount(m);
    }
  }
  uint32_t Extract(uint32_t pixel) const {
    if (bits == 0) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return v >> (bits - 8);
    const uint32_t max = (1u << bits) - 1;
    return (v * 255 + max / 2) / max;
  }
};

void ConvertIndexedRow(const DecodedPicture& p, const uint8_t* src, uint32_t* dst) {
  const int bits = p.header.biBitCount;
  const int perByte = 8 / bits;
  const uint32_t indexMask = (1u << bits) - 1;
  const int32_t width = p.Width();
  for (int32_t x = 0; x < width; ++x) {
    const uint8_t byte = src[x / perByte];
    const int shift = 8 - bits * (x % perByte + 1);  // leftmost pixel in the high bits
    const uint32_t index = (byte >> shift) & indexMask;
    dst[x] = static_cast<int>(index) < p.colourCount ? p.colours[index] : 0;
  }
}

void ConvertBitFieldRow(const DecodedPicture& p, const uint8_t* src, uint32_t* dst,
                        const Channel (&c)[3]) {
  const int32_t width = p.Width();
  if (p.header.biBitCount == 16) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t v = LoadLe16(src + 2 * x);
      dst[x] = (c[0].Extract(v) << 16) | (c[1].Extract(v) << 8) | c[2].Extract(v);
    }
  } else {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t v = LoadLe32(src + 4 * x);
      dst[x] = (c[0].Extract(v) << 16) | (c[1].Extract(v) << 8) | c[2].Extract(v);
    }
  }
}

}  // namespace

std::optional<uint32_t> PictureByteCount(const BITMAPINFOHEADER& header) {
  if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) {
    return std::nullopt;
  }
  const uint16_t bits = header.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return std::nullopt;
  }
  if (header.biCompression != kBiRgb &&
      !(header.biCompression == kBiBitFields && (bits == 16 || bits == 32))) {
    return std::nullopt;
  }
  const uint64_t stride = (static_cast<uint64_t>(bits) * header.biWidth + 31) / 32 * 4;
  const uint64_t rows = header.biHeight < 0 ? -static_cast<int64_t>(header.biHeight)
                                            : static_cast<int64_t>(header.biHeight);
  const uint64_t count = stride * rows;
  if (count > static_cast<uint64_t>(INT32_MAX)) return std::nullopt;
  return static_cast<uint32_t>(count);
}

bool ReadColourTable(DecodedPicture& picture, std::span<const uint8_t> table, int entrySize) {
  const BITMAPINFOHEADER& h = picture.header;
  picture.colourCount = 0;
  picture.masks = {};
  if (h.biBitCount <= 8) {
    const size_t count = std::min<size_t>(table.size() / entrySize, size_t{1} << h.biBitCount);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = table.data() + i * entrySize;  // blue, green, red[, reserved]
      picture.colours[i] = (static_cast<uint32_t>(e[2]) << 16) | (e[1] << 8) | e[0];
    }
    picture.colourCount = static_cast<int>(count);
    return true;
  }
  if (h.biCompression != kBiBitFields) return true;
  if (table.size() < 12) return false;
  for (int i = 0; i < 3; ++i) {
    const uint32_t mask = LoadLe32(table.data() + 4 * i);
    if (h.biBitCount == 16 && (mask >> 16) != 0) return false;
    // One contiguous run of bits: shifted down to bit 0 it is 2^n - 1.
    if (mask != 0) {
      const uint32_t down = mask >> std::countr_zero(mask);
      if ((down & (down + 1)) != 0) return false;
    }
    picture.masks[i] = mask;
  }
  return true;
}

std::optional<DecodedPicture> DecodeBitmap(std::span<const uint8_t> bytes) {
  MemorySource source(bytes);
  return Decode(source);
}

std::optional<DecodedPicture> LoadBitmapFile(const std::filesystem::path& fileName) {
  FileSource source(fileName);
  if (!source.Ok()) return std::nullopt;
  return Decode(source);
}

bool ConvertTo32Bit(DecodedPicture& picture, FrameBuffer& buffer) {
  std::unique_ptr<uint8_t[]> pixels = std::move(picture.pixels);
  ReleaseFrameBuffer(buffer);
  const BITMAPINFOHEADER& h = picture.header;
  if (!pixels || !PictureByteCount(h)) return false;
  const int32_t width = picture.Width();
  const int32_t rows = picture.Rows();
  if (!CreateFrameBuffer(buffer, width, rows, 32)) {
    ReleaseFrameBuffer(buffer);
    return false;
  }
  const size_t stride = picture.Stride();
  const Channel channels[3] = {
      Channel(h.biCompression == kBiBitFields ? picture.masks[0]
                                              : (h.biBitCount == 16 ? 0x7C00u : 0xFF0000u)),
      Channel(h.biCompression == kBiBitFields ? picture.masks[1]
                                              : (h.biBitCount == 16 ? 0x03E0u : 0x00FF00u)),
      Channel(h.biCompression == kBiBitFields ? picture.masks[2]
                                              : (h.biBitCount == 16 ? 0x001Fu : 0x0000FFu)),
  };
  for (int32_t r = 0; r < rows; ++r) {
    // r counts memory rows of the result, bottom row first.
    const int32_t sourceRow = picture.TopDown() ? rows - 1 - r : r;
    const uint8_t* src = pixels.get() + static_cast<size_t>(sourceRow) * stride;
    uint32_t* dst = buffer.Words() + static_cast<size_t>(r) * width;
    switch (h.biBitCount) {
      case 1:
      case 4:
      case 8:
        ConvertIndexedRow(picture, src, dst);
        break;
      case 24:
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t* s = src + 3 * x;
          dst[x] = (static_cast<uint32_t>(s[2]) << 16) | (s[1] << 8) | s[0];
        }
        break;
      case 32:
        if (h.biCompression == kBiRgb) {
          std::memcpy(dst, src, static_cast<size_t>(width) * 4);
          break;
        }
        [[fallthrough]];
      default:  // 16 bits, or 32 with bit fields
        ConvertBitFieldRow(picture, src, dst, channels);
        break;
    }
  }
  return true;
}

}  // namespace tavrona
