#include <gtest/gtest.h>

#include <cmath>

#include "model/time_text.h"

namespace tavrona {
namespace {

constexpr int64_t k30fps = 333'333;

TEST(TimeTextTest, FramesFromEachPattern) {
  EXPECT_EQ(ParseTimeToFrames(u"0:1.5", k30fps), 45u);
  EXPECT_EQ(ParseTimeToFrames(u"1:00", k30fps), 1800u);
  EXPECT_EQ(ParseTimeToFrames(u"2.5", k30fps), 75u);
  EXPECT_EQ(ParseTimeToFrames(u"100", k30fps), 100u);
  EXPECT_EQ(ParseTimeToFrames(u"0:90", k30fps), 2700u);  // seconds above 59 taken as they are
  EXPECT_EQ(ParseTimeToFrames(u"  \t7", k30fps), 7u);    // leading blanks skipped
  EXPECT_EQ(ParseTimeToFrames(u"12 frames", k30fps), 12u);  // trailing text ignored
}

TEST(TimeTextTest, NoChangeCases) {
  EXPECT_EQ(ParseTimeToFrames(u"", k30fps), std::nullopt);
  EXPECT_EQ(ParseTimeToFrames(u"abc", k30fps), std::nullopt);
  EXPECT_EQ(ParseTimeToFrames(u"1:2.x", k30fps), std::nullopt);  // fraction without a number
  EXPECT_EQ(ParseTimeToFrames(u"3.x", k30fps), std::nullopt);
  EXPECT_EQ(ParseTimeToFrames(u":5", k30fps), std::nullopt);
  EXPECT_EQ(ParseTimeToFrames(u"1:2", 0), std::nullopt);  // no frame duration to divide by
}

TEST(TimeTextTest, FallThroughToShorterPatterns) {
  // "1:2." has no fraction characters: read as 1:2.
  EXPECT_EQ(ParseSourceTime(u"1:2.", std::nullopt), 620'000'000);
  // A blank after the dot: the fraction scan skips it like the C library does.
  EXPECT_EQ(ParseSourceTime(u"1:2. 5", std::nullopt), 625'000'000);
  EXPECT_EQ(ParseSourceTime(u"7:", std::nullopt), std::nullopt);  // bare 7 is a frame number
  EXPECT_EQ(ParseSourceTime(u"7:", 400'000), 2'800'000);
}

TEST(TimeTextTest, FractionCountsInHundredNanoseconds) {
  EXPECT_EQ(ParseSourceTime(u"0:0.5", std::nullopt), 5'000'000);
  EXPECT_EQ(ParseSourceTime(u"0:0.05", std::nullopt), 500'000);
  EXPECT_EQ(ParseSourceTime(u"0:0.1234567", std::nullopt), 1'234'567);
  // Only the first seven fraction characters are read; the eighth is trailing text.
  EXPECT_EQ(ParseSourceTime(u"1:2.12345678", std::nullopt), 620'000'000 + 1'234'567);
  // Characters after the digits still count towards the fraction's length.
  EXPECT_EQ(ParseSourceTime(u"0:0.5s", std::nullopt), 500'000);
  // Large minutes are computed in 64 bits.
  EXPECT_EQ(ParseSourceTime(u"100000:0", std::nullopt), 60'000'000'000'000);
}

TEST(TimeTextTest, BareNumberAsSourceTimeNeedsAMovie) {
  EXPECT_EQ(ParseSourceTime(u"10", std::nullopt), std::nullopt);  // still image: no change
  EXPECT_EQ(ParseSourceTime(u"10", 333'667), 3'336'670);
  EXPECT_EQ(ParseSourceTime(u"0:1", std::nullopt), 10'000'000);
}

TEST(TimeTextTest, ReferenceFrameDuration) {
  EXPECT_EQ(ParseReferenceFrameDuration(u""), 0);
  EXPECT_EQ(ParseReferenceFrameDuration(u"29.97"), 333'667);
  EXPECT_EQ(ParseReferenceFrameDuration(u"25"), 400'000);
  EXPECT_EQ(ParseReferenceFrameDuration(u"0:0.0333667"), 333'667);
  EXPECT_EQ(ParseReferenceFrameDuration(u"0:0.x"), std::nullopt);
  EXPECT_EQ(ParseReferenceFrameDuration(u"fast"), std::nullopt);
  // No finite positive duration: refused instead of an undefined conversion.
  EXPECT_EQ(ParseReferenceFrameDuration(u"0"), std::nullopt);
  EXPECT_EQ(ParseReferenceFrameDuration(u"-30"), std::nullopt);
  EXPECT_EQ(FormatReferenceFrameRate(333'667), u"29.97");
  EXPECT_EQ(FormatReferenceFrameRate(0), u"");
}

TEST(TimeTextTest, PrintingForms) {
  EXPECT_EQ(FormatPreciseSourceTime(15'000'000), u"00:01.5000000");
  EXPECT_EQ(FormatShortSourceTime(15'000'000), u"00:01.500");
  EXPECT_EQ(FormatPreciseSourceTime(0), u"00:00.0000000");
  // Minutes are not limited to two digits.
  EXPECT_EQ(FormatPreciseSourceTime(6'000'000'000'000), u"10000:00.0000000");
  EXPECT_EQ(FormatShortFrameTime(1800, 30.0), u"01:00.000");
  EXPECT_EQ(FormatShortFrameTime(45, 30.0), u"00:01.500");
  EXPECT_EQ(FormatFrameNumber(4294967295u), u"4294967295");
  EXPECT_EQ(FormatSpeedForDialog(333'333, 333'333), u"1");
  EXPECT_EQ(FormatSpeedForDialog(166'666, 333'333), u"0.4999984999985");
  EXPECT_EQ(FormatSpeedForPane(666'666, 333'333), u"x2.0000");
  EXPECT_EQ(FormatFloatField(1.37f), u"1.37");
  EXPECT_EQ(FormatDoubleField(29.97), u"29.97");
  EXPECT_EQ(FormatMatrixElement(0.5f), u"0.500000");
}

TEST(TimeTextTest, PreciseFormParsesBackExactly) {
  for (int64_t v : {int64_t{0}, int64_t{1}, int64_t{9'999'999}, int64_t{15'000'000},
                    int64_t{620'000'001}, int64_t{35'999'999'999}, int64_t{123'456'789'012}}) {
    EXPECT_EQ(ParseSourceTime(FormatPreciseSourceTime(v), std::nullopt), v) << v;
  }
}

TEST(TimeTextTest, NumberFieldsWithUnchangedMarkers) {
  EXPECT_EQ(ScanDoubleField(u" 1.5e3"), 1500.0);
  EXPECT_EQ(ScanDoubleField(u"x"), kUnchangedDouble);
  EXPECT_EQ(ScanFloatField(u"0.25"), 0.25f);
  EXPECT_EQ(ScanFloatField(u""), kUnchangedFloat);
  EXPECT_EQ(ScanFloatField(u"1e300"), INFINITY);
  EXPECT_EQ(ScanUnsignedField(u"42"), 42u);
  EXPECT_EQ(ScanUnsignedField(u"-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ScanUnsignedField(u"none"), kUnchangedUnsigned);
  EXPECT_EQ(ScanSignedField(u"-17"), -17);
  EXPECT_EQ(ScanSignedField(u"?"), kUnchangedSigned);
  // Only the first 63 characters of an integer field are read.
  std::u16string longField(63, u' ');
  longField += u"5";
  EXPECT_EQ(ScanUnsignedField(longField), kUnchangedUnsigned);
  longField.erase(0, 1);
  EXPECT_EQ(ScanUnsignedField(longField), 5u);
}

}  // namespace
}  // namespace tavrona
