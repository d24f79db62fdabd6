#include "mod_gcode/program/Block.h"

#include <cmath>
#include <cstring>

#include "mod_gcode/macro/Macro.h"
#include "mod_gcode/program/Program.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet {

namespace {

// The scanned line is in upper case.
bool IsAddressLetter(char16_t c) {
  switch (c) {
    case u'A': case u'B': case u'C': case u'E': case u'I': case u'J': case u'K': case u'L': case u'P':
    case u'Q': case u'R': case u'U': case u'V': case u'W': case u'X': case u'Y': case u'Z':
      return true;
    default:
      return false;
  }
}

bool IsCodeLetter(char16_t c) {
  switch (c) {
    case u'D': case u'F': case u'G': case u'H': case u'M': case u'S': case u'T':
      return true;
    default:
      return false;
  }
}

bool IsValueChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || c == u'#' || c == u'*' || c == u'+' || c == u'-' || c == u'.' || c == u'/';
}

}  // namespace

std::size_t WordValueEnd(WStringView line, std::size_t from, bool& expression) {
  std::size_t j = from;
  int depth = 0;
  expression = false;
  while (j < line.size()) {
    const char16_t ch = line[j];
    if (depth > 0) {
      if (ch == u'[') ++depth;
      else if (ch == u']') --depth;
      ++j;
      continue;
    }
    if (ch == u'[') {
      // A bracket is an expression even without a variable in it: X[1+2].
      ++depth;
      expression = true;
      ++j;
      continue;
    }
    if (!IsValueChar(ch)) break;
    if (ch == u'#') expression = true;
    ++j;
  }
  return j;
}

WString ExactNumberText(double value) {
  // Round-trip digits, always with a decimal point, so that the decimal
  // point rule of the number texts never scales a variable's value.
  std::string s = plat::FormatRoundTrip(value);
  if (s.find('.') == std::string::npos) {
    const std::size_t e = s.find('e');
    s.insert(e == std::string::npos ? s.size() : e, 1, '.');
  }
  return plat::AsciiToWide(s);
}

bool CodeWordValueText(char16_t letter, double value, WString& code) {
  if (letter == u'F') {
    code += ExactNumberText(value);
    return true;
  }
  // G codes must be whole; S, T, D, H and M round to the nearest whole number.
  const double whole = std::round(value);
  if (!plat::FitsInt(whole) || (letter == u'G' && std::fabs(whole - value) > 1e-9)) return false;
  const int n = static_cast<int>(whole);
  std::string digits = plat::FormatInt(n < 0 ? -static_cast<long long>(n) : n);
  if ((letter == u'G' || letter == u'M') && digits.size() < 2) digits.insert(0, 2 - digits.size(), '0');
  if (n < 0) digits.insert(0, 1, '-');
  code += plat::AsciiToWide(digits);
  return true;
}

CGCBlock::CGCBlock(CGCBlock* previous, CGCProgram* program) {
  (void)previous;  // the parse loop links blocks forward; nothing reads back
  if (program) {
    short plane = program->GetModalCode(26);
    m_plane = plane >= 0 && plane <= 2 ? plane : 0;
    m_absolute = program->GetModalCode(20) == 1;
  }
}

CGCBlock::~CGCBlock() {
  DestroyInstructions();
  delete ExtraIfAny();
}

CGCBlock::Extra& CGCBlock::Ext() {
  if (Extra* e = ExtraIfAny()) return *e;
  auto* e = new Extra();
  m_program->CountHeld(sizeof(Extra));
  if (m_instr) {
    try {
      e->instructions.push_back(reinterpret_cast<CGCInstruction*>(m_instr));
    } catch (...) {
      delete e;
      throw;
    }
  }
  m_instr = reinterpret_cast<std::uintptr_t>(e) | 1u;
  return *e;
}

std::vector<WString>& CGCBlock::GetMessages() { return Ext().messages; }

CGCBlock::MessageReserve::MessageReserve(WStringView text) : m_text(text), m_extra(std::make_unique<Extra>()) {
  m_extra->instructions.reserve(1);
  m_extra->messages.reserve(1);
  m_messages.reserve(kMessages);
}

CGCBlock::MessageReserve::~MessageReserve() = default;

void CGCBlock::AddReservedMessage(MessageReserve& reserve) noexcept {
  if (reserve.m_used) return;
  Extra* e = ExtraIfAny();
  if (!e) {
    // The single instruction moves into the reserved extra part.
    e = reserve.m_extra.release();
    if (m_instr) e->instructions.push_back(reinterpret_cast<CGCInstruction*>(m_instr));
    m_instr = reinterpret_cast<std::uintptr_t>(e) | 1u;
  }
  std::vector<WString>& list = e->messages;
  if (list.size() == list.capacity()) {
    if (list.size() >= reserve.m_messages.capacity()) {
      list.back().swap(reserve.m_text);
      e->notices = std::min(e->notices, list.size() - 1);
      reserve.m_used = true;
      return;
    }
    for (WString& m : list) reserve.m_messages.push_back(std::move(m));
    list.swap(reserve.m_messages);
  }
  list.push_back(std::move(reserve.m_text));
  reserve.m_used = true;
}

void CGCBlock::AddInstruction(CGCInstruction* instr) {
  if (!instr) return;
  if (!m_instr) {
    m_instr = reinterpret_cast<std::uintptr_t>(instr);
    return;
  }
  Ext().instructions.push_back(instr);
}

void CGCBlock::DestroyInstructions() {
  if (Extra* e = ExtraIfAny()) {
    for (CGCInstruction* i : e->instructions) CGCInstruction::Dispose(i);
    e->instructions.clear();
  } else {
    CGCInstruction::Dispose(reinterpret_cast<CGCInstruction*>(m_instr));
    m_instr = 0;
  }
}

CGCBlock::FeedLink& CGCBlock::FeedLink::operator=(double feed) {
  index = CBlockStore::ProgramAt(this)->FeedIndex(feed);
  return *this;
}

const double* CGCBlock::FeedLink::Ptr() const { return CBlockStore::ProgramAt(this)->FeedAt(index); }

void CGCBlock::SetNext(CGCBlock* b) {
  CGCProgram* program = m_program;
  if (m_nextKind == kNextLinked) program->NextLinks().erase(this);
  const CBlockStore& store = program->Blocks();
  CGCBlock* follower = b ? store.After(this) : nullptr;
  if (!b) {
    m_nextKind = kNextNone;
  } else if (b == follower) {
    m_nextKind = kNextFollower;
  } else if (follower && b == store.After(follower)) {
    m_nextKind = kNextSecond;
  } else {
    program->NextLinks()[this] = b;
    m_nextKind = kNextLinked;
  }
}

CGCBlock* CGCBlock::GetNext() const {
  switch (m_nextKind) {
    case kNextFollower:
      return m_program->Blocks().After(this);
    case kNextSecond: {
      const CBlockStore& store = m_program->Blocks();
      const CGCBlock* follower = store.After(this);
      return follower ? store.After(follower) : nullptr;
    }
    case kNextLinked: {
      const auto& links = m_program->NextLinks();
      auto it = links.find(this);
      return it == links.end() ? nullptr : it->second;
    }
    default:
      return nullptr;
  }
}

CGCBlock* CBlockStore::After(const CGCBlock* block) const {
  const PageHeader* page = PageOf(block);
  const std::size_t slot =
      static_cast<std::size_t>(reinterpret_cast<const std::byte*>(block) - reinterpret_cast<const std::byte*>(page) -
                               kHeader) / sizeof(CGCBlock);
  const std::size_t next = page->index * kPerPage + slot + 1;
  return next < m_count ? (*this)[next] : nullptr;
}

CBlockStore::~CBlockStore() {
  for (std::size_t i = 0; i < m_count; ++i) (*this)[i]->~CGCBlock();
}

CGCBlock* CBlockStore::Make(CGCBlock* previous) {
  static_assert(kPerPage >= 1, "a page holds a block");
  static_assert(sizeof(CGCBlock) <= 24, "a block stays three words");
  static_assert(alignof(CGCBlock) <= kHeader, "blocks follow the page header aligned");
  if (m_count == m_pages.size() * kPerPage) {
    const std::size_t pages = m_nextChunkPages;
    // Through operator new, so that a failure reaches the host's new handler
    // like every other allocation of a parse.
    auto* chunk = static_cast<std::byte*>(::operator new(pages * kPageBytes, std::align_val_t{kPageBytes}));
    std::unique_ptr<std::byte, FreeChunk> owned(chunk);
    m_chunks.push_back(std::move(owned));
    m_program->CountHeld(pages * kPageBytes);
    for (std::size_t p = 0; p < pages; ++p) {
      std::byte* page = chunk + p * kPageBytes;
      new (page) PageHeader{m_program, m_pages.size()};
      m_pages.push_back(page);
    }
    if (m_nextChunkPages < 256) m_nextChunkPages *= 2;
  }
  void* slot = m_pages[m_count / kPerPage] + kHeader + (m_count % kPerPage) * sizeof(CGCBlock);
  auto* block = new (slot) CGCBlock(previous, m_program);
  ++m_count;
  return block;
}

CLineScan& CGCBlock::Scan() { return m_program->Scan(); }

short CGCBlock::GetModalCode(int group) const { return m_program ? m_program->GetModalCode(group) : -1; }
void CGCBlock::SetModalCode(int group, short code) {
  if (m_program) m_program->SetModalCode(group, code);
}

void CGCBlock::QueueWord(int index, WStringView text) {
  PendingWord w;
  w.index = index;
  // No coordinate needs more characters; a longer text is refused rather
  // than cut, which would change its value.
  if (text.size() > PendingWord::kMaxText) {
    AddMessage(u"Number too long: " + WString(text.substr(0, PendingWord::kMaxText)) + u"...");
    return;
  }
  std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) w.text[i] = text[i];
  w.length = static_cast<std::uint8_t>(n);
  Scan().pending.push_back(w);
}

void CGCBlock::FlushPendingWords(CGCInstruction* instr) {
  CLineScan& scan = Scan();
  if (instr) {
    for (const PendingWord& w : scan.pending) instr->SetWordText(w.index, w.View(), GetWordBase(), m_absolute);
    if (!scan.pending.empty() && !(instr->GetKind() >= kKindRapid && instr->GetKind() <= kKindCycle))
      m_program->TouchModalState();
  }
  scan.pending.clear();
}

int CGCBlock::ParseLine(WString& line, CGCInstruction** previousMotion) {
  CLineScan& scan = Scan();
  scan.pending.clear();
  scan.current = nullptr;
  scan.previousMotionAtStart = *previousMotion;
  // A block-delete "/" that was not acted on belongs to no statement.
  scan.statementStart = !line.empty() && line[0] == u'/' ? 1 : 0;
  scan.macroArgs = false;
  scan.machine = nullptr;
  scan.rotation = nullptr;
  scan.scaling = nullptr;
  scan.mirrorCancel = nullptr;
  scan.dropWords = false;
  m_program->SetScanLine(&line);
  // The block's G90 or G91 applies to its words written before it too.
  m_absolute = LineIsAbsolute(line, m_absolute);

  int result = 0;
  const int len = static_cast<int>(line.size());
  for (int i = 0; i < len; ++i) {
    char16_t c = line[i];
    int r = 0;
    bool reader = true;
    // The line is compact (no blanks, no comments, upper case): a "#" that
    // no word took starts an assignment, as does an "=" after P12.
    if (c == u'#' || c == u'=') {
      std::vector<WString> problems;
      r = AssignVariables(WStringView(line).substr(static_cast<std::size_t>(scan.statementStart)), *m_program,
                          problems);
      for (WString& text : problems) AddMessage(std::move(text));
      if (r == -2) {
        m_program->SetScanLine(nullptr);
        return -2;
      }
      result = 0;
      break;
    }
    if (c == u'N') {
      SetSequenceNumber(ReadSequenceNumber(i));
      scan.statementStart = i + 1;
      continue;
    }
    if (IsAddressLetter(c)) {
      r = ReadAddressWord(i);
    } else if (IsCodeLetter(c)) {
      r = ReadCodeWord(i, previousMotion);
    } else {
      reader = false;
    }
    if (reader) {
      result = r;
      if (r > 0) break;
    }
  }
  FinishLine(previousMotion);
  m_program->SetScanLine(nullptr);
  return result;
}

double CGCBlock::Evaluate(WStringView expression) {
  // Most expressions report nothing: the message list is made only if needed.
  std::vector<WString> problems;
  double value = EvaluateExpression(expression, *m_program, problems);
  for (WString& text : problems) AddMessage(std::move(text));
  return value;
}

int CGCBlock::ReadSequenceNumber(int& index) {
  std::size_t start = 0, length = 0;
  int n = FindSequenceWord(*m_program->ScanLine(), &start, &length);
  if (n < 0) return 0;
  index += static_cast<int>(length) - 1;
  return n;
}

int CGCBlock::ReadStatement(int& index, WordText& word, int& exprStart) {
  const WString& line = *m_program->ScanLine();
  const int len = static_cast<int>(line.size());
  bool hash = false;
  const int j = static_cast<int>(WordValueEnd(line, static_cast<std::size_t>(index) + 1, hash));
  if (j > index + 1) {
    // The line stays as it is while its word is handled: a view is enough.
    word.view = WStringView(line).substr(static_cast<std::size_t>(index), static_cast<std::size_t>(j - index));
    exprStart = index + 1;
    index = j - 1;
    return hash ? 1 : 0;
  }
  // No value: the letter and the character behind it name a keyword.
  word.key[0] = line[index];
  word.key[1] = index + 1 < len ? UpperChar(line[index + 1]) : u'\0';
  WStringView key(word.key, index + 1 < len ? 2 : 1);
  const CCodeRuleTable* macro = Lib().macroRules.get();
  const CCodeRuleEntry& e = macro ? macro->FindByPrefix(key) : CCodeRuleTable::EmptyEntry();
  word.view = WStringView();
  if (e.IsEmpty()) {
    m_statement = kStmtNone;
    word.view = key;
  } else if (e.m_codefunc == u"IF") {
    m_statement = kStmtIf;
  } else if (e.m_codefunc == u"WHILE" || e.m_codefunc == u"WH") {
    m_statement = kStmtWhile;
  } else if (e.m_codefunc == u"END") {
    m_statement = kStmtEnd;
  } else if (e.m_codefunc == u"GOTO") {
    m_statement = kStmtGoto;
  } else {
    m_statement = kStmtOther;
  }
  index = len - 1;
  return 2;
}

int CGCBlock::ReadAddressWord(int& index) {
  CLineScan& scan = Scan();
  const char16_t letter = (*m_program->ScanLine())[static_cast<std::size_t>(index)];
  const std::size_t keywordStart = static_cast<std::size_t>(index);
  WordText word;
  int exprStart = 0;
  int mode = ReadStatement(index, word, exprStart);
  const WStringView text = word.view;
  if (mode == 2) {
    const WStringView statement = WStringView(*m_program->ScanLine()).substr(keywordStart);
    switch (m_statement) {
      case kStmtIf: return RunIfStatement(statement, *this);
      case kStmtWhile: return RunWhileStatement(statement, *this);
      case kStmtEnd: return RunEndStatement(statement, *this);
      case kStmtNone:
        AddMessage(u"error :" + WString(text) + u" : Invalid macro instruction.");
        return -2;
      default:
        return 0;
    }
  }
  const CCodeRuleTable* table = scan.macroArgs ? Lib().macroRules.get() : Lib().mainRules.get();
  if (!table) return 0;
  const CCodeRuleEntry& rule = table->FindByLetter(letter);
  if (rule.IsEmpty()) return 0;  // a letter the dialect does not define is dropped
  int wordIndex = rule.RuleNumber();
  const bool argument = scan.macroArgs && rule.RuleType() == 98;
  if (mode == 1) {
    // A value from a variable or an expression is kept exactly.
    const std::size_t before = HasMessages() ? GetMessages().size() : 0;
    const double value = Evaluate(text.substr(1));
    if (HasMessages() && GetMessages().size() != before) return 0;
    if (argument) {
      if (scan.current) scan.current->SetWordText(wordIndex, ExactNumberText(value), 0.0, false);
      return 0;
    }
    if (wordIndex < 0) return 0;
    if (scan.current) {
      scan.current->SetWordNumber(wordIndex, value, GetWordBase(), m_absolute);
      if (!(scan.current->GetKind() >= kKindRapid && scan.current->GetKind() <= kKindCycle)) m_program->TouchModalState();
    } else {
      QueueWord(wordIndex, ExactNumberText(value));
    }
    return 0;
  }
  if (wordIndex < 0 && !argument) return 0;
  WStringView number = text.substr(1);
  if (argument) {
    if (scan.current) scan.current->SetWordText(wordIndex, number, 0.0, false);
    return 0;
  }
  if (scan.current) {
    scan.current->SetWordText(wordIndex, number, GetWordBase(), m_absolute);
    if (!(scan.current->GetKind() >= kKindRapid && scan.current->GetKind() <= kKindCycle)) m_program->TouchModalState();
  } else {
    QueueWord(wordIndex, number);
  }
  return 0;
}

int CGCBlock::ReadCodeWord(int& index, CGCInstruction** previousMotion) {
  const char16_t letter = (*m_program->ScanLine())[static_cast<std::size_t>(index)];
  const std::size_t keywordStart = static_cast<std::size_t>(index);
  WordText word;
  int exprStart = 0;
  int mode = ReadStatement(index, word, exprStart);
  const WStringView text = word.view;
  double value = 0.0;
  if (mode == 1) {
    const std::size_t before = HasMessages() ? GetMessages().size() : 0;
    value = Evaluate(text.substr(1));
    if (HasMessages() && GetMessages().size() != before) return -2;
  }
  CLineScan& scan = Scan();
  if (scan.macroArgs && mode != 2) {
    // On a macro call line D F H M S T are arguments (M is #13).
    const CCodeRuleTable* macro = Lib().macroRules.get();
    const CCodeRuleEntry& argument = macro ? macro->FindByLetter(letter) : CCodeRuleTable::EmptyEntry();
    if (!argument.IsEmpty() && argument.RuleType() == 98) {
      if (scan.current)
        scan.current->SetWordText(argument.RuleNumber(), mode == 1 ? WStringView(ExactNumberText(value)) : text.substr(1),
                                  0.0, false);
      return 0;
    }
  }
  if (mode == 0) return DispatchRule(text, index, previousMotion);
  if (mode == 1) {
    // A code word whose value is a variable or an expression: the code it
    // names is dispatched as if written with that value.
    WString code(1, letter);
    if (!CodeWordValueText(letter, value, code)) {
      AddMessage(u"error : " + WString(text) + u" = " + NumberToText(value) + u" : not a code number");
      return -2;
    }
    return DispatchRule(code, index, previousMotion);
  }
  // A statement keyword.
  if (m_statement == kStmtGoto) {
    // GOTO n or GO n; the target may be an expression.
    const WStringView statement = WStringView(*m_program->ScanLine()).substr(keywordStart);
    std::size_t n = 0;
    while (n < statement.size() && statement[n] >= u'A' && statement[n] <= u'Z') ++n;
    const WStringView keyword = statement.substr(0, n);
    if (keyword != u"GOTO" && keyword != u"GO") {
      AddMessage(u"Syntax error : " + WString(keyword) + u" : identifier not found");
      return -2;
    }
    if (n == statement.size()) {
      AddMessage(u"Syntax error : Sequence number not found");
      return -2;
    }
    std::vector<WString> problems;
    const int target = SequenceTarget(statement.substr(n), *m_program, problems);
    for (WString& t : problems) AddMessage(std::move(t));
    return target;
  }
  if (m_statement == kStmtNone) {
    AddMessage(u"Syntax error : " + WString(text) + u" : identifier not found");
    return -2;
  }
  return 0;
}

}  // namespace quillet

// ---------------------------------------------------- path and simulation

namespace quillet {

namespace {
bool IsMotion(short k) { return k >= kKindRapid && k <= kKindCycle; }
}  // namespace

void CGCBlock::ApplyTransforms() {
  const std::size_t n = InstructionCount();
  for (std::size_t i = 0; i < n; ++i) {
    CGCInstruction* instr = InstructionAt(i);
    short k = instr->GetKind();
    if (IsMotion(k) || k == kKindChangeTool || k == kKindOpenSub || k == kKindComH) instr->ApplyTransforms();
    // The segment a line or arc will draw (an arc counts its other points
    // itself; a cycle its moves).
    if (k >= kKindRapid && k <= kKindCircleCcw) m_program->CountPath(CGCProgram::kPathBytesPerMove);
  }
}

void CGCBlock::BuildPath(CPathSink& sink) {
  const std::size_t n = InstructionCount();
  for (std::size_t i = 0; i < n; ++i) {
    CGCInstruction* instr = InstructionAt(i);
    short k = instr->GetKind();
    if (IsMotion(k) || k == kKindChangeTool) {
      instr->SetNextBlock(GetNext());
      instr->BuildPath(sink);
    } else if (k == kKindOpenSub) {
      instr->BuildPath(sink);
    }
  }
  DeliverMessages();
}

void CGCBlock::DeliverMessages() const {
  CodeMessageCallback cb = Lib().message;
  if (!cb || !HasMessages()) return;
  WString name = m_program ? m_program->Name() : WString();
  for (const WString& text : ExtraIfAny()->messages) {
    int line = m_line + 1;
    int seq = m_sequence;
    WString nameCopy = name;
    WString textCopy = text;
    cb(nameCopy.data(), &line, &seq, textCopy.data());
  }
}

bool CGCBlock::Simulate() {
  bool result = true;
  const std::size_t n = InstructionCount();
  for (std::size_t i = 0; i < n; ++i) {
    CGCInstruction* instr = InstructionAt(i);
    short k = instr->GetKind();
    // Any false ends the simulation after this block.
    if (IsMotion(k)) {
      instr->SetNextBlock(GetNext());
      result = instr->Report() && result;
    } else if (k == kKindOpenSub) {
      result = instr->Report() && result;
    } else {
      result = instr->ReportCommand(k, &m_line, m_feed.Ptr()) && result;
    }
  }
  return result;
}

CGCInstruction* CGCBlock::FindLastMotion(const CGCBlock* block) {
  if (!block) return nullptr;
  for (std::size_t i = block->InstructionCount(); i-- > 0;) {
    CGCInstruction* instr = block->InstructionAt(i);
    short k = instr->GetKind();
    if (k >= kKindRapid && k <= kKindCycle) return instr;
    if (k == kKindOpenSub)
      if (CGCInstruction* m = instr->FindChildMotion()) return m;
  }
  return nullptr;
}

CGCInstruction* FindNextMotion(const CGCBlock* block) {
  for (const CGCBlock* b = block; b; b = b->GetNext())
    if (CGCInstruction* m = CGCBlock::FindLastMotion(b)) return m;
  return nullptr;
}

}  // namespace quillet
