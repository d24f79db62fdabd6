// Whole compensated contours through a real parse: a rectangle and a
// rectangle with rounded corners, with G41 and G42, in each working plane.
// The expected paths are written in the coordinates of the plane as seen
// from the positive end of its normal (h to the right, v up), where G03
// turns counter-clockwise and G41 keeps the cutter on the left; they are
// mapped to machine axes per plane.
#include <cmath>
#include <string>

#include "CompFixture.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet::test {
namespace {

struct Plane {
  const char16_t* code;
  char16_t h, v;    // axis letters, right and up
  char16_t hc, vc;  // centre letters of those axes
};

const Plane kPlanes[] = {
    {u"G17", u'X', u'Y', u'I', u'J'},  // seen from +Z: X right, Y up
    {u"G18", u'Z', u'X', u'K', u'I'},  // seen from +Y: Z right, X up
    {u"G19", u'Y', u'Z', u'J', u'K'},  // seen from +X: Y right, Z up
};

// A point of the view in machine axes.
CPoint3d Machine(int plane, double h, double v) {
  switch (plane) {
    case 1: return {v, 0, h};
    case 2: return {0, h, v};
    default: return {h, v, 0};
  }
}

std::u16string Num(int n) {
  std::u16string s;
  if (n < 0) s += u'-';
  unsigned u = static_cast<unsigned>(n < 0 ? -n : n);
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + u % 10));
    u /= 10;
  } while (u);
  return s + digits;
}

std::u16string W(char16_t letter, int n) { return std::u16string(1, letter) + Num(n); }

class Contours : public CompTest, public ::testing::WithParamInterface<std::tuple<int, int>> {
 protected:
  int plane() const { return std::get<0>(GetParam()); }
  // 1 for G41, which keeps the cutter inside these counter-clockwise
  // contours; -1 for G42, outside.
  double s() const { return std::get<1>(GetParam()) == 41 ? 1.0 : -1.0; }
  std::u16string G4x() const { return std::get<1>(GetParam()) == 41 ? u"G41" : u"G42"; }
  const Plane& P() const { return kPlanes[plane()]; }
  std::u16string HV(int h, int v) const { return W(P().h, h) + u" " + W(P().v, v); }

  // The one polyline of `line` with its style and points (h, v in the view).
  void ExpectStraight(int line, std::size_t style, std::initializer_list<std::pair<double, double>> pts) {
    SCOPED_TRACE(testing::Message() << "line " << line);
    auto polys = PathOfLine(line);
    ASSERT_EQ(polys.size(), 1u);
    EXPECT_TRUE(SameStyle(polys[0]->m_style, Lib().styles[style]));
    ASSERT_EQ(static_cast<std::size_t>(polys[0]->PointCount()), pts.size());
    std::size_t i = 0;
    for (const auto& [h, v] : pts) ExpectPoint(polys[0]->Point(static_cast<std::int32_t>(i++)), Machine(plane(), h, v));
  }

  // A compensated quarter arc, counter-clockwise in the view around (ch, cv)
  // with radius rr, from angle a0 (degrees): the 5-degree points, the
  // end-angle point and the end point.
  void ExpectQuarter(int line, double ch, double cv, double rr, double a0) {
    SCOPED_TRACE(testing::Message() << "arc line " << line);
    auto polys = PathOfLine(line);
    ASSERT_EQ(polys.size(), 1u);
    const CPathPolyline& p = *polys[0];
    EXPECT_TRUE(SameStyle(p.m_style, Lib().styles[kStyleCompensation]));
    ASSERT_EQ(p.PointCount(), 21);
    for (int i = 0; i <= 20; ++i) {
      const double a = (a0 + 5.0 * std::min(i, 18)) * kPi / 180.0;
      ExpectPoint(p.Point(i), Machine(plane(), ch + rr * std::cos(a), cv + rr * std::sin(a)));
    }
    // One report for each odd point: 5, 15, ... 85 degrees and the end.
    auto reports = ReportsOfLine(line);
    ASSERT_EQ(reports.size(), 10u);
    for (std::size_t k = 0; k < reports.size(); ++k) ExpectPoint(reports[k].position, p.Point(2 * k + 1));
  }
};

TEST_P(Contours, Rectangle) {
  SetCutterRadius(1, 2.0);
  Run(std::u16string(P().code) + u" G90 G00 " + HV(0, 0) + u"\n" +  //
      G4x() + u" G01 " + HV(10, 10) + u" D1 F100\n" +                 //
      W(P().h, 30) + u"\n" +                                           //
      W(P().v, 20) + u"\n" +                                           //
      W(P().h, 10) + u"\n" +                                           //
      W(P().v, 10) + u"\n" +                                           //
      u"G40 G01 " + HV(0, 0) + u"\n");
  ASSERT_TRUE(Messages().empty());
  const double o = 2 * s();  // the offset towards the inside
  // The exit corner: x = 10 + o meets the line to the origin, offset by o
  // to its left (y = x - o sqrt 2).
  const double exitV = 10 + o - o * std::sqrt(2.0);
  ExpectStraight(1, kStyleRapid, {{0, 0}, {10, 10 + o}});
  ExpectStraight(2, kStyleCompensation, {{10, 10 + o}, {30 - o, 10 + o}});
  ExpectStraight(3, kStyleCompensation, {{30 - o, 10 + o}, {30 - o, 20 - o}});
  ExpectStraight(4, kStyleCompensation, {{30 - o, 20 - o}, {10 + o, 20 - o}});
  ExpectStraight(5, kStyleCompensation, {{10 + o, 20 - o}, {10 + o, exitV}});
  ExpectStraight(6, kStyleRapid, {{10 + o, exitV}, {0, 0}});
  // Each move reports once, at the end of its drawn path.
  const std::pair<double, double> ends[] = {{10, 10 + o},     {30 - o, 10 + o}, {30 - o, 20 - o},
                                            {10 + o, 20 - o}, {10 + o, exitV},  {0, 0}};
  for (int line = 1; line <= 6; ++line) {
    auto r = ReportsOfLine(line);
    ASSERT_EQ(r.size(), 1u) << line;
    EXPECT_EQ(r[0].kind, 2);
    ExpectPoint(r[0].position, Machine(plane(), ends[line - 1].first, ends[line - 1].second));
  }
}

TEST_P(Contours, RoundedRectangle) {
  SetCutterRadius(1, 2.0);
  const Plane& p = P();
  auto arc = [&](int h, int v, int ch, int cv) {
    return u"G03 " + HV(h, v) + u" " + W(p.hc, ch) + u" " + W(p.vc, cv) + u"\n";
  };
  Run(std::u16string(p.code) + u" G90 G00 " + HV(20, -10) + u"\n" +  //
      G4x() + u" G01 " + HV(20, 0) + u" D1 F100\n" +                   //
      W(p.h, 35) + u"\n" + arc(40, 5, 0, 5) +                          //
      u"G01 " + W(p.v, 15) + u"\n" + arc(35, 20, -5, 0) +              //
      u"G01 " + W(p.h, 5) + u"\n" + arc(0, 15, 0, -5) +                //
      u"G01 " + W(p.v, 5) + u"\n" + arc(5, 0, 5, 0) +                  //
      u"G01 " + W(p.h, 20) + u"\n" +                                   //
      u"G40 G01 " + HV(20, -10) + u"\n");
  ASSERT_TRUE(Messages().empty());
  const double o = 2 * s();
  const double rr = 5 - o;
  ExpectStraight(1, kStyleRapid, {{20, -10}, {20, o}});
  ExpectStraight(2, kStyleCompensation, {{20, o}, {35, o}});
  ExpectQuarter(3, 35, 5, rr, -90);
  ExpectStraight(4, kStyleCompensation, {{40 - o, 5}, {40 - o, 15}});
  ExpectQuarter(5, 35, 15, rr, 0);
  ExpectStraight(6, kStyleCompensation, {{35, 20 - o}, {5, 20 - o}});
  ExpectQuarter(7, 5, 15, rr, 90);
  ExpectStraight(8, kStyleCompensation, {{o, 15}, {o, 5}});
  ExpectQuarter(9, 5, 5, rr, 180);
  // Into the exit line's offset: x = 20 + o.
  ExpectStraight(10, kStyleCompensation, {{5, o}, {20 + o, o}});
  ExpectStraight(11, kStyleRapid, {{20 + o, o}, {20, -10}});
}

std::string ContourName(const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
  static const char* const names[] = {"G17", "G18", "G19"};
  return std::string(names[std::get<0>(info.param)]) + "_G" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(PlanesAndSides, Contours,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Values(41, 42)), ContourName);

using Compensated = CompTest;

TEST_F(Compensated, LastMoveEndsAtThePreviousCornerAtItsOwnHeight) {
  SetCutterRadius(1, 2.0);
  Run(u"G17 G90 G00 X0 Y0 Z0\n"
      u"G41 G01 X10 D1 F100\n"
      u"X20\n"
      u"Y10 Z-3\n");
  ASSERT_TRUE(Messages().empty());
  // Entry to the offset start of the next line.
  auto entry = PointsOfLine(1);
  ASSERT_EQ(entry.size(), 2u);
  ExpectPoint(entry[1], 10, 2, 0);
  // The next move changes height: no corner is solved, the line ends at
  // its programmed end.
  auto second = PointsOfLine(2);
  ASSERT_EQ(second.size(), 2u);
  ExpectPoint(second[0], 10, 2, 0);
  ExpectPoint(second[1], 20, 0, 0);
  // No motion follows: the previous corner, moved to this line's height.
  auto last = PointsOfLine(3);
  ASSERT_EQ(last.size(), 2u);
  ExpectPoint(last[0], 20, 0, 0);
  ExpectPoint(last[1], 20, 0, -3);
  auto r = ReportsOfLine(3);
  ASSERT_EQ(r.size(), 1u);
  ExpectPoint(r[0].position, 20, 0, -3);
}

TEST_F(Compensated, StartOnAnArcDrawsARapidToItsOffset) {
  SetCutterRadius(1, 2.0);
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G01 X10 Y0 F100\n"
      u"G41 G03 X20 Y10 I0 J10 D1\n"
      u"G01 Y20\n"
      u"G40 X0 Y30\n");
  ASSERT_TRUE(Messages().empty());
  // The approach y = 0 does not reach the inside offset (radius 8 around
  // (10, 10)): the entry ends at the arc's offset start, from where the
  // move before started.
  auto entry = PathOfLine(2);
  ASSERT_EQ(entry.size(), 1u);
  EXPECT_TRUE(SameStyle(entry[0]->m_style, Lib().styles[kStyleRapid]));
  ASSERT_EQ(entry[0]->PointCount(), 2);
  ExpectPoint(entry[0]->Point(0), 0, 0, 0);
  ExpectPoint(entry[0]->Point(1), 10, 2, 0);
  auto r = ReportsOfLine(2);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 4);
  ExpectPoint(r[0].position, 10, 2, 0);
  // The next line starts there.
  ExpectPoint(PointsOfLine(3).front(), 10, 2, 0);
}

TEST_F(Compensated, CompensationOffDrawsPlainMoves) {
  SetCutterRadius(1, 2.0);
  // D1 given, but with G40 nothing is offset and the styles are the plain ones.
  Run(u"G17 G90 G00 X0 Y0\nG40 G01 X10 Y0 D1 F100\nY10\n");
  auto a = PathOfLine(1);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_TRUE(SameStyle(a[0]->m_style, Lib().styles[kStyleFeed]));
  ExpectPoint(a[0]->Point(1), 10, 0, 0);
  auto b = PathOfLine(2);
  ASSERT_EQ(b.size(), 1u);
  ExpectPoint(b[0]->Point(1), 10, 10, 0);
}

TEST_F(Compensated, ZeroRadiusFollowsTheProgrammedContour) {
  // D2 holds no radius: the corners are the programmed points.
  SetCutterRadius(2, 0.0);
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G41 G01 X10 Y0 D2 F100\n"
      u"X30\n"
      u"G02 X40 Y-10 R10\n"
      u"G01 Y-20\n"
      u"G40 X0\n");
  ASSERT_TRUE(Messages().empty());
  ExpectPoint(PointsOfLine(1).back(), 10, 0, 0);
  auto line = PointsOfLine(2);
  ASSERT_EQ(line.size(), 2u);
  ExpectPoint(line[1], 30, 0, 0);
  // The clockwise quarter around (30, -10) keeps its radius and direction.
  auto arc = PointsOfLine(3);
  ASSERT_EQ(arc.size(), 21u);
  ExpectPoint(arc.front(), 30, 0, 0);
  ExpectPoint(arc[9], 30 + 10 * std::sqrt(0.5), -10 + 10 * std::sqrt(0.5), 0);
  ExpectPoint(arc.back(), 40, -10, 0);
  ExpectPoint(PointsOfLine(4).back(), 40, -20, 0);
}

}  // namespace
}  // namespace quillet::test
