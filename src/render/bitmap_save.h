// Saving a frame buffer as a BMP file: a 14-byte file header, the 40-byte information header
// and the pixel memory exactly as held, bottom row first.
#pragma once

#include <filesystem>
#include <string>

#include "model/frame_buffer.h"

namespace tavrona {

// The file's bytes; empty for an empty buffer.
std::string BmpFileBytes(const FrameBuffer& picture);

// Writes the file (replaced only once completely written). False for an empty buffer or when
// the file cannot be written.
bool SaveFrameBufferBmp(const FrameBuffer& picture, const std::filesystem::path& path);

}  // namespace tavrona
