// A main queue in virtual time: queued jobs run when the test says so, and
// delayed jobs run as the test moves time forward (the fake clock moves along).
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "exporter/main_queue.hpp"
#include "support/fake_clock.hpp"

namespace lumenfolio::testing {

class ManualQueue : public MainQueue {
 public:
  explicit ManualQueue(FakeClock& clock) : clock_(clock) {}

  void post(Job job) override;
  Token postAfter(std::chrono::milliseconds delay, Job job) override;
  void cancel(Token token) override;

  // Runs queued jobs, and the jobs they queue, until none is left. Delayed jobs
  // wait for advance().
  void runUntilIdle();
  // Moves virtual time forward, running each delayed job at its due time (in
  // due order, ties in the order they were queued), each followed by the jobs
  // it queued.
  void advance(double seconds);

  // Virtual seconds since the queue was made.
  double elapsed() const { return elapsed_; }
  std::size_t delayedCount() const;

 private:
  bool runOneQueued();
  bool runNextDelayedUntil(double target);
  void moveTo(double time);

  FakeClock& clock_;
  mutable std::mutex mutex_;  // post() may come from any thread
  std::deque<Job> queued_;
  std::map<std::pair<double, Token>, Job> delayed_;
  std::map<Token, double> dueTimes_;
  Token nextToken_ = 1;
  double elapsed_ = 0;
};

}  // namespace lumenfolio::testing
