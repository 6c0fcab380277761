// Test helper: answers the next modal dialog of a type, as a user would, once it is up.
#pragma once

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <functional>

namespace tavrona::testing {

// Polls every 10 ms (on owner's thread, for as long as owner lives) until a modal Dialog is the
// active modal widget, then edits it and presses OK (or Cancel when ok is false). Call it
// before the command that opens the dialog.
template <class Dialog>
void AnswerNextModal(QObject* owner, std::function<void(Dialog&)> edit, bool ok = true) {
  auto* poll = new QTimer(owner);
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, edit, ok] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    poll->stop();
    poll->deleteLater();
    edit(*dialog);
    ok ? dialog->accept() : dialog->reject();
  });
  poll->start();
}

}  // namespace tavrona::testing
