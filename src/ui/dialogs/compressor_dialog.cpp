#include "ui/dialogs/compressor_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/field_checks.h"
#include "ui/message_texts.h"
#include "ui/prompts.h"

namespace tavrona {

CompressorDialog::CompressorDialog(std::vector<AviCompressor> compressors, QWidget* parent)
    : QDialog(parent), compressors_(std::move(compressors)) {
  setWindowTitle(QCoreApplication::translate("CompressorDialog", "ビデオの圧縮"));
  setModal(true);

  auto* label =
      new QLabel(QCoreApplication::translate("CompressorDialog", "圧縮プログラム(&C):"), this);
  list_ = new QListWidget(this);
  NameAfterLabel(list_, label->text());
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  label->setBuddy(list_);
  for (const AviCompressor& compressor : compressors_) {
    list_->addItem(CompressorDescription(compressor));
  }
  if (list_->count() > 0) list_->setCurrentRow(0);
  // A double click chooses the row at once, as OK would.
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  NameButtons(*buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(list_);
  layout->addWidget(buttons);
}

std::string CompressorDialog::ChosenName() const {
  const int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(compressors_.size())) return {};
  if (!list_->item(row)->isSelected()) return {};
  return compressors_[static_cast<size_t>(row)].name;
}

void CompressorDialog::accept() {
  if (ChosenName().empty()) return;  // nothing chosen: OK does nothing
  QDialog::accept();
}

std::optional<std::string> AskCompressor(QWidget* parent) {
  CompressorDialog dialog(ListAviCompressors(), parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.ChosenName();
}

}  // namespace tavrona
