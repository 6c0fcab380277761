// The main window and its panes in English and in Japanese: every text the window, its menus,
// toolbar, status bar, panes, questions and undo items show, walked in each language; the
// language submenu switching the open window at once and remembering the choice; the file
// pane's columns measured with the font.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <memory>

#include "app/settings.h"
#include "cjk_text.h"
#include "qt_printers.h"
#include "ui/document.h"
#include "ui/language.h"
#include "ui/main_window.h"
#include "ui/panes/event_view.h"
#include "ui/panes/file_view.h"
#include "ui/panes/file_view_logic.h"
#include "ui/panes/image_view.h"
#include "ui/panes/track_view.h"
#include "ui/profile.h"
#include "ui/prompts.h"
#include "ui/recovery/recovery_offer.h"

namespace tavrona {
namespace {

using testing::HasCjk;

TEST(CjkFinder, FindsWideScriptsAndNothingElse) {
  EXPECT_TRUE(HasCjk(QStringLiteral("再生")));
  EXPECT_TRUE(HasCjk(QStringLiteral("abc カナ")));
  EXPECT_TRUE(HasCjk(QStringLiteral("x\u3000y")));  // ideographic space
  EXPECT_TRUE(HasCjk(QStringLiteral("\uFF21")));    // fullwidth A
  EXPECT_FALSE(HasCjk(QStringLiteral("Save As...\tCtrl+S")));
  EXPECT_FALSE(HasCjk(QStringLiteral("Caf\u00e9 \u2014 \u00d7")));
  EXPECT_FALSE(HasCjk(QString()));
}

// Every text a person sees in one place, with where it was seen.
struct SeenText {
  QString where, text;
};

class LanguageUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    SetPromptHookForTests([this](Prompt& p) {
      prompts_.push_back(p);
      return nextAnswer_;
    });
    document_ = std::make_unique<CKeldaDoc>();
    ProjectData& project = document_->Project();
    project.movieLength = 300;
    // One slot of each kind and a template of each, with an unset one between them. Template 0
    // (key "1", the one the walk inserts) names an empty slot, so nothing is composed.
    project.files[0].kind = FileMovie;
    ASSERT_TRUE(SetPath(project.files[0].path, u"\\clip.avi"));
    project.files[1].kind = FileStillImage;
    ASSERT_TRUE(SetPath(project.files[1].path, u"\\still.bmp"));
    project.files[2].kind = FileText;
    project.files[2].text = u"Caption";
    const std::pair<int, int32_t> templates[] = {{0, 5}, {1, 0}, {3, 1}, {4, 2}};
    for (const auto& [row, file] : templates) {
      EventRecord& t = project.templates[static_cast<size_t>(row)];
      t.flags = EventInUse;
      t.fileId = file;
      t.scale = 1.0f;
      t.playbackRate = 1.0f;
    }
    frame_ = std::make_unique<CMainFrame>(*document_);
    frame_->resize(1000, 700);
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  }
  void TearDown() override {
    frame_.reset();
    document_.reset();
    SetPromptHookForTests(nullptr);
    ApplyLanguage(Language::Japanese);
  }

  CFileView* Files() { return static_cast<CFileView*>(frame_->Pane(PaneFiles)); }
  CEventView* Templates() { return static_cast<CEventView*>(frame_->Pane(PaneTemplates)); }
  CTrackView* Timeline() { return static_cast<CTrackView*>(frame_->Pane(PaneTimeline)); }
  CImageView* Preview() { return static_cast<CImageView*>(frame_->Pane(PanePreview)); }
  QLabel* ReadyLabel() { return frame_->statusBar()->findChild<QLabel*>("ReadyText"); }

  // The panes paint now, so that their row texts are the ones on screen.
  void PaintPanes() {
    for (int place = 0; place < 4; ++place) {
      frame_->Pane(static_cast<PanePlace>(place))->viewport()->repaint();
    }
  }

  static void AddMenu(std::vector<SeenText>& seen, const QString& where, QMenu* menu) {
    seen.push_back({where + " title", menu->title()});
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      if (a->menu() != nullptr && a->menu()->objectName() == "LanguageMenu") continue;
      const QString place = where + " > " + a->text();
      seen.push_back({place, a->text()});
      seen.push_back({place + " status tip", a->statusTip()});
      seen.push_back({place + " tool tip", a->toolTip()});
      if (a->menu() != nullptr) AddMenu(seen, place, a->menu());
    }
  }

  // The whole walk: menus, actions, toolbar, status bar, panes, title, recovery question, undo
  // and redo with a step, and the questions the window asks.
  std::vector<SeenText> Walk() {
    // The window retranslates on the LanguageChange that installing the translators posted.
    QApplication::processEvents();
    std::vector<SeenText> seen;
    for (QAction* top : frame_->menuBar()->actions()) AddMenu(seen, "menu", top->menu());
    for (const CommandInfo& info : CommandTable()) {
      QAction* a = frame_->Action(info.id);
      const QString where = QStringLiteral("command %1").arg(info.id);
      seen.push_back({where, a->text()});
      seen.push_back({where + " status tip", a->statusTip()});
      seen.push_back({where + " tool tip", a->toolTip()});
    }
    QToolBar* bar = frame_->findChild<QToolBar*>();
    seen.push_back({"toolbar title", bar->windowTitle()});
    seen.push_back({"toolbar name", bar->accessibleName()});
    for (QAction* a : bar->actions()) seen.push_back({"toolbar tip", a->toolTip()});
    seen.push_back({"status bar name", frame_->statusBar()->accessibleName()});
    for (QLabel* label : frame_->statusBar()->findChildren<QLabel*>()) {
      seen.push_back({"status label", label->text()});
      seen.push_back({"status label name", label->accessibleName()});
    }
    seen.push_back({"title", frame_->windowTitle()});

    PaintPanes();
    for (int place = 0; place < 4; ++place) {
      seen.push_back({"pane name", frame_->Pane(static_cast<PanePlace>(place))->accessibleName()});
    }
    for (const PaneCell& cell : Files()->Cells()) seen.push_back({"file row", cell.text});
    for (int row = 0; row < 64; ++row)
      seen.push_back({"template row", Templates()->Cell(row).text});
    for (const PaneCell& cell : Timeline()->Cells()) seen.push_back({"timeline cell", cell.text});
    for (int kind : {FileMovie, FileStillImage, FileText, FileEmpty}) {
      seen.push_back({"file kind", FileKindText(kind)});
    }
    seen.push_back({"file kind", SoundOnlyKindText()});
    seen.push_back({"silent playback note", SilentPlaybackText()});
    std::unique_ptr<QMenu> menus[] = {Files()->MakeContextMenu(), Templates()->MakeContextMenu(),
                                      Preview()->MakeContextMenu(),
                                      std::unique_ptr<QMenu>(Timeline()->MakeContextMenu()),
                                      // a right click on a track's number adds its sound item
                                      std::unique_ptr<QMenu>(Timeline()->MakeContextMenu(3u))};
    for (auto& menu : menus) AddMenu(seen, "context menu", menu.get());

    RecoveryContent content;
    content.savedAtMs = 1'700'000'000'000;
    seen.push_back({"recovery question", RecoveryQuestion(content)});
    seen.push_back({"recovery failure",
                    RecoveryReadFailure("/tmp/a.recovery", "damaged", "/tmp/a.recovery.broken")});

    // A step to undo and redo: template key "1" on the timeline inserts an event.
    Timeline()->setFocus();
    QApplication::processEvents();
    QTest::keyClick(Timeline(), Qt::Key_1);
    frame_->UpdateCommandStates();
    seen.push_back({"undo with a step", frame_->Action(CmdEditUndo)->text()});
    frame_->RunCommand(CmdEditUndo);
    seen.push_back({"redo with a step", frame_->Action(CmdEditRedo)->text()});
    frame_->RunCommand(CmdEditRedo);
    seen.push_back({"modified title", frame_->windowTitle()});

    // The questions: the open dialog (cancelled), the save question (cancelled), the timeout
    // question's caption.
    prompts_.clear();
    nextAnswer_ = PromptAnswer::No;  // the changes are given up; the open dialog is cancelled
    frame_->RunCommand(CmdOpen);
    frame_->AskToContinue(u"timeout");
    ShowError(frame_.get(), QStringLiteral("x"));
    for (const Prompt& p : prompts_) {
      seen.push_back({"prompt caption", p.caption});
      if (p.kind != PromptKind::OkCancel && p.kind != PromptKind::Error) {
        seen.push_back({"prompt text", p.text});
      }
      seen.push_back({"prompt filter", p.filter});
    }
    return seen;
  }

  const Prompt* FindPrompt(PromptKind kind) const {
    for (const Prompt& p : prompts_) {
      if (p.kind == kind) return &p;
    }
    return nullptr;
  }

  QTemporaryDir dir_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
  std::vector<Prompt> prompts_;
  PromptAnswer nextAnswer_ = PromptAnswer::Ok;
};

TEST_F(LanguageUiTest, EnglishWalkShowsNoCjkAndJapaneseWalkIsUnchanged) {
  ASSERT_TRUE(ApplyLanguage(Language::English));
  const std::vector<SeenText> english = Walk();
  for (const SeenText& s : english) {
    EXPECT_FALSE(HasCjk(s.text)) << s.where.toStdString() << ": " << s.text.toStdString();
  }
  auto find = [](const std::vector<SeenText>& seen, const QString& where) {
    for (const SeenText& s : seen) {
      if (s.where == where) return s.text;
    }
    return QStringLiteral("<none>");
  };
  // A few texts as an English user reads them.
  EXPECT_EQ(find(english, "title"), "Untitled - Tavrona");
  EXPECT_EQ(find(english, "modified title"), "Untitled* - Tavrona");
  EXPECT_EQ(find(english, "undo with a step"), "&Undo Insert Template\tCtrl+Z");
  EXPECT_EQ(find(english, "redo with a step"), "&Redo Insert Template\tCtrl+Y");
  EXPECT_EQ(ReadyLabel()->text(), "Ready");
  EXPECT_EQ(frame_->Action(CmdSave)->text(), "&Save\tCtrl+S");
  EXPECT_EQ(frame_->Action(CmdEditCopy)->toolTip(), "Copy");
  EXPECT_TRUE(find(english, "recovery question")
                  .startsWith("Unsaved changes were found.\n"
                              "Untitled ("));
  const Prompt* open = FindPrompt(PromptKind::OpenFile);
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->caption, "Open");
  EXPECT_EQ(open->filter, "Project files (*.vpj);;All files (*.*)");
  const Prompt* save = FindPrompt(PromptKind::YesNoCancel);
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(save->text, "Save changes to Untitled?");
  ASSERT_NE(FindPrompt(PromptKind::Error), nullptr);
  EXPECT_EQ(FindPrompt(PromptKind::Error)->caption, "Error");
  // Every kind of row was there to be read.
  EXPECT_TRUE(Files()->Cells().size() >= 3);
  EXPECT_EQ(Templates()->Cell(2).text, " 3 Unset");
  EXPECT_TRUE(Templates()->Cell(3).text.endsWith("Image"))
      << Templates()->Cell(3).text.toStdString();
  EXPECT_TRUE(Templates()->Cell(0).text.endsWith("Unknown"))
      << Templates()->Cell(0).text.toStdString();

  // The same walk in Japanese: today's texts.
  frame_.reset();
  document_.reset();
  SetUp();
  ASSERT_TRUE(ApplyLanguage(Language::Japanese));
  const std::vector<SeenText> japanese = Walk();
  EXPECT_EQ(japanese.size(), english.size());
  EXPECT_EQ(find(japanese, "title"), "無題 - Tavrona");
  EXPECT_EQ(find(japanese, "undo with a step"), "元に戻す - テンプレートの挿入(&U)\tCtrl+Z");
  EXPECT_EQ(find(japanese, "redo with a step"), "やり直し - テンプレートの挿入(&R)\tCtrl+Y");
  EXPECT_EQ(find(japanese, "toolbar title"), "標準");
  EXPECT_EQ(ReadyLabel()->text(), "レディ");
  EXPECT_EQ(frame_->Action(CmdEditCopy)->toolTip(), "保存");
  EXPECT_EQ(frame_->Action(CmdExit)->statusTip(),
            "アプリケーションを終了し、ファイルの保存を指示\\終了");
  EXPECT_TRUE(find(japanese, "recovery question")
                  .startsWith("保存されていない変更が見つかりました。\n無題 ("));
  EXPECT_EQ(Files()->Cells()[0].text, " ID:0000 動画      \\clip.avi");
  EXPECT_EQ(Templates()->Cell(2).text, " 3 未設定");
  ASSERT_NE(FindPrompt(PromptKind::OpenFile), nullptr);
  EXPECT_EQ(FindPrompt(PromptKind::OpenFile)->caption, "開く");
  EXPECT_EQ(FindPrompt(PromptKind::OpenFile)->filter,
            "プロジェクトファイル (*.vpj);;すべてのファイル (*.*)");
  ASSERT_NE(FindPrompt(PromptKind::YesNoCancel), nullptr);
  EXPECT_EQ(FindPrompt(PromptKind::YesNoCancel)->text, "無題 への変更を保存しますか?");
  EXPECT_EQ(FindPrompt(PromptKind::Error)->caption, "エラー");
  // Where a text was translated, the two walks differ; ASCII-only texts read the same.
  int translated = 0;
  for (size_t i = 0; i < std::min(english.size(), japanese.size()); ++i) {
    if (HasCjk(japanese[i].text)) ++translated;
  }
  EXPECT_GT(translated, 100);
}

TEST_F(LanguageUiTest, TheLanguageSubmenuSwitchesTheOpenWindowAtOnceAndIsRemembered) {
  QMenu* languages = frame_->LanguageMenu();
  ASSERT_NE(languages, nullptr);
  EXPECT_EQ(languages->title(), "言語 / Language");
  QAction* japanese = frame_->LanguageAction(Language::Japanese);
  QAction* english = frame_->LanguageAction(Language::English);
  ASSERT_NE(japanese, nullptr);
  ASSERT_NE(english, nullptr);
  EXPECT_EQ(japanese->text(), "日本語");
  EXPECT_EQ(english->text(), "English");
  EXPECT_TRUE(japanese->isChecked());
  EXPECT_FALSE(english->isChecked());
  // The submenu is the last item of the view menu.
  QMenu* view = frame_->menuBar()->actions()[2]->menu();
  EXPECT_EQ(view->actions().last(), languages->menuAction());
  PaintPanes();
  ASSERT_FALSE(Files()->Cells().empty());
  EXPECT_TRUE(Files()->Cells()[0].text.contains("動画"));

  english->trigger();
  EXPECT_EQ(CurrentLanguage(), Language::English);
  EXPECT_TRUE(english->isChecked());
  EXPECT_FALSE(japanese->isChecked());
  EXPECT_EQ(AppProfile().Ini().GetString(kSettingsSection, "Language"), "en");
  EXPECT_EQ(frame_->menuBar()->actions()[0]->text(), "&File");
  EXPECT_EQ(frame_->menuBar()->actions()[3]->text(), "&Help");
  EXPECT_EQ(frame_->Action(CmdEditUndo)->text(), "&Undo\tCtrl+Z");
  EXPECT_EQ(ReadyLabel()->text(), "Ready");
  EXPECT_EQ(frame_->statusBar()->accessibleName(), "Status bar");
  EXPECT_EQ(frame_->windowTitle(), "Untitled - Tavrona");
  EXPECT_EQ(frame_->Pane(PaneTimeline)->accessibleName(), "Timeline");
  EXPECT_EQ(languages->title(), "言語 / Language");
  // The open panes draw their rows in English on their next paint.
  PaintPanes();
  EXPECT_EQ(Files()->Cells()[0].text, " ID:0000 Movie     \\clip.avi");
  EXPECT_EQ(Templates()->Cell(2).text, " 3 Unset");

  japanese->trigger();
  EXPECT_EQ(CurrentLanguage(), Language::Japanese);
  EXPECT_EQ(AppProfile().Ini().GetString(kSettingsSection, "Language"), "ja");
  EXPECT_EQ(frame_->menuBar()->actions()[0]->text(), "ファイル(&F)");
  EXPECT_EQ(ReadyLabel()->text(), "レディ");
  EXPECT_EQ(frame_->windowTitle(), "無題 - Tavrona");
  EXPECT_EQ(frame_->Pane(PaneTimeline)->accessibleName(), "タイムライン");
  PaintPanes();
  EXPECT_EQ(Files()->Cells()[0].text, " ID:0000 動画      \\clip.avi");
}

// The real message boxes, not the test hook: their caption, buttons and check box in each
// language.
TEST_F(LanguageUiTest, MessageBoxButtonsAndCheckBoxFollowTheLanguage) {
  SetPromptHookForTests(nullptr);
  struct Seen {
    QString caption, yes, no, cancel, check;
  };
  auto ask = [this](bool withCancel) {
    Seen seen;
    QTimer answerer;
    answerer.setInterval(10);
    QObject::connect(&answerer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      seen.caption = box->windowTitle();
      seen.yes = box->button(QMessageBox::Yes)->text();
      seen.no = box->button(QMessageBox::No)->text();
      if (QAbstractButton* cancel = box->button(QMessageBox::Cancel)) seen.cancel = cancel->text();
      if (box->checkBox() != nullptr) seen.check = box->checkBox()->text();
      box->done(QMessageBox::No);
    });
    answerer.start();
    if (withCancel) {
      EXPECT_EQ(AskYesNoCancel(frame_.get(), "Tavrona", "question"), PromptAnswer::No);
    } else {
      EXPECT_FALSE(AskYesNoForAll(frame_.get(), "question").yes);
    }
    answerer.stop();
    return seen;
  };
  ASSERT_TRUE(ApplyLanguage(Language::English));
  Seen forAll = ask(false);
  EXPECT_EQ(forAll.caption, "Error");
  EXPECT_EQ(forAll.yes, "&Yes");
  EXPECT_EQ(forAll.no, "&No");
  EXPECT_EQ(forAll.check, "Apply to all");
  EXPECT_EQ(ask(true).cancel, "Cancel");

  ASSERT_TRUE(ApplyLanguage(Language::Japanese));
  forAll = ask(false);
  EXPECT_EQ(forAll.caption, "エラー");
  EXPECT_EQ(forAll.yes, "はい(&Y)");
  EXPECT_EQ(forAll.no, "いいえ(&N)");
  EXPECT_EQ(forAll.check, "すべてに適用");
  EXPECT_EQ(ask(true).cancel, "キャンセル");
}

TEST_F(LanguageUiTest, FileColumnsFitTheWidestKindWordOfEitherLanguageInAnyFont) {
  for (const Language language : {Language::Japanese, Language::English}) {
    ASSERT_TRUE(ApplyLanguage(language));
    for (const int pointSize : {8, 11, 20}) {
      QFont font = Files()->font();
      font.setPointSize(pointSize);
      const QFontMetrics metrics(font);
      const FileColumnStarts starts = MeasureFileColumns(metrics);
      EXPECT_EQ(starts.kind, metrics.horizontalAdvance(" ID:0000 "));
      int widest = 0;
      for (int kind : {FileMovie, FileStillImage, FileText, FileEmpty}) {
        widest = std::max(widest, metrics.horizontalAdvance(FileKindText(kind)));
      }
      // The name starts after the widest word and a gap, never overlapping a kind.
      EXPECT_GT(starts.name, starts.kind + widest) << pointSize;
      EXPECT_LE(starts.name, starts.kind + widest + metrics.horizontalAdvance("  ")) << pointSize;
    }
  }
  // The plain row text pads by character cells: the name starts at the same cell in both
  // languages.
  FileEntry entry;
  entry.kind = FileText;
  entry.text = u"Hello";
  ASSERT_TRUE(ApplyLanguage(Language::English));
  EXPECT_EQ(FileRowText(entry, 12), " ID:0012 Text      Hello");
}

}  // namespace
}  // namespace tavrona
