#include "ui/dialogs/event_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/project_data.h"
#include "qt_printers.h"
#include "render/matrix.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

using Field = EventDialogField;

EventRecord SampleEvent() {
  EventRecord e{};
  e.flags = EventInUse | EventBaseTransform | EventInterpolate;
  e.start = 120;
  e.fileId = 3;
  e.drawingMethod = 2;
  e.playbackPosition = 15'000'000;
  e.playbackRate = 500'000;
  e.regionLeft = -4;
  e.regionTop = 5;
  e.regionRight = 640;
  e.regionBottom = 480;
  e.red = 10;
  e.green = 20;
  e.blue = 30;
  e.opacity = 0;  // 256
  e.blendMode = 4;
  e.baseX = 12.3456789f;
  e.baseY = -0.000123456789f;
  e.scale = 1.0f / 3.0f;
  e.rotation = 33.3333333f;
  e.positionX = 1234.5678f;
  e.positionY = 7.0f;
  for (int i = 0; i < 9; ++i) e.matrix[i] = 0.1234567f * static_cast<float>(i + 1);
  return e;
}

bool SameBytes(const EventRecord& a, const EventRecord& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

class EventDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_ = AllocateProjectData();
    ASSERT_TRUE(project_);
    ApplyNewProjectReset(*project_);  // frame duration 333,333
    project_->files[3].kind = FileStillImage;
    SetPromptHookForTests([this](Prompt& prompt) {
      prompts_.push_back(prompt.text.toStdString());
      EXPECT_EQ(prompt.kind, PromptKind::Warning);
      return PromptAnswer::Ok;
    });
  }
  void TearDown() override { SetPromptHookForTests(nullptr); }

  // Runs the properties command on the targets; `drive` acts on the open dialog. A dialog left
  // open is cancelled and counted as a failure.
  bool Run(const std::vector<EventRecord*>& targets, bool showStart,
           const std::function<void(CEventPropertyDlg&)>& drive) {
    bool found = false;
    QTimer::singleShot(0, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<CEventPropertyDlg*>(w);
        if (dialog == nullptr || !dialog->isVisible()) continue;
        found = true;
        drive(*dialog);
        if (dialog->isVisible()) {
          ADD_FAILURE() << "the dialog is still open";
          dialog->reject();
        }
      }
    });
    const bool applied = RunEventPropertiesDialog(nullptr, *project_, targets, showStart);
    EXPECT_TRUE(found);
    return applied;
  }

  static void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    if (text.isEmpty()) {
      QTest::keyClick(edit, Qt::Key_Delete);
    } else {
      QTest::keyClicks(edit, text);
    }
  }
  static void Press(CEventPropertyDlg& dialog, QDialogButtonBox::StandardButton which) {
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(which), Qt::LeftButton);
  }

  std::unique_ptr<ProjectData> project_;
  std::vector<std::string> prompts_;
};

std::u16string Problem(const EventDialogValues& v, Field expectedField) {
  const auto problem = ValidateEventDialog(v);
  if (!problem) return u"(accepted)";
  EXPECT_EQ(problem->field, expectedField);
  return problem->message;
}

TEST_F(EventDialogTest, FillShowsOneEventAsTexts) {
  const EventRecord e = SampleEvent();
  EventDialogValues v = FillEventDialog(*project_, e, true);
  EXPECT_FALSE(v.multiSelection);
  EXPECT_EQ(v.start, u"120");
  EXPECT_EQ(v.interpolate, EventCheck::Checked);
  EXPECT_EQ(v.fileId, u"3");
  EXPECT_EQ(v.drawingMethod, 2);
  EXPECT_EQ(v.playbackPosition, u"00:01.5000000");
  EXPECT_EQ(v.speed, u"1.5000015000015");
  EXPECT_EQ(v.regionLeft, u"-4");
  EXPECT_EQ(v.regionBottom, u"480");
  EXPECT_EQ(v.opacity, u"256");
  EXPECT_EQ(v.red, u"10");
  EXPECT_EQ(v.blue, u"30");
  EXPECT_EQ(v.blendMode, 4);
  EXPECT_EQ(v.matrixMode, EventCheck::Unchecked);
  EXPECT_EQ(v.baseX, u"12.3457");
  EXPECT_EQ(v.scale, u"0.333333");
  // Base mode shows the matrix computed from the placement texts.
  EXPECT_EQ(v.matrix, MatrixTexts(LiveMatrix(v)));

  // The template pane shows no start.
  EXPECT_EQ(FillEventDialog(*project_, e, false).start, u"");

  // Placement by matrix: the box checked, the event's own matrix with six decimals.
  EventRecord m = e;
  m.flags &= ~static_cast<uint32_t>(EventBaseTransform);
  v = FillEventDialog(*project_, m, true);
  EXPECT_EQ(v.matrixMode, EventCheck::Checked);
  EXPECT_EQ(v.matrix[0], u"0.123457");
  EXPECT_EQ(v.matrix[8], u"1.111110");
  // An unset record opens in base mode whatever bit 3 says.
  m.flags = 0;
  EXPECT_EQ(FillEventDialog(*project_, m, true).matrixMode, EventCheck::Unchecked);

  v = FillEventDialogForSeveral();
  EXPECT_TRUE(v.multiSelection);
  EXPECT_EQ(v.interpolate, EventCheck::Indeterminate);
  EXPECT_EQ(v.matrixMode, EventCheck::Indeterminate);
  EXPECT_EQ(v.drawingMethod, kEventDrawingMethodBlank);
  EXPECT_EQ(v.blendMode, kEventBlendModeBlank);
  EXPECT_TRUE(v.start.empty() && v.fileId.empty() && v.opacity.empty() && v.matrix[4].empty());
}

TEST_F(EventDialogTest, ValidationChecksOnlyValuesThatAreNotUnchanged) {
  EventDialogValues v = FillEventDialog(*project_, SampleEvent(), true);
  EXPECT_EQ(Problem(v, Field::FileId), u"(accepted)");

  v.fileId = u"1024";
  EXPECT_EQ(Problem(v, Field::FileId), u"0 から 1023 までの整数を入力してください。");
  v.fileId = u"abc";  // does not scan: unchanged, not an error
  EXPECT_EQ(Problem(v, Field::FileId), u"(accepted)");

  v.speed = u"65536.5";
  EXPECT_EQ(Problem(v, Field::Speed), u"-65536 から 65536 までの数字を入力してください。");
  v.speed = u"nan";
  EXPECT_EQ(Problem(v, Field::Speed), u"-65536 から 65536 までの数字を入力してください。");
  v.speed = u"-65536";
  EXPECT_EQ(Problem(v, Field::Speed), u"(accepted)");
  v.speed = u"abc";
  EXPECT_EQ(Problem(v, Field::Speed), u"(accepted)");

  for (const char16_t* opacity : {u"0", u"257"}) {
    v.opacity = opacity;
    EXPECT_EQ(Problem(v, Field::Opacity), u"1 から 256 までの整数を入力してください。");
  }
  v.opacity = u"256";
  v.green = u"256";
  EXPECT_EQ(Problem(v, Field::Green), u"0 から 255 までの整数を入力してください。");

  // The first failing field in dialog order.
  v.fileId = u"5000";
  EXPECT_EQ(Problem(v, Field::FileId), u"0 から 1023 までの整数を入力してください。");

  // Nothing is refused in an untouched multi-selection dialog.
  EXPECT_EQ(Problem(FillEventDialogForSeveral(), Field::FileId), u"(accepted)");
}

TEST_F(EventDialogTest, ApplySetsEveryFieldInOrder) {
  EventRecord e = SampleEvent();
  e.flags = EventBaseTransform | EventInterpolate;  // not yet in use
  EventDialogValues v = FillEventDialog(*project_, e, true);
  v.start = u"0:1.5";  // 45 frames at 30 fps
  v.interpolate = EventCheck::Unchecked;
  v.fileId = u"7";
  v.drawingMethod = 0;
  v.playbackPosition = u"1:2.5";
  v.speed = u"2";
  v.regionLeft = u"1";
  v.regionTop = u"2";
  v.regionRight = u"3";
  v.regionBottom = u"4";
  v.opacity = u"256";
  v.red = u"255";
  v.green = u"0";
  v.blue = u"128";
  v.blendMode = 6;
  v.matrixMode = EventCheck::Checked;
  const char16_t* m[9] = {u"2", u"0", u"10", u"0", u"4", u"-8", u"0", u"0", u"1"};
  for (int i = 0; i < 9; ++i) v.matrix[i] = m[i];
  ApplyEventDialog(*project_, v, e);

  EXPECT_EQ(e.flags, static_cast<uint32_t>(EventInUse));  // bit 3 cleared, bit 2 cleared
  EXPECT_EQ(e.start, 45u);
  EXPECT_EQ(e.fileId, 7);
  EXPECT_EQ(e.drawingMethod, 0);
  EXPECT_EQ(e.playbackPosition, 625'000'000);
  EXPECT_EQ(e.playbackRate, 666'666);
  EXPECT_EQ(e.regionLeft, 1);
  EXPECT_EQ(e.regionBottom, 4);
  EXPECT_EQ(e.opacity, 0);
  EXPECT_EQ(e.red, 255);
  EXPECT_EQ(e.green, 0);
  EXPECT_EQ(e.blue, 128);
  EXPECT_EQ(e.blendMode, 6);
  EXPECT_EQ(e.matrix[2], 10.0f);
  EXPECT_EQ(e.matrix[4], 4.0f);
  EXPECT_FLOAT_EQ(e.inverseMatrix[0], 0.5f);
  EXPECT_FLOAT_EQ(e.inverseMatrix[2], -5.0f);
  EXPECT_FLOAT_EQ(e.inverseMatrix[4], 0.25f);
  EXPECT_FLOAT_EQ(e.inverseMatrix[5], 2.0f);

  // Back to base mode: bit 3 set, the six values taken, the matrix left alone.
  v.matrixMode = EventCheck::Unchecked;
  v.baseX = u"10";
  v.scale = u"2";
  v.rotation = u"90";
  ApplyEventDialog(*project_, v, e);
  EXPECT_TRUE(e.flags & EventBaseTransform);
  EXPECT_EQ(e.baseX, 10.0f);
  EXPECT_EQ(e.scale, 2.0f);
  EXPECT_EQ(e.rotation, 90.0f);
  EXPECT_EQ(e.matrix[2], 10.0f);
  EXPECT_EQ(e.opacity, 0);  // opacity 256 is stored as 0 and shown again as 256
  EXPECT_EQ(FillEventDialog(*project_, e, true).opacity, u"256");
}

TEST_F(EventDialogTest, PlaybackPositionIsReadAgainstTheNewFileId) {
  EventRecord e = SampleEvent();
  e.fileId = 500;  // an empty slot
  EventDialogValues v = FillEventDialog(*project_, e, true);
  v.fileId = u"3";             // a still image
  v.playbackPosition = u"25";  // a bare frame number means nothing for a still image
  ApplyEventDialog(*project_, v, e);
  EXPECT_EQ(e.fileId, 3);
  EXPECT_EQ(e.playbackPosition, 15'000'000);
  v.playbackPosition = u"2.5";
  ApplyEventDialog(*project_, v, e);
  EXPECT_EQ(e.playbackPosition, 25'000'000);
}

TEST_F(EventDialogTest, UnchangedValuesLeaveTheEventAlone) {
  const EventRecord before = SampleEvent();
  EventRecord e = before;
  // Every field unchanged: only bit 0 is set (it already is).
  ApplyEventDialog(*project_, FillEventDialogForSeveral(), e);
  EXPECT_TRUE(SameBytes(e, before));

  // Blank list entries and a speed that does not scan in single mode.
  EventDialogValues v = FillEventDialog(*project_, before, true);
  v.drawingMethod = kEventDrawingMethodBlank;
  v.blendMode = kEventBlendModeBlank;
  v.speed = u"abc";
  v.red = u"";
  v.regionTop = u"?";
  ApplyEventDialog(*project_, v, e);
  EXPECT_EQ(e.drawingMethod, 2);
  EXPECT_EQ(e.blendMode, 4);
  EXPECT_EQ(e.playbackRate, 500'000);
  EXPECT_EQ(e.red, 10);
  EXPECT_EQ(e.regionTop, 5);
}

// Rereading the printed texts would round the speed to 15 digits and the placement to 6: OK
// without an edit must give back the very same event.
TEST_F(EventDialogTest, OkWithoutEditKeepsEveryDigit) {
  const EventRecord before = SampleEvent();
  EventRecord e = before;
  ApplyEventDialog(*project_, FillEventDialog(*project_, e, true), e);
  EXPECT_TRUE(SameBytes(e, before));
  EXPECT_EQ(e.playbackRate, 500'000);

  EventRecord m = before;
  m.flags = EventInUse;
  std::copy(std::begin(m.matrix), std::end(m.matrix), std::begin(m.inverseMatrix));
  InvertMatrix3x3(m.inverseMatrix);
  const EventRecord matrixBefore = m;
  ApplyEventDialog(*project_, FillEventDialog(*project_, m, true), m);
  EXPECT_TRUE(SameBytes(m, matrixBefore));

  // A typed speed is taken as typed: 1.5 of 333,333 truncates to 499,999.
  EventDialogValues v = FillEventDialog(*project_, before, true);
  v.speed = u"1.5";
  ApplyEventDialog(*project_, v, e);
  EXPECT_EQ(e.playbackRate, 499'999);
}

TEST_F(EventDialogTest, LiveMatrixAndPlacementEnabling) {
  EventDialogValues v;
  v.scale = u"2";
  v.rotation = u"90";
  v.baseX = u"10";
  v.baseY = u"0";
  v.positionX = u"0";
  v.positionY = u"junk";  // counts as 0
  const auto m = LiveMatrix(v);
  const float expected[9] = {0, -2, 0, 2, 0, -20, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(m[i], expected[i], 1e-5) << i;
  const auto texts = MatrixTexts(m);
  EXPECT_EQ(texts[1], u"-2.000000");
  EXPECT_EQ(texts[5], u"-20.000000");

  EXPECT_TRUE(PlacementEnablingFor(EventCheck::Unchecked).placementFields);
  EXPECT_FALSE(PlacementEnablingFor(EventCheck::Unchecked).matrixFields);
  EXPECT_TRUE(PlacementEnablingFor(EventCheck::Checked).matrixFields);
  EXPECT_FALSE(PlacementEnablingFor(EventCheck::Checked).placementFields);
  EXPECT_FALSE(PlacementEnablingFor(EventCheck::Indeterminate).placementFields);
  EXPECT_FALSE(PlacementEnablingFor(EventCheck::Indeterminate).matrixFields);
}

TEST_F(EventDialogTest, SingleDialogShowsTheEventAndAppliesTypedFields) {
  EventRecord e = SampleEvent();
  const bool applied = Run({&e}, false, [](CEventPropertyDlg& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("イベントのプロパティ"));
    EXPECT_EQ(d.fieldEdit(Field::Start)->text(), QString());
    EXPECT_EQ(d.fieldEdit(Field::Opacity)->text(), QStringLiteral("256"));
    EXPECT_FALSE(d.interpolateBox()->isTristate());
    EXPECT_EQ(d.interpolateBox()->checkState(), Qt::Checked);
    ASSERT_EQ(d.drawingMethodList()->count(), 6);
    EXPECT_EQ(d.drawingMethodList()->itemText(0), QStringLiteral("プロジェクトの既定"));
    EXPECT_EQ(d.drawingMethodList()->itemText(5), QStringLiteral(" "));
    ASSERT_EQ(d.blendModeList()->count(), 8);
    EXPECT_EQ(d.blendModeList()->itemText(3), QStringLiteral("排他論理和"));
    EXPECT_EQ(d.blendModeList()->currentIndex(), 4);
    // Base mode: the placement fields enabled, the matrix fields not.
    EXPECT_TRUE(d.fieldEdit(Field::Scale)->isEnabled());
    EXPECT_FALSE(d.matrixEdit(0)->isEnabled());

    // Live matrix while typing the placement.
    Type(d.fieldEdit(Field::BaseX), QStringLiteral("10"));
    Type(d.fieldEdit(Field::BaseY), QStringLiteral("0"));
    Type(d.fieldEdit(Field::Scale), QStringLiteral("2"));
    Type(d.fieldEdit(Field::Rotation), QStringLiteral("90"));
    Type(d.fieldEdit(Field::PositionX), QStringLiteral("0"));
    Type(d.fieldEdit(Field::PositionY), QStringLiteral("0"));
    const float expected[9] = {0, -2, 0, 2, 0, -20, 0, 0, 1};
    for (int i = 0; i < 9; ++i) {
      EXPECT_NEAR(d.matrixEdit(i)->text().toDouble(), expected[i], 1e-5) << i;
    }
    // Checking starts from the equivalent matrix and swaps the enabled fields.
    d.matrixModeBox()->click();
    EXPECT_EQ(d.matrixEdit(5)->text(), QStringLiteral("-20.000000"));
    EXPECT_TRUE(d.matrixEdit(0)->isEnabled());
    EXPECT_FALSE(d.fieldEdit(Field::Scale)->isEnabled());

    Type(d.fieldEdit(Field::Red), QStringLiteral("99"));
    d.blendModeList()->setCurrentIndex(7);  // blank: unchanged
    Press(d, QDialogButtonBox::Ok);
  });
  EXPECT_TRUE(applied);
  EXPECT_TRUE(prompts_.empty());
  EXPECT_EQ(e.red, 99);
  EXPECT_EQ(e.blendMode, 4);
  EXPECT_EQ(e.start, 120u);
  EXPECT_FALSE(e.flags & EventBaseTransform);
  EXPECT_NEAR(e.matrix[1], -2.0f, 1e-5);
  EXPECT_NEAR(e.matrix[5], -20.0f, 1e-5);
  EXPECT_NEAR(e.inverseMatrix[2], 10.0f, 1e-4);  // maps the position back to the base
}

TEST_F(EventDialogTest, RefusedOpacityKeepsTheDialogOpenWithTheFieldSelected) {
  EventRecord e = SampleEvent();
  const bool applied = Run({&e}, true, [this](CEventPropertyDlg& d) {
    d.show();
    d.activateWindow();
    Type(d.fieldEdit(Field::Opacity), QStringLiteral("257"));
    Press(d, QDialogButtonBox::Ok);
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0], "1 から 256 までの整数を入力してください。");
    EXPECT_EQ(d.focusWidget(), d.fieldEdit(Field::Opacity));
    EXPECT_EQ(d.fieldEdit(Field::Opacity)->selectedText(), QStringLiteral("257"));

    Type(d.fieldEdit(Field::Opacity), QStringLiteral("0"));
    Press(d, QDialogButtonBox::Ok);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(prompts_.size(), 2u);

    Type(d.fieldEdit(Field::Opacity), QStringLiteral("128"));
    Type(d.fieldEdit(Field::Speed), QStringLiteral("abc"));  // unchanged, no message
    Press(d, QDialogButtonBox::Ok);
  });
  EXPECT_TRUE(applied);
  EXPECT_EQ(prompts_.size(), 2u);
  EXPECT_EQ(e.opacity, 128);
  EXPECT_EQ(e.playbackRate, 500'000);
}

TEST_F(EventDialogTest, SeveralEventsOkAloneOnlySetsInUse) {
  EventRecord a = SampleEvent();
  EventRecord b = SampleEvent();
  b.flags = EventSelected;  // not in use, matrix mode bit clear
  b.red = 1;
  const EventRecord a0 = a;
  EventRecord b0 = b;
  const bool applied = Run({&a, &b}, true, [](CEventPropertyDlg& d) {
    EXPECT_EQ(d.fieldEdit(Field::FileId)->text(), QString());
    EXPECT_EQ(d.fieldEdit(Field::Start)->text(), QString());
    EXPECT_EQ(d.matrixEdit(0)->text(), QString());
    EXPECT_TRUE(d.interpolateBox()->isTristate());
    EXPECT_EQ(d.interpolateBox()->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(d.matrixModeBox()->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(d.drawingMethodList()->currentIndex(), 5);
    EXPECT_EQ(d.blendModeList()->currentIndex(), 7);
    // Indeterminate placement: everything disabled.
    EXPECT_FALSE(d.fieldEdit(Field::Scale)->isEnabled());
    EXPECT_FALSE(d.matrixEdit(4)->isEnabled());
    Press(d, QDialogButtonBox::Ok);
  });
  EXPECT_TRUE(applied);
  EXPECT_TRUE(SameBytes(a, a0));
  b0.flags |= EventInUse;
  EXPECT_TRUE(SameBytes(b, b0));
}

TEST_F(EventDialogTest, SeveralEventsTakeOnlyTheTypedRed) {
  EventRecord a = SampleEvent();
  EventRecord b = SampleEvent();
  b.opacity = 77;
  b.green = 1;
  b.blue = 2;
  const bool applied = Run({&a, &b}, true, [](CEventPropertyDlg& d) {
    Type(d.fieldEdit(Field::Red), QStringLiteral("200"));
    Press(d, QDialogButtonBox::Ok);
  });
  EXPECT_TRUE(applied);
  EXPECT_EQ(a.red, 200);
  EXPECT_EQ(b.red, 200);
  EXPECT_EQ(a.opacity, 0);
  EXPECT_EQ(a.green, 20);
  EXPECT_EQ(b.opacity, 77);
  EXPECT_EQ(b.green, 1);
  EXPECT_EQ(b.blue, 2);
}

TEST_F(EventDialogTest, CancelAndNoTargetChangeNothing) {
  EventRecord e = SampleEvent();
  const EventRecord before = e;
  const bool applied = Run({&e}, true, [](CEventPropertyDlg& d) {
    Type(d.fieldEdit(Field::Red), QStringLiteral("1"));
    d.matrixModeBox()->click();
    Press(d, QDialogButtonBox::Cancel);
  });
  EXPECT_FALSE(applied);
  EXPECT_TRUE(SameBytes(e, before));
  EXPECT_FALSE(RunEventPropertiesDialog(nullptr, *project_, {}, true));
}

}  // namespace
}  // namespace tavrona
