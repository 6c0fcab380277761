// How a farm run stands, for a status window: the plan from OUT's manifest, each part judged
// from its file and, while Slurm still holds its task, from the task's state, and what a rerun
// would export again.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "farm/farm_plan.h"
#include "farm/part_verdict.h"
#include "farm/slurm_client.h"

namespace tavrona {

enum class FarmPartStatus { Complete, Incomplete, Stale, Missing, Queued, Running };

struct FarmPartRow {
  ExportRange range;
  FarmPartStatus status = FarmPartStatus::Missing;
  // Why an incomplete or stale part's file is not right (PartVerdict::detail); empty otherwise.
  std::string detail;
};

struct FarmStatus {
  std::string error;  // why the manifest could not be read; the rest is empty then
  FarmPlan plan;
  OutputState output = OutputState::Absent;
  std::vector<FarmPartRow> parts;       // part i = parts[i]
  std::vector<std::string> activeJobs;  // the run's jobs still queued or running (the join too)
};

// A part's status: a queued or running task says so (its file is not finished yet); otherwise
// the file's verdict. taskState: the task's Slurm state, nullptr when Slurm no longer holds it.
FarmPartStatus PartStatus(const PartVerdict& verdict, const std::string* taskState);

// The status of the farm run writing `output` (an absolute path): its manifest read, every
// part's file judged (JudgePartFiles) and its jobs and their queued tasks asked of Slurm. Blocks
// while squeue runs.
FarmStatus ReadFarmStatus(const std::string& output, const SlurmClient& slurm);

// Whether a rerun has something to do and may start: some part is not complete or OUT is not
// their current join, and no job of the run is queued or running (it would write the same
// files).
bool RerunOffered(const FarmStatus& status);

}  // namespace tavrona
