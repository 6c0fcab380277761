// Composing output frames from the tracks: one event per track in ascending track order,
// each drawn through the kernel of its drawing method.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>

#include "model/file_entry.h"
#include "model/frame_buffer.h"
#include "model/project_data.h"
#include "model/track_data.h"
#include "render/playback_state.h"

namespace tavrona {

// What drawing needs from movie entries; the sources layer implements it.
class MovieFrames {
 public:
  virtual ~MovieFrames() = default;
  // The frame duration of a movie entry in 100-ns units (its reference duration when given).
  virtual int64_t FrameDuration(const FileEntry& entry) = 0;
  // Brings the entry's picture to the frame index (clamped to the movie); false when the frame
  // could not be fetched, the picture then keeps what it last held.
  virtual bool PrepareFrame(FileEntry& entry, uint32_t frameIndex) = 0;
};

// The movie frame index shown at a playback position: 0 for a position at or before 0,
// otherwise position / frame duration, truncated (saturating at the largest signed 32-bit
// index, which the movie clamps to its last frame).
uint32_t MovieFrameIndex(int64_t playbackPosition100ns, int64_t frameDuration100ns);

using FileTable = std::array<FileEntry, kFileCount>;

// Reduction (render/reduced_placement.h): every function below that draws takes the reduction
// its destination was made at, 1 (the default, and always for export) or 2 or 4 for a preview
// composed small; the destination is then ReducedExtent of the project's width and height, and
// each event's placement is scaled down into it. Any other reduction draws at full size.

// Draws the event in effect in state into destination (whole-frame clip). An event without the
// in-use flag, an empty entry and a file ID outside the table draw nothing and succeed. False
// when a movie frame could not be prepared (the event is still drawn from the picture held).
bool DrawTrackEvent(const PlaybackState& state, FrameBuffer& destination, FileTable& files,
                    MovieFrames* movies, int32_t reduction = 1);

// Draws the track's event for its current frame into destination (when given) and advances the
// state by one frame. False for a track without an event array or a failed draw.
bool StepTrack(const TrackData& track, PlaybackState& state, FrameBuffer* destination,
               FileTable& files, MovieFrames* movies, int32_t reduction = 1);

// Random access for previews: the background, then one track (ComposeTrackAt) or every track
// (ComposeFrameAt) reset, sought to the frame and drawn, moving the caller's states.
// ComposeFrameAt stops drawing after the first track that fails but still positions the rest.
// destination must be the project's size divided by reduction.
bool ComposeTrackAt(ProjectData& project, PlaybackStates& states, int track, uint32_t frame,
                    FrameBuffer& destination, MovieFrames* movies, int32_t reduction = 1);
bool ComposeFrameAt(ProjectData& project, PlaybackStates& states, uint32_t frame,
                    FrameBuffer& destination, MovieFrames* movies, int32_t reduction = 1);

// Sequential composition (export, playback): every state reset and sought to frame.
void PrepareExportTracks(const ProjectData& project, PlaybackStates& states, uint32_t frame = 0);
// Fills destination with the background and steps every track with an event array by one frame.
// False when a track failed (its movie frame could not be fetched), whose file ID is then set in
// failedFiles (when given). With stopOnEventError the first failed track ends the frame at once
// (later tracks neither drawn nor advanced); otherwise every track is drawn and stepped.
bool ComposeNextExportFrame(ProjectData& project, PlaybackStates& states, FrameBuffer& destination,
                            MovieFrames* movies, bool stopOnEventError,
                            std::bitset<kFileCount>* failedFiles = nullptr,
                            int32_t reduction = 1);

}  // namespace tavrona
