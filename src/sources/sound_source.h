// The sound of a media file: its first audio stream decoded with FFmpeg and resampled to the
// mix format (48 kHz, stereo, interleaved float; model/sound_samples.h).
//
// Time 0 is the time of the file's first picture, the frame the movie decoder numbers 0 (the
// first frame the video decoder puts out, sources/movie_decoder.h), so that sound and picture
// stay together; a file without a picture counts from the first sample its audio decoder puts
// out. Sound before time 0 is dropped; sound that starts later is preceded by silence. The
// decoder's own trimming (encoder delay and padding of MP3 and AAC, edit lists) is applied.
//
// Reads go through a cache of blocks of kSoundBlockSamples samples, at most kSoundCacheBlocks
// of them per source (least recently used first out). A read just ahead of the decoder decodes
// forward; any other read seeks. Placement does not depend on the order of reads: a lossless
// source at 48 kHz reads the same samples whatever order it is read in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "model/sound_samples.h"
#include "sources/sound_block_cache.h"

namespace tavrona {

// Opens the first audio stream of path. nullptr, with the reason in plain English words in
// *why (when why is not null), when the file cannot be read, is a still image, holds no audio
// stream, has no decoder for it, or no part of it decodes. Opening decodes the first picture
// (when there is one), the first sound and the last second or so of the sound, to learn where
// time 0 is and how long the sound lasts. The returned source is thread-safe (SoundSamples).
std::unique_ptr<SoundSamples> OpenFfmpegSound(const std::filesystem::path& path,
                                              std::string* why);

// What a media file holds, as far as choosing how to open it goes.
struct MediaStreams {
  bool readable = false;    // FFmpeg recognised the file and found its streams
  bool stillImage = false;  // an image format: neither a movie nor a sound
  bool picture = false;     // a video stream that is not an attached cover picture
  bool sound = false;       // an audio stream
};
MediaStreams ProbeMediaStreams(const std::filesystem::path& path);

// The bytes of decoded sound a source made by OpenFfmpegSound holds in its cache now (at most
// kSoundCacheBlocks blocks); 0 for any other kind of SoundSamples. For tests and diagnostics.
size_t CachedSoundBytes(const SoundSamples& sound);

}  // namespace tavrona
