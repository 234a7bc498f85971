// Bounds, step boxes and the infinity convention.
#pragma once

#include <algorithm>

inline constexpr double kInfiniteStep = 1e20;   // a step this large means no step box
inline constexpr double kMinusInfinity = -1e20;  // a lower bound at or below shows "-inf"
inline constexpr double kPlusInfinity = 1e20;    // an upper bound at or above shows "+inf"
inline constexpr short kStatusConstant = 3;

struct ShownBounds {
    double lower;
    double upper;
    bool stepLimited;  // the step box takes the place of the own bounds
};

// The bounds a variable shows: its step box when it has one (a finite step,
// not constant, upper above lower), else its own bounds.  The box follows
// the shadow price's sign: above 0 it ends at the value, below 0 it starts
// there, at 0 it is cut at the own bounds.
inline ShownBounds ShownBoundsOf(double lower, double upper, short status, double value,
                                 double step, double shadowPrice) {
    if (!(step < kInfiniteStep) || status == kStatusConstant || !(upper > lower))
        return {lower, upper, false};
    if (shadowPrice > 0) return {value - step, value, true};
    if (shadowPrice < 0) return {value, value + step, true};
    return {std::max(lower, value - step), std::min(upper, value + step), true};
}
