#include "export/export_progress.h"

#include <gtest/gtest.h>

#include <memory>

#include "model/text_encoding.h"

namespace tavrona {
namespace {

constexpr int64_t k30fps = 333333;

// The text of the dialog with elapsed time 0, and the position part of it.
std::string PositionOf(uint32_t framesWritten, int64_t frameDuration = k30fps) {
  const std::string text =
      ToUtf8(FormatProgressText(ComputeProgress(framesWritten, 216000, frameDuration, 0)));
  const std::string head = "現在位置 ";
  return text.substr(head.size(), text.find('\t') - head.size());
}

std::string RemainingOf(uint32_t framesWritten, uint32_t total, uint64_t elapsedMs) {
  const std::string text =
      ToUtf8(FormatProgressText(ComputeProgress(framesWritten, total, k30fps, elapsedMs)));
  const std::string head = "推定残り時間 ";
  return text.substr(text.find(head) + head.size());
}

TEST(ExportProgressTest, PositionInMinutesSecondsAndMilliseconds) {
  EXPECT_EQ(PositionOf(0), "00:00.000");
  EXPECT_EQ(PositionOf(90), "00:02.999");  // 29,999,970 in 100-ns units
  EXPECT_EQ(PositionOf(1800), "00:59.999");
  EXPECT_EQ(PositionOf(108001), "60:00.029");  // the minutes are not wrapped at 60
  EXPECT_EQ(PositionOf(216000), "119:59.992");
  // 2^20 frames of a one-frame-per-hour movie: far beyond 32 bits of 100-ns units.
  EXPECT_EQ(PositionOf(1048576, 36'000'000'000), "62914560:00.000");
}

TEST(ExportProgressTest, RemainingTimeEstimate) {
  EXPECT_EQ(RemainingOf(0, 300, 5000), "00:00.000");     // nothing written yet
  EXPECT_EQ(RemainingOf(150, 300, 20000), "00:20.000");  // halfway after 20 s
  EXPECT_EQ(RemainingOf(1, 3, 1001), "00:02.002");
  EXPECT_EQ(RemainingOf(300, 300, 20000), "00:00.000");
  // (2^20 - 1) frames left times ten minutes elapsed does not fit 32 bits; the estimate is
  // still right: 1,048,575 * 600,000 ms = 629,145,000,000 ms.
  const ProgressFigures f = ComputeProgress(1, 1048576, k30fps, 600000);
  EXPECT_EQ(f.remainingMs, 629'145'000'000u);
  EXPECT_EQ(RemainingOf(1, 1048576, 600000), "10485750:00.000");
}

TEST(ExportProgressTest, WholeTextOfOneTick) {
  // 45 of 90 frames at 30 per second, 20.5 s elapsed.
  const ProgressFigures f = ComputeProgress(45, 90, k30fps, 20500);
  EXPECT_EQ(f.percent, 50u);
  EXPECT_EQ(FormatProgressText(f),
            u"現在位置 00:01.499\t進捗度 50%\n経過時間 00:20.500\t推定残り時間 00:20.500");
  EXPECT_EQ(ComputeProgress(2, 3, k30fps, 0).percent, 66u);  // truncated
  EXPECT_EQ(ComputeProgress(5, 0, k30fps, 0).percent, 0u);
  EXPECT_EQ(FormatProgressText(ComputeProgress(1048576, 1048576, k30fps, 3'723'004)),
            u"現在位置 582:32.498\t進捗度 100%\n経過時間 62:03.004\t推定残り時間 00:00.000");
}

TEST(ExportProgressTest, DialogModelFollowsTheProject) {
  auto project = AllocateProjectData();
  ASSERT_TRUE(project);
  ApplyNewProjectReset(*project);
  project->movieLength = 90;
  project->exportJob.framesWritten = 30;
  ExportProgress progress;
  const auto start = ExportProgress::Clock::time_point{} + std::chrono::hours(5);
  progress.Start(start);
  const auto now = start + std::chrono::milliseconds(4321);
  EXPECT_EQ(progress.ElapsedMs(now), 4321u);
  EXPECT_EQ(progress.ElapsedMs(start - std::chrono::seconds(1)), 0u);
  EXPECT_EQ(ExportProgress::BarRange(*project), 90u);
  EXPECT_EQ(ExportProgress::BarPosition(*project), 30u);
  auto text = progress.Text(*project, now);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, u"現在位置 00:00.999\t進捗度 33%\n経過時間 00:04.321\t推定残り時間 00:08.642");

  // The thumbnail shows the frame written last: frame 29 lives in work frame 30 mod 2 = 0.
  EXPECT_EQ(&LastWrittenFrame(*project), &project->workFrames[0]);
  project->exportJob.framesWritten = 31;
  EXPECT_EQ(&LastWrittenFrame(*project), &project->workFrames[1]);

  project->movieLength = 0;  // nothing to show
  EXPECT_FALSE(progress.Text(*project, now).has_value());
}

TEST(ExportProgressTest, TimerTickEndsTheDialogOnceTheJobStopped) {
  auto project = AllocateProjectData();
  ASSERT_TRUE(project);
  EXPECT_EQ(ProgressTickAction(*project), ProgressTick::Refresh);
  project->exportJob.done = 1;
  EXPECT_EQ(ProgressTickAction(*project), ProgressTick::EndDone);
  project->exportJob.abort = 1;  // an abort wins
  EXPECT_EQ(ProgressTickAction(*project), ProgressTick::EndCancelled);
}

TEST(ExportProgressTest, ThumbnailIsCentredWithSignedTruncation) {
  EXPECT_EQ(ThumbnailLeft(640), 160);
  EXPECT_EQ(ThumbnailLeft(641), 160);
  EXPECT_EQ(ThumbnailLeft(320), 0);
  EXPECT_EQ(ThumbnailLeft(100), -110);
  EXPECT_EQ(ThumbnailLeft(319), 0);  // -1 / 2 truncates toward zero
}

TEST(ExportProgressTest, ThumbnailDropsAndRepeatsPixels) {
  FrameBuffer thumbnail;
  FrameBuffer empty;
  EXPECT_FALSE(MakeThumbnail(empty, thumbnail));
  // 640 x 120: every other column is dropped, every row repeated twice.
  FrameBuffer wide;
  ASSERT_TRUE(CreateFrameBuffer(wide, 640, 120));
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 640; ++x) wide.At(x, y) = static_cast<uint32_t>(y << 16 | x);
  }
  ASSERT_TRUE(MakeThumbnail(wide, thumbnail));
  ASSERT_EQ(thumbnail.Width(), kThumbnailWidth);
  ASSERT_EQ(thumbnail.Height(), kThumbnailHeight);
  EXPECT_EQ(thumbnail.At(0, 0), 0u);
  EXPECT_EQ(thumbnail.At(1, 0), 2u);
  EXPECT_EQ(thumbnail.At(319, 0), 638u);
  EXPECT_EQ(thumbnail.At(5, 1), uint32_t(0 << 16 | 10));
  EXPECT_EQ(thumbnail.At(5, 2), uint32_t(1 << 16 | 10));
  EXPECT_EQ(thumbnail.At(7, 239), uint32_t(119 << 16 | 14));
  // A single pixel fills the whole thumbnail.
  FrameBuffer dot;
  ASSERT_TRUE(CreateFrameBuffer(dot, 1, 1));
  dot.At(0, 0) = 0x123456;
  ASSERT_TRUE(MakeThumbnail(dot, thumbnail));
  for (int y = 0; y < kThumbnailHeight; ++y) {
    for (int x = 0; x < kThumbnailWidth; ++x) ASSERT_EQ(thumbnail.At(x, y), 0x123456u);
  }
}

}  // namespace
}  // namespace tavrona
