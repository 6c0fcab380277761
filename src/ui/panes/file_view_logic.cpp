#include "ui/panes/file_view_logic.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <algorithm>

#include "model/project_data.h"
#include "sources/movie_file.h"
#include "sources/source_cache.h"
#include "sources/text_image.h"

namespace tavrona {

namespace {

// 0x00BBGGRR colours of the rows.
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kSelectedFill = 0xC0C0C0;
constexpr uint32_t kSelectedFrame = 0x808080;
constexpr uint32_t kCurrentFrame = 0x0000FF;  // red

QString FromU16(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

int FileSelection::Count() const {
  return static_cast<int>(std::count_if(selected.begin(), selected.end(),
                                        [](uint8_t flag) { return (flag & 1) != 0; }));
}

std::vector<int32_t> UsedFileSlots(const ProjectData& project) {
  std::vector<int32_t> used;
  for (int32_t id = 0; id < kFileCount; ++id) {
    if (project.files[static_cast<size_t>(id)].kind != FileEmpty) used.push_back(id);
  }
  return used;
}

namespace {

// The kinds' source words; FileKindText translates them.
const char* KindSource(int32_t kind) {
  switch (kind) {
    case FileMovie:
      return QT_TRANSLATE_NOOP("FileView", "動画");
    case FileStillImage:
      return QT_TRANSLATE_NOOP("FileView", "画像");
    case FileText:
      return QT_TRANSLATE_NOOP("FileView", "テキスト");
    default:
      return QT_TRANSLATE_NOOP("FileView", "不明");
  }
}

// Character cells of text on a fixed-pitch terminal: two for a wide (CJK) glyph, one otherwise.
int CharacterCells(const QString& text) {
  int cells = 0;
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                      (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                      (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                      (u >= 0xFFE0 && u <= 0xFFE6);
    cells += wide ? 2 : 1;
  }
  return cells;
}

// The kind column of the plain row text: ten character cells, as "テキスト  " fills them.
constexpr int kKindCells = 10;

const int32_t kKinds[] = {FileMovie, FileStillImage, FileText, FileEmpty};

}  // namespace

QString FileKindText(int32_t kind) {
  return QCoreApplication::translate("FileView", KindSource(kind));
}

QString SoundOnlyKindText() { return QCoreApplication::translate("FileView", "音声"); }

QString FileKindTextOf(const FileEntry& entry) {
  return IsSoundOnly(entry) ? SoundOnlyKindText() : FileKindText(entry.kind);
}

FileRowColumns FileRowColumnTexts(const FileEntry& entry, int32_t id) {
  FileRowColumns columns;
  columns.id = QStringLiteral(" ID:%1 ").arg(id, 4, 10, QLatin1Char('0'));
  columns.kind = FileKindTextOf(entry);
  if (entry.kind == FileMovie || entry.kind == FileStillImage) {
    columns.name = FromU16(PathView(entry.path));
  } else if (entry.kind == FileText) {
    columns.name = FromU16(entry.text);
  }
  return columns;
}

QString FileRowText(const FileEntry& entry, int32_t id) {
  const FileRowColumns columns = FileRowColumnTexts(entry, id);
  if (entry.kind != FileMovie && entry.kind != FileStillImage && entry.kind != FileText) {
    return columns.id + columns.kind;
  }
  const int padding = std::max(1, kKindCells - CharacterCells(columns.kind));
  return columns.id + columns.kind + QString(padding, u' ') + columns.name;
}

FileColumnStarts MeasureFileColumns(const QFontMetrics& metrics) {
  FileColumnStarts starts;
  starts.kind = metrics.horizontalAdvance(QStringLiteral(" ID:0000 "));
  int widest = 0;
  for (int32_t kind : kKinds)
    widest = std::max(widest, metrics.horizontalAdvance(FileKindText(kind)));
  widest = std::max(widest, metrics.horizontalAdvance(SoundOnlyKindText()));
  starts.name = starts.kind + widest + metrics.horizontalAdvance(QStringLiteral("  "));
  return starts;
}

std::vector<PaneCell> FileCells(const ProjectData& project, const FileSelection& selection,
                                QRect visible) {
  std::vector<PaneCell> cells;
  int row = 0;
  for (int32_t id : UsedFileSlots(project)) {
    const QRect rect = FileRowRect(row++);
    if (!rect.intersects(visible)) continue;
    if (cells.size() == static_cast<size_t>(kFileCellCount)) break;
    PaneCell cell;
    cell.kind = CellBox;
    cell.colourMode = 0;
    cell.textFlags = CellLeft;
    cell.data = id;
    cell.left = rect.left();
    cell.top = rect.top();
    cell.right = rect.left() + rect.width();
    cell.bottom = rect.top() + rect.height();
    cell.text = FileRowText(project.files[static_cast<size_t>(id)], id);
    const bool selected = selection.IsSelected(id);
    cell.colour1 = selected ? kSelectedFill : kWhite;
    cell.colour2 = id == selection.current ? kCurrentFrame : selected ? kSelectedFrame : kWhite;
    cells.push_back(std::move(cell));
  }
  return cells;
}

int32_t FileAtPoint(const std::vector<PaneCell>& cells, QPoint point) {
  for (const PaneCell& cell : cells) {
    if (point.x() >= cell.left && point.x() < cell.right && point.y() >= cell.top &&
        point.y() < cell.bottom) {
      return cell.data;
    }
  }
  return -1;
}

void ClearEmptySelections(const ProjectData& project, FileSelection& selection) {
  for (int32_t id = 0; id < kFileCount; ++id) {
    if (project.files[static_cast<size_t>(id)].kind == FileEmpty) selection.Set(id, false);
  }
}

void MoveCurrentFile(const ProjectData& project, FileSelection& selection, int step) {
  selection.ClearAll();
  for (int32_t id = selection.current + step; id >= 0 && id < kFileCount; id += step) {
    if (project.files[static_cast<size_t>(id)].kind != FileEmpty) {
      selection.current = id;
      break;
    }
  }
  selection.Set(selection.current, true);
}

void ClickFile(FileSelection& selection, int32_t f, bool ctrl, bool shift) {
  if (ctrl) {
    selection.Set(f, !selection.IsSelected(f));
  } else if (shift) {
    const int32_t low = std::min(selection.current, f);
    const int32_t high = std::max(selection.current, f);
    for (int32_t id = low + 1; id < high; ++id) selection.Set(id, !selection.IsSelected(id));
    selection.Set(f, !selection.IsSelected(f));
  } else {
    selection.ClearAll();
    selection.Set(f, true);
  }
  selection.current = f;
}

void SelectAllFiles(const ProjectData& project, FileSelection& selection) {
  for (int32_t id : UsedFileSlots(project)) selection.Set(id, true);
}

bool TakeFreeFileSlot(const ProjectData& project, FileSelection& selection) {
  const auto id = FindFreeFileId(project, selection.current);
  if (!id) return false;
  selection.current = *id;
  return true;
}

FileTableResult LoadDroppedFiles(ProjectData& project, FileSelection& selection,
                                 const std::vector<std::u16string>& paths) {
  FileTableResult result;
  const std::u16string_view base = PathView(project.basePath);
  for (const std::u16string& path : paths) {
    if (!TakeFreeFileSlot(project, selection)) {
      result.status = FileTableStatus::TooManyFiles;
      return result;
    }
    FileEntry& entry = project.files[static_cast<size_t>(selection.current)];
    if (!OpenImageFile(entry, path, base) && !OpenMovieFile(entry, path, base)) {
      result.status = FileTableStatus::LoadFailed;
      result.failedPath = path;
      return result;
    }
    selection.Set(selection.current, false);
    ++result.changed;
  }
  return result;
}

FileTableResult DuplicateSelectedFiles(ProjectData& project, FileSelection& selection) {
  FileTableResult result;
  const std::u16string_view base = PathView(project.basePath);
  for (int32_t id = 0; id < kFileCount; ++id) {
    const FileEntry& source = project.files[static_cast<size_t>(id)];
    if (!selection.IsSelected(id) || source.kind == FileEmpty) continue;
    if (!TakeFreeFileSlot(project, selection)) {
      result.status = FileTableStatus::TooManyFiles;
      return result;
    }
    FileEntry& copy = project.files[static_cast<size_t>(selection.current)];
    const int64_t freeSlotDuration = copy.referenceFrameDuration100ns;
    bool made = false;
    switch (source.kind) {
      case FileMovie:
        copy.referenceFrameDuration100ns = source.referenceFrameDuration100ns;
        made = OpenMovieFile(copy, PathView(source.path), base);
        break;
      case FileStillImage:
        made = OpenImageFile(copy, PathView(source.path), base);
        break;
      case FileText:
        made = MakeTextImage(copy, source.text, source.transparentColour ^ 0x808080u, source.font);
        break;
      default:
        break;
    }
    if (!made) {
      copy.referenceFrameDuration100ns = freeSlotDuration;
      result.status = FileTableStatus::CopyFailed;
      return result;
    }
    if (source.kind != FileText) copy.transparentColour = source.transparentColour;
    ++result.changed;
  }
  return result;
}

int DeleteSelectedFiles(ProjectData& project, const FileSelection& selection) {
  int deleted = 0;
  for (int32_t id = 0; id < kFileCount; ++id) {
    if (!selection.IsSelected(id)) continue;
    DeleteFileEntry(project, id);
    ++deleted;
  }
  return deleted;
}

}  // namespace tavrona
