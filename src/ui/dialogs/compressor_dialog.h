// The export's compressor choice: a modal list of every compressor this build offers, full
// frames first and selected initially. The dialog only reports the choice; the caller hands it
// to ChooseCompressor.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/avi_writer.h"

class QListWidget;

namespace tavrona {

class CompressorDialog : public QDialog {
  Q_OBJECT

 public:
  // compressors as ListAviCompressors() gives them; the first row is selected.
  explicit CompressorDialog(std::vector<AviCompressor> compressors, QWidget* parent = nullptr);

  // The name (AviCompressor::name) of the selected row; empty when no row is selected.
  std::string ChosenName() const;

  void accept() override;

 private:
  std::vector<AviCompressor> compressors_;
  QListWidget* list_ = nullptr;
};

// Asks the user for the compressor of the next export: its name, or nothing when cancelled.
std::optional<std::string> AskCompressor(QWidget* parent);

// How the export command obtains the compressor; AskCompressor in the program, a stand-in in
// tests.
using CompressorChooser = std::function<std::optional<std::string>(QWidget* parent)>;

}  // namespace tavrona
