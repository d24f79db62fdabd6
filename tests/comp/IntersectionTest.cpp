// The planar intersections under the corner solvers, on figures whose
// crossings are known by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "CompFixture.h"
#include "mod_gcode/GCCode/Compensation.h"

namespace quillet::test {
namespace {

const CPoint3d kUnset(-77, -77, -77);

// Whether p is one of the two points (within 1e-9 in x and y).
bool IsOneOf(const CPoint3d& p, double x0, double y0, double x1, double y1) {
  auto near = [&](double x, double y) { return std::fabs(p.x - x) < 1e-9 && std::fabs(p.y - y) < 1e-9; };
  return near(x0, y0) || near(x1, y1);
}

TEST(Intersections, LinesCrossCoincideOrRunParallel) {
  CPoint3d p(0, 0, 7);
  // y = 1 and x = 9 cross at (9, 1); z is not touched.
  EXPECT_EQ(IntersectLines(CGraphic({0, 1, 0}, {10, 1, 0}, kPlaneXY), CGraphic({9, 0, 0}, {9, 10, 0}, kPlaneXY), p),
            kLinesCross);
  ExpectPoint(p, 9, 1, 7);
  // Two sloped lines: y = x and y = -x + 4 meet at (2, 2).
  EXPECT_EQ(IntersectLines(CGraphic({-1, -1, 0}, {5, 5, 0}, kPlaneXY), CGraphic({0, 4, 0}, {4, 0, 0}, kPlaneXY), p),
            kLinesCross);
  ExpectPoint(p, 2, 2, 7);

  p = kUnset;
  EXPECT_EQ(IntersectLines(CGraphic({0, 0, 0}, {10, 0, 0}, kPlaneXY), CGraphic({10, 0, 0}, {20, 0, 0}, kPlaneXY), p),
            kLinesCoincident);
  EXPECT_EQ(IntersectLines(CGraphic({0, 1, 0}, {10, 1, 0}, kPlaneXY), CGraphic({10, -1, 0}, {0, -1, 0}, kPlaneXY), p),
            kLinesParallel);
  ExpectPoint(p, kUnset);
}

TEST(Intersections, CirclesCrossTouchCoincideOrMiss) {
  CPoint3d a0 = kUnset;
  CPoint3d a1 = kUnset;
  // r 5 around (0, 0) and (8, 0): the 3-4-5 triangle gives (4, +-3).
  ASSERT_EQ(IntersectCircles({0, 0, 0}, 5, {8, 0, 0}, 5, a0, a1), kCirclesCross);
  EXPECT_TRUE(IsOneOf(a0, 4, 3, 4, -3));
  EXPECT_TRUE(IsOneOf(a1, 4, 3, 4, -3));
  EXPECT_NE(a0.y, a1.y);
  // Centres one above the other (no slope of the centre line): (+-3, 4).
  ASSERT_EQ(IntersectCircles({0, 0, 0}, 5, {0, 8, 0}, 5, a0, a1), kCirclesCross);
  EXPECT_TRUE(IsOneOf(a0, 3, 4, -3, 4));
  EXPECT_TRUE(IsOneOf(a1, 3, 4, -3, 4));
  EXPECT_NE(a0.x, a1.x);
  // A negative radius counts by its magnitude.
  EXPECT_EQ(IntersectCircles({0, 0, 0}, -5, {8, 0, 0}, 5, a0, a1), kCirclesCross);

  // Touching from outside: r 2 and r 3 with centres 5 apart touch at (2, 0).
  a0 = kUnset;
  ASSERT_EQ(IntersectCircles({0, 0, 0}, 2, {5, 0, 0}, 3, a0, a1), kCirclesTouch);
  ExpectPoint(a0, 2, 0, 0);

  a0 = a1 = kUnset;
  EXPECT_EQ(IntersectCircles({0, 0, 0}, 1, {5, 0, 0}, 1, a0, a1), kCirclesApart);  // too far apart
  EXPECT_EQ(IntersectCircles({0, 0, 0}, 5, {1, 0, 0}, 1, a0, a1), kCirclesApart);  // one inside the other
  EXPECT_EQ(IntersectCircles({2, 2, 0}, 5, {2, 2, 0}, 3, a0, a1), kCirclesApart);  // concentric
  EXPECT_EQ(IntersectCircles({2, 2, 0}, 5, {2, 2, 0}, 5, a0, a1), kCirclesSame);
  ExpectPoint(a0, kUnset);
  ExpectPoint(a1, kUnset);
}

TEST(Intersections, VerticalLinesThroughACircle) {
  CPoint3d a0;
  CPoint3d a1;
  // x = 3 crosses the circle of radius 5 around the origin at (3, +-4).
  ASSERT_EQ(IntersectLineCircle({3, -10, 0}, {3, 10, 0}, {0, 0, 0}, 5, a0, a1), 2);
  ExpectPoint(a0, 3, 4, 0);
  ExpectPoint(a1, 3, -4, 0);
  // Tangent at x = 5: the one point twice; x = 6 misses.
  ASSERT_EQ(IntersectLineCircle({5, -10, 0}, {5, 10, 0}, {0, 0, 0}, 5, a0, a1), 2);
  ExpectPoint(a0, 5, 0, 0);
  ExpectPoint(a1, 5, 0, 0);
  EXPECT_EQ(IntersectLineCircle({6, -10, 0}, {6, 10, 0}, {0, 0, 0}, 5, a0, a1), 0);
  // Within 2^-23 of vertical: the vertical through the first point.
  ASSERT_EQ(IntersectLineCircle({3, -10, 0}, {3 + 1e-7, 10, 0}, {0, 0, 0}, 5, a0, a1), 2);
  ExpectPoint(a0, 3, 4, 0);
  ExpectPoint(a1, 3, -4, 0);
}

TEST(Intersections, SlopedLinesThroughACircle) {
  CPoint3d a0;
  CPoint3d a1;
  // y = 3: (+-4, 3), the larger x first; the centre's z is not taken.
  ASSERT_EQ(IntersectLineCircle({-10, 3, 0}, {10, 3, 0}, {0, 0, 2}, 5, a0, a1), 2);
  ExpectPoint(a0, 4, 3, 0);
  ExpectPoint(a1, -4, 3, 0);
  // x - y = 5 cuts the circle at (5, 0) and (0, -5), in either order of the
  // line's points.
  ASSERT_EQ(IntersectLineCircle({-1, -6, 0}, {7, 2, 0}, {0, 0, 0}, 5, a0, a1), 2);
  ExpectPoint(a0, 5, 0, 0);
  ExpectPoint(a1, 0, -5, 0);
  ASSERT_EQ(IntersectLineCircle({7, 2, 0}, {-1, -6, 0}, {0, 0, 0}, 5, a0, a1), 2);
  ExpectPoint(a0, 5, 0, 0);
  ExpectPoint(a1, 0, -5, 0);
  // x + y = 5 sqrt 2 touches at (5 / sqrt 2, 5 / sqrt 2). The rounding of
  // the distance is magnified by the square root of a tangency: the two
  // points lie within 1e-7 of the touching point.
  const double t = 5 / std::sqrt(2.0);
  ASSERT_EQ(IntersectLineCircle({0, 2 * t, 0}, {2 * t, 0, 0}, {0, 0, 0}, 5, a0, a1), 2);
  for (const CPoint3d& p : {a0, a1}) {
    EXPECT_NEAR(p.x, t, 1e-7);
    EXPECT_NEAR(p.y, t, 1e-7);
  }
  // A steep line, 1e-5 from vertical but beyond 2^-23: still on the circle.
  ASSERT_EQ(IntersectLineCircle({3, -100, 0}, {3.002, 100, 0}, {0, 0, 0}, 5, a0, a1), 2);
  for (const CPoint3d& p : {a0, a1}) {
    EXPECT_NEAR(std::hypot(p.x, p.y), 5, 1e-9);
    EXPECT_NEAR(p.x, 3 + (p.y + 100) * 0.002 / 200, 1e-9);
  }
}

TEST(Intersections, LinesThatMissOrHaveNoDirectionGiveNoPoint) {
  CPoint3d a0 = kUnset;
  CPoint3d a1 = kUnset;
  // y = x + 10 passes 7.07 from the centre: no crossing, although both of
  // its given points lie at heights inside the circle's span.
  EXPECT_EQ(IntersectLineCircle({-8, 2, 0}, {-6, 4, 0}, {0, 0, 0}, 5, a0, a1), 0);
  EXPECT_EQ(IntersectLineCircle({-6, 4, 0}, {-8, 2, 0}, {0, 0, 0}, 5, a0, a1), 0);
  // A line of one point (a move without length) has no direction.
  EXPECT_EQ(IntersectLineCircle({3, 0, 0}, {3, 0, 5}, {0, 0, 0}, 5, a0, a1), 0);
  EXPECT_EQ(IntersectLineCircle({5, 0, 0}, {5, 0, 0}, {0, 0, 0}, 5, a0, a1), 0);
  ExpectPoint(a0, kUnset);
  ExpectPoint(a1, kUnset);
}

TEST(Intersections, NearerCandidateAndArcSides) {
  const CPoint3d a(0, 0, 0);
  const CPoint3d b(2, 0, 0);
  EXPECT_EQ(&NearerCandidate(a, b, {0.5, 0, 0}), &a);
  EXPECT_EQ(&NearerCandidate(a, b, {1.5, 0, 0}), &b);
  EXPECT_EQ(&NearerCandidate(a, b, {1, 5, 0}), &b);  // a tie: the second

  CGraphicCircle cw;
  cw.m_clockwise = true;
  CGraphicCircle ccw;
  // Left of a clockwise arc is outside, left of a counter-clockwise one inside.
  EXPECT_EQ(ArcOffsetForSide(cw, 2, 0), 2);
  EXPECT_EQ(ArcOffsetForSide(cw, 2, 1), -2);
  EXPECT_EQ(ArcOffsetForSide(ccw, 2, 0), -2);
  EXPECT_EQ(ArcOffsetForSide(ccw, -2, 1), 2);
}

}  // namespace
}  // namespace quillet::test
