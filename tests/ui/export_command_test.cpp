#include "ui/dialogs/export_command.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/process_state.h"
#include "avi_file_reader.h"
#include "export/avi_writer.h"
#include "export_test_support.h"
#include "export_ui_test_support.h"
#include "model/messages.h"
#include "sound_media.h"
#include "synthetic_sound.h"
#include "ui/dialogs/compressor_dialog.h"
#include "ui/dialogs/progress_dialog.h"

namespace tavrona {
namespace {

QPushButton* Button(QDialog& dialog, QDialogButtonBox::StandardButton which) {
  auto* box = dialog.findChild<QDialogButtonBox*>();
  return box != nullptr ? box->button(which) : nullptr;
}

TEST(CompressorDialogTest, ListsEveryCompressorWithFullFramesFirstAndSelected) {
  const std::vector<AviCompressor> compressors = ListAviCompressors();
  ASSERT_GE(compressors.size(), 1u);
  CompressorDialog dialog(compressors);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("ビデオの圧縮"));
  auto* list = dialog.findChild<QListWidget*>();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), static_cast<int>(compressors.size()));
  for (int i = 0; i < list->count(); ++i) {
    EXPECT_EQ(list->item(i)->text(), ToQString(compressors[static_cast<size_t>(i)].description));
  }
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(dialog.ChosenName(), kFullFramesCompressor);
  EXPECT_EQ(Button(dialog, QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));

  // The last entry, chosen and confirmed with OK.
  list->setCurrentRow(list->count() - 1);
  dialog.show();
  QTest::mouseClick(Button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.ChosenName(), compressors.back().name);
}

TEST(CompressorDialogTest, CancelAndAnEmptySelectionChooseNothing) {
  CompressorDialog dialog(ListAviCompressors());
  dialog.show();
  auto* list = dialog.findChild<QListWidget*>();
  list->clearSelection();
  EXPECT_EQ(dialog.ChosenName(), "");
  QTest::mouseClick(Button(dialog, QDialogButtonBox::Ok), Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());  // OK without a choice does nothing
  QTest::mouseClick(Button(dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// With sound in the project the container's sound codecs are offered under the list, the
// default first and chosen; "なし" leaves the sound out. Without sound nothing is shown.
TEST(CompressorDialogTest, OffersTheSoundCodecsWhenTheProjectHasSound) {
  CompressorDialog silent(ListAviCompressors());
  EXPECT_EQ(silent.soundList(), nullptr);
  EXPECT_EQ(silent.findChild<QComboBox*>(), nullptr);
  EXPECT_EQ(silent.ChosenSoundName(), "");

  const std::vector<SoundCodec> codecs = ListSoundCodecs(OutputContainer::Mkv);
  ASSERT_EQ(codecs.size(), 2u);
  CompressorDialog dialog(ListAviCompressors(), nullptr, codecs);
  QComboBox* sound = dialog.soundList();
  ASSERT_NE(sound, nullptr);
  ASSERT_EQ(sound->count(), 3);
  EXPECT_EQ(sound->itemText(0), QStringLiteral("FLAC (可逆圧縮)"));
  EXPECT_EQ(sound->itemText(1), QStringLiteral("AAC"));
  EXPECT_EQ(sound->itemText(2), QStringLiteral("なし (音声を書き出さない)"));
  EXPECT_EQ(sound->accessibleName(), QStringLiteral("音声"));
  EXPECT_EQ(dialog.ChosenSoundName(), "flac");
  sound->setCurrentIndex(1);
  EXPECT_EQ(dialog.ChosenSoundName(), "aac");
  sound->setCurrentIndex(2);
  EXPECT_EQ(dialog.ChosenSoundName(), "");
  bool labelled = false;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    labelled =
        labelled || (label->text() == QStringLiteral("音声(&A):") && label->buddy() == sound);
  }
  EXPECT_TRUE(labelled);
  CompressorDialog avi(ListAviCompressors(), nullptr, ListSoundCodecs(OutputContainer::Avi));
  EXPECT_EQ(avi.soundList()->itemText(0), QStringLiteral("PCM 16ビット (非圧縮)"));
}

class ExportCommandTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    savedTarget_ = Process().timeoutTarget;
    Process().timeoutTarget = &mainTarget_;
    project_ = testing::MakeExportProject(30);
    ASSERT_TRUE(project_);
  }
  void TearDown() override {
    Process().timeoutTarget = savedTarget_;
    TempFolderTest::TearDown();
  }

  ExportCommandResult Run(std::optional<std::string> compressor = kFullFramesCompressor) {
    return RunExportCommand(nullptr, *project_, nullptr, &mainTarget_, [&](QWidget*) {
      ++chooserCalls_;
      return compressor;
    });
  }
  ExportCommandResult RunWith(std::optional<ExportCodecChoice> choice) {
    return RunExportCommand(nullptr, *project_, nullptr, &mainTarget_, [&](QWidget*) {
      ++chooserCalls_;
      return choice;
    });
  }
  // A beep at 0.5 s in slot 9, played from frame 0.
  void GiveTheProjectSound() {
    testing::PutSoundInSlot(*project_, 9, testing::SyntheticSound::Beeps({0.5}, 20, 1000, 0.5f, 2));
    EventRecord e = testing::SoundEvent(0, 9, 0, project_->frameDuration100ns);
    ASSERT_TRUE(InsertSorted(project_->tracks[4], 1, &e));
  }

  std::vector<QString> Errors(const testing::PromptRecorder& prompts) const {
    std::vector<QString> texts;
    for (const auto& seen : prompts.seen) {
      if (seen.kind == PromptKind::Error) {
        EXPECT_EQ(seen.caption, QStringLiteral("エラー"));
        texts.push_back(seen.text);
      }
    }
    return texts;
  }

  NoUserTimeoutTarget mainTarget_;
  TimeoutTarget* savedTarget_ = nullptr;
  std::unique_ptr<ProjectData> project_;
  int chooserCalls_ = 0;
};

TEST_F(ExportCommandTest, CancelledSaveDialogDoesNothing) {
  testing::PromptRecorder prompts;  // answers the save dialog with no name
  EXPECT_EQ(Run(), ExportCommandResult::NoFileName);
  ASSERT_EQ(prompts.seen.size(), 1u);
  EXPECT_EQ(prompts.seen[0].kind, PromptKind::SaveFile);
  EXPECT_EQ(prompts.seen[0].caption, QStringLiteral("名前を付けて保存"));
  EXPECT_EQ(prompts.seen[0].filter, QStringLiteral("AVIファイル (*.avi)"));
  EXPECT_EQ(prompts.seen[0].defaultSuffix, QStringLiteral("avi"));
  EXPECT_EQ(chooserCalls_, 0);
  EXPECT_FALSE(project_->exportWriter && project_->exportWriter->Initialised());
}

TEST_F(ExportCommandTest, CancelledOrUnknownCompressorEndsSilently) {
  testing::PromptRecorder prompts;
  prompts.savePath = QString::fromStdString(PathOf("out.avi"));
  EXPECT_EQ(Run(std::nullopt), ExportCommandResult::NoCompressor);
  EXPECT_EQ(Run("no-such-compressor"), ExportCommandResult::NoCompressor);
  EXPECT_EQ(chooserCalls_, 2);
  EXPECT_TRUE(Errors(prompts).empty());
  EXPECT_FALSE(std::filesystem::exists(PathOf("out.avi")));
}

TEST_F(ExportCommandTest, FileThatCannotBeOpenedIsReported) {
  testing::PromptRecorder prompts;
  prompts.savePath = QString::fromStdString(PathOf("missing/out.avi"));
  EXPECT_EQ(Run(), ExportCommandResult::OpenFailed);
  const auto errors = Errors(prompts);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], QStringLiteral("ファイルが開けません。"));
  // Nothing stays open after the failed start.
  EXPECT_FALSE(project_->exportWriter->Initialised());
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
}

TEST_F(ExportCommandTest, CompleteRunWritesTheFileWithoutMessages) {
  testing::PromptRecorder prompts;
  prompts.savePath = QString::fromStdString(PathOf("out.avi"));
  EXPECT_EQ(Run(), ExportCommandResult::Done);
  EXPECT_TRUE(Errors(prompts).empty());
  EXPECT_EQ(project_->exportJob.done, 1);
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
  testing::AviFileLayout layout;
  ASSERT_TRUE(testing::ReadAviLayout(PathOf("out.avi"), layout));
  EXPECT_EQ(layout.frames.size(), 30u);
  EXPECT_EQ(layout.fccHandler, 0u);  // full frames
}

// The program's export carries the mix when the project has sound, unless "なし" was chosen.
TEST_F(ExportCommandTest, AProjectWithSoundIsExportedWithItUnlessLeftOut) {
  GiveTheProjectSound();
  testing::PromptRecorder prompts;
  prompts.savePath = QString::fromStdString(PathOf("sound.avi"));
  EXPECT_EQ(Run(), ExportCommandResult::Done);  // the default sound codec
  const std::vector<float> left = testing::LeftChannel(testing::DecodedSound(PathOf("sound.avi")));
  EXPECT_EQ(static_cast<int64_t>(left.size()),
            FrameStartSample(30, project_->frameDuration100ns));  // 30 frames
  EXPECT_NEAR(testing::FindBeep(left, 1000, 20, 0, 1), 0.5, 0.001);

  prompts.savePath = QString::fromStdString(PathOf("none.avi"));
  EXPECT_EQ(RunWith(ExportCodecChoice(kFullFramesCompressor, std::string())),
            ExportCommandResult::Done);
  EXPECT_TRUE(testing::DecodedSound(PathOf("none.avi")).empty());
  prompts.savePath = QString::fromStdString(PathOf("aac.avi"));
  EXPECT_EQ(RunWith(ExportCodecChoice(kFullFramesCompressor, "aac")),
            ExportCommandResult::NoCompressor);  // AVI holds no AAC: refused, nothing written
  EXPECT_FALSE(std::filesystem::exists(PathOf("aac.avi")));
}

TEST(FailedMovieFramesTextTest, CountsTheFramesAndNamesTheFiles) {
  ExportJobState job;
  EXPECT_TRUE(FailedMovieFramesText(job).isEmpty());
  job.framesWithFailedEvents = 85;
  job.failedFiles.set(3);
  job.failedFiles.set(1023);
  EXPECT_EQ(FailedMovieFramesText(job),
            QStringLiteral("85 フレームで動画の画像を取得できませんでした (ID: 0003, 1023)。"));
}

TEST_F(ExportCommandTest, AbortedRunIsReportedAsInterrupted) {
  testing::PromptRecorder prompts;
  prompts.savePath = QString::fromStdString(PathOf("out.avi"));
  // The user presses "中断" in the modal progress dialog after a few frames.
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<CProgressDlg*>(QApplication::activeModalWidget());
    if (dialog != nullptr && dialog->Running() && project_->exportJob.framesWritten >= 5) {
      QTest::mouseClick(dialog->AbortButton(), Qt::LeftButton);
    }
  });
  poll.start();
  EXPECT_EQ(Run(), ExportCommandResult::Interrupted);
  poll.stop();

  const auto errors = Errors(prompts);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], QStringLiteral("エラーまたはキャンセル操作によって中断されました。"));
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
  const uint32_t written = static_cast<uint32_t>(project_->exportJob.framesWritten);
  EXPECT_GE(written, 5u);
  EXPECT_LT(written, 30u);
  testing::AviFileLayout layout;
  ASSERT_TRUE(testing::ReadAviLayout(PathOf("out.avi"), layout));
  EXPECT_EQ(layout.frames.size(), written);
}

}  // namespace
}  // namespace tavrona
