// Test helpers: a small reader of the RIFF structure of an AVI file with one video stream, and
// ffprobe/ffmpeg wrappers that check a written file the way another program sees it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrona::testing {

struct AviIndexEntry {
  uint32_t chunkId = 0;
  uint32_t flags = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
};

struct AviFileLayout {
  uint32_t riffCount = 0;             // RIFF 'AVI ' plus every RIFF 'AVIX'
  uint32_t streamCount = 0;           // strl lists
  uint32_t avihMicroSecPerFrame = 0;  // main header, frame duration
  uint32_t avihTotalFrames = 0;       // main header, frames of the first RIFF
  uint32_t odmlTotalFrames = 0;       // dmlh, 0 when absent
  // strh of the (first) stream
  uint32_t fccType = 0;
  uint32_t fccHandler = 0;
  uint32_t scale = 0;
  uint32_t rate = 0;
  uint32_t length = 0;
  std::vector<uint8_t> strf;         // the stream format, as stored
  uint32_t superIndexEntries = 0;    // entries in use of the 'indx' chunk, 0 when absent
  uint32_t standardIndexChunks = 0;  // 'ix00' chunks
  std::vector<AviIndexEntry> idx1;
  std::vector<uint32_t> frameChunkIds;       // '00db' / '00dc' of every movi list, in order
  std::vector<std::vector<uint8_t>> frames;  // their payloads, when asked for
};

// Walks the whole file. False when the RIFF structure is broken (sizes beyond the file,
// missing lists).
bool ReadAviLayout(const std::string& path, AviFileLayout& layout, bool keepFrames = true);

constexpr uint32_t FourCc(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// Standard output of a shell command; exitCode receives its status.
std::string RunCommand(const std::string& command, int* exitCode = nullptr);

// The first value of "key" in ffprobe's JSON output, without quotes; empty when absent.
std::string JsonField(const std::string& json, const std::string& key);

// ffprobe -show_streams -count_frames of the file, as JSON.
std::string ProbeStreams(const std::string& path);
// Number of "codec_type" entries: the streams of the file.
int CountStreams(const std::string& json);

// Where ffprobe finds each packet of the first video stream, in file order: the position it
// reports (in AVI the chunk's header, elsewhere the data) and the data's size.
struct PacketSpan {
  uint64_t pos = 0;
  uint64_t size = 0;
};
std::vector<PacketSpan> ProbePackets(const std::string& path);

// Every frame decoded by ffmpeg as top-down bgr0 rows.
std::vector<uint8_t> DecodeToBgr0(const std::string& path);
// Frame n alone, decoded the same way.
std::vector<uint8_t> DecodeToBgr0Frame(const std::string& path, uint32_t n);

}  // namespace tavrona::testing
