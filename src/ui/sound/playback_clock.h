// The playback clock's decisions, apart from any thread or device: which output frame a sample
// position belongs to, which frame to compose next and how long until it is due.
//
// Positions are in mix sample pairs (kMixRate per second) counted from the playback's first
// sample, FrameStartSample(fromFrame). With sound, the count is what the sound device has
// played; without, the steady clock's elapsed time converted to samples. Either way the picture
// follows the count: a frame is due when the count reaches its first sample, and frames the
// count has already passed are skipped.
#pragma once

#include <cstdint>

namespace tavrona {

// The output frame whose samples hold sample: the largest f with
// FrameStartSample(f, frameDuration100ns) <= sample. sample >= 0, frameDuration100ns > 0; capped
// at UINT32_MAX.
uint32_t FrameAtSample(int64_t sample, int64_t frameDuration100ns);

// Elapsed steady time as a sample count (truncated); negative elapsed counts as 0.
int64_t SamplesInTicks(int64_t elapsed100ns);

class PlaybackClock {
 public:
  // Playback from output frame fromFrame; frameDuration100ns > 0.
  PlaybackClock(uint32_t fromFrame, int64_t frameDuration100ns);

  uint32_t FromFrame() const { return fromFrame_; }
  // The output sample playback starts at: FrameStartSample(fromFrame).
  int64_t FirstSample() const { return firstSample_; }

  // The frame being heard once playedSamples pairs have played since FirstSample.
  uint32_t FrameReached(int64_t playedSamples) const;
  // The frame to compose when next is the one after the last composed: next while the count
  // has not passed it, else the frame reached (the ones between are skipped).
  uint32_t FrameToCompose(uint32_t next, int64_t playedSamples) const;
  // Sample pairs still to play before frame is due; 0 when it is due or past.
  int64_t SamplesUntil(uint32_t frame, int64_t playedSamples) const;

 private:
  uint32_t fromFrame_;
  int64_t frameDuration100ns_;
  int64_t firstSample_;
};

}  // namespace tavrona
