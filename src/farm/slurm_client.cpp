#include "farm/slurm_client.h"

#include <algorithm>
#include <sstream>

#include "app/parse_number.h"
#include "app/process_runner.h"

namespace tavrona {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

bool IsJobId(const std::string& text) {
  uint32_t number = 0;
  return ParseUint32(text, number);
}

// The value of `key=` in scontrol's one-line record: up to the next space.
std::optional<std::string> Field(const std::string& record, const std::string& key) {
  size_t at = 0;
  const std::string wanted = key + "=";
  while ((at = record.find(wanted, at)) != std::string::npos) {
    if (at == 0 || record[at - 1] == ' ' || record[at - 1] == '\n') {
      const size_t begin = at + wanted.size();
      const size_t end = record.find_first_of(" \n", begin);
      return record.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    }
    at += wanted.size();
  }
  return std::nullopt;
}

std::string JoinedIds(const std::vector<std::string>& ids) {
  std::string list;
  for (const std::string& id : ids) list += (list.empty() ? "" : ",") + id;
  return list;
}

}  // namespace

std::optional<std::string> ParseSbatchJobId(const std::string& output) {
  std::string id = Trimmed(output);
  // Messages may come before the id; --parsable puts it on the last line.
  const size_t lineStart = id.find_last_of('\n');
  if (lineStart != std::string::npos) id = id.substr(lineStart + 1);
  id = id.substr(0, id.find(';'));
  if (!IsJobId(id)) return std::nullopt;
  return id;
}

std::vector<std::string> ListedJobIds(const std::string& output) {
  std::vector<std::string> ids;
  std::stringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const std::string id = Trimmed(line).substr(0, Trimmed(line).find('_'));
    if (!IsJobId(id)) continue;
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  return ids;
}

std::optional<SlurmJobState> ParseScontrolJob(const std::string& output) {
  const auto state = Field(output, "JobState");
  if (!state || state->empty()) return std::nullopt;
  return SlurmJobState{*state, Field(output, "Reason").value_or("")};
}

std::map<std::string, SlurmJobState> ParseSacctJobs(const std::string& output) {
  std::map<std::string, SlurmJobState> jobs;
  std::stringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    line = Trimmed(line);
    const size_t bar1 = line.find('|');
    if (bar1 == std::string::npos) continue;
    const size_t bar2 = line.find('|', bar1 + 1);
    const std::string id = line.substr(0, bar1);
    if (!IsJobId(id)) continue;  // an array task, a step, a header or a complaint
    std::string state =
        line.substr(bar1 + 1, bar2 == std::string::npos ? std::string::npos : bar2 - bar1 - 1);
    state = state.substr(0, state.find(' '));  // "CANCELLED by 0"
    if (state.empty()) continue;
    const std::string reason = bar2 == std::string::npos ? std::string() : line.substr(bar2 + 1);
    jobs[id] = {state, reason.substr(0, reason.find('|'))};
  }
  return jobs;
}

JobOutcome JudgeJob(const SlurmJobState& job) {
  if (job.state == "COMPLETED") return JobOutcome::Succeeded;
  if (job.state == "PENDING") {
    return job.reason == "DependencyNeverSatisfied" ? JobOutcome::Failed : JobOutcome::Waiting;
  }
  static const char* const kStillGoing[] = {
      "CONFIGURING", "RUNNING",       "COMPLETING",   "SUSPENDED", "REQUEUED",
      "RESIZING",    "SIGNALING",     "STAGE_OUT",    "STOPPED",   "REQUEUE_HOLD",
      "REQUEUE_FED", "RESV_DEL_HOLD", "POWER_UP_NODE"};
  for (const char* s : kStillGoing) {
    if (job.state == s) return JobOutcome::Waiting;
  }
  // FAILED, CANCELLED, TIMEOUT, NODE_FAIL, OUT_OF_MEMORY, BOOT_FAIL, DEADLINE, PREEMPTED, ...
  return JobOutcome::Failed;
}

SlurmSubmission SlurmClient::Submit(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"sbatch"};
  argv.insert(argv.end(), args.begin(), args.end());
  const ProgramRun run = RunProgram(argv, kSlurmCommandLimit);
  SlurmSubmission submission;
  if (run.status != 0) {
    submission.result = SlurmSubmission::Result::Failed;
    submission.exitStatus = run.status;
    submission.text = Trimmed(run.err);
    return submission;
  }
  const auto id = ParseSbatchJobId(run.out);
  if (!id) {
    submission.result = SlurmSubmission::Result::NoJobId;
    submission.text = Trimmed(run.out);
    return submission;
  }
  submission.result = SlurmSubmission::Result::Submitted;
  submission.jobId = *id;
  return submission;
}

std::vector<std::string> SlurmClient::ActiveJobs(const std::vector<std::string>& jobIds) const {
  if (jobIds.empty() || !FindOnPath("squeue")) return {};
  const ProgramRun run =
      RunProgram({"squeue", "-h", "-o", "%i", "-j", JoinedIds(jobIds)}, kSlurmCommandLimit);
  return run.status == 0 ? ListedJobIds(run.out) : std::vector<std::string>{};
}

std::map<size_t, std::string> ParseSqueueTasks(const std::string& output) {
  std::map<size_t, std::string> tasks;
  std::stringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::stringstream words(line);
    std::string id, state;
    if (!(words >> id >> state)) continue;
    const size_t underscore = id.find('_');
    uint32_t index = 0;
    if (underscore == std::string::npos || !IsJobId(id.substr(0, underscore)) ||
        !ParseUint32(id.substr(underscore + 1), index)) {
      continue;  // a plain job, or tasks still folded ("12_[4-7]") that -r unfolds
    }
    tasks[index] = state;
  }
  return tasks;
}

std::map<size_t, std::string> SlurmClient::QueuedTasks(
    const std::vector<std::string>& jobIds) const {
  if (jobIds.empty() || !FindOnPath("squeue")) return {};
  const ProgramRun run = RunProgram({"squeue", "-h", "-r", "-o", "%i %T", "-j", JoinedIds(jobIds)},
                                    kSlurmCommandLimit);
  return run.status == 0 ? ParseSqueueTasks(run.out) : std::map<size_t, std::string>{};
}

SlurmJobStates SlurmClient::JobStates(const std::vector<std::string>& jobIds) const {
  SlurmJobStates states;
  if (jobIds.empty()) return states;
  // sacct keeps finished jobs; without accounting (slurmdbd) it fails, and scontrol answers.
  if (FindOnPath("sacct")) {
    const ProgramRun run =
        RunProgram({"sacct", "-n", "-P", "-X", "-o", "JobID,State,Reason", "-j", JoinedIds(jobIds)},
                   kSlurmCommandLimit);
    if (run.status == 0) {
      for (auto& [id, state] : ParseSacctJobs(run.out)) {
        if (std::find(jobIds.begin(), jobIds.end(), id) != jobIds.end()) {
          states.jobs[id] = std::move(state);
        }
      }
    }
  }
  for (const std::string& id : jobIds) {
    if (states.jobs.count(id)) continue;
    const ProgramRun run = RunProgram({"scontrol", "show", "job", "-o", id}, kSlurmCommandLimit);
    const auto job = run.status == 0 ? ParseScontrolJob(run.out) : std::nullopt;
    if (job) {
      states.jobs[id] = *job;
    } else {
      states.error = Trimmed(run.err);
    }
  }
  return states;
}

}  // namespace tavrona
