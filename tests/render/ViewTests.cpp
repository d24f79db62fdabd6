// On-screen tests of the 3D view: known paths are drawn into a real window,
// the framebuffer is grabbed, and its pixels are checked against positions
// worked out here from the projection (an orthographic view fitted to the
// path's larger extent, measured from the origin).
//
// They need a display with OpenGL (Xvfb with Mesa's software renderer in CI)
// and fail, rather than skip, without one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSurfaceFormat>
#include <QTest>
#include <QWheelEvent>

#include <dlfcn.h>
#include <link.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <vector>

#include "mod_gcode/geometry/PathArena.h"
#include "platform/Paths.h"
#include "viewer/render/RenderView.h"

using QPt = quillet::CPoint3d;
using ravik::RenderView;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kW = 400;
constexpr int kH = 300;
constexpr int kBannerRows = 32;  // the banner lines sit in the top rows

quillet::CPathStyle Style(float r, float g, float b, float width, int pattern) {
  quillet::CPathStyle s;
  s.r = r, s.g = g, s.b = b, s.a = 1.f, s.width = width, s.kind = 3, s.pattern = static_cast<std::int16_t>(pattern);
  return s;
}

enum class Col { Black, Green, Cyan, Yellow, Other };

Col Classify(QRgb p) {
  const int r = qRed(p), g = qGreen(p), b = qBlue(p);
  if (r < 40 && g < 40 && b < 40) return Col::Black;
  if (r < 60 && g > 200 && b < 60) return Col::Green;
  if (r < 60 && g > 200 && b > 200) return Col::Cyan;
  if (r > 200 && g > 200 && b < 60) return Col::Yellow;
  return Col::Other;
}

struct Seg { QPt a, b; Col col; };

// The known scene: a square of feed moves (one block per side), a stippled
// rapid above it, and an arc of 5-degree chords outside its lower-left
// corner. Its box runs from -40 to 40 in x and from 35 sin 260 to 30 in y.
struct Scene {
  quillet::CPathArena arena;
  quillet::PathGroups groups;
  std::vector<Seg> segs;
  void Add(const quillet::CPathStyle& style, const std::vector<QPt>& pts, Col col) {
    quillet::CPathPolyline* p = arena.MakePolyline(style, pts.data(), pts.size());
    groups.push_back(arena.MakeList(&p, 1));
    for (std::size_t i = 1; i < pts.size(); ++i) segs.push_back({pts[i - 1], pts[i], col});
  }
  Scene() {
    const QPt sq[5] = {{-20, -20, 0}, {20, -20, 0}, {20, 20, 0}, {-20, 20, 0}, {-20, -20, 0}};
    for (int i = 0; i < 4; ++i) Add(Style(0, 1, 0, 1.5f, -1), {sq[i], sq[i + 1]}, Col::Green);
    Add(Style(0, 1, 1, 1.0f, 0), {{-40, 30, 0}, {40, 30, 0}}, Col::Cyan);
    std::vector<QPt> arc;
    for (int deg = 190; deg <= 260; deg += 5) arc.push_back({35 * std::cos(deg * kPi / 180), 35 * std::sin(deg * kPi / 180), 0});
    Add(Style(1, 1, 0, 1.5f, -1), arc, Col::Yellow);
  }
};

// Window position (pixels from the top left) of a point of the X-Y view: the
// projection spans +-c a across and +-c up and down (a = width / height, c
// the larger extent 80); zoom and pan act in view units about the centre.
struct Projection {
  double zoom = 1.0, panX = 0.0, panY = 0.0;
  QPointF ToPixel(double x, double y) const {
    const double c = 80.0, a = static_cast<double>(kW) / kH;
    return {((x * zoom + panX) / (c * a) + 1.0) * kW / 2.0, (1.0 - (y * zoom + panY) / c) * kH / 2.0};
  }
};

double DistanceToSegment(QPointF p, QPointF a, QPointF b) {
  const QPointF d = b - a;
  const double len2 = QPointF::dotProduct(d, d);
  const double t = len2 > 0 ? std::clamp(QPointF::dotProduct(p - a, d) / len2, 0.0, 1.0) : 0.0;
  const QPointF q = a + t * d - p;
  return std::hypot(q.x(), q.y());
}

int CountDifferences(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) n += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
  return n;
}

class ViewTest : public ::testing::Test {
 protected:
  // A view on screen with OpenGL ready; `vertexShader` replaces the shipped
  // vertex shader when given.
  static std::unique_ptr<RenderView> MakeView(bool fixedPipeline = false, const std::string& vertexShader = {}) {
    auto view = std::make_unique<RenderView>();
    view->setPreferFixedPipeline(fixedPipeline);
    if (!vertexShader.empty()) view->scene().SetShaderPaths(vertexShader, plat::ExePath("fragmentShader.glsl"));
    view->resize(kW, kH);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->grabFramebuffer();  // the first frame initialises OpenGL
    EXPECT_TRUE(view->glReady());
    return view;
  }
  static QImage Grab(RenderView& view) { return view.grabFramebuffer().convertToFormat(QImage::Format_RGB32); }
  static void Mouse(RenderView& view, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPointF pos) {
    QMouseEvent ev(type, pos, view.mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&view, &ev);
  }

  // The known scene in the X-Y view under `proj`: every coloured pixel below
  // the banner has the colour of the primitive nearest to it and lies within
  // 2.5 pixels of it; the rest is background. Each solid primitive is lit
  // along its length, the rapid one pixel in eight (stipple 0x0101).
  static void ExpectScenePicture(const QImage& img, const Scene& s, const Projection& proj) {
    ASSERT_EQ(QSize(kW, kH), img.size());
    std::vector<int> hits(s.segs.size());
    int wrong = 0, strays = 0;
    for (int y = kBannerRows; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const Col c = Classify(img.pixel(x, y));
        if (c == Col::Black) continue;
        double best = 1e9;
        std::size_t nearest = 0;
        for (std::size_t i = 0; i < s.segs.size(); ++i) {
          const double d = DistanceToSegment({x + 0.5, y + 0.5}, proj.ToPixel(s.segs[i].a.x, s.segs[i].a.y),
                                             proj.ToPixel(s.segs[i].b.x, s.segs[i].b.y));
          if (d < best) best = d, nearest = i;
        }
        if (best > 2.5) ++strays;
        else if (c != s.segs[nearest].col && best > 0.01) ++wrong;
        else ++hits[nearest];
      }
    EXPECT_EQ(0, strays) << "pixels away from every primitive";
    EXPECT_EQ(0, wrong) << "pixels of another primitive's colour";
    for (std::size_t i = 0; i < s.segs.size(); ++i) {
      const QPointF d = proj.ToPixel(s.segs[i].b.x, s.segs[i].b.y) - proj.ToPixel(s.segs[i].a.x, s.segs[i].a.y);
      const double length = std::hypot(d.x(), d.y());
      if (s.segs[i].col == Col::Cyan) {
        EXPECT_GT(hits[i], length / 16) << "rapid not drawn";
        EXPECT_LT(hits[i], length / 4) << "rapid not stippled";
      } else {
        EXPECT_GT(hits[i], 0.8 * length) << "primitive " << i;
      }
    }
  }
};

TEST_F(ViewTest, KnownPathDrawsAtTheProjectedPositionsInBothPipelines) {
  Scene s;
  QImage pictures[2];
  for (int fixed = 0; fixed < 2; ++fixed) {
    SCOPED_TRACE(fixed ? "fixed pipeline" : "programmable pipeline");
    auto view = MakeView(fixed == 1);
    ASSERT_EQ(fixed == 0, view->scene().render()->IsProgrammable());
    view->loaderUpload(s.groups);
    pictures[fixed] = Grab(*view);
    ExpectScenePicture(pictures[fixed], s, Projection{});
  }
  EXPECT_EQ(0, CountDifferences(pictures[0], pictures[1])) << "the pipelines differ";
}

TEST_F(ViewTest, XZViewFlattensAnXYPathToALine) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  view->setStandardView(ravik::StandardView::XZ);
  const QImage img = Grab(*view);
  // Everything lies on the middle row; the rapid starts at x = -40, the
  // solid parts end at 20.
  int minAny = kW, maxSolid = -1;
  for (int y = kBannerRows; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const Col c = Classify(img.pixel(x, y));
      if (c == Col::Black) continue;
      EXPECT_NEAR(kH / 2.0, y + 0.5, 2.0) << "x " << x;
      minAny = std::min(minAny, x);
      if (c != Col::Cyan) maxSolid = std::max(maxSolid, x);
    }
  const Projection proj;
  EXPECT_NEAR(proj.ToPixel(-40, 0).x(), minAny, 2.0);
  EXPECT_NEAR(proj.ToPixel(20, 0).x(), maxSolid + 1, 2.0);
}

TEST_F(ViewTest, MiddleButtonDragMovesThePictureAndTheCursorReturnsAfterIt) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  Mouse(*view, QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, {200, 150});
  Mouse(*view, QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, {215, 160});
  Mouse(*view, QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, {230, 170});
  EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor) << "while the picture is dragged";
  Mouse(*view, QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, {230, 170});
  EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor) << "the drag has ended";
  // A drag of 30 and 20 pixels is a pan of that many view units at
  // 2 c a / width and 2 c / height per pixel.
  Projection panned;
  panned.panX = 30.0 * 2 * 80 * (static_cast<double>(kW) / kH) / kW;
  panned.panY = -20.0 * 2 * 80 / kH;
  ExpectScenePicture(Grab(*view), s, panned);
}

TEST_F(ViewTest, WheelStepsScaleThePicture) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  const QPointF centre(kW / 2.0, kH / 2.0);
  for (int i = 0; i < 2; ++i) {
    QWheelEvent ev(centre, view->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.get(), &ev);
  }
  Projection zoomed;
  zoomed.zoom = 1.2;
  ExpectScenePicture(Grab(*view), s, zoomed);
}

TEST_F(ViewTest, TurnThenXYViewRestoresTheFirstPicture) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  const QImage first = Grab(*view);
  Mouse(*view, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, {100, 100});
  Mouse(*view, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, {160, 130});
  Mouse(*view, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, {160, 130});
  EXPECT_GT(CountDifferences(first, Grab(*view)), 200);
  view->setStandardView(ravik::StandardView::XY);
  EXPECT_EQ(0, CountDifferences(first, Grab(*view)));
}

TEST_F(ViewTest, TheViewDrawsFromItsOwnCopyGivenEvenBeforeItShows) {
  auto view = std::make_unique<RenderView>();
  view->resize(kW, kH);
  {
    Scene s;
    view->loaderUpload(s.groups);
  }  // the library frees the program
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  ExpectScenePicture(Grab(*view), Scene(), Projection{});  // the same picture, fitted when shown
}

TEST_F(ViewTest, MissingOrBrokenShadersFallBackToTheFixedPipeline) {
  const std::string broken = ::testing::TempDir() + "ravik_broken_shader.glsl";
  std::ofstream(broken) << "#version 120\nvoid main() { this is not glsl }\n";
  for (const std::string& vertexPath : {std::string("/nonexistent/vertexShader.glsl"), broken}) {
    Scene s;
    auto view = MakeView(false, vertexPath);
    ASSERT_TRUE(view->glReady());
    EXPECT_FALSE(view->scene().render()->IsProgrammable()) << vertexPath;
    view->loaderUpload(s.groups);
    ExpectScenePicture(Grab(*view), s, Projection{});
  }
}

// Marks every loaded library as never unloaded, so that leak reports from
// the OpenGL driver and Qt's plugins name their library (and the sanitizer
// suppressions can name them) instead of an unloaded module.
int KeepLoaded(struct dl_phdr_info* info, std::size_t, void*) {
  if (info->dlpi_name && info->dlpi_name[0])
    if (void* h = dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(h);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);
  const int result = RUN_ALL_TESTS();
  dl_iterate_phdr(KeepLoaded, nullptr);
  return result;
}
