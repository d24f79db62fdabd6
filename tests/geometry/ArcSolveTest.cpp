// Arc centres and sweeps: by radius and by centre offset.
#include <limits>
#include <vector>

#include "mod_gcode/geometry/Panel.h"
#include "tests/geometry/GeomTestUtil.h"

namespace quillet {
namespace {

using test::ExpectPointNear;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

CGraphicCircle ArcByCentre(const CPoint3d& start, const CPoint3d& end, const CPoint3d& offset, bool clockwise) {
  return CGraphicCircle(start, end, {0, 0, 0}, offset, 0.0, 0.0, clockwise, kPlaneXY);
}

// The centre and sweep start at marker values so that a failed solve can be
// seen to leave them.
CGraphicCircle ArcByRadius(const CPoint3d& start, const CPoint3d& end, double radius, bool clockwise) {
  return CGraphicCircle(start, end, {-7, -7, -7}, {0, 0, 0}, radius, 0.25, clockwise, kPlaneXY);
}

TEST(ArcCentre, SideFollowsDirectionAndSignOfRadius) {
  // Unit-radius quarter arcs whose centres are corners of the unit square
  // (worked out by drawing them); R -1 is the three-quarter arc around the
  // opposite corner.
  struct Row { double x1, y1, x2, y2; bool cw; double cx, cy; };
  for (const Row& c : {Row{0, 0, 1, 1, false, 0, 1}, Row{0, 0, 1, 1, true, 1, 0}, Row{0, 1, 1, 0, true, 0, 0},
                       Row{1, 0, 0, 1, false, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << c.x1 << c.y1 << c.x2 << c.y2 << c.cw);
    double cx = 0, cy = 0, sweep = 0;
    ASSERT_TRUE(Geometry::ArcCentreAndSweep(c.x1, c.y1, c.x2, c.y2, 1.0, c.cw, cx, cy, sweep));
    ExpectPointNear({cx, cy, 0}, c.cx, c.cy, 0, 1e-12);
    EXPECT_NEAR(sweep, c.cw ? -kPi / 2 : kPi / 2, 1e-12);
    ASSERT_TRUE(Geometry::ArcCentreAndSweep(c.x1, c.y1, c.x2, c.y2, -1.0, c.cw, cx, cy, sweep));
    ExpectPointNear({cx, cy, 0}, c.x1 + c.x2 - c.cx, c.y1 + c.y2 - c.cy, 0, 1e-12);
    EXPECT_NEAR(sweep, c.cw ? -3 * kPi / 2 : 3 * kPi / 2, 1e-12);
  }
}

TEST(ArcCentre, RadiusTooSmallFailsWithinSlackGivesTheMidpoint) {
  double cx = 42, cy = 43;
  EXPECT_FALSE(Geometry::ArcCentre(0, 0, 2, 0, 0.99, true, cx, cy));  // 2 - 1.98 > 0.000025
  EXPECT_EQ(cx, 42);
  EXPECT_EQ(cy, 43);
  // Chord 2 against diameter 1.9999998: h is capped at |R|.
  ASSERT_TRUE(Geometry::ArcCentre(0, 0, 2, 0, 0.9999999, true, cx, cy));
  EXPECT_NEAR(cx, 1, 1e-12);
  EXPECT_NEAR(cy, 0, 1e-12);
}

// The side of the centre by direction and sign of R is the table above; here
// the element keeps what the solve found.
TEST(SolveByRadius, HalfAndTinyArcs) {
  CGraphicCircle half = ArcByRadius({0, 0, 0}, {2, 0, 0}, 1, false);
  ASSERT_TRUE(half.SolveByRadius());
  ExpectPointNear(half.m_centre, 1, 0, 0, 1e-12);
  EXPECT_NEAR(half.m_sweep, kPi, 1e-12);
  // Chord 0.001 on radius 50: sweep 2 asin(0.0005 / 50) = 2e-5 (+3e-16).
  CGraphicCircle tiny = ArcByRadius({0, 0, 0}, {0.001, 0, 0}, 50, false);
  ASSERT_TRUE(tiny.SolveByRadius());
  EXPECT_NEAR(tiny.m_sweep, 2e-5, 1e-13);
  CGraphicCircle rest = ArcByRadius({0, 0, 0}, {0.001, 0, 0}, -50, false);
  ASSERT_TRUE(rest.SolveByRadius());
  EXPECT_NEAR(rest.m_sweep, 2 * kPi - 2e-5, 1e-12);
}

TEST(SolveByRadius, ImpossibleArcsFailAndLeaveTheElement) {
  for (CGraphicCircle g : {ArcByRadius({0, 0, 0}, {2, 0, 0}, 0.99, true),  // radius too small for the chord
                           ArcByRadius({0, 0, 0}, {2, 0, 0}, 0.0, true),
                           ArcByRadius({5, 5, 0}, {5, 5, 3}, 5.0, false),  // a full circle cannot be given by R
                           ArcByRadius({0, 0, 0}, {2, 0, 0}, kNaN, false),
                           ArcByRadius({0, 0, 0}, {kNaN, 0, 0}, 3.0, false)}) {
    EXPECT_FALSE(g.SolveByRadius());
    EXPECT_EQ(g.m_centre, CPoint3d(-7, -7, -7));
    EXPECT_EQ(g.m_sweep, 0.25);
  }
}

TEST(SolveByCentre, SweepsGoTheArcsWay) {
  struct Row { CPoint3d start, end, offset; bool cw; double sweep; };
  const Row rows[] = {
      {{10, 0, 0}, {0, -10, 0}, {-10, 0, 0}, false, 3 * kPi / 2},  // over half a circle
      {{10, 0, 0}, {0, -10, 0}, {-10, 0, 0}, true, -kPi / 2},
      {{10, 0, 0}, {0, 10, 0}, {-10, 0, 0}, true, -3 * kPi / 2},
      {{10, 0, 0}, {-10, 0, 0}, {-10, 0, 0}, true, -kPi},
      {{10, 0, 0}, {10, 0, 0}, {-10, 0, 0}, false, 2 * kPi},  // start meets end: a full circle
      {{10, 0, 0}, {10, 0, 0}, {-10, 0, 0}, true, -2 * kPi},
      {{10, 0, 0}, {10 + 1e-12, -1e-12, 0}, {-10, 0, 0}, false, 2 * kPi},  // ends apart by rounding
      {{10, 0, 0}, {10, 0, 4}, {-10, 0, 0}, true, -2 * kPi},               // a helix of one turn
      {{10, 0, 0}, {10.005, 0, 0}, {-10, 0, 0}, false, 2 * kPi},           // a radial step only
      // Radius 50, chord 0.001 (arc-fitting CAM output): atan(0.001 / 50).
      {{50, 0, 0}, {50, 0.001, 0}, {-50, 0, 0}, false, 2e-5},
      {{50, 0, 0}, {50, 0.001, 0}, {-50, 0, 0}, true, -(2 * kPi - 2e-5)},
  };
  for (const Row& r : rows) {
    CGraphicCircle g = ArcByCentre(r.start, r.end, r.offset, r.cw);
    ASSERT_TRUE(g.SolveByCentre()) << r.sweep;
    EXPECT_NEAR(g.m_sweep, r.sweep, 1e-12);
    EXPECT_NEAR(g.m_radius, -r.offset.x, 1e-12);
  }
}

TEST(SolveByCentre, MismatchToleranceAndDegenerateInput) {
  struct Row { CPoint3d start, end, offset; bool ok; };
  const Row rows[] = {
      {{10, 0, 0}, {0, 10.009, 0}, {-10, 0, 0}, true},  // radius 10: 0.01 allowed
      {{10, 0, 0}, {0, 10.011, 0}, {-10, 0, 0}, false},
      {{1000, 0, 0}, {0, 1000.05, 0}, {-1000, 0, 0}, true},  // radius 1000: 1e-4 of it
      {{1000, 0, 0}, {0, 1000.2, 0}, {-1000, 0, 0}, false},
      {{1, 1, 0}, {1, 1, 0}, {0, 0, 0}, false},  // centre on the start
      {{1, 1, 0}, {1.005, 1, 0}, {0, 0, 0}, false},
      {{10, 0, 0}, {0, 10, 0}, {kNaN, 0, 0}, false},
      {{10, 0, 0}, {0, 10, std::numeric_limits<double>::infinity()}, {-10, 0, 0}, false},
  };
  for (const Row& r : rows) {
    CGraphicCircle g = ArcByCentre(r.start, r.end, r.offset, false);
    g.m_sweep = 0.25;
    EXPECT_EQ(g.SolveByCentre(), r.ok) << r.end.y;
    if (!r.ok) {
      EXPECT_EQ(g.m_centre, CPoint3d(0, 0, 0));
      EXPECT_EQ(g.m_sweep, 0.25);
    }
  }
}

TEST(Panel, WithoutAnArcNothingIsSolvedOrDrawn) {
  CGCPanelG17 empty;
  EXPECT_FALSE(empty.SolveArcByRadius());
  EXPECT_FALSE(empty.SolveArcByCentre());
  std::vector<CPoint3d> pts;
  empty.CreateArcProfile(pts);
  EXPECT_TRUE(pts.empty());
}

}  // namespace
}  // namespace quillet
