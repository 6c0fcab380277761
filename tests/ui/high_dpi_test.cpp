// The program on a screen scaled by 2: the panes' geometry stays in logical pixels, so a click
// anywhere inside a logical pixel (on either of its device pixels) lands on the row or frame the
// same logical pixel chooses at scale 1; toolbar icons and drag cursors have pictures drawn for
// the denser screen.
//
// The scale factor is read when the application starts, so this program has its own main.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <cmath>
#include <memory>
#include <ostream>

#include "ui/cursors.h"
#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/panes/event_view.h"
#include "ui/panes/event_view_logic.h"
#include "ui/panes/file_view.h"
#include "ui/panes/file_view_logic.h"
#include "ui/panes/track_view.h"
#include "ui/panes/track_view_logic.h"
#include "ui/profile.h"
#include "ui/prompts.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QSize& size, std::ostream* out) {
  *out << size.width() << " x " << size.height();
}
QT_END_NAMESPACE

namespace tavrona {
namespace {

// A left click at a logical position that need not be whole: what the window system delivers
// for a device pixel at scale 2 (device pixel 31 is logical 15.5).
void ClickAt(QWidget* widget, QPointF point) {
  const QPointF global = widget->mapToGlobal(point);
  QMouseEvent press(QEvent::MouseButtonPress, point, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, point, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

// The logical pixel a device pixel at scale 2 belongs to, as a scale-1 click would give it.
int Logical(qreal coordinate) {
  return static_cast<int>(std::floor(coordinate));
}

class HighDpiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    SetPromptHookForTests([](Prompt&) { return PromptAnswer::Ok; });
    document_ = std::make_unique<CKeldaDoc>();
    Project().frameRate = 30.0;
    Project().movieLength = 300;
  }
  void TearDown() override {
    widget_.reset();
    document_.reset();
    SetPromptHookForTests(nullptr);
  }
  ProjectData& Project() { return document_->Project(); }
  template <typename Pane>
  Pane* Show(QSize size) {
    auto pane = std::make_unique<Pane>(*document_);
    Pane* raw = pane.get();
    widget_ = std::move(pane);
    widget_->resize(size);
    widget_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(widget_.get()));
    raw->OnUpdate(nullptr);
    // The whole program sees the screen at twice its logical size.
    EXPECT_EQ(raw->viewport()->devicePixelRatio(), 2.0);
    return raw;
  }

  QTemporaryDir dir_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<QWidget> widget_;
};

TEST_F(HighDpiTest, TimelineRowsAndRulerFramesAreHitOnEveryDevicePixel) {
  CTrackView* view = Show<CTrackView>(QSize(640, 480));
  QWidget* viewport = view->viewport();
  // Track rows: both device pixels of each logical row of the first five tracks, including the
  // last device pixel of a row, which rounding would hand to the row below.
  for (qreal y = kRowsTop; y < kRowsTop + 5 * kRowHeight; y += 0.5) {
    ClickAt(viewport, QPointF(40, y));
    const std::optional<uint32_t> row = TrackRowAt(Logical(y));
    ASSERT_TRUE(row.has_value()) << "y " << y;
    EXPECT_EQ(view->State().currentTrack, *row) << "y " << y;
  }
  // The ruler's tick strip: the position frame of each device pixel across 100 logical pixels.
  const uint32_t scale = view->State().scale;
  for (qreal x = 0; x < 100; x += 0.5) {
    ClickAt(viewport, QPointF(x, kTickStripTop + 5.5));
    EXPECT_EQ(view->State().position, FrameAtX(Logical(x), scale)) << "x " << x;
    EXPECT_EQ(document_->position, view->State().position);
  }
  // Above the tick strip a click changes nothing.
  const uint32_t before = view->State().position;
  ClickAt(viewport, QPointF(100, kTickStripTop - 0.5));
  EXPECT_EQ(view->State().position, before);
}

TEST_F(HighDpiTest, FileRowsAreHitOnEveryDevicePixelAndPaintWholeDevicePixels) {
  for (int id = 0; id < 6; ++id) Project().files[static_cast<size_t>(id)].kind = FileMovie;
  CFileView* view = Show<CFileView>(QSize(400, 300));
  QWidget* viewport = view->viewport();
  for (qreal y = 0; y < 6 * kFileRowHeight; y += 0.5) {
    ClickAt(viewport, QPointF(200, y));
    const int32_t expected =
        FileAtPoint(FileCells(Project(), view->Selection(), QRect(QPoint(0, 0), viewport->size())),
                    QPoint(200, Logical(y)));
    ASSERT_GE(expected, 0) << "y " << y;
    EXPECT_EQ(view->Selection().current, expected) << "y " << y;
    EXPECT_TRUE(view->Selection().IsSelected(expected));
    EXPECT_EQ(view->Selection().Count(), 1);
  }
  // Row 5 is selected and current: its one-pixel red frame covers exactly the two device rows
  // of logical row 100, with no blended row on either side.
  view->repaint();
  const QImage shown = viewport->grab().toImage();
  ASSERT_EQ(shown.size(), viewport->size() * 2);
  const int top = 2 * kFileRowHeight * 5;
  EXPECT_EQ(shown.pixel(400, top - 1), qRgb(255, 255, 255));  // row 4's last device row
  EXPECT_EQ(shown.pixel(400, top), qRgb(255, 0, 0));
  EXPECT_EQ(shown.pixel(400, top + 1), qRgb(255, 0, 0));
  EXPECT_EQ(shown.pixel(400, top + 2), qRgb(192, 192, 192));  // the selected row's fill
}

TEST_F(HighDpiTest, TemplateRowsAreHitOnEveryDevicePixel) {
  CEventView* view = Show<CEventView>(QSize(320, 200));
  QWidget* viewport = view->viewport();
  for (qreal y = 0; y < 6 * kEventRowHeight; y += 0.5) {
    ClickAt(viewport, QPointF(150, y));
    const std::optional<int> row = EventRowAt(150, Logical(y));
    ASSERT_TRUE(row.has_value()) << "y " << y;
    EXPECT_EQ(view->CurrentRow(), *row) << "y " << y;
  }
}

// The icon's picture for ratio 2 is 32 x 32 device pixels and drawn for it: not the 16 x 16
// picture with each pixel doubled.
TEST_F(HighDpiTest, EveryToolbarIconHasAPictureDrawnForRatioTwo) {
  auto frame = std::make_unique<CMainFrame>(*document_);
  QToolBar* bar = frame->findChild<QToolBar*>();
  ASSERT_NE(bar, nullptr);
  int icons = 0;
  for (QAction* action : bar->actions()) {
    if (action->isSeparator()) continue;
    ++icons;
    const QIcon icon = action->icon();
    const QPixmap one = icon.pixmap(QSize(16, 16), 1.0);
    const QPixmap two = icon.pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(one.size(), QSize(16, 16)) << action->toolTip().toStdString();
    EXPECT_EQ(two.size(), QSize(32, 32)) << action->toolTip().toStdString();
    EXPECT_EQ(two.devicePixelRatio(), 2.0) << action->toolTip().toStdString();
    const QImage doubled = one.toImage()
                               .convertToFormat(QImage::Format_ARGB32)
                               .scaled(32, 32, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QImage sharp = two.toImage().convertToFormat(QImage::Format_ARGB32);
    sharp.setDevicePixelRatio(1.0);
    EXPECT_NE(sharp, doubled) << action->toolTip().toStdString();
    // And the picture is not empty.
    EXPECT_NE(sharp, QImage(32, 32, QImage::Format_ARGB32)) << action->toolTip().toStdString();
  }
  EXPECT_GT(icons, 5);
}

TEST_F(HighDpiTest, DragCursorsHavePicturesAtRatioTwoWithTheHotSpotInLogicalPixels) {
  for (const PaneCursorId id : {CursorAdd, CursorNoDrop, CursorMove}) {
    const QCursor cursor = PaneCursor(id);
    const QPixmap picture = cursor.pixmap();
    EXPECT_EQ(picture.devicePixelRatio(), 2.0) << id;
    EXPECT_EQ(picture.size(), QSize(64, 64)) << id;
    const QPoint hot = id == CursorNoDrop ? QPoint(15, 15) : QPoint(16, 8);
    EXPECT_EQ(cursor.hotSpot(), hot) << id;

    // The large picture covers what the small one covers, pixel for 2 x 2 block, give or take
    // the quarters that smooth a diagonal; and it is more than the small one doubled.
    const QImage small = PaneCursorPixmap(id, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage large = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(small.size(), QSize(32, 32));
    int smallOpaque = 0;
    int largeOpaque = 0;
    int blocksMatchingCentre = 0;
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 32; ++x) {
        smallOpaque += qAlpha(small.pixel(x, y)) != 0 ? 1 : 0;
        int same = 0;
        for (int q = 0; q < 4; ++q) {
          const QRgb quarter = large.pixel(2 * x + q % 2, 2 * y + q / 2);
          largeOpaque += qAlpha(quarter) != 0 ? 1 : 0;
          same += quarter == small.pixel(x, y) ? 1 : 0;
        }
        blocksMatchingCentre += same >= 2 ? 1 : 0;
      }
    }
    EXPECT_EQ(blocksMatchingCentre, 32 * 32) << id;
    EXPECT_NEAR(largeOpaque, 4 * smallOpaque, smallOpaque / 5) << id;
    EXPECT_NE(large, small.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::FastTransformation)) << id;
    // The hot spot's pixel is painted in both.
    EXPECT_EQ(qAlpha(small.pixel(hot)), 255) << id;
    EXPECT_EQ(qAlpha(large.pixel(hot * 2)), 255) << id;
  }
}

}  // namespace
}  // namespace tavrona

int main(int argc, char** argv) {
  // Before the application exists: both are read when it starts.
  qputenv("QT_SCALE_FACTOR", "2");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
