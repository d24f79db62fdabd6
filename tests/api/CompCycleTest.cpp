// Cutter compensation and canned cycles through the exported interface: the
// cutter radius comes from the offset table (D is a diameter), the drawn
// path from Code_CutterPath and the holes from the simulation's records.
#include <cmath>

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
