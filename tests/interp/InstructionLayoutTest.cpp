// The word store of every instruction class sits right behind the base,
// where the base reads and writes it: a store elsewhere would be written
// through memory that is not its own.
#include <gtest/gtest.h>

#include "mod_gcode/instructions/Calls.h"
#include "mod_gcode/instructions/Global.h"
#include "mod_gcode/instructions/Motion.h"
#include "ProgramFixture.h"

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

// Instructions hold their transform chain by a number in the program's
// table; once the table is full a program keeps further chains per
// instruction. Either way the path is the same, and it is the transformed one.
using ChainNumbers = ProgramTest;

TEST_F(ChainNumbers, AFullTableDrawsTheSamePath) {
  const std::u16string text =
      u"G90 G17 G54 G00 X0 Y0 Z5\n"
      u"G68 X0 Y0 R90\n"
      u"G01 X10 Y0 F500\n"
      u"G02 X20 Y0 R5\n"
      u"G69\n"
      u"G51 X0 Y0 P2000\n"
      u"G01 X5 Y5\n"
      u"G50\n"
      u"G51.1 X0\n"
      u"G01 X7 Y3\n"
      u"G03 X3 Y7 R4\n"
      u"G50.1 X0\n"
      u"G99 G81 X4 Y4 Z-2 R1\n"
      u"G80 G00 X1 Y1\n";
  auto points = [&] {
    std::vector<CPoint3d> all;
    for (const CPathList& list : *m_program->GetCutterPath(false))
      for (const CPathPolyline* line : list) all.insert(all.end(), line->begin(), line->end());
    return all;
  };
  Parse(text);
  const std::vector<CPoint3d> numbered = points();
  EXPECT_TRUE(Messages().empty());
  // Turned by 90 degrees, then scaled by 2, then mirrored in X.
  ExpectPoint(EndOfLine(2), 0, 10, 5);
  ExpectPoint(EndOfLine(3), 0, 20, 5);
  ExpectPoint(EndOfLine(6), 10, 10, 5);
  ExpectPoint(EndOfLine(9), -7, 3, 5);
  ExpectPoint(EndOfLine(10), -3, 7, 5);

  for (std::uint32_t limit : {1u, 2u}) {
    CGCProgram::SetChainNumberLimit(limit);
    Parse(text);
    EXPECT_EQ(points(), numbered) << "limit " << limit;
    ExpectPoint(EndOfLine(9), -7, 3, 5);
  }
}

}  // namespace
}  // namespace quillet::test
