#include "ui/panes/event_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <memory>

#include "qt_printers.h"
#include "ui/clipboard.h"
#include "ui/cursors.h"
#include "ui/dialogs/event_dialog.h"
#include "ui/document.h"
#include "ui/panes/event_view_logic.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

constexpr int kMovie = 3;
constexpr int kStill = 4;
constexpr int kText = 5;

void AddFiles(ProjectData& project) {
  project.files[kMovie].kind = FileMovie;
  project.files[kStill].kind = FileStillImage;
  ASSERT_TRUE(CreateFrameBuffer(project.files[kStill].picture, 16, 12));
  project.files[kText].kind = FileText;
}

EventRecord InUse(int fileId) {
  EventRecord e{};
  e.flags = EventInUse;
  e.fileId = fileId;
  return e;
}

// The pane's logic without widgets.

TEST(EventViewLogicTest, RowTexts) {
  auto project = AllocateProjectData();
  ASSERT_TRUE(project);
  ApplyNewProjectReset(*project);
  AddFiles(*project);

  EXPECT_EQ(EventRowText(*project, EventRecord{}, u'1'), u" 1 未設定");
  EventRecord movie = InUse(kMovie);
  movie.playbackPosition = 615'000'000;  // 1:01.5
  movie.playbackRate = 500'000;          // 1.5000015 at 30 fps
  EXPECT_EQ(EventRowText(*project, movie, u'A'), u" A ID:0003 動画 01:01.500 x1.5000");
  EXPECT_EQ(EventRowText(*project, InUse(kStill), u' '), u"   ID:0004 画像");
  EXPECT_EQ(EventRowText(*project, InUse(kText), u'Z'), u" Z ID:0005 テキスト");
  EXPECT_EQ(EventRowText(*project, InUse(600), u'M'), u" M ID:0600 不明");  // an empty slot
  EXPECT_EQ(EventRowText(*project, InUse(1024), u'M'), u" M ID:1024 不明");
}

TEST(EventViewLogicTest, KeysRowsAndScrolling) {
  TemplateKeys keys;
  for (int i = 0; i < kTemplateCount; ++i) keys[static_cast<size_t>(i)] = TemplateKey(i);
  EXPECT_EQ(EventRowForKey(keys, Qt::Key_1), 0);
  EXPECT_EQ(EventRowForKey(keys, Qt::Key_0), 9);
  EXPECT_EQ(EventRowForKey(keys, Qt::Key_A), 10);
  EXPECT_EQ(EventRowForKey(keys, Qt::Key_M), 25);
  EXPECT_EQ(EventRowForKey(keys, Qt::Key_Space), std::nullopt);
  EXPECT_EQ(EventRowForKey(keys, Qt::Key_Q), std::nullopt);
  EXPECT_EQ(EventRowForKey(keys, Qt::Key_Up), std::nullopt);

  EXPECT_EQ(EventRowAt(0, 0), 0);
  EXPECT_EQ(EventRowAt(299, 1279), 63);
  EXPECT_EQ(EventRowAt(300, 10), std::nullopt);
  EXPECT_EQ(EventRowAt(10, 1280), std::nullopt);

  // A 100-pixel view at the top shows rows 0..4.
  EXPECT_EQ(ScrollTopForRow(4, 0, 100), std::nullopt);
  EXPECT_EQ(ScrollTopForRow(5, 0, 100), 20);    // row 5 becomes the last whole row
  EXPECT_EQ(ScrollTopForRow(2, 100, 100), 40);  // above: to the top
  EXPECT_EQ(ScrollTopForRow(63, 0, 110), 1180);
}

TEST(EventViewLogicTest, ClickSelection) {
  Templates t{};
  ClickTemplateRow(t, 0, 2, false, false);
  EXPECT_EQ(SelectedTemplateSlots(t), (std::vector<int>{2}));
  ClickTemplateRow(t, 2, 6, false, true);  // toggles 3, 4, 5, then 6
  EXPECT_EQ(SelectedTemplateSlots(t), (std::vector<int>{2, 3, 4, 5, 6}));
  ClickTemplateRow(t, 6, 4, true, false);  // Ctrl toggles one row
  EXPECT_EQ(SelectedTemplateSlots(t), (std::vector<int>{2, 3, 5, 6}));
  ClickTemplateRow(t, 4, 4, false, true);  // Shift on the current row: that row alone toggles
  EXPECT_EQ(SelectedTemplateSlots(t), (std::vector<int>{2, 3, 4, 5, 6}));
  ClickTemplateRow(t, 4, 1, false, true);  // upwards: toggles 2, 3, then 1
  EXPECT_EQ(SelectedTemplateSlots(t), (std::vector<int>{1, 4, 5, 6}));
  EXPECT_EQ(StepTemplateRow(t, 0, -1), 0);
  EXPECT_EQ(SelectedTemplateSlots(t), (std::vector<int>{0}));
  EXPECT_EQ(StepTemplateRow(t, 63, +1), 63);

  EXPECT_EQ(EventRowColours(false, false).fill, 0x00FFFFFFu);
  EXPECT_EQ(EventRowColours(true, false).fill, 0x00C0C0C0u);
  EXPECT_EQ(EventRowColours(true, false).frame, 0x00808080u);
  EXPECT_EQ(EventRowColours(false, true).frame, 0x000000FFu);
}

TEST(EventViewLogicTest, PasteFillsConsecutiveSlotsAndWraps) {
  Templates t{};
  t[62] = InUse(1);
  t[10] = InUse(2);
  t[10].flags |= EventSelected;
  std::vector<EventRecord> records = {InUse(7), InUse(8), InUse(9)};
  for (EventRecord& r : records) {
    r.start = 500;
    r.flags = EventInterpolate;
  }
  EXPECT_EQ(PasteTemplates(t, 62, records), 1);
  EXPECT_EQ(t[62].fileId, 1);  // the current row was in use: pasting starts after it
  EXPECT_EQ(t[63].fileId, 7);
  EXPECT_EQ(t[0].fileId, 8);
  EXPECT_EQ(t[1].fileId, 9);
  for (int slot : {63, 0, 1}) {
    EXPECT_EQ(t[static_cast<size_t>(slot)].flags, EventInUse | EventSelected | EventInterpolate);
    EXPECT_EQ(t[static_cast<size_t>(slot)].start, 0u);
  }
  EXPECT_EQ(SelectedTemplateSlots(t), (std::vector<int>{0, 1, 63}));

  // An unset current row is filled itself.
  Templates u{};
  EXPECT_EQ(PasteTemplates(u, 5, {InUse(7)}), 5);
  EXPECT_EQ(u[5].fileId, 7);
}

TEST(EventViewLogicTest, CopyCutAndDeleteTakeWhatIsSelected) {
  Templates t{};
  t[3] = InUse(3);
  t[3].flags |= EventSelected;
  t[3].red = 9;
  t[1] = InUse(1);
  t[1].flags |= EventSelected;
  t[7].flags = EventSelected;  // selected but unset: not copied
  t[8] = InUse(8);             // in use, not selected
  const auto copied = CopyableTemplates(t);
  ASSERT_EQ(copied.size(), 2u);
  EXPECT_EQ(copied[0].fileId, 1);
  EXPECT_EQ(copied[1].fileId, 3);
  ClearCopyableTemplates(t);
  EXPECT_EQ(t[3].flags, 0u);
  EXPECT_EQ(t[3].red, 9);  // only the flags word goes
  EXPECT_EQ(t[7].flags, static_cast<uint32_t>(EventSelected));
  EXPECT_TRUE(t[8].InUse());

  SelectAllTemplates(t);
  EXPECT_EQ(CountSelectedTemplates(t), 64);
  DeleteSelectedTemplates(t);
  for (const EventRecord& r : t) EXPECT_EQ(r.flags, 0u);
}

// The real pane.

class EventViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    document_ = std::make_unique<CKeldaDoc>();
    AddFiles(Project());
    Project().templates[2] = DefaultEventForFile(Project(), kStill, 0);
    Project().templates[10] = InUse(kMovie);
    view_ = std::make_unique<CEventView>(*document_);
    view_->resize(320, 200);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    view_->OnUpdate(nullptr);
  }
  void TearDown() override {
    SetPromptHookForTests(nullptr);
    view_.reset();
    document_.reset();
  }

  ProjectData& Project() { return document_->Project(); }
  QWidget* Viewport() { return view_->viewport(); }
  static QPoint RowPoint(int row, int x = 150) { return QPoint(x, row * 20 + 10); }
  QImage Grab() { return Viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  QTemporaryDir dir_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CEventView> view_;
};

TEST_F(EventViewTest, RowsShowTheirTextsAndColours) {
  EXPECT_EQ(view_->Cell(0).text, QStringLiteral(" 1 未設定"));
  EXPECT_EQ(view_->Cell(2).text, QStringLiteral(" 3 ID:0004 画像"));
  EXPECT_EQ(view_->Cell(10).text, QStringLiteral(" A ID:0003 動画 00:00.000 x0.0000"));
  EXPECT_EQ(view_->Cell(63).text, QStringLiteral("   未設定"));
  EXPECT_EQ(view_->Cell(5).top, 100);
  EXPECT_EQ(view_->Cell(5).right, 300);

  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, RowPoint(3));
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::ControlModifier, RowPoint(1));
  ASSERT_EQ(view_->CurrentRow(), 1);
  const QImage shown = Grab();
  // Row 3: selected, not current: light grey inside, grey frame.
  EXPECT_EQ(shown.pixelColor(290, 3 * 20 + 10), QColor(192, 192, 192));
  EXPECT_EQ(shown.pixelColor(0, 3 * 20 + 10), QColor(128, 128, 128));
  // Row 1: selected and current: light grey inside, red frame.
  EXPECT_EQ(shown.pixelColor(290, 1 * 20 + 10), QColor(192, 192, 192));
  EXPECT_EQ(shown.pixelColor(299, 1 * 20 + 10), QColor(255, 0, 0));
  EXPECT_EQ(shown.pixelColor(150, 1 * 20), QColor(255, 0, 0));
  // Row 4: neither: white inside and frame.
  EXPECT_EQ(shown.pixelColor(290, 4 * 20 + 10), QColor(255, 255, 255));
  EXPECT_EQ(shown.pixelColor(0, 4 * 20 + 10), QColor(255, 255, 255));
  // Some text is drawn in black at the left of an unset row.
  bool ink = false;
  for (int x = 2; x < 120 && !ink; ++x) {
    for (int y = 4 * 20 + 2; y < 4 * 20 + 18; ++y) ink |= qGray(shown.pixel(x, y)) < 100;
  }
  EXPECT_TRUE(ink);
}

TEST_F(EventViewTest, KeysSelectRowsAndSendThePreview) {
  // The slot's key selects it even though it is unset.
  QTest::keyClick(view_.get(), Qt::Key_S);
  EXPECT_EQ(view_->CurrentRow(), 11);
  EXPECT_EQ(SelectedTemplateSlots(Project().templates), (std::vector<int>{11}));

  document_->preview = {};
  QTest::keyClick(view_.get(), Qt::Key_Up);
  EXPECT_EQ(view_->CurrentRow(), 10);
  EXPECT_EQ(SelectedTemplateSlots(Project().templates), (std::vector<int>{10}));
  EXPECT_TRUE(document_->preview.needsRender);
  EXPECT_EQ(document_->preview.mode, PreviewScratchEvent);
  EXPECT_EQ(document_->scratchEvent.fileId, kMovie);

  QTest::keyClick(view_.get(), Qt::Key_Space);  // nothing
  QTest::keyClick(view_.get(), Qt::Key_Q);      // no slot: nothing
  EXPECT_EQ(view_->CurrentRow(), 10);

  // Down to the last row scrolls it into view as the last whole row, and stops there.
  for (int i = 0; i < 60; ++i) QTest::keyClick(view_.get(), Qt::Key_Down);
  EXPECT_EQ(view_->CurrentRow(), 63);
  const int viewHeight = Viewport()->height();
  EXPECT_EQ(view_->ScrollPosition().y(), 1280 - (viewHeight / 20) * 20);
  QTest::keyClick(view_.get(), Qt::Key_1);
  EXPECT_EQ(view_->CurrentRow(), 0);
  EXPECT_EQ(view_->ScrollPosition().y(), 0);

  // Keys are ignored while a drag between panes is on.
  document_->drag = {true, DragFile, kStill};
  QTest::keyClick(view_.get(), Qt::Key_A);
  EXPECT_EQ(view_->CurrentRow(), 0);
  EXPECT_FALSE(document_->Modified());
}

TEST_F(EventViewTest, TemplateDragStartsOnlyOnASetRow) {
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, RowPoint(4));
  EXPECT_FALSE(document_->drag.active);  // unset
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, RowPoint(4));

  Project().templates[2].red = 77;
  QTest::mousePress(Viewport(), Qt::LeftButton, {}, RowPoint(2));
  EXPECT_TRUE(document_->drag.active);
  EXPECT_EQ(document_->drag.kind, DragTemplate);
  EXPECT_EQ(document_->scratchEvent.fileId, kStill);
  EXPECT_EQ(document_->scratchEvent.red, 77);
  EXPECT_EQ(view_->CursorAt(RowPoint(5)).bitmap().toImage(),
            PaneCursor(CursorMove).bitmap().toImage());
  // Released over this pane: the drag ends, nothing changes.
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, RowPoint(5));
  EXPECT_FALSE(document_->drag.active);
  EXPECT_FALSE(Project().templates[5].InUse());
  EXPECT_FALSE(document_->Modified());
  EXPECT_EQ(view_->CursorAt(RowPoint(5)).shape(), Qt::ArrowCursor);
}

TEST_F(EventViewTest, FileDroppedOnARowBecomesItsTemplate) {
  Project().templates[6] = InUse(kMovie);
  Project().templates[6].flags |= EventSelected;
  document_->drag = {true, DragFile, kStill};
  EXPECT_EQ(view_->CursorAt(RowPoint(6)).bitmap().toImage(),
            PaneCursor(CursorAdd).bitmap().toImage());
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, RowPoint(6));
  const EventRecord expected = DefaultEventForFile(Project(), kStill, 0);
  EXPECT_EQ(std::memcmp(&Project().templates[6], &expected, sizeof expected), 0);
  EXPECT_EQ(Project().templates[6].regionRight, 16);
  EXPECT_FALSE(document_->drag.active);
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(view_->Cell(6).text, QStringLiteral(" 7 ID:0004 画像"));

  // Outside the rows: the drag just ends.
  document_->drag = {true, DragFile, kMovie};
  QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, QPoint(310, 30));
  EXPECT_FALSE(document_->drag.active);
  EXPECT_EQ(Project().templates[1].flags, 0u);
}

TEST_F(EventViewTest, PasteWrapsAfterTheLastSlot) {
  std::vector<EventRecord> records = {InUse(kStill), InUse(kText), InUse(kMovie)};
  ASSERT_TRUE(PutEventsOnClipboard(records));
  Project().templates[62] = InUse(kText);
  for (int i = 0; i < 62; ++i) QTest::keyClick(view_.get(), Qt::Key_Down);
  ASSERT_EQ(view_->CurrentRow(), 62);
  ASSERT_TRUE(view_->CommandEnabled(CmdEditPaste));
  view_->RunCommand(CmdEditPaste);
  EXPECT_EQ(Project().templates[63].fileId, kStill);
  EXPECT_EQ(Project().templates[0].fileId, kText);
  EXPECT_EQ(Project().templates[1].fileId, kMovie);
  EXPECT_EQ(Project().templates[62].fileId, kText);
  EXPECT_EQ(view_->CurrentRow(), 1);
  EXPECT_EQ(SelectedTemplateSlots(Project().templates), (std::vector<int>{0, 1, 63}));
  EXPECT_EQ(view_->Cell(0).text, QStringLiteral(" 1 ID:0005 テキスト"));
  EXPECT_TRUE(document_->Modified());
}

TEST_F(EventViewTest, CopyCutAndSelectAllDelete) {
  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, RowPoint(2));
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::ShiftModifier, RowPoint(4));
  ASSERT_EQ(SelectedTemplateSlots(Project().templates), (std::vector<int>{2, 3, 4}));
  view_->RunCommand(CmdEditCut);
  const auto cut = EventsFromClipboard();
  ASSERT_TRUE(cut);
  ASSERT_EQ(cut->size(), 1u);  // only row 2 was in use
  EXPECT_EQ((*cut)[0].fileId, kStill);
  EXPECT_FALSE(Project().templates[2].InUse());
  EXPECT_TRUE(document_->Modified());

  view_->RunCommand(CmdEditSelectAll);
  EXPECT_EQ(CountSelectedTemplates(Project().templates), 64);
  view_->RunCommand(CmdEditClear);
  for (int i = 0; i < kTemplateCount; ++i) {
    EXPECT_EQ(Project().templates[static_cast<size_t>(i)].flags, 0u) << i;
  }
  EXPECT_EQ(view_->Cell(10).text, QStringLiteral(" A 未設定"));
  EXPECT_FALSE(view_->CommandEnabled(CmdEditClear));
  EXPECT_FALSE(view_->CommandEnabled(CmdEditCopy));
}

TEST_F(EventViewTest, ContextMenuGreysWhatCannotRun) {
  auto texts = [](QMenu& menu) {
    QStringList list;
    for (QAction* a : menu.actions()) {
      list << (a->isSeparator() ? QStringLiteral("-")
                                : a->text() + (a->isEnabled() ? QString() : QStringLiteral("*")));
    }
    return list;
  };
  QApplication::clipboard()->clear();
  auto menu = view_->MakeContextMenu();
  EXPECT_EQ(texts(*menu),
            (QStringList{"プロパティ(&S)...*", "-", "切り取り(&T)*", "コピー(&C)*", "貼り付け(&P)*",
                         "消去(&E)*", "-", "すべて選択(&A)", "-", "プレビュー表示(&V)"}));
  EXPECT_TRUE(menu->actions().last()->isChecked());

  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, RowPoint(2));
  view_->RunCommand(CmdEditCopy);
  menu = view_->MakeContextMenu();
  EXPECT_EQ(texts(*menu),
            (QStringList{"プロパティ(&S)...", "-", "切り取り(&T)", "コピー(&C)", "貼り付け(&P)",
                         "消去(&E)", "-", "すべて選択(&A)", "-", "プレビュー表示(&V)"}));
  // An unset row selected: it can be deleted and edited, not copied.
  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, RowPoint(5));
  EXPECT_FALSE(view_->CommandEnabled(CmdEditCopy));
  EXPECT_TRUE(view_->CommandEnabled(CmdEditClear));
}

TEST_F(EventViewTest, PropertiesEditTheSelectedTemplatesWithStartZero) {
  Project().templates[2].start = 9;  // a stray start is put right
  QTest::mouseClick(Viewport(), Qt::LeftButton, {}, RowPoint(2));
  QTest::mouseClick(Viewport(), Qt::LeftButton, Qt::ControlModifier, RowPoint(7));
  bool found = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<CEventPropertyDlg*>(w);
      if (dialog == nullptr || !dialog->isVisible()) continue;
      found = true;
      // Two templates: the several-events form.
      EXPECT_EQ(dialog->interpolateBox()->checkState(), Qt::PartiallyChecked);
      dialog->fieldEdit(EventDialogField::Green)->setText(QStringLiteral("42"));
      QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                        Qt::LeftButton);
    }
  });
  view_->RunCommand(CmdProperties);
  EXPECT_TRUE(found);
  for (int slot : {2, 7}) {
    const EventRecord& t = Project().templates[static_cast<size_t>(slot)];
    EXPECT_TRUE(t.InUse()) << slot;
    EXPECT_EQ(t.green, 42) << slot;
    EXPECT_EQ(t.start, 0u) << slot;
  }
  EXPECT_EQ(Project().templates[2].fileId, kStill);
  EXPECT_TRUE(document_->Modified());
  EXPECT_EQ(view_->Cell(7).text, QStringLiteral(" 8 ID:0000 不明"));
}

}  // namespace
}  // namespace tavrona
