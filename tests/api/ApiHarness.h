// A host for the end-to-end tests: it drives libQuillet through its Code_
// exports only, as the viewer does, and records what comes back: command
// records, block messages, tool look-ups, progress messages and alerts.
//
// Each test starts the library on a private copy of the shipped "fanuc"
// tables with the shipped rule files, and ends with Code_Uninitialize; the
// copy is removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "mod_gcode/export/Quillet.h"

namespace apitest {

using quillet::CPathList;
using quillet::CPathPolyline;
using quillet::CPoint3d;
using quillet::PathGroups;

// One CodeCommandCallback call.
struct Record {
  int line = 0;
  short kind = 0;
  CPoint3d value;     // X, Y, Z values
  CPoint3d position;  // X, Y, Z positions
  double i = 0, j = 0, k = 0, r = 0, p = 0, q = 0;
  double feed = 0;
};

// One CodeMessageCallback call.
struct Message {
  std::u16string program;
  int line = 0;
  int sequence = 0;
  std::u16string text;
};

// One progress message to the host window.
struct WindowMessage {
  unsigned message = 0;
  std::uintptr_t wParam = 0;
  bool posted = false;
  bool operator==(const WindowMessage&) const = default;
};

// What the callbacks and the host window saw; the library calls them on the
// thread that called it.
struct HostLog {
  std::vector<Record> records;
  std::vector<Message> messages;
  std::vector<int> toolQueries;  // tool numbers the library asked about
  std::vector<std::u16string> alerts;
  std::map<int, double> toolThird;  // the host's third number per tool (else 0)
  // What the command callback answers for a record (non-zero: go on); 1 when empty.
  std::function<int(const Record&)> answer;
  std::vector<WindowMessage> window;

  void Clear() { *this = HostLog{}; }
};
HostLog& Log();

int CommandCallback(int* line, short* kind, double* xv, double* yv, double* zv, double* xp, double* yp, double* zp,
                    double* i, double* j, double* k, double* r, double* p, double* q, double* feed);
void MessageCallback(char16_t* program, int* line, int* sequence, char16_t* text);
void ToolCallback(unsigned char* tool, double* first, double* second, double* third);

// ASCII to UTF-16.
std::u16string W(std::string_view ascii);
// A program file under tests/api/programs: its path and its text.
std::string ProgramPath(const std::string& name);
std::u16string ProgramText(const std::string& name);
// A whole file's bytes, and the double at an index of them (NaN past the end).
std::string Bytes(const std::string& path);
double DoubleAt(const std::string& bytes, std::size_t index);

// Path styles the library draws with.
struct StyleValues {
  float r, g, b, a, width;
  short pattern;
};
constexpr StyleValues kFeedStyle{0.f, 1.f, 0.f, 1.f, 1.5f, -1};
constexpr StyleValues kRapidStyle{0.f, 1.f, 1.f, 1.f, 1.0f, 0};
// A highlighted block: red and 3 wide, in its own pattern.
constexpr StyleValues Lit(const StyleValues& s) { return {1.f, 0.f, 0.f, 1.f, 3.0f, s.pattern}; }

::testing::AssertionResult HasStyle(const CPathPolyline* poly, const StyleValues& style);
::testing::AssertionResult Near(const CPoint3d& actual, const CPoint3d& expected, double tol = 1e-9);

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Library start-up as the viewer does it.
  void StartLibrary();
  // Parses a text (Code_ParsingFromBuffer) and builds its path
  // (Code_CutterPath); null when the library has no path.
  PathGroups* Parse(std::u16string_view text, CPoint3d start = {}, int startLine = 0);
  PathGroups* ParseProgram(const std::string& name) { return Parse(ProgramText(name)); }
  void ParseOnly(std::u16string_view text, CPoint3d start = {}, int startLine = 0);
  // Parses a text whose sub-programs are files in `folder`, and builds its path.
  PathGroups* ParseIn(const std::string& folder, std::u16string text);
  // Code_AutoRun; returns the records it delivered.
  std::vector<Record> Simulate();

  // The one polyline of the block of program line `line` when no jump or
  // skipped line comes before it (list line + 1; list 0 is the preamble);
  // null, failing the test, when there is not exactly one.
  const CPathPolyline* OnlyPolyline(const PathGroups* paths, int line);
  // Its last point; NaN when there is none.
  CPoint3d End(const PathGroups* paths, int line);

  void SetCell(unsigned kind, int row, int col, double value) { Code_SetData(&kind, &row, &col, &value); }
  double Cell(unsigned kind, int row, int col) { return Code_GetDataValue(&kind, &row, &col); }
  void SetWorkOffset(int row, CPoint3d o) {
    for (int col = 0; col < 3; ++col) SetCell(1, row, col, col == 0 ? o.x : col == 1 ? o.y : o.z);
  }
  // Code_SwitchData on a folder holding "fanuc/"; 0 on success.
  int SwitchData(const std::string& folder);

  // The temporary folder that holds the "fanuc" table copy.
  std::string dataRoot;
  std::string TablePath(const std::string& file) const { return dataRoot + "/fanuc/" + file; }
  int windowHandle = 0;
};

// Records of kinds `first` to `last` (of one kind when `last` is 0); Motions:
// of the motion kinds 1 to 4.
std::vector<Record> OfKind(const std::vector<Record>& records, short first, short last = 0);
inline std::vector<Record> Motions(const std::vector<Record>& records) { return OfKind(records, 1, 4); }

// A program, one of its lines and where that line leaves the tool.
struct EndCase {
  const char* what;
  const char16_t* program;
  int line;
  CPoint3d end;
};

// Every point line `line` drew, in order (list line + 1; list 0 is the
// preamble), and the last of them (NaN when it drew nothing).
std::vector<CPoint3d> PointsOf(const PathGroups* paths, int line);
CPoint3d LastPoint(const PathGroups* paths, int line);
bool Contains(const std::vector<CPoint3d>& points, const CPoint3d& p);
// Motion and cycle records (kinds `first` to `last`) of one program line.
std::vector<Record> MovesOfLine(const std::vector<Record>& records, int line, short first = 1, short last = 5);

// Where lines leave the tool, and sub-program files beside the program.
class LineEndTest : public ApiTest {
 protected:
  void ExpectEnds(const std::vector<EndCase>& cases) {
    for (const EndCase& c : cases) EXPECT_TRUE(Near(LastPoint(Parse(c.program), c.line), c.end, 1e-9)) << c.what;
  }
  // The folder of program files for sub-program calls.
  std::string Folder();
  void WriteProgram(const std::string& name, const std::string& text);
};

}  // namespace apitest
