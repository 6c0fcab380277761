#include "ui/frame_image.h"

namespace tavrona {

QImage FrameImage(const FrameBuffer& picture) {
  if (picture.Empty() || picture.header.biBitCount != 32) return QImage();
  const int width = picture.Width();
  const int height = picture.Height();
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull()) return image;
  // The buffer's words are 0x00RRGGBB; RGB32 wants the top byte set.
  for (int y = 0; y < height; ++y) {
    const uint32_t* from = picture.TopRow() - static_cast<size_t>(y) * width;
    auto* to = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) to[x] = from[x] | 0xFF000000u;
  }
  return image;
}

}  // namespace tavrona
