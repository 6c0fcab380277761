#include <gtest/gtest.h>

#include <cstring>

#include "avi_file_reader.h"
#include "export/project_export.h"
#include "export_test_support.h"
#include "render/compose.h"

namespace tavrona {
namespace {

using testing::AviFileLayout;
using testing::ReadAviLayout;

class ProjectExportTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    project_ = AllocateProjectData();
    ApplyNewProjectReset(*project_);
    project_->outputWidth = 24;
    project_->outputHeight = 16;
    project_->movieLength = 12;
    project_->backgroundColour = 0x00203040;
    // A gradient picture that moves, turns and fades over the movie.
    FileEntry& f = project_->files[3];
    f.kind = FileStillImage;
    ASSERT_TRUE(CreateFrameBuffer(f.picture, 8, 6));
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) f.picture.At(x, y) = static_cast<uint32_t>(x * 30 << 16 | y * 40 << 8 | 99);
    f.transparentColour = 0xFF000000;
    EventRecord a = DefaultEventForFile(*project_, 3, 0);
    a.flags |= EventInterpolate;
    a.positionX = 2;
    a.positionY = 3;
    a.drawingMethod = 3;
    EventRecord b = a;
    b.start = 11;
    b.positionX = 14;
    b.rotation = 30;
    b.opacity = 100;
    EventRecord events[] = {a, b};
    ASSERT_TRUE(InsertSorted(project_->tracks[2], 2, events));
  }
  std::unique_ptr<ProjectData> project_;
};

TEST_F(ProjectExportTest, RawExportHoldsExactlyTheRandomAccessFrames) {
  int calls = 0;
  ExportRunOptions options;
  options.onProgress = [&](const ProjectData&, const ExportProgress&) { ++calls; };
  ASSERT_EQ(ExportProject(*project_, Path16("out.avi"), nullptr, options), ExportResult::Done);
  EXPECT_EQ(calls, 13);  // every frame and once at the end
  EXPECT_EQ(project_->exportJob.done, 1);

  AviFileLayout layout;
  ASSERT_TRUE(ReadAviLayout(PathOf("out.avi"), layout));
  ASSERT_EQ(layout.frames.size(), 12u);
  FrameBuffer frame;
  ASSERT_TRUE(CreateFrameBuffer(frame, 24, 16));
  for (uint32_t n = 0; n < 12; ++n) {
    ASSERT_TRUE(ComposeFrameAt(*project_, n, frame, nullptr));
    ASSERT_EQ(layout.frames[n].size(), frame.byteSize);
    EXPECT_EQ(std::memcmp(layout.frames[n].data(), frame.pixels, frame.byteSize), 0) << n;
  }
  EXPECT_NE(layout.frames[0], layout.frames[11]);
}

TEST_F(ProjectExportTest, AbortUnknownCodecAndUnwritablePath) {
  std::atomic<bool> abort{false};
  ExportRunOptions options;
  options.abort = &abort;
  options.onProgress = [&](const ProjectData& p, const ExportProgress&) {
    if (p.exportJob.framesWritten == 5) abort = true;
  };
  ASSERT_EQ(ExportProject(*project_, Path16("part.avi"), nullptr, options), ExportResult::Aborted);
  AviFileLayout layout;
  ASSERT_TRUE(ReadAviLayout(PathOf("part.avi"), layout));
  EXPECT_EQ(layout.frames.size(), 5u);  // closed, with the frames written so far

  ExportRunOptions unknown;
  unknown.codec = "no-such-codec";
  EXPECT_EQ(ExportProject(*project_, Path16("x.avi"), nullptr, unknown),
            ExportResult::UnknownCodec);
  EXPECT_FALSE(std::filesystem::exists(PathOf("x.avi")));
  EXPECT_EQ(ExportProject(*project_, Path16("missing/x.avi"), nullptr, {}),
            ExportResult::OpenFailed);
}

}  // namespace
}  // namespace tavrona
