#include "render/matrix.h"

#include <cmath>

#include "app/process_state.h"

namespace tavrona {

namespace {

constexpr double kMinPivot = 5.9604644775390625e-8;  // 2^-24

bool IsDrawingMethod(int32_t m) {
  return static_cast<uint32_t>(m) - 1u < 4u;
}

}  // namespace

void MultiplyMatrix3x3(const float a[9], const float b[9], float out[9]) {
  double r[9];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r[i * 3 + j] = static_cast<double>(a[i * 3 + 0]) * b[0 * 3 + j] +
                     static_cast<double>(a[i * 3 + 1]) * b[1 * 3 + j] +
                     static_cast<double>(a[i * 3 + 2]) * b[2 * 3 + j];
    }
  }
  for (int i = 0; i < 9; ++i) out[i] = static_cast<float>(r[i]);
}

void InvertMatrix3x3(float m[9]) {
  double a[3][3];
  for (int i = 0; i < 9; ++i) a[i / 3][i % 3] = m[i];
  for (int k = 0; k < 3; ++k) {
    double p = a[k][k];
    if (p >= 0 && p < kMinPivot) {
      p = kMinPivot;
    } else if (p < 0 && p > -kMinPivot) {
      p = -kMinPivot;
    }
    const double r = 1.0 / p;
    for (int j = 0; j < 3; ++j) a[k][j] *= r;
    a[k][k] = r;
    for (int i = 0; i < 3; ++i) {
      if (i == k) continue;
      const double f = a[i][k];
      for (int j = 0; j < 3; ++j) {
        if (j != k) a[i][j] -= f * a[k][j];
      }
      a[i][k] = -f * r;
    }
  }
  for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(a[i / 3][i % 3]);
}

void BuildPlacementMatrices(EventRecord& event) {
  const double s = event.scale;
  float m[9] = {static_cast<float>(s),
                0,
                static_cast<float>(-(event.baseX * s)),
                0,
                static_cast<float>(s),
                static_cast<float>(-(event.baseY * s)),
                0,
                0,
                1};
  const double a = static_cast<double>(event.rotation) * 0.017453292519943295;
  const float c = static_cast<float>(std::cos(a));
  const float sn = static_cast<float>(std::sin(a));
  const float rotation[9] = {c, -sn, 0, sn, c, 0, 0, 0, 1};
  MultiplyMatrix3x3(rotation, m, m);
  const float translation[9] = {1, 0, event.positionX, 0, 1, event.positionY, 0, 0, 1};
  MultiplyMatrix3x3(translation, m, m);
  for (int i = 0; i < 9; ++i) {
    event.matrix[i] = m[i];
    event.inverseMatrix[i] = m[i];
  }
  InvertMatrix3x3(event.inverseMatrix);
}

void ApplyHalfPixelOffset(EventRecord& event) {
  const float* g = Process().halfPixel;
  MultiplyMatrix3x3(g, event.matrix, event.matrix);
  if (ResolveDrawingMethod(event.drawingMethod) == DrawMethodNormal) {
    MultiplyMatrix3x3(g, event.inverseMatrix, event.inverseMatrix);
  } else {
    MultiplyMatrix3x3(event.inverseMatrix, g, event.inverseMatrix);
  }
}

int32_t ResolveDrawingMethod(int32_t eventMethod) {
  if (IsDrawingMethod(eventMethod)) return eventMethod;
  const ProcessState& process = Process();
  if (IsDrawingMethod(process.defaultDrawingMethodMirror)) {
    return process.defaultDrawingMethodMirror;
  }
  if (IsDrawingMethod(process.settings.pixelQuality)) return process.settings.pixelQuality;
  return DrawMethodNormal;
}

}  // namespace tavrona
