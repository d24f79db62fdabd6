#include "viewer/CrashHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace ravik {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
volatile sig_atomic_t g_inHandler = 0;

void Put(int fd, const char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0) {
    ssize_t w = write(fd, text, n);
    if (w <= 0) {
      if (w < 0 && errno == EINTR) continue;
      return;
    }
    text += w;
    n -= static_cast<std::size_t>(w);
  }
}

// Number texts without the C library's formatting (not async-signal-safe).
void PutDec(int fd, long long v) {
  char buf[32];
  int i = sizeof(buf);
  buf[--i] = '\0';
  bool neg = v < 0;
  unsigned long long u = neg ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
  do {
    buf[--i] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0 && i > 1);
  if (neg) buf[--i] = '-';
  Put(fd, buf + i);
}

void PutHex(int fd, unsigned long long v) {
  char buf[32];
  int i = sizeof(buf);
  buf[--i] = '\0';
  do {
    buf[--i] = "0123456789abcdef"[v & 15];
    v >>= 4;
  } while (v != 0 && i > 3);
  buf[--i] = 'x';
  buf[--i] = '0';
  Put(fd, buf + i);
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
  }
}

// Writes the dump and ends the process. `reason` names an uncaught exception
// when `sig` is 0.
[[noreturn]] void WriteDumpAndExit(int sig, const void* address, const char* reason) {
  int fd = open("123.dmp", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    int err = errno;
    Put(STDOUT_FILENO, "MiniDumpWriteDump Failed: ");
    PutDec(STDOUT_FILENO, err);
    Put(STDOUT_FILENO, "\n");
    _exit(128 + (sig ? sig : SIGABRT));
  }
  bool ok = true;
  Put(fd, "Ravik crash dump\n");
  if (sig != 0) {
    Put(fd, "signal: ");
    PutDec(fd, sig);
    Put(fd, " (");
    Put(fd, SignalName(sig));
    Put(fd, ")\n");
  } else {
    Put(fd, "uncaught exception: ");
    Put(fd, reason ? reason : "unknown");
    Put(fd, "\n");
  }
  Put(fd, "address: ");
  PutHex(fd, reinterpret_cast<unsigned long long>(address));
  Put(fd, "\nprocess: ");
  PutDec(fd, getpid());
  Put(fd, "\n\nbacktrace:\n");
  void* frames[128];
  int count = backtrace(frames, 128);
  backtrace_symbols_fd(frames, count, fd);
  Put(fd, "\nmemory map:\n");
  int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (maps >= 0) {
    char buf[4096];
    ssize_t n;
    while ((n = read(maps, buf, sizeof(buf))) > 0) {
      if (write(fd, buf, static_cast<std::size_t>(n)) != n) {
        ok = false;
        break;
      }
    }
    close(maps);
  }
  int err = 0;
  if (fsync(fd) != 0 && errno != EINVAL) {
    ok = false;
    err = errno;
  }
  if (close(fd) != 0) {
    ok = false;
    err = errno;
  }
  if (ok) {
    Put(STDOUT_FILENO, "Create Dump File Success!\n");
  } else {
    Put(STDOUT_FILENO, "MiniDumpWriteDump Failed: ");
    PutDec(STDOUT_FILENO, err);
    Put(STDOUT_FILENO, "\n");
  }
  _exit(128 + (sig ? sig : SIGABRT));
}

void OnSignal(int sig, siginfo_t* info, void* /*context*/) {
  if (g_inHandler) _exit(128 + sig);  // a fault inside the handler
  g_inHandler = 1;
  WriteDumpAndExit(sig, info ? info->si_addr : nullptr, nullptr);
}

void OnTerminate() {
  const char* what = "unknown";
  if (std::exception_ptr e = std::current_exception()) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      what = ex.what();
    } catch (...) {
    }
  } else {
    what = "std::terminate without an exception";
  }
  if (g_inHandler) _exit(128 + SIGABRT);
  g_inHandler = 1;
  WriteDumpAndExit(0, nullptr, what);
}

}  // namespace

namespace {
// One thread's signal stack: registered when made, unregistered before it is
// freed at the thread's end (a freed stack must never receive a signal).
struct ThreadSignalStack {
  static constexpr std::size_t kSize = 64 * 1024;
  char* memory = nullptr;
  ThreadSignalStack() {
    memory = static_cast<char*>(std::malloc(kSize));
    if (!memory) return;
    stack_t ss{};
    ss.ss_sp = memory;
    ss.ss_size = kSize;
    ss.ss_flags = 0;
    if (sigaltstack(&ss, nullptr) != 0) {
      std::free(memory);
      memory = nullptr;
    }
  }
  ~ThreadSignalStack() {
    if (!memory) return;
    stack_t ss{};
    ss.ss_flags = SS_DISABLE;
    sigaltstack(&ss, nullptr);
    std::free(memory);
  }
};
}  // namespace

void InstallThreadSignalStack() { static thread_local ThreadSignalStack stack; }

void InstallCrashHandler() {
  // backtrace() loads its unwinder on first use; do that now, not in the handler.
  void* warm[2];
  backtrace(warm, 2);

  InstallThreadSignalStack();
  struct sigaction sa {};
  sa.sa_sigaction = OnSignal;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : kSignals) sigaction(sig, &sa, nullptr);
  std::set_terminate(OnTerminate);
}

}  // namespace ravik
