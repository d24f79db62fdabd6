// Cutter compensation and canned cycles through the exported interface: the
// cutter radius comes from the offset table (D is a diameter), the drawn
// path from Code_CutterPath and the holes from the simulation's records.
#include <cmath>
#include <string>
#include <vector>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class CompCycleTest : public ApiTest {
 protected:
  // D1 as a diameter in the table's two columns that D sums.
  void SetDiameter(double d) {
    SetCell(0, 1, 2, d);
    SetCell(0, 1, 3, 0.0);
  }
  // The points of a program line's polylines end to end, without repeats.
  void ExpectDrawn(const PathGroups& paths, int line, const std::vector<CPoint3d>& expected) {
    const std::size_t list = static_cast<std::size_t>(line) + 1;  // list 0 is the preamble
    ASSERT_LT(list, paths.size());
    std::vector<CPoint3d> drawn;
    for (const CPathPolyline* p : paths[list])
      for (int k = 0; k < p->PointCount(); ++k)
        if (drawn.empty() || !Near(drawn.back(), p->Point(k))) drawn.push_back(p->Point(k));
    ASSERT_EQ(drawn.size(), expected.size());
    for (std::size_t k = 0; k < drawn.size(); ++k) EXPECT_TRUE(Near(drawn[k], expected[k])) << "point " << k;
  }
};

TEST_F(CompCycleTest, PlungeAndRetractUnderCompensationKeepTheOffset) {
  SetDiameter(10);  // radius 5
  PathGroups* paths = Parse(
      u"G17 G90 G00 X-20 Y-20 Z10\n"
      u"G41 D1 G00 X0 Y0\n"
      u"G01 Z-5 F100\n"
      u"X50\n"
      u"Y50\n"
      u"G00 Z10\n"
      u"G40 X-20 Y-20\n");
  ASSERT_NE(paths, nullptr);
  const double y = 45 - 5 * std::sqrt(2.0);  // where x = 45 meets the cancel's offset y = x - 5 sqrt 2
  const CPoint3d ends[7] = {{-20, -20, 10}, {0, 5, 10}, {0, 5, -5}, {45, 5, -5}, {45, y, -5}, {45, y, 10}, {-20, -20, 10}};
  for (int line = 1; line < 7; ++line) {
    SCOPED_TRACE(line);
    const CPathPolyline* p = OnlyPolyline(paths, line);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->PointCount(), 2);
    EXPECT_TRUE(Near(p->Point(0), ends[line - 1]));
    EXPECT_TRUE(Near(p->Point(1), ends[line]));
  }
}

// Many moves along the tool axis under compensation keep the offset on
// each of them; the look-ahead of the start-up passes over them to the next
// move in the plane. Radius 2, cutter on the left: the start-up ends at
// (8, 0), square to the move up X10; that move ends where its offset x = 8
// meets the cancel's offset y = 8. Written in one block, the repeated
// motion code and words (12,000 times too) make one move: the last code of
// the group holds.
TEST_F(CompCycleTest, ABlockOfManyAxialMovesKeepsTheOffsetOnEach) {
  SetDiameter(4);
  const struct {
    bool oneBlock;
    int moves;
  } cases[] = {{true, 1}, {true, 500}, {true, 12000}, {false, 1}, {false, 500}};
  for (const auto& [oneBlock, moves] : cases) {
    SCOPED_TRACE(std::to_string(moves) + (oneBlock ? " in one block" : " lines"));
    std::u16string block;
    for (int i = 0; i < moves; ++i) block += oneBlock ? u"G01 X10 Y0 Z-1 " : u"G01 X10 Y0 Z-1\n";
    if (oneBlock) block += u"\n";
    PathGroups* paths = Parse(u"G17 G90 G00 X0 Y0 Z0\n"
                              u"G41 D1 G01 X10 Y0 F100\n" +
                              block +
                              u"G01 X10 Y10\n"
                              u"G40 G00 X0 Y10\n");
    const int last = oneBlock ? 2 : moves + 1;  // the last axial line
    ASSERT_NE(paths, nullptr);
    ASSERT_GT(paths->size(), static_cast<std::size_t>(last + 3));
    ExpectDrawn(*paths, 1, {{0, 0, 0}, {8, 0, 0}});
    EXPECT_EQ((*paths)[3].size(), 1u);
    ExpectDrawn(*paths, 2, {{8, 0, 0}, {8, 0, -1}});
    if (last > 2) ExpectDrawn(*paths, last, {{8, 0, -1}});
    ExpectDrawn(*paths, last + 1, {{8, 0, -1}, {8, 8, -1}});
    ExpectDrawn(*paths, last + 2, {{8, 8, -1}, {0, 10, -1}});
  }
}

// A contour that runs on in a sub-program: the corners where it enters and
// leaves the sub-program are joined as any corner. O9311 is the step
// "G91 X10 / Y10" and O9312 calls it; the radius is 5, the cutter on the
// left.
TEST_F(CompCycleTest, CornersAtSubProgramCallsAndReturnsJoinTheOffsets) {
  SetDiameter(10);
  struct Case {
    const char* what;
    const char16_t* program;
    std::vector<std::vector<CPoint3d>> lines;  // the points drawn by lines 2 to 6
  };
  const Case cases[] = {
      // Two steps from (0, 10) to (20, 30), then back along y = 30:
      // outside at (0, 10), inside at (10, 10), outside at (10, 20), inside
      // at (20, 20) and at (20, 30), where the second rise has no length
      // left, and inside before the cancel.
      {"M98 L2 at the end of the contour",
       u"G17 G90 G00 X-10 Y-10 Z0\nG41 D1 G01 X0 Y0 F100\nY10\nM98 P9311 L2\nX-10\nG40 Y-10\n",
       {{{-10, -10, 0}, {-5, 0, 0}},
        {{-5, 0, 0}, {-5, 15, 0}},
        {{-5, 15, 0}, {5, 15, 0}, {5, 25, 0}, {15, 25, 0}},
        {{15, 25, 0}, {-5, 25, 0}},
        {{-5, 25, 0}, {-10, -10, 0}}}},
      // One step through a nested call, then on along +X: outside at
      // (10, 20) and before the cancel.
      {"nested M98 in the middle of the contour",
       u"G17 G90 G00 X-10 Y-10 Z0\nG41 D1 G01 X0 Y0 F100\nY10\nM98 P9312\nX30\nG40 Y-10\n",
       {{{-10, -10, 0}, {-5, 0, 0}},
        {{-5, 0, 0}, {-5, 15, 0}},
        {{-5, 15, 0}, {5, 15, 0}, {5, 25, 0}},
        {{5, 25, 0}, {35, 25, 0}},
        {{35, 25, 0}, {30, -10, 0}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Log().messages.clear();
    PathGroups* paths = Parse(c.program);
    ASSERT_NE(paths, nullptr);
    EXPECT_TRUE(Log().messages.empty());
    for (std::size_t i = 0; i < c.lines.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "line " << i + 2);
      ExpectDrawn(*paths, static_cast<int>(i) + 1, c.lines[i]);
    }
  }
}

TEST_F(CompCycleTest, PolarRepeatsDrillAroundThePole) {
  ParseOnly(
      u"G17 G90 G00 X0 Y0 Z20\n"
      u"G16\n"
      u"G99 G81 X50 Y0 Z-5 R2 F100\n"
      u"G91 Y45 K3\n");
  std::vector<Record> feeds;
  for (const Record& r : OfKind(Simulate(), 2))
    if (r.line == 3) feeds.push_back(r);
  const double h = 25 * std::sqrt(2.0);
  const CPoint3d holes[3] = {{h, h, -5}, {0, 50, -5}, {-h, h, -5}};
  ASSERT_EQ(feeds.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Near(feeds[static_cast<std::size_t>(i)].position, holes[i]));
}

// A mirror of one axis of the plane, or a negative scale factor on one,
// draws the pocket mirrored: G41 cuts on the other side of the travel. A
// mirror of both axes turns it half round and keeps the side. The pocket is
// (10, 0) to (40, 30) with a radius 5 cutter on the left: unmirrored, its
// first side runs (10, 5) -> (35, 5) and its second (35, 5) -> (35, 25).
TEST_F(CompCycleTest, MirroredPocketKeepsTheCutterInside) {
  SetDiameter(10);
  struct Row {
    const char16_t* transform;
    CPoint3d from, corner, next;  // the first side, and where the second ends
  };
  const Row rows[] = {
      {u"", {10, 5, 0}, {35, 5, 0}, {35, 25, 0}},
      {u"G51.1 X0", {-10, 5, 0}, {-35, 5, 0}, {-35, 25, 0}},
      {u"G51.1 Y0", {10, -5, 0}, {35, -5, 0}, {35, -25, 0}},
      {u"G51.1 X0 Y0", {-10, -5, 0}, {-35, -5, 0}, {-35, -25, 0}},
      {u"G51 X0 Y0 I-1000 J1000", {-10, 5, 0}, {-35, 5, 0}, {-35, 25, 0}},
      {u"G51 X0 Y0 P-1000", {-10, -5, 0}, {-35, -5, 0}, {-35, -25, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.transform, row.transform + std::char_traits<char16_t>::length(row.transform)));
    Log().messages.clear();
    PathGroups* paths = Parse(u"G17 G90 G00 X0 Y0 Z0\n" + std::u16string(row.transform) +
                              u"\nG01 G41 D1 X10 Y0 F100\nX40\nY30\nX10\nY0\nG40 X0 Y0\n");
    ASSERT_NE(paths, nullptr);
    EXPECT_TRUE(Log().messages.empty());
    ExpectDrawn(*paths, 2, {{0, 0, 0}, row.from});
    ExpectDrawn(*paths, 3, {row.from, row.corner});
    ExpectDrawn(*paths, 4, {row.corner, row.next});
  }
}

// An inside corner whose offsets do not meet is an alarm on the control: a
// block message, and the path ends before the block whose end cannot be
// found. A bore of diameter 30 with a cutter of 16, and a cutter of 40 in a
// circle of 40: the circle's offset never meets the offset of the cancel
// move from the wall to the centre.
TEST_F(CompCycleTest, InsideCornerWhoseOffsetsDoNotMeetStopsWithAMessage) {
  struct Row {
    double diameter;
    const char16_t* program;
    CPoint3d startUp;
  };
  const Row rows[] = {
      {16, u"G17 G90 G00 X0 Y0 Z0\nG01 G41 D1 X15 Y0 F100\nG03 I-15\nG01 G40 X0 Y0\nG00 X50\n", {7, 0, 0}},
      {40, u"G17 G90 G00 X0 Y0 Z0\nG01 G41 D1 X20 Y0 F100\nG03 I-20\nG01 G40 X0 Y0\nG00 X50\n", {0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.diameter);
    SetDiameter(row.diameter);
    Log().messages.clear();
    PathGroups* paths = Parse(row.program);
    ASSERT_NE(paths, nullptr);
    ASSERT_EQ(Log().messages.size(), 1u);
    EXPECT_EQ(Log().messages[0].line, 3);  // the circle
    EXPECT_NE(Log().messages[0].text.find(u"inside corner"), std::u16string::npos);
    ASSERT_EQ(paths->size(), 3u);  // the preamble, the rapid and the start-up
    EXPECT_TRUE(Near(End(paths, 1), row.startUp));
  }
}

// An outside corner at an arc that turns by less than 90 degrees is joined
// where the offsets meet: a line along +X into an R2 arc that turns 60
// degrees to the right (centre (-sqrt 3, -1)), cutter diameter 20 on the
// left. The offset line y = 10 meets the offset circle of radius 12 at
// x = -sqrt 3 + sqrt 23; the arc then runs on that circle to its offset end.
TEST_F(CompCycleTest, ObtuseOutsideCornerAtAnArcMeetsOnTheOffsets) {
  SetDiameter(20);
  const double s3 = std::sqrt(3.0);
  PathGroups* paths = Parse(
      u"G17 G90 G00 X-20 Y-20 Z0\n"
      u"G01 G41 D1 X-10 Y0 F100\n"
      u"X0\n"
      u"G02 X0 Y-2 R2\n"
      u"G01 X-2 Y-5.4641016\n"
      u"G40 X-20 Y-20\n");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Log().messages.empty());
  const CPoint3d corner{-s3 + std::sqrt(23.0), 10, 0};
  ExpectDrawn(*paths, 2, {{-10, 10, 0}, corner});
  const CPathPolyline* arc = OnlyPolyline(paths, 3);
  ASSERT_NE(arc, nullptr);
  EXPECT_TRUE(Near(arc->Point(0), corner));
  for (int k = 0; k < arc->PointCount(); ++k)
    EXPECT_NEAR(std::hypot(arc->Point(k).x + s3, arc->Point(k).y + 1), 12.0, 1e-9) << "point " << k;
  // The arc ends square to its end point (0, -2), along (sqrt 3 / 2, -1/2).
  EXPECT_TRUE(Near(End(paths, 3), {5 * s3, -7, 0}, 1e-6));
}

// Rotation under mirror and scaling: a mirror of one axis of the plane (or
// a negative scale factor) turns the rotation the other way, a mirror of
// both keeps it; a centre programmed while scaling is on is scaled, one
// programmed before it is not. The end of "G01 X10 Y0" or "G01 X20 Y0".
TEST_F(CompCycleTest, MirrorAndScalingTurnAndMoveTheRotation) {
  const double c = 5 * std::sqrt(3.0);
  const struct {
    const char16_t* program;
    CPoint3d end;
  } rows[] = {
      {u"G51.1 Y0\nG68 X0 Y0 R30\nG01 X10 Y0 F100\n", {c, -5, 0}},
      {u"G51.1 X0\nG68 X0 Y0 R30\nG01 X10 Y0 F100\n", {-c, 5, 0}},
      {u"G51.1 X0 Y0\nG68 X0 Y0 R30\nG01 X10 Y0 F100\n", {-c, -5, 0}},
      {u"G51 X0 Y0 I1000 J-1000\nG68 X0 Y0 R30\nG01 X10 Y0 F100\n", {c, -5, 0}},
      {u"G68 X0 Y0 R30\nG51.1 Y0\nG01 X10 Y0 F100\n", {c, -5, 0}},
      // ZX (Z right, X up) and YZ (Y right, Z up): the second axis mirrored.
      {u"G18 G51.1 X0\nG68 Z0 X0 R30\nG01 Z10 X0 F100\n", {-5, 0, c}},
      // A centre off the origin: mirrored with the path; in ZX and YZ the
      // axis off the plane stays where it is.
      {u"G51.1 X0\nG68 X5 Y0 R90\nG01 X10 Y0 F100\n", {-5, 5, 0}},
      {u"G18\nG68 X5 Z0 R90\nG01 X10 Z0 F100\n", {5, 0, -5}},
      {u"G18 G51.1 X0\nG68 X5 Z0 R90\nG01 X10 Z0 F100\n", {-5, 0, -5}},
      {u"G19\nG68 Y5 Z0 R90\nG01 Y10 Z0 F100\n", {0, 5, 5}},
      {u"G19 G51.1 Z0\nG68 Y0 Z0 R30\nG01 Y10 Z0 F100\n", {0, c, -5}},
      {u"G51 X0 Y0 P2000\nG68 X10 Y0 R90\nG01 X20 Y0 F100\n", {20, 20, 0}},
      {u"G68 X10 Y0 R90\nG51 X0 Y0 P2000\nG01 X20 Y0 F100\n", {10, 30, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.program, row.program + std::char_traits<char16_t>::length(row.program)));
    Log().messages.clear();
    PathGroups* paths = Parse(u"G17 G90 G00 X0 Y0 Z0\n" + std::u16string(row.program));
    EXPECT_TRUE(Log().messages.empty());
    EXPECT_TRUE(Near(End(paths, 3), row.end, 1e-9));
  }
}

// An arc by its centre under mirror and rotation draws the mirror image of
// the rotated arc. Without the mirror, turned 90 degrees about (5, 0), the
// quarter circle around (0, 0) from (10, 0) to (0, 10) runs counter-clockwise
// around (5, -5) from (5, 5) to (-5, -5). Mirrored in X (the centre (5, 0)
// with it) it runs clockwise around (-5, -5) from (-5, 5) to (5, -5).
TEST_F(CompCycleTest, ArcUnderMirrorAndRotationKeepsItsCentre) {
  const struct {
    const char16_t* mirror;
    CPoint3d start, end, centre;
  } rows[] = {
      {u"G51.1 X0", {-5, 5, 0}, {5, -5, 0}, {-5, -5, 0}},
      {u"G51.1 X0 Y0", {-5, -5, 0}, {5, 5, 0}, {-5, 5, 0}},
      {u"G51 X0 Y0 I-1000 J1000", {-5, 5, 0}, {5, -5, 0}, {-5, -5, 0}},
      {u"G51.1 X2", {-1, 5, 0}, {9, -5, 0}, {-1, -5, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.mirror, row.mirror + std::char_traits<char16_t>::length(row.mirror)));
    Log().messages.clear();
    PathGroups* paths = Parse(u"G17 G90 G00 X0 Y0 Z0\n" + std::u16string(row.mirror) +
                              u"\nG68 X5 Y0 R90\nG01 X10 Y0 F100\nG03 X0 Y10 I-10 J0\nG69\nG01 Z-1\n");
    EXPECT_TRUE(Log().messages.empty());
    const CPathPolyline* arc = OnlyPolyline(paths, 4);
    ASSERT_NE(arc, nullptr);
    ASSERT_GT(arc->PointCount(), 3);
    EXPECT_TRUE(Near(arc->Point(0), row.start));
    EXPECT_TRUE(Near(End(paths, 4), row.end));
    for (int k = 0; k < arc->PointCount(); ++k) {
      const CPoint3d p = arc->Point(k);
      EXPECT_NEAR(std::hypot(p.x - row.centre.x, p.y - row.centre.y), 10.0, 1e-9) << "point " << k;
    }
    // After G69 the plunge stays where the arc ended.
    EXPECT_TRUE(Near(End(paths, 6), {row.end.x, row.end.y, -1}));
  }
}

// An R arc that ends where it starts is an arc of 0 degrees: no move and no
// message, and the program runs on.
TEST_F(CompCycleTest, RArcThatEndsWhereItStartsMakesNoMove) {
  const struct {
    const char16_t* arc;
    int next;  // the line of "G01 X30"
  } rows[] = {{u"G03 X20 Y0 R20 F100", 2}, {u"G91 G02 X0 Y0 R-5 F100\nG90", 3}};
  for (const auto& [arc, next] : rows) {
    SCOPED_TRACE(std::string(arc, arc + std::char_traits<char16_t>::length(arc)));
    Log().messages.clear();
    PathGroups* paths = Parse(u"G17 G90 G00 X20 Y0 Z0\n" + std::u16string(arc) + u"\nG01 X30\n");
    ASSERT_NE(paths, nullptr);
    EXPECT_TRUE(Log().messages.empty());
    const CPathPolyline* p = OnlyPolyline(paths, 1);
    ASSERT_NE(p, nullptr);
    for (int k = 0; k < p->PointCount(); ++k) EXPECT_TRUE(Near(p->Point(k), {20, 0, 0}));
    EXPECT_TRUE(Near(End(paths, next), {30, 0, 0}));
  }
  // Under compensation it keeps the offset, as a move without motion in the
  // plane: radius 2 on the left, inside at (20, 0), so the cutter stays at
  // (18, 2) and then runs up x = 18.
  SetDiameter(4);
  Log().messages.clear();
  PathGroups* paths = Parse(
      u"G17 G90 G00 X-10 Y-10 Z0\nG01 G41 D1 X0 Y0 F100\nX20\nG03 X20 Y0 R5\nG01 Y20\nG40 X40\n");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Log().messages.empty());
  ExpectDrawn(*paths, 2, {{0, 2, 0}, {18, 2, 0}});
  ExpectDrawn(*paths, 3, {{18, 2, 0}});
  ExpectDrawn(*paths, 4, {{18, 2, 0}, {18, 22, 0}});
}

// G73: every peck ends Q deeper than the one before, the last one at the
// bottom; any Q above 0 pecks; Q0 feeds to the bottom in one move. The feed
// records of the cycle's line (the clearance is 1).
TEST_F(CompCycleTest, HighSpeedPeckEndsEachPeckQDeeper) {
  const struct {
    const char16_t* words;
    std::vector<double> feedEnds;
  } rows[] = {
      {u"Z-10 R2 Q3", {-1, -4, -7, -10}},
      {u"Z-2 R0 Q0.5", {-0.5, -1, -1.5, -2}},
      {u"Z-5 R0 Q0", {-5}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.words, row.words + std::char_traits<char16_t>::length(row.words)));
    Log().messages.clear();
    ParseOnly(u"G17 G90 G00 X0 Y0 Z10\nG99 G73 X5 Y0 " + std::u16string(row.words) + u" F100\nG80\n");
    std::vector<double> ends;
    for (const Record& r : OfKind(Simulate(), 2))
      if (r.line == 1) ends.push_back(r.position.z);
    EXPECT_TRUE(Log().messages.empty());
    ASSERT_EQ(ends.size(), row.feedEnds.size());
    for (std::size_t i = 0; i < ends.size(); ++i) EXPECT_NEAR(ends[i], row.feedEnds[i], 1e-9) << "peck " << i;
  }
}

// A cycle's repeat count is K, or L when the block gives no K. In G91 each
// repeat moves by the increment (from X0 by 10) and drills from the R level
// 10 - 8 = 2 to 2 - 12 = -10; in G90 it drills the same hole again. The X of
// every feed that reaches the bottom.
TEST_F(CompCycleTest, CycleRepeatsByKOrL) {
  const struct {
    const char16_t* program;
    std::vector<double> holes;
  } rows[] = {
      {u"G91 G98 G73 X10 Y0 Z-12 R-8 Q3 F100 L2\n", {10, 20}},
      {u"G91 G99 G81 X10 Y0 Z-12 R-8 F100 L3\n", {10, 20, 30}},
      {u"G91 G81 X10 Y0 Z-12 R-8 F100 K3 L2\n", {10, 20, 30}},
      {u"G91 G81 X10 Y0 Z-12 R-8 F100 L2 K3\n", {10, 20, 30}},
      {u"#2=2\nG91 G99 G83 X10 Y0 Z-12 R-8 Q5 F100 L#2\n", {10, 20}},
      {u"G90 G81 X10 Y0 Z-10 R2 F100 L2\n", {10, 10}},
      {u"G91 G81 X10 Y0 Z-12 R-8 F100\nX5 L2\n", {10, 15, 20}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.program, row.program + std::char_traits<char16_t>::length(row.program)));
    Log().messages.clear();
    ParseOnly(u"G17 G90 G00 X0 Y0 Z10\n" + std::u16string(row.program) + u"G80\n");
    std::vector<double> holes;
    for (const Record& r : OfKind(Simulate(), 2))
      if (std::fabs(r.position.z + 10) < 1e-9) holes.push_back(r.position.x);
    EXPECT_TRUE(Log().messages.empty());
    ASSERT_EQ(holes.size(), row.holes.size());
    for (std::size_t i = 0; i < holes.size(); ++i) EXPECT_NEAR(holes[i], row.holes[i], 1e-9) << "hole " << i;
  }
}

}  // namespace
}  // namespace apitest
