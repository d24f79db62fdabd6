#include "mod_gcode/GCCode/Motion.h"

#include <cmath>

#include "mod_gcode/GCCode/Block.h"
#include "mod_gcode/GCCode/Calls.h"
#include "mod_gcode/GCCode/Compensation.h"
#include "mod_gcode/GCCode/Panel.h"
#include "mod_gcode/GCCode/Profile.h"
#include "mod_gcode/GCCode/Transform.h"
#include "mod_gcode/GCCode/Program.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet {

// ------------------------------------------------------ compensation helpers

namespace {

bool Finite(const CPoint3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// G41 is left of the direction of travel seen from the positive end of the
// plane's normal. The ZX and YZ internal orders are mirror images of that
// view, so there the side flips in the instruction's own frame.
short FrameSide(const CGCInstruction& instr) {
  const short side = instr.GetSide();
  const int plane = instr.GetPlaneCode();
  return (plane == kPlaneZX || plane == kPlaneYZ) ? static_cast<short>(1 - side) : side;
}

// The offset of a straight element in the instruction's frame: the cutter
// radius, positive to the left.
double FrameSignedRadius(const CGCInstruction& instr) {
  const double r = instr.GetCompensationRadius();
  return FrameSide(instr) == 0 ? r : -r;
}

bool IsLineOrArc(const CGCInstruction* instr) {
  return dynamic_cast<const CGCInstructionLine*>(instr) || dynamic_cast<const CGCInstructionCircular*>(instr);
}

// Where the path of the move before this one ends, in this move's frame:
// the corner a compensated move kept, else its programmed end.
CPoint3d PreviousCorner(const CGCInstruction& self) {
  const CGCInstruction* prev = self.GetPrevious();
  if (prev && prev->IsCompensated() && IsLineOrArc(prev)) {
    const CPoint3d p = SwapForPlane(prev->GetPathEndPoint(), static_cast<short>(self.GetPlaneCode()));
    if (Finite(p)) return p;
  }
  return self.GetStartPoint();
}

// The motion that follows a move, as its corner needs it.
struct NextMotion {
  const CGCInstruction* instr = nullptr;
  // Its solved arc, when it is an arc in the same plane.
  const CGraphicCircle* arc = nullptr;
  // Its end point in the frame of the move that asks.
  CPoint3d end;
  bool compensated = false;
};

NextMotion FindNext(const CGCInstruction& self) {
  NextMotion next;
  next.instr = FindNextMotion(self.GetNextBlock());
  if (!next.instr) return next;
  const short plane = static_cast<short>(self.GetPlaneCode());
  next.end = SwapForPlane(next.instr->GetEndPointInPlane(), plane);
  next.compensated = next.instr->IsCompensated();
  // An arc that could not be solved, or one in another plane, joins like a
  // line to its end point.
  if (const auto* c = dynamic_cast<const CGCInstructionCircular*>(next.instr)) {
    const CGraphicCircle* g = c->IsSolved() && c->Plane() ? c->Plane()->GetGraphic() : nullptr;
    if (g && c->GetPlaneCode() == self.GetPlaneCode() && Finite(g->m_centre) && Finite(g->m_start) &&
        std::isfinite(g->m_radius))
      next.arc = g;
  }
  return next;
}

// Appends a compensated polyline of machine-axis points and keeps it for
// the reports. False, with nothing appended, when there are no points or a
// point is not finite.
bool EmitCompensated(CPathSink& sink, CInstrExtra& extra, int style, const CPoint3d* points, std::size_t count) {
  if (count == 0) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (!Finite(points[i])) return false;
  CPathPolyline* poly = sink.arena->MakePolyline(Lib().styles[style], points, count);
  sink.Add(poly);
  extra.compensated = poly;
  return true;
}

// A few points of a straight compensated path, gathered in the move's frame
// and mapped to machine axes.
struct FramePoints {
  CPoint3d points[3];
  std::size_t count = 0;
  short plane = kPlaneXY;
  void Push(const CPoint3d& p) {
    if (count < 3) points[count++] = SwapForPlane(p, plane);
  }
};

// Odd points of a drawn polyline: one command report each.
// Reports every odd point of a polyline; false as soon as the host answers 0.
bool ReportOddPoints(const CGCInstruction& instr, short kind, const CPoint3d& value, const CPathPolyline& p) {
  for (std::int32_t i = 1; i < p.PointCount(); i += 2)
    if (!instr.ReportCommandPoint(kind, value, p.Point(i), instr.ReportLine(), instr.ReportFeed())) return false;
  return true;
}

}  // namespace

CGCInstructionLine::~CGCInstructionLine() = default;

const CPathStyle& CGCInstructionLine::PlainStyle() const {
  // A feed move made rapid (a move in machine coordinates) is drawn as one.
  return Lib().styles[m_kind == kKindRapid ? kStyleRapid : kStyleFeed];
}

const CPathStyle& CGCInstructionLineRapidTraverse::PlainStyle() const { return Lib().styles[kStyleRapid]; }

void CGCInstructionLine::AppendSegment(CPathSink& sink) {
  sink.Add(sink.arena->MakeSegment(PlainStyle(), GetStartPointInPlane(), GetEndPointInPlane()));
}

void CGCInstructionLine::BuildPath(CPathSink& sink) {
  if (!BuildCompensatedPath(sink))
    sink.Add(sink.arena->MakeSegment(PlainStyle(), GetStartPointInPlane(), GetEndPointInPlane()));
  if (CGCInstruction* call = ModalMacroCall()) call->BuildPath(sink);
}

CGCInstruction* CGCInstructionLine::ModalMacroCall() const {
  const CGCProgram* program = GetProgram();
  if (!program || !program->HasModalMacroCalls()) return nullptr;
  const CInstrExtra* extra = program->FindExtra(this);
  return extra ? extra->macroCall.get() : nullptr;
}

bool CGCInstructionLine::BuildCompensatedPath(CPathSink& sink) {
  const bool self = IsCompensated();
  const bool before = m_previous && m_previous->IsCompensated();
  if (!self && !before) return false;
  CGCProgram* program = GetProgram();
  if (!program) return false;
  CInstrExtra& extra = program->Extra(this);
  extra.compensated = nullptr;
  const short plane = m_planeCode;
  const CPoint3d S = GetStartPoint();
  const CPoint3d E = GetEndPoint();
  const CPoint3d P = PreviousCorner(*this);
  FramePoints out;
  out.plane = plane;
  if (!self) {
    // Compensation ends: from the last corner to the programmed end.
    out.Push(P);
    out.Push(E);
    return EmitCompensated(sink, extra, kStyleRapid, out.points, out.count);
  }
  const double r = FrameSignedRadius(*this);
  const short side = FrameSide(*this);
  // The corner where none is solved: the end of this line's own offset (the
  // programmed end for a line without length in the plane).
  CPoint3d K = E;
  if (S.x != E.x || S.y != E.y) {
    CGraphic own(S, E, plane);
    own.Offset(r);
    K = own.m_end;
    K.z = E.z;
  }
  const CPoint3d fallback = Finite(K) ? K : E;
  K = fallback;
  extra.pathEnd = SwapForPlane(K, plane);
  const NextMotion next = FindNext(*this);

  if (!before) {
    // Compensation starts: a rapid to the offset start of the next element.
    if (!next.instr) return false;
    if (next.arc) {
      CGraphic radial(next.arc->m_centre, next.arc->m_start, plane);
      CGraphicCircle arc = *next.arc;
      const CGCCompensationL2C entry(radial, arc, r, side, P, K, false);
    } else {
      CGraphic following(E, next.end, plane);
      following.Offset(r);
      K = following.m_start;
    }
    K.z = E.z;
    if (!Finite(K)) K = fallback;
    out.Push(S);
    out.Push(K);
  } else if (next.arc) {
    CGraphic line(S, E, plane);
    CGraphicCircle arc = *next.arc;
    CGCCompensationL2C solver(line, arc, r, side, P, K, true);
    if (solver.IsValid()) {
      K.z = E.z;
      out.Push(P);
      out.Push(K);
    } else {
      // The line does not reach the next arc's offset: step across at the
      // foot of the perpendicular from the arc's centre.
      const CPoint3d foot = next.arc->FootFromCentre(S, E);
      CGraphic bridge(foot, next.arc->m_centre, plane);
      const double nr = std::fabs(next.arc->m_radius);
      bridge.Offset(side == 0 ? -nr : nr);
      bridge.m_start.z = E.z;
      bridge.m_end.z = E.z;
      K = bridge.m_end;
      out.Push(P);
      out.Push(bridge.m_start);
      out.Push(K);
    }
  } else if (!next.instr) {
    // The last move of the program: it ends at the previous corner, at its
    // own height.
    K = P;
    K.z = E.z;
    out.Push(P);
    out.Push(K);
  } else if (next.compensated) {
    const CPoint3d& F = next.end;
    if (std::fabs(E.z - F.z) < kDoubleEpsilon) {
      CGraphic a(S, E, plane);
      CGraphic b(E, F, plane);
      CGCCompensation solver(a, b, r, K);
      if (solver.IsValid()) K.z = E.z;
      else K = E;
    } else {
      K = E;
    }
    out.Push(P);
    out.Push(K);
  } else {
    // The next move ends compensation.
    const CPoint3d& F = next.end;
    if (std::fabs(S.z - F.z) < kDoubleEpsilon) {
      CGraphic a(S, E, plane);
      CGraphic b(E, F, plane);
      // Unsolved (a ramp), the corner stays this line's offset end.
      const CGCCompensation solver(a, b, r, K);
      K.z = E.z;
    } else {
      K = E;
      K.x -= r;
    }
    out.Push(P);
    out.Push(K);
  }
  if (!Finite(K) || !EmitCompensated(sink, extra, before ? kStyleCompensation : kStyleRapid, out.points, out.count)) {
    extra.pathEnd = SwapForPlane(fallback, plane);
    return false;
  }
  extra.pathEnd = SwapForPlane(K, plane);
  return true;
}

bool CGCInstructionLine::Report() {
  const CPoint3d value = SwapForPlane(GetEndValuePoint(), m_planeCode);
  const bool touched = IsCompensated() || (m_previous && m_previous->IsCompensated());
  const CGCProgram* program = touched ? GetProgram() : nullptr;
  const CInstrExtra* extra = program ? program->FindExtra(this) : nullptr;
  bool go;
  if (extra && extra->compensated) {
    go = ReportOddPoints(*this, m_kind, value, *extra->compensated);
  } else {
    // The plain path has two points; the odd one is the end point. A host
    // that answers 0 stops the simulation after this block.
    go = ReportCommandPoint(m_kind, value, GetEndPointInPlane(), ReportLine(), ReportFeed());
  }
  if (CGCInstruction* call = ModalMacroCall()) go = call->Report() && go;
  return go;
}

void CGCInstructionLine::ApplyTransforms() {
  ApplyChain();
  // While a modal macro call (G66) is active, the macro runs after the move,
  // from where the move ends, and the move ends where the macro left the tool.
  CGCProgram* program = GetProgram();
  auto* modal = program ? dynamic_cast<CGCInstructionSubMacro*>(program->GetModal(33)) : nullptr;
  if (!modal) return;
  CInstrExtra& extra = program->Extra(this);
  extra.macroStart = std::make_unique<CGCInstructionCopy>(*this);
  auto call = std::make_unique<CGCInstructionSubMacro>(extra.macroStart.get(), m_block);
  call->CopyCallFrom(*modal);
  CGCInstruction* resume = program->PreviousMotion();
  call->ApplyTransforms();
  program->PreviousMotion() = resume;
  const CGCCoord end = call->EndWords().View();
  for (int i = 0; i < 3; ++i) {
    if (!end.Has(i)) continue;
    PutWordValue(i, end.GetValue(i));
    PutWordPosition(i, end.GetPosition(i));
  }
  extra.macroCall = std::move(call);
  program->NoteModalMacroCall();
}

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
  if (BuildCompensatedPath(sink)) return;
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

bool CGCInstructionCircular::BuildCompensatedPath(CPathSink& sink) {
  if (!IsCompensated()) return false;
  CGCProgram* program = GetProgram();
  if (!program) return false;
  CInstrExtra& extra = program->Extra(this);
  extra.compensated = nullptr;
  const short plane = m_planeCode;
  const CPoint3d E = GetEndPoint();
  extra.pathEnd = SwapForPlane(E, plane);
  // An arc that could not be solved is drawn plain (its block has a message).
  const CGraphicCircle* solved = m_solved && m_plane ? m_plane->GetGraphic() : nullptr;
  if (!solved) return false;
  const double radius = GetCompensationRadius();
  const short side = FrameSide(*this);
  const double r = FrameSignedRadius(*this);
  CGraphicCircle arc = *solved;
  // The corner where none is solved: the end of this arc's own offset.
  CGraphicCircle own = *solved;
  own.Offset(ArcOffsetForSide(own, radius, side));
  CPoint3d K = own.m_end;
  K.z = E.z;
  const CPoint3d fallback = Finite(K) ? K : E;
  K = fallback;
  extra.pathEnd = SwapForPlane(K, plane);
  const CPoint3d P = PreviousCorner(*this);
  const bool before = m_previous && m_previous->IsCompensated();

  if (!before) {
    // Compensation starts on an arc: a rapid from where the move before
    // started to where that move, carried on, meets the arc's offset.
    const CPoint3d S = GetStartPoint();
    const CPoint3d from = m_previous ? SwapForPlane(m_previous->GetStartPointInPlane(), plane) : S;
    K = own.m_start;
    K.z = E.z;
    CGraphic approach(from, S, plane);
    const CGCCompensationL2C entry(approach, arc, r, side, P, K, false);
    K.z = E.z;
    if (!Finite(K)) K = fallback;
    const CPoint3d pts[2] = {SwapForPlane(from, plane), SwapForPlane(K, plane)};
    if (!EmitCompensated(sink, extra, kStyleRapid, pts, 2)) return false;
    extra.pathEnd = pts[1];
    return true;
  }

  const NextMotion next = FindNext(*this);
  if (!next.instr) return false;
  bool pushCorner = false;
  if (next.arc) {
    CGraphicCircle following = *next.arc;
    // Unsolved, the corner stays this arc's offset end.
    const CGCCompensationC2C corner(arc, following, radius, side, P, K);
  } else {
    CGraphic line(E, next.end, plane);
    CGCCompensationC2L solver(arc, line, r, side, P, K, true);
    if (!solver.IsValid() && next.compensated) {
      // The next line does not reach this arc's offset: end the arc across
      // from the foot of the perpendicular from its centre.
      const CPoint3d foot = arc.FootFromCentre(line.m_start, line.m_end);
      CGraphic bridge(foot, arc.m_centre, plane);
      const double ar = std::fabs(arc.m_radius);
      bridge.Offset(side == 0 ? -ar : ar);
      bridge.m_start.z = E.z;
      bridge.m_end.z = E.z;
      K = bridge.m_end;
      arc.m_start = P;
      arc.m_end = bridge.m_start;
      arc.ComputeSweep();
      pushCorner = true;
    }
  }
  // Level the circle at the end's height.
  arc.m_centre.z = E.z;
  arc.m_start.z = E.z;
  arc.m_end.z = E.z;
  K.z = E.z;
  thread_local std::vector<CPoint3d> points;
  points.clear();
  if (Finite(K)) {
    AppendArcPoints(arc, points);
    if (pushCorner) points.push_back(SwapForPlane(K, plane));
  }
  if (!EmitCompensated(sink, extra, kStyleCompensation, points.data(), points.size())) {
    extra.pathEnd = SwapForPlane(fallback, plane);
    return false;
  }
  extra.pathEnd = SwapForPlane(K, plane);
  return true;
}

bool CGCInstructionCircular::Report() {
  const CPoint3d value = SwapForPlane(GetEndValuePoint(), m_planeCode);
  if (IsCompensated()) {
    const CGCProgram* program = GetProgram();
    const CInstrExtra* extra = program ? program->FindExtra(this) : nullptr;
    if (extra && extra->compensated) return ReportOddPoints(*this, m_kind, value, *extra->compensated);
  }
  thread_local std::vector<CPoint3d> points;
  points.clear();
  Tessellate(points);
  if (points.size() < 2) return ReportCommandPoint(m_kind, value, GetEndPointInPlane(), ReportLine(), ReportFeed());
  for (std::size_t i = 1; i < points.size(); i += 2)
    if (!ReportCommandPoint(m_kind, value, points[i], ReportLine(), ReportFeed())) return false;
  return true;
}

}  // namespace quillet
