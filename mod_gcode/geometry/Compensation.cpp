#include "mod_gcode/geometry/Compensation.h"

#include <cmath>

namespace quillet {

namespace {

bool Finite(const CPoint3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// A line whose ends are at one height (within 2^-23).
bool Planar(const CGraphic& g) { return std::fabs(g.m_start.z - g.m_end.z) < kFloatEpsilon; }

// An arc that runs all the way round: start and end in one point, or solved
// as a whole turn.
bool IsFullCircle(const CGraphicCircle& arc) {
  return PointsEqual(arc.m_start, arc.m_end) || std::fabs(std::fabs(arc.m_sweep) - 2.0 * kPi) < 1e-9;
}

// Whether p lies at `radius` from `centre` in the plane, within 2^-23.
// False for points that are not finite.
bool OnCircle(const CPoint3d& p, const CPoint3d& centre, double radius) {
  const double d = std::hypot(p.x - centre.x, p.y - centre.y);
  return std::fabs(d - radius) < kFloatEpsilon;
}

// Moves the arc from `start` to `corner`, keeping its centre and direction.
void ReshapeArc(CGraphicCircle& arc, const CPoint3d& start, const CPoint3d& corner) {
  arc.m_start = start;
  arc.m_end = corner;
  arc.ComputeSweep();
}

}  // namespace

const CPoint3d& NearerCandidate(const CPoint3d& a0, const CPoint3d& a1, const CPoint3d& ref) {
  return Distance3d(a1, ref) <= Distance3d(a0, ref) ? a1 : a0;
}

int IntersectLines(const CGraphic& l1, const CGraphic& l2, CPoint3d& point) {
  // Each line as a x + b y + c = 0.
  const CPoint3d& p1 = l1.m_start;
  const CPoint3d& q1 = l1.m_end;
  const CPoint3d& p2 = l2.m_start;
  const CPoint3d& q2 = l2.m_end;
  const double a1 = q1.y - p1.y;
  const double b1 = p1.x - q1.x;
  const double c1 = q1.x * p1.y - p1.x * q1.y;
  const double a2 = q2.y - p2.y;
  const double b2 = p2.x - q2.x;
  const double c2 = q2.x * p2.y - p2.x * q2.y;
  const double det = a1 * b2 - b1 * a2;
  // The comparisons are written so that numbers that are not finite count
  // as parallel lines: no point is written from them.
  if (!(std::fabs(det) >= kFloatEpsilon)) {
    return std::fabs(c2 * (a1 + b1) - c1 * (b2 + a2)) < kFloatEpsilon ? kLinesCoincident : kLinesParallel;
  }
  point.x = (b2 * c1 - b1 * c2) / (b1 * a2 - a1 * b2);
  point.y = (a1 * c2 - a2 * c1) / (a2 * b1 - a1 * b2);
  return kLinesCross;
}

int IntersectCircles(const CPoint3d& c1, double r1, const CPoint3d& c2, double r2, CPoint3d& a0, CPoint3d& a1) {
  const double g = std::fabs(r1);
  const double h = std::fabs(r2);
  const double dx = c2.x - c1.x;
  const double dy = c2.y - c1.y;
  const double f = std::hypot(dx, dy);
  if (!std::isfinite(f) || !std::isfinite(g) || !std::isfinite(h)) return kCirclesApart;
  if (f > g + h || f < std::fabs(g - h)) return kCirclesApart;
  // Concentric: only equal radii get here (|g - h| <= f = 0), one circle.
  if (f == 0.0) return kCirclesSame;
  const double th = std::atan2(dy, dx);
  const double e = (g * g + f * f - h * h) / (2.0 * f);
  // Rounding may push the square below zero where the circles touch.
  const double s2 = h * h - (f - e) * (f - e);
  const double s = s2 > 0.0 ? std::sqrt(s2) : 0.0;
  // The perpendicular of the centre line, as atan(-1 / slope).
  const double ph = dy != 0.0 ? std::atan(-dx / dy) : (dx > 0.0 ? -kPi / 2.0 : kPi / 2.0);
  const CPoint3d foot(c1.x + e * std::cos(th), c1.y + e * std::sin(th), c1.z);
  const CPoint3d v(s * std::cos(ph), s * std::sin(ph), 0.0);
  const CPoint3d first = foot + v;
  const CPoint3d second = foot - v;
  if (std::fabs(f - g - h) < kDoubleEpsilon) {
    a0 = first;
    return kCirclesTouch;
  }
  a0 = first;
  a1 = second;
  return kCirclesCross;
}

int IntersectLineCircle(const CPoint3d& first, const CPoint3d& second, const CPoint3d& centre, double radius,
                        CPoint3d& a0, CPoint3d& a1) {
  const CPoint3d& q = first;
  const CPoint3d& p = second;
  const double ar = std::fabs(radius);
  const double dx = p.x - q.x;
  const double dy = p.y - q.y;
  if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(ar) || !Finite(centre)) return 0;
  // A line without direction crosses nothing.
  if (dx == 0.0 && dy == 0.0) return 0;
  CPoint3d r0;
  CPoint3d r1;
  if (std::fabs(kPi / 2.0 - std::atan2(std::fabs(dy), std::fabs(dx))) < kFloatEpsilon) {
    // Vertical (within 2^-23): the vertical through `first`.
    const double ex = std::fabs(q.x - centre.x);
    if (ex - ar >= kFloatEpsilon) return 0;
    const double w = std::fabs(ex - ar) < kFloatEpsilon ? 0.0 : std::sqrt(ar * ar - ex * ex);
    r0.Set(q.x, centre.y + w, 0.0);
    r1.Set(q.x, centre.y - w, 0.0);
  } else {
    // The points x = (n +- sqrt D) / 2m of the slope form, found along the
    // line's direction so that steep lines keep their precision. The
    // direction points to growing x, so the first point has the larger x.
    const double len = std::hypot(dx, dy);
    double ux = dx / len;
    double uy = dy / len;
    if (ux < 0.0) {
      ux = -ux;
      uy = -uy;
    }
    const double t = (centre.x - p.x) * ux + (centre.y - p.y) * uy;
    const CPoint3d foot(p.x + t * ux, p.y + t * uy, 0.0);
    // Distance of the centre from the line; D has the sign of ar^2 - dist^2.
    const double dist = std::fabs((centre.x - p.x) * uy - (centre.y - p.y) * ux);
    const double w2 = (ar - dist) * (ar + dist);
    // Where D is not above zero the line at best touches the circle: its
    // point nearest the centre, which the check below keeps only when it
    // lies on the circle.
    const double w = w2 > 0.0 ? std::sqrt(w2) : 0.0;
    r0.Set(foot.x + w * ux, foot.y + w * uy, 0.0);
    r1.Set(foot.x - w * ux, foot.y - w * uy, 0.0);
  }
  if (!OnCircle(r0, centre, ar) || !OnCircle(r1, centre, ar)) return 0;
  a0 = r0;
  a1 = r1;
  return 2;
}

double ArcOffsetForSide(const CGraphicCircle& arc, double radius, short side) {
  const double d = std::fabs(radius);
  const bool outside = (side == 0) == arc.m_clockwise;
  return outside ? d : -d;
}

// --------------------------------------------------------------- line, line

CGCCompensation::CGCCompensation(CGraphic& a, CGraphic& b, double r, CPoint3d& corner) {
  m_valid = 1;
  if (PointsEqual(a.m_end, a.m_start) && PointsEqual(a.m_end, b.m_start)) {
    // A has no length: the corner is where B's offset begins.
    b.Offset(r);
    corner = b.m_start;
    return;
  }
  a.Offset(r);
  b.Offset(r);
  if (!Planar(a) || !Planar(b)) {
    m_valid = 0;
    return;
  }
  CPoint3d p = corner;
  switch (IntersectLines(a, b, p)) {
    case kLinesCross:
      corner.x = p.x;
      corner.y = p.y;
      corner.z = a.m_end.z;
      break;
    case kLinesParallel:
      corner.z = a.m_end.z;
      break;
    default:  // coincident: straight on
      if (PointsEqual(a.m_end, b.m_start)) corner = b.m_start;
      break;
  }
}

CGCCompensation::~CGCCompensation() = default;

// ----------------------------------------------------------------- arc, arc

CGCCompensationC2C::CGCCompensationC2C(CGraphicCircle& a, CGraphicCircle& b, double radius, short side,
                                       const CPoint3d& start, CPoint3d& corner) {
  const bool aFull = IsFullCircle(a);
  const bool bFull = IsFullCircle(b);
  a.Offset(ArcOffsetForSide(a, radius, side));
  b.Offset(ArcOffsetForSide(b, radius, side));
  CPoint3d p0;
  CPoint3d p1;
  const int result = IntersectCircles(a.m_centre, a.m_radius, b.m_centre, b.m_radius, p0, p1);
  if (result == kCirclesTouch && aFull) {
    corner = a.m_start;
    return;
  }
  if (result == kCirclesTouch && bFull) {
    corner = b.m_start;
    return;
  }
  if (result == kCirclesApart) {
    m_valid = 0;
    return;
  }
  if (result == kCirclesSame) corner = b.m_start;
  else if (result == kCirclesTouch) corner = p0;
  else corner = NearerCandidate(p0, p1, a.m_end);
  ReshapeArc(a, start, corner);
}

CGCCompensationC2C::~CGCCompensationC2C() = default;

namespace {

// Ends the offset arc `a` where it meets the line through `first` and
// `second`: the meeting point nearer `ref` becomes the corner and the arc runs
// from `start` to it. False (arc and corner untouched) when they do not meet.
bool EndArcOnLine(CGraphicCircle& a, const CPoint3d& first, const CPoint3d& second, const CPoint3d& ref,
                  const CPoint3d& start, CPoint3d& corner) {
  CPoint3d p0;
  CPoint3d p1;
  if (IntersectLineCircle(first, second, a.m_centre, a.m_radius, p0, p1) == 0) return false;
  corner = NearerCandidate(p0, p1, ref);
  ReshapeArc(a, start, corner);
  return true;
}

}  // namespace

// ---------------------------------------------------------------- arc, line

CGCCompensationC2L::CGCCompensationC2L(CGraphicCircle& a, CGraphic& line, double r, short side,
                                       const CPoint3d& start, CPoint3d& corner, bool offsetLine) {
  const CGraphicCircle a0 = a;
  if (IsFullCircle(a0)) {
    // The line is taken as it is; the circle gets the side's offset.
    a.Offset(ArcOffsetForSide(a, r, side));
    if (std::fabs(line.m_start.x - line.m_end.x) < kDoubleEpsilon && PointsEqual(a0.m_end, line.m_start)) {
      a.ComputeSweep();
      corner = a.m_start;
      return;
    }
    if (!EndArcOnLine(a, line.m_end, line.m_start, a0.m_end, start, corner)) m_valid = 0;
    return;
  }
  a.Offset(ArcOffsetForSide(a, r, side));
  const CPoint3d lineStart = line.m_start;
  const bool lineEmpty = PointsEqual(line.m_start, line.m_end);
  if (offsetLine) line.Offset(r);
  if (lineEmpty) {
    if (PointsEqual(lineStart, a0.m_end)) {
      const double d = Geometry::Distance2d(lineStart.x, lineStart.y, a0.m_centre.x, a0.m_centre.y);
      if (std::fabs(d - std::fabs(a0.m_radius)) < kDoubleEpsilon) {
        corner = a.m_end;
        a.m_start = start;
        a.ComputeSweep();
      }
    }
    return;
  }
  m_valid = EndArcOnLine(a, line.m_end, line.m_start, a0.m_end, start, corner) ? 1 : 0;
}

CGCCompensationC2L::~CGCCompensationC2L() = default;

// ---------------------------------------------------------------- line, arc

CGCCompensationL2C::CGCCompensationL2C(CGraphic& line, CGraphicCircle& a, double r, short side,
                                       const CPoint3d& start, CPoint3d& corner, bool offsetLine) {
  const CGraphicCircle a0 = a;
  if (IsFullCircle(a0)) {
    a.Offset(ArcOffsetForSide(a, r, side));
    if (!EndArcOnLine(a, line.m_start, line.m_end, a0.m_start, start, corner)) m_valid = 0;
    return;
  }
  if (offsetLine) line.Offset(r);
  a.Offset(ArcOffsetForSide(a, r, side));
  m_valid = EndArcOnLine(a, line.m_start, line.m_end, a0.m_start, start, corner) ? 1 : 0;
}

CGCCompensationL2C::~CGCCompensationL2C() = default;

}  // namespace quillet
