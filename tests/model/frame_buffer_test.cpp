#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "model/frame_buffer.h"

namespace tavrona {
namespace {

TEST(FrameBufferTest, GeometryAndHeader) {
  FrameBuffer b;
  ASSERT_TRUE(CreateFrameBuffer(b, 321, 240, 32));
  EXPECT_EQ(b.byteSize, 308'160u);
  EXPECT_EQ(b.header.biSize, 40u);
  EXPECT_EQ(b.header.biWidth, 321);
  EXPECT_EQ(b.header.biHeight, 240);
  EXPECT_EQ(b.header.biPlanes, 1);
  EXPECT_EQ(b.header.biBitCount, 32);
  EXPECT_EQ(b.header.biCompression, 0u);
  EXPECT_EQ(b.header.biSizeImage, 308'160u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b.pixels) % kFrameBufferAlignment, 0u);
  // Top-left pixel is the first pixel of the last row in memory.
  EXPECT_EQ(&b.At(0, 0), b.Words() + 239 * 321);
  EXPECT_EQ(b.TopRow(), b.Words() + 239 * 321);
  EXPECT_EQ(&b.At(0, 239), b.Words());
  for (uint32_t i = 0; i < b.byteSize; ++i) ASSERT_EQ(b.pixels[i], 0);  // created zeroed
}

TEST(FrameBufferTest, FillSwapsProjectColourIntoPixelOrder) {
  FrameBuffer b;
  ASSERT_TRUE(CreateFrameBuffer(b, 3, 2));
  FillFrameBuffer(b, 0x00FF8040);
  const uint8_t expected[4] = {0xFF, 0x80, 0x40, 0x00};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(std::memcmp(b.pixels + 4 * i, expected, 4), 0);
    EXPECT_EQ(b.Words()[i], 0x004080FFu);
  }
  // The high byte of a project colour never reaches the pixel.
  FillFrameBuffer(b, 0xFF000001);
  EXPECT_EQ(b.Words()[0], 0x00010000u);
}

// Frames larger than the block the fill starts from, by a whole number of blocks or not.
TEST(FrameBufferTest, FillReachesEveryWordOfLargeFrames) {
  for (const auto [width, height] : {std::pair{32, 32}, std::pair{33, 33}, std::pair{1280, 720}}) {
    SCOPED_TRACE(::testing::Message() << width << " x " << height);
    FrameBuffer b;
    ASSERT_TRUE(CreateFrameBuffer(b, width, height));
    FillFrameBuffer(b, 0x00123456);
    const uint32_t n = b.byteSize / 4;
    for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(b.Words()[i], 0x00563412u) << "word " << i;
  }
}

TEST(FrameBufferTest, OneByOne) {
  FrameBuffer b;
  ASSERT_TRUE(CreateFrameBuffer(b, 1, 1));
  EXPECT_EQ(b.byteSize, 4u);
  FillFrameBuffer(b, 0x00030201);
  EXPECT_EQ(b.Words()[0], 0x00010203u);
}

TEST(FrameBufferTest, RecreateReleasesFirstAlsoOnFailure) {
  FrameBuffer b;
  ASSERT_TRUE(CreateFrameBuffer(b, 8, 8));
  ASSERT_FALSE(CreateFrameBuffer(b, 0, 8));
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.byteSize, 0u);
  EXPECT_EQ(b.header.biWidth, 0);  // the requested values stay in the header
  EXPECT_EQ(b.header.biHeight, 8);
  EXPECT_FALSE(CreateFrameBuffer(b, 100000, 100000));  // beyond what a bitmap can hold
  EXPECT_TRUE(b.Empty());
  EXPECT_FALSE(CreateFrameBuffer(b, -4, 4));
  ASSERT_TRUE(CreateFrameBuffer(b, 2, 2));
  EXPECT_EQ(b.byteSize, 16u);
  ReleaseFrameBuffer(b);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.header.biSize, 0u);
  ReleaseFrameBuffer(b);  // releasing twice is harmless
}

TEST(FrameBufferTest, MoveTransfersOwnership) {
  FrameBuffer a;
  ASSERT_TRUE(CreateFrameBuffer(a, 4, 4));
  uint8_t* pixels = a.pixels;
  FrameBuffer b(std::move(a));
  EXPECT_TRUE(a.Empty());
  EXPECT_EQ(a.header.biWidth, 0);
  EXPECT_EQ(b.pixels, pixels);
  EXPECT_EQ(b.Width(), 4);
}

}  // namespace
}  // namespace tavrona
