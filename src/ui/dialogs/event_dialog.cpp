#include "ui/dialogs/event_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/event_record.h"
#include "model/project_data.h"
#include "model/time_text.h"
#include "render/matrix.h"
#include "sources/movie_file.h"
#include "ui/dialogs/field_checks.h"
#include "ui/prompts.h"

namespace tavrona {

const std::array<const char*, kEventDrawingMethodCount> kEventDrawingMethodTexts = {
    QT_TRANSLATE_NOOP("EventDialog", "プロジェクトの既定"),
    QT_TRANSLATE_NOOP("EventDialog", "通常（初期バージョン）"),
    QT_TRANSLATE_NOOP("EventDialog", "境界修正"),
    QT_TRANSLATE_NOOP("EventDialog", "線形補間"),
    QT_TRANSLATE_NOOP("EventDialog", "線形補間と色補正"),
};
const std::array<const char*, kEventBlendModeCount> kEventBlendModeTexts = {
    QT_TRANSLATE_NOOP("EventDialog", "通常"),   QT_TRANSLATE_NOOP("EventDialog", "論理積"),
    QT_TRANSLATE_NOOP("EventDialog", "論理和"), QT_TRANSLATE_NOOP("EventDialog", "排他論理和"),
    QT_TRANSLATE_NOOP("EventDialog", "乗算"),   QT_TRANSLATE_NOOP("EventDialog", "加算"),
    QT_TRANSLATE_NOOP("EventDialog", "減算"),
};

namespace {

constexpr char16_t kBlankEntry[] = u" ";

// A text marked for the "EventDialog" context (the lists, the row names), in the current language.
QString Text(const char* source) {
  return QCoreApplication::translate("EventDialog", source);
}

// A placement text as the live matrix reads it: no number counts as 0.
float LiveField(std::u16string_view text) {
  const float value = ScanFloatField(text);
  return value == kUnchangedFloat ? 0.0f : value;
}

// Sets a float field of the event from its text, unless the text is unchanged or prints exactly
// as the event's own value (then rereading the rounded text would only lose digits).
void ApplyFloat(std::u16string_view text, float& field) {
  const float value = ScanFloatField(text);
  if (value == kUnchangedFloat || text == FormatFloatField(field)) return;
  field = value;
}

void ApplyMatrixElement(std::u16string_view text, float& field) {
  const float value = ScanFloatField(text);
  if (value == kUnchangedFloat || text == FormatMatrixElement(field)) return;
  field = value;
}

void ApplySigned(std::u16string_view text, int32_t& field) {
  const int32_t value = ScanSignedField(text);
  if (value != kUnchangedSigned) field = value;
}

void ApplyCheck(EventCheck check, uint32_t bit, uint32_t& flags) {
  if (check == EventCheck::Checked) flags |= bit;
  if (check == EventCheck::Unchecked) flags &= ~bit;
}

// The movie frame duration a bare frame number of a playback position is multiplied by; nothing
// for any slot that does not hold an open movie.
std::optional<int64_t> MovieDurationOf(const ProjectData& project, int32_t fileId) {
  if (fileId < 0 || fileId >= kFileCount) return std::nullopt;
  const FileEntry& entry = project.files[static_cast<size_t>(fileId)];
  if (entry.kind != FileMovie) return std::nullopt;
  const int64_t duration = MovieFrameDuration100ns(entry);
  if (duration <= 0) return std::nullopt;
  return duration;
}

Qt::CheckState ToQt(EventCheck check) {
  switch (check) {
    case EventCheck::Checked:
      return Qt::Checked;
    case EventCheck::Indeterminate:
      return Qt::PartiallyChecked;
    case EventCheck::Unchecked:
      break;
  }
  return Qt::Unchecked;
}

EventCheck FromQt(Qt::CheckState state) {
  switch (state) {
    case Qt::Checked:
      return EventCheck::Checked;
    case Qt::PartiallyChecked:
      return EventCheck::Indeterminate;
    case Qt::Unchecked:
      break;
  }
  return EventCheck::Unchecked;
}

}  // namespace

EventDialogValues FillEventDialog(const ProjectData& project, const EventRecord& event,
                                  bool showStart) {
  EventDialogValues v;
  v.multiSelection = false;
  if (showStart) v.start = FormatFrameNumber(event.start);
  v.interpolate = (event.flags & EventInterpolate) ? EventCheck::Checked : EventCheck::Unchecked;
  v.fileId = DecimalText(static_cast<uint32_t>(event.fileId));
  v.drawingMethod = event.drawingMethod >= 0 && event.drawingMethod < kEventDrawingMethodCount
                        ? event.drawingMethod
                        : kEventDrawingMethodBlank;
  v.playbackPosition = FormatPreciseSourceTime(event.playbackPosition);
  v.speed = FormatSpeedForDialog(event.playbackRate, project.frameDuration100ns);
  v.regionLeft = DecimalText(event.regionLeft);
  v.regionTop = DecimalText(event.regionTop);
  v.regionRight = DecimalText(event.regionRight);
  v.regionBottom = DecimalText(event.regionBottom);
  v.opacity = DecimalText(DecodeOpacity(event.opacity));
  v.red = DecimalText(event.red);
  v.green = DecimalText(event.green);
  v.blue = DecimalText(event.blue);
  v.blendMode = event.blendMode >= 0 && event.blendMode < kEventBlendModeCount
                    ? event.blendMode
                    : kEventBlendModeBlank;
  // The placement values are shown in matrix mode too, so that unchecking the box starts from
  // what the event last held rather than from zeros.
  v.baseX = FormatFloatField(event.baseX);
  v.baseY = FormatFloatField(event.baseY);
  v.scale = FormatFloatField(event.scale);
  v.rotation = FormatFloatField(event.rotation);
  v.positionX = FormatFloatField(event.positionX);
  v.positionY = FormatFloatField(event.positionY);
  const bool byMatrix = (event.flags & EventInUse) && !(event.flags & EventBaseTransform);
  if (byMatrix) {
    v.matrixMode = EventCheck::Checked;
    std::array<float, 9> m;
    std::copy(std::begin(event.matrix), std::end(event.matrix), m.begin());
    v.matrix = MatrixTexts(m);
  } else {
    v.matrixMode = EventCheck::Unchecked;
    v.matrix = MatrixTexts(LiveMatrix(v));
  }
  return v;
}

EventDialogValues FillEventDialogForSeveral() {
  EventDialogValues v;
  v.multiSelection = true;
  v.interpolate = EventCheck::Indeterminate;
  v.drawingMethod = kEventDrawingMethodBlank;
  v.blendMode = kEventBlendModeBlank;
  v.matrixMode = EventCheck::Indeterminate;
  return v;
}

std::optional<EventDialogProblem> ValidateEventDialog(const EventDialogValues& values) {
  const uint32_t fileId = ScanUnsignedField(values.fileId);
  if (fileId != kUnchangedUnsigned && fileId > kMaxEventFileId) {
    return EventDialogProblem{EventDialogField::FileId, IntegerRangeMessage(0, kMaxEventFileId)};
  }
  const double speed = ScanDoubleField(values.speed);
  // Written so that NaN is refused too.
  if (speed != kUnchangedDouble && !(speed >= kMinEventSpeed && speed <= kMaxEventSpeed)) {
    return EventDialogProblem{EventDialogField::Speed,
                              RealRangeMessage(kMinEventSpeed, kMaxEventSpeed)};
  }
  const struct {
    EventDialogField field;
    const std::u16string* text;
    uint32_t min, max;
  } colour[] = {
      {EventDialogField::Opacity, &values.opacity, 1, 256},
      {EventDialogField::Red, &values.red, 0, 255},
      {EventDialogField::Green, &values.green, 0, 255},
      {EventDialogField::Blue, &values.blue, 0, 255},
  };
  for (const auto& c : colour) {
    const uint32_t value = ScanUnsignedField(*c.text);
    if (value != kUnchangedUnsigned && (value < c.min || value > c.max)) {
      return EventDialogProblem{c.field, IntegerRangeMessage(c.min, c.max)};
    }
  }
  return std::nullopt;
}

void ApplyEventDialog(const ProjectData& project, const EventDialogValues& values,
                      EventRecord& event) {
  event.flags |= EventInUse;

  if (!values.start.empty()) {
    if (auto start = ParseTimeToFrames(values.start, project.frameDuration100ns)) {
      event.start = *start;
    }
  }

  ApplyCheck(values.interpolate, EventInterpolate, event.flags);

  const uint32_t fileId = ScanUnsignedField(values.fileId);
  if (fileId != kUnchangedUnsigned && fileId <= kMaxEventFileId) {
    event.fileId = static_cast<int32_t>(fileId);
  }
  if (values.drawingMethod >= 0 && values.drawingMethod < kEventDrawingMethodCount) {
    event.drawingMethod = values.drawingMethod;
  }

  // Read against the slot of the file ID just set: a bare frame number counts in its frames.
  if (!values.playbackPosition.empty()) {
    if (auto position =
            ParseSourceTime(values.playbackPosition, MovieDurationOf(project, event.fileId))) {
      event.playbackPosition = *position;
    }
  }

  const double speed = ScanDoubleField(values.speed);
  if (speed != kUnchangedDouble && std::isfinite(speed) &&
      values.speed != FormatSpeedForDialog(event.playbackRate, project.frameDuration100ns)) {
    event.playbackRate =
        static_cast<int64_t>(std::trunc(static_cast<double>(project.frameDuration100ns) * speed));
  }

  ApplySigned(values.regionLeft, event.regionLeft);
  ApplySigned(values.regionTop, event.regionTop);
  ApplySigned(values.regionRight, event.regionRight);
  ApplySigned(values.regionBottom, event.regionBottom);

  if (const uint32_t opacity = ScanUnsignedField(values.opacity); opacity != kUnchangedUnsigned) {
    event.opacity = EncodeOpacity(static_cast<int>(opacity));
  }
  const std::pair<const std::u16string*, uint8_t*> channels[] = {
      {&values.red, &event.red}, {&values.green, &event.green}, {&values.blue, &event.blue}};
  for (const auto& [text, byte] : channels) {
    const uint32_t value = ScanUnsignedField(*text);
    if (value != kUnchangedUnsigned) *byte = static_cast<uint8_t>(value & 0xFF);
  }

  if (values.blendMode >= 0 && values.blendMode < kEventBlendModeCount) {
    event.blendMode = values.blendMode;
  }

  switch (values.matrixMode) {
    case EventCheck::Indeterminate:
      return;
    case EventCheck::Checked:
      event.flags &= ~static_cast<uint32_t>(EventBaseTransform);
      for (size_t i = 0; i < 9; ++i) ApplyMatrixElement(values.matrix[i], event.matrix[i]);
      std::copy(std::begin(event.matrix), std::end(event.matrix), std::begin(event.inverseMatrix));
      InvertMatrix3x3(event.inverseMatrix);
      return;
    case EventCheck::Unchecked:
      event.flags |= EventBaseTransform;
      ApplyFloat(values.baseX, event.baseX);
      ApplyFloat(values.baseY, event.baseY);
      ApplyFloat(values.scale, event.scale);
      ApplyFloat(values.rotation, event.rotation);
      ApplyFloat(values.positionX, event.positionX);
      ApplyFloat(values.positionY, event.positionY);
      return;
  }
}

std::array<float, 9> LiveMatrix(const EventDialogValues& values) {
  EventRecord placement{};
  placement.baseX = LiveField(values.baseX);
  placement.baseY = LiveField(values.baseY);
  placement.scale = LiveField(values.scale);
  placement.rotation = LiveField(values.rotation);
  placement.positionX = LiveField(values.positionX);
  placement.positionY = LiveField(values.positionY);
  BuildPlacementMatrices(placement);
  std::array<float, 9> m;
  std::copy(std::begin(placement.matrix), std::end(placement.matrix), m.begin());
  return m;
}

std::array<std::u16string, 9> MatrixTexts(const std::array<float, 9>& matrix) {
  std::array<std::u16string, 9> texts;
  for (size_t i = 0; i < 9; ++i) texts[i] = FormatMatrixElement(matrix[i]);
  return texts;
}

PlacementEnabling PlacementEnablingFor(EventCheck matrixMode) {
  switch (matrixMode) {
    case EventCheck::Checked:
      return {false, true};
    case EventCheck::Unchecked:
      return {true, false};
    case EventCheck::Indeterminate:
      break;
  }
  return {false, false};
}

CEventPropertyDlg::CEventPropertyDlg(const EventDialogValues& values,
                                     const std::array<float, 9>& currentMatrix, QWidget* parent)
    : QDialog(parent), values_(values), currentMatrix_(currentMatrix) {
  setWindowTitle(QCoreApplication::translate("EventDialog", "イベントのプロパティ"));

  auto edit = [this](const std::u16string& text) { return new QLineEdit(ToQString(text), this); };
  auto check = [this, &values](const QString& label, EventCheck state) {
    auto* box = new QCheckBox(label, this);
    NameAfterLabel(box, label);
    box->setTristate(values.multiSelection);
    box->setCheckState(ToQt(state));
    return box;
  };
  auto list = [this](const auto& texts, int index) {
    auto* combo = new QComboBox(this);
    for (const char* text : texts) combo->addItem(Text(text));
    combo->addItem(ToQString(kBlankEntry));
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : combo->count() - 1);
    return combo;
  };

  start_ = edit(values.start);
  interpolate_ = check(QCoreApplication::translate("EventDialog", "次のイベントとの間を補間する"),
                       values.interpolate);
  fileId_ = edit(values.fileId);
  drawingMethod_ = list(kEventDrawingMethodTexts, values.drawingMethod);
  playbackPosition_ = edit(values.playbackPosition);
  speed_ = edit(values.speed);
  region_ = {edit(values.regionLeft), edit(values.regionTop), edit(values.regionRight),
             edit(values.regionBottom)};
  colour_ = {edit(values.opacity), edit(values.red), edit(values.green), edit(values.blue)};
  blendMode_ = list(kEventBlendModeTexts, values.blendMode);
  matrixMode_ =
      check(QCoreApplication::translate("EventDialog", "変換行列を指定する"), values.matrixMode);
  placement_ = {edit(values.baseX),    edit(values.baseY),     edit(values.scale),
                edit(values.rotation), edit(values.positionX), edit(values.positionY)};
  for (size_t i = 0; i < 9; ++i) matrix_[i] = edit(values.matrix[i]);

  // The fields that share a row are named one by one; the others after their row's label.
  const char* const regionNames[] = {
      QT_TRANSLATE_NOOP("EventDialog", "領域の左"), QT_TRANSLATE_NOOP("EventDialog", "領域の上"),
      QT_TRANSLATE_NOOP("EventDialog", "領域の右"), QT_TRANSLATE_NOOP("EventDialog", "領域の下")};
  for (size_t i = 0; i < 4; ++i) NameAfterLabel(region_[i], Text(regionNames[i]));
  const char* const colourNames[] = {
      QT_TRANSLATE_NOOP("EventDialog", "不透明度"), QT_TRANSLATE_NOOP("EventDialog", "赤"),
      QT_TRANSLATE_NOOP("EventDialog", "緑"), QT_TRANSLATE_NOOP("EventDialog", "青")};
  for (size_t i = 0; i < 4; ++i) NameAfterLabel(colour_[i], Text(colourNames[i]));
  NameAfterLabel(placement_[0], QCoreApplication::translate("EventDialog", "基準位置 X"));
  NameAfterLabel(placement_[1], QCoreApplication::translate("EventDialog", "基準位置 Y"));
  NameAfterLabel(placement_[4], QCoreApplication::translate("EventDialog", "位置 X"));
  NameAfterLabel(placement_[5], QCoreApplication::translate("EventDialog", "位置 Y"));
  for (size_t i = 0; i < 9; ++i) {
    NameAfterLabel(matrix_[i], QCoreApplication::translate("EventDialog", "変換行列 %1 行 %2 列")
                                   .arg(i / 3 + 1)
                                   .arg(i % 3 + 1));
  }

  auto row = [](std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout;
    for (QWidget* w : widgets) layout->addWidget(w);
    return layout;
  };
  auto* matrixGrid = new QGridLayout;
  for (int i = 0; i < 9; ++i) matrixGrid->addWidget(matrix_[static_cast<size_t>(i)], i / 3, i % 3);

  auto* form = new QFormLayout;
  auto named = [form](const QString& label, QWidget* field) {
    NameAfterLabel(field, label);
    form->addRow(label, field);
  };
  named(QCoreApplication::translate("EventDialog", "開始位置"), start_);
  form->addRow(QString(), interpolate_);
  named(QCoreApplication::translate("EventDialog", "ファイルID"), fileId_);
  named(QCoreApplication::translate("EventDialog", "描画方法"), drawingMethod_);
  named(QCoreApplication::translate("EventDialog", "再生位置"), playbackPosition_);
  named(QCoreApplication::translate("EventDialog", "再生速度"), speed_);
  form->addRow(QCoreApplication::translate("EventDialog", "領域左上"),
               row({region_[0], region_[1]}));
  form->addRow(QCoreApplication::translate("EventDialog", "領域右下"),
               row({region_[2], region_[3]}));
  form->addRow(QCoreApplication::translate("EventDialog", "不透明度と色(ARGB)"),
               row({colour_[0], colour_[1], colour_[2], colour_[3]}));
  named(QCoreApplication::translate("EventDialog", "合成方法"), blendMode_);
  form->addRow(QString(), matrixMode_);
  form->addRow(QCoreApplication::translate("EventDialog", "基準位置"),
               row({placement_[0], placement_[1]}));
  named(QCoreApplication::translate("EventDialog", "拡大率"), placement_[2]);
  named(QCoreApplication::translate("EventDialog", "回転角"), placement_[3]);
  form->addRow(QCoreApplication::translate("EventDialog", "位置"),
               row({placement_[4], placement_[5]}));
  form->addRow(QCoreApplication::translate("EventDialog", "変換行列"), matrixGrid);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  NameButtons(*buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CEventPropertyDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CEventPropertyDlg::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  // Connected only after the texts are in, so that opening does not count as an edit.
  connect(matrixMode_, &QCheckBox::stateChanged, this, [this] { UpdatePlacementFields(); });
  for (QLineEdit* field : placement_) {
    connect(field, &QLineEdit::textChanged, this, [this] { UpdateLiveMatrix(); });
  }
  UpdatePlacementFields();
}

QLineEdit* CEventPropertyDlg::fieldEdit(EventDialogField field) const {
  switch (field) {
    case EventDialogField::Start:
      return start_;
    case EventDialogField::FileId:
      return fileId_;
    case EventDialogField::PlaybackPosition:
      return playbackPosition_;
    case EventDialogField::Speed:
      return speed_;
    case EventDialogField::RegionLeft:
    case EventDialogField::RegionTop:
    case EventDialogField::RegionRight:
    case EventDialogField::RegionBottom:
      return region_[static_cast<size_t>(field) -
                     static_cast<size_t>(EventDialogField::RegionLeft)];
    case EventDialogField::Opacity:
    case EventDialogField::Red:
    case EventDialogField::Green:
    case EventDialogField::Blue:
      return colour_[static_cast<size_t>(field) - static_cast<size_t>(EventDialogField::Opacity)];
    case EventDialogField::BaseX:
    case EventDialogField::BaseY:
    case EventDialogField::Scale:
    case EventDialogField::Rotation:
    case EventDialogField::PositionX:
    case EventDialogField::PositionY:
      return placement_[static_cast<size_t>(field) - static_cast<size_t>(EventDialogField::BaseX)];
    case EventDialogField::Interpolate:
    case EventDialogField::DrawingMethod:
    case EventDialogField::BlendMode:
    case EventDialogField::MatrixMode:
      return nullptr;
    default:
      break;
  }
  const int element = static_cast<int>(field) - static_cast<int>(EventDialogField::Matrix0);
  return element >= 0 && element < 9 ? matrix_[static_cast<size_t>(element)] : nullptr;
}

void CEventPropertyDlg::ShowMatrix(const std::array<float, 9>& matrix) {
  const auto texts = MatrixTexts(matrix);
  for (size_t i = 0; i < 9; ++i) matrix_[i]->setText(ToQString(texts[i]));
}

void CEventPropertyDlg::UpdatePlacementFields() {
  const EventCheck mode = FromQt(matrixMode_->checkState());
  if (!values_.multiSelection) {
    if (mode == EventCheck::Checked) ShowMatrix(currentMatrix_);
    if (mode == EventCheck::Unchecked) {
      currentMatrix_ = LiveMatrix(ReadFields());
      ShowMatrix(currentMatrix_);
    }
  }
  const PlacementEnabling enabling = PlacementEnablingFor(mode);
  for (QLineEdit* field : placement_) field->setEnabled(enabling.placementFields);
  for (QLineEdit* field : matrix_) field->setEnabled(enabling.matrixFields);
}

void CEventPropertyDlg::UpdateLiveMatrix() {
  currentMatrix_ = LiveMatrix(ReadFields());
  ShowMatrix(currentMatrix_);
}

EventDialogValues CEventPropertyDlg::ReadFields() const {
  EventDialogValues v;
  v.multiSelection = values_.multiSelection;
  v.start = ToU16(start_->text());
  v.interpolate = FromQt(interpolate_->checkState());
  v.fileId = ToU16(fileId_->text());
  v.drawingMethod = drawingMethod_->currentIndex();
  v.playbackPosition = ToU16(playbackPosition_->text());
  v.speed = ToU16(speed_->text());
  v.regionLeft = ToU16(region_[0]->text());
  v.regionTop = ToU16(region_[1]->text());
  v.regionRight = ToU16(region_[2]->text());
  v.regionBottom = ToU16(region_[3]->text());
  v.opacity = ToU16(colour_[0]->text());
  v.red = ToU16(colour_[1]->text());
  v.green = ToU16(colour_[2]->text());
  v.blue = ToU16(colour_[3]->text());
  v.blendMode = blendMode_->currentIndex();
  v.matrixMode = FromQt(matrixMode_->checkState());
  v.baseX = ToU16(placement_[0]->text());
  v.baseY = ToU16(placement_[1]->text());
  v.scale = ToU16(placement_[2]->text());
  v.rotation = ToU16(placement_[3]->text());
  v.positionX = ToU16(placement_[4]->text());
  v.positionY = ToU16(placement_[5]->text());
  for (size_t i = 0; i < 9; ++i) v.matrix[i] = ToU16(matrix_[i]->text());
  return v;
}

void CEventPropertyDlg::accept() {
  EventDialogValues read = ReadFields();
  if (const auto problem = ValidateEventDialog(read)) {
    RefuseField(this, fieldEdit(problem->field), problem->message);
    return;
  }
  values_ = std::move(read);
  QDialog::accept();
}

bool RunEventPropertiesDialog(QWidget* parent, ProjectData& project,
                              const std::vector<EventRecord*>& targets, bool showStart) {
  if (targets.empty()) return false;
  const bool several = targets.size() > 1;
  std::array<float, 9> currentMatrix{};
  if (!several) {
    std::copy(std::begin(targets[0]->matrix), std::end(targets[0]->matrix), currentMatrix.begin());
  }
  CEventPropertyDlg dialog(
      several ? FillEventDialogForSeveral() : FillEventDialog(project, *targets[0], showStart),
      currentMatrix, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  for (EventRecord* target : targets) ApplyEventDialog(project, dialog.values(), *target);
  return true;
}

}  // namespace tavrona
