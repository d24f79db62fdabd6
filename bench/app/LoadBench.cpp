// Opening the generated surfacing program in the real main window: the time
// from the open command to the tool path on screen (the first frame shown
// after the view took the path), the time until the program text is in the
// editor, and the peak resident memory of the viewer process, for one or
// more program sizes. Each size runs in a process of its own, one after the
// other, so that each peak is that size's alone; the last lines compare
// every size with the first (time and bytes per line).
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' env QT_QPA_PLATFORM=xcb
//     QT_XCB_GL_INTEGRATION=xcb_glx LIBGL_ALWAYS_SOFTWARE=1
//     build/bin/app_load_bench [-r runs] [lines ...]      (default: 1000000, 3 runs)
//
// e.g. `app_load_bench -r 1 1000000 10000000` prints the 1 M and 10 M figures
// and their ratios. The program file is written to /tmp and removed again.
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QSurfaceFormat>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
#include "viewer/pages/DlgCodeEdit.h"

using namespace ravik;

namespace {

class BenchSeam : public UiSeam {
 public:
  void Message(QWidget*, const QString&, const QString& text, Icon) override {
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
  }
  // The too-large question (if any) is answered with Yes: the bench measures
  // the load.
  Answer Question(QWidget*, const QString&, const QString& text, bool) override {
    std::fprintf(stderr, "question answered Yes: %s\n", text.toUtf8().constData());
    return Answer::Yes;
  }
  QString OpenFileName(QWidget*, const QString&) override { return path; }
  QString SaveFileName(QWidget*, const QString&) override { return {}; }
  QString path;
};

struct Run {
  double dialogClosed = 0, pathApplied = 0, onScreen = 0, loaderEnded = 0, textReady = 0;
  int progressValues = 0;
  std::size_t commands = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// A "Vm..." field of /proc/self/status, in kB.
long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
  return 0;
}

// One size, in this process. Prints the runs and one "result" line.
int MeasureOneSize(QApplication& app, long lines, int runs) {
  const std::string file = "/tmp/ravik_bench_surface_" + std::to_string(getpid()) + ".nc";
  std::size_t bytes = 0;
  {
    const std::string text = quillet::bench::MakeSurfacingProgram(static_cast<std::size_t>(lines));
    bytes = text.size();
    if (!plat::WriteFileAtomic(file, text)) {
      std::fprintf(stderr, "cannot write %s\n", file.c_str());
      return 1;
    }
  }  // the bench's own copy of the text is gone before the viewer opens it
  std::printf("program: %ld lines, %zu bytes\n", lines, bytes);

  BenchSeam seam;
  seam.path = QString::fromStdString(file);
  SetUiSeam(&seam);
  int status = 0;
  long baseKb = 0, firstPeakKb = 0;
  std::vector<double> screen, ready;
  {
    CRavikDlg main;
    main.show();
    QElapsedTimer wait;
    wait.start();
    while (!main.render()->view()->glReady() && wait.elapsed() < 10000) app.processEvents(QEventLoop::AllEvents, 50);
    CDlgRender* render = main.render();
    ViewWidget* view = render->view();
    auto* codePage = dynamic_cast<CDlgCodeEdit*>(main.codePage());
    baseKb = StatusKb("VmRSS");
    const long baseSizeKb = StatusKb("VmSize");

    for (int r = 0; r < runs; ++r) {
      Run run;
      QElapsedTimer clock;
      bool applied = false, shown = false, ended = false, textIn = codePage == nullptr;
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
      QMetaObject::Connection c4;
      if (codePage) {
        c4 = QObject::connect(codePage, &CDlgCodeEdit::textReady, [&] {
          // (a large text in the editor is let go, empty, while a new file loads)
          if (codePage->editor()->document()->blockCount() < 2) return;
          textIn = true;
          run.textReady = clock.nsecsElapsed() / 1e6;
        });
      }
      QTimer probe;
      probe.setInterval(10);
      QObject::connect(&probe, &QTimer::timeout, [&] {
        if (CDlgLoading* d = render->loadingDialog()) values.insert(d->progressBar()->value());
      });
      probe.start();
      clock.start();
      render->OnOpenNcFile();
      run.dialogClosed = clock.nsecsElapsed() / 1e6;
      // A ten-million-line program takes its time in a loaded machine.
      const qint64 limit = 60000 + lines / 20;
      while ((!shown || !ended || !textIn) && clock.elapsed() < limit) app.processEvents(QEventLoop::AllEvents, 20);
      probe.stop();
      QObject::disconnect(c1);
      QObject::disconnect(c2);
      QObject::disconnect(c3);
      QObject::disconnect(c4);
      run.progressValues = static_cast<int>(values.size());
      run.commands = Commands().Size();
      if (!shown) {
        std::printf("run %d: the path never reached the screen\n", r + 1);
        status = 1;
      }
      std::printf("run %d: dialog closed %.0f ms, path applied %.0f ms, on screen %.0f ms, loader ended %.0f ms, "
                  "text in editor %.0f ms, %d distinct progress values seen, %zu commands\n",
                  r + 1, run.dialogClosed, run.pathApplied, run.onScreen, run.loaderEnded, run.textReady,
                  run.progressValues, run.commands);
      std::fflush(stdout);
      if (r == 0) {
        firstPeakKb = StatusKb("VmHWM");
        // What the first open took beyond the window's own start-up, per
        // byte of the file: resident memory, and address space (what an
        // address-space limit counts). The viewer's size question uses both.
        std::printf("first open, per byte of the file: %.1f bytes resident, %.1f bytes of address space\n",
                    (firstPeakKb - baseKb) * 1024.0 / static_cast<double>(bytes),
                    (StatusKb("VmPeak") - baseSizeKb) * 1024.0 / static_cast<double>(bytes));
      }
      screen.push_back(run.onScreen);
      ready.push_back(run.textReady);
    }
    main.close();
  }
  SetUiSeam(nullptr);
  RemoveAlertSink();
  std::remove(file.c_str());
  const long peakKb = StatusKb("VmHWM");
  std::printf("result %ld %.1f %.1f %ld %ld %ld\n", lines, Median(screen), Median(ready), firstPeakKb, peakKb, baseKb);
  return status;
}

struct SizeResult {
  long lines = 0;
  double onScreenMs = 0, textReadyMs = 0;
  long firstPeakKb = 0, peakKb = 0, baseKb = 0;
};

// Runs this program for one size in a child process and reads its result line.
bool RunChild(const char* self, long lines, int runs, SizeResult& out) {
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(pipeFd[1], STDOUT_FILENO);
    close(pipeFd[0]);
    close(pipeFd[1]);
    const std::string count = std::to_string(lines), r = std::to_string(runs);
    execl(self, self, "--one", count.c_str(), r.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFd[1]);
  FILE* in = fdopen(pipeFd[0], "r");
  char buf[1024];
  bool found = false;
  while (in && std::fgets(buf, sizeof buf, in)) {
    if (std::sscanf(buf, "result %ld %lf %lf %ld %ld %ld", &out.lines, &out.onScreenMs, &out.textReadyMs,
                    &out.firstPeakKb, &out.peakKb, &out.baseKb) == 6) {
      found = true;
    } else {
      std::fputs(buf, stdout);
      std::fflush(stdout);
    }
  }
  if (in) std::fclose(in);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  return found && WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "--one") == 0) {
    QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
    QApplication app(argc, argv);
    InitApplication(app.arguments());
    SetLanguageFlag(1);
    return MeasureOneSize(app, std::atol(argv[2]), std::max(1, std::atoi(argv[3])));
  }
  int runs = 3;
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-r") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (std::atol(argv[i]) > 0) sizes.push_back(std::max(20L, std::atol(argv[i])));
  }
  if (sizes.empty()) sizes.push_back(1000000);

  std::vector<SizeResult> results;
  int status = 0;
  for (long lines : sizes) {
    SizeResult r;
    if (!RunChild(argv[0], lines, runs, r)) {
      std::printf("%ld lines: the measurement failed\n", lines);
      status = 1;
      continue;
    }
    results.push_back(r);
  }
  std::printf("\n%10s %14s %14s %12s %12s %12s  %s\n", "lines", "open->screen", "text in edit", "peak 1st run",
              "peak", "peak/line", "against the first size");
  for (const SizeResult& r : results) {
    const double perLine = r.peakKb * 1024.0 / static_cast<double>(r.lines);
    const SizeResult& f = results.front();
    std::printf("%10ld %11.0f ms %11.0f ms %9.0f MB %9.0f MB %10.0f B  time x%.2f for lines x%.1f\n", r.lines,
                r.onScreenMs, r.textReadyMs, r.firstPeakKb / 1024.0, r.peakKb / 1024.0, perLine,
                f.onScreenMs > 0 ? r.onScreenMs / f.onScreenMs : 0.0,
                static_cast<double>(r.lines) / static_cast<double>(f.lines));
  }
  std::printf("(times: medians over the runs; peak: the highest resident memory of the viewer process with the\n"
              " program text, the library and the viewer; the process starts at about %ld MB)\n",
              results.empty() ? 0L : results.front().baseKb / 1024);
  return status;
}
