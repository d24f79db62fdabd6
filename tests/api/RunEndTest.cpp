// Where a run ends: at the first block that reports an error, whether it
// stands in the program or in a program it calls. The drawn path and the
// simulated commands end at the same place, and nothing after it runs.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ApiHarness.h"
#include "tests/support/ScratchFolder.h"

namespace apitest {
namespace {

using quillet::test::ScratchFolder;
using quillet::test::WriteBytes;

// The last point of the drawn path; NaN when nothing is drawn.
CPoint3d LastDrawn(const PathGroups* paths) {
  CPoint3d last{NAN, NAN, NAN};
  for (const CPathList& l : *paths)
    for (const CPathPolyline* p : l)
      if (p->PointCount() > 0) last = p->Point(p->PointCount() - 1);
  return last;
}

class RunEnd : public ApiTest {
 protected:
  // Parses `program` beside its sub-program `files`: it gives `message`
  // alone, and the drawn path and the last simulated move end at `last`.
  // Returns the simulated moves.
  std::vector<Record> ExpectRun(const std::map<std::string, std::string>& files, std::u16string_view program,
                                const char* message, const CPoint3d& last) {
    for (const auto& [name, text] : files) WriteBytes(folder.File(name), text);
    Log().Clear();
    PathGroups* paths = ParseIn(folder.Path(), std::u16string(program));
    std::vector<Record> moves;
    if (paths) {
      EXPECT_EQ(Log().messages.size(), 1u);
      if (!Log().messages.empty()) {
        EXPECT_EQ(Log().messages[0].text, W(message));
      }
      EXPECT_TRUE(Near(LastDrawn(paths), last));
      moves = Motions(Simulate());
      EXPECT_FALSE(moves.empty());
      if (!moves.empty()) {
        EXPECT_TRUE(Near(moves.back().position, last));
      }
    } else {
      ADD_FAILURE() << "no path";
    }
    for (const auto& [name, text] : files) std::filesystem::remove(folder.File(name));
    return moves;
  }
  ScratchFolder folder;
};

// Each program runs to the block with the error and no further: the path
// and the last simulated move end where the moves before it leave the tool.
TEST_F(RunEnd, TheFirstErrorEndsThePathAndTheSimulationAlike) {
  const std::string sub = "G01 X10 F100\n#1=1/0\nG01 X20\nM99\n";
  const struct {
    const char* what;
    std::map<std::string, std::string> files;
    const char* program;
    const char* message;
    CPoint3d last;
  } cases[] = {
      // A division by zero in a sub-program: neither its X20 nor the
      // caller's X50 runs.
      {"M98", {{"O1000.nc", sub}}, "G00 X0 Y0 Z0\nM98 P1000\nG00 X50\n", "error : division by zero", {10, 0, 0}},
      {"G65", {{"O1000.nc", sub}}, "G00 X0 Y0 Z0\nG65 P1000\nG00 X50\n", "error : division by zero", {10, 0, 0}},
      // The macro that G66 calls after the move to X5 alarms: X50 does not run.
      {"G66",
       {{"O1001.nc", "#1=SQRT[-4]\nM99\n"}},
       "G66 P1001\nG00 X5 Y0 Z0\nG00 X50\n",
       "error : SQRT[-4] : argument out of range",
       {5, 0, 0}},
      // The second of three repetitions alarms after its move.
      {"M98 L3",
       {{"O1002.nc", "G91 G01 X10 F100\n#1=#1+1\nIF [#1 EQ 2] THEN #2=1/0\nG90\nM99\n"}},
       "G00 X0 Y0 Z0\nM98 P1002 L3\nG90 G00 X50\n",
       "error : division by zero",
       {20, 0, 0}},
      // An arc that cannot exist (R 5 for a chord of 30) is not run as a
      // move to its end point.
      {"arc", {}, "G00 X0 Y0 Z0\nG01 X10 F100\nG02 X40 Y0 R5\nG01 Y10\n",
       "Arc cannot exist: radius R is too small for the distance from start to end point", {10, 0, 0}},
      {"GOTO", {}, "G00 X0 Y0 Z0\nG01 X10 F100\nGOTO 99\nG01 X20\nN98 X30\n",
       "Syntax error : Sequence number N99 not found", {10, 0, 0}},
      {"missing sub-program", {}, "G00 X0 Y0 Z0\nG01 X10 F100\nM98 P4321\nG01 X20\n",
       "Sub-program O4321 not found", {10, 0, 0}},
      {"refused line", {}, "G00 X0 Y0 Z0\nG01 X10 F100\nGOSUB 5\nG01 X20\n",
       "Syntax error : GOSUB : identifier not found", {10, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const Record& r : ExpectRun(c.files, W(c.program), c.message, c.last))
      EXPECT_LE(r.position.x, c.last.x + 1e-9);
  }
}

// A notice tells what a block was read as (a zero byte as a blank, a hole
// of too many pecks fed in one move): the block is drawn and simulated, and
// the program runs on to its end.
TEST_F(RunEnd, ANoticeDoesNotEndTheRun) {
  const struct {
    const char* what;
    std::map<std::string, std::string> files;
    std::u16string program;
    const char* message;
    CPoint3d last;
  } cases[] = {
      {"zero byte", {}, u"G00 X0 Y0 Z0\nG01 X10\xDC00 Y5 F100\nG01 X20\n",
       "The line holds a zero byte (NUL), read as a blank", {20, 5, 0}},
      // 5 / 0.0001 pecks: the hole is fed in one move and the cycle ends at
      // R (G99), then the caller's X50 runs.
      {"pecks in a sub-program",
       {{"O1003.nc", "G99 G83 X5 Y0 Z-5 R0 Q0.0001 F100\nG80\nM99\n"}},
       u"G00 X0 Y0 Z10\nM98 P1003\nG00 X50\n",
       "Q value is too small for the depth: more than 10000 pecks for one hole, the hole is fed in one move",
       {50, 0, 0}},
      // A loop over such a line says so once.
      {"pecks in a loop", {},
       u"G00 X0 Y0 Z10\n#1=0\nWHILE [#1 LT 3] DO1\nG99 G83 X[#1*10] Y0 Z-5 R0 Q0.0001 F100\n#1=#1+1\nEND1\n"
       u"G80 G00 X50\n",
       "Q value is too small for the depth: more than 10000 pecks for one hole, the hole is fed in one move",
       {50, 0, 0}},
      {"zero byte in a loop", {}, u"G00 X0 Y0 Z0\n#1=0\nWHILE [#1 LT 3] DO1\nG91 G01 X1\xDC00 F100\n#1=#1+1\nEND1\n",
       "The line holds a zero byte (NUL), read as a blank", {3, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectRun(c.files, c.program, c.message, c.last);
  }
}

// A WHILE body runs again and again: only the lines outside it say they
// are done (the WHILE line the first time, the line after its END).
TEST_F(RunEnd, NoLineDoneInsideAWhileBody) {
  for (const auto& [program, done] : {
           std::pair{u"#1=0\nWHILE [#1 LT 3] DO1\n#1=#1+1\nEND1\nG00 X1\n", std::vector<std::uintptr_t>{0, 1, 4, 5}},
           std::pair{u"#1=0\nWHILE [#1 LT 2] DO1\n#2=0\nWHILE [#2 LT 2] DO2\n#2=#2+1\nEND2\n#1=#1+1\nEND1\nX1",
                     std::vector<std::uintptr_t>{0, 1, 8}},
           // A false WHILE runs no body: the line after its END follows.
           std::pair{u"#1=5\nWHILE [#1 LT 3] DO1\n#1=#1+1\nEND1\nX1", std::vector<std::uintptr_t>{0, 1, 4}},
       }) {
    Log().Clear();
    ASSERT_NE(Parse(program), nullptr);
    std::vector<std::uintptr_t> seen;
    for (const WindowMessage& m : Log().window)
      if (m.message == WM_CODE_LINEDONE) seen.push_back(m.wParam);
    EXPECT_EQ(seen, done);
  }
}

}  // namespace
}  // namespace apitest
