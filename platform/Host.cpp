#include "platform/Host.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <atomic>
#include <map>
#include <mutex>

#include "platform/Text.h"

namespace plat {
namespace {

// The process-wide state shared by the host and the library. Its layout is
// the same in every module because every module builds it from this file.
struct HostServices {
  std::mutex mutex;
  std::map<int, std::shared_ptr<MessageTarget>> targets;
  int nextHandle = 1;
  AlertSink alertSink;
  std::atomic<std::uint64_t> generation{0};
};

HostServices& LocalServices() {
  static HostServices* services = new HostServices();  // never destroyed: used until exit
  return *services;
}

}  // namespace
}  // namespace plat

// The rendezvous point: executables export it, the library looks it up.
extern "C" __attribute__((visibility("default"))) void* quillet_platform_host() {
  return &plat::LocalServices();
}

namespace plat {
namespace {

HostServices& Services() {
  static HostServices* services = [] {
    using Fn = void* (*)();
    void* sym = dlsym(RTLD_DEFAULT, "quillet_platform_host");
    if (sym) return static_cast<HostServices*>(reinterpret_cast<Fn>(sym)());
    return &LocalServices();
  }();
  return *services;
}

}  // namespace

int RegisterTarget(std::shared_ptr<MessageTarget> target) {
  if (!target) return 0;
  auto& s = Services();
  std::lock_guard<std::mutex> lock(s.mutex);
  int h = s.nextHandle++;
  s.targets[h] = std::move(target);
  return h;
}

void ReleaseTarget(int handle) {
  std::shared_ptr<MessageTarget> keep;
  auto& s = Services();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.targets.find(handle);
    if (it == s.targets.end()) return;
    keep = std::move(it->second);
    s.targets.erase(it);
    s.generation.fetch_add(1, std::memory_order_release);
  }
  // `keep` is released outside the lock: a target's destructor may register.
}

std::shared_ptr<MessageTarget> FindTarget(int handle) {
  if (handle == 0) return nullptr;
  auto& s = Services();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.targets.find(handle);
  return it == s.targets.end() ? nullptr : it->second;
}

bool SendTo(int handle, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
            std::intptr_t* result) {
  auto target = FindTarget(handle);
  if (!target) return false;
  std::intptr_t r = target->Send(message, wParam, lParam);
  if (result) *result = r;
  return true;
}

bool PostTo(int handle, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  auto target = FindTarget(handle);
  if (!target) return false;
  target->Post(message, wParam, lParam);
  return true;
}

std::uint64_t RegistryGeneration() { return Services().generation.load(std::memory_order_acquire); }

void SetAlertSink(AlertSink sink) {
  auto& s = Services();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.alertSink = std::move(sink);
}

void Alert(std::u16string_view text, std::u16string_view caption) {
  AlertSink sink;
  {
    auto& s = Services();
    std::lock_guard<std::mutex> lock(s.mutex);
    sink = s.alertSink;
  }
  if (sink) {
    sink(std::u16string(text), std::u16string(caption));
    return;
  }
  std::string line = WideToUtf8(caption);
  if (!line.empty()) line += ": ";
  line += WideToUtf8(text);
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

bool TraceEnabled() {
  static const bool enabled = std::getenv("QUILLET_TRACE") != nullptr;
  return enabled;
}

void Trace(std::string_view text) {
  if (!TraceEnabled()) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace plat
