#include <condition_variable>
#include <mutex>

#include "gif/thread_leaving.h"

struct ThreadLeaving::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool left = false;
};

ThreadLeaving::ThreadLeaving() : state_(std::make_unique<State>()) {}
ThreadLeaving::~ThreadLeaving() = default;

void ThreadLeaving::leave() noexcept {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->left = true;
  state_->changed.notify_all();
}

void ThreadLeaving::waitUntilLeft() noexcept {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->changed.wait(lock, [this] { return state_->left; });
}
