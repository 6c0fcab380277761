// A farm part's verdict: whether the file in part i's place is that part, whole.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "export/export_part.h"
#include "farm/farm_plan.h"

namespace tavrona {

// Complete: fits its place and holds all its frames; Incomplete: fits but lacks frames (cut
// short), or a file is there that cannot be read as a part; Stale: made for another plan
// (range, project or its version, container, codec, size, rate); Missing: no file.
enum class PartState { Complete, Incomplete, Stale, Missing };
struct PartVerdict {
  PartState state = PartState::Missing;
  // Why a part is not complete: CheckPart's detail, or ReadPartInfo's reason for a file that
  // is not a readable part; "missing" for a missing part.
  std::string detail;
};

// What part `index` of the plan must be, for CheckPart: the join checks each part the same way.
PartRequirement FarmPartRequirement(const FarmPlan& plan, size_t index);

// Judges part `index` of `plan` from what ReadPartInfo found (nullopt: no readable part) with
// CheckPart against FarmPartRequirement.
PartVerdict JudgePart(const FarmPlan& plan, size_t index, const std::optional<PartInfo>& info);

// Every part's file read with ReadPartInfo (nullopt where there is no readable part); with
// whys, ReadPartInfo's reasons, one per part.
std::vector<std::optional<PartInfo>> ProbeParts(const FarmPlan& plan,
                                                std::vector<std::string>* whys = nullptr);

// Every part's verdict from its file: JudgePart, except that a file that is there but cannot
// be read as a part is Incomplete (not simply missing), with the reason it cannot be read.
std::vector<PartVerdict> JudgePartFiles(const FarmPlan& plan);

// The part indices a run must submit, ascending: every part when `previous` (the manifest left
// by an earlier run, if any) planned another project, project version, codec, sound, size, rate
// or split, otherwise those whose verdict is not Complete. `infos` holds one entry per part of
// `plan`.
std::vector<size_t> PartsToResubmit(const FarmPlan& plan, const std::optional<FarmPlan>& previous,
                                    const std::vector<std::optional<PartInfo>>& infos);

}  // namespace tavrona
