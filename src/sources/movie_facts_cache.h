// What opening a movie file taught, kept per file for the process: a project that refers to
// one file from many slots opens (and decodes from) it once. A file is known by its resolved
// path together with its device, inode, size and modification time, so a file replaced or
// rewritten since is opened afresh.
//
// Threads: every function may be called from any thread.
#pragma once

#include <filesystem>
#include <optional>

#include "model/sound_samples.h"
#include "sources/movie_source.h"

namespace tavrona {

struct KnownMovie {
  MovieFacts facts;
  std::optional<SoundFormat> sound;  // the file's sound as it opened (OpenFfmpegSound); none: silent
};

// The facts kept for the file at path as it is now; nullopt when none are kept or the file
// cannot be examined.
std::optional<KnownMovie> LookUpKnownMovie(const std::filesystem::path& path);

// Keeps what was learned of the file at path as it is now. The cache holds a bounded number of
// files; when full, it starts afresh.
void RememberKnownMovie(const std::filesystem::path& path, const KnownMovie& known);

// Forgets every file (for tests).
void ForgetKnownMovies();

}  // namespace tavrona
