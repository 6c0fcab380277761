// Composing at a fraction of the output size, for the preview pane and playback: the frame is
// made small from the start (every event's placement scaled down) instead of composed whole and
// shrunk. Source regions, sampling and the kernels stay the same; only where each event lands
// changes. Export and the command-line renderer always compose at reduction 1.
#pragma once

#include <cstdint>

namespace tavrona {

// Reductions a preview may compose at: the frame's sides divided by 1, 2 or 4.
inline constexpr int32_t kReductionFull = 1;
inline constexpr int32_t kReductionHalf = 2;
inline constexpr int32_t kReductionQuarter = 4;

// True for 1, 2 and 4.
bool ValidReduction(int32_t reduction);

// One side of a reduced frame in pixels: fullPixels / reduction rounded up, so the reduced frame
// covers the whole output (its last row and column may reach a little beyond it). 0 for
// fullPixels <= 0; an invalid reduction counts as 1.
int32_t ReducedExtent(int32_t fullPixels, int32_t reduction);

// Rewrites the kernel matrices of one event, already moved by the half-pixel matrix G for its
// drawing method (ApplyHalfPixelOffset), so that the event lands in a frame whose output
// coordinates are the full frame's divided by reduction: with S the scaling by 1 / reduction
// about the frame's top-left corner, matrix := G S G^-1 matrix; the inverse becomes
// inverse S^-1 for method 1 and inverse G^-1 S^-1 G for methods 2 to 4 (the placement before the
// half-pixel move, scaled, then moved again). Reduction 1 and invalid reductions change nothing.
// Evaluated in double precision and stored as floats.
void ReducePlacement(float matrix[9], float inverseMatrix[9], int32_t drawingMethod,
                     int32_t reduction);

}  // namespace tavrona
