// The Code_ interface as a whole: program replacement and retirement, calls
// out of order, misuse of every export, null callbacks, extreme input and
// the rule files.
#include <cmath>
#include <filesystem>

#include "platform/Paths.h"
#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class InterfaceTest : public ApiTest {};

std::vector<std::vector<std::u16string>> g_rules;
void ShowRule(int* index, char16_t* name, char16_t* func, char16_t* group, char16_t* global, char16_t* address,
              char16_t* movable) {
  EXPECT_EQ(*index, static_cast<int>(g_rules.size()));
  g_rules.push_back({name, func, group, global, address, movable});
}
std::size_t RuleCount() {
  g_rules.clear();
  Code_ShowCodeRule(ShowRule);
  return g_rules.size();
}

// Every record of "fanuc.cmt" in file order, and the rules survive misuse;
// missing rule files give empty rules and are not created; names match
// whatever their case.
TEST_F(InterfaceTest, RuleFiles) {
  ASSERT_EQ(RuleCount(), 111u);
  EXPECT_EQ(g_rules[1], (std::vector<std::u16string>{u"G01", u"GLI", u"1", u"2", u"", u"0"}));
  std::u16string main = u"coderule\\missing_main.cmt", macro = u"coderule\\missing_macro.cmt";
  Code_SwitchRule(main.data(), macro.data());
  EXPECT_FALSE(std::filesystem::exists(plat::ExePath("coderule/missing_main.cmt")));
  EXPECT_EQ(RuleCount(), 0u);
  Parse(u"G00 X1\nG02 X5 R1\n#1=2\n");
  Code_AutoRun();
  main = u"CodeRule\\FANUC.CMT", macro = u"CODERULE\\Fanuc_Macro.cmt";
  Code_SwitchRule(main.data(), macro.data());
  EXPECT_EQ(RuleCount(), 111u);
  PathGroups* paths = ParseProgram("rapid_feed.nc");
  EXPECT_TRUE(paths && paths->size() == 6u);
}

// Each parse replaces the previous program, which is deleted on its own
// thread; Code_Parsing reads a file and never creates a missing one.
TEST_F(InterfaceTest, EachParseReplacesThePreviousProgram) {
  for (int n = 0; n < 20; ++n) ParseOnly(n % 2 ? u"G00 X1\nG02 X0 Y0 I1" : u"G01 X5 F100\nG00 X7\n#1=3");
  std::u16string path = W(ProgramPath("rapid_feed.nc"));
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(Code_Parsing(path.data(), &x, &y, &z), nullptr);
  PathGroups* paths = Code_CutterPath();
  ASSERT_TRUE(paths && paths->size() == 6u);
  EXPECT_TRUE(Near(End(paths, 1), {30, 20, 5}));
  EXPECT_EQ(Motions(Simulate()).size(), 4u);
  path = W(dataRoot + "/missing.nc");
  EXPECT_EQ(Code_Parsing(path.data(), &x, &y, &z), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dataRoot + "/missing.nc"));
  paths = Code_CutterPath();
  for (const CPathList& l : paths ? *paths : PathGroups{}) EXPECT_TRUE(l.empty());
  EXPECT_TRUE(Motions(Simulate()).empty());
}

// Code_SwitchData and Code_SwitchRule retire the current program: nothing
// is built, simulated or highlighted from it afterwards.
TEST_F(InterfaceTest, SwitchDataAndSwitchRuleRetireTheProgram) {
  for (int which = 0; which < 2; ++which) {
    ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
    std::u16string main = u"coderule\\fanuc.cmt", macro = u"coderule\\fanuc_macro.cmt";
    which == 0 ? (void)SwitchData(dataRoot) : Code_SwitchRule(main.data(), macro.data());
    EXPECT_EQ(Code_CutterPath(), nullptr) << which;
    unsigned index = 1;
    EXPECT_EQ(Code_SelBlock(&index), nullptr) << which;
    EXPECT_TRUE(Simulate().empty()) << which;
  }
}

// Before any parse and after Code_Uninitialize every call gives its failure
// value; afterwards the library starts again.
TEST_F(InterfaceTest, CallsWithoutAProgramOrAfterUninitialize) {
  for (int state = 0; state < 2; ++state) {
    if (state == 1) {
      ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
      Code_Uninitialize();
      Log().Clear();
    }
    unsigned index = 1;
    EXPECT_TRUE(!Code_CutterPath() && !Code_CutterPath_Commonded() && !Code_SelBlock(&index)) << state;
    EXPECT_TRUE(Simulate().empty() && Code_GetCurH() == 0 && Code_GetCurD() == 0) << state;
    Code_ResetProg(nullptr);
  }
  unsigned kind = 0;
  int rows = -5, cols = -5, row = 1, col = 0;
  double delta = 1.0;
  Code_GetDataCount(&kind, &rows, &cols);
  EXPECT_EQ(rows + cols, -10);
  EXPECT_TRUE(Code_AddDataValue(&kind, &row, &col, &delta) == 0.0 && Cell(0, 1, 0) == 0.0);
  EXPECT_TRUE(RuleCount() == 0 && Code_GetCurPZ() == nullptr);
  EXPECT_EQ(Log().alerts, std::vector<std::u16string>{u"Data of part zero lost!"});
  Parse(u"G00 X10 Y20 Z5\nG54 G01 X30 F100\nG02 X0 Y0 R50\n");
  Code_AutoRun();
  Code_Uninitialize();
  StartLibrary();
  PathGroups* paths = ParseProgram("rapid_feed.nc");
  EXPECT_TRUE(paths && paths->size() == 6u);
}

// Misuse of every export returns its failure value and changes nothing: the
// program, the tables and the rules are the ones from before; no buffer
// file is made.
TEST_F(InterfaceTest, MisuseChangesNothing) {
  SetWorkOffset(1, {4, 5, 6});
  SetWorkOffset(3, {1.5, -2.5, 3.25});
  ASSERT_NE(Parse(u"G56 G00 X0 Y0 Z0\nG01 X1 F100\n"), nullptr);
  Code_SetHWnd(nullptr);
  Code_Skip(nullptr);
  Code_SwitchRule(nullptr, nullptr);
  std::u16string rules = u"coderule\\fanuc.cmt", system = u"fanuc", folder = W(dataRoot), name(40, u'x');
  Code_SwitchRule(rules.data(), nullptr);
  EXPECT_TRUE(Code_SwitchData(nullptr, system.data()) && Code_SwitchData(folder.data(), nullptr) &&
              Code_SwitchData(folder.data(), name.data()));
  EXPECT_EQ(std::u16string(Code_GetCurSysName()), u"fanuc");
  double x = 0, y = 0, z = 0;
  int start = 0;
  std::u16string text = u"G00 X99 Y99 Z99";
  EXPECT_EQ(Code_Parsing(nullptr, &x, &y, &z), nullptr);
  Code_ParsingFromBuffer(nullptr, text.data(), nullptr, nullptr, &x, &y, &z);
  Code_ParsingFromBuffer(&start, text.data(), nullptr, nullptr, nullptr, &y, &z);
  EXPECT_EQ(Code_SelBlock(nullptr), nullptr);
  EXPECT_TRUE(Code_GetCodeTip(nullptr) == nullptr || *Code_GetCodeTip(nullptr) == 0);
  EXPECT_TRUE(Code_GetCodeFmt(nullptr) == nullptr || *Code_GetCodeFmt(nullptr) == 0);
  Code_Analyze(nullptr);
  // The part zero is a new array of the selected system's offsets; freeing
  // it twice or freeing a foreign array does nothing.
  double* pz = Code_GetCurPZ();
  ASSERT_NE(pz, nullptr);
  EXPECT_TRUE(Near({pz[0], pz[1], pz[2]}, {1.5, -2.5, 3.25}, 0));
  Code_FreeIt(pz);
  Code_FreeIt(pz);
  double notOurs[3] = {1, 2, 3};
  Code_FreeIt(notOurs);
  EXPECT_EQ(notOurs[0], 1.0);
  for (int bad : {2, -1, 1000}) {
    int id = bad, line = 0, col = 0;
    std::u16string path = W(dataRoot + "/buffer.nc"), value = u"G01";
    char setPath = 1;
    EXPECT_EQ(Code_CreateBuffer(&id, path.data(), value.data(), &setPath), 0);
    Code_CreateBufferFromString(&id, path.data(), value.data());
    Code_ClearBuffer(&id);
    Code_ResetBuffer(&id);
    Code_SetFolder(&id, path.data());
    EXPECT_TRUE(!Code_GetCodeStr(&id) && !Code_GetNCName(&id) && !Code_GetFolder(&id) && !Code_GetFormatedStr(&id));
    EXPECT_TRUE(!Code_EditInsert(&id, value.data(), &line, &col) && !Code_EditReplace(&id, value.data(), &line, &col));
    EXPECT_TRUE(!Code_EditDelete(&id, &line, &col) && !Code_BufferItemStr(&id, &line, &col));
    EXPECT_EQ(Code_BufferLineCount(&id) + Code_BufferColCount(&id, &line), 0);
    EXPECT_NE(Code_WriteBuffer(&id, path.data()), 0);
    EXPECT_FALSE(std::filesystem::exists(dataRoot + "/buffer.nc"));
  }
  int one = 1;
  EXPECT_EQ(Code_CreateBuffer(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(Code_EditInsert(&one, nullptr, nullptr, nullptr), nullptr);
  EXPECT_NE(Code_WriteBuffer(&one, nullptr), 0);
  PathGroups* paths = Code_CutterPath();
  ASSERT_TRUE(paths && paths->size() == 4u);
  EXPECT_TRUE(Near(End(paths, 1), {2.5, -2.5, 3.25}));
  EXPECT_TRUE(Cell(1, 1, 0) == 4.0 && RuleCount() == 111u);
  // A null text makes an empty current program.
  std::u16string o1 = u"O1";
  Code_ParsingFromBuffer(&start, nullptr, nullptr, o1.data(), &x, &y, &z);
  paths = Code_CutterPath();
  EXPECT_TRUE(paths && paths->empty());
}

// Without callbacks parsing, path building and simulation still run.
TEST_F(InterfaceTest, NullCallbacks) {
  short mode = 1;
  int language = 1;
  Code_Initialize(&mode, nullptr, nullptr, 0, nullptr, &language);
  PathGroups* paths = ParseProgram("records.nc");
  EXPECT_TRUE(paths && paths->size() >= 10u);
  Code_AutoRun();
  paths = Parse(u"G00 X0 Y0 Z0\nT3 M06\nG02 X10 Y0 R4\n");
  EXPECT_TRUE(paths && paths->size() == 3u);
  EXPECT_TRUE(Log().records.empty() && Log().messages.empty() && Log().toolQueries.empty());
}

// Numbers far outside any table or int, a 3000-character comment, a line of
// 700 words, a 21-character number queued before its motion code, an R arc
// that ends at its start: parsing, path building and simulation end normally,
// with finite points only. The simulation ends where the drawn path ends:
// before the first block with a message.
TEST_F(InterfaceTest, ExtremeValuesGiveFinitePointsOnly) {
  for (const std::u16string& text :
       {ProgramText("extreme_values.nc"), std::u16string(u"G00 X0 Y0 Z0\nG02 X0 Y0 R5 F100\nG00 X3 Y0 Z0\n")}) {
    PathGroups* paths = Parse(text);
    ASSERT_NE(paths, nullptr);
    for (const CPathList& l : *paths)
      for (const CPathPolyline* p : l)
        for (const CPoint3d& q : *p) EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z));
    const std::vector<Record> records = Simulate();
    for (const Record& r : records)
      EXPECT_TRUE(std::isfinite(r.position.x) && std::isfinite(r.position.y) && std::isfinite(r.position.z));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().position.x, -100.0);
    // The last point drawn.
    CPoint3d last{NAN, NAN, NAN};
    for (const CPathList& l : *paths)
      for (const CPathPolyline* p : l)
        if (p->PointCount() > 0) last = p->Point(p->PointCount() - 1);
    ASSERT_FALSE(Motions(records).empty());
    EXPECT_TRUE(Near(Motions(records).back().position, last));
  }
}

// The shipped tips through the exports: the tip and the format of a code are
// separate texts, so a tip taken first still reads as the tip after the
// format is taken; a code without a tip gives an empty text.
TEST_F(InterfaceTest, CodeTipAndFormatAreSeparateTexts) {
  std::u16string g2 = u"G02", g7 = u"G07", g999 = u"G999";
  const char16_t* tip = Code_GetCodeTip(g2.data());
  ASSERT_NE(tip, nullptr);
  const std::u16string tipText = tip;
  const char16_t* fmt = Code_GetCodeFmt(g2.data());
  ASSERT_NE(fmt, nullptr);
  EXPECT_EQ(std::u16string(fmt), u"G02 X_ Y_ R_ F_ / G02 X_ Y_ I_ J_ F_");
  EXPECT_EQ(std::u16string(tip), tipText) << "the tip still reads as the tip";
  EXPECT_NE(tipText.find(u"\r\n"), std::u16string::npos);
  EXPECT_NE(tipText.substr(0, tipText.find(u"\r\n")), u"");
  EXPECT_EQ(std::u16string(Code_GetCodeTip(g7.data())), u"");
  EXPECT_EQ(std::u16string(Code_GetCodeTip(g999.data())), u"");
  EXPECT_EQ(std::u16string(Code_GetCodeFmt(g999.data())), u"");
}

// #0 to #33 are the program's local variables: their text is the program's
// value, not the table's row; #34 is the table's.
TEST_F(InterfaceTest, LocalVariableTextsComeFromTheProgram) {
  SetCell(3, 32, 0, 7.0);
  SetCell(3, 33, 0, 7.0);
  SetCell(3, 34, 0, 7.0);
  ASSERT_NE(Parse(u"#32=1.5\n#33=33.25\n#34=2\n"), nullptr);
  unsigned kind = 3;
  const std::pair<int, const char16_t*> rows[] = {{32, u"1.5"}, {33, u"33.25"}, {34, u"2"}};
  for (auto [number, text] : rows) {
    int row = number, col = 0;
    EXPECT_EQ(std::u16string(Code_GetDataStr(&kind, &row, &col)), text) << number;
  }
  int row = 33, col = 0;
  EXPECT_EQ(Code_GetDataValue(&kind, &row, &col), 7.0) << "the program's #33 is not the table's row";
}

}  // namespace
}  // namespace apitest
