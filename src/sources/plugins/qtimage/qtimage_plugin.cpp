// qtimage.spi: the image plug-in shipped with the program. It decodes every format Qt's image
// readers offer (PNG, JPEG, GIF and whatever else is installed) and hands the picture over as
// a 24-bit bottom-up bitmap. An alpha channel is dropped: the colours stay as stored.
// Run-length coded BMP files are decoded here instead (run_length_bitmap.h says why), and an
// uncompressed BMP file cut short reaches Qt padded to its full length, its missing pixels
// blacked out afterwards (truncated_bitmap.h).
#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "run_length_bitmap.h"
#include "sources/image_plugin.h"
#include "truncated_bitmap.h"

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

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

QByteArray ReadFile(const char* fileName, intptr_t offset) {
  if (offset != 0) return {};  // pictures embedded in other files are not supported
  QFile file(QString::fromUtf8(fileName));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// Hands a picture over in the layout GetPicture promises: a 40-byte header (and 4 more bytes)
// in one malloc block, the rows (24 bits, bottom-up, padded) in another. Takes ownership of
// rows, a malloc block of stride * height bytes.
int HandOver(int width, int height, unsigned char* rows, void** info, void** pixels) {
  const int64_t stride = (static_cast<int64_t>(width) * 24 + 31) / 32 * 4;
  auto* header = static_cast<TavronaBitmapInfoHeader*>(
      std::calloc(1, sizeof(TavronaBitmapInfoHeader) + sizeof(TavronaRgbQuad)));
  if (header == nullptr) {
    std::free(rows);
    return 1;
  }
  header->biSize = sizeof(TavronaBitmapInfoHeader);
  header->biWidth = width;
  header->biHeight = height;
  header->biPlanes = 1;
  header->biBitCount = 24;
  header->biCompression = TAVRONA_BI_RGB;
  header->biSizeImage = static_cast<uint32_t>(stride * height);
  *info = header;
  *pixels = rows;
  return 0;
}

// 0 with the picture handed over, 1 on failure, -1 when the bytes are not run-length coded.
int DecodeRunLength(const char* data, qsizetype length, void** info, void** pixels) {
  tavrona::qtimage::RunLengthPicture picture;
  switch (tavrona::qtimage::DecodeRunLengthBitmap(reinterpret_cast<const uint8_t*>(data),
                                                  static_cast<size_t>(length), picture)) {
    case tavrona::qtimage::RunLengthResult::kNotRunLength:
      return -1;
    case tavrona::qtimage::RunLengthResult::kInvalid:
      return 1;
    case tavrona::qtimage::RunLengthResult::kDecoded:
      break;
  }
  auto* rows = static_cast<unsigned char*>(std::malloc(picture.rows.size()));
  if (rows == nullptr) return 1;
  std::memcpy(rows, picture.rows.data(), picture.rows.size());
  return HandOver(picture.width, picture.height, rows, info, pixels);
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

TAVRONA_SPI_EXPORT int GetPicture(const char* data, intptr_t length, unsigned int flag, void** info,
                                  void** pixels, TavronaSpiProgress progress, intptr_t userValue) {
  if (data == nullptr || info == nullptr || pixels == nullptr || length < 0) return 1;
  if (progress != nullptr && progress(0, 1, userValue) != 0) return 1;
  QByteArray fileBytes;
  if ((flag & 7u) != TAVRONA_SPI_INPUT_MEMORY) {
    fileBytes = ReadFile(data, length);
    if (fileBytes.isEmpty()) return 1;
    data = fileBytes.constData();
    length = fileBytes.size();
  }
  if (const int decoded = DecodeRunLength(data, length, info, pixels); decoded >= 0) {
    if (decoded == 0 && progress != nullptr) progress(1, 1, userValue);
    return decoded;
  }
  tavrona::qtimage::TruncatedBitmap cut;
  const tavrona::qtimage::TruncationResult truncation = tavrona::qtimage::FindTruncatedBitmap(
      reinterpret_cast<const uint8_t*>(data), static_cast<size_t>(length), cut);
  if (truncation == tavrona::qtimage::TruncationResult::kTooLarge) return 1;
  const bool truncated = truncation == tavrona::qtimage::TruncationResult::kTruncated;
  std::unique_ptr<char, FreeDeleter> padded;
  if (truncated) {
    padded.reset(static_cast<char*>(std::calloc(cut.fullLength, 1)));
    if (padded == nullptr) return 1;
    std::memcpy(padded.get(), data, static_cast<size_t>(length));
  }
  QImage image = truncated ? ReadFromMemory(padded.get(), static_cast<qsizetype>(cut.fullLength))
                           : ReadFromMemory(data, length);
  if (image.isNull()) return 1;
  // The missing pixels are found by the file's geometry; a picture of another size is not one
  // they can be found in.
  if (truncated && (image.width() != cut.width || image.height() != cut.rows)) return 1;
  // Blue, green, red per pixel, rows padded to 4 bytes: a 24-bit bitmap's rows, top-down.
  image = image.convertToFormat(QImage::Format_BGR888);
  if (image.isNull()) return 1;
  const int width = image.width();
  const int height = image.height();
  const int64_t stride = (static_cast<int64_t>(width) * 24 + 31) / 32 * 4;
  const int64_t byteCount = stride * height;
  if (width <= 0 || height <= 0 || byteCount > INT32_MAX) return 1;

  auto* rows = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(byteCount)));
  if (rows == nullptr) return 1;
  for (int y = 0; y < height; ++y) {
    unsigned char* row = rows + static_cast<size_t>(height - 1 - y) * stride;
    std::memcpy(row, image.constScanLine(y), static_cast<size_t>(width) * 3);
    std::memset(row + width * 3, 0, static_cast<size_t>(stride - width * 3));
  }
  if (truncated) tavrona::qtimage::BlackOutMissingPixels(cut, rows, static_cast<size_t>(stride));
  if (HandOver(width, height, rows, info, pixels) != 0) return 1;
  if (progress != nullptr) progress(1, 1, userValue);
  return 0;
}

}  // extern "C"
