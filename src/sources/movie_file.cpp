#include "sources/movie_file.h"

#include <algorithm>
#include <limits>

#include "sources/decoder_pool.h"
#include "sources/late_sound.h"
#include "sources/movie_facts_cache.h"
#include "sources/movie_source.h"
#include "sources/picture_pages.h"
#include "sources/path_resolution.h"
#include "sources/sound_source.h"

namespace tavrona {
namespace {

// A file without a video stream that holds sound, as a sound-only movie entry.
bool OpenSoundOnlyFile(FileEntry& entry, const PathBuffer& storedPath,
                       const std::filesystem::path& fullName) {
  const MediaStreams streams = ProbeMediaStreams(fullName);
  if (!streams.readable || streams.stillImage || streams.picture || !streams.sound) return false;
  std::unique_ptr<SoundSamples> sound = OpenFfmpegSound(fullName, nullptr);
  if (!sound) return false;
  ResetFileEntry(entry);
  entry.kind = FileMovie;
  entry.sound = std::move(sound);
  entry.path = storedPath;
  entry.transparentColour = 0xFF000000u;
  return true;
}

}  // namespace

bool OpenMovieFile(FileEntry& entry, std::u16string_view path, std::u16string_view baseFolder) {
  PathBuffer storedPath{};
  if (!SetPath(storedPath, path)) return false;
  const auto fullName = ResolveSourcePath(path, baseFolder);
  if (!fullName) return false;
  const std::filesystem::path file = *fullName;
  MovieBackEndOpener opener = [file] { return OpenFfmpegMovie(file); };
  LatePtr<MovieSource> movie;
  std::unique_ptr<SoundSamples> sound;
  if (const std::optional<KnownMovie> known = LookUpKnownMovie(file)) {
    // Another slot opened this very file: nothing to open or decode until a frame is wanted.
    movie = MakeLatePtr(new MovieSource(nullptr, opener, &ProcessDecoderPool()),
                        &DestroyMovieSource);
    if (!movie->BuildFromFacts(known->facts, entry.referenceFrameDuration100ns)) return false;
    if (known->sound) sound = std::make_unique<LateSound>(file, *known->sound);
  } else {
    std::unique_ptr<MovieBackEnd> backEnd = opener();
    if (!backEnd) return OpenSoundOnlyFile(entry, storedPath, file);
    movie = MakeLatePtr(new MovieSource(std::move(backEnd), opener, &ProcessDecoderPool()),
                        &DestroyMovieSource);
    if (!movie->Build(entry.referenceFrameDuration100ns)) return false;
    sound = OpenFfmpegSound(file, nullptr);  // none: silent
    KnownMovie learned{movie->Facts(), std::nullopt};
    if (sound) learned.sound = sound->Format();
    RememberKnownMovie(file, learned);
  }
  FrameBuffer picture;
  // The picture holds memory only once a frame is fetched into it.
  if (!CreateUntouchedPicture(picture, movie->FrameWidth(), movie->FrameHeight())) return false;

  ResetFileEntry(entry);
  entry.kind = FileMovie;
  entry.movie = std::move(movie);
  entry.picture = std::move(picture);
  entry.sound = std::move(sound);
  entry.path = storedPath;
  entry.transparentColour = 0xFF000000u;
  return true;
}

bool PrepareMovieFrame(FileEntry& entry, uint32_t frameIndex) {
  if (!entry.movie || entry.picture.Empty()) return false;
  const uint32_t count = entry.movie->FrameCount();
  // With no frames the clamp below would give index 0xFFFFFFFF, which reads as "no frame cached"
  // (-1) and would report success for a picture that holds nothing.
  if (count == 0) {
    entry.cachedFrameIndex = -1;
    return false;
  }
  // The decoder pool gave the picture's pages back: the frame it held is gone.
  if (entry.movie->TakePictureDropped()) entry.cachedFrameIndex = -1;
  uint32_t n = frameIndex;
  if (n >= count) n = static_cast<int32_t>(n) < 0 ? 0 : count - 1;
  if (static_cast<int32_t>(n) == entry.cachedFrameIndex) return true;
  entry.cachedFrameIndex = static_cast<int32_t>(n);
  if (FetchMoviePicture(*entry.movie, n, entry.picture)) return true;
  entry.cachedFrameIndex = -1;
  return false;
}

bool IsSoundOnly(const FileEntry& entry) {
  return entry.kind == FileMovie && !entry.movie && entry.sound != nullptr;
}

int64_t MovieFrameDuration100ns(const FileEntry& entry) {
  if (entry.movie) return entry.movie->FrameDuration100ns();
  if (!IsSoundOnly(entry)) return 0;
  return entry.referenceFrameDuration100ns > 0 ? entry.referenceFrameDuration100ns
                                               : kSoundOnlyFrameDuration100ns;
}

uint32_t MovieFrameCount(const FileEntry& entry) {
  if (entry.movie) return entry.movie->FrameCount();
  if (!IsSoundOnly(entry)) return 0;
  // ceil(length / 48000 s / duration), exactly: the frames that cover the whole sound.
  const __int128 d = MovieFrameDuration100ns(entry);
  const __int128 n = static_cast<__int128>(entry.sound->Format().lengthSamples) * 10'000'000;
  const __int128 frames = (n + d * kMixRate - 1) / (d * kMixRate);
  return static_cast<uint32_t>(
      std::min<__int128>(frames, std::numeric_limits<uint32_t>::max()));
}

}  // namespace tavrona
