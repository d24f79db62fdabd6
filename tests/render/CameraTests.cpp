// Camera: standard views, trackball angle and signs, zoom bounds.
#include <gtest/gtest.h>

#include <cmath>

#include "viewer/render/Camera.h"

using ravik::CCamera;
using ravik::CMatrix4;
using ravik::CPoint3d;

namespace {

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

}  // namespace

TEST(Camera, StandardViewsLookAlongTheRightAxes) {
  // X-Z: turned 90 degrees about X; world z points up the view, y into it.
  CCamera xz = MakeCamera();
  xz.Rotate(90, 1, 0, 0);
  const CPoint3d a = ViewOf(xz, {5, 9, 3});
  EXPECT_NEAR(5, a.x, 1e-4);
  EXPECT_NEAR(3, a.y, 1e-4);
  // Y-Z: -90 about Y, then -180 about (0, 1, 1): world y to the right, z up.
  CCamera yz = MakeCamera();
  yz.Rotate(-90, 0, 1, 0);
  yz.Rotate(-180, 0, 1, 1);
  const CPoint3d b = ViewOf(yz, {40, 6, 2});
  EXPECT_NEAR(6, b.x, 1e-3);
  EXPECT_NEAR(2, b.y, 1e-3);
}

TEST(Camera, TrackballTurnsOneDegreePerPixelWithTheDrag) {
  CCamera c = MakeCamera();
  c.lastPoint = {100, 100, 0};
  c.Trackball(103, 96);  // 3 right, 4 up: 5 pixels
  const double cosine = ravik::Dot({0, 0, 800}, c.eye) / (800 * ravik::Length(c.eye));
  EXPECT_NEAR(5.0, std::acos(cosine) * 180 / 3.14159265358979323846, 1e-3);
  // The front of the path (the point nearest the eye) follows the mouse;
  // window y grows downwards.
  const CPoint3d front{0, 0, 100};
  CCamera right = MakeCamera();
  right.Trackball(20, 0);
  EXPECT_GT(ViewOf(right, front).x, 5.0);
  CCamera down = MakeCamera();
  down.Trackball(0, 20);
  EXPECT_LT(ViewOf(down, front).y, -5.0);
}

TEST(Camera, ZoomScalesAboutTheViewCentreWithinBounds) {
  CCamera c = MakeCamera();
  c.ZoomStep(1);
  c.ZoomStep(1);
  const CPoint3d p = ViewOf(c, {10, -5, 0});
  EXPECT_NEAR(12, p.x, 1e-4);
  EXPECT_NEAR(-6, p.y, 1e-4);
  // However far the wheel turns, the picture neither vanishes nor flips;
  // zooming in has no upper bound, so a small detail of a large
  // part can be brought up as far as the user wants.
  for (int i = 0; i < 100; ++i) c.ZoomStep(-1);
  EXPECT_NEAR(CCamera::kMinZoom, c.zoom, 1e-6);
  EXPECT_GT(ViewOf(c, {10, 0, 0}).x, 0.5);
  for (int i = 0; i < 2000; ++i) c.ZoomStep(1);
  EXPECT_NEAR(200.1, c.zoom, 1e-2);
  EXPECT_NEAR(ViewOf(c, {10, 0, 0}).x, 2001.0, 0.5);
}
