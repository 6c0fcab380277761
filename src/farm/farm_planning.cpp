#include "farm/farm_planning.h"

#include <filesystem>

#include "export/avi_writer.h"
#include "export/export_job.h"
#include "export/export_part.h"
#include "export/project_digest.h"
#include "export/project_export.h"
#include "model/project_data.h"
#include "model/text_encoding.h"

namespace tavrona {

std::optional<FarmPlan> PlanFarm(const FarmRequest& request, const ProjectData& project,
                                 FarmPlanProblem* problem) {
  namespace fs = std::filesystem;
  using Kind = FarmPlanProblem::Kind;
  auto refuse = [&](Kind kind, std::string detail = {}) -> std::optional<FarmPlan> {
    problem->kind = kind;
    problem->detail = std::move(detail);
    return std::nullopt;
  };
  // The tasks would each refuse a codec the output's container does not take: refuse it once.
  const OutputContainer container = ContainerForPath(FromUtf8(request.output));
  bool known = false;
  for (const auto& c : ListCompressors(container)) known = known || c.name == request.codec;
  if (!known) return refuse(Kind::UnknownCodec);
  if (project.movieLength == 0) return refuse(Kind::NoFrames);
  if (request.parts > project.movieLength) return refuse(Kind::MorePartsThanFrames);

  std::error_code ec;
  FarmPlan plan;
  plan.project = fs::absolute(request.project, ec).lexically_normal().string();
  plan.output = fs::absolute(request.output, ec).lexically_normal().string();
  if (ec) return refuse(Kind::Unresolvable, ec.message());
  if (plan.project.find('\n') != std::string::npos || plan.output.find('\n') != std::string::npos) {
    return refuse(Kind::LineBreakInPath);
  }
  const fs::path outFolder = fs::path(plan.output).parent_path();
  if (!fs::is_directory(outFolder, ec)) return refuse(Kind::NoOutputFolder, outFolder.string());
  plan.codec = request.codec;
  {
    ExportRunOptions run;
    run.sound = !request.noSound;
    run.soundCodec = request.soundCodec;
    const auto sound = ExportSoundCodec(project, FromUtf8(request.output), run);
    if (!sound) return refuse(Kind::UnknownSoundCodec);
    plan.sound = *sound;
  }
  // Every task's export takes the sound choice as the command line gave it.
  if (request.noSound) plan.exportOptions.push_back("--no-audio");
  if (!request.soundCodec.empty()) {
    plan.exportOptions.push_back("--audio-codec");
    plan.exportOptions.push_back(request.soundCodec);
  }
  if (request.stopOnEventError) plan.exportOptions.push_back("--stop-on-event-error");
  if (request.timeoutError) plan.exportOptions.push_back("--timeout-error");
  plan.width = static_cast<uint32_t>(project.outputWidth);
  plan.height = static_cast<uint32_t>(project.outputHeight);
  plan.length = project.movieLength;
  plan.rate = ExportStreamRate(project.frameRate);
  plan.scale = kExportRateScale;
  if (plan.rate == 0) return refuse(Kind::NoStreamRate);
  {
    std::string why;
    const auto digest = ProjectDigest(plan.project, project, &why);
    if (!digest) return refuse(Kind::NoDigest, why);
    plan.digest = *digest;
  }
  // Parts begin on the whole export's key frames, so that they join into its very frames.
  const uint32_t keyInterval =
      ExportKeyFrameInterval(project, FromUtf8(request.output), request.codec);
  plan.ranges = PlanFrameRanges(plan.length, request.parts, keyInterval);
  if (plan.ranges.size() != request.parts) {
    problem->groups = (plan.length + keyInterval - 1) / keyInterval;
    problem->keyInterval = keyInterval;
    return refuse(Kind::MorePartsThanKeyGroups);
  }
  return plan;
}

}  // namespace tavrona
