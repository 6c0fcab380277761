// A track: its events as one contiguous array sorted by start and closed by an end marker.
// How far playback has run is not part of the track: whoever composes keeps its own state per
// track (render/playback_state.h). The list operations keep these invariants:
//   - events[0..count-1] ascend by start (unsigned), equal starts keep their relative order;
//   - events[count] is the end marker (all zero but start = 0xFFFFFFFF).
// Every change reallocates the array to exactly count + 1 records. Allocation failures return
// false and leave the track as it was (ResetTrack: empty). Pointers into the array are invalid
// after every operation except Sort.
#pragma once

#include <cstdint>
#include <memory>

#include "model/event_record.h"

namespace tavrona {

struct TrackData {
  std::unique_ptr<EventRecord[]> events;  // count + 1 records, or none before the first reset
  uint32_t count = 0;
};

// Releases the array and allocates n zeroed records plus the end marker.
bool ResetTrack(TrackData& track, uint32_t n);

// Makes to a copy of from (its count + 1 records). False when memory cannot be had; to is then
// left as it was.
bool CopyTrack(const TrackData& from, TrackData& to);

// Merges k records, already ascending by start, into the track. An inserted record goes after
// the existing records of the same start.
bool InsertSorted(TrackData& track, uint32_t k, const EventRecord* records);

// Removes every event whose flags share a bit with mask, keeping the order of the others.
bool RemoveFlagged(TrackData& track, uint32_t mask);

// Re-sorts the events by start after starts were edited in place (stable merge sort).
bool Sort(TrackData& track);

// The event in effect at frame: the last event in list order whose start is at most frame;
// nullptr before the first event's start.
const EventRecord* EventAt(const TrackData& track, uint32_t frame);

// Index form of EventAt: the event's index, or -1 when none is in effect.
int64_t EventIndexAt(const TrackData& track, uint32_t frame);

}  // namespace tavrona
