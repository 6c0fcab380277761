#include "ui/about_dialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

namespace tavrona {

QDialog* MakeAboutBox(QWidget* parent) {
  auto* box = new QDialog(parent);
  box->setObjectName(QStringLiteral("AboutBox"));
  box->setWindowTitle(QCoreApplication::translate("AboutBox", "バージョン情報 Tavrona"));
  auto* icon = new QLabel(box);
  icon->setPixmap(QPixmap(QStringLiteral(":/tavrona/tavrona.png")).scaled(32, 32));
  auto* version = new QLabel(QStringLiteral("Tavrona Version 1.2"), box);
  version->setObjectName(QStringLiteral("Version"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, box);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(12);
  row->addWidget(version, 1);
  auto* layout = new QVBoxLayout(box);
  layout->addLayout(row);
  layout->addWidget(buttons);
  return box;
}

void ShowAboutBox(QWidget* parent) {
  std::unique_ptr<QDialog> box(MakeAboutBox(parent));
  box->exec();
}

}  // namespace tavrona
