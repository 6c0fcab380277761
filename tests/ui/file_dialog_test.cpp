#include "ui/dialogs/file_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bmp_builder.h"
#include "model/project_data.h"
#include "qt_printers.h"
#include "sources/movie_file.h"
#include "sources/source_cache.h"
#include "sources/text_image.h"
#include "test_movies.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

using Field = FileDialogField;

std::u16string U16(const std::filesystem::path& path) {
  return path.u16string();
}

LOGFONTW Face(const char16_t* face, uint8_t charSet) {
  LOGFONTW font{};
  std::u16string_view name(face);
  std::copy(name.begin(), name.end(), font.lfFaceName);
  font.lfCharSet = charSet;
  return font;
}

FontCatalogueEntry Entry(const char16_t* face, uint8_t charSet, const char* script) {
  FontCatalogueEntry entry;
  entry.font = Face(face, charSet);
  entry.font.lfWeight = 400;
  entry.fullName = QString::fromUtf16(face);
  entry.scriptName = QString::fromLatin1(script);
  return entry;
}

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_ = AllocateProjectData();
    ASSERT_TRUE(project_);
    ApplyNewProjectReset(*project_);
    testing::BmpRecipe recipe;
    recipe.width = 3;
    recipe.height = 2;
    recipe.rows = {{0xFF0000, 0x00FF00, 0x0000FF}, {0x000000, 0xFFFFFF, 0x808080}};
    testing::WriteFile(folder_.Path() / "pic.bmp", testing::BuildBmp(recipe));
    recipe.width = 5;
    recipe.rows = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}};
    testing::WriteFile(folder_.Path() / "other.bmp", testing::BuildBmp(recipe));
    SetPromptHookForTests([this](Prompt& prompt) {
      prompts_.push_back(prompt.text);
      return PromptAnswer::Ok;
    });
  }
  void TearDown() override { SetPromptHookForTests(nullptr); }

  FileEntry& Slot(int id) { return project_->files[static_cast<size_t>(id)]; }
  void OpenPicture(int id, const char* name) {
    ASSERT_TRUE(OpenImageFile(Slot(id), U16(folder_.Path() / name), u"", {}));
  }

  testing::TempFolder folder_;
  std::unique_ptr<ProjectData> project_;
  std::vector<QString> prompts_;
  const FontCatalogue catalogue_ = {Entry(u"Serif", 0, "Latin"), Entry(u"Mincho", 128, "Japanese"),
                                    Entry(u"Gothic", 128, "Japanese"),
                                    Entry(u"Greek Sans", 161, "Greek")};
};

TEST_F(FileDialogTest, FillsATextSlotWithItsTextColourAndAFileSlotWithItsTransparentColour) {
  LOGFONTW font = Face(u"Gothic", 128);
  font.lfHeight = 30;
  font.lfWeight = 700;
  font.lfUnderline = 1;
  ASSERT_TRUE(MakeTextImage(Slot(4), u"line", 0x123456, font, TextEdgesAsDrawn));
  FileDialogValues text = FillFileDialog(*project_, 4);
  EXPECT_EQ(text.id, u"4");
  EXPECT_TRUE(text.textMode);
  EXPECT_FALSE(text.transparent);
  EXPECT_EQ(text.red, u"86");  // 0x56: the key colour moved back by half
  EXPECT_EQ(text.green, u"52");
  EXPECT_EQ(text.blue, u"18");
  EXPECT_EQ(text.text, u"line");
  EXPECT_EQ(text.size, u"30");
  EXPECT_EQ(text.weightIndex, 6);
  EXPECT_TRUE(text.underline);
  EXPECT_FALSE(text.italic);

  OpenPicture(9, "pic.bmp");
  Slot(9).transparentColour = 0x00030201;
  FileDialogValues file = FillFileDialog(*project_, 9);
  EXPECT_FALSE(file.textMode);
  EXPECT_TRUE(file.transparent);
  EXPECT_EQ(file.path, U16(folder_.Path() / "pic.bmp"));
  EXPECT_EQ(file.red + u"," + file.green + u"," + file.blue, u"1,2,3");
  EXPECT_EQ(file.rate, u"");  // only a movie shows a rate
  EXPECT_EQ(file.size, u"0");
  EXPECT_EQ(file.weightIndex, 3);  // a zero font: normal weight
  Slot(9).transparentColour = 0xFF000000;
  EXPECT_FALSE(FillFileDialog(*project_, 9).transparent);
}

TEST_F(FileDialogTest, WeightIndexStaysInsideTheList) {
  EXPECT_EQ(WeightIndexForWeight(0), 3);
  EXPECT_EQ(WeightIndexForWeight(-5), 3);
  EXPECT_EQ(WeightIndexForWeight(100), 0);
  EXPECT_EQ(WeightIndexForWeight(400), 3);
  EXPECT_EQ(WeightIndexForWeight(950), 8);
  EXPECT_EQ(WeightIndexForWeight(50), 0);    // would be -1
  EXPECT_EQ(WeightIndexForWeight(1000), 8);  // would be 9
}

TEST_F(FileDialogTest, ValidationNamesTheFirstBadFieldWithTheFrameworkTexts) {
  FileDialogValues v = FillFileDialog(*project_, 0);
  EXPECT_FALSE(ValidateFileDialog(v));
  auto expect = [&](FileDialogValues changed, Field field, const std::u16string& message) {
    const auto problem = ValidateFileDialog(changed);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, field);
    EXPECT_EQ(ToQString(problem->message), ToQString(message));
  };
  FileDialogValues c = v;
  c.id = u"1024";
  expect(c, Field::Id, u"0 から 1023 までの整数を入力してください。");
  c.id = u"abc";
  expect(c, Field::Id, u"正の整数を入力してください。");
  c = v;
  c.path = std::u16string(260, u'a');
  expect(c, Field::Path, u"259 文字以内で入力してください。");
  c.path = std::u16string(259, u'a');
  EXPECT_FALSE(ValidateFileDialog(c));
  c = v;
  c.green = u"256";
  expect(c, Field::Green, u"0 から 255 までの整数を入力してください。");
  c = v;
  c.size = u"-1";
  expect(c, Field::Size, u"0 から 1024 までの整数を入力してください。");
  c.size = u"x";
  expect(c, Field::Size, u"整数を入力してください。");
  c.size = u"1024";
  EXPECT_FALSE(ValidateFileDialog(c));
}

TEST_F(FileDialogTest, ChangingToAUsedIdAppliesNothingAndToAFreeIdMovesTheSlot) {
  OpenPicture(2, "pic.bmp");
  OpenPicture(5, "other.bmp");
  FileDialogValues v = FillFileDialog(*project_, 2);
  v.id = u"5";
  v.transparent = true;
  v.red = u"9";
  v.rate = u"25";
  const FileApplyResult refused = ApplyFileDialog(*project_, 2, v);
  EXPECT_EQ(refused.status, FileApplyStatus::IdInUse);
  EXPECT_EQ(Slot(2).picture.Width(), 3);
  EXPECT_EQ(Slot(2).transparentColour, 0xFF000000u);
  EXPECT_EQ(Slot(2).referenceFrameDuration100ns, 0);
  EXPECT_EQ(Slot(5).picture.Width(), 5);

  v.id = u"700";
  const FileApplyResult moved = ApplyFileDialog(*project_, 2, v);
  EXPECT_EQ(moved.status, FileApplyStatus::Applied);
  EXPECT_EQ(moved.id, 700);
  EXPECT_EQ(Slot(2).kind, FileEmpty);
  EXPECT_EQ(Slot(700).kind, FileStillImage);
  EXPECT_EQ(Slot(700).picture.Width(), 3);
  EXPECT_EQ(Slot(700).transparentColour, 9u);
  EXPECT_EQ(Slot(700).referenceFrameDuration100ns, 400000);

  // Its own ID is no change.
  v = FillFileDialog(*project_, 700);
  EXPECT_EQ(ApplyFileDialog(*project_, 700, v).id, 700);
  EXPECT_EQ(Slot(700).kind, FileStillImage);
}

TEST_F(FileDialogTest, OnlyAChangedPathOrRateReopensAMovie) {
  const auto movie = testing::TestMoviePath(testing::Ffv1Avi30());
  ASSERT_FALSE(movie.empty());
  ASSERT_TRUE(OpenMovieFile(Slot(1), U16(movie), u""));
  const MovieSource* before = Slot(1).movie.get();

  FileDialogValues v = FillFileDialog(*project_, 1);
  v.transparent = true;
  v.red = u"255";
  ASSERT_EQ(ApplyFileDialog(*project_, 1, v).status, FileApplyStatus::Applied);
  EXPECT_EQ(Slot(1).movie.get(), before);  // not reopened
  EXPECT_EQ(Slot(1).transparentColour, 0x0000FFu);

  v.rate = u"15";
  ASSERT_EQ(ApplyFileDialog(*project_, 1, v).status, FileApplyStatus::Applied);
  EXPECT_NE(Slot(1).movie.get(), nullptr);
  EXPECT_EQ(Slot(1).referenceFrameDuration100ns, 666667);
  EXPECT_EQ(MovieFrameDuration100ns(Slot(1)), 666667);  // reopened with the new rate
  EXPECT_EQ(FillFileDialog(*project_, 1).rate, u"15");
  v.transparent = false;
  ASSERT_EQ(ApplyFileDialog(*project_, 1, v).status, FileApplyStatus::Applied);
  EXPECT_EQ(Slot(1).transparentColour, 0xFF000000u);
}

TEST_F(FileDialogTest, APathOpensAgainstTheBasePathThenTheProjectFolder) {
  const std::u16string folder = U16(folder_.Path());
  FileDialogValues v = FillFileDialog(*project_, 3);
  // A relative path ("\\name") found only under the project folder.
  ASSERT_TRUE(SetPath(project_->projectFolder, folder));
  ASSERT_TRUE(SetPath(project_->basePath, u"/nowhere"));
  v.path = u"\\pic.bmp";
  ASSERT_EQ(ApplyFileDialog(*project_, 3, v).status, FileApplyStatus::Applied);
  EXPECT_EQ(Slot(3).kind, FileStillImage);
  EXPECT_EQ(PathView(Slot(3).path), u"\\pic.bmp");

  // Under the base path it is found first.
  ASSERT_TRUE(SetPath(project_->basePath, folder));
  v.path = u"\\other.bmp";
  ASSERT_EQ(ApplyFileDialog(*project_, 3, v).status, FileApplyStatus::Applied);
  EXPECT_EQ(Slot(3).picture.Width(), 5);

  // A path that opens nowhere leaves the slot empty.
  v.path = u"\\missing.bmp";
  EXPECT_EQ(ApplyFileDialog(*project_, 3, v).status, FileApplyStatus::LoadFailed);
  EXPECT_EQ(Slot(3).kind, FileEmpty);
  EXPECT_EQ(FileLoadFailedMessage("\\missing.bmp"),
            QStringLiteral("ファイル\"\\missing.bmp\"の読み込みに失敗しました。"));
}

TEST_F(FileDialogTest, TextModeRemakesTheTextAndAFailedTextLeavesTheSlotEmpty) {
  OpenPicture(6, "pic.bmp");
  FileDialogValues v = FillFileDialog(*project_, 6);
  v.textMode = true;
  v.text = u"Hello";
  v.red = u"0";
  v.green = u"0";
  v.blue = u"255";
  v.size = u"20";
  v.font = BuildDialogFont(Face(u"", 0), v);
  ASSERT_EQ(ApplyFileDialog(*project_, 6, v).status, FileApplyStatus::Applied);
  EXPECT_EQ(Slot(6).kind, FileText);
  EXPECT_EQ(Slot(6).text, u"Hello");
  EXPECT_EQ(Slot(6).transparentColour, TextKeyColour(0xFF0000));
  EXPECT_EQ(Slot(6).font.lfHeight, 20);

  // Back to a file with the path the text slot never had: it is opened.
  v.textMode = false;
  v.path = U16(folder_.Path() / "pic.bmp");
  ASSERT_EQ(ApplyFileDialog(*project_, 6, v).status, FileApplyStatus::Applied);
  EXPECT_EQ(Slot(6).kind, FileStillImage);

  v.textMode = true;
  v.font.lfHeight = 5000;  // no such font can be made
  EXPECT_EQ(ApplyFileDialog(*project_, 6, v).status, FileApplyStatus::TextFailed);
  EXPECT_EQ(Slot(6).kind, FileEmpty);
}

TEST_F(FileDialogTest, EnablingFollowsTheTwoCheckBoxes) {
  FileDialogValues values = FillFileDialog(*project_, 0);
  values.transparent = false;
  CFilePropertyDlg dialog(values, catalogue_);
  auto* red = dialog.fieldEdit(Field::Red);
  EXPECT_TRUE(dialog.fieldEdit(Field::Path)->isEnabled());
  EXPECT_TRUE(dialog.rateEdit()->isEnabled());
  EXPECT_TRUE(dialog.transparentBox()->isEnabled());
  EXPECT_FALSE(red->isEnabled());
  EXPECT_FALSE(dialog.textEdit()->isEnabled());
  EXPECT_FALSE(dialog.fontList()->isEnabled());
  EXPECT_FALSE(dialog.fieldEdit(Field::Size)->isEnabled());
  dialog.transparentBox()->setChecked(true);
  EXPECT_TRUE(red->isEnabled());
  dialog.transparentBox()->setChecked(false);
  dialog.textModeBox()->setChecked(true);
  EXPECT_FALSE(dialog.fieldEdit(Field::Path)->isEnabled());
  EXPECT_FALSE(dialog.rateEdit()->isEnabled());
  EXPECT_FALSE(dialog.transparentBox()->isEnabled());
  EXPECT_TRUE(red->isEnabled());
  for (QWidget* w : std::initializer_list<QWidget*>{
           dialog.textEdit(), dialog.languageList(), dialog.fontList(), dialog.weightList(),
           dialog.italicBox(), dialog.underlineBox(), dialog.strikeOutBox(),
           dialog.fieldEdit(Field::Size)}) {
    EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();
  }
  EXPECT_TRUE(dialog.browseButton()->isEnabled());
}

TEST_F(FileDialogTest, ListsStartAtTheSlotsFontAndOkBuildsTheChosenFont) {
  LOGFONTW font = Face(u"Gothic", 128);
  font.lfHeight = 16;
  ASSERT_TRUE(MakeTextImage(Slot(8), u"x", 0, font, TextEdgesAsDrawn));
  CFilePropertyDlg dialog(FillFileDialog(*project_, 8), catalogue_);
  QComboBox* languages = dialog.languageList();
  ASSERT_EQ(languages->count(), 3);
  EXPECT_EQ(languages->itemText(0), "Greek");
  EXPECT_EQ(languages->currentText(), "Japanese");
  EXPECT_EQ(dialog.fontList()->count(), 2);
  EXPECT_EQ(dialog.fontList()->itemText(0), "Mincho");  // catalogue order
  EXPECT_EQ(dialog.fontList()->currentText(), "Gothic");

  // Another language refills the fonts and takes the first.
  languages->setCurrentIndex(0);
  emit languages->activated(0);
  EXPECT_EQ(dialog.fontList()->count(), 1);
  EXPECT_EQ(dialog.fontList()->currentText(), "Greek Sans");

  dialog.fieldEdit(Field::Size)->setText("40");
  dialog.weightList()->setCurrentIndex(8);
  dialog.italicBox()->setChecked(true);
  dialog.accept();
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(prompts_.empty());
  const LOGFONTW& built = dialog.values().font;
  EXPECT_EQ(FaceName(built), "Greek Sans");
  EXPECT_EQ(built.lfCharSet, 161);
  EXPECT_EQ(built.lfHeight, 40);
  EXPECT_EQ(built.lfWeight, 900);
  EXPECT_EQ(built.lfItalic, 1);
  EXPECT_EQ(built.lfUnderline, 0);
}

TEST_F(FileDialogTest, AFontOutsideTheCatalogueSelectsTheFirstItems) {
  CFilePropertyDlg dialog(FillFileDialog(*project_, 0), catalogue_);
  EXPECT_EQ(dialog.languageList()->currentIndex(), 0);
  EXPECT_EQ(dialog.fontList()->currentText(), "Greek Sans");
}

TEST_F(FileDialogTest, OkWithABadFieldWarnsAndStaysOpen) {
  CFilePropertyDlg dialog(FillFileDialog(*project_, 0), catalogue_);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QLineEdit* id = dialog.fieldEdit(Field::Id);
  id->clear();
  QTest::keyClicks(id, "2000");
  dialog.accept();
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0], QStringLiteral("0 から 1023 までの整数を入力してください。"));
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(id->hasFocus());
  EXPECT_EQ(dialog.values().id, u"0");  // the copy is untouched

  id->setText("12");
  QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);  // answered: cancelled (empty)
  dialog.accept();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.values().id, u"12");
}

}  // namespace
}  // namespace tavrona
