#include "ui/dialogs/export_command.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/process_state.h"
#include "avi_file_reader.h"
#include "export/avi_writer.h"
#include "export/export_part.h"
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
    return RunExportCommand(nullptr, *project_, nullptr, &mainTarget_,
                            [&](QWidget*, const ExportOffer&) {
                              ++chooserCalls_;
                              return compressor;
                            });
  }
  ExportCommandResult RunWith(std::optional<ExportCodecChoice> choice) {
    return RunExportCommand(nullptr, *project_, nullptr, &mainTarget_,
                            [&](QWidget*, const ExportOffer&) {
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
  EXPECT_EQ(prompts.seen[0].filter, ExportFileFilter());
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

// The save dialog's four file types each name the extension that chooses their container, AVI
// first, and a name typed without one gets the chosen type's.
TEST(ExportFileTypesTest, EachFileTypeChoosesItsContainer) {
  const QStringList types = ExportFileFilter().split(QStringLiteral(";;"));
  ASSERT_EQ(types.size(), 4);
  const OutputContainer containers[] = {OutputContainer::Avi, OutputContainer::Mp4,
                                        OutputContainer::Mkv, OutputContainer::Mov};
  const char* suffixes[] = {"avi", "mp4", "mkv", "mov"};
  for (int i = 0; i < 4; ++i) {
    const QString suffix = FilterSuffix(types[i]);
    EXPECT_EQ(suffix, QString::fromLatin1(suffixes[i])) << types[i].toStdString();
    EXPECT_EQ(ContainerForPath(ToU16(QStringLiteral("out.") + suffix)), containers[i]);
  }
  EXPECT_EQ(FilterSuffix(QStringLiteral("MP4ファイル (*.mp4 *.m4v)")), QStringLiteral("mp4"));
  EXPECT_EQ(FilterSuffix(QStringLiteral("すべて (*)")), QString());
  EXPECT_EQ(FilterSuffix(QStringLiteral("no pattern")), QString());
}

// The band of the timeline covers the frames from its start up to its end; a band past the
// project's end is cut there, and one wholly past it (or none) offers no range.
TEST(TimelineSelectionTest, TheBandsFramesCutAtTheProjectsEnd) {
  EXPECT_EQ(TimelineSelection(10, 20, 100), (ExportRange{10, 19}));
  EXPECT_EQ(TimelineSelection(20, 10, 100), (ExportRange{10, 19}));
  EXPECT_EQ(TimelineSelection(90, 150, 100), (ExportRange{90, 99}));
  EXPECT_EQ(TimelineSelection(5, 6, 100), (ExportRange{5, 5}));
  EXPECT_FALSE(TimelineSelection(7, 7, 100));
  EXPECT_FALSE(TimelineSelection(100, 120, 100));
  EXPECT_FALSE(TimelineSelection(0, 10, 0));
}

// With a selection the dialog offers the whole project (chosen at first) or the selection,
// chosen by a click; without one it shows no range choice.
TEST(CompressorDialogTest, OffersTheSelectionBesideTheWholeProject) {
  CompressorDialog plain(ListAviCompressors());
  EXPECT_EQ(plain.selectionButton(), nullptr);
  EXPECT_FALSE(plain.ChosenRange());

  CompressorDialog dialog(ListAviCompressors(), nullptr, {}, ExportRange{30, 59});
  dialog.show();
  ASSERT_NE(dialog.selectionButton(), nullptr);
  EXPECT_TRUE(dialog.wholeButton()->isChecked());
  EXPECT_EQ(dialog.selectionButton()->text(), QStringLiteral("選択範囲(&S): フレーム 30 - 59"));
  EXPECT_FALSE(dialog.ChosenRange());
  QTest::mouseClick(dialog.selectionButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.ChosenRange(), (ExportRange{30, 59}));
  QTest::mouseClick(dialog.wholeButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog.ChosenRange());
}

// The compressor choice lists what the chosen file's container takes, and the file written is
// of that container.
TEST_F(ExportCommandTest, TheContainerOfTheNameChosenDecidesTheOfferAndTheFile) {
  testing::PromptRecorder prompts;
  std::vector<ExportOffer> offers;
  const auto chooseFirst = [&](QWidget*, const ExportOffer& offer) {
    offers.push_back(offer);
    return std::optional<ExportCodecChoice>(offer.compressors.front().name);
  };
  const auto names = [](const std::vector<AviCompressor>& list) {
    std::vector<std::string> all;
    for (const AviCompressor& c : list) all.push_back(c.name);
    return all;
  };
  prompts.savePath = QString::fromStdString(PathOf("out.mkv"));
  EXPECT_EQ(RunExportCommand(nullptr, *project_, nullptr, &mainTarget_, chooseFirst),
            ExportCommandResult::Done);
  prompts.savePath = QString::fromStdString(PathOf("out.mp4"));
  EXPECT_EQ(RunExportCommand(nullptr, *project_, nullptr, &mainTarget_, chooseFirst),
            ExportCommandResult::Done);
  ASSERT_EQ(offers.size(), 2u);
  EXPECT_EQ(offers[0].container, OutputContainer::Mkv);
  EXPECT_EQ(names(offers[0].compressors), names(ListCompressors(OutputContainer::Mkv)));
  EXPECT_EQ(offers[1].container, OutputContainer::Mp4);
  EXPECT_EQ(names(offers[1].compressors), names(ListCompressors(OutputContainer::Mp4)));
  EXPECT_NE(names(offers[0].compressors), names(offers[1].compressors));
  EXPECT_TRUE(offers[0].soundCodecs.empty());  // the project has no sound
  EXPECT_FALSE(offers[0].selection);

  const std::vector<uint8_t> mkv = testing::ReadFileBytes(PathOf("out.mkv"));
  ASSERT_GE(mkv.size(), 4u);
  EXPECT_EQ(mkv[0], 0x1A);  // the EBML header of Matroska
  EXPECT_EQ(mkv[3], 0xA3);
  const std::vector<uint8_t> mp4 = testing::ReadFileBytes(PathOf("out.mp4"));
  ASSERT_GE(mp4.size(), 8u);
  EXPECT_EQ(std::string(mp4.begin() + 4, mp4.begin() + 8), "ftyp");
}

// The timeline's selection is offered, and chosen it writes those frames as a part, the range
// recorded as the command line's --frames records it; the progress counts the range's frames.
TEST_F(ExportCommandTest, TheSelectedRangeIsWrittenAsAPart) {
  testing::PromptRecorder prompts;
  prompts.savePath = QString::fromStdString(PathOf("range.avi"));
  std::optional<ExportRange> offered;
  ExportCommandContext context;
  context.selection = ExportRange{10, 19};
  EXPECT_EQ(RunExportCommand(
                nullptr, *project_, nullptr, &mainTarget_,
                [&](QWidget*, const ExportOffer& offer) {
                  offered = offer.selection;
                  ExportCodecChoice choice(kFullFramesCompressor);
                  choice.range = offer.selection;
                  return std::optional<ExportCodecChoice>(choice);
                },
                context),
            ExportCommandResult::Done);
  EXPECT_EQ(offered, (ExportRange{10, 19}));
  EXPECT_EQ(ExportFrameCount(*project_), 10u);
  EXPECT_EQ(project_->exportJob.framesWritten, 10);
  std::string why;
  const auto info = ReadPartInfo(PathOf("range.avi"), &why);
  ASSERT_TRUE(info) << why;
  EXPECT_EQ(info->first, 10u);
  EXPECT_EQ(info->last, 19u);
  EXPECT_EQ(info->projectLength, 30u);
  EXPECT_EQ(info->framesPresent, 10u);
  EXPECT_TRUE(Errors(prompts).empty());

  // The frames are those of a whole export: frame 10 of the whole file is the part's frame 0.
  prompts.savePath = QString::fromStdString(PathOf("whole.avi"));
  EXPECT_EQ(Run(), ExportCommandResult::Done);
  testing::AviFileLayout whole, part;
  ASSERT_TRUE(testing::ReadAviLayout(PathOf("whole.avi"), whole));
  ASSERT_TRUE(testing::ReadAviLayout(PathOf("range.avi"), part));
  ASSERT_EQ(part.frames.size(), 10u);
  EXPECT_EQ(part.frames[0], whole.frames[10]);
  EXPECT_EQ(part.frames[9], whole.frames[19]);
}

// A range that does not start on a key frame of the codec cannot be a part: said, nothing
// written.
TEST_F(ExportCommandTest, ARangeOffTheKeyFramesIsRefusedWithTheReason) {
  const auto codecs = ListCompressors(OutputContainer::Mp4);
  const bool h264 = std::any_of(codecs.begin(), codecs.end(),
                                [](const AviCompressor& c) { return c.name == "h264"; });
  if (!h264) GTEST_SKIP() << "this libavcodec has no H.264 encoder";
  testing::PromptRecorder prompts;
  prompts.savePath = QString::fromStdString(PathOf("range.mp4"));
  ExportCommandContext context;
  context.selection = ExportRange{5, 14};
  EXPECT_EQ(RunExportCommand(
                nullptr, *project_, nullptr, &mainTarget_,
                [&](QWidget*, const ExportOffer& offer) {
                  ExportCodecChoice choice("h264");
                  choice.range = offer.selection;
                  return std::optional<ExportCodecChoice>(choice);
                },
                context),
            ExportCommandResult::BadRange);
  const auto errors = Errors(prompts);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(
      errors[0].startsWith(QStringLiteral("フレーム 5 - 14 だけを書き出すことはできません。")))
      << errors[0].toStdString();
  EXPECT_FALSE(std::filesystem::exists(PathOf("range.mp4")));
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
