// Macro statements: assignments, conditions, IF, WHILE and END.
#include <utility>

#include "mod_gcode/GCCode/Block.h"
#include "mod_gcode/GCCode/Macro.h"
#include "mod_gcode/GCCode/MacroPattern.h"
#include "mod_gcode/GCCode/Program.h"
#include "platform/Numbers.h"

namespace quillet {

namespace mp = macro_pattern;

namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

WStringView TrimBlank(WStringView text) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

// A loop number as written after DO or END: 1 and up, within int.
bool ReadLoopNumber(WStringView digits, int& number, std::vector<WString>& messages) {
  std::size_t i = 0;
  while (i + 1 < digits.size() && digits[i] == u'0') ++i;  // leading zeros
  long long value = 0;
  bool fits = digits.size() - i <= 9;
  if (fits)
    for (; i < digits.size(); ++i) value = value * 10 + (digits[i] - u'0');
  if (!fits || value < 1) {
    messages.push_back(u"Syntax error : " + WString(digits) + u" : loop number out of range");
    return false;
  }
  number = static_cast<int>(value);
  return true;
}

// Copies the messages of one statement into its block.
void Deliver(std::vector<WString>& messages, CGCBlock& block) {
  if (messages.empty()) return;
  std::vector<WString>& target = block.GetMessages();
  for (WString& m : messages) target.push_back(std::move(m));
}

bool TooLong(WStringView statement, std::vector<WString>& messages) {
  if (statement.size() <= kMaxMacroText) return false;
  messages.push_back(u"error : macro statement too long");
  return true;
}

}  // namespace

// ---------------------------------------------------------- assignments

int AssignVariables(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t comma = text.find(u',', begin);
    if (comma == WStringView::npos) comma = text.size();
    const WStringView item = text.substr(begin, comma - begin);
    begin = comma + 1;
    if (TrimBlank(item).empty()) continue;
    mp::Match m;
    if (!mp::CollectLastMatchGroups(mp::SearchAssignment, item, m)) {
      // Nothing of the form #n=value (for example blanks around "="):
      // saying so beats silently skipping the assignment.
      messages.push_back(u"Syntax error : " + WString(TrimBlank(item)) + u" : invalid assignment");
      return -2;
    }
    const std::size_t before = messages.size();
    const double value = EvaluateExpression(m.Get(item, 2), program, messages);
    // A value with an error is not stored (a control stops with an alarm).
    if (messages.size() == before) {
      const WStringView name = m.Get(item, 1);
      if (!program.SetVariableByText(name, value))
        messages.push_back(u"error : variable " + WString(name) + u" does not exist");
    }
    if (!messages.empty()) return -2;
  }
  return 100;
}

// ------------------------------------------------------------ conditions

int EvaluateCondition(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  const int balance = mp::BracketBalance(text);
  if (balance > 0) {
    messages.push_back(u"Syntax error : Missing \"]\" ");
    return 0;
  }
  if (balance < 0) {
    messages.push_back(u"Syntax error : Missing \"[\" ");
    return 0;
  }
  bool found = false, invalid = false;
  int result = 0;
  mp::Match m;
  std::size_t pos = 0;
  while (mp::SearchCondition(text, pos, m)) {
    found = true;
    pos = m.End();
    const WStringView left = m.Get(text, 1).substr(1);
    const WStringView right = m.Get(text, 3);
    const double l = EvaluateExpression(left, program, messages);
    const double r = EvaluateExpression(right.substr(0, right.size() - 1), program, messages);
    const WStringView word = m.Get(text, 2);
    if (word == u"GE") result = l >= r;
    else if (word == u"GT") result = l > r;
    else if (word == u"LE") result = l <= r;
    else if (word == u"LT") result = l < r;
    else if (word == u"NE") result = l != r;
    else if (word == u"EQ") result = l == r;
    else invalid = true;
  }
  if (found && !invalid) return result;
  messages.push_back(u"error :" + WString(text) + u" : Invalid macro instruction.");
  return -1;
}

// ------------------------------------------------------------------- IF

int EvaluateIf(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  const std::size_t before = messages.size();
  bool taken = false;
  bool found = false;
  mp::Match m, last;
  std::size_t pos = 0;
  while (mp::SearchIf(text, pos, m)) {
    found = true;
    last = m;
    pos = m.End();
    const WStringView word = m.Get(text, 5);
    if (word != u"GOTO" && word != u"GO" && word != u"THEN") {
      messages.push_back(u"Syntax error : " + WString(word) + u" : identifier not found");
      return -2;
    }
    const WStringView keyword = m.Get(text, 1);
    if (keyword == u"IF") {
      int c = EvaluateCondition(m.Get(text, 3), program, messages);
      if (c == -1) return -2;
      taken = c == 1;
    } else {
      messages.push_back(u"Syntax error : " + WString(keyword) + u" : identifier not found");
    }
  }
  if (!found) {
    messages.push_back(u"Syntax error for IF");
    return -2;
  }
  // A condition that could not be read cleanly decides nothing.
  if (messages.size() != before) return -2;
  if (!taken) return 0;
  const WStringView target = last.Get(text, 7);
  if (last.Get(text, 5) == u"THEN") {
    // The target holds no ",": only the first assignment of a list runs.
    return AssignVariables(target, program, messages) == -2 ? -2 : 0;
  }
  const double value = EvaluateExpression(target, program, messages);
  if (messages.size() != before) return -2;
  if (!plat::FitsInt(value) || static_cast<int>(value) < 1) {
    messages.push_back(u"Syntax error : Sequence number not found");
    return -2;
  }
  return static_cast<int>(value);
}

// ---------------------------------------------------------------- loops

int CLoop::Evaluate(WStringView text, int position, int& number, CGCProgram& program,
                    std::vector<WString>& messages) {
  (void)position;
  mp::Match m;
  if (!mp::CollectLastMatchGroups(mp::SearchWhile, text, m)) {
    messages.push_back(u"Syntax error for WHILE");
    return -2;
  }
  const WStringView word = m.Get(text, 3);
  if (word.find(u"DO") == WStringView::npos) {
    messages.push_back(u"Syntax error : " + WString(word) + u" : identifier not found");
    return -2;
  }
  int doNumber = 0;
  if (!ReadLoopNumber(m.Get(text, 4), doNumber, messages)) {
    number = -2;
    return -2;
  }
  const std::size_t before = messages.size();
  const int c = EvaluateCondition(m.Get(text, 2), program, messages);
  if (c == 1 && messages.size() == before) {
    number = doNumber;
    return doNumber;
  }
  if (c == 0) {
    number = doNumber;
    return -2;
  }
  // Invalid, or true only because of an error (a missing variable reads
  // as 0): running the body would repeat the error, maybe endlessly.
  number = -2;
  return -2;
}

int CEnd::Evaluate(WStringView text, int position, int& number, CGCProgram& program,
                   std::vector<WString>& messages) {
  (void)position;
  (void)program;
  mp::Match m;
  if (!mp::CollectLastMatchGroups(mp::SearchEnd, text, m)) {
    messages.push_back(u"Syntax error for END");
    return -2;
  }
  int endNumber = 0;
  if (!ReadLoopNumber(m.Get(text, 2), endNumber, messages)) return -2;
  number = endNumber;
  return endNumber;
}

// ------------------------------------------------- the block's statements

WStringView StatementText(WStringView line) {
  std::size_t cut = line.find_first_of(u"(;");
  return cut == WStringView::npos ? line : line.substr(0, cut);
}

int RunIfStatement(WStringView line, CGCBlock& block) {
  const WStringView statement = StatementText(line);
  std::vector<WString> messages;
  int result = TooLong(statement, messages) ? -2 : EvaluateIf(statement, *block.Program(), messages);
  Deliver(messages, block);
  return result;
}

int RunWhileStatement(WStringView line, CGCBlock& block) {
  const WStringView statement = StatementText(line);
  std::vector<WString> messages;
  int number = -2;
  int result = -2;
  if (!TooLong(statement, messages)) result = CLoop().Evaluate(statement, 0, number, *block.Program(), messages);
  if (result < 1) block.SetStatement(kStmtWhileFalse);
  Deliver(messages, block);
  return number;
}

int RunEndStatement(WStringView line, CGCBlock& block) {
  const WStringView statement = StatementText(line);
  std::vector<WString> messages;
  int number = -2;
  int result = TooLong(statement, messages) ? -2 : CEnd().Evaluate(statement, 0, number, *block.Program(), messages);
  Deliver(messages, block);
  return result;
}

}  // namespace quillet
