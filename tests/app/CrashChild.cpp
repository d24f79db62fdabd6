// Installs the viewer's crash handler, then faults the way the first
// argument says: "segv", "fpe", "abort", "throw", or "thread-overflow" (a
// stack overflow on a second thread that set up its signal stack).
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "viewer/CrashHandler.h"

namespace {
// A read through an address in the never-mapped first page (not null, so
// that the undefined-behaviour checker lets the fault happen).
volatile std::uintptr_t g_badAddress = 0x10;
__attribute__((no_sanitize("undefined"))) int ReadBadAddress() {
  return *reinterpret_cast<volatile int*>(g_badAddress);
}
// Recurses until the thread's stack is exhausted (the flag is never set).
volatile bool g_stop = false;
__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[1024];
  frame[0] = static_cast<char>(depth);
  if (g_stop) return frame[0];
  return Recurse(depth + 1) + frame[0];
}
}  // namespace

int main(int argc, char** argv) {
  ravik::InstallCrashHandler();
  const char* how = argc > 1 ? argv[1] : "segv";
  std::fflush(stdout);
  if (std::strcmp(how, "segv") == 0) return ReadBadAddress();
  if (std::strcmp(how, "fpe") == 0) std::raise(SIGFPE);
  if (std::strcmp(how, "abort") == 0) std::raise(SIGABRT);
  if (std::strcmp(how, "throw") == 0) throw std::runtime_error("loader gave up");
  if (std::strcmp(how, "thread-overflow") == 0) {
    std::thread([] {
      ravik::InstallThreadSignalStack();
      Recurse(0);
    }).join();
  }
  return 0;
}
