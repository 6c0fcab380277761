#include "sources/capture_renderer.h"

#include <cassert>

namespace tavrona {

CaptureRenderer::CaptureRenderer(std::mutex& frameLock, uint32_t callbackTimeoutMs)
    : frameLock_(frameLock), callbackTimeout_(callbackTimeoutMs) {}

// Only frames that can be copied straight into a frame buffer: 32-bit RGB, rows bottom-up.
bool CaptureRenderer::CheckFormat(const VideoFormat& format) {
  return format.subtype == VideoSubtype::kRgb32 && format.bitCount == 32 && format.width > 0 &&
         format.height > 0;
}

void CaptureRenderer::SetFormat(const VideoFormat& format) {
  format_ = format;
}

bool CaptureRenderer::Matches(const MovieSample& sample) const {
  const VideoFormat& f = sample.format;
  return f.subtype == format_.subtype && f.bitCount == format_.bitCount &&
         f.width == format_.width && f.height == format_.height &&
         (sample.pixels != nullptr || sample.writePixels) &&
         sample.byteSize >= static_cast<uint64_t>(format_.width) * format_.height * 4;
}

void CaptureRenderer::Render(MovieSamplePtr sample) {
  if (!sample) return;
  Lock lock(frameLock_);
  const Clock::time_point deadline = Clock::now() + callbackTimeout_;
  while (held_ && streaming_ && !cancelled_) {
    if (slotFreed_.wait_until(lock, deadline) == std::cv_status::timeout && held_ && streaming_ &&
        !cancelled_) {
      lock.unlock();
      return;  // nobody took the held frame in time: this one is discarded, the old one stays
    }
  }
  if (cancelled_ || !streaming_ || !Matches(*sample)) {
    lock.unlock();
    return;
  }
  if (sample->hasStartTime) {
    heldPosition_ = framePositions_ ? sample->startTime100ns / frameDuration100ns_ + basePosition_
                                    : sample->startTime100ns + basePosition_;
  } else {
    heldPosition_ = sample->mediaTime;
  }
  held_ = std::move(sample);
  sampleArrived_.notify_all();
}

void CaptureRenderer::SetStreaming(bool streaming) {
  MovieSamplePtr dropped;
  {
    Lock lock(frameLock_);
    streaming_ = streaming;
    ended_ = false;
    if (!streaming) {
      dropped = std::move(held_);
      heldPosition_ = kNoPosition;
    }
  }
  slotFreed_.notify_all();
}

void CaptureRenderer::EndOfStream() {
  {
    Lock lock(frameLock_);
    ended_ = true;
  }
  sampleArrived_.notify_all();
}

bool CaptureRenderer::HoldsSample(const Lock& lock) const {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  return held_ != nullptr;
}

int64_t CaptureRenderer::HeldPosition(const Lock& lock) const {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  return heldPosition_;
}

bool CaptureRenderer::StreamEnded(const Lock& lock) const {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  return ended_;
}

MovieSamplePtr CaptureRenderer::TakeHeldSample(const Lock& lock) {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  heldPosition_ = kNoPosition;
  slotFreed_.notify_all();
  return std::move(held_);
}

// Releasing the sample under the frame lock releases the decoded frame it holds, which takes no
// lock of ours (the decoder's buffers count their references atomically), so no lock order
// arises.
void CaptureRenderer::DropHeldSample(const Lock& lock) {
  TakeHeldSample(lock).reset();
}

void CaptureRenderer::SetBasePosition(const Lock& lock, int64_t position) {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  basePosition_ = position;
}

void CaptureRenderer::SetTimeSettings(const Lock& lock, bool framePositions,
                                      int64_t frameDuration100ns) {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  framePositions_ = framePositions;
  frameDuration100ns_ = frameDuration100ns > 0 ? frameDuration100ns : 1;
}

void CaptureRenderer::SetCancelled(const Lock& lock) {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  cancelled_ = true;
  slotFreed_.notify_all();
}

namespace {

bool Stopped(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(); }

}  // namespace

void CaptureRenderer::WaitForSample(Lock& lock, Clock::time_point deadline,
                                    const std::atomic<bool>* stop) {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  sampleArrived_.wait_until(lock, deadline,
                            [&] { return held_ != nullptr || ended_ || Stopped(stop); });
}

void CaptureRenderer::WaitUntilIdle(Lock& lock, Clock::time_point deadline,
                                    const std::atomic<bool>* stop) {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  sampleArrived_.wait_until(
      lock, deadline, [&] { return held_ != nullptr || ended_ || !streaming_ || Stopped(stop); });
}

void CaptureRenderer::WakeWaiters(const Lock& lock) {
  assert(lock.owns_lock() && lock.mutex() == &frameLock_);
  sampleArrived_.notify_all();
}

}  // namespace tavrona
