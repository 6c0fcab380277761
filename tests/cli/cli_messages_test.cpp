// The command line's wording of the message codes and its --lang option.
#include "cjk_text.h"
#include "cli/cli_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "model/text_encoding.h"

namespace tavrona {
namespace {

using testing::HasCjk;

// Sets the language for one test and puts Japanese back after it.
class CliMessagesTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCliLanguage(CliLanguage::Japanese); }
};

TEST_F(CliMessagesTest, JapaneseIsTheDesktopProgramsWording) {
  EXPECT_EQ(CurrentCliLanguage(), CliLanguage::Japanese);
  EXPECT_EQ(CliMessage(MessageCode::LoadFailed), "読み込みに失敗しました。");
  EXPECT_EQ(CliMessage(MessageCode::CannotOpenFile), "ファイルが開けません。");
  EXPECT_EQ(CliMessage(MessageCode::MovieLengthLimit, {}, 1048576),
            "動画の長さは最大で1048576フレームに制限されます。");
  // The questions of a load are the model's Japanese ones, character for character.
  EXPECT_EQ(CliMessage(MessageCode::SourceLoadFailed, u"\\clip.avi"),
            ToUtf8(SourceLoadQuestion(u"\\clip.avi")));
  EXPECT_EQ(CliMessage(MessageCode::TextCreateFailed, u"タイトル"),
            ToUtf8(TextCreateQuestion(u"タイトル")));
  EXPECT_EQ(CliMessage(MessageCode::MovieTimeout), ToUtf8(kMsgMovieTimeout));
  EXPECT_EQ(CliDrawingMethodName(2), "境界修正");
}

TEST_F(CliMessagesTest, EnglishHasNoCjkAndCarriesItsData) {
  SetCliLanguage(CliLanguage::English);
  for (MessageCode code : kEveryMessageCode) {
    const std::string text = CliMessage(code, u"/media/clip 7.avi", 4096);
    EXPECT_FALSE(text.empty()) << static_cast<int>(code);
    EXPECT_FALSE(HasCjk(text)) << text;
  }
  EXPECT_NE(
      CliMessage(MessageCode::SourceLoadFailed, u"/media/clip 7.avi").find("/media/clip 7.avi"),
      std::string::npos);
  EXPECT_NE(CliMessage(MessageCode::TextCreateFailed, u"Title").find("\"Title\""),
            std::string::npos);
  EXPECT_NE(CliMessage(MessageCode::MovieLengthLimit, {}, 4096).find("4096"), std::string::npos);
  for (int32_t method = 0; method <= 4; ++method) {
    EXPECT_FALSE(HasCjk(CliDrawingMethodName(method))) << method;
  }
  EXPECT_EQ(CliDrawingMethodName(5), "?");
  EXPECT_EQ(CliDrawingMethodName(-1), "?");
}

TEST_F(CliMessagesTest, CompressorsAreDescribedInTheLanguage) {
  const auto compressors = ListCompressors(OutputContainer::Avi);
  ASSERT_FALSE(compressors.empty());
  for (const AviCompressor& c : compressors) {
    EXPECT_EQ(CliCompressorDescription(c), ToUtf8(c.description));
  }
  SetCliLanguage(CliLanguage::English);
  for (const AviCompressor& c : compressors) {
    const std::string english = CliCompressorDescription(c);
    EXPECT_FALSE(HasCjk(english)) << english;
    EXPECT_NE(english.find(c.title), std::string::npos) << english;
  }
}

TEST_F(CliMessagesTest, LangIsAcceptedAnywhereAndChecked) {
  std::string error;
  const auto before = ParseCliOptions({"--lang", "en", "info", "p.vpj"}, error);
  ASSERT_TRUE(before) << error;
  EXPECT_EQ(before->language, CliLanguage::English);
  EXPECT_EQ(before->project, "p.vpj");
  const auto after =
      ParseCliOptions({"join", "a.avi", "--lang", "en", "b.avi", "-o", "o.avi"}, error);
  ASSERT_TRUE(after) << error;
  EXPECT_EQ(after->language, CliLanguage::English);
  EXPECT_EQ(after->parts, (std::vector<std::string>{"a.avi", "b.avi"}));
  EXPECT_EQ(ParseCliOptions({"info", "p.vpj", "--lang", "ja"}, error)->language,
            CliLanguage::Japanese);
  EXPECT_EQ(ParseCliOptions({"info", "p.vpj"}, error)->language, CliLanguage::Japanese);
  EXPECT_FALSE(ParseCliOptions({"info", "p.vpj", "--lang", "fr"}, error));
  EXPECT_NE(error.find("--lang"), std::string::npos);
  EXPECT_FALSE(ParseCliOptions({"info", "p.vpj", "--lang"}, error));
}

}  // namespace
}  // namespace tavrona
