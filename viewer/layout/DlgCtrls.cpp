#include "viewer/layout/DlgCtrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QHeaderView>
#include <QIcon>
#include <QPixmap>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <atomic>

#include "platform/Numbers.h"
#include "viewer/TextConv.h"
#include "viewer/layout/EditCtrls.h"
#include "viewer/layout/LayoutFile.h"
#include "viewer/layout/ListCtrls.h"
#include "viewer/layout/ShellList.h"
#include "viewer/layout/WinMsg.h"

namespace ravik {
namespace {

std::atomic<int> g_checkBoxCount{0};
ShellWidgetFactory g_shellListFactory;
ShellWidgetFactory g_shellTreeFactory;

bool IsChecked(const std::u16string& value) { return value == u"1"; }

// The columns of both list kinds: titles from "cbstrings", widths from "cw"
// as fractions of the control's width (a missing width counts as 0, one
// outside 0..1 as the nearer end).
void AddColumns(CListCtrlBase* list, const CDlgCtrls& c, int width) {
  for (std::size_t k = 0; k < c.cbstrings.size(); ++k) {
    const double f = k < c.cw.size() ? LayoutFraction(ValueNumber(c.cw[k])) : 0.0;
    list->InsertColumn(static_cast<int>(k), FromU16(c.cbstrings[k]), 0,
                       plat::ClampToInt(f * static_cast<double>(width)));
  }
  // Lay the list out now rather than from a timer: Qt keeps its timers in
  // one list that each stop searches, so a page of thousands of lists with
  // pending layouts would take time in the square of their number.
  list->horizontalHeader()->doItemsLayout();
  list->doItemsLayout();
}

QWidget* DefaultShellTree(QWidget* parent) { return new CShellTree(parent); }

QWidget* DefaultShellList(QWidget* parent) { return new CCustomShellList(parent); }

}  // namespace

// ------------------------------------------------------------ base record

CDlgCtrls::~CDlgCtrls() {
  delete window.data();
  delete label.data();
}

QWidget* CDlgCtrls::Create(const QRect&, QWidget*) { return nullptr; }
void CDlgCtrls::Refill() {}
int CDlgCtrls::GetNumber() { return 0; }
QWidget* CDlgCtrls::GetWnd() const { return window.data(); }

void CDlgCtrls::CopyRecord(const CDlgCtrls& from) {
  id = from.id;
  lbl = from.lbl;
  anychar = from.anychar;
  readonly = from.readonly;
  lblname = from.lblname;
  name = from.name;
  type = from.type;
  value = from.value;
  cbstrings = from.cbstrings;
  cnames = from.cnames;
  cw = from.cw;
  style = from.style;
  band = from.band;
}

std::u16string CDlgCtrls::GetSelectedCbString() const {
  const int index = ValueWhole(value);
  if (index < 0 || static_cast<std::size_t>(index) >= cbstrings.size()) return {};
  return cbstrings[static_cast<std::size_t>(index)];
}

std::u16string CDlgCtrls::GetCbStringsText() const { return JoinTextList(cbstrings); }
std::u16string CDlgCtrls::GetCnamesText() const { return JoinTextList(cnames); }
std::u16string CDlgCtrls::GetCwText() const { return JoinTextList(cw); }

void CDlgCtrls::Write(std::u16string& out) const {
  out += u"ctrl={\nlblname=" + lblname + u",\nname=" + name + u",\nid=" + IntToWString(id) + u",\ntype=" + type +
         u",\nlbl=" + (lbl ? u"1" : u"0") + u",\ncbstrings=" + GetCbStringsText() + u",\ncnames=" + GetCnamesText() +
         u",\ncw=" + GetCwText() + u",\nvalue=" + value + u",\nanychar=" + (anychar ? u"1" : u"0") +
         u",\nreadonly=" + (readonly ? u"1" : u"0") + u"\n}\n";
}

bool CDlgCtrls::IsWritable() const {
  auto listOk = [](const std::vector<std::u16string>& items) {
    for (const auto& item : items)
      if (item.find(u' ') != std::u16string::npos) return false;
    std::u16string text = JoinTextList(items);
    TrimRightBlanks(text);
    return IsWritableValue(text) && JoinTextList(items).size() <= kMaxKeyValue;
  };
  return IsWritableValue(lblname) && IsWritableValue(name) && IsWritableValue(type) && IsWritableValue(value) &&
         listOk(cbstrings) && listOk(cnames) && listOk(cw);
}

QWidget* CDlgCtrls::Adopt(QWidget* w, const QRect& rect, std::uint32_t wndStyle) {
  window = w;
  SetCtrlId(w, id);
  SetWindowStyle(w, wndStyle);
  w->setGeometry(rect);
  w->setVisible((wndStyle & 0x10000000u) != 0);  // WS_VISIBLE
  return w;
}

void CDlgCtrls::SendCommand(int code) {
  if (!window) return;
  WndMsg m;
  m.msg = WM_COMMAND;
  m.wParam = MakeWParam(static_cast<unsigned>(id), static_cast<unsigned>(code));
  m.source = window.data();
  m.lParam = reinterpret_cast<std::intptr_t>(window.data());
  SendToParent(window.data(), m);
}

// ------------------------------------------------------------ control kinds

QWidget* CDlgCtrlsEdit::Create(const QRect& rect, QWidget* parent) {
  auto* edit = new CNumEdit(parent);
  edit->setText(FromU16(value));
  edit->setAnyChar(anychar ? 1 : 0);
  edit->setReadOnly(readonly);
  return Adopt(edit, rect, readonly ? kStyleEditReadOnly : kStyleEdit);
}

QWidget* CDlgCheckBox::Create(const QRect& rect, QWidget* parent) {
  auto* box = new QCheckBox(FromU16(lblname), parent);
  box->setChecked(IsChecked(value));
  number = g_checkBoxCount.fetch_add(1);
  Adopt(box, rect, kStyleCheckBox);
  QObject::connect(box, &QCheckBox::clicked, box, [this] { SendCommand(BN_CLICKED); });
  return box;
}

int CDlgCheckBox::CreatedCount() { return g_checkBoxCount.load(); }

CUpDown::CUpDown(QWidget* parent) : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
  m_up->setArrowType(Qt::UpArrow);
  m_down->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {m_up, m_down}) {
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
  }
  connect(m_up, &QToolButton::clicked, this, [this] { stepUp(); });
  connect(m_down, &QToolButton::clicked, this, [this] { stepDown(); });
}

void CUpDown::setRange(int minimum, int maximum) {
  m_minimum = std::min(minimum, maximum);
  m_maximum = std::max(minimum, maximum);
  setValue(m_value);
}

void CUpDown::setValue(int value) {
  value = std::clamp(value, m_minimum, m_maximum);
  if (value == m_value) return;
  m_value = value;
  emit valueChanged(value);
}

void CUpDown::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The arrows share the height, one above the other.
  const int half = height() / 2;
  m_up->setGeometry(0, 0, width(), half);
  m_down->setGeometry(0, half, width(), height() - half);
}

QWidget* CDlgSpin::Create(const QRect& rect, QWidget* parent) {
  // The window created just before the spin (its own label aside) is its
  // buddy when it is an edit: the spin sets the edit's text to its value,
  // and a whole number typed into the edit moves the spin.
  QLineEdit* pair = nullptr;
  if (parent) {
    const QObjectList& siblings = parent->children();
    for (auto it = siblings.rbegin(); it != siblings.rend(); ++it) {
      auto* w = qobject_cast<QWidget*>(*it);
      if (!w || w == label.data()) continue;
      pair = qobject_cast<QLineEdit*>(w);
      break;
    }
  }
  auto* spin = new CUpDown(parent);
  spin->setRange(0, 100);
  Adopt(spin, rect, kStyleSpin);
  buddy = pair;
  if (pair) {
    bool whole = false;
    const int v = pair->text().toInt(&whole);
    if (whole) spin->setValue(v);
    QObject::connect(spin, &CUpDown::valueChanged, pair, [pair](int value) {
      if (pair->text() == QString::number(value)) return;
      pair->setText(QString::number(value));
      // Reported as typed, so that the layout's value of the edit follows.
      WndMsg m;
      m.msg = WM_CHAR;
      m.source = pair;
      m.lParam = reinterpret_cast<std::intptr_t>(pair);
      SendToParent(pair, m);
    });
    QObject::connect(pair, &QLineEdit::textChanged, spin, [spin](const QString& text) {
      bool ok = false;
      const int value = text.toInt(&ok);
      if (ok && value != spin->value()) spin->setValue(value);
    });
  }
  return spin;
}

QWidget* CDlgCtrlsLabel::Create(const QRect& rect, QWidget* parent) {
  style |= kStyleLabel;
  auto* label = new QLabel(FromU16(lblname), parent);
  const Qt::Alignment h = (style & 3) == 1 ? Qt::AlignHCenter : (style & 3) == 2 ? Qt::AlignRight : Qt::AlignLeft;
  label->setAlignment(h | Qt::AlignVCenter);
  return Adopt(label, rect, style);
}

QWidget* CDlgCtrlsCombobox::CreateBox(const QRect& rect, QWidget* parent) {
  style = kStyleCombo;
  auto* box = new QComboBox(parent);
  for (const auto& item : cbstrings) box->addItem(FromU16(item));
  const int index = ValueWhole(value);
  box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
  Adopt(box, rect, style);
  // The closed box keeps its own height, centred in the cell.
  const int h = std::min(rect.height(), box->sizeHint().height());
  box->setGeometry(rect.left(), rect.top() + (rect.height() - h) / 2, rect.width(), h);
  QObject::connect(box, &QComboBox::activated, box, [this] { SendCommand(CBN_SELCHANGE); });
  return box;
}

void CDlgCtrlsCombobox::Refill() {
  auto* box = qobject_cast<QComboBox*>(window.data());
  if (!box) return;
  box->clear();
  for (const auto& item : cbstrings) box->addItem(FromU16(item));
  box->setCurrentIndex(box->count() - 1);
  value = IntToWString(box->count() - 1);
}

QWidget* CDlgCtrlsButton::Create(const QRect& rect, QWidget* parent) {
  style = kStyleButton;
  auto* button = new QPushButton(FromU16(lblname), parent);
  button->setAutoDefault(false);
  Adopt(button, rect, style);
  QObject::connect(button, &QPushButton::clicked, button, [this] { SendCommand(BN_CLICKED); });
  return button;
}

QWidget* CDlgCtrlsRadioButton::Create(const QRect& rect, QWidget* parent) {
  style = kStyleRadio;
  auto* radio = new QRadioButton(FromU16(lblname), parent);
  // The layout unchecks the other radio buttons itself.
  radio->setAutoExclusive(false);
  radio->setChecked(IsChecked(value));
  Adopt(radio, rect, style);
  QObject::connect(radio, &QRadioButton::clicked, radio, [this, radio] {
    // A click checks an automatic radio button; it never unchecks it.
    if (!radio->isChecked()) radio->setChecked(true);
    SendCommand(BN_CLICKED);
  });
  return radio;
}

CDlgCtrlsMfcButton::~CDlgCtrlsMfcButton() { delete menu.data(); }

QWidget* CDlgCtrlsMfcButton::Create(const QRect& rect, QWidget* parent) {
  style = kStyleMfcButton;
  auto* button = new QToolButton(parent);
  button->setText(FromU16(lblname));
  button->setCheckable(true);
  button->setPopupMode(QToolButton::MenuButtonPopup);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  // The image and the checked image, from files beside the executable.
  QIcon icon;
  const QPixmap image(FromU16(MakeExePath(u"mfcbutton.png")));
  const QPixmap checkedImage(FromU16(MakeExePath(u"mfcbutton_checked.png")));
  if (!image.isNull()) icon.addPixmap(image, QIcon::Normal, QIcon::Off);
  if (!checkedImage.isNull()) icon.addPixmap(checkedImage, QIcon::Normal, QIcon::On);
  if (!icon.isNull()) {
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  menu = new QMenu(button);
  QAction* item = menu->addAction(QStringLiteral("设置"));
  item->setData(id);
  button->setMenu(menu);
  button->setChecked(IsChecked(value));
  Adopt(button, rect, style);
  QObject::connect(button, &QToolButton::clicked, button, [this] { SendCommand(BN_CLICKED); });
  QObject::connect(item, &QAction::triggered, button, [this] { SendCommand(BN_CLICKED); });
  return button;
}

QWidget* CDlgCtrlsEditbrowse::Create(const QRect& rect, QWidget* parent) {
  style = kStyleEditBrowse;
  auto* browse = new CEditBrowse(parent);
  browse->setText(FromU16(value));
  return Adopt(browse, rect, style);
}

QWidget* CDlgCtrlsTree::Create(const QRect& rect, QWidget* parent) {
  style = kStyleTree;
  auto* tree = new QTreeWidget(parent);
  tree->setHeaderHidden(true);
  Adopt(tree, rect, style);
  QObject::connect(tree, &QTreeWidget::currentItemChanged, tree, [this, tree] {
    NmHdr hdr;
    hdr.hwndFrom = tree;
    hdr.idFrom = id;
    hdr.code = TVN_SELCHANGEDW;
    NotifyParentOf(hdr);
  });
  return tree;
}

QWidget* CDlgCtrlsSysListView32::Create(const QRect& rect, QWidget* parent) {
  style = readonly ? kStyleListOwnerData : kStyleList;
  auto* list = new CListCtrlEx(parent);
  list->SetOwnerData(readonly);
  list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  Adopt(list, rect, style);
  AddColumns(list, *this, rect.width());
  for (int k = 0; k < list->GetColumnCount(); ++k) list->SetColumnReadOnly(k);
  return list;
}

QWidget* CDlgCtrlsCListCtrlEdited::Create(const QRect& rect, QWidget* parent) {
  style = kStyleListEdited;
  auto* list = new CListCtrlEdited(parent);
  list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  Adopt(list, rect, style);
  AddColumns(list, *this, rect.width());
  // Column 0 names the row: fixed and not edited (unless it is the only one).
  const int n = list->GetColumnCount();
  std::vector<int> editable;
  for (int k = n > 1 ? 1 : 0; k < n; ++k) editable.push_back(k);
  list->SetEditableColumns(editable);
  list->SetFixedColumns({0});
  return list;
}

QWidget* CDlgCtrlsRichEdit::Create(const QRect& rect, QWidget* parent) {
  style = kStyleRichEdit;
  auto* edit = new CXRichEdit(parent);
  edit->setFrameShape(QFrame::Panel);
  edit->setFrameShadow(QFrame::Sunken);
  return Adopt(edit, rect, style);
}

QWidget* CDlgCtrlsMFCShellListCtrl::Create(const QRect& rect, QWidget* parent) {
  style = kStyleShellList;
  QWidget* w = g_shellListFactory ? g_shellListFactory(parent) : DefaultShellList(parent);
  if (!w) return nullptr;
  // Grid lines and full-row selection, as for the other lists.
  if (auto* view = qobject_cast<QAbstractItemView*>(w)) ApplyListExStyle(view, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  return Adopt(w, rect, style);
}

QWidget* CDlgCtrlsMFCShellTreeCtrl::Create(const QRect& rect, QWidget* parent) {
  style = kStyleShellTree;
  QWidget* w = g_shellTreeFactory ? g_shellTreeFactory(parent) : DefaultShellTree(parent);
  return w ? Adopt(w, rect, style) : nullptr;
}

std::unique_ptr<CDlgCtrls> MakeCtrlForType(const std::u16string& type) {
  if (type == u"edit") return std::make_unique<CDlgCtrlsEdit>();
  if (type == u"checkbox") return std::make_unique<CDlgCheckBox>();
  if (type == u"spin") return std::make_unique<CDlgSpin>();
  if (type == u"label") return std::make_unique<CDlgCtrlsLabel>();
  if (type == u"combobox") return std::make_unique<CDlgCtrlsCombobox>();
  if (type == u"button") return std::make_unique<CDlgCtrlsButton>();
  if (type == u"radio") return std::make_unique<CDlgCtrlsRadioButton>();
  if (type == u"mfcbutton") return std::make_unique<CDlgCtrlsMfcButton>();
  if (type == u"editbrowse") return std::make_unique<CDlgCtrlsEditbrowse>();
  if (type == u"tree") return std::make_unique<CDlgCtrlsTree>();
  if (type == u"SysListView32") return std::make_unique<CDlgCtrlsSysListView32>();
  if (type == u"listedited") return std::make_unique<CDlgCtrlsCListCtrlEdited>();
  if (type == u"richedit") return std::make_unique<CDlgCtrlsRichEdit>();
  if (type == u"mfcshelllist") return std::make_unique<CDlgCtrlsMFCShellListCtrl>();
  if (type == u"mfcshelltree") return std::make_unique<CDlgCtrlsMFCShellTreeCtrl>();
  return nullptr;
}

void SetShellListFactory(ShellWidgetFactory factory) { g_shellListFactory = std::move(factory); }
void SetShellTreeFactory(ShellWidgetFactory factory) { g_shellTreeFactory = std::move(factory); }

}  // namespace ravik
