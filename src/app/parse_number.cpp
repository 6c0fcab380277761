#include "app/parse_number.h"

namespace tavrona {

std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t max) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;  // value * 10 + digit > max
    value = value * 10 + digit;
  }
  return value;
}

bool ParseUint32(std::string_view text, uint32_t& out) {
  const auto value = ParseUnsigned(text, UINT32_MAX);
  if (!value) return false;
  out = static_cast<uint32_t>(*value);
  return true;
}

}  // namespace tavrona
