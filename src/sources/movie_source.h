// MovieSource: one open movie, decoded by a back end into a CaptureRenderer, and the frame
// request protocol by which the user-interface thread takes frame n out of the renderer's slot,
// decoding forward over short gaps and seeking otherwise.
//
// Threads: every function here runs on the user-interface thread. The only state shared with
// the delivery thread is the renderer's slot, guarded by Process().frameLock; the busy flag is
// guarded by the same lock. Settings (FramePrev, FrameNext, AbortTimeout, CallbackTimeout) are
// read from Process().settings when the source is constructed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "sources/capture_renderer.h"
#include "sources/movie_decoder.h"

namespace tavrona {

// The movie frame timeout question (MessageCode::MovieTimeout) in its Japanese wording, which a
// front end with wordings of its own replaces with its own.
inline constexpr char16_t kMovieTimeoutQuestion[] =
    u"動画の画像の取得がタイムアウトしました。続行しますか？";

// What the request protocol's waits cost the user-interface thread.
struct MovieWaitStats {
  uint64_t waits = 0;        // waits for a frame or for the decoder to go idle
  int64_t waitWallNs = 0;    // time spent in those waits
  int64_t waitCpuNs = 0;     // CPU time of the waiting thread during them
};

class MovieSource {
 public:
  // Takes the opened back end; a null back end leaves the source uncreated.
  explicit MovieSource(std::unique_ptr<MovieBackEnd> backEnd);
  ~MovieSource();  // Release
  MovieSource(const MovieSource&) = delete;
  MovieSource& operator=(const MovieSource&) = delete;

  // Connects the renderer, chooses the time format, reads the range, seeks to the start and
  // runs. referenceFrameDuration100ns > 0 replaces the movie's own frame duration.
  bool Build(int64_t referenceFrameDuration100ns);
  // Stops decoding and releases the back end and the renderer; the source is then not ready.
  // Not to be called while a request for this source is in progress (from the timeout
  // question's handler): the request still uses the renderer.
  void Release();

  bool Ready() const { return ready_; }
  int32_t FrameWidth() const { return format_.width; }
  int32_t FrameHeight() const { return format_.height; }
  int64_t FrameDuration100ns() const { return frameDuration100ns_; }
  uint32_t FrameCount() const { return end_ - first_; }
  bool FramePositions() const { return framePositions_; }
  const MovieWaitStats& WaitStats() const { return waitStats_; }

 private:
  friend bool FetchMovieFrame(MovieSource&, uint32_t, uint8_t*, uint32_t);
  enum class WaitResult { kFrame, kEnded, kAborted };

  bool RequestFrameOnce(uint32_t n, uint8_t* destination, uint32_t byteCount);
  bool TakeFrame(CaptureRenderer::Lock& lock, uint8_t* destination, uint32_t byteCount);
  bool SeekTo(CaptureRenderer::Lock& lock, uint32_t a);
  WaitResult WaitForFrame(CaptureRenderer::Lock& lock);
  // Lets the delivery thread run until it is idle, so that the next request finds the frame
  // that follows the one just taken already in the slot.
  void YieldUntilIdle();

  std::unique_ptr<CaptureRenderer> renderer_;  // outlives backEnd_, which delivers into it
  std::unique_ptr<MovieBackEnd> backEnd_;
  bool created_ = false;
  bool ready_ = false;
  bool busy_ = false;  // guarded by Process().frameLock
  VideoFormat format_;
  int64_t frameDuration100ns_ = 0;
  bool framePositions_ = false;
  uint32_t first_ = 0;
  uint32_t end_ = 0;
  // Settings, read at construction.
  int64_t framePrev_ = 10;
  uint32_t frameNext_ = 0xFFFFFFFFu;
  std::chrono::milliseconds abortTimeout_{3000};
  uint32_t callbackTimeoutMs_ = 5000;
  MovieWaitStats waitStats_;
};

// Copies decoded frame n (0 = the movie's first frame) into destination, byteCount bytes.
// false when the source is not ready, n is out of range, a request for this source is already in
// progress, decoding reported an error, seeking failed, the frame is smaller than byteCount, or
// the wait was abandoned at the timeout question.
bool FetchMovieFrame(MovieSource& movie, uint32_t frameIndex, uint8_t* destination,
                     uint32_t byteCount);

// Takes every pending back-end event; false as soon as one of them is an error.
bool DrainGraphEvents(MovieBackEnd& backEnd);

// Called while a wait for a frame goes on. true: keep waiting (restarting the wait's clock t0
// when the user chose to go on); false: abandon it. Asks Process().timeoutTarget once more than
// abortTimeout has passed since t0.
bool TimeoutPrompt(std::chrono::steady_clock::time_point& t0,
                   std::chrono::milliseconds abortTimeout);


// The deleter a FileEntry's LatePtr<MovieSource> uses.
void DestroyMovieSource(MovieSource* movie);

}  // namespace tavrona
