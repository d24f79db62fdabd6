// The macro language through real parses with the shared program fixture.
#pragma once

#include <string>
#include <vector>

#include "ProgramFixture.h"
#include "mod_gcode/program/Block.h"
#include "mod_gcode/macro/Macro.h"
#include "platform/Text.h"

namespace quillet::test {

using Texts = std::vector<std::u16string>;
using Lines = std::vector<int>;

inline std::string Utf8(std::u16string_view s) { return plat::WideToUtf8(s); }

class MacroTest : public ProgramTest {
 protected:
  double Var(int n) {
    CVariableBase* v = m_program->GetVariable(n);
    EXPECT_NE(v, nullptr) << "variable #" << n;
    return v ? v->GetValue() : -12345.0;
  }
  // Line indexes of the executed blocks, without the preamble block.
  Lines Executed() const {
    Lines lines;
    for (std::size_t i = 1; i < m_program->Blocks().size(); ++i)
      lines.push_back(m_program->Blocks()[i]->GetLineNumber());
    return lines;
  }
};

}  // namespace quillet::test
