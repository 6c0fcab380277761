// The export commands of tavrona-cli.
#pragma once

#include "cli/cli_options.h"

namespace tavrona {

struct ProjectData;

// Exports the loaded project to options.output with options.codec. On a terminal a progress
// line is drawn on stderr; Ctrl+C stops the export, closing the file with the frames written.
// Returns the exit status.
int RunExportCommand(const CliOptions& options, ProjectData& project);

// Prints every compressor offered: NAME, a tab, a description.
int RunCodecsCommand();

}  // namespace tavrona
