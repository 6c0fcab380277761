#include "sources/sound_source.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "sources/ffmpeg_util.h"
#include "sources/media_file.h"
#include "sources/sound_block_cache.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace tavrona {
namespace {

constexpr AVRational kMixTimeBase = {1, kMixRate};
constexpr int64_t kUnknown = INT64_MIN;
// A seek lands this far before the block it is for, so that a decoder that needs the frames
// before (MP3's bit reservoir, the overlap of AAC's transform) has them; four times as far on
// each retry.
constexpr int64_t kSeekMarginSamples = kMixRate / 4;
constexpr int kSeekTries = 4;
// A read within this distance ahead of the decoder decodes forward instead of seeking.
constexpr int64_t kForwardSamples = 4 * kSoundBlockSamples;
// Frames whose time is further than this from where the decoded sound has got to are placed
// by their own time (a gap becomes silence, an overlap is dropped); closer ones follow on.
constexpr int64_t kResyncSamples = kMixRate / 50;  // 20 ms
// A jump further than this is taken for a broken timestamp and followed on instead: silence
// for it would cost its length in cache churn.
constexpr int64_t kMaxJumpSamples = 60 * int64_t{kMixRate};
// How much of the end of the sound opening decodes to learn its length.
constexpr int64_t kTailSeconds = 3;

struct SwrContextDeleter {
  void operator()(SwrContext* p) const { swr_free(&p); }
};
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;

// The file opened with its stream information gathered; nullptr when either fails.
FormatContextPtr OpenFormat(const std::filesystem::path& path) {
  FormatContextPtr format = OpenMediaFile(path);
  if (!format || avformat_find_stream_info(format.get(), nullptr) < 0) return nullptr;
  return format;
}

// The video stream the movie decoder would show; -1 when there is none.
int PictureStreamIndex(AVFormatContext& format) {
  const int index = av_find_best_stream(&format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) return -1;
  if (format.streams[index]->disposition & AV_DISPOSITION_ATTACHED_PIC) return -1;
  return index;
}

CodecContextPtr OpenDecoder(const AVStream& stream, int threads) {
  const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
  if (decoder == nullptr) return nullptr;
  CodecContextPtr codec(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), stream.codecpar) < 0) return nullptr;
  codec->thread_count = threads;
  codec->pkt_timebase = stream.time_base;
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return nullptr;
  return codec;
}

// The time of the first frame the video decoder puts out, at kMixRate on the file's timeline,
// found as the movie decoder finds its frame 0 (best-effort time, 0 when it carries none).
// nullopt when no frame decodes.
std::optional<int64_t> FirstPictureTime(const std::filesystem::path& path) {
  FormatContextPtr format = OpenFormat(path);
  if (!format) return std::nullopt;
  const int index = PictureStreamIndex(*format);
  if (index < 0) return std::nullopt;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
  }
  const AVStream& stream = *format->streams[index];
  CodecContextPtr codec = OpenDecoder(stream, 1);
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  if (!codec || !packet || !frame) return std::nullopt;
  constexpr int kMaxPackets = 2000;
  bool draining = false;
  for (int packets = 0; packets < kMaxPackets;) {
    const int received = avcodec_receive_frame(codec.get(), frame.get());
    if (received == 0) {
      const int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE
                              ? frame->best_effort_timestamp
                              : 0;
      return av_rescale_q(pts, stream.time_base, kMixTimeBase);
    }
    if (received == AVERROR_INVALIDDATA) continue;
    if (received != AVERROR(EAGAIN) || draining) return std::nullopt;
    if (av_read_frame(format.get(), packet.get()) < 0) {
      draining = true;
      avcodec_send_packet(codec.get(), nullptr);
      continue;
    }
    if (packet->stream_index == index) {
      ++packets;
      avcodec_send_packet(codec.get(), packet.get());  // a bad packet is passed over
    }
    av_packet_unref(packet.get());
  }
  return std::nullopt;
}

// A sound source over one FFmpeg demuxer and decoder. Positions are samples at kMixRate from
// time 0; "raw" positions are the same on the file's own timeline (origin_ is time 0 there).
//
// The cache (SoundBlockCache) takes what the decoder puts out; a block is complete when full or
// when the sound ends inside it.
//
// Threads: every member below mutex_ is guarded by it; Read holds it for the whole read, so
// callers on different threads (playback, export) are served one at a time. path_, format_,
// origin_ and soundStart_ are set by Open before the source is shared and never change after.
class FfmpegSound final : public SoundSamples {
 public:
  ~FfmpegSound() override { av_channel_layout_uninit(&swrLayout_); }

  // Opens the file and decodes what opening needs (see OpenFfmpegSound); false with why set.
  bool Open(const std::filesystem::path& path, std::string& why);

  SoundFormat Format() const override { return format_; }
  bool Read(int64_t first, int64_t count, float* out) override;
  size_t CachedBytes() const;

 private:
  using Block = SoundBlockCache::Block;

  // Opens (again) the demuxer and the decoder at the start of the file; the resampler is made
  // for the first frame.
  bool OpenStreams(std::string& why);
  bool MakeResampler(const AVFrame& frame);
  // Decoding afresh from the start of the file; nothing before writeFrom is stored.
  bool RestartFromStart(int64_t writeFrom);
  // Positions the decoder so that decoding forward fills the block at blockStart from its
  // start: a seek a little before it, further back when the decoder lands too late, and from
  // the start of the file as the last resort.
  bool SeekToBlock(int64_t blockStart);
  // Receives the next decoded frame into frame_; false once the decoder is drained (ended_).
  bool DecodeFrame();
  // Decodes and places one frame; at the end drains the resampler and records decodedEnd_.
  // false once there is nothing more.
  bool Advance();
  void Place(const AVFrame& frame);
  void DrainResampler();
  void Store(int64_t at, const float* pairs, int64_t count) {
    cache_.Store(at, pairs, count, writeFrom_);
  }
  void StoreSilence(int64_t from, int64_t to) { cache_.StoreSilence(from, to, writeFrom_); }
  // The block at blockStart, complete; nullptr when it holds nothing but silence. *ok becomes
  // false when decoding failed for it.
  const Block* CompleteBlock(int64_t blockStart, bool* ok);
  bool IsComplete(int64_t blockStart, const Block& block) const;
  int64_t RawPosition(const AVFrame& frame) const;
  // The raw end of the sound from its last frames; kUnknown when they cannot be reached.
  int64_t ScanEnd();

  std::filesystem::path path_;
  SoundFormat format_;
  int64_t origin_ = 0;
  int64_t soundStart_ = 0;  // position of the first sample decoded from the start

  mutable std::mutex mutex_;
  FormatContextPtr demuxer_;
  CodecContextPtr codec_;
  PacketPtr packet_;
  FramePtr frame_;
  SwrContextPtr swr_;
  AVStream* stream_ = nullptr;  // owned by demuxer_
  int streamIndex_ = -1;
  AVChannelLayout swrLayout_{};  // the input the resampler was made for
  int swrRate_ = 0;
  int swrFormat_ = -1;
  std::vector<float> converted_;  // the resampler's output for one frame
  int64_t next_ = kUnknown;       // position of the next sample the resampler puts out
  int64_t writeFrom_ = 0;         // nothing before this position is stored
  bool fromStart_ = true;         // the decoder started at the start of the file
  bool draining_ = false;         // the demuxer ended and the decoder was told so
  bool ended_ = false;            // the decoder was drained
  bool failed_ = false;           // reading or decoding failed since the decoder was placed
  int64_t decodedEnd_ = kUnknown;  // where the sound ended when decoded to its end
  SoundBlockCache cache_;
};

bool FfmpegSound::OpenStreams(std::string& why) {
  demuxer_ = OpenFormat(path_);
  if (!demuxer_) {
    why = "the file cannot be read as a media file";
    return false;
  }
  if (IsStillImageFormat(*demuxer_->iformat)) {
    why = "the file is a still image";
    return false;
  }
  streamIndex_ = av_find_best_stream(demuxer_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (streamIndex_ < 0) {
    why = "the file holds no sound";
    return false;
  }
  for (unsigned i = 0; i < demuxer_->nb_streams; ++i) {
    if (static_cast<int>(i) != streamIndex_) demuxer_->streams[i]->discard = AVDISCARD_ALL;
  }
  stream_ = demuxer_->streams[streamIndex_];
  codec_ = OpenDecoder(*stream_, 1);
  if (!codec_) {
    why = std::string("there is no decoder for its sound (") +
          avcodec_get_name(stream_->codecpar->codec_id) + ")";
    return false;
  }
  packet_.reset(av_packet_alloc());
  frame_.reset(av_frame_alloc());
  if (!packet_ || !frame_) {
    why = "out of memory";
    return false;
  }
  swr_.reset();
  next_ = kUnknown;
  fromStart_ = true;
  draining_ = false;
  ended_ = false;
  failed_ = false;
  return true;
}

bool FfmpegSound::MakeResampler(const AVFrame& frame) {
  swr_.reset();
  AVChannelLayout in{};
  if (frame.ch_layout.order != AV_CHANNEL_ORDER_UNSPEC && frame.ch_layout.nb_channels > 0) {
    if (av_channel_layout_copy(&in, &frame.ch_layout) < 0) return false;
  } else {
    av_channel_layout_default(&in, std::max(frame.ch_layout.nb_channels, 1));
  }
  av_channel_layout_uninit(&swrLayout_);
  swrLayout_ = in;  // takes over what in holds
  swrRate_ = frame.sample_rate;
  swrFormat_ = frame.format;
  AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
  SwrContext* raw = nullptr;
  const int made = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_FLT, kMixRate, &swrLayout_,
                                       static_cast<AVSampleFormat>(frame.format),
                                       frame.sample_rate, 0, nullptr);
  SwrContextPtr swr(raw);
  if (made < 0 || !swr || swr_init(swr.get()) < 0) return false;
  swr_ = std::move(swr);
  return true;
}

int64_t FfmpegSound::RawPosition(const AVFrame& frame) const {
  // frame.pts carries the decoder's trimming of skipped samples; the best-effort time is the
  // fallback for containers that give decoding times only.
  const int64_t pts = frame.pts != AV_NOPTS_VALUE ? frame.pts : frame.best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) return kUnknown;
  return av_rescale_q(pts, stream_->time_base, kMixTimeBase);
}

bool FfmpegSound::DecodeFrame() {
  // Bounds a decoder that keeps refusing what it is given without consuming anything.
  constexpr int kMaxErrorsInARow = 1000;
  for (int errors = 0; !ended_;) {
    const int received = avcodec_receive_frame(codec_.get(), frame_.get());
    if (received == 0) return true;
    if (received == AVERROR(EAGAIN) && !draining_) {
      const int read = av_read_frame(demuxer_.get(), packet_.get());
      if (read < 0) {
        if (read != AVERROR_EOF) failed_ = true;
        draining_ = true;
        avcodec_send_packet(codec_.get(), nullptr);
        continue;
      }
      if (packet_->stream_index == streamIndex_) {
        const int sent = avcodec_send_packet(codec_.get(), packet_.get());
        // A packet the decoder rejects is passed over; the sound goes on with the next one.
        if (sent < 0 && sent != AVERROR(EAGAIN) && ++errors > kMaxErrorsInARow) failed_ = true;
      }
      av_packet_unref(packet_.get());
      if (!failed_) continue;
    } else if (received == AVERROR_INVALIDDATA && ++errors <= kMaxErrorsInARow) {
      continue;
    } else if (received != AVERROR_EOF) {
      failed_ = true;
    }
    ended_ = true;
  }
  return false;
}

bool FfmpegSound::Advance() {
  if (DecodeFrame()) {
    Place(*frame_);
    av_frame_unref(frame_.get());
    return true;
  }
  DrainResampler();
  if (!failed_ && next_ != kUnknown) decodedEnd_ = next_;
  return false;
}

void FfmpegSound::Place(const AVFrame& frame) {
  if (frame.nb_samples <= 0 || frame.sample_rate <= 0) return;
  int64_t at = RawPosition(frame);
  if (at != kUnknown) at -= origin_;
  if (next_ == kUnknown) {
    if (at == kUnknown && !fromStart_) {
      failed_ = true;  // a frame after a seek that cannot be placed
      return;
    }
    next_ = at != kUnknown ? at : 0;
    // The sound starts after time 0 (or after the block asked for): silence from the start of
    // its first block. Whole blocks before it are known silent (soundStart_) and not stored.
    if (fromStart_) {
      StoreSilence(std::max({writeFrom_, int64_t{0}, next_ / kSoundBlockSamples * kSoundBlockSamples}),
                   next_);
    }
  } else if (at != kUnknown) {
    const int64_t expected = next_ + (swr_ ? swr_get_delay(swr_.get(), kMixRate) : 0);
    const int64_t jump = at - expected;
    if ((jump > kResyncSamples || jump < -kResyncSamples) && jump < kMaxJumpSamples &&
        jump > -kMaxJumpSamples) {
      DrainResampler();
      StoreSilence(next_, at);
      next_ = at;
    }
  }
  const bool sameInput = swr_ && frame.sample_rate == swrRate_ && frame.format == swrFormat_ &&
                         frame.ch_layout.nb_channels == swrLayout_.nb_channels;
  if (!sameInput) {
    DrainResampler();
    if (!MakeResampler(frame)) {
      failed_ = true;
      return;
    }
  }
  const int capacity = swr_get_out_samples(swr_.get(), frame.nb_samples);
  if (capacity <= 0) return;
  converted_.resize(static_cast<size_t>(capacity) * kMixChannels);
  uint8_t* out = reinterpret_cast<uint8_t*>(converted_.data());
  const int made = swr_convert(swr_.get(), &out, capacity,
                               const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples);
  if (made < 0) {
    failed_ = true;
    return;
  }
  Store(next_, converted_.data(), made);
  next_ += made;
}

void FfmpegSound::DrainResampler() {
  if (!swr_) return;
  const int capacity = swr_get_out_samples(swr_.get(), 0);
  if (capacity > 0 && next_ != kUnknown) {
    converted_.resize(static_cast<size_t>(capacity) * kMixChannels);
    uint8_t* out = reinterpret_cast<uint8_t*>(converted_.data());
    const int made = swr_convert(swr_.get(), &out, capacity, nullptr, 0);
    if (made > 0) {
      Store(next_, converted_.data(), made);
      next_ += made;
    }
  }
  swr_.reset();
}

bool FfmpegSound::RestartFromStart(int64_t writeFrom) {
  std::string why;
  if (!OpenStreams(why)) {
    failed_ = true;
    ended_ = true;
    return false;
  }
  writeFrom_ = writeFrom;
  return true;
}

bool FfmpegSound::SeekToBlock(int64_t blockStart) {
  int64_t margin = kSeekMarginSamples;
  for (int tries = 0; tries < kSeekTries; ++tries, margin *= 4) {
    const int64_t target = blockStart - margin;
    if (target <= 0) break;
    const int64_t ts = av_rescale_q(target + origin_, kMixTimeBase, stream_->time_base);
    if (av_seek_frame(demuxer_.get(), streamIndex_, ts, AVSEEK_FLAG_BACKWARD) < 0) break;
    avcodec_flush_buffers(codec_.get());
    swr_.reset();
    next_ = kUnknown;
    writeFrom_ = blockStart;
    fromStart_ = false;
    draining_ = false;
    ended_ = false;
    failed_ = false;
    while (next_ == kUnknown && !ended_ && !failed_) Advance();
    if (next_ != kUnknown && next_ <= blockStart && !failed_) return true;
  }
  return RestartFromStart(blockStart);
}

bool FfmpegSound::IsComplete(int64_t blockStart, const Block& block) const {
  const int64_t end = blockStart + block.filled;
  return block.filled == kSoundBlockSamples || end >= format_.lengthSamples ||
         (decodedEnd_ != kUnknown && end >= decodedEnd_);
}

const FfmpegSound::Block* FfmpegSound::CompleteBlock(int64_t blockStart, bool* ok) {
  if (decodedEnd_ != kUnknown && blockStart >= decodedEnd_) return nullptr;
  if (blockStart + kSoundBlockSamples <= soundStart_) return nullptr;
  Block* block = cache_.Find(blockStart);
  if (block != nullptr && IsComplete(blockStart, *block)) return block;
  const bool reachable =
      next_ != kUnknown && !ended_ &&
      (block != nullptr ? next_ == blockStart + block->filled
                        : next_ <= blockStart && blockStart - next_ <= kForwardSamples &&
                              writeFrom_ <= blockStart);
  if (!reachable) {
    cache_.Erase(blockStart);
    if (!SeekToBlock(blockStart)) {
      *ok = false;
      return nullptr;
    }
  }
  for (;;) {
    block = cache_.Find(blockStart);
    if (block != nullptr && IsComplete(blockStart, *block)) break;
    if (!Advance()) break;
  }
  if (failed_) *ok = false;
  return block;
}

bool FfmpegSound::Read(int64_t first, int64_t count, float* out) {
  if (count <= 0) return true;
  std::fill(out, out + count * kMixChannels, 0.0f);
  std::lock_guard lock(mutex_);
  const int64_t from = std::max<int64_t>(first, 0);
  const int64_t to = std::min(first + count, format_.lengthSamples);
  bool ok = true;
  for (int64_t start = from / kSoundBlockSamples * kSoundBlockSamples; start < to;
       start += kSoundBlockSamples) {
    const Block* block = CompleteBlock(start, &ok);
    if (block == nullptr) continue;
    const int64_t a = std::max(from, start);
    const int64_t b = std::min({to, start + kSoundBlockSamples, start + block->filled});
    if (a >= b) continue;
    std::copy(block->samples.begin() + (a - start) * kMixChannels,
              block->samples.begin() + (b - start) * kMixChannels,
              out + (a - first) * kMixChannels);
  }
  return ok;
}

size_t FfmpegSound::CachedBytes() const {
  std::lock_guard lock(mutex_);
  return cache_.Bytes();
}

int64_t FfmpegSound::ScanEnd() {
  int64_t end = AV_NOPTS_VALUE;  // in the stream's time base
  const int64_t start = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
  if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) {
    end = start + stream_->duration;
  } else if (demuxer_->duration != AV_NOPTS_VALUE && demuxer_->duration > 0) {
    end = start + av_rescale_q(demuxer_->duration, AV_TIME_BASE_Q, stream_->time_base);
  }
  if (end == AV_NOPTS_VALUE) return kUnknown;
  const int64_t target = end - av_rescale_q(kTailSeconds, {1, 1}, stream_->time_base);
  if (target > start &&
      av_seek_frame(demuxer_.get(), streamIndex_, target, AVSEEK_FLAG_BACKWARD) < 0) {
    return kUnknown;
  }
  if (target > start) avcodec_flush_buffers(codec_.get());
  // Each frame's end from its own time and length; frames without a time follow on.
  int64_t last = kUnknown;
  draining_ = false;
  ended_ = false;
  while (DecodeFrame()) {
    const int64_t at = RawPosition(*frame_);
    const int64_t length =
        av_rescale_q(frame_->nb_samples, {1, std::max(frame_->sample_rate, 1)}, kMixTimeBase);
    if (at != kUnknown) {
      last = std::max(last, at + length);
    } else if (last != kUnknown) {
      last += length;
    }
    av_frame_unref(frame_.get());
  }
  return failed_ ? kUnknown : last;
}

bool FfmpegSound::Open(const std::filesystem::path& path, std::string& why) {
  std::lock_guard lock(mutex_);
  path_ = path;
  if (!OpenStreams(why)) return false;
  format_.sourceRate = codec_->sample_rate;
  format_.sourceChannels = codec_->ch_layout.nb_channels;

  // Time 0: the first picture, or else the first sample the decoder puts out.
  if (!DecodeFrame()) {
    why = "no part of its sound can be decoded";
    return false;
  }
  const int64_t firstSound = RawPosition(*frame_);
  av_frame_unref(frame_.get());
  std::optional<int64_t> picture;
  if (PictureStreamIndex(*demuxer_) >= 0) picture = FirstPictureTime(path_);
  origin_ = picture ? *picture : firstSound != kUnknown ? firstSound : 0;
  soundStart_ = firstSound != kUnknown ? firstSound - origin_ : 0;

  // The length: from the last frames, or by decoding all of it when they cannot be reached.
  int64_t end = ScanEnd();
  if (end != kUnknown) {
    end -= origin_;
  } else {
    if (!RestartFromStart(INT64_MAX)) {
      why = "the file cannot be read as a media file";
      return false;
    }
    while (Advance()) {
    }
    end = next_ != kUnknown ? next_ : 0;
  }
  format_.lengthSamples = std::max<int64_t>(end, 0);
  if (!RestartFromStart(0)) {
    why = "the file cannot be read as a media file";
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<SoundSamples> OpenFfmpegSound(const std::filesystem::path& path,
                                              std::string* why) {
  auto sound = std::make_unique<FfmpegSound>();
  std::string reason;
  if (!sound->Open(path, reason)) {
    if (why != nullptr) *why = reason;
    return nullptr;
  }
  return sound;
}

MediaStreams ProbeMediaStreams(const std::filesystem::path& path) {
  MediaStreams streams;
  FormatContextPtr format = OpenFormat(path);
  if (!format) return streams;
  streams.readable = true;
  streams.stillImage = IsStillImageFormat(*format->iformat);
  streams.picture = PictureStreamIndex(*format) >= 0;
  streams.sound = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
  return streams;
}

size_t CachedSoundBytes(const SoundSamples& sound) {
  const auto* ffmpeg = dynamic_cast<const FfmpegSound*>(&sound);
  return ffmpeg != nullptr ? ffmpeg->CachedBytes() : 0;
}

}  // namespace tavrona
