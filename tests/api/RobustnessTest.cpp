// Programs and files that must not bring the host down or lose what a user
// wrote: calls that would repeat or nest without end, allocation failures
// inside an export, missing sub-programs, and "variables.txt" files the
// reader cannot take whole. Programs that could exhaust memory run in a
// child process with a limited address space; the child must end normally.
#include <malloc.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "platform/Threads.h"
#include "tests/api/ApiHarness.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Sanitized.h"
#include "tests/support/ScratchFolder.h"

namespace apitest {
namespace {

using quillet::test::ReadBytes;
using quillet::test::ChildEnd;
using quillet::test::ScratchFolder;
using quillet::test::kSanitized;
using quillet::test::WriteBytes;

// The process's address space now, in bytes.
// A "Vm...:" figure of /proc/self/status, in kilobytes.
std::size_t StatusKilobytes(const char* field) {
  std::size_t kb = 0;
  const std::size_t length = std::strlen(field);
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::strncmp(line, field, length) == 0) kb = std::strtoull(line + length, nullptr, 10);
    std::fclose(f);
  }
  return kb;
}

std::size_t AddressSpace() { return plat::AddressSpaceBytes(); }

// Takes up the free space of the heap, so that a limit on the address space
// holds for the allocations that follow: memory freed by earlier tests
// would otherwise be handed out again without any new mapping. The blocks
// are never freed (the process is a child that ends soon).
void TakeUpFreeHeap() {
  ::malloc_trim(0);
  for (std::size_t size : {std::size_t{64} << 10, std::size_t{4} << 10, std::size_t{256}, std::size_t{32}}) {
    for (int tries = 0; tries < 1 << 20; ++tries) {
      const std::size_t before = ::mallinfo2().fordblks;
      if (before < size) break;
      if (!std::malloc(size) || ::mallinfo2().fordblks >= before) break;  // the heap grew instead
    }
  }
}

// Runs `body` in a child process whose address space may grow by at most
// `extraBytes` (no limit in a sanitizer build); the body's text comes back
// through a pipe.
ChildEnd RunLimited(std::size_t extraBytes, const std::function<std::string()>& body) {
  return quillet::test::InChild(body, [extraBytes] {
    if (kSanitized) return;
    TakeUpFreeHeap();
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = AddressSpace() + extraBytes;
    ::setrlimit(RLIMIT_AS, &limit);
  });
}

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// Every message the host got, one a line.
std::string MessageLines() {
  std::string out;
  for (const Message& m : Log().messages) out += Narrow(m.text) + "\n";
  return out;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class Robustness : public ApiTest {
 protected:
  ScratchFolder folder;
};

constexpr std::size_t kGiB = std::size_t{1} << 30;

// Repeat counts above the control's 9999 are refused; calls that repeat and
// nest without end, and a modal call of a missing macro on every move of an
// endless loop, end with a message: the process neither aborts nor grows
// past the limit.
TEST_F(Robustness, CallsEndWithAMessageWithinBoundedMemory) {
  const struct {
    const char* name;
    std::map<std::string, std::string> files;
    const char* program;
    const char* message;
    bool runsToTheBudget;  // executes the whole block budget (slow under a sanitizer)
  } cases[] = {
      {"M98 count", {{"O1000.cnc", "M99\n"}}, "M98 P1000 L99999999\n", "Repeat count L99999999 is larger than 9999",
       false},
      {"G65 count", {{"O2000.cnc", "M99\n"}}, "G65 P2000 L99999999 A1\n", "Repeat count L99999999 is larger than 9999",
       false},
      {"M98 self call",
       {{"O1000.cnc", "G91 G01 X1 F100\nM98 P1000 L9999\nM99\n"}},
       "M98 P1000\n",
       "Sub-program O1000: calls nested too deeply",
       false},
      {"G65 self call",
       {{"O1000.cnc", "G91 G01 X1 F100\nG65 P1000 L9999\nM99\n"}},
       "G65 P1000\n",
       "Sub-program O1000: calls nested too deeply",
       false},
      {"G66 missing macro", {}, "G66 P1\nN10 G91 G01 X0.001 F100\nGOTO10\n", "Sub-program O0001 not found", true},
  };
  for (const auto& c : cases) {
    if (kSanitized && c.runsToTheBudget) continue;
    for (const auto& [name, text] : c.files) WriteBytes(folder.File(name), text);
    ChildEnd end = RunLimited(2 * kGiB, [&] {
      ParseIn(folder.Path(), W(c.program));
      return MessageLines();
    });
    EXPECT_TRUE(end.normal) << c.name << ", wait status " << end.status;
    EXPECT_EQ(Count(end.output, c.message), 1u) << c.name << ":\n" << end.output;
    for (const auto& [name, text] : c.files) std::filesystem::remove(folder.File(name));
  }
}

// The largest count runs in full: 9999 steps of X1 end at X9999.
TEST_F(Robustness, TheLargestRepeatCountRunsInFull) {
  WriteBytes(folder.File("O1000.cnc"), "G91 G01 X1 F100\nM99\n");
  for (const char* program : {"M98 P1000 L9999\nG90 G00 Y5\n", "G65 P1000 L9999\nG90 G00 Y5\n"}) {
    Log().Clear();
    PathGroups* paths = ParseIn(folder.Path(), W(program));
    EXPECT_EQ(MessageLines(), "") << program;
    ASSERT_TRUE(paths && paths->size() == 4u) << program;  // the preamble, two lines and the empty last one
    EXPECT_EQ((*paths)[1].size(), 9999u) << program;
    EXPECT_TRUE(Near(End(paths, 1), {9999, 5, 0})) << program;
  }
}

// A missing sub-program file is looked for once per parse, however many
// blocks call it. "O0001.cnc" is a folder here: opening it is how a look-up
// shows (it is then not taken as a program), and each open is counted.
TEST_F(Robustness, AMissingSubProgramIsLookedForOncePerParse) {
  const std::string probe = folder.File("O0001.cnc");
  std::filesystem::create_directory(probe);
  const int watch = ::inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watch, 0);
  // Closes are watched too: identical events in a row would be merged.
  ASSERT_GE(::inotify_add_watch(watch, probe.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
  const char* programs[] = {"G66 P1\nG91 G01 X1 F100\nX1\nX1\nX1\nG67\n", "M98 P1\nM98 P1\nG65 P1\nM98 P1 L5\n"};
  for (const char* program : programs) {
    Log().Clear();
    ParseIn(folder.Path(), W(program));
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
      for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
        opens += (reinterpret_cast<inotify_event*>(p)->mask & IN_OPEN) != 0;
    EXPECT_EQ(opens, 1) << program;
    EXPECT_EQ(MessageLines(), "Sub-program O0001 not found\n") << program;
  }
  ::close(watch);
}

// An allocation failure inside a parse ends it with a block message instead
// of leaving the library; afterwards the library parses as before.
TEST_F(Robustness, AnAllocationFailureEndsTheParseAndTheLibraryStaysUsable) {
  if (kSanitized) GTEST_SKIP() << "no address-space limit under the sanitizer";
  std::u16string big;
  for (int i = 0; i < 400000; ++i) big += u"G01 X1 Y1 F100\nG00 X0 Y0\n";
  // The text is made before the limit; the parse then has 16 MB.
  ChildEnd end = RunLimited(16u << 20, [&] {
    std::string out;
    ParseIn(folder.Path(), std::move(big));
    // Building the path may fail as well: no list then, and no exception.
    Code_CutterPath();
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_AS, &limit);
    Log().Clear();
    PathGroups* paths = Code_CutterPath();
    out += MessageLines();
    paths = ParseIn(folder.Path(), u"G00 X1 Y2 Z3\nG01 X4 F100\n");
    if (paths && paths->size() == 4u && (*paths)[2].size() == 1u && (*paths)[2][0]->PointCount() == 2) {
      const CPoint3d p = (*paths)[2][0]->Point(1);
      if (p.x == 4 && p.y == 2 && p.z == 3) out += "parsed again\n";
    }
    return out;
  });
  EXPECT_TRUE(end.normal) << "wait status " << end.status;
  // The parse ran out of memory at a block; the path built under the limit
  // may run out before it, at an earlier block, which then keeps saying so.
  EXPECT_TRUE(end.output == "Not enough memory for this program: parsing stopped at this block\nparsed again\n" ||
              end.output == "Not enough memory for this program: the tool path stops at this block\nparsed again\n")
      << end.output;
}

// A path build that runs out of memory delivers the lists up to the block
// where it ran out, which says so; the simulation ends at the same block.
TEST_F(Robustness, APathBuildOutOfMemoryKeepsThePathUpToItsBlock) {
  if (kSanitized) GTEST_SKIP() << "no address-space limit under the sanitizer";
  std::u16string big = u"G00 X0 Y0 Z0\nG91 G01 F100\n";
  for (int i = 0; i < 400000; ++i) big += u"X1\nY1\n";
  ChildEnd end = RunLimited(std::size_t{1} << 40, [&] {
    ParseOnly(big);  // in full: the limits come after the parse
    TakeUpFreeHeap();
    // The allocator falls back on the reserved room of other threads' arenas,
    // which the address space already holds: the data limit bounds that too.
    rlimit space{}, data{};
    ::getrlimit(RLIMIT_AS, &space);
    ::getrlimit(RLIMIT_DATA, &data);
    const rlimit spaceBefore = space, dataBefore = data;
    space.rlim_cur = AddressSpace() + (4u << 20);
    data.rlim_cur = StatusKilobytes("VmData:") * 1024 + (4u << 20);
    ::setrlimit(RLIMIT_AS, &space);
    ::setrlimit(RLIMIT_DATA, &data);
    PathGroups* paths = Code_CutterPath();
    ::setrlimit(RLIMIT_DATA, &dataBefore);
    ::setrlimit(RLIMIT_AS, &spaceBefore);
    std::string out = MessageLines();
    if (!paths || paths->size() < 100 || paths->size() > 800000)
      return out + "lists: " + std::to_string(paths ? paths->size() : 0) + "\n";
    // The last list ends at the lines run before it: X and Y alternate.
    const std::size_t lists = paths->size();
    const CPathList& last = (*paths)[lists - 1];
    if (last.size() != 1) return out + "last list: not one polyline\n";
    const CPoint3d end = last[0]->Point(last[0]->PointCount() - 1);
    const std::vector<Record> moves = Motions(Simulate());
    if (moves.empty() || !Near(moves.back().position, end)) return out + "simulation: not where the path ends\n";
    return out + (end.x + end.y == static_cast<double>(lists - 3) ? "ends at its block\n" : "ends elsewhere\n");
  });
  EXPECT_TRUE(end.normal) << "wait status " << end.status;
  EXPECT_EQ(end.output, "Not enough memory for this program: the tool path stops at this block\nends at its block\n");
}

// "variables.txt" files that are not exactly what the library writes: every
// row is read (a zero byte does not end the table, a UTF-16 copy is read
// through its units), and a change to a cell leaves the file as it was and
// is told: Code_SwitchData answers 1 and a message names the file, as
// Code_Uninitialize does. A plain file is written back with the change,
// without a word.
TEST_F(Robustness, AVariablesFileNotReadWholeIsNeverWrittenOver) {
  std::string plain;
  for (int i = 0; i < 100; ++i) plain += std::to_string(i) + " 2\r\n";
  auto utf16 = [&](bool big, bool mark) {
    std::string out = mark ? (big ? std::string("\xFE\xFF") : std::string("\xFF\xFE")) : std::string();
    for (char c : plain) out += big ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
  };
  std::string withZero = plain;
  withZero.insert(withZero.find("40 2\r\n") + 4, 1, '\0');
  std::string unreadable = plain;
  unreadable.replace(unreadable.find("\r\n60 2\r\n") + 2, 4, "6#0 2");
  const struct {
    const char* name;
    std::string bytes;
    bool writable;
  } cases[] = {{"plain", plain, true},
               {"zero byte after row 40", withZero, false},
               {"unreadable row 60", unreadable, false},
               {"UTF-16LE with mark", utf16(false, true), false},
               {"UTF-16LE without mark", utf16(false, false), false},
               {"UTF-16BE with mark", utf16(true, true), false}};
  for (const auto& c : cases) {
    WriteBytes(TablePath("variables.txt"), c.bytes);
    ASSERT_EQ(SwitchData(dataRoot), 0);
    unsigned kind = 3;
    int rows = 0, cols = 0;
    Code_GetDataCount(&kind, &rows, &cols);
    EXPECT_EQ(rows, 100) << c.name;
    EXPECT_EQ(Cell(3, 41, 0), 41.0) << c.name;
    EXPECT_EQ(Cell(3, 99, 0), 99.0) << c.name;
    for (bool uninitialize : {false, true}) {
      SetCell(3, 5, 0, uninitialize ? 43.5 : 42.5);
      Log().Clear();
      // Stores the tables.
      if (uninitialize) {
        Code_Uninitialize();
      } else {
        EXPECT_EQ(SwitchData(dataRoot), c.writable ? 0 : 1) << c.name;
      }
      const std::string after = ReadBytes(TablePath("variables.txt"));
      if (c.writable) {
        EXPECT_NE(after.find(uninitialize ? "\r\n43.5 2\r\n" : "\r\n42.5 2\r\n"), std::string::npos) << c.name;
        EXPECT_EQ(Count(after, "\r\n"), 100u) << c.name;
        EXPECT_TRUE(Log().messages.empty()) << c.name;
      } else {
        EXPECT_EQ(after, c.bytes) << c.name;
        ASSERT_EQ(Log().messages.size(), 1u) << c.name;
        const Message& m = Log().messages[0];
        EXPECT_EQ(m.program, u"variables.txt") << c.name;
        EXPECT_EQ(std::tuple(m.line, m.sequence), std::tuple(0, 0)) << c.name;
        EXPECT_NE(m.text.find(plat::Utf8ToWide(TablePath("variables.txt"))), std::u16string::npos) << c.name;
        EXPECT_NE(m.text.find(u"not saved"), std::u16string::npos) << c.name;
      }
      if (uninitialize) StartLibrary();
    }
  }
}

// A changed tool offset table whose file exists but cannot be read (a
// folder stands in its place) is not written and is told.
TEST_F(Robustness, AnUnreadableOffsetTableIsToldNotWritten) {
  std::filesystem::remove(TablePath("offset.dat"));
  std::filesystem::create_directory(TablePath("offset.dat"));
  ASSERT_EQ(SwitchData(dataRoot), 0);
  SetCell(0, 1, 0, 2.5);
  Log().Clear();
  EXPECT_EQ(SwitchData(dataRoot), 1);
  ASSERT_EQ(Log().messages.size(), 1u);
  EXPECT_EQ(Log().messages[0].program, u"offset.dat");
  EXPECT_NE(Log().messages[0].text.find(plat::Utf8ToWide(TablePath("offset.dat"))), std::u16string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(TablePath("offset.dat")));
}

}  // namespace
}  // namespace apitest
