// The program's commands: their identifiers, menu texts, keys, status-bar prompts and tool
// tips, in one table that the main window builds its menus, accelerators and toolbar from.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace tavrona {

enum CommandId : int {
  CmdNew = 57600,
  CmdOpen = 57601,
  CmdClose = 57602,
  CmdSave = 57603,
  CmdSaveAs = 57604,
  CmdPrint = 57607,
  CmdRecentFirst = 57616,
  CmdRecentLast = 57631,
  CmdEditClear = 57632,
  CmdEditClearAll = 57633,
  CmdEditCopy = 57634,
  CmdEditCut = 57635,
  CmdEditPaste = 57637,
  CmdEditSelectAll = 57642,
  CmdEditUndo = 57643,
  CmdEditRedo = 57644,
  CmdWindowSplit = 57653,
  CmdAbout = 57664,
  CmdExit = 57665,
  CmdNextPane = 57680,
  CmdPrevPane = 57681,
  CmdViewToolbar = 59392,
  CmdViewStatusBar = 59393,
  CmdExportAvi = 32772,
  CmdSavePreview = 32773,
  CmdProperties = 32774,
  CmdAddFile = 32775,
  CmdDuplicateFile = 32776,
  CmdProjectSettings = 32777,
  CmdPreview = 32778,
  CmdShowAllTracks = 32779,
  CmdZoomIn = 32780,
  CmdZoomOut = 32781,
  CmdAutoExtend = 32782,
  // Real-time playback in the preview pane.
  CmdPlay = 32783,
  // The export by a Slurm farm, and how its run stands.
  CmdFarmExport = 32784,
  CmdFarmStatus = 32785,
};

// The table holds the Japanese source texts; the functions below give them in the language of
// the moment, so that rebuilding the texts after a language change renames everything.
struct CommandInfo {
  CommandId id;
  QString menuText;          // with "&" mnemonic and "\t" key text; empty: no menu item
  QList<QKeySequence> keys;  // accelerators, the first one shown
  QString prompt;            // status-bar text while hovered
  QString toolTip;           // empty: the prompt
};

// Every command with a menu item, a key or a prompt.
const std::vector<CommandInfo>& CommandTable();
const CommandInfo* FindCommand(CommandId id);

// The command's texts in the current language; the tool tip falls back on the prompt.
QString CommandMenuText(const CommandInfo& info);
QString CommandPrompt(const CommandInfo& info);
QString CommandToolTip(const CommandInfo& info);

// One menu entry: a command, a separator (nullopt), or the place of the recent-file list.
struct MenuEntry {
  enum Kind { Command, Separator, RecentFiles } kind;
  CommandId id = CmdNew;
};
struct MenuInfo {
  QString title;
  std::vector<MenuEntry> entries;
};
// The menu bar: "ファイル(&F)", "編集(&E)", "表示(&V)", "ヘルプ(&H)" with their entries in order.
const std::vector<MenuInfo>& MenuTable();
QString MenuTitle(const MenuInfo& menu);

// The toolbar buttons in order; CmdNew-style ids, 0 for a separator.
const std::vector<int>& ToolbarTable();

// The undo and redo menu texts naming the step they take ("元に戻す - イベントの移動(&U)\tCtrl+Z");
// the plain texts when label is empty. The label is an edit step's Japanese source text (marked
// in the context "EditSteps") and is shown in the current language.
QString UndoMenuText(const QString& label);
QString RedoMenuText(const QString& label);
QString EditStepText(const QString& label);

// The idle status-bar text: kReadyPrompt is its source text, ReadyPromptText() the text shown.
inline const QString kReadyPrompt = QStringLiteral("レディ");
QString ReadyPromptText();

}  // namespace tavrona
