#include "cli/cli_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_export.h"
#include "cli/cli_farm.h"
#include "cli/cli_messages.h"
#include "cli/project_info.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/text_encoding.h"
#include "render/bitmap_save.h"
#include "render/compose.h"
#include "sources/movie_file.h"
#include "sources/path_resolution.h"
#include "sources/project_sources.h"

namespace tavrona {
namespace {

void PrintError(MessageCode code, const std::string& detail = {}) {
  std::fprintf(stderr, "%s\n", CliMessage(code).c_str());
  if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
}

// Why a source could not be had, in plain words, for one place it was looked for.
std::string SourceFailure(std::u16string_view path, std::u16string_view base, bool movie) {
  const auto resolved = ResolveSourcePath(path, base);
  if (!resolved)
    return ToUtf8(base) + ToUtf8(path) + ": the full name is longer than 259 characters";
  const std::string name = resolved->string();
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return name + ": " + std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return name + ": is a folder";
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return name + ": " + std::strerror(errno);
  ::close(fd);
  return name + (movie ? ": not a movie with a video stream that FFmpeg can decode"
                       : ": not a picture the bitmap reader or an image plug-in can read");
}

// The standard opener, noting why each refused source failed, in every place it was looked for.
class DiagnosingOpener final : public SourceOpener {
 public:
  bool OpenMovie(FileEntry& entry, std::u16string_view path, std::u16string_view base) override {
    return Note(standard_.OpenMovie(entry, path, base), path, base, true);
  }
  bool OpenImage(FileEntry& entry, std::u16string_view path, std::u16string_view base) override {
    return Note(standard_.OpenImage(entry, path, base), path, base, false);
  }
  bool MakeText(FileEntry& entry, std::u16string_view text, uint32_t colour,
                const LOGFONTW& font) override {
    const bool made = standard_.MakeText(entry, text, colour, font);
    if (!made) failures_.push_back("the text could not be drawn with its font");
    return made;
  }
  // The reasons noted since the last call, one a line; emptied.
  std::string TakeFailures() {
    std::string text;
    for (const std::string& f : failures_) text += "  " + f + "\n";
    failures_.clear();
    return text;
  }

 private:
  bool Note(bool opened, std::u16string_view path, std::u16string_view base, bool movie) {
    if (opened) {
      failures_.clear();
    } else {
      failures_.push_back(SourceFailure(path, base, movie));
    }
    return opened;
  }
  StandardSourceOpener standard_;
  std::vector<std::string> failures_;
};

// Answers the loader's questions from --skip-missing; the question itself goes to stderr, with
// the reasons the opener noted, so the user learns which source could not be opened and why.
class CliQuestions final : public LoadQuestions {
 public:
  CliQuestions(bool answerYes, DiagnosingOpener& opener) : answerYes_(answerYes), opener_(opener) {}
  bool AskYesNo(const std::u16string& message) override { return Answer(ToUtf8(message)); }
  bool AskMissingSource(std::u16string_view path) override {
    return Answer(CliMessage(MessageCode::SourceLoadFailed, path));
  }
  bool AskTextFailed(std::u16string_view text) override {
    return Answer(CliMessage(MessageCode::TextCreateFailed, text));
  }

 private:
  bool Answer(const std::string& question) {
    std::fprintf(stderr, "%s\n%s%s\n", question.c_str(), opener_.TakeFailures().c_str(),
                 answerYes_ ? "-> yes (--skip-missing): the slot is left empty"
                            : "-> no (use --skip-missing to go on without it)");
    return answerYes_;
  }

  bool answerYes_;
  DiagnosingOpener& opener_;
};

// Saves the picture as a BMP file; on failure prints the message with the system's words.
bool SaveBmp(const FrameBuffer& picture, const std::string& path) {
  errno = 0;
  if (SaveFrameBufferBmp(picture, path)) return true;
  PrintError(
      MessageCode::SaveFailed,
      path + ": " +
          (errno != 0 ? std::strerror(errno) : "the picture cannot be stored as a BMP file"));
  return false;
}

bool LoadProject(const CliOptions& o, ProjectDocument& doc) {
  std::error_code ec;
  // An absolute path gives the project a folder to look for relative sources in.
  const std::filesystem::path absolute = std::filesystem::absolute(o.project, ec);
  const std::u16string path = FromUtf8((ec ? std::filesystem::path(o.project) : absolute).string());
  DiagnosingOpener opener;
  CliQuestions questions(o.skipMissing, opener);
  std::string why;
  if (!doc.OpenProject(path, opener, questions, &why)) {
    PrintError(MessageCode::LoadFailed, LoadFailureDetail(o.project, why));
    return false;
  }
  return true;
}

int RunRender(const CliOptions& o, ProjectData& p) {
  FrameBuffer frame;
  if (!CreateFrameBuffer(frame, p.outputWidth, p.outputHeight)) {
    PrintError(MessageCode::SaveFailed, "the output size cannot be composed");
    return 1;
  }
  StandardMovieFrames movies;
  auto states = std::make_unique<PlaybackStates>();
  const bool composed = o.track ? ComposeTrackAt(p, *states, *o.track, o.frame, frame, &movies)
                                : ComposeFrameAt(p, *states, o.frame, frame, &movies);
  if (!composed) {
    PrintError(MessageCode::SaveFailed, "a movie frame could not be decoded");
    return 1;
  }
  if (!SaveBmp(frame, o.output)) return 1;
  return 0;
}

int RunSource(const CliOptions& o, ProjectData& p) {
  FileEntry& entry = p.files[*o.fileId];
  if (entry.kind == FileMovie && entry.movie && !PrepareMovieFrame(entry, o.frame)) {
    PrintError(MessageCode::SaveFailed, "the movie frame could not be decoded");
    return 1;
  }
  if (entry.picture.Empty()) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "ID:%04d holds no picture", *o.fileId);
    PrintError(MessageCode::SaveFailed, detail);
    return 1;
  }
  if (!SaveBmp(entry.picture, o.output)) return 1;
  return 0;
}

}  // namespace

int RunCliCommand(const CliOptions& o) {
  if (o.command == CliCommand::Codecs) return RunCodecsCommand(o);
  if (o.command == CliCommand::Join) return RunJoinCommand(o);
  if (o.command == CliCommand::Farm && o.farmStatus) return RunFarmStatusCommand(o);
  ProjectDocument doc;
  if (!LoadProject(o, doc)) return 1;
  ProjectData& p = *doc.Project();
  switch (o.command) {
    case CliCommand::Render:
      return RunRender(o, p);
    case CliCommand::Source:
      return RunSource(o, p);
    case CliCommand::Export:
      return RunExportCommand(o, p);
    case CliCommand::Farm:
      return RunFarmCommand(o, p);
    case CliCommand::Info:
      std::fputs(FormatProjectInfo(p).c_str(), stdout);
      return 0;
    default:
      return 1;
  }
}

}  // namespace tavrona
