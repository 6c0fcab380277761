// The export's compressor choice: a modal list of every compressor this build offers, full
// frames first and selected initially. When the project has sound, the sound codecs the output's
// container takes are offered beside it ("音声:"), the container's default first and selected,
// and "なし" last, which leaves the sound out. When the timeline has a selected range, the
// frames to write are chosen too: the whole project (selected at first) or the selection. The
// dialog only reports the choice; the caller prepares the export with it.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/avi_writer.h"
#include "export/project_export.h"
#include "export/sound_stream.h"

class QComboBox;
class QListWidget;
class QRadioButton;

namespace tavrona {

class CompressorDialog : public QDialog {
  Q_OBJECT

 public:
  // compressors as ListCompressors gives them for the output's container; the first row is
  // selected. soundCodecs as ListSoundCodecs gives them for the output; empty (a project
  // without sound): no sound choice is shown. selection: the timeline's selected frames, offered
  // beside the whole project; nullopt: no range choice is shown.
  explicit CompressorDialog(std::vector<AviCompressor> compressors, QWidget* parent = nullptr,
                            std::vector<SoundCodec> soundCodecs = {},
                            std::optional<ExportRange> selection = std::nullopt);

  // The name (AviCompressor::name) of the selected row; empty when no row is selected.
  std::string ChosenName() const;
  // The chosen sound codec's name (SoundCodec::name); empty for "なし" and without a choice.
  std::string ChosenSoundName() const;
  // The chosen frames: the selection when it is offered and chosen, otherwise nullopt (the
  // whole project).
  std::optional<ExportRange> ChosenRange() const;
  // The sound choice; null when none is shown.
  QComboBox* soundList() const { return soundList_; }
  // The range choice; null when no selection is offered.
  QRadioButton* wholeButton() const { return whole_; }
  QRadioButton* selectionButton() const { return selected_; }

  void accept() override;

 private:
  std::vector<AviCompressor> compressors_;
  std::vector<SoundCodec> soundCodecs_;
  std::optional<ExportRange> selection_;
  QListWidget* list_ = nullptr;
  QComboBox* soundList_ = nullptr;
  QRadioButton* whole_ = nullptr;
  QRadioButton* selected_ = nullptr;
};

// What the export is written with.
struct ExportCodecChoice {
  ExportCodecChoice(std::string compressorName, std::optional<std::string> soundCodecName = {})
      : compressor(std::move(compressorName)), sound(std::move(soundCodecName)) {}
  std::string compressor;  // AviCompressor::name
  // SoundCodec::name, or empty to leave the sound out; nullopt: the container's default.
  std::optional<std::string> sound;
  // The frames written; nullopt: the whole project.
  std::optional<ExportRange> range;
};

// What the export offers for one output file.
struct ExportOffer {
  OutputContainer container = OutputContainer::Avi;
  std::vector<AviCompressor> compressors;  // ListCompressors(container)
  std::vector<SoundCodec> soundCodecs;     // empty: the project has no sound
  std::optional<ExportRange> selection;    // the timeline's selected frames, if any
};

// Asks the user for the compressor, the sound codec (when the offer has sound codecs) and the
// frames (when it has a selection) of the next export; nothing when cancelled.
std::optional<ExportCodecChoice> AskCompressor(QWidget* parent, const ExportOffer& offer);

// How the export command obtains the choice; AskCompressor in the program (when empty), a
// stand-in in tests. A stand-in that gives a compressor's name alone leaves the sound at the
// container's default and writes the whole project.
using CompressorChooser =
    std::function<std::optional<ExportCodecChoice>(QWidget* parent, const ExportOffer& offer)>;

}  // namespace tavrona
