// The sources layer's side of project loading and composition: opening a stored slot's source
// and preparing movie frames for drawing.
#pragma once

#include "model/project_file.h"
#include "render/compose.h"

namespace tavrona {

// Opens slots with OpenMovieFile, OpenImageFile and MakeTextImage.
class StandardSourceOpener final : public SourceOpener {
 public:
  bool OpenMovie(FileEntry& entry, std::u16string_view path,
                 std::u16string_view baseFolder) override;
  bool OpenImage(FileEntry& entry, std::u16string_view path,
                 std::u16string_view baseFolder) override;
  bool MakeText(FileEntry& entry, std::u16string_view text, uint32_t textColour,
                const LOGFONTW& font) override;
};

// Movie frames for composition through PrepareMovieFrame.
class StandardMovieFrames final : public MovieFrames {
 public:
  int64_t FrameDuration(const FileEntry& entry) override;
  bool PrepareFrame(FileEntry& entry, uint32_t frameIndex) override;
};

}  // namespace tavrona
