#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/plugins.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

class PluginsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tavrona_spi_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(PluginsTest, EmptyFolderGivesEmptyList) {
  std::ofstream(dir_ / "readme.txt") << "not a plug-in";
  PluginList list;
  list.Discover(dir_);
  EXPECT_EQ(list.Count(), 0u);
}

TEST_F(PluginsTest, LoadsInNameOrderAndKeepsEmptyHandlesForFailures) {
  fs::copy_file(TEST_PLUGIN_PATH, dir_ / "b_real.spi");
  std::ofstream(dir_ / "a_broken.spi") << "this is not a shared library";
  fs::copy_file(TEST_PLUGIN_PATH, dir_ / "c_real.spi");
  std::ofstream(dir_ / "d_other.dll") << "ignored";

  PluginList list;
  list.Discover(dir_);
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.Handles()[0], nullptr);
  ASSERT_NE(list.Handles()[1], nullptr);
  auto marker = reinterpret_cast<int (*)()>(dlsym(list.Handles()[1], "tavrona_test_plugin_marker"));
  ASSERT_NE(marker, nullptr);
  EXPECT_EQ(marker(), 42);
  EXPECT_NE(list.Handles()[2], nullptr);

  list.Release();
  EXPECT_EQ(list.Count(), 0u);
  list.Discover(dir_);  // rediscovery after release works the same
  EXPECT_EQ(list.Count(), 3u);
}

}  // namespace
}  // namespace tavrona
