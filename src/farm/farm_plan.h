// The plan of one farm run (project, output, codec, frame ranges) and the manifest that keeps it
// in the parts folder beside OUT (OUT + ".parts"), so that a status query or a rerun needs only
// OUT. Plain data and files; no Slurm.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/project_export.h"

namespace tavrona {

// What one farm run exports. Paths are absolute.
struct FarmPlan {
  std::string project;  // the .vpj every task loads
  std::string output;   // OUT, written by the join
  std::string codec;
  uint32_t width = 0, height = 0;  // the project's output size
  uint32_t length = 0;             // frames in the project (0..length-1)
  uint32_t rate = 0, scale = 1;    // the stream's frames per second = rate / scale; 0: not known
  std::string digest;              // the project's version (ProjectDigest); empty: not known
  std::string sound;  // the joined file's sound codec the parts record; empty: no sound
  std::vector<ExportRange> ranges;  // in order, part i = ranges[i]
  std::vector<std::string> jobIds;  // Slurm jobs of the last submission (manifest only)
  // Options every task's export takes besides the range and codec (--stop-on-event-error,
  // --timeout-error, sound options); not kept in the manifest.
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

// A file the farm meant to remove and could not, with the system's words.
struct UnremovedFile {
  std::string path;
  std::string error;
};

// Removes what cut-off tasks or a cut-off join left half-written: the writing files of the
// parts `indices` and the join's. Only regular files (a folder or a link there is not the
// farm's to remove; the task says why it cannot write). Call only when no earlier job is at
// work. Returns the files that could not be removed (the tasks will replace them).
std::vector<UnremovedFile> RemoveStaleWritingFiles(const FarmPlan& plan,
                                                   const std::vector<size_t>& indices);

// The join records, once OUT is in place, which plan it joined: FarmPlanIdentity (the
// manifest without its job ids) in OUT.parts/joined.txt.
std::string FarmJoinedPath(const std::string& output);
std::string FarmPlanIdentity(const FarmPlan& plan);

// Whether OUT is the join of this plan's parts. Current: joined.txt records this plan and OUT
// was not written after it. Absent: no OUT. The other states are stale OUTs: joined for no
// plan recorded, for another plan, or written again since the join.
enum class OutputState { Absent, Current, NoJoinRecorded, OtherPlan, WrittenSinceJoin };
OutputState JudgeFarmOutput(const FarmPlan& plan);

// The manifest: one "key value" line each, then a "part INDEX FIRST LAST" line per part. The
// "rate" and "digest" lines may be absent (manifests of earlier versions): rate 0, any rate, and
// an empty digest, which only parts that record none match. A "sound" line names the sound
// codec when the export has sound, and is absent otherwise.
std::string FormatFarmManifest(const FarmPlan& plan);
// Nullopt with *why filled (the line and what is wrong with it, in plain words, as the export
// library's part checks give them) when a line is malformed, a key is missing, or the ranges
// are not consecutive from frame 0 to length-1.
std::optional<FarmPlan> ParseFarmManifest(const std::string& text, std::string* why);

// A whole file's text; nullopt (errno set) when it cannot be read.
std::optional<std::string> ReadFarmFile(const std::string& path);

}  // namespace tavrona
