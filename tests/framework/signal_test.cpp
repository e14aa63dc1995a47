#include "framework/kel_signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testing_clock.h"

namespace {

using Calls = std::vector<int>;
using Sink = KelSignal<>::Coroutine::push_type;

// Connects a slot that records `tag` on every call.
unsigned record(KelSignal<>& signal, Calls& calls, int tag) {
  return signal.connect([&calls, tag] { calls.push_back(tag); });
}

TEST(KelSignal, EmptySignalDoesNothingAndHasNoConnections) {
  KelSignal<int> signal;
  EXPECT_FALSE(signal.hasConnections());
  signal(5);
}

TEST(KelSignal, SlotsGetIdsInOrderAndArePassedTheArguments) {
  KelSignal<int, std::string> signal;
  std::vector<std::string> seen;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(signal.connect([&seen, i](int n, std::string s) {
                seen.push_back(std::to_string(i) + ":" + std::to_string(n) + s);
              }),
              unsigned(i));
  signal(7, "x");
  EXPECT_EQ(seen, (std::vector<std::string>{"0:7x", "1:7x", "2:7x"}));
}

TEST(KelSignal, MemberFunctionsConnect) {
  struct Counter {
    int total = 0;
    void add(int n) { total += n; }
  } counter;
  KelSignal<int> signal;
  signal.connect(&counter, &Counter::add);
  signal(3);
  signal(4);
  EXPECT_EQ(counter.total, 7);
}

TEST(KelSignal, FreedIdsAreReusedOldestFirst) {
  KelSignal<> signal;
  Calls calls;
  for (int i = 0; i < 3; ++i) record(signal, calls, i);

  signal.disconnect(1);
  signal();
  EXPECT_EQ(calls, (Calls{0, 2}));
  EXPECT_EQ(record(signal, calls, 10), 1u);
  EXPECT_EQ(record(signal, calls, 11), 3u);

  // Free 0 then 1: they come back in that order.
  signal.disconnect(0);
  signal.disconnect(1);
  EXPECT_EQ(record(signal, calls, 20), 0u);
  EXPECT_EQ(record(signal, calls, 21), 1u);
  calls.clear();
  signal();
  EXPECT_EQ(calls, (Calls{20, 21, 2, 11}));
}

TEST(KelSignal, FreedIdsComeBackInTheOrderTheyWereFreedNotByValue) {
  // Freed out of id order: reused as freed, and each new slot runs at its id's place.
  struct Case {
    std::vector<unsigned> freed;
    Calls reusedIds;
    Calls order;  // tags of one emission afterwards
  };
  const Case cases[] = {{{2, 0}, {2, 0}, {11, 1, 10, 3, 4}},
                        {{3, 1, 2}, {3, 1, 2}, {0, 11, 12, 10, 4}},
                        {{1, 3}, {1, 3}, {0, 10, 2, 11, 4}}};
  for (const Case& c : cases) {
    KelSignal<> signal;
    Calls calls;
    for (int i = 0; i < 5; ++i) record(signal, calls, i);
    for (unsigned id : c.freed) signal.disconnect(id);
    Calls reused;
    for (int tag = 10; tag < 10 + static_cast<int>(c.freed.size()); ++tag)
      reused.push_back(static_cast<int>(record(signal, calls, tag)));
    EXPECT_EQ(reused, c.reusedIds);
    calls.clear();
    signal();
    EXPECT_EQ(calls, c.order);
  }
}

TEST(KelSignal, DisconnectingTheLastSlotShrinksWithoutFreeingItsId) {
  KelSignal<> signal;
  Calls calls;
  for (int i = 0; i < 3; ++i) record(signal, calls, i);
  signal.disconnect(2);
  EXPECT_EQ(record(signal, calls, 5), 2u);

  // With another id free, that one is taken first and the shrunk one is appended after it.
  signal.disconnect(0);
  signal.disconnect(2);
  EXPECT_EQ(record(signal, calls, 6), 0u);
  EXPECT_EQ(record(signal, calls, 7), 2u);
}

TEST(KelSignal, DisconnectingFreeOrUnknownIdsChangesNothing) {
  KelSignal<> signal;
  Calls calls;
  for (int i = 0; i < 3; ++i) record(signal, calls, i);
  signal.disconnect(0);
  signal.disconnect(0);  // already free: must not be queued twice
  signal.disconnect(3);
  signal.disconnect(0xFFFFFFFFu);
  signal();
  EXPECT_EQ(calls, (Calls{1, 2}));
  EXPECT_EQ(record(signal, calls, 8), 0u);
  EXPECT_EQ(record(signal, calls, 9), 3u);
}

TEST(KelSignal, HasConnectionsFollowsLiveSlots) {
  KelSignal<> signal;
  Calls calls;
  unsigned a = record(signal, calls, 0);
  unsigned b = record(signal, calls, 1);
  EXPECT_TRUE(signal.hasConnections());
  signal.disconnect(a);
  EXPECT_TRUE(signal.hasConnections());
  signal.disconnect(b);
  EXPECT_FALSE(signal.hasConnections());
}

TEST(KelSignal, SlotMayDisconnectItselfDuringEmission) {
  KelSignal<> signal;
  Calls calls;
  record(signal, calls, 0);
  unsigned self = 0;
  // The captured state must stay readable after the disconnect: the slot is still running.
  std::string tag = "a long string that lives on the heap, not in the small buffer";
  self = signal.connect([&, tag] {
    signal.disconnect(self);
    calls.push_back(static_cast<int>(tag.size()));
  });
  record(signal, calls, 2);
  signal();
  EXPECT_EQ(calls, (Calls{0, static_cast<int>(tag.size()), 2}));
  calls.clear();
  signal();
  EXPECT_EQ(calls, (Calls{0, 2}));
}

TEST(KelSignal, LastSlotMayDisconnectItselfAndConnectAnother) {
  KelSignal<> signal;
  Calls calls;
  record(signal, calls, 0);
  unsigned self = 0;
  self = signal.connect([&] {
    signal.disconnect(self);
    record(signal, calls, 9);  // lies beyond this walk
    calls.push_back(1);
  });
  signal();
  EXPECT_EQ(calls, (Calls{0, 1}));
  calls.clear();
  signal();
  EXPECT_EQ(calls, (Calls{0, 9}));
}

TEST(KelSignal, ASlotMayDisconnectTheLastSlotLaterInTheWalk) {
  KelSignal<> signal;
  Calls calls;
  unsigned last = 0;
  signal.connect([&] {
    signal.disconnect(last);
    calls.push_back(0);
  });
  record(signal, calls, 1);
  last = record(signal, calls, 2);
  signal();
  EXPECT_EQ(calls, (Calls{0, 1}));
}

// Runs `action` when destroyed: a slot's callable that outlives its slot.
struct OnDestroy {
  std::function<void()> action;
  OnDestroy(const OnDestroy&) = delete;
  explicit OnDestroy(std::function<void()> a) : action(std::move(a)) {}
  ~OnDestroy() {
    if (action) action();
  }
};

TEST(KelSignal, ASlotDestroyedByDisconnectOrReuseMayUseTheSignal) {
  // Destroyed while the signal's lock was held, these would wait for it for good.
  KelSignal<> signal;
  int destroyed = 0;
  auto slotUsingTheSignal = [&] {
    auto guard = std::make_shared<OnDestroy>([&] {
      ++destroyed;
      (void)signal.hasConnections();  // takes the signal's lock
    });
    return [guard] {};
  };
  const unsigned first = signal.connect(slotUsingTheSignal());
  const unsigned last = signal.connect(slotUsingTheSignal());
  signal.disconnect(last);  // the last slot goes
  EXPECT_EQ(1, destroyed);
  signal.connect([] {});
  signal.disconnect(first);  // the slot becomes a no-op
  EXPECT_EQ(2, destroyed);
  signal.connect(slotUsingTheSignal());  // takes the freed id over
  signal();
  signal.disconnect(first);
  EXPECT_EQ(3, destroyed);
}

TEST(KelSignal, ASlotRemovedInANestedEmissionLivesUntilTheOutermostEnds) {
  // The outer slot emits again; in that nested emission a later slot disconnects it. The outer
  // slot is still running when the nested emission ends: it must not be destroyed there.
  bool destroyed = false;
  bool destroyedWhileRunning = true;
  int depth = 0;
  KelSignal<> signal;
  unsigned outer = 0;
  outer = signal.connect([&, guard = std::make_shared<OnDestroy>([&] { destroyed = true; })] {
    if (depth++ == 0) {
      signal();
      destroyedWhileRunning = destroyed;
    }
    --depth;
  });
  signal.connect([&] {
    if (depth == 1) signal.disconnect(outer);  // only in the nested emission
  });
  signal();
  EXPECT_FALSE(destroyedWhileRunning);
  EXPECT_TRUE(destroyed);
}

TEST(KelSignal, EmissionsOnTwoThreadsAtOnceLeaveNoRemovalDeferred) {
  // Counted without losing an update, the emissions end at none: a slot disconnected afterwards
  // is destroyed at once. Rounds, since the two threads do not always overlap.
  std::atomic<long> calls{0};
  int destroyed = 0;
  KelSignal<> signal;
  signal.connect([&calls] { ++calls; });
  for (int round = 0; round < 20; ++round) {
    std::atomic<int> ready{0};
    auto emit = [&] {
      ++ready;
      while (ready.load() < 2) std::this_thread::yield();
      for (int i = 0; i < 20000; ++i) signal();
    };
    std::thread first(emit), second(emit);
    first.join();
    second.join();
    const unsigned id =
        signal.connect([guard = std::make_shared<OnDestroy>([&] { ++destroyed; })] {});
    signal.disconnect(id);
    ASSERT_EQ(round + 1, destroyed) << "round " << round;
  }
  EXPECT_EQ(800000, calls.load());
}

TEST(KelSignal, ConnectingFromAnotherThreadWhileEmitting) {
  // Another thread takes freed ids over and appends slots while this one emits.
  KelSignal<> signal;
  std::atomic<long> calls{0};
  std::vector<unsigned> ids;
  for (int i = 0; i < 400; ++i) ids.push_back(signal.connect([&calls] { ++calls; }));
  for (std::size_t i = 0; i < ids.size(); i += 2) signal.disconnect(ids[i]);
  std::atomic<bool> started{false}, done{false};
  std::thread connector([&] {
    while (!started.load()) std::this_thread::yield();
    for (int i = 0; i < 20000; ++i) signal.connect([&calls] { ++calls; });
    done = true;
  });
  long emissions = 0;
  while (!done.load()) {
    signal();
    started = true;
    ++emissions;
  }
  connector.join();
  calls = 0;
  signal();
  EXPECT_EQ(20200, calls.load());
  EXPECT_GT(emissions, 0);
}

TEST(KelSignal, ExceptionLeavesTheEmissionAndTheSignalStaysUsable) {
  KelSignal<> signal;
  Calls calls;
  record(signal, calls, 0);
  bool fail = true;
  signal.connect([&] {
    if (fail) throw std::runtime_error("slot failed");
  });
  record(signal, calls, 2);
  EXPECT_THROW(signal(), std::runtime_error);
  EXPECT_EQ(calls, (Calls{0}));
  fail = false;
  signal();
  EXPECT_EQ(calls, (Calls{0, 0, 2}));
}

class KelSignalCoroutine : public ::testing::Test {
 protected:
  ManualClock clock;
  KelSignal<int> signal;
  std::vector<std::string> steps;
};

TEST_F(KelSignalCoroutine, SleepsForTheYieldedMilliseconds) {
  signal.connectCoroutine([this](Sink& sink, int n) {
    steps.push_back("start " + std::to_string(n));
    sink(250);
    steps.push_back("woke " + std::to_string(n));  // still the starting emission's argument
    sink(0);
    steps.push_back("end");
  });
  signal(1);  // runs to the first yield at once
  EXPECT_EQ(steps, (std::vector<std::string>{"start 1"}));
  clock.advanceMs(249);
  signal(2);
  EXPECT_EQ(steps.size(), 1u);
  clock.advanceMs(1);
  signal(3);
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[1], "woke 1");
  signal(4);  // a yield of 0 is resumed by the next emission
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[2], "end");
  signal(5);  // finished: a new run with this emission's argument
  EXPECT_EQ(steps.back(), "start 5");
}

TEST_F(KelSignalCoroutine, BodyThatReturnsAtOnceStartsOnEveryEmission) {
  int runs = 0;
  signal.connectCoroutine([&runs](Sink&, int) { ++runs; });
  for (int i = 0; i < 4; ++i) signal(i);
  EXPECT_EQ(runs, 4);
}

TEST_F(KelSignalCoroutine, ExceptionReachesTheEmitterAndTheNextRunStartsAfresh) {
  int starts = 0;
  signal.connectCoroutine([&starts](Sink& sink, int n) {
    ++starts;
    sink(10);
    if (n < 0) throw std::runtime_error("body failed");
  });
  bool laterCalled = false;
  signal.connect([&laterCalled](int) { laterCalled = true; });

  signal(-1);
  EXPECT_TRUE(laterCalled);
  laterCalled = false;
  clock.advanceMs(10);
  EXPECT_THROW(signal(0), std::runtime_error);  // thrown on resume, across the stack switch
  EXPECT_FALSE(laterCalled);
  signal(0);
  EXPECT_EQ(starts, 2);
  EXPECT_TRUE(laterCalled);

  // Thrown while the run is being created.
  KelSignal<> failing;
  failing.connectCoroutine([](Sink&) { throw std::logic_error("at once"); });
  EXPECT_THROW(failing(), std::logic_error);
  EXPECT_THROW(failing(), std::logic_error);
}

TEST_F(KelSignalCoroutine, CoroutineMayDisconnectItsOwnSlot) {
  unsigned id = 0;
  int after = 0;
  id = signal.connectCoroutine([&](Sink& sink, int) {
    sink(0);
    signal.disconnect(id);
    ++after;  // still running on its own stack after the disconnect
    sink(0);
    ++after;
  });
  signal.connect([](int) {});
  signal(0);
  signal(0);
  EXPECT_EQ(after, 1);
  signal(0);
  EXPECT_EQ(after, 1);
  EXPECT_EQ(signal.connect([](int) {}), id);
}

TEST_F(KelSignalCoroutine, DisconnectDestroysASuspendedRun) {
  struct Guard {
    int* destroyed;
    ~Guard() { ++*destroyed; }
  };
  int destroyed = 0;
  unsigned id = signal.connectCoroutine([&destroyed](Sink& sink, int) {
    Guard guard{&destroyed};
    sink(1000);
  });
  signal.connect([](int) {});
  signal(0);
  EXPECT_EQ(destroyed, 0);
  signal.disconnect(id);  // unwinds the suspended stack
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
