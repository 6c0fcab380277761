// The undo records and the history on their own: what a record keeps, what exchanging it brings
// back (open sources moved rather than opened again, sources that cannot be opened), merging,
// the saved state and the memory bound.
#include "ui/edit/edit_history.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/process_state.h"
#include "model/project_file.h"
#include "model/track_data.h"

namespace tavrona {
namespace {

// Opens any path listed in `existing`, giving the slot a small picture; counts the openings.
class CountingOpener : public SourceOpener {
 public:
  std::set<std::u16string> existing;
  int opened = 0;

  bool Open(FileEntry& e, int32_t kind, std::u16string_view path) {
    if (!existing.count(std::u16string(path))) return false;
    ++opened;
    ResetFileEntry(e);
    e.kind = kind;
    CreateFrameBuffer(e.picture, 2, 2);
    SetPath(e.path, path);
    return true;
  }
  bool OpenMovie(FileEntry& e, std::u16string_view path, std::u16string_view) override {
    return Open(e, FileMovie, path);
  }
  bool OpenImage(FileEntry& e, std::u16string_view path, std::u16string_view) override {
    return Open(e, FileStillImage, path);
  }
  bool MakeText(FileEntry& e, std::u16string_view text, uint32_t, const LOGFONTW& font) override {
    ++opened;
    ResetFileEntry(e);
    e.kind = FileText;
    e.text = text;
    e.font = font;
    CreateFrameBuffer(e.picture, 1, 1);
    return true;
  }
};

EventRecord Event(uint32_t start, int32_t fileId = 0) {
  EventRecord e{};
  e.flags = EventInUse;
  e.start = start;
  e.fileId = fileId;
  return e;
}

void Insert(ProjectData& p, uint32_t track, uint32_t start) {
  const EventRecord e = Event(start);
  ASSERT_TRUE(InsertSorted(p.tracks[track], 1, &e));
}

class EditRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_ = AllocateProjectData();
    ASSERT_NE(project_, nullptr);
    ApplyNewProjectReset(*project_);
    opener_.existing = {u"/a.bmp", u"/b.bmp"};
  }
  ProjectData& P() { return *project_; }
  void Open(int32_t id, const char16_t* path) {
    ASSERT_TRUE(opener_.OpenImage(P().files[static_cast<size_t>(id)], path, u""));
  }
  std::unique_ptr<ProjectData> project_;
  CountingOpener opener_;
  std::vector<ReopenFailure> failed_;
};

TEST_F(EditRecordTest, KeepsOnlyWhatTheEditChangedAndExchangesBothWays) {
  Insert(P(), 3, 10);
  Insert(P(), 4, 20);
  EditScope scope = EditScope::Track(3);
  scope.tracks.set(4);
  scope.templates = true;
  scope.header = true;
  auto record = EditRecord::Take(P(), scope);
  ASSERT_TRUE(record);
  // The edit moves track 3's event and widens the project; track 4 and the templates stay.
  P().tracks[3].events[0].start = 15;
  P().outputWidth = 640;
  P().defaultDrawingMethod = DrawMethodLinear;
  ASSERT_TRUE(record->KeepChanged(P()));
  EXPECT_EQ(record->TrackNumbers(), std::vector<uint32_t>{3});
  const size_t oneTrack = record->Bytes();

  record->Exchange(P(), opener_, failed_);
  EXPECT_EQ(P().tracks[3].events[0].start, 10u);
  EXPECT_EQ(P().outputWidth, 320);
  EXPECT_EQ(P().defaultDrawingMethod, DrawInherit);
  EXPECT_EQ(Process().defaultDrawingMethodMirror, DrawInherit);
  EXPECT_EQ(P().tracks[4].events[0].start, 20u);
  record->Exchange(P(), opener_, failed_);
  EXPECT_EQ(P().tracks[3].events[0].start, 15u);
  EXPECT_EQ(P().outputWidth, 640);
  EXPECT_EQ(Process().defaultDrawingMethodMirror, DrawMethodLinear);
  EXPECT_EQ(record->Bytes(), oneTrack);
  EXPECT_TRUE(failed_.empty());

  // An edit that changes nothing leaves nothing to keep.
  auto unchanged = EditRecord::Take(P(), scope);
  ASSERT_TRUE(unchanged);
  EXPECT_FALSE(unchanged->KeepChanged(P()));
}

TEST_F(EditRecordTest, ASwapOfSlotsBroughtBackMovesTheOpenSourcesWithoutOpeningAgain) {
  Open(1, u"/a.bmp");
  Open(2, u"/b.bmp");
  const auto* pictureA = P().files[1].picture.pixels;
  auto record = EditRecord::Take(P(), EditScope::FileSlot(1).WithFileSlot(2).WithFileSlot(5));
  ASSERT_TRUE(record);
  ASSERT_EQ(ChangeFileId(P(), 1, 5), ChangeIdResult::Swapped);
  ASSERT_TRUE(record->KeepChanged(P()));
  const int opened = opener_.opened;

  record->Exchange(P(), opener_, failed_);
  EXPECT_EQ(opener_.opened, opened);
  EXPECT_EQ(P().files[1].kind, FileStillImage);
  EXPECT_EQ(P().files[1].picture.pixels, pictureA);
  EXPECT_EQ(P().files[5].kind, FileEmpty);
  EXPECT_EQ(PathView(P().files[2].path), u"/b.bmp");
  record->Exchange(P(), opener_, failed_);
  EXPECT_EQ(opener_.opened, opened);
  EXPECT_EQ(P().files[5].picture.pixels, pictureA);
  EXPECT_EQ(P().files[1].kind, FileEmpty);
}

TEST_F(EditRecordTest, ASourceThatCannotBeOpenedLeavesItsSlotEmptyAndTheWayBackOpen) {
  Open(7, u"/a.bmp");
  P().files[7].transparentColour = 0x123456;
  auto record = EditRecord::Take(P(), EditScope::FileSlot(7));
  ASSERT_TRUE(record);
  DeleteFileEntry(P(), 7);
  ASSERT_TRUE(record->KeepChanged(P()));

  opener_.existing.clear();  // the file went away
  record->Exchange(P(), opener_, failed_);  // undo
  ASSERT_EQ(failed_.size(), 1u);
  EXPECT_EQ(failed_[0].id, 7);
  EXPECT_EQ(failed_[0].path, u"/a.bmp");
  EXPECT_EQ(P().files[7].kind, FileEmpty);
  record->Exchange(P(), opener_, failed_);  // redo: the slot is deleted again
  EXPECT_EQ(P().files[7].kind, FileEmpty);
  EXPECT_EQ(failed_.size(), 1u);

  opener_.existing = {u"/a.bmp"};  // back again: the next undo opens it
  record->Exchange(P(), opener_, failed_);
  EXPECT_EQ(failed_.size(), 1u);
  EXPECT_EQ(P().files[7].kind, FileStillImage);
  EXPECT_EQ(P().files[7].transparentColour, 0x123456u);
  EXPECT_FALSE(P().files[7].picture.Empty());
}

TEST_F(EditRecordTest, TextSlotsAreDrawnAgainFromTheirSettings) {
  LOGFONTW font{};
  font.lfHeight = -20;
  ASSERT_TRUE(opener_.MakeText(P().files[0], u"字幕", 0, font));
  P().files[0].transparentColour = 0x00FF00;
  auto record = EditRecord::Take(P(), EditScope::FileSlot(0));
  ASSERT_TRUE(record);
  DeleteFileEntry(P(), 0);
  ASSERT_TRUE(record->KeepChanged(P()));
  record->Exchange(P(), opener_, failed_);
  EXPECT_EQ(P().files[0].kind, FileText);
  EXPECT_EQ(P().files[0].text, u"字幕");
  EXPECT_EQ(P().files[0].font.lfHeight, -20);
  EXPECT_EQ(P().files[0].transparentColour, 0x00FF00u);
}

// --- The history -------------------------------------------------------------------------

class EditHistoryTest : public EditRecordTest {
 protected:
  // An edit of one track: its first event's start becomes start.
  void EditTrack(EditHistory& h, uint32_t track, uint32_t start, const char* label,
                 uint64_t mergeKey = 0) {
    auto record = EditRecord::Take(P(), EditScope::Track(track));
    ASSERT_TRUE(record);
    if (P().tracks[track].count == 0) {
      Insert(P(), track, start);
    } else {
      P().tracks[track].events[0].start = start;
    }
    ASSERT_TRUE(record->KeepChanged(P()));
    h.Push(QString::fromUtf8(label), mergeKey, std::move(*record));
  }
  uint32_t Start(uint32_t track) {
    return P().tracks[track].count == 0 ? 0 : P().tracks[track].events[0].start;
  }
};

TEST_F(EditHistoryTest, UndoAndRedoWalkTheStepsAndANewEditDropsTheUndoneOnes) {
  EditHistory h;
  EXPECT_FALSE(h.CanUndo());
  EditTrack(h, 0, 5, "イベントの挿入");
  EditTrack(h, 0, 9, "イベントの移動");
  EXPECT_EQ(h.UndoLabel(), "イベントの移動");
  ASSERT_TRUE(h.Undo(P(), opener_, failed_));
  EXPECT_EQ(Start(0), 5u);
  EXPECT_EQ(h.UndoLabel(), "イベントの挿入");
  EXPECT_EQ(h.RedoLabel(), "イベントの移動");
  ASSERT_TRUE(h.Undo(P(), opener_, failed_));
  EXPECT_EQ(P().tracks[0].count, 0u);
  EXPECT_FALSE(h.Undo(P(), opener_, failed_));
  ASSERT_TRUE(h.Redo(P(), opener_, failed_));
  EXPECT_EQ(Start(0), 5u);
  EditTrack(h, 1, 3, "貼り付け");
  EXPECT_FALSE(h.CanRedo());
  EXPECT_EQ(h.StepCount(), 2u);
  EXPECT_EQ(h.UndoTracks(), std::vector<uint32_t>{1});
}

TEST_F(EditHistoryTest, TheSavedStateIsFoundAgainByUndoAndLostWhenItCannotBeReached) {
  EditHistory h;
  EXPECT_TRUE(h.AtClean());
  EditTrack(h, 0, 5, "a");
  EXPECT_FALSE(h.AtClean());
  h.MarkClean();
  EditTrack(h, 0, 6, "b");
  h.Undo(P(), opener_, failed_);
  EXPECT_TRUE(h.AtClean());
  h.Undo(P(), opener_, failed_);
  EXPECT_FALSE(h.AtClean());
  h.Redo(P(), opener_, failed_);
  EXPECT_TRUE(h.AtClean());
  // Undo past the saved state, then a new edit: the saved state is gone for good.
  h.Undo(P(), opener_, failed_);
  EditTrack(h, 2, 1, "c");
  h.Undo(P(), opener_, failed_);
  EXPECT_FALSE(h.AtClean());
  h.Clear();
  EXPECT_TRUE(h.AtClean());
  h.Clear(false);
  EXPECT_FALSE(h.AtClean());
}

TEST_F(EditHistoryTest, EditsWithOneKeyMergeUntilSomethingComesBetween) {
  EditHistory h;
  const uint64_t key = 42;
  EditTrack(h, 0, 1, "移動", key);
  EditTrack(h, 0, 2, "移動", key);
  EditTrack(h, 0, 3, "移動", key);
  EXPECT_EQ(h.StepCount(), 1u);
  h.BreakMerge();  // a mouse release
  EditTrack(h, 0, 4, "移動", key);
  EXPECT_EQ(h.StepCount(), 2u);
  EditTrack(h, 1, 7, "挿入");  // another kind of edit
  EditTrack(h, 0, 5, "移動", key);
  EXPECT_EQ(h.StepCount(), 4u);
  h.MarkClean();  // a save
  EditTrack(h, 0, 6, "移動", key);
  EXPECT_EQ(h.StepCount(), 5u);
  h.Undo(P(), opener_, failed_);
  EditTrack(h, 0, 8, "移動", key);  // after an undo
  EXPECT_EQ(h.StepCount(), 5u);
  EditTrack(h, 0, 9, "移動", key);
  EXPECT_EQ(h.StepCount(), 5u);

  // Undoing the merged steps one by one: 9 -> 5 -> (1's track 1 insert undone) ...
  h.Undo(P(), opener_, failed_);
  EXPECT_EQ(Start(0), 5u);
  h.Undo(P(), opener_, failed_);
  EXPECT_EQ(Start(0), 4u);
  h.Undo(P(), opener_, failed_);
  EXPECT_EQ(P().tracks[1].count, 0u);
  h.Undo(P(), opener_, failed_);
  EXPECT_EQ(Start(0), 3u);
  h.Undo(P(), opener_, failed_);
  EXPECT_EQ(P().tracks[0].count, 0u);
}

TEST_F(EditHistoryTest, TheOldestStepsGoWhenTheStepsHoldMoreThanTheBound) {
  // Steps of one track of 1,000 events each, about 152 kB.
  EditHistory h(500'000);
  auto bigEdit = [&](uint32_t track) {
    auto record = EditRecord::Take(P(), EditScope::Track(track));
    ASSERT_TRUE(record);
    std::vector<EventRecord> events;
    for (uint32_t i = 0; i < 1000; ++i) events.push_back(Event(i));
    ASSERT_TRUE(InsertSorted(P().tracks[track], 1000, events.data()));
    ASSERT_TRUE(record->KeepChanged(P()));
    h.Push("big", 0, std::move(*record));
  };
  // The first records hold empty tracks; give the tracks events first.
  for (uint32_t t = 0; t < 5; ++t) bigEdit(t);
  h.Clear();
  for (uint32_t t = 0; t < 5; ++t) bigEdit(t);
  EXPECT_LE(h.HeldBytes(), 500'000u);
  EXPECT_EQ(h.StepCount(), 3u);
  // The saved state (before the first step) went with the steps dropped.
  while (h.Undo(P(), opener_, failed_)) {
  }
  EXPECT_FALSE(h.AtClean());
  EXPECT_EQ(P().tracks[1].count, 2000u);  // its step was dropped: not undone
  EXPECT_EQ(P().tracks[2].count, 1000u);  // undone back to its first 1,000
  // Undone, the steps hold the 2,000-event tracks. A lower bound drops at once; with only undone
  // steps left, the furthest go first and the nearest can still be redone.
  h.SetLimit(700'000);
  EXPECT_EQ(h.StepCount(), 2u);
  EXPECT_LE(h.HeldBytes(), 700'000u);
  ASSERT_TRUE(h.Redo(P(), opener_, failed_));
  ASSERT_TRUE(h.Redo(P(), opener_, failed_));
  EXPECT_FALSE(h.CanRedo());
  EXPECT_EQ(P().tracks[3].count, 2000u);
  EXPECT_EQ(P().tracks[4].count, 1000u);
}

}  // namespace
}  // namespace tavrona
