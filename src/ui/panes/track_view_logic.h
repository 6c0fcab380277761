// The timeline pane's decisions, kept apart from the widget: its view state, the geometry and
// the frame <-> x mapping, the picture of one paint (an ordered list of fills, texts and cells
// plus the 1024-cell array the hit test searches), the hit tests, and the editing rules
// (selection, range, moving, pasting, dropping, keys, auto-extend).
//
// Coordinates are document coordinates of the pane: origin at the top left of the scrolled
// area, rectangles as left, top, right, bottom with right and bottom excluded. All frame
// arithmetic is unsigned 32-bit with truncation.
#pragma once

#include <QSize>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/event_record.h"
#include "model/project_data.h"
#include "model/track_data.h"
#include "ui/pane_records.h"

namespace tavrona {

// Geometry.
inline constexpr int kTickStripTop = 20;
inline constexpr int kRowsTop = 32;
inline constexpr int kRowHeight = 16;
inline constexpr int kRowsBottom = kRowsTop + kRowHeight * kTrackCount;  // 4128
inline constexpr int kBandBottom = 64;
inline constexpr int kCaptionTop = 64;
inline constexpr int kListTop = 80;
inline constexpr int kListEnd = 4176;
inline constexpr int kTrackViewHeight = 4192;
inline constexpr int kLabelTop = 2;
// The track number at the left of each row of the all-tracks mode: document x 0 up to this.
inline constexpr int kTrackNumberWidth = 32;
inline constexpr int kTrackViewCells = 1024;
inline constexpr int kBandCellLimit = 768;
inline constexpr uint32_t kMinScale = 1;
inline constexpr uint32_t kMaxScale = 1024;
inline constexpr uint32_t kInitialScale = 4;

enum TrackDisplayMode : int32_t { DisplayAllTracks = 0, DisplaySingleTrack = 1 };

// Colours, 0x00BBGGRR.
inline constexpr uint32_t kLightGrey = 0xC0C0C0;
inline constexpr uint32_t kNavy = 0x800000;
inline constexpr uint32_t kGrey = 0x808080;
inline constexpr uint32_t kPaleGrey = 0xE0E0E0;
inline constexpr uint32_t kRed = 0x0000FF;
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr uint32_t kBlue = 0xC00000;
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kCurrentRowFill = 0xFF8080;  // (128, 128, 255)
inline constexpr uint32_t kCurrentRowFrame = 0x0000FF;

// The pane's state besides the project.
struct TrackViewState {
  uint32_t currentTrack = 0;
  uint32_t anchorEvent = 0;  // index in the current track; not reset when events go
  bool positionDrag = false;
  uint32_t position = 0;
  uint32_t rangeStart = 0;
  uint32_t rangeEnd = 0;  // the range shows only when it differs from rangeStart
  bool eventDrag = false;
  uint32_t dragOriginFrame = 0;
  int32_t displayMode = DisplayAllTracks;  // other values draw nothing
  uint32_t scale = kInitialScale;          // frames per 32 pixels, a power of two 1..1024
  bool autoExtend = true;
};

// x of frame f: f * 32 / scale.
constexpr uint32_t FrameToX(uint32_t frame, uint32_t scale) {
  return (frame * 32u) / scale;
}
// The frame nearest to x: (x * scale + 16) / 32. A point left of the document (x < 0, a
// captured mouse outside the pane) counts as x = 0.
constexpr uint32_t FrameAtX(int32_t x, uint32_t scale) {
  return ((static_cast<uint32_t>(x < 0 ? 0 : x) * scale) + 16u) >> 5;
}
// The label step: the frames in 100 pixels, rounded up.
constexpr uint32_t LabelStep(uint32_t scale) {
  return (scale * 100u + 31u) / 32u;
}
// Frame ticks are drawn when a frame is at least 4 pixels wide.
constexpr bool DrawsFrameTicks(uint32_t scale) {
  return 32u / scale >= 4u;
}

struct ScrollSizes {
  QSize total, page, line;
};
// Total width movieLength * 32 / scale + 100, height 4192; the page is the client size rounded
// down to multiples of 16; the line 16 x 16.
ScrollSizes TrackViewScrollSizes(uint32_t movieLength, uint32_t scale, QSize client);

// One step of a paint, in drawing order.
struct TrackDrawOp {
  enum Kind { Fill, Text, Cell } kind = Fill;
  int left = 0, top = 0, right = 0, bottom = 0;  // Fill: the rectangle; Text: (left, top)
  uint32_t colour = 0;                           // Fill, Text: 0x00BBGGRR
  QString text;                                  // Text
  int cell = -1;                                 // Cell: index into the cell array
};

struct VisibleRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

using TrackViewCells = std::array<PaneCell, kTrackViewCells>;

// Builds one paint of the pane for the visible rectangle (in the all-tracks mode a muted
// track's number is grey on a pale box over its events): ops receives the drawing steps in
// order, cells the 1024 cells (unused ones get the rectangle (-1, -1, -1, -1)). Events are
// found from the first one that can be visible on (binary search by start), which gives the
// same picture as walking each track from its first event.
void BuildTrackViewPaint(const ProjectData& project, const TrackViewState& state,
                         const VisibleRect& visible, std::vector<TrackDrawOp>& ops,
                         TrackViewCells& cells);

// The time label text of frame f ("%02u:%02u.%03u" by the frame rate).
QString TimeLabel(uint32_t frame, double frameRate);

// Hit tests.
// The first cell whose rectangle contains (x, y), or -1.
int CellAt(const TrackViewCells& cells, int x, int y);
// The first in-use event i with start(i) <= frame < start(i + 1) (the last one reaches to the
// end marker), or -1.
int64_t EventHitAt(const TrackData& track, uint32_t frame);
// The track row under y in the all-tracks mode, or nothing (above the rows or below the last).
std::optional<uint32_t> TrackRowAt(int y);
// The track whose number cell holds (x, y): in the all-tracks mode, the row under y when x is in
// the number column; nothing otherwise.
std::optional<uint32_t> TrackNumberAt(int32_t displayMode, int x, int y);

// Selection.
void ClearSelection(TrackData& track);
void SelectAllInUse(TrackData& track);
// The click rule: ctrl toggles the clicked event; shift toggles every event strictly between
// anchor and clicked, then the clicked one; otherwise the clicked event becomes the only one.
void ApplySelectionClick(TrackData& track, uint32_t anchor, uint32_t clicked, bool ctrl,
                         bool shift);
// The selected (in use and selected) events' indices.
std::vector<uint32_t> SelectedIndices(const TrackData& track);

// Range and position in the tick strip.
void PressTickStrip(TrackViewState& state, uint32_t frame);
void ReleaseTickStrip(TrackViewState& state, uint32_t frame);
// Left (delta -1) and Right (+1): the position moves, not below 0 nor beyond movieLength;
// without shift the range collapses to it, with shift the range end at the position follows.
void StepPosition(TrackViewState& state, int delta, bool shift, uint32_t movieLength);
// Up (-1) and Down (+1) without shift on a track with events: the anchor moves (clamped to the
// events there are) and becomes the only selected event; false when the track has none.
bool StepAnchor(TrackViewState& state, TrackData& track, int delta);

// Moving: every selected event gets start + delta (unsigned) when that is at most 1048576, else
// 0; then the track is re-sorted. False when sorting failed (the starts are moved then).
bool MoveSelected(TrackData& track, uint32_t delta);

// Auto-extend: when enabled and lastStart exceeds the movie length, the movie length becomes
// lastStart capped at 1048576. True when the length changed.
bool AutoExtendMovie(ProjectData& project, bool enabled, uint32_t lastStart);
// The start of the track's last event (0 for an empty track).
uint32_t LastStart(const TrackData& track);

// Clipboard: the selected events with starts relative to the first of them (empty when none).
std::vector<EventRecord> EventsForClipboard(const TrackData& track);
// Paste: selection cleared, position added to every start, all inserted at once. False when the
// insertion failed (the track keeps its events, with the selection cleared).
bool PasteEvents(TrackData& track, std::vector<EventRecord> records, uint32_t position);

// The track a drop from another pane lands on, or nothing when the drop is ignored.
std::optional<uint32_t> DropTrack(const TrackViewState& state, int y);
// The template slot a key inserts: the first slot whose key character is the key (Space and
// keys beyond one character never).
std::optional<int> TemplateForKey(const std::array<char16_t, kTemplateCount>& keys, int key);

// Where the view's left edge goes so that the position's x is visible after an arrow key:
// left of the view, x - 100; at or beyond the right edge, x - width + 100 (never below 0);
// otherwise nothing changes.
std::optional<int> ScrollForPosition(uint32_t x, int viewLeft, int viewWidth);

}  // namespace tavrona
