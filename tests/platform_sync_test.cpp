// Named events and cooperative workers under contention.

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/events.h"
#include "platform/worker.h"

namespace ferrolan {
namespace {

TEST(Events, SameNameIsTheSameEventWhileOpen) {
  EventRegistry reg;
  auto a = reg.create("gpsEvtHotStart");
  auto b = reg.create("gpsEvtHotStart");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, reg.create("gpsEvtColdStart"));
  a->set();
  EXPECT_TRUE(b->tryConsume());
  EXPECT_FALSE(a->tryConsume());
  a->set();
  a.reset();
  b.reset();
  // Once every handle is closed the name starts afresh, unsignalled.
  auto c = reg.create("gpsEvtHotStart");
  EXPECT_FALSE(c->tryConsume());
}

TEST(Events, WaitForAnyTakesTheLowestIndexAndConsumesOnlyThat) {
  EventRegistry reg;
  std::vector<EventHandle> evs = {reg.create("a"), reg.create("b"), reg.create("c")};
  evs[2]->set();
  evs[1]->set();
  evs[1]->set();  // auto-reset events coalesce
  EXPECT_EQ(reg.waitForAny(evs, 0), 1);
  EXPECT_EQ(reg.waitForAny(evs, 0), 2);
  EXPECT_EQ(reg.waitForAny(evs, 0), EventRegistry::kTimeout);
  std::vector<EventHandle> withGap = {nullptr, evs[0]};
  evs[0]->set();
  EXPECT_EQ(reg.waitForAny(withGap, 0), 1);
}

TEST(Events, CancelEndsAnInfiniteWait) {
  EventRegistry reg;
  auto e = reg.create("x");
  CancelToken cancel;
  std::atomic<int> result{99};
  std::thread t([&] { result = reg.waitForAny(std::span(&e, 1), EventRegistry::kInfinite, &cancel); });
  cancel.cancel();
  t.join();
  EXPECT_EQ(result, EventRegistry::kCancelled);
}

TEST(Events, NoSignalIsLostOrInventedUnderContention) {
  EventRegistry reg;
  std::vector<EventHandle> evs = {reg.create("a"), reg.create("b")};
  constexpr int kSetters = 4, kSets = 2000;
  std::atomic<int> done{0};
  std::atomic<int> handled[2] = {0, 0};
  CancelToken stop;
  std::thread waiter([&] {
    for (;;) {
      int i = reg.waitForAny(evs, EventRegistry::kInfinite, &stop);
      if (i < 0) break;
      ++handled[i];
    }
  });
  std::vector<std::thread> setters;
  for (int s = 0; s < kSetters; ++s)
    setters.emplace_back([&, s] {
      for (int k = 0; k < kSets; ++k) evs[static_cast<size_t>((s + k) % 2)]->set();
      ++done;
    });
  for (auto& t : setters) t.join();
  stop.cancel();
  waiter.join();
  // Each event's last signal was either handled or is still pending;
  // coalescing may merge signals but never makes up new ones.
  for (size_t i = 0; i < 2; ++i) {
    const int total = handled[i] + (evs[i]->tryConsume() ? 1 : 0);
    EXPECT_GE(total, 1);
    EXPECT_LE(total, kSetters * kSets / 2);
  }
  EXPECT_EQ(done, kSetters);
}

TEST(Worker, SuspendReturnsOnlyOnceParked) {
  Worker w;
  std::atomic<long> steps{0};
  w.start([&](WorkerControl& ctl) {
    while (ctl.checkpoint()) ++steps;
  });
  for (int round = 0; round < 50; ++round) {
    w.suspend();
    const long frozen = steps.load();
    std::this_thread::yield();
    EXPECT_EQ(steps.load(), frozen);
    w.resume();
  }
  w.stop();
  EXPECT_FALSE(w.running());
  w.stop();  // twice is harmless
}

TEST(Worker, StopWakesAParkedWorkerAndSuspendOfAFinishedOneReturns) {
  Worker w;
  std::atomic<bool> parked{false};
  w.start([&](WorkerControl& ctl) {
    parked = true;
    ctl.checkpoint();
  });
  w.suspend();
  w.stop();
  EXPECT_FALSE(w.running());
  w.suspend();  // finished: returns at once
  EXPECT_TRUE(w.start([](WorkerControl&) {}));
  w.stop();
}

TEST(Worker, ConcurrentSuspendResumeAndStopFromSeveralThreads) {
  Worker w;
  std::atomic<long> steps{0};
  w.start([&](WorkerControl& ctl) {
    while (ctl.checkpoint()) ++steps;
  });
  std::vector<std::thread> users;
  for (int i = 0; i < 3; ++i)
    users.emplace_back([&] {
      for (int k = 0; k < 200; ++k) {
        w.suspend();
        w.resume();
      }
    });
  for (auto& t : users) t.join();
  // Every suspend was undone, so the worker runs again. (It may not have run
  // at all before: the users can keep it parked the whole time.)
  const long before = steps.load();
  for (int i = 0; i < 2000 && steps.load() == before; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GT(steps.load(), before);
  w.stop();
  EXPECT_FALSE(w.running());
}

TEST(Worker, AWorkerMayStopItself) {
  auto w = std::make_shared<Worker>();
  std::atomic<bool> after{false};
  w->start([&](WorkerControl& ctl) {
    w->stop();
    after = !ctl.checkpoint();
  });
  while (w->running()) std::this_thread::yield();
  EXPECT_TRUE(after);
  w->stop();
}

}  // namespace
}  // namespace ferrolan
