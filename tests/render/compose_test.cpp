#include "render/compose.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "app/process_state.h"
#include "model/project_data.h"
#include "render/playback.h"

namespace tavrona {
namespace {

// A movie whose frame n is a flat picture of colour n; counts the frames it is asked for.
class FakeMovies : public MovieFrames {
 public:
  int64_t duration = 400'000;
  uint32_t frameCount = 100;
  bool fail = false;
  std::vector<uint32_t> fetched;

  int64_t FrameDuration(const FileEntry&) override { return duration; }
  bool PrepareFrame(FileEntry& entry, uint32_t n) override {
    if (n >= frameCount) n = static_cast<int32_t>(n) < 0 ? 0 : frameCount - 1;
    if (static_cast<int32_t>(n) == entry.cachedFrameIndex) return true;
    if (fail) {
      entry.cachedFrameIndex = -1;
      return false;
    }
    entry.cachedFrameIndex = static_cast<int32_t>(n);
    fetched.push_back(n);
    FillPicture(entry.picture, n);
    return true;
  }
  static void FillPicture(FrameBuffer& b, uint32_t n) {
    for (uint32_t i = 0; i < b.byteSize / 4; ++i) b.Words()[i] = 0x00010000u * (n & 0xFF) + 7;
  }
};

class ComposeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_ = AllocateProjectData();
    ApplyNewProjectReset(*project_);
    project_->outputWidth = 16;
    project_->outputHeight = 8;
    project_->backgroundColour = 0x00102030;
    ASSERT_TRUE(CreateFrameBuffer(frame_, 16, 8));
    Process().defaultDrawingMethodMirror = 0;
    Process().settings.pixelQuality = 2;
  }

  // A flat still picture of the given pixel colour in slot id.
  void Still(int id, uint32_t pixel, int w = 4, int h = 4) {
    FileEntry& f = project_->files[id];
    f.kind = FileStillImage;
    ASSERT_TRUE(CreateFrameBuffer(f.picture, w, h));
    for (uint32_t i = 0; i < f.picture.byteSize / 4; ++i) f.picture.Words()[i] = pixel;
    f.transparentColour = 0xFF000000;
  }
  void Movie(int id, int w = 4, int h = 4) {
    FileEntry& f = project_->files[id];
    f.kind = FileMovie;
    f.movie = MakeLatePtr(
        reinterpret_cast<MovieSource*>(&movieToken_), +[](MovieSource*) {});
    ASSERT_TRUE(CreateFrameBuffer(f.picture, w, h));
    f.transparentColour = 0xFF000000;
  }
  EventRecord Event(int fileId, uint32_t start, float x = 0, float y = 0) {
    EventRecord e = DefaultEventForFile(*project_, fileId, start);
    e.positionX = x;
    e.positionY = y;
    return e;
  }
  void Add(int track, const EventRecord& e) {
    ASSERT_TRUE(InsertSorted(project_->tracks[track], 1, &e));
  }

  std::unique_ptr<ProjectData> project_;
  std::unique_ptr<PlaybackStates> states_ = std::make_unique<PlaybackStates>();
  FrameBuffer frame_;
  FakeMovies movies_;
  int movieToken_ = 0;
};

TEST_F(ComposeTest, EventStartingAtTenContributesFromTenOn) {
  Still(0, 0x00FF0000);
  Add(0, Event(0, 10));
  for (uint32_t f : {0u, 9u}) {
    ASSERT_TRUE(ComposeFrameAt(*project_, *states_, f, frame_, &movies_));
    EXPECT_EQ(frame_.At(1, 1), 0x00302010u) << f;  // background, converted to pixel order
  }
  for (uint32_t f : {10u, 500u}) {
    ASSERT_TRUE(ComposeFrameAt(*project_, *states_, f, frame_, &movies_));
    EXPECT_EQ(frame_.At(1, 1), 0x00FF0000u) << f;
    EXPECT_EQ(frame_.At(10, 6), 0x00302010u) << f;  // outside the 4 x 4 picture
  }
}

TEST_F(ComposeTest, HigherTracksLieOnTopAndLaterEqualStartWins) {
  Still(0, 0x00FF0000);
  Still(1, 0x0000FF00);
  Still(2, 0x000000FF);
  Add(3, Event(0, 0));
  Add(1, Event(1, 0));
  ASSERT_TRUE(ComposeFrameAt(*project_, *states_, 0, frame_, &movies_));
  EXPECT_EQ(frame_.At(0, 0), 0x00FF0000u);

  Add(5, Event(1, 4));
  Add(5, Event(2, 4));  // same start, later in the list: in effect
  ASSERT_TRUE(ComposeFrameAt(*project_, *states_, 4, frame_, &movies_));
  EXPECT_EQ(frame_.At(0, 0), 0x000000FFu);
  PrepareExportTracks(*project_, *states_);
  for (uint32_t f = 0; f <= 4; ++f)
    ASSERT_TRUE(ComposeNextExportFrame(*project_, *states_, frame_, &movies_, true));
  EXPECT_EQ(frame_.At(0, 0), 0x000000FFu);
}

TEST_F(ComposeTest, EventWithoutInUseFlagBlanksItsTrack) {
  Still(0, 0x00FF0000);
  Add(0, Event(0, 0));
  EventRecord blank = Event(0, 5);
  blank.flags = 0;
  Add(0, blank);
  ASSERT_TRUE(ComposeFrameAt(*project_, *states_, 4, frame_, &movies_));
  EXPECT_EQ(frame_.At(0, 0), 0x00FF0000u);
  ASSERT_TRUE(ComposeFrameAt(*project_, *states_, 5, frame_, &movies_));
  EXPECT_EQ(frame_.At(0, 0), 0x00302010u);
}

TEST_F(ComposeTest, FileIdsOutsideTheTableAndEmptySlotsDrawNothing) {
  EventRecord e = Event(0, 0);
  e.fileId = 5000;
  Add(0, e);
  e.fileId = -1;
  Add(1, e);
  e.fileId = 77;  // empty slot
  Add(2, e);
  ASSERT_TRUE(ComposeFrameAt(*project_, *states_, 0, frame_, &movies_));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(frame_.At(x, y), 0x00302010u);
}

TEST_F(ComposeTest, InterpolationArithmetic) {
  Still(0, 0x00FFFFFF);
  EventRecord a = Event(0, 0);
  a.flags |= EventInterpolate;
  a.opacity = 0;  // 256
  a.red = 255;
  a.playbackPosition = 0;
  EventRecord b = Event(0, 10);
  b.opacity = 128;
  b.red = 0;
  b.playbackPosition = 10;
  Add(0, a);
  Add(0, b);
  TrackData& t = project_->tracks[0];
  PlaybackState ts;
  SeekTrack(t, ts, 5);
  EXPECT_EQ(ts.current.opacity, 192);  // 256 + (-128 * 5) / 10
  EXPECT_EQ(ts.current.playbackPosition, 5);
  ResetPlaybackState(ts);
  SeekTrack(t, ts, 10);
  EXPECT_EQ(ts.current.opacity, 128);  // the target itself, with its own values
  EXPECT_EQ(ts.current.red, 0);

  // Red 255 -> 0 over 4 frames: -255 / 4 truncates to -63.
  TrackData u;
  PlaybackState us;
  EventRecord c = Event(0, 0);
  c.flags |= EventInterpolate;
  c.red = 255;
  c.playbackPosition = 0;
  EventRecord d = Event(0, 4);
  d.red = 0;
  EventRecord both[] = {c, d};
  ASSERT_TRUE(InsertSorted(u, 2, both));
  SeekTrack(u, us, 1);
  EXPECT_EQ(us.current.red, 192);

  // Position 0 -> 10 over 3 frames: 3, 6, then the target's 10.
  TrackData v;
  PlaybackState vs;
  EventRecord p0 = Event(0, 0);
  p0.flags |= EventInterpolate;
  EventRecord p1 = Event(0, 3);
  p1.playbackPosition = 10;
  EventRecord pair[] = {p0, p1};
  ASSERT_TRUE(InsertSorted(v, 2, pair));
  std::vector<int64_t> positions;
  for (int i = 0; i < 4; ++i) {
    EnterDueEvents(v, vs);
    positions.push_back(vs.current.playbackPosition);
    AdvanceTrack(v, vs);
  }
  EXPECT_EQ(positions, (std::vector<int64_t>{0, 3, 6, 10}));
}

TEST_F(ComposeTest, InterpolationFlagOnLastEventPlaysNormally) {
  Still(0, 0x00FFFFFF);
  EventRecord e = Event(0, 0);
  e.flags |= EventInterpolate;
  e.playbackRate = 1000;
  Add(0, e);
  TrackData& t = project_->tracks[0];
  PlaybackState ts;
  SeekTrack(t, ts, 7);
  EXPECT_FALSE(ts.current.flags & EventInterpolate);
  EXPECT_EQ(ts.current.playbackPosition, 7000);
  EXPECT_TRUE(t.events[0].flags & EventInterpolate);  // the list keeps its flag
}

TEST_F(ComposeTest, ExplicitMatricesStayDuringInterpolation) {
  Still(0, 0x00FFFFFF);
  EventRecord a = Event(0, 0);
  a.flags = EventInUse | EventInterpolate;  // placed by its stored matrix
  const float m[9] = {2, 0, 3, 0, 2, 4, 0, 0, 1};
  std::copy(m, m + 9, a.matrix);
  std::copy(m, m + 9, a.inverseMatrix);
  a.regionRight = 0;
  EventRecord b = Event(0, 8);  // base transform, but a is not: no placement change
  b.regionRight = 8;
  b.positionX = 100;
  Add(0, a);
  Add(0, b);
  TrackData& t = project_->tracks[0];
  PlaybackState ts;
  SeekTrack(t, ts, 0);
  float first[9];
  std::copy(ts.current.matrix, ts.current.matrix + 9, first);
  SeekTrack(t, ts, 4);
  EXPECT_EQ(std::memcmp(first, ts.current.matrix, sizeof first), 0);
  EXPECT_EQ(ts.current.regionRight, 4);    // the region still moves
  EXPECT_EQ(ts.current.positionX, 50.0f);  // parameters move, matrices are not rebuilt
}

TEST_F(ComposeTest, SeekBackwardEqualsFreshSeekAndForwardAdvancesPosition) {
  Still(0, 0x00FFFFFF);
  EventRecord e = Event(0, 10);
  e.playbackRate = 333;
  e.playbackPosition = 1000;
  Add(0, e);
  TrackData& t = project_->tracks[0];
  PlaybackState ts;
  SeekTrack(t, ts, 50);
  SeekTrack(t, ts, 20);
  const PlaybackState afterBack = ts;
  ResetPlaybackState(ts);
  ts.currentFrame = 0;
  SeekTrack(t, ts, 20);
  EXPECT_EQ(std::memcmp(&afterBack.current, &ts.current, sizeof(EventRecord)), 0);
  EXPECT_EQ(afterBack.cursor, ts.cursor);
  EXPECT_EQ(ts.current.playbackPosition, 1000 + 10 * 333);
  SeekTrack(t, ts, 30);
  EXPECT_EQ(ts.current.playbackPosition, 1000 + 20 * 333);
}

TEST_F(ComposeTest, MovieFrameIndexFromPlaybackPosition) {
  EXPECT_EQ(MovieFrameIndex(0, 400'000), 0u);
  EXPECT_EQ(MovieFrameIndex(-5, 400'000), 0u);
  EXPECT_EQ(MovieFrameIndex(1'000'000, 400'000), 2u);  // 2.5 frame durations
  EXPECT_EQ(MovieFrameIndex(INT64_MAX, 1), 0x7FFFFFFFu);
  EXPECT_EQ(MovieFrameIndex(100, 0), 0u);

  Movie(0);
  EventRecord e = Event(0, 0);
  e.playbackPosition = 1'000'000;
  Add(0, e);
  ASSERT_TRUE(ComposeFrameAt(*project_, *states_, 0, frame_, &movies_));
  EXPECT_EQ(movies_.fetched, (std::vector<uint32_t>{2}));
  ASSERT_TRUE(ComposeFrameAt(*project_, *states_, 0, frame_, &movies_));
  EXPECT_EQ(movies_.fetched.size(), 1u);  // the entry already holds the frame
}

TEST_F(ComposeTest, FailedMovieFrameStopsDrawingLaterTracksInPreview) {
  Movie(0);
  Still(1, 0x0000FF00);
  Add(0, Event(0, 0));
  Add(1, Event(1, 0));
  movies_.fail = true;
  EXPECT_FALSE(ComposeFrameAt(*project_, *states_, 0, frame_, &movies_));
  EXPECT_EQ(frame_.At(0, 0), 0u);  // the movie picture (all zero) was still drawn
  // Track 1 was positioned but not drawn.
  EXPECT_EQ((*states_)[1].current.fileId, 1);
  EXPECT_FALSE(ComposeTrackAt(*project_, *states_, 0, 0, frame_, &movies_));
  EXPECT_TRUE(ComposeTrackAt(*project_, *states_, 1, 0, frame_, &movies_));
  EXPECT_EQ(frame_.At(0, 0), 0x0000FF00u);

  PrepareExportTracks(*project_, *states_);
  EXPECT_FALSE(ComposeNextExportFrame(*project_, *states_, frame_, &movies_, true));
  EXPECT_EQ((*states_)[1].currentFrame, 0u);  // not advanced
  // Without stopping, every track is drawn and advanced, and the failed one's file is named.
  PrepareExportTracks(*project_, *states_);
  std::bitset<kFileCount> failed;
  EXPECT_FALSE(ComposeNextExportFrame(*project_, *states_, frame_, &movies_, false, &failed));
  EXPECT_EQ(frame_.At(0, 0), 0x0000FF00u);
  EXPECT_EQ((*states_)[1].currentFrame, 1u);
  EXPECT_EQ(failed.count(), 1u);
  EXPECT_TRUE(failed.test(0));
}

// Export (stepping) and preview (random access) must give the same frames.
TEST_F(ComposeTest, SequentialSteppingEqualsRandomAccess) {
  Still(0, 0x00C08040, 6, 5);
  Still(1, 0x00204080, 3, 7);
  Movie(2, 5, 5);
  movies_.frameCount = 40;
  // Interpolated movement with rotation and scale.
  EventRecord a = Event(0, 0, 2, 1);
  a.flags |= EventInterpolate;
  a.rotation = 0;
  a.opacity = 200;
  EventRecord b = Event(0, 12, 10, 4);
  b.rotation = 90;
  b.scale = 0.5f;
  b.flags |= EventInterpolate;
  EventRecord c = Event(1, 20, 3, 3);
  c.blendMode = 5;
  Add(0, a);
  Add(0, b);
  Add(0, c);
  // A movie playing at 1.5x from 3 frames in, then a still on top in multiply mode.
  EventRecord m = Event(2, 2, 8, 2);
  m.playbackRate = 600'000;
  m.playbackPosition = 1'200'000;
  m.drawingMethod = 3;
  Add(4, m);
  EventRecord top = Event(1, 5, 0, 0);
  top.blendMode = 4;
  top.drawingMethod = 1;
  Add(9, top);

  const uint32_t length = 30;
  std::vector<std::vector<uint32_t>> sequential;
  PrepareExportTracks(*project_, *states_);
  for (uint32_t f = 0; f < length; ++f) {
    ASSERT_TRUE(ComposeNextExportFrame(*project_, *states_, frame_, &movies_, true));
    sequential.emplace_back(frame_.Words(), frame_.Words() + 16 * 8);
  }
  // Random order, so that states are sought backwards as well as forwards.
  for (uint32_t f : {29u, 3u, 17u, 0u, 12u, 11u, 20u, 25u, 5u, 1u, 19u}) {
    ASSERT_TRUE(ComposeFrameAt(*project_, *states_, f, frame_, &movies_));
    EXPECT_EQ(std::vector<uint32_t>(frame_.Words(), frame_.Words() + 16 * 8), sequential[f])
        << "frame " << f;
  }
  // The composed frames are not all alike: the test would catch a frozen state.
  EXPECT_NE(sequential[0], sequential[6]);
  EXPECT_NE(sequential[6], sequential[12]);
}

}  // namespace
}  // namespace tavrona
