// Parts of the viewer that need no window: number texts, the styling
// arithmetic's guards and the command store's stop answer.
#include <gtest/gtest.h>

#include "viewer/CommandStore.h"
#include "viewer/Styling.h"
#include "viewer/TextConv.h"

using namespace ravik;

namespace {

TEST(TextConversions, WholeNumbersWithinFloatEpsilonLoseTheirDecimals) {
  const std::pair<double, const char*> rows[] = {{2.99999999, "3"}, {-7.00000001, "-7"}, {1e-8, "0"},
                                                 {2e-7, "0.000"},   {-0.5, "-0.500"},   {12.3456, "12.346"},
                                                 {1.9996, "2.000"}};
  for (const auto& [value, text] : rows) EXPECT_EQ(FromU16(DoubleToWString(value)).toStdString(), text) << value;
}

TEST(Styling, ScaleFactorsOfNothingAreOne) {
  EXPECT_FLOAT_EQ(ScaleFactor(300, 200), 1.5f);
  EXPECT_FLOAT_EQ(ScaleFactor(100, 0), 1.0f);  // infinite
  EXPECT_FLOAT_EQ(ScaleFactor(0, 0), 1.0f);    // not a number
}

TEST(CommandStore, CallbackStoresValuesInArgumentOrderAndAnswersZeroToStop) {
  ClearCommandRecords();
  int line = 7;
  short kind = 3;
  double v[13];
  for (int i = 0; i < 13; ++i) v[i] = 1.5 * i - 2;
  auto append = [&] { return AppendCommandRecord(&line, &kind, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10], &v[11], &v[12]); };
  EXPECT_EQ(append(), 1);
  SetSimulationStop(true);
  line = 8;
  EXPECT_EQ(append(), 0) << "a zero answer ends the simulation after the block";
  SetSimulationStop(false);
  const auto records = Commands().Snapshot();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].line, 7);
  EXPECT_DOUBLE_EQ(records[0].values[0], -2.0);
  EXPECT_DOUBLE_EQ(records[0].values[12], 16.0);
  EXPECT_EQ(records[1].line, 8);
  ClearCommandRecords();
}

}  // namespace

// The command list names the kinds of the modal groups (19 to 33) by their
// own groups: G43/G44/G49 (19) "ComH", G90/G91 (20) "Abs./Rel.", G40-G42 (21)
// "ComD", up to the modal macro call (33).
TEST(CommandStore, ModalGroupKindsShowTheirOwnNames) {
  const std::pair<int, const char*> rows[] = {
      {18, "ComH"},       {19, "ComH"},      {20, "Abs./Rel."},  {21, "ComD"},       {22, "Scale"},
      {23, "Rot"},        {24, "Mrr"},       {25, "PartZero"},   {26, "PanelSel"},   {27, "Polar"},
      {28, "StartPoint"}, {29, "ReturnMode"}, {30, "LCrdSys"},   {31, "Input unit"}, {32, "Feed unit"},
      {33, "Call Macro"}, {34, ""},          {-1, ""}};
  for (const auto& [kind, name] : rows) EXPECT_STREQ(CommandKindName(kind), name) << kind;
}
