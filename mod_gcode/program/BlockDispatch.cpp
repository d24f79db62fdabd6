// Code dispatch: every code word of a block reaches the handler of its rule
// type, which creates the block's instructions and changes the modal state.
#include <cmath>

#include "mod_gcode/program/Block.h"
#include "mod_gcode/instructions/Calls.h"
#include "mod_gcode/instructions/Cycle.h"
#include "mod_gcode/instructions/Global.h"
#include "mod_gcode/macro/Macro.h"
#include "mod_gcode/instructions/Motion.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/instructions/RefReturn.h"
#include "mod_gcode/instructions/Transform.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet {

namespace {

// A plain instruction with three words (tool select, M-code states use the
// eight-word modal instruction instead).
class CGCInstructionPlain3 : public CGCInstructionWords<3> {
 public:
  CGCInstructionPlain3(CGCBlock* block, short kind) : CGCInstructionWords<3>(ChainRef(), nullptr, block, kind) {}
};

bool IsRapidOrLine(const CGCInstruction* i) {
  return i && (i->GetKind() == kKindRapid || i->GetKind() == kKindLine);
}

bool IsMotionKind(const CGCInstruction* i) { return i && i->GetKind() >= kKindRapid && i->GetKind() <= kKindCircleCcw; }

// The number of a code name without its letter (G90 -> 90).
double CodeNameNumber(const WString& codename) {
  return codename.size() > 1 ? plat::ParseDouble(WStringView(codename).substr(1)) : 0.0;
}

// The axis words (a bit per machine axis) a compact line names anywhere in
// it; letters inside brackets belong to expressions, and a line's
// assignment names no axis.
unsigned AxesNamedInLine(const WString& line) {
  const CCodeRuleTable* table = Lib().mainRules.get();
  if (!table) return 0;
  unsigned mask = 0;
  int depth = 0;
  for (char16_t c : line) {
    if (c == u'[') {
      ++depth;
    } else if (c == u']') {
      if (depth > 0) --depth;
    } else if (c == u'=') {
      break;
    } else if (depth == 0 && (c == u'X' || c == u'Y' || c == u'Z')) {
      const int index = table->FindByLetter(c).RuleNumber();
      if (index >= 0 && index <= 2) mask |= 1u << index;
    }
  }
  return mask;
}

const char16_t kModeRefusal[] =
    u"In scaling ,mirroring,rotating mode,G codes related to reference position return(G27,G28,G29,G30,etc.)";
const char16_t kModeRefusalTail[] = u" and those changing the coordinate system(G52 to G59,G92,etc.)must not be specified.";

}  // namespace

// Whether a compact line's block is in absolute mode: the last G90 or G91
// anywhere in it decides (the control applies a block's codes together);
// without one, the mode in force.
bool LineIsAbsolute(const WString& line, bool inForce) {
  bool absolute = inForce;
  if (WStringView(line).find(u"G9") == WStringView::npos) return absolute;
  int depth = 0;
  const std::size_t n = line.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = line[i];
    if (c == u'[') ++depth;
    else if (c == u']' && depth > 0) --depth;
    else if (c == u'=') break;
    if (depth > 0 || c != u'G' || i + 2 >= n || line[i + 1] != u'9') continue;
    const char16_t mode = line[i + 2];
    const char16_t after = i + 3 < n ? line[i + 3] : u'\0';
    if ((mode == u'0' || mode == u'1') && !(after >= u'0' && after <= u'9') && after != u'.') absolute = mode == u'0';
  }
  return absolute;
}

bool CGCBlock::InchWords() const { return GetModalCode(31) != 1; }
bool CGCBlock::PolarInch() const { return InchWords() && GetModalCode(27) == 1; }

CGCDimWordMM CGCBlock::NewWord(int index, bool polarRule) const {
  bool inch = InchWords();
  if (inch && polarRule && index == 1 && GetModalCode(27) == 1) inch = false;
  return MakeWord(inch);
}

void CGCBlock::GiveWord(CGCInstruction* instr, int machineIndex, const CGCDimWordMM& word) {
  instr->Words().ReplaceWord(PlaneWordIndex(machineIndex, instr->GetPlaneCode()), word);
}

void CGCBlock::RejectInModes(const char16_t* tabs) {
  WString text = kModeRefusal;
  text += tabs;
  text += kModeRefusalTail;
  AddMessage(std::move(text));
  // The refused code's words move nothing.
  Scan().dropWords = true;
}

bool CGCBlock::FindAddressDigits(const CCodeRuleEntry& rule, WString& digits) {
  // The scan reads the word itself as well (M03S1200 keeps its S word).
  if (rule.m_address.empty()) return false;
  return FindLetterDigits(rule.m_address[0], digits);
}

bool CGCBlock::FindLetterDigits(char16_t letter, WString& digits) {
  if (!m_program->ScanLine()) return false;
  // The scanned line is compact: no comments, no blanks, upper case.
  const WString& line = *m_program->ScanLine();
  const std::size_t end = line.size();
  for (std::size_t i = 0; i < end; ++i) {
    if (line[i] != letter) continue;
    digits.clear();
    bool expression = false;
    const std::size_t valueEnd = WordValueEnd(line, i + 1, expression);
    if (expression) {
      // P#1: the value rounded to a whole number.
      const double value = Evaluate(WStringView(line).substr(i + 1, valueEnd - i - 1));
      const double whole = std::round(value);
      if (whole >= 0 && plat::FitsInt(whole)) digits = plat::FormatIntW(static_cast<long long>(whole));
      return true;
    }
    for (std::size_t j = i + 1; j < end && line[j] >= u'0' && line[j] <= u'9'; ++j) digits.push_back(line[j]);
    return true;
  }
  return false;
}

int CGCBlock::DispatchRule(WStringView code, int& index, CGCInstruction** previousMotion) {
  CLineScan& scan = Scan();
  const CCodeRuleTable* table = scan.macroArgs ? Lib().macroRules.get() : Lib().mainRules.get();
  if (!table) return 0;
  const CCodeRuleEntry& rule = table->FindByCode(code);
  if (rule.IsEmpty()) return 0;
  const short type = rule.RuleType();
  if (type < 0 || type > 100) return 0;
  switch (type) {
    case 0:
      if (rule.m_movable) OnReferenceReturn(rule, previousMotion);
      else OnSettingCode(rule, previousMotion);
      break;
    case 1:
      if (bool later = false; MotionCodeMoves(rule, index, later)) OnMotion(rule, previousMotion);
      else SetMotionMode(rule, later);
      break;
    case 2:
      OnPlane(rule);
      if (IsMotionKind(scan.current)) scan.current->SetPlane(m_plane);
      break;
    case 3: OnDistanceMode(rule); break;
    case 5: OnFeedMode(rule); break;
    case 6: OnUnits(rule); break;
    case 7:
      OnCutterCompensation(rule);
      OnDNumber(rule);
      if (IsMotionKind(scan.current)) ApplyCompensationState(scan.current);
      break;
    case 8: OnToolLengthOffset(rule); break;
    case 9: OnCannedCycle(rule, previousMotion); break;
    case 10: OnReturnMode(rule); break;
    case 11: OnScaling(rule); break;
    case 12: OnModalMacro(rule, previousMotion); break;
    case 14: OnWorkCoordinateSystem(rule); break;
    case 16: OnRotation(rule, previousMotion); break;
    case 17: OnPolar(rule); break;
    case 22: OnMirror(rule); break;
    case 98:
      if (scan.macroArgs) {
        if (scan.current && code.size() > 1) scan.current->SetWordText(rule.RuleNumber(), code.substr(1), 0.0, false);
      } else {
        OnLetterWord(rule, code.size() > 1 ? code.substr(1) : WStringView());
      }
      break;
    case 100: OnMCode(rule, index, previousMotion); break;
    default: break;
  }
  return 0;
}

// ---------------------------------------------------------------- motions

void CGCBlock::CarryMotionWords(CGCInstruction* motion, const CGCInstruction* from) {
  for (int axis = 0; axis < 3; ++axis) {
    bool inch = InchWords();
    if (inch && axis == 1 && GetModalCode(27) == 1) inch = false;  // polar angle stays in degrees
    CGCDimWordMM word = MakeWord(inch);
    if (from) {
      if (CGCWordRef src = from->Words().GetWord(PlaneWordIndex(axis, from->GetPlaneCode()))) {
        // Value, position and flags are kept; the unit class follows the mode.
        std::uint8_t flags = static_cast<std::uint8_t>((src.Get().Flags() & ~kWordInch) | (inch ? kWordInch : 0));
        word = CGCDimWordMM::FromParts(src.GetValue(), src.GetPosition(), flags);
      }
    }
    GiveWord(motion, axis, word);
  }
}

void CGCBlock::RebaseOnWorkOffset(CGCInstruction* motion, const CGCInstruction* offsetInstr, unsigned named) {
  // The axes the line does not program keep the tool where it is: their
  // carried values become the current position's coordinates in the new
  // system (so neither an absolute nor an incremental word jumps by the
  // change of offset). Without a position to keep, they start from 0. The
  // axes in `named` (machine order) already hold this line's words.
  CGCInstruction* prev = motion->GetPrevious();
  const int plane = motion->GetPlaneCode();
  const bool keepTool = prev && offsetInstr && !m_program->IsModalActive(27);
  const CPoint3d p = keepTool ? motion->GetStartPoint() : CPoint3d();
  const CPoint3d o = keepTool ? RefPointOffset(offsetInstr, m_program, plane) : CPoint3d();
  for (int axis = 0; axis < 3; ++axis) {
    if (named & (1u << axis)) continue;
    const int i = PlaneWordIndex(axis, plane);
    motion->PutWordValue(i, p.At(i) - o.At(i));
  }
}

void CGCBlock::KeepToolAfterChange() {
  // Taken by the next move (see KeepUnnamedAxesInPlace).
  m_program->SetWorkOffsetFlag(true);
}

void CGCBlock::KeepUnnamedAxesInPlace(CGCInstruction* motion, int axes) {
  // After a code that changed the coordinate system or the way words are
  // read (a work system, G52, G92, a return, a tool change, polar
  // coordinates, scaling, mirror, rotation or their cancels), and on every
  // move under mirror or scaling, the carried values become the tool's
  // position taken back through the transforms (before the line's words are
  // given): an axis the line does not name stays where the tool is, and an
  // incremental word counts from there. Only the first `axes` axes (plane
  // order) are set; a repeated cycle keeps its bottom.
  const bool changed = m_program->GetWorkOffsetFlag();
  m_program->SetWorkOffsetFlag(false);
  const CGCInstruction* prev = motion->GetPrevious();
  const CTransformChain* chain = motion->Transforms();
  auto perAxis = [](const CTransformChain* c) {
    return c && (c->Find(CGCTransform::kMirror) || c->Find(CGCTransform::kScale));
  };
  // (A cycle keeps its carried hole position under them: its repeats
  // step from it.)
  const bool cycle = motion->GetKind() == kKindCycle;
  if (!changed && !(prev && !cycle && (perAxis(chain) || perAxis(prev->Transforms())))) return;
  // The transforms work in the axis order of the line's plane; the words
  // are kept in X, Y, Z order.
  const short plane = static_cast<short>(m_plane);
  CPoint3d at;  // without a position to keep, the axes start from 0
  if (prev) {
    const CGCTransform* ref = chain ? chain->Find(CGCTransform::kRefPoint) : nullptr;
    const CPoint3d offset = ref ? RefPointOffset(ref->Defining(), m_program, plane) : CPoint3d();
    at = UnmapPoint(chain, SwapForPlane(motion->GetStartPoint(), plane) - offset, plane);
  }
  const CPoint3d index = SwapForPlane(CPoint3d(0.0, 1.0, 2.0), plane);
  for (int i = 0; i < axes && i < 3; ++i) motion->PutWordValue(static_cast<int>(index.At(i)), at.At(i));
}

void CGCBlock::ApplyCompensationState(CGCInstruction* motion) {
  short code = GetModalCode(21);
  short side = (code == 0 || code == 1) ? code : 2;
  motion->SetCompensation(side, m_program->GetGroupOffset(21));
}

void CGCBlock::BuildMotion(const CCodeRuleEntry& rule, CGCInstruction** previousMotion, bool rapid) {
  CLineScan& scan = Scan();
  ChainRef chain = m_program->TransformChainFor(m_plane, false);
  // A group 01 code sets the modal motion. The skip move (G31, group 00) is
  // a feed line in its own block only: the modal motion stays as it was.
  const bool modal = rule.RuleType() == 1;
  const short kind = modal ? rule.RuleNumber() : static_cast<short>(kKindLine);
  CGCInstruction* motion =
      rapid ? static_cast<CGCInstruction*>(
                  m_program->MakeInstruction<CGCInstructionLineRapidTraverse>(chain, *previousMotion, this, kind))
            : m_program->MakeInstruction<CGCInstructionLine>(chain, *previousMotion, this, kind);
  scan.current = motion;
  AddInstruction(motion);
  m_feed = rapid ? 3000.0 : m_program->GetF();
  CarryMotionWords(motion, *previousMotion);
  // Under G53 the carried axes are taken into machine coordinates.
  if (scan.machine) RebaseOnWorkOffset(motion, scan.machine);
  else KeepUnnamedAxesInPlace(motion);
  ApplyCompensationState(motion);
  if (modal) m_program->SetMotionRule(&rule);
  *previousMotion = motion;
  motion->SetPlane(m_plane);
  FlushPendingWords(motion);
  if (modal) m_program->SetSystemVariable(4001, CodeNameNumber(rule.m_codename));
}

void CGCBlock::BuildRapid(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  BuildMotion(rule, previousMotion, true);
}

void CGCBlock::BuildLine(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  BuildMotion(rule, previousMotion, false);
}

void CGCBlock::BuildCircular(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  if (!m_program->GetModal(26)) return;
  CLineScan& scan = Scan();
  ChainRef chain = m_program->TransformChainFor(m_plane, false);
  auto* arc = m_program->MakeInstruction<CGCInstructionCircular>(chain, *previousMotion, this, rule.RuleNumber());
  scan.current = arc;
  AddInstruction(arc);
  m_feed = m_program->GetF();
  CarryMotionWords(arc, *previousMotion);
  bool inch = InchWords();
  bool polar = GetModalCode(27) == 1;
  for (int i = 3; i <= 5; ++i) GiveWord(arc, i, MakeWord(inch && !polar));
  GiveWord(arc, kWordR, MakeWord(inch));
  KeepUnnamedAxesInPlace(arc);
  m_program->SetMotionRule(&rule);
  *previousMotion = arc;
  ApplyCompensationState(arc);
  arc->SetPlane(m_plane);
  FlushPendingWords(arc);
}

bool CGCBlock::MotionCodeMoves(const CCodeRuleEntry& rule, int index, bool& later) const {
  // The block moves once, in the mode of its last group 01 code, and only
  // when it programs a position: axis words (also before the code), and for
  // an arc its centre or radius words. The words after a code that takes
  // them (a return, G92, G52, G10, G68, G51, G51.1, a macro call) are that
  // code's, until the motion code. Letters inside brackets belong to
  // expressions; an assignment names nothing.
  const CCodeRuleTable* table = Lib().mainRules.get();
  const WString& line = *m_program->ScanLine();
  if (!table) return true;
  const std::size_t n = line.size();
  const std::size_t after = static_cast<std::size_t>(index) + 1;
  // Where the number of the code word at `i` ends, and its rule.
  auto codeEnd = [&](std::size_t i) {
    std::size_t end = i + 1;
    while (end < n && ((line[end] >= u'0' && line[end] <= u'9') || line[end] == u'.')) ++end;
    return end;
  };
  auto codeRule = [&](std::size_t i, std::size_t end) -> const CCodeRuleEntry& {
    return table->FindByCode(WStringView(line).substr(i, end - i));
  };
  // Visits the block's characters outside brackets, up to an assignment: a
  // code word as onCode(start, end), any other character as onOther(i, c).
  // Either ends the visit by returning true.
  auto visit = [&](std::size_t from, auto&& onCode, auto&& onOther) {
    int depth = 0;
    for (std::size_t i = from; i < n; ++i) {
      const char16_t c = line[i];
      if (c == u'[') {
        ++depth;
      } else if (c == u']') {
        if (depth > 0) --depth;
      } else if (c == u'=') {
        return false;
      } else if (depth == 0 && c == u'G') {
        const std::size_t end = codeEnd(i);
        if (onCode(i, end)) return true;
        i = end - 1;
      } else if (depth == 0 && onOther(i, c)) {
        return true;
      }
    }
    return false;
  };
  // A later group 01 code makes the move (the motion code stands at depth 0).
  if (visit(
          after,
          [&](std::size_t i, std::size_t end) {
            const CCodeRuleEntry& code = codeRule(i, end);
            return !code.IsEmpty() && code.RuleType() == 1;
          },
          [](std::size_t, char16_t) { return false; })) {
    later = true;
    return false;
  }
  const bool arc = rule.RuleNumber() == 3 || rule.RuleNumber() == 4;
  bool taken = false;
  return visit(
      0,
      [&](std::size_t i, std::size_t end) {
        if (end == after) {  // the motion code itself: the words after it are its own
          taken = false;
          return false;
        }
        const CCodeRuleEntry& code = codeRule(i, end);
        const short type = code.IsEmpty() ? -1 : code.RuleType();
        if ((type == 0 && code.m_codefunc != u"GMacSysSel") || type == 11 || type == 12 || type == 16 || type == 22)
          taken = true;
        return false;
      },
      [&](std::size_t, char16_t c) {
        if (taken || !(c == u'X' || c == u'Y' || c == u'Z' || (arc && (c == u'I' || c == u'J' || c == u'K' || c == u'R'))))
          return false;
        const int word = table->FindByLetter(c).RuleNumber();
        return word >= 0 && (word <= 2 || (arc && word >= 3 && word <= kWordR));
      });
}

void CGCBlock::SetMotionMode(const CCodeRuleEntry& rule, bool later) {
  // The mode is set and nothing moves. Before a later group 01 code, the
  // words that follow wait for that code's move.
  m_program->SetMotionRule(&rule);
  m_program->SetSystemVariable(4001, CodeNameNumber(rule.m_codename));
  m_program->SetInitialLevel(0.0);
  if (later) Scan().current = nullptr;
}

void CGCBlock::OnMotion(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  switch (rule.RuleNumber()) {
    case 1: BuildRapid(rule, previousMotion); break;
    case 2: BuildLine(rule, previousMotion); break;
    case 3:
    case 4: BuildCircular(rule, previousMotion); break;
    default: break;
  }
  m_program->SetInitialLevel(0.0);
}

void CGCBlock::OnCannedCycle(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  int n = rule.RuleNumber();
  if (n == 80) {
    const CCodeRuleTable* main = Lib().mainRules.get();
    const CCodeRuleEntry& g00 = main ? main->FindByCode(u"G00") : CCodeRuleTable::EmptyEntry();
    m_program->SetMotionRule(g00.IsEmpty() ? nullptr : &g00);
    m_program->SetInitialLevel(0.0);
    return;
  }
  if (n == 73 || n == 74 || n == 76 || (n >= 81 && n <= 89)) {
    // The initial level is where the tool stands when cycle mode begins; a
    // cycle code that follows another one before G80 or a group 01 code
    // keeps it.
    const CCodeRuleEntry* modal = m_program->GetMotionRule();
    if (!modal || modal->RuleType() != 9) {
      const CGCInstruction* prev = *previousMotion;
      // The level along the cycle plane's third axis (Z for G17, Y for G18, X for G19).
      m_program->SetInitialLevel(
          prev ? SwapForPlane(SwapForPlane(prev->GetEndPoint(), prev->GetPlaneCode()), static_cast<short>(m_plane)).z
               : 0.0);
    }
    BuildCycle(rule, previousMotion);
  }
}

void CGCBlock::BuildCycle(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  CLineScan& scan = Scan();
  ChainRef chain = m_program->TransformChainFor(m_plane, false);
  CGCInstruction* prev = *previousMotion;
  auto* cycle = m_program->MakeInstruction<CGCInstructionCC>(chain, prev, this, GetModalCode(29), rule.m_codename);
  scan.current = cycle;
  AddInstruction(cycle);
  m_feed = m_program->GetF();
  // X, Y, Z, R, P, Q are carried from the previous motion, K is new. R and Q
  // are lengths (inch words in inch mode); P and K are not.
  CarryMotionWords(cycle, prev);
  const auto* prevCycle = prev && prev->GetKind() == kKindCycle ? static_cast<const CGCInstructionCC*>(prev) : nullptr;
  const bool inch = InchWords();
  for (int index : {int{kWordR}, int{kWordP}, int{kWordQ}}) {
    const bool wordInch = inch && index != kWordP;
    CGCDimWordMM word = MakeWord(wordInch);
    if (prevCycle)
      if (CGCWordRef src = prevCycle->GetWord(index)) {
        std::uint8_t flags = static_cast<std::uint8_t>((src.Get().Flags() & ~kWordInch) | (wordInch ? kWordInch : 0));
        word = CGCDimWordMM::FromParts(src.GetValue(), src.GetPosition(), flags);
      }
    GiveWord(cycle, index, word);
  }
  GiveWord(cycle, kWordK, CGCDimWordMM());
  if (prevCycle) {
    // A repeated cycle drills to the programmed bottom, not to the level the
    // previous cycle stopped at.
    cycle->PutWordValue(PlaneWordIndex(kWordZ, prevCycle->GetPlaneCode()), prevCycle->BottomValue());
    cycle->TakeCycleData(*prevCycle);
  } else if (prev) {
    // Until R is programmed the R level is where the tool is.
    const CPoint3d at = SwapForPlane(SwapForPlane(prev->GetEndPoint(), prev->GetPlaneCode()), m_plane);
    cycle->PutWordPosition(kWordR, at.z);
  }
  KeepUnnamedAxesInPlace(cycle, prevCycle ? 2 : 3);
  // A following line of coordinates only repeats the cycle.
  m_program->SetMotionRule(&rule);
  *previousMotion = cycle;
  cycle->SetPlane(m_plane);
  FlushPendingWords(cycle);
}

void CGCBlock::OnReferenceReturn(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  const WString& f = rule.m_codefunc;
  CGCInstruction* instr = nullptr;
  ChainRef chain = m_program->TransformChainFor(m_plane, false);
  if (f == u"GRefPosReturnCheck")
    instr = m_program->MakeInstruction<CGCInstructionReturnRefCheck>(chain, *previousMotion, this);
  else if (f == u"GRefPosReturn" || f == u"G2NDRefPosReturn")
    instr = m_program->MakeInstruction<CGCInstructionReturnRef>(chain, *previousMotion, this);
  else if (f == u"GReturnFromRefPos")
    instr = m_program->MakeInstruction<CGCInstructionReturnFromRef>(chain, *previousMotion, this);
  if (!instr) return;
  m_program->ApplyWorkOffsetFromModal();
  AddInstruction(instr);
  Scan().current = instr;
  m_feed = 3000.0;
  bool inch = InchWords();
  for (int axis = 0; axis < 3; ++axis) {
    bool axisInch = inch && !(axis == 1 && GetModalCode(27) == 1);
    GiveWord(instr, axis, MakeWord(axisInch));
  }
  // The return is one-shot: the motion mode in force before it stays, so a
  // following line with only coordinates moves in that mode.
  *previousMotion = instr;
  instr->SetPlane(m_plane);
  FlushPendingWords(instr);
  SetModalCode(19, 2);
  // The next move continues from where the return leaves the tool, not from
  // the numbers this block wrote.
  if (f != u"GRefPosReturnCheck") m_program->SetWorkOffsetFlag(true);
}

// ----------------------------------------------------------- setting codes

void CGCBlock::OnSettingCode(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  CLineScan& scan = Scan();
  const WString& f = rule.m_codefunc;
  const bool modesActive = m_program->IsModalActive(22) || m_program->IsModalActive(23) || m_program->IsModalActive(24);
  if (f == u"GPartZero") {
    if (modesActive) {
      RejectInModes(u"\t\t\t\t\t\t\t\t\t");
      return;
    }
    m_program->SetLocalShift(CPoint3d());
    auto* pz = m_program->MakeInstruction<CGCInstructionGlobalPartZero>(ChainRef(), *previousMotion, this, kKindChangeG92, rule.RuleNumber());
    CPoint3d at = *previousMotion ? SwapForPlane((*previousMotion)->GetEndPoint(), (*previousMotion)->GetPlaneCode())
                                  : CPoint3d();
    for (int axis = 0; axis < 3; ++axis) {
      CGCDimWordMM w = MakeWord(InchWords());
      w.SetValue(at.At(axis));
      w.SetPosition(at.At(axis));
      GiveWord(pz, axis, w);
    }
    GiveWord(pz, 3, CGCDimWordMM(-1.0, 1));
    m_program->SetWorkOffsetFlag(true);
    // Axes the line does not name keep the offset they had (a work
    // system's with the tool length it adds).
    CGCInstruction* old = m_program->GetModal(25);
    scan.partZero = pz;
    scan.partZeroOld = old ? old->Words().GetValuePointOrZero() : m_program->GetPartZero();
    if (old && old->GetKind() == kKindChangeWcs) scan.partZeroOld.z += ToolLength();
    m_program->SetModal(25, pz);
    scan.current = pz;
    AddInstruction(pz);
  } else if (f == u"GMacSysSel") {
    // Machine coordinates for this block's move only; the work system in
    // force stays selected. In incremental mode (the block's, wherever its
    // G90 or G91 stands) the code is ignored.
    if (!LineIsAbsolute(*m_program->ScanLine(), m_absolute)) return;
    auto* wp = m_program->MakeInstruction<CGCInstructionGlobalWPZeor>(ChainRef(), *previousMotion, this, kKindChangeWcs, rule.RuleNumber());
    for (int axis = 0; axis < 3; ++axis) GiveWord(wp, axis, MakeWord(InchWords()));
    // The tool length offset in force (G43/G44) is left out of this block's
    // move only; it stays in force for the blocks after it.
    wp->PutWordValue(PlaneWordIndex(2, wp->GetPlaneCode()), -RefPointOffset(nullptr, m_program, 0).z);
    AddInstruction(wp);
    scan.machine = wp;
    // A move made earlier in the line takes its carried axes into machine
    // coordinates too; G53 applies to the axis words of its whole line, so
    // the axes written before it keep their words.
    if (IsRapidOrLine(scan.current)) RebaseOnWorkOffset(scan.current, wp, AxesNamedInLine(*m_program->ScanLine()));
  } else if (f == u"GLocalCrdSysSet") {
    auto* lc = m_program->MakeInstruction<CGCInstructionGlobalLocalCoordSet>(ChainRef(), *previousMotion, this, kKindChangeWcs, rule.RuleNumber());
    for (int axis = 0; axis < 3; ++axis) GiveWord(lc, axis, MakeWord(InchWords()));
    scan.current = lc;
    AddInstruction(lc);
    m_program->TouchModalState();
    KeepToolAfterChange();
  } else if (f == u"GDwell") {
    auto* dw = m_program->MakeInstruction<CGCInstructionGlobal>(ChainRef(), nullptr, this, kKindDwell, rule.RuleNumber());
    GiveWord(dw, 0, CGCDimWordMM());
    GiveWord(dw, kWordP, CGCDimWordMM());
    scan.current = dw;
    AddInstruction(dw);
  } else if (f == u"GMacro") {
    // The letters that follow are the macro's arguments; the call runs when
    // the line is complete (its post-step).
    scan.macroArgs = true;
    auto* call = m_program->MakeInstruction<CGCInstructionSubMacro>(*previousMotion, this);
    scan.current = call;
    AddInstruction(call);
  } else if (f == u"GSkip") {
    BuildMotion(rule, previousMotion, false);
  } else if (f == u"GPParam") {
    auto* pp = m_program->MakeInstruction<CGCInstructionPParam>(ChainRef(), nullptr, this);
    bool inch = InchWords();
    GiveWord(pp, 0, MakeWord(inch));
    GiveWord(pp, 1, MakeWord(inch));
    GiveWord(pp, 2, MakeWord(inch));
    GiveWord(pp, kWordI, CGCDimWordMM());
    GiveWord(pp, kWordR, MakeWord(inch));
    GiveWord(pp, kWordP, CGCDimWordMM());
    GiveWord(pp, kWordL, CGCDimWordMM());
    scan.current = pp;
    AddInstruction(pp);
  }
}

void CGCBlock::OnWorkCoordinateSystem(const CCodeRuleEntry& rule) {
  CLineScan& scan = Scan();
  if (m_program->IsModalActive(22) || m_program->IsModalActive(23) || m_program->IsModalActive(24)) {
    RejectInModes(u"\t\t\t\t\t\t\t\t");
    return;
  }
  int index = rule.RuleNumber();
  if (!m_program->CoordTable() || index < 0 || index >= CDataCoordSystem::kRows) {
    AddMessage(u"Work coordinate system " + rule.m_codename + u" does not exist in the coordinate table");
    return;
  }
  auto* wp = m_program->MakeInstruction<CGCInstructionGlobalWPZeor>(ChainRef(), scan.previousMotionAtStart, this, kKindChangeWcs, rule.RuleNumber());
  m_program->SetModal(25, wp);
  bool ok = true;
  CPoint3d offsets = m_program->SelectWorkOffset(index, &ok);
  m_program->SetWorkOffsetFlag(true);
  AddInstruction(wp);
  if (IsRapidOrLine(scan.current) && m_program->GetWorkOffsetFlag()) {
    m_program->SetWorkOffsetFlag(false);
    if (CTransformChain* chain = scan.current->MutableTransforms()) {
      if (chain->Count() > 0 && chain->At(0)->Defining()) {
        CGCInstruction* d = chain->At(0)->Defining();
        for (int i = 0; i < 3; ++i) {
          if (!d->Words().Has(i)) d->Words().ReplaceWord(i, CGCDimWordMM());
          d->PutWordValue(i, offsets.At(i));
        }
      }
    }
    RebaseOnWorkOffset(scan.current, wp);
  }
}

// --------------------------------------------------------- modal settings

CGCInstructionGlobal* CGCBlock::SetModalInstruction(int group, const CCodeRuleEntry& rule) {
  auto* g = m_program->MakeInstruction<CGCInstructionGlobal>(ChainRef(), nullptr, this, static_cast<short>(group), rule.RuleNumber());
  m_program->SetModal(group, g);
  GiveWord(g, 0, CGCDimWordMM());
  AddInstruction(g);
  return g;
}

void CGCBlock::SetModalInstructionWords(CGCInstruction* instr, int count) {
  bool inch = InchWords();
  for (int i = 0; i < count && i < 8; ++i) GiveWord(instr, i, MakeWord(inch && i < 3));
}

void CGCBlock::OnPlane(const CCodeRuleEntry& rule) {
  const WString& f = rule.m_codefunc;
  if (f != u"GPanelSelXY" && f != u"GPanelSelZX" && f != u"GPanelSelYZ") return;
  CGCInstruction* g = SetModalInstruction(26, rule);
  SetModalInstructionWords(g, 8);
  short code = GetModalCode(26);
  m_plane = code >= 0 && code <= 2 ? code : 0;
}

void CGCBlock::OnDistanceMode(const CCodeRuleEntry& rule) {
  const WString& f = rule.m_codefunc;
  if (f != u"GABS" && f != u"GREL") return;
  CGCInstruction* g = SetModalInstruction(20, rule);
  SetModalInstructionWords(g, 8);
  // The last G90 or G91 of the block holds for all its words, those given
  // to an instruction before this code too.
  m_absolute = LineIsAbsolute(*m_program->ScanLine(), rule.RuleNumber() == 1);
  m_program->SetSystemVariable(4003, CodeNameNumber(rule.m_codename));
}

void CGCBlock::OnFeedMode(const CCodeRuleEntry& rule) { SetModalInstruction(32, rule); }

void CGCBlock::OnUnits(const CCodeRuleEntry& rule) {
  CGCInstruction* g = SetModalInstruction(31, rule);
  SetModalInstructionWords(g, 8);
  m_program->ApplyWorkOffsetFromModal();
  KeepToolAfterChange();
}

void CGCBlock::OnCutterCompensation(const CCodeRuleEntry& rule) {
  const WString& f = rule.m_codefunc;
  if (f != u"GCompDL" && f != u"GCompDR" && f != u"GCompDCancel") return;
  CGCInstruction* g = SetModalInstruction(21, rule);
  SetModalInstructionWords(g, 8);
}

void CGCBlock::OnDNumber(const CCodeRuleEntry& rule) {
  WString digits;
  if (!FindAddressDigits(rule, digits)) return;
  int d = plat::ParseIntPrefix(digits);
  if (d < 0 || d >= CDataComp::kRows) return;  // the D word itself reports it
  m_program->SetD(static_cast<short>(d));
  if (CGCInstruction* g = m_program->GetModal(21)) g->PutWordPosition(0, d);
}

void CGCBlock::OnToolLengthOffset(const CCodeRuleEntry& rule) {
  const WString& f = rule.m_codefunc;
  if (f != u"GCompHP" && f != u"GCompHM" && f != u"GCompHCancel") return;
  CGCInstruction* g = SetModalInstruction(19, rule);
  GiveWord(g, 1, CGCDimWordMM());
  GiveWord(g, 2, CGCDimWordMM());
  WString digits;
  if (!FindAddressDigits(rule, digits)) return;
  int h = plat::ParseIntPrefix(digits);
  if (h < 0 || h >= CDataComp::kRows) return;  // the H word itself reports it
  m_program->SetH(static_cast<short>(h));
  g->PutWordPosition(0, h);
  g->PutWordPosition(1, rule.RuleNumber());
  g->PutWordPosition(2, m_program->GetGroupOffset(19));
}

void CGCBlock::OnReturnMode(const CCodeRuleEntry& rule) {
  const WString& f = rule.m_codefunc;
  if (f != u"GR2IP" && f != u"GR2R") return;
  CGCInstruction* g = SetModalInstruction(29, rule);
  SetModalInstructionWords(g, 8);
  m_program->SetSystemVariable(4010, CodeNameNumber(rule.m_codename));
}

void CGCBlock::OnScaling(const CCodeRuleEntry& rule) {
  const WString& f = rule.m_codefunc;
  if (f != u"GScl" && f != u"GSclCan") return;
  CGCInstruction* g = SetModalInstruction(22, rule);
  SetModalInstructionWords(g, 8);
  Scan().current = g;
  if (f == u"GScl") Scan().scaling = g;
  KeepToolAfterChange();
}

void CGCBlock::OnPolar(const CCodeRuleEntry& rule) {
  const WString& f = rule.m_codefunc;
  if (f != u"GPolar" && f != u"GPolarCancel") return;
  CGCInstruction* g = SetModalInstruction(27, rule);
  SetModalInstructionWords(g, 8);
  KeepToolAfterChange();
}

void CGCBlock::OnMirror(const CCodeRuleEntry& rule) {
  const WString& f = rule.m_codefunc;
  if (f != u"GMrr" && f != u"GMrrCan") return;
  const CGCInstruction* before = m_program->IsModalActive(24) ? m_program->GetModal(24) : nullptr;
  CGCInstruction* g = SetModalInstruction(24, rule);
  if (f == u"GMrrCan") {
    Scan().mirrorCancel = g;
    Scan().mirrorBefore = before;
  }
  SetModalInstructionWords(g, 8);
  // G50.1 X.. names the axes it cancels: its words go to it, not to a move.
  Scan().current = g;
  KeepToolAfterChange();
}

void CGCBlock::OnRotation(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  CLineScan& scan = Scan();
  const WString& f = rule.m_codefunc;
  if (f == u"GCSRCan") {
    auto* r = m_program->MakeInstruction<CGCInstructionGlobalForRIns>(ChainRef(), *previousMotion, this, 23, rule.RuleNumber());
    AddInstruction(r);
    GiveWord(r, kWordR, CGCDimWordMM(0.0, 1));
    m_program->SetModal(23, r);
  } else if (f == u"GCSRot") {
    ChainRef chain = m_program->TransformChainFor(m_plane, true);
    auto* r = m_program->MakeInstruction<CGCInstructionGlobalForRIns>(chain, *previousMotion, this, 23, rule.RuleNumber());
    scan.current = r;
    AddInstruction(r);
    double angle = 0.0;
    if (CGCInstruction* old = m_program->GetModal(23)) angle = old->GetWordValue(kWordR);
    // The centre's axes the line does not name are where the tool is (set
    // when the line is complete).
    for (int i = 0; i < 3; ++i) GiveWord(r, i, MakeWord(InchWords()));
    scan.rotation = r;
    CGCDimWordMM rw(angle, 1);
    GiveWord(r, kWordR, rw);
    r->SetPlane(m_plane);
    m_program->SetModal(23, r);
  }
  KeepToolAfterChange();
}

void CGCBlock::OnModalMacro(const CCodeRuleEntry& rule, CGCInstruction** previousMotion) {
  const WString& f = rule.m_codefunc;
  if (f == u"GMacroModule") {
    Scan().macroArgs = true;
    // The modal call belongs to the modal table alone (made on the heap).
    auto* call = new CGCInstructionSubMacro(*previousMotion, this);
    Scan().current = call;
    m_program->SetModal(33, call);
    const CGCInstruction* prev = *previousMotion;
    if (prev) m_program->SetSystemVariable(5003, SwapForPlane(prev->GetEndValuePoint(), prev->GetPlaneCode()).z);
  } else if (f == u"GMacroModuleCancel") {
    m_program->SetModal(33, nullptr);
  }
}

// ------------------------------------------------------------ letter words

void CGCBlock::OnLetterWord(const CCodeRuleEntry& rule, WStringView number) {
  switch (rule.RuleNumber()) {
    case 9: {  // T
      double v = WTextToDouble(number);
      if (!plat::FitsInt(v) || v < 0 || v > 32767) {
        AddMessage(u"T" + WString(number) + u" : tool number out of range");
        return;
      }
      m_program->SetT(static_cast<short>(v));
      auto* t = m_program->MakeInstruction<CGCInstructionPlain3>(this, kKindToolReady);
      GiveWord(t, 0, CGCDimWordMM());
      t->PutWordPosition(0, static_cast<short>(v));
      AddInstruction(t);
      break;
    }
    case 10:  // S
      // Speeds and feeds have their own units: no decimal-point scale.
      m_program->SetS(WTextToDouble(number));
      break;
    case 11: {  // F
      double feed = WTextToDouble(number);
      if (GetModalCode(31) != 1) feed *= 25.4;
      if (GetModalCode(32) == 0) feed *= m_program->GetS();
      m_feed = feed;
      m_program->SetF(feed);
      m_program->SetSystemVariable(4109, feed);
      break;
    }
    case 12:
    case 13: {  // D, H
      double v = WTextToDouble(number);
      if (!plat::FitsInt(v) || v < 0 || v >= CDataComp::kRows) {
        AddMessage(WString(rule.RuleNumber() == 12 ? u"D" : u"H") + WString(number) +
                   u" : offset number outside the offset table");
        return;
      }
      if (rule.RuleNumber() == 12) m_program->SetD(static_cast<short>(v));
      else m_program->SetH(static_cast<short>(v));
      break;
    }
    default:
      break;
  }
}

// ----------------------------------------------------------------- M codes

CGCInstruction* CGCBlock::BuildMCodeState(short mNumber) {
  auto* g = m_program->MakeInstruction<CGCInstructionGlobal>(ChainRef(), nullptr, this, 0, mNumber);
  GiveWord(g, 0, CGCDimWordMM());
  AddInstruction(g);
  return g;
}

void CGCBlock::OnMCode(const CCodeRuleEntry& rule, int& index, CGCInstruction** previousMotion) {
  WString digits;
  bool found = FindAddressDigits(rule, digits);
  auto setState = [&](short kind, double x) {
    CGCInstruction* g = BuildMCodeState(rule.RuleNumber());
    g->SetKind(kind);
    g->PutWordPosition(0, x);
  };
  switch (rule.RuleNumber()) {
    case 0: setState(kKindStopAuto, 0.0); break;
    case 1: setState(kKindStopAuto, 1.0); break;
    case 2:
    case 30:
      setState(kKindStopAuto, 30.0);
      // The program ends here; text after M02/M30 is not run.
      m_endOfProgram = true;
      break;
    case 3:
    case 4: {
      double speed = found && !digits.empty() ? WTextToDouble(digits) : m_program->GetS();
      setState(rule.RuleNumber() == 3 ? kKindSpindleCw : kKindSpindleCcw, speed);
      break;
    }
    case 5: setState(kKindSpindleStop, 0.0); break;
    case 6: {
      ChainRef none;
      auto* tc = m_program->MakeInstruction<CGCInstructionChangeTool>(none, *previousMotion, this);
      for (int i = 0; i < 4; ++i) GiveWord(tc, i, CGCDimWordMM());
      AddInstruction(tc);
      double tool = m_program->GetT();
      if (found && !digits.empty()) {
        double v = WTextToDouble(digits);
        if (plat::FitsInt(v) && v >= 0 && v <= 32767) {
          tool = v;
          m_program->SetT(static_cast<short>(v));
        } else {
          AddMessage(u"T" + digits + u" : tool number out of range");
        }
      }
      tc->PutWordValue(3, tool);
      *previousMotion = tc;
      // The next move's axes continue from where the change leaves the tool.
      m_program->SetWorkOffsetFlag(true);
      break;
    }
    case 8: setState(kKindCoolant, 1.0); break;
    case 9: setState(kKindCoolant, 0.0); break;
    case 98:
      CallSubProgram(found ? digits : WString(), previousMotion);
      // The rest of the line belongs to the call.
      index = static_cast<int>(m_program->ScanLine()->size());
      break;
    case 99: {
      AddInstruction(m_program->MakeInstruction<CGCInstructionSub>(nullptr, this, kKindCloseSub));
      m_endOfProgram = true;
      // M99 P<n> in a called program: the caller goes on at its block N<n>.
      // The main program ends at M99 with or without P.
      const CCodeRuleTable* table = Lib().mainRules.get();
      const WString p = table ? table->CodenameOfFunction(u"P") : WString();
      WString target;
      if (m_program->CallBlock() && p.size() == 1 && FindLetterDigits(p[0], target) && !target.empty()) {
        const double n = WTextToDouble(target);
        if (n >= 1 && plat::FitsInt(n)) m_program->SetReturnSequence(static_cast<int>(n));
        else AddMessage(u"M99 P" + target + u" : sequence number out of range");
      }
      break;
    }
    default: break;
  }
}

void CGCBlock::CallSubProgram(WString text, CGCInstruction** previousMotion) {
  // An L word of the line gives the repeat count (the P text is then the
  // program number alone); its value may come from a variable or an
  // expression, rounded to a whole number.
  int count = -1;
  const WString& line = *m_program->ScanLine();
  std::size_t end = line.find_first_of(u"(;");
  if (end == WString::npos) end = line.size();
  for (std::size_t i = 0; i < end; ++i) {
    if (UpperChar(line[i]) != u'L') continue;
    bool expression = false;
    const std::size_t valueEnd = std::min(WordValueEnd(line, i + 1, expression), end);
    const WStringView written = WStringView(line).substr(i, valueEnd - i);
    const std::size_t before = HasMessages() ? GetMessages().size() : 0;
    double value = expression ? Evaluate(written.substr(1)) : WTextToDouble(written.substr(1));
    if (HasMessages() && GetMessages().size() != before) return;
    value = std::isfinite(value) ? std::round(value) : -1.0;
    if (!RepeatCountAllowed(value, written, this)) return;
    count = static_cast<int>(value);
    text += u"L0";
    break;
  }
  int fromText = 1;
  SplitSubProgramCall(text, fromText);
  if (count < 0) count = fromText;
  CGCProgramPath* lastChild = nullptr;
  for (int n = 0; n < count; ++n) {
    // A rotation built up in the previous repetition carries over.
    if (lastChild) {
      CGCInstruction* childRot = lastChild->GetModal(23);
      CGCInstruction* ownRot = m_program->GetModal(23);
      if (childRot && ownRot && childRot->GetWord(kWordR) && ownRot->GetWord(kWordR))
        ownRot->SetWordValue(kWordR, childRot->GetWordValue(kWordR), true);
    }
    std::unique_ptr<CGCProgramPath> child = m_program->NewChild();
    child->ShareLocals(*m_program);  // M98 runs on its caller's local variables
    CopyModalMacroCall(*m_program, *child, this);
    if (!child->RunSubProgramFile(text, *previousMotion, this)) break;
    // The last repetition's M99 P<n> decides where the caller goes on.
    m_program->SetPendingReturn(child->ReturnSequence());
    *previousMotion = child->PreviousMotion();
    m_program->TakeModalState(*child);
    CopyModalMacroCall(*child, *m_program, this);
    lastChild = child.get();
    AddInstruction(m_program->MakeInstruction<CGCInstructionSub>(*previousMotion, this, kKindOpenSub, std::move(child)));
    if (m_program->RunStopped()) break;  // an error in the sub-program ends the whole run
  }
}

// ------------------------------------------------------------- end of line

bool CGCBlock::PendingWordsMove(const CCodeRuleEntry& rule) const {
  // Axis words always; the centre and radius words of an arc and the R level
  // of a cycle too. Other words (P, Q, L ...) alone program no position.
  const bool arc = rule.RuleType() == 1 && (rule.RuleNumber() == 3 || rule.RuleNumber() == 4);
  const bool cycle = rule.RuleType() == 9;
  for (const PendingWord& w : m_program->Scan().pending) {
    if (w.index >= 0 && w.index <= 2) return true;
    if (arc && w.index >= 3 && w.index <= kWordR) return true;
    if (cycle && w.index == kWordR) return true;
  }
  return false;
}

double CGCBlock::ToolLength() const {
  double a = 0, b = 0, h = 0;
  AskToolOffsets(m_program->GetT(), a, b, h);
  return h;
}

CPoint3d CGCBlock::ProgramPosition(const CGCInstruction* previous) const {
  if (!previous) return CPoint3d();
  const CPoint3d at = SwapForPlane(previous->GetEndPoint(), previous->GetPlaneCode());
  return at - RefPointOffset(m_program->GetModal(25), m_program, 0);
}

void CGCBlock::MoveInMachineCoordinates(CGCInstruction* motion, CGCInstruction* machine) {
  // At rapid whatever the motion mode, and through no transform but the
  // machine zero.
  motion->SetKind(kKindRapid);
  m_feed = 3000.0;
  // Cutter compensation is left out of this block's move only.
  motion->SetCompensation(2, 0.0);
  ChainRef chain(new CTransformChain());
  chain->Add(std::make_unique<CGCTransformRefPoint>(machine));
  motion->SetTransforms(chain);
  // The next move's carried axes are taken back into the work system.
  m_program->SetWorkOffsetFlag(true);
}

void CGCBlock::KeepUnnamedMirrorAxes(CGCInstruction* cancel, const CGCInstruction* before) {
  // G50.1 with axis words cancels the mirror of those axes only; the axes
  // it does not name stay mirrored. Without axis words it cancels all.
  if (!before || cancel->Words().NoneOfXYZSpecified()) return;
  bool kept = false;
  for (int axis = 0; axis < 3; ++axis) {
    CGCWordRef own = cancel->GetWord(axis);
    if (!own) continue;
    if (own.IsSpecified()) {
      own.ClearSpecified();
    } else if (before->Words().IsSpecified(axis)) {
      own.SetValue(before->GetWordValue(axis));
      own.MarkSpecified();
      kept = true;
    }
  }
  if (kept) {
    cancel->SetModalCode(before->GetModalCode());
    m_program->TouchModalState();
  }
}

void CGCBlock::FinishLine(CGCInstruction** previousMotion) {
  CLineScan& scan = Scan();
  if (!scan.pending.empty() && !scan.dropWords) {
    // Words of codes that set no motion never start the modal move.
    const CCodeRuleEntry* rule = m_program->GetMotionRule();
    if (rule && PendingWordsMove(*rule)) {
      if (rule->RuleType() == 1) OnMotion(*rule, previousMotion);
      else if (rule->RuleType() == 9) BuildCycle(*rule, previousMotion);
    }
  }
  if (scan.machine && IsRapidOrLine(scan.current)) MoveInMachineCoordinates(scan.current, scan.machine);
  if (scan.mirrorCancel) KeepUnnamedMirrorAxes(scan.mirrorCancel, scan.mirrorBefore);
  // G68 and G51 without a centre turn and scale about where the tool is.
  for (CGCInstruction* r : {scan.rotation, scan.scaling}) {
    if (!r) continue;
    const CPoint3d at = SwapForPlane(ProgramPosition(scan.previousMotionAtStart), r->GetPlaneCode());
    for (int i = 0; i < 3; ++i)
      if (CGCWordRef w = r->GetWord(i); w && !w.IsSpecified()) w.SetValue(at.At(i));
  }
  if (CGCInstruction* r = scan.rotation) {
    // The centre the rotation turns about: a centre programmed while a
    // mirror or scaling is on is mirrored and scaled (the angle is not), in
    // the order the moves are taken through them.
    CPoint3d centre = r->Words().GetValuePoint();
    if (m_program->IsModalActive(24)) CGCTransformMirror(m_program->GetModal(24)).UnmapPoint(centre, r->GetPlaneCode());
    if (m_program->IsModalActive(22))
      centre = CGCTransformScale(m_program->GetModal(22)).MapPoint(centre, r->GetPlaneCode());
    r->Words().SetPositionPoint(centre);
  }
  if (scan.partZero) {
    // G92 axes the line did not name keep their offset. The named ones
    // leave out the tool length offset in force, which every move adds.
    const CPoint3d length = RefPointOffset(nullptr, m_program, 0);
    for (int i = 0; i < 3; ++i) {
      CGCWordRef w = scan.partZero->GetWord(i);
      if (!w) continue;
      const double value = w.IsSpecified() ? w.GetValue() - length.At(i) : scan.partZeroOld.At(i);
      w.SetValue(value);
      w.SetPosition(value);
    }
    // The new zero shifts every work system alike: by its distance from the
    // selected system's table row and tool length.
    m_program->SetPartZeroShift(scan.partZero->Words().GetValuePointOrZero() - m_program->GetPartZero() -
                                CPoint3d(0.0, 0.0, ToolLength()));
    scan.partZero = nullptr;
  }
  scan.pending.clear();
}

}  // namespace quillet
