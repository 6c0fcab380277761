#include "render/playback.h"

#include <type_traits>

#include "render/matrix.h"

namespace tavrona {
namespace {

// Makes events[cursor] the event in effect. The cursor still points at it.
void TakeEventIntoEffect(const TrackData& track, PlaybackState& s) {
  const EventRecord& e = track.events[s.cursor];
  s.currentStart = e.start;
  s.current = e;
  if (e.flags & EventInterpolate) {
    if (s.cursor + 1 < track.count) {
      s.origin = e;
      s.target = track.events[s.cursor + 1];
      s.span = static_cast<int32_t>(s.target.start - e.start);
      s.step = 0;
    } else {
      // The last event of a track has nothing to move towards and plays like any other.
      s.current.flags &= ~static_cast<uint32_t>(EventInterpolate);
    }
  }
  if (s.current.flags & EventBaseTransform) BuildPlacementMatrices(s.current);
  ApplyHalfPixelOffset(s.current);
}

// Signed division truncating towards zero that wraps instead of trapping on MIN / -1.
template <class Int>
Int DivTrunc(Int a, Int n) {
  if (n == -1) return static_cast<Int>(-static_cast<std::make_unsigned_t<Int>>(a));
  return a / n;
}

// o + ((t - o) * d) / n, in the wrapping arithmetic of the integer width Int.
template <class Int>
Int LerpInt(Int o, Int t, Int d, Int n) {
  using U = std::make_unsigned_t<Int>;
  const Int product = static_cast<Int>((static_cast<U>(t) - static_cast<U>(o)) * static_cast<U>(d));
  return static_cast<Int>(static_cast<U>(o) + static_cast<U>(DivTrunc(product, n)));
}

uint8_t LerpByte(int o, int t, int64_t d, int64_t n) {
  return static_cast<uint8_t>(o + ((t - o) * d) / n);
}

float LerpFloat(float o, float t, int32_t d, int32_t n) {
  return o + (t - o) * d / n;
}

void RebuildInterpolatedPlacement(PlaybackState& s) {
  if (s.current.flags & EventBaseTransform) {
    BuildPlacementMatrices(s.current);
    ApplyHalfPixelOffset(s.current);
  }
}

}  // namespace

void ResetPlaybackState(PlaybackState& s) {
  s.current = EventRecord{};
  s.cursor = 0;
  s.currentStart = 0;
}

void InterpolateTrackEvent(const TrackData& track, PlaybackState& s) {
  const int32_t n = s.span;
  if (n == 0) return;
  const int32_t d = s.step;
  const EventRecord& o = s.origin;
  const EventRecord& t = s.target;
  EventRecord& c = s.current;
  c.playbackPosition = LerpInt<int64_t>(o.playbackPosition, t.playbackPosition, d, n);
  c.regionLeft = LerpInt<int32_t>(o.regionLeft, t.regionLeft, d, n);
  c.regionTop = LerpInt<int32_t>(o.regionTop, t.regionTop, d, n);
  c.regionRight = LerpInt<int32_t>(o.regionRight, t.regionRight, d, n);
  c.regionBottom = LerpInt<int32_t>(o.regionBottom, t.regionBottom, d, n);
  c.red = LerpByte(o.red, t.red, d, n);
  c.green = LerpByte(o.green, t.green, d, n);
  c.blue = LerpByte(o.blue, t.blue, d, n);
  c.opacity = LerpByte(DecodeOpacity(o.opacity), DecodeOpacity(t.opacity), d, n);
  // The placement parameters move only towards an event that is itself placed by them.
  if (track.events && s.cursor < track.count &&
      (track.events[s.cursor].flags & EventBaseTransform)) {
    c.baseX = LerpFloat(o.baseX, t.baseX, d, n);
    c.baseY = LerpFloat(o.baseY, t.baseY, d, n);
    c.scale = LerpFloat(o.scale, t.scale, d, n);
    c.rotation = LerpFloat(o.rotation, t.rotation, d, n);
    c.positionX = LerpFloat(o.positionX, t.positionX, d, n);
    c.positionY = LerpFloat(o.positionY, t.positionY, d, n);
  }
}

void SeekTrack(const TrackData& track, PlaybackState& s, uint32_t a) {
  if (!track.events) return;
  if (a < s.currentFrame) ResetPlaybackState(s);
  while (s.cursor < track.count) {
    const EventRecord& e = track.events[s.cursor];
    if (a < e.start) break;
    if (a < track.events[s.cursor + 1].start) {
      s.currentFrame = e.start;
      TakeEventIntoEffect(track, s);
    }
    ++s.cursor;
  }
  if (a != s.currentFrame) {
    if (!(s.current.flags & EventInterpolate)) {
      // The frame difference is taken as a signed 32-bit number, as the position may need to
      // move back when the state was left ahead of a freshly taken event.
      const int64_t frames = static_cast<int32_t>(a - s.currentFrame);
      s.current.playbackPosition = static_cast<int64_t>(
          static_cast<uint64_t>(s.current.playbackPosition) +
          static_cast<uint64_t>(frames) * static_cast<uint64_t>(s.current.playbackRate));
    } else {
      s.step = static_cast<int32_t>(a - s.currentStart);
      InterpolateTrackEvent(track, s);
      RebuildInterpolatedPlacement(s);
    }
  }
  s.currentFrame = a;
}

bool EnterDueEvents(const TrackData& track, PlaybackState& s) {
  if (!track.events) return false;
  while (s.cursor < track.count && track.events[s.cursor].start <= s.currentFrame) {
    TakeEventIntoEffect(track, s);
    ++s.cursor;
  }
  return true;
}

void AdvanceTrack(const TrackData& track, PlaybackState& s) {
  if (s.current.flags & EventInterpolate) {
    ++s.step;
    InterpolateTrackEvent(track, s);
    RebuildInterpolatedPlacement(s);
  } else {
    s.current.playbackPosition =
        static_cast<int64_t>(static_cast<uint64_t>(s.current.playbackPosition) +
                             static_cast<uint64_t>(s.current.playbackRate));
  }
  ++s.currentFrame;
}

}  // namespace tavrona
