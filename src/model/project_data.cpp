#include "model/project_data.h"

#include <cmath>
#include <limits>
#include <new>
#include <utility>

namespace tavrona {

ProjectData::ProjectData() {
  for (TrackData& track : tracks) ResetTrack(track, 0);
}

ProjectData::~ProjectData() {
  // Released in this order: work frames, the export writer, event arrays, then every source.
  for (FrameBuffer& frame : workFrames) ReleaseFrameBuffer(frame);
  exportWriter.reset();
  for (TrackData& track : tracks) {
    track.events.reset();
    track.count = 0;
  }
  for (FileEntry& entry : files) ResetFileEntry(entry);
}

void ProjectData::SetFrameRate(double rate) {
  frameRate = rate;
  frameDuration100ns = FrameDurationFromRate(rate);
}

std::unique_ptr<ProjectData> AllocateProjectData() {
  try {
    auto project = std::unique_ptr<ProjectData>(new (std::nothrow) ProjectData());
    if (!project) return nullptr;
    // A track whose end marker could not be allocated means the block is not usable.
    for (const TrackData& track : project->tracks) {
      if (!track.events) return nullptr;
    }
    return project;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void ApplyNewProjectReset(ProjectData& project) {
  project.basePath.fill(0);
  project.outputWidth = 320;
  project.outputHeight = 240;
  project.SetFrameRate(30.0);
  project.movieLength = 1;
  project.backgroundColour = 0;
  project.defaultDrawingMethod = DrawInherit;
  project.exportJob = {};
}

int64_t FrameDurationFromRate(double frameRate) {
  const double duration = std::trunc(static_cast<double>(k100nsPerSecond) / frameRate);
  // A rate of zero, a negative one or NaN has no meaningful duration; 0 lets callers refuse it
  // instead of converting an out-of-range double.
  if (!(duration > 0) || duration >= 9.2e18) return 0;
  return static_cast<int64_t>(duration);
}

EventRecord DefaultEventForFile(const ProjectData& project, int32_t fileId, uint32_t start) {
  EventRecord e{};
  e.flags = EventInUse | EventBaseTransform;
  e.fileId = fileId;
  e.start = start;
  if (fileId >= 0 && fileId < kFileCount) {
    const FileEntry& entry = project.files[fileId];
    if (entry.kind == FileMovie) e.playbackRate = project.frameDuration100ns;
    if (!entry.picture.Empty()) {
      e.regionRight = entry.picture.Width();
      e.regionBottom = entry.picture.Height();
    }
  }
  e.red = e.green = e.blue = 255;
  e.opacity = EncodeOpacity(256);
  e.scale = 1.0f;
  return e;
}

std::optional<int32_t> FindFreeFileId(const ProjectData& project, int32_t start) {
  // Any starting value is taken modulo the table size, so a stale cursor cannot index outside.
  int32_t id = ((start % kFileCount) + kFileCount) % kFileCount;
  for (int n = 0; n < kFileCount; ++n) {
    if (project.files[id].kind == FileEmpty) return id;
    id = (id + 1) % kFileCount;
  }
  return std::nullopt;
}

ChangeIdResult ChangeFileId(ProjectData& project, int32_t from, int32_t to) {
  if (from < 0 || from >= kFileCount || to < 0 || to >= kFileCount) {
    return ChangeIdResult::OutOfRange;
  }
  if (from == to) return ChangeIdResult::Unchanged;
  if (project.files[to].kind != FileEmpty) return ChangeIdResult::TargetInUse;
  std::swap(project.files[from], project.files[to]);
  return ChangeIdResult::Swapped;
}

void DeleteFileEntry(ProjectData& project, int32_t fileId) {
  if (fileId < 0 || fileId >= kFileCount) return;
  FileEntry& entry = project.files[fileId];
  ResetFileEntry(entry);
  entry.referenceFrameDuration100ns = 0;
}

namespace {
constexpr char16_t kTemplateKeys[] = u"1234567890ASDFGHJKLZXCVBNM";
constexpr int kKeyedTemplates = sizeof(kTemplateKeys) / sizeof(char16_t) - 1;
static_assert(kKeyedTemplates == 26);
}  // namespace

char16_t TemplateKey(int slot) {
  return (slot >= 0 && slot < kKeyedTemplates) ? kTemplateKeys[slot] : u' ';
}

std::optional<int> TemplateSlotForKey(char16_t key) {
  for (int i = 0; i < kKeyedTemplates; ++i) {
    if (kTemplateKeys[i] == key) return i;
  }
  return std::nullopt;
}

}  // namespace tavrona
