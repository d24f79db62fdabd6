// Block rules of the control, through the exported interface:
//  - the returns G27, G28, G29 and G30 are one-shot: a later line with only
//    coordinates moves in the G00/G01 mode in force before the return;
//  - an axis a block does not name stays where the tool is, whatever code
//    changed the coordinate system or the way words are read in between;
//  - G53 is one-shot in every respect; G92 under G43 counts the tool length
//    once; G52 keeps a G92 shift; G29 moves only the axes it names;
//  - the codes of a block apply to the whole block; a motion code without
//    axis words moves nothing; G10 in G91 adds to the stored offset.
// Every expected point is worked out by hand from the control's rules. The
// reference point is the path origin; D is a diameter.
#include <cmath>
#include <string>
#include <vector>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class BlockRuleTest : public LineEndTest {
 protected:
  void SetUp() override {
    LineEndTest::SetUp();
    SetWorkOffset(1, {0, 0, 0});
    for (int col = 0; col < 4; ++col) SetCell(0, 1, col, 0.0);  // H1 and D1 empty
  }
  static std::size_t PolylineCount(const PathGroups* paths, int line) {
    const std::size_t list = static_cast<std::size_t>(line) + 1;
    return paths && list < paths->size() ? (*paths)[list].size() : 0;
  }
};

// After a return a line with only coordinates moves, from where the return
// left the tool, in the mode that was in force before the return.
TEST_F(BlockRuleTest, ReturnsAreOneShot) {
  const struct {
    const char* what;
    const char16_t* program;
    int line;
    CPoint3d end;
    bool feed;
  } cases[] = {
      // G91 G28 Z0 leaves X, Y and takes Z to the reference (0).
      {"G28 Z0, then X Y", u"G00 X10 Y10 Z10\nG91 G28 Z0\nG90 X50 Y50\nG01 Z-1 F100\n", 2, {50, 50, 0}, false},
      {"G28 Z0, then the plunge", u"G00 X10 Y10 Z10\nG91 G28 Z0\nG90 X50 Y50\nG01 Z-1 F100\n", 3, {50, 50, -1},
       true},
      // G28 X0 Y0 at a zero work offset: X and Y to the reference.
      {"G28 X0 Y0, then Y", u"G00 X10 Y10 Z10\nG28 X0 Y0\nY30\n", 2, {0, 30, 10}, false},
      {"G27 under G01", u"G01 X10 Y10 Z10 F100\nG27 X0 Y0\nX5\n", 2, {5, 0, 10}, true},
      {"G29 under G01", u"G01 X10 Y10 Z10 F100\nG28 X20 Y20\nG29 X5 Y5\nY8\n", 3, {5, 8, 10}, true},
      {"G30 under G01", u"G01 X10 Y20 Z30 F100\nG30 Y5\nX1\n", 2, {1, 0, 30}, true},
      {"G28 under G91 G01", u"G91 G01 X10 Y10 Z10 F100\nG28 Z0\nX5\n", 2, {15, 10, 0}, true},
  };
  for (const auto& c : cases) {
    PathGroups* paths = Parse(c.program);
    EXPECT_TRUE(Near(End(paths, c.line), c.end, 1e-9)) << c.what;
    EXPECT_TRUE(HasStyle(OnlyPolyline(paths, c.line), c.feed ? kFeedStyle : kRapidStyle)) << c.what;
  }
  // The same in a sub-program: its return is one-shot for the caller too.
  WriteProgram("O3201.nc", "G91 G28 Z0\nM99\n");
  PathGroups* paths = ParseIn(Folder(), u"G01 X10 Y10 Z10 F100\nM98 P3201\nG90 X20\n");
  EXPECT_TRUE(Near(End(paths, 2), {20, 10, 0}));
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 2), kFeedStyle));
}

// After each code that changes the coordinate system or the way words are
// read, a move that names one axis leaves the others where the tool is (in
// the coordinates of the system in force: under rotation along the turned
// axis). G55 is at 200, 100, -50; the host's length of T2 is 40.
TEST_F(BlockRuleTest, UnnamedAxesStayWhereTheToolIs) {
  SetWorkOffset(2, {200, 100, -50});
  Log().toolThird[2] = 40.0;
  WriteProgram("O3101.nc", "G52 X5 Y5\nM99\n");
  WriteProgram("O3102.nc", "G52 X20 Y30\nG01 Y-1.5 F100\nM99\n");
  WriteProgram("O3103.nc", "G68 X0 Y0 R90\nM99\n");
  WriteProgram("O9101.nc", "G69\nM99\n");
  const double r = 30.0 / std::sqrt(5.0);  // radius 30 along (1, 2)
  const double h = 30.0 / std::sqrt(2.0);  // radius 30 at 45 degrees
  const EndCase cases[] = {
      {"G52", u"G00 X20 Y30 Z5\nG52 X20 Y30\nG01 Y-1.5 F100\n", 2, {20, 28.5, 5}},
      {"G52 cancel", u"G00 X20 Y30 Z5\nG52 X20 Y30\nG01 Y-1.5 F100\nG52 X0 Y0\nG01 Y5\n", 4, {20, 5, 5}},
      {"G16", u"G00 X10 Y20 Z5\nG16\nG00 Z20\n", 2, {10, 20, 20}},
      {"G16, radius only: the tool's angle", u"G00 X10 Y20 Z5\nG16\nG00 X30\n", 2, {r, 2 * r, 5}},
      {"G15 after polar", u"G00 X0 Y0 Z5\nG16\nG00 X30 Y45\nG15\nG00 Z20\n", 4, {h, h, 20}},
      {"G15 in the line of G80", u"G00 X0 Y0 Z5\nG16\nG81 X30 Y45 Z-1 R2 F100\nG80 G15 G00 Z20\n", 3,
       {h, h, 20}},
      {"G51", u"G00 X10 Y20 Z5\nG51 X0 Y0 P2000\nG00 Z20\n", 2, {10, 20, 35}},
      {"G50", u"G00 X10 Y20 Z5\nG51 X0 Y0 P2000\nG00 X10\nG50\nG00 Z10\n", 4, {20, 20, 10}},
      {"G51.1", u"G00 X10 Y20 Z5\nG51.1 X0\nG00 Z20\n", 2, {10, 20, 20}},
      {"G50.1", u"G00 X10 Y20 Z5\nG51.1 X0\nG00 X5\nG50.1 X0\nG00 Z10\n", 4, {-5, 20, 10}},
      {"G68", u"G00 X10 Y20 Z5\nG68 X0 Y0 R90\nG00 Z20\n", 2, {10, 20, 20}},
      // The tool at (10, 20) is at (20, -10) in the turned system.
      {"G68, X only", u"G00 X10 Y20 Z5\nG68 X0 Y0 R90\nG00 X5\n", 2, {10, 5, 5}},
      {"G69", u"G68 X0 Y0 R90\nG00 X10 Y0\nG01 Z-1 F100\nG69\nG00 Z20\n", 4, {0, 10, 20}},
      {"G55", u"G00 X10 Y20 Z5\nG55\nG00 Z20\n", 2, {10, 20, -30}},
      {"G54.1", u"G00 X10 Y20 Z5\nG54.1 P1\nG00 Z20\n", 2, {10, 20, 20}},
      {"G92", u"G00 X10 Y20 Z5\nG92 X0 Y0\nG00 Z20\n", 2, {10, 20, 20}},
      {"G20", u"G21 G00 X10 Y20 Z5\nG20\nG00 Z1\n", 2, {10, 20, 25.4}},
      {"G21", u"G20 G00 X1 Y2 Z0.5\nG21\nG00 Z20\n", 2, {25.4, 50.8, 20}},
      {"G91", u"G00 X10 Y20 Z5\nG91\nG00 Z20\n", 2, {10, 20, 25}},
      {"G90", u"G91 G00 X10 Y20 Z5\nG90\nG00 Z20\n", 2, {10, 20, 20}},
      {"G28", u"G00 X10 Y20 Z5\nG91 G28 Z0\nG90 G00 X30\n", 2, {30, 20, 0}},
      {"a tool change", u"G00 X10 Y20 Z5\nT2 M06\nG00 X30\n", 2, {30, 20, 40}},
      {"G10 L2 of the system in force", u"G10 L2 P3 X0\nG56 G00 X10 Y20 Z5\nG10 L2 P3 X7\nG00 Z20\n", 3, {10, 20, 20}},
      {"G10 L2 in force, G91", u"G10 L2 P3 X0\nG56 G00 X10 Y20 Z5\nG10 L2 P3 X7\nG91 G00 X0\n", 3, {10, 20, 5}},
      {"G10 L2 of another system", u"G10 L2 P3 X0\nG56 G00 X10 Y20 Z5\nG10 L2 P4 X7\nG00 Z20\n", 3, {10, 20, 20}},
      // In YZ the rotation turns Y and Z about (Y5, Z0); X is off the plane.
      {"G68 in YZ, X only", u"G19 G00 X10 Y20 Z5\nG68 Y5 Z0 R90\nG00 X3\n", 2, {3, 20, 5}},
      {"G68 in ZX, Y only", u"G18 G00 X10 Y20 Z5\nG68 X5 Z0 R90\nG00 Y3\n", 2, {10, 3, 5}},
  };
  for (const EndCase& c : cases) EXPECT_TRUE(Near(LastPoint(Parse(c.program), c.line), c.end, 1e-9)) << c.what;
  // Calls and returns: the change made in the called program holds for the
  // caller's next move; and the same move inside the called program.
  const EndCase calls[] = {
      {"G52 in a sub-program", u"G00 X10 Y20 Z5\nM98 P3101\nG00 Z20\n", 2, {10, 20, 20}},
      {"G52 and a move in a sub-program", u"G00 X20 Y30 Z5\nM98 P3102\nG00 Z20\n", 2, {20, 28.5, 20}},
      {"G68 in a sub-program", u"G00 X10 Y20 Z5\nM98 P3103\nG00 Z20\n", 2, {10, 20, 20}},
      {"G69 in a macro", u"G68 X0 Y0 R90\nG00 X10 Y0 Z5\nG65 P9101\nG00 Z20\n", 3, {0, 10, 20}},
  };
  for (const EndCase& c : calls)
    EXPECT_TRUE(Near(LastPoint(ParseIn(Folder(), c.program), c.line), c.end, 1e-9)) << c.what;
  // G52 then G68 about the local zero (20, 30): X10 alone keeps the turned
  // Y at 0, and the R arc from (10, 0) to (0, 10) exists; its end (0, 10)
  // turned by 30 degrees is (-5, 8.66) from the local zero.
  Log().messages.clear();
  PathGroups* paths = Parse(u"G00 X20 Y30 Z5\nG52 X20 Y30\nG68 X0 Y0 R30\nG00 X10\nG01 Z-1 F100\nG03 X0 Y10 R10\n");
  EXPECT_TRUE(Log().messages.empty());
  EXPECT_TRUE(Near(LastPoint(paths, 3), {20 + 10 * std::sqrt(0.75), 35, 5}, 1e-9));
  EXPECT_TRUE(Near(LastPoint(paths, 5), {15, 30 + 10 * std::sqrt(0.75), -1}, 1e-9));
}

// G29 passes the intermediate point of the last return (also one made in a
// called program) and ends at its point; in G91 the point counts from the
// intermediate point. The next move starts where G29 ended. The G29 line's
// drawn points: start, intermediate point, end.
TEST_F(BlockRuleTest, ReturnFromReferenceCountsFromTheIntermediatePoint) {
  WriteProgram("O3301.nc", "G91 G28 Z0\nM99\n");
  WriteProgram("O3302.nc", "G90 G29 X5 Y5\nM99\n");
  const struct {
    const char* what;
    const char16_t* program;
    int line;  // the G29 line
    CPoint3d mid, end, next;  // the next line's end
  } cases[] = {
      {"G91 X5 Y5 from (10, 10)", u"G00 X10 Y10 Z10\nG91 G28 X0 Y0\nG29 X5 Y5\nX1\n", 2, {10, 10, 10},
       {15, 15, 10}, {16, 15, 10}},
      {"G90 X5 Y5", u"G00 X10 Y10 Z10\nG91 G28 X0 Y0\nG90 G29 X5 Y5\nG91 X1\n", 2, {10, 10, 10}, {5, 5, 10},
       {6, 5, 10}},
      {"G91 Z-3 under G52", u"G00 X10 Y10 Z10\nG52 X5 Y5\nG91 G28 Z0\nG29 Z-3\nG90 X0\n", 3, {10, 10, 10},
       {10, 10, 7}, {5, 10, 7}},
      {"the later of two returns", u"G00 X10 Y10 Z10\nG91 G28 Z0\nG90 G00 X20 Y20 Z20\nG91 G28 Z0\nG29 Z-5\nY1\n", 4,
       {20, 20, 20}, {20, 20, 15}, {20, 21, 15}},
      {"G28 in a sub-program", u"G00 X10 Y10 Z10\nM98 P3301\nG91 G29 Z-2\nG90 X0\n", 2, {10, 10, 10},
       {10, 10, 8}, {0, 10, 8}},
      {"G29 in a sub-program", u"G00 X10 Y10 Z10\nG91 G28 X0 Y0\nM98 P3302\nG90 X0\n", -1, {10, 10, 10},
       {5, 5, 10}, {0, 5, 10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PathGroups* paths = ParseIn(Folder(), c.program);
    if (c.line >= 0) {
      const CPathPolyline* g29 = OnlyPolyline(paths, c.line);
      ASSERT_NE(g29, nullptr);
      ASSERT_EQ(g29->PointCount(), 3);
      EXPECT_TRUE(Near(g29->Point(1), c.mid));
      EXPECT_TRUE(Near(g29->Point(2), c.end));
    }
    const int next = c.line >= 0 ? c.line + 1 : 3;
    EXPECT_TRUE(Near(LastPoint(paths, next), c.next));
  }
}

// G53 leaves the tool length offset (H1 = 30) and cutter compensation out
// of its own block only; G92 under G43 counts the tool length once; G52
// after G92 keeps the G92 shift.
TEST_F(BlockRuleTest, OneShotMachineMoveAndShiftedZeros) {
  SetCell(0, 1, 0, 30.0);  // H1: 30
  ExpectEnds({
      {"G53 Z0: machine zero", u"G43 H1 Z10\nG53 Z0\nG00 Z5\n", 1, {0, 0, 0}},
      {"G43 still in force after G53", u"G43 H1 Z10\nG53 Z0\nG00 Z5\n", 2, {0, 0, 35}},
      {"G43 at Z10", u"G43 H1 Z10\nG92 X0 Y0 Z10\nG00 Z10\nZ0\n", 0, {0, 0, 40}},
      {"G92 Z10 under G43: Z10 does not move", u"G43 H1 Z10\nG92 X0 Y0 Z10\nG00 Z10\nZ0\n", 2, {0, 0, 40}},
      {"G92 Z10 under G43: Z0 is 10 lower", u"G43 H1 Z10\nG92 X0 Y0 Z10\nG00 Z10\nZ0\n", 3, {0, 0, 30}},
      {"G52 after G92", u"G00 X10 Y10\nG92 X0 Y0\nG52 X5 Y5\nG00 X0 Y0\n", 3, {15, 15, 0}},
      {"G52 twice after G92", u"G00 X10 Y10\nG92 X0 Y0\nG52 X5 Y5\nG52 X1 Y2\nG00 X0 Y0\n", 4, {11, 12, 0}},
      {"G52 cancel after G92", u"G00 X10 Y10\nG92 X0 Y0\nG52 X5 Y5\nG52 X0 Y0\nG00 X0 Y0\n", 4, {10, 10, 0}},
  });
  // D1 = 4 (radius 2), contour to the left. The G53 block moves to its
  // programmed point without the offset vector (20, 0); the next block
  // starts the compensation again: it ends offset perpendicular to the move
  // after it (Y+, to the left: X - 2).
  SetCell(0, 1, 2, 4.0);
  PathGroups* paths = Parse(u"G00 X0 Y-10 Z0\nG41 D1 G01 Y0 F100\nX20\nG53 Z0\nX40\nY10\n");
  EXPECT_TRUE(Near(LastPoint(paths, 2), {20, 2, 0}));
  EXPECT_TRUE(Near(LastPoint(paths, 3), {20, 0, 0}));
  EXPECT_TRUE(Near(LastPoint(paths, 4), {38, 0, 0}));
  EXPECT_TRUE(Near(LastPoint(paths, 5), {38, 10, 0}));
}

// G29 goes through the stored intermediate point for the axes it names and
// leaves the others where they are.
TEST_F(BlockRuleTest, ReturnFromTheReferenceMovesTheNamedAxesOnly) {
  const struct {
    const char* what;
    const char16_t* program;
    std::vector<CPoint3d> points;  // of the G29 line
  } cases[] = {
      // G91 G28 Z0 stores the intermediate point (0, 0, -5); Z is not named.
      {"no plunge to the stored Z", u"G00 Z-5\nG91 G28 Z0\nG90 G29 X20 Y20\n", {{0, 0, 0}, {0, 0, 0}, {20, 20, 0}}},
      // G28 X30 Y40 stores (30, 40, 5); G29 X20 passes X30 only.
      {"X only", u"G00 X10 Y10 Z5\nG28 X30 Y40\nG29 X20\n", {{0, 0, 5}, {30, 0, 5}, {20, 0, 5}}},
      {"X and Y", u"G00 X10 Y10 Z5\nG28 X30 Y40\nG29 X20 Y10\n", {{0, 0, 5}, {30, 40, 5}, {20, 10, 5}}},
  };
  for (const auto& c : cases) {
    const std::vector<CPoint3d> pts = PointsOf(Parse(c.program), 2);
    ASSERT_EQ(pts.size(), c.points.size()) << c.what;
    for (std::size_t i = 0; i < pts.size(); ++i) EXPECT_TRUE(Near(pts[i], c.points[i])) << c.what << " " << i;
  }
}

// The codes of a block apply to all of its words wherever they stand; of
// two group 01 codes the last holds and the block makes one move.
TEST_F(BlockRuleTest, CodesApplyToTheWholeBlock) {
  ExpectEnds({
      {"G91 after the axis", u"G00 X5\nG00 X10 G91\n", 1, {15, 0, 0}},
      {"G91 after the axis, no motion code", u"G00 X5 Y5\nY3 G91\n", 1, {5, 8, 0}},
      {"G90 after the axis in G91", u"G91 G00 X5\nX10 G90\n", 1, {10, 0, 0}},
      {"G00 then G01", u"G00 X3 G01 Y4 F120\n", 0, {3, 4, 0}},
      {"G01 then G00", u"G01 X3 F120 G00 Y4\n", 0, {3, 4, 0}},
  });
  PathGroups* paths = Parse(u"G00 X3 G01 Y4 F120\nG00 X0 Y0\nG01 X3 F120 G00 Y4\n");
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 0), kFeedStyle));
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 2), kRapidStyle));
  const std::vector<Record> records = Simulate();
  const std::vector<Record> first = MovesOfLine(records, 0, 1, 4);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].kind, 2);
  EXPECT_EQ(first[0].feed, 120.0);
  EXPECT_TRUE(Near(first[0].position, {3, 4, 0}));
  const std::vector<Record> last = MovesOfLine(records, 2, 1, 4);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].kind, 1);
}

// A motion code without axis words sets the mode and makes no move and no
// command record; the next line of coordinates moves in that mode.
TEST_F(BlockRuleTest, MotionCodeWithoutAxisWordsMovesNothing) {
  WriteProgram("O3301.nc", "G01 F200\nX5\nM99\n");
  const struct {
    const char* what;
    const char16_t* program;
    int line;            // the line whose motion code must not move
    std::size_t others;  // the polylines and records of the line's other codes
  } cases[] = {
      {"G01 F200", u"G01 F200\n", 0, 0},
      {"the safety line", u"G00 G17 G40 G49 G80 G90\n", 0, 0},
      {"G01 F200 after a move", u"G00 X10 Y10 Z10\nG01 F200\n", 1, 0},
      {"the safety line in G91", u"G00 X10 Y10 Z10\nG91 G00 G17 G40 G49 G80\n", 1, 0},
      {"under rotation", u"G00 X10 Y10 Z10\nG68 X0 Y0 R30\nG01 F200\n", 2, 0},
      {"an arc code alone", u"G00 X10 Y10 Z10\nG02 F200\n", 1, 0},
      {"after a return", u"G00 X10 Y10 Z10\nG91 G28 Z0\nG01 F200\n", 2, 0},
      // The axis words after G28, G92 and G52 are theirs.
      {"G00 before a return", u"G00 X10 Y10 Z10\nG00 G91 G28 Z0\n", 1, 1},
      {"G01 before G92", u"G00 X10 Y10 Z10\nG01 G92 X0 Y0\n", 1, 0},
      {"G00 before G52", u"G00 X10 Y10 Z10\nG00 G52 X5\n", 1, 0},
  };
  for (const auto& c : cases) {
    PathGroups* paths = Parse(c.program);
    EXPECT_EQ(PolylineCount(paths, c.line), c.others) << c.what;
    EXPECT_EQ(MovesOfLine(Simulate(), c.line, 1, 4).size(), c.others) << c.what;
  }
  // The mode is set: the next coordinates feed at 200.
  PathGroups* paths = Parse(u"G00 X10\nG01 F200\nX5\n");
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 2), kFeedStyle));
  EXPECT_TRUE(Near(End(paths, 2), {5, 0, 0}));
  // A full circle names no end point but is a move.
  const std::vector<CPoint3d> circle = PointsOf(Parse(u"G02 I5 F100\n"), 0);
  EXPECT_TRUE(Contains(circle, {10, 0, 0}) && Contains(circle, {5, 5, 0}) && Contains(circle, {5, -5, 0}));
  // In a sub-program too.
  ParseIn(Folder(), u"G00 X10\nM98 P3301\n");
  const std::vector<Record> records = Motions(Simulate());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[1].kind == 2 && Near(records[1].position, {5, 0, 0}));
}

// G10 in G91 adds to the stored offset; in G90 it replaces it.
TEST_F(BlockRuleTest, IncrementalDataInputAddsToTheOffset) {
  SetWorkOffset(1, {50, 0, 0});
  SetCell(0, 1, 0, 30.0);
  SetCell(0, 1, 1, 2.0);
  const struct {
    const char* what;
    const char16_t* program;
    unsigned kind;
    int row, col;
    double value;
  } cases[] = {
      {"G91 L2 X5", u"G91 G10 L2 P1 X5\n", 1, 1, 0, 55},
      {"G91 after the words", u"G10 L2 P1 X5 G91\n", 1, 1, 0, 55},
      {"G90 L2 X5", u"G90 G10 L2 P1 X5\n", 1, 1, 0, 5},
      {"G90 after the words holds", u"G91 G10 L2 P1 X5 G90\n", 1, 1, 0, 5},
      {"G91 after the words holds", u"G90 G10 L2 P1 X5 G91\n", 1, 1, 0, 55},
      {"G90 after R holds", u"G91 G10 L10 P1 R7 G90\n", 0, 1, 0, 7},
      {"G91 L10 R-5", u"G91 G10 L10 P1 R-5\n", 0, 1, 0, 25},
      {"G91 L11 R3", u"G91 G10 L11 P1 R3\n", 0, 1, 1, 5},
      {"G90 L10 R7", u"G90 G10 L10 P1 R7\n", 0, 1, 0, 7},
  };
  for (const auto& c : cases) {
    SetWorkOffset(1, {50, 0, 0});
    SetCell(0, 1, 0, 30.0);
    SetCell(0, 1, 1, 2.0);
    ParseOnly(c.program);
    EXPECT_DOUBLE_EQ(Cell(c.kind, c.row, c.col), c.value) << c.what;
  }
  // The next move uses the new offset.
  SetWorkOffset(1, {50, 0, 0});
  EXPECT_TRUE(Near(LastPoint(Parse(u"G54 G00 X0 Y0 Z0\nG91 G10 L2 P1 X5\nG90 G00 X0\n"), 2), {55, 0, 0}));
}

}  // namespace
}  // namespace apitest
