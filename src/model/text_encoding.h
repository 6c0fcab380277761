// Conversions between the model's UTF-16 text and UTF-8 (file names, terminal output).
#pragma once

#include <string>
#include <string_view>

namespace tavrona {

// Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
// Invalid byte sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

}  // namespace tavrona
