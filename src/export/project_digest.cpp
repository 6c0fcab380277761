#include "export/project_digest.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "sources/path_resolution.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace tavrona {
namespace {

struct ShaDeleter {
  void operator()(AVSHA* p) const { av_free(p); }
};

class Sha256 {
 public:
  bool Start() {
    sha_.reset(av_sha_alloc());
    return sha_ && av_sha_init(sha_.get(), 256) == 0;
  }
  void Add(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    // av_sha_update takes at most an unsigned int's worth at a time.
    while (size > 0) {
      const size_t step = std::min<size_t>(size, 1u << 30);
      av_sha_update(sha_.get(), bytes, static_cast<unsigned>(step));
      bytes += step;
      size -= step;
    }
  }
  void Add(const std::string& text) { Add(text.data(), text.size()); }
  std::string HexDigest() {
    uint8_t digest[32];
    av_sha_final(sha_.get(), digest);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : digest) {
      hex += kDigits[b >> 4];
      hex += kDigits[b & 15];
    }
    return hex;
  }

 private:
  std::unique_ptr<AVSHA, ShaDeleter> sha_;
};

// One line per place: the full name, then "size mtime-seconds.nanoseconds" or "-" for nothing
// there (or nothing the loader could open). Every field is preceded by its length, so no name
// can pass for another line.
std::string PlaceLine(const std::filesystem::path& place) {
  const std::string name = place.string();
  std::string line = std::to_string(name.size()) + ":" + name + " ";
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return line + "-\n";
  char identity[80];
  std::snprintf(identity, sizeof identity, "%lld %lld.%09ld\n",
                static_cast<long long>(info.st_size), static_cast<long long>(info.st_mtim.tv_sec),
                static_cast<long>(info.st_mtim.tv_nsec));
  return line + identity;
}

}  // namespace

std::optional<std::string> ProjectDigest(const std::filesystem::path& projectFile,
                                         const ProjectData& project, std::string* why) {
  std::string ignored;
  if (why == nullptr) why = &ignored;
  Sha256 sha;
  if (!sha.Start()) {
    *why = "out of memory";
    return std::nullopt;
  }
  sha.Add(std::string("tavrona project digest 1\n"));

  errno = 0;
  std::ifstream in(projectFile, std::ios::binary);
  if (!in) {
    *why = projectFile.string() + ": " + (errno != 0 ? std::strerror(errno) : "cannot be read");
    return std::nullopt;
  }
  uint64_t total = 0;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    sha.Add(buffer, static_cast<size_t>(in.gcount()));
    total += static_cast<uint64_t>(in.gcount());
  }
  if (in.bad()) {
    *why = projectFile.string() + ": " + (errno != 0 ? std::strerror(errno) : "cannot be read");
    return std::nullopt;
  }
  sha.Add("\nproject bytes " + std::to_string(total) + "\n");

  for (int id = 0; id < kFileCount; ++id) {
    const FileEntry& entry = project.files[static_cast<size_t>(id)];
    if (entry.kind != FileMovie && entry.kind != FileStillImage) continue;
    sha.Add("file " + std::to_string(id) + "\n");
    std::filesystem::path previous;
    // The loader's places, in its order (ReadFileSlot: the base path, then the project folder).
    for (std::u16string_view base : {PathView(project.basePath), PathView(project.projectFolder)}) {
      const auto resolved = ResolveSourcePath(PathView(entry.path), base);
      if (!resolved) continue;
      std::error_code ec;
      std::filesystem::path place = std::filesystem::absolute(*resolved, ec);
      if (ec) place = *resolved;
      place = place.lexically_normal();
      if (place == previous) continue;  // an absolute path: one place
      sha.Add(PlaceLine(place));
      previous = place;
    }
  }
  return sha.HexDigest();
}

}  // namespace tavrona
