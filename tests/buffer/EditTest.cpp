// Item editing in a buffer: each edit changes the text at the cursor item
// only, the table shows the new text, and the cursor lands on the edit.
#include "BufferTestUtil.h"
#include "mod_gcode/text/CodeBuffer.h"

namespace quillet::test {
namespace {

enum Op { kInsert, kReplace, kDelete };

struct EditCase {
  Op op;
  std::u16string text;
  int line, col;        // the cursor before
  std::u16string after;  // the text after
  int endLine, endCol;  // the cursor after
};

void Apply(CCodeBuffer& b, Op op, const std::u16string& text, int& line, int& col) {
  if (op == kInsert) b.Insert(text, line, col);
  if (op == kReplace) b.Replace(text, line, col);
  if (op == kDelete) b.Delete(line, col);
}

// Every edit starts from  O100 ;  /  G1 X1 Y2 ;  /  M30 ;
TEST(Edit, TextTableAndCursorAfterEachEdit) {
  const std::u16string start = u"O100\nG1 X1 Y2\nM30";
  const EditCase cases[] = {
      // A block end at the line end opens an empty line, inside a line it splits it.
      {kInsert, u";", 1, 3, u"O100\nG1 X1 Y2\n\nM30", 2, 0},
      {kInsert, u";", 1, 1, u"O100\nG1 X1\n Y2\nM30", 1, 2},
      // Words at the end of the last line make a new line, at the end of
      // another line they start the next one, inside a line they follow the
      // cursor item with a blank as the line has them.
      {kInsert, u"Z5", 2, 1, u"O100\nG1 X1 Y2\nM30\nZ5", 3, 0},
      {kInsert, u"Z5 F100", 1, 3, u"O100\nG1 X1 Y2\nZ5 F100 M30", 2, 1},
      {kInsert, u"Z5 F100", 1, 1, u"O100\nG1 X1 Z5 F100 Y2\nM30", 1, 3},
      {kInsert, u"F100", 1, 2, u"O100\nG1 X1 Y2 F100\nM30", 1, 3},
      // Digits extend the word at the cursor.
      {kInsert, u"5.5", 1, 1, u"O100\nG1 X15.5 Y2\nM30", 1, 1},
      {kInsert, u"A1;B2", 1, 1, u"O100\nG1 X1 A1\nB2 Y2\nM30", 2, 0},
      {kInsert, u"A1;B2", 1, 3, u"O100\nG1 X1 Y2\nA1\nB2 M30", 3, 0},
      {kInsert, u"A1;B2", 2, 1, u"O100\nG1 X1 Y2\nM30\nA1\nB2", 4, 0},
      {kInsert, u";A1", 1, 3, u"O100\nG1 X1 Y2\nA1\nM30", 2, 1},
      {kInsert, u"(a;b)", 1, 1, u"O100\nG1 X1 (a;b) Y2\nM30", 1, 2},  // a ";" in a comment stays
      // Empty or unbalanced text and a cursor outside the table change nothing.
      {kInsert, u"X1)", 1, 1, start, 1, 1},
      {kInsert, u"", 1, 1, start, 1, 1},
      {kInsert, u"X9", 1, 4, start, 1, 4},
      {kReplace, u"X9", 0, 2, start, 0, 2},
      {kReplace, u"O9", 0, 0, start, 0, 0},  // the program number stays
      {kReplace, u"X8 Z9", 1, 1, u"O100\nG1 X8 Z9 Y2\nM30", 1, 1},
      {kReplace, u"X7;X8", 1, 1, u"O100\nG1 X7\nX8 Y2\nM30", 2, 0},
      // In place of a block end the text ends the line; the line end stays.
      {kReplace, u"Z1", 1, 3, u"O100\nG1 X1 Y2 Z1\nM30", 1, 3},
      {kReplace, u"Z1;", 1, 3, u"O100\nG1 X1 Y2 Z1\n\nM30", 1, 4},
      {kReplace, u"M2", 2, 1, u"O100\nG1 X1 Y2\nM30 M2", 2, 1},
      {kDelete, u"", 1, 1, u"O100\nG1 Y2\nM30", 1, 1},
      {kDelete, u"", 1, 0, u"O100\nX1 Y2\nM30", 1, 0},
      {kDelete, u"", 1, 2, u"O100\nG1 X1\nM30", 1, 2},
      {kDelete, u"", 0, 1, u"O100 G1 X1 Y2\nM30", 0, 1},
      {kDelete, u"", 0, 0, start, 0, 0},  // the program number stays
      {kDelete, u"", 2, 1, start, 2, 1},  // the last block end stays
  };
  for (const auto& c : cases) {
    CCodeBuffer b;
    b.Reset(start.c_str(), nullptr);
    int line = c.line, col = c.col;
    Apply(b, c.op, c.text, line, col);
    const std::u16string text = b.GetText();
    EXPECT_EQ(std::tuple(text, line, col), std::tuple(c.after, c.endLine, c.endCol))
        << plat::WideToUtf8(c.text) << " at " << c.line << "," << c.col;
    CCodeAnalyzer fresh;
    EXPECT_EQ(Copy(b.GetTable()), Copy(fresh.Analyze(text))) << plat::WideToUtf8(c.text);
  }
}

// Words written without blanks stay so: a blank goes in only where the new
// text would run into its neighbour.
TEST(Edit, CompactLinesStayCompact) {
  const struct {
    Op op;
    std::u16string text;
    int col;
    std::u16string after;
  } cases[] = {
      {kInsert, u"Z5", 1, u"G1X1Z5Y2"},
      {kInsert, u"5", 0, u"G15X1Y2"},
      {kReplace, u"X5", 1, u"G1X5Y2"},
      {kReplace, u"5", 1, u"G1 5Y2"},  // a value alone would join G1
      {kDelete, u"", 1, u"G1Y2"},
  };
  for (const auto& c : cases) {
    CCodeBuffer b;
    b.Reset(u"G1X1Y2", nullptr);
    int line = 0, col = c.col;
    Apply(b, c.op, c.text, line, col);
    EXPECT_EQ(std::u16string(b.GetText()), c.after) << plat::WideToUtf8(c.text);
  }
}

TEST(Edit, EmptyLinesAndEmptyBuffers) {
  CCodeBuffer b;
  int line = 1, col = 0;
  b.Reset(u"G1\n%\nM30", nullptr);
  b.Delete(line, col);  // a line without items goes, with what it holds
  EXPECT_EQ(std::u16string(b.GetText()), u"G1\nM30");
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"G1", u";"}, {u"M30", u";"}}));
  CCodeBuffer empty;
  empty.Replace(u"X1", line = 0, col = 0);
  empty.Delete(line, col);
  EXPECT_EQ(empty.GetTable(), nullptr);
  empty.Insert(u"G1 X1;M30", line = 7, col = 7);
  EXPECT_EQ(std::u16string(empty.GetText()), u"G1 X1\nM30");
  EXPECT_EQ(Copy(empty.GetTable()), (Lines{{u"G1", u"X1", u";"}, {u"M30", u";"}}));
  EXPECT_EQ(std::pair(line, col), std::pair(1, 0));
}

}  // namespace
}  // namespace quillet::test
