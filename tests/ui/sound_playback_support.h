// Test pieces for playback with sound: a synthetic sound source with a beep at a known time,
// outputs that stand in for the sound device, and a project whose picture turns white at the
// beep.
#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

#include "model/frame_buffer.h"
#include "model/project_data.h"
#include "model/sound_samples.h"
#include "model/track_data.h"
#include "ui/sound/audio_output.h"
#include "ui/sound/sound_feed.h"

namespace tavrona::testing {

// Silence with one sine beep: beepHz at amplitude on both channels over
// [beepStartSample, beepStartSample + beepSamples) of source time, lengthSamples long.
class BeepSamples final : public SoundSamples {
 public:
  BeepSamples(int64_t lengthSamples, int64_t beepStartSample, int64_t beepSamples,
              double beepHz = 1000.0, float amplitude = 0.5f)
      : length_(lengthSamples),
        beepStart_(beepStartSample),
        beepSamples_(beepSamples),
        hz_(beepHz),
        amplitude_(amplitude) {}
  SoundFormat Format() const override { return {kMixRate, kMixChannels, length_}; }
  bool Read(int64_t first, int64_t count, float* out) override {
    for (int64_t i = 0; i < count; ++i) {
      const int64_t n = first + i;
      float v = 0.0f;
      if (n >= beepStart_ && n < beepStart_ + beepSamples_ && n < length_) {
        v = amplitude_ * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz_ *
                                                     static_cast<double>(n - beepStart_) /
                                                     kMixRate));
      }
      out[2 * i] = v;
      out[2 * i + 1] = v;
    }
    return true;
  }

 private:
  int64_t length_, beepStart_, beepSamples_;
  double hz_;
  float amplitude_;
};

// A sound device of the test's making: a thread of its own takes from the feed at `speed`
// times real time (a device whose clock runs slow or fast), latencySamples ahead of what it
// reports as played, and records every pair it took. Start, Stop and Recorded on the test's
// thread; PlayedSamples from any thread.
class RecordingAudioOutput final : public AudioOutput {
 public:
  RecordingAudioOutput(double speed, int64_t latencySamples)
      : speed_(speed), latency_(latencySamples) {}
  ~RecordingAudioOutput() override { Stop(); }

  bool Start(SoundFeed& feed) override {
    Stop();
    {
      std::lock_guard lock(mutex_);
      recorded_.clear();
      stop_ = false;
    }
    played_ = 0;
    failed_ = false;
    ++starts;
    thread_ = std::thread([this, &feed] { Run(feed); });
    return true;
  }
  void Stop() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  int64_t PlayedSamples() const override { return played_.load(); }
  bool Failed() const override { return failed_.load(); }
  // From then on the device fails: its count stops at samples and it takes nothing more.
  void FailAfter(int64_t samples) { failAfter_ = samples; }

  bool Running() const { return thread_.joinable(); }
  std::vector<float> Recorded() const {
    std::lock_guard lock(mutex_);
    return recorded_;
  }
  int starts = 0;

 private:
  void Run(SoundFeed& feed) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<float> buffer;
    int64_t taken = 0;
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (played_.load() >= failAfter_) {
        failed_ = true;
        wake_.wait(lock, [&] { return stop_; });
        break;
      }
      lock.unlock();
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const auto heard = static_cast<int64_t>(seconds * speed_ * kMixRate);
      const int64_t want = heard + latency_ - taken;
      if (want > 0) {
        buffer.resize(static_cast<size_t>(2 * want));
        const int64_t got = feed.Read(buffer.data(), want, 0);
        taken += got;
        std::lock_guard hold(mutex_);
        recorded_.insert(recorded_.end(), buffer.begin(), buffer.begin() + 2 * got);
      }
      // What has been taken and is no longer in the device's buffer has been heard.
      played_ = std::max<int64_t>(played_.load(), std::min(heard, taken - latency_));
      lock.lock();
      wake_.wait_for(lock, std::chrono::milliseconds(2), [&] { return stop_; });
    }
  }

  const double speed_;
  const int64_t latency_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<float> recorded_;  // guarded by mutex_
  bool stop_ = false;            // guarded by mutex_
  std::atomic<int64_t> played_{0};
  std::atomic<bool> failed_{false};
  std::atomic<int64_t> failAfter_{INT64_MAX};
};

// A sound device that is not there: never starts.
class MissingAudioOutput final : public AudioOutput {
 public:
  bool Start(SoundFeed&) override {
    ++attempts;
    return false;
  }
  void Stop() override {}
  int64_t PlayedSamples() const override { return 0; }
  int attempts = 0;
};

// The beep project: 64 x 48 at 30 frames per second, lengthFrames long on a black background.
// Slot 1 is a sound-only movie slot (BeepSamples, beep of beepMs at beepFrame's time) played
// from frame 0 on track 0; slot 2 is a white still picture of the output's size, shown from
// beepFrame on by track 1. So the picture turns white exactly when the beep starts.
constexpr int kBeepSoundSlot = 1;
constexpr int kWhiteSlot = 2;
inline void MakeBeepProject(ProjectData& project, uint32_t lengthFrames, uint32_t beepFrame,
                            double beepMs = 30.0) {
  ApplyNewProjectReset(project);
  project.outputWidth = 64;
  project.outputHeight = 48;
  project.frameRate = 30.0;
  project.frameDuration100ns = 333333;
  project.movieLength = lengthFrames;
  project.backgroundColour = 0;
  const int64_t beepSample = FrameStartSample(beepFrame, project.frameDuration100ns);
  FileEntry& sound = project.files[kBeepSoundSlot];
  sound.kind = FileMovie;
  sound.sound = std::make_unique<BeepSamples>(
      FrameStartSample(lengthFrames, project.frameDuration100ns), beepSample,
      static_cast<int64_t>(beepMs * kMixRate / 1000.0));
  FileEntry& white = project.files[kWhiteSlot];
  white.kind = FileStillImage;
  white.transparentColour = 0xFF000000;
  if (CreateFrameBuffer(white.picture, 64, 48)) {
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) white.picture.At(x, y) = 0x00FFFFFF;
    }
  }
  EventRecord a = DefaultEventForFile(project, kBeepSoundSlot, 0);
  InsertSorted(project.tracks[0], 1, &a);
  EventRecord b = DefaultEventForFile(project, kWhiteSlot, beepFrame);
  InsertSorted(project.tracks[1], 1, &b);
}

}  // namespace tavrona::testing
