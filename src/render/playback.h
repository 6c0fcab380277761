// Moving a track's playback state (the caller's own, see playback_state.h) through its events:
// which event is in effect at a frame and how far it has run. Random access (SeekTrack) and
// one-frame steps (the step half of StepTrack) leave a track in the same state for the same frame.
#pragma once

#include <cstdint>

#include "model/track_data.h"
#include "render/playback_state.h"

namespace tavrona {

// No event in effect; the cursor goes back to the first event. The current frame stays.
void ResetPlaybackState(PlaybackState& state);

// Recomputes the interpolated fields of the current event for the state's step.
void InterpolateTrackEvent(const TrackData& track, PlaybackState& state);

// Brings the state to any frame: from where it stands when the frame lies ahead, otherwise
// after a reset. Does nothing for a track without an event array.
void SeekTrack(const TrackData& track, PlaybackState& state, uint32_t frame);

// Takes every event starting at or before the current frame into effect (the step before a
// frame is drawn). False for a track without an event array.
bool EnterDueEvents(const TrackData& track, PlaybackState& state);

// Advances the state by one frame (the step after a frame is drawn).
void AdvanceTrack(const TrackData& track, PlaybackState& state);

}  // namespace tavrona
