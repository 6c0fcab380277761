// The version of a project an export is made from, as one digest: what a part records
// (PartComment) and what a farm compares its parts against.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/project_data.h"

namespace tavrona {

// SHA-256, as 64 lowercase hexadecimal digits, over the bytes of the project file and the
// identity of every movie and picture the loaded project's file table refers to: for each
// place the loader looks for it (the base path, then the project's folder), the full name
// (absolute, without "." and ".." steps), its size and modification time, or that nothing is
// there. A change to the project file, or a source replaced, touched or moved where the loader
// would find it, changes the digest; loading the same files again, from any working folder
// and by any spelling of the project's path, gives the same digest. The file's contents are
// not read beyond the project file, so the digest costs one stat per place.
//
// Nullopt with *why filled (the system's words) when the project file cannot be read.
std::optional<std::string> ProjectDigest(const std::filesystem::path& projectFile,
                                         const ProjectData& project, std::string* why);

}  // namespace tavrona
