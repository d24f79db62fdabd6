// Report lists of the pages, as item views over a table model with the
// calls of a list control (columns, items, item texts, owner data), and the
// two kinds whose cells are edited in place:
//
//   CListCtrlEx      a general list: per-column, per-row and per-cell
//                    read-only flags and colours, sorting by column, and an
//                    editor window lent by its page, shown over a cell on
//                    double-click. An application-wide event filter (the
//                    editing hook, CMsgHook) ends the edit: Enter commits,
//                    Esc cancels, moving the focus away cancels, a click,
//                    wheel or scroll elsewhere commits.
//   CListCtrlEdited  a drawn grid with a cell editor kept over the current
//                    cell; the keyboard moves the current cell.
//
// A committed value reaches the list's parent as message 1034 with
// wParam = column << 16 | row and the value in WndMsg::number.
#pragma once
#include <QAbstractTableModel>
#include <QKeySequence>
#include <QShortcut>
#include <QPointer>
#include <QTableView>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "viewer/layout/EditCtrls.h"
#include "viewer/layout/WinMsg.h"

namespace ravik {

class CListCtrlBase;
class CMsgHook;

// Extended list styles.
enum : std::uint32_t {
  LVS_EX_GRIDLINES = 0x01,
  LVS_EX_TRACKSELECT = 0x08,
  LVS_EX_HEADERDRAGDROP = 0x10,
  LVS_EX_FULLROWSELECT = 0x20,
  LVS_EX_ONECLICKACTIVATE = 0x40,
  LVS_EX_INFOTIP = 0x400,
  LVS_EX_LABELTIP = 0x4000
};
// Gives an item view the Qt settings of extended list styles: grid lines,
// selection under the hovering mouse, movable header sections, full-row
// selection, activation by one click, and the texts of cut cells as tips.
void ApplyListExStyle(QAbstractItemView* view, std::uint32_t exStyle);
// Colour value meaning "not set".
constexpr std::int64_t kNoColour = -1;

struct ListCellData {
  int column = 0;
  int readOnly = 0;
  std::int64_t back = kNoColour;
  std::int64_t text = kNoColour;
};

// What CListCtrlEx keeps per row; it moves with its row when sorting.
struct ListRowData {
  int readOnly = 0;
  std::vector<ListCellData> cells;
  std::int64_t back = kNoColour;
  std::int64_t text = kNoColour;
  quintptr userData = 0;
  ListCellData* Cell(int column);
};

class CListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit CListModel(CListCtrlBase* list);

  struct Column {
    QString title;
    int format = 0;  // 0 left, 1 right, 2 centre
  };
  struct Row {
    std::vector<QString> texts;
    quintptr itemData = 0;
    std::unique_ptr<ListRowData> rowData;
  };

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  bool ownerData = false;
  int ownerCount = 0;
  std::vector<Column> columns;
  std::vector<Row> rows;

  void Reset(const std::function<void()>& change);
  void RowsChanged(int first, int last);
  using QAbstractTableModel::beginInsertColumns;
  using QAbstractTableModel::beginInsertRows;
  using QAbstractTableModel::beginRemoveRows;
  using QAbstractTableModel::endInsertColumns;
  using QAbstractTableModel::endInsertRows;
  using QAbstractTableModel::endRemoveRows;

 private:
  CListCtrlBase* m_list;
};

class CListCtrlBase : public QTableView {
  Q_OBJECT

 public:
  explicit CListCtrlBase(QWidget* parent = nullptr);

  int InsertColumn(int column, const QString& title, int format, int width);
  int GetColumnCount() const;
  // Inserts a row with `text` in column 0 (at the end when `row` is beyond
  // it); returns its index, -1 for an owner-data list.
  int InsertItem(int row, const QString& text);
  // False (and nothing written) for a row or column outside the list.
  bool SetItemText(int row, int column, const QString& text);
  // Empty outside the list. An owner-data list asks its parent.
  QString GetItemText(int row, int column) const;
  int GetItemCount() const;
  bool DeleteItem(int row);
  void DeleteAllItems();
  // Owner data: the number of rows, whose texts the parent supplies
  // through LVN_GETDISPINFOW.
  void SetItemCount(int count);
  bool SetItemData(int row, quintptr data);
  quintptr GetItemData(int row) const;
  bool IsOwnerData() const { return m_model->ownerData; }
  void SetOwnerData(bool on);
  void SetExtendedStyle(std::uint32_t exStyle);
  std::uint32_t GetExtendedStyle() const { return m_exStyle; }
  // The first selected row after `after` (-1: from the start), or -1.
  int GetNextSelected(int after = -1) const;
  // A cell's rectangle in viewport coordinates.
  QRect GetSubItemRect(int row, int column) const;
  void EnsureVisible(int row);
  CListModel* model() const { return m_model; }

  // The colours of a cell (Windows colour values; kNoColour: the view's).
  virtual void CellColours(int row, int column, std::int64_t& back, std::int64_t& text) const;
  // Text of an owner-data cell, asked of the parent (cut to its buffer).
  QString DispText(int row, int column) const;

 protected:
  // A click or double click on (row, column); row -1 off the rows.
  virtual void OnClick(int row, int column);
  virtual void OnDoubleClick(int row, int column);
  virtual void OnColumnClick(int column);
  // Sends WM_NOTIFY to the parent.
  std::intptr_t NotifyParent(int code, int row, int column);

  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

  CListModel* m_model;
  std::uint32_t m_exStyle = 0;
};

class CListCtrlEx : public CListCtrlBase, public CMsgTarget {
  Q_OBJECT

 public:
  struct ColumnInfo {
    QPointer<QWidget> editor;
    int readOnly = 0;
    int key = 0;
    std::uint32_t back = 0xFFFFFF;
    std::uint32_t text = 0;
    int sortFlags = 0;  // bit 0 ascending, bit 1 descending, bit 2 toggles
    int sortType = 0;
  };
  using CompareFunction = std::function<int(quintptr, quintptr, int)>;

  explicit CListCtrlEx(QWidget* parent = nullptr);
  ~CListCtrlEx() override;

  // The editor window lent by the page (not owned).
  void SetEditor(QWidget* editor) { m_editor = editor; }
  QWidget* editor() const { return m_editor; }
  void SetColumnReadOnly(int column);
  void SetColumnEditable(int column);
  void SetColumnSort(int column, int sortFlags, int sortType);
  void SetColumnColours(int column, std::uint32_t back, std::uint32_t text);
  void SetRowReadOnly(int row, bool readOnly);
  void SetCellReadOnly(int row, int column, bool readOnly);
  void SetRowColours(int row, std::int64_t back, std::int64_t text);
  void SetCellColours(int row, int column, std::int64_t back, std::int64_t text);
  ColumnInfo* GetColumnInfo(int column);
  void DeleteAllRowData();

  // Opens the editor over a cell; 0 when the cell cannot be edited.
  int StartEdit(int row, int column);
  // Ends an edit under way: with `commit` the text goes into the cell
  // (unless the list is owner data) and the parent receives 1034.
  void EndEdit(bool commit);
  bool IsEditing() const;
  int editRow() const { return m_editRow; }
  int editColumn() const { return m_editColumn; }

  void SortByColumn(int column, bool toggle);
  int sortColumn() const { return m_sortColumn; }
  // Called when Tab runs past the last row with appendOnTab set; 0 ends the
  // navigation.
  virtual int AppendRow();
  // Moves the edit one cell on (Tab) or back (Shift+Tab).
  void TabToNextCell(bool backwards);

  // 1034 from the editing hook: EndEdit(wParam != 0).
  std::intptr_t WindowProc(WndMsg& msg) override;
  void CellColours(int row, int column, std::int64_t& back, std::int64_t& text) const override;

  // Keyboard shortcuts that work while the list has the focus: each sends
  // the list's parent WM_COMMAND with its command id (the list's
  // accelerator table); an empty table removes them.
  void SetAccelerators(const std::vector<std::pair<QKeySequence, int>>& table);
  int AcceleratorCount() const { return static_cast<int>(m_accelerators.size()); }

  int editOnDoubleClick = 1;
  int deleteKeyDeletes = 0;
  int appendOnTab = 0;
  CompareFunction compareFunction;
  int compareParam = 0;
  std::uint32_t defaultBack = 0xFFFFFF;
  std::uint32_t defaultText = 0;

 protected:
  void OnDoubleClick(int row, int column) override;
  void OnColumnClick(int column) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool CellReadOnly(int row, int column) const;
  int Compare(int a, int b) const;

  std::vector<QPointer<QShortcut>> m_accelerators;
  std::recursive_mutex m_lock;
  std::unique_ptr<CMsgHook> m_hook;
  QPointer<QWidget> m_editor;
  std::vector<std::unique_ptr<ColumnInfo>> m_columnInfo;
  // Read-only rows of a list whose rows the page supplies (no row data).
  std::vector<int> m_ownerReadOnlyRows;
  int m_editRow = -1, m_editColumn = -1, m_row = -1, m_column = -1;
  int m_sortColumn = -1;
  bool m_ending = false;
};

// The editing hook's record of one list.
class CMsgHook {
 public:
  CMsgHook();
  virtual ~CMsgHook();
  void Register(QWidget* editor, CListCtrlEx* list);
  void Unregister();
  bool Holds() const { return m_editor != nullptr; }

  QPointer<QWidget> m_editor;
  QPointer<CListCtrlEx> m_list;
  QPointer<QWidget> m_notify;
  int m_dropDownOpen = 0;
};
// Whether the application-wide editing filter is installed (while any
// CListCtrlEx exists).
bool EditingHookInstalled();
// How many lists have an edit under way (the records the filter looks at).
int HeldEditCount();

class CListCtrlEdited : public CListCtrlBase, public CMsgTarget {
  Q_OBJECT

 public:
  explicit CListCtrlEdited(QWidget* parent = nullptr);

  CEditInplace* editor() const { return m_editor; }
  int row() const { return m_row; }
  int column() const { return m_column; }
  // Columns whose divider cannot be dragged; columns the current cell may
  // be in (ascending).
  void SetFixedColumns(std::vector<int> columns);
  void SetEditableColumns(std::vector<int> columns) { m_editable = std::move(columns); }
  const std::vector<int>& editableColumns() const { return m_editable; }
  const std::vector<int>& fixedColumns() const { return m_fixed; }

  // The list's handling of a key (the editor hands it Enter, Esc, Up, Down).
  void KeyDown(int vk);
  // Makes the current cell visible and puts the editor over it.
  void MoveEditor();
  // WM_KEYDOWN (key) from the editor: KeyDown.
  std::intptr_t WindowProc(WndMsg& msg) override;

 protected:
  void OnClick(int row, int column) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceEditor(bool loadText);

  CEditInplace* m_editor;
  int m_row = 0, m_column = 0;
  std::vector<int> m_fixed, m_editable;
};

}  // namespace ravik
