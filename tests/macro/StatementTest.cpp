// IF, GOTO targets, WHILE/END and assignment lists through real parses:
// the executed lines, the variables and the block messages.
#include <string>

#include "MacroTestUtil.h"

namespace quillet::test {
namespace {

using Strings = std::vector<std::string>;
using Lines = std::vector<int>;

class StatementTest : public MacroTest {};

// ------------------------------------------------------------------- IF

TEST_F(StatementTest, IfGotoJumpsForwardOnlyWhenTheConditionHolds) {
  Parse(u"#1=11\nIF [#1 GT 10] GOTO 100\n#2=1\nN100 #3=1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 3}));
  EXPECT_EQ(Var(2), 0);
  EXPECT_EQ(Var(3), 1);

  Parse(u"#1=10\nIF [#1 GT 10] GOTO 100\n#2=1\nN100 #3=1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2, 3}));
  EXPECT_EQ(Var(2), 1);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(StatementTest, IfGoShortFormAndVariableTarget) {
  Parse(u"#5=30\n#1=1\nIF [#1 EQ 1] GO 20\n#2=1\nN20 IF [#1 EQ 1] GOTO #5\n#3=1\nN30 #4=1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2, 4, 6}));
  EXPECT_EQ(Var(2), 0);
  EXPECT_EQ(Var(3), 0);
  EXPECT_EQ(Var(4), 1);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(StatementTest, IfGotoBackwardMakesALoop) {
  Parse(u"#1=0\nN10 #1=#1+1\nIF [#1 LT 5] GOTO 10\n#2=#1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 3}));
  EXPECT_EQ(Var(1), 5);
  EXPECT_EQ(Var(2), 5);
}

TEST_F(StatementTest, IfThenRunsTheFirstAssignmentOnly) {
  Parse(u"#1=1\nIF [#1 EQ 1] THEN #2=5,#3=6\nIF [#1 EQ 2] THEN #4=7\n#9=1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2, 3}));
  EXPECT_EQ(Var(2), 5);
  EXPECT_EQ(Var(3), 0);
  EXPECT_EQ(Var(4), 0);
  EXPECT_EQ(Var(9), 1);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(StatementTest, IfThenWithBlanksAroundTheEqualSignIsReported) {
  // The target ends at the first blank: "#2" alone is no assignment.
  Parse(u"#1=1\nIF [#1 EQ 1] THEN #2 = 5");
  EXPECT_EQ(Var(2), 0);
  EXPECT_EQ(MessagesOfLine(1), Strings{"Syntax error : #2 : invalid assignment"});
}

TEST_F(StatementTest, IfComparesBracketOperands) {
  Parse(u"#1=3\n#2=3\nIF [[#1+1] LT [#2*2]] GOTO 20\n#3=1\nN20 #4=1");
  EXPECT_EQ(Var(3), 0);
  EXPECT_EQ(Var(4), 1);
  Parse(u"#1=3\n#2=2\nIF [[#1+1] LT [#2*2]] GOTO 20\n#3=1\nN20 #4=1");
  EXPECT_EQ(Var(3), 1);
}

TEST_F(StatementTest, EveryComparisonWord) {
  // #1 = 2 compared with 1, 2 and 3; the bits of #9 record which held.
  const char16_t* words[] = {u"GE", u"GT", u"LE", u"LT", u"NE", u"EQ"};
  const int expected[] = {0b011, 0b001, 0b110, 0b100, 0b101, 0b010};
  for (int w = 0; w < 6; ++w) {
    std::u16string text = u"#1=2\n#9=0\n";
    for (int k = 1; k <= 3; ++k)
      text += u"IF [#1 " + std::u16string(words[w]) + u" " + std::u16string(1, static_cast<char16_t>(u'0' + k)) +
              u"] THEN #9=#9+" + std::u16string(1, static_cast<char16_t>(u'0' + (1 << (k - 1)))) + u"\n";
    Parse(text);
    EXPECT_EQ(Var(9), expected[w]) << Utf8(words[w]);
  }
}

TEST_F(StatementTest, IfSyntaxErrors) {
  struct Case { const char16_t* line; const char* message; };
  const Case cases[] = {
      {u"IF [#1 GE 1] goto 5", "Syntax error : goto : identifier not found"},
      {u"IF [#1 XX 2] GOTO 5", "error :[#1 XX 2] : Invalid macro instruction."},
      {u"IF [#1 2] GOTO 5", "error :[#1 2] : Invalid macro instruction."},
      {u"IF [[#1 GT 10] GOTO 5", "Syntax error : Missing \"]\" "},
      {u"IF #1 GOTO 5", "Syntax error for IF"},
  };
  for (const Case& c : cases) {
    Parse(u"#1=20\n" + std::u16string(c.line) + u"\n#2=1\nN5 #3=1");
    EXPECT_EQ(MessagesOfLine(1), Strings{c.message}) << Utf8(c.line);
    // No jump: the next line runs.
    EXPECT_EQ(Var(2), 1) << Utf8(c.line);
  }
}

TEST_F(StatementTest, CommentTextIsNeverReadAsAStatement) {
  Parse(u"#1=1\nIF [#1 EQ 1] GOTO 10 (GOTO 99)\nN99 #2=99\nN10 #3=10");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 3}));
  Parse(u"#1=1\nIF [#1 EQ 1] GOTO 10 (IF [1 EQ 1] GOTO 99)\nN99 #2=99\nN10 #3=10");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 3}));
  EXPECT_EQ(Var(3), 10);

  Parse(u"#1=0\nWHILE [#1 LT 2] DO1 (X [1] DO 2)\n#1=#1+1\nEND1 (END 2)\n#2=1");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Var(1), 2);
  EXPECT_EQ(Var(2), 1);

  Parse(u"N10 #1=5 (#2=6)\nIF [#1 EQ 5] THEN #3=7 ; #4=8");
  EXPECT_EQ(Var(1), 5);
  EXPECT_EQ(Var(2), 0);
  EXPECT_EQ(Var(3), 7);
  EXPECT_EQ(Var(4), 0);
}

TEST_F(StatementTest, JumpTargetsThatAreNoSequenceNumbersAreReported) {
  Parse(u"#1=1E300\nIF [1 EQ 1] GOTO #1\nIF [1 EQ 1] GOTO 0\nIF [1 EQ 1] GOTO 0.5\n#2=1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2, 3, 4}));
  for (int line = 1; line <= 3; ++line)
    EXPECT_EQ(MessagesOfLine(line), Strings{"Syntax error : Sequence number not found"}) << line;
  EXPECT_EQ(Var(2), 1);
}

TEST_F(StatementTest, ConditionWithAnErrorDecidesNothing) {
  // #7000 does not exist; reading it as 0 would make the condition true.
  Parse(u"IF [#7000 EQ 0] GOTO 2\n#2=1\nN2 #3=1");
  EXPECT_EQ(MessagesOfLine(0), Strings{"error : variable #7000 does not exist"});
  EXPECT_EQ(Var(2), 1);
  EXPECT_EQ(Var(3), 1);
}

TEST_F(StatementTest, ConditionsDirectly) {
  CGCProgram& p = Fresh();
  p.SetVariable(1, 11);
  std::vector<WString> m;
  EXPECT_EQ(EvaluateCondition(u"[#1 GT 10]", p, m), 1);
  EXPECT_EQ(EvaluateCondition(u"[#1GT10]", p, m), 1);
  EXPECT_EQ(EvaluateCondition(u"[#1 LE 10]", p, m), 0);
  // Several comparisons: the last one decides.
  EXPECT_EQ(EvaluateCondition(u"[#1 GT 1] [#1 LT 2]", p, m), 0);
  EXPECT_EQ(EvaluateCondition(u"[#1 LT 2] [#1 GT 1]", p, m), 1);
  EXPECT_TRUE(m.empty());
  EXPECT_EQ(EvaluateCondition(u"[#1 GT 10", p, m), 0);
  EXPECT_EQ(EvaluateCondition(u"[#1 GT 10]]", p, m), 0);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(Utf8(m[0]), "Syntax error : Missing \"]\" ");
  EXPECT_EQ(Utf8(m[1]), "Syntax error : Missing \"[\" ");
}

TEST_F(StatementTest, IfFalseInsideAWhileBodyKeepsTheLoopGoing) {
  Parse(u"#1=0\nWHILE [#1 LT 3] DO1\nIF [#1 EQ 99] THEN #5=1\n#1=#1+1\nEND1\n#2=1");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Var(1), 3);
  EXPECT_EQ(Var(2), 1);
  EXPECT_EQ(Var(5), 0);
}

TEST_F(StatementTest, GotoStatementTakesAnExpressionTarget) {
  Parse(u"#5=2\nGOTO #5\nN1 #1=1\nN2 #2=1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 3}));
  EXPECT_EQ(Var(1), 0);
  EXPECT_EQ(Var(2), 1);
}

// ---------------------------------------------------------------- WHILE

TEST_F(StatementTest, WhileRunsItsBodyAndReparsesTheWhileLine) {
  Parse(u"#1=0\nWHILE [#1 LT 3] DO1\n#1=#1+1\nEND1\n#2=5");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 4}));
  EXPECT_EQ(Var(1), 3);
  EXPECT_EQ(Var(2), 5);
}

TEST_F(StatementTest, WhShortForm) {
  Parse(u"#1=0\nWH [#1 LT 2] DO1\n#1=#1+1\nEND1");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Var(1), 2);
}

TEST_F(StatementTest, NestedWhileLoops) {
  Parse(
      u"#1=0\n#3=0\nWHILE [#1 LT 2] DO1\n#2=0\nWHILE [#2 LT 3] DO2\n#3=#3+1\n#2=#2+1\nEND2\n#1=#1+1\nEND1\n"
      u"#4=1");
  EXPECT_TRUE(Messages().empty());
  const Lines pass = {3, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 4, 8, 9};
  Lines expected = {0, 1, 2};
  expected.insert(expected.end(), pass.begin(), pass.end());
  expected.push_back(2);
  expected.insert(expected.end(), pass.begin(), pass.end());
  expected.push_back(2);
  expected.push_back(10);
  EXPECT_EQ(ExecutedLines(), expected);
  EXPECT_EQ(Var(1), 2);
  EXPECT_EQ(Var(2), 3);
  EXPECT_EQ(Var(3), 6);
  EXPECT_EQ(Var(4), 1);
}

TEST_F(StatementTest, FalseWhileSkipsToItsEnd) {
  Parse(u"#1=5\nWHILE [#1 LT 3] DO1\n#2=1\nEND1\n#3=1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 4}));
  EXPECT_EQ(Var(2), 0);
  EXPECT_EQ(Var(3), 1);

  // A false inner loop inside a running body.
  Parse(u"#1=0\nWHILE [#1 LT 2] DO1\nWHILE [#1 GT 5] DO2\n#9=#9+1\nEND2\n#1=#1+1\nEND1");
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2, 5, 6, 1, 2, 5, 6, 1}));
  EXPECT_EQ(Var(9), 0);
  EXPECT_EQ(Var(1), 2);
}

TEST_F(StatementTest, EndNumberMismatchStopsTheFrame) {
  Parse(u"#1=0\nWHILE [#1 LT 3] DO1\n#1=#1+1\nEND2\n#2=7");
  EXPECT_EQ(MessagesOfLine(3), Strings{"WHILE without matching number for END"});
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2, 3}));
  EXPECT_EQ(Var(1), 1);
  EXPECT_EQ(Var(2), 0);
}

TEST_F(StatementTest, WhileAndEndSyntaxErrors) {
  struct Case { const char16_t* line; const char* message; };
  const Case cases[] = {
      {u"WHILE [#1 LT 3] 1", "Syntax error :   : identifier not found"},
      {u"WHILE [#1 LT 3] GO1", "Syntax error :  GO : identifier not found"},
      {u"WHILE #1 LT 3 DO1", "Syntax error for WHILE"},
      {u"WHILE [#1 LT 3] DO99999999999", "Syntax error : 99999999999 : loop number out of range"},
      {u"WHILE [#1 LT 3] DO0", "Syntax error : 0 : loop number out of range"},
      {u"WHILE [#1 QQ 3] DO1", "error :[#1 QQ 3] : Invalid macro instruction."},
      {u"END", "Syntax error for END"},
      {u"END0", "Syntax error : 0 : loop number out of range"},
      {u"END4294967297", "Syntax error : 4294967297 : loop number out of range"},
  };
  for (const Case& c : cases) {
    Parse(std::u16string(c.line) + u"\n#2=1");
    EXPECT_EQ(MessagesOfLine(0), Strings{c.message}) << Utf8(c.line);
    EXPECT_EQ(Var(2), 1) << Utf8(c.line);
  }
}

TEST_F(StatementTest, EndlessWhileStopsAtTheExecutedBlockLimit) {
  CGCProgram::SetExecutedBlockLimit(200);
  Parse(u"WHILE [1 LT 2] DO1\n#1=#1+1\nEND1\n#2=1");
  EXPECT_EQ(m_program->Blocks().size(), 200u);
  EXPECT_EQ(Messages(), Strings{"Program stopped: more than 200 blocks executed (endless jump or loop?)"});
  EXPECT_EQ(Var(2), 0);
  EXPECT_GT(Var(1), 60);
}

TEST_F(StatementTest, WhileTrueOnlyThroughAnErrorDoesNotLoop) {
  CGCProgram::SetExecutedBlockLimit(1000);
  Parse(u"WHILE [#7000 LT 3] DO1\nEND1\n#2=1");
  EXPECT_EQ(Messages(), Strings{"error : variable #7000 does not exist"});
  EXPECT_EQ(ExecutedLines(), (Lines{0, 1, 2}));
  EXPECT_EQ(Var(2), 1);
}

TEST_F(StatementTest, LoopStatementsDirectly) {
  CGCProgram& p = Fresh();
  std::vector<WString> m;
  int number = 77;
  EXPECT_EQ(CLoop().Evaluate(u"WHILE [#1 LT 3] DO1", 0, number, p, m), 1);
  EXPECT_EQ(number, 1);
  p.SetVariable(1, 3);
  number = 77;
  EXPECT_EQ(CLoop().Evaluate(u"WHILE [#1 LT 3] DO 2", 0, number, p, m), -2);
  EXPECT_EQ(number, 2);
  number = 77;
  EXPECT_EQ(CLoop().Evaluate(u"WHILE [#1 ZZ 3] DO1", 0, number, p, m), -2);
  EXPECT_EQ(number, -2);
  number = 77;
  EXPECT_EQ(CLoop().Evaluate(u"WHILE [#1 LT 3] 1", 0, number, p, m), -2);
  EXPECT_EQ(number, 77);  // left alone on a syntax error
  EXPECT_EQ(CEnd().Evaluate(u"END 12", 0, number, p, m), 12);
  EXPECT_EQ(number, 12);
  EXPECT_EQ(m.size(), 2u);
}

// ---------------------------------------------------------- assignments

TEST_F(StatementTest, AssignmentListsRunInOrder) {
  Parse(u"#1=5,#2=#1*2\n#3=1,,#4=2\n#5=1, #6=2");
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Var(1), 5);
  EXPECT_EQ(Var(2), 10);
  EXPECT_EQ(Var(3), 1);
  EXPECT_EQ(Var(4), 2);
  EXPECT_EQ(Var(5), 1);
  EXPECT_EQ(Var(6), 2);
}

TEST_F(StatementTest, AssignmentNamesAndErrors) {
  CGCProgram& p = Fresh();
  std::vector<WString> m;
  EXPECT_EQ(AssignVariables(u"P12=3,|13=4,#0100=2.5", p, m), 100);
  EXPECT_TRUE(m.empty());
  EXPECT_EQ(Var(12), 3);
  EXPECT_EQ(Var(13), 4);
  EXPECT_EQ(Var(100), 2.5);

  struct Case { const char16_t* line; const char* message; };
  const Case cases[] = {
      {u"#1 = 5", "Syntax error : #1 = 5 : invalid assignment"},
      {u"#12345=1", "Syntax error : #12345=1 : invalid assignment"},
      {u"#7000=1", "error : variable #7000 does not exist"},
      {u"#1=1,#2=1/0,#3=1", "error : division by zero"},
  };
  for (const Case& c : cases) {
    Parse(std::u16string(c.line));
    EXPECT_EQ(MessagesOfLine(0), Strings{c.message}) << Utf8(c.line);
    EXPECT_EQ(Var(2), 0) << Utf8(c.line);
    EXPECT_EQ(Var(3), 0) << Utf8(c.line);
  }
  EXPECT_EQ(Var(1), 1);  // the item before the failing one ran
}

}  // namespace
}  // namespace quillet::test
