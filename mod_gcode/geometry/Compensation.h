// Cutter-radius compensation: the corner solvers that join two consecutive
// path elements once each has been moved sideways by the cutter radius, and
// the planar intersections they use.
//
// Everything works in an element's own x-y frame (see Geometry.h). Sides:
// 0 puts the cutter on the left of the direction of travel in that frame,
// 1 on the right. A straight element is offset by a signed distance
// (positive to the left, `CGraphic::Offset`); an arc by a change of its
// radius (`ArcOffsetForSide`).
//
// Each solver does its whole work in its constructor, on the elements it is
// given (in place), and writes the corner point; the caller then reads
// `m_valid`. A corner that cannot be solved leaves the corner point as the
// caller gave it, so the caller passes a sensible point in.
#pragma once
#include <cstdint>

#include "mod_gcode/geometry/Geometry.h"

namespace quillet {

// Result of `IntersectLines`.
enum LineIntersection : int { kLinesCross = 0, kLinesCoincident = 1, kLinesParallel = 2 };

// Result of `IntersectCircles`.
enum CircleIntersection : int { kCirclesApart = 0, kCirclesTouch = 1, kCirclesCross = 2, kCirclesSame = 255 };

// The nearer of two candidates to `ref`; the second one on a tie.
const CPoint3d& NearerCandidate(const CPoint3d& a0, const CPoint3d& a1, const CPoint3d& ref);

// Planar crossing of the lines through l1 and l2 (start and end of each).
// Lines whose directions' cross product is below 2^-23 are parallel: the
// result is then kLinesCoincident or kLinesParallel and `point` is not
// written. Otherwise `point` gets the crossing's x and y (its z is left).
int IntersectLines(const CGraphic& l1, const CGraphic& l2, CPoint3d& point);

// Planar crossing of two circles (centres c1, c2; the radii's magnitudes
// count). kCirclesApart when they do not meet (too far apart, one inside the
// other); kCirclesTouch when they touch from outside, with the one point in
// a0; kCirclesSame when they are one circle; otherwise kCirclesCross with
// both points. Nothing is written for kCirclesApart and kCirclesSame.
int IntersectCircles(const CPoint3d& c1, double r1, const CPoint3d& c2, double r2, CPoint3d& a0, CPoint3d& a1);

// Planar crossing of the line through `first` and `second` with the circle
// around `centre` of radius |radius|: 2 with both points (a touching line
// gives its point twice; the point with the larger x comes first), or 0 when
// the line misses the circle or has no direction. A line within 2^-23 of
// vertical is taken as the vertical through `first`. The points get z 0.
int IntersectLineCircle(const CPoint3d& first, const CPoint3d& second, const CPoint3d& centre, double radius,
                        CPoint3d& a0, CPoint3d& a1);

// The radius change that puts an arc's cutter on `side`: with d = |radius|,
// +d for side 0 on a clockwise arc and for side 1 on a counter-clockwise
// one, -d otherwise (the cutter outside or inside the arc).
double ArcOffsetForSide(const CGraphicCircle& arc, double radius, short side);

// Line A followed by line B, offset by the signed radius r.
class CGCCompensation {
 public:
  CGCCompensation(CGraphic& a, CGraphic& b, double r, CPoint3d& corner);
  virtual ~CGCCompensation();

  bool IsValid() const { return m_valid != 0; }

  // 1 when the corner was found, 0 when not.
  std::int32_t m_valid = 1;

 protected:
  CGCCompensation() = default;
};

// Arc A followed by arc B. A is reshaped to run from `start` to the corner.
class CGCCompensationC2C : public CGCCompensation {
 public:
  CGCCompensationC2C(CGraphicCircle& a, CGraphicCircle& b, double radius, short side, const CPoint3d& start,
                     CPoint3d& corner);
  ~CGCCompensationC2C() override;
};

// Arc A followed by line L (offset by r when `offsetLine` is set). A is
// reshaped to run from `start` to the corner.
class CGCCompensationC2L : public CGCCompensation {
 public:
  CGCCompensationC2L(CGraphicCircle& a, CGraphic& line, double r, short side, const CPoint3d& start,
                     CPoint3d& corner, bool offsetLine);
  ~CGCCompensationC2L() override;
};

// Line L (offset by r when `offsetLine` is set) followed by arc A. The
// corner is where the line meets the offset arc, nearest the arc's start; A
// is reshaped to run from `start` to the corner.
class CGCCompensationL2C : public CGCCompensation {
 public:
  CGCCompensationL2C(CGraphic& line, CGraphicCircle& a, double r, short side, const CPoint3d& start,
                     CPoint3d& corner, bool offsetLine);
  ~CGCCompensationL2C() override;
};

}  // namespace quillet
