// The one reader of unsigned numbers: digits only, and never a value past its limit.
#include "app/parse_number.h"

#include <gtest/gtest.h>

namespace tavrona {
namespace {

TEST(ParseNumberTest, DigitsOnlyUpToTheLimit) {
  EXPECT_EQ(ParseUnsigned("0"), 0u);
  EXPECT_EQ(ParseUnsigned("007"), 7u);
  EXPECT_EQ(ParseUnsigned("18446744073709551615"), UINT64_MAX);
  EXPECT_FALSE(ParseUnsigned("18446744073709551616"));  // one past 64 bits
  EXPECT_FALSE(ParseUnsigned("99999999999999999999"));
  EXPECT_EQ(ParseUnsigned("255", 255), 255u);
  EXPECT_FALSE(ParseUnsigned("256", 255));
  for (const char* bad : {"", "-1", "+1", "-0", " 1", "1 ", "1a", "0x10", "1.0", "1_0"}) {
    EXPECT_FALSE(ParseUnsigned(bad)) << bad;
  }

  uint32_t out = 123;
  EXPECT_TRUE(ParseUint32("4294967295", out));
  EXPECT_EQ(out, 4294967295u);
  out = 123;
  EXPECT_FALSE(ParseUint32("4294967296", out));
  EXPECT_FALSE(ParseUint32("", out));
  EXPECT_EQ(out, 123u);  // untouched on failure
}

}  // namespace
}  // namespace tavrona
