#include "farm/farm_status.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavrona {

FarmPartStatus PartStatus(const PartVerdict& verdict, const std::string* taskState) {
  if (taskState != nullptr) {
    if (*taskState == "RUNNING" || *taskState == "COMPLETING") return FarmPartStatus::Running;
    if (*taskState == "PENDING" || *taskState == "CONFIGURING" || *taskState == "REQUEUED") {
      return FarmPartStatus::Queued;
    }
  }
  switch (verdict.state) {
    case PartState::Complete:
      return FarmPartStatus::Complete;
    case PartState::Incomplete:
      return FarmPartStatus::Incomplete;
    case PartState::Stale:
      return FarmPartStatus::Stale;
    case PartState::Missing:
      break;
  }
  return FarmPartStatus::Missing;
}

FarmStatus ReadFarmStatus(const std::string& output, const SlurmClient& slurm) {
  FarmStatus status;
  const std::string manifest = FarmManifestPath(output);
  const auto text = ReadFarmFile(manifest);
  if (!text) {
    status.error = manifest + ": " + std::strerror(errno);
    return status;
  }
  std::string why;
  auto plan = ParseFarmManifest(*text, &why);
  if (!plan) {
    status.error = manifest + ": " + why;
    return status;
  }
  status.plan = std::move(*plan);
  status.output = JudgeFarmOutput(status.plan);
  const std::vector<PartVerdict> verdicts = JudgePartFiles(status.plan);
  status.activeJobs = slurm.ActiveJobs(status.plan.jobIds);
  const std::map<size_t, std::string> tasks = status.activeJobs.empty()
                                                  ? std::map<size_t, std::string>{}
                                                  : slurm.QueuedTasks(status.plan.jobIds);
  for (size_t i = 0; i < verdicts.size(); ++i) {
    const auto task = tasks.find(i);
    FarmPartRow row;
    row.range = status.plan.ranges[i];
    row.status = PartStatus(verdicts[i], task != tasks.end() ? &task->second : nullptr);
    // Only a file that is there but not right needs more words than its state.
    if (row.status == FarmPartStatus::Incomplete || row.status == FarmPartStatus::Stale) {
      row.detail = verdicts[i].detail;
    }
    status.parts.push_back(std::move(row));
  }
  return status;
}

bool RerunOffered(const FarmStatus& status) {
  if (!status.error.empty() || !status.activeJobs.empty()) return false;
  const bool unfinished = std::any_of(status.parts.begin(), status.parts.end(), [](const auto& p) {
    return p.status != FarmPartStatus::Complete;
  });
  return unfinished || status.output != OutputState::Current;
}

}  // namespace tavrona
