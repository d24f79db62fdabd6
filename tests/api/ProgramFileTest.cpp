// Program files through the buffer and parse exports: what a user wrote is
// read whole and written back byte for byte except for the edit, a failed
// save reaches the caller, and CR-only files and zero bytes are read line by
// line.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/api/ApiHarness.h"
#include "tests/support/ScratchFolder.h"

namespace apitest {
namespace {

using quillet::test::ReadBytes;
using quillet::test::ScratchFolder;
using quillet::test::WriteBytes;

class ProgramFileTest : public ApiTest {
 protected:
  int Create(const std::string& file) {
    std::u16string path = W(file);
    char setPath = 1;
    return Code_CreateBuffer(&id, path.data(), nullptr, &setPath);
  }
  std::u16string CodeStr() {
    const char16_t* text = Code_GetCodeStr(&id);
    return text ? std::u16string(text) : u"<null>";
  }
  quillet::CodeItemTable* Insert(const char16_t* text, int line, int col) {
    std::u16string t(text);
    return Code_EditInsert(&id, t.data(), &line, &col);
  }
  // Parses the buffer's text as the viewer does after loading a file.
  PathGroups* ParseBuffer() {
    std::u16string text = CodeStr(), folder(Code_GetFolder(&id)), name(Code_GetNCName(&id));
    int startLine = 0;
    CPoint3d start;
    Code_ParsingFromBuffer(&startLine, text.data(), folder.data(), name.data(), &start.x, &start.y, &start.z);
    return Code_CutterPath();
  }
  PathGroups* ParseFile(const std::string& file) {
    std::u16string path = W(file);
    CPoint3d start;
    Code_Parsing(path.data(), &start.x, &start.y, &start.z);
    return Code_CutterPath();
  }

  ScratchFolder dir;
  int id = 0;
};

// An edit whose save fails keeps the edit in the buffer and says so through
// its result; the next save that works writes everything.
TEST_F(ProgramFileTest, AnEditWhoseSaveFailsReturnsNoTable) {
  const std::string folder = dir.File("progs"), moved = dir.File("moved");
  WriteBytes(folder + "/O1.nc", "O1\r\nG0 X1\r\nM30\r\n");
  ASSERT_EQ(Create(folder + "/O1.nc"), 'O');
  ASSERT_NE(Insert(u"Y1", 1, 1), nullptr);
  EXPECT_EQ(ReadBytes(folder + "/O1.nc"), "O1\r\nG0 X1 Y1\r\nM30\r\n");
  std::filesystem::rename(folder, moved);  // the file's folder is gone
  EXPECT_EQ(Insert(u"Z1", 1, 2), nullptr);
  int line = 1, col = 0;
  EXPECT_EQ(Code_EditDelete(&id, &line, &col), nullptr);
  std::u16string z2 = u"Z2";
  EXPECT_EQ(Code_EditReplace(&id, z2.data(), &line, &col), nullptr);
  EXPECT_EQ(ReadBytes(moved + "/O1.nc"), "O1\r\nG0 X1 Y1\r\nM30\r\n");
  ASSERT_NE(Code_GetFormatedStr(&id), nullptr);
  EXPECT_EQ(CodeStr(), u"O1\nZ2 Y1 Z1\nM30\n");
  std::u16string copy = W(dir.File("copy.nc")), nowhere = W(dir.File("progs/copy.nc"));
  EXPECT_EQ(Code_WriteBuffer(&id, nowhere.data()), 2);
  EXPECT_EQ(Code_WriteBuffer(&id, copy.data()), 0);
  EXPECT_EQ(ReadBytes(dir.File("copy.nc")), "O1\r\nZ2 Y1 Z1\r\nM30\r\n");
}

// Loading a file after an edited template leaves nothing of the template:
// no old text, no tail, no modified flag.
TEST_F(ProgramFileTest, CreateBufferStartsFromTheNewFile) {
  Code_ResetBuffer(&id);
  ASSERT_NE(Insert(u"G1 X1", 0, 1), nullptr);
  EXPECT_EQ(CodeStr(), u"O0000\nG1 X1\nM30");
  const std::string bytes = "O77\n(KEEP  THIS)\n#1=5,#2=6\nG1 X-1234.5678901\n";
  WriteBytes(dir.File("O77.nc"), bytes);
  ASSERT_EQ(Create(dir.File("O77.nc")), 'O');
  EXPECT_EQ(CodeStr(), u"O77\n(KEEP  THIS)\n#1=5,#2=6\nG1 X-1234.5678901\n");
  EXPECT_EQ(ReadBytes(dir.File("O77.nc")), bytes);  // reading changes nothing
  ASSERT_NE(Insert(u"M08", 3, 1), nullptr);
  EXPECT_EQ(ReadBytes(dir.File("O77.nc")), "O77\n(KEEP  THIS)\n#1=5,#2=6\nG1 X-1234.5678901 M08\n");
}

// A zero byte neither ends the file nor disappears: every line is read, the
// zero byte's block says so, and a save puts the byte back.
TEST_F(ProgramFileTest, AZeroByteIsReportedAndKept) {
  const std::string bytes = std::string("G00 X1 Y0 Z0\r\nG00 X2\0 Y3\r\nG00 X4\r\nM30\r\n", 38);
  const std::string file = dir.File("zero.nc");
  WriteBytes(file, bytes);
  ASSERT_EQ(Create(file), 'G');
  EXPECT_EQ(CodeStr(), u"G00 X1 Y0 Z0\nG00 X2\xDC00 Y3\nG00 X4\nM30\n");
  for (int viaBuffer = 0; viaBuffer < 2; ++viaBuffer) {
    Log().Clear();
    PathGroups* paths = viaBuffer ? ParseBuffer() : ParseFile(file);
    ASSERT_NE(paths, nullptr) << viaBuffer;
    ASSERT_EQ(Log().messages.size(), 1u) << viaBuffer;
    EXPECT_EQ(Log().messages[0].line, 2) << viaBuffer;
    EXPECT_NE(Log().messages[0].text.find(u"zero byte"), std::u16string::npos) << viaBuffer;
    EXPECT_TRUE(Near(End(paths, 1), {2, 3, 0})) << viaBuffer;
    EXPECT_TRUE(Near(End(paths, 2), {4, 3, 0})) << viaBuffer;
  }
  std::u16string copy = W(dir.File("copy.nc"));
  EXPECT_EQ(Code_WriteBuffer(&id, copy.data()), 0);
  EXPECT_EQ(ReadBytes(dir.File("copy.nc")), bytes);
  ASSERT_NE(Insert(u"F100", 2, 1), nullptr);
  EXPECT_EQ(ReadBytes(file), std::string("G00 X1 Y0 Z0\r\nG00 X2\0 Y3\r\nG00 X4 F100\r\nM30\r\n", 43));
}

// A program with CR-only line ends runs line by line from the file, from the
// buffer's text and from a text with CRs handed over directly.
TEST_F(ProgramFileTest, CarriageReturnOnlyLinesRunLineByLine) {
  const std::string bytes = "G00 X0 Y0 Z0\rG01 X5 F100\rG01 Y5\rM30\r";
  const std::string file = dir.File("cr.nc");
  WriteBytes(file, bytes);
  ASSERT_EQ(Create(file), 'G');
  EXPECT_EQ(CodeStr(), u"G00 X0 Y0 Z0\nG01 X5 F100\nG01 Y5\nM30\n");
  for (int way = 0; way < 3; ++way) {
    Log().Clear();
    PathGroups* paths = way == 0 ? ParseFile(file) : way == 1 ? ParseBuffer() : Parse(W(bytes));
    ASSERT_NE(paths, nullptr) << way;
    EXPECT_TRUE(Log().messages.empty()) << way;
    EXPECT_TRUE(Near(End(paths, 1), {5, 0, 0})) << way;
    EXPECT_TRUE(Near(End(paths, 2), {5, 5, 0})) << way;
  }
  ASSERT_NE(Insert(u"Z1", 2, 1), nullptr);
  EXPECT_EQ(ReadBytes(file), "G00 X0 Y0 Z0\rG01 X5 F100\rG01 Y5 Z1\rM30\r");
}

// Bytes the code page (UTF-8 here) cannot decode, such as a Latin-1 degree
// sign in a comment, are shown as stand-ins and come back byte for byte when
// an edit of another line, or a save to another file, writes the buffer.
TEST_F(ProgramFileTest, BytesTheCodePageCannotDecodeSurviveAnEditAndASave) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string shown;  // what Code_GetCodeStr gives
    int line;              // the line edited (an item inserted after its first)
    std::string after;
  };
  const Case cases[] = {
      {"Latin-1 degree sign", "O1\r\nG01 X1. (90\xB0 CORNER)\r\nG01 X2.\r\nM30\r\n",
       u"O1\nG01 X1. (90\xDCB0 CORNER)\nG01 X2.\nM30\n", 2,
       "O1\r\nG01 X1. (90\xB0 CORNER)\r\nG01 X2. M08\r\nM30\r\n"},
      {"UTF-8 cut short, a stray byte", "O2\n(\xE4\xB8)\nG01 X1.\n(\xFF\xC3\xA9)",
       u"O2\n(\xDCE4\xDCB8)\nG01 X1.\n(\xDCFF\u00E9)", 2, "O2\n(\xE4\xB8)\nG01 X1. M08\n(\xFF\xC3\xA9)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir.File("cp.nc");
    WriteBytes(file, c.bytes);
    ASSERT_GT(Create(file), 0);
    EXPECT_EQ(CodeStr(), c.shown);
    Log().Clear();
    ASSERT_NE(ParseBuffer(), nullptr);
    EXPECT_TRUE(Log().messages.empty()) << "a comment is not read";
    std::u16string copy = W(dir.File("copy.nc"));
    EXPECT_EQ(Code_WriteBuffer(&id, copy.data()), 0) << "no character is lost";
    EXPECT_EQ(ReadBytes(dir.File("copy.nc")), c.bytes);
    ASSERT_NE(Insert(u"M08", c.line, 1), nullptr);
    EXPECT_EQ(ReadBytes(file), c.after);
  }
}

}  // namespace
}  // namespace apitest
