#include "sources/movie_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "app/process_state.h"
#include "model/text_encoding.h"
#include "sources/movie_source.h"
#include "test_movies.h"

namespace tavrona {
namespace {

std::u16string U16(const std::filesystem::path& path) {
  return FromUtf8(path.string());
}

int ShownIndex(const FileEntry& entry) {
  return testing::ReadTestFrameIndex(entry.picture.pixels, entry.picture.Width(),
                                     entry.picture.Height());
}

class MovieFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Process().settings = Settings{};
    avi_ = testing::TestMoviePath(testing::Ffv1Avi30());
    mp4_ = testing::TestMoviePath(testing::H264Mp4(30));
    ASSERT_FALSE(avi_.empty());
    ASSERT_FALSE(mp4_.empty());
  }
  void TearDown() override { ResetFileEntry(entry_); }

  std::filesystem::path avi_, mp4_;
  FileEntry entry_;
};

TEST_F(MovieFileTest, OpenMakesAMovieEntryWithTheRelativePathAsGiven) {
  const std::u16string folder = U16(mp4_.parent_path());
  const std::u16string relative = u"\\" + U16(mp4_.filename());
  entry_.transparentColour = 0x123456;
  ASSERT_TRUE(OpenMovieFile(entry_, relative, folder));
  EXPECT_EQ(entry_.kind, FileMovie);
  EXPECT_EQ(PathView(entry_.path), relative);
  EXPECT_EQ(entry_.transparentColour, 0xFF000000u);
  EXPECT_EQ(entry_.cachedFrameIndex, -1);
  EXPECT_EQ(entry_.picture.Width(), 64);
  EXPECT_EQ(entry_.picture.Height(), 64);
  EXPECT_EQ(entry_.picture.byteSize, 64u * 64 * 4);
  EXPECT_EQ(MovieFrameCount(entry_), 60u);
  EXPECT_EQ(MovieFrameDuration100ns(entry_), 333333);
}

TEST_F(MovieFileTest, FilesThatAreNotMoviesFailAndLeaveTheEntryAsItWas) {
  ASSERT_TRUE(OpenMovieFile(entry_, U16(avi_), u""));
  const MovieSource* before = entry_.movie.get();
  testing::TempFolder folder;
  const auto text = folder.Path() / "notes.txt";
  std::ofstream(text) << "not a movie at all\n";
  const auto bmp = folder.Path() / "still.bmp";
  {
    // A valid 1 x 1 32-bit BMP: a still image is not a movie.
    const uint8_t file[] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0,  0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0,
                            0,   0,   1,  0, 0, 0, 1, 0, 32, 0, 0,  0, 0, 0, 4,  0, 0, 0, 0, 0,
                            0,   0,   0,  0, 0, 0, 0, 0, 0,  0, 0,  0, 0, 0, 1,  2, 3, 0};
    std::ofstream(bmp, std::ios::binary).write(reinterpret_cast<const char*>(file), sizeof file);
  }
  const auto empty = folder.Path() / "empty.mp4";
  std::ofstream(empty).flush();
  for (const auto& path : {text, bmp, empty, folder.Path() / "missing.avi", folder.Path()}) {
    EXPECT_FALSE(OpenMovieFile(entry_, U16(path), u"")) << path;
  }
  EXPECT_FALSE(OpenMovieFile(entry_, std::u16string(300, u'a'), u""));  // too long to store
  EXPECT_EQ(entry_.kind, FileMovie);
  EXPECT_EQ(entry_.movie.get(), before);
  EXPECT_EQ(PathView(entry_.path), U16(avi_));
  EXPECT_TRUE(PrepareMovieFrame(entry_, 3));
  EXPECT_EQ(ShownIndex(entry_), 3);
}

TEST_F(MovieFileTest, TruncatedMoviesAreRefusedOrDeliverWhatTheyHold) {
  Process().settings.abortTimeoutMs = 100;  // nobody is asked: a timeout abandons the request
  testing::TempFolder folder;
  const auto cutCopy = [&](const std::filesystem::path& source) {
    const auto cut = folder.Path() / ("cut_" + source.filename().string());
    std::filesystem::copy_file(source, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(source) * 6 / 10);
    return cut;
  };
  // The AVI loses its index, the MP4 its sample table (written last): neither can be positioned.
  EXPECT_FALSE(OpenMovieFile(entry_, U16(cutCopy(avi_)), u""));
  EXPECT_FALSE(OpenMovieFile(entry_, U16(cutCopy(mp4_)), u""));
  // Matroska carries its times in every cluster: what is left plays, and counts only the frames
  // it still holds; indices past them give the last one.
  const auto mkv = testing::TestMoviePath(testing::H264Mkv(25));
  ASSERT_FALSE(mkv.empty());
  ASSERT_TRUE(OpenMovieFile(entry_, U16(cutCopy(mkv)), u""));
  const uint32_t count = MovieFrameCount(entry_);
  EXPECT_GT(count, 10u);
  EXPECT_LT(count, 60u);
  int delivered = 0;
  for (const uint32_t n : {0u, 1u, 2u, 20u, 5u, 59u, 6u, 58u}) {
    if (!PrepareMovieFrame(entry_, n)) continue;
    EXPECT_EQ(ShownIndex(entry_), static_cast<int>(std::min(n, count - 1)));
    ++delivered;
  }
  EXPECT_GE(delivered, 6);
}

TEST_F(MovieFileTest, LosslessFramesArriveExactlyInTheFrameBufferLayout) {
  ASSERT_TRUE(OpenMovieFile(entry_, U16(avi_), u""));
  for (const int n : {0, 12, 13, 59, 2}) {
    ASSERT_TRUE(PrepareMovieFrame(entry_, n));
    const std::vector<uint32_t> expected = testing::TestFramePixels(n, 64, 64);
    EXPECT_EQ(std::memcmp(entry_.picture.pixels, expected.data(), entry_.picture.byteSize), 0)
        << "frame " << n;
  }
}

TEST_F(MovieFileTest, H264FramesMatchAWholePictureConversion) {
  // 100 rows: three full bands of rows and a short one.
  testing::TestMovieRecipe recipe = testing::H264Mp4(25);
  recipe.width = 96;
  recipe.height = 100;
  recipe.frameCount = 12;
  const auto path = testing::TestMoviePath(recipe);
  ASSERT_FALSE(path.empty());
  ASSERT_TRUE(OpenMovieFile(entry_, U16(path), u""));
  for (const int n : {0, 1, 7, 3}) {
    ASSERT_TRUE(PrepareMovieFrame(entry_, n));
    EXPECT_EQ(ShownIndex(entry_), n);
    const std::vector<uint32_t> expected = testing::ReferenceFrame(path, n);
    ASSERT_EQ(expected.size() * 4, entry_.picture.byteSize);
    EXPECT_EQ(std::memcmp(entry_.picture.pixels, expected.data(), entry_.picture.byteSize), 0)
        << "frame " << n;
  }
}

TEST_F(MovieFileTest, DecodedH264PixelsHaveAZeroFourthByte) {
  ASSERT_TRUE(OpenMovieFile(entry_, U16(mp4_), u""));
  ASSERT_TRUE(PrepareMovieFrame(entry_, 17));
  EXPECT_EQ(ShownIndex(entry_), 17);
  uint32_t fourthBytes = 0;
  for (uint32_t i = 0; i < entry_.picture.byteSize / 4; ++i) {
    fourthBytes |= entry_.picture.Words()[i] & 0xFF000000u;
  }
  EXPECT_EQ(fourthBytes, 0u);
}

TEST_F(MovieFileTest, IndicesPastTheEndOrNegativeAreClamped) {
  ASSERT_TRUE(OpenMovieFile(entry_, U16(mp4_), u""));
  ASSERT_TRUE(PrepareMovieFrame(entry_, 1000));
  EXPECT_EQ(entry_.cachedFrameIndex, 59);
  EXPECT_EQ(ShownIndex(entry_), 59);
  ASSERT_TRUE(PrepareMovieFrame(entry_, static_cast<uint32_t>(-5)));
  EXPECT_EQ(entry_.cachedFrameIndex, 0);
  EXPECT_EQ(ShownIndex(entry_), 0);
  ASSERT_TRUE(PrepareMovieFrame(entry_, 60));
  EXPECT_EQ(ShownIndex(entry_), 59);
}

TEST_F(MovieFileTest, AskingForTheHeldFrameAgainDoesNotFetch) {
  ASSERT_TRUE(OpenMovieFile(entry_, U16(mp4_), u""));
  ASSERT_TRUE(PrepareMovieFrame(entry_, 5));
  EXPECT_EQ(ShownIndex(entry_), 5);
  std::memset(entry_.picture.pixels, 0, entry_.picture.byteSize);
  ASSERT_TRUE(PrepareMovieFrame(entry_, 5));
  EXPECT_EQ(ShownIndex(entry_), -1);  // still the cleared picture: nothing was fetched
  ASSERT_TRUE(PrepareMovieFrame(entry_, 6));
  EXPECT_EQ(ShownIndex(entry_), 6);
  entry_.cachedFrameIndex = -1;  // as at the start of an export
  ASSERT_TRUE(PrepareMovieFrame(entry_, 6));
  EXPECT_EQ(ShownIndex(entry_), 6);
}

TEST_F(MovieFileTest, FailedFetchForgetsTheCachedFrame) {
  ASSERT_TRUE(OpenMovieFile(entry_, U16(mp4_), u""));
  ASSERT_TRUE(PrepareMovieFrame(entry_, 5));
  // A request that needs a seek while the source is taken away from the decoder fails.
  entry_.movie->Release();
  EXPECT_FALSE(PrepareMovieFrame(entry_, 9));
  EXPECT_EQ(entry_.cachedFrameIndex, -1);
  EXPECT_EQ(ShownIndex(entry_), 5);  // the picture keeps what it held

  FileEntry empty;
  EXPECT_FALSE(PrepareMovieFrame(empty, 0));
}

TEST_F(MovieFileTest, ReferenceFrameDurationChangesTheFrameCountOfMediaTimeMovies) {
  entry_.referenceFrameDuration100ns = 1'000'000;  // 10 frames per second on a 30 fps file
  ASSERT_TRUE(OpenMovieFile(entry_, U16(mp4_), u""));
  EXPECT_EQ(MovieFrameCount(entry_), 20u);
  EXPECT_EQ(MovieFrameDuration100ns(entry_), 1'000'000);
  // Frame k spans 100 ns times [k - 0.5, k + 0.5) x 1,000,000, which holds file frames 3k - 1
  // to 3k + 1.
  for (const int k : {0, 1, 2, 3, 10, 4, 19, 18}) {
    ASSERT_TRUE(PrepareMovieFrame(entry_, k));
    EXPECT_NEAR(ShownIndex(entry_), 3 * k, 1) << "frame " << k;
  }
  ResetFileEntry(entry_);
  EXPECT_EQ(entry_.referenceFrameDuration100ns, 1'000'000);  // kept for the next open
}

TEST_F(MovieFileTest, ReferenceFrameDurationKeepsFrameNumberedMoviesOnTheirFrames) {
  entry_.referenceFrameDuration100ns = 1'000'000;
  ASSERT_TRUE(OpenMovieFile(entry_, U16(avi_), u""));
  ASSERT_TRUE(entry_.movie->FramePositions());
  EXPECT_EQ(MovieFrameCount(entry_), 60u);
  EXPECT_EQ(MovieFrameDuration100ns(entry_), 1'000'000);
  for (const int k : {0, 1, 2, 3, 4, 5, 6, 30, 31, 32, 7}) {
    ASSERT_TRUE(PrepareMovieFrame(entry_, k));
    EXPECT_EQ(ShownIndex(entry_), k);
  }
}

}  // namespace
}  // namespace tavrona
