// The sound settings of one track: its volume in dB (a slider and a field of one decimal, from
// kTrackVolumeMinDb to kTrackVolumeMaxDb) and its mute. The dialog edits a copy of the
// track's TrackSound; the caller applies it (through the document's edit path).
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>

#include "model/track_sound.h"

class QCheckBox;
class QLineEdit;
class QSlider;

namespace tavrona {

// The volume as the field shows it: one decimal ("-6.5", "0.0").
QString VolumeFieldText(float volumeDb);
// The slider's position of a volume, in tenths of a dB (rounded), and back.
int VolumeSliderTenths(float volumeDb);
float VolumeOfSliderTenths(int tenths);
// The volume the field's text gives, rounded to one decimal, or the message that refuses it
// (not a number, or outside the range).
struct VolumeFieldResult {
  std::optional<float> volumeDb;
  std::u16string refusal;
};
VolumeFieldResult ReadVolumeField(const QString& text);

class TrackSoundDialog : public QDialog {
  Q_OBJECT

 public:
  // track names the title ("トラック 005 の音声"); sound is copied.
  TrackSoundDialog(uint32_t track, const TrackSound& sound, QWidget* parent = nullptr);

  QLineEdit* volumeEdit() const { return volumeEdit_; }
  QSlider* volumeSlider() const { return volumeSlider_; }
  QCheckBox* muteBox() const { return muteBox_; }
  // The edited copy: what OK accepted (the original values before).
  const TrackSound& Sound() const { return sound_; }

  // Refuses a volume that is not a number or outside the range (warning box, focus on the
  // field); otherwise takes the fields into the copy and closes.
  void accept() override;

 private:
  TrackSound sound_;
  QLineEdit* volumeEdit_ = nullptr;
  QSlider* volumeSlider_ = nullptr;
  QCheckBox* muteBox_ = nullptr;
};

// Runs the dialog for track over sound; on OK writes the copy into sound. True when OK changed
// something.
bool RunTrackSoundDialog(QWidget* parent, uint32_t track, TrackSound& sound);

}  // namespace tavrona
