// The modal questions the program asks: message boxes with the system's captions and texts,
// and the platform's file and folder choosers. Every pane and dialog asks through these, so a
// test can answer them without a modal loop (SetPromptHookForTests).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string_view>

class QWidget;

namespace tavrona {

enum class PromptKind {
  Error,        // caption "エラー", OK
  Warning,      // a dialog's validation message, OK
  YesNo,        // caption "エラー", Yes / No
  YesNoForAll,  // caption "エラー", Yes / No and the check box "すべてに適用"
  OkCancel,     // the movie timeout question, OK / Cancel
  YesNoCancel,  // the save question of a modified project
  Information,  // OK
  SaveFile,     // the save dialog; answer in Prompt::answerText
  OpenFile,     // the open dialog; answer in Prompt::answerText
  Folder,       // the folder picker; answer in Prompt::answerText
};

enum class PromptAnswer { Ok, Cancel, Yes, No };

struct Prompt {
  PromptKind kind = PromptKind::Error;
  QString caption;        // message boxes: the caption; choosers: the title
  QString text;           // message boxes: the message; choosers: the starting path
  QString filter;         // choosers: the file filter ("AVIファイル (*.avi)")
  QString defaultSuffix;  // choosers: the extension added to a name without one ("avi")
  // The hook's answer for choosers: the chosen path; empty means cancelled.
  QString answerText;
  // YesNoForAll: whether "すべてに適用" was checked with the answer (the hook sets it).
  bool applyToAll = false;
};

// A test's stand-in for the user: sees every prompt and answers it. Null restores the real
// dialogs.
using PromptHook = std::function<PromptAnswer(Prompt&)>;
void SetPromptHookForTests(PromptHook hook);


// Message boxes. ShowError uses the caption "エラー".
void ShowError(QWidget* parent, const QString& text);
void ShowWarning(QWidget* parent, const QString& text);
bool AskYesNo(QWidget* parent, const QString& text);  // caption "エラー"; true = Yes
// Caption "エラー", Yes / No and the check box "すべてに適用" (unchecked at first): the answer,
// and whether it is to apply to all further questions of its kind.
struct YesNoForAll {
  bool yes = false;
  bool applyToAll = false;
};
YesNoForAll AskYesNoForAll(QWidget* parent, const QString& text);
bool AskOkCancel(QWidget* parent, const QString& caption, const QString& text);  // true = OK
PromptAnswer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text);
void ShowInformation(QWidget* parent, const QString& caption, const QString& text);

// Choosers: the chosen path, or nothing when cancelled. The save chooser confirms before
// replacing a file and adds defaultSuffix to a name typed without an extension; with several
// file types in filter (";;" between them), the first extension of the type chosen instead.
std::optional<QString> AskSaveFileName(QWidget* parent, const QString& title,
                                       const QString& startPath, const QString& filter,
                                       const QString& defaultSuffix);
std::optional<QString> AskOpenFileName(QWidget* parent, const QString& title,
                                       const QString& startPath, const QString& filter);
std::optional<QString> AskFolder(QWidget* parent, const QString& title, const QString& startFolder);

// The first extension of one file type of a filter: "mp4" for "MP4ファイル (*.mp4 *.m4v)";
// empty when it names none.
QString FilterSuffix(const QString& fileType);

// UTF-16 text of the model as a QString and back.
inline QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                        static_cast<size_t>(text.size()));
}

}  // namespace tavrona
