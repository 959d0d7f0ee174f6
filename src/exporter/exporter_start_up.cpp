#include <memory>
#include <utility>

#include "exporter/exporter.hpp"
#include "exporter/exporter_change_observer.hpp"

namespace lumenfolio {

namespace {

constexpr std::string_view kNoAccessText =
    "No access to the photo library. Allow it in System Settings → Privacy & Security → Photos.";

// An export at start-up is due when the last one is older than this.
constexpr double kExportIntervalSeconds = 3600;

}  // namespace

std::shared_ptr<Exporter> Exporter::create(Dependencies dependencies) {
  std::shared_ptr<Exporter> exporter(new Exporter(std::move(dependencies)));
  if (exporter->deps_.runsStartUp) {
    exporter->deps_.mainQueue.post([exporter] { exporter->start(); });
  }
  return exporter;
}

void Exporter::start() {
  const auto status = deps_.photos.authorizationStatus();
  if (status != AuthorizationStatus::notDetermined) {
    startWithStatus(status);
    return;
  }
  // The answer may come on any thread; only the main queue touches the
  // exporter, and the hold on it moves there with the answer.
  deps_.photos.requestAuthorization(
      [self = shared_from_this()](AuthorizationStatus answer) mutable {
        auto& mainQueue = self->deps_.mainQueue;
        mainQueue.post([self = std::move(self), answer] { self->startWithStatus(answer); });
      });
}

void Exporter::startWithStatus(AuthorizationStatus status) {
  if (status != AuthorizationStatus::authorized && status != AuthorizationStatus::limited) {
    setStatus(std::string(kNoAccessText));
    return;
  }
  // The platform keeps the observer for good, so it holds the exporter weakly
  // and a report after the exporter is gone does nothing.
  std::weak_ptr<Exporter> weak = weak_from_this();
  MainQueue& mainQueue = deps_.mainQueue;
  observer_ = std::make_shared<ExporterChangeObserver>([weak, &mainQueue] {
    mainQueue.post([weak] {
      if (const auto exporter = weak.lock()) exporter->libraryChanged();
    });
  });
  deps_.photos.registerChangeObserver(observer_);
  if (!lastExport_ || *lastExport_ < deps_.clock.now() - kExportIntervalSeconds) runExport();
}

}  // namespace lumenfolio
