// Lists with in-place editing: the general list with a lent editor and the
// editing hook, and the drawn grid with its permanent cell editor.
#include <gtest/gtest.h>

#include <QFocusEvent>
#include <QHeaderView>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QLineEdit>

#include <tuple>

#include "GuiUtil.h"
#include "viewer/layout/ListCtrls.h"

using namespace ravik;
using namespace layouttest;

namespace {

std::u16string ListBand(const std::u16string& keys) {
  return OneBand(u"ctrl={\n" + keys + u"\n}\n", u"ctrl_h=1,\ncol=1,\ncol_ratio=1,\nratio=1,\nmargin=0\n");
}

class ListEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = std::make_unique<ExeFolder>(::testing::UnitTest::GetInstance()->current_test_info()->name());
    page = MakePage(*exe, "list.dlgc",
                    ListBand(u"type=SysListView32,\nname=list,\nid=1010,\ncbstrings=No X Y Z,\ncw=0.25 0.25 0.25 0.25"));
    list = qobject_cast<CListCtrlEx*>(page->mainList());
    ASSERT_NE(list, nullptr);
    for (int r = 0; r < 6; ++r) {
      list->InsertItem(r, QString::number(r));
      for (int c = 1; c < 4; ++c) list->SetItemText(r, c, "0");
    }
    for (int c = 1; c < 4; ++c) list->SetColumnEditable(c);
    editor = page->listEditor();
  }
  std::vector<SeenMsg> Edits() {
    QApplication::processEvents();
    return page->Of(WM_LIST_EDIT);
  }
  QPoint CellCentre(int row, int column) const { return list->visualRect(list->model()->index(row, column)).center(); }
  // Makes the page the active window, with a second field that can take the
  // focus from the list.
  void ActivateWithAnotherField(QLineEdit*& other) {
    other = new QLineEdit(page.get());
    other->setGeometry(0, 0, 10, 10);
    other->show();
    page->activateWindow();
    QApplication::setActiveWindow(page.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(page.get()));
  }

  std::unique_ptr<ExeFolder> exe;  // declared first: outlives the page
  std::unique_ptr<TestPage> page;
  CListCtrlEx* list = nullptr;
  CNumEdit* editor = nullptr;
};

TEST_F(ListEditing, EnterCommitsTheCellAndThePageGetsTheValueEscapeCancels) {
  EXPECT_TRUE(EditingHookInstalled());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CellCentre(4, 2));
  ASSERT_TRUE(list->IsEditing());
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->selectedText(), "0");
  QTest::keyClicks(editor, "12.5");
  TypeKey(editor, Qt::Key_Return, "\r");
  EXPECT_FALSE(list->IsEditing());
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(list->GetItemText(4, 2), "12.5");
  auto edits = Edits();
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].wParam, 0x00020004u);  // column 2 << 16 | row 4
  ASSERT_TRUE(edits[0].number.has_value());
  EXPECT_EQ(*edits[0].number, 12.5);

  // Escape cancels; the cancelled edit is never committed later, the next
  // edit commits only its own cell.
  ASSERT_EQ(list->StartEdit(1, 1), 1);
  QTest::keyClicks(editor, "9");
  TypeKey(editor, Qt::Key_Escape, "\x1b");
  EXPECT_FALSE(list->IsEditing());
  EXPECT_EQ(list->GetItemText(1, 1), "0");
  EXPECT_EQ(Edits().size(), 1u);
  ASSERT_EQ(list->StartEdit(2, 3), 1);
  QTest::keyClicks(editor, "-3");
  TypeKey(editor, Qt::Key_Return, "\r");
  EXPECT_EQ(list->GetItemText(1, 1), "0");
  edits = Edits();
  ASSERT_EQ(edits.size(), 2u);
  EXPECT_EQ(edits[1].wParam, MakeWParam(2, 3));
  EXPECT_EQ(*edits[1].number, -3.0);
}

TEST_F(ListEditing, TheFocusLeavingCancelsAndAClickElsewhereCommits) {
  ASSERT_EQ(list->StartEdit(0, 1), 1);
  QTest::keyClicks(editor, "7");
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(editor, &out);
  EXPECT_FALSE(list->IsEditing());
  EXPECT_EQ(list->GetItemText(0, 1), "0");
  EXPECT_TRUE(Edits().empty());

  ASSERT_EQ(list->StartEdit(3, 3), 1);
  QTest::keyClicks(editor, "4x");  // the number edit drops the x
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CellCentre(0, 0));
  EXPECT_FALSE(list->IsEditing());
  EXPECT_EQ(list->GetItemText(3, 3), "4");
  const auto edits = Edits();
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].wParam, MakeWParam(3, 3));
  EXPECT_EQ(*edits[0].number, 4.0);
}

TEST_F(ListEditing, InAnActiveWindowAClickOnAnotherCellCommitsWhatWasTyped) {
  // In an active window the click moves the focus before anything sees the
  // button; the value typed must survive that.
  QLineEdit* other = nullptr;
  ASSERT_NO_FATAL_FAILURE(ActivateWithAnotherField(other));
  for (auto [row, column, next] : {std::tuple{4, 2, std::pair{1, 3}}, {2, 1, std::pair{2, 3}}, {0, 3, std::pair{5, 0}}}) {
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CellCentre(row, column));
    ASSERT_TRUE(list->IsEditing());
    ASSERT_TRUE(editor->hasFocus());
    QTest::keyClicks(editor, "8.25");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CellCentre(next.first, next.second));
    EXPECT_FALSE(list->IsEditing());
    EXPECT_EQ(list->GetItemText(row, column), "8.25");
  }
  auto edits = Edits();
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[0].wParam, MakeWParam(4, 2));
  EXPECT_EQ(*edits[0].number, 8.25);
  // The focus moved away by the keyboard cancels, in the active window too.
  ASSERT_EQ(list->StartEdit(3, 1), 1);
  ASSERT_TRUE(editor->hasFocus());
  QTest::keyClicks(editor, "6");
  other->setFocus(Qt::TabFocusReason);
  EXPECT_FALSE(list->IsEditing());
  EXPECT_EQ(list->GetItemText(3, 1), "0");
  EXPECT_EQ(Edits().size(), 3u);
}

TEST_F(ListEditing, AcceleratorsActOnlyWhileTheListHasTheFocus) {
  QLineEdit* other = nullptr;
  ASSERT_NO_FATAL_FAILURE(ActivateWithAnotherField(other));
  list->SetAccelerators({{QKeySequence(Qt::CTRL | Qt::Key_D), 777}, {QKeySequence(Qt::Key_F5), 778}});
  EXPECT_EQ(list->AcceleratorCount(), 2);
  auto commands = [&] {
    std::vector<unsigned> ids;
    for (const SeenMsg& m : page->Of(WM_COMMAND)) ids.push_back(LoWord(m.wParam));
    return ids;
  };
  list->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return list->hasFocus(); }, 1000));
  QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
  QTest::keyClick(list, Qt::Key_F5);
  EXPECT_EQ(commands(), (std::vector<unsigned>{777, 778}));
  other->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return other->hasFocus(); }, 1000));
  QTest::keyClick(other, Qt::Key_D, Qt::ControlModifier);
  QTest::keyClick(other, Qt::Key_F5);
  EXPECT_EQ(commands().size(), 2u) << "not while another control has the focus";
  list->SetAccelerators({});
  list->setFocus();
  QTest::keyClick(list, Qt::Key_F5);
  EXPECT_EQ(commands().size(), 2u);
}

TEST_F(ListEditing, AClickInAnOpenDatePickerCalendarDoesNotEndTheEdit) {
  auto* date = new QDateTimeEdit(page.get());
  date->setCalendarPopup(true);
  date->hide();
  list->SetEditor(date);
  list->SetColumnEditable(2);
  ASSERT_EQ(list->StartEdit(1, 2), 1);
  QWidget* calendar = date->calendarWidget()->window();
  ASSERT_NE(calendar, page.get());
  calendar->move(page->mapToGlobal(QPoint(0, 0)));
  calendar->show();
  QApplication::processEvents();
  QTest::mouseClick(date->calendarWidget(), Qt::LeftButton, {}, date->calendarWidget()->rect().center());
  EXPECT_TRUE(list->IsEditing()) << "the calendar is open";
  calendar->hide();
  QApplication::processEvents();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CellCentre(4, 0));
  EXPECT_FALSE(list->IsEditing()) << "a click elsewhere once it has closed";
}

TEST_F(ListEditing, ReadOnlyAndMissingCellsAreNeitherEditedNorWritten) {
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, CellCentre(2, 0));
  EXPECT_FALSE(list->IsEditing());
  for (auto [row, column] : {std::pair{6, 1}, {1, 4}, {-1, 1}}) EXPECT_EQ(list->StartEdit(row, column), 0);
  list->SetRowReadOnly(5, true);
  EXPECT_EQ(list->StartEdit(5, 1), 0);
  list->SetCellReadOnly(5, 2, false);  // a cell record decides for its cell
  EXPECT_EQ(list->StartEdit(5, 2), 1);
  list->EndEdit(false);
  // Cells outside the list are refused; an insert beyond the end appends.
  EXPECT_FALSE(list->SetItemText(6, 1, "x"));
  EXPECT_FALSE(list->SetItemText(0, 4, "x"));
  EXPECT_FALSE(list->SetItemText(-1, 0, "x"));
  EXPECT_EQ(list->GetItemText(9, 9), "");
  EXPECT_FALSE(list->DeleteItem(6));
  EXPECT_EQ(list->InsertItem(100, "end"), 6);
  EXPECT_EQ(list->InsertColumn(50, "W", 0, 10), 4);
}

TEST_F(ListEditing, SortingMovesRowsWithTheirRecords) {
  const char* values[] = {"10", "9", "100", "-5", "abc", "20"};
  for (int r = 0; r < 6; ++r) list->SetItemText(r, 1, values[r]);
  list->SetRowColours(1, 0x0000FF, kNoColour);  // the row of "9"
  list->SetColumnSort(1, 4, 4);  // toggling, whole-number comparison
  list->SortByColumn(1, true);   // starts descending, toggled to ascending
  std::vector<QString> order;
  for (int r = 0; r < 6; ++r) order.push_back(list->GetItemText(r, 1));
  // "abc" is no whole number: compared as text with the others it sorts last.
  EXPECT_EQ(order, (std::vector<QString>{"-5", "9", "10", "20", "100", "abc"}));
  std::int64_t back = 0, text = 0;
  list->CellColours(1, 2, back, text);
  EXPECT_EQ(back, 0x0000FF);
  EXPECT_EQ(list->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST(ListManyLists, TheEditingFilterLooksOnlyAtTheListBeingEdited) {
  // A page of many lists: events cost the filter nothing while no cell is
  // edited, and one record while one is (layout_bench measures the times).
  ExeFolder exe("manylists");
  std::u16string ctrls;
  for (int i = 0; i < 400; ++i)
    ctrls += u"ctrl={\ntype=SysListView32,\nname=l" + QString::number(i).toStdU16String() +
             u",\nid=1020,\ncbstrings=A B,\ncw=0.5 0.5\n}\n";
  auto page = MakePage(exe, "many.dlgc", OneBand(ctrls, u"ctrl_h=1,\ncol=20,\ncol_ratio=0.05,\nratio=1\n"), 800, 600);
  auto* l = qobject_cast<CListCtrlEx*>(page->layout()->FindWndByName(u"l399"));
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(HeldEditCount(), 0);
  l->InsertItem(0, "1");
  l->SetColumnEditable(1);
  l->SetEditor(new QLineEdit(page.get()));
  ASSERT_EQ(l->StartEdit(0, 1), 1);
  EXPECT_EQ(HeldEditCount(), 1);
  l->EndEdit(false);
  EXPECT_EQ(HeldEditCount(), 0);
  page.reset();
  EXPECT_FALSE(EditingHookInstalled());
}

TEST(ListOwnerData, AnOwnerDataListAsksThePageAndKeepsItsTextsOnCommit) {
  ExeFolder exe("ownerdata");
  auto page = MakePage(exe, "owner.dlgc",
                       ListBand(u"type=SysListView32,\nname=list,\nid=1011,\nreadonly=1,\ncbstrings=N V,\ncw=0.5 0.5"));
  auto* list = qobject_cast<CListCtrlEx*>(page->mainList());
  ASSERT_NE(list, nullptr);
  page->dispInfo = [&](NmLvDispInfo* info) {
    info->text = info->iItem == 2 && info->iSubItem == 0 ? QString(1000, 'x')
                                                         : QString("v%1,%2").arg(info->iItem).arg(info->iSubItem);
  };
  EXPECT_EQ(list->InsertItem(0, "no"), -1);
  list->SetItemCount(3);
  EXPECT_EQ(list->GetItemText(1, 1), "v1,1");
  EXPECT_EQ(list->GetItemText(2, 0).size(), 259);  // cut to its buffer
  list->SetColumnEditable(1);
  ASSERT_EQ(list->StartEdit(2, 1), 1);
  EXPECT_EQ(page->listEditor()->text(), "v2,1");
  page->listEditor()->setText("5");
  TypeKey(page->listEditor(), Qt::Key_Return, "\r");
  QApplication::processEvents();
  const auto edits = page->Of(WM_LIST_EDIT);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].wParam, MakeWParam(2, 1));
  EXPECT_EQ(*edits[0].number, 5.0);
  EXPECT_EQ(list->GetItemText(2, 1), "v2,1");
  page.reset();
  EXPECT_FALSE(EditingHookInstalled());
}

// ------------------------------------------------------------ drawn grid

TEST(GridEditing, TheCellEditorFollowsTheCurrentCellAndEnterWritesIt) {
  ExeFolder exe("grid");
  auto page = MakePage(exe, "grid.dlgc",
                       ListBand(u"type=listedited,\nname=grid,\nid=1012,\ncbstrings=Name A B C,\ncw=0.25 0.25 0.25 0.25"));
  auto* grid = qobject_cast<CListCtrlEdited*>(page->layout()->FindWndByName(u"grid"));
  ASSERT_NE(grid, nullptr);
  for (int r = 0; r < 5; ++r) {
    grid->InsertItem(r, QString("row%1").arg(r));
    for (int c = 1; c < 4; ++c) grid->SetItemText(r, c, QString::number(r * 10 + c));
  }
  QApplication::processEvents();
  auto centre = [&](int row, int column) { return grid->visualRect(grid->model()->index(row, column)).center(); };
  // The current cell stays inside the editable columns and the rows.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre(1, 1));
  EXPECT_EQ(grid->column(), 1);
  grid->KeyDown(VK_LEFT);
  EXPECT_EQ(grid->column(), 1);
  for (int i = 0; i < 3; ++i) grid->KeyDown(VK_RIGHT);
  EXPECT_EQ(grid->column(), 3);
  for (int i = 0; i < 8; ++i) grid->KeyDown(VK_DOWN);
  EXPECT_EQ(grid->row(), 4);
  for (int i = 0; i < 8; ++i) grid->KeyDown(VK_UP);
  EXPECT_EQ(grid->row(), 0);
  // A click on the name column moves the row only; the editor stands over
  // the current cell with its text.
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre(1, 0));
  EXPECT_EQ(grid->row(), 1);
  EXPECT_EQ(grid->column(), 3);
  CEditInplace* ed = grid->editor();
  EXPECT_TRUE(ed->isVisible());
  EXPECT_EQ(ed->geometry(), grid->visualRect(grid->model()->index(1, 3)).adjusted(1, 1, -1, -1));
  // A number key on the list hands the cell to the editor, all selected.
  grid->setFocus();
  TypeKey(grid, Qt::Key_7, "7");
  EXPECT_EQ(ed->text(), "13");  // the key itself is not typed
  EXPECT_EQ(ed->selectedText(), "13");
  QTest::keyClicks(ed, "1a2.5");  // the cell editor drops the letter
  TypeKey(ed, Qt::Key_Return, "\r");
  QApplication::processEvents();
  EXPECT_EQ(grid->GetItemText(1, 3), "12.5");
  const auto edits = page->Of(WM_LIST_EDIT);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].wParam, MakeWParam(1, 3));
  EXPECT_EQ(*edits[0].number, 12.5);
  // Esc writes nothing; Down from the editor moves the current cell.
  ed->setText("99");
  TypeKey(ed, Qt::Key_Escape, "\x1b");
  TypeKey(ed, Qt::Key_Down);
  EXPECT_EQ(grid->row(), 2);
  EXPECT_EQ(grid->GetItemText(1, 3), "12.5");
  QApplication::processEvents();
  EXPECT_EQ(page->Of(WM_LIST_EDIT).size(), 1u);
}

}  // namespace
