#include "sources/still_image.h"

namespace tavrona {

bool LoadStillImage(const std::filesystem::path& fileName, FrameBuffer& buffer,
                    PluginHandles plugins) {
  ReleaseFrameBuffer(buffer);
  std::optional<DecodedPicture> picture = LoadBitmapFile(fileName);
  if (!picture) picture = LoadPluginPicture(fileName, plugins);
  if (!picture) return false;
  return ConvertTo32Bit(*picture, buffer);
}

}  // namespace tavrona
