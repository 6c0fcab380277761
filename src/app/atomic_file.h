// Replacing a file's content so that a failure never leaves a partly written file behind.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

namespace tavrona {

// Writes data to a temporary file in the target's folder, flushes it to disk and renames it
// over the target. On any failure the temporary file is removed, the target keeps its previous
// content, and the result is false with errno set to the first failing call's error.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view data);

// The call that writes bytes to a descriptor, ::write's contract (a test passes one that fails
// as a full disk would).
using WriteCall = std::function<ssize_t(int fd, const void* data, size_t size)>;

// The same for a file made of pieces written one after another (no copy joins them first),
// through write (::write when empty).
bool WriteFileAtomically(const std::filesystem::path& target,
                         std::span<const std::string_view> pieces, const WriteCall& write = {});

}  // namespace tavrona
