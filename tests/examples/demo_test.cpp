// The bundled demo: the maker writes a complete project that loads from wherever its folder is,
// with every source open and every event's region the size of its picture, and its frames
// compose with what each track is meant to show.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "demo_project.h"
#include "demo_sources.h"
#include "model/project_file.h"
#include "render/compose.h"
#include "sources/project_sources.h"

namespace tavrona {
namespace {

// Every question a load asks is a failure of the demo.
class NoQuestions : public LoadQuestions {
 public:
  bool AskYesNo(const std::u16string&) override {
    ++asked;
    return false;
  }
  int asked = 0;
};

class DemoTest : public ::testing::Test {
 protected:
  // The demo is made once for all tests (writing its clip takes a moment).
  static void SetUpTestSuite() {
    root_ = std::filesystem::temp_directory_path() /
            ("tavrona_demo_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(root_);
    StandardSourceOpener opener;
    std::string error;
    made_ = demo::MakeDemo(root_ / "made", opener, error);
    if (!made_) std::fprintf(stderr, "MakeDemo: %s\n", error.c_str());
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(root_); }

  void SetUp() override { ASSERT_TRUE(made_); }

  // Reads folder/demo.vpj into a new block; null on failure.
  static std::unique_ptr<ProjectData> Load(const std::filesystem::path& folder) {
    std::unique_ptr<ProjectData> project = AllocateProjectData();
    StandardSourceOpener opener;
    NoQuestions questions;
    if (!ReadProjectFile((folder / "demo.vpj").u16string(), *project, opener, questions) ||
        questions.asked != 0) {
      return nullptr;
    }
    return project;
  }

  static int Luma(uint32_t pixel) {
    return ((pixel >> 16 & 0xFF) * 3 + (pixel >> 8 & 0xFF) * 6 + (pixel & 0xFF)) / 10;
  }
  // Mean brightness of a rectangle of a frame.
  static double MeanLuma(const FrameBuffer& frame, int left, int top, int right, int bottom) {
    double sum = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) sum += Luma(frame.At(x, y));
    }
    return sum / ((right - left) * (bottom - top));
  }

  static inline std::filesystem::path root_;
  static inline bool made_ = false;
};

TEST_F(DemoTest, LoadsWithEverySourceOpenAndRegionsOfThePictureSizes) {
  std::unique_ptr<ProjectData> project = Load(root_ / "made");
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->outputWidth, 1280);
  EXPECT_EQ(project->outputHeight, 720);
  EXPECT_EQ(project->frameRate, 30.0);
  EXPECT_EQ(project->movieLength, demo::kDemoFrames);
  EXPECT_TRUE(PathView(project->basePath).empty());

  const int32_t expectedKinds[demo::kDemoFileCount] = {
      FileStillImage, FileStillImage, FileMovie, FileStillImage, FileStillImage,
      FileStillImage, FileStillImage, FileText,  FileText,       FileText};
  for (int id = 0; id < demo::kDemoFileCount; ++id) {
    const FileEntry& entry = project->files[id];
    EXPECT_EQ(entry.kind, expectedKinds[id]) << "file " << id;
    EXPECT_FALSE(entry.picture.Empty()) << "file " << id;
    if (entry.kind != FileText) {
      // stored relative, so the folder can move
      EXPECT_EQ(PathView(entry.path).substr(0, 1), u"\\") << "file " << id;
    }
  }
  for (int id = demo::kDemoFileCount; id < kFileCount; ++id) {
    EXPECT_EQ(project->files[id].kind, FileEmpty) << "file " << id;
  }
  EXPECT_EQ(project->files[demo::kFileClip].picture.Width(), demo::kClipWidth);
  EXPECT_EQ(project->files[demo::kFileClip].picture.Height(), demo::kClipHeight);
  EXPECT_EQ(project->files[demo::kFileSkyline].transparentColour, demo::kSkylineKey);
  EXPECT_EQ(project->files[demo::kFileEmblem].transparentColour, demo::kEmblemKey);

  int usedTracks = 0;
  bool blends[kBlendModeCount] = {};
  bool interpolated = false;
  for (int t = 0; t < kTrackCount; ++t) {
    const TrackData& track = project->tracks[t];
    if (track.count > 0) ++usedTracks;
    for (uint32_t i = 0; i < track.count; ++i) {
      const EventRecord& e = track.events[i];
      ASSERT_GE(e.fileId, 0);
      ASSERT_LT(e.fileId, demo::kDemoFileCount);
      const FrameBuffer& picture = project->files[e.fileId].picture;
      EXPECT_EQ(e.regionLeft, 0);
      EXPECT_EQ(e.regionTop, 0);
      EXPECT_EQ(e.regionRight, picture.Width()) << "track " << t << " event " << i;
      EXPECT_EQ(e.regionBottom, picture.Height()) << "track " << t << " event " << i;
      EXPECT_LT(e.start, demo::kDemoFrames);
      blends[e.blendMode] = true;
      interpolated = interpolated || (e.flags & EventInterpolate) != 0;
    }
  }
  EXPECT_GE(usedTracks, 8);
  EXPECT_TRUE(interpolated);
  EXPECT_TRUE(blends[BlendAdd] && blends[BlendMultiply] && blends[BlendSubtract]);
  // Four templates, keys 1 to 4, each showing its whole picture centred on the frame.
  for (int slot = 0; slot < kTemplateCount; ++slot) {
    const EventRecord& t = project->templates[slot];
    if (slot >= 4) {
      EXPECT_FALSE(t.InUse()) << "template " << slot;
      continue;
    }
    ASSERT_TRUE(t.InUse()) << "template " << slot;
    EXPECT_EQ(t.start, 0u);
    EXPECT_EQ(t.regionRight, project->files[t.fileId].picture.Width());
    EXPECT_EQ(t.positionX, 640.0f);
    EXPECT_EQ(t.baseY, project->files[t.fileId].picture.Height() / 2.0f);
  }
}

TEST_F(DemoTest, LoadsAfterItsFolderMoved) {
  std::filesystem::copy(root_ / "made", root_ / "moved", std::filesystem::copy_options::recursive);
  std::unique_ptr<ProjectData> project = Load(root_ / "moved");
  ASSERT_NE(project, nullptr);
  EXPECT_EQ(project->files[demo::kFileClip].kind, FileMovie);
  EXPECT_EQ(PathView(project->projectFolder), (root_ / "moved").u16string());
}

TEST_F(DemoTest, FramesComposeWithWhatEachTrackShows) {
  std::unique_ptr<ProjectData> project = Load(root_ / "made");
  ASSERT_NE(project, nullptr);
  StandardMovieFrames movies;
  auto states = std::make_unique<PlaybackStates>();
  FrameBuffer early, late, next;
  ASSERT_TRUE(CreateFrameBuffer(early, 1280, 720));
  ASSERT_TRUE(CreateFrameBuffer(late, 1280, 720));
  ASSERT_TRUE(CreateFrameBuffer(next, 1280, 720));
  ASSERT_TRUE(ComposeFrameAt(*project, *states, 5, early, &movies));
  ASSERT_TRUE(ComposeFrameAt(*project, *states, 150, late, &movies));
  ASSERT_TRUE(ComposeFrameAt(*project, *states, 160, next, &movies));

  // Keyed pictures never show their key colours.
  const uint32_t greenKey = ProjectColourToPixel(demo::kSkylineKey);
  const uint32_t magentaKey = ProjectColourToPixel(demo::kEmblemKey);
  for (const FrameBuffer* frame : {&early, &late}) {
    for (uint32_t i = 0; i < frame->byteSize / 4; ++i) {
      ASSERT_NE(frame->Words()[i], greenKey) << "pixel " << i;
      ASSERT_NE(frame->Words()[i], magentaKey) << "pixel " << i;
    }
  }
  // The title has faded in: its area is much brighter at 5 s than before it appears.
  EXPECT_GT(MeanLuma(late, 90, 80, 600, 150), MeanLuma(early, 90, 80, 600, 150) + 20);
  // The clip plays: its area changes between frames 150 and 160.
  int clipDiffers = 0;
  for (int y = 330; y < 470; y += 4) {
    for (int x = 800; x < 1080; x += 4) clipDiffers += late.At(x, y) != next.At(x, y);
  }
  EXPECT_GT(clipDiffers, 500);
  // The city is keyed in at the bottom: dark walls below, the key's green nowhere.
  EXPECT_LT(MeanLuma(late, 0, 690, 1280, 720), 80);
}

// Clip frames of any size stay inside their buffer (the sanitizer build checks) and move.
TEST(DemoClipTest, FramesOfAnySizeStayInsideAndMove) {
  for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {17, 5}, {64, 36}}) {
    FrameBuffer a, b;
    ASSERT_TRUE(CreateFrameBuffer(a, width, height));
    ASSERT_TRUE(CreateFrameBuffer(b, width, height));
    demo::DrawClipFrame(a, 0, 10);
    demo::DrawClipFrame(b, 9, 10);
    if (width >= 17) {
      EXPECT_NE(std::memcmp(a.pixels, b.pixels, a.byteSize), 0) << width;
    }
  }
}

}  // namespace
}  // namespace tavrona
