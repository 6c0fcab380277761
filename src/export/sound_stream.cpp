#include "export/sound_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/sound_samples.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/samplefmt.h>
}

namespace tavrona {
namespace {

// How one sound codec is coded. Offered: the containers whose users may choose it (the first
// codec listed for a container is its default). Carries: the containers where it is the parts'
// lossless carrier.
struct SoundRecipe {
  const char* name;
  const char* encoder;
  const char* title;
  CompressorNote note;
  std::vector<OutputContainer> offered;
  std::vector<OutputContainer> carries;
  int64_t bitRate;  // for lossy codecs
};

const std::vector<SoundRecipe>& Recipes() {
  using C = OutputContainer;
  static const std::vector<SoundRecipe> recipes = {
      {"pcm",
       "pcm_s16le",
       "PCM 16 bit",
       CompressorNote::Uncompressed,
       {C::Avi, C::Mov},
       {C::Mov},
       0},
      {"flac", "flac", "FLAC", CompressorNote::Lossless, {C::Mkv}, {C::Mkv}, 0},
      {"aac", "aac", "AAC", CompressorNote::None, {C::Mp4, C::Mkv, C::Mov}, {}, 192000},
      // Not offered: FLAC in MP4 is still experimental in libavformat, so MP4 parts carry ALAC.
      {"alac", "alac", "ALAC", CompressorNote::Lossless, {}, {C::Mp4}, 0},
  };
  return recipes;
}

const SoundRecipe* FindSoundRecipe(std::string_view name) {
  for (const SoundRecipe& r : Recipes()) {
    if (name == r.name) return &r;
  }
  return nullptr;
}

bool Lists(const std::vector<OutputContainer>& list, OutputContainer c) {
  return std::find(list.begin(), list.end(), c) != list.end();
}

// The recipe's encoder when this libavcodec has it and the container's muxer takes it.
const AVCodec* SoundEncoderFor(const SoundRecipe& r, OutputContainer container) {
  const AVCodec* codec = avcodec_find_encoder_by_name(r.encoder);
  if (codec == nullptr) return nullptr;
  const AVOutputFormat* muxer = av_guess_format(ContainerMuxer(container), nullptr, nullptr);
  if (muxer == nullptr || avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL) != 1) {
    return nullptr;
  }
  return codec;
}

std::string AvText(int averror) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(averror, text, sizeof text);
  return text;
}

bool Failed(std::string* why, const std::string& what) {
  if (why != nullptr) *why = what;
  return false;
}

// The encoder's sample format: the first it takes of those the conversion below writes.
AVSampleFormat ChooseSampleFormat(const AVCodec& codec) {
  static constexpr AVSampleFormat kWritable[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P,
                                                 AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT};
  if (codec.sample_fmts == nullptr) return AV_SAMPLE_FMT_NONE;
  for (const AVSampleFormat* f = codec.sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (std::find(std::begin(kWritable), std::end(kWritable), *f) != std::end(kWritable)) return *f;
  }
  return AV_SAMPLE_FMT_NONE;
}

// A sample as 16 bits hold it, in float: what a lossy encoder is given.
float Rounded(float x) {
  return static_cast<float>(SoundSampleToS16(x)) / 32768.0f;
}

// Fills the frame's first `pairs` samples from interleaved stereo float.
void FillFrame(AVFrame& f, const float* in, int pairs) {
  switch (static_cast<AVSampleFormat>(f.format)) {
    case AV_SAMPLE_FMT_S16: {
      auto* out = reinterpret_cast<int16_t*>(f.data[0]);
      for (int i = 0; i < pairs * kMixChannels; ++i) out[i] = SoundSampleToS16(in[i]);
      break;
    }
    case AV_SAMPLE_FMT_S16P:
      for (int ch = 0; ch < kMixChannels; ++ch) {
        auto* out = reinterpret_cast<int16_t*>(f.extended_data[ch]);
        for (int i = 0; i < pairs; ++i) out[i] = SoundSampleToS16(in[i * kMixChannels + ch]);
      }
      break;
    case AV_SAMPLE_FMT_FLTP:
      for (int ch = 0; ch < kMixChannels; ++ch) {
        auto* out = reinterpret_cast<float*>(f.extended_data[ch]);
        for (int i = 0; i < pairs; ++i) out[i] = Rounded(in[i * kMixChannels + ch]);
      }
      break;
    case AV_SAMPLE_FMT_FLT: {
      auto* out = reinterpret_cast<float*>(f.data[0]);
      for (int i = 0; i < pairs * kMixChannels; ++i) out[i] = Rounded(in[i]);
      break;
    }
    default:
      break;
  }
}

}  // namespace

std::vector<SoundCodec> ListSoundCodecs(OutputContainer container) {
  std::vector<SoundCodec> list;
  for (const SoundRecipe& r : Recipes()) {
    if (Lists(r.offered, container) && SoundEncoderFor(r, container) != nullptr) {
      list.push_back(SoundCodec{r.name, r.title, r.note});
    }
  }
  return list;
}

bool SoundCodecLossless(std::string_view name) {
  const SoundRecipe* r = FindSoundRecipe(name);
  return r != nullptr && r->note != CompressorNote::None;
}

std::string PartSoundCodec(std::string_view finalCodec, OutputContainer container) {
  const SoundRecipe* r = FindSoundRecipe(finalCodec);
  if (r == nullptr) return {};
  if (r->note != CompressorNote::None) return r->name;
  for (const SoundRecipe& carrier : Recipes()) {
    if (Lists(carrier.carries, container) && SoundEncoderFor(carrier, container) != nullptr) {
      return carrier.name;
    }
  }
  return {};
}

bool SoundCodecWritable(std::string_view name, OutputContainer container) {
  const SoundRecipe* r = FindSoundRecipe(name);
  return r != nullptr && (Lists(r->offered, container) || Lists(r->carries, container)) &&
         SoundEncoderFor(*r, container) != nullptr;
}

int16_t SoundSampleToS16(float x) {
  // NaN counts as silence; nearbyint rounds half to even in the default rounding mode.
  if (!(x == x)) return 0;
  const float scaled = std::nearbyint(x * 32768.0f);
  return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

bool SoundStream::Open(AVFormatContext& output, OutputContainer container, std::string_view codec,
                       std::string* why) {
  const SoundRecipe* recipe = FindSoundRecipe(codec);
  if (recipe == nullptr) return Failed(why, "no sound codec " + std::string(codec));
  const AVCodec* encoder = SoundEncoderFor(*recipe, container);
  if (encoder == nullptr || !SoundCodecWritable(codec, container)) {
    return Failed(why, std::string(ContainerName(container)) + " cannot hold " + recipe->name +
                           " sound here");
  }
  encoder_.reset(avcodec_alloc_context3(encoder));
  if (!encoder_) return Failed(why, "out of memory");
  AVCodecContext& c = *encoder_;
  c.sample_rate = kMixRate;
  av_channel_layout_default(&c.ch_layout, kMixChannels);
  c.sample_fmt = ChooseSampleFormat(*encoder);
  if (c.sample_fmt == AV_SAMPLE_FMT_NONE) return Failed(why, "no sample format for the encoder");
  c.time_base = AVRational{1, kMixRate};
  c.bit_rate = recipe->bitRate;
  // One thread: the sound is small beside the pictures, and the bytes must not depend on cores.
  c.thread_count = 1;
  if ((output.oformat->flags & AVFMT_GLOBALHEADER) != 0) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (const int result = avcodec_open2(&c, encoder, nullptr); result < 0) {
    return Failed(why, "the sound encoder cannot be started: " + AvText(result));
  }
  frameSize_ = (encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0 ? 0 : c.frame_size;

  stream_ = avformat_new_stream(&output, nullptr);
  if (stream_ == nullptr) return Failed(why, "out of memory");
  if (avcodec_parameters_from_context(stream_->codecpar, &c) < 0) {
    return Failed(why, "out of memory");
  }
  stream_->time_base = c.time_base;
  if (container == OutputContainer::Mkv) output.avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;

  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!frame_ || !packet_) return Failed(why, "out of memory");
  return true;
}

int64_t SoundStream::LagSamples() const {
  return encoder_ ? int64_t{frameSize_} + encoder_->initial_padding : 0;
}

bool SoundStream::Write(const float* interleaved, int64_t pairs, const SoundPacketSink& sink,
                        std::string* why) {
  if (!encoder_ || finished_) return Failed(why, "no sound stream open");
  if (pairs <= 0) return true;
  pairsTaken_ += pairs;
  if (frameSize_ == 0) {
    // Any number of samples a frame: the pairs given, in pieces the frame's count can hold.
    constexpr int64_t kMostPairs = 1 << 20;
    for (int64_t at = 0; at < pairs; at += kMostPairs) {
      const int n = static_cast<int>(std::min(kMostPairs, pairs - at));
      if (!SendFrame(interleaved + at * kMixChannels, n, sink, why)) return false;
    }
    return true;
  }
  held_.insert(held_.end(), interleaved, interleaved + pairs * kMixChannels);
  const size_t frameFloats = static_cast<size_t>(frameSize_) * kMixChannels;
  size_t used = 0;
  bool ok = true;
  while (ok && held_.size() - used >= frameFloats) {
    ok = SendFrame(held_.data() + used, frameSize_, sink, why);
    used += frameFloats;
  }
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(used));
  return ok;
}

bool SoundStream::Finish(const SoundPacketSink& sink, std::string* why) {
  if (!encoder_ || finished_) return true;
  finished_ = true;
  if (!held_.empty()) {
    // Shorter than a frame: the encoder takes it as the last (padding it where it must).
    if (!SendFrame(held_.data(), static_cast<int>(held_.size() / kMixChannels), sink, why)) {
      return false;
    }
    held_.clear();
  }
  if (const int result = avcodec_send_frame(encoder_.get(), nullptr); result < 0) {
    return Failed(why, "the sound encoder failed: " + AvText(result));
  }
  return Drain(sink, why);
}

bool SoundStream::SendFrame(const float* interleaved, int pairs, const SoundPacketSink& sink,
                            std::string* why) {
  AVFrame& f = *frame_;
  av_frame_unref(&f);
  f.format = encoder_->sample_fmt;
  f.nb_samples = pairs;
  f.sample_rate = kMixRate;
  if (av_channel_layout_copy(&f.ch_layout, &encoder_->ch_layout) < 0 ||
      av_frame_get_buffer(&f, 0) < 0) {
    return Failed(why, "out of memory");
  }
  FillFrame(f, interleaved, pairs);
  f.pts = pairsSent_;
  pairsSent_ += pairs;
  if (const int result = avcodec_send_frame(encoder_.get(), &f); result < 0) {
    return Failed(why, "the sound encoder failed: " + AvText(result));
  }
  return Drain(sink, why);
}

bool SoundStream::Drain(const SoundPacketSink& sink, std::string* why) {
  for (;;) {
    const int result = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return Failed(why, "the sound encoder failed: " + AvText(result));
    AVPacket& p = *packet_;
    p.stream_index = stream_->index;
    av_packet_rescale_ts(&p, encoder_->time_base, stream_->time_base);
    const bool written = sink(p);
    av_packet_unref(&p);
    if (!written) return Failed(why, "the sound cannot be written");
  }
}

bool AppendDecodedSound(const AVFrame& frame, std::vector<float>& out) {
  const int channels = frame.ch_layout.nb_channels;
  if (channels < 1 || channels > 2 || frame.nb_samples < 0) return false;
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  const AVSampleFormat packed = av_get_packed_sample_fmt(format);
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(frame.nb_samples) * kMixChannels);
  float* o = out.data() + start;
  for (int i = 0; i < frame.nb_samples; ++i) {
    for (int ch = 0; ch < kMixChannels; ++ch) {
      const int from = std::min(ch, channels - 1);
      const int plane = planar ? from : 0;
      const size_t index = planar ? static_cast<size_t>(i)
                                  : static_cast<size_t>(i) * channels + static_cast<size_t>(from);
      const uint8_t* data = frame.extended_data[plane];
      float v = 0;
      switch (packed) {
        case AV_SAMPLE_FMT_S16:
          v = reinterpret_cast<const int16_t*>(data)[index] / 32768.0f;
          break;
        case AV_SAMPLE_FMT_S32:
          v = static_cast<float>(reinterpret_cast<const int32_t*>(data)[index] / 2147483648.0);
          break;
        case AV_SAMPLE_FMT_FLT:
          v = reinterpret_cast<const float*>(data)[index];
          break;
        default:
          out.resize(start);
          return false;
      }
      o[static_cast<size_t>(i) * kMixChannels + static_cast<size_t>(ch)] = v;
    }
  }
  return true;
}

}  // namespace tavrona
