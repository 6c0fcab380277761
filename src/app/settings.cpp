#include "app/settings.h"

#include <algorithm>

#include "app/ini_file.h"

namespace tavrona {

Settings ReadSettings(const IniFile& ini) {
  const Settings d;
  Settings s;
  s.callbackTimeoutMs = static_cast<uint32_t>(
      ini.GetInt(kSettingsSection, "CallbackTimeout", static_cast<int32_t>(d.callbackTimeoutMs)));
  s.abortTimeoutMs = static_cast<uint32_t>(
      ini.GetInt(kSettingsSection, "AbortTimeout", static_cast<int32_t>(d.abortTimeoutMs)));
  s.framePrev = ini.GetInt(kSettingsSection, "FramePrev", d.framePrev);
  s.frameNext = ini.GetInt(kSettingsSection, "FrameNext", d.frameNext);
  s.pixelQuality = ini.GetInt(kSettingsSection, "PixelQuality", d.pixelQuality);
  s.textImageMode = ini.GetInt(kSettingsSection, "TextImageMode", d.textImageMode);
  s.autoSaveSeconds = ini.GetInt(kSettingsSection, "AutoSaveSeconds", d.autoSaveSeconds);
  s.undoMemoryMB = ini.GetInt(kSettingsSection, "UndoMemoryMB", d.undoMemoryMB);
  s.decoderMemoryMB = ini.GetInt(kSettingsSection, "DecoderMemoryMB", d.decoderMemoryMB);
  if (s.callbackTimeoutMs < 100) s.callbackTimeoutMs = 100;
  if (s.abortTimeoutMs < 100) s.abortTimeoutMs = 100;
  if (s.framePrev < 0) s.framePrev = 10;
  s.autoSaveSeconds = std::clamp(s.autoSaveSeconds, 0, kMaxAutoSaveSeconds);
  return s;
}

void WriteSettings(IniFile& ini, const Settings& s) {
  ini.SetInt(kSettingsSection, "CallbackTimeout", static_cast<int32_t>(s.callbackTimeoutMs));
  ini.SetInt(kSettingsSection, "AbortTimeout", static_cast<int32_t>(s.abortTimeoutMs));
  ini.SetInt(kSettingsSection, "FramePrev", s.framePrev);
  ini.SetInt(kSettingsSection, "FrameNext", s.frameNext);
  ini.SetInt(kSettingsSection, "PixelQuality", s.pixelQuality);
  ini.SetInt(kSettingsSection, "TextImageMode", s.textImageMode);
}

}  // namespace tavrona
