// A regular file opened for reading at arbitrary offsets (pread), closed with the object.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace tavrona {

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::filesystem::path& fileName) {
    // Non-blocking so that opening a FIFO cannot hang; only regular files count as open.
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
      size_ = static_cast<uint64_t>(info.st_size);
      ok_ = true;
    }
  }
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool Ok() const { return ok_; }
  // The size when the file was opened.
  uint64_t Size() const { return size_; }
  // Reads exactly n bytes at offset; false when the file holds fewer or reading fails.
  bool ReadAt(uint64_t offset, void* destination, size_t n) {
    if (!ok_ || offset > size_ || n > size_ - offset) return false;
    auto* out = static_cast<uint8_t*>(destination);
    while (n > 0) {
      const ssize_t got = ::pread(fd_, out, n, static_cast<off_t>(offset));
      if (got <= 0) return false;  // an error, or the file shrank under us
      out += got;
      offset += static_cast<uint64_t>(got);
      n -= static_cast<size_t>(got);
    }
    return true;
  }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  bool ok_ = false;
};

}  // namespace tavrona
