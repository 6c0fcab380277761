#include "ui/dialogs/progress_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "avi_file_reader.h"
#include "export/export_job.h"
#include "export/export_progress.h"
#include "export/project_export.h"
#include "export_test_support.h"
#include "export_ui_test_support.h"
#include "model/messages.h"

namespace tavrona {
namespace {

using testing::AviFileLayout;

constexpr int kSpyWaitMs = 120000;  // generous: the runs take well under a second

bool WaitFinished(QSignalSpy& spy) {
  return spy.count() > 0 || spy.wait(kSpyWaitMs);
}

// A click on the box's indicator (the box may be laid out wider than its text).
void ClickBox(QCheckBox* box) {
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

TEST(SplitProgressTextTest, CutsLinesAndTheFirstTabOfEach) {
  const ProgressTextCells full =
      SplitProgressText(QStringLiteral("現在位置 00:02.999\t進捗度 50%\n経過時間 00:20.000\t"
                                       "推定残り時間 00:20.000"));
  EXPECT_EQ(full[0][0], QStringLiteral("現在位置 00:02.999"));
  EXPECT_EQ(full[0][1], QStringLiteral("進捗度 50%"));
  EXPECT_EQ(full[1][0], QStringLiteral("経過時間 00:20.000"));
  EXPECT_EQ(full[1][1], QStringLiteral("推定残り時間 00:20.000"));

  const ProgressTextCells plain = SplitProgressText(QStringLiteral("a\tb\tc"));
  EXPECT_EQ(plain[0][0], QStringLiteral("a"));
  EXPECT_EQ(plain[0][1], QStringLiteral("b\tc"));
  EXPECT_TRUE(plain[1][0].isEmpty());
  EXPECT_TRUE(plain[1][1].isEmpty());

  for (const auto& line : SplitProgressText(QString())) {
    EXPECT_TRUE(line[0].isEmpty());
    EXPECT_TRUE(line[1].isEmpty());
  }
}

class ProgressDialogTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    savedTarget_ = Process().timeoutTarget;
    Process().timeoutTarget = &mainTarget_;
  }
  void TearDown() override {
    Process().timeoutTarget = savedTarget_;
    SetPromptHookForTests(nullptr);
    TempFolderTest::TearDown();
  }

  // A project of the given length with a full-frames export to out.avi begun.
  void Begin(uint32_t movieLength) {
    project_ = testing::MakeExportProject(movieLength);
    ASSERT_TRUE(project_);
    AviWriter* writer = ProjectAviWriter(*project_);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(ChooseCompressor(*writer, kFullFramesCompressor));
    ASSERT_TRUE(BeginExport(*project_, Path16("out.avi"), composer_));
  }

  // The frames of the same project exported in one go without the dialog.
  std::vector<std::vector<uint8_t>> ReferenceFrames(uint32_t movieLength) {
    auto project = testing::MakeExportProject(movieLength);
    ExportRunOptions options;
    options.pipelined = false;
    EXPECT_EQ(ExportProject(*project, Path16("reference.avi"), nullptr, options),
              ExportResult::Done);
    return Layout("reference.avi").frames;
  }

  AviFileLayout Layout(const std::string& file) {
    AviFileLayout layout;
    EXPECT_TRUE(testing::ReadAviLayout(PathOf(file), layout)) << file;
    return layout;
  }

  NoUserTimeoutTarget mainTarget_;
  TimeoutTarget* savedTarget_ = nullptr;
  ExportComposer composer_ = ProjectComposer(nullptr);
  std::unique_ptr<ProjectData> project_;
};

TEST_F(ProgressDialogTest, RunsEveryFrameAndEndsWithOk) {
  Begin(30);
  CProgressDlg dialog(*project_, composer_, &mainTarget_);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("AVIファイル作成状況"));
  EXPECT_EQ(dialog.AbortButton()->text(), QStringLiteral("中断"));
  EXPECT_EQ(dialog.ShowImageBox()->text(), QStringLiteral("現在の画像を表示する"));
  EXPECT_TRUE(dialog.ShowImageBox()->isChecked());
  EXPECT_EQ(dialog.TimeoutIsErrorBox()->text(), QStringLiteral("タイムアウトをエラーにする"));
  EXPECT_FALSE(dialog.TimeoutIsErrorBox()->isChecked());
  EXPECT_EQ(dialog.StopOnEventErrorBox()->text(),
            QStringLiteral("イベント描画時にエラーが発生した場合は中断する"));
  EXPECT_FALSE(dialog.StopOnEventErrorBox()->isChecked());

  QSignalSpy finished(&dialog, &QDialog::finished);
  dialog.show();
  // The job runs in the event loop, not inside show().
  EXPECT_EQ(project_->exportJob.framesWritten, 0);
  EXPECT_EQ(Process().timeoutTarget, static_cast<TimeoutTarget*>(&dialog));
  EXPECT_EQ(dialog.Bar()->minimum(), 0);
  EXPECT_EQ(dialog.Bar()->maximum(), 30);
  EXPECT_EQ(dialog.Bar()->value(), 0);

  ASSERT_TRUE(WaitFinished(finished));
  EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Accepted);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.Running());
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
  EXPECT_EQ(project_->exportJob.done, 1);
  EXPECT_EQ(project_->exportJob.abort, 0);
  EXPECT_EQ(project_->exportJob.framesWritten, 30);
  EXPECT_FALSE(project_->exportWriter->Initialised());

  const AviFileLayout layout = Layout("out.avi");
  EXPECT_EQ(layout.avihTotalFrames, 30u);
  const auto reference = ReferenceFrames(30);
  ASSERT_EQ(reference.size(), 30u);
  ASSERT_EQ(layout.frames.size(), 30u);
  for (size_t n = 0; n < 30; ++n) {
    ASSERT_EQ(layout.frames[n].size(), 64u * 48 * 4) << n;
    EXPECT_EQ(layout.frames[n], reference[n]) << "frame " << n;
  }
  EXPECT_NE(layout.frames[0], layout.frames[29]);
}

TEST_F(ProgressDialogTest, AbortButtonClosesTheFileWithTheFramesSoFar) {
  Begin(30);
  CProgressDlg dialog(*project_, composer_, &mainTarget_);
  QSignalSpy finished(&dialog, &QDialog::finished);
  // Clicked from the event loop between two frames, as a user would.
  int clicks = 0;
  QTimer poll;
  poll.setInterval(0);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (project_->exportJob.framesWritten >= 5 && dialog.Running()) {
      ++clicks;
      QTest::mouseClick(dialog.AbortButton(), Qt::LeftButton);
    }
  });
  poll.start();
  dialog.show();
  ASSERT_TRUE(WaitFinished(finished));
  poll.stop();

  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Rejected);
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
  EXPECT_EQ(project_->exportJob.abort, 1);
  EXPECT_EQ(project_->exportJob.done, 0);
  EXPECT_FALSE(project_->exportWriter->Initialised());
  const uint32_t written = static_cast<uint32_t>(project_->exportJob.framesWritten);
  EXPECT_GE(written, 5u);
  EXPECT_LT(written, 30u);

  const AviFileLayout layout = Layout("out.avi");
  EXPECT_EQ(layout.avihTotalFrames, written);
  ASSERT_EQ(layout.frames.size(), written);
  const auto reference = ReferenceFrames(30);
  for (size_t n = 0; n < written; ++n) EXPECT_EQ(layout.frames[n], reference[n]) << n;
}

TEST_F(ProgressDialogTest, RefreshShowsCountersTextAndThumbnail) {
  Begin(30);
  CProgressDlg dialog(*project_, composer_, &mainTarget_);
  QSignalSpy finished(&dialog, &QDialog::finished);
  dialog.show();
  ASSERT_TRUE(testing::ProcessEventsUntil([&] { return project_->exportJob.framesWritten >= 3; }));
  ASSERT_TRUE(dialog.Running());
  const uint32_t n = static_cast<uint32_t>(project_->exportJob.framesWritten);
  ASSERT_LT(n, 30u);

  dialog.Tick();
  EXPECT_EQ(dialog.Bar()->value(), static_cast<int>(n));
  EXPECT_TRUE(dialog.ProgressText().startsWith(QStringLiteral("現在位置 00:00.")));
  // The tab-separated columns show in separate labels: no label holds a tab.
  QStringList labels;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) {
    EXPECT_FALSE(label->text().contains(QLatin1Char('\t'))) << label->text().toStdString();
    labels << label->text();
  }
  EXPECT_TRUE(labels.contains(QStringLiteral("進捗度 %1%").arg(n * 100 / 30)))
      << labels.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(labels.filter(QStringLiteral("推定残り時間 ")).size(), 1);

  // The thumbnail: the frame written last, stretched to 320 x 240 at (centred, 8).
  const QImage shot = dialog.grab().toImage();
  ASSERT_EQ(shot.size(), dialog.size());
  const int left = ThumbnailLeft(dialog.width());
  ASSERT_GE(left, 0);
  const FrameBuffer& last = LastWrittenFrame(*project_);
  auto expected = [&](int x, int y) { return last.At(x * 64 / 320, y * 48 / 240) & 0xFFFFFFu; };
  auto shown = [&](const QImage& image, int x, int y) {
    return image.pixel(left + x, kThumbnailTop + y) & 0xFFFFFFu;
  };
  const uint32_t background = ProjectColourToPixel(project_->backgroundColour);
  int pictureX = -1, pictureY = -1;  // a point where the moving picture is
  for (int y = 0; y < kThumbnailHeight && pictureX < 0; y += 3) {
    for (int x = 0; x < kThumbnailWidth; x += 3) {
      if (expected(x, y) != background) {
        pictureX = x;
        pictureY = y;
        break;
      }
    }
  }
  ASSERT_GE(pictureX, 0);
  const int points[][2] = {{0, 0},     {319, 0},   {0, 239},
                           {319, 239}, {160, 120}, {pictureX, pictureY}};
  for (const auto& p : points) {
    EXPECT_EQ(shown(shot, p[0], p[1]), expected(p[0], p[1])) << p[0] << "," << p[1];
  }

  // Unchecked, the picture goes at once.
  ClickBox(dialog.ShowImageBox());
  EXPECT_FALSE(dialog.ShowImageBox()->isChecked());
  const QImage hidden = dialog.grab().toImage();
  EXPECT_NE(shown(hidden, pictureX, pictureY), expected(pictureX, pictureY));

  // Escape aborts like the button.
  QTest::keyClick(&dialog, Qt::Key_Escape);
  ASSERT_EQ(finished.count(), 1);
  EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Rejected);
  EXPECT_EQ(project_->exportJob.abort, 1);
  EXPECT_FALSE(project_->exportWriter->Initialised());
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
}

TEST_F(ProgressDialogTest, EmptyMovieEndsWithOkAtTheFirstTickWithoutText) {
  Begin(0);
  CProgressDlg dialog(*project_, composer_, &mainTarget_);
  QSignalSpy finished(&dialog, &QDialog::finished);
  dialog.show();
  ASSERT_TRUE(WaitFinished(finished));
  EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Accepted);
  EXPECT_EQ(dialog.TickCount(), 1);
  EXPECT_TRUE(dialog.ProgressText().isEmpty());
  for (const QLabel* label : dialog.findChildren<QLabel*>()) EXPECT_TRUE(label->text().isEmpty());
  EXPECT_EQ(project_->exportJob.done, 1);
  EXPECT_EQ(project_->exportJob.framesWritten, 0);
  EXPECT_EQ(Layout("out.avi").frames.size(), 0u);
}

TEST_F(ProgressDialogTest, FailedFrameEndsWithCancelAtTheNextTick) {
  project_ = testing::MakeExportProject(30);
  ASSERT_TRUE(project_);
  project_->exportJob.stopOnEventError = 1;
  // The real composition, with an event failing to draw at frame 4.
  uint32_t composed = 0;
  ExportComposer failing = composer_;
  failing.composeNextFrame = [&](ProjectData& project, FrameBuffer& dst) {
    const bool drawn = composer_.composeNextFrame(project, dst);
    return composed++ != 4 && drawn;
  };
  ASSERT_TRUE(BeginExport(*project_, Path16("out.avi"), failing));
  CProgressDlg dialog(*project_, failing, &mainTarget_);
  QSignalSpy finished(&dialog, &QDialog::finished);
  dialog.show();
  ASSERT_TRUE(WaitFinished(finished));
  EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Rejected);
  EXPECT_EQ(dialog.TickCount(), 1);
  EXPECT_EQ(composed, 5u);  // no step after the failure
  EXPECT_EQ(project_->exportJob.abort, 1);
  EXPECT_EQ(project_->exportJob.framesWritten, 4);
  EXPECT_EQ(Layout("out.avi").frames.size(), 4u);
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
}

TEST_F(ProgressDialogTest, CheckBoxesDriveTheJobFlagAndTheTimeoutAnswers) {
  Begin(30);
  project_->exportJob.stopOnEventError = 1;
  testing::PromptRecorder prompts;
  CProgressDlg dialog(*project_, composer_, &mainTarget_);
  EXPECT_TRUE(dialog.StopOnEventErrorBox()->isChecked());
  QSignalSpy finished(&dialog, &QDialog::finished);
  dialog.show();

  ClickBox(dialog.StopOnEventErrorBox());
  EXPECT_EQ(project_->exportJob.stopOnEventError, 0);
  ClickBox(dialog.StopOnEventErrorBox());
  EXPECT_EQ(project_->exportJob.stopOnEventError, 1);

  // The movie requests ask whatever the process-wide target is: the dialog while it runs.
  TimeoutTarget* target = Process().timeoutTarget;
  ASSERT_EQ(target, static_cast<TimeoutTarget*>(&dialog));
  EXPECT_EQ(target->TimeoutQuery(), 0);
  ClickBox(dialog.TimeoutIsErrorBox());
  EXPECT_NE(target->TimeoutQuery(), 0);

  prompts.answer = PromptAnswer::Ok;
  EXPECT_TRUE(target->AskToContinue(std::u16string(kMsgMovieTimeout)));
  prompts.answer = PromptAnswer::Cancel;
  EXPECT_FALSE(target->AskToContinue(std::u16string(kMsgMovieTimeout)));
  ASSERT_EQ(prompts.seen.size(), 2u);
  EXPECT_EQ(prompts.seen[0].kind, PromptKind::OkCancel);
  EXPECT_EQ(prompts.seen[0].caption, QStringLiteral("エラー"));
  EXPECT_EQ(prompts.seen[0].text, ToQString(kMsgMovieTimeout));

  QTest::mouseClick(dialog.AbortButton(), Qt::LeftButton);
  ASSERT_EQ(finished.count(), 1);
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
  // The flag outlives the dialog: the next export of the project starts with it.
  EXPECT_EQ(project_->exportJob.stopOnEventError, 1);
}

TEST_F(ProgressDialogTest, DestroyedWhileRunningClosesTheFileAndGivesTheTargetBack) {
  Begin(30);
  {
    CProgressDlg dialog(*project_, composer_, &mainTarget_);
    dialog.show();
    ASSERT_TRUE(
        testing::ProcessEventsUntil([&] { return project_->exportJob.framesWritten >= 2; }));
    ASSERT_EQ(Process().timeoutTarget, static_cast<TimeoutTarget*>(&dialog));
  }
  EXPECT_EQ(Process().timeoutTarget, &mainTarget_);
  EXPECT_FALSE(project_->exportWriter->Initialised());
  EXPECT_EQ(Layout("out.avi").frames.size(),
            static_cast<size_t>(project_->exportJob.framesWritten));
}

}  // namespace
}  // namespace tavrona
