// Composing at a half or a quarter of the output size: the placement is scaled, not the picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "app/process_state.h"
#include "model/project_data.h"
#include "model/track_data.h"
#include "render/compose.h"
#include "render/matrix.h"
#include "render/reduced_placement.h"

namespace tavrona {
namespace {

constexpr uint32_t kBackground = 0x00302010u;  // as a pixel word, 0x00RRGGBB

TEST(ReducedExtentTest, RoundsUpSoTheReducedFrameCoversTheOutput) {
  EXPECT_EQ(ReducedExtent(1920, 1), 1920);
  EXPECT_EQ(ReducedExtent(1920, 2), 960);
  EXPECT_EQ(ReducedExtent(1921, 2), 961);
  EXPECT_EQ(ReducedExtent(1081, 4), 271);
  EXPECT_EQ(ReducedExtent(3, 4), 1);
  EXPECT_EQ(ReducedExtent(0, 2), 0);
  EXPECT_EQ(ReducedExtent(-5, 2), 0);
  // An invalid reduction composes at full size.
  EXPECT_EQ(ReducedExtent(100, 3), 100);
  EXPECT_EQ(ReducedExtent(100, 0), 100);
  EXPECT_FALSE(ValidReduction(8));
}

// Applies a 3 x 3 matrix to (x, y, 1) projectively.
void Apply(const float m[9], double x, double y, double& X, double& Y) {
  const double w = m[6] * x + m[7] * y + m[8];
  X = (m[0] * x + m[1] * y + m[2]) / w;
  Y = (m[3] * x + m[4] * y + m[5]) / w;
}

EventRecord TurnedEvent(int32_t method) {
  EventRecord e{};
  e.flags = EventInUse | EventBaseTransform;
  e.drawingMethod = method;
  e.baseX = 40;
  e.baseY = 30;
  e.scale = 0.7f;
  e.rotation = 33;
  e.positionX = 301;
  e.positionY = 177;
  BuildPlacementMatrices(e);
  ApplyHalfPixelOffset(e);
  return e;
}

// The reduced placement puts every source point at the full placement's output point divided by
// the reduction (measured on the placement before the half-pixel move, which both share), and
// its inverse sends the divided point back to the same source point.
TEST(ReducePlacementTest, SourcePointsLandAtTheDividedOutputPoints) {
  const float* g = Process().halfPixel;
  for (int32_t method = 1; method <= 4; ++method) {
    for (int32_t reduction : {2, 4}) {
      const EventRecord full = TurnedEvent(method);
      float forward[9], inverse[9];
      std::copy(full.matrix, full.matrix + 9, forward);
      std::copy(full.inverseMatrix, full.inverseMatrix + 9, inverse);
      ReducePlacement(forward, inverse, method, reduction);
      for (const auto [sx, sy] : {std::pair{0.0, 0.0}, {80.0, 0.0}, {17.5, 59.0}}) {
        double fx, fy, rx, ry;
        Apply(full.matrix, sx, sy, fx, fy);
        Apply(forward, sx, sy, rx, ry);
        // Both carry the half-pixel translation g[2], g[5] outside the scaling.
        EXPECT_NEAR(rx - g[2], (fx - g[2]) / reduction, 1e-3) << method << " " << reduction;
        EXPECT_NEAR(ry - g[5], (fy - g[5]) / reduction, 1e-3) << method << " " << reduction;
      }
      // The inverse of an output point of the reduced frame reads where the full inverse reads
      // for the corresponding point of the full frame.
      for (const auto [ox, oy] : {std::pair{10.0, 20.0}, {150.0, 90.0}}) {
        double fullX, fullY, reducedX, reducedY;
        if (method == DrawMethodNormal) {
          // Method 1 maps pixel corners: corner (ox, oy) of the reduced frame is corner
          // (ox, oy) * reduction of the full one.
          Apply(full.inverseMatrix, ox * reduction, oy * reduction, fullX, fullY);
        } else {
          // Methods 2 to 4 map pixel centres: centre ox + 1/2 of the reduced frame lies at
          // (ox + 1/2) * reduction in full coordinates, centre (ox + 1/2) * reduction - 1/2.
          Apply(full.inverseMatrix, (ox + g[2]) * reduction - g[2],
                (oy + g[5]) * reduction - g[5], fullX, fullY);
        }
        Apply(inverse, ox, oy, reducedX, reducedY);
        EXPECT_NEAR(reducedX, fullX, 1e-3) << method << " " << reduction;
        EXPECT_NEAR(reducedY, fullY, 1e-3) << method << " " << reduction;
      }
    }
  }
}

TEST(ReducePlacementTest, FullSizeAndInvalidReductionsChangeNothing) {
  for (int32_t reduction : {1, 0, 3, -2}) {
    const EventRecord e = TurnedEvent(3);
    float forward[9], inverse[9];
    std::copy(e.matrix, e.matrix + 9, forward);
    std::copy(e.inverseMatrix, e.inverseMatrix + 9, inverse);
    ReducePlacement(forward, inverse, 3, reduction);
    for (int k = 0; k < 9; ++k) {
      EXPECT_EQ(forward[k], e.matrix[k]) << reduction;
      EXPECT_EQ(inverse[k], e.inverseMatrix[k]) << reduction;
    }
  }
}

class ReducedComposeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project_ = AllocateProjectData();
    ApplyNewProjectReset(*project_);
    project_->outputWidth = 64;
    project_->outputHeight = 32;
    project_->backgroundColour = 0x00102030;
    Process().defaultDrawingMethodMirror = 0;
    Process().settings.pixelQuality = 2;
  }

  void Still(int id, uint32_t pixel, int w, int h) {
    FileEntry& f = project_->files[id];
    f.kind = FileStillImage;
    ASSERT_TRUE(CreateFrameBuffer(f.picture, w, h));
    for (uint32_t i = 0; i < f.picture.byteSize / 4; ++i) f.picture.Words()[i] = pixel;
    f.transparentColour = 0xFF000000;
  }

  void Add(int track, const EventRecord& e) {
    ASSERT_TRUE(InsertSorted(project_->tracks[track], 1, &e));
  }

  bool Compose(FrameBuffer& frame, int32_t reduction) {
    if (!CreateFrameBuffer(frame, ReducedExtent(project_->outputWidth, reduction),
                           ReducedExtent(project_->outputHeight, reduction))) {
      return false;
    }
    return ComposeFrameAt(*project_, *states_, 0, frame, nullptr, reduction);
  }

  std::unique_ptr<ProjectData> project_;
  std::unique_ptr<PlaybackStates> states_ = std::make_unique<PlaybackStates>();
};

// A solid still placed at (8, 4), 16 x 8 output pixels, covers exactly [8, 24) / r x [4, 12) / r
// of a frame reduced by r, with every drawing method. (At full size method 1's truncation of
// negative source coordinates towards zero also takes in the row and column before.)
TEST_F(ReducedComposeTest, AxisAlignedStillCoversTheDividedRectangle) {
  Still(0, 0x00FF0000, 16, 8);
  for (int32_t method = 1; method <= 4; ++method) {
    EventRecord e = DefaultEventForFile(*project_, 0, 0);
    e.drawingMethod = method;
    e.positionX = 8;
    e.positionY = 4;
    ASSERT_TRUE(ResetTrack(project_->tracks[0], 0));
    Add(0, e);
    for (int32_t reduction : {2, 4}) {
      FrameBuffer frame;
      ASSERT_TRUE(Compose(frame, reduction));
      ASSERT_EQ(frame.Width(), 64 / reduction);
      ASSERT_EQ(frame.Height(), 32 / reduction);
      for (int y = 0; y < frame.Height(); ++y) {
        for (int x = 0; x < frame.Width(); ++x) {
          const bool inside = x >= 8 / reduction && x < 24 / reduction && y >= 4 / reduction &&
                              y < 12 / reduction;
          ASSERT_EQ(frame.At(x, y), inside ? 0x00FF0000u : kBackground)
              << "method " << method << " reduction " << reduction << " at " << x << "," << y;
        }
      }
    }
  }
}

// A turned, translucent still: the reduced frame is not the full frame shrunk pixel for pixel,
// but it covers the same share of the picture and agrees with the full frame at the centres of
// the pixels it samples, away from the edges.
TEST_F(ReducedComposeTest, TurnedTranslucentStillAgreesWithTheFullFrame) {
  project_->outputWidth = 160;
  project_->outputHeight = 96;
  Still(0, 0x0000C0FF, 60, 40);
  EventRecord e = DefaultEventForFile(*project_, 0, 0);
  e.drawingMethod = DrawMethodLinear;
  e.baseX = 30;
  e.baseY = 20;
  e.rotation = 30;
  e.scale = 1.2f;
  e.positionX = 80;
  e.positionY = 48;
  e.opacity = EncodeOpacity(160);
  Add(0, e);
  FrameBuffer full, half;
  ASSERT_TRUE(Compose(full, 1));
  ASSERT_TRUE(Compose(half, 2));
  int fullCovered = 0, halfCovered = 0, agreeing = 0, compared = 0;
  for (int y = 0; y < full.Height(); ++y) {
    for (int x = 0; x < full.Width(); ++x) fullCovered += full.At(x, y) != kBackground;
  }
  for (int y = 0; y < half.Height(); ++y) {
    for (int x = 0; x < half.Width(); ++x) {
      if (half.At(x, y) == kBackground) continue;
      ++halfCovered;
      // Inside a 2 x 2 block that the full frame covers entirely, the colour must match it.
      const bool blockInside = full.At(2 * x, 2 * y) != kBackground &&
                               full.At(2 * x + 1, 2 * y) != kBackground &&
                               full.At(2 * x, 2 * y + 1) != kBackground &&
                               full.At(2 * x + 1, 2 * y + 1) != kBackground;
      if (!blockInside) continue;
      ++compared;
      agreeing += half.At(x, y) == full.At(2 * x + 1, 2 * y + 1);
    }
  }
  ASSERT_GT(fullCovered, 2000);
  EXPECT_NEAR(halfCovered * 4.0 / fullCovered, 1.0, 0.05);
  EXPECT_GT(compared, 400);
  EXPECT_EQ(agreeing, compared);
}

// The full-size placement stays in the caller's states: composing small and then at full size
// gives the frame a full-size composition alone gives; sequential steps honour the reduction.
TEST_F(ReducedComposeTest, StatesKeepTheFullPlacementAndSequentialStepsReduce) {
  Still(0, 0x00FF0000, 16, 8);
  EventRecord e = DefaultEventForFile(*project_, 0, 0);
  e.positionX = 16;
  e.positionY = 8;
  Add(0, e);
  FrameBuffer fresh, afterReduced;
  ASSERT_TRUE(Compose(fresh, 1));
  FrameBuffer quarter;
  ASSERT_TRUE(Compose(quarter, 4));
  ASSERT_TRUE(Compose(afterReduced, 1));
  ASSERT_EQ(fresh.byteSize, afterReduced.byteSize);
  EXPECT_EQ(0, std::memcmp(fresh.pixels, afterReduced.pixels, fresh.byteSize));

  FrameBuffer half;
  ASSERT_TRUE(CreateFrameBuffer(half, 32, 16));
  PrepareExportTracks(*project_, *states_);
  ASSERT_TRUE(ComposeNextExportFrame(*project_, *states_, half, nullptr, true, nullptr, 2));
  EXPECT_EQ(half.At(8, 4), 0x00FF0000u);
  EXPECT_EQ(half.At(15, 7), 0x00FF0000u);
  EXPECT_EQ(half.At(16, 4), kBackground);
  EXPECT_EQ(half.At(7, 4), kBackground);
}

}  // namespace
}  // namespace tavrona
