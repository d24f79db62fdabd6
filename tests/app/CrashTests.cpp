// The crash handler, seen from outside: a child process installs it and
// faults; the dump file and the printed line are checked.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct ChildResult { int status = 0; std::string out; };

// Runs the crash child with `how` in the folder `cwd` (made current in the
// child only, and removed there first when asked) and collects its output.
ChildResult RunChild(const std::string& how, const fs::path& cwd, bool removeCwdFirst = false) {
  int pipefd[2];
  EXPECT_EQ(pipe(pipefd), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], STDOUT_FILENO);
    close(pipefd[0]);
    close(pipefd[1]);
    if (chdir(cwd.c_str()) != 0 || (removeCwdFirst && rmdir(cwd.c_str()) != 0)) _exit(90);
    // A sanitizer must not take the signals before the handler does.
    setenv("ASAN_OPTIONS", "handle_segv=0:handle_sigfpe=0:handle_abort=0:allow_user_segv_handler=1", 1);
    setenv("UBSAN_OPTIONS", "handle_segv=0:handle_sigfpe=0:handle_abort=0", 1);
    execl(CRASH_CHILD, CRASH_CHILD, how.c_str(), static_cast<char*>(nullptr));
    _exit(92);
  }
  close(pipefd[1]);
  ChildResult r;
  char buf[512];
  for (ssize_t n; (n = read(pipefd[0], buf, sizeof(buf))) > 0;) r.out.append(buf, static_cast<std::size_t>(n));
  close(pipefd[0]);
  waitpid(pid, &r.status, 0);
  return r;
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(CrashDump, FaultsAndUncaughtExceptionsWriteADumpAndEndTheProcess) {
  const fs::path dir = fs::temp_directory_path() / ("ravik_crash_" + std::to_string(getpid()));
  fs::create_directories(dir);
  ChildResult r = RunChild("segv", dir);
  EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 128 + SIGSEGV) << "the handler ends the process itself";
  EXPECT_EQ(r.out, "Create Dump File Success!\n");
  const std::string dump = ReadAll(dir / "123.dmp");
  EXPECT_NE(dump.find("signal: 11 (SIGSEGV)"), std::string::npos) << dump.substr(0, 300);
  EXPECT_NE(dump.find("address: 0x10\n"), std::string::npos);  // the child read from 0x10
  EXPECT_NE(dump.find("backtrace:\n"), std::string::npos);
  EXPECT_NE(dump.find("ravik_crash_child"), std::string::npos) << "frames and map name the program";
  EXPECT_NE(dump.find("[stack]"), std::string::npos) << "the memory map is included";
  // Each dump is written anew, not appended.
  for (const auto& [how, text] : {std::pair{"fpe", "(SIGFPE)"}, {"abort", "(SIGABRT)"}, {"throw", "uncaught exception: loader gave up"}}) {
    EXPECT_EQ(RunChild(how, dir).out, "Create Dump File Success!\n") << how;
    EXPECT_NE(ReadAll(dir / "123.dmp").find(text), std::string::npos) << how;
    EXPECT_EQ(ReadAll(dir / "123.dmp").find("SIGSEGV"), std::string::npos) << how;
  }
  // A stack overflow on a worker thread (as in the loader) reaches the
  // handler on that thread's own signal stack.
  r = RunChild("thread-overflow", dir);
  EXPECT_EQ(r.out, "Create Dump File Success!\n");
  EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 128 + SIGSEGV);
  EXPECT_NE(ReadAll(dir / "123.dmp").find("(SIGSEGV)"), std::string::npos);
  // The current folder removed under the child: the failure is printed.
  fs::create_directories(dir / "gone");
  r = RunChild("segv", dir / "gone", true);
  EXPECT_EQ(r.out, "MiniDumpWriteDump Failed: " + std::to_string(ENOENT) + "\n");
  EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 128 + SIGSEGV);
  fs::remove_all(dir);
}

}  // namespace
