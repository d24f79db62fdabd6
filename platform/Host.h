// What the library needs of its host process: window handles that receive
// messages, an alert sink in place of message boxes, and a trace output in
// place of the debugger output.
//
// A window handle is an int. The host registers a message target and gets a
// handle; the library sends (handled before the call returns) or posts
// (queued) messages to a handle. A message to an unknown or released handle
// goes nowhere.
//
// The library and the host each link this code; both must see one registry.
// The registry therefore lives in the main executable when that executable
// exports the entry point `quillet_platform_host` (all of ours do), and the
// library finds it there at run time. A host that does not export it gets the
// library's own registry.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace plat {

class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  // Handles the message before returning, on the caller's thread.
  virtual std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
  // Queues the message for later handling; must not block.
  virtual void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

// Registers a target; the handle is a positive int, never reused.
int RegisterTarget(std::shared_ptr<MessageTarget> target);
// Releases a handle; later messages to it go nowhere. A send that is already
// running on another thread finishes with the target kept alive.
void ReleaseTarget(int handle);
// Send and post; both return false when the handle names no target.
bool SendTo(int handle, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
            std::intptr_t* result = nullptr);
bool PostTo(int handle, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
// The target of a handle (null when none); the caller may keep it to avoid
// repeated look-ups, and must drop it when the handle changes.
std::shared_ptr<MessageTarget> FindTarget(int handle);

// Increases whenever a handle is released; a caller that keeps a target
// from FindTarget looks it up again when this changed.
std::uint64_t RegistryGeneration();

// Alerts stand in for the library's message boxes. The default sink writes
// "caption: text" to stderr and never blocks.
using AlertSink = std::function<void(const std::u16string& text, const std::u16string& caption)>;
void SetAlertSink(AlertSink sink);  // an empty sink restores the default
void Alert(std::u16string_view text, std::u16string_view caption);

// Trace output: written to stderr only when the environment variable
// QUILLET_TRACE is set (to anything). Cheap when off.
bool TraceEnabled();
void Trace(std::string_view text);

}  // namespace plat
