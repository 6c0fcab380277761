#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "sources/text_image.h"

namespace tavrona {
namespace {

class TextImageTest : public ::testing::Test {
 protected:

  static LOGFONTW Font(int32_t height, const char16_t* face = u"IPAGothic") {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = 400;
    std::u16string_view name(face);
    std::copy(name.begin(), name.end(), font.lfFaceName);
    return font;
  }

  FileEntry entry_;
};

// How many pixels hold each colour.
std::map<uint32_t, int> Histogram(const FrameBuffer& picture) {
  std::map<uint32_t, int> counts;
  for (uint32_t i = 0; i < picture.byteSize / 4; ++i) ++counts[picture.Words()[i]];
  return counts;
}

int CountOf(const FrameBuffer& picture, uint32_t pixel) {
  const auto counts = Histogram(picture);
  const auto it = counts.find(pixel);
  return it == counts.end() ? 0 : it->second;
}

TEST_F(TextImageTest, KeyColourMovesEveryComponentByHalf) {
  EXPECT_EQ(TextKeyColour(0x000000), 0x808080u);
  EXPECT_EQ(TextKeyColour(0xFFFFFF), 0x7F7F7Fu);
  EXPECT_EQ(TextKeyColour(0x123456), 0x92B4D6u);
  EXPECT_EQ(TextKeyColour(0xFF123456), 0x92B4D6u);  // the high byte is not a colour
  ASSERT_TRUE(MakeTextImage(entry_, u"A", 0x123456, Font(-20), TextEdgesAsDrawn));
  EXPECT_EQ(entry_.transparentColour, 0x92B4D6u);
}

TEST_F(TextImageTest, EmptyTextIsOneKeyPixel) {
  ASSERT_TRUE(MakeTextImage(entry_, u"", 0x0000FF, Font(-20), TextEdgesAsDrawn));
  EXPECT_EQ(entry_.kind, FileText);
  EXPECT_EQ(entry_.TextLength(), 0);
  ASSERT_EQ(entry_.picture.Width(), 1);
  ASSERT_EQ(entry_.picture.Height(), 1);
  // Key 0x80807F (red 0x7F, green and blue 0x80) as a pixel word.
  EXPECT_EQ(entry_.picture.At(0, 0), 0x7F8080u);
  EXPECT_EQ(entry_.transparentColour, 0x80807Fu);
}

TEST_F(TextImageTest, SingleLineIsDrawnOnTheKey) {
  const uint32_t text = 0x0000FF;  // red
  const uint32_t textPixel = 0xFF0000;
  const uint32_t keyPixel = ProjectColourToPixel(TextKeyColour(text));
  ASSERT_TRUE(MakeTextImage(entry_, u"Hello", text, Font(-24), TextEdgesAsDrawn));
  EXPECT_EQ(entry_.text, u"Hello");
  EXPECT_EQ(entry_.font.lfHeight, -24);
  const FrameBuffer& p = entry_.picture;
  EXPECT_GT(p.Width(), 24);
  EXPECT_GE(p.Height(), 24);
  EXPECT_LT(p.Height(), 40);
  EXPECT_GT(CountOf(p, textPixel), 0);
  EXPECT_GT(CountOf(p, keyPixel), p.Width() * p.Height() / 2);
  // Anti-aliased edges lie between the two; the fourth byte is always clear.
  EXPECT_GT(Histogram(p).size(), 2u);
  for (uint32_t i = 0; i < p.byteSize / 4; ++i) ASSERT_EQ(p.Words()[i] >> 24, 0u);
  // The top-left corner is background, drawn in the key colour (rows are stored bottom-up).
  EXPECT_EQ(p.At(0, 0), keyPixel);
}

TEST_F(TextImageTest, TwoLinesAndTheThreeEdgeTreatments) {
  const uint32_t text = 0x00FFFF;  // yellow
  const uint32_t textPixel = 0xFFFF00;
  const uint32_t keyPixel = ProjectColourToPixel(TextKeyColour(text));
  FileEntry oneLine;
  ASSERT_TRUE(MakeTextImage(oneLine, u"WWWWWW", text, Font(-20), TextEdgesAsDrawn));

  for (int32_t mode : {0, 1, 2, 7}) {
    SCOPED_TRACE(mode);
    ASSERT_TRUE(MakeTextImage(entry_, u"WWWWWW\ni", text, Font(-20), mode));
    const FrameBuffer& p = entry_.picture;
    EXPECT_EQ(p.Width(), oneLine.picture.Width());
    EXPECT_EQ(p.Height(), 2 * oneLine.picture.Height());
    // Beside the short second line nothing was drawn.
    const uint32_t besideShortLine = p.At(p.Width() - 1, p.Height() - 1);
    const auto counts = Histogram(p);
    if (mode == TextEdgesToKey) {
      EXPECT_EQ(besideShortLine, keyPixel);
      EXPECT_EQ(counts.size(), 2u);
    } else if (mode == TextEdgesToTextColour) {
      EXPECT_EQ(besideShortLine, textPixel);
      EXPECT_EQ(counts.size(), 2u);
    } else {
      EXPECT_EQ(besideShortLine, 0u);
      EXPECT_GT(counts.size(), 3u);  // text, key, black and edge shades
    }
  }

  // Mode 1 turns the edges into the key, mode 2 into the text colour: letters look bolder.
  FileEntry toKey;
  FileEntry toText;
  ASSERT_TRUE(MakeTextImage(toKey, u"Bold?", text, Font(-20), TextEdgesToKey));
  ASSERT_TRUE(MakeTextImage(toText, u"Bold?", text, Font(-20), TextEdgesToTextColour));
  EXPECT_GT(CountOf(toText.picture, textPixel), CountOf(toKey.picture, textPixel));
}

TEST_F(TextImageTest, LineBreaksAndTabs) {
  auto size = [this](std::u16string_view text) {
    EXPECT_TRUE(MakeTextImage(entry_, text, 0, Font(-16), TextEdgesAsDrawn));
    return std::pair(entry_.picture.Width(), entry_.picture.Height());
  };
  const auto one = size(u"ab");
  EXPECT_EQ(size(u"ab\r\nab"), std::pair(one.first, 2 * one.second));  // CR LF is one break
  EXPECT_EQ(size(u"ab\rab\nab"), std::pair(one.first, 3 * one.second));
  EXPECT_EQ(size(u"ab\n\nab").second, 3 * one.second);  // an empty line keeps its height
  // Tabs advance to the next stop; a long line is never wrapped.
  const int tab = size(u"\t").first;
  EXPECT_GT(tab, 0);
  EXPECT_EQ(size(u"\t\tb").first - size(u"\tb").first, tab);
  EXPECT_EQ(size(u"ab\tb").first, size(u"\tb").first);
  EXPECT_EQ(size(std::u16string(300, u'x')).second, one.second);
  // A text whose lines are all empty measures 0 wide: nothing to draw.
  EXPECT_FALSE(MakeTextImage(entry_, u"\n", 0, Font(-16), TextEdgesAsDrawn));
  EXPECT_EQ(entry_.kind, FileEmpty);
}

TEST_F(TextImageTest, FontHeightFollowsTheSignConvention) {
  // Positive: the cell height, so one line is that high (to the nearest pixel size).
  ASSERT_TRUE(MakeTextImage(entry_, u"Ag", 0, Font(30), TextEdgesAsDrawn));
  EXPECT_LE(entry_.picture.Height(), 30);
  EXPECT_GE(entry_.picture.Height(), 29);
  // Negative: the character height; the cell adds the internal leading.
  ASSERT_TRUE(MakeTextImage(entry_, u"Ag", 0, Font(-30), TextEdgesAsDrawn));
  EXPECT_GT(entry_.picture.Height(), 30);
  ASSERT_TRUE(MakeTextImage(entry_, u"Ag", 0, Font(0), TextEdgesAsDrawn));
  EXPECT_GT(entry_.picture.Height(), 8);
}

TEST_F(TextImageTest, FontStyles) {
  const uint32_t ink = 0xFFFFFF;
  auto inkCount = [&](LOGFONTW font) {
    EXPECT_TRUE(MakeTextImage(entry_, u"Style test", 0xFFFFFF, font, TextEdgesToTextColour));
    return CountOf(entry_.picture, ink);
  };
  const LOGFONTW plain = Font(-24, u"");  // the system's default face
  const int plainInk = inkCount(plain);
  LOGFONTW bold = plain;
  bold.lfWeight = 700;
  EXPECT_GT(inkCount(bold), plainInk);
  LOGFONTW underline = plain;
  underline.lfUnderline = 1;
  EXPECT_GT(inkCount(underline), plainInk);
  LOGFONTW strikeOut = plain;
  strikeOut.lfStrikeOut = 1;
  EXPECT_GT(inkCount(strikeOut), plainInk);
  LOGFONTW italic = plain;
  italic.lfItalic = 1;
  ASSERT_TRUE(MakeTextImage(entry_, u"Style test", ink, plain, TextEdgesToTextColour));
  FileEntry slanted;
  ASSERT_TRUE(MakeTextImage(slanted, u"Style test", ink, italic, TextEdgesToTextColour));
  EXPECT_NE(std::vector<uint32_t>(entry_.picture.Words(),
                                  entry_.picture.Words() + entry_.picture.byteSize / 4),
            std::vector<uint32_t>(slanted.picture.Words(),
                                  slanted.picture.Words() + slanted.picture.byteSize / 4));
  // A width asks for narrower or wider letters.
  LOGFONTW narrow = plain;
  narrow.lfWidth = 5;
  LOGFONTW wide = plain;
  wide.lfWidth = 20;
  ASSERT_TRUE(MakeTextImage(entry_, u"Style test", ink, narrow, TextEdgesAsDrawn));
  const int narrowWidth = entry_.picture.Width();
  ASSERT_TRUE(MakeTextImage(entry_, u"Style test", ink, wide, TextEdgesAsDrawn));
  EXPECT_GT(entry_.picture.Width(), narrowWidth * 2);
}

TEST_F(TextImageTest, JapaneseTextHasRealGlyphs) {
  // The face is the one a project from another system names; the character set picks a
  // Japanese font that exists here.
  LOGFONTW font = Font(-32, u"ＭＳ ゴシック");
  font.lfCharSet = 128;
  auto glyphs = [&](std::u16string_view text) {
    EXPECT_TRUE(MakeTextImage(entry_, text, 0xFFFFFF, font, TextEdgesToTextColour));
    return std::vector<uint32_t>(entry_.picture.Words(),
                                 entry_.picture.Words() + entry_.picture.byteSize / 4);
  };
  const auto sun = glyphs(u"日");
  const auto book = glyphs(u"本");
  const auto missing = glyphs(u"\U000F0000");  // a private-use character: no glyph anywhere
  EXPECT_NE(sun, book);
  EXPECT_NE(sun, missing);
  EXPECT_NE(book, missing);
  // "日" is a box with a bar: plenty of ink, but far from filled.
  const auto inked = std::count(sun.begin(), sun.end(), 0xFFFFFFu);
  EXPECT_GT(inked, static_cast<long>(sun.size() / 10));
  EXPECT_LT(inked, static_cast<long>(sun.size() / 2));
  ASSERT_TRUE(MakeTextImage(entry_, u"日本語のテキスト", 0, font, TextEdgesAsDrawn));
  EXPECT_EQ(entry_.TextLength(), 8);
}

TEST_F(TextImageTest, FailureLeavesTheEntryEmpty) {
  ASSERT_TRUE(MakeTextImage(entry_, u"before", 0, Font(-16), TextEdgesAsDrawn));
  LOGFONTW unterminated = Font(-16);
  std::fill(std::begin(unterminated.lfFaceName), std::end(unterminated.lfFaceName), u'x');
  EXPECT_FALSE(MakeTextImage(entry_, u"text", 0, unterminated, TextEdgesAsDrawn));
  EXPECT_EQ(entry_.kind, FileEmpty);
  EXPECT_TRUE(entry_.picture.Empty());
  EXPECT_TRUE(entry_.text.empty());
  EXPECT_EQ(entry_.transparentColour, 0u);
  EXPECT_FALSE(MakeTextImage(entry_, u"text", 0, Font(-100000), TextEdgesAsDrawn));
  EXPECT_EQ(entry_.kind, FileEmpty);
}

TEST_F(TextImageTest, TextEmptiesTheEntryFirstAndStopsAtNul) {
  entry_.kind = FileStillImage;
  ASSERT_TRUE(CreateFrameBuffer(entry_.picture, 4, 4));
  ASSERT_TRUE(SetPath(entry_.path, u"\\old.bmp"));
  entry_.referenceFrameDuration100ns = 400000;
  ASSERT_TRUE(MakeTextImage(entry_, std::u16string_view(u"ab\0cd", 5), 0, Font(-16),
                            TextEdgesAsDrawn));
  EXPECT_EQ(entry_.kind, FileText);
  EXPECT_EQ(entry_.text, u"ab");
  EXPECT_EQ(PathView(entry_.path), u"");
  EXPECT_EQ(entry_.referenceFrameDuration100ns, 400000);  // a stored setting, kept
}

}  // namespace
}  // namespace tavrona
