#include "cli/cli_farm.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "app/atomic_file.h"
#include "app/process_runner.h"
#include "cli/cli_messages.h"
#include "export/avi_writer.h"
#include "export/export_job.h"
#include "export/export_part.h"
#include "export/project_digest.h"
#include "export/project_export.h"
#include "farm/batch_script.h"
#include "farm/farm_lock.h"
#include "farm/farm_plan.h"
#include "farm/part_verdict.h"
#include "farm/slurm_client.h"
#include "model/project_data.h"
#include "model/text_encoding.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

// Writes a farm file whole or not at all (WriteFileAtomically); false with *why in the
// system's words.
bool WriteFarmFile(const std::string& path, const std::string& text, std::string* why) {
  if (WriteFileAtomically(path, text)) return true;
  *why = "cannot write " + path + ": " + std::strerror(errno);
  return false;
}

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

std::optional<std::string> SubmitJob(const SlurmClient& slurm,
                                     const std::vector<std::string>& args, std::string* why) {
  const SlurmSubmission s = slurm.Submit(args);
  switch (s.result) {
    case SlurmSubmission::Result::Submitted:
      return s.jobId;
    case SlurmSubmission::Result::Failed:
      *why = "sbatch failed" +
             (s.exitStatus > 0 ? " (exit status " + std::to_string(s.exitStatus) + ")"
                               : std::string()) +
             ": " + s.text;
      return std::nullopt;
    case SlurmSubmission::Result::NoJobId:
      *why = "sbatch printed no job id: " + s.text;
      return std::nullopt;
  }
  return std::nullopt;
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

}  // namespace

int RunFarmCommand(const CliOptions& o, const ProjectData& project) {
  if (!FindOnPath("sbatch")) {
    return Fail("sbatch not found on PATH: farm submits its jobs with Slurm's sbatch");
  }
  if (o.wait && !FindOnPath("scontrol")) {
    return Fail("scontrol not found on PATH: --wait follows the join job with Slurm's scontrol");
  }
  // The tasks would each refuse a codec the output's container does not take: refuse it once.
  const OutputContainer container = ContainerForPath(FromUtf8(o.output));
  bool known = false;
  for (const auto& c : ListCompressors(container)) known = known || c.name == o.codec;
  if (!known) {
    std::fprintf(stderr,
                 "tavrona-cli: unknown codec \"%s\" for %s (see: tavrona-cli codecs --container "
                 "%s)\n",
                 o.codec.c_str(), ContainerName(container), ContainerName(container));
    return 2;
  }
  if (project.movieLength == 0) return Fail("the project has no frames to export");
  if (o.farmParts > project.movieLength) {
    std::fprintf(stderr, "tavrona-cli: --parts %u is more than the project's %u frames\n",
                 o.farmParts, project.movieLength);
    return 2;
  }

  std::error_code ec;
  FarmPlan plan;
  plan.project = fs::absolute(o.project, ec).lexically_normal().string();
  plan.output = fs::absolute(o.output, ec).lexically_normal().string();
  if (ec) return Fail("cannot resolve " + o.output + ": " + ec.message());
  if (plan.project.find('\n') != std::string::npos || plan.output.find('\n') != std::string::npos) {
    return Fail("a path with a line break cannot go into the farm's manifest");
  }
  const fs::path outFolder = fs::path(plan.output).parent_path();
  if (!fs::is_directory(outFolder, ec)) {
    return Fail("the output folder " + outFolder.string() + " does not exist");
  }
  plan.codec = o.codec;
  {
    ExportRunOptions run;
    run.sound = !o.noAudio;
    run.soundCodec = o.audioCodec;
    const auto sound = ExportSoundCodec(project, FromUtf8(o.output), run);
    if (!sound) {
      std::fprintf(stderr, "tavrona-cli: %s\n",
                   CliUnknownSoundCodec(o.audioCodec, ContainerName(container)).c_str());
      return 2;
    }
    plan.sound = *sound;
  }
  if (o.noAudio) plan.exportOptions.push_back("--no-audio");
  if (!o.audioCodec.empty()) {
    plan.exportOptions.push_back("--audio-codec");
    plan.exportOptions.push_back(o.audioCodec);
  }
  if (o.stopOnEventError) plan.exportOptions.push_back("--stop-on-event-error");
  if (o.timeoutError) plan.exportOptions.push_back("--timeout-error");
  plan.width = static_cast<uint32_t>(project.outputWidth);
  plan.height = static_cast<uint32_t>(project.outputHeight);
  plan.length = project.movieLength;
  plan.rate = ExportStreamRate(project.frameRate);
  plan.scale = kExportRateScale;
  if (plan.rate == 0) return Fail("the project's frame rate gives no stream rate");
  {
    std::string why;
    const auto digest = ProjectDigest(plan.project, project, &why);
    if (!digest) return Fail("cannot take the project's version: " + why);
    plan.digest = *digest;
  }
  // Parts begin on the whole export's key frames, so that they join into its very frames.
  const uint32_t keyInterval = ExportKeyFrameInterval(project, FromUtf8(o.output), o.codec);
  plan.ranges = PlanFrameRanges(plan.length, o.farmParts, keyInterval);
  if (plan.ranges.size() != o.farmParts) {
    std::fprintf(stderr,
                 "tavrona-cli: --parts %u is more than the %u groups of %u frames that %s in %s "
                 "codes (a part starts on a key frame)\n",
                 o.farmParts, (plan.length + keyInterval - 1) / keyInterval, keyInterval,
                 o.codec.c_str(), ContainerName(container));
    return 2;
  }

  const std::string folder = FarmPartsFolder(plan.output);
  fs::create_directories(folder, ec);
  if (ec) return Fail("cannot create the parts folder " + folder + ": " + ec.message());

  // One submission for OUT at a time: from reading the manifest until the jobs are submitted
  // and the manifest names them. Two at once would each plan from the same manifest, and
  // their tasks would write the same parts.
  std::optional<FarmLock> lock;
  {
    FarmLockRefusal refusal;
    lock = FarmLock::Take(folder, &refusal);
    if (!lock) return Fail(LockRefusalText(refusal));
  }

  std::optional<FarmPlan> previous;
  if (const auto text = ReadFarmFile(FarmManifestPath(plan.output))) {
    std::string why;
    previous = ParseFarmManifest(*text, &why);
    if (!previous) {
      std::fprintf(stderr, "tavrona-cli: ignoring %s (%s): every part is exported again\n",
                   FarmManifestPath(plan.output).c_str(), why.c_str());
    }
  }
  // Tasks of an earlier run still at work would write the same parts as a new submission.
  const SlurmClient slurm;
  if (previous && !previous->jobIds.empty()) {
    const std::vector<std::string> active = slurm.ActiveJobs(previous->jobIds);
    if (!active.empty()) {
      std::string names;
      for (const std::string& id : active) names += (names.empty() ? "" : ", ") + id;
      return Fail("the farm jobs " + names + " for " + plan.output +
                  " are still queued or running; wait for them (or scancel them) first");
    }
  }
  const std::vector<size_t> indices = PartsToResubmit(plan, previous, ProbeParts(plan, nullptr));
  // No earlier job is at work any more: what its tasks or join left half-written goes.
  for (const UnremovedFile& left : RemoveStaleWritingFiles(plan, indices)) {
    std::fprintf(stderr, "tavrona-cli: cannot remove %s, left by an earlier run: %s\n",
                 left.path.c_str(), left.error.c_str());
  }

  char self[4096];
  const ssize_t selfLength = readlink("/proc/self/exe", self, sizeof self - 1);
  if (selfLength <= 0) return Fail(std::string("cannot find this program: ") + strerror(errno));
  const std::string cliPath(self, static_cast<size_t>(selfLength));

  std::string why;
  const std::string arrayScript = folder + "/parts.sh";
  const std::string joinScript = folder + "/join.sh";
  if (!WriteFarmFile(FarmManifestPath(plan.output), FormatFarmManifest(plan), &why) ||
      !WriteFarmFile(arrayScript, BuildArrayScript(plan, cliPath), &why) ||
      !WriteFarmFile(joinScript, BuildJoinScript(plan, cliPath), &why)) {
    return Fail(why);
  }

  // The manifest names every job submitted, so that a rerun can see them still at work.
  auto noteJob = [&](const std::string& id) {
    plan.jobIds.push_back(id);
    std::string failure;
    if (!WriteFarmFile(FarmManifestPath(plan.output), FormatFarmManifest(plan), &failure)) {
      std::fprintf(stderr, "tavrona-cli: %s\n", failure.c_str());
    }
  };
  const SlurmOptions slurmOptions{o.partition, o.timeLimit};
  std::string arrayId;
  if (!indices.empty()) {
    const auto id = SubmitJob(slurm, ArraySubmitArgs(plan, indices, slurmOptions, arrayScript), &why);
    if (!id) return Fail("the parts were not submitted: " + why);
    arrayId = *id;
    noteJob(arrayId);
    std::printf("parts: job %s, tasks %s (%zu of %zu parts)\n", arrayId.c_str(),
                ArraySpec(indices).c_str(), indices.size(), plan.ranges.size());
  } else {
    std::printf("parts: all %zu parts complete, none submitted\n", plan.ranges.size());
  }
  const auto joinId = SubmitJob(slurm, JoinSubmitArgs(plan, arrayId, slurmOptions, joinScript), &why);
  if (!joinId) return Fail("the join was not submitted: " + why);
  std::printf("join: job %s -> %s\n", joinId->c_str(), plan.output.c_str());
  std::fflush(stdout);
  noteJob(*joinId);
  lock.reset();  // submitted: a rerun now sees the jobs in the manifest
  if (!o.wait) return 0;

  SlurmJobState last;
  const JobOutcome outcome = WaitForJob(slurm, *joinId, last);
  if (outcome == JobOutcome::Succeeded && fs::exists(plan.output, ec)) {
    std::printf("joined: %s\n", plan.output.c_str());
    return 0;
  }
  std::fprintf(stderr, "tavrona-cli: the join job %s ended %s (%s); the parts:\n", joinId->c_str(),
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
