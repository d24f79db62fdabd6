// Tool offsets, work coordinate systems and macro variables: files read
// without being created, short files, cells outside a table, writing back
// only what changed and never over a file that could not be read, exact
// variable values, and the number texts of the cells.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "mod_gcode/tables/DataTables.h"
#include "tests/core/CoreTestUtil.h"

namespace quillet {
namespace {

using coretest::Exists;
using coretest::ReadBytes;
using coretest::ScratchFolder;
using coretest::WriteBytes;

std::string Doubles(std::initializer_list<double> values) {
  std::string out;
  for (double v : values) out.append(reinterpret_cast<const char*>(&v), sizeof v);
  return out;
}

double DoubleAt(const std::string& bytes, std::size_t index) {
  double v = 0.0;
  if ((index + 1) * sizeof v <= bytes.size()) std::memcpy(&v, bytes.data() + index * sizeof v, sizeof v);
  return v;
}

TEST(NumberToText, NearlyWholeNumbersAreIntegersOthersHaveThreeDecimals) {
  const std::pair<double, const char16_t*> rows[] = {
      {4.99999999, u"5"},       // fraction within 2^-23 of 1: the next integer
      {-3.0000000001, u"-3"},   // fraction below 2^-23: the integer part
      {2e-7, u"0.000"},         // above 2^-23
      {3e9, u"3000000000"},     // beyond the range of int
  };
  for (auto [value, text] : rows) EXPECT_EQ(NumberToText(value), WString(text)) << value;
  // Values no integer can hold never reach an integer conversion.
  EXPECT_EQ(NumberToText(1e300).size(), 305u);  // 301 digits, point, three decimals
  EXPECT_FALSE(NumberToText(std::nan("")).empty());
  EXPECT_FALSE(NumberToText(-HUGE_VAL).empty());
}

TEST(ToolOffsets, ShortFileSumsAndCellsOutsideTheTable) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("offset.dat"), Doubles({1.5, 2.0, -3.0, 4.25, 9.0}));
  CDataComp comp;
  comp.Load(tmp.File("offset.dat"));
  EXPECT_EQ(comp.GetSum(0, 2), 1.25);
  EXPECT_EQ(comp.GetSum(0, 3), 4.25);  // the last column has no right neighbour
  // Reads give 0, writes give false and touch no cell (row 0 column 4
  // would be row 1 column 0 in memory).
  for (auto [r, c] : {std::pair{0, 4}, std::pair{-1, 0}, std::pair{401, 0}, std::pair{0, -1}, std::pair{1 << 30, 2}}) {
    EXPECT_EQ(comp.GetValue(r, c), 0.0) << r << "," << c;
    EXPECT_FALSE(comp.SetValue(r, c, 77.0)) << r << "," << c;
    EXPECT_EQ(comp.GetSum(r, c), 0.0) << r << "," << c;
  }
  EXPECT_EQ(comp.GetValue(1, 0), 9.0);

  comp.SetValue(0, 0, 1.5);  // the same value: no change, not written
  EXPECT_TRUE(comp.Store());
  EXPECT_EQ(ReadBytes(tmp.File("offset.dat")).size(), 40u);
  comp.SetValue(0, 1, 5.0);
  ASSERT_TRUE(comp.Store());
  const std::string whole = ReadBytes(tmp.File("offset.dat"));
  ASSERT_EQ(whole.size(), 12832u);
  EXPECT_EQ(DoubleAt(whole, 1), 5.0);
  EXPECT_EQ(DoubleAt(whole, 4), 9.0);
}

TEST(ToolOffsets, AMissingFileIsCreatedOnlyByAChangeAFolderInItsPlaceFails) {
  ScratchFolder tmp;
  CDataComp comp;
  comp.Load(tmp.File("fanuc/offset.dat"));
  EXPECT_TRUE(comp.Store());
  EXPECT_FALSE(Exists(tmp.File("fanuc")));
  comp.SetValue(2, 1, 6.5);
  ASSERT_TRUE(comp.Store());
  EXPECT_EQ(DoubleAt(ReadBytes(tmp.File("fanuc/offset.dat")), 2 * 4 + 1), 6.5);

  // A folder in place of the file: Store fails and the folder stays.
  WriteBytes(tmp.File("offset.dat/keep.txt"), "kept");
  CDataComp blocked;
  blocked.Load(tmp.File("offset.dat"));
  blocked.SetValue(0, 0, 1.0);
  EXPECT_FALSE(blocked.Store());
  EXPECT_EQ(ReadBytes(tmp.File("offset.dat/keep.txt")), "kept");
  EXPECT_TRUE(blocked.IsDirty());  // still to be written
}

// Runs `check` in a child process that cannot read files of mode 0000 (a
// non-root user); returns its exit code, 77 when no such user could be had.
template <typename Fn>
int RunUnprivileged(Fn check) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
    ::_exit(check());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(DataFiles, AFileThatExistsButCannotBeReadIsNeverOverwritten) {
  ScratchFolder tmp;
  ASSERT_EQ(::chmod(tmp.Path().c_str(), 0777), 0);
  const std::string offset = tmp.File("offset.dat"), partzero = tmp.File("partzero.dat");
  const std::string bytes = Doubles({11.0, 12.0, 13.0});
  for (const std::string* f : {&offset, &partzero}) {
    WriteBytes(*f, bytes);
    ASSERT_EQ(::chmod(f->c_str(), 0), 0);
  }
  int code = RunUnprivileged([&] {
    CDataComp comp;
    comp.Load(offset);
    comp.SetValue(0, 0, 99.0);
    CDataCoordSystem coord;
    coord.Load(partzero);
    coord.SetValue(1, 0, 99.0);
    // The same user can write a new table beside them, so only the failed
    // reads kept the two files; Store says that the changes were not
    // written.
    CDataComp fresh;
    fresh.Load(tmp.File("fresh.dat"));
    fresh.SetValue(0, 0, 1.0);
    const bool compStored = comp.Store(), coordStored = coord.Store(), freshStored = fresh.Store();
    return !compStored && !coordStored && freshStored ? 0 : 1;
  });
  if (code == 77) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(code, 0);
  for (const std::string* f : {&offset, &partzero}) {
    ASSERT_EQ(::chmod(f->c_str(), 0644), 0);
    EXPECT_EQ(ReadBytes(*f), bytes) << *f;
  }
  EXPECT_TRUE(Exists(tmp.File("fresh.dat")));
}

TEST(WorkOffsets, SelectionAndCellsOutsideTheTable) {
  ScratchFolder tmp;
  // Ext, G54, G55; the rest of the 168 bytes is missing.
  WriteBytes(tmp.File("partzero.dat"), Doubles({0.5, 0.0, 0.0, 10.0, 20.0, -30.0, 1.0, 2.0, 3.0}));
  CDataCoordSystem coord;
  coord.Load(tmp.File("partzero.dat"));
  EXPECT_EQ(coord.GetCurrent(), CPoint3d(10.0, 20.0, -30.0));  // G54 is current
  ASSERT_TRUE(coord.Select(2));
  EXPECT_FALSE(coord.Select(7));
  EXPECT_FALSE(coord.Select(-1));
  EXPECT_EQ(coord.GetCurrent(), CPoint3d(1.0, 2.0, 3.0));
  // Column 3 of row 1 would be X of row 2 in memory.
  EXPECT_EQ(coord.GetValue(1, 3), 0.0);
  EXPECT_FALSE(coord.SetValue(1, 3, 99.0));
  EXPECT_FALSE(coord.SetValue(7, 0, 99.0));
}

using Vars = std::vector<std::pair<double, int>>;  // value and kind

Vars ReadVariables(const std::string& fileBytes) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("variables.txt"), fileBytes);
  CVariables vars;
  vars.Load(tmp.File("variables.txt"));
  Vars out;
  for (int i = 0; i < vars.Count(); ++i) out.emplace_back(vars.GetValue(i, 0), vars.GetVariable(i)->GetKind());
  return out;
}

TEST(VariablesFile, EveryLineCountsAndUnreadableWordsKeepThePreviousLine) {
  EXPECT_EQ(ReadVariables("1.5 2\r\n7 3"), (Vars{{1.5, 2}, {7.0, 3}}));  // the last line without a line end
  // An empty line repeats the variable before it; a line without a kind
  // keeps the previous kind; before the first line: value 0, kind 0.
  EXPECT_EQ(ReadVariables("\n1.5 2\n\n7\n \t\n"), (Vars{{0.0, 0}, {1.5, 2}, {1.5, 2}, {7.0, 2}, {7.0, 2}}));
  // Kinds outside 0 to 3 become kind 0.
  EXPECT_EQ(ReadVariables("null 0\n2.5 9\n-1 -1\n0.5 3\n"), (Vars{{0.0, 0}, {2.5, 0}, {-1.0, 0}, {0.5, 3}}));
  // An overlong word does not overflow and the kind is still read.
  const Vars longWord = ReadVariables(std::string(5000, '1') + " 2\n");
  EXPECT_TRUE(longWord.size() == 1 && longWord[0].second == 2 && longWord[0].first > 1e120);
}

TEST(VariablesFile, ValuesReadBackExactlyAndTheFileIsWrittenOnlyAfterAChange) {
  ScratchFolder tmp;
  const std::string path = tmp.File("variables.txt");
  WriteBytes(path, "0 2\n\n0 3\n0 1\n0 0");  // an empty line, no final line end
  CVariables vars;
  vars.Load(path);
  EXPECT_TRUE(vars.Store());
  EXPECT_EQ(ReadBytes(path), "0 2\n\n0 3\n0 1\n0 0");  // unchanged: not rewritten
  const double values[] = {0.1, 1.0 / 3.0, -1e-300, 123456789.123456789, 2.5};
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(vars.SetValue(i, 0, values[i]));
  ASSERT_TRUE(vars.Store());
  const std::string bytes = ReadBytes(path);
  EXPECT_NE(bytes.find("\r\n2.5 0\r\n"), std::string::npos) << bytes;
  EXPECT_EQ(bytes.find("\r\r"), std::string::npos);
  const Vars back = ReadVariables(bytes);
  ASSERT_EQ(back.size(), 5u);
  const int kinds[] = {2, 2, 3, 1, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(back[i], (std::pair{values[i], kinds[i]})) << i;

  CVariables missing;
  missing.Load(tmp.File("fanuc/variables.txt"));
  EXPECT_EQ(missing.Count(), 0);
  EXPECT_TRUE(missing.Store());
  EXPECT_FALSE(Exists(tmp.File("fanuc")));
}

TEST(Variables, NumbersOutsideTheTableReachNoVariable) {
  CVariables vars(33);
  EXPECT_EQ(vars.GetVariable(33), nullptr);
  EXPECT_EQ(vars.GetVariable(-1), nullptr);
  EXPECT_FALSE(vars.SetValue(33, 0, 1.0));
  EXPECT_FALSE(vars.SetValue(-5, 0, 1.0));
  EXPECT_EQ(vars.GetValue(5000, 0), 0.0);
  EXPECT_EQ(vars.GetValueText(5000, 0), u"");
  ASSERT_TRUE(vars.SetValue(32, 0, 2.5));
  EXPECT_FALSE(vars.GetVariable(32)->SetFromText(u"NULL"));  // "null" changes nothing
  EXPECT_EQ(vars.GetValue(32, 0), 2.5);
}

}  // namespace
}  // namespace quillet
