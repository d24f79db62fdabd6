#include "mod_gcode/instructions/Cycle.h"

#include <algorithm>
#include <cmath>

#include "mod_gcode/program/Block.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/instructions/Transform.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet {

// ------------------------------------------------------- generated moves

CGCInstructionCCMove::CGCInstructionCCMove(const CGCCoord& words, const CPoint3d& start, bool coloured, short kind,
                                           const CMoveColour& colour, int planeCode)
    : CGCInstructionWords<3>(kind), m_start(start), m_colour(colour), m_coloured(coloured) {
  Words().CopyWords(words);
  // The words are already in the cycle's plane order.
  m_planeCode = static_cast<std::uint8_t>(planeCode >= 0 && planeCode <= 2 ? planeCode : 0);
}

CPathStyle CGCInstructionCCMove::Style() const {
  const CLibraryState& lib = Lib();
  if (!m_coloured) return lib.styles[m_kind == kKindRapid ? kStyleRapid : kStyleFeed];
  // A style of its own: the shared feed style stays as it is.
  CPathStyle s = lib.styles[kStyleFeed];
  s.r = m_colour.r;
  s.g = m_colour.g;
  s.b = m_colour.b;
  s.a = m_colour.a;
  s.width = 1.5f;
  return s;
}

void CGCInstructionCCMove::AppendSegment(CPathSink& sink) {
  sink.Add(sink.arena->MakeSegment(Style(), StartInMachineAxes(), GetEndPointInPlane()));
}

bool CGCInstructionCCMove::ReportFor(const CGCInstruction& cycle, const int* line, const double* feed) const {
  CodeCommandCallback cb = Lib().command;
  if (!cb) return true;
  int ln = line ? *line : 0;
  short k = m_kind;
  const CPoint3d value = SwapForPlane(GetEndValuePoint(), m_planeCode);
  const CPoint3d position = GetEndPointInPlane();
  const CGCCoord w = cycle.Words();
  const int plane = cycle.GetPlaneCode();
  double v[12] = {value.x,
                  value.y,
                  value.z,
                  position.x,
                  position.y,
                  position.z,
                  w.GetValue(PlaneWordIndex(kWordI, plane)),
                  w.GetValue(PlaneWordIndex(kWordJ, plane)),
                  w.GetValue(PlaneWordIndex(kWordK, plane)),
                  w.GetValue(kWordR),
                  w.GetValue(kWordP),
                  w.GetValue(kWordQ)};
  double f = feed ? *feed : 0.0;
  return cb(&ln, &k, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11], &f) !=
         0;
}

CGCInstructionCCState::CGCInstructionCCState(short kind, double value) : CGCInstructionWords<1>(kind) {
  SetWord(0, CGCDimWordMM(value, 1), false);
}

// ----------------------------------------------------------------- cycle

CGCInstructionCC::CGCInstructionCC(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block,
                                   short returnMode, WStringView name)
    : CGCInstructionWords<9>(chain, previous, block, kKindCycle), m_returnMode(returnMode) {
  if (!name.empty()) m_script = &CScriptLibrary::Instance().Find(name);
}

CGCInstructionCC::~CGCInstructionCC() {
  for (CGCInstruction* g : Generated()) CGCInstruction::Dispose(g);
}

void CGCInstructionCC::TakeCycleData(const CGCInstructionCC& previous) {
  m_zIncrement = previous.m_zIncrement;
  m_hasZIncrement = previous.m_hasZIncrement;
}

int CGCInstructionCC::RepeatWordIndex(int index) const {
  if (index != kWordL) return index;
  const CGCWordRef k = GetWord(PlaneWordIndex(kWordK, m_planeCode));
  return k && k.IsSpecified() ? -1 : kWordK;
}

void CGCInstructionCC::SetWordText(int index, WStringView text, double base, bool absolute) {
  index = RepeatWordIndex(index);
  if (index >= 0) CGCInstruction::SetWordText(index, text, base, absolute);
}

void CGCInstructionCC::SetWordNumber(int index, double number, double base, bool absolute) {
  index = RepeatWordIndex(index);
  if (index >= 0) CGCInstruction::SetWordNumber(index, number, base, absolute);
}

void CGCInstructionCC::SetWordValue(int index, double programmed, bool absolute) {
  CGCWordRef w = GetWord(index);
  if (!w) return;
  CGCDimWordMM word = w.Get();
  if (index == kWordR) {
    // The R level as programmed: an incremental R counts from the initial
    // level, not from the R held before.
    const double position = word.GetPosition();
    word.Apply(programmed, 0.0, absolute);
    word.SetPosition(position);
  } else if (!absolute && index == PlaneWordIndex(kWordK, m_planeCode)) {
    word.Apply(programmed, 0.0, false);
    word.SetPosition(word.GetValue());
  } else if (!absolute) {
    const double base = word.GetValue();
    word.Apply(programmed, base, false);
    const double step = word.GetValue() - base;
    if (index == kWordX) m_xShift = step;
    if (index == kWordY) m_yShift = step;
    if (index == kWordZ) {
      m_zIncrement = step;
      m_hasZIncrement = true;
    }
  } else {
    word.Apply(programmed, 0.0, true);
    if (index == kWordZ) m_hasZIncrement = false;
  }
  w.Set(word);
}

void CGCInstructionCC::ApplyTransforms() {
  if (m_expanded) return;  // the expansion is made once
  m_expanded = true;
  ApplyChain();
  CGCProgram* program = GetProgram();
  const double initialLevel = program ? program->GetInitialLevel() : 0.0;
  const CGCCoord w = Words();
  const CTransformChain* chain = Transforms();
  const bool chained = chain && chain->Count() >= 1 && chain->Count() <= CTransformChain::kMax;
  const CGCTransform* ref = chained ? chain->Find(CGCTransform::kRefPoint) : nullptr;
  if (ref && !w.NoneOfXYZSpecified()) {
    // Incremental levels: R counts from the initial level, Z from the R
    // level (the work offset is in both already); scaled like the levels.
    auto drawn = [&](double step) { return MapDisplacement(chain, CPoint3d(0.0, 0.0, step), m_planeCode).z; };
    if (w.IsSpecified(kWordR) && !w.IsAbsolute(kWordR))
      w.SetPosition(kWordR, initialLevel + drawn(w.GetValue(kWordR)));
    if (w.IsSpecified(kWordZ) && !w.IsAbsolute(kWordZ)) {
      const double bottom = w.GetPosition(kWordR) + drawn(m_hasZIncrement ? m_zIncrement : 0.0);
      w.SetPosition(kWordZ, bottom);
      // Keep the value in the programmed frame of the position.
      const CPoint3d o = RefPointOffset(ref->Defining(), program, m_planeCode);
      w.SetValue(kWordZ, bottom - o.z);
    }
  }
  m_bottomValue = w.GetValue(kWordZ);
  const CPoint3d hole = w.GetPositionPoint();

  // The tool's position before the cycle, in this cycle's axis order.
  CGCCoordN<9> startStore;
  const CGCCoord start = startStore.View();
  if (m_previous) {
    const CPoint3d p = GetStartPoint();
    for (int i = 0; i < 3; ++i) start.ReplaceWord(i, CGCDimWordMM(p.At(i), 1));
  }
  // Until G98 or G99 is programmed the cycle returns to the initial level.
  const short mode = program ? program->GetModalCode(29) : short{-1};
  m_returnMode = mode < 0 ? short{1} : mode;

  // The run collects into a reused list; the cycle keeps a copy of exactly
  // the size needed, beside its moves in the arena.
  thread_local std::vector<CGCInstruction*> generated;
  generated.clear();
  std::vector<WString> messages;
  CScriptRun run;
  run.generated = &generated;
  run.arena = program ? &program->InstrArena() : nullptr;
  run.messages = &messages;
  run.initialLevel = initialLevel;
  run.returnMode = m_returnMode;
  run.polar = chained && chain->Find(CGCTransform::kPolar) != nullptr;
  run.xShift = m_xShift;
  run.yShift = m_yShift;
  if (!run.polar) {
    // The step between repeated holes as drawn (scaled, mirrored, turned).
    const CPoint3d step = MapDisplacement(chain, CPoint3d(m_xShift, m_yShift, 0.0), m_planeCode);
    run.xShift = step.x;
    run.yShift = step.y;
  }
  if (run.polar) {
    // In polar mode X is the radius and Y the angle: the pole lies that far
    // back from the hole, as drawn through the transforms.
    const double radius = w.GetValue(kWordX);
    const double angle = DegToRad(w.GetValue(kWordY));
    const CPoint3d back =
        MapDisplacement(chain, CPoint3d(radius * std::cos(angle), radius * std::sin(angle), 0.0), m_planeCode);
    run.poleX = hole.x - back.x;
    run.poleY = hole.y - back.y;
    run.chain = chain;
  }
  run.spindleSpeed = program ? program->GetS() : 0.0;
  run.planeCode = m_planeCode;
  if (program) run.moveLimit = program->CycleMoveBudget();
  if (m_script) m_script->Run(run, w, start);
  m_count = generated.size();
  if (program) program->ChargeCycleMoves(m_count, run.Full(), m_block);
  if (m_count > 0) {
    if (run.arena) {
      m_items = static_cast<CGCInstruction**>(run.arena->Allocate(m_count * sizeof(CGCInstruction*)));
    } else {
      m_heapItems = std::make_unique<CGCInstruction*[]>(m_count);
      m_items = m_heapItems.get();
    }
    std::copy(generated.begin(), generated.end(), m_items);
  }
  generated.clear();
  // The scripts tell only of holes fed in one move: the run goes on.
  if (m_block)
    for (WString& m : messages) {
      if (program) program->AddNoticeOnce(m_block, std::move(m));
      else m_block->AddNotice(std::move(m));
    }

  // The cycle ends where the tool stopped. Its values follow, so that a
  // following move that leaves an axis out keeps the tool where it is
  // instead of going back to the first hole or down to the bottom.
  const CPoint3d end = start.GetPositionPoint();
  const CPoint3d moved = UnmapDisplacement(chain, end - hole, m_planeCode);
  for (int i = run.polar ? 2 : 0; i < 3; ++i) w.SetValue(i, w.GetValue(i) + moved.At(i));
  // In polar mode the angle is the last hole's.
  if (run.polar && run.repetitions > 1) w.SetValue(kWordY, w.GetValue(kWordY) + (run.repetitions - 1) * m_yShift);
  w.SetPositionPoint(end);
}

void CGCInstructionCC::BuildPath(CPathSink& sink) {
  for (CGCInstruction* g : Generated()) g->AppendSegment(sink);
}

bool CGCInstructionCC::Report() {
  bool result = true;
  for (CGCInstruction* g : Generated()) {
    const auto* move = dynamic_cast<const CGCInstructionCCMove*>(g);
    result = move ? move->ReportFor(*this, ReportLine(), ReportFeed())
                  : g->ReportCommand(g->GetKind(), ReportLine(), ReportFeed());
    if (!result) break;
  }
  return result;
}

}  // namespace quillet
