#include "support/manual_queue.hpp"

namespace lumenfolio::testing {

void ManualQueue::post(Job job) {
  const std::lock_guard lock(mutex_);
  queued_.push_back(std::move(job));
}

MainQueue::Token ManualQueue::postAfter(std::chrono::milliseconds delay, Job job) {
  const std::lock_guard lock(mutex_);
  const auto token = nextToken_++;
  const double due = elapsed_ + std::chrono::duration<double>(delay).count();
  delayed_.emplace(std::make_pair(due, token), std::move(job));
  dueTimes_.emplace(token, due);
  return token;
}

void ManualQueue::cancel(Token token) {
  const std::lock_guard lock(mutex_);
  const auto found = dueTimes_.find(token);
  if (found == dueTimes_.end()) return;
  delayed_.erase(std::make_pair(found->second, token));
  dueTimes_.erase(found);
}

void ManualQueue::runUntilIdle() {
  while (runOneQueued()) {
  }
}

void ManualQueue::advance(double seconds) {
  const double target = elapsed_ + seconds;
  runUntilIdle();
  while (runNextDelayedUntil(target)) runUntilIdle();
  moveTo(target);
}

std::size_t ManualQueue::delayedCount() const {
  const std::lock_guard lock(mutex_);
  return delayed_.size();
}

bool ManualQueue::runOneQueued() {
  Job job;
  {
    const std::lock_guard lock(mutex_);
    if (queued_.empty()) return false;
    job = std::move(queued_.front());
    queued_.pop_front();
  }
  job();
  return true;
}

bool ManualQueue::runNextDelayedUntil(double target) {
  Job job;
  double due = 0;
  {
    const std::lock_guard lock(mutex_);
    if (delayed_.empty() || delayed_.begin()->first.first > target) return false;
    const auto next = delayed_.begin();
    due = next->first.first;
    dueTimes_.erase(next->first.second);
    job = std::move(next->second);
    delayed_.erase(next);
  }
  moveTo(due);
  job();
  return true;
}

void ManualQueue::moveTo(double time) {
  clock_.advance(time - elapsed_);
  elapsed_ = time;
}

}  // namespace lumenfolio::testing
