#include "ui/edit/edit_path.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bmp_builder.h"
#include "masked_project_bytes.h"
#include "modal_answer.h"
#include "model/project_file.h"
#include "model/track_data.h"
#include "qt_printers.h"
#include "ui/clipboard.h"
#include "ui/composition_worker.h"
#include "ui/dialogs/event_dialog.h"
#include "ui/dialogs/file_dialog.h"
#include "ui/dialogs/project_dialog.h"
#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/panes/event_view.h"
#include "ui/panes/event_view_logic.h"
#include "ui/panes/file_view.h"
#include "ui/panes/file_view_logic.h"
#include "ui/panes/track_view.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

// --- The path itself ---------------------------------------------------------------------------

class RecordingHost : public EditHost {
 public:
  void LetWorkerGo() override { calls.push_back("let go"); }
  void RecordBefore(const EditStep&) override { calls.push_back("record"); }
  void PushStep(const EditStep&) override { calls.push_back("push"); }
  void MarkModified() override { calls.push_back("modified"); }
  void BroadcastEdit(QObject* sender) override {
    calls.push_back("broadcast");
    senders.push_back(sender);
  }
  std::vector<std::string> calls;
  std::vector<QObject*> senders;
};

using Calls = std::vector<std::string>;

const EditStep kStep{QStringLiteral("イベントの移動"), EditScope::Track(0)};

TEST(EditPath, LetsTheWorkerGoBeforeApplyingAndFinishesAChangeOnce) {
  RecordingHost host;
  int depth = 0;
  QObject pane;
  const bool changed = RunEdit(host, depth, kStep, &pane, [&] {
    EXPECT_EQ(depth, 1);
    host.calls.push_back("apply");
    return true;
  });
  EXPECT_TRUE(changed);
  EXPECT_EQ(host.calls, (Calls{"let go", "record", "apply", "push", "modified", "broadcast"}));
  EXPECT_EQ(host.senders, std::vector<QObject*>{&pane});
  EXPECT_EQ(depth, 0);
}

TEST(EditPath, AnEditThatChangesNothingNeitherMarksNorBroadcasts) {
  RecordingHost host;
  int depth = 0;
  EXPECT_FALSE(RunEdit(host, depth, kStep, nullptr, [&] {
    host.calls.push_back("apply");
    return false;
  }));
  EXPECT_EQ(host.calls, (Calls{"let go", "record", "apply", "push"}));
  EXPECT_EQ(depth, 0);
}

TEST(EditPath, AnEditInsideAnEditIsFinishedByTheOuterOneOnly) {
  RecordingHost host;
  int depth = 0;
  bool inner = false;
  EXPECT_TRUE(RunEdit(host, depth, kStep, nullptr, [&] {
    inner = RunEdit(host, depth, kStep, nullptr, [&] {
      EXPECT_EQ(depth, 1);
      host.calls.push_back("inner apply");
      return true;
    });
    return inner;
  }));
  EXPECT_TRUE(inner);
  EXPECT_EQ(host.calls, (Calls{"let go", "record", "inner apply", "push", "modified", "broadcast"}));
  EXPECT_EQ(depth, 0);
}

TEST(DocumentEdit, MarksModifiedAndRefreshesTheOtherViewsOnceOnlyWhenApplyChangedSomething) {
  CKeldaDoc doc;
  QSignalSpy views(&doc, &CKeldaDoc::viewsUpdated);
  QSignalSpy title(&doc, &CKeldaDoc::titleChanged);
  QObject pane;
  bool editing = false;
  EXPECT_FALSE(doc.Edit({QStringLiteral("テンプレートの削除"), EditScope::Templates()}, &pane, [&] {
    editing = doc.Editing();
    return false;
  }));
  EXPECT_TRUE(editing);
  EXPECT_FALSE(doc.Editing());
  EXPECT_EQ(views.count(), 0);
  EXPECT_EQ(title.count(), 0);
  EXPECT_FALSE(doc.Modified());
  EXPECT_EQ(doc.EditsRun(), 1u);

  EXPECT_TRUE(doc.Edit({QStringLiteral("イベントの削除"), EditScope::Track(3)}, &pane, [&] {
    doc.Project().templates[0].flags = EventInUse;
    return true;
  }));
  ASSERT_EQ(views.count(), 1);
  EXPECT_EQ(views[0][0].value<QObject*>(), &pane);
  EXPECT_EQ(title.count(), 1);
  EXPECT_TRUE(doc.Modified());
  EXPECT_EQ(doc.EditsRun(), 2u);
  EXPECT_EQ(doc.LastEdit().label, QStringLiteral("イベントの削除"));
  EXPECT_TRUE(doc.LastEdit().scope.tracks.test(3));
  EXPECT_EQ(doc.LastEdit().scope.tracks.count(), 1u);
}

TEST(DocumentEdit, PlaybackHasStoppedWhenTheChangeIsApplied) {
  CKeldaDoc doc;
  doc.Project().movieLength = kMaxMovieLength;
  ASSERT_TRUE(doc.Worker().StartPlayback(doc.Project(), 0));
  ASSERT_TRUE(doc.Worker().Playing());
  bool playingDuringApply = true;
  doc.Edit({QStringLiteral("プロジェクトの設定"), EditScope::Header()}, nullptr, [&] {
    playingDuringApply = doc.Worker().Playing();
    doc.Project().movieLength = 10;
    return true;
  });
  EXPECT_FALSE(playingDuringApply);
}

// --- Every pane's edits take the path ----------------------------------------------------------

EventRecord Ev(uint32_t start, int32_t fileId = 0) {
  EventRecord r{};
  r.flags = EventInUse;
  r.start = start;
  r.fileId = fileId;
  return r;
}

// Drives the panes and dialogs of a main window as the user does and checks after each action
// that the project's saved state changed only inside an edit, which left the project modified.
class EditAuditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    SetPromptHookForTests([this](Prompt& p) {
      prompts_.push_back(p.text);
      return PromptAnswer::Ok;
    });
    testing::BmpRecipe recipe;
    recipe.width = 2;
    recipe.height = 2;
    recipe.rows = {{0xFF0000, 0x00FF00}, {0x0000FF, 0}};
    bmp_ = dir_.filePath("two.bmp");
    testing::WriteFile(bmp_.toStdString(), testing::BuildBmp(recipe));

    document_ = std::make_unique<CKeldaDoc>();
    Project().movieLength = 300;
    frame_ = std::make_unique<CMainFrame>(*document_);
    frame_->resize(1000, 700);
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
    Timeline()->OnUpdate(nullptr);
  }
  void TearDown() override {
    frame_.reset();
    document_.reset();
    SetPromptHookForTests(nullptr);
  }

  ProjectData& Project() { return document_->Project(); }
  CTrackView* Timeline() { return static_cast<CTrackView*>(frame_->Pane(PaneTimeline)); }
  CEventView* TemplatePane() { return static_cast<CEventView*>(frame_->Pane(PaneTemplates)); }
  CFileView* FilePane() { return static_cast<CFileView*>(frame_->Pane(PaneFiles)); }

  // The bytes the project file would hold, without the selected flags: selecting is no edit.
  std::string SavedState() { return testing::MaskedProjectBytes(Project()); }

  // Runs action on a project marked unmodified; true when the saved state changed.
  bool Changes(const char* what, const std::function<void()>& action) {
    document_->SetModifiedFlag(false);
    const std::string before = SavedState();
    const uint64_t edits = document_->EditsRun();
    action();
    QApplication::processEvents();
    const std::string after = SavedState();
    const bool changed = after != before;
    if (changed) {
      EXPECT_GT(document_->EditsRun(), edits)
          << what << ": the project was written outside an edit";
      EXPECT_TRUE(document_->Modified()) << what << ": changed but not marked modified";
      // One undo brings the state before back, one redo the state after.
      EXPECT_EQ(document_->History().UndoLabel(), document_->LastEdit().label) << what;
      EXPECT_TRUE(document_->Undo()) << what;
      EXPECT_EQ(SavedState(), before) << what << ": undo did not bring the state back";
      EXPECT_TRUE(document_->Redo()) << what;
      EXPECT_EQ(SavedState(), after) << what << ": redo did not bring the edit back";
    }
    return changed;
  }

  // Answers the next modal dialog of type Dialog: edits it, then OK (or Cancel).
  template <class Dialog>
  void Answer(std::function<void(Dialog&)> edit, bool ok = true) {
    testing::AnswerNextModal<Dialog>(frame_.get(), std::move(edit), ok);
  }

  void DropOnFilePane(const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPointF at(50, 50);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FilePane()->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FilePane()->viewport(), &drop);
  }

  // The timeline in the all-tracks mode at its first scale: 8 pixels a frame, 16 a track.
  static QPoint TimelinePoint(uint32_t frame, uint32_t track) {
    return QPoint(static_cast<int>(frame) * 8 + 4, kRowsTop + static_cast<int>(track) * 16 + 8);
  }
  static QPoint TemplateRow(int row) { return QPoint(40, row * kEventRowHeight + 10); }
  static QPoint FileRow(int row) { return QPoint(40, row * kFileRowHeight + 10); }

  QTemporaryDir dir_;
  QString bmp_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
  std::vector<QString> prompts_;
};

TEST_F(EditAuditTest, TimelineEditsTakeThePathAndSelectingDoesNot) {
  const EventRecord events[] = {Ev(10), Ev(40)};
  ASSERT_TRUE(InsertSorted(Project().tracks[0], 2, events));
  Project().templates[0] = Ev(0);
  Timeline()->OnUpdate(nullptr);
  QWidget* vp = Timeline()->viewport();

  EXPECT_FALSE(
      Changes("select", [&] { QTest::mouseClick(vp, Qt::LeftButton, {}, TimelinePoint(10, 0)); }));
  EXPECT_FALSE(Changes("select all", [&] { Timeline()->RunCommand(CmdEditSelectAll); }));
  EXPECT_FALSE(document_->Modified());
  QTest::mouseClick(vp, Qt::LeftButton, {}, TimelinePoint(10, 0));
  EXPECT_TRUE(Changes("move", [&] {
    QTest::mousePress(vp, Qt::LeftButton, {}, TimelinePoint(10, 0));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, TimelinePoint(20, 0));
  }));
  EXPECT_EQ(Project().tracks[0].events[0].start, 20u);
  EXPECT_EQ(document_->LastEdit().label, QStringLiteral("イベントの移動"));

  EXPECT_TRUE(Changes("template key", [&] { QTest::keyClick(Timeline(), Qt::Key_1); }));
  EXPECT_TRUE(Changes("template drop", [&] {
    QTest::mousePress(TemplatePane()->viewport(), Qt::LeftButton, {}, TemplateRow(0));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, TimelinePoint(100, 2));
  }));
  EXPECT_EQ(Project().tracks[2].count, 1u);

  QTest::mouseClick(vp, Qt::LeftButton, {}, TimelinePoint(20, 0));
  Answer<CEventPropertyDlg>(
      [](CEventPropertyDlg& d) { d.fieldEdit(EventDialogField::Opacity)->setText("128"); });
  EXPECT_TRUE(Changes("properties", [&] { Timeline()->RunCommand(CmdProperties); }));
  EXPECT_EQ(Project().tracks[0].events[1].opacity, 128);
  Answer<CEventPropertyDlg>([](CEventPropertyDlg&) {}, false);
  EXPECT_FALSE(Changes("properties cancelled", [&] { Timeline()->RunCommand(CmdProperties); }));

  ASSERT_TRUE(PutEventsOnClipboard({Ev(0), Ev(5)}));
  EXPECT_TRUE(Changes("paste", [&] { Timeline()->RunCommand(CmdEditPaste); }));
  Timeline()->RunCommand(CmdEditSelectAll);
  EXPECT_TRUE(Changes("cut", [&] { Timeline()->RunCommand(CmdEditCut); }));
  EXPECT_TRUE(Changes("paste again", [&] { Timeline()->RunCommand(CmdEditPaste); }));
  Timeline()->RunCommand(CmdEditSelectAll);
  EXPECT_TRUE(Changes("delete", [&] { Timeline()->RunCommand(CmdEditClear); }));
  EXPECT_EQ(Project().tracks[Timeline()->State().currentTrack].count, 0u);
}

TEST_F(EditAuditTest, TemplatePaneEditsTakeThePath) {
  DropOnFilePane(bmp_);
  ASSERT_EQ(Project().files[0].kind, FileStillImage);
  QWidget* vp = TemplatePane()->viewport();

  EXPECT_TRUE(Changes("file dropped on a template", [&] {
    QTest::mousePress(FilePane()->viewport(), Qt::LeftButton, {}, FileRow(0));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, TemplateRow(1));
  }));
  EXPECT_TRUE(Project().templates[1].InUse());

  EXPECT_FALSE(
      Changes("select", [&] { QTest::mouseClick(vp, Qt::LeftButton, {}, TemplateRow(1)); }));
  EXPECT_FALSE(document_->Modified());
  Answer<CEventPropertyDlg>(
      [](CEventPropertyDlg& d) { d.fieldEdit(EventDialogField::Opacity)->setText("100"); });
  EXPECT_TRUE(Changes("properties", [&] { TemplatePane()->RunCommand(CmdProperties); }));
  EXPECT_EQ(Project().templates[1].opacity, 100);

  TemplatePane()->RunCommand(CmdEditCopy);
  QTest::mouseClick(vp, Qt::LeftButton, {}, TemplateRow(5));
  EXPECT_TRUE(Changes("paste", [&] { TemplatePane()->RunCommand(CmdEditPaste); }));
  EXPECT_TRUE(Project().templates[5].InUse());
  QTest::mouseClick(vp, Qt::LeftButton, {}, TemplateRow(1));
  EXPECT_TRUE(Changes("cut", [&] { TemplatePane()->RunCommand(CmdEditCut); }));
  EXPECT_FALSE(Project().templates[1].InUse());
  TemplatePane()->RunCommand(CmdEditSelectAll);
  EXPECT_TRUE(Changes("delete", [&] { TemplatePane()->RunCommand(CmdEditClear); }));
  for (const EventRecord& t : Project().templates) EXPECT_FALSE(t.InUse());
}

TEST_F(EditAuditTest, FilePaneAndProjectDialogEditsTakeThePath) {
  EXPECT_TRUE(Changes("drop", [&] { DropOnFilePane(bmp_); }));
  EXPECT_EQ(document_->LastEdit().label, QStringLiteral("ファイルの追加"));
  QWidget* vp = FilePane()->viewport();
  EXPECT_FALSE(Changes("select", [&] { QTest::mouseClick(vp, Qt::LeftButton, {}, FileRow(0)); }));
  EXPECT_FALSE(document_->Modified());
  EXPECT_TRUE(Changes("duplicate", [&] { FilePane()->RunCommand(CmdDuplicateFile); }));

  QTest::mouseClick(vp, Qt::LeftButton, {}, FileRow(0));
  Answer<CFilePropertyDlg>(
      [](CFilePropertyDlg& d) { d.fieldEdit(FileDialogField::Id)->setText("700"); });
  EXPECT_TRUE(Changes("properties", [&] { FilePane()->RunCommand(CmdProperties); }));
  EXPECT_EQ(Project().files[700].kind, FileStillImage);

  Answer<CFilePropertyDlg>(
      [this](CFilePropertyDlg& d) { d.fieldEdit(FileDialogField::Path)->setText(bmp_); });
  EXPECT_TRUE(Changes("add", [&] { FilePane()->RunCommand(CmdAddFile); }));
  Answer<CFilePropertyDlg>([](CFilePropertyDlg&) {}, false);
  EXPECT_FALSE(Changes("add cancelled", [&] { FilePane()->RunCommand(CmdAddFile); }));

  FilePane()->RunCommand(CmdEditSelectAll);
  EXPECT_TRUE(Changes("delete", [&] { FilePane()->RunCommand(CmdEditClear); }));

  Answer<CProjectPropertyDlg>([](CProjectPropertyDlg& d) {
    d.fieldEdit(ProjectDialogField::MovieLength)->setText("00:20.000");
  });
  EXPECT_TRUE(Changes("project settings", [&] { frame_->RunCommand(CmdProjectSettings); }));
  EXPECT_NE(Project().movieLength, 300u);
  Answer<CProjectPropertyDlg>([](CProjectPropertyDlg&) {}, false);
  EXPECT_FALSE(
      Changes("project settings cancelled", [&] { frame_->RunCommand(CmdProjectSettings); }));
  EXPECT_TRUE(prompts_.empty());
}

}  // namespace
}  // namespace tavrona
