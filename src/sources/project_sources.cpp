#include "sources/project_sources.h"

#include "sources/movie_file.h"
#include "sources/source_cache.h"
#include "sources/text_image.h"

namespace tavrona {

bool StandardSourceOpener::OpenMovie(FileEntry& entry, std::u16string_view path,
                                     std::u16string_view baseFolder) {
  return OpenMovieFile(entry, path, baseFolder);
}

bool StandardSourceOpener::OpenImage(FileEntry& entry, std::u16string_view path,
                                     std::u16string_view baseFolder) {
  return OpenImageFile(entry, path, baseFolder);
}

bool StandardSourceOpener::MakeText(FileEntry& entry, std::u16string_view text,
                                    uint32_t textColour, const LOGFONTW& font) {
  return MakeTextImage(entry, text, textColour, font);
}

int64_t StandardMovieFrames::FrameDuration(const FileEntry& entry) {
  return MovieFrameDuration100ns(entry);
}

bool StandardMovieFrames::PrepareFrame(FileEntry& entry, uint32_t frameIndex) {
  return PrepareMovieFrame(entry, frameIndex);
}

}  // namespace tavrona
