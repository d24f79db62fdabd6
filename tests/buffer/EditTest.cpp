// Item editing on an analyzer's table: insert, replace, delete, and the
// cursor each edit leaves.
#include "BufferTestUtil.h"

namespace quillet::test {
namespace {

enum Op { kInsert, kReplace, kDelete };

struct EditCase {
  Op op;
  std::u16string text;
  int line, col;          // the cursor before
  Lines table;            // the table after
  int endLine, endCol;    // the cursor after
};

// Every edit starts from  O100 ;  /  G1 X1 Y2 ;  /  M30 ;
TEST(Edit, TableAndCursorAfterEachEdit) {
  const Items l0{u"O100", u";"}, l1{u"G1", u"X1", u"Y2", u";"}, l2{u"M30", u";"};
  const EditCase cases[] = {
      // A block end at the line end opens an empty line, inside a line it splits it.
      {kInsert, u";", 1, 3, {l0, l1, {u";"}, l2}, 2, 0},
      {kInsert, u";", 1, 1, {l0, {u"G1", u"X1", u";"}, {u"Y2", u";"}, l2}, 1, 2},
      // Words at the end of the last line make a new line, at the end of
      // another line they start the next one, inside a line they follow the
      // cursor item.
      {kInsert, u"Z5", 2, 1, {l0, l1, l2, {u"Z5", u";"}}, 3, 0},
      {kInsert, u"Z5 F100", 1, 3, {l0, l1, {u"Z5", u"F100", u"M30", u";"}}, 2, 3},
      {kInsert, u"Z5 F100", 1, 1, {l0, {u"G1", u"X1", u"Z5", u"F100", u"Y2", u";"}, l2}, 1, 3},
      // Digits extend the word at the cursor; what follows them is its own item.
      {kInsert, u"5.5", 1, 1, {l0, {u"G1", u"X15", u".5", u"Y2", u";"}, l2}, 1, 2},
      {kInsert, u"A1;B2", 1, 1, {l0, {u"G1", u"X1", u"A1", u";"}, {u"B2", u"Y2", u";"}, l2}, 1, 3},
      {kInsert, u"A1;B2", 1, 3, {l0, l1, {u"A1", u";"}, {u"B2", u"M30", u";"}}, 3, 2},
      {kInsert, u"A1;B2", 2, 1, {l0, l1, l2, {u"A1", u";"}, {u"B2", u";"}}, 4, 1},
      {kInsert, u";A1", 1, 3, {l0, l1, {u"A1", u";"}, l2}, 2, 1},
      // Empty or unbalanced text and a cursor outside the table change nothing.
      {kInsert, u"X1)", 1, 1, {l0, l1, l2}, 1, 1},
      {kInsert, u"X9", 1, 4, {l0, l1, l2}, 1, 4},
      {kReplace, u"X9", 0, 2, {l0, l1, l2}, 0, 2},
      {kReplace, u"X8 Z9", 1, 1, {l0, {u"G1", u"X8", u"Z9", u"Y2", u";"}, l2}, 1, 1},
      {kReplace, u"X7;X8", 1, 1, {l0, {u"G1", u"X7", u";"}, {u"X8", u"Y2", u";"}, l2}, 2, 0},
      // Replacing a block end joins the next line, the last one is kept.
      {kReplace, u"Z1", 1, 3, {l0, {u"G1", u"X1", u"Y2", u"Z1", u"M30", u";"}}, 1, 3},
      {kReplace, u"M2", 2, 1, {l0, l1, {u"M30", u"M2", u";"}}, 2, 1},
      {kDelete, u"", 1, 1, {l0, {u"G1", u"Y2", u";"}, l2}, 1, 1},
      {kDelete, u"", 0, 1, {{u"O100", u"G1", u"X1", u"Y2", u";"}, l2}, 0, 1},
      {kDelete, u"", 2, 1, {l0, l1, l2}, 2, 1},  // the last block end stays
  };
  for (const auto& c : cases) {
    CCodeAnalyzer a;
    a.Analyze(u"O100\nG1 X1 Y2\nM30");
    int line = c.line, col = c.col;
    if (c.op == kInsert) a.InsertText(c.text, line, col);
    if (c.op == kReplace) a.ReplaceItem(c.text, line, col);
    if (c.op == kDelete) a.DeleteItem(line, col);
    EXPECT_EQ(std::tuple(Copy(a.GetTable()), line, col), std::tuple(c.table, c.endLine, c.endCol))
        << plat::WideToUtf8(c.text) << " at " << c.line << "," << c.col;
  }
}

TEST(Edit, EmptyLinesAndEmptyTables) {
  CCodeAnalyzer a;
  int line = 1, col = 0;
  a.Analyze(u"G1\n\nM30");
  a.DeleteItem(line, col);  // the only item of a line: the line goes
  EXPECT_EQ(Copy(a.GetTable()), (Lines{{u"G1", u";"}, {u"M30", u";"}}));
  a.Analyze(u"O\nG1");
  a.ReplaceItem(u"X1", line = 0, col = 0);  // a bare "O" at the start stays
  EXPECT_EQ(Copy(a.GetTable()), (Lines{{u"O", u";"}, {u"G1", u";"}}));
  CCodeAnalyzer empty;
  empty.ReplaceItem(u"X1", line = 0, col = 0);
  empty.DeleteItem(line, col);
  EXPECT_EQ(empty.GetTable(), nullptr);
  empty.InsertText(u"G1 X1", line = 7, col = 7);
  EXPECT_EQ(Copy(empty.GetTable()), (Lines{{u"G1", u"X1", u";"}}));
}

}  // namespace
}  // namespace quillet::test
