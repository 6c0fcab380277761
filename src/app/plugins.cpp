#include "app/plugins.h"

#include <dlfcn.h>

#include <algorithm>
#include <system_error>

namespace tavrona {

void PluginList::Discover(const std::filesystem::path& folder) {
  Release();
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::filesystem::path& p = it->path();
    if (p.extension() == ".spi") files.push_back(p);
  }
  // The directory order of Linux file systems is arbitrary; name order keeps the plug-ins'
  // precedence the same from one run to the next.
  std::sort(files.begin(), files.end());
  handles_.reserve(files.size());
  for (const auto& file : files) {
    handles_.push_back(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL));
  }
}

void PluginList::Release() {
  for (void* handle : handles_) {
    if (handle != nullptr) dlclose(handle);
  }
  handles_.clear();
}

}  // namespace tavrona
