#include "mod_gcode/instructions/Calls.h"

#include <cmath>

#include "mod_gcode/program/Block.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/text/TextUtil.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet {

void SplitSubProgramCall(WString& text, int& count) {
  count = 1;
  auto l = text.find(u'L');
  if (l != WString::npos) {
    count = plat::ParseIntPrefix(WStringView(text).substr(l + 1));
    text.resize(l);
  } else {
    if (text.size() > 1 && text[0] >= u'A' && text[0] <= u'Z') text.erase(0, 1);
    if (text.size() > 4) {
      count = plat::ParseIntPrefix(WStringView(text).substr(0, text.size() - 4));
      text.erase(0, text.size() - 4);
    }
  }
  long long n = plat::ParseIntPrefix(text);
  if (n < 0) n = -n;
  std::string digits = plat::FormatInt(n);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  text = plat::AsciiToWide(digits);
}

bool RepeatCountAllowed(double count, WStringView written, CGCBlock* block) {
  if (count >= 0 && count <= kMaxRepeatCount) return true;
  if (block)
    block->AddMessage(u"Repeat count " + WString(written) +
                      (count < 0 ? WString(u" is below 0") : u" is larger than " + plat::FormatIntW(kMaxRepeatCount)));
  return false;
}

bool WholeCallNumber(double value, long long& number) {
  const double whole = std::round(value);
  if (!(whole >= 0) || !plat::FitsInt(whole)) return false;
  number = static_cast<long long>(whole);
  return true;
}

namespace {

bool AllDigits(WStringView text) {
  if (text.empty()) return false;
  for (char16_t c : text)
    if (c < u'0' || c > u'9') return false;
  return true;
}

}  // namespace

void CopyModalMacroCall(CGCProgram& from, CGCProgram& to, CGCBlock* block) {
  const auto* modal = dynamic_cast<const CGCInstructionSubMacro*>(from.GetModal(33));
  if (!modal) {
    if (to.GetModal(33)) to.SetModal(33, nullptr);
    return;
  }
  auto* call = new CGCInstructionSubMacro(nullptr, block);  // owned by the modal table
  call->CopyCallFrom(*modal);
  to.SetModal(33, call);
}

// ------------------------------------------------------------------- M98

CGCInstructionSub::CGCInstructionSub(CGCInstruction* previous, CGCBlock* block, short kind)
    : CGCInstructionWords<3>(ChainRef(), previous, block, kind) {}

CGCInstructionSub::CGCInstructionSub(CGCInstruction* previous, CGCBlock* block, short kind,
                                     std::unique_ptr<CGCProgramPath> child)
    : CGCInstructionWords<3>(ChainRef(), previous, block, kind), m_child(std::move(child)) {
  Words().ReplaceWord(0, CGCDimWordMM());
}

CGCInstructionSub::~CGCInstructionSub() = default;

void CGCInstructionSub::AttachChildText() {
  PutWordPosition(0, m_child ? static_cast<double>(m_child->FrameId()) : 0.0);
}

namespace {

// Moves every polyline of a child's lists to the end of the caller's list.
void TakeChildPath(CGCProgramPath& child, CPathSink& sink) {
  child.GetCutterPath(false);
  for (const CPathList& list : child.Paths())
    for (CPathPolyline* p : list) sink.Add(p);
  child.ClearBlockPaths();
}

CGCInstruction* FirstMotionOf(const CGCProgramPath& child) {
  for (CGCBlock* b : child.Blocks())
    if (CGCInstruction* m = CGCBlock::FindLastMotion(b)) return m;
  return nullptr;
}

}  // namespace

void CGCInstructionSub::BuildPath(CPathSink& sink) {
  if (m_child) TakeChildPath(*m_child, sink);
}

bool CGCInstructionSub::Report() {
  AttachChildText();
  bool result = ReportCommand(m_kind, ReportLine(), ReportFeed());
  // A called program whose simulation ended early (at an error) ends its
  // caller's too.
  if (m_child && !m_child->AutoRun()) return false;
  return result;
}

CGCInstruction* CGCInstructionSub::FindChildMotion() const { return m_child ? FirstMotionOf(*m_child) : nullptr; }

// ------------------------------------------------------------------- G65

CGCInstructionSubMacro::CGCInstructionSubMacro(CGCInstruction* previous, CGCBlock* block)
    : CGCInstructionWords<3>(ChainRef(), previous, block, kKindOpenSub) {
  Words().ReplaceWord(0, CGCDimWordMM());
}

CGCInstructionSubMacro::~CGCInstructionSubMacro() = default;

void CGCInstructionSubMacro::SetWordText(int index, WStringView text, double, bool) {
  switch (index) {
    case 0: {
      // A count from a variable rounds to a whole number; the refusal
      // quotes a written count as it stands.
      const double v = WTextToDouble(text);
      m_repeatValue = std::isfinite(v) ? std::round(v) : -1.0;
      m_repeatText = u"L" + (AllDigits(text) ? WString(text) : NumberToText(v));
      m_repeat = plat::ClampToInt(m_repeatValue, 0);
      break;
    }
    case 100: {
      // Written digits are the program number as they stand (P0011); a
      // value from a variable or an expression names the program by its
      // whole number (#8 = 9001 calls O9001).
      long long number = 0;
      if (AllDigits(text)) m_program.assign(text);
      else if (WholeCallNumber(WTextToDouble(text), number)) m_program = plat::FormatIntW(number);
      else m_program = u"P" + NumberToText(WTextToDouble(text));
      break;
    }
    case 9: {
      double v = WTextToDouble(text);
      if (CGCProgram* p = GetProgram()) p->SetSystemVariable(4109, v);
      m_arguments.emplace_back(static_cast<short>(index), v);
      break;
    }
    default:
      m_arguments.emplace_back(static_cast<short>(index), WTextToDouble(text));
      break;
  }
}

void CGCInstructionSubMacro::CopyCallFrom(const CGCInstructionSubMacro& modal) {
  m_arguments = modal.m_arguments;
  m_program = modal.m_program;
  m_repeat = modal.m_repeat;
  m_repeatValue = modal.m_repeatValue;
  m_repeatText = modal.m_repeatText;
}

void CGCInstructionSubMacro::ApplyTransforms() {
  CGCProgram* program = GetProgram();
  if (!program) return;
  m_children.clear();
  if (!RepeatCountAllowed(m_repeatValue, m_repeatText, m_block)) return;
  if (!m_program.empty() && !AllDigits(m_program)) {
    if (m_block) m_block->AddMessage(m_program + u" : not a program number");
    return;
  }
  CGCInstruction* last = m_previous;
  int repeat = m_repeat;
  do {
    std::unique_ptr<CGCProgramPath> child = program->NewChild();
    for (const auto& [number, value] : m_arguments)
      if (!child->SetVariable(number, value) && m_block)
        m_block->AddMessage(u"Macro argument #" + plat::FormatIntW(number) + u" does not exist");
    child->PreviousMotion() = last;
    WString number = m_program;
    int ignored = 0;
    SplitSubProgramCall(number, ignored);
    if (!child->RunSubProgramFile(number, last, m_block)) break;
    // The last repetition's M99 P<n> decides where the caller goes on.
    program->SetPendingReturn(child->ReturnSequence());
    last = child->PreviousMotion();
    program->TakeModalState(*child);
    m_children.push_back(std::move(child));
    if (program->RunStopped()) break;  // an error in the macro ends the whole run
    --repeat;
  } while (repeat > 0);
  // The caller goes on from where the macro left the tool.
  if (last) {
    CGCCoord end = m_endWords.View();
    end.CopyWords(last->Words());
    if (!m_children.empty()) program->PreviousMotion() = last;
  }
}

bool CGCInstructionSubMacro::Report() {
  bool result = true;
  for (const auto& child : m_children) {
    PutWordPosition(0, static_cast<double>(child->FrameId()));
    result = ReportCommand(m_kind, ReportLine(), ReportFeed());
    if (!child->AutoRun()) return false;
  }
  return result;
}

void CGCInstructionSubMacro::BuildPath(CPathSink& sink) {
  for (const auto& child : m_children) TakeChildPath(*child, sink);
}

CGCInstruction* CGCInstructionSubMacro::FindChildMotion() const {
  for (const auto& child : m_children)
    if (CGCInstruction* m = FirstMotionOf(*child)) return m;
  return nullptr;
}

}  // namespace quillet
