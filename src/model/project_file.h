// The binary project file (".vpj"): the magic "TPRJ" followed by tagged records. The writer
// always produces version 0x00010002; the reader also takes 0x00010000 and 0x00010001 and
// converts their event records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/event_record.h"
#include "model/file_entry.h"
#include "model/win_types.h"

namespace tavrona {

struct ProjectData;

inline constexpr uint32_t kProjectVersion0 = 0x00010000;
inline constexpr uint32_t kProjectVersion1 = 0x00010001;
inline constexpr uint32_t kProjectVersionCurrent = 0x00010002;

// What reading a project needs from the sources layer: opening a slot's source. Each call opens
// into the entry only on success (a failed open leaves the entry as it was), resolving a path
// that begins with a backslash against baseFolder.
class SourceOpener {
 public:
  virtual ~SourceOpener() = default;
  virtual bool OpenMovie(FileEntry& entry, std::u16string_view path,
                         std::u16string_view baseFolder) = 0;
  virtual bool OpenImage(FileEntry& entry, std::u16string_view path,
                         std::u16string_view baseFolder) = 0;
  // Renders text with the text colour (0x00BBGGRR) and font; empties the entry first.
  virtual bool MakeText(FileEntry& entry, std::u16string_view text, uint32_t textColour,
                        const LOGFONTW& font) = 0;
};

// The user's answers to the questions a read may ask (Yes = true). The GUI shows message boxes;
// the command line answers from its options.
class LoadQuestions {
 public:
  virtual ~LoadQuestions() = default;
  virtual bool AskYesNo(const std::u16string& message) = 0;
  // A movie or still image slot whose source cannot be opened (path as stored in the file): Yes
  // leaves the slot empty and the read goes on, No ends the read. The default asks
  // AskYesNo(SourceLoadQuestion(path)); a front end that lets one answer stand for the rest of
  // the load overrides it (model/missing_source_answers.h).
  virtual bool AskMissingSource(std::u16string_view path);
  // A text slot whose text cannot be drawn: Yes leaves the slot empty and the read goes on, No
  // ends it. The default asks AskYesNo(TextCreateQuestion(text)); a front end with its own
  // wording (MessageCode::TextCreateFailed) overrides it.
  virtual bool AskTextFailed(std::u16string_view text);
};

// Reads the file at path into a freshly constructed block. On success the block holds the
// project and its sources are open; the default drawing method is returned in the block (the
// caller installs it and sets the process-wide mirror). On failure the block is to be
// discarded. Malformed records of every kind fail the read; nothing is written outside the
// tables and no allocation is made from a count the file cannot back. On failure `why` (when
// given) says in plain words what went wrong: the system's error text when the file cannot be
// read, otherwise the check that failed and the byte of the file where it failed.
bool ReadProjectFile(const std::u16string& path, ProjectData& project, SourceOpener& opener,
                     LoadQuestions& questions, std::string* why = nullptr);

// Reads a project file's bytes into a freshly constructed block whose project folder is already
// set (ReadProjectFile does that from its path). Same results as ReadProjectFile.
bool ReadProjectBytes(std::string_view bytes, ProjectData& project, SourceOpener& opener,
                      LoadQuestions& questions, std::string* why = nullptr);

// Opens a slot from stored settings as a project read does, asking nothing: a movie or still
// image against the base path, then the project folder; a text drawn in the colour its
// transparent colour encodes. The settings are then the slot's. False when the source cannot be
// had: the slot is left empty but for its reference frame duration.
bool OpenStoredSettings(FileEntry& entry, const StoredFileSettings& settings,
                        const ProjectData& project, SourceOpener& opener);

// Writes the block to path through a temporary file in the same folder that is flushed to disk
// and then renamed over the target, so a failed save leaves the previous file intact. On
// success sets the project folder to the folder of path.
bool WriteProjectFile(const std::u16string& path, ProjectData& project);

// The project file's bytes for the block (what WriteProjectFile stores).
std::string SerializeProject(const ProjectData& project);

// An event record of an older version converted to the current layout.
EventRecord ConvertEventRecord(const uint8_t (&bytes)[sizeof(EventRecord)], uint32_t version);

}  // namespace tavrona
