// Shared pieces of the export tests: a temporary folder, test pictures and a writer driver.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "export/avi_writer.h"
#include "model/frame_buffer.h"
#include "model/project_data.h"
#include "model/text_encoding.h"

extern "C" {
#include <libavutil/log.h>
}

namespace tavrona::testing {

// A fresh folder per test, removed afterwards.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    av_log_set_level(AV_LOG_ERROR);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    folder_ = std::filesystem::temp_directory_path() /
              ("tavrona_export_" + std::to_string(getpid()) + "_" + name);
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string PathOf(const std::string& file) const { return (folder_ / file).string(); }
  std::u16string Path16(const std::string& file) const { return FromUtf8(PathOf(file)); }

  std::filesystem::path folder_;
};

// A smooth picture that moves with n (n below 40), so that lossy codecs stay close, with a
// little fine detail in the low bits and every channel different; the fourth byte is 0 as in
// composed frames.
inline void DrawTestPicture(FrameBuffer& frame, uint32_t n) {
  const int w = frame.Width();
  const int h = frame.Height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t detail = (x * 7 + y * 13 + n) & 7;
      const uint32_t r = 20 + x * 180 / w + n + detail;
      const uint32_t g = 20 + y * 180 / h + 2 * n;
      const uint32_t b = 140 + (x + y) * 100 / (w + h) - n + detail;
      frame.At(x, y) = r << 16 | g << 8 | b;
    }
  }
}

// A new project of the given size and length on background 0x00203040 whose file slot `slot`
// holds a stillWidth x stillHeight picture with red rising by xStep a column, green by yStep a
// row and blue fixed. Null when it cannot be made.
struct GradientStill {
  int slot, width, height, xStep, yStep;
  uint32_t blue;
};
inline std::unique_ptr<ProjectData> ProjectWithGradientStill(int width, int height,
                                                             uint32_t length,
                                                             const GradientStill& still) {
  auto project = AllocateProjectData();
  if (!project) return nullptr;
  ApplyNewProjectReset(*project);
  project->outputWidth = width;
  project->outputHeight = height;
  project->movieLength = length;
  project->backgroundColour = 0x00203040;
  FileEntry& f = project->files[still.slot];
  f.kind = FileStillImage;
  if (!CreateFrameBuffer(f.picture, still.width, still.height)) return nullptr;
  for (int y = 0; y < still.height; ++y) {
    for (int x = 0; x < still.width; ++x) {
      f.picture.At(x, y) =
          static_cast<uint32_t>(x * still.xStep << 16 | y * still.yStep << 8) | still.blue;
    }
  }
  f.transparentColour = 0xFF000000;
  return project;
}

// A project of the given size and length on background 0x00203040 with one gradient picture
// (file slot 3, 8 x 6) that moves, turns and fades on track 2 between keys at frame 0 and the
// last frame (interpolated, drawing method 3), ending at x = endX turned by endRotation
// degrees. Null when the picture or the events cannot be made.
inline std::unique_ptr<ProjectData> MovingPictureProject(int width, int height, uint32_t length,
                                                         float endX, float endRotation) {
  auto project = ProjectWithGradientStill(width, height, length, {3, 8, 6, 30, 40, 99});
  if (!project) return nullptr;
  EventRecord a = DefaultEventForFile(*project, 3, 0);
  a.flags |= EventInterpolate;
  a.positionX = 2;
  a.positionY = 3;
  a.drawingMethod = 3;
  EventRecord b = a;
  b.start = static_cast<int32_t>(length - 1);
  b.positionX = endX;
  b.rotation = endRotation;
  b.opacity = 100;
  EventRecord keys[] = {a, b};
  if (!InsertSorted(project->tracks[2], 2, keys)) return nullptr;
  return project;
}

// The whole file's bytes; empty when it cannot be read.
inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A device on which every write fails as on a full disk; empty when this system has none.
inline std::string FullDevice() {
  return std::filesystem::exists("/dev/full") ? "/dev/full" : "";
}

}  // namespace tavrona::testing
