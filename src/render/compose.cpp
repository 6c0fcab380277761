#include "render/compose.h"

#include <algorithm>
#include <limits>

#include "render/kernels.h"
#include "render/matrix.h"
#include "render/playback.h"
#include "render/reduced_placement.h"

namespace tavrona {

uint32_t MovieFrameIndex(int64_t position, int64_t duration) {
  if (position <= 0 || duration <= 0) return 0;
  const int64_t n = position / duration;
  return static_cast<uint32_t>(std::min<int64_t>(n, std::numeric_limits<int32_t>::max()));
}

bool DrawTrackEvent(const PlaybackState& state, FrameBuffer& destination, FileTable& files,
                    MovieFrames* movies, int32_t reduction) {
  const EventRecord& e = state.current;
  if (!(e.flags & EventInUse)) return true;
  if (e.fileId < 0 || e.fileId >= kFileCount) return true;
  FileEntry& entry = files[e.fileId];
  if (entry.picture.Empty()) return true;
  bool ok = true;
  if (entry.kind == FileMovie && entry.movie && movies != nullptr) {
    ok = movies->PrepareFrame(entry,
                              MovieFrameIndex(e.playbackPosition, movies->FrameDuration(entry)));
  }
  KernelParams k;
  k.clipRight = destination.Width();
  k.clipBottom = destination.Height();
  k.regionLeft = e.regionLeft;
  k.regionTop = e.regionTop;
  k.regionRight = e.regionRight;
  k.regionBottom = e.regionBottom;
  k.destinationPixels = destination.Words();
  k.destinationWidth = destination.Width();
  k.destinationHeight = destination.Height();
  k.sourcePixels = entry.picture.Words();
  k.sourceWidth = entry.picture.Width();
  k.sourceHeight = entry.picture.Height();
  k.transparentColour = entry.transparentColour;
  k.colourWord = static_cast<uint32_t>(e.red) | (static_cast<uint32_t>(e.green) << 8) |
                 (static_cast<uint32_t>(e.blue) << 16) | (static_cast<uint32_t>(e.opacity) << 24);
  k.blendMode = static_cast<uint32_t>(e.blendMode);
  std::copy(e.matrix, e.matrix + 9, k.matrix);
  std::copy(e.inverseMatrix, e.inverseMatrix + 9, k.inverseMatrix);
  const int32_t method = ResolveDrawingMethod(e.drawingMethod);
  // The state keeps the full-size placement; only this draw's copy is scaled.
  ReducePlacement(k.matrix, k.inverseMatrix, method, reduction);
  DrawWithMethod(method, k);
  return ok;
}

bool StepTrack(const TrackData& track, PlaybackState& state, FrameBuffer* destination,
               FileTable& files, MovieFrames* movies, int32_t reduction) {
  if (!EnterDueEvents(track, state)) return false;
  const bool result = destination != nullptr
                          ? DrawTrackEvent(state, *destination, files, movies, reduction)
                          : true;
  AdvanceTrack(track, state);
  return result;
}

bool ComposeTrackAt(ProjectData& project, PlaybackStates& states, int t, uint32_t frame,
                    FrameBuffer& destination, MovieFrames* movies, int32_t reduction) {
  FillFrameBuffer(destination, project.backgroundColour);
  if (t < 0 || t >= kTrackCount) return true;
  PlaybackState& state = states[t];
  ResetPlaybackState(state);
  SeekTrack(project.tracks[t], state, frame);
  return DrawTrackEvent(state, destination, project.files, movies, reduction);
}

bool ComposeFrameAt(ProjectData& project, PlaybackStates& states, uint32_t frame,
                    FrameBuffer& destination, MovieFrames* movies, int32_t reduction) {
  FillFrameBuffer(destination, project.backgroundColour);
  bool ok = true;
  for (int t = 0; t < kTrackCount; ++t) {
    ResetPlaybackState(states[t]);
    SeekTrack(project.tracks[t], states[t], frame);
    if (ok) ok = DrawTrackEvent(states[t], destination, project.files, movies, reduction);
  }
  return ok;
}

void PrepareExportTracks(const ProjectData& project, PlaybackStates& states, uint32_t frame) {
  for (int t = 0; t < kTrackCount; ++t) {
    ResetPlaybackState(states[t]);
    SeekTrack(project.tracks[t], states[t], frame);
  }
}

bool ComposeNextExportFrame(ProjectData& project, PlaybackStates& states, FrameBuffer& destination,
                            MovieFrames* movies, bool stopOnEventError,
                            std::bitset<kFileCount>* failedFiles, int32_t reduction) {
  FillFrameBuffer(destination, project.backgroundColour);
  bool ok = true;
  for (int t = 0; t < kTrackCount; ++t) {
    const TrackData& track = project.tracks[t];
    if (!track.events) continue;
    if (StepTrack(track, states[t], &destination, project.files, movies, reduction)) continue;
    ok = false;
    // Stepping leaves the event drawn in the state: its file is the one that failed.
    const int fileId = states[t].current.fileId;
    if (failedFiles != nullptr && fileId >= 0 && fileId < kFileCount) failedFiles->set(fileId);
    if (stopOnEventError) return false;
  }
  return ok;
}

}  // namespace tavrona
