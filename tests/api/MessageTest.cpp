// Block messages through CodeMessageCallback, the end of the path at the
// first block with messages, progress messages to the host window, block
// skip and GOTO.
#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class MessageTest : public ApiTest {};

// The sixth line (index 5), numbered N40, holds an arc that cannot exist:
// the host gets line 6 and sequence number 40; the path holds the preamble
// and the five lines before it, each with its move.
TEST_F(MessageTest, MessageCarriesLineFromOneAndNNumberAndEndsThePath) {
  PathGroups* paths = ParseProgram("message_n40.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_EQ(paths->size(), 6u);
  for (int line = 0; line < 5; ++line) EXPECT_NE(OnlyPolyline(paths, line), nullptr);
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].line, 6);
  EXPECT_EQ(Log().messages[0].sequence, 40);
  EXPECT_EQ(Log().messages[0].program, u"O1234");
}

// "G 01": the letter and the blank form a keyword that no rule holds.
TEST_F(MessageTest, SyntaxErrorText) {
  PathGroups* paths = ParseProgram("syntax_error.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 2u);
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].line, 2);
  EXPECT_EQ(Log().messages[0].sequence, 20);
  EXPECT_EQ(Log().messages[0].text, u"Syntax error : G  : identifier not found");
}

// Messages are delivered by each path build, once per build.
TEST_F(MessageTest, EachCutterPathDeliversTheMessagesOnce) {
  PathGroups* paths = ParseProgram("message_n40.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(Log().messages.size(), 1u);
  paths = Code_CutterPath();
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 6u);
  EXPECT_EQ(Log().messages.size(), 2u);
}

// Without a message callback the messages are dropped, the path still ends
// at the block that holds them.
TEST_F(MessageTest, NoMessageCallback) {
  short mode = 1;
  int language = 1;
  Code_Initialize(&mode, CommandCallback, nullptr, 0, ToolCallback, &language);
  PathGroups* paths = ParseProgram("message_n40.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 6u);
  EXPECT_TRUE(Log().messages.empty());
}

// The host window hears: parse start, the line count, one "line done" per
// parsed line (not for the comment line), the path build, the simulation.
TEST_F(MessageTest, ProgressMessagesInOrder) {
  ASSERT_NE(ParseProgram("progress.nc"), nullptr);  // three lines, no final line feed
  Simulate();
  const std::vector<WindowMessage> w = Log().Window();
  const std::vector<WindowMessage> expected = {{WM_CODE_PARSESTART, 0, false}, {WM_CODE_LINECOUNT, 3, false},
                                               {WM_CODE_LINEDONE, 0, false},   {WM_CODE_LINEDONE, 2, false},
                                               {WM_CODE_CUTTERPATH, 0, false}, {WM_CODE_AUTORUN, 0, true}};
  ASSERT_EQ(w.size(), expected.size());
  for (std::size_t n = 0; n < w.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(w[n].message, expected[n].message);
    EXPECT_EQ(w[n].wParam, expected[n].wParam);
    EXPECT_EQ(w[n].posted, expected[n].posted);
  }
}

// Parsing from line 1: the line count is taken from there, line 0 is not
// run, and the first move starts at the start point.
TEST_F(MessageTest, StartLine) {
  PathGroups* paths = Parse(u"G00 X1 Y0 Z0\nG00 X5 Y0 Z0\nG00 X7", {0, 0, 0}, 1);
  ASSERT_NE(paths, nullptr);
  const std::vector<WindowMessage> w = Log().Window();
  ASSERT_GE(w.size(), 2u);
  EXPECT_EQ(w[1].message, WM_CODE_LINECOUNT);
  EXPECT_EQ(w[1].wParam, 2u);
  ASSERT_EQ(paths->size(), 3u);
  ASSERT_EQ((*paths)[1].size(), 1u);
  const CPathPolyline* p = (*paths)[1][0];
  EXPECT_TRUE(Near(p->Point(0), {0, 0, 0}));
  EXPECT_TRUE(Near(p->Point(1), {5, 0, 0}));
}

// Block skip off: "/G00 X5" runs. On: it is recorded, not run, and gets no
// "line done". "*" lines never run.
TEST_F(MessageTest, BlockSkip) {
  PathGroups* paths = ParseProgram("block_skip.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 5u);
  const CPathPolyline* p = OnlyPolyline(paths, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {5, 0, 0}));
  EXPECT_TRUE((*paths)[3].empty()) << "a * line is not run";
  p = OnlyPolyline(paths, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(0), {5, 0, 0}));

  char skip = 1;
  Code_Skip(&skip);
  Log().Clear();
  paths = ParseProgram("block_skip.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 5u);
  EXPECT_TRUE((*paths)[2].empty()) << "the / line is recorded but not run";
  p = OnlyPolyline(paths, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(0), {1, 0, 0}));
  EXPECT_TRUE(Near(p->Point(1), {2, 0, 0}));
  std::vector<std::uintptr_t> done;
  for (const WindowMessage& m : Log().Window())
    if (m.message == WM_CODE_LINEDONE) done.push_back(m.wParam);
  const std::vector<std::uintptr_t> expectedDone = {0, 3, 4};  // line 4: empty, after the last line feed
  EXPECT_EQ(done, expectedDone);
}

// GOTO 30 jumps over N20: the executed blocks are the preamble, N10, the
// GOTO line and N30, which starts where N10 ended.
TEST_F(MessageTest, GotoJumpsToTheNumberedLine) {
  PathGroups* paths = ParseProgram("goto.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 4u);
  EXPECT_TRUE((*paths)[2].empty());
  ASSERT_EQ((*paths)[3].size(), 1u);
  EXPECT_TRUE(Near((*paths)[3][0]->Point(0), {1, 0, 0}));
  EXPECT_TRUE(Near((*paths)[3][0]->Point(1), {3, 0, 0}));
  const std::vector<Record> moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0].line, 0);
  EXPECT_EQ(moves[1].line, 3);
  EXPECT_EQ(moves[1].position.x, 3.0);
}


// GOTO 10 finds N0010; of two lines N20 the later one is the target; a GOTO
// to a number that no line has goes on with the next line.
TEST_F(MessageTest, GotoTargets) {
  ASSERT_NE(ParseProgram("goto_leading_zeros.nc"), nullptr);
  std::vector<Record> moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].line, 2);
  EXPECT_EQ(moves[0].position.x, 1.0);

  ASSERT_NE(ParseProgram("goto_duplicate.nc"), nullptr);
  moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].line, 2);
  EXPECT_EQ(moves[0].position.x, 2.0);

  ASSERT_NE(ParseProgram("goto_missing.nc"), nullptr);
  moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].line, 1);
  EXPECT_EQ(moves[0].position.x, 1.0);
}


// After a jump the message names the program line, not the block's place in
// the run: the arc on line 3 (N30) that cannot exist is the third executed
// block.
TEST_F(MessageTest, MessageAfterAJumpNamesItsLine) {
  PathGroups* paths = ParseProgram("goto_message.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 2u) << "preamble and the GOTO line";
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].line, 3);
  EXPECT_EQ(Log().messages[0].sequence, 30);
}

}  // namespace
}  // namespace apitest
