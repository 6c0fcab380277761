#include "ui/dialogs/field_checks.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
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

std::u16string Worded(const char* text) {
  return ToU16(QCoreApplication::translate("FieldChecks", text));
}

// The pattern in the current language with its %1 and %2 filled in.
std::u16string Substitute(const char* pattern, const std::u16string& first,
                          const std::u16string& second = {}) {
  QString out = QCoreApplication::translate("FieldChecks", pattern).arg(ToQString(first));
  if (out.contains(QLatin1String("%2"))) out = out.arg(ToQString(second));
  return ToU16(out);
}

const char* const kNotUnsigned = QT_TRANSLATE_NOOP("FieldChecks", "正の整数を入力してください。");
const char* const kNotSigned = QT_TRANSLATE_NOOP("FieldChecks", "整数を入力してください。");
const char* const kNotReal = QT_TRANSLATE_NOOP("FieldChecks", "数字を入力してください。");

}  // namespace

std::u16string DecimalText(long long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld", value);
  return Ascii(buffer);
}

std::u16string IntegerRangeMessage(long long min, long long max) {
  return Substitute(QT_TRANSLATE_NOOP("FieldChecks", "%1 から %2 までの整数を入力してください。"),
                    DecimalText(min), DecimalText(max));
}

std::u16string RealRangeMessage(double min, double max) {
  return Substitute(QT_TRANSLATE_NOOP("FieldChecks", "%1 から %2 までの数字を入力してください。"),
                    RealText(min), RealText(max));
}

std::u16string TextTooLongMessage(int maxCharacters) {
  return Substitute(QT_TRANSLATE_NOOP("FieldChecks", "%1 文字以内で入力してください。"),
                    DecimalText(maxCharacters));
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
  if (!value) return Worded(kNotUnsigned);
  if (*value < min || *value > max) return IntegerRangeMessage(min, max);
  return std::nullopt;
}

std::optional<std::u16string> CheckSignedField(std::u16string_view text, int32_t min, int32_t max) {
  const auto value = ScanSignedText(text);
  if (!value) return Worded(kNotSigned);
  if (*value < min || *value > max) return IntegerRangeMessage(min, max);
  return std::nullopt;
}

std::optional<std::u16string> CheckRealField(std::u16string_view text, double min, double max) {
  const auto value = ScanRealText(text);
  if (!value) return Worded(kNotReal);
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

QString SpokenLabel(const QString& label) {
  QString spoken;
  spoken.reserve(label.size());
  for (qsizetype i = 0; i < label.size(); ++i) {
    // A mnemonic in parentheses after the words, "(&C)", goes whole.
    if (label[i] == QLatin1Char('(') && i + 3 < label.size() && label[i + 1] == QLatin1Char('&') &&
        label[i + 2] != QLatin1Char('&') && label[i + 3] == QLatin1Char(')')) {
      i += 3;
      continue;
    }
    if (label[i] == QLatin1Char('&')) {
      ++i;  // the marker goes; the character it marks (or a second "&") stays
      if (i == label.size()) break;
    }
    spoken += label[i];
  }
  while (spoken.endsWith(QLatin1Char(':')) || spoken.endsWith(QChar(0xFF1A))) spoken.chop(1);
  return spoken.trimmed();
}

void NameAfterLabel(QWidget* widget, const QString& label) {
  widget->setAccessibleName(SpokenLabel(label));
}

void NameButtons(QDialogButtonBox& buttons) {
  const std::pair<QDialogButtonBox::StandardButton, QString> labels[] = {
      {QDialogButtonBox::Ok, QStringLiteral("OK")},
      {QDialogButtonBox::Cancel, QCoreApplication::translate("DialogButtons", "キャンセル")},
      {QDialogButtonBox::Close, QCoreApplication::translate("DialogButtons", "閉じる")},
  };
  for (const auto& [which, label] : labels) {
    if (QPushButton* button = buttons.button(which)) {
      button->setText(label);
      NameAfterLabel(button, label);
    }
  }
}

}  // namespace tavrona
