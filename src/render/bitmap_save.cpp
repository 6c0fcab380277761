#include "render/bitmap_save.h"

#include <cstring>

#include "app/atomic_file.h"

namespace tavrona {
namespace {

template <class T>
void Put(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

std::string BmpFileBytes(const FrameBuffer& picture) {
  if (picture.Empty()) return {};
  constexpr uint32_t kHeaders = 14 + sizeof(BITMAPINFOHEADER);
  std::string out;
  out.reserve(kHeaders + picture.byteSize);
  out += "BM";
  Put<uint32_t>(out, kHeaders + picture.byteSize);
  Put<uint16_t>(out, 0);
  Put<uint16_t>(out, 0);
  Put<uint32_t>(out, kHeaders);
  BITMAPINFOHEADER header = picture.header;
  header.biSizeImage = picture.byteSize;
  Put(out, header);
  out.append(reinterpret_cast<const char*>(picture.pixels), picture.byteSize);
  return out;
}

bool SaveFrameBufferBmp(const FrameBuffer& picture, const std::filesystem::path& path) {
  const std::string bytes = BmpFileBytes(picture);
  return !bytes.empty() && WriteFileAtomically(path, bytes);
}

}  // namespace tavrona
