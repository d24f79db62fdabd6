// Bytes the interpreter holds per program line (parsed program and its
// path), counted with the allocator's own figures inside this process, and
// the end of a parse that runs out of memory.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "ProgramFixture.h"
#include "bench/core/SurfaceProgram.h"
#include "mod_gcode/export/LibraryState.h"
#include "platform/Text.h"
#include "tests/support/Sanitized.h"

namespace quillet::test {
namespace {

// Bytes handed out by the allocator and not yet freed.
double BytesInUse() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<double>(m.uordblks) + static_cast<double>(m.hblkhd);
}

class MemoryTest : public ProgramTest {
 protected:
  // The block messages the path build delivered.
  static inline std::vector<std::u16string> s_delivered;
};

TEST_F(MemoryTest, BytesPerLineStayLow) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer's allocator keeps its own books";
  struct Case {
    const char* what;
    std::u16string text;
    std::size_t blockLimit;  // 0: the default
    double units;            // lines, or executed blocks
    double maxBytesPerUnit;
  };
  const std::size_t kLines = 300000;
  const std::size_t kExecuted = 400000;
  const Case cases[] = {
      // A CAM surfacing program: one G01 X Y Z line per point. The parse
      // and its path take about 153 bytes a line from the allocator (232
      // resident before the storage was reworked); the bound leaves room
      // for chunk rounding.
      {"surfacing", plat::AnsiToWideString(bench::MakeSurfacingProgram(kLines)), 0, static_cast<double>(kLines),
       170.0},
      // An endless two-line loop stopped by the executed-block limit: every
      // executed block is kept with its path (about 84 bytes each; 190
      // before).
      {"endless loop", u"%\nO1000\nN10 G00 X1\nGOTO 10\n%\n", kExecuted, static_cast<double>(kExecuted), 100.0},
  };
  for (const Case& c : cases) {
    CGCProgram::SetExecutedBlockLimit(c.blockLimit);
    const double before = BytesInUse();
    CGCProgramPath& program = Parse(c.text);
    PathGroups* paths = program.GetCutterPath(false);
    ASSERT_NE(paths, nullptr) << c.what;
    EXPECT_GT(paths->size(), static_cast<std::size_t>(c.units * 0.99)) << c.what;
    const double perUnit = (BytesInUse() - before) / c.units;
    EXPECT_LT(perUnit, c.maxBytesPerUnit) << c.what;
    m_program.reset();
  }
}

// Every kind of endless loop ends with a message once the parse holds the
// memory limit (lowered here to 48 MB), and the parse with its path then
// holds not much more than that: lines, arcs, compensated arcs, cycles,
// pecks, sub-program and macro calls, modal macro calls and long blocks.
TEST_F(MemoryTest, EveryLoopKindEndsWithinTheMemoryLimit) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer's allocator keeps its own books";
  const std::string folder = s_folder + "/loops";
  std::filesystem::create_directories(folder);
  auto write = [&](const char* name, const std::string& text) {
    std::ofstream(folder + "/" + name, std::ios::binary) << text;
  };
  write("O7010.nc", "G91 G01 X0.001 F100\nM99\n");
  std::string small;
  for (int i = 0; i < 2000; ++i) small += i % 2 ? "X-0.001 Y0.001\n" : "X0.001 Y-0.001\n";
  write("O7020.nc", small + "M99\n");
  std::string longLine = "G91 G01";
  for (int i = 0; i < 20000; ++i) longLine += " X0.001";
  write("O7030.nc", longLine + "\nM99\n");
  std::string words;
  for (int i = 0; i < 50; ++i) words += " X0.001";
  SetToolOffset(1, 2, 4.0);  // D1: a cutter of diameter 4
  const struct {
    const char* what;
    std::string program;
    bool stopsOnWork = false;  // on the characters it runs, before the memory
  } cases[] = {
      {"lines", "G91 G01 F100\nN10 X0.001\nGOTO 10\n"},
      {"arcs", "G01 X0 Y0 F100\nN10 G02 X0 Y0 I10 J0\nGOTO 10\n"},
      {"compensated arcs", "G41 D1 G01 X0 Y-1 F100\nN10 G02 X0 Y-1 I10 J0\nGOTO 10\n"},
      {"cycles", "N10 G99 G81 X1 Y0 Z-5 R2 F100\nGOTO 10\n"},
      {"pecks", "WHILE [1 LT 2] DO1\nG99 G83 X1 Y0 Z-5 R2 Q0.5 F100\nEND1\n"},
      {"calls", "N10 M98 P7010\nGOTO 10\n"},
      {"macro calls", "N10 G65 P7010\nGOTO 10\n"},
      {"modal macro calls", "G66 P7010\nN10 G91 G01 Y0.001 F100\nGOTO 10\n"},
      {"calls of many lines", "M98 P7020 L9999\n"},
      {"calls of a long line", "M98 P7030 L9999\n", true},
      {"long blocks", "G91 G01 F100\nN10" + words + "\nGOTO 10\n"},
  };
  constexpr std::size_t kLimit = std::size_t{48} << 20;
  CGCProgram::SetMemoryLimit(kLimit);
  for (const auto& c : cases) {
    // Memory freed before is given back, so that the run's resident memory
    // grows with what it takes.
    malloc_trim(0);
    const double before = BytesInUse();
    CGCProgramPath& program = ParseIn(folder, std::u16string(c.program.begin(), c.program.end()));
    s_delivered.clear();
    Lib().message = [](char16_t*, int*, int*, char16_t* text) { s_delivered.emplace_back(text); };
    PathGroups* paths = program.GetCutterPath(false);
    Lib().message = nullptr;
    const double held = BytesInUse() - before;
    ASSERT_EQ(s_delivered.size(), 1u) << c.what;
    EXPECT_EQ(s_delivered[0].rfind(u"Program stopped", 0), 0u) << c.what;
    EXPECT_GT(paths->size(), 1u) << c.what;
    // The path arena takes chunks of up to 16 MB: one may come on top.
    EXPECT_LT(held, 1.25 * kLimit + (16 << 20)) << c.what;
    if (!c.stopsOnWork) {
      EXPECT_GT(held, 0.75 * kLimit) << c.what << ": stopped before it held much";
    }
    m_program.reset();
  }
}

// Blocks keep the block that runs after them without a pointer of their
// own where they can: the next block made, the one after it, or a link the
// program keeps. Every kind reads back the same flow.
TEST_F(MemoryTest, NextBlockOfEveryLinkKind) {
  Parse(u"G01 X1 F100\n"  // 0: next is line 2 (the comment between is skipped)
        u"(ONE)\n"
        u"X2\n"          // 2: next is line 5, three blocks on
        u"(TWO)\n"
        u"(THREE)\n"
        u"X3\n"          // 5: next is line 6, the block made after it
        u"X4");           // 6: last
  const struct {
    int line;
    int nextLine;  // -1: none
  } cases[] = {{0, 2}, {2, 5}, {5, 6}, {6, -1}};
  for (const auto& c : cases) {
    CGCBlock* block = BlockOfLine(c.line);
    ASSERT_NE(block, nullptr) << c.line;
    EXPECT_EQ(block->GetNext(), c.nextLine < 0 ? nullptr : BlockOfLine(c.nextLine)) << c.line;
  }
  // The preamble block leads to the first line.
  EXPECT_EQ(m_program->Blocks()[0]->GetNext(), BlockOfLine(0));
}

// A parse that runs out of memory ends at a block that says so, keeps what
// it parsed before, and the next parse works. Run in a child process whose
// address space is capped a little above what it uses before the parse.
TEST_F(MemoryTest, ParseOutOfMemoryEndsWithABlockMessage) {
  if (kSanitized) GTEST_SKIP() << "the sanitizer reserves more address space than any cap allows";
  const std::u16string big = plat::AnsiToWideString(bench::MakeSurfacingProgram(2000000));
  std::fflush(stdout);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
      std::fclose(f);
    }
    const rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (96u << 20);
    const rlimit limit{cap, cap};
    if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(10);
    CGCProgramPath& program = Parse(big);
    const CBlockStore& blocks = program.Blocks();
    // Well short of the 2,000,000 lines, the last block carries the message.
    if (blocks.size() < 1000 || blocks.size() > 1900000) _exit(11);
    const auto* messages = blocks[blocks.size() - 1]->GetMessagesIfAny();
    if (!messages || messages->size() != 1 || messages->front().find(u"memory") == std::u16string::npos) _exit(12);
    m_program.reset();
    // The next, small program parses as usual.
    CGCProgramPath& next = Parse(u"G01 X1 Y2 Z3 F100\nX4\n");
    if (!Messages().empty() || next.GetCutterPath(false)->size() != next.Blocks().size()) _exit(14);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no cap, 11: block count, 12: message, 14: next parse";
}

}  // namespace
}  // namespace quillet::test
