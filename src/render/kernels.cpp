// Set-up shared by the four kernels, the choice of instruction-set variant and the split of a
// draw's rows between threads. The pixel loops live in kernel_rows.h.
#include "render/kernels.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "render/kernel_plan.h"
#include "render/kernel_sampling.h"
#include "render/worker_pool.h"

namespace tavrona {

using kernel_detail::DrawPlan;
using kernel_detail::DrawRowsFn;

namespace {

// A draw is shared out in bands of rows of at least this many destination pixels; a draw of
// fewer than two bands stays on the calling thread.
constexpr int64_t kMinPixelsPerBand = 4096;

// Whether the processor (and the operating system, which must save the wider registers) runs
// the variant's instructions.
bool ProcessorHas(KernelVariant variant) {
  switch (variant) {
    case KernelVariant::Portable:
      return true;
#if defined(__x86_64__) || defined(__i386__)
    case KernelVariant::Sse41:
      return __builtin_cpu_supports("sse4.1");
    case KernelVariant::Avx2:
      return __builtin_cpu_supports("avx2");
    case KernelVariant::Avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
#else
    case KernelVariant::Sse41:
    case KernelVariant::Avx2:
    case KernelVariant::Avx512:
      return false;
#endif
  }
  return false;
}

// The lanes a variant's row loops must have been built with.
int ExpectedLanes(KernelVariant variant) {
  switch (variant) {
    case KernelVariant::Portable:
      return 1;
    case KernelVariant::Sse41:
      return 4;
    case KernelVariant::Avx2:
      return 8;
    case KernelVariant::Avx512:
      return 16;
  }
  return 0;
}

bool CpuHas(KernelVariant variant) {
  return ProcessorHas(variant) && KernelVariantLanes(variant) == ExpectedLanes(variant);
}

KernelVariant BestVariant() {
  for (KernelVariant v : {KernelVariant::Avx512, KernelVariant::Avx2, KernelVariant::Sse41}) {
    if (CpuHas(v)) return v;
  }
  return KernelVariant::Portable;
}

std::atomic<int>& ActiveVariantSlot() {
  static std::atomic<int> slot{static_cast<int>(BestVariant())};
  return slot;
}

// One corner of the region under the forward matrix, as the bounding box needs it: truncated
// (method 1) or rounded down like MapPointFloor (methods 2 to 4). False when the point has no
// finite 32-bit image; den receives the projective denominator.
bool MapCorner(const float f[9], int32_t x, int32_t y, bool truncate, int64_t& X, int64_t& Y,
               double& den) {
  den = (static_cast<double>(f[6]) * x + static_cast<double>(f[7]) * y) + f[8];
  if (den == 0) return false;
  const double nx = (static_cast<double>(f[0]) * x + static_cast<double>(f[1]) * y) + f[2];
  const double ny = (static_cast<double>(f[3]) * x + static_cast<double>(f[4]) * y) + f[5];
  double vx, vy;
  if (truncate) {
    vx = std::trunc(nx / den);
    vy = std::trunc(ny / den);
  } else {
    const double w = 1.0 / den;
    vx = std::trunc(w * nx + 4096.0) - 4096.0;
    vy = std::trunc(w * ny + 4096.0) - 4096.0;
  }
  constexpr double kLow = -2147483648.0, kHigh = 2147483647.0;
  if (!(vx >= kLow && vx <= kHigh && vy >= kLow && vy <= kHigh)) return false;
  X = static_cast<int64_t>(vx);
  Y = static_cast<int64_t>(vy);
  return true;
}

// The set-up every kernel shares. False when nothing is to be drawn.
bool PlanDraw(int method, const KernelParams& p, DrawPlan& plan) {
  if (p.destinationPixels == nullptr || p.sourcePixels == nullptr) return false;
  if (p.destinationWidth <= 0 || p.destinationHeight <= 0) return false;
  if (p.sourceWidth <= 0 || p.sourceHeight <= 0) return false;
  // Texel offsets are 32-bit: pictures are limited to 2^29 pixels (2 GiB), as frame buffers are.
  constexpr int64_t kMaxPixels = int64_t{1} << 29;
  if (int64_t{p.sourceWidth} * p.sourceHeight > kMaxPixels) return false;
  if (int64_t{p.destinationWidth} * p.destinationHeight > kMaxPixels) return false;

  const int32_t clipLeft = std::max(p.clipLeft, 0);
  const int32_t clipTop = std::max(p.clipTop, 0);
  const int32_t clipRight = std::min(p.clipRight, p.destinationWidth);
  const int32_t clipBottom = std::min(p.clipBottom, p.destinationHeight);
  if (clipRight <= clipLeft || clipBottom <= clipTop) return false;

  plan.left = std::max(p.regionLeft, 0);
  plan.top = std::max(p.regionTop, 0);
  plan.right = std::min(p.regionRight, p.sourceWidth);
  plan.bottom = std::min(p.regionBottom, p.sourceHeight);
  if (plan.right <= plan.left || plan.bottom <= plan.top) return false;
  plan.leftF = static_cast<float>(plan.left);
  plan.topF = static_cast<float>(plan.top);
  plan.rightF = static_cast<float>(plan.right);
  plan.bottomF = static_cast<float>(plan.bottom);

  // Bounding box of the placed region. Where a corner has no finite image, or the corners lie
  // on both sides of the projection's horizon, the region's image is not bounded by its
  // corners; the whole clip is walked then and the per-pixel test decides.
  const int32_t cx[4] = {plan.left, plan.right, plan.left, plan.right};
  const int32_t cy[4] = {plan.top, plan.top, plan.bottom, plan.bottom};
  int64_t minX = INT64_MAX, maxX = INT64_MIN, minY = INT64_MAX, maxY = INT64_MIN;
  bool bounded = true;
  bool positive = false, negative = false;
  for (int i = 0; i < 4 && bounded; ++i) {
    int64_t X = 0, Y = 0;
    double den = 0;
    bounded = MapCorner(p.matrix, cx[i], cy[i], method == 1, X, Y, den);
    (den > 0 ? positive : negative) = true;
    minX = std::min(minX, X);
    maxX = std::max(maxX, X);
    minY = std::min(minY, Y);
    maxY = std::max(maxY, Y);
  }
  if (bounded && !(positive && negative)) {
    plan.x0 = static_cast<int32_t>(std::max<int64_t>(minX - 1, clipLeft));
    plan.x1 = static_cast<int32_t>(std::min<int64_t>(maxX + 1, clipRight));
    plan.y0 = static_cast<int32_t>(std::max<int64_t>(minY - 1, clipTop));
    plan.y1 = static_cast<int32_t>(std::min<int64_t>(maxY + 1, clipBottom));
  } else {
    plan.x0 = clipLeft;
    plan.x1 = clipRight;
    plan.y0 = clipTop;
    plan.y1 = clipBottom;
  }
  if (plan.x1 <= plan.x0 || plan.y1 <= plan.y0) return false;
  if (p.blendMode > 6) return false;

  plan.method = method;
  plan.mode = static_cast<int>(p.blendMode);
  plan.keyed = p.transparentColour < 0x01000000u;
  plan.key = ((p.transparentColour & 0xFFu) << 16) | (p.transparentColour & 0xFF00FF00u) |
             ((p.transparentColour >> 16) & 0xFFu);
  const uint32_t red = p.colourWord & 0xFFu;
  const uint32_t green = (p.colourWord >> 8) & 0xFFu;
  const uint32_t blue = (p.colourWord >> 16) & 0xFFu;
  plan.colour = (red << 16) | (green << 8) | blue;
  plan.coloured = plan.colour != 0x00FFFFFFu;
  plan.opacity = p.colourWord >> 24;
  plan.sourceWidth = p.sourceWidth;
  plan.sourceTop = p.sourcePixels + static_cast<size_t>(p.sourceHeight - 1) * p.sourceWidth;
  plan.destinationWidth = p.destinationWidth;
  plan.destinationTop =
      p.destinationPixels + static_cast<size_t>(p.destinationHeight - 1) * p.destinationWidth;
  std::copy(p.inverseMatrix, p.inverseMatrix + 9, plan.inverse);
  plan.separable =
      plan.inverse[1] == 0 && plan.inverse[3] == 0 && plan.inverse[6] == 0 && plan.inverse[7] == 0;
  plan.smallSource = p.sourceWidth < (1 << 22) && p.sourceHeight < (1 << 22);
  return true;
}

DrawRowsFn SelectRows(const DrawPlan& plan) {
  switch (static_cast<KernelVariant>(ActiveVariantSlot().load(std::memory_order_relaxed))) {
    case KernelVariant::Avx512:
      return kernel_detail::avx512::SelectDrawRows(plan);
    case KernelVariant::Avx2:
      return kernel_detail::avx2::SelectDrawRows(plan);
    case KernelVariant::Sse41:
      return kernel_detail::sse41::SelectDrawRows(plan);
    case KernelVariant::Portable:
      break;
  }
  return kernel_detail::portable::SelectDrawRows(plan);
}

void Draw(int method, const KernelParams& params) {
  DrawPlan plan;
  if (!PlanDraw(method, params, plan)) return;
  const DrawRowsFn rows = SelectRows(plan);
  // Bands of rows, taken by whichever thread is free; every pixel's result is independent of
  // the others.
  const int32_t height = plan.y1 - plan.y0;
  const int64_t width = plan.x1 - plan.x0;
  const int64_t grain = (kMinPixelsPerBand + width - 1) / width;
  RenderPool().Run(height, grain, [&](int64_t begin, int64_t end) {
    rows(plan, plan.y0 + static_cast<int32_t>(begin), plan.y0 + static_cast<int32_t>(end));
  });
}

}  // namespace

void DrawNormal(const KernelParams& params) {
  Draw(1, params);
}
void DrawBoundaryCorrected(const KernelParams& params) {
  Draw(2, params);
}
void DrawLinear(const KernelParams& params) {
  Draw(3, params);
}
void DrawLinearColourCorrected(const KernelParams& params) {
  Draw(4, params);
}

void DrawWithMethod(int method, const KernelParams& params) {
  if (method >= 1 && method <= 4) Draw(method, params);
}

bool MapPointFloor(const float m[9], int32_t x, int32_t y, int32_t& X, int32_t& Y) {
  const double den = (static_cast<double>(m[6]) * x + static_cast<double>(m[7]) * y) + m[8];
  if (den == 0) return false;
  const double w = 1.0 / den;
  const double nx = (static_cast<double>(m[0]) * x + static_cast<double>(m[1]) * y) + m[2];
  const double ny = (static_cast<double>(m[3]) * x + static_cast<double>(m[4]) * y) + m[5];
  const double vx = std::trunc(w * nx + 4096.0) - 4096.0;
  const double vy = std::trunc(w * ny + 4096.0) - 4096.0;
  constexpr double kLow = -2147483648.0, kHigh = 2147483647.0;
  if (!(vx >= kLow && vx <= kHigh && vy >= kLow && vy <= kHigh)) return false;
  X = static_cast<int32_t>(vx);
  Y = static_cast<int32_t>(vy);
  return true;
}

uint32_t SampleLinear(const uint32_t* sourceTop, int32_t sourceWidth, float sx, float sy,
                      int32_t left, int32_t right, int32_t top, int32_t bottom) {
  using namespace kernel_detail;
  const SampleRegion r{left, right - 1, top, bottom - 1};
  return SampleFixed<false, false>(sourceTop, sourceWidth, ToFixed<false, false>(sx),
                                   ToFixed<false, false>(sy), r, 0);
}

uint32_t SampleLinearKeyed(const uint32_t* sourceTop, int32_t sourceWidth, float sx, float sy,
                           int32_t left, int32_t right, int32_t top, int32_t bottom, uint32_t key) {
  using namespace kernel_detail;
  const SampleRegion r{left, right - 1, top, bottom - 1};
  return SampleFixed<false, true>(sourceTop, sourceWidth, ToFixed<false, true>(sx),
                                  ToFixed<false, true>(sy), r, key);
}

uint32_t SampleLinearRounded(const uint32_t* sourceTop, int32_t sourceWidth, float sx, float sy,
                             int32_t left, int32_t right, int32_t top, int32_t bottom) {
  using namespace kernel_detail;
  const SampleRegion r{left, right - 1, top, bottom - 1};
  return SampleFixed<true, false>(sourceTop, sourceWidth, ToFixed<true, false>(sx),
                                  ToFixed<true, false>(sy), r, 0);
}

uint32_t SampleLinearKeyedRounded(const uint32_t* sourceTop, int32_t sourceWidth, float sx,
                                  float sy, int32_t left, int32_t right, int32_t top,
                                  int32_t bottom, uint32_t key) {
  using namespace kernel_detail;
  const SampleRegion r{left, right - 1, top, bottom - 1};
  return SampleFixed<true, true>(sourceTop, sourceWidth, ToFixed<true, true>(sx),
                                 ToFixed<true, true>(sy), r, key);
}

void SetRenderThreadCount(int count) {
  RenderPool().SetThreadCount(count);
}

int RenderThreadCount() {
  return RenderPool().ThreadCount();
}

bool KernelVariantAvailable(KernelVariant variant) {
  return CpuHas(variant);
}

bool ProcessorRunsKernelVariant(KernelVariant variant) {
  return ProcessorHas(variant);
}

int KernelVariantLanes(KernelVariant variant) {
  switch (variant) {
    case KernelVariant::Portable:
      return kernel_detail::portable::VectorLanes();
    case KernelVariant::Sse41:
      return kernel_detail::sse41::VectorLanes();
    case KernelVariant::Avx2:
      return kernel_detail::avx2::VectorLanes();
    case KernelVariant::Avx512:
      return kernel_detail::avx512::VectorLanes();
  }
  return 0;
}

const std::vector<KernelVariant>& AllKernelVariants() {
  static const std::vector<KernelVariant> all = {KernelVariant::Portable, KernelVariant::Sse41,
                                                 KernelVariant::Avx2, KernelVariant::Avx512};
  return all;
}

bool ForceKernelVariant(KernelVariant variant) {
  if (!CpuHas(variant)) return false;
  ActiveVariantSlot().store(static_cast<int>(variant), std::memory_order_relaxed);
  return true;
}

void ResetKernelVariant() {
  ActiveVariantSlot().store(static_cast<int>(BestVariant()), std::memory_order_relaxed);
}

KernelVariant ActiveKernelVariant() {
  return static_cast<KernelVariant>(ActiveVariantSlot().load(std::memory_order_relaxed));
}

const char* KernelVariantName(KernelVariant variant) {
  switch (variant) {
    case KernelVariant::Portable:
      return "portable";
    case KernelVariant::Sse41:
      return "sse4.1";
    case KernelVariant::Avx2:
      return "avx2";
    case KernelVariant::Avx512:
      return "avx512";
  }
  return "?";
}

}  // namespace tavrona
