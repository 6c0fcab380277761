#include "sources/path_resolution.h"

#include <string>

#include "model/file_entry.h"
#include "model/text_encoding.h"

namespace tavrona {

std::optional<std::filesystem::path> ResolveSourcePath(std::u16string_view path,
                                                       std::u16string_view baseFolder) {
  std::u16string full;
  if (!path.empty() && path.front() == u'\\') {
    if (baseFolder.size() + path.size() >= static_cast<size_t>(kMaxPath)) return std::nullopt;
    full.assign(baseFolder);
    full.append(path);
  } else {
    full.assign(path);
  }
  for (char16_t& c : full) {
    if (c == u'\\') c = u'/';
  }
  return std::filesystem::path(ToUtf8(full));
}

}  // namespace tavrona
