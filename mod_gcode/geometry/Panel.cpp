#include "mod_gcode/geometry/Panel.h"

#include <cmath>

#include "mod_gcode/geometry/Profile.h"

namespace quillet {

// ---------------------------------------------------------------------------
// CGCPanel: a plane that does no arithmetic.

void CGCPanel::RotatePoint(CPoint3d& /*p*/, double /*degrees*/) const {}

void CGCPanel::PolarToCartesian(CPoint3d& out, const CPoint3d& /*polar*/, const CPoint3d& /*centre*/,
                                double /*extraRadians*/) const {
  out.Clear();
}

double CGCPanel::PolarAngle(const CPoint3d& /*p*/) const { return 0.0; }

bool CGCPanel::SolveArcByRadius() { return false; }

bool CGCPanel::SolveArcByCentre() { return false; }

void CGCPanel::CreateArcProfile(std::vector<CPoint3d>& /*out*/) const {}

// ---------------------------------------------------------------------------
// CGCPanelG17

void CGCPanelG17::Rotate2d(double& x, double& y, double radians) {
  const double c = std::cos(radians);
  const double s = std::sin(radians);
  const double x0 = x;
  const double y0 = y;
  x = x0 * c - y0 * s;
  y = y0 * c + x0 * s;
}

void CGCPanelG17::PolarToXY(double& x, double& y, double r, double radians) {
  x = r * std::cos(radians);
  y = r * std::sin(radians);
}

void CGCPanelG17::RotatePoint(CPoint3d& p, double degrees) const { Rotate2d(p.x, p.y, DegToRad(degrees)); }

void CGCPanelG17::PolarToCartesian(CPoint3d& out, const CPoint3d& polar, const CPoint3d& centre,
                                   double extraRadians) const {
  double x = 0.0;
  double y = 0.0;
  PolarToXY(x, y, polar.x, DegToRad(polar.y) + extraRadians);
  out.Set(x + centre.x, y + centre.y, polar.z);
}

double CGCPanelG17::PolarAngle(const CPoint3d& p) const {
  if (p.x == 0.0 && p.y == 0.0) return 0.0;
  return std::atan(p.y / p.x);
}

bool CGCPanelG17::SolveArcByRadius() { return m_hasGraphic && m_graphic.SolveByRadius(); }

bool CGCPanelG17::SolveArcByCentre() { return m_hasGraphic && m_graphic.SolveByCentre(); }

void CGCPanelG17::CreateArcProfile(std::vector<CPoint3d>& out) const {
  if (m_hasGraphic) AppendArcPoints(m_graphic, out);
}

}  // namespace quillet
