#include "viewer/pages/DataPages.h"

#include <QLineEdit>

#include <cmath>

#include "mod_gcode/export/Quillet.h"
#include "platform/Numbers.h"
#include "viewer/CommandStore.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/Locks.h"
#include "viewer/RavikDlg.h"
#include "viewer/TextConv.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/ListCtrls.h"

namespace ravik {
namespace {

QString Text(const char* key, const char* english) {
  QString s = GetLangString(QString::fromLatin1(key));
  return s.isEmpty() ? QString::fromUtf8(english) : s;
}

QString LibText(const char16_t* s) { return FromU16(s); }

// The list that receives the rows of Code_ShowCodeRule.
QPointer<CListCtrlBase> g_ruleList;

void AppendCodeRuleRow(int* index, char16_t* codename, char16_t* codefunc, char16_t* group, char16_t* globalname,
                       char16_t* address, char16_t* movable) {
  CListCtrlBase* list = g_ruleList.data();
  if (!list || !index) return;
  const int row = list->InsertItem(*index, LibText(codename));
  if (row < 0) return;
  const char16_t* texts[5] = {codefunc, group, globalname, address, movable};
  for (int c = 0; c < 5; ++c) list->SetItemText(row, c + 1, LibText(texts[c]));
}

}  // namespace

bool EditTextNumber(const QString& text, double& value) {
  const std::u16string t = ToU16(text.trimmed());
  if (t.empty()) return false;
  std::size_t used = 0;
  const double v = plat::ParseDouble(t, &used);
  if (used != t.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

// ------------------------------------------------------------ common part

CDlgDataPage::CDlgDataPage(const char* english, const char* chinese, QWidget* parent)
    : CDlgParams(new CLayoutProp(LanguageFlag() == 0 ? chinese : english), parent) {
  suppressOkCancel = true;
}

bool CDlgDataPage::OnInitDialog() {
  const bool result = CDlgParams::OnInitDialog();
  if (CRavikDlg* main = CRavikDlg::Instance())
    if (CDlgRender* render = main->render())
      connect(render, &CDlgRender::loadFinished, this, &CDlgDataPage::OnLoaderEnded);
  return result;
}

void CDlgDataPage::OnLoaderEnded() {
  if (m_refreshPending || isVisible()) Refresh();
}

bool CDlgDataPage::Library(const std::function<void()>& call) { return WithLibrary(call); }

CListCtrlBase* CDlgDataPage::List(std::u16string_view name) const {
  return layout() ? qobject_cast<CListCtrlBase*>(layout()->FindWndByName(name)) : nullptr;
}

void CDlgDataPage::ClearMainList() {
  if (auto* ex = qobject_cast<CListCtrlEx*>(mainList())) ex->DeleteAllRowData();
  if (auto* list = qobject_cast<CListCtrlBase*>(mainList())) list->DeleteAllItems();
  m_shown.clear();
}

void CDlgDataPage::ShowCell(int row, int column, const QString& text) {
  auto* list = qobject_cast<CListCtrlBase*>(mainList());
  if (!list || !list->SetItemText(row, column, text)) return;  // a column the list lacks
  m_shown[{row, column}] = text;
}

void CDlgDataPage::ReportBusy() {
  Ui().Message(this, QStringLiteral("Ravik"),
               Text("EDIT_BUSY",
                    "The value was not changed: the program is still being simulated.\n"
                    "Edit it again when the simulation has ended."),
               UiSeam::Icon::Warning);
}

bool CDlgDataPage::CommitCell(unsigned kind, const WndMsg& msg, int dataColumns) {
  const int row = static_cast<int>(LoWord(msg.wParam));
  const int listColumn = static_cast<int>(HiWord(msg.wParam));
  int column = listColumn - 1;
  double value = 0.0;
  const bool isNumber = EditTextNumber(msg.text, value);
  bool written = false, busy = false;
  QString now;
  if (isNumber && column >= 0 && column < dataColumns) {
    busy = !Library([&] {
      int rows = 0, cols = 0;
      Code_GetDataCount(&kind, &rows, &cols);
      if (row >= rows) return;
      int r = row;
      Code_SetData(&kind, &r, &column, &value);
      now = LibText(Code_GetDataStr(&kind, &r, &column));
      written = true;
    });
  }
  if (written) {
    ShowCell(row, listColumn, now);
    return true;
  }
  // Nothing reached the library: the cell shows what it showed before.
  auto it = m_shown.find({row, listColumn});
  if (auto* list = qobject_cast<CListCtrlBase*>(mainList()); list && !list->IsOwnerData())
    list->SetItemText(row, listColumn, it != m_shown.end() ? it->second : QString());
  if (busy) ReportBusy();
  return false;
}

// ------------------------------------------------------------ code rules

CDlgCodeTable::CDlgCodeTable(QWidget* parent) : CDlgDataPage("dlg_codetable.dlgc", "dlg_codetable_cn.dlgc", parent) {}

bool CDlgCodeTable::OnInitDialog() {
  const bool result = CDlgDataPage::OnInitDialog();
  g_ruleList = qobject_cast<CListCtrlBase*>(mainList());
  return result;
}

void CDlgCodeTable::Refresh() {
  auto* list = qobject_cast<CListCtrlBase*>(mainList());
  if (!list) return;
  g_ruleList = list;
  bool filled = Library([&] {
    ClearMainList();
    Code_ShowCodeRule(&AppendCodeRuleRow);
  });
  if (filled) RefreshDone();
  else DeferRefresh();
}

// ------------------------------------------------------------ commands

CDlgCodeCommands::CDlgCodeCommands(QWidget* parent)
    : CDlgDataPage("dlg_codecmd.dlgc", "dlg_codecmd_cn.dlgc", parent) {}

void CDlgCodeCommands::Refresh() {
  auto* list = qobject_cast<CListCtrlBase*>(mainList());
  if (!list) return;
  // The store has its own lock: this never waits for the library.
  const std::size_t n = Commands().Size();
  list->SetItemCount(n > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(n));
  RefreshDone();
}

QString CDlgCodeCommands::CellText(int item, int column) {
  if (item < 0 || column < 0 || column > 14) return {};
  CommandRecord rec;
  if (!Commands().At(static_cast<std::size_t>(item), rec)) return {};
  // The record holds the line's index; the editor and the message list count
  // lines from 1.
  if (column == 0) return QString::number(static_cast<long long>(rec.line) + 1);
  if (column == 1) return QString::fromLatin1(CommandKindName(rec.kind));
  return FromU16(DoubleToWString(rec.values[column - 2]));
}

void CDlgCodeCommands::GetDispInfoText(NmLvDispInfo* info, std::intptr_t*) {
  if (!(info->mask & LVIF_TEXT)) return;
  info->text = CellText(info->iItem, info->iSubItem);
}

// ------------------------------------------------------------ tool offsets

CDlgCodeOffset::CDlgCodeOffset(QWidget* parent)
    : CDlgDataPage("dlg_codeoffset.dlgc", "dlg_codeoffset_cn.dlgc", parent) {}

void CDlgCodeOffset::Refresh() {
  auto* list = qobject_cast<CListCtrlEx*>(mainList());
  if (!list) return;
  bool filled = Library([&] {
    ClearMainList();
    unsigned kind = 0;
    int rows = 0, cols = 0;
    Code_GetDataCount(&kind, &rows, &cols);
    for (int r = 0; r < rows; ++r) {
      const int item = list->InsertItem(r, FromU16(IntToWString(r)));
      for (int c = 0; c < cols; ++c) {
        int rr = r, cc = c;
        ShowCell(item, c + 1, LibText(Code_GetDataStr(&kind, &rr, &cc)));
      }
    }
    for (int c = 0; c < cols && c + 1 < list->GetColumnCount(); ++c) list->SetColumnEditable(c + 1);
  });
  if (!filled) {
    DeferRefresh();
    return;
  }
  RefreshDone();
  list->setFocus();
}

std::intptr_t CDlgCodeOffset::OnMessage(WndMsg& msg) {
  if (msg.msg == WM_LIST_EDIT && msg.number && msg.source == mainList()) {
    int rows = 0, cols = 4;
    Library([&] {
      unsigned kind = 0;
      Code_GetDataCount(&kind, &rows, &cols);
    });
    CommitCell(0, msg, cols);
  }
  return CDlgDataPage::OnMessage(msg);
}

// ------------------------------------------------------------ work offsets

CDlgCodePartZero::CDlgCodePartZero(QWidget* parent)
    : CDlgDataPage("dlg_codepartzero.dlgc", "dlg_codepartzero_cn.dlgc", parent) {}

QString CDlgCodePartZero::RowName(int row) {
  static const char* const kNames[7] = {"Ext", "G54", "G55", "G56", "G57", "G58", "G59"};
  return row >= 0 && row < 7 ? QString::fromLatin1(kNames[row]) : QString();
}

void CDlgCodePartZero::Refresh() {
  auto* list = qobject_cast<CListCtrlEx*>(mainList());
  if (!list) return;
  bool filled = Library([&] {
    ClearMainList();
    unsigned kind = 1;
    int rows = 0, cols = 0;
    Code_GetDataCount(&kind, &rows, &cols);
    for (int r = 0; r < rows; ++r) {
      const int item = list->InsertItem(r, RowName(r));
      for (int c = 0; c < 3; ++c) {
        int rr = r, cc = c;
        ShowCell(item, c + 1, LibText(Code_GetDataStr(&kind, &rr, &cc)));
      }
    }
    for (int c = 1; c <= 3 && c < list->GetColumnCount(); ++c) list->SetColumnEditable(c);
  });
  if (filled) RefreshDone();
  else DeferRefresh();
}

std::intptr_t CDlgCodePartZero::OnMessage(WndMsg& msg) {
  // X, Y and Z of each row.
  if (msg.msg == WM_LIST_EDIT && msg.number && msg.source == mainList()) CommitCell(1, msg, 3);
  return CDlgDataPage::OnMessage(msg);
}

// ------------------------------------------------------------ options

CDlgCodeOptions::CDlgCodeOptions(QWidget* parent)
    : CDlgDataPage("dlg_codeoptions.dlgc", "dlg_codeoptions_cn.dlgc", parent) {}

CDlgCodeOptions::~CDlgCodeOptions() {
  // The choice holds for the next run.
  if (IsCreated() && layout()) layout()->Save();
}

double CDlgCodeOptions::OptionValue() const {
  if (!layout()) return 0.0;
  if (ValueNumber(layout()->FindCtrlByName(u"ignoredecimal").value) == 1.0) return 0.0;
  double v = 0.0;
  return EditTextNumber(m_acceptedIncrement, v) ? v : 0.0;
}

void CDlgCodeOptions::CheckIncrement() {
  if (!layout()) return;
  CDlgCtrls& ctrl = layout()->FindCtrlByName(u"Leastinput");
  auto* edit = qobject_cast<QLineEdit*>(ctrl.GetWnd());
  const QString text = edit ? edit->text() : FromU16(ctrl.value);
  double v = 0.0;
  QString reason;
  if (!EditTextNumber(text, v))
    reason = Tr(QStringLiteral("The increment \"%1\" is not one number."), QStringLiteral("增量“%1”不是一个数。")).arg(text);
  else if (!(v > 0.0))
    // 0 would put every coordinate without a decimal point at 0, a negative
    // increment would mirror it.
    reason = Tr(QStringLiteral("The increment must be above 0 (%1 was typed): coordinates written without a decimal "
                               "point are multiplied by it."),
                QStringLiteral("增量必须大于 0（输入的是 %1）：不带小数点的坐标值要乘以增量。"))
                 .arg(text.trimmed());
  if (reason.isEmpty()) {
    m_acceptedIncrement = text.trimmed();
    return;
  }
  if (edit) edit->setText(m_acceptedIncrement);
  ctrl.value = m_acceptedIncrement.toStdU16String();
  Ui().Message(this, QStringLiteral("Ravik"),
               reason + QLatin1Char('\n') +
                   Tr(QStringLiteral("The increment stays %1."), QStringLiteral("增量仍为 %1。")).arg(m_acceptedIncrement),
               UiSeam::Icon::Warning);
}

bool CDlgCodeOptions::ApplyOption() {
  if (layout() && ValueNumber(layout()->FindCtrlByName(u"ignoredecimal").value) != 1.0) CheckIncrement();
  double value = OptionValue();
  m_optionPending = !Library([&] {
    unsigned kind = 2;
    int row = -1, column = -1;
    Code_SetData(&kind, &row, &column, &value);
  });
  return !m_optionPending;
}

void CDlgCodeOptions::OnLoaderEnded() {
  if (m_optionPending) ApplyOption();
}

bool CDlgCodeOptions::OnInitDialog() {
  CDlgDataPage::OnInitDialog();
  // The saved increment, when it is one number above 0, is the one in use
  // (it is checked when it is used).
  double saved = 0.0;
  const QString savedText = FromU16(layout()->FindCtrlByName(u"Leastinput").value).trimmed();
  if (EditTextNumber(savedText, saved) && saved > 0.0) m_acceptedIncrement = savedText;
  ApplyOption();
  if (ValueNumber(layout()->FindCtrlByName(u"ignoredecimal").value) == 1.0)
    if (QWidget* edit = layout()->FindWndByName(u"Leastinput")) edit->setEnabled(false);
  // A typed increment is used as soon as the edit is committed (Enter or
  // leaving the field), so the field never shows a value the library does
  // not use.
  if (auto* edit = qobject_cast<QLineEdit*>(layout()->FindWndByName(u"Leastinput")))
    connect(edit, &QLineEdit::editingFinished, this, [this] { ApplyOption(); });
  return true;
}

void CDlgCodeOptions::OnCommand(int id, int, QWidget*) {
  if (id != kCmdIgnoreDecimal && id != kCmdLeastInput) return;
  if (QWidget* edit = layout()->FindWndByName(u"Leastinput")) edit->setEnabled(id == kCmdLeastInput);
  ApplyOption();
}

// ------------------------------------------------------------ variables

namespace {

struct VariableList {
  const char16_t* name;
  int id;
  int items;
  int first;
};
// Rows of "list" that show a program's local variables (#0 to #33) rather
// than the table.
constexpr int kLocalRows = 34;
constexpr VariableList kVariableLists[4] = {
    {u"list", 1010, 1000, 0}, {u"list1", 1011, 130, 4001}, {u"list2", 1012, 104, 5001}, {u"list3", 1013, 124, 5201}};

}  // namespace

CDlgCodeVariables::CDlgCodeVariables(QWidget* parent)
    : CDlgDataPage("dlg_codevariables.dlgc", "dlg_codevariables_cn.dlgc", parent) {}

int CDlgCodeVariables::VariableNumber(int listId, int item) {
  for (const VariableList& l : kVariableLists)
    if (l.id == listId) return item >= 0 && item < l.items ? l.first + item : -1;
  return -1;
}

void CDlgCodeVariables::ReadOne(int listIndex, int item) {
  unsigned kind = 3;
  int n = kVariableLists[listIndex].first + item, column = 0;
  Shown& s = m_shown[listIndex][static_cast<std::size_t>(item)];
  s.value = LibText(Code_GetDataStr(&kind, &n, &column));
  n = kVariableLists[listIndex].first + item;
  column = 0;
  s.kind = LibText(Code_GetDataType(&kind, &n, &column));
}

void CDlgCodeVariables::ReadAll() {
  for (int l = 0; l < 4; ++l) {
    m_shown[l].assign(static_cast<std::size_t>(kVariableLists[l].items), Shown{});
    for (int i = 0; i < kVariableLists[l].items; ++i) ReadOne(l, i);
  }
}

void CDlgCodeVariables::Refresh() {
  for (const VariableList& l : kVariableLists) {
    auto* list = List(l.name);
    if (!list) continue;
    if (auto* ex = qobject_cast<CListCtrlEx*>(list)) ex->DeleteAllRowData();
    list->SetItemCount(l.items);
  }
  if (auto* list = qobject_cast<CListCtrlEx*>(mainList()); list && list->GetColumnCount() > 1) {
    list->SetColumnEditable(1);
    // #0 to #33 show the program's local variables, which a program sets for
    // itself: the table behind them is not what the rows show, so they are
    // not edited here.
    for (int row = 0; row < kLocalRows; ++row) list->SetRowReadOnly(row, true);
  }
  if (Library([&] { ReadAll(); })) {
    RefreshDone();
    for (const VariableList& l : kVariableLists)
      if (auto* list = List(l.name)) list->viewport()->update();
  } else {
    DeferRefresh();
  }
}

void CDlgCodeVariables::GetDispInfoText(NmLvDispInfo* info, std::intptr_t*) {
  if (!(info->mask & LVIF_TEXT)) return;
  const int l = info->idFrom - 1010;
  const int n = VariableNumber(info->idFrom, info->iItem);
  if (l < 0 || l > 3 || n < 0) return;
  const auto& shown = m_shown[l];
  const std::size_t i = static_cast<std::size_t>(info->iItem);
  switch (info->iSubItem) {
    case 0: info->text = QStringLiteral("#") + FromU16(IntToWString(n)); break;
    case 1: info->text = i < shown.size() ? shown[i].value : QString(); break;
    case 2: info->text = i < shown.size() ? shown[i].kind : QString(); break;
    default: break;
  }
}

std::intptr_t CDlgCodeVariables::OnMessage(WndMsg& msg) {
  // Only "list" has an editor; its row is the variable number.
  if (msg.msg == WM_LIST_EDIT && msg.number && msg.source == mainList()) {
    const int item = static_cast<int>(LoWord(msg.wParam));
    if (item >= kLocalRows && CommitCell(3, msg, 1) && item < kVariableLists[0].items) {
      if (m_shown[0].size() < static_cast<std::size_t>(kVariableLists[0].items))
        m_shown[0].resize(static_cast<std::size_t>(kVariableLists[0].items));
      Library([&] { ReadOne(0, item); });
      if (QWidget* list = mainList()) static_cast<CListCtrlBase*>(list)->viewport()->update();
    }
  }
  return CDlgDataPage::OnMessage(msg);
}

}  // namespace ravik
