// FrameRequestCancel: lets another thread end the movie frame requests of one thread at once,
// so that a composition nobody waits for any more (a playback frame after the user stopped)
// does not go on decoding through a group of pictures to reach its movies' frames.
//
// The thread that makes the requests binds a canceller for the duration of a job with
// ScopedFrameRequestCancel; any thread may then call Cancel. From that moment until Reset, every
// movie frame request of the bound thread fails: one waiting for its frame stops waiting, and
// later ones fail before opening or asking the decoder (the entry keeps the picture it held, as
// after any failed fetch). A request that fails while waiting stops its decoder, which would
// otherwise decode on towards a frame nobody wants; the movie source stays usable, like one
// abandoned at the timeout question, and its next request seeks.
//
// Threads: Cancel from any thread; Reset and the binding on the bound thread, between requests.
// The renderer a request waits on is recorded under Process().frameLock, which Cancel takes to
// wake it, so a cancel that arrives while a request waits always ends that wait.
#pragma once

#include <atomic>

namespace tavrona {

class CaptureRenderer;

class FrameRequestCancel {
 public:
  // Ends the wait in progress on the bound thread and fails its requests until Reset. Takes
  // Process().frameLock, so it must not be called with that lock held.
  void Cancel();
  // Requests succeed again. On the bound thread, not during a request.
  void Reset() { cancelled_.store(false); }
  bool Cancelled() const { return cancelled_.load(); }

 private:
  friend class FrameRequestWait;
  std::atomic<bool> cancelled_{false};
  CaptureRenderer* waitingOn_ = nullptr;  // guarded by Process().frameLock
};

// Binds cancel to the calling thread for the life of the scope (scopes do not nest).
class ScopedFrameRequestCancel {
 public:
  explicit ScopedFrameRequestCancel(FrameRequestCancel& cancel);
  ~ScopedFrameRequestCancel();
  ScopedFrameRequestCancel(const ScopedFrameRequestCancel&) = delete;
  ScopedFrameRequestCancel& operator=(const ScopedFrameRequestCancel&) = delete;
};

// The canceller bound to the calling thread, or null.
FrameRequestCancel* ThreadFrameRequestCancel();

// True when the calling thread's requests are cancelled (false without a canceller).
inline bool FrameRequestsCancelled() {
  const FrameRequestCancel* cancel = ThreadFrameRequestCancel();
  return cancel != nullptr && cancel->Cancelled();
}

// The movie source's side: while it lives, the calling thread's canceller (if any) knows the
// renderer the request waits on. Construct and destroy with Process().frameLock held.
class FrameRequestWait {
 public:
  explicit FrameRequestWait(CaptureRenderer& renderer);
  ~FrameRequestWait();
  FrameRequestWait(const FrameRequestWait&) = delete;
  FrameRequestWait& operator=(const FrameRequestWait&) = delete;

  // The flag the renderer's wait watches (null without a canceller).
  const std::atomic<bool>* StopFlag() const {
    return cancel_ != nullptr ? &cancel_->cancelled_ : nullptr;
  }

 private:
  FrameRequestCancel* cancel_;
};

}  // namespace tavrona
