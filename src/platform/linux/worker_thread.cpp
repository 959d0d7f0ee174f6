#include "platform/linux/worker_thread.hpp"

namespace lumenfolio {

WorkerThread::WorkerThread(MainQueue& mainQueue)
    : mainQueue_(mainQueue), thread_([this] { loop(); }) {}

WorkerThread::~WorkerThread() {
  std::deque<Task> dropped;  // destroyed outside the lock: a job may own anything
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    dropped.swap(tasks_);
  }
  wake_.notify_one();
  thread_.join();
}

void WorkerThread::run(std::function<void()> job, std::function<void()> done) {
  {
    const std::lock_guard lock(mutex_);
    tasks_.push_back({std::move(job), std::move(done)});
  }
  wake_.notify_one();
}

void WorkerThread::loop() {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (stopping_) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    if (task.job) task.job();
    if (task.done) mainQueue_.post(std::move(task.done));
  }
}

}  // namespace lumenfolio
