#include "sources/plugin_picture.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "app/process_state.h"
#include "sources/image_plugin.h"
#include "sources/read_only_file.h"

namespace tavrona {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using PluginBlock = std::unique_ptr<void, FreeDeleter>;

// Exports are looked up afresh on every use; a module may lack either.
TavronaSpiIsSupported FindIsSupported(void* module) {
  return module == nullptr ? nullptr
                           : reinterpret_cast<TavronaSpiIsSupported>(
                                 dlsym(module, TAVRONA_SPI_IS_SUPPORTED));
}
TavronaSpiGetPicture FindGetPicture(void* module) {
  return module == nullptr ? nullptr
                           : reinterpret_cast<TavronaSpiGetPicture>(
                                 dlsym(module, TAVRONA_SPI_GET_PICTURE));
}

// Copies the picture out of the plug-in's two blocks (freed by the caller's owners).
std::optional<DecodedPicture> CopyPluginPicture(const void* info, const void* pixels) {
  if (info == nullptr || pixels == nullptr) return std::nullopt;
  DecodedPicture picture;
  std::memcpy(&picture.header, info, sizeof picture.header);
  BITMAPINFOHEADER& h = picture.header;
  const std::optional<uint32_t> byteCount = PictureByteCount(h);
  if (!byteCount || h.biHeight <= 0) return std::nullopt;

  const auto* table = static_cast<const uint8_t*>(info) + sizeof(BITMAPINFOHEADER);
  size_t tableBytes = 0;
  if (h.biBitCount <= 8) {
    const uint32_t full = 1u << h.biBitCount;
    tableBytes = std::min(h.biClrUsed == 0 ? full : h.biClrUsed, full) * 4;
  } else if (h.biCompression == kBiBitFields) {
    tableBytes = 12;
  }
  if (!ReadColourTable(picture, std::span<const uint8_t>(table, tableBytes), 4)) {
    return std::nullopt;
  }
  picture.pixels.reset(new (std::nothrow) uint8_t[*byteCount]);
  if (!picture.pixels) return std::nullopt;
  std::memcpy(picture.pixels.get(), pixels, *byteCount);
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biSizeImage = *byteCount;
  return picture;
}

}  // namespace

PluginHandles ProcessPlugins() { return Process().plugins.Handles(); }

std::optional<DecodedPicture> LoadPluginPicture(const std::filesystem::path& fileName,
                                                PluginHandles plugins) {
  ReadOnlyFile file(fileName);
  if (!file.Ok()) return std::nullopt;
  const uint64_t size = file.Size();

  // Probe with the head of the file only, so that a file nobody claims is never read whole.
  {
    std::unique_ptr<uint8_t[]> head(new (std::nothrow) uint8_t[TAVRONA_SPI_PROBE_SIZE]());
    if (!head) return std::nullopt;
    if (!file.ReadAt(0, head.get(), std::min<uint64_t>(size, TAVRONA_SPI_PROBE_SIZE))) {
      return std::nullopt;
    }
    const bool claimed = std::any_of(plugins.begin(), plugins.end(), [&](void* module) {
      const TavronaSpiIsSupported isSupported = FindIsSupported(module);
      return isSupported != nullptr && isSupported(nullptr, head.get()) != 0;
    });
    if (!claimed) return std::nullopt;
  }

  // The whole file, zero-padded to at least the probe size: IsSupported reads that many bytes
  // whatever the file's length.
  if (size > static_cast<uint64_t>(INTPTR_MAX) - TAVRONA_SPI_PROBE_SIZE) return std::nullopt;
  const size_t blockSize = std::max<size_t>(static_cast<size_t>(size), TAVRONA_SPI_PROBE_SIZE);
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[blockSize]);
  if (!data) return std::nullopt;
  std::memset(data.get() + size, 0, blockSize - static_cast<size_t>(size));
  if (!file.ReadAt(0, data.get(), static_cast<size_t>(size))) return std::nullopt;

  for (void* module : plugins) {
    const TavronaSpiIsSupported isSupported = FindIsSupported(module);
    const TavronaSpiGetPicture getPicture = FindGetPicture(module);
    if (isSupported == nullptr || getPicture == nullptr) continue;
    if (isSupported(nullptr, data.get()) == 0) continue;
    void* info = nullptr;
    void* pixels = nullptr;
    const int result = getPicture(reinterpret_cast<const char*>(data.get()),
                                  static_cast<intptr_t>(size), TAVRONA_SPI_INPUT_MEMORY, &info,
                                  &pixels, nullptr, 0);
    if (result != 0) return std::nullopt;  // the claiming plug-in's answer is final
    const PluginBlock infoBlock(info);
    const PluginBlock pixelBlock(pixels);
    return CopyPluginPicture(infoBlock.get(), pixelBlock.get());
  }
  return std::nullopt;
}

}  // namespace tavrona
