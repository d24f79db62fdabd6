// The four data tables through the data exports: counts, values and texts,
// cells outside a table, G10 data input, the round trip through their files
// and what is (not) written back.
#include <sys/stat.h>
#include <utime.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>
#include <tuple>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class DataTableTest : public ApiTest {
 protected:
  std::u16string Text(unsigned kind, int row, int col, bool type = false) {
    char16_t* s = type ? Code_GetDataType(&kind, &row, &col) : Code_GetDataStr(&kind, &row, &col);
    return s ? s : u"<null>";
  }
  void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
};

// Counts of the fixed tables; number texts (whole numbers without decimals,
// others with three); variable kinds from the shipped file; Code_AddDataValue
// reads, adds and writes back. A kind without a table changes nothing.
TEST_F(DataTableTest, CountsTextsAndAdd) {
  for (auto table : {std::tuple{0u, 401, 4}, {1u, 7, 1}, {7u, -3, -3}}) {
    auto [kind, rows, cols] = table;
    int r = -3, c = -3;
    Code_GetDataCount(&kind, &r, &c);
    EXPECT_TRUE(r == rows && c == cols) << kind;
  }
  SetCell(0, 3, 2, -0.5);
  EXPECT_EQ(Text(0, 3, 2), u"-0.500");
  EXPECT_EQ(Text(3, 100, 0, true), u"Common");
  unsigned kind = 0;
  int row = 2, col = 1;
  double delta = 0.25;
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, &delta), 0.25);
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, &delta), 0.5);
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, nullptr), 0.0);
  kind = 7;
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, &delta), 0.0);
  EXPECT_EQ(Cell(0, 2, 1), 0.5);
}

// A variable's text is its whole value: the shortest text that reads back as
// the same number, never cut to a fixed width.
TEST_F(DataTableTest, VariableTextsShowTheWholeValue) {
  const std::pair<double, const char16_t*> rows[] = {
      {12345.678, u"12345.678"}, {-1234.5678, u"-1234.5678"}, {3e9, u"3e+09"},
      {0.1, u"0.1"},             {-2.5e-9, u"-2.5e-09"},       {7, u"7"},
  };
  for (auto [value, text] : rows) {
    SetCell(3, 500, 0, value);
    const std::u16string shown = Text(3, 500, 0);
    EXPECT_EQ(shown, text) << value;
    std::string ascii(shown.begin(), shown.end());
    double back = 0;
    std::from_chars(ascii.data(), ascii.data() + ascii.size(), back);
    EXPECT_EQ(back, value) << "reads back";
  }
}

// Cells outside a table: reading gives 0, writing writes nothing; the files
// written afterwards hold only the cell that was set.
TEST_F(DataTableTest, CellsOutsideTheTablesAreNotTouched) {
  SetCell(0, 400, 3, 9.0);  // the last cell: inside
  const int max = std::numeric_limits<int>::max();
  const std::tuple<unsigned, int, int> outside[] = {{0, 401, 0}, {0, -1, 0}, {0, 0, 4},       {0, 0, -1}, {1, 7, 0},
                                                    {1, 1, 3},   {3, -1, 0}, {3, 6000000, 0}, {3, max, 0}};
  for (auto [kind, row, col] : outside) {
    SetCell(kind, row, col, 77.0);
    EXPECT_EQ(Cell(kind, row, col), 0.0) << kind << " " << row << "," << col;
    Text(kind, row, col);
    Text(kind, row, col, true);
  }
  unsigned kind = 0;
  int row = 1, col = 0;
  Code_SetData(&kind, &row, &col, nullptr);
  Code_SetData(&kind, nullptr, &col, nullptr);
  EXPECT_EQ(Code_GetDataValue(nullptr, &row, &col), 0.0);
  Code_GetDataStr(&kind, &row, nullptr);
  Code_Uninitialize();
  const std::string offsets = Bytes(TablePath("offset.dat"));
  ASSERT_EQ(offsets.size(), 401u * 4 * 8);
  for (std::size_t n = 0; n + 1 < 401 * 4; ++n) ASSERT_EQ(DoubleAt(offsets, n), 0.0) << "cell " << n;
  EXPECT_EQ(DoubleAt(offsets, 401 * 4 - 1), 9.0);
  EXPECT_TRUE(Bytes(TablePath("partzero.dat")) == std::string(7 * 3 * 8, '\0'));
}

// G10 writes the tables: later lines use the new values, the data input
// records tell work system data (I 0) from offset data (I 1), and the
// changed tables reach their files.
TEST_F(DataTableTest, G10DataInput) {
  SetWorkOffset(1, {100, 200, 7});
  PathGroups* paths = Parse(
      u"G10 L2 P1 X50\nG10 L2 P2 X1 Y2 Z3\nG10 L10 P3 R5\nG10 L11 P3 R0.5\nG10 L12 P4 R2\nG10 L13 P4 R0.25\n"
      u"G54 G00 X0 Y0 Z0\nG43 H3 G00 Z10\n");
  EXPECT_TRUE(Log().messages.empty());
  EXPECT_TRUE(Near(End(paths, 6), {50, 200, 7}));
  EXPECT_TRUE(Near(End(paths, 7), {50, 200, 10 + 7 + 5.5}));
  std::vector<double> inputs;
  for (const Record& r : OfKind(Simulate(), 18)) inputs.push_back(r.i);
  EXPECT_EQ(inputs, (std::vector<double>{0, 0, 1, 1, 1, 1}));
  Code_Uninitialize();
  const std::string zero = Bytes(TablePath("partzero.dat")), offsets = Bytes(TablePath("offset.dat"));
  EXPECT_EQ(DoubleAt(zero, 1 * 3 + 0), 50.0);
  EXPECT_EQ(DoubleAt(zero, 1 * 3 + 1), 200.0) << "L2 P1 X50 writes only column 0";
  EXPECT_EQ(DoubleAt(zero, 2 * 3 + 2), 3.0);
  EXPECT_EQ(DoubleAt(offsets, 3 * 4 + 1), 0.5);
  EXPECT_EQ(DoubleAt(offsets, 4 * 4 + 3), 0.25);
}

// What is set through Code_SetData is written when the tables are replaced
// and read back exactly; a variable keeps its full precision, in a
// locale-independent text with CR LF line ends. The last line of
// "variables.txt" counts without a line end.
TEST_F(DataTableTest, RoundTripThroughTheFiles) {
  const double precise = 1.2345678901234567;
  SetCell(0, 5, 2, 1.25);
  SetCell(3, 500, 0, precise);
  SetCell(3, 501, 0, -2.5e-9);
  ASSERT_EQ(SwitchData(dataRoot), 0);
  EXPECT_EQ(Cell(0, 5, 2), 1.25);
  EXPECT_EQ(Cell(3, 500, 0), precise);
  EXPECT_EQ(Cell(3, 501, 0), -2.5e-9);
  EXPECT_TRUE(Near(End(Parse(u"G00 X#500 Y0 Z0\n"), 0), {precise, 0, 0}, 0));
  EXPECT_EQ(DoubleAt(Bytes(TablePath("offset.dat")), 5 * 4 + 2), 1.25);
  const std::string vars = Bytes(TablePath("variables.txt"));
  std::size_t at = 0;
  for (int n = 0; n < 500; ++n) at = vars.find("\r\n", at) + 2;
  double v = 0;
  EXPECT_EQ(std::from_chars(vars.data() + at, vars.data() + vars.size(), v).ptr, vars.data() + vars.find(' ', at));
  EXPECT_EQ(v, precise);
  EXPECT_EQ(vars.substr(vars.find(' ', at), 4), " 2\r\n");

  WriteBytes(TablePath("variables.txt"), "1.5 2\r\n7 3");
  ASSERT_EQ(SwitchData(dataRoot), 0);
  EXPECT_EQ(Cell(3, 1, 0), 7.0);
  EXPECT_EQ(Text(3, 1, 0, true), u"System");
}

TEST_F(DataTableTest, UnchangedTablesAreNotRewritten) {
  const std::string files[3] = {"offset.dat", "partzero.dat", "variables.txt"};
  struct utimbuf old {
    978307200, 978307200
  };  // 2001-01-01
  for (const std::string& f : files) ASSERT_EQ(utime(TablePath(f).c_str(), &old), 0);
  ASSERT_EQ(SwitchData(dataRoot), 0);
  Code_Uninitialize();
  for (const std::string& f : files) {
    struct stat st {};
    ASSERT_EQ(stat(TablePath(f).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 978307200) << f;
  }
}

// Tables read from a folder without files are all zero and reading creates
// nothing; a changed table is written on Code_Uninitialize.
TEST_F(DataTableTest, ReadingMissingFilesCreatesNothing) {
  const std::string empty = dataRoot + "/empty";
  ASSERT_TRUE(std::filesystem::create_directory(empty));
  ASSERT_EQ(SwitchData(empty), 0);
  EXPECT_EQ(Cell(0, 1, 0) + Cell(1, 1, 0), 0.0);
  ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
  Code_Uninitialize();
  EXPECT_TRUE(std::filesystem::is_empty(empty));
  StartLibrary();
  ASSERT_EQ(SwitchData(empty), 0);
  SetCell(0, 1, 0, 2.5);
  Code_Uninitialize();
  EXPECT_EQ(DoubleAt(Bytes(empty + "/fanuc/offset.dat"), 4), 2.5);
}

}  // namespace
}  // namespace apitest
