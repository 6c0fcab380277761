// The desktop program's profile: tavrona.INI (where app/settings_location.h puts it), read once
// at start-up and written back at shut-down. Panes read their keys when created and write them
// when destroyed; the recent-file list and the bars' visibility live here too. User-interface
// thread only.
#pragma once

#include <QString>
#include <filesystem>

#include "app/ini_file.h"

namespace tavrona {

class Profile {
 public:
  // Reads the file (a missing file gives an empty profile).
  void Load(const std::filesystem::path& path);
  // Writes the profile back, keeping every section and key it holds. False when that fails.
  bool Save() const;
  const std::filesystem::path& Path() const { return path_; }

  int32_t GetInt(const char* section, const char* key, int32_t defaultValue) const;
  void SetInt(const char* section, const char* key, int32_t value);
  QString GetString(const char* section, const char* key) const;  // empty when missing
  void SetString(const char* section, const char* key, const QString& value);
  void RemoveKey(const char* section, const char* key);

  IniFile& Ini() { return ini_; }

 private:
  std::filesystem::path path_;
  IniFile ini_;
};

// The one profile of the program.
Profile& AppProfile();

}  // namespace tavrona
