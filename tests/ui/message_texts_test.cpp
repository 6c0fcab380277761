// The desktop program's wording of the libraries' message codes: Japanese as the program has
// always shown it, English from translations/messages_en.ts with the same data.
#include "cjk_text.h"
#include "ui/message_texts.h"

#include <gtest/gtest.h>

#include <tuple>

#include "model/document.h"
#include "qt_printers.h"
#include "ui/language.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

using testing::HasCjk;

// Each test leaves the program in Japanese, as the other tests expect it.
class MessageTextsTest : public ::testing::Test {
 protected:
  void TearDown() override { ApplyLanguage(Language::Japanese); }
};

TEST_F(MessageTextsTest, JapaneseIsTodaysText) {
  ASSERT_TRUE(ApplyLanguage(Language::Japanese));
  EXPECT_EQ(ErrorCaption(), "エラー");
  EXPECT_EQ(MessageText(MessageCode::LoadFailed), "読み込みに失敗しました。");
  EXPECT_EQ(MessageText(MessageCode::SaveFailed), "保存に失敗しました。");
  EXPECT_EQ(MessageText(MessageCode::TooManyFiles), "ファイルが多すぎます。");
  EXPECT_EQ(MessageText(MessageCode::IdInUse), "指定したIDはすでに使用されています。");
  EXPECT_EQ(MessageText(MessageCode::DuplicateFailed), "ファイルの複製に失敗しました。");
  EXPECT_EQ(MessageText(MessageCode::CannotOpenFile), "ファイルが開けません。");
  EXPECT_EQ(MessageText(MessageCode::ExportInterrupted),
            "エラーまたはキャンセル操作によって中断されました。");
  EXPECT_EQ(MessageText(MessageCode::MovieTimeout), ToQString(kMsgMovieTimeout));
  EXPECT_EQ(MessageText(MessageCode::MovieLengthLimit, QString(), 1048576),
            "動画の長さは最大で1048576フレームに制限されます。");
  // The questions of a load read as the model's Japanese wording, even for names holding "%1".
  for (const std::u16string subject : {u"\\clip.avi", u"/tmp/100%1 done.bmp", u""}) {
    EXPECT_EQ(MessageText(MessageCode::SourceLoadFailed, ToQString(subject)),
              ToQString(SourceLoadQuestion(subject)));
    EXPECT_EQ(MessageText(MessageCode::TextCreateFailed, ToQString(subject)),
              ToQString(TextCreateQuestion(subject)));
  }
  EXPECT_EQ(LoadFailedText("/p/a.vpj", "no such file"),
            "読み込みに失敗しました。\n" +
                QString::fromStdString(LoadFailureDetail("/p/a.vpj", "no such file")));
}

TEST_F(MessageTextsTest, ProgressAndCompressorsMatchTheLibrarysJapanese) {
  ASSERT_TRUE(ApplyLanguage(Language::Japanese));
  const int64_t k30fps = 333333;
  for (const auto& [written, total, elapsedMs] :
       {std::tuple<uint32_t, uint32_t, uint64_t>{0, 100, 0},
        {1, 3, 999},
        {90000, 216000, 3'723'004},
        {1048576, 1048576, 61'000}}) {
    const ProgressFigures f = ComputeProgress(written, total, k30fps, elapsedMs);
    EXPECT_EQ(ExportProgressText(f), ToQString(FormatProgressText(f))) << written;
  }
  for (const AviCompressor& c : ListCompressors(OutputContainer::Avi)) {
    EXPECT_EQ(CompressorDescription(c), ToQString(c.description)) << c.name;
  }
}

TEST_F(MessageTextsTest, EnglishHasNoCjkAndCarriesTheData) {
  ASSERT_TRUE(ApplyLanguage(Language::English));
  EXPECT_EQ(ErrorCaption(), "Error");
  for (MessageCode code : kEveryMessageCode) {
    const QString text = MessageText(code, QStringLiteral("/media/clip 7.avi"), 4096);
    EXPECT_FALSE(text.isEmpty()) << static_cast<int>(code);
    EXPECT_FALSE(HasCjk(text)) << text.toStdString();
  }
  EXPECT_TRUE(MessageText(MessageCode::SourceLoadFailed, QStringLiteral("/media/clip 7.avi"))
                  .contains(QStringLiteral("\"/media/clip 7.avi\"")));
  EXPECT_TRUE(MessageText(MessageCode::TextCreateFailed, QStringLiteral("Title"))
                  .contains(QStringLiteral("\"Title\"")));
  EXPECT_TRUE(
      MessageText(MessageCode::MovieLengthLimit, QString(), 4096).contains(QStringLiteral("4096")));
  const QString load = LoadFailedText("/p/a.vpj", "no such file");
  EXPECT_FALSE(HasCjk(load)) << load.toStdString();
  EXPECT_TRUE(load.endsWith(QStringLiteral("\n/p/a.vpj: no such file"))) << load.toStdString();

  const ProgressFigures f = ComputeProgress(90000, 216000, 333333, 3'723'004);
  const QString progress = ExportProgressText(f);
  EXPECT_FALSE(HasCjk(progress)) << progress.toStdString();
  // Two lines of two cells, as the dialog lays them out, with the same figures.
  EXPECT_EQ(progress.count(u'\n'), 1);
  EXPECT_EQ(progress.count(u'\t'), 2);
  EXPECT_TRUE(progress.contains(QStringLiteral(" 41%"))) << progress.toStdString();
  EXPECT_TRUE(progress.contains(ToQString(ClockText(f.elapsedMs))));
  EXPECT_TRUE(progress.contains(ToQString(ClockText(f.remainingMs))));
  EXPECT_TRUE(progress.contains(ToQString(ClockText(f.position100ns / 10000))));

  for (const AviCompressor& c : ListCompressors(OutputContainer::Avi)) {
    const QString text = CompressorDescription(c);
    EXPECT_FALSE(HasCjk(text)) << text.toStdString();
    EXPECT_TRUE(text.startsWith(QString::fromStdString(c.title))) << text.toStdString();
  }
}

TEST_F(MessageTextsTest, ClockTextTruncatesEachField) {
  EXPECT_EQ(ToQString(ClockText(0)), "00:00.000");
  EXPECT_EQ(ToQString(ClockText(59'999)), "00:59.999");
  EXPECT_EQ(ToQString(ClockText(3'723'004)), "62:03.004");  // minutes do not wrap at 60
  EXPECT_EQ(ToQString(ClockText(6'000'000'000)), "100000:00.000");
}

}  // namespace
}  // namespace tavrona
