// Opening a media file with libavformat, as the movie and sound sources both do.
#pragma once

#include <filesystem>

#include "sources/ffmpeg_util.h"

namespace tavrona {

// Opens path as a plain local file: the "file:" prefix keeps a colon in the name from being
// read as a protocol, and no other protocol may be opened from within it (a playlist, say).
// Stream information is not gathered yet. nullptr when libavformat does not recognise the file.
FormatContextPtr OpenMediaFile(const std::filesystem::path& path);

// An image demuxer (a still picture, or a sequence of them): never a movie or a sound.
bool IsStillImageFormat(const AVInputFormat& format);

}  // namespace tavrona
