#include "sources/decoder_pool.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "model/text_encoding.h"
#include "sources/movie_facts_cache.h"
#include "sources/movie_file.h"
#include "sources/movie_source.h"
#include "sources/picture_pages.h"
#include "test_movies.h"

namespace tavrona {
namespace {

using namespace std::chrono_literals;
constexpr uint64_t kMiB = uint64_t{1} << 20;

// A member that records its closes in a shared log, as "name" or "name+picture".
class LoggingMember final : public PooledDecoder {
 public:
  LoggingMember(std::string name, std::vector<std::string>& log)
      : name_(std::move(name)), log_(log) {}
  void CloseDecoder(bool dropPicture) override {
    log_.push_back(dropPicture ? name_ + "+picture" : name_);
  }

 private:
  std::string name_;
  std::vector<std::string>& log_;
};

class DecoderPoolTest : public ::testing::Test {
 protected:
  // Pins, accounts and unpins a member as a fetch does.
  void Use(PooledDecoder& member, uint64_t decoderBytes, uint64_t pictureBytes) {
    pool_.Pin(member);
    pool_.Account(member, decoderBytes, pictureBytes);
    pool_.Unpin(member);
  }

  DecoderPool pool_{100};
  std::vector<std::string> log_;
  LoggingMember a_{"a", log_}, b_{"b", log_}, c_{"c", log_};
};

TEST_F(DecoderPoolTest, ClosesTheLeastRecentlyUsedUntilTheOpenDecodersFit) {
  for (PooledDecoder* m : {&a_, &b_, &c_}) pool_.Join(*m);
  Use(a_, 30, 10);
  Use(b_, 30, 10);
  Use(a_, 30, 10);  // a is now the most recently used
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(pool_.HeldBytes(), 80u);
  Use(c_, 30, 10);  // 120 > 100: b, the least recently used, goes with its picture
  EXPECT_EQ(log_, std::vector<std::string>{"b+picture"});
  EXPECT_EQ(pool_.HeldBytes(), 80u);
  EXPECT_EQ(pool_.OpenDecoders(), 2);

  // Leaving gives back what the member held, and closes nothing.
  pool_.Leave(a_);
  EXPECT_EQ(pool_.HeldBytes(), 40u);
  EXPECT_EQ(pool_.Members(), 2);
  EXPECT_EQ(log_.size(), 1u);
}

TEST_F(DecoderPoolTest, APinnedMemberIsNeverClosedAndAMemberTooBigForTheBudgetKeepsItsPicture) {
  pool_.Join(a_);
  pool_.Join(b_);
  Use(a_, 50, 0);
  pool_.Pin(b_);
  pool_.Account(b_, 90, 0);  // over the budget: a goes, b is in use
  EXPECT_EQ(log_, std::vector<std::string>{"a+picture"});
  pool_.Pin(a_);  // a nested use of another member while b is still in use
  pool_.Account(a_, 50, 0);
  EXPECT_EQ(log_.size(), 1u);  // b is pinned: nothing can go
  pool_.Unpin(a_);             // a's decoder closes, its picture stays for the caller to draw
  EXPECT_EQ(log_.back(), "a");
  pool_.Account(b_, 120, 30);  // bigger than the whole budget on its own
  pool_.Unpin(b_);
  EXPECT_EQ(log_.back(), "b");  // its decoder closes between fetches, its picture stays
  EXPECT_EQ(pool_.HeldBytes(), 30u);
  EXPECT_EQ(pool_.OpenDecoders(), 0);
}

TEST_F(DecoderPoolTest, IdleMembersCloseButNotTheOneInUse) {
  pool_.SetIdleTime(10s);
  pool_.Join(a_);
  pool_.Join(b_);
  Use(a_, 10, 5);
  Use(b_, 10, 5);
  const auto now = DecoderPool::Clock::now();
  pool_.CloseIdle(now + 5s);
  EXPECT_TRUE(log_.empty());
  pool_.Pin(b_, now + 11s);  // a has been idle long enough; b is being used again
  EXPECT_EQ(log_, std::vector<std::string>{"a+picture"});
  pool_.CloseIdle(now + 30s);  // b is pinned
  EXPECT_EQ(log_.size(), 1u);
  pool_.Unpin(b_);
  pool_.CloseIdle(DecoderPool::Clock::now() + 11s);
  EXPECT_EQ(log_.back(), "b+picture");
  EXPECT_EQ(pool_.HeldBytes(), 0u);
}

TEST(DecoderBudgetTest, EnvironmentThenSettingThenAQuarterOfTheMachine) {
  const char* saved = getenv("TAVRONA_DECODER_MEMORY_MB");
  const std::string savedValue = saved != nullptr ? saved : "";
  Settings settings;
  unsetenv("TAVRONA_DECODER_MEMORY_MB");
  const uint64_t machineQuarter = DecoderBudgetBytes(settings);
  EXPECT_GT(machineQuarter, 16 * kMiB);
  settings.decoderMemoryMB = 300;
  EXPECT_EQ(DecoderBudgetBytes(settings), 300 * kMiB);
  setenv("TAVRONA_DECODER_MEMORY_MB", "2", 1);
  EXPECT_EQ(DecoderBudgetBytes(settings), 2 * kMiB);
  for (const char* bad : {"0", "-3", "x", ""}) {
    setenv("TAVRONA_DECODER_MEMORY_MB", bad, 1);
    EXPECT_EQ(DecoderBudgetBytes(settings), 300 * kMiB) << bad;
  }
  settings.decoderMemoryMB = -1;
  EXPECT_EQ(DecoderBudgetBytes(settings), machineQuarter);
  if (saved != nullptr) {
    setenv("TAVRONA_DECODER_MEMORY_MB", savedValue.c_str(), 1);
  } else {
    unsetenv("TAVRONA_DECODER_MEMORY_MB");
  }
}

TEST(PicturePagesTest, TheBufferReadsAsZerosWhateverItsAlignment) {
  std::vector<uint8_t> buffer(3 * 4096 + 1000, 0xAB);
  ReturnPicturePages(buffer.data() + 3, buffer.size() - 10);
  EXPECT_EQ(buffer[0], 0xAB);
  EXPECT_EQ(buffer[2], 0xAB);
  for (size_t i = 3; i < buffer.size() - 7; ++i) ASSERT_EQ(buffer[i], 0) << i;
  EXPECT_EQ(buffer[buffer.size() - 7], 0xAB);
  buffer.assign(buffer.size(), 0xCD);  // pages given back take writes again
  EXPECT_EQ(buffer[5000], 0xCD);
}

// ---- Pooled movie sources with real files ----

std::u16string U16(const std::filesystem::path& path) {
  return FromUtf8(path.string());
}

class PooledMovieTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Process().settings = Settings{};
    mp4_ = testing::TestMoviePath(testing::H264Mp4(30));
    ASSERT_FALSE(mp4_.empty());
    budget_ = ProcessDecoderPool().BudgetBytes();
  }
  void TearDown() override {
    for (FileEntry& e : entries_) ResetFileEntry(e);
    ProcessDecoderPool().SetBudgetBytes(budget_);
  }

  int Shown(const FileEntry& entry) {
    return testing::ReadTestFrameIndex(entry.picture.pixels, entry.picture.Width(),
                                       entry.picture.Height());
  }

  std::filesystem::path mp4_;
  uint64_t budget_ = 0;
  FileEntry entries_[3];
};

TEST_F(PooledMovieTest, OpeningDecodesNothingForASecondSlotAndKeepsNoDecoderOpen) {
  const int before = ProcessDecoderPool().OpenDecoders();
  ASSERT_TRUE(OpenMovieFile(entries_[0], U16(mp4_), u""));
  ASSERT_TRUE(OpenMovieFile(entries_[1], U16(mp4_), u""));
  EXPECT_EQ(ProcessDecoderPool().OpenDecoders(), before);
  EXPECT_EQ(entries_[1].movie->FrameCount(), entries_[0].movie->FrameCount());
  EXPECT_EQ(entries_[1].movie->Facts(), entries_[0].movie->Facts());
  EXPECT_FALSE(entries_[1].movie->DecoderOpen());
  ASSERT_TRUE(PrepareMovieFrame(entries_[1], 7));
  EXPECT_EQ(Shown(entries_[1]), 7);
  EXPECT_EQ(entries_[1].movie->Reopenings(), 1u);
}

TEST_F(PooledMovieTest, ASourceClosedBetweenFetchesReopensAndGivesTheSameFrames) {
  ProcessDecoderPool().SetBudgetBytes(1);  // every decoder closes after its fetch
  ASSERT_TRUE(OpenMovieFile(entries_[0], U16(mp4_), u""));
  const uint32_t count = entries_[0].movie->FrameCount();
  ASSERT_EQ(count, 60u);
  for (const uint32_t n : {0u, 1u, 2u, 30u, 29u, 59u, 13u, 0u}) {
    ASSERT_TRUE(PrepareMovieFrame(entries_[0], n)) << n;
    EXPECT_EQ(Shown(entries_[0]), static_cast<int>(n));
    EXPECT_FALSE(entries_[0].movie->DecoderOpen());
  }
  EXPECT_EQ(entries_[0].movie->Reopenings(), 8u);
}

TEST_F(PooledMovieTest, TheLeastRecentlyUsedSourceClosesAndItsPictureIsFetchedAnew) {
  ProcessDecoderPool().SetBudgetBytes(uint64_t{1} << 30);  // whatever the run's budget is
  ASSERT_TRUE(OpenMovieFile(entries_[0], U16(mp4_), u""));
  ASSERT_TRUE(OpenMovieFile(entries_[1], U16(mp4_), u""));
  ASSERT_TRUE(PrepareMovieFrame(entries_[0], 4));
  const uint64_t oneSource = ProcessDecoderPool().HeldBytes();
  ASSERT_GT(oneSource, entries_[0].picture.byteSize);  // the decoder and the picture
  ProcessDecoderPool().SetBudgetBytes(oneSource + oneSource / 2);  // room for one source only

  ASSERT_TRUE(PrepareMovieFrame(entries_[1], 9));  // the first source has to go
  EXPECT_FALSE(entries_[0].movie->DecoderOpen());
  EXPECT_TRUE(entries_[1].movie->DecoderOpen());
  EXPECT_EQ(Shown(entries_[0]), -1);  // its picture's pages went back: zeros
  EXPECT_EQ(Shown(entries_[1]), 9);
  ASSERT_TRUE(PrepareMovieFrame(entries_[0], 4));  // the same frame: fetched again
  EXPECT_EQ(Shown(entries_[0]), 4);
  EXPECT_EQ(entries_[0].movie->Reopenings(), 2u);
}

TEST_F(PooledMovieTest, AFileChangedWhileClosedFailsTheFetchAndLosesNothing) {
  testing::TempFolder folder;
  const std::filesystem::path copy = folder.Path() / "movie.mp4";
  std::filesystem::copy_file(mp4_, copy);
  ProcessDecoderPool().SetBudgetBytes(1);
  ASSERT_TRUE(OpenMovieFile(entries_[0], U16(copy), u""));
  ASSERT_TRUE(PrepareMovieFrame(entries_[0], 3));
  // Another movie of another length under the same name.
  testing::TestMovieRecipe shorter = testing::H264Mp4(30);
  shorter.frameCount = 20;
  std::filesystem::remove(copy);
  ASSERT_TRUE(testing::WriteTestMovie(copy, shorter));
  EXPECT_FALSE(PrepareMovieFrame(entries_[0], 5));
  EXPECT_EQ(entries_[0].cachedFrameIndex, -1);
  EXPECT_EQ(entries_[0].movie->FrameCount(), 60u);  // the facts it opened with stay
  // A slot opened now learns the new file rather than the facts kept for the old one.
  ASSERT_TRUE(OpenMovieFile(entries_[1], U16(copy), u""));
  EXPECT_EQ(entries_[1].movie->FrameCount(), 20u);
}

}  // namespace
}  // namespace tavrona
