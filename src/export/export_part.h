// Parts of an export: frame ranges written by separate runs (on separate machines) and joined
// into one file afterwards.
//
// A part is an ordinary export file of output frames first..last whose metadata comment
// (PartComment) records that range and the project's length. JoinParts copies the parts'
// encoded frames, in the order given, into one file of the same container without coding
// them again; when the parts cover the whole project the result is the file a whole export
// writes, frame for frame.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "export/project_export.h"

namespace tavrona {

// The comment that marks a part, and its reading: nullopt for any other text.
std::string PartComment(ExportRange range, uint32_t projectLength);
struct PartMark {
  ExportRange range;
  uint32_t projectLength = 0;
};
std::optional<PartMark> ParsePartComment(std::string_view comment);

// What a part file holds.
struct PartInfo {
  uint32_t first = 0;
  uint32_t last = 0;
  uint32_t projectLength = 0;
  uint32_t framesPresent = 0;  // frames the file holds
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rate = 0;  // frames per second = rate / scale
  uint32_t scale = 1;
  std::string codec;      // the codec's name ("rawvideo", "h264", ...)
  std::string container;  // "avi", "mp4", "mkv", "mov"
};

// Reads a part's range, picture and count of frames. nullopt, with why filled in plain words,
// when the file is missing or unreadable (the system's error text) or carries no part mark.
std::optional<PartInfo> ReadPartInfo(const std::string& path, std::string* why);

// Every frame of its range is in the file.
bool PartComplete(const PartInfo& part);

// Splits frames 0 .. length - 1 into `parts` consecutive ranges, each starting at a multiple of
// keyInterval (KeyFrameInterval: where a whole export has its key frames): the project's groups
// of keyInterval frames (the last may be shorter) are shared out as evenly as possible, the
// first groups % parts ranges one group longer. Empty when parts is 0 or more than the groups.
std::vector<ExportRange> PlanFrameRanges(uint32_t length, uint32_t parts, uint32_t keyInterval = 1);

// The range starts at a multiple of keyInterval and ends before one or at the project's last
// frame: a part of it codes its frames as a whole export does.
bool RangeOnKeyFrames(ExportRange range, uint32_t projectLength, uint32_t keyInterval);

// Joins the parts, in the order given, into out. The parts must share container (also out's,
// by its extension), codec, size and rate, be complete and follow each other without gap or
// overlap. A joined file that covers the whole project carries no part mark; one that covers
// less is itself a part of the joined range. False with why filled (naming the part) on any
// refusal or failure; a file begun is then removed.
bool JoinParts(const std::vector<std::string>& parts, const std::string& out, std::string* why);

}  // namespace tavrona
