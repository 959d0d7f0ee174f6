// A main queue's delayed jobs on a boot-time timer: the descriptor becomes
// readable when the earliest job is due, so an event loop waiting on it next to
// its other descriptors counts the time the machine sleeps. Takes no lock.
#pragma once

#include <chrono>
#include <optional>

#include "exporter/main_queue.hpp"
#include "platform/linux/boottime_clock.hpp"
#include "platform/linux/boottime_timer.hpp"
#include "platform/linux/delayed_jobs.hpp"

namespace lumenfolio {

class TimedJobs {
 public:
  int fd() const noexcept { return timer_.fd(); }
  // Consumes the descriptor's readiness until the timer is armed again.
  void acknowledge() noexcept { timer_.acknowledge(); }

  MainQueue::Token add(std::chrono::milliseconds delay, MainQueue::Job job);
  void cancel(MainQueue::Token token);
  // The earliest job due at `now`, taken out; when none is due, the timer is
  // armed for the next deadline.
  std::optional<MainQueue::Job> takeDue(BoottimeClock::time_point now);

 private:
  DelayedJobs jobs_;
  BoottimeTimer timer_;
};

}  // namespace lumenfolio
