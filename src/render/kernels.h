// The four drawing kernels: each draws one placed source region into a destination frame,
// mapping every covered destination pixel back into the source with the inverse matrix,
// sampling there and blending the sample into the pixel.
//
//   method 1  DrawNormal                 pixel corner + half a texel, truncated; nearest texel
//   method 2  DrawBoundaryCorrected      pixel centre, rounded down; nearest texel
//   method 3  DrawLinear                 pixel centre; bilinear, truncating fixed point
//   method 4  DrawLinearColourCorrected  pixel centre; bilinear, rounding fixed point
//
// A kernel writes only destination pixels inside the clip and the bounding box of the placed
// region, reads only source texels inside the region, keeps no state between calls and cannot
// fail: degenerate input (empty region, null pixels, blend mode above 6) draws nothing.
// Destination pixels whose mapped point has a zero projective denominator or leaves the 32-bit
// range are left unchanged.
//
// Threads: a call may split its destination rows between the render worker pool's threads; the
// result does not depend on the thread count. Calls themselves are made from one thread at a
// time (composition runs on the user-interface thread).
#pragma once

#include <cstdint>
#include <vector>

namespace tavrona {

struct KernelParams {
  // Destination rectangle, right and bottom exclusive; composition passes the whole frame.
  int32_t clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
  // Source rectangle in source pixels, right and bottom exclusive; clamped to the source.
  int32_t regionLeft = 0, regionTop = 0, regionRight = 0, regionBottom = 0;
  // Frame buffer memory as stored: the first word is the bottom row's first pixel.
  uint32_t* destinationPixels = nullptr;
  int32_t destinationWidth = 0, destinationHeight = 0;
  const uint32_t* sourcePixels = nullptr;
  int32_t sourceWidth = 0, sourceHeight = 0;
  // The file's transparent colour 0x00BBGGRR; 0x01000000 or more means nothing is transparent.
  uint32_t transparentColour = 0xFFFFFFFFu;
  // Red in bits 0..7, green 8..15, blue 16..23, opacity byte 24..31 (0 = fully opaque).
  uint32_t colourWord = 0x00FFFFFFu;
  uint32_t blendMode = 0;  // BlendMode 0..6; above 6 draws nothing
  // Forward (source -> destination) and inverse placement, both already adjusted by
  // ApplyHalfPixelOffset for the method drawn with.
  float matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  float inverseMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
};

void DrawNormal(const KernelParams& params);
void DrawBoundaryCorrected(const KernelParams& params);
void DrawLinear(const KernelParams& params);
void DrawLinearColourCorrected(const KernelParams& params);
// Draws with the kernel of method 1..4; any other method draws nothing.
void DrawWithMethod(int method, const KernelParams& params);

// The projective image of the integer point (x, y), each coordinate rounded down as
// trunc(v + 4096) - 4096 (the true floor for v >= -4096). False, with X and Y untouched, when the
// denominator is 0 or a coordinate does not fit in 32 bits.
bool MapPointFloor(const float m[9], int32_t x, int32_t y, int32_t& X, int32_t& Y);

// Bilinear samplers of the source whose top row starts at sourceTop (rows go down by
// sourceWidth words), at the point (sx, sy) in texel units, inside the clamped region
// left..right, top..bottom (right and bottom exclusive, region not empty). The unkeyed ones
// return a fourth byte of 0 for an interpolated sample and a single corner texel whole; the
// keyed ones return the coverage (0 where texels equal the key, 255 elsewhere, interpolated) in
// the fourth byte. Sample points beyond +-2^30 are treated as +-2^30.
uint32_t SampleLinear(const uint32_t* sourceTop, int32_t sourceWidth, float sx, float sy,
                      int32_t left, int32_t right, int32_t top, int32_t bottom);
uint32_t SampleLinearKeyed(const uint32_t* sourceTop, int32_t sourceWidth, float sx, float sy,
                           int32_t left, int32_t right, int32_t top, int32_t bottom, uint32_t key);
uint32_t SampleLinearRounded(const uint32_t* sourceTop, int32_t sourceWidth, float sx, float sy,
                             int32_t left, int32_t right, int32_t top, int32_t bottom);
uint32_t SampleLinearKeyedRounded(const uint32_t* sourceTop, int32_t sourceWidth, float sx,
                                  float sy, int32_t left, int32_t right, int32_t top,
                                  int32_t bottom, uint32_t key);

// Threads that share one draw. 0 chooses the hardware concurrency (the default); the pool's
// workers are created once and kept. Call between draws, not during one.
void SetRenderThreadCount(int count);
int RenderThreadCount();

// Instruction-set variants of the kernels. Every variant gives the same bits; the fastest that
// the processor supports is chosen at the first draw. Tests and benchmarks can force one.
// Avx512 needs the F, BW, DQ and VL subsets.
enum class KernelVariant { Portable = 0, Sse41 = 1, Avx2 = 2, Avx512 = 3 };
// Every variant, narrowest first, whether available or not.
const std::vector<KernelVariant>& AllKernelVariants();
// The processor runs the variant and the build holds its row loops (compiled for its vectors).
bool KernelVariantAvailable(KernelVariant variant);
// The processor (and the operating system) runs the variant's instructions, whatever the build.
bool ProcessorRunsKernelVariant(KernelVariant variant);
// 32-bit lanes per vector of the variant's row loops as built: 1 (portable), 4, 8 or 16. A
// variant file compiled without its instruction-set flags reports 1 and is not available.
int KernelVariantLanes(KernelVariant variant);
// False (and no change) when the processor or the build lacks the variant.
bool ForceKernelVariant(KernelVariant variant);
// Back to the fastest available variant.
void ResetKernelVariant();
KernelVariant ActiveKernelVariant();
const char* KernelVariantName(KernelVariant variant);

}  // namespace tavrona
