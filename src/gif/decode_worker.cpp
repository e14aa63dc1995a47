#include "gif/decode_worker.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "gif/frame_list.h"

void DecodeJob::run() noexcept {
  if (!cancelled()) {
    try {
      frames_ = work_();
    } catch (...) {
      error_ = std::current_exception();
    }
  }
  // What the work captured goes now, on this thread, not with the last owner of the job.
  work_ = nullptr;
  done_.store(true, std::memory_order_release);
}

void DecodeJob::wait() const noexcept {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::shared_ptr<DecodeJob> DecodeWorker::request(DecodeJob::Work work, std::uint64_t cost) {
  auto job = std::make_shared<DecodeJob>(std::move(work), cost);
  std::lock_guard<std::mutex> lock(shared_->mutex);
  if (shared_->stopping) {
    job->error_ = std::make_exception_ptr(std::runtime_error("The decoder has stopped"));
    job->done_.store(true, std::memory_order_release);
    return job;
  }
  startLocked();
  shared_->queue.push_back(job);
  shared_->wake.notify_one();
  return job;
}

void DecodeWorker::start() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  if (!shared_->stopping) startLocked();
}

void DecodeWorker::startLocked() {
  if (!thread_.joinable()) thread_ = std::thread(&DecodeWorker::loop, shared_);
}

void DecodeWorker::loop(std::shared_ptr<Shared> shared) {
  std::unique_lock<std::mutex> lock(shared->mutex);
  for (;;) {
    shared->wake.wait(lock, [&] { return shared->stopping || !shared->queue.empty(); });
    if (shared->stopping) break;
    // The first of the least cost.
    const auto next = std::min_element(shared->queue.begin(), shared->queue.end(),
                                       [](const auto& a, const auto& b) { return a->cost_ < b->cost_; });
    std::shared_ptr<DecodeJob> job = std::move(*next);
    shared->queue.erase(next);
    lock.unlock();
    job->run();
    job.reset();  // the frames of a cancelled job are freed here
    lock.lock();
  }
  shared->ended = true;
  const bool leave = shared->leave;
  lock.unlock();
  shared->wake.notify_all();
  if (leave) shared->leaving.leave();
}

void DecodeWorker::stop(Ending ending) noexcept {
  if (stopped_) return;
  stopped_ = true;
  std::deque<std::shared_ptr<DecodeJob>> dropped;
  {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->stopping = true;
    shared_->leave = ending == Ending::Leave;
    dropped.swap(shared_->queue);
    shared_->wake.notify_all();
    if (thread_.joinable() && ending == Ending::Join)
      shared_->wake.wait(lock, [this] { return shared_->ended; });
  }
  // Woken by the thread's very last act, not by the end of its loop: after that it runs no code.
  if (thread_.joinable() && ending == Ending::Leave) shared_->leaving.waitUntilLeft();
  for (auto& job : dropped) {
    job->cancel();
    job->run();
  }
  if (!thread_.joinable()) return;
  if (ending == Ending::Join)
    thread_.join();
  else
    thread_.detach();
}
