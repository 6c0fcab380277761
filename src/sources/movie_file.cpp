#include "sources/movie_file.h"

#include "sources/movie_source.h"
#include "sources/path_resolution.h"

namespace tavrona {

bool OpenMovieFile(FileEntry& entry, std::u16string_view path, std::u16string_view baseFolder) {
  PathBuffer storedPath{};
  if (!SetPath(storedPath, path)) return false;
  const auto fullName = ResolveSourcePath(path, baseFolder);
  if (!fullName) return false;
  std::unique_ptr<MovieBackEnd> backEnd = OpenFfmpegMovie(*fullName);
  if (!backEnd) return false;
  LatePtr<MovieSource> movie =
      MakeLatePtr(new MovieSource(std::move(backEnd)), &DestroyMovieSource);
  if (!movie->Build(entry.referenceFrameDuration100ns)) return false;
  FrameBuffer picture;
  if (!CreateFrameBuffer(picture, movie->FrameWidth(), movie->FrameHeight(), 32)) return false;

  ResetFileEntry(entry);
  entry.kind = FileMovie;
  entry.movie = std::move(movie);
  entry.picture = std::move(picture);
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
  uint32_t n = frameIndex;
  if (n >= count) n = static_cast<int32_t>(n) < 0 ? 0 : count - 1;
  if (static_cast<int32_t>(n) == entry.cachedFrameIndex) return true;
  entry.cachedFrameIndex = static_cast<int32_t>(n);
  if (FetchMovieFrame(*entry.movie, n, entry.picture.pixels, entry.picture.byteSize)) return true;
  entry.cachedFrameIndex = -1;
  return false;
}

int64_t MovieFrameDuration100ns(const FileEntry& entry) {
  return entry.movie ? entry.movie->FrameDuration100ns() : 0;
}

uint32_t MovieFrameCount(const FileEntry& entry) {
  return entry.movie ? entry.movie->FrameCount() : 0;
}

}  // namespace tavrona
