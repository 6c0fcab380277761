// The decoded sound a sound source keeps: blocks of kSoundBlockSamples stereo pairs at kMixRate
// (model/sound_samples.h), each starting at a multiple of kSoundBlockSamples and filled from its
// start without gaps, at most kSoundCacheBlocks of them; the least recently used block goes
// first. A block never mixes the output of two decoding runs at different places: sound is
// stored only where it continues what a block holds, or begins a new block at its start.
//
// Not thread-safe: the owner serialises every call (FfmpegSound holds its mutex).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "model/sound_samples.h"

namespace tavrona {

inline constexpr int64_t kSoundBlockSamples = int64_t{1} << 15;  // per block, at kMixRate
inline constexpr int kSoundCacheBlocks = 16;  // 16 blocks of 256 KiB: 4 MiB per source

class SoundBlockCache {
 public:
  struct Block {
    std::vector<float> samples;  // kSoundBlockSamples pairs, interleaved; zero past filled
    int64_t filled = 0;          // pairs held from the block's start
    uint64_t lastUse = 0;
  };

  // The block that starts at start, marked as just used; nullptr when none is held.
  Block* Find(int64_t start);
  void Erase(int64_t start);
  // Stores pairs of positions [at, at + count), leaving out those before keepFrom (and before
  // 0) and any that would leave a gap in their block.
  void Store(int64_t at, const float* pairs, int64_t count, int64_t keepFrom);
  // Stores silence over [from, to), as Store does.
  void StoreSilence(int64_t from, int64_t to, int64_t keepFrom);
  // The bytes the blocks hold: at most kSoundCacheBlocks * kSoundBlockSamples pairs of floats.
  size_t Bytes() const;

 private:
  Block* NewBlock(int64_t start);

  std::map<int64_t, Block> blocks_;  // by start position
  uint64_t useClock_ = 0;
};

}  // namespace tavrona
