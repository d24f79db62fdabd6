// The seven tab pages in the real main window (Xvfb): filled from the
// library after a load, cell edits reaching the library's tables (and
// refused while the loader is in the library), the code editor's commands,
// the shell list, every list readable in both languages, and the layout
// files that ship.
//
// Each test runs the viewer in a stand-in executable folder whose data
// tables are written here byte by byte, so the expected cell texts are
// worked out from those bytes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QTest>
#include <QTextBlock>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <thread>

#include "mod_gcode/export/Quillet.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "viewer/CommandStore.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/Locks.h"
#include "viewer/RavikApp.h"
#include "viewer/RavikDlg.h"
#include "viewer/Styling.h"
#include "viewer/TextConv.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/ListCtrls.h"
#include "viewer/layout/ShellList.h"
#include "viewer/pages/DataPages.h"
#include "viewer/pages/DlgCodeEdit.h"

namespace fs = std::filesystem;
using namespace ravik;

namespace {

fs::path g_realExe;

class TestSeam : public UiSeam {
 public:
  void Message(QWidget*, const QString&, const QString& text, Icon) override { messages.push_back(text); }
  Answer Question(QWidget*, const QString&, const QString& text, bool withCancel) override {
    questions.push_back(text);
    if (answers.empty()) return withCancel ? Answer::Cancel : Answer::No;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  QString OpenFileName(QWidget*, const QString&) override { return openPath; }
  QString SaveFileName(QWidget*, const QString&) override { return {}; }
  std::vector<QString> messages, questions;
  std::deque<Answer> answers;
  QString openPath;
};
TestSeam g_seam;

std::string ReadAll(const fs::path& p) { return plat::ReadFileBytes(p.string()).value_or(""); }
void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
std::string Doubles(const std::vector<double>& v) {
  return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(double));
}

void SlowRecord() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }

// A library text read under the library lock (empty when it is busy).
QString LibStr(unsigned kind, int row, int col) {
  QString s;
  WithLibrary([&] { s = FromU16(Code_GetDataStr(&kind, &row, &col)); }, std::chrono::milliseconds(2000));
  return s;
}
// A library value read under the library lock (-1 when it is busy).
double LibValue(unsigned kind, int row, int col) {
  double v = -1;
  WithLibrary([&] { v = Code_GetDataValue(&kind, &row, &col); }, std::chrono::milliseconds(2000));
  return v;
}

// The program of the editor tests: one block per line, so that line n is
// executed block n (block 0 is the preamble).
const char* kSquare = "O1234\r\nG90 G54 G00 X0 Y0 F100\r\nG01 X10.\r\nG01 Y10.\r\nG01 X0\r\n#1=5.5\r\nM30\r\n";

class Pages : public ::testing::Test {
 protected:
  QLineEdit* IncrementEdit();
  void SetUp() override {
    g_seam = TestSeam();
    SetAppendHook(nullptr);
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');  // a parameterised test's name
    exe = fs::temp_directory_path() / ("ravik_pages_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(exe);
    fs::create_directories(exe / "fanuc");
    // The layout files as committed (the ones beside the executable keep
    // what other runs saved into them).
    for (const auto& e : fs::directory_iterator(RAVIK_DATA_DIR))
      if (e.path().filename().string().rfind("dlg_", 0) == 0) fs::copy_file(e.path(), exe / e.path().filename());
    for (const char* name : {"language", "coderule", "vertexShader.glsl", "fragmentShader.glsl"})
      fs::copy(g_realExe / name, exe / name, fs::copy_options::recursive);
    // Tool offsets: row 3 holds 1.5, 0.25, 10, -0.5.
    std::vector<double> offsets(401 * 4, 0.0);
    offsets[12] = 1.5, offsets[13] = 0.25, offsets[14] = 10.0, offsets[15] = -0.5;
    WriteBytes(exe / "fanuc" / "offset.dat", Doubles(offsets));
    // Work offsets: Ext X = 0.125, G55 = (100, -25.5, 3).
    std::vector<double> zero(7 * 3, 0.0);
    zero[0] = 0.125, zero[6] = 100.0, zero[7] = -25.5, zero[8] = 3.0;
    WriteBytes(exe / "fanuc" / "partzero.dat", Doubles(zero));
    // Variables #0 to #5399: #100 = 12.5 (common), #5221 = -7.25 (system).
    std::string vars;
    for (int i = 0; i < 5400; ++i)
      vars += i == 100 ? "12.5 2\r\n" : i == 5221 ? "-7.25 3\r\n" : i >= 4000 ? "0 3\r\n" : "0 0\r\n";
    WriteBytes(exe / "fanuc" / "variables.txt", vars);
    // The folder the code page starts in.
    fs::create_directories(exe / "code" / "sub");
    WriteBytes(exe / "code" / "a.CNC", "O1\r\nG00 X5. Y5.\r\nM30\r\n");
    WriteBytes(exe / "code" / "b.nc", kSquare);
    WriteBytes(exe / "code" / "c.doc", "not a program");
    WriteBytes(exe / "code" / "readme", "notes");
    plat::SetExeDirOverride(exe.string());
  }
  void TearDown() override {
    SetAppendHook(nullptr);
    if (main) {
      g_seam.answers.clear();
      main->close();
      main.reset();
    }
    plat::SetExeDirOverride("");
    fs::remove_all(exe);
  }

  void Start() {
    main = std::make_unique<CRavikDlg>();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return main->render()->view()->glReady(); }, 5000));
  }
  CDlgRender* render() const { return main->render(); }
  template <class T>
  T* page(int index) const {
    return dynamic_cast<T*>(main->pages().at(static_cast<std::size_t>(index)));
  }
  CDlgCodeEdit* code() const { return page<CDlgCodeEdit>(0); }
  CListCtrlEx* list(int index) const {
    return qobject_cast<CListCtrlEx*>(main->pages().at(static_cast<std::size_t>(index))->mainList());
  }
  void Open(const fs::path& file) {
    g_seam.openPath = QString::fromStdString(file.string());
    render()->OnOpenNcFile();
    ASSERT_TRUE(WaitLoader());
  }
  bool WaitLoader(int ms = 20000) {
    if (!render()->loaderRunning()) return true;
    QSignalSpy spy(render(), &CDlgRender::loadFinished);
    return spy.wait(ms) || !render()->loaderRunning();
  }
  // Edits a cell through the list's editor and Enter, then lets the posted
  // 1034 arrive.
  void EditCell(CListCtrlEx* l, int row, int column, const QString& text) {
    ASSERT_TRUE(l);
    ASSERT_EQ(l->StartEdit(row, column), 1);
    auto* editor = qobject_cast<QLineEdit*>(l->editor());
    ASSERT_TRUE(editor);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
  }

  std::unique_ptr<CRavikDlg> main;
  fs::path exe;
};

// ------------------------------------------------------------ layout files

TEST(LayoutFiles, AllFourteenAreWellFormedAndCarryThePagesControls) {
  struct Expect {
    const char* file;
    std::vector<std::pair<const char16_t*, int>> controls;  // name, id
    const char* title;
    const char16_t* titleCn;
  };
  const Expect pages[] = {
      {"dlg_codeedit", {{u"tree", 1010}, {u"shelllist", 1011}, {u"richedit", 1050}, {u"parse", 900},
                        {u"open", 901}, {u"save", 902}, {u"saveas", 903}, {u"skipon", 904}, {u"skipoff", 905}},
       "Code", u"程序"},
      {"dlg_codetable", {{u"list", 1010}}, "Code rules", u"代码规则"},
      {"dlg_codecmd", {{u"list", 1010}}, "Commands", u"执行指令"},
      {"dlg_codeoffset", {{u"list", 1010}}, "Tool offsets", u"刀具补偿"},
      {"dlg_codepartzero", {{u"list", 1010}}, "Work offsets", u"工件坐标系"},
      {"dlg_codeoptions", {{u"ignoredecimal", 1010}, {u"leastincrement", 1011}, {u"Leastinput", 1012}}, "Options",
       u"选项"},
      {"dlg_codevariables", {{u"list", 1010}, {u"list1", 1011}, {u"list2", 1012}, {u"list3", 1013}}, "Variables",
       u"宏变量"}};
  // The files as committed.
  plat::SetExeDirOverride(RAVIK_DATA_DIR);
  for (const Expect& p : pages)
    for (const char* suffix : {"", "_cn"}) {
      const std::string name = std::string(p.file) + suffix + ".dlgc";
      SCOPED_TRACE(name);
      const std::string bytes = ReadAll(fs::path(RAVIK_DATA_DIR) / name);
      ASSERT_EQ(bytes.size() % 2, 0u);
      EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));
      EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\r\0\n\0", 4)) << "last line ended";
      bool chinese = false, ascii = true;
      for (std::size_t i = 2; i < bytes.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
        const char16_t before = i > 2 ? static_cast<char16_t>(static_cast<unsigned char>(bytes[i - 2])) : u'\n';
        EXPECT_TRUE(c != u'\t' && (c != u'\n' || before == u'\r') && (c != u' ' || before != u'\n')) << "at " << i;
        chinese |= c >= 0x4E00 && c <= 0x9FFF;
        ascii &= c < 0x80;
      }
      EXPECT_EQ(chinese, *suffix != 0);
      EXPECT_EQ(ascii, *suffix == 0);
      CLayoutProp layout(name);
      EXPECT_TRUE(layout.IsComplete());
      EXPECT_EQ(FromU16(layout.name()), *suffix ? QString::fromUtf16(p.titleCn) : QString::fromLatin1(p.title));
      for (const auto& [ctrl, id] : p.controls) EXPECT_EQ(layout.FindCtrlByName(ctrl).id, id) << FromU16(ctrl).toStdString();
      float sum = 0;
      for (const Layout& band : layout.layouts()) sum += band.grid.ratio;
      EXPECT_LE(sum, 1.0f) << "the bands fit the page";
    }
  plat::SetExeDirOverride("");
}

// ------------------------------------------------------------ pages filled

TEST_F(Pages, EveryPageShowsTheLibrarysStateAfterALoad) {
  Start();
  Open(exe / "code" / "b.nc");
  auto expectRow = [](CListCtrlBase* l, int row, const std::vector<QString>& texts) {
    ASSERT_TRUE(l);
    for (int c = 0; c < static_cast<int>(texts.size()); ++c)
      EXPECT_EQ(l->GetItemText(row, c), texts[c]) << "row " << row << ", column " << c;
  };
  main->SelectPage(1);  // code rules, in file order
  ASSERT_GT(list(1)->GetItemCount(), 50);
  expectRow(list(1), 0, {"G00", "GRT", "1", "1", "", "0"});

  main->SelectPage(2);  // commands: owner data over the store
  CListCtrlEx* cmds = list(2);
  const int n = static_cast<int>(Commands().Size());
  ASSERT_GT(n, 4);
  EXPECT_EQ(cmds->GetItemCount(), n);
  EXPECT_TRUE(cmds->model()->rows.empty()) << "no stored rows";
  EXPECT_EQ(cmds->GetItemText(n - 1, 1), "StopAuto");
  EXPECT_EQ(cmds->GetItemText(n, 0), "") << "past the end";
  // The move "G01 X10.", line 3 in the editor's margin: a line
  // interpolation whose X value is 10, listed with the editor's line number.
  int move = 0;
  while (move < n && cmds->GetItemText(move, 1) != "Line Interpolation") ++move;
  expectRow(cmds, move, {"3", "Line Interpolation", "10"});
  EXPECT_EQ(code()->editor()->document()->findBlockByNumber(3 - 1).text(), "G01 X10.");

  main->SelectPage(3);  // tool offsets
  ASSERT_EQ(list(3)->GetItemCount(), 401);
  expectRow(list(3), 3, {"3", "1.500", "0.250", "10", "-0.500"});
  main->SelectPage(4);  // work offsets
  ASSERT_EQ(list(4)->GetItemCount(), 7);
  expectRow(list(4), 0, {"Ext", "0.125"});
  expectRow(list(4), 2, {"G55", "100", "-25.500", "3"});

  main->SelectPage(6);  // variables
  auto* vars = page<CDlgCodeVariables>(6);
  ASSERT_EQ(list(6)->GetItemCount(), 1000);
  EXPECT_EQ(list(6)->GetItemText(1, 1), "5.5") << "#1 of the program, not of the table";
  // #33 is a local variable too: a program's #33 shows in its row.
  WriteBytes(exe / "code" / "locals.nc", "#32=1.5\r\n#33=33.25\r\n#34=2\r\nM30\r\n");
  Open(exe / "code" / "locals.nc");
  main->SelectPage(6);
  for (auto [row, text] : {std::pair{32, "1.5"}, {33, "33.25"}, {34, "2"}})
    EXPECT_EQ(list(6)->GetItemText(row, 1), text) << "#" << row;
  expectRow(list(6), 100, {"#100", "12.5", "Common"});
  expectRow(vars->List(u"list3"), 20, {"#5221", "-7.25", "System"});
}

TEST_F(Pages, TheCommandPageShowsAMillionRecordsWithoutCopyingThem) {
  Start();
  ClearCommandRecords();
  CommandRecord rec;
  rec.kind = 2;
  for (int i = 0; i < 1000000; ++i) {
    rec.line = i;
    rec.values[3] = i * 0.5;
    Commands().Append(rec);
  }
  const auto start = std::chrono::steady_clock::now();
  main->SelectPage(2);
  CListCtrlEx* cmds = list(2);
  cmds->scrollToBottom();
  QApplication::processEvents();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(cmds->GetItemCount(), 1000000);
  EXPECT_TRUE(cmds->model()->rows.empty());
  EXPECT_EQ(cmds->GetItemText(999999, 0), "1000000");  // line index 999999 is line 1,000,000
  EXPECT_EQ(cmds->GetItemText(999999, 5), "499999.500");
  EXPECT_LT(seconds, 2.0);
}

// ------------------------------------------------------------ cell edits

TEST_F(Pages, CellEditsReachTheLibraryAndBadOnesChangeNothing) {
  Start();
  Open(exe / "code" / "b.nc");
  main->SelectPage(3);
  auto* off = list(3);
  EditCell(off, 3, 2, "7.25");
  EXPECT_EQ(LibStr(0, 3, 1), "7.250");
  EXPECT_EQ(off->GetItemText(3, 2), "7.250");
  // Text that is not a number, whole: nothing is written, the cell is restored.
  for (const char* bad : {"1-2", "", "-"}) {
    EditCell(off, 3, 2, bad);
    EXPECT_EQ(LibStr(0, 3, 1), "7.250") << bad;
    EXPECT_EQ(off->GetItemText(3, 2), "7.250") << bad;
  }
  // Cells beyond the table (messages no list of this page sends).
  for (std::uintptr_t cell : {MakeWParam(401, 1), MakeWParam(0, 5)}) {
    WndMsg m;
    m.msg = WM_LIST_EDIT;
    m.wParam = cell;
    m.number = std::make_unique<double>(9.0);
    m.text = "9";
    m.source = off;
    SendWndMsg(main->pages()[3], m);
  }
  EXPECT_EQ(LibStr(0, 0, 0), "0");
  EXPECT_TRUE(g_seam.messages.empty());

  // Z of G55 is table 1, row 2, column 2.
  main->SelectPage(4);
  EditCell(list(4), 2, 3, "-4.5");
  EXPECT_EQ(LibStr(1, 2, 2), "-4.500");
  EXPECT_EQ(LibStr(1, 2, 1), "-25.500");

  // A variable of "list": the row is the variable number; the other lists
  // are not edited.
  main->SelectPage(6);
  EditCell(list(6), 150, 1, "3.5");
  EXPECT_EQ(LibStr(3, 150, 0), "3.5");
  // #0 to #33 show the program's locals: no editor opens on them, and a
  // stray edit message writes nothing to the table.
  auto* vars = list(6);
  for (int row : {0, 1, 32, 33}) EXPECT_EQ(vars->StartEdit(row, 1), 0) << row;
  EXPECT_EQ(vars->StartEdit(34, 1), 1);
  vars->EndEdit(false);
  WndMsg stray;
  stray.msg = WM_LIST_EDIT;
  stray.wParam = MakeWParam(33, 1);
  stray.number = std::make_unique<double>(9.0);
  stray.text = "9";
  stray.source = vars;
  SendWndMsg(main->pages()[6], stray);
  EXPECT_EQ(LibValue(3, 33, 0), 0.0);
  EXPECT_EQ(qobject_cast<CListCtrlEx*>(page<CDlgCodeVariables>(6)->List(u"list1"))->StartEdit(0, 1), 0);
}

TEST_F(Pages, WhileTheLoaderIsInTheLibraryEditsAreRefusedAndRefreshesWait) {
  Start();
  Open(exe / "code" / "b.nc");
  main->SelectPage(3);
  auto* off = list(3);
  ASSERT_EQ(off->GetItemText(3, 1), "1.500");

  SetAppendHook(&SlowRecord);  // the simulation now takes a while
  g_seam.openPath = QString::fromStdString((exe / "code" / "b.nc").string());
  render()->OnOpenNcFile();
  ASSERT_TRUE(render()->loaderRunning());
  const auto start = std::chrono::steady_clock::now();
  EditCell(off, 3, 1, "99");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // The simulation takes seconds (400 ms a record); the edit's answer comes
  // well before it ends, with room for a sanitizer build on a busy machine.
  EXPECT_LT(seconds, 1.5) << "the interface does not wait for the simulation";
  ASSERT_EQ(g_seam.messages.size(), 1u) << "the refusal is reported";
  EXPECT_TRUE(g_seam.messages[0].startsWith("The value was not changed"));
  EXPECT_EQ(off->GetItemText(3, 1), "1.500") << "the cell shows its old value";

  // A page selected now keeps what it shows and fills when the loader ends.
  main->SelectPage(1);
  auto* rules = page<CDlgCodeTable>(1);
  EXPECT_TRUE(rules->refreshPending());
  EXPECT_EQ(list(1)->GetItemCount(), 0);
  // The options page sends its choice once the loader has left.
  // (shipped: calculator-type input, the increment field disabled).
  main->SelectPage(5);
  auto* options = page<CDlgCodeOptions>(5);
  qobject_cast<QAbstractButton*>(options->layout()->FindWndByName(u"leastincrement"))->click();
  EXPECT_TRUE(options->optionPending());

  SetAppendHook(nullptr);
  ASSERT_TRUE(WaitLoader());
  QApplication::processEvents();
  EXPECT_FALSE(rules->refreshPending());
  EXPECT_GT(list(1)->GetItemCount(), 50);
  EXPECT_FALSE(options->optionPending());
  EXPECT_EQ(LibStr(0, 3, 0), "1.500") << "the refused edit never reached the table";
  EXPECT_DOUBLE_EQ(LibValue(2, -1, -1), 0.001);
}

// ------------------------------------------------------------ code editor

TEST_F(Pages, ALineNumberClickHighlightsItsBlock) {
  Start();
  Open(exe / "code" / "b.nc");
  CXRichEdit* edit = code()->editor();
  ASSERT_TRUE(QTest::qWaitFor([&] { return edit->LineAtY(5) == 1; }, 2000));
  // Line 4 is "G01 Y10.": block 4, the move from (10, 0) to (10, 10).
  QTextBlock line4 = edit->document()->findBlockByNumber(3);
  const int y = edit->cursorRect(QTextCursor(line4)).center().y();
  ASSERT_EQ(edit->LineAtY(y), 4);
  // The program's path lists, taken before the click (an index past the end
  // highlights nothing).
  quillet::PathGroups* groups = nullptr;
  ASSERT_TRUE(WithLibrary([&] {
    unsigned past = 1u << 30;
    groups = Code_SelBlock(&past);
  }, std::chrono::milliseconds(2000)));
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent click(type, QPointF(5, y), edit->gutter()->mapToGlobal(QPointF(5, y)), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(edit->gutter(), &click);
  }
  EXPECT_EQ(edit->selectedLine(), 4);
  const bool ran = WithLibrary([&] {
    ASSERT_TRUE(groups);
    ASSERT_GT(groups->size(), 4u);
    for (std::size_t g = 0; g < groups->size(); ++g)
      for (quillet::CPathPolyline* p : (*groups)[g]) {
        const bool red = p->Style().r == 1.f && p->Style().g == 0.f && p->Style().width == 3.f;
        EXPECT_EQ(red, g == 4) << "group " << g;
      }
    ASSERT_EQ((*groups)[4].size(), 1u);
    const quillet::CPathPolyline* p = (*groups)[4][0];
    EXPECT_NEAR(p->Point(0).x, 10.0, 1e-9);
    EXPECT_NEAR(p->Point(0).y, 0.0, 1e-9);
    EXPECT_NEAR(p->Point(p->PointCount() - 1).y, 10.0, 1e-9);
  }, std::chrono::milliseconds(2000));
  EXPECT_TRUE(ran);
  // Pixels of the margin's mark colour.
  auto redCells = [&] {
    QApplication::processEvents();
    const QImage shot = edit->gutter()->grab().toImage();
    const QRgb mark = ColorFromRef(0xFF0000).rgb();
    int red = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) red += shot.pixel(x, y) == mark;
    return red;
  };
  EXPECT_GT(redCells(), 20) << "line 4 is marked in the margin";
  // The same text parsed again draws its path without a highlighted block:
  // the margin marks no line either.
  code()->RunCommand(CDlgCodeEdit::kCmdParse);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !main->render()->loadInProgress(); }, 5000));
  EXPECT_EQ(edit->selectedLine(), -1);
  EXPECT_EQ(redCells(), 0);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent click(type, QPointF(5, y), edit->gutter()->mapToGlobal(QPointF(5, y)), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(edit->gutter(), &click);
  }
  EXPECT_EQ(edit->selectedLine(), 4);
  EXPECT_GT(redCells(), 20);
  // Another file: its program has no highlighted block, and the margin marks
  // no line.
  Open(exe / "code" / "a.CNC");
  ASSERT_TRUE(QTest::qWaitFor([&] { return edit->document()->firstBlock().text() == "O1"; }, 2000));
  EXPECT_EQ(edit->selectedLine(), -1);
  EXPECT_EQ(redCells(), 0);
}

TEST_F(Pages, EditorCommandsParseMarkAndSave) {
  Start();
  const fs::path file = exe / "code" / "b.nc";
  Open(file);
  CDlgCodeEdit* page = code();
  CXRichEdit* edit = page->editor();

  // Block-skip marks (the saved text below shows them): a selection from
  // inside line 3 to the start of line 4 takes lines 3 and 4.
  QTextCursor sel(edit->document()->findBlockByNumber(2));
  sel.movePosition(QTextCursor::Right);
  sel.setPosition(edit->document()->findBlockByNumber(3).position(), QTextCursor::KeepAnchor);
  edit->setTextCursor(sel);
  QTest::keyClick(edit, Qt::Key_Q, Qt::ControlModifier);
  // A second mark doubles the slash and one removal takes one away.
  edit->setTextCursor(QTextCursor(edit->document()->findBlockByNumber(2)));
  page->RunCommand(CDlgCodeEdit::kCmdAddSkip);
  EXPECT_EQ(edit->document()->findBlockByNumber(2).text(), "//G01 X10.");
  QTest::keyClick(edit, Qt::Key_U, Qt::ControlModifier);

  // Ctrl+G parses the edited text (skipped lines make no moves), not the file.
  QTest::keyClick(edit, Qt::Key_G, Qt::ControlModifier);
  ASSERT_TRUE(WaitLoader());
  int moves = 0;
  for (const CommandRecord& r : Commands().Snapshot()) moves += r.kind == 2;
  EXPECT_EQ(moves, 1) << "only G01 X0 remains";
  EXPECT_TRUE(page->IsModified());
  EXPECT_EQ(ReadAll(file), kSquare) << "parsing never writes the file";

  // Ctrl+S writes the editor's text to the file and the title names it.
  QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(page->IsModified());
  EXPECT_EQ(ReadAll(file).substr(0, 61), "O1234\r\nG90 G54 G00 X0 Y0 F100\r\n/G01 X10.\r\n/G01 Y10.\r\nG01 X0\r\n");
  EXPECT_TRUE(main->windowTitle().endsWith(QString::fromStdString(file.string())));
}

TEST_F(Pages, ALargeProgramReachesTheEditorOffTheInterfaceThread) {
  Start();
  CDlgCodeEdit* page = code();
  QString text;
  for (int i = 0; text.size() <= CXRichEdit::kBackgroundBytes; ++i)
    text += QStringLiteral("N%1 G01 X12.345 Y67.890 Z-1.000\n").arg(i);
  QSignalSpy ready(page, &CDlgCodeEdit::textReady);
  const auto start = std::chrono::steady_clock::now();
  page->SetCodeText(text);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.2);
  // Meanwhile the page answers with the whole text and takes no edits.
  EXPECT_TRUE(page->IsPreparing());
  EXPECT_EQ(page->GetCodeText(), text);
  page->RunCommand(CDlgCodeEdit::kCmdAddSkip);
  EXPECT_FALSE(page->IsModified());
  ASSERT_TRUE(ready.wait(30000));
  EXPECT_EQ(page->editor()->document()->findBlockByNumber(7).text(), "N7 G01 X12.345 Y67.890 Z-1.000");
  EXPECT_FALSE(page->IsModified());
  // Another one replaces it (the earlier document is released).
  page->SetCodeText(text + "M30\n");
  ASSERT_TRUE(ready.wait(30000));
  EXPECT_TRUE(page->GetCodeText().endsWith("Z-1.000\nM30\n"));
}

// ------------------------------------------------------------ options and shell list

// Starts the viewer on the options page with "least increment" chosen and
// returns the increment's field.
QLineEdit* Pages::IncrementEdit() {
  Start();
  main->SelectPage(5);
  auto* options = page<CDlgCodeOptions>(5);
  qobject_cast<QAbstractButton*>(options->layout()->FindWndByName(u"leastincrement"))->click();
  return qobject_cast<QLineEdit*>(options->layout()->FindWndByName(u"Leastinput"));
}

// The options page: a typed increment reaches the library when the edit is
// committed, without a click on a radio button; calculator-type input sends 0.
TEST_F(Pages, ATypedIncrementReachesTheLibraryWhenCommitted) {
  QLineEdit* edit = IncrementEdit();
  ASSERT_TRUE(edit && edit->isEnabled());
  auto* options = page<CDlgCodeOptions>(5);
  for (const char* typed : {"0.001", "0.0001", "0.01"}) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(LibValue(2, -1, -1), plat::ParseDouble(std::string_view(typed))) << typed;
  }
  qobject_cast<QAbstractButton*>(options->layout()->FindWndByName(u"ignoredecimal"))->click();
  EXPECT_EQ(LibValue(2, -1, -1), 0.0);
}

// An increment that is not one number above 0 is refused with its reason:
// the library keeps the last accepted one and the field shows it again.
TEST_F(Pages, TheIncrementRefusesTextsThatAreNotOneNumberAbove0) {
  QLineEdit* edit = IncrementEdit();
  ASSERT_TRUE(edit && edit->isEnabled());
  auto* options = page<CDlgCodeOptions>(5);
  auto type = [&](const char* typed) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
    QApplication::processEvents();
  };
  type("0.01");
  ASSERT_EQ(LibValue(2, -1, -1), 0.01);
  ASSERT_TRUE(g_seam.messages.empty());
  const struct {
    const char* typed;
    const char* reason;
  } refused[] = {{"0", "above 0"}, {"-0.01", "above 0"}, {"0.0010.01", "not one number"}, {"1-2", "not one number"},
                 {"-", "not one number"}, {"", "not one number"}};
  for (const auto& r : refused) {
    g_seam.messages.clear();
    type(r.typed);
    EXPECT_EQ(LibValue(2, -1, -1), 0.01) << r.typed;
    EXPECT_EQ(edit->text(), "0.01") << r.typed;
    EXPECT_EQ(FromU16(options->layout()->FindCtrlByName(u"Leastinput").value), "0.01") << r.typed;
    ASSERT_EQ(g_seam.messages.size(), 1u) << r.typed;
    EXPECT_TRUE(g_seam.messages[0].contains(r.reason)) << g_seam.messages[0].toStdString();
  }
  g_seam.messages.clear();
  type("0.005");
  EXPECT_EQ(LibValue(2, -1, -1), 0.005);
  EXPECT_TRUE(g_seam.messages.empty());
}

// At start-up the folder tree shows the folder the page starts in (the saved
// one, or the executable's folder when that is gone), scrolled into sight
// however deep it lies, not the top of the file system.
TEST_F(Pages, TheFolderTreeStartsScrolledToTheSavedFolder) {
  for (bool gone : {false, true}) {
    if (gone) {
      main->close();
      main.reset();
      fs::remove_all(exe / "code");
    }
    Start();
    CShellTree* tree = code()->tree();
    ASSERT_TRUE(tree);
    const QString folder = QString::fromStdString(gone ? exe.string() : (exe / "code").string());
    EXPECT_EQ(tree->GetSelectedPath(), folder);
    QTest::qWait(1500);  // the folders above it load one by one
    EXPECT_EQ(tree->GetSelectedPath(), folder) << gone;
    const QRect shown = tree->visualRect(tree->currentIndex());
    EXPECT_TRUE(tree->viewport()->rect().intersects(shown)) << shown.y() << " in " << tree->viewport()->height() << " " << gone;
  }
}

TEST_F(Pages, TheShellListShowsNcFilesEntersFoldersAndOpensFiles) {
  Start();
  CDlgCodeEdit* page = code();
  CCustomShellList* shell = page->shellList();
  ASSERT_TRUE(shell);
  ASSERT_TRUE(page->tree());
  ASSERT_TRUE(QTest::qWaitFor([&] { return shell->GetItemCount() == 4; }, 5000)) << shell->GetItemCount();
  for (const char* name : {"a.CNC", "b.nc", "readme", "sub"}) EXPECT_GE(shell->FindItem(name), 0) << name;
  EXPECT_EQ(shell->FindItem("c.doc"), -1);

  // Unsaved edits are asked for first; Cancel opens nothing.
  page->editor()->insertPlainText("G00 X1\n");
  const std::size_t before = Commands().Size();
  g_seam.answers = {UiSeam::Answer::Cancel};
  EXPECT_EQ(shell->DoDefault(shell->FindItem("b.nc")), true);
  EXPECT_EQ(g_seam.questions.size(), 1u);
  EXPECT_EQ(Commands().Size(), before);
  EXPECT_EQ(page->GetCodeText(), "G00 X1\n");

  // Enter on a file (as a double click) opens it, after the question.
  g_seam.answers = {UiSeam::Answer::No};
  shell->setCurrentIndex(shell->model()->index(shell->FindItem("b.nc"), 0, shell->rootIndex()));
  QTest::keyClick(shell, Qt::Key_Return);
  ASSERT_TRUE(WaitLoader());
  EXPECT_EQ(g_seam.questions.size(), 2u);
  EXPECT_TRUE(main->windowTitle().endsWith("b.nc"));
  EXPECT_TRUE(page->GetCodeText().startsWith("O1234\nG90 G54 G00 X0 Y0 F100\n"));
  EXPECT_FALSE(page->IsModified());

  // A folder is entered; nothing is opened and the tree follows.
  const QString sub = QString::fromStdString((exe / "code" / "sub").string());
  EXPECT_TRUE(shell->DoDefault(shell->FindItem("sub")));
  EXPECT_EQ(shell->currentFolder(), sub);
  EXPECT_EQ(page->tree()->GetSelectedPath(), sub);
  WndMsg m;
  m.msg = WM_SHELL_ACTIVATE;
  m.wParam = 0;
  EXPECT_EQ(SendWndMsg(page, m), 0) << "an empty folder has no item 0";

  // The folder shown is where the next run starts.
  main->close();
  main.reset();
  CLayoutProp saved("dlg_codeedit.dlgc");
  EXPECT_EQ(FromU16(saved.FindCtrlByName(u"tree").value), sub);
}

// With a vertical scroll bar the size column still shows "1,021 bytes"
// whole, inside the viewport.
TEST_F(Pages, TheFileListShowsSizesWholeBesideAScrollBar) {
  fs::create_directories(exe / "many");
  for (int i = 0; i < 80; ++i) WriteBytes(exe / "many" / ("p" + std::to_string(i) + ".nc"), std::string(1021, 'x'));
  Start();
  CCustomShellList* shell = code()->shellList();
  ASSERT_TRUE(shell);
  shell->DisplayFolder(QString::fromStdString((exe / "many").string()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return shell->GetItemCount() == 80; }, 5000));
  QApplication::processEvents();
  ASSERT_TRUE(shell->verticalScrollBar()->isVisible());
  const QModelIndex first = shell->model()->index(0, 1, shell->rootIndex());
  EXPECT_EQ(first.data().toString(), FileSizeText(1021));
  EXPECT_TRUE(first.data().toString().endsWith(" bytes"));
  const int need = static_cast<QAbstractItemView*>(shell)->sizeHintForColumn(1);
  EXPECT_GE(shell->columnWidth(1), need);
  EXPECT_LE(shell->columnViewportPosition(1) + shell->columnWidth(1), shell->viewport()->width());
}

// In Chinese, Qt's own texts (the open dialog, the buttons of a question)
// and the viewer's own (file sizes, "File not found") are Chinese.
TEST(Language, ChineseShowsQtsTextsAndTheViewersInChinese) {
  g_seam = TestSeam();
  SetLanguageFlag(0);
  ASSERT_TRUE(ApplyQtTranslations()) << "Qt's translations are installed";
  {
    QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    for (auto [button, english] : {std::pair{QMessageBox::Yes, "&Yes"}, {QMessageBox::No, "&No"}, {QMessageBox::Cancel, "Cancel"}}) {
      const QString text = box.button(button)->text();
      EXPECT_NE(text, english);
      EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4E00; })) << text.toStdString();
    }
    NcFileDialog dialog(nullptr, NcFileFilter(), QFileDialog::AcceptOpen);
    bool chineseButton = false;
    for (auto* b : dialog.findChildren<QPushButton*>()) chineseButton |= b->text().contains(QStringLiteral("打开"));
    EXPECT_TRUE(chineseButton) << "the open dialog's Open button";
    dialog.selectFile(QString::fromStdString((fs::temp_directory_path() / "ravik_no_such_file.nc").string()));
    dialog.accept();
    ASSERT_EQ(g_seam.messages.size(), 1u);
    EXPECT_TRUE(g_seam.messages[0].contains(QStringLiteral("找不到文件"))) << g_seam.messages[0].toStdString();
    EXPECT_FALSE(g_seam.messages[0].contains("File not found"));
  }
  EXPECT_TRUE(FileSizeText(1021).endsWith(QStringLiteral(" 字节")));
  EXPECT_TRUE(FileSizeText(1536).endsWith(QStringLiteral(" 千字节")));
  EXPECT_FALSE(FileSizeText(1536).contains("KiB"));
  SetLanguageFlag(1);
  ASSERT_TRUE(ApplyQtTranslations());
  QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "&Yes");
  EXPECT_EQ(FileSizeText(1536), QLocale::system().toString(1.5, 'f', 2) + " KiB");
}

// ------------------------------------------------------------ layout notice

// The committed layout file (FF FE, UTF-16LE, CR LF) stored another way:
// big-endian, with LF line ends, or without the byte-order mark.
enum class Form { BigEndian, LfOnly, NoMark };
std::string Restored(const std::string& bytes, Form form) {
  std::string out = form == Form::BigEndian ? std::string("\xFE\xFF", 2) : form == Form::LfOnly ? std::string("\xFF\xFE", 2) : "";
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    if (form == Form::LfOnly && bytes[i] == '\r' && bytes[i + 1] == 0) continue;
    if (form == Form::BigEndian) out += {bytes[i + 1], bytes[i]};
    else out += {bytes[i], bytes[i + 1]};
  }
  return out;
}

// A layout file in another form is read and not written back: the page
// says so in a strip of its own below its controls, naming the form as it
// is, and the user can close it, which gives the strip back to the
// controls. A page that never writes its layout does not say that
// anything is not saved.
TEST_F(Pages, TheLayoutNoticeHasRoomOfItsOwnDescribesTheFileAndCloses) {
  const fs::path data = RAVIK_DATA_DIR;
  WriteBytes(exe / "dlg_codeedit.dlgc", Restored(ReadAll(data / "dlg_codeedit.dlgc"), Form::BigEndian));
  WriteBytes(exe / "dlg_codeoffset.dlgc", Restored(ReadAll(data / "dlg_codeoffset.dlgc"), Form::LfOnly));
  WriteBytes(exe / "dlg_codecmd.dlgc", Restored(ReadAll(data / "dlg_codecmd.dlgc"), Form::NoMark));
  Start();
  Open(exe / "code" / "b.nc");
  struct Case {
    int page;
    const char* form;         // how the notice names the file's form
    bool saves;               // the page writes its layout back
  };
  const Case cases[] = {{0, "stored as UTF-16BE,", true}, {3, "stored as UTF-16LE with LF line ends,", false},
                        {2, "stored as UTF-16LE without a byte-order mark,", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    main->SelectPage(c.page);
    QApplication::processEvents();
    CDlgParams* p = main->pages().at(static_cast<std::size_t>(c.page));
    auto* notice = qobject_cast<QLabel*>(p->layoutNotice());
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    const QString text = notice->text();
    EXPECT_TRUE(text.contains(c.form)) << text.toStdString();
    EXPECT_FALSE(text.contains("other line ends")) << text.toStdString();
    EXPECT_EQ(text.contains("not saved"), c.saves) << text.toStdString();
    // The page's main control ends above the notice.
    QWidget* control = c.page == 0 ? static_cast<QWidget*>(code()->editor()) : p->mainList();
    ASSERT_NE(control, nullptr);
    EXPECT_LE(control->geometry().bottom(), notice->geometry().top()) << "the control ends above the notice";
    EXPECT_EQ(notice->geometry().bottom(), p->height() - 1);
  }
  // The tool offsets' last row can be scrolled into sight, clear of the notice.
  main->SelectPage(3);
  CListCtrlEx* tools = list(3);
  tools->scrollToBottom();
  QApplication::processEvents();
  const QRect last = tools->visualRect(tools->model()->index(400, 0));
  EXPECT_TRUE(tools->viewport()->rect().contains(last)) << last.y() << " in " << tools->viewport()->height();
  // Closed, the notice is gone and the list reaches the foot of the page.
  CDlgParams* offsets = main->pages().at(3);
  auto* close = offsets->layoutNotice()->findChild<QAbstractButton*>("closeNotice");
  ASSERT_NE(close, nullptr);
  const int before = tools->height();
  QTest::mouseClick(close, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(offsets->layoutNotice(), nullptr);
  EXPECT_GT(tools->height(), before);
  EXPECT_GE(tools->geometry().bottom(), offsets->height() * 9 / 10);
  const QByteArray shots = qgetenv("RAVIK_SHOT_DIR");
  if (!shots.isEmpty())
    for (int i : {0, 2, 3}) {
      main->SelectPage(i);
      QApplication::processEvents();
      main->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/notice%1.png").arg(i));
    }
}

// ------------------------------------------------------------ readability

// Where a list cuts a text: the column (or its title) is narrower than the
// text needs, or the rows are lower than the font's glyphs.
void CheckTable(QTableView* list, const QString& name, std::vector<QString>& cuts) {
  QHeaderView* h = list->horizontalHeader();
  const int lineHeight = list->fontMetrics().height();
  for (int c = 0; c < h->count(); ++c) {
    if (h->isSectionHidden(c)) continue;
    const QString title = list->model()->headerData(c, Qt::Horizontal).toString();
    if (h->sectionSizeHint(c) > h->sectionSize(c))
      cuts.push_back(name + " title \"" + title + "\": " + QString::number(h->sectionSize(c)) + " < " +
                     QString::number(h->sectionSizeHint(c)) + " of " + QString::number(list->width()));
    const int need = static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c);
    if (need > list->columnWidth(c))
      cuts.push_back(name + " column \"" + title + "\": " + QString::number(list->columnWidth(c)) + " < " +
                     QString::number(need) + " of " + QString::number(list->width()));
  }
  if (list->model()->rowCount() > 0 && list->rowHeight(0) < lineHeight)
    cuts.push_back(name + " rows: " + QString::number(list->rowHeight(0)) + " < " + QString::number(lineHeight));
}

void CheckShellList(CCustomShellList* list, std::vector<QString>& cuts) {
  const QModelIndex first = list->model()->index(0, 0, list->rootIndex());
  if (!first.isValid()) {
    cuts.push_back("shell list: empty");
    return;
  }
  // The glyphs, descent included, lie inside the row's text area.
  const int rowHeight = list->visualRect(first).height();
  const QFontMetrics fm = list->fontMetrics();
  if (rowHeight < fm.height())
    cuts.push_back("shell list rows: " + QString::number(rowHeight) + " < " + QString::number(fm.height()));
  for (int c = 0; c < 2; ++c) {
    const int need = static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c);
    if (need > list->columnWidth(c))
      cuts.push_back("shell list column " + QString::number(c) + ": " + QString::number(list->columnWidth(c)) +
                     " < " + QString::number(need));
  }
}

// The pages at the main window's default size (1152 x 921 on the 1280 x 1024
// screen of the test display), in English and in Chinese, with long values
// in every table: every list shows its column titles and the texts of its
// visible rows whole, and every row is as high as its glyphs (an underscore
// sits below the base line). With RAVIK_SHOT_DIR set, each page is also
// saved as a picture there for a person to look at.
class Readable : public Pages, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    Pages::SetUp();
    SetLanguageFlag(GetParam());
    ApplyQtTranslations();
    // Variables with long values in each kind of row: local, common, system.
    std::string vars;
    for (int i = 0; i < 5400; ++i)
      vars += i == 1 ? "-12345.678 1\r\n" : i == 100 ? "-1234.5678 2\r\n" : i == 5221 ? "-12345.678 3\r\n"
            : i >= 4000 ? "0 3\r\n" : "0 0\r\n";
    WriteBytes(exe / "fanuc" / "variables.txt", vars);
    // Offsets and work offsets with long values.
    std::vector<double> offsets(401 * 4, 0.0), zero(7 * 3, 0.0);
    for (int i = 12; i < 16; ++i) offsets[static_cast<std::size_t>(i)] = -1234.5678;
    for (int i = 6; i < 9; ++i) zero[static_cast<std::size_t>(i)] = -12345.678;
    WriteBytes(exe / "fanuc" / "offset.dat", Doubles(offsets));
    WriteBytes(exe / "fanuc" / "partzero.dat", Doubles(zero));
    for (const char* name : {"contour_arcs.nc", "drill_pattern.nc", "surface_3d.nc"})
      fs::copy_file(fs::path(RAVIK_DATA_DIR) / "samples" / name, exe / "code" / name);
  }
  void TearDown() override {
    Pages::TearDown();
    SetLanguageFlag(1);
    ApplyQtTranslations();
  }
};

TEST_P(Readable, EveryListShowsItsTitlesTextsAndGlyphsWhole) {
  Start();
  EXPECT_EQ(main->size(), QSize(1152, 921));
  // A program whose commands carry positions, centres and radii.
  Open(exe / "code" / "contour_arcs.nc");

  // Every page with a list is owned by the view window; the code page has none.
  ASSERT_NE(code(), nullptr);
  for (CDlgParams* page : main->pages())
    EXPECT_EQ(page->ownerWindow(), page->mainList() ? static_cast<QWidget*>(render()) : nullptr)
        << page->GetTitle().toStdString();
  EXPECT_EQ(code()->ownerWindow(), nullptr);
  ASSERT_NE(code()->shellList(), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return code()->shellList()->GetItemCount() >= 3; }, 5000));

  const QByteArray shots = qgetenv("RAVIK_SHOT_DIR");
  std::vector<QString> cuts;
  for (int i = 0; i < static_cast<int>(main->pages().size()); ++i) {
    main->SelectPage(i);
    QApplication::processEvents();
    CDlgParams* page = main->pages().at(static_cast<std::size_t>(i));
    for (auto* list : page->findChildren<CListCtrlBase*>(Qt::FindDirectChildrenOnly))
      if (list->isVisible())
        CheckTable(list, page->GetTitle() + " " + QString::number(CtrlId(list)), cuts);
    if (i == 0) CheckShellList(code()->shellList(), cuts);
    if (!shots.isEmpty())
      main->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/page%1_%2.png").arg(i).arg(GetParam()));
  }
  for (const QString& c : cuts) ADD_FAILURE() << c.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, Readable, ::testing::Values(1, 0),
                         [](const auto& info) { return info.param ? "English" : "Chinese"; });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);
  InitApplication(app.arguments());
  SetLanguageFlag(1);
  g_realExe = plat::ExeDir();
  SetUiSeam(&g_seam);
  const int result = RUN_ALL_TESTS();
  SetUiSeam(nullptr);
  RemoveAlertSink();
  return result;
}
