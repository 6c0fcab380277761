#include "sources/source_cache.h"

#include <utility>

#include "sources/path_resolution.h"
#include "sources/still_image.h"

namespace tavrona {

bool OpenImageFile(FileEntry& entry, std::u16string_view path, std::u16string_view baseFolder,
                   PluginHandles plugins) {
  PathBuffer stored{};
  if (path.empty() || path.find(u'\0') != std::u16string_view::npos ||
      baseFolder.find(u'\0') != std::u16string_view::npos || !SetPath(stored, path)) {
    return false;
  }
  const std::optional<std::filesystem::path> fullName = ResolveSourcePath(path, baseFolder);
  if (!fullName) return false;
  FrameBuffer picture;
  if (!LoadStillImage(*fullName, picture, plugins)) return false;

  ResetFileEntry(entry);
  entry.kind = FileStillImage;
  entry.picture = std::move(picture);
  entry.path = stored;
  entry.transparentColour = kOpenedTransparentColour;
  return true;
}

void ResetAllFileEntries(ProjectData& project) {
  for (FileEntry& entry : project.files) ResetFileEntry(entry);
}

void ForgetCachedFrames(ProjectData& project) {
  for (FileEntry& entry : project.files) entry.cachedFrameIndex = -1;
}

}  // namespace tavrona
