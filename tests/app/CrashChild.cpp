// Installs the viewer's crash handler, then faults the way the first
// argument says: "segv", "fpe", "abort" or "throw".
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "viewer/CrashHandler.h"

namespace {
volatile int g_zero = 0;
int* volatile g_null = nullptr;
}  // namespace

int main(int argc, char** argv) {
  ravik::InstallCrashHandler();
  const char* how = argc > 1 ? argv[1] : "segv";
  std::fflush(stdout);
  if (std::strcmp(how, "segv") == 0) return *g_null;
  if (std::strcmp(how, "fpe") == 0) std::raise(SIGFPE);
  if (std::strcmp(how, "abort") == 0) std::raise(SIGABRT);
  if (std::strcmp(how, "throw") == 0) throw std::runtime_error("loader gave up");
  return 0;
}
