// Placement matrices: 3 x 3 single-precision floats stored row by row (m00 m01 m02 m10 ...),
// applied projectively to column vectors (x, y, 1). Products and inversions are evaluated in
// double precision and stored back as floats, so the same inputs give the same bits on every
// machine.
#pragma once

#include <cstdint>

#include "model/event_record.h"

namespace tavrona {

// out := a x b. out may alias a or b.
void MultiplyMatrix3x3(const float a[9], const float b[9], float out[9]);

// Inverts in place by Gauss-Jordan elimination without row exchanges. Pivots closer to zero
// than 2^-24 are clamped to +-2^-24 (an exact 0 counts as positive), so a singular matrix gives
// large but finite elements instead of failing.
void InvertMatrix3x3(float m[9]);

// Sets the event's matrix to T(position) R(rotation) S(scale) T(-base) and its inverse matrix to
// the inversion of it. Rotation is in degrees, clockwise on screen (y points down).
void BuildPlacementMatrices(EventRecord& event);

// Moves both matrices by half a pixel for the event's drawing method: matrix := G matrix; the
// inverse becomes inverse G for methods 2 to 4 (it maps pixel centres) and G inverse for method 1
// (it maps pixel corners and adds half a source pixel, so truncation rounds). G is the
// process-wide half-pixel matrix.
void ApplyHalfPixelOffset(EventRecord& event);

// The drawing method 1..4 an event draws with: its own if 1..4, else the open project's default
// if 1..4, else the PixelQuality setting if 1..4, else 1.
int32_t ResolveDrawingMethod(int32_t eventMethod);

}  // namespace tavrona
