#include "model/file_entry.h"

#include <algorithm>

namespace tavrona {

bool SetPath(PathBuffer& buffer, std::u16string_view text) {
  if (text.size() >= buffer.size()) return false;
  buffer.fill(0);
  std::copy(text.begin(), text.end(), buffer.begin());
  return true;
}

std::u16string_view PathView(const PathBuffer& buffer) {
  const auto end = std::find(buffer.begin(), buffer.end(), u'\0');
  return std::u16string_view(buffer.data(), static_cast<size_t>(end - buffer.begin()));
}

std::u16string_view FolderOf(std::u16string_view filePath) {
  const size_t cut = filePath.find_last_of(u"\\/");
  return cut == std::u16string_view::npos ? std::u16string_view{} : filePath.substr(0, cut);
}

void ResetFileEntry(FileEntry& entry) {
  entry.movie.reset();
  ReleaseFrameBuffer(entry.picture);
  entry.text.clear();
  entry.text.shrink_to_fit();
  entry.kind = FileEmpty;
  entry.path.fill(0);
  entry.transparentColour = 0;
  entry.font = {};
  entry.cachedFrameIndex = -1;
}

}  // namespace tavrona
