#include "ui/panes/image_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "export/project_export.h"
#include "export_ui_test_support.h"
#include "model/text_encoding.h"
#include "render/bitmap_save.h"
#include "sources/movie_file.h"
#include "sources/project_sources.h"
#include "test_movies.h"
#include "ui/composition_worker.h"
#include "ui/document.h"
#include "ui/frame_image.h"
#include "ui/panes/image_view_logic.h"
#include "ui/profile.h"

namespace tavrona {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kStill = 5;   // a 16 x 12 still picture
constexpr int kBroken = 7;  // a movie slot whose frames cannot be fetched
constexpr int kMovie = 3;   // the 60-frame test movie, when a test opens it

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Two tracks: the still picture moving and fading across the frame on track 1, and a fixed,
// half-transparent copy on track 2 from frame 5, so each frame, and each track, differs.
void FillProject(ProjectData& project) {
  project.outputWidth = kWidth;
  project.outputHeight = kHeight;
  project.SetFrameRate(30);
  project.movieLength = 30;
  project.backgroundColour = 0x00203040;
  FileEntry& still = project.files[kStill];
  still.kind = FileStillImage;
  ASSERT_TRUE(CreateFrameBuffer(still.picture, 16, 12));
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 16; ++x) {
      still.picture.At(x, y) = static_cast<uint32_t>((x * 15) << 16 | (y * 20) << 8 | 200);
    }
  }
  still.transparentColour = kNoTransparentColour;
  EventRecord a = DefaultEventForFile(project, kStill, 0);
  a.flags |= EventInterpolate;
  a.positionX = 4;
  a.positionY = 6;
  EventRecord b = a;
  b.start = 29;
  b.positionX = kWidth - 20;
  b.positionY = kHeight - 14;
  b.opacity = 120;
  const EventRecord moving[] = {a, b};
  ASSERT_TRUE(InsertSorted(project.tracks[1], 2, moving));
  EventRecord c = DefaultEventForFile(project, kStill, 5);
  c.positionX = 30;
  c.positionY = 20;
  c.opacity = 128;
  ASSERT_TRUE(InsertSorted(project.tracks[2], 1, &c));
  // A movie slot with a picture but no decoder: every frame request fails.
  FileEntry& broken = project.files[kBroken];
  broken.kind = FileMovie;
  ASSERT_TRUE(CreateFrameBuffer(broken.picture, 8, 8));
}

class ImageViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AppProfile().Load(folder_.Path() / "tavrona.INI");
    document_ = std::make_unique<CKeldaDoc>();
    FillProject(document_->Project());
    view_ = std::make_unique<CImageView>(*document_);
    view_->resize(320, 240);
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
  }
  void TearDown() override {
    SetPromptHookForTests(nullptr);
    view_.reset();
    document_.reset();
  }

  ProjectData& Project() { return document_->Project(); }

  // Writes the request as another pane does and lets the pane show it.
  bool Show(int32_t mode, int32_t number, uint32_t frame) {
    document_->preview = {true, mode, number, frame};
    view_->OnUpdate(nullptr);
    return QTest::qWaitFor([&] { return view_->PendingSerial() == 0; }, 30000);
  }

  QImage Grab() {
    return view_->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  // The reference pictures, made on this thread with playback states of their own (the worker
  // is idle whenever a test calls these).
  QImage ComposedTrack(int track, uint32_t frame) {
    FrameBuffer buffer;
    EXPECT_TRUE(CreateFrameBuffer(buffer, kWidth, kHeight));
    auto states = std::make_unique<PlaybackStates>();
    EXPECT_TRUE(ComposeTrackAt(Project(), *states, track, frame, buffer, &document_->Movies()));
    return FrameImage(buffer);
  }
  QImage ComposedFrame(uint32_t frame, FrameBuffer* keep = nullptr) {
    FrameBuffer buffer;
    EXPECT_TRUE(CreateFrameBuffer(buffer, kWidth, kHeight));
    auto states = std::make_unique<PlaybackStates>();
    EXPECT_TRUE(ComposeFrameAt(Project(), *states, frame, buffer, &document_->Movies()));
    QImage image = FrameImage(buffer);
    if (keep != nullptr) *keep = std::move(buffer);
    return image;
  }

  // Checks the pane's pixels against picture stretched over target: at the centre of every
  // picture pixel's block, where any nearest-pixel stretch must show that pixel.
  void ExpectStretched(const QImage& shown, const QImage& picture, QRect target) {
    ASSERT_FALSE(picture.isNull());
    for (int sy = 0; sy < picture.height(); sy += 3) {
      for (int sx = 0; sx < picture.width(); sx += 5) {
        const int x =
            target.left() + static_cast<int>((sx + 0.5) * target.width() / picture.width());
        const int y =
            target.top() + static_cast<int>((sy + 0.5) * target.height() / picture.height());
        ASSERT_EQ(shown.pixel(x, y), picture.pixel(sx, sy))
            << "picture (" << sx << ", " << sy << ") at pane (" << x << ", " << y << ")";
      }
    }
  }

  testing::TempFolder folder_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CImageView> view_;
};

TEST_F(ImageViewTest, EachModeShowsItsPictureStretchedOverThePane) {
  const QSize pane = view_->viewport()->size();
  ASSERT_GE(pane.width(), 3 * kWidth);
  ASSERT_GE(pane.height(), 3 * kHeight);
  const QRect whole(QPoint(0, 0), pane);

  ASSERT_TRUE(Show(PreviewFile, kStill, 0));
  EXPECT_FALSE(document_->preview.needsRender);
  EXPECT_EQ(document_->preview.mode, PreviewFile);
  const QImage still = FrameImage(Project().files[kStill].picture);
  EXPECT_EQ(view_->Picture(), still);
  ExpectStretched(Grab(), still, whole);

  document_->scratchEvent = DefaultEventForFile(Project(), kStill, 0);
  ASSERT_TRUE(Show(PreviewScratchEvent, 0, 0));
  EXPECT_EQ(view_->Picture(), still);

  ASSERT_TRUE(Show(PreviewTrack, 2, 12));
  const QImage track = ComposedTrack(2, 12);
  EXPECT_EQ(view_->Picture(), track);
  ExpectStretched(Grab(), track, whole);

  ASSERT_TRUE(Show(PreviewAllTracks, 0, 12));
  const QImage frame = ComposedFrame(12);
  EXPECT_EQ(view_->Picture(), frame);
  EXPECT_NE(frame, track);
  ExpectStretched(Grab(), frame, whole);

  // The scratch event without its in-use flag names no picture: the pane is empty (white).
  document_->scratchEvent.flags = 0;
  ASSERT_TRUE(Show(PreviewScratchEvent, 0, 0));
  EXPECT_TRUE(view_->Picture().isNull());
  EXPECT_EQ(Grab().pixel(pane.width() / 2, pane.height() / 2), qRgb(255, 255, 255));
}

TEST_F(ImageViewTest, KeepAspectFromTheContextMenuLetterboxesOnBlackAndIsRemembered) {
  view_->resize(500, 200);
  ASSERT_TRUE(Show(PreviewAllTracks, 0, 3));
  const QSize pane = view_->viewport()->size();

  QStringList texts;
  QList<bool> checked;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    poll.stop();
    for (QAction* action : menu->actions()) {
      texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
      checked << action->isChecked();
    }
    menu->actions().last()->trigger();
    menu->close();
  });
  poll.start();
  QTest::mouseClick(view_->viewport(), Qt::RightButton, {}, QPoint(20, 20));
  ASSERT_EQ(texts, (QStringList{QStringLiteral("プレビュー画像を保存(&I)..."), "-",
                                QStringLiteral("プレビュー表示(&V)"), "-",
                                QStringLiteral("縦横比を保つ")}));
  EXPECT_TRUE(checked[2]);   // the preview flag is set
  EXPECT_FALSE(checked[4]);  // proportions not kept by default
  EXPECT_TRUE(view_->KeepAspect());

  const QRect target = PreviewTargetRect(QSize(kWidth, kHeight), pane, true);
  EXPECT_EQ(target.height(), pane.height());
  EXPECT_EQ(target.width(), (pane.height() * kWidth + kHeight / 2) / kHeight);
  EXPECT_EQ(target.left(), (pane.width() - target.width()) / 2);
  const QImage shown = Grab();
  EXPECT_EQ(shown.pixel(target.left() / 2, pane.height() / 2), qRgb(0, 0, 0));
  EXPECT_EQ(shown.pixel(pane.width() - 1 - target.left() / 2, 5), qRgb(0, 0, 0));
  ExpectStretched(shown, ComposedFrame(3), target);

  view_.reset();  // the pane writes its keys when it goes
  EXPECT_EQ(AppProfile().GetInt("ImageView", "KeepAspect", 0), 1);
  EXPECT_EQ(AppProfile().GetInt("ImageView", "Preview", 0), 1);
}

TEST_F(ImageViewTest, PreviewFlagOffDrawsNothingAndSavingAsksNothing) {
  ASSERT_TRUE(Show(PreviewAllTracks, 0, 3));
  view_->RunCommand(CmdPreview);
  EXPECT_FALSE(view_->PreviewEnabled());
  EXPECT_FALSE(view_->CommandChecked(CmdPreview));
  EXPECT_TRUE(view_->HandlesCommand(CmdSavePreview));
  EXPECT_TRUE(view_->CommandEnabled(CmdSavePreview));
  const QImage shown = Grab();
  EXPECT_EQ(shown.pixel(10, 10), qRgb(255, 255, 255));
  EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2), qRgb(255, 255, 255));

  testing::PromptRecorder prompts;
  prompts.savePath = QString::fromStdString((folder_.Path() / "off.bmp").string());
  view_->RunCommand(CmdSavePreview);
  EXPECT_TRUE(prompts.seen.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.Path() / "off.bmp"));

  // Turned on again, the pane shows the request once more.
  view_->RunCommand(CmdPreview);
  ASSERT_TRUE(QTest::qWaitFor([&] { return view_->PendingSerial() == 0; }, 30000));
  EXPECT_EQ(view_->Picture(), ComposedFrame(3));
}

TEST_F(ImageViewTest, SaveWritesTheRequestedPictureAtItsOwnSize) {
  testing::PromptRecorder prompts;
  const auto stillPath = folder_.Path() / "still.bmp";
  prompts.savePath = QString::fromStdString(stillPath.string());
  ASSERT_TRUE(Show(PreviewFile, kStill, 0));
  view_->RunCommand(CmdSavePreview);
  ASSERT_EQ(prompts.seen.size(), 1u);
  EXPECT_EQ(prompts.seen[0].kind, PromptKind::SaveFile);
  EXPECT_EQ(prompts.seen[0].caption, QStringLiteral("名前を付けて保存"));
  EXPECT_EQ(prompts.seen[0].filter, QStringLiteral("ビットマップファイル (*.bmp)"));
  EXPECT_EQ(prompts.seen[0].defaultSuffix, QStringLiteral("bmp"));
  const std::string stillBytes = BmpFileBytes(Project().files[kStill].picture);
  ASSERT_EQ(stillBytes.size(), 54u + 16 * 12 * 4);  // the picture's size, not the pane's
  EXPECT_EQ(FileBytes(stillPath), stillBytes);

  const auto framePath = folder_.Path() / "frame.bmp";
  prompts.savePath = QString::fromStdString(framePath.string());
  ASSERT_TRUE(Show(PreviewAllTracks, 0, 17));
  view_->RunCommand(CmdSavePreview);
  FrameBuffer composed;
  ComposedFrame(17, &composed);
  EXPECT_EQ(FileBytes(framePath), BmpFileBytes(composed));

  const auto trackPath = folder_.Path() / "track.bmp";
  prompts.savePath = QString::fromStdString(trackPath.string());
  ASSERT_TRUE(Show(PreviewTrack, 1, 17));
  view_->RunCommand(CmdSavePreview);
  FrameBuffer trackOnly;
  ASSERT_TRUE(CreateFrameBuffer(trackOnly, kWidth, kHeight));
  auto states = std::make_unique<PlaybackStates>();
  ASSERT_TRUE(ComposeTrackAt(Project(), *states, 1, 17, trackOnly, nullptr));
  EXPECT_EQ(FileBytes(trackPath), BmpFileBytes(trackOnly));

  // Mode 0 writes nothing and says nothing; a cancelled dialog does nothing.
  const auto nothingPath = folder_.Path() / "nothing.bmp";
  prompts.savePath = QString::fromStdString(nothingPath.string());
  ASSERT_TRUE(Show(PreviewNothing, 0, 0));
  view_->RunCommand(CmdSavePreview);
  EXPECT_FALSE(std::filesystem::exists(nothingPath));
  prompts.savePath.clear();
  ASSERT_TRUE(Show(PreviewFile, kStill, 0));
  view_->RunCommand(CmdSavePreview);
  for (const auto& seen : prompts.seen)
    EXPECT_NE(seen.kind, PromptKind::Error) << seen.text.toStdString();
}

TEST_F(ImageViewTest, SaveFailuresAreReported) {
  testing::PromptRecorder prompts;
  auto errors = [&] {
    int n = 0;
    for (const auto& seen : prompts.seen) {
      if (seen.kind != PromptKind::Error) continue;
      EXPECT_EQ(seen.caption, QStringLiteral("エラー"));
      EXPECT_EQ(seen.text, QStringLiteral("保存に失敗しました。"));
      ++n;
    }
    return n;
  };
  // A folder that does not exist.
  prompts.savePath = QString::fromStdString((folder_.Path() / "missing" / "a.bmp").string());
  ASSERT_TRUE(Show(PreviewFile, kStill, 0));
  view_->RunCommand(CmdSavePreview);
  EXPECT_EQ(errors(), 1);
  // A movie whose frame cannot be fetched.
  prompts.savePath = QString::fromStdString((folder_.Path() / "b.bmp").string());
  document_->preview = {false, PreviewFile, kBroken, 2};
  view_->RunCommand(CmdSavePreview);
  EXPECT_EQ(errors(), 2);
  // An empty slot has no picture to write.
  document_->preview = {false, PreviewFile, 900, 0};
  view_->RunCommand(CmdSavePreview);
  EXPECT_EQ(errors(), 3);
  EXPECT_FALSE(std::filesystem::exists(folder_.Path() / "b.bmp"));
}

TEST_F(ImageViewTest, FailedPictureEmptiesThePaneUntilTheNextRequest) {
  ASSERT_TRUE(Show(PreviewFile, kStill, 0));
  ASSERT_FALSE(view_->Picture().isNull());
  ASSERT_TRUE(Show(PreviewFile, kBroken, 4));
  EXPECT_FALSE(document_->preview.needsRender);
  EXPECT_EQ(document_->preview.mode, PreviewNothing);
  EXPECT_EQ(document_->preview.number, 0);
  EXPECT_EQ(document_->preview.frame, 0u);
  EXPECT_TRUE(view_->Picture().isNull());
  const QImage empty = Grab();
  EXPECT_EQ(empty.pixel(empty.width() / 2, empty.height() / 2), qRgb(255, 255, 255));

  // Another pane's update without a new request keeps the pane empty.
  view_->OnUpdate(nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return view_->PendingSerial() == 0; }, 30000));
  EXPECT_TRUE(view_->Picture().isNull());

  ASSERT_TRUE(Show(PreviewAllTracks, 0, 0));
  EXPECT_EQ(view_->Picture(), ComposedFrame(0));
}

TEST_F(ImageViewTest, MovieRequestsPastTheEndShowTheLastFrame) {
  const auto moviePath = testing::TestMoviePath(testing::Ffv1Avi30());
  ASSERT_FALSE(moviePath.empty());
  FileEntry& movie = Project().files[kMovie];
  ASSERT_TRUE(OpenMovieFile(movie, FromUtf8(moviePath.string()), u""));
  ASSERT_TRUE(Show(PreviewFile, kMovie, 500));
  // The entry is the worker's until the interface thread takes the project back.
  document_->QuiesceWorker();
  EXPECT_EQ(testing::ReadTestFrameIndex(movie.picture.pixels, movie.picture.Width(),
                                        movie.picture.Height()),
            59);
  EXPECT_EQ(view_->Picture(), FrameImage(movie.picture));
  ExpectStretched(Grab(), view_->Picture(), QRect(QPoint(0, 0), view_->viewport()->size()));

  // The scratch event at 10.5 frame durations shows movie frame 10.
  document_->scratchEvent = DefaultEventForFile(Project(), kMovie, 0);
  document_->scratchEvent.playbackPosition = MovieFrameDuration100ns(movie) * 21 / 2;
  ASSERT_TRUE(Show(PreviewScratchEvent, 0, 0));
  document_->QuiesceWorker();
  EXPECT_EQ(testing::ReadTestFrameIndex(movie.picture.pixels, movie.picture.Width(),
                                        movie.picture.Height()),
            10);
  EXPECT_EQ(view_->Picture(), FrameImage(movie.picture));
}

TEST_F(ImageViewTest, MouseEndsDragsAndShowsTheNoDropCursorDuringOne) {
  document_->drag = {true, DragFile, kStill};
  // Two different points, so at least one of them is a move whatever the last test left.
  QTest::mouseMove(view_->viewport(), QPoint(5, 5));
  QTest::mouseMove(view_->viewport(), QPoint(30, 30));
  QCursor cursor = view_->viewport()->cursor();
  EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
  EXPECT_EQ(cursor.hotSpot(), QPoint(15, 15));

  QTest::mousePress(view_->viewport(), Qt::LeftButton, {}, QPoint(30, 30));
  EXPECT_FALSE(document_->drag.active);
  document_->drag.active = true;
  QTest::mouseRelease(view_->viewport(), Qt::LeftButton, {}, QPoint(30, 30));
  EXPECT_FALSE(document_->drag.active);
  EXPECT_EQ(view_->viewport()->cursor().shape(), Qt::ArrowCursor);

  document_->drag.active = true;
  QTest::mousePress(view_->viewport(), Qt::RightButton, {}, QPoint(30, 30));
  EXPECT_FALSE(document_->drag.active);
}

TEST_F(ImageViewTest, PreviewsBetweenExportStepsLeaveTheExportFramesAsTheyWere) {
  // The same export run twice: straight through, and with previews of other frames and
  // tracks between its steps.
  auto run = [&](bool withPreviews) {
    std::vector<QImage> frames;
    const ExportComposer composer = ProjectComposer(&document_->Movies());
    document_->QuiesceWorker();
    composer.prepareTracks(Project());
    FrameBuffer frame;
    EXPECT_TRUE(CreateFrameBuffer(frame, kWidth, kHeight));
    for (uint32_t n = 0; n < 12; ++n) {
      if (withPreviews && n % 3 == 1) {
        EXPECT_TRUE(Show(n % 2 ? PreviewAllTracks : PreviewTrack, 1, 25 - n));
        EXPECT_FALSE(view_->Picture().isNull());
      }
      document_->QuiesceWorker();  // the export composes on this thread
      EXPECT_TRUE(composer.composeNextFrame(Project(), frame));
      frames.push_back(FrameImage(frame));
    }
    return frames;
  };
  const std::vector<QImage> straight = run(false);
  const std::vector<QImage> interrupted = run(true);
  ASSERT_EQ(straight.size(), interrupted.size());
  for (size_t n = 0; n < straight.size(); ++n) EXPECT_EQ(straight[n], interrupted[n]) << n;
  EXPECT_NE(straight[2], straight[3]);
}

// The decisions without widgets.

TEST(ImageViewLogicTest, PicturesEqualCompositionWithStatesOfTheirOwn) {
  auto project = AllocateProjectData();
  ASSERT_TRUE(project);
  ApplyNewProjectReset(*project);
  FillProject(*project);
  StandardMovieFrames movies;
  auto states = std::make_unique<PlaybackStates>();
  auto reference = std::make_unique<PlaybackStates>();
  FrameBuffer expected;
  ASSERT_TRUE(CreateFrameBuffer(expected, kWidth, kHeight));
  EventRecord scratch{};

  for (uint32_t frame : {0u, 7u, 29u, 40u}) {
    PreviewPicture picture;
    ASSERT_TRUE(MakePreviewPicture(*project, {true, PreviewAllTracks, 0, frame}, scratch, *states,
                                   movies, picture));
    ASSERT_EQ(picture.image, &picture.composed);
    ASSERT_TRUE(ComposeFrameAt(*project, *reference, frame, expected, &movies));
    ASSERT_EQ(picture.composed.byteSize, expected.byteSize);
    EXPECT_EQ(0, std::memcmp(picture.composed.pixels, expected.pixels, expected.byteSize))
        << "frame " << frame;
    for (int track : {1, 2, 9}) {
      PreviewPicture one;
      ASSERT_TRUE(MakePreviewPicture(*project, {false, PreviewTrack, track, frame}, scratch,
                                     *states, movies, one));
      ASSERT_TRUE(ComposeTrackAt(*project, *reference, track, frame, expected, &movies));
      EXPECT_EQ(0, std::memcmp(one.composed.pixels, expected.pixels, expected.byteSize))
          << "track " << track << " frame " << frame;
    }
  }

  PreviewPicture file;
  EXPECT_TRUE(
      MakePreviewPicture(*project, {true, PreviewFile, kStill, 3}, scratch, *states, movies, file));
  EXPECT_EQ(file.image, &project->files[kStill].picture);
  // No picture: mode 0, an unknown mode, an empty slot, a file ID outside the table, the
  // scratch event not in use or naming an empty slot.
  scratch = DefaultEventForFile(*project, kStill, 0);
  scratch.flags &= ~EventInUse;
  EventRecord emptySlot = DefaultEventForFile(*project, 12, 0);
  const struct {
    PreviewRequest request;
    EventRecord scratch;
  } none[] = {
      {{true, PreviewNothing, kStill, 0}, scratch},  {{true, 9, kStill, 0}, scratch},
      {{true, PreviewFile, 12, 0}, scratch},         {{true, PreviewFile, -1, 0}, scratch},
      {{true, PreviewFile, kFileCount, 0}, scratch}, {{true, PreviewScratchEvent, 0, 0}, scratch},
      {{true, PreviewScratchEvent, 0, 0}, emptySlot}};
  for (const auto& c : none) {
    PreviewPicture picture;
    EXPECT_TRUE(MakePreviewPicture(*project, c.request, c.scratch, *states, movies, picture));
    EXPECT_EQ(picture.image, nullptr) << c.request.mode << " " << c.request.number;
  }
  // Failures: a movie frame that cannot be fetched (only fetched with needs-render), and an
  // output frame that cannot be made.
  PreviewPicture broken;
  EXPECT_FALSE(MakePreviewPicture(*project, {true, PreviewFile, kBroken, 0}, scratch, *states,
                                  movies, broken));
  EXPECT_EQ(broken.image, nullptr);
  EXPECT_TRUE(MakePreviewPicture(*project, {false, PreviewFile, kBroken, 0}, scratch, *states,
                                 movies, broken));
  EXPECT_EQ(broken.image, &project->files[kBroken].picture);
  project->outputWidth = 0;
  PreviewPicture noFrame;
  EXPECT_FALSE(MakePreviewPicture(*project, {true, PreviewAllTracks, 0, 0}, scratch, *states,
                                  movies, noFrame));
  EXPECT_EQ(noFrame.image, nullptr);
}

TEST(ImageViewLogicTest, TargetRectStretchesOrLetterboxes) {
  EXPECT_EQ(PreviewTargetRect({64, 48}, {300, 100}, false), QRect(0, 0, 300, 100));
  EXPECT_EQ(PreviewTargetRect({64, 48}, {300, 100}, true), QRect(83, 0, 133, 100));
  EXPECT_EQ(PreviewTargetRect({64, 48}, {100, 300}, true), QRect(0, 112, 100, 75));
  EXPECT_EQ(PreviewTargetRect({16, 12}, {320, 240}, true), QRect(0, 0, 320, 240));
  EXPECT_EQ(PreviewTargetRect({1000, 1}, {50, 50}, true), QRect(0, 24, 50, 1));
  EXPECT_TRUE(PreviewTargetRect({0, 0}, {50, 50}, false).isEmpty());
  EXPECT_TRUE(PreviewTargetRect({10, 10}, {0, 50}, true).isEmpty());
}

TEST(ImageViewLogicTest, OutcomeClearsNeedsRenderAndResetsAFailedRequest) {
  PreviewRequest request{true, PreviewTrack, 4, 90};
  ApplyPreviewOutcome(request, true);
  EXPECT_FALSE(request.needsRender);
  EXPECT_EQ(request.mode, PreviewTrack);
  EXPECT_EQ(request.number, 4);
  EXPECT_EQ(request.frame, 90u);
  request.needsRender = true;
  ApplyPreviewOutcome(request, false);
  EXPECT_FALSE(request.needsRender);
  EXPECT_EQ(request.mode, PreviewNothing);
  EXPECT_EQ(request.number, 0);
  EXPECT_EQ(request.frame, 0u);
}

TEST(ImageViewLogicTest, FrameImageIsTheBufferTopRowFirst) {
  FrameBuffer buffer;
  ASSERT_TRUE(CreateFrameBuffer(buffer, 3, 2));
  buffer.At(0, 0) = 0x00112233;
  buffer.At(2, 1) = 0x00445566;
  const QImage image = FrameImage(buffer);
  ASSERT_EQ(image.size(), QSize(3, 2));
  EXPECT_EQ(image.pixel(0, 0), 0xFF112233u);
  EXPECT_EQ(image.pixel(2, 1), 0xFF445566u);
  EXPECT_EQ(image.pixel(1, 0), 0xFF000000u);
  EXPECT_TRUE(FrameImage(FrameBuffer{}).isNull());
}

}  // namespace
}  // namespace tavrona
