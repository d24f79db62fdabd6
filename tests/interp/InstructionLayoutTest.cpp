// The word store of every instruction class sits right behind the base,
// where the base reads and writes it: a store elsewhere would be written
// through memory that is not its own.
#include <gtest/gtest.h>

#include "mod_gcode/GCCode/Calls.h"
#include "mod_gcode/GCCode/Global.h"
#include "mod_gcode/GCCode/Motion.h"

namespace quillet::test {
namespace {

// Kinds 19 to 33 are the modal groups; each shows its own group's name.
TEST(InstructionLayout, ModalGroupKindsHaveTheirOwnNames) {
  const std::pair<int, std::u16string_view> rows[] = {
      {18, u"ComH"},     {19, u"ComH"},     {20, u"Abs./Rel."}, {21, u"ComD"},  {22, u"Scale"},
      {23, u"Rot"},      {24, u"Mrr"},      {25, u"PartZero"},  {26, u"PanelSel"}, {27, u"Polar"},
      {29, u"ReturnMode"}, {31, u"Input unit"}, {32, u"Feed unit"}, {33, u"Call Macro"}, {34, u""}};
  for (const auto& [kind, name] : rows) EXPECT_EQ(std::u16string_view(CommandKindName(kind)), name) << kind;
}

TEST(InstructionLayout, WordStoreFollowsTheBaseInEveryClass) {
  ChainRef none;
  CGCInstructionGlobal global(none, nullptr, nullptr, 22, 7);
  EXPECT_TRUE(CGCInstructionLine(none, nullptr, nullptr, kKindLine).StoreInPlace());
  EXPECT_TRUE(CGCInstructionLineRapidTraverse(none, nullptr, nullptr, kKindRapid).StoreInPlace());
  EXPECT_TRUE(CGCInstructionCircular(none, nullptr, nullptr, kKindCircleCw).StoreInPlace());
  EXPECT_TRUE(CGCInstructionGlobalWPZeor(none, nullptr, nullptr, kKindChangeWcs, 1).StoreInPlace());
  EXPECT_TRUE(CGCInstructionPParam(none, nullptr, nullptr).StoreInPlace());
  EXPECT_TRUE(CGCInstructionChangeTool(none, nullptr, nullptr).StoreInPlace());
  EXPECT_TRUE(CGCInstructionSub(nullptr, nullptr, kKindCloseSub).StoreInPlace());
  EXPECT_TRUE(CGCInstructionCopy(global).StoreInPlace());
  EXPECT_TRUE(global.StoreInPlace());
  ASSERT_EQ(global.Words().GetCount(), 8);

  // All eight words keep their values and flags; the member behind the store
  // is not reached.
  for (int i = 0; i < 8; ++i) global.SetWord(i, CGCDimWordInch(), false);
  for (int i = 0; i < 8; ++i) global.SetWordValue(i, i + 1.0, i % 2 == 0);
  for (int i = 0; i < 8; ++i) {
    CGCWordRef w = global.GetWord(i);
    ASSERT_TRUE(w);
    EXPECT_DOUBLE_EQ(w.GetValue(), (i + 1.0) * 25.4);
    EXPECT_TRUE(w.IsSpecified() && w.IsInch());
    EXPECT_EQ(w.IsAbsolute(), i % 2 == 0);
  }
  EXPECT_EQ(global.GetModalCode(), 7);
}

}  // namespace
}  // namespace quillet::test
