#include "sources/sound_block_cache.h"

#include <gtest/gtest.h>

#include <numeric>

namespace tavrona {
namespace {

constexpr int64_t B = kSoundBlockSamples;

// Pairs whose left value is their position and right value its negative, so that a pair shows
// where it came from.
std::vector<float> Ramp(int64_t at, int64_t count) {
  std::vector<float> pairs(static_cast<size_t>(count) * kMixChannels);
  for (int64_t i = 0; i < count; ++i) {
    pairs[2 * i] = static_cast<float>(at + i);
    pairs[2 * i + 1] = -static_cast<float>(at + i);
  }
  return pairs;
}

void Store(SoundBlockCache& cache, int64_t at, int64_t count, int64_t keepFrom = 0) {
  const std::vector<float> pairs = Ramp(at, count);
  cache.Store(at, pairs.data(), count, keepFrom);
}

TEST(SoundBlockCache, BlocksFillFromTheirStartAndNeverTakeAGap) {
  SoundBlockCache cache;
  // A run that starts inside a block keeps nothing of that block; the next block begins at its
  // start and takes the rest of the run.
  Store(cache, B - 100, 300);
  EXPECT_EQ(cache.Find(0), nullptr);
  SoundBlockCache::Block* block = cache.Find(B);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->filled, 200);
  EXPECT_EQ(block->samples[0], static_cast<float>(B));
  EXPECT_EQ(block->samples[2 * 199 + 1], -static_cast<float>(B + 199));
  // Sound after a gap is left out; sound overlapping what is held keeps what is held.
  Store(cache, B + 250, 10);
  EXPECT_EQ(block->filled, 200);
  std::vector<float> other(2 * 100, 9.0f);
  cache.Store(B + 150, other.data(), 100, 0);
  EXPECT_EQ(block->filled, 250);
  EXPECT_EQ(block->samples[2 * 199], static_cast<float>(B + 199));
  EXPECT_EQ(block->samples[2 * 200], 9.0f);
  // A run over several blocks fills each whole, and the next one from its start.
  Store(cache, 2 * B, 2 * B + 5);
  ASSERT_NE(cache.Find(3 * B), nullptr);
  EXPECT_EQ(cache.Find(2 * B)->filled, B);
  EXPECT_EQ(cache.Find(3 * B)->filled, B);
  EXPECT_EQ(cache.Find(4 * B)->filled, 5);
  EXPECT_EQ(cache.Find(3 * B)->samples[2 * (B - 1)], static_cast<float>(4 * B - 1));
}

TEST(SoundBlockCache, NothingBeforeKeepFromOrZeroIsStored) {
  SoundBlockCache cache;
  Store(cache, -50, 100);  // before time 0: dropped; block 0 starts with position 0
  ASSERT_NE(cache.Find(0), nullptr);
  EXPECT_EQ(cache.Find(0)->filled, 50);
  EXPECT_EQ(cache.Find(0)->samples[0], 0.0f);
  EXPECT_EQ(cache.Find(0)->samples[2], 1.0f);
  SoundBlockCache kept;
  Store(kept, 0, 3 * B, 2 * B);
  EXPECT_EQ(kept.Find(0), nullptr);
  EXPECT_EQ(kept.Find(B), nullptr);
  ASSERT_NE(kept.Find(2 * B), nullptr);
  EXPECT_EQ(kept.Find(2 * B)->filled, B);
  Store(kept, 5 * B, 10, INT64_MAX);  // nothing kept at all, and no overflow
  EXPECT_EQ(kept.Find(5 * B), nullptr);
  kept.StoreSilence(3 * B, 3 * B + 7, 0);
  ASSERT_NE(kept.Find(3 * B), nullptr);
  EXPECT_EQ(kept.Find(3 * B)->filled, 7);
}

TEST(SoundBlockCache, TheLeastRecentlyUsedBlockGoesAndTheSizeIsBounded) {
  SoundBlockCache cache;
  EXPECT_EQ(cache.Bytes(), 0u);
  const size_t blockBytes = static_cast<size_t>(B) * kMixChannels * sizeof(float);
  for (int64_t k = 0; k < kSoundCacheBlocks; ++k) Store(cache, k * B, 1);
  EXPECT_EQ(cache.Bytes(), kSoundCacheBlocks * blockBytes);
  ASSERT_NE(cache.Find(0), nullptr);  // block 0 used again: block 1 is now the oldest
  Store(cache, kSoundCacheBlocks * B, 1);
  EXPECT_EQ(cache.Bytes(), kSoundCacheBlocks * blockBytes);
  EXPECT_NE(cache.Find(0), nullptr);
  EXPECT_EQ(cache.Find(B), nullptr);
  EXPECT_NE(cache.Find(kSoundCacheBlocks * B), nullptr);
  // A long run passes through many blocks without holding more than the limit.
  cache.StoreSilence(100 * B, 200 * B, 0);
  EXPECT_EQ(cache.Bytes(), kSoundCacheBlocks * blockBytes);
  EXPECT_EQ(cache.Find(199 * B)->filled, B);
  cache.Erase(199 * B);
  EXPECT_EQ(cache.Find(199 * B), nullptr);
  EXPECT_EQ(cache.Bytes(), (kSoundCacheBlocks - 1) * blockBytes);
}

}  // namespace
}  // namespace tavrona
