// The viewer's windows on screen (Xvfb with Mesa's software renderer in CI):
// start-up, loading a program under the progress dialog, the messages, the
// picture, saving, closing during a simulation, and memory: packed command
// records, the question before a program too large for the memory, a load
// that runs out of memory, and the bytes the viewer holds per program line.
// Message boxes and file dialogs are answered by a test seam.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>

#include "bench/core/SurfaceProgram.h"
#include "mod_gcode/export/Quillet.h"
#include "platform/Files.h"
#include "platform/Host.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "tests/support/OrdinaryUser.h"
#include "viewer/CommandStore.h"
#include "viewer/DlgLoading.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/Locks.h"
#include "viewer/PageBase.h"
#include "viewer/RavikApp.h"
#include "viewer/RavikDlg.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/EditCtrls.h"
#include "viewer/pages/DlgCodeEdit.h"

namespace fs = std::filesystem;
using namespace ravik;

namespace {

// Answers dialogs the way a test tells it to and remembers what was asked.
struct TestSeam : UiSeam {
  void Message(QWidget*, const QString&, const QString& text, Icon icon) override { messages.push_back({text, icon}); }
  Answer Question(QWidget*, const QString&, const QString& text, bool withCancel) override {
    questions.push_back(text);
    if (answers.empty()) return withCancel ? Answer::Cancel : Answer::No;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  QString OpenFileName(QWidget*, const QString&) override { return ++openCalls, openPath; }
  QString SaveFileName(QWidget*, const QString&) override { return {}; }
  std::vector<std::pair<QString, Icon>> messages;
  std::vector<QString> questions;
  std::deque<Answer> answers;
  QString openPath;
  int openCalls = 0;
};
TestSeam g_seam;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

QString Sample(const char* name) { return QString::fromStdString(plat::ExePath(std::string("samples/") + name)); }

// Lit pixels of the view below the banner's two lines, which stand at 0.95
// and 0.85 of the height above the middle.
int PathPixels(ViewWidget* view) {
  const QImage img = view->grabFramebuffer();
  int lit = 0;
  for (int y = static_cast<int>(img.height() * 0.1) + 20; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) lit += qRed(img.pixel(x, y)) > 60 || qGreen(img.pixel(x, y)) > 60 || qBlue(img.pixel(x, y)) > 60;
  return lit;
}

class Viewer : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seam = TestSeam();
    dir = fs::temp_directory_path() / ("ravik_gui_files_" + std::to_string(getpid()));
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
    QSignalSpy spy(render(), &CDlgRender::loadFinished);
    return !render()->loaderRunning() || spy.wait(ms) || !render()->loaderRunning();
  }
  std::unique_ptr<CRavikDlg> main;
  fs::path dir;
};

TEST_F(Viewer, StartShowsTitleAndMessageColumnsInBothLanguages) {
  const std::vector<QString> english = {"Ravik G code viewer", "NC name", "Line No.", "N No.", "Error"};
  const std::vector<QString> chinese = {QStringLiteral("Ravik G代码编辑器"), QStringLiteral("程序号"), QStringLiteral("行索引"),
                                        QStringLiteral("N号"), QStringLiteral("错误")};
  for (int flag : {1, 0}) {
    SetLanguageFlag(flag);
    Start();
    const auto& texts = flag ? english : chinese;
    EXPECT_EQ(main->windowTitle(), texts[0]);
    EXPECT_FALSE(main->windowIcon().pixmap(32, 32).isNull()) << "the window has the viewer's icon";
    ASSERT_EQ(main->messageModel()->columnCount(), 4);
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(main->messageModel()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), texts[c + 1]);
    // The header speaks in the list's font; every title fits its column
    // and the columns fill the list without a sideways scroll bar.
    QTableView* list = main->messageList();
    EXPECT_EQ(list->horizontalHeader()->font(), list->font());
    const QFontMetrics metrics(list->horizontalHeader()->font());
    int sum = 0;
    for (int c = 0; c < 4; ++c) {
      EXPECT_GE(list->columnWidth(c), metrics.horizontalAdvance(texts[c + 1])) << c;
      sum += list->columnWidth(c);
    }
    EXPECT_LE(sum, list->viewport()->width());
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    // All seven tabs are in sight with their whole titles.
    QTabBar* tabs = main->tabBar();
    ASSERT_EQ(tabs->count(), 7);
    EXPECT_LE(tabs->sizeHint().width(), tabs->width());
    for (int i = 0; i < tabs->count(); ++i) EXPECT_TRUE(tabs->rect().contains(tabs->tabRect(i))) << i;
    main->close();
    main.reset();
  }
}

// The message list's columns keep their shares of the list as the window
// grows and shrinks.
TEST_F(Viewer, MessageColumnsScaleWithTheWindow) {
  Start();
  main->setWindowState(Qt::WindowNoState);
  main->resize(900, 700);
  QTest::qWait(50);
  QTableView* list = main->messageList();
  auto filled = [&] {
    int sum = 0;
    for (int c = 0; c < 4; ++c) sum += list->columnWidth(c);
    return sum;
  };
  const int name0 = list->columnWidth(0), error0 = list->columnWidth(3);
  EXPECT_NEAR(filled(), list->viewport()->width(), 1);
  main->resize(3000, 700);  // wide enough that a tenth of the list is more than a title
  QTest::qWait(50);
  EXPECT_NEAR(list->columnWidth(0), list->width() * 0.1, 1);
  EXPECT_GT(list->columnWidth(3), 2 * error0);
  EXPECT_NEAR(filled(), list->viewport()->width(), 1);
  main->resize(900, 700);
  QTest::qWait(50);
  EXPECT_EQ(list->columnWidth(0), name0);
  EXPECT_EQ(list->columnWidth(3), error0);
}

// The open dialog starts on the first filter ("*.cnc") yet takes the typed
// name of any existing file; a name that names no file is refused.
TEST_F(Viewer, TheOpenDialogTakesAnyExistingFileWhateverTheFilter) {
  const QFileInfo sample(Sample("contour_arcs.nc"));
  struct Case {
    QString typed;
    bool accepted;
  } cases[] = {{sample.fileName(), true}, {sample.absoluteFilePath(), true}, {QStringLiteral("no_such.nc"), false}};
  for (const Case& c : cases) {
    g_seam.messages.clear();
    NcFileDialog dialog(nullptr, NcFileFilter(), QFileDialog::AcceptOpen);
    dialog.setDirectory(sample.absolutePath());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("cnc Files (*.cnc)"));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_TRUE(name && buttons);
    name->setText(c.typed);
    QApplication::processEvents();
    QPushButton* open = buttons->button(QDialogButtonBox::Open);
    ASSERT_TRUE(open);
    EXPECT_TRUE(open->isEnabled()) << c.typed.toStdString();
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << c.typed.toStdString();
    if (c.accepted) {
      EXPECT_EQ(dialog.selectedFiles().value(0), sample.absoluteFilePath());
      EXPECT_TRUE(g_seam.messages.empty());
    } else {
      EXPECT_TRUE(dialog.isVisible()) << "the dialog stays for another name";
      EXPECT_EQ(g_seam.messages.size(), 1u);
    }
  }
}

TEST_F(Viewer, EnterAndEscapeCloseNeitherTheMainWindowNorTheProgressDialog) {
  Start();
  for (QWidget* w : {static_cast<QWidget*>(main.get()), static_cast<QWidget*>(render()), static_cast<QWidget*>(render()->view())})
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(w, key);
  QApplication::processEvents();
  EXPECT_TRUE(main->isVisible());
  CDlgLoading loading(main.get());
  loading.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&loading));
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) QTest::keyClick(&loading, key);
  loading.close();
  QApplication::processEvents();
  EXPECT_TRUE(loading.isVisible());
  loading.OnLoadDone();
  EXPECT_FALSE(loading.isVisible());
}

TEST_F(Viewer, OpeningASampleShowsProgressTitlePathAndCommands) {
  Start();
  const QString path = Sample("contour_arcs.nc");
  Open(path);
  EXPECT_EQ(render()->loadingDialog(), nullptr) << "the progress dialog closed";
  // 4027, 4024, the parsed lines (4025), 4026, then 4028; once closed, the
  // dialog's handle reaches nothing.
  const std::vector<unsigned> log = render()->lastProgressLog();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[0], unsigned(WM_CODE_PARSESTART));
  EXPECT_EQ(log[1], unsigned(WM_CODE_LINECOUNT));
  for (std::size_t i = 2; i + 2 < log.size(); ++i) EXPECT_EQ(log[i], unsigned(WM_CODE_LINEDONE)) << i;
  EXPECT_EQ(log[log.size() - 2], unsigned(WM_CODE_CUTTERPATH));
  EXPECT_EQ(log.back(), unsigned(WM_CODE_AUTORUN));
  EXPECT_EQ(plat::FindTarget(render()->lastProgressHandle()), nullptr);
  EXPECT_EQ(main->windowTitle(), "Ravik G code viewer " + path);
  EXPECT_TRUE(main->GetCodeText().contains("O1001 (CONTOUR WITH ARCS AND STEP DOWN)"));
  ASSERT_TRUE(WaitLoader());
  const auto records = Commands().Snapshot();
  ASSERT_GT(records.size(), 10u);
  EXPECT_TRUE(records.back().kind == kStopAutoKind && records.back().line == 0) << "the closing record";
  EXPECT_EQ(main->messageModel()->rowCount(), 0) << "the sample has no errors";
  EXPECT_TRUE(QTest::qWaitFor([&] { return PathPixels(render()->view()) > 200; }, 5000)) << "the path on screen";
}

TEST_F(Viewer, AProgramWithAnErrorPutsItsRowInTheMessageList) {
  Start();
  std::ofstream(dir / "O7001.nc", std::ios::binary) << "O7001\r\nG90 G17 G21\r\nG00 X0 Y0\r\nG01 X10. Y5. D999 F100\r\nM30\r\n";
  Open(QString::fromStdString((dir / "O7001.nc").string()));
  ASSERT_TRUE(WaitLoader());
  ASSERT_TRUE(QTest::qWaitFor([&] { return main->messageModel()->rowCount() > 0; }, 3000));
  EXPECT_EQ(main->messageModel()->data(main->messageModel()->index(0, 1), Qt::DisplayRole).toString(), "4");
  EXPECT_TRUE(main->messageModel()->Row(0).text.contains("999"));
  // A double click on the row goes to that line of the code page.
  main->OnMessageDoubleClick(0);
  auto* page = dynamic_cast<CDlgCodeEdit*>(main->codePage());
  ASSERT_TRUE(page);
  EXPECT_EQ(page->editor()->textCursor().blockNumber(), 3);
}

TEST_F(Viewer, SaveIsByteExactApartFromLineEndsAndReportsLossAndFailure) {
  Start();
  Open(Sample("surface_3d.nc"));
  ASSERT_TRUE(WaitLoader());
  // Mixed line ends in a file with CR LF ends: every LF gets one CR, none is
  // doubled.
  QString target = QString::fromStdString((dir / "copy.nc").string());
  ASSERT_TRUE(render()->SaveFile(target, "A\r\nB\nC\r\n\nD"));
  EXPECT_EQ(ReadAll(target.toStdString()), "A\r\nB\r\nC\r\n\r\nD");
  // Two characters the code page cannot hold: asked first, written as "?".
  plat::SetSystemCodePage("ISO-8859-1");
  target = QString::fromStdString((dir / "lossy.nc").string());
  const QString text = QStringLiteral("G01 X1. (\u4e2d\u6587)\n");
  g_seam.answers = {UiSeam::Answer::No, UiSeam::Answer::Yes};
  EXPECT_FALSE(render()->SaveFile(target, text));
  EXPECT_FALSE(fs::exists(target.toStdString()));
  EXPECT_TRUE(render()->SaveFile(target, text));
  plat::SetSystemCodePage("");
  ASSERT_EQ(g_seam.questions.size(), 2u);
  EXPECT_TRUE(g_seam.questions[0].startsWith("2 ")) << g_seam.questions[0].toStdString();
  EXPECT_EQ(ReadAll(target.toStdString()), "G01 X1. (?" "?)\r\n");
  // A path without a folder: the failure is reported, not hidden.
  QString bad = QString::fromStdString((dir / "missing_folder" / "x.nc").string());
  EXPECT_FALSE(render()->SaveFile(bad, "G00 X0\n"));
  ASSERT_EQ(g_seam.messages.size(), 1u);
  EXPECT_EQ(g_seam.messages[0].second, UiSeam::Icon::Error);
  EXPECT_TRUE(g_seam.messages[0].first.contains("x.nc"));
}

// A program a machinist edits in the code page: one line changed and saved,
// every other byte as it was (line ends of every kind, tabs, "%" lines, a
// long comment, a comment in GBK, Latin-1 bytes the code page cannot decode,
// a zero byte). Opening a file and closing it without an edit never touches
// it.
TEST_F(Viewer, EditingOneLineAndSavingKeepsEveryOtherByte) {
  struct Case {
    const char* name;
    std::string before;
    int line;              // the editor line replaced
    const char* replaced;  // its new text (may hold an LF: lines added)
    std::string after;
  };
  const std::string longComment = "(" + std::string(300, 'C') + ")";
  // Chinese words in the code page the library and the viewer share here
  // (the test machine has no GBK locale; the buffer test reads GBK).
  const std::string chinese = "(\xE4\xB8\xAD\xE6\x96\x87 \xE5\x88\x80\xE5\x85\xB7)";
  const std::vector<Case> cases = {
      {"CR LF, tab, percent, long comment", "%\r\nO1\r\n\tG01 X1. " + longComment + "\r\nG01 X2.\r\nM30\r\n%\r\n", 3,
       "G01 X3.", "%\r\nO1\r\n\tG01 X1. " + longComment + "\r\nG01 X3.\r\nM30\r\n%\r\n"},
      {"LF", "O2\nG01 X1.\t Y2.\nG01 X2.\nM30\n", 2, "G01 X3.", "O2\nG01 X1.\t Y2.\nG01 X3.\nM30\n"},
      {"CR alone", "O3\rG01 X1.\rG01 X2.\rM30\r", 1, "G01 X5.", "O3\rG01 X5.\rG01 X2.\rM30\r"},
      {"mixed", "O4\r\nG01 X1.\nG01 X2.\rG01 X3.\r\nM30\n", 2, "G01 X9.", "O4\r\nG01 X1.\nG01 X9.\rG01 X3.\r\nM30\n"},
      {"mixed, a line added", "O5\r\nG01 X1.\nG01 X2.\rG01 X3.\r\nM30\n", 2, "G01 X8.\nG01 X9.",
       "O5\r\nG01 X1.\nG01 X8.\rG01 X9.\rG01 X3.\r\nM30\n"},
      {"mixed, a line removed", "O6\r\nG01 X1.\nG01 X2.\rG01 X3.\r\nM30\n", -2, "",
       "O6\r\nG01 X1.\nG01 X3.\r\nM30\n"},
      {"no line end at the end", "O7\nG01 X1.\nM30", 2, "M02", "O7\nG01 X1.\nM02"},
      {"Chinese comment", "O8\r\nG01 X1. " + chinese + "\r\nG01 X2.\r\nM30\r\n", 2, "G01 X4.",
       "O8\r\nG01 X1. " + chinese + "\r\nG01 X4.\r\nM30\r\n"},
      {"no-break space and byte order mark", "\xEF\xBB\xBFO10\nG01 X1. (A\xC2\xA0" "B)\nG01 X2.\n", 2, "G01 X7.",
       "\xEF\xBB\xBFO10\nG01 X1. (A\xC2\xA0" "B)\nG01 X7.\n"},
      {"Latin-1 bytes the code page cannot decode", "O12\r\nG01 X1. (90\xB0 CORNER \xD8" "10)\r\nG01 X2.\r\n", 2,
       "G01 X4.", "O12\r\nG01 X1. (90\xB0 CORNER \xD8" "10)\r\nG01 X4.\r\n"},
      {"zero byte", std::string("O9\r\nG01 X1.\0 Y2.\r\nG01 X2.\r\nM30\r\n", 32), 2, "G01 X6.",
       std::string("O9\r\nG01 X1.\0 Y2.\r\nG01 X6.\r\nM30\r\n", 32)},
      // The symbol for NUL beside a zero byte stays a character.
      {"zero byte and the symbol for NUL", std::string("O11\r\nG01 X1.\0 (\xE2\x90\x80)\r\nG01 X2.\r\n", 30), 2,
       "G01 X3.", std::string("O11\r\nG01 X1.\0 (\xE2\x90\x80)\r\nG01 X3.\r\n", 30)},
  };
  Start();
  auto* page = dynamic_cast<CDlgCodeEdit*>(main->codePage());
  ASSERT_TRUE(page);
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
  std::vector<std::pair<fs::path, std::string>> opened;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir / (std::string("O") + std::to_string(opened.size() + 1) + ".nc");
    std::ofstream(file, std::ios::binary) << c.before;
    fs::last_write_time(file, old);
    Open(QString::fromStdString(file.string()));
    ASSERT_TRUE(WaitLoader());
    EXPECT_FALSE(page->IsModified());
    EXPECT_EQ(ReadAll(file), c.before) << "opening changed the file";
    EXPECT_EQ(fs::last_write_time(file), old) << "opening wrote the file";
    // The edit as a user makes it: the line's text selected and typed over.
    QTextDocument* doc = page->editor()->document();
    QTextCursor cursor(doc->findBlockByNumber(c.line < 0 ? -c.line : c.line));
    if (c.line < 0) {  // the whole line with its end
      cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    } else {
      cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
      cursor.insertText(QString::fromUtf8(c.replaced));
    }
    if (c.line < 0) cursor.removeSelectedText();
    ASSERT_TRUE(page->IsModified());
    page->RunCommand(CDlgCodeEdit::kCmdSave);
    EXPECT_FALSE(page->IsModified());
    EXPECT_TRUE(g_seam.questions.empty()) << g_seam.questions.front().toStdString();
    EXPECT_TRUE(g_seam.messages.empty()) << g_seam.messages.front().first.toStdString();
    EXPECT_EQ(ReadAll(file), c.after);
    fs::last_write_time(file, old);
    opened.emplace_back(file, c.after);
  }
  // Two saves of a file with mixed line ends: each keeps the lines the other
  // did not touch.
  {
    const fs::path file = dir / "twice.nc";
    std::ofstream(file, std::ios::binary) << "O11\r\nG01 X1.\nG01 X2.\rM30\n";
    Open(QString::fromStdString(file.string()));
    ASSERT_TRUE(WaitLoader());
    QTextDocument* doc = page->editor()->document();
    for (const auto& [line, text] : {std::pair{2, "G01 X5."}, std::pair{0, "O12"}}) {
      QTextCursor cursor(doc->findBlockByNumber(line));
      cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
      cursor.insertText(QString::fromUtf8(text));
      page->RunCommand(CDlgCodeEdit::kCmdSave);
    }
    EXPECT_EQ(ReadAll(file), "O12\r\nG01 X1.\nG01 X5.\rM30\n");
  }
  // Each file opened again and left without an edit, then the window closed.
  for (const auto& [file, bytes] : opened) {
    Open(QString::fromStdString(file.string()));
    ASSERT_TRUE(WaitLoader());
  }
  main->close();
  main.reset();
  for (const auto& [file, bytes] : opened) {
    EXPECT_EQ(ReadAll(file), bytes) << file;
    EXPECT_EQ(fs::last_write_time(file), old) << file;
  }
}

// The code page's saves keep the rules of every save for an ordinary user: a
// file the user may not write is refused, reported and left whole, a link is
// followed and stays a link, the permissions stay, and a folder without room
// for a temporary file gets the file rewritten in place.
TEST_F(Viewer, SavesAsAnOrdinaryUserFollowLinksKeepPermissionsAndRefuseReadOnlyFiles) {
  struct Case {
    const char* name;
    mode_t fileMode;    // of "real.nc"
    mode_t folderMode;  // of the folder holding it
    const char* saveTo;
    bool saved;
  };
  const Case cases[] = {
      {"read-only file", 0444, 0777, "real.nc", false},
      {"symbolic link", 0640, 0777, "link.nc", true},
      {"folder without room for a temporary", 0604, 0555, "real.nc", true},
      {"read-only file in such a folder", 0444, 0555, "link.nc", false},
  };
  const std::string old = "O1\nG01 X1.\nM30\n", fresh = "O1\nG01 X2.\nM30\n";
  Start();
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path work = dir / ("user" + std::to_string(++n)), real = work / "real.nc";
    fs::create_directories(work);
    std::ofstream(real, std::ios::binary) << old;
    fs::create_symlink("real.nc", work / "link.nc");
    if (::geteuid() == 0) {  // the file and its folder belong to the user who saves
      ASSERT_EQ(::chown(work.c_str(), quillet::test::kOrdinaryUser, quillet::test::kOrdinaryUser), 0);
      ASSERT_EQ(::chown(real.c_str(), quillet::test::kOrdinaryUser, quillet::test::kOrdinaryUser), 0);
    }
    fs::permissions(dir, static_cast<fs::perms>(0755));
    Open(QString::fromStdString(real.string()));
    ASSERT_TRUE(WaitLoader());
    fs::permissions(real, static_cast<fs::perms>(c.fileMode));
    fs::permissions(work, static_cast<fs::perms>(c.folderMode));
    std::string message;
    const bool saved = quillet::test::RunAsOrdinaryUser(
        [&](std::string* why) {
          QString target = QString::fromStdString((work / c.saveTo).string());
          const bool ok = render()->SaveFile(target, QString::fromStdString(fresh));
          if (!g_seam.messages.empty()) *why = g_seam.messages.back().first.toStdString();
          return ok;
        },
        &message);
    fs::permissions(work, static_cast<fs::perms>(0755));
    EXPECT_EQ(saved, c.saved) << message;
    if (c.saved) {
      EXPECT_EQ(message, "");
    } else {
      EXPECT_NE(message.find(c.saveTo), std::string::npos) << "the refusal is reported: " << message;
    }
    EXPECT_EQ(ReadAll(real), c.saved ? fresh : old);
    EXPECT_EQ(static_cast<mode_t>(fs::status(real).permissions()), c.fileMode);
    EXPECT_TRUE(fs::is_symlink(work / "link.nc"));
    EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 2) << "no temporary is left";
  }
}

TEST_F(Viewer, UnsavedEditsAreAskedForBeforeAnotherFileOpensAndOnClosing) {
  Start();
  const fs::path file = dir / "edit.nc";
  fs::copy_file(plat::ExePath("samples/drill_pattern.nc"), file);
  Open(QString::fromStdString(file.string()));
  ASSERT_TRUE(WaitLoader());
  auto* page = dynamic_cast<CDlgCodeEdit*>(main->codePage());
  ASSERT_TRUE(page);
  page->editor()->moveCursor(QTextCursor::Start);
  page->editor()->insertPlainText("(EDITED)\n");
  g_seam.openCalls = 0;
  g_seam.answers = {UiSeam::Answer::Cancel};
  EXPECT_FALSE(render()->OnOpenNcFile());
  EXPECT_EQ(g_seam.openCalls, 0) << "cancelled before the file dialog";
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

// A common variable changed while the variables file could not be written
// back (a UTF-16 copy is never written over) is told when the viewer
// closes, in a message box naming the file; the file keeps its bytes.
TEST_F(Viewer, ClosingTellsOfDataTablesThatCouldNotBeSaved) {
  const fs::path vars = plat::ExePath("fanuc/variables.txt");
  const std::string shipped = ReadAll(vars);
  std::string utf16("\xFF\xFE", 2);
  for (char c : std::string("0 0\r\n1.5 2\r\n")) utf16 += std::string{c, '\0'};
  std::ofstream(vars, std::ios::binary | std::ios::trunc) << utf16;
  Start();
  {
    std::lock_guard lib(LibraryMutex());
    unsigned kind = 3;
    int row = 1, col = 0;
    double value = 7.25;
    Code_SetData(&kind, &row, &col, &value);
  }
  main->close();
  EXPECT_FALSE(main->isVisible());
  ASSERT_EQ(g_seam.messages.size(), 1u);
  EXPECT_EQ(g_seam.messages[0].second, UiSeam::Icon::Warning);
  EXPECT_TRUE(g_seam.messages[0].first.contains(QString::fromStdString(vars.string()))) << g_seam.messages[0].first.toStdString();
  EXPECT_EQ(ReadAll(vars), utf16);
  main.reset();
  std::ofstream(vars, std::ios::binary | std::ios::trunc) << shipped;
}

TEST_F(Viewer, ClosingDuringALongSimulationStopsIt) {
  Start();
  Open(Sample("contour_arcs.nc"));
  ASSERT_TRUE(WaitLoader());
  const std::size_t whole = Commands().Size();
  SetAppendHook([] { std::this_thread::sleep_for(std::chrono::milliseconds(40)); });  // now it takes seconds
  Open(Sample("contour_arcs.nc"));
  ASSERT_TRUE(render()->loaderRunning());
  EXPECT_FALSE(render()->HighlightBlock(3)) << "no interface call while the loader is in the library";
  EXPECT_TRUE(QTest::qWaitFor([&] { return PathPixels(render()->view()) > 200; }, 5000)) << "painting goes on";
  const auto start = std::chrono::steady_clock::now();
  main->close();
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.5);
  EXPECT_FALSE(main->isVisible());
  EXPECT_FALSE(render()->loaderRunning());
  const auto records = Commands().Snapshot();
  EXPECT_TRUE(!records.empty() && records.back().kind == kStopAutoKind);
  EXPECT_LT(records.size(), whole);
}

TEST_F(Viewer, ANewLoadDuringASimulationStopsTheOldOne) {
  Start();
  Open(Sample("contour_arcs.nc"));
  ASSERT_TRUE(WaitLoader());
  const std::size_t alone = Commands().Size();
  SetAppendHook([] { std::this_thread::sleep_for(std::chrono::milliseconds(40)); });
  Open(Sample("drill_pattern.nc"));
  ASSERT_TRUE(render()->loaderRunning());
  SetAppendHook(nullptr);
  Open(Sample("contour_arcs.nc"));
  ASSERT_TRUE(WaitLoader());
  EXPECT_EQ(Commands().Size(), alone) << "only the records of the last load";
  EXPECT_EQ(Commands().Snapshot().back().kind, kStopAutoKind);
}

// ------------------------------------------------------------ memory

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(PackedCommands, EveryRecordComesBackBitForBitAcrossBlocks) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // Values that are zero, minus zero, equal to their position or not, and
  // values no packing may turn into others.
  const std::vector<std::array<double, 13>> values = {
      {},
      {1, 2, 3, 1, 2, 3, 0, 0, 0, 0, 0, 0, 1500},              // X, Y, Z values at their positions
      {-0.0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -0.0},           // minus zero is kept
      {5, -0.0, 7, 5, 0, 8, 0.5, -0.25, 0, 12.5, 3, 1, 100},   // -0.0 against +0.0 is a difference
      {nan, inf, -inf, nan, 1e300, -1e-300, nan, 0, 0, 0, 0, 0, 0},
      {0, 0, 0, 10.123456789, -20.5, 30.0001, 0, 0, 0, 0, 0, 0, 0}};
  std::vector<CommandRecord> in;
  for (int i = 0; i < 3 * static_cast<int>(CommandStore::kBlockRecords) + 17; ++i) {
    CommandRecord r;
    r.line = i % 7 == 0 ? -i : i * 1000003;
    r.kind = static_cast<short>(i % 40 - 3);
    const auto& v = values[static_cast<std::size_t>(i) % values.size()];
    std::copy(v.begin(), v.end(), r.values);
    in.push_back(r);
  }
  CommandStore store;
  for (const CommandRecord& r : in) ASSERT_TRUE(store.Append(r));
  ASSERT_EQ(store.Size(), in.size());
  const std::vector<CommandRecord> all = store.Snapshot();
  for (std::size_t i = 0; i < in.size(); ++i) {
    CommandRecord one;
    ASSERT_TRUE(store.At(i, one));
    for (const CommandRecord* out : {static_cast<const CommandRecord*>(&all[i]), static_cast<const CommandRecord*>(&one)}) {
      EXPECT_EQ(out->line, in[i].line) << i;
      EXPECT_EQ(out->kind, in[i].kind) << i;
      for (int k = 0; k < 13; ++k) EXPECT_TRUE(SameBits(out->values[k], in[i].values[k])) << i << " value " << k;
    }
  }
  CommandRecord none;
  EXPECT_FALSE(store.At(in.size(), none));
  // A plain feed move (three positions and a feed) takes five words, not
  // the fourteen of an unpacked record.
  CommandStore moves;
  for (int i = 0; i < 10000; ++i) {
    CommandRecord r;
    r.kind = 2;
    r.line = i;
    r.values[0] = r.values[3] = i * 0.01;
    r.values[1] = r.values[4] = 5.5;
    r.values[2] = r.values[5] = -1;
    r.values[12] = 1200;
    moves.Append(r);
  }
  EXPECT_LE(moves.HeldBytes(), 10000u * 5 * 8 + 64 * 1024);
  store.Clear();
  EXPECT_EQ(store.Size(), 0u);
  EXPECT_FALSE(store.At(0, none));
}

TEST(LargeEditorText, TheDocumentHoldsExactlyTheTextGivenWhateverItsCharacters) {
  // Large texts reach the editor's document piece by piece from 8-bit text
  // when every character is Latin-1, and whole otherwise; either way the
  // document is what the plain text makes of it, CR LF line ends included
  // where a piece ends.
  QString latin;
  for (int i = 0; latin.size() < 3 * CXRichEdit::kBackgroundBytes / 2; ++i)
    latin += QStringLiteral("N%1 G01 X%2 Y-1.5 (caf\u00e9)\r\n").arg(i).arg(i * 0.25);
  const QString chinese = latin + QStringLiteral("(\u6d4b\u8bd5) M30\n");
  for (const QString& text : {latin, chinese}) {
    CXRichEdit edit;
    QSignalSpy ready(&edit, &CXRichEdit::textReady);
    edit.SetCodeText(text);
    ASSERT_TRUE(edit.IsPreparing());
    EXPECT_EQ(edit.CodeText(), text) << "while the document is prepared, the text itself";
    ASSERT_TRUE(ready.wait(60000));
    QTextDocument reference;
    reference.setPlainText(text);
    EXPECT_EQ(edit.document()->blockCount(), reference.blockCount());
    EXPECT_TRUE(edit.CodeText() == reference.toPlainText());
  }
}

std::size_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

#ifndef __SANITIZE_ADDRESS__  // the sanitizer's allocator keeps its own books
TEST(LargeEditorText, TheEditorLaysOutOnlyTheLinesItShows) {
  // A line layout for every line of a large program would more than double
  // what its document takes (about 270 bytes a line): the editor lays out
  // only the lines in view, also after it was resized.
  constexpr int kLines = 200000;
  QString text;
  text.reserve(kLines * 28);
  for (int i = 0; i < kLines; ++i) text += QStringLiteral("N%1 G01 X%2 Y-1.5 Z-0.25\n").arg(i).arg(i * 0.25);
  CXRichEdit edit;
  edit.resize(400, 300);
  edit.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
  QSignalSpy ready(&edit, &CXRichEdit::textReady);
  malloc_trim(0);
  const std::size_t before = HeapInUse();
  edit.SetCodeText(text);
  ASSERT_TRUE(ready.wait(60000));
  edit.resize(800, 300);
  QApplication::processEvents();
  const double perLine = (static_cast<double>(HeapInUse()) - static_cast<double>(before)) / kLines;
  EXPECT_LT(perLine, 400.0);
  RecordProperty("editor_bytes_per_line", static_cast<int>(perLine));
}
#endif

class LoadMemory : public Viewer {
 protected:
  void SetUp() override {
    Viewer::SetUp();
    Start();
  }
  void TearDown() override {
    SetAvailableMemoryForTests(0);
    InjectLoadAllocationFailure(LoadStage::None);
    Viewer::TearDown();
  }
  // Opens `path` through the open dialog and waits for the loader to end
  // and the text to reach the editor (when a load happens).
  void Open(const QString& path) {
    Viewer::Open(path);
    ASSERT_TRUE(WaitLoader(60000));
    auto* page = dynamic_cast<CDlgCodeEdit*>(main->codePage());
    ASSERT_TRUE(page);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->IsPreparing(); }, 60000));
  }
};

TEST_F(LoadMemory, AProgramTooLargeForTheMemoryIsLoadedOnlyWhenTheUserSaysSo) {
  const QString sample = Sample("contour_arcs.nc");
  const auto bytes = static_cast<std::uint64_t>(fs::file_size(sample.toStdString()));
  // Enough memory: no question.
  SetAvailableMemoryForTests(bytes * kLoadBytesPerTextByte + 1);
  Open(sample);
  EXPECT_TRUE(g_seam.questions.empty());
  ASSERT_GT(Commands().Size(), 0u);
  const QString loadedText = main->GetCodeText();

  // Too little: asked (naming the file), and No leaves everything as it was.
  SetAvailableMemoryForTests(bytes * kLoadBytesPerTextByte / 2);
  const std::size_t commands = Commands().Size();
  Open(Sample("drill_pattern.nc"));
  ASSERT_EQ(g_seam.questions.size(), 1u);
  EXPECT_TRUE(g_seam.questions[0].contains("drill_pattern.nc")) << g_seam.questions[0].toStdString();
  EXPECT_EQ(Commands().Size(), commands);
  EXPECT_EQ(main->render()->currentPath(), sample);
  EXPECT_EQ(main->GetCodeText(), loadedText);

  // Yes loads it.
  g_seam.answers = {UiSeam::Answer::Yes};
  Open(Sample("drill_pattern.nc"));
  EXPECT_EQ(g_seam.questions.size(), 2u);
  EXPECT_EQ(main->render()->currentPath(), Sample("drill_pattern.nc"));
  EXPECT_NE(main->GetCodeText(), loadedText);
  EXPECT_TRUE(g_seam.messages.empty());
}

// The memory runs out once, at the next command stored.
std::atomic<bool> g_commandsFailOnce{false};
void ThrowBadAllocOnce() {
  if (g_commandsFailOnce.exchange(false)) throw std::bad_alloc();
}

TEST_F(LoadMemory, RunningOutOfMemoryEndsTheLoadWithAMessageAndTheViewerGoesOn) {
  struct Case {
    const char* name;
    LoadStage stage;
    AppendHook hook;
    bool beforeTheDialogCloses;  // else the program may already be in the editor
  };
  const Case cases[] = {{"reading the file", LoadStage::Read, nullptr, true},
                        {"copying the text", LoadStage::Text, nullptr, true},
                        {"parsing", LoadStage::Parse, nullptr, true},
                        {"copying the tool path", LoadStage::PathCopy, nullptr, true},
                        {"storing the commands", LoadStage::None, &ThrowBadAllocOnce, false}};
  const QString good = Sample("contour_arcs.nc");
  const QString big = Sample("surface_3d.nc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_seam.messages.clear();
    InjectLoadAllocationFailure(LoadStage::None);
    SetAppendHook(nullptr);
    Open(good);
    ASSERT_TRUE(g_seam.messages.empty());
    const QString goodText = main->GetCodeText();
    const std::size_t goodCommands = Commands().Size();
    ASSERT_TRUE(main->render()->view()->scene().render()->data);
    const std::size_t goodVertices = main->render()->view()->scene().render()->data->vertexCount();
    ASSERT_GT(goodVertices, 0u);

    InjectLoadAllocationFailure(c.stage);
    g_commandsFailOnce = true;
    SetAppendHook(c.hook);
    Open(big);
    ASSERT_EQ(g_seam.messages.size(), 1u);
    EXPECT_EQ(g_seam.messages[0].second, UiSeam::Icon::Error);
    EXPECT_TRUE(g_seam.messages[0].first.contains("memory")) << g_seam.messages[0].first.toStdString();
    EXPECT_TRUE(main->render()->lastLoadOutOfMemory());
    EXPECT_FALSE(CommandsRanOutOfMemory());
    ASSERT_TRUE(main->render()->view()->scene().render());
    const CRenderData* drawn = main->render()->view()->scene().render()->data.get();
    if (c.beforeTheDialogCloses) {
      // The editor and its path still belong together.
      EXPECT_EQ(main->render()->currentPath(), good);
      EXPECT_EQ(main->GetCodeText(), goodText);
    }
    // The view and the commands show the program shown before (drawn again
    // from the editor), nothing of the failed load. A failure after the
    // progress dialog closed, when the editor may already hold the new text,
    // shows no program at all.
    ASSERT_TRUE(drawn);
    if (c.beforeTheDialogCloses || main->GetCodeText() == goodText) {
      EXPECT_EQ(main->GetCodeText(), goodText);
      EXPECT_EQ(Commands().Size(), goodCommands);
      EXPECT_EQ(drawn->vertexCount(), goodVertices);
    } else {
      EXPECT_EQ(main->GetCodeText(), QString());
      EXPECT_EQ(Commands().Size(), 0u);
      EXPECT_EQ(drawn->vertexCount(), 0u);
    }

    // The next load works in full.
    InjectLoadAllocationFailure(LoadStage::None);
    SetAppendHook(nullptr);
    Open(big);
    EXPECT_EQ(g_seam.messages.size(), 1u);
    EXPECT_FALSE(main->render()->lastLoadOutOfMemory());
    EXPECT_EQ(main->render()->currentPath(), big);
    EXPECT_GT(Commands().Size(), 100u);
    EXPECT_EQ(Commands().Snapshot().back().kind, kStopAutoKind);
    drawn = main->render()->view()->scene().render()->data.get();
    ASSERT_TRUE(drawn);
    EXPECT_GT(drawn->vertexCount(), 100u);
  }
}

TEST_F(LoadMemory, ALargeProgramLetGoForALoadThatFailsComesBack) {
  // A program large enough that its document is let go while another file
  // loads.
  const fs::path file = fs::temp_directory_path() / ("ravik_shelf_" + std::to_string(getpid()) + ".nc");
  ASSERT_TRUE(plat::WriteFileAtomic(file.string(), quillet::bench::MakeSurfacingProgram(100000)));
  const QString large = QString::fromStdString(file.string());
  Open(large);
  const QString text = main->GetCodeText();
  ASSERT_GE(text.size(), CXRichEdit::kBackgroundBytes);

  InjectLoadAllocationFailure(LoadStage::PathCopy);
  bool letGo = false;  // looked at while the progress dialog runs
  QTimer::singleShot(0, main.get(), [&] { letGo = main->render()->loadInProgress() && main->GetCodeText().isEmpty(); });
  Open(Sample("contour_arcs.nc"));
  EXPECT_TRUE(letGo) << "the editor held nothing while the other file loaded";
  ASSERT_EQ(g_seam.messages.size(), 1u);
  auto* page = dynamic_cast<CDlgCodeEdit*>(main->codePage());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !page->IsPreparing(); }, 60000));
  EXPECT_TRUE(main->GetCodeText() == text) << "the large program is back in the editor";
  EXPECT_EQ(main->render()->currentPath(), large);
  fs::remove(file);
}

TEST_F(LoadMemory, TheViewerHoldsAFewHundredBytesPerProgramLine) {
  // Two CAM surfacing programs, the second replacing the first: the growth
  // of the heap in use between them, over the growth in lines, is what one
  // more program line costs, without the costs that do not grow with the
  // program. The bound leaves a third to spare (the viewer with the library
  // and the text took about 640 bytes a line at these sizes when it was
  // written, and over 1.1 KB before); it catches a cost per line that comes
  // back (an editor line layout per line alone is about 300 bytes), not noise.
  constexpr std::size_t kSmall = 100000, kLarge = 300000;
  auto load = [&](std::size_t lines) {
    const fs::path file = fs::temp_directory_path() / ("ravik_memory_" + std::to_string(getpid()) + ".nc");
    EXPECT_TRUE(plat::WriteFileAtomic(file.string(), quillet::bench::MakeSurfacingProgram(lines)));
    Open(QString::fromStdString(file.string()));
    fs::remove(file);
    QApplication::processEvents();
    return HeapInUse();
  };
  const std::size_t small = load(kSmall);
  const std::size_t large = load(kLarge);
  ASSERT_TRUE(g_seam.messages.empty());
  const double perLine = (static_cast<double>(large) - static_cast<double>(small)) / (kLarge - kSmall);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's allocator keeps its own books
  EXPECT_GT(small, 100u * kSmall) << "the heap in use is measured at all";
  EXPECT_LT(perLine, 850.0);
#endif
  // What this viewer keeps per line, each with room to spare.
  const std::size_t commands = Commands().Size();
  ASSERT_GT(commands, kLarge);
  EXPECT_LT(static_cast<double>(Commands().HeldBytes()) / commands, 64.0) << "packed command records";
  const CRenderData* drawn = main->render()->view()->scene().render()->data.get();
  ASSERT_TRUE(drawn);
  EXPECT_LT(static_cast<double>(drawn->HeldBytes()) / kLarge, 24.0) << "the view's copy, once in buffers";
  RecordProperty("heap_bytes_per_line", static_cast<int>(perLine));
}

}  // namespace

// The viewer writes its data tables and layout files back beside the
// executable; the tests run it on a scratch copy of that folder so they never
// change the build's files or depend on one another's leftovers.
class ScratchExeFolder {
 public:
  ScratchExeFolder() {
    namespace fs = std::filesystem;
    const fs::path real = plat::ExeDir();
    m_path = fs::temp_directory_path() / ("ravik_gui_" + std::to_string(::getpid()));
    fs::remove_all(m_path);
    fs::create_directories(m_path);
    for (const char* name : {"fanuc", "language", "coderule", "samples", "vertexShader.glsl", "fragmentShader.glsl",
                           "ravik.png"})
      fs::copy(real / name, m_path / name, fs::copy_options::recursive);
    for (const auto& e : fs::directory_iterator(RAVIK_SHIPPED_DATA)) {
      const std::string name = e.path().filename().string();
      if (name.rfind("dlg_", 0) == 0) fs::copy_file(e.path(), m_path / name);
    }
    // The shipped tables, not the ones a previous run wrote back.
    fs::remove_all(m_path / "fanuc");
    fs::copy(fs::path(RAVIK_SHIPPED_DATA) / "fanuc", m_path / "fanuc", fs::copy_options::recursive);
    plat::SetExeDirOverride(m_path.string());
  }
  ~ScratchExeFolder() {
    plat::SetExeDirOverride("");
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }

 private:
  std::filesystem::path m_path;
};

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ScratchExeFolder scratch;
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
