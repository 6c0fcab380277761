#include "cli/cli_options.h"

#include <charconv>

namespace tavrona {
namespace {

bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t& out) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && p == end && out >= low && out <= high;
}

std::optional<CliCommand> CommandNamed(const std::string& name) {
  if (name == "render") return CliCommand::Render;
  if (name == "source") return CliCommand::Source;
  if (name == "info") return CliCommand::Info;
  if (name == "export") return CliCommand::Export;
  if (name == "codecs") return CliCommand::Codecs;
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
  tavrona-cli export PROJECT.vpj -o OUT.avi [--codec NAME] [--stop-on-event-error]
                     [--timeout-error]
      Export the whole project (frame 0 to its movie length) as an AVI file. On a
      terminal a progress line is shown; Ctrl+C stops the export and closes the file.
  tavrona-cli codecs
      List the compressors that export can use: NAME, a tab, a description.

Options common to the project commands:
  --skip-missing   go on when a source cannot be opened, leaving its slot empty
                   (otherwise the load fails and names the file)
  --help           show this text

Settings come from tavrona.INI beside the executable (read only); image plug-ins are
the *.spi files there. Exit status: 0 success, 1 failure, 2 usage error.
)";
}

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args,
                                          std::string& error) {
  CliOptions o;
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
    } else if (a == "--skip-missing") {
      o.skipMissing = true;
    } else if (a == "--stop-on-event-error") {
      o.stopOnEventError = true;
    } else if (a == "--timeout-error") {
      o.timeoutError = true;
    } else if (!a.empty() && a[0] == '-') {
      error = "unknown option: " + a;
      return std::nullopt;
    } else if (o.project.empty()) {
      o.project = a;
    } else {
      error = "unexpected argument: " + a;
      return std::nullopt;
    }
  }

  const bool needsProject = o.command == CliCommand::Render || o.command == CliCommand::Source ||
                            o.command == CliCommand::Info || o.command == CliCommand::Export;
  if (needsProject && o.project.empty()) {
    error = "a project file is needed";
    return std::nullopt;
  }
  if (!needsProject && !o.project.empty()) {
    error = "unexpected argument: " + o.project;
    return std::nullopt;
  }
  const bool needsOutput = o.command == CliCommand::Render || o.command == CliCommand::Source ||
                           o.command == CliCommand::Export;
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
  return o;
}

}  // namespace tavrona
