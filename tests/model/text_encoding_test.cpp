#include <gtest/gtest.h>

#include "model/text_encoding.h"

namespace tavrona {
namespace {

TEST(TextEncodingTest, RoundTripsBmpAndSupplementaryCharacters) {
  const std::u16string text = u"Track 日本語 \U0001F600 end";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"é"), "\xC3\xA9");
}

TEST(TextEncodingTest, BrokenInputBecomesReplacementCharacters) {
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(FromUtf8("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xE6\x97"), u"\uFFFD\uFFFD");  // truncated sequence
  EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong slash
}

}  // namespace
}  // namespace tavrona
