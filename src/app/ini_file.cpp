#include "app/ini_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/atomic_file.h"
#include "app/parse_number.h"

namespace tavrona {
namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// "[Name]" -> "Name"; nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// "Key=value" -> key; nullopt for comments and lines without '='.
std::optional<std::string_view> KeyName(std::string_view line) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, eq));
}

}  // namespace

void IniFile::Load(const std::filesystem::path& path) {
  lines_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  std::string line;
  bool sawLf = false, sawCrLf = false;
  while (std::getline(in, line)) {
    sawLf = true;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      sawCrLf = true;
    }
    lines_.push_back({line});
  }
  crlf_ = sawCrLf || !sawLf;
}

bool IniFile::Save(const std::filesystem::path& path) const {
  std::string data;
  for (const Line& line : lines_) {
    data += line.text;
    data += crlf_ ? "\r\n" : "\n";
  }
  return WriteFileAtomically(path, data);
}

std::optional<size_t> IniFile::FindSection(std::string_view section) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i].text);
    if (name && EqualsNoCase(*name, section)) return i;
  }
  return std::nullopt;
}

std::optional<size_t> IniFile::FindKey(size_t header, std::string_view key) const {
  for (size_t i = header + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i].text)) break;
    const auto name = KeyName(lines_[i].text);
    if (name && EqualsNoCase(*name, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> IniFile::GetString(std::string_view section,
                                              std::string_view key) const {
  const auto header = FindSection(section);
  if (!header) return std::nullopt;
  const auto line = FindKey(*header, key);
  if (!line) return std::nullopt;
  const std::string& text = lines_[*line].text;
  return std::string(Trim(std::string_view(text).substr(text.find('=') + 1)));
}

void IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
  std::string text = std::string(key) + "=" + std::string(value);
  auto header = FindSection(section);
  if (!header) {
    lines_.push_back({"[" + std::string(section) + "]"});
    lines_.push_back({std::move(text)});
    return;
  }
  if (const auto line = FindKey(*header, key)) {
    // Keep the key's spelling as the file has it.
    const std::string& old = lines_[*line].text;
    lines_[*line].text = old.substr(0, old.find('=') + 1) + std::string(value);
    return;
  }
  // Append after the section's last key line (before trailing blank lines).
  size_t insert = *header + 1;
  for (size_t i = *header + 1; i < lines_.size() && !SectionName(lines_[i].text); ++i) {
    if (!Trim(lines_[i].text).empty()) insert = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<ptrdiff_t>(insert), {std::move(text)});
}

void IniFile::RemoveKey(std::string_view section, std::string_view key) {
  const auto header = FindSection(section);
  if (!header) return;
  if (const auto line = FindKey(*header, key)) {
    lines_.erase(lines_.begin() + static_cast<ptrdiff_t>(*line));
  }
}

int32_t IniFile::GetInt(std::string_view section, std::string_view key,
                        int32_t defaultValue) const {
  const auto value = GetString(section, key);
  if (!value) return defaultValue;
  const std::string& s = *value;
  size_t p = 0;
  bool negative = false;
  if (p < s.size() && (s[p] == '-' || s[p] == '+')) negative = s[p++] == '-';
  size_t digits = p;
  while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') ++digits;
  // Wraps to 32 bits as the profile functions do; beyond 64 bits it reads as 0.
  const auto n = static_cast<uint32_t>(ParseUnsigned(std::string_view(s).substr(p, digits - p))
                                           .value_or(0));
  return static_cast<int32_t>(negative ? 0u - n : n);
}

void IniFile::SetInt(std::string_view section, std::string_view key, int32_t value) {
  SetString(section, key, std::to_string(value));
}

}  // namespace tavrona
