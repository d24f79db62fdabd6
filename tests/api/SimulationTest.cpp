// Simulation (Code_AutoRun): the command records of moves, arcs and state
// codes; stopping on the host's answer; block highlighting (Code_SelBlock)
// and repeated path building.
#include <cmath>
#include <numbers>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class SimulationTest : public ApiTest {};

// The records of one line, in order.
std::vector<Record> OfLine(const std::vector<Record>& records, int line) {
  std::vector<Record> out;
  for (const Record& r : records)
    if (r.line == line) out.push_back(r);
  return out;
}

TEST_F(SimulationTest, RecordsOfMovesAndStateCodes) {
  Log().toolThird[5] = 50.0;
  PathGroups* paths = ParseProgram("records.nc");
  ASSERT_NE(paths, nullptr);
  const std::vector<Record> all = Simulate();
  ASSERT_FALSE(all.empty());
  // Line 0 is a comment: the preamble's records (also line 0) come alone.

  // N10 G01 X10 Y20 Z-1 F300: one record at the end point, feed 300.
  std::vector<Record> r = OfLine(all, 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 2);
  EXPECT_TRUE(Near(r[0].value, {10, 20, -1}));
  EXPECT_TRUE(Near(r[0].position, {10, 20, -1}));
  EXPECT_EQ(r[0].i, 0.0);
  EXPECT_EQ(r[0].j, 0.0);
  EXPECT_EQ(r[0].k, 0.0);
  EXPECT_EQ(r[0].r, 0.0);
  EXPECT_EQ(r[0].p, 0.0);
  EXPECT_EQ(r[0].q, 0.0);
  EXPECT_EQ(r[0].feed, 300.0);

  // G00 Z5: a rapid move reports the feed 3000.
  r = OfLine(all, 2);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 1);
  EXPECT_TRUE(Near(r[0].position, {10, 20, 5}));
  EXPECT_EQ(r[0].feed, 3000.0);

  // G90: one record of its modal group, 20; a line without a move has feed 0.
  r = OfLine(all, 3);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 20);
  EXPECT_EQ(r[0].feed, 0.0);

  // M03 S1200: spindle clockwise at the S of its line.
  r = OfKind(OfLine(all, 4), 10);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].position.x, 1200.0);
  // M05.
  EXPECT_EQ(OfKind(OfLine(all, 5), 12).size(), 1u);
  // S800 M03: the S before the M code counts too.
  r = OfKind(OfLine(all, 6), 10);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].position.x, 800.0);
  // M08 on, M09 off.
  r = OfLine(all, 7);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 9);
  EXPECT_EQ(r[0].position.x, 1.0);
  r = OfLine(all, 8);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 9);
  EXPECT_EQ(r[0].position.x, 0.0);
  // T5: tool ready, X position 5.
  r = OfLine(all, 9);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 17);
  EXPECT_EQ(r[0].position.x, 5.0);
  // M06: tool change to T5; keeps X and Y, Z goes to the host's third number.
  r = OfLine(all, 10);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 8);
  EXPECT_EQ(r[0].i, 5.0);
  EXPECT_TRUE(Near(r[0].position, {10, 20, 50}));
  // M00 and M01: program stop records with X position 0 and 1.
  r = OfLine(all, 11);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 15);
  EXPECT_EQ(r[0].position.x, 0.0);
  r = OfLine(all, 12);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 15);
  EXPECT_EQ(r[0].position.x, 1.0);
  // G04 P500: dwell with P.
  r = OfLine(all, 13);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].kind, 16);
  EXPECT_EQ(r[0].p, 500.0);
  // M30: stop record with X position 30.
  r = OfKind(OfLine(all, 14), 15);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].position.x, 30.0);

  // The closing record: line 0, kind 15, X position -100, everything else 0.
  const Record& last = all.back();
  EXPECT_EQ(last.line, 0);
  EXPECT_EQ(last.kind, 15);
  EXPECT_TRUE(Near(last.value, {0, 0, 0}, 0));
  EXPECT_TRUE(Near(last.position, {-100, 0, 0}, 0));
  EXPECT_EQ(last.i + last.j + last.k + last.r + last.p + last.q, 0.0);
  EXPECT_EQ(last.feed, 0.0);

  // The tool change is drawn in the feed style from (10, 20, 5) up to Z50.
  const CPathPolyline* p = OnlyPolyline(paths, 10);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kFeedStyle));
  ASSERT_EQ(p->PointCount(), 2);
  EXPECT_TRUE(Near(p->Point(0), {10, 20, 5}));
  EXPECT_TRUE(Near(p->Point(1), {10, 20, 50}));
}

// A quarter arc reports every odd point of its tessellation: 5, 15, ..., 85
// degrees, then the point at the full sweep (90 degrees, the end).
TEST_F(SimulationTest, ArcReportsEveryOddPointOfItsChords) {
  ASSERT_NE(ParseProgram("arc_quarter.nc"), nullptr);  // G03 X0 Y10 I-10 J0 F150 from (10, 0, 0)
  const std::vector<Record> r = OfLine(Simulate(), 1);
  ASSERT_EQ(r.size(), 10u);
  for (int n = 0; n < 10; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(r[n].kind, 4);
    EXPECT_TRUE(Near(r[n].value, {0, 10, 0}));
    EXPECT_EQ(r[n].feed, 150.0);
    const double a = (n < 9 ? 5.0 + 10.0 * n : 90.0) * std::numbers::pi / 180.0;
    EXPECT_TRUE(Near(r[n].position, {10 * std::cos(a), 10 * std::sin(a), 0}, 1e-9));
  }
}

// "M06 (TOOL 7)": the comment holds no address; the tool stays T3.
TEST_F(SimulationTest, CommentDoesNotChangeTheToolNumber) {
  ASSERT_NE(ParseProgram("tool_comment.nc"), nullptr);
  const std::vector<Record> changes = OfKind(Simulate(), 8);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].i, 3.0);
  for (int t : Log().toolQueries) EXPECT_EQ(t, 3);
}

// A zero answer from the host stops the simulation after that block; the
// closing record still comes.
TEST_F(SimulationTest, HostAnswerZeroStopsAfterThatBlock) {
  ASSERT_NE(ParseProgram("stop_on_state.nc"), nullptr);  // a move, M05, a move
  Log().answer = [](const Record& r) { return r.kind == 12 ? 0 : 1; };
  const std::vector<Record> all = Simulate();
  const std::vector<Record> moves = Motions(all);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].position.x, 1.0);
  EXPECT_EQ(OfKind(all, 12).size(), 1u);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.back().kind, 15);
  EXPECT_EQ(all.back().position.x, -100.0);
}

// A zero answer to a move's record stops the simulation after its block too
// (a host closing its window must not wait for the rest of the program).
TEST_F(SimulationTest, HostAnswerZeroToAMoveStopsAfterThatBlock) {
  ASSERT_NE(ParseProgram("stop_on_state.nc"), nullptr);  // a move, M05, a move
  Log().answer = [](const Record& r) { return r.kind == 1 ? 0 : 1; };
  const std::vector<Record> all = Simulate();
  const std::vector<Record> moves = Motions(all);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(OfKind(all, 12).size(), 0u);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.back().kind, 15);
}

// AutoRun before CutterPath reports what it reports after it; CutterPath
// twice gives the same lists, each block once.
TEST_F(SimulationTest, AutoRunAndCutterPathInAnyOrderAndTwice) {
  ParseOnly(ProgramText("rapid_feed.nc"));
  const std::vector<Record> before = Simulate();
  PathGroups* first = Code_CutterPath();
  ASSERT_NE(first, nullptr);
  const std::size_t lists = first->size();
  EXPECT_EQ(lists, 6u);
  std::vector<std::size_t> sizes;
  for (const CPathList& l : *first) sizes.push_back(l.size());
  const std::vector<Record> after = Simulate();
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t n = 0; n < before.size(); ++n) {
    EXPECT_EQ(before[n].line, after[n].line);
    EXPECT_EQ(before[n].kind, after[n].kind);
    EXPECT_TRUE(Near(before[n].position, after[n].position, 0));
  }
  PathGroups* second = Code_CutterPath();
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(second->size(), lists);
  for (std::size_t n = 0; n < lists; ++n) EXPECT_EQ((*second)[n].size(), sizes[n]) << "list " << n;
  const CPathPolyline* p = OnlyPolyline(second, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {30, 20, 5}));
}

// Code_SelBlock: the chosen list turns red and 3 wide; choosing another gives
// the first its style back; an index past the end changes nothing.
TEST_F(SimulationTest, SelBlockHighlightsOneBlock) {
  PathGroups* paths = ParseProgram("rapid_feed.nc");
  ASSERT_NE(paths, nullptr);
  unsigned index = 2;  // line 1, the feed move
  PathGroups* sel = Code_SelBlock(&index);
  ASSERT_NE(sel, nullptr);
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 1), {kHighlight.r, kHighlight.g, kHighlight.b, kHighlight.a,
                                              kHighlight.width, kFeedStyle.pattern}));
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 0), kRapidStyle));

  index = 1;  // line 0, the first rapid move
  sel = Code_SelBlock(&index);
  ASSERT_NE(sel, nullptr);
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 1), kFeedStyle)) << "style given back";
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 0), {kHighlight.r, kHighlight.g, kHighlight.b, kHighlight.a,
                                              kHighlight.width, kRapidStyle.pattern}));

  // At and past the end: the lists come back unchanged, line 0 stays lit.
  for (unsigned past : {static_cast<unsigned>(sel->size()), 1000u}) {
    index = past;
    sel = Code_SelBlock(&index);
    ASSERT_NE(sel, nullptr);
    EXPECT_EQ(sel->size(), 6u);
    EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 0), {kHighlight.r, kHighlight.g, kHighlight.b, kHighlight.a,
                                                kHighlight.width, kRapidStyle.pattern}));
    EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 1), kFeedStyle));
  }
  const CPathPolyline* p = OnlyPolyline(sel, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {10, 20, 5})) << "highlighting leaves the points alone";

  // After the path is built again, highlighting another block lights that
  // one and leaves the others in their own styles.
  paths = Code_CutterPath();
  ASSERT_NE(paths, nullptr);
  index = 4;  // line 3, G00 Z50
  sel = Code_SelBlock(&index);
  ASSERT_NE(sel, nullptr);
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 3), {kHighlight.r, kHighlight.g, kHighlight.b, kHighlight.a,
                                              kHighlight.width, kRapidStyle.pattern}));
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 1), kFeedStyle));
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 2), kFeedStyle));
}


// "M06 T5": the tool number of the line is the new tool.
TEST_F(SimulationTest, ToolChangeWithTheToolInItsLine) {
  Log().toolThird[5] = 40.0;
  PathGroups* paths = ParseProgram("tool_change_t.nc");
  ASSERT_NE(paths, nullptr);
  const std::vector<Record> changes = OfKind(Simulate(), 8);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].i, 5.0);
  EXPECT_TRUE(Near(changes[0].position, {1, 2, 40}));
  ASSERT_FALSE(Log().toolQueries.empty());
  EXPECT_EQ(Log().toolQueries.back(), 5);
}


// The records of a G18 arc carry X, Y, Z values in machine axes, as its
// positions are.
TEST_F(SimulationTest, ZXArcRecordsInMachineAxes) {
  ASSERT_NE(ParseProgram("arc_g18_record.nc"), nullptr);  // G18 G02 X10 Y0 Z0 R5 from (0, 0, 0)
  const std::vector<Record> arcs = OfKind(Simulate(), 3);
  ASSERT_FALSE(arcs.empty());
  for (const Record& r : arcs) {
    EXPECT_TRUE(Near(r.value, {10, 0, 0}));
    EXPECT_NEAR(r.position.y, 0.0, 1e-12);
    EXPECT_LE(r.position.z, 1e-9) << "G02 on ZX passes below the start";
  }
  EXPECT_TRUE(Near(arcs.back().position, {10, 0, 0}, 1e-9));
  // Segment records carry no I, J, K, R, P, Q.
  EXPECT_EQ(arcs.back().r, 0.0);
}

}  // namespace
}  // namespace apitest
