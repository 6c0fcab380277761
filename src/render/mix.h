// The mix: the sound of output frames, from the tracks' movie events and the file slots' sound,
// at 48 kHz stereo float (model/sound_samples.h).
//
// Each movie event sounds for exactly the output frames it is in effect: from its start to the
// next event's start on its track, or the project's end. Output sample n plays the source
// instant the event's playback position and rate map it to, the same mapping the picture uses,
// computed from exact rational time (never accumulated sample by sample):
//   source time = position + (n / 48000 s - start frame time) * rate / frame duration
// An interpolated event maps by its own position moving towards the next event's over the span.
// A rate other than the frame duration plays faster or slower with the pitch following (linear
// interpolation between source samples); a rate of 0 or below is silent. Every start and end
// of an event's sound fades linearly over kMixFadeSamples. Tracks are multiplied by their gain
// (TrackSound) and summed in float; the sum is limited by a soft clip above -1 dBFS, never
// wrapped.
//
// Threads: reads the project's tracks, track sound settings and file slots; the caller keeps
// them unchanged during the call (the user-interface thread, or an export that owns the
// project). Sound sources serialise their own reads.
#pragma once

#include <cstdint>
#include <vector>

#include "model/project_data.h"
#include "model/sound_samples.h"

namespace tavrona {

// True when any file slot holds sound (a movie with an audio stream or a sound-only file).
bool ProjectHasSound(const ProjectData& project);

// Mixes output samples [firstSample, firstSample + count) into out (2 * count floats,
// overwritten). Samples at or past the project's end (FrameStartSample(movieLength)) are
// silence. false when a source failed to decode part of what was asked (that part is silent).
bool MixSamples(const ProjectData& project, int64_t firstSample, int64_t count, float* out);

// The samples of output frames [firstFrame, endFrame): FrameStartSample(firstFrame) up to
// FrameStartSample(endFrame), into out (resized).
bool MixFrames(const ProjectData& project, uint32_t firstFrame, uint32_t endFrame,
               std::vector<float>& out);

// The soft clip applied to the sum: the identity up to kMixClipKnee, then bending smoothly
// towards, never past, 1.
inline constexpr float kMixClipKnee = 0.891251f;  // -1 dBFS
float SoftClip(float x);

}  // namespace tavrona
