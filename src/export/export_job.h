// The export job: writes output frames 0 .. movie length - 1 of a project into an AVI file,
// one frame per step, composing into the project's two alternating work frames. Output frame
// n is composed into work frame 1 - (n mod 2) while work frame n mod 2 still holds frame n - 1,
// so the writer sees the previous frame without a copy.
//
// The composition is handed in (ExportComposer), so the job does not depend on how frames are
// composed. Everything runs on the thread that owns the project (the user-interface thread),
// one step at a time; nothing here blocks beyond the composition and the encoder.
#pragma once

#include <functional>
#include <string_view>

#include "export/avi_writer.h"
#include "model/frame_buffer.h"
#include "model/project_data.h"

namespace tavrona {

// The composition steps the job drives.
struct ExportComposer {
  // Resets every track's playback state and seeks it to frame 0. The job afterwards marks every
  // file entry's cached frame as none (-1) itself. May be empty.
  std::function<void(ProjectData& project)> prepareTracks;

  // Fills dst (the project's output size) with the project's background colour and composes the
  // next output frame into it, advancing every track by one frame. Returns false when an event
  // failed to draw; with project.exportJob.stopOnEventError set it returns at the first failure,
  // leaving later tracks neither drawn nor advanced. When empty, frames are only filled with the
  // background colour.
  std::function<bool(ProjectData& project, FrameBuffer& dst)> composeNextFrame;

  // The project's output frame that the job's frame 0 is (a part's first frame): job frame n
  // carries the mix's samples of output frame firstFrame + n when the writer has sound.
  uint32_t firstFrame = 0;
  // The frames the job writes from firstFrame on (a part's length); 0: to the project's end.
  uint32_t frameCount = 0;
};

// An export's stream runs at ExportStreamRate(frame rate) / kExportRateScale frames per second:
// trunc(frame rate * 10000) / 10000. 0 when the frame rate gives no positive rate that fits the
// stream header.
inline constexpr uint32_t kExportRateScale = 10000;
uint32_t ExportStreamRate(double frameRate);

// The project's writer, made on first use; null only when it cannot be allocated. The compressor
// and the sound codec, if any, are chosen on it (ChooseCompressor, ChooseSoundCodec) before
// BeginExport.
AviWriter* ProjectAviWriter(ProjectData& project);

// Starts an export to path: makes both work frames at the output size filled with the
// background colour, closes whatever the writer still held (keeping the compressor and sound
// codec just chosen),
// opens the AVI stream at rate trunc(frame rate * 10000) / 10000, prepares the tracks, marks
// every cached movie frame as none, sets framesWritten to 0, the abort and done flags to false
// and the job's rangeFrames to the composer's frameCount. False when a frame buffer cannot be made,
// the frame rate gives no rate, or the file, compressor or stream cannot be opened; what the writer
// opened then stays open until the next BeginExport, EndExport or the project's destruction.
bool BeginExport(ProjectData& project, std::u16string_view path, const ExportComposer& composer);

// Composes output frame n = framesWritten and, with write set, writes it; with a sound stream,
// together with the mix's samples of the frame, [FrameStartSample(f), FrameStartSample(f + 1))
// for f = composer.firstFrame + n, each frame's taken afresh (a source that fails to decode
// leaves its part silent). False when the
// composition failed with stopOnEventError set, when the frame cannot be written, or when no
// export was begun; framesWritten is then unchanged. Otherwise framesWritten := n + 1.
bool ExportStep(ProjectData& project, bool write, const ExportComposer& composer);

// Closes the writer: the file then holds every frame written so far. False when a frame
// handed in could not be written after all (a pipelined writer's encoding thread failed on the
// last frames) or the file could not be completed; the file is closed either way.
bool EndExport(ProjectData& project);

// One step request of the running job (the progress dialog's step message): nothing once the
// job is aborted or done; past the last frame, EndExport and done (abort when EndExport
// fails); otherwise ExportStep, and on its failure abort and EndExport.
void HandleExportStepRequest(ProjectData& project, const ExportComposer& composer);

// The user cancels: the job is aborted and the file closed with the frames written so far.
void CancelExport(ProjectData& project);

}  // namespace tavrona
