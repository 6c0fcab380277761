#include "export/export_part.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "export/avi_header.h"
#include "export/avi_writer.h"
#include "export/output_file.h"
#include "export/sound_stream.h"
#include "model/sound_samples.h"
#include "model/text_encoding.h"
#include "sources/ffmpeg_util.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/rational.h>
}

namespace tavrona {
namespace {

constexpr std::string_view kPartPrefix = "tavrona part frames=";
constexpr std::string_view kDigestKey = " digest=";
constexpr std::string_view kSoundKey = " sound=";
constexpr std::string_view kSamplesKey = " samples=";

std::string AvText(int averror) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(averror, text, sizeof text);
  return text;
}

bool ReadNumber(std::string_view& text, uint32_t& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  if (ec != std::errc() || end == text.data()) return false;
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  return true;
}

bool Expect(std::string_view& text, std::string_view what) {
  if (text.substr(0, what.size()) != what) return false;
  text.remove_prefix(what.size());
  return true;
}

bool ReadNumber64(std::string_view& text, int64_t& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  if (ec != std::errc() || end == text.data() || out < 0) return false;
  text.remove_prefix(static_cast<size_t>(end - text.data()));
  return true;
}

// An opened part: the demuxer, its video stream and its sound stream (null when it has none).
struct OpenedPart {
  FormatContextPtr context;
  AVStream* video = nullptr;
  AVStream* audio = nullptr;
};

bool OpenPart(const std::string& path, OpenedPart& part, std::string* why) {
  // What is wrong with a part reaches the caller as a result; the demuxer's own complaints
  // ("Packet corrupt" of a part cut short) would only clutter the terminal.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  AVFormatContext* context = nullptr;
  const std::string url = "file:" + path;
  if (const int result = avformat_open_input(&context, url.c_str(), nullptr, nullptr); result < 0) {
    *why = path + ": " + AvText(result);
    return false;
  }
  part.context.reset(context);
  // The stream as the file's headers describe it, and nothing guessed from its packets: the
  // joined file's headers are made from it.
  const int index = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) {
    *why = path + ": holds no video stream";
    return false;
  }
  part.video = context->streams[index];
  const int audio = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  part.audio = audio >= 0 ? context->streams[audio] : nullptr;
  return true;
}

// The bytes a packet of full frames holds; 0 when the stream does not say (then any size goes).
int64_t FullFrameBytes(const AVCodecParameters& p) {
  if (p.codec_id != AV_CODEC_ID_RAWVIDEO || p.width <= 0 || p.height <= 0) return 0;
  if (p.format != AV_PIX_FMT_NONE) {
    const int bytes =
        av_image_get_buffer_size(static_cast<AVPixelFormat>(p.format), p.width, p.height, 1);
    if (bytes > 0) return bytes;
  }
  if (p.bits_per_coded_sample <= 0) return 0;
  return int64_t{p.width} * p.height * p.bits_per_coded_sample / 8;
}

// Whether a packet read, or indexed, at `pos` with `size` bytes of data lies whole in a file of
// fileSize bytes. AVI places a packet at its chunk's 8-byte header; the others at its data.
// An unknown position (a demuxer that does not say) passes.
bool InsideFile(int64_t pos, int64_t size, int64_t header, int64_t fileSize) {
  return pos < 0 || fileSize < 0 || pos + header + size <= fileSize;
}

// One frame's duration at rate / scale frames per second, reduced to fit.
AVRational FrameTime(uint32_t rate, uint32_t scale) {
  AVRational t{1, 1};
  av_reduce(&t.num, &t.den, std::max<uint32_t>(scale, 1), std::max<uint32_t>(rate, 1), INT_MAX);
  return t;
}

// Frames the part really holds: packets of its video stream whose data lies whole inside the
// file. The headers' count alone is no proof: a file cut short keeps its headers.
//
// Where the container's index lists exactly the frames the headers count (AVI with its index,
// MP4, MOV) and every entry lies inside the file, the index answers without reading a frame.
// Otherwise (AVI cut short loses its index with its tail; Matroska indexes only some frames)
// the packets are read in order: one cut short by the end of the file comes back smaller than
// its chunk or flagged corrupt, or, for full frames, smaller than a frame, and ends the count
// with everything after it. Reading them also measures the part's decoding lead (PartInfo),
// frames being frameTime long.
struct FrameCount {
  uint32_t frames = 0;
  std::optional<int64_t> decodingLead;
};
FrameCount CountFrames(OpenedPart& part, const std::string& container, AVRational frameTime) {
  AVStream* video = part.video;
  const int64_t fileSize = avio_size(part.context->pb);
  const int64_t header = container == "avi" ? 8 : 0;
  const int64_t frameBytes = FullFrameBytes(*video->codecpar);

  const int indexed = avformat_index_get_entries_count(video);
  if (video->nb_frames > 0 && indexed == video->nb_frames && fileSize > 0) {
    bool inside = true;
    for (int i = 0; i < indexed && inside; ++i) {
      const AVIndexEntry* entry = avformat_index_get_entry(video, i);
      inside = entry != nullptr && entry->size > 0 &&
               (frameBytes == 0 || entry->size == frameBytes) &&
               InsideFile(entry->pos, entry->size, header, fileSize);
    }
    if (inside) return {static_cast<uint32_t>(indexed), std::nullopt};
  }

  PacketPtr packet(av_packet_alloc());
  if (!packet) return {};
  FrameCount count;
  int64_t lead = 0;
  bool timed = true;
  while (av_read_frame(part.context.get(), packet.get()) >= 0) {
    if (packet->stream_index == video->index) {
      const bool whole = (packet->flags & AV_PKT_FLAG_CORRUPT) == 0 && packet->size > 0 &&
                         (frameBytes == 0 || packet->size == frameBytes) &&
                         InsideFile(packet->pos, packet->size, header, fileSize);
      if (!whole) break;
      if (packet->pts == AV_NOPTS_VALUE) {
        timed = false;
      } else {
        const int64_t shown = av_rescale_q(packet->pts, video->time_base, frameTime);
        lead = std::max(lead, int64_t{count.frames} - shown);
      }
      ++count.frames;
    }
    av_packet_unref(packet.get());
  }
  av_packet_unref(packet.get());
  if (timed) count.decodingLead = lead;
  return count;
}

// How far a part's sound reaches, in samples at 48 kHz: the end of its last whole packet, the
// packets read in order up to the first one the end of the file cut (as CountFrames reads the
// pictures, whose packets are skipped here unread). -1 when it has no sound stream. A part whose
// last sound packets came after its last picture and were cut off holds every frame but not
// all of its sound.
int64_t SoundReach(const std::string& path, const std::string& container) {
  OpenedPart part;
  std::string why;
  if (!OpenPart(path, part, &why) || part.audio == nullptr) return -1;
  AVFormatContext& context = *part.context;
  for (unsigned i = 0; i < context.nb_streams; ++i) {
    if (context.streams[i] != part.audio) context.streams[i]->discard = AVDISCARD_ALL;
  }
  const int64_t fileSize = avio_size(context.pb);
  const int64_t header = container == "avi" ? 8 : 0;
  const AVRational timeBase = part.audio->time_base;
  PacketPtr packet(av_packet_alloc());
  if (!packet) return -1;
  int64_t reach = 0;  // in the stream's time base
  int64_t summed = 0;
  while (av_read_frame(&context, packet.get()) >= 0) {
    if (packet->stream_index == part.audio->index) {
      const bool whole = (packet->flags & AV_PKT_FLAG_CORRUPT) == 0 && packet->size > 0 &&
                         InsideFile(packet->pos, packet->size, header, fileSize);
      if (!whole) break;
      summed += packet->duration;
      const int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts : summed - packet->duration;
      reach = std::max(reach, start + packet->duration);
    }
    av_packet_unref(packet.get());
  }
  av_packet_unref(packet.get());
  return av_rescale_q(reach, timeBase, AVRational{1, kMixRate});
}

// A container's times may round a part's sound end down by a tick (Matroska: a millisecond).
constexpr int64_t kSoundReachSlack = 48;

bool SoundWhole(const PartInfo& part) {
  return part.sound.codec.empty() || part.soundReach + kSoundReachSlack >= part.sound.samples;
}

std::string ContainerOfFile(const std::string& path) {
  return ContainerName(ContainerForPath(FromUtf8(path)));
}

std::string RangeText(uint32_t first, uint32_t last) {
  return std::to_string(first) + "-" + std::to_string(last);
}

std::string SizeText(uint32_t width, uint32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

std::string RateText(uint32_t rate, uint32_t scale) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", double(rate) / double(std::max(scale, 1u)));
  return text;
}

bool IsDigest(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// What the part after `before` must be in a join led by `head` (the head itself: before null).
PartRequirement JoinRequirement(const PartInfo& head, const PartInfo* before) {
  PartRequirement r;
  r.first = before != nullptr ? before->last + 1 : head.first;
  r.projectLength = head.projectLength;
  r.width = head.width;
  r.height = head.height;
  r.rate = head.rate;
  r.scale = head.scale;
  r.codec = head.codec;
  r.container = head.container;
  r.digest = head.digest;
  r.sound = head.sound.codec;
  return r;
}

}  // namespace

std::string PartComment(ExportRange range, uint32_t projectLength, std::string_view digest,
                        const PartSound& sound) {
  std::string comment = std::string(kPartPrefix) + std::to_string(range.first) + "-" +
                        std::to_string(range.last) + " length=" + std::to_string(projectLength);
  if (!digest.empty()) comment += std::string(kDigestKey) + std::string(digest);
  if (!sound.codec.empty()) {
    comment += std::string(kSoundKey) + sound.codec + std::string(kSamplesKey) +
               std::to_string(sound.samples);
  }
  return comment;
}

std::optional<PartMark> ParsePartComment(std::string_view text) {
  PartMark mark;
  if (!Expect(text, kPartPrefix) || !ReadNumber(text, mark.range.first) || !Expect(text, "-") ||
      !ReadNumber(text, mark.range.last) || !Expect(text, " length=") ||
      !ReadNumber(text, mark.projectLength)) {
    return std::nullopt;
  }
  if (Expect(text, kDigestKey)) {
    if (text.size() < 64 || !IsDigest(text.substr(0, 64))) return std::nullopt;
    mark.digest = text.substr(0, 64);
    text.remove_prefix(64);
  }
  if (Expect(text, kSoundKey)) {
    const size_t end = text.find(' ');
    if (end == 0 || end == std::string_view::npos) return std::nullopt;
    mark.sound.codec = text.substr(0, end);
    text.remove_prefix(end);
    if (!Expect(text, kSamplesKey) || !ReadNumber64(text, mark.sound.samples)) return std::nullopt;
  }
  if (!text.empty()) return std::nullopt;
  if (mark.range.first > mark.range.last || mark.range.last >= mark.projectLength) {
    return std::nullopt;
  }
  return mark;
}

std::optional<PartInfo> ReadPartInfo(const std::string& path, std::string* why) {
  std::string ignored;
  if (why == nullptr) why = &ignored;
  OpenedPart part;
  if (!OpenPart(path, part, why)) return std::nullopt;
  const AVDictionaryEntry* comment = av_dict_get(part.context->metadata, "comment", nullptr, 0);
  const auto mark = comment != nullptr ? ParsePartComment(comment->value) : std::nullopt;
  if (!mark) {
    *why = path + ": not a part of an export (no frame range recorded)";
    return std::nullopt;
  }
  PartInfo info;
  info.first = mark->range.first;
  info.last = mark->range.last;
  info.projectLength = mark->projectLength;
  info.digest = mark->digest;
  info.sound = mark->sound;
  const AVCodecParameters& p = *part.video->codecpar;
  info.width = static_cast<uint32_t>(std::max(p.width, 0));
  info.height = static_cast<uint32_t>(std::max(p.height, 0));
  const AVRational rate = part.video->avg_frame_rate.num > 0 ? part.video->avg_frame_rate
                                                             : av_inv_q(part.video->time_base);
  info.rate = static_cast<uint32_t>(std::max(rate.num, 0));
  info.scale = static_cast<uint32_t>(std::max(rate.den, 1));
  info.codec = avcodec_get_name(p.codec_id);
  info.container = ContainerOfFile(path);
  // AVI's own pair, as the export wrote it; the demuxer gives it reduced.
  if (info.container == ContainerName(OutputContainer::Avi)) {
    if (const auto stored = ReadAviFrameRate(path); stored && stored->rate != 0) {
      info.rate = stored->rate;
      info.scale = std::max<uint32_t>(stored->scale, 1);
    }
  }
  const FrameCount count = CountFrames(part, info.container, FrameTime(info.rate, info.scale));
  info.framesPresent = count.frames;
  info.decodingLead = count.decodingLead;
  if (!info.sound.codec.empty()) info.soundReach = SoundReach(path, info.container);
  return info;
}

PartCheck CheckPart(const PartInfo& p, const PartRequirement& r) {
  if (p.first != r.first || (r.last && p.last != *r.last)) {
    std::string detail;
    if (r.last) {
      detail =
          "holds frames " + RangeText(p.first, p.last) + ", planned " + RangeText(r.first, *r.last);
    } else if (p.first < r.first) {
      detail = "frames " + RangeText(p.first, p.last) + " overlap the frames before, up to " +
               std::to_string(r.first - 1);
    } else {
      detail = "frames " + RangeText(p.first, p.last) + " do not follow on: frames " +
               RangeText(r.first, p.first - 1) + " are missing";
    }
    return {PartFault::Range, detail};
  }
  if (p.projectLength != r.projectLength) {
    return {PartFault::Project, "part of another project, of " + std::to_string(p.projectLength) +
                                    " frames, not " + std::to_string(r.projectLength)};
  }
  if (p.digest != r.digest) {
    return {PartFault::Version, p.digest.empty()
                                    ? "made from a version of the project it does not record"
                                    : "made from another version of the project"};
  }
  if (p.container != r.container) {
    return {PartFault::Container, "is a " + p.container + " file, not " + r.container};
  }
  if (p.codec != r.codec) return {PartFault::Codec, "codec " + p.codec + ", not " + r.codec};
  if (p.sound.codec != r.sound) {
    const auto name = [](const std::string& codec) {
      return codec.empty() ? std::string("none") : codec;
    };
    return {PartFault::Sound, "sound " + name(p.sound.codec) + ", not " + name(r.sound)};
  }
  if (p.width != r.width || p.height != r.height) {
    return {PartFault::Size,
            SizeText(p.width, p.height) + " frames, not " + SizeText(r.width, r.height)};
  }
  if (r.rate != 0 && uint64_t{p.rate} * r.scale != uint64_t{r.rate} * p.scale) {
    return {PartFault::Rate, "another frame rate, " + RateText(p.rate, p.scale) +
                                 " frames per second, not " + RateText(r.rate, r.scale)};
  }
  if (!PartComplete(p)) {
    if (p.first <= p.last && p.framesPresent == p.last - p.first + 1) {
      return {PartFault::Frames, "its sound ends after " +
                                     std::to_string(std::max<int64_t>(p.soundReach, 0)) +
                                     " of its " + std::to_string(p.sound.samples) + " samples"};
    }
    return {PartFault::Frames, "holds " + std::to_string(p.framesPresent) + " of the " +
                                   std::to_string(p.last - p.first + 1) + " frames " +
                                   RangeText(p.first, p.last)};
  }
  return {};
}

std::string PartCodecName(std::string_view compressor) {
  if (compressor == kFullFramesCompressor) return avcodec_get_name(AV_CODEC_ID_RAWVIDEO);
  const AVCodecDescriptor* d = avcodec_descriptor_get_by_name(std::string(compressor).c_str());
  return d != nullptr ? d->name : std::string();
}

bool PartComplete(const PartInfo& part) {
  return part.first <= part.last && part.framesPresent == part.last - part.first + 1 &&
         SoundWhole(part);
}

std::vector<ExportRange> PlanFrameRanges(uint32_t length, uint32_t parts, uint32_t keyInterval) {
  std::vector<ExportRange> ranges;
  if (keyInterval == 0) keyInterval = 1;
  const uint32_t groups = length / keyInterval + (length % keyInterval != 0 ? 1 : 0);
  if (parts == 0 || parts > groups) return ranges;
  const uint32_t size = groups / parts;
  const uint32_t longer = groups % parts;
  uint64_t group = 0;
  for (uint32_t i = 0; i < parts; ++i) {
    const uint64_t next = group + size + (i < longer ? 1 : 0);
    const uint64_t end = std::min<uint64_t>(next * keyInterval, length);
    ranges.push_back(
        ExportRange{static_cast<uint32_t>(group * keyInterval), static_cast<uint32_t>(end - 1)});
    group = next;
  }
  return ranges;
}

bool RangeOnKeyFrames(ExportRange range, uint32_t projectLength, uint32_t keyInterval) {
  if (keyInterval <= 1) return true;
  const uint64_t end = uint64_t{range.last} + 1;
  return range.first % keyInterval == 0 && (end % keyInterval == 0 || end == projectLength);
}

namespace {

// Matroska stores presentation times alone, and its demuxer guesses decoding times afresh in
// each part, so that they fall back across a seam. The join counts them instead: packet g of a
// part decodes at frame (the part's place in the joined file) + g - delay, rising by one frame a
// packet across every seam. delay is the largest decoding lead of any part, so no packet
// decodes after it is shown. Nullopt with why filled when a part's lead is unknown.
std::optional<int64_t> CountedDecodingDelay(const std::vector<std::string>& paths,
                                            const std::vector<PartInfo>& infos, std::string* why) {
  int64_t delay = 0;
  for (size_t i = 0; i < infos.size(); ++i) {
    if (!infos[i].decodingLead) {
      *why = paths[i] + ": a frame without a presentation time";
      return std::nullopt;
    }
    delay = std::max(delay, *infos[i].decodingLead);
  }
  return delay;
}

// Decodes a part's sound stream into interleaved stereo float, counting the pairs.
struct PartSoundDecoder {
  CodecContextPtr context;
  FramePtr frame;
  std::vector<float> samples;  // decoded, not yet coded on
  int64_t pairs = 0;           // decoded in all

  bool Open(const AVStream& stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr) return false;
    context.reset(avcodec_alloc_context3(codec));
    frame.reset(av_frame_alloc());
    return context && frame && avcodec_parameters_to_context(context.get(), stream.codecpar) >= 0 &&
           avcodec_open2(context.get(), codec, nullptr) >= 0;
  }

  // Sends the packet (null: the end) and takes every frame ready.
  bool Decode(const AVPacket* packet) {
    const int sent = avcodec_send_packet(context.get(), packet);
    if (sent < 0 && sent != AVERROR_EOF) return false;
    for (;;) {
      const int result = avcodec_receive_frame(context.get(), frame.get());
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
      if (result < 0) return false;
      const size_t before = samples.size();
      const bool taken = AppendDecodedSound(*frame, samples);
      av_frame_unref(frame.get());
      if (!taken) return false;
      pairs += static_cast<int64_t>((samples.size() - before) / 2);
    }
  }
};

// The joined file being written: removed unless Finish succeeds.
class JoinedFile {
 public:
  explicit JoinedFile(std::string path) : path_(std::move(path)) {}
  ~JoinedFile() {
    if (finished_) return;
    output_.reset();
    file_.Close();
    std::error_code ec;
    if (begun_) std::filesystem::remove(path_, ec);
  }

  // soundCodec: the joined file's sound stream; empty for none.
  bool Begin(const OpenedPart& head, const PartInfo& headInfo, OutputContainer container,
             const std::string& comment, const std::string& soundCodec, std::string* why) {
    begun_ = true;
    if (!file_.Open(path_)) return Failed(why, "cannot be made");
    AVFormatContext* context = nullptr;
    if (avformat_alloc_output_context2(&context, nullptr, ContainerMuxer(container), nullptr) < 0) {
      return Failed(why, "no muxer for it");
    }
    output_.reset(context);
    context->pb = file_.Context();
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (!file_.ClaimReserve()) return Failed(why, "cannot grow");
    if (!comment.empty()) av_dict_set(&context->metadata, "comment", comment.c_str(), 0);
    stream_ = avformat_new_stream(context, nullptr);
    if (stream_ == nullptr ||
        avcodec_parameters_copy(stream_->codecpar, head.video->codecpar) < 0) {
      return Failed(why, "out of memory");
    }
    // The muxer sizes its headers from a known bit rate; a whole export knows none.
    stream_->codecpar->bit_rate = 0;
    // AVI keeps the parts' four-character code, and so do full frames, whose tag names their
    // pixel layout; for the rest the other muxers choose their own tags.
    if (container != OutputContainer::Avi && stream_->codecpar->codec_id != AV_CODEC_ID_RAWVIDEO) {
      stream_->codecpar->codec_tag = 0;
    }
    stream_->time_base = head.video->time_base;
    stream_->avg_frame_rate = head.video->avg_frame_rate;
    if (!soundCodec.empty()) {
      std::string failure;
      if (!sound_.Open(*context, container, soundCodec, &failure)) return Failed(why, failure);
    }
    if (const int result = avformat_write_header(context, nullptr); result < 0) {
      return Failed(why, AvText(result));
    }
    headerWritten_ = true;
    if (container == OutputContainer::Avi &&
        !StoreAviFrameRate(file_, AviFrameRate{headInfo.rate, headInfo.scale})) {
      return Failed(why, "its header cannot be written");
    }
    return true;
  }

  // Copies every packet of the part's video stream, its times moved by `shift` frames. With
  // countedDelay, packet g of the part decodes at frame shift + g - countedDelay instead of at
  // its stored decoding time (see CountedDecodingDelay). When the joined file has sound, the
  // part's sound is decoded and coded on into it as it comes; it must give soundPairs pairs.
  bool Copy(OpenedPart& part, const std::string& partPath, int64_t shift, AVRational frameTime,
            std::optional<int64_t> countedDelay, int64_t soundPairs, std::string* why) {
    PacketPtr packet(av_packet_alloc());
    if (!packet) return Failed(why, "out of memory");
    PartSoundDecoder decoder;
    if (sound_.IsOpen()) {
      if (part.audio == nullptr) {
        *why = partPath + ": holds no sound stream";
        return false;
      }
      if (!decoder.Open(*part.audio)) {
        *why = partPath + ": its sound cannot be decoded";
        return false;
      }
    }
    const int64_t offset = av_rescale_q(shift, frameTime, part.video->time_base);
    for (int64_t g = 0;; ++g) {
      const int read = av_read_frame(part.context.get(), packet.get());
      if (read == AVERROR_EOF) break;
      if (read < 0) {
        *why = partPath + ": " + AvText(read);
        return false;
      }
      if (sound_.IsOpen() && packet->stream_index == part.audio->index) {
        const bool decoded = decoder.Decode(packet.get());
        av_packet_unref(packet.get());
        if (!decoded) {
          *why = partPath + ": its sound cannot be decoded";
          return false;
        }
        if (!WriteSound(decoder, why)) return false;
        --g;
        continue;
      }
      if (packet->stream_index != part.video->index) {
        av_packet_unref(packet.get());
        --g;
        continue;
      }
      // AVI stores decoding order only; with key frames alone that is the presentation order.
      if (packet->pts == AV_NOPTS_VALUE) packet->pts = packet->dts;
      if (packet->pts != AV_NOPTS_VALUE) packet->pts += offset;
      if (countedDelay) {
        packet->dts = av_rescale_q(shift + g - *countedDelay, frameTime, part.video->time_base);
      } else if (packet->dts != AV_NOPTS_VALUE) {
        packet->dts += offset;
      }
      av_packet_rescale_ts(packet.get(), part.video->time_base, stream_->time_base);
      packet->stream_index = stream_->index;
      packet->pos = -1;
      if (!file_.ClaimPacket(static_cast<uint64_t>(packet->size))) {
        av_packet_unref(packet.get());
        return Failed(why, "cannot grow");
      }
      const int result = WritePacketThrough(*output_, *packet);
      av_packet_unref(packet.get());
      if (result < 0) return Failed(why, AvText(result));
    }
    if (!sound_.IsOpen()) return true;
    if (!decoder.Decode(nullptr)) {
      *why = partPath + ": its sound cannot be decoded";
      return false;
    }
    if (!WriteSound(decoder, why)) return false;
    if (decoder.pairs != soundPairs) {
      *why = partPath + ": incomplete, its sound holds " + std::to_string(decoder.pairs) +
             " of the " + std::to_string(soundPairs) + " samples recorded";
      return false;
    }
    return true;
  }

  bool Finish(std::string* why) {
    if (sound_.IsOpen() && headerWritten_) {
      std::string failure;
      if (!sound_.Finish([this](AVPacket& p) { return WriteSoundPacket(p); }, &failure)) {
        return Failed(why, failure);
      }
    }
    const int trailer = headerWritten_ ? av_write_trailer(output_.get()) : 0;
    output_.reset();
    const bool closed = file_.Close();
    if (trailer < 0 || !closed) return Failed(why, trailer < 0 ? AvText(trailer) : "");
    finished_ = true;
    return true;
  }

 private:
  // The file's failure in the system's words where there is one.
  bool Failed(std::string* why, const std::string& what) {
    *why = path_ + ": " + (file_.Failed() ? file_.ErrorText() : what);
    return false;
  }

  bool WriteSoundPacket(AVPacket& packet) {
    if (!file_.ClaimPacket(static_cast<uint64_t>(packet.size))) return false;
    return WritePacketThrough(*output_, packet) >= 0;
  }

  // Codes the samples the decoder has gathered on into the joined file's sound.
  bool WriteSound(PartSoundDecoder& decoder, std::string* why) {
    std::string failure;
    const bool written = sound_.Write(
        decoder.samples.data(), static_cast<int64_t>(decoder.samples.size() / 2),
        [this](AVPacket& p) { return WriteSoundPacket(p); }, &failure);
    decoder.samples.clear();
    return written || Failed(why, failure);
  }

  std::string path_;
  OutputFile file_;  // declared before output_, which borrows its I/O context
  OutputContextPtr output_;
  AVStream* stream_ = nullptr;
  SoundStream sound_;  // its stream is owned by output_
  bool begun_ = false;
  bool headerWritten_ = false;
  bool finished_ = false;
};

}  // namespace

bool JoinParts(const std::vector<std::string>& parts, const std::string& out, std::string* why) {
  std::string ignored;
  if (why == nullptr) why = &ignored;
  if (parts.empty()) {
    *why = "no parts to join";
    return false;
  }
  std::vector<PartInfo> infos;
  for (const std::string& path : parts) {
    auto info = ReadPartInfo(path, why);
    if (!info) return false;
    infos.push_back(*info);
  }
  for (size_t i = 0; i < infos.size(); ++i) {
    const PartCheck check =
        CheckPart(infos[i], JoinRequirement(infos[0], i > 0 ? &infos[i - 1] : nullptr));
    if (check.fault != PartFault::None) {
      *why =
          parts[i] + ": " + (check.fault == PartFault::Frames ? "incomplete, " : "") + check.detail;
      if (check.fault == PartFault::Range) *why += " (" + parts[i - 1] + ")";
      return false;
    }
  }
  const OutputContainer container = ContainerForPath(FromUtf8(out));
  if (ContainerName(container) != infos[0].container) {
    *why = out + ": the parts are " + infos[0].container + " files; name the output ." +
           infos[0].container;
    return false;
  }
  std::error_code ec;
  for (const std::string& path : parts) {
    if (std::filesystem::equivalent(path, out, ec)) {
      *why = out + ": is one of the parts";
      return false;
    }
  }

  const ExportRange joined{infos.front().first, infos.back().last};
  const uint32_t length = infos[0].projectLength;
  const bool whole = joined.first == 0 && joined.last + 1 == length;
  const AVRational frameTime = FrameTime(infos[0].rate, infos[0].scale);

  std::optional<int64_t> countedDelay;
  if (container == OutputContainer::Mkv) {
    countedDelay = CountedDecodingDelay(parts, infos, why);
    if (!countedDelay) return false;
  }

  // The joined file's sound: the codec meant, or, for a join that is itself a part, its
  // lossless carrier again.
  PartSound sound = infos[0].sound;
  for (size_t i = 1; i < infos.size(); ++i) sound.samples += infos[i].sound.samples;
  std::string soundCodec;
  if (!sound.codec.empty()) {
    soundCodec = whole ? sound.codec : PartSoundCodec(sound.codec, container);
    if (soundCodec.empty()) {
      *why = parts[0] + ": sound " + sound.codec + " cannot be written into " + infos[0].container;
      return false;
    }
  }

  JoinedFile file(out);
  for (size_t i = 0; i < parts.size(); ++i) {
    OpenedPart part;
    if (!OpenPart(parts[i], part, why)) return false;
    if (i == 0 &&
        !file.Begin(part, infos[0], container,
                    whole ? std::string() : PartComment(joined, length, infos[0].digest, sound),
                    soundCodec, why)) {
      return false;
    }
    const int64_t shift = int64_t{infos[i].first} - joined.first;
    if (!file.Copy(part, parts[i], shift, frameTime, countedDelay, infos[i].sound.samples, why)) {
      return false;
    }
  }
  return file.Finish(why);
}

}  // namespace tavrona
