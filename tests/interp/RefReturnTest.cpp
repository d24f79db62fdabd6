// Returns to and from the reference point (the origin of the path).
#include "ProgramFixture.h"

namespace quillet::test {
namespace {

class RefReturn : public ProgramTest {
 protected:
  std::vector<CPoint3d> PathOfLine(int line) {
    std::vector<CPoint3d> pts;
    if (const CPathList* list = ListOfLine(*m_program->GetCutterPath(false), line))
      for (CPathPolyline* p : *list) pts.insert(pts.end(), p->begin(), p->end());
    return pts;
  }
};

TEST_F(RefReturn, ReturnAxisByAxisThroughTheIntermediatePointAndBack) {
  Parse(u"G00 X10 Y20 Z30\nG91 G28 Z0\nG28 X0 Y0\n");
  auto z = PathOfLine(1);
  ASSERT_EQ(z.size(), 2u);
  ExpectPoint(z[1], 10, 20, 0);  // Z to the tool length (0 without a host)
  auto xy = PathOfLine(2);
  ASSERT_EQ(xy.size(), 3u);
  ExpectPoint(xy[1], 0, 20, 0);
  ExpectPoint(xy[2], 0, 0, 0);
  EXPECT_DOUBLE_EQ(BlockOfLine(2)->GetFeed(), 3000.0);

  // G28 passes the intermediate point; G29 comes back through it.
  Parse(u"G43 H1 G00 X50 Y50\nG28 X10 Y10\nG29 X5 Y5\nX7\n");
  auto to = PathOfLine(1);
  ASSERT_EQ(to.size(), 3u);
  ExpectPoint(to[1], 10, 10, 0);
  ExpectPoint(to[2], 0, 0, 0);
  auto back = PathOfLine(2);
  ASSERT_EQ(back.size(), 3u);
  ExpectPoint(back[1], 10, 10, 0);
  ExpectPoint(back[2], 5, 5, 0);
  // The return is one-shot: coordinates alone after it move in the G00
  // mode in force before it (from the return's end). H is cancelled.
  auto x7 = PathOfLine(3);
  ASSERT_EQ(x7.size(), 2u);
  ExpectPoint(x7[0], 5, 5, 0);
  ExpectPoint(x7[1], 7, 5, 0);
  EXPECT_DOUBLE_EQ(BlockOfLine(3)->GetFeed(), 3000.0);
  EXPECT_EQ(m_program->GetModalCode(19), 2);
}

}  // namespace
}  // namespace quillet::test
