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
#include <QOpenGLContext>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QTest>
#include <QWheelEvent>

#include <dlfcn.h>
#include <link.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "mod_gcode/GCCode/PathArena.h"
#include "platform/Paths.h"
#include "viewer/render/RenderView.h"

using quillet::CPathArena;
using quillet::CPathPolyline;
using quillet::CPathStyle;
using quillet::PathGroups;
using QPt = quillet::CPoint3d;
using ravik::BatchMode;
using ravik::RenderView;
using ravik::StandardView;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kW = 400;
constexpr int kH = 300;
// The banner lines sit in the top rows.
constexpr int kBannerRows = 32;

CPathStyle Style(float r, float g, float b, float width, int pattern) {
  CPathStyle s;
  s.r = r;
  s.g = g;
  s.b = b;
  s.a = 1.f;
  s.width = width;
  s.kind = 3;
  s.pattern = static_cast<std::int16_t>(pattern);
  return s;
}

const CPathStyle kFeed = Style(0, 1, 0, 1.5f, -1);
const CPathStyle kRapid = Style(0, 1, 1, 1.0f, 0);
const CPathStyle kArc = Style(1, 1, 0, 1.5f, -1);

enum class Col { Black, Green, Cyan, Yellow, Red, Other };

Col Classify(QRgb p) {
  int r = qRed(p), g = qGreen(p), b = qBlue(p);
  if (r < 40 && g < 40 && b < 40) return Col::Black;
  if (r < 60 && g > 200 && b < 60) return Col::Green;
  if (r < 60 && g > 200 && b > 200) return Col::Cyan;
  if (r > 200 && g > 200 && b < 60) return Col::Yellow;
  if (r > 200 && g < 60 && b < 60) return Col::Red;
  return Col::Other;
}

// A drawn segment in world coordinates and the colour it must show.
struct Seg {
  QPt a, b;
  Col col;
};

// The known scene: a square of feed moves (one block per side), a rapid
// above it, and an arc of 5-degree chords outside its lower-left corner.
struct Scene {
  CPathArena arena;
  PathGroups groups;
  std::vector<Seg> segs;
  std::vector<QPt> arcPoints;
  CPathPolyline* squareSide[4] = {};

  Scene() {
    const QPt sq[5] = {{-20, -20, 0}, {20, -20, 0}, {20, 20, 0}, {-20, 20, 0}, {-20, -20, 0}};
    for (int i = 0; i < 4; ++i) {
      squareSide[i] = arena.MakeSegment(kFeed, sq[i], sq[i + 1]);
      groups.push_back(arena.MakeList(&squareSide[i], 1));
      segs.push_back({sq[i], sq[i + 1], Col::Green});
    }
    CPathPolyline* rapid = arena.MakeSegment(kRapid, {-40, 30, 0}, {40, 30, 0});
    groups.push_back(arena.MakeList(&rapid, 1));
    segs.push_back({{-40, 30, 0}, {40, 30, 0}, Col::Cyan});
    for (int deg = 190; deg <= 260; deg += 5) {
      double r = deg * kPi / 180.0;
      arcPoints.push_back({35 * std::cos(r), 35 * std::sin(r), 0});
    }
    CPathPolyline* arc = arena.MakePolyline(kArc, arcPoints.data(), arcPoints.size());
    groups.push_back(arena.MakeList(&arc, 1));
    for (std::size_t i = 1; i < arcPoints.size(); ++i) {
      segs.push_back({arcPoints[i - 1], arcPoints[i], Col::Yellow});
    }
  }
};

// The larger extent of the scene's box (which holds the origin): x runs from
// -40 to 40, y from 35 sin 260 = -34.47 to 30.
constexpr double kSceneHalfSize = 80.0;

// Window position (pixels from the top left, fractional) of a point in the
// X-Y view: the projection spans +-c a across and +-c up and down for a
// window wider than high (a = width / height); zoom and pan act in view
// units about the centre.
struct Projection {
  double c = kSceneHalfSize;
  double zoom = 1.0;
  double panX = 0.0, panY = 0.0;
  QPointF ToPixel(double x, double y) const {
    double a = static_cast<double>(kW) / kH;
    double vx = x * zoom + panX, vy = y * zoom + panY;
    return {(vx / (c * a) + 1.0) * kW / 2.0, (1.0 - vy / c) * kH / 2.0};
  }
};

double DistanceToSegment(QPointF p, QPointF a, QPointF b) {
  double dx = b.x() - a.x(), dy = b.y() - a.y();
  double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x() - a.x()) * dx + (p.y() - a.y()) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  double qx = a.x() + t * dx - p.x(), qy = a.y() + t * dy - p.y();
  return std::sqrt(qx * qx + qy * qy);
}

// Whether a pixel of the given colour lies within `radius` pixels of `p`.
bool ColourNear(const QImage& img, QPointF p, Col col, int radius = 1) {
  int cx = static_cast<int>(std::floor(p.x())), cy = static_cast<int>(std::floor(p.y()));
  for (int y = cy - radius; y <= cy + radius; ++y)
    for (int x = cx - radius; x <= cx + radius; ++x)
      if (img.valid(x, y) && Classify(img.pixel(x, y)) == col) return true;
  return false;
}

int CountDifferences(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF)) ++n;
  return n;
}

// Mean position of the pixels of one colour below the banner.
QPointF Centroid(const QImage& img, Col col, int* count = nullptr) {
  double sx = 0, sy = 0;
  int n = 0;
  for (int y = kBannerRows; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (Classify(img.pixel(x, y)) == col) {
        sx += x;
        sy += y;
        ++n;
      }
  if (count) *count = n;
  return n ? QPointF(sx / n, sy / n) : QPointF(-1, -1);
}

class ViewTest : public ::testing::Test {
 protected:
  std::unique_ptr<RenderView> MakeView(bool fixedPipeline = false,
                                       BatchMode mode = BatchMode::Batched) {
    auto view = std::make_unique<RenderView>();
    view->setPreferFixedPipeline(fixedPipeline);
    view->setBatchMode(mode);
    view->resize(kW, kH);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    // The first frame initialises OpenGL.
    view->grabFramebuffer();
    EXPECT_TRUE(view->glReady());
    return view;
  }

  static QImage Grab(RenderView& view) {
    QImage img = view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(QSize(kW, kH), img.size());
    return img;
  }

  static void Mouse(RenderView& view, QEvent::Type type, Qt::MouseButton button,
                    Qt::MouseButtons buttons, QPointF pos) {
    QMouseEvent ev(type, pos, view.mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&view, &ev);
  }

  static void Wheel(RenderView& view, int delta) {
    QPointF pos(kW / 2.0, kH / 2.0);
    QWheelEvent ev(pos, view.mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &ev);
  }

  // The checks of the known scene in the X-Y view under `proj`.
  static void ExpectScenePicture(const QImage& img, const Scene& s, const Projection& proj) {
    // Feed sides green: sample each side away from its corners.
    for (int i = 0; i < 4; ++i) {
      const Seg& seg = s.segs[i];
      for (double t = 0.15; t < 0.9; t += 0.1) {
        QPointF p = proj.ToPixel(seg.a.x + t * (seg.b.x - seg.a.x), seg.a.y + t * (seg.b.y - seg.a.y));
        EXPECT_TRUE(ColourNear(img, p, Col::Green)) << "side " << i << " t " << t;
      }
    }
    // Arc yellow at its chord points (away from the ends).
    for (std::size_t i = 1; i + 1 < s.arcPoints.size(); ++i) {
      QPointF p = proj.ToPixel(s.arcPoints[i].x, s.arcPoints[i].y);
      EXPECT_TRUE(ColourNear(img, p, Col::Yellow)) << "arc point " << i;
    }
    // Rapid cyan and stippled (0x0101: one pixel in eight on): along its
    // row, lit columns are few and never run on.
    QPointF left = proj.ToPixel(-40, 30), right = proj.ToPixel(40, 30);
    int row = static_cast<int>(std::floor(left.y()));
    int lit = 0, run = 0, longest = 0;
    int x0 = static_cast<int>(left.x()) + 2, x1 = static_cast<int>(right.x()) - 2;
    for (int x = x0; x <= x1; ++x) {
      bool on = false;
      for (int y = row - 1; y <= row + 1; ++y) on = on || Classify(img.pixel(x, y)) == Col::Cyan;
      lit += on;
      run = on ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    int span = x1 - x0 + 1;
    EXPECT_GE(lit, span / 16) << "rapid not drawn";
    EXPECT_LE(lit, span / 4) << "rapid not stippled";
    EXPECT_LE(longest, 2);
    // Every coloured pixel below the banner belongs to the primitive nearest
    // to it and lies within 2.5 pixels of it; the rest is background.
    int wrong = 0, strays = 0, coloured = 0;
    for (int y = kBannerRows; y < img.height(); ++y) {
      for (int x = 0; x < img.width(); ++x) {
        Col c = Classify(img.pixel(x, y));
        QPointF centre(x + 0.5, y + 0.5);
        double best = 1e9;
        Col nearest = Col::Black;
        for (const Seg& seg : s.segs) {
          double d = DistanceToSegment(centre, proj.ToPixel(seg.a.x, seg.a.y),
                                       proj.ToPixel(seg.b.x, seg.b.y));
          if (d < best) {
            best = d;
            nearest = seg.col;
          }
        }
        if (c == Col::Black) continue;
        ++coloured;
        if (best > 2.5) ++strays;
        else if (c != nearest && best > 0.01) ++wrong;
      }
    }
    EXPECT_EQ(0, strays) << "pixels away from every primitive";
    EXPECT_EQ(0, wrong) << "pixels of another primitive's colour";
    EXPECT_GT(coloured, 300);
  }
};

TEST_F(ViewTest, KnownPathDrawsAtTheProjectedPositionsInBothPipelines) {
  Scene s;
  QImage pictures[2];
  for (int fixed = 0; fixed < 2; ++fixed) {
    auto view = MakeView(fixed == 1);
    ASSERT_EQ(fixed == 0, view->scene().render()->IsProgrammable());
    view->loaderUpload(s.groups);
    pictures[fixed] = Grab(*view);
    SCOPED_TRACE(fixed ? "fixed pipeline" : "programmable pipeline");
    ExpectScenePicture(pictures[fixed], s, Projection{});
    // The banner is drawn at the top left.
    int banner = 0;
    for (int y = 0; y < kBannerRows; ++y)
      for (int x = 0; x < 200; ++x) banner += Classify(pictures[fixed].pixel(x, y)) == Col::Cyan;
    EXPECT_GT(banner, 100);
  }
  EXPECT_EQ(0, CountDifferences(pictures[0], pictures[1])) << "the pipelines differ";
}

TEST_F(ViewTest, BatchingDoesNotChangeThePicture) {
  // Zig-zags of segments, a stippled multi-point strip, solid multi-point
  // strips side by side, two-point strips that do not join.
  CPathArena arena;
  PathGroups groups;
  std::vector<CPathPolyline*> block;
  for (int i = 0; i < 30; ++i) {
    block.push_back(arena.MakeSegment(kFeed, {-60.0 + 4 * i, -40.0 + (i % 2) * 10, 0},
                                      {-56.0 + 4 * i, -40.0 + ((i + 1) % 2) * 10, 0}));
  }
  std::vector<QPt> strip = {{-60, 0, 0}, {-30, 20, 0}, {0, 0, 0}, {30, 20, 0}, {60, 0, 0}};
  block.push_back(arena.MakePolyline(kRapid, strip.data(), strip.size()));
  std::vector<QPt> strip2 = {{-60, 30, 0}, {-20, 45, 0}, {20, 30, 0}};
  block.push_back(arena.MakePolyline(kRapid, strip2.data(), strip2.size()));
  for (int k = 0; k < 3; ++k) {
    std::vector<QPt> pts = {{-50.0 + 35 * k, -10, 0}, {-40.0 + 35 * k, -25, 0}, {-30.0 + 35 * k, -10, 0}};
    block.push_back(arena.MakePolyline(kArc, pts.data(), pts.size()));
  }
  block.push_back(arena.MakeSegment(kRapid, {-60, 50, 0}, {-10, 50, 0}));
  block.push_back(arena.MakeSegment(kRapid, {10, 50, 0}, {60, 50, 0}));
  groups.push_back(arena.MakeList(block.data(), block.size()));

  QImage reference;
  for (BatchMode mode : {BatchMode::PerPolyline, BatchMode::Batched, BatchMode::Strips}) {
    for (bool fixed : {false, true}) {
      auto view = MakeView(fixed, mode);
      view->loaderUpload(groups);
      QImage img = Grab(*view);
      if (reference.isNull()) {
        reference = img;
        continue;
      }
      EXPECT_EQ(0, CountDifferences(reference, img))
          << "mode " << static_cast<int>(mode) << " fixed " << fixed;
    }
  }
}

TEST_F(ViewTest, XZViewFlattensAnXYPathToALine) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  view->setStandardView(StandardView::XZ);
  QImage img = Grab(*view);
  // Solid parts (the square and the arc) run from x = 35 cos 190 to 20; the
  // stippled rapid from -40 to 40.
  int coloured = 0, minSolid = kW, maxSolid = -1, minRapid = kW, maxRapid = -1;
  for (int y = kBannerRows; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      Col c = Classify(img.pixel(x, y));
      if (c == Col::Black) continue;
      ++coloured;
      EXPECT_NEAR(kH / 2.0, y + 0.5, 2.0) << "x " << x;
      if (c == Col::Cyan) {
        minRapid = std::min(minRapid, x);
        maxRapid = std::max(maxRapid, x);
      } else {
        minSolid = std::min(minSolid, x);
        maxSolid = std::max(maxSolid, x);
      }
    }
  EXPECT_GT(coloured, 100);
  Projection proj;
  EXPECT_NEAR(proj.ToPixel(35 * std::cos(190 * kPi / 180), 0).x(), minSolid, 2.0);
  EXPECT_NEAR(proj.ToPixel(20, 0).x(), maxSolid + 1, 2.0);
  EXPECT_NEAR(proj.ToPixel(-40, 0).x(), minRapid, 2.0);
  EXPECT_LE(maxRapid + 1, proj.ToPixel(40, 0).x() + 1);
  EXPECT_GE(maxRapid + 1, proj.ToPixel(40, 0).x() - 9);  // within one stipple period
}

TEST_F(ViewTest, MiddleButtonDragMovesThePictureByTheDrag) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  QImage before = Grab(*view);
  QPointF start(200, 150), end(230, 170);
  Mouse(*view, QEvent::MouseButtonPress, Qt::MiddleButton, Qt::MiddleButton, start);
  Mouse(*view, QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, QPointF(215, 160));
  Mouse(*view, QEvent::MouseMove, Qt::NoButton, Qt::MiddleButton, end);
  Mouse(*view, QEvent::MouseButtonRelease, Qt::MiddleButton, Qt::NoButton, end);
  QImage after = Grab(*view);
  int n0 = 0, n1 = 0;
  QPointF c0 = Centroid(before, Col::Green, &n0), c1 = Centroid(after, Col::Green, &n1);
  ASSERT_GT(n0, 100);
  EXPECT_NEAR(n0, n1, n0 / 50);
  EXPECT_NEAR(30.0, c1.x() - c0.x(), 0.5);
  EXPECT_NEAR(20.0, c1.y() - c0.y(), 0.5);
  // The whole scene sits where the projection with that pan puts it: a drag
  // of 30 and 20 pixels is a pan of that many view units at 2 c a / width
  // and 2 c / height per pixel.
  Projection panned;
  panned.panX = 30.0 * 2 * kSceneHalfSize * (static_cast<double>(kW) / kH) / kW;
  panned.panY = -20.0 * 2 * kSceneHalfSize / kH;
  ExpectScenePicture(after, s, panned);
}

TEST_F(ViewTest, WheelStepsScaleThePictureWithinBounds) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  Wheel(*view, 120);
  Wheel(*view, 120);
  Projection zoomed;
  zoomed.zoom = 1.2;
  ExpectScenePicture(Grab(*view), s, zoomed);

  // Far out: the picture shrinks to a tenth and stays the right way up.
  for (int i = 0; i < 60; ++i) Wheel(*view, -120);
  EXPECT_NEAR(0.1, view->scene().camera().zoom, 1e-6);
  QImage small = Grab(*view);
  int greens = 0, cyans = 0;
  QPointF g = Centroid(small, Col::Green, &greens);
  QPointF c = Centroid(small, Col::Cyan, &cyans);
  EXPECT_GT(greens, 10);
  EXPECT_NEAR(kW / 2.0, g.x(), 1.5);
  EXPECT_NEAR(kH / 2.0, g.y(), 1.5);
  // The rapid at y 30 stays above the centre, 30 x 0.1 x 1.875 pixels.
  ASSERT_GT(cyans, 0);
  EXPECT_NEAR(kH / 2.0 - 30 * 0.1 * kH / (2 * kSceneHalfSize), c.y() + 0.5, 1.5);
}

TEST_F(ViewTest, FarZoomInStillDrawsThePath) {
  // A short line through the origin; zoomed in as far as the wheel goes it
  // crosses the whole window and is not cut away by the depth range.
  CPathArena arena;
  PathGroups groups;
  CPathPolyline* line = arena.MakeSegment(kFeed, {-1, 0, -5}, {1, 0, 5});
  groups.push_back(arena.MakeList(&line, 1));
  auto view = MakeView();
  view->loaderUpload(groups);
  for (int i = 0; i < 600; ++i) Wheel(*view, 120);
  EXPECT_NEAR(ravik::CCamera::kMaxZoom, view->scene().camera().zoom, 1e-3);
  QImage big = Grab(*view);
  int litColumns = 0;
  for (int x = 0; x < kW; ++x) {
    bool lit = false;
    for (int y = kH / 2 - 2; y <= kH / 2 + 1; ++y) lit = lit || Classify(big.pixel(x, y)) == Col::Green;
    litColumns += lit;
  }
  EXPECT_EQ(kW, litColumns);
}

TEST_F(ViewTest, TurnThenXYViewRestoresTheFirstPicture) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  QImage first = Grab(*view);
  Mouse(*view, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPointF(100, 100));
  Mouse(*view, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, QPointF(160, 130));
  Mouse(*view, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, QPointF(160, 130));
  QImage turned = Grab(*view);
  EXPECT_GT(CountDifferences(first, turned), 200);
  view->setStandardView(StandardView::XY);
  EXPECT_EQ(0, CountDifferences(first, Grab(*view)));
}

TEST_F(ViewTest, SuppressedDragDoesNotTurn) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  QImage first = Grab(*view);
  view->suppressNextDrag();
  Mouse(*view, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, QPointF(180, 120));
  EXPECT_EQ(0, CountDifferences(first, Grab(*view)));
}

TEST_F(ViewTest, LoaderThreadUploadShowsTheSamePicture) {
  Scene s;
  auto reference = MakeView();
  reference->loaderUpload(s.groups);
  QImage expected = Grab(*reference);

  for (bool threaded : {true, false}) {
    auto view = MakeView();
    view->setThreadedUpload(threaded);
    EXPECT_EQ(threaded && QOpenGLContext::supportsThreadedOpenGL(), view->threadedUpload());
    QSignalSpy applied(view.get(), &RenderView::uploadApplied);
    std::thread loader([&] { view->loaderUpload(s.groups); });
    loader.join();
    ASSERT_TRUE(applied.count() > 0 || applied.wait(5000));
    EXPECT_EQ(0, CountDifferences(expected, Grab(*view))) << "threaded " << threaded;
  }
}

TEST_F(ViewTest, LoaderCopyDoesNotReadTheLibrarysMemoryLater) {
  auto view = MakeView();
  {
    Scene s;
    view->loaderUpload(s.groups);
  }  // the library frees the program
  Scene again;  // the same picture, drawn from the view's own copy
  ExpectScenePicture(Grab(*view), again, Projection{});
}

TEST_F(ViewTest, HighlightRecoloursWithoutUploadingAgain) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  const float* vertices = view->scene().render()->renderData()->vertexPointer();
  // The library recolours the block of the square's bottom side.
  CPathPolyline* side = s.squareSide[0];
  side->m_style.r = 1;
  side->m_style.g = 0;
  side->m_style.b = 0;
  side->m_style.width = 3;
  EXPECT_TRUE(view->highlight(s.groups));
  EXPECT_EQ(vertices, view->scene().render()->renderData()->vertexPointer());
  QImage img = Grab(*view);
  Projection proj;
  EXPECT_TRUE(ColourNear(img, proj.ToPixel(0, -20), Col::Red));
  EXPECT_FALSE(ColourNear(img, proj.ToPixel(0, -20), Col::Green));
  EXPECT_TRUE(ColourNear(img, proj.ToPixel(0, 20), Col::Green));
  // A highlight on a path that no longer matches takes the path in full.
  Scene other;
  CPathPolyline* extra = other.arena.MakeSegment(kFeed, {0, 0, 0}, {5, 5, 0});
  other.groups.push_back(other.arena.MakeList(&extra, 1));
  EXPECT_FALSE(view->highlight(other.groups));
  // Four sides, the rapid, the arc and the extra segment.
  EXPECT_EQ(7u, view->scene().render()->renderData()->polylineCount());
}

TEST_F(ViewTest, EmptyPathDrawsNothingAndKeepsTheFit) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  const float before = view->scene().projection().m[5];
  PathGroups none;
  view->loaderUpload(none);
  EXPECT_FLOAT_EQ(before, view->scene().projection().m[5]);
  QImage img = Grab(*view);
  for (int y = kBannerRows; y < kH; ++y)
    for (int x = 0; x < kW; ++x) ASSERT_EQ(Col::Black, Classify(img.pixel(x, y))) << x << "," << y;
}

TEST_F(ViewTest, MissingOrBrokenShadersFallBackToTheFixedPipeline) {
  const std::string broken = ::testing::TempDir() + "ravik_broken_shader.glsl";
  {
    std::ofstream f(broken);
    f << "#version 120\nvoid main() { this is not glsl }\n";
  }
  const std::string good = plat::ExePath("fragmentShader.glsl");
  for (const std::string& vertexPath : {std::string("/nonexistent/vertexShader.glsl"), broken}) {
    Scene s;
    auto view = std::make_unique<RenderView>();
    view->scene().SetShaderPaths(vertexPath, good);
    view->resize(kW, kH);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->grabFramebuffer();
    ASSERT_TRUE(view->glReady());
    EXPECT_FALSE(view->scene().render()->IsProgrammable()) << vertexPath;
    view->loaderUpload(s.groups);
    ExpectScenePicture(Grab(*view), s, Projection{});
  }
}

TEST_F(ViewTest, PathGivenBeforeTheWindowShowsIsFittedWhenItDoes) {
  Scene s;
  auto view = std::make_unique<RenderView>();
  view->resize(kW, kH);
  view->loaderUpload(s.groups);
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  ExpectScenePicture(Grab(*view), s, Projection{});
}

TEST_F(ViewTest, NewContextAfterMovingToAnotherWindowDrawsTheSamePath) {
  Scene s;
  auto view = MakeView();
  view->loaderUpload(s.groups);
  QImage before = Grab(*view);
  QWidget other;
  other.resize(kW, kH);
  view->setParent(&other);
  view->move(0, 0);
  other.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
  QImage after = Grab(*view);
  ASSERT_TRUE(view->glReady());
  EXPECT_EQ(0, CountDifferences(before, after));
  view->setParent(nullptr);  // destroyed before `other`
}

TEST_F(ViewTest, LatestOfTwoLoaderUploadsWins) {
  // The first upload is replaced before the view adopts it; its buffers are
  // released and the second path is shown.
  CPathArena arena;
  PathGroups first;
  CPathPolyline* line = arena.MakeSegment(kArc, {-50, -50, 0}, {50, 50, 0});
  first.push_back(arena.MakeList(&line, 1));
  Scene s;
  auto view = MakeView();
  QSignalSpy applied(view.get(), &RenderView::uploadApplied);
  std::thread loader([&] {
    view->loaderUpload(first);
    view->loaderUpload(s.groups);
  });
  loader.join();
  ASSERT_TRUE(applied.count() > 0 || applied.wait(5000));
  ExpectScenePicture(Grab(*view), s, Projection{});
  // A view destroyed with an upload still queued releases it with its context.
  std::thread again([&] { view->loaderUpload(first); });
  again.join();
  view.reset();
  QApplication::processEvents();
}

}  // namespace

namespace {

// Marks every loaded library as never unloaded, so that leak reports from
// the OpenGL driver and Qt's plugins name their library (and the sanitizer
// suppressions can name them) instead of an unloaded module.
int KeepLoaded(struct dl_phdr_info* info, std::size_t, void*) {
  if (info->dlpi_name && info->dlpi_name[0]) {
    if (void* h = dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) dlclose(h);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);
  int result = RUN_ALL_TESTS();
  dl_iterate_phdr(KeepLoaded, nullptr);
  return result;
}
