#include "export/project_export.h"

#include <memory>

#include "export/export_part.h"
#include "export/sound_stream.h"
#include "render/mix.h"

namespace tavrona {

ExportComposer ProjectComposer(MovieFrames* movies, uint32_t firstFrame) {
  // The export's own playback states, shared by the two steps and by every copy of the
  // composer: nothing else (a preview, playback) moves them.
  auto states = std::make_shared<PlaybackStates>();
  ExportComposer composer;
  composer.firstFrame = firstFrame;
  composer.prepareTracks = [states, firstFrame](ProjectData& project) {
    PrepareExportTracks(project, *states, firstFrame);
  };
  composer.composeNextFrame = [states, movies](ProjectData& project, FrameBuffer& dst) {
    return ComposeNextExportFrame(project, *states, dst, movies,
                                  project.exportJob.stopOnEventError != 0,
                                  &project.exportJob.failedFiles);
  };
  return composer;
}

std::optional<std::string> ExportSoundCodec(const ProjectData& project, std::u16string_view path,
                                            const ExportRunOptions& options) {
  if (!options.sound || !ProjectHasSound(project)) return std::string();
  const std::vector<SoundCodec> offered = ListSoundCodecs(ContainerForPath(path));
  if (offered.empty()) return std::nullopt;
  if (options.soundCodec.empty()) return offered.front().name;
  for (const SoundCodec& c : offered) {
    if (c.name == options.soundCodec) return c.name;
  }
  return std::nullopt;
}

uint32_t ExportKeyFrameInterval(const ProjectData& project, std::u16string_view path,
                                std::string_view codec) {
  return KeyFrameInterval(codec, ContainerForPath(path), ExportStreamRate(project.frameRate),
                          kExportRateScale);
}

ExportResult PrepareExport(ProjectData& project, std::u16string_view path, MovieFrames* movies,
                           const ExportRunOptions& options, ExportComposer& composer) {
  AviWriter* writer = ProjectAviWriter(project);
  if (writer == nullptr || !ChooseCompressor(*writer, options.codec)) {
    return ExportResult::UnknownCodec;
  }
  const ExportRange range = options.range.value_or(
      ExportRange{0, project.movieLength == 0 ? 0 : project.movieLength - 1});
  if (options.range && (range.first > range.last || range.last >= project.movieLength ||
                        !RangeOnKeyFrames(range, project.movieLength,
                                          ExportKeyFrameInterval(project, path, options.codec)))) {
    return ExportResult::BadRange;
  }
  const std::optional<std::string> sound = ExportSoundCodec(project, path, options);
  if (!sound) return ExportResult::UnknownSoundCodec;
  // A part carries lossless sound; the joined file gets the codec meant.
  const std::string written =
      options.range && !sound->empty() ? PartSoundCodec(*sound, ContainerForPath(path)) : *sound;
  if (!ChooseSoundCodec(*writer, written) || (!sound->empty() && written.empty())) {
    return ExportResult::UnknownSoundCodec;
  }
  PartSound partSound;
  if (!sound->empty()) {
    partSound.codec = *sound;
    partSound.samples = FrameStartSample(int64_t{range.last} + 1, project.frameDuration100ns) -
                        FrameStartSample(range.first, project.frameDuration100ns);
  }
  writer->SetComment(options.range
                         ? PartComment(range, project.movieLength, options.digest, partSound)
                         : std::string());
  project.exportJob = {};
  project.exportJob.stopOnEventError = options.stopOnEventError ? 1 : 0;
  composer = ProjectComposer(movies, range.first);
  if (options.range) composer.frameCount = range.Count();
  return ExportResult::Done;
}

ExportResult ExportProject(ProjectData& project, std::u16string_view path, MovieFrames* movies,
                           const ExportRunOptions& options) {
  ExportComposer composer;
  if (const ExportResult prepared = PrepareExport(project, path, movies, options, composer);
      prepared != ExportResult::Done) {
    return prepared;
  }
  AviWriter* writer = project.exportWriter.get();
  const uint32_t count =
      project.movieLength == 0
          ? 0
          : (composer.frameCount != 0 ? composer.frameCount : project.movieLength);
  // The mode holds for this run only: the job's other drivers keep the writer's own.
  const bool pipelinedBefore = writer->Pipelined();
  writer->SetPipelined(options.pipelined);
  const bool begun = BeginExport(project, path, composer);
  writer->SetPipelined(pipelinedBefore);  // the stream, if open, keeps the mode it began with
  if (!begun) return ExportResult::OpenFailed;

  ExportProgress progress;
  progress.Start();
  ExportResult result = ExportResult::Done;
  while (static_cast<uint32_t>(project.exportJob.framesWritten) < count) {
    if (options.abort != nullptr && options.abort->load()) {
      result = ExportResult::Aborted;
      break;
    }
    if (!ExportStep(project, /*write=*/true, composer)) {
      result = ExportResult::StepFailed;
      break;
    }
    if (options.onProgress) options.onProgress(project, progress);
  }
  // Frames still with the encoding thread are written here; a failure among them fails the run.
  if (!EndExport(project) && result != ExportResult::StepFailed) result = ExportResult::StepFailed;
  if (result == ExportResult::Done) project.exportJob.done = 1;
  if (result != ExportResult::Done) project.exportJob.abort = 1;
  if (options.onProgress) options.onProgress(project, progress);
  return result;
}

}  // namespace tavrona
