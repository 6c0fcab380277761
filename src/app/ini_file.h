// A Windows-style INI file: "[Section]" headers and "Key=value" lines. Section and key names
// match without regard to ASCII case and may contain spaces ("Recent File List"). Lines the
// program does not know (other sections, keys, comments) are kept as they are and written back.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tavrona {

class IniFile {
 public:
  // Reads the file; a missing or unreadable file leaves an empty document.
  void Load(const std::filesystem::path& path);
  // Writes the document through a temporary file renamed over the target, so a failed write
  // leaves the previous file intact. Returns false on failure.
  bool Save(const std::filesystem::path& path) const;

  std::optional<std::string> GetString(std::string_view section, std::string_view key) const;
  void SetString(std::string_view section, std::string_view key, std::string_view value);
  // Deletes the key's line, if present; the section stays.
  void RemoveKey(std::string_view section, std::string_view key);

  // Like the profile functions: a missing key gives the default; a present value is read as a
  // signed decimal integer (0 when it does not start with one), wrapped to 32 bits (0 beyond 64).
  int32_t GetInt(std::string_view section, std::string_view key, int32_t defaultValue) const;
  void SetInt(std::string_view section, std::string_view key, int32_t value);

 private:
  struct Line {
    std::string text;  // the whole line as read or written, without its line break
  };
  std::vector<Line> lines_;
  bool crlf_ = true;  // new files use CR LF like the platform's profile functions

  // Index of the section's header line, if present.
  std::optional<size_t> FindSection(std::string_view section) const;
  // Index of the key's line within the section starting at header, if present.
  std::optional<size_t> FindKey(size_t header, std::string_view key) const;
};

}  // namespace tavrona
