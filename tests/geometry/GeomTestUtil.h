#pragma once
#include <gtest/gtest.h>

#include "mod_gcode/geometry/PathRecords.h"

namespace quillet::test {

inline void ExpectPointNear(const CPoint3d& p, double x, double y, double z, double tol = 1e-9) {
  EXPECT_NEAR(p.x, x, tol);
  EXPECT_NEAR(p.y, y, tol);
  EXPECT_NEAR(p.z, z, tol);
}

}  // namespace quillet::test
