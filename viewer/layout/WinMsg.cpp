#include "viewer/layout/WinMsg.h"

#include <QColor>
#include <QMetaObject>
#include <QPointer>
#include <QVariant>

namespace ravik {

std::intptr_t SendWndMsg(QWidget* to, WndMsg& msg) {
  auto* target = dynamic_cast<CMsgTarget*>(to);
  return target ? target->WindowProc(msg) : 0;
}

std::intptr_t SendToParent(QWidget* from, WndMsg& msg) {
  return from ? SendWndMsg(from->parentWidget(), msg) : 0;
}

std::intptr_t NotifyParentOf(NmHdr& hdr) {
  WndMsg m;
  m.msg = WM_NOTIFY;
  m.wParam = static_cast<std::uintptr_t>(hdr.idFrom);
  m.notify = &hdr;
  m.source = hdr.hwndFrom;
  return SendToParent(hdr.hwndFrom, m);
}

void PostWndMsg(QWidget* to, WndMsg msg) {
  if (!to) return;
  // The message (and the value it owns) lives in the queued call; a call
  // that is never made because `to` is gone frees it with the functor.
  auto held = std::make_shared<WndMsg>(std::move(msg));
  QPointer<QWidget> target(to);
  QMetaObject::invokeMethod(
      to,
      [target, held] {
        if (target) SendWndMsg(target.data(), *held);
      },
      Qt::QueuedConnection);
}

int CtrlId(const QWidget* w) { return w ? w->property("ctrlId").toInt() : 0; }
void SetCtrlId(QWidget* w, int id) {
  if (w) w->setProperty("ctrlId", id);
}

std::uint32_t WindowStyle(const QWidget* w) { return w ? w->property("wndStyle").toUInt() : 0u; }
void SetWindowStyle(QWidget* w, std::uint32_t style) {
  if (w) w->setProperty("wndStyle", style);
}

QColor ColorFromRef(std::uint32_t ref) {
  return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF), static_cast<int>((ref >> 16) & 0xFF));
}

}  // namespace ravik
