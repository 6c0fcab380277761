// tavrona-cli farm: a project exported in frame ranges by a Slurm array job, then joined.
//
// The plan (project, output, codec, frame ranges) is written as a small text manifest into the
// parts folder beside OUT (OUT + ".parts"), so `farm --status OUT` and a rerun need only OUT.
// Slurm does all the scheduling: this command writes two batch scripts, submits them with
// sbatch (the join depending on the array with afterok) and, with --wait, polls scontrol until
// the join job ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_options.h"

namespace tavrona {

struct PartInfo;
struct PartRequirement;
struct ProjectData;

// What one farm run exports. Paths are absolute.
struct FarmPlan {
  std::string project;  // the .vpj every task loads
  std::string output;   // OUT, written by the join
  std::string codec;
  uint32_t width = 0, height = 0;                     // the project's output size
  uint32_t length = 0;                                // frames in the project (0..length-1)
  uint32_t rate = 0, scale = 1;  // the stream's frames per second = rate / scale; 0: not known
  std::string digest;            // the project's version (ProjectDigest); empty: not known
  std::string sound;  // the joined file's sound codec the parts record; empty: no sound
  std::vector<std::pair<uint32_t, uint32_t>> ranges;  // inclusive, in order, part i = ranges[i]
  std::vector<std::string> jobIds;  // Slurm jobs of the last submission (manifest only)
  // Options every task's export takes besides the range and codec (--stop-on-event-error,
  // --timeout-error); not kept in the manifest.
  std::vector<std::string> exportOptions;
};

// OUT + ".parts": the folder of the parts, their logs, scripts and the manifest.
std::string FarmPartsFolder(const std::string& output);
std::string FarmManifestPath(const std::string& output);
// Part i's file: part-<i> with OUT's extension (".avi" when OUT has none).
std::string FarmPartPath(const FarmPlan& plan, size_t index);

// Where task i writes its part until the export has succeeded, and where the join writes OUT.
std::string FarmWritingPath(const FarmPlan& plan, size_t index);
std::string FarmJoiningPath(const FarmPlan& plan);

// Removes what cut-off tasks or a cut-off join left half-written: the writing files of the
// parts `indices` and the join's. Only regular files (a folder or a link there is not the
// farm's to remove; the task says why it cannot write). Call only when no earlier job is at
// work. A file that cannot be removed is reported on stderr; the task will replace it.
void RemoveStaleWritingFiles(const FarmPlan& plan, const std::vector<size_t>& indices);

// The join records, once OUT is in place, which plan it joined: FarmPlanIdentity (the
// manifest without its job ids) in OUT.parts/joined.txt.
std::string FarmJoinedPath(const std::string& output);
std::string FarmPlanIdentity(const FarmPlan& plan);

// Whether OUT is the join of this plan's parts. Current: joined.txt records this plan and OUT
// was not written after it. Stale: OUT is there but joined for another plan, for none recorded,
// or written again since (detail says which). Absent: no OUT.
enum class OutputState { Absent, Current, Stale };
struct OutputVerdict {
  OutputState state = OutputState::Absent;
  std::string detail;
};
OutputVerdict JudgeFarmOutput(const FarmPlan& plan);

// An exclusive lock (flock) on OUT.parts/lock, which one submission for OUT holds from before
// it reads the manifest until its jobs are submitted and the manifest names them. Released
// when destroyed (or the process ends). While it holds the lock, the holder's process id, host
// and start time are in the file for whoever is refused.
class FarmLock {
 public:
  // Takes the lock without waiting. Nullopt with *why filled when another holds it (naming the
  // lock file and its holder's note) or the file cannot be opened or locked (the system's
  // words).
  static std::optional<FarmLock> Take(const std::string& partsFolder, std::string* why);
  FarmLock(FarmLock&& other) noexcept;
  FarmLock& operator=(FarmLock&& other) noexcept;
  FarmLock(const FarmLock&) = delete;
  FarmLock& operator=(const FarmLock&) = delete;
  ~FarmLock();

 private:
  FarmLock() = default;
  int fd_ = -1;
};
std::string FarmLockPath(const std::string& partsFolder);

// The manifest: one "key value" line each, then a "part INDEX FIRST LAST" line per part. The
// "rate" and "digest" lines may be absent (manifests of earlier versions): rate 0, any rate, and
// an empty digest, which only parts that record none match. A "sound" line names the sound
// codec when the export has sound, and is absent otherwise.
std::string FormatFarmManifest(const FarmPlan& plan);
// Nullopt with *why filled when a line is malformed, a key is missing, or the ranges are not
// consecutive from frame 0 to length-1.
std::optional<FarmPlan> ParseFarmManifest(const std::string& text, std::string* why);

// Complete: fits its place and holds all its frames; Incomplete: fits but lacks frames (cut
// short); Stale: made for another plan (range, project or its version, container, codec, size,
// rate); Missing: no readable part.
enum class PartState { Complete, Incomplete, Stale, Missing };
struct PartVerdict {
  PartState state = PartState::Missing;
  std::string detail;  // why a part is not complete, for --status
};

// What part `index` of the plan must be, for CheckPart: the join checks each part the same way.
PartRequirement FarmPartRequirement(const FarmPlan& plan, size_t index);

// Judges part `index` of `plan` from what ReadPartInfo found (nullopt: no readable part) with
// CheckPart against FarmPartRequirement.
PartVerdict JudgePart(const FarmPlan& plan, size_t index, const std::optional<PartInfo>& info);

// The part indices a run must submit, ascending: every part when `previous` (the manifest left
// by an earlier run, if any) planned another project, project version, codec, sound, size, rate
// or split, otherwise those
// whose verdict is not Complete. `infos` holds one entry per part of `plan`.
std::vector<size_t> PartsToResubmit(const FarmPlan& plan, const std::optional<FarmPlan>& previous,
                                    const std::vector<std::optional<PartInfo>>& infos);

// Quotes a word for a POSIX shell: 'it'\''s'.
std::string ShellQuote(const std::string& word);

// The batch script of the array: task i exports ranges[i] into a temporary name in the parts
// folder and renames it to FarmPartPath(plan, i) only when the export succeeded.
std::string BuildArrayScript(const FarmPlan& plan, const std::string& cliPath);
// The batch script of the join: every part in order into a temporary name, renamed to OUT;
// then FarmPlanIdentity written to FarmJoinedPath.
std::string BuildJoinScript(const FarmPlan& plan, const std::string& cliPath);

struct SlurmOptions {
  std::string partition;  // --partition, empty: the cluster's default
  std::string timeLimit;  // --time, empty: the partition's default
};

// "0-2,5,7-8": the indices (ascending) as sbatch's --array takes them.
std::string ArraySpec(const std::vector<size_t>& indices);
// sbatch's arguments (without the program name) for the array of `indices` and for the join,
// which depends on the array job `arrayJobId` unless that is empty (nothing to export).
std::vector<std::string> ArraySubmitArgs(const FarmPlan& plan, const std::vector<size_t>& indices,
                                         const SlurmOptions& slurm, const std::string& script);
std::vector<std::string> JoinSubmitArgs(const FarmPlan& plan, const std::string& arrayJobId,
                                        const SlurmOptions& slurm, const std::string& script);

// The jobs of `squeue -h -o %i` output ("12_1", "12_[2-3]", "13"), without their array
// tasks, each once, in the order first seen.
std::vector<std::string> ListedJobIds(const std::string& output);

// The job id in `sbatch --parsable` output ("12" or "12;cluster"); nullopt when there is none.
std::optional<std::string> ParseSbatchJobId(const std::string& output);

// A job as `scontrol show job -o ID` describes it.
struct SlurmJobState {
  std::string state;   // JobState, e.g. PENDING, RUNNING, COMPLETED, FAILED, CANCELLED
  std::string reason;  // Reason, e.g. Dependency, DependencyNeverSatisfied, None
};
std::optional<SlurmJobState> ParseScontrolJob(const std::string& output);

enum class JobOutcome { Waiting, Succeeded, Failed };
// A job still waiting on a dependency that can never be met has failed: it would never run.
JobOutcome JudgeJob(const SlurmJobState& job);

// farm PROJECT -o OUT --parts N ...: plans, writes the manifest and scripts, submits, and with
// --wait waits for the join. The project is already loaded with every source open.
int RunFarmCommand(const CliOptions& options, const ProjectData& project);
// farm --status OUT: each part's range and state, and whether OUT exists.
int RunFarmStatusCommand(const CliOptions& options);

}  // namespace tavrona
