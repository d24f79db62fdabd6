#include "viewer/layout/ListCtrls.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCalendarWidget>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <algorithm>
#include <utility>

#include "platform/Host.h"
#include "platform/Numbers.h"
#include "viewer/TextConv.h"

namespace ravik {
namespace {

// Message 1034 for a committed cell. Rows and columns travel in 16 bits
// each: a cell beyond them cannot be named and is not reported.
bool PostListEdit(QWidget* list, int row, int column, const QString& text) {
  if (row < 0 || column < 0 || row > 0xFFFF || column > 0xFFFF) {
    plat::Trace("list: a committed cell outside 16-bit rows and columns is not reported");
    return false;
  }
  WndMsg m;
  m.msg = WM_LIST_EDIT;
  m.wParam = MakeWParam(static_cast<unsigned>(row), static_cast<unsigned>(column));
  m.source = list;
  m.number = std::make_unique<double>(plat::ParseDouble(ToU16(text)));
  m.text = text;
  PostWndMsg(list->parentWidget(), std::move(m));
  return true;
}

// The text 5 pixels in from the cell's left edge.
class IndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem o = option;
    o.rect.adjust(5, 0, 0, 0);
    QStyledItemDelegate::paint(painter, o, index);
  }
};

// ------------------------------------------------------------ editing hook

// The records that hold an edit under way. Only these are looked at for an
// event, so a page with thousands of lists pays nothing per event while no
// cell is edited, and little while one is.
std::vector<CMsgHook*>& HeldHooks() {
  static std::vector<CMsgHook*> hooks;
  return hooks;
}

bool Inside(const QWidget* editor, const QWidget* w) { return w && (w == editor || editor->isAncestorOf(w)); }

// The date editors in an editor (the editor itself included).
QList<QDateTimeEdit*> DateEdits(QWidget* editor) {
  QList<QDateTimeEdit*> edits = editor->findChildren<QDateTimeEdit*>();
  if (auto* self = qobject_cast<QDateTimeEdit*>(editor)) edits.push_back(self);
  return edits;
}

bool DropDownOpen(const CMsgHook& h) {
  if (h.m_dropDownOpen) return true;
  QList<QComboBox*> combos = h.m_editor->findChildren<QComboBox*>();
  if (auto* self = qobject_cast<QComboBox*>(h.m_editor.data())) combos.push_back(self);
  for (QComboBox* c : combos)
    if (c->view() && c->view()->isVisible()) return true;
  // A date picker whose calendar is open.
  for (QDateTimeEdit* d : DateEdits(h.m_editor.data()))
    if (d->calendarPopup() && d->calendarWidget() && d->calendarWidget()->isVisible()) return true;
  return false;
}

void EndEditOf(CListCtrlEx* list, bool commit) {
  WndMsg m;
  m.msg = WM_LIST_EDIT;
  m.wParam = commit ? 1 : 0;
  SendWndMsg(list, m);
}

// Ends edits the way a thread-wide hook on window procedures would: Enter
// commits and Esc cancels in an editor; the focus leaving an editor cancels;
// a click, wheel turn or menu elsewhere commits.
class EditingFilter : public QObject {
 public:
  struct Edit {
    QPointer<QWidget> editor;
    QPointer<CListCtrlEx> list;
    CMsgHook* hook;
  };

  // A date picker's calendar opening or closing (its drop-down notices):
  // while it is open, clicks in it do not end the edit.
  static void TrackCalendar(const std::vector<Edit>& edits, QWidget* w, bool shown) {
    for (const Edit& e : edits) {
      if (!e.editor) continue;
      for (QDateTimeEdit* d : DateEdits(e.editor.data()))
        if (d->calendarPopup() && d->calendarWidget() && w == d->calendarWidget()->window())
          e.hook->m_dropDownOpen = shown ? 1 : 0;
    }
  }

  bool eventFilter(QObject* object, QEvent* event) override {
    if (!object->isWidgetType()) return false;
    if (HeldHooks().empty()) return false;
    auto* w = static_cast<QWidget*>(object);
    // Acting may end edits and change the records: work on a copy.
    std::vector<Edit> edits;
    for (CMsgHook* h : HeldHooks())
      if (h->Holds() && h->m_list) edits.push_back({h->m_editor, h->m_list, h});
    if (edits.empty()) return false;

    switch (event->type()) {
      case QEvent::FocusOut: {
        auto* fe = static_cast<QFocusEvent*>(event);
        if (fe->reason() == Qt::PopupFocusReason) return false;
        // A click elsewhere commits. In an active window the click first
        // moves the focus (before the button press reaches any filter), so
        // a focus loss by the mouse is that click; any other focus loss
        // (Tab, another window) cancels.
        const bool byClick = fe->reason() == Qt::MouseFocusReason;
        for (Edit& e : edits) {
          if (!e.editor || !Inside(e.editor, w) || DropDownOpen(*e.hook)) continue;
          if (Inside(e.editor, QApplication::focusWidget())) continue;
          if (e.list) EndEditOf(e.list, byClick);
        }
        return false;
      }
      case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(event);
        for (Edit& e : edits) {
          if (!e.editor || !Inside(e.editor, w)) continue;
          const int vk = VirtualKey(ke->key());
          if (vk == VK_RETURN || vk == VK_ESCAPE) {
            if (e.list) EndEditOf(e.list, vk == VK_RETURN);
            return true;
          }
          if (vk == VK_TAB && !(ke->modifiers() & Qt::ControlModifier)) {
            if (e.list) e.list->TabToNextCell(ke->key() == Qt::Key_Backtab || (ke->modifiers() & Qt::ShiftModifier));
            return true;
          }
        }
        return false;
      }
      case QEvent::Hide:
        TrackCalendar(edits, w, false);
        return false;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::Show: {
        if (event->type() == QEvent::Show) {
          TrackCalendar(edits, w, true);
          if (!qobject_cast<QMenu*>(w)) return false;
        }
        for (Edit& e : edits) {
          if (!e.editor || Inside(e.editor, w) || !e.editor->isVisible() || DropDownOpen(*e.hook)) continue;
          if (e.list) EndEditOf(e.list, true);
        }
        return false;
      }
      default:
        return false;
    }
  }
};

EditingFilter* g_filter = nullptr;
int g_hookUsers = 0;

void AddHookUser() {
  if (g_hookUsers++ == 0 && qApp) {
    g_filter = new EditingFilter;
    qApp->installEventFilter(g_filter);
  }
}

void RemoveHookUser() {
  if (--g_hookUsers == 0 && g_filter) {
    if (qApp) qApp->removeEventFilter(g_filter);
    delete g_filter;
    g_filter = nullptr;
  }
}

QDateTime ParseDateTime(const QString& text) {
  const QString t = text.trimmed();
  QDateTime d = QDateTime::fromString(t, Qt::ISODate);
  if (!d.isValid()) d = QDateTime::fromString(t, QStringLiteral("yyyy/M/d H:mm:ss"));
  if (!d.isValid()) d = QDateTime::fromString(t, QStringLiteral("yyyy/M/d"));
  return d;
}

bool WholeInteger(const QString& text, long long& value) {
  std::size_t used = 0;
  const std::u16string t = ToU16(text);
  value = plat::ParseIntPrefix(t, &used);
  return value != 0 && plat::FormatInt(value).size() == t.size();
}

int Sign(long long v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

}  // namespace

CMsgHook::CMsgHook() { AddHookUser(); }

CMsgHook::~CMsgHook() {
  Unregister();
  RemoveHookUser();
}

void CMsgHook::Register(QWidget* editor, CListCtrlEx* list) {
  m_editor = editor;
  m_list = list;
  m_notify = nullptr;
  m_dropDownOpen = 0;
  if (std::find(HeldHooks().begin(), HeldHooks().end(), this) == HeldHooks().end()) HeldHooks().push_back(this);
}

void CMsgHook::Unregister() {
  m_editor = nullptr;
  m_list = nullptr;
  std::erase(HeldHooks(), this);
}

int HeldEditCount() { return static_cast<int>(HeldHooks().size()); }

bool EditingHookInstalled() { return g_filter != nullptr; }

ListCellData* ListRowData::Cell(int column) {
  for (ListCellData& c : cells)
    if (c.column == column) return &c;
  return nullptr;
}

// ------------------------------------------------------------ model

CListModel::CListModel(CListCtrlBase* list) : QAbstractTableModel(list), m_list(list) {}

int CListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return ownerData ? ownerCount : static_cast<int>(rows.size());
}

int CListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns.size());
}

QVariant CListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  const int r = index.row(), c = index.column();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
      if (ownerData) return m_list->DispText(r, c);
      const Row& row = rows[static_cast<std::size_t>(r)];
      return static_cast<std::size_t>(c) < row.texts.size() ? row.texts[static_cast<std::size_t>(c)] : QString();
    }
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
      std::int64_t back = kNoColour, text = kNoColour;
      m_list->CellColours(r, c, back, text);
      const std::int64_t v = role == Qt::BackgroundRole ? back : text;
      if (v == kNoColour) return {};
      return QBrush(ColorFromRef(static_cast<std::uint32_t>(v)));
    }
    case Qt::TextAlignmentRole: {
      const int f = columns[static_cast<std::size_t>(c)].format & 3;
      return int((f == 1 ? Qt::AlignRight : f == 2 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    default:
      return {};
  }
}

QVariant CListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) return columns[static_cast<std::size_t>(section)].title;
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

void CListModel::Reset(const std::function<void()>& change) {
  beginResetModel();
  change();
  endResetModel();
}

void CListModel::RowsChanged(int first, int last) {
  if (first > last || columnCount() == 0) return;
  emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

// ------------------------------------------------------------ list base

CListCtrlBase::CListCtrlBase(QWidget* parent) : QTableView(parent), m_model(new CListModel(this)) {
  setModel(m_model);
  verticalHeader()->hide();
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setSectionsClickable(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setShowGrid(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) { OnColumnClick(c); });
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { NotifyParent(LVN_ITEMCHANGED, current.row(), 0); });
}

int CListCtrlBase::InsertColumn(int column, const QString& title, int format, int width) {
  const int n = GetColumnCount();
  column = std::clamp(column, 0, n);
  m_model->beginInsertColumns(QModelIndex(), column, column);
  m_model->columns.insert(m_model->columns.begin() + column, CListModel::Column{title, format});
  for (CListModel::Row& r : m_model->rows)
    if (static_cast<std::size_t>(column) < r.texts.size()) r.texts.insert(r.texts.begin() + column, QString());
  m_model->endInsertColumns();
  setColumnWidth(column, std::max(0, width));
  return column;
}

int CListCtrlBase::GetColumnCount() const { return static_cast<int>(m_model->columns.size()); }

int CListCtrlBase::InsertItem(int row, const QString& text) {
  if (m_model->ownerData) return -1;
  const int n = static_cast<int>(m_model->rows.size());
  row = std::clamp(row, 0, n);
  m_model->beginInsertRows(QModelIndex(), row, row);
  CListModel::Row r;
  r.texts.push_back(text);
  m_model->rows.insert(m_model->rows.begin() + row, std::move(r));
  m_model->endInsertRows();
  return row;
}

bool CListCtrlBase::SetItemText(int row, int column, const QString& text) {
  if (m_model->ownerData || row < 0 || column < 0 || row >= static_cast<int>(m_model->rows.size()) ||
      column >= GetColumnCount())
    return false;
  auto& texts = m_model->rows[static_cast<std::size_t>(row)].texts;
  if (texts.size() <= static_cast<std::size_t>(column)) texts.resize(static_cast<std::size_t>(column) + 1);
  texts[static_cast<std::size_t>(column)] = text;
  m_model->RowsChanged(row, row);
  return true;
}

QString CListCtrlBase::GetItemText(int row, int column) const {
  if (row < 0 || column < 0 || row >= GetItemCount() || column >= GetColumnCount()) return {};
  if (m_model->ownerData) return DispText(row, column);
  const auto& texts = m_model->rows[static_cast<std::size_t>(row)].texts;
  return static_cast<std::size_t>(column) < texts.size() ? texts[static_cast<std::size_t>(column)] : QString();
}

int CListCtrlBase::GetItemCount() const { return m_model->rowCount(); }

bool CListCtrlBase::DeleteItem(int row) {
  if (m_model->ownerData || row < 0 || row >= static_cast<int>(m_model->rows.size())) return false;
  m_model->beginRemoveRows(QModelIndex(), row, row);
  m_model->rows.erase(m_model->rows.begin() + row);
  m_model->endRemoveRows();
  return true;
}

void CListCtrlBase::DeleteAllItems() {
  m_model->Reset([this] {
    m_model->rows.clear();
    m_model->ownerCount = 0;
  });
}

void CListCtrlBase::SetItemCount(int count) {
  if (!m_model->ownerData) return;
  m_model->Reset([this, count] { m_model->ownerCount = std::max(0, count); });
}

bool CListCtrlBase::SetItemData(int row, quintptr data) {
  if (m_model->ownerData || row < 0 || row >= static_cast<int>(m_model->rows.size())) return false;
  m_model->rows[static_cast<std::size_t>(row)].itemData = data;
  return true;
}

quintptr CListCtrlBase::GetItemData(int row) const {
  if (m_model->ownerData || row < 0 || row >= static_cast<int>(m_model->rows.size())) return 0;
  return m_model->rows[static_cast<std::size_t>(row)].itemData;
}

void CListCtrlBase::SetOwnerData(bool on) {
  m_model->Reset([this, on] {
    m_model->ownerData = on;
    m_model->rows.clear();
    m_model->ownerCount = 0;
  });
}

void CListCtrlBase::SetExtendedStyle(std::uint32_t exStyle) {
  m_exStyle = exStyle;
  ApplyListExStyle(this, exStyle);
}

namespace {

// Grid lines of a view that draws none itself (a tree view): each cell's
// right and bottom edge in the grid colour.
class GridLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    painter->save();
    painter->setPen(ColorFromRef(0xC0C0C0));
    painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
  }
};

// Selects the row under the mouse (LVS_EX_TRACKSELECT).
class TrackSelect : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::MouseMove) return false;
    auto* view = qobject_cast<QAbstractItemView*>(watched->parent());
    if (!view) return false;
    const QModelIndex i = view->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    if (i.isValid() && i != view->currentIndex()) view->setCurrentIndex(i);
    return false;
  }
};

}  // namespace

void ApplyListExStyle(QAbstractItemView* view, std::uint32_t exStyle) {
  if (!view) return;
  view->setProperty("exStyle", exStyle);
  const bool grid = (exStyle & LVS_EX_GRIDLINES) != 0;
  if (auto* table = qobject_cast<QTableView*>(view)) {
    table->setShowGrid(grid);
  } else if (grid && !dynamic_cast<GridLineDelegate*>(view->itemDelegate())) {
    view->setItemDelegate(new GridLineDelegate(view));
  }
  view->setSelectionBehavior((exStyle & LVS_EX_FULLROWSELECT) ? QAbstractItemView::SelectRows
                                                               : QAbstractItemView::SelectItems);
  if (auto* tree = qobject_cast<QTreeView*>(view)) tree->setAllColumnsShowFocus((exStyle & LVS_EX_FULLROWSELECT) != 0);
  QHeaderView* header = nullptr;
  if (auto* table = qobject_cast<QTableView*>(view)) header = table->horizontalHeader();
  else if (auto* tree = qobject_cast<QTreeView*>(view)) header = tree->header();
  if (header) header->setSectionsMovable((exStyle & LVS_EX_HEADERDRAGDROP) != 0);
  const bool track = (exStyle & LVS_EX_TRACKSELECT) != 0;
  view->setMouseTracking(track);
  view->viewport()->setMouseTracking(track);
  TrackSelect* tracker = nullptr;
  for (QObject* o : view->viewport()->children())
    if (auto* t = dynamic_cast<TrackSelect*>(o)) tracker = t;
  if (track && !tracker) view->viewport()->installEventFilter(new TrackSelect(view->viewport()));
  else if (!track && tracker) delete tracker;
  // One click activates: the style's single-click activation for this view.
  view->setProperty("oneClickActivate", (exStyle & LVS_EX_ONECLICKACTIVATE) != 0);
  if (exStyle & LVS_EX_ONECLICKACTIVATE) {
    QObject::connect(view, &QAbstractItemView::clicked, view, &QAbstractItemView::activated,
                     Qt::UniqueConnection);
  } else {
    QObject::disconnect(view, &QAbstractItemView::clicked, view, &QAbstractItemView::activated);
  }
}

int CListCtrlBase::GetNextSelected(int after) const {
  int best = -1;
  for (const QModelIndex& i : selectionModel()->selectedRows())
    if (i.row() > after && (best < 0 || i.row() < best)) best = i.row();
  return best;
}

QRect CListCtrlBase::GetSubItemRect(int row, int column) const { return visualRect(m_model->index(row, column)); }

void CListCtrlBase::EnsureVisible(int row) {
  if (row >= 0 && row < GetItemCount()) scrollTo(m_model->index(row, 0));
}

void CListCtrlBase::CellColours(int, int, std::int64_t&, std::int64_t&) const {}

QString CListCtrlBase::DispText(int row, int column) const {
  NmLvDispInfo info;
  info.hwndFrom = const_cast<CListCtrlBase*>(this);
  info.idFrom = CtrlId(this);
  info.code = LVN_GETDISPINFOW;
  info.iItem = row;
  info.iSubItem = column;
  NotifyParentOf(info);
  const int max = std::max(0, info.cchTextMax - 1);
  if (info.text.size() > max) info.text.truncate(max);
  return info.text;
}

void CListCtrlBase::OnClick(int row, int column) { NotifyParent(NM_CLICK, row, column); }
void CListCtrlBase::OnDoubleClick(int row, int column) { NotifyParent(NM_DBLCLK, row, column); }
void CListCtrlBase::OnColumnClick(int column) { NotifyParent(LVN_COLUMNCLICK, -1, column); }

std::intptr_t CListCtrlBase::NotifyParent(int code, int row, int column) {
  NmListView hdr;
  hdr.hwndFrom = this;
  hdr.idFrom = CtrlId(this);
  hdr.code = code;
  hdr.iItem = row;
  hdr.iSubItem = column;
  return NotifyParentOf(hdr);
}

// The row and column under a mouse event; row -1 below the last row, where
// the column still counts (a click on empty space under a column).
static std::pair<int, int> CellUnder(const QTableView& view, const QMouseEvent& event) {
  const QPoint p = event.position().toPoint();
  const QModelIndex i = view.indexAt(p);
  if (i.isValid()) return {i.row(), i.column()};
  return {-1, view.columnAt(p.x())};
}

void CListCtrlBase::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  const auto [row, column] = CellUnder(*this, *event);
  OnClick(row, column);
}

void CListCtrlBase::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton) return;
  const auto [row, column] = CellUnder(*this, *event);
  OnDoubleClick(row, column);
}

// ------------------------------------------------------------ CListCtrlEx

CListCtrlEx::CListCtrlEx(QWidget* parent) : CListCtrlBase(parent) {
  m_hook = std::make_unique<CMsgHook>();
  setSelectionBehavior(QAbstractItemView::SelectRows);
}

CListCtrlEx::~CListCtrlEx() {
  m_hook.reset();
  m_columnInfo.clear();
}

CListCtrlEx::ColumnInfo* CListCtrlEx::GetColumnInfo(int column) {
  if (column < 0 || column >= static_cast<int>(m_columnInfo.size())) return nullptr;
  return m_columnInfo[static_cast<std::size_t>(column)].get();
}

void CListCtrlEx::SetColumnReadOnly(int column) {
  if (column < 0 || column > 0xFFFF) return;
  if (static_cast<std::size_t>(column) >= m_columnInfo.size()) m_columnInfo.resize(static_cast<std::size_t>(column) + 1);
  auto& info = m_columnInfo[static_cast<std::size_t>(column)];
  if (!info) {
    info = std::make_unique<ColumnInfo>();
    info->key = column;
  }
  info->editor = nullptr;
  info->readOnly = 1;
}

void CListCtrlEx::SetColumnEditable(int column) {
  if (ColumnInfo* info = GetColumnInfo(column)) {
    info->editor = m_editor;
    info->readOnly = 0;
  }
}

void CListCtrlEx::SetColumnSort(int column, int sortFlags, int sortType) {
  if (ColumnInfo* info = GetColumnInfo(column)) {
    info->sortFlags = sortFlags;
    info->sortType = sortType;
  }
}

void CListCtrlEx::SetColumnColours(int column, std::uint32_t back, std::uint32_t text) {
  if (ColumnInfo* info = GetColumnInfo(column)) {
    info->back = back;
    info->text = text;
    viewport()->update();
  }
}

static ListRowData* RowDataOf(CListModel* model, int row, bool create) {
  if (model->ownerData || row < 0 || row >= static_cast<int>(model->rows.size())) return nullptr;
  auto& data = model->rows[static_cast<std::size_t>(row)].rowData;
  if (!data && create) data = std::make_unique<ListRowData>();
  return data.get();
}

void CListCtrlEx::SetRowReadOnly(int row, bool readOnly) {
  if (m_model->ownerData) {
    // The page supplies the rows, so there is no row data to mark.
    auto& rows = m_ownerReadOnlyRows;
    const auto at = std::lower_bound(rows.begin(), rows.end(), row);
    const bool marked = at != rows.end() && *at == row;
    if (readOnly && !marked) rows.insert(at, row);
    if (!readOnly && marked) rows.erase(at);
    return;
  }
  if (ListRowData* d = RowDataOf(m_model, row, true)) d->readOnly = readOnly ? 1 : 0;
}

void CListCtrlEx::SetCellReadOnly(int row, int column, bool readOnly) {
  ListRowData* d = RowDataOf(m_model, row, true);
  if (!d || column < 0 || column >= GetColumnCount()) return;
  ListCellData* c = d->Cell(column);
  if (!c) {
    d->cells.push_back(ListCellData{column});
    c = &d->cells.back();
  }
  c->readOnly = readOnly ? 1 : 0;
}

void CListCtrlEx::SetRowColours(int row, std::int64_t back, std::int64_t text) {
  if (ListRowData* d = RowDataOf(m_model, row, true)) {
    d->back = back;
    d->text = text;
    m_model->RowsChanged(row, row);
  }
}

void CListCtrlEx::SetCellColours(int row, int column, std::int64_t back, std::int64_t text) {
  ListRowData* d = RowDataOf(m_model, row, true);
  if (!d || column < 0 || column >= GetColumnCount()) return;
  ListCellData* c = d->Cell(column);
  if (!c) {
    d->cells.push_back(ListCellData{column});
    c = &d->cells.back();
  }
  c->back = back;
  c->text = text;
  m_model->RowsChanged(row, row);
}

void CListCtrlEx::DeleteAllRowData() {
  for (CListModel::Row& r : m_model->rows) r.rowData.reset();
  m_ownerReadOnlyRows.clear();
}

void CListCtrlEx::CellColours(int row, int column, std::int64_t& back, std::int64_t& text) const {
  back = defaultBack;
  text = defaultText;
  if (column >= 0 && static_cast<std::size_t>(column) < m_columnInfo.size() && m_columnInfo[column]) {
    back = m_columnInfo[column]->back;
    text = m_columnInfo[column]->text;
  }
  ListRowData* d = RowDataOf(m_model, row, false);
  if (!d) return;
  if (d->back != kNoColour) back = d->back;
  if (d->text != kNoColour) text = d->text;
  if (ListCellData* c = d->Cell(column)) {
    if (c->back != kNoColour) back = c->back;
    if (c->text != kNoColour) text = c->text;
  }
}

bool CListCtrlEx::CellReadOnly(int row, int column) const {
  if (column < 0 || static_cast<std::size_t>(column) >= m_columnInfo.size() || !m_columnInfo[column]) return true;
  if (std::binary_search(m_ownerReadOnlyRows.begin(), m_ownerReadOnlyRows.end(), row)) return true;
  ListRowData* d = RowDataOf(m_model, row, false);
  if (d) {
    if (ListCellData* c = d->Cell(column)) return c->readOnly != 0;
    if (d->readOnly) return true;
  }
  return m_columnInfo[column]->readOnly != 0;
}

bool CListCtrlEx::IsEditing() const { return m_hook && m_hook->Holds(); }

int CListCtrlEx::StartEdit(int row, int column) {
  EndEdit(true);
  if (row < 0 || row >= GetItemCount() || column < 0 || column >= GetColumnCount()) return 0;
  if (CellReadOnly(row, column)) return 0;
  const QModelIndex index = m_model->index(row, column);
  scrollTo(index);
  QRect cell = visualRect(index);
  const int maxRight = viewport()->width() - 4;
  if (cell.right() > maxRight) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + cell.right() - maxRight);
    cell = visualRect(index);
  }
  if (cell.left() < 0) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + cell.left());
    cell = visualRect(index);
  }
  if (cell.right() > maxRight) cell.setRight(maxRight);
  m_editRow = m_row = row;
  m_editColumn = m_column = column;
  const QString text = GetItemText(row, column);
  if (QWidget* editor = m_editor.data()) {
    clearSelection();
    QPalette p = editor->palette();
    p.setColor(QPalette::Base, ColorFromRef(0x80B3FF));
    p.setColor(QPalette::Text, Qt::white);
    editor->setPalette(p);
    editor->setFont(font());
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setText(text);
      line->selectAll();
    }
    QWidget* host = editor->parentWidget();
    const QPoint topLeft = host ? viewport()->mapTo(host, cell.topLeft()) : viewport()->mapToGlobal(cell.topLeft());
    editor->setGeometry(QRect(topLeft, cell.size()));
    editor->show();
    editor->raise();
    editor->setFocus(Qt::OtherFocusReason);
    m_hook->Register(editor, this);
  }
  return 1;
}

void CListCtrlEx::EndEdit(bool commit) {
  std::lock_guard lock(m_lock);
  // Only an edit under way ends: a cancelled edit is never committed later.
  if (m_ending || !IsEditing()) return;
  m_ending = true;
  QWidget* editor = m_hook->m_editor.data();
  const bool hadFocus = editor && Inside(editor, QApplication::focusWidget());
  m_hook->Unregister();
  if (editor) editor->hide();
  const int row = m_editRow, column = m_editColumn;
  m_editRow = m_editColumn = -1;
  if (row >= 0 && row < GetItemCount()) {
    if (commit) {
      auto* line = qobject_cast<QLineEdit*>(editor);
      const QString text = line ? line->text() : QString();
      if (!IsOwnerData()) SetItemText(row, column, text);
      m_model->RowsChanged(row, row);
      // Every commit reaches the page, so what the cell shows is what the
      // page's data holds.
      PostListEdit(this, row, column, text);
    } else {
      m_model->RowsChanged(row, row);
    }
  }
  if (hadFocus) setFocus(Qt::OtherFocusReason);
  m_ending = false;
}

std::intptr_t CListCtrlEx::WindowProc(WndMsg& msg) {
  if (msg.msg == WM_LIST_EDIT) EndEdit(msg.wParam != 0);
  return 0;
}

void CListCtrlEx::OnDoubleClick(int row, int column) {
  if (editOnDoubleClick) StartEdit(row, column);
  CListCtrlBase::OnDoubleClick(row, column);
}

void CListCtrlEx::OnColumnClick(int column) {
  SortByColumn(column, true);
  CListCtrlBase::OnColumnClick(column);
}

int CListCtrlEx::AppendRow() { return 0; }

void CListCtrlEx::SetAccelerators(const std::vector<std::pair<QKeySequence, int>>& table) {
  for (QPointer<QShortcut>& s : m_accelerators) delete s.data();
  m_accelerators.clear();
  for (const auto& entry : table) {
    const int command = entry.second;
    // Scoped to the list: the keys act only while it has the focus.
    auto* shortcut = new QShortcut(entry.first, this);
    shortcut->setContext(Qt::WidgetShortcut);
    QObject::connect(shortcut, &QShortcut::activated, this, [this, command] {
      WndMsg m;
      m.msg = WM_COMMAND;
      m.wParam = MakeWParam(static_cast<unsigned>(command), 1);  // 1: from an accelerator
      m.source = this;
      m.lParam = 0;
      SendToParent(this, m);
    });
    m_accelerators.emplace_back(shortcut);
  }
}

void CListCtrlEx::TabToNextCell(bool backwards) {
  const int rows = GetItemCount(), columns = GetColumnCount();
  if (columns == 0) return;
  if (rows == 0 && (!appendOnTab || !AppendRow())) return;
  int r = m_row, c = m_column;
  if (r < 0 || c < 0) {
    r = backwards ? GetItemCount() - 1 : 0;
    c = backwards ? columns - 1 : 0;
  } else {
    c += backwards ? -1 : 1;
  }
  const long long limit = static_cast<long long>(GetItemCount() + 1) * columns + 1;
  for (long long step = 0; step < limit; ++step) {
    if (c >= columns) {
      c = 0;
      ++r;
    } else if (c < 0) {
      c = columns - 1;
      --r;
    }
    if (r >= GetItemCount()) {
      if (!appendOnTab) return;
      EndEdit(true);
      if (!AppendRow()) return;
    }
    if (r < 0) return;
    if (StartEdit(r, c)) return;
    c += backwards ? -1 : 1;
  }
}

void CListCtrlEx::keyPressEvent(QKeyEvent* event) {
  if (deleteKeyDeletes && event->key() == Qt::Key_Delete && !IsOwnerData()) {
    EndEdit(false);
    std::vector<int> rows;
    for (const QModelIndex& i : selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.rbegin(), rows.rend());
    for (int r : rows) DeleteItem(r);
    event->accept();
    return;
  }
  CListCtrlBase::keyPressEvent(event);
}

int CListCtrlEx::Compare(int a, int b) const {
  const ColumnInfo* info = const_cast<CListCtrlEx*>(this)->GetColumnInfo(m_sortColumn);
  const int flags = info ? info->sortFlags : 0;
  const int sign = (flags & 1) ? 1 : (flags & 6) ? -1 : 0;
  if (sign == 0) return 0;
  const CListModel::Row& ra = m_model->rows[static_cast<std::size_t>(a)];
  const CListModel::Row& rb = m_model->rows[static_cast<std::size_t>(b)];
  if (compareFunction) {
    const quintptr da = ra.rowData ? ra.rowData->userData : ra.itemData;
    const quintptr db = rb.rowData ? rb.rowData->userData : rb.itemData;
    const int result = compareFunction(da, db, compareParam ? compareParam : m_sortColumn);
    return compareParam ? result : result * sign;
  }
  const QString ta = GetItemText(a, m_sortColumn), tb = GetItemText(b, m_sortColumn);
  int result = 0;
  switch (info->sortType) {
    case 0: result = 0; break;
    case 1:
    case 2:
      result = Sign(static_cast<long long>(plat::ParseIntPrefix(ToU16(ta))) - plat::ParseIntPrefix(ToU16(tb)));
      break;
    case 4:
    case 6: {
      long long va = 0, vb = 0;
      if (WholeInteger(ta, va) && WholeInteger(tb, vb)) result = Sign(va - vb);
      else result = QString::compare(ta, tb, info->sortType == 6 ? Qt::CaseInsensitive : Qt::CaseSensitive);
      break;
    }
    case 5: result = QString::compare(ta, tb, Qt::CaseInsensitive); break;
    case 7: {
      const QDateTime da = ParseDateTime(ta), db = ParseDateTime(tb);
      if (da.isValid() != db.isValid()) result = da.isValid() ? 1 : -1;
      else if (!da.isValid() || da == db) result = 0;
      else result = da < db ? -1 : 1;
      break;
    }
    default: result = QString::compare(ta, tb); break;
  }
  return Sign(result) * sign;
}

void CListCtrlEx::SortByColumn(int column, bool toggle) {
  ColumnInfo* info = GetColumnInfo(column);
  if (!info || !(info->sortFlags & 7)) return;
  EndEdit(true);
  if ((info->sortFlags & 4) && !(info->sortFlags & 3)) info->sortFlags |= 2;
  if (toggle) {
    const int dir = info->sortFlags & 3;
    info->sortFlags = (info->sortFlags & ~3) | ((dir & 1) << 1) | ((dir & 2) >> 1);
  }
  m_sortColumn = column;
  if (!IsOwnerData()) {
    std::vector<int> order(m_model->rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) { return Compare(a, b) < 0; });
    m_model->Reset([this, &order] {
      std::vector<CListModel::Row> sorted;
      sorted.reserve(order.size());
      for (int i : order) sorted.push_back(std::move(m_model->rows[static_cast<std::size_t>(i)]));
      m_model->rows = std::move(sorted);
    });
  }
  horizontalHeader()->setSortIndicatorShown(true);
  horizontalHeader()->setSortIndicator(column, (info->sortFlags & 1) ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// ------------------------------------------------------------ CListCtrlEdited

CListCtrlEdited::CListCtrlEdited(QWidget* parent) : CListCtrlBase(parent) {
  setItemDelegate(new IndentDelegate(this));
  setStyleSheet(QStringLiteral("QTableView { gridline-color: #C0C0C0; }"));
  setSelectionMode(QAbstractItemView::SingleSelection);
  m_editor = new CEditInplace(viewport());
  m_editor->setList(this);
  SetCtrlId(m_editor, 5000);
  SetWindowStyle(m_editor, 0x40010000);
  m_editor->setGeometry(0, 0, 10, 10);
  QPalette p = m_editor->palette();
  p.setColor(QPalette::Base, ColorFromRef(0x80B3FF));
  p.setColor(QPalette::Text, Qt::black);
  m_editor->setPalette(p);
  m_editor->hide();
  connect(m_model, &QAbstractItemModel::modelReset, this, [this] { PlaceEditor(true); });
  connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { PlaceEditor(true); });
  connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { PlaceEditor(true); });
}

void CListCtrlEdited::SetFixedColumns(std::vector<int> columns) {
  m_fixed = std::move(columns);
  for (int c : m_fixed)
    if (c >= 0 && c < GetColumnCount()) horizontalHeader()->setSectionResizeMode(c, QHeaderView::Fixed);
}

std::intptr_t CListCtrlEdited::WindowProc(WndMsg& msg) {
  if (msg.msg == WM_KEYDOWN) KeyDown(static_cast<int>(msg.wParam));
  return 0;
}

void CListCtrlEdited::KeyDown(int vk) {
  const int rows = GetItemCount();
  switch (vk) {
    case VK_RETURN: {
      // Only a cell of the list can be committed.
      if (m_row < 0 || m_row >= rows || m_column < 0 || m_column >= GetColumnCount()) return;
      const QString text = m_editor->text();
      PostListEdit(this, m_row, m_column, text);
      SetItemText(m_row, m_column, text);
      setFocus(Qt::OtherFocusReason);
      return;
    }
    case VK_ESCAPE:
      setFocus(Qt::OtherFocusReason);
      return;
    case VK_PRIOR:
    case VK_NEXT: {
      if (rows == 0) return;
      const int h = std::max(1, rowHeight(0));
      const int page = std::max(1, viewport()->height() / h);
      const int current = GetNextSelected() >= 0 ? GetNextSelected() : std::max(m_row, 0);
      const int target = std::clamp(current + (vk == VK_NEXT ? page : -page), 0, rows - 1);
      selectRow(target);
      m_row = target;
      MoveEditor();
      return;
    }
    case VK_LEFT:
      if (!m_editable.empty()) m_column = std::max(m_column - 1, m_editable.front());
      break;
    case VK_RIGHT:
      if (!m_editable.empty()) m_column = std::min(m_column + 1, m_editable.back());
      break;
    case VK_UP:
      m_row = std::max(m_row - 1, 0);
      break;
    case VK_DOWN:
      m_row = std::min(m_row + 1, std::max(rows - 1, 0));
      break;
    default:
      return;
  }
  MoveEditor();
}

void CListCtrlEdited::MoveEditor() {
  if (m_row >= 0 && m_row < GetItemCount() && m_column >= 0 && m_column < GetColumnCount())
    scrollTo(m_model->index(m_row, m_column));
  PlaceEditor(true);
  if (m_editor->isVisible()) {
    m_editor->setCursorPosition(static_cast<int>(m_editor->text().size()));
  }
}

void CListCtrlEdited::PlaceEditor(bool loadText) {
  if (m_row < 0 || m_row >= GetItemCount() || m_column < 0 || m_column >= GetColumnCount()) {
    m_editor->hide();
    return;
  }
  const QRect cell = visualRect(m_model->index(m_row, m_column));
  if (cell.isEmpty() || cell.top() < 0 || cell.top() >= viewport()->height()) {
    m_editor->hide();
    return;
  }
  m_editor->setGeometry(cell.adjusted(1, 1, -1, -1));
  if (loadText) m_editor->setText(GetItemText(m_row, m_column));
  m_editor->show();
}

void CListCtrlEdited::OnClick(int row, int column) {
  if (row < 0) return;  // off the rows: the current cell stays
  m_row = row;
  if (!m_editable.empty() && column >= m_editable.front() && column <= m_editable.back()) m_column = column;
  PlaceEditor(true);
}

void CListCtrlEdited::keyPressEvent(QKeyEvent* event) {
  const int vk = VirtualKey(event->key());
  switch (vk) {
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      KeyDown(vk);
      event->accept();
      return;
    default:
      break;
  }
  const QString t = event->text();
  if (!t.isEmpty() && IsNumberEditChar(t.front().unicode())) {
    // The editor takes over with its text selected; the key itself is not typed.
    m_editor->selectAll();
    m_editor->setFocus(Qt::OtherFocusReason);
    event->accept();
    return;
  }
  CListCtrlBase::keyPressEvent(event);
}

void CListCtrlEdited::scrollContentsBy(int dx, int dy) {
  CListCtrlBase::scrollContentsBy(dx, dy);
  PlaceEditor(false);
}

void CListCtrlEdited::resizeEvent(QResizeEvent* event) {
  CListCtrlBase::resizeEvent(event);
  PlaceEditor(false);
}

}  // namespace ravik
