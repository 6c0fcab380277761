#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "model/track_data.h"

namespace tavrona {
namespace {

EventRecord Ev(uint32_t start, int32_t fileId = 0, uint32_t flags = EventInUse) {
  EventRecord e{};
  e.flags = flags;
  e.start = start;
  e.fileId = fileId;
  return e;
}

std::vector<uint32_t> Starts(const TrackData& t) {
  std::vector<uint32_t> s;
  for (uint32_t i = 0; i < t.count; ++i) s.push_back(t.events[i].start);
  return s;
}

std::vector<int32_t> Ids(const TrackData& t) {
  std::vector<int32_t> s;
  for (uint32_t i = 0; i < t.count; ++i) s.push_back(t.events[i].fileId);
  return s;
}

void ExpectEndMarker(const TrackData& t) {
  ASSERT_TRUE(t.events);
  EventRecord marker = EndMarker();
  EXPECT_EQ(std::memcmp(&t.events[t.count], &marker, sizeof marker), 0);
}

TrackData Track(std::initializer_list<uint32_t> starts) {
  TrackData t;
  std::vector<EventRecord> records;
  int id = 0;
  for (uint32_t s : starts) records.push_back(Ev(s, id++));
  EXPECT_TRUE(InsertSorted(t, static_cast<uint32_t>(records.size()), records.data()));
  return t;
}

TEST(TrackDataTest, ResetTrackAllocatesZeroedRecordsAndMarker) {
  TrackData t;
  ASSERT_TRUE(ResetTrack(t, 3));
  EXPECT_EQ(t.count, 3u);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(t.events[i].start, 0u);
  ExpectEndMarker(t);
}

TEST(TrackDataTest, InsertGoesAfterExistingEventsOfTheSameStart) {
  TrackData t = Track({5, 10, 20});
  EventRecord e = Ev(10, 99);
  ASSERT_TRUE(InsertSorted(t, 1, &e));
  EXPECT_EQ(Starts(t), (std::vector<uint32_t>{5, 10, 10, 20}));
  EXPECT_EQ(t.events[2].fileId, 99);
  ExpectEndMarker(t);
}

TEST(TrackDataTest, InsertBlockMergesAroundExistingEvents) {
  TrackData t = Track({5, 10, 20});
  EventRecord block[] = {Ev(3), Ev(30)};
  ASSERT_TRUE(InsertSorted(t, 2, block));
  EXPECT_EQ(Starts(t), (std::vector<uint32_t>{3, 5, 10, 20, 30}));
  ExpectEndMarker(t);
}

TEST(TrackDataTest, InsertIntoTrackWithoutArrayAndComparesUnsigned) {
  TrackData t;
  EventRecord block[] = {Ev(1), Ev(0x80000000u), Ev(0xFFFFFFF0u)};
  ASSERT_TRUE(InsertSorted(t, 3, block));
  EventRecord low = Ev(2);
  ASSERT_TRUE(InsertSorted(t, 1, &low));
  EXPECT_EQ(Starts(t), (std::vector<uint32_t>{1, 2, 0x80000000u, 0xFFFFFFF0u}));
  ExpectEndMarker(t);
}

TEST(TrackDataTest, RemoveFlaggedKeepsOrderOfTheRest) {
  TrackData t;
  EventRecord block[] = {Ev(1, 1, 3), Ev(2, 2, 1), Ev(2, 3, 3), Ev(4, 4, 1), Ev(5, 5, 7)};
  ASSERT_TRUE(InsertSorted(t, 5, block));
  ASSERT_TRUE(RemoveFlagged(t, EventSelected));
  EXPECT_EQ(Ids(t), (std::vector<int32_t>{2, 4}));
  ExpectEndMarker(t);
}

TEST(TrackDataTest, RemovingEverySelectedEventLeavesOnlyTheMarker) {
  TrackData t;
  EventRecord block[] = {Ev(1, 1, 3), Ev(2, 2, 3)};
  ASSERT_TRUE(InsertSorted(t, 2, block));
  ASSERT_TRUE(RemoveFlagged(t, EventSelected));
  EXPECT_EQ(t.count, 0u);
  ExpectEndMarker(t);
}

TEST(TrackDataTest, SortIsStable) {
  TrackData t;
  ASSERT_TRUE(ResetTrack(t, 4));
  t.events[0] = Ev(7, 'a');
  t.events[1] = Ev(3);
  t.events[2] = Ev(7, 'b');
  t.events[3] = Ev(1);
  ASSERT_TRUE(Sort(t));
  EXPECT_EQ(Starts(t), (std::vector<uint32_t>{1, 3, 7, 7}));
  EXPECT_EQ(t.events[2].fileId, 'a');
  EXPECT_EQ(t.events[3].fileId, 'b');
  ExpectEndMarker(t);
}

TEST(TrackDataTest, SortKeepsEqualStartsInOrderOverManySizes) {
  // Pseudo-random starts from a small range force many equal keys across both halves.
  for (uint32_t n = 0; n < 40; ++n) {
    TrackData t;
    ASSERT_TRUE(ResetTrack(t, n));
    uint32_t seed = 12345 + n;
    for (uint32_t i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      t.events[i] = Ev((seed >> 16) % 5, static_cast<int32_t>(i));
    }
    ASSERT_TRUE(Sort(t));
    for (uint32_t i = 1; i < n; ++i) {
      ASSERT_LE(t.events[i - 1].start, t.events[i].start) << "n=" << n;
      if (t.events[i - 1].start == t.events[i].start) {
        ASSERT_LT(t.events[i - 1].fileId, t.events[i].fileId) << "n=" << n;
      }
    }
    ExpectEndMarker(t);
  }
}

TEST(TrackDataTest, EventAtBoundaries) {
  TrackData t = Track({0, 100});
  EXPECT_EQ(EventAt(t, 0)->fileId, 0);
  EXPECT_EQ(EventAt(t, 99)->fileId, 0);
  EXPECT_EQ(EventAt(t, 100)->fileId, 1);
  EXPECT_EQ(EventAt(t, 0xFFFFFFFEu)->fileId, 1);
  EXPECT_EQ(EventAt(t, 0xFFFFFFFFu)->fileId, 1);

  TrackData single = Track({50});
  EXPECT_EQ(EventAt(single, 0), nullptr);
  EXPECT_EQ(EventAt(single, 49), nullptr);
  EXPECT_EQ(EventAt(single, 50)->fileId, 0);

  TrackData empty;
  EXPECT_EQ(EventAt(empty, 0), nullptr);
}

TEST(TrackDataTest, EventAtTakesTheLastOfEqualStarts) {
  TrackData t = Track({10, 10, 10, 20});
  EXPECT_EQ(EventAt(t, 10)->fileId, 2);
  EXPECT_EQ(EventAt(t, 19)->fileId, 2);
  EXPECT_EQ(EventIndexAt(t, 9), -1);
}

}  // namespace
}  // namespace tavrona
