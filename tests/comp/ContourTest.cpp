// Compensated programs through a real parse: a rounded rectangle with G41
// and G42 in each working plane, and the moves that are hard to join:
// changes of height, moves without length, small and tangent arcs, full
// circles, impossible arcs. The rectangle's expected path is written in the
// plane's view from the positive end of its normal (h to the right, v up),
// where G03 turns counter-clockwise and G41 keeps the cutter on the left.
#include <cmath>
#include <map>
#include <string>

#include "ProgramFixture.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"

namespace quillet::test {
namespace {

// The positions of the motion reports (kinds 1 to 4) of each line.
std::map<int, std::vector<CPoint3d>> g_reports;

int CollectMotion(int* line, short* kind, double*, double*, double*, double* x, double* y, double* z, double*,
                  double*, double*, double*, double*, double*, double*) {
  if (*kind >= 1 && *kind <= 4) g_reports[*line].push_back({*x, *y, *z});
  return 1;
}

class CompTest : public ProgramTest {
 protected:
  // Parses with the cutter radius for D1 (columns 2 and 3 are summed and
  // halved), builds the path and runs the simulation.
  void Run(const std::u16string& text, double radius = 2.0) {
    SetToolOffset(1, 2, 1.5 * radius);
    SetToolOffset(1, 3, 0.5 * radius);
    Parse(text);
    m_paths = m_program->GetCutterPath(false);
    g_reports.clear();
    Lib().command = &CollectMotion;
    m_program->AutoRun();
  }
  // The points of the one polyline drawn for a line.
  std::vector<CPoint3d> PointsOfLine(int line, CPathStyle* style = nullptr) const {
    const CPathList* list = ListOfLine(*m_paths, line);
    EXPECT_TRUE(list && list->size() == 1) << "line " << line;
    if (!list || list->size() != 1) return {};
    if (style) *style = (*list)[0]->m_style;
    return {(*list)[0]->begin(), (*list)[0]->end()};
  }
  // Every drawn point is finite and inside the box.
  void ExpectPathWithin(double x0, double x1, double y0, double y1, double z0, double z1) const {
    for (const CPathList& list : *m_paths)
      for (const CPathPolyline* p : list)
        for (const CPoint3d& q : *p)
          ASSERT_TRUE(q.x >= x0 && q.x <= x1 && q.y >= y0 && q.y <= y1 && q.z >= z0 && q.z <= z1)
              << q.x << ", " << q.y << ", " << q.z;
  }
  PathGroups* m_paths = nullptr;
};

// The code, the axis letters right and up, and their centre letters.
struct Plane { const char16_t* code; char16_t h, v, hc, vc; };
const Plane kPlanes[] = {{u"G17", u'X', u'Y', u'I', u'J'}, {u"G18", u'Z', u'X', u'K', u'I'}, {u"G19", u'Y', u'Z', u'J', u'K'}};

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

TEST_F(CompTest, AHeightChangeLeavesTheCornerAndTheLastMoveEndsThere) {
  Run(u"G17 G90 G00 X0 Y0 Z0\n"
      u"G41 G01 X10 D1 F100\n"
      u"X20\n"
      u"Y10 Z-3\n");
  ASSERT_TRUE(Messages().empty());
  // The next move changes height: no corner, the line ends at its
  // programmed end; with no motion after it, the last move goes down there.
  ExpectPoint(PointsOfLine(2).back(), 20, 0, 0);
  EXPECT_EQ(PointsOfLine(3), (std::vector<CPoint3d>{{20, 0, 0}, {20, 0, -3}}));
  EXPECT_EQ(g_reports[3], std::vector<CPoint3d>{CPoint3d(20, 0, -3)});
}

TEST_F(CompTest, StartOnAnArcDrawsARapidToItsOffset) {
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G01 X10 Y0 F100\n"
      u"G41 G03 X20 Y10 I0 J10 D1\n"
      u"G01 Y20\n"
      u"G40 X0 Y30\n");
  ASSERT_TRUE(Messages().empty());
  // y = 0 does not reach the inside offset (radius 8 around (10, 10)): the
  // entry ends at the arc's offset start, from where the move before started.
  CPathStyle style;
  EXPECT_EQ(PointsOfLine(2, &style), (std::vector<CPoint3d>{{0, 0, 0}, {10, 2, 0}}));
  EXPECT_EQ(style.pattern, Lib().styles[kStyleRapid].pattern);
  EXPECT_EQ(g_reports[2], std::vector<CPoint3d>{CPoint3d(10, 2, 0)});
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

TEST_F(CompTest, SmallAndTangentArcsJoinOnTheirOffsets) {
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G41 G01 X10 Y0 D1 F100\n"
      u"X20\n"
      u"G03 X22 Y2 R2\n"    // radius 2 with the cutter of 3 inside it
      u"G01 Y10\n"
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
  // Radially onto the circle of radius 8, round it, then down x = 12 to the
  // exit line's offset x + y = -2 sqrt 2.
  ExpectPoint(PointsOfLine(1).back(), 12, 0, 0);
  const auto circle = PointsOfLine(2);
  ASSERT_EQ(circle.size(), 75u);
  for (const CPoint3d& p : circle) EXPECT_NEAR(std::hypot(p.x - 20, p.y), 8, 1e-9);
  EXPECT_LT(circle[18].y, 0);  // a quarter on, counter-clockwise: below the centre
  ExpectPoint(PointsOfLine(3).back(), 12, -12 - 2 * std::sqrt(2.0), 0);
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
