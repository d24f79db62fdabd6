// Work offsets (G54 to G59, G53, G92, G52), data input (G10) and tool length
// offsets (G43, G44, G49), with the tables written through Code_SetData the
// way the viewer's data pages write them.
#include <cmath>
#include <fstream>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class OffsetTest : public ApiTest {
 protected:
  CPoint3d EndOf(const PathGroups* paths, int line) {
    const CPathPolyline* p = OnlyPolyline(paths, line);
    if (!p || p->PointCount() < 2) return {NAN, NAN, NAN};
    return p->Point(p->PointCount() - 1);
  }
};

// Row r of the work coordinate table is G53 + r (G54 to G59); every move
// under it is its programmed point plus the row's offset. The records keep
// the programmed values beside the shifted positions.
TEST_F(OffsetTest, EachWorkCoordinateSystemShiftsByItsRow) {
  for (int row = 1; row <= 6; ++row) SetWorkOffset(row, {100.0 * row, 10.0 * row, 1.0 * row});
  PathGroups* paths = ParseProgram("wcs_all.nc");
  ASSERT_NE(paths, nullptr);
  for (int row = 1; row <= 6; ++row) {
    SCOPED_TRACE(row);
    EXPECT_TRUE(Near(EndOf(paths, row - 1), {1 + 100.0 * row, 2 + 10.0 * row, 3 + 1.0 * row}));
  }
  const std::vector<Record> moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 6u);
  for (int row = 1; row <= 6; ++row) {
    SCOPED_TRACE(row);
    const Record& r = moves[row - 1];
    EXPECT_EQ(r.line, row - 1);
    EXPECT_EQ(r.kind, 1);
    EXPECT_TRUE(Near(r.value, {1, 2, 3}));
    EXPECT_TRUE(Near(r.position, {1 + 100.0 * row, 2 + 10.0 * row, 3 + 1.0 * row}));
    EXPECT_EQ(r.feed, 3000.0);
  }
}

// "G00 G54 X0 Y0 Z0": the move is created before G54 is read and still uses
// the G54 offsets.
TEST_F(OffsetTest, WorkSystemAfterMotionCodeInTheSameLine) {
  SetWorkOffset(1, {10, 20, 30});
  SetWorkOffset(2, {-5, -6, -7});
  PathGroups* paths = ParseProgram("wcs_after_motion.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 0), {-5, -6, -7}));
  EXPECT_TRUE(Near(EndOf(paths, 1), {10, 20, 30}));
}

// Code_GetCurPZ gives the offsets of the system the program selected last.
TEST_F(OffsetTest, CurrentPartZeroFollowsTheProgram) {
  SetWorkOffset(3, {1.5, -2.5, 3.25});
  ASSERT_NE(ParseProgram("g56.nc"), nullptr);
  double* pz = Code_GetCurPZ();
  ASSERT_NE(pz, nullptr);
  EXPECT_EQ(pz[0], 1.5);
  EXPECT_EQ(pz[1], -2.5);
  EXPECT_EQ(pz[2], 3.25);
  Code_FreeIt(pz);
  EXPECT_TRUE(Log().alerts.empty());
}

// G92 X0 at X110 (G54 X100 + X10) makes that point X0: the X offset becomes
// 110. Y and Z, not named, keep the G54 offsets 200 and 0.
TEST_F(OffsetTest, G92ChangesOnlyTheAxesItNames) {
  SetWorkOffset(1, {100, 200, 0});
  PathGroups* paths = ParseProgram("g92.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 0), {110, 220, 5}));
  EXPECT_TRUE(Near(EndOf(paths, 2), {111, 202, 3}));
}

// In inch mode G92 X1 at X10 mm makes that point 25.4 mm: X offset -15.4; the
// following X2 (50.8 mm) ends at 35.4 mm.
TEST_F(OffsetTest, G92InInchModeConvertsOnce) {
  PathGroups* paths = ParseProgram("g92_inch.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 0), {10, 0, 0}));
  EXPECT_TRUE(Near(EndOf(paths, 3), {35.4, 0, 0}, 1e-9));
}

// G52 X10 under G54 (100, 200, 0): the local origin is X110; Y and Z keep the
// G54 offsets.
TEST_F(OffsetTest, G52ShiftsOnlyTheAxesItNames) {
  SetWorkOffset(1, {100, 200, 0});
  PathGroups* paths = ParseProgram("g52.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 2), {110, 200, 0}));
}

// G52 X1 in inch mode: 25.4 mm on top of G54 X100.
TEST_F(OffsetTest, G52InInchModeConvertsOnce) {
  SetWorkOffset(1, {100, 200, 0});
  PathGroups* paths = ParseProgram("g52_inch.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 3), {125.4, 200, 0}, 1e-9));
}

// G10 L2 writes the named columns of a work system row; L10 to L13 write
// columns 0 to 3 of an offset row. Later lines see the new values: G54 is
// now (50, 200, 7), and H3 adds 5 + 0.5.
TEST_F(OffsetTest, G10WritesTablesThatLaterLinesUse) {
  SetWorkOffset(1, {100, 200, 7});
  PathGroups* paths = ParseProgram("g10.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Log().messages.empty());

  EXPECT_EQ(Cell(1, 1, 0), 50.0);
  EXPECT_EQ(Cell(1, 1, 1), 200.0) << "L2 P1 X50 writes only column 0";
  EXPECT_EQ(Cell(1, 1, 2), 7.0);
  EXPECT_EQ(Cell(1, 2, 0), 1.0);
  EXPECT_EQ(Cell(1, 2, 1), 2.0);
  EXPECT_EQ(Cell(1, 2, 2), 3.0);
  EXPECT_EQ(Cell(0, 3, 0), 5.0);
  EXPECT_EQ(Cell(0, 3, 1), 0.5);
  EXPECT_EQ(Cell(0, 3, 2), 0.0);
  EXPECT_EQ(Cell(0, 4, 2), 2.0);
  EXPECT_EQ(Cell(0, 4, 3), 0.25);
  EXPECT_EQ(Cell(0, 4, 0), 0.0);

  EXPECT_TRUE(Near(EndOf(paths, 6), {50, 200, 7}));
  EXPECT_TRUE(Near(EndOf(paths, 7), {50, 200, 10 + 7 + 5.5}));

  // The data input records: I is 0 for work system data, 1 for offset data.
  const std::vector<Record> inputs = OfKind(Simulate(), 18);
  ASSERT_EQ(inputs.size(), 6u);
  const double expectedI[6] = {0, 0, 1, 1, 1, 1};
  for (int n = 0; n < 6; ++n) {
    EXPECT_EQ(inputs[n].line, n);
    EXPECT_EQ(inputs[n].i, expectedI[n]) << "record " << n;
  }
}

// A G10 row outside its table: a block message, nothing written, and the
// path ends before that line.
TEST_F(OffsetTest, G10RowOutsideTableGivesMessage) {
  const double before[7] = {Cell(1, 0, 0), Cell(1, 1, 0), Cell(1, 2, 0), Cell(1, 3, 0),
                            Cell(1, 4, 0), Cell(1, 5, 0), Cell(1, 6, 0)};
  PathGroups* paths = ParseProgram("g10_row_outside.nc");  // G10 L2 P7 X1
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 2u);
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].line, 2);
  for (int row = 0; row < 7; ++row) EXPECT_EQ(Cell(1, row, 0), before[row]);

  Log().messages.clear();
  paths = ParseProgram("g10_offset_outside.nc");  // G10 L10 P401 R1
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 2u);
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].line, 2);
  EXPECT_EQ(Cell(0, 400, 0), 0.0);
}

// H2 = columns 0 + 1 of row 2 = 10.5: G43 adds it to Z, G44 subtracts it, G49
// cancels it.
TEST_F(OffsetTest, ToolLengthOffsetG43G44G49) {
  SetCell(0, 2, 0, 10.0);
  SetCell(0, 2, 1, 0.5);
  PathGroups* paths = ParseProgram("tool_length.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 0), {0, 0, 0}));
  EXPECT_TRUE(Near(EndOf(paths, 1), {0, 0, 20.5}));
  EXPECT_TRUE(Near(EndOf(paths, 2), {0, 0, -0.5}));
  EXPECT_TRUE(Near(EndOf(paths, 3), {0, 0, 10}));
  EXPECT_EQ(Code_GetCurH(), 2);
}

TEST_F(OffsetTest, HNumberOutsideTableGivesMessage) {
  PathGroups* paths = ParseProgram("h_outside.nc");  // G43 H401
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 2u);
  ASSERT_GE(Log().messages.size(), 1u);
  for (const Message& m : Log().messages) {
    EXPECT_EQ(m.line, 2);
    EXPECT_NE(m.text.find(u"401"), std::u16string::npos) << A(m.text);
  }
}

TEST_F(OffsetTest, DNumberOutsideTableGivesMessage) {
  PathGroups* paths = ParseProgram("d_outside.nc");  // G41 D401
  ASSERT_NE(paths, nullptr);
  EXPECT_EQ(paths->size(), 2u);
  ASSERT_GE(Log().messages.size(), 1u);
  for (const Message& m : Log().messages) {
    EXPECT_EQ(m.line, 2);
    EXPECT_NE(m.text.find(u"401"), std::u16string::npos) << A(m.text);
  }
}

// D7 becomes the program's D number; compensated moves are drawn as plain
// moves for now.
TEST_F(OffsetTest, DNumberIsKept) {
  PathGroups* paths = ParseProgram("d_number.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Log().messages.empty());
  EXPECT_EQ(Code_GetCurD(), 7);
}

// G53 moves in machine coordinates; the "Ext" row is never selected by it,
// not even when a later G21 re-applies the work offset.
TEST_F(OffsetTest, G53NeverSelectsTheExtRow) {
  SetWorkOffset(0, {500, 500, 500});
  SetWorkOffset(1, {100, 200, 0});
  PathGroups* paths = ParseProgram("g53.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 0), {100, 200, 0}));
  EXPECT_TRUE(Near(EndOf(paths, 1), {10, 10, 0}));
  const CPoint3d last = EndOf(paths, 3);
  EXPECT_TRUE(Near(last, {20, 20, 0}) || Near(last, {120, 220, 0}))
      << "after G53 and G21: (" << last.x << ", " << last.y << ", " << last.z << ")";
  EXPECT_FALSE(Near(last, {520, 520, 500}));
}

// The host's third tool number for the current T is added to Z under a work
// coordinate system.
TEST_F(OffsetTest, ToolCallbackThirdNumberAddsToZ) {
  Log().toolThird[3] = 7.0;
  PathGroups* paths = ParseProgram("tool_third.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 1), {0, 0, 17}));
  ASSERT_FALSE(Log().toolQueries.empty());
  for (int t : Log().toolQueries) EXPECT_EQ(t, 3);
}


// The work offset table holds millimetres: G54 X100 stays 100 mm when the
// program is in inches; X1 adds 25.4 mm.
TEST_F(OffsetTest, WorkOffsetStaysMillimetresInInchMode) {
  SetWorkOffset(1, {100, 0, 0});
  PathGroups* paths = ParseProgram("wcs_inch.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 1), {125.4, 0, 0}, 1e-9));
}

// The host is asked about the low eight bits of the tool number: T300 -> 44.
TEST_F(OffsetTest, ToolCallbackGetsTheLowEightBits) {
  ASSERT_NE(ParseProgram("tool_low_bits.nc"), nullptr);
  ASSERT_FALSE(Log().toolQueries.empty());
  for (int t : Log().toolQueries) EXPECT_EQ(t, 300 & 0xff);
}


// G52 measures from the work system's zero, not from the last local origin:
// G52 X10 twice is still X110 under G54 X100, and G52 X0 cancels it.
TEST_F(OffsetTest, G52IsNotCumulativeAndG52ZeroCancels) {
  SetWorkOffset(1, {100, 200, 0});
  PathGroups* paths = ParseProgram("g52_not_cumulative.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 3), {110, 200, 0}));
  EXPECT_TRUE(Near(EndOf(paths, 5), {100, 200, 0}));
}

// Tables that the program changes (G10) are written back to their files.
TEST_F(OffsetTest, G10ChangesReachTheFiles) {
  ASSERT_NE(ParseProgram("g10_persist.nc"), nullptr);
  Code_Uninitialize();
  std::ifstream zero(TablePath("partzero.dat"), std::ios::binary);
  double row1x = 0;
  zero.seekg(3 * 8);
  zero.read(reinterpret_cast<char*>(&row1x), 8);
  EXPECT_EQ(row1x, 50.0);
  std::ifstream offsets(TablePath("offset.dat"), std::ios::binary);
  double row4col2 = 0;
  offsets.seekg((4 * 4 + 2) * 8);
  offsets.read(reinterpret_cast<char*>(&row4col2), 8);
  EXPECT_EQ(row4col2, 2.0);
}


// Straight moves on the ZX and YZ planes with a work offset and a tool length
// offset: drawn and reported in machine axes, the length offset on Z.
TEST_F(OffsetTest, LinesOnEveryPlaneWithOffsets) {
  SetWorkOffset(1, {100, 200, 300});
  SetCell(0, 2, 0, 10.0);
  PathGroups* paths = ParseProgram("plane_lines.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 0), {101, 202, 313}));
  EXPECT_TRUE(Near(EndOf(paths, 1), {104, 205, 316}));
  EXPECT_TRUE(Near(EndOf(paths, 2), {107, 208, 319}));
  const std::vector<Record> moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 3u);
  const CPoint3d values[3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  const CPoint3d positions[3] = {{101, 202, 313}, {104, 205, 316}, {107, 208, 319}};
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(Near(moves[n].value, values[n])) << "X, Y, Z values in machine axes";
    EXPECT_TRUE(Near(moves[n].position, positions[n]));
  }
}


// G10 in inch mode writes millimetres into the tables.
TEST_F(OffsetTest, G10InInchModeWritesMillimetres) {
  ASSERT_NE(ParseProgram("g10_inch.nc"), nullptr);
  EXPECT_NEAR(Cell(1, 1, 0), 25.4, 1e-12);
  EXPECT_NEAR(Cell(1, 1, 1), -12.7, 1e-12);
  EXPECT_EQ(Cell(1, 1, 2), 0.0);
  EXPECT_NEAR(Cell(0, 3, 0), 25.4, 1e-12);
}


// A program that never names a work system runs on G54.
TEST_F(OffsetTest, G54IsInForceFromTheStart) {
  SetWorkOffset(1, {10, 20, 30});
  SetWorkOffset(2, {-1, -1, -1});
  PathGroups* paths = Parse(u"G00 X1 Y2 Z3\n");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Near(EndOf(paths, 0), {11, 22, 33}));
  double* pz = Code_GetCurPZ();
  ASSERT_NE(pz, nullptr);
  EXPECT_EQ(pz[0], 10.0);
  EXPECT_EQ(pz[2], 30.0);
  Code_FreeIt(pz);
}

}  // namespace
}  // namespace apitest
