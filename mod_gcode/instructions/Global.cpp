#include "mod_gcode/instructions/Global.h"

#include "mod_gcode/program/Block.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet {

void CGCInstructionGlobal::SetWordValue(int index, double programmed, bool absolute) {
  // Modal settings take the programmed value as it stands, whatever the mode.
  if (CGCWordRef w = GetWord(index)) w.Apply(programmed, 0.0, absolute);
}

void CGCInstructionGlobalForRIns::SetWordValue(int index, double programmed, bool absolute) {
  CGCInstruction::SetWordValue(index, programmed, absolute);
}

namespace {
// The programmed value in millimetres as the word's unit class reads it.
double ToMillimetres(const CGCWordRef& w, double programmed) { return w.IsInch() ? programmed * 25.4 : programmed; }

// Sets a word's value directly (already in millimetres), marking it given.
void SetMillimetreValue(const CGCWordRef& w, double value, bool absolute) {
  CGCDimWordMM mm = w.AsMillimetre();
  mm.Apply(value, 0.0, absolute);
  w.Set(mm);
}
}  // namespace

void CGCInstructionGlobalLocalCoordSet::SetWordValue(int index, double programmed, bool absolute) {
  CGCWordRef own = GetWord(index);
  if (!own || index > 2) {
    CGCInstructionGlobal::SetWordValue(index, programmed, absolute);
    return;
  }
  CGCProgram* program = GetProgram();
  double zero = program ? program->GetPartZero().At(index) : 0.0;
  const double shift = ToMillimetres(own, programmed);
  double w = zero + shift;
  if (program) {
    // The shift stays in force in every work system until G52 cancels it.
    CPoint3d local = program->LocalShift();
    const double before = local.At(index);
    local.At(index) = shift;
    program->SetLocalShift(local);
    if (CGCInstruction* g25 = program->GetModal(25)) {
      if (CGCWordRef target = g25->GetWord(index)) {
        // The zero in force (with a G92 shift) with the new local shift
        // in place of the old one.
        w = target.GetValue() - before + shift;
        SetMillimetreValue(target, w, absolute);
        program->TouchModalState();
      }
    }
  }
  SetMillimetreValue(own, w, absolute);
}

void CGCInstructionGlobalPartZero::SetWordValue(int index, double programmed, bool absolute) {
  CGCWordRef w = GetWord(index);
  if (!w) return;
  // The current position minus the programmed coordinate, converted once.
  double d = w.GetValue() - ToMillimetres(w, programmed);
  SetMillimetreValue(w, d, absolute);
  w.SetPosition(d);
}

void CGCInstructionPParam::Refuse(WString text) {
  if (m_block) m_block->AddMessage(std::move(text));
}

void CGCInstructionPParam::ApplyTransforms() {
  CGCProgram* program = GetProgram();
  double lv = GetWordValue(kWordL);
  double pv = GetWordValue(kWordP);
  if (!plat::FitsInt(lv) || !plat::FitsInt(pv)) {
    Refuse(u"G10: L or P out of range");
    return;
  }
  int l = static_cast<int>(lv);
  int p = static_cast<int>(pv);
  if (l == 2) {
    if (p < 1) return;
    PutWordValue(kWordI, 0.0);
    CDataCoordSystem* table = program ? program->CoordTable() : nullptr;
    if (!table || p >= CDataCoordSystem::kRows) {
      Refuse(u"G10 L2: work coordinate system P" + plat::FormatIntW(p) + u" does not exist");
      return;
    }
    // An incremental value (G91) adds to the stored offset.
    for (int axis = 0; axis < 3; ++axis)
      if (Words().IsSpecified(axis))
        table->SetValue(p, axis, GetWordValue(axis) + (Words().IsAbsolute(axis) ? 0.0 : table->GetValue(p, axis)));
    // New data for the system in force applies to the moves that follow;
    // the tool stays where it is, and so do the axes they do not name.
    if (CGCInstruction* g25 = program->GetModal(25))
      if (g25->Words().Has(3) && g25->GetWordValue(3) == p) {
        program->ApplyWorkOffsetFromModal();
        program->SetWorkOffsetFlag(true);
      }
  } else if (l >= 10 && l <= 13) {
    PutWordValue(kWordI, 1.0);
    if (p < 1) return;
    CDataComp* table = program ? program->OffsetTable() : nullptr;
    if (!table || p >= CDataComp::kRows) {
      Refuse(u"G10 L" + plat::FormatIntW(l) + u": offset number P" + plat::FormatIntW(p) + u" does not exist");
      return;
    }
    const bool add = Words().IsSpecified(kWordR) && !Words().IsAbsolute(kWordR);
    table->SetValue(p, l - 10, GetWordValue(kWordR) + (add ? table->GetValue(p, l - 10) : 0.0));
  }
}

void CGCInstructionChangeTool::ApplyTransforms() {
  double t = GetWordValue(3);
  int tool = plat::FitsInt(t) ? static_cast<int>(t) : 0;
  double a = 0, b = 0, h = 0;
  AskToolOffsets(tool, a, b, h);
  CPoint3d s = GetStartPointInPlane();
  Words().SetPositionPoint(SwapForPlane(CPoint3d(s.x, s.y, h), m_planeCode));
}

void CGCInstructionChangeTool::BuildPath(CPathSink& sink) {
  sink.Add(sink.arena->MakeSegment(Lib().styles[kStyleFeed], GetStartPointInPlane(), GetEndPointInPlane()));
}

}  // namespace quillet
