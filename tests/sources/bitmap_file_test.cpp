#include "sources/bitmap_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "bmp_builder.h"

namespace tavrona {
namespace {

using testing::BmpRecipe;
using testing::BuildBmp;

// Decodes bytes and converts them to 32 bits; fails the test when either step fails.
FrameBuffer DecodeTo32(const std::vector<uint8_t>& bytes) {
  FrameBuffer buffer;
  std::optional<DecodedPicture> picture = DecodeBitmap(bytes);
  EXPECT_TRUE(picture.has_value());
  if (picture) {
    EXPECT_TRUE(ConvertTo32Bit(*picture, buffer));
  }
  return buffer;
}

// Compares every pixel of buffer with the expected words, top row first.
void ExpectPixels(const FrameBuffer& buffer, const std::vector<std::vector<uint32_t>>& expected) {
  ASSERT_FALSE(buffer.Empty());
  ASSERT_EQ(buffer.Height(), static_cast<int32_t>(expected.size()));
  ASSERT_EQ(buffer.Width(), static_cast<int32_t>(expected[0].size()));
  EXPECT_EQ(buffer.header.biBitCount, 32);
  EXPECT_EQ(buffer.byteSize, static_cast<uint32_t>(buffer.Width() * 4 * buffer.Height()));
  for (size_t y = 0; y < expected.size(); ++y) {
    for (size_t x = 0; x < expected[y].size(); ++x) {
      ASSERT_EQ(buffer.At(static_cast<int>(x), static_cast<int>(y)), expected[y][x])
          << "pixel (" << x << ", " << y << ")";
    }
  }
}

// Palette lookups of an index grid.
std::vector<std::vector<uint32_t>> Lookup(const std::vector<std::vector<uint32_t>>& indices,
                                          const std::vector<uint32_t>& palette) {
  auto out = indices;
  for (auto& row : out) {
    for (uint32_t& v : row) v = v < palette.size() ? palette[v] : 0;
  }
  return out;
}

// A grid of indices that differ from row to row and column to column.
std::vector<std::vector<uint32_t>> IndexGrid(int width, int height, uint32_t modulo) {
  std::vector<std::vector<uint32_t>> rows(height, std::vector<uint32_t>(width));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) rows[y][x] = (x * 7 + y * 3 + x * y) % modulo;
  }
  return rows;
}

std::vector<uint32_t> Palette(int count) {
  std::vector<uint32_t> palette;
  for (int i = 0; i < count; ++i) {
    palette.push_back((static_cast<uint32_t>(i * 37 % 256) << 16) |
                      (static_cast<uint32_t>(255 - i) << 8) | static_cast<uint32_t>(i * 11 % 256));
  }
  return palette;
}

TEST(BitmapFileTest, IndexedPicturesUseTheirWholeColourTable) {
  struct Case {
    uint16_t bits;
    int width;
    int height;
  };
  // Odd widths, so every row carries padding; both row orders.
  for (const Case c : {Case{1, 13, 3}, Case{1, 33, -2}, Case{4, 5, 4}, Case{4, 7, -3},
                       Case{8, 3, 5}, Case{8, 257, -2}}) {
    SCOPED_TRACE(::testing::Message() << c.bits << " bits, " << c.width << " x " << c.height);
    BmpRecipe recipe;
    recipe.bitCount = c.bits;
    recipe.width = c.width;
    recipe.height = c.height;
    recipe.palette = Palette(1 << c.bits);
    recipe.rows = IndexGrid(c.width, std::abs(c.height), 1u << c.bits);
    ExpectPixels(DecodeTo32(BuildBmp(recipe)), Lookup(recipe.rows, recipe.palette));
  }
}

TEST(BitmapFileTest, ShortColourTableGivesBlackBeyondItsEnd) {
  BmpRecipe recipe;
  recipe.bitCount = 8;
  recipe.width = 3;
  recipe.height = 2;
  recipe.clrUsed = 3;
  recipe.palette = {0x112233, 0x445566, 0x778899};
  recipe.gapBeforePixels = 5;  // the pixel offset, not the table's end, locates the rows
  recipe.rows = {{0, 1, 2}, {3, 200, 1}};
  ExpectPixels(DecodeTo32(BuildBmp(recipe)), {{0x112233, 0x445566, 0x778899}, {0, 0, 0x445566}});
}

TEST(BitmapFileTest, SixteenBitPixels) {
  // 5-5-5 without masks: the top bit is unused, channels scale to the full 0..255 range.
  BmpRecipe rgb555;
  rgb555.bitCount = 16;
  rgb555.width = 3;
  rgb555.height = 2;
  rgb555.rows = {{0x7FFF, 0x7C00, 0x0001}, {0x4210, 0x8000, 0x03E0}};
  ExpectPixels(DecodeTo32(BuildBmp(rgb555)),
               {{0xFFFFFF, 0xFF0000, 0x000008}, {0x848484, 0x000000, 0x00FF00}});

  // 5-6-5 bit fields, masks after a 40-byte header and inside a 108-byte one.
  for (uint32_t headerSize : {40u, 108u, 124u}) {
    SCOPED_TRACE(headerSize);
    BmpRecipe rgb565;
    rgb565.headerSize = headerSize;
    rgb565.bitCount = 16;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.width = 3;
    rgb565.height = -2;
    rgb565.rows = {{0xF800, 0x07E0, 0x001F}, {0x0020, 0x0800, 0xFFFF}};
    ExpectPixels(DecodeTo32(BuildBmp(rgb565)),
                 {{0xFF0000, 0x00FF00, 0x0000FF}, {0x000400, 0x080000, 0xFFFFFF}});
  }
}

TEST(BitmapFileTest, TwentyFourBitPicturesInBothRowOrders) {
  for (int32_t height : {3, -3}) {
    BmpRecipe recipe;
    recipe.width = 3;  // 9 bytes of pixels, 3 of padding per row
    recipe.height = height;
    recipe.rows = {
        {0x010203, 0x040506, 0x070809}, {0xFF0000, 0x00FF00, 0x0000FF}, {0, 0xFFFFFF, 0x808080}};
    ExpectPixels(DecodeTo32(BuildBmp(recipe)), recipe.rows);
  }
}

TEST(BitmapFileTest, ThirtyTwoBitPictures) {
  // Plain 32-bit pixels are copied whole, fourth byte included.
  BmpRecipe plain;
  plain.bitCount = 32;
  plain.width = 2;
  plain.height = 1;
  plain.rows = {{0x44332211, 0x00ABCDEF}};
  ExpectPixels(DecodeTo32(BuildBmp(plain)), plain.rows);

  // Bit fields: the masks pick the channels; what lies outside them is dropped.
  BmpRecipe fields = plain;
  fields.compression = 3;
  fields.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the low byte
  fields.rows = {{0xAA332211, 0x00ABCDEF}};
  ExpectPixels(DecodeTo32(BuildBmp(fields)), {{0x112233, 0xEFCDAB}});

  BmpRecipe tenBit = fields;
  tenBit.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
  tenBit.rows = {{0x3FFFFFFF, (0x200u << 20) | (0x100u << 10) | 0x004u}};
  ExpectPixels(DecodeTo32(BuildBmp(tenBit)), {{0xFFFFFF, 0x804001}});
}

TEST(BitmapFileTest, OldCoreHeader) {
  BmpRecipe recipe;
  recipe.headerSize = 12;
  recipe.bitCount = 8;
  recipe.width = 3;
  recipe.height = 2;
  recipe.palette = Palette(256);
  recipe.rows = {{0, 1, 255}, {128, 7, 3}};
  ExpectPixels(DecodeTo32(BuildBmp(recipe)), Lookup(recipe.rows, recipe.palette));

  recipe.bitCount = 24;
  recipe.palette.clear();
  recipe.rows = {{0x123456, 0xABCDEF, 1}, {2, 3, 4}};
  ExpectPixels(DecodeTo32(BuildBmp(recipe)), recipe.rows);
}

BmpRecipe ValidEightBit() {
  BmpRecipe recipe;
  recipe.bitCount = 8;
  recipe.width = 5;
  recipe.height = 3;
  recipe.palette = Palette(4);
  recipe.clrUsed = 4;
  recipe.rows = IndexGrid(5, 3, 4);
  return recipe;
}

// The colour table follows the header directly, whatever its size: a 16-byte OS/2 2.x header
// puts it at offset 30, not 54.
TEST(BitmapFileTest, ColourTableFollowsEveryHeaderSize) {
  for (uint32_t headerSize : {12u, 16u, 20u, 24u, 36u, 40u, 52u, 56u, 64u, 108u, 124u}) {
    for (uint16_t bits : {1, 4, 8}) {
      SCOPED_TRACE(::testing::Message() << headerSize << "-byte header, " << bits << " bits");
      BmpRecipe recipe;
      recipe.headerSize = headerSize;
      recipe.bitCount = bits;
      recipe.width = 7;
      recipe.height = 3;
      recipe.palette = Palette(1 << bits);
      recipe.rows = IndexGrid(7, 3, 1u << bits);
      ExpectPixels(DecodeTo32(BuildBmp(recipe)), Lookup(recipe.rows, recipe.palette));
    }
  }
  // A 24-bit picture after a short header: the pixels are found through the pixel offset.
  BmpRecipe rgb;
  rgb.headerSize = 16;
  rgb.width = 2;
  rgb.rows = {{0x102030, 0xA0B0C0}};
  ExpectPixels(DecodeTo32(BuildBmp(rgb)), rgb.rows);
}

TEST(BitmapFileTest, UnknownHeaderSizesAndOs2CompressionAreRefused) {
  for (uint32_t headerSize : {0u, 4u, 13u, 15u, 65u, 100u, 128u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> bytes = BuildBmp(ValidEightBit());
    for (int i = 0; i < 4; ++i) bytes[14 + i] = static_cast<uint8_t>(headerSize >> (8 * i));
    EXPECT_FALSE(DecodeBitmap(bytes)) << headerSize;
  }
  // In an OS/2 header, compression 3 is Huffman coding, not bit fields.
  BmpRecipe os2;
  os2.headerSize = 64;
  os2.bitCount = 16;
  os2.compression = 3;
  os2.width = 2;
  os2.rows = {{1, 2}};
  os2.masks = {0xF800, 0x07E0, 0x001F};
  EXPECT_FALSE(DecodeBitmap(BuildBmp(os2)));
  os2.headerSize = 56;  // the same fields in a Windows header are masks
  EXPECT_TRUE(DecodeBitmap(BuildBmp(os2)));
}

TEST(BitmapFileTest, EveryTruncationIsRefused) {
  const std::vector<uint8_t> whole = BuildBmp(ValidEightBit());
  ASSERT_TRUE(DecodeBitmap(whole));
  for (size_t n = 0; n < whole.size(); ++n) {
    // A copy of exactly n bytes, so that reading past it is caught by the sanitizers.
    const std::vector<uint8_t> prefix(whole.begin(), whole.begin() + n);
    EXPECT_FALSE(DecodeBitmap(prefix)) << n << " bytes";
  }
}

TEST(BitmapFileTest, MalformedHeadersAreRefused) {
  auto refused = [](BmpRecipe recipe, auto change) {
    std::vector<uint8_t> bytes = BuildBmp(recipe);
    change(bytes, recipe);
    return !DecodeBitmap(bytes).has_value();
  };
  auto poke32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  auto none = [](std::vector<uint8_t>&, BmpRecipe&) {};
  const BmpRecipe valid = ValidEightBit();
  EXPECT_TRUE(refused(valid, [](auto& b, auto&) { b[0] = 'X'; }));
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) { poke32(b, 18, 0); }));   // width 0
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) { poke32(b, 18, -5); }));  // width < 0
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) { poke32(b, 22, 0); }));   // height 0
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) { poke32(b, 22, INT32_MIN); }));
  EXPECT_TRUE(refused(valid, [](auto& b, auto&) { b[28] = 7; }));                    // 7 bits
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) { poke32(b, 30, 1); }));            // RLE8
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) { poke32(b, 10, 0xFFFFFFF0u); }));  // offset
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) { poke32(b, 46, 256); }));          // table
  // Sizes that claim far more pixels than the file holds cost nothing and fail.
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) {
    poke32(b, 18, 30000);
    poke32(b, 22, 30000);
  }));
  EXPECT_TRUE(refused(valid, [&](auto& b, auto&) { poke32(b, 18, INT32_MAX); }));

  BmpRecipe fields;
  fields.bitCount = 16;
  fields.compression = 3;
  fields.width = 2;
  fields.rows = {{1, 2}};
  fields.masks = {0xF800, 0x07E0, 0x001F};
  EXPECT_FALSE(refused(fields, none));
  fields.masks = {0xF000 | 0x0400, 0x03E0, 0x001F};  // not one run of bits
  EXPECT_TRUE(refused(fields, none));
  fields.masks = {0x1F0000, 0x07E0, 0x001F};  // beyond 16 bits
  EXPECT_TRUE(refused(fields, none));
  fields.masks = {0xFF0000, 0xFF00, 0xFF};
  fields.bitCount = 24;  // bit fields need 16 or 32 bits
  fields.rows = {{1, 2}};
  EXPECT_TRUE(refused(fields, none));
}

TEST(BitmapFileTest, ConvertRefusesAPictureItCannotHold) {
  DecodedPicture picture;
  picture.header.biWidth = 2;
  picture.header.biHeight = 2;
  picture.header.biBitCount = 12;
  picture.pixels.reset(new uint8_t[16]());
  FrameBuffer buffer;
  ASSERT_TRUE(CreateFrameBuffer(buffer, 4, 4));
  EXPECT_FALSE(ConvertTo32Bit(picture, buffer));
  EXPECT_TRUE(buffer.Empty());
  EXPECT_EQ(buffer.byteSize, 0u);
  EXPECT_EQ(picture.pixels, nullptr);  // released either way
}

TEST(BitmapFileTest, LoadsFromFilesOnly) {
  const auto folder = std::filesystem::temp_directory_path() / "tavrona_bitmap_file_test";
  std::filesystem::create_directories(folder);
  const auto file = folder / "picture.bmp";
  testing::WriteFile(file, BuildBmp(ValidEightBit()));
  const std::optional<DecodedPicture> picture = LoadBitmapFile(file);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Width(), 5);
  EXPECT_EQ(picture->Rows(), 3);
  EXPECT_FALSE(LoadBitmapFile(folder / "missing.bmp"));
  EXPECT_FALSE(LoadBitmapFile(folder));  // a directory
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tavrona
