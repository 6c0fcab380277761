#include "model/file_entry.h"

#include <algorithm>
#include <cstring>

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

bool StoredFileSettings::operator==(const StoredFileSettings& other) const {
  return kind == other.kind && text == other.text &&
         referenceFrameDuration100ns == other.referenceFrameDuration100ns &&
         path == other.path && transparentColour == other.transparentColour &&
         std::memcmp(&font, &other.font, sizeof font) == 0;
}

StoredFileSettings StoredSettingsOf(const FileEntry& entry) {
  StoredFileSettings s;
  s.kind = entry.kind;
  s.text = entry.text;
  s.referenceFrameDuration100ns = entry.referenceFrameDuration100ns;
  s.path = entry.path;
  s.transparentColour = entry.transparentColour;
  s.font = entry.font;
  return s;
}

void ResetFileEntry(FileEntry& entry) {
  entry.movie.reset();
  entry.sound.reset();
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
