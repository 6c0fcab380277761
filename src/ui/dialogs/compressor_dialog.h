// The export's compressor choice: a modal list of every compressor this build offers, full
// frames first and selected initially. When the project has sound, the sound codecs the output's
// container takes are offered beside it ("音声:"), the container's default first and selected,
// and "なし" last, which leaves the sound out. The dialog only reports the choice; the caller
// hands it to ChooseCompressor and ChooseSoundCodec.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/avi_writer.h"
#include "export/sound_stream.h"

class QComboBox;
class QListWidget;

namespace tavrona {

class CompressorDialog : public QDialog {
  Q_OBJECT

 public:
  // compressors as ListAviCompressors() gives them; the first row is selected. soundCodecs as
  // ListSoundCodecs gives them for the output; empty (a project without sound): no sound choice
  // is shown.
  explicit CompressorDialog(std::vector<AviCompressor> compressors, QWidget* parent = nullptr,
                            std::vector<SoundCodec> soundCodecs = {});

  // The name (AviCompressor::name) of the selected row; empty when no row is selected.
  std::string ChosenName() const;
  // The chosen sound codec's name (SoundCodec::name); empty for "なし" and without a choice.
  std::string ChosenSoundName() const;
  // The sound choice; null when none is shown.
  QComboBox* soundList() const { return soundList_; }

  void accept() override;

 private:
  std::vector<AviCompressor> compressors_;
  std::vector<SoundCodec> soundCodecs_;
  QListWidget* list_ = nullptr;
  QComboBox* soundList_ = nullptr;
};

// What the export is written with.
struct ExportCodecChoice {
  ExportCodecChoice(std::string compressorName, std::optional<std::string> soundCodecName = {})
      : compressor(std::move(compressorName)), sound(std::move(soundCodecName)) {}
  std::string compressor;  // AviCompressor::name
  // SoundCodec::name, or empty to leave the sound out; nullopt: the container's default.
  std::optional<std::string> sound;
};

// Asks the user for the compressor and, when soundCodecs is not empty, the sound codec of the
// next export; nothing when cancelled.
std::optional<ExportCodecChoice> AskCompressor(QWidget* parent,
                                               std::vector<SoundCodec> soundCodecs = {});

// How the export command obtains the choice; AskCompressor in the program (when empty), a
// stand-in in tests. A stand-in that gives a compressor's name alone leaves the sound at the
// container's default.
using CompressorChooser = std::function<std::optional<ExportCodecChoice>(QWidget* parent)>;

}  // namespace tavrona
