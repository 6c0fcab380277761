#include "ui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolBar>

#include "app/process_state.h"
#include "app/settings.h"
#include "model/messages.h"
#include "sources/decoder_pool.h"
#include "ui/about_dialog.h"
#include "ui/composition_worker.h"
#include "ui/dialogs/export_command.h"
#include "ui/dialogs/project_dialog.h"
#include "ui/document.h"
#include "ui/farm/farm_actions.h"
#include "ui/farm/farm_texts.h"
#include "ui/language.h"
#include "ui/message_texts.h"
#include "ui/panes/event_view.h"
#include "ui/panes/file_view.h"
#include "ui/panes/image_view.h"
#include "ui/panes/track_view.h"
#include "ui/profile.h"
#include "ui/prompts.h"

// The resources of a static library are registered by hand, outside any namespace.
static void InitUiResources() {
  Q_INIT_RESOURCE(resources);
}

namespace tavrona {
namespace {

constexpr const char* kFrameSection = "MainFrame";
constexpr int kInitialLeftWidth = 320;
constexpr int kInitialTopHeight = 240;
constexpr int kSplitStep = 8;

QString ProjectFilter() {
  return QCoreApplication::translate("MainWindow",
                                     "プロジェクトファイル (*.vpj);;すべてのファイル (*.*)");
}

// The names of the language items, the same in every language.
constexpr const char* kLanguageMenuTitle = "言語 / Language";

// The commands whose first stop is the pane with the focus.
bool IsPaneCommand(CommandId id) {
  switch (id) {
    case CmdProperties:
    case CmdAddFile:
    case CmdDuplicateFile:
    case CmdEditCut:
    case CmdEditCopy:
    case CmdEditPaste:
    case CmdEditClear:
    case CmdEditSelectAll:
    case CmdSavePreview:
    case CmdPreview:
    case CmdShowAllTracks:
    case CmdZoomIn:
    case CmdZoomOut:
    case CmdAutoExtend:
      return true;
    default:
      return false;
  }
}

// Small toolbar pictures for the commands the style has none for, drawn in 16 x 16 logical
// pixels.
void PaintIcon(QPainter& p, CommandId id) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  switch (id) {
    case CmdEditCut:
      p.drawEllipse(QRectF(2.5, 10.5, 4, 4));
      p.drawEllipse(QRectF(9.5, 10.5, 4, 4));
      p.drawLine(QPointF(5.5, 10.5), QPointF(11, 1.5));
      p.drawLine(QPointF(10.5, 10.5), QPointF(5, 1.5));
      break;
    case CmdEditCopy:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(1.5, 1.5, 8, 10));
      p.drawRect(QRectF(6.5, 4.5, 8, 10));
      break;
    case CmdEditPaste:
      p.setBrush(QColor(0xC8, 0x96, 0x50));
      p.drawRect(QRectF(2.5, 2.5, 9, 12));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(7.5, 6.5, 7, 8));
      p.drawRect(QRectF(5.5, 1.5, 3, 2));
      break;
    case CmdEditUndo:
    case CmdEditRedo: {
      // A curved arrow, pointing back for undo and forward for redo.
      const bool back = id == CmdEditUndo;
      p.setPen(QPen(QColor(0x20, 0x50, 0xA0), 2));
      QPainterPath arc;
      arc.moveTo(back ? 4 : 12, 7);
      arc.cubicTo(back ? 8 : 8, 2, back ? 15 : 1, 5, back ? 12 : 4, 13);
      p.drawPath(arc);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0x20, 0x50, 0xA0));
      const qreal x = back ? 4 : 12;
      const qreal d = back ? 1 : -1;
      p.drawPolygon(
          QPolygonF({QPointF(x - 3 * d, 7), QPointF(x + 3 * d, 2.5), QPointF(x + 3 * d, 11)}));
      break;
    }
    case CmdPrint:
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 1.5, 7, 5));
      p.setBrush(Qt::lightGray);
      p.drawRect(QRectF(1.5, 6.5, 13, 6));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4.5, 10.5, 7, 4));
      break;
    default:
      break;
  }
}

// The picture drawn afresh for each device pixel ratio a screen may have, so that it stays sharp
// at 1.5, 2 and 3 rather than being stretched from 16 x 16.
QIcon DrawnIcon(CommandId id) {
  QIcon icon;
  for (const qreal ratio : {1.0, 1.5, 2.0, 3.0}) {
    QPixmap pixmap(QSize(16, 16) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    PaintIcon(p, id);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QIcon ToolbarIcon(CommandId id, QStyle* style) {
  switch (id) {
    case CmdNew:
      return style->standardIcon(QStyle::SP_FileIcon);
    case CmdOpen:
      return style->standardIcon(QStyle::SP_DialogOpenButton);
    case CmdSave:
      return style->standardIcon(QStyle::SP_DialogSaveButton);
    case CmdAbout:
      return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case CmdPlay:
      return style->standardIcon(QStyle::SP_MediaPlay);
    default:
      return DrawnIcon(id);
  }
}

CKeldaView* PaneOf(QWidget* widget) {
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (auto* pane = qobject_cast<CKeldaView*>(w)) return pane;
  }
  return nullptr;
}

}  // namespace

QString PlaybackRateText(int achieved, double projectRate, int32_t reduction) {
  QString text = QCoreApplication::translate("MainWindow", "再生 %1 / %2 fps")
                     .arg(achieved)
                     .arg(projectRate, 0, 'g', 6);
  if (reduction > 1) text += QStringLiteral(" (1/%1)").arg(reduction);
  return text;
}

QString SilentPlaybackText() {
  return QCoreApplication::translate("MainWindow", "音声を出力できないため、音声なしで再生します");
}

CMainFrame::CMainFrame(CKeldaDoc& document, QWidget* parent)
    : QMainWindow(parent), document_(document) {
  InitUiResources();
  setObjectName(QStringLiteral("CMainFrame"));
  setWindowIcon(QIcon(QStringLiteral(":/tavrona/tavrona.png")));
  setAcceptDrops(true);
  document_.SetMessageParent(this);
  recent_.Load(AppProfile());
  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  RebuildPanes();
  Retranslate();
  resize(960, 720);

  connect(&document_, &CKeldaDoc::projectReplaced, this, [this] { RebuildPanes(); });
  connect(&document_, &CKeldaDoc::titleChanged, this, [this] { UpdateTitle(); });
  connect(&document_, &CKeldaDoc::viewsUpdated, this, [this] { UpdateCommandStates(); });
  // Playback: the timeline position follows the frames shown; the status bar shows the rate
  // achieved, refreshed twice a second.
  playbackTimer_ = new QTimer(this);
  playbackTimer_->setInterval(500);
  connect(playbackTimer_, &QTimer::timeout, this, [this] {
    if (!document_.Worker().Playing()) {
      PlaybackStopped();
      return;
    }
    playbackLabel_->setText(PlaybackRateText(document_.Worker().AchievedFramesPerSecond(),
                                             document_.Project().frameRate,
                                             document_.Worker().PlaybackReduction()));
  });
  // Movie decoders left unused for the pool's idle time are closed even while nothing is
  // fetched (otherwise the next fetch closes them); a decoder in use is never closed. Closing
  // also gives back the pages of the slot's picture, which a composition may be drawing from a
  // held frame without fetching: so only between the worker's jobs (a busy worker is asked
  // again at the next tick).
  auto* decoderIdleTimer = new QTimer(this);
  decoderIdleTimer->setInterval(5000);
  connect(decoderIdleTimer, &QTimer::timeout, this, [this] {
    document_.Worker().RunWhileIdle([] { ProcessDecoderPool().CloseIdle(); });
  });
  decoderIdleTimer->start();
  connect(&document_.Worker(), &CompositionWorker::playbackFrame, this,
          [this](quint32 frame) { document_.position = frame; });
  connect(&document_.Worker(), &CompositionWorker::playbackEnded, this,
          [this] { PlaybackStopped(); });
  // No sound device: playback goes on silently, and the status bar says so once.
  connect(&document_.Worker(), &CompositionWorker::soundUnavailable, this, [this] {
    if (silentPlaybackNoted_) return;
    silentPlaybackNoted_ = true;
    statusBar()->showMessage(SilentPlaybackText(), 10000);
  });
  focusConnection_ =
      connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        CKeldaView* pane = PaneOf(now);
        if (pane != nullptr && pane->window() == this) activePane_ = pane;
        UpdateCommandStates();
      });
  UpdateTitle();
  UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
  // Destroying the window moves the focus; the actions it would update are going.
  disconnect(focusConnection_);
  Profile& profile = AppProfile();
  profile.SetInt(kFrameSection, "ToolBar", findChild<QToolBar*>()->isVisibleTo(this) ? 1 : 0);
  profile.SetInt(kFrameSection, "StatusBar", statusBar()->isVisibleTo(this) ? 1 : 0);
  recent_.Save(profile);
  if (Process().timeoutTarget == this) ResetTimeoutTarget(Process());
  document_.SetMessageParent(nullptr);
}

QAction* CMainFrame::Action(CommandId id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

CKeldaView* CMainFrame::ActivePane() const {
  return activePane_.data();
}

void CMainFrame::CreateActions() {
  for (const CommandInfo& info : CommandTable()) {
    auto* action = new QAction(this);
    // The texts are set by RetranslateActions.
    action->setShortcuts(info.keys);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setIcon(ToolbarIcon(info.id, style()));
    action->setIconVisibleInMenu(false);
    action->setData(static_cast<int>(info.id));
    if (info.id == CmdPreview || info.id == CmdAutoExtend || info.id == CmdViewToolbar ||
        info.id == CmdViewStatusBar || info.id == CmdPlay) {
      action->setCheckable(true);
    }
    const CommandId id = info.id;
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    addAction(action);  // keys work while the menu bar is hidden too
    actions_[id] = action;
  }
  RetranslateActions();
}

void CMainFrame::RetranslateActions() {
  for (const CommandInfo& info : CommandTable()) {
    QAction* action = Action(info.id);
    // The menu shows the text after the tab as the key, exactly as the command table has it.
    action->setText(CommandMenuText(info));
    action->setStatusTip(CommandPrompt(info));
    action->setToolTip(CommandToolTip(info));
  }
}

void CMainFrame::CreateMenus() {
  for (const MenuInfo& info : MenuTable()) {
    QMenu* menu = menuBar()->addMenu(MenuTitle(info));
    menus_.push_back(menu);
    connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
    // Menus skip disabled items as they are hovered; the filter shows their prompt all the same.
    menu->installEventFilter(this);
    bool recentHere = false;
    for (const MenuEntry& entry : info.entries) {
      QAction* added = nullptr;
      switch (entry.kind) {
        case MenuEntry::Separator:
          added = menu->addSeparator();
          break;
        case MenuEntry::RecentFiles:
          fileMenu_ = menu;
          recentHere = true;
          break;
        case MenuEntry::Command:
          added = Action(entry.id);
          menu->addAction(added);
          break;
      }
      // The recent-file entries go in before the item that follows their place.
      if (added != nullptr && recentHere) {
        recentPlace_ = added;
        recentHere = false;
      }
    }
  }
  CreateResolutionMenu();
  CreateLanguageMenu();
  RebuildRecentMenu();
}

namespace {

struct ResolutionItem {
  PreviewResolution resolution;
  const char* text;  // source text in the context "MainWindow"
};
constexpr ResolutionItem kResolutionItems[] = {
    {PreviewResolution::Full, QT_TRANSLATE_NOOP("MainWindow", "フル")},
    {PreviewResolution::Half, QT_TRANSLATE_NOOP("MainWindow", "1/2")},
    {PreviewResolution::Quarter, QT_TRANSLATE_NOOP("MainWindow", "1/4")},
    {PreviewResolution::Automatic, QT_TRANSLATE_NOOP("MainWindow", "自動")},
};

}  // namespace

void CMainFrame::CreateResolutionMenu() {
  QAction* play = Action(CmdPlay);
  QMenu* view = nullptr;
  for (size_t i = 0; i < MenuTable().size(); ++i) {
    if (MenuTable()[i].title == QStringLiteral("表示(&V)")) view = menus_[i];
  }
  if (view == nullptr || play == nullptr) return;
  // Right after "再生": the submenu goes in before the item that follows it.
  const QList<QAction*> items = view->actions();
  const qsizetype at = items.indexOf(play);
  QAction* before = at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr;
  resolutionMenu_ = new QMenu(view);
  resolutionMenu_->setObjectName(QStringLiteral("ResolutionMenu"));
  view->insertMenu(before, resolutionMenu_);
  auto* group = new QActionGroup(resolutionMenu_);
  group->setExclusive(true);
  const PreviewResolution chosen = PreviewResolutionFromStored(
      AppProfile().GetInt(kPreviewResolutionSection, kPreviewResolutionKey, 0));
  for (const ResolutionItem& item : kResolutionItems) {
    QAction* action = resolutionMenu_->addAction(QString());
    action->setCheckable(true);
    action->setChecked(item.resolution == chosen);
    action->setData(static_cast<int>(item.resolution));
    group->addAction(action);
    const PreviewResolution resolution = item.resolution;
    connect(action, &QAction::triggered, this, [this, resolution] { ChooseResolution(resolution); });
  }
  document_.Worker().SetPreviewResolution(chosen);
  RetranslateResolutionMenu();
}

void CMainFrame::RetranslateResolutionMenu() {
  if (resolutionMenu_ == nullptr) return;
  resolutionMenu_->setTitle(QCoreApplication::translate("MainWindow", "プレビューの解像度(&R)"));
  const QList<QAction*> items = resolutionMenu_->actions();
  for (qsizetype i = 0; i < items.size() && i < qsizetype(std::size(kResolutionItems)); ++i) {
    items[i]->setText(QCoreApplication::translate("MainWindow", kResolutionItems[i].text));
  }
}

QAction* CMainFrame::ResolutionAction(PreviewResolution resolution) const {
  if (resolutionMenu_ == nullptr) return nullptr;
  for (QAction* action : resolutionMenu_->actions()) {
    if (action->data().toInt() == static_cast<int>(resolution)) return action;
  }
  return nullptr;
}

void CMainFrame::ChooseResolution(PreviewResolution resolution) {
  AppProfile().SetInt(kPreviewResolutionSection, kPreviewResolutionKey,
                      static_cast<int32_t>(resolution));
  if (QAction* action = ResolutionAction(resolution)) action->setChecked(true);
  document_.Worker().SetPreviewResolution(resolution);
  // A still preview is composed again at the new size; playback takes it from its next frame.
  if (!document_.Worker().Playing()) {
    document_.preview.needsRender = true;
    document_.UpdateAllViews(nullptr);
  }
}

void CMainFrame::CreateLanguageMenu() {
  // At the end of the view menu; its texts read the same in both languages.
  QMenu* view = nullptr;
  for (size_t i = 0; i < MenuTable().size(); ++i) {
    if (MenuTable()[i].title == QStringLiteral("表示(&V)")) view = menus_[i];
  }
  if (view == nullptr) return;
  view->addSeparator();
  languageMenu_ = view->addMenu(QString::fromUtf8(kLanguageMenuTitle));
  languageMenu_->setObjectName(QStringLiteral("LanguageMenu"));
  auto* group = new QActionGroup(languageMenu_);
  group->setExclusive(true);
  const std::pair<Language, const char*> items[] = {{Language::Japanese, "日本語"},
                                                    {Language::English, "English"}};
  for (const auto& [language, name] : items) {
    QAction* action = languageMenu_->addAction(QString::fromUtf8(name));
    action->setCheckable(true);
    action->setData(LanguageCode(language));
    group->addAction(action);
    const Language chosen = language;
    connect(action, &QAction::triggered, this, [this, chosen] { ChooseLanguage(chosen); });
  }
  CheckLanguageItem();
}

void CMainFrame::CheckLanguageItem() {
  if (languageMenu_ == nullptr) return;
  const QString current = LanguageCode(CurrentLanguage());
  for (QAction* action : languageMenu_->actions()) {
    action->setChecked(action->data().toString() == current);
  }
}

QAction* CMainFrame::LanguageAction(Language language) const {
  if (languageMenu_ == nullptr) return nullptr;
  for (QAction* action : languageMenu_->actions()) {
    if (action->data().toString() == LanguageCode(language)) return action;
  }
  return nullptr;
}

void CMainFrame::ChooseLanguage(Language language) {
  if (!ApplyLanguage(language)) {
    // The English translation could not be loaded: the texts stay Japanese, and so does the
    // setting.
    ShowError(this, QStringLiteral("英語の翻訳を読み込めませんでした。\n"
                                   "The English translation could not be loaded."));
    CheckLanguageItem();
    return;
  }
  AppProfile().Ini().SetString(kSettingsSection, "Language", LanguageCode(language).toStdString());
  // Installing the translators posted a LanguageChange; delivered now, every widget has its
  // new texts when the menu closes.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
  CheckLanguageItem();
}

void CMainFrame::RebuildRecentMenu() {
  for (QAction* action : recentActions_) {
    fileMenu_->removeAction(action);
    delete action;
  }
  recentActions_.clear();
  const QStringList& paths = recent_.Paths();
  if (paths.isEmpty()) {
    auto* placeholder =
        new QAction(QCoreApplication::translate("MainWindow", "最近使ったファイル"), this);
    placeholder->setEnabled(false);
    fileMenu_->insertAction(recentPlace_, placeholder);
    recentActions_.push_back(placeholder);
    return;
  }
  for (int i = 0; i < paths.size(); ++i) {
    auto* action = new QAction(RecentFileList::MenuText(i, paths[i]), this);
    action->setStatusTip(QCoreApplication::translate("MainWindow", "指定のファイルを開く"));
    action->setData(CmdRecentFirst + i);
    const QString path = paths[i];
    connect(action, &QAction::triggered, this, [this, path] {
      if (!OpenProject(path) && !QFileInfo::exists(path)) {
        recent_.Remove(path);
        RebuildRecentMenu();
      }
    });
    fileMenu_->insertAction(recentPlace_, action);
    recentActions_.push_back(action);
  }
}

void CMainFrame::CreateToolBar() {
  auto* bar = new QToolBar(this);
  toolBar_ = bar;
  bar->setObjectName(QStringLiteral("ToolBar"));
  bar->setIconSize(QSize(16, 16));
  bar->setAllowedAreas(Qt::AllToolBarAreas);
  bar->setFloatable(true);
  bar->setMovable(true);
  for (int id : ToolbarTable()) {
    if (id == 0) {
      bar->addSeparator();
    } else {
      bar->addAction(Action(static_cast<CommandId>(id)));
    }
  }
  addToolBar(Qt::TopToolBarArea, bar);
  bar->setVisible(AppProfile().GetInt(kFrameSection, "ToolBar", 1) != 0);
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  readyLabel_ = new QLabel(bar);
  readyLabel_->setObjectName(QStringLiteral("ReadyText"));
  bar->addWidget(readyLabel_, 1);
  playbackLabel_ = new QLabel(bar);
  playbackLabel_->setObjectName(QStringLiteral("PlaybackRate"));
  playbackLabel_->hide();
  bar->addPermanentWidget(playbackLabel_);
  // The lock-key indicators; this toolkit reports no lock-key states, so they stay unlit.
  for (const char* text : {"CAP", "NUM", "SCRL"}) {
    auto* indicator = new QLabel(QString::fromLatin1(text), bar);
    indicators_.push_back(indicator);
    indicator->setEnabled(false);
    indicator->setFrameShape(QFrame::Panel);
    indicator->setFrameShadow(QFrame::Sunken);
    bar->addPermanentWidget(indicator);
  }
  bar->setVisible(AppProfile().GetInt(kFrameSection, "StatusBar", 1) != 0);
}

void CMainFrame::RebuildPanes() {
  // The old panes go first, so that the flags they write back are the ones the new panes read.
  if (QWidget* old = centralWidget()) {
    old->hide();
    delete takeCentralWidget();
  }
  rows_ = new QSplitter(Qt::Vertical);
  rows_->setObjectName(QStringLiteral("RowSplitter"));
  top_ = new QSplitter(Qt::Horizontal, rows_);
  bottom_ = new QSplitter(Qt::Horizontal, rows_);
  panes_[PanePreview] = new CImageView(document_, top_);
  panes_[PaneFiles] = new CFileView(document_, top_);
  panes_[PaneTemplates] = new CEventView(document_, bottom_);
  panes_[PaneTimeline] = new CTrackView(document_, bottom_);
  for (QSplitter* s : {rows_, top_, bottom_}) {
    s->setChildrenCollapsible(false);
    s->setStretchFactor(0, 0);
    s->setStretchFactor(1, 1);
  }
  const int width = std::max(this->width(), kInitialLeftWidth * 2);
  const int height = std::max(this->height(), kInitialTopHeight * 2);
  rows_->setSizes({kInitialTopHeight, height - kInitialTopHeight});
  top_->setSizes({kInitialLeftWidth, width - kInitialLeftWidth});
  bottom_->setSizes({kInitialLeftWidth, width - kInitialLeftWidth});
  // One column boundary for both rows, as a static 2 x 2 splitter has.
  connect(top_, &QSplitter::splitterMoved, bottom_, [this] { bottom_->setSizes(top_->sizes()); });
  connect(bottom_, &QSplitter::splitterMoved, top_, [this] { top_->setSizes(bottom_->sizes()); });
  setCentralWidget(rows_);
  for (CKeldaView* pane : panes_) {
    connect(&document_, &CKeldaDoc::viewsUpdated, pane, [pane](QObject* sender) {
      if (sender != pane) pane->OnUpdate(sender);
    });
    connect(pane, &CKeldaView::commandStatesChanged, this, [this] { UpdateCommandStates(); });
  }
  // The first update of the new panes: the preview pane composes what the document asks for.
  for (CKeldaView* pane : panes_) pane->OnUpdate(nullptr);
  NamePanes();
  activePane_ = panes_[PanePreview];
  if (isVisible()) panes_[PanePreview]->setFocus();
  UpdateCommandStates();
}

QString MainWindowTitle(const QString& documentTitle, bool modified) {
  // A modified project's name carries a star, as desktop editors mark unsaved work.
  return documentTitle + (modified ? QStringLiteral("*") : QString()) +
         QStringLiteral(" - Tavrona");
}

void CMainFrame::UpdateTitle() {
  setWindowTitle(MainWindowTitle(document_.Title(), document_.Modified()));
  setWindowModified(document_.Modified());
}

bool CMainFrame::FrameHandles(CommandId id) const {
  switch (id) {
    case CmdNew:
    case CmdOpen:
    case CmdSave:
    case CmdSaveAs:
    case CmdExportAvi:
    case CmdFarmExport:
    case CmdFarmStatus:
    case CmdProjectSettings:
    case CmdExit:
    case CmdViewToolbar:
    case CmdViewStatusBar:
    case CmdAbout:
    case CmdNextPane:
    case CmdPrevPane:
    case CmdWindowSplit:
    case CmdPlay:
    case CmdEditUndo:
    case CmdEditRedo:
      return true;
    default:
      return false;
  }
}

bool CMainFrame::FrameEnabled(CommandId id) const {
  if (id == CmdFarmExport) return FarmUnavailableReason().isEmpty();
  if (id == CmdEditUndo) return document_.History().CanUndo();
  if (id == CmdEditRedo) return document_.History().CanRedo();
  return FrameHandles(id);
}

bool CMainFrame::FrameChecked(CommandId id) const {
  if (id == CmdViewToolbar) return findChild<QToolBar*>()->isVisibleTo(this);
  if (id == CmdViewStatusBar) return statusBar()->isVisibleTo(this);
  if (id == CmdPlay) return document_.Worker().Playing();
  return false;
}

void CMainFrame::UpdateCommandStates() {
  CKeldaView* pane = ActivePane();
  for (const auto& [key, action] : actions_) {
    const auto id = static_cast<CommandId>(key);
    bool enabled = false;
    bool checked = false;
    if (pane != nullptr && pane->HandlesCommand(id)) {
      enabled = pane->CommandEnabled(id);
      checked = pane->CommandChecked(id);
    } else if (!IsPaneCommand(id) && FrameHandles(id)) {
      enabled = FrameEnabled(id);
      checked = FrameChecked(id);
    }
    action->setEnabled(enabled);
    if (action->isCheckable()) action->setChecked(checked);
  }
  // Without Slurm the farm's item says why it is off, where its prompt would be.
  if (QAction* farm = Action(CmdFarmExport)) {
    const QString reason = FarmUnavailableReason();
    farm->setStatusTip(reason.isEmpty() ? CommandPrompt(*FindCommand(CmdFarmExport)) : reason);
  }
  // The undo and redo items name the step they take.
  Action(CmdEditUndo)->setText(UndoMenuText(document_.History().UndoLabel()));
  Action(CmdEditRedo)->setText(RedoMenuText(document_.History().RedoLabel()));
}

void CMainFrame::RunCommand(CommandId id) {
  UpdateCommandStates();
  QAction* action = Action(id);
  if (action != nullptr && !action->isEnabled()) return;
  CKeldaView* pane = ActivePane();
  if (pane != nullptr && pane->HandlesCommand(id)) {
    pane->RunCommand(id);
  } else if (!IsPaneCommand(id) && FrameHandles(id)) {
    RunFrameCommand(id);
  }
  UpdateCommandStates();
}

void CMainFrame::RunFrameCommand(CommandId id) {
  switch (id) {
    case CmdNew:
      if (SaveModified()) document_.OnNewDocument();
      break;
    case CmdOpen: {
      if (!SaveModified()) break;
      const auto path = AskOpenFileName(this, QCoreApplication::translate("MainWindow", "開く"),
                                        QString(), ProjectFilter());
      if (path) {
        // The question was answered already; open without asking again.
        if (document_.OnOpenDocument(*path)) {
          recent_.Add(document_.PathName());
          RebuildRecentMenu();
        }
      }
      break;
    }
    case CmdSave:
      SaveProject(false);
      break;
    case CmdSaveAs:
      SaveProject(true);
      break;
    case CmdExportAvi: {
      document_.QuiesceWorker();
      document_.preview = PreviewRequest{true, PreviewNothing, 0, 0};
      ExportCommandContext context;
      const TrackViewState& timeline = static_cast<CTrackView*>(panes_[PaneTimeline])->State();
      context.selection = TimelineSelection(timeline.rangeStart, timeline.rangeEnd,
                                            document_.Project().movieLength);
      if (!document_.Modified()) context.projectFile = document_.PathName().toStdString();
      RunExportCommand(this, document_.Project(), &document_.Movies(), this, {}, context);
      document_.UpdateAllViews(nullptr);
      break;
    }
    case CmdFarmExport:
      RunFarmExport();
      break;
    case CmdFarmStatus:
      ShowFarmStatus(AppProfile().GetString(kFarmSection, "LastOutput"));
      break;
    case CmdProjectSettings:
      document_.Edit({QStringLiteral(QT_TRANSLATE_NOOP("EditSteps", "プロジェクトの設定")),
                      EditScope::Header()},
                     nullptr,
                     [this] { return RunProjectPropertiesDialog(this, document_.Project()); });
      break;
    case CmdExit:
      close();
      break;
    case CmdViewToolbar: {
      QToolBar* bar = findChild<QToolBar*>();
      bar->setVisible(!bar->isVisibleTo(this));
      break;
    }
    case CmdViewStatusBar:
      statusBar()->setVisible(!statusBar()->isVisibleTo(this));
      break;
    case CmdAbout:
      ShowAboutBox(this);
      break;
    case CmdNextPane:
      FocusPane(1);
      break;
    case CmdPrevPane:
      FocusPane(-1);
      break;
    case CmdWindowSplit:
      BeginKeyboardSplit();
      break;
    case CmdPlay:
      TogglePlayback();
      break;
    case CmdEditUndo:
      document_.Undo();
      break;
    case CmdEditRedo:
      document_.Redo();
      break;
    default:
      break;
  }
}

void CMainFrame::TogglePlayback() {
  CompositionWorker& worker = document_.Worker();
  if (worker.Playing()) {
    worker.StopPlayback();
    PlaybackStopped();
    return;
  }
  document_.QuiesceWorker();
  // From the end, playing starts over.
  if (document_.position + 1 >= document_.Project().movieLength) document_.position = 0;
  if (!worker.StartPlayback(document_.Project(), document_.position)) return;
  playbackLabel_->setText(PlaybackRateText(0, document_.Project().frameRate));
  playbackLabel_->show();
  playbackTimer_->start();
}

void CMainFrame::PlaybackStopped() {
  playbackTimer_->stop();
  playbackLabel_->hide();
  // The preview goes on showing the composition where playback stopped.
  document_.preview = PreviewRequest{true, PreviewAllTracks, 0, document_.position};
  document_.UpdateAllViews(nullptr);
  UpdateCommandStates();
}

void CMainFrame::FocusPane(int step) {
  int index = 0;
  for (int i = 0; i < 4; ++i) {
    if (panes_[i] == ActivePane()) index = i;
  }
  CKeldaView* next = panes_[(index + step + 4) % 4];
  activePane_ = next;
  next->setFocus(step > 0 ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  UpdateCommandStates();
}

bool CMainFrame::SaveModified() {
  if (!document_.Modified()) return true;
  const QString question = QCoreApplication::translate("MainWindow", "%1 への変更を保存しますか?")
                               .arg(document_.Title());
  switch (AskYesNoCancel(this, QStringLiteral("Tavrona"), question)) {
    case PromptAnswer::Yes:
      return SaveProject(false);
    case PromptAnswer::No:
      emit changesDiscarded();
      return true;
    default:
      return false;
  }
}

bool CMainFrame::OpenProject(const QString& path) {
  if (!SaveModified()) return false;
  if (!document_.OnOpenDocument(path)) return false;
  recent_.Add(document_.PathName());
  RebuildRecentMenu();
  return true;
}

void CMainFrame::RunFarmExport() {
  // The farm's tasks load the project's file: it must hold what is on the screen.
  if ((document_.Modified() || document_.PathName().isEmpty()) && !SaveProject(false)) return;
  CFarmDialog dialog(document_.Project(), document_.PathName(),
                     ReadFarmDialogSettings(AppProfile()), StandardFarmSubmitter(), this);
  dialog.exec();
  WriteFarmDialogSettings(AppProfile(), dialog.Settings());
  if (!dialog.SubmittedOutput().isEmpty()) {
    AppProfile().SetString(kFarmSection, "LastOutput", dialog.SubmittedOutput());
    ShowFarmStatus(dialog.SubmittedOutput());
  }
}

void CMainFrame::ShowFarmStatus(const QString& output) {
  if (farmStatus_ == nullptr) {
    const FarmSubmitter submit = StandardFarmSubmitter();
    farmStatus_ = new CFarmStatusWindow(
        output, StandardFarmStatusReader(),
        [submit](const FarmPlan& previous) {
          // The partition and time limit of the last submission from this program.
          const FarmDialogSettings settings = ReadFarmDialogSettings(AppProfile());
          return RerunFarm(previous,
                           {settings.partition.toStdString(), settings.timeLimit.toStdString()},
                           submit);
        },
        this);
  } else if (farmStatus_->outputEdit()->text() != output && !output.isEmpty()) {
    farmStatus_->SetOutput(output);
  }
  farmStatus_->show();
  farmStatus_->raise();
  farmStatus_->activateWindow();
}

bool CMainFrame::SaveProject(bool askName) {
  QString path = document_.PathName();
  if (askName || path.isEmpty()) {
    const QString start = path.isEmpty() ? document_.Title() + QStringLiteral(".vpj") : path;
    const auto chosen =
        AskSaveFileName(this, QCoreApplication::translate("MainWindow", "名前を付けて保存"), start,
                        ProjectFilter(), QStringLiteral("vpj"));
    if (!chosen) return false;
    path = *chosen;
  }
  if (!document_.OnSaveDocument(path)) return false;
  recent_.Add(document_.PathName());
  RebuildRecentMenu();
  return true;
}

int CMainFrame::TimeoutQuery() {
  return QThread::currentThread() == thread() ? 0 : 1;
}

// The one question asked is the movie timeout: shown in the current language.
bool CMainFrame::AskToContinue(const std::u16string&) {
  if (QThread::currentThread() != thread()) return false;
  return AskOkCancel(this, ErrorCaption(), MessageText(MessageCode::MovieTimeout));
}

void CMainFrame::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) Retranslate();
  QMainWindow::changeEvent(event);
}

void CMainFrame::Retranslate() {
  if (toolBar_ == nullptr || readyLabel_ == nullptr) return;  // still being built
  RetranslateActions();
  for (size_t i = 0; i < menus_.size() && i < MenuTable().size(); ++i) {
    menus_[i]->setTitle(MenuTitle(MenuTable()[i]));
  }
  RebuildRecentMenu();
  toolBar_->setWindowTitle(QCoreApplication::translate("MainWindow", "標準"));
  toolBar_->setAccessibleName(toolBar_->windowTitle());
  readyLabel_->setText(ReadyPromptText());
  readyLabel_->setAccessibleName(QCoreApplication::translate("MainWindow", "状態"));
  playbackLabel_->setAccessibleName(QCoreApplication::translate("MainWindow", "再生速度"));
  const char* const indicatorNames[] = {QT_TRANSLATE_NOOP("MainWindow", "Caps Lock"),
                                        QT_TRANSLATE_NOOP("MainWindow", "Num Lock"),
                                        QT_TRANSLATE_NOOP("MainWindow", "Scroll Lock")};
  for (size_t i = 0; i < indicators_.size() && i < std::size(indicatorNames); ++i) {
    indicators_[i]->setAccessibleName(QCoreApplication::translate("MainWindow", indicatorNames[i]));
  }
  statusBar()->setAccessibleName(QCoreApplication::translate("MainWindow", "ステータス バー"));
  NamePanes();
  RetranslateResolutionMenu();
  CheckLanguageItem();
  // The undo and redo texts, the title, and the panes' painted texts follow.
  UpdateCommandStates();
  UpdateTitle();
  for (CKeldaView* pane : panes_) {
    if (pane == nullptr) continue;
    pane->viewport()->update();
    pane->update();
  }
}

void CMainFrame::NamePanes() {
  static const char* const names[] = {QT_TRANSLATE_NOOP("MainWindow", "プレビュー"),
                                      QT_TRANSLATE_NOOP("MainWindow", "ファイル"),
                                      QT_TRANSLATE_NOOP("MainWindow", "テンプレート"),
                                      QT_TRANSLATE_NOOP("MainWindow", "タイムライン")};
  for (int i = 0; i < 4; ++i) {
    if (panes_[i] != nullptr) {
      panes_[i]->setAccessibleName(QCoreApplication::translate("MainWindow", names[i]));
    }
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!SaveModified()) {
    event->ignore();
    return;
  }
  document_.AbandonWorker();
  event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  // Files dropped here (not on the file pane) are projects; the first local file is opened.
  for (const QUrl& url : event->mimeData()->urls()) {
    if (!url.isLocalFile()) continue;
    event->acceptProposedAction();
    activateWindow();
    OpenProject(url.toLocalFile());
    return;
  }
}

void CMainFrame::BeginKeyboardSplit() {
  // The splitter bars follow the arrow keys until Enter keeps or Escape restores them.
  splitting_ = true;
  splitRowsBefore_ = rows_->sizes();
  splitColumnsBefore_ = top_->sizes();
  qApp->installEventFilter(this);
  statusBar()->showMessage(QCoreApplication::translate("MainWindow", "作業中のウィンドウを分割"));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  // A disabled item may say why it is off (the farm's without Slurm): its prompt shows when the
  // pointer is over it, as an enabled item's does.
  if (event->type() == QEvent::MouseMove) {
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
      const QAction* under = menu->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
      if (under != nullptr && !under->isEnabled() && !under->statusTip().isEmpty()) {
        statusBar()->showMessage(under->statusTip());
      }
    }
  }
  if (!splitting_ || event->type() != QEvent::KeyPress) {
    return QMainWindow::eventFilter(watched, event);
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  auto move = [](QSplitter* s, int delta) {
    QList<int> sizes = s->sizes();
    const int total = sizes[0] + sizes[1];
    sizes[0] = std::clamp(sizes[0] + delta, 1, std::max(1, total - 1));
    sizes[1] = total - sizes[0];
    s->setSizes(sizes);
  };
  switch (key->key()) {
    case Qt::Key_Left:
      move(top_, -kSplitStep);
      bottom_->setSizes(top_->sizes());
      return true;
    case Qt::Key_Right:
      move(top_, kSplitStep);
      bottom_->setSizes(top_->sizes());
      return true;
    case Qt::Key_Up:
      move(rows_, -kSplitStep);
      return true;
    case Qt::Key_Down:
      move(rows_, kSplitStep);
      return true;
    case Qt::Key_Escape:
      rows_->setSizes(splitRowsBefore_);
      top_->setSizes(splitColumnsBefore_);
      bottom_->setSizes(splitColumnsBefore_);
      [[fallthrough]];
    case Qt::Key_Return:
    case Qt::Key_Enter:
      splitting_ = false;
      qApp->removeEventFilter(this);
      statusBar()->clearMessage();
      return true;
    default:
      return true;
  }
}

}  // namespace tavrona
