// Three motion rules of the control, through the exported interface:
//  - the skip move G31 is a one-shot feed line at the programmed feed; the
//    modal motion is the same after it as before;
//  - a canned cycle's initial level is where the tool stood when cycle mode
//    began, and stays until G80 or a group 01 code ends cycle mode;
//  - the simulation of a compensated move passes every corner point of its
//    drawn path, the straight join moves at sharp corners included.
// Every expected point is worked out by hand; D is a diameter.
#include <cmath>
#include <vector>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

class MotionRuleTest : public ApiTest {
 protected:
  // Motion records (kinds 1 to 4) of one program line.
  static std::vector<Record> MovesOfLine(const std::vector<Record>& records, int line) {
    std::vector<Record> out;
    for (const Record& r : Motions(records))
      if (r.line == line) out.push_back(r);
    return out;
  }
  static void ExpectPositions(const std::vector<Record>& records, const std::vector<CPoint3d>& expected) {
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k)
      EXPECT_TRUE(Near(records[k].position, expected[k], 1e-9)) << "record " << k;
  }
};

// G31 moves at the feed in its own block; the G00 or G01 in force before it
// is in force after it. The skip signal never comes, so the move runs to its
// end point.
TEST_F(MotionRuleTest, SkipIsAOneShotFeedMove) {
  struct Case {
    const char* what;
    const char16_t* program;
    // Lines 1 and 2: kind, end, feed.
    short kind[2];
    CPoint3d end[2];
    double feed[2];
  };
  const Case cases[] = {
      {"under G00", u"G17 G90 G00 X0 Y0 Z0\nG31 X50 F100\nX60\n", {2, 1}, {{50, 0, 0}, {60, 0, 0}}, {100, 3000}},
      {"under G01, the new feed stays", u"G17 G90 G01 X0 Y0 Z0 F200\nG31 X50 F100\nX60\n", {2, 2},
       {{50, 0, 0}, {60, 0, 0}}, {100, 100}},
      {"incremental, the words before the code", u"G17 G90 G00 X10 Y0 Z0\nG91 Y5 G31 F100\nX5\n", {2, 1},
       {{10, 5, 0}, {15, 5, 0}}, {100, 3000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PathGroups* paths = Parse(c.program);
    ASSERT_NE(paths, nullptr);
    EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 1), kFeedStyle));
    EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 2), c.kind[1] == 1 ? kRapidStyle : kFeedStyle));
    const std::vector<Record> records = Simulate();
    for (int line = 1; line <= 2; ++line) {
      SCOPED_TRACE(line);
      const std::vector<Record> moves = MovesOfLine(records, line);
      ASSERT_EQ(moves.size(), 1u);
      EXPECT_EQ(moves[0].kind, c.kind[line - 1]);
      EXPECT_TRUE(Near(moves[0].position, c.end[line - 1]));
      EXPECT_EQ(moves[0].feed, c.feed[line - 1]);
    }
  }
}

// G98 returns to the initial level: the Z of the tool when cycle mode began
// (20 here), however many cycle codes follow before G80 or a group 01 code.
TEST_F(MotionRuleTest, InitialLevelIsKeptUntilCycleModeEnds) {
  struct Case {
    const char* what;
    const char16_t* program;
    int line;
    CPoint3d end;  // where the line's last move leaves the tool
  };
  const Case cases[] = {
      {"another cycle code", u"G17 G90 G00 X0 Y0 Z20\nG99 G81 X0 Y0 Z-5 R2 F100\nG98 G83 X10 Z-8 R2 Q2\n", 2,
       {10, 0, 20}},
      {"the same cycle code again", u"G17 G90 G00 X0 Y0 Z20\nG99 G81 X0 Y0 Z-5 R2 F100\nG98 G81 X10\n", 2,
       {10, 0, 20}},
      {"G80 ends cycle mode", u"G17 G90 G00 X0 Y0 Z20\nG99 G81 X0 Y0 Z-5 R2 F100\nG80\nG00 Z30\nG98 G81 X10 Z-5 R2\n",
       4, {10, 0, 30}},
      {"a group 01 code ends cycle mode",
       u"G17 G90 G00 X0 Y0 Z20\nG99 G81 X0 Y0 Z-5 R2 F100\nG00 X5 Z15\nG98 G81 X10 Z-5 R2\n", 3, {10, 0, 15}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Log().messages.clear();
    ParseOnly(c.program);
    EXPECT_TRUE(Log().messages.empty());
    const std::vector<Record> moves = MovesOfLine(Simulate(), c.line);
    ASSERT_FALSE(moves.empty());
    EXPECT_TRUE(Near(moves.back().position, c.end));
  }
}

// The points of a radius-2 arc about (35, 0) from 180 degrees on, every
// `step` degrees to `last` degrees (y mirrored when `below`).
std::vector<CPoint3d> ArcPoints(double first, double step, int count, bool below) {
  std::vector<CPoint3d> out;
  for (int k = 0; k < count; ++k) {
    const double a = (first + step * k) * kDeg;
    out.push_back({35 + 2 * std::cos(a), (below ? -2 : 2) * std::sin(a), 0});
  }
  return out;
}

std::vector<CPoint3d> Joined(std::vector<CPoint3d> a, const std::vector<CPoint3d>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// At an outside corner where the offsets do not meet, the compensated path
// goes round the corner by straight moves; the simulation reports each of
// their points, so the simulated tool never cuts across the corner.
//  - Two lines, radius 2: from +X the path turns by 126.87 degrees to
//    (-0.6, 0.8). Offset to the right, the first line ends at (20, -2),
//    runs on one radius to (22, -2), then to one radius before the second
//    line's offset start (21.6, 1.2), that is (22.8, -0.4), and to (21.6, 1.2).
//  - A line into an arc, radius 3: the line's offset ends at (30, -3); the
//    arc's offset (radius 2 about (35, 0)) starts at (33, 0) going +Y, so the
//    join runs through (33, -3). The arc reports every 10 degrees from 175
//    down to 5, then its end (37, 0), and joins the next line's offset start
//    (40, -3) through (37, -3).
// The left-hand cases are the same programs mirrored in X.
TEST_F(MotionRuleTest, CompensatedRecordsPassEveryJoinPoint) {
  struct Case {
    const char* what;
    double diameter;
    const char16_t* program;
    int line;
    std::vector<CPoint3d> records;  // the positions the line reports
  };
  const Case cases[] = {
      {"line to line, right", 4,
       u"G17 G90 G00 X-10 Y0 Z0\nG42 D1 G01 X0 Y0 F100\nX20 Y0\nX14 Y8\nG40 X14 Y20\n", 2,
       {{20, -2, 0}, {22, -2, 0}, {22.8, -0.4, 0}, {21.6, 1.2, 0}}},
      {"line to line, left", 4,
       u"G17 G90 G00 X-10 Y0 Z0\nG41 D1 G01 X0 Y0 F100\nX20 Y0\nX14 Y-8\nG40 X14 Y-20\n", 2,
       {{20, 2, 0}, {22, 2, 0}, {22.8, 0.4, 0}, {21.6, -1.2, 0}}},
      {"line to arc, right", 6,
       u"G17 G90 G00 X0 Y-10 Z0\nG42 D1 G01 X0 Y0 F100\nX30\nG02 X40 Y0 R5\nG01 X60\nG40 X70 Y-10\n", 2,
       {{30, -3, 0}, {33, -3, 0}, {33, 0, 0}}},
      {"line to arc, left", 6,
       u"G17 G90 G00 X0 Y10 Z0\nG41 D1 G01 X0 Y0 F100\nX30\nG03 X40 Y0 R5\nG01 X60\nG40 X70 Y10\n", 2,
       {{30, 3, 0}, {33, 3, 0}, {33, 0, 0}}},
      {"arc to line, right", 6,
       u"G17 G90 G00 X0 Y-10 Z0\nG42 D1 G01 X0 Y0 F100\nX30\nG02 X40 Y0 R5\nG01 X60\nG40 X70 Y-10\n", 3,
       Joined(ArcPoints(175, -10, 18, false), {{37, 0, 0}, {37, -3, 0}, {40, -3, 0}})},
      {"arc to line, left", 6,
       u"G17 G90 G00 X0 Y10 Z0\nG41 D1 G01 X0 Y0 F100\nX30\nG03 X40 Y0 R5\nG01 X60\nG40 X70 Y10\n", 3,
       Joined(ArcPoints(175, -10, 18, true), {{37, 0, 0}, {37, 3, 0}, {40, 3, 0}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetCell(0, 1, 2, c.diameter);
    SetCell(0, 1, 3, 0.0);
    Log().messages.clear();
    PathGroups* paths = Parse(c.program);
    ASSERT_NE(paths, nullptr);
    EXPECT_TRUE(Log().messages.empty());
    const std::vector<Record> moves = MovesOfLine(Simulate(), c.line);
    ExpectPositions(moves, c.records);
    // The drawn path ends where the records end, and the next line's path
    // starts there.
    const CPoint3d last = c.records.back();
    EXPECT_TRUE(Near(End(paths, c.line), last, 1e-9));
    const CPathPolyline* next = OnlyPolyline(paths, c.line + 1);
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(Near(next->Point(0), last, 1e-9));
  }
}

}  // namespace
}  // namespace apitest
