// Window messages between the viewer's controls and their pages.
//
// The pages and lists keep the message numbers and payloads of a dialog
// program: a control reports to its parent by sending or posting a WndMsg,
// which the receiver's WindowProc handles. Qt signals feed these calls.
//
//   WM_CHAR    (0, control)        number edit -> parent after every key
//   WM_KEYUP   (0, 0)              number edit -> parent
//   WM_COMMAND (id | code << 16, control)  buttons, combo boxes, menus
//   WM_NOTIFY  (id, NmHdr*)        lists and trees
//   1034       (column << 16 | row, value)  list -> page: a cell was committed;
//              the value travels in WndMsg::number, owned by the message
//   1034       (1 commit / 0 cancel, 0)     editing hook -> list: end the edit
//   2024       (0, 0)              browse edit -> parent after browsing
//   2035       (item index, 0)     shell list -> parent: a file was activated
//   0xC001     (0, 0)              shell list -> parent: it shows another folder
//   514        (line from 1, 0)    line-number margin -> parent
#pragma once
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

namespace ravik {

enum : unsigned {
  WM_NOTIFY = 0x004E,
  WM_KEYDOWN = 0x0100,
  WM_KEYUP = 0x0101,
  WM_CHAR = 0x0102,
  WM_COMMAND = 0x0111,
  WM_LBUTTONUP = 0x0202,
  WM_LIST_EDIT = 1034,     // WM_USER + 10
  WM_BROWSE_DONE = 2024,
  WM_SHELL_ACTIVATE = 2035,
  // The shell controls' "current folder changed" notice.
  WM_CHANGE_CURRENT_FOLDER = 0xC001
};

// Notification codes carried by WM_COMMAND and WM_NOTIFY.
enum : int {
  BN_CLICKED = 0,
  CBN_SELCHANGE = 1,
  NM_CLICK = -2,
  NM_DBLCLK = -3,
  LVN_ITEMCHANGED = -101,
  LVN_COLUMNCLICK = -108,
  LVN_GETDISPINFOW = -177,
  TVN_SELCHANGEDW = -451
};

// List item mask bit of a display-text request.
constexpr unsigned LVIF_TEXT = 0x0001;

// Common head of every WM_NOTIFY payload.
struct NmHdr {
  QWidget* hwndFrom = nullptr;
  int idFrom = 0;
  int code = 0;
  virtual ~NmHdr() = default;
};

// NM_CLICK, NM_DBLCLK, LVN_ITEMCHANGED, LVN_COLUMNCLICK of a list.
struct NmListView : NmHdr {
  int iItem = -1;
  int iSubItem = 0;
};

// LVN_GETDISPINFOW: the receiver puts the cell's text into `text`; the list
// keeps at most `cchTextMax - 1` characters of it.
struct NmLvDispInfo : NmHdr {
  int iItem = 0;
  int iSubItem = 0;
  unsigned mask = LVIF_TEXT;
  int cchTextMax = 260;
  QString text;
};

struct WndMsg {
  unsigned msg = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  // The window the message names: the control of WM_CHAR and WM_COMMAND.
  QWidget* source = nullptr;
  // The payload of WM_NOTIFY (not owned).
  NmHdr* notify = nullptr;
  // The committed value of 1034 from a list; whoever holds the message owns
  // it, so a message that is dropped frees it too.
  std::unique_ptr<double> number;
  // The committed text of 1034 from a list, as typed (so that the receiver
  // can tell a number from text that only begins with one).
  QString text;
};

constexpr std::uintptr_t MakeWParam(unsigned low, unsigned high) {
  return static_cast<std::uintptr_t>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr unsigned LoWord(std::uintptr_t w) { return static_cast<unsigned>(w & 0xFFFFu); }
constexpr unsigned HiWord(std::uintptr_t w) { return static_cast<unsigned>((w >> 16) & 0xFFFFu); }

// A window that handles messages.
class CMsgTarget {
 public:
  virtual ~CMsgTarget() = default;
  virtual std::intptr_t WindowProc(WndMsg& msg) = 0;
};

// Handles `msg` in `to` at once; 0 when `to` handles no messages.
std::intptr_t SendWndMsg(QWidget* to, WndMsg& msg);
// Sends to the parent window of `from`.
std::intptr_t SendToParent(QWidget* from, WndMsg& msg);
// Sends WM_NOTIFY with `hdr` (wParam = its control id) to the parent of the
// control that `hdr` names.
std::intptr_t NotifyParentOf(NmHdr& hdr);
// Queues `msg` for `to`; it is handled from the event loop, or dropped (with
// its payload) when `to` is gone by then.
void PostWndMsg(QWidget* to, WndMsg msg);

// The window identifier of a control ("ctrlId" property; 0 when none).
int CtrlId(const QWidget* w);
void SetCtrlId(QWidget* w, int id);
// The window style bits a control was created with ("wndStyle" property).
std::uint32_t WindowStyle(const QWidget* w);
void SetWindowStyle(QWidget* w, std::uint32_t style);

// Windows colour values (0x00BBGGRR) to Qt colours.
QColor ColorFromRef(std::uint32_t ref);

}  // namespace ravik
