#include "farm/part_verdict.h"

#include <filesystem>

#include "export/avi_writer.h"
#include "model/text_encoding.h"

namespace tavrona {

PartRequirement FarmPartRequirement(const FarmPlan& plan, size_t index) {
  PartRequirement r;
  r.first = plan.ranges.at(index).first;
  r.last = plan.ranges.at(index).last;
  r.projectLength = plan.length;
  r.width = plan.width;
  r.height = plan.height;
  r.rate = plan.rate;
  r.scale = plan.scale;
  r.codec = PartCodecName(plan.codec);
  r.container = ContainerName(ContainerForPath(FromUtf8(plan.output)));
  r.digest = plan.digest;
  r.sound = plan.sound;
  return r;
}

PartVerdict JudgePart(const FarmPlan& plan, size_t index, const std::optional<PartInfo>& info) {
  if (!info) return {PartState::Missing, "missing"};
  PartCheck check = CheckPart(*info, FarmPartRequirement(plan, index));
  switch (check.fault) {
    case PartFault::None:
      return {PartState::Complete, {}};
    case PartFault::Frames:
      return {PartState::Incomplete, std::move(check.detail)};
    default:
      return {PartState::Stale, std::move(check.detail)};
  }
}

std::vector<std::optional<PartInfo>> ProbeParts(const FarmPlan& plan,
                                                std::vector<std::string>* whys) {
  std::vector<std::optional<PartInfo>> infos;
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    std::string why;
    infos.push_back(ReadPartInfo(FarmPartPath(plan, i), &why));
    if (whys) whys->push_back(why);
  }
  return infos;
}

std::vector<PartVerdict> JudgePartFiles(const FarmPlan& plan) {
  std::vector<std::string> whys;
  const auto infos = ProbeParts(plan, &whys);
  std::vector<PartVerdict> verdicts;
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    PartVerdict v = JudgePart(plan, i, infos[i]);
    std::error_code ec;
    if (v.state == PartState::Missing && std::filesystem::exists(FarmPartPath(plan, i), ec)) {
      v.state = PartState::Incomplete;
      v.detail = whys[i];
    }
    verdicts.push_back(std::move(v));
  }
  return verdicts;
}

std::vector<size_t> PartsToResubmit(const FarmPlan& plan, const std::optional<FarmPlan>& previous,
                                    const std::vector<std::optional<PartInfo>>& infos) {
  const bool samePlan = previous && previous->project == plan.project &&
                        previous->codec == plan.codec && previous->width == plan.width &&
                        previous->height == plan.height && previous->length == plan.length &&
                        previous->rate == plan.rate && previous->scale == plan.scale &&
                        previous->digest == plan.digest && previous->sound == plan.sound &&
                        previous->ranges == plan.ranges;
  std::vector<size_t> indices;
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    const bool complete =
        samePlan && i < infos.size() && JudgePart(plan, i, infos[i]).state == PartState::Complete;
    if (!complete) indices.push_back(i);
  }
  return indices;
}

}  // namespace tavrona
