// tavrona-cli farm: a project exported in frame ranges by a Slurm array job, then joined.
//
// The front end of the farm library (src/farm): options in, words out. The plan goes into a
// manifest in the parts folder beside OUT (OUT + ".parts"), so `farm --status OUT` and a rerun
// need only OUT. Slurm does all the scheduling: this command writes two batch scripts, submits
// them with sbatch (the join depending on the array with afterok) and, with --wait, follows the
// join job until it ends.
#pragma once

#include "cli/cli_options.h"

namespace tavrona {

struct ProjectData;

// farm PROJECT -o OUT --parts N ...: plans, writes the manifest and scripts, submits, and with
// --wait waits for the join. The project is already loaded with every source open.
int RunFarmCommand(const CliOptions& options, const ProjectData& project);
// farm --status OUT: each part's range and state, and whether OUT exists.
int RunFarmStatusCommand(const CliOptions& options);

}  // namespace tavrona
