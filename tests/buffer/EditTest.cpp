// Item editing on an analyzer's table: insert, replace, delete, and the
// cursor each edit leaves.
#include "BufferTestUtil.h"

namespace quillet::test {
namespace {

// O100 ;  /  G1 X1 Y2 ;  /  M30 ;
class Edit : public ::testing::Test {
 protected:
  void SetUp() override { a.Analyze(u"O100\nG1 X1 Y2\nM30"); }
  Lines Table() { return Copy(a.GetTable()); }
  void Insert(std::u16string_view text, int l, int c) {
    line = l;
    col = c;
    a.InsertText(text, line, col);
  }
  void Replace(std::u16string_view text, int l, int c) {
    line = l;
    col = c;
    a.ReplaceItem(text, line, col);
  }
  void Delete(int l, int c) {
    line = l;
    col = c;
    a.DeleteItem(line, col);
  }

  CCodeAnalyzer a;
  int line = 0;
  int col = 0;
  const std::vector<std::u16string> l0{u"O100", u";"};
  const std::vector<std::u16string> l1{u"G1", u"X1", u"Y2", u";"};
  const std::vector<std::u16string> l2{u"M30", u";"};
};

TEST_F(Edit, BlockEndAtTheLineEndOpensAnEmptyLine) {
  Insert(u";", 1, 3);
  EXPECT_EQ(Table(), (Lines{l0, l1, {u";"}, l2}));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(col, 0);
}

TEST_F(Edit, BlockEndInsideALineSplitsIt) {
  Insert(u";", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X1", u";"}, {u"Y2", u";"}, l2}));
  EXPECT_EQ(line, 1);
  EXPECT_EQ(col, 2);
}

TEST_F(Edit, WordsAtTheEndOfTheLastLineMakeANewLine) {
  Insert(u"Z5", 2, 1);
  EXPECT_EQ(Table(), (Lines{l0, l1, l2, {u"Z5", u";"}}));
  EXPECT_EQ(line, 3);
  EXPECT_EQ(col, 0);
}

TEST_F(Edit, WordsAtTheEndOfAnotherLineStartTheNextLine) {
  Insert(u"Z5 F100", 1, 3);
  EXPECT_EQ(Table(), (Lines{l0, l1, {u"Z5", u"F100", u"M30", u";"}}));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(col, 3);
}

TEST_F(Edit, WordsInsideALineFollowTheCursorItem) {
  Insert(u"Z5 F100", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X1", u"Z5", u"F100", u"Y2", u";"}, l2}));
  EXPECT_EQ(line, 1);
  EXPECT_EQ(col, 3);
}

TEST_F(Edit, DigitsExtendTheWordAtTheCursor) {
  Insert(u"23", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X123", u"Y2", u";"}, l2}));
  EXPECT_EQ(col, 1);
  // What follows the digits in the same item is kept as its own item, as if
  // it had been typed one character after the other.
  Insert(u"5.5", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X1235", u".5", u"Y2", u";"}, l2}));
  EXPECT_EQ(col, 2);
  // All digits go to the word, even beyond the twelve units a lexed value keeps.
  Insert(u"12345678901234", 1, 0);
  EXPECT_EQ(a.GetItem(1, 0), u"G112345678901234");
  EXPECT_EQ(a.ColCount(1), 5);
}

TEST_F(Edit, TextWithBlockEndsInsideALine) {
  Insert(u"A1;B2", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X1", u"A1", u";"}, {u"B2", u"Y2", u";"}, l2}));
  // The last piece went to the moved items' line: the cursor ends before it.
  EXPECT_EQ(line, 1);
  EXPECT_EQ(col, 3);
}

TEST_F(Edit, TextEndingInBlockEndInsideALine) {
  Insert(u"A1;B2;", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X1", u"A1", u";"}, {u"B2", u";"}, {u"Y2", u";"}, l2}));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(col, 1);
}

TEST_F(Edit, DigitsThenBlockEndInsideALine) {
  Insert(u"5;Y3", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X15", u";"}, {u"Y3", u"Y2", u";"}, l2}));
  EXPECT_EQ(line, 1);
  EXPECT_EQ(col, 2);
}

TEST_F(Edit, TextWithBlockEndsAtALineEnd) {
  Insert(u"A1;B2", 1, 3);
  EXPECT_EQ(Table(), (Lines{l0, l1, {u"A1", u";"}, {u"B2", u"M30", u";"}}));
  EXPECT_EQ(line, 3);
  EXPECT_EQ(col, 2);
}

TEST_F(Edit, TextWithBlockEndsAtTheEndOfTheTable) {
  Insert(u"A1;B2", 2, 1);
  EXPECT_EQ(Table(), (Lines{l0, l1, l2, {u"A1", u";"}, {u"B2", u";"}}));
  EXPECT_EQ(line, 4);
  EXPECT_EQ(col, 1);
}

TEST_F(Edit, LeadingBlockEndAtALineEnd) {
  Insert(u";A1", 1, 3);
  EXPECT_EQ(Table(), (Lines{l0, l1, {u"A1", u";"}, l2}));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(col, 1);

  SetUp();
  Insert(u";A1;B2", 1, 3);
  EXPECT_EQ(Table(), (Lines{l0, l1, {u"A1", u";"}, {u"B2", u";"}, l2}));
  EXPECT_EQ(line, 3);
  EXPECT_EQ(col, 1);
}

TEST_F(Edit, InsertRefusesEmptyAndUnbalancedText) {
  const Lines before = Table();
  for (std::u16string_view text : {u"", u")(", u"X1)", u"A)B(C"}) {
    Insert(text, 1, 1);
    EXPECT_EQ(Table(), before) << Utf8(text);
  }
  Insert(u"(ok)", 1, 1);
  EXPECT_EQ(a.GetItem(1, 2), u"(ok)");
}

TEST_F(Edit, InsertIntoAnEmptyTableMakesItsOnlyLine) {
  CCodeAnalyzer empty;
  int l = 7, c = 7;
  empty.InsertText(u"G1 X1", l, c);
  EXPECT_EQ(Copy(empty.GetTable()), (Lines{{u"G1", u"X1", u";"}}));
}

TEST_F(Edit, CursorOutsideTheTableChangesNothing) {
  const Lines before = Table();
  Insert(u"X9", 3, 0);
  Insert(u"X9", 1, 4);
  Insert(u"X9", -1, 0);
  Replace(u"X9", 0, 2);
  Replace(u"X9", 1, -1);
  Delete(9, 0);
  Delete(0, -3);
  EXPECT_EQ(Table(), before);
}

TEST_F(Edit, ReplaceAnItem) {
  Replace(u"X7", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X7", u"Y2", u";"}, l2}));
  EXPECT_EQ(line, 1);
  EXPECT_EQ(col, 1);
  Replace(u"X8 Z9", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X8", u"Z9", u"Y2", u";"}, l2}));
}

TEST_F(Edit, ReplaceTheBlockEndOfTheLastLineKeepsIt) {
  Replace(u"M2", 2, 1);
  EXPECT_EQ(Table(), (Lines{l0, l1, {u"M30", u"M2", u";"}}));
}

TEST_F(Edit, ReplaceTheBlockEndOfAnotherLineJoinsTheNext) {
  Replace(u"Z1", 1, 3);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X1", u"Y2", u"Z1", u"M30", u";"}}));
}

TEST_F(Edit, ReplaceWithBlockEndsCutsTheLine) {
  Replace(u"X7;X8", 1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"X7", u";"}, {u"X8", u"Y2", u";"}, l2}));
  EXPECT_EQ(line, 2);
  EXPECT_EQ(col, 0);
}

TEST_F(Edit, ReplaceLeavesABareOAtTheStartAlone) {
  CCodeAnalyzer b;
  b.Analyze(u"O\nG1");
  int l = 0, c = 0;
  b.ReplaceItem(u"X1", l, c);
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"O", u";"}, {u"G1", u";"}}));
  // A program number is the buffer's to protect, not the analyzer's.
  Replace(u"O200", 0, 0);
  EXPECT_EQ(a.GetItem(0, 0), u"O200");
}

TEST_F(Edit, DeleteAnItem) {
  Delete(1, 1);
  EXPECT_EQ(Table(), (Lines{l0, {u"G1", u"Y2", u";"}, l2}));
  EXPECT_EQ(line, 1);
  EXPECT_EQ(col, 1);
}

TEST_F(Edit, DeleteABlockEndJoinsTheNextLine) {
  Delete(0, 1);
  EXPECT_EQ(Table(), (Lines{{u"O100", u"G1", u"X1", u"Y2", u";"}, l2}));
}

TEST_F(Edit, TheLastBlockEndCannotBeDeleted) {
  Delete(2, 1);
  EXPECT_EQ(Table(), (Lines{l0, l1, l2}));
}

TEST_F(Edit, DeletingTheOnlyItemOfALineRemovesTheLine) {
  a.Analyze(u"G1\n\nM30");
  Delete(1, 0);
  EXPECT_EQ(Table(), (Lines{{u"G1", u";"}, {u"M30", u";"}}));
  EXPECT_EQ(line, 1);
  EXPECT_EQ(col, 0);
}

TEST_F(Edit, EditsOnAnEmptyTableChangeNothing) {
  CCodeAnalyzer empty;
  int l = 0, c = 0;
  empty.ReplaceItem(u"X1", l, c);
  empty.DeleteItem(l, c);
  EXPECT_EQ(empty.GetTable(), nullptr);
}

}  // namespace
}  // namespace quillet::test
