#include "export/export_job.h"

#include <cmath>
#include <string>
#include <vector>

#include "render/mix.h"

namespace tavrona {

uint32_t ExportStreamRate(double frameRate) {
  const double rate = std::trunc(frameRate * kExportRateScale);
  if (!(rate >= 1.0) || rate > 2147483647.0) return 0;
  return static_cast<uint32_t>(rate);
}

AviWriter* ProjectAviWriter(ProjectData& project) {
  if (!project.exportWriter) project.exportWriter = MakeAviWriter();
  return project.exportWriter.get();
}

bool BeginExport(ProjectData& project, std::u16string_view path, const ExportComposer& composer) {
  for (FrameBuffer& frame : project.workFrames) {
    if (!CreateFrameBuffer(frame, project.outputWidth, project.outputHeight, 32)) return false;
    FillFrameBuffer(frame, project.backgroundColour);
  }
  AviWriter* writer = ProjectAviWriter(project);
  if (writer == nullptr) return false;
  // A writer left open by an earlier start that failed is closed here. Closing forgets the
  // compressor, but the one chosen for this export must stay.
  const std::string chosen = writer->Compressor().name;
  const std::string chosenSound = writer->SoundCodecName();
  CloseAviWriter(*writer);
  ChooseCompressor(*writer, chosen);
  ChooseSoundCodec(*writer, chosenSound);
  InitAviWriter(*writer);

  const uint32_t rate = ExportStreamRate(project.frameRate);
  if (rate == 0) return false;
  if (!OpenAviStream(*writer, path, project.workFrames[0].header, rate, kExportRateScale)) {
    return false;
  }

  if (composer.prepareTracks) composer.prepareTracks(project);
  for (FileEntry& entry : project.files) entry.cachedFrameIndex = -1;
  project.exportJob.framesWritten = 0;
  project.exportJob.framesWithFailedEvents = 0;
  project.exportJob.failedFiles.reset();
  project.exportJob.abort = 0;
  project.exportJob.done = 0;
  project.exportJob.rangeFrames = composer.frameCount;
  return true;
}

bool ExportStep(ProjectData& project, bool write, const ExportComposer& composer) {
  const uint32_t n = static_cast<uint32_t>(project.exportJob.framesWritten);
  FrameBuffer& current = project.workFrames[1 - n % 2];
  const FrameBuffer& previous = project.workFrames[n % 2];
  if (current.Empty() || previous.Empty()) return false;
  AviWriter* writer = project.exportWriter.get();
  if (write && (writer == nullptr || !writer->StreamOpen())) return false;

  bool composed = true;
  if (composer.composeNextFrame) {
    composed = composer.composeNextFrame(project, current);
  } else {
    FillFrameBuffer(current, project.backgroundColour);
  }
  // A failed event only stops the job when the user asked for that; otherwise the frame is
  // written as composed.
  if (!composed && project.exportJob.stopOnEventError != 0) return false;

  if (write && writer->HasSound()) {
    std::vector<float> sound;
    const uint32_t frame = composer.firstFrame + n;
    MixFrames(project, frame, frame + 1, sound);
    if (!WriteAviSound(*writer, n, sound.data(), static_cast<int64_t>(sound.size() / 2))) {
      return false;
    }
  }
  if (write && !WriteAviFrame(*writer, n, current.pixels, current.byteSize, previous.pixels)) {
    return false;
  }
  if (!composed) ++project.exportJob.framesWithFailedEvents;
  project.exportJob.framesWritten = static_cast<int32_t>(n + 1);
  return true;
}

bool EndExport(ProjectData& project) {
  return !project.exportWriter || CloseAviWriter(*project.exportWriter);
}

void HandleExportStepRequest(ProjectData& project, const ExportComposer& composer) {
  ExportJobState& job = project.exportJob;
  if (job.abort != 0 || job.done != 0) return;
  if (static_cast<uint32_t>(job.framesWritten) >= ExportFrameCount(project)) {
    if (EndExport(project)) {
      job.done = 1;
    } else {
      job.abort = 1;
    }
  } else if (!ExportStep(project, true, composer)) {
    job.abort = 1;
    EndExport(project);
  }
}

void CancelExport(ProjectData& project) {
  project.exportJob.abort = 1;
  EndExport(project);
}

}  // namespace tavrona
