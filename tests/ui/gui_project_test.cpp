// A project made only with the mouse and keys in the real main window: files dropped from a file
// manager, a template filled by dragging a file onto it, events dropped from the file and
// template panes and inserted by key, an event moved and edited in its dialog, saved with
// Ctrl+S. The saved file reads back with exactly what was made, and the command line's info
// lists it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <memory>

#include "model/project_file.h"
#include "qt_printers.h"
#include "render/bitmap_save.h"
#include "sources/project_sources.h"
#include "test_movies.h"
#include "ui/dialogs/event_dialog.h"
#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/panes/event_view_logic.h"
#include "ui/panes/file_view_logic.h"
#include "ui/panes/pane_base.h"
#include "ui/panes/track_view.h"
#include "ui/panes/track_view_logic.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

class GuiProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    SetPromptHookForTests([this](Prompt& p) {
      if (p.kind == PromptKind::SaveFile) {
        p.answerText = dir_.filePath("made.vpj");
      } else {
        messages_ << p.text;  // no message box is expected
      }
      return PromptAnswer::Ok;
    });
    document_ = std::make_unique<CKeldaDoc>();
    frame_ = std::make_unique<CMainFrame>(*document_);
    frame_->resize(1280, 900);
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  }
  void TearDown() override {
    frame_.reset();
    document_.reset();
    SetPromptHookForTests(nullptr);
  }
  QWidget* View(PanePlace place) { return frame_->Pane(place)->viewport(); }
  CTrackView* Timeline() { return static_cast<CTrackView*>(frame_->Pane(PaneTimeline)); }
  // A point of the timeline's document (all-tracks mode): frame f on track t.
  QPoint TimelinePoint(uint32_t f, int t) {
    const int x = static_cast<int>(FrameToX(f, Timeline()->State().scale));
    return QPoint(x, kRowsTop + t * kRowHeight + kRowHeight / 2) - Timeline()->ScrollPosition();
  }
  // Presses in one pane, moves over another and lets go there, as a user's drag does.
  void Drag(QWidget* from, QPoint start, QWidget* to, QPoint end) {
    QTest::mousePress(from, Qt::LeftButton, {}, start);
    const QPoint there = from->mapFromGlobal(to->mapToGlobal(end));
    QTest::mouseMove(from, there);
    QTest::mouseRelease(from, Qt::LeftButton, {}, there);
  }

  QTemporaryDir dir_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
  QStringList messages_;
};

TEST_F(GuiProjectTest, AProjectBuiltWithMouseAndKeysReadsBackThroughTheCommandLine) {
  // The sources: a 32 x 24 picture and a movie made here.
  FrameBuffer picture;
  ASSERT_TRUE(CreateFrameBuffer(picture, 32, 24));
  FillFrameBuffer(picture, 0x00336699);
  const QString bmp = dir_.filePath("picture.bmp");
  ASSERT_TRUE(SaveFrameBufferBmp(picture, bmp.toStdString()));
  const std::filesystem::path movie = testing::TestMoviePath(testing::Ffv1Avi30());
  ASSERT_FALSE(movie.empty());
  const QString clip = dir_.filePath("clip.avi");
  ASSERT_TRUE(QFile::copy(QString::fromStdString(movie.string()), clip));
  ProjectData& p = document_->Project();

  // 1. Both files dropped from a file manager onto the file pane.
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(bmp), QUrl::fromLocalFile(clip)});
  QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(View(PaneFiles), &enter);
  QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(View(PaneFiles), &drop);
  ASSERT_EQ(p.files[0].kind, FileStillImage);
  ASSERT_EQ(p.files[1].kind, FileMovie);

  // 2. The picture's row dragged onto the first template row (key "1").
  Drag(View(PaneFiles), FileRowRect(0).center(), View(PaneTemplates),
       QPoint(60, kEventRowHeight / 2));
  const EventRecord expectedTemplate = DefaultEventForFile(p, 0, 0);
  EXPECT_EQ(std::memcmp(&p.templates[0], &expectedTemplate, sizeof(EventRecord)), 0);

  // 3. The movie's row dropped on track 2 at frame 40; the template on track 0 at frame 10.
  Drag(View(PaneFiles), FileRowRect(1).center(), View(PaneTimeline), TimelinePoint(40, 2));
  ASSERT_EQ(p.tracks[2].count, 1u);
  EXPECT_EQ(p.tracks[2].events[0].start, 40u);
  EXPECT_EQ(p.tracks[2].events[0].fileId, 1);
  EXPECT_EQ(p.tracks[2].events[0].playbackRate, p.frameDuration100ns);
  Drag(View(PaneTemplates), QPoint(60, kEventRowHeight / 2), View(PaneTimeline),
       TimelinePoint(10, 0));
  ASSERT_EQ(p.tracks[0].count, 1u);
  EXPECT_EQ(p.tracks[0].events[0].start, 10u);
  EXPECT_EQ(p.tracks[0].events[0].fileId, 0);

  // 4. Track 5 made current by a click on its row, the position set at frame 20 in the tick
  //    strip, and key "1" inserts the template there.
  QTest::mouseClick(View(PaneTimeline), Qt::LeftButton, {}, TimelinePoint(30, 5));
  QTest::mouseClick(View(PaneTimeline), Qt::LeftButton, {},
                    QPoint(TimelinePoint(20, 0).x(), kTickStripTop + 4));
  EXPECT_EQ(Timeline()->State().position, 20u);
  QTest::keyClick(View(PaneTimeline), Qt::Key_1);
  ASSERT_EQ(p.tracks[5].count, 1u);
  EXPECT_EQ(p.tracks[5].events[0].start, 20u);
  EXPECT_EQ(p.tracks[5].events[0].fileId, 0);

  // 5. The movie's event moved from frame 40 to frame 55 with the mouse.
  QTest::mouseClick(View(PaneTimeline), Qt::LeftButton, {}, TimelinePoint(42, 2));
  QTest::mousePress(View(PaneTimeline), Qt::LeftButton, {}, TimelinePoint(42, 2));
  QTest::mouseMove(View(PaneTimeline), TimelinePoint(57, 2));
  QTest::mouseRelease(View(PaneTimeline), Qt::LeftButton, {}, TimelinePoint(57, 2));
  ASSERT_EQ(p.tracks[2].count, 1u);
  EXPECT_EQ(p.tracks[2].events[0].start, 55u);

  // 6. Its properties: opacity 128 and blend mode left as it was; Enter opens the dialog.
  bool edited = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CEventPropertyDlg*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    dialog->fieldEdit(EventDialogField::Opacity)->setText("128");
    edited = true;
    dialog->accept();
  });
  frame_->RunCommand(CmdProperties);
  ASSERT_TRUE(edited);
  EXPECT_EQ(p.tracks[2].events[0].opacity, 128);

  // 7. Saved with Ctrl+S (an unnamed project asks for the name).
  ASSERT_TRUE(document_->Modified());
  frame_->activateWindow();  // back from the dialog
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get()));
  frame_->Pane(PaneTimeline)->setFocus();
  QTest::keyClick(View(PaneTimeline), Qt::Key_S, Qt::ControlModifier);
  const QString saved = dir_.filePath("made.vpj");
  ASSERT_TRUE(QFile::exists(saved));
  EXPECT_FALSE(document_->Modified());
  EXPECT_EQ(frame_->windowTitle(), "made.vpj - Tavrona");

  // The file holds exactly the events and templates made (the selection flag included).
  auto back = AllocateProjectData();
  StandardSourceOpener opener;
  struct NoQuestions : LoadQuestions {
    bool AskYesNo(const std::u16string&) override { return false; }
  } questions;
  ASSERT_TRUE(ReadProjectFile(ToU16(saved), *back, opener, questions));
  for (int t = 0; t < kTrackCount; ++t) {
    ASSERT_EQ(back->tracks[t].count, p.tracks[t].count) << "track " << t;
    for (uint32_t i = 0; i < p.tracks[t].count; ++i) {
      EXPECT_EQ(
          std::memcmp(&back->tracks[t].events[i], &p.tracks[t].events[i], sizeof(EventRecord)), 0)
          << "track " << t << " event " << i;
    }
  }
  EXPECT_EQ(std::memcmp(&back->templates[0], &p.templates[0], sizeof(EventRecord)), 0);

  // And the command line lists the same files, tracks and template.
  QProcess info;
  info.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  info.start(QStringLiteral(TAVRONA_CLI), {"info", saved});
  ASSERT_TRUE(info.waitForFinished(60'000));
  ASSERT_EQ(info.exitCode(), 0);
  const QString out = QString::fromUtf8(info.readAllStandardOutput());
  EXPECT_TRUE(
      out.contains(QRegularExpression("ID:0000  still image .*picture\\.bmp  \\(32 x 24\\)")))
      << out.toStdString();
  EXPECT_TRUE(out.contains(QRegularExpression("ID:0001  movie .*clip\\.avi  \\(64 x 64\\)")))
      << out.toStdString();
  EXPECT_FALSE(out.contains("ID:0002"));
  EXPECT_TRUE(out.contains("Track 000  1 event\n"));
  EXPECT_TRUE(out.contains("Track 002  1 event\n"));
  EXPECT_TRUE(out.contains("Track 005  1 event\n"));
  EXPECT_FALSE(out.contains("Track 001"));
  EXPECT_TRUE(out.contains(QRegularExpression("slot  0  key 1  ID:0000\n")));
  EXPECT_FALSE(out.contains("slot  1"));
  EXPECT_TRUE(messages_.isEmpty()) << messages_.join("; ").toStdString();
}

}  // namespace
}  // namespace tavrona
