#include "ui/recovery/project_mirror.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tavrona {

void ProjectMirror::Begin() {
  track_ = -1;
  event_ = 0;
}

void ProjectMirror::CopyFixedParts(const ProjectData& live) {
  ProjectData& m = *mirror_;
  m.basePath = live.basePath;
  m.projectFolder = live.projectFolder;
  m.outputWidth = live.outputWidth;
  m.outputHeight = live.outputHeight;
  m.frameRate = live.frameRate;
  m.frameDuration100ns = live.frameDuration100ns;
  m.movieLength = live.movieLength;
  m.backgroundColour = live.backgroundColour;
  m.defaultDrawingMethod = live.defaultDrawingMethod;
  m.templates = live.templates;
  m.trackSound = live.trackSound;
  // The stored settings only: the decoder and the picture belong to the live project.
  for (size_t i = 0; i < live.files.size(); ++i) {
    const FileEntry& from = live.files[i];
    FileEntry& to = m.files[i];
    to.kind = from.kind;
    to.text = from.text;  // reuses the mirror string's storage when it is large enough
    to.referenceFrameDuration100ns = from.referenceFrameDuration100ns;
    to.path = from.path;
    to.transparentColour = from.transparentColour;
    to.font = from.font;
  }
}

ProjectMirror::Step ProjectMirror::CopySome(const ProjectData& live,
                                            std::chrono::steady_clock::time_point deadline) {
  if (!mirror_) {
    mirror_ = AllocateProjectData();
    if (!mirror_) return Step::NoMemory;
    capacity_.fill(0);
  }
  if (track_ < 0) {
    CopyFixedParts(live);
    track_ = 0;
    event_ = 0;
  }
  for (; track_ < kTrackCount; ++track_, event_ = 0) {
    const TrackData& from = live.tracks[track_];
    TrackData& to = mirror_->tracks[track_];
    if (from.count == 0 || !from.events) {
      to.count = 0;
      continue;
    }
    const uint32_t records = from.count + 1;  // with the end marker
    if (event_ == 0) {
      if (capacity_[track_] < records) {
        // Room to grow by an eighth, so that inserting events does not mean a new array each
        // time.
        const uint64_t want = std::min<uint64_t>(uint64_t{records} + records / 8, UINT32_MAX);
        std::unique_ptr<EventRecord[]> array(new (std::nothrow) EventRecord[want]);
        if (!array) return Step::NoMemory;
        to.events = std::move(array);
        capacity_[track_] = static_cast<uint32_t>(want);
      }
      to.count = from.count;
    }
    while (event_ < records) {
      const uint32_t n = std::min(records - event_, kEventsPerLook);
      std::memcpy(&to.events[event_], &from.events[event_], sizeof(EventRecord) * n);
      event_ += n;
      if (std::chrono::steady_clock::now() >= deadline) {
        if (event_ == records) {
          ++track_;
          event_ = 0;
        }
        return track_ >= kTrackCount ? Step::Done : Step::More;
      }
    }
  }
  return Step::Done;
}

}  // namespace tavrona
