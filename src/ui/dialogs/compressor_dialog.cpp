#include "ui/dialogs/compressor_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
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
                                   std::vector<SoundCodec> soundCodecs,
                                   std::optional<ExportRange> selection)
    : QDialog(parent),
      compressors_(std::move(compressors)),
      soundCodecs_(std::move(soundCodecs)),
      selection_(selection) {
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

  // The frames, when the timeline has a selection: the whole project unless the user picks it.
  QGroupBox* range = nullptr;
  if (selection_) {
    range = new QGroupBox(QCoreApplication::translate("CompressorDialog", "書き出す範囲"), this);
    whole_ = new QRadioButton(
        QCoreApplication::translate("CompressorDialog", "プロジェクト全体(&W)"), range);
    selected_ = new QRadioButton(
        QCoreApplication::translate("CompressorDialog", "選択範囲(&S): フレーム %1 - %2")
            .arg(selection_->first)
            .arg(selection_->last),
        range);
    whole_->setChecked(true);
    auto* rangeLayout = new QVBoxLayout(range);
    rangeLayout->addWidget(whole_);
    rangeLayout->addWidget(selected_);
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
  if (range != nullptr) layout->addWidget(range);
  layout->addWidget(buttons);
}

std::optional<ExportRange> CompressorDialog::ChosenRange() const {
  if (selected_ == nullptr || !selected_->isChecked()) return std::nullopt;
  return selection_;
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

std::optional<ExportCodecChoice> AskCompressor(QWidget* parent, const ExportOffer& offer) {
  CompressorDialog dialog(offer.compressors, parent, offer.soundCodecs, offer.selection);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  ExportCodecChoice choice(dialog.ChosenName());
  if (!offer.soundCodecs.empty()) choice.sound = dialog.ChosenSoundName();
  choice.range = dialog.ChosenRange();
  return choice;
}

}  // namespace tavrona
