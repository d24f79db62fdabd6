// Counts the heap allocations made through operator new while counting is
// on (this test program replaces the global operator new).
#pragma once
#include <cstddef>

namespace quillet::test {
void StartCountingAllocations();
// Stops counting and returns the number counted since the start.
std::size_t StopCountingAllocations();
}  // namespace quillet::test
