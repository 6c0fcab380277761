#include "ui/dialogs/project_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "model/project_data.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

using Field = ProjectDialogField;

struct SeenPrompt {
  PromptKind kind;
  std::string caption;
  std::string text;
};

class ProjectDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedMirror_ = Process().defaultDrawingMethodMirror;
    project_ = AllocateProjectData();
    ASSERT_TRUE(project_);
    ApplyNewProjectReset(*project_);
    SetPromptHookForTests([this](Prompt& prompt) {
      prompts_.push_back({prompt.kind, prompt.caption.toStdString(), prompt.text.toStdString()});
      if (prompt.kind == PromptKind::Folder) prompt.answerText = folderAnswer_;
      return PromptAnswer::Ok;
    });
  }
  void TearDown() override {
    SetPromptHookForTests(nullptr);
    Process().defaultDrawingMethodMirror = savedMirror_;
  }

  // Runs the project settings command; `drive` acts on the dialog while it is open. A dialog
  // that `drive` leaves open is cancelled and counted as a failure.
  bool Run(const std::function<void(CProjectPropertyDlg&)>& drive) {
    bool found = false;
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<CProjectPropertyDlg*>(w);
        if (dialog == nullptr || !dialog->isVisible()) continue;
        found = true;
        drive(*dialog);
        if (dialog->isVisible()) {
          ADD_FAILURE() << "the dialog is still open";
          dialog->reject();
        }
      }
    });
    const bool applied = RunProjectPropertiesDialog(nullptr, *project_);
    EXPECT_TRUE(found);
    return applied;
  }

  static void Type(CProjectPropertyDlg& dialog, Field field, const QString& text) {
    QLineEdit* edit = dialog.fieldEdit(field);
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  static void Press(CProjectPropertyDlg& dialog, QDialogButtonBox::StandardButton which) {
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(which), Qt::LeftButton);
  }

  std::unique_ptr<ProjectData> project_;
  std::vector<SeenPrompt> prompts_;
  QString folderAnswer_;
  int32_t savedMirror_ = 0;
};

ProjectDialogValues ValidValues() {
  ProjectDialogValues v;
  v.width = u"320";
  v.height = u"240";
  v.frameRate = u"30";
  v.movieLength = u"1";
  v.red = v.green = v.blue = u"0";
  return v;
}

std::u16string Problem(const ProjectDialogValues& v, Field expectedField) {
  const auto problem = ValidateProjectDialog(v);
  if (!problem) return u"(accepted)";
  EXPECT_EQ(problem->field, expectedField);
  return problem->message;
}

TEST_F(ProjectDialogTest, FillShowsTheProjectAsTexts) {
  SetPath(project_->basePath, u"/media/clips");
  project_->outputWidth = 640;
  project_->outputHeight = 480;
  project_->SetFrameRate(29.97);
  project_->movieLength = 1800;
  project_->backgroundColour = 0x00332211;  // blue 0x33, green 0x22, red 0x11
  project_->defaultDrawingMethod = 3;

  const ProjectDialogValues v = FillProjectDialog(*project_);
  EXPECT_EQ(v.basePath, u"/media/clips");
  EXPECT_EQ(v.width, u"640");
  EXPECT_EQ(v.height, u"480");
  EXPECT_EQ(v.frameRate, u"29.97");
  EXPECT_EQ(v.movieLength, u"1800");
  EXPECT_EQ(v.red, u"17");
  EXPECT_EQ(v.green, u"34");
  EXPECT_EQ(v.blue, u"51");
  EXPECT_EQ(v.drawingMethod, 3);
}

TEST_F(ProjectDialogTest, ValidationMessagesAndBounds) {
  EXPECT_EQ(Problem(ValidValues(), Field::Width), u"(accepted)");

  for (const char16_t* size : {u"0", u"5000"}) {
    ProjectDialogValues v = ValidValues();
    v.width = size;
    EXPECT_EQ(Problem(v, Field::Width), u"1 から 4096 までの整数を入力してください。");
    v = ValidValues();
    v.height = size;
    EXPECT_EQ(Problem(v, Field::Height), u"1 から 4096 までの整数を入力してください。");
  }
  ProjectDialogValues v = ValidValues();
  v.height = u"abc";
  EXPECT_EQ(Problem(v, Field::Height), u"正の整数を入力してください。");
  // A number that happens to equal the scanners' "no number" marker is still a number.
  v.height = u"4294967295";
  EXPECT_EQ(Problem(v, Field::Height), u"1 から 4096 までの整数を入力してください。");
  v.height = u"-1";
  EXPECT_EQ(Problem(v, Field::Height), u"1 から 4096 までの整数を入力してください。");
  // C library scanning: leading blanks skipped, trailing text ignored.
  v.height = u"  4096px";
  EXPECT_EQ(Problem(v, Field::Height), u"(accepted)");

  v = ValidValues();
  v.frameRate = u"0.0005";
  EXPECT_EQ(Problem(v, Field::FrameRate), u"0.001 から 1000 までの数字を入力してください。");
  v.frameRate = u"fast";
  EXPECT_EQ(Problem(v, Field::FrameRate), u"数字を入力してください。");
  v.frameRate = u"nan";
  EXPECT_EQ(Problem(v, Field::FrameRate), u"0.001 から 1000 までの数字を入力してください。");
  v.frameRate = u"1.7976931348623157e308";
  EXPECT_EQ(Problem(v, Field::FrameRate), u"0.001 から 1000 までの数字を入力してください。");
  v.frameRate = u"1000";
  EXPECT_EQ(Problem(v, Field::FrameRate), u"(accepted)");

  v = ValidValues();
  v.blue = u"256";
  EXPECT_EQ(Problem(v, Field::Blue), u"0 から 255 までの整数を入力してください。");
  v.basePath = std::u16string(259, u'a');
  EXPECT_EQ(Problem(v, Field::Blue), u"0 から 255 までの整数を入力してください。");
  v.basePath.push_back(u'a');
  EXPECT_EQ(Problem(v, Field::BasePath), u"259 文字以内で入力してください。");

  // The first failing field in dialog order is reported.
  v = ValidValues();
  v.red = u"x";
  v.frameRate = u"0";
  v.height = u"0";
  EXPECT_EQ(Problem(v, Field::Height), u"1 から 4096 までの整数を入力してください。");
  // The movie length is never refused.
  v = ValidValues();
  v.movieLength = u"whenever";
  EXPECT_EQ(Problem(v, Field::Width), u"(accepted)");
}

TEST_F(ProjectDialogTest, ApplyOrderLengthAtNewRateColourAndMirror) {
  project_->movieLength = 77;
  ProjectDialogValues v = ValidValues();
  v.basePath = u"/data";
  v.width = u"1920";
  v.height = u"1080";
  v.frameRate = u"1000";
  v.movieLength = u"00:02.000";  // read at the new rate: 2 s at 1000 fps
  v.red = u"1";
  v.green = u"2";
  v.blue = u"255";
  v.drawingMethod = 4;
  Process().defaultDrawingMethodMirror = 0;

  EXPECT_FALSE(ApplyProjectDialog(*project_, v));
  EXPECT_EQ(PathView(project_->basePath), u"/data");
  EXPECT_EQ(project_->outputWidth, 1920);
  EXPECT_EQ(project_->outputHeight, 1080);
  EXPECT_EQ(project_->frameRate, 1000.0);
  EXPECT_EQ(project_->frameDuration100ns, 10'000);
  EXPECT_EQ(project_->movieLength, 2000u);
  EXPECT_EQ(project_->backgroundColour, 0x00FF0201u);
  EXPECT_EQ(project_->defaultDrawingMethod, 4);
  EXPECT_EQ(Process().defaultDrawingMethodMirror, 4);

  v.movieLength = u"not a time";
  EXPECT_FALSE(ApplyProjectDialog(*project_, v));
  EXPECT_EQ(project_->movieLength, 2000u);

  v.movieLength = u"1048576";
  EXPECT_FALSE(ApplyProjectDialog(*project_, v));
  EXPECT_EQ(project_->movieLength, 1'048'576u);
  v.movieLength = u"1048577";
  EXPECT_TRUE(ApplyProjectDialog(*project_, v));
  EXPECT_EQ(project_->movieLength, 1'048'576u);
}

TEST_F(ProjectDialogTest, OkAppliesTypedFields) {
  project_->defaultDrawingMethod = 1;
  const bool applied = Run([](CProjectPropertyDlg& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("プロジェクトのプロパティ"));
    QComboBox* list = d.drawingMethodList();
    ASSERT_EQ(list->count(), 5);
    const char* entries[] = {"システムの既定（INIファイル）", "通常（初期バージョン）", "境界修正",
                             "線形補間", "線形補間と色補正"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(list->itemText(i).toStdString(), entries[i]);
    EXPECT_EQ(list->currentIndex(), 1);

    Type(d, Field::MovieLength, QStringLiteral("00:02.000"));
    Type(d, Field::Red, QStringLiteral("10"));
    Type(d, Field::Green, QStringLiteral("20"));
    Type(d, Field::Blue, QStringLiteral("30"));
    list->setCurrentIndex(2);
    Press(d, QDialogButtonBox::Ok);
  });
  EXPECT_TRUE(applied);
  EXPECT_TRUE(prompts_.empty());
  EXPECT_EQ(project_->movieLength, 60u);  // 20,000,000 / 333,333 at 30 fps
  EXPECT_EQ(project_->backgroundColour, 0x001E140Au);
  EXPECT_EQ(project_->defaultDrawingMethod, 2);
  EXPECT_EQ(Process().defaultDrawingMethodMirror, 2);
  EXPECT_EQ(project_->outputWidth, 320);  // untouched fields keep their values
  EXPECT_EQ(project_->frameDuration100ns, 333'333);
}

TEST_F(ProjectDialogTest, RefusedFieldKeepsTheDialogOpenAndSelected) {
  const bool applied = Run([this](CProjectPropertyDlg& d) {
    d.show();
    d.activateWindow();
    Type(d, Field::Width, QStringLiteral("800"));
    Type(d, Field::Height, QStringLiteral("5000"));
    Press(d, QDialogButtonBox::Ok);
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].kind, PromptKind::Warning);
    EXPECT_EQ(prompts_[0].text, "1 から 4096 までの整数を入力してください。");
    EXPECT_EQ(d.fieldEdit(Field::Height)->selectedText(), QStringLiteral("5000"));
    EXPECT_EQ(d.focusWidget(), d.fieldEdit(Field::Height));

    Type(d, Field::Height, QStringLiteral("600"));
    Type(d, Field::FrameRate, QStringLiteral("0.0005"));
    Press(d, QDialogButtonBox::Ok);
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(prompts_.size(), 2u);
    EXPECT_EQ(prompts_[1].text, "0.001 から 1000 までの数字を入力してください。");
    EXPECT_EQ(d.fieldEdit(Field::FrameRate)->selectedText(), QStringLiteral("0.0005"));

    Type(d, Field::FrameRate, QStringLiteral("24"));
    Press(d, QDialogButtonBox::Ok);
  });
  EXPECT_TRUE(applied);
  EXPECT_EQ(prompts_.size(), 2u);
  EXPECT_EQ(project_->outputWidth, 800);
  EXPECT_EQ(project_->outputHeight, 600);
  EXPECT_EQ(project_->frameDuration100ns, 416'666);
}

TEST_F(ProjectDialogTest, TooLongBasePathIsRefused) {
  Run([this](CProjectPropertyDlg& d) {
    d.fieldEdit(Field::BasePath)->setText(QString(260, QLatin1Char('p')));
    Press(d, QDialogButtonBox::Ok);
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "259 文字以内で入力してください。");
    Press(d, QDialogButtonBox::Cancel);
  });
  EXPECT_EQ(PathView(project_->basePath), u"");
}

TEST_F(ProjectDialogTest, LengthAboveTheLimitIsReportedAndCut) {
  const bool applied = Run([](CProjectPropertyDlg& d) {
    Type(d, Field::MovieLength, QStringLiteral("2000000"));
    Press(d, QDialogButtonBox::Ok);
  });
  EXPECT_TRUE(applied);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].kind, PromptKind::Error);
  EXPECT_EQ(prompts_[0].text, "動画の長さは最大で1048576フレームに制限されます。");
  EXPECT_EQ(project_->movieLength, 1'048'576u);
}

TEST_F(ProjectDialogTest, CancelChangesNothing) {
  project_->backgroundColour = 0x00123456;
  Process().defaultDrawingMethodMirror = 0;
  const bool applied = Run([](CProjectPropertyDlg& d) {
    Type(d, Field::Width, QStringLiteral("1024"));
    Type(d, Field::MovieLength, QStringLiteral("2000000"));
    Type(d, Field::Red, QStringLiteral("0"));
    d.drawingMethodList()->setCurrentIndex(4);
    Press(d, QDialogButtonBox::Cancel);
  });
  EXPECT_FALSE(applied);
  EXPECT_TRUE(prompts_.empty());
  EXPECT_EQ(project_->outputWidth, 320);
  EXPECT_EQ(project_->movieLength, 1u);
  EXPECT_EQ(project_->backgroundColour, 0x00123456u);
  EXPECT_EQ(project_->defaultDrawingMethod, 0);
  EXPECT_EQ(Process().defaultDrawingMethodMirror, 0);
}

TEST_F(ProjectDialogTest, BrowseReplacesTheBasePathWhenAFolderIsChosen) {
  SetPath(project_->basePath, u"/old/place");
  Run([this](CProjectPropertyDlg& d) {
    EXPECT_EQ(d.browseButton()->text(), QStringLiteral("参照"));
    folderAnswer_.clear();  // the chooser is cancelled
    QTest::mouseClick(d.browseButton(), Qt::LeftButton);
    EXPECT_EQ(d.fieldEdit(Field::BasePath)->text(), QStringLiteral("/old/place"));

    folderAnswer_ = QStringLiteral("/new/place");
    QTest::mouseClick(d.browseButton(), Qt::LeftButton);
    EXPECT_EQ(d.fieldEdit(Field::BasePath)->text(), QStringLiteral("/new/place"));
    Press(d, QDialogButtonBox::Ok);
  });
  ASSERT_EQ(prompts_.size(), 2u);
  for (const SeenPrompt& p : prompts_) {
    EXPECT_EQ(p.kind, PromptKind::Folder);
    EXPECT_EQ(p.caption, "ファイルの基準パスを選択してください。");
    EXPECT_EQ(p.text, "/old/place");  // starts from the field's text
  }
  EXPECT_EQ(PathView(project_->basePath), u"/new/place");
}

}  // namespace
}  // namespace tavrona
