#include "render/kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "model/frame_buffer.h"
#include "reference_kernels.h"
#include "render/matrix.h"
#include "render/pixel_ops.h"

namespace tavrona {
namespace {

constexpr uint32_t kNoKey = 0xFF000000u;

// A picture in frame buffer layout with a pixel accessor in top-down coordinates.
struct Picture {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> words;
  Picture(int32_t w, int32_t h, uint32_t fill = 0)
      : width(w), height(h), words(size_t(w) * h, fill) {}
  uint32_t& At(int x, int y) { return words[size_t(height - 1 - y) * width + x]; }
};

KernelParams Params(Picture& dst, const Picture& src) {
  KernelParams p;
  p.clipRight = dst.width;
  p.clipBottom = dst.height;
  p.regionRight = src.width;
  p.regionBottom = src.height;
  p.destinationPixels = dst.words.data();
  p.destinationWidth = dst.width;
  p.destinationHeight = dst.height;
  p.sourcePixels = src.words.data();
  p.sourceWidth = src.width;
  p.sourceHeight = src.height;
  return p;
}

// Places the source unscaled with its base at (px, py), adjusted for the method.
void Place(KernelParams& p, int method, float baseX, float baseY, float scale, float rotation,
           float px, float py) {
  EventRecord e{};
  e.drawingMethod = method;
  e.baseX = baseX;
  e.baseY = baseY;
  e.scale = scale;
  e.rotation = rotation;
  e.positionX = px;
  e.positionY = py;
  BuildPlacementMatrices(e);
  ApplyHalfPixelOffset(e);
  std::copy(e.matrix, e.matrix + 9, p.matrix);
  std::copy(e.inverseMatrix, e.inverseMatrix + 9, p.inverseMatrix);
}

// What the reference draws of p over `before`.
std::vector<uint32_t> ReferenceDraw(int method, KernelParams p, std::vector<uint32_t> before) {
  p.destinationPixels = before.data();
  reference::Draw(method, p);
  return before;
}

// What the active kernel variant draws of p over `before`.
std::vector<uint32_t> KernelDraw(int method, KernelParams p, std::vector<uint32_t> before) {
  p.destinationPixels = before.data();
  DrawWithMethod(method, p);
  return before;
}

// Restores the fastest variant and the default thread count when a test ends.
struct VariantGuard {
  ~VariantGuard() {
    ResetKernelVariant();
    SetRenderThreadCount(0);
  }
};

// Every variant this processor runs. One that the processor runs but the build lacks (or built
// without its vectors) fails the calling test instead of going untested.
std::vector<KernelVariant> Variants() {
  std::vector<KernelVariant> out;
  for (KernelVariant v : AllKernelVariants()) {
    if (!ProcessorRunsKernelVariant(v)) continue;
    EXPECT_TRUE(KernelVariantAvailable(v))
        << KernelVariantName(v) << " runs here but is not built (lanes "
        << KernelVariantLanes(v) << ")";
    if (KernelVariantAvailable(v)) out.push_back(v);
  }
  return out;
}

// ---- Pixel arithmetic ----------------------------------------------------------------------

TEST(PixelOpsTest, ArithmeticMatchesTheChannelFormulas) {
  EXPECT_EQ(MixPixel(128, 0xFF, 0x00), 127u);
  EXPECT_EQ(MixPixel(255, 0xFF, 0x00), 254u);
  EXPECT_EQ(MixPixel(256, 0xFF123456, 0x00ABCDEF), 0x00123456u);  // fourth byte dropped
  EXPECT_EQ(MultiplyPixel(0x808080, 0x808080), 0x404040u);
  EXPECT_EQ(MultiplyPixel(0xFFFFFF, 0x12AB7F), 0x12AB7Fu);
  EXPECT_EQ(AddPixel(0xC8C8C8, 0x646464), 0xFFFFFFu);
  EXPECT_EQ(SubtractPixel(0x646464, 0xC8C8C8), 0u);
  EXPECT_EQ(SubtractPixel(0xC8C8C8, 0x646464), 0x646464u);
  for (uint32_t x = 0; x < 65536; ++x) ASSERT_EQ(DivideBy255(x), x / 255) << x;
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t a = rng(), b = rng(), w = rng() % 257;
    ASSERT_EQ(MixPixel(w, a, b), reference::Mix(w, a, b));
    ASSERT_EQ(MultiplyPixel(a, b), reference::Multiply(a, b));
    ASSERT_EQ(AddPixel(a, b), reference::Add(a, b));
    ASSERT_EQ(SubtractPixel(a, b), reference::Subtract(a, b));
  }
}

// ---- Mapping -------------------------------------------------------------------------------

TEST(KernelTest, MapPointFloorRoundsDownAndRejectsBadPoints) {
  const float shift[9] = {1, 0, -2.5f, 0, 1, 0.25f, 0, 0, 1};
  int32_t X = 0, Y = 0;
  ASSERT_TRUE(MapPointFloor(shift, 1, 0, X, Y));
  EXPECT_EQ(X, -2);  // -1.5 rounds down
  EXPECT_EQ(Y, 0);
  const float flat[9] = {1, 0, 0, 0, 1, 0, 0, 0, 0};
  EXPECT_FALSE(MapPointFloor(flat, 3, 4, X, Y));  // zero denominator
  const float huge[9] = {1e30f, 0, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_FALSE(MapPointFloor(huge, 3, 4, X, Y));  // beyond 32 bits
  EXPECT_EQ(X, -2);
}

TEST(KernelTest, NormalDrawsTexelZeroTwiceBoundaryCorrectedOnce) {
  Picture src(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.At(x, y) = 0x010000u * (y + 1) + (x + 1);
  for (int method : {1, 2}) {
    Picture dst(20, 20, 0x00777777);
    KernelParams p = Params(dst, src);
    Place(p, method, 0, 0, 1, 0, 10, 10);
    DrawWithMethod(method, p);
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 20; ++x) {
        const int firstX = method == 1 ? 9 : 10, firstY = method == 1 ? 9 : 10;
        uint32_t expected = 0x00777777;
        if (x >= firstX && x <= 13 && y >= firstY && y <= 13) {
          expected = src.At(std::max(x - 10, 0), std::max(y - 10, 0));
        }
        ASSERT_EQ(dst.At(x, y), expected) << "method " << method << " at " << x << "," << y;
      }
    }
  }
}

// ---- Blend modes, colour, opacity and keying --------------------------------------------

// Draws a 1 x 1 source texel s over the destination pixel d with method 2.
uint32_t DrawOne(uint32_t s, uint32_t d, uint32_t mode, uint32_t colourWord,
                 uint32_t transparent = kNoKey, int method = 2) {
  Picture src(1, 1, s), dst(1, 1, d);
  KernelParams p = Params(dst, src);
  p.blendMode = mode;
  p.colourWord = colourWord;
  p.transparentColour = transparent;
  Place(p, method, 0, 0, 1, 0, 0, 0);
  DrawWithMethod(method, p);
  return dst.words[0];
}

TEST(KernelTest, BlendModesColourAndOpacity) {
  // White at opacity 0: the texel replaces the pixel whole, fourth byte included.
  EXPECT_EQ(DrawOne(0xAB123456, 0x00FFFFFF, 0, 0x00FFFFFF), 0xAB123456u);
  // Mode 0 opacity 128 and 255.
  EXPECT_EQ(DrawOne(0xFF, 0x00, 0, 0x80FFFFFF), 127u);
  EXPECT_EQ(DrawOne(0xFF, 0x00, 0, 0xFFFFFFFF), 254u);
  // Colour red, AND: only red of MultiplyPixel(s, C) survives, whatever the opacity.
  EXPECT_EQ(DrawOne(0x00FFFFFF, 0x00FFFFFF, 1, 0x400000FF), 0x00FF0000u);
  // Opacity is ignored outside mode 0.
  EXPECT_EQ(DrawOne(0x00646464, 0x00C8C8C8, 5, 0x40FFFFFF), 0x00FFFFFFu);
  EXPECT_EQ(DrawOne(0x00C8C8C8, 0x00646464, 6, 0x00FFFFFF), 0u);
  EXPECT_EQ(DrawOne(0x00808080, 0x00808080, 4, 0x00FFFFFF), 0x00404040u);
  // OR and XOR without colouring combine whole words.
  EXPECT_EQ(DrawOne(0x11000000, 0x22000001, 2, 0x00FFFFFF), 0x33000001u);
  EXPECT_EQ(DrawOne(0x11000000, 0x33000001, 3, 0x00FFFFFF), 0x22000001u);
  // Mode 7 leaves the frame alone.
  EXPECT_EQ(DrawOne(0x00123456, 0x00654321, 7, 0x00FFFFFF), 0x00654321u);
}

TEST(KernelTest, KeyingComparesAllBits) {
  // The project colour 0x00563412 is the pixel 0x00123456.
  for (uint32_t mode = 0; mode <= 6; ++mode) {
    EXPECT_EQ(DrawOne(0x00123456, 0x00ABCDEF, mode, 0x00FFFFFF, 0x00563412), 0x00ABCDEFu);
  }
  EXPECT_EQ(DrawOne(0x00123456, 0x00ABCDEF, 0, 0x00FFFFFF, 0xFF563412), 0x00123456u);
  EXPECT_EQ(DrawOne(0x00000000, 0x00ABCDEF, 0, 0x00FFFFFF, 0xFFFFFFFF), 0u);
  EXPECT_EQ(DrawOne(0x00000000, 0x00ABCDEF, 0, 0x00FFFFFF, 0x00000000), 0x00ABCDEFu);
  EXPECT_EQ(DrawOne(0x01000000, 0x00ABCDEF, 0, 0x00FFFFFF, 0x00000000), 0x01000000u);
}

TEST(KernelTest, RegionIsClampedToThePicture) {
  Picture src(32, 24);
  std::mt19937 rng(3);
  for (uint32_t& w : src.words) w = rng() & 0x00FFFFFF;
  for (int method = 1; method <= 4; ++method) {
    Picture a(40, 30, 0x00101010), b(40, 30, 0x00101010);
    KernelParams pa = Params(a, src), pb = Params(b, src);
    Place(pa, method, 3, 2, 1.1f, 8, 20, 15);
    Place(pb, method, 3, 2, 1.1f, 8, 20, 15);
    pb.regionLeft = -5;
    pb.regionTop = -5;
    pb.regionRight = 1000;
    pb.regionBottom = 1000;
    DrawWithMethod(method, pa);
    DrawWithMethod(method, pb);
    EXPECT_EQ(a.words, b.words) << method;
  }
}

TEST(KernelTest, DegenerateInputDrawsNothing) {
  Picture src(4, 4, 0x00FFFFFF), dst(8, 8, 0x00010203);
  const std::vector<uint32_t> before = dst.words;
  KernelParams p = Params(dst, src);
  p.regionLeft = 3;
  p.regionRight = 3;  // empty region
  for (int method = 1; method <= 4; ++method) DrawWithMethod(method, p);
  p = Params(dst, src);
  p.sourcePixels = nullptr;
  DrawWithMethod(2, p);
  p = Params(dst, src);
  p.destinationWidth = 0;
  DrawWithMethod(2, p);
  p = Params(dst, src);
  const float flat[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};  // every denominator is zero
  std::copy(flat, flat + 9, p.inverseMatrix);
  for (int method = 1; method <= 4; ++method) DrawWithMethod(method, p);
  DrawWithMethod(0, Params(dst, src));
  DrawWithMethod(5, Params(dst, src));
  EXPECT_EQ(dst.words, before);
}

// ---- Bilinear sampling -----------------------------------------------------------------------

TEST(SamplerTest, CentresHalfwayAndEdges) {
  Picture src(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) src.At(x, y) = 0x00010000u * (40 * x) + 0x100u * (60 * y) + 7;
  const uint32_t* top = &src.At(0, 0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const float sx = x + 0.5f, sy = y + 0.5f;
      EXPECT_EQ(SampleLinear(top, 4, sx, sy, 0, 4, 0, 3), src.At(x, y));
      EXPECT_EQ(SampleLinearRounded(top, 4, sx, sy, 0, 4, 0, 3), src.At(x, y));
    }
  }
  Picture ramp(2, 1);
  ramp.At(0, 0) = 0;
  ramp.At(1, 0) = 0xFF;
  EXPECT_EQ(SampleLinear(&ramp.At(0, 0), 2, 1.0f, 0.5f, 0, 2, 0, 1), 127u);
  EXPECT_EQ(SampleLinearRounded(&ramp.At(0, 0), 2, 1.0f, 0.5f, 0, 2, 0, 1), 128u);
  // Within half a texel of the region's left edge only the first column is used, also when the
  // region starts inside the picture: (1, y) and (1, y + 1), never column 0.
  const uint32_t edge = SampleLinear(top, 4, 1.2f, 1.0f, 1, 4, 0, 3);
  EXPECT_EQ(edge & 0xFF0000u, 0x280000u);
  EXPECT_EQ(edge, reference::Sample(false, false, top, 4, 1.2f, 1.0f, 1, 4, 0, 3, 0));
}

TEST(SamplerTest, KeyedCoverage) {
  Picture src(2, 1);
  src.At(0, 0) = 0x00000000;  // the key, black
  src.At(1, 0) = 0x00FFFFFF;
  const uint32_t* top = &src.At(0, 0);
  const uint32_t a = SampleLinearKeyed(top, 2, 1.0f, 0.5f, 0, 2, 0, 1, 0);
  const uint32_t b = SampleLinearKeyedRounded(top, 2, 1.0f, 0.5f, 0, 2, 0, 1, 0);
  EXPECT_EQ(a >> 24, 127u);
  EXPECT_EQ(b >> 24, 128u);
  EXPECT_EQ(a & 0xFF, 127u);  // the key's black still weighs in the colour
  Picture keys(2, 2, 0x00000000);
  EXPECT_EQ(SampleLinearKeyed(&keys.At(0, 0), 2, 1.0f, 1.0f, 0, 2, 0, 2, 0), 0u);
  // Corner texels: a key texel gives 0, any other texel gets coverage 255.
  EXPECT_EQ(SampleLinearKeyed(top, 2, 0.1f, 0.1f, 0, 2, 0, 1, 0), 0u);
  EXPECT_EQ(SampleLinearKeyed(top, 2, 1.9f, 0.1f, 0, 2, 0, 1, 0), 0xFFFFFFFFu);
  // Unkeyed: a corner texel comes whole.
  src.At(1, 0) = 0x5A00FF00;
  EXPECT_EQ(SampleLinear(top, 2, 1.9f, 0.1f, 0, 2, 0, 1), 0x5A00FF00u);
}

TEST(SamplerTest, KeyedOpacityScalesCoverage) {
  // Pixel (0, 0) maps to sx = 0.5 + 101 / 256: coverage (255 x 101) >> 8 = 100.
  Picture src(2, 1), dst(1, 1, 0x00000000);
  src.At(0, 0) = 0x00000000;
  src.At(1, 0) = 0x00FFFFFF;
  KernelParams p = Params(dst, src);
  p.transparentColour = 0;
  p.colourWord = 0x80FFFFFF;
  const float inverse[9] = {1, 0, 0.89453125f, 0, 1, 0.5f, 0, 0, 1};
  std::copy(inverse, inverse + 9, p.inverseMatrix);
  const float forward[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  std::copy(forward, forward + 9, p.matrix);
  DrawLinear(p);
  // Colour (0 x 155 + 255 x 101) >> 8 = 100; weight (100 x 128) / 255 = 50.
  EXPECT_EQ(dst.words[0], MixPixel(50, 0x00646464, 0));
  EXPECT_EQ(dst.words[0], 0x00131313u);
}

TEST(SamplerTest, RightEdgeIsExclusive) {
  Picture src(3, 1, 0x00445566), dst(1, 1, 0x00000001);
  src.At(2, 0) = 0x00AABBCC;
  KernelParams p = Params(dst, src);
  float inverse[9] = {1, 0, 3.0f, 0, 1, 0.5f, 0, 0, 1};
  std::copy(inverse, inverse + 9, p.inverseMatrix);
  DrawLinear(p);
  EXPECT_EQ(dst.words[0], 0x00000001u);
  p.inverseMatrix[2] = 2.999f;
  DrawLinear(p);
  EXPECT_EQ(dst.words[0], 0x00AABBCCu);
}

TEST(SamplerTest, RoundingMatchesTruncatingOnTexelCentres) {
  Picture src(16, 12);
  std::mt19937 rng(5);
  for (uint32_t& w : src.words) w = rng() & 0x00FFFFFF;
  Picture a(24, 20, 0x00202020), b(24, 20, 0x00202020);
  KernelParams pa = Params(a, src), pb = Params(b, src);
  Place(pa, 3, 2, 1, 1, 0, 5, 4);
  Place(pb, 4, 2, 1, 1, 0, 5, 4);
  DrawLinear(pa);
  DrawLinearColourCorrected(pb);
  EXPECT_EQ(a.words, b.words);
  EXPECT_EQ(a.At(5, 4), src.At(2, 1));
}

// ---- Fast kernels against the reference ----------------------------------------------------

struct RandomCase {
  Picture src{1, 1};
  Picture dst{1, 1};
  KernelParams params;
};

// A seeded random placement: affine or projective, consistent or not, regions and clips partly
// outside, sizes 1, odd and small.
RandomCase MakeCase(std::mt19937& rng, int method) {
  auto uniform = [&](double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(rng);
  };
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  RandomCase c;
  const int sw = 1 + pick(pick(4) == 0 ? 2 : 23), sh = 1 + pick(pick(4) == 0 ? 2 : 19);
  const int dw = 1 + pick(pick(5) == 0 ? 2 : 41), dh = 1 + pick(pick(5) == 0 ? 2 : 33);
  c.src = Picture(sw, sh);
  c.dst = Picture(dw, dh);
  // A small palette so that keys, equal bytes and extremes are frequent; fourth bytes vary.
  const uint32_t palette[6] = {0x00000000, 0x00FFFFFF, 0x00123456,
                               0x80FF0080, 0x00808080, static_cast<uint32_t>(rng() & 0x00FFFFFF)};
  for (uint32_t& w : c.src.words) w = pick(3) == 0 ? rng() : palette[pick(6)];
  for (uint32_t& w : c.dst.words) w = pick(2) == 0 ? rng() : palette[pick(6)];
  KernelParams& p = c.params;
  p = Params(c.dst, c.src);
  p.clipLeft = pick(4) - 2;
  p.clipTop = pick(4) - 2;
  p.clipRight = dw - pick(4) + 2;
  p.clipBottom = dh - pick(4) + 2;
  p.regionLeft = pick(sw + 4) - 3;
  p.regionTop = pick(sh + 4) - 3;
  p.regionRight = p.regionLeft + pick(sw + 6);
  p.regionBottom = p.regionTop + pick(sh + 6);
  EventRecord e{};
  e.drawingMethod = method;
  e.baseX = static_cast<float>(uniform(-2, sw + 2));
  e.baseY = static_cast<float>(uniform(-2, sh + 2));
  e.positionX = static_cast<float>(uniform(-4, dw + 4));
  e.positionY = static_cast<float>(uniform(-4, dh + 4));
  switch (pick(5)) {
    case 0:  // unscaled, whole-pixel position
      e.scale = 1;
      e.baseX = std::round(e.baseX);
      e.baseY = std::round(e.baseY);
      e.positionX = std::round(e.positionX);
      e.positionY = std::round(e.positionY);
      break;
    case 1:  // scaled only
      e.scale = static_cast<float>(uniform(0.2, 3.5));
      break;
    default:
      e.scale = static_cast<float>(uniform(0.2, 3.5));
      e.rotation = static_cast<float>(uniform(-360, 360));
  }
  BuildPlacementMatrices(e);
  const int kind = pick(6);
  if (kind == 0) {  // projective: a last row other than (0, 0, 1)
    e.matrix[6] = static_cast<float>(uniform(-0.02, 0.02));
    e.matrix[7] = static_cast<float>(uniform(-0.02, 0.02));
    std::copy(e.matrix, e.matrix + 9, e.inverseMatrix);
    InvertMatrix3x3(e.inverseMatrix);
  } else if (kind == 1) {  // arbitrary, inconsistent pair, occasionally wild
    for (int i = 0; i < 9; ++i) {
      e.inverseMatrix[i] = static_cast<float>(uniform(-2, 2));
      if (pick(8) == 0)
        e.inverseMatrix[i] = pick(2) ? 0.0f : static_cast<float>(uniform(-1e12, 1e12));
    }
  }
  ApplyHalfPixelOffset(e);
  std::copy(e.matrix, e.matrix + 9, p.matrix);
  std::copy(e.inverseMatrix, e.inverseMatrix + 9, p.inverseMatrix);
  return c;
}

std::string Describe(int method, const KernelParams& p, size_t index, uint32_t got, uint32_t want,
                     int width) {
  char text[256];
  std::snprintf(
      text, sizeof text,
      "method %d mode %u key %08X colour %08X at (%d, %d) [memory row %zu]: got %08X "
      "want %08X",
      method, p.blendMode, p.transparentColour, p.colourWord, static_cast<int>(index % width),
      p.destinationHeight - 1 - static_cast<int>(index / width), index / width, got, want);
  return text;
}

// Compares a fast kernel's output (got, drawn over before) with the reference's (want): byte
// for byte, except where the vector variants map the bilinear methods under an affine
// placement incrementally. There a differing pixel must equal the reference's pixel with the
// fixed-point sample coordinate moved one 1/256 step in x and/or y. moved counts those pixels.
::testing::AssertionResult MatchesReference(int method, const KernelParams& p, KernelVariant v,
                                            const std::vector<uint32_t>& before,
                                            const std::vector<uint32_t>& got,
                                            const std::vector<uint32_t>& want,
                                            int* moved = nullptr) {
  const float* m = p.inverseMatrix;
  const bool allowance = method >= 3 && v != KernelVariant::Portable && m[6] == 0 && m[7] == 0;
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] == want[i]) continue;
    const int32_t x = static_cast<int32_t>(i % p.destinationWidth);
    const int32_t y = p.destinationHeight - 1 - static_cast<int32_t>(i / p.destinationWidth);
    bool explained = false;
    for (int sy = -1; sy <= 1 && allowance && !explained; ++sy) {
      for (int sx = -1; sx <= 1 && !explained; ++sx) {
        uint32_t shifted = 0;
        explained = (sx != 0 || sy != 0) &&
                    reference::DrawPixel(method, p, x, y, before[i], sx, sy, shifted) &&
                    shifted == got[i];
      }
    }
    if (!explained) {
      return ::testing::AssertionFailure()
             << KernelVariantName(v) << " "
             << Describe(method, p, i, got[i], want[i], p.destinationWidth);
    }
    if (moved != nullptr) ++*moved;
  }
  return ::testing::AssertionSuccess();
}

// Every method x blend mode (with 7) x keying x colouring x opacity class, several random
// placements each, in every instruction-set variant.
TEST(KernelEquivalenceTest, MatchesReferenceOverRandomCases) {
  VariantGuard guard;
  SetRenderThreadCount(1);
  std::mt19937 rng(20240601);
  int compared = 0;
  for (int method = 1; method <= 4; ++method) {
    for (uint32_t mode = 0; mode <= 7; ++mode) {
      for (int keyed = 0; keyed < 2; ++keyed) {
        for (int coloured = 0; coloured < 2; ++coloured) {
          for (int opacity = 0; opacity < 2; ++opacity) {
            for (int n = 0; n < 12; ++n) {
              RandomCase c = MakeCase(rng, method);
              KernelParams& p = c.params;
              const uint32_t colour = coloured ? (rng() & 0x00FFFFFF) : 0x00FFFFFF;
              p.colourWord = colour | (opacity ? (1 + rng() % 255) << 24 : 0);
              p.blendMode = mode;
              // Keys taken from the picture, in the project colour byte order.
              const uint32_t texel = c.src.words[rng() % c.src.words.size()];
              const uint32_t key =
                  ((texel & 0xFF) << 16) | (texel & 0xFF00) | ((texel >> 16) & 0xFF);
              p.transparentColour = keyed ? key : (rng() % 2 ? 0xFF000000u : 0x01000000u | key);
              const std::vector<uint32_t> want = ReferenceDraw(method, p, c.dst.words);
              for (KernelVariant v : Variants()) {
                ASSERT_TRUE(ForceKernelVariant(v));
                const std::vector<uint32_t> got = KernelDraw(method, p, c.dst.words);
                ASSERT_TRUE(MatchesReference(method, p, v, c.dst.words, got, want));
                ++compared;
              }
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 4 * 8 * 2 * 2 * 2 * 12 * static_cast<int>(Variants().size()));
}

// Large draws are split between threads; the output must not depend on the thread count.
TEST(KernelEquivalenceTest, ThreadCountDoesNotChangeOutput) {
  VariantGuard guard;
  Picture src(160, 120);
  std::mt19937 rng(11);
  for (uint32_t& w : src.words) w = rng() % 4 == 0 ? 0x00102030 : rng();
  // Rotated (every pixel mapped), magnified and unscaled (separable: columns mapped once,
  // neighbouring texels loaded together), and shrunk.
  struct Placement {
    float scale, rotation;
  };
  const Placement placements[] = {{2.1f, 17}, {1.37f, 0}, {1, 0}, {0.6f, 0}};
  for (int method = 1; method <= 4; ++method) {
    for (uint32_t mode : {0u, 5u}) {
      for (const Placement& placement : placements) {
        Picture base(333, 251);
        for (uint32_t& w : base.words) w = rng() & 0x00FFFFFF;
        KernelParams p = Params(base, src);
        p.blendMode = mode;
        p.colourWord = mode == 0 ? 0x60FFFFFFu : 0x00C0FFA0u;
        p.transparentColour = 0x00302010;
        Place(p, method, 80, 60, placement.scale, placement.rotation, 166, 125);
        const std::vector<uint32_t> want = ReferenceDraw(method, p, base.words);
        for (KernelVariant v : Variants()) {
          ASSERT_TRUE(ForceKernelVariant(v));
          std::vector<uint32_t> single;
          for (int threads : {1, 2, 3}) {
            SetRenderThreadCount(threads);
            ASSERT_EQ(RenderThreadCount(), threads);
            const std::vector<uint32_t> got = KernelDraw(method, p, base.words);
            if (threads == 1) {
              ASSERT_TRUE(MatchesReference(method, p, v, base.words, got, want))
                  << "threads " << threads;
              single = got;
            } else {
              // Every thread count gives the same bits, moved coordinates included.
              ASSERT_EQ(got, single) << KernelVariantName(v) << " threads " << threads;
            }
          }
        }
      }
    }
  }
}

// Long rows under a slight rotation: the incremental mapping carries its coordinates over
// 1,500 pixels, where any drift in the steps would move samples by more than one 1/256 step,
// and the runs end at all four edges of a region that starts inside the picture or at its
// corner (where the keyed samplers' coordinates, rounded towards zero, fall below 0).
TEST(KernelEquivalenceTest, LongAffineRowsStayWithinOneStep) {
  VariantGuard guard;
  SetRenderThreadCount(1);
  Picture src(3001, 41);
  std::mt19937 rng(17);
  for (uint32_t& w : src.words) w = rng() % 5 == 0 ? 0x00302010 : rng() & 0x00FFFFFF;
  const int32_t regions[2][4] = {{3, 2, 2990, 39}, {0, 0, 3001, 41}};
  for (int method = 3; method <= 4; ++method) {
    for (uint32_t transparent : {kNoKey, 0x00102030u}) {
      for (float rotation : {0.7f, -1.3f, 180.4f}) {
        const int32_t* region = regions[rotation < 0 ? 1 : 0];
        Picture base(1601, 47, 0x00405060);
        KernelParams p = Params(base, src);
        p.regionLeft = region[0];
        p.regionTop = region[1];
        p.regionRight = region[2];
        p.regionBottom = region[3];
        p.transparentColour = transparent;
        p.colourWord = 0x40FFFFFF;
        Place(p, method, 1500, 20, 0.5331f, rotation, 800, 23);
        const std::vector<uint32_t> want = ReferenceDraw(method, p, base.words);
        for (KernelVariant v : Variants()) {
          ASSERT_TRUE(ForceKernelVariant(v));
          const std::vector<uint32_t> got = KernelDraw(method, p, base.words);
          int moved = 0;
          ASSERT_TRUE(MatchesReference(method, p, v, base.words, got, want, &moved))
              << "rotation " << rotation;
          // Samples rarely sit that close to a step: nearly every pixel is exact.
          EXPECT_LT(moved, static_cast<int>(got.size() / 50)) << KernelVariantName(v);
        }
      }
    }
  }
}

// Pictures moved by whole pixels at their own size, wider than one strip of the row loop, cut
// by the region, the clip rectangle and the frame's edges on either side: every texel is read
// in runs (the bilinear methods sample texel centres only), copied or blended, and must still
// match the reference to the byte, the region's corner texel and fourth bytes included.
TEST(KernelEquivalenceTest, WholePixelMovesMatchReference) {
  VariantGuard guard;
  SetRenderThreadCount(1);
  std::mt19937 rng(77);
  Picture src(2100, 7);
  // Random words (fourth bytes too), a fifth of them the key 0x00302010 (colour 0x00102030).
  const uint32_t keyColour = 0x00102030u;
  for (uint32_t& w : src.words) w = rng() % 5 == 0 ? 0x00302010u : rng();
  struct Move {
    float x, y;
    int32_t regionLeft, regionRight, clipLeft, clipRight, regionTop = 0, regionBottom = 7;
  };
  const Move moves[] = {{0, 0, 0, 2100, 0, 2300},        {37, 2, 0, 2100, 0, 2300},
                        {-45, -1, 0, 2100, 0, 2300},     {260, 0, 0, 2100, 0, 2300},
                        {5, 1, 3, 2061, 0, 2300},        {5, 1, 0, 2100, 11, 2049},
                        {2200, 0, 0, 2100, 0, 2300},     {-2090, 3, 0, 2100, 0, 2300},
                        {4, 1, 2, 2098, 0, 2300, 2, 5}};
  for (int method = 1; method <= 4; ++method) {
    for (const Move& m : moves) {
      struct Style {
        uint32_t mode, colourWord, transparent;
      };
      // Copies; opacity; colouring; modes that keep (OR) or drop (add) the fourth byte; keys.
      for (const Style style : {Style{0, 0x00FFFFFFu, kNoKey}, Style{0, 0x40FFFFFFu, kNoKey},
                                Style{0, 0x00FF8040u, kNoKey}, Style{2, 0x00FFFFFFu, kNoKey},
                                Style{5, 0x00FFFFFFu, kNoKey}, Style{0, 0x00FFFFFFu, keyColour},
                                Style{0, 0xE6FFFFFFu, keyColour}, Style{4, 0x00C0FFA0u, keyColour}}) {
        const uint32_t colourWord = style.colourWord;
        Picture base(2300, 9, 0x00405060);
        KernelParams p = Params(base, src);
        p.blendMode = style.mode;
        p.transparentColour = style.transparent;
        p.regionLeft = m.regionLeft;
        p.regionRight = m.regionRight;
        p.clipLeft = m.clipLeft;
        p.clipRight = m.clipRight;
        p.regionTop = m.regionTop;
        p.regionBottom = m.regionBottom;
        p.colourWord = colourWord;
        Place(p, method, 0, 0, 1, 0, m.x, m.y);
        const std::vector<uint32_t> want = ReferenceDraw(method, p, base.words);
        ASSERT_NE(want, base.words) << method << " at " << m.x;
        for (KernelVariant v : Variants()) {
          ASSERT_TRUE(ForceKernelVariant(v));
          const std::vector<uint32_t> got = KernelDraw(method, p, base.words);
          ASSERT_TRUE(MatchesReference(method, p, v, base.words, got, want))
              << "moved to " << m.x << ", " << m.y << " mode " << style.mode << " colour "
              << std::hex << colourWord;
        }
      }
    }
  }
}

// Keyed bilinear draws at the lowest opacities over a frame whose fourth bytes are set: where a
// sample's coverage times the opacity rounds to a weight of 0 the pixel is still mixed (its
// fourth byte cleared), and partly covered pixels take the coverage-scaled weight. Rows long
// enough for every vector width, under separable and rotated placements.
TEST(KernelEquivalenceTest, KeyedLowOpacityMatchesReference) {
  VariantGuard guard;
  SetRenderThreadCount(1);
  Picture src(97, 31);
  std::mt19937 rng(29);
  for (uint32_t& w : src.words) w = rng() % 3 == 0 ? 0x00302010u : rng() & 0x00FFFFFF;
  for (int method = 3; method <= 4; ++method) {
    for (uint32_t opacity : {1u, 2u, 3u, 200u}) {
      for (float rotation : {0.0f, 23.0f}) {
        Picture base(150, 48);
        for (uint32_t& w : base.words) w = rng() | 0x01000000u;
        KernelParams p = Params(base, src);
        p.transparentColour = 0x00102030;
        p.colourWord = (opacity << 24) | 0x00FFFFFF;
        Place(p, method, 48, 15, 1.43f, rotation, 75, 24);
        const std::vector<uint32_t> want = ReferenceDraw(method, p, base.words);
        for (KernelVariant v : Variants()) {
          ASSERT_TRUE(ForceKernelVariant(v));
          const std::vector<uint32_t> got = KernelDraw(method, p, base.words);
          ASSERT_TRUE(MatchesReference(method, p, v, base.words, got, want))
              << "opacity " << opacity << " rotation " << rotation;
        }
      }
    }
  }
}

// Keyed bilinear draws under separable placements (scaled, not turned), where rows of the
// picture are interpolated once and destination rows mixed from two of them: key texels on
// every edge and corner of the region, in runs and alone, a picture with set fourth bytes (a
// texel that differs from the key only there is not keyed) over a frame with set fourth bytes
// (which pixels of coverage 0 keep), magnified and shrunk, every mode, with and without opacity
// and colour, and rows long enough for every vector width with tails.
TEST(KernelEquivalenceTest, KeyedSeparableDrawsMatchReference) {
  VariantGuard guard;
  SetRenderThreadCount(1);
  constexpr uint32_t kKeyTexel = 0x00302010u, kKeyColour = 0x00102030u;
  std::mt19937 rng(41);
  Picture src(53, 23);
  for (uint32_t& w : src.words) w = rng() % 4 == 0 ? kKeyTexel : rng();
  for (int x = 0; x < src.width; ++x) {
    src.At(x, 0) = x % 3 == 0 ? kKeyTexel : src.At(x, 0);
    src.At(x, src.height - 1) = x % 2 == 0 ? kKeyTexel : src.At(x, src.height - 1);
  }
  for (int y = 0; y < src.height; ++y) {
    src.At(0, y) = y % 2 == 0 ? kKeyTexel : src.At(0, y);
    src.At(src.width - 1, y) = y % 3 != 0 ? kKeyTexel : src.At(src.width - 1, y);
  }
  src.At(1, 1) = kKeyTexel | 0x01000000u;  // not the key: the whole word is compared
  for (int x = 10; x < 30; ++x) src.At(x, 7) = kKeyTexel;  // a run of keys
  src.At(0, 0) = src.At(src.width - 1, src.height - 1) = kKeyTexel;
  // Regions: the whole picture; one a texel in from every side (its corners are keys too).
  const int32_t regions[2][4] = {{0, 0, 53, 23}, {1, 1, 52, 22}};
  for (int method = 3; method <= 4; ++method) {
    for (uint32_t mode = 0; mode <= 6; ++mode) {
      for (const float scale : {3.3f, 1.37f, 0.61f}) {
        for (int variant = 0; variant < 4; ++variant) {
          const int32_t* region = regions[variant % 2];
          Picture base(190, 83);
          for (uint32_t& w : base.words) w = rng() | 0x01000000u;
          KernelParams p = Params(base, src);
          p.regionLeft = region[0];
          p.regionTop = region[1];
          p.regionRight = region[2];
          p.regionBottom = region[3];
          p.blendMode = mode;
          p.transparentColour = kKeyColour;
          p.colourWord = (variant / 2 == 0 ? 0x00FFFFFFu : 0x00C080FFu) |
                         (mode == 0 && variant % 2 == 1 ? 0x70000000u : 0u);
          // Edges of the picture inside the frame, so the clamped samples beyond them are drawn.
          Place(p, method, 26.5f, 11.5f, scale, 0, 95.3f, 41.7f);
          const std::vector<uint32_t> want = ReferenceDraw(method, p, base.words);
          ASSERT_NE(want, base.words);
          for (KernelVariant v : Variants()) {
            ASSERT_TRUE(ForceKernelVariant(v));
            const std::vector<uint32_t> got = KernelDraw(method, p, base.words);
            ASSERT_TRUE(MatchesReference(method, p, v, base.words, got, want))
                << "scale " << scale << " region " << variant % 2 << " colour " << std::hex
                << p.colourWord;
          }
        }
      }
    }
  }
}

// A source wider than 2^22 texels: fixed-point sample coordinates no longer fit in 32 bits,
// and the kernels take their wide path.
TEST(KernelEquivalenceTest, VeryWideSourceMatchesReference) {
  VariantGuard guard;
  SetRenderThreadCount(1);
  Picture src((1 << 22) + 5, 2);
  std::mt19937 rng(13);
  for (int x = (1 << 22) - 64; x < src.width; ++x) {
    src.At(x, 0) = rng() & 0x00FFFFFF;
    src.At(x, 1) = rng() % 3 == 0 ? 0x00000000 : rng() & 0x00FFFFFF;
  }
  for (int method = 1; method <= 4; ++method) {
    for (uint32_t transparent : {0xFF000000u, 0x00000000u}) {
      for (float rotation : {0.0f, 9.0f}) {
        Picture base(61, 9, 0x00405060);
        KernelParams p = Params(base, src);
        p.transparentColour = transparent;
        Place(p, method, static_cast<float>(src.width - 20), 1, 1.7f, rotation, 30, 4);
        const std::vector<uint32_t> want = ReferenceDraw(method, p, base.words);
        ASSERT_NE(want, base.words) << method;  // the placement does reach the frame
        for (KernelVariant v : Variants()) {
          ASSERT_TRUE(ForceKernelVariant(v));
          const std::vector<uint32_t> got = KernelDraw(method, p, base.words);
          ASSERT_TRUE(MatchesReference(method, p, v, base.words, got, want));
        }
      }
    }
  }
}

TEST(KernelEquivalenceTest, ForcingAnUnavailableVariantFails) {
  VariantGuard guard;
  EXPECT_TRUE(ForceKernelVariant(KernelVariant::Portable));
  EXPECT_EQ(ActiveKernelVariant(), KernelVariant::Portable);
  for (KernelVariant v : AllKernelVariants()) {
    EXPECT_EQ(ForceKernelVariant(v), KernelVariantAvailable(v)) << KernelVariantName(v);
  }
}

// Every variant the processor runs is built with its own vector width, so that the equivalence
// tests above run it; the fastest of them is the default. A machine without an instruction set
// skips that variant only, and says so.
TEST(KernelEquivalenceTest, EveryVariantTheProcessorRunsIsBuilt) {
  VariantGuard guard;
  ResetKernelVariant();
  const int expectedLanes[] = {1, 4, 8, 16};
  KernelVariant best = KernelVariant::Portable;
  std::string missing;
  for (KernelVariant v : AllKernelVariants()) {
    if (!ProcessorRunsKernelVariant(v)) {
      missing += std::string(" ") + KernelVariantName(v);
      EXPECT_FALSE(KernelVariantAvailable(v));
      continue;
    }
    EXPECT_TRUE(KernelVariantAvailable(v)) << KernelVariantName(v);
    EXPECT_EQ(KernelVariantLanes(v), expectedLanes[static_cast<int>(v)]) << KernelVariantName(v);
    best = v;
  }
  EXPECT_EQ(ActiveKernelVariant(), best);
  if (!missing.empty()) RecordProperty("variants_this_processor_lacks", missing);
}

}  // namespace
}  // namespace tavrona
