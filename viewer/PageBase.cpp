#include "viewer/PageBase.h"

#include <QKeyEvent>
#include <algorithm>
#include <QLabel>

#include <QFileInfo>

#include "viewer/Styling.h"
#include "viewer/TextConv.h"
#include "viewer/layout/ListCtrls.h"

namespace ravik {
namespace {

// The titles of the pages whose layouts ship, by layout file: what the tab
// shows when the file names none (it could not be read).
QString ShippedTitle(const QString& fileName) {
  struct Title {
    const char* file;
    const char* english;
    const char16_t* chinese;
  };
  static const Title titles[] = {
      {"dlg_codeedit", "Code", u"程序"},          {"dlg_codetable", "Code rules", u"代码规则"},
      {"dlg_codecmd", "Commands", u"执行指令"},   {"dlg_codeoffset", "Tool offsets", u"刀具补偿"},
      {"dlg_codepartzero", "Work offsets", u"工件坐标系"}, {"dlg_codeoptions", "Options", u"选项"},
      {"dlg_codevariables", "Variables", u"宏变量"}};
  QString base = fileName;
  if (base.endsWith(QLatin1String(".dlgc"), Qt::CaseInsensitive)) base.chop(5);
  const bool chinese = base.endsWith(QLatin1String("_cn"));
  if (chinese) base.chop(3);
  for (const Title& t : titles)
    if (base == QLatin1String(t.file)) return chinese ? QString::fromUtf16(t.chinese) : QString::fromLatin1(t.english);
  // Another file: its name without the extension.
  return QFileInfo(fileName).completeBaseName();
}

}  // namespace

// ------------------------------------------------------------ page base

CDlgParams::CDlgParams(CLayoutProp* layout, QWidget* parent) : QWidget(parent), m_layout(layout) {}

CDlgParams::~CDlgParams() {
  UnstyleDialog(this);
  // The layout deletes the controls' windows while the page still stands.
  m_layout.reset();
}

bool CDlgParams::Create() {
  if (m_created) return false;
  m_created = true;
  // A page that was never sized is built at the template's size (a child
  // widget starts at 100 x 30, which would squeeze the layout's rows to
  // nothing before the page is placed).
  if (!testAttribute(Qt::WA_Resized) || width() <= 0 || height() <= 0) resize(kTemplateWidth, kTemplateHeight);
  OnInitDialog();
  return true;
}

bool CDlgParams::OnInitDialog() {
  const QRect client = rect();
  if (m_layout) {
    setWindowTitle(GetTitle());
    m_layout->BuildLayouts(client, this);
  }
  m_lastClient = client;
  QWidget* list = m_layout ? m_layout->FindCtrlByName(u"list").GetWnd() : nullptr;
  if (list) {
    m_mainList = list;
    auto* editor = new CNumEdit(this);
    SetCtrlId(editor, kEditorId);
    SetWindowStyle(editor, 0x40010000);
    editor->setGeometry(0, 0, 10, 10);
    editor->hide();
    m_listEditor = editor;
    if (auto* ex = qobject_cast<CListCtrlEx*>(list)) ex->SetEditor(editor);
  }
  StyleDialogChildren(this);
  ShowLayoutNotice();
  return false;
}

QRect CDlgParams::FreeArea(const QWidget* except) const {
  // The rows of the page that the layout's windows (and the notice) take.
  std::vector<std::pair<int, int>> taken;
  auto take = [&](const QWidget* w) {
    if (w && w != except && !w->isHidden()) taken.emplace_back(w->geometry().top(), w->geometry().bottom() + 1);
  };
  if (m_layout)
    for (const Layout& band : m_layout->layouts()) {
      take(band.groupBox.data());
      for (const auto& c : band.controls) {
        take(c->GetWnd());
        take(c->label.data());
      }
    }
  take(m_notice.data());
  std::sort(taken.begin(), taken.end());
  // The tallest gap between them, across the page's width.
  QRect best(0, 0, width(), 0);
  int y = 0;
  auto consider = [&](int top, int bottom) {
    if (bottom - top > best.height()) best = QRect(0, top, width(), bottom - top);
  };
  for (const auto& [top, bottom] : taken) {
    consider(y, std::min(top, height()));
    y = std::max(y, bottom);
  }
  consider(y, height());
  return best;
}

void CDlgParams::ShowLayoutNotice() {
  if (!m_layout || m_layout->notice().empty()) return;
  // Along the foot of the page, over whatever the layout put there: the
  // user must see why the page looks as it does.
  auto* notice = new QLabel(FromU16(m_layout->notice()), this);
  notice->setObjectName(QStringLiteral("layoutNotice"));
  notice->setWordWrap(true);
  notice->setAutoFillBackground(true);
  QPalette p = notice->palette();
  p.setColor(QPalette::Window, QColor(0xFF, 0xF4, 0xCE));
  p.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
  notice->setPalette(p);
  notice->setFont(NormalFont());
  notice->setMargin(4);
  const int h = std::min(height(), notice->heightForWidth(width()));
  notice->setGeometry(0, height() - h, width(), h);
  notice->show();
  notice->raise();
  m_notice = notice;
}

std::vector<bool>& CDlgParams::GetSharedFlags() {
  static std::vector<bool> flags;
  return flags;
}

QString CDlgParams::GetTitle() const {
  if (!m_layout) return {};
  if (!m_layout->name().empty()) return FromU16(m_layout->name());
  // A layout that names no page (its file could not be read) keeps the
  // page's own title.
  return ShippedTitle(QFileInfo(FromU16(m_layout->path())).fileName());
}
QWidget* CDlgParams::GetMainWnd() const { return nullptr; }
void CDlgParams::Refresh() {}
void CDlgParams::Reserved() {}
void CDlgParams::GetDispInfoText(NmLvDispInfo*, std::intptr_t*) {}
void CDlgParams::OnCommand(int, int, QWidget*) {}
std::intptr_t CDlgParams::OnNotify(NmHdr*) { return 0; }
void CDlgParams::OnOK() {}
void CDlgParams::OnCancel() {}

std::intptr_t CDlgParams::WindowProc(WndMsg& msg) {
  if (m_layout) m_layout->HandleMessage(msg.source, msg.msg, msg.wParam, redrawOnTyping);
  return OnMessage(msg);
}

std::intptr_t CDlgParams::OnMessage(WndMsg& msg) {
  if (msg.msg == WM_COMMAND) {
    const int id = static_cast<int>(LoWord(msg.wParam));
    if (id == IDOK) {
      if (!suppressOkCancel) OnOK();
      return 0;
    }
    if (id == IDCANCEL) {
      if (!suppressOkCancel) OnCancel();
      return 0;
    }
    OnCommand(id, static_cast<int>(HiWord(msg.wParam)), msg.source);
    return 0;
  }
  if (msg.msg != WM_NOTIFY || !msg.notify) return 0;
  NmHdr* hdr = msg.notify;
  if (hdr->code == NM_CLICK && hdr->idFrom == 1010) return 0;
  if (hdr->code == NM_CLICK && hdr->idFrom == 1050) {
    auto* click = dynamic_cast<NmListView*>(hdr);
    if (click && click->iItem >= 0) {
      if (auto* list = qobject_cast<CListCtrlEx*>(m_mainList.data())) list->DeleteAllRowData();
      if (auto* list = qobject_cast<CListCtrlBase*>(m_mainList.data())) {
        list->DeleteAllItems();
        SendListClick(this, CtrlId(list));
      }
    }
    return 0;
  }
  if (hdr->code == LVN_ITEMCHANGED && hdr->idFrom == 1010) return 0;
  if (hdr->code == LVN_GETDISPINFOW && hdr->idFrom >= 1010 && hdr->idFrom <= 1014) {
    std::intptr_t result = 0;
    if (auto* info = dynamic_cast<NmLvDispInfo*>(hdr)) GetDispInfoText(info, &result);
    return result;
  }
  return OnNotify(hdr);
}

void CDlgParams::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (width() == 0 || height() == 0) return;  // keeps the last client rectangle
  if (m_created && !m_lastClient.isEmpty()) ResizeDialogChildren(width(), height(), this, m_lastClient);
  m_lastClient = rect();
}

void CDlgParams::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: {
      // What a dialog makes of these keys: IDOK and IDCANCEL, which a page
      // ignores.
      WndMsg m;
      m.msg = WM_COMMAND;
      m.wParam = event->key() == Qt::Key_Escape ? IDCANCEL : IDOK;
      WindowProc(m);
      event->accept();
      return;
    }
    default:
      QWidget::keyPressEvent(event);
  }
}

void SendListClick(QWidget* dialog, int listId) {
  if (!dialog) return;
  CListCtrlBase* list = nullptr;
  for (auto* candidate : dialog->findChildren<CListCtrlBase*>(Qt::FindDirectChildrenOnly))
    if (CtrlId(candidate) == listId) {
      list = candidate;
      break;
    }
  if (!list || list->GetItemCount() < 1) return;
  NmListView hdr;
  hdr.hwndFrom = list;
  hdr.idFrom = 1010;
  hdr.code = NM_CLICK;
  hdr.iItem = 0;
  hdr.iSubItem = 0;
  WndMsg m;
  m.msg = WM_NOTIFY;
  m.wParam = static_cast<std::uintptr_t>(listId);
  m.notify = &hdr;
  m.source = list;
  SendWndMsg(dialog, m);
}

}  // namespace ravik
