#include "render/reduced_placement.h"

#include "app/process_state.h"
#include "model/event_record.h"

namespace tavrona {
namespace {

void Multiply(const double a[9], const double b[9], double out[9]) {
  double r[9];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r[i * 3 + j] = a[i * 3 + 0] * b[0 * 3 + j] + a[i * 3 + 1] * b[1 * 3 + j] +
                     a[i * 3 + 2] * b[2 * 3 + j];
    }
  }
  for (int i = 0; i < 9; ++i) out[i] = r[i];
}

// The inverse by the adjugate; the half-pixel matrix is a translation, never singular, but a
// zero determinant leaves the identity rather than dividing by it.
void Invert(const double m[9], double out[9]) {
  const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], g = m[6], h = m[7],
               i = m[8];
  const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  if (det == 0) {
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int k = 0; k < 9; ++k) out[k] = identity[k];
    return;
  }
  const double r[9] = {e * i - f * h, c * h - b * i, b * f - c * e,
                       f * g - d * i, a * i - c * g, c * d - a * f,
                       d * h - e * g, b * g - a * h, a * e - b * d};
  for (int k = 0; k < 9; ++k) out[k] = r[k] / det;
}

}  // namespace

bool ValidReduction(int32_t reduction) {
  return reduction == kReductionFull || reduction == kReductionHalf ||
         reduction == kReductionQuarter;
}

int32_t ReducedExtent(int32_t fullPixels, int32_t reduction) {
  if (fullPixels <= 0) return 0;
  if (!ValidReduction(reduction)) reduction = kReductionFull;
  return static_cast<int32_t>((static_cast<int64_t>(fullPixels) + reduction - 1) / reduction);
}

void ReducePlacement(float matrix[9], float inverseMatrix[9], int32_t drawingMethod,
                     int32_t reduction) {
  if (!ValidReduction(reduction) || reduction == kReductionFull) return;
  double g[9], gInverse[9];
  for (int k = 0; k < 9; ++k) g[k] = Process().halfPixel[k];
  Invert(g, gInverse);
  const double s = 1.0 / reduction;
  const double scale[9] = {s, 0, 0, 0, s, 0, 0, 0, 1};
  const double unscale[9] = {1.0 * reduction, 0, 0, 0, 1.0 * reduction, 0, 0, 0, 1};
  double forward[9], inverse[9];
  for (int k = 0; k < 9; ++k) {
    forward[k] = matrix[k];
    inverse[k] = inverseMatrix[k];
  }
  // Forward: G S G^-1 (G M) = G S M.
  double around[9];
  Multiply(scale, gInverse, around);
  Multiply(g, around, around);
  Multiply(around, forward, forward);
  if (drawingMethod == DrawMethodNormal) {
    // (G M^-1) S^-1.
    Multiply(inverse, unscale, inverse);
  } else {
    // (M^-1 G) G^-1 S^-1 G = M^-1 S^-1 G.
    double tail[9];
    Multiply(unscale, g, tail);
    Multiply(gInverse, tail, tail);
    Multiply(inverse, tail, inverse);
  }
  for (int k = 0; k < 9; ++k) {
    matrix[k] = static_cast<float>(forward[k]);
    inverseMatrix[k] = static_cast<float>(inverse[k]);
  }
}

}  // namespace tavrona
