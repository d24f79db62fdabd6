// A host for the end-to-end tests: it drives libQuillet through its Code_
// exports only, as the viewer does, and records what comes back: command
// records, block messages, tool look-ups, progress messages and alerts.
//
// Each test starts from a fresh library state (Code_Uninitialize, then
// Code_Initialize, Code_SwitchData on a private copy of the shipped "fanuc"
// tables, Code_SwitchRule on the shipped rule files) and ends with
// Code_Uninitialize; the copy is removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
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
};

// What the callbacks saw. One instance; the callbacks run on the test's thread
// (posted window messages may come from elsewhere, hence the lock).
struct HostLog {
  std::vector<Record> records;
  std::vector<Message> messages;
  std::vector<int> toolQueries;  // tool numbers the library asked about
  std::vector<std::u16string> alerts;
  // Third tool number per tool; toolThirdDefault for every other tool.
  std::map<int, double> toolThird;
  double toolThirdDefault = 0.0;
  // What the command callback answers for a record (non-zero: go on);
  // 1 when empty.
  std::function<int(const Record&)> answer;

  std::mutex windowLock;
  std::vector<WindowMessage> window;

  void Clear();
  std::vector<WindowMessage> Window();
};
HostLog& Log();

// Host callbacks handed to Code_Initialize.
int CommandCallback(int* line, short* kind, double* xv, double* yv, double* zv, double* xp, double* yp,
                    double* zp, double* i, double* j, double* k, double* r, double* p, double* q,
                    double* feed);
void MessageCallback(char16_t* program, int* line, int* sequence, char16_t* text);
void ToolCallback(unsigned char* tool, double* first, double* second, double* third);

// ASCII to UTF-16.
std::u16string W(std::string_view ascii);
// UTF-16 (ASCII content) to std::string, for failure output.
std::string A(std::u16string_view text);

// The text of a program file under tests/api/programs.
std::u16string ProgramText(const std::string& name);
// Absolute path of a program file under tests/api/programs.
std::string ProgramPath(const std::string& name);

// Path styles the library draws with.
struct StyleValues {
  float r, g, b, a, width;
  short pattern;
};
constexpr StyleValues kFeedStyle{0.f, 1.f, 0.f, 1.f, 1.5f, -1};
constexpr StyleValues kRapidStyle{0.f, 1.f, 1.f, 1.f, 1.0f, 0};
constexpr StyleValues kArcStyle{1.f, 1.f, 0.f, 1.f, 1.5f, -1};
constexpr StyleValues kHighlight{1.f, 0.f, 0.f, 1.f, 3.0f, -1};

::testing::AssertionResult HasStyle(const CPathPolyline* poly, const StyleValues& style);
::testing::AssertionResult Near(const CPoint3d& actual, const CPoint3d& expected, double tol = 1e-9);

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Library start-up as the viewer does it, on a fresh copy of the tables.
  void StartLibrary();

  // Parses a program text (Code_ParsingFromBuffer) and builds its path
  // (Code_CutterPath). Returns the path lists (null when the library has none).
  PathGroups* Parse(std::u16string_view text, CPoint3d start = {}, int startLine = 0);
  // The same with a program file of tests/api/programs.
  PathGroups* ParseProgram(const std::string& name, CPoint3d start = {});
  // Parses only (no Code_CutterPath).
  void ParseOnly(std::u16string_view text, CPoint3d start = {}, int startLine = 0);

  // Code_AutoRun; returns the records it delivered.
  std::vector<Record> Simulate();

  // The one polyline of the block that runs program line `line`, when the
  // program has neither jumps nor skipped blocks before it (list = line + 1,
  // the preamble block being list 0). Fails the test when it is not one.
  const CPathPolyline* OnlyPolyline(const PathGroups* paths, int line);

  // Data tables through the exports.
  void SetCell(unsigned kind, int row, int col, double value);
  double Cell(unsigned kind, int row, int col);
  void SetWorkOffset(int row, CPoint3d offset);

  // The temporary folder that holds the "fanuc" table copy.
  std::string dataRoot;
  std::string TablePath(const std::string& file) const { return dataRoot + "/fanuc/" + file; }

  int windowHandle = 0;
};

// Records of motion kinds (1 to 4) only.
std::vector<Record> Motions(const std::vector<Record>& records);
// Records of one kind.
std::vector<Record> OfKind(const std::vector<Record>& records, short kind);

}  // namespace apitest
