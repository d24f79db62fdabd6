// Canned cycles through a real parse: the moves each shipped script draws and
// reports, return levels, repetitions, modal repeats, cancelling and work
// offsets. Every expected point is worked out by hand from the program text.
#include <cmath>

#include "CycleFixture.h"
#include "mod_gcode/GCCode/Cycle.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Numbers.h"
#include "platform/Text.h"

namespace quillet::test {
namespace {

using P = CPoint3d;

std::vector<short> Kinds(const std::vector<Record>& records) {
  std::vector<short> k;
  for (const Record& r : records) k.push_back(r.kind);
  return k;
}

bool IsRapidStyle(const CPathStyle& s) {
  const CPathStyle& r = Lib().styles[kStyleRapid];
  return s.r == r.r && s.g == r.g && s.b == r.b && s.width == r.width && s.pattern == r.pattern;
}

bool IsFeedStyle(const CPathStyle& s) {
  const CPathStyle& f = Lib().styles[kStyleFeed];
  return s.r == f.r && s.g == f.g && s.b == f.b && s.width == f.width && s.pattern == f.pattern;
}

// ------------------------------------------------------------------ G81

TEST_F(CycleTest, DrillReturnsToInitialLevelUnderG98) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G81 X10 Y20 Z-5 R2 F100\n");
  const auto segs = SegmentsOfLine(1);
  ExpectChain(segs, {P(0, 0, 10), P(10, 20, 10), P(10, 20, 2), P(10, 20, -5), P(10, 20, 2), P(10, 20, 10)});
  ASSERT_EQ(segs.size(), 5u);
  EXPECT_TRUE(IsRapidStyle(segs[0].style));
  EXPECT_TRUE(IsRapidStyle(segs[1].style));
  EXPECT_TRUE(IsFeedStyle(segs[2].style));
  EXPECT_TRUE(IsRapidStyle(segs[3].style));
  EXPECT_TRUE(IsRapidStyle(segs[4].style));
  ExpectPoint(EndOfLine(1), 10, 20, 10);

  const auto recs = RecordsOfLine(1);
  EXPECT_EQ(Kinds(recs), (std::vector<short>{1, 1, 2, 1, 1}));
  const double ends[5][3] = {{10, 20, 10}, {10, 20, 2}, {10, 20, -5}, {10, 20, 2}, {10, 20, 10}};
  for (std::size_t i = 0; i < recs.size() && i < 5; ++i) {
    SCOPED_TRACE(i);
    ExpectPoint(recs[i].position, ends[i][0], ends[i][1], ends[i][2]);
    // The cycle's programmed words travel with every generated record.
    ExpectPoint(recs[i].value, 10, 20, -5);
    EXPECT_DOUBLE_EQ(recs[i].r, 2.0);
    EXPECT_DOUBLE_EQ(recs[i].feed, 100.0);
  }
}

TEST_F(CycleTest, DrillStopsAtRLevelUnderG99AndRepeatsThere) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G81 X10 Y20 Z-5 R2 F100\n"
        u"X30\n");
  ExpectChain(SegmentsOfLine(1), {P(0, 0, 10), P(10, 20, 10), P(10, 20, 2), P(10, 20, -5), P(10, 20, 2)});
  // The repeat moves over at the R level: no move down to R is needed.
  ExpectChain(SegmentsOfLine(2), {P(10, 20, 2), P(30, 20, 2), P(30, 20, -5), P(30, 20, 2)});
  EXPECT_EQ(Kinds(RecordsOfLine(2)), (std::vector<short>{1, 2, 1}));
  ExpectPoint(EndOfLine(2), 30, 20, 2);
}

TEST_F(CycleTest, ReturnLevelDefaultsToInitialLevelUntilProgrammed) {
  auto& program = Parse(u"G90 G0 X0 Y0 Z10\n"
                        u"G81 X10 Y0 Z-5 R2\n");
  EXPECT_EQ(program.GetModalCode(29), -1);
  ExpectPoint(EndOfLine(1), 10, 0, 10);
  const auto* cycle = dynamic_cast<const CGCInstructionCC*>(CGCBlock::FindLastMotion(BlockOfLine(1)));
  ASSERT_NE(cycle, nullptr);
  EXPECT_EQ(cycle->ReturnMode(), 1);
}

TEST_F(CycleTest, CoordinateLinesRepeatTheCycleUntilG80) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G81 X10 Y20 Z-5 R2 F100\n"
        u"X30\n"
        u"Y40\n"
        u"G80\n"
        u"X0 Y0\n");
  // Each repeat drills to the programmed bottom from the initial level.
  ExpectChain(SegmentsOfLine(2),
              {P(10, 20, 10), P(30, 20, 10), P(30, 20, 2), P(30, 20, -5), P(30, 20, 2), P(30, 20, 10)});
  ExpectChain(SegmentsOfLine(3),
              {P(30, 20, 10), P(30, 40, 10), P(30, 40, 2), P(30, 40, -5), P(30, 40, 2), P(30, 40, 10)});
  EXPECT_TRUE(SegmentsOfLine(4).empty());
  // After G80 a line of coordinates is a rapid move, at the level the last
  // cycle left the tool.
  const auto after = SegmentsOfLine(5);
  ExpectChain(after, {P(30, 40, 10), P(0, 0, 10)});
  ASSERT_EQ(after.size(), 1u);
  EXPECT_TRUE(IsRapidStyle(after[0].style));
  EXPECT_EQ(Kinds(RecordsOfLine(5)), (std::vector<short>{1}));
}

TEST_F(CycleTest, MoveAfterCycleKeepsTheReturnLevel) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G81 X10 Y20 Z-5 R2 F100\n"
        u"G80 G0 X50\n"
        u"G1 Y0\n");
  // Neither move goes down to the hole bottom or back to the hole.
  ExpectChain(SegmentsOfLine(2), {P(10, 20, 2), P(50, 20, 2)});
  ExpectChain(SegmentsOfLine(3), {P(50, 20, 2), P(50, 0, 2)});
}

TEST_F(CycleTest, CycleReportsNoRecordOfItsOwnKind) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G81 X10 Y0 Z-5 R2 F100\n"
        u"X20\n");
  const auto recs = RecordsOfLine(-1);
  ASSERT_FALSE(recs.empty());
  for (const Record& r : recs) EXPECT_NE(r.kind, kKindCycle);
}

// ------------------------------------------------------- other cycles

TEST_F(CycleTest, SpotDrillDwellsAtTheBottom) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G82 X5 Y5 Z-3 R1 P0.5 F80\n");
  ExpectChain(SegmentsOfLine(1), {P(0, 0, 10), P(5, 5, 10), P(5, 5, 1), P(5, 5, -3), P(5, 5, 1)});
  const auto recs = RecordsOfLine(1);
  ASSERT_EQ(Kinds(recs), (std::vector<short>{1, 1, 2, 16, 1}));
  EXPECT_DOUBLE_EQ(recs[3].value.x, 0.5);  // the dwell time
}

TEST_F(CycleTest, PeckDrillRetractsToRAfterEachPeck) {
  // Depth 5 below R in pecks of 2; the clearance is 1.
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G83 X5 Y0 Z-5 R0 Q2 F100\n");
  const auto segs = SegmentsOfLine(1);
  ExpectChain(segs, {P(0, 0, 10), P(5, 0, 10), P(5, 0, 0),     // position, down to R
                     P(5, 0, -2), P(5, 0, 0),                  // peck 2, back to R
                     P(5, 0, -1), P(5, 0, -4), P(5, 0, 0),     // to 1 above, peck 3, back
                     P(5, 0, -3), P(5, 0, -5), P(5, 0, 0),     // to 1 above, last 2, back
                     P(5, 0, 10)});                            // up to the initial level
  EXPECT_EQ(Kinds(RecordsOfLine(1)), (std::vector<short>{1, 1, 2, 1, 1, 2, 1, 1, 2, 1, 1}));
  // Pecks are drawn in their own colour; the library's feed style is unchanged.
  const CPathStyle& feed = Lib().styles[kStyleFeed];
  EXPECT_EQ(feed.r, 0.f);
  EXPECT_EQ(feed.g, 1.f);
  EXPECT_EQ(feed.b, 0.f);
  for (int i : {2, 5, 8}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(segs[i].style.r, 0.f);
    EXPECT_EQ(segs[i].style.g, 1.f);
    EXPECT_EQ(segs[i].style.b, 1.f);
    EXPECT_EQ(segs[i].style.width, 1.5f);
  }
}

TEST_F(CycleTest, PeckColourDoesNotRecolourLaterFeedMoves) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G83 X5 Y0 Z-5 R0 Q2 F100\n"
        u"G80 G1 X20\n");
  const auto line = SegmentsOfLine(2);
  ASSERT_EQ(line.size(), 1u);
  EXPECT_EQ(line[0].style.r, 0.f);
  EXPECT_EQ(line[0].style.g, 1.f);
  EXPECT_EQ(line[0].style.b, 0.f);
}

TEST_F(CycleTest, HighSpeedPeckRetractsByTheClearance) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G73 X5 Y0 Z-5 R0 Q3 F100\n");
  ExpectChain(SegmentsOfLine(1), {P(0, 0, 10), P(5, 0, 10), P(5, 0, 0),  //
                                  P(5, 0, -3), P(5, 0, -2),              // feed 3, retract 1
                                  P(5, 0, -5), P(5, 0, -4),              // feed 3, retract 1
                                  P(5, 0, -5), P(5, 0, 0)});             // feed 1, back to R
  EXPECT_EQ(Kinds(RecordsOfLine(1)), (std::vector<short>{1, 1, 2, 1, 2, 1, 2, 1}));
}

TEST_F(CycleTest, HighSpeedPeckRefusesQNotAboveTheClearance) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G73 X5 Y0 Z-5 R0 Q1 F100\n"
        u"G80 G0 X0\n");
  const auto msgs = Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0], u"Q value is too small!");
  // The hole is positioned but not drilled.
  const auto* cycle = dynamic_cast<const CGCInstructionCC*>(CGCBlock::FindLastMotion(BlockOfLine(1)));
  ASSERT_NE(cycle, nullptr);
  EXPECT_EQ(cycle->Generated().size(), 2u);
  ExpectPoint(EndOfLine(1), 5, 0, 0);
  // The path ends before the block with the message.
  EXPECT_EQ(PathBlockCount(), 2u);  // the preamble and line 0 only
  EXPECT_TRUE(SegmentsOfLine(1).empty());
}

TEST_F(CycleTest, TappingReversesTheSpindleAndFeedsOut) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G84 X5 Y0 Z-5 R2 P0.2 F100\n"
        u"G98 G74 X8 Y0 Z-5 R2 P0.2 F100\n");
  const auto segs = SegmentsOfLine(1);
  ExpectChain(segs, {P(0, 0, 10), P(5, 0, 10), P(5, 0, 2), P(5, 0, -5), P(5, 0, 2), P(5, 0, 10)});
  ASSERT_EQ(segs.size(), 5u);
  EXPECT_TRUE(IsFeedStyle(segs[3].style));  // out at feed
  const auto right = RecordsOfLine(1);
  EXPECT_EQ(Kinds(right), (std::vector<short>{1, 1, 2, 16, 11, 2, 10, 1}));
  const auto left = RecordsOfLine(2);
  EXPECT_EQ(Kinds(left), (std::vector<short>{1, 1, 2, 16, 10, 2, 11, 1}));
}

TEST_F(CycleTest, BoringCyclesLeaveTheHoleAsAMachinistExpects) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G85 X1 Y0 Z-5 R2 F100\n"
        u"G99 G86 X2 Y0 Z-5 R2\n"
        u"G99 G89 X3 Y0 Z-5 R2 P1.\n");
  EXPECT_EQ(Kinds(RecordsOfLine(1)), (std::vector<short>{1, 1, 2, 2}));              // feed out
  EXPECT_EQ(Kinds(RecordsOfLine(2)), (std::vector<short>{1, 2, 12, 1, 10}));         // stop, rapid out
  EXPECT_EQ(Kinds(RecordsOfLine(3)), (std::vector<short>{1, 2, 16, 2}));             // dwell, feed out
  ExpectChain(SegmentsOfLine(2), {P(1, 0, 2), P(2, 0, 2), P(2, 0, -5), P(2, 0, 2)});
}

TEST_F(CycleTest, FineBoringShiftsAwayFromTheWallBeforeLeaving) {
  // The shift Q runs along the plane's second axis.
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G76 X5 Y0 Z-5 R2 Q0.5 F100\n");
  ExpectChain(SegmentsOfLine(1), {P(0, 0, 10), P(5, 0, 10), P(5, 0, 2), P(5, 0, -5),  //
                                  P(5, 0.5, -5), P(5, 0.5, 2), P(5, 0.5, 10), P(5, 0, 10)});
  EXPECT_EQ(Kinds(RecordsOfLine(1)), (std::vector<short>{1, 1, 2, 16, 12, 1, 1, 1, 1, 10}));
}

TEST_F(CycleTest, BackBoringFeedsUpFromBelowThePart) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G87 X5 Y0 Z-2 R-10 Q1 F100\n");
  ExpectChain(SegmentsOfLine(1), {P(0, 0, 10), P(5, 0, 10), P(5, 1, 10), P(5, 1, -10), P(5, 0, -10),
                                  P(5, 0, -2), P(5, 1, -2), P(5, 1, 10), P(5, 0, 10)});
}

// --------------------------------------------------------- repetitions

TEST_F(CycleTest, IncrementalRepeatCountDrillsAlongTheShift) {
  // G91: R is counted from the initial level (10 - 2), Z from R (8 - 5).
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G91 G81 X10 Y0 Z-5 R-2 K3 F100\n"
        u"G90 G0 Z20\n");
  ExpectChain(SegmentsOfLine(1), {P(0, 0, 10), P(10, 0, 10), P(10, 0, 8), P(10, 0, 3), P(10, 0, 8), P(10, 0, 10),
                                  P(20, 0, 10), P(20, 0, 8), P(20, 0, 3), P(20, 0, 8), P(20, 0, 10),
                                  P(30, 0, 10), P(30, 0, 8), P(30, 0, 3), P(30, 0, 8), P(30, 0, 10)});
  ExpectPoint(EndOfLine(1), 30, 0, 10);
  // The next move starts and stays over the last hole.
  ExpectChain(SegmentsOfLine(2), {P(30, 0, 10), P(30, 0, 20)});
}

TEST_F(CycleTest, IncrementalRepeatOnACoordinateLineContinuesFromTheLastHole) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G91 G99 G81 X10 Y0 Z-5 R-2 K2 F100\n"
        u"Y10\n");
  ExpectPoint(EndOfLine(1), 20, 0, 8);
  // Same depth below R, R still counted from the initial level.
  ExpectChain(SegmentsOfLine(2), {P(20, 0, 8), P(20, 10, 8), P(20, 10, 3), P(20, 10, 8)});
}

TEST_F(CycleTest, AbsoluteRepeatCountDrillsTheSameHoleAgain) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G81 X10 Y0 Z-5 R2 K3 F100\n");
  ExpectChain(SegmentsOfLine(1), {P(0, 0, 10), P(10, 0, 10), P(10, 0, 2), P(10, 0, -5), P(10, 0, 2), P(10, 0, 10),
                                  P(10, 0, 2), P(10, 0, -5), P(10, 0, 2), P(10, 0, 10),
                                  P(10, 0, 2), P(10, 0, -5), P(10, 0, 2), P(10, 0, 10)});
}

TEST_F(CycleTest, RepeatCountOfTenThousandOrBeyondIntDoesNothing) {
  for (const char16_t* k : {u"K10000", u"K2147483648", u"K99999999999999999999"}) {
    SCOPED_TRACE(plat::WideToUtf8(k));
    Parse(u"G90 G0 X0 Y0 Z10\n"
          u"G81 X10 Y20 Z-5 R2 " + std::u16string(k) + u" F100\n" + u"G80 G0 Z30\n");
    EXPECT_TRUE(SegmentsOfLine(1).empty());
    EXPECT_TRUE(RecordsOfLine(1).empty());
    ExpectPoint(EndOfLine(1), 0, 0, 10);
    // The tool did not move: the next move leaves from where it was.
    ExpectChain(SegmentsOfLine(2), {P(0, 0, 10), P(0, 0, 30)});
  }
}

TEST_F(CycleTest, RepeatCountBelowOneDrillsOnce) {
  for (const char16_t* k : {u"", u"K0", u"K-3", u"K-99999999999999"}) {
    Parse(u"G90 G0 X0 Y0 Z10\n"
          u"G99 G81 X10 Y20 Z-5 R2 " + std::u16string(k) + u" F100\n");
    EXPECT_EQ(SegmentsOfLine(1).size(), 4u);
  }
}

TEST_F(CycleTest, RepeatShiftsUseTheAxesOfTheZXPlane) {
  // G18: the plane's axes are Z and X, the drilling axis is Y. The start
  // has Y = Z so the initial level is 10 on either reading.
  Parse(u"G90 G0 X0 Y10 Z10\n"
        u"G18 G91 G81 X10 Z0 Y-5 R-2 K2 F100\n");
  ExpectChain(SegmentsOfLine(1), {P(0, 10, 10), P(10, 10, 10), P(10, 8, 10), P(10, 3, 10), P(10, 8, 10),
                                  P(10, 10, 10), P(20, 10, 10), P(20, 8, 10), P(20, 3, 10), P(20, 8, 10),
                                  P(20, 10, 10)});
  const auto recs = RecordsOfLine(1);
  ASSERT_EQ(recs.size(), 10u);
  ExpectPoint(recs[2].position, 10, 3, 10);
}

TEST_F(CycleTest, InitialLevelIsTakenAlongTheDrillingAxisOfThePlane) {
  // G18 drills along Y: under G98 the hole returns to the start's Y (15),
  // not to its Z (10).
  Parse(u"G90 G0 X0 Y15 Z10\n"
        u"G18 G98 G81 X10 Z10 Y-5 R2 F100\n");
  const auto segments = SegmentsOfLine(1);
  ASSERT_FALSE(segments.empty());
  ExpectPoint(segments.back().to, 10, 15, 10);
}

TEST_F(CycleTest, RepeatShiftsUseTheAxesOfTheYZPlane) {
  // G19: the plane's axes are Y and Z, the drilling axis is X.
  Parse(u"G90 G0 X10 Y0 Z10\n"
        u"G19 G91 G81 Y10 Z0 X-5 R-2 K2 F100\n");
  ExpectChain(SegmentsOfLine(1), {P(10, 0, 10), P(10, 10, 10), P(8, 10, 10), P(3, 10, 10), P(8, 10, 10),
                                  P(10, 10, 10), P(10, 20, 10), P(8, 20, 10), P(3, 20, 10), P(8, 20, 10),
                                  P(10, 20, 10)});
}

TEST_F(CycleTest, InchModeConvertsLengthsButNotDwellOrRepeatCount) {
  // X, Z, R in inches; P (dwell) and K (count) as written.
  Parse(u"G20 G90 G0 X0 Y0 Z1\n"
        u"G98 G82 X1 Y0 Z-0.5 R0.1 P0.5 K2 F1\n");
  const auto recs = RecordsOfLine(1);
  ASSERT_EQ(Kinds(recs), (std::vector<short>{1, 1, 2, 16, 1, 1, 1, 2, 16, 1, 1}));
  ExpectPoint(recs[0].position, 25.4, 0, 25.4);
  ExpectPoint(recs[1].position, 25.4, 0, 2.54);
  ExpectPoint(recs[2].position, 25.4, 0, -12.7);
  EXPECT_DOUBLE_EQ(recs[3].value.x, 0.5);
  ExpectPoint(recs[5].position, 25.4, 0, 25.4);
}

// ------------------------------------------------------- work offsets

TEST_F(CycleTest, WorkOffsetMovesHoleLevelsAndBottom) {
  SetWorkOffset(1, 100, 50, -20);  // G54
  Parse(u"G90 G54 G0 X0 Y0 Z10\n"
        u"G99 G81 X10 Y20 Z-5 R2 F100\n");
  ExpectChain(SegmentsOfLine(1), {P(100, 50, -10), P(110, 70, -10), P(110, 70, -18), P(110, 70, -25),
                                  P(110, 70, -18)});
}

TEST_F(CycleTest, CycleAfterWorkOffsetChangeKeepsUnprogrammedAxes) {
  SetWorkOffset(2, 100, 40, 0);  // G55
  Parse(u"G90 G0 X0 Y7 Z10\n"
        u"G55\n"
        u"G99 G81 X5 Z-1 R1 F100\n"
        u"G80 G0 X0\n");
  // Y is not programmed: the hole stays at the tool's Y.
  ExpectChain(SegmentsOfLine(2), {P(0, 7, 10), P(105, 7, 10), P(105, 7, 1), P(105, 7, -1), P(105, 7, 1)});
  ExpectChain(SegmentsOfLine(3), {P(105, 7, 1), P(100, 7, 1)});
}

// ------------------------------------------------------------ bounds

TEST_F(CycleTest, TinyPeckDepthIsBoundedAndReported) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G83 X5 Y0 Z-5 R0 Q0.0001 F100\n"
        u"G99 G73 X6 Y0 Z-100 R0 Q1.00001 F100\n");
  const auto* peck = dynamic_cast<const CGCInstructionCC*>(CGCBlock::FindLastMotion(BlockOfLine(1)));
  const auto* high = dynamic_cast<const CGCInstructionCC*>(CGCBlock::FindLastMotion(BlockOfLine(2)));
  ASSERT_NE(peck, nullptr);
  ASSERT_NE(high, nullptr);
  EXPECT_LE(peck->Generated().size(), 10u);
  EXPECT_LE(high->Generated().size(), 10u);
  ASSERT_TRUE(BlockOfLine(1)->HasMessages());
  ASSERT_TRUE(BlockOfLine(2)->HasMessages());
  EXPECT_EQ(BlockOfLine(1)->GetMessagesIfAny()->size(), 1u);
  // The hole still reaches its bottom and the cycle ends at R.
  ExpectPoint(EndOfLine(1), 5, 0, 0);
  ExpectPoint(EndOfLine(2), 6, 0, 0);
}

TEST_F(CycleTest, PeckCountJustBelowTheBoundIsDrilled) {
  // 0.5 / 0.0001 = 5000 pecks of G83 (each with a retract and a re-approach).
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G83 X5 Y0 Z-0.5 R0 Q0.0001 F100\n");
  EXPECT_FALSE(BlockOfLine(1)->HasMessages());
  const auto* peck = dynamic_cast<const CGCInstructionCC*>(CGCBlock::FindLastMotion(BlockOfLine(1)));
  ASSERT_NE(peck, nullptr);
  EXPECT_GT(peck->Generated().size(), 14000u);
  ExpectPoint(EndOfLine(1), 5, 0, 0);
}

TEST_F(CycleTest, ThousandsOfHolesExpandOnce) {
  std::u16string text = u"G90 G0 X0 Y0 Z10\nG99 G81 X0 Y0 Z-5 R2 F100\n";
  for (int i = 1; i < 3000; ++i) text += u"X" + plat::FormatIntW(i) + u" Y" + plat::FormatIntW(i % 7) + u"\n";
  Parse(text);
  std::size_t moves = 0;
  for (const Record& r : RecordsOfLine(-1)) moves += (r.kind == kKindRapid || r.kind == kKindLine) ? 1 : 0;
  // Line 0: one rapid; the first hole (under the tool already): down to R,
  // feed, back to R; each further hole: positioning, feed, back to R.
  EXPECT_EQ(moves, 1u + 3u + 2999u * 3u);
  ExpectPoint(EndOfLine(3000), 2999, 2999 % 7, 2);
}

}  // namespace
}  // namespace quillet::test
