// Benchmark of a page built from an oversized layout file: a layout of N
// lists (3000 by default) is read, built into a page, and then receives
// mouse, key and focus events while no cell is edited and while one is.
// Every step should grow in proportion to N or less; the events should cost
// the same whatever N is.
//
// Run under a display, for example:
//   xvfb-run -a -s '-screen 0 1280x1024x24' build/bin/layout_bench [lists] [events]
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/Paths.h"
#include "viewer/PageBase.h"
#include "viewer/Styling.h"
#include "viewer/layout/ListCtrls.h"

namespace fs = std::filesystem;
using namespace ravik;

namespace {

// UTF-16LE with its mark and CR LF line ends.
std::string LayoutBytes(int lists) {
  std::u16string t = u"layoutprop={\nname=Bench\n}\nlayout={\ngrid={\nctrl_h=1,\ncol=60,\ncol_ratio=";
  for (int c = 0; c < 60; ++c) t += u"0.016 ";
  t += u",\nratio=1,\nmargin=0\n}\n";
  for (int i = 0; i < lists; ++i)
    t += u"ctrl={\nname=l" + QString::number(i).toStdU16String() +
         u",\ntype=SysListView32,\nid=1020,\ncbstrings=No Value,\ncw=0.5 0.5\n}\n";
  t += u"}\n";
  std::string bytes("\xFF\xFE", 2);
  for (char16_t c : t) {
    if (c == u'\n') bytes.append("\r\0", 2);
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

double Ms(QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CreateDialogFonts(800);
  const int lists = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3000;
  const int events = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20000;
  const fs::path dir = fs::temp_directory_path() / ("ravik_layout_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "bench.dlgc", std::ios::binary) << LayoutBytes(lists);
  plat::SetExeDirOverride(dir.string());

  QElapsedTimer t;
  t.start();
  auto* layout = new CLayoutProp("bench.dlgc");
  const double read = Ms(t);
  t.restart();
  {
    CDlgParams page(layout);
    page.resize(1100, 860);
    page.Create();
    page.show();
    QApplication::processEvents();
    const double built = Ms(t);

    auto* first = qobject_cast<CListCtrlEx*>(layout->FindWndByName(u"l0"));
    auto* last = qobject_cast<CListCtrlEx*>(layout->FindWndByName(u"l" + QString::number(lists - 1).toStdU16String()));
    for (CListCtrlEx* l : {first, last}) {
      l->InsertItem(0, QStringLiteral("1"));
      l->SetItemText(0, 1, QStringLiteral("0"));
      l->SetColumnEditable(1);
    }
    auto pump = [&](QWidget* to) {
      t.restart();
      for (int i = 0; i < events; ++i) {
        QTest::mouseMove(to, QPoint(2 + i % 5, 2));
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
        QApplication::sendEvent(to, &key);
      }
      return Ms(t);
    };
    const double idle = pump(last);
    last->StartEdit(0, 1);
    const double editing = pump(last->viewport());
    last->EndEdit(false);
    std::printf("lists %d: read %.1f ms, built %.1f ms; %d events: %.1f ms without an edit, %.1f ms during one\n",
                lists, read, built, events * 2, idle, editing);
    t.restart();
  }
  std::printf("page destroyed in %.1f ms\n", Ms(t));
  plat::SetExeDirOverride("");
  fs::remove_all(dir);
  return 0;
}
