// The file dialog "ファイルのプロパティ": one file slot's ID, and either a file (path, reference
// frame rate, transparent colour) or a text (text, colour and font).
//
// The decisions are plain functions on a FileDialogValues record (fill, the language and font
// lists, validation, the font built on OK, apply), tested without widgets. CFilePropertyDlg only
// moves texts between its fields and the record, keeps the enabling rules and shows the
// validation message; it never touches the project. RunFilePropertiesDialog fills, runs and
// applies it for the file pane.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/win_types.h"
#include "ui/font_catalogue.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tavrona {

struct ProjectData;

struct FileDialogValues {
  std::u16string id;
  bool textMode = false;
  std::u16string path;
  std::u16string rate;  // reference frame rate text
  bool transparent = false;
  std::u16string red, green, blue;  // transparent colour (file) or text colour (text)
  std::u16string text;
  // Filled: the slot's font (zero for a file slot). After OK: the font built from the lists.
  LOGFONTW font{};
  std::u16string size;  // the font height
  int weightIndex = 3;  // 0..8 = weight 100..900
  bool italic = false, underline = false, strikeOut = false;
};

enum class FileDialogField { Id, Path, Red, Green, Blue, Size };

struct FileDialogProblem {
  FileDialogField field;
  std::u16string message;
};

inline constexpr int kFileWeightCount = 9;
// The weight list's Japanese source texts (context "FileDialog"), worded when the list is filled.
extern const std::array<const char*, kFileWeightCount> kFileWeightTexts;
inline constexpr int kFilePathMaxChars = 259;
inline constexpr int32_t kMaxFontSize = 1024;

// The dialog's texts for slot id: a text slot in text mode with its text colour (the stored key
// colour with every component moved back by half) and font; any other slot in file mode with
// its path, the reference frame rate of a movie, its transparent colour and a zero font.
FileDialogValues FillFileDialog(const ProjectData& project, int32_t id);

// Weight list index of a font weight: 3 (normal) for 0 or less, else weight / 100 - 1, kept
// within the list.
int WeightIndexForWeight(int32_t weight);

// The list's own prefix search: the first item beginning with text, without regard to case;
// -1 when none.
int FindPrefix(const QStringList& items, const QString& text);

// The language list: each script name of the catalogue in catalogue order, added unless the
// list already holds an item it is a prefix of, then sorted without regard to case.
QStringList LanguageList(const FontCatalogue& catalogue);

// The catalogue entries (indices) whose script name equals script, in catalogue order.
std::vector<int> FontsForScript(const FontCatalogue& catalogue, const QString& script);

// The first catalogue entry with the font's character set and face name; -1 when none.
int FindCatalogueEntry(const FontCatalogue& catalogue, const LOGFONTW& font);

// The first field, in dialog order, that does not scan or is out of range, with its message.
std::optional<FileDialogProblem> ValidateFileDialog(const FileDialogValues& values);

// The font OK builds: the chosen catalogue font (base; the filled font when there is no
// choice) with height = size, width 0, weight = index * 100 + 100 and the three style flags.
LOGFONTW BuildDialogFont(const LOGFONTW& base, const FileDialogValues& values);

enum class FileApplyStatus {
  Applied,
  IdInUse,     // "指定したIDはすでに使用されています。": nothing applied
  TextFailed,  // "テキストの作成に失敗しました。": the slot is empty
  LoadFailed,  // "ファイル"%s"の読み込みに失敗しました。": the slot is empty
};

struct FileApplyResult {
  FileApplyStatus status = FileApplyStatus::Applied;
  int32_t id = 0;  // the slot the values went to (the new ID after an exchange)
};

// Applies validated values to slot id, in this order: the ID (exchanging the two slots when the
// target is free); the reference frame duration (an unreadable rate keeps it); then in text
// mode the text made again; in file mode the path reopened when it, the reference duration
// changed or the slot held no file, trying a still image and a movie against the base path,
// then both against the project folder; then the transparent colour of a file.
FileApplyResult ApplyFileDialog(ProjectData& project, int32_t id, const FileDialogValues& values);

// The messages of a failed apply, exactly as shown.
QString FileLoadFailedMessage(const QString& path);

class CFilePropertyDlg : public QDialog {
  Q_OBJECT

 public:
  CFilePropertyDlg(const FileDialogValues& values, const FontCatalogue& catalogue,
                   QWidget* parent = nullptr);

  const FileDialogValues& values() const { return values_; }

  // The widgets, for tests.
  QLineEdit* fieldEdit(FileDialogField field) const;
  QLineEdit* rateEdit() const { return rate_; }
  QPlainTextEdit* textEdit() const { return text_; }
  QCheckBox* textModeBox() const { return textMode_; }
  QCheckBox* transparentBox() const { return transparent_; }
  QComboBox* languageList() const { return language_; }
  QComboBox* fontList() const { return fontName_; }
  QComboBox* weightList() const { return weight_; }
  QCheckBox* italicBox() const { return italic_; }
  QCheckBox* underlineBox() const { return underline_; }
  QCheckBox* strikeOutBox() const { return strikeOut_; }
  QPushButton* browseButton() const { return browse_; }

 public slots:
  void accept() override;

 private:
  void UpdateEnabling();
  void FillFontList(const QString& script, const QString& select);
  void Browse();
  FileDialogValues ReadFields() const;

  FileDialogValues values_;
  const FontCatalogue& catalogue_;
  QLineEdit* id_ = nullptr;
  QCheckBox* textMode_ = nullptr;
  QLineEdit* path_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLineEdit* rate_ = nullptr;
  QCheckBox* transparent_ = nullptr;
  QLineEdit* red_ = nullptr;
  QLineEdit* green_ = nullptr;
  QLineEdit* blue_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QComboBox* language_ = nullptr;
  QComboBox* fontName_ = nullptr;
  QLineEdit* size_ = nullptr;
  QComboBox* weight_ = nullptr;
  QCheckBox* italic_ = nullptr;
  QCheckBox* underline_ = nullptr;
  QCheckBox* strikeOut_ = nullptr;
};

// The file pane's properties command: fills the dialog from slot id, runs it and on OK applies
// it, showing the apply's message. Returns the result, or nothing when cancelled.
std::optional<FileApplyResult> RunFilePropertiesDialog(QWidget* parent, ProjectData& project,
                                                       int32_t id, const FontCatalogue& catalogue);

}  // namespace tavrona
