#include "sources/source_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bmp_builder.h"
#include "model/text_encoding.h"

namespace tavrona {
namespace {

class SourceCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder of each test's own: tests run in parallel processes, and each tear-down removes
    // its folder.
    folder_ = std::filesystem::temp_directory_path() /
              ("tavrona_source_cache_test_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    base_ = FromUtf8(folder_.string());
    WriteBmp("one.bmp", 0x112233, 3);
    WriteBmp("two.bmp", 0x445566, 5);
    WriteBmp("画像.bmp", 0x778899, 2);
    testing::WriteFile(folder_ / "broken.bmp", {'B', 'M', 1, 2, 3});
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // A uniform 24-bit picture, width x 2.
  void WriteBmp(const std::string& name, uint32_t colour, int width) {
    testing::BmpRecipe recipe;
    recipe.width = width;
    recipe.height = 2;
    recipe.rows.assign(2, std::vector<uint32_t>(width, colour));
    testing::WriteFile(folder_ / std::filesystem::u8path(name), testing::BuildBmp(recipe));
  }
  std::u16string Absolute(const std::u16string& name) const { return base_ + u"/" + name; }

  std::filesystem::path folder_;
  std::u16string base_;
  FileEntry entry_;
  const std::vector<void*> noPlugins_;
};

TEST_F(SourceCacheTest, RelativePathsResolveAgainstTheBaseAndAreStoredAsGiven) {
  ASSERT_TRUE(OpenImageFile(entry_, u"\\one.bmp", base_, noPlugins_));
  EXPECT_EQ(entry_.kind, FileStillImage);
  EXPECT_EQ(PathView(entry_.path), u"\\one.bmp");
  EXPECT_EQ(entry_.transparentColour, 0xFF000000u);
  EXPECT_EQ(entry_.cachedFrameIndex, -1);
  ASSERT_EQ(entry_.picture.Width(), 3);
  EXPECT_EQ(entry_.picture.At(2, 1), 0x112233u);

  // A base that ends with a separator gives two in a row, which still opens.
  EXPECT_TRUE(OpenImageFile(entry_, u"\\two.bmp", base_ + u"/", noPlugins_));
  EXPECT_EQ(entry_.picture.Width(), 5);
  // Without the base the relative path names the root folder.
  EXPECT_FALSE(OpenImageFile(entry_, u"\\one.bmp", u"", noPlugins_));
}

TEST_F(SourceCacheTest, AbsolutePathsIgnoreTheBase) {
  const std::u16string path = Absolute(u"画像.bmp");
  ASSERT_TRUE(OpenImageFile(entry_, path, u"/nowhere", noPlugins_));
  EXPECT_EQ(PathView(entry_.path), path);
  EXPECT_EQ(entry_.picture.At(0, 0), 0x778899u);
}

TEST_F(SourceCacheTest, FailedOpenLeavesTheEntryAsItWas) {
  entry_.referenceFrameDuration100ns = 333667;
  ASSERT_TRUE(OpenImageFile(entry_, u"\\one.bmp", base_, noPlugins_));
  entry_.transparentColour = 0x00FFFFFF;  // what a caller sets after opening
  const uint8_t* pixels = entry_.picture.pixels;
  for (const std::u16string& bad :
       {std::u16string(u"\\missing.bmp"), std::u16string(u"\\broken.bmp"), std::u16string(),
        std::u16string(u"\\one.bmp\0x", 10), std::u16string(260, u'a'),
        u"\\" + std::u16string(300, u'a')}) {
    EXPECT_FALSE(OpenImageFile(entry_, bad, base_, noPlugins_));
    EXPECT_EQ(entry_.kind, FileStillImage);
    EXPECT_EQ(entry_.picture.pixels, pixels);
    EXPECT_EQ(PathView(entry_.path), u"\\one.bmp");
    EXPECT_EQ(entry_.transparentColour, 0x00FFFFFFu);
  }
  // A resolved name that does not fit 259 units fails even though the stored path fits.
  EXPECT_FALSE(OpenImageFile(entry_, u"\\one.bmp", std::u16string(252, u'/'), noPlugins_));
  EXPECT_EQ(entry_.picture.pixels, pixels);
  // A successful open replaces the content; the reference frame duration is a setting, kept.
  ASSERT_TRUE(OpenImageFile(entry_, u"\\two.bmp", base_, noPlugins_));
  EXPECT_EQ(entry_.transparentColour, 0xFF000000u);
  EXPECT_EQ(entry_.referenceFrameDuration100ns, 333667);
}

TEST_F(SourceCacheTest, TableOperations) {
  std::unique_ptr<ProjectData> project = AllocateProjectData();
  ASSERT_NE(project, nullptr);
  ASSERT_TRUE(OpenImageFile(project->files[3], u"\\one.bmp", base_, noPlugins_));
  ASSERT_TRUE(OpenImageFile(project->files[1023], u"\\two.bmp", base_, noPlugins_));
  project->files[3].cachedFrameIndex = 17;
  project->files[1023].referenceFrameDuration100ns = 400000;

  ForgetCachedFrames(*project);
  EXPECT_EQ(project->files[3].cachedFrameIndex, -1);
  EXPECT_EQ(project->files[3].kind, FileStillImage);

  ResetAllFileEntries(*project);
  for (const FileEntry& entry : project->files) {
    ASSERT_EQ(entry.kind, FileEmpty);
    ASSERT_TRUE(entry.picture.Empty());
  }
  EXPECT_EQ(project->files[1023].referenceFrameDuration100ns, 400000);
}

}  // namespace
}  // namespace tavrona
