// Frame n of a movie is the n-th frame in presentation order, the frame `ffmpeg -fps_mode
// passthrough` decodes as its n-th, whatever the container and codec do with timestamps:
// reordered frames stamped with decoding times (AVI with B-frames), composition offsets and edit
// lists (MP4, MOV), a first timestamp other than 0, streams cut to start with frames that are
// not key frames. The movies are made with the ffmpeg command; every frame shows its index.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>

#include "app/process_state.h"
#include "model/text_encoding.h"
#include "sources/movie_file.h"
#include "sources/movie_source.h"
#include "test_movies.h"

namespace tavrona {
namespace {

using testing::ToolMovieRecipe;

constexpr int kSize = 64;

std::vector<ToolMovieRecipe> Recipes() {
  const std::string h264 = "-c:v libx264 -preset veryfast -pix_fmt yuv420p -bf 3 -g 12 ";
  const std::string mpeg4 = "-c:v mpeg4 -q:v 3 -bf 2 -g 12 ";
  return {
      {"AviMpeg4BFrames", mpeg4 + "-vtag XVID", "avi", "", "avi"},
      {"AviMpeg4BFramesNoTag", mpeg4, "avi", "", "avi"},
      // This encoder packs each B-frame with the frame before it into one chunk, followed by
      // an empty placeholder chunk, the way older cameras and encoders write AVI.
      {"AviMpeg4PackedBFrames", "-c:v libxvid -q:v 3 -bf 2 -g 12", "avi", "", "avi"},
      {"Mp4H264BFramesOffset", h264 + "-output_ts_offset 0.5", "mp4", "", "mp4"},
      {"MovH264BFrames", h264, "mov", "", "mov"},
      {"MkvH264BFramesOffset", h264 + "-output_ts_offset 0.5", "mkv", "", "mkv"},
      // -ss before the input with -c copy: an edit list that hides the frames before 0.5 s
      // of the group of pictures the cut starts in.
      {"Mp4EditList", h264, "mov", "-ss 0.5 -i {in} -c copy {out}", "mp4"},
      // -ss after the input with -copyinkf: the cut starts with frames that are not key frames.
      {"MkvOpenGopCut", h264 + "-x264-params open-gop=1", "mkv",
       "-i {in} -ss 0.5 -c copy -copyinkf {out}", "mkv"},
      {"Mp4NonKeyStart", h264, "mov", "-i {in} -ss 0.5 -c copy -copyinkf {out}", "mp4"},
      {"AviMpeg4NonKeyStart", mpeg4 + "-vtag XVID", "avi",
       "-i {in} -ss 0.5 -c copy -copyinkf {out}", "avi"},
      // Full-range (JPEG) 4:2:0, as MJPEG decodes: the colours must keep that range.
      {"AviMjpegFullRange", "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p", "avi", "", "avi"},
  };
}

std::u16string U16(const std::filesystem::path& path) {
  return FromUtf8(path.string());
}

// The reference decoding of each movie, made once per process.
const std::vector<std::vector<uint8_t>>& ReferenceFrames(const std::filesystem::path& path) {
  static std::map<std::filesystem::path, std::vector<std::vector<uint8_t>>> cache;
  auto it = cache.find(path);
  if (it == cache.end()) {
    it = cache.emplace(path, testing::ToolDecodedFrames(path, kSize, kSize)).first;
  }
  return it->second;
}

// Mean absolute difference of two frames' colour bytes.
double MeanDifference(const uint8_t* a, const std::vector<uint8_t>& b) {
  int64_t sum = 0;
  for (size_t i = 0; i < b.size(); ++i) {
    if (i % 4 != 3) sum += std::abs(a[i] - b[i]);
  }
  return static_cast<double>(sum) / (b.size() / 4 * 3);
}

class MovieOrderTest : public ::testing::TestWithParam<ToolMovieRecipe> {
 protected:
  void SetUp() override {
    Process().settings = Settings{};
    path_ = testing::ToolMoviePath(GetParam());
    ASSERT_FALSE(path_.empty()) << "the ffmpeg command could not make the movie";
    reference_ = &ReferenceFrames(path_);
    ASSERT_GE(reference_->size(), 20u);
    ASSERT_TRUE(OpenMovieFile(entry_, U16(path_), u""));
    count_ = MovieFrameCount(entry_);
  }
  void TearDown() override { ResetFileEntry(entry_); }

  // Fetches frame n and compares it with the reference's frame min(n, last): the same index
  // where the reference shows one, and nearly the same pixels where it shows damage (the frames
  // before the first key frame of a cut stream, decoded without their references).
  void ExpectFrame(uint32_t n) {
    SCOPED_TRACE(::testing::Message() << "frame " << n);
    ASSERT_TRUE(PrepareMovieFrame(entry_, n)) << "could not be decoded";
    const size_t last = reference_->size() - 1;
    const std::vector<uint8_t>& expected = (*reference_)[std::min<size_t>(n, last)];
    const int expectedIndex = testing::ReadTestFrameIndex(expected.data(), kSize, kSize);
    const int shown = testing::ReadTestFrameIndex(entry_.picture.pixels, kSize, kSize);
    if (expectedIndex >= 0) {
      ASSERT_EQ(shown, expectedIndex);
      // The same decoder's picture, converted to BGR once more: only rounding may differ (a
      // wrong colour range or matrix moves these colours by a dozen levels).
      ASSERT_LT(MeanDifference(entry_.picture.pixels, expected), 2.0);
    } else {
      ASSERT_LT(MeanDifference(entry_.picture.pixels, expected), 12.0);
    }
  }

  std::filesystem::path path_;
  const std::vector<std::vector<uint8_t>>* reference_ = nullptr;
  FileEntry entry_;
  uint32_t count_ = 0;
};

TEST_P(MovieOrderTest, CountsTheFramesTheDecoderPutsOut) {
  EXPECT_EQ(count_, reference_->size());
}

TEST_P(MovieOrderTest, SequentialFetchesGiveEveryFrameInOrder) {
  for (uint32_t n = 0; n < count_; ++n) ASSERT_NO_FATAL_FAILURE(ExpectFrame(n));
}

TEST_P(MovieOrderTest, BackwardFetchesGiveEveryFrame) {
  for (uint32_t n = count_; n-- > 0;) ASSERT_NO_FATAL_FAILURE(ExpectFrame(n));
}

TEST_P(MovieOrderTest, RandomFetchesAndPastTheEnd) {
  std::mt19937 random(7);
  std::uniform_int_distribution<uint32_t> pick(0, count_ - 1);
  for (int i = 0; i < 40; ++i) ASSERT_NO_FATAL_FAILURE(ExpectFrame(pick(random)));
  // Past the end: the last frame; the start again; the last frame, then the one before.
  ASSERT_NO_FATAL_FAILURE(ExpectFrame(count_ + 7));
  ASSERT_NO_FATAL_FAILURE(ExpectFrame(0));
  ASSERT_NO_FATAL_FAILURE(ExpectFrame(count_ - 1));
  ASSERT_NO_FATAL_FAILURE(ExpectFrame(count_ - 2));
}

// Forward jumps of every length up to two groups of pictures: short ones and those without a key
// frame between the held frame and the next decode on, the rest seek. Each stride starts with a
// jump back from near the end to one of the first frames.
TEST_P(MovieOrderTest, ForwardJumpsOfEveryLengthGiveTheFrame) {
  for (uint32_t step = 2; step <= 24; ++step) {
    SCOPED_TRACE(::testing::Message() << "step " << step);
    for (uint32_t n = step % 5; n < count_; n += step) ASSERT_NO_FATAL_FAILURE(ExpectFrame(n));
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, MovieOrderTest, ::testing::ValuesIn(Recipes()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace tavrona

namespace tavrona::testing {
// Names the movie in test failures instead of dumping the recipe's bytes.
void PrintTo(const ToolMovieRecipe& recipe, std::ostream* out) {
  *out << recipe.name;
}
}  // namespace tavrona::testing
