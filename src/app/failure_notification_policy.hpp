// Decides, from what the exporter shows, when the desktop is told that exports
// stopped working and when they work again: once at each change between the
// two, never again while the same failure goes on. It also knows whether the
// last run failed, which the tray item marks.
//
// A run has ended when the exporter stops working, or when a status appears
// while it is idle (a run turned away before it began, such as one without a
// shared folder). A run that ends with a status failed; one that ends without
// one exported. Statuses seen while working are the run's stages.
#pragma once

#include <optional>
#include <string>

namespace lumenfolio {

class FailureNotificationPolicy {
 public:
  // What the exporter shows at one moment.
  struct Observed {
    bool isWorking = false;
    std::optional<std::string> status;
  };

  enum class Notice { failed, workingAgain };

  // `hasExported`: an export succeeded before (the exporter remembers a last
  // export), so a first failure is a change worth telling.
  explicit FailureNotificationPolicy(bool hasExported);

  // Takes the exporter's state after a change; tells what to announce, if anything.
  std::optional<Notice> observe(const Observed& now);

  bool lastRunFailed() const {
    return health_ == Health::failing || health_ == Health::failingUnannounced;
  }

 private:
  // `unknown`: no run has ended yet and none is known to have succeeded.
  // `failingUnannounced`: failing, but nothing worked before that could have
  // stopped working, so "working again" would tell the user nothing either.
  enum class Health { unknown, exporting, failing, failingUnannounced };

  std::optional<Notice> runEnded(bool failed);

  Health health_;
  Observed previous_;
};

}  // namespace lumenfolio
