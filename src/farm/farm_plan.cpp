#include "farm/farm_plan.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/parse_number.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

constexpr const char* kManifestHeader = "tavrona-farm 1";

std::string Extension(const std::string& output) {
  const std::string ext = fs::path(output).extension().string();
  return ext.empty() ? ".avi" : ext;
}

}  // namespace

std::string FarmPartsFolder(const std::string& output) {
  return output + ".parts";
}

std::string FarmManifestPath(const std::string& output) {
  return FarmPartsFolder(output) + "/manifest.txt";
}

std::string FarmPartPath(const FarmPlan& plan, size_t index) {
  return FarmPartsFolder(plan.output) + "/part-" + std::to_string(index) + Extension(plan.output);
}

std::string FarmWritingPath(const FarmPlan& plan, size_t index) {
  return FarmPartsFolder(plan.output) + "/part-" + std::to_string(index) + ".writing" +
         Extension(plan.output);
}

std::string FarmJoiningPath(const FarmPlan& plan) {
  return FarmPartsFolder(plan.output) + "/joined.writing" + Extension(plan.output);
}

std::string FarmJoinedPath(const std::string& output) {
  return FarmPartsFolder(output) + "/joined.txt";
}

std::string FarmPlanIdentity(const FarmPlan& plan) {
  FarmPlan bare = plan;
  bare.jobIds.clear();
  return FormatFarmManifest(bare);
}

std::optional<std::string> ReadFarmFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

OutputState JudgeFarmOutput(const FarmPlan& plan) {
  struct stat out {};
  struct stat joined {};
  if (::stat(plan.output.c_str(), &out) != 0) return OutputState::Absent;
  const std::string marker = FarmJoinedPath(plan.output);
  const auto text = ReadFarmFile(marker);
  if (!text || ::stat(marker.c_str(), &joined) != 0) return OutputState::NoJoinRecorded;
  if (*text != FarmPlanIdentity(plan)) return OutputState::OtherPlan;
  const auto newer = [](const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
  };
  if (newer(out.st_mtim, joined.st_mtim)) return OutputState::WrittenSinceJoin;
  return OutputState::Current;
}

std::vector<UnremovedFile> RemoveStaleWritingFiles(const FarmPlan& plan,
                                                   const std::vector<size_t>& indices) {
  std::vector<std::string> paths;
  for (size_t i : indices) paths.push_back(FarmWritingPath(plan, i));
  paths.push_back(FarmJoiningPath(plan));
  std::vector<UnremovedFile> unremoved;
  for (const std::string& path : paths) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec))) continue;
    if (!fs::remove(path, ec) && ec) unremoved.push_back({path, ec.message()});
  }
  return unremoved;
}

std::string FormatFarmManifest(const FarmPlan& plan) {
  std::string out = std::string(kManifestHeader) + "\n";
  out += "project " + plan.project + "\n";
  out += "output " + plan.output + "\n";
  out += "codec " + plan.codec + "\n";
  out += "size " + std::to_string(plan.width) + "x" + std::to_string(plan.height) + "\n";
  out += "length " + std::to_string(plan.length) + "\n";
  if (plan.rate != 0) {
    out += "rate " + std::to_string(plan.rate) + "/" + std::to_string(plan.scale) + "\n";
  }
  if (!plan.digest.empty()) out += "digest " + plan.digest + "\n";
  if (!plan.sound.empty()) out += "sound " + plan.sound + "\n";
  out += "parts " + std::to_string(plan.ranges.size()) + "\n";
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    out += "part " + std::to_string(i) + " " + std::to_string(plan.ranges[i].first) + " " +
           std::to_string(plan.ranges[i].last) + "\n";
  }
  if (!plan.jobIds.empty()) {
    out += "jobs";
    for (const std::string& id : plan.jobIds) out += " " + id;
    out += "\n";
  }
  return out;
}

std::optional<FarmPlan> ParseFarmManifest(const std::string& text, std::string* why) {
  std::stringstream lines(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& reason) -> std::optional<FarmPlan> {
    *why = number > 0 ? "line " + std::to_string(number) + ": " + reason : reason;
    return std::nullopt;
  };
  if (!std::getline(lines, line) || line != kManifestHeader) {
    number = 1;
    return fail("not a farm manifest (the first line is not \"" + std::string(kManifestHeader) +
                "\")");
  }
  number = 1;
  FarmPlan plan;
  std::map<std::string, bool> seen;
  uint32_t parts = 0;
  while (std::getline(lines, line)) {
    ++number;
    if (line.empty()) continue;
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    if (key == "part") {
      std::stringstream words(value);
      std::string index, first, last, extra;
      uint32_t i = 0;
      ExportRange range;
      if (!(words >> index >> first >> last) || (words >> extra) || !ParseUint32(index, i) ||
          !ParseUint32(first, range.first) || !ParseUint32(last, range.last)) {
        return fail("a part line is \"part INDEX FIRST LAST\"");
      }
      if (i != plan.ranges.size()) return fail("part " + index + " out of order");
      plan.ranges.push_back(range);
      continue;
    }
    if (seen[key]) return fail("\"" + key + "\" given twice");
    seen[key] = true;
    if (key == "project") {
      plan.project = value;
    } else if (key == "output") {
      plan.output = value;
    } else if (key == "codec") {
      plan.codec = value;
    } else if (key == "size") {
      const size_t x = value.find('x');
      if (x == std::string::npos || !ParseUint32(value.substr(0, x), plan.width) ||
          !ParseUint32(value.substr(x + 1), plan.height)) {
        return fail("size is WIDTHxHEIGHT");
      }
    } else if (key == "length") {
      if (!ParseUint32(value, plan.length)) return fail("length is a frame count");
    } else if (key == "rate") {
      const size_t slash = value.find('/');
      if (slash == std::string::npos || !ParseUint32(value.substr(0, slash), plan.rate) ||
          !ParseUint32(value.substr(slash + 1), plan.scale) || plan.rate == 0 || plan.scale == 0) {
        return fail("rate is RATE/SCALE, two positive numbers");
      }
    } else if (key == "digest") {
      if (value.size() != 64 || value.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return fail("digest is 64 lowercase hexadecimal digits");
      }
      plan.digest = value;
    } else if (key == "sound") {
      if (value.empty() || value.find_first_of(" \t") != std::string::npos) {
        return fail("sound is one codec name");
      }
      plan.sound = value;
    } else if (key == "parts") {
      if (!ParseUint32(value, parts)) return fail("parts is a count");
    } else if (key == "jobs") {
      std::stringstream words(value);
      for (std::string id; words >> id;) {
        uint32_t number = 0;
        if (!ParseUint32(id, number)) return fail("jobs are job ids");
        plan.jobIds.push_back(id);
      }
    } else {
      return fail("unknown key \"" + key + "\"");
    }
  }
  number = 0;
  for (const char* key : {"project", "output", "codec", "size", "length", "parts"}) {
    if (!seen[key]) return fail(std::string("no \"") + key + "\" line");
  }
  if (plan.project.empty() || plan.output.empty() || plan.codec.empty()) {
    return fail("empty project, output or codec");
  }
  if (parts == 0 || parts != plan.ranges.size()) {
    return fail("parts says " + std::to_string(parts) + " but " +
                std::to_string(plan.ranges.size()) + " part lines follow");
  }
  // The parts must cover 0..length-1 without gap or overlap: the join depends on it.
  uint32_t next = 0;
  for (size_t i = 0; i < plan.ranges.size(); ++i) {
    const auto [first, last] = plan.ranges[i];
    if (first != next || last < first || last >= plan.length) {
      return fail("part " + std::to_string(i) + " (" + std::to_string(first) + "-" +
                  std::to_string(last) + ") does not follow on from frame " + std::to_string(next) +
                  " within the length " + std::to_string(plan.length));
    }
    next = last + 1;
  }
  if (next != plan.length) return fail("the parts end before the last frame");
  return plan;
}

}  // namespace tavrona
