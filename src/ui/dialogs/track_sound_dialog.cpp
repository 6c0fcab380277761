#include "ui/dialogs/track_sound_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "ui/dialogs/field_checks.h"

namespace tavrona {

QString VolumeFieldText(float volumeDb) {
  return QString::number(static_cast<double>(volumeDb), 'f', 1);
}

int VolumeSliderTenths(float volumeDb) {
  return static_cast<int>(std::lround(static_cast<double>(ClampTrackVolumeDb(volumeDb)) * 10.0));
}

float VolumeOfSliderTenths(int tenths) { return static_cast<float>(tenths) / 10.0f; }

VolumeFieldResult ReadVolumeField(const QString& text) {
  const std::u16string typed = text.toStdU16String();
  if (auto refusal = CheckRealField(typed, kTrackVolumeMinDb, kTrackVolumeMaxDb)) {
    return {std::nullopt, *refusal};
  }
  const double value = *ScanRealText(typed);
  // One decimal, as the field shows it; rounding cannot leave the range, whose ends are whole.
  return {static_cast<float>(std::round(value * 10.0) / 10.0), {}};
}

TrackSoundDialog::TrackSoundDialog(uint32_t track, const TrackSound& sound, QWidget* parent)
    : QDialog(parent), sound_(sound) {
  setWindowTitle(QCoreApplication::translate("TrackSoundDialog", "トラック %1 の音声")
                     .arg(track, 3, 10, QLatin1Char('0')));
  setModal(true);

  auto* volumeLabel =
      new QLabel(QCoreApplication::translate("TrackSoundDialog", "音量 (dB)(&V):"), this);
  volumeSlider_ = new QSlider(Qt::Horizontal, this);
  volumeSlider_->setRange(VolumeSliderTenths(kTrackVolumeMinDb),
                          VolumeSliderTenths(kTrackVolumeMaxDb));
  volumeSlider_->setSingleStep(1);
  volumeSlider_->setPageStep(10);
  volumeSlider_->setValue(VolumeSliderTenths(sound.volumeDb));
  volumeSlider_->setMinimumWidth(200);
  volumeEdit_ = new QLineEdit(VolumeFieldText(ClampTrackVolumeDb(sound.volumeDb)), this);
  volumeEdit_->setMaxLength(8);
  volumeEdit_->setFixedWidth(volumeEdit_->fontMetrics().horizontalAdvance(u'0') * 8);
  volumeLabel->setBuddy(volumeEdit_);
  NameAfterLabel(volumeEdit_, volumeLabel->text());
  NameAfterLabel(volumeSlider_, volumeLabel->text());
  // The slider and the field show one value: moving the slider writes the field; a field that
  // reads as a volume in range moves the slider.
  connect(volumeSlider_, &QSlider::valueChanged, this, [this](int tenths) {
    const VolumeFieldResult typed = ReadVolumeField(volumeEdit_->text());
    if (typed.volumeDb && VolumeSliderTenths(*typed.volumeDb) == tenths) return;
    volumeEdit_->setText(VolumeFieldText(VolumeOfSliderTenths(tenths)));
  });
  connect(volumeEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    const VolumeFieldResult typed = ReadVolumeField(text);
    if (typed.volumeDb) volumeSlider_->setValue(VolumeSliderTenths(*typed.volumeDb));
  });

  muteBox_ = new QCheckBox(QCoreApplication::translate("TrackSoundDialog", "ミュート(&M)"), this);
  muteBox_->setChecked(sound.muted);
  NameAfterLabel(muteBox_, muteBox_->text());

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  NameButtons(*buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &TrackSoundDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* grid = new QGridLayout;
  grid->addWidget(volumeLabel, 0, 0);
  grid->addWidget(volumeSlider_, 0, 1);
  grid->addWidget(volumeEdit_, 0, 2);
  grid->addWidget(muteBox_, 1, 0, 1, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
  // The field is where a user types a volume: it has the focus first, its text selected.
  volumeEdit_->setFocus(Qt::OtherFocusReason);
  volumeEdit_->selectAll();
}

void TrackSoundDialog::accept() {
  const VolumeFieldResult typed = ReadVolumeField(volumeEdit_->text());
  if (!typed.volumeDb) {
    RefuseField(this, volumeEdit_, typed.refusal);
    return;
  }
  sound_.volumeDb = *typed.volumeDb;
  sound_.muted = muteBox_->isChecked();
  QDialog::accept();
}

bool RunTrackSoundDialog(QWidget* parent, uint32_t track, TrackSound& sound) {
  TrackSoundDialog dialog(track, sound, parent);
  if (dialog.exec() != QDialog::Accepted || dialog.Sound() == sound) return false;
  sound = dialog.Sound();
  return true;
}

}  // namespace tavrona
