// Runs a piece of a test as an ordinary user, for the file rules that root
// is exempt from (a root process may write every file).
#pragma once
#include <functional>
#include <string>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillet::test {

// The account a root test run takes on in its children.
constexpr uid_t kOrdinaryUser = 65534;  // nobody

// Runs `work` in a child process as an ordinary user (the nobody account when
// the tests run as root), and gives whether it reported success; `error`
// receives what it wrote to its string.
inline bool RunAsOrdinaryUser(const std::function<bool(std::string*)>& work, std::string* error) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return false;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFds[0]);
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(kOrdinaryUser, kOrdinaryUser, kOrdinaryUser) != 0 ||
                             ::setresuid(kOrdinaryUser, kOrdinaryUser, kOrdinaryUser) != 0))
      ::_exit(3);
    std::string why;
    const bool ok = work(&why);
    if (::write(pipeFds[1], why.data(), why.size()) < 0) ::_exit(4);
    ::_exit(ok ? 0 : 1);
  }
  ::close(pipeFds[1]);
  std::string why;
  char buf[256];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof(buf))) > 0;) why.append(buf, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (error) *error = why;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace quillet::test
