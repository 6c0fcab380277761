// Parts of an export: frame ranges written by separate runs (on separate machines) and joined
// into one file afterwards.
//
// A part is an ordinary export file of output frames first..last whose metadata comment
// (PartComment) records that range and the project's length. JoinParts copies the parts'
// encoded frames, in the order given, into one file of the same container without coding
// them again; when the parts cover the whole project the result is the file a whole export
// writes, frame for frame.
//
// Sound: a part of a project with sound holds exactly the mix's samples of its frames, coded
// losslessly, and its comment records the sound codec meant for the joined file and the count
// of samples. The join decodes the parts' sound in order and codes it once, as one stream, with
// that codec: lossless sound comes out sample for sample as a whole export's, lossy sound is
// coded over the seams as a whole export codes it. Parts of a project without sound record
// nothing of it, and their comments are as before.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "export/project_export.h"

namespace tavrona {

// The comment that marks a part, and its reading: nullopt for any other text. The digest names
// the version of the project the part was made from (ProjectDigest, 64 lowercase hexadecimal
// digits); empty for none, as in parts written before digests were recorded, whose comments
// read back with an empty digest.
struct PartSound {
  std::string codec;    // the joined file's sound codec ("flac", "aac", ...); empty: no sound
  int64_t samples = 0;  // the part's sample pairs at 48 kHz
};
std::string PartComment(ExportRange range, uint32_t projectLength, std::string_view digest = {},
                        const PartSound& sound = {});
struct PartMark {
  ExportRange range;
  uint32_t projectLength = 0;
  std::string digest;  // empty: not recorded
  PartSound sound;     // codec empty: the part has no sound
};
std::optional<PartMark> ParsePartComment(std::string_view comment);

// What a part file holds.
struct PartInfo {
  uint32_t first = 0;
  uint32_t last = 0;
  uint32_t projectLength = 0;
  uint32_t framesPresent = 0;  // frames whose data lies whole inside the file
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rate = 0;  // frames per second = rate / scale
  uint32_t scale = 1;
  std::string codec;      // the codec's name ("rawvideo", "h264", ...)
  std::string container;  // "avi", "mp4", "mkv", "mov"
  std::string digest;     // the project version it was made from; empty: not recorded
  PartSound sound;        // as recorded; codec empty: no sound
  // With sound recorded: how many of its samples the file holds whole (-1: no sound stream).
  int64_t soundReach = -1;
  // How many frames its packets come ahead of their presentation at most (packet g shown as
  // frame p: g - p), where the packets were read to count the frames (Matroska parts always);
  // nullopt where the index answered or a packet had no presentation time.
  std::optional<int64_t> decodingLead;
};

// What a part must be to take its place: part i of a farm's plan, or the part that follows
// another in a join.
struct PartRequirement {
  uint32_t first = 0;
  std::optional<uint32_t> last;  // nullopt: the part may end anywhere (a join's next part)
  uint32_t projectLength = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t rate = 0;  // frames per second = rate / scale; rate 0: any rate
  uint32_t scale = 1;
  std::string codec;      // as PartInfo::codec
  std::string container;  // as PartInfo::container
  std::string digest;     // must equal the part's, empty or not
  std::string sound;      // the joined file's sound codec the part records; empty: no sound
};

enum class PartFault { None, Range, Project, Version, Container, Codec, Sound, Size, Rate, Frames };
struct PartCheck {
  PartFault fault = PartFault::None;
  std::string detail;  // plain words, e.g. "codec rawvideo, not h264"; empty when None
};

// The one check of a part against its place, for the join and the farm alike: range, project
// length, project version (digest), container, codec, sound codec, size, frame rate and every
// frame of its range held, in that order; the first difference found.
PartCheck CheckPart(const PartInfo& part, const PartRequirement& wanted);

// The codec name PartInfo::codec gives for parts written with a compressor of ListCompressors
// ("raw" -> "rawvideo", "h264" -> "h264"); empty for a name libavcodec does not know.
std::string PartCodecName(std::string_view compressor);

// Reads a part's range, picture and count of frames. nullopt, with why filled in plain words,
// when the file is missing or unreadable (the system's error text) or carries no part mark.
std::optional<PartInfo> ReadPartInfo(const std::string& path, std::string* why);

// Every frame of its range is whole in the file, and, where sound is recorded, its sound to
// the last sample (give or take a tick of the container's times).
bool PartComplete(const PartInfo& part);

// Splits frames 0 .. length - 1 into `parts` consecutive ranges, each starting at a multiple of
// keyInterval (KeyFrameInterval: where a whole export has its key frames): the project's groups
// of keyInterval frames (the last may be shorter) are shared out as evenly as possible, the
// first groups % parts ranges one group longer. Empty when parts is 0 or more than the groups.
std::vector<ExportRange> PlanFrameRanges(uint32_t length, uint32_t parts, uint32_t keyInterval = 1);

// The range starts at a multiple of keyInterval and ends before one or at the project's last
// frame: a part of it codes its frames as a whole export does.
bool RangeOnKeyFrames(ExportRange range, uint32_t projectLength, uint32_t keyInterval);

// Joins the parts, in the order given, into out. Each part must pass CheckPart against the
// first (container, also out's by its extension, codec, sound codec, size, rate, project and
// its version); a part with sound must decode to the count of samples it records
// and follow the one before without gap or overlap, every frame held. A joined file that
// covers the whole project carries no part mark; one that covers less is itself a part of the
// joined range, of the parts' version. False with why filled (naming the part) on any refusal
// or failure; a file begun is then removed.
bool JoinParts(const std::vector<std::string>& parts, const std::string& out, std::string* why);

}  // namespace tavrona
