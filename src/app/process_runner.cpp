#include "app/process_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern char** environ;

namespace tavrona {

std::optional<std::string> FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

ProgramRun RunProgram(const std::vector<std::string>& argv,
                      std::optional<std::chrono::milliseconds> limit) {
  ProgramRun run;
  if (argv.empty()) {
    run.err = "no program to run";
    return run;
  }
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) {
    run.err = std::strerror(errno);
    return run;
  }
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    run.err = std::strerror(errno);
    close(outPipe[0]);
    close(outPipe[1]);
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (spawned != 0) {
    run.err = argv[0] + ": " + std::strerror(spawned);
    close(outPipe[0]);
    close(errPipe[0]);
    return run;
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = limit ? Clock::now() + *limit : Clock::time_point::max();
  // Both pipes drained together so neither can fill up and stall the child.
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  while (open > 0) {
    int waitMs = -1;
    if (limit) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        run.timedOut = true;
        break;
      }
      waitMs = static_cast<int>(std::min<long long>(left, 60'000));
    }
    const int ready = poll(fds, 2, waitMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (auto& f : fds) {
    if (f.fd >= 0) close(f.fd);
  }
  // Closed outputs do not mean the end: a program may close them and keep running.
  if (run.timedOut) kill(pid, SIGKILL);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, limit && !run.timedOut ? WNOHANG : 0);
    if (done == pid) break;
    if (done < 0) {
      if (errno == EINTR) continue;
      status = -1;
      break;
    }
    if (Clock::now() >= deadline) {  // still running (WNOHANG) when its time is up
      run.timedOut = true;
      kill(pid, SIGKILL);
    } else {
      poll(nullptr, 0, 10);
    }
  }
  if (run.timedOut) {
    run.status = -1;
    return run;
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace tavrona
