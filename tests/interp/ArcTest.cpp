// Circular moves as the dialect's control turns them: direction per plane,
// sweeps over half a circle, full and tiny circles, impossible arcs.
#include <algorithm>

#include "ProgramFixture.h"
#include "mod_gcode/instructions/Motion.h"

namespace quillet::test {
namespace {

using Arcs = ProgramTest;

// The drawn points of the arc of a line, in machine axes.
std::vector<CPoint3d> ArcPoints(CGCBlock* block) {
  std::vector<CPoint3d> pts;
  if (!block) return pts;
  CGCInstruction* m = CGCBlock::FindLastMotion(block);
  if (auto* arc = dynamic_cast<CGCInstructionCircular*>(m)) arc->AppendToPolyline(pts);
  return pts;
}

// A half circle of radius 5 from the origin to 10 along the plane's first
// axis, clockwise: the middle point (index 18 of 5-degree steps) shows which
// way it turned.
TEST_F(Arcs, G02TurnsClockwiseSeenFromThePlanesNormal) {
  const struct {
    const char16_t* program;
    CPoint3d middle;
  } cases[] = {
      {u"G17 G02 X10 Y0 I5 J0\n", {5, 5, 0}},   // seen from +Z (X right, Y up): over the top, through Y+5
      {u"G18 G02 X10 Z0 I5 K0\n", {5, 0, -5}},  // seen from +Y (Z right, X up): from X0 over the left side
      {u"G19 G02 Y10 Z0 J5 K0\n", {0, 5, 5}},   // seen from +X (Y right, Z up): through Z+5
      {u"G18 G03 X10 Z0 I5 K0\n", {5, 0, 5}},   // G03 goes the other way
  };
  for (const auto& c : cases) {
    Parse(c.program);
    auto pts = ArcPoints(BlockOfLine(0));
    ASSERT_EQ(pts.size(), 39u);
    ExpectPoint(pts[18], c.middle);
    EXPECT_TRUE(Messages().empty());
  }
}

// The sign of R picks the arc: positive the way under half a circle,
// negative the way over it. From (0, 0) to (10, 0) clockwise with R 5*sqrt(2):
// about (5, -5) through (5, 2.07), or about (5, 5) through (5, 12.07).
TEST_F(Arcs, RadiusSignChoosesTheShortOrTheLongWay) {
  const struct {
    const char16_t* program;
    double top;
  } cases[] = {
      {u"G02 X10 Y0 R7.0710678\n", 2.0710678},   // 90 degrees
      {u"G02 X10 Y0 R-7.0710678\n", 12.0710678},  // 270 degrees
  };
  for (const auto& c : cases) {
    Parse(c.program);
    auto pts = ArcPoints(BlockOfLine(0));
    double top = -1e9;
    for (const CPoint3d& p : pts) top = std::max(top, p.y);
    EXPECT_NEAR(top, c.top, 1e-6);
    ASSERT_FALSE(pts.empty());
    ExpectPoint(pts.back(), 10, 0, 0);
    EXPECT_TRUE(Messages().empty());
  }
}

TEST_F(Arcs, CentreArcOverHalfACircleIsDrawnWhole) {
  // Three quarters counter-clockwise from (10, 0) around the origin to (0, -10).
  Parse(u"G00 X10 Y0\nG03 X0 Y-10 I-10 J0\n");
  auto pts = ArcPoints(BlockOfLine(1));
  ASSERT_EQ(pts.size(), 55u + 2u);  // 270 degrees: 54 steps, 55 points, then two end points
  ExpectPoint(pts[18], 0, 10, 0);
  ExpectPoint(pts[36], -10, 0, 0);
  ExpectPoint(pts.back(), 0, -10, 0);
}

TEST_F(Arcs, FullAndTinyCircles) {
  Parse(u"G00 X10 Y0\nG02 X10 Y0 I-10 J0\nG03 X9.999 Y0.1413 I-10 J0\n");
  auto full = ArcPoints(BlockOfLine(1));
  EXPECT_EQ(full.size(), 75u);
  // A chord of 0.14 mm on a 10 mm radius: under one degree, not a circle.
  auto tiny = ArcPoints(BlockOfLine(2));
  ASSERT_GE(tiny.size(), 2u);
  EXPECT_LE(tiny.size(), 4u);
  for (const CPoint3d& p : tiny) EXPECT_GT(p.x, 9.99);
}

TEST_F(Arcs, ImpossibleArcsGetAMessage) {
  Parse(u"G02 X10 Y0 R4\n");
  auto m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0], u"Arc cannot exist: radius R is too small for the distance from start to end point");
  Parse(u"G02 X10 Y0 I6 J0\n");
  m = Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0], u"Arc cannot exist: the centre given by I, J, K is not equally far from start and end point");
  // Within the tolerance (rounded CAM output) the arc is accepted.
  Parse(u"G02 X10 Y0 I5.005 J0\n");
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace quillet::test
