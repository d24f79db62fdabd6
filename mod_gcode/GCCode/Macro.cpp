// Macro expressions: the left-to-right scan that collects operands and
// operators, the reduction by operator code, bracketed sub-expressions and
// the function calls.
#include "mod_gcode/GCCode/Macro.h"

#include <cmath>

#include "mod_gcode/GCCode/MacroPattern.h"
#include "mod_gcode/GCCode/Program.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet {

namespace {

constexpr double kDegreesPerRadian = 57.29577951308232;

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

WStringView TrimSpaces(WStringView text) {
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] == u' ') ++b;
  while (e > b && text[e - 1] == u' ') --e;
  return text.substr(b, e - b);
}

// A stack of a few values kept inline; spills to the heap only for long
// expressions.
template <typename T, std::size_t N>
class SmallStack {
 public:
  SmallStack() = default;
  SmallStack(const SmallStack&) = delete;
  SmallStack& operator=(const SmallStack&) = delete;

  void Push(T value) {
    if (m_size == m_capacity) Grow();
    m_data[m_size++] = value;
  }
  std::size_t Size() const { return m_size; }
  T& operator[](std::size_t i) { return m_data[i]; }
  void Resize(std::size_t size) { m_size = size; }  // only to shrink

 private:
  void Grow() {
    const bool wasInline = m_data == m_inline;
    m_heap.resize(m_capacity * 2);
    if (wasInline)
      for (std::size_t i = 0; i < m_size; ++i) m_heap[i] = m_inline[i];
    m_data = m_heap.data();
    m_capacity = m_heap.size();
  }

  T m_inline[N] = {};
  std::vector<T> m_heap;
  T* m_data = m_inline;
  std::size_t m_size = 0;
  std::size_t m_capacity = N;
};

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

// The value of a variable operand ("#12", "P12": the number behind the
// first character); a message and 0 when no table holds it.
double VariableValue(WStringView operand, CGCProgram& program, std::vector<WString>& messages) {
  int number = plat::ParseIntPrefix(operand.substr(1));
  if (CVariableBase* v = program.GetVariable(number)) return v->GetValue();
  messages.push_back(u"error : variable " + WString(operand) + u" does not exist");
  return 0.0;
}

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

enum class Operand { kNone, kNumber, kVariable, kFunction, kBracket };

}  // namespace

bool IsVariableReference(WStringView text) {
  if (text.size() < 2 || text[0] != u'#') return false;
  for (std::size_t i = 1; i < text.size(); ++i)
    if (!IsDigit(text[i])) return false;
  return true;
}

double RoundTo001(double value) { return std::trunc(value * 1000.0 + 0.5) * 0.001; }

double EvaluateExpression(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  DepthGuard guard;
  if (guard.TooDeep()) {
    messages.push_back(u"error : expression nested too deeply");
    return 0.0;
  }
  if (text.size() > kMaxMacroText) {
    messages.push_back(u"error : expression too long");
    return 0.0;
  }

  SmallStack<double, 16> values;
  SmallStack<unsigned char, 16> operators;
  Operand kind = Operand::kNone;
  std::size_t start = 0;  // where the operand being read starts
  std::unique_ptr<CFunction> function;
  double bracket = 0.0;

  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t here = i;
    if (text[i] == u'[' && kind != Operand::kFunction) {
      std::size_t end = i;
      CExpression().Evaluate(text, i, end, bracket, program, messages);
      kind = Operand::kBracket;
    }
    const char16_t c = text[here];
    if (c == u'#' || c == u'P') {
      if (kind == Operand::kNone) {
        kind = Operand::kVariable;
        start = here;
      }
    } else if (c == u'.' || IsDigit(c)) {
      if (kind == Operand::kNone) {
        kind = Operand::kNumber;
        start = here;
      }
    } else if (c >= u'A' && c <= u'Z') {
      if (kind == Operand::kNone) {
        kind = Operand::kFunction;
        start = here;
        std::size_t position = here, end = here;
        double unused = 0.0;
        function = CExpressionFuncs().Evaluate(text, position, end, unused, program, messages);
        if (!function) return 0.0;
        i = position;
      }
    } else if (c == u'+' || c == u'-' || c == u'*' || c == u'/') {
      double value = 0.0;
      switch (kind) {
        case Operand::kVariable:
          value = VariableValue(TrimSpaces(text.substr(start, here - start)), program, messages);
          break;
        case Operand::kFunction:
          value = function ? function->Evaluate(program, messages) : 0.0;
          function.reset();
          break;
        case Operand::kBracket: value = bracket; break;
        case Operand::kNumber: value = plat::ParseDouble(TrimSpaces(text.substr(start, here - start))); break;
        case Operand::kNone: break;
      }
      values.Push(value);
      operators.Push(c == u'+' ? kOpAdd : c == u'-' ? kOpSub : c == u'*' ? kOpMul : kOpDiv);
      kind = Operand::kNone;
      start = here;
    }
  }

  // The last operand.
  WStringView last = start < n ? text.substr(start) : WStringView();
  double value;
  if (IsVariableReference(last)) value = VariableValue(last, program, messages);
  else if (function) value = function->Evaluate(program, messages);
  else if (kind == Operand::kBracket) value = bracket;
  else value = plat::ParseDouble(last);
  function.reset();
  values.Push(value);

  // Reduction: all divisions first, then multiplications, subtractions and
  // additions, each from left to right.
  static constexpr unsigned char kOrder[] = {kOpDiv, kOpMul, 2, kOpSub, kOpAdd};
  for (unsigned char code : kOrder) {
    std::size_t kept = 0;
    const std::size_t count = operators.Size();
    for (std::size_t j = 0; j < count; ++j) {
      if (operators[j] == code) {
        double result = 0.0;
        if (!Apply(code, values[kept], values[j + 1], result, messages)) return 0.0;
        values[kept] = result;
      } else {
        operators[kept] = operators[j];
        values[kept + 1] = values[j + 1];
        ++kept;
      }
    }
    operators.Resize(kept);
    values.Resize(kept + 1);
  }
  if (!std::isfinite(values[0])) {
    messages.push_back(u"error : value out of range");
    return 0.0;
  }
  return values[0];
}

// ------------------------------------------------------------ brackets

std::unique_ptr<CFunction> CExpression::Evaluate(WStringView text, std::size_t& position, std::size_t& end,
                                                 double& value, CGCProgram& program,
                                                 std::vector<WString>& messages) {
  int count = 0;
  std::size_t open = WStringView::npos;
  for (std::size_t i = position; i < text.size(); ++i) {
    if (text[i] == u'[') {
      if (open == WStringView::npos) open = i;
      ++count;
    } else if (text[i] == u']') {
      --count;
      if (count == 0 && open != WStringView::npos) {
        value = EvaluateExpression(TrimSpaces(text.substr(open + 1, i - open - 1)), program, messages);
        end = position = i;
        return nullptr;
      }
    }
  }
  if (count > 0) messages.push_back(u"Missing \"]\"");
  else if (count < 0) messages.push_back(u"Missing \"[\"");
  return nullptr;
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
  WString keyword(macro_pattern::FirstLetterRun(rest));
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

  std::size_t lastEnd = 0;  // in `rest`, one past the last argument
  if (entry->RuleNumber() == 5) {
    macro_pattern::Match m;
    if (!macro_pattern::CollectLastMatchGroups(macro_pattern::SearchAtan, rest, m)) {
      MissingArguments(messages);
      return nullptr;
    }
    function->AddArgument(m.Get(rest, 1));
    function->AddArgument(m.Get(rest, 2));
    lastEnd = m.End();
  } else {
    std::size_t open = 0, close = 0;
    if (!FirstBracket(rest, open, close)) {
      MissingArguments(messages);
      return nullptr;
    }
    function->AddArgument(rest.substr(open, close - open + 1));
    lastEnd = close + 1;
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
double CFunctionFix::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::floor(ArgumentValue(0, p, m)), m);
}
double CFunctionFup::Evaluate(CGCProgram& p, std::vector<WString>& m) {
  return Checked(std::ceil(ArgumentValue(0, p, m)), m);
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
