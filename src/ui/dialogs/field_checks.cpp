#include "ui/dialogs/field_checks.h"

#include <QLineEdit>
#include <cstdio>
#include <cstring>

#include "model/time_text.h"
#include "ui/prompts.h"

namespace tavrona {
namespace {

std::u16string Ascii(const char* text) {
  return std::u16string(text, text + std::strlen(text));
}

// A bound of a real range as the framework prints it ("0.001", "1000").
std::u16string RealText(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return Ascii(buffer);
}

std::u16string Substitute(std::u16string_view pattern, const std::u16string& first,
                          const std::u16string& second = {}) {
  std::u16string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%' && i + 1 < pattern.size() &&
        (pattern[i + 1] == u'1' || pattern[i + 1] == u'2')) {
      out += pattern[i + 1] == u'1' ? first : second;
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
  return out;
}

}  // namespace

std::u16string DecimalText(long long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld", value);
  return Ascii(buffer);
}

std::u16string IntegerRangeMessage(long long min, long long max) {
  return Substitute(u"%1 から %2 までの整数を入力してください。", DecimalText(min),
                    DecimalText(max));
}

std::u16string RealRangeMessage(double min, double max) {
  return Substitute(u"%1 から %2 までの数字を入力してください。", RealText(min), RealText(max));
}

std::u16string TextTooLongMessage(int maxCharacters) {
  return Substitute(u"%1 文字以内で入力してください。", DecimalText(maxCharacters));
}

std::optional<uint32_t> ScanUnsignedText(std::u16string_view text) {
  const uint32_t value = ScanUnsignedField(text);
  if (value == kUnchangedUnsigned && ScanSignedField(text) == kUnchangedSigned) {
    return std::nullopt;
  }
  return value;
}

std::optional<int32_t> ScanSignedText(std::u16string_view text) {
  const int32_t value = ScanSignedField(text);
  if (value == kUnchangedSigned && ScanUnsignedField(text) == kUnchangedUnsigned) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> ScanRealText(std::u16string_view text) {
  const double value = ScanDoubleField(text);
  if (value == kUnchangedDouble && ScanFloatField(text) == kUnchangedFloat) return std::nullopt;
  return value;
}

std::optional<std::u16string> CheckUnsignedField(std::u16string_view text, uint32_t min,
                                                 uint32_t max) {
  const auto value = ScanUnsignedText(text);
  if (!value) return std::u16string(kMsgNotUnsigned);
  if (*value < min || *value > max) return IntegerRangeMessage(min, max);
  return std::nullopt;
}

std::optional<std::u16string> CheckSignedField(std::u16string_view text, int32_t min, int32_t max) {
  const auto value = ScanSignedText(text);
  if (!value) return std::u16string(kMsgNotSigned);
  if (*value < min || *value > max) return IntegerRangeMessage(min, max);
  return std::nullopt;
}

std::optional<std::u16string> CheckRealField(std::u16string_view text, double min, double max) {
  const auto value = ScanRealText(text);
  if (!value) return std::u16string(kMsgNotReal);
  // Written so that NaN fails too.
  if (!(*value >= min && *value <= max)) return RealRangeMessage(min, max);
  return std::nullopt;
}

void RefuseField(QWidget* dialog, QLineEdit* field, std::u16string_view message) {
  ShowWarning(dialog, ToQString(message));
  if (field == nullptr) return;
  field->setFocus(Qt::OtherFocusReason);
  field->selectAll();
}

}  // namespace tavrona
