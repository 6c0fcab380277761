// How far one track has run: which event is in effect and how far it has run. The track's
// event list is the model's; the state is the composer's own. Every composer — the export, a
// preview, real-time playback — keeps a PlaybackStates of its own, so none of them can change
// what another one draws.
//
// A state describes the event list it was built on. After the list changes, reset it
// (ResetPlaybackState) before seeking again.
#pragma once

#include <array>
#include <cstdint>

#include "model/event_record.h"
#include "model/project_data.h"

namespace tavrona {

struct PlaybackState {
  uint32_t cursor = 0;        // first event of the list not yet taken into effect
  uint32_t currentFrame = 0;  // the output frame the state describes
  uint32_t currentStart = 0;  // start frame of the event in effect
  EventRecord current{};      // working copy of the event in effect; all zero = none
  EventRecord origin{};       // the event in effect as it stood in the list (interpolation)
  EventRecord target{};       // the next event of the list (interpolation)
  int32_t span = 0;           // target start - origin start, frames
  int32_t step = 0;           // frames elapsed since the origin's start
};

// One state per track, indexed by track number.
using PlaybackStates = std::array<PlaybackState, kTrackCount>;

}  // namespace tavrona
