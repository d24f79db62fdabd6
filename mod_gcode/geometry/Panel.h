// The working plane of an instruction: rotation and polar arithmetic for the
// coordinate transforms, and the arc element of a circular move with its
// solving and its drawn points.
//
// All arithmetic works on x and y: for the ZX and YZ planes the instruction
// has already exchanged its words so that the plane's two axes are x and y,
// and the arc's points are mapped back to machine axes as they are drawn.
//
// The arc element is held by value, so a plane costs one allocation (its
// own, when the instruction creates it) and solving and drawing an arc
// allocate nothing beyond the output points. No profile object is kept:
// the drawn points go straight into the caller's sequence.
#pragma once
#include <vector>

#include "mod_gcode/geometry/Geometry.h"

namespace quillet {

class CGCPanel {
 public:
  CGCPanel() = default;
  CGCPanel(const CGCPanel&) = default;
  CGCPanel& operator=(const CGCPanel&) = default;
  virtual ~CGCPanel() = default;

  // Turns p's x and y around the origin by `degrees` (counter-clockwise for
  // positive angles); z is unchanged. Nothing in the base.
  virtual void RotatePoint(CPoint3d& p, double degrees) const;
  // `polar` holds the radius in x and the angle in degrees in y; out becomes
  // the cartesian point around `centre`, the angle increased by
  // `extraRadians`, with polar's z. The zero point in the base.
  virtual void PolarToCartesian(CPoint3d& out, const CPoint3d& polar, const CPoint3d& centre,
                                double extraRadians) const;
  // atan(y / x): between -pi/2 and pi/2, so a point on the negative x side
  // gives the angle of the opposite direction; 0 for the origin. 0 in the base.
  virtual double PolarAngle(const CPoint3d& p) const;

  // Solve the held arc by its radius or by its centre offset
  // (`CGraphicCircle::SolveByRadius`, `SolveByCentre`). False when no such
  // arc exists or no arc is held (and always in the base); the arc is then
  // left as it was.
  virtual bool SolveArcByRadius();
  virtual bool SolveArcByCentre();

  // Appends the held arc's drawn points to `out` (`AppendArcPoints`):
  // nothing without an arc, nothing in the base.
  virtual void CreateArcProfile(std::vector<CPoint3d>& out) const;

  // The held arc, null until one is set.
  CGraphicCircle* GetGraphic() { return m_hasGraphic ? &m_graphic : nullptr; }
  const CGraphicCircle* GetGraphic() const { return m_hasGraphic ? &m_graphic : nullptr; }
  // Keeps a copy of the arc (replacing any held before).
  void SetGraphic(const CGraphicCircle& graphic) {
    m_graphic = graphic;
    m_hasGraphic = true;
  }

  // 0 XY (G17), 1 ZX (G18), 2 YZ (G19).
  void SetPlaneCode(short code) { m_planeCode = code; }
  short GetPlaneCode() const { return m_planeCode; }

 protected:
  CGraphicCircle m_graphic;
  bool m_hasGraphic = false;
  short m_planeCode = kPlaneXY;
};

// The plane class that instructions use; it serves all three plane codes.
class CGCPanelG17 final : public CGCPanel {
 public:
  CGCPanelG17() = default;
  explicit CGCPanelG17(short planeCode) { m_planeCode = planeCode; }

  // x' = x cos a - y sin a, y' = y cos a + x sin a, in place.
  static void Rotate2d(double& x, double& y, double radians);
  // x = r cos a, y = r sin a.
  static void PolarToXY(double& x, double& y, double r, double radians);

  void RotatePoint(CPoint3d& p, double degrees) const override;
  void PolarToCartesian(CPoint3d& out, const CPoint3d& polar, const CPoint3d& centre,
                        double extraRadians) const override;
  double PolarAngle(const CPoint3d& p) const override;
  bool SolveArcByRadius() override;
  bool SolveArcByCentre() override;
  void CreateArcProfile(std::vector<CPoint3d>& out) const override;
};

}  // namespace quillet
