#include "platform/linux/timed_jobs.hpp"

namespace lumenfolio {

MainQueue::Token TimedJobs::add(std::chrono::milliseconds delay, MainQueue::Job job) {
  const MainQueue::Token token = jobs_.add(BoottimeClock::now() + delay, std::move(job));
  timer_.arm(jobs_.nextDeadline());
  return token;
}

void TimedJobs::cancel(MainQueue::Token token) {
  if (jobs_.cancel(token)) timer_.arm(jobs_.nextDeadline());
}

std::optional<MainQueue::Job> TimedJobs::takeDue(BoottimeClock::time_point now) {
  auto due = jobs_.takeDue(now);
  if (!due) timer_.arm(jobs_.nextDeadline());
  return due;
}

}  // namespace lumenfolio
