// A slow, obvious model of the four drawing kernels for the tests: every pixel is mapped,
// sampled and blended with per-channel arithmetic written out step by step, without any of the
// fast kernels' hoisting, packing or tables. The fast kernels must match it bit for bit.
#pragma once

#include <cstdint>

#include "render/kernels.h"

namespace tavrona::reference {

void Draw(int method, const KernelParams& params);

// The value Draw gives the destination pixel (x, y) (top-down) when it holds d, with the
// fixed-point sample coordinates of methods 3 and 4 moved by shiftX and shiftY steps of 1/256
// texel after they are computed (which pixels are drawn does not change). False when Draw
// leaves the pixel alone.
bool DrawPixel(int method, const KernelParams& params, int32_t x, int32_t y, uint32_t d, int shiftX,
               int shiftY, uint32_t& out);

uint32_t Mix(uint32_t w, uint32_t s, uint32_t d);
uint32_t Multiply(uint32_t a, uint32_t b);
uint32_t Add(uint32_t d, uint32_t s);
uint32_t Subtract(uint32_t d, uint32_t s);

// The bilinear sampler of method 3 (rounding = false) or 4 (rounding = true), keyed or not.
uint32_t Sample(bool rounding, bool keyed, const uint32_t* top, int32_t width, float sx, float sy,
                int32_t left, int32_t right, int32_t top_, int32_t bottom, uint32_t key);

}  // namespace tavrona::reference
