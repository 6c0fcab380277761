#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "sources/capture_renderer.h"

namespace tavrona {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

VideoFormat Rgb32(int width, int height) {
  VideoFormat f;
  f.subtype = VideoSubtype::kRgb32;
  f.width = width;
  f.height = height;
  f.bitCount = 32;
  f.averageFrameDuration100ns = 400000;
  return f;
}

// A sample that owns its pixels; its first pixel word carries a tag to tell samples apart.
MovieSamplePtr MakeSample(const VideoFormat& format, uint32_t tag, bool hasStart,
                          int64_t start, int64_t mediaTime = 0) {
  auto memory = std::make_shared<std::vector<uint32_t>>(
      static_cast<size_t>(format.width) * format.height, tag);
  auto* sample = new MovieSample;
  sample->format = format;
  sample->pixels = reinterpret_cast<uint8_t*>(memory->data());
  sample->byteSize = static_cast<uint32_t>(memory->size() * 4);
  sample->hasStartTime = hasStart;
  sample->startTime100ns = start;
  sample->mediaTime = mediaTime;
  return MovieSamplePtr(sample, [memory](MovieSample* s) { delete s; });
}

uint32_t Tag(const MovieSamplePtr& sample) {
  return *reinterpret_cast<const uint32_t*>(sample->pixels);
}

class CaptureRendererTest : public ::testing::Test {
 protected:
  void Connect(CaptureRenderer& r) {
    ASSERT_TRUE(r.CheckFormat(format_));
    r.SetFormat(format_);
    r.SetStreaming(true);
  }
  std::mutex lock_;
  VideoFormat format_ = Rgb32(8, 4);
};

TEST_F(CaptureRendererTest, AcceptsOnly32BitRgbBottomUp) {
  CaptureRenderer r(lock_, 5000);
  EXPECT_TRUE(r.CheckFormat(Rgb32(8, 4)));
  VideoFormat yuv = Rgb32(8, 4);
  yuv.subtype = VideoSubtype::kYuv;
  EXPECT_FALSE(r.CheckFormat(yuv));
  VideoFormat rgb24 = Rgb32(8, 4);
  rgb24.bitCount = 24;
  EXPECT_FALSE(r.CheckFormat(rgb24));
  EXPECT_FALSE(r.CheckFormat(Rgb32(8, -4)));  // top-down rows
  EXPECT_FALSE(r.CheckFormat(Rgb32(0, 4)));
}

TEST_F(CaptureRendererTest, StampsPositionsFromStartTimeAndBase) {
  CaptureRenderer r(lock_, 5000);
  Connect(r);
  CaptureRenderer::Lock lock(lock_);
  r.SetTimeSettings(lock, true, 400000);
  r.SetBasePosition(lock, 100);
  lock.unlock();
  r.Render(MakeSample(format_, 1, true, 1200000));
  lock.lock();
  ASSERT_TRUE(r.HoldsSample(lock));
  EXPECT_EQ(r.HeldPosition(lock), 103);
  r.DropHeldSample(lock);
  EXPECT_EQ(r.HeldPosition(lock), CaptureRenderer::kNoPosition);

  r.SetTimeSettings(lock, false, 400000);
  r.SetBasePosition(lock, 5000000);
  lock.unlock();
  r.Render(MakeSample(format_, 2, true, 400000));
  lock.lock();
  EXPECT_EQ(r.HeldPosition(lock), 5400000);
  r.DropHeldSample(lock);
  lock.unlock();

  r.Render(MakeSample(format_, 3, false, 0, 77));  // no start time: its media time, no base
  lock.lock();
  EXPECT_EQ(r.HeldPosition(lock), 77);
}

TEST_F(CaptureRendererTest, FullSlotDiscardsTheNewFrameAfterTheCallbackTimeout) {
  CaptureRenderer r(lock_, 30);
  Connect(r);
  r.Render(MakeSample(format_, 1, true, 0));
  const auto t0 = Clock::now();
  r.Render(MakeSample(format_, 2, true, 400000));
  EXPECT_GE(Clock::now() - t0, 30ms);
  CaptureRenderer::Lock lock(lock_);
  MovieSamplePtr held = r.TakeHeldSample(lock);
  ASSERT_TRUE(held);
  EXPECT_EQ(Tag(held), 1u);
  EXPECT_FALSE(r.HoldsSample(lock));
}

TEST_F(CaptureRendererTest, RefusesFramesOfAnotherFormat) {
  CaptureRenderer r(lock_, 5000);
  Connect(r);
  r.Render(MakeSample(Rgb32(4, 4), 1, true, 0));
  VideoFormat yuv = format_;
  yuv.subtype = VideoSubtype::kYuv;
  r.Render(MakeSample(yuv, 2, true, 0));
  CaptureRenderer::Lock lock(lock_);
  EXPECT_FALSE(r.HoldsSample(lock));
}

TEST_F(CaptureRendererTest, TakingTheFrameReleasesAWaitingDelivery) {
  CaptureRenderer r(lock_, 10000);
  Connect(r);
  r.Render(MakeSample(format_, 1, true, 0));
  std::thread delivery([&] { r.Render(MakeSample(format_, 2, true, 400000)); });
  MovieSamplePtr second;
  {
    CaptureRenderer::Lock lock(lock_);
    ASSERT_EQ(Tag(r.TakeHeldSample(lock)), 1u);
    r.WaitForSample(lock, Clock::now() + 10s);
    second = r.TakeHeldSample(lock);
  }
  delivery.join();
  ASSERT_TRUE(second);
  EXPECT_EQ(Tag(second), 2u);
}

TEST_F(CaptureRendererTest, StoppingOrCancellingReleasesAWaitingDeliveryAtOnce) {
  for (const bool cancel : {false, true}) {
    CaptureRenderer r(lock_, 10000);
    Connect(r);
    r.Render(MakeSample(format_, 1, true, 0));
    const auto t0 = Clock::now();
    std::thread delivery([&] { r.Render(MakeSample(format_, 2, true, 400000)); });
    std::this_thread::sleep_for(20ms);
    if (cancel) {
      CaptureRenderer::Lock lock(lock_);
      r.SetCancelled(lock);
    } else {
      r.SetStreaming(false);
    }
    delivery.join();
    EXPECT_LT(Clock::now() - t0, 5s) << "cancel " << cancel;
    CaptureRenderer::Lock lock(lock_);
    // Stopping flushes the slot; cancelling keeps what is held but takes nothing new.
    if (cancel) {
      ASSERT_TRUE(r.HoldsSample(lock));
      EXPECT_EQ(Tag(r.TakeHeldSample(lock)), 1u);
    } else {
      EXPECT_FALSE(r.HoldsSample(lock));
    }
    lock.unlock();
    r.Render(MakeSample(format_, 3, true, 0));
    lock.lock();
    EXPECT_FALSE(r.HoldsSample(lock)) << "cancel " << cancel;
  }
}

TEST_F(CaptureRendererTest, EndOfStreamEndsAWaitForAFrame) {
  CaptureRenderer r(lock_, 5000);
  Connect(r);
  std::thread delivery([&] {
    std::this_thread::sleep_for(20ms);
    r.EndOfStream();
  });
  CaptureRenderer::Lock lock(lock_);
  const auto t0 = Clock::now();
  r.WaitForSample(lock, Clock::now() + 10s);
  EXPECT_TRUE(r.StreamEnded(lock));
  EXPECT_LT(Clock::now() - t0, 5s);
  lock.unlock();
  delivery.join();
  r.SetStreaming(true);  // a new run
  lock.lock();
  EXPECT_FALSE(r.StreamEnded(lock));
}

}  // namespace
}  // namespace tavrona
