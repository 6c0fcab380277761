// Exporting a whole project in one go: the export job driven frame by frame with the real
// composition, for the command line, the bundled demo and the benchmarks. (The GUI drives the
// same job from its progress dialog instead.)
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "export/export_job.h"
#include "export/export_progress.h"
#include "render/compose.h"

namespace tavrona {

// The composition of export frames: every track reset and sought to firstFrame at the start,
// then each frame filled with the background and every track stepped (ComposeNextExportFrame),
// stopping at the first failed event when the project's stopOnEventError is set. The composer
// keeps playback states of its own, so previews and playback never move what the export draws.
ExportComposer ProjectComposer(MovieFrames* movies, uint32_t firstFrame = 0);

// Output frames first..last, inclusive.
struct ExportRange {
  uint32_t first = 0;
  uint32_t last = 0;
  uint32_t Count() const { return last - first + 1; }
  bool operator==(const ExportRange&) const = default;
};

struct ExportRunOptions {
  std::string codec = "raw";  // a name from ListAviCompressors()
  // Whether the file carries the mix when a file slot holds sound (ProjectHasSound); a project
  // without sound writes no sound stream either way.
  bool sound = true;
  // The sound codec, from ListSoundCodecs of the output's container; empty for its default.
  std::string soundCodec;
  bool stopOnEventError = false;  // a failed event ends the export
  // Called after every written frame (and once at the end) with the job's progress.
  std::function<void(const ProjectData&, const ExportProgress&)> onProgress;
  // Polled before every frame; when set, the file is closed with the frames written so far.
  const std::atomic<bool>* abort = nullptr;
  // Compress and write frame n on the writer's encoding thread while frame n + 1 is composed
  // (the file is the same either way); false writes every frame before the next is composed.
  bool pipelined = true;
  // Only these output frames, as a part for joining: frame `first` becomes the file's frame 0,
  // composed exactly as a whole export reaches it, and the range is stored in the file
  // (PartComment). It must start and end on the whole export's key frames. The whole project
  // when empty. A part's sound holds the samples of its frames exactly, coded losslessly
  // (PartSoundCodec) with the sound codec meant for the joined file recorded beside the range.
  std::optional<ExportRange> range;
  // With a range: the project's version (ProjectDigest) recorded with it; empty for none.
  std::string digest;
};

enum class ExportResult {
  Done,               // every frame written, file closed
  Aborted,            // stopped on request; the file holds the frames written so far
  UnknownCodec,       // the codec is not offered here; nothing written
  UnknownSoundCodec,  // the sound codec is not offered for the container; nothing written
  BadRange,           // the range is not inside 0 .. movie length - 1, or does not start and end
                      // on the key frames of a whole export (RangeOnKeyFrames); nothing written
  OpenFailed,         // the file could not be opened (MessageCode::CannotOpenFile)
  StepFailed,         // an event or the writer failed (also when found only at the close); the file
                      // holds the frames written before the failure
};

// The sound codec an export of the project to path writes for the joined or whole file: empty
// without sound (options.sound off, or no slot holds sound), otherwise options.soundCodec or
// the container's default. nullopt when options.soundCodec is not offered for the container.
std::optional<std::string> ExportSoundCodec(const ProjectData& project, std::u16string_view path,
                                            const ExportRunOptions& options);

// KeyFrameInterval for an export of the project to path with the codec.
uint32_t ExportKeyFrameInterval(const ProjectData& project, std::u16string_view path,
                                std::string_view codec);

// Everything an export does before it begins (BeginExport): the compressor and sound codec
// chosen on the project's writer, the range checked, a part's comment set, the job reset, and
// the composer made (from the range's first frame, for its frames). Done when the export can
// begin with `composer`; otherwise what is wrong, with nothing written. The desktop program's
// export and ExportProject both start so.
ExportResult PrepareExport(ProjectData& project, std::u16string_view path, MovieFrames* movies,
                           const ExportRunOptions& options, ExportComposer& composer);

// The project's writer tells what failed (ErrorText) and how many frames the file holds
// (FramesStored) afterwards.
ExportResult ExportProject(ProjectData& project, std::u16string_view path, MovieFrames* movies,
                           const ExportRunOptions& options);

}  // namespace tavrona
