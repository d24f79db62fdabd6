// The main window in a process of its own (normally on the offscreen
// platform), for the tests that need the whole process: running out of its
// address space, or running as another user. It opens the files named on the
// command line one after another through the open command, as a user does,
// and after each prints what the window shows:
//
//   open <path>
//   question <text>                         (each question asked meanwhile)
//   message <text, line ends as spaces>     (each message shown meanwhile)
//   path <current path>
//   title <window title>
//   text <characters in the editor>
//   commands <simulated command records>
//   vertices <vertices in the view>
//
// usage: ravik_load_child <exe folder> [--limit MB] [--save] file...
//   <exe folder>  a copy of the executable's folder (data, layouts), used in
//                 its place
//   --limit MB    before the next open, the address space is limited to what
//                 the process uses then plus MB
//   --save        the code page's Save command (prints "saved")
//   --user        from here on the process is an ordinary user (the nobody
//                 account when it runs as root), for the file rules that
//                 root is exempt from
// Questions are answered with Yes; the save dialog chooses nothing. The last
// line, "closing", comes before the window closes.
#include <QApplication>
#include <QElapsedTimer>
#include <QSurfaceFormat>

#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Paths.h"
#include "platform/Threads.h"
#include "viewer/CommandStore.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/RavikApp.h"
#include "viewer/RavikDlg.h"
#include "viewer/UiSeam.h"
#include "viewer/pages/DlgCodeEdit.h"

using namespace ravik;

namespace {

struct ChildSeam : UiSeam {
  void Message(QWidget*, const QString&, const QString& text, Icon) override {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::printf("message %s\n", line.toUtf8().constData());
    std::fflush(stdout);
  }
  Answer Question(QWidget*, const QString&, const QString& text, bool) override {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::printf("question %s\n", line.toUtf8().constData());
    return Answer::Yes;
  }
  QString OpenFileName(QWidget*, const QString&) override { return path; }
  QString SaveFileName(QWidget*, const QString&) override { return {}; }
  QString path;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  plat::SetExeDirOverride(argv[1]);
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);
  InitApplication(app.arguments());
  SetLanguageFlag(1);
  ChildSeam seam;
  SetUiSeam(&seam);
  {
    CRavikDlg main;
    main.show();
    QElapsedTimer wait;
    wait.start();
    while (!main.render()->view()->glReady() && wait.elapsed() < 10000) app.processEvents(QEventLoop::AllEvents, 20);
    CDlgRender* render = main.render();
    auto* page = dynamic_cast<CDlgCodeEdit*>(main.codePage());
    if (!page) return 3;
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--limit") == 0 && i + 1 < argc) {
        const rlim_t bytes = static_cast<rlim_t>(plat::AddressSpaceBytes() + static_cast<std::size_t>(std::atol(argv[++i])) * 1024 * 1024);
        const rlimit limit{bytes, bytes};
        if (setrlimit(RLIMIT_AS, &limit) != 0) return 4;
        continue;
      }
      if (std::strcmp(argv[i], "--user") == 0) {
        constexpr uid_t kNobody = 65534;
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
                               setresuid(kNobody, kNobody, kNobody) != 0))
          return 5;
        continue;
      }
      if (std::strcmp(argv[i], "--save") == 0) {
        page->RunCommand(CDlgCodeEdit::kCmdSave);
        std::printf("saved\n");
        continue;
      }
      seam.path = QString::fromLocal8Bit(argv[i]);
      std::printf("open %s\n", argv[i]);
      std::fflush(stdout);
      render->OnOpenNcFile();
      wait.restart();
      while ((render->loaderRunning() || page->IsPreparing()) && wait.elapsed() < 120000)
        app.processEvents(QEventLoop::AllEvents, 20);
      app.processEvents();
      const CRenderData* drawn = render->view()->scene().render() ? render->view()->scene().render()->data.get() : nullptr;
      std::printf("path %s\ntitle %s\ntext %lld\ncommands %zu\nvertices %zu\n",
                  render->currentPath().toUtf8().constData(), main.windowTitle().toUtf8().constData(),
                  static_cast<long long>(main.GetCodeText().size()), Commands().Size(),
                  drawn ? static_cast<std::size_t>(drawn->vertexCount()) : std::size_t{0});
      std::fflush(stdout);
    }
    std::printf("closing\n");
    std::fflush(stdout);
    main.close();
  }
  SetUiSeam(nullptr);
  RemoveAlertSink();
  return 0;
}
