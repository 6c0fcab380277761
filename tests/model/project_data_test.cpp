#include <gtest/gtest.h>

#include "model/project_data.h"

namespace tavrona {
namespace {

std::unique_ptr<ProjectData> NewProject() {
  auto p = AllocateProjectData();
  EXPECT_TRUE(p);
  ApplyNewProjectReset(*p);
  return p;
}

// Gives a slot a picture so that it counts as a still image.
void FillSlot(ProjectData& p, int id, int w = 4, int h = 3) {
  p.files[id].kind = FileStillImage;
  ASSERT_TRUE(CreateFrameBuffer(p.files[id].picture, w, h, 32));
  SetPath(p.files[id].path, u"\\pic.bmp");
}

TEST(ProjectDataTest, FreshBlockBeforeReset) {
  auto p = AllocateProjectData();
  ASSERT_TRUE(p);
  EXPECT_EQ(p->frameRate, 1.0);
  EXPECT_EQ(p->frameDuration100ns, 10'000'000);
  EXPECT_EQ(p->outputWidth, 0);
  for (const TrackData& t : p->tracks) {
    ASSERT_TRUE(t.events);
    EXPECT_EQ(t.count, 0u);
    EXPECT_EQ(t.events[0].start, kEndMarkerStart);
  }
  for (const FileEntry& f : p->files) {
    EXPECT_EQ(f.kind, FileEmpty);
    EXPECT_EQ(f.cachedFrameIndex, -1);
    EXPECT_TRUE(f.picture.Empty());
  }
}

TEST(ProjectDataTest, NewProjectValues) {
  auto p = NewProject();
  EXPECT_EQ(p->outputWidth, 320);
  EXPECT_EQ(p->outputHeight, 240);
  EXPECT_EQ(p->frameRate, 30.0);
  EXPECT_EQ(p->frameDuration100ns, 333'333);
  EXPECT_EQ(p->movieLength, 1u);
  EXPECT_EQ(p->backgroundColour, 0u);
  EXPECT_EQ(p->defaultDrawingMethod, 0);
  EXPECT_EQ(PathView(p->basePath), u"");
}

TEST(ProjectDataTest, ResetKeepsFilesTracksAndTemplates) {
  auto p = NewProject();
  FillSlot(*p, 5);
  p->templates[3].flags = EventInUse;
  EventRecord e{};
  e.start = 9;
  ASSERT_TRUE(InsertSorted(p->tracks[2], 1, &e));
  SetPath(p->basePath, u"/media");
  p->outputWidth = 640;
  ApplyNewProjectReset(*p);
  EXPECT_EQ(p->outputWidth, 320);
  EXPECT_EQ(PathView(p->basePath), u"");
  EXPECT_EQ(p->files[5].kind, FileStillImage);
  EXPECT_EQ(p->templates[3].flags, EventInUse);
  EXPECT_EQ(p->tracks[2].count, 1u);
}

TEST(ProjectDataTest, FrameDurationFromRate) {
  EXPECT_EQ(FrameDurationFromRate(30.0), 333'333);
  EXPECT_EQ(FrameDurationFromRate(29.97), 333'667);
  EXPECT_EQ(FrameDurationFromRate(25.0), 400'000);
  EXPECT_EQ(FrameDurationFromRate(1.0), 10'000'000);
  // Rates with no meaningful duration give 0 instead of an out-of-range conversion.
  EXPECT_EQ(FrameDurationFromRate(0.0), 0);
  EXPECT_EQ(FrameDurationFromRate(-5.0), 0);
  EXPECT_EQ(FrameDurationFromRate(1e-30), 0);
}

TEST(ProjectDataTest, OpacityEncoding) {
  EXPECT_EQ(EncodeOpacity(256), 0);
  EXPECT_EQ(DecodeOpacity(EncodeOpacity(256)), 256);
  EXPECT_EQ(EncodeOpacity(1), 1);
  EXPECT_EQ(DecodeOpacity(1), 1);
  EXPECT_EQ(DecodeOpacity(255), 255);
}

TEST(ProjectDataTest, MovieLengthLimit) {
  EXPECT_EQ(ClampMovieLength(1'048'576), 1'048'576u);
  EXPECT_EQ(ClampMovieLength(1'048'577), 1'048'576u);
  EXPECT_EQ(ClampMovieLength(0xFFFFFFFFu), 1'048'576u);
  EXPECT_EQ(ClampMovieLength(5), 5u);
}

TEST(ProjectDataTest, DefaultEventForStillImageMovieAndEmptySlot) {
  auto p = NewProject();
  FillSlot(*p, 7, 64, 48);
  EventRecord e = DefaultEventForFile(*p, 7, 120);
  EXPECT_EQ(e.flags, 9u);
  EXPECT_EQ(e.start, 120u);
  EXPECT_EQ(e.fileId, 7);
  EXPECT_EQ(e.playbackRate, 0);
  EXPECT_EQ(e.regionLeft, 0);
  EXPECT_EQ(e.regionRight, 64);
  EXPECT_EQ(e.regionBottom, 48);
  EXPECT_EQ(e.red, 255);
  EXPECT_EQ(e.green, 255);
  EXPECT_EQ(e.blue, 255);
  EXPECT_EQ(e.opacity, 0);
  EXPECT_EQ(e.scale, 1.0f);
  EXPECT_EQ(e.rotation, 0.0f);

  p->files[8].kind = FileMovie;  // a movie slot plays at the project's speed
  EXPECT_EQ(DefaultEventForFile(*p, 8, 0).playbackRate, 333'333);
  EXPECT_EQ(DefaultEventForFile(*p, 8, 0).regionRight, 0);  // no picture yet
}

TEST(ProjectDataTest, FindFreeFileIdWrapsAround) {
  auto p = NewProject();
  EXPECT_EQ(FindFreeFileId(*p, 0), 0);
  for (int i = 0; i < kFileCount; ++i) p->files[i].kind = FileText;
  EXPECT_EQ(FindFreeFileId(*p, 0), std::nullopt);
  EXPECT_EQ(FindFreeFileId(*p, 1023), std::nullopt);
  p->files[0].kind = FileEmpty;
  EXPECT_EQ(FindFreeFileId(*p, 1023), 0);
  p->files[512].kind = FileEmpty;
  EXPECT_EQ(FindFreeFileId(*p, 1), 512);
  EXPECT_EQ(FindFreeFileId(*p, 512), 512);
  EXPECT_EQ(FindFreeFileId(*p, 513), 0);
  EXPECT_EQ(FindFreeFileId(*p, 5000), 0);  // out-of-range cursors wrap into the table
}

TEST(ProjectDataTest, ChangeFileIdSwapsWholeSlots) {
  auto p = NewProject();
  FillSlot(*p, 3, 10, 20);
  p->files[3].transparentColour = 0x123456;
  p->files[3].referenceFrameDuration100ns = 400'000;
  const uint8_t* pixels = p->files[3].picture.pixels;
  EventRecord e{};
  e.fileId = 3;
  ASSERT_TRUE(InsertSorted(p->tracks[0], 1, &e));

  EXPECT_EQ(ChangeFileId(*p, 3, 3), ChangeIdResult::Unchanged);
  EXPECT_EQ(p->files[3].kind, FileStillImage);

  EXPECT_EQ(ChangeFileId(*p, 3, 900), ChangeIdResult::Swapped);
  EXPECT_EQ(p->files[3].kind, FileEmpty);
  EXPECT_TRUE(p->files[3].picture.Empty());
  EXPECT_EQ(p->files[900].kind, FileStillImage);
  EXPECT_EQ(p->files[900].picture.pixels, pixels);  // the open source moved, not a copy
  EXPECT_EQ(p->files[900].picture.Width(), 10);
  EXPECT_EQ(p->files[900].transparentColour, 0x123456u);
  EXPECT_EQ(p->files[900].referenceFrameDuration100ns, 400'000);
  EXPECT_EQ(PathView(p->files[900].path), u"\\pic.bmp");
  EXPECT_EQ(p->tracks[0].events[0].fileId, 3);  // events keep their IDs
}

TEST(ProjectDataTest, ChangeFileIdToUsedIdChangesNothing) {
  auto p = NewProject();
  FillSlot(*p, 1, 2, 2);
  FillSlot(*p, 2, 5, 5);
  EXPECT_EQ(ChangeFileId(*p, 1, 2), ChangeIdResult::TargetInUse);
  EXPECT_EQ(p->files[1].picture.Width(), 2);
  EXPECT_EQ(p->files[2].picture.Width(), 5);
  EXPECT_EQ(ChangeFileId(*p, 1, 1024), ChangeIdResult::OutOfRange);
  EXPECT_EQ(ChangeFileId(*p, -1, 0), ChangeIdResult::OutOfRange);
}

TEST(ProjectDataTest, DeleteEmptiesSlotClearsReferenceDurationKeepsEvents) {
  auto p = NewProject();
  FillSlot(*p, 4);
  p->files[4].referenceFrameDuration100ns = 333'667;
  p->files[4].cachedFrameIndex = 12;
  EventRecord e{};
  e.fileId = 4;
  ASSERT_TRUE(InsertSorted(p->tracks[1], 1, &e));
  DeleteFileEntry(*p, 4);
  const FileEntry& f = p->files[4];
  EXPECT_EQ(f.kind, FileEmpty);
  EXPECT_TRUE(f.picture.Empty());
  EXPECT_EQ(f.referenceFrameDuration100ns, 0);
  EXPECT_EQ(f.cachedFrameIndex, -1);
  EXPECT_EQ(PathView(f.path), u"");
  EXPECT_EQ(p->tracks[1].count, 1u);
  EXPECT_EQ(p->tracks[1].events[0].fileId, 4);
}

TEST(ProjectDataTest, ResetFileEntryKeepsReferenceDuration) {
  FileEntry f;
  f.kind = FileText;
  f.text = u"テキスト";
  f.referenceFrameDuration100ns = 400'000;
  f.font.lfHeight = -20;
  ResetFileEntry(f);
  EXPECT_EQ(f.kind, FileEmpty);
  EXPECT_EQ(f.TextLength(), 0);
  EXPECT_EQ(f.font.lfHeight, 0);
  EXPECT_EQ(f.referenceFrameDuration100ns, 400'000);
}

TEST(ProjectDataTest, LateOwnedObjectsAreReleasedWithTheBlock) {
  static int destroyed = 0;
  destroyed = 0;
  {
    auto p = NewProject();
    p->files[0].kind = FileMovie;
    p->files[0].movie = MakeLatePtr(reinterpret_cast<MovieSource*>(new int(1)),
                                    +[](MovieSource* m) {
                                      delete reinterpret_cast<int*>(m);
                                      ++destroyed;
                                    });
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(ProjectDataTest, PathBuffers) {
  PathBuffer b{};
  EXPECT_TRUE(SetPath(b, u"\\clip.avi"));
  EXPECT_EQ(PathView(b), u"\\clip.avi");
  EXPECT_TRUE(SetPath(b, std::u16string(259, u'x')));
  EXPECT_EQ(PathView(b).size(), 259u);
  EXPECT_FALSE(SetPath(b, std::u16string(260, u'y')));  // no room for the terminator
  EXPECT_EQ(PathView(b), std::u16string(259, u'x'));
}

TEST(ProjectDataTest, TemplateKeys) {
  EXPECT_EQ(TemplateKey(0), u'1');
  EXPECT_EQ(TemplateKey(9), u'0');
  EXPECT_EQ(TemplateKey(10), u'A');
  EXPECT_EQ(TemplateKey(18), u'L');
  EXPECT_EQ(TemplateKey(19), u'Z');
  EXPECT_EQ(TemplateKey(25), u'M');
  EXPECT_EQ(TemplateKey(26), u' ');
  EXPECT_EQ(TemplateKey(63), u' ');
  EXPECT_EQ(TemplateSlotForKey(u'S'), 11);
  EXPECT_EQ(TemplateSlotForKey(u'Q'), std::nullopt);
  EXPECT_EQ(TemplateSlotForKey(u' '), std::nullopt);
}

}  // namespace
}  // namespace tavrona
