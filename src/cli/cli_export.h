// The export commands of tavrona-cli.
#pragma once

#include "cli/cli_options.h"

namespace tavrona {

struct ProjectData;

// Exports the loaded project (or options.frames of it, as a part) to options.output with
// options.codec, in the container the output's extension names. On a terminal a progress
// line is drawn on stderr; Ctrl+C stops the export, closing the file with the frames written.
// Returns the exit status.
int RunExportCommand(const CliOptions& options, ProjectData& project);

// Prints every compressor offered for options.container (AVI when empty): NAME, a tab, a
// description.
int RunCodecsCommand(const CliOptions& options);

// Joins options.parts into options.output (JoinParts), naming the part at fault on failure.
int RunJoinCommand(const CliOptions& options);

}  // namespace tavrona
