#include "farm/farm_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace tavrona {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

}  // namespace

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

std::optional<FarmLock> FarmLock::Take(const std::string& partsFolder, FarmLockRefusal* refusal) {
  const std::string path = FarmLockPath(partsFolder);
  *refusal = FarmLockRefusal{};
  refusal->path = path;
  // Not truncated on opening: a holder's note must stay for the one refused to read.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    refusal->error = errno;
    refusal->opening = true;
    return std::nullopt;
  }
  FarmLock lock;
  lock.fd_ = fd;
  int taken;
  while ((taken = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (taken != 0) {
    if (errno != EWOULDBLOCK) {
      refusal->error = errno;
      return std::nullopt;
    }
    char note[256] = {};
    const ssize_t n = ::pread(fd, note, sizeof note - 1, 0);
    refusal->held = true;
    refusal->holder = Trimmed(std::string(note, n > 0 ? static_cast<size_t>(n) : 0));
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

}  // namespace tavrona
