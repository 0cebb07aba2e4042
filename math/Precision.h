// Internal to the math library: the one rounding step every formula ends with.
#pragma once

#include <cfloat>

// Each formula is evaluated in double and rounded to float once. That only
// holds when float and double arithmetic is not silently widened (x87) and
// the compiler does not fuse a*b + c into one rounding (the library builds
// with -ffp-contract=off for that reason).
static_assert(FLT_EVAL_METHOD == 0, "math library needs strict float/double evaluation");

namespace math_detail {
// Rounds a double result to float: the single rounding of each stored value.
constexpr float F(double value) { return static_cast<float>(value); }
}  // namespace math_detail
