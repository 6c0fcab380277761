// The preview resolution: its rules as plain functions, the worker composing small, the preview
// pane showing a reduced picture where the full one would be, and the view menu's choice kept in
// tavrona.INI.
#include "ui/preview_resolution.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTest>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "export_ui_test_support.h"
#include "test_movies.h"
#include "model/late_ptr.h"
#include "model/track_data.h"
#include "render/reduced_placement.h"
#include "ui/composition_worker.h"
#include "ui/document.h"
#include "ui/frame_image.h"
#include "ui/main_window.h"
#include "ui/panes/image_view.h"
#include "ui/panes/image_view_logic.h"
#include "ui/profile.h"

namespace tavrona {
namespace {

constexpr int kWaitMs = 60000;  // a limit for a stuck worker, never reached when it works

TEST(PreviewResolutionTest, StoredValuesOutsideTheChoicesReadAsFull) {
  EXPECT_EQ(PreviewResolutionFromStored(0), PreviewResolution::Full);
  EXPECT_EQ(PreviewResolutionFromStored(1), PreviewResolution::Half);
  EXPECT_EQ(PreviewResolutionFromStored(2), PreviewResolution::Quarter);
  EXPECT_EQ(PreviewResolutionFromStored(3), PreviewResolution::Automatic);
  EXPECT_EQ(PreviewResolutionFromStored(4), PreviewResolution::Full);
  EXPECT_EQ(PreviewResolutionFromStored(-1), PreviewResolution::Full);
  EXPECT_EQ(StartingReduction(PreviewResolution::Half), 2);
  EXPECT_EQ(StartingReduction(PreviewResolution::Quarter), 4);
  EXPECT_EQ(StartingReduction(PreviewResolution::Automatic), 1);
}

TEST(PreviewResolutionTest, AutomaticStepsDownAfterLateFramesInARowAndNeverUp) {
  AutomaticReduction automatic(PreviewResolution::Automatic);
  EXPECT_EQ(automatic.Reduction(), 1);
  // The first frame (the movies' seek) does not count, late or not.
  automatic.FrameComposed(true);
  // Late frames broken by one on time never add up.
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i + 1 < kLateFramesToStepDown; ++i) automatic.FrameComposed(true);
    automatic.FrameComposed(false);
  }
  EXPECT_EQ(automatic.Reduction(), 1);
  for (int i = 0; i + 1 < kLateFramesToStepDown; ++i) EXPECT_EQ(automatic.FrameComposed(true), 1);
  EXPECT_EQ(automatic.FrameComposed(true), 2);
  // The count starts again at the new level.
  for (int i = 0; i + 1 < kLateFramesToStepDown; ++i) EXPECT_EQ(automatic.FrameComposed(true), 2);
  EXPECT_EQ(automatic.FrameComposed(true), 4);
  for (int i = 0; i < 3 * kLateFramesToStepDown; ++i) automatic.FrameComposed(true);
  EXPECT_EQ(automatic.Reduction(), 4);
  for (int i = 0; i < 100; ++i) automatic.FrameComposed(false);
  EXPECT_EQ(automatic.Reduction(), 4);
}

TEST(PreviewResolutionTest, FixedChoicesIgnoreLateFrames) {
  for (PreviewResolution r :
       {PreviewResolution::Full, PreviewResolution::Half, PreviewResolution::Quarter}) {
    AutomaticReduction fixed(r);
    for (int i = 0; i < 3 * kLateFramesToStepDown; ++i) fixed.FrameComposed(true);
    EXPECT_EQ(fixed.Reduction(), StartingReduction(r));
  }
}

TEST(PreviewResolutionTest, ReducedPicturesStandForTheOutputFrame) {
  const QSize output(65, 49);
  // 65 x 49 halved is 33 x 25, of which 32.5 x 24.5 pixels show the output.
  EXPECT_EQ(PreviewShownSize(QSize(33, 25), 2, output), output);
  EXPECT_EQ(PreviewSourceRect(QSize(33, 25), 2, output), QRectF(0, 0, 32.5, 24.5));
  EXPECT_EQ(PreviewShownSize(QSize(17, 13), 4, output), output);
  // Full-size pictures and a file's own picture stand for themselves, whatever the output.
  EXPECT_EQ(PreviewShownSize(QSize(16, 12), 1, output), QSize(16, 12));
  EXPECT_EQ(PreviewSourceRect(QSize(16, 12), 1, QSize(16, 12)), QRectF(0, 0, 16, 12));
  // A reduced picture of another size (the project changed since) stands for its own size
  // times the reduction.
  EXPECT_EQ(PreviewShownSize(QSize(10, 8), 2, output), QSize(20, 16));
  EXPECT_EQ(PreviewSourceRect(QSize(10, 8), 2, QSize(20, 16)), QRectF(0, 0, 10, 8));
}

TEST(PreviewResolutionTest, PlaybackRateNamesAReducedResolution) {
  EXPECT_EQ(PlaybackRateText(59, 60, 1), QString("再生 59 / 60 fps"));
  EXPECT_EQ(PlaybackRateText(30, 29.97, 2), QString("再生 30 / 29.97 fps (1/2)"));
  EXPECT_EQ(PlaybackRateText(30, 30, 4), QString("再生 30 / 30 fps (1/4)"));
}

// Movie frames each made slower than one frame of a 30-frames-per-second project, so every
// playback frame comes late. Called on the worker thread.
class SleepyMovieFrames final : public MovieFrames {
 public:
  int64_t FrameDuration(const FileEntry&) override { return 333333; }
  bool PrepareFrame(FileEntry&, uint32_t) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(45));
    return true;
  }
};

// The export test project with a movie slot shown on track 0 under the moving still.
constexpr int kMovieSlot = 2;
int movieToken = 0;
std::unique_ptr<ProjectData> ProjectWithMovie(uint32_t frames) {
  auto project = testing::MakeExportProject(frames);
  if (!project) return nullptr;
  FileEntry& movie = project->files[kMovieSlot];
  movie.kind = FileMovie;
  movie.movie = MakeLatePtr(reinterpret_cast<MovieSource*>(&movieToken), +[](MovieSource*) {});
  if (!CreateFrameBuffer(movie.picture, 8, 8)) return nullptr;
  for (uint32_t i = 0; i < movie.picture.byteSize / 4; ++i) movie.picture.Words()[i] = 0x00C08040;
  const EventRecord e = DefaultEventForFile(*project, kMovieSlot, 0);
  if (!InsertSorted(project->tracks[0], 1, &e)) return nullptr;
  return project;
}

struct ShownFrame {
  uint32_t frame;
  QImage image;
  int32_t reduction;
};

std::vector<ShownFrame> Play(CompositionWorker& worker, ProjectData& project) {
  std::vector<ShownFrame> shown;
  bool ended = false;
  QObject context;
  QObject::connect(&worker, &CompositionWorker::playbackFrame, &context,
                   [&](quint32 frame, const QImage& image, qint32 reduction) {
                     shown.push_back({frame, image, reduction});
                   });
  QObject::connect(&worker, &CompositionWorker::playbackEnded, &context, [&] { ended = true; });
  EXPECT_TRUE(worker.StartPlayback(project, 0));
  EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }, kWaitMs));
  return shown;
}

QImage ReducedReference(ProjectData& project, uint32_t frame, int32_t reduction,
                        MovieFrames& movies) {
  FrameBuffer buffer;
  EXPECT_TRUE(CreateFrameBuffer(buffer, ReducedExtent(project.outputWidth, reduction),
                                ReducedExtent(project.outputHeight, reduction)));
  auto states = std::make_unique<PlaybackStates>();
  EXPECT_TRUE(ComposeFrameAt(project, *states, frame, buffer, &movies, reduction));
  return FrameImage(buffer);
}

TEST(PreviewResolutionWorkerTest, AutomaticPlaybackStepsDownWhileLateAndStartsAgainAtFull) {
  auto project = ProjectWithMovie(40);
  ASSERT_TRUE(project);
  SleepyMovieFrames movies;
  CompositionWorker worker(movies);
  worker.SetPreviewResolution(PreviewResolution::Automatic);
  for (int run = 0; run < 2; ++run) {
    const std::vector<ShownFrame> shown = Play(worker, *project);
    ASSERT_GE(shown.size(), static_cast<size_t>(2 * kLateFramesToStepDown + 2));
    // Full size for the first frame and the late ones counted after it, then down to a
    // quarter, never back up.
    for (int i = 0; i <= kLateFramesToStepDown; ++i) EXPECT_EQ(shown[i].reduction, 1) << run;
    EXPECT_EQ(shown[kLateFramesToStepDown + 1].reduction, 2) << run;
    EXPECT_EQ(shown[2 * kLateFramesToStepDown + 1].reduction, 4) << run;
    for (size_t i = 1; i < shown.size(); ++i) {
      EXPECT_GE(shown[i].reduction, shown[i - 1].reduction) << run << " frame " << i;
    }
    // Every frame is the composition at its reduction.
    for (const ShownFrame& f : shown) {
      EXPECT_EQ(f.image, ReducedReference(*project, f.frame, f.reduction, movies))
          << "frame " << f.frame << " reduction " << f.reduction;
    }
  }
  // Still previews compose at full size with "自動".
  QImage preview;
  int32_t previewReduction = 0;
  QObject context;
  QObject::connect(&worker, &CompositionWorker::previewReady, &context,
                   [&](quint64, bool, const QImage& image, qint32 reduction) {
                     preview = image;
                     previewReduction = reduction;
                   });
  worker.RequestPreview(*project, PreviewRequest{true, PreviewAllTracks, 0, 3}, EventRecord{});
  ASSERT_TRUE(QTest::qWaitFor([&] { return previewReduction != 0; }, kWaitMs));
  EXPECT_EQ(previewReduction, 1);
  EXPECT_EQ(preview.size(), QSize(64, 48));
}

TEST(PreviewResolutionWorkerTest, FixedResolutionsHoldThroughALatePlayback) {
  auto project = ProjectWithMovie(20);
  ASSERT_TRUE(project);
  SleepyMovieFrames movies;
  CompositionWorker worker(movies);
  for (PreviewResolution r : {PreviewResolution::Full, PreviewResolution::Half}) {
    worker.SetPreviewResolution(r);
    const std::vector<ShownFrame> shown = Play(worker, *project);
    ASSERT_FALSE(shown.empty());
    for (const ShownFrame& f : shown) {
      ASSERT_EQ(f.reduction, StartingReduction(r));
      ASSERT_EQ(f.image.size(), QSize(64, 48) / StartingReduction(r));
    }
    EXPECT_EQ(worker.PlaybackReduction(), StartingReduction(r));
  }
}

// The pane at a size where one project pixel is 5 x 5 pane pixels: a still placed on even
// coordinates shows the same pane pixels composed at full, half and quarter size.
class PreviewPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AppProfile().Load(folder_.Path() / "tavrona.INI");
    document_ = std::make_unique<CKeldaDoc>();
    ProjectData& project = document_->Project();
    project.outputWidth = 64;
    project.outputHeight = 48;
    project.SetFrameRate(30);
    project.movieLength = 10;
    project.backgroundColour = 0x00203040;
    FileEntry& still = project.files[1];
    still.kind = FileStillImage;
    ASSERT_TRUE(CreateFrameBuffer(still.picture, 16, 12));
    for (uint32_t i = 0; i < still.picture.byteSize / 4; ++i) still.picture.Words()[i] = 0x0000FF00;
    still.transparentColour = kNoTransparentColour;
    EventRecord e = DefaultEventForFile(project, 1, 0);
    e.positionX = 8;
    e.positionY = 8;
    ASSERT_TRUE(InsertSorted(project.tracks[0], 1, &e));
    view_ = std::make_unique<CImageView>(*document_);
    view_->resize(320 + view_->width() - view_->viewport()->width(),
                  240 + view_->height() - view_->viewport()->height());
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    ASSERT_EQ(view_->viewport()->size(), QSize(320, 240));
  }
  void TearDown() override {
    view_.reset();
    document_.reset();
  }

  QImage ShowAt(PreviewResolution resolution) {
    document_->Worker().SetPreviewResolution(resolution);
    document_->preview = {true, PreviewAllTracks, 0, 0};
    view_->OnUpdate(nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view_->PendingSerial() == 0; }, kWaitMs));
    return view_->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  testing::TempFolder folder_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CImageView> view_;
};

TEST_F(PreviewPaneTest, ReducedPreviewLandsOnTheSamePanePixels) {
  const QImage full = ShowAt(PreviewResolution::Full);
  EXPECT_EQ(view_->Picture().size(), QSize(64, 48));
  // The still covers project pixels [8, 24) x [8, 20): pane pixels [40, 120) x [40, 100).
  EXPECT_EQ(full.pixel(40, 40), qRgb(0, 255, 0));
  EXPECT_EQ(full.pixel(119, 99), qRgb(0, 255, 0));
  EXPECT_EQ(full.pixel(39, 40), qRgb(0x40, 0x30, 0x20));
  EXPECT_EQ(full.pixel(120, 99), qRgb(0x40, 0x30, 0x20));
  EXPECT_EQ(full.pixel(119, 100), qRgb(0x40, 0x30, 0x20));
  for (PreviewResolution r : {PreviewResolution::Half, PreviewResolution::Quarter}) {
    const QImage reduced = ShowAt(r);
    EXPECT_EQ(view_->PictureReduction(), StartingReduction(r));
    EXPECT_EQ(view_->Picture().size(), QSize(64, 48) / StartingReduction(r));
    EXPECT_EQ(reduced, full) << static_cast<int>(r);
  }
}

TEST_F(PreviewPaneTest, OddOutputSizesKeepTheOutputsProportions) {
  // 66 x 50 halved is 33 x 25 (exact); 65 x 49 would be 32.5 x 24.5 and shows that much.
  ProjectData& project = document_->Project();
  project.outputWidth = 65;
  project.outputHeight = 49;
  view_->SetKeepAspect(true);
  const QImage full = ShowAt(PreviewResolution::Full);
  const QImage half = ShowAt(PreviewResolution::Half);
  EXPECT_EQ(view_->Picture().size(), QSize(33, 25));
  const QRect target = PreviewTargetRect(QSize(65, 49), QSize(320, 240), true);
  ASSERT_FALSE(target.isEmpty());
  // Letterbox bars where the full picture has them, the still's centre where it is.
  const int scaleX = target.width(), scaleY = target.height();
  const QPoint stillCentre(target.left() + 16 * scaleX / 65, target.top() + 14 * scaleY / 49);
  EXPECT_EQ(half.pixel(stillCentre), qRgb(0, 255, 0));
  EXPECT_EQ(full.pixel(stillCentre), qRgb(0, 255, 0));
  const QPoint lastColumn(target.right() - 1, target.top() + 2);
  EXPECT_EQ(half.pixel(lastColumn), qRgb(0x40, 0x30, 0x20));
  if (target.left() > 0) EXPECT_EQ(half.pixel(target.left() - 1, 5), qRgb(0, 0, 0));
  if (target.right() + 1 < 320) EXPECT_EQ(half.pixel(target.right() + 1, 5), qRgb(0, 0, 0));
  if (target.top() > 0) EXPECT_EQ(half.pixel(5, target.top() - 1), qRgb(0, 0, 0));
  if (target.bottom() + 1 < 240) EXPECT_EQ(half.pixel(5, target.bottom() + 1), qRgb(0, 0, 0));
}

class ResolutionMenuTest : public ::testing::Test {
 protected:
  void SetUp() override { AppProfile().Load(folder_.Path() / "tavrona.INI"); }
  void TearDown() override {
    frame_.reset();
    document_.reset();
  }
  void Open() {
    document_ = std::make_unique<CKeldaDoc>();
    frame_ = std::make_unique<CMainFrame>(*document_);
    frame_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get()));
  }

  testing::TempFolder folder_;
  std::unique_ptr<CKeldaDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
};

TEST_F(ResolutionMenuTest, TheChoiceReachesTheWorkerThePaneAndTavronaIni) {
  AppProfile().SetInt(kPreviewResolutionSection, kPreviewResolutionKey, 9);  // out of range
  Open();
  QMenu* menu = frame_->ResolutionMenu();
  ASSERT_NE(menu, nullptr);
  QStringList texts;
  for (QAction* a : menu->actions()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"フル", "1/2", "1/4", "自動"}));
  EXPECT_TRUE(frame_->ResolutionAction(PreviewResolution::Full)->isChecked());
  EXPECT_EQ(document_->Worker().Resolution(), PreviewResolution::Full);

  // A composition shown in the pane is composed again at the chosen size.
  ProjectData& project = document_->Project();
  project.outputWidth = 64;
  project.outputHeight = 48;
  document_->preview = {true, PreviewAllTracks, 0, 0};
  auto* pane = static_cast<CImageView*>(frame_->Pane(PanePreview));
  frame_->ResolutionAction(PreviewResolution::Quarter)->trigger();
  EXPECT_EQ(document_->Worker().Resolution(), PreviewResolution::Quarter);
  ASSERT_TRUE(QTest::qWaitFor([&] { return pane->PictureReduction() == 4; }, kWaitMs));
  EXPECT_EQ(pane->Picture().size(), QSize(16, 12));
  EXPECT_TRUE(frame_->ResolutionAction(PreviewResolution::Quarter)->isChecked());
  EXPECT_FALSE(frame_->ResolutionAction(PreviewResolution::Full)->isChecked());
  EXPECT_EQ(AppProfile().GetInt(kPreviewResolutionSection, kPreviewResolutionKey, -1), 2);

  // Written to the file and read back by the next window.
  frame_->ResolutionAction(PreviewResolution::Automatic)->trigger();
  ASSERT_TRUE(AppProfile().Save());
  frame_.reset();
  document_.reset();
  AppProfile().Load(folder_.Path() / "tavrona.INI");
  Open();
  EXPECT_TRUE(frame_->ResolutionAction(PreviewResolution::Automatic)->isChecked());
  EXPECT_EQ(document_->Worker().Resolution(), PreviewResolution::Automatic);
  frame_->ResolutionAction(PreviewResolution::Full)->trigger();
}

}  // namespace
}  // namespace tavrona
