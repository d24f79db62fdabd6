#include "viewer/render/Camera.h"

#include <algorithm>

namespace ravik {

void CCamera::Init(const CPoint3d& e, const CPoint3d& u, const CPoint3d& t) {
  Release();
  eye = e;
  up = u;
  target = t;
  upVector = {0.0, 1.0, 0.0};
  direction = eye - target;
  right = Normalized(Cross(upVector, direction));
  pan = {};
  zoom = 1.0f;
}

void CCamera::Release() {
  lastPoint = {};
  currentPoint = {};
  right = {};
  upVector = {};
  direction = {};
  pan = {};
}

void CCamera::Apply(CMatrix4& m) {
  target = -eye;
  m.Translate(pan);
  m.Scale(zoom, zoom, zoom);
  m.LookAt(eye, target, up);
}

void CCamera::Rotate(float angle, float x, float y, float z) {
  CMatrix4 r;
  r.Rotate(angle, x, y, z);
  eye = r.MapPoint(eye);
  up = Normalized(r.MapPoint(up));
  upVector = up;
  direction = eye - target;
  right = Normalized(Cross(upVector, direction));
}

void CCamera::Trackball(double x, double y) {
  currentPoint = {x, y, 0.0};
  double dx = currentPoint.x - lastPoint.x;
  double dy = lastPoint.y - currentPoint.y;  // window y counts downwards
  CPoint3d move = right * dx + upVector * dy;
  CPoint3d axis = Normalized(Cross(move, direction));
  double angle = Length(move);
  Rotate(static_cast<float>(angle), static_cast<float>(axis.x), static_cast<float>(axis.y),
         static_cast<float>(axis.z));
  lastPoint = currentPoint;
}

void CCamera::Pan(double x, double y) {
  currentPoint = {x, y, 0.0};
  pan.x += x - lastPoint.x;
  pan.y += y - lastPoint.y;
  lastPoint = currentPoint;
}

void CCamera::ZoomStep(int dir) {
  float next = dir < 0 ? zoom - kZoomStep : zoom + kZoomStep;
  zoom = std::max(next, kMinZoom);
}

}  // namespace ravik
