// The crash handler, seen from outside: a child process installs it and
// faults; the dump file and the printed line are checked.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct ChildResult {
  int status = 0;
  std::string out;
};

// Runs the crash child with `how` in the folder `cwd` (made current in the
// child only) and collects its standard output.
ChildResult RunChild(const std::string& how, const fs::path& cwd, bool removeCwdFirst = false) {
  int pipefd[2];
  EXPECT_EQ(pipe(pipefd), 0);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], STDOUT_FILENO);
    close(pipefd[0]);
    close(pipefd[1]);
    if (chdir(cwd.c_str()) != 0) _exit(90);
    if (removeCwdFirst && rmdir(cwd.c_str()) != 0) _exit(91);
    // A sanitizer must not take the signals before the handler does.
    setenv("ASAN_OPTIONS", "handle_segv=0:handle_sigfpe=0:handle_abort=0:allow_user_segv_handler=1", 1);
    setenv("UBSAN_OPTIONS", "handle_segv=0:handle_sigfpe=0:handle_abort=0", 1);
    execl(CRASH_CHILD, CRASH_CHILD, how.c_str(), static_cast<char*>(nullptr));
    _exit(92);
  }
  close(pipefd[1]);
  ChildResult r;
  char buf[512];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof(buf))) > 0) r.out.append(buf, static_cast<std::size_t>(n));
  close(pipefd[0]);
  waitpid(pid, &r.status, 0);
  return r;
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class CrashDump : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ravik_crash_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_F(CrashDump, SegmentationFaultWritesDumpWithSignalAddressBacktraceAndMap) {
  ChildResult r = RunChild("segv", dir);
  ASSERT_TRUE(WIFEXITED(r.status)) << "the handler ends the process itself";
  EXPECT_EQ(WEXITSTATUS(r.status), 128 + SIGSEGV);
  EXPECT_EQ(r.out, "Create Dump File Success!\n");
  const std::string dump = ReadAll(dir / "123.dmp");
  EXPECT_NE(dump.find("signal: 11 (SIGSEGV)"), std::string::npos) << dump.substr(0, 300);
  // The child read from address 0x10.
  EXPECT_NE(dump.find("address: 0x10\n"), std::string::npos);
  EXPECT_NE(dump.find("backtrace:\n"), std::string::npos);
  EXPECT_NE(dump.find("ravik_crash_child"), std::string::npos) << "frames and map name the program";
  EXPECT_NE(dump.find("[stack]"), std::string::npos) << "the memory map is included";
}

TEST_F(CrashDump, OtherSignalsAndUncaughtExceptions) {
  ChildResult fpe = RunChild("fpe", dir);
  EXPECT_EQ(fpe.out, "Create Dump File Success!\n");
  EXPECT_NE(ReadAll(dir / "123.dmp").find("(SIGFPE)"), std::string::npos);

  ChildResult abrt = RunChild("abort", dir);
  EXPECT_EQ(abrt.out, "Create Dump File Success!\n");
  // Written anew, not appended.
  const std::string dump = ReadAll(dir / "123.dmp");
  EXPECT_NE(dump.find("(SIGABRT)"), std::string::npos);
  EXPECT_EQ(dump.find("(SIGFPE)"), std::string::npos);

  ChildResult thrown = RunChild("throw", dir);
  EXPECT_EQ(thrown.out, "Create Dump File Success!\n");
  EXPECT_NE(ReadAll(dir / "123.dmp").find("uncaught exception: loader gave up"), std::string::npos);
}

TEST_F(CrashDump, UnwritableFolderPrintsTheFailureWithTheErrorNumber) {
  // The current folder is removed under the child: the dump cannot be created.
  fs::path gone = dir / "gone";
  fs::create_directories(gone);
  ChildResult r = RunChild("segv", gone, true);
  EXPECT_EQ(r.out, "MiniDumpWriteDump Failed: " + std::to_string(ENOENT) + "\n");
  ASSERT_TRUE(WIFEXITED(r.status));
  EXPECT_EQ(WEXITSTATUS(r.status), 128 + SIGSEGV);
}

}  // namespace
