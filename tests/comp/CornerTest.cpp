// Corners of a compensated contour in each working plane and on both sides:
// line to line, line to arc, arc to line and arc to arc, inside and outside,
// each with its start-up and its cancel. The programs and the expected
// points are written in the plane's view from the positive end of its normal
// (h to the right, v up), where G02 turns clockwise and G41 keeps the cutter
// on the left; the cutter radius is 2. Inside corners end where the two
// offsets meet, and so do two lines at an outside turn of up to 90 degrees;
// outside corners at an arc that turn by 90 degrees or more go straight
// along both elements' directions to the point where those meet, those that
// turn by less meet where the offsets, carried on past the corner, meet; a
// sharper outside turn between two lines goes on by the radius along each
// element. Each case runs as programmed and under a mirror or a negative
// scale factor, which draw the path mirrored; an inside corner whose offsets
// do not meet stops the path with a block message.
#include <cmath>
#include <iterator>
#include <string>
#include <tuple>

#include "CompFixture.h"

namespace quillet::test {
namespace {

struct V { double h, v; };

// What a line draws: a straight move through `points`, or an arc around
// `centre` from points[0] to points[1] followed by straight joins to the
// rest of the points.
struct Drawn {
  int line;
  int style;
  std::vector<V> points;
  bool arc = false;
  V centre{};
  double radius = 0.0;
};

struct CornerCase {
  const char* name;
  // 'h', 'v', 'i', 'j' stand for the plane's axis and centre letters, 'S'
  // for G41 or G42.
  const char16_t* program;
  std::vector<Drawn> left, right;
};

const double kS45 = std::sqrt(45.0);
const double kS7 = std::sqrt(7.0);
const double kS140 = std::sqrt(140.0);
const double kS13 = std::sqrt(13.0);
const double kS5 = std::sqrt(5.0);
// Where the circles of radius 7 around (-3, -4) and (-5, 0) cross, from
// (-4, -2): sqrt 44 along (2, 1) / sqrt 5, so this much in x and half of it
// in y.
const double kMeet7 = 4 * std::sqrt(11.0 / 5.0);
constexpr int kRapid = kStyleRapid;
constexpr int kComp = kStyleCompensation;

const CornerCase kCases[] = {
    {"LineLine",
     u"G00 h-10 v-10\nS G01 h0 v0 D1 F100\nh20\nv20\nG40 h40\n",
     // left: inside at (20, 0), outside before the cancel (the offsets cross)
     {{1, kRapid, {{-10, -10}, {0, 2}}},
      {2, kComp, {{0, 2}, {18, 2}}},
      {3, kComp, {{18, 2}, {18, 22}}},
      {4, kRapid, {{18, 22}, {40, 20}}}},
     // right: outside at (20, 0), inside before the cancel
     {{1, kRapid, {{-10, -10}, {0, -2}}},
      {2, kComp, {{0, -2}, {22, -2}}},
      {3, kComp, {{22, -2}, {22, 18}}},
      {4, kRapid, {{22, 18}, {40, 20}}}}},
    {"LineLineSharp",
     u"G00 h-10 v-10\nS G01 h0 v0 D1 F100\nh20\nh14 v8\nh34\nG40 v-10\n",
     // A zigzag that turns by 126.87 degrees at (20, 0), onto the direction
     // (-0.6, 0.8), and back by as much at (14, 8). Outside corners of two
     // lines that turn by more than 90 degrees go on by the radius along
     // each offset and then to the next offset start.
     // left: inside at (20, 0), where y = 2 meets the line through
     // (18.4, -1.2), 4 before the corner; outside at (14, 8) from the
     // offset end (12.4, 6.8) to the next offset start (14, 10); outside
     // by 90 degrees before the cancel, where y = 10 and x = 36 cross
     {{1, kRapid, {{-10, -10}, {0, 2}}},
      {2, kComp, {{0, 2}, {16, 2}}},
      {3, kComp, {{16, 2}, {12.4, 6.8}, {11.2, 8.4}, {12, 10}, {14, 10}}},
      {4, kComp, {{14, 10}, {36, 10}}},
      {5, kRapid, {{36, 10}, {34, -10}}}},
     // right: outside at (20, 0) from the offset end (20, -2) to the next
     // offset start (21.6, 1.2); inside at (14, 8), where y = 6 meets the
     // line through (21.6, 1.2), 4 after the corner; inside before the
     // cancel, where y = 6 meets x = 32
     {{1, kRapid, {{-10, -10}, {0, -2}}},
      {2, kComp, {{0, -2}, {20, -2}, {22, -2}, {22.8, -0.4}, {21.6, 1.2}}},
      {3, kComp, {{21.6, 1.2}, {18, 6}}},
      {4, kComp, {{18, 6}, {32, 6}}},
      {5, kRapid, {{32, 6}, {34, -10}}}}},
    {"LineArc",
     u"G00 h-10 v-10\nS G01 h0 v0 D1 F100\nh20\nG02 h30 v0 i5 j0\nG40 G01 h40\n",
     // left: the cutter outside the half circle, radius 7, meets y = 2 at
     // 25 -+ sqrt 45
     {{1, kRapid, {{-10, -10}, {0, 2}}},
      {2, kComp, {{0, 2}, {25 - kS45, 2}}},
      {3, kComp, {{25 - kS45, 2}, {25 + kS45, 2}}, true, {25, 0}, 7},
      {4, kRapid, {{25 + kS45, 2}, {40, 0}}}},
     // right: inside, radius 3; around the corners at (20, 0) and (30, 0)
     {{1, kRapid, {{-10, -10}, {0, -2}}},
      {2, kComp, {{0, -2}, {20, -2}, {22, -2}, {22, 0}}},
      {3, kComp, {{22, 0}, {28, 0}, {28, -2}, {30, -2}}, true, {25, 0}, 3},
      {4, kRapid, {{30, -2}, {40, 0}}}}},
    {"ArcLine",
     u"G00 h-10 v-10\nS G01 h0 v0 D1 F100\nG02 h10 v0 i5 j0\nG01 h30\nG40 v-10\n",
     // left: start-up radially onto radius 7
     {{1, kRapid, {{-10, -10}, {-2, 0}}},
      {2, kComp, {{-2, 0}, {5 + kS45, 2}}, true, {5, 0}, 7},
      {3, kComp, {{5 + kS45, 2}, {32, 2}}},
      {4, kRapid, {{32, 2}, {30, -10}}}},
     {{1, kRapid, {{-10, -10}, {2, 0}}},
      {2, kComp, {{2, 0}, {8, 0}, {8, -2}, {10, -2}}, true, {5, 0}, 3},
      {3, kComp, {{10, -2}, {28, -2}}},
      {4, kRapid, {{28, -2}, {30, -10}}}}},
    {"ArcArc",
     u"G00 h0 v-10\nS G01 h0 v0 D1 F100\nG03 h10 v10 i0 j10\nG03 h0 v0 i0 j-10\nG40 G01 h-10\n",
     // left: both offsets radius 8 meet at (5 + sqrt 7, 5 + sqrt 7)
     {{1, kRapid, {{0, -10}, {0, 2}}},
      {2, kComp, {{0, 2}, {5 + kS7, 5 + kS7}}, true, {0, 10}, 8},
      {3, kComp, {{5 + kS7, 5 + kS7}, {2, 0}, {2, -2}, {0, -2}}, true, {10, 0}, 8},
      {4, kRapid, {{0, -2}, {-10, 0}}}},
     // right: radius 12 round the outside corner at (10, 10), then inside
     // into the cancel's offset y = 2
     {{1, kRapid, {{0, -10}, {0, -2}}},
      {2, kComp, {{0, -2}, {12, 10}, {12, 12}, {10, 12}}, true, {0, 10}, 12},
      {3, kComp, {{10, 12}, {10 - kS140, 2}}, true, {10, 0}, 12},
      {4, kRapid, {{10 - kS140, 2}, {-10, 0}}}}},
    {"LineArcObtuse",
     u"G00 h-10 v10\nS G01 h-10 v0 D1 F100\nh0\nG02 h2 v-4 i-3 j-4\nG01 v-10\nG40 h-10\n",
     // The arc of radius 5 around (-3, -4) starts along (0.8, -0.6): a turn
     // of 36.87 degrees to the right, and ends along -v into the line.
     // left: outside; y = 2 meets the offset circle of radius 7 at
     // x = -3 + sqrt 13, past the line's end and before the arc's start
     // (1.2, 1.6); smooth into x = 4, outside by 90 degrees before the cancel
     {{1, kRapid, {{-10, 10}, {-10, 2}}},
      {2, kComp, {{-10, 2}, {-3 + kS13, 2}}},
      {3, kComp, {{-3 + kS13, 2}, {4, -4}}, true, {-3, -4}, 7},
      {4, kComp, {{4, -4}, {4, -12}}},
      {5, kRapid, {{4, -12}, {-10, -10}}}},
     // right: inside; y = -2 meets radius 3 at x = -3 + sqrt 5; smooth into
     // x = 0, inside before the cancel where x = 0 meets y = -8
     {{1, kRapid, {{-10, 10}, {-10, -2}}},
      {2, kComp, {{-10, -2}, {-3 + kS5, -2}}},
      {3, kComp, {{-3 + kS5, -2}, {0, -4}}, true, {-3, -4}, 3},
      {4, kComp, {{0, -4}, {0, -8}}},
      {5, kRapid, {{0, -8}, {-10, -10}}}}},
    {"ArcLineObtuse",
     u"G00 h10 v-10\nS G01 h2 v-10 D1 F100\nv-4\nG03 h0 v0 i-5 j0\nG01 h-10\nG40 v10\n",
     // The same corner run the other way: the arc around (-3, -4) ends along
     // (-0.8, 0.6), a turn of 36.87 degrees to the left into -h.
     // left: inside at radius 3, where y = -2 meets it at x = -3 + sqrt 5;
     // outside by 90 degrees before the cancel, where y = -2 meets x = -12
     {{1, kRapid, {{10, -10}, {0, -10}}},
      {2, kComp, {{0, -10}, {0, -4}}},
      {3, kComp, {{0, -4}, {-3 + kS5, -2}}, true, {-3, -4}, 3},
      {4, kComp, {{-3 + kS5, -2}, {-12, -2}}},
      {5, kRapid, {{-12, -2}, {-10, 10}}}},
     // right: outside at radius 7, carried on past the arc's end (1.2, 1.6)
     // to y = 2 at x = -3 + sqrt 13; inside before the cancel at (-8, 2)
     {{1, kRapid, {{10, -10}, {4, -10}}},
      {2, kComp, {{4, -10}, {4, -4}}},
      {3, kComp, {{4, -4}, {-3 + kS13, 2}}, true, {-3, -4}, 7},
      {4, kComp, {{-3 + kS13, 2}, {-8, 2}}},
      {5, kRapid, {{-8, 2}, {-10, 10}}}}},
    {"ArcArcObtuse",
     u"G00 h-8 v-14\nS G01 h-8 v-4 D1 F100\nG02 h0 v0 i5 j0\nG02 h-5 v-5 i-5 j0\nG01 h-15\nG40 v-14\n",
     // Two clockwise arcs of radius 5 around (-3, -4) and (-5, 0) meet at
     // (0, 0), turning 36.87 degrees to the right. The circles of one radius
     // around both centres cross on the line through (-4, -2) along (2, 1).
     // left: outside; the circles of radius 7 cross 4 sqrt(11/5) along it,
     // past the first arc's offset end (1.2, 1.6) and before the second's
     // start (2, 0); inside before the cancel where y = -7 meets x = -13
     {{1, kRapid, {{-8, -14}, {-10, -4}}},
      {2, kComp, {{-10, -4}, {-4 + kMeet7, -2 + kMeet7 / 2}}, true, {-3, -4}, 7},
      {3, kComp, {{-4 + kMeet7, -2 + kMeet7 / 2}, {-5, -7}}, true, {-5, 0}, 7},
      {4, kComp, {{-5, -7}, {-13, -7}}},
      {5, kRapid, {{-13, -7}, {-15, -14}}}},
     // right: inside; the circles of radius 3 cross 2 / sqrt 5 along it;
     // outside by 90 degrees before the cancel, where y = -3 meets x = -17
     {{1, kRapid, {{-8, -14}, {-6, -4}}},
      {2, kComp, {{-6, -4}, {-4 + 4 / kS5, -2 + 2 / kS5}}, true, {-3, -4}, 3},
      {3, kComp, {{-4 + 4 / kS5, -2 + 2 / kS5}, {-5, -3}}, true, {-5, 0}, 3},
      {4, kComp, {{-5, -3}, {-17, -3}}},
      {5, kRapid, {{-17, -3}, {-15, -14}}}}},
};

// The transforms a case also runs under: the words added in front of it
// ('h', 'v', 'i', 'j' as in the programs) and the signs they give the
// plane's axes. One mirrored axis swaps G41 and G42 and turns G02 into G03,
// so the drawing is the mirror image of the programmed one; two mirrored
// axes turn it half round.
struct Transform {
  const char* name;
  const char16_t* words;
  double h, v;
};
const Transform kTransforms[] = {
    {"Plain", u"", 1, 1},
    {"MirrorH", u"G51.1 h0\n", -1, 1},
    {"MirrorV", u"G51.1 v0\n", 1, -1},
    {"MirrorBoth", u"G51.1 h0 v0\n", -1, -1},
    {"NegativeScaleH", u"G51 h0 v0 i-1000 j1000\n", -1, 1},
};

// Parameters: the case (or the blocked case), the plane, G41 or G42 and the
// transform.
class Corners : public CompTest, public ::testing::WithParamInterface<std::tuple<int, int, int, int>> {
 protected:
  const Plane& plane() const { return kPlanes[std::get<1>(GetParam())]; }
  bool left() const { return std::get<2>(GetParam()) == 41; }
  const Transform& transform() const { return kTransforms[std::get<3>(GetParam())]; }
  // The transform's words take a line of their own before the case's lines.
  int Line(int line) const { return line + (*transform().words ? 1 : 0); }
  CPoint3d Machine(V p) const {
    p.h *= transform().h;
    p.v *= transform().v;
    switch (std::get<1>(GetParam())) {
      case 1: return {p.v, 0, p.h};
      case 2: return {0, p.h, p.v};
      default: return {p.h, p.v, 0};
    }
  }
  std::u16string Program(const char16_t* text) const {
    std::u16string out = std::u16string(plane().code) + u" G90 ";
    for (const char16_t* c : {transform().words, text}) Letters(c, out);
    return out;
  }
  void Letters(const char16_t* c, std::u16string& out) const {
    for (; *c; ++c) {
      switch (*c) {
        case u'h': out += plane().h; break;
        case u'v': out += plane().v; break;
        case u'i': out += plane().hc; break;
        case u'j': out += plane().vc; break;
        case u'S': out += left() ? u"G41" : u"G42"; break;
        case u'A': out += left() ? u"G03" : u"G02"; break;
        default: out += *c;
      }
    }
  }
  void Expect(const Drawn& d) {
    SCOPED_TRACE(testing::Message() << "line " << d.line);
    CPathStyle style;
    const std::vector<CPoint3d> pts = PointsOfLine(Line(d.line), &style);
    EXPECT_EQ(style.pattern, Lib().styles[d.style].pattern);
    if (!d.arc) {
      ASSERT_EQ(pts.size(), d.points.size());
      for (std::size_t i = 0; i < pts.size(); ++i) ExpectPoint(pts[i], Machine(d.points[i]));
      return;
    }
    // The arc's points, then its end and the joins.
    const std::size_t tail = d.points.size() - 1;
    ASSERT_GE(pts.size(), tail + 3);
    ExpectPoint(pts[0], Machine(d.points[0]));
    for (std::size_t i = 0; i < tail; ++i) ExpectPoint(pts[pts.size() - tail + i], Machine(d.points[1 + i]));
    const CPoint3d c = Machine(d.centre);
    for (std::size_t i = 0; i + tail < pts.size(); ++i)
      EXPECT_NEAR(Distance3d(pts[i], c), d.radius, 1e-9) << "point " << i;
  }
};

TEST_P(Corners, JoinOnTheOffsets) {
  const CornerCase& c = kCases[std::get<0>(GetParam())];
  Run(Program(c.program));
  ASSERT_TRUE(Messages().empty());
  for (const Drawn& d : left() ? c.left : c.right) Expect(d);
}

INSTANTIATE_TEST_SUITE_P(CasesPlanesAndSides, Corners,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kCases))),
                                            ::testing::Values(0, 1, 2), ::testing::Values(41, 42),
                                            ::testing::Range(0, static_cast<int>(std::size(kTransforms)))),
                         [](const auto& info) {
                           return std::string(kCases[std::get<0>(info.param)].name) + "_G" +
                                  std::to_string(17 + std::get<1>(info.param)) + "_G" +
                                  std::to_string(std::get<2>(info.param)) + "_" +
                                  kTransforms[std::get<3>(info.param)].name;
                         });

// Inside corners whose offsets do not meet: the control stops with an alarm
// before the block whose end it cannot find. The block has a message and the
// path ends before it; nothing runs into the wall. 'A' turns the circle so
// that the cutter is inside it on either side.
struct BlockedCase {
  const char* name;
  const char16_t* program;
  double radius;
  int line;            // the line with the message
  V startLeft, startRight;  // where the start-up move (line 1) ends
};

const BlockedCase kBlocked[] = {
    // A bore of radius 15 with a cutter of radius 8: the offset circle of
    // radius 7 and the cancel's offset 8 from the centre line never meet.
    {"BoreTooSmallForTheCutter", u"G00 h0 v0\nS G01 h15 v0 D1 F100\nA i-15\nG01 G40 h0 v0\nG00 h50\n", 8, 2,
     {7, 0}, {7, 0}},
    // A cutter as large as the circle: its offset is the centre point.
    {"CutterAsLargeAsTheCircle", u"G00 h0 v0\nS G01 h20 v0 D1 F100\nA i-20\nG01 G40 h0 v0\nG00 h50\n", 20, 2,
     {0, 0}, {0, 0}},
    // A line into an arc of radius 3 around (-3, 0) that turns by 90
    // degrees on the cutter's side: the offset circle of radius 1 lies 2
    // from the line's offset.
    {"LineIntoASmallInsideArc", u"G00 h-10 v-10\nS G01 h-10 v0 D1 F100\nh0\nA h-3 v3 i-3 j0\nG01 h-10\nG40 v-10\n",
     2, 2, {-10, 2}, {-10, -2}},
};

class BlockedCorners : public Corners {};

TEST_P(BlockedCorners, StopWithABlockMessage) {
  const BlockedCase& c = kBlocked[std::get<0>(GetParam())];
  Run(Program(c.program), c.radius);
  const std::vector<std::u16string> messages = Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(u"inside corner"), std::u16string::npos);
  EXPECT_TRUE(BlockOfLine(Line(c.line))->HasMessages());
  // The path: the preamble and the lines before the message.
  EXPECT_EQ(m_paths->size(), static_cast<std::size_t>(Line(c.line)) + 1);
  ExpectPoint(PointsOfLine(Line(1)).back(), Machine(left() ? c.startLeft : c.startRight));
}

INSTANTIATE_TEST_SUITE_P(CasesPlanesAndSides, BlockedCorners,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kBlocked))),
                                            ::testing::Values(0, 1, 2), ::testing::Values(41, 42),
                                            ::testing::Values(0, 1)),
                         [](const auto& info) {
                           return std::string(kBlocked[std::get<0>(info.param)].name) + "_G" +
                                  std::to_string(17 + std::get<1>(info.param)) + "_G" +
                                  std::to_string(std::get<2>(info.param)) + "_" +
                                  kTransforms[std::get<3>(info.param)].name;
                         });

}  // namespace
}  // namespace quillet::test
