#include "mod_gcode/instructions/Instruction.h"

#include "mod_gcode/program/Block.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/instructions/Transform.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet {

namespace {
const char16_t* const kKindNames[kCommandKindCount] = {
    u"Default",  u"Rapid traverse", u"Line Interpolation", u"Circle-cw", u"Circle-ccw",   u"CC",
    u"ChangeWCS", u"ChangeG92",     u"ChangeTool",         u"EnableCoolant", u"MS CW",    u"MS CCW",
    u"MS Stop",  u"OpenSub",        u"CloseSub",           u"StopAuto",  u"Dwell",        u"ToolReady",
    u"ComH",
    // 19 to 33: the modal groups' own settings.
    u"ComH",     u"Abs./Rel.",      u"ComD",               u"Scale",     u"Rot",          u"Mrr",
    u"PartZero", u"PanelSel",       u"Polar",              u"StartPoint", u"ReturnMode",  u"LCrdSys",
    u"Input unit", u"Feed unit",    u"Call Macro"};
const int kZeroLine = 0;
const double kZeroFeed = 0.0;
}  // namespace

const char16_t* CommandKindName(int kind) {
  if (kind < 0 || kind >= kCommandKindCount) return u"";
  return kKindNames[kind];
}

int PlaneWordIndex(int index, int planeCode) {
  if (planeCode == 1) {
    switch (index) {
      case 1: return 2;
      case 2: return 1;
      case 4: return 5;
      case 5: return 4;
      default: return index;
    }
  }
  if (planeCode == 2) {
    switch (index) {
      case 0: return 2;
      case 2: return 0;
      case 3: return 5;
      case 5: return 3;
      default: return index;
    }
  }
  return index;
}

ChainRef::ChainRef(CTransformChain* c) : m_chain(c) {
  if (m_chain) ++m_chain->m_refs;
}
ChainRef::ChainRef(const ChainRef& o) : m_chain(o.m_chain) {
  if (m_chain) ++m_chain->m_refs;
}
ChainRef& ChainRef::operator=(const ChainRef& o) {
  if (o.m_chain) ++o.m_chain->m_refs;
  if (m_chain && --m_chain->m_refs == 0) delete m_chain;
  m_chain = o.m_chain;
  return *this;
}
ChainRef::~ChainRef() {
  if (m_chain && --m_chain->m_refs == 0) delete m_chain;
}

void* CInstructionArena::Allocate(std::size_t bytes) {
  // Instructions hold doubles and pointers, nothing wider.
  constexpr std::size_t kAlign = alignof(double) > alignof(void*) ? alignof(double) : alignof(void*);
  bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
  if (bytes > m_left) {
    std::size_t size = bytes > m_nextChunk ? bytes : m_nextChunk;
    m_chunks.emplace_back(new std::byte[size]);
    m_cursor = m_chunks.back().get();
    m_left = size;
    m_reserved += size;
    if (m_nextChunk < 4 * 1024 * 1024) m_nextChunk *= 2;
  }
  void* p = m_cursor;
  m_cursor += bytes;
  m_left -= bytes;
  return p;
}

void CGCInstruction::Dispose(CGCInstruction* instr) {
  if (!instr) return;
  if (instr->m_inArena) instr->~CGCInstruction();
  else delete instr;
}

CGCInstruction::CGCInstruction(short kind, int wordCount)
    : m_kind(static_cast<std::int8_t>(kind)), m_wordCount(static_cast<std::uint32_t>(wordCount) & 15u) {}

CGCInstruction::CGCInstruction(const ChainRef& chain, CGCInstruction* previous, CGCBlock* block, short kind,
                               int wordCount)
    : m_block(block),
      m_previous(previous),
      m_kind(static_cast<std::int8_t>(kind)),
      m_wordCount(static_cast<std::uint32_t>(wordCount) & 15u) {
  if (chain) SetTransforms(chain);
}

CGCInstruction::~CGCInstruction() = default;

void CGCInstruction::CopyFrom(const CGCInstruction& other) {
  CGCCoord words = Words();
  words.CopyWords(other.Words());
  // Copied words count as millimetre words: their values are already converted.
  for (int i = 0; i < words.GetCount(); ++i)
    if (CGCWordRef w = words.GetWord(i)) w.Set(w.AsMillimetre());
  m_block = other.m_block;
  m_previous = other.m_previous;
  m_kind = other.m_kind;
  m_side = other.m_side;
  m_planeCode = other.m_planeCode;
  if (m_side != 2) SetCompensation(m_side, other.GetCompensationRadius());
  const CTransformChain* chain = other.Transforms();
  SetTransforms(chain ? ChainRef(new CTransformChain(*chain)) : ChainRef());
}

CGCProgram* CGCInstruction::GetProgram() const { return m_block ? m_block->GetProgram() : nullptr; }

CTransformChain* CGCInstruction::ChainFromProgram() const {
  const CGCProgram* p = GetProgram();
  return p ? p->ChainAt(m_chain, this) : nullptr;
}

void CGCInstruction::SetTransforms(const ChainRef& chain) {
  CGCProgram* p = chain ? GetProgram() : nullptr;
  m_chain = p ? p->ChainNumber(chain, this) : 0u;
}

CTransformChain* CGCInstruction::MutableTransforms() {
  const CTransformChain* shared = Transforms();
  if (!shared) return nullptr;
  // Copy on write: other instructions may hold the same chain number.
  ChainRef own(new CTransformChain(*shared));
  SetTransforms(own);
  return own.get();
}

void CGCInstruction::SetWord(int index, const CGCDimWordMM& word, bool specified) {
  CGCDimWordMM w = word;
  if (specified) w.MarkSpecified();
  else w.ClearSpecified();
  Words().ReplaceWord(index, w);
}

CGCBlock* CGCInstruction::GetNextBlock() const { return m_block ? m_block->GetNext() : nullptr; }

void CGCInstruction::SetCompensation(short side, double radius) {
  m_side = static_cast<std::uint8_t>(side == 0 || side == 1 ? side : 2);
  // Only compensated moves keep a radius; it lives with the program.
  if (m_side != 2)
    if (CGCProgram* p = GetProgram()) p->Extra(this).compRadius = radius;
}

double CGCInstruction::GetCompensationRadius() const {
  if (m_side == 2) return 0.0;
  const CGCProgram* p = GetProgram();
  const CInstrExtra* e = p ? p->FindExtra(this) : nullptr;
  return e ? e->compRadius : 0.0;
}

CPoint3d CGCInstruction::GetPathEndPoint() const {
  const CGCProgram* p = GetProgram();
  const CInstrExtra* e = p ? p->FindExtra(this) : nullptr;
  return e ? e->pathEnd : CPoint3d();
}

CPoint3d CGCInstruction::GetStartPoint() const {
  if (!m_previous) return CPoint3d(-100.0, 0.0, 0.0);
  CPoint3d p = m_previous->GetEndPoint();
  if (m_previous->m_planeCode == m_planeCode) return p;
  return SwapForPlane(SwapForPlane(p, m_previous->m_planeCode), m_planeCode);
}

CPoint3d CGCInstruction::GetStartValuePoint() const {
  if (!m_previous) return CPoint3d(-100.0, 0.0, 0.0);
  CPoint3d p = m_previous->GetEndValuePoint();
  if (m_previous->m_planeCode == m_planeCode) return p;
  return SwapForPlane(SwapForPlane(p, m_previous->m_planeCode), m_planeCode);
}

void CGCInstruction::SetPlane(int planeCode) {
  if (planeCode < 0 || planeCode > 2) planeCode = 0;
  if (planeCode == m_planeCode) return;
  // Move the words from the old internal order to the new one.
  CGCCoord words = Words();
  int n = words.GetCount() < 6 ? words.GetCount() : 6;
  CGCDimWordMM saved[6];
  bool had[6] = {};
  for (int i = 0; i < n; ++i) {
    if (CGCWordRef w = words.GetWord(i)) {
      saved[i] = w.Get();
      had[i] = true;
    }
    words.RemoveWord(i);
  }
  for (int i = 0; i < n; ++i) {
    if (!had[i]) continue;
    int machine = PlaneWordIndex(i, m_planeCode);
    int target = PlaneWordIndex(machine, planeCode);
    if (target < n) words.ReplaceWord(target, saved[i]);
  }
  m_planeCode = static_cast<std::uint32_t>(planeCode) & 3u;
}

void CGCInstruction::AppendToPolyline(std::vector<CPoint3d>& points) { points.push_back(GetEndPoint()); }

const int* CGCInstruction::ReportLine() const { return m_block ? m_block->GetLinePtr() : &kZeroLine; }

const double* CGCInstruction::ReportFeed() const {
  return m_block ? m_block->GetFeedRate() : &kZeroFeed;
}

bool CGCInstruction::Report() { return ReportCommand(m_kind, ReportLine(), ReportFeed()); }

bool CGCInstruction::ReportCommand(short kind, const int* line, const double* feed) const {
  CodeCommandCallback cb = Lib().command;
  if (!cb) return true;
  int ln = line ? *line : 0;
  short k = kind;
  const CGCCoord w = Words();
  double v[12] = {w.GetValue(0),    w.GetValue(1),    w.GetValue(2), w.GetPosition(0),
                  w.GetPosition(1), w.GetPosition(2), w.GetValue(3), w.GetValue(4),
                  w.GetValue(5),    w.GetValue(6),    w.GetValue(7), w.GetValue(8)};
  double f = feed ? *feed : 0.0;
  return cb(&ln, &k, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11],
            &f) != 0;
}

bool CGCInstruction::ReportCommandPoint(short kind, const CPoint3d& value, const CPoint3d& position,
                                        const int* line, const double* feed) const {
  CodeCommandCallback cb = Lib().command;
  if (!cb) return true;
  int ln = line ? *line : 0;
  short k = kind;
  double v[12] = {value.x, value.y, value.z, position.x, position.y, position.z, 0, 0, 0, 0, 0, 0};
  double f = feed ? *feed : 0.0;
  return cb(&ln, &k, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11],
            &f) != 0;
}

void CGCInstruction::SetWordValue(int index, double programmed, bool absolute) {
  CGCWordRef w = GetWord(index);
  if (!w) return;
  double base = absolute ? 0.0 : w.GetValue();
  w.Apply(programmed, base, absolute);
}

double CGCInstruction::ParseNumber(WStringView text) const {
  if (CGCProgram* p = GetProgram()) return p->NumberRule().Parse(text);
  return WTextToDouble(text);
}

void CGCInstruction::ApplyWordText(int index, WStringView text, double base, bool absolute) {
  switch (index) {
    case 0: case 1: case 6:
      SetWordValue(index, ParseNumber(text), absolute);
      break;
    case 2:
      SetWordValue(2, ParseNumber(text) + base, absolute);
      break;
    case 3: case 4: case 5:
      if (m_kind == kKindCircleCw || m_kind == kKindCircleCcw) SetWordValue(index, ParseNumber(text), false);
      else Words().ApplyWord(index, WTextToDouble(text), 0.0, false);
      break;
    case 7: case 14:
      // P and L are counts, numbers and times, not lengths: no decimal-point scale.
      Words().ApplyWord(index, WTextToDouble(text), 0.0, false);
      break;
    case 8:
      Words().ApplyWord(index, ParseNumber(text), 0.0, false);
      break;
    default:
      break;
  }
}

void CGCInstruction::ApplyWordNumber(int index, double number, double base, bool absolute) {
  switch (index) {
    case 0: case 1: case 6:
      SetWordValue(index, number, absolute);
      break;
    case 2:
      SetWordValue(2, number + base, absolute);
      break;
    case 3: case 4: case 5:
      if (m_kind == kKindCircleCw || m_kind == kKindCircleCcw) SetWordValue(index, number, false);
      else Words().ApplyWord(index, number, 0.0, false);
      break;
    case 7: case 8: case 14:
      Words().ApplyWord(index, number, 0.0, false);
      break;
    default:
      break;
  }
}

void CGCInstruction::SetWordText(int index, WStringView text, double base, bool absolute) {
  ApplyWordText(PlaneWordIndex(index, m_planeCode), text, base, absolute);
}

void CGCInstruction::SetWordNumber(int index, double number, double base, bool absolute) {
  ApplyWordNumber(PlaneWordIndex(index, m_planeCode), number, base, absolute);
}

void CGCInstruction::ApplyChain() {
  CTransformChain* chain = Transforms();
  if (!chain || chain->Count() < 1 || chain->Count() > CTransformChain::kMax) return;
  CPoint3d p = GetEndValuePoint();
  for (int i = 0; i < chain->Count(); ++i) chain->At(i)->Apply(*this, p, m_planeCode, m_previous);
  Words().SetPositionPoint(p);
}

void CGCInstruction::ApplyTransforms() { ApplyChain(); }

CGCInstructionCopy::CGCInstructionCopy(const CGCInstruction& other) : CGCInstructionWords<kMaxWords>(short{0}) {
  CopyFrom(other);
}

CGCInstructionFromWords::CGCInstructionFromWords(const CGCCoord& words, short kind)
    : CGCInstructionWords<kMaxWords>(kind) {
  Words().CopyWords(words);
}

}  // namespace quillet
