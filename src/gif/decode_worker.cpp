#include "gif/decode_worker.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "gif/frame_list.h"

namespace {

// The first of the least cost, taken off the queue; null when there is none, or with `below`,
// none of less cost than that.
std::shared_ptr<DecodeJob> takeLeastCostly(std::deque<std::shared_ptr<DecodeJob>>& queue,
                                           const std::uint64_t* below = nullptr) {
  const auto next = std::min_element(queue.begin(), queue.end(),
                                     [](const auto& a, const auto& b) { return a->cost() < b->cost(); });
  if (next == queue.end() || (below && (*next)->cost() >= *below)) return nullptr;
  std::shared_ptr<DecodeJob> job = std::move(*next);
  queue.erase(next);
  return job;
}

}  // namespace

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

std::shared_ptr<DecodeJob> DecodeWorker::request(DecodeJob::Work work, std::uint64_t cost, DecodeJob::Price price) {
  auto job = std::make_shared<DecodeJob>(std::move(work), cost, std::move(price));
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
    priceWaiting(*shared, lock);
    if (shared->stopping || shared->queue.empty()) continue;
    std::shared_ptr<DecodeJob> job = takeLeastCostly(shared->queue);
    lock.unlock();
    runInHand(*shared, std::move(job));
    lock.lock();
  }
  shared->ended = true;
  const bool leave = shared->leave;
  lock.unlock();
  shared->wake.notify_all();
  if (leave) shared->leaving.leave();
}

void DecodeWorker::priceWaiting(Shared& shared, std::unique_lock<std::mutex>& lock) {
  // Jobs queued while the lock is let go are priced in the next round.
  for (;;) {
    std::vector<std::pair<std::shared_ptr<DecodeJob>, DecodeJob::Price>> unpriced;
    try {
      for (const auto& job : shared.queue)
        if (job->price_) unpriced.emplace_back(job, std::move(job->price_));
    } catch (const std::bad_alloc&) {
      // The rest keep the cost they were asked with.
    }
    if (unpriced.empty()) return;
    // A price may read a file: the game's thread must not wait on the lock meanwhile. Only this
    // thread prices, so no job is priced twice.
    lock.unlock();
    for (auto& [job, price] : unpriced) {
      try {
        job->cost_.store(price(), std::memory_order_relaxed);
      } catch (...) {
        // Unpriced, it keeps the cost it was asked with.
      }
    }
    lock.lock();
  }
}

thread_local DecodeWorker::InHand* DecodeWorker::inHand_ = nullptr;

void DecodeWorker::runInHand(Shared& shared, std::shared_ptr<DecodeJob> job) noexcept {
  InHand* outer = inHand_;
  InHand hand{&shared, job->cost()};
  inHand_ = &hand;
  job->run();
  inHand_ = outer;
  job.reset();  // the frames of a cancelled job are freed here
}

void DecodeWorker::letSmallerJobsThrough() noexcept {
  InHand* hand = inHand_;
  if (hand == nullptr) return;
  for (;;) {
    std::shared_ptr<DecodeJob> job;
    {
      std::unique_lock<std::mutex> lock(hand->shared->mutex);
      if (!hand->shared->stopping) priceWaiting(*hand->shared, lock);
      if (hand->shared->stopping) return;
      const std::uint64_t below = hand->cost / CostRatio;
      job = takeLeastCostly(hand->shared->queue, &below);
    }
    if (!job) return;
    runInHand(*hand->shared, std::move(job));
  }
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
