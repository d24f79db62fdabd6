// Macro expressions: a recursive-descent reader over the compact text
// (operators by precedence, signs, brackets with comparisons, variables
// direct and indirect), and the function calls.
#include "mod_gcode/macro/Macro.h"

#include <cmath>

#include "mod_gcode/tables/DataTables.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Nesting of EvaluateExpression on this thread (brackets and function
// arguments recurse into it).
thread_local int t_depth = 0;

class DepthGuard {
 public:
  DepthGuard() { ++t_depth; }
  ~DepthGuard() { --t_depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
  bool TooDeep() const { return t_depth > kMaxExpressionDepth; }
};

// One reduction step; false (with a message) on division by zero or a
// result beyond the range of double.
bool Apply(unsigned char op, double a, double b, double& result, std::vector<WString>& messages) {
  switch (op) {
    case kOpDiv:
      if (b == 0.0) {
        messages.push_back(u"error : division by zero");
        return false;
      }
      result = a / b;
      break;
    case kOpMul: result = a * b; break;
    case kOpSub: result = a - b; break;
    default: result = a + b; break;
  }
  if (!std::isfinite(result)) {
    messages.push_back(u"error : value out of range");
    return false;
  }
  return true;
}

}  // namespace

// Half away from zero at the 0.001 step, for negative values as for
// positive ones.
double RoundTo001(double value) {
  const double r = std::floor(std::fabs(value) * 1000.0 + 0.5) * 0.001;
  return value < 0 ? -r : r;
}

namespace {

// A recursive-descent reader of one compact expression text (no blanks,
// letters in upper case). Precedence: functions and brackets, a sign,
// then * / AND, then + - OR, each level from left to right. A bracket may
// hold one comparison (EQ NE GT GE LT LE) when conditions are allowed;
// AND and OR join conditions only.
class ExpressionReader {
 public:
  ExpressionReader(WStringView text, CGCProgram& program, std::vector<WString>& messages, bool conditions)
      : m_text(text), m_program(program), m_messages(messages), m_before(messages.size()),
        m_conditions(conditions) {}

  struct Value {
    double number = 0.0;
    bool condition = false;  // the result of a comparison (1 or 0)
  };

  // The whole text as one expression; false when it could not be read (a
  // message was queued, or SyntaxError() holds for the caller to word).
  bool ReadAll(Value& value) {
    value = Sum();
    if (!Failed() && m_pos != m_text.size()) m_syntax = true;
    return !Failed();
  }
  bool SyntaxError() const { return m_syntax && m_messages.size() == m_before; }

 private:
  bool Failed() const { return m_syntax || m_messages.size() != m_before; }
  char16_t Peek(std::size_t ahead = 0) const {
    return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : u'\0';
  }
  bool Keyword(WStringView word) const { return m_text.substr(m_pos, word.size()) == word; }

  Value Sum() {
    Value left = Product();
    while (!Failed()) {
      const char16_t c = Peek();
      if (c == u'+' || c == u'-') {
        ++m_pos;
        const Value right = Product();
        if (Failed()) break;
        left = {Arithmetic(c == u'+' ? kOpAdd : kOpSub, left.number, right.number), false};
      } else if (Keyword(u"OR")) {
        m_pos += 2;
        const Value right = Product();
        if (Failed() || !Joinable(left, right)) break;
        left.number = (left.number != 0.0 || right.number != 0.0) ? 1.0 : 0.0;
      } else {
        break;
      }
    }
    return left;
  }

  Value Product() {
    Value left = Signed();
    while (!Failed()) {
      const char16_t c = Peek();
      if (c == u'*' || c == u'/') {
        ++m_pos;
        const Value right = Signed();
        if (Failed()) break;
        left = {Arithmetic(c == u'*' ? kOpMul : kOpDiv, left.number, right.number), false};
      } else if (Keyword(u"AND")) {
        m_pos += 3;
        const Value right = Signed();
        if (Failed() || !Joinable(left, right)) break;
        left.number = (left.number != 0.0 && right.number != 0.0) ? 1.0 : 0.0;
      } else {
        break;
      }
    }
    return left;
  }

  // A sign belongs to the operand that follows it: 2*-3 is -6. A run of
  // signs is read in a loop, so no text can nest it deeply.
  Value Signed() {
    bool signed_ = false, negative = false;
    for (char16_t c = Peek(); c == u'-' || c == u'+'; c = Peek()) {
      signed_ = true;
      negative ^= c == u'-';
      ++m_pos;
    }
    if (!signed_) return Operand();
    const Value v = Operand();
    return {negative ? -v.number : v.number, false};
  }

  Value Operand() {
    const char16_t c = Peek();
    if (c == u'[') return Bracket();
    if (c == u'#' || c == u'P') return Variable();
    if (IsDigit(c) || c == u'.') return Number();
    if (c >= u'A' && c <= u'Z') return Function();
    m_syntax = true;
    return {};
  }

  // "[" expression, optionally a comparison word and a second expression, "]".
  Value Bracket() {
    DepthGuard guard;
    if (guard.TooDeep()) {
      m_messages.push_back(u"error : expression nested too deeply");
      return {};
    }
    ++m_pos;
    Value v = Sum();
    if (Failed()) return {};
    static constexpr const char16_t* kWords[] = {u"EQ", u"NE", u"GT", u"GE", u"LT", u"LE"};
    for (int w = 0; w < 6; ++w) {
      if (!Keyword(kWords[w])) continue;
      if (!m_conditions) {
        m_syntax = true;
        return {};
      }
      m_pos += 2;
      const Value right = Sum();
      if (Failed()) return {};
      const double l = v.number, r = right.number;
      const bool holds = w == 0   ? l == r
                         : w == 1 ? l != r
                         : w == 2 ? l > r
                         : w == 3 ? l >= r
                         : w == 4 ? l < r
                                  : l <= r;
      v = {holds ? 1.0 : 0.0, true};
      break;
    }
    if (Peek() != u']') {
      if (m_pos >= m_text.size()) m_messages.push_back(u"Missing \"]\"");
      else m_syntax = true;
      return {};
    }
    ++m_pos;
    return v;
  }

  // #n, Pn or #[expression]: the value of the variable the number names.
  Value Variable() {
    const std::size_t start = m_pos++;
    int number = 0;
    if (Peek() == u'[') {
      if (!ReadVariableIndex(start, number)) return {};
    } else {
      if (!IsDigit(Peek())) {
        m_syntax = true;
        return {};
      }
      while (IsDigit(Peek())) ++m_pos;
      number = plat::ParseIntPrefix(m_text.substr(start + 1, m_pos - start - 1));
    }
    if (CVariableBase* v = ProgramVariable(m_program, number)) return {v->GetValue(), false};
    m_messages.push_back(u"error : variable " + WString(m_text.substr(start, m_pos - start)) + u" does not exist");
    return {};
  }

 public:
  // The number that the bracket of "#[expression]" gives (its "[" is at
  // the reading position); a whole number within int.
  bool ReadVariableIndex(std::size_t start, int& number) {
    const Value index = Bracket();
    if (Failed()) return false;
    const double n = std::round(index.number);
    if (!plat::FitsInt(n) || std::fabs(n - index.number) > 1e-9) {
      m_messages.push_back(u"error : " + WString(m_text.substr(start, m_pos - start)) + u" : no variable number");
      return false;
    }
    number = static_cast<int>(n);
    return true;
  }
  std::size_t Position() const { return m_pos; }
  void SetPosition(std::size_t pos) { m_pos = pos; }

 private:
  // Digits with a decimal point, and an exponent only when a digit
  // follows its E (so 1EQ2 stays a comparison).
  Value Number() {
    const std::size_t start = m_pos;
    int points = 0;
    for (; IsDigit(Peek()) || Peek() == u'.'; ++m_pos) points += Peek() == u'.';
    // 1.2.3 or a lone "." is no number.
    if (points > 1 || m_pos - start == static_cast<std::size_t>(points)) {
      m_syntax = true;
      return {};
    }
    if (Peek() == u'E') {
      std::size_t e = 1;
      if (Peek(1) == u'+' || Peek(1) == u'-') ++e;
      if (IsDigit(Peek(e))) {
        m_pos += e;
        while (IsDigit(Peek())) ++m_pos;
      }
    }
    return {plat::ParseDouble(m_text.substr(start, m_pos - start)), false};
  }

  Value Function() {
    std::size_t position = m_pos, end = m_pos;
    double unused = 0.0;
    std::unique_ptr<CFunction> function =
        CExpressionFuncs().Evaluate(m_text, position, end, unused, m_program, m_messages);
    if (!function) return {};
    m_pos = position + 1;
    return {function->Evaluate(m_program, m_messages), false};
  }

  double Arithmetic(unsigned char op, double a, double b) {
    double result = 0.0;
    return Apply(op, a, b, result, m_messages) ? result : 0.0;
  }

  bool Joinable(const Value& a, const Value& b) {
    if (a.condition && b.condition) return true;
    m_messages.push_back(u"error : AND and OR join comparisons in brackets");
    return false;
  }

  WStringView m_text;
  CGCProgram& m_program;
  std::vector<WString>& m_messages;
  const std::size_t m_before;
  const bool m_conditions;
  std::size_t m_pos = 0;
  bool m_syntax = false;
};

// Reads `text` whole; a text that is no expression gets the message
// "error :<text> : Invalid macro instruction.".
bool ReadExpression(WStringView text, CGCProgram& program, std::vector<WString>& messages, bool conditions,
                    ExpressionReader::Value& value) {
  DepthGuard guard;
  if (guard.TooDeep()) {
    messages.push_back(u"error : expression nested too deeply");
    return false;
  }
  if (text.size() > kMaxMacroText) {
    messages.push_back(u"error : expression too long");
    return false;
  }
  WString buffer;
  const WStringView compact = CompactMacroText(text, buffer);
  ExpressionReader reader(compact, program, messages, conditions);
  if (reader.ReadAll(value)) {
    if (std::isfinite(value.number)) return true;
    messages.push_back(u"error : value out of range");
    return false;
  }
  if (reader.SyntaxError()) messages.push_back(u"error :" + WString(compact) + u" : Invalid macro instruction.");
  return false;
}

}  // namespace

double EvaluateExpression(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  ExpressionReader::Value value;
  return ReadExpression(text, program, messages, false, value) ? value.number : 0.0;
}

int EvaluateCondition(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  int balance = 0;
  for (char16_t c : text) balance += c == u'[' ? 1 : c == u']' ? -1 : 0;
  if (balance > 0) {
    messages.push_back(u"Syntax error : Missing \"]\" ");
    return 0;
  }
  if (balance < 0) {
    messages.push_back(u"Syntax error : Missing \"[\" ");
    return 0;
  }
  ExpressionReader::Value value;
  if (ReadExpression(text, program, messages, true, value)) {
    if (value.condition) return value.number != 0.0 ? 1 : 0;
    // A value without a comparison decides nothing.
    WString buffer;
    messages.push_back(u"error :" + WString(CompactMacroText(text, buffer)) + u" : Invalid macro instruction.");
  }
  return -1;
}

bool VariableNumberOf(WStringView target, CGCProgram& program, std::vector<WString>& messages, int& number) {
  if (target.size() < 2 || (target[0] != u'#' && target[0] != u'P')) return false;
  if (target[1] == u'[') {
    ExpressionReader reader(target, program, messages, false);
    reader.SetPosition(1);
    const std::size_t before = messages.size();
    if (!reader.ReadVariableIndex(0, number)) {
      if (messages.size() == before) messages.push_back(u"error :" + WString(target) + u" : Invalid macro instruction.");
      return false;
    }
    if (reader.Position() != target.size()) {
      messages.push_back(u"error :" + WString(target) + u" : Invalid macro instruction.");
      return false;
    }
    return true;
  }
  for (std::size_t i = 1; i < target.size(); ++i)
    if (!IsDigit(target[i])) return false;
  number = plat::ParseIntPrefix(target.substr(1));
  return true;
}

// -------------------------------------------------------- function calls

namespace {

void InvalidKeyword(WStringView keyword, std::vector<WString>& messages) {
  messages.push_back(u"Invalid function keyword:" + WString(keyword));
}

void MissingArguments(std::vector<WString>& messages) {
  messages.push_back(u"error: function call missing argument list");
}

// The first complete bracket of the text: its "[" and the "]" that closes
// it. False when there is none.
bool FirstBracket(WStringView text, std::size_t& open, std::size_t& close) {
  open = text.find(u'[');
  if (open == WStringView::npos) return false;
  int count = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    if (text[i] == u'[') ++count;
    else if (text[i] == u']' && --count == 0) {
      close = i;
      return true;
    }
  }
  return false;
}

}  // namespace

std::unique_ptr<CFunction> CExpressionFuncs::Evaluate(WStringView text, std::size_t& position, std::size_t& end,
                                                      double& value, CGCProgram& program,
                                                      std::vector<WString>& messages) {
  (void)value;
  (void)program;
  const WStringView rest = text.substr(position < text.size() ? position : text.size());
  std::size_t letters = 0;
  while (letters < rest.size() && UpperChar(rest[letters]) >= u'A' && UpperChar(rest[letters]) <= u'Z') ++letters;
  WString keyword(rest.substr(0, letters));
  for (char16_t& c : keyword) c = UpperChar(c);
  if (keyword.size() < 2) {
    InvalidKeyword(keyword, messages);
    return nullptr;
  }
  // The first entry that begins with the keyword, then that entry's code
  // name looked up whole (SI finds SIN; TAN and FUP stay themselves).
  const CCodeRuleTable* table = Lib().macroRules.get();
  const CCodeRuleEntry* entry = nullptr;
  if (table) {
    const CCodeRuleEntry& first = table->FindByPrefix(keyword);
    if (!first.IsEmpty()) entry = table->FindExact(first.m_codename);
  }
  // Keywords of other statements (THEN, AND, ...) name no function.
  std::unique_ptr<CFunction> function;
  if (entry && entry->RuleType() == 201) function = MakeFunction(entry->RuleNumber());
  if (!function) {
    InvalidKeyword(keyword, messages);
    return nullptr;
  }

  // The argument: the first complete bracket after the keyword; ATAN takes
  // a second one after "/" (ATAN[a]/[b]), and nothing more.
  std::size_t open = 0, close = 0;
  if (!FirstBracket(rest, open, close) || open != keyword.size()) {
    MissingArguments(messages);
    return nullptr;
  }
  function->AddArgument(rest.substr(open, close - open + 1));
  std::size_t lastEnd = close + 1;  // in `rest`, one past the last argument
  if (entry->RuleNumber() == 5) {
    std::size_t open2 = 0, close2 = 0;
    const WStringView after = rest.substr(lastEnd);
    if (after.size() < 2 || after[0] != u'/' || after[1] != u'[' || !FirstBracket(after, open2, close2)) {
      MissingArguments(messages);
      return nullptr;
    }
    function->AddArgument(after.substr(open2, close2 - open2 + 1));
    lastEnd += close2 + 1;
  }
  function->SetKeyword(keyword);
  end = position = position + lastEnd - 1;
  return function;
}

// ------------------------------------------------------------ functions

void CFunction::SetKeyword(WStringView keyword) {
  m_keywordLength = keyword.size() < kKeywordCapacity ? keyword.size() : kKeywordCapacity;
  for (std::size_t i = 0; i < m_keywordLength; ++i) m_keyword[i] = keyword[i];
}

void CFunction::AddArgument(WStringView argument) {
  if (argument.empty() || m_argumentCount >= m_arguments.size()) return;
  m_arguments[m_argumentCount++] = argument;
}

std::size_t CFunction::ConsumedLength() const {
  std::size_t length = m_keywordLength;
  for (std::size_t i = 0; i < m_argumentCount; ++i) length += m_arguments[i].size();
  return length;
}

double CFunction::Evaluate(CGCProgram& program, std::vector<WString>& messages) {
  (void)program;
  (void)messages;
  return 0.0;
}

double CFunction::ArgumentValue(std::size_t i, CGCProgram& program, std::vector<WString>& messages) const {
  return EvaluateExpression(Argument(i), program, messages);
}

double CFunction::Checked(double result, std::vector<WString>& messages) const {
  if (std::isfinite(result)) return result;
  WString text = u"error : " + WString(Keyword());
  for (std::size_t i = 0; i < m_argumentCount; ++i) {
    if (i > 0) text += u'/';
    text += m_arguments[i];
  }
  text += u" : argument out of range";
  messages.push_back(std::move(text));
  return 0.0;
}

double CFunctionSin::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::sin(ArgumentValue(0, p, m) * kPi / 180.0), m);
}
double CFunctionCos::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::cos(ArgumentValue(0, p, m) * kPi / 180.0), m);
}
double CFunctionTan::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::tan(ArgumentValue(0, p, m) * kPi / 180.0), m);
}
double CFunctionAsin::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::asin(ArgumentValue(0, p, m)) * kDegreesPerRadian, m);
}
double CFunctionAcos::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::acos(ArgumentValue(0, p, m)) * kDegreesPerRadian, m);
}
double CFunctionAtan::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  double a = ArgumentValue(0, p, m);
  double b = ArgumentValue(1, p, m);
  return Checked(std::atan2(a, b) * kDegreesPerRadian, m);
}
double CFunctionAbs::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::fabs(ArgumentValue(0, p, m)), m);
}
double CFunctionSqrt::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::sqrt(ArgumentValue(0, p, m)), m);
}
// FIX drops the fraction (toward zero); FUP raises it away from zero.
double CFunctionFix::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::trunc(ArgumentValue(0, p, m)), m);
}
double CFunctionFup::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  const double a = ArgumentValue(0, p, m);
  return Checked(a < 0 ? std::floor(a) : std::ceil(a), m);
}
double CFunctionRound::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(RoundTo001(ArgumentValue(0, p, m)), m);
}
double CFunctionExp::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::exp(ArgumentValue(0, p, m)), m);
}

std::unique_ptr<CFunction> MakeFunction(int id) {
  switch (id) {
    case 0: return std::make_unique<CFunctionSin>();
    case 1: return std::make_unique<CFunctionCos>();
    case 2: return std::make_unique<CFunctionTan>();
    case 3: return std::make_unique<CFunctionAsin>();
    case 4: return std::make_unique<CFunctionAcos>();
    case 5: return std::make_unique<CFunctionAtan>();
    case 6: return std::make_unique<CFunctionAbs>();
    case 7: return std::make_unique<CFunctionSqrt>();
    case 8:
    case 9: return std::make_unique<CFunction>();
    case 10: return std::make_unique<CFunctionFix>();
    case 11: return std::make_unique<CFunctionFup>();
    case 12: return std::make_unique<CFunctionRound>();
    case 13: return std::make_unique<CFunctionExp>();
    default: return nullptr;
  }
}

}  // namespace quillet
