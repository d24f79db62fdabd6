// Profiles: a path element turned into the points of a drawn polyline.
// Arcs are divided into chords of 5 degrees.
#pragma once
#include <memory>
#include <vector>

#include "mod_gcode/geometry/Geometry.h"
#include "mod_gcode/geometry/PathRecords.h"

namespace quillet {

// Appends the points of a solved arc to `out`, each mapped from the arc's
// own frame to machine axes by its plane (`SwapForPlane`):
//  - with step = 5 degrees (negative for a clockwise sweep) and n = the whole
//    part of |sweep / step| (at most 72, one turn), the points at angles
//    i x step for i = 0..n around the centre, at heights climbing evenly
//    from the start's z by (end z - start z) / n per step (by the whole
//    difference when n is 0; none when it is below 2^-52);
//  - then the point at the full sweep with the end's z, then the end point.
// Nothing is appended when the sweep is not finite. `out` only grows (its
// capacity at least doubling), so a caller that reuses it pays no further
// allocation.
void AppendArcPoints(const CGraphicCircle& arc, std::vector<CPoint3d>& out);

// The number of 5-degree chords that fit a sweep (n above); -1 when the sweep
// is not finite.
int ArcStepCount(double sweep);

class CProfile {
 public:
  CPathStyle m_style;
  std::vector<CPoint3d> m_points;

  // Around an element (owned), with the default style.
  explicit CProfile(std::unique_ptr<CGraphic> graphic);
  // Around an element, with a pattern, a width and the colour x, y, z
  // (alpha 0); the primitive kind is 3 (line strip).
  CProfile(std::unique_ptr<CGraphic> graphic, short pattern, float width, const CPoint3d& colour);
  CProfile(const CProfile&) = delete;
  CProfile& operator=(const CProfile&) = delete;
  virtual ~CProfile();

  // Maps p from the element's frame to machine axes and appends it to the
  // profile's points. The style's point count is left as it is.
  virtual void AddPoint(const CPoint3d& p);
  // Appends the element's points to `out`: nothing for a plain profile.
  virtual void Tessellate(std::vector<CPoint3d>& out);

  const CGraphic* GetGraphic() const { return m_graphic.get(); }

 protected:
  std::unique_ptr<CGraphic> m_graphic;
};

// The profile of an arc.
class CProfileCircle : public CProfile {
 public:
  explicit CProfileCircle(std::unique_ptr<CGraphicCircle> arc);
  CProfileCircle(std::unique_ptr<CGraphicCircle> arc, short pattern, float width, const CPoint3d& colour);
  ~CProfileCircle() override;

  // Replaces the profile's points by the arc's (see AppendArcPoints) and
  // appends them to `out`.
  void Tessellate(std::vector<CPoint3d>& out) override;

  const CGraphicCircle* GetArc() const { return m_arc; }

 private:
  const CGraphicCircle* m_arc;  // the owned element, seen as an arc
};

}  // namespace quillet
