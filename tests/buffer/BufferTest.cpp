// The text buffers: loading from files without creating them, the default
// program line, edits that write the file, writing with CR LF, failed and
// lossy writes, code pages, and the deferred analysis.
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/resource.h>

#include "BufferTestUtil.h"
#include "mod_gcode/GCCode/CodeBuffer.h"
#include "platform/Files.h"

namespace quillet::test {
namespace {

// Every test starts and ends with the code page of the environment.
class Buffer : public ::testing::Test {
 protected:
  void SetUp() override { plat::SetSystemCodePage("UTF-8"); }
  void TearDown() override { plat::SetSystemCodePage(""); }
  std::u16string Text() { return b.GetText() ? b.GetText() : u"<null>"; }
  int Create(const std::string& name, const char16_t* defaultText) {
    return b.Create(dir.WideFile(name).c_str(), defaultText, true);
  }

  ScratchFolder dir;
  CCodeBuffer b;
  int line = 0;
  int col = 0;
};

TEST_F(Buffer, CreateReadsInTextModeAndPutsTheDefaultBeforeATextWithoutProgramNumber) {
  WriteBytes(dir.File("Progs/O1234.NC"), "O1234\r\nG1 X1\r\nM30\r\n");
  EXPECT_EQ(Create("progs\\o1234.nc", u"O0000"), 'O');  // found whatever the case and separators
  EXPECT_EQ(Text(), u"O1234\nG1 X1\nM30\n");
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"O1234", u";"}, {u"G1", u"X1", u";"}, {u"M30", u";"}, {u";"}}));

  WriteBytes(dir.File("p.nc"), std::string("G1 X1\nM30\0X2", 12));  // a zero byte ends the text
  EXPECT_EQ(Create("p.nc", u"o1 (new)"), 'G');
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"o1 (new)", u";"}, {u"G1", u"X1", u";"}, {u"M30", u";"}}));
  EXPECT_EQ(Text(), u"G1 X1\nM30");  // the text stays as loaded
  EXPECT_EQ(Create("p.nc", nullptr), 'G');
  EXPECT_EQ(b.LineCount(), 2);
}

TEST_F(Buffer, AMissingOrEmptyFileGivesTheDefaultAndIsNeverCreated) {
  EXPECT_EQ(Create("new.nc", u"O7\r\nM30"), 'O');
  EXPECT_EQ(Text(), u"O7\nM30");  // as if written and read back
  EXPECT_EQ(Create("new.nc", nullptr), 0);
  EXPECT_EQ(b.GetTable(), nullptr);
  // A file in a folder that does not exist could not have been made either,
  // and a folder in place of the file cannot be read.
  EXPECT_EQ(Create("no/such/new.nc", u"O0000"), 0);
  EXPECT_EQ(b.Create(plat::Utf8ToWide(dir.Path()).c_str(), u"O0000", false), 0);
  WriteBytes(dir.File("empty.nc"), "");
  EXPECT_EQ(Create("empty.nc", u"O0000"), 'O');
  EXPECT_EQ(Text(), u"O0000");
  EXPECT_EQ(ReadBytes(dir.File("empty.nc")), "");
  EXPECT_FALSE(plat::FileExists(dir.File("new.nc")));
  EXPECT_FALSE(plat::IsDirectory(dir.File("no")));
}

TEST_F(Buffer, EditsWriteTheItemsToTheFileButNeverTouchTheProgramNumber) {
  WriteBytes(dir.File("e.nc"), "O1 G1\nG1 X1\nM30");
  Create("e.nc", u"O0000");
  b.Replace(u"O9", line = 0, col = 0);
  b.Delete(line = 0, col = 0);
  EXPECT_EQ(ReadBytes(dir.File("e.nc")), "O1 G1\nG1 X1\nM30");  // not even rewritten
  b.Insert(u"Y2", line = 1, col = 1);
  EXPECT_EQ(ReadBytes(dir.File("e.nc")), "O1G1\r\nG1X1Y2\r\nM30");
  b.Delete(line = 0, col = 2);
  EXPECT_EQ(ReadBytes(dir.File("e.nc")), "O1G1G1X1Y2\r\nM30");
  EXPECT_EQ(Text(), u"O1G1G1X1Y2;\nM30;\n");
}

TEST_F(Buffer, WriteToGivesCrLfWithoutDoublingAndReportsEveryResult) {
  const std::u16string path = dir.WideFile("w.nc");
  EXPECT_EQ(b.WriteTo(path), kCodeWriteNothing);
  EXPECT_FALSE(plat::FileExists(dir.File("w.nc")));
  // A default line with line ends of its own gets CR LF, never a doubled CR.
  WriteBytes(dir.File("g.nc"), "G1 (a b)\n\nX-1");
  Create("g.nc", u"O1\r\n(x)\n");
  EXPECT_EQ(b.WriteTo(path), kCodeWriteOk);
  EXPECT_EQ(ReadBytes(dir.File("w.nc")), "O1\r\n(x)\r\n\r\nG1(a b)\r\n\r\nX-1");
  EXPECT_EQ(b.WriteTo(dir.WideFile("missing/w.nc")), kCodeWriteFailed);
  EXPECT_FALSE(plat::IsDirectory(dir.File("missing")));

  plat::SetSystemCodePage("ISO-8859-1");
  b.Reset(u"(\u00e9\u4f60\u597d)X1", nullptr);
  std::size_t replaced = 0;
  EXPECT_EQ(b.WriteTo(path, &replaced), kCodeWriteLossy);
  EXPECT_EQ(replaced, 2u);
  EXPECT_EQ(ReadBytes(dir.File("w.nc")), "(\xe9?" "?)X1");
}

TEST_F(Buffer, AFailedWriteLeavesTheOldFileWhole) {
  const std::string old = "O1\r\nG1 X1\r\nM30";
  WriteBytes(dir.File("keep.nc"), old);
  Create("keep.nc", nullptr);
  // A file-size limit makes every write beyond it fail (EFBIG), for root too.
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = 8;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  const int result = b.WriteTo(dir.WideFile("keep.nc"));
  b.Insert(u"Y2 Z3 F100", line = 1, col = 1);  // the edit happens, its save fails
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, kCodeWriteFailed);
  EXPECT_EQ(b.GetItem(1, 2), u"Y2");
  EXPECT_EQ(ReadBytes(dir.File("keep.nc")), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // no temporary left
}

TEST_F(Buffer, FilesAreReadInTheSystemCodePage) {
  WriteBytes(dir.File("cp.nc"), "O1(\xe9)\r\nX1");
  plat::SetSystemCodePage("ISO-8859-1");
  Create("cp.nc", nullptr);
  EXPECT_EQ(Text(), u"O1(\u00e9)\nX1");
  plat::SetSystemCodePage("UTF-8");
  // Decoding run by run equals decoding the whole text, broken sequences and
  // CR LF pairs next to non-ASCII bytes included.
  std::mt19937 rng(7);
  const char pool[] = {'G', '1', ' ', '\r', '\n', '(', ';', '\xc3', '\xa9', '\xe4', '\xbd', '\xa0', '\xff', '\x80'};
  for (int round = 0; round < 200; ++round) {
    std::string bytes(rng() % 40, ' ');
    for (char& c : bytes) c = pool[rng() % sizeof(pool)];
    EXPECT_EQ(WidenFileText(bytes), plat::WidenFrom(plat::FromCrLf(bytes), "UTF-8").text) << round;
  }
}

// A text mixing everything the lexer tells apart, with every kind of line end.
std::u16string RandomProgram(unsigned seed, int lines) {
  std::mt19937 rng(seed);
  static const std::u16string words[] = {u"G01", u"X-10.5", u"#100=#2*3", u"GOTO10", u"(comment; x)", u"(open",
                                         u"o123", u"[#1+2]/3", u"IF#1-2", u"%", u"X12345678901234", u"g1x2",
                                         u"\u00e9", u"\t", u";", u"-"};
  static const std::u16string ends[] = {u"\n", u"\r\n", u"\r", u"\n\n"};
  std::u16string text;
  for (int i = 0; i < lines; ++i) {
    for (int k = static_cast<int>(rng() % 6); k > 0; --k) text += words[rng() % std::size(words)] + u" ";
    if (i + 1 < lines || rng() % 2) text += ends[rng() % std::size(ends)];
  }
  return text;
}

TEST_F(Buffer, DeferredAnalysisAndItsEditsEqualImmediateOnes) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    // Loaded from a file, with the default line in front when the text does
    // not start with a program number.
    WriteBytes(dir.File("r.nc"), plat::WideToUtf8(RandomProgram(seed, 60)));
    const int first = Create("r.nc", u"O0000");
    CCodeAnalyzer eager;
    Lines fileExpected = Copy(eager.Analyze(Text()));
    EXPECT_EQ(first, fileExpected[0][0][0]) << seed;
    if (first != u'O') fileExpected.insert(fileExpected.begin(), {u"O0000", u";"});
    EXPECT_EQ(Copy(b.GetTable()), fileExpected) << seed;
  }
  const std::u16string text = RandomProgram(99, 40);
  CCodeAnalyzer eager;
  eager.Analyze(text);
  b.Reset(text.c_str(), nullptr);
  int l1 = 3, c1 = 0, l2 = 3, c2 = 0;
  eager.InsertText(u"X1;Y2", l1, c1);
  b.Insert(u"X1;Y2", l2, c2);
  EXPECT_EQ(std::pair(l1, c1), std::pair(l2, c2));
  EXPECT_EQ(Copy(b.GetTable()), Copy(eager.GetTable()));
}

}  // namespace
}  // namespace quillet::test
