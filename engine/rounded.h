// Single-precision sine, cosine and the engine's three powers, each correctly rounded to
// nearest (ties to even) for every float argument. They use IEEE basic operations and integer
// arithmetic only, never the C library, so every compiler and C library gives the same bits.
#pragma once

#include <stdint.h>

// How a result was decided; the checking tool counts them.
enum RoundedPath : int32_t {
    RoundedFast = 0,  // double precision, far enough from every halfway point
    RoundedSlow,      // double-double, far enough from every halfway point
    RoundedExact,     // exact integer arithmetic
    RoundedUndecided, // the double-double bound straddled a halfway point: no float does this
};

// Called by the frame step, spawnStar and the rasteriser with radians. NaN for NaN and +-inf;
// the sine keeps the sign of zero.
float roundedSin(float x, RoundedPath* path = nullptr);
float roundedCos(float x, RoundedPath* path = nullptr);

// x^5, called by spawnStar with unit values; exact ties go to even. Odd in x, like powf.
float roundedPow5(float x, RoundedPath* path = nullptr);

// x^0.76f and x^2.05f, the exponents exactly those float literals, called by streakScaleFor
// and speedCurve with a speed factor and a speed ratio. As powf: +0 for +-0, +inf for +-inf,
// NaN for NaN and every other negative x.
float roundedPow076(float x, RoundedPath* path = nullptr);
float roundedPow205(float x, RoundedPath* path = nullptr);
