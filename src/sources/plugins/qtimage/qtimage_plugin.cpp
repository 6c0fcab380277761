// qtimage.spi: the image plug-in shipped with the program. It decodes every format Qt's image
// readers offer (PNG, JPEG, GIF and whatever else is installed) and hands the picture over as
// a 24-bit bottom-up bitmap. An alpha channel is dropped: the colours stay as stored.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstdlib>
#include <cstring>

#include "sources/image_plugin.h"

namespace {

// Reads the picture from an in-memory file; the data is not copied.
QImage ReadFromMemory(const char* data, qsizetype length) {
  QByteArray bytes = QByteArray::fromRawData(data, length);
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return {};
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  return reader.read();
}

QImage ReadFromFile(const char* fileName, intptr_t offset) {
  if (offset != 0) return {};  // pictures embedded in other files are not supported
  QImageReader reader(QString::fromUtf8(fileName));
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  return reader.read();
}

}  // namespace

extern "C" {

TAVRONA_SPI_EXPORT int IsSupported(const char* /*fileName*/, const void* head) {
  if (head == nullptr) return 0;
  QByteArray bytes =
      QByteArray::fromRawData(static_cast<const char*>(head), TAVRONA_SPI_PROBE_SIZE);
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return 0;
  // Only the content decides: the probe block carries no file name.
  return QImageReader::imageFormat(&buffer).isEmpty() ? 0 : 1;
}

TAVRONA_SPI_EXPORT int GetPicture(const char* data, intptr_t length, unsigned int flag,
                                  void** info, void** pixels, TavronaSpiProgress progress,
                                  intptr_t userValue) {
  if (data == nullptr || info == nullptr || pixels == nullptr || length < 0) return 1;
  if (progress != nullptr && progress(0, 1, userValue) != 0) return 1;
  QImage image = (flag & 7u) == TAVRONA_SPI_INPUT_MEMORY ? ReadFromMemory(data, length)
                                                         : ReadFromFile(data, length);
  if (image.isNull()) return 1;
  // Blue, green, red per pixel, rows padded to 4 bytes: a 24-bit bitmap's rows, top-down.
  image = image.convertToFormat(QImage::Format_BGR888);
  if (image.isNull()) return 1;
  const int width = image.width();
  const int height = image.height();
  const int64_t stride = (static_cast<int64_t>(width) * 24 + 31) / 32 * 4;
  const int64_t byteCount = stride * height;
  if (width <= 0 || height <= 0 || byteCount > INT32_MAX) return 1;

  auto* header = static_cast<TavronaBitmapInfoHeader*>(
      std::calloc(1, sizeof(TavronaBitmapInfoHeader) + sizeof(TavronaRgbQuad)));
  auto* rows = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(byteCount)));
  if (header == nullptr || rows == nullptr) {
    std::free(header);
    std::free(rows);
    return 1;
  }
  header->biSize = sizeof(TavronaBitmapInfoHeader);
  header->biWidth = width;
  header->biHeight = height;
  header->biPlanes = 1;
  header->biBitCount = 24;
  header->biCompression = TAVRONA_BI_RGB;
  header->biSizeImage = static_cast<uint32_t>(byteCount);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = rows + static_cast<size_t>(height - 1 - y) * stride;
    std::memcpy(row, image.constScanLine(y), static_cast<size_t>(width) * 3);
    std::memset(row + width * 3, 0, static_cast<size_t>(stride - width * 3));
  }
  *info = header;
  *pixels = rows;
  if (progress != nullptr) progress(1, 1, userValue);
  return 0;
}

}  // extern "C"
