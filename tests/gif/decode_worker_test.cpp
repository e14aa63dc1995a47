// The decoding thread: results and errors reach the asker, cancelled and dropped jobs never run,
// and stopping waits for the job in hand whichever way the thread ends.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "gif/decode_worker.h"
#include "gif/frame_list.h"
#include "gif_test_files.h"

namespace {

// Holds the worker inside a job until opened.
class Gate {
 public:
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  void pass() {
    std::unique_lock<std::mutex> lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  void waitUntilEntered() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return entered_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false, entered_ = false;
};

std::string errorOf(const DecodeJob& job) {
  if (!job.error()) return "(none)";
  try {
    std::rethrow_exception(job.error());
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(not a std::exception)";
}

GifBytes twoFrames() {
  GifWriter writer({4, 4, {0, 0, 0, 255, 0, 0}, 0});
  for (std::uint8_t index : {0, 1}) writer.graphicControl({10}).image(filledImage(4, 4, index));
  return writer.trailer().bytes();
}

DecodeJob::Work loading(const TempGifFile& file) {
  std::string path = file.path();
  return [path] { return FrameList::load(path.c_str()); };
}

}  // namespace

TEST(DecodeWorker, JobsHandBackFramesOrTheErrorInTheOrderAsked) {
  const TempGifFile good(twoFrames(), "good"), corrupt(GifBytes{'G', 'I', 'F', '8', '9', 'a'}, "bad");
  DecodeWorker worker;
  std::vector<int> order;
  std::mutex orderMutex;
  auto noting = [&](int n, DecodeJob::Work work) -> DecodeJob::Work {
    return [&, n, work] {
      {
        std::lock_guard<std::mutex> lock(orderMutex);
        order.push_back(n);
      }
      return work();
    };
  };
  auto first = worker.request(noting(0, loading(good)));
  auto second = worker.request(noting(1, loading(corrupt)));
  auto third = worker.request(noting(2, [] () -> std::unique_ptr<FrameList> { throw std::bad_alloc(); }));
  for (const auto* job : {first.get(), second.get(), third.get()}) job->wait();

  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  auto frames = first->takeFrames();
  ASSERT_NE(frames, nullptr);
  EXPECT_EQ(frames->frames.size(), 2u);
  EXPECT_EQ(errorOf(*first), "(none)");
  EXPECT_EQ(second->takeFrames(), nullptr);
  EXPECT_NE(errorOf(*second), "(none)");
  EXPECT_EQ(errorOf(*third), std::bad_alloc().what());
}

TEST(DecodeWorker, TheWaitingJobOfLeastCostGoesFirst) {
  DecodeWorker worker;
  Gate gate;
  std::vector<int> order;  // touched by the worker only, read after its jobs are done
  auto inHand = worker.request([&] { gate.pass(); return std::make_unique<FrameList>(); }, 100);
  gate.waitUntilEntered();
  std::vector<std::shared_ptr<DecodeJob>> jobs;
  const std::pair<int, std::uint64_t> asked[] = {{0, 30}, {1, 10}, {2, 20}, {3, 10}, {4, 0}};
  for (const auto& [n, cost] : asked)
    jobs.push_back(worker.request([&order, n = n] { order.push_back(n); return std::make_unique<FrameList>(); }, cost));
  gate.open();
  for (const auto& job : jobs) job->wait();
  EXPECT_EQ(order, (std::vector<int>{4, 1, 3, 2, 0}));
}

TEST(DecodeWorker, MuchSmallerJobsRunBetweenTheFramesOfTheOneInHand) {
  const TempGifFile file(twoFrames(), "large");
  DecodeWorker worker;
  Gate gate;
  std::vector<std::string> ran;  // touched by the worker only, read after its jobs are done
  std::shared_ptr<DecodeJob> large;
  const auto caller = std::this_thread::get_id();
  bool pricedHere = false;
  // Each job is queued with the size its file had when listed, and priced with its size now.
  auto priced = [&](std::uint64_t now) {
    return [&, now] {
      pricedHere = pricedHere || std::this_thread::get_id() == caller;
      return now;
    };
  };
  auto noting = [&](std::string name) {
    return [&, name] {
      ran.push_back(name + (large->done() ? " after" : " within"));
      return std::make_unique<FrameList>();
    };
  };
  large = worker.request([&, path = std::string(file.path())] {
    gate.pass();
    return FrameList::load(path.c_str());
  }, 25, priced(100));
  gate.waitUntilEntered();
  auto quarter = worker.request(noting("quarter"), 1, priced(100 / DecodeWorker::CostRatio));
  auto rewritten = worker.request(noting("grown"), 1, priced(100));
  auto small = worker.request(noting("small"), 30, priced(100 / DecodeWorker::CostRatio - 1));
  gate.open();
  for (const auto* job : {large.get(), quarter.get(), rewritten.get(), small.get()}) job->wait();
  EXPECT_EQ(ran, (std::vector<std::string>{"small within", "quarter after", "grown after"}));
  EXPECT_FALSE(pricedHere);
  ASSERT_NE(large->takeFrames(), nullptr);
  DecodeWorker::letSmallerJobsThrough();  // off a worker's thread: nothing to do
}

TEST(DecodeWorker, CancelledJobsNotStartedNeverRunAndOneInHandEnds) {
  DecodeWorker worker;
  Gate gate;
  int ran = 0;  // touched by the worker only, read after its jobs are done
  auto counting = [&ran] { ++ran; return std::make_unique<FrameList>(); };
  auto inHand = worker.request([&] { gate.pass(); return counting(); });
  gate.waitUntilEntered();
  auto queued = worker.request(counting);
  auto kept = worker.request(counting);
  queued->cancel();
  inHand->cancel();
  gate.open();
  for (const auto* job : {kept.get(), queued.get(), inHand.get()}) job->wait();
  EXPECT_EQ(ran, 2);  // the job in hand and the one not cancelled
  EXPECT_EQ(queued->takeFrames(), nullptr);
  EXPECT_EQ(errorOf(*queued), "(none)");
  EXPECT_NE(kept->takeFrames(), nullptr);
}

TEST(DecodeWorker, StoppingWaitsForTheJobInHandAndDropsTheRest) {
  for (auto ending : {DecodeWorker::Ending::Join, DecodeWorker::Ending::Leave}) {
    SCOPED_TRACE(ending == DecodeWorker::Ending::Join ? "join" : "leave");
    auto worker = std::make_unique<DecodeWorker>();
    Gate gate;
    bool finished = false, queuedRan = false;
    auto inHand = worker->request([&] {
      gate.pass();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      finished = true;
      return std::make_unique<FrameList>();
    });
    auto queued = worker->request([&] { queuedRan = true; return std::make_unique<FrameList>(); });
    gate.waitUntilEntered();
    // The asker lets go of the job in hand: the worker's own reference keeps it alive.
    inHand.reset();
    gate.open();
    worker->stop(ending);
    EXPECT_TRUE(finished);
    EXPECT_TRUE(queued->done());
    EXPECT_FALSE(queuedRan);
    worker.reset();  // the thread may still be returning: it holds what it uses

    // A worker that never started its thread stops at once; what is asked later fails.
    DecodeWorker idle;
    idle.stop(ending);
    auto late = idle.request([] { return std::make_unique<FrameList>(); });
    EXPECT_TRUE(late->done());
    EXPECT_EQ(errorOf(*late), "The decoder has stopped");
  }
}
