#include "render/mix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <vector>

#include "synthetic_sound.h"

namespace tavrona {
namespace {

// A source whose sample i (both channels) is (i mod 4096) / 8192: exact in float, so a read at a
// whole position gives back which sample was read. Records the spans asked for.
class RampSound : public SoundSamples {
 public:
  explicit RampSound(int64_t length) : length_(length) {}
  SoundFormat Format() const override { return {kMixRate, 2, length_}; }
  bool Read(int64_t first, int64_t count, float* out) override {
    for (int64_t i = 0; i < count; ++i) {
      const int64_t s = first + i;
      const float v = s < 0 || s >= length_ ? 0.0f : static_cast<float>(s % 4096) / 8192.0f;
      out[2 * i] = v;
      out[2 * i + 1] = -v;
    }
    return true;
  }
  static float At(int64_t s) { return static_cast<float>(s % 4096) / 8192.0f; }

 private:
  int64_t length_;
};

// A constant level everywhere (for fades and gains).
class LevelSound : public SoundSamples {
 public:
  explicit LevelSound(float level) : level_(level) {}
  SoundFormat Format() const override { return {kMixRate, 2, int64_t{1} << 40}; }
  bool Read(int64_t, int64_t count, float* out) override {
    std::fill(out, out + 2 * count, level_);
    return true;
  }

 private:
  float level_;
};

class MixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_ = AllocateProjectData();
    ASSERT_TRUE(project_);
    project_->SetFrameRate(25.0);
    project_->movieLength = 250;
  }
  void SetSound(int id, std::unique_ptr<SoundSamples> sound) {
    testing::PutSoundInSlot(*project_, id, std::move(sound));
  }
  static EventRecord Event(uint32_t start, int fileId, int64_t position, int64_t rate,
                           uint32_t flags = EventInUse) {
    return testing::SoundEvent(start, fileId, position, rate, flags);
  }
  void Place(int track, std::vector<EventRecord> events) {
    ASSERT_TRUE(InsertSorted(project_->tracks[track], static_cast<uint32_t>(events.size()),
                             events.data()));
  }
  std::vector<float> Mix(int64_t first, int64_t count) {
    std::vector<float> out(static_cast<size_t>(count) * 2, 99.0f);
    EXPECT_TRUE(MixSamples(*project_, first, count, out.data()));
    return out;
  }
  std::unique_ptr<ProjectData> project_;
};

TEST_F(MixTest, SpeedOnePlaysTheSourceSampleTheMappingNames) {
  SetSound(3, std::make_unique<RampSound>(1 << 22));
  // Event at frame 10 (sample 19200) starting 0.5 s into the source (sample 24000).
  Place(0, {Event(10, 3, 5'000'000, 400'000)});
  const std::vector<float> out = Mix(19200 + 500, 1000);
  for (int64_t k = 0; k < 1000; ++k) {
    ASSERT_EQ(out[2 * k], RampSound::At(24000 + 500 + k)) << k;
    ASSERT_EQ(out[2 * k + 1], -RampSound::At(24000 + 500 + k)) << k;
  }
  // Before the event: silence.
  const std::vector<float> before = Mix(0, 19200);
  for (float v : before) ASSERT_EQ(v, 0.0f);
}

TEST_F(MixTest, RateScalesTheSourceStepAndNonPositiveRatesAreSilent) {
  SetSound(1, std::make_unique<RampSound>(1 << 22));
  Place(0, {Event(0, 1, 0, 800'000)});   // twice the frame duration: two source samples a step
  Place(1, {Event(0, 1, 0, 0)});         // a held frame: silent
  Place(2, {Event(0, 1, 0, -400'000)});  // backwards: silent
  std::vector<float> out = Mix(1000, 200);
  for (int64_t k = 0; k < 200; ++k) ASSERT_EQ(out[2 * k], RampSound::At(2 * (1000 + k))) << k;

  // Half speed: every other output sample falls half-way between two source samples.
  project_->tracks[0] = TrackData{};
  ResetTrack(project_->tracks[0], 0);
  Place(0, {Event(0, 1, 0, 200'000)});
  out = Mix(1000, 200);
  for (int64_t k = 0; k < 200; k += 2) {
    const int64_t s = (1000 + k) / 2;
    ASSERT_EQ(out[2 * k], RampSound::At(s)) << k;
    ASSERT_FLOAT_EQ(out[2 * k + 2], (RampSound::At(s) + RampSound::At(s + 1)) / 2) << k;
  }
}

TEST_F(MixTest, EventsSoundOnlyUntilTheNextEventAndTheProjectEnd) {
  SetSound(1, std::make_unique<LevelSound>(0.25f));
  // Event 0 sounds frames [0, 5), event 1 (an empty slot) silences frames [5, 8), event 2 sounds
  // from 8 to the project's end.
  Place(0, {Event(0, 1, 0, 400'000), Event(5, 2, 0, 400'000), Event(8, 1, 0, 400'000)});
  project_->movieLength = 10;
  const std::vector<float> out = Mix(0, 10 * 1920 + 500);
  EXPECT_EQ(out[2 * 1000], 0.25f);
  EXPECT_EQ(out[2 * (5 * 1920 + 300)], 0.0f);
  EXPECT_EQ(out[2 * (9 * 1920)], 0.25f);
  for (int64_t n = 10 * 1920; n < 10 * 1920 + 500; ++n) ASSERT_EQ(out[2 * n], 0.0f) << n;
}

TEST_F(MixTest, CutsFadeOverFourMillisecondsAtEveryEventBoundary) {
  SetSound(1, std::make_unique<LevelSound>(0.8f));
  Place(0, {Event(0, 1, 0, 400'000), Event(5, 1, 0, 400'000)});
  project_->movieLength = 10;
  const std::vector<float> out = Mix(0, 10 * 1920);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[2 * kMixFadeSamples], 0.8f);
  // Around the cut at sample 9600: down to (nearly) nothing and back up, never a jump larger
  // than one fade step.
  EXPECT_LT(std::abs(out[2 * 9599]), 0.8f / kMixFadeSamples + 1e-6f);
  EXPECT_EQ(out[2 * 9600], 0.0f);
  float largestStep = 0;
  for (size_t n = 2; n < out.size(); n += 2) {
    largestStep = std::max(largestStep, std::abs(out[n] - out[n - 2]));
  }
  EXPECT_LE(largestStep, 0.8f / kMixFadeSamples + 1e-6f);
}

TEST_F(MixTest, TrackGainMuteAndSumOfTracks) {
  SetSound(1, std::make_unique<LevelSound>(0.2f));
  Place(0, {Event(0, 1, 0, 400'000)});
  Place(1, {Event(0, 1, 0, 400'000)});
  EXPECT_FLOAT_EQ(Mix(5000, 1)[0], 0.4f);
  project_->trackSound[1].volumeDb = -6.0f;
  EXPECT_NEAR(Mix(5000, 1)[0], 0.2f + 0.2f * 0.50119f, 1e-5f);
  project_->trackSound[1].muted = true;
  EXPECT_FLOAT_EQ(Mix(5000, 1)[0], 0.2f);
  project_->trackSound[0].volumeDb = 12.0f;  // 2 * 0.2 * 3.98: limited, not wrapped
  project_->trackSound[1] = TrackSound{12.0f, false};
  const float loud = Mix(5000, 1)[0];
  EXPECT_GT(loud, kMixClipKnee);
  EXPECT_LT(loud, 1.0f);
}

TEST_F(MixTest, SoftClipIsTheIdentityBelowTheKneeAndNeverReachesOne) {
  for (float x : {0.0f, 0.1f, -0.5f, 0.89f, -0.89f}) EXPECT_EQ(SoftClip(x), x);
  float previous = SoftClip(kMixClipKnee);
  for (float x = kMixClipKnee + 0.01f; x < 50.0f; x *= 1.05f) {
    const float y = SoftClip(x);
    EXPECT_GE(y, previous);
    EXPECT_LE(y, 1.0f);
    EXPECT_EQ(SoftClip(-x), -y);
    previous = y;
  }
}

TEST_F(MixTest, TenMinutesAtNtscRateStayOnTheExactSample) {
  project_->SetFrameRate(29.97);
  const int64_t d = project_->frameDuration100ns;
  project_->movieLength = 18000;
  SetSound(1, std::make_unique<RampSound>(int64_t{1} << 40));
  Place(0, {Event(0, 1, 0, d)});
  // At frame 17982 the picture shows source time 17982 * d; the sound at that frame's first
  // sample plays exactly the source sample of that time.
  for (int64_t frame : {int64_t{1}, int64_t{1001}, int64_t{17982}}) {
    const int64_t n = FrameStartSample(frame, d);
    const std::vector<float> out = Mix(n, 1);
    const int64_t expected = frame * d * kMixRate / k100nsPerSecond;
    EXPECT_EQ(n, expected);
    // The ramp repeats every 4096 samples; compare positions through it.
    EXPECT_EQ(out[0], RampSound::At(expected)) << frame;
  }
}

TEST_F(MixTest, InterpolatedEventsMoveFromTheirPositionToTheNextOnes) {
  SetSound(1, std::make_unique<RampSound>(1 << 22));
  // From source 0 at frame 0 to source 0.8 s (38400 samples) at frame 10: twice real time.
  Place(0, {Event(0, 1, 0, 400'000, EventInUse | EventInterpolate),
            Event(10, 1, 8'000'000, 400'000)});
  const std::vector<float> out = Mix(3000, 100);
  for (int64_t k = 0; k < 100; ++k) ASSERT_EQ(out[2 * k], RampSound::At(2 * (3000 + k))) << k;
}

TEST_F(MixTest, PiecesOfAnyLengthGiveTheWholeMixSampleForSample) {
  SetSound(1, std::make_unique<RampSound>(1 << 22));
  SetSound(2, std::make_unique<LevelSound>(0.1f));
  Place(0, {Event(0, 1, 1234567, 333'333), Event(37, 2, 0, 400'000),
            Event(40, 1, 99, 700'000, EventInUse | EventInterpolate), Event(90, 1, 0, 400'000)});
  Place(5, {Event(13, 2, 0, 400'000)});
  std::vector<float> whole(static_cast<size_t>(FrameStartSample(250, 400'000)) * 2);
  std::vector<float> frames;
  ASSERT_TRUE(MixFrames(*project_, 0, 250, frames));
  ASSERT_EQ(frames.size(), whole.size());
  ASSERT_TRUE(MixSamples(*project_, 0, static_cast<int64_t>(whole.size() / 2), whole.data()));
  EXPECT_EQ(frames, whole);
  std::vector<float> joined;
  for (uint32_t a = 0; a < 250;) {
    const uint32_t b = std::min<uint32_t>(250, a + 1 + a % 7);
    std::vector<float> part;
    ASSERT_TRUE(MixFrames(*project_, a, b, part));
    joined.insert(joined.end(), part.begin(), part.end());
    a = b;
  }
  EXPECT_EQ(joined, whole);
}

TEST_F(MixTest, DamagedEventsAndFrameDurationsAreSilentNotFatal) {
  SetSound(1, std::make_unique<LevelSound>(0.5f));
  Place(0, {Event(0, 1, INT64_MAX, INT64_MAX), Event(3, 5000, 0, 400'000),
            Event(6, -1, 0, 400'000), Event(9, 1, INT64_MIN, 400'000)});
  for (float v : Mix(0, 20 * 1920)) ASSERT_EQ(v, 0.0f);
  project_->frameDuration100ns = 0;
  for (float v : Mix(0, 100)) ASSERT_EQ(v, 0.0f);
  EXPECT_TRUE(ProjectHasSound(*project_));
  project_->files[1].sound.reset();
  EXPECT_FALSE(ProjectHasSound(*project_));
}

}  // namespace
}  // namespace tavrona
