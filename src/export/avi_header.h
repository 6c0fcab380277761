// The frame-rate fields of an AVI file's headers: the main header's dwMicroSecPerFrame and the
// video stream header's dwScale and dwRate.
//
// libavformat writes a stream's scale and rate reduced to lowest terms (300000/10000 becomes
// 1/30), while the export stores exactly the pair it is given: the frame rate times 10000 over
// 10000. The muxer never writes these fields again after its header, so the writer and the join
// put the exact pair back into the header once it is out, and the join reads it from a part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tavrona {

class OutputFile;

// Where the fields are, as byte offsets from the start of the file.
struct AviRateFields {
  size_t microSecPerFrame = 0;  // avih
  size_t scale = 0;             // strh of the first video stream
  size_t rate = 0;
};

// Walks RIFF 'AVI ' -> LIST 'hdrl' -> avih and LIST 'strl' -> strh ('vids') in the first
// `size` bytes of a file. Nullopt when they are not all there, whole, within those bytes.
std::optional<AviRateFields> FindAviRateFields(const uint8_t* header, size_t size);

struct AviFrameRate {
  uint32_t rate = 0;  // frames per second = rate / scale
  uint32_t scale = 0;
};

// The video stream's scale and rate as the file stores them. Nullopt when the file cannot be
// read or is no AVI file with a video stream header.
std::optional<AviFrameRate> ReadAviFrameRate(const std::string& path);

// The main header's frame duration for rate / scale frames per second, rounded to the nearest
// microsecond.
uint32_t AviMicroSecPerFrame(AviFrameRate frameRate);

// Stores rate and scale (and the frame duration from them) into the header the muxer has
// written into file. True without a change when the file holds nothing that can be read back
// (a device, a pipe, a write that already failed). False (the file's error kept where it
// failed) when the bytes read back hold no such header or cannot be rewritten.
bool StoreAviFrameRate(OutputFile& file, AviFrameRate frameRate);

}  // namespace tavrona
