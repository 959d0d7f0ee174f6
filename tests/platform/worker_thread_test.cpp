#include "platform/linux/worker_thread.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/linux/plain_main_queue.hpp"

namespace lumenfolio {
namespace {

TEST(WorkerThread, runsJobsOneAtATimeInOrderOffTheMainThread) {
  PlainMainQueue queue;
  std::vector<int> jobsRun;  // touched by the worker only, read after the last done
  std::vector<std::thread::id> jobThreads;
  std::atomic<int> running{0};
  bool overlapped = false;
  {
    WorkerThread worker(queue);
    for (int job = 0; job < 50; ++job) {
      worker.run(
          [&, job] {
            overlapped = overlapped || running.fetch_add(1) != 0;
            jobsRun.push_back(job);
            jobThreads.push_back(std::this_thread::get_id());
            running.fetch_sub(1);
          },
          job == 49 ? std::function<void()>([&] { queue.quit(); }) : nullptr);
    }
    queue.run();
  }
  ASSERT_EQ(jobsRun.size(), 50u);
  for (int job = 0; job < 50; ++job) EXPECT_EQ(jobsRun[job], job);
  EXPECT_FALSE(overlapped);
  for (const auto id : jobThreads) {
    EXPECT_NE(id, std::this_thread::get_id());
    EXPECT_EQ(id, jobThreads.front());
  }
}

TEST(WorkerThread, postsEachDoneOnTheMainQueueAfterItsJob) {
  PlainMainQueue queue;
  WorkerThread worker(queue);
  std::vector<int> order;
  std::mutex mutex;  // jobs and dones run on different threads
  auto record = [&](int step) {
    const std::lock_guard lock(mutex);
    order.push_back(step);
  };
  std::vector<std::thread::id> doneThreads;
  for (int job = 0; job < 3; ++job) {
    worker.run([&, job] { record(job * 10); },
               [&, job] {
                 record(job * 10 + 1);
                 doneThreads.push_back(std::this_thread::get_id());
                 if (job == 2) queue.quit();
               });
  }
  queue.run();
  // Each done comes after its own job, and the dones keep the jobs' order.
  std::vector<int> dones;
  for (std::size_t at = 0; at < order.size(); ++at) {
    if (order[at] % 10 == 1) {
      dones.push_back(order[at]);
      const auto job = std::find(order.begin(), order.end(), order[at] - 1);
      EXPECT_LT(job - order.begin(), static_cast<std::ptrdiff_t>(at));
    }
  }
  EXPECT_EQ(dones, (std::vector<int>{1, 11, 21}));
  for (const auto id : doneThreads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(WorkerThread, destructionWaitsForTheRunningJob) {
  PlainMainQueue queue;
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool release = false;
  bool finished = false;
  bool finishedWhenDestroyed = false;
  auto worker = std::make_unique<WorkerThread>(queue);
  worker->run(
      [&] {
        std::unique_lock lock(mutex);
        started = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        finished = true;
      },
      nullptr);
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return started; });
  }
  std::thread destroyer([&] {
    worker.reset();
    const std::lock_guard lock(mutex);
    finishedWhenDestroyed = finished;
  });
  {
    const std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  destroyer.join();
  EXPECT_TRUE(finishedWhenDestroyed);
}

}  // namespace
}  // namespace lumenfolio
