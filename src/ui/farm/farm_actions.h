// What the desktop program's farm commands run: a submission through the real Slurm client with
// the command-line program installed beside the program, and a rerun that loads the project
// again from its file (the farm's tasks load the same file). No widgets; callable from a worker
// thread.
#pragma once

#include <string>

#include "farm/batch_script.h"
#include "ui/farm/farm_dialog.h"
#include "ui/farm/farm_status_window.h"

namespace tavrona {

// tavrona-cli beside the running program: the program the farm's batch scripts run.
std::string FarmCliPath();

// SubmitFarm with a real SlurmClient and FarmCliPath().
FarmSubmitter StandardFarmSubmitter();
// ReadFarmStatus with a real SlurmClient.
FarmStatusReader StandardFarmStatusReader();

// The run of `previous` (a manifest's plan) submitted again: its project loaded from its file,
// planned with the same output, codec, number of parts and sound, and submitted with `options`.
// Only what is not complete is exported again (SubmitFarm decides).
FarmRerun RerunFarm(const FarmPlan& previous, const SlurmOptions& options,
                    const FarmSubmitter& submit);

}  // namespace tavrona
