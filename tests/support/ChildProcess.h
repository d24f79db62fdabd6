// Runs a piece of a test in a forked child, so that a crash, an exit or a
// resource limit there ends only the child; the child's text comes back
// through a pipe.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

namespace quillet::test {

struct ChildEnd {
  bool normal = false;  // exited with status 0
  int status = 0;       // as waitpid gives it
  std::string output;   // what the body returned
};

// `prepare` runs in the child before `body`; `onException` runs when the
// body lets an exception out, and the child then exits with status 2.
inline ChildEnd InChild(const std::function<std::string()>& body, const std::function<void()>& prepare = {},
                        const std::function<void()>& onException = {}) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    if (prepare) prepare();
    std::string out;
    try {
      out = body();
    } catch (...) {
      if (onException) onException();
      ::_exit(2);
    }
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  ChildEnd end;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) end.output.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  ::waitpid(pid, &end.status, 0);
  end.normal = WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0;
  return end;
}

}  // namespace quillet::test
