#include <windows.h>

#include "gif/thread_leaving.h"

struct ThreadLeaving::State {
  HANDLE left = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

ThreadLeaving::ThreadLeaving() : state_(std::make_unique<State>()) {}

// Only reached when leave() was never called: a parked thread still waits on `never`.
ThreadLeaving::~ThreadLeaving() {
  if (state_->left) CloseHandle(state_->left);
  if (state_->never) CloseHandle(state_->never);
}

void ThreadLeaving::leave() noexcept {
  // Signals and waits in one call: when the waiter wakes, this thread is inside the system
  // already. `never` is never signalled.
  if (state_->left && state_->never) SignalObjectAndWait(state_->left, state_->never, INFINITE, FALSE);
}

void ThreadLeaving::waitUntilLeft() noexcept {
  if (state_->left) WaitForSingleObject(state_->left, INFINITE);
}
