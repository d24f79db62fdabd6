// Tool offsets, work coordinate systems and the option parameter: raw files
// read without being created, short files, cells outside a table, writing
// back only what changed, never over a file that could not be read, and the
// table set of a system folder.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "mod_gcode/GCCode/DataTables.h"
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

TEST(ToolOffsets, AShortFileFillsOnlyTheFirstCells) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("offset.dat"), Doubles({1.5, 2.0, -3.0, 4.25}));
  CDataComp comp;
  comp.Load(tmp.File("offset.dat"));
  EXPECT_EQ(comp.GetValue(0, 0), 1.5);
  EXPECT_EQ(comp.GetValue(0, 3), 4.25);
  for (int r = 1; r < 401; r += 57)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(comp.GetValue(r, c), 0.0) << r << "," << c;
  EXPECT_EQ(comp.Rows(), 401);
  EXPECT_EQ(comp.Cols(), 4);
}

TEST(ToolOffsets, SumsValueTextsAndCellsOutsideTheTable) {
  CDataComp comp;
  ASSERT_TRUE(comp.SetValue(3, 2, 1.5));
  ASSERT_TRUE(comp.SetValue(3, 3, 0.25));
  ASSERT_TRUE(comp.SetValue(4, 0, 9.0));
  EXPECT_EQ(comp.GetSum(3, 2), 1.75);
  EXPECT_EQ(comp.GetSum(3, 3), 0.25);  // the last column has no right neighbour
  EXPECT_EQ(comp.GetSum(400, 3), 0.0);
  comp.SetValue(5, 1, -0.5);
  EXPECT_EQ(comp.GetValueText(5, 1), u"-0.500");
  EXPECT_EQ(comp.GetValueText(4, 0), u"9");

  // Outside the table: reads give 0, writes give false and touch no cell
  // (row 3 column 4 would be row 4 column 0 in memory).
  for (auto [r, c] : {std::pair{3, 4}, std::pair{-1, 0}, std::pair{401, 0}, std::pair{0, -1}, std::pair{1 << 30, 2}}) {
    EXPECT_EQ(comp.GetValue(r, c), 0.0) << r << "," << c;
    EXPECT_FALSE(comp.SetValue(r, c, 77.0)) << r << "," << c;
    EXPECT_EQ(comp.GetSum(r, c), 0.0) << r << "," << c;
  }
  EXPECT_EQ(comp.GetValue(4, 0), 9.0);
  EXPECT_EQ(comp.GetValue(2, 3), 0.0);
}

TEST(ToolOffsets, AMissingFileGivesZerosAndIsCreatedOnlyWhenSomethingChanged) {
  ScratchFolder tmp;
  const std::string path = tmp.File("fanuc/offset.dat");
  CDataComp comp;
  comp.Load(path);
  EXPECT_EQ(comp.GetValue(0, 0), 0.0);
  EXPECT_FALSE(Exists(tmp.File("fanuc")));
  EXPECT_TRUE(comp.Store());
  EXPECT_FALSE(Exists(path));

  comp.SetValue(2, 1, 6.5);
  EXPECT_TRUE(comp.IsDirty());
  ASSERT_TRUE(comp.Store());
  const std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 12832u);
  EXPECT_EQ(DoubleAt(bytes, 2 * 4 + 1), 6.5);
  EXPECT_FALSE(comp.IsDirty());
}

TEST(ToolOffsets, AnUnchangedTableIsNotWrittenBack) {
  ScratchFolder tmp;
  const std::string path = tmp.File("offset.dat");
  const std::string shortFile = Doubles({1.0, 2.0});
  WriteBytes(path, shortFile);
  CDataComp comp;
  comp.Load(path);
  comp.SetValue(0, 0, 1.0);  // the same value: no change
  EXPECT_TRUE(comp.Store());
  EXPECT_EQ(ReadBytes(path), shortFile);

  comp.SetValue(0, 1, 5.0);
  ASSERT_TRUE(comp.Store());
  const std::string whole = ReadBytes(path);
  ASSERT_EQ(whole.size(), 12832u);
  EXPECT_EQ(DoubleAt(whole, 0), 1.0);
  EXPECT_EQ(DoubleAt(whole, 1), 5.0);
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
  const std::string offset = tmp.File("offset.dat");
  const std::string partzero = tmp.File("partzero.dat");
  const std::string offsetBytes = Doubles({11.0, 12.0, 13.0});
  const std::string partBytes = Doubles({1.0, 2.0, 3.0, 4.0});
  WriteBytes(offset, offsetBytes);
  WriteBytes(partzero, partBytes);
  ASSERT_EQ(::chmod(offset.c_str(), 0), 0);
  ASSERT_EQ(::chmod(partzero.c_str(), 0), 0);

  int code = RunUnprivileged([&] {
    CDataComp comp;
    comp.Load(offset);
    comp.SetValue(0, 0, 99.0);
    CDataCoordSystem coord;
    coord.Load(partzero);
    coord.SetValue(1, 0, 99.0);
    if (!comp.Store() || !coord.Store()) return 1;
    // The same user can write a new table beside them, so only the failed
    // read kept the two files.
    CDataComp fresh;
    fresh.Load(tmp.File("fresh.dat"));
    fresh.SetValue(0, 0, 1.0);
    return fresh.Store() ? 0 : 2;
  });
  if (code == 77) GTEST_SKIP() << "no unprivileged user to run as";
  EXPECT_EQ(code, 0);
  ASSERT_EQ(::chmod(offset.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(partzero.c_str(), 0644), 0);
  EXPECT_EQ(ReadBytes(offset), offsetBytes);
  EXPECT_EQ(ReadBytes(partzero), partBytes);
  EXPECT_TRUE(Exists(tmp.File("fresh.dat")));
}

TEST(DataFiles, AFolderInPlaceOfTheFileMakesStoreFailAndStaysAsItIs) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("offset.dat/keep.txt"), "kept");
  CDataComp comp;
  comp.Load(tmp.File("offset.dat"));
  EXPECT_EQ(comp.GetValue(0, 0), 0.0);
  comp.SetValue(0, 0, 1.0);
  EXPECT_FALSE(comp.Store());
  EXPECT_EQ(ReadBytes(tmp.File("offset.dat/keep.txt")), "kept");
  EXPECT_TRUE(comp.IsDirty());  // still to be written
}

TEST(WorkOffsets, PointsSelectionAndCellsOutsideTheTable) {
  ScratchFolder tmp;
  // Ext, G54, G55; the rest of the 168 bytes is missing.
  WriteBytes(tmp.File("partzero.dat"), Doubles({0.5, 0.0, 0.0, 10.0, 20.0, -30.0, 1.0, 2.0, 3.0}));
  CDataCoordSystem coord;
  coord.Load(tmp.File("partzero.dat"));
  EXPECT_EQ(coord.Rows(), 7);
  EXPECT_EQ(coord.CurrentIndex(), 1);
  EXPECT_EQ(coord.GetCurrent(), CPoint3d(10.0, 20.0, -30.0));
  CPoint3d p;
  ASSERT_TRUE(coord.Select(2, &p));
  EXPECT_EQ(p, CPoint3d(1.0, 2.0, 3.0));
  EXPECT_EQ(coord.GetCurrent(), CPoint3d(1.0, 2.0, 3.0));
  EXPECT_EQ(coord.GetValue(6, 2), 0.0);
  EXPECT_EQ(coord.GetValueText(1, 2), u"-30");
  EXPECT_EQ(coord.GetValueText(0, 0), u"0.500");

  EXPECT_FALSE(coord.Select(7));
  EXPECT_FALSE(coord.Select(-1));
  EXPECT_EQ(coord.CurrentIndex(), 2);
  // Column 3 of row 1 would be X of row 2 in memory.
  EXPECT_EQ(coord.GetValue(1, 3), 0.0);
  EXPECT_FALSE(coord.SetValue(1, 3, 99.0));
  EXPECT_FALSE(coord.SetValue(7, 0, 99.0));
  EXPECT_FALSE(coord.SetValue(-1, 0, 99.0));
  EXPECT_EQ(coord.GetValue(2, 0), 1.0);
  EXPECT_EQ(coord.GetSum(1, 0), 0.0);
}

TEST(WorkOffsets, WrittenWholeOnlyAfterAChange) {
  ScratchFolder tmp;
  const std::string path = tmp.File("fanuc/partzero.dat");
  CDataCoordSystem coord;
  coord.Load(path);
  EXPECT_TRUE(coord.Store());
  EXPECT_FALSE(Exists(path));
  ASSERT_TRUE(coord.SetValue(6, 2, -12.5));
  ASSERT_TRUE(coord.Store());
  const std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 168u);
  EXPECT_EQ(DoubleAt(bytes, 20), -12.5);

  CDataCoordSystem again;
  again.Load(path);
  EXPECT_EQ(again.GetValue(6, 2), -12.5);
  EXPECT_EQ(again.CurrentIndex(), 1);  // the selection is not stored
}

TEST(Parameter, FlagFollowsWhetherTheValueIsZero) {
  CParameter param;
  EXPECT_EQ(param.IsZero(), 1);
  EXPECT_EQ(param.GetValue(0, 0), 0.0);
  param.SetValue(0, 0, 0.001);
  EXPECT_EQ(param.IsZero(), 0);
  EXPECT_EQ(param.GetValueText(5, 5), u"0.001");
  EXPECT_EQ(param.GetValue(9, 9), 0.001);  // one value for every cell
  param.SetValue(3, 1, 0.0);
  EXPECT_EQ(param.IsZero(), 1);
  EXPECT_EQ(param.GetTypeText(0, 0), u"");
}

TEST(TableSet, CreateLoadsFromTheSystemFolderWithBackslashPaths) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("Fanuc/Offset.dat"), Doubles({4.0, 0.5}));
  WriteBytes(tmp.File("Fanuc/partzero.dat"), Doubles({0.0, 0.0, 0.0, 7.0}));
  WriteBytes(tmp.File("Fanuc/variables.txt"), "1.5 2\r\n-2 3\r\n");
  std::string winFolder = tmp.Path();
  for (char& c : winFolder)
    if (c == '/') c = '\\';

  CDataTables tables;
  tables.Create(plat::Utf8ToWide(winFolder + "\\"), u"fanuc");
  ASSERT_TRUE(tables.Exist());
  EXPECT_EQ(tables.comp->GetSum(0, 0), 4.5);
  EXPECT_EQ(tables.coord->GetCurrent().x, 7.0);
  EXPECT_EQ(tables.param->IsZero(), 1);
  ASSERT_EQ(tables.vars->Count(), 2);
  EXPECT_EQ(tables.vars->GetValue(1, 0), -2.0);
  EXPECT_EQ(tables.comp->Path(), tmp.File("Fanuc/Offset.dat"));

  EXPECT_EQ(tables.ByKind(0), tables.comp.get());
  EXPECT_EQ(tables.ByKind(3), tables.vars.get());
  EXPECT_EQ(tables.ByKind(4), nullptr);
  EXPECT_EQ(tables.ByKind(static_cast<unsigned>(-1)), nullptr);

  // Nothing changed: nothing written, "params.dat" never created.
  const std::string before = ReadBytes(tmp.File("Fanuc/variables.txt"));
  EXPECT_TRUE(tables.StoreAll());
  EXPECT_EQ(ReadBytes(tmp.File("Fanuc/variables.txt")), before);
  EXPECT_EQ(ReadBytes(tmp.File("Fanuc/Offset.dat")).size(), 16u);
  EXPECT_FALSE(Exists(tmp.File("Fanuc/params.dat")));
  tables.param->SetValue(0, 0, 1.0);
  EXPECT_TRUE(tables.StoreAll());
  EXPECT_FALSE(Exists(tmp.File("Fanuc/params.dat")));
}

TEST(TableSet, AMissingSystemFolderCreatesNothingOnLoad) {
  ScratchFolder tmp;
  CDataTables tables;
  tables.Create(tmp.WidePath(), u"fanuc");
  ASSERT_TRUE(tables.Exist());
  EXPECT_EQ(tables.comp->GetValue(400, 3), 0.0);
  EXPECT_EQ(tables.vars->Count(), 0);
  EXPECT_TRUE(tables.StoreAll());
  EXPECT_FALSE(Exists(tmp.File("fanuc")));
}

}  // namespace
}  // namespace quillet
