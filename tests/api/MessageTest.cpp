// Block messages through CodeMessageCallback and the end of the path at the
// first block with messages; progress messages to the host window; the start
// line and block skip.
#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class MessageTest : public ApiTest {};

// The host gets the program line counted from 1 and the block's N number,
// also after a jump; the path holds the blocks before the one with the
// message.
TEST_F(MessageTest, MessageNamesLineAndNumberAndEndsThePath) {
  const struct {
    const char16_t* text;
    std::size_t lists;
    int line, sequence;
    const char16_t* message;  // or its start
  } cases[] = {{u"G00 X0 Y0 Z0\nG01 X1 F100\nX2\nX3\nX4\nN40 G02 X50 Y0 R1\nG00 X9\n", 6, 6, 40, u"Arc cannot exist"},
               {u"GOTO 30\nG00 X1\nN30 G02 X10 Y0 R1\n", 2, 3, 30, u"Arc cannot exist"},
               {u"G00 X1 Y0 Z0\nN20 GOTO 99\nG00 X9\n", 2, 2, 20, u"Syntax error : Sequence number N99 not found"}};
  for (const auto& c : cases) {
    Log().Clear();
    PathGroups* paths = Parse(c.text);
    ASSERT_NE(paths, nullptr);
    EXPECT_EQ(paths->size(), c.lists);
    ASSERT_EQ(Log().messages.size(), 1u);
    const Message& m = Log().messages[0];
    EXPECT_EQ(m.line, c.line);
    EXPECT_EQ(m.sequence, c.sequence);
    EXPECT_EQ(m.program, u"O1234");
    EXPECT_EQ(m.text.rfind(c.message, 0), 0u);
  }
}

// The window hears: parse start, the line count, one "line done" per parsed
// line (none for a comment line; the last line counts without a line end),
// the path build and, posted, the simulation.
TEST_F(MessageTest, ProgressMessagesInOrder) {
  ASSERT_NE(Parse(u"G00 X1 Y0 Z0\n(comment)\nG00 X2"), nullptr);
  Simulate();
  const std::vector<WindowMessage> expected = {{WM_CODE_PARSESTART, 0, false}, {WM_CODE_LINECOUNT, 3, false},
                                               {WM_CODE_LINEDONE, 0, false},   {WM_CODE_LINEDONE, 2, false},
                                               {WM_CODE_CUTTERPATH, 0, false}, {WM_CODE_AUTORUN, 0, true}};
  EXPECT_EQ(Log().window, expected);
}

// From line 1 the line count is taken from there, line 0 is not run, and
// the first move starts at the start point; a start line outside the text
// reads nothing outside it.
TEST_F(MessageTest, StartLine) {
  PathGroups* paths = Parse(u"G00 X1 Y0 Z0\nG00 X5 Y0 Z0\nG00 X7", {0, 0, 0}, 1);
  ASSERT_EQ(Log().window.at(1), (WindowMessage{WM_CODE_LINECOUNT, 2, false}));
  ASSERT_TRUE(paths && paths->size() == 3u && (*paths)[1].size() == 1u);
  EXPECT_TRUE(Near((*paths)[1][0]->Point(0), {0, 0, 0}) && Near((*paths)[1][0]->Point(1), {5, 0, 0}));
  for (int start : {-1, -1000, 3, 100}) {
    Log().Clear();
    Parse(u"G00 X1 Y0 Z0\nG00 X2\n", {0, 0, 0}, start);
    for (const WindowMessage& m : Log().window) EXPECT_TRUE(m.message != WM_CODE_LINECOUNT || m.wParam <= 3u) << start;
  }
}

// Block skip off: "/G00 X5" runs. On: it is recorded, not run, and gets no
// "line done". A "*" line never runs.
TEST_F(MessageTest, BlockSkip) {
  const std::u16string text = u"G00 X1 Y0 Z0\n/G00 X5\n*G00 X6\nG00 X2\n";
  PathGroups* paths = Parse(text);
  ASSERT_TRUE(paths && paths->size() == 6u);
  EXPECT_TRUE(Near(End(paths, 1), {5, 0, 0}));
  EXPECT_TRUE((*paths)[3].empty());
  char skip = 1;
  Code_Skip(&skip);
  Log().Clear();
  paths = Parse(text);
  ASSERT_TRUE(paths && paths->size() == 6u);
  EXPECT_TRUE((*paths)[2].empty());
  const CPathPolyline* p = OnlyPolyline(paths, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(0), {1, 0, 0}));
  std::vector<std::uintptr_t> done;
  for (const WindowMessage& m : Log().window)
    if (m.message == WM_CODE_LINEDONE) done.push_back(m.wParam);
  EXPECT_EQ(done, (std::vector<std::uintptr_t>{0, 3, 4}));  // line 4: empty, after the last line feed
}

}  // namespace
}  // namespace apitest
