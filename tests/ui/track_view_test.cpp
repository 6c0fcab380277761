#include "ui/panes/track_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "qt_printers.h"
#include "ui/clipboard.h"
#include "ui/cursors.h"
#include "ui/document.h"
#include "ui/profile.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

EventRecord Ev(uint32_t start, int32_t fileId = 0, uint32_t flags = EventInUse) {
  EventRecord r{};
  r.flags = flags;
  r.start = start;
  r.fileId = fileId;
  return r;
}

void Fill(TrackData& track, const std::vector<EventRecord>& events) {
  ASSERT_TRUE(ResetTrack(track, 0));
  ASSERT_TRUE(InsertSorted(track, static_cast<uint32_t>(events.size()), events.data()));
}

std::vector<uint32_t> Starts(const TrackData& t) {
  std::vector<uint32_t> s;
  for (uint32_t i = 0; i < t.count; ++i) s.push_back(t.events[i].start);
  return s;
}

std::unique_ptr<ProjectData> NewProject() {
  auto p = AllocateProjectData();
  p->frameRate = 30.0;
  p->movieLength = 300;
  return p;
}

// --- Geometry and the paint picture, without widgets ----------------------------------------

TEST(TrackViewLogic, MappingStepsAndScrollSizes) {
  EXPECT_EQ(FrameToX(10, 4), 80u);
  EXPECT_EQ(FrameToX(33, 1024), 1u);
  EXPECT_EQ(FrameAtX(83, 4), 10u);  // (332 + 16) / 32
  EXPECT_EQ(FrameAtX(84, 4), 11u);  // nearest frame
  EXPECT_EQ(FrameAtX(-50, 4), 0u);  // a captured mouse left of the pane
  EXPECT_EQ(LabelStep(4), 13u);
  EXPECT_EQ(LabelStep(1), 4u);
  EXPECT_EQ(LabelStep(1024), 3200u);
  EXPECT_TRUE(DrawsFrameTicks(8));
  EXPECT_FALSE(DrawsFrameTicks(16));

  ScrollSizes s = TrackViewScrollSizes(0, 4, QSize(333, 250));
  EXPECT_EQ(s.total, QSize(100, 4192));
  EXPECT_EQ(s.page, QSize(320, 240));
  EXPECT_EQ(s.line, QSize(16, 16));
  // Far beyond 65535 pixels.
  EXPECT_EQ(TrackViewScrollSizes(kMaxMovieLength, 1, QSize(100, 100)).total.width(),
            1048576 * 32 + 100);
}

// A plain reference of the event bars of one track: walks from the first event as the drawing
// rule reads.
std::vector<std::array<int, 5>> ReferenceBars(const TrackData& t, uint32_t scale, int left,
                                              int right, int y) {
  std::vector<std::array<int, 5>> bars;
  const uint32_t f0 = scale * left / 32, f1 = scale * (right + 200) / 32;
  for (uint32_t e = 0; t.events[e].start < f1; ++e) {
    if (!(t.events[e].flags & EventInUse) || t.events[e + 1].start <= f0) continue;
    const int xs = static_cast<int>(t.events[e].start * 32 / scale);
    const int xe =
        e + 1 < t.count ? static_cast<int>(t.events[e + 1].start * 32 / scale) : right + 200;
    const bool sel = (t.events[e].flags & 3) == 3;
    bars.push_back({xs, y + 1, xe, y + 15, sel ? 0x800000 : 0x808080});
  }
  return bars;
}

TEST(TrackViewLogic, AllTracksPictureMatchesTheRuleAtEveryScale) {
  auto p = NewProject();
  std::vector<EventRecord> evs;
  for (uint32_t i = 0; i < 500; ++i) {
    evs.push_back(Ev(i * 37 + (i % 3), i, (i % 7 == 0) ? 0 : (i % 5 == 0 ? 3 : 1)));
  }
  Fill(p->tracks[3], evs);
  Fill(p->tracks[0], {Ev(5), Ev(5), Ev(90)});
  p->movieLength = 20000;
  TrackViewState s;
  s.currentTrack = 3;
  s.position = 40;
  s.rangeStart = 30;
  s.rangeEnd = 60;
  std::vector<TrackDrawOp> ops;
  TrackViewCells cells;
  for (uint32_t scale = 1; scale <= 1024; scale *= 2) {
    s.scale = scale;
    for (int left : {0, 700, 5000}) {
      const VisibleRect v{left, 0, left + 640, 480};
      BuildTrackViewPaint(*p, s, v, ops, cells);
      // Bars of track 3 (y = 80) in order, as the reference walk finds them.
      std::vector<std::array<int, 5>> got;
      for (const TrackDrawOp& op : ops) {
        if (op.kind == TrackDrawOp::Fill && op.top == 81 && op.bottom == 95) {
          got.push_back({op.left, op.top, op.right, op.bottom, static_cast<int>(op.colour)});
        }
      }
      EXPECT_EQ(got, ReferenceBars(p->tracks[3], scale, left, left + 640, 80))
          << "scale " << scale << " left " << left;
      // The first ops: strips, movie-end marker.
      ASSERT_GE(ops.size(), 3u);
      EXPECT_EQ(
          std::make_tuple(ops[0].left, ops[0].top, ops[0].right, ops[0].bottom, ops[0].colour),
          std::make_tuple(left, 20, left + 640, 32, kLightGrey));
      EXPECT_EQ(std::make_tuple(ops[1].top, ops[1].bottom, ops[1].colour),
                std::make_tuple(32, 64, kPaleGrey));
      const int xm = static_cast<int>(20000u * 32 / scale);
      EXPECT_EQ(std::make_tuple(ops[2].left, ops[2].right, ops[2].colour),
                std::make_tuple(xm - 1, xm + 1, kBlack));
      // The last op is the movie-end line over all rows.
      EXPECT_EQ(std::make_tuple(ops.back().left, ops.back().top, ops.back().bottom),
                std::make_tuple(xm - 1, 32, 4128));
      // Labels at multiples of the step from (F0 / S) S, ticks only at scales up to 8.
      const uint32_t step = (scale * 100 + 31) / 32;
      const uint32_t f0 = scale * left / 32, f1 = scale * (left + 840) / 32;
      std::vector<int> labels, expectLabels;
      int ticks = 0;
      for (const TrackDrawOp& op : ops) {
        if (op.kind == TrackDrawOp::Text && op.top == 2) labels.push_back(op.left);
        if (op.kind == TrackDrawOp::Fill && op.top == 28) ++ticks;
      }
      for (uint32_t t = f0 / step * step; t < f1 / step * step; t += step) {
        expectLabels.push_back(static_cast<int>(t * 32 / scale));
      }
      EXPECT_EQ(labels, expectLabels) << "scale " << scale;
      if (scale >= 16) {
        EXPECT_EQ(ticks, 0);
      } else {
        EXPECT_EQ(ticks, static_cast<int>(f1 + scale * 200 / 32 - f0)) << "scale " << scale;
      }
    }
  }
  // Cells: 256 rows (current one coloured), then empty rectangles.
  EXPECT_EQ(cells[3].colour1, kCurrentRowFill);
  EXPECT_EQ(cells[3].colour2, kCurrentRowFrame);
  EXPECT_EQ(cells[4].colour1, kPaleGrey);
  EXPECT_EQ(std::make_tuple(cells[255].top, cells[255].bottom, cells[255].data),
            std::make_tuple(4112, 4128, 255));
  EXPECT_EQ(cells[255].left, 5000 - 200);
  EXPECT_EQ(std::make_tuple(cells[256].left, cells[256].bottom), std::make_tuple(-1, -1));
  EXPECT_EQ(CellAt(cells, 5000, 80), 3);
  EXPECT_EQ(CellAt(cells, 5000, 10), -1);
}

TEST(TrackViewLogic, SingleTrackBandCaptionAndList) {
  auto p = NewProject();
  Fill(p->tracks[2], {Ev(0, 7), Ev(30, 8, 3), Ev(60, 9, 0), Ev(90, 10)});
  TrackViewState s;
  s.displayMode = DisplaySingleTrack;
  s.currentTrack = 2;
  s.position = 30;
  std::vector<TrackDrawOp> ops;
  TrackViewCells cells;
  BuildTrackViewPaint(*p, s, {0, 0, 640, 480}, ops, cells);
  // Band: events 0, 1 and 3 (2 is not in use).
  EXPECT_EQ(std::make_tuple(cells[0].left, cells[0].top, cells[0].right, cells[0].bottom,
                            cells[0].data, cells[0].text),
            std::make_tuple(0, 32, 240, 64, 0, QString(" 0007")));
  EXPECT_EQ(std::make_tuple(cells[1].colour1, cells[1].colour2),
            std::make_tuple(kLightGrey, kGrey));
  EXPECT_EQ(std::make_tuple(cells[2].left, cells[2].right, cells[2].data),
            std::make_tuple(720, 840, 3));
  EXPECT_EQ(std::make_tuple(cells[2].colour1, cells[2].colour2),
            std::make_tuple(kWhite, kLightGrey));
  // List from the position: events 1 and 3.
  EXPECT_EQ(std::make_tuple(cells[3].top, cells[3].data, cells[3].text),
            std::make_tuple(80, 1, QString(" 00:01.000 ID:0008")));
  EXPECT_EQ(std::make_tuple(cells[4].top, cells[4].data, cells[4].text),
            std::make_tuple(96, 3, QString(" 00:03.000 ID:0010")));
  EXPECT_EQ(cells[5].left, -1);
  bool caption = false;
  for (const TrackDrawOp& op : ops) {
    caption |=
        op.kind == TrackDrawOp::Text && op.text == "Track 002" && op.left == 0 && op.top == 64;
  }
  EXPECT_TRUE(caption);
  EXPECT_EQ(CellAt(cells, 10, 100), 4);

  // No events: ruler, band background and caption, no rows.
  s.currentTrack = 9;
  BuildTrackViewPaint(*p, s, {0, 0, 640, 480}, ops, cells);
  EXPECT_EQ(cells[0].left, -1);
  EXPECT_EQ(ops[1].colour, kPaleGrey);
  EXPECT_EQ(ops.back().text, "Track 009");

  // A long list stops at the visible bottom and never below y = 4160; scrolled rows above the
  // top take no cell.
  std::vector<EventRecord> many;
  for (uint32_t i = 0; i < 300; ++i) many.push_back(Ev(i * 10, i));
  Fill(p->tracks[9], many);
  s.position = 0;
  BuildTrackViewPaint(*p, s, {0, 3000, 640, 5000}, ops, cells);
  int rows = 0, lastTop = 0;
  for (const PaneCell& c : cells) {
    if (c.left == 0 && c.right == 640) ++rows, lastTop = c.top;
  }
  EXPECT_EQ(lastTop, 4160);
  EXPECT_EQ(rows, (4160 - 2992) / 16 + 1);
}

// --- Editing rules, without widgets ----------------------------------------------------------

TEST(TrackViewLogic, TickStripRangeRules) {
  TrackViewState s;
  PressTickStrip(s, 50);
  ReleaseTickStrip(s, 20);  // dragged right to left: stored ordered
  EXPECT_EQ(std::make_tuple(s.position, s.rangeStart, s.rangeEnd), std::make_tuple(20u, 20u, 50u));
  PressTickStrip(s, 20);  // at the range start: the other end becomes the anchor end
  EXPECT_EQ(std::make_tuple(s.rangeStart, s.rangeEnd), std::make_tuple(50u, 20u));
  ReleaseTickStrip(s, 10);
  EXPECT_EQ(std::make_tuple(s.rangeStart, s.rangeEnd), std::make_tuple(10u, 50u));
  PressTickStrip(s, 50);  // at the range end: the range stays... and the press at start rule
  EXPECT_EQ(std::make_tuple(s.rangeStart, s.rangeEnd), std::make_tuple(10u, 50u));
  PressTickStrip(s, 70);  // elsewhere: collapses
  EXPECT_EQ(std::make_tuple(s.rangeStart, s.rangeEnd), std::make_tuple(70u, 70u));

  s = {};
  s.position = s.rangeStart = 5;
  s.rangeEnd = 9;
  StepPosition(s, -1, true, 100);  // the start end moves with the position
  EXPECT_EQ(std::make_tuple(s.position, s.rangeStart, s.rangeEnd), std::make_tuple(4u, 4u, 9u));
  StepPosition(s, -1, false, 100);
  EXPECT_EQ(std::make_tuple(s.position, s.rangeStart, s.rangeEnd), std::make_tuple(3u, 3u, 3u));
  s.position = s.rangeStart = s.rangeEnd = 0;
  StepPosition(s, -1, false, 100);
  EXPECT_EQ(s.position, 0u);
  s.position = s.rangeStart = s.rangeEnd = 100;
  StepPosition(s, 1, false, 100);
  EXPECT_EQ(s.position, 100u);
}

TEST(TrackViewLogic, SelectionMoveAndAnchorRules) {
  TrackData t;
  Fill(t, {Ev(0), Ev(10), Ev(20), Ev(30), Ev(40)});
  auto sel = [&] { return SelectedIndices(t); };
  ApplySelectionClick(t, 0, 1, false, false);
  EXPECT_EQ(sel(), std::vector<uint32_t>({1}));
  ApplySelectionClick(t, 1, 4, false, true);  // toggles 2, 3 then 4
  EXPECT_EQ(sel(), std::vector<uint32_t>({1, 2, 3, 4}));
  ApplySelectionClick(t, 4, 4, false, true);  // shift on the anchor: only it
  EXPECT_EQ(sel(), std::vector<uint32_t>({1, 2, 3}));
  ApplySelectionClick(t, 4, 2, true, false);
  EXPECT_EQ(sel(), std::vector<uint32_t>({1, 3}));
  ApplySelectionClick(t, 99, 0, false, true);  // an anchor past the end after a delete
  EXPECT_EQ(sel(), std::vector<uint32_t>({0, 2, 4}));

  // Moving before frame 0 or past 1048576 puts the event at 0.
  ClearSelection(t);
  t.events[1].flags |= EventSelected;
  t.events[4].flags |= EventSelected;
  ASSERT_TRUE(MoveSelected(t, static_cast<uint32_t>(-15)));
  EXPECT_EQ(Starts(t), std::vector<uint32_t>({0, 0, 20, 25, 30}));
  Fill(t, {Ev(kMaxMovieLength - 5, 1, 3), Ev(kMaxMovieLength - 10, 2, 3)});
  ASSERT_TRUE(MoveSelected(t, 6));  // max - 4 stays, max + 1 goes to 0
  EXPECT_EQ(Starts(t), std::vector<uint32_t>({0, kMaxMovieLength - 4}));
  ASSERT_TRUE(MoveSelected(t, 4));  // exactly the limit is allowed
  EXPECT_EQ(Starts(t), std::vector<uint32_t>({4, kMaxMovieLength}));
  ASSERT_TRUE(MoveSelected(t, static_cast<uint32_t>(-4)));

  EXPECT_EQ(EventHitAt(t, 3), 0);
  Fill(t, {Ev(10, 0, 0), Ev(20), Ev(20), Ev(50)});
  EXPECT_EQ(EventHitAt(t, 15), -1);  // not in use
  EXPECT_EQ(EventHitAt(t, 5), -1);
  EXPECT_EQ(EventHitAt(t, 20), 2);
  EXPECT_EQ(EventHitAt(t, 0xFFFFFFF0u), 3);

  TrackViewState s;
  s.anchorEvent = 17;  // past the end: clamped to the last event
  ASSERT_TRUE(StepAnchor(s, t, 1));
  EXPECT_EQ(s.anchorEvent, 3u);
  ASSERT_TRUE(StepAnchor(s, t, -1));
  EXPECT_EQ(sel(), std::vector<uint32_t>({2}));
  TrackData empty;
  ASSERT_TRUE(ResetTrack(empty, 0));
  EXPECT_FALSE(StepAnchor(s, empty, 1));
}

TEST(TrackViewLogic, AutoExtendClipboardDropAndKeys) {
  auto p = NewProject();
  EXPECT_FALSE(AutoExtendMovie(*p, true, 300));
  EXPECT_FALSE(AutoExtendMovie(*p, false, 500));
  EXPECT_TRUE(AutoExtendMovie(*p, true, 500));
  EXPECT_EQ(p->movieLength, 500u);
  EXPECT_TRUE(AutoExtendMovie(*p, true, 0xF0000000u));
  EXPECT_EQ(p->movieLength, kMaxMovieLength);

  TrackData t;
  Fill(t, {Ev(100, 1, 3), Ev(120, 9), Ev(130, 2, 3), Ev(250, 3, 3)});
  const std::vector<EventRecord> copied = EventsForClipboard(t);
  ASSERT_EQ(copied.size(), 3u);
  EXPECT_EQ(std::make_tuple(copied[0].start, copied[1].start, copied[2].start),
            std::make_tuple(0u, 30u, 150u));
  EXPECT_EQ(copied[1].flags, 3u);
  TrackData target;
  Fill(target, {Ev(1030, 5, 3)});
  ASSERT_TRUE(PasteEvents(target, copied, 1000));
  EXPECT_EQ(Starts(target), std::vector<uint32_t>({1000, 1030, 1030, 1150}));
  EXPECT_EQ(target.events[1].flags, 1u);  // the old selection cleared
  EXPECT_EQ(target.events[2].fileId, 2);  // pasted after the equal start, selected
  EXPECT_EQ(target.events[2].flags, 3u);
  // A block in no order (from a foreign writer) still lands sorted.
  ASSERT_TRUE(PasteEvents(target, {Ev(9, 1), Ev(2, 2)}, 0));
  EXPECT_EQ(Starts(target)[0], 2u);
  EXPECT_EQ(Starts(target)[1], 9u);
  ClearSelection(t);
  EXPECT_TRUE(EventsForClipboard(t).empty());

  TrackViewState s;
  s.currentTrack = 7;
  EXPECT_EQ(DropTrack(s, 31), std::nullopt);
  EXPECT_EQ(DropTrack(s, 48), 1u);
  EXPECT_EQ(DropTrack(s, 4127), 255u);
  EXPECT_EQ(DropTrack(s, 4128), std::nullopt);  // below the last row
  s.displayMode = DisplaySingleTrack;
  EXPECT_EQ(DropTrack(s, 40), 7u);
  EXPECT_EQ(DropTrack(s, 64), std::nullopt);

  std::array<char16_t, kTemplateCount> keys{};
  for (int i = 0; i < kTemplateCount; ++i) keys[i] = TemplateKey(i);
  EXPECT_EQ(TemplateForKey(keys, '1'), 0);
  EXPECT_EQ(TemplateForKey(keys, 'A'), 10);
  EXPECT_EQ(TemplateForKey(keys, ' '), std::nullopt);  // the unbound slots' key
  EXPECT_EQ(TemplateForKey(keys, Qt::Key_F1), std::nullopt);

  EXPECT_EQ(ScrollForPosition(50, 100, 400), 0);
  EXPECT_EQ(ScrollForPosition(300, 100, 400), std::nullopt);
  EXPECT_EQ(ScrollForPosition(500, 100, 400), 200);
}

// --- The widget ------------------------------------------------------------------------------

class TrackViewWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    AppProfile().Load(dir_.filePath("tavrona.INI").toStdString());
    SetPromptHookForTests([](Prompt&) { return PromptAnswer::Ok; });
    doc_ = std::make_unique<CKeldaDoc>();
    Project().frameRate = 30.0;
    Project().movieLength = 300;
    view_ = std::make_unique<CTrackView>(*doc_);
    view_->resize(640, 480);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    view_->OnUpdate(nullptr);
  }
  void TearDown() override {
    view_.reset();
    doc_.reset();
    SetPromptHookForTests(nullptr);
  }
  ProjectData& Project() { return doc_->Project(); }
  QWidget* Vp() { return view_->viewport(); }
  QImage Grab() { return Vp()->grab().toImage(); }
  QColor At(const QImage& img, int x, int y) { return QColor(img.pixel(x, y)); }
  void Press(QPoint p, Qt::KeyboardModifiers m = {}) {
    QTest::mousePress(Vp(), Qt::LeftButton, m, p);
  }
  void Release(QPoint p, Qt::KeyboardModifiers m = {}) {
    QTest::mouseRelease(Vp(), Qt::LeftButton, m, p);
  }
  void Click(QPoint p, Qt::KeyboardModifiers m = {}) {
    Press(p, m);
    Release(p, m);
  }
  void Key(int key, Qt::KeyboardModifiers m = {}) {
    QTest::keyClick(view_.get(), static_cast<Qt::Key>(key), m);
  }
  int Hx() { return view_->horizontalScrollBar()->value(); }

  QTemporaryDir dir_;
  std::unique_ptr<CKeldaDoc> doc_;
  std::unique_ptr<CTrackView> view_;
};

TEST_F(TrackViewWidget, PaintsTheAllTracksModeAtItsGeometryAndColours) {
  Fill(Project().tracks[0], {Ev(10, 1), Ev(20, 2, 3)});
  Fill(Project().tracks[2], {Ev(0, 3)});
  Project().movieLength = 50;
  view_->OnUpdate(nullptr);
  QImage img = Grab();
  // Scale 4: 8 pixels per frame.
  EXPECT_EQ(At(img, 85, 40), QColor(128, 128, 128));  // unselected bar, track 0
  EXPECT_EQ(At(img, 165, 40), QColor(0, 0, 128));     // selected bar reaches past the view
  EXPECT_EQ(At(img, img.width() - 2, 46), QColor(0, 0, 128));
  EXPECT_EQ(At(img, 165, 32), QColor(255, 0, 0));     // current row's frame above the bar
  EXPECT_EQ(At(img, 60, 40), QColor(128, 128, 255));  // current row's fill
  EXPECT_EQ(At(img, 60, 56), QColor(224, 224, 224));  // another row
  EXPECT_EQ(At(img, 60, 48), QColor(192, 192, 192));  // its frame
  EXPECT_EQ(At(img, 60, 70), QColor(128, 128, 128));  // track 2 from frame 0
  EXPECT_EQ(At(img, 399, 200), QColor(0, 0, 0));      // movie-end line at x(50) = 400
  EXPECT_EQ(At(img, 400, 3), QColor(255, 255, 255));  // not in the label strip
  EXPECT_EQ(At(img, 0, 25), QColor(255, 0, 0));       // position marker at 0
  EXPECT_EQ(At(img, 12, 22), QColor(192, 192, 192));  // tick strip
  EXPECT_EQ(At(img, 16, 29), QColor(0, 0, 0));        // frame tick at frame 2
  EXPECT_EQ(view_->Cells()[0].data, 0);

  // Selection of another track, range, scroll.
  Click(QPoint(5 * 8, 32 + 16 * 2 + 5));  // track 2, its event
  Press(QPoint(80, 25));
  Release(QPoint(160, 25));
  img = Grab();
  EXPECT_EQ(view_->State().currentTrack, 2u);
  EXPECT_EQ(At(img, 60, 70), QColor(0, 0, 128));
  EXPECT_EQ(At(img, 60, 40), QColor(224, 224, 224));
  EXPECT_EQ(At(img, 120, 25), QColor(0, 0, 192));  // range 10..20
  EXPECT_EQ(At(img, 80, 25), QColor(0, 0, 0));
  EXPECT_EQ(At(img, 159, 25), QColor(255, 0, 0));  // the position at the range end, last
  view_->ScrollToPosition(QPoint(0, 16 * 10));
  img = Grab();
  EXPECT_EQ(At(img, 60, 70 - 160 + 160), At(img, 60, 70));  // rows scroll with the document
  EXPECT_EQ(At(img, 300, 40), QColor(224, 224, 224));       // track 10's row at viewport y 32
}

TEST_F(TrackViewWidget, PaintsTheSingleTrackModeAndScrollsFarBeyond65535Pixels) {
  Fill(Project().tracks[0], {Ev(0, 7), Ev(30, 8)});
  view_->RunCommand(CmdShowAllTracks);
  EXPECT_FALSE(view_->CommandChecked(CmdShowAllTracks));
  QImage img = Grab();
  EXPECT_EQ(At(img, 100, 48), QColor(255, 255, 255));  // band cell fill
  EXPECT_EQ(At(img, 100, 32), QColor(192, 192, 192));  // its frame
  EXPECT_EQ(At(img, 400, 90), QColor(255, 255, 255));  // list row
  EXPECT_EQ(At(img, 400, 80), QColor(192, 192, 192));
  EXPECT_EQ(At(img, 100, 140), QColor(255, 255, 255));  // nothing below the rows
  // Click a list row (y >= 64): selects that event through the cell array.
  Click(QPoint(100, 100));
  img = Grab();
  EXPECT_EQ(SelectedIndices(Project().tracks[0]), std::vector<uint32_t>({1}));
  EXPECT_EQ(At(img, 300, 48), QColor(192, 192, 192));  // selected band cell
  Click(QPoint(100, 200));                             // no row: selection cleared
  EXPECT_TRUE(SelectedIndices(Project().tracks[0]).empty());

  view_->RunCommand(CmdShowAllTracks);
  Project().movieLength = kMaxMovieLength;
  for (int i = 0; i < 2; ++i) view_->RunCommand(CmdZoomIn);
  EXPECT_EQ(view_->State().scale, 1u);
  EXPECT_FALSE(view_->CommandEnabled(CmdZoomIn));
  EXPECT_EQ(view_->TotalSize().width(), 1048576 * 32 + 100);
  Fill(Project().tracks[0], {Ev(1000000, 1)});
  view_->ScrollToPosition(QPoint(31999980, 0));
  EXPECT_EQ(Hx(), 31999980);
  img = Grab();
  EXPECT_EQ(At(img, 5, 40), QColor(128, 128, 255));  // before the event at x 32,000,000
  EXPECT_EQ(At(img, 50, 40), QColor(128, 128, 128));
}

// A band cell is framed on its outer edge wherever the view is scrolled: the frame pixels that
// are visible are those of the whole cell, however far the cell reaches past any side of the
// viewport.
TEST_F(TrackViewWidget, BandCellsKeepTheirFrameWhenClippedOnAnySide) {
  // Track 4: an event at frame 130 up to the next at 250; at scale 2 the first cell spans
  // x 2080..4000 of the band (y 32..64), white framed in light grey.
  Fill(Project().tracks[4], {Ev(130, 1), Ev(250, 2)});
  Click(QPoint(5, kRowsTop + 4 * kRowHeight + 8));
  ASSERT_EQ(view_->State().currentTrack, 4u);
  view_->RunCommand(CmdShowAllTracks);
  view_->RunCommand(CmdZoomIn);
  ASSERT_EQ(view_->State().scale, 2u);
  const QRect cell(QPoint(2080, 32), QPoint(3999, 63));
  const QColor frame(192, 192, 192), fill(255, 255, 255);

  // Every visible pixel of the frame has the frame colour; the pixels just inside the visible
  // part of the frame have the fill colour.
  auto expectFramed = [&](const char* side) {
    SCOPED_TRACE(side);
    const QImage img = Grab();
    const QRect visible(view_->ScrollPosition(), img.size());
    const QRect shown = cell.intersected(visible);
    ASSERT_FALSE(shown.isEmpty());
    int checked = 0;
    for (int y = shown.top(); y <= shown.bottom(); ++y) {
      for (int x = shown.left(); x <= shown.right(); ++x) {
        const bool onFrame =
            x == cell.left() || x == cell.right() || y == cell.top() || y == cell.bottom();
        if (!onFrame) continue;
        ASSERT_EQ(At(img, x - visible.left(), y - visible.top()), frame)
            << "document pixel " << x << ", " << y;
        ++checked;
      }
    }
    EXPECT_GT(checked, 0);
    const QRect inside = cell.adjusted(1, 1, -1, -1).intersected(visible);
    for (QPoint p : {inside.bottomRight(), inside.bottomLeft(), inside.topRight()}) {
      if (p.x() < 2080 + 100) continue;  // the text " 0001" sits at the cell's left
      EXPECT_EQ(At(img, p.x() - visible.left(), p.y() - visible.top()), fill)
          << "document pixel " << p.x() << ", " << p.y();
    }
  };

  view_->ScrollToPosition(QPoint(3800, 0));  // the cell starts far left of the view
  ASSERT_EQ(Hx(), 3800);
  EXPECT_EQ(At(Grab(), 3999 - 3800, 63), frame);  // its bottom right corner
  expectFramed("left");
  view_->ScrollToPosition(QPoint(1800, 0));  // it ends far right of the view
  expectFramed("right");
  view_->ScrollToPosition(QPoint(3000, 40));  // its top is above the view
  ASSERT_EQ(view_->ScrollPosition().y(), 40);
  expectFramed("top");
  // Its bottom is below the view: a viewport 50 pixels high.
  view_->resize(640, view_->height() - Vp()->height() + 50);
  ASSERT_EQ(Vp()->height(), 50);
  view_->ScrollToPosition(QPoint(3000, 0));
  expectFramed("bottom");
  view_->ScrollToPosition(QPoint(3950, 0));  // left and bottom at once, the right end in view
  expectFramed("left and bottom");
}

TEST_F(TrackViewWidget, ZoomKeepsTheLeftEdgeTimeAndMenuStates) {
  Project().movieLength = 10000;
  view_->OnUpdate(nullptr);
  view_->ScrollToPosition(QPoint(800, 0));  // frame 100 at scale 4
  view_->RunCommand(CmdZoomOut);
  EXPECT_EQ(view_->State().scale, 8u);
  EXPECT_EQ(Hx(), 400);
  view_->RunCommand(CmdZoomIn);
  view_->RunCommand(CmdZoomIn);
  EXPECT_EQ(view_->State().scale, 2u);
  EXPECT_EQ(Hx(), 1600);
  view_->RunCommand(CmdZoomIn);
  view_->RunCommand(CmdZoomIn);  // at scale 1: no change
  EXPECT_EQ(view_->State().scale, 1u);
  EXPECT_EQ(Hx(), 3200);
  for (int i = 0; i < 12; ++i) view_->RunCommand(CmdZoomOut);
  EXPECT_EQ(view_->State().scale, 1024u);
  EXPECT_FALSE(view_->CommandEnabled(CmdZoomOut));
  EXPECT_TRUE(view_->CommandEnabled(CmdZoomIn));
  EXPECT_TRUE(view_->CommandChecked(CmdAutoExtend));
  view_->RunCommand(CmdAutoExtend);
  EXPECT_FALSE(view_->CommandChecked(CmdAutoExtend));
  EXPECT_FALSE(view_->CommandEnabled(CmdEditUndo));
  // The context menu's own states: zoom out greyed from 256 on.
  for (int i = 0; i < 2; ++i) view_->RunCommand(CmdZoomIn);
  EXPECT_EQ(view_->State().scale, 256u);
  std::unique_ptr<QMenu> menu(view_->MakeContextMenu());
  QStringList texts;
  for (QAction* a : menu->actions()) {
    if (!a->isSeparator()) texts << a->text();
    if (a->data().toInt() == CmdZoomOut) EXPECT_FALSE(a->isEnabled());
    if (a->data().toInt() == CmdZoomIn) EXPECT_TRUE(a->isEnabled());
    if (a->data().toInt() == CmdAutoExtend) EXPECT_FALSE(a->isChecked());
  }
  EXPECT_EQ(texts, QStringList({"プロパティ(&S)...", "切り取り(&T)", "コピー(&C)", "貼り付け(&P)",
                                "消去(&E)", "すべて選択(&A)", "プレビュー表示(&V)",
                                "全トラック表示(&A)", "拡大(&I)", "縮小(&O)", "自動拡張(&E)"}));
  // The autoExtend flag survives through the profile.
  menu.reset();
  view_.reset();
  view_ = std::make_unique<CTrackView>(*doc_);
  EXPECT_FALSE(view_->State().autoExtend);
}

TEST_F(TrackViewWidget, RightClickMenuRunsTheChosenCommand) {
  Fill(Project().tracks[0], {Ev(0), Ev(10)});
  QStringList seen;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions()) {
      if (a->data().toInt() == CmdEditSelectAll) {
        seen << a->text();
        menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Return);
      }
    }
  });
  QTest::mouseClick(Vp(), Qt::RightButton, {}, QPoint(50, 50));
  EXPECT_EQ(seen, QStringList({"すべて選択(&A)"}));
  EXPECT_EQ(SelectedIndices(Project().tracks[0]).size(), 2u);
}

TEST_F(TrackViewWidget, TickStripLabelStripAndPositionPreview) {
  doc_->preview = {};
  Click(QPoint(100, 10));  // label strip: nothing
  EXPECT_EQ(view_->State().position, 0u);
  EXPECT_FALSE(doc_->preview.needsRender);
  Press(QPoint(400, 25));
  EXPECT_EQ(doc_->preview.mode, PreviewAllTracks);
  EXPECT_EQ(doc_->preview.frame, 50u);
  doc_->preview = {};
  QTest::mouseMove(Vp(), QPoint(160, 25));
  Release(QPoint(160, 25));
  EXPECT_EQ(std::make_tuple(view_->State().rangeStart, view_->State().rangeEnd, doc_->position),
            std::make_tuple(20u, 50u, 20u));
  EXPECT_EQ(doc_->preview.mode, PreviewTrack);  // a range: the current track alone
  EXPECT_EQ(doc_->preview.frame, 20u);
  // Preview off: no requests.
  view_->RunCommand(CmdPreview);
  doc_->preview = {};
  Click(QPoint(240, 25));
  EXPECT_FALSE(doc_->preview.needsRender);
  EXPECT_EQ(view_->State().position, 30u);
}

TEST_F(TrackViewWidget, SelectsMovesAndClampsEventsWithTheMouse) {
  Fill(Project().tracks[1], {Ev(10, 1), Ev(20, 2), Ev(30, 3), Ev(40, 4)});
  const int y = 32 + 16 + 8;
  Click(QPoint(85, y));
  EXPECT_EQ(doc_->preview.mode, PreviewScratchEvent);
  EXPECT_EQ(doc_->scratchEvent.fileId, 1);
  Click(QPoint(330, y), Qt::ShiftModifier);  // 0 .. 3: toggles 1, 2, 3
  EXPECT_EQ(SelectedIndices(Project().tracks[1]), std::vector<uint32_t>({0, 1, 2, 3}));
  Click(QPoint(170, y), Qt::ControlModifier);
  EXPECT_EQ(SelectedIndices(Project().tracks[1]), std::vector<uint32_t>({0, 2, 3}));
  Click(QPoint(20, y));  // before the first event: all cleared
  EXPECT_TRUE(SelectedIndices(Project().tracks[1]).empty());

  // Drag event 2 (frame 30) and 3 right by 25 frames; the last start extends the movie.
  Project().movieLength = 50;
  Click(QPoint(250, y));
  Press(QPoint(330, y), Qt::ControlModifier);
  EXPECT_EQ(view_->CursorAt(QPoint(330, y)).shape(), PaneCursor(CursorMove).shape());
  QTest::mouseMove(Vp(), QPoint(530, y));
  Release(QPoint(530, y));
  EXPECT_EQ(Starts(Project().tracks[1]), std::vector<uint32_t>({10, 20, 55, 65}));
  EXPECT_EQ(Project().movieLength, 65u);
  EXPECT_TRUE(doc_->Modified());
  // Drag left past frame 0: those events go to 0.
  Press(QPoint(445, y));  // event 2 alone now
  Release(QPoint(0, y));
  EXPECT_EQ(Starts(Project().tracks[1]), std::vector<uint32_t>({0, 10, 20, 65}));
  // A drag out of the right edge scrolls by the distance.
  Project().movieLength = 5000;
  view_->OnUpdate(nullptr);
  Press(QPoint(5, y));
  QTest::mouseMove(Vp(), QPoint(Vp()->width() + 40, y));
  EXPECT_EQ(Hx(), 40);
  Release(QPoint(Vp()->width() + 40, y));
  // Click below the rows: nothing.
  view_->ScrollToPosition(QPoint(0, 4192));
  const uint32_t before = view_->State().currentTrack;
  Click(QPoint(5, Vp()->height() - 2));
  EXPECT_EQ(view_->State().currentTrack, before);
}

TEST_F(TrackViewWidget, DropsFilesAndTemplatesFromOtherPanes) {
  Project().files[4].kind = FileStillImage;
  ASSERT_TRUE(CreateFrameBuffer(Project().files[4].picture, 64, 48));
  doc_->drag = {true, DragFile, 4};
  EXPECT_EQ(view_->CursorAt(QPoint(10, 100)).shape(), PaneCursor(CursorAdd).shape());
  Release(QPoint(80, 32 + 16 * 3 + 4));
  EXPECT_FALSE(doc_->drag.active);
  ASSERT_EQ(Project().tracks[3].count, 1u);
  EXPECT_EQ(view_->State().currentTrack, 3u);
  const EventRecord& e = Project().tracks[3].events[0];
  EXPECT_EQ(std::make_tuple(e.start, e.fileId, e.flags),
            std::make_tuple(10u, 4, uint32_t{EventInUse | EventBaseTransform}));
  EXPECT_EQ(e.regionRight, 64);
  // Template: start at the drop, selection cleared; auto-extend beyond the movie.
  doc_->scratchEvent = Ev(0, 9, EventInUse | EventSelected);
  doc_->drag = {true, DragTemplate, 0};
  view_->ScrollToPosition(QPoint(100000, 0));  // as far right as the movie goes
  const int dropX = Vp()->width() - 4;
  const uint32_t dropFrame = FrameAtX(Hx() + dropX, 4);
  ASSERT_GT(dropFrame, 300u);
  Release(QPoint(dropX, 40));
  ASSERT_EQ(Project().tracks[0].count, 1u);
  EXPECT_EQ(Project().tracks[0].events[0].start, dropFrame);
  EXPECT_EQ(Project().tracks[0].events[0].flags, uint32_t{EventInUse});
  EXPECT_EQ(Project().movieLength, dropFrame);
  EXPECT_EQ(view_->TotalSize().width(), static_cast<int>(dropFrame * 8 + 100));
  // Below the last row and above the rows: ignored, and the drag ends.
  view_->ScrollToPosition(QPoint(0, 4192));
  doc_->drag = {true, DragTemplate, 0};
  Release(QPoint(10, Vp()->height() - 2));
  view_->ScrollToPosition(QPoint(0, 0));
  doc_->drag = {true, DragTemplate, 0};
  Release(QPoint(10, 25));
  EXPECT_FALSE(doc_->drag.active);
  int total = 0;
  for (const TrackData& t : Project().tracks) total += static_cast<int>(t.count);
  EXPECT_EQ(total, 2);
  EXPECT_EQ(view_->CursorAt(QPoint(10, 100)).shape(), Qt::ArrowCursor);
}

TEST_F(TrackViewWidget, KeysMovePositionAnchorTrackAndInsertTemplates) {
  Fill(Project().tracks[0], {Ev(10, 1), Ev(20, 2), Ev(2000, 3)});
  Project().movieLength = 3000;
  view_->OnUpdate(nullptr);
  view_->setFocus();
  Key(Qt::Key_Right);
  Key(Qt::Key_Right);
  EXPECT_EQ(std::make_tuple(view_->State().position, doc_->position), std::make_tuple(2u, 2u));
  EXPECT_EQ(doc_->preview.mode, PreviewAllTracks);
  Key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(std::make_tuple(view_->State().rangeStart, view_->State().rangeEnd),
            std::make_tuple(2u, 3u));
  Key(Qt::Key_Left);
  EXPECT_EQ(
      std::make_tuple(view_->State().position, view_->State().rangeStart, view_->State().rangeEnd),
      std::make_tuple(2u, 2u, 2u));
  // Down selects the next event and scrolls to an event out of view.
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ(SelectedIndices(Project().tracks[0]), std::vector<uint32_t>({2}));
  EXPECT_EQ(Hx(), 2000 * 8 - 100);
  EXPECT_EQ(doc_->scratchEvent.fileId, 3);
  Key(Qt::Key_Up);
  EXPECT_EQ(SelectedIndices(Project().tracks[0]), std::vector<uint32_t>({1}));
  // The position brought back into view from the left.
  Key(Qt::Key_Left);
  EXPECT_EQ(Hx(), 0);
  Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(view_->State().currentTrack, 1u);
  Key(Qt::Key_Up, Qt::ShiftModifier);
  Key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(view_->State().currentTrack, 0u);

  // "1" inserts template 0 at the position; Space never inserts; a template not in use
  // inserts nothing.
  Project().templates[0] = Ev(0, 11, EventInUse | EventSelected);
  Project().templates[26] = Ev(0, 12, EventInUse);  // the first slot without a key (' ')
  Key(Qt::Key_1);
  Key(Qt::Key_Space);
  Key(Qt::Key_2);
  ASSERT_EQ(Project().tracks[0].count, 4u);
  EXPECT_EQ(Project().tracks[0].events[0].start, 1u);
  EXPECT_EQ(Project().tracks[0].events[0].fileId, 11);
  EXPECT_EQ(Project().tracks[0].events[0].flags, uint32_t{EventInUse});
  EXPECT_TRUE(doc_->Modified());
}

TEST_F(TrackViewWidget, EditCommandsAndTheClipboard) {
  Fill(Project().tracks[0], {Ev(100, 1, 3), Ev(130, 2, 3), Ev(200, 3), Ev(250, 4, 3)});
  QSignalSpy states(view_.get(), &CKeldaView::commandStatesChanged);
  view_->RunCommand(CmdEditCopy);
  auto clip = EventsFromClipboard();
  ASSERT_TRUE(clip.has_value());
  ASSERT_EQ(clip->size(), 3u);
  EXPECT_EQ((*clip)[2].start, 150u);
  EXPECT_EQ(QApplication::clipboard()->mimeData()->data(kEventsMimeType),
            MakeEventPayload(EventsForClipboard(Project().tracks[0])));
  // Cut removes them; paste at 1000 brings them back relative to the position, selected.
  view_->RunCommand(CmdEditCut);
  EXPECT_EQ(Starts(Project().tracks[0]), std::vector<uint32_t>({200}));
  EXPECT_GT(states.count(), 0);
  Click(QPoint(8000 / 8 * 0 + 8 * 8, 25));  // position 8
  view_->RunCommand(CmdEditPaste);
  EXPECT_EQ(Starts(Project().tracks[0]), std::vector<uint32_t>({8, 38, 158, 200}));
  EXPECT_EQ(SelectedIndices(Project().tracks[0]), std::vector<uint32_t>({0, 1, 2}));
  view_->RunCommand(CmdEditClear);
  EXPECT_EQ(Starts(Project().tracks[0]), std::vector<uint32_t>({200}));
  // Copy with nothing selected leaves the clipboard as it was; ordinary text is no payload.
  view_->RunCommand(CmdEditCopy);
  ASSERT_TRUE(EventsFromClipboard().has_value());
  EXPECT_EQ(EventsFromClipboard()->size(), 3u);
  QApplication::clipboard()->setText(QStringLiteral("\x02\x00\x00\x00 text"));
  view_->RunCommand(CmdEditPaste);
  EXPECT_EQ(Project().tracks[0].count, 1u);
  QApplication::clipboard()->clear();
  view_->RunCommand(CmdEditPaste);
  EXPECT_EQ(Project().tracks[0].count, 1u);
  // A pasted event beyond the movie length extends it, capped.
  Project().movieLength = 10;
  PutEventsOnClipboard({Ev(kMaxMovieLength + 5, 1)});
  view_->RunCommand(CmdEditPaste);
  EXPECT_EQ(Project().movieLength, kMaxMovieLength);
  view_->RunCommand(CmdEditSelectAll);
  EXPECT_EQ(SelectedIndices(Project().tracks[0]).size(), 2u);
}

TEST_F(TrackViewWidget, DoubleClickOpensThePropertiesOfTheAnchor) {
  Fill(Project().tracks[0], {Ev(10, 1), Ev(20, 2)});
  Click(QPoint(85, 40));
  Click(QPoint(165, 40), Qt::ControlModifier);  // two selected, anchor 1
  bool opened = false;
  bool startFound = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    opened = true;
    dialog->reject();
  });
  QTest::mouseDClick(Vp(), Qt::LeftButton, {}, QPoint(165, 40));
  EXPECT_TRUE(opened);
  // The anchor became the only selected event; Cancel changed nothing else.
  EXPECT_EQ(SelectedIndices(Project().tracks[0]), std::vector<uint32_t>({1}));
  EXPECT_FALSE(doc_->Modified());
  // OK with the start moved beyond the movie: applied, re-sorted, auto-extended.
  Click(QPoint(85, 40));
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    // The start field is the one line holding the event's start "10".
    QLineEdit* start = nullptr;
    int matches = 0;
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
      if (edit->text() == QStringLiteral("10")) start = edit, ++matches;
    }
    startFound = matches == 1;
    if (start != nullptr) start->setText(QStringLiteral("400"));
    dialog->accept();
  });
  view_->RunCommand(CmdProperties);
  ASSERT_TRUE(startFound);
  EXPECT_TRUE(doc_->Modified());
  EXPECT_EQ(Starts(Project().tracks[0]), std::vector<uint32_t>({20, 400}));
  EXPECT_EQ(Project().movieLength, 400u);
  EXPECT_EQ(view_->State().anchorEvent, 0u);
  // Properties with nothing selected opens nothing.
  view_->RunCommand(CmdEditClear);
  Click(QPoint(5, 40));
  view_->RunCommand(CmdProperties);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace tavrona
