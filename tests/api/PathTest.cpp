// Paths and simulation: per-block polylines in their styles, the command
// records of moves, arcs and state codes, the host's answers and tool
// look-ups, block highlighting and the order of the calls.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class PathTest : public ApiTest {};

// Lists follow the executed blocks with the preamble first; the first move
// starts at the given start point, which also keeps the axes a move does not
// name. CR LF line ends change nothing.
TEST_F(PathTest, OnePolylinePerBlockInItsStyle) {
  for (const char* name : {"rapid_feed.nc", "rapid_feed_crlf.nc"}) {
    SCOPED_TRACE(name);
    PathGroups* paths = Parse(ProgramText(name), {1, 2, 3});
    ASSERT_NE(paths, nullptr);
    // The preamble, four lines and the empty line after the last line feed.
    ASSERT_EQ(paths->size(), 6u);
    EXPECT_TRUE((*paths)[0].empty() && (*paths)[5].empty());
    const CPoint3d points[5] = {{1, 2, 3}, {10, 20, 5}, {30, 20, 5}, {30, 40, 5}, {30, 40, 50}};
    const StyleValues styles[4] = {kRapidStyle, kFeedStyle, kFeedStyle, kRapidStyle};
    for (int line = 0; line < 4; ++line) {
      const CPathPolyline* p = OnlyPolyline(paths, line);
      ASSERT_NE(p, nullptr);
      EXPECT_TRUE(HasStyle(p, styles[line]));
      ASSERT_EQ(p->PointCount(), 2);
      EXPECT_TRUE(Near(p->Point(0), points[line]));
      EXPECT_TRUE(Near(p->Point(1), points[line + 1]));
    }
  }
  EXPECT_TRUE(Near(End(Parse(u"G01 X10 F100", {1, 2, 3}), 0), {10, 2, 3}));
}

TEST_F(PathTest, RecordsOfMovesAndStateCodes) {
  Log().toolThird[5] = 50.0;
  PathGroups* paths = ParseProgram("records.nc");
  const std::vector<Record> all = Simulate();
  // Line, kind and X position of one record of each line.
  const struct {
    int line;
    short kind;
    double x;
  } expected[] = {{1, 2, 10}, {2, 1, 10}, {3, 20, 0},  {4, 10, 1200}, {5, 12, 0},  {6, 10, 800}, {7, 9, 1},
                  {8, 9, 0},  {9, 17, 5}, {10, 8, 10}, {11, 15, 0},   {12, 15, 1}, {13, 16, 0},  {14, 15, 30}};
  auto one = [&](int line, short kind) {
    std::vector<Record> r;
    for (const Record& rec : OfKind(all, kind))
      if (rec.line == line) r.push_back(rec);
    EXPECT_EQ(r.size(), 1u) << "line " << line << " kind " << kind;
    return r.empty() ? Record{} : r[0];
  };
  for (const auto& e : expected) {
    const Record r = one(e.line, e.kind);
    EXPECT_EQ(r.position.x, e.x) << e.line;
    EXPECT_EQ(r.feed, e.kind == 1 ? 3000.0 : e.kind == 2 ? 300.0 : 0.0) << e.line;
  }
  const Record move = one(1, 2), change = one(10, 8);
  EXPECT_TRUE(Near(move.value, {10, 20, -1}) && Near(move.position, {10, 20, -1}));
  EXPECT_EQ(move.i + move.j + move.k + move.r + move.p + move.q, 0.0);
  EXPECT_TRUE(change.i == 5.0 && Near(change.position, {10, 20, 50})) << "T5, Z to its third number";
  EXPECT_EQ(one(13, 16).p, 500.0) << "dwell P";
  // The closing record: line 0, kind 15, X position -100, everything else 0.
  const Record last = all.empty() ? Record{} : all.back();
  EXPECT_TRUE(last.line == 0 && last.kind == 15 && Near(last.value, {0, 0, 0}, 0) &&
              Near(last.position, {-100, 0, 0}, 0) && last.feed == 0.0);
  // The tool change is drawn in the feed style up to Z50.
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 10), kFeedStyle));
  EXPECT_TRUE(Near(End(paths, 10), {10, 20, 50}));
}

// Moves report their programmed X, Y, Z values beside the machine positions:
// G55 shifts by its row; on the ZX and YZ planes the words still name
// machine axes; a tool length offset adds to Z.
TEST_F(PathTest, RecordsKeepValuesBesidePositions) {
  SetWorkOffset(1, {100, 200, 300});
  SetWorkOffset(2, {-1, -2, -3});
  SetCell(0, 2, 0, 10.0);
  Parse(u"G55 X1 Y2 Z3\nG54 G18 G43 H2 G01 X1 Y2 Z3 F100\nG19 G01 X4 Y5 Z6\n");
  const std::vector<Record> moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 3u);
  const CPoint3d values[3] = {{1, 2, 3}, {1, 2, 3}, {4, 5, 6}},
                 positions[3] = {{0, 0, 0}, {101, 202, 313}, {104, 205, 316}};
  for (int n = 0; n < 3; ++n)
    EXPECT_TRUE(Near(moves[n].value, values[n]) && Near(moves[n].position, positions[n])) << n;
}

// A quarter arc reports every odd point of its 5-degree chords (5, 15, ...,
// 85 degrees), then its end; a G18 arc reports in machine axes too.
TEST_F(PathTest, ArcRecords) {
  ASSERT_NE(Parse(u"G00 X10 Y0 Z0\nG03 X0 Y10 I-10 J0 F150\n"), nullptr);
  std::vector<Record> r = OfKind(Simulate(), 4);
  ASSERT_EQ(r.size(), 10u);
  for (int n = 0; n < 10; ++n) {
    const double a = (n < 9 ? 5.0 + 10.0 * n : 90.0) * std::numbers::pi / 180.0;
    EXPECT_TRUE(Near(r[n].position, {10 * std::cos(a), 10 * std::sin(a), 0})) << n;
    EXPECT_TRUE(Near(r[n].value, {0, 10, 0}) && r[n].feed == 150.0) << n;
  }
  ASSERT_NE(Parse(u"G00 X0 Y0 Z0\nG18 G02 X10 Y0 Z0 R5 F100\n"), nullptr);
  r = OfKind(Simulate(), 3);
  ASSERT_FALSE(r.empty());
  for (const Record& rec : r) EXPECT_TRUE(Near(rec.value, {10, 0, 0}) && rec.position.z <= 1e-9 && rec.r == 0);
  EXPECT_TRUE(Near(r.back().position, {10, 0, 0}));
}

// The host is asked about the low eight bits of the tool number (T300 is 44);
// its third number is added to Z under a work system.
TEST_F(PathTest, ToolLookUp) {
  Log().toolThird[44] = 7.0;
  EXPECT_TRUE(Near(End(Parse(u"T300\nG54 G00 X0 Y0 Z10\n"), 1), {0, 0, 17}));
  const std::vector<int>& asked = Log().toolQueries;
  EXPECT_TRUE(!asked.empty() && std::count(asked.begin(), asked.end(), 44) == std::ssize(asked));
}

// A zero answer to a state record or to a move stops the simulation after
// that block; the closing record still comes.
TEST_F(PathTest, HostAnswerZeroStopsTheSimulation) {
  for (short stopAt : {12, 1}) {
    ASSERT_NE(Parse(u"G00 X1 Y0 Z0\nM05\nG00 X3\n"), nullptr);
    Log().answer = [stopAt](const Record& r) { return r.kind == stopAt ? 0 : 1; };
    const std::vector<Record> all = Simulate();
    const std::vector<Record> moves = Motions(all);
    EXPECT_TRUE(moves.size() == 1u && moves[0].position.x == 1.0) << stopAt;
    EXPECT_EQ(OfKind(all, 12).size(), stopAt == 12 ? 1u : 0u);
    EXPECT_TRUE(!all.empty() && all.back().kind == 15 && all.back().position.x == -100.0);
  }
}

// SelBlock and AutoRun before the first CutterPath; CutterPath twice gives
// the same lists, each block once, and delivers the block messages again.
TEST_F(PathTest, CallsInAnyOrderAndTwice) {
  ParseOnly(u"G00 X1 Y0 Z0\nG01 X2 F100\nG02 X50 Y0 R1\nG00 X9\n");
  unsigned index = 1;
  Code_SelBlock(&index);
  const std::vector<Record> before = Simulate();
  for (std::size_t build = 1; build <= 2; ++build) {
    PathGroups* paths = Code_CutterPath();
    ASSERT_NE(paths, nullptr);
    ASSERT_EQ(paths->size(), 3u) << "the path ends before the arc that cannot exist";
    EXPECT_TRUE(Near(End(paths, 1), {2, 0, 0}));
    EXPECT_EQ(Log().messages.size(), build);
  }
  const std::vector<Record> after = Simulate();
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t n = 0; n < before.size(); ++n)
    EXPECT_TRUE(before[n].kind == after[n].kind && Near(before[n].position, after[n].position, 0)) << n;
}

// The chosen list turns red and 3 wide; choosing another gives the first its
// style back; an index at or past the end changes nothing.
TEST_F(PathTest, SelBlockHighlightsOneBlock) {
  ASSERT_NE(ParseProgram("rapid_feed.nc"), nullptr);
  unsigned index = 2;  // line 1, the feed move
  PathGroups* sel = Code_SelBlock(&index);
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 1), Lit(kFeedStyle)));
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 0), kRapidStyle));
  // Another block takes the highlight; an index at or past the last list
  // (6 lists) clears it.
  for (unsigned next : {1u, 6u, 1u, 1000u}) {
    index = next;
    sel = Code_SelBlock(&index);
    ASSERT_NE(sel, nullptr);
    EXPECT_EQ(sel->size(), 6u);
    EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 0), next == 1u ? Lit(kRapidStyle) : kRapidStyle)) << next;
    EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 1), kFeedStyle)) << next;
  }
  EXPECT_TRUE(Near(End(sel, 0), {10, 20, 5}));
  // A new build, then another block.
  ASSERT_NE(Code_CutterPath(), nullptr);
  index = 4;
  sel = Code_SelBlock(&index);
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 3), Lit(kRapidStyle)));
  EXPECT_TRUE(HasStyle(OnlyPolyline(sel, 1), kFeedStyle));
}

}  // namespace
}  // namespace apitest
