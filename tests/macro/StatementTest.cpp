// IF, GOTO, WHILE/END and assignment lists through real parses: the executed
// lines, the variables and the block messages.
#include <utility>

#include "MacroFixture.h"

namespace quillet::test {
namespace {

using Statement = MacroTest;

TEST_F(Statement, IfGotoThenAndAssignmentLists) {
  // GO is short for GOTO, and the target may be a variable.
  Parse(u"#5=30\n#1=1\nIF [#1 EQ 1] GO 20\n#2=1\nN20 IF [#1 EQ 1] GOTO #5\n#3=1\nN30 #4=1");
  EXPECT_EQ(Executed(), (Lines{0, 1, 2, 4, 6}));
  // THEN runs its whole assignment list; a plain list runs in order.
  Parse(u"#1=1\nIF [#1 EQ 1] THEN #2=5,#3=6\nIF [#1 EQ 2] THEN #4=7\n#5=1,#6=#5*2,,#7=3");
  EXPECT_EQ(Var(2) * 100 + Var(3) * 10 + Var(4), 560);
  EXPECT_EQ(Var(6) * 10 + Var(7), 23);
  EXPECT_EQ(Messages(), Texts{});
}

// #1 = 2 compared with 1, 2 and 3: the bits of #9 record which held.
TEST_F(Statement, ComparisonWords) {
  const std::pair<std::u16string, int> words[] = {{u"GE", 0b011}, {u"GT", 0b001}, {u"LE", 0b110},
                                                  {u"LT", 0b100}, {u"NE", 0b101}, {u"EQ", 0b010}};
  for (const auto& [w, bits] : words) {
    Parse(u"#1=2\nIF [#1 " + w + u" 1] THEN #9=#9+1\nIF [#1 " + w + u" 2] THEN #9=#9+2\nIF [#1 " + w +
          u" 3] THEN #9=#9+4");
    EXPECT_EQ(Var(9), bits) << Utf8(w);
  }
}

// A faulty statement or expression gives one message and the program ends
// at its line, as the control stops at an alarm: no jump, no loop, nothing
// stored, no later item of an assignment list, no later line.
TEST_F(Statement, FaultyStatementGivesAMessageAndTheProgramEnds) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"IF [#1 GE 1] GOSUB 5", u"Syntax error : GOSUB : identifier not found"},
      {u"IF [#1 XX 2] GOTO 5", u"error :[#1XX2] : Invalid macro instruction."},
      {u"IF [[#1 GT 10] GOTO 5", u"Syntax error : Missing \"]\" "},
      {u"IF #1 GOTO 5", u"Syntax error for IF"},
      {u"IF [1 EQ 1] GOTO #9", u"Syntax error : Sequence number not found"},  // #9 = 1E300
      {u"IF [1 EQ 1] GOTO 0.5", u"Syntax error : Sequence number not found"},
      {u"IF [#7000 EQ 0] GOTO 5", u"error : variable #7000 does not exist"},
      {u"WHILE #1 LT 3 DO1", u"Syntax error for WHILE"},
      {u"WHILE [#1 LT 3] DO99999999999", u"Syntax error : 99999999999 : loop number out of range"},
      {u"END", u"Syntax error for END"},
      {u"END0", u"Syntax error : 0 : loop number out of range"},
      {u"END4294967297", u"Syntax error : 4294967297 : loop number out of range"},
      {u"#1 5", u"Syntax error : #15 : invalid assignment"},
      {u"#12345=1", u"error : variable #12345 does not exist"},
      {u"#7000=1", u"error : variable #7000 does not exist"},
      {u"#1=SQRT[-4]", u"error : SQRT[-4] : argument out of range"},
      {u"#1=EXP[1000]", u"error : EXP[1000] : argument out of range"},
      {u"#1=1E300*1E300", u"error : value out of range"},
      {u"#1=#99999999999", u"error : variable #99999999999 does not exist"},
      {u"#1=2+AN[1]", u"Invalid function keyword:AN"},
      {u"#1=SQRT[4", u"error: function call missing argument list"},
      {u"#4=1,#5=1/0,#6=1", u"error : division by zero"}};
  for (auto [line, message] : cases) {
    Parse(u"#1=20,#9=1E300\n" + std::u16string(line) + u"\n#2=1\nN5 #3=1");
    EXPECT_EQ(Messages(), Texts{message}) << Utf8(line);
    EXPECT_EQ(Executed(), (Lines{0, 1})) << Utf8(line);
    EXPECT_EQ(Var(1) + Var(6), 20) << Utf8(line);
  }
  EXPECT_EQ(Var(4), 1);  // the item before the failing one ran
}

TEST_F(Statement, CommentTextIsNeverReadAsAStatement) {
  Parse(u"#1=1\nIF [#1 EQ 1] GOTO 10 (IF [1 EQ 1] GOTO 99)\nN99 #2=99\nN10 #3=10");
  EXPECT_EQ(Executed(), (Lines{0, 1, 3}));
  Parse(u"#1=0\nWHILE [#1 LT 2] DO1 (X [1] DO 2)\n#1=#1+1\nEND1 (END 2)\nN10 #1=#1+5 (#2=6)\n#3=7 ; #4=8");
  EXPECT_EQ(Messages(), Texts{});
  EXPECT_EQ(Var(1), 7);
  EXPECT_EQ(Var(2) + Var(3) + Var(4), 7);
}

TEST_F(Statement, WhileRunsItsBodyUntilTheConditionFails) {
  Parse(u"#1=0\nWHILE [#1 LT 3] DO1\n#1=#1+1\nEND1\n#2=5");
  EXPECT_EQ(Executed(), (Lines{0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 4}));
  // A false WHILE (here the short form WH) goes on after its END.
  Parse(u"#1=5\nWH [#1 LT 3] DO1\n#2=1\nEND1\n#3=1");
  EXPECT_EQ(Executed(), (Lines{0, 1, 4}));
  EXPECT_EQ(Messages(), Texts{});
}

TEST_F(Statement, EndlessLoopStopsAtTheExecutedBlockLimit) {
  CGCProgram::SetExecutedBlockLimit(200);
  Parse(u"WHILE [1 LT 2] DO1\n#1=#1+1\nEND1\n#2=1");
  EXPECT_EQ(m_program->Blocks().size(), 200u);
  EXPECT_EQ(Messages(), Texts{u"Program stopped: more than 200 blocks executed (endless jump or loop?)"});
  // A condition that cannot be evaluated does not loop: the program ends at
  // its WHILE.
  Parse(u"WHILE [#7000 LT 3] DO1\nEND1\n#2=1");
  EXPECT_EQ(Messages(), Texts{u"error : variable #7000 does not exist"});
  EXPECT_EQ(Executed(), (Lines{0}));
}

}  // namespace
}  // namespace quillet::test
