// Canned cycles through a real parse: the moves each shipped script draws and
// reports, return levels, repetitions, modal repeats, planes, inch words,
// work offsets and the bounds. Every expected point is worked out by hand
// from the program text.
#include <algorithm>
#include <cmath>
#include <tuple>

#include "ProgramFixture.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Text.h"

namespace quillet::test {
namespace {

using P = CPoint3d;

struct Segment { CPoint3d from, to; CPathStyle style; };
struct Record { int line; short kind; CPoint3d value, position; double r, feed; };

std::vector<Record>* g_records = nullptr;

int CollectRecord(int* line, short* kind, double* xv, double* yv, double* zv, double* xp, double* yp, double* zp,
                  double*, double*, double*, double* r, double*, double*, double* feed) {
  g_records->push_back({*line, *kind, {*xv, *yv, *zv}, {*xp, *yp, *zp}, *r, *feed});
  return 1;
}

// Colour and width of a drawn style.
std::tuple<float, float, float, float> Look(const CPathStyle& s) { return {s.r, s.g, s.b, s.width}; }

class CycleTest : public ProgramTest {
 protected:
  // The segments drawn for a line, point to point over its polylines.
  std::vector<Segment> SegmentsOfLine(int line) {
    std::vector<Segment> out;
    if (const CPathList* list = ListOfLine(*m_program->GetCutterPath(false), line))
      for (CPathPolyline* p : *list)
        for (int i = 0; i + 1 < p->PointCount(); ++i) out.push_back({p->Point(i), p->Point(i + 1), p->Style()});
    return out;
  }
  // Expects the segments of a line to run through the points in order.
  void ExpectChain(int line, const std::vector<CPoint3d>& points) {
    SCOPED_TRACE(testing::Message() << "line " << line);
    const auto segs = SegmentsOfLine(line);
    ASSERT_EQ(segs.size() + 1, points.size());
    for (std::size_t s = 0; s < segs.size(); ++s) {
      ExpectPoint(segs[s].from, points[s]);
      ExpectPoint(segs[s].to, points[s + 1]);
    }
  }
  // Simulates the program: the records of a line, without the modal-state
  // kinds (19 and above).
  std::vector<Record> RecordsOfLine(int line) {
    std::vector<Record> all;
    g_records = &all;
    Lib().command = &CollectRecord;
    m_program->AutoRun();
    Lib().command = nullptr;
    std::vector<Record> out;
    std::copy_if(all.begin(), all.end(), std::back_inserter(out), [&](auto& r) { return r.line == line && r.kind < 19; });
    return out;
  }
  std::vector<short> KindsOfLine(int line) {
    std::vector<short> k;
    for (const Record& r : RecordsOfLine(line)) k.push_back(r.kind);
    return k;
  }
};

// ------------------------------------------------------------ levels

TEST_F(CycleTest, DrillReturnsToTheInitialLevelByDefault) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G81 X10 Y20 Z-5 R2 F100\n");
  ExpectChain(1, {P(0, 0, 10), P(10, 20, 10), P(10, 20, 2), P(10, 20, -5), P(10, 20, 2), P(10, 20, 10)});
  const auto segs = SegmentsOfLine(1);
  const auto recs = RecordsOfLine(1);
  ASSERT_EQ(segs.size(), 5u);
  ASSERT_EQ(recs.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    // Only the feed to the bottom is green and reported as a feed.
    EXPECT_EQ(Look(segs[i].style), std::tuple(0.f, 1.f, i == 2 ? 0.f : 1.f, i == 2 ? 1.5f : 1.f));
    EXPECT_EQ(recs[i].kind, i == 2 ? kKindLine : kKindRapid);
    ExpectPoint(recs[i].position, segs[i].to);
    // The cycle's programmed words travel with every generated record.
    ExpectPoint(recs[i].value, 10, 20, -5);
    EXPECT_EQ(recs[i].r, 2.0);
    EXPECT_EQ(recs[i].feed, 100.0);
  }
}

TEST_F(CycleTest, CoordinateLinesRepeatTheCycleUntilG80AndG99StopsAtR) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G81 X10 Y20 Z-5 R2 F100\n"
        u"X30\n"
        u"G99 X50\n"
        u"X70\n"
        u"G80\n"
        u"X0 Y0\n");
  ExpectChain(2, {P(10, 20, 10), P(30, 20, 10), P(30, 20, 2), P(30, 20, -5), P(30, 20, 2), P(30, 20, 10)});
  ExpectChain(3, {P(30, 20, 10), P(50, 20, 10), P(50, 20, 2), P(50, 20, -5), P(50, 20, 2)});
  // Under G99 the next hole is reached at the R level.
  ExpectChain(4, {P(50, 20, 2), P(70, 20, 2), P(70, 20, -5), P(70, 20, 2)});
  EXPECT_TRUE(SegmentsOfLine(5).empty());
  // After G80 a line of coordinates is one rapid at the level the cycle left.
  ExpectChain(6, {P(70, 20, 2), P(0, 0, 2)});
  EXPECT_EQ(KindsOfLine(6), (std::vector<short>{1}));
}

// ------------------------------------------------------------- pecks

TEST_F(CycleTest, PeckDrillRetractsToRInItsOwnColourAndLeavesTheFeedStyle) {
  // Depth 5 below R in pecks of 2; the clearance is 1.
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G83 X5 Y0 Z-5 R0 Q2 F100\n"
        u"G80 G1 X20\n");
  ExpectChain(1, {P(0, 0, 10), P(5, 0, 10), P(5, 0, 0),  // position, down to R
                  P(5, 0, -2), P(5, 0, 0),               // peck 2, back to R
                  P(5, 0, -1), P(5, 0, -4), P(5, 0, 0),  // to 1 above, peck 3, back
                  P(5, 0, -3), P(5, 0, -5), P(5, 0, 0),  // to 1 above, last 2, back
                  P(5, 0, 10)});                         // up to the initial level
  EXPECT_EQ(KindsOfLine(1), (std::vector<short>{1, 1, 2, 1, 1, 2, 1, 1, 2, 1, 1}));
  const auto segs = SegmentsOfLine(1);
  for (std::size_t i : {2, 5, 8}) EXPECT_EQ(Look(segs.at(i).style), std::tuple(0.f, 1.f, 1.f, 1.5f));
  // The next feed move is drawn green as before.
  const auto after = SegmentsOfLine(2);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(Look(after[0].style), std::tuple(0.f, 1.f, 0.f, 1.5f));
}

// G73: each peck ends Q deeper than the one before; between pecks the tool
// backs off by the clearance (1) and feeds on from there. Any Q above 0
// pecks, also one below the clearance; without Q, or with Q0, the hole is fed
// in one move.
TEST_F(CycleTest, HighSpeedPeckAdvancesByQAndRetractsByTheClearance) {
  struct Row {
    const char16_t* words;
    std::vector<CPoint3d> chain;  // after the positioning at (5, 0, 10)
  };
  const Row rows[] = {
      // R0 to Z-5 by 3: pecks end at -3 and -5.
      {u"Z-5 R0 Q3", {P(5, 0, 0), P(5, 0, -3), P(5, 0, -2), P(5, 0, -5), P(5, 0, 0)}},
      // R2 to Z-10 by 3: pecks end at -1, -4, -7 and -10.
      {u"Z-10 R2 Q3",
       {P(5, 0, 2), P(5, 0, -1), P(5, 0, 0), P(5, 0, -4), P(5, 0, -3), P(5, 0, -7), P(5, 0, -6), P(5, 0, -10),
        P(5, 0, 2)}},
      // A Q below the clearance: pecks end at -0.5, -1, -1.5 and -2.
      {u"Z-2 R0 Q0.5",
       {P(5, 0, 0), P(5, 0, -0.5), P(5, 0, 0.5), P(5, 0, -1), P(5, 0, 0), P(5, 0, -1.5), P(5, 0, -0.5), P(5, 0, -2),
        P(5, 0, 0)}},
      // Depth an exact multiple of Q: the last peck ends at the bottom.
      {u"Z-6 R0 Q3", {P(5, 0, 0), P(5, 0, -3), P(5, 0, -2), P(5, 0, -6), P(5, 0, 0)}},
      {u"Z-5 R0 Q0", {P(5, 0, 0), P(5, 0, -5), P(5, 0, 0)}},
      {u"Z-5 R0", {P(5, 0, 0), P(5, 0, -5), P(5, 0, 0)}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(plat::WideToUtf8(row.words));
    Parse(u"G90 G0 X0 Y0 Z10\nG99 G73 X5 Y0 " + std::u16string(row.words) + u" F100\n");
    EXPECT_TRUE(Messages().empty());
    std::vector<CPoint3d> chain{P(0, 0, 10), P(5, 0, 10)};
    chain.insert(chain.end(), row.chain.begin(), row.chain.end());
    ExpectChain(1, chain);
  }
  // Kinds: the positioning and the approach to R rapid, then feed down and
  // rapid back per peck.
  Parse(u"G90 G0 X0 Y0 Z10\nG99 G73 X5 Y0 Z-5 R0 Q3 F100\n");
  EXPECT_EQ(KindsOfLine(1), (std::vector<short>{1, 1, 2, 1, 2, 1}));
}

TEST_F(CycleTest, PeckCountIsBoundedAndReported) {
  // The message tells what the block was read as; the program goes on.
  for (auto [line, x] : {std::pair{u"G99 G83 X5 Y0 Z-5 R0 Q0.0001 F100\n", 5.0},
                         std::pair{u"G99 G73 X6 Y0 Z-100 R0 Q0.001 F100\n", 6.0}}) {
    Parse(u"G90 G0 X0 Y0 Z10\n" + std::u16string(line) + u"G00 X0\n");
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(BlockOfLine(1)->HasMessages() && KindsOfLine(1).size() <= 10u);
    EXPECT_FALSE(BlockOfLine(1)->HasErrors());
    // The hole still reaches its bottom and the cycle ends at R.
    ExpectPoint(EndOfLine(1), x, 0, 0);
    ASSERT_NE(BlockOfLine(2), nullptr);
    ExpectPoint(EndOfLine(2), 0, 0, 0);
  }
  // 0.5 / 0.0001 = 5000 pecks, each with a retract and a re-approach: drilled.
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G83 X5 Y0 Z-0.5 R0 Q0.0001 F100\n");
  EXPECT_FALSE(BlockOfLine(1)->HasMessages());
  EXPECT_GT(KindsOfLine(1).size(), 14000u);
}

// --------------------------------------------------- the other cycles

TEST_F(CycleTest, OtherCyclesReportTheirSpindleDwellAndExitMoves) {
  // Kinds: 1 rapid, 2 feed, 10 spindle clockwise, 11 counter-clockwise,
  // 12 spindle stop, 16 dwell.
  const std::pair<const char16_t*, std::vector<short>> rows[] = {
      {u"G99 G82 X5 Y5 Z-3 R1 P0.5 F80", {1, 1, 2, 16, 1}},                 // dwell, rapid out
      {u"G98 G84 X5 Y0 Z-5 R2 P0.2 F100", {1, 1, 2, 16, 11, 2, 10, 1}},     // reverse, feed out
      {u"G99 G85 X1 Y0 Z-5 R2 F100", {1, 1, 2, 2}},                         // feed out
      {u"G99 G86 X2 Y0 Z-5 R2 F100", {1, 1, 2, 12, 1, 10}},                 // stop, rapid out
      {u"G99 G89 X3 Y0 Z-5 R2 P1. F100", {1, 1, 2, 16, 2}},                 // dwell, feed out
      {u"G98 G76 X5 Y0 Z-5 R2 Q0.5 F100", {1, 1, 2, 16, 12, 1, 1, 1, 1, 10}},
  };
  for (const auto& [line, kinds] : rows) {
    SCOPED_TRACE(plat::WideToUtf8(line));
    Parse(u"G90 G0 X0 Y0 Z10\n" + std::u16string(line) + u"\n");
    EXPECT_EQ(KindsOfLine(1), kinds);
  }
}

TEST_F(CycleTest, BoringCyclesShiftAwayFromTheWall) {
  // G76 shifts by Q along the plane's second axis before leaving; G87 feeds
  // up from below the part.
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G98 G76 X5 Y0 Z-5 R2 Q0.5 F100\n"
        u"G80 G0 X0\n"
        u"G87 X5 Y0 Z-2 R-10 Q1 F100\n");
  ExpectChain(1, {P(0, 0, 10), P(5, 0, 10), P(5, 0, 2), P(5, 0, -5),  //
                  P(5, 0.5, -5), P(5, 0.5, 2), P(5, 0.5, 10), P(5, 0, 10)});
  ExpectChain(3, {P(0, 0, 10), P(5, 0, 10), P(5, 1, 10), P(5, 1, -10), P(5, 0, -10), P(5, 0, -2), P(5, 1, -2),
                  P(5, 1, 10), P(5, 0, 10)});
}

// --------------------------------------------------------- repetitions

TEST_F(CycleTest, IncrementalRepeatCountDrillsAlongTheShift) {
  // G91: R is counted from the initial level (10 - 2), Z from R (8 - 5).
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G91 G81 X10 Y0 Z-5 R-2 K3 F100\n"
        u"G90 G0 Z20\n");
  ExpectChain(1, {P(0, 0, 10), P(10, 0, 10), P(10, 0, 8), P(10, 0, 3), P(10, 0, 8), P(10, 0, 10),
                  P(20, 0, 10), P(20, 0, 8), P(20, 0, 3), P(20, 0, 8), P(20, 0, 10),
                  P(30, 0, 10), P(30, 0, 8), P(30, 0, 3), P(30, 0, 8), P(30, 0, 10)});
  // The next move starts and stays over the last hole.
  ExpectChain(2, {P(30, 0, 10), P(30, 0, 20)});
}

TEST_F(CycleTest, NegativeRepeatCountDrillsOnceAndFromTenThousandNothing) {
  for (const char16_t* k : {u"", u"K-99999999999999", u"K10000", u"K2147483648", u"K99999999999999999999"}) {
    SCOPED_TRACE(plat::WideToUtf8(k));
    const bool drilled = std::u16string(k).empty() || k[1] == u'-';
    Parse(u"G90 G0 X0 Y0 Z10\n"
          u"G99 G81 X10 Y20 Z-5 R2 " + std::u16string(k) + u" F100\n" + u"G80 G0 Z30\n");
    EXPECT_EQ(SegmentsOfLine(1).size(), drilled ? 4u : 0u);
    EXPECT_EQ(RecordsOfLine(1).size(), drilled ? 4u : 0u);
    // Without a hole the tool did not move: the next move leaves from where it was.
    ExpectChain(2, {drilled ? P(10, 20, 2) : P(0, 0, 10), drilled ? P(10, 20, 30) : P(0, 0, 30)});
  }
}

TEST_F(CycleTest, PolarRepeatCountStepsTheAngle) {
  // G16: X is the radius and Y the angle; G91 Y45 K3 drills three holes 45
  // degrees apart on the radius-50 circle, from 45 degrees on.
  Parse(u"G90 G17 G0 X0 Y0 Z10\n"
        u"G16\n"
        u"G99 G81 X50 Y0 Z-5 R2 F100\n"
        u"G91 Y45 K3\n"
        u"Y45\n");
  ASSERT_TRUE(Messages().empty());
  const double h = 25 * std::sqrt(2.0);
  ExpectChain(3, {P(50, 0, 2), P(h, h, 2), P(h, h, -5), P(h, h, 2),  //
                  P(0, 50, 2), P(0, 50, -5), P(0, 50, 2),            //
                  P(-h, h, 2), P(-h, h, -5), P(-h, h, 2)});
  // The next step goes on from the last hole's angle.
  ExpectChain(4, {P(-h, h, 2), P(-50, 0, 2), P(-50, 0, -5), P(-50, 0, 2)});
}

TEST_F(CycleTest, PolarRepeatsUnderScalingAndRotationTurnAboutTheDrawnPole) {
  // Holes at radius 10 about the work zero, at 180, 270 and 360 degrees
  // (90-degree steps after the stored cycle at 90), the whole pattern
  // scaled or turned about the zero as the machine drills it.
  const struct {
    const char16_t* transform;
    std::vector<CPoint3d> bottoms;
  } cases[] = {
      {u"G51 X0 Y0 P2000", {P(-20, 0, -5), P(0, -20, -5), P(20, 0, -5)}},
      {u"G68 X0 Y0 R90", {P(0, -10, -5), P(10, 0, -5), P(0, 10, -5)}},
      {u"G51 X0 Y0 I2000 J1000", {P(-20, 0, -5), P(0, -10, -5), P(20, 0, -5)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(plat::WideToUtf8(c.transform));
    Parse(u"G90 G17 G0 X0 Y0 Z10\n" + std::u16string(c.transform) +
          u"\nG16\n"
          u"G99 G81 X10 Y90 Z-5 R2 F100 K0\n"
          u"G91 Y90 K3\n");
    ASSERT_TRUE(Messages().empty());
    // The hole bottoms: the lowest points of the line (Z is scaled too).
    const std::vector<Segment> segments = SegmentsOfLine(4);
    double low = 1e9;
    for (const Segment& s : segments) low = std::min(low, s.to.z);
    std::vector<CPoint3d> bottoms;
    for (const Segment& s : segments)
      if (std::abs(s.to.z - low) < 1e-9) bottoms.push_back({s.to.x, s.to.y, -5});
    ASSERT_EQ(bottoms.size(), c.bottoms.size());
    for (std::size_t i = 0; i < bottoms.size(); ++i) ExpectPoint(bottoms[i], c.bottoms[i]);
  }
}

// Every move a cycle makes counts as two executed blocks: a cycle with ten
// thousand repeats of a thousand pecks, or cycles in an endless loop, stop
// the program with a message instead of taking all the memory there is.
TEST_F(CycleTest, CycleMovesCountAgainstTheExecutedBlockLimit) {
  const struct {
    const char16_t* program;
    int line;  // of the message
  } cases[] = {
      {u"G90 G0 X0 Y0 Z10\nG91 G99 G83 X1 Y0 Z-100 R-5 Q0.1 K9999 F100\nG90 G0 X0\n", 1},
      {u"G90 G0 X0 Y0 Z10\nG91 G99 G81 X1 Y0 Z-10 R-5 K9999 F100\n", 1},
      {u"G90 G0 X0 Y0 Z10\nWHILE [1 LT 2] DO1\nG99 G83 X1 Y0 Z-5 R2 Q0.5 F100\nEND1\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(plat::WideToUtf8(c.program));
    CGCProgram::SetExecutedBlockLimit(5000);
    Parse(c.program);
    EXPECT_EQ(Messages(), std::vector<std::u16string>{
                              u"Program stopped: the canned cycles make too many moves (endless loop or large "
                              u"repeat count?)"});
    ASSERT_NE(BlockOfLine(c.line), nullptr);
    EXPECT_NE(BlockOfLine(c.line)->GetMessagesIfAny(), nullptr);
    // Each move counts twice against the 5000 blocks.
    std::size_t moves = 0;
    for (const CPathList& list : *m_program->GetCutterPath(false))
      for (const CPathPolyline* p : list) moves += static_cast<std::size_t>(p->PointCount() - 1);
    EXPECT_LE(moves, 2500u);
  }
}

TEST_F(CycleTest, RepeatCountZeroStoresTheCycleForTheNextPositions) {
  Parse(u"G90 G0 X0 Y0 Z10\n"
        u"G99 G81 X10 Y20 Z-5 R2 K0 F100\n"
        u"X30\n");
  ASSERT_TRUE(Messages().empty());
  EXPECT_TRUE(SegmentsOfLine(1).empty());
  EXPECT_TRUE(RecordsOfLine(1).empty());
  // The tool did not move: the hole is at X30 and the Y where it stands.
  ExpectChain(2, {P(0, 0, 10), P(30, 0, 10), P(30, 0, 2), P(30, 0, -5), P(30, 0, 2)});
}

TEST_F(CycleTest, G98ReturnsToTheInitialLevelBelowR) {
  Parse(u"G90 G0 X0 Y0 Z20\n"
        u"G98 G81 X10 Y0 Z-5 R30 F100\n"
        u"G80 G0 X0\n");
  ExpectChain(1, {P(0, 0, 20), P(10, 0, 20), P(10, 0, 30), P(10, 0, -5), P(10, 0, 30), P(10, 0, 20)});
  ExpectChain(2, {P(10, 0, 20), P(0, 0, 20)});
}

TEST_F(CycleTest, SpindleRecordsCarryTheProgrammedSpeed) {
  for (const char16_t* text : {u"S500 M03\nG98 G84 X5 Y0 Z-5 R2 P0.2 F100\n", u"M03\nG98 G84 X5 Y0 Z-5 R2 P0.2 F100 S500\n"}) {
    SCOPED_TRACE(plat::WideToUtf8(text));
    Parse(u"G90 G0 X0 Y0 Z10\n" + std::u16string(text));
    std::vector<std::pair<short, double>> spindle;
    for (const Record& r : RecordsOfLine(2))
      if (r.kind == 10 || r.kind == 11) spindle.emplace_back(r.kind, r.value.x);
    EXPECT_EQ(spindle, (std::vector<std::pair<short, double>>{{11, 500.0}, {10, 500.0}}));
  }
}

TEST_F(CycleTest, ZXPlaneDrillsAlongYFromTheInitialLevelOfY) {
  // G18: the plane's axes are Z and X, the drilling axis is Y. Under G98 the
  // holes return to the start's Y (15), not to its Z (10); R is 2 below it.
  Parse(u"G90 G0 X0 Y15 Z10\n"
        u"G18 G91 G98 G81 X10 Z0 Y-5 R-2 K2 F100\n");
  ExpectChain(1, {P(0, 15, 10), P(10, 15, 10), P(10, 13, 10), P(10, 8, 10), P(10, 13, 10), P(10, 15, 10),
                  P(20, 15, 10), P(20, 13, 10), P(20, 8, 10), P(20, 13, 10), P(20, 15, 10)});
}

// ------------------------------------------------ units and offsets

TEST_F(CycleTest, InchModeConvertsLengthsButNotDwellOrRepeatCount) {
  Parse(u"G20 G90 G0 X0 Y0 Z1\n"
        u"G98 G82 X1 Y0 Z-0.5 R0.1 P0.5 K2 F1\n");
  const auto recs = RecordsOfLine(1);
  ASSERT_EQ(recs.size(), 11u);  // two holes: rapid, rapid, feed, dwell, rapid, then the second
  ExpectPoint(recs[0].position, 25.4, 0, 25.4);
  ExpectPoint(recs[1].position, 25.4, 0, 2.54);
  ExpectPoint(recs[2].position, 25.4, 0, -12.7);
  EXPECT_EQ(recs[3].kind, 16);
  EXPECT_DOUBLE_EQ(recs[3].value.x, 0.5);
  ExpectPoint(recs[5].position, 25.4, 0, 25.4);
}

TEST_F(CycleTest, WorkOffsetChangeMovesTheHoleAndKeepsUnprogrammedAxes) {
  SetWorkOffset(2, 100, 40, -20);  // G55
  Parse(u"G90 G0 X0 Y7 Z10\n"
        u"G55\n"
        u"G99 G81 X5 Z-1 R1 F100\n"
        u"G80 G0 X0\n");
  // Y is not programmed: the hole stays at the tool's Y. The levels move
  // with the offset's Z; the initial level is where the tool was.
  ExpectChain(2, {P(0, 7, 10), P(105, 7, 10), P(105, 7, -19), P(105, 7, -21), P(105, 7, -19)});
  ExpectChain(3, {P(105, 7, -19), P(100, 7, -19)});
}

}  // namespace
}  // namespace quillet::test
