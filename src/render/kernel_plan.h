// Internal to the kernels: what the set-up decides once per draw, and the entry points of the
// instruction-set variants (kernels_portable.cpp, kernels_sse41.cpp, kernels_avx2.cpp,
// kernels_avx512.cpp). Each variant compiles the same row loops (kernel_rows.h) into its own
// namespace.
#pragma once

#include <cstdint>

namespace tavrona::kernel_detail {

struct DrawPlan {
  int method = 1;         // 1..4
  int mode = 0;           // blend mode 0..6
  bool keyed = false;     // transparent colour below 0x01000000
  uint32_t key = 0;       // the transparent colour in pixel order
  bool coloured = false;  // colour other than white
  uint32_t colour = 0;    // 0x00RRGGBB
  uint32_t opacity = 0;   // opacity byte 0..255; 0 = fully opaque
  // Clamped source region, right and bottom exclusive; never empty.
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  // The same converted to float, for the bilinear kernels' test of the sample point.
  double leftF = 0, topF = 0, rightF = 0, bottomF = 0;
  // Destination rectangle to walk, right and bottom exclusive; never empty.
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  const uint32_t* sourceTop = nullptr;  // row y of the source is sourceTop - y * sourceWidth
  int32_t sourceWidth = 0;
  uint32_t* destinationTop = nullptr;
  int32_t destinationWidth = 0;
  float inverse[9] = {};
  // The inverse matrix only scales and translates (m01 = m10 = m20 = m21 = 0).
  bool separable = false;
  // Both sides of the source below 2^22 texels: fixed-point sample coordinates fit in 32 bits.
  bool smallSource = false;
};

// Draws destination rows [yBegin, yEnd) of the plan's rectangle.
using DrawRowsFn = void (*)(const DrawPlan& plan, int32_t yBegin, int32_t yEnd);

// Each variant's row loops for a plan, and the 32-bit lanes per vector they were compiled with
// (1: the portable loops, as a variant file built without its instruction-set flags gets).
namespace portable {
DrawRowsFn SelectDrawRows(const DrawPlan& plan);
int VectorLanes();
}  // namespace portable
namespace sse41 {
DrawRowsFn SelectDrawRows(const DrawPlan& plan);
int VectorLanes();
}  // namespace sse41
namespace avx2 {
DrawRowsFn SelectDrawRows(const DrawPlan& plan);
int VectorLanes();
}  // namespace avx2
namespace avx512 {
DrawRowsFn SelectDrawRows(const DrawPlan& plan);
int VectorLanes();
}  // namespace avx512

}  // namespace tavrona::kernel_detail
