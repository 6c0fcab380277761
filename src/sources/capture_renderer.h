// CaptureRenderer: the end of a movie's decoding chain. It accepts only 32-bit RGB frames of
// the connected size and, instead of drawing them, parks each delivered frame in a one-sample
// hand-off slot, stamped with its position, until the movie source takes or drops it. While the
// slot is full the delivery thread waits (at most CallbackTimeout milliseconds, then the new
// frame is discarded), so the decoder runs exactly as fast as frames are consumed.
//
// Threads: the FrameSink calls Render and EndOfStream come from the delivery thread; everything
// else from the owner's (user-interface) thread. The slot (held sample, held position, base
// position, time settings, streaming, ended and cancelled flags) is guarded by the frame lock
// passed in, normally Process().frameLock. Operations that take a `const Lock&` must be called
// with that lock held; the others take it themselves and must be called without it. Nobody
// holds the lock while waiting: both sides wait on condition variables that release it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "sources/movie_decoder.h"

namespace tavrona {

class CaptureRenderer final : public FrameSink {
 public:
  using Lock = std::unique_lock<std::mutex>;
  using Clock = std::chrono::steady_clock;

  static constexpr int64_t kNoPosition = INT64_MIN;  // held position after a drop

  CaptureRenderer(std::mutex& frameLock, uint32_t callbackTimeoutMs);
  ~CaptureRenderer() override = default;
  CaptureRenderer(const CaptureRenderer&) = delete;
  CaptureRenderer& operator=(const CaptureRenderer&) = delete;

  // FrameSink.
  bool CheckFormat(const VideoFormat& format) override;
  void SetFormat(const VideoFormat& format) override;
  void Render(MovieSamplePtr sample) override;
  void SetStreaming(bool streaming) override;
  void EndOfStream() override;

  // The connected format. Owner's thread, after connection.
  const VideoFormat& Format() const { return format_; }

  // Slot operations for the movie source; the frame lock must be held.
  bool HoldsSample(const Lock& lock) const;
  int64_t HeldPosition(const Lock& lock) const;
  // The delivery thread has stopped since the last run (stop position, end of file, error).
  bool StreamEnded(const Lock& lock) const;
  // Empties the slot and hands its sample (or nullptr) to the caller, who may then copy from
  // it without the lock while the delivery thread already fills the slot again.
  MovieSamplePtr TakeHeldSample(const Lock& lock);
  void DropHeldSample(const Lock& lock);
  void SetBasePosition(const Lock& lock, int64_t position);
  // framePositions: positions are frame numbers, and a start time t maps to
  // t / frameDuration100ns + base; otherwise positions are media time, t + base.
  void SetTimeSettings(const Lock& lock, bool framePositions, int64_t frameDuration100ns);
  // The owner is being released: deliveries are refused from now on.
  void SetCancelled(const Lock& lock);
  // Waits until a sample is held, the stream has ended or the deadline has passed, or, with a
  // stop flag, until the flag is set (and WakeWaiters called). Holds the lock on entry and on
  // return; releases it while waiting.
  void WaitForSample(Lock& lock, Clock::time_point deadline,
                     const std::atomic<bool>* stop = nullptr);
  // Waits until the delivery thread is idle: a sample is held (it can only wait for room), the
  // stream has ended, or it is not streaming; or until the deadline or the stop flag. Lock as
  // WaitForSample.
  void WaitUntilIdle(Lock& lock, Clock::time_point deadline,
                     const std::atomic<bool>* stop = nullptr);
  // Wakes the waits above so that they look at their stop flag again.
  void WakeWaiters(const Lock& lock);

 private:
  bool Matches(const MovieSample& sample) const;

  std::mutex& frameLock_;
  const std::chrono::milliseconds callbackTimeout_;
  VideoFormat format_;  // written at connection, before any delivery; read-only afterwards

  // Guarded by frameLock_.
  MovieSamplePtr held_;
  int64_t heldPosition_ = 0;
  int64_t basePosition_ = 0;
  bool framePositions_ = false;
  int64_t frameDuration100ns_ = 1;
  bool streaming_ = false;
  bool ended_ = false;
  bool cancelled_ = false;
  std::condition_variable slotFreed_;      // the delivery thread waits for room
  std::condition_variable sampleArrived_;  // the movie source waits for a frame
};

}  // namespace tavrona
