// Shared pieces of the export tests: a temporary folder, test pictures and a writer driver.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "export/avi_writer.h"
#include "model/text_encoding.h"
#include "model/frame_buffer.h"

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
