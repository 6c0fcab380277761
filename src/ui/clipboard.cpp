#include "ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cstring>

namespace tavrona {
namespace {

void PutWord(QByteArray& bytes, int offset, uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
}

uint32_t WordAt(const QByteArray& bytes, int offset) {
  uint32_t value;
  std::memcpy(&value, bytes.constData() + offset, sizeof value);
  return value;
}

}  // namespace

QByteArray MakeEventPayload(const std::vector<EventRecord>& records) {
  if (records.empty()) return {};
  const qsizetype recordBytes = static_cast<qsizetype>(records.size() * sizeof(EventRecord));
  QByteArray bytes(8 + recordBytes + kEventPayloadSpare, '\0');
  PutWord(bytes, 0, kEventPayloadKind);
  PutWord(bytes, 4, static_cast<uint32_t>(records.size()));
  std::memcpy(bytes.data() + 8, records.data(), static_cast<size_t>(recordBytes));
  return bytes;
}

std::optional<std::vector<EventRecord>> ParseEventPayload(const QByteArray& bytes) {
  if (bytes.size() < 8 || WordAt(bytes, 0) != kEventPayloadKind) return std::nullopt;
  const uint64_t n = WordAt(bytes, 4);
  if (n == 0 || static_cast<uint64_t>(bytes.size()) - 8 < n * sizeof(EventRecord)) {
    return std::nullopt;
  }
  std::vector<EventRecord> records(n);
  std::memcpy(records.data(), bytes.constData() + 8, n * sizeof(EventRecord));
  return records;
}

bool PutEventsOnClipboard(const std::vector<EventRecord>& records) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (records.empty() || clipboard == nullptr) return false;
  auto* data = new QMimeData;
  data->setData(QString::fromLatin1(kEventsMimeType), MakeEventPayload(records));
  clipboard->setMimeData(data);  // the clipboard owns the data from here
  const QMimeData* now = clipboard->mimeData();
  return now != nullptr && now->hasFormat(QString::fromLatin1(kEventsMimeType));
}

std::optional<std::vector<EventRecord>> EventsFromClipboard() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return std::nullopt;
  const QMimeData* data = clipboard->mimeData();
  if (data == nullptr || !data->hasFormat(QString::fromLatin1(kEventsMimeType))) {
    return std::nullopt;
  }
  return ParseEventPayload(data->data(QString::fromLatin1(kEventsMimeType)));
}

}  // namespace tavrona
