#include "platform/linux/system_clock.hpp"

#include <chrono>

namespace lumenfolio {

double SystemClock::now() const {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double>(sinceEpoch).count();
}

}  // namespace lumenfolio
