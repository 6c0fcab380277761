#include "export/avi_writer.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "export/avi_header.h"
#include "export/output_file.h"
#include "export/sound_stream.h"
#include "model/sound_samples.h"
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

// A dictionary of options; whatever an open call did not consume is freed with it.
struct Dictionary {
  AVDictionary* entries = nullptr;
  Dictionary() = default;
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  ~Dictionary() { av_dict_free(&entries); }
  void Set(const char* key, const char* value) { av_dict_set(&entries, key, value, 0); }
};

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
  const char* title;
  CompressorNote note;
  int threadType;
  // keyEveryFrame: the container's streams are coded frame by frame (AVI); otherwise the
  // codec may use its long groups of pictures.
  void (*configure)(AVCodecContext& context, Dictionary& options, bool keyEveryFrame);
  // Rewrites a packet before it is written; false when that fails. May be null.
  bool (*tidyPacket)(AVPacket& packet);
  // Outside AVI the codec codes groups of pictures of TwoSecondsOfFrames, not frame by frame.
  bool groupsOfPictures = false;
};

// x264's frame threads in groups of pictures, whatever the machine (see ConfigureX264).
constexpr int kX264GroupThreads = 4;

// 4:2:0 chroma for even sizes; odd sizes keep full chroma, as the last chroma column of an odd
// width does not come back right through libavcodec's JPEG coder and x264 refuses it.
AVPixelFormat SubsampledUnlessOdd(const AVCodecContext& c) {
  return c.width % 2 == 0 && c.height % 2 == 0 ? AV_PIX_FMT_YUV420P : AV_PIX_FMT_YUV444P;
}

void ConfigureMjpeg(AVCodecContext& c, Dictionary&, bool) {
  c.pix_fmt = SubsampledUnlessOdd(c);
  c.color_range = AVCOL_RANGE_JPEG;  // JPEG's own full range
  c.colorspace = AVCOL_SPC_BT470BG;
  c.flags |= AV_CODEC_FLAG_QSCALE;
  c.global_quality = FF_QP2LAMBDA * 3;
}

void ConfigureFfv1(AVCodecContext& c, Dictionary& options, bool) {
  c.pix_fmt = AV_PIX_FMT_0RGB32;  // the frames' own byte order
  c.gop_size = 1;                 // a key frame (fresh coder state) on every frame
  c.slices = 4;
  options.Set("level", "3");  // version 3: slices, per-slice CRCs
  options.Set("slicecrc", "1");
}

void ConfigureHuffyuv(AVCodecContext& c, Dictionary&, bool) {
  c.pix_fmt = AV_PIX_FMT_RGB32;  // bytes B, G, R, A: the frames' own byte order
}

void ConfigureUtVideo(AVCodecContext& c, Dictionary&, bool) {
  c.pix_fmt = AV_PIX_FMT_GBRP;
}

// Two seconds of frames, at least one.
int TwoSecondsOfFrames(AVRational framerate) {
  if (framerate.num <= 0 || framerate.den <= 0) return 1;
  return std::max(
      1, static_cast<int>((2 * int64_t{framerate.num} + framerate.den / 2) / framerate.den));
}

void ConfigureX264(AVCodecContext& c, Dictionary& options, bool keyEveryFrame) {
  c.pix_fmt = SubsampledUnlessOdd(c);
  c.colorspace = AVCOL_SPC_BT470BG;
  c.color_range = AVCOL_RANGE_MPEG;
  options.Set("preset", "medium");
  if (!keyEveryFrame) {
    // MP4, MKV and MOV: closed groups of pictures with B-frames, an IDR frame at every
    // KeyFrameInterval-th frame from 0 and nowhere else (no scene-cut key frames), so that an
    // export in parts cut at those frames decodes to the whole export's frames. For that each
    // group must be coded alike whether the stream starts with it or not: a constant quantiser
    // (with a rate factor a key frame's quantiser follows the frames coded before it), and a
    // fixed number of frame threads (the thread count bounds the motion search between frames in
    // flight, so it would shape the bitstream, and nodes of a cluster differ in cores).
    c.gop_size = TwoSecondsOfFrames(c.framerate);
    c.keyint_min = c.gop_size;
    c.flags |= AV_CODEC_FLAG_CLOSED_GOP;
    c.thread_count = kX264GroupThreads;
    // 25 keeps the size and quality near those of the rate factor 20 with ten-second groups
    // used before (the demo: 1.51 MB at 46.4 dB PSNR, against 1.43 MB at 46.4 dB).
    options.Set("qp", "25");
    options.Set("x264-params", "scenecut=0");
    return;
  }
  options.Set("crf", "20");
  c.gop_size = 1;  // every frame an IDR frame
  c.max_b_frames = 0;
  // A key frame on every frame needs no look-ahead; without it x264's frame threads start
  // each frame from the same rate-control state as a single thread would. qcomp=1 makes the
  // rate factor a constant quantiser (adapted within the frame only), so no frame's coding
  // depends on the frames before it: an export in parts codes every frame as a whole export.
  options.Set("x264-params", "rc-lookahead=0:sync-lookahead=0:sliced-threads=0:qcomp=1");
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
    {kFullFramesCompressor, nullptr, u"全フレーム (非圧縮)", 0, "", CompressorNote::Uncompressed, 0,
     nullptr, nullptr},
    {"mjpeg", "mjpeg", u"Motion JPEG", MakeFourCc('M', 'J', 'P', 'G'), "Motion JPEG",
     CompressorNote::None, FF_THREAD_FRAME, ConfigureMjpeg, nullptr},
    {"ffv1", "ffv1", u"FFV1 (可逆圧縮)", MakeFourCc('F', 'F', 'V', '1'), "FFV1",
     CompressorNote::Lossless, FF_THREAD_SLICE, ConfigureFfv1, nullptr},
    {"ffvhuff", "ffvhuff", u"FFVHuff (可逆圧縮)", MakeFourCc('F', 'F', 'V', 'H'), "FFVHuff",
     CompressorNote::Lossless, FF_THREAD_FRAME, ConfigureHuffyuv, nullptr},
    {"huffyuv", "huffyuv", u"HuffYUV (可逆圧縮)", MakeFourCc('H', 'F', 'Y', 'U'), "HuffYUV",
     CompressorNote::Lossless, FF_THREAD_FRAME, ConfigureHuffyuv, nullptr},
    {"utvideo", "utvideo", u"Ut Video RGB (可逆圧縮)", MakeFourCc('U', 'L', 'R', 'G'),
     "Ut Video RGB", CompressorNote::Lossless, FF_THREAD_FRAME, ConfigureUtVideo, nullptr},
    {"h264", "libx264", u"H.264 (x264)", MakeFourCc('H', '2', '6', '4'), "H.264 (x264)",
     CompressorNote::None, FF_THREAD_FRAME, ConfigureX264, DropX264InfoSei, true},
};

const Recipe* FindRecipe(std::string_view name) {
  for (const Recipe& recipe : kRecipes) {
    if (name == recipe.name) return &recipe;
  }
  return nullptr;
}

// The containers, with the muxer that writes each and the extensions that choose it.
struct ContainerFormat {
  OutputContainer id;
  const char* name;
  const char* muxer;
  const char* extensions[2];
};

const ContainerFormat kContainers[] = {
    {OutputContainer::Avi, "avi", "avi", {".avi", nullptr}},
    {OutputContainer::Mp4, "mp4", "mp4", {".mp4", ".m4v"}},
    {OutputContainer::Mkv, "mkv", "matroska", {".mkv", nullptr}},
    {OutputContainer::Mov, "mov", "mov", {".mov", nullptr}},
};

const ContainerFormat& Format(OutputContainer container) {
  for (const ContainerFormat& f : kContainers) {
    if (f.id == container) return f;
  }
  return kContainers[0];
}

bool MuxerTakes(OutputContainer container, AVCodecID codec) {
  const AVOutputFormat* muxer = av_guess_format(Format(container).muxer, nullptr, nullptr);
  return muxer != nullptr && avformat_query_codec(muxer, codec, FF_COMPLIANCE_NORMAL) == 1;
}

// The recipe's encoder when this libavcodec has it and the container takes its streams.
const AVCodec* FindEncoder(const Recipe& recipe, OutputContainer container) {
  if (recipe.encoder == nullptr) return nullptr;
  const AVCodec* codec = avcodec_find_encoder_by_name(recipe.encoder);
  if (codec == nullptr || !MuxerTakes(container, codec->id)) return nullptr;
  return codec;
}

// Whether the recipe can write into the container here. Full frames (32-bit RGB) go into AVI
// and MOV; MP4 takes no uncompressed video and Matroska none in RGB.
bool Offered(const Recipe& recipe, OutputContainer container) {
  if (recipe.encoder == nullptr) {
    return container == OutputContainer::Avi || container == OutputContainer::Mov;
  }
  return FindEncoder(recipe, container) != nullptr;
}

bool OfferedAnywhere(const Recipe& recipe) {
  for (const ContainerFormat& f : kContainers) {
    if (Offered(recipe, f.id)) return true;
  }
  return false;
}

AviCompressor ToCompressor(const Recipe& recipe) {
  return AviCompressor{recipe.name, recipe.description, recipe.fourcc, recipe.title, recipe.note};
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

  std::string comment;  // for the next stream's metadata; kept across CloseAviWriter

  std::string path;            // UTF-8, of the file being written
  BITMAPINFOHEADER input{};    // the frames handed in
  AVRational frameTime{1, 1};  // scale / rate: one frame in seconds
  uint32_t framesHandedIn = 0;
  OutputContainer container = OutputContainer::Avi;
  bool keyEveryFrame = true;  // AVI: every frame coded on its own, as a key frame

  // Frames whose data is in the file: what a reader can decode after a failure. Written by the
  // encoding thread while it runs; kept across CloseAviWriter.
  uint32_t framesStored = 0;
  // The first failure in words; kept across CloseAviWriter.
  std::string errorText;

  std::string soundCodec;  // for the next stream; empty: no sound

  std::unique_ptr<OutputFile> file;  // outlives output, which borrows its I/O context
  OutputContextPtr output;           // borrows the file's I/O context
  AVStream* stream = nullptr;        // owned by output
  CodecContextPtr encoder;           // null for full frames
  bool (*tidyPacket)(AVPacket&) = nullptr;
  ScalerPtr scaler;  // null when the encoder takes the frames' byte order
  FramePtr frame;    // the encoder's input picture
  PacketPtr packet;
  std::vector<uint8_t> topDown;  // a full frame turned top row first (not AVI)

  // The sound stream, when one was chosen; its stream is owned by output. Used like the FFmpeg
  // objects above (the encoding thread's while it runs).
  std::unique_ptr<SoundStream> sound;
  // Frame n's samples in frameSound[n % 2], handed in by WriteAviSound on the caller's thread:
  // the slot of frame n - 2 is free once WriteAviFrame(n - 1) has returned, as frame n - 2 is
  // consumed by then (the EncodingThread's hand-off orders the two threads' accesses).
  // frameSoundOf names the frame each slot holds (-1: none); both are the caller's alone but for
  // the reading of frameSound by the consume step.
  std::vector<float> frameSound[2];
  int64_t frameSoundOf[2] = {-1, -1};
  // Sound packets coded but not yet written, in order. A frame-threaded picture encoder hands
  // out its packets when its threads are done, so the order in which sound and picture packets
  // come out depends on timing; the file's order must not. A sound packet is therefore written
  // just before the first picture packet whose decoding time is at or past the sound packet's
  // start plus the sound encoder's lag: by the time that picture packet is written, its frame
  // and every frame before have been consumed, so every such sound packet has been coded.
  std::deque<PacketPtr> soundQueue;

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
uint32_t AviWriter::FramesStored() const {
  return state_->framesStored;
}
const std::string& AviWriter::ErrorText() const {
  return state_->errorText;
}
const std::string& AviWriter::SoundCodecName() const {
  return state_->soundCodec;
}
bool AviWriter::HasSound() const {
  return state_->sound != nullptr;
}
void AviWriter::SetComment(std::string comment) {
  state_->comment = std::move(comment);
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

std::vector<AviCompressor> ListCompressors(OutputContainer container) {
  std::vector<AviCompressor> list;
  for (const Recipe& recipe : kRecipes) {
    if (Offered(recipe, container)) list.push_back(ToCompressor(recipe));
  }
  return list;
}

std::vector<AviCompressor> ListAviCompressors() {
  return ListCompressors(OutputContainer::Avi);
}

OutputContainer ContainerForPath(std::u16string_view path) {
  const std::string name = ToUtf8(path);
  const auto dot = name.find_last_of("./");
  if (dot == std::string::npos || name[dot] != '.') return OutputContainer::Avi;
  std::string extension = name.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const ContainerFormat& f : kContainers) {
    for (const char* e : f.extensions) {
      if (e != nullptr && extension == e) return f.id;
    }
  }
  return OutputContainer::Avi;
}

std::optional<OutputContainer> ContainerNamed(std::string_view name) {
  for (const ContainerFormat& f : kContainers) {
    if (name == f.name) return f.id;
  }
  return std::nullopt;
}

uint32_t KeyFrameInterval(std::string_view codec, OutputContainer container, uint32_t rate,
                          uint32_t scale) {
  const Recipe* recipe = FindRecipe(codec);
  if (recipe == nullptr || !recipe->groupsOfPictures || container == OutputContainer::Avi ||
      rate > INT_MAX || scale > INT_MAX) {
    return 1;
  }
  return static_cast<uint32_t>(TwoSecondsOfFrames(
      AVRational{static_cast<int>(rate), static_cast<int>(std::max(scale, 1u))}));
}

const char* ContainerName(OutputContainer container) {
  return Format(container).name;
}

const char* ContainerMuxer(OutputContainer container) {
  return Format(container).muxer;
}

bool ChooseCompressor(AviWriter& writer, std::string_view compressorName) {
  AviWriter::State& s = *writer.state_;
  if (s.streamOpen) return false;
  const Recipe* recipe = FindRecipe(compressorName);
  if (recipe == nullptr || !OfferedAnywhere(*recipe)) return false;
  s.compressor = ToCompressor(*recipe);
  return true;
}

bool ChooseSoundCodec(AviWriter& writer, std::string_view soundCodecName) {
  AviWriter::State& s = *writer.state_;
  if (s.streamOpen) return false;
  if (!soundCodecName.empty()) {
    bool known = false;
    for (OutputContainer c :
         {OutputContainer::Avi, OutputContainer::Mp4, OutputContainer::Mkv, OutputContainer::Mov}) {
      known = known || SoundCodecWritable(soundCodecName, c);
    }
    if (!known) return false;
  }
  s.soundCodec = std::string(soundCodecName);
  return true;
}

bool WriteAviSound(AviWriter& writer, uint32_t n, const float* interleaved, int64_t pairs) {
  AviWriter::State& s = *writer.state_;
  if (!s.streamOpen || !s.sound || n != s.framesHandedIn || pairs < 0 ||
      (pairs > 0 && interleaved == nullptr)) {
    return false;
  }
  std::vector<float>& slot = s.frameSound[n % 2];
  slot.assign(interleaved, interleaved + pairs * 2);
  s.frameSoundOf[n % 2] = n;
  return true;
}

void InitAviWriter(AviWriter& writer) {
  writer.state_->initialised = true;
}

namespace {

// Keeps the first failure's words: the system's for the file, FFmpeg's otherwise.
bool Fail(AviWriter::State& s, const std::string& what, int averror = 0) {
  if (!s.errorText.empty()) return false;
  if (s.file && s.file->Failed()) {
    s.errorText = s.file->ErrorText();
  } else if (averror < 0) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    s.errorText = what + ": " + text;
  } else {
    s.errorText = what;
  }
  return false;
}

// Hands one packet to the muxer; counts a picture's as a stored frame once the muxer has it.
bool MuxPacket(AviWriter::State& s, AVPacket& packet, bool picture = true) {
  // Room for the packet and the closing writes before the muxer sees any of it.
  if (!s.file->ClaimPacket(static_cast<uint64_t>(packet.size))) {
    return Fail(s, "the file cannot grow");
  }
  const int result = WritePacketThrough(*s.output, packet);
  if (result < 0) return Fail(s, "the frame cannot be written", result);
  // Out of the buffer at once, so that a failing write shows with its own frame where no room
  // could be claimed (devices, file systems without fallocate).
  if (!s.file->Flush()) return Fail(s, "the frame cannot be written");
  if (picture) ++s.framesStored;
  return true;
}

bool WriteSoundPacket(AviWriter::State& s, AVPacket& packet) {
  AVPacket* held = av_packet_clone(&packet);
  if (held == nullptr) return Fail(s, "out of memory");
  s.soundQueue.emplace_back(held);
  return true;
}

// Writes the queued sound packets due before the picture packet (see soundQueue); all of them
// for a null picture (the end).
bool WriteDueSound(AviWriter::State& s, const AVPacket* picture) {
  if (!s.sound) return true;
  const AVRational soundTime = s.sound->Stream()->time_base;
  const int64_t lag = av_rescale_q(s.sound->LagSamples(), AVRational{1, kMixRate}, soundTime);
  const int64_t pictureTime =
      picture == nullptr ? 0 : (picture->dts != AV_NOPTS_VALUE ? picture->dts : picture->pts);
  while (!s.soundQueue.empty()) {
    AVPacket& next = *s.soundQueue.front();
    if (picture != nullptr && pictureTime != AV_NOPTS_VALUE &&
        av_compare_ts(next.pts + lag, soundTime, pictureTime, s.stream->time_base) > 0) {
      return true;
    }
    if (!MuxPacket(s, next, /*picture=*/false)) return false;
    s.soundQueue.pop_front();
  }
  return true;
}

// Opens the chosen encoder for frames of the input's size. False when it cannot be had.
bool OpenEncoder(AviWriter::State& s, const Recipe& recipe) {
  const AVCodec* codec = FindEncoder(recipe, s.container);
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
  if ((s.output->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // the container keeps the codec's headers
  }
  Dictionary options;
  recipe.configure(c, options, s.keyEveryFrame);
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
  if (packet.duration == 0) packet.duration = 1;
  av_packet_rescale_ts(&packet, s.encoder->time_base, s.stream->time_base);
  const bool written = WriteDueSound(s, &packet) && MuxPacket(s, packet);
  av_packet_unref(&packet);
  return written;
}

// Takes every packet the encoder has ready and writes it. With a null frame sent before, this
// drains the encoder to its end.
bool WriteReadyPackets(AviWriter::State& s) {
  for (;;) {
    const int result = avcodec_receive_packet(s.encoder.get(), s.packet.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return Fail(s, "the encoder failed", result);
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

// Writes a full frame: in AVI the stored sample is the pixels as handed in; the other
// containers store the rows top first.
bool WriteFullFrame(AviWriter::State& s, uint32_t n, const uint8_t* pixels) {
  AVPacket* packet = av_packet_alloc();
  if (packet == nullptr) return Fail(s, "out of memory");
  PacketPtr owner(packet);
  if (s.container != OutputContainer::Avi) {
    const size_t rowBytes = static_cast<size_t>(s.input.biWidth) * 4;
    const size_t height = static_cast<size_t>(s.input.biHeight);
    s.topDown.resize(rowBytes * height);
    for (size_t y = 0; y < height; ++y) {
      std::memcpy(s.topDown.data() + y * rowBytes, pixels + (height - 1 - y) * rowBytes, rowBytes);
    }
    pixels = s.topDown.data();
  }
  // Not reference-counted: the muxer writes the bytes before av_write_frame returns.
  packet->data = const_cast<uint8_t*>(pixels);
  packet->size = static_cast<int>(s.input.biSizeImage);
  packet->flags = AV_PKT_FLAG_KEY;
  packet->stream_index = s.stream->index;
  packet->pts = packet->dts = av_rescale_q(n, s.frameTime, s.stream->time_base);
  packet->duration = av_rescale_q(1, s.frameTime, s.stream->time_base);
  return WriteDueSound(s, packet) && MuxPacket(s, *packet);
}

// Sends the encoder's picture (filled by FillEncoderFrame) as frame n.
bool SendEncoderFrame(AviWriter::State& s, uint32_t n) {
  AVFrame& f = *s.frame;
  f.pts = n;
  // AVI: every frame is asked for as a key frame; elsewhere the codec decides.
  f.pict_type = s.keyEveryFrame ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  f.key_frame = s.keyEveryFrame ? 1 : 0;
  f.quality = s.encoder->global_quality;
  const int result = avcodec_send_frame(s.encoder.get(), &f);
  return result >= 0 || Fail(s, "the encoder failed", result);
}

// Codes and writes frame n's sound (handed in by WriteAviSound), ahead of its picture.
bool WriteFrameSound(AviWriter::State& s, uint32_t n) {
  const std::vector<float>& samples = s.frameSound[n % 2];
  std::string why;
  const bool written = s.sound->Write(
      samples.data(), static_cast<int64_t>(samples.size() / 2),
      [&s](AVPacket& p) { return WriteSoundPacket(s, p); }, &why);
  return written || Fail(s, why);
}

// The encoding thread's steps: consume reads the pixels and the sound (for full frames that is
// the whole write), encode does the rest.
bool ConsumeFrame(AviWriter::State& s, uint32_t n, const uint8_t* pixels) {
  if (s.sound && !WriteFrameSound(s, n)) return false;
  return s.encoder ? FillEncoderFrame(s, pixels) : WriteFullFrame(s, n, pixels);
}
bool EncodeConsumedFrame(AviWriter::State& s, uint32_t n) {
  return !s.encoder || (SendEncoderFrame(s, n) && WriteReadyPackets(s));
}

// MP4 and MOV leave a track without samples out of the file altogether. A stream closed before
// its first frame is written again as a movie whose header describes the empty video stream: a
// fragmented movie without fragments. The muxer that wrote the first version goes without its
// trailer.
bool RewriteAsEmptyMovie(AviWriter::State& s) {
  std::unique_ptr<AVCodecParameters, void (*)(AVCodecParameters*)> parameters(
      avcodec_parameters_alloc(), [](AVCodecParameters* p) { avcodec_parameters_free(&p); });
  if (!parameters || avcodec_parameters_copy(parameters.get(), s.stream->codecpar) < 0) {
    return Fail(s, "out of memory");
  }
  const AVRational timeBase = s.stream->time_base;
  s.stream = nullptr;
  s.output.reset();
  if (!s.file->Open(s.path)) return Fail(s, "the file cannot be made");
  AVFormatContext* output = nullptr;
  if (avformat_alloc_output_context2(&output, nullptr, Format(s.container).muxer, nullptr) < 0) {
    return Fail(s, "no muxer");
  }
  s.output.reset(output);
  output->pb = s.file->Context();
  output->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (!s.comment.empty()) av_dict_set(&output->metadata, "comment", s.comment.c_str(), 0);
  AVStream* stream = avformat_new_stream(output, nullptr);
  if (stream == nullptr || avcodec_parameters_copy(stream->codecpar, parameters.get()) < 0) {
    return Fail(s, "out of memory");
  }
  stream->time_base = timeBase;
  stream->avg_frame_rate = av_inv_q(s.frameTime);
  Dictionary options;
  options.Set("movflags", "empty_moov+frag_custom");
  if (const int result = avformat_write_header(output, &options.entries); result < 0) {
    return Fail(s, "the file's header cannot be written", result);
  }
  if (const int result = av_write_trailer(output); result < 0) {
    return Fail(s, "the file cannot be completed", result);
  }
  return true;
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
  s.framesStored = 0;
  s.errorText.clear();
  s.container = ContainerForPath(path);
  s.keyEveryFrame = s.container == OutputContainer::Avi;
  if (!Offered(*recipe, s.container)) {
    return Fail(s, std::string(ContainerName(s.container)) + " cannot hold " + s.compressor.name);
  }

  // The file first (an existing one is replaced), then the compressor, then the stream.
  // Always a plain file: without the "file:" prefix libavformat would read a name such as
  // "pipe:1" or "tcp:host" as another protocol.
  s.path = ToUtf8(path);
  s.file = std::make_unique<OutputFile>();
  if (!s.file->Open(s.path)) return Fail(s, "the file cannot be made");
  AVFormatContext* output = nullptr;
  if (avformat_alloc_output_context2(&output, nullptr, Format(s.container).muxer, nullptr) < 0) {
    return Fail(s, "no muxer");
  }
  s.output.reset(output);
  s.output->pb = s.file->Context();
  s.output->flags |= AVFMT_FLAG_CUSTOM_IO;
  // Room for the headers and the closing index before anything is written.
  if (!s.file->ClaimReserve()) return Fail(s, "the file cannot grow");
  if (!s.comment.empty()) av_dict_set(&s.output->metadata, "comment", s.comment.c_str(), 0);

  if (recipe->encoder != nullptr && !OpenEncoder(s, *recipe)) {
    return Fail(s, "the compressor cannot be started");
  }

  s.stream = avformat_new_stream(s.output.get(), nullptr);
  if (s.stream == nullptr) return Fail(s, "out of memory");
  s.stream->time_base = s.frameTime;
  s.stream->avg_frame_rate = av_inv_q(s.frameTime);
  Dictionary muxerOptions;
  // The sound stream after the pictures', so that the picture stream keeps index 0.
  if (!s.soundCodec.empty()) {
    s.sound = std::make_unique<SoundStream>();
    std::string why;
    if (!s.sound->Open(*s.output, s.container, s.soundCodec, &why)) return Fail(s, why);
  }
  if (s.encoder) {
    if (avcodec_parameters_from_context(s.stream->codecpar, s.encoder.get()) < 0) return false;
  } else {
    AVCodecParameters& p = *s.stream->codecpar;
    p.codec_type = AVMEDIA_TYPE_VIDEO;
    p.codec_id = AV_CODEC_ID_RAWVIDEO;
    p.format = AV_PIX_FMT_RGB32;  // the muxer's name for 32-bit BI_RGB: bytes B, G, R, A
    p.width = input.biWidth;
    p.height = input.biHeight;
    p.bits_per_coded_sample = 32;
    // The frames go in bottom row first, as they are; the stream format says so with a
    // positive height.
    if (s.container == OutputContainer::Avi) muxerOptions.Set("flipped_raw_rgb", "1");
  }
  // AVI names the compressor by its four-character code; the others pick their own tags, but
  // for full frames, which they name by the pixel layout.
  s.stream->codecpar->codec_tag = s.container == OutputContainer::Avi ? s.compressor.fourcc : 0;
  if (!s.encoder && s.container != OutputContainer::Avi) {
    s.stream->codecpar->codec_tag = avcodec_pix_fmt_to_codec_tag(AV_PIX_FMT_RGB32);
  }
  if (const int result = avformat_write_header(s.output.get(), &muxerOptions.entries); result < 0) {
    return Fail(s, "the file's header cannot be written", result);
  }
  s.headerWritten = true;
  // AVI keeps the rate and scale exactly as given, not reduced.
  if (s.container == OutputContainer::Avi &&
      !StoreAviFrameRate(*s.file, AviFrameRate{rate, scale})) {
    return Fail(s, "the file's header cannot be written");
  }
  if (s.pipelined && !StartEncodingThread(s)) return Fail(s, "no thread for the encoder");
  s.streamOpen = true;
  return true;
}

bool WriteAviFrame(AviWriter& writer, uint32_t n, const uint8_t* pixels, uint32_t byteCount,
                   const uint8_t* previousPixels) {
  AviWriter::State& s = *writer.state_;
  if (!s.streamOpen || n != s.framesHandedIn || pixels == nullptr ||
      byteCount != s.input.biSizeImage || (s.sound && s.frameSoundOf[n % 2] != n)) {
    return false;
  }
  if (s.encodingThread) {
    if (!s.encodingThread->Hand(n, pixels)) return false;
    ++s.framesHandedIn;
    return true;
  }
  if (!s.encoder) {
    if (!ConsumeFrame(s, n, pixels)) return false;
    ++s.framesHandedIn;
    return true;
  }
  if (!ConsumeFrame(s, n, pixels) || !SendEncoderFrame(s, n)) return false;
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
    // After a failed write the encoder's remaining frames would follow a missing one.
    if (s.encoder && complete) {
      complete =
          avcodec_send_frame(s.encoder.get(), nullptr) >= 0 && WriteReadyPackets(s) && complete;
    }
    // The sound still held (the last, shorter frame) and the sound encoder's delay.
    if (s.sound && complete) {
      std::string why;
      if (!s.sound->Finish([&s](AVPacket& p) { return WriteSoundPacket(s, p); }, &why)) {
        complete = Fail(s, why);
      }
      complete = complete && WriteDueSound(s, nullptr);
    }
    if (s.framesStored == 0 &&
        (s.container == OutputContainer::Mp4 || s.container == OutputContainer::Mov)) {
      complete = RewriteAsEmptyMovie(s) && complete;
    } else if (const int trailer = av_write_trailer(s.output.get()); trailer < 0) {
      complete = Fail(s, "the file cannot be completed", trailer);
    }
  }
  s.soundQueue.clear();
  s.sound.reset();
  s.scaler.reset();
  s.frame.reset();
  s.packet.reset();
  s.encoder.reset();
  s.stream = nullptr;
  s.output.reset();
  // Closes the file; a failure to write out its last bytes shows only here.
  if (s.file && !s.file->Close()) complete = Fail(s, "the file cannot be closed");
  s.file.reset();
  const int threads = s.encoderThreads;
  const bool pipelined = s.pipelined;
  const uint32_t stored = s.framesStored;
  std::string errorText = std::move(s.errorText);
  std::string comment = std::move(s.comment);
  s = AviWriter::State{};  // the choice is gone too: the next export chooses again
  s.encoderThreads = threads;
  s.pipelined = pipelined;
  s.framesStored = stored;
  s.errorText = std::move(errorText);
  s.comment = std::move(comment);
  return complete;
}

}  // namespace tavrona
