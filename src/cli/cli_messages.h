// The command line's words for the libraries' message codes, in plain C++: Japanese by default
// (the desktop program's texts, followed by an English line on the cause), English alone with
// --lang en.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "export/avi_writer.h"
#include "export/sound_stream.h"
#include "model/messages.h"
#include "model/sound_samples.h"

namespace tavrona {

enum class CliLanguage { Japanese, English };

// "ja" and "en"; nullopt for anything else.
std::optional<CliLanguage> ParseCliLanguage(std::string_view code);

// The language of what the command prints, chosen once by main before the command runs.
void SetCliLanguage(CliLanguage language);
CliLanguage CurrentCliLanguage();

// The message of code in the current language, UTF-8, without a line end. subject is the path
// of SourceLoadFailed or the text of TextCreateFailed; count the frames of MovieLengthLimit.
std::string CliMessage(MessageCode code, std::u16string_view subject = {}, uint32_t count = 0);

// A compressor as `codecs` lists it: its description, or in English its title and note.
std::string CliCompressorDescription(const AviCompressor& compressor);

// A sound codec as `codecs` lists it: in Japanese its title and note in Japanese words
// ("PCM 16ビット (非圧縮)"), in English its title and note.
std::string CliSoundCodecDescription(const SoundCodec& codec);

// The heading of `codecs`'s sound codecs.
std::string CliSoundCodecsHeading();

// The refusal of a sound codec the container does not take: names the codec and container.
std::string CliUnknownSoundCodec(std::string_view codec, std::string_view container);

// The name of a drawing method as `info` prints it (0..4; "?" for anything else).
std::string CliDrawingMethodName(int32_t method);

// What `info` says of a movie slot's sound: no sound (format null), or its rate, channels and
// length ("mm:ss.mmm"), marked as sound only when the slot has no picture. No line end.
std::string CliSoundSummary(const SoundFormat* format, bool soundOnly);

}  // namespace tavrona
