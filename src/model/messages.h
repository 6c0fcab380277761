// What the libraries report to the user, as codes: the front ends word them (the desktop
// program in src/ui/message_texts.h, in the chosen language; the command line in
// src/cli/cli_messages.h). The data a message carries (a file, a count) travels beside its code.
#pragma once

#include <string>
#include <string_view>

namespace tavrona {

enum class MessageCode {
  LoadFailed,         // a project could not be read (then the file and the reader's words)
  SaveFailed,         // a project or a picture could not be written
  TooManyFiles,       // every file slot is taken
  IdInUse,            // the file ID chosen is taken
  DuplicateFailed,    // a file slot could not be copied
  CannotOpenFile,     // the export's output could not be opened
  ExportInterrupted,  // the export stopped on an error or on the user's request
  MovieTimeout,       // a movie frame took too long: go on waiting? (OK / Cancel)
  MovieLengthLimit,   // the movie length is cut to a number of frames (the count)
  SourceLoadFailed,   // a source of the project cannot be opened: go on? (the path; Yes / No)
  TextCreateFailed,   // a text source cannot be drawn: go on? (the text; Yes / No)
};

// Every code, in declaration order: what a front end's wording must cover.
inline constexpr MessageCode kEveryMessageCode[] = {
    MessageCode::LoadFailed,        MessageCode::SaveFailed,       MessageCode::TooManyFiles,
    MessageCode::IdInUse,           MessageCode::DuplicateFailed,  MessageCode::CannotOpenFile,
    MessageCode::ExportInterrupted, MessageCode::MovieTimeout,     MessageCode::MovieLengthLimit,
    MessageCode::SourceLoadFailed,  MessageCode::TextCreateFailed,
};

// The Japanese wording of the questions a project read and a movie fetch ask, for the front ends
// that keep no translations of their own (the command line's default language) and for the
// defaults of LoadQuestions. The desktop program words the codes itself.
inline constexpr std::u16string_view kMsgMovieTimeout =
    u"動画の画像の取得がタイムアウトしました。続行しますか？";
// "ファイル"<path>"の読み込みに失敗しました。続行しますか？…" (Yes / No).
std::u16string SourceLoadQuestion(std::u16string_view path);
// "テキスト"<text>"の作成に失敗しました。続行しますか？…" (Yes / No).
std::u16string TextCreateQuestion(std::u16string_view text);

}  // namespace tavrona
