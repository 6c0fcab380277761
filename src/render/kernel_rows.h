// The row loops of the four kernels, compiled once per instruction-set variant: the including
// file defines TAVRONA_KERNEL_NS (portable, sse41, avx2, avx512) and is built with that variant's
// compiler flags, so each copy lands in its own namespace and may use the variant's intrinsics.
//
// A row is drawn in chunks: first every pixel of the chunk is mapped into the source (texel
// offsets for the nearest-texel methods, fixed-point coordinates for the bilinear ones; a pixel
// that misses the region is marked kSkip), then the chunk is sampled and blended by a loop
// specialised for the blend mode, keying, colouring and opacity of the call. The mapping is
// pure double arithmetic in a fixed order, so every variant gives the same bits.
#pragma once

#ifndef TAVRONA_KERNEL_NS
#error "define TAVRONA_KERNEL_NS before including kernel_rows.h"
#endif

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "render/kernel_plan.h"
#include "render/kernel_sampling.h"
#include "render/pixel_ops.h"

#if defined(__SSE4_1__) || defined(__AVX2__) || defined(__AVX512BW__)
#include <immintrin.h>
#endif

namespace tavrona::kernel_detail::TAVRONA_KERNEL_NS {
namespace {

constexpr int kChunk = 256;
constexpr int32_t kSkip = INT32_MIN;

// The parts of the inverse mapping that are constant along a destination row. For methods 1, 3
// and 4 the row terms m01 y, m11 y, m21 y are kept as floats; method 2 (MapPointFloor) keeps
// them in double. When m20 is 0 the denominator, and so its reciprocal w, is the same for every
// pixel of the row (m20 x is then a zero of fixed sign for every x >= 0).
struct RowMap {
  double m00, m02, m10, m12, m20, m22;
  double a0, a1, a2;  // row terms
  double w;           // 1 / denominator when it is constant along the row
  bool projective;
};

template <int Method>
inline RowMap MakeRowMap(const float* m, int32_t y) {
  RowMap r;
  r.m00 = m[0];
  r.m02 = m[2];
  r.m10 = m[3];
  r.m12 = m[5];
  r.m20 = m[6];
  r.m22 = m[8];
  if constexpr (Method == 2) {
    r.a0 = static_cast<double>(m[1]) * y;
    r.a1 = static_cast<double>(m[4]) * y;
    r.a2 = static_cast<double>(m[7]) * y;
  } else {
    r.a0 = RoundToFloat(static_cast<double>(m[1]) * y);
    r.a1 = RoundToFloat(static_cast<double>(m[4]) * y);
    r.a2 = RoundToFloat(static_cast<double>(m[7]) * y);
  }
  r.projective = m[6] != 0;
  r.w = 1.0 / ((r.m20 * 0 + r.a2) + r.m22);
  return r;
}

// ---- Mapping, scalar ----------------------------------------------------------------------

// The mapped point of pixel x before rounding: w (m00 x + row term + m02), likewise for y.
inline void MapPoint(const RowMap& r, int32_t x, double& vx, double& vy) {
  const double dx = x;
  const double w = r.projective ? 1.0 / ((r.m20 * dx + r.a2) + r.m22) : r.w;
  vx = w * ((r.m00 * dx + r.a0) + r.m02);
  vy = w * ((r.m10 * dx + r.a1) + r.m12);
}

// A nearest-texel coordinate: truncated (method 1) or rounded down (method 2), and tested
// against [low, high). False when it misses.
template <int Method>
inline bool NearestCoordinate(double v, int32_t low, int32_t high, int32_t& t) {
  if constexpr (Method == 1) {
    v = std::trunc(v);
  } else {
    v = std::trunc(v + 4096.0) - 4096.0;
  }
  if (!(v >= low && v < high)) return false;
  t = static_cast<int32_t>(v);
  return true;
}

// Nearest texel of pixel x: the offset from the source's top row, or kSkip.
template <int Method>
inline int32_t MapNearestOne(const RowMap& r, const DrawPlan& p, int32_t x) {
  double vx, vy;
  MapPoint(r, x, vx, vy);
  int32_t tx, ty;
  if (!NearestCoordinate<Method>(vx, p.left, p.right, tx) ||
      !NearestCoordinate<Method>(vy, p.top, p.bottom, ty)) {
    return kSkip;
  }
  return tx - ty * p.sourceWidth;
}

// A bilinear coordinate: the mapped value rounded to float, tested against the float region
// bounds [low, high), then turned into the sampler's fixed point. False when it misses.
template <bool Rounding, bool Keyed>
inline bool LinearCoordinate(double v, double low, double high, Fixed& f) {
  const double s = RoundToFloat(v);
  if (!(s >= low && s < high)) return false;
  // s lies inside the picture, so the fixed-point coordinate needs no clamping.
  f = SplitFixed(FixedCoordinate<Rounding, Keyed>(s));
  return true;
}

template <bool Rounding, bool Keyed>
inline void MapLinearOne(const RowMap& r, const DrawPlan& p, int32_t x, int32_t& ix, int32_t& iy,
                         int32_t& fxy) {
  double vx, vy;
  MapPoint(r, x, vx, vy);
  Fixed fx, fy;
  if (!LinearCoordinate<Rounding, Keyed>(vx, p.leftF, p.rightF, fx) ||
      !LinearCoordinate<Rounding, Keyed>(vy, p.topF, p.bottomF, fy)) {
    ix = kSkip;
    return;
  }
  ix = fx.whole;
  iy = fy.whole;
  fxy = fx.fraction | (fy.fraction << 16);
}

// ---- Mapping, one chunk ---------------------------------------------------------------------

template <int Method>
inline void MapNearest(const RowMap& r, const DrawPlan& p, int32_t x, int n, int32_t* offset) {
  for (int i = 0; i < n; ++i) offset[i] = MapNearestOne<Method>(r, p, x + i);
}

template <bool Rounding, bool Keyed>
inline void MapLinear(const RowMap& r, const DrawPlan& p, int32_t x, int n, int32_t* ix,
                      int32_t* iy, int32_t* fxy) {
  for (int i = 0; i < n; ++i) MapLinearOne<Rounding, Keyed>(r, p, x + i, ix[i], iy[i], fxy[i]);
}

// ---- Sampling and blending, one chunk ------------------------------------------------------

// offset[i] is relative to src (the source's top row, or for separable placements the row
// the whole destination row samples).
template <int Mode, bool Keyed, bool Coloured, bool Opaque>
inline void BlendNearest(const DrawPlan& p, const uint32_t* src, const int32_t* offset, int n,
                         uint32_t* d) {
  for (int i = 0; i < n; ++i) {
    if (offset[i] == kSkip) continue;
    const uint32_t s = src[offset[i]];
    if constexpr (Keyed) {
      if (s == p.key) continue;
    }
    const uint32_t sc = Coloured ? MultiplyPixel(s, p.colour) : s;
    d[i] = BlendPixel<Mode, Opaque>(sc, d[i], p.opacity);
  }
}

// A keyed bilinear sample s with coverage a (its fourth byte) into the pixel d.
template <int Mode, bool Coloured, bool Opaque>
inline uint32_t BlendCovered(uint32_t s, uint32_t d, const DrawPlan& p) {
  const uint32_t a = s >> 24;
  const uint32_t sc = Coloured ? MultiplyPixel(s, p.colour) : (s & 0x00FFFFFFu);
  if (a == 255) return BlendPixel<Mode, Opaque>(sc, d, p.opacity);
  if constexpr (Mode == 0) {
    return MixPixel(Opaque ? a : (a * p.opacity) / 255, sc, d);
  } else {
    return BlendPixel<Mode, true>(MixPixel(a, sc, d), d, 0);
  }
}

template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
inline void BlendLinear(const DrawPlan& p, const SampleRegion& region, const int32_t* ix,
                        const int32_t* iy, const int32_t* fxy, int n, uint32_t* d) {
  for (int i = 0; i < n; ++i) {
    if (ix[i] == kSkip) continue;
    const uint32_t s =
        SampleFixed<Rounding, Keyed>(p.sourceTop, p.sourceWidth, Fixed{ix[i], fxy[i] & 0xFF},
                                     Fixed{iy[i], fxy[i] >> 16}, region, p.key);
    if constexpr (Keyed) {
      if ((s >> 24) == 0) continue;
      d[i] = BlendCovered<Mode, Coloured, Opaque>(s, d[i], p);
    } else {
      const uint32_t sc = Coloured ? MultiplyPixel(s, p.colour) : s;
      d[i] = BlendPixel<Mode, Opaque>(sc, d[i], p.opacity);
    }
  }
}

// A run of n consecutive source texels src[0..n) into the pixels d[0..n), every pixel sampling
// one texel. Centred: the bilinear methods at texel centres, whose samples carry a fourth byte
// of 0 (the caller mends the region's corner texel, which the sampler returns whole); keying
// still compares the whole texel. The same arithmetic as BlendNearest and BlendLinear there.
template <int Mode, bool Keyed, bool Coloured, bool Opaque, bool Centred>
inline void BlendRunScalar(const DrawPlan& p, const uint32_t* src, int n, uint32_t* d) {
  for (int i = 0; i < n; ++i) {
    uint32_t s = src[i];
    if constexpr (Keyed) {
      if (s == p.key) continue;
    }
    if constexpr (Centred) s &= 0x00FFFFFFu;
    const uint32_t sc = Coloured ? MultiplyPixel(s, p.colour) : s;
    d[i] = BlendPixel<Mode, Opaque>(sc, d[i], p.opacity);
  }
}

// ---- Bilinear, separable placements: two passes ----------------------------------------------
//
// Under a separable placement every pixel of a destination row samples the same two source rows
// with the same vertical fraction, and every pixel of a column the same two columns with the
// same horizontal fraction. SampleFixed interpolates along rows first and keeps those results
// in 8 bits per byte, so a source row interpolated horizontally once (LerpRow) serves every
// destination row that samples it, and each destination row only interpolates two such rows
// vertically (BlendLerpedRows). The edge cases of SampleFixed become column pairs: a point left
// of the first column takes the pair starting there with weight 0, one right of the last column
// the pair ending there with weight 256, giving that column's texel exactly; rows likewise take
// one row twice with fraction 0.

// A texel as the keyed samplers take it: coverage 0 (colour kept) for the key, 255 otherwise.
inline uint32_t CoverTexel(uint32_t t, uint32_t key) {
  return t == key ? (t & 0x00FFFFFFu) : (t | 0xFF000000u);
}

// out[i] = the texels (pair[i], row) and (pair[i] + 1, row) interpolated with weight[i] (0..256)
// on all four bytes.
template <bool Rounding, bool Keyed>
inline void LerpRowScalar(const DrawPlan& p, int32_t row, const int32_t* pair,
                          const int32_t* weight, int n, uint32_t* out) {
  const uint32_t* src = p.sourceTop - static_cast<ptrdiff_t>(row) * p.sourceWidth;
  for (int i = 0; i < n; ++i) {
    uint32_t a = src[pair[i]], b = src[pair[i] + 1];
    if constexpr (Keyed) {
      a = CoverTexel(a, p.key);
      b = CoverTexel(b, p.key);
    }
    out[i] = Lerp<Rounding>(a, b, static_cast<uint32_t>(weight[i]));
  }
}

// The samples between the interpolated rows upper and lower at the vertical fraction fy, blended
// into d where columns[i] is not kSkip. cornerY: both rows are the region's first or last; a
// pixel whose edgeX[i] is set as well samples a single corner texel, which the unkeyed sampler
// returns whole.
template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
inline void BlendLerpedRowsScalar(const DrawPlan& p, const uint32_t* upper, const uint32_t* lower,
                                  uint32_t fy, bool cornerY, const int32_t* columns,
                                  const int32_t* edgeX, int n, uint32_t* d) {
  for (int i = 0; i < n; ++i) {
    if (columns[i] == kSkip) continue;
    uint32_t s = Lerp<Rounding>(upper[i], lower[i], fy);
    if constexpr (Keyed) {
      if ((s >> 24) == 0) continue;
      d[i] = BlendCovered<Mode, Coloured, Opaque>(s, d[i], p);
    } else {
      if (!(cornerY && edgeX[i] != 0)) s &= 0x00FFFFFFu;
      d[i] = BlendPixel<Mode, Opaque>(Coloured ? MultiplyPixel(s, p.colour) : s, d[i], p.opacity);
    }
  }
}

#if defined(__AVX512BW__) || defined(__AVX2__) || defined(__SSE4_1__)
// The layer's helpers take and return vectors; left out of line they would pass them through
// memory, so they are always inlined.
#define TAVRONA_ALWAYS_INLINE inline __attribute__((always_inline))
#if defined(__AVX512BW__)
#include "render/kernel_vec_avx512.h"
#elif defined(__AVX2__)
#include "render/kernel_vec_avx2.h"
#else
#include "render/kernel_vec_sse41.h"
#endif
#include "render/kernel_rows_simd.h"
#define TAVRONA_KERNEL_SIMD 1
#endif

// ---- Rows ------------------------------------------------------------------------------------

// Under rotation the texels of a strip's next rows are scattered over source lines that the
// hardware does not see coming; the kernels ask for them sixteen rows ahead. Sixteen rows further
// down, a pixel samples about (16 m01, 16 m11) texels away. The result is a byte distance.
inline intptr_t PrefetchDistance(const DrawPlan& p) {
  const double dx = 16.0 * p.inverse[1], dy = 16.0 * p.inverse[4];
  if (!(std::fabs(dx) < 4096 && std::fabs(dy) < 4096)) return 0;
  return (static_cast<intptr_t>(dx) - static_cast<intptr_t>(dy) * p.sourceWidth) * 4;
}

// Nearest-texel chunk: map, then sample and blend.
template <int Method, int Mode, bool Keyed, bool Coloured, bool Opaque>
inline void NearestChunk(const DrawPlan& p, const RowMap& r, int32_t x, int n, int32_t* offset,
                         uint32_t* d) {
#if defined(TAVRONA_KERNEL_SIMD)
  MapNearestSimd<Method>(r, p, x, n, offset);
  BlendNearestSimd<Mode, Keyed, Coloured, Opaque>(p, p.sourceTop, p.left - p.top * p.sourceWidth,
                                                  offset, n, d, 0, PrefetchDistance(p));
#else
  MapNearest<Method>(r, p, x, n, offset);
  BlendNearest<Mode, Keyed, Coloured, Opaque>(p, p.sourceTop, offset, n, d);
#endif
}

template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
inline void LinearSample(const DrawPlan& p, const SampleRegion& region, const int32_t* ix,
                         const int32_t* iy, const int32_t* fxy, int n, uint32_t* d) {
#if defined(TAVRONA_KERNEL_SIMD)
  BlendLinearSimd<Rounding, Mode, Keyed, Coloured, Opaque>(p, region, ix, iy, fxy, n, d,
                                                           p.separable ? 0 : PrefetchDistance(p));
#else
  BlendLinear<Rounding, Mode, Keyed, Coloured, Opaque>(p, region, ix, iy, fxy, n, d);
#endif
}

template <bool Rounding, bool Keyed>
inline void LinearMapChunk(const DrawPlan& p, const RowMap& r, int32_t x, int n, int32_t* ix,
                           int32_t* iy, int32_t* fxy) {
#if defined(TAVRONA_KERNEL_SIMD)
  MapLinearSimd<Rounding, Keyed>(r, p, x, n, ix, iy, fxy);
#else
  MapLinear<Rounding, Keyed>(r, p, x, n, ix, iy, fxy);
#endif
}

// General placements: every pixel is mapped.
template <int Method, int Mode, bool Keyed, bool Coloured, bool Opaque>
void DrawRowsGeneral(const DrawPlan& p, int32_t yBegin, int32_t yEnd) {
  alignas(64) int32_t a[kChunk];
  alignas(64) int32_t b[kChunk];
  alignas(64) int32_t c[kChunk];
  const SampleRegion region{p.left, p.right - 1, p.top, p.bottom - 1};
#if defined(TAVRONA_KERNEL_SIMD)
  // Bilinear methods under affine placements: every row's run and incremental mapping.
  std::vector<AffineRow> affine;
  if constexpr (Method >= 3) {
    if (UsesAffineMapping(p)) {
      affine.resize(static_cast<size_t>(yEnd - yBegin));
      for (int32_t y = yBegin; y < yEnd; ++y) {
        affine[static_cast<size_t>(y - yBegin)] = PlanAffineRow<Method == 4>(p, y);
      }
    }
  }
  const intptr_t prefetch = PrefetchDistance(p);
#endif
  // Strips of kChunk columns, top to bottom: under rotation, one strip's rows sample a small
  // band of the source that stays in the first-level cache from row to row.
  for (int32_t x = p.x0; x < p.x1; x += kChunk) {
    const int n = static_cast<int>(std::min<int32_t>(kChunk, p.x1 - x));
    for (int32_t y = yBegin; y < yEnd; ++y) {
      uint32_t* row = p.destinationTop - static_cast<ptrdiff_t>(y) * p.destinationWidth;
      const RowMap r = MakeRowMap<Method>(p.inverse, y);
      if constexpr (Method <= 2) {
        NearestChunk<Method, Mode, Keyed, Coloured, Opaque>(p, r, x, n, a, row + x);
      } else {
        constexpr bool kRounding = Method == 4;
#if defined(TAVRONA_KERNEL_SIMD)
        if (!affine.empty() && !affine[static_cast<size_t>(y - yBegin)].exact) {
          const AffineRow& run = affine[static_cast<size_t>(y - yBegin)];
          const int32_t from = std::max(x, run.begin), to = std::min(x + n, run.end);
          if (from < to) {
            BlendLinearAffine<kRounding, Mode, Keyed, Coloured, Opaque>(
                p, region, run, from, to - from, row + from, prefetch);
          }
          continue;
        }
#endif
        LinearMapChunk<kRounding, Keyed>(p, r, x, n, a, b, c);
        LinearSample<kRounding, Mode, Keyed, Coloured, Opaque>(p, region, a, b, c, n, row + x);
      }
    }
  }
}

template <int Mode, bool Keyed, bool Coloured, bool Opaque, bool Centred>
inline void BlendRun(const DrawPlan& p, const uint32_t* src, int n, uint32_t* d) {
#if defined(TAVRONA_KERNEL_SIMD)
  BlendRunSimd<Mode, Keyed, Coloured, Opaque, Centred>(p, src, n, d);
#else
  BlendRunScalar<Mode, Keyed, Coloured, Opaque, Centred>(p, src, n, d);
#endif
}

template <bool Rounding, bool Keyed>
inline void LerpRow(const DrawPlan& p, int32_t row, const int32_t* pair, const int32_t* weight,
                    int n, uint32_t* out) {
#if defined(TAVRONA_KERNEL_SIMD)
  LerpRowSimd<Rounding, Keyed>(p, row, pair, weight, n, out);
#else
  LerpRowScalar<Rounding, Keyed>(p, row, pair, weight, n, out);
#endif
}

template <bool Rounding, int Mode, bool Keyed, bool Coloured, bool Opaque>
inline void BlendLerpedRows(const DrawPlan& p, const uint32_t* upper, const uint32_t* lower,
                            uint32_t fy, bool cornerY, const int32_t* columns,
                            const int32_t* edgeX, int n, uint32_t* d) {
#if defined(TAVRONA_KERNEL_SIMD)
  BlendLerpedRowsSimd<Rounding, Mode, Keyed, Coloured, Opaque>(p, upper, lower, fy, cornerY,
                                                               columns, edgeX, n, d);
#else
  BlendLerpedRowsScalar<Rounding, Mode, Keyed, Coloured, Opaque>(p, upper, lower, fy, cornerY,
                                                                 columns, edgeX, n, d);
#endif
}

// When the columns that are not kSkip are consecutive texels (columns[i + 1] = columns[i] + 1)
// with only kSkip before and after them, sets [begin, end) to them; otherwise to an empty range.
inline void ConsecutiveRun(const int32_t* columns, int n, int& begin, int& end) {
  begin = end = 0;
  int first = 0;
  while (first < n && columns[first] == kSkip) ++first;
  int last = first;
  while (last < n && columns[last] != kSkip && columns[last] == columns[first] + (last - first)) {
    ++last;
  }
  for (int i = last; i < n; ++i) {
    if (columns[i] != kSkip) return;
  }
  begin = first;
  end = last;
}

// n unkeyed bilinear samples that fall on the centres of the texels (column + i, row): what
// SampleFixed gives there with both fractions 0, the texel with a fourth byte of 0, except the
// region's last texel, which the sampler returns whole as a single corner texel.
inline void CopyCentredSamples(const DrawPlan& p, const SampleRegion& region, int32_t column,
                               int32_t row, int n, uint32_t* d) {
  const uint32_t* src = p.sourceTop - static_cast<ptrdiff_t>(row) * p.sourceWidth + column;
  for (int i = 0; i < n; ++i) d[i] = src[i] & 0x00FFFFFFu;
  if (row >= region.lastY && column + n - 1 >= region.lastX) {
    const int corner = region.lastX - column;
    d[corner] = src[corner];
  }
}

// n bilinear samples at the centres of the texels (column + i, row) blended into d: each sample
// is its texel (with a fourth byte of 0 unkeyed, coverage 0 or 255 keyed), except the region's
// last texel, which the unkeyed sampler returns whole.
template <int Mode, bool Keyed, bool Coloured, bool Opaque>
inline void BlendCentredSamples(const DrawPlan& p, const SampleRegion& region, int32_t column,
                                int32_t row, int n, uint32_t* d) {
  const uint32_t* src = p.sourceTop - static_cast<ptrdiff_t>(row) * p.sourceWidth + column;
  const int corner = region.lastX - column;
  const bool mend = !Keyed && row >= region.lastY && corner < n;
  const uint32_t before = mend ? d[corner] : 0;
  BlendRun<Mode, Keyed, Coloured, Opaque, true>(p, src, n, d);
  if (mend) {
    const uint32_t s = src[corner];
    d[corner] = BlendPixel<Mode, Opaque>(Coloured ? MultiplyPixel(s, p.colour) : s, before,
                                         p.opacity);
  }
}

// Separable placements (the inverse matrix has m01 = m10 = m20 = m21 = 0, i.e. scaling and
// translation only): the source column of a pixel depends on x alone and its source row on y
// alone, for every pixel of the call, because the terms that would couple them are zeros. So
// the columns of a strip of kChunk pixels are mapped once, and every row of the strip maps one
// point. The values are those of the general loop, computed fewer times.
template <int Method, int Mode, bool Keyed, bool Coloured, bool Opaque>
void DrawRowsSeparable(const DrawPlan& p, int32_t yBegin, int32_t yEnd) {
  // Wide strips: a frame is one or two strips, so rows are walked almost whole and the source
  // and destination are read and written sequentially.
  constexpr int kStrip = 2048;
  alignas(64) int32_t columns[kStrip];
  alignas(64) int32_t fractions[kStrip];
  alignas(64) int32_t rows[kStrip];
  alignas(64) int32_t fxy[kStrip];
  const SampleRegion region{p.left, p.right - 1, p.top, p.bottom - 1};
  const RowMap first = MakeRowMap<Method>(p.inverse, yBegin);
  // The bilinear methods' two passes (see LerpRow), where the region is two columns wide or
  // more: column pairs and weights (in rows and fxy), edge columns, and two interpolated source
  // rows with the source row each holds.
  constexpr bool kRounding = Method == 4;
  const bool twoPass = Method >= 3 && region.lastX > region.firstX;
  alignas(64) int32_t edgeX[Method >= 3 ? kStrip : 1];
  alignas(64) uint32_t lerped[Method >= 3 ? 2 : 1][Method >= 3 ? kStrip : 1];
  int32_t lerpedRow[2] = {kSkip, kSkip};
  for (int32_t x = p.x0; x < p.x1; x += kStrip) {
    const int n = static_cast<int>(std::min<int32_t>(kStrip, p.x1 - x));
    bool any = false;
    for (int i = 0; i < n; ++i) {
      double vx, vy;
      MapPoint(first, x + i, vx, vy);
      if constexpr (Method <= 2) {
        int32_t tx;
        columns[i] = NearestCoordinate<Method>(vx, p.left, p.right, tx) ? tx : kSkip;
      } else {
        Fixed f;
        const bool hit = LinearCoordinate<Method == 4, Keyed>(vx, p.leftF, p.rightF, f);
        columns[i] = hit ? f.whole : kSkip;
        fractions[i] = hit ? f.fraction : 0;
      }
      any = any || columns[i] != kSkip;
    }
    if (!any) continue;
    // Hit columns that are one run of consecutive texels (the picture at its own width, moved
    // by whole pixels) are read as one block per row: copied whole by a plain draw, blended
    // texel by texel otherwise. The bilinear methods do so where every sample falls on a texel
    // centre (fractions 0 in both directions), where a sample is its texel.
    constexpr bool kCopy = Mode == 0 && Opaque && !Coloured && !Keyed;
    int runBegin = 0, runEnd = 0;
    ConsecutiveRun(columns, n, runBegin, runEnd);
    if constexpr (Method >= 3) {
      if (std::any_of(fractions + runBegin, fractions + runEnd, [](int32_t f) { return f; })) {
        runBegin = runEnd = 0;
      }
    }
    // Bottom row first: frame buffers are stored bottom-up, so the rows are then walked in
    // ascending addresses, one forward stream through the destination (and, unless the
    // placement flips the picture, the source) that the hardware prefetchers follow.
    if constexpr (Method >= 3) {
      if (twoPass) {
        for (int i = 0; i < n; ++i) {
          const int32_t whole = columns[i];
          const bool before = whole != kSkip && whole < region.firstX;
          const bool after = whole != kSkip && whole >= region.lastX;
          rows[i] = whole == kSkip || before ? region.firstX
                                             : (after ? region.lastX - 1 : whole);
          fxy[i] = whole == kSkip || before ? 0 : (after ? 256 : fractions[i]);
          edgeX[i] = before || after ? -1 : 0;
        }
        lerpedRow[0] = lerpedRow[1] = kSkip;
      }
    }
    // The interpolated source row `source`, made in the slot that does not hold row `keep`.
    auto lerpedSourceRow = [&](int32_t source, int32_t keep) -> const uint32_t* {
      for (int k = 0; k < 2; ++k) {
        if (lerpedRow[k] == source) return lerped[k];
      }
      const int k = lerpedRow[0] == keep ? 1 : 0;
      LerpRow<kRounding, Keyed>(p, source, rows, fxy, n, lerped[k]);
      lerpedRow[k] = source;
      return lerped[k];
    };
    for (int32_t y = yEnd - 1; y >= yBegin; --y) {
      uint32_t* row = p.destinationTop - static_cast<ptrdiff_t>(y) * p.destinationWidth + x;
      const RowMap r = MakeRowMap<Method>(p.inverse, y);
      double vx, vy;
      MapPoint(r, x, vx, vy);
      if constexpr (Method <= 2) {
        int32_t ty;
        if (!NearestCoordinate<Method>(vy, p.top, p.bottom, ty)) continue;
        const uint32_t* src = p.sourceTop - static_cast<ptrdiff_t>(ty) * p.sourceWidth;
        if (runEnd > runBegin) {
          if constexpr (kCopy) {
            std::memcpy(row + runBegin, src + columns[runBegin],
                        static_cast<size_t>(runEnd - runBegin) * sizeof(uint32_t));
          } else {
            BlendRun<Mode, Keyed, Coloured, Opaque, false>(p, src + columns[runBegin],
                                                           runEnd - runBegin, row + runBegin);
          }
          continue;
        }
#if defined(TAVRONA_KERNEL_SIMD)
        BlendNearestSimd<Mode, Keyed, Coloured, Opaque>(p, src, p.left, columns, n, row, p.right);
#else
        BlendNearest<Mode, Keyed, Coloured, Opaque>(p, src, columns, n, row);
#endif
      } else {
        Fixed fy;
        if (!LinearCoordinate<Method == 4, Keyed>(vy, p.topF, p.bottomF, fy)) continue;
        if (runEnd > runBegin && fy.fraction == 0) {
          if constexpr (kCopy) {
            CopyCentredSamples(p, region, columns[runBegin], fy.whole, runEnd - runBegin,
                               row + runBegin);
          } else {
            BlendCentredSamples<Mode, Keyed, Coloured, Opaque>(
                p, region, columns[runBegin], fy.whole, runEnd - runBegin, row + runBegin);
          }
          continue;
        }
        if (twoPass) {
          const bool cornerY = fy.whole < region.firstY || fy.whole >= region.lastY;
          const int32_t upperRow =
              cornerY ? (fy.whole < region.firstY ? region.firstY : region.lastY) : fy.whole;
          const int32_t lowerRow = cornerY ? upperRow : upperRow + 1;
          const uint32_t* upper = lerpedSourceRow(upperRow, lowerRow);
          const uint32_t* lower = cornerY ? upper : lerpedSourceRow(lowerRow, upperRow);
          BlendLerpedRows<kRounding, Mode, Keyed, Coloured, Opaque>(
              p, upper, lower, cornerY ? 0u : static_cast<uint32_t>(fy.fraction), cornerY,
              columns, edgeX, n, row);
          continue;
        }
        for (int i = 0; i < n; ++i) {
          rows[i] = fy.whole;
          fxy[i] = fractions[i] | (fy.fraction << 16);
        }
        LinearSample<kRounding, Mode, Keyed, Coloured, Opaque>(p, region, columns, rows, fxy, n,
                                                               row);
      }
    }
  }
}

template <int Method, int Mode, bool Keyed, bool Coloured, bool Opaque>
void DrawRows(const DrawPlan& p, int32_t yBegin, int32_t yEnd) {
  if (p.separable) {
    DrawRowsSeparable<Method, Mode, Keyed, Coloured, Opaque>(p, yBegin, yEnd);
  } else {
    DrawRowsGeneral<Method, Mode, Keyed, Coloured, Opaque>(p, yBegin, yEnd);
  }
}

// Index: mode * 8 + keyed * 4 + coloured * 2 + opaque. Opacity matters in mode 0 only, so the
// other modes share one loop for both opacity classes.
template <int Method, size_t... I>
constexpr std::array<DrawRowsFn, sizeof...(I)> MakeTable(std::index_sequence<I...>) {
  return {&DrawRows < Method, static_cast<int>(I / 8), ((I >> 2) & 1) != 0, ((I >> 1) & 1) != 0,
          I / 8 == 0 && (I & 1) != 0 > ...};
}

constexpr std::array<std::array<DrawRowsFn, 56>, 4> kTables = {
    MakeTable<1>(std::make_index_sequence<56>()), MakeTable<2>(std::make_index_sequence<56>()),
    MakeTable<3>(std::make_index_sequence<56>()), MakeTable<4>(std::make_index_sequence<56>())};

}  // namespace

int VectorLanes() {
#if defined(TAVRONA_KERNEL_SIMD)
  return kLanes;
#else
  return 1;
#endif
}

DrawRowsFn SelectDrawRows(const DrawPlan& p) {
  const size_t index = static_cast<size_t>(p.mode) * 8 + (p.keyed ? 4 : 0) + (p.coloured ? 2 : 0) +
                       (p.opacity == 0 ? 1 : 0);
  return kTables[static_cast<size_t>(p.method - 1)][index];
}

}  // namespace tavrona::kernel_detail::TAVRONA_KERNEL_NS
