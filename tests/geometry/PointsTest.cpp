// Tolerant equality, plane exchange and the planar operations that
// compensation builds on.
#include <cmath>

#include "mod_gcode/geometry/Geometry.h"
#include "tests/geometry/GeomTestUtil.h"

namespace quillet {
namespace {

using test::ExpectPointNear;

TEST(PointOps, EqualityIsRelativeAndPlaneExchangeIsItsOwnInverse) {
  EXPECT_FALSE(NumbersEqual(0.0, 1e-300));         // 0 equals only 0
  EXPECT_TRUE(NumbersEqual(100000.0, 100000.5));   // 0.5 x 1e5 <= 100000.5
  EXPECT_FALSE(NumbersEqual(1.0, 1.00002));        // 2 > 1.00002
  EXPECT_FALSE(NumbersEqual(std::nan(""), std::nan("")));
  EXPECT_TRUE(PointsEqual({1, 2, 3}, {1.000001, 2, 3}));
  EXPECT_FALSE(PointsEqual({1, 2, 3}, {1, 2, 3.0001}));  // 1e-4 x 1e5 = 10 > 3
  const CPoint3d p(1, 2, 3);
  EXPECT_EQ(SwapForPlane(p, kPlaneZX), CPoint3d(1, 3, 2));
  EXPECT_EQ(SwapForPlane(p, kPlaneYZ), CPoint3d(3, 2, 1));
}

TEST(PlanarGeometry, FootOfPerpendicular) {
  struct Row { CPoint3d a, b, p; double distance; CPoint3d foot; };
  const Row rows[] = {
      {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, std::sqrt(2.0), {1, 1, 0}},  // diagonal y = x
      {{2, 0, 0}, {2, 5, 0}, {7, 1, 0}, 5.0, {2, 1, 0}},             // vertical: the foot keeps p's y
      {{1, 1, 0}, {1, 1, 0}, {4, 5, 0}, 3.0, {1, 5, 0}},             // one point: vertical through it
      {{0, 0, 0}, {0.01, 10, 0}, {1, 1000, 0}, 0.0, {1, 1000, 0}},   // steep, p on the line
  };
  for (const Row& r : rows) {
    CPoint3d foot;
    EXPECT_NEAR(Geometry::FootOfPerpendicular(r.a, r.b, r.p, foot), r.distance, 1e-9);
    ExpectPointNear(foot, r.foot.x, r.foot.y, r.foot.z, 1e-9);
  }
}

TEST(StraightElement, OffsetGoesLeftForPositiveDistance) {
  struct Row { CPoint3d start, end; double d; CPoint3d newStart, newEnd; };
  const Row rows[] = {
      {{0, 0, 2}, {10, 0, 2}, -1, {0, -1, 2}, {10, -1, 2}},
      {{0, 0, 0}, {0, 10, 0}, 1, {-1, 0, 0}, {-1, 10, 0}},              // travelling +Y: left is -X
      {{0, 0, 0}, {3, 3, 0}, std::sqrt(2.0), {-1, 1, 0}, {2, 4, 0}},    // left is (-1, 1) / sqrt 2
      {{5, 5, 1}, {5, 5, 9}, 2, {3, 5, 1}, {3, 5, 9}},                  // no planar length: along -X
  };
  for (const Row& r : rows) {
    CGraphic g(r.start, r.end, kPlaneXY);
    g.Offset(r.d);
    ExpectPointNear(g.m_start, r.newStart.x, r.newStart.y, r.newStart.z);
    ExpectPointNear(g.m_end, r.newEnd.x, r.newEnd.y, r.newEnd.z);
  }
}

}  // namespace
}  // namespace quillet
