// Angles and the tolerances the geometry uses.
#pragma once
#include <cmath>

namespace quillet {

inline constexpr double kPi = 3.141592653589793;
// 2^-23: planarity, parallel and vertical lines, "nearly whole" numbers.
inline constexpr double kFloatEpsilon = 1.1920929e-7;
// 2^-52: tangency and exact-zero tests.
inline constexpr double kDoubleEpsilon = 2.220446049250313e-16;

inline double DegToRad(double degrees) { return degrees * 3.141592653589793 / 180.0; }
inline double RadToDeg(double radians) { return radians * 57.29577951308232; }
inline double AbsValue(double v) { return std::fabs(v); }

}  // namespace quillet
