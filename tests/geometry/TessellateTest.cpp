// Arcs divided into 5-degree chords: point counts, positions, helix heights,
// the three planes, and the bounds on runaway sweeps.
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "mod_gcode/GCCode/Profile.h"
#include "tests/geometry/GeomTestUtil.h"

namespace quillet {
namespace {

using test::ExpectPointNear;

constexpr double kCos5 = 0.99619469809174553;   // cos 5 degrees
constexpr double kSin5 = 0.087155742747658174;  // sin 5 degrees
constexpr double kHalfSqrt2 = 0.70710678118654752;

CGraphicCircle Arc(const CPoint3d& start, const CPoint3d& end, const CPoint3d& centre, double sweep,
                   short plane = kPlaneXY) {
  return CGraphicCircle(start, end, centre, {0, 0, 0}, 0.0, sweep, sweep < 0, plane);
}

std::vector<CPoint3d> Points(const CGraphicCircle& arc) {
  std::vector<CPoint3d> out;
  AppendArcPoints(arc, out);
  return out;
}

TEST(ArcStepCount, WholeStepsSurviveRounding) {
  EXPECT_EQ(ArcStepCount(kPi / 2), 18);
  EXPECT_EQ(ArcStepCount(kPi / 2 - 1e-12), 18);
  EXPECT_EQ(ArcStepCount(-kPi), 36);
  EXPECT_EQ(ArcStepCount(3 * kPi / 2), 54);
  EXPECT_EQ(ArcStepCount(2 * kPi), 72);
  EXPECT_EQ(ArcStepCount(-2 * kPi), 72);
  EXPECT_EQ(ArcStepCount(DegToRad(5)), 1);
  EXPECT_EQ(ArcStepCount(DegToRad(5) - 1e-6), 0);
  EXPECT_EQ(ArcStepCount(0.0), 0);
}

TEST(ArcStepCount, RunawaySweepsAreBounded) {
  EXPECT_EQ(ArcStepCount(std::numeric_limits<double>::quiet_NaN()), -1);
  EXPECT_EQ(ArcStepCount(std::numeric_limits<double>::infinity()), -1);
  EXPECT_EQ(ArcStepCount(1e300), 72);
  EXPECT_EQ(ArcStepCount(-40.0), 72);

  EXPECT_EQ(Points(Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, std::numeric_limits<double>::quiet_NaN())).size(), 0u);
  EXPECT_EQ(Points(Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, 1e300)).size(), 75u);
}

TEST(Tessellate, QuarterArc) {
  const std::vector<CPoint3d> p = Points(Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, kPi / 2));
  // 19 points at 0 to 90 degrees, the end-angle point and the end point.
  ASSERT_EQ(p.size(), 21u);
  ExpectPointNear(p[0], 10, 0, 0);
  ExpectPointNear(p[1], 10 * kCos5, 10 * kSin5, 0);
  ExpectPointNear(p[9], 10 * kHalfSqrt2, 10 * kHalfSqrt2, 0);
  ExpectPointNear(p[18], 0, 10, 0);
  ExpectPointNear(p[19], 0, 10, 0);
  EXPECT_EQ(p[20], CPoint3d(0, 10, 0));
  for (const CPoint3d& q : p) EXPECT_NEAR(std::hypot(q.x, q.y), 10, 1e-9);
}

TEST(Tessellate, FullCircleBothWays) {
  const std::vector<CPoint3d> ccw = Points(Arc({15, -3, 1}, {15, -3, 1}, {5, -3, 0}, 2 * kPi));
  ASSERT_EQ(ccw.size(), 75u);  // 73 points from 0 to 360 degrees, then two
  ExpectPointNear(ccw[0], 15, -3, 1);
  ExpectPointNear(ccw[18], 5, 7, 1);
  ExpectPointNear(ccw[36], -5, -3, 1);
  ExpectPointNear(ccw[54], 5, -13, 1);
  ExpectPointNear(ccw[72], 15, -3, 1);
  ExpectPointNear(ccw[73], 15, -3, 1);

  const std::vector<CPoint3d> cw = Points(Arc({15, -3, 1}, {15, -3, 1}, {5, -3, 0}, -2 * kPi));
  ASSERT_EQ(cw.size(), 75u);
  ExpectPointNear(cw[1], 5 + 10 * kCos5, -3 - 10 * kSin5, 1);
  ExpectPointNear(cw[18], 5, -13, 1);
  ExpectPointNear(cw[54], 5, 7, 1);
}

TEST(Tessellate, ClockwiseArcOverHalfACircle) {
  // Solved from (10, 0) to (0, 10) around the origin, clockwise: 270 degrees
  // through (0, -10) and (-10, 0).
  CGraphicCircle arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, {-10, 0, 0}, 0, 0, true, kPlaneXY);
  ASSERT_TRUE(arc.SolveByCentre());
  const std::vector<CPoint3d> p = Points(arc);
  ASSERT_EQ(p.size(), 57u);  // n = 54
  ExpectPointNear(p[18], 0, -10, 0);
  ExpectPointNear(p[36], -10, 0, 0);
  ExpectPointNear(p[54], 0, 10, 0);
  ExpectPointNear(p[55], 0, 10, 0);
  EXPECT_EQ(p[56], CPoint3d(0, 10, 0));
}

TEST(Tessellate, HelixClimbsEvenly) {
  const std::vector<CPoint3d> p = Points(Arc({10, 0, 0}, {0, 10, 9}, {0, 0, 0}, kPi / 2));
  ASSERT_EQ(p.size(), 21u);
  for (int i = 0; i <= 18; ++i) EXPECT_NEAR(p[i].z, 0.5 * i, 1e-12) << i;
  EXPECT_EQ(p[19].z, 9.0);
  EXPECT_EQ(p[20].z, 9.0);

  // A full clockwise turn going down 7.2: 0.1 per step.
  const std::vector<CPoint3d> down = Points(Arc({10, 0, 5}, {10, 0, -2.2}, {0, 0, 0}, -2 * kPi));
  ASSERT_EQ(down.size(), 75u);
  EXPECT_NEAR(down[10].z, 4.0, 1e-12);
  EXPECT_NEAR(down[72].z, -2.2, 1e-12);
  for (const CPoint3d& q : down) {
    EXPECT_LE(q.z, 5.0);
    EXPECT_GE(q.z, -2.2 - 1e-12);
  }
}

TEST(Tessellate, TinyArcIsThreePoints) {
  // 2e-5 radians on radius 50: no whole step, so the start, the end-angle
  // point and the end; a helix reaches the end's height at the end angle.
  const std::vector<CPoint3d> p = Points(Arc({50, 0, 1}, {50, 0.001, 3}, {0, 0, 0}, 2e-5));
  ASSERT_EQ(p.size(), 3u);
  ExpectPointNear(p[0], 50, 0, 1);
  // 50 cos 2e-5 = 50 - 1e-8; 50 sin 2e-5 = 0.001 - 7e-14.
  ExpectPointNear(p[1], 50 - 1e-8, 0.001, 3, 1e-12);
  EXPECT_EQ(p[2], CPoint3d(50, 0.001, 3));
}

TEST(Tessellate, AppendsAfterWhatIsThere) {
  std::vector<CPoint3d> out{{-1, -1, -1}};
  AppendArcPoints(Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, kPi / 2), out);
  AppendArcPoints(Arc({0, 10, 0}, {-10, 0, 0}, {0, 0, 0}, kPi / 2), out);
  ASSERT_EQ(out.size(), 43u);
  EXPECT_EQ(out[0], CPoint3d(-1, -1, -1));
  ExpectPointNear(out[1], 10, 0, 0);
  ExpectPointNear(out[22], 0, 10, 0);
  ExpectPointNear(out[42], -10, 0, 0);
}

TEST(Tessellate, ZxPlaneMapsBackWithHeightInY) {
  // Frame of plane 1: (x, y, z) = machine (X, Z, Y). Quarter arc in the
  // frame from (10, 0) to (0, 10), rising 5 along the frame's z.
  const std::vector<CPoint3d> p = Points(Arc({10, 0, 0}, {0, 10, 5}, {0, 0, 0}, kPi / 2, kPlaneZX));
  ASSERT_EQ(p.size(), 21u);
  ExpectPointNear(p[0], 10, 0, 0);
  ExpectPointNear(p[1], 10 * kCos5, 5.0 / 18, 10 * kSin5);
  ExpectPointNear(p[18], 0, 5, 10);
  EXPECT_EQ(p[20], CPoint3d(0, 5, 10));
}

TEST(Tessellate, YzPlaneMapsBackWithHeightInX) {
  // Frame of plane 2: (x, y, z) = machine (Z, Y, X).
  const std::vector<CPoint3d> p = Points(Arc({10, 0, 0}, {0, 10, 5}, {0, 0, 0}, kPi / 2, kPlaneYZ));
  ASSERT_EQ(p.size(), 21u);
  ExpectPointNear(p[0], 0, 0, 10);
  ExpectPointNear(p[1], 5.0 / 18, 10 * kSin5, 10 * kCos5);
  ExpectPointNear(p[18], 5, 10, 0);
  EXPECT_EQ(p[20], CPoint3d(5, 10, 0));
}

TEST(Tessellate, MachineArcThroughEachPlaneFrame) {
  // A half circle of radius 10 in each machine plane, 2 off that plane,
  // handed in as the instruction does: points and centre offset exchanged
  // into the plane's frame, solved there, drawn back in machine axes.
  struct Case {
    short plane;
    CPoint3d start, end, offset;  // machine axes
    int flat;                     // machine axis that stays at 2
  };
  const Case cases[] = {
      {kPlaneXY, {10, 0, 2}, {-10, 0, 2}, {-10, 0, 0}, 2},
      {kPlaneZX, {10, 2, 0}, {-10, 2, 0}, {-10, 0, 0}, 1},
      {kPlaneYZ, {2, 10, 0}, {2, -10, 0}, {0, -10, 0}, 0},
  };
  for (const Case& c : cases) {
    CGraphicCircle arc(SwapForPlane(c.start, c.plane), SwapForPlane(c.end, c.plane), {0, 0, 0},
                       SwapForPlane(c.offset, c.plane), 0, 0, false, c.plane);
    ASSERT_TRUE(arc.SolveByCentre()) << c.plane;
    const std::vector<CPoint3d> p = Points(arc);
    ASSERT_EQ(p.size(), 39u) << c.plane;  // n = 36
    EXPECT_EQ(p.front(), c.start);
    EXPECT_EQ(p.back(), c.end);
    for (const CPoint3d& q : p) {
      EXPECT_NEAR(q.At(c.flat), 2.0, 1e-12) << c.plane;
      EXPECT_NEAR(Length(q) * Length(q) - 4.0, 100.0, 1e-9) << c.plane;
    }
  }
}

TEST(Profile, CircleProfileHoldsAndAppendsItsPoints) {
  auto arc = std::make_unique<CGraphicCircle>(Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, kPi / 2, kPlaneZX));
  const std::vector<CPoint3d> expected = Points(*arc);
  CProfileCircle profile(std::move(arc), -1, 1.0f, {1, 0, 0});
  EXPECT_FLOAT_EQ(profile.m_style.r, 1.0f);
  EXPECT_FLOAT_EQ(profile.m_style.g, 0.0f);
  EXPECT_FLOAT_EQ(profile.m_style.a, 0.0f);
  EXPECT_FLOAT_EQ(profile.m_style.width, 1.0f);
  EXPECT_EQ(profile.m_style.kind, 3);
  EXPECT_EQ(profile.m_style.pattern, -1);

  std::vector<CPoint3d> out;
  profile.Tessellate(out);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(profile.m_points, expected);
  // A second call draws the arc again; the profile still holds one arc.
  profile.Tessellate(out);
  EXPECT_EQ(out.size(), 2 * expected.size());
  EXPECT_EQ(profile.m_points.size(), expected.size());
}

TEST(Profile, PlainProfileSwapsAddedPointsAndTessellatesNothing) {
  CProfile profile(std::make_unique<CGraphic>(CPoint3d(0, 0, 0), CPoint3d(1, 0, 0), kPlaneZX));
  EXPECT_EQ(profile.m_style.kind, 3);
  EXPECT_EQ(profile.m_style.pattern, -1);
  EXPECT_EQ(profile.m_style.width, 0.0f);
  profile.AddPoint({1, 2, 3});
  ASSERT_EQ(profile.m_points.size(), 1u);
  EXPECT_EQ(profile.m_points[0], CPoint3d(1, 3, 2));
  EXPECT_EQ(profile.m_style.count, 0);
  std::vector<CPoint3d> out;
  profile.Tessellate(out);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace quillet
