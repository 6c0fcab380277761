#include "render/matrix.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/process_state.h"

namespace tavrona {
namespace {

void Map(const float m[9], double x, double y, double& ox, double& oy) {
  const double w = m[6] * x + m[7] * y + m[8];
  ox = (m[0] * x + m[1] * y + m[2]) / w;
  oy = (m[3] * x + m[4] * y + m[5]) / w;
}

TEST(MatrixTest, InvertClampsZeroPivot) {
  float rotation[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
  InvertMatrix3x3(rotation);
  const float expected[9] = {0, 1, 0, -1, 5.9604644775390625e-8f, 0, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(rotation[i], expected[i]) << i;

  float scale[9] = {2, 0, 10, 0, 2, 20, 0, 0, 1};
  InvertMatrix3x3(scale);
  const float inverse[9] = {0.5f, 0, -5, 0, 0.5f, -10, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(scale[i], inverse[i]) << i;
}

TEST(MatrixTest, InvertSingularStaysFinite) {
  float zero[9] = {};
  InvertMatrix3x3(zero);
  for (float v : zero) EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(zero[0], 16777216.0f);  // 1 / 2^-24
  float tiny[9] = {-1e-9f, 0, 0, 0, 1, 0, 0, 0, 1};
  InvertMatrix3x3(tiny);
  EXPECT_EQ(tiny[0], -16777216.0f);  // negative pivots clamp to -2^-24
}

TEST(MatrixTest, InvertGeneralMatrixGivesIdentityProduct) {
  const float m[9] = {1.3f, 0.4f, 7, -0.2f, 0.9f, -3, 0.001f, 0.002f, 1};
  float inv[9];
  std::copy(m, m + 9, inv);
  InvertMatrix3x3(inv);
  float product[9];
  MultiplyMatrix3x3(m, inv, product);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(product[i], i % 4 == 0 ? 1.0 : 0.0, 1e-6) << i;
}

TEST(MatrixTest, PlacementPutsBaseOnPosition) {
  EventRecord e{};
  e.scale = 1;
  e.rotation = 90;
  e.positionX = 100;
  e.positionY = 50;
  BuildPlacementMatrices(e);
  double x, y;
  Map(e.matrix, 1, 0, x, y);
  EXPECT_NEAR(x, 100, 1e-5);
  EXPECT_NEAR(y, 51, 1e-5);
  Map(e.inverseMatrix, 100, 51, x, y);
  EXPECT_NEAR(x, 1, 1e-5);
  EXPECT_NEAR(y, 0, 1e-5);

  e.baseX = 16;
  e.baseY = 8;
  e.scale = 2.5f;
  e.rotation = 17;
  e.positionX = 320;
  e.positionY = 240;
  BuildPlacementMatrices(e);
  Map(e.matrix, 16, 8, x, y);
  EXPECT_NEAR(x, 320, 1e-4);
  EXPECT_NEAR(y, 240, 1e-4);
  Map(e.matrix, 17, 8, x, y);  // one texel right: 2.5 pixels along the rotated x axis
  EXPECT_NEAR(x, 320 + 2.5 * std::cos(17 * M_PI / 180), 1e-4);
  EXPECT_NEAR(y, 240 + 2.5 * std::sin(17 * M_PI / 180), 1e-4);
}

TEST(MatrixTest, HalfPixelOffsetDependsOnMethod) {
  Process().defaultDrawingMethodMirror = 0;
  Process().settings.pixelQuality = 2;
  EventRecord e{};
  const float m[9] = {2, 0, 10, 0, 2, 20, 0, 0, 1};
  const float inv[9] = {0.5f, 0, -5, 0, 0.5f, -10, 0, 0, 1};
  std::copy(m, m + 9, e.matrix);
  std::copy(inv, inv + 9, e.inverseMatrix);
  e.drawingMethod = DrawMethodNormal;
  ApplyHalfPixelOffset(e);
  EXPECT_EQ(e.matrix[2], 10.5f);
  EXPECT_EQ(e.matrix[5], 20.5f);
  EXPECT_EQ(e.inverseMatrix[2], -4.5f);  // G x inverse: half a source pixel added
  EXPECT_EQ(e.inverseMatrix[5], -9.5f);

  std::copy(m, m + 9, e.matrix);
  std::copy(inv, inv + 9, e.inverseMatrix);
  e.drawingMethod = DrawInherit;  // resolves to the PixelQuality default, 2
  ApplyHalfPixelOffset(e);
  EXPECT_EQ(e.matrix[2], 10.5f);
  EXPECT_EQ(e.inverseMatrix[2], -4.75f);  // inverse x G: the pixel centre is mapped
  EXPECT_EQ(e.inverseMatrix[5], -9.75f);
  EXPECT_EQ(e.inverseMatrix[0], 0.5f);
}

TEST(MatrixTest, ResolveDrawingMethodFallsThrough) {
  ProcessState& process = Process();
  process.defaultDrawingMethodMirror = 0;
  process.settings.pixelQuality = 7;
  EXPECT_EQ(ResolveDrawingMethod(0), 1);
  process.defaultDrawingMethodMirror = 3;
  EXPECT_EQ(ResolveDrawingMethod(9), 3);
  EXPECT_EQ(ResolveDrawingMethod(-1), 3);
  EXPECT_EQ(ResolveDrawingMethod(4), 4);
  process.defaultDrawingMethodMirror = -5;
  process.settings.pixelQuality = 2;
  EXPECT_EQ(ResolveDrawingMethod(0), 2);
  process.settings.pixelQuality = 0;
  EXPECT_EQ(ResolveDrawingMethod(5), 1);
  process.defaultDrawingMethodMirror = 0;
  process.settings.pixelQuality = 2;
}

}  // namespace
}  // namespace tavrona
