// Making the live source of a file entry from its stored settings, and the operations on the
// whole file table. All of it runs on the user-interface thread.
//
// The producers: OpenImageFile here, MakeTextImage (sources/text_image.h), OpenMovieFile
// (sources/movie_file.h). An open that fails leaves the entry exactly as it was; a text
// empties the entry first. ResetFileEntry (model/file_entry.h) empties an entry.
#pragma once

#include <string_view>

#include "model/file_entry.h"
#include "model/project_data.h"
#include "sources/plugin_picture.h"

namespace tavrona {

// Transparent colour of a freshly opened movie or still image: none.
inline constexpr uint32_t kOpenedTransparentColour = 0xFF000000u;

// Decodes path (resolved against baseFolder, see ResolveSourcePath) as a still image and, on
// success only, replaces the entry's content: kind still image, the picture, the path exactly
// as given (UTF-16, relative form kept) and no transparent colour. Fails, leaving the entry
// untouched, when the path is empty, holds a NUL, does not fit 259 units, its resolved name
// does not fit, or neither the BMP reader nor a plug-in decodes the file.
bool OpenImageFile(FileEntry& entry, std::u16string_view path, std::u16string_view baseFolder,
                   PluginHandles plugins = ProcessPlugins());

// Resets all 1024 entries, releasing every source (project creation and destruction).
void ResetAllFileEntries(ProjectData& project);

// Marks every entry's picture as holding no movie frame, so that each movie is fetched afresh
// (the start of an export).
void ForgetCachedFrames(ProjectData& project);

}  // namespace tavrona
