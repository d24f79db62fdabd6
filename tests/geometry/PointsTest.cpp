// Point operations, tolerant equality, plane exchange and the straight
// element's planar operations.
#include <cmath>
#include <limits>

#include "mod_gcode/GCCode/Geometry.h"
#include "tests/geometry/GeomTestUtil.h"

namespace quillet {
namespace {

using test::ExpectPointNear;

TEST(PointOps, NumbersEqualIsRelative) {
  EXPECT_FALSE(NumbersEqual(0.0, 1e-300));  // 0 equals only 0
  EXPECT_TRUE(NumbersEqual(0.0, 0.0));
  EXPECT_TRUE(NumbersEqual(100000.0, 100000.5));  // 0.5 x 1e5 <= 100000.5
  EXPECT_TRUE(NumbersEqual(1.000001, 1.00001));   // 0.9 <= 1.00001
  EXPECT_FALSE(NumbersEqual(1.0, 1.00002));       // 2 > 1.00002
  EXPECT_TRUE(NumbersEqual(-1.0, -1.000001));
  EXPECT_FALSE(NumbersEqual(-1.0, 1.0));
  EXPECT_FALSE(NumbersEqual(std::nan(""), std::nan("")));
}

TEST(PointOps, PointsEqualNeedsEveryComponent) {
  EXPECT_TRUE(PointsEqual({1, 2, 3}, {1.000001, 2, 3}));
  EXPECT_FALSE(PointsEqual({1, 2, 3}, {1, 2, 3.0001}));  // 1e-4 x 1e5 = 10 > 3
  EXPECT_FALSE(PointsEqual({0, 2, 3}, {1e-12, 2, 3}));
}

TEST(PointOps, SwapForPlaneExchangesAxes) {
  const CPoint3d p(1, 2, 3);
  EXPECT_EQ(SwapForPlane(p, kPlaneXY), CPoint3d(1, 2, 3));
  EXPECT_EQ(SwapForPlane(p, kPlaneZX), CPoint3d(1, 3, 2));
  EXPECT_EQ(SwapForPlane(p, kPlaneYZ), CPoint3d(3, 2, 1));
  EXPECT_EQ(SwapForPlane(p, 7), p);
  EXPECT_EQ(SwapForPlane(p, -1), p);
  for (short plane = 0; plane < 3; ++plane) EXPECT_EQ(SwapForPlane(SwapForPlane(p, plane), plane), p);
}

TEST(PlanarGeometry, FootOfPerpendicular) {
  CPoint3d foot;
  // Horizontal line, point above it.
  EXPECT_NEAR(Geometry::FootOfPerpendicular({0, 0, 0}, {10, 0, 0}, {3, 4, 0}, foot), 4.0, 1e-12);
  ExpectPointNear(foot, 3, 0, 0);
  // Diagonal y = x, point (2, 0): foot (1, 1), distance sqrt 2.
  EXPECT_NEAR(Geometry::FootOfPerpendicular({0, 0, 0}, {1, 1, 0}, {2, 0, 0}, foot), std::sqrt(2.0), 1e-12);
  ExpectPointNear(foot, 1, 1, 0);
  // Vertical line x = 2: the foot keeps the point's y.
  EXPECT_NEAR(Geometry::FootOfPerpendicular({2, 0, 0}, {2, 5, 0}, {7, 1, 0}, foot), 5.0, 1e-12);
  ExpectPointNear(foot, 2, 1, 0);
  // A line given by one point counts as vertical through it.
  EXPECT_NEAR(Geometry::FootOfPerpendicular({1, 1, 0}, {1, 1, 0}, {4, 5, 0}, foot), 3.0, 1e-12);
  ExpectPointNear(foot, 1, 5, 0);
  // A steep line x = y / 1000 through the origin: the point (1, 1000) is on it.
  EXPECT_NEAR(Geometry::FootOfPerpendicular({0, 0, 0}, {0.01, 10, 0}, {1, 1000, 0}, foot), 0.0, 1e-9);
  ExpectPointNear(foot, 1, 1000, 0);
}

TEST(PlanarGeometry, AngleBetweenIsUnsignedAndPrecise) {
  EXPECT_NEAR(Geometry::AngleBetween({1, 0, 0}, {0, 1, 0}), kPi / 2, 1e-15);
  EXPECT_NEAR(Geometry::AngleBetween({0, 1, 0}, {1, 0, 0}), kPi / 2, 1e-15);
  EXPECT_NEAR(Geometry::AngleBetween({1, 0, 0}, {-3, 0, 0}), kPi, 1e-15);
  // A nano-radian apart: the cosine would round to 1.
  EXPECT_NEAR(Geometry::AngleBetween({1, 0, 0}, {1, 1e-9, 0}), 1e-9, 1e-20);
  EXPECT_EQ(Geometry::AngleBetween({0, 0, 0}, {1, 0, 0}), 0.0);
}

TEST(PlanarGeometry, SweepBetweenFollowsDirection) {
  EXPECT_NEAR(Geometry::SweepBetween({1, 0, 0}, {0, 1, 0}, false), kPi / 2, 1e-15);
  EXPECT_NEAR(Geometry::SweepBetween({1, 0, 0}, {0, 1, 0}, true), -3 * kPi / 2, 1e-15);
  EXPECT_NEAR(Geometry::SweepBetween({1, 0, 0}, {0, -1, 0}, false), 3 * kPi / 2, 1e-15);
  EXPECT_NEAR(Geometry::SweepBetween({1, 0, 0}, {0, -1, 0}, true), -kPi / 2, 1e-15);
  EXPECT_NEAR(Geometry::SweepBetween({1, 0, 0}, {-1, 0, 0}, false), kPi, 1e-15);
  EXPECT_NEAR(Geometry::SweepBetween({1, 0, 0}, {-1, 0, 0}, true), -kPi, 1e-15);
  EXPECT_EQ(Geometry::SweepBetween({2, 0, 0}, {5, 0, 0}, false), 0.0);
}

TEST(StraightElement, OffsetMovesToTheLeftForPositiveDistance) {
  CGraphic g({0, 0, 2}, {10, 0, 2}, kPlaneXY);
  g.Offset(1);
  ExpectPointNear(g.m_start, 0, 1, 2);
  ExpectPointNear(g.m_end, 10, 1, 2);

  CGraphic h({0, 0, 0}, {10, 0, 0}, kPlaneXY);
  h.Offset(-1);
  ExpectPointNear(h.m_start, 0, -1, 0);
  ExpectPointNear(h.m_end, 10, -1, 0);

  // Travelling +Y: the left is -X.
  CGraphic v({0, 0, 0}, {0, 10, 0}, kPlaneXY);
  v.Offset(1);
  ExpectPointNear(v.m_start, -1, 0, 0);
  ExpectPointNear(v.m_end, -1, 10, 0);

  // Travelling (1, 1): the left is (-1, 1) / sqrt 2.
  CGraphic d({0, 0, 0}, {3, 3, 0}, kPlaneXY);
  d.Offset(std::sqrt(2.0));
  ExpectPointNear(d.m_start, -1, 1, 0);
  ExpectPointNear(d.m_end, 2, 4, 0);
}

TEST(StraightElement, OffsetOfAPointElementMovesAlongMinusX) {
  CGraphic g({5, 5, 1}, {5, 5, 9}, kPlaneXY);
  g.Offset(2);
  ExpectPointNear(g.m_start, 3, 5, 1);
  ExpectPointNear(g.m_end, 3, 5, 9);
}

}  // namespace
}  // namespace quillet
