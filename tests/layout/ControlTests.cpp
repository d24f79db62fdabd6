// Controls made from layout blocks, their values by type, the number edit,
// the line-number margin, the browse edit and the page base.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTextBlock>
#include <QToolButton>
#include <QTreeWidget>

#include "GuiUtil.h"
#include "viewer/layout/ListCtrls.h"
#include "viewer/pages/DlgCodeEdit.h"

using namespace ravik;
using namespace layouttest;

namespace {

std::u16string Ctrl(const std::u16string& keys) { return u"ctrl={\n" + keys + u"\n}\n"; }

TEST(LayoutControls, EveryTypeMakesItsWindowWithItsStyleAndInitialState) {
  ExeFolder exe("types");
  const std::u16string ctrls =
      Ctrl(u"type=edit,\nname=e,\nid=101,\nvalue=3.5,\nanychar=1") +
      Ctrl(u"type=edit,\nname=ro,\nid=102,\nreadonly=1") +
      Ctrl(u"type=checkbox,\nname=k1,\nid=103,\nlblname=Check,\nvalue=1 ") +
      Ctrl(u"type=checkbox,\nname=k2,\nid=104,\nvalue=01") + Ctrl(u"type=spin,\nname=s,\nid=105") +
      Ctrl(u"type=label,\nname=l,\nid=106,\nlblname=Hello") +
      Ctrl(u"type=combobox,\nname=c5,\nid=107,\ncbstrings=a b c,\nvalue=5") +
      Ctrl(u"type=combobox,\nname=c1,\nid=108,\ncbstrings=a b c,\nvalue=1") +
      Ctrl(u"type=button,\nname=b,\nid=109,\nlblname=Go") +
      Ctrl(u"type=radio,\nname=r,\nid=110,\nlblname=R,\nvalue=1") +
      Ctrl(u"type=mfcbutton,\nname=m,\nid=111,\nlblname=Menu,\nvalue=1") +
      Ctrl(u"type=editbrowse,\nname=eb,\nid=112,\nvalue=/start") + Ctrl(u"type=tree,\nname=t,\nid=113") +
      Ctrl(u"type=SysListView32,\nname=owner,\nid=114,\nreadonly=1,\ncbstrings=A B,\ncw=0.5 0.5") +
      Ctrl(u"type=listedited,\nname=le,\nid=115,\ncbstrings=A B,\ncw=0.5 0.5") +
      Ctrl(u"type=richedit,\nname=re,\nid=116") + Ctrl(u"type=mfcshelllist,\nname=sl,\nid=117") +
      Ctrl(u"type=mfcshelltree,\nname=st,\nid=118") + Ctrl(u"type=SysListView32,\nname=bare,\nid=119");
  auto page = MakePage(exe, "types.dlgc",
                       OneBand(ctrls, u"ctrl_h=0.8,\ncol=4,\ncol_ratio=0.25 0.25 0.25 0.25,\nratio=1,\nlbl_align=2\n"),
                       800, 600);
  CLayoutProp& l = *page->layout();
  auto wnd = [&](const char16_t* name) { return l.FindWndByName(name); };

  auto* e = qobject_cast<CNumEdit*>(wnd(u"e"));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->text(), "3.5");
  EXPECT_EQ(e->anyChar(), 1);
  EXPECT_EQ(CtrlId(e), 101);
  EXPECT_EQ(WindowStyle(e), 0x50810084u);
  EXPECT_EQ(l.FindCtrlByName(u"e").style, 2u);  // the band's bits stay for an edit
  auto* ro = qobject_cast<CNumEdit*>(wnd(u"ro"));
  ASSERT_NE(ro, nullptr);
  EXPECT_TRUE(ro->isReadOnly());
  EXPECT_EQ(WindowStyle(ro), 0x50810884u);

  auto* k1 = qobject_cast<QCheckBox*>(wnd(u"k1"));
  auto* k2 = qobject_cast<QCheckBox*>(wnd(u"k2"));
  ASSERT_TRUE(k1 && k2);
  EXPECT_TRUE(k1->isChecked());  // "1 " is trimmed when read
  EXPECT_FALSE(k2->isChecked());  // "01" is not "1"
  EXPECT_EQ(k1->text(), "Check");
  EXPECT_EQ(WindowStyle(k1), 0x50010003u);
  EXPECT_NE(qobject_cast<QSpinBox*>(wnd(u"s")), nullptr);
  EXPECT_EQ(WindowStyle(wnd(u"s")), 0x50010026u);

  auto* label = qobject_cast<QLabel*>(wnd(u"l"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Hello");
  EXPECT_EQ(WindowStyle(label), 0x50000202u);
  EXPECT_TRUE(label->alignment() & Qt::AlignRight);

  auto* c5 = qobject_cast<QComboBox*>(wnd(u"c5"));
  auto* c1 = qobject_cast<QComboBox*>(wnd(u"c1"));
  ASSERT_TRUE(c5 && c1);
  EXPECT_EQ(c5->count(), 3);
  EXPECT_EQ(c5->currentIndex(), -1);  // 5 lies outside three items
  EXPECT_EQ(c1->currentText(), "b");

  auto* b = qobject_cast<QPushButton*>(wnd(u"b"));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->text(), "Go");
  auto* r = qobject_cast<QRadioButton*>(wnd(u"r"));
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(r->isChecked());
  EXPECT_EQ(WindowStyle(r), 0x50010009u);

  auto* m = qobject_cast<QToolButton*>(wnd(u"m"));
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->isChecked());
  ASSERT_NE(m->menu(), nullptr);
  ASSERT_EQ(m->menu()->actions().size(), 1);
  EXPECT_EQ(m->menu()->actions()[0]->text(), QStringLiteral("设置"));

  auto* eb = qobject_cast<CEditBrowse*>(wnd(u"eb"));
  ASSERT_NE(eb, nullptr);
  EXPECT_EQ(eb->text(), "/start");
  EXPECT_TRUE(eb->edit()->isReadOnly());
  EXPECT_NE(qobject_cast<QTreeWidget*>(wnd(u"t")), nullptr);

  auto* owner = qobject_cast<CListCtrlEx*>(wnd(u"owner"));
  ASSERT_NE(owner, nullptr);
  EXPECT_TRUE(owner->IsOwnerData());
  EXPECT_EQ(WindowStyle(owner), 0x56811009u);
  EXPECT_EQ(owner->GetExtendedStyle() & 0x21u, 0x21u);
  EXPECT_EQ(owner->GetColumnCount(), 2);
  auto* le = qobject_cast<CListCtrlEdited*>(wnd(u"le"));
  ASSERT_NE(le, nullptr);
  EXPECT_EQ(WindowStyle(le), 0x56810409u);
  EXPECT_EQ(le->GetColumnCount(), 2);
  auto* re = qobject_cast<CXRichEdit*>(wnd(u"re"));
  ASSERT_NE(re, nullptr);
  EXPECT_EQ(WindowStyle(re), 0x50311184u);
  ASSERT_NE(wnd(u"sl"), nullptr);
  EXPECT_EQ(WindowStyle(wnd(u"sl")), 0x50910009u);
  ASSERT_NE(wnd(u"st"), nullptr);
  EXPECT_EQ(WindowStyle(wnd(u"st")), 0x50B10023u);

  // No "cbstrings": one column with an empty title and width 0.
  auto* bare = qobject_cast<CListCtrlEx*>(wnd(u"bare"));
  ASSERT_NE(bare, nullptr);
  ASSERT_EQ(bare->GetColumnCount(), 1);
  EXPECT_EQ(bare->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "");
  EXPECT_EQ(bare->columnWidth(0), 0);
  EXPECT_FALSE(bare->IsOwnerData());

  // Nothing of this name: the shared empty record, never null.
  EXPECT_EQ(l.FindCtrlByName(u"nothing").GetWnd(), nullptr);
  EXPECT_EQ(l.FindWndByName(u"nothing"), nullptr);
  EXPECT_EQ(l.FindCtrlByWnd(page.get()).GetWnd(), nullptr);
}

TEST(LayoutControls, LabelsControlsAndGroupBoxGoWhereTheBandPutsThem) {
  ExeFolder exe("placement");
  // Page 400 x 300: one band 2..300; rows of 149, controls 119 high placed
  // 15 down; labels 200 wide.
  auto page = MakePage(exe, "place.dlgc",
                       OneBand(Ctrl(u"type=edit,\nname=a,\nlbl=1,\nlblname=First") + Ctrl(u"type=edit,\nname=b"),
                               u"ctrl_h=0.8,\nlbl_w=0.5,\ncol=1,\ncol_ratio=1,\nratio=1,\nmargin=0\n"),
                       400, 300);
  const CDlgCtrls& a = page->layout()->FindCtrlByName(u"a");
  ASSERT_TRUE(a.label);
  EXPECT_EQ(a.label->text(), "First");
  EXPECT_EQ(CtrlId(a.label), 2000);
  EXPECT_EQ(a.label->geometry(), QRect(0, 17, 200, 119));
  EXPECT_EQ(a.GetWnd()->geometry(), QRect(200, 17, 200, 119));
  EXPECT_EQ(page->layout()->FindWndByName(u"b")->geometry(), QRect(0, 166, 400, 119));
  EXPECT_EQ(a.band, 0);

  ExeFolder exe2("groupbox");
  auto boxed = MakePage(exe2, "box.dlgc",
                        OneBand(Ctrl(u"type=edit,\nname=a"),
                                u"ctrl_h=1,\ncol=1,\ncol_ratio=1,\nratio=1,\nmargin=0.3,\nname=Group\n"),
                        400, 300);
  QGroupBox* box = boxed->layout()->layouts()[0].groupBox;
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->title(), "Group");
  EXPECT_EQ(CtrlId(box), 5001);
  EXPECT_EQ(box->geometry(), QRect(40, 2, 320, 298));  // inset by 120 / 3
}

TEST(LayoutControls, CheckBoxesOfAllPagesShareOneRunningNumber) {
  ExeFolder exe("numbers");
  const int first = CDlgCheckBox::CreatedCount();
  auto one = MakePage(exe, "one.dlgc", OneBand(Ctrl(u"type=checkbox,\nname=a") + Ctrl(u"type=checkbox,\nname=b")));
  auto two = MakePage(exe, "two.dlgc", OneBand(Ctrl(u"type=checkbox,\nname=c")));
  EXPECT_EQ(one->layout()->FindCtrlByName(u"a").GetNumber(), first);
  EXPECT_EQ(one->layout()->FindCtrlByName(u"b").GetNumber(), first + 1);
  EXPECT_EQ(two->layout()->FindCtrlByName(u"c").GetNumber(), first + 2);
  EXPECT_EQ(one->layout()->FindCtrlByName(u"missing").GetNumber(), 0);
}

class CustomComboLayout : public CLayoutProp {
 public:
  explicit CustomComboLayout(std::string_view file) : CLayoutProp(file, DeferLoad{}) { Load(); }
  std::unique_ptr<CDlgCtrls> CreateCustomCombobox() override { return std::make_unique<CDlgCtrlsCombobox>(); }
};

TEST(LayoutControls, TheCustomComboNeedsTheHookAndUnknownTypesAreSkipped) {
  ExeFolder exe("custom");
  const std::u16string text = OneBand(Ctrl(u"type=combobox_customized,\nname=cc,\ncbstrings=x y,\nvalue=0") +
                                      Ctrl(u"type=gadget,\nname=g") + Ctrl(u"type=edit,\nname=e"));
  exe.Layout("custom.dlgc", text);
  CLayoutProp plain("custom.dlgc");
  EXPECT_EQ(plain.layouts()[0].controls.size(), 1u);
  CustomComboLayout hooked("custom.dlgc");
  ASSERT_EQ(hooked.layouts()[0].controls.size(), 2u);
  EXPECT_EQ(hooked.GetComboSelections(u"combobox"), (std::map<std::string, std::string>{{"cc", "x"}}));
}

TEST(LayoutControls, ValuesAreReadAndSetByType) {
  ExeFolder exe("values");
  const std::u16string band1 = u"layout={\ngrid={\nctrl_h=0.8,\ncol=1,\ncol_ratio=1,\nratio=0.5\n}\n" +
                               Ctrl(u"type=edit,\nname=e1,\nvalue=1.5") + Ctrl(u"type=edit,\nname=e2,\nvalue=x") +
                               Ctrl(u"type=combobox,\nname=c1,\nid=21,\ncbstrings=mm inch,\nvalue=1") +
                               Ctrl(u"type=combobox,\nname=c2,\ncbstrings=mm inch,\nvalue=7") +
                               Ctrl(u"type=checkbox,\nname=k1,\nid=22,\nvalue=1") +
                               Ctrl(u"type=checkbox,\nname=k2,\nid=23,\nvalue=0") +
                               Ctrl(u"type=radio,\nname=r1,\nid=24,\nvalue=1") + u"}\n";
  const std::u16string band2 = u"layout={\ngrid={\nctrl_h=0.8,\ncol=1,\ncol_ratio=1,\nratio=0.5\n}\n" +
                               Ctrl(u"type=radio,\nname=r2,\nid=25,\nvalue=0") + u"}\n";
  auto page = MakePage(exe, "values.dlgc", u"layoutprop={\nname=V\n}\n" + band1 + band2, 400, 600);
  CLayoutProp& l = *page->layout();
  EXPECT_EQ(l.GetValueMap(u"edit"), (std::map<std::u16string, std::u16string>{{u"e1", u"1.5"}, {u"e2", u"x"}}));
  EXPECT_EQ(l.GetValues(u"combobox"), (std::vector<std::u16string>{u"1", u"7"}));
  EXPECT_EQ(l.GetFlags(u"checkbox"), (std::vector<bool>{true, false}));
  // The second box's selection lies outside its list: left out.
  EXPECT_EQ(l.GetComboSelections(u"combo"), (std::map<std::string, std::string>{{"c1", "inch"}}));

  QWidget* k1 = l.FindWndByName(u"k1");
  l.SetChecks(u"checkbox", true, k1);
  EXPECT_TRUE(qobject_cast<QCheckBox*>(l.FindWndByName(u"k2"))->isChecked());
  EXPECT_EQ(l.FindCtrlByName(u"k2").value, u"1");
  l.SetChecks(u"checkbox", false, l.FindWndByName(u"k2"));
  EXPECT_FALSE(qobject_cast<QCheckBox*>(k1)->isChecked());
  EXPECT_EQ(l.FindCtrlByName(u"k1").value, u"0");

  l.EnableByType(false, u"edit");
  l.EnableByType(false, u"combo");  // the type must match exactly
  EXPECT_FALSE(l.FindWndByName(u"e1")->isEnabled());
  EXPECT_FALSE(l.FindWndByName(u"e2")->isEnabled());
  EXPECT_TRUE(l.FindWndByName(u"c1")->isEnabled());
  l.EnableByType(true, u"edit");
  EXPECT_TRUE(l.FindWndByName(u"e1")->isEnabled());

  // A radio button clicked: every other radio of the page, in every band, is
  // unchecked and records "0"; the page sees the new value already.
  auto* r2 = qobject_cast<QRadioButton*>(l.FindWndByName(u"r2"));
  QTest::mouseClick(r2, Qt::LeftButton, {}, QPoint(8, r2->height() / 2));
  EXPECT_TRUE(r2->isChecked());
  EXPECT_FALSE(qobject_cast<QRadioButton*>(l.FindWndByName(u"r1"))->isChecked());
  EXPECT_EQ(l.FindCtrlByName(u"r1").value, u"0");
  EXPECT_EQ(l.FindCtrlByName(u"r2").value, u"1");
  auto commands = page->Of(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, 25u);
  EXPECT_EQ(commands[0].source, r2);
  EXPECT_EQ(commands[0].valueSeen, u"1");
  // Clicking it again keeps it checked.
  QTest::mouseClick(r2, Qt::LeftButton, {}, QPoint(8, r2->height() / 2));
  EXPECT_TRUE(r2->isChecked());

  // A check box clicked records its state.
  QTest::mouseClick(k1, Qt::LeftButton, {}, QPoint(8, k1->height() / 2));
  EXPECT_EQ(l.FindCtrlByName(u"k1").value, u"1");
  // A combo box choice records the index of the selection.
  auto* c1 = qobject_cast<QComboBox*>(l.FindWndByName(u"c1"));
  c1->setCurrentIndex(0);
  emit c1->activated(0);
  EXPECT_EQ(l.FindCtrlByName(u"c1").value, u"0");
  EXPECT_EQ(page->Of(WM_COMMAND).back().wParam, MakeWParam(21, CBN_SELCHANGE));
  // Refill puts every item back and selects the last.
  l.FindCtrlByName(u"c1").cbstrings = {u"a", u"b", u"c"};
  l.FindCtrlByName(u"c1").Refill();
  EXPECT_EQ(c1->count(), 3);
  EXPECT_EQ(c1->currentIndex(), 2);
  EXPECT_EQ(l.FindCtrlByName(u"c1").value, u"2");
}

TEST(LayoutControls, TheNumberEditFiltersCharactersAndReportsEveryKey) {
  ExeFolder exe("numedit");
  auto page = MakePage(exe, "num.dlgc",
                       OneBand(Ctrl(u"type=edit,\nname=num,\nvalue=") + Ctrl(u"type=edit,\nname=any,\nanychar=1")));
  auto* num = qobject_cast<CNumEdit*>(page->layout()->FindWndByName(u"num"));
  auto* any = qobject_cast<CNumEdit*>(page->layout()->FindWndByName(u"any"));
  ASSERT_TRUE(num && any);
  TypeKey(num, Qt::Key_1, "1");
  TypeKey(num, Qt::Key_A, "a");
  TypeKey(num, Qt::Key_2, "2");
  TypeKey(num, Qt::Key_Period, ".");
  TypeKey(num, Qt::Key_Minus, "-");
  TypeKey(num, Qt::Key_Plus, "+");
  EXPECT_EQ(num->text(), "12.-");
  const auto chars = page->Of(WM_CHAR);
  ASSERT_EQ(chars.size(), 6u);  // the dropped characters are reported too
  for (const SeenMsg& c : chars) {
    EXPECT_EQ(c.wParam, 0u);
    EXPECT_EQ(c.source, num);
    EXPECT_EQ(c.lParam, reinterpret_cast<std::intptr_t>(num));
  }
  EXPECT_EQ(chars[1].valueSeen, u"1");     // after 'a': unchanged
  EXPECT_EQ(chars[2].valueSeen, u"12");    // the layout had the value first
  EXPECT_EQ(page->Of(WM_KEYUP).size(), 6u);
  EXPECT_EQ(page->layout()->FindCtrlByName(u"num").value, u"12.-");

  TypeKey(any, Qt::Key_A, "a");
  EXPECT_EQ(any->text(), "a");

  // Backspace is a number-edit character; Delete changes the text without one.
  TypeKey(num, Qt::Key_Backspace, "\b");
  EXPECT_EQ(page->layout()->FindCtrlByName(u"num").value, u"12.");
  num->setCursorPosition(0);
  TypeKey(num, Qt::Key_Delete);
  EXPECT_EQ(page->layout()->FindCtrlByName(u"num").value, u"2.");

  // Emptied, the edit is marked red; a character clears the mark.
  num->selectAll();
  TypeKey(num, Qt::Key_Backspace, "\b");
  EXPECT_EQ(num->text(), "");
  EXPECT_EQ(num->errorHighlight(), 1);
  EXPECT_EQ(num->palette().color(QPalette::Base), QColor(255, 0, 0));
  TypeKey(num, Qt::Key_5, "5");
  EXPECT_EQ(num->errorHighlight(), 0);
  // With marking off in the edit, an empty text leaves it unmarked.
  num->setMarkEmpty(false);
  num->selectAll();
  TypeKey(num, Qt::Key_Backspace, "\b");
  EXPECT_EQ(num->errorHighlight(), 0);
}

TEST(LayoutControls, AClickInTheMarginMarksTheCaretLineAndTellsThePage) {
  ExeFolder exe("gutter");
  auto page = MakePage(exe, "rich.dlgc", OneBand(Ctrl(u"type=richedit,\nname=re,\nid=1050"),
                                                 u"ctrl_h=1,\ncol=1,\ncol_ratio=1,\nratio=1\n"));
  auto* re = qobject_cast<CXRichEdit*>(page->layout()->FindWndByName(u"re"));
  ASSERT_NE(re, nullptr);
  EXPECT_EQ(re->gutterWidth(), 0);  // no margin before it is set up
  EXPECT_FALSE(re->gutter()->isVisible());
  re->SetCodeText("G0 X1\nG1 X2\nG1 X3\nG1 X4\n");
  re->SetupGutter(re->fontMetrics().lineSpacing());
  QApplication::processEvents();
  ASSERT_GT(re->gutterWidth(), 0);
  EXPECT_TRUE(re->gutter()->isVisible());
  auto yOf = [&](int line) {
    for (int y = 0; y < re->gutter()->height(); ++y)
      if (re->LineAtY(y) == line) return y + 2;
    return -1;
  };
  const int y3 = yOf(3), y2 = yOf(2), y4 = yOf(4);
  ASSERT_GT(y3, 0);
  QTest::mouseClick(re->gutter(), Qt::LeftButton, {}, QPoint(5, y3));
  auto ups = page->Of(WM_LBUTTONUP);
  ASSERT_EQ(ups.size(), 1u);
  EXPECT_EQ(ups[0].wParam, 3u);
  EXPECT_EQ(ups[0].lParam, 0);
  EXPECT_EQ(re->selectedLine(), 3);
  // Pressed on line 2 and let go over line 4: the caret's line counts.
  QTest::mousePress(re->gutter(), Qt::LeftButton, {}, QPoint(5, y2));
  QTest::mouseRelease(re->gutter(), Qt::LeftButton, {}, QPoint(5, y4));
  ups = page->Of(WM_LBUTTONUP);
  ASSERT_EQ(ups.size(), 2u);
  EXPECT_EQ(ups[1].wParam, 2u);
  EXPECT_EQ(re->textCursor().blockNumber(), 1);
  EXPECT_GT(re->visibleLines(), 0);
}

TEST(LayoutControls, TheBrowseEditTellsItsParentWhenBrowsingEnds) {
  ExeFolder exe("browse");
  RecordingSeam seam;
  seam.folder = "/chosen";
  SetUiSeam(&seam);
  auto page = MakePage(exe, "browse.dlgc", OneBand(Ctrl(u"type=editbrowse,\nname=f,\nvalue=/start")));
  auto* eb = qobject_cast<CEditBrowse*>(page->layout()->FindWndByName(u"f"));
  ASSERT_NE(eb, nullptr);
  eb->resize(200, 24);
  QTest::mouseClick(eb->button(), Qt::LeftButton);
  EXPECT_EQ(seam.lastStart, "/start");
  EXPECT_EQ(eb->text(), "/chosen");
  ASSERT_EQ(page->Of(WM_BROWSE_DONE).size(), 1u);
  // Cancelled: the text stays, the parent is told all the same.
  seam.folder.clear();
  eb->Browse();
  EXPECT_EQ(eb->text(), "/chosen");
  EXPECT_EQ(page->Of(WM_BROWSE_DONE).size(), 2u);
  SetUiSeam(nullptr);
}

TEST(LayoutControls, TheMenuButtonsItemSendsTheControlsCommand) {
  ExeFolder exe("menubutton");
  auto page = MakePage(exe, "mb.dlgc", OneBand(Ctrl(u"type=mfcbutton,\nname=m,\nid=1010,\nlblname=Opt")));
  auto* m = qobject_cast<QToolButton*>(page->layout()->FindWndByName(u"m"));
  ASSERT_NE(m, nullptr);
  m->menu()->actions()[0]->trigger();
  ASSERT_EQ(page->Of(WM_COMMAND).size(), 1u);
  EXPECT_EQ(page->Of(WM_COMMAND)[0].wParam, 1010u);
}

// ------------------------------------------------------------ page base

TEST(PageBase, EnterAndEscapeNeverCloseAPage) {
  ExeFolder exe("keys");
  auto page = MakePage(exe, "keys.dlgc", OneBand(Ctrl(u"type=edit,\nname=e")));
  page->suppressOkCancel = true;
  QWidget* e = page->layout()->FindWndByName(u"e");
  TypeKey(e, Qt::Key_Return, "\r");
  TypeKey(e, Qt::Key_Escape, "\x1b");
  TypeKey(page.get(), Qt::Key_Enter, "\r");
  EXPECT_TRUE(page->isVisible());
  page->suppressOkCancel = false;  // even then the page's OK and Cancel do nothing
  TypeKey(page.get(), Qt::Key_Escape, "\x1b");
  TypeKey(page.get(), Qt::Key_Return, "\r");
  EXPECT_TRUE(page->isVisible());
  int ok = 0, cancel = 0;
  for (const SeenMsg& s : page->Of(WM_COMMAND)) {
    ok += s.wParam == CDlgParams::IDOK;
    cancel += s.wParam == CDlgParams::IDCANCEL;
  }
  EXPECT_EQ(ok, 3);
  EXPECT_EQ(cancel, 2);
}

TEST(PageBase, TitleMainListAndItsEditor) {
  ExeFolder exe("mainlist");
  auto plain = MakePage(exe, "plain.dlgc", OneBand(Ctrl(u"type=edit,\nname=e")));
  EXPECT_EQ(plain->GetTitle(), "Test");
  EXPECT_EQ(plain->windowTitle(), "Test");
  EXPECT_EQ(plain->mainList(), nullptr);
  EXPECT_EQ(plain->listEditor(), nullptr);
  EXPECT_FALSE(plain->Create());  // built once

  auto listed = MakePage(exe, "listed.dlgc", OneBand(Ctrl(u"type=SysListView32,\nname=list,\nid=1010,\ncbstrings=A")));
  auto* list = qobject_cast<CListCtrlEx*>(listed->mainList());
  ASSERT_NE(list, nullptr);
  ASSERT_NE(listed->listEditor(), nullptr);
  EXPECT_EQ(CtrlId(listed->listEditor()), 5000);
  EXPECT_FALSE(listed->listEditor()->isVisible());
  EXPECT_EQ(list->editor(), listed->listEditor());
  EXPECT_EQ(listed->listEditor()->parentWidget(), listed.get());
}

TEST(PageBase, AClickOnList1050EmptiesTheMainListAndNoClickFollows) {
  ExeFolder exe("click1050");
  auto page = MakePage(exe, "click.dlgc",
                       OneBand(Ctrl(u"type=SysListView32,\nname=list,\nid=1010,\ncbstrings=A,\ncw=1") +
                               Ctrl(u"type=SysListView32,\nname=other,\nid=1050,\ncbstrings=B,\ncw=1")));
  auto* main = qobject_cast<CListCtrlEx*>(page->mainList());
  auto* other = qobject_cast<CListCtrlEx*>(page->layout()->FindWndByName(u"other"));
  ASSERT_TRUE(main && other);
  for (int r = 0; r < 3; ++r) {
    main->InsertItem(r, QString::number(r));
    other->InsertItem(r, QString::number(r));
  }
  main->SetRowReadOnly(1, true);
  // With rows, the made-up click reaches the page for the main list.
  SendListClick(page.get(), 1010);
  auto clicks = page->Of(WM_NOTIFY);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].notifyCode, NM_CLICK);
  EXPECT_EQ(clicks[0].notifyId, 1010);
  EXPECT_EQ(clicks[0].item, 0);
  page->seen.clear();

  QTest::mouseClick(other->viewport(), Qt::LeftButton, {}, other->visualRect(other->model()->index(1, 0)).center());
  EXPECT_EQ(main->GetItemCount(), 0);
  EXPECT_EQ(other->GetItemCount(), 3);
  int mainClicks = 0;
  for (const SeenMsg& s : page->Of(WM_NOTIFY)) mainClicks += s.notifyCode == NM_CLICK && s.notifyId == 1010;
  EXPECT_EQ(mainClicks, 0);
}

TEST(PageBase, TheCodePageEditsProgramsFromItsLayoutOrWithoutOne) {
  RecordingSeam seam;
  SetUiSeam(&seam);
  {
    ExeFolder exe("codepage");
    exe.Layout("dlg_codeedit.dlgc", OneBand(Ctrl(u"type=richedit,\nname=richedit,\nid=1050"),
                                            u"ctrl_h=1,\ncol=1,\ncol_ratio=1,\nratio=1\n"));
    CDlgCodeEdit page;
    page.Create();
    EXPECT_EQ(page.GetTitle(), "Test");
    EXPECT_EQ(page.editor(), page.layout()->FindWndByName(u"richedit"));
    page.SetCodeText("G0 X1\nG1 X2\n");
    EXPECT_EQ(page.GetCodeText(), "G0 X1\nG1 X2\n");
    EXPECT_FALSE(page.IsModified());
    page.GoToLine(0, 1);
    EXPECT_EQ(page.editor()->selectedLine(), 2);
    EXPECT_GT(page.editor()->gutterWidth(), 0);
  }
  EXPECT_TRUE(seam.texts.empty());
  {
    ExeFolder exe("codepage_missing");
    CDlgCodeEdit page;
    page.Create();
    ASSERT_EQ(seam.texts.size(), 1u);
    EXPECT_EQ(seam.texts[0], "failed to read the file!");
    ASSERT_NE(page.editor(), nullptr);
    page.SetCodeText("M30\n");
    EXPECT_EQ(page.GetCodeText(), "M30\n");
  }
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
  EXPECT_EQ(page->lastClientRect(), QRect(0, 0, 400, 300));
  EXPECT_EQ(e->geometry(), QRect(0, 2, 200, 298));
  page->resize(800, 150);
  QApplication::processEvents();
  EXPECT_EQ(e->geometry(), QRect(0, 1, 400, 149));
  EXPECT_EQ(page->lastClientRect(), QRect(0, 0, 800, 150));
}

}  // namespace
