// Replacing a file's content so that a failure never leaves a partly written file behind.
#pragma once

#include <filesystem>
#include <string_view>

namespace tavrona {

// Writes data to a temporary file in the target's folder, flushes it to disk and renames it
// over the target. On any failure the temporary file is removed, the target keeps its previous
// content, and the result is false with errno set to the first failing call's error.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view data);

}  // namespace tavrona
