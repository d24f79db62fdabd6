#include "mod_gcode/program/Program.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <new>
#include <optional>
#include <utility>
#include <cstdio>

#include "mod_gcode/macro/Macro.h"
#include "mod_gcode/instructions/CompensatedPath.h"
#include "mod_gcode/text/FileUtil.h"
#include "mod_gcode/instructions/Global.h"
#include "mod_gcode/text/TextUtil.h"
#include "mod_gcode/instructions/Transform.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"
#include "platform/Threads.h"

namespace quillet {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void TraceSeconds(const char* label, double seconds) {
  if (!plat::TraceEnabled()) return;
  std::string line = label;
  line += plat::FormatRoundTrip(seconds);
  line += '\n';
  plat::Trace(line);
}

}  // namespace

// -------------------------------------------------------------- program

CGCProgram::CGCProgram(const CCodeRuleEntry* motionRule, WStringView folder, WStringView name)
    : m_motionRule(motionRule), m_folder(folder), m_name(name) {
  m_budget->byteLimit = MemoryLimit();
  m_arena.CountInto(&m_budget->pathBytes);
}

CGCProgram::CGCProgram(const CGCProgram& caller)
    : m_arena(kCallPathChunk),
      m_instructions(caller.m_instructions),
      m_localShift(caller.m_localShift),
      m_partZeroShift(caller.m_partZeroShift),
      m_s(caller.m_s),
      m_f(caller.m_f),
      m_initialLevel(caller.m_initialLevel),
      m_comp(caller.m_comp),
      m_coord(caller.m_coord),
      m_globals(caller.m_globals),
      m_motionRule(caller.m_motionRule),
      m_folder(caller.m_folder),
      m_name(caller.m_name),
      m_highlighted(caller.m_highlighted),
      m_h(caller.m_h),
      m_d(caller.m_d),
      m_t(caller.m_t),
      m_workOffsetFlag(caller.m_workOffsetFlag),
      m_budget(caller.m_budget),
      m_depth(caller.m_depth + 1),
      m_frameId(++caller.m_budget->frames) {
  for (int g = 0; g < kModalGroups - 1; ++g) m_modal[g] = caller.m_modal[g];
  m_refIntermediate = caller.m_refIntermediate;
  m_arena.CountInto(&m_budget->pathBytes);
  CountHeld(sizeof(CGCProgramPath));
}

void CGCProgram::TakeModalState(const CGCProgram& child) {
  // Groups 19 to 32; the modal macro call (33) belongs to its own level.
  for (int g = 0; g < kModalGroups - 1; ++g) m_modal[g] = child.m_modal[g];
  m_localShift = child.m_localShift;
  m_partZeroShift = child.m_partZeroShift;
  m_s = child.m_s;
  m_f = child.m_f;
  m_initialLevel = child.m_initialLevel;
  m_motionRule = child.m_motionRule;
  m_h = child.m_h;
  m_d = child.m_d;
  m_t = child.m_t;
  m_workOffsetFlag = child.m_workOffsetFlag;
  m_refIntermediate = child.m_refIntermediate;
  TouchModalState();
}

// Blocks (and their instructions) die with the store.
CGCProgram::~CGCProgram() {
  if (m_depth == 0) {
    m_budget->tearingDown = true;
    return;
  }
  // A call frame that goes while the parse goes on (a failure inside the
  // call ended it before its caller took the frame): the block that led
  // into it must not lead into freed blocks.
  if (!m_entryFrom || m_budget->tearingDown) return;
  const CGCBlock* next = m_entryFrom->GetNext();
  if (!next || next->GetProgram() != this) return;
  try {
    m_entryFrom->SetNext(m_entryOldNext);
  } catch (...) {
    m_entryFrom->SetNext(nullptr);  // an unlink allocates nothing
  }
}

CGCProgramPath::~CGCProgramPath() = default;

CGCBlock* CGCProgram::NewBlock(CGCBlock* previous) { return m_blocks.Make(previous); }

std::uint32_t CGCProgram::FeedIndex(double feed) {
  const auto bits = std::bit_cast<std::uint64_t>(feed);
  if (std::bit_cast<std::uint64_t>(m_feeds[m_lastFeed]) == bits) return m_lastFeed;
  auto it = m_feedIndex.find(bits);
  if (it == m_feedIndex.end()) {
    m_feeds.push_back(feed);
    it = m_feedIndex.emplace(bits, static_cast<std::uint32_t>(m_feeds.size() - 1)).first;
  }
  m_lastFeed = it->second;
  return m_lastFeed;
}

void CGCProgram::AttachDataTables(CDataComp* comp, CDataCoordSystem* coord, CParameter* param, CVariables* vars) {
  m_comp = comp;
  m_coord = coord;
  m_globals = vars;
  if (param && param->IsZero() == 1) m_numberRule = std::make_unique<CGCDecimalPointPocket>(param->GetValue(-1, -1));
  else m_numberRule = std::make_unique<CGCDecimalPoint>(param ? param->GetValue(-1, -1) : 0.0);
}

const CGCDecimalPoint& CGCProgram::NumberRule() const {
  static const CGCDecimalPointPocket pocket(0.0);
  if (m_numberRule) return *m_numberRule;
  return pocket;
}

void CGCProgram::BuildPreamble(const CPoint3d& start) {
  CGCBlock* block = NewBlock(nullptr);
  block->SetLineNumber(0);
  // Every default modal setting is in force: XY plane, millimetres,
  // absolute, feed per minute, G54.
  auto modal = [&](short group, short code) {
    auto* g = MakeInstruction<CGCInstructionGlobal>(ChainRef(), nullptr, block, group, code);
    block->AddInstruction(g);
    SetModal(group, g);
    return g;
  };
  modal(20, 1);
  modal(26, 0);
  modal(31, 1);
  modal(32, 1);
  auto* wp = MakeInstruction<CGCInstructionGlobalWPZeor>(ChainRef(), nullptr, block, kKindChangeWcs, 1);
  block->AddInstruction(wp);
  SetModal(25, wp);
  SelectWorkOffset(1);
  m_workOffsetFlag = 1;
  CGCInstructionGlobal* g28 = modal(28, 1);
  g28->SetWord(0, CGCDimWordMM(start.x, 1), false);
  g28->SetWord(1, CGCDimWordMM(start.y, 1), false);
  g28->SetWord(2, CGCDimWordMM(start.z, 1), false);
  for (int i = 0; i < 3; ++i) g28->PutWordValue(i, 0.0);
  AddBlock(block);
  m_previousMotion = g28;
}

namespace {
const char16_t kNotEnoughMemory[] = u"Not enough memory for this program: parsing stopped at this block";
const char16_t kPathOutOfMemory[] = u"Not enough memory for this program: the tool path stops at this block";
}  // namespace

void CGCProgram::ParseText(int startLine, const char16_t* text, std::size_t length, const CPoint3d& start) {
  if (!text) return;
  // The report that memory ran out is made now, while there is memory.
  m_memoryReport = std::make_unique<CGCBlock::MessageReserve>(kNotEnoughMemory);
  // A long text may need more than the default limit to run straight through.
  if (length > m_budget->byteLimit / kBytesPerTextChar) m_budget->byteLimit = length * kBytesPerTextChar;
  m_budget->residentBase = plat::ResidentBytes();
  m_budget->nextSample = kResidentSampleBlocks;
  try {
    CGCLineTable lines(WStringView(text, length));
    BuildPreamble(start);
    Run(startLine, lines, m_previousMotion);
  } catch (...) {
    StopOnException();
  }
}

void CGCProgram::StopOnException() {
  // The frames of unfinished calls are gone. The parse ends at the block it
  // reached, which says why; what was parsed before it stays usable.
  const bool outOfMemory = [] {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      return true;
    } catch (...) {
      return false;
    }
  }();
  m_budget->reported = true;
  m_lineBuffer = WString();
  // Without a block there is nothing to show: the parse fails as a whole.
  if (m_blocks.empty()) throw;
  CGCBlock* last = m_blocks[m_blocks.size() - 1];
  if (outOfMemory && m_memoryReport) last->AddReservedMessage(*m_memoryReport);
  else last->AddMessage(u"Program stopped: internal error");
}

std::unique_ptr<CGCProgramPath> CGCProgram::NewChild() const {
  auto child = std::make_unique<CGCProgramPath>(*this);
  CDataTables& t = Lib().tables;
  child->AttachDataTables(t.comp.get(), t.coord.get(), t.param.get(), t.vars.get());
  return child;
}

std::shared_ptr<const WString> CGCProgram::SubProgramText(const WString& name) {
  auto [it, added] = m_budget->files.try_emplace(name);
  if (!added) return it->second;
  for (const char16_t* ext : {u".cnc", u".nc"}) {
    WString path = m_folder.empty() ? name + ext : m_folder + u"\\" + name + ext;
    if (std::optional<WString> text = LoadOrCreateFile(ResolveUserPath(path), nullptr)) {
      it->second = std::make_shared<const WString>(std::move(*text));
      break;
    }
  }
  return it->second;
}

bool CGCProgram::RunSubProgramFile(WStringView number, CGCInstruction* caller, CGCBlock* callerBlock) {
  const CCodeRuleTable* main = Lib().mainRules.get();
  WString letter = main ? main->CodenameOfFunction(u"GPH") : WString();
  WString name = letter + WString(number);
  // A refused call is reported once per calling line and parse: a loop
  // that repeats the line must not pile up messages, and every other line
  // that makes the call gets its own.
  auto refuse = [&](WString text) {
    if (!callerBlock) return false;
    const CGCProgram* from = callerBlock->GetProgram();
    WString key = text + u'\n' + plat::FormatIntW(callerBlock->GetLineNumber()) + u'\n' +
                  (from ? from->Name() : WString());
    if (m_budget->refusals.insert(std::move(key)).second) callerBlock->AddMessage(std::move(text));
    return false;
  };
  if (m_budget->reported) return false;
  // A call past a limit is still made: its first block says why the run
  // ends there, after the calls made before it.
  m_budget->executed += kCallCost;
  if (m_depth > kMaxCallDepth) return refuse(u"Sub-program " + name + u": calls nested too deeply");
  std::shared_ptr<const WString> text = SubProgramText(name);
  if (!text) return refuse(u"Sub-program " + name + u" not found");
  m_name = name;
  m_callBlock = callerBlock;
  m_ownText = std::move(text);
  // Every call splits the text into lines again.
  m_budget->work += m_ownText->size();
  CGCLineTable lines(*m_ownText);
  m_previousMotion = caller;
  Run(0, lines, caller);
  // The frame lives on with its blocks; its scratch of the line it parsed
  // (as long as the longest line) goes now.
  WString().swap(m_lineBuffer);  // (assigning an empty string keeps the capacity)
  std::vector<PendingWord>().swap(m_scan.pending);
  return true;
}

void CGCProgram::ParseFile(WStringView path, const CPoint3d& start) {
  auto text = LoadOrCreateFile(ResolveUserPath(path), nullptr);
  if (!text) return;
  m_ownText = std::make_shared<const WString>(std::move(*text));
  ParseText(0, m_ownText->data(), m_ownText->size(), start);
}

void CGCProgram::Run(int startLine, const CGCLineTable& lines, CGCInstruction* caller) {
  auto begin = std::chrono::steady_clock::now();
  CGCBlock* previous = caller ? caller->GetBlock() : nullptr;
  if (startLine < 0) startLine = 0;
  ParseLoop(startLine, lines.Count(), lines, previous);
  if (plat::TraceEnabled()) {
    std::string line = "i:1; code whole times:";
    line += plat::FormatRoundTrip(Seconds(begin));
    line += '\n';
    plat::Trace(line);
  }
}

void CGCProgram::NotifyLineCount(int lines) {
  m_hostHandle = Lib().hostWindow;
  m_host = plat::FindTarget(m_hostHandle);
  m_hostGeneration = plat::RegistryGeneration();
  if (m_host) m_host->Send(WM_CODE_LINECOUNT, static_cast<std::uintptr_t>(lines < 0 ? 0 : lines), 0);
}

void CGCProgram::NotifyLineDone(int line) {
  if (!m_host) return;
  if (plat::RegistryGeneration() != m_hostGeneration) {
    // A handle was released: look the window up again.
    m_host = plat::FindTarget(m_hostHandle);
    m_hostGeneration = plat::RegistryGeneration();
    if (!m_host) return;
  }
  m_host->Send(WM_CODE_LINEDONE, static_cast<std::uintptr_t>(line), 0);
}

namespace {
std::atomic<std::size_t> g_blockLimit{CGCProgram::kDefaultMaxExecutedBlocks};
}

void CGCProgram::SetExecutedBlockLimit(std::size_t limit) {
  g_blockLimit = limit ? limit : kDefaultMaxExecutedBlocks;
}
std::size_t CGCProgram::ExecutedBlockLimit() { return g_blockLimit; }

namespace {
std::atomic<std::size_t> g_memoryLimit{CGCProgram::kDefaultMemoryLimit};
}

void CGCProgram::SetMemoryLimit(std::size_t bytes) { g_memoryLimit = bytes ? bytes : kDefaultMemoryLimit; }
std::size_t CGCProgram::MemoryLimit() { return g_memoryLimit; }

std::size_t CGCProgram::HeldBytes() const {
  const RunBudget& b = *m_budget;
  return m_instructions->BytesReserved() + b.bytes + b.pathBytes + b.uncounted;
}

void CGCProgram::SampleResident() {
  RunBudget& b = *m_budget;
  b.nextSample = b.executed + kResidentSampleBlocks;
  const std::size_t resident = plat::ResidentBytes();
  if (b.residentBase == 0) {
    // A run that did not begin with a text (none does so far) begins here.
    b.residentBase = resident;
    return;
  }
  const std::size_t counted = m_instructions->BytesReserved() + b.bytes + b.pathBytes;
  const std::size_t growth = resident > b.residentBase ? resident - b.residentBase : 0;
  b.uncounted = growth > counted ? growth - counted : 0;
}

namespace {
std::atomic<std::uint32_t> g_chainNumberLimit{kChainOverflow - 1};
}  // namespace

void CGCProgram::SetChainNumberLimit(std::uint32_t numbers) {
  g_chainNumberLimit = numbers && numbers < kChainOverflow ? numbers : kChainOverflow - 1;
}
std::uint32_t CGCProgram::ChainNumberLimit() { return g_chainNumberLimit; }

std::size_t CGCProgram::CycleMoveBudget() const {
  const std::size_t byBlocks =
      m_budget->executed < g_blockLimit ? (g_blockLimit - m_budget->executed) / kCycleMoveCost : 0;
  const std::size_t held = HeldBytes() + m_budget->projected;
  const std::size_t byBytes = held < m_budget->byteLimit ? (m_budget->byteLimit - held) / kCycleMoveBytes : 0;
  return std::min(byBlocks, byBytes);
}

void CGCProgram::ChargeCycleMoves(std::size_t moves, bool cutShort, CGCBlock* block) {
  m_budget->executed += moves * kCycleMoveCost;
  // The moves themselves are in the instruction arena; each draws a segment.
  CountPath(moves * kPathBytesPerMove);
  if (!cutShort || m_budget->reported) return;
  if (block)
    block->AddMessage(u"Program stopped: the canned cycles make too many moves (endless loop or large repeat count?)");
  m_budget->reported = true;
}

bool CGCProgram::RunEndsAt(CGCBlock* block) {
  RunBudget& b = *m_budget;
  if (b.reported) return true;
  if (block && block->HasErrors()) {
    b.reported = true;
    return true;
  }
  const std::size_t blockLimit = g_blockLimit;
  if (b.executed >= b.nextSample) SampleResident();
  if (b.executed < blockLimit && b.work < blockLimit * kWorkPerBlock && HeldBytes() + b.projected < b.byteLimit)
    return false;
  b.reported = true;
  if (!block) return true;
  if (b.executed >= blockLimit) {
    block->AddMessage(u"Program stopped: more than " + plat::FormatIntW(static_cast<long long>(blockLimit)) +
                      u" blocks executed (endless jump or loop?)");
  } else if (b.work >= blockLimit * kWorkPerBlock) {
    block->AddMessage(u"Program stopped: the executed blocks hold more than " +
                      plat::FormatIntW(static_cast<long long>(blockLimit * kWorkPerBlock)) +
                      u" characters (endless jump or loop?)");
  } else {
    block->AddMessage(u"Program stopped: it needs more than " +
                      plat::FormatIntW(static_cast<long long>(b.byteLimit >> 20)) +
                      u" MB of memory (endless jump or loop?)");
  }
  return true;
}

bool CGCProgram::PathLimitReached(CGCBlock* block) {
  RunBudget& b = *m_budget;
  const std::size_t limit = b.byteLimit / 14 * 15;
  if (HeldBytes() < limit) return false;
  b.pathStopped = true;
  block->AddMessage(u"Program stopped: its tool path needs more than " +
                    plat::FormatIntW(static_cast<long long>(limit >> 20)) + u" MB of memory");
  return true;
}

void CGCProgram::AddNoticeOnce(CGCBlock* block, WString text) {
  WString key = m_name + u'\n' + plat::FormatIntW(block->GetLineNumber()) + u'\n' + text;
  if (m_budget->notices.insert(std::move(key)).second) block->AddNotice(std::move(text));
}

// A zero byte in a program file reads as a blank (dropped with the other
// blanks of the block text), and the block says so.
static void DropZeroBytes(WString& line, CGCBlock* block, CGCProgram& program) {
  std::erase_if(line, [](char16_t c) { return c == 0 || c == kZeroByteShown; });
  program.AddNoticeOnce(block, u"The line holds a zero byte (NUL), read as a blank");
}

static bool SkipLine(WStringView line) {
  while (!line.empty() && IsBlankChar(line[0])) line.remove_prefix(1);  // tabs too
  if (line.empty()) return false;
  if (line[0] == u'/' && Lib().skip) return true;
  if (line[0] == u'*') return true;
  if (line[0] == u'(') {
    // A line that opens with a comment is one unless words follow its ")".
    const std::size_t close = line.find(u')');
    if (close == WStringView::npos) return true;
    for (std::size_t i = close + 1; i < line.size(); ++i)
      if (!IsBlankChar(line[i])) return line[i] == u';';
    return true;
  }
  return false;
}

namespace {

// Finds the WHILE and END lines that belong together: an END matches the
// WHILE with the same loop number, loops of that number nested between
// them paired off first. Lines are read as the block scanner reads them
// (comments left out, blanks and letter case not significant). Matches
// are remembered, so a loop run many times is matched once.
class CLoopMatcher {
 public:
  explicit CLoopMatcher(const CGCLineTable& lines) : m_lines(lines) {}

  // The END line of the WHILE ... DOn at `line`; -1 when there is none.
  int EndOf(int line, int n) { return Find(m_ends, line, n, +1); }
  // The WHILE line of the ENDn at `line`; -1 when there is none.
  int WhileOf(int line, int n) { return Find(m_whiles, line, n, -1); }
  // The loop number that the WHILE at `line` names; 0 when it names none.
  int WhileNumber(int line) {
    const Mark m = Read(line);
    return m.kind == Mark::kWhile ? m.number : 0;
  }

 private:
  struct Mark {
    enum Kind : char { kNone, kWhile, kEnd } kind = kNone;
    int number = 0;
  };

  static bool LoopNumber(WStringView digits, int& number) {
    if (digits.empty() || digits.size() > 9) return false;
    number = 0;
    for (char16_t c : digits) {
      if (!IsDigit(c)) return false;
      number = number * 10 + (c - u'0');
    }
    return true;
  }

  Mark Read(int line) {
    const WStringView raw = m_lines.Line(line);
    if (SkipLine(raw)) return {};
    CompactBlockText(raw, m_buffer);
    WStringView t = m_buffer;
    if (!t.empty() && t[0] == u'/') t.remove_prefix(1);
    if (!t.empty() && t[0] == u'N') {
      std::size_t k = 1;
      while (k < t.size() && IsDigit(t[k])) ++k;
      t.remove_prefix(k);
    }
    Mark m;
    if (t.starts_with(u"END")) {
      if (LoopNumber(t.substr(3), m.number)) m.kind = Mark::kEnd;
    } else if (t.starts_with(u"WHILE[") || t.starts_with(u"WH[")) {
      const std::size_t d = t.rfind(u"DO");
      if (d != WStringView::npos && LoopNumber(t.substr(d + 2), m.number)) m.kind = Mark::kWhile;
    }
    return m;
  }

  int Find(std::unordered_map<int, int>& memo, int line, int n, int step) {
    if (auto it = memo.find(line); it != memo.end()) return it->second;
    const Mark::Kind same = step > 0 ? Mark::kWhile : Mark::kEnd;
    int depth = 0, found = -1;
    for (int j = line + step; j >= 0 && j < m_lines.Count(); j += step) {
      const Mark m = Read(j);
      if (m.kind == Mark::kNone || m.number != n) continue;
      if (m.kind == same) {
        ++depth;
      } else if (depth-- == 0) {
        found = j;
        break;
      }
    }
    memo.emplace(line, found);
    return found;
  }

  const CGCLineTable& m_lines;
  WString m_buffer;
  std::unordered_map<int, int> m_ends, m_whiles;
};

}  // namespace

namespace {

// The message of the user alarm that a write of `value` to #3000 raises:
// alarm 3000 + the value, with the text of the comment that follows the
// assignment on its line.
WString UserAlarmText(double value, WStringView line) {
  const double whole = std::round(value);
  if (!(whole >= 0 && whole <= 200))
    return u"error : #3000 = " + NumberToText(value) + u" : user alarm number outside 0 to 200";
  WString text = u"Alarm " + plat::FormatIntW(3000 + static_cast<long long>(whole));
  const std::size_t equals = line.find(u'=');
  const std::size_t open = equals == WStringView::npos ? WStringView::npos : line.find(u'(', equals);
  if (open != WStringView::npos) {
    std::size_t close = line.find(u')', open);
    if (close == WStringView::npos) close = line.size();
    WStringView comment = line.substr(open + 1, close - open - 1);
    while (!comment.empty() && (comment.front() == u' ' || comment.front() == u'\t')) comment.remove_prefix(1);
    while (!comment.empty() && (comment.back() == u' ' || comment.back() == u'\t' || comment.back() == u'\r'))
      comment.remove_suffix(1);
    if (!comment.empty()) text += u" : " + WString(comment);
  }
  return text;
}

}  // namespace

void CGCProgram::ParseLoop(int s, int e, const CGCLineTable& lines, CGCBlock* previous) {
  NotifyLineCount(e - s);
  auto begin = std::chrono::steady_clock::now();
  std::optional<CLoopMatcher> loops;  // made at the first loop statement
  auto matcher = [&]() -> CLoopMatcher& {
    if (!loops) loops.emplace(lines);
    return *loops;
  };
  // The loops being run, innermost last: the WHILE line and its END line.
  // An END repeats only the loop that its WHILE entered; a jump into a body
  // enters none.
  std::vector<std::pair<int, int>> running;
  for (int i = s; i >= 0 && i < e;) {
    WStringView text = lines.Line(i);
    CGCBlock* block = NewBlock(previous);
    block->SetLineNumber(i);
    if (SkipLine(text)) {
      AddBlock(block);
      ++i;
      continue;
    }
    CompactBlockText(text, m_lineBuffer);
    if (lines.HoldsZeroByte(i)) DropZeroBytes(m_lineBuffer, block, *this);
    m_budget->work += m_lineBuffer.size();
    int r = block->ParseLine(m_lineBuffer, &m_previousMotion);
    block->ApplyTransforms();
    AddBlock(block);
    // The lines of a loop body run again and again: the progress shows the
    // lines outside loops only.
    if (running.empty()) NotifyLineDone(i);
    // A write to #3000 stops the program at this block.
    const bool alarm = std::exchange(m_alarmRaised, false);
    if (alarm) block->AddMessage(UserAlarmText(m_userAlarm, text));
    // A program this block called returned with M99 P<n>: on at N<n>.
    const int returnTo = m_pendingReturn > 0 ? lines.FindSequence(m_pendingReturn) : -1;
    if (m_pendingReturn > 0 && returnTo < 0)
      block->AddMessage(u"Sequence number N" + plat::FormatIntW(m_pendingReturn) + u" of M99 P" +
                        plat::FormatIntW(m_pendingReturn) + u" not found");
    const bool returned = std::exchange(m_pendingReturn, 0) > 0;
    if (RunEndsAt(block) || alarm || (returned && returnTo < 0)) break;
    if (returned) {
      while (!running.empty() && (returnTo <= running.back().first || returnTo > running.back().second))
        running.pop_back();
      if (previous) previous->SetNext(block);
      previous = block;
      i = returnTo;
      continue;
    }
    // Where the program goes on: the next line, or where a statement jumps.
    int next = i + 1;
    bool jumped = false, stop = false;
    switch (block->GetStatement()) {
      case kStmtWhile:
        if (r > 0) {
          const int end = matcher().EndOf(i, r);
          if (end < 0) {
            block->AddMessage(u"WHILE without END" + plat::FormatIntW(r));
            stop = true;
          } else if (running.empty() || running.back().first != i) {
            running.emplace_back(i, end);
          }
        }
        break;
      case kStmtWhileFalse: {
        // Past the loop's own END; a WHILE that could not be read skips its
        // body too when its END can be found.
        const int n = r > 0 ? r : matcher().WhileNumber(i);
        const int end = n > 0 ? matcher().EndOf(i, n) : -1;
        if (!running.empty() && running.back().first == i) running.pop_back();
        if (end >= 0) {
          next = end + 1;
        } else if (r > 0) {
          block->AddMessage(u"WHILE without END" + plat::FormatIntW(r));
          stop = true;
        }
        break;
      }
      case kStmtEnd:
        if (r > 0) {
          const int head = matcher().WhileOf(i, r);
          if (head >= 0 && !running.empty() && running.back().first == head) next = head;
          else if (head >= 0) block->AddMessage(u"END" + plat::FormatIntW(r) + u" of a loop that was jumped into");
          else block->AddMessage(u"END" + plat::FormatIntW(r) + u" without WHILE");
        }
        break;
      case kStmtIf:
      case kStmtGoto:
        if (r > 0) {
          const int target = lines.FindSequence(r);
          if (target >= 0) {
            next = target;
            jumped = true;
            // Loops whose body the target lies outside of are left.
            while (!running.empty() && (target <= running.back().first || target > running.back().second))
              running.pop_back();
          } else {
            block->AddMessage(u"Syntax error : Sequence number N" + plat::FormatIntW(r) + u" not found");
          }
        }
        break;
      default:
        break;
    }
    if (RunEndsAt(block) || stop) break;
    if (r == -2 || jumped) {
      i = next;
      continue;
    }
    if (block->IsEndOfProgram()) break;
    if (previous && !m_entryFrom && previous->GetProgram() != this) {
      m_entryFrom = previous;
      m_entryOldNext = previous->GetNext();
    }
    if (previous) previous->SetNext(block);
    previous = block;
    i = next;
  }
  TraceSeconds("code parsing loop:", Seconds(begin));
}

// --------------------------------------------------------------- paths

void CGCProgram::BuildPath() {}

void CGCProgramPath::BuildPath() {
  // A new build replaces the previous lists, so asking twice gives the
  // same lists once.
  m_pathGroups.clear();
  m_retiredGroups.clear();
  m_arena.Reset();
  m_highlighted = -1;
  m_savedStyles.clear();
  if (m_depth == 0) {
    m_budget->pathStopped = false;
    if (m_budget->outOfMemoryBlock) m_budget->outOfMemoryBlock->RemoveLastMessage();
    m_budget->outOfMemoryBlock = nullptr;
  }
  CCompensationBuildScope compensation;
  // The report that memory ran out is made now, while there is memory.
  std::unique_ptr<CGCBlock::MessageReserve> memoryReport;
  try {
    memoryReport = std::make_unique<CGCBlock::MessageReserve>(kPathOutOfMemory);
  } catch (const std::bad_alloc&) {
    // Without it the message is still tried when memory runs out.
  }
  std::vector<CPathPolyline*> items;
  try {
    m_pathGroups.reserve(m_blocks.size());
    items.reserve(16);
  } catch (const std::bad_alloc&) {
    // Reserved room only saves time; the lists are made one by one.
  }
  for (CGCBlock* block : m_blocks) {
    try {
      items.clear();
      CPathSink sink{&m_arena, &items};
      block->BuildPath(sink);
      if (block->HasErrors()) {
        // An error ends the path (the run ended there too); a call whose
        // path ended early ends its caller's path after the call's block.
        m_budget->pathStopped = true;
        break;
      }
      if (!m_budget->pathStopped && PathLimitReached(block)) {
        block->DeliverMessages();
        break;
      }
      m_pathGroups.push_back(m_arena.MakeList(items.data(), items.size()));
    } catch (const std::bad_alloc&) {
      StopPathOutOfMemory(block, memoryReport.get());
      break;
    }
    if (m_budget->pathStopped) break;
  }
}

void CGCProgramPath::StopPathOutOfMemory(CGCBlock* block, CGCBlock::MessageReserve* reserve) {
  // The lists made so far stay; the block says why the path ends there.
  // When even that cannot be said, the failure goes up to the caller, which
  // then gives no path at all rather than a short one without its reason.
  m_budget->pathStopped = true;
  try {
    block->AddMessage(kPathOutOfMemory);
  } catch (const std::bad_alloc&) {
    if (!reserve) throw;
    block->AddReservedMessage(*reserve);
  }
  try {
    block->DeliverMessages();
  } catch (const std::bad_alloc&) {
    // Untold, the message would stop the next build too.
    block->RemoveLastMessage();
    throw;
  }
  m_budget->outOfMemoryBlock = block;
}

PathGroups* CGCProgram::GetCutterPath(bool notifyHost) {
  if (notifyHost) SendToHost(WM_CODE_CUTTERPATH, 0);
  BuildPath();
  return &m_pathGroups;
}

PathGroups* CGCProgram::GetCommandedPath() {
  BuildPath();
  return &m_commanded;
}

bool CGCProgram::AutoRun() {
  PostToHost(WM_CODE_AUTORUN, 0);
  bool result = true;
  for (CGCBlock* block : m_blocks) {
    // The simulation ends where the path does: before a block with an error.
    if (block->HasErrors()) return false;
    result = block->Simulate();
    if (!result) break;
  }
  return result;
}

PathGroups* CGCProgram::SelectBlock(unsigned index) {
  // What allocates comes first: the styles the block's polylines keep and
  // the lit ones they take. A failure there leaves the highlight as it was.
  std::vector<const CPathStyle*> saved, lit;
  if (index < m_pathGroups.size()) {
    const CPathList& list = m_pathGroups[index];
    const bool litNow = m_highlighted == static_cast<int>(index) && m_savedStyles.size() == list.size();
    saved.reserve(list.size());
    lit.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      const CPathStyle* own = litNow ? m_savedStyles[i] : CPathArena::StyleOf(list[i]);
      CPathStyle s = *own;
      s.r = 1.f;
      s.g = 0.f;
      s.b = 0.f;
      s.a = 1.f;
      s.width = 3.f;
      saved.push_back(own);
      lit.push_back(m_arena.SharedStyleFor(list[i], s));
    }
  }
  if (m_highlighted >= 0 && static_cast<std::size_t>(m_highlighted) < m_pathGroups.size()) {
    const CPathList& list = m_pathGroups[static_cast<std::size_t>(m_highlighted)];
    for (std::size_t i = 0; i < list.size() && i < m_savedStyles.size(); ++i)
      CPathArena::UseStyle(list[i], m_savedStyles[i]);
  }
  m_savedStyles.swap(saved);
  m_highlighted = -1;
  if (index < m_pathGroups.size()) {
    const CPathList& list = m_pathGroups[index];
    for (std::size_t i = 0; i < list.size(); ++i) CPathArena::UseStyle(list[i], lit[i]);
    m_highlighted = static_cast<int>(index);
  }
  return &m_pathGroups;
}

void CGCProgram::ClearBlockPaths() {
  // The lists hold their polylines: they stay alive, out of the way, until
  // the next build, for the calling frame that took their addresses.
  m_retiredGroups.swap(m_pathGroups);
  m_pathGroups.clear();
}

// ----------------------------------------------------------- variables

CVariableBase* CGCProgram::GetVariable(int number) {
  if (number < 0) return nullptr;
  if (number <= kLastLocal) return m_localVars->GetVariable(number);
  return m_globals ? m_globals->GetVariable(number) : nullptr;
}

CVariableBase* ProgramVariable(CGCProgram& program, int number) { return program.GetVariable(number); }

CVariableBase* CGCProgram::GetVariableByText(WStringView text) {
  if (text.empty()) return nullptr;
  int n = text.size() > 1 ? plat::ParseIntPrefix(text.substr(1)) : 0;
  return GetVariable(n);
}

bool CGCProgram::SetVariable(int number, double value) {
  if (number > kLastLocal && m_globals) return m_globals->SetValue(number, 0, value);
  CVariableBase* v = GetVariable(number);
  if (!v) return false;
  v->SetValue(value);
  return true;
}

bool CGCProgram::SetVariableByText(WStringView text, double value) {
  if (text.empty()) return false;
  int n = text.size() > 1 ? plat::ParseIntPrefix(text.substr(1)) : 0;
  return SetVariable(n, value);
}

const WString& CGCProgram::GetLocalText(int number) {
  static const WString empty;
  const CVariableBase* v = m_localVars->GetVariable(number);
  return v ? v->Text() : empty;
}

void CGCProgram::SetSystemVariable(int number, double value) {
  if (m_globals) m_globals->SetValue(number, 0, value);
}

// --------------------------------------------------------------- modal

CGCInstruction* CGCProgram::SetModal(int group, CGCInstruction* instr) {
  if (!IsModalGroup(group)) return instr;
  int idx = GetModalIndex(group);
  if (group == 33) {
    // The modal macro call belongs to the modal table alone.
    m_modalMacro.reset(instr);
    instr = m_modalMacro.get();
  }
  m_modal[idx] = instr;
  TouchModalState();
  return instr;
}

CGCInstruction* CGCProgram::GetModal(int group) const {
  return IsModalGroup(group) ? m_modal[GetModalIndex(group)] : nullptr;
}

short CGCProgram::GetModalCode(int group) const {
  const CGCInstruction* m = GetModal(group);
  return m ? m->GetModalCode() : -1;
}

int CGCProgram::SetModalCode(int group, short code) {
  CGCInstruction* m = GetModal(group);
  if (!m) return 0;
  m->SetModalCode(code);
  TouchModalState();
  return 1;
}

bool CGCProgram::HasModalValue(int group) const {
  const CGCInstruction* m = GetModal(group);
  return m ? m->HasModalCode() : false;
}

double CGCProgram::GetGroupOffset(int group) const {
  short code = GetModalCode(group);
  if (code == 2 || code < 0) return 0.0;
  int row = group == 19 ? m_h : (group == 21 ? m_d : 0);
  if (row <= 0 || !m_comp || row >= CDataComp::kRows) return 0.0;
  double sum = m_comp->GetValue(row, group - 19) + m_comp->GetValue(row, group - 18);
  return group == 21 ? sum / 2.0 : sum;
}

CPoint3d CGCProgram::GetPartZero() const { return m_coord ? m_coord->GetCurrent() : CPoint3d(); }

CPoint3d CGCProgram::SelectWorkOffset(int index, bool* ok) {
  CPoint3d p;
  bool selected = m_coord && m_coord->Select(index, &p);
  if (ok) *ok = selected;
  if (!selected) return CPoint3d();
  if (CGCInstruction* g25 = GetModal(25)) {
    g25->SetWord(3, CGCDimWordMM(index, 1), false);
    bool inch = GetModalCode(31) != 1;
    for (int axis = 0; axis < 3; ++axis) {
      CGCDimWordMM w = MakeWord(inch);
      // A local coordinate system and a G92 shift every work system alike.
      const double shift = m_localShift.At(axis) + m_partZeroShift.At(axis);
      w.SetValue(p.At(axis) + shift);
      w.SetPosition(p.At(axis) + shift);
      g25->SetWord(axis, w, false);
    }
  }
  TouchModalState();
  return p;
}

void CGCProgram::ApplyWorkOffsetFromModal() {
  CGCInstruction* g25 = GetModal(25);
  if (!g25 || !g25->Words().Has(3)) return;  // no table row behind it (G53, G92)
  double index = g25->GetWordValue(3);
  if (index < 0 || !plat::FitsInt(index)) return;
  SelectWorkOffset(static_cast<int>(index));
}

std::uint32_t CGCProgram::ChainNumber(const ChainRef& chain, const CGCInstruction* instr) {
  const CTransformChain* c = chain.get();
  if (!c) return 0;
  if (c == m_lastChain) return m_lastChainNumber;
  std::uint32_t number;
  if (auto it = m_chainNumbers.find(c); it != m_chainNumbers.end()) {
    number = it->second;
  } else if (m_chainTable.size() < m_chainLimit) {
    m_chainTable.push_back(chain);
    number = static_cast<std::uint32_t>(m_chainTable.size());
    m_chainNumbers.emplace(c, number);
  } else {
    m_chainOverflow[instr] = chain;
    return kChainOverflow;
  }
  m_lastChain = c;
  m_lastChainNumber = number;
  return number;
}

CTransformChain* CGCProgram::ChainAt(std::uint32_t number, const CGCInstruction* instr) const {
  if (number == kChainOverflow) {
    auto it = m_chainOverflow.find(instr);
    return it == m_chainOverflow.end() ? nullptr : it->second.get();
  }
  return number >= 1 && number <= m_chainTable.size() ? m_chainTable[number - 1].get() : nullptr;
}

ChainRef CGCProgram::TransformChainFor(int planeCode, bool rotationOnly) {
  if (!rotationOnly && m_chain && m_chainEpoch == m_modalEpoch && m_chainPlane == planeCode) return m_chain;
  auto* chain = new CTransformChain();
  ChainRef ref(chain);
  if (!rotationOnly) {
    if (IsModalActive(27)) chain->Add(std::make_unique<CGCTransformPolar>(GetModal(25)));
    if (IsModalActive(24)) chain->Add(std::make_unique<CGCTransformMirror>(GetModal(24)));
    if (IsModalActive(22)) chain->Add(std::make_unique<CGCTransformScale>(GetModal(22)));
    if (IsModalActive(23)) {
      // Under a mirror of one axis of the plane the rotation turns the other way.
      auto rot = std::make_unique<CGCTransformRot>(GetModal(23));
      rot->SetReversed(MirrorsPlane(chain, planeCode));
      chain->Add(std::move(rot));
    }
  }
  if (CGCInstruction* g25 = GetModal(25)) chain->Add(std::make_unique<CGCTransformRefPoint>(g25));
  if (!rotationOnly) {
    m_chain = ref;
    m_chainEpoch = m_modalEpoch;
    m_chainPlane = planeCode;
  }
  return ref;
}

// ---------------------------------------------------- destruction thread

CDestructThread::CDestructThread(CGCProgramPath* program) : m_program(program) {}

CDestructThread::~CDestructThread() { Join(); }

void CDestructThread::Start() {
  if (m_thread.joinable() || !m_program) return;
  CGCProgramPath* program = m_program;
  m_program = nullptr;
  m_thread = std::thread([program] {
    char buf[64];
    std::uint64_t id = plat::CurrentThreadId();
    if (plat::TraceEnabled()) {
      std::snprintf(buf, sizeof(buf), "destruct thread start:%05llx\n", static_cast<unsigned long long>(id));
      plat::Trace(buf);
    }
    delete program;
    if (plat::TraceEnabled()) {
      std::snprintf(buf, sizeof(buf), "destruct thread exit:%05llx\n", static_cast<unsigned long long>(id));
      plat::Trace(buf);
    }
  });
  plat::SetThreadAffinity(m_thread, plat::OddProcessorMask(plat::ProcessorCount()));
}

void CDestructThread::Join() {
  if (m_thread.joinable()) m_thread.join();
  delete m_program;  // a program that was never handed to a thread
  m_program = nullptr;
}

}  // namespace quillet
