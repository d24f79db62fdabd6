#include "platform/Threads.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace plat {

int ProcessorCount() {
  long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

std::uint64_t OddProcessorMask(int count) {
  std::uint64_t mask = 0;
  for (int i = 0; i < count && i < 64; ++i)
    if (i % 2 == 1) mask |= (std::uint64_t{1} << i);
  return mask ? mask : 1;
}

bool SetThreadAffinity(std::thread& thread, std::uint64_t mask) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int i = 0; i < 64; ++i)
    if (mask & (std::uint64_t{1} << i)) CPU_SET(i, &set);
  return pthread_setaffinity_np(thread.native_handle(), sizeof(set), &set) == 0;
}

std::uint64_t CurrentThreadId() { return static_cast<std::uint64_t>(::syscall(SYS_gettid)); }

}  // namespace plat
