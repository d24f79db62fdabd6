// The four corner solvers on single corners worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "CompFixture.h"
#include "mod_gcode/GCCode/Compensation.h"

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

TEST(LineLine, CornersOfOffsetLines) {
  // Along +X then +Y, offset 1 to the left: they meet at (9, 1).
  CGraphic a = Line({0, 0, 0}, {10, 0, 0});
  CGraphic b = Line({10, 0, 0}, {10, 10, 0});
  CPoint3d k = kUnset;
  CGCCompensation s1(a, b, 1.0, k);
  EXPECT_TRUE(s1.IsValid());
  ExpectPoint(k, 9, 1, 0);
  // The elements were offset in place.
  ExpectPoint(a.m_end, 10, 1, 0);
  ExpectPoint(b.m_start, 9, 0, 0);
  // To the right: (11, -1).
  a = Line({0, 0, 0}, {10, 0, 0});
  b = Line({10, 0, 0}, {10, 10, 0});
  CGCCompensation s2(a, b, -1.0, k);
  EXPECT_TRUE(s2.IsValid());
  ExpectPoint(k, 11, -1, 0);
  // An obtuse corner: +X, then up and to the left at 135 degrees. Offset
  // lines y = 1 and x + y = 10 - sqrt 2 meet at (9 - sqrt 2, 1).
  a = Line({0, 0, 0}, {10, 0, 0});
  b = Line({10, 0, 0}, {5, 5, 0});
  CGCCompensation s3(a, b, 1.0, k);
  ExpectPoint(k, 9 - std::sqrt(2.0), 1, 0);
}

TEST(LineLine, StraightOnReversalHeightAndNoLength) {
  // Straight on: coincident, the corner is B's offset start.
  CGraphic a = Line({0, 0, 0}, {10, 0, 0});
  CGraphic b = Line({10, 0, 0}, {20, 0, 0});
  CPoint3d k = kUnset;
  CGCCompensation straight(a, b, 1.0, k);
  EXPECT_TRUE(straight.IsValid());
  ExpectPoint(k, 10, 1, 0);
  // Reversal: parallel; the caller's x and y stay, z becomes A's end z.
  a = Line({0, 0, 3}, {10, 0, 3});
  b = Line({10, 0, 3}, {0, 0, 3});
  k = CPoint3d(5, 5, 9);
  CGCCompensation reversal(a, b, 1.0, k);
  EXPECT_TRUE(reversal.IsValid());
  ExpectPoint(k, 5, 5, 3);
  // A line that changes height cannot be solved: the corner stays.
  a = Line({0, 0, 0}, {10, 0, -2});
  b = Line({10, 0, -2}, {10, 10, -2});
  k = kUnset;
  CGCCompensation ramp(a, b, 1.0, k);
  EXPECT_FALSE(ramp.IsValid());
  ExpectPoint(k, kUnset);
  // A without length: the corner is where B's offset starts.
  a = Line({10, 0, 0}, {10, 0, 0});
  b = Line({10, 0, 0}, {10, 10, 0});
  CGCCompensation empty(a, b, 1.0, k);
  EXPECT_TRUE(empty.IsValid());
  ExpectPoint(k, 9, 0, 0);
}

TEST(ArcArc, CornerOfTwoOffsetArcs) {
  // A: counter-clockwise around the origin, radius 4, from (4, 0) to where it
  // meets B (clockwise around (8, 0), radius 6): x = 2.75, y = sqrt 8.4375.
  // On the right side A grows to 5 and B shrinks to 5: they cross at
  // (4, +-3); (4, 3) is the one near A's offset end.
  const CPoint3d joint(2.75, std::sqrt(8.4375), 0);
  CGraphicCircle a = Arc({4, 0, 0}, joint, {0, 0, 0}, false);
  CGraphicCircle b = Arc(joint, {14, 0, 0}, {8, 0, 0}, true);
  CPoint3d k = kUnset;
  CGCCompensationC2C s(a, b, 1.0, 1, {5, 0, 0}, k);
  EXPECT_TRUE(s.IsValid());
  ExpectPoint(k, 4, 3, 0);
  EXPECT_NEAR(a.m_radius, 5, 1e-12);
  EXPECT_NEAR(b.m_radius, 5, 1e-12);
  // A now runs from the given start to the corner, still counter-clockwise.
  ExpectPoint(a.m_start, 5, 0, 0);
  ExpectPoint(a.m_end, 4, 3, 0);
  EXPECT_FALSE(a.m_clockwise);
  EXPECT_NEAR(a.m_sweep, std::atan2(3.0, 4.0), 1e-12);
}

TEST(ArcArc, SameCircleAndCirclesApart) {
  // Two quarters of one circle: after the offset still one circle; the
  // corner is B's offset start.
  CGraphicCircle a = Arc({5, 0, 0}, {0, 5, 0}, {0, 0, 0}, false);
  CGraphicCircle b = Arc({0, 5, 0}, {-5, 0, 0}, {0, 0, 0}, false);
  CPoint3d k = kUnset;
  CGCCompensationC2C same(a, b, 1.0, 0, {4, 0, 0}, k);
  EXPECT_TRUE(same.IsValid());
  ExpectPoint(k, 0, 4, 0);
  EXPECT_NEAR(a.m_sweep, kPi / 2, 1e-12);

  // Offset circles too far apart: not solved, corner and arc start kept.
  a = Arc({4, 0, 0}, {0, 4, 0}, {0, 0, 0}, false);
  b = Arc({19, 0, 0}, {21, 0, 0}, {20, 0, 0}, false);
  k = kUnset;
  CGCCompensationC2C apart(a, b, 0.5, 0, {9, 9, 0}, k);
  EXPECT_FALSE(apart.IsValid());
  ExpectPoint(k, kUnset);
  ExpectPoint(a.m_start, 3.5, 0, 0);  // offset, not moved to the given start
  // Nested after the offset: equally not solved.
  a = Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, false);
  b = Arc({0, 0, 0}, {2, 0, 0}, {1, 0, 0}, true);
  k = kUnset;
  CGCCompensationC2C nested(a, b, 0.5, 0, {9, 9, 0}, k);
  EXPECT_FALSE(nested.IsValid());
  ExpectPoint(k, kUnset);
}

TEST(ArcLine, TangentAndCrossingExits) {
  // Counter-clockwise quarter to (5, 0), then up x = 5 (tangent).
  for (short side : {0, 1}) {
    const double r = side == 0 ? 1.0 : -1.0;
    const double x = side == 0 ? 4.0 : 6.0;  // inside or outside
    CGraphicCircle a = Arc({0, -5, 0}, {5, 0, 0}, {0, 0, 0}, false);
    CGraphic l = Line({5, 0, 0}, {5, 10, 0});
    CPoint3d k = kUnset;
    CGCCompensationC2L s(a, l, r, side, {0, -x, 0}, k, true);
    EXPECT_TRUE(s.IsValid()) << side;
    ExpectPoint(k, x, 0, 0);
    ExpectPoint(l.m_start, x, 0, 0);
    EXPECT_NEAR(a.m_sweep, kPi / 2, 1e-12) << side;
  }
  // A clockwise arc keeps its direction: quarter from (0, 5) to (5, 0),
  // then down; left is outside, radius 6, the exit line at x = 6.
  CGraphicCircle cw = Arc({0, 5, 0}, {5, 0, 0}, {0, 0, 0}, true);
  CGraphic down = Line({5, 0, 0}, {5, -10, 0});
  CPoint3d k = kUnset;
  CGCCompensationC2L s(cw, down, 1.0, 0, {0, 6, 0}, k, true);
  EXPECT_TRUE(s.IsValid());
  ExpectPoint(k, 6, 0, 0);
  EXPECT_TRUE(cw.m_clockwise);
  EXPECT_NEAR(cw.m_sweep, -kPi / 2, 1e-12);

  // To (3, 4), then along +X. Right side: radius 6, line y = 3, crossing
  // at (sqrt 27, 3) near the arc's end.
  CGraphicCircle a = Arc({0, -5, 0}, {3, 4, 0}, {0, 0, 0}, false);
  CGraphic l = Line({3, 4, 0}, {13, 4, 0});
  k = kUnset;
  CGCCompensationC2L right(a, l, -1.0, 1, {0, -6, 0}, k, true);
  EXPECT_TRUE(right.IsValid());
  ExpectPoint(k, std::sqrt(27.0), 3, 0);
  // Left side: radius 4 and y = 5 do not meet; the corner stays.
  a = Arc({0, -5, 0}, {3, 4, 0}, {0, 0, 0}, false);
  l = Line({3, 4, 0}, {13, 4, 0});
  k = kUnset;
  CGCCompensationC2L left(a, l, 1.0, 0, {0, -4, 0}, k, true);
  EXPECT_FALSE(left.IsValid());
  ExpectPoint(k, kUnset);
}

TEST(ArcLine, LineWithoutLengthAndFullCircle) {
  // A line of no length at the arc's end: the corner is the arc's offset end.
  CGraphicCircle a = Arc({0, -5, 0}, {5, 0, 0}, {0, 0, 0}, false);
  CGraphic l = Line({5, 0, 0}, {5, 0, 0});
  CPoint3d k = kUnset;
  CGCCompensationC2L s(a, l, 1.0, 0, {0, -4, 0}, k, true);
  EXPECT_TRUE(s.IsValid());
  ExpectPoint(k, 4, 0, 0);
  ExpectPoint(a.m_start, 0, -4, 0);

  // A full counter-clockwise circle around (5, 0) from (0, 0): on the left
  // the cutter is inside (radius 4). A vertical exit line from the circle's
  // end takes the offset start (1, 0); a sloped one meets the circle there
  // as well.
  CGraphicCircle full = Arc({0, 0, 0}, {0, 0, 0}, {5, 0, 0}, false);
  ASSERT_NEAR(full.m_sweep, 2 * kPi, 1e-12);
  CGraphic up = Line({0, 0, 0}, {0, 10, 0});
  k = kUnset;
  CGCCompensationC2L vertical(full, up, 1.0, 0, {9, 9, 0}, k, true);
  ExpectPoint(k, 1, 0, 0);
  full = Arc({0, 0, 0}, {0, 0, 0}, {5, 0, 0}, false);
  CGraphic away = Line({0, 0, 0}, {-10, -1, 0});
  k = kUnset;
  CGCCompensationC2L sloped(full, away, 1.0, 0, {1, 0, 0}, k, true);
  EXPECT_TRUE(sloped.IsValid());
  EXPECT_NEAR(std::hypot(k.x - 5, k.y), 4, 1e-9);
  EXPECT_LT(k.x, 2);
}

TEST(LineArc, CornersWithTheNextArc) {
  // +X to (10, 0), then counter-clockwise around (10, 5): tangent. Left:
  // y = 1 touches radius 4 at (10, 1); right: y = -1 touches radius 6 at
  // (10, -1).
  for (short side : {0, 1}) {
    const double r = side == 0 ? 1.0 : -1.0;
    CGraphic l = Line({0, 0, 0}, {10, 0, 0});
    CGraphicCircle a = Arc({10, 0, 0}, {15, 5, 0}, {10, 5, 0}, false);
    CPoint3d k = kUnset;
    CGCCompensationL2C s(l, a, r, side, {0, r, 0}, k, true);
    EXPECT_TRUE(s.IsValid()) << side;
    ExpectPoint(k, 10, r, 0);
  }
  // An arc around (13, 4) leaving (10, 0) down and to the right: left, the
  // line y = 1 crosses radius 4 at 13 +- sqrt 7; the one near the arc's
  // start.
  CGraphic l = Line({0, 0, 0}, {10, 0, 0});
  CGraphicCircle a = Arc({10, 0, 0}, {18, 4, 0}, {13, 4, 0}, false);
  CPoint3d k = kUnset;
  CGCCompensationL2C crossing(l, a, 1.0, 0, {0, 1, 0}, k, true);
  EXPECT_TRUE(crossing.IsValid());
  ExpectPoint(k, 13 - std::sqrt(7.0), 1, 0);
  // Without offsetting the line: the radial line from the centre to the
  // arc's start meets the offset circle at the arc's offset start.
  CGraphic radial = Line({10, 5, 0}, {10, 0, 0});
  a = Arc({10, 0, 0}, {15, 5, 0}, {10, 5, 0}, false);
  k = kUnset;
  CGCCompensationL2C startup(radial, a, 1.0, 0, {10, 0, 0}, k, false);
  EXPECT_TRUE(startup.IsValid());
  ExpectPoint(k, 10, 1, 0);
  // A line that does not reach the offset circle: not solved.
  l = Line({0, 20, 0}, {10, 20, 0});
  a = Arc({10, 0, 0}, {15, 5, 0}, {10, 5, 0}, false);
  k = kUnset;
  CGCCompensationL2C miss(l, a, 1.0, 0, {0, 21, 0}, k, true);
  EXPECT_FALSE(miss.IsValid());
  ExpectPoint(k, kUnset);
}

TEST(LineArc, FullCircleTakesTheSideOfItsDirection) {
  // Along +X into a full counter-clockwise circle around (5, 0) from the
  // origin: left of the travel is inside (radius 4), right outside (6).
  // The approach line is not offset: y = 0 meets them at x = 1 and x = -1.
  for (short side : {0, 1}) {
    CGraphic l = Line({-10, 0, 0}, {0, 0, 0});
    CGraphicCircle full = Arc({0, 0, 0}, {0, 0, 0}, {5, 0, 0}, false);
    CPoint3d k = kUnset;
    CGCCompensationL2C s(l, full, side == 0 ? 1.0 : -1.0, side, {0, 0, 0}, k, true);
    EXPECT_TRUE(s.IsValid());
    ExpectPoint(k, side == 0 ? 1 : -1, 0, 0);
    EXPECT_NEAR(full.m_radius, side == 0 ? 4 : 6, 1e-12);
  }
  // The same circle clockwise: left is outside.
  CGraphic l = Line({-10, 0, 0}, {0, 0, 0});
  CGraphicCircle full = Arc({0, 0, 0}, {0, 0, 0}, {5, 0, 0}, true);
  CPoint3d k = kUnset;
  CGCCompensationL2C s(l, full, 1.0, 0, {0, 0, 0}, k, true);
  ExpectPoint(k, -1, 0, 0);
}

}  // namespace
}  // namespace quillet::test
