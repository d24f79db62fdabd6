// The window-handle registry (send, post, release, a release during a send,
// a target releasing itself) and the alert sink.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <thread>
#include <utility>

#include "platform/Host.h"
#include "tests/platform/PlatformTestUtil.h"

namespace {

// A target that logs what it gets and runs the test's code on a send and on
// its destruction.
struct Target : plat::MessageTarget {
  std::function<std::intptr_t()> onSend = [] { return 0; };
  std::function<void()> onDestroy = [] {};
  std::string log;
  ~Target() override { onDestroy(); }
  std::intptr_t Send(unsigned m, std::uintptr_t w, std::intptr_t l) override {
    log += "send " + std::to_string(m) + " " + std::to_string(w) + " " + std::to_string(l) + ";";
    return onSend() + l;
  }
  void Post(unsigned m, std::uintptr_t, std::intptr_t) override { log += "post " + std::to_string(m) + ";"; }
};

TEST(HandleRegistry, SendAndPostReachOnlyARegisteredTarget) {
  auto target = std::make_shared<Target>();
  EXPECT_EQ(plat::RegisterTarget(nullptr), 0);
  const int h = plat::RegisterTarget(target);
  std::intptr_t result = 0;
  EXPECT_TRUE(plat::SendTo(h, 4024, 7, 100, &result));
  EXPECT_EQ(result, 100);
  EXPECT_TRUE(plat::PostTo(h, 4028, 1, -1));
  EXPECT_EQ(target->log, "send 4024 7 100;post 4028;");

  plat::ReleaseTarget(h);
  const int again = plat::RegisterTarget(target);
  EXPECT_NE(again, h);  // handles are never reused
  plat::ReleaseTarget(again);
  result = 55;
  for (int handle : {h, again, 0, -1}) {
    EXPECT_FALSE(plat::SendTo(handle, 4024, 0, 0, &result)) << handle;
    EXPECT_FALSE(plat::PostTo(handle, 4028, 0, 0)) << handle;
  }
  EXPECT_EQ(result, 55);  // untouched
  EXPECT_EQ(target->log, "send 4024 7 100;post 4028;");  // nothing more
}

TEST(HandleRegistry, TargetReleasedDuringASendLivesUntilTheSendReturns) {
  bool destroyed = false;
  std::promise<void> entered, release;
  auto target = std::make_shared<Target>();
  target->onSend = [&, go = release.get_future().share()] {
    entered.set_value();
    go.wait();
    return 1;  // runs code of the object after its handle was released
  };
  target->onDestroy = [&] { destroyed = true; };
  const int h = plat::RegisterTarget(std::move(target));
  std::intptr_t result = 0;
  std::thread sender([&] { EXPECT_TRUE(plat::SendTo(h, 4025, 0, 0, &result)); });
  entered.get_future().wait();
  plat::ReleaseTarget(h);  // the registry drops its reference now
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(plat::FindTarget(h), nullptr);
  release.set_value();
  sender.join();
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(destroyed);
}

// Both run outside the registry's lock.
TEST(HandleRegistry, ATargetMayReleaseItselfAndItsDestructorMayRegister) {
  int handle = 0, registered = 0;
  auto self = std::make_shared<Target>();
  self->onSend = [&] { return plat::ReleaseTarget(handle), 42; };
  self->onDestroy = [&] { registered = plat::RegisterTarget(std::make_shared<Target>()); };
  handle = plat::RegisterTarget(std::move(self));
  std::intptr_t result = 0;
  EXPECT_TRUE(plat::SendTo(handle, 4025, 0, 0, &result));
  EXPECT_EQ(result, 42);
  EXPECT_GT(registered, 0);
  // Released while the registry holds the only reference: the destructor
  // runs within ReleaseTarget.
  auto last = std::make_shared<Target>();
  last->onDestroy = [&] { plat::ReleaseTarget(std::exchange(registered, 0)); };
  plat::ReleaseTarget(plat::RegisterTarget(std::move(last)));
  EXPECT_EQ(registered, 0);
}

TEST(Alerts, AReplacedSinkGetsTheTextsAndAnEmptySinkRestoresStderr) {
  std::u16string got;
  testing::internal::CaptureStderr();
  plat::SetAlertSink([&](const std::u16string& text, const std::u16string& caption) { got += caption + u"|" + text; });
  plat::Alert(u"Data of part zero lost!", u"Quillet");  // to the sink only
  EXPECT_EQ(got, u"Quillet|Data of part zero lost!");
  plat::SetAlertSink(nullptr);
  plat::Alert(u"failed to read the file!", u"");
  plat::Alert(u"Data of part zero lost!", u"\u8B66\u544A");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "failed to read the file!\n\xE8\xAD\xA6\xE5\x91\x8A: Data of part zero lost!\n");
}

}  // namespace
