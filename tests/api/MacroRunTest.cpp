// Macro programs through the Code_ interface, each result worked out by
// hand from the control's rules: expressions, statements and loops, call
// arguments, words whose values come from variables, and local variables
// per call level. Results are read from common variables (#100 on) and from
// the paths and command records.
#include <cmath>
#include <string>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

constexpr unsigned kVariables = 3;

class MacroRunTest : public ApiTest {
 protected:
  // Runs the program after clearing #100 to #104; the value of #100.
  double Run(const std::u16string& program) {
    Parse(u"#100=0,#101=0,#102=0,#103=0,#104=0\n" + program);  // the path build delivers the messages
    return Var(100);
  }
  double Var(int number) { return Cell(kVariables, number, 0); }
  std::vector<std::u16string> Texts() const {
    std::vector<std::u16string> texts;
    for (const Message& m : Log().messages) texts.push_back(m.text);
    return texts;
  }
};

struct Case {
  const char* program;
  double expected;
};

// Operators, signs, indirect variables, blanks and letter case, and the
// functions whose results the control's manual defines.
TEST_F(MacroRunTest, ExpressionsEvaluateAsOnTheControl) {
  const Case cases[] = {
      {"#100=2*-3", -6},
      {"#100=10/-2", -5},
      {"#100=3*-2*4", -24},
      {"#100=2--3", 5},
      {"#1=4\n#100=#1*-1", -4},
      {"#1=3\n#100=-#1*2", -6},
      {"#5=3\n#3=7\n#100=#[#5]", 7},
      {"#5=3\n#[100+#5]=4\n#100=#103", 4},
      {"#1 = 5\n#2=2\n#3=#1 + #2\n#100=#3", 7},
      {"#1=1\nIF [#1 + 1 EQ 2] THEN #100=1", 1},
      {"#100=FIX[-1.5]", -1},
      {"#100=FIX[1.5]", 1},
      {"#100=FUP[-1.2]", -2},
      {"#100=FUP[1.2]", 2},
      {"#100=ROUND[-1.2346]", -1.235},
      {"#100=ROUND[-2.5]", -2.5},
      {"#100=ROUND[1.2346]", 1.235},
      {"#100=ATAN[1]/[1]+[8/2]", 49},
      {"#100=ATAN[1]/[1]+ATAN[1]/[-1]", 180},
      {"#100=ATAN[1]/[1]*2", 90},
      {"#100=sin[30]*4", 2},
      {"#100=Abs[-2]+fix[2.5]", 4},
  };
  for (const Case& c : cases) {
    Log().Clear();
    EXPECT_NEAR(Run(W(c.program)), c.expected, 1e-9) << c.program;
    EXPECT_EQ(Texts(), std::vector<std::u16string>{}) << c.program;
  }
}

// AND and OR, jumps in and out of WHILE bodies, a false WHILE that skips to
// its own END, keywords in lower case, THEN with its whole statement.
TEST_F(MacroRunTest, StatementsDecideTheFlowAsOnTheControl) {
  const Case cases[] = {
      // 10 when the IF jumps over "#100=1", 11 when it does not.
      {"#1=1\n#2=3\nIF [[#1 EQ 1] AND [#2 EQ 3]] GOTO 20\n#100=1\nN20 #100=#100+10", 10},
      {"#1=1\n#2=4\nIF [[#1 EQ 1] AND [#2 EQ 3]] GOTO 20\n#100=1\nN20 #100=#100+10", 11},
      {"#1=1\n#2=3\nIF [[#1 EQ 2] OR [#2 EQ 3]] GOTO 20\n#100=1\nN20 #100=#100+10", 10},
      {"#1=1\n#2=4\nIF [[#1 EQ 2] OR [#2 EQ 3]] GOTO 20\n#100=1\nN20 #100=#100+10", 11},
      {"#1=1\nif [#1 eq 1] goto 20\n#100=1\nn20 #100=#100+10", 10},
      // An IF in the body leaves the loop at #1 = 2.
      {"#1=0\nWHILE [#1 LT 5] DO1\n#1=#1+1\nIF [#1 EQ 2] GOTO 50\nEND1\n#100=99\nN50 #100=#1", 2},
      {"#1=0\nWHILE [#1 LT 3] DO1\n#1=#1+1\nGOTO 40\nEND1\nN40 #100=#1", 1},
      // A jump inside the body skips its rest for #1 = 2 only: #2 counts 1 and 3.
      {"#1=0\n#2=0\nWHILE [#1 LT 3] DO1\n#1=#1+1\nIF [#1 EQ 2] GOTO 10\n#2=#2+1\nN10 END1\n#100=#2", 2},
      // The false loop ends at END 1: not at the comment, not at END10.
      {"#1=5\nWHILE [#1 LT 3] DO1\n#100=1 (END1)\nEND10\n#100=2\nEND 1\n#100=#100+10", 10},
      {"#1=0\nwhile [#1 lt 3] do1\n#1=#1+1\nend1\n#100=#1", 3},
      {"#1=0\nWHILE [#1 LT 2] DO1\n#2=0\nWHILE [#2 LT 3] DO2\n#100=#100+1\n#2=#2+1\nEND2\n#1=#1+1\nEND1", 6},
      {"#1=1\nIF [#1 EQ 1] THEN #100 = 5 + 1", 6},
      {"#1=1\nIF [#1 EQ 1] THEN #100=5,#101=6\n#100=#100*10+#101", 56},
  };
  for (const Case& c : cases) {
    Log().Clear();
    EXPECT_DOUBLE_EQ(Run(W(c.program)), c.expected) << c.program;
    EXPECT_EQ(Texts(), std::vector<std::u16string>{}) << c.program;
  }
}

// A missing END and a missing sequence number get a block message, and the
// program ends there.
TEST_F(MacroRunTest, MissingLoopEndOrJumpTargetIsReported) {
  const struct {
    const char* program;
    double expected;
    const char16_t* message;
    int line;  // of the program, from 1
  } cases[] = {
      {"#1=5\nWHILE [#1 LT 3] DO1\n#100=1", 0, u"WHILE without END1", 2},
      {"#1=0\nWHILE [#1 LT 3] DO2\n#100=1\nEND1", 0, u"WHILE without END2", 2},
      {"GOTO 99\n#100=1", 0, u"Syntax error : Sequence number N99 not found", 1},
      {"#1=1\nIF [#1 EQ 1] GOTO 98\n#100=2", 0, u"Syntax error : Sequence number N98 not found", 2},
  };
  for (const auto& c : cases) {
    Log().Clear();
    EXPECT_DOUBLE_EQ(Run(W(c.program)), c.expected) << c.program;
    ASSERT_EQ(Log().messages.size(), 1u) << c.program;
    EXPECT_EQ(Log().messages[0].text, c.message) << c.program;
    EXPECT_EQ(Log().messages[0].line, c.line + 1) << c.program;  // after the clearing line
  }
}

// How the control reads program text around statements: an N in a comment
// numbers nothing, a line that opens with a comment runs the words after it,
// an unused block-delete "/" leaves the statement alone; loops are entered
// only through their WHILE and numbered 1 to 3; a number has one point; #0
// is empty (0 in arithmetic) and cannot be set.
TEST_F(MacroRunTest, TextAndLoopsAsTheControlReadsThem) {
  const struct {
    const char* program;
    double expected;
    const char16_t* message;  // the one message expected, or null
  } cases[] = {
      // GOTO 50 goes to the N50 block, not to the comment that names it.
      {"GOTO 50\n#100=1\nN50 #100=#100+7\n#101=1 (BACK TO N50)\n#100=#100+100", 107, nullptr},
      {"(ROUGH) #100=4", 4, nullptr},
      {"GOTO 5\n#100=1\n(STEP 2) N5 #100=#100+2", 2, nullptr},
      {"(ONLY A COMMENT)\n(OPEN\n(X) ; #100=9", 0, nullptr},
      {"/#100=3", 3, nullptr},
      {"/ #100=3,#101=2\n#100=#100*#101", 6, nullptr},
      {"GOTO 10\nWHILE [#100 LT 3] DO1\nN10 #100=#100+1\nEND1\n#100=#100+10", 1,
       u"END1 of a loop that was jumped into"},
      // A loop left by a jump is entered afresh at its WHILE: 2 + 1 + 2.
      {"#1=0\nN10 #2=0\nWHILE [#2 LT 2] DO1\n#2=#2+1\nIF [#1 EQ 1] GOTO 20\nEND1\n"
       "N20 #1=#1+1\n#100=#100+#2\nIF [#1 LT 3] GOTO 10",
       5, nullptr},
      {"WHILE [#100 LT 3] DO4\n#100=#100+1\nEND4\n#100=#100+10", 0, u"Syntax error : 4 : loop number out of range"},
      {"#100=1.2.3", 0, u"error :1.2.3 : Invalid macro instruction."},
      {"#100=--+-3.5", -3.5, nullptr},
      {"#100=#0*3+1", 1, nullptr},
      {"#0=5\n#100=#0+1", 0, u"error : variable #0 is always empty and cannot be set"},
      {"#5=0\n#[#5]=5\n#100=#0+2", 0, u"error : variable #0 is always empty and cannot be set"},
  };
  for (const auto& c : cases) {
    Log().Clear();
    EXPECT_DOUBLE_EQ(Run(W(c.program)), c.expected) << c.program;
    const std::vector<std::u16string> expected =
        c.message ? std::vector<std::u16string>{c.message} : std::vector<std::u16string>{};
    EXPECT_EQ(Texts(), expected) << c.program;
  }

  // With block delete on, a "/" line is left out, also behind a tab.
  char skip = 1;
  Code_Skip(&skip);
  Log().Clear();
  EXPECT_DOUBLE_EQ(Run(u"\t/#100=5\n/#100=6\n#101=1"), 0);
  EXPECT_DOUBLE_EQ(Var(101), 1);
  EXPECT_EQ(Texts(), std::vector<std::u16string>{});
}

// G65 passes arguments written as variables and expressions (M is #13); the
// macro's #33 stays in its own level. M98 runs on its caller's locals, and
// its P may come from a variable (rounded). G66 passes expressions too.
TEST_F(MacroRunTest, CallArgumentsAndLocalLevels) {
  Run(u"#5=1.5\n#33=2\nG65 P9101 X#5 Y[2+3] Z-1 M4\n#104=#33");
  EXPECT_EQ(Texts(), std::vector<std::u16string>{});
  const double expected[] = {1.5, 5, -1, 4, 2};
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(Var(100 + i), expected[i]) << "#" << 100 + i;

  EXPECT_DOUBLE_EQ(Run(u"#1=2\nM98 P9102\n#100=#1"), 7);
  EXPECT_DOUBLE_EQ(Run(u"#10=9101.6\n#1=2\nM98 P#10\n#100=#1"), 7);
  EXPECT_DOUBLE_EQ(Run(u"#5=2\nG66 P9103 Z[#5*2]\nG00 X1\nG00 X2\nG67"), 8);
  EXPECT_EQ(Texts(), std::vector<std::u16string>{});
}

// G66 calls its macro after every move, arcs and the moves of an M98
// sub-program included. The move itself ends
// where it was programmed; the next move starts where the macro left the tool.
// O9104 feeds to its Z argument and goes back up to R at rapid.
TEST_F(MacroRunTest, ModalMacroRunsAfterLinesAndArcs) {
  PathGroups* paths = Parse(
      u"G00 X0 Y0 Z5.\nG66 P9104 Z-3. R2. F50.\nG00 X10. Y10.\nG02 X20. Y0 R10.\nG67\nG00 X30.");
  EXPECT_EQ(Texts(), std::vector<std::u16string>{});
  ASSERT_NE(paths, nullptr);
  ASSERT_EQ(paths->size(), 7u);  // the preamble and six lines
  const struct {
    int line;
    std::size_t index;
    CPoint3d start, end;
  } segments[] = {
      {2, 0, {0, 0, 5}, {10, 10, 5}},      // the rapid move, at its own height
      {2, 1, {10, 10, 5}, {10, 10, -3}},   // the macro after it
      {2, 2, {10, 10, -3}, {10, 10, 2}},
      {3, 0, {10, 10, 2}, {20, 0, 2}},     // the arc, from where the macro left the tool
      {3, 1, {20, 0, 2}, {20, 0, -3}},     // the macro after the arc
      {3, 2, {20, 0, -3}, {20, 0, 2}},
      {5, 0, {20, 0, 2}, {30, 0, 2}},      // after G67: no call
  };
  for (const auto& s : segments) {
    const CPathList& list = (*paths)[static_cast<std::size_t>(s.line) + 1];
    ASSERT_LT(s.index, list.size()) << "line " << s.line;
    const CPathPolyline* p = list[s.index];
    EXPECT_TRUE(Near(p->Point(0), s.start, 1e-9)) << "line " << s.line << " #" << s.index;
    EXPECT_TRUE(Near(p->Point(p->PointCount() - 1), s.end, 1e-9)) << "line " << s.line << " #" << s.index;
  }
  EXPECT_EQ((*paths)[3].size(), 3u);
  EXPECT_EQ((*paths)[4].size(), 3u);
  EXPECT_EQ((*paths)[6].size(), 1u);

  // The records follow the same path: the rapid move reports its own end.
  const std::vector<Record> moves = Motions(Simulate());
  ASSERT_GE(moves.size(), 4u);
  const CPoint3d ends[] = {{0, 0, 5}, {10, 10, 5}, {10, 10, -3}, {10, 10, 2}};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(Near(moves[i].position, ends[i], 1e-9)) << i;

  // G66 stays in force in an M98 sub-program, and a G67 there ends it for
  // the caller too. O9103 adds its Z argument to #100 at each call.
  const Case calls[] = {
      {"G66 P9103 Z1\nM98 P9105\nX30.\nG67\nX40.", 3},  // X10 Y10, X20 in the sub; X30
      {"G66 P9103 Z1\nM98 P9106\nX30.\nX40.", 1},        // X10 only
  };
  for (const Case& c : calls) {
    Log().Clear();
    EXPECT_DOUBLE_EQ(Run(W(c.program)), c.expected) << c.program;
    EXPECT_EQ(Texts(), std::vector<std::u16string>{}) << c.program;
  }
}

// Words whose values come from variables: coordinates and F exact, S T M D
// H rounded to whole numbers, G from an expression; blanks inside words and a
// comment in the middle of a block change nothing.
TEST_F(MacroRunTest, WordsFromVariablesAndWrittenLoosely) {
  PathGroups* paths = Parse(u"#1=12.3456789\nG00 X0 Y0 Z0\nX#1\nG01 X3 (TURN) Y9 F100\nG00 X 45. Z -110");
  EXPECT_TRUE(Near(End(paths, 2), {12.3456789, 0, 0}));
  EXPECT_TRUE(Near(End(paths, 3), {3, 9, 0}));
  EXPECT_TRUE(Near(End(paths, 4), {45, 9, -110}));

  // G[#1-1] with #1 = 2 is G01: drawn as a feed move.
  paths = Parse(u"#1=2\nG[#1-1] X5 F100");
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 1), kFeedStyle));

  Parse(u"#2=250.5\nG01 X1 F#2\nG01 X2 F[#2*2]\n#1=4.6\nT#1\n#1=1199.5\nS#1 M03\n#1=2.6\nM#1");
  EXPECT_EQ(Texts(), std::vector<std::u16string>{});
  const std::vector<Record> records = Simulate();
  const std::vector<Record> moves = Motions(records);
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0].feed, 250.5);
  EXPECT_EQ(moves[1].feed, 501.0);
  const std::vector<Record> tools = OfKind(records, 17);
  ASSERT_EQ(tools.size(), 1u);
  EXPECT_EQ(tools[0].position.x, 5.0);
  const std::vector<Record> spindle = OfKind(records, 10);
  ASSERT_EQ(spindle.size(), 2u);  // M03 and M#1 = M03
  EXPECT_EQ(spindle[0].position.x, 1200.0);
  EXPECT_EQ(spindle[1].position.x, 1200.0);

  // D and H round to the nearest offset number: 1.6 is 2, 2.4 is 2.
  ParseOnly(u"#1=1.6\nD#1\n#1=2.4\nH#1");
  EXPECT_EQ(Code_GetCurD(), 2);
  EXPECT_EQ(Code_GetCurH(), 2);
}

}  // namespace
}  // namespace apitest
