// Command-line options of tavrona-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_messages.h"

namespace tavrona {

enum class CliCommand { None, Help, Render, Source, Info, Export, Codecs, Join, Farm };

// An inclusive range of output frames (export --frames FIRST-LAST).
struct FrameRange {
  uint32_t first = 0;
  uint32_t last = 0;
};

struct CliOptions {
  CliCommand command = CliCommand::None;
  std::string project;               // PROJECT.vpj
  std::string output;                // -o
  uint32_t frame = 0;                // --frame
  std::optional<int> track;          // --track (render)
  std::optional<int> fileId;         // --file (source)
  std::string codec = "raw";         // --codec (export)
  bool noAudio = false;              // --no-audio (export, farm)
  std::string audioCodec;            // --audio-codec (export, farm); empty: the default
  bool skipMissing = false;          // --skip-missing
  bool stopOnEventError = false;     // --stop-on-event-error
  bool timeoutError = false;         // --timeout-error
  std::optional<FrameRange> frames;  // --frames (export); checked against the project later
  std::vector<std::string> parts;    // join's inputs, in order
  std::string container;             // --container (codecs)
  uint32_t farmParts = 0;            // --parts (farm)
  std::string partition;             // --partition (farm)
  std::string timeLimit;             // --time (farm)
  bool wait = false;                 // --wait (farm)
  bool farmStatus = false;           // farm --status OUT
  CliLanguage language = CliLanguage::Japanese;  // --lang (every command)
};

// Parses argv[1..]. On a usage error returns nullopt and sets error to a one-line reason.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

// The text printed for --help and after a usage error.
const char* CliUsage();

}  // namespace tavrona
