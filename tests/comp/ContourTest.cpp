// Compensated programs through a real parse: a rounded rectangle with G41
// and G42 in each working plane, and the moves that are hard to join:
// changes of height, moves without length, cusps and tangent arcs, full
// circles, impossible arcs. The rectangle's expected path is written in the
// plane's view from the positive end of its normal (h to the right, v up),
// where G03 turns counter-clockwise and G41 keeps the cutter on the left.
#include <cmath>
#include <string>

#include "CompFixture.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet::test {
namespace {

const std::u16string kArcStartOrEnd =
    u"Cutter compensation cannot start or end on an arc: program a line for G41, G42 or G40";

class Contours : public CompTest, public ::testing::WithParamInterface<std::tuple<int, int>> {
 protected:
  int plane() const { return std::get<0>(GetParam()); }
  std::u16string W(char16_t letter, int n) const { return letter + plat::FormatIntW(n); }
  std::u16string HV(int h, int v) const { return W(kPlanes[plane()].h, h) + u" " + W(kPlanes[plane()].v, v); }
  CPoint3d Machine(double h, double v) const {
    return plane() == 1 ? CPoint3d(v, 0, h) : plane() == 2 ? CPoint3d(0, h, v) : CPoint3d(h, v, 0);
  }
  // A straight line between the given view points.
  void ExpectStraight(int line, std::size_t style, std::pair<double, double> a, std::pair<double, double> b) {
    SCOPED_TRACE(testing::Message() << "line " << line);
    CPathStyle drawn;
    const auto pts = PointsOfLine(line, &drawn);
    ASSERT_EQ(pts.size(), 2u);
    EXPECT_EQ(drawn.pattern, Lib().styles[style].pattern);  // rapids are stippled, compensated moves solid
    ExpectPoint(pts[0], Machine(a.first, a.second));
    ExpectPoint(pts[1], Machine(b.first, b.second));
  }
  // A quarter arc counter-clockwise in the view around (ch, cv) with radius
  // rr from angle a0 (degrees): 5-degree points, the end-angle point and the
  // end; one report for each odd point (5, 15, ... 85 degrees and the end).
  void ExpectQuarter(int line, double ch, double cv, double rr, double a0) {
    SCOPED_TRACE(testing::Message() << "arc line " << line);
    const auto pts = PointsOfLine(line);
    ASSERT_EQ(pts.size(), 21u);
    for (int i = 0; i <= 20; ++i) {
      const double a = (a0 + 5.0 * std::min(i, 18)) * kPi / 180.0;
      ExpectPoint(pts[i], Machine(ch + rr * std::cos(a), cv + rr * std::sin(a)));
    }
    const auto reports = g_reports[line];
    ASSERT_EQ(reports.size(), 10u);
    for (std::size_t k = 0; k < reports.size(); ++k) ExpectPoint(reports[k], pts[2 * k + 1]);
  }
};

TEST_P(Contours, RoundedRectangle) {
  const Plane& p = kPlanes[plane()];
  auto arc = [&](int h, int v, int ch, int cv) { return u"G03 " + HV(h, v) + u" " + W(p.hc, ch) + u" " + W(p.vc, cv) + u"\n"; };
  const bool left = std::get<1>(GetParam()) == 41;
  Run(std::u16string(p.code) + u" G90 G00 " + HV(20, -10) + u"\n" + (left ? u"G41" : u"G42") + u" G01 " +
      HV(20, 0) + u" D1 F100\n" + W(p.h, 35) + u"\n" + arc(40, 5, 0, 5) + u"G01 " + W(p.v, 15) + u"\n" +
      arc(35, 20, -5, 0) + u"G01 " + W(p.h, 5) + u"\n" + arc(0, 15, 0, -5) + u"G01 " + W(p.v, 5) + u"\n" +
      arc(5, 0, 5, 0) + u"G01 " + W(p.h, 20) + u"\n" + u"G40 G01 " + HV(20, -10) + u"\n");
  ASSERT_TRUE(Messages().empty());
  const double o = left ? 2 : -2;  // the offset towards the inside
  const double rr = 5 - o;
  ExpectStraight(1, kStyleRapid, {20, -10}, {20, o});
  ExpectStraight(2, kStyleCompensation, {20, o}, {35, o});
  ExpectQuarter(3, 35, 5, rr, -90);
  ExpectStraight(4, kStyleCompensation, {40 - o, 5}, {40 - o, 15});
  ExpectQuarter(5, 35, 15, rr, 0);
  ExpectStraight(6, kStyleCompensation, {35, 20 - o}, {5, 20 - o});
  ExpectQuarter(7, 5, 15, rr, 90);
  ExpectStraight(8, kStyleCompensation, {o, 15}, {o, 5});
  ExpectQuarter(9, 5, 5, rr, 180);
  ExpectStraight(10, kStyleCompensation, {5, o}, {20 + o, o});  // into the exit line's offset x = 20 + o
  ExpectStraight(11, kStyleRapid, {20 + o, o}, {20, -10});
}

INSTANTIATE_TEST_SUITE_P(PlanesAndSides, Contours, ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Values(41, 42)),
                         [](const auto& info) {
                           return "G" + std::to_string(17 + std::get<0>(info.param)) + "_G" +
                                  std::to_string(std::get<1>(info.param));
                         });

// Checks that the drawn points of a line are `expected`, in order.
void ExpectPoints(const std::vector<CPoint3d>& drawn, const std::vector<CPoint3d>& expected) {
  ASSERT_EQ(drawn.size(), expected.size());
  for (std::size_t i = 0; i < drawn.size(); ++i) ExpectPoint(drawn[i], expected[i]);
}

TEST_F(CompTest, PlungeAndRetractKeepTheOffsetOfTheNextMoveInThePlane) {
  Run(u"G17 G90 G00 X-20 Y-20 Z10\n"
      u"G41 D1 G00 X0 Y0\n"
      u"G01 Z-5 F100\n"
      u"X50\n"
      u"Y50\n"
      u"G00 Z10\n"
      u"G40 X-20 Y-20\n",
      5.0);
  ASSERT_TRUE(Messages().empty());
  // Start-up square to X50 past the plunge; the Y side ends on the cancel
  // move's offset y = x - 5 sqrt 2, where the retract goes up.
  const double y = 45 - 5 * std::sqrt(2.0);
  ExpectPoints(PointsOfLine(1), {{-20, -20, 10}, {0, 5, 10}});
  ExpectPoints(PointsOfLine(2), {{0, 5, 10}, {0, 5, -5}});
  ExpectPoints(PointsOfLine(3), {{0, 5, -5}, {45, 5, -5}});
  ExpectPoints(PointsOfLine(4), {{45, 5, -5}, {45, y, -5}});
  ExpectPoints(PointsOfLine(5), {{45, y, -5}, {45, y, 10}});
  ExpectPoints(PointsOfLine(6), {{45, y, 10}, {-20, -20, 10}});
  EXPECT_EQ(g_reports[5].size(), 1u);
  ExpectPoint(g_reports[5].at(0), 45, y, 10);
}

TEST_F(CompTest, MovesThatLeaveThePlaneInTheContourArePassedOver) {
  Run(u"G17 G90 G00 X0 Y0 Z0\n"
      u"G41 G01 X10 D1 F100\n"
      u"X20\n"
      u"Z-3\n"
      u"Z-4\n"
      u"Y10\n");
  ASSERT_TRUE(Messages().empty());
  // The corner at (20, 0) is inside: (18, 2); the two steps down stay there;
  // the last move ends at its own offset end.
  ExpectPoints(PointsOfLine(2), {{10, 2, 0}, {18, 2, 0}});
  ExpectPoints(PointsOfLine(3), {{18, 2, 0}, {18, 2, -3}});
  ExpectPoints(PointsOfLine(4), {{18, 2, -3}, {18, 2, -4}});
  ExpectPoints(PointsOfLine(5), {{18, 2, -4}, {18, 10, -4}});
}

TEST_F(CompTest, TheLastMoveWithoutCancelEndsAtItsOffsetEnd) {
  Run(u"G17 G90 G00 X0 Y-10\n"
      u"G41 G01 X0 Y0 D1 F100\n"
      u"X20\n"
      u"Y20\n"
      u"M30\n",
      4.0);
  ASSERT_TRUE(Messages().empty());
  ExpectPoints(PointsOfLine(2), {{0, 4, 0}, {16, 4, 0}});
  ExpectPoints(PointsOfLine(3), {{16, 4, 0}, {16, 20, 0}});
  EXPECT_EQ(g_reports[3], std::vector<CPoint3d>{CPoint3d(16, 20, 0)});
}

TEST_F(CompTest, ALastArcWithoutCancelEndsAtItsOffsetEnd) {
  Run(u"G17 G90 G00 X0 Y-10\n"
      u"G41 G01 X0 Y0 D1 F100\n"
      u"X10\n"
      u"G03 X20 Y10 I0 J10\n");
  ASSERT_TRUE(Messages().empty());
  const auto arc = PointsOfLine(3);
  ASSERT_GE(arc.size(), 3u);
  ExpectPoint(arc.front(), 10, 2, 0);
  ExpectPoint(arc.back(), 18, 10, 0);
  for (const CPoint3d& p : arc) EXPECT_NEAR(std::hypot(p.x - 10, p.y - 10), 8, 1e-9);
}

TEST_F(CompTest, OffsetsThatDoNotMeetAreJoinedOutsideTheCorner) {
  Run(u"G17 G90 G00 X10 Y-10\n"
      u"G42 G01 X10 Y0 D1 F100\n"
      u"X30\n"
      u"G02 X40 Y0 R5\n"
      u"G01 X60\n"
      u"G40 X60 Y-10\n",
      3.0);
  ASSERT_TRUE(Messages().empty());
  ExpectPoints(PointsOfLine(2), {{10, -3, 0}, {30, -3, 0}, {33, -3, 0}, {33, 0, 0}});
  const auto arc = PointsOfLine(3);
  // Radius 2 round (35, 0) in 5-degree steps from 180 degrees, clockwise:
  // 37 points, the end-angle point, then the end and the two joins.
  ASSERT_EQ(arc.size(), 41u);
  for (std::size_t i = 0; i < 37; ++i) {
    const double a = (180.0 - 5.0 * static_cast<double>(i)) * kPi / 180.0;
    ExpectPoint(arc[i], 35 + 2 * std::cos(a), 2 * std::sin(a), 0);
  }
  ExpectPoint(arc[18], 35, 2, 0);
  ExpectPoints({arc.end() - 3, arc.end()}, {{37, 0, 0}, {37, -3, 0}, {40, -3, 0}});
  ExpectPoints(PointsOfLine(4), {{40, -3, 0}, {57, -3, 0}});
}

TEST_F(CompTest, ACuspBetweenTwoArcsIsPassedBelowItsPoint) {
  const std::u16string arcs = u" G01 X0 Y0 D1 F100\nG02 X10 Y0 I5 J0\nG02 X20 Y0 I5 J0\nG40 G01 X20 Y-10\n";
  Run(u"G17 G90 G00 X0 Y-10\nG42" + arcs);
  ASSERT_TRUE(Messages().empty());
  // Radius 3 inside both half circles; the cusp at (10, 0) points down.
  const auto first = PointsOfLine(2);
  ASSERT_GE(first.size(), 4u);
  ExpectPoints({first.end() - 4, first.end()}, {{8, 0, 0}, {8, -2, 0}, {12, -2, 0}, {12, 0, 0}});
  const auto second = PointsOfLine(3);
  ASSERT_GE(second.size(), 3u);
  ExpectPoint(second.front(), 12, 0, 0);
  for (std::size_t i = 0; i + 2 < second.size(); ++i) EXPECT_NEAR(std::hypot(second[i].x - 15, second[i].y), 3, 1e-9);
  // The other side: the offsets (radius 7) meet above the cusp.
  Run(u"G17 G90 G00 X0 Y-10\nG41" + arcs);
  ExpectPoint(PointsOfLine(2).back(), 10, std::sqrt(24.0), 0);
  ExpectPoint(PointsOfLine(3).front(), 10, std::sqrt(24.0), 0);
}

TEST_F(CompTest, RadiusZeroDrawsTheProgrammedPath) {
  // Centres rounded by 0.003: the arcs' ends lie off the start's radius.
  const std::u16string contour =
      u"G03 X20 Y10 I0 J10.003\n"
      u"G01 Y20\n"
      u"G02 X30 Y30 I10.003 J0\n"
      u"G01 X40 Z-1\n"
      u"G03 X50 Y40 Z-2 I0 J10\n";
  Run(u"G17 G90 G00 X0 Y0\nG01 X10 Y0 F100\n" + contour + u"G01 X60 Y0\n", 0.0);
  std::vector<std::vector<CPoint3d>> plain;
  for (int line = 2; line <= 6; ++line) plain.push_back(PointsOfLine(line));
  Run(u"G17 G90 G00 X0 Y0\nG41 G01 X10 Y0 D1 F100\n" + contour + u"G40 G01 X60 Y0\n", 0.0);
  ASSERT_TRUE(Messages().empty());
  for (int line = 2; line <= 6; ++line) {
    SCOPED_TRACE(testing::Message() << "line " << line);
    const auto drawn = PointsOfLine(line);
    const auto& expected = plain[static_cast<std::size_t>(line - 2)];
    ASSERT_EQ(drawn.size(), expected.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
      EXPECT_NEAR(drawn[i].x, expected[i].x, 1e-6);
      EXPECT_NEAR(drawn[i].y, expected[i].y, 1e-6);
      EXPECT_NEAR(drawn[i].z, expected[i].z, 1e-6);
    }
  }
  ExpectPoint(PointsOfLine(2).back(), 20, 10, 0);
  ExpectPoint(PointsOfLine(4).back(), 30, 30, 0);
}

TEST_F(CompTest, ACutterLargerThanAnInsideArcGivesAMessage) {
  const std::u16string contour = u" G01 X0 Y0 D1 F100\nX20\nG03 X22 Y2 R2\nG01 Y10\nG40 X0 Y20\n";
  Run(u"G17 G90 G00 X0 Y-10\nG41" + contour, 3.0);
  ASSERT_EQ(Messages(), std::vector<std::u16string>{u"Cutter radius is larger than the radius of the arc it cuts inside"});
  ASSERT_NE(BlockOfLine(3), nullptr);
  EXPECT_FALSE(BlockOfLine(3)->GetMessages().empty());
  // The drawing stops before the arc; the line before it ends where it
  // meets no reversed circle: at its own offset end.
  EXPECT_EQ(ListOfLine(*m_paths, 3), nullptr);
  ExpectPoints(PointsOfLine(2), {{0, 3, 0}, {20, 3, 0}});
  // The same arc on its outside is cut.
  Run(u"G17 G90 G00 X0 Y-10\nG42" + contour, 3.0);
  EXPECT_TRUE(Messages().empty());
}

// The control refuses to start or cancel compensation on an arc and stops
// there: the message goes to that block, and the path ends before it.
TEST_F(CompTest, StartOnAnArcStopsWithAMessage) {
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G01 X10 Y0 F100\n"
      u"G41 G03 X20 Y10 I0 J10 D1\n"
      u"G01 Y20\n"
      u"G40 X0 Y30\n");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{kArcStartOrEnd});
  EXPECT_NE(ListOfLine(*m_paths, 1), nullptr);
  EXPECT_EQ(ListOfLine(*m_paths, 2), nullptr);
  EXPECT_EQ(ListOfLine(*m_paths, 3), nullptr);
}

TEST_F(CompTest, OnlyAStartOrACancelOnAnArcGivesAMessage) {
  const struct {
    const char16_t* program;
    std::size_t messages;
  } cases[] = {
      // Cancelled on an arc.
      {u"G17 G90 G00 X0 Y0\nG41 G01 X10 Y0 D1 F100\nY10\nG40 G02 X20 Y20 R10\n", 1},
      // Started on an arc after a line that only names the side.
      {u"G17 G90 G00 X0 Y0\nG41 D1\nG02 X10 Y10 R10 F100\nG01 Y20\nG40 X0\n", 1},
      // Started after a plunge, arcs inside the contour, cancelled on a line.
      {u"G17 G90 G00 X0 Y0 Z5\nG41 G01 X10 Y0 D1 F100\nZ-2\nG03 X20 Y10 R10\nG02 X30 Y20 R10\nG40 G01 X40\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(plat::WideToUtf8(c.program));
    Run(c.program);
    const auto messages = Messages();
    EXPECT_EQ(messages.size(), c.messages);
    for (const auto& m : messages) EXPECT_EQ(m, kArcStartOrEnd);
  }
}

TEST_F(CompTest, MovesWithoutLengthStayFiniteAndNearTheContour) {
  Run(u"G17 G90 G00 X0 Y0 Z0\n"
      u"G41 G01 X10 Y10 D1 F100\n"
      u"X10 Y10\nX30\nX30\nZ-2\nY20\nY20\nX10\nY10\n"
      u"G40 X0 Y0\n");
  ASSERT_TRUE(Messages().empty());
  // The contour spans 0..30 by 0..20; the cutter adds 2 on either side.
  ExpectPathWithin(-6, 36, -6, 26, -2, 0);
}

TEST_F(CompTest, TangentArcsJoinOnTheirOffsets) {
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G41 G01 X10 Y0 D1 F100\n"
      u"X22\n"
      u"Y2\n"
      u"Y10\n"
      u"G02 X32 Y20 R10\n"  // an S-curve: clockwise around (32, 10) ...
      u"G03 X42 Y30 R10\n"  // ... then counter-clockwise around (32, 30)
      u"G01 X60\n"
      u"G40 X70 Y0\n",
      3.0);
  ASSERT_TRUE(Messages().empty());
  // The offsets (13 and 7) touch at (32, 23), where the first arc ends; the
  // second keeps its direction: counter-clockwise, its first step to +x.
  ExpectPoint(PointsOfLine(5).back(), 32, 23, 0);
  const auto second = PointsOfLine(6);
  ASSERT_GE(second.size(), 3u);
  EXPECT_NEAR(std::hypot(second[1].x - 32, second[1].y - 30), 7, 1e-9);
  EXPECT_GT(second[1].x, 32);
}

TEST_F(CompTest, FullCircleKeepsTheCutterInside) {
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G41 G01 X10 Y0 D1 F100\n"
      u"G03 X10 Y0 I10 J0\n"  // full circle around (20, 0), counter-clockwise
      u"G01 Y-10\n"
      u"G40 X0 Y0\n");
  ASSERT_TRUE(Messages().empty());
  // Radially onto the circle of radius 8, round it, then down x = 12. The
  // exit line turns by 135 degrees: on by 2 to (12, -12), then to 2 before
  // the exit line's offset start (10 - sqrt 2, -10 - sqrt 2), and there.
  ExpectPoint(PointsOfLine(1).back(), 12, 0, 0);
  const auto circle = PointsOfLine(2);
  ASSERT_EQ(circle.size(), 75u);
  for (const CPoint3d& p : circle) EXPECT_NEAR(std::hypot(p.x - 20, p.y), 8, 1e-9);
  EXPECT_LT(circle[18].y, 0);  // a quarter on, counter-clockwise: below the centre
  const double s2 = std::sqrt(2.0);
  const auto side = PointsOfLine(3);
  ASSERT_EQ(side.size(), 5u);
  ExpectPoint(side[0], 12, 0, 0);
  ExpectPoint(side[1], 12, -10, 0);
  ExpectPoint(side[2], 12, -12, 0);
  ExpectPoint(side[3], 10, -10 - 2 * s2, 0);
  ExpectPoint(side[4], 10 - s2, -10 - s2, 0);
}

TEST_F(CompTest, ImpossibleArcGivesAMessageAndASoundPath) {
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G41 G01 X10 Y0 D1 F100\n"
      u"X20\n"
      u"G02 X40 Y0 R4\n"
      u"G01 X50\n"
      u"G40 X60 Y-10\n");
  EXPECT_EQ(Messages().size(), 1u);
  ExpectPathWithin(-10, 70, -20, 10, 0, 0);
}

}  // namespace
}  // namespace quillet::test
