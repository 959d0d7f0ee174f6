// A timer file descriptor on CLOCK_BOOTTIME that becomes readable at a chosen
// deadline. Event loops wait on it next to their other descriptors, so delayed
// work counts the time the machine spent asleep.
#pragma once

#include <optional>

#include "base/unique_fd.hpp"
#include "platform/linux/boottime_clock.hpp"

namespace lumenfolio {

class BoottimeTimer {
 public:
  BoottimeTimer();  // throws std::system_error when the kernel refuses a timer
  BoottimeTimer(const BoottimeTimer&) = delete;
  BoottimeTimer& operator=(const BoottimeTimer&) = delete;

  int fd() const noexcept { return fd_.get(); }

  // Makes the descriptor readable at `deadline` (at once when it has passed);
  // nothing disarms it.
  void arm(std::optional<BoottimeClock::time_point> deadline) noexcept;
  // Consumes the expiry, so the descriptor stops being readable until the next one.
  void acknowledge() noexcept;

 private:
  UniqueFd fd_;
};

}  // namespace lumenfolio
