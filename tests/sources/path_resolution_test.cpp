#include <gtest/gtest.h>

#include "sources/path_resolution.h"

namespace tavrona {
namespace {

TEST(PathResolutionTest, RelativePathsJoinTheBaseFolderVerbatim) {
  EXPECT_EQ(ResolveSourcePath(u"\\clip.avi", u"/media/work"), "/media/work/clip.avi");
  EXPECT_EQ(ResolveSourcePath(u"\\sub\\a.bmp", u"/media/work"), "/media/work/sub/a.bmp");
  // A base that ends with a separator gives two in a row, which the file system accepts.
  EXPECT_EQ(ResolveSourcePath(u"\\clip.avi", u"/media/work/"), "/media/work//clip.avi");
  EXPECT_EQ(ResolveSourcePath(u"\\clip.avi", u""), "/clip.avi");
}

TEST(PathResolutionTest, OtherPathsStandAsTheyAre) {
  EXPECT_EQ(ResolveSourcePath(u"/other/a.bmp", u"/media/work"), "/other/a.bmp");
  EXPECT_EQ(ResolveSourcePath(u"rel/a.bmp", u"/media/work"), "rel/a.bmp");
  EXPECT_EQ(ResolveSourcePath(u"/写真/画像.bmp", u""), "/写真/画像.bmp");  // UTF-8 on disk
}

TEST(PathResolutionTest, FullNameMustFitTheNameBuffer) {
  const std::u16string base(250, u'b');
  EXPECT_TRUE(ResolveSourcePath(u"\\12345678", base));    // 259 units
  EXPECT_FALSE(ResolveSourcePath(u"\\123456789", base));  // 260 units: no room to terminate
}

TEST(PathResolutionTest, FolderOf) {
  EXPECT_EQ(FolderOf(u"/home/u/project.vpj"), u"/home/u");
  EXPECT_EQ(FolderOf(u"C:\\work\\p.vpj"), u"C:\\work");
  EXPECT_EQ(FolderOf(u"p.vpj"), u"");
}

}  // namespace
}  // namespace tavrona
