// Arcs divided into 5-degree chords: point counts, positions, helix heights,
// the planes' frames, and the bounds on runaway sweeps.
#include <cmath>
#include <limits>
#include <vector>

#include "mod_gcode/geometry/Profile.h"
#include "tests/geometry/GeomTestUtil.h"

namespace quillet {
namespace {

using test::ExpectPointNear;

constexpr double kCos5 = 0.99619469809174553;   // cos 5 degrees
constexpr double kSin5 = 0.087155742747658174;  // sin 5 degrees
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

CGraphicCircle Arc(const CPoint3d& start, const CPoint3d& end, const CPoint3d& centre, double sweep,
                   short plane = kPlaneXY) {
  return CGraphicCircle(start, end, centre, {0, 0, 0}, 0.0, sweep, sweep < 0, plane);
}

std::vector<CPoint3d> Points(const CGraphicCircle& arc) {
  std::vector<CPoint3d> out;
  AppendArcPoints(arc, out);
  return out;
}

TEST(ArcStepCount, WholeStepsSurviveRoundingAndRunawaySweepsAreBounded) {
  EXPECT_EQ(ArcStepCount(kPi / 2 - 1e-12), 18);
  EXPECT_EQ(ArcStepCount(-2 * kPi), 72);
  EXPECT_EQ(ArcStepCount(DegToRad(5) - 1e-6), 0);
  EXPECT_EQ(ArcStepCount(kNaN), -1);
  EXPECT_EQ(ArcStepCount(std::numeric_limits<double>::infinity()), -1);
  EXPECT_EQ(ArcStepCount(1e300), 72);
  EXPECT_EQ(ArcStepCount(-40.0), 72);
  EXPECT_TRUE(Points(Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, kNaN)).empty());
  EXPECT_EQ(Points(Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, 1e300)).size(), 75u);
}

TEST(Tessellate, QuarterArcAppendsAfterWhatIsThere) {
  std::vector<CPoint3d> p{{-1, -1, -1}};
  AppendArcPoints(Arc({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, kPi / 2), p);
  // 19 points at 0 to 90 degrees, the end-angle point and the end point.
  ASSERT_EQ(p.size(), 22u);
  EXPECT_EQ(p[0], CPoint3d(-1, -1, -1));
  ExpectPointNear(p[1], 10, 0, 0);
  ExpectPointNear(p[2], 10 * kCos5, 10 * kSin5, 0);
  ExpectPointNear(p[20], 0, 10, 0);
  EXPECT_EQ(p[21], CPoint3d(0, 10, 0));
}

TEST(Tessellate, ClockwiseFullCircleDescendingHelix) {
  // A full clockwise turn around (5, -3) going down 7.2: 0.1 per step.
  const std::vector<CPoint3d> p = Points(Arc({15, -3, 5}, {15, -3, -2.2}, {5, -3, 0}, -2 * kPi));
  ASSERT_EQ(p.size(), 75u);  // 73 points from 0 to 360 degrees, then two
  ExpectPointNear(p[1], 5 + 10 * kCos5, -3 - 10 * kSin5, 4.9);
  ExpectPointNear(p[18], 5, -13, 3.2);
  ExpectPointNear(p[36], -5, -3, 1.4);
  ExpectPointNear(p[54], 5, 7, -0.4);
  ExpectPointNear(p[72], 15, -3, -2.2);
  EXPECT_EQ(p[74], CPoint3d(15, -3, -2.2));
}

TEST(Tessellate, TinyArcIsThreePoints) {
  // 2e-5 radians on radius 50: no whole step, so the start, the end-angle
  // point and the end; a helix reaches the end's height at the end angle.
  const std::vector<CPoint3d> p = Points(Arc({50, 0, 1}, {50, 0.001, 3}, {0, 0, 0}, 2e-5));
  ASSERT_EQ(p.size(), 3u);
  ExpectPointNear(p[0], 50, 0, 1);
  ExpectPointNear(p[1], 50 - 1e-8, 0.001, 3, 1e-12);  // 50 cos 2e-5, 50 sin 2e-5
  EXPECT_EQ(p[2], CPoint3d(50, 0.001, 3));
}

TEST(Tessellate, OtherPlanesMapBackToMachineAxes) {
  // A quarter arc in the frame from (10, 0) to (0, 10), rising 5 along the
  // frame's z. Plane 1's frame is machine (X, Z, Y), plane 2's (Z, Y, X).
  const std::vector<CPoint3d> zx = Points(Arc({10, 0, 0}, {0, 10, 5}, {0, 0, 0}, kPi / 2, kPlaneZX));
  ASSERT_EQ(zx.size(), 21u);
  ExpectPointNear(zx[1], 10 * kCos5, 5.0 / 18, 10 * kSin5);
  EXPECT_EQ(zx[20], CPoint3d(0, 5, 10));
  const std::vector<CPoint3d> yz = Points(Arc({10, 0, 0}, {0, 10, 5}, {0, 0, 0}, kPi / 2, kPlaneYZ));
  ASSERT_EQ(yz.size(), 21u);
  ExpectPointNear(yz[1], 5.0 / 18, 10 * kSin5, 10 * kCos5);
  EXPECT_EQ(yz[20], CPoint3d(5, 10, 0));
}

}  // namespace
}  // namespace quillet
