// The text buffers: loading from files without creating them, the default
// program line, edits that write the file, writing with CR LF, failed and
// lossy writes, code pages, and the deferred analysis.
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/resource.h>

#include "BufferTestUtil.h"
#include "mod_gcode/text/CodeBuffer.h"
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

  WriteBytes(dir.File("p.nc"), std::string("G1 X1\nM30\0X2", 12));  // a zero byte shows, the text goes on
  EXPECT_EQ(Create("p.nc", u"o1 (new)"), 'G');
  EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"o1 (new)", u";"}, {u"G1", u"X1", u";"}, {u"M30", u"X2", u";"}}));
  EXPECT_EQ(Text(), u"G1 X1\nM30\xDC00X2");  // the text stays as loaded
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

TEST_F(Buffer, WriteToKeepsTheFilesLineEndsAndReportsEveryResult) {
  const std::u16string path = dir.WideFile("w.nc");
  EXPECT_EQ(b.WriteTo(path), kCodeWriteNothing);
  EXPECT_FALSE(plat::FileExists(dir.File("w.nc")));
  // The default line is shown, not written; the file's own LF stay.
  WriteBytes(dir.File("g.nc"), "G1 (a b)\n\nX-1");
  Create("g.nc", u"O1\r\n(x)\n");
  EXPECT_EQ(b.WriteTo(path), kCodeWriteOk);
  EXPECT_EQ(ReadBytes(dir.File("w.nc")), "G1 (a b)\n\nX-1");
  EXPECT_EQ(b.WriteTo(dir.WideFile("missing/w.nc")), kCodeWriteFailed);
  EXPECT_FALSE(plat::IsDirectory(dir.File("missing")));
  // A text given as a string is written with CR LF, without doubling a CR.
  b.Reset(u"O1\nG1\r\nM30", nullptr);
  EXPECT_EQ(b.WriteTo(path), kCodeWriteOk);
  EXPECT_EQ(ReadBytes(dir.File("w.nc")), "O1\r\nG1\r\nM30");

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
  int editSaved = kCodeWriteOk;
  b.Insert(u"Y2 Z3 F100", line = 1, col = 1, &editSaved);  // the edit happens, its save fails
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, kCodeWriteFailed);
  EXPECT_EQ(editSaved, kCodeWriteFailed);
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
    std::string lines;  // every line end one LF
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      lines.push_back(bytes[i] == '\r' ? '\n' : bytes[i]);
    }
    EXPECT_EQ(WidenFileText(bytes), plat::WidenFrom(lines, "UTF-8").text) << round;
  }
}

// Reading a file and writing it back gives its bytes, whatever line ends,
// zero bytes, code page and bytes the code page cannot decode it holds.
TEST_F(Buffer, AFileReadAndWrittenBackKeepsEveryByte) {
  std::mt19937 rng(11);
  struct Letters { const char* codePage; std::vector<std::string> pieces; };
  const Letters letters[] = {
      {"ISO-8859-1", {"\xe9"}},
      {"UTF-8", {"\xc3\xa9", "\xb0", "\xe4\xb8", "\xff"}},  // a letter, a Latin-1 byte, a cut character
      {"GBK", {"\xd6\xd0", "\x81", "\xff"}},                  // a Chinese character, a lone lead byte
      {"CP936", {"\xd6\xd0", "\x81", "\x80"}},
  };
  for (const auto& [codePage, pieces] : letters) {
    plat::SetSystemCodePage(codePage);
    std::vector<std::string> pool = {"G", "1", " ", "\r", "\n", std::string(1, '\0'), "(", ";", "\t", "%"};
    pool.insert(pool.end(), pieces.begin(), pieces.end());
    for (int round = 0; round < 300; ++round) {
      std::string bytes;
      for (int k = static_cast<int>(rng() % 30); k > 0; --k) bytes += pool[rng() % pool.size()];
      ProgramFileLayout layout;
      const std::u16string text = WidenFileText(bytes, &layout);
      EXPECT_EQ(text.find_first_of(std::u16string(u"\r\0", 2)), std::u16string::npos) << codePage << round;
      std::size_t replaced = 1;
      EXPECT_EQ(NarrowFileText(text, layout, &replaced), bytes) << codePage << " " << round;
      EXPECT_EQ(replaced, 0u);
    }
  }
}

// A byte the code page cannot decode, in a comment of one line, stays when
// another line is edited and the buffer saves the file, and a save of the
// text is no lossy write.
TEST_F(Buffer, UndecodableBytesSurviveAnEditOfAnotherLine) {
  struct Case {
    const char* codePage;
    std::string before;
    std::string after;  // "Y2" inserted after the first item of line 1
  };
  const Case cases[] = {
      {"UTF-8", "O1\r\nG01 X1.\r\n(90\xB0 CORNER)\r\nM30\r\n", "O1\r\nG01 X1. Y2\r\n(90\xB0 CORNER)\r\nM30\r\n"},
      {"CP936", "O1\nG01 X1.\n(\xD6\xD0\x81" "1\xFF)\n", "O1\nG01 X1. Y2\n(\xD6\xD0\x81" "1\xFF)\n"},
      {"GBK", "O1\rG01 X1.\r(\xD6)", "O1\rG01 X1. Y2\r(\xD6)"},  // a lead byte cut by the comment's end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    plat::SetSystemCodePage(c.codePage);
    WriteBytes(dir.File("u.nc"), c.before);
    Create("u.nc", nullptr);
    int saved = kCodeWriteFailed;
    b.Insert(u"Y2", line = 1, col = 1, &saved);
    EXPECT_EQ(saved, kCodeWriteOk);
    EXPECT_EQ(ReadBytes(dir.File("u.nc")), c.after);
    std::size_t replaced = 1;
    EXPECT_EQ(b.WriteTo(dir.WideFile("copy.nc"), &replaced), kCodeWriteOk);
    EXPECT_EQ(replaced, 0u);
    EXPECT_EQ(ReadBytes(dir.File("copy.nc")), c.after);
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
  // Random edits (on a buffer without a file): the table always shows the
  // text, and the cursor stays in it.
  CCodeBuffer r;
  std::mt19937 rng(5);
  static const std::u16string typed[] = {u"X1", u";", u"5", u"A1;B2", u";C3", u"(c;d)", u"#1=2", u"-", u"G1X2\r\nY3"};
  for (unsigned seed = 1; seed <= 30; ++seed) {
    const std::u16string text = RandomProgram(100 + seed, 12);
    r.Reset(text.c_str(), nullptr);
    for (int edit = 0; edit < 25 && r.LineCount() > 0; ++edit) {
      line = static_cast<int>(rng() % static_cast<unsigned>(r.LineCount()));
      col = static_cast<int>(rng() % static_cast<unsigned>(r.ColCount(line)));
      const std::u16string& t = typed[rng() % std::size(typed)];
      switch (rng() % 3) {
        case 0: r.Insert(t, line, col); break;
        case 1: r.Replace(t, line, col); break;
        default: r.Delete(line, col); break;
      }
      CCodeAnalyzer eager;
      ASSERT_EQ(Copy(r.GetTable()), Copy(eager.Analyze(r.GetText()))) << seed << " " << edit;
      ASSERT_TRUE(line >= 0 && line < r.LineCount() && col >= 0 && col < r.ColCount(line)) << seed << " " << edit;
    }
  }
}

// The file after an edit is the file before it with only the edit changed:
// "%" lines, blanks, tabs, commas, long values, long comments, zero bytes
// and every kind of line end stay as they were.
TEST_F(Buffer, AnEditChangesNothingButItsPlaceInTheFile) {
  const std::string comment = "(" + std::string(300, 'c') + ")", zero(1, '\0');
  // Lines joined by "|", which each layout turns into its line ends.
  const std::string head = "%|O1000 (TEST)|N10\tG90 G54  X-1234.5678901 Y12.3456789012345";
  const std::string before = head + "|#1=5,#2=6|" + comment + " G1 X1|(a" + zero + "b) M30|%|";
  struct Edit {
    int op;  // 0 insert, 1 replace, 2 delete
    const char16_t* text;
    int line, col;
    std::string after;
    int endAt, endsAdded;  // a line end the edit adds (1) or removes (-1) there
  };
  const Edit cases[] = {
      {0, u"M08", 5, 1, head + "|#1=5,#2=6|" + comment + " G1 X1|(a" + zero + "b) M30 M08|%|", 0, 0},
      {0, u"M08", 2, 4, head + " M08|#1=5,#2=6|" + comment + " G1 X1|(a" + zero + "b) M30|%|", 0, 0},
      {1, u"7", 3, 4, head + "|#1=5,#2=7|" + comment + " G1 X1|(a" + zero + "b) M30|%|", 0, 0},
      {2, u"", 4, 1, head + "|#1=5,#2=6|" + comment + " X1|(a" + zero + "b) M30|%|", 0, 0},
      {0, u";", 1, 2, "%|O1000 (TEST)||" + before.substr(std::string("%|O1000 (TEST)|").size()), 2, 1},
      {2, u"", 0, 0, before.substr(2), 0, -1},
  };
  const std::string crlf = "\r\n", lf = "\n", cr = "\r";
  const struct {
    const char* name;
    std::vector<std::string> ends;  // one per line end of `before`
  } layouts[] = {{"CR LF", std::vector<std::string>(7, crlf)},
                 {"LF", std::vector<std::string>(7, lf)},
                 {"CR", std::vector<std::string>(7, cr)},
                 {"mixed", {crlf, lf, lf, cr, crlf, lf, cr}}};
  auto withEnds = [](const std::string& text, const std::vector<std::string>& ends) {
    std::string out;
    std::size_t k = 0;
    for (char c : text) {
      if (c == '|') out += k < ends.size() ? ends[k++] : "?";
      else out.push_back(c);
    }
    return out;
  };
  for (const auto& layout : layouts) {
    for (const Edit& e : cases) {
      SCOPED_TRACE(std::string(layout.name) + " " + plat::WideToUtf8(e.text) + " at " + std::to_string(e.line) +
                   "," + std::to_string(e.col));
      const std::string file = dir.File("keep.nc");
      WriteBytes(file, withEnds(before, layout.ends));
      ASSERT_EQ(Create("keep.nc", nullptr), u';');  // the first line holds no item
      EXPECT_EQ(b.LineCount(), 8);
      int saved = kCodeWriteNothing;
      line = e.line;
      col = e.col;
      if (e.op == 0) b.Insert(e.text, line, col, &saved);
      if (e.op == 1) b.Replace(e.text, line, col, &saved);
      if (e.op == 2) b.Delete(line, col, &saved);
      EXPECT_EQ(saved, kCodeWriteOk);
      // A new line end takes the file's first kind; the others keep theirs.
      std::vector<std::string> ends = layout.ends;
      if (e.endsAdded > 0) ends.insert(ends.begin() + e.endAt, ends.front());
      if (e.endsAdded < 0) ends.erase(ends.begin() + e.endAt);
      EXPECT_EQ(ReadBytes(file), withEnds(e.after, ends));
    }
  }
}

// A new file leaves nothing of the text before it: no edited text, no tail,
// no modified flag.
TEST_F(Buffer, CreateStartsFromTheNewFile) {
  // A new program template belongs to no file: its edits never land in the
  // file loaded before it.
  WriteBytes(dir.File("old.nc"), "O1\r\nG1 X9\r\n");
  Create("old.nc", nullptr);
  b.Reset(u"O0000", u"M30");
  b.Insert(u"G1 X1", line = 0, col = 1);
  EXPECT_EQ(Text(), u"O0000\nG1 X1\nM30");
  EXPECT_EQ(ReadBytes(dir.File("old.nc")), "O1\r\nG1 X9\r\n");
  // A file opened without taking its name is still the one edits save to.
  WriteBytes(dir.File("other.nc"), "O3\nG1 X3\n");
  b.Create(dir.WideFile("other.nc").c_str(), nullptr, false);
  EXPECT_EQ(std::u16string(b.GetName()), u"old.nc");
  b.Insert(u"Y3", line = 1, col = 1);
  EXPECT_EQ(ReadBytes(dir.File("other.nc")), "O3\nG1 X3 Y3\n");
  EXPECT_EQ(ReadBytes(dir.File("old.nc")), "O1\r\nG1 X9\r\n");
  WriteBytes(dir.File("n.nc"), "O2\r\nG0 X5\r\n");
  Create("n.nc", nullptr);
  EXPECT_FALSE(b.IsModified());
  EXPECT_EQ(Text(), u"O2\nG0 X5\n");
  EXPECT_EQ(b.Save(), kCodeWriteNothing);
  b.Insert(u"Y1", line = 1, col = 1);
  EXPECT_EQ(Text(), u"O2\nG0 X5 Y1\n");
  EXPECT_EQ(ReadBytes(dir.File("n.nc")), "O2\r\nG0 X5 Y1\r\n");
}

// A CR alone ends a line as LF and CR LF do; the text shows every line end
// as LF.
TEST_F(Buffer, LineEndsOfEveryKindMakeLines) {
  for (const char* end : {"\r", "\n", "\r\n"}) {
    const std::string bytes = std::string("O1") + end + "G1 X1" + end + "M30";
    WriteBytes(dir.File("cr.nc"), bytes);
    Create("cr.nc", nullptr);
    EXPECT_EQ(Text(), u"O1\nG1 X1\nM30") << end;
    EXPECT_EQ(Copy(b.GetTable()), (Lines{{u"O1", u";"}, {u"G1", u"X1", u";"}, {u"M30", u";"}})) << end;
    EXPECT_EQ(b.WriteTo(dir.WideFile("copy.nc")), kCodeWriteOk);
    EXPECT_EQ(ReadBytes(dir.File("copy.nc")), bytes) << end;
  }
}
// Each edit writes the file so that it reads back as the buffer holds it:
// no line end is replaced or fused with another, a text left empty empties
// the file, and every character of the file stays itself.
TEST_F(Buffer, TheFileReadsBackAsTheBufferAfterEachEdit) {
  const std::string zero(1, '\0');
  const struct Case {
    const char* name;
    std::string before;
    int op;  // 0 insert, 1 replace, 2 delete, 3 no edit (written again)
    const char16_t* text;
    int line, col;
    std::string after;
    int saved;
  } cases[] = {
      // In place of a line's ";" the words end the line; the next line stays.
      {"replace a line end", "G00 X1 X9\r\nM30\r\n", 1, u"X9", 0, 3, "G00 X1 X9 X9\r\nM30\r\n", kCodeWriteOk},
      {"replace a line end, compact", "G0X1\nM30", 1, u"X9", 0, 2, "G0X1X9\nM30", kCodeWriteOk},
      // A blank line between a CR and an LF goes with the CR before it.
      {"delete a blank line after a CR", "O1\r \n\nM30\n", 2, u"", 1, 0, "O1\n\nM30\n", kCodeWriteOk},
      {"delete an empty line after a CR", "O1\r\r\n\nM30\n", 2, u"", 1, 0, "O1\r\n\nM30\n", kCodeWriteOk},
      // Where either end would do so, the empty line takes a CR.
      {"delete a blank line between CRs", "O1\r\r \n\nM30", 2, u"", 2, 0, "O1\r\r\rM30", kCodeWriteOk},
      {"open a line after a CR", "X\nA\rB\r", 0, u";", 1, 1, "X\nA\r\rB\r", kCodeWriteOk},
      // The last item of a file: the file is emptied with the buffer.
      {"delete the only item", "G90", 2, u"", 0, 0, "", kCodeWriteOk},
      {"delete the only item of a line", "G90\n", 2, u"", 0, 0, "\n", kCodeWriteOk},
      // A zero byte and the symbol for NUL are two characters.
      {"write NUL and U+2400", "G1" + zero + "X1 (\xE2\x90\x80)\n", 3, u"", 0, 0, "G1" + zero + "X1 (\xE2\x90\x80)\n",
       kCodeWriteOk},
      {"edit beside NUL and U+2400", "G1" + zero + "X1 (\xE2\x90\x80)\n", 0, u"Y2", 0, 1,
       "G1" + zero + "X1 Y2 (\xE2\x90\x80)\n", kCodeWriteOk},
      // A lone surrogate is no character: written as '?', the save is lossy.
      {"insert a lone surrogate", "G1\n", 0, u"(\xD800)", 0, 0, "G1 (?)\n", kCodeWriteLossy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir.File("e.nc");
    WriteBytes(file, c.before);
    Create("e.nc", nullptr);
    int saved = -1;
    line = c.line;
    col = c.col;
    if (c.op == 0) b.Insert(c.text, line, col, &saved);
    if (c.op == 1) b.Replace(c.text, line, col, &saved);
    if (c.op == 2) b.Delete(line, col, &saved);
    if (c.op == 3) saved = b.WriteTo(dir.WideFile("e.nc"));
    EXPECT_EQ(saved, c.saved);
    const std::string written = ReadBytes(file);
    EXPECT_EQ(written, c.after);
    // Read back, a file written whole gives the buffer's text and lines.
    if (c.saved == kCodeWriteOk) {
      CCodeAnalyzer fresh;
      EXPECT_EQ(WidenFileText(written), std::u16string(b.GetText() ? b.GetText() : u""));
      EXPECT_EQ(Copy(fresh.Analyze(WidenFileText(written))), Copy(b.GetTable()));
    }
  }
}
}  // namespace
}  // namespace quillet::test
