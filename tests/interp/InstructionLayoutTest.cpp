// Every instruction class keeps its words where the base reads them, and a
// word keeps its value, position and flags through the store.
#include <gtest/gtest.h>

#include "mod_gcode/GCCode/Calls.h"
#include "mod_gcode/GCCode/Global.h"
#include "mod_gcode/GCCode/Motion.h"

namespace quillet::test {
namespace {

TEST(InstructionLayout, WordStoreFollowsTheBaseInEveryClass) {
  ChainRef none;
  CGCInstructionLine line(none, nullptr, nullptr, kKindLine);
  CGCInstructionLineRapidTraverse rapid(none, nullptr, nullptr, kKindRapid);
  CGCInstructionCircular arc(none, nullptr, nullptr, kKindCircleCw);
  CGCInstructionGlobal global(none, nullptr, nullptr, 20, 1);
  CGCInstructionGlobalWPZeor wp(none, nullptr, nullptr, kKindChangeWcs, 1);
  CGCInstructionPParam pp(none, nullptr, nullptr);
  CGCInstructionChangeTool tc(none, nullptr, nullptr);
  CGCInstructionSub sub(nullptr, nullptr, kKindCloseSub);
  CGCInstructionCopy copy(global);
  EXPECT_TRUE(line.StoreInPlace());
  EXPECT_TRUE(rapid.StoreInPlace());
  EXPECT_TRUE(arc.StoreInPlace());
  EXPECT_TRUE(global.StoreInPlace());
  EXPECT_TRUE(wp.StoreInPlace());
  EXPECT_TRUE(pp.StoreInPlace());
  EXPECT_TRUE(tc.StoreInPlace());
  EXPECT_TRUE(sub.StoreInPlace());
  EXPECT_TRUE(copy.StoreInPlace());
  EXPECT_EQ(line.Words().GetCount(), 3);
  EXPECT_EQ(arc.Words().GetCount(), 7);
  EXPECT_EQ(global.Words().GetCount(), 8);
  EXPECT_EQ(pp.Words().GetCount(), 15);
}

TEST(InstructionLayout, WordsKeepValuesAndFlagsAndModalCodeIsUntouched) {
  ChainRef none;
  CGCInstructionGlobal g(none, nullptr, nullptr, 22, 7);
  for (int i = 0; i < 8; ++i) g.SetWord(i, CGCDimWordInch(), false);
  for (int i = 0; i < 8; ++i) g.SetWordValue(i, i + 1.0, i % 2 == 0);
  for (int i = 0; i < 8; ++i) {
    CGCWordRef w = g.GetWord(i);
    ASSERT_TRUE(w);
    EXPECT_DOUBLE_EQ(w.GetValue(), (i + 1.0) * 25.4);
    EXPECT_DOUBLE_EQ(w.GetPosition(), 0.0);
    EXPECT_TRUE(w.IsSpecified());
    EXPECT_EQ(w.IsAbsolute(), i % 2 == 0);
    EXPECT_TRUE(w.IsInch());
  }
  // Writing all eight words must not reach the member behind the store.
  EXPECT_EQ(g.GetModalCode(), 7);
}

TEST(InstructionLayout, PlaneChangeMovesWordsToTheNewOrder) {
  ChainRef none;
  CGCInstructionCircular arc(none, nullptr, nullptr, kKindCircleCw);
  for (int i = 0; i < 6; ++i) arc.SetWord(i, CGCDimWordMM(i + 1.0, 1), true);
  arc.SetPlane(1);  // ZX: internal order X, Z, Y and I, K, J
  EXPECT_DOUBLE_EQ(arc.GetWordValue(0), 1);
  EXPECT_DOUBLE_EQ(arc.GetWordValue(1), 3);
  EXPECT_DOUBLE_EQ(arc.GetWordValue(2), 2);
  EXPECT_DOUBLE_EQ(arc.GetWordValue(4), 6);
  EXPECT_DOUBLE_EQ(arc.GetWordValue(5), 5);
  arc.SetPlane(2);  // YZ: internal order Z, Y, X and K, J, I
  EXPECT_DOUBLE_EQ(arc.GetWordValue(0), 3);
  EXPECT_DOUBLE_EQ(arc.GetWordValue(1), 2);
  EXPECT_DOUBLE_EQ(arc.GetWordValue(2), 1);
  EXPECT_DOUBLE_EQ(arc.GetWordValue(3), 6);
  EXPECT_DOUBLE_EQ(arc.GetWordValue(5), 4);
  EXPECT_EQ(arc.GetEndPointInPlane(), CPoint3d(1, 2, 3));
}

}  // namespace
}  // namespace quillet::test
