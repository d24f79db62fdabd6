// Cutter compensation and canned cycles through the exported interface: the
// cutter radius comes from the offset table (D is a diameter), the drawn
// path from Code_CutterPath and the holes from the simulation's records.
#include <cmath>
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

// One block of many moves along the tool axis under compensation keeps the
// offset on each of them; the look-ahead of the start-up passes over the
// block to the next move in the plane. Radius 2, cutter on the left: the
// start-up ends at (8, 0), square to the move up X10; that move ends where
// its offset x = 8 meets the cancel's offset y = 8. 12,000 moves pass the
// 10,000 the look-back examines: the offset counts as set all the same.
TEST_F(CompCycleTest, ABlockOfManyAxialMovesKeepsTheOffsetOnEach) {
  SetDiameter(4);
  for (int moves : {1, 500, 12000}) {
    SCOPED_TRACE(moves);
    std::u16string block;
    for (int i = 0; i < moves; ++i) block += u"G01 X10 Y0 Z-1 ";
    PathGroups* paths = Parse(u"G17 G90 G00 X0 Y0 Z0\n"
                              u"G41 D1 G01 X10 Y0 F100\n" +
                              block +
                              u"\n"
                              u"G01 X10 Y10\n"
                              u"G40 G00 X0 Y10\n");
    ASSERT_NE(paths, nullptr);
    ASSERT_GT(paths->size(), 5u);
    ExpectDrawn(*paths, 1, {{0, 0, 0}, {8, 0, 0}});
    EXPECT_EQ((*paths)[3].size(), static_cast<std::size_t>(moves));
    ExpectDrawn(*paths, 2, {{8, 0, 0}, {8, 0, -1}});
    ExpectDrawn(*paths, 3, {{8, 0, -1}, {8, 8, -1}});
    ExpectDrawn(*paths, 4, {{8, 8, -1}, {0, 10, -1}});
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

}  // namespace
}  // namespace apitest
