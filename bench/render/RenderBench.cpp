// Benchmark of the 3D view on a large surfacing path: copying a
// 1,000,000-segment path out of PathGroups and uploading it (on a loader
// thread through the shared context, and on the interface thread), and the
// time of one frame, per pipeline and per way of batching the draw calls.
//
// Run under a display with OpenGL, for example:
//   xvfb-run -a -s '-screen 0 1280x1024x24' build/bin/render_bench [segments]
#include <QApplication>
#include <QElapsedTimer>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QTest>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mod_gcode/geometry/PathArena.h"
#include "viewer/render/RenderView.h"

using quillet::CPathArena;
using quillet::CPathPolyline;
using quillet::CPathStyle;
using quillet::PathGroups;
using QPt = quillet::CPoint3d;
using ravik::BatchMode;
using ravik::CRenderData;
using ravik::RenderView;

namespace {

constexpr double kPi = 3.14159265358979323846;

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

double Surface(double x, double y) {
  return 5.0 * std::sin(x * 0.05) * std::cos(y * 0.04) - 2.0;
}

// A zig-zag raster over a wavy surface: rows of feed segments (one block
// each, as the library makes them) joined by half-circle turn-arounds.
struct SurfacingPath {
  CPathArena arena;
  PathGroups groups;
  std::size_t segments = 0;

  explicit SurfacingPath(std::size_t target) {
    const CPathStyle feed = Style(0, 1, 0, 1.5f, -1);
    const CPathStyle rapid = Style(0, 1, 1, 1.0f, 0);
    const CPathStyle arc = Style(1, 1, 0, 1.5f, -1);
    const int rows = 500;
    const std::size_t perRow = std::max<std::size_t>(1, target / rows);
    const double width = 300.0, step = 0.6;
    CPathPolyline* first = arena.MakeSegment(rapid, {0, 0, 50}, {0, 0, Surface(0, 0)});
    groups.push_back(arena.MakeList(&first, 1));
    for (int r = 0; r < rows && segments < target; ++r) {
      double y = r * step;
      bool forward = r % 2 == 0;
      for (std::size_t i = 0; i < perRow && segments < target; ++i) {
        double t0 = width * static_cast<double>(i) / perRow;
        double t1 = width * static_cast<double>(i + 1) / perRow;
        double x0 = forward ? t0 : width - t0, x1 = forward ? t1 : width - t1;
        CPathPolyline* seg =
            arena.MakeSegment(feed, {x0, y, Surface(x0, y)}, {x1, y, Surface(x1, y)});
        groups.push_back(arena.MakeList(&seg, 1));
        ++segments;
      }
      if (r + 1 < rows) {
        // Half circle of radius step / 2 from (x, y) to (x, y + step).
        double x = forward ? width : 0.0, cy = y + step / 2;
        std::vector<QPt> pts;
        for (int k = 0; k <= 36; ++k) {
          double a = -kPi / 2 + k * kPi / 36;
          double px = forward ? x + step / 2 * std::cos(a) : x - step / 2 * std::cos(a);
          pts.push_back({px, cy + step / 2 * std::sin(a), Surface(x, y)});
        }
        CPathPolyline* turn = arena.MakePolyline(arc, pts.data(), pts.size());
        groups.push_back(arena.MakeList(&turn, 1));
      }
    }
  }
};

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::unique_ptr<RenderView> MakeView(bool fixed, BatchMode mode) {
  auto view = std::make_unique<RenderView>();
  view->setPreferFixedPipeline(fixed);
  view->setBatchMode(mode);
  view->resize(1000, 800);
  view->show();
  if (!QTest::qWaitForWindowExposed(view.get())) return nullptr;
  view->grabFramebuffer();
  return view->glReady() ? std::move(view) : nullptr;
}

// Median time of one frame: clear, draw, overlay, glFinish.
double FrameTime(RenderView& view, int frames) {
  std::vector<double> times;
  for (int i = 0; i <= frames; ++i) {
    view.makeCurrent();
    auto t0 = std::chrono::steady_clock::now();
    view.scene().Render();
    QOpenGLContext::currentContext()->functions()->glFinish();
    auto t1 = std::chrono::steady_clock::now();
    view.doneCurrent();
    if (i > 0) times.push_back(Ms(t1 - t0));  // the first frame warms up
  }
  return Median(times);
}

const char* ModeName(BatchMode m) {
  switch (m) {
    case BatchMode::Batched: return "batched (GL_LINES runs)";
    case BatchMode::Strips: return "batched (glMultiDrawArrays strips)";
    case BatchMode::PerPolyline: return "one draw call per polyline";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t target = 1000000;
  if (argc > 1) {
    std::string_view arg(argv[1]);
    std::from_chars(arg.data(), arg.data() + arg.size(), target);
  }
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);

  auto b0 = std::chrono::steady_clock::now();
  SurfacingPath path(target);
  auto b1 = std::chrono::steady_clock::now();
  std::printf("path: %zu segments, %zu blocks, built in %.1f ms\n", path.segments,
              path.groups.size(), Ms(b1 - b0));

  // Copy alone.
  std::vector<double> copies;
  for (int i = 0; i < 3; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    CRenderData d(path.groups);
    copies.push_back(Ms(std::chrono::steady_clock::now() - t0));
  }
  std::printf("copy of the path into vertex data: %.1f ms (median of 3)\n", Median(copies));

  auto view = MakeView(false, BatchMode::Batched);
  if (!view) {
    std::fprintf(stderr, "no OpenGL window\n");
    return 1;
  }
  std::printf("renderer: %s, threaded upload: %s\n",
              view->scene().render()->IsProgrammable() ? "programmable" : "fixed",
              view->threadedUpload() ? "yes" : "no");

  // Loader thread: copy and upload through the shared context; then the
  // interface thread adopts the buffers.
  std::vector<double> loaderTimes, adoptTimes;
  for (int i = 0; i < 3; ++i) {
    QSignalSpy applied(view.get(), &RenderView::uploadApplied);
    auto t0 = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point t1;
    std::thread loader([&] {
      view->loaderUpload(path.groups);
      t1 = std::chrono::steady_clock::now();
    });
    loader.join();
    if (applied.count() == 0) applied.wait(10000);
    auto t2 = std::chrono::steady_clock::now();
    loaderTimes.push_back(Ms(t1 - t0));
    adoptTimes.push_back(Ms(t2 - t0));
  }
  std::printf("loader thread: copy + upload %.1f ms; until the view has adopted it %.1f ms\n",
              Median(loaderTimes), Median(adoptTimes));

  // Interface thread: copy and upload in one call.
  std::vector<double> guiTimes;
  for (int i = 0; i < 3; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    view->loaderUpload(path.groups);
    view->makeCurrent();
    QOpenGLContext::currentContext()->functions()->glFinish();
    view->doneCurrent();
    guiTimes.push_back(Ms(std::chrono::steady_clock::now() - t0));
  }
  std::printf("interface thread: copy + upload %.1f ms\n", Median(guiTimes));
  view.reset();

  const int frames = 7;
  for (bool fixed : {false, true}) {
    for (BatchMode mode : {BatchMode::Batched, BatchMode::Strips, BatchMode::PerPolyline}) {
      auto v = MakeView(fixed, mode);
      if (!v) return 1;
      v->loaderUpload(path.groups);
      std::printf("frame 1000x800, %s pipeline, %s: %.1f ms (median of %d)\n",
                  fixed ? "fixed" : "programmable", ModeName(mode), FrameTime(*v, frames), frames);
    }
  }
  return 0;
}
