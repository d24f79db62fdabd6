// Macro statements: assignments, conditions, IF, WHILE and END.
#include <cmath>
#include <string>
#include <utility>

#include "mod_gcode/program/Block.h"
#include "mod_gcode/macro/Macro.h"
#include "mod_gcode/program/Program.h"
#include "platform/Numbers.h"

namespace quillet {

namespace {

// A loop number as written after DO or END: 1, 2 or 3, as on the control.
bool ReadLoopNumber(WStringView digits, int& number, std::vector<WString>& messages) {
  std::size_t i = 0;
  while (i + 1 < digits.size() && digits[i] == u'0') ++i;  // leading zeros
  long long value = 0;
  bool fits = digits.size() - i <= 9;
  if (fits)
    for (; i < digits.size(); ++i) value = value * 10 + (digits[i] - u'0');
  if (!fits || value < 1 || value > 3) {
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

namespace {

// The end of the bracket that opens at `open`, one past its "]"; npos when
// it does not close.
std::size_t BracketEnd(WStringView text, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    if (text[i] == u'[') ++depth;
    else if (text[i] == u']' && --depth == 0) return i + 1;
  }
  return WStringView::npos;
}

// One "#n=expression" item (compact): false when a message was queued.
bool AssignOne(WStringView item, CGCProgram& program, std::vector<WString>& messages) {
  auto invalid = [&] {
    messages.push_back(u"Syntax error : " + WString(item) + u" : invalid assignment");
    return false;
  };
  std::size_t equals = WStringView::npos;
  if (item.size() > 1 && item[1] == u'[') {
    const std::size_t end = BracketEnd(item, 1);
    if (end != WStringView::npos && end < item.size() && item[end] == u'=') equals = end;
  } else {
    equals = item.find(u'=');
  }
  if (equals == WStringView::npos || equals + 1 >= item.size()) return invalid();
  const std::size_t before = messages.size();
  int number = 0;
  if (!VariableNumberOf(item.substr(0, equals), program, messages, number))
    return messages.size() == before ? invalid() : false;
  if (number == 0) {
    // #0 stands for "empty" and stays so.
    messages.push_back(u"error : variable #0 is always empty and cannot be set");
    return false;
  }
  const double value = EvaluateExpression(item.substr(equals + 1), program, messages);
  // A value with an error is not stored (a control stops with an alarm).
  if (messages.size() != before) return false;
  if (number == kUserAlarmVariable) {
    // The user alarm: the program stops at this block (the parse loop
    // gives the message with the line's comment).
    program.RaiseUserAlarm(value);
    return false;
  }
  if (program.SetVariable(number, value)) return true;
  messages.push_back(u"error : variable #" + plat::FormatIntW(number) + u" does not exist");
  return false;
}

}  // namespace

int AssignVariables(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  WString buffer;
  const WStringView compact = CompactMacroText(text, buffer);
  std::size_t begin = 0;
  while (begin <= compact.size()) {
    // Items end at a comma outside brackets.
    std::size_t comma = begin;
    for (int depth = 0; comma < compact.size(); ++comma) {
      if (compact[comma] == u'[') ++depth;
      else if (compact[comma] == u']') --depth;
      else if (compact[comma] == u',' && depth <= 0) break;
    }
    const WStringView item = compact.substr(begin, comma - begin);
    begin = comma + 1;
    if (item.empty()) continue;
    if (!AssignOne(item, program, messages) || !messages.empty()) return -2;
  }
  return 100;
}

// ------------------------------------------------------------------- IF

namespace {

// The letters at the start of a text.
WStringView LeadingLetters(WStringView text) {
  std::size_t n = 0;
  while (n < text.size() && text[n] >= u'A' && text[n] <= u'Z') ++n;
  return text.substr(0, n);
}

// The bracket that opens at `open` in `text` (its "[" and "]" included);
// empty when there is no bracket there, the rest of the text when it does
// not close (`closed` false).
WStringView BracketAt(WStringView text, std::size_t open, bool& closed) {
  closed = false;
  if (open >= text.size() || text[open] != u'[') return WStringView();
  std::size_t end = BracketEnd(text, open);
  closed = end != WStringView::npos;
  if (!closed) end = text.size();
  return text.substr(open, end - open);
}

}  // namespace

int EvaluateIf(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  WString buffer;
  const WStringView compact = CompactMacroText(text, buffer);
  const std::size_t before = messages.size();
  const WStringView keyword = LeadingLetters(compact);
  bool closed = false;
  const WStringView condition = BracketAt(compact, keyword.size(), closed);
  if (keyword.empty() || condition.empty()) {
    messages.push_back(u"Syntax error for IF");
    return -2;
  }
  if (!closed) {
    EvaluateCondition(condition, program, messages);  // names the missing "]"
    return -2;
  }
  if (keyword != u"IF") {
    messages.push_back(u"Syntax error : " + WString(keyword) + u" : identifier not found");
    return -2;
  }
  const WStringView rest = compact.substr(keyword.size() + condition.size());
  const WStringView word = LeadingLetters(rest);
  if (word != u"GOTO" && word != u"GO" && word != u"THEN") {
    messages.push_back(u"Syntax error : " + WString(word.empty() ? rest : word) + u" : identifier not found");
    return -2;
  }
  const WStringView target = rest.substr(word.size());
  if (target.empty()) {
    messages.push_back(word == u"THEN" ? u"Syntax error for IF" : u"Syntax error : Sequence number not found");
    return -2;
  }
  const int c = EvaluateCondition(condition, program, messages);
  // A condition that could not be read cleanly decides nothing.
  if (c == -1 || messages.size() != before) return -2;
  if (c == 0) return 0;
  // THEN runs its whole statement, every assignment of a list.
  if (word == u"THEN") return AssignVariables(target, program, messages) == -2 ? -2 : 0;
  return SequenceTarget(target, program, messages);
}

int SequenceTarget(WStringView target, CGCProgram& program, std::vector<WString>& messages) {
  const std::size_t before = messages.size();
  const double value = EvaluateExpression(target, program, messages);
  if (messages.size() != before) return -2;
  if (!plat::FitsInt(value) || static_cast<int>(value) < 1 || value != std::floor(value)) {
    messages.push_back(u"Syntax error : Sequence number not found");
    return -2;
  }
  return static_cast<int>(value);
}

// ---------------------------------------------------------------- loops

int CLoop::Evaluate(WStringView text, int position, int& number, CGCProgram& program,
                    std::vector<WString>& messages) {
  (void)position;
  WString buffer;
  const WStringView compact = CompactMacroText(text, buffer);
  const WStringView keyword = LeadingLetters(compact);
  bool closed = false;
  const WStringView condition = BracketAt(compact, keyword.size(), closed);
  if (keyword.empty() || condition.empty()) {
    messages.push_back(u"Syntax error for WHILE");
    return -2;
  }
  if (!closed) {
    EvaluateCondition(condition, program, messages);  // names the missing "]"
    number = -2;
    return -2;
  }
  // DO and the loop number after the condition.
  const WStringView rest = compact.substr(keyword.size() + condition.size());
  const WStringView word = LeadingLetters(rest);
  const WStringView digits = rest.substr(word.size());
  if (digits.empty() || digits.find_first_not_of(u"0123456789") != WStringView::npos) {
    messages.push_back(u"Syntax error for WHILE");
    return -2;
  }
  if (word != u"DO") {
    messages.push_back(u"Syntax error : " + WString(word) + u" : identifier not found");
    return -2;
  }
  int doNumber = 0;
  if (!ReadLoopNumber(digits, doNumber, messages)) {
    number = -2;
    return -2;
  }
  const std::size_t before = messages.size();
  const int c = EvaluateCondition(condition, program, messages);
  if (c == 1 && messages.size() == before) {
    number = doNumber;
    return doNumber;
  }
  if (c == 0 && messages.size() == before) {
    number = doNumber;
    return -2;
  }
  // Invalid, or decided only through an error (a missing variable reads
  // as 0): running the body would repeat the error, maybe endlessly.
  number = -2;
  return -2;
}

int CEnd::Evaluate(WStringView text, int position, int& number, CGCProgram& program,
                   std::vector<WString>& messages) {
  (void)position;
  (void)program;
  WString buffer;
  const WStringView compact = CompactMacroText(text, buffer);
  const WStringView keyword = LeadingLetters(compact);
  const WStringView digits = compact.substr(keyword.size());
  if (keyword.empty() || digits.empty() || digits.find_first_not_of(u"0123456789") != WStringView::npos) {
    messages.push_back(u"Syntax error for END");
    return -2;
  }
  int endNumber = 0;
  if (!ReadLoopNumber(digits, endNumber, messages)) return -2;
  number = endNumber;
  return endNumber;
}

// ------------------------------------------------- the block's statements

int RunIfStatement(WStringView statement, CGCBlock& block) {
  std::vector<WString> messages;
  int result = TooLong(statement, messages) ? -2 : EvaluateIf(statement, *block.Program(), messages);
  Deliver(messages, block);
  return result;
}

int RunWhileStatement(WStringView statement, CGCBlock& block) {
  std::vector<WString> messages;
  int number = -2;
  int result = -2;
  if (!TooLong(statement, messages)) result = CLoop().Evaluate(statement, 0, number, *block.Program(), messages);
  if (result < 1) block.SetStatement(kStmtWhileFalse);
  Deliver(messages, block);
  return number;
}

int RunEndStatement(WStringView statement, CGCBlock& block) {
  std::vector<WString> messages;
  int number = -2;
  int result = TooLong(statement, messages) ? -2 : CEnd().Evaluate(statement, 0, number, *block.Program(), messages);
  Deliver(messages, block);
  return result;
}

}  // namespace quillet
