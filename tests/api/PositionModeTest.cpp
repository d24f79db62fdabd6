// Positions and modes as the control keeps them after every kind of block:
// machine coordinates, reference returns, tool changes, codes that set no
// motion, sub-program returns, local systems, mirror, scaling, rotation,
// the decimal-point scale, block highlighting and Code_Parsing.
//
// Every expected point is worked out by hand from the control's rules; the
// reference point is the path origin, and a tool change moves Z to the
// host's third number for the tool.
#include <cmath>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class PositionModeTest : public LineEndTest {};

// G53 moves in machine coordinates in its own block only, at rapid whatever
// the motion mode; the work system in force (G54 at 100, 50, -20) stays
// active, and the next move's axes continue from where G53 left the tool.
// In G91, G53 is ignored.
TEST_F(PositionModeTest, MachineCoordinatesAreOneShot) {
  SetWorkOffset(1, {100, 50, -20});
  ExpectEnds({
      {"G53 Z0 goes to machine Z0", u"G54 G00 X0 Y0 Z0\nG53 G00 Z0\nG00 X10 Y10\n", 1, {100, 50, 0}},
      {"the next move is in G54 again", u"G54 G00 X0 Y0 Z0\nG53 G00 Z0\nG00 X10 Y10\n", 2, {110, 60, 0}},
      {"the G53 code after G00", u"G54 G00 X0 Y0 Z0\nG00 G53 Z0\nX10\n", 2, {110, 50, 0}},
      {"an incremental move after G53", u"G54 G00 X0 Y0 Z0\nG53 Z-10\nG91 G00 Z5\n", 2, {100, 50, -5}},
      {"G53 in G91 is ignored", u"G54 G00 X0 Y0 Z0\nG91 G53 Z5\n", 1, {100, 50, -15}},
  });
  // Under G01 the G53 block is a rapid move; the next block feeds again.
  PathGroups* paths = Parse(u"G54 G01 X0 Y0 Z0 F100\nG53 Z0\nX10\n");
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 1), kRapidStyle));
  EXPECT_TRUE(Near(End(paths, 1), {100, 50, 0}));
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 2), kFeedStyle));
  EXPECT_TRUE(Near(End(paths, 2), {110, 50, 0}));
  const std::vector<Record> records = Simulate();
  const std::vector<Record> machine = MovesOfLine(records, 1);
  ASSERT_EQ(machine.size(), 1u);
  EXPECT_TRUE(machine[0].kind == 1 && machine[0].feed == 3000.0);
}

// G53 applies to every axis word of its line, written before or after it:
// the named axes go to machine coordinates (G54 at 100, 50, -20 shows the
// difference), the others stay where the tool is.
TEST_F(PositionModeTest, MachineCoordinatesTakeEveryAxisWordOfTheLine) {
  SetWorkOffset(1, {100, 50, -20});
  const char16_t* start = u"G54 G00 X0 Y0 Z0\n";
  auto after = [&](const char16_t* line) { return std::u16string(start) + line; };
  const struct {
    const char* what;
    std::u16string program;
    int line;
    CPoint3d end;
  } cases[] = {
      {"G53 before the axis", after(u"G53 G00 Z0\n"), 1, {100, 50, 0}},
      {"G53 after the axis", after(u"G00 Z0 G53\n"), 1, {100, 50, 0}},
      {"G53 after the axis, no motion code", after(u"Z0 G53\n"), 1, {100, 50, 0}},
      {"G53 after two axes under G01", after(u"G01 X10 Y10 F100 G53\n"), 1, {10, 10, -20}},
      {"axes on both sides of G53", after(u"G00 X10 G53 Z5\n"), 1, {10, 50, 5}},
      {"an expression before G53", after(u"G00 Z[3+4] G53\n"), 1, {100, 50, 7}},
      {"G53 after the axis in G18", after(u"G18 G00 Y5 G53\n"), 1, {100, 5, -20}},
      {"the next move is in G54 again", after(u"G00 Z0 G53\nX10\n"), 2, {110, 50, 0}},
      // The block's own G90 or G91 decides, wherever it stands.
      {"G90 after G53 while G91 is in force", after(u"G91\nG53 G90 G00 Z0\n"), 2, {100, 50, 0}},
      {"G91 after G53: ignored", after(u"G53 G00 Z5 G91\n"), 1, {100, 50, -15}},
  };
  for (const auto& c : cases) EXPECT_TRUE(Near(LastPoint(Parse(c.program), c.line), c.end, 1e-9)) << c.what;
}

// After G28/G30 the named axes are at the reference point (the origin; Z of
// an axis-by-axis return at the tool's length, 0 here) and the others stay;
// a later move that leaves an axis out keeps it there. In G91 the
// intermediate point is measured from the current position.
TEST_F(PositionModeTest, ReferenceReturnsKeepUnnamedAxesAndTheReferencePoint) {
  SetWorkOffset(1, {0, 0, 0});
  ExpectEnds({
      {"G28 Z5 returns Z only", u"G00 X10 Y20 Z30\nG28 Z5\n", 1, {10, 20, 0}},
      {"X and Y stay after G28 Z5", u"G00 X10 Y20 Z30\nG28 Z5\nG00 X40\n", 2, {40, 20, 0}},
      {"an incremental move starts at the reference", u"G00 X10 Y20 Z30\nG28 Z5\nG91 G01 Z-3 F100\n", 2,
       {10, 20, -3}},
      {"G30 Y5 returns Y only", u"G00 X10 Y20 Z30\nG30 Y5\n", 1, {10, 0, 30}},
      {"X moves, Y stays at the reference", u"G00 X10 Y20 Z30\nG30 Y5\nG00 X1\n", 2, {1, 0, 30}},
  });
  // G91 G28 X10 from X5 passes X15.
  std::vector<CPoint3d> pts = PointsOf(Parse(u"G00 X5 Y0 Z0\nG91 G28 X10\n"), 1);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_TRUE(Near(pts[1], {15, 0, 0}) && Near(pts[2], {0, 0, 0}));
  // The axis-by-axis return: Z stays at the reference (machine 0) when a
  // later move leaves it out, not at the work system's Z0 (-20).
  SetWorkOffset(1, {100, 0, -20});
  PathGroups* paths = Parse(u"G00 X10 Y20 Z30\nG91 G28 Z0\nG90 G00 X40\n");
  EXPECT_TRUE(Near(LastPoint(paths, 1), {110, 20, 0}));
  EXPECT_TRUE(Near(LastPoint(paths, 2), {140, 20, 0}));
}

// In G90 the zero values of a return name the work zero: the tool passes it
// (G54 at -300, -200, -400) on its way to the reference point. In G91, or
// when the work zero is the reference point, the return goes axis by axis.
TEST_F(PositionModeTest, AbsoluteZeroReturnPassesTheWorkZero) {
  const struct {
    const char* what;
    CPoint3d offset;
    const char16_t* program;
    std::vector<CPoint3d> points;
  } cases[] = {
      {"G28 X0 Y0 Z0", {-300, -200, -400}, u"G00 X10 Y10 Z50\nG28 X0 Y0 Z0\n",
       {{-290, -190, -350}, {-300, -200, -400}, {0, 0, 0}}},
      {"G28 Z0", {-300, -200, -400}, u"G00 X10 Y10 Z50\nG28 Z0\n",
       {{-290, -190, -350}, {-290, -190, -400}, {-290, -190, 0}}},
      {"G91 G28 Z0", {-300, -200, -400}, u"G00 X10 Y10 Z50\nG91 G28 Z0\n", {{-290, -190, -350}, {-290, -190, 0}}},
      {"G28 X0 Y0 Z0 at a zero offset", {0, 0, 0}, u"G00 X10 Y10 Z50\nG28 X0 Y0 Z0\n",
       {{10, 10, 50}, {0, 10, 50}, {0, 0, 50}, {0, 0, 0}}},
  };
  for (const auto& c : cases) {
    SetWorkOffset(1, c.offset);
    const std::vector<CPoint3d> pts = PointsOf(Parse(c.program), 1);
    ASSERT_EQ(pts.size(), c.points.size()) << c.what;
    for (std::size_t i = 0; i < pts.size(); ++i) EXPECT_TRUE(Near(pts[i], c.points[i])) << c.what << " " << i;
  }
}

// After a tool change the program's X, Y and Z are where the change left the
// tool (X, Y kept, Z at the host's 50 for T5). A block of modal codes only
// moves nothing afterwards, in either distance mode.
TEST_F(PositionModeTest, ToolChangeKeepsTheProgrammedPosition) {
  SetWorkOffset(1, {0, 0, 0});
  Log().toolThird[5] = 50.0;
  ExpectEnds({
      {"the change", u"G00 X10 Y10\nT5 M06\nG91 G01 Y5 F100\n", 1, {10, 10, 50}},
      {"an incremental move from there", u"G00 X10 Y10\nT5 M06\nG91 G01 Y5 F100\n", 2, {10, 15, 50}},
      {"an absolute move keeps Y and Z", u"G00 X10 Y10 Z20\nT5 M06\nG00 X30\n", 2, {30, 10, 50}},
  });
  for (const char16_t* safety : {u"G00 X10 Y10 Z20\nT5 M06\nG00 G17 G40 G49 G80 G90\nG91 G00 G17 G40 G49 G80\n",
                                 u"G00 X10 Y10 Z20\nT5 M06\nG91 G00 G17 G40 G49 G80\nG90 G00 G17 G40 G49 G80\n"}) {
    PathGroups* paths = Parse(safety);
    for (int line : {2, 3})
      for (const CPoint3d& p : PointsOf(paths, line)) EXPECT_TRUE(Near(p, {10, 10, 50})) << line;
  }
}

// Codes that set no motion never hand their words to the modal move: no
// move or cycle is made for their line, whatever the modal motion.
TEST_F(PositionModeTest, CodesThatSetNoMotionMoveNothing) {
  const struct {
    const char* what;
    const char16_t* program;
    int line;
  } cases[] = {
      {"G54.1 P2 under G00", u"G00 X10 Y10 Z5\nG54.1 P2\n", 1},
      {"G54.1 P2 under G01", u"G01 X10 Y10 Z5 F100\nG54.1 P2\n", 1},
      {"G54.1 P2 under a drilling cycle", u"G00 X10 Y10 Z5\nG81 X10 Y10 Z-5 R2 F100\nG54.1 P2\n", 2},
      {"G05.1 Q1 under a peck cycle", u"G00 X10 Y10 Z5\nG83 X10 Y10 Z-5 R2 Q1 F100\nG05.1 Q1\n", 2},
      {"M99 P20", u"G00 X10 Y10 Z5\nM99 P20\n", 1},
      {"G92 refused under rotation", u"G00 X10 Y10 Z5\nG68 X0 Y0 R90\nG92 X0 Y0\n", 2},
      {"G55 refused under scaling", u"G00 X10 Y10 Z5\nG51 X0 Y0 P2000\nG55 X1 Y1\n", 2},
  };
  for (const auto& c : cases) {
    ParseOnly(c.program);
    EXPECT_TRUE(MovesOfLine(Simulate(), c.line).empty()) << c.what;
  }
}

// The modal state set in a sub-program or macro stays in force after M99:
// motion mode and distance mode, plane, units, feed, tool, tool length and
// radius offsets.
TEST_F(PositionModeTest, ModalStateSetInACalledProgramStaysInForce) {
  SetWorkOffset(1, {0, 0, 0});
  SetCell(0, 1, 0, 10.0);  // H1: 10
  SetCell(0, 1, 1, 0.0);
  SetCell(0, 2, 2, 4.0);  // D2: a diameter of 4
  SetCell(0, 2, 3, 0.0);
  Log().toolThird[7] = 30.0;
  WriteProgram("O3001.nc", "G91 G01 X1 F100\nM99\n");
  WriteProgram("O3002.nc", "G18\nM99\n");
  WriteProgram("O3003.nc", "G20\nM99\n");
  WriteProgram("O3004.nc", "G01 X1 F250\nM99\n");
  WriteProgram("O3005.nc", "G43 H1\nM99\n");
  WriteProgram("O3006.nc", "T7\nM99\n");
  WriteProgram("O3007.nc", "G41 D2\nM99\n");
  WriteProgram("O9001.nc", "G91\nM99\n");
  const std::vector<EndCase> cases = {
      {"G91 G01 after M98", u"G90 G00 X10 Y0 Z0\nM98 P3001\nX2\n", 2, {13, 0, 0}},
      {"twice with L2", u"G90 G00 X10 Y0 Z0\nM98 P3001 L2\nX2\n", 2, {14, 0, 0}},
      {"G18 after M98", u"G00 X0 Y0 Z0\nM98 P3002\nG02 X10 Z0 R5 F100\n", 2, {10, 0, 0}},
      {"G20 after M98", u"G00 X0 Y0 Z0\nM98 P3003\nG00 X1\n", 2, {25.4, 0, 0}},
      {"G43 H1 after M98", u"G00 X0 Y0 Z0\nM98 P3005\nG00 Z0\n", 2, {0, 0, 10}},
      {"T7 after M98", u"G00 X0 Y0 Z0\nM98 P3006\nM06\n", 2, {0, 0, 30}},
      {"G91 after G65", u"G00 X10 Y0 Z0\nG65 P9001\nX2\n", 2, {12, 0, 0}},
  };
  for (const EndCase& c : cases)
    EXPECT_TRUE(Near(LastPoint(ParseIn(Folder(), c.program), c.line), c.end, 1e-9)) << c.what;
  // The arc after G18 bulges along Z, not Y.
  for (const CPoint3d& p : PointsOf(ParseIn(Folder(), u"G00 X0 Y0 Z0\nM98 P3002\nG02 X10 Z0 R5 F100\n"), 2))
    EXPECT_NEAR(p.y, 0.0, 1e-9);
  // G01 and F250 from the sub-program: the next line feeds at 250.
  ParseIn(Folder(), u"G00 X0 Y0 Z0\nM98 P3004\nX5\n");
  const std::vector<Record> feed = MovesOfLine(Simulate(), 2);
  ASSERT_EQ(feed.size(), 1u);
  EXPECT_TRUE(feed[0].kind == 2 && feed[0].feed == 250.0);
  // G41 D2 from the sub-program: the D number is current and the contour
  // after the return is offset to the left by the radius 2.
  PathGroups* paths = ParseIn(Folder(), u"G00 X0 Y-10 Z0\nM98 P3007\nG01 Y0 F100\nX20\nY10\n");
  EXPECT_EQ(Code_GetCurD(), 2);
  EXPECT_TRUE(Contains(PointsOf(paths, 3), {18, 2, 0}));
}

// G52 shifts every work system until G52 X0 (or G92) cancels it; mirror
// cancel names the axes it cancels and moves nothing.
TEST_F(PositionModeTest, LocalSystemAndMirrorCancel) {
  SetWorkOffset(1, {100, 0, 0});
  SetWorkOffset(2, {200, 0, 0});
  const char16_t* local = u"G54\nG52 X5\nG55\nG00 X0 Y0 Z0\nG54\nG00 X0\nG52 X0\nG00 X0\n";
  ExpectEnds({
      {"G55 with the local shift", local, 3, {205, 0, 0}},
      {"G54 again with the shift", local, 5, {105, 0, 0}},
      {"the shift cancelled", local, 7, {100, 0, 0}},
      {"G92 cancels the shift", u"G52 X5\nG00 X0 Y0 Z0\nG92 X5\nG55\nG00 X0\n", 4, {200, 0, 0}},
  });
  SetWorkOffset(1, {0, 0, 0});
  // G50.1 X0 cancels the mirror of X only; G50.1 alone cancels every axis.
  const char16_t* partly = u"G00 X10 Y10 Z0\nG51.1 X0 Y0\nG00 X5 Y5\nG50.1 X0\nG00 X6 Y6\nG50.1\nG00 X7 Y7\n";
  ExpectEnds({
      {"both axes mirrored", partly, 2, {-5, -5, 0}},
      {"Y still mirrored", partly, 4, {6, -6, 0}},
      {"no axis mirrored", partly, 6, {7, 7, 0}},
  });
  // G50.1 X0 after a move of each motion mode: no move, no arc to solve.
  for (const char16_t* motion : {u"G00", u"G01", u"G02"}) {
    std::u16string program = u"G00 X10 Y10 Z0\nG51.1 X0\n";
    program += motion;
    program += u" X5 Y10 R20 F100\nG50.1 X0\nG00 X7\n";
    Log().messages.clear();
    PathGroups* paths = Parse(program);
    EXPECT_TRUE(Near(LastPoint(paths, 2), {-5, 10, 0}));
    EXPECT_TRUE(Log().messages.empty());
    EXPECT_TRUE(MovesOfLine(Simulate(), 3).empty());
    EXPECT_TRUE(Near(LastPoint(paths, 4), {7, 10, 0}));
  }
}

// G92 changes the axes it names and shifts every work system by the same
// amount (G54 at -300, -200, -400, G55 at -100, -100, -100): G92 X0 Y0 Z0
// at G54's X10 Y10 Z10 shifts both by 10. An axis G92 does not name keeps
// the tool length the work system adds (T1: 100).
TEST_F(PositionModeTest, PartZeroShiftsEveryWorkSystem) {
  SetWorkOffset(1, {-300, -200, -400});
  SetWorkOffset(2, {-100, -100, -100});
  Log().toolThird[1] = 100.0;
  const char16_t* shifted = u"G00 X10 Y10 Z10\nG92 X0 Y0 Z0\nG55 G00 X0 Y0 Z0\nG54 G00 X0 Y0 Z0\n";
  ExpectEnds({
      {"Z unnamed keeps the tool length", u"T1 M06\nG00 X10 Y10 Z10\nG92 X0 Y0\nG00 Z10\n", 3, {-290, -190, -290}},
      {"G55 after G92 is shifted", shifted, 2, {-90, -90, -90}},
      {"G54 again keeps the shift", shifted, 3, {-290, -190, -390}},
      {"G55 with the tool length", u"T1 M06\nG00 X10 Y10 Z10\nG92 X0 Y0 Z0\nG55 G00 X0 Y0 Z0\n", 3,
       {-90, -90, 10}},
  });
}

// G51's I, J and K scale X, Y and Z in every plane; a negative factor mirrors
// its own axis; a cycle's R level is scaled like its Z level.
TEST_F(PositionModeTest, ScalingPerAxisInEveryPlane) {
  SetWorkOffset(1, {0, 0, 0});
  ExpectEnds({
      {"G17", u"G17 G51 X0 Y0 Z0 I1000 J2000 K3000\nG01 X10 Y5 Z10 F100\n", 1, {10, 10, 30}},
      {"G18", u"G18 G51 X0 Y0 Z0 I1000 J2000 K3000\nG01 X10 Y5 Z10 F100\n", 1, {10, 10, 30}},
      {"G19", u"G19 G51 X0 Y0 Z0 I1000 J2000 K3000\nG01 X10 Y5 Z10 F100\n", 1, {10, 10, 30}},
      {"G17, X mirrored", u"G17 G51 X0 Y0 Z0 I-1000\nG01 X10 Y5 Z10 F100\n", 1, {-10, 5, 10}},
      {"G18, Z mirrored", u"G18 G51 X0 Y0 Z0 K-1000\nG01 X10 Y5 Z10 F100\n", 1, {10, 5, -10}},
      {"G19, Y mirrored about Y2", u"G19 G51 X0 Y2 Z0 J-1000\nG01 X10 Y5 Z10 F100\n", 1, {10, -1, 10}},
  });
  // P2000 about the origin: the hole at X20, the bottom at Z-10, the R level
  // at 4; G99 returns to it.
  PathGroups* paths = Parse(u"G00 X0 Y0 Z10\nG51 X0 Y0 Z0 P2000\nG99 G81 X10 Y0 Z-5 R2 F100\n");
  const std::vector<CPoint3d> pts = PointsOf(paths, 2);
  EXPECT_TRUE(Contains(pts, {20, 0, 4}) && Contains(pts, {20, 0, -10}));
  EXPECT_FALSE(Contains(pts, {20, 0, 2}));
  EXPECT_TRUE(Near(LastPoint(paths, 2), {20, 0, 4}));
}

// A cycle's levels and steps are drawn through the transforms like its
// holes: in G91 R counts from the initial level and Z from the R level, both
// scaled; the step between repeated holes is scaled, mirrored and turned;
// after the cycle the tool stays at the level it returned to.
TEST_F(PositionModeTest, CycleLevelsAndStepsFollowTheTransforms) {
  SetWorkOffset(1, {0, 0, 0});
  // P2000: initial level 20, R 20 - 2*4 = 12, bottom 12 - 2*5 = 2, holes at
  // X20, 40 and 60.
  PathGroups* paths = Parse(u"G51 X0 Y0 Z0 P2000\nG00 X0 Y0 Z10\nG91 G98 G81 X10 Y0 Z-5 R-4 K3 F100\n");
  std::vector<CPoint3d> pts = PointsOf(paths, 2);
  for (double x : {20.0, 40.0, 60.0}) EXPECT_TRUE(Contains(pts, {x, 0, 12}) && Contains(pts, {x, 0, 2})) << x;
  EXPECT_FALSE(Contains(pts, {20, 0, 16}));
  EXPECT_TRUE(Near(LastPoint(paths, 2), {60, 0, 20}));
  ExpectEnds({
      {"after a scaled G99 cycle Z stays at R (4)",
       u"G51 X0 Y0 Z0 P2000\nG00 X0 Y0 Z10\nG99 G81 X10 Y0 Z-5 R2 F100\nG80\nG00 X0\n", 4, {0, 0, 4}},
      {"after a scaled G98 cycle Z stays at the initial level (20)",
       u"G51 X0 Y0 Z0 P2000\nG00 X0 Y0 Z10\nG98 G81 X10 Y0 Z-5 R2 F100\nG80\nG00 X0\n", 4, {0, 0, 20}},
      {"Z-only factor K3000: initial level 30, R 30 - 3*2",
       u"G51 X0 Y0 Z0 K3000\nG00 X0 Y0 Z10\nG91 G99 G81 X5 Y0 Z-1 R-2 F100\n", 2, {5, 0, 24}},
  });
  pts = PointsOf(Parse(u"G51 X0 Y0 Z0 K3000\nG00 X0 Y0 Z10\nG91 G99 G81 X5 Y0 Z-1 R-2 F100\n"), 2);
  EXPECT_TRUE(Contains(pts, {5, 0, 21})) << "the bottom 24 - 3*1";
  // Turned by 90 degrees the holes step along Y; mirrored in X they step to -X.
  pts = PointsOf(Parse(u"G68 X0 Y0 R90\nG00 X0 Y0 Z10\nG91 G98 G81 X10 Y0 Z-5 R-4 K3 F100\n"), 2);
  for (double y : {10.0, 20.0, 30.0}) EXPECT_TRUE(Contains(pts, {0, y, 1})) << y;
  pts = PointsOf(Parse(u"G51.1 X0\nG00 X0 Y0 Z10\nG91 G98 G81 X10 Y0 Z-5 R-4 K2 F100\n"), 2);
  for (double x : {-10.0, -20.0}) EXPECT_TRUE(Contains(pts, {x, 0, 1})) << x;
}

// Under mirror and scaling, and after their cancel, an axis a move does not
// name stays where the tool is, and an incremental word counts from there.
TEST_F(PositionModeTest, UnnamedAxesStayUnderMirrorAndScaling) {
  SetWorkOffset(1, {0, 0, 0});
  ExpectEnds({
      {"a Y move under mirror in X", u"G00 X10 Y0 Z10\nG51.1 X0\nG00 Y5\n", 2, {10, 5, 10}},
      {"a Y move after the mirror's cancel", u"G00 X10 Y0 Z10\nG51.1 X0\nG01 X20 F100\nG50.1 X0\nG00 Y6\n", 4,
       {-20, 6, 10}},
      {"an X move under P2000", u"G00 X0 Y0 Z10\nG51 X0 Y0 Z0 P2000\nG00 X5\n", 2, {10, 0, 10}},
      {"an X move after G50", u"G00 X0 Y0 Z10\nG51 X0 Y0 Z0 P2000\nG00 X5 Z10\nG50\nG01 X6 F100\n", 4,
       {6, 0, 20}},
      {"an incremental move after G50", u"G00 X10 Y0 Z10\nG51 X0 Y0 Z0 P2000\nG00 X10\nG50\nG91 G00 X1\n", 4,
       {21, 0, 10}},
      {"Z under rotation after G50",
       u"G00 X0 Y0 Z10\nG51 X0 Y0 Z0 P2000\nG00 X5 Z10\nG50\nG68 X0 Y0 R90\nG01 X5 Y0 F100\n", 5, {0, 5, 20}},
  });
}

// G68 without X and Y turns about where the tool is when G68 is programmed,
// in G90 and G91 alike, also right after a tool change.
TEST_F(PositionModeTest, RotationWithoutCentreTurnsAboutTheToolPosition) {
  SetWorkOffset(1, {0, 0, 0});
  ExpectEnds({
      {"G90", u"G00 X10 Y0 Z0\nG68 R90\nG01 X20 Y0 F100\n", 2, {10, 10, 0}},
      {"G91", u"G00 X10 Y0 Z0\nG91 G68 R90\nG01 X10 Y0 F100\n", 2, {10, 10, 0}},
      {"after a tool change", u"G00 X10 Y0 Z0\nT1 M06\nG68 R90\nG01 X20 Y0 F100\n", 3, {10, 10, 0}},
      {"only X given: Y is the tool's", u"G00 X10 Y5 Z0\nG68 X0 R90\nG01 X10 Y5 F100\n", 2, {0, 15, 0}},
  });
}

// G51 scales about the centre it names; the centre's axes it does not name
// are where the tool is when G51 is programmed.
TEST_F(PositionModeTest, ScalingWithoutCentreScalesAboutTheToolPosition) {
  SetWorkOffset(1, {0, 0, 0});
  ExpectEnds({
      {"no centre", u"G00 X10 Y10 Z0\nG51 P2000\nG00 X20\n", 2, {30, 10, 0}},
      {"only X given", u"G00 X10 Y10 Z5\nG51 X0 P2000\nG00 X20 Y20 Z10\n", 2, {40, 30, 15}},
      {"the whole centre given", u"G00 X10 Y10 Z5\nG51 X0 Y0 Z0 P2000\nG00 X20 Y20 Z10\n", 2, {40, 40, 20}},
  });
}

// With a scale for numbers without a decimal point (0.001), only lengths are
// scaled: X, Y, Z, I, J, K, R, Q and the X of G04; F, S, P, L, T, D, H and a
// cycle's repeat count are not.
TEST_F(PositionModeTest, DecimalPointScaleAppliesToLengthsOnly) {
  SetWorkOffset(1, {0, 0, 0});
  SetCell(2, 0, 0, 0.001);
  ParseOnly(
      u"G01 X1000 Y2000 Z3000 F100\n"      // 0
      u"S1200\nM03\n"                      // 1, 2
      u"G04 P500\nG04 X2000\n"             // 3, 4
      u"G00 X0 Y0 Z10000\n"                // 5
      u"G99 G83 X1000 Y0 Z-5000 R2000 Q1000 F80\n"  // 6
      u"G80\nG82 X0 Y0 Z-1000 R1000 P300 F80\n"     // 7, 8
      u"G80\nG91 G81 X1000 Y0 Z-1000 R-1000 K3\n"   // 9, 10
      u"G90 G10 L2 P3 X1500\n"             // 11
      u"T5\n");                            // 12
  const std::vector<Record> records = Simulate();
  auto one = [&](int line, short kind) {
    for (const Record& r : records)
      if (r.line == line && r.kind == kind) return r;
    ADD_FAILURE() << "no record of kind " << kind << " for line " << line;
    return Record{};
  };
  const Record move = one(0, 2);
  EXPECT_TRUE(Near(move.value, {1, 2, 3}) && move.feed == 100.0);
  EXPECT_EQ(one(2, 10).position.x, 1200.0);
  EXPECT_EQ(one(3, 16).p, 500.0);
  EXPECT_EQ(one(4, 16).value.x, 2.0);
  // A cycle's steps report its words.
  const Record peck = one(6, 1);
  EXPECT_TRUE(Near(peck.value, {1, 0, -5}) && peck.r == 2.0 && peck.q == 1.0 && peck.feed == 80.0);
  EXPECT_EQ(one(8, 1).p, 300.0);
  EXPECT_EQ(one(10, 1).k, 3.0);
  EXPECT_EQ(Cell(1, 3, 0), 1.5);
  EXPECT_EQ(one(12, 17).position.x, 5.0);
}

// The modal codes report the kinds of their groups (G43 19, G90 20, G41 21,
// G51 22, G68 23, G51.1 24, G17 26, G16 27, G98 29, G21 31, G94 32).
TEST_F(PositionModeTest, ModalCodesReportTheirGroupKinds) {
  ParseOnly(u"G43 H1\nG90\nG41 D1\nG51 X0 Y0 P1000\nG68 X0 Y0 R0\nG51.1 X0\nG17\nG16\nG98\nG21\nG94\n");
  const std::vector<Record> records = Simulate();
  const short kinds[] = {19, 20, 21, 22, 23, 24, 26, 27, 29, 31, 32};
  for (int line = 0; line < 11; ++line) {
    bool found = false;
    for (const Record& r : records) found = found || (r.line == line && r.kind == kinds[line]);
    EXPECT_TRUE(found) << "line " << line;
  }
}

// Code_Parsing gives the program its folder, so sub-programs beside the file
// are found, and its file name, which its messages carry.
TEST_F(PositionModeTest, ParsingAFileKnowsItsFolderAndName) {
  WriteProgram("O3100.nc", "G91 G01 X1 F100\nM99\n");
  WriteProgram("part.nc", "G00 X10 Y0 Z0\nM98 P3100\nG02 X50 Y0 R1\n");
  std::u16string path = W(Folder() + "/part.nc");
  double x = 0, y = 0, z = 0;
  Code_Parsing(path.data(), &x, &y, &z);
  PathGroups* paths = Code_CutterPath();
  EXPECT_TRUE(Near(LastPoint(paths, 1), {11, 0, 0})) << "the sub-program ran";
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].program, u"part.nc");
  EXPECT_EQ(Log().messages[0].line, 3);
  EXPECT_EQ(Log().messages[0].text.rfind(u"Arc cannot exist", 0), 0u);
}

}  // namespace
}  // namespace apitest
