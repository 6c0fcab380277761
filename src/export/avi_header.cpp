#include "export/avi_header.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "export/output_file.h"
#include "model/little_endian.h"

namespace tavrona {
namespace {

// The headers come first; libavformat's take a few hundred bytes and this covers many streams.
constexpr size_t kHeaderBytes = 16 * 1024;

bool Is(const uint8_t* p, const char (&id)[5]) {
  return std::memcmp(p, id, 4) == 0;
}

// The chunks of [begin, end): calls visit(id, data, dataSize) for each whole chunk; stops at the
// first that does not fit or when visit returns false.
template <typename Visit>
void ForEachChunk(const uint8_t* header, size_t begin, size_t end, Visit visit) {
  size_t at = begin;
  while (at + 8 <= end) {
    const size_t size = LoadLe32(header + at + 4);
    if (size > end - at - 8) return;
    if (!visit(header + at, at + 8, size)) return;
    at += 8 + size + (size & 1);
  }
}

}  // namespace

std::optional<AviRateFields> FindAviRateFields(const uint8_t* header, size_t size) {
  if (size < 12 || !Is(header, "RIFF") || !Is(header + 8, "AVI ")) return std::nullopt;
  std::optional<size_t> microSecPerFrame, scale;
  ForEachChunk(header, 12, size, [&](const uint8_t* chunk, size_t data, size_t dataSize) {
    if (!Is(chunk, "LIST") || dataSize < 4 || !Is(header + data, "hdrl")) return true;
    ForEachChunk(header, data + 4, data + dataSize,
                 [&](const uint8_t* inner, size_t at, size_t atSize) {
                   if (Is(inner, "avih") && atSize >= 4) microSecPerFrame = at;
                   if (Is(inner, "LIST") && atSize >= 4 && Is(header + at, "strl")) {
                     ForEachChunk(header, at + 4, at + atSize,
                                  [&](const uint8_t* s, size_t sAt, size_t sSize) {
                                    // strh: fccType, fccHandler, dwFlags, wPriority, wLanguage,
                                    // dwInitialFrames, dwScale, dwRate, ...
                                    if (Is(s, "strh") && sSize >= 28 && Is(header + sAt, "vids"))
                                      scale = sAt + 20;
                                    return !scale;
                                  });
                   }
                   return !scale;
                 });
    return false;  // one hdrl
  });
  if (!microSecPerFrame || !scale) return std::nullopt;
  return AviRateFields{*microSecPerFrame, *scale, *scale + 4};
}

std::optional<AviFrameRate> ReadAviFrameRate(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<uint8_t> header(kHeaderBytes);
  size_t got = 0;
  while (got < header.size()) {
    const ssize_t n = ::read(fd, header.data() + got, header.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  const auto fields = FindAviRateFields(header.data(), got);
  if (!fields) return std::nullopt;
  return AviFrameRate{LoadLe32(header.data() + fields->rate),
                      LoadLe32(header.data() + fields->scale)};
}

uint32_t AviMicroSecPerFrame(AviFrameRate frameRate) {
  if (frameRate.rate == 0) return 0;
  const uint64_t numerator = uint64_t{1000000} * frameRate.scale;
  return static_cast<uint32_t>((numerator + frameRate.rate / 2) / frameRate.rate);
}

bool StoreAviFrameRate(OutputFile& file, AviFrameRate frameRate) {
  std::vector<uint8_t> header(kHeaderBytes);
  const size_t got = file.ReadBack(0, header.data(), header.size());
  // What cannot be read back (a device, a pipe) keeps the muxer's reduced pair, which means the
  // same rate; a write that failed before shows with the frames.
  if (got == 0) return true;
  const auto fields = FindAviRateFields(header.data(), got);
  if (!fields) return false;
  uint8_t value[4];
  StoreLe32(value, AviMicroSecPerFrame(frameRate));
  if (!file.WriteBack(fields->microSecPerFrame, value, 4)) return false;
  StoreLe32(value, frameRate.scale);
  if (!file.WriteBack(fields->scale, value, 4)) return false;
  StoreLe32(value, frameRate.rate);
  return file.WriteBack(fields->rate, value, 4);
}

}  // namespace tavrona
