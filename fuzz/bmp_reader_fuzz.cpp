// Fuzz target of the BMP reader: any bytes go through DecodeBitmap and, when accepted, the
// conversion to 32 bits.
#include <cstddef>
#include <cstdint>

#include "sources/bitmap_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::optional<tavrona::DecodedPicture> picture =
      tavrona::DecodeBitmap(std::span<const uint8_t>(data, size));
  if (picture) {
    tavrona::FrameBuffer buffer;
    if (tavrona::ConvertTo32Bit(*picture, buffer) &&
        buffer.byteSize != static_cast<uint32_t>(buffer.Width()) * 4 * buffer.Height()) {
      __builtin_trap();  // the result must always be a whole 32-bit picture
    }
  }
  return 0;
}
