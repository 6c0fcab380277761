// The playback clock's decisions, without threads or devices: the frame a sample belongs to,
// skipping what the clock has passed, and the wait until the next frame.
#include "ui/sound/playback_clock.h"

#include <gtest/gtest.h>

#include "model/sound_samples.h"

namespace tavrona {
namespace {

// Durations whose frames hold whole, fractional and very uneven sample counts: 30, 29.97, 25,
// 24 frames per second, a 1/7 s frame and a one-tick frame.
constexpr int64_t kDurations[] = {333333, 333667, 400000, 416667, 1428571, 1};

TEST(FrameAtSample, IsTheInverseOfFrameStartSampleAtEveryBoundary) {
  for (int64_t d : kDurations) {
    for (int64_t f = 0; f < 3000; ++f) {
      const int64_t start = FrameStartSample(f, d);
      const int64_t next = FrameStartSample(f + 1, d);
      if (start == next) continue;  // a frame shorter than a sample holds none
      EXPECT_EQ(FrameAtSample(start, d), f) << "duration " << d << " frame " << f;
      EXPECT_EQ(FrameAtSample(next - 1, d), f) << "duration " << d << " frame " << f;
    }
  }
  // Far out the exact arithmetic still holds: frame 10^6 of 29.97 fps.
  const int64_t start = FrameStartSample(1'000'000, 333667);
  EXPECT_EQ(FrameAtSample(start, 333667), 1'000'000u);
  EXPECT_EQ(FrameAtSample(start - 1, 333667), 999'999u);
  // Nonsense in, frame 0 out.
  EXPECT_EQ(FrameAtSample(-5, 333333), 0u);
  EXPECT_EQ(FrameAtSample(100, 0), 0u);
}

TEST(SamplesInTicks, ConvertsElapsedTimeTruncating) {
  EXPECT_EQ(SamplesInTicks(10'000'000), kMixRate);
  EXPECT_EQ(SamplesInTicks(333333), 1599);  // 1599.99 pairs, truncated
  EXPECT_EQ(SamplesInTicks(-1), 0);
}

TEST(PlaybackClock, ShowsTheFrameThePlayedSamplesHaveReached) {
  const PlaybackClock clock(100, 333333);  // 30 fps: frame 100 starts at pair 159999
  EXPECT_EQ(clock.FirstSample(), FrameStartSample(100, 333333));
  EXPECT_EQ(clock.FrameReached(0), 100u);
  EXPECT_EQ(clock.FrameReached(-40), 100u);  // a count before the start is the start
  // Frame 101 begins exactly FrameStartSample(101) - FrameStartSample(100) pairs in.
  const int64_t toNext = FrameStartSample(101, 333333) - clock.FirstSample();
  EXPECT_EQ(clock.FrameReached(toNext - 1), 100u);
  EXPECT_EQ(clock.FrameReached(toNext), 101u);
  EXPECT_EQ(clock.FrameReached(FrameStartSample(130, 333333) - clock.FirstSample()), 130u);
}

TEST(PlaybackClock, SkipsOnlyWhatTheClockHasPassed) {
  const PlaybackClock clock(0, 400000);  // 25 fps: 1920 pairs a frame
  // On time or early: the next frame in order.
  EXPECT_EQ(clock.FrameToCompose(5, 0), 5u);
  EXPECT_EQ(clock.FrameToCompose(5, 5 * 1920 - 1), 5u);
  EXPECT_EQ(clock.FrameToCompose(5, 5 * 1920), 5u);
  // Late by more than a frame: straight to the frame being heard.
  EXPECT_EQ(clock.FrameToCompose(5, 6 * 1920), 6u);
  EXPECT_EQ(clock.FrameToCompose(5, 9 * 1920 + 7), 9u);
}

TEST(PlaybackClock, WaitsTheSamplesUntilTheFrameIsDue) {
  const PlaybackClock clock(10, 400000);
  EXPECT_EQ(clock.SamplesUntil(10, 0), 0);  // the first frame at once
  EXPECT_EQ(clock.SamplesUntil(11, 0), 1920);
  EXPECT_EQ(clock.SamplesUntil(11, 1000), 920);
  EXPECT_EQ(clock.SamplesUntil(12, 1920), 1920);
  EXPECT_EQ(clock.SamplesUntil(11, 5000), 0);  // past: due now
}

}  // namespace
}  // namespace tavrona
