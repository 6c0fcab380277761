#include "export/project_export.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "avi_file_reader.h"
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
    // A gradient picture that moves, turns and fades over the movie.
    project_ = testing::MovingPictureProject(24, 16, 12, 14, 30);
    ASSERT_TRUE(project_);
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
  auto states = std::make_unique<PlaybackStates>();
  for (uint32_t n = 0; n < 12; ++n) {
    ASSERT_TRUE(ComposeFrameAt(*project_, *states, n, frame, nullptr));
    ASSERT_EQ(layout.frames[n].size(), frame.byteSize);
    EXPECT_EQ(std::memcmp(layout.frames[n].data(), frame.pixels, frame.byteSize), 0) << n;
  }
  EXPECT_NE(layout.frames[0], layout.frames[11]);
}

// Previews composed between export steps, at other frames and on the exported track alone,
// move their own playback states only: the file is byte for byte the undisturbed export.
TEST_F(ProjectExportTest, PreviewsBetweenStepsLeaveTheExportUnchanged) {
  ASSERT_EQ(ExportProject(*project_, Path16("plain.avi"), nullptr, {}), ExportResult::Done);

  const ExportComposer composer = ProjectComposer(nullptr);
  ASSERT_TRUE(ChooseCompressor(*ProjectAviWriter(*project_), kFullFramesCompressor));
  ASSERT_TRUE(BeginExport(*project_, Path16("previewed.avi"), composer));
  auto previewStates = std::make_unique<PlaybackStates>();
  FrameBuffer preview;
  ASSERT_TRUE(CreateFrameBuffer(preview, 24, 16));
  for (uint32_t n = 0; project_->exportJob.done == 0; ++n) {
    ASSERT_TRUE(ComposeFrameAt(*project_, *previewStates, 11 - n % 12, preview, nullptr));
    ASSERT_TRUE(ComposeTrackAt(*project_, *previewStates, 2, (n * 5) % 12, preview, nullptr));
    HandleExportStepRequest(*project_, composer);
    ASSERT_EQ(project_->exportJob.abort, 0);
  }
  EXPECT_EQ(testing::ReadFileBytes(PathOf("previewed.avi")),
            testing::ReadFileBytes(PathOf("plain.avi")));
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

// Pipelined (the default) and sequential runs write the same file, byte for byte, whole or
// aborted part-way; an aborted run's file holds every frame handed in.
TEST_F(ProjectExportTest, PipelinedAndSequentialExportsAreByteIdentical) {
  for (const char* codec : {"raw", "ffv1", "h264"}) {
    for (const bool abortAtFive : {false, true}) {
      SCOPED_TRACE(::testing::Message() << codec << (abortAtFive ? " aborted" : ""));
      std::vector<uint8_t> files[2];
      for (const bool pipelined : {false, true}) {
        std::atomic<bool> abort{false};
        ExportRunOptions options;
        options.codec = codec;
        options.pipelined = pipelined;
        options.abort = &abort;
        options.onProgress = [&](const ProjectData& p, const ExportProgress&) {
          if (abortAtFive && p.exportJob.framesWritten == 5) abort = true;
        };
        const std::string file = std::string("out") + (pipelined ? "-p" : "") + ".avi";
        EXPECT_EQ(ExportProject(*project_, Path16(file), nullptr, options),
                  abortAtFive ? ExportResult::Aborted : ExportResult::Done);
        EXPECT_FALSE(project_->exportWriter->Initialised());
        EXPECT_EQ(testing::JsonField(testing::ProbeStreams(PathOf(file)), "nb_read_frames"),
                  abortAtFive ? "5" : "12");
        files[pipelined] = testing::ReadFileBytes(PathOf(file));
      }
      ASSERT_FALSE(files[0].empty());
      EXPECT_TRUE(files[0] == files[1]);
    }
  }
  // The run's mode does not stay with the project's writer.
  EXPECT_FALSE(project_->exportWriter->Pipelined());
}

// A file whose writes fail fails the run in either mode, also when the failure shows only as
// the file is closed; the writer is closed all the same.
TEST_F(ProjectExportTest, WriteFailureFailsTheRunAtItsOwnFrameWithTheSystemsWords) {
  const std::string device = testing::FullDevice();
  if (device.empty()) GTEST_SKIP() << "no device that is always full";
  for (const uint32_t length : {12u, 40u}) {  // frames inside, and beyond, the file's buffer
    project_->movieLength = length;
    project_->outputWidth = length > 12 ? 160 : 24;
    project_->outputHeight = length > 12 ? 120 : 16;
    for (const bool pipelined : {false, true}) {
      SCOPED_TRACE(::testing::Message() << length << (pipelined ? " pipelined" : ""));
      ExportRunOptions options;
      options.pipelined = pipelined;
      EXPECT_EQ(ExportProject(*project_, FromUtf8(device), nullptr, options),
                ExportResult::StepFailed);
      EXPECT_FALSE(project_->exportWriter->Initialised());
      EXPECT_EQ(project_->exportJob.abort, 1);
      // Every frame is written out as it comes, so the device refuses frame 0 itself: nothing
      // is counted as stored that is not in the file. Pipelined, frame 0 was taken by the
      // encoding thread before its failure showed.
      EXPECT_EQ(project_->exportJob.framesWritten, pipelined ? 1 : 0);
      EXPECT_EQ(project_->exportWriter->FramesStored(), 0u);
      EXPECT_EQ(project_->exportWriter->ErrorText(), std::strerror(ENOSPC));
    }
  }
}

}  // namespace
}  // namespace tavrona
