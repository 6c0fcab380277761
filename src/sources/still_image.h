// Decoding a still image file into a 32-bit picture: the BMP reader first, then the image
// plug-ins.
#pragma once

#include <filesystem>

#include "model/frame_buffer.h"
#include "sources/plugin_picture.h"

namespace tavrona {

// LoadBitmapFile; when it refuses the file, LoadPluginPicture; then ConvertTo32Bit into
// buffer. On failure buffer is empty and the result false. The plug-ins are only consulted
// for files the BMP reader refuses.
bool LoadStillImage(const std::filesystem::path& fileName, FrameBuffer& buffer,
                    PluginHandles plugins = ProcessPlugins());

}  // namespace tavrona
