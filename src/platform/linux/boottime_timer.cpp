#include "platform/linux/boottime_timer.hpp"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace lumenfolio {

BoottimeTimer::BoottimeTimer() : fd_(timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC)) {
  if (!fd_) throw std::system_error(errno, std::generic_category(), "timerfd_create");
}

void BoottimeTimer::arm(std::optional<BoottimeClock::time_point> deadline) noexcept {
  itimerspec setting{};
  if (deadline) {
    const auto sinceBoot = deadline->time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceBoot);
    setting.it_value.tv_sec = seconds.count();
    setting.it_value.tv_nsec = (sinceBoot - seconds).count();
    // An all-zero value would disarm the timer instead of firing it.
    if (setting.it_value.tv_sec == 0 && setting.it_value.tv_nsec == 0) setting.it_value.tv_nsec = 1;
  }
  timerfd_settime(fd_.get(), TFD_TIMER_ABSTIME, &setting, nullptr);
}

void BoottimeTimer::acknowledge() noexcept {
  std::uint64_t expirations = 0;
  [[maybe_unused]] const auto ignored = read(fd_.get(), &expirations, sizeof expirations);
}

}  // namespace lumenfolio
