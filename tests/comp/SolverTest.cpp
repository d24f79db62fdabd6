// The planar intersections and the four corner solvers on figures whose
// crossings and corners are worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "ProgramFixture.h"
#include "mod_gcode/geometry/Compensation.h"

namespace quillet::test {
namespace {

const CPoint3d kUnset(-77, -77, -77);

CGraphic Line(const CPoint3d& a, const CPoint3d& b) { return CGraphic(a, b, kPlaneXY); }

// A solved arc around `centre` from `start` to `end`.
CGraphicCircle Arc(const CPoint3d& start, const CPoint3d& end, const CPoint3d& centre, bool clockwise) {
  CGraphicCircle c(start, end, centre, centre - start, std::hypot(start.x - centre.x, start.y - centre.y), 0.0,
                   clockwise, kPlaneXY);
  c.ComputeSweep();
  return c;
}

TEST(Intersections, CirclesWithCentresOneAboveTheOtherOrConcentric) {
  // r 5 around (0, 0) and (0, 8), no slope of the centre line: (+-3, 4); a
  // negative radius counts by its magnitude.
  CPoint3d a0 = kUnset, a1 = kUnset;
  ASSERT_EQ(IntersectCircles({0, 0, 0}, -5, {0, 8, 0}, 5, a0, a1), kCirclesCross);
  EXPECT_NEAR(a0.y, 4, 1e-9);
  EXPECT_NEAR(a1.y, 4, 1e-9);
  EXPECT_NEAR(a0.x * a1.x, -9, 1e-9);
  a0 = a1 = kUnset;
  EXPECT_EQ(IntersectCircles({2, 2, 0}, 5, {2, 2, 0}, 3, a0, a1), kCirclesApart);
  EXPECT_EQ(IntersectCircles({2, 2, 0}, 5, {2, 2, 0}, 5, a0, a1), kCirclesSame);
  ExpectPoint(a0, kUnset);
  ExpectPoint(a1, kUnset);
}

TEST(Intersections, LinesThroughACircleOfRadiusFive) {
  struct Row { CPoint3d p, q, centre; int count; CPoint3d a0, a1; };
  const Row rows[] = {
      {{3, -10, 0}, {3, 10, 0}, {0, 0, 0}, 2, {3, 4, 0}, {3, -4, 0}},        // vertical x = 3
      {{5, -10, 0}, {5, 10, 0}, {0, 0, 0}, 2, {5, 0, 0}, {5, 0, 0}},         // tangent: the point twice
      {{6, -10, 0}, {6, 10, 0}, {0, 0, 0}, 0, kUnset, kUnset},
      {{-10, 3, 0}, {10, 3, 0}, {0, 0, 2}, 2, {4, 3, 0}, {-4, 3, 0}},        // larger x first, no centre z
      {{7, 2, 0}, {-1, -6, 0}, {0, 0, 0}, 2, {5, 0, 0}, {0, -5, 0}},         // x - y = 5
      // y = x + 10 passes 7.07 from the centre, although both of its given
      // points lie at heights inside the circle's span.
      {{-8, 2, 0}, {-6, 4, 0}, {0, 0, 0}, 0, kUnset, kUnset},
      {{3, 0, 0}, {3, 0, 5}, {0, 0, 0}, 0, kUnset, kUnset},  // no direction in the plane
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.p.x << "," << r.p.y << " " << r.q.x << "," << r.q.y);
    CPoint3d a0 = kUnset, a1 = kUnset;
    ASSERT_EQ(IntersectLineCircle(r.p, r.q, r.centre, 5, a0, a1), r.count);
    ExpectPoint(a0, r.a0);
    ExpectPoint(a1, r.a1);
  }
}

TEST(LineLine, CornersStraightOnReversalRampAndNoLength) {
  // Along +X then +Y, offset 1 to the left: they meet at (9, 1), and the
  // elements were offset in place.
  CGraphic a = Line({0, 0, 0}, {10, 0, 0}), b = Line({10, 0, 0}, {10, 10, 0});
  CPoint3d k = kUnset;
  EXPECT_TRUE(CGCCompensation(a, b, 1.0, k).IsValid());
  ExpectPoint(k, 9, 1, 0);
  ExpectPoint(a.m_end, 10, 1, 0);
  ExpectPoint(b.m_start, 9, 0, 0);
  // Straight on: coincident, the corner is B's offset start.
  a = Line({0, 0, 0}, {10, 0, 0});
  b = Line({10, 0, 0}, {20, 0, 0});
  EXPECT_TRUE(CGCCompensation(a, b, 1.0, k).IsValid());
  ExpectPoint(k, 10, 1, 0);
  // Reversal: parallel; the caller's x and y stay, z becomes A's end z.
  a = Line({0, 0, 3}, {10, 0, 3});
  b = Line({10, 0, 3}, {0, 0, 3});
  k = CPoint3d(5, 5, 9);
  EXPECT_TRUE(CGCCompensation(a, b, 1.0, k).IsValid());
  ExpectPoint(k, 5, 5, 3);
  // A line that changes height cannot be solved: the corner stays.
  a = Line({0, 0, 0}, {10, 0, -2});
  b = Line({10, 0, -2}, {10, 10, -2});
  k = kUnset;
  EXPECT_FALSE(CGCCompensation(a, b, 1.0, k).IsValid());
  ExpectPoint(k, kUnset);
  // A without length: the corner is where B's offset starts.
  a = Line({10, 0, 0}, {10, 0, 0});
  b = Line({10, 0, 0}, {10, 10, 0});
  EXPECT_TRUE(CGCCompensation(a, b, 1.0, k).IsValid());
  ExpectPoint(k, 9, 0, 0);
}

TEST(ArcArc, CornerSameCircleAndCirclesApartOrNested) {
  // A: counter-clockwise around the origin, radius 4, from (4, 0) to where it
  // meets B (clockwise around (8, 0), radius 6): x = 2.75, y = sqrt 8.4375.
  // On the right side A grows to 5 and B shrinks to 5: they cross at
  // (4, +-3); (4, 3) is the one near A's offset end. A then runs from the
  // given start to the corner.
  const CPoint3d joint(2.75, std::sqrt(8.4375), 0);
  CGraphicCircle a = Arc({4, 0, 0}, joint, {0, 0, 0}, false), b = Arc(joint, {14, 0, 0}, {8, 0, 0}, true);
  CPoint3d k = kUnset;
  EXPECT_TRUE(CGCCompensationC2C(a, b, 1.0, 1, {5, 0, 0}, k).IsValid());
  ExpectPoint(k, 4, 3, 0);
  EXPECT_NEAR(b.m_radius, 5, 1e-12);
  ExpectPoint(a.m_start, 5, 0, 0);
  ExpectPoint(a.m_end, 4, 3, 0);
  EXPECT_NEAR(a.m_sweep, std::atan2(3.0, 4.0), 1e-12);
  // Two quarters of one circle: the corner is B's offset start.
  a = Arc({5, 0, 0}, {0, 5, 0}, {0, 0, 0}, false);
  b = Arc({0, 5, 0}, {-5, 0, 0}, {0, 0, 0}, false);
  EXPECT_TRUE(CGCCompensationC2C(a, b, 1.0, 0, {4, 0, 0}, k).IsValid());
  ExpectPoint(k, 0, 4, 0);
  // Offset circles too far apart, or nested: not solved, corner kept, A
  // offset but not moved to the given start.
  a = Arc({4, 0, 0}, {0, 4, 0}, {0, 0, 0}, false);
  b = Arc({19, 0, 0}, {21, 0, 0}, {20, 0, 0}, false);
  k = kUnset;
  EXPECT_FALSE(CGCCompensationC2C(a, b, 0.5, 0, {9, 9, 0}, k).IsValid());
  ExpectPoint(a.m_start, 3.5, 0, 0);
  a = Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, false);
  b = Arc({0, 0, 0}, {2, 0, 0}, {1, 0, 0}, true);
  EXPECT_FALSE(CGCCompensationC2C(a, b, 0.5, 0, {9, 9, 0}, k).IsValid());
  ExpectPoint(k, kUnset);
}

TEST(ArcLine, CrossingMissingAndLineWithoutLength) {
  // To (3, 4), then along +X. Right: radius 6 and y = 3 cross at
  // (sqrt 27, 3); left: radius 4 and y = 5 do not meet, the corner stays.
  CGraphicCircle a = Arc({0, -5, 0}, {3, 4, 0}, {0, 0, 0}, false);
  CGraphic l = Line({3, 4, 0}, {13, 4, 0});
  CPoint3d k = kUnset;
  EXPECT_TRUE(CGCCompensationC2L(a, l, -1.0, 1, {0, -6, 0}, k, true).IsValid());
  ExpectPoint(k, std::sqrt(27.0), 3, 0);
  a = Arc({0, -5, 0}, {3, 4, 0}, {0, 0, 0}, false);
  l = Line({3, 4, 0}, {13, 4, 0});
  k = kUnset;
  EXPECT_FALSE(CGCCompensationC2L(a, l, 1.0, 0, {0, -4, 0}, k, true).IsValid());
  ExpectPoint(k, kUnset);
  // A line of no length at the arc's end: the corner is the arc's offset end.
  a = Arc({0, -5, 0}, {5, 0, 0}, {0, 0, 0}, false);
  l = Line({5, 0, 0}, {5, 0, 0});
  EXPECT_TRUE(CGCCompensationC2L(a, l, 1.0, 0, {0, -4, 0}, k, true).IsValid());
  ExpectPoint(k, 4, 0, 0);
}

TEST(LineArc, CrossingAndFullCircleEntries) {
  // Around (13, 4), leaving (10, 0) down and to the right: y = 1 crosses
  // radius 4 at 13 +- sqrt 7; the one near the arc's start.
  CGraphic l = Line({0, 0, 0}, {10, 0, 0});
  CGraphicCircle a = Arc({10, 0, 0}, {18, 4, 0}, {13, 4, 0}, false);
  CPoint3d k = kUnset;
  EXPECT_TRUE(CGCCompensationL2C(l, a, 1.0, 0, {0, 1, 0}, k, true).IsValid());
  ExpectPoint(k, 13 - std::sqrt(7.0), 1, 0);
  // Along +X into a full clockwise circle around (5, 0) from the origin:
  // left is outside, radius 6, met at x = -1.
  l = Line({-10, 0, 0}, {0, 0, 0});
  a = Arc({0, 0, 0}, {0, 0, 0}, {5, 0, 0}, true);
  EXPECT_TRUE(CGCCompensationL2C(l, a, 1.0, 0, {0, 0, 0}, k, true).IsValid());
  ExpectPoint(k, -1, 0, 0);
  EXPECT_NEAR(a.m_radius, 6, 1e-12);
}

}  // namespace
}  // namespace quillet::test
