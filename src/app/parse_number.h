// The one reader of unsigned decimal numbers for command lines, manifests and settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tavrona {

// The value of text when it is one or more decimal digits and nothing else (no sign, no
// spaces) and at most `max`; nullopt otherwise, overflow included.
std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t max = UINT64_MAX);

// The same for a 32-bit value: false (out untouched) unless text is such a number up to
// 0xFFFFFFFF.
bool ParseUint32(std::string_view text, uint32_t& out);

}  // namespace tavrona
