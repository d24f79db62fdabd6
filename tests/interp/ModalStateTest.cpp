// Modal state shaping positions: work offsets, G92, G52, G10 data input,
// tool length, units and coordinate rotation.
#include "ProgramFixture.h"
#include "mod_gcode/export/LibraryState.h"

namespace quillet::test {
namespace {

using Modal = ProgramTest;

TEST_F(Modal, DefaultsAreInForceWithoutModalCodes) {
  // XY plane, millimetres, absolute, feed per minute, G54.
  SetWorkOffset(1, 100, 50, 10);
  Parse(u"G01 X1 Y2 Z3 F100\nX4\n");
  ExpectPoint(EndOfLine(0), 101, 52, 13);
  ExpectPoint(EndOfLine(1), 104, 52, 13);
  EXPECT_DOUBLE_EQ(BlockOfLine(0)->GetFeed(), 100.0);
  EXPECT_EQ(m_program->GetModalCode(26), 0);
  EXPECT_EQ(m_program->GetModalCode(31), 1);
}

TEST_F(Modal, WorkOffsetChangeKeepsUnprogrammedAxesAndG53SelectsNoRow) {
  SetWorkOffset(2, 200, 0, -20);
  Parse(u"G90 G54 G00 X10 Y10 Z50\nG01 Z-5\nG55\nG00 X0 Y0\nZ5\n");
  ExpectPoint(EndOfLine(3), 200, 0, -5);  // Z is not programmed: it stays
  ExpectPoint(EndOfLine(4), 200, 0, -15);
  // G53 selects no table row and leaves G54 in force: G21, which applies the
  // work offset again, does not select the "Ext" row 0.
  SetWorkOffset(0, 500, 500, 500);
  Parse(u"G53 G00 X1\nG21\nG00 X2\n");
  ExpectPoint(EndOfLine(2), 2, 0, 0);
}

TEST_F(Modal, WorkOffsetAfterTheMotionInOneLineStillApplies) {
  SetWorkOffset(2, 200, 0, -20);
  Parse(u"G00 X10 Y10 Z50\nG00 G55 X0 Y0\nX1\nG00 G54 X2\n");
  ExpectPoint(EndOfLine(1), 200, 0, 50);
  ExpectPoint(EndOfLine(2), 201, 0, 50);
  // The first line's move keeps its own offset although the chain it was
  // built with was shared with later moves.
  ExpectPoint(EndOfLine(0), 10, 10, 50);
  ExpectPoint(EndOfLine(3), 2, 0, 50);
}

// G92 and G52 change only the axes they name, and an inch word is
// converted once.
TEST_F(Modal, G92AndG52NameOnlyTheirAxes) {
  SetWorkOffset(1, 0, 0, 5);
  Parse(u"G00 X10 Y20 Z30\nG92 X0 Y0\nG00 X5\nZ1\n");
  // The current position became X0 Y0; Z keeps the G54 offset.
  ExpectPoint(EndOfLine(2), 15, 20, 35);
  ExpectPoint(EndOfLine(3), 15, 20, 6);
  Parse(u"G20\nG92 X1\nG00 X0\nX2\n");
  ExpectPoint(EndOfLine(2), -25.4, 0, 0);
  ExpectPoint(EndOfLine(3), 25.4, 0, 0);
  // G52 measures from the work system's zero, not from the last local
  // origin; G52 X0 cancels it.
  SetWorkOffset(1, 100, 100, 0);
  Parse(u"G52 X10\nG52 X10\nG00 X0 Y0\nG52 X0\nG00 X0\nG20\nG52 X1\nG00 X0\n");
  ExpectPoint(EndOfLine(2), 110, 100, 0);
  ExpectPoint(EndOfLine(4), 100, 100, 0);
  ExpectPoint(EndOfLine(7), 125.4, 100, 0);
}

TEST_F(Modal, G10WritesTablesAndRefusesRowsOutsideThem) {
  Parse(u"G10 L2 P1 X10\nG10 L12 P3 R5\nG10 L2 P0 X7\nG54 G00 X1\n");
  EXPECT_DOUBLE_EQ(Lib().tables.coord->GetValue(1, 0), 10.0);
  EXPECT_DOUBLE_EQ(Lib().tables.coord->GetValue(1, 1), 0.0);
  EXPECT_DOUBLE_EQ(Lib().tables.comp->GetValue(3, 2), 5.0);
  EXPECT_DOUBLE_EQ(Lib().tables.coord->GetValue(0, 0), 0.0);
  ExpectPoint(EndOfLine(3), 11, 0, 0);  // G54 selected again: its new X
  EXPECT_TRUE(Messages().empty());
  // A refused row ends the program at its block.
  const std::pair<const char16_t*, const char16_t*> refused[] = {
      {u"G10 L2 P9 X1\n", u"G10 L2: work coordinate system P9 does not exist"},
      {u"G10 L11 P401 R1\n", u"G10 L11: offset number P401 does not exist"}};
  for (auto [text, message] : refused) {
    Parse(text + std::u16string(u"G10 L2 P1 X3\n"));
    EXPECT_EQ(Messages(), std::vector<std::u16string>{message});
    EXPECT_DOUBLE_EQ(Lib().tables.coord->GetValue(1, 0), 10.0);
  }
}

TEST_F(Modal, ToolLengthOffsetAndOffsetNumbersOutsideTheTable) {
  SetToolOffset(1, 0, 20);
  SetToolOffset(1, 1, 5);
  Parse(u"G43 H1 G00 Z0\nG44 H1 Z0\nG49 Z0\n");
  ExpectPoint(EndOfLine(0), 0, 0, 25);
  ExpectPoint(EndOfLine(1), 0, 0, -25);
  ExpectPoint(EndOfLine(2), 0, 0, 0);

  for (auto [text, message] :
       {std::pair{u"G43 H401 Z0\n", u"H401 : offset number outside the offset table"},
        std::pair{u"D-1\n", u"D-1 : offset number outside the offset table"},
        std::pair{u"G41 D900\n", u"D900 : offset number outside the offset table"}}) {
    Parse(text + std::u16string(u"G00 X1\n"));
    EXPECT_EQ(Messages(), std::vector<std::u16string>{message});
    EXPECT_EQ(BlockOfLine(1), nullptr);  // the program ends at the refused number
    EXPECT_EQ(m_program->GetH(), 0);
  }
}

// Inch words and F are converted; the tables stay millimetres.
TEST_F(Modal, InchWordsAndFeed) {
  SetWorkOffset(1, 100, 0, 0);
  SetToolOffset(2, 0, 10);
  Parse(u"G20 G01 X10 F10\nG95 S100 F2\nG43 H2 Z1\n");
  ExpectPoint(EndOfLine(0), 354, 0, 0);
  EXPECT_DOUBLE_EQ(BlockOfLine(0)->GetFeed(), 254.0);
  EXPECT_DOUBLE_EQ(m_program->GetF(), 2 * 25.4 * 100);
  ExpectPoint(EndOfLine(2), 354, 0, 35.4);
}

TEST_F(Modal, RotationTurnsCounterClockwiseSeenFromThePlanesNormal) {
  // G17, seen from +Z: X10 turned by 90 degrees lies on +Y.
  Parse(u"G17 G68 X0 Y0 R90\nG01 X10 Y0\nG69\n");
  ExpectPoint(EndOfLine(1), 0, 10, 0);
  // G18, seen from +Y (Z right, X up): X10 turned by 90 degrees lies on -Z.
  Parse(u"G18 G68 X0 Z0 R90\nG01 X10 Z0\nG69\n");
  ExpectPoint(EndOfLine(1), 0, 0, -10);
  // G19, seen from +X (Y right, Z up): Y10 turned by 90 degrees lies on +Z.
  Parse(u"G19 G68 Y0 Z0 R90\nG01 Y10 Z0\nG69\n");
  ExpectPoint(EndOfLine(1), 0, 0, 10);
}

TEST_F(Modal, PolarCoordinatesGiveRadiusAndAngle) {
  Parse(u"G16 G01 X10 Y30\nG15 X1 Y2\n");
  const CPoint3d p = EndOfLine(0);
  EXPECT_NEAR(p.x, 8.660254037844386, 1e-9);
  EXPECT_NEAR(p.y, 5.0, 1e-9);
  ExpectPoint(EndOfLine(1), 1, 2, 0);
}

TEST_F(Modal, G10DataForTheSystemInForceAppliesAtOnce) {
  Parse(u"G10 L2 P1 X10\nG00 X1\nG10 L2 P2 X50\nX2\n");
  ExpectPoint(EndOfLine(1), 11, 0, 0);
  ExpectPoint(EndOfLine(3), 12, 0, 0);  // P2 (G55) is not in force
}

}  // namespace
}  // namespace quillet::test
