#include "exporter/exporter_change_observer.hpp"

namespace lumenfolio {

ExporterChangeObserver::ExporterChangeObserver(std::function<void()> onChange)
    : onChange_(std::move(onChange)) {}

void ExporterChangeObserver::photoLibraryDidChange() {
  onChange_();
}

}  // namespace lumenfolio
