#include "platform/linux/boottime_clock.hpp"

#include <time.h>

namespace lumenfolio {

BoottimeClock::time_point BoottimeClock::now() noexcept {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

}  // namespace lumenfolio
