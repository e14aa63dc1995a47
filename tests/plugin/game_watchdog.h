#pragma once
// Ends the game process when it stops getting on: a hang (a file that opens a device, a frame
// that never ends) fails the test within a bounded time and says where, instead of waiting for
// the test runner's own limit.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

class GameWatchdog {
 public:
  // frames: grows while the game gets on; boxes: message boxes shown so far, named when it hangs
  // (a game that shows one modal box after another does not get on either).
  GameWatchdog(std::function<long()> frames, std::function<long()> boxes, DWORD limitMs)
      : frames_(std::move(frames)), boxes_(std::move(boxes)), limitMs_(limitMs) {
    std::thread([this] { watch(); }).detach();
  }
  GameWatchdog(const GameWatchdog&) = delete;
  GameWatchdog& operator=(const GameWatchdog&) = delete;

  // What the game is doing now, named when it hangs; also counts as progress.
  void step(const char* what) {
    what_.store(what);
    ++steps_;
  }
  void stop() { stopped_.store(true); }

  static constexpr UINT HungExitCode = 4;

 private:
  void watch() {
    long last = -1;
    ULONGLONG since = GetTickCount64();
    while (!stopped_.load()) {
      Sleep(200);
      const long now = frames_() + steps_.load();
      if (now != last) {
        last = now;
        since = GetTickCount64();
        continue;
      }
      if (GetTickCount64() - since < limitMs_ || stopped_.load()) continue;
      std::fflush(stdout);
      std::fprintf(stderr, "HUNG: no frame for %lu s while %s (frame %ld, %ld message boxes so far); ending the game\n",
                   static_cast<unsigned long>(limitMs_ / 1000), what_.load(), frames_(), boxes_());
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), HungExitCode);
    }
  }

  std::function<long()> frames_, boxes_;
  DWORD limitMs_;
  std::atomic<long> steps_{0};
  std::atomic<const char*> what_{"starting"};
  std::atomic<bool> stopped_{false};
};
