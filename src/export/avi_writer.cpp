#include "export/avi_writer.h"

#include <climits>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "model/text_encoding.h"
#include "sources/ffmpeg_util.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace tavrona {
namespace {

// ---- RAII for the FFmpeg objects -----------------------------------------------------------

struct OutputDeleter {
  void operator()(AVFormatContext* context) const {
    if (context->pb != nullptr) avio_closep(&context->pb);
    avformat_free_context(context);
  }
};
// A dictionary of options; whatever an open call did not consume is freed with it.
struct Dictionary {
  AVDictionary* entries = nullptr;
  Dictionary() = default;
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  ~Dictionary() { av_dict_free(&entries); }
  void Set(const char* key, const char* value) { av_dict_set(&entries, key, value, 0); }
};

using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
// The codec context, frame, packet and scaler handles are the movie decoder's (ffmpeg_util.h).
using ScalerPtr = SwsContextPtr;

// ---- The compressors -----------------------------------------------------------------------

// How one compressor is set up. Every setting that shapes the bitstream is fixed here and
// none depends on the thread count: quality is a constant quantiser or rate factor (never a
// bit-rate target fed back from earlier frames), slice counts are explicit, and each codec
// threads the way that leaves its output unchanged (whole frames in parallel for codecs
// without inter-frame state, slices only where the slice layout is fixed).
struct Recipe {
  const char* name;
  const char* encoder;  // libavcodec encoder name; null for full frames
  const char16_t* description;
  uint32_t fourcc;
  int threadType;
  void (*configure)(AVCodecContext& context, Dictionary& options);
  // Rewrites a packet before it is written; false when that fails. May be null.
  bool (*tidyPacket)(AVPacket& packet);
};

// 4:2:0 chroma for even sizes; odd sizes keep full chroma, as the last chroma column of an odd
// width does not come back right through libavcodec's JPEG coder and x264 refuses it.
AVPixelFormat SubsampledUnlessOdd(const AVCodecContext& c) {
  return c.width % 2 == 0 && c.height % 2 == 0 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV444P;
}

void ConfigureMjpeg(AVCodecContext& c, Dictionary&) {
  c.pix_fmt = SubsampledUnlessOdd(c);
  c.color_range = AVCOL_RANGE_JPEG;  // JPEG's own full range
  c.colorspace = AVCOL_SPC_BT470BG;
  c.flags |= AV_CODEC_FLAG_QSCALE;
  c.global_quality = FF_QP2LAMBDA * 3;
}

void ConfigureFfv1(AVCodecContext& c, Dictionary& options) {
  c.pix_fmt = AV_PIX_FMT_0RGB32;  // the frames' own byte order
  c.gop_size = 1;                 // a key frame (fresh coder state) on every frame
  c.slices = 4;
  options.Set("level", "3");  // version 3: slices, per-slice CRCs
  options.Set("slicecrc", "1");
}

void ConfigureHuffyuv(AVCodecContext& c, Dictionary&) {
  c.pix_fmt = AV_PIX_FMT_RGB32;  // bytes B, G, R, A: the frames' own byte order
}

void ConfigureUtVideo(AVCodecContext& c, Dictionary&) {
  c.pix_fmt = AV_PIX_FMT_GBRP;
}

void ConfigureX264(AVCodecContext& c, Dictionary& options) {
  c.pix_fmt = SubsampledUnlessOdd(c);
  c.colorspace = AVCOL_SPC_BT470BG;
  c.color_range = AVCOL_RANGE_MPEG;
  c.gop_size = 1;  // every frame an IDR frame
  c.max_b_frames = 0;
  options.Set("preset", "medium");
  options.Set("crf", "20");
  // A key frame on every frame needs no look-ahead; without it x264's frame threads start
  // each frame from the same rate-control state as a single thread would.
  options.Set("x264-params", "rc-lookahead=0:sync-lookahead=0:sliced-threads=0");
}

// x264 puts its version and its whole option line, the thread count included, into the first
// frame as an unregistered user-data SEI message. Dropping that one message makes every
// written frame independent of the thread count; decoders need it only to work around bugs of
// x264 builds far older than any that can be linked here.
constexpr uint8_t kX264InfoUuid[16] = {0xdc, 0x45, 0xe9, 0xbd, 0xe6, 0xd9, 0x48, 0xb7,
                                       0x96, 0x2c, 0xd8, 0x20, 0xd9, 0x23, 0xee, 0xef};

// nal: one NAL unit without its start code.
bool IsX264InfoSei(const uint8_t* nal, size_t size) {
  constexpr uint8_t kNalSei = 6;
  constexpr uint32_t kUserDataUnregistered = 5;
  if (size < 1 || (nal[0] & 0x1F) != kNalSei) return false;
  size_t i = 1;
  uint32_t payloadType = 0;
  while (i < size && nal[i] == 0xFF) payloadType += nal[i++];
  if (i >= size) return false;
  payloadType += nal[i++];
  if (payloadType != kUserDataUnregistered) return false;
  while (i < size && nal[i] == 0xFF) ++i;  // the payload size
  if (i >= size) return false;
  ++i;
  return size - i >= sizeof(kX264InfoUuid) &&
         std::memcmp(nal + i, kX264InfoUuid, sizeof(kX264InfoUuid)) == 0;
}

// Finds the next start code (00 00 01) at or after from; a zero byte before it belongs to it
// (the four-byte form). Returns where the code begins and sets nal to where its unit begins;
// size and size when there is none.
size_t NextStartCode(const uint8_t* data, size_t size, size_t from, size_t& nal) {
  for (size_t i = from; i + 3 <= size; ++i) {
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
      nal = i + 3;
      return i > from && data[i - 1] == 0 ? i - 1 : i;
    }
  }
  nal = size;
  return size;
}

// Removes x264's information SEI from an Annex B packet, if it holds one.
bool DropX264InfoSei(AVPacket& packet) {
  const uint8_t* data = packet.data;
  const size_t size = static_cast<size_t>(packet.size);
  size_t nal = 0;
  size_t unit = NextStartCode(data, size, 0, nal);
  while (unit < size) {
    size_t nextNal = 0;
    const size_t next = NextStartCode(data, size, nal, nextNal);
    if (IsX264InfoSei(data + nal, next - nal)) {
      if (av_packet_make_writable(&packet) < 0) return false;
      const size_t removed = next - unit;
      std::memmove(packet.data + unit, packet.data + next, size - next);
      packet.size -= static_cast<int>(removed);
      std::memset(packet.data + packet.size, 0, removed);  // the padding stays zeroed
      return true;
    }
    unit = next;
    nal = nextNal;
  }
  return true;
}

const Recipe kRecipes[] = {
    {kFullFramesCompressor, nullptr, u"全フレーム (非圧縮)", 0, 0, nullptr, nullptr},
    {"mjpeg", "mjpeg", u"Motion JPEG", MakeFourCc('M', 'J', 'P', 'G'), FF_THREAD_FRAME,
     ConfigureMjpeg, nullptr},
    {"ffv1", "ffv1", u"FFV1 (可逆圧縮)", MakeFourCc('F', 'F', 'V', '1'), FF_THREAD_SLICE,
     ConfigureFfv1, nullptr},
    {"ffvhuff", "ffvhuff", u"FFVHuff (可逆圧縮)", MakeFourCc('F', 'F', 'V', 'H'), FF_THREAD_FRAME,
     ConfigureHuffyuv, nullptr},
    {"huffyuv", "huffyuv", u"HuffYUV (可逆圧縮)", MakeFourCc('H', 'F', 'Y', 'U'), FF_THREAD_FRAME,
     ConfigureHuffyuv, nullptr},
    {"utvideo", "utvideo", u"Ut Video RGB (可逆圧縮)", MakeFourCc('U', 'L', 'R', 'G'),
     FF_THREAD_FRAME, ConfigureUtVideo, nullptr},
    {"h264", "libx264", u"H.264 (x264)", MakeFourCc('H', '2', '6', '4'), FF_THREAD_FRAME,
     ConfigureX264, DropX264InfoSei},
};

const Recipe* FindRecipe(std::string_view name) {
  for (const Recipe& recipe : kRecipes) {
    if (name == recipe.name) return &recipe;
  }
  return nullptr;
}

const AVCodec* FindEncoder(const Recipe& recipe) {
  if (recipe.encoder == nullptr) return nullptr;
  const AVCodec* codec = avcodec_find_encoder_by_name(recipe.encoder);
  if (codec == nullptr) return nullptr;
  const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
  if (avi == nullptr || avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1) {
    return nullptr;
  }
  return codec;
}

AviCompressor ToCompressor(const Recipe& recipe) {
  return AviCompressor{recipe.name, recipe.description, recipe.fourcc};
}

const AviCompressor& FullFrames() {
  static const AviCompressor fullFrames = ToCompressor(kRecipes[0]);
  return fullFrames;
}

bool IsFrameHeader(const BITMAPINFOHEADER& h) {
  if (h.biSize != sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight <= 0 ||
      h.biPlanes != 1 || h.biBitCount != 32 || h.biCompression != kBiRgb) {
    return false;
  }
  const uint64_t pixels = static_cast<uint64_t>(h.biWidth) * static_cast<uint64_t>(h.biHeight);
  // The muxer computes the image size of the stream format as pixels * 32 bits in an int.
  if (pixels * 32 > INT_MAX) return false;
  return h.biSizeImage == pixels * 4;
}

// ---- The encoding thread of a pipelined stream ---------------------------------------------

// One thread that takes the frames handed in, one at a time and in order, and runs each through
// two steps: consume (read the pixels: convert them into the encoder's picture, or write a full
// frame) and then encode (compress and write). The caller may reuse a frame's pixels as soon as
// its consume step is over, which Hand waits for one frame behind.
//
// Hand-off, all fields below guarded by mutex_: the caller puts a frame into the one-frame slot
// (hasPending_, pending_) once the frame before is consumed; the thread empties the slot, runs
// consume, raises consumed_ and runs encode. A failed step sets failed_; from then on frames
// still handed in are dropped unread, so the file never holds a frame after a missing one.
// Waits: the caller waits on progress_ for the thread's consume step, the thread waits on work_
// for a frame or the end; neither waits on anything else.
class EncodingThread {
 public:
  using Step = std::function<bool(uint32_t n, const uint8_t* pixels)>;

  EncodingThread(Step consume, Step encode)
      : consume_(std::move(consume)), encode_(std::move(encode)) {}
  ~EncodingThread() { Finish(); }
  EncodingThread(const EncodingThread&) = delete;
  EncodingThread& operator=(const EncodingThread&) = delete;

  // Starts the thread; false when the system has none to give.
  bool Start() {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }

  // Caller's thread. Waits until frame n - 1 is consumed, then hands in frame n (pixels stay
  // the caller's and unchanged until the next Hand has returned or Finish). False, and frame n
  // not handed in, once a frame failed.
  bool Hand(uint32_t n, const uint8_t* pixels) {
    {
      std::unique_lock lock(mutex_);
      progress_.wait(lock, [&] { return failed_ || (consumed_ >= n && !hasPending_); });
      if (failed_) return false;
      pending_ = Frame{n, pixels};
      hasPending_ = true;
    }
    work_.notify_one();
    return true;
  }

  // Caller's thread. Lets the thread finish the frames handed in and joins it. False when any
  // frame failed. Safe twice.
  bool Finish() {
    if (thread_.joinable()) {
      {
        std::lock_guard lock(mutex_);
        stopping_ = true;
      }
      work_.notify_one();
      thread_.join();
    }
    std::lock_guard lock(mutex_);
    return !failed_;
  }

 private:
  struct Frame {
    uint32_t n = 0;
    const uint8_t* pixels = nullptr;
  };

  // The encoding thread: the only one that runs consume_ and encode_.
  void Run() {
    for (;;) {
      Frame frame;
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [&] { return hasPending_ || stopping_; });
        if (!hasPending_) return;  // stopping, and every frame handed in is done
        frame = pending_;
        hasPending_ = false;
        if (failed_) {  // dropped unread
          consumed_ = frame.n + 1;
          progress_.notify_all();
          continue;
        }
      }
      bool ok = consume_(frame.n, frame.pixels);
      {
        std::lock_guard lock(mutex_);
        consumed_ = frame.n + 1;
        if (!ok) failed_ = true;
      }
      progress_.notify_all();
      if (ok && !encode_(frame.n, frame.pixels)) {
        {
          std::lock_guard lock(mutex_);
          failed_ = true;
        }
        progress_.notify_all();
      }
    }
  }

  const Step consume_;  // run on the encoding thread only
  const Step encode_;   // run on the encoding thread only
  std::thread thread_;  // started and joined by the caller's thread

  std::mutex mutex_;
  std::condition_variable work_;      // a frame was handed in, or stopping_
  std::condition_variable progress_;  // consumed_ rose, or failed_
  Frame pending_;                     // guarded by mutex_
  bool hasPending_ = false;           // guarded by mutex_
  uint32_t consumed_ = 0;             // frames 0 .. consumed_ - 1 are consumed; mutex_
  bool failed_ = false;               // guarded by mutex_
  bool stopping_ = false;             // guarded by mutex_
};

}  // namespace

// ---- The writer's state --------------------------------------------------------------------

// Everything between InitAviWriter and CloseAviWriter. One owner each; the output context owns
// the file.
//
// Threads: everything is the caller's, except that while a pipelined stream's encoding thread
// runs (from the end of OpenAviStream until CloseAviWriter joins it) the FFmpeg objects from
// output to packet are the encoding thread's alone, and input and frameTime are only read.
struct AviWriter::State {
  bool initialised = false;
  bool streamOpen = false;
  bool headerWritten = false;
  AviCompressor compressor = FullFrames();
  int encoderThreads = 0;
  bool pipelined = false;  // for the next stream

  BITMAPINFOHEADER input{};    // the frames handed in
  AVRational frameTime{1, 1};  // scale / rate: one frame in seconds
  uint32_t framesHandedIn = 0;

  OutputPtr output;
  AVStream* stream = nullptr;  // owned by output
  CodecContextPtr encoder;     // null for full frames
  bool (*tidyPacket)(AVPacket&) = nullptr;
  ScalerPtr scaler;  // null when the encoder takes the frames' byte order
  FramePtr frame;    // the encoder's input picture
  PacketPtr packet;

  // A pipelined stream's encoding thread; joined on reset. Last, so that it is gone before the
  // objects it uses.
  std::unique_ptr<EncodingThread> encodingThread;
};

AviWriter::AviWriter() : state_(std::make_unique<State>()) {}

AviWriter::~AviWriter() {
  CloseAviWriter(*this);
}

bool AviWriter::Initialised() const {
  return state_->initialised;
}
bool AviWriter::StreamOpen() const {
  return state_->streamOpen;
}
const AviCompressor& AviWriter::Compressor() const {
  return state_->compressor;
}
uint32_t AviWriter::FramesHandedIn() const {
  return state_->framesHandedIn;
}
void AviWriter::SetEncoderThreads(int threads) {
  state_->encoderThreads = threads < 0 ? 0 : threads;
}
void AviWriter::SetPipelined(bool pipelined) {
  state_->pipelined = pipelined;
}
bool AviWriter::Pipelined() const {
  return state_->pipelined;
}

void DestroyAviWriter(AviWriter* writer) {
  delete writer;
}

LatePtr<AviWriter> MakeAviWriter() {
  return MakeLatePtr(new (std::nothrow) AviWriter, &DestroyAviWriter);
}

std::vector<AviCompressor> ListAviCompressors() {
  std::vector<AviCompressor> list;
  for (const Recipe& recipe : kRecipes) {
    if (recipe.encoder == nullptr || FindEncoder(recipe) != nullptr) {
      list.push_back(ToCompressor(recipe));
    }
  }
  return list;
}

bool ChooseCompressor(AviWriter& writer, std::string_view compressorName) {
  AviWriter::State& s = *writer.state_;
  if (s.streamOpen) return false;
  const Recipe* recipe = FindRecipe(compressorName);
  if (recipe == nullptr || (recipe->encoder != nullptr && FindEncoder(*recipe) == nullptr)) {
    return false;
  }
  s.compressor = ToCompressor(*recipe);
  return true;
}

void InitAviWriter(AviWriter& writer) {
  writer.state_->initialised = true;
}

namespace {

// Opens the chosen encoder for frames of the input's size. False when it cannot be had.
bool OpenEncoder(AviWriter::State& s, const Recipe& recipe) {
  const AVCodec* codec = FindEncoder(recipe);
  if (codec == nullptr) return false;
  s.encoder.reset(avcodec_alloc_context3(codec));
  if (!s.encoder) return false;
  AVCodecContext& c = *s.encoder;
  c.width = s.input.biWidth;
  c.height = s.input.biHeight;
  c.time_base = s.frameTime;
  c.framerate = av_inv_q(s.frameTime);
  c.sample_aspect_ratio = AVRational{1, 1};
  c.thread_count = s.encoderThreads;
  c.thread_type = recipe.threadType;
  Dictionary options;
  recipe.configure(c, options);
  if (avcodec_open2(&c, codec, &options.entries) < 0) return false;
  s.tidyPacket = recipe.tidyPacket;

  s.frame.reset(av_frame_alloc());
  s.packet.reset(av_packet_alloc());
  if (!s.frame || !s.packet) return false;
  s.frame->format = c.pix_fmt;
  s.frame->width = c.width;
  s.frame->height = c.height;
  if (av_frame_get_buffer(s.frame.get(), 0) < 0) return false;
  if (c.pix_fmt != AV_PIX_FMT_0RGB32 && c.pix_fmt != AV_PIX_FMT_RGB32) {
    s.scaler.reset(sws_getContext(c.width, c.height, AV_PIX_FMT_0RGB32, c.width, c.height,
                                  c.pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                  nullptr, nullptr, nullptr));
    if (!s.scaler) return false;
  }
  if (s.scaler && (av_pix_fmt_desc_get(c.pix_fmt)->flags & AV_PIX_FMT_FLAG_RGB) == 0) {
    // The frames are full-range RGB; the encoder's range decides the output's.
    const int* coefficients = sws_getCoefficients(SWS_CS_ITU601);
    const int fullRange = c.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(s.scaler.get(), coefficients, 1, coefficients, fullRange, 0, 1 << 16,
                             1 << 16);
  }
  return true;
}

// Writes one packet from the encoder (timestamps in the encoder's time base) to the file.
bool WriteEncodedPacket(AviWriter::State& s, AVPacket& packet) {
  if (s.tidyPacket != nullptr && !s.tidyPacket(packet)) {
    av_packet_unref(&packet);
    return false;
  }
  packet.stream_index = s.stream->index;
  av_packet_rescale_ts(&packet, s.encoder->time_base, s.stream->time_base);
  const int result = av_write_frame(s.output.get(), &packet);
  av_packet_unref(&packet);
  return result >= 0;
}

// Takes every packet the encoder has ready and writes it. With a null frame sent before, this
// drains the encoder to its end.
bool WriteReadyPackets(AviWriter::State& s) {
  for (;;) {
    const int result = avcodec_receive_packet(s.encoder.get(), s.packet.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return false;
    if (!WriteEncodedPacket(s, *s.packet)) return false;
  }
}

// Puts the bottom-up frame into the encoder's picture, top row first, in its pixel format.
bool FillEncoderFrame(AviWriter::State& s, const uint8_t* pixels) {
  AVFrame& f = *s.frame;
  // Worker threads may still hold the previous picture: then take a fresh buffer (not a copy,
  // every byte is written below).
  if (!av_frame_is_writable(&f)) {
    const int format = f.format;
    av_frame_unref(&f);
    f.format = format;
    f.width = s.input.biWidth;
    f.height = s.input.biHeight;
    if (av_frame_get_buffer(&f, 0) < 0) return false;
  }
  const int width = s.input.biWidth;
  const int height = s.input.biHeight;
  const int rowBytes = width * 4;
  const uint8_t* topRow = pixels + static_cast<size_t>(height - 1) * rowBytes;
  if (s.scaler) {
    const uint8_t* source[4] = {topRow, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {-rowBytes, 0, 0, 0};
    return sws_scale(s.scaler.get(), source, sourceStride, 0, height, f.data, f.linesize) == height;
  }
  av_image_copy_plane(f.data[0], f.linesize[0], topRow, -rowBytes, rowBytes, height);
  return true;
}

// Writes a full frame: the stored sample is the pixels as handed in.
bool WriteFullFrame(AviWriter::State& s, uint32_t n, const uint8_t* pixels) {
  AVPacket* packet = av_packet_alloc();
  if (packet == nullptr) return false;
  PacketPtr owner(packet);
  // Not reference-counted: the muxer writes the bytes before av_write_frame returns.
  packet->data = const_cast<uint8_t*>(pixels);
  packet->size = static_cast<int>(s.input.biSizeImage);
  packet->flags = AV_PKT_FLAG_KEY;
  packet->stream_index = s.stream->index;
  packet->pts = packet->dts = av_rescale_q(n, s.frameTime, s.stream->time_base);
  packet->duration = av_rescale_q(1, s.frameTime, s.stream->time_base);
  return av_write_frame(s.output.get(), packet) >= 0;
}

// Sends the encoder's picture (filled by FillEncoderFrame) as frame n.
bool SendEncoderFrame(AviWriter::State& s, uint32_t n) {
  AVFrame& f = *s.frame;
  f.pts = n;
  f.pict_type = AV_PICTURE_TYPE_I;  // every frame is asked for as a key frame
  f.key_frame = 1;
  f.quality = s.encoder->global_quality;
  return avcodec_send_frame(s.encoder.get(), &f) >= 0;
}

// The encoding thread's steps: consume reads the pixels (for full frames that is the whole
// write), encode does the rest.
bool ConsumeFrame(AviWriter::State& s, uint32_t n, const uint8_t* pixels) {
  return s.encoder ? FillEncoderFrame(s, pixels) : WriteFullFrame(s, n, pixels);
}
bool EncodeConsumedFrame(AviWriter::State& s, uint32_t n) {
  return !s.encoder || (SendEncoderFrame(s, n) && WriteReadyPackets(s));
}

bool StartEncodingThread(AviWriter::State& s) {
  AviWriter::State* state = &s;
  auto thread = std::make_unique<EncodingThread>(
      [state](uint32_t n, const uint8_t* pixels) { return ConsumeFrame(*state, n, pixels); },
      [state](uint32_t n, const uint8_t*) { return EncodeConsumedFrame(*state, n); });
  if (!thread->Start()) return false;
  s.encodingThread = std::move(thread);
  return true;
}

}  // namespace

bool OpenAviStream(AviWriter& writer, std::u16string_view path, const BITMAPINFOHEADER& input,
                   uint32_t rate, uint32_t scale) {
  AviWriter::State& s = *writer.state_;
  if (!s.initialised || s.streamOpen || s.output) return false;
  // Failures reach the caller as results; the encoders' own statistics and warnings would only
  // clutter the terminal of a command-line export.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_FATAL); });
  if (scale == 0) scale = 1;
  if (!IsFrameHeader(input) || rate == 0 || rate > INT_MAX || scale > INT_MAX) return false;
  const Recipe* recipe = FindRecipe(s.compressor.name);
  if (recipe == nullptr) return false;
  s.input = input;
  s.frameTime = AVRational{static_cast<int>(scale), static_cast<int>(rate)};
  s.framesHandedIn = 0;

  // The file first (an existing one is replaced), then the compressor, then the stream.
  // Always a plain file: without the "file:" prefix libavformat would read a name such as
  // "pipe:1" or "tcp:host" as another protocol.
  const std::string url = "file:" + ToUtf8(path);
  AVFormatContext* output = nullptr;
  if (avformat_alloc_output_context2(&output, nullptr, "avi", url.c_str()) < 0) return false;
  s.output.reset(output);
  if (avio_open(&s.output->pb, url.c_str(), AVIO_FLAG_WRITE) < 0) return false;

  if (recipe->encoder != nullptr && !OpenEncoder(s, *recipe)) return false;

  s.stream = avformat_new_stream(s.output.get(), nullptr);
  if (s.stream == nullptr) return false;
  s.stream->time_base = s.frameTime;
  s.stream->avg_frame_rate = av_inv_q(s.frameTime);
  Dictionary muxerOptions;
  if (s.encoder) {
    if (avcodec_parameters_from_context(s.stream->codecpar, s.encoder.get()) < 0) return false;
  } else {
    AVCodecParameters& p = *s.stream->codecpar;
    p.codec_type = AVMEDIA_TYPE_VIDEO;
    p.codec_id = AV_CODEC_ID_RAWVIDEO;
    p.format = AV_PIX_FMT_RGB32;  // the muxer's name for 32-bit BI_RGB
    p.width = input.biWidth;
    p.height = input.biHeight;
    p.bits_per_coded_sample = 32;
    // The frames go in bottom row first, as they are; the stream format says so with a
    // positive height.
    muxerOptions.Set("flipped_raw_rgb", "1");
  }
  s.stream->codecpar->codec_tag = s.compressor.fourcc;
  if (avformat_write_header(s.output.get(), &muxerOptions.entries) < 0) return false;
  s.headerWritten = true;
  if (s.pipelined && !StartEncodingThread(s)) return false;
  s.streamOpen = true;
  return true;
}

bool WriteAviFrame(AviWriter& writer, uint32_t n, const uint8_t* pixels, uint32_t byteCount,
                   const uint8_t* previousPixels) {
  AviWriter::State& s = *writer.state_;
  if (!s.streamOpen || n != s.framesHandedIn || pixels == nullptr ||
      byteCount != s.input.biSizeImage) {
    return false;
  }
  if (s.encodingThread) {
    if (!s.encodingThread->Hand(n, pixels)) return false;
    ++s.framesHandedIn;
    return true;
  }
  if (!s.encoder) {
    if (!WriteFullFrame(s, n, pixels)) return false;
    ++s.framesHandedIn;
    return true;
  }
  if (!FillEncoderFrame(s, pixels) || !SendEncoderFrame(s, n)) return false;
  ++s.framesHandedIn;
  return WriteReadyPackets(s);
}

bool CloseAviWriter(AviWriter& writer) {
  AviWriter::State& s = *writer.state_;
  if (!s.initialised) return true;
  bool complete = true;
  // The frames handed to the encoding thread first: they belong to the file.
  if (s.encodingThread) complete = s.encodingThread->Finish();
  s.encodingThread.reset();
  if (s.headerWritten) {
    // Frames still inside the encoder belong to the file; then the index and the headers.
    if (s.encoder) {
      complete =
          avcodec_send_frame(s.encoder.get(), nullptr) >= 0 && WriteReadyPackets(s) && complete;
    }
    complete = av_write_trailer(s.output.get()) >= 0 && complete;
  }
  s.scaler.reset();
  s.frame.reset();
  s.packet.reset();
  s.encoder.reset();
  s.stream = nullptr;
  // Closes the file; a failure to write out its last bytes shows only here.
  if (s.output && s.output->pb != nullptr) {
    avio_flush(s.output->pb);
    if (s.output->pb->error < 0) complete = false;
  }
  s.output.reset();
  const int threads = s.encoderThreads;
  const bool pipelined = s.pipelined;
  s = AviWriter::State{};  // the choice is gone too: the next export chooses again
  s.encoderThreads = threads;
  s.pipelined = pipelined;
  return complete;
}

}  // namespace tavrona
