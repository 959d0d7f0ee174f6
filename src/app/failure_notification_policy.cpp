#include "app/failure_notification_policy.hpp"

#include <utility>

namespace lumenfolio {

FailureNotificationPolicy::FailureNotificationPolicy(bool hasExported)
    : health_(hasExported ? Health::exporting : Health::unknown) {}

std::optional<FailureNotificationPolicy::Notice> FailureNotificationPolicy::observe(
    const Observed& now) {
  const bool runStopped = previous_.isWorking && !now.isWorking;
  const bool turnedAway =
      !previous_.isWorking && !now.isWorking && now.status && now.status != previous_.status;
  previous_ = now;
  if (!runStopped && !turnedAway) return std::nullopt;
  return runEnded(now.status.has_value());
}

std::optional<FailureNotificationPolicy::Notice> FailureNotificationPolicy::runEnded(bool failed) {
  const Health before = std::exchange(health_, Health::exporting);
  if (failed) {
    switch (before) {
      case Health::exporting:
        health_ = Health::failing;
        return Notice::failed;
      case Health::unknown:
        health_ = Health::failingUnannounced;
        return std::nullopt;
      case Health::failing:
      case Health::failingUnannounced:
        health_ = before;
        return std::nullopt;
    }
  }
  if (before == Health::failing) return Notice::workingAgain;
  return std::nullopt;
}

}  // namespace lumenfolio
