// The delayed jobs of a main queue, ordered by their deadlines on the boot-time
// clock (jobs with the same deadline keep the order they were added in). Used
// on the main thread only, so it takes no lock.
#pragma once

#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

#include "exporter/main_queue.hpp"
#include "platform/linux/boottime_clock.hpp"

namespace lumenfolio {

class DelayedJobs {
 public:
  MainQueue::Token add(BoottimeClock::time_point deadline, MainQueue::Job job);
  // False when the token is unknown: it ran, was cancelled, or never existed.
  bool cancel(MainQueue::Token token);

  // The earliest job whose deadline is not after `now`, taken out of the list.
  // Taken one at a time, so a job that cancels a later due job is obeyed.
  std::optional<MainQueue::Job> takeDue(BoottimeClock::time_point now);
  std::optional<BoottimeClock::time_point> nextDeadline() const;
  bool empty() const { return jobs_.empty(); }

 private:
  using Key = std::pair<BoottimeClock::time_point, MainQueue::Token>;
  std::map<Key, MainQueue::Job> jobs_;
  std::unordered_map<MainQueue::Token, BoottimeClock::time_point> deadlines_;
  MainQueue::Token nextToken_ = 1;
};

}  // namespace lumenfolio
