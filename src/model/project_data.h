// ProjectData: the whole project in one fixed-size block (settings, 1024 file slots, 256 tracks,
// 64 templates, the export job's writer and work frames). The document owns exactly one.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>

#include "model/event_record.h"
#include "model/file_entry.h"
#include "model/frame_buffer.h"
#include "model/late_ptr.h"
#include "model/track_data.h"
#include "model/track_sound.h"

namespace tavrona {

class AviWriter;  // the export library's AVI writer

inline constexpr int kTrackCount = 256;
inline constexpr int kTemplateCount = 64;
inline constexpr uint32_t kMaxMovieLength = 0x100000;  // 1,048,576 frames
inline constexpr int64_t k100nsPerSecond = 10'000'000;

// The export job's counters and flags; never saved.
struct ExportJobState {
  int32_t framesWritten = 0;
  int32_t stopOnEventError = 0;
  int32_t abort = 0;
  int32_t done = 0;
  // Frames written although an event failed (its movie frame could not be fetched, so it was
  // drawn from the picture last held), and the file IDs of those events: said when the job ends.
  uint32_t framesWithFailedEvents = 0;
  std::bitset<kFileCount> failedFiles;
  // The frames an export of a range writes (set when it begins); 0: the whole project.
  uint32_t rangeFrames = 0;
};

struct ProjectData {
  ProjectData();
  ~ProjectData();
  ProjectData(const ProjectData&) = delete;
  ProjectData& operator=(const ProjectData&) = delete;

  std::array<FileEntry, kFileCount> files;
  std::array<TrackData, kTrackCount> tracks;
  std::array<TrackSound, kTrackCount> trackSound{};  // volume and mute of each track
  std::array<EventRecord, kTemplateCount> templates{};
  LatePtr<AviWriter> exportWriter;        // open only while an export runs
  std::array<FrameBuffer, 2> workFrames;  // the export job's alternating output frames
  PathBuffer projectFolder{};             // folder of the project file, no trailing backslash
  PathBuffer basePath{};                  // folder that relative file paths are resolved against
  int32_t outputWidth = 0;
  int32_t outputHeight = 0;
  double frameRate = 1.0;
  int64_t frameDuration100ns = k100nsPerSecond;  // derived from frameRate
  uint32_t movieLength = 0;                      // frames, at most kMaxMovieLength
  uint32_t backgroundColour = 0;                 // 0x00BBGGRR
  int32_t defaultDrawingMethod = DrawInherit;
  ExportJobState exportJob;

  // Sets the frame rate and the frame duration derived from it.
  void SetFrameRate(double rate);
};

// Allocates and constructs a block (empty slots, tracks holding only their end markers,
// zero templates). Returns null when memory cannot be had.
std::unique_ptr<ProjectData> AllocateProjectData();

// The values of a new project: 320 x 240, 30 frames per second, length 1, black, method 0.
// Files, tracks and templates are left as they are.
void ApplyNewProjectReset(ProjectData& project);

// trunc(10,000,000 / frame rate), in 100-ns units. Rates that would give no finite positive
// duration give 0.
int64_t FrameDurationFromRate(double frameRate);

// Cuts a movie length to kMaxMovieLength.
constexpr uint32_t ClampMovieLength(uint32_t length) {
  return length > kMaxMovieLength ? kMaxMovieLength : length;
}

// The frames the export job writes: its range's, or the project's length.
inline uint32_t ExportFrameCount(const ProjectData& project) {
  return project.exportJob.rangeFrames != 0 ? project.exportJob.rangeFrames : project.movieLength;
}

// The event made when a file is dropped on a track (start = frame) or a template (start 0).
EventRecord DefaultEventForFile(const ProjectData& project, int32_t fileId, uint32_t start);

// The first empty slot in the order start, start + 1, ... wrapping from 1023 to 0.
std::optional<int32_t> FindFreeFileId(const ProjectData& project, int32_t start);

enum class ChangeIdResult { Unchanged, Swapped, TargetInUse, OutOfRange };
// Moves slot from to slot to by exchanging the two whole slots, open sources included. Events
// keep the IDs they hold. A target in use is refused and nothing changes.
ChangeIdResult ChangeFileId(ProjectData& project, int32_t from, int32_t to);

// Empties a slot and clears its reference frame duration. Events using the ID stay.
void DeleteFileEntry(ProjectData& project, int32_t fileId);

// The key bound to each template slot: "1".."0", "A".."L" row, "Z".."M" row, then none (' ').
char16_t TemplateKey(int slot);
// The template slot bound to a key character, if any.
std::optional<int> TemplateSlotForKey(char16_t key);

}  // namespace tavrona
