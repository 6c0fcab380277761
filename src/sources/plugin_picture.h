// Pictures decoded by the image plug-ins (".spi" modules, see sources/image_plugin.h).
#pragma once

#include <filesystem>
#include <optional>
#include <span>

#include "sources/bitmap_file.h"

namespace tavrona {

// Library handles (dlopen) of the plug-ins to ask, in precedence order. A null handle stands
// for a module that could not be loaded and is passed over.
using PluginHandles = std::span<void* const>;

// The process-wide list found at start-up (Process().plugins).
PluginHandles ProcessPlugins();

// Probes the plug-ins with the file's first 2048 bytes (zero-padded); the first that claims it
// is asked for the whole file. The first plug-in that claims the whole file decodes it, and its
// answer is final: a failing GetPicture yields nullopt without asking the others. The
// picture's header is checked (PictureByteCount, rows bottom-up) before any pixel is copied.
// Every block the plug-in handed over is freed whatever the outcome.
std::optional<DecodedPicture> LoadPluginPicture(const std::filesystem::path& fileName,
                                                PluginHandles plugins = ProcessPlugins());

}  // namespace tavrona
