// The preview pane's decisions, kept apart from the widget: making the picture a preview request
// names (shared by the composition worker and the save command), where the picture lands in the
// pane, what a finished request leaves behind, and saving the picture as a BMP file.
//
// Making a picture reads and changes the project (movie entries' pictures, the caller's playback
// states); it runs on whichever thread currently owns the project: the composition worker's for
// the pane, the user-interface thread (after the worker was quiesced) for the save.
#pragma once

#include <QRect>
#include <QRectF>
#include <QSize>
#include <filesystem>

#include "model/event_record.h"
#include "model/frame_buffer.h"
#include "model/project_data.h"
#include "render/compose.h"
#include "render/playback_state.h"
#include "ui/pane_records.h"

namespace tavrona {

// A picture made for a request. image is null when the request names no picture; otherwise it
// points at a file entry's current picture (modes 1 and 2, valid until the project changes) or
// at composed (modes 3 and 4, the project's output size divided by reduction, rounded up).
struct PreviewPicture {
  PreviewPicture() = default;
  PreviewPicture(const PreviewPicture&) = delete;
  PreviewPicture& operator=(const PreviewPicture&) = delete;

  const FrameBuffer* image = nullptr;
  FrameBuffer composed;
  int32_t reduction = 1;  // what image was composed at; 1 for a file's own picture
};

// Makes the picture of request:
//   mode 1: file number's current picture; a movie entry with needsRender is first brought to
//           movie frame request.frame (clamped to the movie by the movie frames);
//   mode 2: only with scratchEvent in use: its file's current picture; a movie with needsRender
//           first brought to the frame shown at the event's playback position;
//   mode 3: track number composed at output frame request.frame on the background;
//   mode 4: every track composed at output frame request.frame;
//   mode 0, any other mode, a file ID outside the table and a slot without a picture: none.
// Modes 3 and 4 reset and seek the given states (the caller's own) and compose at reduction
// (1, 2 or 4; anything else is 1). False when a movie frame could not be fetched, a track failed
// to draw or the output frame could not be made; image is then null.
bool MakePreviewPicture(ProjectData& project, const PreviewRequest& request,
                        const EventRecord& scratchEvent, PlaybackStates& states,
                        MovieFrames& movies, PreviewPicture& picture, int32_t reduction = 1);

// The output size a picture shown in the pane stands for: a picture composed at reduction 1 (or
// a file's own picture) stands for itself; a reduced one for the output frame of outputSize when
// it is that frame's reduced size, otherwise for its own size times the reduction.
QSize PreviewShownSize(QSize picture, int32_t reduction, QSize outputSize);
// The part of the picture painting stretches over the target rectangle: the whole picture, but
// for a reduced one only the shown size divided by the reduction (a reduced frame's last row and
// column may reach beyond the output's edge, in picture pixels).
QRectF PreviewSourceRect(QSize picture, int32_t reduction, QSize shownSize);

// Where a picture lands in the viewport: the whole viewport (stretched, proportions not kept),
// or with keepAspect the largest rectangle of the picture's proportions that fits, centred.
// Empty for an empty picture or viewport.
QRect PreviewTargetRect(QSize picture, QSize viewport, bool keepAspect);

// What the result of the request the pane handed to the worker last leaves in the document's
// request: needs-render is cleared; a failure resets mode, number and frame to 0, so the pane
// stays empty until the next request.
void ApplyPreviewOutcome(PreviewRequest& request, bool ok);

enum class PreviewSaveResult {
  NothingToSave,  // mode 0: nothing written, nothing to say
  Saved,
  Failed,  // making the picture failed, it names no picture, or the file could not be written
};

// The save command once a file name was chosen: makes the picture anew with playback states of
// its own (modes 1 and 2 the file's own picture at its own size, modes 3 and 4 a new frame of
// the output size, whatever the preview resolution) and writes it as a 32-bit BMP file. A movie is always brought to the frame
// the request names, whatever its needs-render flag says, so the file shows what was asked
// for even when an export or playback moved the movie since the pane's picture was made.
PreviewSaveResult SavePreviewPicture(ProjectData& project, const PreviewRequest& request,
                                     const EventRecord& scratchEvent, MovieFrames& movies,
                                     const std::filesystem::path& path);

}  // namespace tavrona
