#include "mod_gcode/GCCode/Motion.h"

#include "mod_gcode/GCCode/Block.h"
#include "mod_gcode/GCCode/Panel.h"
#include "mod_gcode/GCCode/Transform.h"
#include "mod_gcode/GCCode/Program.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet {

CGCInstructionLine::~CGCInstructionLine() = default;

const CPathStyle& CGCInstructionLine::PlainStyle() const { return Lib().styles[kStyleFeed]; }

const CPathStyle& CGCInstructionLineRapidTraverse::PlainStyle() const { return Lib().styles[kStyleRapid]; }

void CGCInstructionLine::AppendSegment(CPathSink& sink) {
  sink.Add(sink.arena->MakeSegment(PlainStyle(), GetStartPointInPlane(), GetEndPointInPlane()));
}

void CGCInstructionLine::BuildPath(CPathSink& sink) {
  sink.Add(sink.arena->MakeSegment(PlainStyle(), GetStartPointInPlane(), GetEndPointInPlane()));
}

bool CGCInstructionLine::Report() {
  const CPoint3d value = SwapForPlane(GetEndValuePoint(), m_planeCode);
  const CGCProgram* program = IsCompensated() ? GetProgram() : nullptr;
  const CInstrExtra* extra = program ? program->FindExtra(this) : nullptr;
  if (extra && extra->compensated) {
    const CPathPolyline* p = extra->compensated;
    for (int i = 1; i < p->PointCount(); i += 2)
      if (!ReportCommandPoint(m_kind, value, p->Point(i), ReportLine(), ReportFeed())) return false;
    return true;
  }
  // The plain path has two points; the odd one is the end point. A host
  // that answers 0 stops the simulation after this block.
  return ReportCommandPoint(m_kind, value, GetEndPointInPlane(), ReportLine(), ReportFeed());
}

void CGCInstructionLine::ApplyTransforms() { ApplyChain(); }

}  // namespace quillet

// ------------------------------------------------------------------- arcs

namespace quillet {

CGCInstructionCircular::CGCInstructionCircular(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block,
                                               short kind)
    : CGCInstructionWords<7>(chain, previous, block, kind), m_clockwise(kind == kKindCircleCw) {}

CGCInstructionCircular::~CGCInstructionCircular() = default;

CGCPanelG17& CGCInstructionCircular::EnsurePlane() {
  if (!m_plane) m_plane = std::make_unique<CGCPanelG17>(m_planeCode);
  m_plane->SetPlaneCode(m_planeCode);
  return *m_plane;
}

void CGCInstructionCircular::SetWordValue(int index, double programmed, bool absolute) {
  if (index >= kWordI && index <= kWordR) {
    // Centre offsets and radius are taken as given: no base, no transform.
    if (CGCWordRef w = GetWord(index)) {
      w.Apply(programmed, 0.0, false);
      w.SetPosition(w.GetValue());
    }
    return;
  }
  CGCInstruction::SetWordValue(index, programmed, absolute);
}

bool CGCInstructionCircular::SolveArcByRadius(bool clockwise) {
  CGCPanelG17& plane = EnsurePlane();
  const CPoint3d ijk(Words().GetPosition(kWordI), Words().GetPosition(kWordJ), Words().GetPosition(kWordK));
  plane.SetGraphic(CGraphicCircle(GetStartPoint(), GetEndPoint(), CPoint3d(), ijk, Words().GetPosition(kWordR), 0.0,
                                  clockwise, m_planeCode));
  return plane.SolveArcByRadius();
}

bool CGCInstructionCircular::SolveArcByCentre(bool clockwise) {
  CGCPanelG17& plane = EnsurePlane();
  const CPoint3d ijk(Words().GetPosition(kWordI), Words().GetPosition(kWordJ), Words().GetPosition(kWordK));
  CGCTransform* rot = m_transforms ? m_transforms->Find(CGCTransform::kRot) : nullptr;
  if (!rot) {
    plane.SetGraphic(CGraphicCircle(GetStartPoint(), GetEndPoint(), CPoint3d(), ijk, 0.0, 0.0, clockwise, m_planeCode));
    return plane.SolveArcByCentre();
  }
  // Under rotation: solve in programmed coordinates, turn the centre, then
  // place it by the work offset.
  CGraphicCircle programmed(GetStartValuePoint(), GetEndValuePoint(), CPoint3d(), Words().GetIJKPoint(), 0.0, 0.0,
                            clockwise, m_planeCode);
  plane.SetGraphic(programmed);
  if (!plane.SolveArcByCentre()) return false;
  CGraphicCircle solved = *plane.GetGraphic();
  CPoint3d centre = solved.m_centre;
  rot->Apply(*this, centre, m_planeCode, m_previous);
  if (CGCTransform* ref = m_transforms->Find(CGCTransform::kRefPoint)) {
    if (const CGCInstruction* d = ref->Defining())
      centre += SwapForPlane(d->Words().GetValuePointOrZero(), m_planeCode);
  }
  CGraphicCircle final(GetStartPoint(), GetEndPoint(), centre, ijk, solved.m_radius, solved.m_sweep, clockwise,
                       m_planeCode);
  plane.SetGraphic(final);
  return true;
}

void CGCInstructionCircular::ApplyTransforms() {
  ApplyChain();
  bool cw = m_clockwise;
  // G02 turns clockwise seen from the positive end of the plane's normal;
  // the ZX and YZ internal orders are mirror images of that view.
  if (m_planeCode == 1 || m_planeCode == 2) cw = !cw;
  if (m_transforms) {
    if (CGCTransform* s = m_transforms->Find(CGCTransform::kScale))
      if (s->FlipsArcDirection()) cw = !cw;
    if (CGCTransform* m = m_transforms->Find(CGCTransform::kMirror))
      if (m->FlipsArcDirection()) cw = !cw;
  }
  if (Words().IsSpecified(kWordR)) {
    m_solved = SolveArcByRadius(cw);
    if (!m_solved && m_block)
      m_block->AddMessage(u"Arc cannot exist: radius R is too small for the distance from start to end point");
  } else {
    m_solved = SolveArcByCentre(cw);
    if (!m_solved && m_block)
      m_block->AddMessage(u"Arc cannot exist: the centre given by I, J, K is not equally far from start and end point");
  }
}

void CGCInstructionCircular::Tessellate(std::vector<CPoint3d>& points) const {
  if (m_solved && m_plane) m_plane->CreateArcProfile(points);
}

void CGCInstructionCircular::AppendToPolyline(std::vector<CPoint3d>& points) { Tessellate(points); }

void CGCInstructionCircular::BuildPath(CPathSink& sink) {
  thread_local std::vector<CPoint3d> points;
  points.clear();
  Tessellate(points);
  if (points.empty()) {
    // An arc that could not be solved: its block carries the message.
    points.push_back(GetStartPointInPlane());
    points.push_back(GetEndPointInPlane());
  }
  sink.Add(sink.arena->MakePolyline(Lib().styles[kStyleArc], points.data(), points.size()));
}

bool CGCInstructionCircular::Report() {
  thread_local std::vector<CPoint3d> points;
  points.clear();
  Tessellate(points);
  const CPoint3d value = SwapForPlane(GetEndValuePoint(), m_planeCode);
  if (points.size() < 2) return ReportCommandPoint(m_kind, value, GetEndPointInPlane(), ReportLine(), ReportFeed());
  for (std::size_t i = 1; i < points.size(); i += 2)
    if (!ReportCommandPoint(m_kind, value, points[i], ReportLine(), ReportFeed())) return false;
  return true;
}

}  // namespace quillet
