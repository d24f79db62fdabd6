#include "mod_gcode/instructions/Motion.h"

#include <algorithm>
#include <cmath>

#include "mod_gcode/program/Block.h"
#include "mod_gcode/instructions/Calls.h"
#include "mod_gcode/instructions/CompensatedPath.h"
#include "mod_gcode/geometry/Panel.h"
#include "mod_gcode/geometry/Profile.h"
#include "mod_gcode/instructions/Transform.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet {

namespace {

// Reports the compensated path of a move: along its own element every odd
// point, as a plain move reports (an arc every second chord point), then the
// element's end and every point of the straight moves that join it to the
// next move, so that the simulated tool passes each corner point of the
// drawn path. False as soon as the host answers 0.
bool ReportCompensatedPoints(const CGCInstruction& instr, short kind, const CPoint3d& value, const CInstrExtra& extra) {
  const CPathPolyline& p = *extra.compensated;
  const std::int32_t count = p.PointCount();
  const std::int32_t end = std::max<std::int32_t>(1, count - 1 - extra.compensatedJoins);
  for (std::int32_t i = 1; i < count; ++i) {
    // The point just before an arc's end is its full-sweep point, which lies
    // at the end: the end is reported instead.
    if (i < end && (i % 2 == 0 || i == end - 1)) continue;
    if (!instr.ReportCommandPoint(kind, value, p.Point(i), instr.ReportLine(), instr.ReportFeed())) return false;
  }
  return true;
}

// The macro call made after `move` while G66 was active, or null.
CGCInstruction* ModalMacroCallAfter(const CGCInstruction& move) {
  const CGCProgram* program = move.GetProgram();
  if (!program || !program->HasModalMacroCalls()) return nullptr;
  const CInstrExtra* extra = program->FindExtra(&move);
  return extra ? extra->macroCall.get() : nullptr;
}

// While a modal macro call (G66) is active, the macro runs after every move,
// lines and arcs alike, from where the move ends. The move keeps its own end;
// the next move starts where the macro left the tool.
void CallModalMacroAfter(CGCInstruction& move) {
  CGCProgram* program = move.GetProgram();
  auto* modal = program ? dynamic_cast<CGCInstructionSubMacro*>(program->GetModal(33)) : nullptr;
  if (!modal) return;
  CInstrExtra& extra = program->Extra(&move);
  extra.macroStart = std::make_unique<CGCInstructionCopy>(move);
  auto call = std::make_unique<CGCInstructionSubMacro>(extra.macroStart.get(), move.GetBlock());
  call->CopyCallFrom(*modal);
  call->ApplyTransforms();
  extra.macroCall = std::move(call);
  program->NoteModalMacroCall();
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

CGCInstruction* CGCInstructionLine::ModalMacroCall() const { return ModalMacroCallAfter(*this); }

bool CGCInstructionLine::BuildCompensatedPath(CPathSink& sink) { return BuildCompensatedLine(*this, sink); }

bool CGCInstructionLine::Report() {
  const CPoint3d value = SwapForPlane(GetEndValuePoint(), m_planeCode);
  const bool touched = IsCompensated() || (m_previous && m_previous->IsCompensated());
  const CGCProgram* program = touched ? GetProgram() : nullptr;
  const CInstrExtra* extra = program ? program->FindExtra(this) : nullptr;
  bool go;
  if (extra && extra->compensated) {
    go = ReportCompensatedPoints(*this, m_kind, value, *extra);
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
  CallModalMacroAfter(*this);
}

}  // namespace quillet

// ------------------------------------------------------------------- arcs

namespace quillet {

CGCInstructionCircular::CGCInstructionCircular(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block,
                                               short kind)
    : CGCInstructionWords<7>(chain, previous, block, kind), m_clockwise(kind == kKindCircleCw) {}

CGCInstructionCircular::~CGCInstructionCircular() = default;

CGCPanelG17& CGCInstructionCircular::EnsurePlane() {
  if (!m_plane) m_plane = std::make_unique<CGCPanelG17>(static_cast<short>(m_planeCode));
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
  CTransformChain* chain = Transforms();
  CGCTransform* rot = chain ? chain->Find(CGCTransform::kRot) : nullptr;
  if (!rot) {
    plane.SetGraphic(CGraphicCircle(GetStartPoint(), GetEndPoint(), CPoint3d(), ijk, 0.0, 0.0, clockwise, m_planeCode));
    return plane.SolveArcByCentre();
  }
  // Under rotation: solve in programmed coordinates (in the programmed
  // direction), take the centre through the mirror, scaling and rotation the
  // end points went through, then place it by the work offset. A mirror of
  // one axis of the plane turns the sweep the other way.
  const bool mirrored = MirrorsPlane(chain, m_planeCode);
  CGraphicCircle programmed(GetStartValuePoint(), GetEndValuePoint(), CPoint3d(), Words().GetIJKPoint(), 0.0, 0.0,
                            clockwise != mirrored, m_planeCode);
  plane.SetGraphic(programmed);
  if (!plane.SolveArcByCentre()) return false;
  CGraphicCircle solved = *plane.GetGraphic();
  CPoint3d centre = solved.m_centre;
  for (int i = 0; i < chain->Count() && i < CTransformChain::kMax; ++i) {
    CGCTransform* t = chain->At(i);
    if (t->IsType(CGCTransform::kMirror) || t->IsType(CGCTransform::kScale) || t == rot)
      t->Apply(*this, centre, m_planeCode, m_previous);
  }
  if (CGCTransform* ref = chain->Find(CGCTransform::kRefPoint)) {
    if (const CGCInstruction* d = ref->Defining())
      centre += SwapForPlane(d->Words().GetValuePointOrZero(), m_planeCode);
  }
  CGraphicCircle final(GetStartPoint(), GetEndPoint(), centre, ijk, solved.m_radius,
                       mirrored ? -solved.m_sweep : solved.m_sweep, clockwise, m_planeCode);
  plane.SetGraphic(final);
  return true;
}

void CGCInstructionCircular::ApplyTransforms() {
  ApplyChain();
  bool cw = m_clockwise;
  // G02 turns clockwise seen from the positive end of the plane's normal;
  // the ZX and YZ internal orders are mirror images of that view.
  if (m_planeCode == 1 || m_planeCode == 2) cw = !cw;
  if (CTransformChain* chain = Transforms()) {
    if (CGCTransform* s = chain->Find(CGCTransform::kScale))
      if (s->FlipsArcDirection()) cw = !cw;
    if (CGCTransform* m = chain->Find(CGCTransform::kMirror))
      if (m->FlipsArcDirection()) cw = !cw;
  }
  if (Words().IsSpecified(kWordR) && Geometry::CoincidentInPlane(GetStartPoint(), GetEndPoint())) {
    // An R arc that ends where it starts is an arc of 0 degrees: no move in
    // the plane.
    m_solved = false;
  } else if (Words().IsSpecified(kWordR)) {
    m_solved = SolveArcByRadius(cw);
    if (!m_solved && m_block)
      m_block->AddMessage(u"Arc cannot exist: radius R is too small for the distance from start to end point");
  } else {
    m_solved = SolveArcByCentre(cw);
    if (!m_solved && m_block)
      m_block->AddMessage(u"Arc cannot exist: the centre given by I, J, K is not equally far from start and end point");
  }
  if (m_solved && m_block && !CutterFitsArc(*this, *m_plane->GetGraphic()))
    m_block->AddMessage(u"Cutter radius is larger than the radius of the arc it cuts inside");
  if (m_solved) {
    // The points the arc will draw beyond its end point, and its plane.
    if (CGCProgram* program = GetProgram()) {
      const int steps = ArcStepCount(m_plane->GetGraphic()->m_sweep);
      program->CountHeld(sizeof(CGCPanelG17));
      program->CountPath(static_cast<std::size_t>(steps > 0 ? steps : 0) * sizeof(CPoint3d));
    }
  }
  if (m_block && CompensationChangesOnArc(*this))
    m_block->AddMessage(u"Cutter compensation cannot start or end on an arc: program a line for G41, G42 or G40");
  CallModalMacroAfter(*this);
}

void CGCInstructionCircular::Tessellate(std::vector<CPoint3d>& points) const {
  if (m_solved && m_plane) m_plane->CreateArcProfile(points);
}

void CGCInstructionCircular::AppendToPolyline(std::vector<CPoint3d>& points) { Tessellate(points); }

void CGCInstructionCircular::BuildPath(CPathSink& sink) {
  if (!BuildCompensatedPath(sink)) {
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
  if (CGCInstruction* call = ModalMacroCallAfter(*this)) call->BuildPath(sink);
}

bool CGCInstructionCircular::BuildCompensatedPath(CPathSink& sink) { return BuildCompensatedArc(*this, sink); }

bool CGCInstructionCircular::Report() {
  const bool go = ReportArc();
  if (CGCInstruction* call = ModalMacroCallAfter(*this)) return call->Report() && go;
  return go;
}

bool CGCInstructionCircular::ReportArc() {
  const CPoint3d value = SwapForPlane(GetEndValuePoint(), m_planeCode);
  if (IsCompensated()) {
    const CGCProgram* program = GetProgram();
    const CInstrExtra* extra = program ? program->FindExtra(this) : nullptr;
    if (extra && extra->compensated) return ReportCompensatedPoints(*this, m_kind, value, *extra);
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
