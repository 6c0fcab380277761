#include "ui/dialogs/file_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "model/project_data.h"
#include "model/time_text.h"
#include "sources/movie_file.h"
#include "sources/source_cache.h"
#include "sources/text_image.h"
#include "ui/dialogs/field_checks.h"
#include "ui/message_texts.h"
#include "ui/prompts.h"

namespace tavrona {

const std::array<const char*, kFileWeightCount> kFileWeightTexts = {
    QT_TRANSLATE_NOOP("FileDialog", "1（最細）"),
    "2",
    "3",
    QT_TRANSLATE_NOOP("FileDialog", "4（標準）"),
    "5",
    "6",
    "7",
    "8",
    QT_TRANSLATE_NOOP("FileDialog", "9（最太）"),
};

namespace {

// A text marked for the "FileDialog" context (the weight list), in the current language.
QString Text(const char* source) {
  return QCoreApplication::translate("FileDialog", source);
}

uint32_t Channel(std::u16string_view text) {
  return ScanUnsignedText(text).value_or(0) & 0xFF;
}

}  // namespace

FileDialogValues FillFileDialog(const ProjectData& project, int32_t id) {
  FileDialogValues v;
  v.id = DecimalText(id);
  const FileEntry& entry = project.files[static_cast<size_t>(id)];
  uint32_t colour = entry.transparentColour;
  if (entry.kind == FileText) {
    v.textMode = true;
    v.transparent = false;
    colour ^= 0x808080u;
    v.text = entry.text;
    v.font = entry.font;
  } else {
    v.path = std::u16string(PathView(entry.path));
    if (entry.kind == FileMovie && entry.referenceFrameDuration100ns > 0) {
      v.rate = FormatReferenceFrameRate(entry.referenceFrameDuration100ns);
    }
    v.transparent = entry.transparentColour < kNoTransparentColour;
  }
  v.red = DecimalText(colour & 0xFF);
  v.green = DecimalText((colour >> 8) & 0xFF);
  v.blue = DecimalText((colour >> 16) & 0xFF);
  v.size = DecimalText(v.font.lfHeight);
  v.weightIndex = WeightIndexForWeight(v.font.lfWeight);
  v.italic = v.font.lfItalic != 0;
  v.underline = v.font.lfUnderline != 0;
  v.strikeOut = v.font.lfStrikeOut != 0;
  return v;
}

int WeightIndexForWeight(int32_t weight) {
  if (weight <= 0) return 3;
  return std::clamp(weight / 100 - 1, 0, kFileWeightCount - 1);
}

int FindPrefix(const QStringList& items, const QString& text) {
  for (int i = 0; i < items.size(); ++i) {
    if (items[i].startsWith(text, Qt::CaseInsensitive)) return i;
  }
  return -1;
}

QStringList LanguageList(const FontCatalogue& catalogue) {
  QStringList list;
  for (const FontCatalogueEntry& entry : catalogue) {
    if (FindPrefix(list, entry.scriptName) < 0) list.append(entry.scriptName);
  }
  std::stable_sort(list.begin(), list.end(), [](const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
  });
  return list;
}

std::vector<int> FontsForScript(const FontCatalogue& catalogue, const QString& script) {
  std::vector<int> fonts;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    if (catalogue[i].scriptName == script) fonts.push_back(static_cast<int>(i));
  }
  return fonts;
}

int FindCatalogueEntry(const FontCatalogue& catalogue, const LOGFONTW& font) {
  const QString face = FaceName(font);
  for (size_t i = 0; i < catalogue.size(); ++i) {
    const LOGFONTW& f = catalogue[i].font;
    if (f.lfCharSet == font.lfCharSet && FaceName(f) == face) return static_cast<int>(i);
  }
  return -1;
}

std::optional<FileDialogProblem> ValidateFileDialog(const FileDialogValues& values) {
  if (auto message = CheckUnsignedField(values.id, 0, kFileCount - 1)) {
    return FileDialogProblem{FileDialogField::Id, std::move(*message)};
  }
  if (values.path.size() > static_cast<size_t>(kFilePathMaxChars)) {
    return FileDialogProblem{FileDialogField::Path, TextTooLongMessage(kFilePathMaxChars)};
  }
  const std::pair<FileDialogField, const std::u16string*> channels[] = {
      {FileDialogField::Red, &values.red},
      {FileDialogField::Green, &values.green},
      {FileDialogField::Blue, &values.blue},
  };
  for (const auto& [field, text] : channels) {
    if (auto message = CheckUnsignedField(*text, 0, 255)) {
      return FileDialogProblem{field, std::move(*message)};
    }
  }
  if (auto message = CheckSignedField(values.size, 0, kMaxFontSize)) {
    return FileDialogProblem{FileDialogField::Size, std::move(*message)};
  }
  return std::nullopt;
}

LOGFONTW BuildDialogFont(const LOGFONTW& base, const FileDialogValues& values) {
  LOGFONTW font = base;
  font.lfHeight = ScanSignedText(values.size).value_or(0);
  font.lfWidth = 0;
  font.lfWeight = std::clamp(values.weightIndex, 0, kFileWeightCount - 1) * 100 + 100;
  font.lfItalic = values.italic ? 1 : 0;
  font.lfUnderline = values.underline ? 1 : 0;
  font.lfStrikeOut = values.strikeOut ? 1 : 0;
  return font;
}

QString FileLoadFailedMessage(const QString& path) {
  return QCoreApplication::translate("FileDialog", "ファイル\"%1\"の読み込みに失敗しました。")
      .arg(path);
}

FileApplyResult ApplyFileDialog(ProjectData& project, int32_t id, const FileDialogValues& values) {
  FileApplyResult result;
  result.id = id;
  const auto newId = ScanUnsignedText(values.id);
  if (newId && static_cast<int32_t>(*newId) != id) {
    switch (ChangeFileId(project, id, static_cast<int32_t>(*newId))) {
      case ChangeIdResult::Swapped:
        result.id = static_cast<int32_t>(*newId);
        break;
      case ChangeIdResult::TargetInUse:
        result.status = FileApplyStatus::IdInUse;
        return result;
      case ChangeIdResult::Unchanged:
      case ChangeIdResult::OutOfRange:  // validation refuses such IDs
        break;
    }
  }
  FileEntry& entry = project.files[static_cast<size_t>(result.id)];

  const int64_t oldDuration = entry.referenceFrameDuration100ns;
  entry.referenceFrameDuration100ns =
      ParseReferenceFrameDuration(values.rate).value_or(oldDuration);
  const uint32_t colour =
      Channel(values.red) | Channel(values.green) << 8 | Channel(values.blue) << 16;

  if (values.textMode) {
    ResetFileEntry(entry);
    if (!MakeTextImage(entry, values.text, colour, values.font)) {
      result.status = FileApplyStatus::TextFailed;
    }
    return result;
  }

  // A slot that holds no file (empty, or a text until now) is opened even when the path and
  // the rate are what they were.
  const bool holdsFile = entry.kind == FileMovie || entry.kind == FileStillImage;
  if (!holdsFile || entry.referenceFrameDuration100ns != oldDuration ||
      PathView(entry.path) != std::u16string_view(values.path)) {
    ResetFileEntry(entry);
    const std::u16string_view base = PathView(project.basePath);
    const std::u16string_view folder = PathView(project.projectFolder);
    const bool opened =
        OpenImageFile(entry, values.path, base) || OpenMovieFile(entry, values.path, base) ||
        OpenImageFile(entry, values.path, folder) || OpenMovieFile(entry, values.path, folder);
    if (!opened) {
      result.status = FileApplyStatus::LoadFailed;
      return result;
    }
  }
  entry.transparentColour = values.transparent ? colour : kOpenedTransparentColour;
  return result;
}

CFilePropertyDlg::CFilePropertyDlg(const FileDialogValues& values, const FontCatalogue& catalogue,
                                   QWidget* parent)
    : QDialog(parent), values_(values), catalogue_(catalogue) {
  setWindowTitle(QCoreApplication::translate("FileDialog", "ファイルのプロパティ"));
  auto edit = [this](const std::u16string& text) { return new QLineEdit(ToQString(text), this); };
  auto check = [this](const QString& label, bool on) {
    auto* box = new QCheckBox(label, this);
    NameAfterLabel(box, label);
    box->setChecked(on);
    return box;
  };
  id_ = edit(values.id);
  textMode_ = check(QCoreApplication::translate("FileDialog", "ファイルではなくテキストを使用する"),
                    values.textMode);
  path_ = edit(values.path);
  browse_ = new QPushButton(QCoreApplication::translate("FileDialog", "参照"), this);
  NameAfterLabel(browse_, browse_->text());
  rate_ = edit(values.rate);
  transparent_ =
      check(QCoreApplication::translate("FileDialog", "透明色を使用"), values.transparent);
  red_ = edit(values.red);
  green_ = edit(values.green);
  blue_ = edit(values.blue);
  NameAfterLabel(red_, QCoreApplication::translate("FileDialog", "赤"));
  NameAfterLabel(green_, QCoreApplication::translate("FileDialog", "緑"));
  NameAfterLabel(blue_, QCoreApplication::translate("FileDialog", "青"));
  text_ = new QPlainTextEdit(ToQString(values.text), this);
  language_ = new QComboBox(this);
  fontName_ = new QComboBox(this);
  size_ = edit(values.size);
  weight_ = new QComboBox(this);
  for (const char* text : kFileWeightTexts) weight_->addItem(Text(text));
  weight_->setCurrentIndex(std::clamp(values.weightIndex, 0, kFileWeightCount - 1));
  italic_ = check(QCoreApplication::translate("FileDialog", "斜体"), values.italic);
  underline_ = check(QCoreApplication::translate("FileDialog", "下線"), values.underline);
  strikeOut_ = check(QCoreApplication::translate("FileDialog", "取消"), values.strikeOut);

  // The lists: the slot's font is looked up in the catalogue and its script and name chosen.
  const QStringList languages = LanguageList(catalogue_);
  language_->addItems(languages);
  const int entry = FindCatalogueEntry(catalogue_, values.font);
  int languageIndex = entry >= 0 ? FindPrefix(languages, catalogue_[entry].scriptName) : -1;
  if (languageIndex < 0 && !languages.isEmpty()) languageIndex = 0;
  language_->setCurrentIndex(languageIndex);
  FillFontList(language_->currentText(), entry >= 0 ? catalogue_[entry].fullName : QString());
  connect(language_, &QComboBox::activated, this,
          [this] { FillFontList(language_->currentText(), QString()); });

  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(path_, 1);
  pathRow->addWidget(browse_);
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(red_);
  colourRow->addWidget(green_);
  colourRow->addWidget(blue_);
  auto* styleRow = new QHBoxLayout;
  styleRow->addWidget(italic_);
  styleRow->addWidget(underline_);
  styleRow->addWidget(strikeOut_);

  auto* form = new QFormLayout;
  auto named = [form](const QString& label, QWidget* field) {
    NameAfterLabel(field, label);
    form->addRow(label, field);
  };
  named(QCoreApplication::translate("FileDialog", "ファイルID"), id_);
  form->addRow(textMode_);
  const QString pathLabel = QCoreApplication::translate("FileDialog", "使用するファイルのパス");
  NameAfterLabel(path_, pathLabel);
  form->addRow(pathLabel, pathRow);
  named(QCoreApplication::translate("FileDialog", "動画ファイルのフレームレートの参考値"), rate_);
  form->addRow(transparent_);
  form->addRow(QCoreApplication::translate("FileDialog", "色(RGB)"), colourRow);
  named(QCoreApplication::translate("FileDialog", "表示するテキスト"), text_);
  named(QCoreApplication::translate("FileDialog", "言語"), language_);
  named(QCoreApplication::translate("FileDialog", "フォント名"), fontName_);
  named(QCoreApplication::translate("FileDialog", "サイズ"), size_);
  named(QCoreApplication::translate("FileDialog", "太さ"), weight_);
  form->addRow(styleRow);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  NameButtons(*buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CFilePropertyDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CFilePropertyDlg::reject);
  connect(browse_, &QPushButton::clicked, this, &CFilePropertyDlg::Browse);
  connect(textMode_, &QCheckBox::toggled, this, &CFilePropertyDlg::UpdateEnabling);
  connect(transparent_, &QCheckBox::toggled, this, &CFilePropertyDlg::UpdateEnabling);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  UpdateEnabling();
}

void CFilePropertyDlg::FillFontList(const QString& script, const QString& select) {
  fontName_->clear();
  QStringList names;
  for (int index : FontsForScript(catalogue_, script)) {
    names.append(catalogue_[static_cast<size_t>(index)].fullName);
    fontName_->addItem(names.back(), index);
  }
  const int found = select.isEmpty() ? -1 : FindPrefix(names, select);
  fontName_->setCurrentIndex(found >= 0 ? found : (names.isEmpty() ? -1 : 0));
}

void CFilePropertyDlg::UpdateEnabling() {
  const bool text = textMode_->isChecked();
  path_->setEnabled(!text);
  rate_->setEnabled(!text);
  transparent_->setEnabled(!text);
  const bool colour = text || transparent_->isChecked();
  for (QLineEdit* e : {red_, green_, blue_}) e->setEnabled(colour);
  text_->setEnabled(text);
  for (QWidget* w : std::initializer_list<QWidget*>{size_, italic_, underline_, strikeOut_,
                                                    language_, fontName_, weight_}) {
    w->setEnabled(text);
  }
}

QLineEdit* CFilePropertyDlg::fieldEdit(FileDialogField field) const {
  switch (field) {
    case FileDialogField::Id:
      return id_;
    case FileDialogField::Path:
      return path_;
    case FileDialogField::Red:
      return red_;
    case FileDialogField::Green:
      return green_;
    case FileDialogField::Blue:
      return blue_;
    case FileDialogField::Size:
      return size_;
  }
  return nullptr;
}

FileDialogValues CFilePropertyDlg::ReadFields() const {
  FileDialogValues v = values_;
  v.id = ToU16(id_->text());
  v.textMode = textMode_->isChecked();
  v.path = ToU16(path_->text());
  v.rate = ToU16(rate_->text());
  v.transparent = transparent_->isChecked();
  v.red = ToU16(red_->text());
  v.green = ToU16(green_->text());
  v.blue = ToU16(blue_->text());
  v.text = ToU16(text_->toPlainText());
  v.size = ToU16(size_->text());
  v.weightIndex = weight_->currentIndex();
  v.italic = italic_->isChecked();
  v.underline = underline_->isChecked();
  v.strikeOut = strikeOut_->isChecked();
  return v;
}

void CFilePropertyDlg::accept() {
  FileDialogValues read = ReadFields();
  if (const auto problem = ValidateFileDialog(read)) {
    RefuseField(this, fieldEdit(problem->field), problem->message);
    return;
  }
  const QVariant chosen = fontName_->currentData();
  const LOGFONTW& base = chosen.isValid() ? catalogue_[chosen.toULongLong()].font : read.font;
  read.font = BuildDialogFont(base, read);
  values_ = std::move(read);
  QDialog::accept();
}

void CFilePropertyDlg::Browse() {
  if (const auto file = AskOpenFileName(
          this, QString(), path_->text(),
          QCoreApplication::translate("FileDialog", "読み込み可能なファイル (*.*)"))) {
    path_->setText(*file);
  }
}

std::optional<FileApplyResult> RunFilePropertiesDialog(QWidget* parent, ProjectData& project,
                                                       int32_t id, const FontCatalogue& catalogue) {
  CFilePropertyDlg dialog(FillFileDialog(project, id), catalogue, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const FileDialogValues& values = dialog.values();
  const FileApplyResult result = ApplyFileDialog(project, id, values);
  switch (result.status) {
    case FileApplyStatus::Applied:
      break;
    case FileApplyStatus::IdInUse:
      ShowError(parent, MessageText(MessageCode::IdInUse));
      break;
    case FileApplyStatus::TextFailed:
      ShowError(parent,
                QCoreApplication::translate("FileDialog", "テキストの作成に失敗しました。"));
      break;
    case FileApplyStatus::LoadFailed:
      ShowError(parent, FileLoadFailedMessage(ToQString(values.path)));
      break;
  }
  return result;
}

}  // namespace tavrona
