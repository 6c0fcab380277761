// Text forms of times and numbers typed into and shown by the dialogs and panes.
// Parsers never report errors: std::nullopt means "no change", the caller keeps its value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrona {

// A time typed as m:s.f, m:s, s.f or a bare number, read like the C library's formatted scan
// (leading blanks skipped, unsigned decimal fields, trailing text ignored, at most seven
// fraction characters). Frames: a time divided by the frame duration (truncated), or a bare
// number as it stands.
std::optional<uint32_t> ParseTimeToFrames(std::u16string_view text, int64_t frameDuration100ns);

// A source playback position in 100-ns units. A bare number is a frame of the event's source:
// multiplied by movieFrameDuration100ns when the source is a movie (pass std::nullopt for any
// other kind of slot, which makes a bare number no change).
std::optional<int64_t> ParseSourceTime(std::u16string_view text,
                                       std::optional<int64_t> movieFrameDuration100ns);

// A movie's reference frame duration: empty text = 0 (none); "m:s.f" = that duration; otherwise
// a frame rate r giving trunc(10,000,000 / r + 0.5).
std::optional<int64_t> ParseReferenceFrameDuration(std::u16string_view text);

// "%02u:%02u.%07u": minutes, seconds, 100-ns fraction.
std::u16string FormatPreciseSourceTime(int64_t time100ns);
// "%02u:%02u.%03u": minutes, seconds, milliseconds.
std::u16string FormatShortSourceTime(int64_t time100ns);
// A frame number as "%02u:%02u.%03u" at the given frame rate.
std::u16string FormatShortFrameTime(uint32_t frame, double frameRate);
std::u16string FormatFrameNumber(uint32_t frame);
// Playback rate / frame duration with 15 significant digits (dialogs).
std::u16string FormatSpeedForDialog(int64_t playbackRate100ns, int64_t frameDuration100ns);
// "x%.4f" of the same ratio (event pane).
std::u16string FormatSpeedForPane(int64_t playbackRate100ns, int64_t frameDuration100ns);
// "%g" of 10,000,000 / d; empty for d = 0.
std::u16string FormatReferenceFrameRate(int64_t referenceFrameDuration100ns);
std::u16string FormatFloatField(float value);     // "%.6g"
std::u16string FormatDoubleField(double value);   // "%.15g"
std::u16string FormatMatrixElement(float value);  // "%f"

// Number fields read back without messages; a field that does not scan gives the "unchanged"
// marker of its type.
inline constexpr double kUnchangedDouble = 1.7976931348623157e308;
inline constexpr float kUnchangedFloat = 3.4028234663852886e38f;
inline constexpr uint32_t kUnchangedUnsigned = 0xFFFFFFFFu;
inline constexpr int32_t kUnchangedSigned = static_cast<int32_t>(0x80000000u);
double ScanDoubleField(std::u16string_view text);
float ScanFloatField(std::u16string_view text);
uint32_t ScanUnsignedField(std::u16string_view text);
int32_t ScanSignedField(std::u16string_view text);

}  // namespace tavrona
