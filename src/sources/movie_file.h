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
// path as passed, transparent colour 0xFF000000, no cached frame, and the movie's sound
// (OpenFfmpegSound, sources/sound_source.h) when it has an audio stream that decodes.
// A file with no video stream but with sound (WAV, FLAC, MP3, Ogg, AAC/M4A and the like) opens
// as a sound-only movie entry: kind 1 with the sound and no movie source and no picture (see
// IsSoundOnly). A still image, or a file with neither picture nor sound, fails. On failure the
// entry is left exactly as it was.
// The movie source is pooled in ProcessDecoderPool(): its decoder is closed once the movie's
// facts are known and opened at the first fetch. A file another slot opened before (and that
// has not changed since, sources/movie_facts_cache.h) is not opened at all: its sound, if any,
// is a LateSound, opened at its first read. The picture holds
// no memory until a frame is fetched into it, and gives its pages back when the pool closes
// the source.
bool OpenMovieFile(FileEntry& entry, std::u16string_view path, std::u16string_view baseFolder);

// Brings the picture of a movie entry to frame frameIndex, taken as unsigned: an index at or past
// the frame count becomes 0 when it is negative as a signed value, else the last frame. The frame
// already held is not fetched again, unless the pool has given the picture's pages back since
// (then it holds zeros and is fetched anew). On a failed fetch the cached frame index becomes -1
// and the picture keeps what it last held.
bool PrepareMovieFrame(FileEntry& entry, uint32_t frameIndex);

// A movie entry's frame duration in 100-ns units (the reference duration when one was given at
// opening, else the movie's own) and its frame count; 0 for an entry without a movie or sound.
// A sound-only entry counts in its reference duration, or kSoundOnlyFrameDuration100ns when it
// has none, and has the frames that cover its whole sound (the last one may be partly silent).
int64_t MovieFrameDuration100ns(const FileEntry& entry);
uint32_t MovieFrameCount(const FileEntry& entry);

// The frame duration of a sound-only entry without a reference frame duration: 1/30 s.
inline constexpr int64_t kSoundOnlyFrameDuration100ns = 333333;

// A movie entry that holds sound and no movie source: a sound-only file. It draws nothing.
bool IsSoundOnly(const FileEntry& entry);

}  // namespace tavrona
