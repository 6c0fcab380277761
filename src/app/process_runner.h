// Running another program (Slurm's commands, for one) with its outputs captured.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tavrona {

struct ProgramRun {
  // Exit status; -1 when the program could not start, was killed by a signal or outlived the
  // time allowed (then timedOut).
  int status = -1;
  bool timedOut = false;
  std::string out, err;  // what it wrote; err holds the system's words when it did not start
};

// The executable `name` on PATH (an empty folder in PATH means "."); nullopt when none.
std::optional<std::string> FindOnPath(const std::string& name);

// Runs argv[0] (looked up on PATH) with stdin from /dev/null and both outputs captured, and
// waits for it to end, at most `limit` when one is given: a program still running then is
// killed (SIGKILL) and reaped. Blocks the calling thread; safe from any thread.
ProgramRun RunProgram(const std::vector<std::string>& argv,
                      std::optional<std::chrono::milliseconds> limit = std::nullopt);

}  // namespace tavrona
