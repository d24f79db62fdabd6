// The viewer and memory: packed command records, the question before a
// program too large for the memory, a load that runs out of memory, and the
// bytes the viewer holds per program line. Runs in the GUI test program
// (GuiTests.cpp prepares the application and the scratch data folder).
#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTextDocument>

#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <array>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>

#include "bench/core/SurfaceProgram.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "viewer/CommandStore.h"
#include "viewer/DlgRender.h"
#include "viewer/RavikDlg.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/EditCtrls.h"
#include "viewer/pages/DlgCodeEdit.h"

namespace fs = std::filesystem;
using namespace ravik;

namespace {

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

struct MemorySeam : UiSeam {
  void Message(QWidget*, const QString&, const QString& text, Icon icon) override { messages.push_back({text, icon}); }
  Answer Question(QWidget*, const QString&, const QString& text, bool) override {
    questions.push_back(text);
    if (answers.empty()) return Answer::No;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  QString OpenFileName(QWidget*, const QString&) override { return openPath; }
  QString SaveFileName(QWidget*, const QString&) override { return {}; }
  std::vector<std::pair<QString, Icon>> messages;
  std::vector<QString> questions;
  std::deque<Answer> answers;
  QString openPath;
};

class LoadMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = &Ui();
    SetUiSeam(&seam);
    main = std::make_unique<CRavikDlg>();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return main->render()->view()->glReady(); }, 5000));
  }
  void TearDown() override {
    SetAvailableMemoryForTests(0);
    InjectLoadAllocationFailure(LoadStage::None);
    SetAppendHook(nullptr);
    main->close();
    main.reset();
    SetUiSeam(previous);
  }
  // Opens `path` through the open dialog and waits for the loader to end
  // and the text to reach the editor (when a load happens).
  void Open(const QString& path) {
    CDlgRender* render = main->render();
    QSignalSpy ended(render, &CDlgRender::loadFinished);
    seam.openPath = path;
    if (!render->OnOpenNcFile()) return;
    if (render->loaderRunning()) {
      ASSERT_TRUE(ended.wait(60000));
    }
    auto* page = dynamic_cast<CDlgCodeEdit*>(main->codePage());
    ASSERT_TRUE(page);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->IsPreparing(); }, 60000));
  }
  QString Sample(const char* name) const {
    return QString::fromStdString(plat::ExePath(std::string("samples/") + name));
  }
  MemorySeam seam;
  UiSeam* previous = nullptr;
  std::unique_ptr<CRavikDlg> main;
};

TEST_F(LoadMemory, AProgramTooLargeForTheMemoryIsLoadedOnlyWhenTheUserSaysSo) {
  const QString sample = Sample("contour_arcs.nc");
  const auto bytes = static_cast<std::uint64_t>(fs::file_size(sample.toStdString()));
  // Enough memory: no question.
  SetAvailableMemoryForTests(bytes * kLoadBytesPerTextByte + 1);
  Open(sample);
  EXPECT_TRUE(seam.questions.empty());
  ASSERT_GT(Commands().Size(), 0u);
  const QString loadedText = main->GetCodeText();

  // Too little: asked (naming the file), and No leaves everything as it was.
  SetAvailableMemoryForTests(bytes * kLoadBytesPerTextByte / 2);
  const std::size_t commands = Commands().Size();
  Open(Sample("drill_pattern.nc"));
  ASSERT_EQ(seam.questions.size(), 1u);
  EXPECT_TRUE(seam.questions[0].contains("drill_pattern.nc")) << seam.questions[0].toStdString();
  EXPECT_EQ(Commands().Size(), commands);
  EXPECT_EQ(main->render()->currentPath(), sample);
  EXPECT_EQ(main->GetCodeText(), loadedText);

  // Yes loads it.
  seam.answers = {UiSeam::Answer::Yes};
  Open(Sample("drill_pattern.nc"));
  EXPECT_EQ(seam.questions.size(), 2u);
  EXPECT_EQ(main->render()->currentPath(), Sample("drill_pattern.nc"));
  EXPECT_NE(main->GetCodeText(), loadedText);
  EXPECT_TRUE(seam.messages.empty());
}

void ThrowBadAlloc() { throw std::bad_alloc(); }

TEST_F(LoadMemory, RunningOutOfMemoryEndsTheLoadWithAMessageAndTheViewerGoesOn) {
  struct Case {
    const char* name;
    LoadStage stage;
    AppendHook hook;
    bool beforeTheDialogCloses;  // else the program may already be in the editor
  };
  const Case cases[] = {{"copying the text", LoadStage::Text, nullptr, true},
                        {"copying the tool path", LoadStage::PathCopy, nullptr, true},
                        {"storing the commands", LoadStage::None, &ThrowBadAlloc, false}};
  const QString good = Sample("contour_arcs.nc");
  const QString big = Sample("surface_3d.nc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    seam.messages.clear();
    InjectLoadAllocationFailure(LoadStage::None);
    SetAppendHook(nullptr);
    Open(good);
    ASSERT_TRUE(seam.messages.empty());
    const QString goodText = main->GetCodeText();

    InjectLoadAllocationFailure(c.stage);
    SetAppendHook(c.hook);
    Open(big);
    ASSERT_EQ(seam.messages.size(), 1u);
    EXPECT_EQ(seam.messages[0].second, UiSeam::Icon::Error);
    EXPECT_TRUE(seam.messages[0].first.contains("memory")) << seam.messages[0].first.toStdString();
    EXPECT_TRUE(main->render()->lastLoadOutOfMemory());
    EXPECT_EQ(Commands().Size(), 0u) << "the records of a failed load are dropped";
    EXPECT_FALSE(CommandsRanOutOfMemory());
    if (c.beforeTheDialogCloses) {
      // The editor and its path still belong together.
      EXPECT_EQ(main->render()->currentPath(), good);
      EXPECT_EQ(main->GetCodeText(), goodText);
    }
    ASSERT_TRUE(main->render()->view()->scene().render());
    const CRenderData* drawn = main->render()->view()->scene().render()->data.get();
    EXPECT_TRUE(!drawn || drawn->empty()) << "the view shows no path of the failed load";

    // The next load works in full.
    InjectLoadAllocationFailure(LoadStage::None);
    SetAppendHook(nullptr);
    Open(big);
    EXPECT_EQ(seam.messages.size(), 1u);
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
  ASSERT_EQ(seam.messages.size(), 1u);
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
  ASSERT_TRUE(seam.messages.empty());
  const double perLine = (static_cast<double>(large) - static_cast<double>(small)) / (kLarge - kSmall);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's allocator keeps its own books
  EXPECT_GT(small, 100u * kSmall) << "the heap in use is measured at all";
  EXPECT_LT(perLine, 850.0);
#endif
  // The parts this viewer keeps per line, each with room to spare.
  const std::size_t commands = Commands().Size();
  ASSERT_GT(commands, kLarge);
  EXPECT_LT(static_cast<double>(Commands().HeldBytes()) / commands, 64.0) << "packed command records";
  const CRenderData* drawn = main->render()->view()->scene().render()->data.get();
  ASSERT_TRUE(drawn);
  EXPECT_LT(static_cast<double>(drawn->HeldBytes()) / kLarge, 24.0) << "the view's copy, once in buffers";
  RecordProperty("heap_bytes_per_line", static_cast<int>(perLine));
}

}  // namespace
