#include "render/mix.h"

#include <algorithm>
#include <cmath>

namespace tavrona {
namespace {

using Int128 = __int128;

// Source positions beyond these bounds could overflow the exact arithmetic below; events that
// reach them (only a damaged or absurd project does) are silent.
constexpr int64_t kMaxPosition = int64_t{1} << 44;
constexpr int64_t kMaxRate = int64_t{1} << 44;
constexpr int64_t kMaxFrameDuration = int64_t{1} << 30;
// Faster than this the source span of a single output sample is more than a block: silent.
constexpr int64_t kMaxSpeed = 1024;
// Source samples read at once.
constexpr int64_t kSourceBlock = 16384;

Int128 FloorDiv(Int128 n, Int128 d) {
  const Int128 q = n / d;
  return (n % d != 0 && (n < 0) != (d < 0)) ? q - 1 : q;
}

// The exact source position of output samples, as a whole part and a remainder over den,
// stepped one output sample at a time without rounding.
struct SourceCursor {
  Int128 whole = 0;
  Int128 remainder = 0;  // 0 <= remainder < den
  Int128 den = 1;
  Int128 stepWhole = 0;
  Int128 stepRemainder = 0;
  // The fraction is read from the remainder's top 52 bits, so that it costs one 64-bit
  // conversion a sample rather than two of 128 bits.
  int fractionShift = 0;
  double fractionScale = 1.0;

  void Step() {
    whole += stepWhole;
    remainder += stepRemainder;
    if (remainder >= den) {
      remainder -= den;
      ++whole;
    }
  }
  float Fraction() const {
    return static_cast<float>(static_cast<double>(static_cast<int64_t>(remainder >> fractionShift)) *
                              fractionScale);
  }
};

// How an event maps output time to source time: position + elapsed * rateNum / (D * rateDen).
struct EventMapping {
  int64_t startFrame = 0;
  int64_t position100ns = 0;
  int64_t rateNum = 0;  // source 100-ns units ...
  int64_t rateDen = 1;  // ... per this many output frames
};

// The cursor at output sample n: source sample = (P * 48000 * D * span + (n * 10^7 - s * D *
// 48000) * R) / (10^7 * D * span).
SourceCursor CursorAt(const EventMapping& m, int64_t frameDuration, int64_t n) {
  const Int128 d = frameDuration;
  const Int128 den = Int128{k100nsPerSecond} * d * m.rateDen;
  const Int128 num = Int128{m.position100ns} * kMixRate * d * m.rateDen +
                     (Int128{n} * k100nsPerSecond - Int128{m.startFrame} * d * kMixRate) * m.rateNum;
  SourceCursor c;
  c.den = den;
  c.whole = FloorDiv(num, den);
  c.remainder = num - c.whole * den;
  const Int128 step = Int128{k100nsPerSecond} * m.rateNum;
  c.stepWhole = step / den;
  c.stepRemainder = step % den;
  while ((den >> c.fractionShift) >= (Int128{1} << 52)) ++c.fractionShift;
  c.fractionScale = 1.0 / static_cast<double>(static_cast<int64_t>(den >> c.fractionShift));
  return c;
}

// Adds the event's sound over output samples [from, to) of its span [spanStart, spanEnd) into
// out (which begins at output sample outStart), multiplied by gain.
bool AddEventSound(SoundSamples& sound, const EventMapping& m, int64_t frameDuration,
                   int64_t spanStart, int64_t spanEnd, int64_t from, int64_t to,
                   int64_t outStart, float gain, float* out, std::vector<float>& scratch) {
  bool ok = true;
  const int64_t speedCeil = (Int128{m.rateNum} + Int128{frameDuration} * m.rateDen - 1) /
                            (Int128{frameDuration} * m.rateDen);
  const int64_t chunk = std::max<int64_t>(1, kSourceBlock / std::max<int64_t>(1, speedCeil) - 2);
  SourceCursor c = CursorAt(m, frameDuration, from);
  for (int64_t n0 = from; n0 < to; n0 += chunk) {
    const int64_t n1 = std::min(to, n0 + chunk);
    // Source samples [first, first + span) hold every pair this chunk interpolates between.
    const int64_t first = static_cast<int64_t>(c.whole);
    const SourceCursor end = CursorAt(m, frameDuration, n1 - 1);
    const int64_t span = static_cast<int64_t>(end.whole) - first + 2;
    scratch.resize(static_cast<size_t>(span) * kMixChannels);
    ok = sound.Read(first, span, scratch.data()) && ok;
    for (int64_t n = n0; n < n1; ++n, c.Step()) {
      const size_t at = static_cast<size_t>(static_cast<int64_t>(c.whole) - first) * kMixChannels;
      const float f = c.Fraction();
      // Linear fades over the first and last kMixFadeSamples of the event's sound.
      const float fade = std::min({1.0f, static_cast<float>(n - spanStart) / kMixFadeSamples,
                                   static_cast<float>(spanEnd - n) / kMixFadeSamples});
      const float g = gain * fade;
      float* o = out + (n - outStart) * kMixChannels;
      for (int ch = 0; ch < kMixChannels; ++ch) {
        const float a = scratch[at + ch];
        const float b = scratch[at + kMixChannels + ch];
        o[ch] += g * (a + (b - a) * f);
      }
    }
  }
  return ok;
}

// The mapping the picture uses for event i of the track; false when the event is silent.
bool MappingOf(const TrackData& track, uint32_t i, int64_t frameDuration, EventMapping& m) {
  const EventRecord& e = track.events[i];
  m.startFrame = e.start;
  m.position100ns = e.playbackPosition;
  m.rateNum = e.playbackRate;
  m.rateDen = 1;
  if ((e.flags & EventInterpolate) && i + 1 < track.count) {
    const EventRecord& next = track.events[i + 1];
    m.rateNum = next.playbackPosition - e.playbackPosition;
    m.rateDen = static_cast<int64_t>(next.start) - e.start;
    if (m.rateDen <= 0) return false;
  }
  if (m.rateNum <= 0 || m.rateNum >= kMaxRate || m.rateDen >= (int64_t{1} << 21)) return false;
  if (m.position100ns <= -kMaxPosition || m.position100ns >= kMaxPosition) return false;
  return m.rateNum / m.rateDen <= frameDuration * kMaxSpeed;
}

}  // namespace

float SoftClip(float x) {
  const float a = std::abs(x);
  if (a <= kMixClipKnee) return x;
  const float room = 1.0f - kMixClipKnee;
  const float bent = kMixClipKnee + room * std::tanh((a - kMixClipKnee) / room);
  return std::copysign(bent, x);
}

bool ProjectHasSound(const ProjectData& project) {
  return std::any_of(project.files.begin(), project.files.end(),
                     [](const FileEntry& f) { return f.kind == FileMovie && f.sound != nullptr; });
}

bool MixSamples(const ProjectData& project, int64_t firstSample, int64_t count, float* out) {
  if (count <= 0) return true;
  std::fill(out, out + count * kMixChannels, 0.0f);
  const int64_t d = project.frameDuration100ns;
  if (d <= 0 || d >= kMaxFrameDuration) return true;
  const int64_t length = ClampMovieLength(project.movieLength);
  const int64_t projectEnd = FrameStartSample(length, d);
  const int64_t lastSample = std::min(firstSample + count, projectEnd);
  if (firstSample >= lastSample) return true;
  // The frame that holds the first sample: events that ended before it are passed over.
  const int64_t firstFrame = std::max<int64_t>(
      0, static_cast<int64_t>(Int128{firstSample} * k100nsPerSecond / (Int128{d} * kMixRate)) - 1);
  bool ok = true;
  std::vector<float> scratch;
  for (int t = 0; t < kTrackCount; ++t) {
    const TrackData& track = project.tracks[t];
    const float gain = TrackGain(project.trackSound[t]);
    if (gain == 0.0f || !track.events || track.count == 0) continue;
    const int64_t at = EventIndexAt(track, static_cast<uint32_t>(firstFrame));
    for (uint32_t i = at < 0 ? 0 : static_cast<uint32_t>(at); i < track.count; ++i) {
      const EventRecord& e = track.events[i];
      const int64_t startFrame = e.start;
      if (startFrame >= length) break;
      const int64_t endFrame = std::min<int64_t>(track.events[i + 1].start, length);
      const int64_t spanStart = FrameStartSample(startFrame, d);
      const int64_t spanEnd = FrameStartSample(endFrame, d);
      if (spanStart >= lastSample) break;
      const int64_t from = std::max(spanStart, firstSample);
      const int64_t to = std::min(spanEnd, lastSample);
      if (from >= to || !e.InUse() || e.fileId < 0 || e.fileId >= kFileCount) continue;
      const FileEntry& entry = project.files[static_cast<size_t>(e.fileId)];
      if (entry.kind != FileMovie || !entry.sound) continue;
      EventMapping m;
      if (!MappingOf(track, i, d, m)) continue;
      ok = AddEventSound(*entry.sound, m, d, spanStart, spanEnd, from, to, firstSample, gain, out,
                         scratch) &&
           ok;
    }
  }
  for (int64_t i = 0; i < (lastSample - firstSample) * kMixChannels; ++i) out[i] = SoftClip(out[i]);
  return ok;
}

bool MixFrames(const ProjectData& project, uint32_t firstFrame, uint32_t endFrame,
               std::vector<float>& out) {
  const int64_t d = project.frameDuration100ns;
  const int64_t a = FrameStartSample(firstFrame, d);
  const int64_t b = FrameStartSample(std::max(firstFrame, endFrame), d);
  out.resize(static_cast<size_t>(b - a) * kMixChannels);
  return MixSamples(project, a, b - a, out.data());
}

}  // namespace tavrona
