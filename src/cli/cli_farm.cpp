#include "cli/cli_farm.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/process_runner.h"
#include "cli/cli_messages.h"
#include "export/avi_writer.h"
#include "farm/batch_script.h"
#include "farm/farm_lock.h"
#include "farm/farm_plan.h"
#include "farm/farm_planning.h"
#include "farm/farm_submission.h"
#include "farm/part_verdict.h"
#include "farm/slurm_client.h"
#include "model/project_data.h"
#include "model/text_encoding.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

const char* StateName(PartState s) {
  switch (s) {
    case PartState::Complete:
      return "complete";
    case PartState::Incomplete:
      return "incomplete";
    case PartState::Stale:
      return "stale";
    case PartState::Missing:
      return "missing";
  }
  return "?";
}

// Prints every part's range and verdict; returns how many are complete.
size_t PrintPartList(const FarmPlan& plan, FILE* to) {
  const std::vector<PartVerdict> verdicts = JudgePartFiles(plan);
  size_t counts[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    const PartVerdict& v = verdicts[i];
    ++counts[static_cast<int>(v.state)];
    char range[48];
    std::snprintf(range, sizeof range, "%u-%u", plan.ranges[i].first, plan.ranges[i].last);
    std::fprintf(to, "part %-4zu frames %-17s %s%s%s\n", i, range, StateName(v.state),
                 v.detail.empty() || v.state == PartState::Missing ? "" : ": ",
                 v.state == PartState::Missing ? "" : v.detail.c_str());
  }
  std::fprintf(to, "%zu parts: %zu complete, %zu incomplete, %zu stale, %zu missing\n",
               plan.ranges.size(), counts[0], counts[1], counts[2], counts[3]);
  return counts[0];
}

// Follows the job until it ends, printing each new state. Each poll asks Slurm once, a second
// apart; no answer for a minute on end (the controller gone) ends the wait as a failure.
JobOutcome WaitForJob(const SlurmClient& slurm, const std::string& jobId, SlurmJobState& last) {
  std::string shown;
  int failures = 0;
  for (;;) {
    const SlurmJobStates states = slurm.JobStates({jobId});
    const auto found = states.jobs.find(jobId);
    if (found == states.jobs.end()) {
      if (++failures >= 60) {
        last = {"UNKNOWN", states.error};
        return JobOutcome::Failed;
      }
    } else {
      failures = 0;
      const SlurmJobState& job = found->second;
      last = job;
      const std::string now = job.state + " (" + job.reason + ")";
      if (now != shown) {
        std::printf("join job %s: %s\n", jobId.c_str(), now.c_str());
        std::fflush(stdout);
        shown = now;
      }
      const JobOutcome outcome = JudgeJob(job);
      if (outcome != JobOutcome::Waiting) return outcome;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

// Why sbatch did not submit a job.
std::string RefusalText(const SlurmSubmission& s) {
  if (s.result == SlurmSubmission::Result::NoJobId) return "sbatch printed no job id: " + s.text;
  return "sbatch failed" +
         (s.exitStatus > 0 ? " (exit status " + std::to_string(s.exitStatus) + ")"
                           : std::string()) +
         ": " + s.text;
}

std::string UnwrittenText(const UnwrittenFile& f) {
  return "cannot write " + f.path + ": " + std::strerror(f.error);
}

std::string LockRefusalText(const FarmLockRefusal& r) {
  if (r.held) {
    return "another farm submission for the same output holds the lock " + r.path +
           (r.holder.empty() ? std::string() : " (" + r.holder + ")") +
           "; try again once it has submitted its jobs";
  }
  return (r.opening ? "cannot open the lock " : "cannot lock ") + r.path + ": " +
         std::strerror(r.error);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tavrona-cli: %s\n", message.c_str());
  return 1;
}


// The words for why no plan was made, and the exit status: 2 for what the options asked,
// 1 for the rest.
int ReportPlanProblem(const FarmPlanProblem& p, const CliOptions& o, const ProjectData& project) {
  const OutputContainer container = ContainerForPath(FromUtf8(o.output));
  using Kind = FarmPlanProblem::Kind;
  switch (p.kind) {
    case Kind::UnknownCodec:
      std::fprintf(stderr,
                   "tavrona-cli: unknown codec \"%s\" for %s (see: tavrona-cli codecs "
                   "--container %s)\n",
                   o.codec.c_str(), ContainerName(container), ContainerName(container));
      return 2;
    case Kind::NoFrames:
      return Fail("the project has no frames to export");
    case Kind::MorePartsThanFrames:
      std::fprintf(stderr, "tavrona-cli: --parts %u is more than the project's %u frames\n",
                   o.farmParts, project.movieLength);
      return 2;
    case Kind::Unresolvable:
      return Fail("cannot resolve " + o.output + ": " + p.detail);
    case Kind::LineBreakInPath:
      return Fail("a path with a line break cannot go into the farm's manifest");
    case Kind::NoOutputFolder:
      return Fail("the output folder " + p.detail + " does not exist");
    case Kind::UnknownSoundCodec:
      std::fprintf(stderr, "tavrona-cli: %s\n",
                   CliUnknownSoundCodec(o.audioCodec, ContainerName(container)).c_str());
      return 2;
    case Kind::NoStreamRate:
      return Fail("the project's frame rate gives no stream rate");
    case Kind::NoDigest:
      return Fail("cannot take the project's version: " + p.detail);
    case Kind::MorePartsThanKeyGroups:
      std::fprintf(stderr,
                   "tavrona-cli: --parts %u is more than the %u groups of %u frames that %s in %s "
                   "codes (a part starts on a key frame)\n",
                   o.farmParts, p.groups, p.keyInterval, o.codec.c_str(),
                   ContainerName(container));
      return 2;
  }
  return 1;
}

}  // namespace

int RunFarmCommand(const CliOptions& o, const ProjectData& project) {
  if (!FindOnPath("sbatch")) {
    return Fail("sbatch not found on PATH: farm submits its jobs with Slurm's sbatch");
  }
  if (o.wait && !FindOnPath("scontrol")) {
    return Fail("scontrol not found on PATH: --wait follows the join job with Slurm's scontrol");
  }
  FarmRequest request;
  request.project = o.project;
  request.output = o.output;
  request.codec = o.codec;
  request.parts = o.farmParts;
  request.noSound = o.noAudio;
  request.soundCodec = o.audioCodec;
  request.stopOnEventError = o.stopOnEventError;
  request.timeoutError = o.timeoutError;
  FarmPlanProblem problem;
  std::optional<FarmPlan> planned = PlanFarm(request, project, &problem);
  if (!planned) return ReportPlanProblem(problem, o, project);
  FarmPlan& plan = *planned;

  char self[4096];
  const ssize_t selfLength = readlink("/proc/self/exe", self, sizeof self - 1);
  if (selfLength <= 0) return Fail(std::string("cannot find this program: ") + strerror(errno));
  const std::string cliPath(self, static_cast<size_t>(selfLength));

  const std::string folder = FarmPartsFolder(plan.output);
  const SlurmClient slurm;
  const FarmSubmission s = SubmitFarm(plan, {o.partition, o.timeLimit}, cliPath, slurm);
  if (!s.ignoredManifest.empty()) {
    std::fprintf(stderr, "tavrona-cli: ignoring %s (%s): every part is exported again\n",
                 FarmManifestPath(plan.output).c_str(), s.ignoredManifest.c_str());
  }
  for (const UnremovedFile& left : s.unremoved) {
    std::fprintf(stderr, "tavrona-cli: cannot remove %s, left by an earlier run: %s\n",
                 left.path.c_str(), left.error.c_str());
  }
  const auto unnoted = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      std::fprintf(stderr, "tavrona-cli: %s\n", UnwrittenText(s.unnoted[i]).c_str());
    }
  };
  switch (s.result) {
    case FarmSubmission::Result::NoPartsFolder:
      return Fail("cannot create the parts folder " + folder + ": " + s.folderError);
    case FarmSubmission::Result::Locked:
      return Fail(LockRefusalText(s.lockRefusal));
    case FarmSubmission::Result::StillAtWork: {
      std::string names;
      for (const std::string& id : s.activeJobs) names += (names.empty() ? "" : ", ") + id;
      return Fail("the farm jobs " + names + " for " + plan.output +
                  " are still queued or running; wait for them (or scancel them) first");
    }
    case FarmSubmission::Result::NotWritten:
      return Fail(UnwrittenText(s.unwritten));
    case FarmSubmission::Result::ArrayNotSubmitted:
      return Fail("the parts were not submitted: " + RefusalText(s.refusal));
    case FarmSubmission::Result::JoinNotSubmitted:
    case FarmSubmission::Result::Submitted:
      break;
  }
  unnoted(0, s.unnotedAfterArray);
  if (!s.parts.empty()) {
    std::printf("parts: job %s, tasks %s (%zu of %zu parts)\n", s.arrayJobId.c_str(),
                ArraySpec(s.parts).c_str(), s.parts.size(), plan.ranges.size());
  } else {
    std::printf("parts: all %zu parts complete, none submitted\n", plan.ranges.size());
  }
  if (s.result == FarmSubmission::Result::JoinNotSubmitted) {
    return Fail("the join was not submitted: " + RefusalText(s.refusal));
  }
  const std::string& joinId = s.joinJobId;
  std::printf("join: job %s -> %s\n", joinId.c_str(), plan.output.c_str());
  std::fflush(stdout);
  unnoted(s.unnotedAfterArray, s.unnoted.size());
  if (!o.wait) return 0;

  SlurmJobState last;
  const JobOutcome outcome = WaitForJob(slurm, joinId, last);
  std::error_code ec;
  if (outcome == JobOutcome::Succeeded && fs::exists(plan.output, ec)) {
    std::printf("joined: %s\n", plan.output.c_str());
    return 0;
  }
  std::fprintf(stderr, "tavrona-cli: the join job %s ended %s (%s); the parts:\n", joinId.c_str(),
               last.state.c_str(), last.reason.c_str());
  PrintPartList(plan, stderr);
  std::fprintf(stderr, "logs: %s/part-*.log, %s/join.log\n", folder.c_str(), folder.c_str());
  return 1;
}

int RunFarmStatusCommand(const CliOptions& o) {
  std::error_code ec;
  const std::string output = fs::absolute(o.output, ec).lexically_normal().string();
  const std::string manifest = FarmManifestPath(output);
  const auto text = ReadFarmFile(manifest);
  if (!text) {
    return Fail("no farm manifest at " + manifest + ": " + std::strerror(errno));
  }
  std::string why;
  const auto plan = ParseFarmManifest(*text, &why);
  if (!plan) return Fail(manifest + ": " + why);
  std::string state;
  switch (JudgeFarmOutput(*plan)) {
    case OutputState::Absent:
      state = "absent";
      break;
    case OutputState::Current:
      state = "present";
      break;
    case OutputState::NoJoinRecorded:
      state = "stale: no join of these parts is recorded";
      break;
    case OutputState::OtherPlan:
      state = "stale: joined from the parts of an earlier plan";
      break;
    case OutputState::WrittenSinceJoin:
      state = "stale: written again since the join";
      break;
  }
  std::printf("project %s\ncodec   %s\n", plan->project.c_str(), plan->codec.c_str());
  if (!plan->sound.empty()) std::printf("sound   %s\n", plan->sound.c_str());
  std::printf("output  %s (%s)\n", plan->output.c_str(), state.c_str());
  if (!plan->jobIds.empty()) {
    std::printf("jobs   ");
    for (const std::string& id : plan->jobIds) std::printf(" %s", id.c_str());
    std::printf("\n");
  }
  PrintPartList(*plan, stdout);
  return 0;
}

}  // namespace tavrona
