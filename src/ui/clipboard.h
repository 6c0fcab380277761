// The event payload on the system clipboard: events travel between the timeline and the
// template pane, and between two running programs, as one block of bytes (little-endian):
//   0   uint32  payload kind, 2
//   4   uint32  record count n, 1 or more
//   8   152 n   event records, flags included
//   ... 16      spare, zero
// carried under the MIME type application/x-tavrona-events. Ordinary text on the clipboard is
// never taken for events.
#pragma once

#include <QByteArray>
#include <optional>
#include <vector>

#include "model/event_record.h"

namespace tavrona {

inline constexpr char kEventsMimeType[] = "application/x-tavrona-events";
inline constexpr uint32_t kEventPayloadKind = 2;
inline constexpr int kEventPayloadSpare = 16;

// The payload bytes for records (empty for no records).
QByteArray MakeEventPayload(const std::vector<EventRecord>& records);

// The records of a payload: only when the first word is 2, n is at least 1 and the block holds
// at least 8 + 152 n bytes; otherwise nothing.
std::optional<std::vector<EventRecord>> ParseEventPayload(const QByteArray& bytes);

// Puts the records on the system clipboard. False when there are none or the clipboard could
// not take them; the clipboard is then as it was.
bool PutEventsOnClipboard(const std::vector<EventRecord>& records);

// The events on the system clipboard, if it holds a valid payload.
std::optional<std::vector<EventRecord>> EventsFromClipboard();

}  // namespace tavrona
