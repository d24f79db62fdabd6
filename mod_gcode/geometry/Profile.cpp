#include "mod_gcode/geometry/Profile.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quillet {

namespace {

// cos and sin of i x 5 degrees, i = 0..72: every arc uses the same angles,
// so they are computed once.
struct StepTable {
  std::array<double, kArcStepsPerTurn + 1> cosine{};
  std::array<double, kArcStepsPerTurn + 1> sine{};
};

const StepTable& Steps() {
  static const StepTable table = [] {
    StepTable t;
    const double step = 2.0 * kPi / kArcStepsPerTurn;
    for (int i = 0; i <= kArcStepsPerTurn; ++i) {
      t.cosine[i] = std::cos(i * step);
      t.sine[i] = std::sin(i * step);
    }
    return t;
  }();
  return table;
}

// Produces the arc's points in its own frame, in drawing order, handing
// each to `add`.
template <typename Add>
void ForEachArcPoint(const CGraphicCircle& arc, int n, Add&& add) {
  const StepTable& steps = Steps();
  const double turn = arc.m_sweep < 0 ? -1.0 : 1.0;  // sin(-x) = -sin(x)
  const CPoint3d& c = arc.m_centre;
  const double vx = arc.m_start.x - c.x;
  const double vy = arc.m_start.y - c.y;
  const double dz = arc.m_end.z - arc.m_start.z;
  double rise = 0.0;
  if (std::fabs(dz) >= kDoubleEpsilon) rise = n > 0 ? dz / n : dz;
  for (int i = 0; i <= n; ++i) {
    const double cs = steps.cosine[i];
    const double sn = turn * steps.sine[i];
    add(CPoint3d(c.x + vx * cs - vy * sn, c.y + vx * sn + vy * cs, arc.m_start.z + i * rise));
  }
  const double cs = std::cos(arc.m_sweep);
  const double sn = std::sin(arc.m_sweep);
  add(CPoint3d(c.x + vx * cs - vy * sn, c.y + vx * sn + vy * cs, arc.m_end.z));
  add(arc.m_end);
}

// Makes room for `extra` more points, growing at least geometrically so
// that repeated appends stay linear.
void Reserve(std::vector<CPoint3d>& out, std::size_t extra) {
  const std::size_t need = out.size() + extra;
  if (need > out.capacity()) out.reserve(std::max(need, 2 * out.capacity()));
}

}  // namespace

int ArcStepCount(double sweep) {
  if (!std::isfinite(sweep)) return -1;
  const double step = 2.0 * kPi / kArcStepsPerTurn;
  // A sweep that is a whole number of steps (a quarter or a full circle)
  // keeps its last step despite rounding in the sweep and the division.
  const double steps = std::fabs(sweep) / step + 1e-9;
  // One turn at most: a solved sweep never exceeds 2 pi, and a larger one
  // must not produce a runaway number of points.
  if (!(steps < kArcStepsPerTurn)) return kArcStepsPerTurn;
  return static_cast<int>(steps);
}

void AppendArcPoints(const CGraphicCircle& arc, std::vector<CPoint3d>& out) {
  const int n = ArcStepCount(arc.m_sweep);
  if (n < 0) return;
  Reserve(out, static_cast<std::size_t>(n) + 3);
  const short plane = arc.m_plane;
  ForEachArcPoint(arc, n, [&](const CPoint3d& p) { out.push_back(SwapForPlane(p, plane)); });
}

// ---------------------------------------------------------------------------
// CProfile

CProfile::CProfile(std::unique_ptr<CGraphic> graphic) : m_graphic(std::move(graphic)) {}

CProfile::CProfile(std::unique_ptr<CGraphic> graphic, short pattern, float width, const CPoint3d& colour)
    : m_graphic(std::move(graphic)) {
  const CColor4f c = PointToColor(colour);
  m_style.r = c.r;
  m_style.g = c.g;
  m_style.b = c.b;
  m_style.a = c.a;
  m_style.width = width;
  m_style.kind = 3;
  m_style.pattern = pattern;
}

CProfile::~CProfile() = default;

void CProfile::AddPoint(const CPoint3d& p) {
  m_points.push_back(SwapForPlane(p, m_graphic ? m_graphic->m_plane : kPlaneXY));
}

void CProfile::Tessellate(std::vector<CPoint3d>& /*out*/) {}

// ---------------------------------------------------------------------------
// CProfileCircle

CProfileCircle::CProfileCircle(std::unique_ptr<CGraphicCircle> arc) : CProfile(nullptr), m_arc(arc.get()) {
  m_graphic = std::move(arc);
}

CProfileCircle::CProfileCircle(std::unique_ptr<CGraphicCircle> arc, short pattern, float width,
                               const CPoint3d& colour)
    : CProfile(nullptr, pattern, width, colour), m_arc(arc.get()) {
  m_graphic = std::move(arc);
}

CProfileCircle::~CProfileCircle() = default;

void CProfileCircle::Tessellate(std::vector<CPoint3d>& out) {
  m_points.clear();
  if (m_arc == nullptr) return;
  const int n = ArcStepCount(m_arc->m_sweep);
  if (n < 0) return;
  m_points.reserve(static_cast<std::size_t>(n) + 3);
  ForEachArcPoint(*m_arc, n, [this](const CPoint3d& p) { AddPoint(p); });
  Reserve(out, m_points.size());
  out.insert(out.end(), m_points.begin(), m_points.end());
}

}  // namespace quillet
