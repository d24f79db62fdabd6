#include "viewer/Locks.h"

namespace ravik {

std::timed_mutex& Tickets() {
  static std::timed_mutex tickets;
  return tickets;
}

std::timed_mutex& LibraryMutex() {
  static std::timed_mutex library;
  return library;
}

}  // namespace ravik
