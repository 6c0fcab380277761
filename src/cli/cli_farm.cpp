#include "cli/cli_farm.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <utility>

#include "app/atomic_file.h"
#include "export/avi_writer.h"
#include "export/export_job.h"
#include "export/export_part.h"
#include "export/project_digest.h"
#include "export/project_export.h"
#include "model/project_data.h"
#include "model/text_encoding.h"

extern char** environ;

namespace tavrona {
namespace {

namespace fs = std::filesystem;

constexpr const char* kManifestHeader = "tavrona-farm 1";

std::string Extension(const std::string& output) {
  const std::string ext = fs::path(output).extension().string();
  return ext.empty() ? ".avi" : ext;
}

bool ParseUint(const std::string& text, uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

// sbatch expands %a, %j and the like in --output; a literal % is written %%.
std::string EscapePercent(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

void AddSlurmOptions(std::vector<std::string>& args, const SlurmOptions& slurm) {
  if (!slurm.partition.empty()) args.push_back("--partition=" + slurm.partition);
  if (!slurm.timeLimit.empty()) args.push_back("--time=" + slurm.timeLimit);
}

// The value of `key=` in scontrol's one-line record: up to the next space.
std::optional<std::string> Field(const std::string& record, const std::string& key) {
  size_t at = 0;
  const std::string wanted = key + "=";
  while ((at = record.find(wanted, at)) != std::string::npos) {
    if (at == 0 || record[at - 1] == ' ' || record[at - 1] == '\n') {
      const size_t begin = at + wanted.size();
      const size_t end = record.find_first_of(" \n", begin);
      return record.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    }
    at += wanted.size();
  }
  return std::nullopt;
}

// ---- running Slurm's commands ---------------------------------------------------------------

struct ProgramRun {
  int status = -1;  // exit status; -1 when the program could not start or did not exit
  std::string out, err;
};

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

// Runs argv[0] (looked up on PATH) with both outputs captured; waits for it to end.
ProgramRun RunProgram(const std::vector<std::string>& argv) {
  ProgramRun run;
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
  // Both pipes drained together so neither can fill up and stall the child.
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
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
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// Writes a farm file whole or not at all (WriteFileAtomically); false with *why in the
// system's words.
bool WriteFarmFile(const std::string& path, const std::string& text, std::string* why) {
  if (WriteFileAtomically(path, text)) return true;
  *why = "cannot write " + path + ": " + std::strerror(errno);
  return false;
}

std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::optional<PartInfo>> ProbeParts(const FarmPlan& plan,
                                                std::vector<std::string>* whys) {
  std::vector<std::optional<PartInfo>> infos;
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    std::string why;
    infos.push_back(ReadPartInfo(FarmPartPath(plan, i), &why));
    if (whys) whys->push_back(why);
  }
  return infos;
}

const char* StateName(PartState s) {
  switch (s) {
    case PartState::Complete:
      return "complete";
    case PartState::Incomplete:
      return "incomplete";
    case PartState::Stale:
      return "stale";
    case PartState::Missing:
      return "missing";
  }
  return "?";
}

// Prints every part's range and verdict; returns how many are complete.
size_t PrintPartList(const FarmPlan& plan, FILE* to) {
  std::vector<std::string> whys;
  const auto infos = ProbeParts(plan, &whys);
  size_t counts[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    PartVerdict v = JudgePart(plan, i, infos[i]);
    // A file that is there but cannot be read as a part is not simply missing.
    std::error_code ec;
    if (v.state == PartState::Missing && fs::exists(FarmPartPath(plan, i), ec)) {
      v.state = PartState::Incomplete;
      v.detail = whys[i];
    }
    ++counts[static_cast<int>(v.state)];
    char range[48];
    std::snprintf(range, sizeof range, "%u-%u", plan.ranges[i].first, plan.ranges[i].second);
    std::fprintf(to, "part %-4zu frames %-17s %s%s%s\n", i, range, StateName(v.state),
                 v.detail.empty() || v.state == PartState::Missing ? "" : ": ",
                 v.state == PartState::Missing ? "" : v.detail.c_str());
  }
  std::fprintf(to, "%zu parts: %zu complete, %zu incomplete, %zu stale, %zu missing\n",
               plan.ranges.size(), counts[0], counts[1], counts[2], counts[3]);
  return counts[0];
}

// Polls the job until it ends. Each poll is one scontrol call a second apart; scontrol failing
// for a minute on end (the controller gone) ends the wait as a failure.
JobOutcome WaitForJob(const std::string& jobId, SlurmJobState& last) {
  std::string shown;
  int failures = 0;
  for (;;) {
    const ProgramRun run = RunProgram({"scontrol", "show", "job", "-o", jobId});
    const auto job = run.status == 0 ? ParseScontrolJob(run.out) : std::nullopt;
    if (!job) {
      if (++failures >= 60) {
        last = {"UNKNOWN", Trimmed(run.err)};
        return JobOutcome::Failed;
      }
    } else {
      failures = 0;
      last = *job;
      const std::string now = job->state + " (" + job->reason + ")";
      if (now != shown) {
        std::printf("join job %s: %s\n", jobId.c_str(), now.c_str());
        std::fflush(stdout);
        shown = now;
      }
      const JobOutcome outcome = JudgeJob(*job);
      if (outcome != JobOutcome::Waiting) return outcome;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}

std::optional<std::string> SubmitJob(const std::vector<std::string>& args, std::string* why) {
  std::vector<std::string> argv{"sbatch"};
  argv.insert(argv.end(), args.begin(), args.end());
  const ProgramRun run = RunProgram(argv);
  if (run.status != 0) {
    *why = "sbatch failed" +
           (run.status > 0 ? " (exit status " + std::to_string(run.status) + ")" : std::string()) +
           ": " + Trimmed(run.err);
    return std::nullopt;
  }
  auto id = ParseSbatchJobId(run.out);
  if (!id) *why = "sbatch printed no job id: " + Trimmed(run.out);
  return id;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tavrona-cli: %s\n", message.c_str());
  return 1;
}

}  // namespace

// ---- plan and manifest ----------------------------------------------------------------------

std::string FarmPartsFolder(const std::string& output) {
  return output + ".parts";
}

std::string FarmManifestPath(const std::string& output) {
  return FarmPartsFolder(output) + "/manifest.txt";
}

std::string FarmPartPath(const FarmPlan& plan, size_t index) {
  return FarmPartsFolder(plan.output) + "/part-" + std::to_string(index) + Extension(plan.output);
}

std::string FarmWritingPath(const FarmPlan& plan, size_t index) {
  return FarmPartsFolder(plan.output) + "/part-" + std::to_string(index) + ".writing" +
         Extension(plan.output);
}

std::string FarmJoiningPath(const FarmPlan& plan) {
  return FarmPartsFolder(plan.output) + "/joined.writing" + Extension(plan.output);
}

std::string FarmJoinedPath(const std::string& output) {
  return FarmPartsFolder(output) + "/joined.txt";
}

std::string FarmPlanIdentity(const FarmPlan& plan) {
  FarmPlan bare = plan;
  bare.jobIds.clear();
  return FormatFarmManifest(bare);
}

OutputVerdict JudgeFarmOutput(const FarmPlan& plan) {
  struct stat out {};
  struct stat joined {};
  if (::stat(plan.output.c_str(), &out) != 0) return {OutputState::Absent, {}};
  const std::string marker = FarmJoinedPath(plan.output);
  const auto text = ReadText(marker);
  if (!text || ::stat(marker.c_str(), &joined) != 0) {
    return {OutputState::Stale, "no join of these parts is recorded"};
  }
  if (*text != FarmPlanIdentity(plan)) {
    return {OutputState::Stale, "joined from the parts of an earlier plan"};
  }
  const auto newer = [](const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
  };
  if (newer(out.st_mtim, joined.st_mtim)) {
    return {OutputState::Stale, "written again since the join"};
  }
  return {OutputState::Current, {}};
}

void RemoveStaleWritingFiles(const FarmPlan& plan, const std::vector<size_t>& indices) {
  std::vector<std::string> paths;
  for (size_t i : indices) paths.push_back(FarmWritingPath(plan, i));
  paths.push_back(FarmJoiningPath(plan));
  for (const std::string& path : paths) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec))) continue;
    if (!fs::remove(path, ec) && ec) {
      std::fprintf(stderr, "tavrona-cli: cannot remove %s, left by an earlier run: %s\n",
                   path.c_str(), ec.message().c_str());
    }
  }
}

// ---- one submission at a time ---------------------------------------------------------------

FarmLock::FarmLock(FarmLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FarmLock& FarmLock::operator=(FarmLock&& other) noexcept {
  if (this != &other) {
    FarmLock released(std::move(*this));
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FarmLock::~FarmLock() {
  if (fd_ < 0) return;
  // The note names the holder only while there is one.
  const bool cleared = ::ftruncate(fd_, 0) == 0;
  (void)cleared;
  ::close(fd_);  // closing the last descriptor releases the flock
}

std::string FarmLockPath(const std::string& partsFolder) {
  return partsFolder + "/lock";
}

std::optional<FarmLock> FarmLock::Take(const std::string& partsFolder, std::string* why) {
  const std::string path = FarmLockPath(partsFolder);
  // Not truncated on opening: a holder's note must stay for the one refused to read.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    *why = "cannot open the lock " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  FarmLock lock;
  lock.fd_ = fd;
  int taken;
  while ((taken = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (taken != 0) {
    if (errno != EWOULDBLOCK) {
      *why = "cannot lock " + path + ": " + std::strerror(errno);
      return std::nullopt;
    }
    char note[256] = {};
    const ssize_t n = ::pread(fd, note, sizeof note - 1, 0);
    const std::string holder = Trimmed(std::string(note, n > 0 ? static_cast<size_t>(n) : 0));
    *why = "another farm submission for the same output holds the lock " + path +
           (holder.empty() ? std::string() : " (" + holder + ")") +
           "; try again once it has submitted its jobs";
    return std::nullopt;
  }
  // Who holds it, for a submission refused meanwhile; the lock holds whether or not the note
  // is written.
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  char stamp[32] = {};
  const time_t now = ::time(nullptr);
  struct tm local {};
  ::localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  const std::string note =
      "process " + std::to_string(::getpid()) + " on " + host + " since " + stamp + "\n";
  const bool noted = ::ftruncate(fd, 0) == 0 &&
                     ::pwrite(fd, note.data(), note.size(), 0) == static_cast<ssize_t>(note.size());
  (void)noted;
  return lock;
}

std::string FormatFarmManifest(const FarmPlan& plan) {
  std::string out = std::string(kManifestHeader) + "\n";
  out += "project " + plan.project + "\n";
  out += "output " + plan.output + "\n";
  out += "codec " + plan.codec + "\n";
  out += "size " + std::to_string(plan.width) + "x" + std::to_string(plan.height) + "\n";
  out += "length " + std::to_string(plan.length) + "\n";
  if (plan.rate != 0) {
    out += "rate " + std::to_string(plan.rate) + "/" + std::to_string(plan.scale) + "\n";
  }
  if (!plan.digest.empty()) out += "digest " + plan.digest + "\n";
  if (!plan.sound.empty()) out += "sound " + plan.sound + "\n";
  out += "parts " + std::to_string(plan.ranges.size()) + "\n";
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    out += "part " + std::to_string(i) + " " + std::to_string(plan.ranges[i].first) + " " +
           std::to_string(plan.ranges[i].second) + "\n";
  }
  if (!plan.jobIds.empty()) {
    out += "jobs";
    for (const std::string& id : plan.jobIds) out += " " + id;
    out += "\n";
  }
  return out;
}

std::optional<FarmPlan> ParseFarmManifest(const std::string& text, std::string* why) {
  std::stringstream lines(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& reason) -> std::optional<FarmPlan> {
    *why = number > 0 ? "line " + std::to_string(number) + ": " + reason : reason;
    return std::nullopt;
  };
  if (!std::getline(lines, line) || line != kManifestHeader) {
    number = 1;
    return fail("not a farm manifest (the first line is not \"" + std::string(kManifestHeader) +
                "\")");
  }
  number = 1;
  FarmPlan plan;
  std::map<std::string, bool> seen;
  uint32_t parts = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (line.empty()) continue;
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (key == "part") {
      std::stringstream words(value);
      std::string index, first, last, extra;
      uint32_t i = 0;
      std::pair<uint32_t, uint32_t> range;
      if (!(words >> index >> first >> last) || (words >> extra) || !ParseUint(index, i) ||
          !ParseUint(first, range.first) || !ParseUint(last, range.second)) {
        return fail("a part line is \"part INDEX FIRST LAST\"");
      }
      if (i != plan.ranges.size()) return fail("part " + index + " out of order");
      plan.ranges.push_back(range);
      continue;
    }
    if (seen[key]) return fail("\"" + key + "\" given twice");
    seen[key] = true;
    if (key == "project") {
      plan.project = value;
    } else if (key == "output") {
      plan.output = value;
    } else if (key == "codec") {
      plan.codec = value;
    } else if (key == "size") {
      const size_t x = value.find('x');
      if (x == std::string::npos || !ParseUint(value.substr(0, x), plan.width) ||
          !ParseUint(value.substr(x + 1), plan.height)) {
        return fail("size is WIDTHxHEIGHT");
      }
    } else if (key == "length") {
      if (!ParseUint(value, plan.length)) return fail("length is a frame count");
    } else if (key == "rate") {
      const size_t slash = value.find('/');
      if (slash == std::string::npos || !ParseUint(value.substr(0, slash), plan.rate) ||
          !ParseUint(value.substr(slash + 1), plan.scale) || plan.rate == 0 || plan.scale == 0) {
        return fail("rate is RATE/SCALE, two positive numbers");
      }
    } else if (key == "digest") {
      if (value.size() != 64 || value.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return fail("digest is 64 lowercase hexadecimal digits");
      }
      plan.digest = value;
    } else if (key == "sound") {
      if (value.empty() || value.find_first_of(" \t") != std::string::npos) {
        return fail("sound is one codec name");
      }
      plan.sound = value;
    } else if (key == "parts") {
      if (!ParseUint(value, parts)) return fail("parts is a count");
    } else if (key == "jobs") {
      std::stringstream words(value);
      for (std::string id; words >> id;) {
        uint32_t number = 0;
        if (!ParseUint(id, number)) return fail("jobs are job ids");
        plan.jobIds.push_back(id);
      }
    } else {
      return fail("unknown key \"" + key + "\"");
    }
  }
  number = 0;
  for (const char* key : {"project", "output", "codec", "size", "length", "parts"}) {
    if (!seen[key]) return fail(std::string("no \"") + key + "\" line");
  }
  if (plan.project.empty() || plan.output.empty() || plan.codec.empty()) {
    return fail("empty project, output or codec");
  }
  if (parts == 0 || parts != plan.ranges.size()) {
    return fail("parts says " + std::to_string(parts) + " but " +
                std::to_string(plan.ranges.size()) + " part lines follow");
  }
  // The parts must cover 0..length-1 without gap or overlap: the join depends on it.
  uint32_t next = 0;
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    const auto [first, last] = plan.ranges[i];
    if (first != next || last < first || last >= plan.length) {
      return fail("part " + std::to_string(i) + " (" + std::to_string(first) + "-" +
                  std::to_string(last) + ") does not follow on from frame " + std::to_string(next) +
                  " within the length " + std::to_string(plan.length));
    }
    next = last + 1;
  }
  if (next != plan.length) return fail("the parts end before the last frame");
  return plan;
}

PartRequirement FarmPartRequirement(const FarmPlan& plan, size_t index) {
  PartRequirement r;
  r.first = plan.ranges.at(index).first;
  r.last = plan.ranges.at(index).second;
  r.projectLength = plan.length;
  r.width = plan.width;
  r.height = plan.height;
  r.rate = plan.rate;
  r.scale = plan.scale;
  r.codec = PartCodecName(plan.codec);
  r.container = ContainerName(ContainerForPath(FromUtf8(plan.output)));
  r.digest = plan.digest;
  r.sound = plan.sound;
  return r;
}

PartVerdict JudgePart(const FarmPlan& plan, size_t index, const std::optional<PartInfo>& info) {
  if (!info) return {PartState::Missing, "missing"};
  PartCheck check = CheckPart(*info, FarmPartRequirement(plan, index));
  switch (check.fault) {
    case PartFault::None:
      return {PartState::Complete, {}};
    case PartFault::Frames:
      return {PartState::Incomplete, std::move(check.detail)};
    default:
      return {PartState::Stale, std::move(check.detail)};
  }
}

std::vector<size_t> PartsToResubmit(const FarmPlan& plan, const std::optional<FarmPlan>& previous,
                                    const std::vector<std::optional<PartInfo>>& infos) {
  const bool samePlan = previous && previous->project == plan.project &&
                        previous->codec == plan.codec && previous->width == plan.width &&
                        previous->height == plan.height && previous->length == plan.length &&
                        previous->rate == plan.rate && previous->scale == plan.scale &&
                        previous->digest == plan.digest && previous->sound == plan.sound &&
                        previous->ranges == plan.ranges;
  std::vector<size_t> indices;
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    const bool complete =
        samePlan && i < infos.size() && JudgePart(plan, i, infos[i]).state == PartState::Complete;
    if (!complete) indices.push_back(i);
  }
  return indices;
}

// ---- scripts and submission -----------------------------------------------------------------

std::string ShellQuote(const std::string& word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

namespace {

// The first line of every attempt in a log, which sbatch appends to: a rerun keeps what earlier
// attempts wrote (a cancellation, a failure) after it.
std::string AttemptHeader(bool arrayTask) {
  return std::string("echo \"== attempt: job ") +
         (arrayTask ? "${SLURM_ARRAY_JOB_ID:-?} task ${SLURM_ARRAY_TASK_ID:-?}"
                    : "${SLURM_JOB_ID:-?}") +
         " on $(hostname) at $(date '+%Y-%m-%d %H:%M:%S %z')\"\n";
}

// Removes a half-written file after a failure. Only a regular file: anything else in its place
// made the export fail, which said so once already.
std::string RemoveIfFile(const std::string& variable) {
  return "[ ! -f \"$" + variable + "\" ] || rm -f \"$" + variable + "\"";
}

}  // namespace

std::string BuildArrayScript(const FarmPlan& plan, const std::string& cliPath) {
  std::string s =
      "#!/bin/sh\n"
      "# Written by tavrona-cli farm: array task i exports frame range i of the project into\n"
      "# a temporary file and renames it to its part only when the export succeeded.\n"
      "set -u\n" +
      AttemptHeader(true) + "case \"${SLURM_ARRAY_TASK_ID:-}\" in\n";
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    s += "  " + std::to_string(i) + ") range=" + std::to_string(plan.ranges[i].first) + "-" +
         std::to_string(plan.ranges[i].second) + "; part=" + ShellQuote(FarmPartPath(plan, i)) +
         "; writing=" + ShellQuote(FarmWritingPath(plan, i)) + " ;;\n";
  }
  s += "  *) echo \"tavrona-cli farm: no frame range for array task "
       "'${SLURM_ARRAY_TASK_ID:-}'\" >&2; exit 1 ;;\n"
       "esac\n";
  s += ShellQuote(cliPath) + " export " + ShellQuote(plan.project) +
       " -o \"$writing\" --frames \"$range\" --codec " + ShellQuote(plan.codec);
  for (const std::string& option : plan.exportOptions) s += " " + ShellQuote(option);
  s += " || { status=$?; " + RemoveIfFile("writing") + "; exit $status; }\n";
  s += "mv -f \"$writing\" \"$part\"\n";
  return s;
}

std::string BuildJoinScript(const FarmPlan& plan, const std::string& cliPath) {
  const std::string marker = FarmJoinedPath(plan.output);
  std::string s =
      "#!/bin/sh\n"
      "# Written by tavrona-cli farm: joins the parts in order into a temporary file and\n"
      "# renames it to the output only when the join succeeded; then records the plan it\n"
      "# joined, for farm --status.\n"
      "set -u\n" +
      AttemptHeader(false) + "joining=" + ShellQuote(FarmJoiningPath(plan)) + "\n" +
      ShellQuote(cliPath) + " join";
  for (size_t i = 0; i < plan.ranges.size(); ++i)
    s += " \\\n  " + ShellQuote(FarmPartPath(plan, i));
  s += " \\\n  -o \"$joining\" || { status=$?; " + RemoveIfFile("joining") + "; exit $status; }\n";
  s += "mv -f \"$joining\" " + ShellQuote(plan.output) + " || exit\n";
  s += "printf '%s' " + ShellQuote(FarmPlanIdentity(plan)) + " >" + ShellQuote(marker + ".new") +
       " && mv -f " + ShellQuote(marker + ".new") + " " + ShellQuote(marker) + "\n";
  return s;
}

std::string ArraySpec(const std::vector<size_t>& indices) {
  std::string out;
  for (size_t i = 0; i < indices.size();) {
    size_t j = i;
    while (j + 1 < indices.size() && indices[j + 1] == indices[j] + 1) ++j;
    if (!out.empty()) out += ',';
    out += std::to_string(indices[i]);
    if (j > i) out += "-" + std::to_string(indices[j]);
    i = j + 1;
  }
  return out;
}

std::vector<std::string> ArraySubmitArgs(const FarmPlan& plan, const std::vector<size_t>& indices,
                                         const SlurmOptions& slurm, const std::string& script) {
  const std::string folder = FarmPartsFolder(plan.output);
  std::vector<std::string> args{"--parsable",
                                "--job-name=tavrona-parts",
                                "--array=" + ArraySpec(indices),
                                "--output=" + EscapePercent(folder) + "/part-%a.log",
                                "--open-mode=append",
                                "--chdir=" + folder};
  AddSlurmOptions(args, slurm);
  args.push_back(script);
  return args;
}

std::vector<std::string> JoinSubmitArgs(const FarmPlan& plan, const std::string& arrayJobId,
                                        const SlurmOptions& slurm, const std::string& script) {
  const std::string folder = FarmPartsFolder(plan.output);
  std::vector<std::string> args{"--parsable", "--job-name=tavrona-join",
                                "--output=" + EscapePercent(folder) + "/join.log",
                                "--open-mode=append", "--chdir=" + folder};
  if (!arrayJobId.empty()) {
    // A failed task must leave the join unrun, and not pending for ever.
    args.push_back("--dependency=afterok:" + arrayJobId);
    args.push_back("--kill-on-invalid-dep=yes");
  }
  AddSlurmOptions(args, slurm);
  args.push_back(script);
  return args;
}

std::vector<std::string> ListedJobIds(const std::string& output) {
  std::vector<std::string> ids;
  std::stringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const std::string id = Trimmed(line).substr(0, Trimmed(line).find('_'));
    uint32_t number = 0;
    if (!ParseUint(id, number)) continue;
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }
  return ids;
}

std::optional<std::string> ParseSbatchJobId(const std::string& output) {
  std::string id = Trimmed(output);
  // Messages may come before the id; --parsable puts it on the last line.
  const size_t lineStart = id.find_last_of('\n');
  if (lineStart != std::string::npos) id = id.substr(lineStart + 1);
  id = id.substr(0, id.find(';'));
  uint32_t number = 0;
  if (!ParseUint(id, number)) return std::nullopt;
  return id;
}

std::optional<SlurmJobState> ParseScontrolJob(const std::string& output) {
  const auto state = Field(output, "JobState");
  if (!state || state->empty()) return std::nullopt;
  return SlurmJobState{*state, Field(output, "Reason").value_or("")};
}

JobOutcome JudgeJob(const SlurmJobState& job) {
  if (job.state == "COMPLETED") return JobOutcome::Succeeded;
  if (job.state == "PENDING") {
    return job.reason == "DependencyNeverSatisfied" ? JobOutcome::Failed : JobOutcome::Waiting;
  }
  static const char* const kStillGoing[] = {
      "CONFIGURING", "RUNNING",       "COMPLETING",   "SUSPENDED", "REQUEUED",
      "RESIZING",    "SIGNALING",     "STAGE_OUT",    "STOPPED",   "REQUEUE_HOLD",
      "REQUEUE_FED", "RESV_DEL_HOLD", "POWER_UP_NODE"};
  for (const char* s : kStillGoing) {
    if (job.state == s) return JobOutcome::Waiting;
  }
  // FAILED, CANCELLED, TIMEOUT, NODE_FAIL, OUT_OF_MEMORY, BOOT_FAIL, DEADLINE, PREEMPTED, ...
  return JobOutcome::Failed;
}

// ---- the commands ---------------------------------------------------------------------------

int RunFarmCommand(const CliOptions& o, const ProjectData& project) {
  if (!FindOnPath("sbatch")) {
    return Fail("sbatch not found on PATH: farm submits its jobs with Slurm's sbatch");
  }
  if (o.wait && !FindOnPath("scontrol")) {
    return Fail("scontrol not found on PATH: --wait follows the join job with Slurm's scontrol");
  }
  // The tasks would each refuse a codec the output's container does not take: refuse it once.
  const OutputContainer container = ContainerForPath(FromUtf8(o.output));
  bool known = false;
  for (const auto& c : ListCompressors(container)) known = known || c.name == o.codec;
  if (!known) {
    std::fprintf(stderr,
                 "tavrona-cli: unknown codec \"%s\" for %s (see: tavrona-cli codecs --container "
                 "%s)\n",
                 o.codec.c_str(), ContainerName(container), ContainerName(container));
    return 2;
  }
  if (project.movieLength == 0) return Fail("the project has no frames to export");
  if (o.farmParts > project.movieLength) {
    std::fprintf(stderr, "tavrona-cli: --parts %u is more than the project's %u frames\n",
                 o.farmParts, project.movieLength);
    return 2;
  }

  std::error_code ec;
  FarmPlan plan;
  plan.project = fs::absolute(o.project, ec).lexically_normal().string();
  plan.output = fs::absolute(o.output, ec).lexically_normal().string();
  if (ec) return Fail("cannot resolve " + o.output + ": " + ec.message());
  if (plan.project.find('\n') != std::string::npos || plan.output.find('\n') != std::string::npos) {
    return Fail("a path with a line break cannot go into the farm's manifest");
  }
  const fs::path outFolder = fs::path(plan.output).parent_path();
  if (!fs::is_directory(outFolder, ec)) {
    return Fail("the output folder " + outFolder.string() + " does not exist");
  }
  plan.codec = o.codec;
  {
    ExportRunOptions run;
    run.sound = !o.noAudio;
    run.soundCodec = o.audioCodec;
    const auto sound = ExportSoundCodec(project, FromUtf8(o.output), run);
    if (!sound) {
      std::fprintf(stderr, "tavrona-cli: %s\n",
                   CliUnknownSoundCodec(o.audioCodec, ContainerName(container)).c_str());
      return 2;
    }
    plan.sound = *sound;
  }
  if (o.noAudio) plan.exportOptions.push_back("--no-audio");
  if (!o.audioCodec.empty()) {
    plan.exportOptions.push_back("--audio-codec");
    plan.exportOptions.push_back(o.audioCodec);
  }
  if (o.stopOnEventError) plan.exportOptions.push_back("--stop-on-event-error");
  if (o.timeoutError) plan.exportOptions.push_back("--timeout-error");
  plan.width = static_cast<uint32_t>(project.outputWidth);
  plan.height = static_cast<uint32_t>(project.outputHeight);
  plan.length = project.movieLength;
  plan.rate = ExportStreamRate(project.frameRate);
  plan.scale = kExportRateScale;
  if (plan.rate == 0) return Fail("the project's frame rate gives no stream rate");
  {
    std::string why;
    const auto digest = ProjectDigest(plan.project, project, &why);
    if (!digest) return Fail("cannot take the project's version: " + why);
    plan.digest = *digest;
  }
  // Parts begin on the whole export's key frames, so that they join into its very frames.
  const uint32_t keyInterval = ExportKeyFrameInterval(project, FromUtf8(o.output), o.codec);
  for (const ExportRange& r : PlanFrameRanges(plan.length, o.farmParts, keyInterval)) {
    plan.ranges.emplace_back(r.first, r.last);
  }
  if (plan.ranges.size() != o.farmParts) {
    std::fprintf(stderr,
                 "tavrona-cli: --parts %u is more than the %u groups of %u frames that %s in %s "
                 "codes (a part starts on a key frame)\n",
                 o.farmParts, (plan.length + keyInterval - 1) / keyInterval, keyInterval,
                 o.codec.c_str(), ContainerName(container));
    return 2;
  }

  const std::string folder = FarmPartsFolder(plan.output);
  fs::create_directories(folder, ec);
  if (ec) return Fail("cannot create the parts folder " + folder + ": " + ec.message());

  // One submission for OUT at a time: from reading the manifest until the jobs are submitted
  // and the manifest names them. Two at once would each plan from the same manifest, and
  // their tasks would write the same parts.
  std::string why;
  std::optional<FarmLock> lock = FarmLock::Take(folder, &why);
  if (!lock) return Fail(why);

  std::optional<FarmPlan> previous;
  if (const auto text = ReadText(FarmManifestPath(plan.output))) {
    std::string why;
    previous = ParseFarmManifest(*text, &why);
    if (!previous) {
      std::fprintf(stderr, "tavrona-cli: ignoring %s (%s): every part is exported again\n",
                   FarmManifestPath(plan.output).c_str(), why.c_str());
    }
  }
  // Tasks of an earlier run still at work would write the same parts as a new submission.
  if (previous && !previous->jobIds.empty() && FindOnPath("squeue")) {
    std::string list;
    for (const std::string& id : previous->jobIds) list += (list.empty() ? "" : ",") + id;
    const ProgramRun run = RunProgram({"squeue", "-h", "-o", "%i", "-j", list});
    const std::vector<std::string> active =
        run.status == 0 ? ListedJobIds(run.out) : std::vector<std::string>{};
    if (!active.empty()) {
      std::string names;
      for (const std::string& id : active) names += (names.empty() ? "" : ", ") + id;
      return Fail("the farm jobs " + names + " for " + plan.output +
                  " are still queued or running; wait for them (or scancel them) first");
    }
  }
  const std::vector<size_t> indices = PartsToResubmit(plan, previous, ProbeParts(plan, nullptr));
  // No earlier job is at work any more: what its tasks or join left half-written goes.
  RemoveStaleWritingFiles(plan, indices);

  char self[4096];
  const ssize_t selfLength = readlink("/proc/self/exe", self, sizeof self - 1);
  if (selfLength <= 0) return Fail(std::string("cannot find this program: ") + strerror(errno));
  const std::string cliPath(self, static_cast<size_t>(selfLength));

  const std::string arrayScript = folder + "/parts.sh";
  const std::string joinScript = folder + "/join.sh";
  if (!WriteFarmFile(FarmManifestPath(plan.output), FormatFarmManifest(plan), &why) ||
      !WriteFarmFile(arrayScript, BuildArrayScript(plan, cliPath), &why) ||
      !WriteFarmFile(joinScript, BuildJoinScript(plan, cliPath), &why)) {
    return Fail(why);
  }

  // The manifest names every job submitted, so that a rerun can see them still at work.
  auto noteJob = [&](const std::string& id) {
    plan.jobIds.push_back(id);
    std::string failure;
    if (!WriteFarmFile(FarmManifestPath(plan.output), FormatFarmManifest(plan), &failure)) {
      std::fprintf(stderr, "tavrona-cli: %s\n", failure.c_str());
    }
  };
  const SlurmOptions slurm{o.partition, o.timeLimit};
  std::string arrayId;
  if (!indices.empty()) {
    const auto id = SubmitJob(ArraySubmitArgs(plan, indices, slurm, arrayScript), &why);
    if (!id) return Fail("the parts were not submitted: " + why);
    arrayId = *id;
    noteJob(arrayId);
    std::printf("parts: job %s, tasks %s (%zu of %zu parts)\n", arrayId.c_str(),
                ArraySpec(indices).c_str(), indices.size(), plan.ranges.size());
  } else {
    std::printf("parts: all %zu parts complete, none submitted\n", plan.ranges.size());
  }
  const auto joinId = SubmitJob(JoinSubmitArgs(plan, arrayId, slurm, joinScript), &why);
  if (!joinId) return Fail("the join was not submitted: " + why);
  std::printf("join: job %s -> %s\n", joinId->c_str(), plan.output.c_str());
  std::fflush(stdout);
  noteJob(*joinId);
  lock.reset();  // submitted: a rerun now sees the jobs in the manifest
  if (!o.wait) return 0;

  SlurmJobState last;
  const JobOutcome outcome = WaitForJob(*joinId, last);
  if (outcome == JobOutcome::Succeeded && fs::exists(plan.output, ec)) {
    std::printf("joined: %s\n", plan.output.c_str());
    return 0;
  }
  std::fprintf(stderr, "tavrona-cli: the join job %s ended %s (%s); the parts:\n", joinId->c_str(),
               last.state.c_str(), last.reason.c_str());
  PrintPartList(plan, stderr);
  std::fprintf(stderr, "logs: %s/part-*.log, %s/join.log\n", folder.c_str(), folder.c_str());
  return 1;
}

int RunFarmStatusCommand(const CliOptions& o) {
  std::error_code ec;
  const std::string output = fs::absolute(o.output, ec).lexically_normal().string();
  const std::string manifest = FarmManifestPath(output);
  const auto text = ReadText(manifest);
  if (!text) {
    return Fail("no farm manifest at " + manifest + ": " + std::strerror(errno));
  }
  std::string why;
  const auto plan = ParseFarmManifest(*text, &why);
  if (!plan) return Fail(manifest + ": " + why);
  const OutputVerdict joined = JudgeFarmOutput(*plan);
  std::string state = joined.state == OutputState::Current ? "present"
                      : joined.state == OutputState::Stale ? "stale: " + joined.detail
                                                           : "absent";
  std::printf("project %s\ncodec   %s\n", plan->project.c_str(), plan->codec.c_str());
  if (!plan->sound.empty()) std::printf("sound   %s\n", plan->sound.c_str());
  std::printf("output  %s (%s)\n", plan->output.c_str(), state.c_str());
  if (!plan->jobIds.empty()) {
    std::printf("jobs   ");
    for (const std::string& id : plan->jobIds) std::printf(" %s", id.c_str());
    std::printf("\n");
  }
  PrintPartList(*plan, stdout);
  return 0;
}

}  // namespace tavrona
