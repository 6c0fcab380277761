#include "test_movies.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace tavrona::testing {
namespace {

constexpr uint32_t kOn = 0x00DCDC28;   // R 220, G 220, B 40
constexpr uint32_t kOff = 0x001E1EC8;  // R 30, G 30, B 200

uint32_t CellBits(int index) {
  const uint32_t value = static_cast<uint32_t>(index) & 0x3FF;
  const uint32_t check = (~value ^ (value >> 4)) & 0x3F;
  return value | (check << 10);
}

bool Fail(const char* what, int error = 0) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (error != 0) av_strerror(error, text, sizeof text);
  std::fprintf(stderr, "test movie: %s %s\n", what, text);
  return false;
}

struct Closer {
  void operator()(AVFormatContext* oc) const {
    if (oc->pb != nullptr) avio_closep(&oc->pb);
    avformat_free_context(oc);
  }
};

bool WritePackets(AVCodecContext* c, AVFormatContext* oc, AVStream* st, const AVFrame* frame) {
  if (int e = avcodec_send_frame(c, frame); e < 0) return Fail("send frame", e);
  AVPacket* pkt = av_packet_alloc();
  for (;;) {
    const int e = avcodec_receive_packet(c, pkt);
    if (e == AVERROR(EAGAIN) || e == AVERROR_EOF) break;
    if (e < 0) {
      av_packet_free(&pkt);
      return Fail("receive packet", e);
    }
    av_packet_rescale_ts(pkt, c->time_base, st->time_base);
    pkt->stream_index = st->index;
    if (int w = av_interleaved_write_frame(oc, pkt); w < 0) {
      av_packet_free(&pkt);
      return Fail("write packet", w);
    }
  }
  av_packet_free(&pkt);
  return true;
}

}  // namespace

std::vector<uint32_t> TestFramePixels(int index, int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  const uint32_t bits = CellBits(index);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int cell = (y * 4 / height) * 4 + x * 4 / width;
      pixels[static_cast<size_t>(height - 1 - y) * width + x] = (bits >> cell) & 1 ? kOn : kOff;
    }
  }
  return pixels;
}

int ReadTestFrameIndex(const uint8_t* pixels, int width, int height) {
  uint32_t bits = 0;
  for (int cell = 0; cell < 16; ++cell) {
    const int cx = (cell % 4) * width / 4 + width / 8;
    const int cy = (cell / 4) * height / 4 + height / 8;
    int red = 0, blue = 0;
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        const size_t row = static_cast<size_t>(height - 1 - (cy + dy));
        const uint8_t* p = pixels + (row * width + cx + dx) * 4;
        blue += p[0];
        red += p[2];
      }
    }
    red /= 9;
    blue /= 9;
    if (red > 160 && blue < 100) {
      bits |= 1u << cell;
    } else if (!(red < 80 && blue > 150)) {
      return -1;  // neither cell colour: not a test frame, or channels swapped
    }
  }
  const int index = static_cast<int>(bits & 0x3FF);
  return CellBits(index) == bits ? index : -1;
}

bool WriteTestMovie(const std::filesystem::path& path, const TestMovieRecipe& recipe) {
  av_log_set_level(AV_LOG_ERROR);
  const AVCodec* codec = avcodec_find_encoder_by_name(recipe.encoder.c_str());
  if (codec == nullptr) return Fail("no encoder");
  AVFormatContext* rawOc = nullptr;
  if (int e =
          avformat_alloc_output_context2(&rawOc, nullptr, recipe.container.c_str(), path.c_str());
      e < 0) {
    return Fail("output context", e);
  }
  std::unique_ptr<AVFormatContext, Closer> oc(rawOc);
  AVStream* st = avformat_new_stream(oc.get(), nullptr);
  AVCodecContext* c = avcodec_alloc_context3(codec);
  std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> codecOwner(
      c, [](AVCodecContext* p) { avcodec_free_context(&p); });
  const bool rgb = recipe.encoder == "ffv1";
  c->width = recipe.width;
  c->height = recipe.height;
  c->time_base = {1, recipe.framesPerSecond};
  c->framerate = {recipe.framesPerSecond, 1};
  c->gop_size = recipe.keyFrameInterval;
  c->pix_fmt = rgb ? AV_PIX_FMT_0RGB32 : AV_PIX_FMT_YUV420P;
  c->thread_count = 1;
  if (oc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (recipe.encoder == "libx264") {
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    av_opt_set(c->priv_data, "crf", "18", 0);
  }
  if (int e = avcodec_open2(c, codec, nullptr); e < 0) return Fail("open encoder", e);
  avcodec_parameters_from_context(st->codecpar, c);
  st->time_base = c->time_base;
  st->avg_frame_rate = c->framerate;
  if (int e = avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE); e < 0) return Fail("open", e);
  if (int e = avformat_write_header(oc.get(), nullptr); e < 0) return Fail("header", e);

  AVFrame* frame = av_frame_alloc();
  std::unique_ptr<AVFrame, void (*)(AVFrame*)> frameOwner(frame,
                                                          [](AVFrame* f) { av_frame_free(&f); });
  frame->format = c->pix_fmt;
  frame->width = c->width;
  frame->height = c->height;
  if (av_frame_get_buffer(frame, 0) < 0) return Fail("frame buffer");
  SwsContext* sws = sws_getContext(c->width, c->height, AV_PIX_FMT_BGR0, c->width, c->height,
                                   c->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
  std::unique_ptr<SwsContext, void (*)(SwsContext*)> swsOwner(sws, sws_freeContext);
  for (int i = 0; i < recipe.frameCount; ++i) {
    if (av_frame_make_writable(frame) < 0) return Fail("writable");
    const std::vector<uint32_t> pixels = TestFramePixels(i, c->width, c->height);
    // Bottom-up rows: start at the top row and walk backwards.
    const uint32_t* topRow = pixels.data() + static_cast<size_t>(c->height - 1) * c->width;
    const uint8_t* src[4] = {reinterpret_cast<const uint8_t*>(topRow)};
    const int srcStride[4] = {-c->width * 4};
    sws_scale(sws, src, srcStride, 0, c->height, frame->data, frame->linesize);
    frame->pts = i;
    if (!WritePackets(c, oc.get(), st, frame)) return false;
  }
  if (!WritePackets(c, oc.get(), st, nullptr)) return false;
  if (int e = av_write_trailer(oc.get()); e < 0) return Fail("trailer", e);
  return true;
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavrona-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace tavrona::testing

namespace tavrona::testing {

std::filesystem::path TestMoviePath(const TestMovieRecipe& recipe) {
  static TempFolder folder;
  static std::mutex mutex;
  static std::map<std::string, std::filesystem::path> written;
  const std::string extension = recipe.container == "matroska" ? "mkv" : recipe.container;
  const std::string name = recipe.encoder + "_" + std::to_string(recipe.width) + "x" +
                           std::to_string(recipe.height) + "_" +
                           std::to_string(recipe.framesPerSecond) + "fps_" +
                           std::to_string(recipe.frameCount) + "." + extension;
  std::lock_guard lock(mutex);
  if (auto it = written.find(name); it != written.end()) return it->second;
  const std::filesystem::path path = folder.Path() / name;
  if (folder.Path().empty() || !WriteTestMovie(path, recipe)) return {};
  written[name] = path;
  return path;
}

TestMovieRecipe Ffv1Avi30() {
  TestMovieRecipe recipe;
  recipe.container = "avi";
  recipe.encoder = "ffv1";
  recipe.frameCount = 60;
  return recipe;
}

TestMovieRecipe H264Mp4(int framesPerSecond) {
  TestMovieRecipe recipe;
  recipe.container = "mp4";
  recipe.encoder = "libx264";
  recipe.framesPerSecond = framesPerSecond;
  recipe.frameCount = 60;
  return recipe;
}

TestMovieRecipe H264Mkv(int framesPerSecond) {
  TestMovieRecipe recipe = H264Mp4(framesPerSecond);
  recipe.container = "matroska";
  return recipe;
}

}  // namespace tavrona::testing

namespace tavrona::testing {

std::vector<uint32_t> ReferenceFrame(const std::filesystem::path& path, int index) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return {};
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> fc(
      raw, [](AVFormatContext* p) { avformat_close_input(&p); });
  if (avformat_find_stream_info(fc.get(), nullptr) < 0) return {};
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(fc.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (stream < 0) return {};
  std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> c(
      avcodec_alloc_context3(codec), [](AVCodecContext* p) { avcodec_free_context(&p); });
  avcodec_parameters_to_context(c.get(), fc->streams[stream]->codecpar);
  c->thread_count = 1;
  if (avcodec_open2(c.get(), codec, nullptr) < 0) return {};
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> pkt(av_packet_alloc(),
                                                     [](AVPacket* p) { av_packet_free(&p); });
  std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                     [](AVFrame* f) { av_frame_free(&f); });
  int decoded = 0;
  bool draining = false;
  for (;;) {
    const int e = avcodec_receive_frame(c.get(), frame.get());
    if (e == AVERROR(EAGAIN)) {
      if (draining) return {};
      if (av_read_frame(fc.get(), pkt.get()) < 0) {
        draining = true;
        avcodec_send_packet(c.get(), nullptr);
      } else {
        if (pkt->stream_index == stream) avcodec_send_packet(c.get(), pkt.get());
        av_packet_unref(pkt.get());
      }
      continue;
    }
    if (e < 0) return {};
    if (decoded++ < index) continue;
    const int w = frame->width, h = frame->height;
    std::vector<uint32_t> topDown(static_cast<size_t>(w) * h);
    SwsContext* sws = sws_getContext(w, h, static_cast<AVPixelFormat>(frame->format), w, h,
                                     AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(topDown.data())};
    const int dstStride[4] = {w * 4};
    sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dstStride);
    sws_freeContext(sws);
    std::vector<uint32_t> bottomUp(topDown.size());
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        bottomUp[static_cast<size_t>(h - 1 - y) * w + x] =
            topDown[static_cast<size_t>(y) * w + x] & 0x00FFFFFFu;
      }
    }
    return bottomUp;
  }
}

}  // namespace tavrona::testing

namespace tavrona::testing {
namespace {

std::string Quoted(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

bool RunTool(const std::string& arguments) {
  const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y " + arguments;
  if (std::system(command.c_str()) == 0) return true;
  std::fprintf(stderr, "test movie: failed: %s\n", command.c_str());
  return false;
}

std::string Substitute(std::string text, const std::string& key, const std::string& value) {
  for (size_t at = text.find(key); at != std::string::npos;
       at = text.find(key, at + value.size())) {
    text.replace(at, key.size(), value);
  }
  return text;
}

}  // namespace

std::filesystem::path ToolMoviePath(const ToolMovieRecipe& recipe) {
  constexpr int kSize = 64;
  static TempFolder folder;
  static std::mutex mutex;
  static std::map<std::string, std::filesystem::path> written;
  std::lock_guard lock(mutex);
  if (auto it = written.find(recipe.name); it != written.end()) return it->second;
  if (folder.Path().empty()) return {};

  // The frames as raw video, top row first.
  const std::filesystem::path raw = folder.Path() / (recipe.name + ".bgr0");
  {
    std::ofstream out(raw, std::ios::binary | std::ios::trunc);
    for (int i = 0; i < recipe.frameCount; ++i) {
      const std::vector<uint32_t> pixels = TestFramePixels(i, kSize, kSize);
      for (int y = kSize - 1; y >= 0; --y) {
        out.write(reinterpret_cast<const char*>(pixels.data() + static_cast<size_t>(y) * kSize),
                  kSize * 4);
      }
    }
    if (!out) return {};
  }
  const std::filesystem::path encoded =
      folder.Path() / (recipe.name + "_encoded." + recipe.encodeExtension);
  if (!RunTool("-f rawvideo -pix_fmt bgr0 -s " + std::to_string(kSize) + "x" +
               std::to_string(kSize) + " -r 30 -i " + Quoted(raw) + " " + recipe.encodeOptions +
               " " + Quoted(encoded))) {
    return {};
  }
  std::filesystem::path path = encoded;
  if (!recipe.remux.empty()) {
    path = folder.Path() / (recipe.name + "." + recipe.extension);
    const std::string arguments =
        Substitute(Substitute(recipe.remux, "{in}", Quoted(encoded)), "{out}", Quoted(path));
    if (!RunTool(arguments)) return {};
  }
  written[recipe.name] = path;
  return path;
}

std::vector<std::vector<uint8_t>> ToolDecodedFrames(const std::filesystem::path& path, int width,
                                                    int height) {
  const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -i " + Quoted(path) +
                              " -fps_mode passthrough -f rawvideo -pix_fmt bgr0 -";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  const size_t frameBytes = rowBytes * height;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<uint8_t> topDown(frameBytes);
  while (std::fread(topDown.data(), 1, frameBytes, pipe) == frameBytes) {
    std::vector<uint8_t> bottomUp(frameBytes);
    for (int y = 0; y < height; ++y) {
      std::memcpy(bottomUp.data() + (height - 1 - y) * rowBytes, topDown.data() + y * rowBytes,
                  rowBytes);
    }
    for (size_t i = 3; i < frameBytes; i += 4) bottomUp[i] = 0;
    frames.push_back(std::move(bottomUp));
  }
  if (pclose(pipe) != 0) return {};
  return frames;
}

}  // namespace tavrona::testing
