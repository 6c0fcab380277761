// MovieSource: one movie, decoded by a back end into a CaptureRenderer, and the frame request
// protocol by which the using thread takes frame n out of the renderer's slot, decoding forward
// over short gaps and over any gap without a key frame in it, and seeking otherwise.
//
// A source made with an opener is pooled: it keeps what it knows of its movie (the facts: size,
// positions, range) from Build on, but its back end only while a DecoderPool lets it. Build
// learns the facts and closes the back end again; a fetch opens it (through the opener) when it
// is closed, and the pool closes it when the open decoders exceed its budget or it has been idle
// (sources/decoder_pool.h). A source made without an opener keeps its back end from Build to
// Release, delivering the first frame at once.
//
// Threads: a source is used by one thread at a time (the user-interface thread or the
// composition worker, never both at once). The state shared with the delivery thread is the
// renderer's slot, guarded by Process().frameLock; the busy flag is guarded by the same lock.
// A fetch pins the source in its pool, and the pool closes it (from whichever thread uses the
// pool) only while it is not pinned, under the pool's mutex. Settings (FramePrev, FrameNext,
// AbortTimeout, CallbackTimeout) are read from Process().settings when the source is constructed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "model/frame_buffer.h"
#include "sources/capture_renderer.h"
#include "sources/decoder_pool.h"
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

// What a source learns of its movie from an open back end, and checks again whenever it opens
// the back end anew: a file that no longer gives the same facts has changed, and fails.
struct MovieFacts {
  VideoFormat format;           // as the renderer accepted it
  bool framePositions = false;  // positions are frame numbers (else media time, 100 ns)
  int64_t earliest = 0;         // range of positions (MovieBackEnd::GetAvailable)
  int64_t latest = 0;

  bool operator==(const MovieFacts&) const = default;
};

// Opens the source's back end anew: nullptr when that fails.
using MovieBackEndOpener = std::function<std::unique_ptr<MovieBackEnd>()>;

class MovieSource final : public PooledDecoder {
 public:
  // Takes the opened back end; a null back end leaves the source uncreated (unless it has an
  // opener, see BuildFromFacts). With an opener the source is pooled in pool, which must outlive
  // it (normally ProcessDecoderPool()).
  explicit MovieSource(std::unique_ptr<MovieBackEnd> backEnd, MovieBackEndOpener opener = {},
                       DecoderPool* pool = nullptr);
  ~MovieSource() override;  // Release
  MovieSource(const MovieSource&) = delete;
  MovieSource& operator=(const MovieSource&) = delete;

  // Connects the renderer, chooses the time format and reads the range (the facts).
  // referenceFrameDuration100ns > 0 replaces the movie's own frame duration. A pooled source
  // then closes its back end; any other seeks to the start and runs.
  bool Build(int64_t referenceFrameDuration100ns);
  // A pooled source built from facts learned earlier from the same file (by another source's
  // Build), without opening anything: the first fetch opens the back end and checks them.
  bool BuildFromFacts(const MovieFacts& facts, int64_t referenceFrameDuration100ns);
  // Stops decoding and releases the back end and the renderer and leaves the pool; the source
  // is then not ready. Not to be called while a request for this source is in progress (from
  // the timeout question's handler): the request still uses the renderer.
  void Release();

  // PooledDecoder: stops decoding and releases the back end and the renderer; the facts stay.
  // With dropPicture the pages of the picture last fetched into (FetchMoviePicture) go back to
  // the system, and TakePictureDropped says so.
  void CloseDecoder(bool dropPicture) override;
  // The pool gave the picture's pages back since the last call: it now holds zeros.
  bool TakePictureDropped() { return pictureDropped_.exchange(false); }
  // The back end is open. Only by the thread using the source, between its fetches.
  bool DecoderOpen() const { return backEnd_ != nullptr; }
  // Times a fetch opened the back end after Build or BuildFromFacts (pooled sources).
  uint32_t Reopenings() const { return reopenings_; }
  const MovieFacts& Facts() const { return facts_; }

  bool Ready() const { return ready_; }
  int32_t FrameWidth() const { return format_.width; }
  int32_t FrameHeight() const { return format_.height; }
  int64_t FrameDuration100ns() const { return frameDuration100ns_; }
  uint32_t FrameCount() const { return end_ - first_; }
  bool FramePositions() const { return framePositions_; }
  const MovieWaitStats& WaitStats() const { return waitStats_; }

 private:
  friend bool FetchFrame(MovieSource&, uint32_t, uint8_t*, uint32_t, bool);
  enum class WaitResult { kFrame, kEnded, kAborted };

  // Makes the renderer and connects the back end; with expected, checks that the facts are
  // still those, else learns them.
  bool ConnectBackEnd(const MovieFacts* expected);
  // The frame range and duration from the facts.
  bool TakeFacts(const MovieFacts& facts, int64_t referenceFrameDuration100ns);
  void SetRendererTimes();
  // Opens a closed pooled back end again; true when the back end is open.
  bool EnsureOpen();
  void CloseBackEnd();

  bool RequestFrameOnce(uint32_t n, uint8_t* destination, uint32_t byteCount);
  bool TakeFrame(CaptureRenderer::Lock& lock, uint8_t* destination, uint32_t byteCount);
  bool SeekTo(CaptureRenderer::Lock& lock, uint32_t a);
  WaitResult WaitForFrame(CaptureRenderer::Lock& lock);
  // WaitForFrame's end when the thread's requests are cancelled.
  WaitResult AbandonWait(CaptureRenderer::Lock& lock);
  // Lets the delivery thread run until it is idle, so that the next request finds the frame
  // that follows the one just taken already in the slot.
  void YieldUntilIdle();

  std::unique_ptr<CaptureRenderer> renderer_;  // outlives backEnd_, which delivers into it
  std::unique_ptr<MovieBackEnd> backEnd_;      // null while a pooled source is closed
  MovieBackEndOpener opener_;
  DecoderPool* pool_ = nullptr;  // non-null for a pooled source
  MovieFacts facts_;
  // The picture last fetched into by FetchMoviePicture; written while pinned, read by
  // CloseDecoder (under the pool's mutex, unpinned).
  uint8_t* picturePixels_ = nullptr;
  uint32_t pictureBytes_ = 0;
  std::atomic<bool> pictureDropped_{false};
  uint32_t reopenings_ = 0;
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
// progress, decoding reported an error, seeking failed, the frame is smaller than byteCount, the
// wait was abandoned at the timeout question, or the calling thread's requests were cancelled
// (sources/frame_request_cancel.h).
bool FetchMovieFrame(MovieSource& movie, uint32_t frameIndex, uint8_t* destination,
                     uint32_t byteCount);

// FetchMovieFrame into a picture of the frame's size, whose pages the source's pool may give
// back when it closes the source (TakePictureDropped then says so). The picture must stay
// allocated for as long as the source lives or until the next FetchMoviePicture into another
// picture, as a file entry's picture does (released together with its movie).
bool FetchMoviePicture(MovieSource& movie, uint32_t frameIndex, FrameBuffer& picture);

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
