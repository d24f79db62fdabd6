// The user-macro language as the block scanner reaches it: expressions,
// assignments and the IF, WHILE and END statements.
#pragma once
#include <vector>

#include "mod_gcode/GCCode/TextUtil.h"

namespace quillet {

class CGCProgram;
class CGCBlock;

// The value of an expression text (without its outer brackets); errors are
// appended to `messages` and the value is then 0.
double EvaluateExpression(WStringView text, CGCProgram& program, std::vector<WString>& messages);
// Runs the comma-separated #n=expression items of `text`: 100 when all ran,
// -2 when a message was queued.
int AssignVariables(WStringView text, CGCProgram& program, std::vector<WString>& messages);
// The IF statement of a line: the jump target (> 0), 0 when the condition
// is false or the statement is a plain IF ... THEN, -2 on an error.
int RunIfStatement(WStringView line, CGCBlock& block);
// WHILE [condition] DOn: the loop number; the block's statement kind
// becomes "WHILE with a false condition" when the condition is false.
int RunWhileStatement(WStringView line, CGCBlock& block);
// ENDn: the loop number, or -2 on an error.
int RunEndStatement(WStringView line, CGCBlock& block);

}  // namespace quillet
