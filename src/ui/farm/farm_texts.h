// The desktop program's words for the farm: why a plan could not be made, what a submission
// did, each part's state and the output's. The command line words the same results in its own
// English messages.
#pragma once

#include <QString>

#include "farm/farm_planning.h"
#include "farm/farm_status.h"
#include "farm/farm_submission.h"

namespace tavrona {

QString FarmPlanProblemText(const FarmPlanProblem& problem);

// The job ids on success ("部分: ジョブ 12 (4 個中 4 個)\n結合: ジョブ 13"), otherwise why nothing
// or not everything was submitted.
QString FarmSubmissionText(const FarmSubmission& submission, const FarmPlan& plan);

QString FarmPartStatusText(FarmPartStatus status);
QString FarmOutputStateText(OutputState state);

// Why the farm cannot be used here: sbatch is not on PATH. Empty when it is.
QString FarmUnavailableReason();

}  // namespace tavrona
