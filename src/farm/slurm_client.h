// Slurm's commands as the farm uses them: sbatch submits, squeue lists the jobs still queued
// or running, sacct reads job states in one call per batch of jobs, and scontrol answers for
// the jobs sacct does not know (accounting not configured, or not recorded yet; scontrol
// forgets a finished job after MinJobAge). Every command is looked up on PATH and may take at
// most kSlurmCommandLimit. Calls block; use from one thread at a time.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavrona {

inline constexpr std::chrono::seconds kSlurmCommandLimit{60};

// The job id in `sbatch --parsable` output ("12" or "12;cluster"); nullopt when there is none.
std::optional<std::string> ParseSbatchJobId(const std::string& output);

// The jobs of `squeue -h -o %i` output ("12_1", "12_[2-3]", "13"), without their array
// tasks, each once, in the order first seen.
std::vector<std::string> ListedJobIds(const std::string& output);

// A job's state as Slurm names it.
struct SlurmJobState {
  std::string state;   // JobState, e.g. PENDING, RUNNING, COMPLETED, FAILED, CANCELLED
  std::string reason;  // Reason, e.g. Dependency, DependencyNeverSatisfied, None
};

// A job as `scontrol show job -o ID` describes it; nullopt when there is no JobState.
std::optional<SlurmJobState> ParseScontrolJob(const std::string& output);

// The jobs of `sacct -n -P -X -o JobID,State,Reason` output, by id. An array's tasks
// ("12_3") and steps are not jobs of their own and are left out; "CANCELLED by 0" is
// CANCELLED.
std::map<std::string, SlurmJobState> ParseSacctJobs(const std::string& output);

// The array tasks of `squeue -h -r -o "%i %T"` output ("12_3 RUNNING", one task a line), by
// task index, with their state; lines of jobs that are not array tasks are left out.
std::map<size_t, std::string> ParseSqueueTasks(const std::string& output);

enum class JobOutcome { Waiting, Succeeded, Failed };
// A job still waiting on a dependency that can never be met has failed: it would never run.
JobOutcome JudgeJob(const SlurmJobState& job);

// What became of an sbatch call.
struct SlurmSubmission {
  enum class Result { Submitted, Failed, NoJobId };
  Result result = Result::Failed;
  std::string jobId;    // Submitted
  int exitStatus = -1;  // Failed: sbatch's exit status, -1 when it did not start or did not end
  std::string text;     // Failed: what sbatch wrote on stderr (or why it did not start);
                        // NoJobId: what it wrote on stdout; trimmed
};

// The states of several jobs at once.
struct SlurmJobStates {
  std::map<std::string, SlurmJobState> jobs;  // those Slurm still knows
  std::string error;  // when some are unknown: the last command's complaint, trimmed
};

class SlurmClient {
 public:
  // sbatch with `args` (without the program name).
  SlurmSubmission Submit(const std::vector<std::string>& args) const;

  // Which of `jobIds` (plain job ids) squeue still lists, queued or running: ListedJobIds.
  // Empty when squeue is not on PATH or fails (nothing known to be at work).
  std::vector<std::string> ActiveJobs(const std::vector<std::string>& jobIds) const;

  // The array tasks of `jobIds` that squeue still lists, by task index, with their state
  // (PENDING, RUNNING, ...): ParseSqueueTasks. Empty when squeue is not on PATH or fails.
  std::map<size_t, std::string> QueuedTasks(const std::vector<std::string>& jobIds) const;

  // The states of `jobIds`: one sacct call for them all, then one scontrol call for each job
  // sacct did not report.
  SlurmJobStates JobStates(const std::vector<std::string>& jobIds) const;
};

}  // namespace tavrona
