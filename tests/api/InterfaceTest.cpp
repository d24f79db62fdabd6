// The Code_ interface as a whole: the rule list, code tips, program
// replacement and retirement, calls out of order, bad arguments and calls
// after Code_Uninitialize.
#include <cmath>
#include <filesystem>
#include <map>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "tests/api/ApiHarness.h"

namespace fs = std::filesystem;

namespace apitest {
namespace {

class InterfaceTest : public ApiTest {};

// ---------------------------------------------------------------------------
// Our own reading of the shipped UTF-16 key=value files.

std::vector<std::pair<std::u16string, std::u16string>> ReadKeyValues(const std::string& relative) {
  std::vector<std::pair<std::u16string, std::u16string>> out;
  const auto bytes = plat::ReadFileBytes(plat::ExePath(relative));
  EXPECT_TRUE(bytes.has_value()) << relative;
  if (!bytes || bytes->size() < 2) return out;
  std::u16string text;
  for (std::size_t i = 2; i + 1 < bytes->size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>((*bytes)[i]) |
                                         (static_cast<unsigned char>((*bytes)[i + 1]) << 8)));
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    std::u16string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    start = end + 1;
    if (line == u"%") {
      out.emplace_back(u"%", u"");
      continue;
    }
    const std::size_t eq = line.find(u'=');
    if (eq == std::u16string::npos) continue;
    out.emplace_back(line.substr(0, eq), line.substr(eq + 1));
  }
  return out;
}

// The decimal integer at the start of a text, 0 when there is none.
int IntPrefix(const std::u16string& s) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  long v = 0;
  while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') v = v * 10 + (s[i++] - u'0');
  return static_cast<int>(negative ? -v : v);
}

struct RuleRow {
  std::u16string codename, codefunc, group, globalname, address, movable;
};

std::vector<RuleRow> ExpectedRules() {
  std::vector<RuleRow> rows;
  RuleRow cur;
  auto reset = [&] {
    cur = {u"G00", u"GRT", u"-1", u"1", u"", u"1"};
  };
  reset();
  for (const auto& [key, value] : ReadKeyValues("coderule/fanuc.cmt")) {
    if (key == u"codename") cur.codename = value;
    else if (key == u"codefunc") cur.codefunc = value;
    else if (key == u"address") cur.address = value;
    else if (key == u"group") cur.group = W(std::to_string(IntPrefix(value)));
    else if (key == u"globalname") cur.globalname = W(std::to_string(IntPrefix(value)));
    else if (key == u"movable") cur.movable = IntPrefix(value) == 1 && !value.empty() ? u"1" : u"0";
    else if (key == u"%") {
      rows.push_back(cur);
      reset();
    }
  }
  return rows;
}

std::vector<RuleRow> g_shown;
std::vector<int> g_shownIndex;

void ShowRule(int* index, char16_t* codename, char16_t* codefunc, char16_t* group, char16_t* globalname,
              char16_t* address, char16_t* movable) {
  g_shownIndex.push_back(*index);
  g_shown.push_back({codename, codefunc, group, globalname, address, movable});
}

TEST_F(InterfaceTest, ShowCodeRuleListsEveryEntryInFileOrder) {
  const std::vector<RuleRow> expected = ExpectedRules();
  ASSERT_GT(expected.size(), 100u);
  g_shown.clear();
  g_shownIndex.clear();
  EXPECT_EQ(Code_ShowCodeRule(ShowRule), 0);
  ASSERT_EQ(g_shown.size(), expected.size());
  for (std::size_t n = 0; n < expected.size(); ++n) {
    SCOPED_TRACE(A(expected[n].codename));
    EXPECT_EQ(g_shownIndex[n], static_cast<int>(n));
    EXPECT_EQ(g_shown[n].codename, expected[n].codename);
    EXPECT_EQ(g_shown[n].codefunc, expected[n].codefunc);
    EXPECT_EQ(g_shown[n].group, expected[n].group);
    EXPECT_EQ(g_shown[n].globalname, expected[n].globalname);
    EXPECT_EQ(g_shown[n].address, expected[n].address);
    EXPECT_EQ(g_shown[n].movable, expected[n].movable);
  }
  EXPECT_EQ(Code_ShowCodeRule(nullptr), 0);
}

// Tip records by G number; a record that omits a key keeps the previous one's.
struct Tip {
  std::u16string tip, fmt;
};
std::map<int, Tip> ReadTips(const std::string& relative, std::map<int, Tip> into = {}) {
  int number = 0;
  Tip cur;
  for (const auto& [key, value] : ReadKeyValues(relative)) {
    if (key == u"nCodeName") number = IntPrefix(value);
    else if (key == u"Tip") cur.tip = value;
    else if (key == u"Fmt") cur.fmt = value;
    else if (key == u"%") into[number] = cur;
  }
  return into;
}

// The tip of Gn is its own text, a line break and the text of the next code
// above n (below 100) that has a tip; the format is its own.
void ExpectTips(const std::map<int, Tip>& tips) {
  ASSERT_GT(tips.size(), 30u);
  for (int n = 0; n < 100; ++n) {
    SCOPED_TRACE(n);
    std::u16string own, next;
    auto it = tips.find(n);
    if (it != tips.end()) own = it->second.tip;
    for (int m = n + 1; m < 100; ++m)
      if (auto nt = tips.find(m); nt != tips.end()) {
        next = nt->second.tip;
        break;
      }
    const std::u16string expectedTip = own + u"\r\n" + next;
    const std::u16string expectedFmt = it != tips.end() ? it->second.fmt : u"";
    std::u16string code = W(n < 10 ? "G0" + std::to_string(n) : "G" + std::to_string(n));
    char16_t* tip = Code_GetCodeTip(code.data());
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(std::u16string(tip), expectedTip);
    char16_t* fmt = Code_GetCodeFmt(code.data());
    ASSERT_NE(fmt, nullptr);
    EXPECT_EQ(std::u16string(fmt), expectedFmt);
  }
}

TEST_F(InterfaceTest, CodeTipsAndFormats) {
  const std::map<int, Tip> en = ReadTips("coderule/codetips_en.txt");
  ExpectTips(en);
  // G1 is the number 1 as G01 is.
  std::u16string g1 = u"G1", g01 = u"G01";
  EXPECT_EQ(std::u16string(Code_GetCodeTip(g1.data())), std::u16string(Code_GetCodeTip(g01.data())));
  // Not a G code, empty, null: empty texts.
  for (const char16_t* c : {u"M03", u"", u"X10"}) {
    std::u16string code = c;
    char16_t* tip = Code_GetCodeTip(code.data());
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(std::u16string(tip), u"");
    char16_t* fmt = Code_GetCodeFmt(code.data());
    ASSERT_NE(fmt, nullptr);
    EXPECT_EQ(std::u16string(fmt), u"");
  }
  char16_t* tip = Code_GetCodeTip(nullptr);
  EXPECT_TRUE(tip == nullptr || std::u16string(tip).empty());
  char16_t* fmt = Code_GetCodeFmt(nullptr);
  EXPECT_TRUE(fmt == nullptr || std::u16string(fmt).empty());

  // Language 0 loads the Chinese tips over the English ones.
  short mode = 1;
  int chinese = 0;
  Code_Initialize(&mode, CommandCallback, MessageCallback, 0, ToolCallback, &chinese);
  ExpectTips(ReadTips("coderule/codetips_cn.txt", en));
}

TEST_F(InterfaceTest, InitializeReturnsModeAndSystemName) {
  short mode = 7;
  int language = 1;
  EXPECT_EQ(Code_Initialize(&mode, CommandCallback, MessageCallback, 0, ToolCallback, &language), 7);
  char16_t* name = Code_GetCurSysName();
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::u16string(name), u"fanuc");
}

// A second parse replaces the first program: the lists are the second's.
// Many parses in a row hand each old program to the destruction thread.
TEST_F(InterfaceTest, EachParseReplacesThePreviousProgram) {
  PathGroups* first = ParseProgram("rapid_feed.nc");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->size(), 6u);
  for (int n = 0; n < 20; ++n) {
    ParseOnly(ProgramText(n % 2 ? "rapid_feed.nc" : "arc_xy_r.nc"));
  }
  PathGroups* last = ParseProgram("three_rapids.nc");
  ASSERT_NE(last, nullptr);
  ASSERT_EQ(last->size(), 5u);
  const CPathPolyline* p = OnlyPolyline(last, 2);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(0), {2, 0, 0}));
  EXPECT_TRUE(Near(p->Point(1), {3, 0, 0}));
  EXPECT_EQ(Motions(Simulate()).size(), 3u);
}

// Code_Parsing reads the program from its file.
TEST_F(InterfaceTest, ParsingFromFile) {
  std::u16string path = W(ProgramPath("rapid_feed.nc"));
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(Code_Parsing(path.data(), &x, &y, &z), nullptr);
  PathGroups* paths = Code_CutterPath();
  ASSERT_NE(paths, nullptr);
  ASSERT_EQ(paths->size(), 6u);
  const CPathPolyline* p = OnlyPolyline(paths, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {30, 20, 5}));
}

// Parsing a file that does not exist draws nothing and does not create it.
TEST_F(InterfaceTest, ParsingMissingFileCreatesNothing) {
  const std::string missing = dataRoot + "/missing.nc";
  std::u16string path = W(missing);
  double x = 0, y = 0, z = 0;
  EXPECT_EQ(Code_Parsing(path.data(), &x, &y, &z), nullptr);
  EXPECT_FALSE(fs::exists(missing));
  PathGroups* paths = Code_CutterPath();
  if (paths) {
    for (const CPathList& l : *paths) EXPECT_TRUE(l.empty());
  }
  Simulate();
  EXPECT_TRUE(Motions(Log().records).empty());
}

// A null text makes an empty current program.
TEST_F(InterfaceTest, NullTextParsesNothing) {
  ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
  int start = 0;
  double x = 0, y = 0, z = 0;
  std::u16string name = u"O1";
  Code_ParsingFromBuffer(&start, nullptr, nullptr, name.data(), &x, &y, &z);
  PathGroups* paths = Code_CutterPath();
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(paths->empty());
}

// Code_SwitchData and Code_SwitchRule retire the current program: nothing
// is built, simulated or highlighted from it afterwards.
TEST_F(InterfaceTest, SwitchDataAndSwitchRuleRetireTheProgram) {
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which ? "SwitchRule" : "SwitchData");
    ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
    if (which == 0) {
      std::u16string folder = W(dataRoot), system = u"fanuc";
      ASSERT_EQ(Code_SwitchData(folder.data(), system.data()), 0);
    } else {
      std::u16string mainRules = u"coderule\\fanuc.cmt", macroRules = u"coderule\\fanuc_macro.cmt";
      Code_SwitchRule(mainRules.data(), macroRules.data());
    }
    EXPECT_EQ(Code_CutterPath(), nullptr);
    EXPECT_EQ(Code_CutterPath_Commonded(), nullptr);
    unsigned index = 1;
    EXPECT_EQ(Code_SelBlock(&index), nullptr);
    EXPECT_TRUE(Simulate().empty());
    // A new parse works as before.
    PathGroups* paths = ParseProgram("rapid_feed.nc");
    ASSERT_NE(paths, nullptr);
    EXPECT_EQ(paths->size(), 6u);
  }
}

// Calls that need a program, before any parse.
TEST_F(InterfaceTest, CallsBeforeAnyParse) {
  EXPECT_EQ(Code_CutterPath(), nullptr);
  EXPECT_EQ(Code_CutterPath_Commonded(), nullptr);
  unsigned index = 0;
  EXPECT_EQ(Code_SelBlock(&index), nullptr);
  EXPECT_TRUE(Simulate().empty());
  EXPECT_EQ(Code_GetCurH(), 0);
  EXPECT_EQ(Code_GetCurD(), 0);
  Code_ResetProg(nullptr);
}

// The commanded-path list exists with a program and is empty.
TEST_F(InterfaceTest, CommandedPathIsEmpty) {
  ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
  PathGroups* commanded = Code_CutterPath_Commonded();
  ASSERT_NE(commanded, nullptr);
  EXPECT_TRUE(commanded->empty());
  Code_ResetProg(nullptr);
  PathGroups* paths = Code_CutterPath();
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 6u);
}

// Bad arguments: every export returns its failure value and changes nothing.
TEST_F(InterfaceTest, BadArgumentsChangeNothing) {
  SetCell(0, 1, 0, 4.5);
  PathGroups* paths = ParseProgram("rapid_feed.nc");
  ASSERT_NE(paths, nullptr);

  Code_SetHWnd(nullptr);
  Code_Skip(nullptr);
  Code_SwitchRule(nullptr, nullptr);
  std::u16string rules = u"coderule\\fanuc.cmt";
  Code_SwitchRule(rules.data(), nullptr);
  std::u16string system = u"fanuc";
  EXPECT_NE(Code_SwitchData(nullptr, system.data()), 0);
  std::u16string folder = W(dataRoot);
  EXPECT_NE(Code_SwitchData(folder.data(), nullptr), 0);
  std::u16string longName(40, u'x');
  EXPECT_NE(Code_SwitchData(folder.data(), longName.data()), 0);
  EXPECT_EQ(std::u16string(Code_GetCurSysName()), u"fanuc");

  double x = 0, y = 0, z = 0;
  int start = 0;
  std::u16string text = u"G00 X99 Y99 Z99";
  EXPECT_EQ(Code_Parsing(nullptr, &x, &y, &z), nullptr);
  Code_ParsingFromBuffer(nullptr, text.data(), nullptr, nullptr, &x, &y, &z);
  Code_ParsingFromBuffer(&start, text.data(), nullptr, nullptr, nullptr, &y, &z);
  EXPECT_EQ(Code_SelBlock(nullptr), nullptr);
  Code_FreeIt(nullptr);
  double notOurs[3] = {1, 2, 3};
  Code_FreeIt(notOurs);
  EXPECT_EQ(notOurs[0], 1.0);

  // The program, the tables and the rules are the ones from before.
  paths = Code_CutterPath();
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 6u);
  EXPECT_EQ(Cell(0, 1, 0), 4.5);
  g_shown.clear();
  Code_ShowCodeRule(ShowRule);
  EXPECT_EQ(g_shown.size(), ExpectedRules().size());

  // Buffers: ids other than 0 and 1, null pointers.
  for (int bad : {2, -1, 1000}) {
    SCOPED_TRACE(bad);
    int id = bad, line = 0, col = 0;
    std::u16string path = W(dataRoot + "/buffer.nc"), value = u"G01";
    char setPath = 1;
    EXPECT_EQ(Code_CreateBuffer(&id, path.data(), value.data(), &setPath), 0);
    Code_CreateBufferFromString(&id, path.data(), value.data());
    Code_ClearBuffer(&id);
    Code_ResetBuffer(&id);
    EXPECT_EQ(Code_GetCodeStr(&id), nullptr);
    EXPECT_EQ(Code_GetNCName(&id), nullptr);
    EXPECT_EQ(Code_GetFolder(&id), nullptr);
    Code_SetFolder(&id, path.data());
    EXPECT_EQ(Code_EditInsert(&id, value.data(), &line, &col), nullptr);
    EXPECT_EQ(Code_EditReplace(&id, value.data(), &line, &col), nullptr);
    EXPECT_EQ(Code_EditDelete(&id, &line, &col), nullptr);
    EXPECT_EQ(Code_GetFormatedStr(&id), nullptr);
    EXPECT_EQ(Code_BufferLineCount(&id), 0);
    EXPECT_EQ(Code_BufferColCount(&id, &line), 0);
    EXPECT_EQ(Code_BufferItemStr(&id, &line, &col), nullptr);
    EXPECT_NE(Code_WriteBuffer(&id, path.data()), 0);
    EXPECT_FALSE(fs::exists(dataRoot + "/buffer.nc"));
  }
  EXPECT_EQ(Code_CreateBuffer(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(Code_GetCodeStr(nullptr), nullptr);
  EXPECT_EQ(Code_BufferLineCount(nullptr), 0);
  int one = 1;
  EXPECT_EQ(Code_EditInsert(&one, nullptr, nullptr, nullptr), nullptr);
  EXPECT_NE(Code_WriteBuffer(&one, nullptr), 0);
  Code_Analyze(nullptr);
}

// Null callbacks of all three kinds: parsing, path building and simulation
// still run without calling them.
TEST_F(InterfaceTest, NullCallbacks) {
  short mode = 1;
  int language = 1;
  Code_Initialize(&mode, nullptr, nullptr, 0, nullptr, &language);
  PathGroups* paths = ParseProgram("records.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_GE(paths->size(), 10u);
  Code_AutoRun();
  paths = ParseProgram("arc_r_too_small.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 3u);
  EXPECT_TRUE(Log().records.empty());
  EXPECT_TRUE(Log().messages.empty());
  EXPECT_TRUE(Log().toolQueries.empty());
}

// Code_GetCurPZ without tables alerts "Data of part zero lost!" and gives
// null; with tables it gives a new array that Code_FreeIt takes back once.
TEST_F(InterfaceTest, CurrentPartZeroAndFreeIt) {
  SetWorkOffset(1, {4, 5, 6});
  double* pz = Code_GetCurPZ();
  ASSERT_NE(pz, nullptr);
  EXPECT_EQ(pz[0], 4.0);
  EXPECT_EQ(pz[1], 5.0);
  EXPECT_EQ(pz[2], 6.0);
  double* other = Code_GetCurPZ();
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, pz);
  Code_FreeIt(pz);
  Code_FreeIt(pz);  // not ours any more: ignored
  Code_FreeIt(other);

  Code_Uninitialize();
  Log().alerts.clear();
  EXPECT_EQ(Code_GetCurPZ(), nullptr);
  ASSERT_EQ(Log().alerts.size(), 1u);
  EXPECT_EQ(Log().alerts[0], u"Data of part zero lost!");
}

// After Code_Uninitialize: no program, no tables, no rules; every call
// returns its failure value.
TEST_F(InterfaceTest, CallsAfterUninitialize) {
  ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
  Code_Uninitialize();
  Log().Clear();
  EXPECT_EQ(Code_CutterPath(), nullptr);
  EXPECT_EQ(Code_CutterPath_Commonded(), nullptr);
  unsigned index = 1;
  EXPECT_EQ(Code_SelBlock(&index), nullptr);
  EXPECT_TRUE(Simulate().empty());
  EXPECT_EQ(Code_GetCurH(), 0);
  EXPECT_EQ(Code_GetCurD(), 0);
  EXPECT_EQ(Cell(0, 1, 0), 0.0);
  EXPECT_EQ(Cell(3, 100, 0), 0.0);
  unsigned kind = 0;
  int rows = -5, cols = -5, row = 1, col = 0;
  Code_GetDataCount(&kind, &rows, &cols);
  EXPECT_EQ(rows, -5);
  EXPECT_EQ(cols, -5);
  double delta = 1.0;
  EXPECT_EQ(Code_AddDataValue(&kind, &row, &col, &delta), 0.0);
  SetCell(0, 1, 0, 3.0);
  g_shown.clear();
  EXPECT_EQ(Code_ShowCodeRule(ShowRule), 0);
  EXPECT_TRUE(g_shown.empty());
  // Parsing, path building and simulation without rules or tables do not
  // crash.
  PathGroups* paths = Parse(u"G00 X10 Y20 Z5\nG54 G01 X30 F100\nG02 X0 Y0 R50\n");
  (void)paths;
  Code_AutoRun();
  Code_Uninitialize();
  // And the library starts again.
  StartLibrary();
  paths = ParseProgram("rapid_feed.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 6u);
}


// Numbers far outside any table or int, a 3000-character comment, a line of
// 700 words, a 21-character number queued before its motion code: parsing,
// path building and simulation end normally, with finite positions only.
TEST_F(InterfaceTest, ExtremeValuesAndLongLines) {
  PathGroups* paths = ParseProgram("extreme_values.nc");
  ASSERT_NE(paths, nullptr);
  for (const CPathList& l : *paths)
    for (const CPathPolyline* p : l)
      for (const CPoint3d& q : *p) {
        EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z));
      }
  const std::vector<Record> records = Simulate();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().position.x, -100.0);
  const std::vector<Record> moves = Motions(records);
  ASSERT_FALSE(moves.empty());
  EXPECT_TRUE(Near(moves.back().position, {3, 0, 0})) << "the last line still runs";
  EXPECT_FALSE(Log().messages.empty());
}

// Start lines outside the text: nothing is read outside it.
TEST_F(InterfaceTest, StartLineOutsideTheText) {
  for (int start : {-1, -1000, 3, 100}) {
    SCOPED_TRACE(start);
    Log().Clear();
    PathGroups* paths = Parse(u"G00 X1 Y0 Z0\nG00 X2\n", {0, 0, 0}, start);
    if (paths) {
      for (const CPathList& l : *paths)
        for (const CPathPolyline* p : l)
          for (const CPoint3d& q : *p) EXPECT_TRUE(std::isfinite(q.x));
    }
    for (const WindowMessage& m : Log().Window()) {
      if (m.message == WM_CODE_LINECOUNT) {
        EXPECT_LE(m.wParam, 3u);
      }
    }
  }
}

// Code_SelBlock and Code_AutoRun before the first Code_CutterPath.
TEST_F(InterfaceTest, SelBlockBeforeCutterPath) {
  ParseOnly(ProgramText("rapid_feed.nc"));
  unsigned index = 1;
  PathGroups* sel = Code_SelBlock(&index);
  if (sel) {
    for (const CPathList& l : *sel) (void)l.size();
  }
  PathGroups* paths = Code_CutterPath();
  ASSERT_NE(paths, nullptr);
  ASSERT_EQ(paths->size(), 6u);
  EXPECT_TRUE(Near(OnlyPolyline(paths, 0)->Point(1), {10, 20, 5}));
}


// Rule file names match case-insensitively, component by component.
TEST_F(InterfaceTest, RuleFileNamesIgnoreCase) {
  std::u16string mainRules = u"CodeRule\\FANUC.CMT", macroRules = u"CODERULE\\Fanuc_Macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());
  g_shown.clear();
  Code_ShowCodeRule(ShowRule);
  EXPECT_EQ(g_shown.size(), ExpectedRules().size());
  PathGroups* paths = ParseProgram("rapid_feed.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 6u);
}

// Missing rule files: empty tables, no file created, parsing does not crash;
// switching back restores the dialect.
TEST_F(InterfaceTest, MissingRuleFiles) {
  std::u16string mainRules = u"coderule\\missing_main.cmt", macroRules = u"coderule\\missing_macro.cmt";
  Code_SwitchRule(mainRules.data(), macroRules.data());
  EXPECT_FALSE(fs::exists(plat::ExePath("coderule/missing_main.cmt")));
  EXPECT_FALSE(fs::exists(plat::ExePath("coderule/missing_macro.cmt")));
  g_shown.clear();
  Code_ShowCodeRule(ShowRule);
  EXPECT_TRUE(g_shown.empty());
  ParseProgram("records.nc");
  Code_AutoRun();
  std::u16string fanuc = u"coderule\\fanuc.cmt", fanucMacro = u"coderule\\fanuc_macro.cmt";
  Code_SwitchRule(fanuc.data(), fanucMacro.data());
  PathGroups* paths = ParseProgram("rapid_feed.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 6u);
}

}  // namespace
}  // namespace apitest
