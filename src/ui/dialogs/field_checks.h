// The dialogs' number fields: reading a typed number and the framework's validation messages
// for one that does not scan or is out of range.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class QDialogButtonBox;
class QLineEdit;
class QWidget;

namespace tavrona {

// The messages below are worded in the current language (context "FieldChecks"): "正の整数を入力
// してください。", "整数を入力してください。" and "数字を入力してください。" for a field that does
// not scan; "%1 から %2 までの整数を入力してください。", "%1 から %2
// までの数字を入力してください。" (bounds as "%g") and "%1 文字以内で入力してください。" with their
// numbers.
std::u16string IntegerRangeMessage(long long min, long long max);
std::u16string RealRangeMessage(double min, double max);
std::u16string TextTooLongMessage(int maxCharacters);

// A number as the dialogs show it: "%d" / "%lld".
std::u16string DecimalText(long long value);

// The number a field holds, or nothing when the text does not scan (the C library's rules:
// leading blanks, trailing text ignored). The scanners' "unchanged" markers are values a typed
// number can give too (4294967295, or -1 wrapping to it); the signed and unsigned readings of one
// text are the same 32 bits, so both markers at once can only mean that there is no number.
std::optional<uint32_t> ScanUnsignedText(std::u16string_view text);
std::optional<int32_t> ScanSignedText(std::u16string_view text);
// Likewise for reals: a text that reads as the largest double narrows to an infinite float,
// never to the float marker.
std::optional<double> ScanRealText(std::u16string_view text);

// The message for a field that does not scan or is outside min..max; nothing when it is good.
std::optional<std::u16string> CheckUnsignedField(std::u16string_view text, uint32_t min,
                                                 uint32_t max);
std::optional<std::u16string> CheckSignedField(std::u16string_view text, int32_t min, int32_t max);
std::optional<std::u16string> CheckRealField(std::u16string_view text, double min, double max);

// A field that stops the OK: the warning box with the message, then the focus on the field
// with its text selected (field may be null).
void RefuseField(QWidget* dialog, QLineEdit* field, std::u16string_view message);

// A label's text as a spoken name: without its mnemonic marker ("&&" stays one "&") and without a
// trailing colon.
QString SpokenLabel(const QString& label);
// Names widget for assistive technology after the label the user sees beside it.
void NameAfterLabel(QWidget* widget, const QString& label);
// Labels the OK and Cancel buttons of buttons ("OK", "キャンセル" in Japanese) and names them.
void NameButtons(QDialogButtonBox& buttons);

}  // namespace tavrona
