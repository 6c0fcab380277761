#include <gtest/gtest.h>

#include <cstring>

#include "render/bitmap_save.h"

namespace tavrona {
namespace {

template <class T>
T Get(const std::string& s, size_t offset) {
  T v;
  std::memcpy(&v, s.data() + offset, sizeof v);
  return v;
}

TEST(BitmapSaveTest, HeadersAndBottomUpPixels) {
  FrameBuffer b;
  ASSERT_TRUE(CreateFrameBuffer(b, 3, 2));
  b.At(0, 0) = 0x00112233;  // top-left
  b.At(2, 1) = 0x00AABBCC;  // bottom-right
  const std::string f = BmpFileBytes(b);
  ASSERT_EQ(f.size(), 54u + 24u);
  EXPECT_EQ(f.substr(0, 2), "BM");
  EXPECT_EQ(Get<uint32_t>(f, 2), 78u);
  EXPECT_EQ(Get<uint32_t>(f, 6), 0u);
  EXPECT_EQ(Get<uint32_t>(f, 10), 54u);
  EXPECT_EQ(Get<uint32_t>(f, 14), 40u);
  EXPECT_EQ(Get<int32_t>(f, 18), 3);
  EXPECT_EQ(Get<int32_t>(f, 22), 2);
  EXPECT_EQ(Get<uint16_t>(f, 26), 1);
  EXPECT_EQ(Get<uint16_t>(f, 28), 32);
  EXPECT_EQ(Get<uint32_t>(f, 30), 0u);
  EXPECT_EQ(Get<uint32_t>(f, 34), 24u);
  for (size_t o = 38; o < 54; o += 4) EXPECT_EQ(Get<uint32_t>(f, o), 0u);
  // Bottom row first: bottom-right is the third word, top-left the fourth.
  EXPECT_EQ(Get<uint32_t>(f, 54 + 8), 0x00AABBCCu);
  EXPECT_EQ(Get<uint32_t>(f, 54 + 12), 0x00112233u);
  EXPECT_EQ(std::memcmp(f.data() + 54, b.pixels, 24), 0);
}

TEST(BitmapSaveTest, EmptyBufferAndUnwritablePathFail) {
  FrameBuffer empty;
  EXPECT_TRUE(BmpFileBytes(empty).empty());
  EXPECT_FALSE(SaveFrameBufferBmp(empty, "/tmp/never.bmp"));
  FrameBuffer b;
  ASSERT_TRUE(CreateFrameBuffer(b, 1, 1));
  EXPECT_FALSE(SaveFrameBufferBmp(b, "/nonexistent-folder/x.bmp"));
}

}  // namespace
}  // namespace tavrona
