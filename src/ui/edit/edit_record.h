// EditRecord: the part of a project an edit touches, as it was — what an undo step keeps. It
// holds saved state only: the event arrays of the tracks named, the stored settings of the file
// slots named (never an open movie or a picture), the templates and the header fields.
//
// Undo and redo exchange a record with the project: the project gets the recorded state and
// the record takes what the project held, so one record serves both directions and a track
// changes hands without a copy.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/file_entry.h"
#include "model/project_data.h"
#include "ui/edit/edit_path.h"

namespace tavrona {

class SourceOpener;

// The header fields an edit can change (the project folder is where the file lies, not an edit).
struct HeaderFields {
  PathBuffer basePath{};
  int32_t outputWidth = 0;
  int32_t outputHeight = 0;
  double frameRate = 1.0;
  int64_t frameDuration100ns = 0;
  uint32_t movieLength = 0;
  uint32_t backgroundColour = 0;
  int32_t defaultDrawingMethod = 0;
  std::array<TrackSound, kTrackCount> trackSound{};  // the tracks' volume and mute

  bool operator==(const HeaderFields&) const = default;
};
HeaderFields HeaderFieldsOf(const ProjectData& project);

// A slot whose source an undo or redo could not open again: its ID and its path (for a text, the
// text).
struct ReopenFailure {
  int32_t id = 0;
  std::u16string path;
};

class EditRecord {
 public:
  // Copies what scope names. Nullopt when memory cannot be had.
  static std::optional<EditRecord> Take(const ProjectData& project, const EditScope& scope);

  // Drops every part equal to the project's current state. False when nothing is left: the
  // edit changed nothing this record would bring back.
  bool KeepChanged(const ProjectData& project);

  // Exchanges the recorded state with the project's. Slots whose settings another slot of the
  // record held keep that slot's open source; the others are opened again through opener, and a
  // source that cannot be opened leaves its slot empty and is added to failedSlots; the
  // record remembers what the slot should have held, so the way back stays open and the next
  // exchange tries again.
  void Exchange(ProjectData& project, SourceOpener& opener, std::vector<ReopenFailure>& failedSlots);

  // Merging: this record already holds the state before both edits; it adds what only the later
  // record holds.
  void Absorb(EditRecord&& later);

  // The memory the record holds, in bytes.
  size_t Bytes() const;
  bool Empty() const { return tracks_.empty() && files_.empty() && !templates_ && !header_; }
  // The tracks the record holds, ascending.
  std::vector<uint32_t> TrackNumbers() const;

 private:
  std::vector<std::pair<uint32_t, TrackData>> tracks_;
  std::vector<std::pair<int32_t, StoredFileSettings>> files_;
  // Per slot of files_: the settings the project's slot should hold when the last exchange could
  // not open their source (the slot is empty meanwhile); the next exchange takes these back.
  std::vector<std::optional<StoredFileSettings>> unopened_;
  std::unique_ptr<std::array<EventRecord, kTemplateCount>> templates_;
  std::optional<HeaderFields> header_;
};

}  // namespace tavrona
