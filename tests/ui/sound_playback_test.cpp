// Playback with sound: the feed gives the mix from the playback's first sample, the sound
// output's played count drives the picture (a project whose picture turns white at a beep,
// played through an output whose clock runs slower than real time), the output and the feed
// stop before any edit, and without a sound device the program plays silently and says so once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QAudioDevice>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "render/mix.h"
#include "sound_media.h"
#include "whole_window_test.h"
#include "sound_playback_support.h"
#include "ui/composition_worker.h"
#include "ui/document.h"
#include "ui/main_window.h"
#include "ui/profile.h"
#include "ui/prompts.h"
#include "ui/sound/qt_audio_output.h"
#include "ui/sound/sound_feed.h"

namespace tavrona {
namespace {

using testing::BeepSamples;
using testing::MakeBeepProject;
using testing::MissingAudioOutput;
using testing::RecordingAudioOutput;

constexpr int kWaitMs = 30000;  // a limit for a stuck playback, never reached when it works

TEST(SoundFeedTest, GivesTheMixFromTheFirstSampleOnInOrder) {
  auto project = AllocateProjectData();
  ASSERT_TRUE(project);
  MakeBeepProject(*project, 60, 20);
  project->trackSound[0].volumeDb = -6.0f;
  const int64_t first = FrameStartSample(17, project->frameDuration100ns);
  const int64_t count = 3 * SoundFeed::kAheadSamples + 123;  // past the buffer several times
  std::vector<float> expected(static_cast<size_t>(2 * count));
  ASSERT_TRUE(MixSamples(*project, first, count, expected.data()));

  SoundFeed feed;
  ASSERT_TRUE(feed.Start(*project, first));
  // It mixes ahead by itself, up to its bound.
  EXPECT_GE(feed.WaitForSamples(SoundFeed::kAheadSamples - SoundFeed::kChunkSamples, 5000),
            SoundFeed::kAheadSamples - SoundFeed::kChunkSamples);
  EXPECT_LE(feed.Available(), SoundFeed::kAheadSamples);
  std::vector<float> got;
  std::vector<float> buffer(2 * 777);
  while (static_cast<int64_t>(got.size()) < 2 * count) {
    const int64_t want = std::min<int64_t>(777, count - static_cast<int64_t>(got.size()) / 2);
    const int64_t n = feed.Read(buffer.data(), want, 1000);
    ASSERT_GT(n, 0);
    got.insert(got.end(), buffer.begin(), buffer.begin() + 2 * n);
  }
  EXPECT_EQ(got, expected);
  EXPECT_FALSE(feed.MixFailed());
  // The beep is where the mix puts it (17 frames in), at -6 dB.
  const double beep = testing::FindBeep(testing::LeftChannel(got), 1000, 30, 0, 1);
  EXPECT_NEAR(beep * kMixRate,
              static_cast<double>(FrameStartSample(20, project->frameDuration100ns) - first), 2);

  // Stopped: nothing more, at once; stopping twice is harmless.
  feed.Stop();
  feed.Stop();
  EXPECT_EQ(feed.Read(buffer.data(), 10, 1000), 0);
  EXPECT_EQ(feed.Available(), 0);
}

class SoundPlaybackTest : public testing::WholeWindowTest {
 protected:
  // Installs the beep project as the document's (the worker let go first) and refreshes.
  void UseBeepProject(uint32_t lengthFrames, uint32_t beepFrame) {
    document_->QuiesceWorker();
    MakeBeepProject(document_->Project(), lengthFrames, beepFrame);
    document_->position = 0;
    document_->UpdateAllViews(nullptr);
  }

  // Runs the event loop until playback has ended (false when it did not in time).
  bool WaitForPlaybackEnd() {
    if (!document_->Worker().Playing()) return true;
    QEventLoop loop;
    QObject::connect(&document_->Worker(), &CompositionWorker::playbackEnded, &loop,
                     &QEventLoop::quit);
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return !document_->Worker().Playing();
  }
};

bool IsWhite(const QImage& image) {
  if (image.isNull()) return false;
  const QRgb centre = image.pixel(image.width() / 2, image.height() / 2);
  return qRed(centre) > 200 && qGreen(centre) > 200 && qBlue(centre) > 200;
}

TEST_F(SoundPlaybackTest, TheSoundDevicesClockDrivesThePicture) {
  constexpr uint32_t kBeepFrame = 30;  // 1 s at 30 fps
  UseBeepProject(60, kBeepFrame);
  // A device 30 % slower than real time, holding 50 ms it has taken but not yet played: a
  // picture on the steady clock would turn white some 0.4 s of sound before the beep.
  auto* output = new RecordingAudioOutput(0.7, 2400);
  document_->Worker().SetAudioOutput(std::unique_ptr<AudioOutput>(output));

  struct Shown {
    uint32_t frame;
    bool white;
    int64_t played;  // the device's count when the frame reached the screen
  };
  std::vector<Shown> shown;
  QObject::connect(&document_->Worker(), &CompositionWorker::playbackFrame, frame_.get(),
                   [&](quint32 frame, const QImage& image) {
                     shown.push_back({frame, IsWhite(image), output->PlayedSamples()});
                   });
  frame_->RunCommand(CmdPlay);
  ASSERT_TRUE(document_->Worker().PlayingSound());
  ASSERT_TRUE(WaitForPlaybackEnd());
  EXPECT_FALSE(output->Running());  // the end of playback stops the device
  EXPECT_TRUE(prompts_.empty());

  // Where the beep really is in what the device got (its count starts at frame 0's sample 0).
  const std::vector<float> heard = output->Recorded();
  const double beepSeconds = testing::FindBeep(testing::LeftChannel(heard), 1000, 30, 0.5, 1.8);
  ASSERT_GT(beepSeconds, 0) << "no beep in " << heard.size() / 2 << " recorded pairs";
  const auto beepSample = static_cast<int64_t>(std::llround(beepSeconds * kMixRate));
  EXPECT_NEAR(beepSample, FrameStartSample(kBeepFrame, 333333), 2);

  // The picture turned white within one frame of the sound reaching the beep.
  const int64_t samplesPerFrame = FrameStartSample(1, 333333) + 1;
  ASSERT_FALSE(shown.empty());
  size_t firstWhite = shown.size();
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i].white) {
      firstWhite = i;
      break;
    }
  }
  ASSERT_LT(firstWhite, shown.size()) << "no white frame among " << shown.size();
  EXPECT_GE(shown[firstWhite].frame, kBeepFrame);
  EXPECT_LE(shown[firstWhite].frame, kBeepFrame + 1);
  EXPECT_LE(std::llabs(shown[firstWhite].played - beepSample), samplesPerFrame)
      << "white at played sample " << shown[firstWhite].played << ", beep at " << beepSample;
  // No frame is ever shown before the sound has reached it; and none lags far behind it (a
  // few frames of slack for a busy machine's event loop, far below the 0.3 s of drift the
  // steady clock would pile up over this playback).
  for (const Shown& s : shown) {
    const int64_t frameSample = FrameStartSample(s.frame, 333333);
    EXPECT_GE(s.played, frameSample) << "frame " << s.frame << " shown early";
    EXPECT_LE(s.played - frameSample, 4 * samplesPerFrame)
        << "frame " << s.frame << " shown at played sample " << s.played;
    EXPECT_EQ(s.white, s.frame >= kBeepFrame) << "frame " << s.frame;
  }
}

// Only where a sound device exists: the program's own output (none set) plays the beep
// project, and the picture turns white when the device has played up to the beep.
TEST_F(SoundPlaybackTest, TheRealDevicesClockDrivesThePictureToo) {
  if (QMediaDevices::defaultAudioOutput().isNull()) GTEST_SKIP() << "no sound device here";
  constexpr uint32_t kBeepFrame = 30;
  UseBeepProject(45, kBeepFrame);
  const AudioOutput* output = nullptr;
  std::vector<std::pair<uint32_t, int64_t>> white;  // frame, played when it was shown
  QObject::connect(&document_->Worker(), &CompositionWorker::playbackFrame, frame_.get(),
                   [&](quint32 frame, const QImage& image) {
                     if (IsWhite(image)) white.push_back({frame, output->PlayedSamples()});
                   });
  frame_->RunCommand(CmdPlay);
  ASSERT_TRUE(document_->Worker().PlayingSound());
  output = document_->Worker().CurrentAudioOutput();
  ASSERT_NE(output, nullptr);
  ASSERT_TRUE(WaitForPlaybackEnd());
  ASSERT_FALSE(white.empty());
  const int64_t beepSample = FrameStartSample(kBeepFrame, 333333);
  EXPECT_LE(white.front().first, kBeepFrame + 1);
  EXPECT_GE(white.front().second, beepSample);
  EXPECT_LE(white.front().second - beepSample, 2 * (FrameStartSample(1, 333333) + 1));
  EXPECT_TRUE(prompts_.empty());
}

TEST_F(SoundPlaybackTest, EveryEditFirstStopsTheSoundAndItsFeed) {
  UseBeepProject(600, 30);
  auto* output = new RecordingAudioOutput(1.0, 2400);
  document_->Worker().SetAudioOutput(std::unique_ptr<AudioOutput>(output));
  frame_->RunCommand(CmdPlay);
  ASSERT_TRUE(document_->Worker().PlayingSound());
  ASSERT_TRUE(QTest::qWaitFor([&] { return output->PlayedSamples() > 4800; }, kWaitMs));
  EXPECT_TRUE(output->Running());
  // An edit lets playback go first: the device no longer reads and the feed no longer mixes
  // when the change runs.
  bool runningDuringEdit = true;
  document_->Edit({QStringLiteral("x"), EditScope::Header()}, nullptr, [&] {
    runningDuringEdit = output->Running() || document_->Worker().Playing();
    document_->Project().trackSound[0].muted = true;
    return true;
  });
  EXPECT_FALSE(runningDuringEdit);
  EXPECT_FALSE(document_->Worker().PlayingSound());

  // Playing again starts the device afresh from the position; the toggle stops it.
  frame_->RunCommand(CmdPlay);
  EXPECT_EQ(output->starts, 2);
  EXPECT_TRUE(output->Running());
  frame_->RunCommand(CmdPlay);
  EXPECT_FALSE(output->Running());
  EXPECT_FALSE(document_->Worker().Playing());
}

TEST_F(SoundPlaybackTest, WithoutASoundDeviceItPlaysSilentlyAndSaysSoOnce) {
  UseBeepProject(20, 10);
  auto* output = new MissingAudioOutput;
  document_->Worker().SetAudioOutput(std::unique_ptr<AudioOutput>(output));
  QSignalSpy messages(frame_->statusBar(), &QStatusBar::messageChanged);
  int frames = 0;
  QObject::connect(&document_->Worker(), &CompositionWorker::playbackFrame, frame_.get(),
                   [&] { ++frames; });
  for (int round = 0; round < 2; ++round) {
    frame_->RunCommand(CmdPlay);
    EXPECT_TRUE(document_->Worker().Playing());
    EXPECT_FALSE(document_->Worker().PlayingSound());
    ASSERT_TRUE(WaitForPlaybackEnd());
  }
  EXPECT_EQ(output->attempts, 2);
  EXPECT_GE(frames, 2);  // the steady clock played the pictures both times
  int notes = 0;
  for (const QList<QVariant>& args : messages) {
    if (args.at(0).toString() == SilentPlaybackText()) ++notes;
  }
  EXPECT_EQ(notes, 1);
  EXPECT_EQ(SilentPlaybackText(), "音声を出力できないため、音声なしで再生します");
  EXPECT_TRUE(prompts_.empty());  // a note, never a message box
}

TEST_F(SoundPlaybackTest, ADeviceThatFailsMidwayLeavesThePictureOnTheSteadyClock) {
  UseBeepProject(45, 30);
  auto* output = new RecordingAudioOutput(1.0, 2400);
  output->FailAfter(kMixRate / 2);  // half a second in: frame 15
  document_->Worker().SetAudioOutput(std::unique_ptr<AudioOutput>(output));
  QSignalSpy messages(frame_->statusBar(), &QStatusBar::messageChanged);
  std::vector<uint32_t> frames;
  QObject::connect(&document_->Worker(), &CompositionWorker::playbackFrame, frame_.get(),
                   [&](quint32 frame) { frames.push_back(frame); });
  frame_->RunCommand(CmdPlay);
  ASSERT_TRUE(document_->Worker().PlayingSound());
  // The count stops at frame 15, yet playback goes on to its end.
  ASSERT_TRUE(WaitForPlaybackEnd());
  EXPECT_TRUE(output->Failed());
  EXPECT_FALSE(output->Running());
  ASSERT_FALSE(frames.empty());
  EXPECT_GE(frames.back(), 40u);
  EXPECT_GT(std::count_if(frames.begin(), frames.end(), [](uint32_t f) { return f > 16; }), 5);
  int notes = 0;
  for (const QList<QVariant>& args : messages) {
    if (args.at(0).toString() == SilentPlaybackText()) ++notes;
  }
  EXPECT_EQ(notes, 1);
  EXPECT_TRUE(prompts_.empty());
}

TEST(QtAudioOutputTest, RefusesToStartWithoutADevice) {
  if (!QMediaDevices::defaultAudioOutput().isNull()) {
    GTEST_SKIP() << "this machine has a sound device";
  }
  auto project = AllocateProjectData();
  ASSERT_TRUE(project);
  MakeBeepProject(*project, 30, 10);
  SoundFeed feed;
  ASSERT_TRUE(feed.Start(*project, 0));
  QtAudioOutput output;
  EXPECT_FALSE(output.Start(feed));
  EXPECT_EQ(output.PlayedSamples(), 0);
  output.Stop();
}

// Only where a sound device exists (a desk, or a PulseAudio null sink): the real output
// plays, and its count advances with the sound the device has played: never ahead of real
// time (what is only buffered is not counted), never backwards, still after Stop.
TEST(QtAudioOutputTest, CountsWhatTheDevicePlayed) {
  if (QMediaDevices::defaultAudioOutput().isNull()) GTEST_SKIP() << "no sound device here";
  auto project = AllocateProjectData();
  ASSERT_TRUE(project);
  MakeBeepProject(*project, 90, 10);
  SoundFeed feed;
  ASSERT_TRUE(feed.Start(*project, 0));
  QtAudioOutput output;
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(output.Start(feed));
  int64_t last = 0;
  int64_t mostAhead = INT64_MIN;  // played minus the real time since Start, in pairs
  {
    // The event loop runs freely meanwhile: the output writes to the device on this thread.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      const int64_t played = output.PlayedSamples();
      EXPECT_GE(played, last);
      last = played;
      const int64_t realTime = clock.nsecsElapsed() * kMixRate / 1'000'000'000;
      mostAhead = std::max<int64_t>(mostAhead, played - realTime);
      if (played >= kMixRate / 2 || clock.elapsed() > kWaitMs) loop.quit();
    });
    poll.start(1);
    loop.exec();
  }
  EXPECT_GE(last, kMixRate / 2);
  EXPECT_LE(mostAhead, kMixRate / 100);  // 10 ms for the device's own timing
  EXPECT_FALSE(output.Failed());
  output.Stop();
  const int64_t stopped = output.PlayedSamples();
  QTest::qWait(50);
  EXPECT_EQ(output.PlayedSamples(), stopped);
}

}  // namespace
}  // namespace tavrona
