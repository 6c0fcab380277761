#include "ui/composition_worker.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "export_ui_test_support.h"
#include "model/text_encoding.h"
#include "sources/frame_request_cancel.h"
#include "sources/movie_file.h"
#include "sources/project_sources.h"
#include "test_movies.h"
#include "ui/frame_image.h"

namespace tavrona {
namespace {

constexpr int kWaitMs = 60000;  // a limit for a stuck worker, never reached when it works

// Movie frames that hold every request at a gate until the test opens it. Called on the
// worker thread; the counters are read on the test's thread.
class GatedMovieFrames final : public MovieFrames {
 public:
  int64_t FrameDuration(const FileEntry&) override { return 333333; }
  bool PrepareFrame(FileEntry&, uint32_t) override {
    std::unique_lock lock(mutex_);
    ++entered_;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return open_; });
    ++finished_;
    return true;
  }
  bool WaitEntered(int n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                             [&] { return entered_ >= n; });
  }
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    changed_.notify_all();
  }
  int Entered() {
    std::lock_guard lock(mutex_);
    return entered_;
  }
  int Finished() {
    std::lock_guard lock(mutex_);
    return finished_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  int entered_ = 0;
  int finished_ = 0;
};

// The real movie frames, each request made slow: at least as long as several output frames of
// a fast project, so playback cannot keep up and has to skip.
class SlowMovieFrames final : public MovieFrames {
 public:
  int64_t FrameDuration(const FileEntry& entry) override { return real_.FrameDuration(entry); }
  bool PrepareFrame(FileEntry& entry, uint32_t index) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    return real_.PrepareFrame(entry, index);
  }

 private:
  StandardMovieFrames real_;
};

// Movie frames whose requests stall, as a decoder seeking back through a long group of pictures
// does, until the worker thread's movie requests are cancelled or the test releases them.
class StallingMovieFrames final : public MovieFrames {
 public:
  int64_t FrameDuration(const FileEntry&) override { return 333333; }
  bool PrepareFrame(FileEntry&, uint32_t) override {
    ++entered;
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(10);
    while (!released && !FrameRequestsCancelled() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!FrameRequestsCancelled()) return true;
    ++cancelled;
    return false;
  }
  std::atomic<bool> released{false};
  std::atomic<int> entered{0};
  std::atomic<int> cancelled{0};
};

// A movie slot with a picture; the gated frames stand in for its decoder.
constexpr int kGatedSlot = 2;
std::unique_ptr<ProjectData> GatedProject() {
  auto project = testing::MakeExportProject(30);
  if (!project) return nullptr;
  project->files[kGatedSlot].kind = FileMovie;
  if (!CreateFrameBuffer(project->files[kGatedSlot].picture, 4, 4)) return nullptr;
  return project;
}

QImage ReferenceFrame(ProjectData& project, uint32_t frame, MovieFrames* movies) {
  FrameBuffer buffer;
  EXPECT_TRUE(CreateFrameBuffer(buffer, project.outputWidth, project.outputHeight));
  auto states = std::make_unique<PlaybackStates>();
  ComposeFrameAt(project, *states, frame, buffer, movies);
  return FrameImage(buffer);
}

std::vector<quint64> Serials(const QSignalSpy& spy) {
  std::vector<quint64> serials;
  for (const QList<QVariant>& args : spy) serials.push_back(args.at(0).value<quint64>());
  return serials;
}

TEST(CompositionWorkerTest, PreviewResultsComeBackOnTheUserInterfaceThread) {
  auto project = testing::MakeExportProject(30);
  ASSERT_TRUE(project);
  StandardMovieFrames movies;
  CompositionWorker worker(movies);
  QSignalSpy results(&worker, &CompositionWorker::previewReady);
  QThread* const uiThread = QThread::currentThread();
  bool onUiThread = true;
  QObject::connect(&worker, &CompositionWorker::previewReady,
                   [&] { onUiThread = onUiThread && QThread::currentThread() == uiThread; });

  const EventRecord scratch{};
  const uint64_t all = worker.RequestPreview(*project, {true, PreviewAllTracks, 0, 11}, scratch);
  ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() >= 1; }, kWaitMs));
  const uint64_t track = worker.RequestPreview(*project, {true, PreviewTrack, 1, 20}, scratch);
  const uint64_t none = worker.RequestPreview(*project, {true, PreviewNothing, 0, 0}, scratch);
  ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() >= 2; }, kWaitMs));
  EXPECT_TRUE(onUiThread);
  EXPECT_LT(all, track);
  EXPECT_LT(track, none);

  // The second result may be the track (then the third is "nothing") or, when the track job
  // was replaced before it started, "nothing" itself.
  EXPECT_EQ(results[0][0].value<quint64>(), all);
  EXPECT_TRUE(results[0][1].toBool());
  EXPECT_EQ(results[0][2].value<QImage>(), ReferenceFrame(*project, 11, &movies));
  const quint64 second = results[1][0].value<quint64>();
  if (second == track) {
    FrameBuffer buffer;
    ASSERT_TRUE(CreateFrameBuffer(buffer, project->outputWidth, project->outputHeight));
    auto states = std::make_unique<PlaybackStates>();
    ASSERT_TRUE(ComposeTrackAt(*project, *states, 1, 20, buffer, &movies));
    EXPECT_EQ(results[1][2].value<QImage>(), FrameImage(buffer));
    ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() >= 3; }, kWaitMs));
  }
  EXPECT_EQ(results.size(), second == track ? 3 : 2);
  EXPECT_EQ(Serials(results).back(), none);
  EXPECT_TRUE(results.back()[1].toBool());
  EXPECT_TRUE(results.back()[2].value<QImage>().isNull());
}

TEST(CompositionWorkerTest, NewRequestsReplaceWaitingOnesAndQuiesceWaitsForTheRunningOne) {
  auto project = GatedProject();
  ASSERT_TRUE(project);
  GatedMovieFrames gate;
  CompositionWorker worker(gate);
  QSignalSpy results(&worker, &CompositionWorker::previewReady);
  const EventRecord scratch{};
  const PreviewRequest gated{true, PreviewFile, kGatedSlot, 3};

  const uint64_t running = worker.RequestPreview(*project, gated, scratch);
  ASSERT_TRUE(gate.WaitEntered(1));
  worker.RequestPreview(*project, gated, scratch);  // waits, then is replaced
  const uint64_t replacing = worker.RequestPreview(*project, gated, scratch);
  gate.Open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() >= 2; }, kWaitMs));
  EXPECT_EQ(Serials(results), (std::vector<quint64>{running, replacing}));
  EXPECT_EQ(gate.Entered(), 2);
}

TEST(CompositionWorkerTest, QuiesceWaitsForTheRunningJobAndDropsTheWaitingOne) {
  auto project = GatedProject();
  ASSERT_TRUE(project);
  GatedMovieFrames gate;
  CompositionWorker worker(gate);
  QSignalSpy results(&worker, &CompositionWorker::previewReady);
  const EventRecord scratch{};
  const PreviewRequest gated{true, PreviewFile, kGatedSlot, 3};

  const uint64_t running = worker.RequestPreview(*project, gated, scratch);
  ASSERT_TRUE(gate.WaitEntered(1));
  worker.RequestPreview(*project, gated, scratch);  // dropped by Quiesce
  // The gate opens a little after Quiesce has begun to wait; Quiesce must not return before
  // the running job has left the project.
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.Open();
  });
  worker.Quiesce();
  EXPECT_EQ(gate.Finished(), 1);
  opener.join();

  // Results keep their order: the dropped job would have answered before the next one.
  const uint64_t next = worker.RequestPreview(*project, gated, scratch);
  ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() >= 2; }, kWaitMs));
  EXPECT_EQ(Serials(results), (std::vector<quint64>{running, next}));
  EXPECT_EQ(gate.Entered(), 2);
  worker.Quiesce();
  worker.Quiesce();  // idle: returns at once
}

// What must not overlap a composition (closing idle decoders) runs only between jobs: not while
// a preview is being composed, and at once when the worker is idle.
TEST(CompositionWorkerTest, RunWhileIdleWaitsForNoJobAndRunsBetweenThem) {
  auto project = GatedProject();
  ASSERT_TRUE(project);
  GatedMovieFrames gate;
  CompositionWorker worker(gate);
  int ran = 0;
  EXPECT_TRUE(worker.RunWhileIdle([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
  const EventRecord scratch{};
  worker.RequestPreview(*project, PreviewRequest{true, PreviewFile, kGatedSlot, 3}, scratch);
  ASSERT_TRUE(gate.WaitEntered(1));  // the job is inside its composition
  EXPECT_FALSE(worker.RunWhileIdle([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
  gate.Open();
  worker.Quiesce();
  EXPECT_TRUE(worker.RunWhileIdle([&] { ++ran; }));
  EXPECT_EQ(ran, 2);
}

struct PlaybackLog {
  explicit PlaybackLog(CompositionWorker& worker) {
    QObject::connect(&worker, &CompositionWorker::playbackFrame,
                     [this](quint32 frame, const QImage& image) {
                       frames[frame] = image;
                       order.push_back(frame);
                     });
    QObject::connect(&worker, &CompositionWorker::playbackEnded, [this] { ++ended; });
  }
  std::vector<uint32_t> order;
  std::map<uint32_t, QImage> frames;
  int ended = 0;
};

TEST(CompositionWorkerTest, PlaybackRunsFromThePositionToTheMovieLength) {
  auto project = testing::MakeExportProject(30);
  ASSERT_TRUE(project);
  StandardMovieFrames movies;
  CompositionWorker worker(movies);
  PlaybackLog log(worker);

  ASSERT_TRUE(worker.StartPlayback(*project, 18));
  EXPECT_TRUE(worker.Playing());
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.ended >= 1; }, kWaitMs));
  EXPECT_FALSE(worker.Playing());
  ASSERT_FALSE(log.order.empty());
  EXPECT_EQ(log.order.front(), 18u);
  for (size_t i = 1; i < log.order.size(); ++i) EXPECT_LT(log.order[i - 1], log.order[i]);
  EXPECT_LT(log.order.back(), 30u);
  // Each frame, composed sequentially (skipping or not), equals the frame composed directly.
  for (const auto& [frame, image] : log.frames) {
    EXPECT_EQ(image, ReferenceFrame(*project, frame, &movies)) << "frame " << frame;
  }

  // From the movie length on there is nothing to play.
  const size_t played = log.order.size();
  ASSERT_TRUE(worker.StartPlayback(*project, 30));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.ended >= 2; }, kWaitMs));
  EXPECT_EQ(log.order.size(), played);
  EXPECT_FALSE(worker.Playing());

  // A project without a frame duration cannot play. (The project is changed as the program
  // changes it: once the worker has let go of it.)
  worker.Quiesce();
  project->frameDuration100ns = 0;
  EXPECT_FALSE(worker.StartPlayback(*project, 0));
  EXPECT_FALSE(worker.Playing());
}

TEST(CompositionWorkerTest, PlaybackThatCannotKeepUpSkipsFramesInsteadOfSlowingDown) {
  const auto moviePath = testing::TestMoviePath(testing::Ffv1Avi30());
  ASSERT_FALSE(moviePath.empty());
  auto project = AllocateProjectData();
  ASSERT_TRUE(project);
  ApplyNewProjectReset(*project);
  project->outputWidth = 64;
  project->outputHeight = 64;
  project->SetFrameRate(100);  // 10 ms a frame; every movie frame takes 40 ms or more
  project->movieLength = 60;
  ASSERT_TRUE(OpenMovieFile(project->files[0], FromUtf8(moviePath.string()), u""));
  EventRecord e = DefaultEventForFile(*project, 0, 0);
  ASSERT_TRUE(InsertSorted(project->tracks[0], 1, &e));

  SlowMovieFrames slow;
  CompositionWorker worker(slow);
  PlaybackLog log(worker);
  ASSERT_TRUE(worker.StartPlayback(*project, 10));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.ended >= 1; }, kWaitMs));
  ASSERT_FALSE(log.order.empty());
  EXPECT_EQ(log.order.front(), 10u);
  EXPECT_LT(log.order.size(), 50u / 2);  // at most one frame in four can be composed
  for (size_t i = 1; i < log.order.size(); ++i) EXPECT_LT(log.order[i - 1], log.order[i]);
  EXPECT_LT(log.order.back(), 60u);

  // The frames after a jump show what the frame composed directly shows.
  worker.Quiesce();
  StandardMovieFrames movies;
  for (const auto& [frame, image] : log.frames) {
    EXPECT_EQ(image, ReferenceFrame(*project, frame, &movies)) << "frame " << frame;
  }
}

TEST(CompositionWorkerTest, StoppedPlaybackDeliversNothingMore) {
  auto project = testing::MakeExportProject(600);  // 20 seconds at 30 frames a second
  ASSERT_TRUE(project);
  StandardMovieFrames movies;
  CompositionWorker worker(movies);
  PlaybackLog log(worker);
  EXPECT_EQ(worker.AchievedFramesPerSecond(), 0);
  ASSERT_TRUE(worker.StartPlayback(*project, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.order.size() >= 3; }, kWaitMs));
  EXPECT_GE(worker.AchievedFramesPerSecond(), 1);
  EXPECT_LE(worker.AchievedFramesPerSecond(), 31);

  worker.StopPlayback();
  EXPECT_FALSE(worker.Playing());
  EXPECT_EQ(worker.AchievedFramesPerSecond(), 0);
  const size_t shown = log.order.size();
  QTest::qWait(200);  // frames composed meanwhile would arrive now
  EXPECT_EQ(log.order.size(), shown);
  EXPECT_EQ(log.ended, 0);

  // Quiesce stops a running playback as well.
  ASSERT_TRUE(worker.StartPlayback(*project, 100));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.order.back() >= 100; }, kWaitMs));
  worker.Quiesce();
  EXPECT_FALSE(worker.Playing());
  const size_t afterQuiesce = log.order.size();
  QTest::qWait(200);
  EXPECT_EQ(log.order.size(), afterQuiesce);
  EXPECT_EQ(log.ended, 0);
}

// Stopping does not wait for the movies of the frame being composed: StopPlayback and Quiesce
// abandon it (its requests see the cancel and fail), while Quiesce still lets a preview finish
// and only Abandon abandons one; the next job's requests are not cancelled.
TEST(CompositionWorkerTest, StopAbandonsThePlaybackFrameWhoseMoviesAreStillComing) {
  auto project = testing::MakeExportProject(30);
  ASSERT_TRUE(project);
  const auto moviePath = testing::TestMoviePath(testing::Ffv1Avi30());
  ASSERT_FALSE(moviePath.empty());
  ASSERT_TRUE(OpenMovieFile(project->files[kGatedSlot], FromUtf8(moviePath.string()), u""));
  EventRecord movieEvent = DefaultEventForFile(*project, kGatedSlot, 0);
  ASSERT_TRUE(InsertSorted(project->tracks[2], 1, &movieEvent));
  StallingMovieFrames stalling;
  CompositionWorker worker(stalling);
  PlaybackLog log(worker);

  ASSERT_TRUE(worker.StartPlayback(*project, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return stalling.entered >= 1; }, kWaitMs));
  worker.StopPlayback();
  worker.Quiesce();  // returns once the abandoned frame has ended
  EXPECT_EQ(stalling.cancelled, 1);

  ASSERT_TRUE(worker.StartPlayback(*project, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return stalling.entered >= 2; }, kWaitMs));
  worker.Quiesce();
  EXPECT_EQ(stalling.cancelled, 2);
  QTest::qWait(50);
  EXPECT_TRUE(log.order.empty());  // neither abandoned frame was shown

  // A preview is waited for, not abandoned.
  QSignalSpy results(&worker, &CompositionWorker::previewReady);
  worker.RequestPreview(*project, PreviewRequest{true, PreviewFile, kGatedSlot, 3}, EventRecord{});
  ASSERT_TRUE(QTest::qWaitFor([&] { return stalling.entered >= 3; }, kWaitMs));
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stalling.released = true;
  });
  worker.Quiesce();
  releaser.join();
  EXPECT_EQ(stalling.cancelled, 2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() >= 1; }, kWaitMs));
  EXPECT_TRUE(results[0][1].toBool());

  // The next playback fetches its movies again.
  ASSERT_TRUE(worker.StartPlayback(*project, 27));
  ASSERT_TRUE(QTest::qWaitFor([&] { return log.ended >= 1; }, kWaitMs));
  EXPECT_FALSE(log.order.empty());
  EXPECT_EQ(stalling.cancelled, 2);

  // When the project goes away, Abandon does not wait for a preview's movies either.
  stalling.released = false;
  const int entered = stalling.entered;
  worker.RequestPreview(*project, PreviewRequest{true, PreviewFile, kGatedSlot, 4}, EventRecord{});
  ASSERT_TRUE(QTest::qWaitFor([&] { return stalling.entered > entered; }, kWaitMs));
  worker.Abandon();
  EXPECT_EQ(stalling.cancelled, 3);
  ASSERT_TRUE(QTest::qWaitFor([&] { return results.size() >= 2; }, kWaitMs));
  EXPECT_FALSE(results[1][1].toBool());
}

}  // namespace
}  // namespace tavrona
