// The bytes a project file would hold, with every selected flag cleared: the state an edit test
// compares, since selecting is no edit and no undo step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/project_data.h"
#include "model/project_file.h"

namespace tavrona::testing {

inline std::string MaskedProjectBytes(ProjectData& p) {
  std::vector<uint32_t> flags;
  auto mask = [&](EventRecord& e) {
    flags.push_back(e.flags);
    e.flags &= ~uint32_t{EventSelected};
  };
  for (TrackData& t : p.tracks) {
    for (uint32_t i = 0; i < t.count; ++i) mask(t.events[i]);
  }
  for (EventRecord& e : p.templates) mask(e);
  std::string bytes = SerializeProject(p);
  size_t next = 0;
  for (TrackData& t : p.tracks) {
    for (uint32_t i = 0; i < t.count; ++i) t.events[i].flags = flags[next++];
  }
  for (EventRecord& e : p.templates) e.flags = flags[next++];
  return bytes;
}

}  // namespace tavrona::testing
