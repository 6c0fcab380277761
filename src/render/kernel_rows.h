// The row loops of the four kernels, compiled once per instruction-set variant: the including
// file defines TAVRONA_KERNEL_NS (portable, sse41, avx2) and is built with that variant's
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
#include <utility>

#include "render/kernel_plan.h"
#include "render/kernel_sampling.h"
#include "render/pixel_ops.h"

#if defined(__SSE4_1__) || defined(__AVX2__)
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

// Nearest texel of pixel x: the offset from the source's top row, or kSkip.
template <int Method>
inline int32_t MapNearestOne(const RowMap& r, const DrawPlan& p, int32_t x) {
  const double dx = x;
  const double w = r.projective ? 1.0 / ((r.m20 * dx + r.a2) + r.m22) : r.w;
  double tx = w * ((r.m00 * dx + r.a0) + r.m02);
  double ty = w * ((r.m10 * dx + r.a1) + r.m12);
  if constexpr (Method == 1) {
    tx = std::trunc(tx);
    ty = std::trunc(ty);
  } else {
    tx = std::trunc(tx + 4096.0) - 4096.0;
    ty = std::trunc(ty + 4096.0) - 4096.0;
  }
  if (!(tx >= p.left && tx < p.right && ty >= p.top && ty < p.bottom)) return kSkip;
  return static_cast<int32_t>(tx) - static_cast<int32_t>(ty) * p.sourceWidth;
}

template <bool Rounding, bool Keyed>
inline void MapLinearOne(const RowMap& r, const DrawPlan& p, int32_t x, int32_t& ix, int32_t& iy,
                         int32_t& fxy) {
  const double dx = x;
  const double w = r.projective ? 1.0 / ((r.m20 * dx + r.a2) + r.m22) : r.w;
  const double sx = RoundToFloat(w * ((r.m00 * dx + r.a0) + r.m02));
  const double sy = RoundToFloat(w * ((r.m10 * dx + r.a1) + r.m12));
  if (!(sx >= p.leftF && sx < p.rightF && sy >= p.topF && sy < p.bottomF)) {
    ix = kSkip;
    return;
  }
  // sx and sy lie inside the picture, so the fixed-point coordinates need no clamping.
  const Fixed fx = SplitFixed(FixedCoordinate<Rounding, Keyed>(sx));
  const Fixed fy = SplitFixed(FixedCoordinate<Rounding, Keyed>(sy));
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

template <int Mode, bool Keyed, bool Coloured, bool Opaque>
inline void BlendNearest(const DrawPlan& p, const int32_t* offset, int n, uint32_t* d) {
  const uint32_t* src = p.sourceTop;
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
    const uint32_t s = SampleFixed<Rounding, Keyed>(
        p.sourceTop, p.sourceWidth, Fixed{ix[i], fxy[i] & 0xFF}, Fixed{iy[i], fxy[i] >> 16},
        region, p.key);
    if constexpr (Keyed) {
      if ((s >> 24) == 0) continue;
      d[i] = BlendCovered<Mode, Coloured, Opaque>(s, d[i], p);
    } else {
      const uint32_t sc = Coloured ? MultiplyPixel(s, p.colour) : s;
      d[i] = BlendPixel<Mode, Opaque>(sc, d[i], p.opacity);
    }
  }
}

#if defined(__AVX2__)
#include "render/kernel_rows_avx2.h"
constexpr bool kAvx2 = true;
#else
constexpr bool kAvx2 = false;
#endif

// ---- Rows ------------------------------------------------------------------------------------

template <int Method, int Mode, bool Keyed, bool Coloured, bool Opaque>
void DrawRows(const DrawPlan& p, int32_t yBegin, int32_t yEnd) {
  alignas(64) int32_t a[kChunk];
  alignas(64) int32_t b[kChunk];
  alignas(64) int32_t c[kChunk];
  const SampleRegion region{p.left, p.right - 1, p.top, p.bottom - 1};
  for (int32_t y = yBegin; y < yEnd; ++y) {
    uint32_t* row = p.destinationTop - static_cast<ptrdiff_t>(y) * p.destinationWidth;
    const RowMap r = MakeRowMap<Method>(p.inverse, y);
    for (int32_t x = p.x0; x < p.x1; x += kChunk) {
      const int n = static_cast<int>(std::min<int32_t>(kChunk, p.x1 - x));
      constexpr bool kRounding = Method == 4;
      if constexpr (kAvx2) {
#if defined(__AVX2__)
        if constexpr (Method <= 2) {
          if (r.projective) {
            MapNearestAvx2<Method, true>(r, p, x, n, a);
          } else {
            MapNearestAvx2<Method, false>(r, p, x, n, a);
          }
          BlendNearestAvx2<Mode, Keyed, Coloured, Opaque>(p, a, n, row + x);
        } else {
          if (r.projective) {
            MapLinearAvx2<kRounding, Keyed, true>(r, p, x, n, a, b, c);
          } else {
            MapLinearAvx2<kRounding, Keyed, false>(r, p, x, n, a, b, c);
          }
          BlendLinearAvx2<kRounding, Mode, Keyed, Coloured, Opaque>(p, region, a, b, c, n, row + x);
        }
#endif
      } else if constexpr (Method <= 2) {
        MapNearest<Method>(r, p, x, n, a);
        BlendNearest<Mode, Keyed, Coloured, Opaque>(p, a, n, row + x);
      } else {
        MapLinear<kRounding, Keyed>(r, p, x, n, a, b, c);
        BlendLinear<kRounding, Mode, Keyed, Coloured, Opaque>(p, region, a, b, c, n, row + x);
      }
    }
  }
}

// Index: mode * 8 + keyed * 4 + coloured * 2 + opaque. Opacity matters in mode 0 only, so the
// other modes share one loop for both opacity classes.
template <int Method, size_t... I>
constexpr std::array<DrawRowsFn, sizeof...(I)> MakeTable(std::index_sequence<I...>) {
  return {&DrawRows<Method, static_cast<int>(I / 8), ((I >> 2) & 1) != 0, ((I >> 1) & 1) != 0,
                    I / 8 == 0 && (I & 1) != 0>...};
}

constexpr std::array<std::array<DrawRowsFn, 56>, 4> kTables = {
    MakeTable<1>(std::make_index_sequence<56>()), MakeTable<2>(std::make_index_sequence<56>()),
    MakeTable<3>(std::make_index_sequence<56>()), MakeTable<4>(std::make_index_sequence<56>())};

}  // namespace

DrawRowsFn SelectDrawRows(const DrawPlan& p) {
  const size_t index = static_cast<size_t>(p.mode) * 8 + (p.keyed ? 4 : 0) +
                       (p.coloured ? 2 : 0) + (p.opacity == 0 ? 1 : 0);
  return kTables[static_cast<size_t>(p.method - 1)][index];
}

}  // namespace tavrona::kernel_detail::TAVRONA_KERNEL_NS
