#include "cli/cli_export.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "export/avi_writer.h"
#include "export/export_part.h"
#include "export/project_digest.h"
#include "export/project_export.h"
#include "export/sound_stream.h"
#include "model/messages.h"
#include "model/text_encoding.h"
#include "sources/project_sources.h"

namespace tavrona {
namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
  g_interrupted = true;
  // A second Ctrl+C ends the program the usual way.
  std::signal(SIGINT, SIG_DFL);
}

// The movie timeout question on the command line: with --timeout-error every timeout is an
// error at once; otherwise a user at a terminal is asked, and without one the fetch is given up.
class CliTimeoutTarget final : public TimeoutTarget {
 public:
  explicit CliTimeoutTarget(bool timeoutIsError) : timeoutIsError_(timeoutIsError) {}
  int TimeoutQuery() override { return timeoutIsError_ ? 1 : 0; }
  // The question is the movie timeout's, worded in the command's language.
  bool AskToContinue(const std::u16string&) override {
    if (!isatty(STDIN_FILENO)) return false;
    std::fprintf(stderr, "\n%s [y/N] ", CliMessage(MessageCode::MovieTimeout).c_str());
    std::fflush(stderr);
    char line[16] = {};
    if (std::fgets(line, sizeof line, stdin) == nullptr) return false;
    return line[0] == 'y' || line[0] == 'Y';
  }

 private:
  bool timeoutIsError_;
};

std::string Clock(uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u:%02u.%03u", static_cast<unsigned>(ms / 60000),
                static_cast<unsigned>(ms / 1000 % 60), static_cast<unsigned>(ms % 1000));
  return text;
}

// One line, redrawn in place: bar, percentage, position, elapsed and remaining time.
void DrawProgressLine(const ProgressFigures& f) {
  constexpr int kBarWidth = 30;
  const int filled =
      f.total == 0 ? kBarWidth : static_cast<int>(uint64_t{f.framesWritten} * kBarWidth / f.total);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  std::fprintf(stderr, "\r[%s] %3u%%  frame %u/%u  position %s  elapsed %s  remaining %s ",
               bar.c_str(), f.percent, f.framesWritten, f.total,
               Clock(f.position100ns / 10'000).c_str(), Clock(f.elapsedMs).c_str(),
               Clock(f.remainingMs).c_str());
  std::fflush(stderr);
}

// A finished export whose movie frames could not all be decoded still says so: how many
// output frames, and which files.
void PrintFailedMovieFrames(const ExportJobState& job, uint32_t total) {
  if (job.framesWithFailedEvents == 0) return;
  std::string ids;
  for (int id = 0; id < kFileCount; ++id) {
    if (job.failedFiles.test(static_cast<size_t>(id))) {
      ids += (ids.empty() ? "" : ", ") + std::to_string(id);
    }
  }
  std::fprintf(stderr,
               "tavrona-cli: %u of the %u frames were written without a movie frame that could "
               "not be decoded (file %s)\n",
               job.framesWithFailedEvents, total, ids.c_str());
}

}  // namespace

int RunExportCommand(const CliOptions& o, ProjectData& project) {
  const std::u16string output = FromUtf8(o.output);
  const OutputContainer container = ContainerForPath(output);
  const auto codecs = ListCompressors(container);
  bool known = false;
  for (const auto& c : codecs) known = known || c.name == o.codec;
  if (!known) {
    std::fprintf(stderr,
                 "tavrona-cli: codec \"%s\" cannot be written into %s here (see: tavrona-cli "
                 "codecs --container %s)\n",
                 o.codec.c_str(), ContainerName(container), ContainerName(container));
    return 2;
  }
  if (o.frames && (o.frames->last >= project.movieLength)) {
    std::fprintf(stderr,
                 "tavrona-cli: --frames %u-%u is outside the project's frames 0-%u (length %u)\n",
                 o.frames->first, o.frames->last,
                 project.movieLength == 0 ? 0 : project.movieLength - 1, project.movieLength);
    return 2;
  }
  const uint32_t keyInterval = ExportKeyFrameInterval(project, output, o.codec);
  if (o.frames && !RangeOnKeyFrames(ExportRange{o.frames->first, o.frames->last},
                                    project.movieLength, keyInterval)) {
    std::fprintf(stderr,
                 "tavrona-cli: --frames %u-%u: %s in %s has a key frame every %u frames; a part "
                 "starts at a multiple of %u and ends before one or at the last frame (%u), so "
                 "that it holds the whole export's frames\n",
                 o.frames->first, o.frames->last, o.codec.c_str(), ContainerName(container),
                 keyInterval, keyInterval, project.movieLength - 1);
    return 2;
  }
  // A sound codec the container does not take is refused before anything is written; without
  // sound in the project it does not matter.
  if (!o.audioCodec.empty()) {
    bool offered = false;
    for (const SoundCodec& c : ListSoundCodecs(container))
      offered = offered || c.name == o.audioCodec;
    if (!offered) {
      std::fprintf(stderr, "tavrona-cli: %s\n",
                   CliUnknownSoundCodec(o.audioCodec, ContainerName(container)).c_str());
      return 2;
    }
  }
  const uint32_t total = o.frames ? o.frames->last - o.frames->first + 1 : project.movieLength;
  // A part records the project's version, so that a farm can tell it from a part of an
  // earlier version.
  std::string digest;
  if (o.frames) {
    std::string why;
    const auto taken = ProjectDigest(o.project, project, &why);
    if (!taken) {
      std::fprintf(stderr, "tavrona-cli: cannot take the project's version: %s\n", why.c_str());
      return 1;
    }
    digest = *taken;
  }

  CliTimeoutTarget timeouts(o.timeoutError);
  ProcessState& state = Process();
  state.timeoutTarget = &timeouts;
  g_interrupted = false;
  auto previous = std::signal(SIGINT, OnInterrupt);

  const bool terminal = isatty(STDERR_FILENO);
  auto lastDraw = std::chrono::steady_clock::time_point{};
  ExportRunOptions run;
  run.codec = o.codec;
  run.sound = !o.noAudio;
  run.soundCodec = o.audioCodec;
  run.stopOnEventError = o.stopOnEventError;
  run.abort = &g_interrupted;
  if (o.frames) run.range = ExportRange{o.frames->first, o.frames->last};
  run.digest = digest;
  const auto started = std::chrono::steady_clock::now();
  if (terminal) {
    run.onProgress = [&](const ProjectData& p, const ExportProgress&) {
      const auto now = std::chrono::steady_clock::now();
      const uint32_t written = static_cast<uint32_t>(p.exportJob.framesWritten);
      if (written < total && now - lastDraw < std::chrono::milliseconds(100)) return;
      lastDraw = now;
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - started);
      DrawProgressLine(ComputeProgress(written, total, p.frameDuration100ns,
                                       static_cast<uint64_t>(elapsed.count())));
    };
  }

  StandardMovieFrames movies;
  const ExportResult result = ExportProject(project, output, &movies, run);
  const AviWriter* writer = project.exportWriter.get();
  const std::string cause = writer != nullptr ? writer->ErrorText() : std::string();
  const uint32_t stored = writer != nullptr ? writer->FramesStored() : 0;

  std::signal(SIGINT, previous);
  ResetTimeoutTarget(state);
  if (terminal) std::fputc('\n', stderr);

  switch (result) {
    case ExportResult::Done:
      if (terminal) std::fprintf(stderr, "%s\n", o.output.c_str());
      PrintFailedMovieFrames(project.exportJob, total);
      return 0;
    case ExportResult::OpenFailed:
      std::fprintf(stderr, "%s\n%s: %s\n", CliMessage(MessageCode::CannotOpenFile).c_str(),
                   o.output.c_str(), cause.empty() ? "the export could not start" : cause.c_str());
      return 1;
    case ExportResult::UnknownCodec:
      std::fprintf(stderr, "tavrona-cli: codec \"%s\" cannot be used\n", o.codec.c_str());
      return 1;
    case ExportResult::UnknownSoundCodec:
      std::fprintf(stderr, "tavrona-cli: %s\n",
                   CliUnknownSoundCodec(o.audioCodec.empty() ? "(default)" : o.audioCodec,
                                        ContainerName(container))
                       .c_str());
      return 1;
    case ExportResult::BadRange:
      std::fprintf(stderr, "tavrona-cli: the frame range is outside the project\n");
      return 2;
    case ExportResult::Aborted:
    case ExportResult::StepFailed:
      std::fprintf(stderr, "%s\n", CliMessage(MessageCode::ExportInterrupted).c_str());
      if (result == ExportResult::Aborted) {
        std::fprintf(stderr, "stopped on request (Ctrl+C)\n");
      } else if (!cause.empty()) {
        std::fprintf(stderr, "%s: %s\n", o.output.c_str(), cause.c_str());
      } else {
        const uint32_t at = (o.frames ? o.frames->first : 0) +
                            static_cast<uint32_t>(project.exportJob.framesWritten);
        std::fprintf(stderr, "output frame %u could not be composed%s\n", at,
                     o.stopOnEventError ? ": an event failed (--stop-on-event-error)" : "");
      }
      std::fprintf(stderr, "%u frames written to %s\n", stored, o.output.c_str());
      return 1;
  }
  return 1;
}

int RunCodecsCommand(const CliOptions& o) {
  const auto container =
      o.container.empty() ? std::optional(OutputContainer::Avi) : ContainerNamed(o.container);
  if (!container) {
    std::fprintf(stderr, "tavrona-cli: unknown container \"%s\" (avi, mp4, mkv, mov)\n",
                 o.container.c_str());
    return 2;
  }
  for (const auto& c : ListCompressors(*container)) {
    std::printf("%s\t%s\n", c.name.c_str(), CliCompressorDescription(c).c_str());
  }
  const std::vector<SoundCodec> sounds = ListSoundCodecs(*container);
  if (!sounds.empty()) {
    std::printf("\n%s\n", CliSoundCodecsHeading().c_str());
    for (const SoundCodec& c : sounds) {
      std::printf("%s\t%s\n", c.name.c_str(), CliSoundCodecDescription(c).c_str());
    }
  }
  return 0;
}

int RunJoinCommand(const CliOptions& o) {
  std::string why;
  if (!JoinParts(o.parts, o.output, &why)) {
    std::fprintf(stderr, "tavrona-cli: the parts cannot be joined\n%s\n", why.c_str());
    return 1;
  }
  return 0;
}

}  // namespace tavrona
