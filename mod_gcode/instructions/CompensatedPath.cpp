#include "mod_gcode/instructions/CompensatedPath.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "mod_gcode/program/Block.h"
#include "mod_gcode/geometry/Compensation.h"
#include "mod_gcode/instructions/Motion.h"
#include "mod_gcode/geometry/Panel.h"
#include "mod_gcode/geometry/PathArena.h"
#include "mod_gcode/geometry/Profile.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/instructions/Transform.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet {

namespace {

// Two directions whose cross product (as unit vectors) is below this count
// as one line: the corner is smooth, or the path turns back on itself.
constexpr double kStraight = 1e-9;
// How far the look-ahead and the look-back pass over moves that leave the
// plane; beyond it the run is taken as it stands.
constexpr int kMaxSkipped = 10000;
// How much a trimmed arc may sweep beyond its programmed sweep (radians).
constexpr double kSweepSlack = 1e-6;

bool Finite(const CPoint3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

CPoint3d Planar(const CPoint3d& p) { return {p.x, p.y, 0.0}; }

double Dot(const CPoint3d& a, const CPoint3d& b) { return a.x * b.x + a.y * b.y; }

CPoint3d WithZ(CPoint3d p, double z) {
  p.z = z;
  return p;
}

// The motion classes by their exact type: a path build asks this several
// times per move, where a cast through the hierarchy would cost more than the
// geometry.
bool IsArc(const CGCInstruction* instr) { return instr && typeid(*instr) == typeid(CGCInstructionCircular); }

const CGCInstructionCircular* AsArc(const CGCInstruction* instr) {
  return IsArc(instr) ? static_cast<const CGCInstructionCircular*>(instr) : nullptr;
}

bool IsLineOrArc(const CGCInstruction* instr) {
  if (!instr) return false;
  const std::type_info& t = typeid(*instr);
  return t == typeid(CGCInstructionLine) || t == typeid(CGCInstructionLineRapidTraverse) ||
         t == typeid(CGCInstructionCircular);
}

const CGraphicCircle* SolvedArc(const CGCInstructionCircular& arc) {
  const CGraphicCircle* g = arc.IsSolved() && arc.Plane() ? arc.Plane()->GetGraphic() : nullptr;
  if (!g || !Finite(g->m_centre) || !Finite(g->m_start) || !Finite(g->m_end) || !std::isfinite(g->m_radius) ||
      !std::isfinite(g->m_sweep))
    return nullptr;
  return g;
}

// Whether a move moves in its working plane.
bool MovesInPlane(const CGCInstruction& instr) {
  if (const auto* a = AsArc(&instr))
    if (SolvedArc(*a)) return true;
  return !Geometry::CoincidentInPlane(instr.GetStartPoint(), instr.GetEndPoint());
}

// The cutter's side in a move's own frame (0 left, 1 right) and the cutter
// radius, not negative. G41 is left of the direction of travel seen from the
// positive end of the plane's normal; the ZX and YZ frames are mirror images
// of that view, so there the side flips. A mirror of one axis of the plane
// (G51.1, or a negative scale factor) draws the path mirrored, so G41 and
// G42 swap; mirroring both axes swaps nothing. A negative radius swaps the
// sides.
struct Cutter {
  short side = 0;
  double radius = 0.0;
  double Signed() const { return side == 0 ? radius : -radius; }
};

Cutter CutterOf(const CGCInstruction& instr) {
  Cutter c;
  c.side = instr.GetSide() == 1 ? 1 : 0;
  const int plane = instr.GetPlaneCode();
  if (plane == kPlaneZX || plane == kPlaneYZ) c.side = static_cast<short>(1 - c.side);
  if (MirrorsPlane(instr.Transforms(), plane)) c.side = static_cast<short>(1 - c.side);
  c.radius = instr.GetCompensationRadius();
  if (!std::isfinite(c.radius)) c.radius = 0.0;
  if (c.radius < 0) {
    c.radius = -c.radius;
    c.side = static_cast<short>(1 - c.side);
  }
  return c;
}

// A move as a corner sees it, in the frame of its plane, flat, with the
// cutter that offsets it.
struct Element {
  bool arc = false;
  CPoint3d s, e;
  CGraphicCircle circle;  // a solved arc, levelled at 0
  Cutter cutter;
  double delta = 0.0;  // an arc's radius change

  CPoint3d OnOffset(const CPoint3d& q) const {
    if (!arc) {
      CGraphic line(s, e, kPlaneXY);
      line.Offset(cutter.Signed());
      return q + (line.m_start - s);
    }
    if (delta == 0.0) return q;
    const CPoint3d& c = circle.m_centre;
    const double len = std::hypot(q.x - c.x, q.y - c.y);
    if (len == 0.0) return q;
    const double k = (len + delta) / len;
    return {c.x + (q.x - c.x) * k, c.y + (q.y - c.y) * k, 0.0};
  }
  CPoint3d OffsetStart() const { return OnOffset(s); }
  CPoint3d OffsetEnd() const { return OnOffset(e); }

  // The unit direction of travel at a point of the element.
  CPoint3d Direction(const CPoint3d& q) const {
    double dx = e.x - s.x;
    double dy = e.y - s.y;
    if (arc) {
      const double ux = q.x - circle.m_centre.x;
      const double uy = q.y - circle.m_centre.y;
      dx = circle.m_clockwise ? uy : -uy;
      dy = circle.m_clockwise ? -ux : ux;
    }
    const double len = std::hypot(dx, dy);
    return len > 0.0 ? CPoint3d(dx / len, dy / len, 0.0) : CPoint3d();
  }
  CPoint3d DirectionAtStart() const { return Direction(s); }
  CPoint3d DirectionAtEnd() const { return Direction(e); }
};

// The element of a line or solved arc in `plane` with the given cutter;
// false for other moves, moves in another plane and moves without motion in
// the plane.
bool MakeElement(const CGCInstruction& instr, short plane, const Cutter& cutter, Element& out) {
  if (instr.GetPlaneCode() != plane || !IsLineOrArc(&instr)) return false;
  out.cutter = cutter;
  out.s = Planar(instr.GetStartPoint());
  out.e = Planar(instr.GetEndPoint());
  if (const auto* a = AsArc(&instr)) {
    const CGraphicCircle* g = SolvedArc(*a);
    if (!g) return false;
    out.arc = true;
    out.circle = *g;
    out.circle.m_centre.z = 0.0;
    out.circle.m_start = out.s;
    out.circle.m_end = out.e;
    out.delta = ArcOffsetForSide(out.circle, cutter.radius, cutter.side);
    // A cutter that does not fit inside the arc has no offset to follow
    // (the arc's block has a message and the drawing ends there).
    return Finite(out.s) && Finite(out.e) && std::fabs(out.circle.m_radius) + out.delta >= 0.0;
  }
  return Finite(out.s) && Finite(out.e) && !Geometry::CoincidentInPlane(out.s, out.e);
}

// The first motion a block runs: its first motion instruction, or the
// first motion of the first call it makes (the first repetition of M98 L..).
const CGCInstruction* FirstMotionIn(const CGCBlock& block) {
  for (std::size_t i = 0; i < block.InstructionCount(); ++i) {
    const CGCInstruction* instr = block.InstructionAt(i);
    const short k = instr->GetKind();
    if (k >= kKindRapid && k <= kKindCycle) return instr;
    if (k == kKindOpenSub)
      if (const CGCInstruction* m = instr->FindChildMotion()) return m;
  }
  return nullptr;
}

// The motion after `self`. At the end of a called program's blocks it is
// the first motion after the call, as the control reads on past M99.
const CGCInstruction* NextMotion(const CGCInstruction& self) {
  const CGCBlock* block = self.GetNextBlock();
  const CGCProgram* program = self.GetProgram();
  for (int depth = 0; depth <= CGCProgram::kMaxCallDepth + 1; ++depth) {
    for (; block; block = block->GetNext()) {
      if (const CGCInstruction* m = FirstMotionIn(*block)) return m;
      program = block->GetProgram();
    }
    const CGCBlock* call = program ? program->CallBlock() : nullptr;
    if (!call) return nullptr;
    block = call->GetNext();
    program = call->GetProgram();
  }
  return nullptr;
}

// The next move after `self` that moves in the plane, passing over
// compensated moves that do not; a move that ends compensation is returned
// as it is. Null at the end of the program or at a move that is not a line
// or an arc.
const CGCInstruction* NextInPlane(const CGCInstruction& self) {
  const CGCInstruction* from = &self;
  for (int n = 0; n < kMaxSkipped; ++n) {
    const CGCInstruction* m = NextMotion(*from);
    if (!m || !IsLineOrArc(m)) return nullptr;
    if (!m->IsCompensated() || MovesInPlane(*m)) return m;
    from = m;
  }
  return nullptr;
}

// The path build in progress on this thread (null outside one).
thread_local CCompensationBuildScope* t_build = nullptr;

bool LeavesPlane(const CGCInstruction* p) { return p->IsCompensated() && IsLineOrArc(p) && !MovesInPlane(*p); }

// The run of compensated moves that leave the plane right before `self`,
// counted up to one past kMaxSkipped. `last` is the run found for another
// move of the build: when that move comes right before `self`, the run
// before `self` is that one with one more move, or none.
CCompensationBuildScope::Run RunBefore(const CGCInstruction& self, const CCompensationBuildScope::Run* last) {
  if (last && last->move == &self) return *last;
  CCompensationBuildScope::Run run{&self, 0, self.GetPrevious()};
  if (last && last->move && run.end == last->move) {
    if (!LeavesPlane(run.end)) return run;
    run.length = std::min(last->length, kMaxSkipped) + 1;
    run.end = last->end;
    return run;
  }
  while (run.end && run.length <= kMaxSkipped && LeavesPlane(run.end)) {
    run.end = run.end->GetPrevious();
    ++run.length;
  }
  return run;
}

}  // namespace

CCompensationBuildScope::CCompensationBuildScope() : m_outer(t_build) { t_build = this; }
CCompensationBuildScope::~CCompensationBuildScope() { t_build = m_outer; }

namespace {

// The run before a move, taken over from the move before it while a build
// is in progress (the build asks for the moves in their order).
CCompensationBuildScope::Run RunBeforeInBuild(const CGCInstruction& self) {
  if (!t_build) return RunBefore(self, nullptr);
  const CCompensationBuildScope::Run run = RunBefore(self, &t_build->Last());
  t_build->Last() = run;
  return run;
}

// Whether the offset is set up when `self` starts: a compensated move in
// the plane comes before it, with only compensated moves that leave the
// plane between (at most kMaxSkipped of them are looked at).
bool OffsetIsSet(const CGCInstruction& self) {
  const CCompensationBuildScope::Run run = RunBeforeInBuild(self);
  if (run.length > kMaxSkipped) return true;
  if (run.length == kMaxSkipped) return run.end != nullptr;
  return run.end && run.end->IsCompensated() && IsLineOrArc(run.end);
}

// Where the path of the move before this one ends, in this move's frame:
// the corner a compensated move kept, else the programmed start.
CPoint3d PreviousCorner(const CGCInstruction& self) {
  const CGCInstruction* prev = self.GetPrevious();
  if (prev && prev->IsCompensated() && IsLineOrArc(prev)) {
    const CPoint3d p = SwapForPlane(prev->GetPathEndPoint(), static_cast<short>(self.GetPlaneCode()));
    if (Finite(p)) return p;
  }
  return self.GetStartPoint();
}

// Where the line through `a` along `da` meets the line through `b` along
// `db` (planar); false when they are parallel.
bool CrossOfDirections(const CPoint3d& a, const CPoint3d& da, const CPoint3d& b, const CPoint3d& db, CPoint3d& out) {
  const double det = da.x * db.y - da.y * db.x;
  if (std::fabs(det) <= kStraight) return false;
  const double t = ((b.x - a.x) * db.y - (b.y - a.y) * db.x) / det;
  out = {a.x + t * da.x, a.y + t * da.y, 0.0};
  return Finite(out);
}

// Where the offsets of A and B meet near their common point, by the corner
// solvers; false when they do not meet.
bool OffsetsMeet(const Element& A, const Element& B, CPoint3d& corner) {
  const double nan = std::nan("");
  CPoint3d k(nan, nan, nan);
  const CPoint3d start = A.OffsetStart();
  const short side = A.cutter.side;
  const double r = A.cutter.Signed();
  bool valid = false;
  if (!A.arc && !B.arc) {
    CGraphic a(A.s, A.e, kPlaneXY);
    CGraphic b(B.s, B.e, kPlaneXY);
    valid = CGCCompensation(a, b, r, k).IsValid();
  } else if (!A.arc) {
    // The line is offset here: the solver takes it as it is next to a full circle.
    CGraphic line(A.s, A.e, kPlaneXY);
    line.Offset(r);
    CGraphicCircle arc = B.circle;
    valid = CGCCompensationL2C(line, arc, r, side, start, k, false).IsValid();
  } else if (!B.arc) {
    CGraphicCircle arc = A.circle;
    CGraphic line(B.s, B.e, kPlaneXY);
    line.Offset(r);
    valid = CGCCompensationC2L(arc, line, r, side, start, k, false).IsValid();
  } else {
    CGraphicCircle a = A.circle;
    CGraphicCircle b = B.circle;
    valid = CGCCompensationC2C(a, b, A.cutter.radius, side, start, k).IsValid();
  }
  if (!valid || !std::isfinite(k.x) || !std::isfinite(k.y)) return false;
  corner = {k.x, k.y, 0.0};
  return true;
}

// How a move ends: where its own element ends, then the straight moves
// that lead to where the next move starts (the last of them).
struct Ending {
  CPoint3d end;
  CPoint3d join[3];
  int joins = 0;
  // An inside corner whose offsets do not meet: the cutter cannot go on.
  bool blocked = false;
  void Join(const CPoint3d& p) {
    const CPoint3d& last = joins > 0 ? join[joins - 1] : end;
    if (joins < 3 && !Geometry::CoincidentInPlane(last, p)) join[joins++] = p;
  }
};

Ending SolveCorner(const Element& A, const Element& B) {
  Ending out;
  if (A.cutter.radius == 0.0 && B.cutter.radius == 0.0) {
    out.end = A.e;
    return out;
  }
  const CPoint3d ta = A.DirectionAtEnd();
  const CPoint3d tb = B.DirectionAtStart();
  const double cross = ta.x * tb.y - ta.y * tb.x;
  const double dot = ta.x * tb.x + ta.y * tb.y;
  const CPoint3d ae = A.OffsetEnd();
  const CPoint3d bs = B.OffsetStart();
  out.end = ae;
  if (std::fabs(cross) <= kStraight && dot > 0.0) {
    // Smooth: the offsets touch (unless the radius changes there).
    out.Join(bs);
    return out;
  }
  // A path that turns back on itself (a cusp) is inside where the offsets
  // meet (a valley between two arcs) and outside where they do not.
  const bool turnsBack = std::fabs(cross) <= kStraight;
  const bool inside = !turnsBack && (cross > 0.0) == (A.cutter.side == 0);
  // Two lines at an outside corner meet where their offsets cross only up
  // to a turn of 90 degrees; beyond it the crossing lies far out and the
  // cutter goes round the corner by the extension moves below. An outside
  // corner at an arc that turns by less than 90 degrees is joined where the
  // offset elements, carried on past the corner, meet; where they do not
  // meet so, by the extension moves.
  const bool obtuseLines = !A.arc && !B.arc && dot >= 0.0;
  const bool outsideAtArc = !inside && !turnsBack && (A.arc || B.arc) && dot > kStraight;
  CPoint3d meet;
  if (inside || turnsBack || obtuseLines || outsideAtArc) {
    if (OffsetsMeet(A, B, meet) &&
        (!outsideAtArc || (Dot(meet - ae, ta) >= -kFloatEpsilon && Dot(bs - meet, tb) >= -kFloatEpsilon))) {
      out.end = meet;
      return out;
    }
    if (inside) {
      // The cutter cannot follow the corner without cutting into the wall.
      out.blocked = true;
      return out;
    }
  }
  // Outside: straight moves along the elements' directions, around the
  // programmed corner.
  if (dot >= 0.0 && CrossOfDirections(ae, ta, bs, tb, meet)) {
    out.Join(meet);
  } else {
    out.Join(ae + ta * A.cutter.radius);
    out.Join(bs - tb * B.cutter.radius);
  }
  out.Join(bs);
  return out;
}

// How far an arc around the centre of `arc`, in its direction, runs from
// `from` to `to` when that is less than a quarter turn (an offset arc carried
// on to an outside corner); 0 otherwise.
double ArcLead(const CGraphicCircle& arc, const CPoint3d& from, const CPoint3d& to) {
  if (Geometry::CoincidentInPlane(from, to)) return 0.0;
  const double sweep = std::fabs(Geometry::ArcSweep(from, to, arc.m_centre, arc.m_clockwise));
  return sweep <= kPi / 2.0 ? sweep : 0.0;
}

// Appends a compensated polyline of machine-axis points and keeps it for the
// reports, with the number of join points it ends with. False, with nothing
// appended, when there are no points or a point is not finite.
bool Emit(CPathSink& sink, CInstrExtra& extra, int style, const std::vector<CPoint3d>& points, int joins = 0) {
  if (points.empty()) return false;
  for (const CPoint3d& p : points)
    if (!Finite(p)) return false;
  CPathPolyline* poly = sink.arena->MakePolyline(Lib().styles[style], points.data(), points.size());
  sink.Add(poly);
  extra.compensated = poly;
  extra.compensatedJoins = static_cast<std::uint8_t>(joins);
  extra.pathEnd = points.back();
  return true;
}

std::vector<CPoint3d>& Scratch() {
  thread_local std::vector<CPoint3d> points;
  points.clear();
  return points;
}

// The corner of the element of `self` with the next move in the plane, at
// height z; the element's own offset end when there is none.
Ending EndOf(const CGCInstruction& self, const Element& own, double z) {
  Ending ending;
  ending.end = own.OffsetEnd();
  const short plane = static_cast<short>(self.GetPlaneCode());
  if (const CGCInstruction* next = NextInPlane(self)) {
    // The cancel move is offset like the move before it.
    const Cutter cutter = next->IsCompensated() ? CutterOf(*next) : own.cutter;
    Element following;
    if (MakeElement(*next, plane, cutter, following) && (next->IsCompensated() || !following.arc))
      ending = SolveCorner(own, following);
  }
  ending.end.z = z;
  for (int i = 0; i < ending.joins; ++i) ending.join[i].z = z;
  return ending;
}

void PushEnding(std::vector<CPoint3d>& points, const Ending& ending, short plane) {
  points.push_back(SwapForPlane(ending.end, plane));
  for (int i = 0; i < ending.joins; ++i) points.push_back(SwapForPlane(ending.join[i], plane));
}

}  // namespace

bool CompensationChangesOnArc(const CGCInstruction& arc) {
  if (arc.IsCompensated()) return !OffsetIsSet(arc);
  const CGCInstruction* previous = arc.GetPrevious();
  return previous && previous->IsCompensated() && IsLineOrArc(previous);
}

bool CutterFitsArc(const CGCInstruction& instr, const CGraphicCircle& arc) {
  if (!instr.IsCompensated()) return true;
  const Cutter cutter = CutterOf(instr);
  const double delta = ArcOffsetForSide(arc, cutter.radius, cutter.side);
  return !(std::fabs(arc.m_radius) + delta < -1e-9);
}

// The side-table entry of a move whose compensated path is built anew: no
// polyline yet, and its path ending at its programmed end until the build
// says otherwise. Null without a program.
CInstrExtra* FreshExtra(const CGCInstruction& move) {
  CGCProgram* program = move.GetProgram();
  if (!program) return nullptr;
  CInstrExtra& extra = program->Extra(&move);
  extra.compensated = nullptr;
  extra.pathEnd = SwapForPlane(move.GetEndPoint(), static_cast<short>(move.GetPlaneCode()));
  return &extra;
}

namespace {

// The block message of a move whose inside corner with the next move cannot
// be cut (once, however often the path is built).
void ReportBlockedCorner(const CGCInstruction& move) {
  static const char16_t kText[] =
      u"Cutter compensation: the offsets of the inside corner at the end of this block do not meet; the cutter is too "
      u"large for the corner";
  CGCBlock* block = move.GetBlock();
  if (!block) return;
  std::vector<WString>& messages = block->GetMessages();
  if (std::find(messages.begin(), messages.end(), kText) == messages.end()) messages.emplace_back(kText);
}

}  // namespace

bool BuildCompensatedLine(const CGCInstruction& line, CPathSink& sink) {
  const bool self = line.IsCompensated();
  const CGCInstruction* previous = line.GetPrevious();
  const bool before = previous && previous->IsCompensated();
  if (!self && !before) return false;
  CInstrExtra* fresh = FreshExtra(line);
  if (!fresh) return false;
  CInstrExtra& extra = *fresh;
  const short plane = static_cast<short>(line.GetPlaneCode());
  const CPoint3d S = line.GetStartPoint();
  const CPoint3d E = line.GetEndPoint();
  std::vector<CPoint3d>& points = Scratch();
  if (!self) {
    // Compensation ends: from the last corner to the programmed end.
    points.push_back(SwapForPlane(PreviousCorner(line), plane));
    points.push_back(SwapForPlane(E, plane));
    return Emit(sink, extra, kStyleRapid, points);
  }
  const bool set = OffsetIsSet(line);
  Element own;
  if (!MakeElement(line, plane, CutterOf(line), own)) {
    // No motion in the plane: the offset stays as it is.
    if (!set) return false;
    const CPoint3d P = PreviousCorner(line);
    points.push_back(SwapForPlane(P, plane));
    points.push_back(SwapForPlane(WithZ(P, E.z), plane));
    return Emit(sink, extra, line.GetKind() == kKindRapid ? kStyleRapid : kStyleCompensation, points);
  }
  if (!set) {
    // Start-up: to the point offset from the end, square to the next move
    // in the plane (or to this move when there is none).
    CPoint3d K = own.OffsetEnd();
    if (const CGCInstruction* next = NextInPlane(line)) {
      Element following;
      if (MakeElement(*next, plane, own.cutter, following)) K = following.OffsetStart();
    }
    points.push_back(SwapForPlane(S, plane));
    points.push_back(SwapForPlane(WithZ(K, E.z), plane));
    return Emit(sink, extra, kStyleRapid, points);
  }
  const Ending ending = EndOf(line, own, E.z);
  if (ending.blocked) {
    // Nothing is drawn: the path ends before this block.
    ReportBlockedCorner(line);
    return true;
  }
  points.push_back(SwapForPlane(PreviousCorner(line), plane));
  PushEnding(points, ending, plane);
  return Emit(sink, extra, kStyleCompensation, points, ending.joins);
}

bool BuildCompensatedArc(const CGCInstructionCircular& arc, CPathSink& sink) {
  if (!arc.IsCompensated()) return false;
  CInstrExtra* fresh = FreshExtra(arc);
  if (!fresh) return false;
  CInstrExtra& extra = *fresh;
  const short plane = static_cast<short>(arc.GetPlaneCode());
  const CPoint3d E = arc.GetEndPoint();
  // An arc that could not be solved is drawn plain (its block has a message).
  const CGraphicCircle* solved = SolvedArc(arc);
  std::vector<CPoint3d>& points = Scratch();
  const CPoint3d P = PreviousCorner(arc);
  if (!solved && !MovesInPlane(arc) && OffsetIsSet(arc)) {
    // An arc of 0 degrees (an R arc that ends where it starts): no motion
    // in the plane, the offset stays as it is.
    points.push_back(SwapForPlane(P, plane));
    points.push_back(SwapForPlane(WithZ(P, E.z), plane));
    return Emit(sink, extra, kStyleCompensation, points);
  }
  Element own;
  if (!solved || !MakeElement(arc, plane, CutterOf(arc), own)) return false;

  if (!OffsetIsSet(arc)) {
    // Compensation starts on an arc: a rapid from where the move before
    // started to where that move, carried on, meets the arc's offset.
    const CPoint3d S = arc.GetStartPoint();
    const CGCInstruction* previous = arc.GetPrevious();
    const CPoint3d from = previous ? SwapForPlane(previous->GetStartPointInPlane(), plane) : S;
    CPoint3d K = own.OffsetStart();
    CGraphic approach(from, S, plane);
    CGraphicCircle circle = *solved;
    const CGCCompensationL2C entry(approach, circle, own.cutter.Signed(), own.cutter.side, P, K, false);
    if (!Finite(K)) K = own.OffsetStart();
    points.push_back(SwapForPlane(from, plane));
    points.push_back(SwapForPlane(WithZ(K, E.z), plane));
    return Emit(sink, extra, kStyleRapid, points);
  }

  const Ending ending = EndOf(arc, own, E.z);
  if (ending.blocked) {
    ReportBlockedCorner(arc);
    return true;
  }
  CGraphicCircle drawn = *solved;
  drawn.m_start = P;
  drawn.m_end = ending.end;
  drawn.ComputeSweep();
  // A trimmed arc never sweeps further than the programmed one, carried on
  // to where it meets the move before or after it at an outside corner:
  // where its corners cross over, the cutter cannot follow it and goes
  // straight.
  const double reach = std::fabs(solved->m_sweep) + ArcLead(*solved, P, own.OffsetStart()) +
                       ArcLead(*solved, own.OffsetEnd(), ending.end);
  if (std::fabs(drawn.m_sweep) <= reach + kSweepSlack) {
    AppendArcPoints(drawn, points);
    points.pop_back();  // the end follows with the corner
  } else {
    points.push_back(SwapForPlane(P, plane));
  }
  PushEnding(points, ending, plane);
  return Emit(sink, extra, kStyleCompensation, points, ending.joins);
}

}  // namespace quillet
