#include "cli/cli_messages.h"

#include "model/text_encoding.h"
#include "model/time_text.h"

namespace tavrona {
namespace {

CliLanguage current = CliLanguage::Japanese;

std::string Japanese(MessageCode code, std::u16string_view subject, uint32_t count) {
  switch (code) {
    case MessageCode::LoadFailed:
      return "読み込みに失敗しました。";
    case MessageCode::SaveFailed:
      return "保存に失敗しました。";
    case MessageCode::TooManyFiles:
      return "ファイルが多すぎます。";
    case MessageCode::IdInUse:
      return "指定したIDはすでに使用されています。";
    case MessageCode::DuplicateFailed:
      return "ファイルの複製に失敗しました。";
    case MessageCode::CannotOpenFile:
      return "ファイルが開けません。";
    case MessageCode::ExportInterrupted:
      return "エラーまたはキャンセル操作によって中断されました。";
    case MessageCode::MovieTimeout:
      return ToUtf8(kMsgMovieTimeout);
    case MessageCode::MovieLengthLimit:
      return "動画の長さは最大で" + std::to_string(count) + "フレームに制限されます。";
    case MessageCode::SourceLoadFailed:
      return ToUtf8(SourceLoadQuestion(subject));
    case MessageCode::TextCreateFailed:
      return ToUtf8(TextCreateQuestion(subject));
  }
  return "?";
}

std::string English(MessageCode code, std::u16string_view subject, uint32_t count) {
  switch (code) {
    case MessageCode::LoadFailed:
      return "The project could not be loaded.";
    case MessageCode::SaveFailed:
      return "The file could not be saved.";
    case MessageCode::TooManyFiles:
      return "There are too many files.";
    case MessageCode::IdInUse:
      return "The ID you chose is already in use.";
    case MessageCode::DuplicateFailed:
      return "The file could not be duplicated.";
    case MessageCode::CannotOpenFile:
      return "The file cannot be opened.";
    case MessageCode::ExportInterrupted:
      return "The export was stopped by an error or by a cancel.";
    case MessageCode::MovieTimeout:
      return "Fetching a picture from the movie timed out. Do you want to continue?";
    case MessageCode::MovieLengthLimit:
      return "The movie length is limited to " + std::to_string(count) + " frames.";
    case MessageCode::SourceLoadFailed:
      return "The file \"" + ToUtf8(subject) +
             "\" could not be loaded. Do you want to continue?\nIf you continue, the settings of "
             "this file are discarded.";
    case MessageCode::TextCreateFailed:
      return "The text \"" + ToUtf8(subject) +
             "\" could not be created. Do you want to continue?\nIf you continue, the settings of "
             "this file are discarded.";
  }
  return "?";
}

}  // namespace

std::optional<CliLanguage> ParseCliLanguage(std::string_view code) {
  if (code == "ja") return CliLanguage::Japanese;
  if (code == "en") return CliLanguage::English;
  return std::nullopt;
}

void SetCliLanguage(CliLanguage language) {
  current = language;
}

CliLanguage CurrentCliLanguage() {
  return current;
}

std::string CliMessage(MessageCode code, std::u16string_view subject, uint32_t count) {
  return current == CliLanguage::English ? English(code, subject, count)
                                         : Japanese(code, subject, count);
}

std::string CliCompressorDescription(const AviCompressor& compressor) {
  if (current == CliLanguage::Japanese) return ToUtf8(compressor.description);
  switch (compressor.note) {
    case CompressorNote::Uncompressed:
      return "Full frames (uncompressed)";
    case CompressorNote::Lossless:
      return compressor.title + " (lossless)";
    case CompressorNote::None:
      break;
  }
  return compressor.title;
}

std::string CliSoundCodecDescription(const SoundCodec& codec) {
  const bool english = current == CliLanguage::English;
  std::string title = codec.title;
  if (codec.name == "pcm") title = english ? "16-bit PCM" : "PCM 16ビット";
  switch (codec.note) {
    case CompressorNote::Uncompressed:
      return title + (english ? " (uncompressed)" : " (非圧縮)");
    case CompressorNote::Lossless:
      return title + (english ? " (lossless)" : " (可逆圧縮)");
    case CompressorNote::None:
      break;
  }
  return title;
}

std::string CliSoundCodecsHeading() {
  return current == CliLanguage::English ? "Sound (--audio-codec; the first is the default):"
                                         : "音声 (--audio-codec、先頭が既定):";
}

std::string CliUnknownSoundCodec(std::string_view codec, std::string_view container) {
  const std::string c(codec), k(container);
  return current == CliLanguage::English
             ? "sound codec \"" + c + "\" cannot be written into " + k +
                   " here (see: tavrona-cli codecs --container " + k + ")"
             : "音声コーデック \"" + c + "\" は " + k +
                   " に書き出せません (参照: tavrona-cli codecs --container " + k + ")";
}

std::string CliDrawingMethodName(int32_t method) {
  static constexpr const char* kJapanese[] = {"システムの既定（INIファイル）",
                                              "通常（初期バージョン）", "境界修正", "線形補間",
                                              "線形補間と色補正"};
  static constexpr const char* kEnglish[] = {"System default (INI file)", "Normal (first version)",
                                             "Edge correction", "Linear interpolation",
                                             "Linear interpolation and colour correction"};
  if (method < 0 || method > 4) return "?";
  return current == CliLanguage::English ? kEnglish[method] : kJapanese[method];
}

std::string CliSoundSummary(const SoundFormat* format, bool soundOnly) {
  const bool english = current == CliLanguage::English;
  if (format == nullptr) return english ? "no sound" : "音声なし";
  const int64_t length100ns =
      static_cast<int64_t>(static_cast<__int128>(format->lengthSamples) * 10'000'000 / kMixRate);
  const std::string rate = std::to_string(format->sourceRate) + " Hz";
  const std::string length = ToUtf8(FormatShortSourceTime(length100ns));
  const std::string channels = std::to_string(format->sourceChannels);
  if (english) {
    return std::string(soundOnly ? "sound only: " : "sound: ") + rate + ", " + channels +
           (format->sourceChannels == 1 ? " channel, " : " channels, ") + length;
  }
  return std::string(soundOnly ? "音声のみ: " : "音声: ") + rate + "、" + channels + " チャンネル、" +
         length;
}

}  // namespace tavrona
