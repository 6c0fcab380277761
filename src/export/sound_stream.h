// The sound stream of an export: the mix's 48 kHz stereo float (model/sound_samples.h) coded
// by one of the sound codecs a container takes and handed to its muxer as packets.
//
// Codecs by container (the first is the default):
//   AVI  pcm (16-bit little-endian PCM)
//   MP4  aac
//   MKV  flac, aac
//   MOV  pcm, aac
// A part of an export whose sound is lossy carries lossless sound instead (PartSoundCodec), so
// that the join can code the lossy sound once over the whole.
//
// Float samples become 16-bit integers as s = clamp(round(x * 32768), -32768, 32767), rounding
// half to even: the s16 value s decodes back to exactly s / 32768, so PCM and FLAC hold the mix
// to 16-bit rounding and a decoded s16 sample coded again is the same sample. AAC is given the
// same 16-bit values (as float): a join, which decodes its parts' 16-bit sound, then gives the
// AAC coder exactly what a whole export gives it, and the coder, being deterministic, the same
// sound.
//
// One thread at a time (the writer's encoding thread while one runs, or the join).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/avi_writer.h"
#include "sources/ffmpeg_util.h"

namespace tavrona {

// One entry of the sound codec choice.
struct SoundCodec {
  std::string name;   // the key ChooseSoundCodec takes: "pcm", "flac", "aac", "alac"
  std::string title;  // the codec's own name: "PCM 16 bit", "FLAC", "AAC", "ALAC"
  CompressorNote note = CompressorNote::None;  // Uncompressed for PCM, Lossless for FLAC, ALAC
};

// The sound codecs offered for the container, the default first; only those this libavcodec
// can encode and the container's muxer takes.
std::vector<SoundCodec> ListSoundCodecs(OutputContainer container);

// Whether the named codec (any of the names above) is lossless; false for unknown names.
bool SoundCodecLossless(std::string_view name);

// What a part of an export to the container carries for finalCodec: the codec itself when it
// is lossless, otherwise the container's lossless carrier (MOV pcm, MKV flac, MP4 alac). Empty
// for an empty or unknown name, or a container without a lossless carrier here.
std::string PartSoundCodec(std::string_view finalCodec, OutputContainer container);

// Whether the writer can code the named codec into the container: the offered ones and the
// parts' carriers.
bool SoundCodecWritable(std::string_view name, OutputContainer container);

// The float-to-16-bit conversion stated above.
int16_t SoundSampleToS16(float x);

// A packet ready for the muxer: stream index set, times in the stream's time base. The callee
// writes it (the packet stays the caller's, unreferenced afterwards). False stops the coding.
using SoundPacketSink = std::function<bool(AVPacket& packet)>;

class SoundStream {
 public:
  SoundStream() = default;
  SoundStream(const SoundStream&) = delete;
  SoundStream& operator=(const SoundStream&) = delete;

  // Opens the encoder for the named codec and adds its stream to output, which has no header
  // written yet. False with *why filled when the codec is unknown here, the container does not
  // take it or the encoder cannot be opened. For Matroska the muxer is told to keep negative
  // times: AAC's first packet begins before 0 by the encoder's priming, and a shift would move
  // the pictures too.
  bool Open(AVFormatContext& output, OutputContainer container, std::string_view codec,
            std::string* why);
  bool IsOpen() const { return encoder_ != nullptr; }
  AVStream* Stream() const { return stream_; }

  // Codes `pairs` stereo sample pairs (2 * pairs floats, interleaved) following the ones before;
  // every packet the encoder completes goes to sink. False with *why when coding or the sink
  // fails.
  bool Write(const float* interleaved, int64_t pairs, const SoundPacketSink& sink,
             std::string* why);

  // Codes what is still held (a shorter last frame) and drains the encoder into sink. Once.
  bool Finish(const SoundPacketSink& sink, std::string* why);

  // Sample pairs taken by Write so far.
  int64_t PairsTaken() const { return pairsTaken_; }

  // How far the packets lag the samples given: a packet that begins at sample p comes out once
  // samples up to p + LagSamples() have been written (a frame held, the encoder's priming).
  int64_t LagSamples() const;

 private:
  bool SendFrame(const float* interleaved, int pairs, const SoundPacketSink& sink,
                 std::string* why);
  bool Drain(const SoundPacketSink& sink, std::string* why);

  CodecContextPtr encoder_;
  FramePtr frame_;
  PacketPtr packet_;
  AVStream* stream_ = nullptr;  // owned by the output context
  int frameSize_ = 0;           // pairs per frame the encoder takes; 0: any number
  std::vector<float> held_;     // pairs waiting for a whole frame, interleaved
  int64_t pairsTaken_ = 0;
  int64_t pairsSent_ = 0;  // the next frame's time, in samples
  bool finished_ = false;
};

// Appends a decoded frame's samples to out as interleaved stereo float: S16 and S32 (packed or
// planar) as their value over 2^15 or 2^31, float as it is; one channel is doubled. False for
// any other sample format or channel count.
bool AppendDecodedSound(const AVFrame& frame, std::vector<float>& out);

}  // namespace tavrona
