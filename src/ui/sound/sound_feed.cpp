#include "ui/sound/sound_feed.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "model/sound_samples.h"
#include "render/mix.h"

namespace tavrona {

SoundFeed::~SoundFeed() { Stop(); }

bool SoundFeed::Start(const ProjectData& project, int64_t firstSample) {
  Stop();
  {
    std::lock_guard lock(mutex_);
    ring_.assign(static_cast<size_t>(2 * kAheadSamples), 0.0f);
    head_ = 0;
    size_ = 0;
    stop_ = false;
    mixFailed_ = false;
    running_ = true;
  }
  try {
    thread_ = std::thread([this, p = &project, firstSample] { Run(p, firstSample); });
  } catch (const std::system_error&) {
    std::lock_guard lock(mutex_);
    running_ = false;
    return false;
  }
  return true;
}

void SoundFeed::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  running_ = false;
  head_ = 0;
  size_ = 0;
}

int64_t SoundFeed::Read(float* out, int64_t maxSamples, int waitMs) {
  if (maxSamples <= 0) return 0;
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(std::max(0, waitMs)),
                    [&] { return size_ > 0 || stop_ || !running_; });
  const int64_t n = std::min(maxSamples, size_);
  for (int64_t i = 0; i < n; ++i) {
    const size_t at = static_cast<size_t>(2 * ((head_ + i) % kAheadSamples));
    out[2 * i] = ring_[at];
    out[2 * i + 1] = ring_[at + 1];
  }
  head_ = (head_ + n) % kAheadSamples;
  size_ -= n;
  lock.unlock();
  if (n > 0) changed_.notify_all();
  return n;
}

int64_t SoundFeed::Available() const {
  std::lock_guard lock(mutex_);
  return size_;
}

int64_t SoundFeed::WaitForSamples(int64_t samples, int waitMs) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(std::max(0, waitMs)),
                    [&] { return size_ >= samples || stop_ || !running_; });
  return size_;
}

bool SoundFeed::MixFailed() const {
  std::lock_guard lock(mutex_);
  return mixFailed_;
}

// Feed thread: mixes a chunk whenever there is room for one, outside the lock.
void SoundFeed::Run(const ProjectData* project, int64_t firstSample) {
  std::vector<float> chunk(static_cast<size_t>(2 * kChunkSamples));
  int64_t next = firstSample;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || kAheadSamples - size_ >= kChunkSamples; });
      if (stop_) return;
    }
    const bool ok = MixSamples(*project, next, kChunkSamples, chunk.data());
    next += kChunkSamples;
    std::unique_lock lock(mutex_);
    if (stop_) return;
    if (!ok) mixFailed_ = true;
    const int64_t tail = head_ + size_;
    for (int64_t i = 0; i < kChunkSamples; ++i) {
      const size_t at = static_cast<size_t>(2 * ((tail + i) % kAheadSamples));
      ring_[at] = chunk[static_cast<size_t>(2 * i)];
      ring_[at + 1] = chunk[static_cast<size_t>(2 * i + 1)];
    }
    size_ += kChunkSamples;
    lock.unlock();
    changed_.notify_all();
  }
}

}  // namespace tavrona
