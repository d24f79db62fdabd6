// Interim macro support: plain numbers and variable references in word
// values; statements and assignments are reported as not interpreted.
#include "mod_gcode/GCCode/Macro.h"

#include "mod_gcode/GCCode/Block.h"
#include "mod_gcode/GCCode/Program.h"
#include "platform/Numbers.h"

namespace quillet {

double EvaluateExpression(WStringView text, CGCProgram& program, std::vector<WString>& messages) {
  if (!text.empty() && text[0] == u'#') {
    int n = plat::ParseIntPrefix(text.substr(1));
    if (CVariableBase* v = program.GetVariable(n)) return v->GetValue();
    messages.push_back(u"Variable #" + plat::FormatIntW(n) + u" does not exist");
    return 0.0;
  }
  return plat::ParseDouble(text);
}

int AssignVariables(WStringView, CGCProgram&, std::vector<WString>& messages) {
  messages.push_back(u"Macro assignments are not interpreted yet");
  return -2;
}

int RunIfStatement(WStringView, CGCBlock& block) {
  block.AddMessage(u"IF statements are not interpreted yet");
  return -2;
}

int RunWhileStatement(WStringView, CGCBlock& block) {
  block.AddMessage(u"WHILE statements are not interpreted yet");
  return -2;
}

int RunEndStatement(WStringView, CGCBlock& block) {
  block.AddMessage(u"END statements are not interpreted yet");
  return -2;
}

}  // namespace quillet
