// The test program's operator new: it counts the allocations made while it
// is armed and can fail one of them (or one and every one after it) with
// std::bad_alloc, as an exhausted heap would.
#pragma once

namespace alloctest {

// Counts from zero; allocation number `failAt` (1-based) fails, and with
// `keepFailing` every allocation after it too. failAt 0 only counts.
void Arm(long failAt, bool keepFailing);
// Stops counting and failing; returns how many allocations were asked for
// while armed.
long Disarm();
// Whether an allocation failed since the last Arm.
bool Failed();

// Counts and fails nothing while it lives: the host's own work (its
// callbacks) is not the library's.
class Suspend {
 public:
  Suspend();
  ~Suspend();
  Suspend(const Suspend&) = delete;
  Suspend& operator=(const Suspend&) = delete;

 private:
  bool m_was;
};

}  // namespace alloctest
