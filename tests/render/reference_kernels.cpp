#include "reference_kernels.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace tavrona::reference {

namespace {

// Rounds to single precision through memory, so that no optimisation can keep more precision.
float F(double v) {
  volatile float f = static_cast<float>(v);
  return f;
}

int Channel(uint32_t p, int c) {
  return static_cast<int>((p >> (8 * c)) & 0xFF);
}

uint32_t Pack(const int c[3]) {
  return static_cast<uint32_t>(c[0]) | (static_cast<uint32_t>(c[1]) << 8) |
         (static_cast<uint32_t>(c[2]) << 16);
}

// An integer image of a double, or nothing when it does not fit in 32 bits (or is NaN).
std::optional<int64_t> ToInt32(double v) {
  if (std::isnan(v) || v < -2147483648.0 || v > 2147483647.0) return std::nullopt;
  return static_cast<int64_t>(v);
}

struct Point {
  int64_t x, y;
};

// Method 1's integer mapping: truncation towards zero.
std::optional<Point> MapTrunc(double nx, double ny, double den) {
  if (den == 0) return std::nullopt;
  const double w = 1.0 / den;
  auto x = ToInt32(std::trunc(w * nx));
  auto y = ToInt32(std::trunc(w * ny));
  if (!x || !y) return std::nullopt;
  return Point{*x, *y};
}

// MapPointFloor's rounding down: trunc(v + 4096) - 4096.
std::optional<Point> MapFloor(double nx, double ny, double den) {
  if (den == 0) return std::nullopt;
  const double w = 1.0 / den;
  auto x = ToInt32(std::trunc(w * nx + 4096.0) - 4096.0);
  auto y = ToInt32(std::trunc(w * ny + 4096.0) - 4096.0);
  if (!x || !y) return std::nullopt;
  return Point{*x, *y};
}

int64_t FixedU(bool rounding, bool keyed, float s) {
  const double d = s;
  double u;
  if (keyed) {
    u = rounding ? std::trunc(256.0 * (d - 0.5) + 0.5) : std::trunc(256.0 * (d - 0.5));
  } else {
    u = (rounding ? std::floor(256.0 * d + 0.5) : std::floor(256.0 * d)) - 128.0;
  }
  return static_cast<int64_t>(u);
}

}  // namespace

uint32_t Mix(uint32_t w, uint32_t s, uint32_t d) {
  int out[3];
  for (int c = 0; c < 3; ++c) {
    out[c] =
        (static_cast<int>(w) * Channel(s, c) + (256 - static_cast<int>(w)) * Channel(d, c)) >> 8;
  }
  return Pack(out);
}

uint32_t Multiply(uint32_t a, uint32_t b) {
  int out[3];
  for (int c = 0; c < 3; ++c) out[c] = Channel(a, c) * Channel(b, c) / 255;
  return Pack(out);
}

uint32_t Add(uint32_t d, uint32_t s) {
  int out[3];
  for (int c = 0; c < 3; ++c) out[c] = std::min(255, Channel(d, c) + Channel(s, c));
  return Pack(out);
}

uint32_t Subtract(uint32_t d, uint32_t s) {
  int out[3];
  for (int c = 0; c < 3; ++c) out[c] = std::max(0, Channel(d, c) - Channel(s, c));
  return Pack(out);
}

namespace {

uint32_t SampleShifted(bool rounding, bool keyed, const uint32_t* topRow, int32_t width, float sx,
                       float sy, int32_t left, int32_t right, int32_t top, int32_t bottom,
                       uint32_t key, int shiftX, int shiftY) {
  const int64_t ux = FixedU(rounding, keyed, sx) + shiftX;
  const int64_t uy = FixedU(rounding, keyed, sy) + shiftY;
  const int64_t ix = ux >> 8, fx = ux & 255, iy = uy >> 8, fy = uy & 255;
  const int64_t L = left, R = right - 1, T = top, B = bottom - 1;
  const int r = rounding ? 128 : 0;
  auto raw = [&](int64_t i, int64_t j) { return topRow[-j * width + i]; };
  // Four channels: blue, green, red, and coverage (keyed) or the fourth byte (unkeyed).
  auto channels = [&](int64_t i, int64_t j, int out[4]) {
    const uint32_t t = raw(i, j);
    for (int c = 0; c < 3; ++c) out[c] = Channel(t, c);
    out[3] = keyed ? (t == key ? 0 : 255) : static_cast<int>(t >> 24);
  };
  auto single = [&](int64_t i, int64_t j) -> uint32_t {
    const uint32_t t = raw(i, j);
    if (!keyed) return t;
    return t == key ? 0u : (t | 0xFF000000u);
  };
  auto assemble = [&](const int v[4]) {
    uint32_t out = static_cast<uint32_t>(v[0]) | (static_cast<uint32_t>(v[1]) << 8) |
                   (static_cast<uint32_t>(v[2]) << 16);
    if (keyed) out |= static_cast<uint32_t>(v[3]) << 24;
    return out;
  };
  auto oneDirection = [&](int64_t i0, int64_t j0, int64_t i1, int64_t j1, int64_t f) {
    int p[4], q[4], v[4];
    channels(i0, j0, p);
    channels(i1, j1, q);
    for (int c = 0; c < 4; ++c) v[c] = static_cast<int>((p[c] * (256 - f) + q[c] * f + r) >> 8);
    return assemble(v);
  };
  if (ix < L || ix >= R) {
    const int64_t col = ix < L ? L : R;
    if (iy < T) return single(col, T);
    if (iy >= B) return single(col, B);
    return oneDirection(col, iy, col, iy + 1, fy);
  }
  if (iy < T) return oneDirection(ix, T, ix + 1, T, fx);
  if (iy >= B) return oneDirection(ix, B, ix + 1, B, fx);
  int p00[4], p10[4], p01[4], p11[4], v[4];
  channels(ix, iy, p00);
  channels(ix + 1, iy, p10);
  channels(ix, iy + 1, p01);
  channels(ix + 1, iy + 1, p11);
  for (int c = 0; c < 4; ++c) {
    const int64_t upper = p00[c] * (256 - fx) + p10[c] * fx + r;
    const int64_t lower = p01[c] * (256 - fx) + p11[c] * fx + r;
    v[c] = static_cast<int>(((upper >> 8) * (256 - fy) + (lower >> 8) * fy + r) >> 8);
  }
  return assemble(v);
}

}  // namespace

uint32_t Sample(bool rounding, bool keyed, const uint32_t* topRow, int32_t width, float sx,
                float sy, int32_t left, int32_t right, int32_t top, int32_t bottom, uint32_t key) {
  return SampleShifted(rounding, keyed, topRow, width, sx, sy, left, right, top, bottom, key, 0, 0);
}

namespace {

uint32_t ApplyMode(uint32_t mode, uint32_t s, uint32_t d) {
  switch (mode) {
    case 1:
      return d & s;
    case 2:
      return d | s;
    case 3:
      return d ^ s;
    case 4:
      return Multiply(d, s);
    case 5:
      return Add(d, s);
    case 6:
      return Subtract(d, s);
  }
  return s;
}

}  // namespace

namespace {

// What Draw decides once per call: the clamped region, the rectangle walked and the constants
// of the blend.
struct Setup {
  int64_t L, T, R, B;
  int64_t bx0, bx1, by0, by1;
  bool keyed, coloured;
  uint32_t key, colour, A;
  const uint32_t* srcTop;
};

bool MakeSetup(int method, const KernelParams& p, Setup& s) {
  if (p.destinationPixels == nullptr || p.sourcePixels == nullptr) return false;
  if (p.destinationWidth <= 0 || p.destinationHeight <= 0) return false;
  if (p.sourceWidth <= 0 || p.sourceHeight <= 0) return false;
  const int64_t cl = std::max(p.clipLeft, 0), ct = std::max(p.clipTop, 0);
  const int64_t cr = std::min(p.clipRight, p.destinationWidth);
  const int64_t cb = std::min(p.clipBottom, p.destinationHeight);
  const int64_t L = std::max(p.regionLeft, 0), T = std::max(p.regionTop, 0);
  const int64_t R = std::min(p.regionRight, p.sourceWidth);
  const int64_t B = std::min(p.regionBottom, p.sourceHeight);
  if (R <= L || B <= T) return false;
  s.L = L;
  s.T = T;
  s.R = R;
  s.B = B;

  const float* f = p.matrix;
  int64_t bx0 = cl, bx1 = cr, by0 = ct, by1 = cb;
  {
    const int64_t xs[4] = {L, R, L, R}, ys[4] = {T, T, B, B};
    bool ok = true, pos = false, neg = false;
    int64_t mnx = INT64_MAX, mxx = INT64_MIN, mny = INT64_MAX, mxy = INT64_MIN;
    for (int i = 0; i < 4; ++i) {
      const double x = static_cast<double>(xs[i]), y = static_cast<double>(ys[i]);
      const double den = (static_cast<double>(f[6]) * x + static_cast<double>(f[7]) * y) + f[8];
      const double nx = (static_cast<double>(f[0]) * x + static_cast<double>(f[1]) * y) + f[2];
      const double ny = (static_cast<double>(f[3]) * x + static_cast<double>(f[4]) * y) + f[5];
      (den > 0 ? pos : neg) = true;
      std::optional<Point> q;
      if (method == 1) {
        if (den != 0) {
          auto qx = ToInt32(std::trunc(nx / den)), qy = ToInt32(std::trunc(ny / den));
          if (qx && qy) q = Point{*qx, *qy};
        }
      } else {
        q = MapFloor(nx, ny, den);
      }
      if (!q) {
        ok = false;
        break;
      }
      mnx = std::min(mnx, q->x);
      mxx = std::max(mxx, q->x);
      mny = std::min(mny, q->y);
      mxy = std::max(mxy, q->y);
    }
    if (ok && !(pos && neg)) {
      bx0 = std::max(mnx - 1, cl);
      bx1 = std::min(mxx + 1, cr);
      by0 = std::max(mny - 1, ct);
      by1 = std::min(mxy + 1, cb);
    }
  }
  if (p.blendMode > 6) return false;
  s.bx0 = bx0;
  s.bx1 = bx1;
  s.by0 = by0;
  s.by1 = by1;

  const uint32_t tc = p.transparentColour;
  s.keyed = tc < 0x01000000u;
  s.key = ((tc & 0xFF) << 16) | (tc & 0xFF00) | ((tc >> 16) & 0xFF);
  const uint32_t cw = p.colourWord;
  s.colour = ((cw & 0xFF) << 16) | (((cw >> 8) & 0xFF) << 8) | ((cw >> 16) & 0xFF);
  s.coloured = s.colour != 0x00FFFFFFu;
  s.A = cw >> 24;
  s.srcTop = p.sourcePixels + static_cast<int64_t>(p.sourceHeight - 1) * p.sourceWidth;
  return true;
}

bool Pixel(int method, const KernelParams& p, const Setup& st, int64_t x, int64_t y, uint32_t& d,
           int shiftX, int shiftY) {
  const int64_t L = st.L, T = st.T, R = st.R, B = st.B;
  const bool keyed = st.keyed, coloured = st.coloured;
  const uint32_t key = st.key, colour = st.colour, A = st.A;
  const uint32_t* srcTop = st.srcTop;
  const float* m = p.inverseMatrix;
  const double dx = static_cast<double>(x), dy = static_cast<double>(y);
  if (method <= 2) {
    std::optional<Point> t;
    if (method == 1) {
      // Row terms rounded to float, as the fast kernels keep them.
      const float r0 = F(m[1] * dy), r1 = F(m[4] * dy), r2 = F(m[7] * dy);
      const double den = (m[6] * dx + r2) + m[8];
      t = MapTrunc((m[0] * dx + r0) + m[2], (m[3] * dx + r1) + m[5], den);
    } else {
      const double den = (m[6] * dx + m[7] * dy) + m[8];
      t = MapFloor((m[0] * dx + m[1] * dy) + m[2], (m[3] * dx + m[4] * dy) + m[5], den);
    }
    if (!t || t->x < L || t->x >= R || t->y < T || t->y >= B) return false;
    const uint32_t s = srcTop[-t->y * p.sourceWidth + t->x];
    if (keyed && s == key) return false;
    const uint32_t sc = coloured ? Multiply(s, colour) : s;
    if (p.blendMode == 0) {
      d = A == 0 ? sc : Mix(A, sc, d);
    } else {
      d = ApplyMode(p.blendMode, sc, d);
    }
    return true;
  }
  const float r0 = F(m[1] * dy), r1 = F(m[4] * dy), r2 = F(m[7] * dy);
  const double den = (m[6] * dx + r2) + m[8];
  if (den == 0) return false;
  const double w = 1.0 / den;
  const float sx = F(w * ((m[0] * dx + r0) + m[2]));
  const float sy = F(w * ((m[3] * dx + r1) + m[5]));
  if (!(sx >= static_cast<float>(L) && sx < static_cast<float>(R) && sy >= static_cast<float>(T) &&
        sy < static_cast<float>(B))) {
    return false;
  }
  const uint32_t s =
      SampleShifted(method == 4, keyed, srcTop, p.sourceWidth, sx, sy, static_cast<int32_t>(L),
                    static_cast<int32_t>(R), static_cast<int32_t>(T), static_cast<int32_t>(B), key,
                    shiftX, shiftY);
  if (!keyed) {
    const uint32_t sc = coloured ? Multiply(s, colour) : s;
    if (p.blendMode == 0) {
      d = A == 0 ? sc : Mix(A, sc, d);
    } else {
      d = ApplyMode(p.blendMode, sc, d);
    }
    return true;
  }
  const uint32_t alpha = s >> 24;
  if (alpha == 0) return false;
  const uint32_t sc = coloured ? Multiply(s, colour) : (s & 0x00FFFFFFu);
  if (p.blendMode == 0) {
    if (alpha == 255) {
      d = A == 0 ? sc : Mix(A, sc, d);
    } else {
      d = Mix(A == 0 ? alpha : alpha * A / 255, sc, d);
    }
  } else {
    d = ApplyMode(p.blendMode, alpha == 255 ? sc : Mix(alpha, sc, d), d);
  }
  return true;
}

}  // namespace

void Draw(int method, const KernelParams& p) {
  Setup st;
  if (!MakeSetup(method, p, st)) return;
  uint32_t* dstTop =
      p.destinationPixels + static_cast<int64_t>(p.destinationHeight - 1) * p.destinationWidth;
  for (int64_t y = st.by0; y < st.by1; ++y) {
    for (int64_t x = st.bx0; x < st.bx1; ++x) {
      Pixel(method, p, st, x, y, dstTop[-y * p.destinationWidth + x], 0, 0);
    }
  }
}

bool DrawPixel(int method, const KernelParams& params, int32_t x, int32_t y, uint32_t d, int shiftX,
               int shiftY, uint32_t& out) {
  Setup st;
  if (!MakeSetup(method, params, st)) return false;
  if (x < st.bx0 || x >= st.bx1 || y < st.by0 || y >= st.by1) return false;
  out = d;
  return Pixel(method, params, st, x, y, out, shiftX, shiftY);
}

}  // namespace tavrona::reference
