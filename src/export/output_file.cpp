#include "export/output_file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace tavrona {
namespace {

constexpr int kBufferSize = 1 << 16;
// The closing index takes some tens of bytes a frame in every container written here, and each
// packet some bytes of framing (chunk or box headers).
constexpr uint64_t kReserveBase = 64 * 1024;
constexpr uint64_t kReservePerPacket = 64;
constexpr uint64_t kFramingPerPacket = 64;

int WriteCallback(void* opaque, uint8_t* data, int size) {
  return static_cast<OutputFile*>(opaque)->Write(data, size);
}

int64_t SeekCallback(void* opaque, int64_t offset, int whence) {
  return static_cast<OutputFile*>(opaque)->Seek(offset, whence);
}

}  // namespace

OutputFile::~OutputFile() {
  Close();
}

bool OutputFile::Open(const std::string& path) {
  Close();
  errorNumber_ = 0;
  writeFailed_ = false;
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    Fail(errno);
    return false;
  }
  position_ = size_ = 0;
  claimedEnd_ = 0;
  packets_ = 0;
  canClaim_ = true;
  buffer_ = static_cast<uint8_t*>(av_malloc(kBufferSize));
  if (buffer_ != nullptr) {
    context_ =
        avio_alloc_context(buffer_, kBufferSize, 1, this, nullptr, &WriteCallback, &SeekCallback);
  }
  if (context_ == nullptr) {
    av_freep(&buffer_);
    Fail(ENOMEM);
    return false;
  }
  return true;
}

void OutputFile::Fail(int errorNumber) {
  if (errorNumber_ == 0) errorNumber_ = errorNumber != 0 ? errorNumber : EIO;
}

std::string OutputFile::ErrorText() const {
  return errorNumber_ == 0 ? std::string() : std::string(std::strerror(errorNumber_));
}

int OutputFile::Write(const uint8_t* data, int size) {
  // After a refused claim the closing writes still go into the room claimed before it.
  if (writeFailed_) return AVERROR(errorNumber_);
  int done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, static_cast<size_t>(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(n < 0 ? errno : ENOSPC);
      writeFailed_ = true;
      return AVERROR(errorNumber_);
    }
    done += static_cast<int>(n);
    position_ += n;
    size_ = std::max(size_, position_);
  }
  return size;
}

int64_t OutputFile::Seek(int64_t offset, int whence) {
  if (whence == AVSEEK_SIZE) return size_;
  const off_t to = ::lseek(fd_, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  if (to < 0) {
    Fail(errno);
    writeFailed_ = true;
    return AVERROR(errorNumber_);
  }
  position_ = to;
  return to;
}

bool OutputFile::ClaimPacket(uint64_t bytes) {
  if (!Claim(bytes + kFramingPerPacket)) return false;
  ++packets_;
  return true;
}

bool OutputFile::Claim(uint64_t bytes) {
  if (errorNumber_ != 0) return false;
  if (!canClaim_ || context_ == nullptr) return true;
  // Where the muxer's next bytes go: what it has written, buffered or not.
  const uint64_t from = static_cast<uint64_t>(std::max<int64_t>(avio_tell(context_), 0));
  const uint64_t end = from + bytes + kReserveBase + kReservePerPacket * (packets_ + 2);
  // A process file size limit is not checked by fallocate beyond the end; it is here.
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      end > limit.rlim_cur) {
    Fail(EFBIG);
    return false;
  }
  if (end <= claimedEnd_) return true;
  for (;;) {
    if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(claimedEnd_),
                    static_cast<off_t>(end - claimedEnd_)) == 0) {
      claimedEnd_ = end;
      return true;
    }
    if (errno == EINTR) continue;
    // File systems without it, and devices and pipes, are written unclaimed.
    if (errno == EOPNOTSUPP || errno == ENOSYS || errno == ENODEV || errno == ESPIPE) {
      canClaim_ = false;
      return true;
    }
    Fail(errno);
    return false;
  }
}

bool OutputFile::Flush() {
  if (context_ != nullptr) avio_flush(context_);
  return !writeFailed_;
}

size_t OutputFile::ReadBack(uint64_t offset, uint8_t* data, size_t size) {
  struct stat status {};
  if (fd_ < 0 || !Flush() || ::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_, data + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

bool OutputFile::WriteBack(uint64_t offset, const uint8_t* data, size_t size) {
  if (fd_ < 0 || !Flush() || offset + size > static_cast<uint64_t>(size_)) return false;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail(n < 0 ? errno : EIO);
      writeFailed_ = true;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::Close() {
  if (context_ != nullptr) {
    avio_flush(context_);
    if (context_->error < 0 && errorNumber_ == 0) Fail(AVUNERROR(context_->error));
    av_freep(&context_->buffer);
    avio_context_free(&context_);
    buffer_ = nullptr;
  }
  if (fd_ >= 0) {
    // Space claimed beyond the end goes back to the file system.
    if (claimedEnd_ > static_cast<uint64_t>(size_)) {
      ::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(size_),
                  static_cast<off_t>(claimedEnd_ - static_cast<uint64_t>(size_)));
    }
    if (::close(fd_) != 0 && errorNumber_ == 0 && errno != EINTR) Fail(errno);
    fd_ = -1;
  }
  return errorNumber_ == 0;
}

int WritePacketThrough(AVFormatContext& output, AVPacket& packet) {
  const int result = av_write_frame(&output, &packet);
  if (result < 0 || std::strcmp(output.oformat->name, "matroska") != 0) return result;
  return av_write_frame(&output, nullptr);  // flushes the cluster
}

}  // namespace tavrona
