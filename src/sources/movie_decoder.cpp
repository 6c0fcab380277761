#include "sources/movie_decoder.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "sources/ffmpeg_util.h"
#include "sources/media_file.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavrona {
namespace {

constexpr AVRational kTime100ns = {1, 10'000'000};
constexpr size_t kMaxKeptProbeFrames = 8;
constexpr int kBandRows = 32;  // 1080p: 32 rows of BGRA are 240 KB, well inside the L2 cache

// A conversion context to BGRA kept for one shape of input and output. sws_getCachedContext
// cannot keep it: a context turns the JPEG-range formats (yuvj420p and its kin, what MJPEG
// decodes to) into their plain twins, so the cache never matches them and builds a new context,
// filters and all, on every call; that cost seven times the conversion itself.
class BgraScaler {
 public:
  // The context for this shape; null when swscale refuses it.
  SwsContext* For(int sourceWidth, int sourceHeight, AVPixelFormat format, int width, int height) {
    if (!context_ || sourceWidth != sourceWidth_ || sourceHeight != sourceHeight_ ||
        format != format_ || width != width_ || height != height_) {
      context_.reset(sws_getContext(sourceWidth, sourceHeight, format, width, height,
                                    AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
      sourceWidth_ = sourceWidth;
      sourceHeight_ = sourceHeight;
      format_ = format;
      width_ = width;
      height_ = height;
    }
    return context_.get();
  }

 private:
  SwsContextPtr context_;
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  AVPixelFormat format_ = AV_PIX_FMT_NONE;
  int width_ = 0;
  int height_ = 0;
};

// Converts decoded frames to the connected size and layout. Used by one thread at a time: the
// thread that took a sample from the sink converts it (the user-interface thread, straight into
// the picture it fills), so the conversion of one frame runs while the decoder's threads work
// on the next ones, and no frame is converted into a buffer of its own only to be copied.
class FrameConverter {
 public:
  FrameConverter(int width, int height) : width_(width), height_(height) {}
  // pixels: width x height x 4 bytes, rows bottom-up.
  bool Convert(const AVFrame& frame, uint8_t* pixels);

 private:
  int width_;
  int height_;
  BgraScaler whole_;  // whole frames that need scaling
  BgraScaler band_;   // bands of kBandRows rows
  BgraScaler tail_;   // the last, shorter band
};

class FfmpegMovieBackEnd final : public MovieBackEnd {
 public:
  ~FfmpegMovieBackEnd() override { Stop(); }

  bool Open(const std::filesystem::path& path);

  bool Connect(FrameSink& sink) override;
  bool SetTimeFormat(MovieTimeFormat format) override;
  bool CanSeekAbsolute() const override;
  bool GetAvailable(int64_t& earliest, int64_t& latest) const override;
  bool SetPositions(int64_t start, int64_t stop) override;
  bool Run() override;
  bool GetEvent(int32_t& code) override;
  void Stop() override;
  uint64_t MemoryEstimateBytes() const override;
  int64_t SeekStartPosition(int64_t position) const override;

 private:
  // Learns the key frames' times from the demuxer's index, when the container keeps a whole one.
  void TakeKeyFrameIndex();
  // Opens the file (again) and finds the video stream; the codec is left alone.
  bool OpenDemuxer();
  // Decodes from the start of the file until the first key frame comes out, to learn the time
  // of the first frame and of the first key frame.
  bool ProbeStart();
  // Reads the packets of the last key frame's group to learn the time of the last frame: the
  // container's duration may count from another origin or include frames that never come out.
  void ScanEnd();
  // Positions the demuxer so that the frame at pts comes out: the key frame at or before it,
  // or the start of the file when pts lies before the first key frame. Owner's thread, or the
  // delivery thread while it runs.
  bool SeekBefore(int64_t pts);
  bool Rewind();
  int64_t PositionToPts(int64_t position) const;
  void DeliveryLoop();
  // Reads packets until one of the video stream went to the decoder or the input ended.
  // false on a read or decode failure (already posted).
  bool FeedDecoder();
  bool Deliver(const AVFrame& frame, int64_t pts);
  void PostEvent(int32_t code);
  // The run ended as asked: the last frame wanted was delivered, or the stream ended.
  void Complete() {
    completed_ = true;
    PostEvent(kMovieEventComplete);
  }
  void JoinDelivery();

  // The decoder state below belongs to the owner's thread while no delivery thread runs, and
  // to the delivery thread while it does: the owner joins the thread before touching it again.
  FormatContextPtr format_;
  CodecContextPtr codec_;
  PacketPtr packet_;
  FramePtr frame_;
  AVStream* stream_ = nullptr;
  int streamIndex_ = -1;
  std::filesystem::path path_;
  AVRational frameRate_ = {0, 1};  // {0, 1} when the file gives none
  // Stream time of position 0: the time of the first frame the decoder puts out when it
  // decodes the file from its start. Frame n is the n-th frame in presentation order, so
  // neither the container's start time nor the first packet's time will do: frames the
  // demuxer marks as discarded (edit lists) and frames the decoder drops (those before the
  // first key frame of a cut stream) come out never, and a decoder that reorders frames
  // stamps them late by its delay where the container holds decoding times only (AVI).
  int64_t originPts_ = 0;
  int64_t firstKeyPts_ = 0;  // stream time of the first key frame put out
  // Stream times of the key frames the file's index lists, ascending, as the demuxer had them
  // after opening (read-only afterwards, so any thread may read it); empty when unknown.
  std::vector<int64_t> keyFramePts_;
  // The frames the probe decoded, kept for the first run when it starts at the first frame:
  // the decoder and the demuxer then go on from where the probe left them.
  struct ProbedFrame {
    FramePtr frame;
    int64_t pts;
  };
  std::deque<ProbedFrame> probed_;
  bool probedAll_ = true;  // no frame of the probe was left out of probed_
  bool atProbe_ = false;   // nothing was sought or delivered since the probe
  bool sawFirstPacket_ = false;
  bool firstPacketKey_ = false;       // the stream starts with a key frame
  int64_t lastPts_ = AV_NOPTS_VALUE;  // stream time of the last frame
  int64_t halfFramePts_ = 0;          // tolerance when matching frames to positions
  int64_t framePts_ = 1;              // one frame's duration, for frames that carry no time
  VideoFormat output_;
  FrameSink* sink_ = nullptr;
  MovieTimeFormat timeFormat_ = MovieTimeFormat::kMediaTime;
  int64_t startPts_ = 0;
  int64_t stopPts_ = INT64_MAX;
  int64_t nextPts_ = AV_NOPTS_VALUE;  // guess for frames that carry no time
  // After a seek to a key frame, frames that come out before it (the leading frames of an open
  // group of pictures) lack their references and are dropped.
  bool awaitKeyFrame_ = false;
  // The first frame after a seek is checked: a seek can land past the start (an index that
  // holds decoding times puts a key frame's picture later than its entry), and the demuxer is
  // then moved further back, by retreatPts_ (doubling) or to the start of the file.
  bool checkFirstFrame_ = false;
  bool fromStart_ = false;  // the last seek went to the start of the file
  int64_t retreatPts_ = 0;
  bool inputEnded_ = false;                    // the decoder was told to drain
  bool completed_ = false;                     // the stop position was reached since the last seek
  std::shared_ptr<FrameConverter> converter_;  // shared with the samples delivered

  std::thread delivery_;  // owner's thread only
  std::atomic<bool> stopRequested_{false};

  std::mutex eventMutex_;
  std::deque<int32_t> events_;  // guarded by eventMutex_
};

// Sets the fourth byte of every pixel to 0. The compiler leaves the plain loop scalar at -O2,
// which made this pass cost as much as the colour conversion itself; 16 bytes at a time it
// runs at memory speed.
void ClearFourthBytes(uint8_t* pixels, size_t pixelCount) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i mask = _mm_set1_epi32(0x00FFFFFF);
  for (; i + 4 <= pixelCount; i += 4) {
    __m128i* p = reinterpret_cast<__m128i*>(pixels + i * 4);
    _mm_storeu_si128(p, _mm_and_si128(_mm_loadu_si128(p), mask));
  }
#endif
  for (; i < pixelCount; ++i) pixels[i * 4 + 3] = 0;
}

// Leaves every stream but the video stream at index unread.
void DiscardOtherStreams(AVFormatContext& format, int index) {
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    if (static_cast<int>(i) != index) format.streams[i]->discard = AVDISCARD_ALL;
  }
}

bool FfmpegMovieBackEnd::OpenDemuxer() {
  FormatContextPtr format = OpenMediaFile(path_);
  if (!format) return false;
  if (IsStillImageFormat(*format->iformat)) return false;
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return false;

  const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) return false;
  if (streamIndex_ >= 0 && index != streamIndex_) return false;  // reopened: the same stream
  AVStream* stream = format->streams[index];
  if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) return false;
  DiscardOtherStreams(*format, index);

  // An AVI file without its index (one cut short, say) cannot be positioned: after a seek the
  // demuxer numbers frames from wherever it landed, and frames would come back under wrong
  // numbers. A complete index reaches the last frame (it may skip the slots of frames packed
  // into the chunk before them).
  if (std::string_view(format->iformat->name) == "avi") {
    const int entries = avformat_index_get_entries_count(stream);
    const AVIndexEntry* last =
        entries > 0 ? avformat_index_get_entry(stream, entries - 1) : nullptr;
    if (last == nullptr || last->timestamp + 1 < stream->nb_frames) return false;
  }
  format_ = std::move(format);
  streamIndex_ = index;
  stream_ = stream;
  return true;
}

bool FfmpegMovieBackEnd::Open(const std::filesystem::path& path) {
  path_ = path;
  if (!OpenDemuxer()) return false;
  const AVCodec* decoder = avcodec_find_decoder(stream_->codecpar->codec_id);
  if (decoder == nullptr) return false;
  codec_.reset(avcodec_alloc_context3(decoder));
  if (!codec_ || avcodec_parameters_to_context(codec_.get(), stream_->codecpar) < 0) return false;
  codec_->thread_count = 0;  // as many as the library finds useful, like the ffmpeg tool
  codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  codec_->pkt_timebase = stream_->time_base;
  if (avcodec_open2(codec_.get(), decoder, nullptr) < 0) return false;
  packet_.reset(av_packet_alloc());
  frame_.reset(av_frame_alloc());
  if (!packet_ || !frame_) return false;

  const int width = stream_->codecpar->width;
  const int height = stream_->codecpar->height;
  if (width <= 0 || height <= 0 || static_cast<uint64_t>(width) * height * 4 > 0x7FFFFFFFu) {
    return false;
  }
  frameRate_ = stream_->avg_frame_rate;
  if (frameRate_.num <= 0 || frameRate_.den <= 0) frameRate_ = stream_->r_frame_rate;
  if (frameRate_.num <= 0 || frameRate_.den <= 0) frameRate_ = {0, 1};
  if (frameRate_.num > 0) {
    // Rounded down: where the stream counts one tick per frame, a frame is at a position
    // exactly or not at all.
    halfFramePts_ = av_rescale_q_rnd(1, av_inv_q(av_mul_q(frameRate_, {2, 1})), stream_->time_base,
                                     AV_ROUND_DOWN);
    framePts_ = std::max<int64_t>(av_rescale_q(1, av_inv_q(frameRate_), stream_->time_base), 1);
  }
  if (!ProbeStart()) return false;
  ScanEnd();
  TakeKeyFrameIndex();

  converter_ = std::make_shared<FrameConverter>(width, height);
  output_.subtype = VideoSubtype::kRgb32;
  output_.width = width;
  output_.height = height;
  output_.bitCount = 32;
  output_.averageFrameDuration100ns =
      frameRate_.num > 0 ? av_rescale_rnd(10'000'000, frameRate_.den, frameRate_.num, AV_ROUND_DOWN)
                         : 0;
  return true;
}

bool FfmpegMovieBackEnd::ProbeStart() {
  // Enough for any group of pictures a camera or encoder writes; a stream without a key frame
  // this early is numbered from its first frame, and reached from the start of the file.
  constexpr int kMaxProbeFrames = 1000;
  bool haveFirst = false;
  for (int frames = 0; frames < kMaxProbeFrames;) {
    const int received = avcodec_receive_frame(codec_.get(), frame_.get());
    if (received == AVERROR(EAGAIN)) {
      if (!FeedDecoder()) break;
      continue;
    }
    if (received == AVERROR_INVALIDDATA) continue;
    if (received < 0) break;  // the end of the stream, or an error
    int64_t pts = frame_->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) pts = nextPts_ != AV_NOPTS_VALUE ? nextPts_ : 0;
    nextPts_ = pts + (frame_->pkt_duration > 0 ? frame_->pkt_duration : framePts_);
    const bool key = frame_->key_frame != 0;
    if (probed_.size() < kMaxKeptProbeFrames) {
      probed_.push_back({FramePtr(av_frame_clone(frame_.get())), pts});
      if (!probed_.back().frame) probed_.pop_back();
    } else {
      probedAll_ = false;
    }
    av_frame_unref(frame_.get());
    if (!haveFirst) {
      originPts_ = pts;
      firstKeyPts_ = INT64_MAX;
      haveFirst = true;
    }
    ++frames;
    if (key) {
      firstKeyPts_ = pts;
      break;
    }
  }
  {
    std::lock_guard lock(eventMutex_);
    events_.clear();  // a failure here is judged by the frames it gave, not posted
  }
  atProbe_ = probedAll_;
  return haveFirst;
}

void FfmpegMovieBackEnd::ScanEnd() {
  const int64_t startPts = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
  int64_t target = INT64_MAX / 2;
  if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) {
    target = startPts + stream_->duration;
  } else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
    target = av_rescale_q(format_->duration, AV_TIME_BASE_Q, stream_->time_base) + startPts;
  }
  // Should the scan find nothing, the container's duration ends the last frame.
  if (target != INT64_MAX / 2) lastPts_ = target - framePts_;
  // A demuxer of its own, so that the decoder's stays where the probe left it. Its headers are
  // all it needs: no stream information is gathered.
  FormatContextPtr scan = OpenMediaFile(path_);
  if (!scan || streamIndex_ >= static_cast<int>(scan->nb_streams)) return;
  DiscardOtherStreams(*scan, streamIndex_);
  if (av_cmp_q(scan->streams[streamIndex_]->time_base, stream_->time_base) != 0) return;
  if (av_seek_frame(scan.get(), streamIndex_, target, AVSEEK_FLAG_BACKWARD) < 0) return;
  PacketPtr packet(av_packet_alloc());
  if (!packet) return;
  // Packets with presentation times give the last frame's time directly. Where the container
  // holds decoding times only (AVI), a decoder that reorders frames puts its last one out after
  // all packets, as the last decoding time plus its delay.
  int64_t lastPresented = AV_NOPTS_VALUE;
  int64_t lastDecoded = AV_NOPTS_VALUE;
  bool decodingTimesOnly = false;
  while (av_read_frame(scan.get(), packet.get()) >= 0) {
    if (packet->stream_index == streamIndex_ && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
      if (packet->pts != AV_NOPTS_VALUE) lastPresented = std::max(lastPresented, packet->pts);
      if (packet->dts != AV_NOPTS_VALUE) lastDecoded = std::max(lastDecoded, packet->dts);
      if (packet->pts == AV_NOPTS_VALUE) decodingTimesOnly = true;
    }
    av_packet_unref(packet.get());
  }
  if (decodingTimesOnly && lastDecoded != AV_NOPTS_VALUE) {
    lastPts_ = std::max(lastPresented, lastDecoded + codec_->has_b_frames);
  } else if (lastPresented != AV_NOPTS_VALUE) {
    lastPts_ = lastPresented;
  }
}

// Only containers whose header lists every key frame are trusted: MP4 and QuickTime (the sync
// sample table) and AVI (the index OpenDemuxer checked). Matroska's cues name one key frame per
// cluster at most, and formats indexed while they are read know only the part read so far:
// either would make a far jump look like a short one.
void FfmpegMovieBackEnd::TakeKeyFrameIndex() {
  keyFramePts_.clear();
  const std::string_view name = format_->iformat->name;
  if (name != "avi" && name.rfind("mov,", 0) != 0) return;
  const int entries = avformat_index_get_entries_count(stream_);
  for (int i = 0; i < entries; ++i) {
    const AVIndexEntry* entry = avformat_index_get_entry(stream_, i);
    if (entry != nullptr && (entry->flags & AVINDEX_KEYFRAME) != 0) {
      keyFramePts_.push_back(entry->timestamp);
    }
  }
  std::sort(keyFramePts_.begin(), keyFramePts_.end());
}

int64_t FfmpegMovieBackEnd::SeekStartPosition(int64_t position) const {
  if (keyFramePts_.empty()) return kUnknownSeekStart;
  if (timeFormat_ == MovieTimeFormat::kFrame && frameRate_.num <= 0) return kUnknownSeekStart;
  const int64_t pts = PositionToPts(position);
  if (pts <= firstKeyPts_) return 0;  // SeekBefore rewinds to the start of the file
  const auto after = std::upper_bound(keyFramePts_.begin(), keyFramePts_.end(), pts);
  if (after == keyFramePts_.begin()) return 0;
  // Rounded down, and an index time (a decoding time in some containers) is at or before its
  // frame's presentation: the estimate may lie a frame or a reordering delay early, which costs
  // at most that many frames decoded on where a seek would have started later.
  const int64_t keyPts = *std::prev(after) - originPts_;
  if (keyPts <= 0) return 0;
  return timeFormat_ == MovieTimeFormat::kFrame
             ? av_rescale_q_rnd(keyPts, stream_->time_base, av_inv_q(frameRate_), AV_ROUND_DOWN)
             : av_rescale_q_rnd(keyPts, stream_->time_base, kTime100ns, AV_ROUND_DOWN);
}

bool FfmpegMovieBackEnd::Connect(FrameSink& sink) {
  if (!sink.CheckFormat(output_)) return false;
  sink.SetFormat(output_);
  sink_ = &sink;
  return true;
}

bool FfmpegMovieBackEnd::SetTimeFormat(MovieTimeFormat format) {
  if (format == MovieTimeFormat::kFrame) {
    // Frame numbers only where the stream counts one tick per frame and knows how many it has.
    if (stream_->nb_frames <= 0 || frameRate_.num <= 0 ||
        av_cmp_q(stream_->time_base, av_inv_q(frameRate_)) != 0) {
      return false;
    }
  }
  timeFormat_ = format;
  return true;
}

bool FfmpegMovieBackEnd::CanSeekAbsolute() const {
  return format_->pb != nullptr && (format_->pb->seekable & AVIO_SEEKABLE_NORMAL) != 0;
}

bool FfmpegMovieBackEnd::GetAvailable(int64_t& earliest, int64_t& latest) const {
  earliest = 0;
  if (timeFormat_ == MovieTimeFormat::kFrame) {
    // One tick per frame: the frames from the first put out to the last.
    latest = lastPts_ != AV_NOPTS_VALUE && lastPts_ >= originPts_ ? lastPts_ - originPts_ + 1
                                                                  : stream_->nb_frames;
    return true;
  }
  if (lastPts_ == AV_NOPTS_VALUE || lastPts_ < originPts_) return false;
  if (frameRate_.num <= 0) {  // only a reference frame duration can count these frames
    latest = av_rescale_q(lastPts_ - originPts_, stream_->time_base, kTime100ns);
    return true;
  }
  // Whole frames from the first one put out to the last, so that the frame count derived from
  // this does not depend on the rounding of the container's times.
  const int64_t frames =
      av_rescale_q(lastPts_ - originPts_, stream_->time_base, av_inv_q(frameRate_)) + 1;
  latest = av_rescale_q(frames, av_inv_q(frameRate_), kTime100ns);
  return true;
}

int64_t FfmpegMovieBackEnd::PositionToPts(int64_t position) const {
  if (timeFormat_ == MovieTimeFormat::kFrame) {
    return originPts_ + av_rescale_q(position, av_inv_q(frameRate_), stream_->time_base);
  }
  return originPts_ + av_rescale_q(position, kTime100ns, stream_->time_base);
}

bool FfmpegMovieBackEnd::SetPositions(int64_t start, int64_t stop) {
  JoinDelivery();
  if (sink_ != nullptr) sink_->SetStreaming(false);
  startPts_ = PositionToPts(start);
  stopPts_ = stop >= start ? PositionToPts(stop) : startPts_;
  completed_ = false;
  retreatPts_ = 0;
  if (atProbe_ && startPts_ <= originPts_) {
    // The first run from the first frame: go on from the probe, with its frames.
    checkFirstFrame_ = false;
    awaitKeyFrame_ = false;
    fromStart_ = true;
    return true;
  }
  atProbe_ = false;
  probed_.clear();
  return SeekBefore(startPts_);
}

bool FfmpegMovieBackEnd::SeekBefore(int64_t pts) {
  inputEnded_ = false;
  nextPts_ = AV_NOPTS_VALUE;
  checkFirstFrame_ = true;
  if (pts <= firstKeyPts_) return Rewind();
  // The key frame at or before pts; the frames between it and the start are decoded and
  // dropped by the delivery loop.
  if (avformat_seek_file(format_.get(), streamIndex_, INT64_MIN, pts, pts, 0) < 0 &&
      av_seek_frame(format_.get(), streamIndex_, pts, AVSEEK_FLAG_BACKWARD) < 0) {
    return Rewind();
  }
  avcodec_flush_buffers(codec_.get());
  awaitKeyFrame_ = true;
  fromStart_ = false;
  return true;
}

// Frames before the first key frame are only ever decoded from the very first packet. A stream
// that starts with a key frame is back there after a seek to its first frame; for any other,
// which a seek does not reliably take back to its first packet (indexes list key frames only),
// the demuxer is opened afresh.
bool FfmpegMovieBackEnd::Rewind() {
  const bool sought = firstPacketKey_ && avformat_seek_file(format_.get(), streamIndex_, INT64_MIN,
                                                            originPts_, originPts_, 0) >= 0;
  if (!sought && !OpenDemuxer()) return false;
  avcodec_flush_buffers(codec_.get());
  awaitKeyFrame_ = false;
  fromStart_ = true;
  return true;
}

bool FfmpegMovieBackEnd::Run() {
  if (sink_ == nullptr) return false;
  if (delivery_.joinable()) {
    return true;  // still delivering, or finished at the stop position: nothing new to do
  }
  if (completed_) return true;
  atProbe_ = false;  // the delivery thread takes over the probe's frames
  sink_->SetStreaming(true);
  stopRequested_.store(false);
  delivery_ = std::thread([this] { DeliveryLoop(); });
  return true;
}

// Decoded frames are what a decoder holds: its reference frames (refs, which the H.264 and HEVC
// decoders take from the stream's header; at least one), the frames it holds back to reorder
// them (has_b_frames), one in work per frame thread and the one each thread's context keeps
// for output, the frames the probe kept for the first run, one in frame_ and one in the hand-off
// slot. A frame is counted at the size of the decoder's buffers (rows and height padded to
// 64, as the default buffer pool pads them). Each thread also holds a context of its own with
// slice and motion buffers, counted at a fixed 1 MiB (about what 1080p H.264 allocates per
// thread), and the scaler's band buffers are small beside a frame.
uint64_t FfmpegMovieBackEnd::MemoryEstimateBytes() const {
  if (!codec_) return 0;
  const int width = std::max(codec_->coded_width, codec_->width);
  const int height = std::max(codec_->coded_height, codec_->height);
  const AVPixelFormat format =
      codec_->pix_fmt != AV_PIX_FMT_NONE ? codec_->pix_fmt : AV_PIX_FMT_YUV420P;
  const int frameBytes =
      av_image_get_buffer_size(format, FFALIGN(width, 64), FFALIGN(height, 64) + 2, 64);
  if (frameBytes <= 0) return 0;
  const int threads = std::max(codec_->thread_count, 1);
  const uint64_t frames = static_cast<uint64_t>(std::max(codec_->refs, 1)) +
                          static_cast<uint64_t>(std::max(codec_->has_b_frames, 0)) +
                          2 * static_cast<uint64_t>(threads) + probed_.size() + 2;
  constexpr uint64_t kThreadContextBytes = uint64_t{1} << 20;
  return frames * static_cast<uint64_t>(frameBytes) + threads * kThreadContextBytes;
}

bool FfmpegMovieBackEnd::GetEvent(int32_t& code) {
  std::lock_guard lock(eventMutex_);
  if (events_.empty()) return false;
  code = events_.front();
  events_.pop_front();
  return true;
}

void FfmpegMovieBackEnd::Stop() {
  JoinDelivery();
}

void FfmpegMovieBackEnd::JoinDelivery() {
  if (!delivery_.joinable()) return;
  stopRequested_.store(true);
  if (sink_ != nullptr) sink_->SetStreaming(false);  // releases a Render that waits for room
  delivery_.join();
}

void FfmpegMovieBackEnd::PostEvent(int32_t code) {
  std::lock_guard lock(eventMutex_);
  events_.push_back(code);
}

bool FfmpegMovieBackEnd::FeedDecoder() {
  if (inputEnded_) return true;  // draining: receive gives the rest, then AVERROR_EOF
  for (;;) {
    const int read = av_read_frame(format_.get(), packet_.get());
    if (read == AVERROR_EOF) {
      inputEnded_ = true;
      if (avcodec_send_packet(codec_.get(), nullptr) < 0) {
        PostEvent(kMovieEventErrorAbort);
        return false;
      }
      return true;
    }
    if (read < 0) {
      PostEvent(kMovieEventStreamErrorStopped);
      return false;
    }
    if (packet_->stream_index != streamIndex_) {
      av_packet_unref(packet_.get());
      continue;
    }
    if (!sawFirstPacket_) {
      sawFirstPacket_ = true;
      firstPacketKey_ = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    }
    const int sent = avcodec_send_packet(codec_.get(), packet_.get());
    av_packet_unref(packet_.get());
    // A damaged packet is skipped; the decoder picks up at the next one it understands.
    if (sent < 0 && sent != AVERROR_INVALIDDATA) {
      PostEvent(kMovieEventErrorAbort);
      return false;
    }
    return true;
  }
}

void FfmpegMovieBackEnd::DeliveryLoop() {
  while (!stopRequested_.load(std::memory_order_relaxed)) {
    if (!probed_.empty()) {
      ProbedFrame probed = std::move(probed_.front());
      probed_.pop_front();
      const bool keepGoing = Deliver(*probed.frame, probed.pts);
      if (!keepGoing) {
        Complete();
        break;
      }
      continue;
    }
    const int received = avcodec_receive_frame(codec_.get(), frame_.get());
    if (received == AVERROR(EAGAIN)) {
      if (!FeedDecoder()) break;
      continue;
    }
    if (received == AVERROR_EOF) {
      // A seek after which no frame came out at all (the MP4 demuxer puts a stream cut before
      // its first key frame at its end when sought back into the first group) is done again
      // from the start of the file, which reaches every frame.
      if (checkFirstFrame_ && !fromStart_) {
        if (!SeekBefore(originPts_)) {
          PostEvent(kMovieEventStreamErrorStopped);
          break;
        }
        continue;
      }
      Complete();
      break;
    }
    if (received == AVERROR_INVALIDDATA) continue;
    if (received < 0) {
      PostEvent(kMovieEventErrorAbort);
      break;
    }
    int64_t pts = frame_->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) pts = nextPts_;
    // A frame without a time, and none before it since the seek to count on (the last frame
    // of a stream whose container holds decoding times, as the decoder flushes it), is the
    // first of the start only; elsewhere it cannot be placed, and is met again from further
    // back.
    if (pts == AV_NOPTS_VALUE && fromStart_) pts = originPts_;
    if (pts != AV_NOPTS_VALUE) {
      nextPts_ = pts + (frame_->pkt_duration > 0 ? frame_->pkt_duration : framePts_);
    }
    if (awaitKeyFrame_) {
      if (frame_->key_frame == 0) {
        av_frame_unref(frame_.get());
        continue;
      }
      awaitKeyFrame_ = false;
    }
    if (checkFirstFrame_) {
      checkFirstFrame_ = false;
      if ((pts == AV_NOPTS_VALUE || pts > startPts_ + halfFramePts_) && !fromStart_) {
        av_frame_unref(frame_.get());
        const int64_t second = av_rescale_q(1, {1, 1}, stream_->time_base);
        retreatPts_ = retreatPts_ == 0 ? std::max<int64_t>(second, 1) : retreatPts_ * 2;
        if (!SeekBefore(startPts_ - retreatPts_)) {
          PostEvent(kMovieEventStreamErrorStopped);
          break;
        }
        continue;
      }
    }
    const bool keepGoing = Deliver(*frame_, pts);
    av_frame_unref(frame_.get());
    if (!keepGoing) {
      Complete();
      break;
    }
  }
  sink_->EndOfStream();
}

// Hands one decoded frame to the sink unless it lies before the start (dropped) or after the
// stop (false: delivery is complete). A frame counts as at a position when it lies within half
// a frame of it, which absorbs the rounding of containers with millisecond times.
bool FfmpegMovieBackEnd::Deliver(const AVFrame& frame, int64_t pts) {
  if (pts > stopPts_ + halfFramePts_) return false;
  if (pts < startPts_ - halfFramePts_) return true;
  const uint32_t byteSize = static_cast<uint32_t>(output_.width) * output_.height * 4;
  std::shared_ptr<AVFrame> decoded(av_frame_clone(&frame), FrameDeleter{});
  if (!decoded) return true;  // out of memory: this frame is lost, the next may not be
  auto sample = std::make_shared<MovieSample>();
  sample->format = output_;
  sample->byteSize = byteSize;
  sample->writePixels = [decoded, converter = converter_, byteSize](uint8_t* destination,
                                                                    uint32_t byteCount) {
    if (byteCount == byteSize) return converter->Convert(*decoded, destination);
    std::vector<uint8_t> whole(byteSize);
    if (!converter->Convert(*decoded, whole.data())) return false;
    std::memcpy(destination, whole.data(), std::min(byteCount, byteSize));
    return true;
  };
  sample->hasStartTime = true;
  sample->startTime100ns = av_rescale_q(pts - startPts_, stream_->time_base, kTime100ns);
  sample->mediaTime = pts - originPts_;
  sink_->Render(std::move(sample));
  return true;
}

// Converts to the connected size and layout: rows bottom-up (a negative destination stride),
// bytes blue, green, red, 0. The converter writes 255 into the fourth byte, which has to be
// cleared. Frames of the connected size are converted in bands of rows, each band a picture of
// its own for the converter, so that clearing a band finds it still in the cache; a second pass
// over a whole 1080p frame costs as much as the conversion. (Handing the converter real slices
// of one picture is no option: it misplaces later slices when the destination stride is
// negative.)
bool FrameConverter::Convert(const AVFrame& frame, uint8_t* pixels) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr || frame.width <= 0 || frame.height <= 0) return false;
  const int rowBytes = width_ * 4;
  uint8_t* const topRow = pixels + static_cast<size_t>(height_ - 1) * rowBytes;
  const int dstStride[4] = {-rowBytes, 0, 0, 0};

  const bool banded =
      frame.width == width_ && frame.height == height_ &&
      (desc->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)) ==
          0;
  if (!banded) {
    SwsContext* context = whole_.For(frame.width, frame.height, format, width_, height_);
    if (context == nullptr) return false;
    uint8_t* dst[4] = {topRow, nullptr, nullptr, nullptr};
    if (sws_scale(context, frame.data, frame.linesize, 0, frame.height, dst, dstStride) !=
        height_) {
      return false;
    }
    ClearFourthBytes(pixels, static_cast<size_t>(width_) * height_);
    return true;
  }

  const int chromaShift = desc->log2_chroma_h;
  const bool rgbPlanes = (desc->flags & AV_PIX_FMT_FLAG_RGB) != 0;
  const int bandRows = std::max(kBandRows >> chromaShift << chromaShift, 1 << chromaShift);
  for (int y = 0; y < frame.height; y += bandRows) {
    const int rows = std::min(bandRows, frame.height - y);
    SwsContext* context =
        (rows == bandRows ? band_ : tail_).For(frame.width, rows, format, width_, rows);
    if (context == nullptr) return false;
    const uint8_t* src[4] = {};
    for (int p = 0; p < 4 && frame.data[p] != nullptr; ++p) {
      const bool chroma = (p == 1 || p == 2) && !rgbPlanes;
      src[p] =
          frame.data[p] + static_cast<ptrdiff_t>(chroma ? y >> chromaShift : y) * frame.linesize[p];
    }
    uint8_t* dst[4] = {topRow - static_cast<ptrdiff_t>(y) * rowBytes, nullptr, nullptr, nullptr};
    if (sws_scale(context, src, frame.linesize, 0, rows, dst, dstStride) != rows) {
      return false;
    }
    // The band's rows lie below one another in memory, the lowest picture row first.
    ClearFourthBytes(topRow - static_cast<ptrdiff_t>(y + rows - 1) * rowBytes,
                     static_cast<size_t>(rows) * width_);
  }
  return true;
}

}  // namespace

bool MovieSample::CopyTo(uint8_t* destination, uint32_t byteCount) const {
  if (byteCount > byteSize) return false;
  if (byteCount == 0) return true;
  if (writePixels) return writePixels(destination, byteCount);
  if (pixels == nullptr) return false;
  std::memcpy(destination, pixels, byteCount);
  return true;
}

std::unique_ptr<MovieBackEnd> OpenFfmpegMovie(const std::filesystem::path& path) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  auto backEnd = std::make_unique<FfmpegMovieBackEnd>();
  if (!backEnd->Open(path)) return nullptr;
  return backEnd;
}

}  // namespace tavrona
