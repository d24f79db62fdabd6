#include "mod_gcode/instructions/Transform.h"

#include <algorithm>
#include <cmath>

#include "mod_gcode/text/MathUtil.h"
#include "mod_gcode/geometry/Panel.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet {

namespace {

// The defining instruction's X, Y, Z values (0 for absent words).
CPoint3d DefiningPoint(const CGCInstruction* d) {
  return d ? d->Words().GetValuePointOrZero() : CPoint3d();
}

// The same point in the axis order of a plane (the defining instruction
// keeps its words in the order of its own plane).
CPoint3d DefiningPointIn(const CGCInstruction* d, int planeCode) {
  if (!d) return CPoint3d();
  const short own = static_cast<short>(d->GetPlaneCode());
  return SwapForPlane(SwapForPlane(DefiningPoint(d), own), static_cast<short>(planeCode));
}

// The centre of a rotation: the positions of its defining instruction's
// axis words (the programmed centre, scaled when it was programmed while
// scaling was on), in the axis order of a plane.
CPoint3d RotationCentreIn(const CGCInstruction* d, int planeCode) {
  if (!d) return CPoint3d();
  const short own = static_cast<short>(d->GetPlaneCode());
  return SwapForPlane(SwapForPlane(d->Words().GetPositionPoint(), own), static_cast<short>(planeCode));
}

}  // namespace

CGCTransform::CGCTransform(short type, const CGCInstruction* defining) : m_type(type) {
  if (defining) m_defining = std::make_shared<CGCInstructionCopy>(*defining);
}

CGCTransform::CGCTransform(const CGCTransform& o)
    : m_defining(o.m_defining ? std::make_shared<CGCInstructionCopy>(*o.m_defining) : nullptr),
      m_type(o.m_type),
      m_flip(o.m_flip) {}

CTransformChain::CTransformChain(const CTransformChain& o) : m_count(0), m_refs(0) {
  for (int i = 0; i < o.m_count; ++i) m_items[m_count++] = o.m_items[i]->Clone();
}

void CTransformChain::Add(std::unique_ptr<CGCTransform> t) {
  if (m_count < kMax && t) m_items[m_count++] = std::move(t);
}

CGCTransform* CTransformChain::Find(short type) const {
  for (int i = 0; i < m_count; ++i)
    if (m_items[i]->IsType(type)) return m_items[i].get();
  return nullptr;
}

void CGCTransformPolar::Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction*) {
  CPoint3d out;
  CGCPanelG17(static_cast<short>(planeCode)).PolarToCartesian(out, point, CPoint3d(), 0.0);
  point = out;
  if (CGCWordRef w = instr.GetWord(0)) w.MarkSpecified();
  if (CGCWordRef w = instr.GetWord(1)) w.MarkSpecified();
}

void CGCTransformPolar::UnmapPoint(CPoint3d& p, int) const {
  const double radius = std::hypot(p.x, p.y);
  const double angle = radius == 0.0 ? 0.0 : RadToDeg(std::atan2(p.y, p.x));
  p.x = radius;
  p.y = angle;
}

namespace {
// The defining mirror's axis words in a plane's order.
void MirrorAxes(int planeCode, int axis[3]) {
  axis[0] = 0;
  axis[1] = 1;
  axis[2] = 2;
  if (planeCode == 1) { axis[1] = 2; axis[2] = 1; }
  if (planeCode == 2) { axis[0] = 2; axis[2] = 0; }
}
}  // namespace

void CGCTransformMirror::MapDisplacement(CPoint3d& v, int planeCode) const {
  const CGCInstruction* d = Defining();
  int axis[3];
  MirrorAxes(planeCode, axis);
  for (int k = 0; k < 3; ++k)
    if (d && d->Words().IsSpecified(axis[k])) v.At(k) = -v.At(k);
}

bool CGCTransformMirror::MirrorsPlane(int planeCode) const {
  const CGCInstruction* d = Defining();
  if (!d) return false;
  int axis[3];
  MirrorAxes(planeCode, axis);
  return d->Words().IsSpecified(axis[0]) != d->Words().IsSpecified(axis[1]);
}

void CGCTransformMirror::UnmapPoint(CPoint3d& p, int planeCode) const {
  const CGCInstruction* d = Defining();
  int axis[3];
  MirrorAxes(planeCode, axis);
  for (int k = 0; k < 3; ++k)
    if (d && d->Words().IsSpecified(axis[k])) p.At(k) = 2.0 * d->Words().GetValue(axis[k]) - p.At(k);
}

void CGCTransformMirror::Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction*) {
  const CGCInstruction* d = Defining();
  int axis[3];
  MirrorAxes(planeCode, axis);
  double sign[3] = {1, 1, 1};
  for (int k = 0; k < 3; ++k) {
    if (d && d->Words().IsSpecified(axis[k])) {
      double v = d->Words().GetValue(axis[k]);
      point.At(k) = 2.0 * v - point.At(k);
      sign[k] = -1;
    }
  }
  m_flip = sign[0] * sign[1] < 0;
  short kind = instr.GetKind();
  if ((kind == kKindCircleCw || kind == kKindCircleCcw) && !instr.Words().IsSpecified(kWordR)) {
    for (int k = 0; k < 3; ++k)
      if (instr.Words().IsSpecified(3 + k)) instr.PutWordPosition(3 + k, sign[k] * instr.GetWordValue(3 + k));
  }
}

bool CGCTransformScale::Factors(int planeCode, double f[3]) const {
  // Factors along this plane's axes: I, J and K scale X, Y and Z; P all.
  const CGCInstruction* d = Defining();
  f[0] = f[1] = f[2] = 1.0;
  if (d && d->Words().IsSpecified(kWordP)) {
    f[0] = f[1] = f[2] = d->GetWordValue(kWordP) / 1000.0;
    return true;
  }
  const int own = d ? d->GetPlaneCode() : 0;
  for (int k = 0; k < 3; ++k) {
    const int word = 3 + PlaneWordIndex(PlaneWordIndex(k, planeCode), own);
    if (d && d->Words().IsSpecified(word)) f[k] = d->GetWordValue(word) / 1000.0;
  }
  return false;
}

bool CGCTransformScale::MirrorsPlane(int planeCode) const {
  double f[3];
  Factors(planeCode, f);
  return (f[0] < 0.0) != (f[1] < 0.0);
}

CPoint3d CGCTransformScale::MapPoint(CPoint3d p, int planeCode) const {
  const CPoint3d c = DefiningPointIn(Defining(), planeCode);
  double f[3];
  Factors(planeCode, f);
  for (int k = 0; k < 3; ++k) p.At(k) = c.At(k) + f[k] * (p.At(k) - c.At(k));
  return p;
}

void CGCTransformScale::MapDisplacement(CPoint3d& v, int planeCode) const {
  double f[3];
  Factors(planeCode, f);
  for (int k = 0; k < 3; ++k) v.At(k) *= f[k];
}

void CGCTransformScale::UnmapDisplacement(CPoint3d& v, int planeCode) const {
  double f[3];
  Factors(planeCode, f);
  for (int k = 0; k < 3; ++k)
    if (f[k] != 0.0) v.At(k) /= f[k];
}

void CGCTransformScale::UnmapPoint(CPoint3d& p, int planeCode) const {
  const CPoint3d c = DefiningPointIn(Defining(), planeCode);
  double f[3];
  Factors(planeCode, f);
  for (int k = 0; k < 3; ++k)
    if (f[k] != 0.0) p.At(k) = c.At(k) + (p.At(k) - c.At(k)) / f[k];
}

void CGCTransformScale::Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction*) {
  const CGCInstruction* d = Defining();
  CPoint3d c = DefiningPointIn(d, planeCode);
  CPoint3d v = point - c;
  bool hasR = instr.Words().GetCount() > 5;
  double r = hasR ? instr.GetWordValue(kWordR) : 0.0;
  bool rSpecified = hasR && instr.Words().IsSpecified(kWordR);
  const bool cycle = instr.GetKind() == kKindCycle;
  double f[3];
  if (Factors(planeCode, f)) {
    if (rSpecified && !cycle) instr.PutWordPosition(kWordR, std::fabs(r * f[0]));
  } else {
    m_negative = f[0] * f[1] < 0;
    if (rSpecified && !cycle) instr.PutWordPosition(kWordR, std::fabs(r * std::max(f[0], f[1])));
  }
  v = CPoint3d(f[0] * v.x, f[1] * v.y, f[2] * v.z);
  // A cycle's R level is a level along the third axis, scaled like Z.
  if (cycle && rSpecified && instr.Words().IsAbsolute(kWordR)) instr.PutWordPosition(kWordR, c.z + f[2] * (r - c.z));
  point = c + v;
  if (instr.Words().GetCount() >= 4 && !rSpecified && !cycle) {
    for (int k = 0; k < 3; ++k)
      if (instr.Words().IsSpecified(3 + k)) instr.PutWordPosition(3 + k, instr.GetWordValue(3 + k) * f[k]);
  }
}

void CGCTransformRot::Turn(CPoint3d& v, int planeCode, double sense) const {
  const CGCInstruction* d = Defining();
  double deg = d ? d->GetWordValue(kWordR) : 0.0;
  // Positive angles turn counter-clockwise seen from the positive end of the
  // plane's normal; the ZX and YZ internal orders are mirror images of that.
  if (planeCode == 1 || planeCode == 2) deg = -deg;
  if (m_reversed) deg = -deg;
  CGCPanelG17(static_cast<short>(planeCode)).RotatePoint(v, sense * deg);
}

void CGCTransformRot::UnmapPoint(CPoint3d& p, int planeCode) const {
  const CPoint3d c = RotationCentreIn(Defining(), planeCode);
  CPoint3d v = p - c;
  Turn(v, planeCode, -1.0);
  p = v + c;
}

void CGCTransformRot::Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction*) {
  const CPoint3d c = RotationCentreIn(Defining(), planeCode);
  CPoint3d v = point - c;
  Turn(v, planeCode, 1.0);
  point = v + c;
  if (CGCWordRef w = instr.GetWord(0)) w.MarkSpecified();
  if (CGCWordRef w = instr.GetWord(1)) w.MarkSpecified();
}

CPoint3d RefPointOffset(const CGCInstruction* d, CGCProgram* program, int planeCode) {
  CPoint3d o = DefiningPoint(d);
  if (d && d->GetKind() == kKindChangeWcs) {
    double a = 0, b = 0, h = 0;
    AskToolOffsets(program ? program->GetT() : 0, a, b, h);
    o.z += h;
  }
  if (program) {
    if (CGCInstruction* g19 = program->GetModal(19)) {
      double h = program->GetGroupOffset(19);
      double code = g19->GetWordPosition(1);
      if (code == 0.0) o.z += h;
      else if (code == 1.0) o.z -= h;
    }
  }
  return SwapForPlane(o, static_cast<short>(planeCode));
}

CPoint3d MapDisplacement(const CTransformChain* chain, CPoint3d v, int planeCode) {
  if (chain)
    for (int i = 0; i < chain->Count() && i < CTransformChain::kMax; ++i) chain->At(i)->MapDisplacement(v, planeCode);
  return v;
}

CPoint3d UnmapDisplacement(const CTransformChain* chain, CPoint3d v, int planeCode) {
  if (chain)
    for (int i = std::min(chain->Count(), CTransformChain::kMax) - 1; i >= 0; --i)
      chain->At(i)->UnmapDisplacement(v, planeCode);
  return v;
}

bool MirrorsPlane(const CTransformChain* chain, int planeCode) {
  bool mirrored = false;
  if (chain)
    for (int i = 0; i < chain->Count() && i < CTransformChain::kMax; ++i)
      if (chain->At(i)->MirrorsPlane(planeCode)) mirrored = !mirrored;
  return mirrored;
}

CPoint3d UnmapPoint(const CTransformChain* chain, CPoint3d p, int planeCode) {
  if (chain)
    for (int i = std::min(chain->Count(), CTransformChain::kMax) - 1; i >= 0; --i) chain->At(i)->UnmapPoint(p, planeCode);
  return p;
}

void CGCTransformRefPoint::Apply(CGCInstruction& instr, CPoint3d& point, int planeCode,
                                 CGCInstruction* previous) {
  CGCProgram* program = instr.GetProgram();
  const CPoint3d o = RefPointOffset(Defining(), program, planeCode);
  const CGCCoord w = instr.Words();
  if (w.NoneOfXYZSpecified()) {
    point += o;
    return;
  }
  CPoint3d p = previous ? instr.GetStartPoint() : CPoint3d(-100.0, 0.0, 0.0);
  point.x = w.IsSpecified(0) ? point.x + o.x : p.x;
  point.y = w.IsSpecified(1) ? point.y + o.y : p.y;
  if (instr.GetKind() == kKindCycle) {
    if (w.IsSpecified(kWordR)) {
      // Under scaling the R level is the scaled one.
      const CTransformChain* chain = instr.Transforms();
      const bool scaled = chain && chain->Find(CGCTransform::kScale) && w.IsAbsolute(kWordR);
      double r = scaled ? instr.GetWordPosition(kWordR) : instr.GetWordValue(kWordR);
      instr.PutWordPosition(kWordR, w.IsAbsolute(kWordR) ? r + o.z : r + p.z);
    }
    if (w.Has(2) && !w.IsAbsolute(2) && w.IsSpecified(2)) {
      point.z = instr.GetWordPosition(kWordR) + (program ? program->GetInitialLevel() : 0.0) + point.z;
      return;
    }
    point.z = point.z + o.z;
    return;
  }
  point.z = w.IsSpecified(2) ? point.z + o.z : p.z;
}

}  // namespace quillet
