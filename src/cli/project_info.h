// The readable summary that `tavrona-cli info` prints.
#pragma once

#include <string>

namespace tavrona {

struct ProjectData;

// Settings, the files in use (ID, kind, path or text; below each movie slot its sound, in the
// command's language, when any slot of the project has sound), the tracks with events (their
// counts) and the templates in use, one item a line, UTF-8.
std::string FormatProjectInfo(const ProjectData& project);

}  // namespace tavrona
