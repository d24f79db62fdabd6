// Opening a 1,000,000-line surfacing program in the real main window: the
// time from the open command to the tool path on screen (the first frame
// shown after the view took the path), and whether the progress bar moved
// while the program loaded.
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' env QT_QPA_PLATFORM=xcb
//     QT_XCB_GL_INTEGRATION=xcb_glx LIBGL_ALWAYS_SOFTWARE=1
//     build/bin/app_load_bench [lines] [runs]
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QSurfaceFormat>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "bench/core/SurfaceProgram.h"
#include "platform/Files.h"
#include "viewer/CommandStore.h"
#include "viewer/DlgLoading.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/RavikApp.h"
#include "viewer/RavikDlg.h"
#include "viewer/UiSeam.h"

using namespace ravik;

namespace {

class BenchSeam : public UiSeam {
 public:
  void Message(QWidget*, const QString&, const QString& text, Icon) override {
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
  }
  Answer Question(QWidget*, const QString&, const QString&, bool) override { return Answer::No; }
  QString OpenFileName(QWidget*, const QString&) override { return path; }
  QString SaveFileName(QWidget*, const QString&) override { return {}; }
  QString path;
};

struct Run {
  double dialogClosed = 0, pathApplied = 0, onScreen = 0, loaderEnded = 0;
  int progressValues = 0;
  std::size_t commands = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);
  InitApplication(app.arguments());
  SetLanguageFlag(1);
  const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;

  const std::string file = "/tmp/ravik_bench_surface.nc";
  const std::string text = quillet::bench::MakeSurfacingProgram(static_cast<std::size_t>(lines));
  if (!plat::WriteFileAtomic(file, text)) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    return 1;
  }
  std::printf("program: %s, %ld lines, %zu bytes\n", file.c_str(),
              static_cast<long>(std::count(text.begin(), text.end(), '\n')), text.size());

  BenchSeam seam;
  seam.path = QString::fromStdString(file);
  SetUiSeam(&seam);
  int status = 0;
  {
    CRavikDlg main;
    main.show();
    QElapsedTimer wait;
    wait.start();
    while (!main.render()->view()->glReady() && wait.elapsed() < 10000) app.processEvents(QEventLoop::AllEvents, 50);
    CDlgRender* render = main.render();
    ViewWidget* view = render->view();

    std::vector<Run> results;
    for (int r = 0; r < runs; ++r) {
      Run run;
      QElapsedTimer clock;
      bool applied = false, shown = false, ended = false;
      std::set<int> values;
      auto c1 = QObject::connect(view, &RenderView::uploadApplied, [&] {
        applied = true;
        run.pathApplied = clock.nsecsElapsed() / 1e6;
      });
      auto c2 = QObject::connect(view, &QOpenGLWidget::frameSwapped, [&] {
        if (applied && !shown) {
          shown = true;
          run.onScreen = clock.nsecsElapsed() / 1e6;
        }
      });
      auto c3 = QObject::connect(render, &CDlgRender::loadFinished, [&] {
        ended = true;
        run.loaderEnded = clock.nsecsElapsed() / 1e6;
      });
      QTimer probe;
      probe.setInterval(10);
      QObject::connect(&probe, &QTimer::timeout, [&] {
        if (CDlgLoading* d = render->loadingDialog()) values.insert(d->progressBar()->value());
      });
      probe.start();
      clock.start();
      render->OnOpenNcFile();
      run.dialogClosed = clock.nsecsElapsed() / 1e6;
      while ((!shown || !ended) && clock.elapsed() < 60000) app.processEvents(QEventLoop::AllEvents, 20);
      probe.stop();
      QObject::disconnect(c1);
      QObject::disconnect(c2);
      QObject::disconnect(c3);
      run.progressValues = static_cast<int>(values.size());
      run.commands = Commands().Size();
      if (!shown) {
        std::printf("run %d: the path never reached the screen\n", r + 1);
        status = 1;
      }
      std::printf("run %d: dialog closed %.0f ms, path applied %.0f ms, on screen %.0f ms, loader ended %.0f ms, "
                  "%d distinct progress values seen, %zu commands\n",
                  r + 1, run.dialogClosed, run.pathApplied, run.onScreen, run.loaderEnded, run.progressValues,
                  run.commands);
      results.push_back(run);
    }
    std::vector<double> screen;
    for (const Run& run : results) screen.push_back(run.onScreen);
    std::printf("median open -> path on screen: %.0f ms (target 2000 ms)\n", Median(screen));
    main.close();
  }
  SetUiSeam(nullptr);
  RemoveAlertSink();
  std::remove(file.c_str());
  return status;
}
