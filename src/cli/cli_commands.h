// The commands of tavrona-cli over the same code the GUI uses.
#pragma once

#include "cli/cli_options.h"

namespace tavrona {

// Runs one parsed command. Returns the process exit status: 0 success, 1 failure (the system's
// message on stderr). Needs a QGuiApplication (text sources) and the process state started.
int RunCliCommand(const CliOptions& options);

}  // namespace tavrona
