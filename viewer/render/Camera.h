// The camera of the 3D view: it orbits the origin (rotate, trackball), pans
// in view units and zooms, and writes its view transform into a matrix.
#pragma once
#include "viewer/render/Matrix.h"

namespace ravik {

class CCamera {
 public:
  // Zoom never leaves these bounds: below the lower one the picture would
  // shrink to nothing and then turn inside out.
  static constexpr float kMinZoom = 0.1f;
  static constexpr float kZoomStep = 0.1f;

  CPoint3d right;         // unit, normalize(upVector x direction)
  CPoint3d upVector;      // (0, 1, 0) after Init; the rotated up afterwards
  CPoint3d direction;     // eye - target, not normalised
  CPoint3d eye;
  CPoint3d up;
  CPoint3d target;
  CPoint3d lastPoint;     // previous mouse position (x, y)
  CPoint3d currentPoint;  // newest mouse position
  CPoint3d pan;           // pan offset in view units
  float zoom = 1.0f;

  CCamera() = default;

  void Init(const CPoint3d& eye, const CPoint3d& up, const CPoint3d& target);
  void Release();
  // Writes the view transform into `m` (post-multiplied): pan, zoom, then a
  // look from `eye` towards the origin.
  void Apply(CMatrix4& m);
  void Rotate(float angleDegrees, float x, float y, float z);
  // Turns by the mouse movement from lastPoint to (x, y): one degree per
  // pixel, about the axis perpendicular to the movement in the view plane.
  void Trackball(double x, double y);
  // Adds the movement from lastPoint to (x, y) (view units) to the pan.
  void Pan(double x, double y);
  // One wheel step in (positive) or out (negative), kept within the bounds.
  void ZoomStep(int direction);
};

}  // namespace ravik
