#include "export/export_part.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "export/avi_header.h"
#include "export/avi_writer.h"
#include "export/output_file.h"
#include "model/text_encoding.h"
#include "sources/ffmpeg_util.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace tavrona {
namespace {

constexpr std::string_view kPartPrefix = "tavrona part frames=";

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

// An opened part: the demuxer and its video stream.
struct OpenedPart {
  FormatContextPtr context;
  AVStream* video = nullptr;
};

bool OpenPart(const std::string& path, OpenedPart& part, std::string* why) {
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
  return true;
}

// Frames in the part: the container's own count where it keeps one, else its packets counted.
uint32_t CountFrames(OpenedPart& part) {
  if (part.video->nb_frames > 0) return static_cast<uint32_t>(part.video->nb_frames);
  PacketPtr packet(av_packet_alloc());
  if (!packet) return 0;
  uint32_t count = 0;
  while (av_read_frame(part.context.get(), packet.get()) >= 0) {
    if (packet->stream_index == part.video->index) ++count;
    av_packet_unref(packet.get());
  }
  return count;
}

std::string ContainerOfFile(const std::string& path) {
  return ContainerName(ContainerForPath(FromUtf8(path)));
}

std::string RangeText(const PartInfo& p) {
  return std::to_string(p.first) + "-" + std::to_string(p.last);
}

// Checks the parts against each other, in order. Empty when they can be joined.
std::string MismatchOf(const std::vector<std::string>& paths, const std::vector<PartInfo>& infos) {
  const PartInfo& head = infos[0];
  for (size_t i = 0; i < infos.size(); ++i) {
    const PartInfo& p = infos[i];
    const std::string& path = paths[i];
    if (!PartComplete(p)) {
      return path + ": incomplete, holds " + std::to_string(p.framesPresent) + " of the " +
             std::to_string(p.last - p.first + 1) + " frames " + RangeText(p);
    }
    if (i == 0) continue;
    if (p.container != head.container) {
      return path + ": is a " + p.container + " file, the first part a " + head.container + " file";
    }
    if (p.codec != head.codec) return path + ": codec " + p.codec + ", not " + head.codec;
    if (p.width != head.width || p.height != head.height) {
      return path + ": " + std::to_string(p.width) + "x" + std::to_string(p.height) +
             " frames, not " + std::to_string(head.width) + "x" + std::to_string(head.height);
    }
    if (uint64_t{p.rate} * head.scale != uint64_t{head.rate} * p.scale) {
      return path + ": another frame rate";
    }
    if (p.projectLength != head.projectLength) return path + ": part of another project";
    const PartInfo& before = infos[i - 1];
    if (p.first <= before.last) {
      return path + ": frames " + RangeText(p) + " overlap " + paths[i - 1] + " (" +
             RangeText(before) + ")";
    }
    if (p.first != before.last + 1) {
      return path + ": frames " + RangeText(p) + " do not follow " + paths[i - 1] + " (" +
             RangeText(before) + "): frames " + std::to_string(before.last + 1) + "-" +
             std::to_string(p.first - 1) + " are missing";
    }
  }
  return {};
}

}  // namespace

std::string PartComment(ExportRange range, uint32_t projectLength) {
  return std::string(kPartPrefix) + std::to_string(range.first) + "-" + std::to_string(range.last) +
         " length=" + std::to_string(projectLength);
}

std::optional<PartMark> ParsePartComment(std::string_view text) {
  PartMark mark;
  if (!Expect(text, kPartPrefix) || !ReadNumber(text, mark.range.first) || !Expect(text, "-") ||
      !ReadNumber(text, mark.range.last) || !Expect(text, " length=") ||
      !ReadNumber(text, mark.projectLength) || !text.empty()) {
    return std::nullopt;
  }
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
  info.framesPresent = CountFrames(part);
  return info;
}

bool PartComplete(const PartInfo& part) {
  return part.first <= part.last && part.framesPresent == part.last - part.first + 1;
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
// packet across every seam. delay is the furthest any packet of any part comes ahead of its
// presentation (g - its presentation frame), so no packet decodes after it is shown. Reads every
// part through; nullopt with why filled when one cannot be read or a packet has no time.
std::optional<int64_t> CountedDecodingDelay(const std::vector<std::string>& paths,
                                            AVRational frameTime, std::string* why) {
  int64_t delay = 0;
  for (const std::string& path : paths) {
    OpenedPart part;
    if (!OpenPart(path, part, why)) return std::nullopt;
    PacketPtr packet(av_packet_alloc());
    if (!packet) {
      *why = path + ": out of memory";
      return std::nullopt;
    }
    for (int64_t g = 0;;) {
      const int read = av_read_frame(part.context.get(), packet.get());
      if (read == AVERROR_EOF) break;
      if (read < 0) {
        *why = path + ": " + AvText(read);
        return std::nullopt;
      }
      if (packet->stream_index == part.video->index) {
        if (packet->pts == AV_NOPTS_VALUE) {
          av_packet_unref(packet.get());
          *why = path + ": a frame without a presentation time";
          return std::nullopt;
        }
        const int64_t shown = av_rescale_q(packet->pts, part.video->time_base, frameTime);
        delay = std::max(delay, g - shown);
        ++g;
      }
      av_packet_unref(packet.get());
    }
  }
  return delay;
}

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

  bool Begin(const OpenedPart& head, const PartInfo& headInfo, OutputContainer container,
             const std::string& comment, std::string* why) {
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
  // its stored decoding time (see CountedDecodingDelay).
  bool Copy(OpenedPart& part, const std::string& partPath, int64_t shift, AVRational frameTime,
            std::optional<int64_t> countedDelay, std::string* why) {
    PacketPtr packet(av_packet_alloc());
    if (!packet) return Failed(why, "out of memory");
    const int64_t offset = av_rescale_q(shift, frameTime, part.video->time_base);
    for (int64_t g = 0;; ++g) {
      const int read = av_read_frame(part.context.get(), packet.get());
      if (read == AVERROR_EOF) return true;
      if (read < 0) {
        *why = partPath + ": " + AvText(read);
        return false;
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
  }

  bool Finish(std::string* why) {
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

  std::string path_;
  OutputFile file_;  // declared before output_, which borrows its I/O context
  OutputContextPtr output_;
  AVStream* stream_ = nullptr;
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
  if (std::string mismatch = MismatchOf(parts, infos); !mismatch.empty()) {
    *why = mismatch;
    return false;
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
  const AVRational frameTime{static_cast<int>(infos[0].scale), static_cast<int>(infos[0].rate)};

  std::optional<int64_t> countedDelay;
  if (container == OutputContainer::Mkv) {
    countedDelay = CountedDecodingDelay(parts, frameTime, why);
    if (!countedDelay) return false;
  }

  JoinedFile file(out);
  for (size_t i = 0; i < parts.size(); ++i) {
    OpenedPart part;
    if (!OpenPart(parts[i], part, why)) return false;
    if (i == 0 && !file.Begin(part, infos[0], container,
                              whole ? std::string() : PartComment(joined, length), why)) {
      return false;
    }
    const int64_t shift = int64_t{infos[i].first} - joined.first;
    if (!file.Copy(part, parts[i], shift, frameTime, countedDelay, why)) return false;
  }
  return file.Finish(why);
}

}  // namespace tavrona
