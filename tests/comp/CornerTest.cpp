// Corners of a compensated contour in each working plane and on both sides:
// line to line, line to arc, arc to line and arc to arc, inside and outside,
// each with its start-up and its cancel. The programs and the expected
// points are written in the plane's view from the positive end of its normal
// (h to the right, v up), where G02 turns clockwise and G41 keeps the cutter
// on the left; the cutter radius is 2. Inside corners end where the two
// offsets meet, and so do two lines at an outside turn of up to 90 degrees;
// outside corners at an arc go straight along both elements' directions to
// the point where those meet (a turn of 90 degrees here), and a sharper
// outside turn between two lines goes on by the radius along each element.
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
};

class Corners : public CompTest, public ::testing::WithParamInterface<std::tuple<int, int, int>> {
 protected:
  const Plane& plane() const { return kPlanes[std::get<1>(GetParam())]; }
  bool left() const { return std::get<2>(GetParam()) == 41; }
  CPoint3d Machine(V p) const {
    switch (std::get<1>(GetParam())) {
      case 1: return {p.v, 0, p.h};
      case 2: return {0, p.h, p.v};
      default: return {p.h, p.v, 0};
    }
  }
  std::u16string Program(const char16_t* text) const {
    std::u16string out = std::u16string(plane().code) + u" G90 ";
    for (const char16_t* c = text; *c; ++c) {
      switch (*c) {
        case u'h': out += plane().h; break;
        case u'v': out += plane().v; break;
        case u'i': out += plane().hc; break;
        case u'j': out += plane().vc; break;
        case u'S': out += left() ? u"G41" : u"G42"; break;
        default: out += *c;
      }
    }
    return out;
  }
  void Expect(const Drawn& d) {
    SCOPED_TRACE(testing::Message() << "line " << d.line);
    CPathStyle style;
    const std::vector<CPoint3d> pts = PointsOfLine(d.line, &style);
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
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kCases))), ::testing::Values(0, 1, 2), ::testing::Values(41, 42)),
                         [](const auto& info) {
                           return std::string(kCases[std::get<0>(info.param)].name) + "_G" +
                                  std::to_string(17 + std::get<1>(info.param)) + "_G" +
                                  std::to_string(std::get<2>(info.param));
                         });

}  // namespace
}  // namespace quillet::test
