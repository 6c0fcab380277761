// The program settings of the [Settings] section of tavrona.INI, shared by every executable.
#pragma once

#include <cstdint>
#include <filesystem>

namespace tavrona {

class IniFile;

inline constexpr const char* kSettingsSection = "Settings";
inline constexpr const char* kIniFileName = "tavrona.INI";

struct Settings {
  uint32_t callbackTimeoutMs = 5000;  // decoder thread's wait while the hand-off slot is full
  uint32_t abortTimeoutMs = 3000;     // frame request's wait before asking the user
  int32_t framePrev = 10;             // frames behind the request still reached by decoding on
  int32_t frameNext = -1;             // frames after the request that a seek stops at
  int32_t pixelQuality = 2;           // drawing method when event and project both say 0
  int32_t textImageMode = 0;          // edge treatment of text images
  // Read only: written back only when the user put them in the file (the written file of a user
  // who never set them stays as it was).
  int32_t autoSaveSeconds = 30;  // delay after the last change before an autosave; 0 = none
  int32_t undoMemoryMB = 256;    // memory the undo steps may hold
  // Memory the open movie decoders may hold together, in MiB; 0 (or less) = a quarter of the
  // machine's memory (sources/decoder_pool.h).
  int32_t decoderMemoryMB = 0;
};

inline constexpr int32_t kMaxAutoSaveSeconds = 24 * 60 * 60;

// Reads the six keys and AutoSaveSeconds, UndoMemoryMB and DecoderMemoryMB with their defaults and applies the
// read-time rules: a timeout below 100 (as unsigned) becomes 100; a negative FramePrev becomes
// 10; a negative AutoSaveSeconds becomes 0 (off), one above a day becomes a day.
Settings ReadSettings(const IniFile& ini);
// Writes the six keys with their current values, whether or not they were in the file.
// AutoSaveSeconds, UndoMemoryMB and DecoderMemoryMB are not written: a key the user set stays in the file as the
// user wrote it.
void WriteSettings(IniFile& ini, const Settings& settings);

}  // namespace tavrona
