// Helpers of the platform tests: a scratch folder removed afterwards, raw
// file access that bypasses the code under test, and a way to run one test
// case of this program in a child process with its own environment.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#include "tests/support/ScratchFolder.h"

namespace plattest {

using quillet::test::ScratchFolder;
using quillet::test::ReadBytes;
using quillet::test::WriteBytes;


// Names of the entries of a folder, sorted.
inline std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct ChildResult {
  int exitCode = -1;
  std::string err;  // what the child wrote to stderr
};

// Runs this test program again with only `testName` (a disabled case, so it
// never runs in the ordinary suite), the environment changed by `setEnv`
// (an empty value removes the variable), and stderr captured.
inline ChildResult RunChildCase(const std::string& testName, const std::map<std::string, std::string>& setEnv) {
  ChildResult result;
  char exe[4096] = {};
  ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  if (n <= 0) return result;
  std::string errPath = (std::filesystem::temp_directory_path() / "quillet-child-XXXXXX").string();
  int errFd = ::mkstemp(errPath.data());
  if (errFd < 0) return result;

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    std::string key = entry.substr(0, entry.find('='));
    if (setEnv.count(key) == 0 && key.rfind("GTEST_", 0) != 0) env.push_back(entry);
  }
  for (const auto& [k, v] : setEnv)
    if (!v.empty()) env.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::string filter = "--gtest_filter=" + testName;
  std::string disabled = "--gtest_also_run_disabled_tests";
  std::vector<char*> argv{exe, filter.data(), disabled.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, exe, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(errFd);
  if (rc == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  result.err = ReadBytes(errPath);
  ::unlink(errPath.c_str());
  return result;
}

}  // namespace plattest
