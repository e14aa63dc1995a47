#pragma once
// How a thread leaves a module that is being unloaded. The unloading thread holds the system's
// loader lock: it cannot join the thread (ending a thread waits for that lock), and once it lets
// the unloading go on, the module's code is gone, so the leaving thread must not run one more
// instruction of it. Windows: leave() wakes the waiter and parks the thread inside the system,
// in one call, for the rest of the process. Elsewhere code never goes away under a thread:
// leave() wakes the waiter and returns, and the thread ends by returning.
#include <memory>

class ThreadLeaving {
 public:
  ThreadLeaving();
  ~ThreadLeaving();
  ThreadLeaving(const ThreadLeaving&) = delete;
  ThreadLeaving& operator=(const ThreadLeaving&) = delete;

  // The leaving thread's last act.
  void leave() noexcept;
  // Blocks until leave() has been called.
  void waitUntilLeft() noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
