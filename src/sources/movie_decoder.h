// The decoding back end of movie sources: opens a movie file and, on a delivery thread of its
// own, decodes it without a clock into 32-bit frames that it hands to a FrameSink (the capture
// renderer) one at a time. The movie source talks to it only through MovieBackEnd, so tests can
// put a back end of their own in its place.
//
// Threads: every MovieBackEnd operation is called on the owner's thread (the user-interface
// thread). FrameSink::Render and FrameSink::EndOfStream are called on the delivery thread;
// FrameSink::CheckFormat, SetFormat and SetStreaming on the owner's thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

namespace tavrona {

// Pixel layouts a back end can offer. Only kRgb32 is a frame buffer's layout: bytes blue,
// green, red, 0 per pixel, rows bottom-up, no padding.
enum class VideoSubtype : int32_t { kRgb32 = 0, kYuv = 1, kOther = 2 };

// The format of the frames a back end delivers (what a video info header describes).
struct VideoFormat {
  VideoSubtype subtype = VideoSubtype::kOther;
  int32_t width = 0;
  int32_t height = 0;  // > 0: rows bottom-up; < 0 would mean top-down
  int32_t bitCount = 0;
  int64_t averageFrameDuration100ns = 0;  // 0 when the file gives none

  bool operator==(const VideoFormat&) const = default;
};

// One decoded frame in the format the sink accepted. Shared between the back end and the sink,
// which holds a reference while the frame sits in its hand-off slot.
struct MovieSample {
  VideoFormat format;
  uint8_t* pixels = nullptr;  // format.height rows of format.width * 4 bytes, bottom row first
  uint32_t byteSize = 0;      // of the picture, whether in pixels or written by writePixels
  // Set instead of pixels by a back end that hands over the decoded frame unconverted: writes
  // the picture as pixels would hold it into destination (byteCount <= byteSize bytes). Called
  // on the thread that took the sample out of the sink, by one thread at a time.
  std::function<bool(uint8_t* destination, uint32_t byteCount)> writePixels;
  bool hasStartTime = false;
  int64_t startTime100ns = 0;  // relative to the start position of the last seek
  int64_t mediaTime = 0;       // the sample's own position, used when it carries no start time

  // Copies or converts the first byteCount bytes of the picture into destination; false when
  // the sample holds fewer bytes or the conversion failed.
  bool CopyTo(uint8_t* destination, uint32_t byteCount) const;
};
using MovieSamplePtr = std::shared_ptr<MovieSample>;

// The end of the decoding chain.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // Connection: true when the sink accepts frames of this format.
  virtual bool CheckFormat(const VideoFormat& format) = 0;
  // Connection: records the accepted format.
  virtual void SetFormat(const VideoFormat& format) = 0;
  // Delivery thread, once per decoded frame. May wait (bounded) until the sink has room.
  virtual void Render(MovieSamplePtr sample) = 0;
  // Owner's thread. false before the back end stops or flushes (a waiting Render must return
  // at once and no sample from before may stay held), true when it starts delivering again.
  virtual void SetStreaming(bool streaming) = 0;
  // Delivery thread: no further frame comes before the next run (stop position, end of file,
  // or an error, which is also posted as an event).
  virtual void EndOfStream() = 0;
};

enum class MovieTimeFormat { kFrame, kMediaTime };

// Event codes a back end posts.
inline constexpr int32_t kMovieEventComplete = 1;            // the stop position was reached
inline constexpr int32_t kMovieEventErrorAbort = 3;          // decoding failed
inline constexpr int32_t kMovieEventStreamErrorStopped = 6;  // reading the file failed
inline constexpr int32_t kMovieEventDeviceLost = 31;

class MovieBackEnd {
 public:
  virtual ~MovieBackEnd() = default;
  // Offers the output format to the sink; true when the sink accepted it and is connected. The
  // sink must stay alive until Stop has returned or the back end is destroyed.
  virtual bool Connect(FrameSink& sink) = 0;
  // Positions as frame numbers (kFrame) or media time in 100-ns units (kMediaTime, always
  // available). false when the format is not supported; the previous one stays.
  virtual bool SetTimeFormat(MovieTimeFormat format) = 0;
  virtual bool CanSeekAbsolute() const = 0;
  // Earliest and latest position in the current time format.
  virtual bool GetAvailable(int64_t& earliest, int64_t& latest) const = 0;
  // Absolute seek: stops delivery (SetStreaming(false)), then positions the decoder so that the
  // first frame delivered by the next Run is the one at start; delivery ends after the frame at
  // stop. Start times of delivered frames are relative to start.
  virtual bool SetPositions(int64_t start, int64_t stop) = 0;
  // Starts delivering on the delivery thread (no clock: as fast as the sink takes frames). Does
  // nothing when already running or when the stop position was reached since the last seek.
  virtual bool Run() = 0;
  // Takes the next posted event without waiting; false when there is none.
  virtual bool GetEvent(int32_t& code) = 0;
  // Stops delivering and joins the delivery thread. Safe to call at any time.
  virtual void Stop() = 0;
  // Where decoding starts when the back end seeks to position (current time format): the key
  // frame at or before it, as far as the file's index tells; kUnknownSeekStart when the back end
  // cannot tell. A movie source decodes on from a frame it holds instead of seeking when that
  // frame lies at or after this, since the seek would decode the same frames and more. Any
  // thread that uses the back end, also while it delivers.
  static constexpr int64_t kUnknownSeekStart = INT64_MIN;
  virtual int64_t SeekStartPosition(int64_t position) const {
    (void)position;
    return kUnknownSeekStart;
  }
  // An estimate, in bytes, of the memory the open back end holds (its decoder's frames and
  // working state); what the decoder pool counts against its budget. 0 when unknown. Only
  // while the back end does not deliver (before Run, or after Stop or SetPositions).
  virtual uint64_t MemoryEstimateBytes() const { return 0; }
};

// Opens a movie file with FFmpeg: the first video stream, decoded with the library's threads.
// Position 0 is the first frame the decoder puts out when it decodes the file from its start,
// and frame n the n-th it puts out (presentation order, frames the container marks as discarded
// and frames the decoder drops left out), whatever the container's timestamps say. Opening
// decodes the first frames. nullptr when the file cannot be read, holds no video, no frame of it
// can be decoded, or it is a still image.
std::unique_ptr<MovieBackEnd> OpenFfmpegMovie(const std::filesystem::path& path);

}  // namespace tavrona
