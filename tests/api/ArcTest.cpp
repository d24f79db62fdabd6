// Circular moves: direction in the three planes, arcs by R and by I, J, K,
// arcs over 180 degrees, full circles, tiny arcs and arcs that cannot exist.
#include <cmath>
#include <numbers>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class ArcTest : public ApiTest {};

enum Plane { kXY, kZX, kYZ };

// The two in-plane coordinates and the one along the plane's normal.
double U(const CPoint3d& p, Plane pl) { return pl == kYZ ? p.y : p.x; }
double V(const CPoint3d& p, Plane pl) { return pl == kXY ? p.y : p.z; }
double Normal(const CPoint3d& p, Plane pl) { return pl == kXY ? p.z : (pl == kZX ? p.y : p.x); }

// Checks an arc polyline drawn in 5-degree chords: starts at `start`, ends at
// `end`, every point on the circle around `centre`, no chord longer than a
// 5-degree one, flat along the plane's normal, and passing through `through`
// (a point a whole multiple of 5 degrees from the start).
void ExpectArc(const CPathPolyline* p, CPoint3d start, CPoint3d end, CPoint3d centre, double radius, Plane plane,
               CPoint3d through) {
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kArcStyle));
  const int n = p->PointCount();
  ASSERT_GE(n, 3);
  EXPECT_TRUE(Near(p->Point(0), start, 1e-9)) << "first point";
  EXPECT_TRUE(Near(p->Point(n - 1), end, 1e-9)) << "last point";
  const double maxChord = 2 * radius * std::sin(2.5 * std::numbers::pi / 180) + 1e-9;
  bool passes = false;
  for (int i = 0; i < n; ++i) {
    const CPoint3d& q = p->Point(i);
    const double d = std::hypot(U(q, plane) - U(centre, plane), V(q, plane) - V(centre, plane));
    EXPECT_NEAR(d, radius, 1e-6) << "point " << i << " off the circle";
    EXPECT_NEAR(Normal(q, plane), Normal(start, plane), 1e-9) << "point " << i << " leaves the plane";
    if (i > 0) {
      const CPoint3d& o = p->Point(i - 1);
      EXPECT_LE(std::hypot(q.x - o.x, std::hypot(q.y - o.y, q.z - o.z)), maxChord) << "chord before point " << i;
    }
    if (Near(q, through, 1e-6)) passes = true;
  }
  EXPECT_TRUE(passes) << "the arc does not pass through (" << through.x << ", " << through.y << ", " << through.z
                      << ")";
}

// G17: G02 turns clockwise seen from +Z, G03 counter-clockwise. From (0, 0)
// to (10, 0) with R5 both are half circles around (5, 0); the clockwise one
// passes over the top (5, 5), the other under (5, -5).
TEST_F(ArcTest, XYPlaneDirectionsByRadius) {
  PathGroups* paths = ParseProgram("arc_xy_r.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 7u);
  ExpectArc(OnlyPolyline(paths, 1), {0, 0, 0}, {10, 0, 0}, {5, 0, 0}, 5, kXY, {5, 5, 0});
  ExpectArc(OnlyPolyline(paths, 3), {0, 0, 0}, {10, 0, 0}, {5, 0, 0}, 5, kXY, {5, -5, 0});
  // The move after an arc starts at the arc's end.
  const CPathPolyline* p = OnlyPolyline(paths, 2);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(0), {10, 0, 0}, 1e-9));
}

// A helical arc: Z runs from the start's height to the end's and never
// outside them.
TEST_F(ArcTest, HelicalArcKeepsItsHeightsBetweenStartAndEnd) {
  PathGroups* paths = ParseProgram("arc_xy_r.nc");
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 5);  // G02 X10 Y0 Z-5 R5 from (0, 0, 0)
  ASSERT_NE(p, nullptr);
  const int n = p->PointCount();
  ASSERT_GE(n, 3);
  EXPECT_TRUE(Near(p->Point(n - 1), {10, 0, -5}, 1e-9));
  for (int i = 0; i < n; ++i) {
    EXPECT_LE(p->Point(i).z, 1e-9);
    EXPECT_GE(p->Point(i).z, -5 - 1e-9);
    if (i > 0) {
      EXPECT_LE(p->Point(i).z, p->Point(i - 1).z + 1e-9) << "height goes back up at point " << i;
    }
    EXPECT_NEAR(std::hypot(p->Point(i).x - 5, p->Point(i).y), 5, 1e-6);
  }
}

// With both R and I, J the radius decides: R5 clockwise from (0, 0) to (5, 5)
// is the quarter around (5, 0); I0 J5 would put the centre at (0, 5).
TEST_F(ArcTest, RadiusWinsOverCentreWords) {
  PathGroups* paths = ParseProgram("arc_r_wins.nc");
  ASSERT_NE(paths, nullptr);
  const double h = 5 * std::sqrt(0.5);
  ExpectArc(OnlyPolyline(paths, 1), {0, 0, 0}, {5, 5, 0}, {5, 0, 0}, 5, kXY, {5 - h, h, 0});
}

// I, J arc of 270 degrees: counter-clockwise around (0, 0) from (10, 0) to
// (0, -10), through (0, 10) and (-10, 0), drawn along the whole sweep.
TEST_F(ArcTest, CentreArcOver180DegreesIsDrawnWhole) {
  PathGroups* paths = ParseProgram("arc_ijk_270.nc");
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 1);
  ExpectArc(p, {10, 0, 0}, {0, -10, 0}, {0, 0, 0}, 10, kXY, {0, 10, 0});
  ExpectArc(p, {10, 0, 0}, {0, -10, 0}, {0, 0, 0}, 10, kXY, {-10, 0, 0});
  ASSERT_NE(p, nullptr);
  EXPECT_GE(p->PointCount(), 55) << "270 degrees in 5-degree chords";
}

// Start equal to end with I, J: a full circle, clockwise, so it passes
// (0, -10) before (-10, 0) before (0, 10).
TEST_F(ArcTest, FullCircleWhenStartEqualsEnd) {
  PathGroups* paths = ParseProgram("full_circle.nc");
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 1);
  ExpectArc(p, {10, 0, 0}, {10, 0, 0}, {0, 0, 0}, 10, kXY, {-10, 0, 0});
  ASSERT_NE(p, nullptr);
  EXPECT_GE(p->PointCount(), 73);
  int bottom = -1, left = -1, top = -1;
  for (int i = 0; i < p->PointCount(); ++i) {
    if (bottom < 0 && Near(p->Point(i), {0, -10, 0}, 1e-6)) bottom = i;
    if (left < 0 && Near(p->Point(i), {-10, 0, 0}, 1e-6)) left = i;
    if (top < 0 && Near(p->Point(i), {0, 10, 0}, 1e-6)) top = i;
  }
  ASSERT_GE(bottom, 0);
  ASSERT_GE(left, 0);
  ASSERT_GE(top, 0);
  EXPECT_LT(bottom, left);
  EXPECT_LT(left, top);
}

// Arc-fitting output: a chord of 0.002 mm on a radius of 100 mm stays a tiny
// arc (sagitta 5e-9), by R and by I, J; never a full circle.
TEST_F(ArcTest, TinyArcsStayTiny) {
  PathGroups* paths = ParseProgram("tiny_arcs.nc");
  ASSERT_NE(paths, nullptr);
  for (int line : {1, 3}) {
    SCOPED_TRACE(line);
    const CPathPolyline* p = OnlyPolyline(paths, line);
    ASSERT_NE(p, nullptr);
    const int n = p->PointCount();
    ASSERT_GE(n, 2);
    EXPECT_LE(n, 4);
    EXPECT_TRUE(Near(p->Point(0), {0, 0, 0}, 1e-9));
    EXPECT_TRUE(Near(p->Point(n - 1), {0.002, 0, 0}, 1e-9));
    for (int i = 0; i < n; ++i) {
      EXPECT_GE(p->Point(i).x, -1e-7);
      EXPECT_LE(p->Point(i).x, 0.002 + 1e-7);
      EXPECT_LE(std::fabs(p->Point(i).y), 1e-6);
    }
  }
}

// G18: G02 is clockwise seen from +Y. From (0, 0, 0) to X10 with R5 the
// centre is (5, 0, 0); turning clockwise about +Y the tool first goes to -Z,
// so G02 passes (5, 0, -5) and G03 passes (5, 0, 5). The same by I, K.
TEST_F(ArcTest, ZXPlaneDirectionsSeenFromPlusY) {
  PathGroups* paths = ParseProgram("arc_g18.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 7u);
  ExpectArc(OnlyPolyline(paths, 1), {0, 0, 0}, {10, 0, 0}, {5, 0, 0}, 5, kZX, {5, 0, -5});
  ExpectArc(OnlyPolyline(paths, 3), {0, 0, 0}, {10, 0, 0}, {5, 0, 0}, 5, kZX, {5, 0, 5});
  ExpectArc(OnlyPolyline(paths, 5), {0, 0, 0}, {10, 0, 0}, {5, 0, 0}, 5, kZX, {5, 0, -5});
}

// G19: G02 is clockwise seen from +X. From (0, 0, 0) to Y10 around (0, 5, 0)
// the tool first goes to +Z, so G02 passes (0, 5, 5); G03 by J, K passes
// (0, 5, -5).
TEST_F(ArcTest, YZPlaneDirectionsSeenFromPlusX) {
  PathGroups* paths = ParseProgram("arc_g19.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 5u);
  ExpectArc(OnlyPolyline(paths, 1), {0, 0, 0}, {0, 10, 0}, {0, 5, 0}, 5, kYZ, {0, 5, 5});
  ExpectArc(OnlyPolyline(paths, 3), {0, 0, 0}, {0, 10, 0}, {0, 5, 0}, 5, kYZ, {0, 5, -5});
}

// R4 cannot span the chord of 9 from (1, 0) to (10, 0): a block message on
// that line, and the path ends before it.
TEST_F(ArcTest, RadiusTooSmallForChordGivesMessageAndStopsPath) {
  PathGroups* paths = ParseProgram("arc_r_too_small.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 3u) << "preamble and the two lines before the arc";
  ASSERT_EQ(Log().messages.size(), 1u);
  const Message& m = Log().messages[0];
  EXPECT_EQ(m.line, 3);
  EXPECT_EQ(m.sequence, 0);
  EXPECT_EQ(m.program, u"O1234");
  EXPECT_EQ(m.text.rfind(u"Arc cannot exist", 0), 0u) << A(m.text);
}

// I3 J0 from (0, 0) puts the centre 3 from the start and 7 from the end.
TEST_F(ArcTest, CentreNotEquidistantGivesMessage) {
  PathGroups* paths = ParseProgram("arc_ijk_mismatch.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 2u);
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].line, 2);
  EXPECT_EQ(Log().messages[0].text.rfind(u"Arc cannot exist", 0), 0u) << A(Log().messages[0].text);
}

// I5.004: the centre is 5.004 from the start and 4.996 from the end, within
// the 0.01 mm tolerance: drawn, no message.
TEST_F(ArcTest, CentreWithinToleranceIsAccepted) {
  PathGroups* paths = ParseProgram("arc_ijk_tolerance.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Log().messages.empty());
  const CPathPolyline* p = OnlyPolyline(paths, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kArcStyle));
  EXPECT_TRUE(Near(p->Point(0), {0, 0, 0}, 1e-9));
  EXPECT_TRUE(Near(p->Point(p->PointCount() - 1), {10, 0, 0}, 1e-9));
  for (int i = 0; i < p->PointCount(); ++i) EXPECT_GE(p->Point(i).y, -1e-9) << "clockwise: over the top";
}


// A vertical chord: from (0, 0) to (0, 10) with R5 clockwise around (0, 5),
// the tool first goes to -X and passes (-5, 5).
TEST_F(ArcTest, VerticalChord) {
  PathGroups* paths = ParseProgram("arc_vertical_chord.nc");
  ASSERT_NE(paths, nullptr);
  ExpectArc(OnlyPolyline(paths, 1), {0, 0, 0}, {0, 10, 0}, {0, 5, 0}, 5, kXY, {-5, 5, 0});
}

// A negative R asks for the arc over 180 degrees: R-5 clockwise from (0, 0)
// to (5, 5) runs 270 degrees around (0, 5), through (-5, 5) and (0, 10).
TEST_F(ArcTest, NegativeRadiusGivesTheLongArc) {
  PathGroups* paths = ParseProgram("arc_negative_r.nc");
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 1);
  ExpectArc(p, {0, 0, 0}, {5, 5, 0}, {0, 5, 0}, 5, kXY, {-5, 5, 0});
  ExpectArc(p, {0, 0, 0}, {5, 5, 0}, {0, 5, 0}, 5, kXY, {0, 10, 0});
}

// G91: the end is relative to the start, (10, 10) + (10, 0); centre (15, 10).
TEST_F(ArcTest, IncrementalArc) {
  PathGroups* paths = ParseProgram("arc_incremental.nc");
  ASSERT_NE(paths, nullptr);
  ExpectArc(OnlyPolyline(paths, 1), {10, 10, 0}, {20, 10, 0}, {15, 10, 0}, 5, kXY, {15, 15, 0});
  // I, J are relative to the start in either mode.
  ExpectArc(OnlyPolyline(paths, 3), {10, 10, 0}, {20, 10, 0}, {15, 10, 0}, 5, kXY, {15, 5, 0});
}

// Under G54 (100, 50, 0) the whole arc moves with the work offset; I, J stay
// relative to the start.
TEST_F(ArcTest, ArcsUnderAWorkOffset) {
  SetWorkOffset(1, {100, 50, 0});
  PathGroups* paths = ParseProgram("arc_offset.nc");
  ASSERT_NE(paths, nullptr);
  ExpectArc(OnlyPolyline(paths, 1), {100, 50, 0}, {110, 50, 0}, {105, 50, 0}, 5, kXY, {105, 55, 0});
  ExpectArc(OnlyPolyline(paths, 3), {100, 50, 0}, {110, 50, 0}, {105, 50, 0}, 5, kXY, {105, 45, 0});
}

// G20: X, I and R are inches. X1 I0.5 is a half circle of radius 12.7 mm.
TEST_F(ArcTest, InchArcs) {
  PathGroups* paths = ParseProgram("arc_inch.nc");
  ASSERT_NE(paths, nullptr);
  ExpectArc(OnlyPolyline(paths, 2), {0, 0, 0}, {25.4, 0, 0}, {12.7, 0, 0}, 12.7, kXY, {12.7, 12.7, 0});
  ExpectArc(OnlyPolyline(paths, 4), {0, 0, 0}, {25.4, 0, 0}, {12.7, 0, 0}, 12.7, kXY, {12.7, -12.7, 0});
  const std::vector<Record> arcs = Motions(Simulate());
  ASSERT_FALSE(arcs.empty());
  for (const Record& r : arcs) {
    if (r.kind == 3) {
      EXPECT_NEAR(r.feed, 254.0, 1e-9);
    }
  }
}

// R with the end on the start point has no defined circle: no point of the
// path may be NaN, and the program goes on (or stops with a message).
TEST_F(ArcTest, RadiusArcEndingAtItsStartDrawsNoNaN) {
  PathGroups* paths = ParseProgram("arc_r_start_is_end.nc");
  ASSERT_NE(paths, nullptr);
  for (const CPathList& l : *paths)
    for (const CPathPolyline* p : l)
      for (const CPoint3d& q : *p) {
        EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z));
      }
  for (const Record& r : Simulate()) {
    EXPECT_TRUE(std::isfinite(r.position.x) && std::isfinite(r.position.y) && std::isfinite(r.position.z));
  }
  if (Log().messages.empty()) {
    EXPECT_EQ(paths->size(), 5u) << "without a message every line is drawn";
  }
}


// On plane ZX, words written before G02 wait in the queue and reach the arc
// on the right axes: the same arc as "G02 X10 Z0 R5".
TEST_F(ArcTest, QueuedWordsOnTheZXPlane) {
  PathGroups* paths = ParseProgram("arc_g18_pending.nc");
  ASSERT_NE(paths, nullptr);
  ExpectArc(OnlyPolyline(paths, 2), {0, 0, 0}, {10, 0, 0}, {5, 0, 0}, 5, kZX, {5, 0, -5});
}


// "G02 I-10" without end words: the end is the start, a full circle.
TEST_F(ArcTest, FullCircleFromCentreWordAlone) {
  PathGroups* paths = ParseProgram("full_circle_i_only.nc");
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 1);
  ExpectArc(p, {10, 0, 0}, {10, 0, 0}, {0, 0, 0}, 10, kXY, {-10, 0, 0});
  ASSERT_NE(p, nullptr);
  EXPECT_GE(p->PointCount(), 73);
}


// A half circle whose R was rounded by the CAM system: the chord exceeds 2R
// by 0.00002, within the 0.000025 tolerance. Drawn over the top, no message.
TEST_F(ArcTest, RoundedRadiusOfAHalfCircleIsAccepted) {
  PathGroups* paths = ParseProgram("arc_r_rounding.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Log().messages.empty());
  const CPathPolyline* p = OnlyPolyline(paths, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kArcStyle));
  EXPECT_GE(p->PointCount(), 30);
  EXPECT_TRUE(Near(p->Point(p->PointCount() - 1), {10.00002, 0, 0}, 1e-9));
  bool top = false;
  for (const CPoint3d& q : *p) {
    EXPECT_GE(q.y, -1e-6);
    if (Near(q, {5.00001, 5, 0}, 1e-3)) top = true;
  }
  EXPECT_TRUE(top);
}

}  // namespace
}  // namespace apitest
