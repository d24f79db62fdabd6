// Macro expressions through assignment lines of real parses: operator order,
// variables, functions and the bounds of nesting and length; the errors
// that stop an expression are with the faulty statements.
#include <cmath>
#include <utility>

#include "MacroFixture.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet::test {
namespace {

class Expression : public MacroTest {
 protected:
  // The value that "#1=<expression>" stores; -777 when it stores nothing.
  double Assigned(const std::u16string& expression) {
    Parse(u"#1=-777\n#1=" + expression);
    return Var(1);
  }
};

// * and / before + and -; a minus after an operator belongs to its operand.
// SI is the first function that begins with SI; BIN has no conversion and
// gives 0; function names are read in either case. FIX drops the fraction,
// FUP raises it away from zero, ROUND rounds half away from zero.
TEST_F(Expression, OperatorOrderAndFunctions) {
  // clang-format off
  const std::pair<const char16_t*, double> cases[] = {
      {u"2+3*4", 14}, {u"10-4-3", 3}, {u"8/2/2", 2}, {u"2*3/4", 1.5}, {u".5*4+1E3", 1002}, {u"2*-3", -6},
      {u"SIN[30]", 0.5}, {u"ACOS[0.5]", 60}, {u"ATAN[1]/[-1]", 135}, {u"ATAN[-1]/[-1]", -135}, {u"FIX[-1.5]", -1},
      {u"FUP[-1.2]", -2}, {u"ROUND[-1.2346]", -1.235}, {u"ABS[SIN[-30]]", 0.5}, {u"SI[30]", 0.5}, {u"BIN[5]", 0},
      {u"sin[30]", 0.5}};
  // clang-format on
  for (auto [text, value] : cases) {
    EXPECT_NEAR(Assigned(text), value, 1e-12) << Utf8(text);
    EXPECT_EQ(Messages(), Texts{});
  }
  // Blanks between a function's keyword and its argument do not split the call.
  Texts m;
  EXPECT_NEAR(EvaluateExpression(u"ATAN [1]/[-1] + 1", *m_program, m), 136, 1e-12);
  EXPECT_EQ(m, Texts{});
}

TEST_F(Expression, LocalAndGlobalVariables) {
  Parse(u"#1=1.5\n#2=2\n#3=#1+#2\n#4=P1+1\n#7=99\n#5=7\n#6=#[#5]\n#100=3.5\n#33=#100*2-#1");
  EXPECT_EQ(Messages(), Texts{});
  EXPECT_DOUBLE_EQ(Var(3), 3.5);
  EXPECT_DOUBLE_EQ(Var(4), 2.5);  // "P" starts a variable operand that an operator closes
  EXPECT_DOUBLE_EQ(Var(6), 99);   // #[#5] is the variable whose number #5 holds
  EXPECT_DOUBLE_EQ(Var(33), 5.5);
  EXPECT_DOUBLE_EQ(Lib().tables.vars->GetValue(100, 0), 3.5);
  // A variable that holds no number is refused, not read.
  m_program->SetVariable(1, std::nan(""));
  Texts m;
  EXPECT_EQ(EvaluateExpression(u"#1", *m_program, m), 0.0);
  EXPECT_EQ(m, Texts{u"error : value out of range"});
}

TEST_F(Expression, NestingAndLengthAreBounded) {
  auto repeat = [](const std::u16string& s, int n) {
    std::u16string out;
    while (n-- > 0) out += s;
    return out;
  };
  EXPECT_DOUBLE_EQ(Assigned(repeat(u"[", 30) + u"5" + repeat(u"]", 30)), 5);
  EXPECT_DOUBLE_EQ(Assigned(repeat(u"ABS[", 15) + u"-2" + repeat(u"]", 15)), 2);
  EXPECT_DOUBLE_EQ(Assigned(u"1" + repeat(u"+1", 999)), 1000);
  EXPECT_EQ(Messages(), Texts{});
  for (const std::u16string& deep :
       {repeat(u"[", 1000) + u"1" + repeat(u"]", 1000), repeat(u"ABS[", 400) + u"1" + repeat(u"]", 400)}) {
    EXPECT_EQ(Assigned(deep), -777);
    EXPECT_EQ(Messages(), Texts{u"error : expression nested too deeply"});
  }
  EXPECT_EQ(Assigned(u"1" + repeat(u"+1", 3000)), -777);
  EXPECT_EQ(Messages(), Texts{u"error : expression too long"});
}

}  // namespace
}  // namespace quillet::test
