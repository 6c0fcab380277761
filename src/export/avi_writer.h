// AviWriter: writes the export's frames into a movie file with one video stream, either as full
// uncompressed frames or through one of the compressors libavcodec offers for the container:
// AVI, or MP4, MKV and MOV chosen by the output path's extension.
//
// Frames handed in are frame buffers: W x H, 32 bits per pixel, rows bottom-up, W * 4 * H
// bytes. Full frames are stored exactly so: the stream format is the frames' own 40-byte
// BI_RGB header and every sample is the W * 4 * H bytes as handed in, flagged as a key frame.
// Compressors are asked for a key frame on every frame.
//
// States: idle -> initialised (InitAviWriter) -> stream open (OpenAviStream) -> frames written
// in increasing order from 0 -> idle (CloseAviWriter). The file is complete and playable once
// CloseAviWriter has run, whether after the last frame or part-way (abort, error).
//
// Room for every frame and for the closing index is claimed from the file system before the
// frame is handed to the muxer (OutputFile), so a full disk or a file size limit stops the
// export at a whole frame: the file closes readable with FramesStored() frames.
//
// Every operation reports failure as false and keeps what failed in ErrorText(); the caller
// words it for the user. Used on one
// thread (the user-interface thread); the encoder may run worker threads of its own.
//
// Pipelined mode (SetPipelined): the stream gets one encoding thread of its own. WriteAviFrame
// hands frame n's pixels to that thread and returns once frame n - 1 has been fully consumed
// (its pixels are never read again), so the caller composes frame n + 1 into frame n - 1's
// buffer while frame n is converted, compressed and written. The caller therefore keeps frame
// n's pixels unchanged until the next WriteAviFrame has returned or CloseAviWriter has run;
// alternating between two buffers does exactly that. A frame that fails on the encoding thread
// after it was handed in is reported by the next WriteAviFrame (false) or, for the last one, by
// CloseAviWriter (false); the encoding thread writes no frame after a failed one. The bytes
// written do not depend on the mode.
//
// Sound (ChooseSoundCodec): the stream gets a second, sound stream of the mix's samples
// (export/sound_stream.h). Frame n's samples are handed in by WriteAviSound before
// WriteAviFrame(n) and written with the frame, by the same thread that writes the frame (the
// encoding thread in pipelined mode), so every muxer write comes from one thread. Sound packets
// go into the file among the picture packets by their times (never by when the encoders hand
// them out), so the bytes do not depend on the mode or on timing either. The samples are
// copied: the caller's buffer is free again once WriteAviSound returns. Without a chosen sound
// codec the file is the same as ever, byte for byte.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/late_ptr.h"
#include "model/win_types.h"

namespace tavrona {

// What a front end says of a compressor beside its title.
enum class CompressorNote {
  None,          // the title alone ("Motion JPEG")
  Lossless,      // the title and that it compresses without loss ("FFV1 (lossless)")
  Uncompressed,  // full frames, stored as they are (no title)
};

// One entry of the compressor choice.
struct AviCompressor {
  std::string name;            // the key ChooseCompressor takes ("raw", "mjpeg", ...)
  std::u16string description;  // the Japanese wording of title and note (the command line's)
  uint32_t fourcc = 0;         // handler code of the stream header and strf; 0 = full frames
  std::string title;           // the codec's own name ("FFV1"); empty for full frames
  CompressorNote note = CompressorNote::None;
};

inline constexpr char kFullFramesCompressor[] = "raw";

constexpr uint32_t MakeFourCc(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// The containers the writer makes. The output path's extension chooses: ".mp4" (or ".m4v"),
// ".mkv", ".mov", and AVI for every other name. AVI streams code every frame as a key frame;
// in the others a codec with groups of pictures uses them (closed, so each key frame starts a
// decodable stream, and at fixed frames: KeyFrameInterval).
enum class OutputContainer { Avi, Mp4, Mkv, Mov };
OutputContainer ContainerForPath(std::u16string_view path);
// "avi", "mp4", "mkv", "mov".
std::optional<OutputContainer> ContainerNamed(std::string_view name);
const char* ContainerName(OutputContainer container);
// The libavformat muxer that writes it ("avi", "mp4", "matroska", "mov").
const char* ContainerMuxer(OutputContainer container);

// The distance K between the key frames a whole export places at frames 0, K, 2K, ...: 1 where
// every frame is coded on its own (every codec in AVI, and the codecs without groups of
// pictures), two seconds of frames at rate / scale per second for H.264 in MP4, MKV and MOV. An
// export of a frame range holds the whole export's frames only when the range starts at a
// multiple of K and ends before one (or at the project's end).
uint32_t KeyFrameInterval(std::string_view codec, OutputContainer container, uint32_t rate,
                          uint32_t scale);

// The compressors this machine can write into the container: full frames ("raw") first where
// the container takes them (always in AVI), then every known compressor whose encoder this
// libavcodec has and the container's muxer accepts.
std::vector<AviCompressor> ListCompressors(OutputContainer container);
std::vector<AviCompressor> ListAviCompressors();  // ListCompressors(OutputContainer::Avi)

class AviWriter {
 public:
  AviWriter();
  ~AviWriter();  // closes like CloseAviWriter
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  bool Initialised() const;
  bool StreamOpen() const;
  // The chosen compressor; full frames when nothing was chosen.
  const AviCompressor& Compressor() const;
  // Frames handed to WriteAviFrame since the stream was opened.
  uint32_t FramesHandedIn() const;
  // Frames whose data the file holds (a reader decodes them) since the stream was opened. Read
  // it when no frame is in flight: after a sequential write, or after CloseAviWriter, which
  // keeps it until the next stream opens.
  uint32_t FramesStored() const;
  // The first failure since the stream was opened, in words: the system's error text for the
  // file ("No space left on device"), otherwise what failed. Empty when nothing failed; kept
  // across CloseAviWriter like FramesStored.
  const std::string& ErrorText() const;
  // A comment stored in the next streams' file metadata (AVI: the INFO list's ICMT); empty
  // for none. Kept until changed.
  void SetComment(std::string comment);

  // Encoder worker threads for the next OpenAviStream: 0 lets the encoder pick one per core,
  // 1 encodes on the calling thread. The written bytes do not depend on it.
  void SetEncoderThreads(int threads);

  // The sound codec chosen for the next stream (ChooseSoundCodec); empty: no sound stream.
  const std::string& SoundCodecName() const;
  // Whether the open stream has a sound stream, which then wants WriteAviSound for every frame.
  bool HasSound() const;

  // Pipelined mode (see above) for the next OpenAviStream; off (sequential: every frame is
  // written before WriteAviFrame returns) until set. Kept across CloseAviWriter.
  void SetPipelined(bool pipelined);
  bool Pipelined() const;

  struct State;  // the file, stream, encoder and buffers; defined with the operations

 private:
  friend bool ChooseCompressor(AviWriter&, std::string_view);
  friend void InitAviWriter(AviWriter&);
  friend bool OpenAviStream(AviWriter&, std::u16string_view, const BITMAPINFOHEADER&, uint32_t,
                            uint32_t);
  friend bool WriteAviFrame(AviWriter&, uint32_t, const uint8_t*, uint32_t, const uint8_t*);
  friend bool ChooseSoundCodec(AviWriter&, std::string_view);
  friend bool WriteAviSound(AviWriter&, uint32_t, const float*, int64_t);
  friend bool CloseAviWriter(AviWriter&);
  std::unique_ptr<State> state_;
};

// Makes a writer owned through the project's LatePtr, and the function that destroys it.
void DestroyAviWriter(AviWriter* writer);
LatePtr<AviWriter> MakeAviWriter();

// Chooses the compressor for the next stream by its name from ListAviCompressors. False, and
// the choice unchanged, while a stream is open or when the name is not offered here.
bool ChooseCompressor(AviWriter& writer, std::string_view compressorName);

// Chooses the sound codec of the next stream by its name ("pcm", "flac", "aac", "alac": see
// ListSoundCodecs and PartSoundCodec in export/sound_stream.h), or no sound stream for the empty
// name. OpenAviStream fails when the output's container cannot hold it. False, and the choice
// unchanged, while a stream is open or for an unknown name.
bool ChooseSoundCodec(AviWriter& writer, std::string_view soundCodecName);

// Hands in the sound of frame n, the next frame to be written: `pairs` stereo sample pairs,
// 2 * pairs floats interleaved (left, right) at 48 kHz, copied. WriteAviFrame(n) writes them
// with the frame. False when the open stream has no sound, n is not the next frame or pairs is
// negative.
bool WriteAviSound(AviWriter& writer, uint32_t n, const float* interleaved, int64_t pairs);

// Marks the writer initialised (the export's start does this after CloseAviWriter).
void InitAviWriter(AviWriter& writer);

// Creates (or replaces) the file at path (UTF-16) and its video stream for frames described by
// input (40 bytes, 32-bit BI_RGB, positive height, image size W * 4 * H). The stream's frame
// rate is rate / scale frames per second (scale 0 counts as 1). Starts the chosen compressor.
// False when the writer is not initialised or a stream is already open, for an input header
// that is not such a frame, a zero rate, or when the file, the encoder or the stream cannot be
// made; what was opened stays until CloseAviWriter.
bool OpenAviStream(AviWriter& writer, std::u16string_view path, const BITMAPINFOHEADER& input,
                   uint32_t rate, uint32_t scale);

// Compresses and writes frame n. Frames must come in order from 0 without gaps; pixels holds
// byteCount = W * 4 * H bytes, bottom row first. previousPixels is frame n - 1 (may be null);
// the compressors offered code every frame on its own, so it is not read. False (nothing
// written for the frame) when no stream is open, n is not the next frame, the size is wrong,
// or compression or writing fails, or when the stream has sound and frame n's was not handed in
// (WriteAviSound). An encoder with worker threads may hand a frame's data out
// only on a later call or at CloseAviWriter.
// Pipelined: true once frame n is handed to the encoding thread and frame n - 1 is consumed;
// pixels must then stay unchanged until the next call returns or CloseAviWriter. False (frame
// n not handed in) also when an earlier frame failed on the encoding thread.
bool WriteAviFrame(AviWriter& writer, uint32_t n, const uint8_t* pixels, uint32_t byteCount,
                   const uint8_t* previousPixels);

// Ends everything: waits for the pipelined frame still in flight, drains the encoder (and the
// sound encoder) into the file, completes the file (index, headers) so that it plays with every
// frame written so far, closes it and frees the encoder, the encoding thread and the buffers. The
// compressor and sound codec choices are cleared. Safe at any time, also twice; does nothing (true)
// unless initialised. False when a frame handed in could not be written after all (the encoding
// thread's failure, or the encoder's drain) or the file could not be completed; the file is closed
// either way.
bool CloseAviWriter(AviWriter& writer);

}  // namespace tavrona
