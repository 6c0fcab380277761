// The dialogs in English and in Japanese: every text a user reads or hears, the validation
// messages, the accessible names, the tab order and labels that are not clipped.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cjk_text.h"
#include "export/avi_writer.h"
#include "export/export_job.h"
#include "export/project_export.h"
#include "model/event_record.h"
#include "model/project_data.h"
#include "qt_printers.h"
#include "ui/dialogs/compressor_dialog.h"
#include "ui/dialogs/event_dialog.h"
#include "ui/dialogs/export_command.h"
#include "ui/dialogs/field_checks.h"
#include "ui/dialogs/file_dialog.h"
#include "ui/dialogs/progress_dialog.h"
#include "ui/dialogs/project_dialog.h"
#include "ui/dialogs/track_sound_dialog.h"
#include "ui/language.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

using testing::HasCjk;

// What a dialog shows or speaks, each with where it comes from; the widgets in `data` hold the
// user's data (their items are not the program's texts) and are left out.
struct ShownText {
  QString where;
  QString text;
};

std::vector<ShownText> ShownTexts(QWidget& dialog, const std::set<const QWidget*>& data = {}) {
  std::vector<ShownText> texts{{QStringLiteral("window title"), dialog.windowTitle()}};
  for (QWidget* w : dialog.findChildren<QWidget*>()) {
    const QString name = QString::fromLatin1(w->metaObject()->className());
    if (!w->accessibleName().isEmpty()) texts.push_back({name + " name", w->accessibleName()});
    if (auto* label = qobject_cast<QLabel*>(w)) texts.push_back({name, label->text()});
    if (auto* button = qobject_cast<QAbstractButton*>(w)) texts.push_back({name, button->text()});
    if (auto* group = qobject_cast<QGroupBox*>(w)) texts.push_back({name, group->title()});
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      texts.push_back({name + " placeholder", edit->placeholderText()});
    }
    if (auto* combo = qobject_cast<QComboBox*>(w); combo != nullptr && !data.count(combo)) {
      for (int i = 0; i < combo->count(); ++i)
        texts.push_back({name + " item", combo->itemText(i)});
    }
  }
  return texts;
}

// The widgets a user fills in or presses.
std::vector<QWidget*> InputWidgets(QWidget& dialog) {
  std::vector<QWidget*> inputs;
  for (QWidget* w : dialog.findChildren<QWidget*>()) {
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
        qobject_cast<QAbstractButton*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
        qobject_cast<QListWidget*>(w) || qobject_cast<QProgressBar*>(w)) {
      // A combo box's own line edit or list belongs to the combo box.
      if (qobject_cast<QComboBox*>(w->parentWidget()) == nullptr) inputs.push_back(w);
    }
  }
  return inputs;
}

// The widgets Tab visits, from the first, in the dialog's focus chain.
std::vector<QWidget*> TabChain(QWidget& dialog) {
  std::vector<QWidget*> chain;
  for (QWidget* w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
    if (w->isVisibleTo(&dialog) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) {
      chain.push_back(w);
    }
  }
  return chain;
}

// Tab goes down the rows, and within a row from left to right: each widget starts lower than
// the previous one's middle, or level with it and to its right.
void ExpectReadingOrder(QWidget& dialog) {
  const std::vector<QWidget*> chain = TabChain(dialog);
  ASSERT_GE(chain.size(), 2u);
  for (size_t i = 1; i < chain.size(); ++i) {
    const QRect a(chain[i - 1]->mapTo(&dialog, QPoint()), chain[i - 1]->size());
    const QRect b(chain[i]->mapTo(&dialog, QPoint()), chain[i]->size());
    const bool below = b.top() > a.center().y();
    const bool rightOnSameRow =
        b.top() <= a.center().y() && b.bottom() >= a.center().y() && b.left() > a.left();
    EXPECT_TRUE(below || rightOnSameRow)
        << "Tab goes from " << chain[i - 1]->accessibleName().toStdString() << " at (" << a.x()
        << "," << a.y() << ") to " << chain[i]->accessibleName().toStdString() << " at (" << b.x()
        << "," << b.y() << ")";
  }
}

void ExpectNothingClipped(QWidget& dialog) {
  for (QWidget* w : dialog.findChildren<QWidget*>()) {
    if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w)) continue;
    if (!w->isVisibleTo(&dialog)) continue;
    EXPECT_GE(w->width(), w->sizeHint().width())
        << w->metaObject()->className() << " \"" << w->accessibleName().toStdString()
        << "\" is clipped in " << dialog.windowTitle().toStdString();
  }
}

void ExpectEnglish(QWidget& dialog, const std::set<const QWidget*>& data = {}) {
  for (const ShownText& shown : ShownTexts(dialog, data)) {
    EXPECT_FALSE(HasCjk(shown.text))
        << shown.where.toStdString() << ": " << shown.text.toStdString();
  }
  for (QWidget* input : InputWidgets(dialog)) {
    EXPECT_FALSE(input->accessibleName().isEmpty())
        << input->metaObject()->className() << " in " << dialog.windowTitle().toStdString();
  }
  dialog.adjustSize();
  dialog.show();
  ExpectNothingClipped(dialog);
  ExpectReadingOrder(dialog);
  dialog.hide();
}

bool Shows(QWidget& dialog, const QString& text) {
  for (const ShownText& shown : ShownTexts(dialog)) {
    if (shown.text == text) return true;
  }
  return false;
}

std::vector<AviCompressor> SomeCompressors() {
  return {{"raw", u"Full frames", 0}, {"mjpeg", u"Motion JPEG", 0}};
}

FontCatalogue SomeFonts() {
  FontCatalogueEntry latin;
  latin.fullName = QStringLiteral("Sans");
  latin.scriptName = QStringLiteral("Latin");
  return {latin};
}

class DialogLanguage : public ::testing::Test {
 protected:
  void SetUp() override {
    project_ = AllocateProjectData();
    ASSERT_TRUE(project_);
    ApplyNewProjectReset(*project_);
    project_->files[3].kind = FileStillImage;
    event_.flags = EventInUse | EventBaseTransform;
    event_.fileId = 3;
    SetPromptHookForTests([this](Prompt& prompt) {
      prompts_.push_back(prompt.text);
      seen_.push_back(prompt);
      return PromptAnswer::Cancel;  // choosers: nothing chosen
    });
  }
  void TearDown() override {
    SetPromptHookForTests(nullptr);
    ApplyLanguage(Language::Japanese);
  }

  void English() { ASSERT_TRUE(ApplyLanguage(Language::English)); }

  // The message the dialog refused its OK with after field got text.
  QString RefusalFor(QDialog& dialog, QLineEdit* field, const QString& text) {
    prompts_.clear();
    field->setText(text);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(prompts_.size(), 1u);
    return prompts_.empty() ? QString() : prompts_.back();
  }

  std::unique_ptr<ProjectData> project_;
  EventRecord event_{};
  std::vector<QString> prompts_;
  std::vector<Prompt> seen_;
};

TEST_F(DialogLanguage, EveryDialogIsEnglishNamedInOrderAndUnclipped) {
  English();
  {
    CEventPropertyDlg dialog(FillEventDialog(*project_, event_, true), {});
    EXPECT_EQ(dialog.windowTitle(), "Event Properties");
    EXPECT_EQ(dialog.blendModeList()->itemText(4), "Multiply");
    EXPECT_EQ(dialog.drawingMethodList()->itemText(0), "Project default");
    EXPECT_EQ(dialog.fieldEdit(EventDialogField::RegionBottom)->accessibleName(), "Region bottom");
    EXPECT_EQ(dialog.matrixEdit(5)->accessibleName(), "Transformation matrix row 2, column 3");
    ExpectEnglish(dialog);
  }
  {
    CEventPropertyDlg several(FillEventDialogForSeveral(), {});
    ExpectEnglish(several);
  }
  {
    // A Japanese text and path are the user's: they stay as typed, the rest is English.
    FileDialogValues values = FillFileDialog(*project_, 3);
    values.path = u"素材/画像.png";
    values.text = u"字幕";
    CFilePropertyDlg dialog(values, SomeFonts());
    EXPECT_EQ(dialog.windowTitle(), "File Properties");
    EXPECT_EQ(dialog.weightList()->itemText(0), "1 (thinnest)");
    EXPECT_EQ(dialog.browseButton()->text(), "Browse...");
    EXPECT_EQ(dialog.fieldEdit(FileDialogField::Path)->text(), "素材/画像.png");
    ExpectEnglish(dialog, {dialog.languageList(), dialog.fontList()});
  }
  {
    CProjectPropertyDlg dialog(FillProjectDialog(*project_));
    EXPECT_EQ(dialog.windowTitle(), "Project Properties");
    EXPECT_EQ(dialog.drawingMethodList()->itemText(0), "System default (INI file)");
    ExpectEnglish(dialog);
  }
  {
    TrackSoundDialog dialog(7, TrackSound{-3.0f, true});
    EXPECT_EQ(dialog.windowTitle(), "Sound of Track 007");
    EXPECT_EQ(dialog.muteBox()->text(), "&Mute");
    EXPECT_EQ(dialog.volumeEdit()->accessibleName(), "Volume (dB)");
    ExpectEnglish(dialog);
  }
  {
    CompressorDialog dialog(SomeCompressors());
    EXPECT_EQ(dialog.windowTitle(), "Video Compression");
    EXPECT_TRUE(Shows(dialog, "&Compressor:"));
    EXPECT_TRUE(Shows(dialog, "Compressor"));  // the list's name, without "&" and ":"
    ExpectEnglish(dialog);
  }
  {
    // With sound: the sound codecs and the choice of none.
    CompressorDialog dialog(SomeCompressors(), nullptr, ListSoundCodecs(OutputContainer::Mov));
    EXPECT_TRUE(Shows(dialog, "&Sound:"));
    EXPECT_EQ(dialog.soundList()->itemText(0), "16-bit PCM (uncompressed)");
    EXPECT_EQ(dialog.soundList()->itemText(2), "None (no sound)");
    ExpectEnglish(dialog);
  }
  {
    // Not shown: showing starts the export.
    CProgressDlg dialog(*project_, ProjectComposer(nullptr), nullptr);
    EXPECT_EQ(dialog.windowTitle(), "AVI Export Progress");
    EXPECT_EQ(dialog.AbortButton()->text(), "Abort");
    for (const ShownText& shown : ShownTexts(dialog)) {
      EXPECT_FALSE(HasCjk(shown.text)) << shown.where.toStdString();
    }
    for (QWidget* input : InputWidgets(dialog)) EXPECT_FALSE(input->accessibleName().isEmpty());
    dialog.adjustSize();
    for (QCheckBox* box :
         {dialog.ShowImageBox(), dialog.TimeoutIsErrorBox(), dialog.StopOnEventErrorBox()}) {
      EXPECT_GE(box->width(), box->sizeHint().width()) << box->text().toStdString();
    }
  }
}

TEST_F(DialogLanguage, JapaneseTextsAreTodaysAndNamedToo) {
  {
    CEventPropertyDlg dialog(FillEventDialog(*project_, event_, true), {});
    EXPECT_EQ(dialog.windowTitle(), "イベントのプロパティ");
    EXPECT_TRUE(Shows(dialog, "開始位置"));
    EXPECT_TRUE(Shows(dialog, "不透明度と色(ARGB)"));
    EXPECT_TRUE(Shows(dialog, "キャンセル"));
    EXPECT_EQ(dialog.interpolateBox()->text(), "次のイベントとの間を補間する");
    EXPECT_EQ(dialog.blendModeList()->itemText(3), "排他論理和");
    EXPECT_EQ(dialog.drawingMethodList()->itemText(1), "通常（初期バージョン）");
    EXPECT_EQ(dialog.fieldEdit(EventDialogField::Opacity)->accessibleName(), "不透明度");
    for (QWidget* input : InputWidgets(dialog)) EXPECT_FALSE(input->accessibleName().isEmpty());
  }
  {
    CFilePropertyDlg dialog(FillFileDialog(*project_, 3), SomeFonts());
    EXPECT_EQ(dialog.windowTitle(), "ファイルのプロパティ");
    EXPECT_EQ(dialog.weightList()->itemText(8), "9（最太）");
    EXPECT_EQ(dialog.strikeOutBox()->text(), "取消");
    EXPECT_TRUE(Shows(dialog, "動画ファイルのフレームレートの参考値"));
  }
  {
    CProjectPropertyDlg dialog(FillProjectDialog(*project_));
    EXPECT_EQ(dialog.drawingMethodList()->itemText(0), "システムの既定（INIファイル）");
    EXPECT_TRUE(Shows(dialog, "背景色(RGB)"));
    EXPECT_EQ(dialog.browseButton()->text(), "参照");
  }
  {
    TrackSoundDialog dialog(7, TrackSound{});
    EXPECT_EQ(dialog.windowTitle(), "トラック 007 の音声");
    EXPECT_TRUE(Shows(dialog, "音量 (dB)(&V):"));
    EXPECT_EQ(dialog.volumeEdit()->accessibleName(), "音量 (dB)");
    EXPECT_EQ(dialog.muteBox()->text(), "ミュート(&M)");
  }
  {
    CompressorDialog dialog(SomeCompressors());
    EXPECT_EQ(dialog.windowTitle(), "ビデオの圧縮");
    EXPECT_TRUE(Shows(dialog, "圧縮プログラム(&C):"));
    EXPECT_TRUE(Shows(dialog, "圧縮プログラム"));
  }
  {
    CProgressDlg dialog(*project_, ProjectComposer(nullptr), nullptr);
    EXPECT_EQ(dialog.windowTitle(), "AVIファイル作成状況");
    EXPECT_EQ(dialog.StopOnEventErrorBox()->text(),
              "イベント描画時にエラーが発生した場合は中断する");
  }
}

TEST_F(DialogLanguage, RefusedFieldsAreExplainedInTheCurrentLanguage) {
  English();
  {
    TrackSoundDialog dialog(0, TrackSound{});
    EXPECT_EQ(RefusalFor(dialog, dialog.volumeEdit(), "20"), "Enter a number from -60 to 12.");
  }
  {
    CEventPropertyDlg dialog(FillEventDialog(*project_, event_, true), {});
    EXPECT_EQ(RefusalFor(dialog, dialog.fieldEdit(EventDialogField::FileId), "5000"),
              QString("Enter a whole number from 0 to %1.").arg(kMaxEventFileId));
    dialog.fieldEdit(EventDialogField::FileId)->setText("3");
    EXPECT_EQ(RefusalFor(dialog, dialog.fieldEdit(EventDialogField::Opacity), "0"),
              "Enter a whole number from 1 to 256.");
  }
  {
    CProjectPropertyDlg dialog(FillProjectDialog(*project_));
    EXPECT_EQ(RefusalFor(dialog, dialog.fieldEdit(ProjectDialogField::Width), "wide"),
              "Enter a positive whole number.");
    dialog.fieldEdit(ProjectDialogField::Width)->setText("640");
    EXPECT_EQ(RefusalFor(dialog, dialog.fieldEdit(ProjectDialogField::FrameRate), "x"),
              "Enter a number.");
  }
  {
    CFilePropertyDlg dialog(FillFileDialog(*project_, 3), SomeFonts());
    EXPECT_EQ(RefusalFor(dialog, dialog.fieldEdit(FileDialogField::Size), "big"),
              "Enter a whole number.");
    dialog.fieldEdit(FileDialogField::Size)->setText("12");
    EXPECT_EQ(RefusalFor(dialog, dialog.fieldEdit(FileDialogField::Path),
                         QString(kFilePathMaxChars + 1, QLatin1Char('a'))),
              QString("Enter no more than %1 characters.").arg(kFilePathMaxChars));
  }
  EXPECT_EQ(ToQString(RealRangeMessage(0.5, 120)), "Enter a number from 0.5 to 120.");
  EXPECT_EQ(FileLoadFailedMessage("a.bmp"), "Could not load the file \"a.bmp\".");
  ExportJobState job;
  job.framesWithFailedEvents = 2;
  job.failedFiles.set(7);
  EXPECT_EQ(FailedMovieFramesText(job), "Could not get the movie image in 2 frames (IDs: 0007).");

  // Back in Japanese, the same refusal reads as it always did.
  ASSERT_TRUE(ApplyLanguage(Language::Japanese));
  CProjectPropertyDlg dialog(FillProjectDialog(*project_));
  EXPECT_EQ(RefusalFor(dialog, dialog.fieldEdit(ProjectDialogField::Red), "300"),
            "0 から 255 までの整数を入力してください。");
}

TEST_F(DialogLanguage, ChoosersAreTitledInTheCurrentLanguage) {
  English();
  EXPECT_EQ(
      RunExportCommand(nullptr, *project_, nullptr, nullptr,
                       [](QWidget*, const ExportOffer&) { return std::optional<std::string>(); }),
      ExportCommandResult::NoFileName);
  {
    CProjectPropertyDlg dialog(FillProjectDialog(*project_));
    dialog.browseButton()->click();
  }
  {
    CFilePropertyDlg dialog(FillFileDialog(*project_, 3), SomeFonts());
    dialog.browseButton()->click();
  }
  ASSERT_EQ(seen_.size(), 3u);
  EXPECT_EQ(seen_[0].kind, PromptKind::SaveFile);
  EXPECT_EQ(seen_[0].caption, "Save As");
  EXPECT_EQ(seen_[0].filter,
            "AVI Files (*.avi);;MP4 Files (*.mp4 *.m4v);;Matroska Files (*.mkv);;QuickTime Files "
            "(*.mov)");
  EXPECT_EQ(seen_[1].kind, PromptKind::Folder);
  EXPECT_EQ(seen_[1].caption, "Choose the base path for files.");
  EXPECT_EQ(seen_[2].kind, PromptKind::OpenFile);
  EXPECT_EQ(seen_[2].filter, "Readable files (*.*)");
}

TEST(SpokenLabel, DropsTheMnemonicAndTheColon) {
  EXPECT_EQ(SpokenLabel("&Compressor:"), "Compressor");
  EXPECT_EQ(SpokenLabel("圧縮プログラム(&C):"), "圧縮プログラム");
  EXPECT_EQ(SpokenLabel("Save && Close"), "Save & Close");
  EXPECT_EQ(SpokenLabel("File ID"), "File ID");
  EXPECT_EQ(SpokenLabel("Trailing &"), "Trailing");
  EXPECT_EQ(SpokenLabel(""), "");
}

}  // namespace
}  // namespace tavrona
