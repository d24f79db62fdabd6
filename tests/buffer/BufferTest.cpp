// The text buffers: loading from files and strings, the text they give back,
// edits that write the file, writing, code pages, and the deferred analysis.
#include <csignal>
#include <random>
#include <sys/resource.h>

#include "BufferTestUtil.h"
#include "mod_gcode/GCCode/CodeBuffer.h"
#include "platform/Files.h"

namespace quillet::test {
namespace {

std::u16string Text(CCodeBuffer& b) {
  const char16_t* t = b.GetText();
  return t ? std::u16string(t) : std::u16string(u"<null>");
}

// Every test starts and ends with the code page of the environment.
class Buffer : public ::testing::Test {
 protected:
  void SetUp() override { plat::SetSystemCodePage("UTF-8"); }
  void TearDown() override { plat::SetSystemCodePage(""); }

  ScratchFolder dir;
  CCodeBuffer b;
  int line = 0;
  int col = 0;
};

TEST_F(Buffer, GlobalBuffersById) {
  ASSERT_NE(GetCodeBuffer(0), nullptr);
  ASSERT_NE(GetCodeBuffer(1), nullptr);
  EXPECT_NE(GetCodeBuffer(0), GetCodeBuffer(1));
  EXPECT_EQ(GetCodeBuffer(0), GetCodeBuffer(0));
  EXPECT_EQ(GetCodeBuffer(-1), nullptr);
  EXPECT_EQ(GetCodeBuffer(2), nullptr);
}

TEST_F(Buffer, ResetTextShowsTheTailOnlyOnceEdited) {
  b.Reset(u"O0000", u"M30");
  EXPECT_EQ(Text(b), u"O0000");
  EXPECT_FALSE(b.IsModified());

  line = 0;
  col = 1;
  b.Insert(u"G1", line, col);
  EXPECT_EQ(Text(b), u"O0000;\nG1;\nM30");

  // From now on the text is always rebuilt from the items.
  b.Reset(u"O0000", u"M30");
  EXPECT_TRUE(b.IsModified());
  EXPECT_EQ(Text(b), u"O0000;\nM30");
}

TEST_F(Buffer, ClearKeepsPathTailAndModifiedFlag) {
  // A folder that does not exist: the edit's save fails and touches nothing.
  std::u16string folder = Wide(dir.Path()) + u"\\nc";
  std::u16string path = folder + u"\\part.nc";
  b.SetPath(path.c_str());
  b.Reset(u"O1 G1", u"M30");
  b.Delete(line = 0, col = 1);
  b.Clear();
  EXPECT_EQ(b.GetTable(), nullptr);
  EXPECT_EQ(b.LineCount(), 0);
  EXPECT_EQ(std::u16string(b.GetName()), u"part.nc");
  EXPECT_EQ(std::u16string(b.GetFolder()), folder);
  EXPECT_TRUE(b.IsModified());
  EXPECT_EQ(Text(b), u"M30");  // an empty table rebuilds to the tail alone
  EXPECT_FALSE(plat::IsDirectory(dir.File("nc")));
}

TEST_F(Buffer, NullTextMeansNoText) {
  b.Reset(nullptr, nullptr);
  EXPECT_EQ(b.GetText(), nullptr);
  EXPECT_EQ(b.GetTable(), nullptr);
  b.Reset(u"", nullptr);
  EXPECT_EQ(Text(b), u"");
  EXPECT_EQ(b.GetTable(), nullptr);
}

TEST_F(Buffer, SetPathSplitsAtTheLastSeparator) {
  b.SetPath(u"C:\\nc\\prog.nc");
  EXPECT_EQ(std::u16string(b.GetFolder()), u"C:\\nc");
  EXPECT_EQ(std::u16string(b.GetName()), u"prog.nc");
  b.SetPath(u"/home/u/a\\b/x.cnc");
  EXPECT_EQ(std::u16string(b.GetFolder()), u"/home/u/a\\b");
  EXPECT_EQ(std::u16string(b.GetName()), u"x.cnc");
  b.SetPath(u"plain.nc");
  b.SetPath(nullptr);
  EXPECT_EQ(std::u16string(b.GetName()), u"x.cnc");
  std::u16string longPath = std::u16string(1500, u'f') + u"\\" + std::u16string(1500, u'n');
  b.SetPath(longPath.c_str());
  EXPECT_EQ(std::u16string(b.GetFolder()), std::u16string(1023, u'f'));
  EXPECT_EQ(std::u16string(b.GetName()), std::u16string(1023, u'n'));
}

TEST_F(Buffer, CreateReadsTheFileInTextMode) {
  WriteBytes(dir.File("part.nc"), "O1234\r\nG1 X1\r\nM30\r\n");
  std::u16string path = dir.WideFile("part.nc");
  EXPECT_EQ(b.Create(path.c_str(), u"O0000", 1), 'O');
  EXPECT_EQ(Text(b), u"O1234\nG1 X1\nM30\n");
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"O1234", u";"}, {u"G1", u"X1", u";"}, {u"M30", u";"}, {u";"}}));
  EXPECT_EQ(std::u16string(b.GetName()), u"part.nc");
  EXPECT_EQ(std::u16string(b.GetFolder()), Wide(dir.Path()));
}

TEST_F(Buffer, CreateWithoutSetPathKeepsFolderAndName) {
  WriteBytes(dir.File("a.nc"), "O1");
  b.SetPath(u"x\\keep.nc");
  std::u16string path = dir.WideFile("a.nc");
  b.Create(path.c_str(), nullptr, 0);
  EXPECT_EQ(std::u16string(b.GetName()), u"keep.nc");
  EXPECT_EQ(std::u16string(b.GetFolder()), u"x");
}

TEST_F(Buffer, CreatePutsTheDefaultBeforeATextWithoutProgramNumber) {
  WriteBytes(dir.File("p.nc"), "G1 X1\nM30");
  std::u16string path = dir.WideFile("p.nc");
  EXPECT_EQ(b.Create(path.c_str(), u"O0000", 1), 'G');
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"O0000", u";"}, {u"G1", u"X1", u";"}, {u"M30", u";"}}));
  EXPECT_EQ(Text(b), u"G1 X1\nM30");  // the text stays as loaded

  // The default line holds the default text as one unlexed item.
  EXPECT_EQ(b.Create(path.c_str(), u"o1 (new)", 1), 'G');
  EXPECT_EQ(b.GetItem(0, 0), u"o1 (new)");

  // Without a default text nothing is added.
  EXPECT_EQ(b.Create(path.c_str(), nullptr, 1), 'G');
  EXPECT_EQ(b.LineCount(), 2);

  // An empty first line: its first item is ";".
  WriteBytes(dir.File("q.nc"), "\nO5");
  path = dir.WideFile("q.nc");
  EXPECT_EQ(b.Create(path.c_str(), u"O0000", 1), ';');
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"O0000", u";"}, {u";"}, {u"O5", u";"}}));
}

TEST_F(Buffer, CreateOnAMissingFileUsesTheDefaultWithoutCreatingTheFile) {
  std::string file = dir.File("new.nc");
  std::u16string path = Wide(file);
  EXPECT_EQ(b.Create(path.c_str(), u"O0000", 1), 'O');
  EXPECT_EQ(Text(b), u"O0000");
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"O0000", u";"}}));
  EXPECT_FALSE(plat::FileExists(file));

  // Read back from a file, CR LF in the default becomes LF.
  EXPECT_EQ(b.Create(path.c_str(), u"O7\r\nM30", 1), 'O');
  EXPECT_EQ(Text(b), u"O7\nM30");
  EXPECT_FALSE(plat::FileExists(file));

  // No default: nothing to show.
  EXPECT_EQ(b.Create(path.c_str(), nullptr, 1), 0);
  EXPECT_EQ(b.GetText(), nullptr);
  EXPECT_EQ(b.GetTable(), nullptr);
  EXPECT_EQ(b.LineCount(), 0);
  EXPECT_EQ(b.ItemStr(0, 0), nullptr);
  EXPECT_FALSE(plat::FileExists(file));

  // A file in a folder that does not exist could not have been made either.
  std::u16string nowhere = dir.WideFile("no/such/folder/new.nc");
  EXPECT_EQ(b.Create(nowhere.c_str(), u"O0000", 1), 0);
  EXPECT_EQ(b.GetText(), nullptr);
  EXPECT_FALSE(plat::IsDirectory(dir.File("no")));

  // A folder in place of the file cannot be read: nothing, not the default.
  std::u16string folder = Wide(dir.Path());
  EXPECT_EQ(b.Create(folder.c_str(), u"O0000", 0), 0);
  EXPECT_EQ(b.GetText(), nullptr);
}

TEST_F(Buffer, CreateOnAnEmptyFileUsesTheDefaultAndLeavesTheFile) {
  std::string file = dir.File("empty.nc");
  WriteBytes(file, "");
  std::u16string path = Wide(file);
  EXPECT_EQ(b.Create(path.c_str(), u"O0000", 1), 'O');
  EXPECT_EQ(Text(b), u"O0000");
  EXPECT_EQ(ReadBytes(file), "");
  // A zero byte ends the text.
  WriteBytes(file, std::string("G1\0X2", 5));
  EXPECT_EQ(b.Create(path.c_str(), nullptr, 1), 'G');
  EXPECT_EQ(Text(b), u"G1");
}

TEST_F(Buffer, CreateFindsTheFileWhateverTheCaseAndSeparators) {
  ASSERT_TRUE(plat::CreateFolders(dir.File("Progs")));
  WriteBytes(dir.File("Progs/O1234.NC"), "O1234");
  std::u16string path = Wide(dir.Path()) + u"\\progs\\o1234.nc";
  EXPECT_EQ(b.Create(path.c_str(), nullptr, 1), 'O');
  EXPECT_EQ(Text(b), u"O1234");
  EXPECT_EQ(std::u16string(b.GetName()), u"o1234.nc");
}

TEST_F(Buffer, EditsWriteTheItemsToTheFile) {
  std::string file = dir.File("e.nc");
  WriteBytes(file, "O1\nG1 X1\nM30");
  std::u16string path = Wide(file);
  b.Create(path.c_str(), u"O0000", 1);
  b.Reset(u"O1\nG1 X1\nM30", u"M30");  // the tail is never written
  line = 1;
  col = 1;
  b.Insert(u"Y2", line, col);
  EXPECT_EQ(ReadBytes(file), "O1\r\nG1X1Y2\r\nM30");
  b.Delete(line = 0, col = 1);
  EXPECT_EQ(ReadBytes(file), "O1G1X1Y2\r\nM30");
  b.Replace(u"X5", line = 0, col = 3);
  EXPECT_EQ(ReadBytes(file), "O1G1X1X5\r\nM30");
  EXPECT_EQ(Text(b), u"O1G1X1X5;\nM30;\nM30");
}

TEST_F(Buffer, TheProgramNumberIsNeitherReplacedNorDeleted) {
  std::string file = dir.File("o.nc");
  WriteBytes(file, "O1234 G1\r\nM30\r\n");
  std::u16string path = Wide(file);
  b.Create(path.c_str(), nullptr, 1);
  const Lines before = Copy(b.GetTable());
  b.Replace(u"O9", line = 0, col = 0);
  b.Delete(line = 0, col = 0);
  EXPECT_EQ(Copy(b.GetTable()), before);
  EXPECT_EQ(ReadBytes(file), "O1234 G1\r\nM30\r\n");  // not even rewritten
  EXPECT_TRUE(b.IsModified());

  // Other items of the first line can be edited.
  b.Replace(u"G2", line = 0, col = 1);
  EXPECT_EQ(b.GetItem(0, 1), u"G2");
  EXPECT_EQ(ReadBytes(file), "O1234G2\r\nM30\r\n");
}

TEST_F(Buffer, EditsOnAnEmptyBuffer) {
  std::string file = dir.File("none.nc");
  std::u16string path = Wide(file);
  b.SetPath(path.c_str());
  b.Delete(line = 0, col = 0);
  b.Replace(u"X1", line = 0, col = 0);
  EXPECT_TRUE(b.IsModified());
  EXPECT_EQ(b.GetTable(), nullptr);
  EXPECT_FALSE(plat::FileExists(file));  // nothing to write

  b.Insert(u"G1 X1", line = 0, col = 0);
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"G1", u"X1", u";"}}));
  EXPECT_EQ(ReadBytes(file), "G1X1");
}

TEST_F(Buffer, WriteToResults) {
  std::string file = dir.File("w.nc");
  std::u16string path = Wide(file);
  EXPECT_EQ(b.WriteTo(path), kCodeWriteNothing);
  EXPECT_FALSE(plat::FileExists(file));

  b.Reset(u"O1 (a b)\n\nG1 X-1", nullptr);
  EXPECT_EQ(b.WriteTo(path), kCodeWriteOk);
  EXPECT_EQ(ReadBytes(file), "O1(a b)\r\n\r\nG1X-1");

  // A default line with a line end of its own gets CR LF, never a doubled CR.
  WriteBytes(dir.File("g.nc"), "G1");
  std::u16string g = dir.WideFile("g.nc");
  b.Create(g.c_str(), u"O1\r\n(x)\n", 0);
  EXPECT_EQ(b.WriteTo(path), kCodeWriteOk);
  EXPECT_EQ(ReadBytes(file), "O1\r\n(x)\r\n\r\nG1");
}

TEST_F(Buffer, WriteIntoAMissingFolderFails) {
  b.Reset(u"G1", nullptr);
  std::u16string path = dir.WideFile("missing/w.nc");
  EXPECT_EQ(b.WriteTo(path), kCodeWriteFailed);
  EXPECT_FALSE(plat::IsDirectory(dir.File("missing")));
  EXPECT_EQ(b.WriteTo(u""), kCodeWriteFailed);
}

// Makes every write beyond `bytes` fail (EFBIG) for the life of the object,
// for root too.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    ok_ = ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
  bool ok_ = false;
};

TEST_F(Buffer, AFailedWriteLeavesTheOldFileWhole) {
  std::string file = dir.File("keep.nc");
  const std::string old = "O1\r\nG1 X1\r\nM30";
  WriteBytes(file, old);
  std::u16string path = Wide(file);
  b.Create(path.c_str(), nullptr, 1);
  {
    FileSizeLimit limit(8);
    ASSERT_TRUE(limit.ok());
    EXPECT_EQ(b.WriteTo(path), kCodeWriteFailed);
    // The edit itself happens; its save fails and the file stays as it was.
    b.Insert(u"Y2 Z3 F100", line = 1, col = 1);
  }
  EXPECT_EQ(b.GetItem(1, 2), u"Y2");
  EXPECT_EQ(ReadBytes(file), old);
  std::error_code ec;
  int entries = 0;
  for (auto it = std::filesystem::directory_iterator(dir.Path(), ec); it != std::filesystem::directory_iterator();
       ++it)
    ++entries;
  EXPECT_EQ(entries, 1);  // no temporary file left behind
}

TEST_F(Buffer, CharactersTheCodePageCannotHoldAreReported) {
  plat::SetSystemCodePage("ISO-8859-1");
  std::string file = dir.File("l1.nc");
  std::u16string path = Wide(file);
  b.Reset(u"(\u00e9\u4f60\u597d)X1", nullptr);
  std::size_t replaced = 0;
  EXPECT_EQ(b.WriteTo(path, &replaced), kCodeWriteLossy);
  EXPECT_EQ(replaced, 2u);
  EXPECT_EQ(ReadBytes(file), "(\xe9?" "?)X1");

  b.Reset(u"(\u00e9)X1", nullptr);
  EXPECT_EQ(b.WriteTo(path, &replaced), kCodeWriteOk);
  EXPECT_EQ(replaced, 0u);
  EXPECT_EQ(ReadBytes(file), "(\xe9)X1");
}

TEST_F(Buffer, FilesAreReadInTheSystemCodePage) {
  std::string file = dir.File("cp.nc");
  std::u16string path = Wide(file);
  WriteBytes(file, "O1(\xe9)\r\nX1");
  plat::SetSystemCodePage("ISO-8859-1");
  b.Create(path.c_str(), nullptr, 1);
  EXPECT_EQ(Text(b), u"O1(\u00e9)\nX1");

  plat::SetSystemCodePage("UTF-8");
  WriteBytes(file, "O1(\xc3\xa9\xe4\xbd\xa0)\r\nX1 (\xff)\r\n");
  b.Create(path.c_str(), nullptr, 1);
  EXPECT_EQ(Text(b), u"O1(\u00e9\u4f60)\nX1 (\ufffd)\n");
  EXPECT_EQ(b.GetItem(0, 1), u"(\u00e9\u4f60)");
}

TEST_F(Buffer, WidenFileTextMatchesTheWholeTextConversion) {
  // Run-by-run decoding must equal decoding the whole text, broken
  // sequences and CR LF pairs next to non-ASCII bytes included.
  std::mt19937 rng(7);
  const char pool[] = {'G', '1', ' ', '\r', '\n', '(', ')', ';', '\xc3', '\xa9', '\xe4', '\xbd', '\xa0', '\xff', '\x80'};
  for (int round = 0; round < 200; ++round) {
    std::string bytes;
    int len = static_cast<int>(rng() % 40);
    for (int i = 0; i < len; ++i) bytes.push_back(pool[rng() % sizeof(pool)]);
    EXPECT_EQ(WidenFileText(bytes), plat::WidenFrom(plat::FromCrLf(bytes), "UTF-8").text) << round;
  }
}

// A text mixing everything the lexer tells apart, with every kind of line end.
std::u16string RandomProgram(unsigned seed, int lines) {
  std::mt19937 rng(seed);
  static const std::u16string words[] = {u"G01", u"X-10.5", u"Y#1", u"#100=#2*3", u"GOTO10", u"(comment; x)",
                                         u"(open", u"o123",   u"n10",  u"[#1+2]/3",  u"IF#1-2", u"%",
                                         u"X12345678901234",  u"g1x2", u"\u00e9",   u"\t",     u";",
                                         u"M30",    u"-",      u"@1"};
  static const std::u16string ends[] = {u"\n", u"\r\n", u"\r", u"\n\n"};
  std::u16string text;
  for (int i = 0; i < lines; ++i) {
    int n = static_cast<int>(rng() % 6);
    for (int k = 0; k < n; ++k) {
      text += words[rng() % std::size(words)];
      if (rng() % 2) text += u' ';
    }
    if (i + 1 < lines || rng() % 2) text += ends[rng() % std::size(ends)];
  }
  return text;
}

TEST_F(Buffer, DeferredAnalysisEqualsImmediateAnalysis) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::u16string text = RandomProgram(seed, 60);
    CCodeAnalyzer eager;
    Lines expected = Copy(eager.Analyze(text));

    b.Reset(text.c_str(), u"M30");
    EXPECT_EQ(Copy(b.GetTable()), expected) << seed;

    // Loaded from a file, with the default line in front when the text does
    // not start with a program number.
    std::string file = dir.File("r.nc");
    WriteBytes(file, Utf8(text));
    std::u16string path = Wide(file);
    int first = b.Create(path.c_str(), u"O0000", 1);
    std::u16string fromFile = Text(b);
    Lines fileExpected = Copy(eager.Analyze(fromFile));
    ASSERT_FALSE(fileExpected.empty());
    EXPECT_EQ(first, fileExpected[0][0][0]) << seed;
    if (fileExpected[0][0][0] != u'O') fileExpected.insert(fileExpected.begin(), {u"O0000", u";"});
    EXPECT_EQ(b.LineCount(), static_cast<int>(fileExpected.size())) << seed;
    EXPECT_EQ(Copy(b.GetTable()), fileExpected) << seed;
  }
}

TEST_F(Buffer, EditsOnADeferredTableEqualEditsOnAnImmediateOne) {
  std::u16string text = RandomProgram(99, 40);
  CCodeAnalyzer eager;
  eager.Analyze(text);
  b.Reset(text.c_str(), nullptr);
  int l1 = 3, c1 = 0, l2 = 3, c2 = 0;
  eager.InsertText(u"X1;Y2", l1, c1);
  b.Insert(u"X1;Y2", l2, c2);
  EXPECT_EQ(l1, l2);
  EXPECT_EQ(c1, c2);
  EXPECT_EQ(Copy(b.GetTable()), Copy(eager.GetTable()));

  // Lines past the first, where no program number is protected.
  l1 = l2 = 5;
  c1 = c2 = 0;
  eager.ReplaceItem(u"G2 X9", l1, c1);
  b.Replace(u"G2 X9", l2, c2);
  l1 = l2 = 7;
  c1 = c2 = 0;
  eager.DeleteItem(l1, c1);
  b.Delete(l2, c2);
  EXPECT_EQ(l1, l2);
  EXPECT_EQ(c1, c2);
  EXPECT_EQ(Copy(b.GetTable()), Copy(eager.GetTable()));
}

}  // namespace
}  // namespace quillet::test
