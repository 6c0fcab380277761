// The text of the farm's batch scripts and sbatch's arguments: pure functions of the plan.
#pragma once

#include <string>
#include <vector>

#include "farm/farm_plan.h"

namespace tavrona {

// Quotes a word for a POSIX shell: 'it'\''s'.
std::string ShellQuote(const std::string& word);

// The batch script of the array: task i exports ranges[i] into a temporary name in the parts
// folder (FarmWritingPath) and renames it to FarmPartPath(plan, i) only when the export
// succeeded. cliPath: the command-line program every task runs.
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

}  // namespace tavrona
