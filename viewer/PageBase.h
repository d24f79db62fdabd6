// CDlgParams: the base of the main window's tab pages.
//
// A page is an empty child widget whose controls come from its layout object
// (CLayoutProp, read from the page's ".dlgc" file), which the page receives
// at construction and owns. Create() builds the controls once: every band,
// label, control and group box of the layout, then, when the layout has a
// control named "list", a hidden number edit (id 5000) lent to that list as
// its in-place editor.
//
// Messages. Controls report to their page through WindowProc (WndMsg, see
// viewer/layout/WinMsg.h). Every message goes to the layout first (so a
// control's value is current before the page sees it), then to OnMessage,
// the page's message map. A page overrides OnMessage, handles what it wants
// and hands the rest to CDlgParams::OnMessage, which answers the shared list
// notifications and calls OnCommand / OnNotify / GetDispInfoText:
//
//   std::intptr_t CDlgCodeOffset::OnMessage(WndMsg& m) {
//     if (m.msg == WM_LIST_EDIT && m.number) {           // 1034
//       const int row = LoWord(m.wParam), column = HiWord(m.wParam);
//       ... Code_SetData(kind, row, column - 1, *m.number) ...
//     }                                                   // the value frees itself
//     return CDlgParams::OnMessage(m);
//   }
//
// Enter and Escape never close or hide a page.
//
// CodePage: what the main window needs of the code page (CDlgCodeEdit,
// viewer/pages/DlgCodeEdit.h).
#pragma once
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <string_view>
#include <vector>

#include "viewer/layout/EditCtrls.h"
#include "viewer/layout/Layout.h"
#include "viewer/layout/WinMsg.h"

namespace ravik {

class CDlgParams : public QWidget, public CMsgTarget {
  Q_OBJECT

 public:
  enum : int { IDOK = 1, IDCANCEL = 2, kEditorId = 5000 };
  // The size the page has when it is created before it is placed.
  static constexpr int kTemplateWidth = 600;
  static constexpr int kTemplateHeight = 400;

  // Takes ownership of `layout` (which may be null: a page without controls).
  explicit CDlgParams(CLayoutProp* layout, QWidget* parent = nullptr);
  ~CDlgParams() override;

  // Builds the page's controls (the dialog initialisation); the main window
  // calls it once after constructing the page. False when already built.
  bool Create();
  bool IsCreated() const { return m_created; }

  // One program-wide list of flags (empty); no page changes it.
  virtual std::vector<bool>& GetSharedFlags();
  // The page's title on its tab: the layout's name.
  virtual QString GetTitle() const;
  // The page's main control (its list or editor), or null.
  virtual QWidget* GetMainWnd() const;
  // Fills the page from its data source; called when its tab is selected.
  virtual void Refresh();
  // A further operation without arguments; does nothing.
  virtual void Reserved();
  // Supplies the text of one virtual-list cell (LVN_GETDISPINFOW from the
  // lists 1010 to 1014): set info->text when info->mask has LVIF_TEXT.
  virtual void GetDispInfoText(NmLvDispInfo* info, std::intptr_t* result);

  // The page's window procedure: the layout first, then OnMessage.
  std::intptr_t WindowProc(WndMsg& msg) override;

  CLayoutProp* layout() const { return m_layout.get(); }
  // The window of the control named "list" once built, else null.
  QWidget* mainList() const { return m_mainList.data(); }
  // The in-place editor lent to the main list (null without a main list).
  CNumEdit* listEditor() const { return m_listEditor.data(); }
  const QRect& lastClientRect() const { return m_lastClient; }
  // The window that owns the page (the main window makes the view window
  // the owner of every page with a list); null when none.
  void SetOwnerWindow(QWidget* owner) { m_owner = owner; }
  QWidget* ownerWindow() const { return m_owner.data(); }
  // The tallest band of the page, across its width, that no window of the
  // layout (nor the notice) takes; `except` is left out of the count. A
  // page whose layout could not be read whole puts a stand-in control there.
  QRect FreeArea(const QWidget* except = nullptr) const;
  // The label that tells why the layout file could not be read or is not
  // written back; null when all is well or once the user closed it. It
  // takes a strip of its own along the foot of the page, above which the
  // layout's controls lie; its button "closeNotice" closes it and gives the
  // strip back to the controls.
  QWidget* layoutNotice() const { return m_notice.data(); }
  void CloseLayoutNotice();
  // Whether the page writes its layout file back (the options, the last
  // folder); the notice tells such a page's user that this is not done.
  virtual bool SavesLayout() const { return false; }

  bool redrawOnTyping = true;
  bool suppressOkCancel = false;

 protected:
  // Builds the controls from the layout. Pages extend it (calling the base
  // first). The return value says whether the page wants the focus set.
  virtual bool OnInitDialog();
  // The message map (see the header comment).
  virtual std::intptr_t OnMessage(WndMsg& msg);
  // WM_COMMAND other than IDOK and IDCANCEL: the control's id, the
  // notification code and the control.
  virtual void OnCommand(int id, int code, QWidget* control);
  // WM_NOTIFY not answered by the base; the result goes back to the sender.
  virtual std::intptr_t OnNotify(NmHdr* hdr);
  // IDOK and IDCANCEL when not suppressed: a page never closes, so nothing.
  virtual void OnOK();
  virtual void OnCancel();

  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::unique_ptr<CLayoutProp> m_layout;
  QRect m_lastClient;
  QPointer<QWidget> m_mainList;
  QPointer<CNumEdit> m_listEditor;
  QPointer<QWidget> m_notice;
  QPointer<QWidget> m_owner;
  bool m_created = false;
  int m_noticeHeight = 0;

  // Makes the notice (before the layout is built) and returns its height.
  int MakeLayoutNotice();
  // The notice's height at the page's present width.
  int NoticeHeight() const;
};

// Sends `dialog` a made-up NM_CLICK on item 0 of its list `listId` (idFrom
// 1010), when that list holds at least one item.
void SendListClick(QWidget* dialog, int listId);

// What the main window needs of the code page.
class CodePage {
 public:
  virtual ~CodePage() = default;
  virtual void SetCodeText(const QString& text) = 0;
  virtual QString GetCodeText() const = 0;
  virtual bool IsModified() const = 0;
  virtual void SetModified(bool modified) = 0;
  // Scrolls by `scroll` lines and puts the cursor on line `line` (from 0).
  virtual void GoToLine(int scroll, int line) = 0;
  // The margin marks no line (a new path has no highlighted block).
  virtual void ClearSelectedLine() = 0;
};

}  // namespace ravik
