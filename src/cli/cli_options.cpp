#include "cli/cli_options.h"

#include "app/parse_number.h"

namespace tavrona {
namespace {

// Digits only (ParseUnsigned) within low..high; 0 <= low <= high.
bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t& out) {
  const auto value = ParseUnsigned(text, static_cast<uint64_t>(high));
  if (!value || *value < static_cast<uint64_t>(low)) return false;
  out = static_cast<int64_t>(*value);
  return true;
}

std::optional<CliCommand> CommandNamed(const std::string& name) {
  if (name == "render") return CliCommand::Render;
  if (name == "source") return CliCommand::Source;
  if (name == "info") return CliCommand::Info;
  if (name == "export") return CliCommand::Export;
  if (name == "codecs") return CliCommand::Codecs;
  if (name == "join") return CliCommand::Join;
  if (name == "farm") return CliCommand::Farm;
  if (name == "help" || name == "--help" || name == "-h") return CliCommand::Help;
  return std::nullopt;
}

}  // namespace

const char* CliUsage() {
  return R"(Usage:
  tavrona-cli render PROJECT.vpj --frame N [--track T] -o OUT.bmp
      Compose output frame N of the project (all tracks, or track T alone) and write it
      as a 32-bit BMP file.
  tavrona-cli source PROJECT.vpj --file ID [--frame N] -o OUT.bmp
      Write the picture of file slot ID at its own size; a movie is brought to frame
      index N first (default 0; clamped to the movie's frames).
  tavrona-cli info PROJECT.vpj
      Print the project's settings, files, tracks and templates.
  tavrona-cli export PROJECT.vpj -o OUT [--codec NAME] [--frames FIRST-LAST]
                     [--audio-codec NAME | --no-audio]
                     [--stop-on-event-error] [--timeout-error]
      Export the whole project (frame 0 to its movie length) into OUT: an AVI file, or
      MP4, MKV or MOV by OUT's extension (.mp4, .mkv, .mov). On a terminal a progress
      line is shown; Ctrl+C stops the export and closes the file. Frames whose movie
      frame could not be decoded are counted at the end. --frames writes only output
      frames FIRST..LAST (inclusive), exactly as a whole export writes them, and records
      the range in the file, as a part for join. H.264 in MP4, MKV and MOV codes groups
      of two seconds of frames with a key frame at their start: there FIRST must be a
      key frame (a multiple of the group's length) and LAST the frame before one or the
      project's last frame; other codecs, and every codec in AVI, take any range.
      When a file slot holds sound, OUT carries the mix: 16-bit PCM in AVI, AAC in MP4,
      FLAC (or AAC) in MKV, PCM (or AAC) in MOV; --audio-codec chooses among those
      (see codecs), --no-audio leaves the sound out. A part holds exactly the samples of
      its frames, losslessly; join codes the sound of the parts once, as a whole export.
  tavrona-cli join PART... -o OUT
      Join parts written by export --frames, in the order given, into OUT (the parts'
      container) by copying their encoded frames. The parts must follow each other
      without gap or overlap and share size, rate and codec.
  tavrona-cli codecs [--container NAME]
      List the compressors that export can use: NAME, a tab, a description; then, after
      an empty line and a heading, the sound codecs (--audio-codec), the default first.
      With --container (avi, mp4, mkv, mov) those that container takes; AVI by default.
  tavrona-cli farm PROJECT.vpj -o OUT --parts N [--codec NAME] [--partition P]
                   [--time T] [--wait] [--audio-codec NAME | --no-audio]
                   [--stop-on-event-error] [--timeout-error]
      Export on a Slurm cluster: an array job of N tasks (sbatch) each exports one
      frame range into OUT.parts/, then a job that runs once all of them succeeded joins
      the parts into OUT. Prints the job ids; --wait waits for the join and exits 0 only
      when OUT was written. Every source must open here; the project, its sources and OUT
      must be on a file system the nodes share, with tavrona-cli at the same path there.
      Running it again for the same OUT exports only the parts missing, incomplete or
      stale (made before the project or a source changed, or with other settings); a
      second submission for OUT while one is submitting is refused. With H.264 in MP4,
      MKV or MOV the parts begin on key frames (see export), so N can be at most the
      number of two-second groups.
      --audio-codec, --no-audio, --stop-on-event-error and --timeout-error go to every
      task's export.
  tavrona-cli farm --status OUT
      List the parts of OUT's farm export: each range, complete, incomplete, stale or
      missing, and whether OUT is the join of the last submission's parts.

Options common to the project commands:
  --skip-missing   go on when a source cannot be opened, leaving its slot empty
                   (otherwise the load fails and names the file)
  --help           show this text

Options of every command:
  --lang ja|en     the language of the messages: ja (the default) prints each message
                   in Japanese, then its cause in English; en prints English alone

Settings come from tavrona.INI beside the executable, or from
$XDG_CONFIG_HOME/tavrona/tavrona.INI (~/.config/tavrona) when that folder cannot be
written (read only); image plug-ins are the *.spi files beside the executable.
Exit status: 0 success, 1 failure, 2 usage error.
)";
}

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& given,
                                          std::string& error) {
  CliOptions o;
  // --lang may stand anywhere, before the command too: taken out first, the rest parses as if
  // it were not there.
  std::vector<std::string> args;
  for (size_t i = 0; i < given.size(); ++i) {
    if (given[i] != "--lang") {
      args.push_back(given[i]);
      continue;
    }
    const auto language = i + 1 < given.size() ? ParseCliLanguage(given[i + 1]) : std::nullopt;
    if (!language) {
      error = "--lang takes ja or en";
      return std::nullopt;
    }
    o.language = *language;
    ++i;
  }
  if (args.empty()) {
    error = "no command given";
    return std::nullopt;
  }
  const auto command = CommandNamed(args[0]);
  if (!command) {
    error = "unknown command: " + args[0];
    return std::nullopt;
  }
  o.command = *command;
  bool frameGiven = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> const std::string* {
      if (i + 1 >= args.size()) {
        error = std::string(name) + " needs a value";
        return nullptr;
      }
      return &args[++i];
    };
    int64_t n = 0;
    if (a == "--help" || a == "-h") {
      o.command = CliCommand::Help;
      return o;
    } else if (a == "-o" || a == "--output") {
      const std::string* v = value("-o");
      if (!v) return std::nullopt;
      o.output = *v;
    } else if (a == "--frame") {
      const std::string* v = value("--frame");
      if (!v) return std::nullopt;
      if (!ParseNumber(*v, 0, 0xFFFFFFFFll, n)) {
        error = "--frame takes a frame number 0..4294967295";
        return std::nullopt;
      }
      o.frame = static_cast<uint32_t>(n);
      frameGiven = true;
    } else if (a == "--track") {
      const std::string* v = value("--track");
      if (!v) return std::nullopt;
      if (!ParseNumber(*v, 0, 255, n)) {
        error = "--track takes a track number 0..255";
        return std::nullopt;
      }
      o.track = static_cast<int>(n);
    } else if (a == "--file") {
      const std::string* v = value("--file");
      if (!v) return std::nullopt;
      if (!ParseNumber(*v, 0, 1023, n)) {
        error = "--file takes a file ID 0..1023";
        return std::nullopt;
      }
      o.fileId = static_cast<int>(n);
    } else if (a == "--codec") {
      const std::string* v = value("--codec");
      if (!v) return std::nullopt;
      o.codec = *v;
    } else if (a == "--audio-codec") {
      const std::string* v = value("--audio-codec");
      if (!v) return std::nullopt;
      o.audioCodec = *v;
    } else if (a == "--no-audio") {
      o.noAudio = true;
    } else if (a == "--frames") {
      const std::string* v = value("--frames");
      if (!v) return std::nullopt;
      const auto dash = v->find('-');
      int64_t first = 0;
      int64_t last = 0;
      if (dash == std::string::npos || !ParseNumber(v->substr(0, dash), 0, 0xFFFFFFFFll, first) ||
          !ParseNumber(v->substr(dash + 1), 0, 0xFFFFFFFFll, last) || last < first) {
        error = "--frames takes FIRST-LAST, two frame numbers with FIRST <= LAST";
        return std::nullopt;
      }
      o.frames = FrameRange{static_cast<uint32_t>(first), static_cast<uint32_t>(last)};
    } else if (a == "--container") {
      const std::string* v = value("--container");
      if (!v) return std::nullopt;
      o.container = *v;
    } else if (a == "--parts") {
      const std::string* v = value("--parts");
      if (!v) return std::nullopt;
      if (!ParseNumber(*v, 1, 1048576, n)) {
        error = "--parts takes a count 1..1048576";
        return std::nullopt;
      }
      o.farmParts = static_cast<uint32_t>(n);
    } else if (a == "--partition" || a == "--time") {
      const std::string* v = value(a.c_str());
      if (!v) return std::nullopt;
      if (v->empty() || v->find_first_of(" \t\n") != std::string::npos) {
        error = a + " takes one word";
        return std::nullopt;
      }
      (a == "--partition" ? o.partition : o.timeLimit) = *v;
    } else if (a == "--wait") {
      o.wait = true;
    } else if (a == "--status") {
      const std::string* v = value("--status");
      if (!v) return std::nullopt;
      o.output = *v;
      o.farmStatus = true;
    } else if (a == "--skip-missing") {
      o.skipMissing = true;
    } else if (a == "--stop-on-event-error") {
      o.stopOnEventError = true;
    } else if (a == "--timeout-error") {
      o.timeoutError = true;
    } else if (!a.empty() && a[0] == '-') {
      error = "unknown option: " + a;
      return std::nullopt;
    } else if (o.command == CliCommand::Join) {
      o.parts.push_back(a);
    } else if (o.project.empty()) {
      o.project = a;
    } else {
      error = "unexpected argument: " + a;
      return std::nullopt;
    }
  }

  const bool needsProject = o.command == CliCommand::Render || o.command == CliCommand::Source ||
                            o.command == CliCommand::Info || o.command == CliCommand::Export ||
                            (o.command == CliCommand::Farm && !o.farmStatus);
  if (needsProject && o.project.empty()) {
    error = "a project file is needed";
    return std::nullopt;
  }
  if (!needsProject && !o.project.empty()) {
    error = "unexpected argument: " + o.project;
    return std::nullopt;
  }
  const bool needsOutput = o.command == CliCommand::Render || o.command == CliCommand::Source ||
                           o.command == CliCommand::Export || o.command == CliCommand::Join ||
                           o.command == CliCommand::Farm;
  if (needsOutput && o.output.empty()) {
    error = "-o OUT is needed";
    return std::nullopt;
  }
  if (o.command == CliCommand::Render && !frameGiven) {
    error = "render needs --frame N";
    return std::nullopt;
  }
  if (o.command == CliCommand::Source && !o.fileId) {
    error = "source needs --file ID";
    return std::nullopt;
  }
  if (o.track && o.command != CliCommand::Render) {
    error = "--track belongs to render";
    return std::nullopt;
  }
  if (o.fileId && o.command != CliCommand::Source) {
    error = "--file belongs to source";
    return std::nullopt;
  }
  if (o.frames && o.command != CliCommand::Export) {
    error = "--frames belongs to export";
    return std::nullopt;
  }
  if ((o.noAudio || !o.audioCodec.empty()) && o.command != CliCommand::Export &&
      o.command != CliCommand::Farm) {
    error = "--no-audio and --audio-codec belong to export and farm";
    return std::nullopt;
  }
  if (o.noAudio && !o.audioCodec.empty()) {
    error = "--no-audio leaves the sound out: no --audio-codec with it";
    return std::nullopt;
  }
  if (!o.container.empty() && o.command != CliCommand::Codecs) {
    error = "--container belongs to codecs";
    return std::nullopt;
  }
  const bool farmOption =
      o.farmParts != 0 || !o.partition.empty() || !o.timeLimit.empty() || o.wait || o.farmStatus;
  if (farmOption && o.command != CliCommand::Farm) {
    error = "--parts, --partition, --time, --wait and --status belong to farm";
    return std::nullopt;
  }
  if (o.command == CliCommand::Farm && o.farmStatus &&
      (o.farmParts != 0 || !o.partition.empty() || !o.timeLimit.empty() || o.wait)) {
    error = "farm --status OUT takes no other option";
    return std::nullopt;
  }
  if (o.command == CliCommand::Farm && !o.farmStatus && o.farmParts == 0) {
    error = "farm needs --parts N";
    return std::nullopt;
  }
  if (o.command == CliCommand::Farm && o.skipMissing) {
    // The nodes export with every source; a farm never goes on without one.
    error = "--skip-missing does not belong to farm: every source must open";
    return std::nullopt;
  }
  if (o.command == CliCommand::Join && o.parts.empty()) {
    error = "join needs at least one part";
    return std::nullopt;
  }
  return o;
}

}  // namespace tavrona
