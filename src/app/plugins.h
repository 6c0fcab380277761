// The image plug-ins: every "*.spi" shared library in the executable's folder, loaded once at
// start-up in name order and released at shut-down. A file that fails to load keeps an empty
// handle in its place; whether a library is a usable plug-in is found out when it is used.
#pragma once

#include <filesystem>
#include <vector>

namespace tavrona {

class PluginList {
 public:
  PluginList() = default;
  ~PluginList() { Release(); }
  PluginList(const PluginList&) = delete;
  PluginList& operator=(const PluginList&) = delete;

  // Releases what the list holds, then loads the "*.spi" files of folder.
  void Discover(const std::filesystem::path& folder);
  // Unloads every library; the list is empty afterwards.
  void Release();

  // The loaded handles (dlopen), in listing order; nullptr where loading failed.
  const std::vector<void*>& Handles() const { return handles_; }
  size_t Count() const { return handles_.size(); }

 private:
  std::vector<void*> handles_;
};

}  // namespace tavrona
