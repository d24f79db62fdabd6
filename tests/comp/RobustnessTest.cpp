// Compensated moves that are hard to join: moves without length, height
// changes, arcs smaller than the cutter, tangent arcs, full circles, long
// contours. Every drawn point must be finite and near the program.
#include <cmath>
#include <string>

#include "AllocCount.h"
#include "CompFixture.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet::test {
namespace {

class Robust : public CompTest {
 protected:
  // Every point of every drawn polyline is finite and inside the box.
  void ExpectPathWithin(double x0, double x1, double y0, double y1, double z0, double z1) {
    ASSERT_NE(m_paths, nullptr);
    std::size_t points = 0;
    for (const CPathList& list : *m_paths) {
      for (const CPathPolyline* p : list) {
        for (const CPoint3d& q : *p) {
          ++points;
          ASSERT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z));
          EXPECT_TRUE(q.x >= x0 && q.x <= x1 && q.y >= y0 && q.y <= y1 && q.z >= z0 && q.z <= z1)
              << q.x << ", " << q.y << ", " << q.z;
        }
      }
    }
    EXPECT_GT(points, 0u);
  }
};

TEST_F(Robust, MovesWithoutLengthAndHeightChanges) {
  SetCutterRadius(1, 2.0);
  Run(u"G17 G90 G00 X0 Y0 Z0\n"
      u"G41 G01 X10 Y10 D1 F100\n"
      u"X10 Y10\n"
      u"X30\n"
      u"X30\n"
      u"Z-2\n"
      u"Y20\n"
      u"Y20\n"
      u"X10\n"
      u"Y10\n"
      u"G40 X0 Y0\n");
  ASSERT_TRUE(Messages().empty());
  // The contour spans 0..30 by 0..20; the cutter adds 2 on either side.
  ExpectPathWithin(-6, 36, -6, 26, -2, 0);
}

TEST_F(Robust, SmallAndTangentArcs) {
  SetCutterRadius(1, 3.0);
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G41 G01 X10 Y0 D1 F100\n"
      u"X20\n"
      u"G03 X22 Y2 R2\n"    // radius 2 with the cutter of 3 inside it
      u"G01 Y10\n"
      u"G02 X32 Y20 R10\n"  // an S-curve: clockwise around (32, 10) ...
      u"G03 X42 Y30 R10\n"  // ... then counter-clockwise around (32, 30)
      u"G01 X60\n"
      u"G40 X70 Y0\n");
  ASSERT_TRUE(Messages().empty());
  ExpectPathWithin(-10, 80, -10, 40, 0, 0);
  // At the tangent joint of the S-curve the offsets (13 and 7) touch at
  // (32, 23): the first arc ends there.
  auto first = PointsOfLine(5);
  ASSERT_FALSE(first.empty());
  EXPECT_NEAR(first.back().x, 32, 1e-6);
  EXPECT_NEAR(first.back().y, 23, 1e-6);
  // The second arc keeps its direction: from (32, 23) around (32, 30)
  // counter-clockwise, radius 7, its first step goes to +x.
  auto second = PointsOfLine(6);
  ASSERT_GE(second.size(), 3u);
  EXPECT_NEAR(std::hypot(second[1].x - 32, second[1].y - 30), 7, 1e-6);
  EXPECT_GT(second[1].x, 32);
}

TEST_F(Robust, FullCircleKeepsTheCutterOnItsSide) {
  SetCutterRadius(1, 2.0);
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G41 G01 X10 Y0 D1 F100\n"
      u"G03 X10 Y0 I10 J0\n"  // full circle around (20, 0), counter-clockwise
      u"G01 Y-10\n"
      u"G40 X0 Y0\n");
  ASSERT_TRUE(Messages().empty());
  // Entry: radially onto the circle of radius 8 (left of a counter-clockwise
  // circle is inside).
  ExpectPoint(PointsOfLine(1).back(), 12, 0, 0);
  auto circle = PointsOfLine(2);
  ASSERT_EQ(circle.size(), 75u);
  for (const CPoint3d& p : circle) EXPECT_NEAR(std::hypot(p.x - 20, p.y), 8, 1e-9);
  ExpectPoint(circle.front(), 12, 0, 0);
  EXPECT_LT(circle[18].y, 0);  // a quarter on, counter-clockwise: below the centre
  // Down x = 12 to the exit line's offset, x + y = -2 sqrt 2.
  auto down = PointsOfLine(3);
  ASSERT_EQ(down.size(), 2u);
  ExpectPoint(down[0], 12, 0, 0);
  ExpectPoint(down[1], 12, -12 - 2 * std::sqrt(2.0), 0);
}

TEST_F(Robust, ImpossibleArcUnderCompensation) {
  SetCutterRadius(1, 2.0);
  Run(u"G17 G90 G00 X0 Y0\n"
      u"G41 G01 X10 Y0 D1 F100\n"
      u"X20\n"
      u"G02 X40 Y0 R4\n"
      u"G01 X50\n"
      u"G40 X60 Y-10\n");
  ASSERT_EQ(Messages().size(), 1u);
  // The path stops at the block with the message; what was drawn is sound.
  ExpectPathWithin(-10, 70, -20, 10, 0, 0);
}

// A contour of `loops` rounded rectangles (8 moves each) under G41.
std::u16string LongContour(int loops) {
  std::u16string text = u"G17 G90 G00 X20 Y-10\nG41 G01 X20 Y0 D1 F100\n";
  for (int i = 0; i < loops; ++i)
    text += u"G01 X35\nG03 X40 Y5 R5\nG01 Y15\nG03 X35 Y20 R5\nG01 X5\nG03 X0 Y15 R5\nG01 Y5\nG03 X5 Y0 R5\n";
  text += u"G01 X20\nG40 X20 Y-10\n";
  return text;
}

TEST_F(Robust, LongContoursAllocateNothingPerMove) {
  SetCutterRadius(1, 2.0);
  Lib().command = nullptr;
  auto allocationsForPath = [&](int loops) {
    Parse(LongContour(loops));
    StartCountingAllocations();
    m_paths = m_program->GetCutterPath(false);
    return StopCountingAllocations();
  };
  allocationsForPath(10);  // first use of the reusable buffers
  const std::size_t small = allocationsForPath(250);    // 2,000 moves
  const std::size_t large = allocationsForPath(2500);   // 20,000 moves
  // The path's storage grows in doubling chunks: a few allocations more for
  // ten times the moves, far from one per move.
  EXPECT_LT(large, small + 40) << small << " " << large;
  EXPECT_LT(large, 200u);
  ASSERT_TRUE(Messages().empty());
  ExpectPathWithin(-10, 50, -15, 25, 0, 0);
  // The compensated arcs of the last loop sit on radius 3.
  const int lastArcLine = 1 + 2500 * 8;

  auto lastArc = PointsOfLine(lastArcLine);
  ASSERT_EQ(lastArc.size(), 21u);
  for (const CPoint3d& p : lastArc) EXPECT_NEAR(std::hypot(p.x - 5, p.y - 5), 3, 1e-9);
}

}  // namespace
}  // namespace quillet::test
