#include "ui/dialogs/compressor_dialog.h"

#include <QComboBox>
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

namespace {

QString SoundCodecDescription(const SoundCodec& codec) {
  if (codec.name == "pcm") {
    return QCoreApplication::translate("CompressorDialog", "PCM 16ビット (非圧縮)");
  }
  const QString title = QString::fromStdString(codec.title);
  if (codec.note == CompressorNote::Lossless) {
    return QCoreApplication::translate("CompressorDialog", "%1 (可逆圧縮)").arg(title);
  }
  return title;
}

}  // namespace

CompressorDialog::CompressorDialog(std::vector<AviCompressor> compressors, QWidget* parent,
                                   std::vector<SoundCodec> soundCodecs)
    : QDialog(parent), compressors_(std::move(compressors)), soundCodecs_(std::move(soundCodecs)) {
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

  // The sound choice under the list, before the buttons in the tab order.
  QLabel* soundLabel = nullptr;
  if (!soundCodecs_.empty()) {
    soundLabel = new QLabel(QCoreApplication::translate("CompressorDialog", "音声(&A):"), this);
    soundList_ = new QComboBox(this);
    NameAfterLabel(soundList_, soundLabel->text());
    soundLabel->setBuddy(soundList_);
    for (const SoundCodec& codec : soundCodecs_) soundList_->addItem(SoundCodecDescription(codec));
    soundList_->addItem(
        QCoreApplication::translate("CompressorDialog", "なし (音声を書き出さない)"));
    soundList_->setCurrentIndex(0);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  NameButtons(*buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(list_);
  if (soundList_ != nullptr) {
    layout->addWidget(soundLabel);
    layout->addWidget(soundList_);
  }
  layout->addWidget(buttons);
}

std::string CompressorDialog::ChosenSoundName() const {
  if (soundList_ == nullptr) return {};
  const int row = soundList_->currentIndex();
  if (row < 0 || row >= static_cast<int>(soundCodecs_.size())) return {};
  return soundCodecs_[static_cast<size_t>(row)].name;
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

std::optional<ExportCodecChoice> AskCompressor(QWidget* parent,
                                               std::vector<SoundCodec> soundCodecs) {
  const bool withSound = !soundCodecs.empty();
  CompressorDialog dialog(ListAviCompressors(), parent, std::move(soundCodecs));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  if (!withSound) return ExportCodecChoice(dialog.ChosenName());
  return ExportCodecChoice(dialog.ChosenName(), dialog.ChosenSoundName());
}

}  // namespace tavrona
