// Helpers of the platform tests: a scratch folder, raw file access that
// bypasses the code under test, and a way to run one test case of this
// program in a child process with its own environment.
#pragma once

#include <filesystem>
#include <iterator>
#include <map>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/ScratchFolder.h"

namespace plattest {

using quillet::test::ReadBytes;
using quillet::test::ScratchFolder;
using quillet::test::WriteBytes;

// The number of entries of a folder.
inline long Entries(const std::string& folder) {
  return std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
}

struct ChildResult {
  int exitCode = -1;
  std::string err;  // what the child wrote to stderr
};

// Runs this test program again with only `testName` (a disabled case, so it
// never runs in the ordinary suite), the environment changed by `setEnv`
// (an empty value removes the variable), and stderr captured.
inline ChildResult RunChildCase(const std::string& testName, const std::map<std::string, std::string>& setEnv) {
  ScratchFolder tmp;
  const std::string errPath = tmp.File("stderr.txt"), filter = "--gtest_filter=" + testName;
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    for (const auto& [k, v] : setEnv) v.empty() ? ::unsetenv(k.c_str()) : ::setenv(k.c_str(), v.c_str(), 1);
    for (const char* k : {"GTEST_OUTPUT", "GTEST_SHARD_INDEX", "GTEST_TOTAL_SHARDS"}) ::unsetenv(k);
    ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    ::dup2(::open("/dev/null", O_WRONLY), 1);
    ::execl(exe.c_str(), exe.c_str(), filter.c_str(), "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadBytes(errPath)};
}

}  // namespace plattest
