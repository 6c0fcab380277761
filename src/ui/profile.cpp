#include "ui/profile.h"

namespace tavrona {

void Profile::Load(const std::filesystem::path& path) {
  path_ = path;
  ini_ = IniFile();
  ini_.Load(path);
}

bool Profile::Save() const {
  return !path_.empty() && ini_.Save(path_);
}

int32_t Profile::GetInt(const char* section, const char* key, int32_t defaultValue) const {
  return ini_.GetInt(section, key, defaultValue);
}

void Profile::SetInt(const char* section, const char* key, int32_t value) {
  ini_.SetInt(section, key, value);
}

QString Profile::GetString(const char* section, const char* key) const {
  const auto value = ini_.GetString(section, key);
  return value ? QString::fromStdString(*value) : QString();
}

void Profile::SetString(const char* section, const char* key, const QString& value) {
  ini_.SetString(section, key, value.toStdString());
}

void Profile::RemoveKey(const char* section, const char* key) {
  ini_.RemoveKey(section, key);
}

Profile& AppProfile() {
  static Profile profile;
  return profile;
}

}  // namespace tavrona
