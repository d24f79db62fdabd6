// The library's file helpers: whole text files in text mode, files that are
// read without being created, raw table files, and paths under the
// executable's folder.
#include <gtest/gtest.h>

#include <cstring>

#include "mod_gcode/GCCode/FileUtil.h"
#include "tests/core/CoreTestUtil.h"

namespace quillet {
namespace {

using coretest::ReadBytes;
using coretest::ScratchFolder;
using coretest::WriteBytes;

TEST(WholeFile, ReadTurnsCrLfIntoLfAndStopsAtAZeroByte) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("p.nc"), std::string("G01 X1\r\nM30\r\n\0garbage", 21));
  EXPECT_EQ(ReadWholeFile(tmp.File("p.nc")), std::string("G01 X1\nM30\n"));
  WriteBytes(tmp.File("last.nc"), "O1\r\nM30");
  EXPECT_EQ(ReadWholeFile(tmp.File("last.nc")), std::string("O1\nM30"));
  EXPECT_FALSE(ReadWholeFile(tmp.File("missing.nc")).has_value());
  EXPECT_FALSE(coretest::Exists(tmp.File("missing.nc")));
}

TEST(WholeFile, WriteTextFileWritesCrLfWithoutDoublingAndReplacesTheFile) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("v.txt"), "a much longer old content that must disappear\r\n");
  ASSERT_TRUE(WriteTextFile(tmp.File("v.txt"), "1.5 2\n7 3\r\n"));
  EXPECT_EQ(ReadBytes(tmp.File("v.txt")), "1.5 2\r\n7 3\r\n");
  ASSERT_TRUE(WriteTextFile(tmp.File("new/sub/v.txt"), "x"));
  EXPECT_EQ(ReadBytes(tmp.File("new/sub/v.txt")), "x");
}

TEST(LoadOrCreate, AMissingFileIsNotCreated) {
  ScratchFolder tmp;
  const std::string path = tmp.File("O1234.cnc");
  auto withDefault = LoadOrCreateFile(path, u"O0000");
  ASSERT_TRUE(withDefault.has_value());
  EXPECT_EQ(*withDefault, u"O0000");
  EXPECT_FALSE(coretest::Exists(path));
  EXPECT_FALSE(LoadOrCreateFile(path, nullptr).has_value());
  EXPECT_FALSE(coretest::Exists(path));
}

TEST(LoadOrCreate, EmptyFileGivesTheDefaultAndStaysEmpty) {
  ScratchFolder tmp;
  const std::string path = tmp.File("empty.nc");
  WriteBytes(path, "");
  EXPECT_EQ(LoadOrCreateFile(path, u"O0000"), WString(u"O0000"));
  EXPECT_FALSE(LoadOrCreateFile(path, nullptr).has_value());
  EXPECT_EQ(ReadBytes(path), "");
}

TEST(LoadOrCreate, ExistingTextIsWidenedInTheSystemCodePage) {
  ScratchFolder tmp;
  const std::string path = tmp.File("p.nc");
  WriteBytes(path, "(caf\xE9)\r\nM30");
  plat::SetSystemCodePage("ISO-8859-1");
  auto text = LoadOrCreateFile(path, u"O0000");
  plat::SetSystemCodePage("");
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, u"(caf\u00E9)\nM30");
}

TEST(RawFile, AShortFileFillsOnlyTheFirstBytes) {
  ScratchFolder tmp;
  const double row0[4] = {1.5, 2.0, -3.0, 4.25};
  WriteBytes(tmp.File("offset.dat"), std::string(reinterpret_cast<const char*>(row0), sizeof row0));
  double cells[3][4];
  for (auto& r : cells)
    for (double& c : r) c = 99.0;
  std::size_t got = 0;
  ASSERT_TRUE(ReadRawFile(tmp.File("offset.dat"), cells, sizeof cells, &got));
  EXPECT_EQ(got, sizeof row0);
  EXPECT_EQ(cells[0][3], 4.25);
  EXPECT_EQ(cells[1][0], 99.0);  // beyond the file: as it was
}

TEST(RawFile, ALongerFileIsReadOnlyUpToTheBuffer) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("long.dat"), std::string(64, '\x7F'));
  unsigned char buf[8 + 8] = {};
  std::size_t got = 0;
  ASSERT_TRUE(ReadRawFile(tmp.File("long.dat"), buf, 8, &got));
  EXPECT_EQ(got, 8u);
  EXPECT_EQ(buf[7], 0x7F);
  EXPECT_EQ(buf[8], 0);  // not written past the length
}

TEST(RawFile, MissingFileLeavesTheBufferAndCreatesNothing) {
  ScratchFolder tmp;
  double cell = 7.0;
  std::size_t got = 5;
  EXPECT_FALSE(ReadRawFile(tmp.File("fanuc/partzero.dat"), &cell, sizeof cell, &got));
  EXPECT_EQ(cell, 7.0);
  EXPECT_EQ(got, 0u);
  EXPECT_FALSE(coretest::Exists(tmp.File("fanuc")));
}

TEST(RawFile, WriteCreatesFoldersAndRefusesEmptyArguments) {
  ScratchFolder tmp;
  const double v[2] = {1.0, -2.0};
  ASSERT_TRUE(WriteRawFile(tmp.File("a/b/partzero.dat"), v, sizeof v));
  EXPECT_EQ(ReadBytes(tmp.File("a/b/partzero.dat")), std::string(reinterpret_cast<const char*>(v), sizeof v));
  EXPECT_FALSE(WriteRawFile(tmp.File("null.dat"), nullptr, 16));
  EXPECT_FALSE(WriteRawFile(tmp.File("zero.dat"), v, 0));
  EXPECT_FALSE(WriteRawFile("", v, sizeof v));
  EXPECT_FALSE(coretest::Exists(tmp.File("null.dat")));
  EXPECT_FALSE(coretest::Exists(tmp.File("zero.dat")));
}

TEST(Paths, ExePathFindsTheShippedFilesWithWindowsSpelling) {
  EXPECT_FALSE(GetExeDir().empty());
  const std::string rules = MakeExePath(u"coderule\\fanuc.cmt");
  EXPECT_EQ(rules, GetExeDir() + "/coderule/fanuc.cmt");
  EXPECT_TRUE(coretest::Exists(MakeExePath(u"CODERULE\\Fanuc_Macro.CMT")));
}

TEST(Paths, UserPathsAbsoluteWithEitherSeparator) {
  ScratchFolder tmp;
  WriteBytes(tmp.File("Fanuc/Offset.DAT"), "x");
  std::string winStyle = tmp.Path();
  for (char& c : winStyle)
    if (c == '/') c = '\\';
  EXPECT_EQ(ResolveUserPath(plat::Utf8ToWide(winStyle + "\\fanuc\\offset.dat")), tmp.File("Fanuc/Offset.DAT"));
  EXPECT_EQ(ResolveUserPath(plat::Utf8ToWide(tmp.Path() + "/FANUC/offset.dat")), tmp.File("Fanuc/Offset.DAT"));
}

TEST(Blanks, RemoveAndTrimTouchOnlySpaces) {
  WString s = u" code name\t= G 00 ";
  RemoveBlanks(s);
  EXPECT_EQ(s, u"codename\t=G00");
  WString l = u"  a b  ";
  TrimLeftBlanks(l);
  EXPECT_EQ(l, u"a b  ");
  TrimRightBlanks(l);
  EXPECT_EQ(l, u"a b");
  WString t = u"\ta\t";
  TrimLeftBlanks(t);
  TrimRightBlanks(t);
  EXPECT_EQ(t, u"\ta\t");
}

TEST(SplitKeyValue, KeyLosesEverySpaceValueOnlyItsOuterOnes) {
  WString key, value;
  ASSERT_TRUE(SplitKeyValue(u"codename = G00", u"=", key, value));
  EXPECT_EQ(key, u"codename");
  EXPECT_EQ(value, u"G00");
  ASSERT_TRUE(SplitKeyValue(u"code name=G 00", u"=", key, value));
  EXPECT_EQ(key, u"codename");
  EXPECT_EQ(value, u"G 00");
  // Split at the first separator; the value may hold more.
  ASSERT_TRUE(SplitKeyValue(u"Fmt=G00 X=_", u"=", key, value));
  EXPECT_EQ(key, u"Fmt");
  EXPECT_EQ(value, u"G00 X=_");
  ASSERT_TRUE(SplitKeyValue(u"address=", u"=", key, value));
  EXPECT_EQ(value, u"");
}

TEST(SplitKeyValue, WithoutSeparator) {
  WString key = u"k", value = u"keep";
  EXPECT_FALSE(SplitKeyValue(u"", u"=", key, value));
  EXPECT_EQ(key, u"k");
  EXPECT_EQ(value, u"keep");
  EXPECT_TRUE(SplitKeyValue(u" lone word ", u"=", key, value));
  EXPECT_EQ(key, u"loneword");
  EXPECT_EQ(value, u"keep");  // left as it was
}

}  // namespace
}  // namespace quillet
