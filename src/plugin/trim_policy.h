#pragma once
// How the texture manager gives memory back while the game runs: animations idle for a while
// lose their textures, then their frames, and no more than a fixed number stay loaded. Works on
// any catalogue whose values point at objects with state(), lastUsed(), waitingForTextureRoom()
// and setState().
#include <cstddef>
#include <cstdint>
#include <map>

#include "plugin/animation_state.h"

namespace Trim {

constexpr std::int64_t PassInterval = 5'000;      // ms between full passes
constexpr std::int64_t EvictionInterval = 60'000; // ms between two evictions by count
constexpr std::size_t MaxLoaded = 50;             // loaded animations the eviction aims at
constexpr std::int64_t MinIdleToEvict = 1'000;    // ms; what was just drawn is never evicted
constexpr std::int64_t MsPerMinute = 60'000;

struct IdleLimits {
  std::int64_t unloadAfterMinutes;
  std::int64_t releaseAfterMinutes;
};

// The more animations a folder holds, the sooner an idle one is dropped.
inline IdleLimits idleLimits(std::size_t animationCount) {
  if (animationCount <= 4) return {60, 15};
  if (animationCount <= 11) return {30, 5};
  if (animationCount <= 24) return {20, 5};
  if (animationCount <= 50) return {10, 5};
  return {5, 1};
}

// The times a pass keeps between calls.
struct Times {
  std::int64_t lastPass = 0;
  std::int64_t lastEviction = 0;
};

// Textures waiting for room in their budget take the place of those out of view.
template <typename Catalogue>
void giveWay(const Catalogue& animations, std::int64_t now) {
  bool waiting = false;
  for (const auto& entry : animations) waiting = waiting || entry.second->waitingForTextureRoom();
  if (!waiting) return;
  for (const auto& entry : animations) {
    auto* animation = entry.second;
    if (animation->state() == AnimationState::Uploaded && !animation->waitingForTextureRoom() &&
        now - animation->lastUsed() >= MinIdleToEvict)
      animation->setState(AnimationState::Decoded);
  }
}

// One call per game-loop pass. Textures that wait for room get it at once (giveWay); the rest
// runs only when PassInterval has gone by since the last full pass. Returns true when a full
// pass ran.
template <typename Catalogue, typename Clock>
bool pass(const Catalogue& animations, Times& times, Clock nowMs) {
  const std::int64_t now = nowMs();
  if (now - times.lastPass < PassInterval) {
    giveWay(animations, now);
    return false;
  }

  const IdleLimits limits = idleLimits(animations.size());
  auto idleMoreThan = [now](std::int64_t lastUsed, std::int64_t minutes) {
    return now - lastUsed > minutes * MsPerMinute;
  };

  std::size_t unloaded = 0;
  for (const auto& entry : animations) {
    auto* animation = entry.second;
    if (animation->state() == AnimationState::Unloaded) {
      ++unloaded;
    } else if (idleMoreThan(animation->lastUsed(), limits.unloadAfterMinutes)) {
      animation->setState(AnimationState::Unloaded);
      ++unloaded;
    } else if (animation->state() == AnimationState::Uploaded &&
               idleMoreThan(animation->lastUsed(), limits.releaseAfterMinutes)) {
      animation->setState(AnimationState::Decoded);
    }
  }

  giveWay(animations, now);

  // Too many still loaded: unload the least recently used of those not drawn just now. Equal
  // use times all count (animations drawn in the same millisecond are common).
  if (animations.size() - unloaded > MaxLoaded && now - times.lastEviction > EvictionInterval) {
    std::multimap<std::int64_t, decltype(animations.begin()->second)> byLastUse;
    for (const auto& entry : animations) {
      auto* animation = entry.second;
      if (animation->state() != AnimationState::Unloaded &&
          now - animation->lastUsed() >= MinIdleToEvict)
        byLastUse.emplace(animation->lastUsed(), animation);
    }
    while (byLastUse.size() > MaxLoaded) {
      byLastUse.begin()->second->setState(AnimationState::Unloaded);
      byLastUse.erase(byLastUse.begin());
    }
    times.lastEviction = now;
  }

  times.lastPass = nowMs();
  return true;
}

}  // namespace Trim
