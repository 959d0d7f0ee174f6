// Time on CLOCK_BOOTTIME: monotonic like the steady clock, but it keeps counting
// while the machine sleeps, so a five-minute wait that spans a suspend ends on
// time after the resume.
#pragma once

#include <chrono>

namespace lumenfolio {

struct BoottimeClock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<BoottimeClock>;
  static constexpr bool is_steady = true;

  static time_point now() noexcept;
};

}  // namespace lumenfolio
