// The main queue of the headless command: a run loop without Qt on the thread
// that calls run(). Posted jobs run in the order they were posted; delayed jobs
// wait on a boot-time timer, so the time the machine sleeps counts towards them.
#pragma once

#include <deque>
#include <mutex>
#include <optional>

#include "base/unique_fd.hpp"
#include "exporter/main_queue.hpp"
#include "platform/linux/timed_jobs.hpp"

namespace lumenfolio {

class PlainMainQueue final : public MainQueue {
 public:
  PlainMainQueue();  // throws std::system_error when the kernel gives no descriptors

  // These three may be called from any thread; the jobs run on run()'s thread.
  void post(Job job) override;
  Token postAfter(std::chrono::milliseconds delay, Job job) override;
  void cancel(Token token) override;

  // Runs jobs on the calling thread until quit(). Jobs still queued then stay
  // queued for a later run().
  void run();
  // Callable from any thread, also before run(): run() returns once the job in
  // progress has ended.
  void quit();

 private:
  std::optional<Job> nextJob();
  void waitForWork();
  void wake() noexcept;

  std::mutex mutex_;
  std::deque<Job> posted_;
  TimedJobs delayed_;
  bool quitting_ = false;
  UniqueFd wakeFd_;
};

}  // namespace lumenfolio
