#include "tests/alloc/FailingNew.h"

#include <cstdlib>
#include <new>

namespace alloctest {
namespace {

// One thread arms and reads; the library's own threads (the deletion of a
// program) allocate nothing while a call is armed, so plain variables do.
bool g_armed = false;
long g_count = 0;
long g_failAt = 0;
bool g_keepFailing = false;
bool g_failed = false;

bool FailThisOne() {
  if (!g_armed) return false;
  ++g_count;
  if (g_failAt == 0) return false;
  if (g_count == g_failAt || (g_keepFailing && g_count > g_failAt)) {
    g_failed = true;
    return true;
  }
  return false;
}

void* Allocate(std::size_t bytes) {
  if (FailThisOne()) return nullptr;
  return std::malloc(bytes ? bytes : 1);
}

void* AllocateAligned(std::size_t bytes, std::size_t align) {
  if (FailThisOne()) return nullptr;
  if (align < sizeof(void*)) align = sizeof(void*);
  void* p = nullptr;
  return ::posix_memalign(&p, align, bytes ? bytes : 1) == 0 ? p : nullptr;
}

}  // namespace

void Arm(long failAt, bool keepFailing) {
  g_count = 0;
  g_failAt = failAt;
  g_keepFailing = keepFailing;
  g_failed = false;
  g_armed = true;
}

long Disarm() {
  g_armed = false;
  return g_count;
}

bool Failed() { return g_failed; }

Suspend::Suspend() : m_was(g_armed) { g_armed = false; }
Suspend::~Suspend() { g_armed = m_was; }

}  // namespace alloctest

void* operator new(std::size_t bytes) {
  if (void* p = alloctest::Allocate(bytes)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t bytes) {
  if (void* p = alloctest::Allocate(bytes)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return alloctest::Allocate(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return alloctest::Allocate(bytes); }
void* operator new(std::size_t bytes, std::align_val_t align) {
  if (void* p = alloctest::AllocateAligned(bytes, static_cast<std::size_t>(align))) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t bytes, std::align_val_t align) {
  if (void* p = alloctest::AllocateAligned(bytes, static_cast<std::size_t>(align))) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t bytes, std::align_val_t align, const std::nothrow_t&) noexcept {
  return alloctest::AllocateAligned(bytes, static_cast<std::size_t>(align));
}
void* operator new[](std::size_t bytes, std::align_val_t align, const std::nothrow_t&) noexcept {
  return alloctest::AllocateAligned(bytes, static_cast<std::size_t>(align));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
