#include "model/track_data.h"

#include <algorithm>
#include <new>

namespace tavrona {
namespace {

std::unique_ptr<EventRecord[]> AllocateRecords(uint64_t n) {
  if (n > SIZE_MAX / sizeof(EventRecord)) return nullptr;
  return std::unique_ptr<EventRecord[]>(new (std::nothrow) EventRecord[n]());
}

// Sorts a[0..n) by start into ascending order, stably, using scratch[0..n) as merge space.
void MergeSort(EventRecord* a, uint32_t n, EventRecord* scratch) {
  if (n < 2) return;
  if (n == 2) {
    if (a[0].start > a[1].start) std::swap(a[0], a[1]);
    return;
  }
  const uint32_t first = (n + 1) / 2;
  MergeSort(a, first, scratch);
  MergeSort(a + first, n - first, scratch);
  uint32_t i = 0, j = first, o = 0;
  while (i < first && j < n) {
    // Taking from the second half only on a strictly smaller start keeps the sort stable.
    if (a[j].start < a[i].start) {
      scratch[o++] = a[j++];
    } else {
      scratch[o++] = a[i++];
    }
  }
  while (i < first) scratch[o++] = a[i++];
  while (j < n) scratch[o++] = a[j++];
  std::copy(scratch, scratch + n, a);
}

}  // namespace

bool CopyTrack(const TrackData& from, TrackData& to) {
  if (!from.events) {
    to.events.reset();
    to.count = 0;
    return true;
  }
  const uint64_t n = static_cast<uint64_t>(from.count) + 1;
  auto events = AllocateRecords(n);
  if (!events) return false;
  std::copy(from.events.get(), from.events.get() + n, events.get());
  to.events = std::move(events);
  to.count = from.count;
  return true;
}

bool ResetTrack(TrackData& track, uint32_t n) {
  track.events.reset();
  track.count = 0;
  auto events = AllocateRecords(static_cast<uint64_t>(n) + 1);
  if (!events) return false;
  events[n] = EndMarker();
  track.events = std::move(events);
  track.count = n;
  return true;
}

bool InsertSorted(TrackData& track, uint32_t k, const EventRecord* records) {
  if (!track.events && !ResetTrack(track, 0)) return false;
  const uint64_t total = static_cast<uint64_t>(track.count) + k;
  if (total >= kEndMarkerStart) return false;  // count + 1 must stay a uint32
  auto merged = AllocateRecords(total + 1);
  if (!merged) return false;
  const EventRecord* old = track.events.get();  // its end marker stops the old side
  uint32_t oi = 0, ni = 0;
  for (uint64_t o = 0; o < total; ++o) {
    if (ni < k && records[ni].start < old[oi].start) {
      merged[o] = records[ni++];
    } else if (oi < track.count) {
      merged[o] = old[oi++];
    } else {
      merged[o] = records[ni++];
    }
  }
  merged[total] = EndMarker();
  track.events = std::move(merged);
  track.count = static_cast<uint32_t>(total);
  return true;
}

bool RemoveFlagged(TrackData& track, uint32_t mask) {
  if (!track.events) return ResetTrack(track, 0);
  uint32_t kept = 0;
  for (uint32_t i = 0; i < track.count; ++i) {
    if ((track.events[i].flags & mask) == 0) ++kept;
  }
  auto remaining = AllocateRecords(static_cast<uint64_t>(kept) + 1);
  if (!remaining) return false;
  uint32_t o = 0;
  for (uint32_t i = 0; i < track.count; ++i) {
    if ((track.events[i].flags & mask) == 0) remaining[o++] = track.events[i];
  }
  remaining[kept] = EndMarker();
  track.events = std::move(remaining);
  track.count = kept;
  return true;
}

bool Sort(TrackData& track) {
  if (!track.events) return true;
  auto scratch = AllocateRecords(static_cast<uint64_t>(track.count) + 1);
  if (!scratch) return false;
  MergeSort(track.events.get(), track.count, scratch.get());
  track.events[track.count] = EndMarker();
  return true;
}

int64_t EventIndexAt(const TrackData& track, uint32_t frame) {
  if (!track.events) return -1;
  // Binary search for the first event whose start is beyond frame; the one before it is the
  // last event (in list order) starting at or before frame.
  const EventRecord* begin = track.events.get();
  const EventRecord* end = begin + track.count;
  const EventRecord* after = std::upper_bound(
      begin, end, frame, [](uint32_t f, const EventRecord& e) { return f < e.start; });
  return after == begin ? -1 : (after - begin) - 1;
}

const EventRecord* EventAt(const TrackData& track, uint32_t frame) {
  const int64_t i = EventIndexAt(track, frame);
  return i < 0 ? nullptr : &track.events[i];
}

}  // namespace tavrona
