// The file pane's decisions as plain functions: its rows and their texts, the cells a paint
// draws, the selection (Up/Down, clicks with Ctrl and Shift, select all), and the file table
// operations it runs (dropped files, delete, duplicate). The widget (file_view.h) turns events
// into these calls and shows their messages.
#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/file_entry.h"
#include "ui/pane_records.h"

namespace tavrona {

struct ProjectData;

inline constexpr int kFileRowHeight = 20;
inline constexpr int kFileRowWidth = 1024;
inline constexpr int kFileCellCount = 64;

// The pane's selection, kept in the pane and not in the project.
struct FileSelection {
  std::array<uint8_t, kFileCount> selected{};  // bit 0 = selected
  int32_t current = 0;                         // the current file, 0..1023

  bool IsSelected(int32_t id) const { return (selected[static_cast<size_t>(id)] & 1) != 0; }
  void Set(int32_t id, bool on) { selected[static_cast<size_t>(id)] = on ? 1 : 0; }
  void ClearAll() { selected.fill(0); }
  int Count() const;
};

// The used slots in ID order; the k-th is drawn in row k.
std::vector<int32_t> UsedFileSlots(const ProjectData& project);

// The slot's kind in the current language: "動画", "画像", "テキスト", "不明".
QString FileKindText(int32_t kind);
// The word a sound-only movie slot shows instead of "動画": "音声".
QString SoundOnlyKindText();
// The kind word a slot's row shows: SoundOnlyKindText for a sound-only slot, else FileKindText.
QString FileKindTextOf(const FileEntry& entry);

// A row's three columns: " ID:0003 ", the kind, and the file name or the text (empty for an
// unknown kind).
struct FileRowColumns {
  QString id, kind, name;
};
FileRowColumns FileRowColumnTexts(const FileEntry& entry, int32_t id);

// " ID:0003 動画      clip.avi" and the like, by the slot's kind: the row as plain text, the kind
// padded to ten character cells of a fixed-pitch font (a wide glyph takes two).
QString FileRowText(const FileEntry& entry, int32_t id);

// Where the kind and name columns start, in pixels from the row's left edge, measured with the
// painting font: every kind word of the current language fits before the name, followed by
// two spaces.
struct FileColumnStarts {
  int kind = 0, name = 0;
};
FileColumnStarts MeasureFileColumns(const QFontMetrics& metrics);

// Row k: (0, 20k) to (1024, 20k + 20).
inline QRect FileRowRect(int row) {
  return QRect(0, kFileRowHeight * row, kFileRowWidth, kFileRowHeight);
}

// The cells of the rows that meet visible (document coordinates), at most 64: box cells with
// the file ID as data, grey when selected, white otherwise, framed red for the current file.
std::vector<PaneCell> FileCells(const ProjectData& project, const FileSelection& selection,
                                QRect visible);

// The file of the cell containing point (document coordinates); -1 when none.
int32_t FileAtPoint(const std::vector<PaneCell>& cells, QPoint point);

// Empty slots lose their selection flag.
void ClearEmptySelections(const ProjectData& project, FileSelection& selection);

// Up (step -1) and Down (step 1): everything unselected, the next used slot in that direction
// becomes current when there is one, and the current file is selected.
void MoveCurrentFile(const ProjectData& project, FileSelection& selection, int step);

// A left click on file f: Ctrl toggles f; Shift toggles every slot strictly between the current
// file and f, then f; otherwise only f is selected. f becomes current.
void ClickFile(FileSelection& selection, int32_t f, bool ctrl, bool shift);

void SelectAllFiles(const ProjectData& project, FileSelection& selection);

// FindFreeFileId from the current file; the slot found becomes current. False when all 1024
// slots are used.
bool TakeFreeFileSlot(const ProjectData& project, FileSelection& selection);

enum class FileTableStatus {
  Done,
  TooManyFiles,  // "ファイルが多すぎます。"
  LoadFailed,    // "ファイル"%s"の読み込みに失敗しました。" with the path
  CopyFailed,    // "ファイルの複製に失敗しました。"
};

struct FileTableResult {
  FileTableStatus status = FileTableStatus::Done;
  int changed = 0;            // slots filled
  std::u16string failedPath;  // LoadFailed: the path
};

// Files dropped from a file manager, in order: each into a free slot found from the current
// file, opened as a still image, else as a movie, against the base path, its selection flag
// cleared. Stops at the first path without a free slot or that does not open; the files loaded
// before it stay.
FileTableResult LoadDroppedFiles(ProjectData& project, FileSelection& selection,
                                 const std::vector<std::u16string>& paths);

// Each selected used slot in ID order copied into a free slot found from the current file:
// movies and still images opened again from the same path against the base path (movies with
// the same reference frame duration) and given the same transparent colour, texts made again
// from the same text, font and colour. Stops at the first failure.
FileTableResult DuplicateSelectedFiles(ProjectData& project, FileSelection& selection);

// Empties every selected slot and clears its reference frame duration; returns how many.
int DeleteSelectedFiles(ProjectData& project, const FileSelection& selection);

}  // namespace tavrona
