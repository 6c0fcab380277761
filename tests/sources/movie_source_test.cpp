#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/process_state.h"
#include "sources/frame_request_cancel.h"
#include "sources/movie_source.h"
#include "test_movies.h"

namespace tavrona {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::TestMovieRecipe;

struct SeekLog {
  std::vector<std::pair<int64_t, int64_t>> seeks;  // (start, stop) of every SetPositions
};

// Passes everything to the real back end and records the seeks.
class RecordingBackEnd final : public MovieBackEnd {
 public:
  RecordingBackEnd(std::unique_ptr<MovieBackEnd> inner, std::shared_ptr<SeekLog> log)
      : inner_(std::move(inner)), log_(std::move(log)) {}
  bool Connect(FrameSink& sink) override { return inner_->Connect(sink); }
  bool SetTimeFormat(MovieTimeFormat f) override { return inner_->SetTimeFormat(f); }
  bool CanSeekAbsolute() const override { return inner_->CanSeekAbsolute(); }
  bool GetAvailable(int64_t& e, int64_t& l) const override { return inner_->GetAvailable(e, l); }
  bool SetPositions(int64_t start, int64_t stop) override {
    log_->seeks.emplace_back(start, stop);
    return inner_->SetPositions(start, stop);
  }
  bool Run() override { return inner_->Run(); }
  bool GetEvent(int32_t& code) override { return inner_->GetEvent(code); }
  void Stop() override { inner_->Stop(); }
  int64_t SeekStartPosition(int64_t position) const override {
    return inner_->SeekStartPosition(position);
  }

 private:
  std::unique_ptr<MovieBackEnd> inner_;
  std::shared_ptr<SeekLog> log_;
};

// A back end that delivers, for each run after a seek, the frames a script names (start times
// relative to the seek), and nothing more: with no script it stalls.
class ScriptedBackEnd final : public MovieBackEnd {
 public:
  using Script = std::function<std::vector<int64_t>(int64_t start)>;
  static constexpr int64_t kFrameDuration = 400000;

  ScriptedBackEnd(Script script, std::shared_ptr<SeekLog> log)
      : script_(std::move(script)), log_(std::move(log)) {}
  ~ScriptedBackEnd() override { Stop(); }

  bool Connect(FrameSink& sink) override {
    format_.subtype = VideoSubtype::kRgb32;
    format_.width = 4;
    format_.height = 2;
    format_.bitCount = 32;
    format_.averageFrameDuration100ns = fileFrameDuration;
    if (!sink.CheckFormat(format_)) return false;
    sink.SetFormat(format_);
    sink_ = &sink;
    return true;
  }
  bool SetTimeFormat(MovieTimeFormat f) override { return f == MovieTimeFormat::kFrame; }
  bool CanSeekAbsolute() const override { return true; }
  bool GetAvailable(int64_t& e, int64_t& l) const override {
    e = 0;
    l = 100;
    return true;
  }
  bool SetPositions(int64_t start, int64_t stop) override {
    Stop();
    log_->seeks.emplace_back(start, stop);
    start_ = start;
    return true;
  }
  bool Run() override {
    if (delivery_.joinable()) return true;
    sink_->SetStreaming(true);
    std::vector<int64_t> times = script_ ? script_(start_) : std::vector<int64_t>{};
    delivery_ = std::thread([this, times, start = start_] {
      if (!times.empty()) std::this_thread::sleep_for(deliveryDelay);
      for (const int64_t t : times) {
        auto pixels = std::make_shared<std::vector<uint32_t>>(8, 0u);
        (*pixels)[0] = static_cast<uint32_t>(start + t / kFrameDuration);  // its frame number
        auto* sample = new MovieSample;
        sample->format = format_;
        sample->pixels = reinterpret_cast<uint8_t*>(pixels->data());
        sample->byteSize = 32;
        sample->hasStartTime = true;
        sample->startTime100ns = t;
        sink_->Render(MovieSamplePtr(sample, [pixels](MovieSample* s) { delete s; }));
      }
      if (!times.empty()) sink_->EndOfStream();  // as at a stop position; a stall never ends
    });
    return true;
  }
  bool GetEvent(int32_t& code) override {
    if (events.empty()) return false;
    code = events.front();
    events.pop_front();
    return true;
  }
  void Stop() override {
    ++stops;
    if (sink_ != nullptr) sink_->SetStreaming(false);
    if (delivery_.joinable()) delivery_.join();
  }

  std::atomic<int> stops{0};   // calls of Stop, SetPositions' included
  std::deque<int32_t> events;  // owner's thread only
  int64_t fileFrameDuration = kFrameDuration;  // what the "file" gives as its frame duration
  std::chrono::milliseconds deliveryDelay{0};  // before the first frame of each run

 private:
  Script script_;
  std::shared_ptr<SeekLog> log_;
  VideoFormat format_;
  FrameSink* sink_ = nullptr;
  int64_t start_ = 0;
  std::thread delivery_;
};

class ScriptedTarget final : public TimeoutTarget {
 public:
  int TimeoutQuery() override {
    ++queries;
    return queryAnswer;
  }
  bool AskToContinue(const std::u16string& message) override {
    questions.push_back(message);
    if (onAsk) onAsk();
    const size_t i = questions.size() - 1;
    return i < answers.size() && answers[i];
  }
  int queryAnswer = 0;
  std::vector<bool> answers;
  int queries = 0;
  std::vector<std::u16string> questions;
  std::function<void()> onAsk;
};

class MovieSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Process().settings = Settings{};
    Process().settings.callbackTimeoutMs = 2000;
    Process().timeoutTarget = &target_;
  }
  void TearDown() override {
    ResetTimeoutTarget(Process());
    Process().settings = Settings{};
  }

  std::unique_ptr<MovieSource> OpenScripted(ScriptedBackEnd::Script script,
                                            ScriptedBackEnd** backEnd = nullptr) {
    auto fake = std::make_unique<ScriptedBackEnd>(std::move(script), log_);
    if (backEnd != nullptr) *backEnd = fake.get();
    auto movie = std::make_unique<MovieSource>(std::move(fake));
    EXPECT_TRUE(movie->Build(0));
    return movie;
  }

  // Frame number the scripted back end stamped on the frame fetched, or -1 on failure.
  int64_t FetchScripted(MovieSource& movie, uint32_t n) {
    uint32_t pixels[8] = {};
    if (!FetchMovieFrame(movie, n, reinterpret_cast<uint8_t*>(pixels), sizeof pixels)) return -1;
    return pixels[0];
  }

  std::shared_ptr<SeekLog> log_ = std::make_shared<SeekLog>();
  ScriptedTarget target_;
};

TEST_F(MovieSourceTest, StalledBackEndAbortsWhenTheTimeoutTargetSaysSo) {
  Process().settings.abortTimeoutMs = 100;
  target_.queryAnswer = 1;  // an export that treats timeouts as errors
  auto movie = OpenScripted(nullptr);
  const auto t0 = Clock::now();
  EXPECT_EQ(FetchScripted(*movie, 5), -1);
  EXPECT_GE(Clock::now() - t0, 200ms);  // both attempts waited out the timeout
  EXPECT_EQ(target_.queries, 2);
  EXPECT_TRUE(target_.questions.empty());
}

TEST_F(MovieSourceTest, StalledBackEndAsksTheUserWhoMayGoOnOrCancel) {
  Process().settings.abortTimeoutMs = 100;
  target_.answers = {true, false, false};  // OK once, then Cancel
  auto movie = OpenScripted(nullptr);
  const auto t0 = Clock::now();
  EXPECT_EQ(FetchScripted(*movie, 5), -1);
  EXPECT_GE(Clock::now() - t0, 300ms);  // OK restarted the first wait
  ASSERT_EQ(target_.questions.size(), 3u);
  EXPECT_EQ(target_.questions[0], kMovieTimeoutQuestion);
  EXPECT_EQ(target_.queries, 3);
}

TEST_F(MovieSourceTest, FrameArrivingAfterTheUserSaysOkIsTaken) {
  Process().settings.abortTimeoutMs = 100;
  Process().settings.framePrev = 0;  // the held frame 0 is not decoded through: a seek
  target_.answers = {true};
  // After the seek to 5 the frame comes only after the timeout; the user says OK and it is
  // taken by the second attempt.
  ScriptedBackEnd* fake = nullptr;
  auto movie = OpenScripted([](int64_t) { return std::vector<int64_t>{0}; }, &fake);
  fake->deliveryDelay = 150ms;  // past the first timeout, within the one after OK
  EXPECT_EQ(FetchScripted(*movie, 5), 5);
  EXPECT_EQ(target_.questions.size(), 1u);
  EXPECT_EQ(log_->seeks.size(), 2u);
}

TEST_F(MovieSourceTest, SecondRequestDuringOneInProgressFailsAtOnce) {
  Process().settings.abortTimeoutMs = 100;
  auto movie = OpenScripted(nullptr);
  int64_t nested = 0;
  Clock::duration nestedTime{};
  target_.onAsk = [&] {
    const auto t0 = Clock::now();
    nested = FetchScripted(*movie, 7);
    nestedTime = Clock::now() - t0;
  };
  EXPECT_EQ(FetchScripted(*movie, 5), -1);
  EXPECT_EQ(nested, -1);
  EXPECT_LT(nestedTime, 50ms);
  EXPECT_EQ(log_->seeks.size(), 3u);  // build, and one seek per attempt of the outer request
}

// A request of a thread whose requests are cancelled stops waiting for a stalled decoder at once
// (not at the timeout, which here is ten minutes) and stops the decoder, the next one fails
// without asking the decoder, and after Reset the same source serves the frame.
TEST_F(MovieSourceTest, CancelEndsAWaitingRequestAndTheSourceServesAgainAfterReset) {
  Process().settings.abortTimeoutMs = 600000;
  Process().settings.framePrev = 0;
  std::atomic<int> runs{0};
  std::atomic<bool> stalled{false};
  // The build's run delivers frame 0, the next run stalls, the ones after it deliver.
  ScriptedBackEnd* backEnd = nullptr;
  auto movie = OpenScripted([&](int64_t) {
    const int run = runs++;
    if (run == 1) {
      stalled = true;
      return std::vector<int64_t>{};
    }
    return std::vector<int64_t>{0};
  }, &backEnd);
  FrameRequestCancel cancel;
  std::atomic<bool> done{false};
  int64_t cancelled = 0;
  std::thread requester([&] {
    const ScopedFrameRequestCancel bind(cancel);
    cancelled = FetchScripted(*movie, 50);
    done = true;
  });
  while (!stalled) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(100ms);  // normally long enough to be inside the wait
  EXPECT_FALSE(done);
  const int stopsBefore = backEnd->stops;
  cancel.Cancel();
  const auto cancelledAt = Clock::now();
  while (!done && Clock::now() - cancelledAt < 30s) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(done) << "the request went on waiting after the cancel";
  requester.join();
  EXPECT_EQ(cancelled, -1);
  EXPECT_EQ(target_.queries, 0);  // ended by the cancel, not by the timeout
  EXPECT_EQ(log_->seeks.size(), 2u);  // the build's, the stalled one; no second attempt
  EXPECT_EQ(backEnd->stops, stopsBefore + 1);  // the decoder was stopped, not left running

  {
    const ScopedFrameRequestCancel bind(cancel);
    EXPECT_EQ(FetchScripted(*movie, 50), -1);  // still cancelled: fails before any seek
    EXPECT_EQ(log_->seeks.size(), 2u);
    cancel.Reset();
    EXPECT_EQ(FetchScripted(*movie, 50), 50);
  }
  cancel.Cancel();
  EXPECT_EQ(FetchScripted(*movie, 50), 50);  // a thread the canceller is not bound to
}

TEST_F(MovieSourceTest, ErrorEventFailsTheRequest) {
  ScriptedBackEnd* fake = nullptr;
  auto movie = OpenScripted([](int64_t) { return std::vector<int64_t>{0}; }, &fake);
  fake->events.push_back(kMovieEventComplete);  // not an error
  EXPECT_EQ(FetchScripted(*movie, 0), 0);
  fake->events.push_back(kMovieEventErrorAbort);
  EXPECT_EQ(FetchScripted(*movie, 3), -1);
  EXPECT_EQ(FetchScripted(*movie, 3), 3);  // the event was consumed
}

TEST_F(MovieSourceTest, FirstFrameAfterSeekWithinFramePrevIsDecodedThrough) {
  Process().settings.framePrev = 2;
  // The back end starts two frames early, as one that cannot drop frames before the start.
  auto d = ScriptedBackEnd::kFrameDuration;
  auto movie = OpenScripted([d](int64_t) { return std::vector<int64_t>{-2 * d, -d, 0, d}; });
  EXPECT_EQ(FetchScripted(*movie, 40), 40);
  EXPECT_EQ(log_->seeks.size(), 2u);
}

TEST_F(MovieSourceTest, FirstFrameAfterSeekBeyondFramePrevFailsTheRequest) {
  Process().settings.framePrev = 2;
  auto d = ScriptedBackEnd::kFrameDuration;
  auto movie = OpenScripted([d](int64_t) { return std::vector<int64_t>{-3 * d, -2 * d, -d, 0}; });
  EXPECT_EQ(FetchScripted(*movie, 40), -1);
  EXPECT_EQ(log_->seeks.size(), 3u);  // the second attempt sought again
}

TEST_F(MovieSourceTest, OutOfRangeAndUnbuiltSourcesFail) {
  auto movie = OpenScripted([](int64_t) { return std::vector<int64_t>{0}; });
  EXPECT_EQ(movie->FrameCount(), 100u);
  EXPECT_EQ(FetchScripted(*movie, 100), -1);
  EXPECT_EQ(FetchScripted(*movie, 99), 99);
  uint32_t pixels[8];
  EXPECT_FALSE(FetchMovieFrame(*movie, 0, reinterpret_cast<uint8_t*>(pixels), 64));  // too big

  MovieSource none(nullptr);
  EXPECT_FALSE(none.Build(0));
  EXPECT_FALSE(FetchMovieFrame(none, 0, reinterpret_cast<uint8_t*>(pixels), 32));
}

TEST_F(MovieSourceTest, WithoutAnyFrameDurationTheMovieCannotBeBuilt) {
  Process().settings.abortTimeoutMs = 100;  // the stalled back end's wait after building
  for (const int64_t reference : {int64_t{0}, int64_t{-5}, int64_t{250000}}) {
    auto fake = std::make_unique<ScriptedBackEnd>(nullptr, log_);
    fake->fileFrameDuration = 0;
    MovieSource movie(std::move(fake));
    EXPECT_EQ(movie.Build(reference), reference > 0) << reference;
    if (reference > 0) {
      EXPECT_EQ(movie.FrameDuration100ns(), reference);
    }
  }
}

// ---- The FFmpeg back end with movies made by the tests ----

struct MovieCase {
  const char* name;
  TestMovieRecipe recipe;
};
void PrintTo(const MovieCase& c, std::ostream* os) { *os << c.name; }

class MovieFileProtocolTest : public MovieSourceTest,
                              public ::testing::WithParamInterface<MovieCase> {
 protected:
  void SetUp() override {
    MovieSourceTest::SetUp();
    path_ = testing::TestMoviePath(GetParam().recipe);
    ASSERT_FALSE(path_.empty());
  }

  std::unique_ptr<MovieSource> Open(int64_t referenceDuration = 0) {
    auto backEnd = OpenFfmpegMovie(path_);
    EXPECT_TRUE(backEnd);
    if (!backEnd) return nullptr;
    auto movie = std::make_unique<MovieSource>(
        std::make_unique<RecordingBackEnd>(std::move(backEnd), log_));
    EXPECT_TRUE(movie->Build(referenceDuration));
    return movie;
  }

  // The index shown by the frame fetched, -1 for a frame that is not a test frame, -2 when the
  // fetch failed.
  int Fetch(MovieSource& movie, uint32_t n) {
    std::vector<uint8_t> pixels(static_cast<size_t>(movie.FrameWidth()) * movie.FrameHeight() * 4);
    if (!FetchMovieFrame(movie, n, pixels.data(), static_cast<uint32_t>(pixels.size()))) {
      return -2;
    }
    return testing::ReadTestFrameIndex(pixels.data(), movie.FrameWidth(), movie.FrameHeight());
  }

  int64_t StopOf(const MovieSource& movie, uint32_t frame) const {
    return movie.FramePositions() ? frame : frame * movie.FrameDuration100ns();
  }

  std::filesystem::path path_;
};

TEST_P(MovieFileProtocolTest, EveryFrameInOrderIsRightAndCostsNoSeek) {
  auto movie = Open();
  ASSERT_TRUE(movie);
  const TestMovieRecipe& recipe = GetParam().recipe;
  EXPECT_EQ(movie->FrameWidth(), recipe.width);
  EXPECT_EQ(movie->FrameHeight(), recipe.height);
  EXPECT_EQ(movie->FrameDuration100ns(), 10'000'000 / recipe.framesPerSecond);
  ASSERT_EQ(movie->FrameCount(), static_cast<uint32_t>(recipe.frameCount));
  for (int i = 0; i < recipe.frameCount; ++i) ASSERT_EQ(Fetch(*movie, i), i);
  EXPECT_EQ(log_->seeks.size(), 1u);  // only the one of building
}

TEST_P(MovieFileProtocolTest, ShortForwardJumpsDecodeThroughLongOnesSeek) {
  auto movie = Open();
  ASSERT_TRUE(movie);
  EXPECT_EQ(Fetch(*movie, 7), 7);
  EXPECT_EQ(Fetch(*movie, 15), 15);  // 8 is held: within FramePrev (10) of 15
  EXPECT_EQ(log_->seeks.size(), 1u);
  EXPECT_EQ(Fetch(*movie, 40), 40);
  EXPECT_EQ(log_->seeks.size(), 2u);
}

TEST_P(MovieFileProtocolTest, BackwardAndFarJumpsSeekAndStillHitTheFrame) {
  auto movie = Open();
  ASSERT_TRUE(movie);
  const int last = GetParam().recipe.frameCount - 1;
  EXPECT_EQ(Fetch(*movie, 30), 30);
  EXPECT_EQ(Fetch(*movie, 5), 5);
  EXPECT_EQ(Fetch(*movie, last), last);
  EXPECT_EQ(Fetch(*movie, 0), 0);
  EXPECT_EQ(Fetch(*movie, 29), 29);
  EXPECT_EQ(Fetch(*movie, 28), 28);
  EXPECT_EQ(log_->seeks.size(), 7u);
  EXPECT_EQ(Fetch(*movie, last + 1), -2);
}

TEST_P(MovieFileProtocolTest, FrameNextBoundsTheDecodingAfterASeek) {
  Process().settings.frameNext = 5;
  auto movie = Open();
  ASSERT_TRUE(movie);
  EXPECT_EQ(Fetch(*movie, 20), 20);
  ASSERT_EQ(log_->seeks.size(), 2u);
  EXPECT_EQ(log_->seeks.back().second, StopOf(*movie, 25));
  for (int i = 21; i <= 23; ++i) EXPECT_EQ(Fetch(*movie, i), i);
  // Decoding forward towards 28 runs into the stop after frame 25: the request seeks at once
  // instead of waiting for a frame that cannot come.
  const auto t0 = Clock::now();
  EXPECT_EQ(Fetch(*movie, 28), 28);
  EXPECT_LT(Clock::now() - t0, 2s);
  EXPECT_EQ(log_->seeks.size(), 3u);
  // With more frames to go than remain, the stop is the end.
  Process().settings.frameNext = 1000;
  auto second = Open();
  EXPECT_EQ(Fetch(*second, 50), 50);
  EXPECT_EQ(log_->seeks.back().second, StopOf(*second, second->FrameCount()));
}

TEST_P(MovieFileProtocolTest, ReleaseWhileTheDecoderWaitsForRoomIsPrompt) {
  Process().settings.callbackTimeoutMs = 60000;
  auto movie = Open();
  ASSERT_TRUE(movie);
  EXPECT_EQ(Fetch(*movie, 0), 0);
  std::this_thread::sleep_for(50ms);  // frame 1 is held, the decoder waits with frame 2
  const auto t0 = Clock::now();
  movie.reset();
  EXPECT_LT(Clock::now() - t0, 5s);
}

TEST_P(MovieFileProtocolTest, TwoMoviesAreIndependent) {
  auto a = Open();
  auto b = Open();
  ASSERT_TRUE(a && b);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Fetch(*a, i), i);
    EXPECT_EQ(Fetch(*b, 20 + i), 20 + i);
  }
}

// A forward jump of more than FramePrev frames decodes on when no key frame lies between the
// held frame and the one asked for, where the file's index lists every key frame (MP4); where it
// does not (Matroska's cues), it seeks as before. Key frames every 12 frames exactly.
TEST_F(MovieSourceTest, JumpsWithinAGroupOfPicturesDecodeOnWhereTheIndexTellsSo) {
  Process().settings.framePrev = 2;
  const std::string gop12 =
      "-c:v libx264 -preset veryfast -pix_fmt yuv420p -bf 0 -g 12 -keyint_min 12 -sc_threshold 0";
  for (const char* container : {"mp4", "mkv"}) {
    SCOPED_TRACE(container);
    const std::string name = std::string("Gop12") + (container[1] == 'p' ? "Mp4" : "Mkv");
    const auto path = testing::ToolMoviePath({name, gop12, container, "", container});
    ASSERT_FALSE(path.empty());
    auto backEnd = OpenFfmpegMovie(path);
    ASSERT_TRUE(backEnd);
    log_->seeks.clear();
    MovieSource movie(std::make_unique<RecordingBackEnd>(std::move(backEnd), log_));
    ASSERT_TRUE(movie.Build(0));
    const auto fetch = [&](uint32_t n) {
      std::vector<uint8_t> pixels(static_cast<size_t>(movie.FrameWidth()) * movie.FrameHeight() *
                                  4);
      if (!FetchMovieFrame(movie, n, pixels.data(), static_cast<uint32_t>(pixels.size()))) {
        return -2;
      }
      return testing::ReadTestFrameIndex(pixels.data(), movie.FrameWidth(), movie.FrameHeight());
    };
    const bool indexed = std::string(container) == "mp4";
    EXPECT_EQ(fetch(12), 12);
    EXPECT_EQ(fetch(13), 13);
    const size_t before = log_->seeks.size();
    EXPECT_EQ(fetch(22), 22);  // 14 held, the next key frame is 24
    EXPECT_EQ(log_->seeks.size() - before, indexed ? 0u : 1u);
    EXPECT_EQ(fetch(35), 35);  // 23 held: the key frame 24 lies between
    EXPECT_EQ(log_->seeks.size() - before, indexed ? 1u : 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Movies, MovieFileProtocolTest,
    ::testing::Values(MovieCase{"Ffv1Avi30", testing::Ffv1Avi30()},
                      MovieCase{"H264Mp4At30", testing::H264Mp4(30)},
                      MovieCase{"H264Mp4At25", testing::H264Mp4(25)},
                      MovieCase{"H264MkvAt30", testing::H264Mkv(30)},
                      MovieCase{"H264MkvAt25", testing::H264Mkv(25)}),
    [](const ::testing::TestParamInfo<MovieCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavrona
