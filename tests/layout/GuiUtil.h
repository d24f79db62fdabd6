// A page that records the messages it receives, built from a layout file
// written into a stand-in executable folder.
#pragma once
#include <QApplication>
#include <QTest>

#include <memory>
#include <optional>
#include <vector>

#include "LayoutTestUtil.h"
#include "viewer/PageBase.h"
#include "viewer/TextConv.h"

namespace layouttest {

struct SeenMsg {
  unsigned msg = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::optional<double> number;
  // The value the layout held for the source control when the page saw it.
  std::u16string valueSeen;
};

class TestPage : public ravik::CDlgParams {
 public:
  using CDlgParams::CDlgParams;
  std::vector<SeenMsg> seen;
  std::function<void(ravik::NmLvDispInfo*)> dispInfo;

  std::vector<SeenMsg> Of(unsigned msg) const {
    std::vector<SeenMsg> r;
    for (const SeenMsg& s : seen)
      if (s.msg == msg) r.push_back(s);
    return r;
  }

 protected:
  std::intptr_t OnMessage(ravik::WndMsg& m) override {
    SeenMsg s;
    s.msg = m.msg;
    s.wParam = m.wParam;
    s.lParam = m.lParam;
    if (m.number) s.number = *m.number;
    if (m.source && layout()) s.valueSeen = layout()->FindCtrlByWnd(m.source).value;
    if (m.msg != ravik::WM_NOTIFY || m.notify->code != ravik::LVN_GETDISPINFOW) seen.push_back(s);
    return CDlgParams::OnMessage(m);
  }
  void GetDispInfoText(ravik::NmLvDispInfo* info, std::intptr_t*) override {
    if (dispInfo) dispInfo(info);
  }
};

// A page of `width` x `height` built from `text` (saved as `file`).
inline std::unique_ptr<TestPage> MakePage(const ExeFolder& exe, const std::string& file, const std::u16string& text,
                                          int width = 400, int height = 300, QWidget* parent = nullptr) {
  exe.Layout(file, text);
  auto page = std::make_unique<TestPage>(new ravik::CLayoutProp(file), parent);
  page->resize(width, height);
  page->Create();
  page->show();
  QApplication::processEvents();
  return page;
}

// A band of one column with the given ctrl blocks.
inline std::u16string OneBand(const std::u16string& ctrls, const std::u16string& grid = u"ctrl_h=0.8,\ncol=1,\n"
                                                                                         u"col_ratio=1,\nratio=1\n") {
  return u"layoutprop={\nname=Test\n}\nlayout={\ngrid={\n" + grid + u"}\n" + ctrls + u"}\n";
}

inline void TypeKey(QWidget* w, Qt::Key key, const QString& text = QString()) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
}

}  // namespace layouttest
