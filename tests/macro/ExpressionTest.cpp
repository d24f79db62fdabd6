// Macro expressions: operator order, variables, functions and the errors,
// mostly through assignment lines of a real parse.
#include <cmath>
#include <string>

#include "MacroTestUtil.h"

namespace quillet::test {
namespace {

using Strings = std::vector<std::string>;

class ExpressionTest : public MacroTest {
 protected:
  // The value that "#1=<expression>" stores, with the messages of the line.
  double Assigned(const std::u16string& expression, Strings* messages = nullptr) {
    Parse(u"#1=-777\n#1=" + expression);
    if (messages) *messages = MessagesOfLine(1);
    else EXPECT_TRUE(MessagesOfLine(1).empty()) << Utf8(expression) << ": " << MessagesOfLine(1)[0];
    return Var(1);
  }

  // A direct evaluation, for texts that no assignment line can produce.
  double Direct(std::u16string_view text, Strings* messages = nullptr) {
    std::vector<WString> list;
    double value = EvaluateExpression(text, Fresh(), list);
    if (messages) {
      messages->clear();
      for (const auto& m : list) messages->push_back(Utf8(m));
    }
    return value;
  }
};

TEST_F(ExpressionTest, OperatorsReduceDivisionsFirstThenMultiplicationsSubtractionsAdditions) {
  struct Case { const char16_t* text; double value; };
  const Case cases[] = {
      {u"2+3*4", 14},        {u"10-4-3", 3},  {u"8/2/2", 2},     {u"2*3/4", 1.5},
      {u"1-2+3", 2},         {u"-5", -5},     {u"1+2*3-4/2", 5},  {u"7", 7},
      {u"2.5", 2.5},         {u".5*4", 2},    {u"1E3+1", 1001},
      // An operator without an operand before it takes 0: 2*0 is reduced
      // before 0-3.
      {u"2*-3", -3},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Assigned(c.text), c.value) << Utf8(c.text);
}

TEST_F(ExpressionTest, VariablesLocalAndGlobal) {
  Parse(u"#1=1.5\n#2=2\n#3=#1+#2\n#4=P1+1\n#7=99\n#5=7\n#6=#[#5]\n#100=3.5\n#101=#100*2\n#33=#101-#1");
  EXPECT_TRUE(Messages().empty());
  EXPECT_DOUBLE_EQ(Var(3), 3.5);
  // "P" starts a variable operand that an operator closes.
  EXPECT_DOUBLE_EQ(Var(4), 2.5);
  // #[#5] is the bracket's value, not the variable it numbers.
  EXPECT_DOUBLE_EQ(Var(6), 7);
  EXPECT_DOUBLE_EQ(Var(101), 7);
  EXPECT_DOUBLE_EQ(Var(33), 5.5);
  EXPECT_DOUBLE_EQ(Lib().tables.vars->GetValue(101, 0), 7);
}

TEST_F(ExpressionTest, FinalOperandMustBeAPlainVariableReference) {
  Fresh();
  m_program->SetVariable(1, 1.5);
  std::vector<WString> messages;
  EXPECT_DOUBLE_EQ(EvaluateExpression(u"#1", *m_program, messages), 1.5);
  EXPECT_DOUBLE_EQ(EvaluateExpression(u"#1 +0", *m_program, messages), 1.5);
  EXPECT_DOUBLE_EQ(EvaluateExpression(u"#1 ", *m_program, messages), 0.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression(u"P1", *m_program, messages), 0.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression(u"2+P1", *m_program, messages), 2.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression(u"", *m_program, messages), 0.0);
  EXPECT_TRUE(messages.empty());
}

TEST_F(ExpressionTest, Functions) {
  struct Case { const char16_t* text; double value; };
  const Case cases[] = {
      {u"SIN[30]", 0.5},           {u"COS[60]", 0.5},          {u"TAN[45]", 1},
      {u"ASIN[0.5]", 30},          {u"ACOS[0.5]", 60},         {u"ATAN[1]/[1]", 45},
      {u"ATAN[1]/[-1]", 135},      {u"ATAN[-1]/[-1]", -135},   {u"ATAN[1]/[1]*2", 90},
      {u"ABS[-2.5]", 2.5},         {u"SQRT[16]", 4},           {u"FIX[-1.5]", -2},
      {u"FIX[1.7]", 1},            {u"FUP[1.2]", 2},           {u"FUP[-1.2]", -1},
      {u"ROUND[1.23456]", 1.235},  {u"ROUND[-1.2346]", -1.234}, {u"EXP[1]", 2.718281828459045},
      {u"EXP[0]", 1},              {u"SIN[30]*2+1", 2},        {u"2*SIN[30]", 1},
      {u"SIN[[10+20]]", 0.5},      {u"ABS[SIN[-30]]", 0.5},    {u"SQRT[9]+SQRT[16]", 7},
      // The first entry that begins with SI is SIN.
      {u"SI[30]", 0.5},
      // BIN and BCD have no conversion and yield 0.
      {u"BIN[5]", 0},              {u"BCD[5]", 0},
      // Lower-case letters are skipped: the bracket alone remains.
      {u"sin[30]", 30},
  };
  for (const Case& c : cases) EXPECT_NEAR(Assigned(c.text), c.value, 1e-12) << Utf8(c.text);
}

TEST_F(ExpressionTest, FunctionArgumentsAreVariablesAndExpressions) {
  Parse(u"#1=0\n#2=-1\n#3=ATAN[#1]/[#2]\n#4=3\n#5=SQRT[#4*#4+16]\n#6=ROUND[#4/7]");
  EXPECT_TRUE(Messages().empty());
  EXPECT_NEAR(Var(3), 180, 1e-12);
  EXPECT_NEAR(Var(5), 5, 1e-12);
  EXPECT_NEAR(Var(6), 0.429, 1e-12);
}

TEST_F(ExpressionTest, BlanksBetweenKeywordAndArgumentDoNotSplitTheCall) {
  // The call ends at the "]" of its argument however far the argument
  // stands from the keyword.
  Strings m;
  EXPECT_NEAR(Direct(u"SIN    [10+20]", &m), 0.5, 1e-12);
  EXPECT_TRUE(m.empty());
  EXPECT_NEAR(Direct(u"ATAN [1]/[-1] + 1", &m), 136, 1e-12);
  EXPECT_TRUE(m.empty());
}

TEST_F(ExpressionTest, UnknownFunctionsAndMissingArguments) {
  Strings m;
  EXPECT_EQ(Assigned(u"X[30]", &m), -777);  // nothing is stored
  EXPECT_EQ(m, Strings{"Invalid function keyword:X"});
  EXPECT_EQ(Assigned(u"2+AN[1]", &m), -777);  // AND is no function
  EXPECT_EQ(m, Strings{"Invalid function keyword:AN"});
  EXPECT_EQ(Assigned(u"SINE[1]", &m), -777);
  EXPECT_EQ(m, Strings{"Invalid function keyword:SINE"});
  EXPECT_EQ(Assigned(u"ATAN[1]", &m), -777);
  EXPECT_EQ(m, Strings{"error: function call missing argument list"});
  EXPECT_EQ(Assigned(u"SQRT[4", &m), -777);
  EXPECT_EQ(m, Strings{"error: function call missing argument list"});
  EXPECT_DOUBLE_EQ(Direct(u"SIN 30", &m), 0);
  EXPECT_EQ(m, Strings{"error: function call missing argument list"});
}

TEST_F(ExpressionTest, DivisionByZeroAndDomainErrorsStopWithAMessage) {
  struct Case { const char16_t* text; const char* message; };
  const Case cases[] = {
      {u"1/0", "error : division by zero"},
      {u"4/[2-2]+1", "error : division by zero"},
      {u"SQRT[-4]", "error : SQRT[-4] : argument out of range"},
      {u"ASIN[2]", "error : ASIN[2] : argument out of range"},
      {u"ACOS[-1.5]", "error : ACOS[-1.5] : argument out of range"},
      {u"EXP[1000]", "error : EXP[1000] : argument out of range"},
      {u"1E300*1E300", "error : value out of range"},
      {u"1E999", "error : value out of range"},
      {u"#7000+1", "error : variable #7000 does not exist"},
      {u"#99999999999", "error : variable #99999999999 does not exist"},
  };
  for (const Case& c : cases) {
    Strings m;
    EXPECT_EQ(Assigned(c.text, &m), -777) << Utf8(c.text);
    EXPECT_EQ(m, Strings{c.message}) << Utf8(c.text);
  }
}

TEST_F(ExpressionTest, NonFiniteVariableValueIsRefused) {
  Fresh();
  m_program->SetVariable(1, std::nan(""));
  std::vector<WString> messages;
  EXPECT_DOUBLE_EQ(EvaluateExpression(u"#1", *m_program, messages), 0.0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(Utf8(messages[0]), "error : value out of range");
}

TEST_F(ExpressionTest, UnbalancedBracketInsideAnExpression) {
  Strings m;
  // The bracket never closes: its value stays 0, and the scan goes on.
  EXPECT_DOUBLE_EQ(Direct(u"[1+2", &m), 2);
  EXPECT_EQ(m, Strings{"Missing \"]\""});
}

TEST_F(ExpressionTest, NestingIsBoundedWithoutExhaustingTheStack) {
  auto nested = [](int depth, const std::u16string& open, const std::u16string& inner) {
    std::u16string s;
    for (int i = 0; i < depth; ++i) s += open;
    s += inner;
    for (int i = 0; i < depth; ++i) s += u"]";
    return s;
  };
  // Within the bound: exact values.
  EXPECT_DOUBLE_EQ(Assigned(nested(30, u"[", u"5")), 5);
  EXPECT_DOUBLE_EQ(Assigned(nested(15, u"ABS[", u"-2")), 2);
  // Far beyond it: one message, nothing stored, no crash.
  Strings m;
  EXPECT_EQ(Assigned(nested(1000, u"[", u"1"), &m), -777);
  EXPECT_EQ(m, Strings{"error : expression nested too deeply"});
  EXPECT_EQ(Assigned(nested(400, u"ABS[", u"1"), &m), -777);
  EXPECT_EQ(m, Strings{"error : expression nested too deeply"});
}

TEST_F(ExpressionTest, LongExpressions) {
  std::u16string sum = u"1";
  for (int i = 1; i < 1000; ++i) sum += u"+1";
  EXPECT_DOUBLE_EQ(Assigned(sum), 1000);
  std::u16string mixed = u"0";
  for (int i = 0; i < 600; ++i) mixed += u"+6/3-1";  // each term adds 1
  EXPECT_DOUBLE_EQ(Assigned(mixed), 600);
  std::u16string huge = u"1";
  for (int i = 0; i < 3000; ++i) huge += u"+1";
  Strings m;
  EXPECT_EQ(Assigned(huge, &m), -777);
  EXPECT_EQ(m, Strings{"error : expression too long"});
}

TEST_F(ExpressionTest, RoundToThousandths) {
  EXPECT_NEAR(RoundTo001(1.23456), 1.235, 1e-12);
  EXPECT_NEAR(RoundTo001(-1.2346), -1.234, 1e-12);
  EXPECT_NEAR(RoundTo001(2.0004), 2.0, 1e-12);
  EXPECT_NEAR(RoundTo001(7.77777), 7.778, 1e-12);
}

TEST_F(ExpressionTest, VariableReferenceText) {
  EXPECT_TRUE(IsVariableReference(u"#1"));
  EXPECT_TRUE(IsVariableReference(u"#0100"));
  EXPECT_FALSE(IsVariableReference(u"#"));
  EXPECT_FALSE(IsVariableReference(u"#1 "));
  EXPECT_FALSE(IsVariableReference(u"P1"));
  EXPECT_FALSE(IsVariableReference(u"#1.5"));
}

}  // namespace
}  // namespace quillet::test
