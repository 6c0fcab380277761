// The movie side of the source cache: opening a movie into a file entry and bringing the
// entry's picture to a given frame. User-interface thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/file_entry.h"

namespace tavrona {

// Resolves path against baseFolder (a path beginning with a backslash is relative), opens the
// file as a movie with the entry's reference frame duration and, only when that succeeded, makes
// the entry a movie entry: kind 1, the movie source, a picture of the movie's frame size, the
// path as passed, transparent colour 0xFF000000, no cached frame. On failure the entry is left
// exactly as it was.
bool OpenMovieFile(FileEntry& entry, std::u16string_view path, std::u16string_view baseFolder);

// Brings the picture of a movie entry to frame frameIndex, taken as unsigned: an index at or past
// the frame count becomes 0 when it is negative as a signed value, else the last frame. The frame
// already held is not fetched again. On a failed fetch the cached frame index becomes -1 and the
// picture keeps what it last held.
bool PrepareMovieFrame(FileEntry& entry, uint32_t frameIndex);

// A movie entry's frame duration in 100-ns units (the reference duration when one was given at
// opening, else the movie's own) and its frame count; 0 for an entry without a movie.
int64_t MovieFrameDuration100ns(const FileEntry& entry);
uint32_t MovieFrameCount(const FileEntry& entry);

}  // namespace tavrona
