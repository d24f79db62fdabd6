// The user-macro language as the block scanner reaches it: expressions,
// assignments and the IF, WHILE and END statements.
//
// Errors never throw: each appends a text to the message list of the block
// being parsed, and the expression or statement then yields its neutral
// result (0.0 for an expression, -2 for a statement).
#pragma once
#include <array>
#include <memory>
#include <vector>

#include "mod_gcode/text/TextUtil.h"

namespace quillet {

class CGCProgram;
class CGCBlock;
class CVariableBase;

// The macro variable of a number as the program sees it (the locals of its
// frame, then the common and system variables); null when there is none.
// Defined with the program, so that the expressions need no more of it.
CVariableBase* ProgramVariable(CGCProgram& program, int number);

// Operator codes of the expression evaluator; code 2 is never produced.
enum MacroOperator : unsigned char { kOpAdd = 0, kOpSub = 1, kOpMul = 3, kOpDiv = 4 };

// Longest expression or statement text that the evaluator takes; longer
// texts get a message (a program line holds at most 1023 characters).
constexpr std::size_t kMaxMacroText = 4096;
// Deepest nesting of brackets and function calls in one expression.
constexpr int kMaxExpressionDepth = 64;

// The value of an expression text (without its outer brackets); errors are
// appended to `messages` and the value is then 0. Blanks are not
// significant and letters are read in either case. Precedence: functions
// and brackets, a sign, * and /, + and -; left to right within a level.
double EvaluateExpression(WStringView text, CGCProgram& program, std::vector<WString>& messages);
// The variable whose write raises the user alarm 3000 + the value.
constexpr int kUserAlarmVariable = 3000;
// Runs the comma-separated #n=expression items of `text`: 100 when all ran,
// -2 when a message was queued or the user alarm was raised.
int AssignVariables(WStringView text, CGCProgram& program, std::vector<WString>& messages);
// The number of the variable that an assignment's compact target names:
// #n, Pn or #[expression]. False when the text is no target; a message is
// queued when its expression fails.
bool VariableNumberOf(WStringView target, CGCProgram& program, std::vector<WString>& messages, int& number);
// Rounded to 0.001, half away from zero.
double RoundTo001(double value);

// The call of one macro function: the keyword (upper case) and the argument
// texts as written, brackets included. The texts are views into the
// expression being evaluated, which outlives the call object.
class CFunction {
 public:
  virtual ~CFunction() = default;
  // The base class (the keywords BIN and BCD) yields 0.
  virtual double Evaluate(CGCProgram& program, std::vector<WString>& messages);

  void SetKeyword(WStringView keyword);
  // An empty text is ignored; at most two arguments are kept.
  void AddArgument(WStringView argument);
  // The keyword's length plus the lengths of the arguments.
  std::size_t ConsumedLength() const;
  WStringView Keyword() const { return WStringView(m_keyword, m_keywordLength); }
  std::size_t ArgumentCount() const { return m_argumentCount; }
  WStringView Argument(std::size_t i) const { return i < m_argumentCount ? m_arguments[i] : WStringView(); }

 protected:
  // Argument i evaluated as an expression.
  double ArgumentValue(std::size_t i, CGCProgram& program, std::vector<WString>& messages) const;
  // `result` when it is a finite number; otherwise a message and 0.
  double Checked(double result, std::vector<WString>& messages) const;

 private:
  static constexpr std::size_t kKeywordCapacity = 15;
  char16_t m_keyword[kKeywordCapacity] = {};
  std::size_t m_keywordLength = 0;
  std::array<WStringView, 2> m_arguments{};
  std::size_t m_argumentCount = 0;
};

// The functions, by the id (global number) of their macro rule entry.
class CFunctionSin : public CFunction {  // 0: sine of degrees
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionCos : public CFunction {  // 1
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionTan : public CFunction {  // 2
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionAsin : public CFunction {  // 3: result in degrees
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionAcos : public CFunction {  // 4
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionAtan : public CFunction {  // 5: ATAN[a]/[b], atan2 in degrees
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionAbs : public CFunction {  // 6
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionSqrt : public CFunction {  // 7
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionFix : public CFunction {  // 10: the fraction dropped (toward zero)
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionFup : public CFunction {  // 11: the fraction raised (away from zero)
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionRound : public CFunction {  // 12: RoundTo001
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};
class CFunctionExp : public CFunction {  // 13
 public:
  double Evaluate(CGCProgram& program, std::vector<WString>& messages) override;
};

// The function object of an id 0 to 13 (8 and 9 give the base class); null
// for any other id.
std::unique_ptr<CFunction> MakeFunction(int id);

// The parse of a function call.
class CExpressionFuncs {
 public:
  // Parses the call whose keyword starts at `position` and moves `position`
  // to the last character of the call (the "]" of its last argument);
  // `end` receives the same. `value` is left alone. The argument is the
  // bracket right after the keyword; ATAN takes exactly two, ATAN[a]/[b].
  // Null (with a message) when the keyword names no function or the
  // arguments are missing.
  std::unique_ptr<CFunction> Evaluate(WStringView text, std::size_t& position, std::size_t& end, double& value,
                                      CGCProgram& program, std::vector<WString>& messages);
};

// A bracketed condition "[a OP b]" with OP one of GE GT LE LT NE EQ, or
// bracketed conditions joined by AND and OR: 1 true, 0 false (also when the
// brackets do not balance), -1 invalid.
int EvaluateCondition(WStringView text, CGCProgram& program, std::vector<WString>& messages);
// IF [condition] GOTO n / GO n / THEN statement: the sequence number to
// jump to when the condition holds and the statement jumps; 0 when the
// condition is false or the THEN statement (an assignment list) ran; -2
// when a message was queued.
int EvaluateIf(WStringView text, CGCProgram& program, std::vector<WString>& messages);

// WHILE [condition] DO n.
class CLoop {
 public:
  virtual ~CLoop() = default;
  // The DO number when the condition holds, -2 otherwise. `number` receives
  // the DO number when the condition could be evaluated (true or false), -2
  // when it was invalid or the number is no loop number; it is left alone on
  // a syntax error. `position` is not read.
  virtual int Evaluate(WStringView text, int position, int& number, CGCProgram& program,
                       std::vector<WString>& messages);
};

// END n.
class CEnd : public CLoop {
 public:
  // The number after END, also stored in `number`; -2 (with a message) when
  // the line holds no loop number.
  int Evaluate(WStringView text, int position, int& number, CGCProgram& program,
               std::vector<WString>& messages) override;
};

// The statements as the block scanner runs them on the compact text of a
// block from the statement's keyword on; messages go to the block.
// The IF statement: the jump target (> 0), 0 when the condition is false
// or the statement is an IF ... THEN, -2 on an error.
int RunIfStatement(WStringView statement, CGCBlock& block);
// WHILE [condition] DOn: the loop number; the block's statement kind
// becomes "WHILE with a false condition" when the condition is false (or
// invalid, in which case the result is -2).
int RunWhileStatement(WStringView statement, CGCBlock& block);
// ENDn: the loop number, or -2 on an error.
int RunEndStatement(WStringView statement, CGCBlock& block);

// Words whose value comes from a variable or an expression.
// One past the value of a word whose letter stands before `from` in a
// compact line: digits, signs, operators, "#" and whole brackets.
// `expression` tells whether it holds a variable or a bracket.
std::size_t WordValueEnd(WStringView line, std::size_t from, bool& expression);
// The value as a number text that reads back exactly, with a decimal point.
WString ExactNumberText(double value);
// Appends to `code` (the letter) the number text of a code word's value:
// exact for F; G whole, S T D H M rounded to the nearest whole number (G
// and M with two digits at least). False when the value names no code.
bool CodeWordValueText(char16_t letter, double value, WString& code);

// The sequence number a GOTO target expression gives: a whole number from
// 1 on; -2 with a message otherwise.
int SequenceTarget(WStringView target, CGCProgram& program, std::vector<WString>& messages);

}  // namespace quillet
