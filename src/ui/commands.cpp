#include "ui/commands.h"

#include <QCoreApplication>

namespace tavrona {
namespace {

QKeySequence Key(QKeyCombination k) {
  return QKeySequence(k);
}

std::vector<CommandInfo> MakeCommandTable() {
  using K = Qt::Key;
  const auto ctrl = Qt::ControlModifier;
  const auto shift = Qt::ShiftModifier;
  return {
      {CmdNew,
       QT_TRANSLATE_NOOP("Commands", "新規作成(&N)\tCtrl+N"),
       {Key(ctrl | K::Key_N)},
       QT_TRANSLATE_NOOP("Commands", "新規にファイルを作成"),
       QT_TRANSLATE_NOOP("Commands", "新規ファイル")},
      {CmdOpen,
       QT_TRANSLATE_NOOP("Commands", "開く(&O)...\tCtrl+O"),
       {Key(ctrl | K::Key_O)},
       QT_TRANSLATE_NOOP("Commands", "既存のファイルを開く"),
       QT_TRANSLATE_NOOP("Commands", "開く")},
      {CmdClose,
       "",
       {},
       QT_TRANSLATE_NOOP("Commands", "作業中のファイルを閉じる"),
       QT_TRANSLATE_NOOP("Commands", "閉じる")},
      {CmdSave,
       QT_TRANSLATE_NOOP("Commands", "上書き保存(&S)\tCtrl+S"),
       {Key(ctrl | K::Key_S)},
       QT_TRANSLATE_NOOP("Commands", "作業中のファイルを上書きして保存"),
       QT_TRANSLATE_NOOP("Commands", "保存")},
      {CmdSaveAs,
       QT_TRANSLATE_NOOP("Commands", "名前を付けて保存(&A)..."),
       {},
       QT_TRANSLATE_NOOP("Commands", "作業中のファイルを新しい名前で保存"),
       QT_TRANSLATE_NOOP("Commands", "名前をつけて保存")},
      {CmdPrint, "", {}, "", QT_TRANSLATE_NOOP("Commands", "印刷")},
      {CmdExportAvi,
       QT_TRANSLATE_NOOP("Commands", "AVIファイルの作成(&V)..."),
       {},
       QT_TRANSLATE_NOOP("Commands", "AVIファイルの作成"),
       ""},
      {CmdFarmExport,
       QT_TRANSLATE_NOOP("Commands", "ファームで書き出し..."),
       {},
       QT_TRANSLATE_NOOP("Commands", "保存したプロジェクトを Slurm のファームで分割して書き出す"),
       ""},
      {CmdFarmStatus,
       QT_TRANSLATE_NOOP("Commands", "ファームの状況..."),
       {},
       QT_TRANSLATE_NOOP("Commands", "ファームで書き出し中の部分の状況を表示"),
       ""},
      {CmdProjectSettings,
       QT_TRANSLATE_NOOP("Commands", "プロジェクトの設定(&P)..."),
       {},
       QT_TRANSLATE_NOOP("Commands", "プロジェクトの設定"),
       ""},
      {CmdExit,
       QT_TRANSLATE_NOOP("Commands", "アプリケーションの終了(&X)"),
       {},
       // The resource has a backslash, not a line break, before its last word: the whole
       // text is the prompt.
       QT_TRANSLATE_NOOP("Commands", "アプリケーションを終了し、ファイルの保存を指示\\終了"),
       ""},
      {CmdProperties,
       QT_TRANSLATE_NOOP("Commands", "プロパティ(&S)...\tEnter"),
       {Key(K::Key_Return), Key(K::Key_Enter)},
       QT_TRANSLATE_NOOP("Commands", "プロパティ"),
       ""},
      {CmdAddFile,
       QT_TRANSLATE_NOOP("Commands", "ファイルの追加(&N)..."),
       {},
       QT_TRANSLATE_NOOP("Commands", "ファイルの追加"),
       ""},
      {CmdDuplicateFile,
       QT_TRANSLATE_NOOP("Commands", "ファイルの複製(&X)"),
       {},
       QT_TRANSLATE_NOOP("Commands", "ファイルの複製"),
       ""},
      {CmdEditUndo,
       QT_TRANSLATE_NOOP("Commands", "元に戻す(&U)\tCtrl+Z"),
       {Key(ctrl | K::Key_Z), Key(Qt::AltModifier | K::Key_Backspace)},
       QT_TRANSLATE_NOOP("Commands", "直前に行った動作を元に戻す"),
       QT_TRANSLATE_NOOP("Commands", "元に戻す")},
      {CmdEditRedo,
       QT_TRANSLATE_NOOP("Commands", "やり直し(&R)\tCtrl+Y"),
       {Key(ctrl | K::Key_Y), Key(ctrl | shift | K::Key_Z)},
       QT_TRANSLATE_NOOP("Commands", "取り消した操作をやり直します"),
       QT_TRANSLATE_NOOP("Commands", "やり直し")},
      {CmdEditCut,
       QT_TRANSLATE_NOOP("Commands", "切り取り(&T)\tCtrl+X"),
       {Key(ctrl | K::Key_X), Key(shift | K::Key_Delete)},
       QT_TRANSLATE_NOOP("Commands", "選択範囲を切り取ってクリップボードに保存"),
       QT_TRANSLATE_NOOP("Commands", "切り取り")},
      {CmdEditCopy,
       QT_TRANSLATE_NOOP("Commands", "コピー(&C)\tCtrl+C"),
       {Key(ctrl | K::Key_C), Key(ctrl | K::Key_Insert)},
       QT_TRANSLATE_NOOP("Commands", "選択範囲をコピーしてクリップボードに保存"),
       QT_TRANSLATE_NOOP("Commands", "保存")},
      {CmdEditPaste,
       QT_TRANSLATE_NOOP("Commands", "貼り付け(&P)\tCtrl+V"),
       {Key(ctrl | K::Key_V), Key(shift | K::Key_Insert)},
       QT_TRANSLATE_NOOP("Commands", "クリップボードの内容を貼り付け"),
       QT_TRANSLATE_NOOP("Commands", "貼り付け")},
      {CmdEditClear,
       QT_TRANSLATE_NOOP("Commands", "消去(&D)\tDelete"),
       {Key(K::Key_Delete)},
       QT_TRANSLATE_NOOP("Commands", "選択範囲を消去"),
       QT_TRANSLATE_NOOP("Commands", "消去")},
      {CmdEditClearAll,
       "",
       {},
       QT_TRANSLATE_NOOP("Commands", "すべて消去"),
       QT_TRANSLATE_NOOP("Commands", "すべて消去")},
      {CmdEditSelectAll,
       QT_TRANSLATE_NOOP("Commands", "すべて選択(&A)\tCtrl+A"),
       {Key(ctrl | K::Key_A)},
       QT_TRANSLATE_NOOP("Commands", "ファイル内のすべてを選択"),
       QT_TRANSLATE_NOOP("Commands", "すべて選択")},
      {CmdSavePreview,
       QT_TRANSLATE_NOOP("Commands", "プレビュー画像を保存(&I)..."),
       {},
       QT_TRANSLATE_NOOP("Commands", "プレビュー画像を保存"),
       ""},
      {CmdPreview,
       QT_TRANSLATE_NOOP("Commands", "プレビュー表示(&V)"),
       {},
       QT_TRANSLATE_NOOP("Commands", "プレビュー表示"),
       ""},
      {CmdPlay,
       QT_TRANSLATE_NOOP("Commands", "再生\tSpace"),
       {Key(K::Key_Space)},
       QT_TRANSLATE_NOOP("Commands", "現在位置からプロジェクトを再生、再生中は停止"),
       QT_TRANSLATE_NOOP("Commands", "再生")},
      {CmdShowAllTracks,
       QT_TRANSLATE_NOOP("Commands", "全トラック表示(&A)\tEsc"),
       {Key(K::Key_Escape)},
       QT_TRANSLATE_NOOP("Commands", "全トラック表示"),
       ""},
      {CmdZoomIn,
       QT_TRANSLATE_NOOP("Commands", "拡大(&I)\tI"),
       {Key(K::Key_I)},
       QT_TRANSLATE_NOOP("Commands", "拡大"),
       ""},
      {CmdZoomOut,
       QT_TRANSLATE_NOOP("Commands", "縮小(&O)\tO"),
       {Key(K::Key_O)},
       QT_TRANSLATE_NOOP("Commands", "縮小"),
       ""},
      {CmdAutoExtend,
       QT_TRANSLATE_NOOP("Commands", "自動拡張(&E)"),
       {},
       QT_TRANSLATE_NOOP("Commands", "自動拡張"),
       ""},
      {CmdViewToolbar,
       QT_TRANSLATE_NOOP("Commands", "ツール バー(&T)"),
       {},
       QT_TRANSLATE_NOOP("Commands", "ツール バーの 表示/非表示"),
       QT_TRANSLATE_NOOP("Commands", "ツール バーの表示切り替え")},
      {CmdViewStatusBar,
       QT_TRANSLATE_NOOP("Commands", "ステータス バー(&S)"),
       {},
       QT_TRANSLATE_NOOP("Commands", "ステータス バーの 表示/非表示"),
       QT_TRANSLATE_NOOP("Commands", "ステータス バーの表示切り替え")},
      {CmdWindowSplit,
       QT_TRANSLATE_NOOP("Commands", "分割(&P)"),
       {},
       QT_TRANSLATE_NOOP("Commands", "作業中のウィンドウを分割"),
       QT_TRANSLATE_NOOP("Commands", "分割")},
      {CmdAbout,
       QT_TRANSLATE_NOOP("Commands", "バージョン情報(&A)..."),
       {},
       QT_TRANSLATE_NOOP("Commands", "プログラム情報、バージョン、著作権を表示します。"),
       QT_TRANSLATE_NOOP("Commands", "バージョン情報")},
      {CmdNextPane,
       "",
       {Key(K::Key_F6)},
       QT_TRANSLATE_NOOP("Commands", "次のウィンドウに切り替える"),
       QT_TRANSLATE_NOOP("Commands", "次のペイン")},
      {CmdPrevPane,
       "",
       {Key(shift | K::Key_F6)},
       QT_TRANSLATE_NOOP("Commands", "前のウィンドウに切り替える"),
       QT_TRANSLATE_NOOP("Commands", "前のペイン")},
  };
}

}  // namespace

const std::vector<CommandInfo>& CommandTable() {
  static const std::vector<CommandInfo> table = MakeCommandTable();
  return table;
}

const CommandInfo* FindCommand(CommandId id) {
  for (const CommandInfo& c : CommandTable()) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

const std::vector<MenuInfo>& MenuTable() {
  using E = MenuEntry;
  static const std::vector<MenuInfo> menus = {
      {QT_TRANSLATE_NOOP("Commands", "ファイル(&F)"),
       {{E::Command, CmdNew},
        {E::Command, CmdOpen},
        {E::Command, CmdSave},
        {E::Command, CmdSaveAs},
        {E::Separator},
        {E::Command, CmdExportAvi},
        {E::Command, CmdFarmExport},
        {E::Command, CmdFarmStatus},
        {E::Command, CmdProjectSettings},
        {E::Separator},
        {E::RecentFiles},
        {E::Separator},
        {E::Command, CmdExit}}},
      {QT_TRANSLATE_NOOP("Commands", "編集(&E)"),
       {{E::Command, CmdProperties},
        {E::Command, CmdAddFile},
        {E::Command, CmdDuplicateFile},
        {E::Separator},
        {E::Command, CmdEditUndo},
        {E::Command, CmdEditRedo},
        {E::Separator},
        {E::Command, CmdEditCut},
        {E::Command, CmdEditCopy},
        {E::Command, CmdEditPaste},
        {E::Command, CmdEditClear},
        {E::Separator},
        {E::Command, CmdEditSelectAll},
        {E::Separator},
        {E::Command, CmdSavePreview}}},
      {QT_TRANSLATE_NOOP("Commands", "表示(&V)"),
       {{E::Command, CmdPreview},
        {E::Command, CmdPlay},
        {E::Command, CmdShowAllTracks},
        {E::Command, CmdZoomIn},
        {E::Command, CmdZoomOut},
        {E::Command, CmdAutoExtend},
        {E::Separator},
        {E::Command, CmdViewToolbar},
        {E::Command, CmdViewStatusBar},
        {E::Command, CmdWindowSplit}}},
      {QT_TRANSLATE_NOOP("Commands", "ヘルプ(&H)"), {{E::Command, CmdAbout}}},
  };
  return menus;
}

const std::vector<int>& ToolbarTable() {
  static const std::vector<int> buttons = {
      CmdNew,      CmdOpen,     CmdSave, 0,        CmdEditCut, CmdEditCopy, CmdEditPaste,
      CmdEditUndo, CmdEditRedo, 0,       CmdPrint, CmdAbout,   0,           CmdPlay};
  return buttons;
}

QString CommandMenuText(const CommandInfo& info) {
  if (info.menuText.isEmpty()) return QString();
  return QCoreApplication::translate("Commands", info.menuText.toUtf8().constData());
}

QString CommandPrompt(const CommandInfo& info) {
  if (info.prompt.isEmpty()) return QString();
  return QCoreApplication::translate("Commands", info.prompt.toUtf8().constData());
}

QString CommandToolTip(const CommandInfo& info) {
  if (info.toolTip.isEmpty()) return CommandPrompt(info);
  // Copy's button has Save's tip; the translation gives it its own word.
  if (info.id == CmdEditCopy) {
    return QCoreApplication::translate("Commands", "保存", "tool tip of Copy");
  }
  return QCoreApplication::translate("Commands", info.toolTip.toUtf8().constData());
}

QString MenuTitle(const MenuInfo& menu) {
  return QCoreApplication::translate("Commands", menu.title.toUtf8().constData());
}

QString EditStepText(const QString& label) {
  return QCoreApplication::translate("EditSteps", label.toUtf8().constData());
}

// The undo and redo items name the step with " - label" before the mnemonic.
QString UndoMenuText(const QString& label) {
  if (label.isEmpty()) return CommandMenuText(*FindCommand(CmdEditUndo));
  return QCoreApplication::translate("Commands", "元に戻す - %1(&U)\tCtrl+Z")
      .arg(EditStepText(label));
}

QString RedoMenuText(const QString& label) {
  if (label.isEmpty()) return CommandMenuText(*FindCommand(CmdEditRedo));
  return QCoreApplication::translate("Commands", "やり直し - %1(&R)\tCtrl+Y")
      .arg(EditStepText(label));
}

QString ReadyPromptText() {
  return QCoreApplication::translate("Commands", "レディ");
}

}  // namespace tavrona
