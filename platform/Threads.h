// Processor count and processor affinity.
#pragma once
#include <cstddef>
#include <cstdint>
#include <thread>

namespace plat {

int ProcessorCount();
// The bytes of the process's memory that are resident now (0 when unknown).
// A read of /proc/self/statm: a few microseconds.
std::size_t ResidentBytes();
// The bytes of address space the process has mapped now (0 when unknown).
std::size_t AddressSpaceBytes();
// Mask with bit i set for every odd processor number i below `count`; 1 when
// no bit would be set (one processor).
std::uint64_t OddProcessorMask(int count);
// Restricts the thread to the processors of the mask; false when refused.
bool SetThreadAffinity(std::thread& thread, std::uint64_t mask);
// A short hexadecimal id of the calling thread for trace lines.
std::uint64_t CurrentThreadId();

}  // namespace plat
