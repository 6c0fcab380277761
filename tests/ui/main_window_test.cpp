#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <memory>
#include <thread>

#include "app/process_state.h"
#include "bmp_builder.h"
#include "model/project_file.h"
#include "model/track_data.h"
#include "qt_printers.h"
#include "sources/source_cache.h"
#include "ui/about_dialog.h"
#include "ui/composition_worker.h"
#include "ui/cursors.h"
#include "ui/document.h"
#include "ui/pane_records.h"
#include "ui/panes/pane_base.h"
#include "ui/profile.h"
#include "ui/prompts.h"
#include "ui/recent_files.h"

namespace tavrona {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(IniPath().toStdString());
    InstallPromptHook();
    Make();
  }
  // Every prompt is recorded and answered with nextAnswer_ (and nextPath_, nextApplyToAll_).
  void InstallPromptHook() {
    SetPromptHookForTests([this](Prompt& p) {
      prompts_.push_back(p);
      if (p.kind == PromptKind::SaveFile || p.kind == PromptKind::OpenFile) {
        p.answerText = nextPath_;
      }
      p.applyToAll = nextApplyToAll_;
      return nextAnswer_;
    });
  }
  void TearDown() override {
    frame_.reset();
    document_.reset();
    SetPromptHookForTests(nullptr);
  }
  void Make() {
    document_ = std::make_unique<CKeldaDoc>();
    frame_ = std::make_unique<CMainFrame>(*document_);
    frame_->resize(1000, 700);
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  }
  // Destroys the window as the program's exit does and starts again from the saved profile.
  void Restart() {
    frame_.reset();
    document_.reset();
    ASSERT_TRUE(AppProfile().Save());
    AppProfile().Load(IniPath().toStdString());
    Make();
  }
  QString IniPath() const { return dir_.filePath("tavrona.INI"); }
  QString PathOf(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  void Focus(PanePlace place) {
    frame_->Pane(place)->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(frame_->ActivePane(), frame_->Pane(place));
  }
  bool Enabled(CommandId id) { return frame_->Action(id)->isEnabled(); }

  QTemporaryDir dir_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
  std::vector<Prompt> prompts_;
  PromptAnswer nextAnswer_ = PromptAnswer::Ok;
  bool nextApplyToAll_ = false;
  QString nextPath_;
};

// One menu as the user sees it: item texts (without mnemonic handling) and "-" for separators.
QStringList MenuItems(QMenu* menu) {
  QStringList items;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) {
      items << "-";
    } else {
      items << a->text();
    }
  }
  return items;
}

TEST_F(MainWindowTest, MenusHoldTheirItemsInOrderWithSeparatorsAndKeys) {
  const QList<QAction*> menus = frame_->menuBar()->actions();
  ASSERT_EQ(menus.size(), 4);
  EXPECT_EQ(menus[0]->text(), "ファイル(&F)");
  EXPECT_EQ(menus[1]->text(), "編集(&E)");
  EXPECT_EQ(menus[2]->text(), "表示(&V)");
  EXPECT_EQ(menus[3]->text(), "ヘルプ(&H)");
  EXPECT_EQ(MenuItems(menus[0]->menu()),
            (QStringList{"新規作成(&N)\tCtrl+N", "開く(&O)...\tCtrl+O", "上書き保存(&S)\tCtrl+S",
                         "名前を付けて保存(&A)...", "-", "AVIファイルの作成(&V)...",
                         "ファームで書き出し...", "ファームの状況...",
                         "プロジェクトの設定(&P)...", "-", "最近使ったファイル", "-",
                         "アプリケーションの終了(&X)"}));
  EXPECT_EQ(MenuItems(menus[1]->menu()),
            (QStringList{"プロパティ(&S)...\tEnter", "ファイルの追加(&N)...", "ファイルの複製(&X)",
                         "-", "元に戻す(&U)\tCtrl+Z", "やり直し(&R)\tCtrl+Y", "-",
                         "切り取り(&T)\tCtrl+X",
                         "コピー(&C)\tCtrl+C", "貼り付け(&P)\tCtrl+V", "消去(&D)\tDelete", "-",
                         "すべて選択(&A)\tCtrl+A", "-", "プレビュー画像を保存(&I)..."}));
  EXPECT_EQ(MenuItems(menus[2]->menu()),
            (QStringList{"プレビュー表示(&V)", "再生\tSpace", "プレビューの解像度(&R)",
                         "全トラック表示(&A)\tEsc",
                         "拡大(&I)\tI", "縮小(&O)\tO", "自動拡張(&E)", "-", "ツール バー(&T)",
                         "ステータス バー(&S)", "分割(&P)", "-", "言語 / Language"}));
  EXPECT_EQ(MenuItems(menus[3]->menu()), (QStringList{"バージョン情報(&A)..."}));

  // The keys behind the texts, the second keys of the accelerator table among them.
  auto keys = [&](CommandId id) { return frame_->Action(id)->shortcuts(); };
  EXPECT_EQ(keys(CmdNew).value(0), QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_TRUE(keys(CmdProperties).contains(QKeySequence(Qt::Key_Return)));
  EXPECT_EQ(keys(CmdEditClear).value(0), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(keys(CmdShowAllTracks).value(0), QKeySequence(Qt::Key_Escape));
  EXPECT_EQ(keys(CmdZoomIn).value(0), QKeySequence(Qt::Key_I));
  EXPECT_EQ(keys(CmdPlay).value(0), QKeySequence(Qt::Key_Space));
  EXPECT_EQ(keys(CmdEditUndo).value(1), QKeySequence(Qt::ALT | Qt::Key_Backspace));
  EXPECT_EQ(keys(CmdEditRedo).value(0), QKeySequence(Qt::CTRL | Qt::Key_Y));
  EXPECT_EQ(keys(CmdEditRedo).value(1), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
  EXPECT_EQ(keys(CmdEditCut).value(1), QKeySequence(Qt::SHIFT | Qt::Key_Delete));
  EXPECT_EQ(keys(CmdEditCopy).value(1), QKeySequence(Qt::CTRL | Qt::Key_Insert));
  EXPECT_EQ(keys(CmdEditPaste).value(1), QKeySequence(Qt::SHIFT | Qt::Key_Insert));
  EXPECT_EQ(keys(CmdNextPane).value(0), QKeySequence(Qt::Key_F6));
  EXPECT_EQ(keys(CmdPrevPane).value(0), QKeySequence(Qt::SHIFT | Qt::Key_F6));
}

TEST_F(MainWindowTest, ToolbarStatusPromptsAndReadyText) {
  QToolBar* bar = frame_->findChild<QToolBar*>();
  ASSERT_NE(bar, nullptr);
  QStringList tips;
  for (QAction* a : bar->actions()) tips << (a->isSeparator() ? "-" : a->toolTip());
  EXPECT_EQ(tips, (QStringList{"新規ファイル", "開く", "保存", "-", "切り取り", "保存", "貼り付け",
                               "元に戻す", "やり直し", "-", "印刷", "バージョン情報", "-", "再生"}));
  EXPECT_FALSE(frame_->Action(CmdPrint)->isEnabled());

  const QLabel* ready = frame_->statusBar()->findChild<QLabel*>();
  ASSERT_NE(ready, nullptr);
  EXPECT_EQ(ready->text(), "レディ");
  // A menu item under the mouse shows its prompt; leaving the menu brings "レディ" back.
  QMenu* file = frame_->menuBar()->actions()[0]->menu();
  file->popup(frame_->mapToGlobal(QPoint(10, 10)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
  file->setActiveAction(frame_->Action(CmdExportAvi));
  EXPECT_EQ(frame_->statusBar()->currentMessage(), "AVIファイルの作成");
  file->setActiveAction(frame_->Action(CmdExit));
  EXPECT_EQ(frame_->statusBar()->currentMessage(),
            "アプリケーションを終了し、ファイルの保存を指示\\終了");
  file->hide();
  EXPECT_EQ(frame_->statusBar()->currentMessage(), "");
  EXPECT_TRUE(ready->isVisible());
  // So does a tool button under the mouse.
  QWidget* copyButton = bar->widgetForAction(frame_->Action(CmdEditCopy));
  ASSERT_NE(copyButton, nullptr);
  QTest::mouseMove(copyButton);
  QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), copyButton->mapToGlobal(QPointF(4, 4)));
  QApplication::sendEvent(copyButton, &enter);
  EXPECT_EQ(frame_->statusBar()->currentMessage(), "選択範囲をコピーしてクリップボードに保存");
  EXPECT_EQ(frame_->Action(CmdExportAvi)->toolTip(), "AVIファイルの作成");
}

TEST_F(MainWindowTest, CommandsAreEnabledByThePaneWithTheFocus) {
  Focus(PanePreview);
  EXPECT_TRUE(Enabled(CmdSavePreview));
  EXPECT_TRUE(Enabled(CmdPreview));
  EXPECT_TRUE(frame_->Action(CmdPreview)->isChecked());
  Focus(PaneFiles);
  EXPECT_FALSE(Enabled(CmdSavePreview));
  EXPECT_TRUE(Enabled(CmdPreview));
  // Commands of the frame stay enabled wherever the focus is; undo never is.
  for (PanePlace place : {PanePreview, PaneFiles, PaneTemplates, PaneTimeline}) {
    Focus(place);
    EXPECT_TRUE(Enabled(CmdNew));
    EXPECT_TRUE(Enabled(CmdExportAvi));
    EXPECT_TRUE(Enabled(CmdAbout));
    EXPECT_FALSE(Enabled(CmdEditUndo));
  }
  // The preview flag is each pane's own.
  Focus(PaneFiles);
  frame_->RunCommand(CmdPreview);
  EXPECT_FALSE(frame_->Pane(PaneFiles)->PreviewEnabled());
  EXPECT_FALSE(frame_->Action(CmdPreview)->isChecked());
  Focus(PaneTimeline);
  EXPECT_TRUE(frame_->Action(CmdPreview)->isChecked());
}

TEST_F(MainWindowTest, F6AndShiftF6WalkThePanes) {
  Focus(PanePreview);
  QTest::keyClick(frame_->Pane(PanePreview), Qt::Key_F6);
  EXPECT_EQ(frame_->ActivePane(), frame_->Pane(PaneFiles));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
  EXPECT_EQ(frame_->ActivePane(), frame_->Pane(PaneTemplates));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
  EXPECT_EQ(frame_->ActivePane(), frame_->Pane(PanePreview));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, Qt::ShiftModifier);
  EXPECT_EQ(frame_->ActivePane(), frame_->Pane(PaneTimeline));
}

TEST_F(MainWindowTest, SplitterStartsAt320By240AndColumnsMoveTogether) {
  EXPECT_EQ(frame_->RowSplitter()->sizes().value(0), 240);
  EXPECT_EQ(frame_->ColumnSplitter(0)->sizes().value(0), 320);
  EXPECT_EQ(frame_->ColumnSplitter(1)->sizes().value(0), 320);
  EXPECT_EQ(frame_->Pane(PanePreview)->parentWidget(), frame_->ColumnSplitter(0));
  EXPECT_STREQ(frame_->Pane(PanePreview)->metaObject()->className(), "tavrona::CImageView");
  EXPECT_STREQ(frame_->Pane(PaneFiles)->metaObject()->className(), "tavrona::CFileView");
  EXPECT_STREQ(frame_->Pane(PaneTemplates)->metaObject()->className(), "tavrona::CEventView");
  EXPECT_STREQ(frame_->Pane(PaneTimeline)->metaObject()->className(), "tavrona::CTrackView");

  // Keyboard split: arrows move the bars, Escape puts them back, Enter keeps them.
  frame_->RunCommand(CmdWindowSplit);
  QTest::keyClick(frame_.get(), Qt::Key_Right);
  QTest::keyClick(frame_.get(), Qt::Key_Down);
  EXPECT_EQ(frame_->ColumnSplitter(1)->sizes().value(0), 328);
  EXPECT_EQ(frame_->RowSplitter()->sizes().value(0), 248);
  QTest::keyClick(frame_.get(), Qt::Key_Escape);
  EXPECT_EQ(frame_->ColumnSplitter(0)->sizes().value(0), 320);
  frame_->RunCommand(CmdWindowSplit);
  QTest::keyClick(frame_.get(), Qt::Key_Left);
  QTest::keyClick(frame_.get(), Qt::Key_Return);
  EXPECT_EQ(frame_->ColumnSplitter(0)->sizes().value(0), 312);
  QTest::keyClick(frame_.get(), Qt::Key_Left);  // no longer splitting
  EXPECT_EQ(frame_->ColumnSplitter(0)->sizes().value(0), 312);
}

TEST_F(MainWindowTest, NewAndOpenRebuildThePanesAndKeepTheirFlags) {
  Focus(PaneTemplates);
  frame_->RunCommand(CmdPreview);
  // The old panes are gone (their memory may well hold the new ones).
  QPointer<CKeldaView> before = frame_->Pane(PaneTimeline);
  frame_->RunCommand(CmdNew);
  EXPECT_TRUE(before.isNull());
  EXPECT_FALSE(frame_->Pane(PaneTemplates)->PreviewEnabled());
  EXPECT_TRUE(frame_->Pane(PaneTimeline)->PreviewEnabled());
  EXPECT_EQ(frame_->ActivePane(), frame_->Pane(PanePreview));

  // Open: a saved project comes back in new panes, with its title and in the recent list.
  document_->Project().outputWidth = 640;
  ASSERT_TRUE(WriteProjectFile(ToU16(PathOf("a.vpj")), document_->Project()));
  ApplyNewProjectReset(document_->Project());
  before = frame_->Pane(PaneFiles);
  ASSERT_TRUE(frame_->OpenProject(PathOf("a.vpj")));
  EXPECT_TRUE(before.isNull());
  EXPECT_EQ(document_->Project().outputWidth, 640);
  EXPECT_EQ(frame_->windowTitle(), "a.vpj - Tavrona");
  EXPECT_EQ(frame_->RecentFiles().Paths().value(0), PathOf("a.vpj"));
}

TEST_F(MainWindowTest, AFailedOpenSaysSoAndKeepsTheProject) {
  document_->Project().outputWidth = 500;
  document_->SetModifiedFlag();
  QFile bad(PathOf("bad.vpj"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("TPRJ broken");
  bad.close();
  nextAnswer_ = PromptAnswer::No;  // do not save the modified project
  CKeldaView* before = frame_->Pane(PaneFiles);
  EXPECT_FALSE(frame_->OpenProject(PathOf("bad.vpj")));
  ASSERT_EQ(prompts_.size(), 2u);
  EXPECT_EQ(prompts_[1].kind, PromptKind::Error);
  EXPECT_EQ(prompts_[1].caption, "エラー");
  EXPECT_TRUE(prompts_[1].text.startsWith("読み込みに失敗しました。\n" + PathOf("bad.vpj") + ": "))
      << prompts_[1].text.toStdString();
  EXPECT_EQ(document_->Project().outputWidth, 500);
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(frame_->Pane(PaneFiles), before);
  EXPECT_EQ(frame_->windowTitle(), "無題* - Tavrona");
}

// A project file cut short: the message names the file and the byte where the reader gave
// up, on a second line, in the words the command line prints.
TEST_F(MainWindowTest, ATruncatedProjectSaysWhereItEnds) {
  std::vector<EventRecord> events(40);
  for (uint32_t i = 0; i < events.size(); ++i) {
    events[i].flags = EventInUse;
    events[i].start = i * 5;
  }
  ASSERT_TRUE(InsertSorted(document_->Project().tracks[2], 40, events.data()));
  ASSERT_TRUE(WriteProjectFile(ToU16(PathOf("whole.vpj")), document_->Project()));
  QFile whole(PathOf("whole.vpj"));
  ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
  const QByteArray bytes = whole.readAll();
  QFile cut(PathOf("cut.vpj"));
  ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
  const qsizetype kept = bytes.size() * 2 / 3;
  cut.write(bytes.left(kept));
  cut.close();
  document_->Project().outputWidth = 500;

  EXPECT_FALSE(frame_->OpenProject(PathOf("cut.vpj")));
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].kind, PromptKind::Error);
  EXPECT_EQ(prompts_[0].caption, "エラー");
  const QStringList lines = prompts_[0].text.split('\n');
  ASSERT_EQ(lines.size(), 2) << prompts_[0].text.toStdString();
  EXPECT_EQ(lines[0], "読み込みに失敗しました。");
  EXPECT_TRUE(lines[1].startsWith(PathOf("cut.vpj") + ": ")) << lines[1].toStdString();
  const qsizetype at = lines[1].lastIndexOf(" at byte ");
  ASSERT_GT(at, 0) << lines[1].toStdString();
  bool number = false;
  const qlonglong byte = lines[1].mid(at + 9).toLongLong(&number);
  EXPECT_TRUE(number) << lines[1].toStdString();
  EXPECT_LE(byte, kept);
  EXPECT_EQ(document_->Project().outputWidth, 500);  // the project that was open stays

  // The command line says the same, line for line.
  QProcess cli;
  cli.start(QStringLiteral(TAVRONA_CLI), {"info", PathOf("cut.vpj")});
  ASSERT_TRUE(cli.waitForFinished(30000));
  EXPECT_EQ(cli.exitCode(), 1);
  EXPECT_EQ(QString::fromUtf8(cli.readAllStandardError()).trimmed(), prompts_[0].text);
}

// A project whose media folder has moved: four still images it cannot find. One answer with
// "すべてに適用" checked in the real question box covers them all; No for all ends the read
// at once; every read starts without a standing answer.
TEST_F(MainWindowTest, MissingSourcesAreAnsweredOnceForAll) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("media"));
  ProjectData& made = document_->Project();
  const std::vector<int> ids = {0, 4, 5, 700};
  for (int id : ids) {
    testing::BmpRecipe bmp;
    bmp.width = 2;
    bmp.height = 2;
    bmp.rows = {{0x112233, 0x445566}, {0x778899, 0xAABBCC}};
    const QString name = PathOf("media/") + QString::number(id) + ".bmp";
    testing::WriteFile(name.toStdString(), testing::BuildBmp(bmp));
    ASSERT_TRUE(OpenImageFile(made.files[id], ToU16(name), u""));
    EventRecord e = DefaultEventForFile(made, id, static_cast<uint32_t>(id));
    ASSERT_TRUE(InsertSorted(made.tracks[1], 1, &e));
  }
  ASSERT_TRUE(WriteProjectFile(ToU16(PathOf("moved.vpj")), made));
  ASSERT_TRUE(QDir(dir_.path()).rename("media", "media-old"));

  // The real box: the user checks "すべてに適用" and answers Yes.
  SetPromptHookForTests(nullptr);
  QStringList shown;
  QTimer answerer;
  answerer.setInterval(10);
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    shown << box->text();
    if (box->checkBox() == nullptr) {  // not the question expected: give up on it
      ADD_FAILURE() << "a box without a check box: " << box->text().toStdString();
      box->done(QMessageBox::Cancel);
      return;
    }
    EXPECT_EQ(box->windowTitle(), "エラー");
    EXPECT_EQ(box->button(QMessageBox::Yes)->text(), "はい(&Y)");
    EXPECT_EQ(box->button(QMessageBox::No)->text(), "いいえ(&N)");
    EXPECT_EQ(box->checkBox()->text(), "すべてに適用");
    EXPECT_FALSE(box->checkBox()->isChecked());
    QTest::mouseClick(box->checkBox(), Qt::LeftButton, {},
                      QPoint(5, box->checkBox()->height() / 2));
    EXPECT_TRUE(box->checkBox()->isChecked());
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
  });
  answerer.start();
  const bool opened = frame_->OpenProject(PathOf("moved.vpj"));
  answerer.stop();
  InstallPromptHook();
  ASSERT_TRUE(opened);
  const QString first = PathOf("media/0.bmp");
  EXPECT_EQ(shown, QStringList{"ファイル\"" + first +
                               "\"の読み込みに失敗しました。続行しますか？\n続行すると、このファイ"
                               "ルの設定は破棄されます。"});
  for (int id : ids) EXPECT_EQ(document_->Project().files[id].kind, FileEmpty) << id;
  EXPECT_EQ(document_->Project().tracks[1].count, 4u);  // the events stay
  EXPECT_EQ(frame_->windowTitle(), "moved.vpj - Tavrona");

  // No for all: asked once, the read ends there, and the project that was open stays.
  document_->Project().outputWidth = 500;
  nextAnswer_ = PromptAnswer::No;
  nextApplyToAll_ = true;
  EXPECT_FALSE(frame_->OpenProject(PathOf("moved.vpj")));
  ASSERT_EQ(prompts_.size(), 2u);
  EXPECT_EQ(prompts_[0].kind, PromptKind::YesNoForAll);
  EXPECT_EQ(prompts_[0].text, shown.front());
  EXPECT_EQ(prompts_[1].kind, PromptKind::Error);
  EXPECT_EQ(document_->Project().outputWidth, 500);

  // The next read asks again; Yes without "すべてに適用" is asked source by source.
  prompts_.clear();
  nextAnswer_ = PromptAnswer::Yes;
  nextApplyToAll_ = false;
  ASSERT_TRUE(frame_->OpenProject(PathOf("moved.vpj")));
  ASSERT_EQ(prompts_.size(), ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(prompts_[i].kind, PromptKind::YesNoForAll);
    EXPECT_TRUE(prompts_[i].text.contains(PathOf("media/") + QString::number(ids[i]) + ".bmp"));
  }
}

TEST_F(MainWindowTest, AModifiedProjectIsAskedAboutBeforeItGoes) {
  EXPECT_EQ(frame_->windowTitle(), "無題 - Tavrona");
  document_->Project().outputWidth = 111;
  document_->SetModifiedFlag();

  nextAnswer_ = PromptAnswer::Cancel;
  frame_->RunCommand(CmdNew);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].kind, PromptKind::YesNoCancel);
  EXPECT_EQ(prompts_[0].text, "無題 への変更を保存しますか?");
  EXPECT_EQ(document_->Project().outputWidth, 111);

  // Yes on an unnamed project asks for a name and saves there.
  nextAnswer_ = PromptAnswer::Yes;
  nextPath_ = PathOf("saved.vpj");
  frame_->RunCommand(CmdNew);
  EXPECT_TRUE(QFile::exists(PathOf("saved.vpj")));
  EXPECT_EQ(document_->Project().outputWidth, 320);
  EXPECT_FALSE(document_->Modified());

  // No discards; closing a modified named project names it in the question.
  ASSERT_TRUE(frame_->OpenProject(PathOf("saved.vpj")));
  document_->SetModifiedFlag();
  prompts_.clear();
  nextAnswer_ = PromptAnswer::Cancel;
  EXPECT_FALSE(frame_->close());
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].text, "saved.vpj への変更を保存しますか?");
  nextAnswer_ = PromptAnswer::No;
  EXPECT_TRUE(frame_->close());
}

TEST_F(MainWindowTest, FlagsBarsAndRecentFilesSurviveARestart) {
  Focus(PaneFiles);
  frame_->RunCommand(CmdPreview);
  frame_->RunCommand(CmdViewToolbar);
  EXPECT_FALSE(frame_->findChild<QToolBar*>()->isVisible());
  ASSERT_TRUE(WriteProjectFile(ToU16(PathOf("r.vpj")), document_->Project()));
  ASSERT_TRUE(frame_->OpenProject(PathOf("r.vpj")));
  Restart();
  EXPECT_FALSE(frame_->Pane(PaneFiles)->PreviewEnabled());
  EXPECT_TRUE(frame_->Pane(PanePreview)->PreviewEnabled());
  EXPECT_FALSE(frame_->findChild<QToolBar*>()->isVisible());
  EXPECT_TRUE(frame_->statusBar()->isVisible());
  EXPECT_EQ(frame_->RecentFiles().Paths(), QStringList{PathOf("r.vpj")});
  IniFile ini;
  ini.Load(IniPath().toStdString());
  EXPECT_EQ(ini.GetInt("FileView", "Preview", 1), 0);
  EXPECT_EQ(ini.GetInt("TrackView", "Preview", 0), 1);
  EXPECT_EQ(ini.GetString("Recent File List", "File1").value_or(""), PathOf("r.vpj").toStdString());
  EXPECT_FALSE(ini.GetString("Recent File List", "File2").has_value());
}

TEST_F(MainWindowTest, ProjectsDroppedOnTheWindowOpen) {
  document_->Project().outputHeight = 99;
  ASSERT_TRUE(WriteProjectFile(ToU16(PathOf("d.vpj")), document_->Project()));
  ApplyNewProjectReset(document_->Project());
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(PathOf("d.vpj")), QUrl::fromLocalFile(PathOf("other.vpj"))});
  QDragEnterEvent enter(QPoint(500, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(500, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame_.get(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(document_->Project().outputHeight, 99);
  EXPECT_EQ(frame_->windowTitle(), "d.vpj - Tavrona");
}

TEST_F(MainWindowTest, TimeoutQuestionsAreAskedOnlyOnTheInterfaceThread) {
  EXPECT_EQ(frame_->TimeoutQuery(), 0);
  nextAnswer_ = PromptAnswer::Ok;
  EXPECT_TRUE(frame_->AskToContinue(u"動画の画像の取得がタイムアウトしました。続行しますか？"));
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].kind, PromptKind::OkCancel);
  EXPECT_EQ(prompts_[0].caption, "エラー");
  int answer = -1;
  bool asked = true;
  std::thread worker([&] {
    answer = frame_->TimeoutQuery();
    asked = frame_->AskToContinue(u"?");
  });
  worker.join();
  EXPECT_EQ(answer, 1);
  EXPECT_FALSE(asked);
  EXPECT_EQ(prompts_.size(), 1u);
}

TEST_F(MainWindowTest, PlaybackRunsFromThePositionAndAnyEditStopsIt) {
  ProjectData& p = document_->Project();
  p.movieLength = 100'000;  // about an hour: it runs until stopped
  document_->position = 40;
  QSignalSpy frames(&document_->Worker(), &CompositionWorker::playbackFrame);
  frame_->RunCommand(CmdPlay);
  EXPECT_TRUE(document_->Worker().Playing());
  EXPECT_TRUE(frame_->Action(CmdPlay)->isChecked());
  QLabel* rate = frame_->findChild<QLabel*>("PlaybackRate");
  ASSERT_NE(rate, nullptr);
  EXPECT_TRUE(rate->isVisible());
  EXPECT_EQ(rate->text(), "再生 0 / 30 fps");
  ASSERT_TRUE(frames.wait(10'000));
  EXPECT_GE(frames.front().at(0).toUInt(), 40u);
  EXPECT_GE(document_->position, 40u);  // the position follows the frames shown
  // Space is the key of the command; pressing it again stops.
  QTest::keyClick(frame_->Pane(PanePreview), Qt::Key_Space);
  EXPECT_FALSE(document_->Worker().Playing());
  EXPECT_FALSE(rate->isVisible());

  frame_->RunCommand(CmdPlay);
  ASSERT_TRUE(document_->Worker().Playing());
  frame_->RunCommand(CmdNew);  // an unmodified project: no question
  EXPECT_FALSE(document_->Worker().Playing());
  EXPECT_FALSE(frame_->Action(CmdPlay)->isChecked());
}

// A drag between panes started in one pane ends in the pane under the mouse: moves and the
// release go there, and the source shows that pane's cursor.
TEST_F(MainWindowTest, ADragBetweenPanesEndsInThePaneUnderTheMouse) {
  QWidget* source = frame_->Pane(PaneFiles)->viewport();
  QWidget* target = frame_->Pane(PanePreview)->viewport();
  const QPoint inSource(20, 20);
  const QPoint overTarget = source->mapFromGlobal(target->mapToGlobal(QPoint(50, 50)));
  QTest::mousePress(source, Qt::LeftButton, {}, inSource);
  document_->drag = PaneDrag{true, DragFile, 3};  // what the file pane's press starts
  QTest::mouseMove(source, overTarget);
  EXPECT_EQ(source->cursor().pixmap().toImage(),
            PaneCursor(CursorNoDrop).pixmap().toImage());  // the preview's "no drop"
  QTest::mouseRelease(source, Qt::LeftButton, {}, overTarget);
  EXPECT_FALSE(document_->drag.active);  // the preview's release ended it

  // Without a drag the events stay with the pane they began in.
  QTest::mousePress(source, Qt::LeftButton, {}, inSource);
  QTest::mouseMove(source, overTarget);
  EXPECT_EQ(source->cursor().shape(), Qt::ArrowCursor);
  QTest::mouseRelease(source, Qt::LeftButton, {}, overTarget);
}

TEST(AboutBoxTest, TitleVersionAndOk) {
  std::unique_ptr<QDialog> box(MakeAboutBox(nullptr));
  EXPECT_EQ(box->windowTitle(), "バージョン情報 Tavrona");
  const QLabel* version = box->findChild<QLabel*>("Version");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text(), "Tavrona Version 1.2");
}

TEST(RecentFileListTest, NewestFirstAtMostFourAndMenuTexts) {
  RecentFileList list;
  for (const char* p : {"/a.vpj", "/b.vpj", "/c.vpj", "/d.vpj", "/e.vpj", "/c.vpj"}) list.Add(p);
  EXPECT_EQ(list.Paths(), (QStringList{"/c.vpj", "/e.vpj", "/d.vpj", "/b.vpj"}));
  list.Remove("/e.vpj");
  EXPECT_EQ(list.Paths().size(), 3);
  EXPECT_EQ(RecentFileList::MenuText(1, "/x & y.vpj"), "&2 /x && y.vpj");
  const QString longPath = "/" + QString(100, 'p') + ".vpj";
  EXPECT_EQ(RecentFileList::MenuText(0, longPath).size(), 3 + 60);
}

TEST(PaneCellTest, BoxAndFilledTextCellsPaintTheirRectangles) {
  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaneCell box;
  box.kind = CellBox;
  box.colourMode = 0;
  box.left = 2, box.top = 3, box.right = 12, box.bottom = 10;
  box.colour1 = 0x000000FF;  // red fill
  box.colour2 = 0x00FF0000;  // blue frame
  DrawPaneCell(painter, box);
  PaneCell filled;
  filled.kind = CellFilledText;
  filled.left = 20, filled.top = 0, filled.right = 30, filled.bottom = 5;
  filled.colour2 = 0x0000FF00;  // green
  DrawPaneCell(painter, filled);
  PaneCell blackFrame = box;
  blackFrame.colourMode = 2;  // fill with colour 2, black frame
  blackFrame.left = 32, blackFrame.right = 38;
  DrawPaneCell(painter, blackFrame);
  PaneCell ignored = filled;
  ignored.kind = 3;
  ignored.left = 0, ignored.right = 40, ignored.top = 15, ignored.bottom = 20;
  DrawPaneCell(painter, ignored);
  painter.end();

  EXPECT_EQ(image.pixel(2, 3), qRgb(0, 0, 255));   // frame corner
  EXPECT_EQ(image.pixel(11, 9), qRgb(0, 0, 255));  // frame's far corner: right - 1, bottom - 1
  EXPECT_EQ(image.pixel(12, 10), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(6, 6), qRgb(255, 0, 0));  // inside
  EXPECT_EQ(image.pixel(20, 0), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(29, 4), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(30, 4), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(32, 3), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(34, 6), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(10, 17), qRgb(255, 255, 255));  // kind 3 is not drawn
}

TEST(PaneCursorTest, ThreeCursorsWithTheirHotSpots) {
  for (auto [id, x, y] :
       {std::tuple{CursorAdd, 16, 8}, {CursorNoDrop, 15, 15}, {CursorMove, 16, 8}}) {
    const QCursor cursor = PaneCursor(id);
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32)) << id;
    EXPECT_EQ(cursor.hotSpot(), QPoint(x, y)) << id;
  }
  const QImage add = PaneCursor(CursorAdd).pixmap().toImage();
  const QImage move = PaneCursor(CursorMove).pixmap().toImage();
  EXPECT_NE(add, move);                      // the plus sign
  EXPECT_EQ(qAlpha(add.pixel(16, 8)), 255);  // the arrow's tip is the hot spot
}

}  // namespace
}  // namespace tavrona
