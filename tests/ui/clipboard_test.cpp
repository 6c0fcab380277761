#include "ui/clipboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cstring>

namespace tavrona {
namespace {

EventRecord Event(uint32_t start, int32_t fileId) {
  EventRecord e{};
  e.flags = EventInUse | EventSelected;
  e.start = start;
  e.fileId = fileId;
  e.scale = 1.5f;
  return e;
}

TEST(ClipboardTest, PayloadBytesAreKindCountRecordsAndSpare) {
  const std::vector<EventRecord> records = {Event(0, 7), Event(30, 8)};
  const QByteArray bytes = MakeEventPayload(records);
  ASSERT_EQ(bytes.size(), 8 + 2 * 152 + 16);
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.constData());
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(b[1] | b[2] | b[3], 0);
  EXPECT_EQ(b[4], 2);
  EXPECT_EQ(std::memcmp(b + 8, &records[0], 152), 0);
  EXPECT_EQ(std::memcmp(b + 8 + 152, &records[1], 152), 0);
  for (int i = 8 + 304; i < bytes.size(); ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_TRUE(MakeEventPayload({}).isEmpty());
}

TEST(ClipboardTest, OnlyACompletePayloadOfKindTwoIsRead) {
  const QByteArray good = MakeEventPayload({Event(5, 1), Event(9, 2), Event(12, 3)});
  const auto back = ParseEventPayload(good);
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->size(), 3u);
  EXPECT_EQ((*back)[2].start, 12u);
  EXPECT_EQ((*back)[2].fileId, 3);
  // The spare bytes are never needed.
  EXPECT_TRUE(ParseEventPayload(good.left(8 + 3 * 152)).has_value());
  // One byte short of the records, another kind, no records, ordinary text: refused.
  EXPECT_FALSE(ParseEventPayload(good.left(8 + 3 * 152 - 1)).has_value());
  QByteArray otherKind = good;
  otherKind[0] = 3;
  EXPECT_FALSE(ParseEventPayload(otherKind).has_value());
  QByteArray none = good.left(8);
  none[4] = 0;
  EXPECT_FALSE(ParseEventPayload(none).has_value());
  EXPECT_FALSE(ParseEventPayload("hello, world").has_value());
  EXPECT_FALSE(ParseEventPayload(QByteArray("\x02\0\0\0", 4)).has_value());
  // A count whose records could not fit in any block.
  QByteArray huge = good.left(8);
  huge[4] = huge[5] = huge[6] = huge[7] = '\xFF';
  EXPECT_FALSE(ParseEventPayload(huge).has_value());
}

TEST(ClipboardTest, TheSystemClipboardCarriesEventsAndIgnoresText) {
  const std::vector<EventRecord> records = {Event(100, 4)};
  ASSERT_TRUE(PutEventsOnClipboard(records));
  auto back = EventsFromClipboard();
  ASSERT_TRUE(back.has_value());
  ASSERT_EQ(back->size(), 1u);
  EXPECT_EQ(std::memcmp(&(*back)[0], &records[0], sizeof(EventRecord)), 0);
  // Nothing to copy leaves the clipboard as it was.
  EXPECT_FALSE(PutEventsOnClipboard({}));
  EXPECT_TRUE(EventsFromClipboard().has_value());
  // Text, even text that begins like a payload, is not events.
  QGuiApplication::clipboard()->setText(QString::fromLatin1("\x02"));
  EXPECT_FALSE(EventsFromClipboard().has_value());
}

}  // namespace
}  // namespace tavrona
