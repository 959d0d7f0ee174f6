// A Worker on one thread of its own: jobs run there one at a time, in the order
// given, and each job's `done` is posted to the main queue afterwards.
//
// The library store's worker is one of these. The application creates the
// MetadataStore on the main thread, where its constructor only records where to
// look, and from then on touches it only inside jobs of this worker: the store
// opens its connections on its first use, here, so they never leave this thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "exporter/main_queue.hpp"
#include "exporter/worker.hpp"

namespace lumenfolio {

class WorkerThread final : public Worker {
 public:
  // The main queue must outlive the worker.
  explicit WorkerThread(MainQueue& mainQueue);
  // Lets the job in progress end (its `done` is still posted), drops the jobs
  // that have not started, and joins the thread.
  ~WorkerThread() override;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Any thread. A job must not throw.
  void run(std::function<void()> job, std::function<void()> done) override;

 private:
  struct Task {
    std::function<void()> job;
    std::function<void()> done;
  };
  void loop();

  MainQueue& mainQueue_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  bool stopping_ = false;
  std::thread thread_;  // last, so it starts after everything it uses exists
};

}  // namespace lumenfolio
