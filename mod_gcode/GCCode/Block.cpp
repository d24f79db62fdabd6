#include "mod_gcode/GCCode/Block.h"

#include <cstring>

#include "mod_gcode/GCCode/Macro.h"
#include "mod_gcode/GCCode/Program.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet {

namespace {

bool IsAddressLetter(char16_t c) {
  switch (UpperChar(c)) {
    case u'A': case u'B': case u'C': case u'E': case u'I': case u'J': case u'K': case u'L': case u'P':
    case u'Q': case u'R': case u'U': case u'V': case u'W': case u'X': case u'Y': case u'Z':
      return true;
    default:
      return false;
  }
}

bool IsCodeLetter(char16_t c) {
  switch (UpperChar(c)) {
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

CGCBlock::CGCBlock(CGCBlock* previous, CGCProgram* program) : m_program(program) {
  (void)previous;  // the parse loop links blocks forward; nothing reads back
  if (program) {
    short plane = program->GetModalCode(26);
    m_plane = plane >= 0 && plane <= 2 ? plane : 0;
    m_absolute = program->GetModalCode(20) == 1;
  }
}

CGCBlock::~CGCBlock() { DestroyInstructions(); }

CGCBlock::Extra& CGCBlock::Ext() {
  if (!m_extra) m_extra = std::make_unique<Extra>();
  return *m_extra;
}

std::vector<WString>& CGCBlock::GetMessages() { return Ext().messages; }

void CGCBlock::AddInstruction(CGCInstruction* instr) {
  if (!instr) return;
  if (!m_first) {
    m_first = instr;
    return;
  }
  Extra& e = Ext();
  if (e.instructions.empty()) e.instructions.push_back(m_first);
  e.instructions.push_back(instr);
}

void CGCBlock::DestroyInstructions() {
  if (m_extra && !m_extra->instructions.empty()) {
    for (CGCInstruction* i : m_extra->instructions) CGCInstruction::Dispose(i);
    m_extra->instructions.clear();
  } else {
    CGCInstruction::Dispose(m_first);
  }
  m_first = nullptr;
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
  scan.statementStart = 0;
  scan.macroArgs = false;
  scan.machine = nullptr;
  scan.rotation = nullptr;
  scan.mirrorCancel = nullptr;
  scan.dropWords = false;
  m_program->SetScanLine(&line);

  int result = 0;
  const int len = static_cast<int>(line.size());
  for (int i = 0; i < len; ++i) {
    char16_t c = line[i];
    int r = 0;
    bool reader = true;
    if (c == u'(' || c == u';') break;
    if (c == u'=') {
      WStringView stmt = WStringView(line).substr(static_cast<std::size_t>(scan.statementStart));
      auto cut = stmt.find_first_of(u"(;");
      if (cut != WStringView::npos) stmt = stmt.substr(0, cut);
      std::vector<WString> problems;
      r = AssignVariables(stmt, *m_program, problems);
      for (WString& text : problems) AddMessage(std::move(text));
      if (r == -2) {
        m_program->SetScanLine(nullptr);
        return -2;
      }
      i = len;
      result = 0;
      break;
    }
    if (c == u'N' || c == u'n') {
      SetSequenceNumber(ReadSequenceNumber(i));
      scan.statementStart = i + 1;
      continue;
    }
    if (IsAddressLetter(c)) {
      UpperCaseChar(&line[i]);
      r = ReadAddressWord(i);
    } else if (IsCodeLetter(c)) {
      UpperCaseChar(&line[i]);
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
  int j = index + 1;
  int depth = 0;
  bool hash = false;
  while (j < len) {
    char16_t ch = line[j];
    if (depth > 0) {
      if (ch == u'[') ++depth;
      else if (ch == u']') --depth;
      else if (ch == u'#') hash = true;
      ++j;
      continue;
    }
    if (ch == u'[') {
      // A bracket is an expression even without a variable in it: X[1+2].
      ++depth;
      hash = true;
      ++j;
      continue;
    }
    if (!IsValueChar(ch)) break;
    if (ch == u'#') hash = true;
    ++j;
  }
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
  WordText word;
  int exprStart = 0;
  int mode = ReadStatement(index, word, exprStart);
  const WStringView text = word.view;
  const WString& line = *m_program->ScanLine();
  if (mode == 2) {
    switch (m_statement) {
      case kStmtIf: return RunIfStatement(line, *this);
      case kStmtWhile: return RunWhileStatement(line, *this);
      case kStmtEnd: return RunEndStatement(line, *this);
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
  if (mode == 1) {
    WStringView expr = text.substr(1);
    double value = Evaluate(expr);
    if (wordIndex < 0) return 0;
    if (scan.current) {
      scan.current->SetWordNumber(wordIndex, value, GetWordBase(), m_absolute);
      if (!(scan.current->GetKind() >= kKindRapid && scan.current->GetKind() <= kKindCycle)) m_program->TouchModalState();
    } else {
      std::string s = plat::FormatFixed(value, 3);
      QueueWord(wordIndex, plat::AsciiToWide(s));
    }
    return 0;
  }
  if (wordIndex < 0 && !(scan.macroArgs && rule.RuleType() == 98)) return 0;
  WStringView number = text.substr(1);
  if (scan.macroArgs && rule.RuleType() == 98) {
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
  WordText word;
  int exprStart = 0;
  int mode = ReadStatement(index, word, exprStart);
  const WStringView text = word.view;
  if (mode == 0) return DispatchRule(text, index, previousMotion);
  if (mode == 1) {
    // G#1: the value of the variable whose number follows "#".
    WStringView ref = text.substr(1);
    int number = ref.size() > 1 ? plat::ParseIntPrefix(ref.substr(1)) : 0;
    CVariableBase* var = m_program->GetVariable(number);
    if (!var) {
      AddMessage(u"error : variable #" + plat::FormatIntW(number) + u" does not exist");
      return -2;
    }
    double v = var->GetValue();
    if (!plat::FitsInt(v)) {
      AddMessage(u"error : value of variable #" + plat::FormatIntW(number) + u" is not a code number");
      return -2;
    }
    int code = static_cast<int>(v);
    std::string digits = plat::FormatInt(code < 0 ? -code : code);
    if (digits.size() < 2) digits.insert(0, 2 - digits.size(), '0');
    if (code < 0) digits.insert(0, 1, '-');
    WString word(1, letter);
    word += plat::AsciiToWide(digits);
    return DispatchRule(word, index, previousMotion);
  }
  // A statement keyword.
  if (m_statement == kStmtGoto) {
    const WString& line = *m_program->ScanLine();
    WStringView stmt = WStringView(line).substr(static_cast<std::size_t>(Scan().statementStart));
    auto cut = stmt.find_first_of(u"(;");
    if (cut != WStringView::npos) stmt = stmt.substr(0, cut);
    // The last match of: letters, blanks, then value characters.
    auto isLetter = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
    auto isTarget = [&](char16_t c) {
      return isLetter(c) || (c >= u'0' && c <= u'9') || c == u'[' || c == u']' || c == u'*' || c == u'#' ||
             c == u'+' || c == u'-' || c == u'/' || c == u'.' || c == u'=';
    };
    auto isSpace = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v'; };
    WStringView word, target;
    bool matched = false;
    std::size_t pos = 0;
    while (pos < stmt.size()) {
      std::size_t s = pos;
      while (s < stmt.size() && !isLetter(stmt[s])) ++s;
      if (s >= stmt.size()) break;
      std::size_t e = s;
      while (e < stmt.size() && isLetter(stmt[e])) ++e;
      std::size_t sp = e;
      while (sp < stmt.size() && isSpace(stmt[sp])) ++sp;
      std::size_t t = sp;
      while (t < stmt.size() && isTarget(stmt[t])) ++t;
      WStringView w1, w3;
      bool ok = false;
      if (t > sp) {
        w1 = stmt.substr(s, e - s);
        w3 = stmt.substr(sp, t - sp);
        ok = true;
      } else {
        // Letters with nothing to jump to behind them: the keyword alone.
        w1 = stmt.substr(s, e - s);
        w3 = WStringView();
        t = e;
        ok = true;
      }
      if (!ok) {
        pos = e;
        continue;
      }
      word = w1;
      target = w3;
      matched = true;
      pos = t;
    }
    if (!matched) return 0;
    if (word != u"GOTO" && word != u"GO") {
      AddMessage(u"Syntax error : " + WString(word) + u" : identifier not found");
      return -2;
    }
    if (target.empty()) {
      AddMessage(u"Syntax error : Sequence number not found");
      return -2;
    }
    double v = Evaluate(target);
    if (!plat::FitsInt(v)) {
      AddMessage(u"Syntax error : Sequence number not found");
      return -2;
    }
    return static_cast<int>(v);
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
  }
}

void CGCBlock::BuildPath(CPathSink& sink) {
  const std::size_t n = InstructionCount();
  for (std::size_t i = 0; i < n; ++i) {
    CGCInstruction* instr = InstructionAt(i);
    short k = instr->GetKind();
    if (IsMotion(k) || k == kKindChangeTool) {
      instr->SetNextBlock(m_next);
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
  for (const WString& text : m_extra->messages) {
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
    if (IsMotion(k)) {
      instr->SetNextBlock(m_next);
      result = instr->Report();
    } else if (k == kKindOpenSub) {
      result = instr->Report();
    } else {
      result = instr->ReportCommand(k, &m_line, &m_feed);
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
