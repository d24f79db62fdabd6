// Layout files: reading, writing back, the traps of the format, malformed
// and unreadable files, and the band and grid arithmetic of the engine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTableView>
#include <QWidget>

#include "LayoutTestUtil.h"
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
    u"layoutprop={\nname=Options\n}\n\n"
    u"layout={\ngrid={\nctrl_h=0.800,\nlbl_w=0.400,\ncol=2,\ncol_ratio=0.500 0.500 ,\nratio=1,\nmargin=0.100,\n"
    u"name=Box,\nlbl_align=2\n}\n\n"
    u"ctrl={\nlblname=Least input,\nname=Leastinput,\nid=1012,\ntype=edit,\nlbl=1,\ncbstrings= ,\ncnames= ,\ncw= ,\n"
    u"value=0.001,\nanychar=0,\nreadonly=0\n}\n"
    u"ctrl={\nlblname=Unit,\nname=unit,\nid=1013,\ntype=combobox,\nlbl=1,\ncbstrings=mm inch ,\ncnames=a b ,\n"
    u"cw=0.5 0.5 ,\nvalue=1,\nanychar=1,\nreadonly=1\n}\n\n}\n\n";

TEST_F(LayoutFile, ASavedLayoutReadsBackToTheSameRecordsAndTheSameBytes) {
  ExeFolder exe("roundtrip");
  exe.Layout("dlg_opt.dlgc", kSaved);
  const std::string before = ReadBytes(exe.dir / "dlg_opt.dlgc");
  CLayoutProp layout("dlg_opt.dlgc");
  ASSERT_TRUE(layout.IsComplete());
  ASSERT_EQ(layout.layouts().size(), 1u);
  const Layout& band = layout.layouts()[0];
  EXPECT_EQ(band.grid.col_ratio.size(), 2u);  // the trailing blank is trimmed away
  ASSERT_EQ(band.controls.size(), 2u);
  EXPECT_EQ(band.controls[0]->cbstrings, std::vector<std::u16string>{u""});
  const CDlgCtrls& combo = *band.controls[1];
  EXPECT_NE(dynamic_cast<const CDlgCtrlsCombobox*>(&combo), nullptr);
  EXPECT_EQ(combo.GetSelectedCbString(), u"inch");
  // Every other field shows in the bytes written back.

  ASSERT_TRUE(layout.Save());
  EXPECT_EQ(ReadBytes(exe.dir / "dlg_opt.dlgc"), before);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(exe.dir), fs::directory_iterator()), 1);
}

TEST_F(LayoutFile, NumbersAreWrittenWithThreeDecimalsOrAsWholeNumbers) {
  // (The number texts themselves: app TextConversions.)
  ExeFolder exe("numbers");
  exe.Layout("n.dlgc", u"layoutprop={\nname=N\n}\nlayout={\ngrid={\nctrl_h=0.25,\nlbl_w=0.99996,\n"
                       u"col_ratio=0.99999999 0.5,\nratio=1.0\n}\n}\n");
  CLayoutProp layout("n.dlgc");
  ASSERT_TRUE(layout.IsComplete());
  const std::u16string text = layout.ToText();
  for (const char16_t* line : {u"ctrl_h=0.250,\n", u"lbl_w=1.000,\n", u"col_ratio=1 0.500 ,\n", u"ratio=1,\n",
                               u"col=0,\n"})  // a missing key reads as 0
    EXPECT_NE(text.find(line), std::u16string::npos) << FromU16(line).toStdString();
}

// Column shares are written with three decimals, so a list can grow when
// written: one that would then be too long to be read whole (255
// characters) is not written; one that still fits is, and reads back whole.
TEST_F(LayoutFile, ColumnSharesThatGrowTooLongWhenWrittenAreNotSaved) {
  ExeFolder exe("shares");
  auto shares = [](int count, const char16_t* item) {
    std::u16string list;
    for (int i = 0; i < count; ++i) list += (i ? u" " : u"") + std::u16string(item);
    return u"layoutprop={\nname=S\n}\nlayout={\ngrid={\ncol=2,\ncol_ratio=" + list + u",\nratio=1\n}\n}\n";
  };
  const struct {
    int count;
    const char16_t* item;
    bool saved;
  } cases[] = {
      {84, u".5", false},   // 251 characters read, 84 * 6 - 1 = 503 written
      {42, u".5", true},    // 251 written
      {43, u".5", false},   // 257 written
      {128, u"1", true},    // whole numbers keep their length
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " items");
    exe.Layout("s.dlgc", shares(c.count, c.item));
    const std::string before = ReadBytes(exe.dir / "s.dlgc");
    CLayoutProp layout("s.dlgc");
    ASSERT_TRUE(layout.IsComplete());
    EXPECT_EQ(layout.Save(), c.saved);
    if (!c.saved) {
      EXPECT_EQ(ReadBytes(exe.dir / "s.dlgc"), before);
      continue;
    }
    CLayoutProp again("s.dlgc");
    EXPECT_TRUE(again.IsComplete());
    ASSERT_EQ(again.layouts().size(), 1u);
    EXPECT_EQ(again.layouts()[0].grid.col_ratio, layout.layouts()[0].grid.col_ratio);
  }
}

TEST_F(LayoutFile, TrapsOfTheFormat) {
  ExeFolder exe("traps");
  auto read = [&](const std::u16string& text) {
    exe.Layout("t.dlgc", text);
    return std::make_unique<CLayoutProp>("t.dlgc");
  };
  // A blank before "=" makes another name; its nested grid has no layout.
  EXPECT_TRUE(read(u"layout ={\ngrid={\ncol=3\n}\n}\n")->layouts().empty());
  // A comma between two blocks starts the next name: ",layout" is no
  // layout, and its grid lands in the layout before it.
  auto comma = read(u"layout={\ngrid={\ncol=1\n}\n},layout={\ngrid={\ncol=2\n}\n}\n");
  ASSERT_EQ(comma->layouts().size(), 1u);
  EXPECT_EQ(comma->layouts()[0].grid.col, 2);
  {
    // Keys lose every blank, values keep everything after the first "=";
    // a later key wins; line breaks inside a value join it up again. Two
    // blanks in a list give an empty item; an empty list is one empty item.
    auto l = read(u"layout={\ngrid={\ncol=1\n}\nctrl={\nty pe = edit ,\nname=a=b,\nname= x=y ,\nvalue=12\n34,\n"
                  u"cbstrings=,\ncw=0.5  0.5,\nlbl=0.9,\nreadonly=1.5\n}\n}\n");
    ASSERT_EQ(l->layouts().size(), 1u);
    ASSERT_EQ(l->layouts()[0].controls.size(), 1u);
    const CDlgCtrls& c = *l->layouts()[0].controls[0];
    EXPECT_EQ(c.type, u"edit");
    EXPECT_EQ(c.name, u"x=y");
    EXPECT_EQ(c.value, u"1234");
    EXPECT_EQ(c.GetCbStringsText(), u" ");
    EXPECT_EQ(c.cw, (std::vector<std::u16string>{u"0.5", u"", u"0.5"}));
    EXPECT_FALSE(c.lbl);  // a whole number above 0
    EXPECT_TRUE(c.readonly);  // a number of at least 1
  }
  // The last line without its CR LF is not read: the closing brace of the
  // layout block is lost, so the layout is only partly read and not saved.
  std::string bytes = Utf16File(u"layoutprop={\nname=T\n}\nlayout={\ngrid={\ncol=1\n}\n");
  bytes += Utf16File(u"}").substr(2);
  WriteBytes(exe.dir / "d.dlgc", bytes);
  CLayoutProp cut("d.dlgc");
  EXPECT_EQ(cut.name(), u"T");
  EXPECT_FALSE(cut.IsComplete());
  EXPECT_FALSE(cut.Save());
  EXPECT_EQ(ReadBytes(exe.dir / "d.dlgc"), bytes);

  // The reader skips the first unit whatever it is, and a CR swallows the
  // unit after it; an odd last byte is no unit.
  WriteBytes(exe.dir / "r.txt", Utf16File(u"XAB\rYCD\nEF").substr(2) + "Z");
  EXPECT_EQ(ReadUnicodeTextFile(MakeExePath(u"r.txt")), std::u16string(u"AB\nCD\n"));
}

TEST_F(LayoutFile, AFileThatCannotBeReadGivesTheMessageAndAnEmptyLayoutThatIsNotSaved) {
  ExeFolder exe("missing");
  CLayoutProp layout("nothing_here.dlgc");
  // One message (its text: PageBase.APageWhoseLayoutCannotBeRead...), and
  // the notice names the file.
  EXPECT_EQ(g_seam.texts.size(), 1u);
  EXPECT_NE(FromU16(layout.notice()).indexOf(QStringLiteral("nothing_here.dlgc")), -1);
  EXPECT_TRUE(layout.layouts().empty());
  EXPECT_FALSE(layout.Save());
  EXPECT_FALSE(fs::exists(exe.dir / "nothing_here.dlgc"));
  EXPECT_EQ(layout.FindCtrlByName(u"list").GetWnd(), nullptr);  // the empty record, no crash
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
  const Case cases[] = {
      {"unclosed.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=edit\n}\n", 0, 0},
      {"nobrace.dlgc", u"layout={\ngrid={\ncol=1\n}\n}\nname=oops\n", 1, 0},
      {"orphan.dlgc", u"ctrl={\ntype=edit,\nname=x\n}\nlayout={\ngrid={\ncol=1\n}\n}\n", 1, 0},
      {"unknown.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=gizmo,\nname=g\n}\nctrl={\ntype=edit\n}\n}\n", 1, 1},
      {"custom.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=combobox_customized\n}\n}\n", 1, 0},
      {"deep.dlgc", deep + u"\n", 0, 0},
      {"long.dlgc", u"layout={\ngrid={\ncol=1\n}\nctrl={\ntype=edit,\nvalue=" + std::u16string(300, u'v') + u"\n}\n}\n",
       1, 1},
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

// A layout as a text editor may save it: read whole and left as it is.
std::string Utf8Bytes(const std::u16string& text, const std::string& lineEnd) {
  std::string out;
  for (char b : QString::fromStdU16String(text).toUtf8()) {
    if (b == '\n') out += lineEnd;
    else out += b;
  }
  return out;
}

TEST_F(LayoutFile, FilesInOtherEncodingsAreReadWholeAndNeverWritten) {
  ExeFolder exe("encodings");
  // The last line has no line end: a text editor's file is read to its end.
  const std::u16string text = u"layoutprop={\nname=宏变量\n}\nlayout={\ngrid={\nctrl_h=1,\ncol=1,\ncol_ratio=1,\n"
                              u"ratio=1\n}\nctrl={\ntype=edit,\nname=e,\nvalue=3.5\n}\n}";
  struct Case {
    const char* file;
    std::string bytes;
    TextEncoding encoding;
    const char* form;  // how the notice names the file's form
  };
  const Case cases[] = {
      {"lf16.dlgc", Utf16Bytes(text, false, true, u"\n"), TextEncoding::Utf16LeOther, "as UTF-16LE with LF line ends,"},
      {"cr16.dlgc", Utf16Bytes(text, false, true, u"\r"), TextEncoding::Utf16LeOther, "as UTF-16LE with CR line ends,"},
      {"nomark16.dlgc", Utf16Bytes(text, false, false, u"\r\n"), TextEncoding::Utf16LeOther,
       "as UTF-16LE without a byte-order mark,"},
      {"mixed16.dlgc", Utf16Bytes(text, false, true, u"\n") + std::string("\r\0\n\0", 4), TextEncoding::Utf16LeOther,
       "as UTF-16LE with mixed line ends,"},
      {"odd16.dlgc", Utf16Bytes(text, false, true, u"\r\n") + "x", TextEncoding::Utf16LeOther,
       "as UTF-16LE with a stray last byte,"},
      {"be.dlgc", Utf16Bytes(text, true, true, u"\r\n"), TextEncoding::Utf16Be, "as UTF-16BE,"},
      {"benomark.dlgc", Utf16Bytes(text, true, false, u"\n"), TextEncoding::Utf16Be,
       "as UTF-16BE without a byte-order mark, with LF line ends,"},
      {"utf8.dlgc", Utf8Bytes(text, "\n"), TextEncoding::Utf8, "as UTF-8,"},
      {"utf8crlf.dlgc", "\xEF\xBB\xBF" + Utf8Bytes(text, "\r\n"), TextEncoding::Utf8, "as UTF-8 with a byte-order mark,"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WriteBytes(exe.dir / c.file, c.bytes);
    CLayoutProp layout(c.file);
    EXPECT_EQ(layout.encoding(), c.encoding);
    EXPECT_EQ(layout.name(), u"宏变量");
    ASSERT_EQ(layout.layouts().size(), 1u);
    EXPECT_EQ(layout.FindCtrlByName(u"e").value, u"3.5");
    EXPECT_FALSE(layout.IsComplete());
    EXPECT_NE(FromU16(layout.notice()).indexOf(QString::fromLatin1(c.file)), -1);
    EXPECT_TRUE(FromU16(layout.notice()).contains(c.form)) << FromU16(layout.notice()).toStdString();
    // Only a page that writes its layout back is told that it is not.
    EXPECT_TRUE(FromU16(layout.notice(true)).contains("not saved"));
    EXPECT_FALSE(FromU16(layout.notice(false)).contains("not saved"));
    layout.FindCtrlByName(u"e").value = u"4";
    EXPECT_FALSE(layout.Save());
    EXPECT_EQ(ReadBytes(exe.dir / c.file), c.bytes);
  }
  EXPECT_TRUE(g_seam.texts.empty()) << "read files give no message box";
}

TEST_F(LayoutFile, FilesWithoutALayoutAreNeverReplacedByAnEmptyOne) {
  ExeFolder exe("notlayouts");
  const std::string cases[] = {
      "",                                      // empty
      std::string("\xFF\xFE", 2),            // the mark alone
      Utf16File(u"just some words\n"),        // no block at all
      Utf16File(u"other={\nkey=1\n}\n"),    // blocks, none of a layout
      std::string("\x80\x81\xFE\x00\x41", 5),  // no text the reader knows
      std::string("\xC3\x28 invalid UTF-8", 17),
  };
  int n = 0;
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(n);
    const std::string file = "x" + std::to_string(n++) + ".dlgc";
    WriteBytes(exe.dir / file, bytes);
    CLayoutProp layout(file);
    EXPECT_TRUE(layout.layouts().empty());
    EXPECT_FALSE(layout.IsComplete());
    EXPECT_FALSE(layout.Save());
    EXPECT_EQ(ReadBytes(exe.dir / file), bytes);
  }
}

TEST_F(LayoutFile, NumbersOutsideTheirRangeAreBroughtIntoItAndTheFileIsNotWritten) {
  ExeFolder exe("ranges");
  struct Case {
    const char16_t* grid;
    const char16_t* cw;
  };
  const Case cases[] = {
      {u"ctrl_h=1e30,\nlbl_w=1e30,\ncol=1,\ncol_ratio=1e30,\nratio=1e30,\nmargin=1e30", u"0.5 0.5"},
      {u"ctrl_h=-5,\nlbl_w=-1e30,\ncol=-7,\ncol_ratio=-3 -1e999,\nratio=-0.5,\nmargin=-1e30", u"0.5 0.5"},
      {u"ctrl_h=1e999,\nlbl_w=0.5,\ncol=2147483647,\ncol_ratio=1e999,\nratio=1e999,\nmargin=1e999", u"0.5 0.5"},
      {u"ctrl_h=1,\nlbl_w=0,\ncol=1,\ncol_ratio=1,\nratio=1,\nmargin=0", u"1e30 -1e30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FromU16(c.grid).toStdString());
    const std::u16string text = std::u16string(u"layoutprop={\nname=R\n}\nlayout={\ngrid={\n") + c.grid +
                                u"\n}\nctrl={\ntype=edit,\nname=e,\nlbl=1,\nlblname=L\n}\n"
                                u"ctrl={\ntype=SysListView32,\nname=list,\ncbstrings=A B,\ncw=" + c.cw + u"\n}\n}\n";
    exe.Layout("r.dlgc", text);
    const std::string before = ReadBytes(exe.dir / "r.dlgc");
    CLayoutProp layout("r.dlgc");
    ASSERT_EQ(layout.layouts().size(), 1u);
    const LayoutGrid& g = layout.layouts()[0].grid;
    for (float f : {g.ctrl_h, g.lbl_w, g.ratio, g.margin}) {
      EXPECT_GE(f, 0.0f);
      EXPECT_LE(f, 1.0f);
    }
    for (float f : g.col_ratio) EXPECT_TRUE(f >= 0.0f && f <= 1.0f) << f;
    EXPECT_FALSE(layout.IsComplete());
    EXPECT_FALSE(layout.Save());
    EXPECT_EQ(ReadBytes(exe.dir / "r.dlgc"), before);
    // Built on a page, every window lies inside it.
    QWidget page;
    page.resize(400, 300);
    layout.BuildLayouts(page.rect(), &page);
    for (QWidget* w : page.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      EXPECT_TRUE(w->geometry().width() <= 400 && w->geometry().height() <= 300) << w->metaObject()->className();
      EXPECT_TRUE(w->geometry().left() >= 0 && w->geometry().top() >= 0) << w->metaObject()->className();
    }
    auto* list = qobject_cast<QTableView*>(layout.FindWndByName(u"list"));
    ASSERT_NE(list, nullptr);
    for (int k = 0; k < 2; ++k) EXPECT_LE(list->columnWidth(k), 400);
  }
}

TEST_F(LayoutFile, AValueTheFormatCannotHoldIsNotWrittenAndTheFileStays) {
  ExeFolder exe("unwritable");
  exe.Layout("w.dlgc", kSaved);
  const std::string before = ReadBytes(exe.dir / "w.dlgc");
  CLayoutProp layout("w.dlgc");
  for (const std::u16string& bad : {std::u16string(u"C:\\a,b"), std::u16string(u"{x}"), std::u16string(256, u'x')}) {
    layout.FindCtrlByName(u"Leastinput").value = bad;
    EXPECT_FALSE(layout.Save());
    EXPECT_EQ(ReadBytes(exe.dir / "w.dlgc"), before);
  }
  layout.FindCtrlByName(u"Leastinput").value = u"0.5";
  layout.FindCtrlByName(u"unit").cbstrings = {u"two words"};  // a blank inside a list item
  EXPECT_FALSE(layout.Save());
  layout.FindCtrlByName(u"unit").cbstrings = {u"mm", u"inch"};
  ASSERT_TRUE(layout.Save());
  EXPECT_EQ(CLayoutProp("w.dlgc").FindCtrlByName(u"Leastinput").value, u"0.5");
}

TEST_F(LayoutFile, AFailedWriteReportsFailureAndLeavesWhatWasThere) {
  ExeFolder exe("failedwrite");
  // The target is a folder: the rename over it fails.
  fs::create_directories(exe.dir / "x.dlgc" / "inside");
  EXPECT_FALSE(WriteUnicodeTextFile(MakeExePath(u"x.dlgc"), u"a\n"));
  EXPECT_TRUE(fs::is_directory(exe.dir / "x.dlgc" / "inside"));
  EXPECT_TRUE(MakeExePath(std::u16string(1100, u'a')).empty());  // longer than a path may be
  // Text after the last LF is not written.
  ASSERT_TRUE(WriteUnicodeTextFile(MakeExePath(u"z.txt"), u"ab\ncd"));
  EXPECT_EQ(ReadBytes(exe.dir / "z.txt"), std::string("\xFF\xFE" "a\0b\0\r\0\n\0", 10));
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
  // Grids the format does not support still get sound cells: col 0 counts
  // as one column, missing column ratios give zero widths.
  LayoutGrid h;
  h.ctrl_h = 1.0f;
  const BandGeometry z = ComputeBandGeometry(h, {false, false}, WRect{0, 0, 100, 100});
  ASSERT_EQ(z.cells.size(), 2u);
  EXPECT_EQ(z.cells[1].control, (WRect{0, 50, 0, 100}));
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
  auto alive = std::make_unique<Receiver>();
  auto* gone = new Receiver;
  for (Receiver* to : {alive.get(), gone}) {
    WndMsg m;
    m.msg = WM_LIST_EDIT;
    m.number = std::make_unique<double>(to == gone ? 7.0 : 12.5);
    PostWndMsg(to, std::move(m));
  }
  delete gone;  // its queued message goes with it; the leak check sees no double left
  QCoreApplication::processEvents();
  EXPECT_EQ(alive->got, 12.5);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
