// Making a farm plan from a loaded project and what the user asked for: the command line's
// options or a dialog's choices.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "farm/farm_plan.h"

namespace tavrona {

struct ProjectData;

struct FarmRequest {
  std::string project;  // the .vpj the project was loaded from; relative to the working folder
  std::string output;   // OUT; relative to the working folder
  std::string codec = "raw";  // a compressor of ListCompressors for OUT's container
  uint32_t parts = 1;
  bool noSound = false;     // the export's --no-audio
  std::string soundCodec;   // the export's --audio-codec; empty: the container's default
  bool stopOnEventError = false;
  bool timeoutError = false;
};

// Why PlanFarm made no plan.
struct FarmPlanProblem {
  enum class Kind {
    UnknownCodec,       // codec is not one of OUT's container
    NoFrames,           // the project has no frames
    MorePartsThanFrames,
    Unresolvable,       // detail: why OUT's absolute path could not be made
    LineBreakInPath,    // the manifest holds one path a line
    NoOutputFolder,     // detail: the folder
    UnknownSoundCodec,  // soundCodec is not one the container takes
    NoStreamRate,       // the project's frame rate gives none
    NoDigest,           // detail: why the project's version could not be taken
    MorePartsThanKeyGroups,  // groups of keyInterval frames: fewer than parts
  };
  Kind kind = Kind::NoFrames;
  std::string detail;
  uint32_t groups = 0, keyInterval = 0;  // MorePartsThanKeyGroups
};

// The plan of exporting `project` (loaded from request.project with every source open) in
// request.parts ranges, each starting on one of the whole export's key frames; nullopt with
// *problem filled when it cannot be made.
std::optional<FarmPlan> PlanFarm(const FarmRequest& request, const ProjectData& project,
                                 FarmPlanProblem* problem);

}  // namespace tavrona
