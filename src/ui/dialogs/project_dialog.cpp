#include "ui/dialogs/project_dialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "app/process_state.h"
#include "model/project_data.h"
#include "model/time_text.h"
#include "ui/dialogs/field_checks.h"
#include "ui/message_texts.h"
#include "ui/prompts.h"

namespace tavrona {

const std::array<const char*, kProjectDrawingMethodCount> kProjectDrawingMethodTexts = {
    QT_TRANSLATE_NOOP("ProjectDialog", "システムの既定（INIファイル）"),
    QT_TRANSLATE_NOOP("ProjectDialog", "通常（初期バージョン）"),
    QT_TRANSLATE_NOOP("ProjectDialog", "境界修正"),
    QT_TRANSLATE_NOOP("ProjectDialog", "線形補間"),
    QT_TRANSLATE_NOOP("ProjectDialog", "線形補間と色補正"),
};

namespace {

// A text marked for the "ProjectDialog" context (the drawing methods), in the current language.
QString Text(const char* source) {
  return QCoreApplication::translate("ProjectDialog", source);
}

}  // namespace

ProjectDialogValues FillProjectDialog(const ProjectData& project) {
  ProjectDialogValues values;
  values.basePath = std::u16string(PathView(project.basePath));
  values.width = DecimalText(project.outputWidth);
  values.height = DecimalText(project.outputHeight);
  values.frameRate = FormatDoubleField(project.frameRate);
  values.movieLength = FormatFrameNumber(project.movieLength);
  values.red = DecimalText(project.backgroundColour & 0xFF);
  values.green = DecimalText((project.backgroundColour >> 8) & 0xFF);
  values.blue = DecimalText((project.backgroundColour >> 16) & 0xFF);
  values.drawingMethod = project.defaultDrawingMethod;
  return values;
}

std::optional<ProjectDialogProblem> ValidateProjectDialog(const ProjectDialogValues& values) {
  if (values.basePath.size() > static_cast<size_t>(kBasePathMaxChars)) {
    return ProjectDialogProblem{ProjectDialogField::BasePath,
                                TextTooLongMessage(kBasePathMaxChars)};
  }
  const struct {
    ProjectDialogField field;
    const std::u16string* text;
    uint32_t min, max;
  } integers[] = {
      {ProjectDialogField::Width, &values.width, kMinOutputSize, kMaxOutputSize},
      {ProjectDialogField::Height, &values.height, kMinOutputSize, kMaxOutputSize},
  };
  for (const auto& f : integers) {
    if (auto message = CheckUnsignedField(*f.text, f.min, f.max)) {
      return ProjectDialogProblem{f.field, std::move(*message)};
    }
  }
  if (auto message = CheckRealField(values.frameRate, kMinFrameRate, kMaxFrameRate)) {
    return ProjectDialogProblem{ProjectDialogField::FrameRate, std::move(*message)};
  }
  const std::pair<ProjectDialogField, const std::u16string*> channels[] = {
      {ProjectDialogField::Red, &values.red},
      {ProjectDialogField::Green, &values.green},
      {ProjectDialogField::Blue, &values.blue},
  };
  for (const auto& [field, text] : channels) {
    if (auto message = CheckUnsignedField(*text, 0, 255)) {
      return ProjectDialogProblem{field, std::move(*message)};
    }
  }
  return std::nullopt;
}

bool ApplyProjectDialog(ProjectData& project, const ProjectDialogValues& values) {
  // The scans cannot fail on validated values; should one fail anyway, the old value stays.
  SetPath(project.basePath, values.basePath);
  if (auto width = ScanUnsignedText(values.width))
    project.outputWidth = static_cast<int32_t>(*width);
  if (auto height = ScanUnsignedText(values.height)) {
    project.outputHeight = static_cast<int32_t>(*height);
  }
  if (auto rate = ScanRealText(values.frameRate)) project.SetFrameRate(*rate);

  bool lengthCut = false;
  if (auto length = ParseTimeToFrames(values.movieLength, project.frameDuration100ns)) {
    lengthCut = *length > kMaxMovieLength;
    project.movieLength = ClampMovieLength(*length);
  }

  const auto red = ScanUnsignedText(values.red);
  const auto green = ScanUnsignedText(values.green);
  const auto blue = ScanUnsignedText(values.blue);
  if (red && green && blue) {
    project.backgroundColour = (*red & 0xFF) | (*green & 0xFF) << 8 | (*blue & 0xFF) << 16;
  }
  if (values.drawingMethod >= 0 && values.drawingMethod < kProjectDrawingMethodCount) {
    project.defaultDrawingMethod = values.drawingMethod;
    Process().defaultDrawingMethodMirror = values.drawingMethod;
  }
  return lengthCut;
}

void ShowMovieLengthLimit(QWidget* parent) {
  ShowError(parent, MessageText(MessageCode::MovieLengthLimit, QString(), kMaxMovieLength));
}

CProjectPropertyDlg::CProjectPropertyDlg(const ProjectDialogValues& values, QWidget* parent)
    : QDialog(parent), values_(values) {
  setWindowTitle(QCoreApplication::translate("ProjectDialog", "プロジェクトのプロパティ"));

  auto edit = [this](const std::u16string& text) { return new QLineEdit(ToQString(text), this); };
  basePath_ = edit(values.basePath);
  browse_ = new QPushButton(QCoreApplication::translate("ProjectDialog", "参照"), this);
  NameAfterLabel(browse_, browse_->text());
  width_ = edit(values.width);
  height_ = edit(values.height);
  frameRate_ = edit(values.frameRate);
  movieLength_ = edit(values.movieLength);
  red_ = edit(values.red);
  green_ = edit(values.green);
  blue_ = edit(values.blue);
  NameAfterLabel(red_, QCoreApplication::translate("ProjectDialog", "赤"));
  NameAfterLabel(green_, QCoreApplication::translate("ProjectDialog", "緑"));
  NameAfterLabel(blue_, QCoreApplication::translate("ProjectDialog", "青"));
  drawingMethod_ = new QComboBox(this);
  for (const char* text : kProjectDrawingMethodTexts) drawingMethod_->addItem(Text(text));
  drawingMethod_->setCurrentIndex(values.drawingMethod >= 0 &&
                                          values.drawingMethod < kProjectDrawingMethodCount
                                      ? values.drawingMethod
                                      : 0);

  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(basePath_, 1);
  pathRow->addWidget(browse_);
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(red_);
  colourRow->addWidget(green_);
  colourRow->addWidget(blue_);

  auto* form = new QFormLayout;
  auto named = [form](const QString& label, QWidget* field) {
    NameAfterLabel(field, label);
    form->addRow(label, field);
  };
  const QString pathLabel = QCoreApplication::translate("ProjectDialog", "ファイルの基準パス");
  NameAfterLabel(basePath_, pathLabel);
  form->addRow(pathLabel, pathRow);
  named(QCoreApplication::translate("ProjectDialog", "出力の幅"), width_);
  named(QCoreApplication::translate("ProjectDialog", "出力の高さ"), height_);
  named(QCoreApplication::translate("ProjectDialog", "フレームレート"), frameRate_);
  named(QCoreApplication::translate("ProjectDialog", "動画の長さ"), movieLength_);
  form->addRow(QCoreApplication::translate("ProjectDialog", "背景色(RGB)"), colourRow);
  named(QCoreApplication::translate("ProjectDialog", "既定の描画方法"), drawingMethod_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  NameButtons(*buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CProjectPropertyDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CProjectPropertyDlg::reject);
  connect(browse_, &QPushButton::clicked, this, &CProjectPropertyDlg::Browse);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

QLineEdit* CProjectPropertyDlg::fieldEdit(ProjectDialogField field) const {
  switch (field) {
    case ProjectDialogField::BasePath:
      return basePath_;
    case ProjectDialogField::Width:
      return width_;
    case ProjectDialogField::Height:
      return height_;
    case ProjectDialogField::FrameRate:
      return frameRate_;
    case ProjectDialogField::MovieLength:
      return movieLength_;
    case ProjectDialogField::Red:
      return red_;
    case ProjectDialogField::Green:
      return green_;
    case ProjectDialogField::Blue:
      return blue_;
    case ProjectDialogField::DrawingMethod:
      return nullptr;
  }
  return nullptr;
}

ProjectDialogValues CProjectPropertyDlg::ReadFields() const {
  ProjectDialogValues v;
  v.basePath = ToU16(basePath_->text());
  v.width = ToU16(width_->text());
  v.height = ToU16(height_->text());
  v.frameRate = ToU16(frameRate_->text());
  v.movieLength = ToU16(movieLength_->text());
  v.red = ToU16(red_->text());
  v.green = ToU16(green_->text());
  v.blue = ToU16(blue_->text());
  v.drawingMethod = drawingMethod_->currentIndex();
  return v;
}

void CProjectPropertyDlg::accept() {
  ProjectDialogValues read = ReadFields();
  if (const auto problem = ValidateProjectDialog(read)) {
    RefuseField(this, fieldEdit(problem->field), problem->message);
    return;
  }
  values_ = std::move(read);
  QDialog::accept();
}

void CProjectPropertyDlg::Browse() {
  if (const auto folder = AskFolder(
          this,
          QCoreApplication::translate("ProjectDialog", "ファイルの基準パスを選択してください。"),
          basePath_->text())) {
    basePath_->setText(*folder);
  }
}

bool RunProjectPropertiesDialog(QWidget* parent, ProjectData& project) {
  CProjectPropertyDlg dialog(FillProjectDialog(project), parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (ApplyProjectDialog(project, dialog.values())) ShowMovieLengthLimit(parent);
  return true;
}

}  // namespace tavrona
