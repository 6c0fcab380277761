// The system's own message texts that the model's callers show (caption "エラー").
#pragma once

#include <string>
#include <string_view>

namespace tavrona {

inline constexpr std::u16string_view kErrorCaption = u"エラー";
inline constexpr std::u16string_view kMsgLoadFailed = u"読み込みに失敗しました。";
inline constexpr std::u16string_view kMsgSaveFailed = u"保存に失敗しました。";
inline constexpr std::u16string_view kMsgTooManyFiles = u"ファイルが多すぎます。";
inline constexpr std::u16string_view kMsgIdInUse = u"指定したIDはすでに使用されています。";
inline constexpr std::u16string_view kMsgDuplicateFailed = u"ファイルの複製に失敗しました。";
inline constexpr std::u16string_view kMsgCannotOpenFile = u"ファイルが開けません。";
inline constexpr std::u16string_view kMsgExportInterrupted =
    u"エラーまたはキャンセル操作によって中断されました。";
inline constexpr std::u16string_view kMsgMovieTimeout =
    u"動画の画像の取得がタイムアウトしました。続行しますか？";
inline constexpr std::u16string_view kMsgMovieLengthLimit =
    u"動画の長さは最大で%uフレームに制限されます。";

// "ファイル"<path>"の読み込みに失敗しました。続行しますか？…" (Yes / No).
std::u16string SourceLoadQuestion(std::u16string_view path);
// "テキスト"<text>"の作成に失敗しました。続行しますか？…" (Yes / No).
std::u16string TextCreateQuestion(std::u16string_view text);

}  // namespace tavrona
