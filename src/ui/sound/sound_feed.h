// SoundFeed: mixes a project's sound ahead of the sound device, on a thread of its own, into a
// bounded buffer that the device's reader drains.
//
// Threads:
//   - Start and Stop are called on the user-interface thread. Between them the feed thread
//     reads the project through MixSamples (tracks, track sound settings, the slots' sound);
//     the project must not change meanwhile. CompositionWorker::Quiesce (which every edit runs
//     first) calls Stop, which returns once the feed thread has ended, so the project is the
//     user-interface thread's again.
//   - Read is called by whatever thread the device reads on (one reader at a time); it touches
//     only the buffer, never the project.
// Every field below mutex_ is guarded by it; the feed thread mixes outside the lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "model/project_data.h"

namespace tavrona {

class SoundFeed {
 public:
  // How far the feed mixes ahead of the reader, in sample pairs (250 ms), and the pairs it mixes
  // at a time.
  static constexpr int64_t kAheadSamples = 12000;
  static constexpr int64_t kChunkSamples = 1024;

  SoundFeed() = default;
  ~SoundFeed();  // Stop
  SoundFeed(const SoundFeed&) = delete;
  SoundFeed& operator=(const SoundFeed&) = delete;

  // Starts mixing project from output sample firstSample on (a running feed is stopped first).
  // False when the thread cannot be started.
  bool Start(const ProjectData& project, int64_t firstSample);
  // Ends the feed thread and empties the buffer; safe when not running and safe twice.
  void Stop();

  // Copies up to maxSamples mixed pairs (2 * maxSamples floats) into out, in order, waiting at
  // most waitMs for the first to be ready. Returns the pairs copied (0 when stopped or not yet
  // mixed).
  int64_t Read(float* out, int64_t maxSamples, int waitMs);
  // Pairs mixed and not yet read.
  int64_t Available() const;
  // Waits at most waitMs until at least samples pairs are mixed and unread (or the feed
  // stops); returns the pairs available then.
  int64_t WaitForSamples(int64_t samples, int waitMs);
  // Whether a mix has reported a decoding failure since Start.
  bool MixFailed() const;

 private:
  void Run(const ProjectData* project, int64_t firstSample);

  std::thread thread_;  // user-interface thread only

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // space freed, pairs added, or stop asked
  std::vector<float> ring_;          // 2 * kAheadSamples floats
  int64_t head_ = 0;                 // index (in pairs) of the oldest unread pair
  int64_t size_ = 0;                 // unread pairs
  bool stop_ = false;
  bool running_ = false;
  bool mixFailed_ = false;
};

}  // namespace tavrona
