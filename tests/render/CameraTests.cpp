// Camera: initial state, standard views, trackball signs, pan and zoom.
#include <gtest/gtest.h>

#include <cmath>

#include "viewer/render/Camera.h"

using ravik::CCamera;
using ravik::CMatrix4;
using ravik::CPoint3d;

namespace {

constexpr double kPi = 3.14159265358979323846;

CCamera MakeCamera() {
  CCamera c;
  c.Init({0, 0, 800}, {0, 1, 0}, {0, 0, 0});
  return c;
}

CPoint3d ViewOf(CCamera& c, const CPoint3d& p) {
  CMatrix4 v;
  c.Apply(v);
  return v.MapPoint(p);
}

double AngleDegrees(const CPoint3d& a, const CPoint3d& b) {
  return std::acos(ravik::Dot(a, b) / (ravik::Length(a) * ravik::Length(b))) * 180.0 / kPi;
}

}  // namespace

TEST(Camera, InitKeepsUpVectorAtYUntilTheFirstTurn) {
  CCamera c;
  c.Init({0, 0, 800}, {0, 0, 1}, {0, 0, 0});
  EXPECT_EQ(CPoint3d(0, 1, 0), c.upVector);
  EXPECT_EQ(CPoint3d(1, 0, 0), c.right);
  EXPECT_EQ(CPoint3d(0, 0, 800), c.direction);
  EXPECT_EQ(CPoint3d(), c.pan);
  EXPECT_EQ(1.0f, c.zoom);
  // Turning 10 degrees about Y takes the given up (0, 0, 1) along.
  c.Rotate(10, 0, 1, 0);
  EXPECT_NEAR(std::sin(10 * kPi / 180), c.upVector.x, 1e-6);
  EXPECT_NEAR(0, c.upVector.y, 1e-6);
  EXPECT_NEAR(std::cos(10 * kPi / 180), c.upVector.z, 1e-6);
}

TEST(Camera, FrontViewMapsWorldXYOntoViewXY) {
  CCamera c = MakeCamera();
  CPoint3d p = ViewOf(c, {12, -7, 0});
  EXPECT_NEAR(12, p.x, 1e-4);
  EXPECT_NEAR(-7, p.y, 1e-4);
  EXPECT_NEAR(-800, p.z, 1e-3);
}

TEST(Camera, StandardViewsLookAlongTheRightAxes) {
  // X-Z: turned 90 degrees about X; world z points up the view, y into it.
  CCamera xz = MakeCamera();
  xz.Rotate(90, 1, 0, 0);
  CPoint3d a = ViewOf(xz, {5, 9, 3});
  EXPECT_NEAR(5, a.x, 1e-4);
  EXPECT_NEAR(3, a.y, 1e-4);
  CPoint3d flat = ViewOf(xz, {5, -30, 0});
  EXPECT_NEAR(0, flat.y, 1e-4);  // an X-Y path becomes a line

  // Y-Z: -90 about Y, then -180 about (0, 1, 1): world y to the right, z up.
  CCamera yz = MakeCamera();
  yz.Rotate(-90, 0, 1, 0);
  yz.Rotate(-180, 0, 1, 1);
  CPoint3d b = ViewOf(yz, {40, 6, 2});
  EXPECT_NEAR(6, b.x, 1e-3);
  EXPECT_NEAR(2, b.y, 1e-3);
}

TEST(Camera, TrackballTurnsOneDegreePerPixel) {
  CCamera c = MakeCamera();
  c.lastPoint = {100, 100, 0};
  CPoint3d eye0 = c.eye;
  c.Trackball(103, 96);  // 3 right, 4 up: 5 pixels
  EXPECT_NEAR(5.0, AngleDegrees(eye0, c.eye), 1e-3);
  EXPECT_EQ(CPoint3d(103, 96, 0), c.lastPoint);
  EXPECT_NEAR(800, ravik::Length(c.eye), 1e-3);
  // No movement, no turn.
  CPoint3d eye1 = c.eye;
  c.Trackball(103, 96);
  EXPECT_EQ(eye1, c.eye);
}

TEST(Camera, TrackballDragMovesTheFrontOfThePathWithTheMouse) {
  const CPoint3d front{0, 0, 100};  // the point nearest the eye
  CCamera right = MakeCamera();
  right.Trackball(20, 0);  // drag to the right
  EXPECT_GT(ViewOf(right, front).x, 5.0);
  EXPECT_LT(right.eye.x, 0.0);

  CCamera down = MakeCamera();
  down.Trackball(0, 20);  // drag downwards (window y grows downwards)
  EXPECT_LT(ViewOf(down, front).y, -5.0);
  EXPECT_GT(down.eye.y, 0.0);
}

TEST(Camera, PanAddsTheMovementAndShiftsTheView) {
  CCamera c = MakeCamera();
  c.lastPoint = {1, 1, 0};
  c.Pan(4, -2);
  c.Pan(6, 0);
  EXPECT_EQ(CPoint3d(5, -1, 0), c.pan);
  CPoint3d p = ViewOf(c, {10, 10, 0});
  EXPECT_NEAR(15, p.x, 1e-4);
  EXPECT_NEAR(9, p.y, 1e-4);
}

TEST(Camera, ZoomScalesAboutTheViewCentreWithinBounds) {
  CCamera c = MakeCamera();
  c.ZoomStep(1);
  c.ZoomStep(1);
  EXPECT_NEAR(1.2, c.zoom, 1e-6);
  CPoint3d p = ViewOf(c, {10, -5, 0});
  EXPECT_NEAR(12, p.x, 1e-4);
  EXPECT_NEAR(-6, p.y, 1e-4);

  // However far the wheel turns out, the picture neither vanishes nor flips.
  for (int i = 0; i < 100; ++i) c.ZoomStep(-1);
  EXPECT_NEAR(CCamera::kMinZoom, c.zoom, 1e-6);
  CPoint3d small = ViewOf(c, {10, 0, 0});
  EXPECT_GT(small.x, 0.5);
  // Nor does it grow without limit.
  for (int i = 0; i < 2000; ++i) c.ZoomStep(1);
  EXPECT_NEAR(CCamera::kMaxZoom, c.zoom, 1e-4);
}
