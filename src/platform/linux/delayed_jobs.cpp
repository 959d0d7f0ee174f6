#include "platform/linux/delayed_jobs.hpp"

namespace lumenfolio {

MainQueue::Token DelayedJobs::add(BoottimeClock::time_point deadline, MainQueue::Job job) {
  const MainQueue::Token token = nextToken_++;
  jobs_.emplace(Key{deadline, token}, std::move(job));
  deadlines_.emplace(token, deadline);
  return token;
}

bool DelayedJobs::cancel(MainQueue::Token token) {
  const auto found = deadlines_.find(token);
  if (found == deadlines_.end()) return false;
  jobs_.erase(Key{found->second, token});
  deadlines_.erase(found);
  return true;
}

std::optional<MainQueue::Job> DelayedJobs::takeDue(BoottimeClock::time_point now) {
  if (jobs_.empty() || jobs_.begin()->first.first > now) return std::nullopt;
  auto node = jobs_.extract(jobs_.begin());
  deadlines_.erase(node.key().second);
  return std::move(node.mapped());
}

std::optional<BoottimeClock::time_point> DelayedJobs::nextDeadline() const {
  if (jobs_.empty()) return std::nullopt;
  return jobs_.begin()->first.first;
}

}  // namespace lumenfolio
