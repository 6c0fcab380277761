// The pictures and the movie clip of the bundled demo and of the export benchmark, all drawn
// procedurally: nothing is read from anywhere. Every picture is a 32-bit frame buffer; files are
// written as 32-bit BMPs (SaveFrameBufferBmp) and the clip through the project's own AVI writer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "model/frame_buffer.h"

namespace tavrona::demo {

// Key colours of the keyed pictures, as project colours (0x00BBGGRR). Both read the same as
// pixel words, so the pictures are painted with the same values.
inline constexpr uint32_t kSkylineKey = 0x0000FF00u;  // pure green
inline constexpr uint32_t kEmblemKey = 0x00FF00FFu;   // pure magenta

// A night-sky gradient with a soft glow and scattered stars.
bool DrawBackdrop(FrameBuffer& picture, int width, int height);
// City silhouette with lit windows on a flat kSkylineKey background.
bool DrawSkyline(FrameBuffer& picture, int width, int height);
// A gold eight-petalled star with a ring on a flat kEmblemKey background (square).
bool DrawEmblem(FrameBuffer& picture, int size);
// A soft grey disc on black, for darkening by subtraction (square).
bool DrawShadow(FrameBuffer& picture, int size);
// A white glow with a horizontal streak on black, for adding light (square).
bool DrawFlare(FrameBuffer& picture, int size);
// White in the middle, darker towards the corners, for multiplying over a frame.
bool DrawVignette(FrameBuffer& picture, int width, int height);
// One of three patterned tiles for the benchmark (variant 0..2).
bool DrawTile(FrameBuffer& picture, int width, int height, int variant);

// Frame n of an animated clip of frameCount frames: a flowing colour field, three bouncing
// balls, a progress bar and a white border. The look does not depend on the size.
void DrawClipFrame(FrameBuffer& frame, uint32_t n, uint32_t frameCount);

// Writes frameCount frames of DrawClipFrame at width x height and framesPerSecond into an AVI
// file with the named compressor of ListAviCompressors(). False when the compressor is not
// offered, the file cannot be written or a frame fails.
bool WriteClip(const std::filesystem::path& path, int width, int height, uint32_t frameCount,
               uint32_t framesPerSecond, std::string_view compressor);

}  // namespace tavrona::demo
