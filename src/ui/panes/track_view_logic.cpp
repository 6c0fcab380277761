#include "ui/panes/track_view_logic.h"

#include <algorithm>

#include "model/time_text.h"

namespace tavrona {

namespace {

// Coordinates from x(f) arithmetic stay inside int32 for every frame a project can hold; the
// 64-bit step keeps x(0) - 1 at -1.
int Px(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void AddFill(std::vector<TrackDrawOp>& ops, int64_t l, int64_t t, int64_t r, int64_t b,
             uint32_t colour) {
  TrackDrawOp op;
  op.kind = TrackDrawOp::Fill;
  op.left = Px(l);
  op.top = Px(t);
  op.right = Px(r);
  op.bottom = Px(b);
  op.colour = colour;
  ops.push_back(std::move(op));
}

void AddText(std::vector<TrackDrawOp>& ops, int64_t x, int64_t y, QString text,
             uint32_t colour = kBlack) {
  TrackDrawOp op;
  op.kind = TrackDrawOp::Text;
  op.left = Px(x);
  op.top = Px(y);
  op.colour = colour;
  op.text = std::move(text);
  ops.push_back(std::move(op));
}

void AddCell(std::vector<TrackDrawOp>& ops, int cell) {
  TrackDrawOp op;
  op.kind = TrackDrawOp::Cell;
  op.cell = cell;
  ops.push_back(std::move(op));
}

void SetEmpty(PaneCell& cell) {
  cell = PaneCell{};
  cell.left = cell.top = cell.right = cell.bottom = -1;
}

// The first event that can show on from frame f0: the last event whose successor starts after
// f0 is the first one with start > f0, less one. Every earlier event's successor starts at or
// before f0, so walking from here skips exactly what a walk from event 0 would skip.
uint32_t FirstCandidate(const TrackData& track, uint32_t f0) {
  const EventRecord* begin = track.events.get();
  const EventRecord* end = begin + track.count;
  const EventRecord* above = std::upper_bound(
      begin, end, f0, [](uint32_t f, const EventRecord& e) { return f < e.start; });
  const auto k = static_cast<uint32_t>(above - begin);
  return k == 0 ? 0 : k - 1;
}

struct Frames {
  uint32_t f0, f1, step;
};

// Steps 3 to 6 of both modes: labels, frame ticks, range and position markers.
void AddRuler(const ProjectData& project, const TrackViewState& s, const VisibleRect& v,
              const Frames& fr, std::vector<TrackDrawOp>& ops) {
  const uint32_t scale = s.scale;
  const uint32_t step = fr.step;
  for (uint32_t t = (fr.f0 / step) * step; t < (fr.f1 / step) * step; t += step) {
    const int64_t x = FrameToX(t, scale);
    AddText(ops, x, kLabelTop, TimeLabel(t, project.frameRate));
    AddFill(ops, x, kTickStripTop, x + 1, kRowsTop, kBlack);
  }
  if (DrawsFrameTicks(scale)) {
    const uint32_t last = fr.f1 + (scale * 200u) / 32u;
    for (uint32_t f = fr.f0; f < last; ++f) {
      const int64_t x = FrameToX(f, scale);
      AddFill(ops, x, 28, x + 1, kRowsTop, kBlack);
    }
  }
  if (s.rangeStart != s.rangeEnd) {
    const int64_t xs = FrameToX(s.rangeStart, scale);
    const int64_t xe = FrameToX(s.rangeEnd, scale);
    AddFill(ops, xs - 1, kTickStripTop, xs + 1, kRowsTop, kBlack);
    AddFill(ops, xs + 1, kTickStripTop, xe - 1, kRowsTop, kBlue);
    AddFill(ops, xe - 1, kTickStripTop, xe + 1, kRowsTop, kBlack);
  }
  const int64_t xp = FrameToX(s.position, scale);
  AddFill(ops, xp - 1, kTickStripTop, xp + 1, kRowsTop, kRed);
  (void)v;
}

void SetBox(PaneCell& cell, int64_t l, int64_t t, int64_t r, int64_t b, uint32_t fill,
            uint32_t frame, int32_t data, QString text) {
  cell = PaneCell{};
  cell.kind = CellBox;
  cell.colourMode = 0;
  cell.textFlags = CellLeft;
  cell.left = Px(l);
  cell.top = Px(t);
  cell.right = Px(r);
  cell.bottom = Px(b);
  cell.colour1 = fill;
  cell.colour2 = frame;
  cell.data = data;
  cell.text = std::move(text);
}

void PaintAllTracks(const ProjectData& project, const TrackViewState& s, const VisibleRect& v,
                    const Frames& fr, std::vector<TrackDrawOp>& ops, TrackViewCells& cells) {
  const uint32_t scale = s.scale;
  const int64_t xm = FrameToX(project.movieLength, scale);
  AddFill(ops, v.left, kTickStripTop, v.right, kRowsTop, kLightGrey);
  AddFill(ops, v.left, kRowsTop, v.right, kBandBottom, kPaleGrey);
  AddFill(ops, xm - 1, kTickStripTop, xm + 1, kRowsTop, kBlack);
  AddRuler(project, s, v, fr, ops);
  for (uint32_t i = 0; i < static_cast<uint32_t>(kTrackCount); ++i) {
    const int64_t y = kRowsTop + kRowHeight * static_cast<int64_t>(i);
    const bool current = i == s.currentTrack;
    SetBox(cells[i], int64_t{v.left} - 200, y, int64_t{v.right} + 200, y + kRowHeight,
           current ? kCurrentRowFill : kPaleGrey, current ? kCurrentRowFrame : kLightGrey,
           static_cast<int32_t>(i), QString());
    if (!(y > v.top - 16 && y < v.bottom)) continue;
    AddCell(ops, static_cast<int>(i));
    const TrackData& track = project.tracks[i];
    if (track.events) {
      const EventRecord* ev = track.events.get();
      for (uint32_t e = FirstCandidate(track, fr.f0); ev[e].start < fr.f1 && e < track.count; ++e) {
        if (!ev[e].InUse() || ev[e + 1].start <= fr.f0) continue;
        const int64_t xs = FrameToX(ev[e].start, scale);
        const int64_t xe =
            e + 1 < track.count ? int64_t{FrameToX(ev[e + 1].start, scale)} : v.right + 200;
        AddFill(ops, xs, y + 1, xe, y + 15, ev[e].IsSelected() ? kNavy : kGrey);
      }
    }
    // A muted track's number is drawn grey on the empty row's colour, clear of its events.
    const bool muted = project.trackSound[i].muted;
    if (muted) AddFill(ops, 0, y + 1, kTrackNumberWidth, y + kRowHeight - 1, kPaleGrey);
    AddText(ops, 0, y, QString::asprintf("%03u", i), muted ? kGrey : kBlack);
  }
  AddFill(ops, xm - 1, kRowsTop, xm + 1, kRowsBottom, kBlack);
  for (int c = kTrackCount; c < kTrackViewCells; ++c) SetEmpty(cells[c]);
}

void PaintSingleTrack(const ProjectData& project, const TrackViewState& s, const VisibleRect& v,
                      const Frames& fr, std::vector<TrackDrawOp>& ops, TrackViewCells& cells) {
  const uint32_t scale = s.scale;
  const int64_t xm = FrameToX(project.movieLength, scale);
  AddFill(ops, v.left, kTickStripTop, v.right, kRowsTop, kLightGrey);
  AddFill(ops, v.left, kRowsTop, v.right, kBandBottom, kPaleGrey);
  AddFill(ops, xm - 1, kTickStripTop, xm + 1, kRowsTop, kBlack);
  AddRuler(project, s, v, fr, ops);

  int used = 0;
  const TrackData& track = project.tracks[std::min<uint32_t>(s.currentTrack, kTrackCount - 1)];
  const EventRecord* ev = track.events.get();
  if (ev != nullptr) {
    for (uint32_t e = FirstCandidate(track, fr.f0);
         e < track.count && ev[e].start < fr.f1 && used < kBandCellLimit; ++e) {
      if (!ev[e].InUse() || ev[e + 1].start <= fr.f0) continue;
      const int64_t xs = FrameToX(ev[e].start, scale);
      const int64_t xe =
          e + 1 < track.count ? int64_t{FrameToX(ev[e + 1].start, scale)} : v.right + 200;
      const bool selected = ev[e].IsSelected();
      SetBox(cells[used], xs, kRowsTop, xe, kBandBottom, selected ? kLightGrey : kWhite,
             selected ? kGrey : kLightGrey, static_cast<int32_t>(e),
             QString::asprintf(" %04u", static_cast<unsigned>(ev[e].fileId)));
      AddCell(ops, used++);
    }
  }
  AddFill(ops, xm - 1, kRowsTop, xm + 1, kBandBottom, kBlack);
  AddText(ops, v.left, kCaptionTop, QString::asprintf("Track %03u", s.currentTrack));

  if (ev != nullptr) {
    // Events before the position are never listed: start from the first at or after it.
    const EventRecord* first =
        std::lower_bound(ev, ev + track.count, s.position,
                         [](const EventRecord& r, uint32_t p) { return r.start < p; });
    int64_t y = kListTop;
    for (auto e = static_cast<uint32_t>(first - ev); e < track.count; ++e) {
      if (!ev[e].InUse() || ev[e].start < s.position) continue;
      if (y > v.top - 16) {
        if (used >= kTrackViewCells) break;
        const bool selected = ev[e].IsSelected();
        const QString time = TimeLabel(ev[e].start, project.frameRate);
        SetBox(cells[used], v.left, y, v.right, y + kRowHeight, selected ? kLightGrey : kWhite,
               selected ? kGrey : kLightGrey, static_cast<int32_t>(e),
               QStringLiteral(" ") + time +
                   QString::asprintf(" ID:%04u", static_cast<unsigned>(ev[e].fileId)));
        AddCell(ops, used++);
      }
      y += kRowHeight;
      if (y >= kListEnd || y >= v.bottom) break;
    }
  }
  for (int c = used; c < kTrackViewCells; ++c) SetEmpty(cells[c]);
}

}  // namespace

ScrollSizes TrackViewScrollSizes(uint32_t movieLength, uint32_t scale, QSize client) {
  ScrollSizes sizes;
  sizes.total = QSize(static_cast<int>(FrameToX(movieLength, scale) + 100u), kTrackViewHeight);
  sizes.page = QSize(std::max(0, client.width()) / 16 * 16, std::max(0, client.height()) / 16 * 16);
  sizes.line = QSize(16, 16);
  return sizes;
}

QString TimeLabel(uint32_t frame, double frameRate) {
  return QString::fromStdU16String(FormatShortFrameTime(frame, frameRate));
}

void BuildTrackViewPaint(const ProjectData& project, const TrackViewState& state,
                         const VisibleRect& visible, std::vector<TrackDrawOp>& ops,
                         TrackViewCells& cells) {
  ops.clear();
  const uint32_t scale = state.scale;
  const Frames fr{(scale * static_cast<uint32_t>(std::max(0, visible.left))) / 32u,
                  (scale * static_cast<uint32_t>(std::max(0, visible.right + 200))) / 32u,
                  LabelStep(scale)};
  if (state.displayMode == DisplayAllTracks) {
    PaintAllTracks(project, state, visible, fr, ops, cells);
  } else if (state.displayMode == DisplaySingleTrack) {
    PaintSingleTrack(project, state, visible, fr, ops, cells);
  } else {
    for (PaneCell& c : cells) SetEmpty(c);
  }
}

int CellAt(const TrackViewCells& cells, int x, int y) {
  for (int i = 0; i < kTrackViewCells; ++i) {
    const PaneCell& c = cells[i];
    if (c.left <= x && x < c.right && c.top <= y && y < c.bottom) return i;
  }
  return -1;
}

int64_t EventHitAt(const TrackData& track, uint32_t frame) {
  if (!track.events) return -1;
  const EventRecord* ev = track.events.get();
  for (uint32_t i = 0; i < track.count; ++i) {
    if (ev[i].InUse() && ev[i].start <= frame && frame < ev[i + 1].start) return i;
  }
  return -1;
}

std::optional<uint32_t> TrackNumberAt(int32_t displayMode, int x, int y) {
  if (displayMode != DisplayAllTracks || x < 0 || x >= kTrackNumberWidth) return std::nullopt;
  return TrackRowAt(y);
}

std::optional<uint32_t> TrackRowAt(int y) {
  if (y < kRowsTop) return std::nullopt;
  const int row = (y - kRowsTop) / kRowHeight;
  if (row >= kTrackCount) return std::nullopt;
  return static_cast<uint32_t>(row);
}

void ClearSelection(TrackData& track) {
  for (uint32_t i = 0; i < track.count; ++i) track.events[i].flags &= ~uint32_t{EventSelected};
}

void SelectAllInUse(TrackData& track) {
  for (uint32_t i = 0; i < track.count; ++i) {
    if (track.events[i].InUse()) track.events[i].flags |= EventSelected;
  }
}

void ApplySelectionClick(TrackData& track, uint32_t anchor, uint32_t clicked, bool ctrl,
                         bool shift) {
  if (clicked >= track.count) return;
  EventRecord* ev = track.events.get();
  if (ctrl) {
    ev[clicked].flags ^= EventSelected;
  } else if (shift) {
    // The anchor may point past the events after a delete; only real events are toggled.
    const uint32_t lo = std::min(anchor, clicked);
    const uint32_t hi = std::max(anchor, clicked);
    for (uint32_t i = lo + 1; i < hi && i < track.count; ++i) ev[i].flags ^= EventSelected;
    ev[clicked].flags ^= EventSelected;
  } else {
    ClearSelection(track);
    ev[clicked].flags |= EventSelected;
  }
}

std::vector<uint32_t> SelectedIndices(const TrackData& track) {
  std::vector<uint32_t> out;
  for (uint32_t i = 0; i < track.count; ++i) {
    if (track.events[i].IsSelected()) out.push_back(i);
  }
  return out;
}

void PressTickStrip(TrackViewState& s, uint32_t frame) {
  s.position = frame;
  if (s.rangeStart == frame) {
    s.rangeStart = s.rangeEnd;
    s.rangeEnd = frame;
  } else if (frame != s.rangeEnd) {
    s.rangeStart = s.rangeEnd = frame;
  }
}

void ReleaseTickStrip(TrackViewState& s, uint32_t frame) {
  s.position = s.rangeEnd = frame;
  if (s.rangeStart > s.rangeEnd) std::swap(s.rangeStart, s.rangeEnd);
}

void StepPosition(TrackViewState& s, int delta, bool shift, uint32_t movieLength) {
  const uint32_t old = s.position;
  uint32_t next = old;
  if (delta < 0 && old > 0) next = old - 1;
  if (delta > 0 && old < movieLength) next = old + 1;
  if (!shift) {
    s.position = s.rangeStart = s.rangeEnd = next;
    return;
  }
  if (old == s.rangeStart) {
    s.rangeStart = next;
  } else {
    s.rangeEnd = next;
  }
  s.position = next;
  if (s.rangeStart > s.rangeEnd) std::swap(s.rangeStart, s.rangeEnd);
}

bool StepAnchor(TrackViewState& s, TrackData& track, int delta) {
  if (track.count == 0) return false;
  uint32_t anchor = std::min(s.anchorEvent, track.count - 1);
  if (delta < 0 && anchor > 0) --anchor;
  if (delta > 0 && anchor + 1 < track.count) ++anchor;
  ClearSelection(track);
  track.events[anchor].flags |= EventSelected;
  s.anchorEvent = anchor;
  return true;
}

bool MoveSelected(TrackData& track, uint32_t delta) {
  for (uint32_t i = 0; i < track.count; ++i) {
    EventRecord& e = track.events[i];
    if (!e.IsSelected()) continue;
    const uint32_t moved = e.start + delta;
    e.start = moved <= kMaxMovieLength ? moved : 0;
  }
  return Sort(track);
}

bool AutoExtendMovie(ProjectData& project, bool enabled, uint32_t lastStart) {
  if (!enabled || lastStart <= project.movieLength) return false;
  const uint32_t length = ClampMovieLength(lastStart);
  if (length == project.movieLength) return false;
  project.movieLength = length;
  return true;
}

uint32_t LastStart(const TrackData& track) {
  return track.count == 0 ? 0 : track.events[track.count - 1].start;
}

std::vector<EventRecord> EventsForClipboard(const TrackData& track) {
  std::vector<EventRecord> out;
  for (uint32_t i = 0; i < track.count; ++i) {
    if (track.events[i].IsSelected()) out.push_back(track.events[i]);
  }
  if (!out.empty()) {
    const uint32_t first = out.front().start;
    for (EventRecord& r : out) r.start -= first;
  }
  return out;
}

bool PasteEvents(TrackData& track, std::vector<EventRecord> records, uint32_t position) {
  ClearSelection(track);
  for (EventRecord& r : records) r.start += position;
  // The payload's starts ascend only when it came from a timeline; templates all start at 0.
  // The merge needs an ascending block, so order it (stably) first.
  std::stable_sort(records.begin(), records.end(),
                   [](const EventRecord& a, const EventRecord& b) { return a.start < b.start; });
  return InsertSorted(track, static_cast<uint32_t>(records.size()), records.data());
}

std::optional<uint32_t> DropTrack(const TrackViewState& s, int y) {
  if (y < kRowsTop) return std::nullopt;
  if (s.displayMode == DisplayAllTracks) return TrackRowAt(y);
  if (s.displayMode == DisplaySingleTrack && y < kBandBottom) return s.currentTrack;
  return std::nullopt;
}

std::optional<int> TemplateForKey(const std::array<char16_t, kTemplateCount>& keys, int key) {
  if (key == ' ' || key <= 0 || key > 0xFFFF) return std::nullopt;
  for (int slot = 0; slot < kTemplateCount; ++slot) {
    if (keys[slot] == static_cast<char16_t>(key)) return slot;
  }
  return std::nullopt;
}

std::optional<int> ScrollForPosition(uint32_t x, int viewLeft, int viewWidth) {
  const int64_t px = x;
  if (px < viewLeft) return static_cast<int>(std::max<int64_t>(0, px - 100));
  if (px >= int64_t{viewLeft} + viewWidth) {
    return static_cast<int>(std::max<int64_t>(0, px - viewWidth + 100));
  }
  return std::nullopt;
}

}  // namespace tavrona
