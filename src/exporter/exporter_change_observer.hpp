// Receives the photo platform's change reports and hands each one to an action
// fixed at construction.
#pragma once

#include <functional>

#include "sync/photo_platform.hpp"

namespace lumenfolio {

class ExporterChangeObserver final : public ChangeObserver {
 public:
  explicit ExporterChangeObserver(std::function<void()> onChange);

  // Called on the platform's thread; the action only queues work onto the main queue.
  void photoLibraryDidChange() override;

 private:
  const std::function<void()> onChange_;
};

}  // namespace lumenfolio
