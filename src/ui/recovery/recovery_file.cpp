#include "ui/recovery/recovery_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavutil/crc.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "model/little_endian.h"

namespace tavrona {
namespace {

constexpr const char* kDataSuffix = ".recovery";
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kBrokenSuffix = ".broken";
constexpr const char* kTempSuffix = ".saving~";  // WriteFileAtomically's temporary file

void StoreLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t LoadLe64(const uint8_t* p) {
  return LoadLe32(p) | (static_cast<uint64_t>(LoadLe32(p + 4)) << 32);
}

void SetWhy(std::string* why, std::string text) {
  if (why != nullptr) *why = std::move(text);
}

// Takes the flock of an open lock file without waiting; false when another process holds it.
bool TryLock(int fd) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// A name no other program picks: the process, the time and a counter of this process.
std::string InstanceName() {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return "tavrona-" + std::to_string(::getpid()) + "-" +
         std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(now).count()) + "-" +
         std::to_string(counter++);
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

uint32_t RecoveryCrc32(uint32_t crc, std::string_view bytes) {
  // libavutil's reflected table without the pre- and post-inversion zlib's crc32 applies.
  const AVCRC* table = av_crc_get_table(AV_CRC_32_IEEE_LE);
  return ~av_crc(table, ~crc, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string RecoveryHead(int64_t savedAtMs, std::string_view originalPath, uint64_t projectBytes) {
  std::string head(kRecoveryHeaderBytes, '\0');
  auto* p = reinterpret_cast<uint8_t*>(head.data());
  std::memcpy(p, kRecoveryMagic, 4);
  StoreLe32(p + 4, kRecoveryVersion);
  StoreLe64(p + 8, static_cast<uint64_t>(savedAtMs));
  StoreLe32(p + 16, static_cast<uint32_t>(originalPath.size()));
  StoreLe32(p + 20, 0);
  StoreLe64(p + 24, projectBytes);
  head.append(originalPath);
  return head;
}

std::string RecoveryTrailer(uint32_t crc) {
  std::string trailer(kRecoveryTrailerBytes, '\0');
  StoreLe32(reinterpret_cast<uint8_t*>(trailer.data()), crc);
  return trailer;
}

bool WriteRecoveryFile(const std::filesystem::path& target, int64_t savedAtMs,
                       std::string_view originalPath, std::string_view projectBytes,
                       std::string* why, const WriteCall& write) {
  const std::string head = RecoveryHead(savedAtMs, originalPath, projectBytes.size());
  const std::string trailer = RecoveryTrailer(RecoveryCrc32(RecoveryCrc32(0, head), projectBytes));
  const std::array<std::string_view, 3> pieces = {head, projectBytes, trailer};
  if (!WriteFileAtomically(target, pieces, write)) {
    SetWhy(why, std::strerror(errno));
    return false;
  }
  // The rename is lasting only once the folder's entry is on the disk too.
  const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

bool ParseRecoveryFile(std::string_view bytes, RecoveryContent& out, std::string* why) {
  if (bytes.size() < 4 || std::memcmp(bytes.data(), kRecoveryMagic, 4) != 0) {
    SetWhy(why, "not a recovery file (it does not start with \"TRCV\")");
    return false;
  }
  if (bytes.size() < kRecoveryHeaderBytes + kRecoveryTrailerBytes) {
    SetWhy(why, "the file is truncated: " + std::to_string(bytes.size()) +
                    " bytes, shorter than its header");
    return false;
  }
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint32_t version = LoadLe32(p + 4);
  if (version != kRecoveryVersion) {
    SetWhy(why, "format version " + std::to_string(version) + " is not this program's " +
                    std::to_string(kRecoveryVersion));
    return false;
  }
  const uint64_t pathBytes = LoadLe32(p + 16);
  const uint64_t projectBytes = LoadLe64(p + 24);
  const uint64_t body = bytes.size() - kRecoveryHeaderBytes - kRecoveryTrailerBytes;
  // Compared without adding the two, which could wrap.
  if (pathBytes > body || projectBytes != body - pathBytes) {
    SetWhy(why, "the file is truncated or too long: it has " + std::to_string(bytes.size()) +
                    " bytes, its header promises " +
                    std::to_string(kRecoveryHeaderBytes + pathBytes + kRecoveryTrailerBytes) +
                    " + " + std::to_string(projectBytes));
    return false;
  }
  const size_t checked = bytes.size() - kRecoveryTrailerBytes;
  const uint32_t stored = LoadLe32(p + checked);
  const uint32_t computed = RecoveryCrc32(0, bytes.substr(0, checked));
  if (stored != computed) {
    SetWhy(why, "the file is damaged: its checksum does not match its content");
    return false;
  }
  out.savedAtMs = static_cast<int64_t>(LoadLe64(p + 8));
  out.originalPath.assign(bytes.substr(kRecoveryHeaderBytes, pathBytes));
  out.projectBytes.assign(bytes.substr(kRecoveryHeaderBytes + pathBytes, projectBytes));
  return true;
}

bool ReadRecoveryFile(const std::filesystem::path& path, RecoveryContent& out, std::string* why) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    SetWhy(why, errno != 0 ? std::strerror(errno) : "the file cannot be opened");
    return false;
  }
  std::string bytes;
  try {
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0) throw std::bad_alloc();
    bytes.resize(static_cast<size_t>(size));
    in.read(bytes.data(), size);
    if (in.gcount() != size) {
      SetWhy(why, "the file cannot be read to its end");
      return false;
    }
  } catch (const std::bad_alloc&) {
    SetWhy(why, "no memory to read the file");
    return false;
  }
  return ParseRecoveryFile(bytes, out, why);
}

std::filesystem::path RecoveryFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::filesystem::path base;
  if (state != nullptr && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "state";
  }
  return base / "tavrona" / "recovery";
}

RecoverySlot::~RecoverySlot() {
  Release();
}

RecoverySlot::RecoverySlot(RecoverySlot&& other) noexcept
    : data_(std::move(other.data_)), lockFd_(other.lockFd_) {
  other.lockFd_ = -1;
  other.data_.clear();
}

RecoverySlot& RecoverySlot::operator=(RecoverySlot&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::move(other.data_);
    lockFd_ = other.lockFd_;
    other.lockFd_ = -1;
    other.data_.clear();
  }
  return *this;
}

void RecoverySlot::Release() {
  if (lockFd_ >= 0) ::close(lockFd_);  // closing the last descriptor drops the flock
  lockFd_ = -1;
}

std::filesystem::path RecoverySlot::LockPath() const {
  std::filesystem::path lock = data_;
  lock.replace_extension(kLockSuffix);
  return lock;
}

std::optional<RecoverySlot> RecoverySlot::Create(const std::filesystem::path& folder,
                                                 std::string* why) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    SetWhy(why, folder.string() + ": " + error.message());
    return std::nullopt;
  }
  const std::string name = InstanceName();
  const std::filesystem::path temp = folder / (name + kLockSuffix + kTempSuffix);
  const std::filesystem::path lock = folder / (name + kLockSuffix);
  const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    SetWhy(why, folder.string() + ": " + std::strerror(errno));
    return std::nullopt;
  }
  const bool ok = TryLock(fd) && ::link(temp.c_str(), lock.c_str()) == 0;
  const int failure = errno;
  ::unlink(temp.c_str());
  if (!ok) {
    ::close(fd);
    SetWhy(why, folder.string() + ": " + std::strerror(failure));
    return std::nullopt;
  }
  return RecoverySlot(folder / (name + kDataSuffix), fd);
}

bool RecoverySlot::RemoveData() const {
  if (data_.empty()) return true;
  std::filesystem::path temp = data_;
  temp += kTempSuffix;
  ::unlink(temp.c_str());
  return ::unlink(data_.c_str()) == 0 || errno == ENOENT;
}

void RecoverySlot::Remove() {
  if (!Valid()) return;
  RemoveData();
  // The lock file goes while its lock is still held: a program that opened it before sees it
  // locked, one that comes after finds no file.
  ::unlink(LockPath().c_str());
  Release();
  data_.clear();
}

std::optional<std::filesystem::path> RecoverySlot::MoveAside() {
  std::filesystem::path broken = data_;
  broken += kBrokenSuffix;
  if (::rename(data_.c_str(), broken.c_str()) != 0) return std::nullopt;
  ::unlink(LockPath().c_str());
  Release();
  data_.clear();
  return broken;
}

std::vector<RecoverySlot> ClaimAbandonedSlots(const std::filesystem::path& folder) {
  std::vector<std::string> locks, data;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (EndsWith(name, kLockSuffix)) locks.push_back(name.substr(0, name.size() - 5));
    if (EndsWith(name, kDataSuffix)) data.push_back(name.substr(0, name.size() - 9));
  }
  std::sort(data.begin(), data.end());
  std::vector<RecoverySlot> claimed;
  for (const std::string& name : data) {
    const std::filesystem::path lock = folder / (name + kLockSuffix);
    int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      // A recovery file without its lock file (removed by hand): claimed through a new lock file
      // made the way Create makes one; another program doing the same at once gets EEXIST.
      const std::filesystem::path temp = folder / (InstanceName() + kLockSuffix + kTempSuffix);
      fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0 && !(TryLock(fd) && ::link(temp.c_str(), lock.c_str()) == 0)) {
        ::close(fd);
        fd = -1;
      }
      ::unlink(temp.c_str());
      if (fd >= 0) {
        claimed.push_back(RecoverySlot(folder / (name + kDataSuffix), fd));
      }
      continue;
    }
    if (fd < 0) continue;
    if (!TryLock(fd)) {  // its program is running
      ::close(fd);
      continue;
    }
    claimed.push_back(RecoverySlot(folder / (name + kDataSuffix), fd));
  }
  // Lock files of programs that ended before they wrote anything.
  for (const std::string& name : locks) {
    if (std::binary_search(data.begin(), data.end(), name)) continue;
    const std::filesystem::path lock = folder / (name + kLockSuffix);
    const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    if (TryLock(fd)) {
      std::filesystem::path data = folder / (name + kDataSuffix);
      // Written after the listing was taken? Then it is a slot like the others.
      if (::access(data.c_str(), F_OK) == 0) {
        claimed.push_back(RecoverySlot(std::move(data), fd));
        continue;
      }
      data += kTempSuffix;
      ::unlink(data.c_str());
      ::unlink(lock.c_str());
    }
    ::close(fd);
  }
  return claimed;
}

std::optional<int64_t> FileModifiedMs(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return int64_t{info.st_mtim.tv_sec} * 1000 + info.st_mtim.tv_nsec / 1'000'000;
}

}  // namespace tavrona
