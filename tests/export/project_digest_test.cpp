// The project's version as a farm and its parts see it: a project saved, loaded and digested as
// the command line does, then changed one way at a time.
#include "export/project_digest.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "export_test_support.h"
#include "model/project_file.h"
#include "render/bitmap_save.h"
#include "sources/project_sources.h"

namespace tavrona {
namespace {

namespace fs = std::filesystem;

class ProjectDigestTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    FrameBuffer picture;
    ASSERT_TRUE(CreateFrameBuffer(picture, 6, 4));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) picture.At(x, y) = static_cast<uint32_t>(x * 40 << 8 | y * 60);
    ASSERT_TRUE(SaveFrameBufferBmp(picture, folder_ / "pic.bmp"));
    WriteProject(0x40);
  }

  // The project: the picture by a path relative to the project's folder, shown on track 0
  // tinted with the given red.
  void WriteProject(uint8_t red) {
    auto p = AllocateProjectData();
    ASSERT_TRUE(p);
    ApplyNewProjectReset(*p);
    p->outputWidth = 16;
    p->outputHeight = 12;
    p->movieLength = 5;
    StandardSourceOpener opener;
    ASSERT_TRUE(opener.OpenImage(p->files[0], u"\\pic.bmp", FromUtf8(folder_.string())));
    EventRecord e = DefaultEventForFile(*p, 0, 0);
    e.red = red;
    ASSERT_TRUE(InsertSorted(p->tracks[0], 1, &e));
    ASSERT_TRUE(WriteProjectFile(Path16("p.vpj"), *p));
  }

  // Loads the project as the command line does (from the path given) and digests it.
  std::string Digest(const std::string& spelling) {
    auto p = AllocateProjectData();
    StandardSourceOpener opener;
    struct No : LoadQuestions {
      bool AskYesNo(const std::u16string&) override { return false; }
    } no;
    const fs::path path = fs::absolute(spelling);
    EXPECT_TRUE(ReadProjectFile(FromUtf8(path.string()), *p, opener, no)) << spelling;
    std::string why;
    const auto digest = ProjectDigest(spelling, *p, &why);
    EXPECT_TRUE(digest) << why;
    return digest.value_or("");
  }
};

TEST_F(ProjectDigestTest, SameFilesGiveTheSameDigestHoweverThePathIsSpelt) {
  const std::string digest = Digest(PathOf("p.vpj"));
  EXPECT_EQ(digest.size(), 64u);
  EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos) << digest;
  EXPECT_EQ(Digest(PathOf("p.vpj")), digest);
  // Another spelling of the project's path, from another working folder (a farm's task runs
  // in the parts folder, its submitter anywhere).
  const fs::path before = fs::current_path();
  fs::create_directories(folder_ / "sub");
  fs::current_path(folder_ / "sub");
  EXPECT_EQ(Digest("../sub/../p.vpj"), digest);
  fs::current_path(before);
}

TEST_F(ProjectDigestTest, ChangesWithTheProjectsBytesAndItsSourcesIdentity) {
  const std::string original = Digest(PathOf("p.vpj"));
  const auto sourceTime = fs::last_write_time(folder_ / "pic.bmp");

  // An event's colour, the file's size unchanged.
  const auto size = fs::file_size(PathOf("p.vpj"));
  WriteProject(0x41);
  ASSERT_EQ(fs::file_size(PathOf("p.vpj")), size);
  EXPECT_NE(Digest(PathOf("p.vpj")), original);
  WriteProject(0x40);
  EXPECT_EQ(Digest(PathOf("p.vpj")), original);

  // The source touched: same bytes, another modification time.
  fs::last_write_time(folder_ / "pic.bmp", sourceTime + std::chrono::seconds(5));
  EXPECT_NE(Digest(PathOf("p.vpj")), original);
  fs::last_write_time(folder_ / "pic.bmp", sourceTime);
  EXPECT_EQ(Digest(PathOf("p.vpj")), original);

  // The source grown, its time kept.
  std::ofstream(folder_ / "pic.bmp", std::ios::binary | std::ios::app) << '\0';
  fs::last_write_time(folder_ / "pic.bmp", sourceTime);
  EXPECT_NE(Digest(PathOf("p.vpj")), original);
}

TEST_F(ProjectDigestTest, AProjectFileThatCannotBeReadIsNamed) {
  auto p = AllocateProjectData();
  ApplyNewProjectReset(*p);
  std::string why;
  EXPECT_FALSE(ProjectDigest(PathOf("gone.vpj"), *p, &why));
  EXPECT_NE(why.find(PathOf("gone.vpj")), std::string::npos) << why;
  EXPECT_NE(why.find(std::strerror(ENOENT)), std::string::npos) << why;
}

}  // namespace
}  // namespace tavrona
