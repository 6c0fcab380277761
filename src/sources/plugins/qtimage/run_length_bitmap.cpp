#include "run_length_bitmap.h"

#include <algorithm>
#include <array>

#include "model/little_endian.h"

namespace tavrona::qtimage {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;

// Writes the pixels of the runs into the rows. x and y count from the bottom-left pixel; writes
// outside the picture are dropped, so no code can reach memory it should not.
class RowWriter {
 public:
  RowWriter(RunLengthPicture& picture, const std::array<uint32_t, 256>& colours, int colourCount)
      : picture_(picture),
        colours_(colours),
        colourCount_(colourCount),
        stride_((static_cast<size_t>(picture.width) * 24 + 31) / 32 * 4) {}

  void Put(uint32_t index) {
    if (x_ < picture_.width && y_ < picture_.height) {
      const uint32_t colour = static_cast<int>(index) < colourCount_ ? colours_[index] : 0;
      uint8_t* p =
          picture_.rows.data() + static_cast<size_t>(y_) * stride_ + static_cast<size_t>(x_) * 3;
      p[0] = static_cast<uint8_t>(colour);
      p[1] = static_cast<uint8_t>(colour >> 8);
      p[2] = static_cast<uint8_t>(colour >> 16);
    }
    if (x_ < picture_.width) ++x_;  // further pixels of a run past the edge stay cut off
  }
  void EndOfLine() {
    x_ = 0;
    ++y_;
  }
  void Move(int dx, int dy) {
    x_ = std::min<int64_t>(x_ + dx, picture_.width);
    y_ = std::min<int64_t>(y_ + dy, picture_.height);
  }
  bool Done() const { return y_ >= picture_.height; }

 private:
  RunLengthPicture& picture_;
  const std::array<uint32_t, 256>& colours_;
  int colourCount_;
  size_t stride_;
  int64_t x_ = 0;
  int64_t y_ = 0;
};

// Runs over codes[0, length). Each code is read only when all its bytes are there.
void DecodeRuns(const uint8_t* codes, size_t length, bool fourBit, RowWriter& out) {
  size_t i = 0;
  while (!out.Done() && i + 2 <= length) {
    const uint8_t count = codes[i];
    const uint8_t value = codes[i + 1];
    i += 2;
    if (count > 0) {  // a run of one index, or of two alternating 4-bit indices
      for (int k = 0; k < count; ++k) {
        out.Put(fourBit ? (k % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      }
      continue;
    }
    switch (value) {
      case 0:
        out.EndOfLine();
        break;
      case 1:
        return;  // end of the picture
      case 2:
        if (i + 2 > length) return;
        out.Move(codes[i], codes[i + 1]);
        i += 2;
        break;
      default: {  // value literal indices, padded to a 16-bit boundary
        const size_t bytes = fourBit ? (value + 1u) / 2 : value;
        const size_t available = std::min(bytes, length - i);
        for (int k = 0; k < value; ++k) {
          const size_t at = fourBit ? static_cast<size_t>(k) / 2 : static_cast<size_t>(k);
          if (at >= available) return;  // the data ends inside the literal run
          const uint8_t b = codes[i + at];
          out.Put(fourBit ? (k % 2 == 0 ? b >> 4 : b & 0x0F) : b);
        }
        i += (bytes + 1) / 2 * 2;
        break;
      }
    }
  }
}

}  // namespace

RunLengthResult DecodeRunLengthBitmap(const uint8_t* bytes, size_t length,
                                      RunLengthPicture& picture) {
  if (bytes == nullptr || length < kFileHeaderSize + 20 || LoadLe16(bytes) != 0x4D42) {
    return RunLengthResult::kNotRunLength;
  }
  const uint32_t headerSize = LoadLe32(bytes + 14);
  // The info header (40 bytes or longer) and the OS/2 2.x header (16 to 64) both put the
  // compression at offset 16 of the header; a 16-byte header ends before it.
  if (headerSize < 20 || headerSize > 124) return RunLengthResult::kNotRunLength;
  const uint32_t compression = LoadLe32(bytes + 30);
  const uint16_t bits = LoadLe16(bytes + 28);
  if (!((compression == kRle8 && bits == 8) || (compression == kRle4 && bits == 4))) {
    return RunLengthResult::kNotRunLength;
  }
  if (length < kFileHeaderSize + headerSize) return RunLengthResult::kInvalid;
  const int32_t width = static_cast<int32_t>(LoadLe32(bytes + 18));
  const int32_t height = static_cast<int32_t>(LoadLe32(bytes + 22));
  // Run-length pictures are always stored bottom-up.
  if (width <= 0 || height <= 0) return RunLengthResult::kInvalid;
  const size_t stride = (static_cast<size_t>(width) * 24 + 31) / 32 * 4;
  if (stride > kMaxRunLengthPictureBytes / static_cast<size_t>(height)) {
    return RunLengthResult::kInvalid;
  }

  // The colour table follows the header: the used count of 4-byte entries, or all 2^bits.
  const uint32_t full = 1u << bits;
  const uint32_t used = headerSize >= 36 ? LoadLe32(bytes + 46) : 0;
  const uint32_t entries = used != 0 ? std::min(used, full) : full;
  const size_t tableOffset = kFileHeaderSize + headerSize;
  if (length - tableOffset < static_cast<size_t>(entries) * 4) return RunLengthResult::kInvalid;
  std::array<uint32_t, 256> colours{};
  for (uint32_t k = 0; k < entries; ++k) {
    const uint8_t* e = bytes + tableOffset + k * 4;  // blue, green, red, reserved
    colours[k] = static_cast<uint32_t>(e[0]) | (static_cast<uint32_t>(e[1]) << 8) |
                 (static_cast<uint32_t>(e[2]) << 16);
  }

  const uint32_t pixelOffset = LoadLe32(bytes + 10);
  if (pixelOffset > length) return RunLengthResult::kInvalid;
  picture.width = width;
  picture.height = height;
  picture.rows.assign(stride * static_cast<size_t>(height), 0);  // every pixel starts black
  RowWriter writer(picture, colours, static_cast<int>(entries));
  DecodeRuns(bytes + pixelOffset, length - pixelOffset, compression == kRle4, writer);
  return RunLengthResult::kDecoded;
}

}  // namespace tavrona::qtimage
