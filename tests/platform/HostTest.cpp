// The window-handle registry (send, post, release, a release racing a send),
// the alert sink and the trace output.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Host.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

struct Message {
  unsigned message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  bool sent;
};

class RecordingTarget : public plat::MessageTarget {
 public:
  std::intptr_t Send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back({message, wParam, lParam, true});
    return static_cast<std::intptr_t>(message) + lParam;
  }
  void Post(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) override {
    std::lock_guard<std::mutex> lock(mutex);
    log.push_back({message, wParam, lParam, false});
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex);
    return log.size();
  }
  std::mutex mutex;
  std::vector<Message> log;
};

TEST(HandleRegistry, SendAndPostReachTheRegisteredTarget) {
  auto target = std::make_shared<RecordingTarget>();
  const int h = plat::RegisterTarget(target);
  ASSERT_GT(h, 0);
  std::intptr_t result = 0;
  EXPECT_TRUE(plat::SendTo(h, 4024, 7, 100, &result));
  EXPECT_EQ(result, 4124);
  EXPECT_TRUE(plat::SendTo(h, 4025, 0, 0));  // the result may be ignored
  EXPECT_TRUE(plat::PostTo(h, 4028, 1, -1));
  ASSERT_EQ(target->log.size(), 3u);
  EXPECT_EQ(target->log[0].message, 4024u);
  EXPECT_EQ(target->log[0].wParam, 7u);
  EXPECT_TRUE(target->log[0].sent);
  EXPECT_EQ(target->log[2].message, 4028u);
  EXPECT_EQ(target->log[2].lParam, -1);
  EXPECT_FALSE(target->log[2].sent);
  EXPECT_EQ(plat::FindTarget(h), target);
  plat::ReleaseTarget(h);
}

TEST(HandleRegistry, UnknownAndReleasedHandlesGoNowhere) {
  auto target = std::make_shared<RecordingTarget>();
  EXPECT_EQ(plat::RegisterTarget(nullptr), 0);
  const int h = plat::RegisterTarget(target);
  const std::uint64_t generation = plat::RegistryGeneration();
  plat::ReleaseTarget(h);
  EXPECT_GT(plat::RegistryGeneration(), generation);

  std::intptr_t result = 55;
  for (int handle : {h, 0, -1, h + 1000000}) {
    EXPECT_FALSE(plat::SendTo(handle, 4024, 0, 0, &result)) << handle;
    EXPECT_FALSE(plat::PostTo(handle, 4028, 0, 0)) << handle;
    EXPECT_EQ(plat::FindTarget(handle), nullptr) << handle;
  }
  EXPECT_EQ(result, 55);  // untouched
  EXPECT_TRUE(target->log.empty());

  // Releasing again, or releasing what never existed, changes nothing.
  const std::uint64_t after = plat::RegistryGeneration();
  plat::ReleaseTarget(h);
  plat::ReleaseTarget(-3);
  EXPECT_EQ(plat::RegistryGeneration(), after);
}

TEST(HandleRegistry, HandlesAreNeverReused) {
  auto target = std::make_shared<RecordingTarget>();
  const int first = plat::RegisterTarget(target);
  plat::ReleaseTarget(first);
  const int second = plat::RegisterTarget(target);
  EXPECT_NE(second, first);
  EXPECT_FALSE(plat::SendTo(first, 1, 0, 0));
  EXPECT_TRUE(plat::SendTo(second, 1, 0, 0));
  plat::ReleaseTarget(second);
}

// A target whose Send waits until the test lets it go, and which records its
// destruction.
class BlockingTarget : public plat::MessageTarget {
 public:
  explicit BlockingTarget(std::atomic<bool>* destroyed) : destroyed_(destroyed) {}
  ~BlockingTarget() override { destroyed_->store(true); }
  std::intptr_t Send(unsigned, std::uintptr_t, std::intptr_t) override {
    std::unique_lock<std::mutex> lock(mutex);
    inSend = true;
    cv.notify_all();
    cv.wait(lock, [&] { return released; });
    // Touches the object after the handle was released elsewhere.
    ++handled;
    return handled;
  }
  void Post(unsigned, std::uintptr_t, std::intptr_t) override {}

  std::mutex mutex;
  std::condition_variable cv;
  bool inSend = false;
  bool released = false;
  int handled = 0;

 private:
  std::atomic<bool>* destroyed_;
};

TEST(HandleRegistry, TargetReleasedDuringASendLivesUntilTheSendReturns) {
  std::atomic<bool> destroyed{false};
  auto target = std::make_shared<BlockingTarget>(&destroyed);
  BlockingTarget* raw = target.get();
  const int h = plat::RegisterTarget(std::move(target));

  std::intptr_t result = 0;
  bool delivered = false;
  std::thread sender([&] { delivered = plat::SendTo(h, 4025, 0, 0, &result); });
  {
    std::unique_lock<std::mutex> lock(raw->mutex);
    raw->cv.wait(lock, [&] { return raw->inSend; });
  }
  plat::ReleaseTarget(h);  // the registry drops its reference now
  EXPECT_FALSE(destroyed.load());
  EXPECT_EQ(plat::FindTarget(h), nullptr);
  {
    std::lock_guard<std::mutex> lock(raw->mutex);
    raw->released = true;
  }
  raw->cv.notify_all();
  sender.join();
  EXPECT_TRUE(delivered);
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(destroyed.load());
}

TEST(HandleRegistry, ConcurrentRegisterSendAndRelease) {
  auto target = std::make_shared<RecordingTarget>();
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        int h = plat::RegisterTarget(target);
        if (h <= 0 || !plat::SendTo(h, 1, 0, 0) || !plat::PostTo(h, 2, 0, 0)) ++wrong;
        plat::ReleaseTarget(h);
        if (plat::SendTo(h, 3, 0, 0)) ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(target->Count(), 4u * 500u * 2u);
}

// A target that releases its own handle while it handles a send, and whose
// destructor registers another target.
class SelfReleasingTarget : public plat::MessageTarget {
 public:
  SelfReleasingTarget(int* handle, int* registeredInDestructor, std::shared_ptr<plat::MessageTarget> next)
      : handle_(handle), registered_(registeredInDestructor), next_(std::move(next)) {}
  ~SelfReleasingTarget() override { *registered_ = plat::RegisterTarget(next_); }
  std::intptr_t Send(unsigned, std::uintptr_t, std::intptr_t) override {
    plat::ReleaseTarget(*handle_);
    return 42;  // the object is still alive here
  }
  void Post(unsigned, std::uintptr_t, std::intptr_t) override {}

 private:
  int* handle_;
  int* registered_;
  std::shared_ptr<plat::MessageTarget> next_;
};

TEST(HandleRegistry, ATargetMayReleaseItselfAndItsDestructorMayRegister) {
  int handle = 0, registered = 0;
  auto next = std::make_shared<RecordingTarget>();
  handle = plat::RegisterTarget(std::make_shared<SelfReleasingTarget>(&handle, &registered, next));
  std::intptr_t result = 0;
  EXPECT_TRUE(plat::SendTo(handle, 4025, 0, 0, &result));
  EXPECT_EQ(result, 42);
  EXPECT_EQ(plat::FindTarget(handle), nullptr);
  ASSERT_GT(registered, 0);  // the destructor ran, outside the registry's lock
  EXPECT_TRUE(plat::PostTo(registered, 4028, 0, 0));
  EXPECT_EQ(next->Count(), 1u);
  plat::ReleaseTarget(registered);
}

TEST(Alerts, ASinkMayReplaceItselfWhileItRuns) {
  int first = 0, second = 0;
  plat::SetAlertSink([&](const std::u16string&, const std::u16string&) {
    ++first;
    plat::SetAlertSink([&](const std::u16string&, const std::u16string&) { ++second; });
    plat::Alert(u"nested", u"");
  });
  plat::Alert(u"outer", u"");
  plat::Alert(u"later", u"");
  plat::SetAlertSink(nullptr);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
}

TEST(Alerts, AReplacedSinkReceivesTheTextsAndAnEmptySinkRestoresTheDefault) {
  std::vector<std::pair<std::u16string, std::u16string>> got;
  plat::SetAlertSink([&](const std::u16string& text, const std::u16string& caption) {
    got.emplace_back(text, caption);
  });
  plat::Alert(u"failed to read the file!", u"");
  plat::Alert(u"Data of part zero lost!", u"Quillet");
  plat::SetAlertSink(nullptr);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].first, u"failed to read the file!");
  EXPECT_EQ(got[0].second, u"");
  EXPECT_EQ(got[1].first, u"Data of part zero lost!");
  EXPECT_EQ(got[1].second, u"Quillet");
  testing::internal::CaptureStderr();
  plat::Alert(u"after restore", u"");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "after restore\n");
  EXPECT_EQ(got.size(), 2u);
}

TEST(Alerts, TheDefaultSinkWritesCaptionAndTextToStderr) {
  plat::SetAlertSink(nullptr);
  testing::internal::CaptureStderr();
  plat::Alert(u"failed to read the file!", u"");
  plat::Alert(u"Data of part zero lost!", u"\u8B66\u544A");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "failed to read the file!\n\xE8\xAD\xA6\xE5\x91\x8A: Data of part zero lost!\n");
}

// Run in a child process: writes one trace line and reports whether tracing
// is on.
TEST(ChildProcess, DISABLED_WriteTrace) {
  plat::Trace("trace-probe: code parsing loop:\n");
  std::fprintf(stderr, "enabled=%d\n", plat::TraceEnabled() ? 1 : 0);
}

TEST(Trace, WrittenOnlyWhenQuilletTraceIsSet) {
  auto off = plattest::RunChildCase("ChildProcess.DISABLED_WriteTrace", {{"QUILLET_TRACE", ""}});
  EXPECT_EQ(off.exitCode, 0) << off.err;
  EXPECT_EQ(off.err.find("trace-probe"), std::string::npos) << off.err;
  EXPECT_NE(off.err.find("enabled=0"), std::string::npos) << off.err;

  for (const char* value : {"1", "0", "anything"}) {
    auto on = plattest::RunChildCase("ChildProcess.DISABLED_WriteTrace", {{"QUILLET_TRACE", value}});
    EXPECT_EQ(on.exitCode, 0) << on.err;
    EXPECT_NE(on.err.find("trace-probe: code parsing loop:\n"), std::string::npos) << value << "\n" << on.err;
    EXPECT_NE(on.err.find("enabled=1"), std::string::npos) << value << "\n" << on.err;
  }
}

}  // namespace
