#include "avi_file_reader.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tavrona::testing {
namespace {

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

class Walker {
 public:
  Walker(std::ifstream& in, uint64_t fileSize, AviFileLayout& layout, bool keepFrames)
      : in_(in), fileSize_(fileSize), layout_(layout), keepFrames_(keepFrames) {}

  // Walks the chunks in [begin, end).
  bool Walk(uint64_t begin, uint64_t end, uint32_t listType) {
    uint64_t pos = begin;
    while (pos + 8 <= end) {
      uint8_t head[12];
      if (!ReadAt(pos, head, 8)) return false;
      const uint32_t id = Le32(head);
      const uint64_t size = Le32(head + 4);
      const uint64_t dataStart = pos + 8;
      if (dataStart + size > end) return false;
      if (id == FourCc("RIFF") || id == FourCc("LIST")) {
        if (size < 4 || !ReadAt(dataStart, head + 8, 4)) return false;
        const uint32_t type = Le32(head + 8);
        if (id == FourCc("RIFF")) ++layout_.riffCount;
        if (type == FourCc("strl")) ++layout_.streamCount;
        if (!Walk(dataStart + 4, dataStart + size, type)) return false;
      } else if (!Chunk(id, dataStart, size, listType)) {
        return false;
      }
      pos = dataStart + size + (size & 1);
    }
    return true;
  }

 private:
  bool ReadAt(uint64_t pos, void* out, size_t size) {
    in_.seekg(static_cast<std::streamoff>(pos));
    in_.read(static_cast<char*>(out), static_cast<std::streamsize>(size));
    return static_cast<size_t>(in_.gcount()) == size;
  }
  bool ReadVector(uint64_t pos, uint64_t size, std::vector<uint8_t>& out) {
    out.resize(size);
    return size == 0 || ReadAt(pos, out.data(), size);
  }

  bool Chunk(uint32_t id, uint64_t pos, uint64_t size, uint32_t listType) {
    std::vector<uint8_t> data;
    if (id == FourCc("avih")) {
      if (!ReadVector(pos, size, data) || size < 20) return false;
      layout_.avihMicroSecPerFrame = Le32(&data[0]);
      layout_.avihTotalFrames = Le32(&data[16]);
    } else if (id == FourCc("dmlh")) {
      if (!ReadVector(pos, size, data) || size < 4) return false;
      layout_.odmlTotalFrames = Le32(&data[0]);
    } else if (id == FourCc("strh") && layout_.streamCount == 1) {
      if (!ReadVector(pos, size, data) || size < 36) return false;
      layout_.fccType = Le32(&data[0]);
      layout_.fccHandler = Le32(&data[4]);
      layout_.scale = Le32(&data[20]);
      layout_.rate = Le32(&data[24]);
      layout_.length = Le32(&data[32]);
    } else if (id == FourCc("strf") && layout_.streamCount == 1) {
      if (!ReadVector(pos, size, layout_.strf)) return false;
    } else if (id == FourCc("indx")) {
      if (!ReadVector(pos, size, data) || size < 8) return false;
      layout_.superIndexEntries = Le32(&data[4]);
    } else if (id == FourCc("ix00")) {
      ++layout_.standardIndexChunks;
    } else if (id == FourCc("idx1")) {
      if (!ReadVector(pos, size, data)) return false;
      for (size_t i = 0; i + 16 <= data.size(); i += 16) {
        layout_.idx1.push_back(
            {Le32(&data[i]), Le32(&data[i + 4]), Le32(&data[i + 8]), Le32(&data[i + 12])});
      }
    } else if (listType == FourCc("movi") && (id == FourCc("00db") || id == FourCc("00dc"))) {
      layout_.frameChunkIds.push_back(id);
      if (keepFrames_) {
        layout_.frames.emplace_back();
        if (!ReadVector(pos, size, layout_.frames.back())) return false;
      }
    }
    return pos + size <= fileSize_;
  }

  std::ifstream& in_;
  uint64_t fileSize_;
  AviFileLayout& layout_;
  bool keepFrames_;
};

}  // namespace

bool ReadAviLayout(const std::string& path, AviFileLayout& layout, bool keepFrames) {
  layout = {};
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const uint64_t size = static_cast<uint64_t>(in.tellg());
  Walker walker(in, size, layout, keepFrames);
  return walker.Walk(0, size, 0) && layout.riffCount >= 1;
}

std::string RunCommand(const std::string& command, int* exitCode) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (exitCode != nullptr) *exitCode = -1;
    return out;
  }
  char buffer[1 << 16];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  if (exitCode != nullptr) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::string JsonField(const std::string& json, const std::string& key) {
  const std::string pattern = "\"" + key + "\":";
  size_t pos = json.find(pattern);
  if (pos == std::string::npos) return {};
  pos += pattern.size();
  while (pos < json.size() && json[pos] == ' ') ++pos;
  const bool quoted = pos < json.size() && json[pos] == '"';
  if (quoted) ++pos;
  size_t end = pos;
  while (
      end < json.size() &&
      (quoted ? json[end] != '"' : (json[end] != ',' && json[end] != '\n' && json[end] != '}'))) {
    ++end;
  }
  return json.substr(pos, end - pos);
}

std::string ProbeStreams(const std::string& path) {
  return RunCommand("ffprobe -v error -show_streams -count_frames -of json '" + path + "'");
}

std::vector<PacketSpan> ProbePackets(const std::string& path) {
  const std::string out = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries "
      "packet=pos,size -of default=nw=1 '" +
      path + "'");
  std::vector<PacketSpan> packets;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const uint64_t value = std::strtoull(line.c_str() + eq + 1, nullptr, 10);
    if (key == "size") {
      packets.push_back(PacketSpan{0, value});
    } else if (key == "pos" && !packets.empty()) {
      packets.back().pos = value;
    }
  }
  return packets;
}

int CountStreams(const std::string& json) {
  int count = 0;
  for (size_t pos = json.find("\"codec_type\""); pos != std::string::npos;
       pos = json.find("\"codec_type\"", pos + 1)) {
    ++count;
  }
  return count;
}

std::vector<uint8_t> DecodeToBgr0(const std::string& path) {
  const std::string out =
      RunCommand("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgr0 -");
  return std::vector<uint8_t>(out.begin(), out.end());
}

std::vector<uint8_t> DecodeToBgr0Frame(const std::string& path, uint32_t n) {
  const std::string out =
      RunCommand("ffmpeg -v error -i '" + path + "' -vf 'select=eq(n\\," + std::to_string(n) +
                 ")' -frames:v 1 -f rawvideo -pix_fmt bgr0 -");
  return std::vector<uint8_t>(out.begin(), out.end());
}

}  // namespace tavrona::testing
