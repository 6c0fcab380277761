// Showing a frame buffer on screen: a QImage copy that owns its pixels, so the copy can cross
// threads and outlive the buffer.
#pragma once

#include <QImage>

#include "model/frame_buffer.h"

namespace tavrona {

// The picture as a Format_RGB32 image of the same size, top row first, every pixel opaque.
// A null image for an empty buffer or one that is not 32 bits per pixel.
QImage FrameImage(const FrameBuffer& picture);

}  // namespace tavrona
