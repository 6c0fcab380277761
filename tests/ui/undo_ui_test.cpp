// Undo and redo in the main window: the menu items and toolbar buttons with the step they take,
// the keys, arrow-key moves merged into one step, the modified flag and title across an undo
// back to the saved state, the memory bound, and a file slot whose source went away.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <memory>

#include "app/process_state.h"
#include "bmp_builder.h"
#include "qt_printers.h"
#include "ui/dialogs/file_dialog.h"
#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/panes/file_view.h"
#include "ui/panes/file_view_logic.h"
#include "ui/panes/track_view.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

class UndoUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    SetPromptHookForTests([this](Prompt& p) {
      prompts_.push_back(p);
      if (p.kind == PromptKind::SaveFile) p.answerText = savePath_;
      return nextAnswer_;
    });
    document_ = std::make_unique<CKeldaDoc>();
    // Template 0 (key "1") inserts an event of file 0.
    EventRecord& t = Project().templates[0];
    t.flags = EventInUse;
    t.scale = 1.0f;
    Project().movieLength = 300;
    frame_ = std::make_unique<CMainFrame>(*document_);
    frame_->resize(1000, 700);
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
    savePath_ = dir_.filePath("saved.vpj");
  }
  void TearDown() override {
    frame_.reset();
    document_.reset();
    SetPromptHookForTests(nullptr);
  }

  ProjectData& Project() { return document_->Project(); }
  CTrackView* Timeline() { return static_cast<CTrackView*>(frame_->Pane(PaneTimeline)); }
  CFileView* FilePane() { return static_cast<CFileView*>(frame_->Pane(PaneFiles)); }
  TrackData& Track0() { return Project().tracks[0]; }
  void FocusTimeline() {
    Timeline()->setFocus();
    QApplication::processEvents();
  }
  // A key as the user types it, to whatever has the focus.
  void Type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
  }
  QAction* Undo() { return frame_->Action(CmdEditUndo); }
  QAction* Redo() { return frame_->Action(CmdEditRedo); }
  QWidget* Button(CommandId id) {
    return frame_->findChild<QToolBar*>()->widgetForAction(frame_->Action(id));
  }

  QTemporaryDir dir_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
  std::vector<Prompt> prompts_;
  PromptAnswer nextAnswer_ = PromptAnswer::Ok;
  QString savePath_;
};

TEST_F(UndoUiTest, MenuItemsButtonsAndKeysFollowTheHistory) {
  frame_->UpdateCommandStates();
  EXPECT_FALSE(Undo()->isEnabled());
  EXPECT_FALSE(Redo()->isEnabled());
  EXPECT_FALSE(Button(CmdEditUndo)->isEnabled());
  EXPECT_EQ(Undo()->text(), "元に戻す(&U)\tCtrl+Z");
  EXPECT_EQ(Redo()->text(), "やり直し(&R)\tCtrl+Y");
  EXPECT_EQ(Redo()->statusTip(), "取り消した操作をやり直します");
  EXPECT_EQ(Redo()->toolTip(), "やり直し");

  FocusTimeline();
  Type(Qt::Key_1);
  ASSERT_EQ(Track0().count, 1u);
  EXPECT_TRUE(Undo()->isEnabled());
  EXPECT_TRUE(Button(CmdEditUndo)->isEnabled());
  EXPECT_FALSE(Button(CmdEditRedo)->isEnabled());
  EXPECT_EQ(Undo()->text(), "元に戻す - テンプレートの挿入(&U)\tCtrl+Z");

  Type(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Track0().count, 0u);
  EXPECT_FALSE(Undo()->isEnabled());
  EXPECT_TRUE(Redo()->isEnabled());
  EXPECT_EQ(Redo()->text(), "やり直し - テンプレートの挿入(&R)\tCtrl+Y");
  Type(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(Track0().count, 1u);
  Type(Qt::Key_Backspace, Qt::AltModifier);
  EXPECT_EQ(Track0().count, 0u);
  Type(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Track0().count, 1u);

  // The toolbar buttons do the same.
  QTest::mouseClick(Button(CmdEditUndo), Qt::LeftButton);
  EXPECT_EQ(Track0().count, 0u);
  EXPECT_TRUE(Button(CmdEditRedo)->isEnabled());
  QTest::mouseClick(Button(CmdEditRedo), Qt::LeftButton);
  EXPECT_EQ(Track0().count, 1u);

  // A new project starts an empty history.
  nextAnswer_ = PromptAnswer::No;
  frame_->RunCommand(CmdNew);
  EXPECT_FALSE(Undo()->isEnabled());
  EXPECT_FALSE(Redo()->isEnabled());
}

TEST_F(UndoUiTest, ArrowMovesOfOneSelectionAreOneStepUntilAMouseReleaseOrAnotherEdit) {
  FocusTimeline();
  Type(Qt::Key_1);
  Timeline()->RunCommand(CmdEditSelectAll);
  const size_t steps = document_->History().UndoCount();
  Type(Qt::Key_Right, Qt::ControlModifier);
  Type(Qt::Key_Right, Qt::ControlModifier);
  Type(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(Track0().events[0].start, 3u);
  EXPECT_EQ(document_->History().UndoCount(), steps + 1);
  EXPECT_EQ(Undo()->text(), "元に戻す - イベントの移動(&U)\tCtrl+Z");

  // A click and release on the tick strip moves the position only; the next move is a new step.
  QTest::mouseClick(Timeline()->viewport(), Qt::LeftButton, {}, QPoint(400, 5));
  FocusTimeline();
  Type(Qt::Key_Right, Qt::ControlModifier);
  Type(Qt::Key_Left, Qt::ControlModifier);
  Type(Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(Track0().events[0].start, 2u);
  EXPECT_EQ(document_->History().UndoCount(), steps + 2);

  // Another kind of edit between two moves ends the step too.
  Type(Qt::Key_1);
  Timeline()->RunCommand(CmdEditSelectAll);
  Type(Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(document_->History().UndoCount(), steps + 4);

  Type(Qt::Key_Z, Qt::ControlModifier);  // the last move
  Type(Qt::Key_Z, Qt::ControlModifier);  // the second insertion
  ASSERT_EQ(Track0().count, 1u);
  EXPECT_EQ(Track0().events[0].start, 2u);
  Type(Qt::Key_Z, Qt::ControlModifier);  // the three moves after the click, at once
  EXPECT_EQ(Track0().events[0].start, 3u);
  Type(Qt::Key_Z, Qt::ControlModifier);  // the first three, at once
  EXPECT_EQ(Track0().events[0].start, 0u);
}

TEST_F(UndoUiTest, UndoingBackToTheSavedStateClearsTheModifiedFlagTitleAndQuestion) {
  FocusTimeline();
  Type(Qt::Key_1);
  ASSERT_TRUE(frame_->SaveProject(false));
  EXPECT_FALSE(document_->Modified());
  EXPECT_EQ(frame_->windowTitle(), "saved.vpj - Tavrona");

  Type(Qt::Key_1);
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(frame_->windowTitle(), "saved.vpj* - Tavrona");
  Type(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_FALSE(document_->Modified());
  EXPECT_EQ(frame_->windowTitle(), "saved.vpj - Tavrona");
  prompts_.clear();
  EXPECT_TRUE(frame_->SaveModified());
  EXPECT_TRUE(prompts_.empty()) << "nothing to save, nothing to ask";

  // Undoing past the saved state and redoing back to it.
  Type(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(frame_->windowTitle(), "saved.vpj* - Tavrona");
  Type(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_FALSE(document_->Modified());

  // Once a new edit replaced the steps after an undo past the save, no undo finds it again.
  Type(Qt::Key_Z, Qt::ControlModifier);
  Timeline()->RunCommand(CmdEditSelectAll);  // nothing to select: the track is empty
  Type(Qt::Key_1);
  Type(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_TRUE(document_->Modified());
  nextAnswer_ = PromptAnswer::Cancel;
  prompts_.clear();
  EXPECT_FALSE(frame_->SaveModified());
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].text, "saved.vpj への変更を保存しますか?");

  // Opening starts an empty history, saved.
  nextAnswer_ = PromptAnswer::No;
  ASSERT_TRUE(frame_->OpenProject(savePath_));
  EXPECT_FALSE(Undo()->isEnabled());
  EXPECT_FALSE(document_->Modified());
}

TEST_F(UndoUiTest, TheHistoryKeepsWithinItsMemoryBoundDroppingTheOldestSteps) {
  // Each insertion's step holds the track as it was: 152 bytes an event, 45 kB at most here.
  document_->SetUndoMemoryLimit(64 * 1024);
  FocusTimeline();
  for (int i = 0; i < 300; ++i) Type(Qt::Key_1);
  ASSERT_EQ(Track0().count, 300u);
  const EditHistory& history = document_->History();
  EXPECT_LE(history.HeldBytes(), 64u * 1024);
  EXPECT_LT(history.StepCount(), 300u);
  EXPECT_GT(history.StepCount(), 0u);
  // Every step kept can be undone; the oldest ones are gone.
  const size_t kept = history.StepCount();
  while (document_->Undo()) {
  }
  EXPECT_EQ(Track0().count, 300u - kept);
  EXPECT_TRUE(document_->Modified()) << "the saved state went with the oldest steps";
  EXPECT_EQ(history.UndoTracks(), std::vector<uint32_t>{});
  document_->Redo();
  EXPECT_EQ(Track0().count, 300u - kept + 1);
}

TEST_F(UndoUiTest, UndoOfAFileSlotChangeReopensItsSourceOrSaysItCannot) {
  testing::BmpRecipe recipe;
  recipe.width = 2;
  recipe.height = 2;
  recipe.rows = {{0xFF0000, 0x00FF00}, {0x0000FF, 0}};
  const QString bmp = dir_.filePath("two.bmp");
  const auto bytes = testing::BuildBmp(recipe);
  testing::WriteFile(bmp.toStdString(), bytes);

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(bmp)});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(FilePane()->viewport(), &enter);
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(FilePane()->viewport(), &drop);
  ASSERT_EQ(Project().files[0].kind, FileStillImage);
  FilePane()->RunCommand(CmdEditSelectAll);
  FilePane()->RunCommand(CmdEditClear);
  ASSERT_EQ(Project().files[0].kind, FileEmpty);
  EXPECT_EQ(Undo()->text(), "元に戻す - ファイルの削除(&U)\tCtrl+Z");

  ASSERT_TRUE(QFile::remove(bmp));
  prompts_.clear();
  ASSERT_TRUE(document_->Undo());
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].text, FileLoadFailedMessage(bmp));
  EXPECT_EQ(Project().files[0].kind, FileEmpty);
  ASSERT_TRUE(document_->Redo());
  EXPECT_EQ(Project().files[0].kind, FileEmpty);
  EXPECT_EQ(prompts_.size(), 1u);

  // The file is back: undoing the delete again opens it.
  testing::WriteFile(bmp.toStdString(), bytes);
  ASSERT_TRUE(document_->Undo());
  EXPECT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(Project().files[0].kind, FileStillImage);
  EXPECT_FALSE(Project().files[0].picture.Empty());
  // And undoing the drop empties the slot; redoing it opens the file again.
  ASSERT_TRUE(document_->Undo());
  EXPECT_EQ(Project().files[0].kind, FileEmpty);
  ASSERT_TRUE(document_->Redo());
  EXPECT_EQ(Project().files[0].kind, FileStillImage);
  EXPECT_EQ(PathView(Project().files[0].path), bmp.toStdU16String());
}

}  // namespace
}  // namespace tavrona

namespace tavrona {
namespace {

TEST(UndoMemorySetting, TheDocumentTakesItsBoundFromTheSettings) {
  const int32_t saved = Process().settings.undoMemoryMB;
  Process().settings.undoMemoryMB = 3;
  {
    CKeldaDoc doc;
    EXPECT_EQ(doc.History().Limit(), size_t{3} << 20);
  }
  Process().settings.undoMemoryMB = saved;
  EXPECT_EQ(UndoMemoryBytes(256), size_t{256} << 20);
  EXPECT_EQ(UndoMemoryBytes(0), size_t{1} << 20);
  EXPECT_EQ(UndoMemoryBytes(-5), size_t{1} << 20);
}

}  // namespace
}  // namespace tavrona
