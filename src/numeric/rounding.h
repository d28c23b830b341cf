// Rounding of reals to integers shared by the stages.
#pragma once

#include <cmath>
#include <cstdint>

// x rounded to the nearest integer, halves upward.
inline int64_t NearestInt(double x) { return static_cast<int64_t>(std::floor(x + 0.5)); }
