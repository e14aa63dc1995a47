#pragma once
// Decodes GIF files on a thread of its own, so that the game's thread never waits for one. The
// game's thread asks with request() and learns that a job is done with one atomic load
// (DecodeJob::done), no lock, so it can look on every use of a texture. The thread starts at
// the first request; jobs run one at a time, the one of least cost first (equal costs in the
// order asked), and one of much less cost than the job in hand runs between that job's frames
// (letSmallerJobsThrough): a small GIF that comes into view waits for no large one. A job's cost
// may be asked of it on the worker, just before it is first compared (a file's size now, not
// when it was listed: a file rewritten since may be far larger). Other file work of the module
// (the folder watch's look) runs here too, as a job that returns no frames.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "gif/frame_list.h"
#include "gif/thread_leaving.h"

class DecodeJob {
 public:
  using Work = std::function<std::unique_ptr<FrameList>()>;
  // The job's cost, asked on the worker's thread.
  using Price = std::function<std::uint64_t()>;
  explicit DecodeJob(Work work, std::uint64_t cost = 0, Price price = nullptr)
      : work_(std::move(work)), price_(std::move(price)), cost_(cost) {}

  // True once the worker is done with the job: frames or error are there to take.
  bool done() const noexcept { return done_.load(std::memory_order_acquire); }
  // Blocks until done(). Not for the game's thread while it draws.
  void wait() const noexcept;
  // After done(): the decoded frames, null when the work threw (see error()).
  std::unique_ptr<FrameList> takeFrames() { return std::move(frames_); }
  // After done(): a look at the decoded frames before they are taken (null as takeFrames).
  const FrameList* frames() const { return frames_.get(); }
  // After done(): what the work threw, null when it succeeded.
  std::exception_ptr error() const { return error_; }

  // The worker skips the job if it has not started it yet; a job in hand runs to its end and is
  // then dropped with its result. Safe from any thread.
  void cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }
  bool cancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }
  std::uint64_t cost() const noexcept { return cost_.load(std::memory_order_relaxed); }

 private:
  friend class DecodeWorker;
  void run() noexcept;

  Work work_;
  Price price_;  // asked once, then null
  std::atomic<std::uint64_t> cost_;
  std::unique_ptr<FrameList> frames_;
  std::exception_ptr error_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> done_{false};
};

class DecodeWorker {
 public:
  // How the thread ends when the worker is destroyed.
  enum class Ending {
    // Wait for the job in hand, then join the thread.
    Join,
    // Wait for the job in hand; the thread then leaves as a thread of a module being unloaded
    // must (thread_leaving.h) and is not joined.
    Leave,
  };
  // When the process is ending, its other threads are gone already, maybe inside a lock: a
  // worker is then neither stopped nor destroyed, only left as it is.

  DecodeWorker() = default;
  ~DecodeWorker() { stop(Ending::Join); }
  DecodeWorker(const DecodeWorker&) = delete;
  DecodeWorker& operator=(const DecodeWorker&) = delete;

  // Queues work, which returns the frames or throws; `cost` orders it among the jobs waiting
  // (a GIF's size in bytes, say). With `price`, the cost is what price answers on the worker
  // before the job is first compared with others. The job is done at once, with the error
  // std::runtime_error, once the worker has stopped.
  std::shared_ptr<DecodeJob> request(DecodeJob::Work work, std::uint64_t cost = 0, DecodeJob::Price price = nullptr);
  // Starts the thread now, if not yet (request does it otherwise): making a thread takes
  // milliseconds that a draw call should not spend. Throws std::system_error when it cannot.
  void start();

  // Stops the worker: jobs not started are dropped (done, cancelled); later requests fail.
  // Only the first call acts.
  void stop(Ending ending) noexcept;

  // For work between the frames it decodes: on a worker's thread, runs there and then the jobs
  // waiting whose cost is less than the job in hand's divided by CostRatio, least first. Does
  // nothing on any other thread.
  static void letSmallerJobsThrough() noexcept;
  static constexpr std::uint64_t CostRatio = 4;

 private:
  // What the thread and the worker share: the thread may outlive the worker (Leave).
  struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::shared_ptr<DecodeJob>> queue;
    bool stopping = false;
    bool leave = false;  // end the thread as ThreadLeaving says
    bool ended = false;  // the thread has left its loop
    ThreadLeaving leaving;
  };
  static void loop(std::shared_ptr<Shared> shared);
  // Asks the jobs waiting that have a price for it, with the lock let go meanwhile.
  static void priceWaiting(Shared& shared, std::unique_lock<std::mutex>& lock);
  void startLocked();
  // What the calling thread is running, on a worker's thread.
  struct InHand {
    Shared* shared;
    std::uint64_t cost;
  };
  static thread_local InHand* inHand_;
  static void runInHand(Shared& shared, std::shared_ptr<DecodeJob> job) noexcept;

  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::thread thread_;
  bool stopped_ = false;
};
