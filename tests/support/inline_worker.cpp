#include "support/inline_worker.hpp"

namespace lumenfolio::testing {

void InlineWorker::run(std::function<void()> job, std::function<void()> done) {
  if (paused_) {
    waiting_.emplace_back(std::move(job), std::move(done));
    return;
  }
  runNow(std::move(job), std::move(done));
}

void InlineWorker::resume() {
  paused_ = false;
  auto waiting = std::move(waiting_);
  waiting_.clear();
  for (auto& [job, done] : waiting) runNow(std::move(job), std::move(done));
}

void InlineWorker::runNow(std::function<void()> job, std::function<void()> done) {
  job();
  ++jobsRun_;
  mainQueue_.post(std::move(done));
}

}  // namespace lumenfolio::testing
