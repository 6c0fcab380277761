#include "model/time_text.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tavrona {
namespace {

constexpr int kMaxFraction = 7;

bool IsBlank(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x3000;  // ideographic space too
}

// A cursor over UTF-16 text with the field conversions of the formatted scan.
class Scanner {
 public:
  explicit Scanner(std::u16string_view text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  bool AtEnd() const { return pos_ >= text_.size(); }

  // "%u": optional sign, then decimal digits, wrapping modulo 2^32 like the C library.
  bool Unsigned(uint32_t& out) {
    SkipBlanks();
    size_t p = pos_;
    bool negative = false;
    if (p < text_.size() && (text_[p] == u'+' || text_[p] == u'-')) {
      negative = text_[p] == u'-';
      ++p;
    }
    uint32_t value = 0;
    size_t digits = 0;
    while (p < text_.size() && text_[p] >= u'0' && text_[p] <= u'9') {
      value = value * 10u + static_cast<uint32_t>(text_[p] - u'0');
      ++p;
      ++digits;
    }
    if (digits == 0) return false;
    pos_ = p;
    out = negative ? 0u - value : value;
    return true;
  }

  // "%Ns": up to n non-blank characters after leading blanks; at least one.
  bool Word(size_t n, std::u16string& out) {
    SkipBlanks();
    size_t p = pos_;
    while (p < text_.size() && p - pos_ < n && !IsBlank(text_[p])) ++p;
    if (p == pos_) return false;
    out.assign(text_.substr(pos_, p - pos_));
    pos_ = p;
    return true;
  }

  // A literal character of the format: must match exactly, no blanks skipped.
  bool Literal(char16_t c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

 private:
  std::u16string_view text_;
  size_t pos_ = 0;
};

// Matches of the time patterns, in the order they are tried.
struct TimeMatch {
  enum Kind { None, Time, BareNumber, BadFraction } kind = None;
  int64_t value = 0;  // Time: 100-ns units; BareNumber: the number
};

// Reads a fraction string (1..7 characters) as 100-ns units: "5" -> 5,000,000.
std::optional<uint64_t> FractionValue(const std::u16string& f) {
  Scanner s(f);
  uint32_t number = 0;
  if (!s.Unsigned(number)) return std::nullopt;
  uint64_t scale = 1;
  for (size_t i = f.size(); i < kMaxFraction; ++i) scale *= 10;
  return static_cast<uint64_t>(number) * scale;
}

uint64_t Seconds100ns(uint32_t minutes, uint32_t seconds) {
  return (static_cast<uint64_t>(minutes) * 60 + seconds) * static_cast<uint64_t>(10'000'000);
}

// Pattern 1: "%u:%u.%7s" yielding three fields.
std::optional<TimeMatch> MatchMinutesSecondsFraction(std::u16string_view text) {
  Scanner s(text);
  uint32_t m = 0, sec = 0;
  std::u16string f;
  if (!s.Unsigned(m) || !s.Literal(u':') || !s.Unsigned(sec) || !s.Literal(u'.') ||
      !s.Word(kMaxFraction, f)) {
    return std::nullopt;
  }
  const auto fraction = FractionValue(f);
  if (!fraction) return TimeMatch{TimeMatch::BadFraction, 0};
  return TimeMatch{TimeMatch::Time, static_cast<int64_t>(Seconds100ns(m, sec) + *fraction)};
}

TimeMatch MatchTime(std::u16string_view text) {
  if (text.empty()) return {};
  if (auto m = MatchMinutesSecondsFraction(text)) return *m;
  {
    Scanner s(text);
    uint32_t m = 0, sec = 0;
    if (s.Unsigned(m) && s.Literal(u':') && s.Unsigned(sec)) {
      return {TimeMatch::Time, static_cast<int64_t>(Seconds100ns(m, sec))};
    }
  }
  {
    Scanner s(text);
    uint32_t sec = 0;
    std::u16string f;
    if (s.Unsigned(sec) && s.Literal(u'.') && s.Word(kMaxFraction, f)) {
      const auto fraction = FractionValue(f);
      if (!fraction) return {TimeMatch::BadFraction, 0};
      return {TimeMatch::Time, static_cast<int64_t>(Seconds100ns(0, sec) + *fraction)};
    }
  }
  {
    Scanner s(text);
    uint32_t b = 0;
    if (s.Unsigned(b)) return {TimeMatch::BareNumber, b};
  }
  return {};
}

std::u16string Widen(const char* text) {
  std::u16string out;
  for (const char* p = text; *p != '\0'; ++p) out.push_back(static_cast<unsigned char>(*p));
  return out;
}

template <class... Args>
std::u16string Format(const char* format, Args... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return Widen(buffer);
}

// The leading part of a field that the C library could read as a number: ASCII only, at most
// maxChars characters.
std::string Narrow(std::u16string_view text, size_t maxChars) {
  std::string out;
  for (size_t i = 0; i < text.size() && i < maxChars; ++i) {
    const char16_t c = text[i];
    if (c > 0x7F) break;
    out.push_back(static_cast<char>(c));
  }
  return out;
}

// "%lf": the C library's strtod after leading blanks; nullopt when nothing converts.
std::optional<double> ScanDouble(std::u16string_view text, size_t maxChars) {
  size_t skipped = 0;
  while (skipped < text.size() && IsBlank(text[skipped])) ++skipped;
  const std::string narrow = Narrow(text.substr(skipped), maxChars);
  if (narrow.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(narrow.c_str(), &end);
  if (end == narrow.c_str()) return std::nullopt;
  return value;
}

// "%lu" / "%ld" on a 32-bit long: optional sign, decimal digits, wrapping modulo 2^32.
std::optional<uint32_t> ScanLong(std::u16string_view text, size_t maxChars) {
  Scanner s(text.substr(0, std::min(text.size(), maxChars)));
  uint32_t value = 0;
  if (!s.Unsigned(value)) return std::nullopt;
  return value;
}

double RatioOf(int64_t rate, int64_t duration) {
  return static_cast<double>(rate) / static_cast<double>(duration);
}

}  // namespace

std::optional<uint32_t> ParseTimeToFrames(std::u16string_view text, int64_t frameDuration100ns) {
  const TimeMatch m = MatchTime(text);
  switch (m.kind) {
    case TimeMatch::Time:
      if (frameDuration100ns <= 0) return std::nullopt;
      return static_cast<uint32_t>(m.value / frameDuration100ns);
    case TimeMatch::BareNumber:
      return static_cast<uint32_t>(m.value);
    default:
      return std::nullopt;
  }
}

std::optional<int64_t> ParseSourceTime(std::u16string_view text,
                                       std::optional<int64_t> movieFrameDuration100ns) {
  const TimeMatch m = MatchTime(text);
  switch (m.kind) {
    case TimeMatch::Time:
      return m.value;
    case TimeMatch::BareNumber:
      if (!movieFrameDuration100ns) return std::nullopt;
      return static_cast<int64_t>(static_cast<uint64_t>(m.value) *
                                  static_cast<uint64_t>(*movieFrameDuration100ns));
    default:
      return std::nullopt;
  }
}

std::optional<int64_t> ParseReferenceFrameDuration(std::u16string_view text) {
  if (text.empty()) return 0;
  if (auto m = MatchMinutesSecondsFraction(text)) {
    if (m->kind != TimeMatch::Time) return std::nullopt;
    return m->value;
  }
  const auto rate = ScanDouble(text, text.size());
  if (!rate) return std::nullopt;
  const double duration = std::trunc(10'000'000.0 / *rate + 0.5);
  // A rate of zero or below, or one too small to give a duration that fits, is refused rather
  // than turned into a nonsensical or undefined integer.
  if (!(*rate > 0) || !(duration < 9.2e18)) return std::nullopt;
  return static_cast<int64_t>(duration);
}

std::u16string FormatPreciseSourceTime(int64_t v) {
  return Format("%02u:%02u.%07u", static_cast<unsigned>(v / 600'000'000),
                static_cast<unsigned>((v / 10'000'000) % 60),
                static_cast<unsigned>(v % 10'000'000));
}

std::u16string FormatShortSourceTime(int64_t v) {
  return Format("%02u:%02u.%03u", static_cast<unsigned>(v / 600'000'000),
                static_cast<unsigned>((v / 10'000'000) % 60),
                static_cast<unsigned>((v / 10'000) % 1000));
}

std::u16string FormatShortFrameTime(uint32_t frame, double frameRate) {
  const double t = static_cast<double>(frame) / frameRate;
  // Through int64 so that a huge or non-finite value never converts out of range.
  auto whole = [](double x) -> int64_t {
    return (std::isfinite(x) && std::fabs(x) < 9.2e18) ? static_cast<int64_t>(x) : 0;
  };
  return Format("%02u:%02u.%03u", static_cast<unsigned>(whole(t * 0.016666666666666666)),
                static_cast<unsigned>(whole(t) % 60), static_cast<unsigned>(whole(t * 1000) % 1000));
}

std::u16string FormatFrameNumber(uint32_t frame) { return Format("%u", frame); }

std::u16string FormatSpeedForDialog(int64_t rate, int64_t duration) {
  return Format("%.*g", 15, RatioOf(rate, duration));
}

std::u16string FormatSpeedForPane(int64_t rate, int64_t duration) {
  return Format("x%.4f", RatioOf(rate, duration));
}

std::u16string FormatReferenceFrameRate(int64_t d) {
  if (d == 0) return {};
  return Format("%g", 10'000'000.0 / static_cast<double>(d));
}

std::u16string FormatFloatField(float value) {
  return Format("%.*g", 6, static_cast<double>(value));
}
std::u16string FormatDoubleField(double value) { return Format("%.*g", 15, value); }
std::u16string FormatMatrixElement(float value) { return Format("%f", static_cast<double>(value)); }

double ScanDoubleField(std::u16string_view text) {
  return ScanDouble(text, 399).value_or(kUnchangedDouble);
}

float ScanFloatField(std::u16string_view text) {
  const auto value = ScanDouble(text, 399);
  if (!value) return kUnchangedFloat;
  // Narrowed explicitly: beyond the float range the value becomes an infinity of its sign.
  if (*value > FLT_MAX) return INFINITY;
  if (*value < -FLT_MAX) return -INFINITY;
  return static_cast<float>(*value);
}

uint32_t ScanUnsignedField(std::u16string_view text) {
  return ScanLong(text, 63).value_or(kUnchangedUnsigned);
}

int32_t ScanSignedField(std::u16string_view text) {
  const auto value = ScanLong(text, 63);
  return value ? static_cast<int32_t>(*value) : kUnchangedSigned;
}

}  // namespace tavrona
