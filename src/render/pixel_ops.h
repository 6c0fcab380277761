// The per-pixel integer operations of the drawing kernels. Pixels are 0x00RRGGBB words; every
// operation works on the three colour bytes independently and returns a fourth byte of 0.
// Two channels share one multiplication where no lane can carry into the next (every product
// stays below 65,536).
#pragma once

#include <cstdint>

namespace tavrona {

// (w * s + (256 - w) * d) >> 8 per colour byte, w = 0..256.
constexpr uint32_t MixPixel(uint32_t w, uint32_t s, uint32_t d) {
  const uint32_t v = 256 - w;
  const uint32_t rb = (((s & 0xFF00FFu) * w + (d & 0xFF00FFu) * v) >> 8) & 0xFF00FFu;
  const uint32_t g = (((s & 0xFF00u) * w + (d & 0xFF00u) * v) >> 8) & 0xFF00u;
  return rb | g;
}

// x / 255 truncated, exact for every x below 65,536.
constexpr uint32_t DivideBy255(uint32_t x) {
  return (x * 0x8081u) >> 23;
}

// (a * b) / 255 per colour byte, truncated.
constexpr uint32_t MultiplyPixel(uint32_t a, uint32_t b) {
  const uint32_t blue = DivideBy255((a & 0xFFu) * (b & 0xFFu));
  const uint32_t green = DivideBy255(((a >> 8) & 0xFFu) * ((b >> 8) & 0xFFu));
  const uint32_t red = DivideBy255(((a >> 16) & 0xFFu) * ((b >> 16) & 0xFFu));
  return (red << 16) | (green << 8) | blue;
}

// d + s per colour byte, saturating at 255.
constexpr uint32_t AddPixel(uint32_t d, uint32_t s) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t v = ((d >> shift) & 0xFFu) + ((s >> shift) & 0xFFu);
    out |= (v > 255 ? 255u : v) << shift;
  }
  return out;
}

// d - s per colour byte, 0 where s is larger.
constexpr uint32_t SubtractPixel(uint32_t d, uint32_t s) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t a = (d >> shift) & 0xFFu;
    const uint32_t b = (s >> shift) & 0xFFu;
    out |= (a > b ? a - b : 0u) << shift;
  }
  return out;
}

// The new destination pixel for blend mode Mode (0..6) with the coloured sample s. Opaque is
// mode 0 with opacity byte 0: the sample replaces the pixel whole. opacity is 1..255 otherwise.
template <int Mode, bool Opaque>
constexpr uint32_t BlendPixel(uint32_t s, uint32_t d, uint32_t opacity) {
  if constexpr (Mode == 0) {
    if constexpr (Opaque) {
      return s;
    } else {
      return MixPixel(opacity, s, d);
    }
  } else if constexpr (Mode == 1) {
    return d & s;
  } else if constexpr (Mode == 2) {
    return d | s;
  } else if constexpr (Mode == 3) {
    return d ^ s;
  } else if constexpr (Mode == 4) {
    return MultiplyPixel(d, s);
  } else if constexpr (Mode == 5) {
    return AddPixel(d, s);
  } else {
    static_assert(Mode == 6);
    return SubtractPixel(d, s);
  }
}

}  // namespace tavrona
