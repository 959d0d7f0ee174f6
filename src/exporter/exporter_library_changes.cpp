#include <chrono>

#include "exporter/exporter.hpp"

namespace lumenfolio {

namespace {

// A burst of library changes is answered once, this long after its last report.
constexpr std::chrono::milliseconds kChangeDelay = std::chrono::seconds(300);

}  // namespace

void Exporter::libraryChanged() {
  if (pending_) deps_.mainQueue.cancel(*pending_);
  auto self = shared_from_this();
  pending_ = deps_.mainQueue.postAfter(kChangeDelay, [self] { self->runExport(); });
}

}  // namespace lumenfolio
