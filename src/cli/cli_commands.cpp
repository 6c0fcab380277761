#include "cli/cli_commands.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/cli_export.h"
#include "cli/cli_farm.h"
#include "cli/project_info.h"
#include "model/document.h"
#include "model/messages.h"
#include "model/text_encoding.h"
#include "render/bitmap_save.h"
#include "render/compose.h"
#include "sources/movie_file.h"
#include "sources/project_sources.h"

namespace tavrona {
namespace {

void PrintError(std::u16string_view message, const std::string& detail = {}) {
  std::fprintf(stderr, "%s\n", ToUtf8(message).c_str());
  if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
}

// Answers the loader's questions from --skip-missing; the question itself goes to stderr so the
// user learns which source could not be opened.
class CliQuestions final : public LoadQuestions {
 public:
  explicit CliQuestions(bool answerYes) : answerYes_(answerYes) {}
  bool AskYesNo(const std::u16string& message) override {
    std::fprintf(stderr, "%s\n%s\n", ToUtf8(message).c_str(),
                 answerYes_ ? "-> yes (--skip-missing): the slot is left empty"
                            : "-> no (use --skip-missing to go on without it)");
    return answerYes_;
  }

 private:
  bool answerYes_;
};

bool LoadProject(const CliOptions& o, ProjectDocument& doc) {
  std::error_code ec;
  // An absolute path gives the project a folder to look for relative sources in.
  const std::filesystem::path absolute = std::filesystem::absolute(o.project, ec);
  const std::u16string path = FromUtf8((ec ? std::filesystem::path(o.project) : absolute).string());
  StandardSourceOpener opener;
  CliQuestions questions(o.skipMissing);
  if (!doc.OpenProject(path, opener, questions)) {
    PrintError(kMsgLoadFailed, o.project);
    return false;
  }
  return true;
}

int RunRender(const CliOptions& o, ProjectData& p) {
  FrameBuffer frame;
  if (!CreateFrameBuffer(frame, p.outputWidth, p.outputHeight)) {
    PrintError(kMsgSaveFailed, "the output size cannot be composed");
    return 1;
  }
  StandardMovieFrames movies;
  auto states = std::make_unique<PlaybackStates>();
  const bool composed = o.track ? ComposeTrackAt(p, *states, *o.track, o.frame, frame, &movies)
                                : ComposeFrameAt(p, *states, o.frame, frame, &movies);
  if (!composed) {
    PrintError(kMsgSaveFailed, "a movie frame could not be decoded");
    return 1;
  }
  if (!SaveFrameBufferBmp(frame, o.output)) {
    PrintError(kMsgSaveFailed, "cannot write " + o.output);
    return 1;
  }
  return 0;
}

int RunSource(const CliOptions& o, ProjectData& p) {
  FileEntry& entry = p.files[*o.fileId];
  if (entry.kind == FileMovie && !PrepareMovieFrame(entry, o.frame)) {
    PrintError(kMsgSaveFailed, "the movie frame could not be decoded");
    return 1;
  }
  if (entry.picture.Empty()) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "ID:%04d holds no picture", *o.fileId);
    PrintError(kMsgSaveFailed, detail);
    return 1;
  }
  if (!SaveFrameBufferBmp(entry.picture, o.output)) {
    PrintError(kMsgSaveFailed, "cannot write " + o.output);
    return 1;
  }
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
