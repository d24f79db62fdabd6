#include "mod_gcode/geometry/Geometry.h"

#include <algorithm>

namespace quillet {

namespace {

constexpr double kTwoPi = 2.0 * kPi;

bool Finite(const CPoint3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

}  // namespace

// ---------------------------------------------------------------------------
// CGeometry

template <typename T>
T CGeometry<T>::Distance2d(T x1, T y1, T x2, T y2) {
  return std::hypot(x2 - x1, y2 - y1);
}

template <typename T>
T CGeometry<T>::FootOfPerpendicular(const CPoint3d& a, const CPoint3d& b, const CPoint3d& p, CPoint3d& foot) {
  const T dx = b.x - a.x;
  const T dy = b.y - a.y;
  if (std::fabs(dx) < kFloatEpsilon) {
    // A vertical line (or a and b in one point): the foot keeps p's y.
    foot.Set(a.x, p.y, p.z);
    return Distance2d(p.x, p.y, foot.x, foot.y);
  }
  // Projection onto the direction; unlike slope and intercept it keeps its
  // precision for steep lines.
  const T len2 = dx * dx + dy * dy;
  const T t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2;
  foot.Set(a.x + t * dx, a.y + t * dy, p.z);
  return std::fabs(dx * (p.y - a.y) - dy * (p.x - a.x)) / std::sqrt(len2);
}

template <typename T>
void CGeometry<T>::OffsetVector(const CPoint3d& direction, T d, T& dx, T& dy) {
  const T len = std::hypot(direction.x, direction.y);
  if (len == 0) {
    dx = -d;
    dy = 0;
    return;
  }
  dx = d * (direction.y / len);
  dy = -d * (direction.x / len);
}

template <typename T>
bool CGeometry<T>::ArcCentre(T x1, T y1, T x2, T y2, T radius, bool clockwise, T& cx, T& cy) {
  if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2) || !std::isfinite(radius)) {
    return false;
  }
  const T mx = (x1 + x2) / 2;
  const T my = (y1 + y2) / 2;
  const T dx = x2 - x1;
  const T dy = y2 - y1;
  const T chord = std::hypot(dx, dy);
  const T diameter = 2 * std::fabs(radius);
  if (chord - diameter > kChordSlack) return false;
  if (std::fabs(chord - diameter) < 1e-13) {
    cx = mx;
    cy = my;
    return true;
  }
  if (chord == 0) return false;  // every point of the circle would do
  // A chord up to kChordSlack longer than the diameter is taken as the
  // diameter: h is capped at |R|.
  const T h = std::min(chord, diameter) / 2;
  const T H = std::sqrt(radius * radius - h * h);
  // The centre lies on the chord's perpendicular bisector, H from the
  // midpoint: left of the direction of travel for a counter-clockwise arc of
  // at most half a circle, right of it for a clockwise one; a negative radius
  // asks for the larger arc, whose centre is the reflection through m.
  const bool left = (!clockwise) == (radius >= 0);
  const T s = left ? H / chord : -H / chord;
  T x = mx - s * dy;
  T y = my + s * dx;
  if (radius < 0) {
    if (std::fabs(x) < kDoubleEpsilon) x = 0;
    if (std::fabs(y) < kDoubleEpsilon) y = 0;
  }
  cx = x;
  cy = y;
  return true;
}

template <typename T>
bool CGeometry<T>::ArcCentreAndSweep(T x1, T y1, T x2, T y2, T radius, bool clockwise, T& cx, T& cy, T& sweep) {
  const CPoint3d start(x1, y1, 0);
  const CPoint3d end(x2, y2, 0);
  if (radius == 0 || !std::isfinite(radius)) return false;
  if (!Finite(start) || !Finite(end) || CoincidentInPlane(start, end)) return false;
  T x = 0;
  T y = 0;
  if (!ArcCentre(x1, y1, x2, y2, radius, clockwise, x, y)) return false;
  const T s = ArcSweep(start, end, CPoint3d(x, y, 0), clockwise);
  if (!std::isfinite(s) || s == 0) return false;
  cx = x;
  cy = y;
  sweep = s;
  return true;
}

template <typename T>
T CGeometry<T>::CoincidenceTolerance(const CPoint3d& p, const CPoint3d& q) {
  const T magnitude = std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(q.x), std::fabs(q.y)});
  return kCoincidentAbs + kCoincidentRel * magnitude;
}

template <typename T>
bool CGeometry<T>::CoincidentInPlane(const CPoint3d& p, const CPoint3d& q) {
  const T tol = CoincidenceTolerance(p, q);
  return std::fabs(p.x - q.x) <= tol && std::fabs(p.y - q.y) <= tol;
}

template <typename T>
T CGeometry<T>::SweepBetween(const CPoint3d& a, const CPoint3d& b, bool clockwise) {
  const T cross = a.x * b.y - a.y * b.x;
  const T dot = a.x * b.x + a.y * b.y;
  // atan2 keeps full precision for tiny angles, where acos of the cosine
  // would lose it.
  T angle = std::atan2(cross, dot);  // in [-pi, pi]
  if (clockwise) {
    if (angle > 0) angle -= kTwoPi;
  } else {
    if (angle < 0) angle += kTwoPi;
  }
  return angle;
}

template <typename T>
T CGeometry<T>::ArcSweep(const CPoint3d& start, const CPoint3d& end, const CPoint3d& centre, bool clockwise) {
  const T fullTurn = clockwise ? -kTwoPi : kTwoPi;
  if (CoincidentInPlane(start, end)) return fullTurn;
  const CPoint3d a(start.x - centre.x, start.y - centre.y, 0);
  const CPoint3d b(end.x - centre.x, end.y - centre.y, 0);
  const T ra = std::hypot(a.x, a.y);
  if (ra == 0) return 0;
  const T cross = a.x * b.y - a.y * b.x;
  const T dot = a.x * b.x + a.y * b.y;
  // |cross| / ra is the end's distance from the start's ray.
  if (dot > 0 && std::fabs(cross) <= CoincidenceTolerance(start, end) * ra) return fullTurn;
  return SweepBetween(a, b, clockwise);
}

template <typename T>
T CGeometry<T>::AngleBetween(const CPoint3d& a, const CPoint3d& b) {
  const T cross = a.x * b.y - a.y * b.x;
  const T dot = a.x * b.x + a.y * b.y;
  return std::atan2(std::fabs(cross), dot);
}

template class CGeometry<double>;

// ---------------------------------------------------------------------------
// CGraphic

double CGraphic::Angle() const {
  const CPoint3d d = Direction();
  return std::atan2(d.y, d.x);
}

void CGraphic::Offset(double d) {
  double dx = 0.0;
  double dy = 0.0;
  Geometry::OffsetVector(Direction(), d, dx, dy);
  const CPoint3d v(dx, dy, 0.0);
  AddInPlace(m_start, v);
  AddInPlace(m_end, v);
}

// ---------------------------------------------------------------------------
// CGraphicCircle

CGraphicCircle::CGraphicCircle(const CPoint3d& start, const CPoint3d& end, const CPoint3d& centre,
                               const CPoint3d& centreOffset, double radius, double sweep, bool clockwise, short plane)
    : CGraphic(start, end, plane),
      m_centre(centre),
      m_centreOffset(centreOffset),
      m_radius(radius),
      m_sweep(sweep),
      m_clockwise(clockwise) {
  m_kind = kArc;
}

void CGraphicCircle::ComputeSweep() { m_sweep = Geometry::ArcSweep(m_start, m_end, m_centre, m_clockwise); }

void CGraphicCircle::ProjectToRadius(double r, CPoint3d& p) const {
  const double vx = p.x - m_centre.x;
  const double vy = p.y - m_centre.y;
  const double len = std::hypot(vx, vy);
  const double ar = std::fabs(r);
  if (len == 0) {
    // No direction: the angle is taken as 0.
    p.Set(m_centre.x + ar, m_centre.y, m_centre.z);
    return;
  }
  p.Set(m_centre.x + vx * (ar / len), m_centre.y + vy * (ar / len), m_centre.z);
}

void CGraphicCircle::Offset(double d) {
  m_radius = m_radius < 0 ? m_radius - d : m_radius + d;
  ProjectToRadius(m_radius, m_start);
  ProjectToRadius(m_radius, m_end);
}

CPoint3d CGraphicCircle::FootFromCentre(const CPoint3d& a, const CPoint3d& b) const {
  CPoint3d foot;
  Geometry::FootOfPerpendicular(a, b, m_centre, foot);
  return foot;
}

bool CGraphicCircle::SolveByRadius() {
  double cx = 0.0;
  double cy = 0.0;
  double sweep = 0.0;
  if (!Finite(m_start) || !Finite(m_end)) return false;
  if (!Geometry::ArcCentreAndSweep(m_start.x, m_start.y, m_end.x, m_end.y, m_radius, m_clockwise, cx, cy, sweep)) {
    return false;
  }
  m_centre.Set(cx, cy, 0.0);
  m_sweep = sweep;
  m_kind = kArc;
  return true;
}

bool CGraphicCircle::SolveByCentre() {
  const CPoint3d centre = AddPoints(m_start, m_centreOffset);
  if (!Finite(m_start) || !Finite(m_end) || !Finite(centre)) return false;
  // A centre on the start gives no circle.
  if (Geometry::CoincidentInPlane(m_start, centre)) return false;
  const double rs = std::hypot(m_start.x - centre.x, m_start.y - centre.y);
  const double re = std::hypot(m_end.x - centre.x, m_end.y - centre.y);
  const double tolerance = std::max(kCentreMismatchAbs, kCentreMismatchRel * std::max(rs, re));
  if (std::fabs(rs - re) > tolerance) return false;
  m_centre = centre;
  m_radius = rs;
  m_sweep = Geometry::ArcSweep(m_start, m_end, centre, m_clockwise);
  m_kind = kArc;
  return true;
}

}  // namespace quillet
