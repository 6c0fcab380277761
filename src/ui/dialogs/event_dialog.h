// The event dialog "イベントのプロパティ": start, interpolation, file ID, drawing method, playback
// position and speed, source region, opacity and colour, blend mode and placement, for one event
// or template, or for several at once (multi-selection mode).
//
// Every field has an "unchanged" value (an empty text, a text that does not scan, the blank list
// entry, the indeterminate check box) that leaves the event's field as it was. The decisions are
// plain functions on an EventDialogValues record (fill, validate, apply, the live matrix, the
// placement enabling), tested without widgets; CEventPropertyDlg moves texts between its fields
// and the record. The dialog never touches the project: RunEventPropertiesDialog applies it.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace tavrona {

struct EventRecord;
struct ProjectData;

// A check box's state; Indeterminate exists only in multi-selection mode.
enum class EventCheck { Unchecked, Checked, Indeterminate };

inline constexpr int kEventDrawingMethodCount = 5;
inline constexpr int kEventDrawingMethodBlank = 5;  // the list's " " entry: unchanged
inline constexpr int kEventBlendModeCount = 7;
inline constexpr int kEventBlendModeBlank = 7;  // the list's " " entry: unchanged
// The lists' Japanese source texts (context "EventDialog"), worded in the current language when
// the dialog fills its lists.
extern const std::array<const char*, kEventDrawingMethodCount> kEventDrawingMethodTexts;
extern const std::array<const char*, kEventBlendModeCount> kEventBlendModeTexts;

inline constexpr uint32_t kMaxEventFileId = 1023;
inline constexpr double kMinEventSpeed = -65536.0;
inline constexpr double kMaxEventSpeed = 65536.0;

// The dialog's fields as the user sees them.
struct EventDialogValues {
  bool multiSelection = false;
  std::u16string start;  // time text, frames; empty = unchanged
  EventCheck interpolate = EventCheck::Unchecked;
  std::u16string fileId;
  int drawingMethod = 0;            // 0..4, kEventDrawingMethodBlank = unchanged
  std::u16string playbackPosition;  // time text, source time; empty = unchanged
  std::u16string speed;
  std::u16string regionLeft;
  std::u16string regionTop;
  std::u16string regionRight;
  std::u16string regionBottom;
  std::u16string opacity;  // 1..256
  std::u16string red;
  std::u16string green;
  std::u16string blue;
  int blendMode = 0;  // 0..6, kEventBlendModeBlank = unchanged
  // Checked = placement by the nine matrix elements; unchecked = by base, scale, rotation and
  // position.
  EventCheck matrixMode = EventCheck::Unchecked;
  std::u16string baseX;
  std::u16string baseY;
  std::u16string scale;
  std::u16string rotation;
  std::u16string positionX;
  std::u16string positionY;
  std::array<std::u16string, 9> matrix;  // row by row
};

// The fields in dialog order (the order validation reports them in).
enum class EventDialogField {
  Start,
  Interpolate,
  FileId,
  DrawingMethod,
  PlaybackPosition,
  Speed,
  RegionLeft,
  RegionTop,
  RegionRight,
  RegionBottom,
  Opacity,
  Red,
  Green,
  Blue,
  BlendMode,
  MatrixMode,
  BaseX,
  BaseY,
  Scale,
  Rotation,
  PositionX,
  PositionY,
  Matrix0,  // Matrix0 + i for element i
};

struct EventDialogProblem {
  EventDialogField field;
  std::u16string message;  // the warning shown to the user
};

// The dialog's texts for one event: start as "%u" when showStart (the timeline) or empty (the
// template pane); the colour's opacity byte 0 as 256; the speed as rate / frame duration with
// 15 digits; the placement fields with 6 digits. An event placed by its matrix (bit 0 set, bit 3
// clear) opens with the box checked and the matrix printed with "%f"; otherwise unchecked, with
// the matrix computed from the placement fields.
EventDialogValues FillEventDialog(const ProjectData& project, const EventRecord& event,
                                  bool showStart);

// The dialog for several events: every text empty, both boxes indeterminate, both lists on their
// blank entry, so that OK alone changes nothing but the in-use flag.
EventDialogValues FillEventDialogForSeveral();

// The first field, in dialog order, whose value is out of range; unchanged values are never
// refused, nor are texts that do not scan (they are unchanged). Checked: file ID 0..1023, speed
// -65536..65536, opacity 1..256, red, green and blue 0..255.
std::optional<EventDialogProblem> ValidateEventDialog(const EventDialogValues& values);

// Applies validated values to one event, in this order: in-use flag; start; interpolate flag;
// file ID and drawing method; playback position (read against the new file ID's slot); speed;
// region; colour; blend mode; placement (matrix mode: the elements and a fresh inverse; base
// mode: the six placement values; indeterminate: neither). A real-number text that prints
// exactly as the event's own value leaves the value as it is, so that OK without an edit never
// rounds a speed, a placement value or a matrix element to its printed digits.
void ApplyEventDialog(const ProjectData& project, const EventDialogValues& values,
                      EventRecord& event);

// T(position) R(rotation) S(scale) T(-base) of the six placement texts, each read like "%f" (a
// text that does not scan counts as 0).
std::array<float, 9> LiveMatrix(const EventDialogValues& values);
std::array<std::u16string, 9> MatrixTexts(const std::array<float, 9>& matrix);

// Which placement fields are enabled for a state of the matrix box.
struct PlacementEnabling {
  bool placementFields = false;  // base, scale, rotation, position
  bool matrixFields = false;
};
PlacementEnabling PlacementEnablingFor(EventCheck matrixMode);

// The modal dialog. Edits only its own values; read them with values() after exec() returns
// Accepted.
class CEventPropertyDlg : public QDialog {
  Q_OBJECT

 public:
  // `currentMatrix` is the matrix shown when the matrix box gets checked in single mode (the
  // event's own matrix, until the placement fields are edited).
  CEventPropertyDlg(const EventDialogValues& values, const std::array<float, 9>& currentMatrix,
                    QWidget* parent = nullptr);

  const EventDialogValues& values() const { return values_; }

  // The widgets, for tests that type into them.
  QLineEdit* fieldEdit(EventDialogField field) const;
  QLineEdit* matrixEdit(int element) const { return matrix_[static_cast<size_t>(element)]; }
  QCheckBox* interpolateBox() const { return interpolate_; }
  QCheckBox* matrixModeBox() const { return matrixMode_; }
  QComboBox* drawingMethodList() const { return drawingMethod_; }
  QComboBox* blendModeList() const { return blendMode_; }

 public slots:
  // Validates the fields; on the first failure shows its message, selects that field and stays
  // open.
  void accept() override;

 private:
  void UpdatePlacementFields();
  void UpdateLiveMatrix();
  void ShowMatrix(const std::array<float, 9>& matrix);
  EventDialogValues ReadFields() const;

  EventDialogValues values_;
  std::array<float, 9> currentMatrix_{};
  QLineEdit* start_ = nullptr;
  QCheckBox* interpolate_ = nullptr;
  QLineEdit* fileId_ = nullptr;
  QComboBox* drawingMethod_ = nullptr;
  QLineEdit* playbackPosition_ = nullptr;
  QLineEdit* speed_ = nullptr;
  std::array<QLineEdit*, 4> region_{};  // left, top, right, bottom
  std::array<QLineEdit*, 4> colour_{};  // opacity, red, green, blue
  QComboBox* blendMode_ = nullptr;
  QCheckBox* matrixMode_ = nullptr;
  std::array<QLineEdit*, 6> placement_{};  // base x, y, scale, rotation, position x, y
  std::array<QLineEdit*, 9> matrix_{};
};

// The properties command of the timeline and the template pane: one target opens the dialog
// filled from it (start shown when showStart), several open it empty in multi-selection mode.
// On OK the values are applied to every target in order and true is returned; Cancel (or no
// target) changes nothing and returns false. The caller re-sorts its track or forces template
// starts to 0, then redraws and sets the modification flag.
bool RunEventPropertiesDialog(QWidget* parent, ProjectData& project,
                              const std::vector<EventRecord*>& targets, bool showStart);

}  // namespace tavrona
