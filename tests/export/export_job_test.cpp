#include "export/export_job.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "avi_file_reader.h"
#include "export/export_progress.h"
#include "export_test_support.h"

namespace tavrona {
namespace {

using testing::AviFileLayout;
using testing::FourCc;

constexpr uint32_t kBackground = 0x00FF8040;  // 0x00BBGGRR
constexpr int kWidth = 24;
constexpr int kHeight = 16;

// Stands in for the composition: fills the frame with the background colour and writes the
// frame number into the top-left pixel. Reports a failed event at one chosen frame.
struct FakeComposer {
  int prepareCalls = 0;
  uint32_t composed = 0;
  uint32_t failAt = UINT32_MAX;
  std::vector<const FrameBuffer*> targets;

  ExportComposer Hooks() {
    return ExportComposer{[this](ProjectData&) {
                            ++prepareCalls;
                            composed = 0;
                          },
                          [this](ProjectData& project, FrameBuffer& dst) {
                            FillFrameBuffer(dst, project.backgroundColour);
                            const uint32_t n = composed++;
                            dst.At(0, 0) = n;
                            targets.push_back(&dst);
                            return n != failAt;
                          }};
  }
};

class ExportJobTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    project_ = AllocateProjectData();
    ASSERT_TRUE(project_);
    ApplyNewProjectReset(*project_);
    project_->outputWidth = kWidth;
    project_->outputHeight = kHeight;
    project_->movieLength = 7;
    project_->backgroundColour = kBackground;
  }

  // Sends step requests as the pacing thread would until the job stops; the number sent.
  int RunJob(const ExportComposer& hooks) {
    int requests = 0;
    while (project_->exportJob.abort == 0 && project_->exportJob.done == 0 && requests < 1000) {
      HandleExportStepRequest(*project_, hooks);
      ++requests;
    }
    return requests;
  }

  AviFileLayout Layout(const std::string& file) {
    AviFileLayout layout;
    EXPECT_TRUE(testing::ReadAviLayout(PathOf(file), layout)) << file;
    return layout;
  }

  // The top-left pixel of a stored full frame (rows bottom-up: the first pixel of the last row).
  static uint32_t TopLeft(const std::vector<uint8_t>& frame) {
    uint32_t word;
    std::memcpy(&word, &frame[static_cast<size_t>(kHeight - 1) * kWidth * 4], 4);
    return word;
  }
  static uint32_t BottomRight(const std::vector<uint8_t>& frame) {
    uint32_t word;
    std::memcpy(&word, &frame[static_cast<size_t>(kWidth - 1) * 4], 4);
    return word;
  }

  std::unique_ptr<ProjectData> project_;
};

TEST_F(ExportJobTest, WritesEveryFrameThroughTheAlternatingWorkFrames) {
  project_->files[3].cachedFrameIndex = 12;
  FakeComposer composer;
  const ExportComposer hooks = composer.Hooks();
  ASSERT_TRUE(BeginExport(*project_, Path16("job.avi"), hooks));
  EXPECT_EQ(composer.prepareCalls, 1);
  EXPECT_EQ(project_->files[3].cachedFrameIndex, -1);
  EXPECT_EQ(project_->exportJob.framesWritten, 0);
  // Both work frames start out at the output size, filled with the background colour.
  for (const FrameBuffer& frame : project_->workFrames) {
    ASSERT_EQ(frame.Width(), kWidth);
    ASSERT_EQ(frame.Height(), kHeight);
    EXPECT_EQ(frame.At(5, 5), ProjectColourToPixel(kBackground));
  }

  EXPECT_EQ(RunJob(hooks), 8);  // seven frames, then the request that closes the file
  EXPECT_EQ(project_->exportJob.done, 1);
  EXPECT_EQ(project_->exportJob.abort, 0);
  EXPECT_EQ(project_->exportJob.framesWritten, 7);
  EXPECT_FALSE(project_->exportWriter->Initialised());
  ASSERT_EQ(composer.targets.size(), 7u);
  for (uint32_t n = 0; n < 7; ++n) {
    EXPECT_EQ(composer.targets[n], &project_->workFrames[1 - n % 2]) << n;
  }
  EXPECT_EQ(LastWrittenFrame(*project_).At(0, 0), 6u);

  const AviFileLayout layout = Layout("job.avi");
  ASSERT_EQ(layout.frames.size(), 7u);
  for (uint32_t n = 0; n < 7; ++n) {
    EXPECT_EQ(TopLeft(layout.frames[n]), n);
    EXPECT_EQ(BottomRight(layout.frames[n]), ProjectColourToPixel(kBackground));
  }
  // Once done, further requests change nothing.
  HandleExportStepRequest(*project_, hooks);
  EXPECT_EQ(composer.targets.size(), 7u);
  EXPECT_EQ(ProgressTickAction(*project_), ProgressTick::EndDone);
}

TEST_F(ExportJobTest, FailedEventAbortsOnlyWhenAsked) {
  {
    project_->exportJob.stopOnEventError = 1;
    FakeComposer composer;
    composer.failAt = 3;
    const ExportComposer hooks = composer.Hooks();
    ASSERT_TRUE(BeginExport(*project_, Path16("stop.avi"), hooks));
    RunJob(hooks);
    EXPECT_EQ(project_->exportJob.abort, 1);
    EXPECT_EQ(project_->exportJob.done, 0);
    EXPECT_EQ(project_->exportJob.framesWritten, 3);  // frame 3 was not written
    EXPECT_FALSE(project_->exportWriter->Initialised());
    HandleExportStepRequest(*project_, hooks);  // an aborted job takes no more steps
    EXPECT_EQ(composer.targets.size(), 4u);
    EXPECT_EQ(ProgressTickAction(*project_), ProgressTick::EndCancelled);
    const AviFileLayout layout = Layout("stop.avi");
    EXPECT_EQ(layout.frames.size(), 3u);
    EXPECT_EQ(layout.length, 3u);
  }
  {
    project_->exportJob.stopOnEventError = 0;
    FakeComposer composer;
    composer.failAt = 3;
    const ExportComposer hooks = composer.Hooks();
    ASSERT_TRUE(BeginExport(*project_, Path16("go-on.avi"), hooks));
    RunJob(hooks);
    EXPECT_EQ(project_->exportJob.abort, 0);
    EXPECT_EQ(project_->exportJob.done, 1);
    const AviFileLayout layout = Layout("go-on.avi");
    ASSERT_EQ(layout.frames.size(), 7u);
    EXPECT_EQ(TopLeft(layout.frames[3]), 3u);  // written as composed
  }
}

TEST_F(ExportJobTest, EmptyMovieClosesAtTheFirstRequest) {
  project_->movieLength = 0;
  FakeComposer composer;
  const ExportComposer hooks = composer.Hooks();
  ASSERT_TRUE(BeginExport(*project_, Path16("empty.avi"), hooks));
  EXPECT_EQ(RunJob(hooks), 1);
  EXPECT_EQ(project_->exportJob.done, 1);
  EXPECT_TRUE(composer.targets.empty());
  const AviFileLayout layout = Layout("empty.avi");
  EXPECT_EQ(layout.streamCount, 1u);
  EXPECT_EQ(layout.length, 0u);
  EXPECT_TRUE(layout.frames.empty());
  ExportProgress progress;
  EXPECT_FALSE(progress.Text(*project_).has_value());
}

TEST_F(ExportJobTest, CancelClosesTheFileWithTheFramesSoFar) {
  ASSERT_TRUE(ChooseCompressor(*ProjectAviWriter(*project_), "ffvhuff"));
  FakeComposer composer;
  const ExportComposer hooks = composer.Hooks();
  ASSERT_TRUE(BeginExport(*project_, Path16("cancel.avi"), hooks));
  for (int i = 0; i < 3; ++i) HandleExportStepRequest(*project_, hooks);
  CancelExport(*project_);
  EXPECT_EQ(project_->exportJob.abort, 1);
  EXPECT_FALSE(project_->exportWriter->Initialised());
  HandleExportStepRequest(*project_, hooks);
  EXPECT_EQ(composer.targets.size(), 3u);
  const AviFileLayout layout = Layout("cancel.avi");
  EXPECT_EQ(layout.fccHandler, FourCc("FFVH"));
  EXPECT_EQ(layout.frameChunkIds.size(), 3u);
  EXPECT_EQ(testing::JsonField(testing::ProbeStreams(PathOf("cancel.avi")), "nb_read_frames"), "3");
}

TEST_F(ExportJobTest, FrameThatCannotBeWrittenAbortsTheJob) {
  FakeComposer composer;
  const ExportComposer hooks = composer.Hooks();
  ASSERT_TRUE(BeginExport(*project_, Path16("short.avi"), hooks));
  HandleExportStepRequest(*project_, hooks);  // frame 0 goes into work frame 1
  ASSERT_TRUE(CreateFrameBuffer(project_->workFrames[0], kWidth + 2, kHeight));  // wrong size
  HandleExportStepRequest(*project_, hooks);
  EXPECT_EQ(project_->exportJob.abort, 1);
  EXPECT_EQ(project_->exportJob.framesWritten, 1);
  EXPECT_EQ(Layout("short.avi").frames.size(), 1u);
}

TEST_F(ExportJobTest, BeginFailsWithoutFramesRateOrFile) {
  const ExportComposer none;
  EXPECT_FALSE(ExportStep(*project_, true, none));  // nothing begun
  project_->outputWidth = 0;
  EXPECT_FALSE(BeginExport(*project_, Path16("a.avi"), none));
  project_->outputWidth = kWidth;
  project_->SetFrameRate(0.0);
  EXPECT_FALSE(BeginExport(*project_, Path16("a.avi"), none));
  project_->SetFrameRate(std::numeric_limits<double>::quiet_NaN());
  EXPECT_FALSE(BeginExport(*project_, Path16("a.avi"), none));
  project_->SetFrameRate(30.0);
  EXPECT_FALSE(BeginExport(*project_, Path16("no-such-folder/a.avi"), none));
  EXPECT_TRUE(project_->exportWriter->Initialised());  // left for the next start to close
  EXPECT_FALSE(project_->exportWriter->StreamOpen());
}

// A start that failed leaves the writer initialised; the next start closes it first, and
// that must not lose the compressor the user has just chosen for the new export.
TEST_F(ExportJobTest, CompressorChosenAfterAFailedStartIsUsed) {
  const ExportComposer none;
  EXPECT_FALSE(BeginExport(*project_, Path16("no-such-folder/a.avi"), none));
  ASSERT_TRUE(ChooseCompressor(*ProjectAviWriter(*project_), "ffv1"));
  ASSERT_TRUE(BeginExport(*project_, Path16("ffv1.avi"), none));
  RunJob(none);
  EXPECT_EQ(project_->exportJob.done, 1);
  const AviFileLayout layout = Layout("ffv1.avi");
  EXPECT_EQ(layout.fccHandler, FourCc("FFV1"));
  EXPECT_EQ(layout.frameChunkIds.size(), 7u);
}

TEST_F(ExportJobTest, StreamRateIsTheTruncatedFrameRateTimesTenThousand) {
  project_->SetFrameRate(29.97);
  project_->movieLength = 1;
  const ExportComposer none;
  ASSERT_TRUE(BeginExport(*project_, Path16("ntsc.avi"), none));
  RunJob(none);
  const AviFileLayout layout = Layout("ntsc.avi");
  ASSERT_NE(layout.scale, 0u);
  EXPECT_EQ(uint64_t{layout.rate} * 10000, uint64_t{299700} * layout.scale);
  // Without a composer every frame is the background colour.
  ASSERT_EQ(layout.frames.size(), 1u);
  EXPECT_EQ(TopLeft(layout.frames[0]), ProjectColourToPixel(kBackground));
}

TEST_F(ExportJobTest, StepWithoutWritingComposesAndAdvancesOnly) {
  FakeComposer composer;
  const ExportComposer hooks = composer.Hooks();
  ASSERT_TRUE(BeginExport(*project_, Path16("skip.avi"), hooks));
  EXPECT_TRUE(ExportStep(*project_, false, hooks));
  EXPECT_EQ(project_->exportJob.framesWritten, 1);
  EXPECT_EQ(project_->workFrames[1].At(0, 0), 0u);
  // The file has no frame 0, so frame 1 cannot follow: the stream keeps no gaps.
  EXPECT_FALSE(ExportStep(*project_, true, hooks));
  EXPECT_EQ(project_->exportJob.framesWritten, 1);
  EndExport(*project_);
  EXPECT_TRUE(Layout("skip.avi").frames.empty());
}

// The job on a pipelined writer (the composer writes into one work frame while the encoding
// thread reads the other) writes the same file, byte for byte, as on a sequential one, also
// when cancelled part-way; and the frames hold what was composed for them.
TEST_F(ExportJobTest, PipelinedWriterWritesTheSameFile) {
  project_->outputWidth = 96;  // large enough for the encoding thread to take a while
  project_->outputHeight = 64;
  for (const char* compressor : {"raw", "ffv1", "h264"}) {
    for (const bool cancel : {false, true}) {
      SCOPED_TRACE(::testing::Message() << compressor << (cancel ? " cancelled" : ""));
      std::vector<uint8_t> files[2];
      for (const bool pipelined : {false, true}) {
        AviWriter* writer = ProjectAviWriter(*project_);
        writer->SetPipelined(pipelined);
        ASSERT_TRUE(ChooseCompressor(*writer, compressor));
        FakeComposer composer;
        const ExportComposer hooks = composer.Hooks();
        const std::string file = std::string("job") + (pipelined ? "-p" : "") + ".avi";
        ASSERT_TRUE(BeginExport(*project_, Path16(file), hooks));
        if (cancel) {
          for (int i = 0; i < 4; ++i) HandleExportStepRequest(*project_, hooks);
          CancelExport(*project_);
        } else {
          RunJob(hooks);
          EXPECT_EQ(project_->exportJob.done, 1);
        }
        EXPECT_FALSE(writer->Initialised());
        const uint32_t expected = cancel ? 4 : 7;
        EXPECT_EQ(testing::JsonField(testing::ProbeStreams(PathOf(file)), "nb_read_frames"),
                  std::to_string(expected));
        files[pipelined] = testing::ReadFileBytes(PathOf(file));
        if (std::string(compressor) == "raw") {
          // Each stored frame is the one composed for it, not a later one's pixels.
          const AviFileLayout layout = Layout(file);
          ASSERT_EQ(layout.frames.size(), expected);
          for (uint32_t n = 0; n < expected; ++n) {
            uint32_t topLeft;
            std::memcpy(&topLeft, &layout.frames[n][size_t{63} * 96 * 4], 4);
            EXPECT_EQ(topLeft, n);
          }
        }
      }
      ASSERT_FALSE(files[0].empty());
      EXPECT_TRUE(files[0] == files[1]);
    }
  }
}

// The last frames' failure, found only when the writer closes, ends the job aborted, not done.
TEST_F(ExportJobTest, FailureFoundAtTheCloseAbortsTheJob) {
  const std::string device = testing::FullDevice();
  if (device.empty()) GTEST_SKIP() << "no device that is always full";
  for (const bool pipelined : {false, true}) {
    SCOPED_TRACE(pipelined ? "pipelined" : "sequential");
    ProjectAviWriter(*project_)->SetPipelined(pipelined);
    FakeComposer composer;
    const ExportComposer hooks = composer.Hooks();
    ASSERT_TRUE(BeginExport(*project_, FromUtf8(device), hooks));
    RunJob(hooks);  // seven small frames fit the file's buffer; the close writes them out
    EXPECT_EQ(project_->exportJob.abort, 1);
    EXPECT_EQ(project_->exportJob.done, 0);
    EXPECT_FALSE(project_->exportWriter->Initialised());
    EXPECT_EQ(ProgressTickAction(*project_), ProgressTick::EndCancelled);
  }
}

}  // namespace
}  // namespace tavrona
