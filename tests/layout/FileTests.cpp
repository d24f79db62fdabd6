// Layout files: reading, parsing, writing back, the traps of the format,
// malformed files, and the band and grid arithmetic of the engine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "LayoutTestUtil.h"
#include "platform/Text.h"
#include "viewer/TextConv.h"
#include "viewer/layout/Layout.h"
#include "viewer/layout/LayoutFile.h"
#include "viewer/layout/WinMsg.h"

using namespace ravik;
using namespace layouttest;

namespace {

RecordingSeam g_seam;

class LayoutFile : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seam = RecordingSeam();
    SetUiSeam(&g_seam);
  }
  void TearDown() override { SetUiSeam(nullptr); }
};

// What the writer makes of a layout with one band and two controls, worked
// out by hand from the file format (numbers with three decimals, whole
// numbers without, lists with a blank after every item).
const char16_t* kSaved =
    u"layoutprop={\n"
    u"name=Options\n"
    u"}\n"
    u"\n"
    u"layout={\n"
    u"grid={\n"
    u"ctrl_h=0.800,\n"
    u"lbl_w=0.400,\n"
    u"col=2,\n"
    u"col_ratio=0.500 0.500 ,\n"
    u"ratio=1,\n"
    u"margin=0.100,\n"
    u"name=Box,\n"
    u"lbl_align=2\n"
    u"}\n"
    u"\n"
    u"ctrl={\n"
    u"lblname=Least input,\n"
    u"name=Leastinput,\n"
    u"id=1012,\n"
    u"type=edit,\n"
    u"lbl=1,\n"
    u"cbstrings= ,\n"
    u"cnames= ,\n"
    u"cw= ,\n"
    u"value=0.001,\n"
    u"anychar=0,\n"
    u"readonly=0\n"
    u"}\n"
    u"ctrl={\n"
    u"lblname=Unit,\n"
    u"name=unit,\n"
    u"id=1013,\n"
    u"type=combobox,\n"
    u"lbl=1,\n"
    u"cbstrings=mm inch ,\n"
    u"cnames=a b ,\n"
    u"cw=0.5 0.5 ,\n"
    u"value=1,\n"
    u"anychar=1,\n"
    u"readonly=1\n"
    u"}\n"
    u"\n"
    u"}\n"
    u"\n";

TEST_F(LayoutFile, ASavedLayoutReadsBackToTheSameRecordsAndTheSameBytes) {
  ExeFolder exe("roundtrip");
  exe.Layout("dlg_opt.dlgc", kSaved);
  const std::string before = ReadBytes(exe.dir / "dlg_opt.dlgc");
  CLayoutProp layout("dlg_opt.dlgc");
  ASSERT_TRUE(layout.IsComplete());
  EXPECT_EQ(layout.name(), u"Options");
  ASSERT_EQ(layout.layouts().size(), 1u);
  const Layout& band = layout.layouts()[0];
  EXPECT_FLOAT_EQ(band.grid.ctrl_h, 0.8f);
  EXPECT_FLOAT_EQ(band.grid.lbl_w, 0.4f);
  EXPECT_EQ(band.grid.col, 2);
  ASSERT_EQ(band.grid.col_ratio.size(), 2u);  // the trailing blank is trimmed away
  EXPECT_FLOAT_EQ(band.grid.ratio, 1.0f);
  EXPECT_EQ(band.grid.lbl_align, 2);
  EXPECT_EQ(band.grid.name, u"Box");
  ASSERT_EQ(band.controls.size(), 2u);
  const CDlgCtrls& edit = *band.controls[0];
  EXPECT_EQ(edit.lblname, u"Least input");
  EXPECT_EQ(edit.id, 1012);
  EXPECT_TRUE(edit.lbl);
  EXPECT_EQ(edit.cbstrings, std::vector<std::u16string>{u""});
  EXPECT_EQ(edit.value, u"0.001");
  const CDlgCtrls& combo = *band.controls[1];
  EXPECT_EQ(combo.cbstrings, (std::vector<std::u16string>{u"mm", u"inch"}));
  EXPECT_TRUE(combo.anychar);
  EXPECT_TRUE(combo.readonly);
  EXPECT_EQ(combo.GetSelectedCbString(), u"inch");
  EXPECT_EQ(combo.GetCbStringsText(), u"mm inch ");
  EXPECT_NE(dynamic_cast<const CDlgCtrlsCombobox*>(&combo), nullptr);

  ASSERT_TRUE(layout.Save());
  EXPECT_EQ(ReadBytes(exe.dir / "dlg_opt.dlgc"), before);
  // Reading never changed it, and no temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(exe.dir), fs::directory_iterator()), 1);
}

TEST_F(LayoutFile, NumbersAreWrittenWithThreeDecimalsOrAsWholeNumbers) {
  ExeFolder exe("numbers");
  exe.Layout("n.dlgc", u"layoutprop={\nname=N\n}\nlayout={\ngrid={\nctrl_h=-0.25,\nlbl_w=1.9996,\n"
                       u"col_ratio=2.00000001 0.5,\nratio=1.0,\nmargin=0\n}\n}\n");
  CLayoutProp layout("n.dlgc");
  ASSERT_TRUE(layout.IsComplete());
  const std::u16string text = layout.ToText();
  EXPECT_NE(text.find(u"ctrl_h=-0.250,\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"lbl_w=2.000,\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"col_ratio=2 0.500 ,\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"ratio=1,\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"margin=0,\n"), std::u16string::npos);
  EXPECT_NE(text.find(u"col=0,\n"), std::u16string::npos);  // a missing key reads as 0
}

TEST_F(LayoutFile, TrapsOfTheFormat) {
  ExeFolder exe("traps");
  {
    // A blank before "=" makes another name; its nested grid has no layout.
    exe.Layout("a.dlgc", u"layout ={\ngrid={\ncol=3\n}\n}\n");
    CLayoutProp layout("a.dlgc");
    EXPECT_TRUE(layout.layouts().empty());
  }
  {
    // A comma between two blocks starts the next name: ",layout" is no
    // layout, and its grid lands in the layout before it.
    exe.Layout("b.dlgc", u"layout={\ngrid={\ncol=1\n}\n},layout={\ngrid={\ncol=2\n}\n}\n");
    CLayoutProp layout("b.dlgc");
    ASSERT_EQ(layout.layouts().size(), 1u);
    EXPECT_EQ(layout.layouts()[0].grid.col, 2);
  }
  {
    // Keys lose every blank, values keep everything after the first "=";
    // a later key wins; line breaks inside a value join it up again.
    exe.Layout("c.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\nty pe = edit ,\nname=a=b,\nname= x=y ,\n"
                         u"value=12\n34,\nlbl=2\n}\n}\n");
    CLayoutProp layout("c.dlgc");
    ASSERT_EQ(layout.layouts().size(), 1u);
    ASSERT_EQ(layout.layouts()[0].controls.size(), 1u);
    const CDlgCtrls& c = *layout.layouts()[0].controls[0];
    EXPECT_EQ(c.type, u"edit");
    EXPECT_EQ(c.name, u"x=y");
    EXPECT_EQ(c.value, u"1234");
    EXPECT_TRUE(c.lbl);
  }
  {
    // The last line without its CR LF is not read: the closing braces of
    // the layout block are lost, so the layout is only partly read.
    std::string bytes = Utf16File(u"layoutprop={\nname=T\n}\nlayout={\ngrid={\ncol=1\n}\n");
    bytes += Utf16File(u"}").substr(2);
    WriteBytes(exe.dir / "d.dlgc", bytes);
    CLayoutProp layout("d.dlgc");
    EXPECT_EQ(layout.name(), u"T");
    EXPECT_FALSE(layout.IsComplete());
    EXPECT_FALSE(layout.Save());
  }
  {
    // An empty list is one empty item; it is written as a single blank.
    exe.Layout("e.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=label,\ncbstrings=,\ncw=0.5  0.5\n}\n}\n");
    CLayoutProp layout("e.dlgc");
    const CDlgCtrls& c = *layout.layouts()[0].controls[0];
    EXPECT_EQ(c.cbstrings, std::vector<std::u16string>{u""});
    EXPECT_EQ(c.GetCbStringsText(), u" ");
    // Two blanks in a row give an empty item between them.
    EXPECT_EQ(c.cw, (std::vector<std::u16string>{u"0.5", u"", u"0.5"}));
    EXPECT_EQ(SplitTextList(u" "), std::vector<std::u16string>{u""});
  }
  {
    // Flags: "lbl" is a whole number above 0; "anychar" and "readonly" a
    // number of at least 1.
    exe.Layout("f.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=edit,\nlbl=0.9,\nanychar=0.99,\nreadonly=1.5\n}\n}\n");
    CLayoutProp layout("f.dlgc");
    const CDlgCtrls& c = *layout.layouts()[0].controls[0];
    EXPECT_FALSE(c.lbl);
    EXPECT_FALSE(c.anychar);
    EXPECT_TRUE(c.readonly);
  }
}

TEST_F(LayoutFile, TheReaderSkipsTheFirstTwoBytesAndTheUnitAfterEachCr) {
  ExeFolder exe("reader");
  // No byte-order mark at all: the first unit is skipped whatever it is. A
  // lone CR swallows the unit after it.
  std::string bytes;
  for (char16_t c : std::u16string(u"XAB\rYCD\r\nEF")) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  bytes += 'Z';  // an odd last byte is no unit
  WriteBytes(exe.dir / "r.txt", bytes);
  const std::optional<std::u16string> text = ReadUnicodeTextFile(MakeExePath(u"r.txt"));
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, u"AB\nCD\n");
  EXPECT_TRUE(g_seam.texts.empty());
}

TEST_F(LayoutFile, AFileThatCannotBeReadGivesTheMessageAndAnEmptyLayoutThatIsNotSaved) {
  ExeFolder exe("missing");
  CLayoutProp layout("nothing_here.dlgc");
  ASSERT_EQ(g_seam.texts.size(), 1u);
  EXPECT_EQ(g_seam.texts[0], QStringLiteral("failed to read the file!"));
  EXPECT_TRUE(g_seam.captions[0].isEmpty());
  EXPECT_TRUE(layout.layouts().empty());
  EXPECT_TRUE(layout.name().empty());
  EXPECT_FALSE(layout.Save());
  EXPECT_FALSE(fs::exists(exe.dir / "nothing_here.dlgc"));
  EXPECT_EQ(layout.FindCtrlByName(u"list").GetWnd(), nullptr);
}

TEST_F(LayoutFile, MalformedFilesGiveAPartialLayoutAndAreNeverWrittenBack) {
  ExeFolder exe("malformed");
  struct Case {
    const char* file;
    std::u16string text;
    std::size_t layouts;
    std::size_t controls;  // of the first layout
  };
  std::u16string deep;
  for (int i = 0; i < 20000; ++i) deep += u"a={";
  const std::u16string longValue(300, u'v');
  const Case cases[] = {
      {"unclosed.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=edit\n}\n", 0, 0},
      {"nobrace.dlgc", u"layout={\ngrid={\ncol=1\n}\n}\nname=oops\n", 1, 0},
      {"orphan.dlgc", u"ctrl={\ntype=edit,\nname=x\n}\nlayout={\ngrid={\ncol=1\n}\n}\n", 1, 0},
      {"unknown.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=gizmo,\nname=g\n}\nctrl={\ntype=edit\n}\n}\n", 1, 1},
      {"custom.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=combobox_customized\n}\n}\n", 1, 0},
      {"deep.dlgc", deep + u"\n", 0, 0},
      {"long.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=edit,\nvalue=" + longValue + u"\n}\n}\n", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    exe.Layout(c.file, c.text);
    const std::string before = ReadBytes(exe.dir / c.file);
    CLayoutProp layout(c.file);
    EXPECT_FALSE(layout.IsComplete());
    ASSERT_EQ(layout.layouts().size(), c.layouts);
    if (c.layouts) {
      EXPECT_EQ(layout.layouts()[0].controls.size(), c.controls);
    }
    EXPECT_FALSE(layout.Save());
    EXPECT_EQ(ReadBytes(exe.dir / c.file), before);
  }
  // The long value was cut to the 255 characters the format holds.
  CLayoutProp layout("long.dlgc");
  EXPECT_EQ(layout.layouts()[0].controls[0]->value, std::u16string(255, u'v'));
}

TEST_F(LayoutFile, AValueTheFormatCannotHoldIsNotWrittenAndTheFileStays) {
  ExeFolder exe("unwritable");
  exe.Layout("w.dlgc", kSaved);
  const std::string before = ReadBytes(exe.dir / "w.dlgc");
  CLayoutProp layout("w.dlgc");
  ASSERT_TRUE(layout.IsComplete());
  for (const std::u16string& bad : std::vector<std::u16string>{u"C:\\a,b", u"{x}", u"a\rb", u" lead", std::u16string(256, u'x')}) {
    layout.FindCtrlByName(u"Leastinput").value = bad;
    EXPECT_FALSE(layout.Save());
    EXPECT_EQ(ReadBytes(exe.dir / "w.dlgc"), before);
  }
  layout.FindCtrlByName(u"unit").cbstrings = {u"two words"};
  layout.FindCtrlByName(u"Leastinput").value = u"0.5";
  EXPECT_FALSE(layout.Save());
  layout.FindCtrlByName(u"unit").cbstrings = {u"mm", u"inch"};
  ASSERT_TRUE(layout.Save());
  EXPECT_NE(ReadBytes(exe.dir / "w.dlgc"), before);
  CLayoutProp again("w.dlgc");
  EXPECT_EQ(again.FindCtrlByName(u"Leastinput").value, u"0.5");
}

TEST_F(LayoutFile, AFailedWriteReportsFailureAndLeavesWhatWasThere) {
  ExeFolder exe("failedwrite");
  // The target is a folder: the rename over it fails.
  fs::create_directories(exe.dir / "x.dlgc" / "inside");
  EXPECT_FALSE(WriteUnicodeTextFile(MakeExePath(u"x.dlgc"), u"a\n"));
  EXPECT_TRUE(fs::is_directory(exe.dir / "x.dlgc" / "inside"));
  // A folder that does not exist is not created for a layout.
  EXPECT_FALSE(WriteUnicodeTextFile(MakeExePath(u"no/such/y.dlgc"), u"a\n"));
  EXPECT_FALSE(fs::exists(exe.dir / "no"));
  // Text after the last LF is not written.
  ASSERT_TRUE(WriteUnicodeTextFile(MakeExePath(u"z.txt"), u"ab\ncd"));
  EXPECT_EQ(ReadBytes(exe.dir / "z.txt"), std::string("\xFF\xFE" "a\0b\0\r\0\n\0", 10));
  ASSERT_TRUE(WriteNarrowTextFile((exe.dir / "n.txt").string(), "G0\nX1\r\n"));
  EXPECT_EQ(ReadBytes(exe.dir / "n.txt"), "G0\r\nX1\r\r\n");
}

TEST_F(LayoutFile, PathsBesideTheExecutableAndTheFolderTest) {
  ExeFolder exe("paths");
  fs::create_directories(exe.dir / "Code");
  EXPECT_EQ(MakeExePath(u"dlg.dlgc"), plat::Utf8ToWide((exe.dir / "dlg.dlgc").string()));
  EXPECT_EQ(GetExeDir(), plat::Utf8ToWide(exe.dir.string()));
  EXPECT_TRUE(IsFolderOrRoot(MakeExePath(u"code")));  // found without regard to case
  EXPECT_TRUE(IsFolderOrRoot(u"/"));
  EXPECT_FALSE(IsFolderOrRoot(MakeExePath(u"dlg.dlgc")));
  EXPECT_TRUE(MakeExePath(std::u16string(1100, u'a')).empty());
}

TEST_F(LayoutFile, BlockNoticesComeInnerFirstWithPairs) {
  struct Seen {
    std::vector<std::u16string> log;
  } seen;
  auto cb = [](void* owner, const std::u16string& name, const KeyValueMap* pairs) {
    auto* s = static_cast<Seen*>(owner);
    std::u16string entry = (pairs ? u"end " : u"start ") + name;
    if (pairs)
      for (const auto& [k, v] : *pairs) entry += u" [" + k + u"=" + v + u"]";
    s->log.push_back(entry);
  };
  const ParseIssues issues = ParseBraceBlocks(u"a={b={x=1,y}c={}}d={ k = v w ,}", &seen, cb);
  EXPECT_FALSE(issues.Any());
  const std::vector<std::u16string> expected = {
      u"start a",           u"start b", u"end b [x=1] [y=]", u"start c", u"end c [=]",
      u"end a [b={x=1] [y}c={}]", u"start d", u"end d [=] [k=v w]"};
  EXPECT_EQ(seen.log, expected);
}

// ------------------------------------------------------------ engine arithmetic

TEST(LayoutEngine, BandsStackFromTheTopTwoPixelsApart) {
  const std::vector<WRect> bands = StackBands({0.5f, 0.25f, 0.3f}, 300, 400);
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_EQ(bands[0], (WRect{0, 2, 300, 200}));
  EXPECT_EQ(bands[1], (WRect{0, 202, 300, 300}));
  EXPECT_EQ(bands[2], (WRect{0, 302, 300, 420}));  // 400 x 0.3 = 120, truncated
}

TEST(LayoutEngine, SevenControlsInTwoColumnsFillColumnZeroFirst) {
  LayoutGrid g;
  g.ctrl_h = 0.5f;
  g.margin = 0.1f;
  g.col = 2;
  g.col_ratio = {0.5f, 0.5f};
  const BandGeometry b = ComputeBandGeometry(g, std::vector<bool>(7, false), WRect{0, 2, 300, 200});
  // rows 4, row height 198 / 4 = 49, margin 30, control height 24, offset 12,
  // column width 150.
  EXPECT_EQ(b.rows, 4);
  ASSERT_EQ(b.cells.size(), 7u);
  EXPECT_EQ(b.cells[0].control, (WRect{15, 14, 135, 38}));
  EXPECT_EQ(b.cells[3].control, (WRect{15, 161, 135, 185}));
  EXPECT_EQ(b.cells[4].control, (WRect{165, 14, 285, 38}));
  EXPECT_EQ(b.cells[6].control, (WRect{165, 112, 285, 136}));
  EXPECT_FALSE(b.hasGroupBox);
}

TEST(LayoutEngine, ANamedBandLeavesRoomForItsGroupBoxAndLabelsComeFirst) {
  LayoutGrid g;
  g.name = u"Box";
  g.ctrl_h = 0.8f;
  g.lbl_w = 0.4f;
  g.margin = 0.2f;
  g.col = 1;
  g.col_ratio = {1.0f};
  const BandGeometry b = ComputeBandGeometry(g, {true, false}, WRect{0, 202, 300, 300});
  // Inner (5, 220, 295, 300); rows of 40; margin 60; controls 32 high, 4
  // down; column 290 wide; labels (290 - 60) x 0.4 = 92 wide.
  EXPECT_EQ(b.inner, (WRect{5, 220, 295, 300}));
  EXPECT_TRUE(b.cells[0].hasLabel);
  EXPECT_EQ(b.cells[0].label, (WRect{35, 224, 97, 256}));
  EXPECT_EQ(b.cells[0].control, (WRect{127, 224, 265, 256}));
  EXPECT_FALSE(b.cells[1].hasLabel);
  EXPECT_EQ(b.cells[1].control, (WRect{35, 264, 265, 296}));
  ASSERT_TRUE(b.hasGroupBox);
  EXPECT_EQ(b.groupBox, (WRect{20, 202, 280, 300}));
}

TEST(LayoutEngine, BandsTheFormatDoesNotSupportStillGetSoundCells) {
  LayoutGrid g;
  g.name = u"Empty";
  const BandGeometry empty = ComputeBandGeometry(g, {}, WRect{0, 0, 100, 100});
  EXPECT_TRUE(empty.cells.empty());
  EXPECT_TRUE(empty.hasGroupBox);
  // col 0 counts as one column; missing column ratios give zero widths.
  LayoutGrid h;
  h.ctrl_h = 1.0f;
  h.col = 0;
  const BandGeometry b = ComputeBandGeometry(h, {false, false}, WRect{0, 0, 100, 100});
  ASSERT_EQ(b.cells.size(), 2u);
  EXPECT_EQ(b.rows, 2);
  EXPECT_EQ(b.cells[1].control, (WRect{0, 50, 0, 100}));
}

// ------------------------------------------------------------ posted messages

TEST(LayoutMessages, APostedValueIsFreedWhetherOrNotItsReceiverStillExists) {
  struct Receiver : QWidget, CMsgTarget {
    std::intptr_t WindowProc(WndMsg& m) override {
      got = m.number ? *m.number : -1.0;
      return 0;
    }
    double got = 0;
  };
  auto* alive = new Receiver;
  auto* gone = new Receiver;
  WndMsg a;
  a.msg = WM_LIST_EDIT;
  a.number = std::make_unique<double>(12.5);
  PostWndMsg(alive, std::move(a));
  WndMsg b;
  b.msg = WM_LIST_EDIT;
  b.number = std::make_unique<double>(7.0);
  PostWndMsg(gone, std::move(b));
  delete gone;  // its queued message goes with it; the leak check sees no double left
  QCoreApplication::processEvents();
  EXPECT_EQ(alive->got, 12.5);
  delete alive;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
