#include "ui/commands.h"

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
       "新規作成(&N)\tCtrl+N",
       {Key(ctrl | K::Key_N)},
       "新規にファイルを作成",
       "新規ファイル"},
      {CmdOpen, "開く(&O)...\tCtrl+O", {Key(ctrl | K::Key_O)}, "既存のファイルを開く", "開く"},
      {CmdClose, "", {}, "作業中のファイルを閉じる", "閉じる"},
      {CmdSave,
       "上書き保存(&S)\tCtrl+S",
       {Key(ctrl | K::Key_S)},
       "作業中のファイルを上書きして保存",
       "保存"},
      {CmdSaveAs,
       "名前を付けて保存(&A)...",
       {},
       "作業中のファイルを新しい名前で保存",
       "名前をつけて保存"},
      {CmdPrint, "", {}, "", "印刷"},
      {CmdExportAvi, "AVIファイルの作成(&V)...", {}, "AVIファイルの作成", ""},
      {CmdProjectSettings, "プロジェクトの設定(&P)...", {}, "プロジェクトの設定", ""},
      {CmdExit,
       "アプリケーションの終了(&X)",
       {},
       // The resource has a backslash, not a line break, before its last word: the whole
       // text is the prompt.
       "アプリケーションを終了し、ファイルの保存を指示\\終了",
       ""},
      {CmdProperties,
       "プロパティ(&S)...\tEnter",
       {Key(K::Key_Return), Key(K::Key_Enter)},
       "プロパティ",
       ""},
      {CmdAddFile, "ファイルの追加(&N)...", {}, "ファイルの追加", ""},
      {CmdDuplicateFile, "ファイルの複製(&X)", {}, "ファイルの複製", ""},
      {CmdEditUndo,
       "元に戻す(&U)\tCtrl+Z",
       {Key(ctrl | K::Key_Z), Key(Qt::AltModifier | K::Key_Backspace)},
       "直前に行った動作を元に戻す",
       "元に戻す"},
      {CmdEditRedo,
       "やり直し(&R)\tCtrl+Y",
       {Key(ctrl | K::Key_Y), Key(ctrl | shift | K::Key_Z)},
       "取り消した操作をやり直します",
       "やり直し"},
      {CmdEditCut,
       "切り取り(&T)\tCtrl+X",
       {Key(ctrl | K::Key_X), Key(shift | K::Key_Delete)},
       "選択範囲を切り取ってクリップボードに保存",
       "切り取り"},
      {CmdEditCopy,
       "コピー(&C)\tCtrl+C",
       {Key(ctrl | K::Key_C), Key(ctrl | K::Key_Insert)},
       "選択範囲をコピーしてクリップボードに保存",
       "保存"},
      {CmdEditPaste,
       "貼り付け(&P)\tCtrl+V",
       {Key(ctrl | K::Key_V), Key(shift | K::Key_Insert)},
       "クリップボードの内容を貼り付け",
       "貼り付け"},
      {CmdEditClear, "消去(&D)\tDelete", {Key(K::Key_Delete)}, "選択範囲を消去", "消去"},
      {CmdEditClearAll, "", {}, "すべて消去", "すべて消去"},
      {CmdEditSelectAll,
       "すべて選択(&A)\tCtrl+A",
       {Key(ctrl | K::Key_A)},
       "ファイル内のすべてを選択",
       "すべて選択"},
      {CmdSavePreview, "プレビュー画像を保存(&I)...", {}, "プレビュー画像を保存", ""},
      {CmdPreview, "プレビュー表示(&V)", {}, "プレビュー表示", ""},
      {CmdPlay,
       "再生\tSpace",
       {Key(K::Key_Space)},
       "現在位置からプロジェクトを再生、再生中は停止",
       "再生"},
      {CmdShowAllTracks, "全トラック表示(&A)\tEsc", {Key(K::Key_Escape)}, "全トラック表示", ""},
      {CmdZoomIn, "拡大(&I)\tI", {Key(K::Key_I)}, "拡大", ""},
      {CmdZoomOut, "縮小(&O)\tO", {Key(K::Key_O)}, "縮小", ""},
      {CmdAutoExtend, "自動拡張(&E)", {}, "自動拡張", ""},
      {CmdViewToolbar,
       "ツール バー(&T)",
       {},
       "ツール バーの 表示/非表示",
       "ツール バーの表示切り替え"},
      {CmdViewStatusBar,
       "ステータス バー(&S)",
       {},
       "ステータス バーの 表示/非表示",
       "ステータス バーの表示切り替え"},
      {CmdWindowSplit, "分割(&P)", {}, "作業中のウィンドウを分割", "分割"},
      {CmdAbout,
       "バージョン情報(&A)...",
       {},
       "プログラム情報、バージョン、著作権を表示します。",
       "バージョン情報"},
      {CmdNextPane, "", {Key(K::Key_F6)}, "次のウィンドウに切り替える", "次のペイン"},
      {CmdPrevPane, "", {Key(shift | K::Key_F6)}, "前のウィンドウに切り替える", "前のペイン"},
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
      {"ファイル(&F)",
       {{E::Command, CmdNew},
        {E::Command, CmdOpen},
        {E::Command, CmdSave},
        {E::Command, CmdSaveAs},
        {E::Separator},
        {E::Command, CmdExportAvi},
        {E::Command, CmdProjectSettings},
        {E::Separator},
        {E::RecentFiles},
        {E::Separator},
        {E::Command, CmdExit}}},
      {"編集(&E)",
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
      {"表示(&V)",
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
      {"ヘルプ(&H)", {{E::Command, CmdAbout}}},
  };
  return menus;
}

const std::vector<int>& ToolbarTable() {
  static const std::vector<int> buttons = {
      CmdNew,      CmdOpen,     CmdSave, 0,        CmdEditCut, CmdEditCopy, CmdEditPaste,
      CmdEditUndo, CmdEditRedo, 0,       CmdPrint, CmdAbout,   0,           CmdPlay};
  return buttons;
}

namespace {

// "元に戻す(&U)\tCtrl+Z" with " - label" before the mnemonic.
QString NamedMenuText(CommandId id, const QString& label) {
  const QString plain = FindCommand(id)->menuText;
  if (label.isEmpty()) return plain;
  const qsizetype mnemonic = plain.indexOf(u'(');
  return plain.left(mnemonic) + QStringLiteral(" - ") + label + plain.mid(mnemonic);
}

}  // namespace

QString UndoMenuText(const QString& label) {
  return NamedMenuText(CmdEditUndo, label);
}

QString RedoMenuText(const QString& label) {
  return NamedMenuText(CmdEditRedo, label);
}

}  // namespace tavrona
