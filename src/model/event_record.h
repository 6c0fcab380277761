// The 152-byte event record: one layout in memory, in project files and on the clipboard.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/win_types.h"

namespace tavrona {

enum EventFlags : uint32_t {
  EventInUse = 1,          // the record is set
  EventSelected = 2,       // selected in its pane (saved and copied with the record)
  EventInterpolate = 4,    // interpolate towards the next event of the track
  EventBaseTransform = 8,  // placed by base/scale/rotation/position; clear = by the matrix
};

// Stored as int32 in records; values outside 0..4 are possible in files and fall through
// to the next default when resolved.
enum DrawingMethod : int32_t {
  DrawInherit = 0,
  DrawMethodNormal = 1,
  DrawMethodBoundaryCorrected = 2,
  DrawMethodLinear = 3,
  DrawMethodLinearColourCorrected = 4,
};

enum BlendMode : int32_t {
  BlendNormal = 0,
  BlendAnd = 1,
  BlendOr = 2,
  BlendXor = 3,
  BlendMultiply = 4,
  BlendAdd = 5,
  BlendSubtract = 6,
};
inline constexpr int kBlendModeCount = 7;

inline constexpr uint32_t kEndMarkerStart = 0xFFFFFFFFu;

struct EventRecord {
  uint32_t flags;               // EventFlags
  uint32_t start;               // output frame; templates hold 0; 0xFFFFFFFF = end marker
  int32_t fileId;               // 0..1023
  int32_t drawingMethod;        // DrawingMethod
  int64_t playbackPosition;     // source time at the event's start, 100-ns units
  int64_t playbackRate;         // source time per output frame, 100-ns units
  int32_t regionLeft;           // source rectangle, source pixels
  int32_t regionTop;
  int32_t regionRight;
  int32_t regionBottom;
  uint8_t red;
  uint8_t green;
  uint8_t blue;
  uint8_t opacity;              // 1..256 stored modulo 256 (0 = fully opaque)
  int32_t blendMode;            // BlendMode
  float matrix[9];              // source -> output, row by row
  float inverseMatrix[9];       // output -> source
  float baseX;                  // anchor in source coordinates
  float baseY;
  float scale;
  float rotation;               // degrees
  float positionX;              // where the anchor lands in output coordinates
  float positionY;

  bool InUse() const { return (flags & EventInUse) != 0; }
  // The track view and the editing commands treat an event as selected only with both bits.
  bool IsSelected() const {
    return (flags & (EventInUse | EventSelected)) == (EventInUse | EventSelected);
  }
};
static_assert(sizeof(EventRecord) == 152);
static_assert(offsetof(EventRecord, start) == 4);
static_assert(offsetof(EventRecord, fileId) == 8);
static_assert(offsetof(EventRecord, drawingMethod) == 12);
static_assert(offsetof(EventRecord, playbackPosition) == 16);
static_assert(offsetof(EventRecord, playbackRate) == 24);
static_assert(offsetof(EventRecord, regionLeft) == 32);
static_assert(offsetof(EventRecord, regionBottom) == 44);
static_assert(offsetof(EventRecord, red) == 48);
static_assert(offsetof(EventRecord, green) == 49);
static_assert(offsetof(EventRecord, blue) == 50);
static_assert(offsetof(EventRecord, opacity) == 51);
static_assert(offsetof(EventRecord, blendMode) == 52);
static_assert(offsetof(EventRecord, matrix) == 56);
static_assert(offsetof(EventRecord, inverseMatrix) == 92);
static_assert(offsetof(EventRecord, baseX) == 128);
static_assert(offsetof(EventRecord, scale) == 136);
static_assert(offsetof(EventRecord, rotation) == 140);
static_assert(offsetof(EventRecord, positionY) == 148);

// Opacity 1..256 as stored in the record's byte (256 becomes 0).
constexpr uint8_t EncodeOpacity(int opacity) { return static_cast<uint8_t>(opacity & 0xFF); }
// The stored byte back as 1..256.
constexpr int DecodeOpacity(uint8_t stored) { return stored == 0 ? 256 : stored; }

// The record that closes every track's event array.
constexpr EventRecord EndMarker() {
  EventRecord r{};
  r.start = kEndMarkerStart;
  return r;
}

}  // namespace tavrona
