// The project settings dialog "プロジェクトのプロパティ": base path, output size, frame rate, movie
// length, background colour and default drawing method.
//
// The decisions live in plain functions on a ProjectDialogValues record (fill, validate, apply),
// tested without widgets; CProjectPropertyDlg only moves texts between its fields and the record
// and shows the validation message. The dialog never touches the project: its caller applies
// the values it returns (RunProjectPropertiesDialog does both).
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tavrona {

struct ProjectData;

// The dialog's fields as the user sees them: texts, and the drop-down's index.
struct ProjectDialogValues {
  std::u16string basePath;
  std::u16string width;
  std::u16string height;
  std::u16string frameRate;
  std::u16string movieLength;  // a time text; filled with the length in frames
  std::u16string red;
  std::u16string green;
  std::u16string blue;
  int drawingMethod = 0;  // DrawingMethod 0..4
};

// The fields in the order the dialog checks them.
enum class ProjectDialogField {
  BasePath,
  Width,
  Height,
  FrameRate,
  MovieLength,
  Red,
  Green,
  Blue,
  DrawingMethod,
};

struct ProjectDialogProblem {
  ProjectDialogField field;
  std::u16string message;  // the warning shown to the user
};

// The drop-down's entries, index = DrawingMethod.
inline constexpr int kProjectDrawingMethodCount = 5;
// The list's Japanese source texts (context "ProjectDialog"), worded when the list is filled.
extern const std::array<const char*, kProjectDrawingMethodCount> kProjectDrawingMethodTexts;

inline constexpr int kBasePathMaxChars = 259;  // UTF-16 units, without the terminator
inline constexpr uint32_t kMinOutputSize = 1;
inline constexpr uint32_t kMaxOutputSize = 4096;
inline constexpr double kMinFrameRate = 0.001;
inline constexpr double kMaxFrameRate = 1000.0;

// The dialog's texts for a project: the length as a plain frame number, the colour channels
// from bytes 0, 1 and 2 of the background colour.
ProjectDialogValues FillProjectDialog(const ProjectData& project);

// The first field, in dialog order, that does not scan or is out of range, with its message;
// nothing when every field is acceptable. Numbers are read like the C library's formatted scan:
// leading blanks skipped, trailing text after the number ignored. The movie length is a time
// text and is never refused (an unreadable one keeps the old length when applied).
std::optional<ProjectDialogProblem> ValidateProjectDialog(const ProjectDialogValues& values);

// Applies values that passed ValidateProjectDialog, in this order: base path; width; height;
// frame rate with its frame duration; movie length parsed at the new frame duration (kept when
// the text is unreadable) and cut to kMaxMovieLength; background colour; default drawing method
// and the process-wide mirror of it. Sources are not reopened. Returns true when the length
// had to be cut; the caller then shows MessageCode::MovieLengthLimit (ShowMovieLengthLimit).
bool ApplyProjectDialog(ProjectData& project, const ProjectDialogValues& values);

// "動画の長さは最大で1048576フレームに制限されます。" in an error box.
void ShowMovieLengthLimit(QWidget* parent);

// The modal dialog. Edits only its own values; read them with values() after exec() returns
// Accepted.
class CProjectPropertyDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CProjectPropertyDlg(const ProjectDialogValues& values, QWidget* parent = nullptr);

  const ProjectDialogValues& values() const { return values_; }

  // The widgets, for tests that type into them.
  QLineEdit* fieldEdit(ProjectDialogField field) const;
  QComboBox* drawingMethodList() const { return drawingMethod_; }
  QPushButton* browseButton() const { return browse_; }

 public slots:
  // Validates the fields; on the first failure shows its message, selects that field and stays
  // open.
  void accept() override;

 private:
  void Browse();
  ProjectDialogValues ReadFields() const;

  ProjectDialogValues values_;
  QLineEdit* basePath_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLineEdit* width_ = nullptr;
  QLineEdit* height_ = nullptr;
  QLineEdit* frameRate_ = nullptr;
  QLineEdit* movieLength_ = nullptr;
  QLineEdit* red_ = nullptr;
  QLineEdit* green_ = nullptr;
  QLineEdit* blue_ = nullptr;
  QComboBox* drawingMethod_ = nullptr;
};

// The project settings command: fills the dialog from the project, runs it and, on OK, applies
// it (reporting a cut movie length). Returns true when the project was changed; the caller then
// redraws the views and sets the modification flag.
bool RunProjectPropertiesDialog(QWidget* parent, ProjectData& project);

}  // namespace tavrona
