// The process's peak memory with a movie in every one of the 1,024 slots, each fetched once:
// the open decoders stay within the pool's budget, whatever the number of slots.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <memory>

#include "app/process_state.h"
#include "model/text_encoding.h"
#include "sources/decoder_pool.h"
#include "sources/movie_file.h"
#include "sources/movie_source.h"
#include "test_movies.h"

namespace tavrona {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

// AddressSanitizer keeps freed memory in quarantine (256 MiB by default) and adds shadow memory,
// so under it the resident peak says nothing about the decoders; the pool's own counts still do.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryMeaningful = false;
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif

uint64_t PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

TEST(DecoderMemoryTest, AllSlotsOfOneMovieStayWithinTheBudgetPlusAFixedMargin) {
  Process().settings = Settings{};
  testing::TestMovieRecipe recipe = testing::H264Mp4(30);
  recipe.width = 320;
  recipe.height = 240;
  const std::filesystem::path clip = testing::TestMoviePath(recipe);
  ASSERT_FALSE(clip.empty());
  constexpr uint64_t kBudget = 24 * kMiB;
  // Libraries, thread stacks and the allocator's slack beside the counted decoders and pictures.
  constexpr uint64_t kMargin = 64 * kMiB;
  const uint64_t savedBudget = ProcessDecoderPool().BudgetBytes();
  ProcessDecoderPool().SetBudgetBytes(kBudget);

  auto entries = std::make_unique<FileEntry[]>(kFileCount);
  // One slot opened and fetched first, so that what every process loads once (the codec's
  // tables, the threads' first arenas) is in the peak before the measurement starts.
  ASSERT_TRUE(OpenMovieFile(entries[0], FromUtf8(clip.string()), u""));
  ASSERT_TRUE(PrepareMovieFrame(entries[0], 0));
  const uint64_t before = PeakResidentBytes();
  const uint32_t frames = entries[0].movie->FrameCount();
  for (int i = 1; i < kFileCount; ++i) {
    ASSERT_TRUE(OpenMovieFile(entries[i], FromUtf8(clip.string()), u"")) << i;
  }
  for (int i = 0; i < kFileCount; ++i) {
    const uint32_t n = static_cast<uint32_t>(i * 7) % frames;
    ASSERT_TRUE(PrepareMovieFrame(entries[i], n)) << i;
    ASSERT_EQ(testing::ReadTestFrameIndex(entries[i].picture.pixels, recipe.width, recipe.height),
              static_cast<int>(n))
        << i;
  }
  const uint64_t grown = PeakResidentBytes() - before;
  EXPECT_LE(ProcessDecoderPool().HeldBytes(), kBudget);
  if (kResidentMemoryMeaningful) {
    EXPECT_LE(grown, kBudget + kMargin) << "peak grew by " << grown / kMiB << " MiB";
  }
  // Without the budget each slot would keep its decoder and its 300 KB picture: far more.
  EXPECT_LT(ProcessDecoderPool().OpenDecoders(), 16);

  for (int i = 0; i < kFileCount; ++i) ResetFileEntry(entries[i]);
  ProcessDecoderPool().SetBudgetBytes(savedBudget);
}

}  // namespace
}  // namespace tavrona
