// The crash handler: on a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT) or an uncaught exception it writes the file "123.dmp" in the
// current folder (the signal, the fault address, a backtrace and the memory
// map of the process), prints "Create Dump File Success!" or
// "MiniDumpWriteDump Failed: <errno>" to the standard output and ends the
// process. Only write(2) and other async-signal-safe calls run in the handler.
#pragma once

namespace ravik {

// Installs the handlers (on an alternate stack, so that a stack overflow is
// caught too) and std::set_terminate. Safe to call more than once.
void InstallCrashHandler();
// Gives the calling thread its own signal stack, so that a stack overflow on
// it still reaches the dump writer. Every thread that runs library code
// calls it once; the stack is released when the thread ends.
void InstallThreadSignalStack();

}  // namespace ravik
