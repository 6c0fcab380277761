// The sound a file slot holds, as the mix reads it: 48 kHz, two interleaved channels (left,
// right), 32-bit float, time 0 at the source's first picture (or, with no picture, at the
// start of its sound). The sources library decodes a movie's first audio stream into this
// form; the mix and the tests see only this interface.
#pragma once

#include <cstdint>

namespace tavrona {

inline constexpr int32_t kMixRate = 48000;   // samples per second and channel
inline constexpr int32_t kMixChannels = 2;   // left, right; interleaved
inline constexpr int64_t kMixFadeSamples = kMixRate * 4 / 1000;  // 4 ms at every cut

// What the file itself holds, for reports ("info"): its own rate, channels and length.
struct SoundFormat {
  int32_t sourceRate = 0;      // the stream's sample rate, Hz
  int32_t sourceChannels = 0;  // the stream's channel count
  int64_t lengthSamples = 0;   // length at kMixRate
};

class SoundSamples {
 public:
  virtual ~SoundSamples() = default;
  virtual SoundFormat Format() const = 0;
  // Writes `count` stereo sample pairs (2 * count floats) of source time [first, first + count)
  // at kMixRate into out. Positions before 0 or at or after the length read as silence. false
  // when decoding failed for part of the span (that part is silence). Thread-safe: callers on
  // different threads are served one at a time.
  virtual bool Read(int64_t first, int64_t count, float* out) = 0;
};

// The first mix sample of output frame `frame`: floor(frame * duration * 48000 / 10^7), computed
// exactly, so that sample positions never drift from the picture's frame times.
constexpr int64_t FrameStartSample(int64_t frame, int64_t frameDuration100ns) {
  const __int128 n = static_cast<__int128>(frame) * frameDuration100ns * kMixRate;
  const __int128 d = 10'000'000;
  return static_cast<int64_t>(n >= 0 ? n / d : -((-n + d - 1) / d));
}

}  // namespace tavrona
