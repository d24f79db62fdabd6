// Point operations, planar geometry and the path elements that arcs and
// cutter-radius compensation work on.
//
// All planar work is done in an element's own x-y frame. For the ZX and YZ
// working planes the instruction layer has already exchanged the axes so
// that the plane's two axes are x and y; `SwapForPlane` maps points back to
// machine axes when they are drawn.
#pragma once
#include <cmath>
#include <cstdint>

#include "mod_gcode/text/MathUtil.h"
#include "mod_gcode/geometry/PathRecords.h"

namespace quillet {

// ---------------------------------------------------------------------------
// Point operations

inline CPoint3d SubtractPoints(const CPoint3d& a, const CPoint3d& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline CPoint3d AddPoints(const CPoint3d& a, const CPoint3d& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline void AddInPlace(CPoint3d& a, const CPoint3d& b) { a.x += b.x; a.y += b.y; a.z += b.z; }
inline double DotProduct(const CPoint3d& a, const CPoint3d& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double Length(const CPoint3d& a) { return std::sqrt(DotProduct(a, a)); }
inline double Distance3d(const CPoint3d& a, const CPoint3d& b) { return Length(SubtractPoints(a, b)); }

// Relative equality: |a - b| x 100000 is not greater than the larger
// magnitude. 0 equals only 0; NaN equals nothing.
inline bool NumbersEqual(double a, double b) {
  return std::fabs(a - b) * 100000.0 <= std::fmax(std::fabs(a), std::fabs(b));
}
inline bool PointsEqual(const CPoint3d& p, const CPoint3d& q) {
  return NumbersEqual(p.x, q.x) && NumbersEqual(p.y, q.y) && NumbersEqual(p.z, q.z);
}

// Working-plane codes.
inline constexpr short kPlaneXY = 0;  // G17
inline constexpr short kPlaneZX = 1;  // G18
inline constexpr short kPlaneYZ = 2;  // G19

// Exchanges axes between machine order and a plane's own frame: plane 1
// exchanges y and z, plane 2 exchanges x and z, any other code leaves the
// point. The exchange is its own inverse, so it maps both ways.
inline CPoint3d SwapForPlane(const CPoint3d& p, short plane) {
  switch (plane) {
    case kPlaneZX: return {p.x, p.z, p.y};
    case kPlaneYZ: return {p.z, p.y, p.x};
    default: return p;
  }
}

struct CColor4f {
  float r = 0.f, g = 0.f, b = 0.f, a = 0.f;
};

// The colour x, y, z with alpha 0.
inline CColor4f PointToColor(const CPoint3d& p) {
  return {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z), 0.f};
}

// ---------------------------------------------------------------------------
// Planar geometry (x and y only)

// Start and end of an arc count as one point (a full circle) when they agree
// in x and y within 1e-7 mm plus 1e-9 of the coordinates' magnitude.
// Programs give coordinates with at most 3-4 decimals, so two programmed
// points that differ at all differ by at least 1e-4 mm: a thousand times the
// tolerance. Points that are equal in the program stay within it after unit
// conversion and coordinate transforms, whose rounding is about 1e-16 of the
// magnitude per operation; the relative part keeps this true for large
// machine coordinates.
inline constexpr double kCoincidentAbs = 1e-7;
inline constexpr double kCoincidentRel = 1e-9;

// An arc given by its centre is accepted when the centre's distances to the
// start and the end differ by at most max(0.01 mm, 1e-4 x radius): CAM
// output rounds I, J, K to 3-4 decimals, which moves the centre by up to
// about 0.0007 mm (and 0.0035 mm for inch programs), well inside this.
inline constexpr double kCentreMismatchAbs = 0.01;
inline constexpr double kCentreMismatchRel = 1e-4;

// How far a chord may exceed the diameter 2|R| and still get a centre.
inline constexpr double kChordSlack = 0.000025;

// Arcs are drawn as chords of 5 degrees.
inline constexpr int kArcStepsPerTurn = 72;

template <typename T>
class CGeometry {
 public:
  virtual ~CGeometry() = default;

  static T Distance2d(T x1, T y1, T x2, T y2);

  // Distance of p from the line through a and b; `foot` gets the foot of the
  // perpendicular (its z is p's z).
  static T FootOfPerpendicular(const CPoint3d& a, const CPoint3d& b, const CPoint3d& p, CPoint3d& foot);

  // The vector of length |d| square to `direction`, turned clockwise from it
  // for d > 0: (d sin th, -d cos th) with th the direction's angle.
  static void OffsetVector(const CPoint3d& direction, T d, T& dx, T& dy);

  // Centre of the arc of radius `radius` from (x1, y1) to (x2, y2): the arc
  // of at most half a circle for radius >= 0, the larger one for radius < 0.
  // False, with nothing written, when the chord exceeds 2|radius| by more
  // than kChordSlack or an input is not finite. A chord between 2|radius|
  // and 2|radius| + kChordSlack gives the midpoint.
  static bool ArcCentre(T x1, T y1, T x2, T y2, T radius, bool clockwise, T& cx, T& cy);

  // ArcCentre and the signed sweep of that arc (negative when clockwise).
  // False when there is no centre, when the radius is 0 or when start and end
  // coincide (a full circle cannot be given by a radius).
  static bool ArcCentreAndSweep(T x1, T y1, T x2, T y2, T radius, bool clockwise, T& cx, T& cy, T& sweep);

  // Tolerance within which two points of an arc count as one (see
  // kCoincidentAbs), and the test itself on x and y.
  static T CoincidenceTolerance(const CPoint3d& p, const CPoint3d& q);
  static bool CoincidentInPlane(const CPoint3d& p, const CPoint3d& q);

  // Signed angle swept when turning from a to b around the origin in the
  // given direction: in (0, 2 pi) counter-clockwise, in (-2 pi, 0)
  // clockwise; 0 when a and b point exactly the same way.
  static T SweepBetween(const CPoint3d& a, const CPoint3d& b, bool clockwise);

  // Signed sweep of the arc from start to end around centre going the given
  // way, in (0, 2 pi] in magnitude, negative when clockwise. A full turn when
  // start and end coincide, and also when the end lies on the start's ray
  // from the centre (no movement along the arc, only a radial step within
  // the centre tolerance): turning from an angle to the same angle in a
  // given direction is a whole turn. A tiny arc stays tiny. 0 only when the
  // start or the end is at the centre.
  static T ArcSweep(const CPoint3d& start, const CPoint3d& end, const CPoint3d& centre, bool clockwise);

  // The unsigned angle between a and b, in [0, pi]; 0 when either is zero.
  static T AngleBetween(const CPoint3d& a, const CPoint3d& b);
};

using Geometry = CGeometry<double>;
extern template class CGeometry<double>;

// ---------------------------------------------------------------------------
// Path elements

// A straight path element (kind 0), or the base of an arc.
class CGraphic {
 public:
  static constexpr std::int32_t kLine = 0;
  static constexpr std::int32_t kArc = 3;

  CPoint3d m_start;
  CPoint3d m_end;
  std::int32_t m_kind = kLine;
  short m_plane = kPlaneXY;

  CGraphic() = default;
  CGraphic(const CPoint3d& start, const CPoint3d& end, short plane) : m_start(start), m_end(end), m_plane(plane) {}
  CGraphic(const CGraphic&) = default;
  CGraphic& operator=(const CGraphic&) = default;
  // Virtual so that an owner may delete an arc through a pointer to this base.
  virtual ~CGraphic() = default;

  // start - end.
  CPoint3d Direction() const { return SubtractPoints(m_start, m_end); }
  // atan2 of the direction's y and x.
  double Angle() const;
  // Moves the element sideways by d: to the left of the direction of travel
  // for d > 0, to the right for d < 0. An element of no planar length moves
  // by (-d, 0).
  void Offset(double d);
};

// An arc. The centre and sweep are known once it is solved (or when given).
class CGraphicCircle : public CGraphic {
 public:
  CPoint3d m_centre;
  CPoint3d m_centreOffset;  // I, J, K: the centre's offset from the start
  double m_radius = 0.0;    // negative when the arc was programmed with R < 0
  double m_sweep = 0.0;     // signed swept angle in radians, negative clockwise
  bool m_clockwise = false;

  CGraphicCircle() { m_kind = kArc; }
  CGraphicCircle(const CPoint3d& start, const CPoint3d& end, const CPoint3d& centre, const CPoint3d& centreOffset,
                 double radius, double sweep, bool clockwise, short plane);
  CGraphicCircle(const CGraphicCircle&) = default;
  CGraphicCircle& operator=(const CGraphicCircle&) = default;

  CPoint3d StartRadius() const { return SubtractPoints(m_start, m_centre); }
  CPoint3d EndRadius() const { return SubtractPoints(m_end, m_centre); }

  // Sets the sweep from the start, end, centre and direction
  // (`CGeometry::ArcSweep`): a full circle when start and end coincide,
  // otherwise the angle from start to end going the arc's way.
  void ComputeSweep();

  // Moves p radially onto the circle of radius |r| around the centre; p
  // takes the centre's z.
  void ProjectToRadius(double r, CPoint3d& p) const;

  // Changes the radius by d (away from zero for d > 0; a negative radius
  // becomes radius - d) and projects start and end onto it. The centre stays.
  void Offset(double d);

  // Foot of the perpendicular from the centre onto the line through a and b.
  CPoint3d FootFromCentre(const CPoint3d& a, const CPoint3d& b) const;

  // Solves the centre and sweep from start, end, the radius and the
  // direction. False when no such arc exists (radius 0 or too small for the
  // chord, start and end coincident, input not finite); the element is then
  // left as it was.
  virtual bool SolveByRadius();

  // Solves from the centre offset: centre = start + offset, radius = planar
  // distance of the start from it, sweep going the arc's way (`ArcSweep`: a
  // full circle when start and end coincide). False when the centre's distances to start
  // and end differ by more than max(kCentreMismatchAbs, kCentreMismatchRel x
  // radius), when the radius is nil or input is not finite; the element is
  // then left as it was.
  virtual bool SolveByCentre();
};

}  // namespace quillet
