#include "sources/sound_block_cache.h"

#include <algorithm>

namespace tavrona {

SoundBlockCache::Block* SoundBlockCache::Find(int64_t start) {
  auto it = blocks_.find(start);
  if (it == blocks_.end()) return nullptr;
  it->second.lastUse = ++useClock_;
  return &it->second;
}

void SoundBlockCache::Erase(int64_t start) {
  blocks_.erase(start);
}

SoundBlockCache::Block* SoundBlockCache::NewBlock(int64_t start) {
  if (static_cast<int>(blocks_.size()) >= kSoundCacheBlocks) {
    auto oldest = blocks_.begin();
    for (auto it = blocks_.begin(); it != blocks_.end(); ++it) {
      if (it->second.lastUse < oldest->second.lastUse) oldest = it;
    }
    blocks_.erase(oldest);
  }
  Block& block = blocks_[start];
  block.samples.assign(static_cast<size_t>(kSoundBlockSamples) * kMixChannels, 0.0f);
  block.filled = 0;
  block.lastUse = ++useClock_;
  return &block;
}

void SoundBlockCache::Store(int64_t at, const float* pairs, int64_t count, int64_t keepFrom) {
  const int64_t from = std::max<int64_t>(keepFrom, 0);
  if (count <= 0 || at + count <= from) return;  // keepFrom may be INT64_MAX: no from - at
  const int64_t skip = std::max<int64_t>(0, from - at);
  at += skip;
  pairs += skip * kMixChannels;
  count -= skip;
  while (count > 0) {
    const int64_t start = at / kSoundBlockSamples * kSoundBlockSamples;
    const int64_t n = std::min(count, start + kSoundBlockSamples - at);
    auto it = blocks_.find(start);
    Block* block = it != blocks_.end() ? &it->second : (at == start ? NewBlock(start) : nullptr);
    if (block != nullptr) {
      const int64_t end = start + block->filled;
      // Only what continues the block without a gap; what it already holds stays.
      if (at <= end && at + n > end) {
        const int64_t first = end - at;
        std::copy(pairs + first * kMixChannels, pairs + n * kMixChannels,
                  block->samples.begin() + (end - start) * kMixChannels);
        block->filled = at + n - start;
        block->lastUse = ++useClock_;
      }
    }
    at += n;
    pairs += n * kMixChannels;
    count -= n;
  }
}

void SoundBlockCache::StoreSilence(int64_t from, int64_t to, int64_t keepFrom) {
  constexpr int64_t kPiece = 4096;
  static const std::vector<float> zeros(static_cast<size_t>(kPiece) * kMixChannels, 0.0f);
  for (int64_t at = from; at < to; at += kPiece) {
    Store(at, zeros.data(), std::min(to - at, kPiece), keepFrom);
  }
}

size_t SoundBlockCache::Bytes() const {
  size_t bytes = 0;
  for (const auto& [start, block] : blocks_) bytes += block.samples.capacity() * sizeof(float);
  return bytes;
}

}  // namespace tavrona
