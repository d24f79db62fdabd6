// The four data tables through the data exports: counts, values and texts,
// cells outside a table, the round trip through their files, and what is (not)
// written back.
#include <sys/stat.h>
#include <utime.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "tests/api/ApiHarness.h"

namespace fs = std::filesystem;

namespace apitest {
namespace {

class DataTableTest : public ApiTest {
 protected:
  std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  double DoubleAt(const std::string& bytes, std::size_t index) {
    double v = NAN;
    if ((index + 1) * 8 <= bytes.size()) std::memcpy(&v, bytes.data() + index * 8, 8);
    return v;
  }
  // Line `n` (from 0) of a text file, without its line end.
  std::string Line(const std::string& path, int n) {
    std::istringstream in(Bytes(path));
    std::string line;
    for (int i = 0; i <= n; ++i)
      if (!std::getline(in, line)) return "<missing>";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  void Reload() {
    std::u16string folder = W(dataRoot), system = u"fanuc";
    ASSERT_EQ(Code_SwitchData(folder.data(), system.data()), 0);
  }
  std::u16string Str(unsigned kind, int row, int col) {
    char16_t* s = Code_GetDataStr(&kind, &row, &col);
    return s ? std::u16string(s) : u"<null>";
  }
  std::u16string Type(unsigned kind, int row, int col) {
    char16_t* s = Code_GetDataType(&kind, &row, &col);
    return s ? std::u16string(s) : u"<null>";
  }
};

TEST_F(DataTableTest, CountsOfTheFixedTables) {
  unsigned kind = 0;
  int rows = 0, cols = 0;
  Code_GetDataCount(&kind, &rows, &cols);
  EXPECT_EQ(rows, 401);
  EXPECT_EQ(cols, 4);
  kind = 1;
  Code_GetDataCount(&kind, &rows, &cols);
  EXPECT_EQ(rows, 7);
  EXPECT_EQ(cols, 1);
  kind = 7;
  rows = cols = -3;
  Code_GetDataCount(&kind, &rows, &cols);
  EXPECT_EQ(rows, -3);
  EXPECT_EQ(cols, -3);
  kind = 0;
  Code_GetDataCount(&kind, nullptr, nullptr);
}

// Number texts: a whole number without decimals, anything else with three.
// Variable kinds come from the shipped file (#1 to #32 local, #100 common,
// #1000 system).
TEST_F(DataTableTest, ValueAndTypeTexts) {
  SetCell(0, 3, 2, -0.5);
  SetCell(0, 3, 3, 2.0);
  SetCell(1, 2, 1, 12.25);
  EXPECT_EQ(Str(0, 3, 2), u"-0.500");
  EXPECT_EQ(Str(0, 3, 3), u"2");
  EXPECT_EQ(Str(1, 2, 1), u"12.250");
  EXPECT_EQ(Type(0, 3, 2), u"");
  EXPECT_EQ(Type(3, 100, 0), u"Common");
  EXPECT_EQ(Type(3, 1000, 0), u"System");
  EXPECT_EQ(Type(3, 5, 0), u"Local");
  // Rows below 33 are the current program's locals: empty without a program.
  EXPECT_EQ(Str(3, 5, 0), u"");
}

// Code_AddDataValue reads, adds and writes back; kind 7 has no table.
TEST_F(DataTableTest, AddDataValue) {
  unsigned kind = 0;
  int row = 2, col = 1;
  double delta = 0.25;
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, &delta), 0.25);
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, &delta), 0.5);
  EXPECT_EQ(Cell(0, 2, 1), 0.5);
  kind = 7;
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, &delta), 0.0);
  EXPECT_EQ(Cell(7, 2, 1), 0.0);
  kind = 0;
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, nullptr), 0.0);
  EXPECT_EQ(Cell(0, 2, 1), 0.5);
}

// Cells outside a table: reading gives 0, writing writes nothing; the files
// written afterwards hold only the cells that were set.
TEST_F(DataTableTest, CellsOutsideTheTablesAreNotTouched) {
  SetCell(0, 400, 3, 9.0);  // the last cell: inside
  for (auto [row, col] : {std::pair{401, 0}, {-1, 0}, {0, 4}, {0, -1}, {1, 4}, {100000, 0}}) {
    SCOPED_TRACE(std::to_string(row) + "," + std::to_string(col));
    SetCell(0, row, col, 77.0);
    EXPECT_EQ(Cell(0, row, col), 0.0);
  }
  for (auto [row, col] : {std::pair{7, 0}, {-1, 0}, {1, 3}, {0, -1}, {6, 3}}) {
    SCOPED_TRACE(std::to_string(row) + "," + std::to_string(col));
    SetCell(1, row, col, 66.0);
    EXPECT_EQ(Cell(1, row, col), 0.0);
  }
  for (int row : {-1, 6000000, std::numeric_limits<int>::max()}) {
    SCOPED_TRACE(row);
    SetCell(3, row, 0, 55.0);
    EXPECT_EQ(Cell(3, row, 0), 0.0);
    Str(3, row, 0);
    Type(3, row, 0);
  }
  unsigned kind = 0;
  int row = 1, col = 0;
  Code_SetData(&kind, &row, &col, nullptr);
  Code_SetData(&kind, nullptr, &col, nullptr);
  EXPECT_EQ(Code_GetDataValue(&kind, nullptr, &col), 0.0);
  EXPECT_EQ(Code_GetDataValue(nullptr, &row, &col), 0.0);
  Code_GetDataStr(nullptr, &row, &col);
  Code_GetDataType(&kind, &row, nullptr);

  Code_Uninitialize();
  const std::string offsets = Bytes(TablePath("offset.dat"));
  ASSERT_EQ(offsets.size(), 401u * 4 * 8);
  for (std::size_t n = 0; n + 1 < 401 * 4; ++n) ASSERT_EQ(DoubleAt(offsets, n), 0.0) << "cell " << n;
  EXPECT_EQ(DoubleAt(offsets, 401 * 4 - 1), 9.0);
  const std::string zeros = Bytes(TablePath("partzero.dat"));
  ASSERT_EQ(zeros.size(), 7u * 3 * 8);
  for (std::size_t n = 0; n < 7 * 3; ++n) EXPECT_EQ(DoubleAt(zeros, n), 0.0) << "cell " << n;
}

// What is set through the exports is written to the files when the tables
// are replaced and read back from them exactly; a macro variable keeps its
// full precision.
TEST_F(DataTableTest, RoundTripThroughTheFiles) {
  const double precise = 1.2345678901234567;
  const double small = -2.5e-9;
  SetCell(0, 5, 2, 1.25);
  SetCell(1, 3, 1, -7.125);
  SetCell(3, 500, 0, precise);
  SetCell(3, 501, 0, small);
  Reload();
  EXPECT_EQ(Cell(0, 5, 2), 1.25);
  EXPECT_EQ(Cell(1, 3, 1), -7.125);
  EXPECT_EQ(Cell(3, 500, 0), precise);
  EXPECT_EQ(Cell(3, 501, 0), small);
  EXPECT_EQ(Type(3, 500, 0), u"Common");

  const std::string offsets = Bytes(TablePath("offset.dat"));
  ASSERT_EQ(offsets.size(), 12832u);
  EXPECT_EQ(DoubleAt(offsets, 5 * 4 + 2), 1.25);
  const std::string zeros = Bytes(TablePath("partzero.dat"));
  ASSERT_EQ(zeros.size(), 168u);
  EXPECT_EQ(DoubleAt(zeros, 3 * 3 + 1), -7.125);

  // "variables.txt": line n is #n, a value word and the kind, CR LF ended.
  const std::string line = Line(TablePath("variables.txt"), 500);
  EXPECT_EQ(line.find(','), std::string::npos) << line;
  const std::size_t space = line.find(' ');
  ASSERT_NE(space, std::string::npos) << line;
  double v = 0;
  auto res = std::from_chars(line.data(), line.data() + space, v);
  EXPECT_EQ(res.ec, std::errc()) << line;
  EXPECT_EQ(v, precise) << line;
  EXPECT_EQ(line.substr(space + 1), "2");
  EXPECT_EQ(Line(TablePath("variables.txt"), 1000), "0 3");
  const std::string text = Bytes(TablePath("variables.txt"));
  EXPECT_NE(text.find("\r\n"), std::string::npos);
}

// Tables that did not change are not written back.
TEST_F(DataTableTest, UnchangedTablesAreNotRewritten) {
  const std::string files[3] = {"offset.dat", "partzero.dat", "variables.txt"};
  struct utimbuf old {978307200, 978307200};  // 2001-01-01
  for (const std::string& f : files) ASSERT_EQ(utime(TablePath(f).c_str(), &old), 0);
  std::string before[3];
  for (int n = 0; n < 3; ++n) before[n] = Bytes(TablePath(files[n]));
  Reload();
  EXPECT_EQ(Cell(0, 1, 0), 0.0);
  Code_Uninitialize();
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(files[n]);
    struct stat st {};
    ASSERT_EQ(stat(TablePath(files[n]).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 978307200);
    EXPECT_EQ(Bytes(TablePath(files[n])), before[n]);
  }
}

// Tables read from a folder without files: all zero, and nothing is created
// by reading; a changed table is written on Code_Uninitialize.
TEST_F(DataTableTest, ReadingMissingFilesCreatesNothing) {
  const std::string empty = dataRoot + "/empty";
  ASSERT_TRUE(fs::create_directory(empty));
  std::u16string folder = W(empty), system = u"fanuc";
  ASSERT_EQ(Code_SwitchData(folder.data(), system.data()), 0);
  EXPECT_EQ(Cell(0, 1, 0), 0.0);
  EXPECT_EQ(Cell(1, 1, 0), 0.0);
  auto filesUnder = [&] {
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(empty))
      if (e.is_regular_file()) ++n;
    return n;
  };
  EXPECT_EQ(filesUnder(), 0);
  ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
  Code_Uninitialize();
  EXPECT_EQ(filesUnder(), 0) << "no table changed, nothing to write";

  StartLibrary();
  ASSERT_EQ(Code_SwitchData(folder.data(), system.data()), 0);
  SetCell(0, 1, 0, 2.5);
  Code_Uninitialize();
  EXPECT_TRUE(fs::exists(empty + "/fanuc/offset.dat"));
  EXPECT_EQ(DoubleAt(Bytes(empty + "/fanuc/offset.dat"), 4), 2.5);
}

// A short "offset.dat" fills only its first cells and is not padded on disk
// unless the table changes.
TEST_F(DataTableTest, ShortOffsetFile) {
  std::string bytes(32, '\0');
  const double row0[4] = {1, 2, 3, 4};
  std::memcpy(bytes.data(), row0, 32);
  WriteBytes(TablePath("offset.dat"), bytes);
  Reload();
  for (int col = 0; col < 4; ++col) EXPECT_EQ(Cell(0, 0, col), col + 1.0);
  EXPECT_EQ(Cell(0, 1, 0), 0.0);
  EXPECT_EQ(Cell(0, 400, 3), 0.0);
  Code_Uninitialize();
  EXPECT_EQ(Bytes(TablePath("offset.dat")), bytes);
}

// Code_AddDataValue and Code_SetDataValue changes are written back too.
TEST_F(DataTableTest, AddAndSetDataValueReachTheFiles) {
  unsigned kind = 0;
  int row = 7, col = 3;
  double delta = 1.5;
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, &delta), 1.5);
  kind = 1;
  row = 6;
  col = 2;
  double value = -3.0;
  Code_SetDataValue(&kind, &row, &col, &value);
  Code_Uninitialize();
  EXPECT_EQ(DoubleAt(Bytes(TablePath("offset.dat")), 7 * 4 + 3), 1.5);
  EXPECT_EQ(DoubleAt(Bytes(TablePath("partzero.dat")), 6 * 3 + 2), -3.0);
}

// "variables.txt" whose last line has no line end: that line counts.
TEST_F(DataTableTest, LastVariableLineWithoutLineEndCounts) {
  WriteBytes(TablePath("variables.txt"), "1.5 2\r\n7 3");
  Reload();
  EXPECT_EQ(Cell(3, 0, 0), 1.5);
  EXPECT_EQ(Cell(3, 1, 0), 7.0);
  EXPECT_EQ(Type(3, 1, 0), u"System");
}

// A macro variable set by the host is read by a program word "#n".
TEST_F(DataTableTest, ProgramReadsAVariableSetByTheHost) {
  SetCell(3, 100, 0, 12.5);
  PathGroups* paths = Parse(u"G00 X#100 Y0 Z0\n");
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {12.5, 0, 0}));
}

}  // namespace
}  // namespace apitest
