#include "platform/Threads.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace plat {

int ProcessorCount() {
  long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

namespace {

// Field `index` of /proc/self/statm ("size resident shared ..." in pages),
// in bytes; read without stdio, which may allocate.
std::size_t StatmBytes(int index) {
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buffer[128];
  const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (n <= 0) return 0;
  buffer[n] = '\0';
  const char* p = buffer;
  for (int field = 0; field < index; ++field) {
    while (*p && *p != ' ') ++p;
    if (!*p) return 0;
    ++p;
  }
  std::size_t pages = 0;
  for (; *p >= '0' && *p <= '9'; ++p) pages = pages * 10 + static_cast<std::size_t>(*p - '0');
  const long page = ::sysconf(_SC_PAGESIZE);
  return pages * static_cast<std::size_t>(page > 0 ? page : 4096);
}

}  // namespace

std::size_t AddressSpaceBytes() { return StatmBytes(0); }

std::size_t ResidentBytes() { return StatmBytes(1); }

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
