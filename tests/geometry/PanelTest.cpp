// The working plane: rotation and polar arithmetic, and arcs solved and
// drawn through it.
#include <cmath>
#include <limits>
#include <vector>

#include "mod_gcode/GCCode/Panel.h"
#include "tests/geometry/GeomTestUtil.h"

namespace quillet {
namespace {

using test::ExpectPointNear;

constexpr double kSqrt3 = 1.7320508075688772;

TEST(PanelArithmetic, RotatePointTurnsXYOnly) {
  CGCPanelG17 plane;
  CPoint3d p(1, 0, 5);
  plane.RotatePoint(p, 90);
  ExpectPointNear(p, 0, 1, 5, 1e-15);
  CPoint3d q(3, 4, -1);
  plane.RotatePoint(q, -90);
  ExpectPointNear(q, 4, -3, -1, 1e-14);
  plane.RotatePoint(q, 180);
  ExpectPointNear(q, -4, 3, -1, 1e-14);

  double x = 2, y = 1;
  CGCPanelG17::Rotate2d(x, y, kPi / 3);  // (2, 1) at 60 degrees
  EXPECT_NEAR(x, 1 - kSqrt3 / 2, 1e-14);
  EXPECT_NEAR(y, 0.5 + kSqrt3, 1e-14);
}

TEST(PanelArithmetic, PolarToCartesian) {
  CGCPanelG17 plane;
  CPoint3d out;
  plane.PolarToCartesian(out, {10, 30, 2}, {1, 1, 0}, 0.0);
  ExpectPointNear(out, 1 + 5 * kSqrt3, 1 + 5, 2, 1e-12);
  // 30 degrees plus an extra 30 in radians.
  plane.PolarToCartesian(out, {10, 30, 0}, {0, 0, 7}, kPi / 6);
  ExpectPointNear(out, 5, 5 * kSqrt3, 0, 1e-12);
  plane.PolarToCartesian(out, {4, -90, 1}, {0, 0, 0}, 0.0);
  ExpectPointNear(out, 0, -4, 1, 1e-12);

  double x = 0, y = 0;
  CGCPanelG17::PolarToXY(x, y, 2, kPi);
  EXPECT_NEAR(x, -2, 1e-15);
  EXPECT_NEAR(y, 0, 1e-15);
}

TEST(PanelArithmetic, PolarAngleIsTheArctangentOfTheQuotient) {
  CGCPanelG17 plane;
  EXPECT_NEAR(plane.PolarAngle({-1, 1, 0}), -kPi / 4, 1e-15);
  EXPECT_NEAR(plane.PolarAngle({1, -1, 0}), -kPi / 4, 1e-15);
  EXPECT_NEAR(plane.PolarAngle({kSqrt3, 1, 0}), kPi / 6, 1e-15);
  EXPECT_NEAR(plane.PolarAngle({0, 2, 0}), kPi / 2, 1e-15);
  EXPECT_EQ(plane.PolarAngle({0, 0, 0}), 0.0);
}

TEST(PanelArithmetic, BasePlaneDoesNothing) {
  CGCPanel plane;
  CPoint3d p(1, 2, 3);
  plane.RotatePoint(p, 90);
  EXPECT_EQ(p, CPoint3d(1, 2, 3));
  CPoint3d out(9, 9, 9);
  plane.PolarToCartesian(out, {10, 30, 2}, {1, 1, 0}, 0.0);
  EXPECT_EQ(out, CPoint3d(0, 0, 0));
  EXPECT_EQ(plane.PolarAngle({1, 1, 0}), 0.0);
  plane.SetGraphic(CGraphicCircle({10, 0, 0}, {10, 0, 0}, {}, {-10, 0, 0}, 0, 0, false, kPlaneXY));
  EXPECT_FALSE(plane.SolveArcByCentre());
  std::vector<CPoint3d> pts;
  plane.CreateArcProfile(pts);
  EXPECT_TRUE(pts.empty());
}

TEST(PanelArcs, WithoutAnArcNothingHappens) {
  CGCPanelG17 plane;
  EXPECT_EQ(plane.GetGraphic(), nullptr);
  EXPECT_FALSE(plane.SolveArcByRadius());
  EXPECT_FALSE(plane.SolveArcByCentre());
  std::vector<CPoint3d> pts;
  plane.CreateArcProfile(pts);
  EXPECT_TRUE(pts.empty());
}

TEST(PanelArcs, SolveByRadiusThroughThePlane) {
  CGCPanelG17 plane;
  plane.SetGraphic(CGraphicCircle({0, 0, 0}, {2, 0, 0}, {}, {}, 2, 0, true, kPlaneXY));
  ASSERT_TRUE(plane.SolveArcByRadius());
  ASSERT_NE(plane.GetGraphic(), nullptr);
  ExpectPointNear(plane.GetGraphic()->m_centre, 1, -kSqrt3, 0, 1e-12);
  EXPECT_NEAR(plane.GetGraphic()->m_sweep, -kPi / 3, 1e-12);
  std::vector<CPoint3d> pts;
  plane.CreateArcProfile(pts);
  ASSERT_EQ(pts.size(), 15u);  // 60 degrees: n = 12
  ExpectPointNear(pts[6], 1, 2 - kSqrt3, 0, 1e-12);  // half way, straight above the centre
  EXPECT_EQ(pts.back(), CPoint3d(2, 0, 0));
}

TEST(PanelArcs, ImpossibleArcsReportFailure) {
  CGCPanelG17 plane;
  plane.SetGraphic(CGraphicCircle({0, 0, 0}, {2, 0, 0}, {-7, -7, -7}, {}, 0.99, 0.5, true, kPlaneXY));
  EXPECT_FALSE(plane.SolveArcByRadius());
  EXPECT_EQ(plane.GetGraphic()->m_centre, CPoint3d(-7, -7, -7));
  EXPECT_EQ(plane.GetGraphic()->m_sweep, 0.5);

  plane.SetGraphic(CGraphicCircle({10, 0, 0}, {0, 11, 0}, {}, {-10, 0, 0}, 0, 0, false, kPlaneXY));
  EXPECT_FALSE(plane.SolveArcByCentre());
}

TEST(PanelArcs, FullCircleByCentreIsDrawnWhole) {
  CGCPanelG17 plane;
  plane.SetGraphic(CGraphicCircle({10, 0, 0}, {10, 0, 0}, {}, {-10, 0, 0}, 0, 0, true, kPlaneXY));
  ASSERT_TRUE(plane.SolveArcByCentre());
  std::vector<CPoint3d> pts;
  plane.CreateArcProfile(pts);
  ASSERT_EQ(pts.size(), 75u);
  ExpectPointNear(pts[18], 0, -10, 0);
  ExpectPointNear(pts[36], -10, 0, 0);
  ExpectPointNear(pts[72], 10, 0, 0);
}

TEST(PanelArcs, NonFiniteSweepDrawsNothing) {
  CGCPanelG17 plane;
  plane.SetGraphic(CGraphicCircle({10, 0, 0}, {0, 10, 0}, {}, {}, 10, std::numeric_limits<double>::quiet_NaN(),
                                  false, kPlaneXY));
  std::vector<CPoint3d> pts{{1, 2, 3}};
  plane.CreateArcProfile(pts);
  EXPECT_EQ(pts.size(), 1u);
}

TEST(PanelArcs, CopyKeepsItsOwnArc) {
  CGCPanelG17 a;
  a.SetGraphic(CGraphicCircle({10, 0, 0}, {0, 10, 0}, {}, {-10, 0, 0}, 0, 0, false, kPlaneXY));
  CGCPanelG17 b = a;
  ASSERT_TRUE(b.SolveArcByCentre());
  EXPECT_NEAR(b.GetGraphic()->m_sweep, kPi / 2, 1e-12);
  EXPECT_EQ(a.GetGraphic()->m_sweep, 0.0);
}

}  // namespace
}  // namespace quillet
