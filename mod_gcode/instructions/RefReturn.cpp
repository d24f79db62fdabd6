#include "mod_gcode/instructions/RefReturn.h"

#include <cmath>

#include "mod_gcode/program/Block.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet {

namespace {
// How near (mm) an intermediate point must be to the way to count as on it.
constexpr double kOnTheWay = 1e-9;
const CPathStyle& ReturnStyle() { return Lib().styles[kStyleRefReturn]; }
}  // namespace

void CGCInstructionReturnRefCheck::BuildPath(CPathSink& sink) {
  sink.Add(sink.arena->MakeSegment(ReturnStyle(), GetStartPointInPlane(), GetEndPointInPlane()));
}

CGCInstructionReturnRef::~CGCInstructionReturnRef() { ClearMoves(); }

void CGCInstructionReturnRef::ClearMoves() {
  for (CGCInstruction* m : m_moves) CGCInstruction::Dispose(m);
  m_moves.clear();
}

CGCInstruction* CGCInstructionReturnRef::GetMove(int i) const {
  return i >= 0 && i < static_cast<int>(m_moves.size()) ? m_moves[static_cast<std::size_t>(i)] : nullptr;
}

void CGCInstructionReturnRef::AddMove(const CPoint3d& to) {
  CGCCoordN<3> words;
  CGCCoord view = words.View();
  for (int i = 0; i < 3; ++i) view.ReplaceWord(i, CGCDimWordMM(to.At(i), 1));
  CGCInstruction* move;
  if (CGCProgram* p = GetProgram()) move = p->MakeInstruction<CGCInstructionFromWords>(view, short{kKindRapid});
  else move = new CGCInstructionFromWords(view, kKindRapid);
  move->SetBlock(m_block);
  m_moves.push_back(move);
}

void CGCInstructionReturnRef::ApplyTransforms() {
  ClearMoves();
  m_direct = false;
  ApplyChain();
  m_intermediate = GetEndPoint();
  CGCCoord w = Words();
  const CPoint3d start = GetStartPoint();
  // An incremental intermediate point is measured from where the tool is.
  for (int i = 0; i < 3; ++i)
    if (w.IsSpecified(i) && !w.IsAbsolute(i)) m_intermediate.At(i) = start.At(i) + w.GetValue(i);
  double a = 0, b = 0, h = 0;
  CGCProgram* program = GetProgram();
  AskToolOffsets(program ? program->GetT() : 0, a, b, h);
  // Zero values return axis by axis when the intermediate point lies on
  // that way (G91 zeros: where the tool is). An absolute zero is the work
  // zero, which the tool passes on its way to the reference point.
  const CPoint3d target(0.0, 0.0, h);
  bool onTheWay = true;
  for (int i = 0; i < 3; ++i)
    if (w.IsSpecified(i) && std::fabs(m_intermediate.At(i) - start.At(i)) > kOnTheWay &&
        std::fabs(m_intermediate.At(i) - target.At(i)) > kOnTheWay)
      onTheWay = false;
  if (w.GetValue(0) == 0.0 && w.GetValue(1) == 0.0 && w.GetValue(2) == 0.0 && onTheWay) {
    // Axis by axis: each given axis goes straight to the reference point,
    // Z to the tool's length.
    CPoint3d p = start;
    if (w.IsSpecified(0)) {
      p.x = 0.0;
      AddMove(p);
    }
    if (w.IsSpecified(1)) {
      p.y = 0.0;
      AddMove(p);
    }
    if (w.IsSpecified(2)) {
      p.z = h;
      AddMove(p);
    }
    w.SetPositionPoint(p);
    m_direct = true;
  } else {
    // The named axes end at the reference point; the others stay.
    CPoint3d end = start;
    for (int i = 0; i < 3; ++i)
      if (w.IsSpecified(i)) end.At(i) = 0.0;
    w.SetPositionPoint(end);
    AddMove(m_intermediate);
  }
  // For a G29 read in the lines that follow (the path build stores it again
  // in order).
  if (program) program->SetReferenceIntermediate(m_intermediate);
}

void CGCInstructionReturnRef::BuildPath(CPathSink& sink) {
  std::vector<CPoint3d> pts;
  pts.push_back(GetStartPointInPlane());
  if (m_direct) {
    for (CGCInstruction* m : m_moves) pts.push_back(SwapForPlane(m->GetEndPoint(), m_planeCode));
  } else {
    pts.push_back(SwapForPlane(m_intermediate, m_planeCode));
    pts.push_back(GetEndPointInPlane());
  }
  sink.Add(sink.arena->MakePolyline(ReturnStyle(), pts.data(), pts.size()));
  if (CGCProgram* p = GetProgram()) p->SetReferenceIntermediate(m_intermediate);
}

bool CGCInstructionReturnRef::Report() {
  for (CGCInstruction* m : m_moves) m->ReportCommand(kKindRapid, ReportLine(), ReportFeed());
  if (!m_direct) ReportCommand(m_kind, ReportLine(), ReportFeed());
  return true;
}

void CGCInstructionReturnFromRef::ApplyTransforms() {
  ApplyChain();
  // An incremental word counts from the intermediate point the tool passes,
  // not from the reference point where it stands.
  CGCProgram* p = GetProgram();
  if (!p) return;
  CGCCoord w = Words();
  const CPoint3d start = GetStartPoint();
  const CPoint3d mid = m_mid = p->ReferenceIntermediate();
  CPoint3d end = GetEndPoint();
  bool incremental = false;
  for (int i = 0; i < 3; ++i)
    if (w.IsSpecified(i) && !w.IsAbsolute(i)) {
      end.At(i) = mid.At(i) + (end.At(i) - start.At(i));
      incremental = true;
    }
  if (incremental) w.SetPositionPoint(end);
}

void CGCInstructionReturnFromRef::BuildPath(CPathSink& sink) {
  // The named axes pass the stored intermediate point; the others stay.
  CPoint3d mid = m_mid;
  const CPoint3d start = GetStartPoint();
  const CGCCoord w = Words();
  for (int i = 0; i < 3; ++i)
    if (!w.IsSpecified(i)) mid.At(i) = start.At(i);
  CPoint3d pts[3] = {GetStartPointInPlane(), SwapForPlane(mid, m_planeCode), GetEndPointInPlane()};
  sink.Add(sink.arena->MakePolyline(ReturnStyle(), pts, 3));
}

}  // namespace quillet
