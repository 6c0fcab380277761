// The decisions of the event template pane (CEventView), as plain functions on the project's 64
// templates: the row texts and colours, where a point falls, the selection by keys and clicks,
// scrolling a row into view, and the edit commands' effects on the templates.
//
// Selection is the EventSelected bit of each template record, in use or not.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/event_record.h"
#include "model/project_data.h"

namespace tavrona {

using Templates = std::array<EventRecord, kTemplateCount>;
using TemplateKeys = std::array<char16_t, kTemplateCount>;

inline constexpr int kEventRowHeight = 20;
inline constexpr int kEventRowWidth = 300;
inline constexpr int kEventPaneHeight = 1300;  // the scroll size's height

// The row's text: " k 未設定" for an unset template, else " k ID:nnnn" and the kind of its file:
// "動画 mm:ss.mmm x1.0000" with the playback position and the speed, "画像", "テキスト", or
// "不明" for an empty slot or an ID outside the table.
std::u16string EventRowText(const ProjectData& project, const EventRecord& tmpl, char16_t key);

// The colours of a row, 0x00BBGGRR: white fill, or light grey when selected; the frame red for
// the current row, else white, or grey when selected.
struct RowColours {
  uint32_t fill;
  uint32_t frame;
};
RowColours EventRowColours(bool selected, bool current);

// The row at a point in document coordinates: inside (0, 20 i)-(300, 20 i + 20), i in 0..63.
std::optional<int> EventRowAt(int x, int y);

// The slot bound to a key of the keyboard (Qt key code; letters and digits are their upper-case
// characters). Space and keys without a slot give nothing.
std::optional<int> EventRowForKey(const TemplateKeys& keys, int qtKey);

void ClearTemplateSelection(Templates& templates);
// Clears every selection and selects row alone.
void SelectTemplateAlone(Templates& templates, int row);
// Up (-1) or Down (+1): the new current row, kept in 0..63 and selected alone.
int StepTemplateRow(Templates& templates, int currentRow, int delta);

// A left click on row with the modifier keys: Ctrl toggles the row; Shift toggles every row
// strictly between the current row and the clicked one, then the clicked one; neither selects
// the row alone. The clicked row becomes the current row (the caller keeps it).
void ClickTemplateRow(Templates& templates, int currentRow, int row, bool ctrl, bool shift);

// The number of templates with EventSelected set, in use or not.
int CountSelectedTemplates(const Templates& templates);
// The slots with EventSelected set, ascending.
std::vector<int> SelectedTemplateSlots(const Templates& templates);
// The templates that are in use and selected, in row order (what copy and cut take).
std::vector<EventRecord> CopyableTemplates(const Templates& templates);

// Cut after the clipboard took the copy: the whole flags word of each in-use, selected template
// is cleared (its other fields stay).
void ClearCopyableTemplates(Templates& templates);
// Delete: the whole flags word of each selected template is cleared.
void DeleteSelectedTemplates(Templates& templates);
void SelectAllTemplates(Templates& templates);

// Paste: clears every selection, then writes each record into consecutive slots starting at the
// current row, stepping past a slot in use first and wrapping after 63; each pasted template is
// in use, selected and starts at 0. Returns the new current row (the last slot written).
int PasteTemplates(Templates& templates, int currentRow, const std::vector<EventRecord>& records);

// The vertical scroll position that brings row into a view of the given top and height: the row
// at the top when it is above, as the last whole row when it is below; nothing when it is shown.
std::optional<int> ScrollTopForRow(int row, int viewTop, int viewHeight);

}  // namespace tavrona
