// Arc centres and sweeps: by radius, by centre offset, and the arc element's
// own operations.
#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "mod_gcode/GCCode/Geometry.h"
#include "tests/geometry/GeomTestUtil.h"

namespace quillet {
namespace {

using test::ExpectPointNear;

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// An arc from start to end with the given centre offset (I, J, K).
CGraphicCircle ArcByCentre(const CPoint3d& start, const CPoint3d& end, const CPoint3d& offset, bool clockwise) {
  return CGraphicCircle(start, end, {0, 0, 0}, offset, 0.0, 0.0, clockwise, kPlaneXY);
}

// An arc from start to end with radius R; the centre is left at a marker
// value so that a failed solve can be seen to leave it.
CGraphicCircle ArcByRadius(const CPoint3d& start, const CPoint3d& end, double radius, bool clockwise) {
  return CGraphicCircle(start, end, {-7, -7, -7}, {0, 0, 0}, radius, 0.25, clockwise, kPlaneXY);
}

TEST(ArcCentre, ChordEqualToDiameterGivesTheMidpoint) {
  double cx = 0, cy = 0;
  ASSERT_TRUE(Geometry::ArcCentre(0, 0, 2, 0, 1, true, cx, cy));
  EXPECT_NEAR(cx, 1, 1e-15);
  EXPECT_NEAR(cy, 0, 1e-15);
}

TEST(ArcCentre, SideDependsOnDirectionAndSignOfRadius) {
  // Chord (0, 0)-(2, 0), R 2: the centre is sqrt(4 - 1) from the midpoint.
  double cx = 0, cy = 0;
  ASSERT_TRUE(Geometry::ArcCentre(0, 0, 2, 0, 2, true, cx, cy));
  EXPECT_NEAR(cx, 1, 1e-12);
  EXPECT_NEAR(cy, -kSqrt3, 1e-12);
  ASSERT_TRUE(Geometry::ArcCentre(0, 0, 2, 0, -2, true, cx, cy));
  EXPECT_NEAR(cx, 1, 1e-12);
  EXPECT_NEAR(cy, kSqrt3, 1e-12);
  ASSERT_TRUE(Geometry::ArcCentre(0, 0, 2, 0, 2, false, cx, cy));
  EXPECT_NEAR(cy, kSqrt3, 1e-12);
  ASSERT_TRUE(Geometry::ArcCentre(0, 0, 2, 0, -2, false, cx, cy));
  EXPECT_NEAR(cy, -kSqrt3, 1e-12);
}

TEST(ArcCentre, RadiusTooSmallFailsWithinSlackSucceeds) {
  double cx = 42, cy = 43;
  EXPECT_FALSE(Geometry::ArcCentre(0, 0, 2, 0, 0.99, true, cx, cy));  // 2 - 1.98 > 0.000025
  EXPECT_EQ(cx, 42);
  EXPECT_EQ(cy, 43);
  // Chord 2 against diameter 1.9999998: inside the slack, h is capped at
  // |R| so the centre is the midpoint.
  ASSERT_TRUE(Geometry::ArcCentre(0, 0, 2, 0, 0.9999999, true, cx, cy));
  EXPECT_NEAR(cx, 1, 1e-12);
  EXPECT_NEAR(cy, 0, 1e-12);
  EXPECT_FALSE(Geometry::ArcCentre(0, 0, 2, 0, kNaN, true, cx, cy));
  EXPECT_FALSE(Geometry::ArcCentre(kNaN, 0, 2, 0, 5, true, cx, cy));
}

// Every row of the centre table, on unit-radius quarter arcs whose centres
// are corners of the unit square (worked out by drawing them).
struct CentreCase {
  double x1, y1, x2, y2;
  bool clockwise;
  double cx, cy;
  const char* name;
};

void PrintTo(const CentreCase& c, std::ostream* os) { *os << c.name; }

class ArcCentreTable : public ::testing::TestWithParam<CentreCase> {};

TEST_P(ArcCentreTable, QuarterArcOfRadiusOne) {
  const CentreCase& c = GetParam();
  double cx = 0, cy = 0, sweep = 0;
  ASSERT_TRUE(Geometry::ArcCentreAndSweep(c.x1, c.y1, c.x2, c.y2, 1.0, c.clockwise, cx, cy, sweep));
  EXPECT_NEAR(cx, c.cx, 1e-12);
  EXPECT_NEAR(cy, c.cy, 1e-12);
  EXPECT_NEAR(sweep, c.clockwise ? -kPi / 2 : kPi / 2, 1e-12);
  // R -1: the three-quarter arc around the opposite corner.
  ASSERT_TRUE(Geometry::ArcCentreAndSweep(c.x1, c.y1, c.x2, c.y2, -1.0, c.clockwise, cx, cy, sweep));
  EXPECT_NEAR(cx, c.x1 + c.x2 - c.cx, 1e-12);
  EXPECT_NEAR(cy, c.y1 + c.y2 - c.cy, 1e-12);
  EXPECT_NEAR(sweep, c.clockwise ? -3 * kPi / 2 : 3 * kPi / 2, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(AllRows, ArcCentreTable,
                         ::testing::Values(CentreCase{0, 0, 1, 1, false, 0, 1, "UpRightCcw"},
                                           CentreCase{0, 0, 1, 1, true, 1, 0, "UpRightCw"},
                                           CentreCase{1, 1, 0, 0, true, 0, 1, "DownLeftCw"},
                                           CentreCase{1, 1, 0, 0, false, 1, 0, "DownLeftCcw"},
                                           CentreCase{0, 1, 1, 0, true, 0, 0, "DownRightCw"},
                                           CentreCase{0, 1, 1, 0, false, 1, 1, "DownRightCcw"},
                                           CentreCase{1, 0, 0, 1, true, 1, 1, "UpLeftCw"},
                                           CentreCase{1, 0, 0, 1, false, 0, 0, "UpLeftCcw"}),
                         [](const ::testing::TestParamInfo<CentreCase>& info) { return std::string(info.param.name); });

TEST(SolveByRadius, ShortAndLongArcs) {
  CGraphicCircle g = ArcByRadius({0, 0, 0}, {2, 0, 0}, 2, true);
  ASSERT_TRUE(g.SolveByRadius());
  ExpectPointNear(g.m_centre, 1, -kSqrt3, 0, 1e-12);
  // Radii to the ends at 120 and 60 degrees: a clockwise turn of 60 degrees.
  EXPECT_NEAR(g.m_sweep, -kPi / 3, 1e-12);
  EXPECT_EQ(g.m_radius, 2);
  EXPECT_EQ(g.m_kind, CGraphic::kArc);

  CGraphicCircle big = ArcByRadius({0, 0, 0}, {2, 0, 0}, -2, true);
  ASSERT_TRUE(big.SolveByRadius());
  ExpectPointNear(big.m_centre, 1, kSqrt3, 0, 1e-12);
  EXPECT_NEAR(big.m_sweep, -5 * kPi / 3, 1e-12);
  EXPECT_EQ(big.m_radius, -2);
}

TEST(SolveByRadius, HalfCircle) {
  CGraphicCircle ccw = ArcByRadius({0, 0, 0}, {2, 0, 0}, 1, false);
  ASSERT_TRUE(ccw.SolveByRadius());
  EXPECT_NEAR(ccw.m_sweep, kPi, 1e-12);
  CGraphicCircle cw = ArcByRadius({0, 0, 0}, {2, 0, 0}, 1, true);
  ASSERT_TRUE(cw.SolveByRadius());
  EXPECT_NEAR(cw.m_sweep, -kPi, 1e-12);
}

TEST(SolveByRadius, TinyChordStaysATinyArc) {
  // Chord 0.001 on radius 50: sweep 2 asin(0.0005 / 50) = 2e-5 (+3e-16).
  CGraphicCircle g = ArcByRadius({0, 0, 0}, {0.001, 0, 0}, 50, false);
  ASSERT_TRUE(g.SolveByRadius());
  EXPECT_NEAR(g.m_sweep, 2e-5, 1e-13);
  CGraphicCircle big = ArcByRadius({0, 0, 0}, {0.001, 0, 0}, -50, false);
  ASSERT_TRUE(big.SolveByRadius());
  EXPECT_NEAR(big.m_sweep, 2 * kPi - 2e-5, 1e-12);
}

TEST(SolveByRadius, ImpossibleArcsFailAndLeaveTheElement) {
  const CGraphicCircle cases[] = {
      ArcByRadius({0, 0, 0}, {2, 0, 0}, 0.99, true),    // radius too small for the chord
      ArcByRadius({0, 0, 0}, {2, 0, 0}, 0.0, true),     // no radius
      ArcByRadius({5, 5, 0}, {5, 5, 3}, 5.0, false),    // a full circle cannot be given by R
      ArcByRadius({0, 0, 0}, {2, 0, 0}, kNaN, false),
      ArcByRadius({0, 0, 0}, {kNaN, 0, 0}, 3.0, false),
  };
  for (const CGraphicCircle& c : cases) {
    CGraphicCircle g = c;
    EXPECT_FALSE(g.SolveByRadius());
    EXPECT_EQ(g.m_centre, CPoint3d(-7, -7, -7));
    EXPECT_EQ(g.m_sweep, 0.25);
  }
}

TEST(SolveByCentre, FullCircleWhenStartMeetsEnd) {
  CGraphicCircle ccw = ArcByCentre({10, 0, 0}, {10, 0, 0}, {-10, 0, 0}, false);
  ASSERT_TRUE(ccw.SolveByCentre());
  ExpectPointNear(ccw.m_centre, 0, 0, 0);
  EXPECT_DOUBLE_EQ(ccw.m_radius, 10);
  EXPECT_DOUBLE_EQ(ccw.m_sweep, 2 * kPi);
  EXPECT_EQ(ccw.m_kind, CGraphic::kArc);

  CGraphicCircle cw = ArcByCentre({10, 0, 0}, {10, 0, 0}, {-10, 0, 0}, true);
  ASSERT_TRUE(cw.SolveByCentre());
  EXPECT_DOUBLE_EQ(cw.m_sweep, -2 * kPi);

  // Ends that differ only by rounding (as after a rotation) still close.
  CGraphicCircle near = ArcByCentre({10, 0, 0}, {10 + 1e-12, -1e-12, 0}, {-10, 0, 0}, false);
  ASSERT_TRUE(near.SolveByCentre());
  EXPECT_DOUBLE_EQ(near.m_sweep, 2 * kPi);

  // A helix of one full turn: the ends meet in the plane.
  CGraphicCircle helix = ArcByCentre({10, 0, 0}, {10, 0, 4}, {-10, 0, 0}, true);
  ASSERT_TRUE(helix.SolveByCentre());
  EXPECT_DOUBLE_EQ(helix.m_sweep, -2 * kPi);
}

TEST(SolveByCentre, SweepsOverHalfACircleGoTheArcsWay) {
  // (10, 0) to (0, -10) around the origin: 270 degrees counter-clockwise,
  // 90 clockwise.
  CGraphicCircle a = ArcByCentre({10, 0, 0}, {0, -10, 0}, {-10, 0, 0}, false);
  ASSERT_TRUE(a.SolveByCentre());
  EXPECT_NEAR(a.m_sweep, 3 * kPi / 2, 1e-12);
  CGraphicCircle b = ArcByCentre({10, 0, 0}, {0, -10, 0}, {-10, 0, 0}, true);
  ASSERT_TRUE(b.SolveByCentre());
  EXPECT_NEAR(b.m_sweep, -kPi / 2, 1e-12);
  // (10, 0) to (0, 10): 90 counter-clockwise, 270 clockwise.
  CGraphicCircle c = ArcByCentre({10, 0, 0}, {0, 10, 0}, {-10, 0, 0}, false);
  ASSERT_TRUE(c.SolveByCentre());
  EXPECT_NEAR(c.m_sweep, kPi / 2, 1e-12);
  CGraphicCircle d = ArcByCentre({10, 0, 0}, {0, 10, 0}, {-10, 0, 0}, true);
  ASSERT_TRUE(d.SolveByCentre());
  EXPECT_NEAR(d.m_sweep, -3 * kPi / 2, 1e-12);
  // (10, 0) to (-10, 0): half a circle either way.
  CGraphicCircle e = ArcByCentre({10, 0, 0}, {-10, 0, 0}, {-10, 0, 0}, true);
  ASSERT_TRUE(e.SolveByCentre());
  EXPECT_NEAR(e.m_sweep, -kPi, 1e-12);
  // 315 degrees clockwise from (10, 0) to (7.0711, 7.0711) (I, J rounded
  // to four decimals).
  CGraphicCircle f = ArcByCentre({10, 0, 0}, {7.0711, 7.0711, 0}, {-10, 0, 0}, true);
  ASSERT_TRUE(f.SolveByCentre());
  EXPECT_NEAR(f.m_sweep, -7 * kPi / 4, 1e-5);
}

TEST(SolveByCentre, TinyArcsAreNotFullCircles) {
  // Radius 50, chord 0.001 (as arc-fitting CAM output writes): the sweep
  // is atan(0.001 / 50) = 2e-5 going the arc's way.
  CGraphicCircle g = ArcByCentre({50, 0, 0}, {50, 0.001, 0}, {-50, 0, 0}, false);
  ASSERT_TRUE(g.SolveByCentre());
  EXPECT_NEAR(g.m_sweep, 2e-5, 1e-12);
  // The same ends clockwise: all the way round but for those 2e-5.
  CGraphicCircle back = ArcByCentre({50, 0, 0}, {50, 0.001, 0}, {-50, 0, 0}, true);
  ASSERT_TRUE(back.SolveByCentre());
  EXPECT_NEAR(back.m_sweep, -(2 * kPi - 2e-5), 1e-12);
  // The smallest step four decimals can give.
  CGraphicCircle tiny = ArcByCentre({50, 0, 0}, {50, -0.0001, 0}, {-50, 0, 0}, true);
  ASSERT_TRUE(tiny.SolveByCentre());
  EXPECT_NEAR(tiny.m_sweep, -2e-6, 1e-12);
}

TEST(SolveByCentre, RadialStepIsAFullTurn) {
  // The end lies on the start's ray 0.005 further out, inside the centre
  // tolerance: there is no movement along the arc, so turning from the
  // start's angle back to it is a whole turn.
  CGraphicCircle g = ArcByCentre({10, 0, 0}, {10.005, 0, 0}, {-10, 0, 0}, false);
  ASSERT_TRUE(g.SolveByCentre());
  EXPECT_DOUBLE_EQ(g.m_sweep, 2 * kPi);
  EXPECT_DOUBLE_EQ(g.m_radius, 10);
}

TEST(SolveByCentre, MismatchedCentreFails) {
  // Distances 10 and 10.5 from the centre.
  CGraphicCircle g = ArcByCentre({10, 0, 0}, {0, 10.5, 0}, {-10, 0, 0}, false);
  g.m_sweep = 0.25;
  EXPECT_FALSE(g.SolveByCentre());
  EXPECT_EQ(g.m_centre, CPoint3d(0, 0, 0));
  EXPECT_EQ(g.m_sweep, 0.25);
  EXPECT_EQ(g.m_radius, 0.0);
}

TEST(SolveByCentre, MismatchToleranceIsAbsoluteThenRelative) {
  // Radius 10: 0.01 mm allowed.
  CGraphicCircle a = ArcByCentre({10, 0, 0}, {0, 10.009, 0}, {-10, 0, 0}, false);
  EXPECT_TRUE(a.SolveByCentre());
  CGraphicCircle b = ArcByCentre({10, 0, 0}, {0, 10.011, 0}, {-10, 0, 0}, false);
  EXPECT_FALSE(b.SolveByCentre());
  // Radius 1000: 1e-4 of it, 0.1 mm, allowed.
  CGraphicCircle c = ArcByCentre({1000, 0, 0}, {0, 1000.05, 0}, {-1000, 0, 0}, false);
  EXPECT_TRUE(c.SolveByCentre());
  CGraphicCircle d = ArcByCentre({1000, 0, 0}, {0, 1000.2, 0}, {-1000, 0, 0}, false);
  EXPECT_FALSE(d.SolveByCentre());
}

TEST(SolveByCentre, DegenerateInputFails) {
  // Centre on the start: no circle, whether the end is there too or not.
  CGraphicCircle a = ArcByCentre({1, 1, 0}, {1, 1, 0}, {0, 0, 0}, false);
  EXPECT_FALSE(a.SolveByCentre());
  CGraphicCircle b = ArcByCentre({1, 1, 0}, {1.005, 1, 0}, {0, 0, 0}, false);
  EXPECT_FALSE(b.SolveByCentre());
  CGraphicCircle c = ArcByCentre({10, 0, 0}, {0, 10, 0}, {kNaN, 0, 0}, false);
  EXPECT_FALSE(c.SolveByCentre());
  CGraphicCircle d = ArcByCentre({10, 0, 0}, {0, 10, std::numeric_limits<double>::infinity()}, {-10, 0, 0}, false);
  EXPECT_FALSE(d.SolveByCentre());
}

TEST(ArcElement, ComputeSweepFollowsTheElement) {
  CGraphicCircle g({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, {0, 0, 0}, 10, 0, false, kPlaneXY);
  g.ComputeSweep();
  EXPECT_NEAR(g.m_sweep, kPi / 2, 1e-12);
  g.m_clockwise = true;
  g.ComputeSweep();
  EXPECT_NEAR(g.m_sweep, -3 * kPi / 2, 1e-12);
  g.m_end = g.m_start;
  g.ComputeSweep();
  EXPECT_DOUBLE_EQ(g.m_sweep, -2 * kPi);
}

TEST(ArcElement, ProjectToRadiusTakesTheCentresHeight) {
  CGraphicCircle g({0, 0, 0}, {0, 0, 0}, {1, 1, 5}, {0, 0, 0}, 10, 0, false, kPlaneXY);
  CPoint3d p(4, 5, 0);  // direction (3, 4) / 5 from the centre
  g.ProjectToRadius(-10, p);
  ExpectPointNear(p, 7, 9, 5);
}

TEST(ArcElement, OffsetChangesTheRadiusAndMovesTheEnds) {
  CGraphicCircle g({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, {0, 0, 0}, 10, kPi / 2, false, kPlaneXY);
  g.Offset(2);
  EXPECT_EQ(g.m_radius, 12);
  ExpectPointNear(g.m_start, 12, 0, 0);
  ExpectPointNear(g.m_end, 0, 12, 0);
  ExpectPointNear(g.m_centre, 0, 0, 0);
  g.Offset(-5);
  EXPECT_EQ(g.m_radius, 7);
  ExpectPointNear(g.m_start, 7, 0, 0);

  // A negative radius grows away from zero.
  CGraphicCircle n({10, 0, 0}, {0, 10, 0}, {0, 0, 0}, {0, 0, 0}, -10, 0, false, kPlaneXY);
  n.Offset(2);
  EXPECT_EQ(n.m_radius, -12);
  ExpectPointNear(n.m_end, 0, 12, 0);
}

TEST(ArcElement, FootFromCentre) {
  CGraphicCircle g({0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 5, 0, false, kPlaneXY);
  const CPoint3d foot = g.FootFromCentre({-5, 3, 0}, {5, 3, 0});
  EXPECT_NEAR(foot.x, 0, 1e-12);
  EXPECT_NEAR(foot.y, 3, 1e-12);
}

}  // namespace
}  // namespace quillet
