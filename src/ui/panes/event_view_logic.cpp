#include "ui/panes/event_view_logic.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

#include "model/time_text.h"

namespace tavrona {
namespace {

constexpr uint32_t kWhite = 0x00FFFFFF;
constexpr uint32_t kLightGrey = 0x00C0C0C0;  // (192, 192, 192)
constexpr uint32_t kGrey = 0x00808080;       // (128, 128, 128)
constexpr uint32_t kRed = 0x000000FF;        // (255, 0, 0) as 0x00BBGGRR

std::u16string Ascii(const char* text) {
  std::u16string out;
  for (; *text != '\0'; ++text) out.push_back(static_cast<char16_t>(*text));
  return out;
}

// A word of the row in the current language.
std::u16string Word(const char* source) {
  return QCoreApplication::translate("EventView", source).toStdU16String();
}

bool ValidRow(int row) {
  return row >= 0 && row < kTemplateCount;
}

}  // namespace

std::u16string EventRowText(const ProjectData& project, const EventRecord& tmpl, char16_t key) {
  std::u16string text = u" ";
  text.push_back(key);
  if (!tmpl.InUse()) return text + u" " + Word(QT_TRANSLATE_NOOP("EventView", "未設定"));

  char id[32];
  std::snprintf(id, sizeof id, " ID:%04u ", static_cast<unsigned>(tmpl.fileId));
  text += Ascii(id);
  const int32_t kind = tmpl.fileId >= 0 && tmpl.fileId < kFileCount
                           ? project.files[static_cast<size_t>(tmpl.fileId)].kind
                           : FileEmpty;
  switch (kind) {
    case FileMovie:
      return text + Word(QT_TRANSLATE_NOOP("EventView", "動画")) + u" " +
             FormatShortSourceTime(tmpl.playbackPosition) + u" " +
             FormatSpeedForPane(tmpl.playbackRate, project.frameDuration100ns);
    case FileStillImage:
      return text + Word(QT_TRANSLATE_NOOP("EventView", "画像"));
    case FileText:
      return text + Word(QT_TRANSLATE_NOOP("EventView", "テキスト"));
    default:
      return text + Word(QT_TRANSLATE_NOOP("EventView", "不明"));
  }
}

RowColours EventRowColours(bool selected, bool current) {
  return {selected ? kLightGrey : kWhite, current ? kRed : (selected ? kGrey : kWhite)};
}

std::optional<int> EventRowAt(int x, int y) {
  if (x < 0 || x >= kEventRowWidth || y < 0) return std::nullopt;
  const int row = y / kEventRowHeight;
  if (row >= kTemplateCount) return std::nullopt;
  return row;
}

std::optional<int> EventRowForKey(const TemplateKeys& keys, int qtKey) {
  if (qtKey == ' ' || qtKey <= 0 || qtKey > 0xFFFF) return std::nullopt;
  for (int slot = 0; slot < kTemplateCount; ++slot) {
    if (keys[static_cast<size_t>(slot)] != u' ' && keys[static_cast<size_t>(slot)] == qtKey) {
      return slot;
    }
  }
  return std::nullopt;
}

void ClearTemplateSelection(Templates& templates) {
  for (EventRecord& t : templates) t.flags &= ~static_cast<uint32_t>(EventSelected);
}

void SelectTemplateAlone(Templates& templates, int row) {
  ClearTemplateSelection(templates);
  if (ValidRow(row)) templates[static_cast<size_t>(row)].flags |= EventSelected;
}

int StepTemplateRow(Templates& templates, int currentRow, int delta) {
  const int row = std::clamp(currentRow + delta, 0, kTemplateCount - 1);
  SelectTemplateAlone(templates, row);
  return row;
}

void ClickTemplateRow(Templates& templates, int currentRow, int row, bool ctrl, bool shift) {
  if (!ValidRow(row)) return;
  auto toggle = [&templates](int r) { templates[static_cast<size_t>(r)].flags ^= EventSelected; };
  if (ctrl) {
    toggle(row);
  } else if (shift) {
    const int low = std::min(currentRow, row);
    const int high = std::max(currentRow, row);
    for (int r = low + 1; r < high; ++r) {
      if (ValidRow(r)) toggle(r);
    }
    toggle(row);
  } else {
    SelectTemplateAlone(templates, row);
  }
}

int CountSelectedTemplates(const Templates& templates) {
  return static_cast<int>(std::count_if(templates.begin(), templates.end(), [](const auto& t) {
    return (t.flags & EventSelected) != 0;
  }));
}

std::vector<int> SelectedTemplateSlots(const Templates& templates) {
  std::vector<int> selected;
  for (int i = 0; i < kTemplateCount; ++i) {
    if (templates[static_cast<size_t>(i)].flags & EventSelected) selected.push_back(i);
  }
  return selected;
}

std::vector<EventRecord> CopyableTemplates(const Templates& templates) {
  std::vector<EventRecord> records;
  for (const EventRecord& t : templates) {
    if (t.IsSelected()) records.push_back(t);
  }
  return records;
}

void ClearCopyableTemplates(Templates& templates) {
  for (EventRecord& t : templates) {
    if (t.IsSelected()) t.flags = 0;
  }
}

void DeleteSelectedTemplates(Templates& templates) {
  for (EventRecord& t : templates) {
    if (t.flags & EventSelected) t.flags = 0;
  }
}

void SelectAllTemplates(Templates& templates) {
  for (EventRecord& t : templates) t.flags |= EventSelected;
}

int PasteTemplates(Templates& templates, int currentRow, const std::vector<EventRecord>& records) {
  ClearTemplateSelection(templates);
  int row = ValidRow(currentRow) ? currentRow : 0;
  for (const EventRecord& record : records) {
    if (templates[static_cast<size_t>(row)].InUse()) row = (row + 1) % kTemplateCount;
    EventRecord& slot = templates[static_cast<size_t>(row)];
    slot = record;
    slot.flags |= EventInUse | EventSelected;
    slot.start = 0;
  }
  return row;
}

std::optional<int> ScrollTopForRow(int row, int viewTop, int viewHeight) {
  const int top = row * kEventRowHeight;
  const int bottom = top + kEventRowHeight;
  if (top < viewTop) return top;
  if (bottom > viewTop + viewHeight) {
    // The last whole row: the view ends at the row's bottom, rounded to whole rows.
    const int wholeRows = std::max(1, viewHeight / kEventRowHeight);
    return std::max(0, bottom - wholeRows * kEventRowHeight);
  }
  return std::nullopt;
}

}  // namespace tavrona
