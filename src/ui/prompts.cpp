#include "ui/prompts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/message_texts.h"

namespace tavrona {

namespace {

PromptHook& Hook() {
  static PromptHook hook;
  return hook;
}

// Shows the prompt (or hands it to the test hook); answers a YesNoForAll prompt's check box in
// prompt.applyToAll.
PromptAnswer Ask(QWidget* parent, Prompt& prompt) {
  if (Hook()) return Hook()(prompt);
  // A language change still waiting in the queue would reach the box inside exec() and reset
  // its buttons to the toolkit's own words; it is delivered before the box is made.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
  QMessageBox box(parent);
  box.setWindowTitle(prompt.caption);
  box.setText(prompt.text);
  switch (prompt.kind) {
    case PromptKind::Error:
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case PromptKind::Warning:
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case PromptKind::YesNo:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case PromptKind::YesNoForAll:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setCheckBox(new QCheckBox(QCoreApplication::translate("Prompts", "すべてに適用"), &box));
      break;
    case PromptKind::OkCancel:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case PromptKind::YesNoCancel:
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    default:
      box.setIcon(QMessageBox::Information);
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  box.setButtonText(QMessageBox::Yes, QCoreApplication::translate("Prompts", "はい(&Y)"));
  box.setButtonText(QMessageBox::No, QCoreApplication::translate("Prompts", "いいえ(&N)"));
  box.setButtonText(QMessageBox::Cancel, QCoreApplication::translate("Prompts", "キャンセル"));
  const int button = box.exec();
  prompt.applyToAll = box.checkBox() != nullptr && box.checkBox()->isChecked();
  switch (button) {
    case QMessageBox::Yes:
      return PromptAnswer::Yes;
    case QMessageBox::No:
      return PromptAnswer::No;
    case QMessageBox::Cancel:
      return PromptAnswer::Cancel;
    default:
      return PromptAnswer::Ok;
  }
}

PromptAnswer Ask(QWidget* parent, Prompt&& prompt) {
  return Ask(parent, prompt);
}

std::optional<QString> Choose(QWidget* parent, Prompt prompt) {
  if (Hook()) {
    Hook()(prompt);
    if (prompt.answerText.isEmpty()) return std::nullopt;
    return prompt.answerText;
  }
  QFileDialog dialog(parent, prompt.caption, prompt.text, prompt.filter);
  dialog.setOption(QFileDialog::DontUseNativeDialog, false);
  switch (prompt.kind) {
    case PromptKind::SaveFile:
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      dialog.setDefaultSuffix(prompt.defaultSuffix);
      // A name typed without an extension takes the chosen file type's.
      QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                       [&dialog](const QString& fileType) {
                         const QString suffix = FilterSuffix(fileType);
                         if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
                       });
      break;
    case PromptKind::OpenFile:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFile);
      break;
    default:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::Directory);
      dialog.setOption(QFileDialog::ShowDirsOnly, true);
      break;
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

}  // namespace

QString FilterSuffix(const QString& fileType) {
  const qsizetype star = fileType.indexOf(QStringLiteral("(*."));
  if (star < 0) return {};
  const qsizetype from = star + 3;
  qsizetype to = from;
  while (to < fileType.size() && fileType[to] != u' ' && fileType[to] != u')' &&
         fileType[to] != u';') {
    ++to;
  }
  const QString suffix = fileType.mid(from, to - from);
  return suffix == QStringLiteral("*") ? QString() : suffix;
}

void SetPromptHookForTests(PromptHook hook) {
  Hook() = std::move(hook);
}

void ShowError(QWidget* parent, const QString& text) {
  Ask(parent, {PromptKind::Error, ErrorCaption(), text});
}

void ShowWarning(QWidget* parent, const QString& text) {
  Ask(parent, {PromptKind::Warning, QStringLiteral("Tavrona"), text});
}

bool AskYesNo(QWidget* parent, const QString& text) {
  return Ask(parent, {PromptKind::YesNo, ErrorCaption(), text}) == PromptAnswer::Yes;
}

YesNoForAll AskYesNoForAll(QWidget* parent, const QString& text) {
  Prompt prompt{PromptKind::YesNoForAll, ErrorCaption(), text};
  const bool yes = Ask(parent, prompt) == PromptAnswer::Yes;
  return {yes, prompt.applyToAll};
}

bool AskOkCancel(QWidget* parent, const QString& caption, const QString& text) {
  return Ask(parent, {PromptKind::OkCancel, caption, text}) == PromptAnswer::Ok;
}

PromptAnswer AskYesNoCancel(QWidget* parent, const QString& caption, const QString& text) {
  return Ask(parent, {PromptKind::YesNoCancel, caption, text});
}

void ShowInformation(QWidget* parent, const QString& caption, const QString& text) {
  Ask(parent, {PromptKind::Information, caption, text});
}

std::optional<QString> AskSaveFileName(QWidget* parent, const QString& title,
                                       const QString& startPath, const QString& filter,
                                       const QString& defaultSuffix) {
  return Choose(parent, {PromptKind::SaveFile, title, startPath, filter, defaultSuffix});
}

std::optional<QString> AskOpenFileName(QWidget* parent, const QString& title,
                                       const QString& startPath, const QString& filter) {
  return Choose(parent, {PromptKind::OpenFile, title, startPath, filter});
}

std::optional<QString> AskFolder(QWidget* parent, const QString& title,
                                 const QString& startFolder) {
  return Choose(parent, {PromptKind::Folder, title, startFolder});
}

}  // namespace tavrona
