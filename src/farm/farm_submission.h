// One farm submission, as the command line and a desktop dialog make it: under the lock of the
// parts folder, the earlier run's manifest read, its jobs checked to be over, the parts that are
// not complete chosen, what cut-off jobs left half-written removed, the manifest and both
// scripts written, the array and the join submitted and noted in the manifest.
#pragma once

#include <string>
#include <vector>

#include "farm/batch_script.h"
#include "farm/farm_lock.h"
#include "farm/farm_plan.h"
#include "farm/slurm_client.h"

namespace tavrona {

// A file the submission could not write, with errno of the failing call.
struct UnwrittenFile {
  std::string path;
  int error = 0;
};

struct FarmSubmission {
  enum class Result {
    Submitted,          // arrayJobId (empty when every part was complete) and joinJobId
    NoPartsFolder,      // folderError: the parts folder could not be made
    Locked,             // lockRefusal: another submission holds the lock, or it cannot be used
    StillAtWork,        // activeJobs: jobs of the earlier run are queued or running
    NotWritten,         // unwritten: the manifest or a script could not be written
    ArrayNotSubmitted,  // refusal: sbatch did not take the array
    JoinNotSubmitted,   // refusal: sbatch did not take the join (the array is submitted)
  };
  Result result = Result::NoPartsFolder;
  std::string folderError;
  FarmLockRefusal lockRefusal;
  std::vector<std::string> activeJobs;
  UnwrittenFile unwritten;
  SlurmSubmission refusal;

  // What happened on the way, whatever the result.
  std::string ignoredManifest;  // why the earlier manifest could not be read; empty: none or read
  std::vector<UnremovedFile> unremoved;
  std::vector<size_t> parts;  // the parts submitted, ascending
  std::string arrayJobId, joinJobId;
  // Manifest updates naming a submitted job that failed (the jobs run all the same).
  std::vector<UnwrittenFile> unnoted;  // the first unnotedAfterArray of them: the array's
  size_t unnotedAfterArray = 0;
};

// Submits `plan` (its jobIds are filled with the jobs submitted). cliPath: the command-line
// program the scripts run. Blocks while Slurm's commands run.
FarmSubmission SubmitFarm(FarmPlan& plan, const SlurmOptions& options, const std::string& cliPath,
                          const SlurmClient& slurm);

}  // namespace tavrona
