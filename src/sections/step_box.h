// Bounds, step boxes and the infinity convention.
#pragma once

#include <algorithm>

#include "libs/tarn.h"

inline constexpr double kInfiniteStep = 1e20;   // a step this large means no step box
inline constexpr double kMinusInfinity = -1e20;  // a lower bound at or below shows "-inf"
inline constexpr double kPlusInfinity = 1e20;    // an upper bound at or above shows "+inf"
// The bound tolerance: closer than this a value rests on a bound, further
// beyond it the value violates the bound.  The active bounds also take it as
// the smallest shadow price and the smallest Q-variable bound span listed.
inline constexpr double kBoundTolerance = 1e-6;

struct ShownBounds {
    double lower;
    double upper;
    bool stepLimited;  // the step box takes the place of the own bounds
};

// The bounds a variable shows: its step box when it has one (a finite step,
// not constant, upper above lower), else its own bounds.  The box follows
// the shadow price's sign: above 0 it ends at the value, below 0 it starts
// there, at 0 it is cut at the own bounds.
inline ShownBounds ShownBoundsOf(double lower, double upper, short status,
                                 const VariableTriple& triple) {
    const double value = triple.value, step = triple.step;
    if (!(step < kInfiniteStep) || status == VariableStatus::kConstant || !(upper > lower))
        return {lower, upper, false};
    if (triple.shadowPrice > 0) return {value - step, value, true};
    if (triple.shadowPrice < 0) return {value, value + step, true};
    return {std::max(lower, value - step), std::min(upper, value + step), true};
}
