#include "app/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace tavrona {

bool WriteFileAtomically(const std::filesystem::path& target, std::string_view data) {
  return WriteFileAtomically(target, std::span<const std::string_view>(&data, 1));
}

bool WriteFileAtomically(const std::filesystem::path& target,
                         std::span<const std::string_view> pieces, const WriteCall& write) {
  std::filesystem::path temp = target;
  temp += ".saving~";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  int failure = 0;  // the first failing call's errno
  for (const std::string_view data : pieces) {
    size_t done = 0;
    while (failure == 0 && done < data.size()) {
      const ssize_t n = write ? write(fd, data.data() + done, data.size() - done)
                              : ::write(fd, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failure = n < 0 ? errno : ENOSPC;
      } else {
        done += static_cast<size_t>(n);
      }
    }
  }
  if (failure == 0 && ::fsync(fd) != 0) failure = errno;
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && ::rename(temp.c_str(), target.c_str()) != 0) failure = errno;
  if (failure == 0) return true;
  ::unlink(temp.c_str());
  errno = failure;
  return false;
}

}  // namespace tavrona
