#include "sources/movie_facts_cache.h"

#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace tavrona {
namespace {

constexpr size_t kMaxKnownMovies = 4096;

struct FileIdentity {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modifiedNs = 0;

  bool operator<(const FileIdentity& other) const {
    return std::tie(path, device, inode, size, modifiedNs) <
           std::tie(other.path, other.device, other.inode, other.size, other.modifiedNs);
  }
};

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return FileIdentity{path.string(), info.st_dev, info.st_ino, info.st_size,
                      static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                          info.st_mtim.tv_nsec};
}

struct Cache {
  std::mutex mutex;
  std::map<FileIdentity, KnownMovie> known;  // guarded by mutex
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

}  // namespace

std::optional<KnownMovie> LookUpKnownMovie(const std::filesystem::path& path) {
  const std::optional<FileIdentity> identity = IdentityOf(path);
  if (!identity) return std::nullopt;
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  const auto found = cache.known.find(*identity);
  if (found == cache.known.end()) return std::nullopt;
  return found->second;
}

void RememberKnownMovie(const std::filesystem::path& path, const KnownMovie& known) {
  const std::optional<FileIdentity> identity = IdentityOf(path);
  if (!identity) return;
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  if (cache.known.size() >= kMaxKnownMovies) cache.known.clear();
  cache.known[*identity] = known;
}

void ForgetKnownMovies() {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  cache.known.clear();
}

}  // namespace tavrona
