// Straight moves: per-block polylines, their styles and points, under the
// default modal state, G90/G91, inch words, the decimal-point parameter and
// the ends of a program.
#include "tests/api/ApiHarness.h"

namespace apitest {
namespace {

class PathTest : public ApiTest {};

// Lists follow the executed blocks with the preamble first: list 0 has no
// move, list n is program line n - 1 (no jumps, no skipped lines).
TEST_F(PathTest, RapidAndFeedMovesGetOnePolylineEachInTheirStyle) {
  PathGroups* paths = ParseProgram("rapid_feed.nc");
  ASSERT_NE(paths, nullptr);
  // Preamble, four lines and the empty line after the final line feed.
  ASSERT_EQ(paths->size(), 6u);
  EXPECT_TRUE((*paths)[0].empty()) << "the preamble block draws nothing";
  EXPECT_TRUE((*paths)[5].empty());

  // G00 X10 Y20 Z5 from the start point (0, 0, 0).
  const CPathPolyline* p = OnlyPolyline(paths, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kRapidStyle));
  ASSERT_EQ(p->PointCount(), 2);
  EXPECT_TRUE(Near(p->Point(0), {0, 0, 0}));
  EXPECT_TRUE(Near(p->Point(1), {10, 20, 5}));

  // G01 X30 F200: Y and Z stay.
  p = OnlyPolyline(paths, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kFeedStyle));
  ASSERT_EQ(p->PointCount(), 2);
  EXPECT_TRUE(Near(p->Point(0), {10, 20, 5}));
  EXPECT_TRUE(Near(p->Point(1), {30, 20, 5}));

  // Y40 alone repeats the modal G01.
  p = OnlyPolyline(paths, 2);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kFeedStyle));
  ASSERT_EQ(p->PointCount(), 2);
  EXPECT_TRUE(Near(p->Point(0), {30, 20, 5}));
  EXPECT_TRUE(Near(p->Point(1), {30, 40, 5}));

  // G00 Z50.
  p = OnlyPolyline(paths, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kRapidStyle));
  ASSERT_EQ(p->PointCount(), 2);
  EXPECT_TRUE(Near(p->Point(0), {30, 40, 5}));
  EXPECT_TRUE(Near(p->Point(1), {30, 40, 50}));
}

TEST_F(PathTest, FirstMoveStartsAtTheGivenStartPoint) {
  PathGroups* paths = Parse(u"G00 X10 Y20 Z5", {1, 2, 3});
  ASSERT_NE(paths, nullptr);
  ASSERT_EQ(paths->size(), 2u);
  const CPathPolyline* p = OnlyPolyline(paths, 0);
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(p->PointCount(), 2);
  EXPECT_TRUE(Near(p->Point(0), {1, 2, 3}));
  EXPECT_TRUE(Near(p->Point(1), {10, 20, 5}));
}

// G91 adds each word to the value before it; G90 goes back to absolute.
TEST_F(PathTest, IncrementalAndAbsoluteDistanceModes) {
  PathGroups* paths = ParseProgram("incremental.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 5u);
  const CPathPolyline* p = OnlyPolyline(paths, 1);  // G91 G01 X5 Y-5 from (10, 10, 0)
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kFeedStyle));
  EXPECT_TRUE(Near(p->Point(0), {10, 10, 0}));
  EXPECT_TRUE(Near(p->Point(1), {15, 5, 0}));
  p = OnlyPolyline(paths, 2);  // X5, still incremental
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {20, 5, 0}));
  p = OnlyPolyline(paths, 3);  // G90 X0 Y0: absolute again, modal G01
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kFeedStyle));
  EXPECT_TRUE(Near(p->Point(0), {20, 5, 0}));
  EXPECT_TRUE(Near(p->Point(1), {0, 0, 0}));
}

// G20: every coordinate word and the F word are inches, drawn in millimetres.
TEST_F(PathTest, InchWordsAndFeedAreConvertedToMillimetres) {
  PathGroups* paths = ParseProgram("inch.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 6u);
  EXPECT_TRUE((*paths)[1].empty()) << "G20 alone draws nothing";
  const CPathPolyline* p = OnlyPolyline(paths, 1);  // G00 X1 Y2 Z0.5
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {25.4, 50.8, 12.7}, 1e-9));
  p = OnlyPolyline(paths, 2);  // G01 X2 F10
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(0), {25.4, 50.8, 12.7}, 1e-9));
  EXPECT_TRUE(Near(p->Point(1), {50.8, 50.8, 12.7}, 1e-9));
  p = OnlyPolyline(paths, 4);  // G21, then G01 X10 Y0 Z0 in millimetres
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {10, 0, 0}, 1e-9));

  const std::vector<Record> moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 3u);
  EXPECT_EQ(moves[0].feed, 3000.0);
  EXPECT_NEAR(moves[1].feed, 254.0, 1e-9) << "F10 inch/min is 254 mm/min";
  EXPECT_NEAR(moves[2].feed, 254.0, 1e-9) << "the feed stays after G21";
  EXPECT_TRUE(Near(moves[1].value, {50.8, 50.8, 12.7}, 1e-9));
}

// Without any modal code the program runs under G00, G17, G21, G90, G94:
// coordinates alone make a rapid move in millimetres. Lower-case letters are
// read as upper case; text in parentheses and after ";" is not read.
TEST_F(PathTest, DefaultModalStateCaseAndComments) {
  PathGroups* paths = ParseProgram("default_motion.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_GE(paths->size(), 6u);
  const CPathPolyline* p = OnlyPolyline(paths, 0);  // X10 Y20 Z5
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kRapidStyle));
  EXPECT_TRUE(Near(p->Point(1), {10, 20, 5}));
  p = OnlyPolyline(paths, 1);  // g1 x4 y6 z0 f100
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(HasStyle(p, kFeedStyle));
  EXPECT_TRUE(Near(p->Point(1), {4, 6, 0}));
  EXPECT_TRUE((*paths)[3].empty()) << "a line that begins with ( is not run";
  p = OnlyPolyline(paths, 3);  // N10 G01 X5 (Y9 Z9)
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {5, 6, 0}));
  p = OnlyPolyline(paths, 4);  // G01 X1; Y2
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {1, 6, 0}));
}

// With the decimal-point parameter set, a number without a point is scaled
// by it; a number with a point is taken as written.
TEST_F(PathTest, DecimalPointParameterScalesNumbersWithoutPoint) {
  PathGroups* paths = ParseProgram("decimal_point.nc");  // G00 X1000 Y25. Z-500
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {1000, 25, -500})) << "parameter 0: numbers taken as written";

  SetCell(2, 0, 0, 0.001);
  EXPECT_EQ(Cell(2, 0, 0), 0.001);
  paths = ParseProgram("decimal_point.nc");
  ASSERT_NE(paths, nullptr);
  p = OnlyPolyline(paths, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {1, 25, -0.5}, 1e-12));
}

// M30, M02 and M99 end the program: later lines are not run.
TEST_F(PathTest, ProgramEndsAtM30M02AndM99) {
  for (const char* name : {"end_m30.nc", "end_m02.nc", "end_m99.nc"}) {
    SCOPED_TRACE(name);
    PathGroups* paths = ParseProgram(name);
    ASSERT_NE(paths, nullptr);
    // Preamble, the move and the end line; nothing after.
    EXPECT_EQ(paths->size(), 3u);
    const std::vector<Record> moves = Motions(Simulate());
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_TRUE(Near(moves[0].position, {1, 0, 0}));
  }
}


// A first move that names only X from the start point (1, 2, 3): Y and Z
// stay where the start point has them.
TEST_F(PathTest, FirstMoveKeepsTheUnnamedAxesOfTheStartPoint) {
  PathGroups* paths = Parse(ProgramText("first_move_partial.nc"), {1, 2, 3});  // G01 X10 F100
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 0);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(0), {1, 2, 3}));
  EXPECT_TRUE(Near(p->Point(1), {10, 2, 3}));
}

// G95: the F word is per revolution and multiplied by S (1000): F0.2 is 200
// per minute. G94 takes F as it is again.
TEST_F(PathTest, FeedPerRevolution) {
  ASSERT_NE(ParseProgram("feed_per_rev.nc"), nullptr);
  const std::vector<Record> moves = Motions(Simulate());
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_NEAR(moves[0].feed, 200.0, 1e-9);
  EXPECT_EQ(moves[1].feed, 300.0);
}


// Lines ended by CR LF give the same path as lines ended by LF.
TEST_F(PathTest, CrLfLineEnds) {
  PathGroups* paths = ParseProgram("rapid_feed_crlf.nc");
  ASSERT_NE(paths, nullptr);
  ASSERT_EQ(paths->size(), 6u);
  const CPoint3d ends[4] = {{10, 20, 5}, {30, 20, 5}, {30, 40, 5}, {30, 40, 50}};
  for (int line = 0; line < 4; ++line) {
    const CPathPolyline* p = OnlyPolyline(paths, line);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(Near(p->Point(1), ends[line])) << "line " << line;
  }
  EXPECT_TRUE(HasStyle(OnlyPolyline(paths, 1), kFeedStyle));
}


// A program as a FANUC control stores it: "%" lines, the program number with
// a comment, a comment line, N numbers on every block, CR LF line ends.
// G54 is (50, 60, 0), H1 is 100.
TEST_F(PathTest, FanucStyleProgram) {
  SetWorkOffset(1, {50, 60, 0});
  SetCell(0, 1, 0, 100.0);
  PathGroups* paths = ParseProgram("fanuc_style.nc");
  ASSERT_NE(paths, nullptr);
  EXPECT_TRUE(Log().messages.empty());
  // Preamble and lines 0 to 11; M30 ends the run before the closing "%".
  EXPECT_EQ(paths->size(), 13u);
  for (int line : {0, 1, 2, 3}) EXPECT_TRUE((*paths)[line + 1].empty()) << "line " << line;

  const std::vector<Record> all = Simulate();
  const std::vector<Record> moves = Motions(all);
  ASSERT_EQ(moves.size(), 5u);
  EXPECT_EQ(moves[0].line, 5);
  EXPECT_NEAR(moves[0].position.x, 50, 1e-9);
  EXPECT_NEAR(moves[0].position.y, 60, 1e-9);
  const CPoint3d ends[4] = {{50, 60, 150}, {50, 60, 98}, {70, 60, 98}, {70, 60, 150}};
  const double feeds[4] = {3000, 300, 300, 3000};
  for (int n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(moves[n + 1].line, n + 6);
    EXPECT_TRUE(Near(moves[n + 1].position, ends[n], 1e-9));
    EXPECT_EQ(moves[n + 1].feed, feeds[n]);
  }
  const std::vector<Record> spindle = OfKind(all, 10);
  ASSERT_EQ(spindle.size(), 1u);
  EXPECT_EQ(spindle[0].line, 5);
  EXPECT_EQ(spindle[0].position.x, 2000.0);
  const std::vector<Record> changes = OfKind(all, 8);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].line, 4);
  EXPECT_EQ(changes[0].i, 1.0);
  EXPECT_EQ(Code_GetCurH(), 1);
}

// G54 selected in millimetres, then G20: the offset stays 100 mm; H2 (10 mm)
// too.
TEST_F(PathTest, OffsetsStayMillimetresAfterG20) {
  SetWorkOffset(1, {100, 0, 0});
  SetCell(0, 2, 0, 10.0);
  PathGroups* paths = ParseProgram("inch_offsets.nc");
  ASSERT_NE(paths, nullptr);
  const CPathPolyline* p = OnlyPolyline(paths, 2);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {125.4, 0, 0}, 1e-9));
  p = OnlyPolyline(paths, 3);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(Near(p->Point(1), {125.4, 0, 35.4}, 1e-9));
}

}  // namespace
}  // namespace apitest
