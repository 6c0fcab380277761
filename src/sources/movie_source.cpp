#include "sources/movie_source.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <thread>

#include "app/process_state.h"
#include "sources/frame_request_cancel.h"
#include "sources/picture_pages.h"

namespace tavrona {
namespace {

using Clock = std::chrono::steady_clock;
using Lock = CaptureRenderer::Lock;

int64_t ThreadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The request window's bounds can leave 64 bits for absurd frame durations; they saturate.
int64_t Saturate(__int128 value) {
  if (value > std::numeric_limits<int64_t>::max()) return std::numeric_limits<int64_t>::max();
  if (value < std::numeric_limits<int64_t>::min()) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

// Runs one wait and adds its wall and CPU time to the statistics (the CPU time shows that
// waiting does not spin).
template <class Wait>
void CountedWait(MovieWaitStats& stats, Wait&& wait) {
  const Clock::time_point wallStart = Clock::now();
  const int64_t cpuStart = ThreadCpuNs();
  wait();
  ++stats.waits;
  stats.waitCpuNs += ThreadCpuNs() - cpuStart;
  stats.waitWallNs +=
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - wallStart).count();
}

}  // namespace

MovieSource::MovieSource(std::unique_ptr<MovieBackEnd> backEnd, MovieBackEndOpener opener,
                         DecoderPool* pool)
    : backEnd_(std::move(backEnd)), opener_(std::move(opener)), pool_(opener_ ? pool : nullptr) {
  const Settings& settings = Process().settings;
  framePrev_ = settings.framePrev;
  frameNext_ = static_cast<uint32_t>(settings.frameNext);
  abortTimeout_ = std::chrono::milliseconds(settings.abortTimeoutMs);
  callbackTimeoutMs_ = settings.callbackTimeoutMs;
  created_ = backEnd_ != nullptr;
}

MovieSource::~MovieSource() {
  Release();
}

bool MovieSource::ConnectBackEnd(const MovieFacts* expected) {
  renderer_ = std::make_unique<CaptureRenderer>(Process().frameLock, callbackTimeoutMs_);
  if (!backEnd_->Connect(*renderer_)) return false;
  MovieFacts facts;
  if (expected != nullptr) {
    facts.framePositions = expected->framePositions;
    if (!backEnd_->SetTimeFormat(facts.framePositions ? MovieTimeFormat::kFrame
                                                      : MovieTimeFormat::kMediaTime)) {
      return false;
    }
  } else if (backEnd_->SetTimeFormat(MovieTimeFormat::kFrame)) {
    facts.framePositions = true;
  } else if (backEnd_->SetTimeFormat(MovieTimeFormat::kMediaTime)) {
    facts.framePositions = false;
  } else {
    return false;
  }
  facts.format = renderer_->Format();
  if (!backEnd_->CanSeekAbsolute()) return false;
  if (!backEnd_->GetAvailable(facts.earliest, facts.latest)) return false;
  if (expected != nullptr && !(facts == *expected)) return false;  // the file has changed
  facts_ = facts;
  return true;
}

bool MovieSource::TakeFacts(const MovieFacts& facts, int64_t referenceFrameDuration100ns) {
  format_ = facts.format;
  framePositions_ = facts.framePositions;
  const int64_t d = referenceFrameDuration100ns > 0 ? referenceFrameDuration100ns
                                                    : format_.averageFrameDuration100ns;
  if (d <= 0) return false;
  frameDuration100ns_ = d;
  const int64_t first = framePositions_ ? facts.earliest : facts.earliest / d;
  const int64_t end = framePositions_ ? facts.latest : facts.latest / d;
  // Frame numbers are 32-bit; a range that does not fit would wrap into nonsense counts.
  if (first < 0 || end < first || end > std::numeric_limits<uint32_t>::max()) return false;
  first_ = static_cast<uint32_t>(first);
  end_ = static_cast<uint32_t>(end);
  return true;
}

// Frame numbers come from the times the file itself stamps on its frames, so they are counted
// in the file's own frame duration; a reference duration only changes what a frame means for
// media-time positions.
void MovieSource::SetRendererTimes() {
  const int64_t stampDuration = framePositions_ && format_.averageFrameDuration100ns > 0
                                    ? format_.averageFrameDuration100ns
                                    : frameDuration100ns_;
  Lock lock(Process().frameLock);
  renderer_->SetTimeSettings(lock, framePositions_, stampDuration);
}

bool MovieSource::Build(int64_t referenceFrameDuration100ns) {
  if (!created_ || ready_ || renderer_) return false;
  if (!ConnectBackEnd(nullptr)) return false;
  if (!TakeFacts(facts_, referenceFrameDuration100ns)) return false;
  if (pool_ != nullptr) {
    // Opening learned what there is to know; the decoder waits for the first fetch.
    CloseBackEnd();
    pool_->Join(*this);
    ready_ = true;
    return true;
  }
  if (!backEnd_->SetPositions(0, facts_.latest)) return false;
  SetRendererTimes();
  if (!backEnd_->Run()) return false;
  ready_ = true;
  YieldUntilIdle();  // the first request then finds frame 0 waiting
  return true;
}

bool MovieSource::BuildFromFacts(const MovieFacts& facts, int64_t referenceFrameDuration100ns) {
  if (pool_ == nullptr || ready_ || renderer_) return false;
  if (!TakeFacts(facts, referenceFrameDuration100ns)) return false;
  facts_ = facts;
  backEnd_.reset();  // whatever was handed in: the first fetch opens its own
  created_ = true;
  pool_->Join(*this);
  ready_ = true;
  return true;
}

bool MovieSource::EnsureOpen() {
  if (backEnd_) return true;
  // A source that is not ready (never built, or released) opens nothing the pool would not count.
  if (!ready_ || !opener_ || pool_ == nullptr) return false;
  backEnd_ = opener_();
  if (!backEnd_ || !ConnectBackEnd(&facts_)) {
    CloseBackEnd();
    return false;
  }
  SetRendererTimes();
  ++reopenings_;
  // At least one byte, so that the pool counts a back end that cannot estimate itself as open.
  const uint64_t bytes = std::max<uint64_t>(backEnd_->MemoryEstimateBytes(), 1);
  pool_->Account(*this, bytes, picturePixels_ != nullptr ? pictureBytes_ : 0);
  return true;
}

void MovieSource::CloseBackEnd() {
  if (renderer_) {
    Lock lock(Process().frameLock);
    renderer_->SetCancelled(lock);
    renderer_->DropHeldSample(lock);
  }
  if (backEnd_) backEnd_->Stop();
  backEnd_.reset();
  renderer_.reset();
}

void MovieSource::CloseDecoder(bool dropPicture) {
  CloseBackEnd();
  if (dropPicture && picturePixels_ != nullptr) {
    ReturnPicturePages(picturePixels_, pictureBytes_);
    picturePixels_ = nullptr;
    pictureBytes_ = 0;
    pictureDropped_.store(true);
  }
}

void MovieSource::Release() {
  if (pool_ != nullptr) pool_->Leave(*this);  // no close from the pool after this
  CloseBackEnd();
  {
    Lock lock(Process().frameLock);
    busy_ = false;
  }
  created_ = false;
  ready_ = false;
  format_ = {};
  facts_ = {};
  frameDuration100ns_ = 0;
  framePositions_ = false;
  first_ = 0;
  end_ = 0;
  picturePixels_ = nullptr;
  pictureBytes_ = 0;
}

bool MovieSource::RequestFrameOnce(uint32_t n, uint8_t* destination, uint32_t byteCount) {
  if (!ready_) return false;
  const uint32_t a = n + first_;
  if (a >= end_) return false;
  if (!DrainGraphEvents(*backEnd_)) return false;

  // The held frame at position s is frame a when target <= s < limit; from lower up to the
  // target it is reached by decoding forward (lower: FramePrev frames before, or the held frame
  // itself when no key frame lies between it and frame a).
  int64_t lower, target, limit;
  if (framePositions_) {
    lower = static_cast<int64_t>(a) - framePrev_;
    target = a;
    limit = static_cast<int64_t>(a) + 1;
  } else {
    const int64_t d = frameDuration100ns_;
    const __int128 t = static_cast<__int128>(a) * d - d / 2;
    target = Saturate(t);
    limit = Saturate(t + d);
    lower = Saturate(t - d / 2 - static_cast<__int128>(framePrev_) * d);
  }

  // A seek decodes from the key frame before the frame; from a held frame at or after that key
  // frame, decoding on reaches it with fewer frames, however far it is.
  const int64_t seekStart = backEnd_->SeekStartPosition(
      framePositions_ ? static_cast<int64_t>(a) : static_cast<int64_t>(a) * frameDuration100ns_);

  Lock lock(Process().frameLock);
  if (renderer_->HoldsSample(lock)) {
    int64_t s = renderer_->HeldPosition(lock);
    if (seekStart != MovieBackEnd::kUnknownSeekStart && seekStart <= s && s < target) {
      lower = std::min(lower, s);
    }
    if (lower <= s && s < limit) {
      if (s >= target) return TakeFrame(lock, destination, byteCount);
      for (;;) {  // decode forward
        renderer_->DropHeldSample(lock);
        lock.unlock();
        if (!DrainGraphEvents(*backEnd_)) return false;
        lock.lock();
        const WaitResult waited = WaitForFrame(lock);
        if (waited == WaitResult::kAborted) return false;
        if (waited == WaitResult::kEnded) break;  // the decoder stopped short of the target
        s = renderer_->HeldPosition(lock);
        if (lower <= s && s < target) continue;
        if (target <= s && s < limit) return TakeFrame(lock, destination, byteCount);
        break;  // before the window or past the frame: seek
      }
    }
  }
  return SeekTo(lock, a);
}

// The copy (for the decoder's samples, the conversion straight into the destination) runs
// without the lock: the sample is ours once taken, and meanwhile the delivery thread may already
// park the next frame.
bool MovieSource::TakeFrame(Lock& lock, uint8_t* destination, uint32_t byteCount) {
  MovieSamplePtr sample = renderer_->TakeHeldSample(lock);
  lock.unlock();
  const bool copied = sample && sample->CopyTo(destination, byteCount);
  sample.reset();
  const bool eventsOk = DrainGraphEvents(*backEnd_);
  return copied && eventsOk;
}

// Seeks to frame a with the stop FrameNext frames further (or at the end) and waits for the
// first frame. Always false: the frame it brings is taken by the next attempt.
bool MovieSource::SeekTo(Lock& lock, uint32_t a) {
  renderer_->DropHeldSample(lock);
  const uint32_t stopFrame = frameNext_ < end_ - a ? a + frameNext_ : end_;
  int64_t start, stop;
  if (framePositions_) {
    start = a;
    stop = stopFrame;
  } else {
    start = static_cast<int64_t>(a) * frameDuration100ns_;
    stop = static_cast<int64_t>(stopFrame) * frameDuration100ns_;
  }
  renderer_->SetBasePosition(lock, start);
  lock.unlock();
  if (!backEnd_->SetPositions(start, stop)) return false;
  if (!backEnd_->Run()) return false;
  if (!DrainGraphEvents(*backEnd_)) return false;
  lock.lock();
  if (WaitForFrame(lock) == WaitResult::kAborted) return false;
  lock.unlock();
  return false;
}

// Entered and left holding the lock, except after an abort, which returns without it. Ends
// early when the decoder has stopped (stop position or end of file): no frame can come then,
// and waiting out the timeout would only put a pointless question to the user.
MovieSource::WaitResult MovieSource::WaitForFrame(Lock& lock) {
  Clock::time_point t0 = Clock::now();
  while (!renderer_->HoldsSample(lock)) {
    if (renderer_->StreamEnded(lock)) return WaitResult::kEnded;
    if (FrameRequestsCancelled()) return AbandonWait(lock);
    {
      const FrameRequestWait wait(*renderer_);
      CountedWait(waitStats_,
                  [&] { renderer_->WaitForSample(lock, t0 + abortTimeout_, wait.StopFlag()); });
    }
    if (renderer_->HoldsSample(lock)) break;
    if (renderer_->StreamEnded(lock)) return WaitResult::kEnded;
    if (FrameRequestsCancelled()) return AbandonWait(lock);
    if (Clock::now() - t0 > abortTimeout_) {
      lock.unlock();
      if (!TimeoutPrompt(t0, abortTimeout_)) return WaitResult::kAborted;
      lock.lock();
    }
  }
  return WaitResult::kFrame;
}

// Nobody wants the frame the decoder is heading for: it is stopped rather than left decoding on
// through its group of pictures, taking the processor from what comes next (the next request
// finds no frame held and seeks, as it would have anyway). Returns without the lock.
MovieSource::WaitResult MovieSource::AbandonWait(Lock& lock) {
  lock.unlock();
  backEnd_->Stop();
  return WaitResult::kAborted;
}

// Waits on the renderer's condition variable, bounded like a wait for a frame; a back end that
// stalls costs this bound once per request, and the request itself then meets the timeout.
void MovieSource::YieldUntilIdle() {
  if (!ready_ || !renderer_) return;
  Lock lock(Process().frameLock);
  const Clock::time_point deadline = Clock::now() + abortTimeout_;
  const FrameRequestWait wait(*renderer_);
  CountedWait(waitStats_, [&] { renderer_->WaitUntilIdle(lock, deadline, wait.StopFlag()); });
}

// The fetch of FetchMovieFrame and FetchMoviePicture. A pooled source is pinned for the whole
// request, the wait for the delivery thread to go idle included, so that the pool never closes
// it under the request.
bool FetchFrame(MovieSource& movie, uint32_t frameIndex, uint8_t* destination,
                uint32_t byteCount, bool isPicture) {
  if (destination == nullptr && byteCount > 0) return false;
  if (FrameRequestsCancelled()) return false;
  {
    Lock lock(Process().frameLock);
    if (movie.busy_) return false;
    movie.busy_ = true;
  }
  DecoderPool* const pool = movie.ready_ ? movie.pool_ : nullptr;
  if (pool != nullptr) pool->Pin(movie);
  if (isPicture && movie.picturePixels_ != destination) {
    movie.picturePixels_ = destination;
    movie.pictureBytes_ = byteCount;
    movie.pictureDropped_.store(false);
    if (pool != nullptr && movie.backEnd_) {
      pool->Account(movie, std::max<uint64_t>(movie.backEnd_->MemoryEstimateBytes(), 1),
                    byteCount);
    }
  }
  bool result = movie.EnsureOpen();
  if (result) {
    result = movie.RequestFrameOnce(frameIndex, destination, byteCount);
    if (!result && !FrameRequestsCancelled()) {
      result = movie.RequestFrameOnce(frameIndex, destination, byteCount);
    }
  }
  {
    Lock lock(Process().frameLock);
    movie.busy_ = false;
  }
  movie.YieldUntilIdle();
  if (pool != nullptr) pool->Unpin(movie);
  return result;
}

bool FetchMovieFrame(MovieSource& movie, uint32_t frameIndex, uint8_t* destination,
                     uint32_t byteCount) {
  return FetchFrame(movie, frameIndex, destination, byteCount, false);
}

bool FetchMoviePicture(MovieSource& movie, uint32_t frameIndex, FrameBuffer& picture) {
  return FetchFrame(movie, frameIndex, picture.pixels, picture.byteSize, true);
}

bool DrainGraphEvents(MovieBackEnd& backEnd) {
  int32_t code = 0;
  while (backEnd.GetEvent(code)) {
    if (code == kMovieEventErrorAbort || code == kMovieEventStreamErrorStopped ||
        code == kMovieEventDeviceLost) {
      return false;
    }
    std::this_thread::yield();
  }
  return true;
}

bool TimeoutPrompt(Clock::time_point& t0, std::chrono::milliseconds abortTimeout) {
  if (Clock::now() - t0 <= abortTimeout) return true;
  TimeoutTarget* target = Process().timeoutTarget;
  if (target == nullptr || target->TimeoutQuery() != 0) return false;
  if (!target->AskToContinue(kMovieTimeoutQuestion)) return false;
  t0 = Clock::now();
  return true;
}

void DestroyMovieSource(MovieSource* movie) {
  delete movie;
}

}  // namespace tavrona
