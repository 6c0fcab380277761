#include "farm/farm_submission.h"

#include <cerrno>
#include <filesystem>
#include <optional>

#include "app/atomic_file.h"
#include "farm/part_verdict.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

std::optional<UnwrittenFile> Write(const std::string& path, const std::string& text) {
  if (WriteFileAtomically(path, text)) return std::nullopt;
  return UnwrittenFile{path, errno};
}

}  // namespace

FarmSubmission SubmitFarm(FarmPlan& plan, const SlurmOptions& options, const std::string& cliPath,
                          const SlurmClient& slurm) {
  FarmSubmission s;
  const std::string folder = FarmPartsFolder(plan.output);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    s.result = FarmSubmission::Result::NoPartsFolder;
    s.folderError = ec.message();
    return s;
  }
  // One submission for OUT at a time: from reading the manifest until the jobs are submitted
  // and the manifest names them. Two at once would each plan from the same manifest, and
  // their tasks would write the same parts.
  std::optional<FarmLock> lock = FarmLock::Take(folder, &s.lockRefusal);
  if (!lock) {
    s.result = FarmSubmission::Result::Locked;
    return s;
  }

  std::optional<FarmPlan> previous;
  if (const auto text = ReadFarmFile(FarmManifestPath(plan.output))) {
    previous = ParseFarmManifest(*text, &s.ignoredManifest);
  }
  // Tasks of an earlier run still at work would write the same parts as a new submission.
  if (previous && !previous->jobIds.empty()) {
    s.activeJobs = slurm.ActiveJobs(previous->jobIds);
    if (!s.activeJobs.empty()) {
      s.result = FarmSubmission::Result::StillAtWork;
      return s;
    }
  }
  s.parts = PartsToResubmit(plan, previous, ProbeParts(plan));
  // No earlier job is at work any more: what its tasks or join left half-written goes.
  s.unremoved = RemoveStaleWritingFiles(plan, s.parts);

  const std::string arrayScript = folder + "/parts.sh";
  const std::string joinScript = folder + "/join.sh";
  plan.jobIds.clear();
  for (const auto& [path, text] :
       {std::pair{FarmManifestPath(plan.output), FormatFarmManifest(plan)},
        std::pair{arrayScript, BuildArrayScript(plan, cliPath)},
        std::pair{joinScript, BuildJoinScript(plan, cliPath)}}) {
    if (const auto failed = Write(path, text)) {
      s.result = FarmSubmission::Result::NotWritten;
      s.unwritten = *failed;
      return s;
    }
  }

  // The manifest names every job submitted, so that a rerun can see them still at work.
  auto note = [&](const std::string& id) {
    plan.jobIds.push_back(id);
    if (const auto failed = Write(FarmManifestPath(plan.output), FormatFarmManifest(plan))) {
      s.unnoted.push_back(*failed);
    }
  };
  if (!s.parts.empty()) {
    const SlurmSubmission array = slurm.Submit(ArraySubmitArgs(plan, s.parts, options, arrayScript));
    if (array.result != SlurmSubmission::Result::Submitted) {
      s.result = FarmSubmission::Result::ArrayNotSubmitted;
      s.refusal = array;
      return s;
    }
    s.arrayJobId = array.jobId;
    note(s.arrayJobId);
  }
  s.unnotedAfterArray = s.unnoted.size();
  const SlurmSubmission join =
      slurm.Submit(JoinSubmitArgs(plan, s.arrayJobId, options, joinScript));
  if (join.result != SlurmSubmission::Result::Submitted) {
    s.result = FarmSubmission::Result::JoinNotSubmitted;
    s.refusal = join;
    return s;
  }
  s.joinJobId = join.jobId;
  note(s.joinJobId);
  s.result = FarmSubmission::Result::Submitted;
  return s;
}

}  // namespace tavrona
