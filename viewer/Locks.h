// The two locks of the viewer.
//
// Tickets(): held by the loader while it fetches the tool path from the
// library and hands it to the view, and by the view while it paints. Painting
// only ever tries it for a short while (and repaints later), so it never
// waits on a loader that is busy in the library.
//
// LibraryMutex(): one caller at a time into the library. The loader holds it
// for its whole run (parse, path, simulation); the interface thread's calls
// take it only when it is free (or after a short wait) and are otherwise
// refused, so the interface never stalls behind a long simulation.
//
// Lock order: LibraryMutex before Tickets.
#pragma once
#include <chrono>
#include <mutex>

namespace ravik {

std::timed_mutex& Tickets();
std::timed_mutex& LibraryMutex();

// Runs `call` holding the library lock when it can be had within `wait`;
// false (and `call` not run) otherwise.
template <class F>
bool WithLibrary(F&& call, std::chrono::milliseconds wait = std::chrono::milliseconds(0)) {
  std::unique_lock lock(LibraryMutex(), std::defer_lock);
  if (wait.count() > 0 ? !lock.try_lock_for(wait) : !lock.try_lock()) return false;
  call();
  return true;
}

}  // namespace ravik
