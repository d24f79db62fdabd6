// Calls and returns as the control runs them: the program a value names
// (G65 P#n, G66 P#n), repeat counts from variables (M98 L#n), the user
// alarm #3000, M99 P<n> back to a block of the caller, and the refusal of a
// count the control does not take.
//
// Each case lists the end points of the whole path in order, worked out by
// hand from the control's rules; the sub-programs are files written beside
// the program.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

namespace fs = std::filesystem;

class CallRunTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    folder = dataRoot + "/programs";
    fs::create_directories(folder);
    // +X1, +Y1 and a dip of Z1, each from where the tool is; O0001 is where
    // the last four characters of "9001." would lead.
    Write("O9001.nc", "G91 G01 X1 F100\nG90\nM99\n");
    Write("O0001.nc", "G91 G01 Y7 F100\nG90\nM99\n");
    Write("O9002.nc", "G91 G01 Y1 F100\nG90\nM99\n");
    Write("O9020.nc", "G91 G01 Z-1 F100\nZ1\nG90\nM99\n");
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder + "/" + name, std::ios::binary) << text;
  }
  // The last point of every polyline of the path, in order.
  std::vector<CPoint3d> Ends(const char* program) {
    std::vector<CPoint3d> ends;
    const PathGroups* paths = ParseIn(folder, W(program));
    if (!paths) return ends;
    for (const CPathList& list : *paths)
      for (const CPathPolyline* p : list)
        if (p->PointCount() > 0) ends.push_back(p->Point(p->PointCount() - 1));
    return ends;
  }
  static std::vector<std::u16string> Texts() {
    std::vector<std::u16string> texts;
    for (const Message& m : Log().messages) texts.push_back(m.text);
    return texts;
  }
  std::string folder;
};

::testing::AssertionResult SamePoints(const std::vector<CPoint3d>& actual, const std::vector<CPoint3d>& expected) {
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure() << actual.size() << " points, not " << expected.size();
  for (std::size_t i = 0; i < actual.size(); ++i)
    if (::testing::AssertionResult near = Near(actual[i], expected[i], 1e-9); !near)
      return ::testing::AssertionFailure() << "point " << i << ": " << near.message();
  return ::testing::AssertionSuccess();
}

struct PathCase {
  const char* what;
  const char* program;
  std::vector<CPoint3d> ends;
};

// G65 and G66 call the program whose number the value of P gives (rounded
// to a whole number, as the P of M98), also inside a called macro and under
// a modal call.
TEST_F(CallRunTest, TheValueOfPNamesTheCalledProgram) {
  Write("O9040.nc", "G65 P#1\nM99\n");
  const PathCase cases[] = {
      {"G65 P#8", "#8=9001\nG00 X0 Y0 Z0\nG65 P#8\n", {{0, 0, 0}, {1, 0, 0}}},
      {"G65 P[expr]", "G00 X0 Y0 Z0\nG65 P[9000+1]\n", {{0, 0, 0}, {1, 0, 0}}},
      {"G65 P#8 rounded", "#8=9000.6\nG00 X0 Y0 Z0\nG65 P#8\n", {{0, 0, 0}, {1, 0, 0}}},
      {"M98 P#8", "#8=9001\nG00 X0 Y0 Z0\nM98 P#8\n", {{0, 0, 0}, {1, 0, 0}}},
      {"M98 P[expr]", "G00 X0 Y0 Z0\nM98 P[9000+1]\n", {{0, 0, 0}, {1, 0, 0}}},
      {"G65 P#8 after a return", "#8=9001\nG00 X0 Y0 Z0\nM98 P9002\nG65 P#8\n", {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}}},
      {"G65 P#1 in a macro called with A9001", "G00 X0 Y0 Z0\nG65 P9040 A9001\nG00 Y5\n",
       {{0, 0, 0}, {1, 0, 0}, {1, 5, 0}}},
      {"G66 P#9", "#9=9020\nG00 X0 Y0 Z5\nG66 P#9\nG00 X10\nG67\nG00 X20\n",
       {{0, 0, 5}, {10, 0, 5}, {10, 0, 4}, {10, 0, 5}, {20, 0, 5}}},
      {"G65 P#1 in a modal macro", "G00 X0 Y0 Z0\nG66 P9040 A9001\nG00 X10\nG67\nG00 Y5\n",
       {{0, 0, 0}, {10, 0, 0}, {11, 0, 0}, {11, 5, 0}}},
  };
  for (const PathCase& c : cases) {
    Log().Clear();
    EXPECT_TRUE(SamePoints(Ends(c.program), c.ends)) << c.what;
    EXPECT_EQ(Texts(), std::vector<std::u16string>{}) << c.what;
  }
  Log().Clear();
  Ends("#8=-3\nG65 P#8\n");
  EXPECT_EQ(Texts(), std::vector<std::u16string>{u"P-3 : not a program number"});
}

// The L of M98 and G65 may come from a variable or an expression (rounded to
// a whole number): the call runs that many times. O0011 drills one hole of
// a bolt circle of radius 10 per call and steps the angle by 90 degrees.
TEST_F(CallRunTest, RepeatCountsFromVariables) {
  Write("O0011.nc", "G00 X[10*COS[#1]] Y[10*SIN[#1]]\nG01 Z-1 F100\nG00 Z5\n#1=#1+90\nM99\n");
  Write("O9004.nc", "M98 P9002 L#5\nM99\n");
  const PathCase cases[] = {
      {"L#2", "#2=3\nG00 X0 Y0 Z0\nM98 P9002 L#2\n", {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 3, 0}}},
      {"L[expr]", "#2=3\nG00 X0 Y0 Z0\nM98 P9002 L[#2-1]\n", {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}}},
      {"L#2 rounded", "#2=1.6\nG00 X0 Y0 Z0\nM98 P9002 L#2\n", {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}}},
      {"L#2 of 0", "#2=0\nG00 X0 Y0 Z0\nM98 P9002 L#2\nG00 X4\n", {{0, 0, 0}, {4, 0, 0}}},
      {"P#8 L#2", "#8=9001\n#2=2\nG00 X0 Y0 Z0\nM98 P#8 L#2\n", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}},
      {"G65 L#2", "#2=2\nG00 X0 Y0 Z0\nG65 P9002 L#2\n", {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}}},
      {"L#5 in a sub-program", "#5=2\nG00 X0 Y0 Z0\nM98 P9004\nG00 X3\n",
       {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {3, 2, 0}}},
      {"bolt circle", "#1=0\n#2=4\nG00 X0 Y0 Z5\nM98 P0011 L#2\nG00 X0 Y0\n",
       {{0, 0, 5},
        {10, 0, 5}, {10, 0, -1}, {10, 0, 5},
        {0, 10, 5}, {0, 10, -1}, {0, 10, 5},
        {-10, 0, 5}, {-10, 0, -1}, {-10, 0, 5},
        {0, -10, 5}, {0, -10, -1}, {0, -10, 5},
        {0, 0, 5}}},
  };
  for (const PathCase& c : cases) {
    Log().Clear();
    EXPECT_TRUE(SamePoints(Ends(c.program), c.ends)) << c.what;
    EXPECT_EQ(Texts(), std::vector<std::u16string>{}) << c.what;
  }
}

// A count above 9999 or below 0 is refused with the L as the line writes
// it; the line calls nothing. A refused call in a sub-program ends the run.
TEST_F(CallRunTest, RefusedCountsAndCallsAreReportedOnTheirLines) {
  const struct {
    const char* program;
    const char16_t* text;
    int line;
  } cases[] = {
      {"M98 P9002 L99999999999\n", u"Repeat count L99999999999 is larger than 9999", 1},
      {"G65 P9002 L99999999999\n", u"Repeat count L99999999999 is larger than 9999", 1},
      {"#2=12345\nM98 P9002 L#2\n", u"Repeat count L#2 is larger than 9999", 2},
      {"#2=12345\nG65 P9002 L#2\n", u"Repeat count L12345 is larger than 9999", 2},
      {"#2=-1\nM98 P9002 L[#2]\n", u"Repeat count L[#2] is below 0", 2},
  };
  for (const auto& c : cases) {
    Log().Clear();
    EXPECT_TRUE(SamePoints(Ends(c.program), {})) << c.program;
    ASSERT_EQ(Log().messages.size(), 1u) << c.program;
    EXPECT_EQ(Log().messages[0].text, c.text) << c.program;
    EXPECT_EQ(Log().messages[0].line, c.line) << c.program;
  }

  // The refusal in the sub-program ends the whole run: the caller's second
  // line does not run.
  Write("O9050.nc", "M98 P5555\nM99\n");
  Log().Clear();
  Ends("M98 P9050\nM98 P5555\n");
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].program, u"O9050");
  EXPECT_EQ(Log().messages[0].line, 1);
  EXPECT_EQ(Log().messages[0].text, u"Sub-program O5555 not found");
}

// A write to #3000 raises user alarm 3000 + the value with the comment of
// its line: the program stops at that block, in a sub-program and a macro
// too. A macro that checks its argument alarms only without it.
TEST_F(CallRunTest, AWriteToVariable3000StopsWithTheUserAlarm) {
  Write("O9030.nc", "G01 X3 F100\n#3000=7 (BAD ARG)\nX9\nM99\n");
  Write("O9031.nc", "IF [#1 NE #0] GOTO 10\n#3000=3 (A REQUIRED)\nN10 G01 X#1 F100\nM99\n");
  const struct {
    const char* what;
    const char* program;
    const char16_t* program_name;
    int line;
    const char16_t* text;  // null: no message
    std::vector<CPoint3d> ends;
  } cases[] = {
      {"in the main program", "G00 X0 Y0 Z0\nG01 X5 F100\n#3000=1 (TOOL BROKEN)\nX9\n", u"O1234", 3,
       u"Alarm 3001 : TOOL BROKEN", {{0, 0, 0}, {5, 0, 0}}},
      {"after THEN", "#1=0\nG00 X0 Y0 Z0\nIF [#1 EQ 0] THEN #3000=12 (A MISSING)\nG00 X9\n", u"O1234", 3,
       u"Alarm 3012 : A MISSING", {{0, 0, 0}}},
      {"without a comment", "G00 X0 Y0 Z0\n#3000=5\nG00 X9\n", u"O1234", 2, u"Alarm 3005", {{0, 0, 0}}},
      {"blanks around the comment", "G00 X0 Y0 Z0\n# 3000 = 2 ( SPINDLE )\nG00 X9\n", u"O1234", 2,
       u"Alarm 3002 : SPINDLE", {{0, 0, 0}}},
      {"outside 0 to 200", "G00 X0 Y0 Z0\n#3000=250\nG00 X9\n", u"O1234", 2,
       u"error : #3000 = 250 : user alarm number outside 0 to 200", {{0, 0, 0}}},
      {"in a sub-program", "G00 X0 Y0 Z0\nM98 P9030\n", u"O9030", 2, u"Alarm 3007 : BAD ARG", {{0, 0, 0}, {3, 0, 0}}},
      {"macro without its argument", "G00 X0 Y0 Z0\nG65 P9031\n", u"O9031", 2, u"Alarm 3003 : A REQUIRED",
       {{0, 0, 0}}},
      {"macro with its argument", "G00 X0 Y0 Z0\nG65 P9031 A4\n", nullptr, 0, nullptr, {{0, 0, 0}, {4, 0, 0}}},
  };
  for (const auto& c : cases) {
    Log().Clear();
    EXPECT_TRUE(SamePoints(Ends(c.program), c.ends)) << c.what;
    if (!c.text) {
      EXPECT_EQ(Texts(), std::vector<std::u16string>{}) << c.what;
      continue;
    }
    ASSERT_EQ(Log().messages.size(), 1u) << c.what;
    EXPECT_EQ(Log().messages[0].text, c.text) << c.what;
    EXPECT_EQ(Log().messages[0].program, c.program_name) << c.what;
    EXPECT_EQ(Log().messages[0].line, c.line) << c.what;
  }
  // The simulation reports no move of the lines after the alarm.
  Ends("G00 X0 Y0 Z0\n#3000=1 (STOP)\nG00 X9\n");
  for (const Record& r : Motions(Simulate())) EXPECT_EQ(r.position.x, 0.0);
}

// M99 P<n> in a called program goes on at the caller's block N<n>: after
// M98 and G65, after the last of L repetitions, back up the caller, one
// level up from a nested call, and from a modal macro. The main program
// ends at M99 P as at M99.
TEST_F(CallRunTest, M99WithPReturnsToTheCallersSequenceNumber) {
  Write("O9010.nc", "G91 G01 X5 F100\nG90\nM99 P30\n");
  Write("O9011.nc", "M98 P9010\nG00 X40\nN30 G00 Z3\nM99\n");
  Write("O9012.nc", "G91 G01 Z-1 F100\nZ1\nG90\nM99 P30\n");
  Write("O9013.nc", "M99 P77\n");
  const PathCase cases[] = {
      {"M98", "G00 X0 Y0 Z0\nM98 P9010\nG00 X50\nN30 G00 Y20\n", {{0, 0, 0}, {5, 0, 0}, {5, 20, 0}}},
      {"G65", "G00 X0 Y0 Z0\nG65 P9010\nG00 X50\nN30 G00 Y20\n", {{0, 0, 0}, {5, 0, 0}, {5, 20, 0}}},
      {"M98 L2", "G00 X0 Y0 Z0\nM98 P9010 L2\nG00 X50\nN30 G00 Y20\n",
       {{0, 0, 0}, {5, 0, 0}, {10, 0, 0}, {10, 20, 0}}},
      {"back up the caller",
       "G00 X0 Y0 Z0\n#1=0\nN30 #1=#1+1\nIF [#1 GT 2] GOTO 99\nM98 P9010\nG00 X50\nN99 G00 Y20\n",
       {{0, 0, 0}, {5, 0, 0}, {10, 0, 0}, {10, 20, 0}}},
      {"nested: to the calling sub-program's N30", "G00 X0 Y0 Z0\nM98 P9011\nG00 Y20\nN30 G00 X70\n",
       {{0, 0, 0}, {5, 0, 0}, {5, 0, 3}, {5, 20, 3}, {70, 20, 3}}},
      {"modal macro", "G00 X0 Y0 Z5\nG66 P9012\nG00 X10\nG00 X50\nN30 G67\nG00 Y20\n",
       {{0, 0, 5}, {10, 0, 5}, {10, 0, 4}, {10, 0, 5}, {10, 20, 5}}},
      {"main program", "G00 X0 Y0 Z0\nN30 G00 X5\nM99 P30\nG00 Y9\n", {{0, 0, 0}, {5, 0, 0}}},
  };
  for (const PathCase& c : cases) {
    Log().Clear();
    EXPECT_TRUE(SamePoints(Ends(c.program), c.ends)) << c.what;
    EXPECT_EQ(Texts(), std::vector<std::u16string>{}) << c.what;
  }
  Log().Clear();
  EXPECT_TRUE(SamePoints(Ends("G00 X0 Y0 Z0\nM98 P9013\nG00 X5\n"), {{0, 0, 0}}));
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].text, u"Sequence number N77 of M99 P77 not found");
  EXPECT_EQ(Log().messages[0].line, 2);
}

}  // namespace
}  // namespace apitest
