// Controls made from layout blocks, their values by type, the number edit,
// the line-number margin, the browse edit and the page base.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QHeaderView>
#include <QPainter>
#include <QRadioButton>
#include <QTextBlock>
#include <QToolButton>

#include "GuiUtil.h"
#include "viewer/layout/ListCtrls.h"
#include "viewer/layout/ShellList.h"
#include "viewer/pages/DataPages.h"
#include "viewer/pages/DlgCodeEdit.h"

using namespace ravik;
using namespace layouttest;

namespace {

std::u16string Ctrl(const std::u16string& keys) { return u"ctrl={\n" + keys + u"\n}\n"; }

TEST(LayoutControls, EveryTypeMakesItsWindowWithItsStyleAndInitialState) {
  ExeFolder exe("types");
  struct Row {
    const char16_t* name;
    const char16_t* keys;
    const char* className;
    std::uint32_t style;  // 0: not checked
  };
  const Row rows[] = {
      {u"e", u"type=edit,\nvalue=3.5,\nanychar=1", "ravik::CNumEdit", 0x50810084u},
      {u"ro", u"type=edit,\nreadonly=1", "ravik::CNumEdit", 0x50810884u},
      {u"k1", u"type=checkbox,\nlblname=Check,\nvalue=1 ", "QCheckBox", 0x50010003u},
      {u"k2", u"type=checkbox,\nvalue=01", "QCheckBox", 0x50010003u},
      {u"s", u"type=spin", "ravik::CUpDown", 0x50010026u},
      {u"l", u"type=label,\nlblname=Hello", "QLabel", 0x50000202u},
      {u"c5", u"type=combobox,\ncbstrings=a b c,\nvalue=5", "QComboBox", 0},
      {u"c1", u"type=combobox,\ncbstrings=a b c,\nvalue=1", "QComboBox", 0},
      {u"b", u"type=button,\nlblname=Go", "QPushButton", 0},
      {u"r", u"type=radio,\nlblname=R,\nvalue=1", "QRadioButton", 0x50010009u},
      {u"m", u"type=mfcbutton,\nlblname=Menu,\nvalue=1", "QToolButton", 0},
      {u"eb", u"type=editbrowse,\nvalue=/start", "ravik::CEditBrowse", 0},
      {u"t", u"type=tree", "QTreeWidget", 0},
      {u"owner", u"type=SysListView32,\nreadonly=1,\ncbstrings=A B,\ncw=0.5 0.5", "ravik::CListCtrlEx", 0x56811009u},
      {u"le", u"type=listedited,\ncbstrings=A B,\ncw=0.5 0.5", "ravik::CListCtrlEdited", 0x56810409u},
      {u"re", u"type=richedit", "ravik::CXRichEdit", 0x50311184u},
      {u"sl", u"type=mfcshelllist", "QWidget", 0x50910009u},
      {u"st", u"type=mfcshelltree", "QWidget", 0x50B10023u},
      {u"bare", u"type=SysListView32", "ravik::CListCtrlEx", 0},
  };
  std::u16string ctrls;
  for (int i = 0; i < std::ssize(rows); ++i)
    ctrls += Ctrl(std::u16string(u"name=") + rows[i].name + u",\nid=" + QString::number(101 + i).toStdU16String() +
                  u",\n" + rows[i].keys);
  auto page = MakePage(exe, "types.dlgc",
                       OneBand(ctrls, u"ctrl_h=0.8,\ncol=4,\ncol_ratio=0.25 0.25 0.25 0.25,\nratio=1,\nlbl_align=2\n"),
                       800, 600);
  CLayoutProp& l = *page->layout();
  for (int i = 0; i < std::ssize(rows); ++i) {
    SCOPED_TRACE(FromU16(rows[i].name).toStdString());
    QWidget* w = l.FindWndByName(rows[i].name);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->inherits(rows[i].className));
    EXPECT_EQ(CtrlId(w), 101 + i);
    EXPECT_TRUE(!rows[i].style || WindowStyle(w) == rows[i].style) << std::hex << WindowStyle(w);
  }
  auto wnd = [&](const char16_t* name) { return l.FindWndByName(name); };
  EXPECT_EQ(qobject_cast<CNumEdit*>(wnd(u"e"))->anyChar(), 1);
  EXPECT_TRUE(qobject_cast<QCheckBox*>(wnd(u"k1"))->isChecked());   // "1 " is trimmed when read
  EXPECT_FALSE(qobject_cast<QCheckBox*>(wnd(u"k2"))->isChecked());  // "01" is not "1"
  EXPECT_TRUE(qobject_cast<QLabel*>(wnd(u"l"))->alignment() & Qt::AlignRight);
  EXPECT_EQ(qobject_cast<QComboBox*>(wnd(u"c5"))->currentIndex(), -1);  // 5 lies outside three items
  EXPECT_EQ(qobject_cast<QComboBox*>(wnd(u"c1"))->currentText(), "b");
  EXPECT_TRUE(qobject_cast<QRadioButton*>(wnd(u"r"))->isChecked());
  EXPECT_EQ(qobject_cast<CEditBrowse*>(wnd(u"eb"))->text(), "/start");
  auto* owner = qobject_cast<CListCtrlEx*>(wnd(u"owner"));
  EXPECT_TRUE(owner->IsOwnerData());
  EXPECT_EQ(owner->GetExtendedStyle() & 0x21u, 0x21u);
  // No "cbstrings": one column with an empty title and width 0.
  auto* bare = qobject_cast<CListCtrlEx*>(wnd(u"bare"));
  ASSERT_EQ(bare->GetColumnCount(), 1);
  EXPECT_EQ(bare->columnWidth(0), 0);
  EXPECT_FALSE(bare->IsOwnerData());
  // The menu button's one item sends the control's command.
  auto* m = qobject_cast<QToolButton*>(wnd(u"m"));
  EXPECT_TRUE(m->isChecked());
  ASSERT_EQ(m->menu()->actions().size(), 1);
  EXPECT_EQ(m->menu()->actions()[0]->text(), QStringLiteral("设置"));
  m->menu()->actions()[0]->trigger();
  ASSERT_EQ(page->Of(WM_COMMAND).size(), 1u);
  EXPECT_EQ(page->Of(WM_COMMAND)[0].wParam, 111u);
  // Nothing of this name: the shared empty record, never null.
  EXPECT_EQ(l.FindCtrlByName(u"nothing").GetWnd(), nullptr);
  EXPECT_EQ(l.FindCtrlByWnd(page.get()).GetWnd(), nullptr);
}

TEST(LayoutControls, LabelsControlsAndGroupBoxGoWhereTheBandPutsThem) {
  ExeFolder exe("placement");
  // Page 400 x 300: one band (0, 2, 400, 300), inside its group box (5, 20,
  // 395, 300); margin 40; rows of 140, controls 112 high placed 14 down;
  // column 390 wide, labels (390 - 40) x 0.5 = 175 wide less half the margin.
  auto page = MakePage(exe, "place.dlgc",
                       OneBand(Ctrl(u"type=edit,\nname=a,\nlbl=1,\nlblname=First") + Ctrl(u"type=edit,\nname=b"),
                               u"ctrl_h=0.8,\nlbl_w=0.5,\ncol=1,\ncol_ratio=1,\nratio=1,\nmargin=0.1,\nname=Group\n"));
  const CDlgCtrls& a = page->layout()->FindCtrlByName(u"a");
  ASSERT_TRUE(a.label);
  EXPECT_EQ(a.label->text(), "First");
  EXPECT_EQ(a.label->geometry(), QRect(25, 34, 155, 112));
  EXPECT_EQ(a.GetWnd()->geometry(), QRect(200, 34, 175, 112));
  EXPECT_EQ(page->layout()->FindWndByName(u"b")->geometry(), QRect(25, 174, 350, 112));
  QGroupBox* box = page->layout()->layouts()[0].groupBox;
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->title(), "Group");
  EXPECT_EQ(box->geometry(), QRect(13, 2, 374, 298));  // inset by 40 / 3
}

TEST(LayoutControls, ValuesAreReadAndSetByType) {
  ExeFolder exe("values");
  const std::u16string grid = u"layout={\ngrid={\nctrl_h=0.8,\ncol=1,\ncol_ratio=1,\nratio=0.5\n}\n";
  const std::u16string band1 = grid + Ctrl(u"type=edit,\nname=e1,\nvalue=1.5") + Ctrl(u"type=edit,\nname=e2,\nvalue=x") +
                               Ctrl(u"type=combobox,\nname=c1,\nid=21,\ncbstrings=mm inch,\nvalue=1") +
                               Ctrl(u"type=combobox,\nname=c2,\ncbstrings=mm inch,\nvalue=7") +
                               Ctrl(u"type=checkbox,\nname=k1,\nid=22,\nvalue=1") +
                               Ctrl(u"type=checkbox,\nname=k2,\nid=23,\nvalue=0") +
                               Ctrl(u"type=radio,\nname=r1,\nid=24,\nvalue=1") + u"}\n";
  const std::u16string band2 = grid + Ctrl(u"type=radio,\nname=r2,\nid=25,\nvalue=0") + u"}\n";
  auto page = MakePage(exe, "values.dlgc", u"layoutprop={\nname=V\n}\n" + band1 + band2, 400, 600);
  CLayoutProp& l = *page->layout();
  EXPECT_EQ(l.GetValueMap(u"edit"), (std::map<std::u16string, std::u16string>{{u"e1", u"1.5"}, {u"e2", u"x"}}));
  EXPECT_EQ(l.GetFlags(u"checkbox"), (std::vector<bool>{true, false}));
  // The second box's selection lies outside its list: left out.
  EXPECT_EQ(l.GetComboSelections(u"combo"), (std::map<std::string, std::string>{{"c1", "inch"}}));

  QWidget* k1 = l.FindWndByName(u"k1");
  l.SetChecks(u"checkbox", false, l.FindWndByName(u"k2"));
  EXPECT_FALSE(qobject_cast<QCheckBox*>(k1)->isChecked());
  EXPECT_EQ(l.FindCtrlByName(u"k1").value, u"0");

  // A radio button clicked: every other radio of the page, in every band, is
  // unchecked and records "0"; the page sees the new value already.
  auto* r2 = qobject_cast<QRadioButton*>(l.FindWndByName(u"r2"));
  QTest::mouseClick(r2, Qt::LeftButton, {}, QPoint(8, r2->height() / 2));
  EXPECT_TRUE(r2->isChecked());
  EXPECT_FALSE(qobject_cast<QRadioButton*>(l.FindWndByName(u"r1"))->isChecked());
  EXPECT_EQ(l.FindCtrlByName(u"r1").value, u"0");
  auto commands = page->Of(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, 25u);
  EXPECT_EQ(commands[0].valueSeen, u"1");
  // A check box clicked records its state; a combo box choice its index.
  QTest::mouseClick(k1, Qt::LeftButton, {}, QPoint(8, k1->height() / 2));
  EXPECT_EQ(l.FindCtrlByName(u"k1").value, u"1");
  auto* c1 = qobject_cast<QComboBox*>(l.FindWndByName(u"c1"));
  c1->setCurrentIndex(0);
  emit c1->activated(0);
  EXPECT_EQ(l.FindCtrlByName(u"c1").value, u"0");
  EXPECT_EQ(page->Of(WM_COMMAND).back().wParam, MakeWParam(21, CBN_SELCHANGE));
}

TEST(LayoutControls, TheNumberEditFiltersCharactersAndReportsEveryKey) {
  ExeFolder exe("numedit");
  auto page = MakePage(exe, "num.dlgc",
                       OneBand(Ctrl(u"type=edit,\nname=num,\nvalue=") + Ctrl(u"type=edit,\nname=any,\nanychar=1")));
  auto* num = qobject_cast<CNumEdit*>(page->layout()->FindWndByName(u"num"));
  auto* any = qobject_cast<CNumEdit*>(page->layout()->FindWndByName(u"any"));
  ASSERT_TRUE(num && any);
  for (auto [key, text] : {std::pair{Qt::Key_1, "1"}, {Qt::Key_A, "a"}, {Qt::Key_2, "2"}, {Qt::Key_Period, "."},
                           {Qt::Key_Minus, "-"}, {Qt::Key_Plus, "+"}})
    TypeKey(num, key, text);
  EXPECT_EQ(num->text(), "12.-");
  const auto chars = page->Of(WM_CHAR);
  ASSERT_EQ(chars.size(), 6u);  // the dropped characters are reported too
  EXPECT_EQ(chars[1].valueSeen, u"1");   // after 'a': unchanged
  EXPECT_EQ(chars[2].valueSeen, u"12");  // the layout had the value first
  EXPECT_EQ(chars[2].lParam, reinterpret_cast<std::intptr_t>(num));
  EXPECT_EQ(page->Of(WM_KEYUP).size(), 6u);
  TypeKey(any, Qt::Key_A, "a");
  EXPECT_EQ(any->text(), "a");

  // Emptied, the edit is marked red; a character clears the mark.
  num->selectAll();
  TypeKey(num, Qt::Key_Backspace, "\b");
  EXPECT_EQ(page->layout()->FindCtrlByName(u"num").value, u"");
  EXPECT_EQ(num->palette().color(QPalette::Base), QColor(255, 0, 0));
  TypeKey(num, Qt::Key_5, "5");
  EXPECT_EQ(num->errorHighlight(), 0);

  // Ctrl+A selects the field's text, so a retype replaces it whole.
  TypeKey(num, Qt::Key_6, "6");
  num->setCursorPosition(1);
  QTest::keyClick(num, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(num->selectedText(), "56");
  TypeKey(num, Qt::Key_7, "7");
  EXPECT_EQ(num->text(), "7");
  EXPECT_EQ(page->layout()->FindCtrlByName(u"num").value, u"7");
}

TEST(LayoutControls, AClickInTheMarginMarksTheCaretLineAndTellsThePage) {
  ExeFolder exe("gutter");
  auto page = MakePage(exe, "rich.dlgc", OneBand(Ctrl(u"type=richedit,\nname=re,\nid=1050"),
                                                 u"ctrl_h=1,\ncol=1,\ncol_ratio=1,\nratio=1\n"));
  auto* re = qobject_cast<CXRichEdit*>(page->layout()->FindWndByName(u"re"));
  ASSERT_NE(re, nullptr);
  re->SetCodeText("G0 X1\nG1 X2\nG1 X3\nG1 X4\n");
  re->SetupGutter(re->fontMetrics().lineSpacing());
  QApplication::processEvents();
  ASSERT_GT(re->gutterWidth(), 0);
  auto yOf = [&](int line) {
    for (int y = 0; y < re->gutter()->height(); ++y)
      if (re->LineAtY(y) == line) return y + 2;
    return -1;
  };
  ASSERT_GT(yOf(3), 0);
  QTest::mouseClick(re->gutter(), Qt::LeftButton, {}, QPoint(5, yOf(3)));
  EXPECT_EQ(re->selectedLine(), 3);
  // Pressed on line 2 and let go over line 4: the caret's line counts.
  QTest::mousePress(re->gutter(), Qt::LeftButton, {}, QPoint(5, yOf(2)));
  QTest::mouseRelease(re->gutter(), Qt::LeftButton, {}, QPoint(5, yOf(4)));
  const auto ups = page->Of(WM_LBUTTONUP);
  ASSERT_EQ(ups.size(), 2u);
  EXPECT_EQ(ups[0].wParam, 3u);
  EXPECT_EQ(ups[1].wParam, 2u);
  EXPECT_EQ(re->textCursor().blockNumber(), 1);
}

TEST(LayoutControls, TheBrowseEditTellsItsParentWhenBrowsingEnds) {
  ExeFolder exe("browse");
  RecordingSeam seam;
  seam.folder = "/chosen";
  SetUiSeam(&seam);
  auto page = MakePage(exe, "browse.dlgc", OneBand(Ctrl(u"type=editbrowse,\nname=f,\nvalue=/start")));
  auto* eb = qobject_cast<CEditBrowse*>(page->layout()->FindWndByName(u"f"));
  ASSERT_NE(eb, nullptr);
  QTest::mouseClick(eb->button(), Qt::LeftButton);
  EXPECT_EQ(seam.lastStart, "/start");
  EXPECT_EQ(eb->text(), "/chosen");
  // Cancelled: the text stays, the parent is told all the same.
  seam.folder.clear();
  eb->Browse();
  EXPECT_EQ(eb->text(), "/chosen");
  EXPECT_EQ(page->Of(WM_BROWSE_DONE).size(), 2u);
  SetUiSeam(nullptr);
}

TEST(LayoutControls, TheMenuButtonAndTheTipTakeTheirImagesFromFiles) {
  ExeFolder exe("images");
  auto page = MakePage(exe, "img0.dlgc", OneBand(Ctrl(u"type=mfcbutton,\nname=m,\nid=7,\nlblname=Menu")));
  // Without the files: the text alone, and a drawn icon for the tip.
  auto* bare = qobject_cast<QToolButton*>(page->layout()->FindWndByName(u"m"));
  ASSERT_NE(bare, nullptr);
  EXPECT_TRUE(bare->icon().isNull());
  CCustomTTCtrl tip(nullptr);
  QImage drawn(32, 32, QImage::Format_ARGB32);
  drawn.fill(Qt::transparent);
  {
    QPainter p(&drawn);
    EXPECT_TRUE(tip.OnDrawIcon(p, drawn.rect(), true));
  }
  EXPECT_NE(drawn.pixel(16, 4), 0u);
  for (const char* name : {"mfcbutton.png", "mfcbutton_checked.png", "tooltip_icon.png"})
    fs::copy_file(fs::path(RAVIK_DATA_DIR) / name, exe.dir / name);
  page = MakePage(exe, "img1.dlgc", OneBand(Ctrl(u"type=mfcbutton,\nname=m,\nid=7,\nlblname=Menu")));
  auto* button = qobject_cast<QToolButton*>(page->layout()->FindWndByName(u"m"));
  ASSERT_NE(button, nullptr);
  ASSERT_FALSE(button->icon().isNull());
  const QImage off = button->icon().pixmap(16, 16, QIcon::Normal, QIcon::Off).toImage();
  const QImage on = button->icon().pixmap(16, 16, QIcon::Normal, QIcon::On).toImage();
  EXPECT_EQ(off, QImage(QString::fromStdString((exe.dir / "mfcbutton.png").string())).convertToFormat(off.format()));
  EXPECT_NE(off, on) << "the checked image differs";
  // The tip draws the file's icon, scaled to its rectangle.
  const QImage file(QString::fromStdString((exe.dir / "tooltip_icon.png").string()));
  QImage fromFile(32, 32, QImage::Format_ARGB32);
  fromFile.fill(Qt::transparent);
  {
    QPainter p(&fromFile);
    EXPECT_TRUE(tip.OnDrawIcon(p, fromFile.rect(), true));
  }
  EXPECT_EQ(fromFile, file.convertToFormat(QImage::Format_ARGB32));
  // Asked for no icon, it draws nothing.
  QImage none(32, 32, QImage::Format_ARGB32);
  none.fill(Qt::transparent);
  {
    QPainter p(&none);
    EXPECT_TRUE(tip.OnDrawIcon(p, none.rect(), false));
  }
  EXPECT_EQ(none.pixel(16, 16), 0u);
}

TEST(LayoutControls, ASpinIsPairedWithTheEditBeforeIt) {
  ExeFolder exe("spin");
  auto page = MakePage(exe, "spin.dlgc",
                       OneBand(Ctrl(u"type=edit,\nname=count,\nvalue=7,\nlbl=1,\nlblname=&Count") +
                                   Ctrl(u"type=spin,\nname=s") + Ctrl(u"type=label,\nname=l,\nlblname=x") +
                                   Ctrl(u"type=spin,\nname=lone"),
                               u"ctrl_h=0.8,\ncol=1,\ncol_ratio=1,\nratio=1,\nlbl_w=0.3\n"));
  CLayoutProp& l = *page->layout();
  auto* edit = qobject_cast<QLineEdit*>(l.FindWndByName(u"count"));
  auto* spin = qobject_cast<CUpDown*>(l.FindWndByName(u"s"));
  ASSERT_TRUE(edit && spin);
  EXPECT_EQ(dynamic_cast<CDlgSpin&>(l.FindCtrlByName(u"s")).buddy.data(), edit);
  EXPECT_EQ(dynamic_cast<CDlgSpin&>(l.FindCtrlByName(u"lone")).buddy.data(), nullptr) << "a label stands before it";
  EXPECT_EQ(spin->value(), 7);
  // Arrows only: the number shows once, in the buddy edit.
  EXPECT_TRUE(spin->findChildren<QLineEdit*>().isEmpty());
  EXPECT_EQ(spin->findChildren<QToolButton*>().size(), 2);
  QTest::mouseClick(spin->upButton(), Qt::LeftButton);
  EXPECT_EQ(edit->text(), "8");
  EXPECT_EQ(l.FindCtrlByName(u"count").value, u"8") << "the layout's value follows";
  QTest::keyClicks(edit, "0");
  EXPECT_EQ(spin->value(), 80);
  // The edit's label leads to it.
  EXPECT_EQ(l.FindCtrlByName(u"count").label->buddy(), edit);
}

TEST(LayoutControls, TheShellListAndListsTakeTheExtendedListStyles) {
  ExeFolder exe("exstyle");
  auto page = MakePage(exe, "ex.dlgc", OneBand(Ctrl(u"type=mfcshelllist,\nname=sl")));
  auto* shell = qobject_cast<QTreeView*>(page->layout()->FindWndByName(u"sl"));
  ASSERT_NE(shell, nullptr);
  EXPECT_EQ(shell->property("exStyle").toUInt(), 0x21u);
  EXPECT_EQ(shell->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_TRUE(shell->allColumnsShowFocus());

  CListCtrlEx list(page.get());
  list.InsertColumn(0, "A", 0, 50);
  list.InsertColumn(1, "B", 0, 50);
  for (int r = 0; r < 4; ++r) list.InsertItem(r, QString::number(r));
  list.resize(200, 200);
  list.show();
  list.SetExtendedStyle(LVS_EX_TRACKSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_ONECLICKACTIVATE);
  EXPECT_FALSE(list.showGrid());
  EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectItems);
  EXPECT_TRUE(list.horizontalHeader()->sectionsMovable());
  QApplication::processEvents();
  const QPoint cell2 = list.visualRect(list.model()->index(2, 1)).center();
  QTest::mouseMove(list.viewport(), cell2);
  QMouseEvent move(QEvent::MouseMove, cell2, list.viewport()->mapToGlobal(cell2), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &move);
  EXPECT_EQ(list.currentIndex().row(), 2) << "the row under the mouse";
  int activated = 0;
  QObject::connect(&list, &QAbstractItemView::activated, &list, [&] { ++activated; });
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.model()->index(1, 0)).center());
  EXPECT_EQ(activated, 1) << "one click activates";
  list.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  EXPECT_TRUE(list.showGrid());
  EXPECT_FALSE(list.horizontalHeader()->sectionsMovable());
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.model()->index(1, 0)).center());
  EXPECT_EQ(activated, 1);
}

// ------------------------------------------------------------ page base

TEST(PageBase, EnterAndEscapeNeverCloseAPage) {
  ExeFolder exe("keys");
  auto page = MakePage(exe, "keys.dlgc", OneBand(Ctrl(u"type=edit,\nname=e")));
  QWidget* e = page->layout()->FindWndByName(u"e");
  for (bool suppress : {true, false}) {
    page->suppressOkCancel = suppress;  // either way the page's OK and Cancel do nothing
    TypeKey(e, Qt::Key_Return, "\r");
    TypeKey(page.get(), Qt::Key_Escape, "\x1b");
    TypeKey(page.get(), Qt::Key_Enter, "\r");
    EXPECT_TRUE(page->isVisible());
  }
  int ok = 0, cancel = 0;
  for (const SeenMsg& s : page->Of(WM_COMMAND)) {
    ok += s.wParam == CDlgParams::IDOK;
    cancel += s.wParam == CDlgParams::IDCANCEL;
  }
  EXPECT_EQ(ok, 4);
  EXPECT_EQ(cancel, 2);
}

TEST(PageBase, APageWhoseLayoutCannotBeReadNamesTheFileKeepsItsTitleAndStillHasAnEditor) {
  RecordingSeam seam;
  SetUiSeam(&seam);
  {
    ExeFolder exe("codepage_missing");
    CDlgCodeEdit page;
    page.resize(600, 400);
    page.Create();
    ASSERT_EQ(seam.texts.size(), 1u);
    EXPECT_TRUE(seam.texts[0].startsWith("failed to read the file!"));
    EXPECT_TRUE(seam.texts[0].contains(QString::fromStdString((exe.dir / "dlg_codeedit.dlgc").string())));
    EXPECT_EQ(page.GetTitle(), "Code");
    ASSERT_NE(page.layoutNotice(), nullptr);
    EXPECT_TRUE(qobject_cast<QLabel*>(page.layoutNotice())->text().contains("dlg_codeedit.dlgc"));
    ASSERT_NE(page.editor(), nullptr);
    EXPECT_FALSE(page.editor()->geometry().intersects(page.layoutNotice()->geometry()));
    EXPECT_GT(page.editor()->height(), 200);
    page.SetCodeText("M30\n");
    EXPECT_EQ(page.GetCodeText(), "M30\n");
  }
  {
    // A layout in another encoding is read, and its page says it is not written.
    seam.texts.clear();
    ExeFolder exe("page_utf8");
    WriteBytes(exe.dir / "u.dlgc", "layoutprop={\nname=Utf8\n}\nlayout={\ngrid={\nctrl_h=1,\ncol=1,\ncol_ratio=1,\n"
                                   "ratio=0.5\n}\nctrl={\ntype=edit,\nname=e\n}\n}\n");
    TestPage page(new CLayoutProp("u.dlgc"));
    page.resize(400, 300);
    page.Create();
    EXPECT_TRUE(seam.texts.empty());
    EXPECT_EQ(page.GetTitle(), "Utf8");
    EXPECT_NE(page.layout()->FindWndByName(u"e"), nullptr);
    ASSERT_NE(page.layoutNotice(), nullptr);
    EXPECT_TRUE(qobject_cast<QLabel*>(page.layoutNotice())->text().contains("UTF-8"));
  }
  SetUiSeam(nullptr);
}

TEST(PageBase, OnExitTheCodePageLeavesALayoutItCouldNotWriteBackAsItWas) {
  // The code page writes its layout back when it goes (the folder shown);
  // a file in another form, or one that is no layout, stays byte for byte.
  RecordingSeam seam;
  SetUiSeam(&seam);
  const std::string utf8 =
      "layoutprop={\nname=Code\n}\nlayout={\ngrid={\nctrl_h=1,\ncol=2,\ncol_ratio=0.5 0.5,\nratio=0.5\n}\n"
      "ctrl={\ntype=mfcshelltree,\nname=tree,\nid=1010\n}\nctrl={\ntype=mfcshelllist,\nname=shelllist,\nid=1011\n}\n}\n";
  for (const std::string& bytes : {utf8, std::string("not a layout at all\n"), std::string()}) {
    ExeFolder exe("codepage_exit");
    WriteBytes(exe.dir / "dlg_codeedit.dlgc", bytes);
    {
      CDlgCodeEdit page;
      page.resize(600, 400);
      page.Create();
      EXPECT_EQ(page.GetTitle(), "Code");
    }
    EXPECT_EQ(ReadBytes(exe.dir / "dlg_codeedit.dlgc"), bytes);
  }
  {
    // The options page writes its layout back whenever it goes: a file an
    // editor saved with LF line ends alone is read whole and left as it is,
    // never replaced by an empty layout.
    ExeFolder exe("options_exit");
    const std::string lf = Utf16Bytes(u"layoutprop={\nname=Options\n}\nlayout={\ngrid={\nctrl_h=0.8,\ncol=1,\n"
                                      u"col_ratio=1,\nratio=0.3\n}\nctrl={\ntype=edit,\nname=Leastinput,\nid=1012,\n"
                                      u"value=0.001\n}\n}\n",
                                      false, true, u"\n");
    WriteBytes(exe.dir / "dlg_codeoptions.dlgc", lf);
    {
      CDlgCodeOptions page;
      page.resize(600, 400);
      page.Create();
      EXPECT_EQ(page.GetTitle(), "Options");
      EXPECT_NE(page.layout()->FindWndByName(u"Leastinput"), nullptr) << "read whole";
    }
    EXPECT_EQ(ReadBytes(exe.dir / "dlg_codeoptions.dlgc"), lf);
  }
  SetUiSeam(nullptr);
}

TEST(PageBase, TheCodePagesStandInEditorNeverCoversTheControlsThatWereBuilt) {
  // The editor's band is missing: the tree, the list and the buttons stand,
  // the stand-in editor takes the room below them.
  RecordingSeam seam;
  SetUiSeam(&seam);
  ExeFolder exe("codepage_partial");
  exe.Layout("dlg_codeedit.dlgc",
             u"layoutprop={\nname=Code\n}\nlayout={\ngrid={\nctrl_h=1,\ncol=2,\ncol_ratio=0.35 0.65,\nratio=0.3\n}\n" +
                 Ctrl(u"type=mfcshelltree,\nname=tree,\nid=1010") + Ctrl(u"type=mfcshelllist,\nname=shelllist,\nid=1011") +
                 u"}\nlayout={\ngrid={\nctrl_h=0.8,\ncol=2,\ncol_ratio=0.5 0.5,\nratio=0.1\n}\n" +
                 Ctrl(u"type=button,\nname=open,\nid=901,\nlblname=Open") +
                 Ctrl(u"type=button,\nname=parse,\nid=900,\nlblname=Parse") + u"}\nlayout={\ngrid={\nratio=0.5\n}\n}\n");
  CDlgCodeEdit page;
  page.resize(600, 400);
  page.Create();
  page.show();
  QApplication::processEvents();
  ASSERT_NE(page.editor(), nullptr);
  for (const char16_t* name : {u"tree", u"shelllist", u"open", u"parse"}) {
    QWidget* w = page.layout()->FindWndByName(name);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(page.editor()->geometry().intersects(w->geometry())) << FromU16(name).toStdString();
  }
  EXPECT_GE(page.editor()->geometry().top(), page.layout()->FindWndByName(u"open")->geometry().bottom());
  EXPECT_GT(page.editor()->height(), 150);
  // It keeps to its room when the page is resized.
  page.resize(900, 700);
  QApplication::processEvents();
  EXPECT_FALSE(page.editor()->geometry().intersects(page.layout()->FindWndByName(u"open")->geometry()));
  SetUiSeam(nullptr);
}

TEST(PageBase, ResizingScalesTheChildrenAndZeroSizesAreIgnored) {
  ExeFolder exe("resize");
  QWidget holder;
  holder.resize(1000, 800);
  holder.show();
  auto page = MakePage(exe, "resize.dlgc", OneBand(Ctrl(u"type=edit,\nname=e"),
                                                   u"ctrl_h=1,\ncol=1,\ncol_ratio=0.5,\nratio=1,\nmargin=0\n"),
                       400, 300, &holder);
  QWidget* e = page->layout()->FindWndByName(u"e");
  EXPECT_EQ(e->geometry(), QRect(0, 2, 200, 298));
  page->resize(0, 300);
  QApplication::processEvents();
  EXPECT_EQ(e->geometry(), QRect(0, 2, 200, 298));
  page->resize(800, 150);
  QApplication::processEvents();
  EXPECT_EQ(e->geometry(), QRect(0, 1, 400, 149));
}

}  // namespace
