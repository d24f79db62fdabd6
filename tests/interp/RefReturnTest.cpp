// Returns to and from the reference point (the origin of the path).
#include "InterpFixture.h"
#include "mod_gcode/GCCode/RefReturn.h"

namespace quillet::test {
namespace {

using RefReturn = InterpTest;

std::vector<CPoint3d> PathOfBlock(CGCProgram& program, CGCBlock* block) {
  std::vector<CPoint3d> pts;
  PathGroups* groups = program.GetCutterPath(false);
  const auto& blocks = program.Blocks();
  for (std::size_t i = 0; i < blocks.size() && i < groups->size(); ++i) {
    if (blocks[i] != block) continue;
    for (CPathPolyline* p : (*groups)[i])
      for (const CPoint3d& q : *p) pts.push_back(q);
  }
  return pts;
}

TEST_F(RefReturn, ZeroWordsReturnAxisByAxis) {
  Parse(u"G00 X10 Y20 Z30\nG91 G28 Z0\nG28 X0 Y0\n");
  auto z = PathOfBlock(*m_program, BlockOfLine(1));
  ASSERT_EQ(z.size(), 2u);
  ExpectPoint(z[1], 10, 20, 0);  // Z to the tool length (0 without a host)
  auto xy = PathOfBlock(*m_program, BlockOfLine(2));
  ASSERT_EQ(xy.size(), 3u);
  ExpectPoint(xy[1], 0, 20, 0);
  ExpectPoint(xy[2], 0, 0, 0);
  auto* ret = dynamic_cast<CGCInstructionReturnRef*>(CGCBlock::FindLastMotion(BlockOfLine(2)));
  ASSERT_NE(ret, nullptr);
  EXPECT_TRUE(ret->IsDirect());
  EXPECT_EQ(ret->GetMoveCount(), 2);
  EXPECT_DOUBLE_EQ(BlockOfLine(2)->GetFeed(), 3000.0);
}

TEST_F(RefReturn, ReturnPassesTheIntermediatePointAndTheWayBackUsesIt) {
  Parse(u"G43 H1 G00 X50 Y50\nG28 X10 Y10\nG29 X5 Y5\nX7\n");
  auto to = PathOfBlock(*m_program, BlockOfLine(1));
  ASSERT_EQ(to.size(), 3u);
  ExpectPoint(to[1], 10, 10, 0);
  ExpectPoint(to[2], 0, 0, 0);
  auto back = PathOfBlock(*m_program, BlockOfLine(2));
  ASSERT_EQ(back.size(), 3u);
  ExpectPoint(back[1], 10, 10, 0);
  ExpectPoint(back[2], 5, 5, 0);
  // Coordinates alone after a return make no move, and H is cancelled.
  EXPECT_EQ(CGCBlock::FindLastMotion(BlockOfLine(3)), nullptr);
  EXPECT_EQ(m_program->GetModalCode(19), 2);  // G43 was in force before the return
}

}  // namespace
}  // namespace quillet::test
