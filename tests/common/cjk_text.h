// Finds the characters an English interface, or the command line's English output, must not
// show: those of the CJK blocks U+3000-U+30FF, U+3400-U+9FFF and U+FF00-U+FFEF.
#pragma once

#include <QList>
#include <QString>
#include <string>

namespace tavrona::testing {

inline bool IsCjk(char32_t u) {
  return (u >= 0x3000 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) ||
         (u >= 0xFF00 && u <= 0xFFEF);
}

inline bool HasCjk(const QString& text) {
  for (const char32_t u : text.toUcs4()) {
    if (IsCjk(u)) return true;
  }
  return false;
}

// The same for UTF-8 text.
inline bool HasCjk(const std::string& utf8) {
  return HasCjk(QString::fromStdString(utf8));
}

}  // namespace tavrona::testing
