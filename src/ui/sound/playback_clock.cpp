#include "ui/sound/playback_clock.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "model/sound_samples.h"

namespace tavrona {

uint32_t FrameAtSample(int64_t sample, int64_t frameDuration100ns) {
  // FrameStartSample(f) <= s  <=>  floor(f * D * R / 10^7) <= s  <=>  f * D * R < (s + 1) * 10^7,
  // so f = ceil((s + 1) * 10^7 / (D * R)) - 1 = floor(((s + 1) * 10^7 - 1) / (D * R)).
  if (sample < 0 || frameDuration100ns <= 0) return 0;
  const __int128 n = (static_cast<__int128>(sample) + 1) * 10'000'000 - 1;
  const __int128 d = static_cast<__int128>(frameDuration100ns) * kMixRate;
  const __int128 f = n / d;
  return f > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                  : static_cast<uint32_t>(f);
}

int64_t SamplesInTicks(int64_t elapsed100ns) {
  if (elapsed100ns <= 0) return 0;
  return static_cast<int64_t>(static_cast<__int128>(elapsed100ns) * kMixRate / 10'000'000);
}

PlaybackClock::PlaybackClock(uint32_t fromFrame, int64_t frameDuration100ns)
    : fromFrame_(fromFrame),
      frameDuration100ns_(std::max<int64_t>(1, frameDuration100ns)),
      firstSample_(FrameStartSample(fromFrame, frameDuration100ns_)) {}

uint32_t PlaybackClock::FrameReached(int64_t playedSamples) const {
  const uint32_t frame =
      FrameAtSample(firstSample_ + std::max<int64_t>(0, playedSamples), frameDuration100ns_);
  return std::max(frame, fromFrame_);
}

uint32_t PlaybackClock::FrameToCompose(uint32_t next, int64_t playedSamples) const {
  return std::max(next, FrameReached(playedSamples));
}

int64_t PlaybackClock::SamplesUntil(uint32_t frame, int64_t playedSamples) const {
  const int64_t due = FrameStartSample(frame, frameDuration100ns_) - firstSample_;
  return std::max<int64_t>(0, due - playedSamples);
}

}  // namespace tavrona
