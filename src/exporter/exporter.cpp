#include "exporter/exporter.hpp"

#include <utility>

#include "exporter/row_digest.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {

Exporter::Exporter(Dependencies dependencies) : deps_(std::move(dependencies)) {
  recoverSettingsMovedIntoBrowserContainer();
  restoreLastExport();
  folderName_ = resolveFolderName();
}

Exporter::~Exporter() = default;

void Exporter::restoreLastExport() {
  const auto lastExport = deps_.preferences.value(std::string(kLastExportKey));
  const auto* date = lastExport ? std::get_if<PreferenceDate>(&*lastExport) : nullptr;
  // A hand-edited "nan" or 1e300 would never be older than an hour, and no
  // start-up export would ever run again.
  if (date && date->isPlausible()) lastExport_ = date->secondsSince1970;
  const auto lastCount = deps_.preferences.value(std::string(kLastCountKey));
  if (const auto* count = lastCount ? std::get_if<std::int64_t>(&*lastCount) : nullptr) {
    lastCount_ = *count;
  }
}

// The remembered folder's name, also while it is not there: it is still the
// chosen folder, and the runs say that it is away.
std::optional<std::string> Exporter::resolveFolderName() {
  const auto folder = SyncFolder::remembered(deps_.preferences);
  if (!folder) return std::nullopt;
  return SyncFolder::displayName(*folder);
}

Exporter::ObserverID Exporter::addObserver(std::function<void()> observer) {
  const auto id = nextObserverID_++;
  observers_.emplace(id, std::move(observer));
  return id;
}

void Exporter::removeObserver(ObserverID id) {
  observers_.erase(id);
}

void Exporter::queue(std::function<void()> done) {
  if (done) deps_.mainQueue.post(std::move(done));
}

void Exporter::setWorking(bool working) {
  publish(isWorking_, working);
}

void Exporter::setStatus(std::optional<std::string> status) {
  failure_.reset();
  publish(status_, std::move(status));
}

void Exporter::fail(ExportFailure kind, const std::string& text, const std::string& cause) {
  deps_.log.write(LogLevel::error,
                  cause.empty() || cause == text ? text : text + " (" + cause + ")");
  const bool same = failure_ == kind && status_ == text;
  failure_ = kind;
  status_ = text;
  if (!same) changed();
}

void Exporter::setNeedsFullDiskAccess(bool needs) {
  publish(needsFullDiskAccess_, needs);
}

void Exporter::setFolderName(std::optional<std::string> name) {
  publish(folderName_, std::move(name));
}

void Exporter::recordExport(std::int64_t count) {
  const auto now = deps_.clock.now();
  deps_.preferences.setValue(std::string(kLastExportKey), PreferenceDate{now});
  deps_.preferences.setValue(std::string(kLastCountKey), count);
  lastExport_ = now;
  lastCount_ = count;
  changed();
}

void Exporter::changed() {
  // An observer may add or remove observers while it is told.
  const auto observers = observers_;
  for (const auto& [id, observer] : observers) observer();
}

std::string Exporter::digest(const std::vector<SyncFile::Features>& rows) {
  return RowDigest::of(rows);
}

}  // namespace lumenfolio
