#include "viewer/PageBase.h"

#include <QKeyEvent>
#include <algorithm>
#include <QLabel>
#include <QToolButton>

#include <QFileInfo>

#include "viewer/Language.h"
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
  // The notice's strip is taken first; the layout fills the rest.
  m_noticeHeight = MakeLayoutNotice();
  if (m_layout) {
    setWindowTitle(GetTitle());
    m_layout->BuildLayouts(client.adjusted(0, 0, 0, -m_noticeHeight), this);
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

int CDlgParams::MakeLayoutNotice() {
  if (!m_layout) return 0;
  const std::u16string text = m_layout->notice(SavesLayout());
  if (text.empty()) return 0;
  // A long path may break after any slash.
  QString shown = FromU16(text);
  shown.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
  auto* notice = new QLabel(shown, this);
  notice->setObjectName(QStringLiteral("layoutNotice"));
  notice->setWordWrap(true);
  notice->setAutoFillBackground(true);
  QPalette p = notice->palette();
  p.setColor(QPalette::Window, QColor(0xFF, 0xF4, 0xCE));
  p.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
  notice->setPalette(p);
  notice->setFont(NormalFont());
  notice->setMargin(4);
  auto* close = new QToolButton(notice);
  close->setObjectName(QStringLiteral("closeNotice"));
  close->setText(QStringLiteral("\u00D7"));
  close->setToolTip(Tr(QStringLiteral("Close this notice"), QStringLiteral("关闭此提示")));
  close->setAutoRaise(true);
  close->setFocusPolicy(Qt::NoFocus);
  const int side = close->sizeHint().height();
  close->resize(side, side);
  // The text keeps clear of the button.
  notice->setContentsMargins(0, 0, side, 0);
  connect(close, &QToolButton::clicked, this, &CDlgParams::CloseLayoutNotice);
  m_notice = notice;
  const int h = NoticeHeight();
  notice->setGeometry(0, height() - h, width(), h);
  close->move(width() - side - 2, 2);
  notice->show();
  notice->raise();
  return h;
}

int CDlgParams::NoticeHeight() const {
  auto* notice = qobject_cast<QLabel*>(m_notice.data());
  if (!notice || notice->isHidden()) return 0;
  // At most half the page, so the page's own controls keep room.
  return std::min(height() / 2, std::max(notice->heightForWidth(width()), notice->minimumSizeHint().height()));
}

void CDlgParams::CloseLayoutNotice() {
  QWidget* notice = m_notice.data();
  if (!notice) return;
  const int freed = m_noticeHeight;
  notice->hide();
  notice->deleteLater();
  m_notice = nullptr;
  m_noticeHeight = 0;
  // The controls take the strip: they are scaled from the page less the
  // strip to the whole page.
  if (freed > 0 && height() > freed)
    ResizeDialogChildren(width(), height(), this, QRect(0, 0, width(), height() - freed));
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
  if (m_created && !m_lastClient.isEmpty()) {
    // The layout's controls scale with the page less the notice's strip;
    // the notice is laid along the foot again.
    const int before = m_noticeHeight;
    const int after = NoticeHeight();
    if (m_lastClient.height() > before && height() > after)
      ResizeDialogChildren(width(), height() - after, this, m_lastClient.adjusted(0, 0, 0, -before));
    if (QWidget* notice = m_notice.data()) {
      notice->setGeometry(0, height() - after, width(), after);
      if (auto* close = notice->findChild<QToolButton*>(QStringLiteral("closeNotice")))
        close->move(width() - close->width() - 2, 2);
    }
    m_noticeHeight = after;
  }
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
