// Internal to the kernels: the fixed-point sample coordinates and the four bilinear samplers,
// shared by the public sampler functions and every instruction-set variant.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace tavrona::kernel_detail {

// First and last texel of the clamped region in each direction (inclusive).
struct SampleRegion {
  int32_t firstX, lastX, firstY, lastY;
};

// A sample coordinate in 1/256 texel from the centre of texel 0: integer part (the texel left of
// or above the point) and fraction (the weight of the next texel, 0..255).
struct Fixed {
  int32_t whole;
  int32_t fraction;
};

// v rounded to single precision. The empty asm makes the compiler keep the float: GCC 12's
// vectoriser at -O2 was seen to drop a float rounding between two double operations, which
// would change which texel or fixed-point step a pixel gets.
inline double RoundToFloat(double v) {
  float f = static_cast<float>(v);
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  asm("" : "+x"(f));
#elif defined(__GNUC__)
  asm("" : "+g"(f));
#endif
  return f;
}

inline constexpr double kSampleLimit = 1073741824.0;  // 2^30

// The sampler's coordinate u for the source coordinate s, evaluated in double precision (exact
// for every float s): floor(256 s) - 128 truncating, floor(256 s + 0.5) - 128 rounding;
// with keying trunc(256 (s - 0.5)) and trunc(256 (s - 0.5) + 0.5).
template <bool Rounding, bool Keyed>
inline double FixedCoordinate(double s) {
  if constexpr (Keyed) {
    const double v = (s - 0.5) * 256.0;
    return Rounding ? std::trunc(v + 0.5) : std::trunc(v);
  } else {
    const double v = s * 256.0;
    return (Rounding ? std::floor(v + 0.5) : std::floor(v)) - 128.0;
  }
}

inline Fixed SplitFixed(double u) {
  const double whole = std::floor(u * (1.0 / 256.0));
  return Fixed{static_cast<int32_t>(whole), static_cast<int32_t>(u - whole * 256.0)};
}

template <bool Rounding, bool Keyed>
inline Fixed ToFixed(float s) {
  double d = s;
  if (!(d >= -kSampleLimit)) {
    d = -kSampleLimit;
  } else if (d > kSampleLimit) {
    d = kSampleLimit;
  }
  return SplitFixed(FixedCoordinate<Rounding, Keyed>(d));
}

// (p (256 - f) + q f [+ 128]) >> 8 on all four bytes at once, two bytes per multiplication.
template <bool Rounding>
inline uint32_t Lerp(uint32_t p, uint32_t q, uint32_t f) {
  constexpr uint32_t kM = 0x00FF00FFu;
  constexpr uint32_t kR = Rounding ? 0x00800080u : 0u;
  const uint32_t g = 256 - f;
  const uint32_t even = (((p & kM) * g + (q & kM) * f + kR) >> 8) & kM;
  const uint32_t odd = ((((p >> 8) & kM) * g + ((q >> 8) & kM) * f + kR) >> 8) & kM;
  return even | (odd << 8);
}

// Bilinear: rows first (sums kept in 16 bits), then columns.
template <bool Rounding>
inline uint32_t Lerp2(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, uint32_t fx,
                      uint32_t fy) {
  constexpr uint32_t kM = 0x00FF00FFu;
  constexpr uint32_t kR = Rounding ? 0x00800080u : 0u;
  const uint32_t gx = 256 - fx, gy = 256 - fy;
  const uint32_t upperE = (p00 & kM) * gx + (p10 & kM) * fx + kR;
  const uint32_t lowerE = (p01 & kM) * gx + (p11 & kM) * fx + kR;
  const uint32_t upperO = ((p00 >> 8) & kM) * gx + ((p10 >> 8) & kM) * fx + kR;
  const uint32_t lowerO = ((p01 >> 8) & kM) * gx + ((p11 >> 8) & kM) * fx + kR;
  const uint32_t even = ((((upperE >> 8) & kM) * gy + ((lowerE >> 8) & kM) * fy + kR) >> 8) & kM;
  const uint32_t odd = ((((upperO >> 8) & kM) * gy + ((lowerO >> 8) & kM) * fy + kR) >> 8) & kM;
  return even | (odd << 8);
}

// One bilinear sample. Unkeyed: an interpolated sample has a fourth byte of 0, a single corner
// texel is returned whole. Keyed: the fourth byte carries the coverage; a key texel has coverage
// 0 but keeps its colour in the interpolation; a single key texel gives 0.
template <bool Rounding, bool Keyed>
inline uint32_t SampleFixed(const uint32_t* top, int32_t width, Fixed x, Fixed y,
                            const SampleRegion& r, uint32_t key) {
  auto texel = [&](int32_t i, int32_t j) -> uint32_t {
    const uint32_t t = top[-static_cast<ptrdiff_t>(j) * width + i];
    if constexpr (Keyed) {
      return t == key ? (t & 0x00FFFFFFu) : (t | 0xFF000000u);
    } else {
      return t;
    }
  };
  auto single = [&](int32_t i, int32_t j) -> uint32_t {
    const uint32_t t = top[-static_cast<ptrdiff_t>(j) * width + i];
    if constexpr (Keyed) {
      return t == key ? 0u : (t | 0xFF000000u);
    } else {
      return t;
    }
  };
  constexpr uint32_t kMask = Keyed ? 0xFFFFFFFFu : 0x00FFFFFFu;
  const uint32_t fx = static_cast<uint32_t>(x.fraction);
  const uint32_t fy = static_cast<uint32_t>(y.fraction);
  if (x.whole < r.firstX || x.whole >= r.lastX) {
    const int32_t column = x.whole < r.firstX ? r.firstX : r.lastX;
    if (y.whole < r.firstY) return single(column, r.firstY);
    if (y.whole >= r.lastY) return single(column, r.lastY);
    return Lerp<Rounding>(texel(column, y.whole), texel(column, y.whole + 1), fy) & kMask;
  }
  if (y.whole < r.firstY || y.whole >= r.lastY) {
    const int32_t row = y.whole < r.firstY ? r.firstY : r.lastY;
    return Lerp<Rounding>(texel(x.whole, row), texel(x.whole + 1, row), fx) & kMask;
  }
  return Lerp2<Rounding>(texel(x.whole, y.whole), texel(x.whole + 1, y.whole),
                         texel(x.whole, y.whole + 1), texel(x.whole + 1, y.whole + 1), fx, fy) &
         kMask;
}

}  // namespace tavrona::kernel_detail
