// The renderer's state of one track: which event is in effect and how far it has run.
// Plain data held inside TrackData; the list operations reset the first three members.
#pragma once

#include <cstdint>

#include "model/event_record.h"

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

}  // namespace tavrona
