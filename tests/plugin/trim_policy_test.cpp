#include "plugin/trim_policy.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>

namespace {

struct FakeAnimation {
  AnimationState current = AnimationState::Decoded;
  std::int64_t used = 0;
  bool waiting = false;
  AnimationState state() const { return current; }
  bool waitingForTextureRoom() const { return waiting; }
  std::int64_t lastUsed() const { return used; }
  void setState(AnimationState target) { current = target; }
};

constexpr std::int64_t Minute = 60'000;

class TrimTest : public ::testing::Test {
 protected:
  // Names sort in the order they were added.
  FakeAnimation& add(AnimationState state, std::int64_t lastUsed) {
    pool.push_back({state, lastUsed});
    char name[16];
    std::snprintf(name, sizeof name, "anim%03zu", pool.size());
    catalogue[name] = &pool.back();
    return pool.back();
  }
  bool pass() {
    return Trim::pass(catalogue, times, [this] { return now; });
  }
  std::size_t loadedCount() const {
    std::size_t n = 0;
    for (const auto& a : pool) n += a.current != AnimationState::Unloaded;
    return n;
  }

  std::int64_t now = 100 * Minute;
  Trim::Times times{now - Trim::PassInterval, now - Trim::PassInterval};
  std::deque<FakeAnimation> pool;
  std::map<std::string, FakeAnimation*, std::less<>> catalogue;
};

TEST(TrimLimits, ShrinkAsTheFolderGrows) {
  const std::pair<std::size_t, Trim::IdleLimits> expected[] = {
      {0, {60, 15}}, {4, {60, 15}}, {5, {30, 5}}, {11, {30, 5}}, {12, {20, 5}},
      {24, {20, 5}}, {25, {10, 5}}, {50, {10, 5}}, {51, {5, 1}}, {1000, {5, 1}}};
  for (const auto& [count, limits] : expected) {
    EXPECT_EQ(Trim::idleLimits(count).unloadAfterMinutes, limits.unloadAfterMinutes) << count;
    EXPECT_EQ(Trim::idleLimits(count).releaseAfterMinutes, limits.releaseAfterMinutes) << count;
  }
}

TEST_F(TrimTest, IdleAnimationsReleaseThenUnload) {
  auto& fresh = add(AnimationState::Uploaded, now - 15 * Minute);  // exactly 15: not more
  auto& idle = add(AnimationState::Uploaded, now - 16 * Minute);
  auto& long_idle = add(AnimationState::Uploaded, now - 61 * Minute);
  ASSERT_TRUE(pass());
  EXPECT_EQ(fresh.current, AnimationState::Uploaded);
  EXPECT_EQ(idle.current, AnimationState::Decoded);
  EXPECT_EQ(long_idle.current, AnimationState::Unloaded);
}

TEST_F(TrimTest, LargeCatalogueUsesShortLimits) {
  for (int i = 0; i < 60; ++i) add(AnimationState::Uploaded, now - 30'000);
  auto& released = add(AnimationState::Uploaded, now - Minute - 1);
  auto& unloaded = add(AnimationState::Decoded, now - 5 * Minute - 1);
  times.lastEviction = now;  // keep the count cap out of this test
  ASSERT_TRUE(pass());
  EXPECT_EQ(released.current, AnimationState::Decoded);
  EXPECT_EQ(unloaded.current, AnimationState::Unloaded);
  EXPECT_EQ(pool.front().current, AnimationState::Uploaded);
}

TEST_F(TrimTest, FullPassAtMostEveryFiveSeconds) {
  auto& idle = add(AnimationState::Uploaded, now - 16 * Minute);
  times.lastPass = now - 4'999;
  EXPECT_FALSE(pass());
  EXPECT_EQ(times.lastPass, now - 4'999);
  EXPECT_EQ(idle.current, AnimationState::Uploaded);
  now += 1;
  EXPECT_TRUE(pass());
  EXPECT_EQ(times.lastPass, now);
  EXPECT_EQ(idle.current, AnimationState::Decoded);
}

TEST_F(TrimTest, ClockSetBackWaitsForTheLastPass) {
  ASSERT_TRUE(pass());
  const auto last = times.lastPass;
  now -= 10 * Minute;
  EXPECT_FALSE(pass());
  now = last + 4'999;
  EXPECT_FALSE(pass());
  now = last + 5'000;
  EXPECT_TRUE(pass());
}

TEST_F(TrimTest, PreloadedButNeverDrawnIsUnloaded) {
  auto& preloaded = add(AnimationState::Decoded, 0);
  ASSERT_TRUE(pass());
  EXPECT_EQ(preloaded.current, AnimationState::Unloaded);
}

TEST_F(TrimTest, TexturesOutOfViewGiveWayToTexturesWaitingForRoom) {
  auto& outOfView = add(AnimationState::Uploaded, now - Trim::MinIdleToEvict);
  auto& justDrawn = add(AnimationState::Uploaded, now - Trim::MinIdleToEvict + 1);
  auto& decoded = add(AnimationState::Decoded, now - 10'000);
  ASSERT_TRUE(pass());
  EXPECT_EQ(outOfView.current, AnimationState::Uploaded) << "nobody waits";

  auto& waiting = add(AnimationState::Uploaded, now);
  waiting.waiting = true;
  now += Trim::PassInterval;
  outOfView.used = justDrawn.used = now - Trim::MinIdleToEvict;
  justDrawn.used += 1;
  ASSERT_TRUE(pass());
  EXPECT_EQ(outOfView.current, AnimationState::Decoded);
  EXPECT_EQ(justDrawn.current, AnimationState::Uploaded);
  EXPECT_EQ(decoded.current, AnimationState::Decoded);
  EXPECT_EQ(waiting.current, AnimationState::Uploaded);

  // Between full passes too: whoever waits need not wait for the next one.
  now += 1'000;
  EXPECT_FALSE(pass());
  EXPECT_EQ(justDrawn.current, AnimationState::Decoded);
  EXPECT_EQ(waiting.current, AnimationState::Uploaded);
}

TEST_F(TrimTest, EvictionKeepsTheFiftyMostRecentlyUsed) {
  // 60 loaded, all within the idle limits, used one second apart: the ten oldest go.
  for (int i = 0; i < 60; ++i) add(AnimationState::Decoded, now - 2 * Minute + i * 1'000);
  times.lastEviction = now - Minute - 1;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 50u);
  for (int i = 0; i < 60; ++i)
    EXPECT_EQ(pool[i].current, i < 10 ? AnimationState::Unloaded : AnimationState::Decoded) << i;
}

TEST_F(TrimTest, EvictionStartsAboveExactlyFifty) {
  // 50 loaded stay; one more and the least recently used goes.
  for (int i = 0; i < 50; ++i) add(AnimationState::Decoded, now - 2 * Minute + i * 1'000);
  times.lastEviction = now - Minute - 1;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 50u);
  add(AnimationState::Decoded, now - 3 * Minute);
  now += Minute + 1;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 50u);
  EXPECT_EQ(pool.back().current, AnimationState::Unloaded);
}

TEST_F(TrimTest, NoEvictionPassWhileFiftyOrFewerAreLoaded) {
  // More than fifty files, fifty loaded: nothing to evict, and the minute is not started again.
  for (int i = 0; i < 60; ++i) add(i < 50 ? AnimationState::Decoded : AnimationState::Unloaded, now - 10'000);
  times.lastEviction = now - Minute - 1;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 50u);
  EXPECT_EQ(times.lastEviction, now - Minute - 1);
  for (int i = 50; i < 55; ++i) pool[i].current = AnimationState::Decoded;
  now += Trim::PassInterval;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 50u);
}

TEST_F(TrimTest, EvictionCountsAnimationsUsedInTheSameMillisecond) {
  for (int i = 0; i < 60; ++i) add(AnimationState::Uploaded, now - 2'000);
  times.lastEviction = now - Minute - 1;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 50u);
}

TEST_F(TrimTest, EvictionSparesWhatWasJustDrawn) {
  for (int i = 0; i < 45; ++i) add(AnimationState::Decoded, now - 10'000);
  for (int i = 0; i < 15; ++i) add(AnimationState::Uploaded, now - 999);
  times.lastEviction = now - Minute - 1;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 60u);  // only 45 were idle for a second: none above the cap
  // Idle for exactly a second counts: 60 now, the oldest ten go.
  now += Minute + 1;
  for (auto& animation : pool) animation.used = now - 10'000;
  for (int i = 0; i < 15; ++i) pool[45 + i].used = now - 1'000;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 50u);
}

TEST_F(TrimTest, EvictionRunsOncePerMinuteWhilePassesGoOn) {
  for (int i = 0; i < 60; ++i) add(AnimationState::Decoded, now - 10'000 - i);
  times.lastEviction = now - Minute;  // exactly a minute: not yet
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 60u);
  now += Trim::PassInterval;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 50u);
  for (int i = 0; i < 20; ++i) add(AnimationState::Decoded, now - 5'000);
  now += Trim::PassInterval;
  ASSERT_TRUE(pass());
  EXPECT_EQ(loadedCount(), 70u);  // the last eviction was five seconds ago
}

}  // namespace
