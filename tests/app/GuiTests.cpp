// The viewer's windows on screen (Xvfb with Mesa's software renderer in CI):
// start-up, loading a program under the progress dialog, the messages, the
// picture, saving, closing during a simulation. Message boxes and file
// dialogs are answered by a test seam.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QTabBar>
#include <QTableView>
#include <QTest>

#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "mod_gcode/export/Quillet.h"
#include "platform/Host.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "viewer/CommandStore.h"
#include "viewer/DlgLoading.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/PageBase.h"
#include "viewer/RavikApp.h"
#include "viewer/RavikDlg.h"
#include "viewer/UiSeam.h"
#include "viewer/pages/DlgCodeEdit.h"

namespace fs = std::filesystem;
using namespace ravik;

namespace {

// Answers dialogs the way a test tells it to and remembers what was asked.
class TestSeam : public UiSeam {
 public:
  struct Shown {
    QString caption, text;
    Icon icon;
  };
  void Message(QWidget*, const QString& caption, const QString& text, Icon icon) override {
    messages.push_back({caption, text, icon});
  }
  Answer Question(QWidget*, const QString&, const QString& text, bool withCancel) override {
    questions.push_back(text);
    if (answers.empty()) return withCancel ? Answer::Cancel : Answer::No;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  QString OpenFileName(QWidget*, const QString& filter) override {
    ++openCalls;
    lastFilter = filter;
    return openPath;
  }
  QString SaveFileName(QWidget*, const QString&) override {
    ++saveCalls;
    return savePath;
  }
  void Reset() { *this = TestSeam(); }

  std::vector<Shown> messages;
  std::vector<QString> questions;
  std::deque<Answer> answers;
  QString openPath, savePath, lastFilter;
  int openCalls = 0, saveCalls = 0;
};

TestSeam g_seam;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

QString Sample(const char* name) { return QString::fromStdString(plat::ExePath(std::string("samples/") + name)); }

// Lit pixels of the view below the banner lines at its top.
int PathPixels(ViewWidget* view) {
  QImage img = view->grabFramebuffer();
  int lit = 0;
  // The banner's two lines stand at 0.95 and 0.85 of the height above the middle.
  for (int y = static_cast<int>(img.height() * 0.1) + 20; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      QRgb p = img.pixel(x, y);
      if (qRed(p) > 60 || qGreen(p) > 60 || qBlue(p) > 60) ++lit;
    }
  return lit;
}

void SlowRecord() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }

class Viewer : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seam.Reset();
    SetAppendHook(nullptr);
    dir = fs::temp_directory_path() / ("ravik_gui_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    SetAppendHook(nullptr);
    if (main) {
      g_seam.answers.clear();  // unsaved edits are dropped
      main->close();
      main.reset();
    }
    SetLanguageFlag(1);
    fs::remove_all(dir);
  }

  void Start() {
    main = std::make_unique<CRavikDlg>();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return render()->view()->glReady(); }, 5000));
  }
  CDlgRender* render() const { return main->render(); }

  // Opens a file through the open dialog; returns when the progress dialog
  // has closed.
  void Open(const QString& path) {
    g_seam.openPath = path;
    render()->OnOpenNcFile();
  }
  // Waits until the loader (and its simulation) has ended.
  bool WaitLoader(int ms = 20000) {
    if (!render()->loaderRunning()) return true;
    QSignalSpy spy(render(), &CDlgRender::loadFinished);
    return spy.wait(ms) || !render()->loaderRunning();
  }
  bool WaitPicture() {
    return QTest::qWaitFor([&] { return PathPixels(render()->view()) > 200; }, 5000);
  }

  std::unique_ptr<CRavikDlg> main;
  fs::path dir;
};

// ------------------------------------------------------------ start-up

TEST_F(Viewer, StartShowsTitleMenuMessageColumnsAndTheCodePage) {
  Start();
  EXPECT_EQ(main->windowTitle(), "Ravik G code viewer");
  ASSERT_EQ(main->messageModel()->columnCount(), 4);
  const char* headers[] = {"NC name", "Line No.", "N No.", "Error"};
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(main->messageModel()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
  // Column widths from half the screen width: 10 %, 10 %, 10 %, 60 %.
  const int w = static_cast<int>(QGuiApplication::primaryScreen()->size().width() * 0.5);
  EXPECT_EQ(main->messageList()->columnWidth(0), static_cast<int>(w * 0.1));
  EXPECT_EQ(main->messageList()->columnWidth(3), static_cast<int>(w * 0.6));
  ASSERT_EQ(main->menuBar()->actions().size(), 1);
  EXPECT_EQ(main->menuBar()->actions()[0]->text(), "About");
  QMenu* sub = main->menuBar()->actions()[0]->menu();
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->actions()[0]->data().toInt(), CRavikDlg::kCmdAbout);
  EXPECT_EQ(main->tabBar()->count(), static_cast<int>(main->pages().size()));
  EXPECT_EQ(main->tabBar()->tabText(0), "Code");
  // The view on the left above the list, the tabs on the right half.
  const QRect view = render()->geometry(), list = main->messageList()->geometry(), tabs = main->tabControl()->geometry();
  EXPECT_EQ(view.left(), 10);
  EXPECT_LT(view.bottom(), list.top());
  EXPECT_LT(view.right(), tabs.left());
  // Nothing drawn yet but the banner.
  EXPECT_EQ(PathPixels(render()->view()), 0);
}

TEST_F(Viewer, ChineseShowsTheChineseTexts) {
  SetLanguageFlag(0);
  Start();
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Ravik G代码编辑器"));
  const char16_t* headers[] = {u"程序号", u"行索引", u"N号", u"错误"};
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(main->messageModel()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
              QString::fromUtf16(headers[c]));
  EXPECT_EQ(main->menuBar()->actions()[0]->text(), QStringLiteral("关于"));
  std::unique_ptr<QMenu> menu(render()->BuildContextMenu(nullptr));
  ASSERT_EQ(menu->actions().size(), 5);
  EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("打开程序"));
  EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("刷新程序"));
  CDlgAbout about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Ravik"));
  auto* ok = about.findChild<QAbstractButton*>("ok");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->text(), QStringLiteral("确定"));
}

TEST_F(Viewer, ContextMenuItemsCarryTheirCommandIds) {
  Start();
  std::unique_ptr<QMenu> menu(render()->BuildContextMenu(nullptr));
  const std::pair<int, const char*> items[] = {
      {1001, "Open NC file"}, {1006, "Refresh"}, {1003, "X-Y"}, {1004, "X-Z"}, {1005, "Y-Z"}};
  ASSERT_EQ(menu->actions().size(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(menu->actions()[i]->data().toInt(), items[i].first);
    EXPECT_EQ(menu->actions()[i]->text(), items[i].second);
  }
  CDlgAbout about;
  EXPECT_EQ(about.windowTitle(), "About Ravik");
  auto* version = about.findChild<QLabel*>("version");
  ASSERT_TRUE(version);
  EXPECT_TRUE(version->text().startsWith("Ravik\r\n"));
}

TEST_F(Viewer, EnterAndEscapeCloseNeitherTheMainWindowNorTheProgressDialog) {
  Start();
  for (QWidget* w : {static_cast<QWidget*>(main.get()), static_cast<QWidget*>(render()),
                     static_cast<QWidget*>(render()->view())}) {
    QTest::keyClick(w, Qt::Key_Escape);
    QTest::keyClick(w, Qt::Key_Return);
    QTest::keyClick(w, Qt::Key_Enter);
  }
  QApplication::processEvents();
  EXPECT_TRUE(main->isVisible());
  EXPECT_EQ(main->result(), 0);

  CDlgLoading loading(main.get());
  loading.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&loading));
  QTest::keyClick(&loading, Qt::Key_Escape);
  QTest::keyClick(&loading, Qt::Key_Return);
  loading.close();
  QApplication::processEvents();
  EXPECT_TRUE(loading.isVisible());
  loading.OnLoadDone();
  EXPECT_FALSE(loading.isVisible());
}

// ------------------------------------------------------------ loading

TEST_F(Viewer, OpeningASampleShowsProgressPathTextTitleAndCommands) {
  Start();
  const QString path = Sample("contour_arcs.nc");
  Open(path);
  EXPECT_EQ(g_seam.openCalls, 1);
  EXPECT_TRUE(g_seam.lastFilter.contains("*.cnc"));
  EXPECT_EQ(render()->loadingDialog(), nullptr) << "the progress dialog closed";

  // 4027, 4024, the parsed lines, 4026, then 4028 (sub-programs would add
  // more 4024/4025 runs before 4026).
  const std::vector<unsigned> log = render()->lastProgressLog();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[0], unsigned(WM_CODE_PARSESTART));
  EXPECT_EQ(log[1], unsigned(WM_CODE_LINECOUNT));
  EXPECT_EQ(log[2], unsigned(WM_CODE_LINEDONE));
  EXPECT_EQ(log[log.size() - 2], unsigned(WM_CODE_CUTTERPATH));
  EXPECT_EQ(log.back(), unsigned(WM_CODE_AUTORUN));

  // The library no longer reaches the closed dialog.
  EXPECT_EQ(plat::FindTarget(render()->lastProgressHandle()), nullptr);

  EXPECT_TRUE(main->windowTitle().endsWith(" " + path)) << main->windowTitle().toStdString();
  EXPECT_TRUE(main->windowTitle().startsWith("Ravik G code viewer "));
  EXPECT_TRUE(main->GetCodeText().contains("O1001 (CONTOUR WITH ARCS AND STEP DOWN)"));
  EXPECT_FALSE(main->codePage()->IsModified());

  ASSERT_TRUE(WaitLoader());
  auto records = Commands().Snapshot();
  ASSERT_GT(records.size(), 10u);
  EXPECT_EQ(records.back().kind, kStopAutoKind);
  EXPECT_EQ(records.back().line, 0);
  EXPECT_DOUBLE_EQ(records.back().values[3], -100.0);
  EXPECT_EQ(main->messageModel()->rowCount(), 0) << "the sample has no errors";

  EXPECT_TRUE(WaitPicture()) << "the tool path is on screen";
  // The block highlight reaches the library once the loader has ended.
  EXPECT_TRUE(render()->HighlightBlock(12));
}

TEST_F(Viewer, AProgramWithAnErrorPutsItsRowInTheMessageList) {
  Start();
  const fs::path file = dir / "O7001.nc";
  WriteBytes(file, "O7001\r\nG90 G17 G21\r\nG00 X0 Y0\r\nG01 X10. Y5. D999 F100\r\nM30\r\n");
  Open(QString::fromStdString(file.string()));
  ASSERT_TRUE(WaitLoader());
  ASSERT_TRUE(QTest::qWaitFor([&] { return main->messageModel()->rowCount() > 0; }, 3000));
  const MessageRow& row = main->messageModel()->Row(0);
  EXPECT_EQ(row.line, 4) << "line numbers count from 1";
  EXPECT_TRUE(row.text.contains("999")) << row.text.toStdString();
  EXPECT_EQ(main->messageModel()->data(main->messageModel()->index(0, 1), Qt::DisplayRole).toString(), "4");

  // A double click on the row goes to that line of the code page.
  main->OnMessageDoubleClick(0);
  auto* page = dynamic_cast<CDlgCodeEdit*>(main->codePage());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->editor()->textCursor().blockNumber(), 3);

  // The next load starts with an empty list.
  Open(Sample("drill_pattern.nc"));
  ASSERT_TRUE(WaitLoader());
  QApplication::processEvents();
  EXPECT_EQ(main->messageModel()->rowCount(), 0);
}

TEST_F(Viewer, AMissingFileStillClosesTheProgressDialogAndIsNotCreated) {
  Start();
  Open(QString::fromStdString((dir / "no_such_file.nc").string()));
  EXPECT_EQ(render()->loadingDialog(), nullptr);
  ASSERT_TRUE(WaitLoader());
  EXPECT_FALSE(fs::exists(dir / "no_such_file.nc")) << "reading never creates the file";
  EXPECT_EQ(Commands().Snapshot().back().kind, kStopAutoKind);
}

TEST_F(Viewer, LibraryAlertsFromTheLoaderThreadReachTheMessageSeamWithoutWaiting) {
  Start();
  std::thread loader([] { plat::Alert(u"failed to read the file!", u""); });
  loader.join();  // returned before the interface thread ran
  EXPECT_TRUE(g_seam.messages.empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !g_seam.messages.empty(); }, 3000));
  EXPECT_EQ(g_seam.messages[0].text, "failed to read the file!");
  EXPECT_EQ(g_seam.messages[0].icon, UiSeam::Icon::Warning);
}

TEST_F(Viewer, RefreshParsesTheEditedTextAndKeepsTextAndTitle) {
  Start();
  Open(Sample("drill_pattern.nc"));
  ASSERT_TRUE(WaitLoader());
  const QString title = main->windowTitle();
  const QString edited = "O5\nG90 G54 G00 X0 Y0\nG01 X50. Y20. F300\nM30\n";
  main->SetCodeText(edited);
  render()->OnMenuCommand(CDlgRender::kCmdRefresh);
  ASSERT_TRUE(WaitLoader());
  EXPECT_EQ(render()->lastProgressLog().front(), unsigned(WM_CODE_PARSESTART));
  EXPECT_EQ(main->GetCodeText(), edited);
  EXPECT_EQ(main->windowTitle(), title);
  auto records = Commands().Snapshot();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().kind, kStopAutoKind);
  // The short program makes far fewer commands than the drilling pattern.
  EXPECT_LT(records.size(), 20u);
}

// ------------------------------------------------------------ saving

TEST_F(Viewer, SaveWritesTheTextBackByteExactWithCrLfLineEnds) {
  Start();
  const QString path = Sample("surface_3d.nc");
  Open(path);
  ASSERT_TRUE(WaitLoader());
  QString target = QString::fromStdString((dir / "copy.nc").string());
  ASSERT_TRUE(render()->SaveFile(target, main->GetCodeText()));
  const std::string original = ReadAll(path.toStdString());
  std::string saved = ReadAll(target.toStdString());
  // The editor may drop the line end after the last line.
  if (saved.size() + 2 == original.size()) saved += "\r\n";
  EXPECT_EQ(saved, original);

  // Mixed line ends: every LF gets one CR, none is doubled.
  ASSERT_TRUE(render()->SaveFile(target, "A\r\nB\nC\r\n\nD"));
  EXPECT_EQ(ReadAll(target.toStdString()), "A\r\nB\r\nC\r\n\r\nD");
  EXPECT_TRUE(g_seam.messages.empty());
}

TEST_F(Viewer, SaveAsksBeforeLosingCharactersAndReportsFailures) {
  Start();
  plat::SetSystemCodePage("ISO-8859-1");
  QString target = QString::fromStdString((dir / "lossy.nc").string());
  const QString text = QStringLiteral("G01 X1. (\u4e2d\u6587)\n");
  g_seam.answers = {UiSeam::Answer::No};
  EXPECT_FALSE(render()->SaveFile(target, text));
  ASSERT_EQ(g_seam.questions.size(), 1u);
  EXPECT_TRUE(g_seam.questions[0].startsWith("2 ")) << g_seam.questions[0].toStdString();
  EXPECT_FALSE(fs::exists(target.toStdString()));
  g_seam.answers = {UiSeam::Answer::Yes};
  EXPECT_TRUE(render()->SaveFile(target, text));
  EXPECT_EQ(ReadAll(target.toStdString()), "G01 X1. (?" "?)\r\n");
  plat::SetSystemCodePage("");

  // A path without a folder: the failure is reported, not hidden.
  QString bad = QString::fromStdString((dir / "missing_folder" / "x.nc").string());
  EXPECT_FALSE(render()->SaveFile(bad, "G00 X0\n"));
  ASSERT_EQ(g_seam.messages.size(), 1u);
  EXPECT_EQ(g_seam.messages[0].icon, UiSeam::Icon::Error);
  EXPECT_TRUE(g_seam.messages[0].text.contains("x.nc"));

  // No path: the save dialog asks; cancelled, nothing is written.
  QString none;
  EXPECT_FALSE(render()->SaveFile(none, "G00 X0\n"));
  EXPECT_EQ(g_seam.saveCalls, 1);
  g_seam.savePath = QString::fromStdString((dir / "chosen.cnc").string());
  EXPECT_TRUE(render()->SaveFile(none, "G00 X0\n"));
  EXPECT_EQ(none, g_seam.savePath);
  EXPECT_EQ(ReadAll((dir / "chosen.cnc").string()), "G00 X0\r\n");
}

TEST_F(Viewer, UnsavedEditsAreAskedForBeforeAnotherFileOpens) {
  Start();
  const fs::path file = dir / "edit.nc";
  fs::copy_file(plat::ExePath("samples/drill_pattern.nc"), file);
  Open(QString::fromStdString(file.string()));
  ASSERT_TRUE(WaitLoader());
  auto* page = dynamic_cast<CDlgCodeEdit*>(main->codePage());
  ASSERT_TRUE(page);
  page->editor()->moveCursor(QTextCursor::Start);
  page->editor()->insertPlainText("(EDITED)\n");
  ASSERT_TRUE(page->IsModified());

  g_seam.openCalls = 0;
  g_seam.answers = {UiSeam::Answer::Cancel};
  EXPECT_FALSE(render()->OnOpenNcFile());
  EXPECT_EQ(g_seam.openCalls, 0) << "cancelled before the file dialog";
  EXPECT_TRUE(page->IsModified());

  // Yes saves to the current file first, then the other file opens.
  g_seam.answers = {UiSeam::Answer::Yes};
  Open(Sample("contour_arcs.nc"));
  EXPECT_EQ(g_seam.openCalls, 1);
  EXPECT_EQ(ReadAll(file).rfind("(EDITED)\r\n%\r\n", 0), 0u);
  ASSERT_TRUE(WaitLoader());
  EXPECT_FALSE(page->IsModified());

  // Closing asks too; Cancel keeps the window open.
  page->editor()->insertPlainText("X");
  g_seam.answers = {UiSeam::Answer::Cancel};
  main->close();
  EXPECT_TRUE(main->isVisible());
}

// ------------------------------------------------------------ threads

TEST_F(Viewer, InterfaceCallsWaitForTheSimulationAndClosingStopsIt) {
  Start();
  Open(Sample("contour_arcs.nc"));
  ASSERT_TRUE(WaitLoader());
  const std::size_t whole = Commands().Size();
  render()->view()->grabFramebuffer();

  SetAppendHook(&SlowRecord);  // the simulation now takes seconds
  Open(Sample("contour_arcs.nc"));
  // The progress dialog closed at the start of the simulation, which goes on.
  ASSERT_TRUE(render()->loaderRunning());
  EXPECT_FALSE(render()->HighlightBlock(3)) << "no interface call while the loader is in the library";
  EXPECT_TRUE(WaitPicture()) << "painting goes on during the simulation";
  ASSERT_TRUE(render()->loaderRunning());

  const auto start = std::chrono::steady_clock::now();
  main->close();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(main->isVisible());
  EXPECT_FALSE(render()->loaderRunning());
  EXPECT_LT(seconds, 0.5) << "closing stops the simulation instead of waiting for its end";
  auto records = Commands().Snapshot();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().kind, kStopAutoKind);
  EXPECT_LT(records.size(), whole);
}

TEST_F(Viewer, ANewLoadDuringASimulationStopsTheOldOne) {
  Start();
  Open(Sample("contour_arcs.nc"));
  ASSERT_TRUE(WaitLoader());
  const std::size_t alone = Commands().Size();

  SetAppendHook(&SlowRecord);
  Open(Sample("drill_pattern.nc"));
  ASSERT_TRUE(render()->loaderRunning());
  SetAppendHook(nullptr);
  Open(Sample("contour_arcs.nc"));
  ASSERT_TRUE(WaitLoader());
  EXPECT_EQ(Commands().Size(), alone) << "only the records of the last load";
  EXPECT_EQ(Commands().Snapshot().back().kind, kStopAutoKind);
  EXPECT_TRUE(main->windowTitle().endsWith("contour_arcs.nc"));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);
  InitApplication(app.arguments());
  SetLanguageFlag(1);
  SetUiSeam(&g_seam);
  const int result = RUN_ALL_TESTS();
  SetUiSeam(nullptr);
  RemoveAlertSink();
  return result;
}
