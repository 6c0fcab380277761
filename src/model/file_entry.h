// One slot of the project's file table: the stored settings of a source and the live source
// made from them (a movie decoder, the picture, the text).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "model/late_ptr.h"
#include "model/win_types.h"
#include "model/frame_buffer.h"
#include "model/sound_samples.h"

namespace tavrona {

class MovieSource;  // the sources library's movie decoder

inline constexpr int kFileCount = 1024;
inline constexpr int kMaxPath = 260;  // UTF-16 units, terminator included

// A path as the user gave it: UTF-16, terminated, at most 259 units.
using PathBuffer = std::array<char16_t, kMaxPath>;

// Copies text into a path buffer; false (buffer untouched) when it does not fit with its
// terminator.
bool SetPath(PathBuffer& buffer, std::u16string_view text);
std::u16string_view PathView(const PathBuffer& buffer);

// The folder of a file path: everything before its last separator (backslash or slash), empty
// when there is none.
std::u16string_view FolderOf(std::u16string_view filePath);

enum FileKind : int32_t {
  FileEmpty = 0,
  FileMovie = 1,
  FileStillImage = 2,
  FileText = 3,
};

// Transparent colours of this value or more mean that nothing is transparent.
inline constexpr uint32_t kNoTransparentColour = 0x01000000u;

struct FileEntry {
  int32_t kind = FileEmpty;           // FileKind
  LatePtr<MovieSource> movie;         // kind 1 only; none for a sound-only file
  std::unique_ptr<SoundSamples> sound;  // kind 1: the file's first audio stream; none if silent
  FrameBuffer picture;                // empty when the slot has no picture
  std::u16string text;                // kind 3: the entry's own copy of the text
  int64_t referenceFrameDuration100ns = 0;  // kind 1: user's frame duration; 0 = none
  PathBuffer path{};                  // kinds 1, 2: as the user gave it; "\..." is relative
  uint32_t transparentColour = 0;     // 0x00BBGGRR; >= 0x01000000 = none
  LOGFONTW font{};                    // kind 3
  int32_t cachedFrameIndex = -1;      // kind 1: frame held in picture; -1 = none

  int32_t TextLength() const { return static_cast<int32_t>(text.size()); }
};

// What a slot saves: its settings without the live source. Two slots with equal settings open
// the same source.
struct StoredFileSettings {
  int32_t kind = FileEmpty;
  std::u16string text;
  int64_t referenceFrameDuration100ns = 0;
  PathBuffer path{};
  uint32_t transparentColour = 0;
  LOGFONTW font{};

  bool operator==(const StoredFileSettings& other) const;
};
StoredFileSettings StoredSettingsOf(const FileEntry& entry);

// Empties the slot: releases the movie source, the picture and the text and clears the
// stored settings. The reference frame duration stays.
void ResetFileEntry(FileEntry& entry);

}  // namespace tavrona
