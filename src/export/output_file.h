// OutputFile: the file a muxer writes into, as an AVIOContext over a plain descriptor, with the
// space for every packet and for the container's closing index claimed before anything of the
// packet is written.
//
// A muxer that runs out of room part-way through a packet leaves a file whose index names a
// frame that is not there, and no room for the index at all. Claiming the space first
// (fallocate beyond the end without growing the file) turns "disk full" into a clean refusal of
// the packet: the muxer never sees it, the frames before it are whole and the closing index
// lands in space already held. File systems without fallocate are written without the claim.
//
// The first failure (claim, write, seek) is kept with its errno and reported by ErrorText. A
// refused claim refuses only the packet it was for; a failed write or seek ends all writing.
// One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace tavrona {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // Close
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates path (UTF-8) and makes the I/O context. False (errno kept) when the
  // file cannot be made.
  bool Open(const std::string& path);
  AVIOContext* Context() const { return context_; }

  // Claims room for the next packet of `bytes` and its container framing after what the muxer
  // has written so far, plus the reserve kept for the closing index, which grows with the
  // packets claimed. False (errno kept) when the file system has no room or the process's file
  // size limit would be passed; the packet must then not be written.
  bool ClaimPacket(uint64_t bytes);
  // Claims the reserve alone: before the headers are written.
  bool ClaimReserve() { return Claim(0); }

  // Writes out what the context holds. False (errno kept) when a write fails, now or before.
  bool Flush();

  // Bytes the file holds at offset, after writing out what the context holds: how many were
  // read (fewer at the end of the file; 0 on failure and for anything but a regular file).
  size_t ReadBack(uint64_t offset, uint8_t* data, size_t size);
  // Rewrites bytes the file already holds (a header field the muxer has written out), leaving
  // the muxer's position alone. False (errno kept) when the bytes are not all within the file or
  // the write fails.
  bool WriteBack(uint64_t offset, const uint8_t* data, size_t size);

  // Flushes the context, gives back claimed space beyond the end and closes the descriptor.
  // False when any write failed (now or earlier). Safe twice.
  bool Close();

  bool Failed() const { return errorNumber_ != 0; }
  int ErrorNumber() const { return errorNumber_; }
  // The system's words for the first failure ("No space left on device"); empty when none.
  std::string ErrorText() const;

  // The I/O callbacks (public for the C callbacks only).
  int Write(const uint8_t* data, int size);
  int64_t Seek(int64_t offset, int whence);

 private:
  void Fail(int errorNumber);
  bool Claim(uint64_t bytes);

  int fd_ = -1;
  AVIOContext* context_ = nullptr;
  uint8_t* buffer_ = nullptr;  // owned by the context once it exists
  int64_t position_ = 0;       // the descriptor's position
  int64_t size_ = 0;           // the file's size
  uint64_t claimedEnd_ = 0;    // space up to here is held by fallocate
  uint64_t packets_ = 0;       // packets claimed
  bool canClaim_ = true;       // false once the file system says it has no fallocate
  int errorNumber_ = 0;        // the first failure of any kind
  bool writeFailed_ = false;   // a write or seek failed: nothing more is written
};

// Hands the packet to the muxer. Matroska gathers packets into clusters of its own before they
// reach the I/O context, which would leave room claimed for less than it writes and frames
// counted that a full disk then cuts off: its cluster is written out with each packet. The
// muxer's result (an FFmpeg error code when negative).
int WritePacketThrough(AVFormatContext& output, AVPacket& packet);

}  // namespace tavrona
