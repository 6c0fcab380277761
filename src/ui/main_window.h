// CMainFrame: the main window. Menus, accelerators, toolbar and status bar are built from the
// command table; the client area is a 2 x 2 splitter holding the four panes, rebuilt for every
// new or opened project. Each command goes to the pane with the focus first; a command that
// pane does not handle goes to the frame (file, view and help commands) or stays disabled.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <map>

#include "app/timeout_target.h"
#include "ui/commands.h"
#include "ui/farm/farm_status_window.h"
#include "ui/language.h"
#include "ui/preview_resolution.h"
#include "ui/recent_files.h"

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;
class QTimer;

namespace tavrona {

class CKeldaDoc;
class CKeldaView;

// Which pane sits where: row-major, the order F6 walks.
enum PanePlace { PanePreview = 0, PaneFiles = 1, PaneTemplates = 2, PaneTimeline = 3 };

// The main window's title: the project's name, a star when it is modified, " - Tavrona".
QString MainWindowTitle(const QString& documentTitle, bool modified);

// The status bar's playback text: the frames per second achieved beside the project's rate,
// followed by " (1/2)" or " (1/4)" while frames are composed at a reduced preview resolution.
QString PlaybackRateText(int achievedFramesPerSecond, double projectFrameRate,
                         int32_t reduction = 1);

// The status bar's note when a project with sound plays without it (no sound device, or it
// would not start): "音声を出力できないため、音声なしで再生します".
QString SilentPlaybackText();

class CMainFrame : public QMainWindow, public TimeoutTarget {
  Q_OBJECT

 public:
  explicit CMainFrame(CKeldaDoc& document, QWidget* parent = nullptr);
  ~CMainFrame() override;

  CKeldaDoc& Document() const { return document_; }
  QAction* Action(CommandId id) const;
  CKeldaView* Pane(PanePlace place) const { return panes_[place]; }
  // The pane that had the focus last; commands go to it first.
  CKeldaView* ActivePane() const;
  QSplitter* RowSplitter() const { return rows_; }
  QSplitter* ColumnSplitter(int row) const { return row == 0 ? top_ : bottom_; }
  RecentFileList& RecentFiles() { return recent_; }
  // The view menu's "言語 / Language" submenu and its item for language.
  QMenu* LanguageMenu() const { return languageMenu_; }
  QAction* LanguageAction(Language language) const;
  // Switches the interface language at once and remembers it as [Settings] Language.
  void ChooseLanguage(Language language);

  // The view menu's "プレビューの解像度" submenu (after "再生") and its item for resolution.
  QMenu* ResolutionMenu() const { return resolutionMenu_; }
  QAction* ResolutionAction(PreviewResolution resolution) const;
  // Composes previews and playback at resolution from now on, repaints the preview and keeps
  // the choice as [ImageView] PreviewResolution in tavrona.INI.
  void ChooseResolution(PreviewResolution resolution);

  // Runs a command as its menu item or key would.
  void RunCommand(CommandId id);
  // Recomputes every action's enabled and checked state.
  void UpdateCommandStates();

  // The question before a modified project is closed or replaced: "%1 への変更を保存しますか?".
  // Yes saves (false when the save fails or is cancelled), No discards, Cancel returns false.
  bool SaveModified();
  // Asks SaveModified, then opens path; a project opened goes to the front of the recent list.
  bool OpenProject(const QString& path);
  // Save, or Save As when the project has no name. True once written.
  bool SaveProject(bool askName);

  // TimeoutTarget: on the user-interface thread the user is asked; a request on another
  // thread (the composition worker) is abandoned at once, since no dialog may be shown there.
  int TimeoutQuery() override;
  bool AskToContinue(const std::u16string& message) override;

 signals:
  // The save question was answered No: the user gives the changes up.
  void changesDiscarded();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateActions();
  void RetranslateActions();
  void CreateMenus();
  void CreateLanguageMenu();
  void CheckLanguageItem();
  void CreateResolutionMenu();
  void RetranslateResolutionMenu();
  // Every text of the window in the current language; the panes repaint theirs.
  void Retranslate();
  void NamePanes();
  void CreateToolBar();
  void CreateStatusBar();
  void RebuildPanes();
  void RebuildRecentMenu();
  void UpdateTitle();
  void FocusPane(int step);
  void BeginKeyboardSplit();
  void TogglePlayback();
  void PlaybackStopped();
  bool FrameHandles(CommandId id) const;
  bool FrameEnabled(CommandId id) const;
  bool FrameChecked(CommandId id) const;
  void RunFrameCommand(CommandId id);
  // "ファームで書き出し...": saves a modified project, then the farm dialog; a run submitted
  // opens its status window.
  void RunFarmExport();
  // "ファームの状況": the one status window, showing the run writing output (the last one when
  // empty).
  void ShowFarmStatus(const QString& output);

  CKeldaDoc& document_;
  std::map<int, QAction*> actions_;
  std::array<CKeldaView*, 4> panes_{};
  QPointer<CKeldaView> activePane_;
  QPointer<CFarmStatusWindow> farmStatus_;
  QSplitter* rows_ = nullptr;
  QSplitter* top_ = nullptr;
  QSplitter* bottom_ = nullptr;
  std::vector<QMenu*> menus_;  // in the order of MenuTable
  QMenu* fileMenu_ = nullptr;
  QMenu* languageMenu_ = nullptr;
  QMenu* resolutionMenu_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  std::vector<QLabel*> indicators_;
  QAction* recentPlace_ = nullptr;  // the separator that follows the recent-file entries
  std::vector<QAction*> recentActions_;
  QLabel* readyLabel_ = nullptr;
  QLabel* playbackLabel_ = nullptr;
  QTimer* playbackTimer_ = nullptr;
  // The silent-playback note was shown: it is shown once per window, not at every playback.
  bool silentPlaybackNoted_ = false;
  RecentFileList recent_;
  QMetaObject::Connection focusConnection_;
  // Keyboard split: the splitter sizes before it started, restored by Escape.
  bool splitting_ = false;
  QList<int> splitRowsBefore_, splitColumnsBefore_;
};

}  // namespace tavrona
