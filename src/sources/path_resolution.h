// Resolving a file entry's stored path to a name the file system can open.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "model/file_entry.h"  // FolderOf

namespace tavrona {

// A path that begins with a backslash is relative: the full name is the plain concatenation of
// base folder and path (no separator added), which must fit 259 UTF-16 units. Any other path is
// used as it stands. Backslashes and forward slashes both separate folders; the result is in
// the file system's encoding (UTF-8). Returns nullopt when the full name does not fit.
std::optional<std::filesystem::path> ResolveSourcePath(std::u16string_view path,
                                                       std::u16string_view baseFolder);

}  // namespace tavrona
