// ProjectMirror: a copy of what a save writes of a project (what SerializeProject reads: the
// header, the templates, the stored settings of each file slot, the tracks), taken a slice at
// a time so that copying a large project never holds the user-interface thread long. The
// mirror's block and its event arrays are kept between copies and reused.
//
// Thread contract: CopySome runs on the thread that owns the live project (the user-interface
// thread) and must not meet a write of it; between two calls the live project may change, which
// the caller detects (CKeldaDoc::ChangeCount) and answers with Begin(). Copy() may be read by
// another thread once CopySome has returned Done, until the next Begin(); the hand-off is the
// caller's (Autosaver).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>

#include "model/project_data.h"

namespace tavrona {

class ProjectMirror {
 public:
  enum class Step { More, Done, NoMemory };

  // Starts the next copy from the beginning.
  void Begin();
  // Copies on until the whole project is copied (Done) or the clock has passed deadline (More:
  // call again). NoMemory when the mirror or an event array cannot be allocated; the next
  // Begin() tries again.
  Step CopySome(const ProjectData& live, std::chrono::steady_clock::time_point deadline);
  // The copy; complete after CopySome returned Done. Its movie decoders and pictures are empty.
  const ProjectData& Copy() const { return *mirror_; }

  // Events copied between two looks at the clock: 2.4 MB, well under a millisecond.
  static constexpr uint32_t kEventsPerLook = 16384;

 private:
  void CopyFixedParts(const ProjectData& live);

  std::unique_ptr<ProjectData> mirror_;
  // Records each mirror track's array holds (its allocation; the track's count says how many are
  // in use).
  std::array<uint32_t, kTrackCount> capacity_{};
  int track_ = -1;      // the track being copied; -1: the fixed parts come first
  uint32_t event_ = 0;  // the next record of that track
};

}  // namespace tavrona
