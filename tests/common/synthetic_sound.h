// Sound made in memory for tests that need a slot with sound but no decoder: tones (sines) at
// known source times, and the project pieces that place such a slot on a track.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "model/project_data.h"
#include "model/sound_samples.h"

namespace tavrona::testing {

// A sine of hz at amplitude over source samples [startSample, startSample + lengthSamples),
// its phase 0 at startSample; the same on both channels.
struct Tone {
  int64_t startSample = 0;
  int64_t lengthSamples = 0;
  double hz = 1000.0;
  float amplitude = 0.5f;
};

// Tones at 48 kHz (overlapping ones add); silence elsewhere and outside [0, lengthSamples).
class SyntheticSound final : public SoundSamples {
 public:
  SyntheticSound(std::vector<Tone> tones, int64_t lengthSamples)
      : tones_(std::move(tones)), length_(lengthSamples) {}

  // Beeps of beepMs at each of the times (seconds), like BeepRecipe's fixtures.
  static std::unique_ptr<SyntheticSound> Beeps(const std::vector<double>& seconds, double beepMs,
                                               double hz, float amplitude, double lengthSeconds) {
    std::vector<Tone> tones;
    for (double s : seconds) {
      tones.push_back(Tone{std::llround(s * kMixRate), std::llround(beepMs * kMixRate / 1000.0), hz,
                           amplitude});
    }
    return std::make_unique<SyntheticSound>(std::move(tones),
                                            std::llround(lengthSeconds * kMixRate));
  }

  SoundFormat Format() const override { return {kMixRate, kMixChannels, length_}; }

  bool Read(int64_t first, int64_t count, float* out) override {
    for (int64_t i = 0; i < count; ++i) {
      const float v = At(first + i);
      out[2 * i] = v;
      out[2 * i + 1] = v;
    }
    return true;
  }

  float At(int64_t sample) const {
    if (sample < 0 || sample >= length_) return 0.0f;
    double v = 0;
    for (const Tone& t : tones_) {
      const int64_t k = sample - t.startSample;
      if (k < 0 || k >= t.lengthSamples) continue;
      v += t.amplitude * std::sin(2 * std::numbers::pi * t.hz * static_cast<double>(k) / kMixRate);
    }
    return static_cast<float>(v);
  }

 private:
  std::vector<Tone> tones_;
  int64_t length_;
};

// Makes slot `id` a movie slot that holds only sound (no picture: the composer draws nothing
// for it).
inline void PutSoundInSlot(ProjectData& project, int id, std::unique_ptr<SoundSamples> sound) {
  project.files[static_cast<size_t>(id)].kind = FileMovie;
  project.files[static_cast<size_t>(id)].sound = std::move(sound);
}

// A movie event: from output frame `start`, source position position100ns, rate100ns of source
// time per output frame (the frame duration plays at speed 1).
inline EventRecord SoundEvent(uint32_t start, int fileId, int64_t position100ns, int64_t rate100ns,
                              uint32_t flags = EventInUse) {
  EventRecord e{};
  e.flags = flags;
  e.start = start;
  e.fileId = fileId;
  e.playbackPosition = position100ns;
  e.playbackRate = rate100ns;
  return e;
}

}  // namespace tavrona::testing
