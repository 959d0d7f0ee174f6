// A worker that runs each job at once on the calling thread and queues its
// `done` on the manual main queue. A paused worker keeps the jobs it is given
// until resume(), so a test can look at the controller while work is out.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "exporter/main_queue.hpp"
#include "exporter/worker.hpp"

namespace lumenfolio::testing {

class InlineWorker : public Worker {
 public:
  explicit InlineWorker(MainQueue& mainQueue) : mainQueue_(mainQueue) {}

  void run(std::function<void()> job, std::function<void()> done) override;

  void pause() { paused_ = true; }
  // Runs the jobs kept while paused, in order; later jobs run at once again.
  void resume();

  std::size_t jobsRun() const { return jobsRun_; }
  std::size_t jobsWaiting() const { return waiting_.size(); }

 private:
  void runNow(std::function<void()> job, std::function<void()> done);

  MainQueue& mainQueue_;
  bool paused_ = false;
  std::vector<std::pair<std::function<void()>, std::function<void()>>> waiting_;
  std::size_t jobsRun_ = 0;
};

}  // namespace lumenfolio::testing
