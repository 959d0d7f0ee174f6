#include "exporter/exporter.hpp"

#include <algorithm>
#include <exception>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "exporter/digest_line.hpp"
#include "exporter/exporter_change_observer.hpp"
#include "metadata/unicode_text.hpp"
#include "sync/cloud_identity.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio {

namespace {

constexpr std::string_view kNoAccessText =
    "No access to the photo library. Allow it in System Settings → Privacy & Security → Photos.";
constexpr std::string_view kChooseFolderText =
    "Choose the shared folder — the same one the lumenfolio apps use.";
constexpr std::string_view kReadingDatabasesText = "Reading the library databases…";
constexpr std::string_view kReadingDetailsText = "Reading places, people and camera details…";
constexpr std::string_view kNoMeasuresText = "The library database has no computed measures yet.";
constexpr std::string_view kMatchingText = "Matching photos…";

constexpr std::string_view kChoosePrompt = "Choose";
constexpr std::string_view kChooseMessage = "Choose the shared folder the lumenfolio apps use.";

constexpr std::string_view kOldPreferencesFolder =
    "Library/Containers/io.quillmere.lumenfolio/Data/Library/Preferences";
constexpr std::string_view kOldPreferencesName = "io.quillmere.lumenfolio.exporter.plist";

// An export at start-up is due when the last one is older than this.
constexpr double kExportIntervalSeconds = 3600;
// A burst of library changes is answered once, this long after its last report.
constexpr std::chrono::milliseconds kChangeDelay = std::chrono::seconds(300);

constexpr std::size_t kUUIDLength = 36;

std::string key(std::string_view name) {
  return std::string(name);
}

std::string writingText(std::size_t count) {
  return "Writing " + std::to_string(count) + " photos…";
}

std::string sharedFileName(const std::string& deviceID) {
  return "pixdeck-" + deviceID + "-features.pdsync";
}

// The byte length of the first `count` code points of UTF-8 text.
std::size_t codePointsEnd(const std::string& text, std::size_t from, std::size_t count) {
  std::size_t end = from;
  for (std::size_t seen = 0; seen < count && end < text.size(); ++seen) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return end;
}

// Counts characters as a person reads them, so neither a multi-byte character
// nor a letter with its combining marks is ever cut in half.
std::string firstCharacters(const std::string& text, std::size_t count) {
  if (UnicodeText::graphemeCount(text) <= count) return text;
  // A character holds at least one code point, so this prefix holds no more
  // characters than wanted; it grows while the next code point joins the last one.
  auto end = codePointsEnd(text, 0, count);
  for (auto next = codePointsEnd(text, end, 1);
       next > end && UnicodeText::graphemeCount(std::string_view(text).substr(0, next)) <= count;
       next = codePointsEnd(text, end, 1)) {
    end = next;
  }
  return text.substr(0, end);
}

template <typename Map>
typename Map::mapped_type valueOrEmpty(const Map& map, const std::string& name) {
  const auto found = map.find(name);
  return found == map.end() ? typename Map::mapped_type{} : found->second;
}

std::string lastPathComponent(const std::filesystem::path& folder) {
  const auto name = folder.filename();
  return (name.empty() ? folder.parent_path().filename() : name).string();
}

std::string deviceName(DesktopServices& desktop) {
  const auto host = desktop.hostName();
  return (host && !host->empty() ? *host : std::string("Mac")) + " (exporter)";
}

// Nothing in the row says anything about the photo.
bool isEmptyAsset(const SyncFile::Features& row) {
  return std::max(row.sharpness, row.exposure) <= 0 && row.faces <= 0 && !row.isScreenshot &&
         row.measures.empty() && row.terms.empty() && row.panel.empty();
}

}  // namespace

// One export run. It owns the folder access from the moment the folder
// resolved and holds the exporter until the run has closed.
class Exporter::Run : public std::enable_shared_from_this<Run> {
 public:
  Run(std::shared_ptr<Exporter> exporter, FolderAccess folder, std::function<void()> done)
      : exporter_(std::move(exporter)), folder_(std::move(folder)), done_(std::move(done)) {}

  void begin();

 private:
  void readPanels();
  void checkLibraryData();
  void readNeedsFullDiskAccess();
  void readFailure();
  void reportMissingData();
  void match();
  std::optional<SyncFile::Features> matchedRow(
      const std::string& localIdentifier,
      const std::unordered_map<std::string, std::string>& cloudIDs) const;
  void writeUnlessUnchanged();
  void write();
  std::optional<std::string> writeSharedFile() const;
  void written();
  void close();

  Dependencies& deps() const { return exporter_->deps_; }
  void onStore(std::function<void(Run&, LibraryStore&)> visit, void (Run::*next)());

  const std::shared_ptr<Exporter> exporter_;
  FolderAccess folder_;
  std::function<void()> done_;

  // Filled on the store's worker; read on the main thread once the visit is over.
  std::unordered_map<std::string, AssetFeatures> features_;
  std::unordered_map<std::string, Bytes> measures_;
  std::unordered_map<std::string, std::string> terms_;
  std::unordered_map<std::string, AssetMetadata> panels_;
  bool needsFullDiskAccess_ = false;
  std::optional<std::string> failure_;

  SyncFile::Payload payload_;
  std::filesystem::path file_;
  std::string digest_;
  // Filled on the write worker.
  std::optional<std::string> writeError_;
};

// Only the `done` half holds the run: it is queued after the job has finished,
// so the job may use the run freely, and the run (with the exporter it holds)
// is always let go on the main thread, never on a worker.
void Exporter::Run::onStore(std::function<void(Run&, LibraryStore&)> visit, void (Run::*next)()) {
  deps().storeWorker.run([run = this, visit] { visit(*run, run->deps().store); },
                         [self = shared_from_this(), next] { ((*self).*next)(); });
}

void Exporter::Run::begin() {
  exporter_->setWorking(true);
  exporter_->setStatus(std::string(kReadingDatabasesText));
  onStore(
      [](Run& run, LibraryStore& store) {
        run.features_ = store.features();
        run.measures_ = store.measures();
        run.terms_ = store.searchTerms();
      },
      &Run::readPanels);
}

void Exporter::Run::readPanels() {
  exporter_->setStatus(std::string(kReadingDetailsText));
  onStore([](Run& run, LibraryStore& store) { run.panels_ = store.panels(); },
          &Run::checkLibraryData);
}

void Exporter::Run::checkLibraryData() {
  if (features_.empty() && measures_.empty()) {
    readNeedsFullDiskAccess();
    return;
  }
  exporter_->setNeedsFullDiskAccess(false);
  exporter_->setStatus(std::string(kMatchingText));
  match();
}

void Exporter::Run::readNeedsFullDiskAccess() {
  onStore(
      [](Run& run, LibraryStore& store) {
        run.needsFullDiskAccess_ = store.currentNeedsFullDiskAccess();
      },
      &Run::readFailure);
}

void Exporter::Run::readFailure() {
  exporter_->setNeedsFullDiskAccess(needsFullDiskAccess_);
  onStore([](Run& run, LibraryStore& store) { run.failure_ = store.currentFailure(); },
          &Run::reportMissingData);
}

void Exporter::Run::reportMissingData() {
  const bool hasFailure = failure_ && !failure_->empty();
  exporter_->setStatus(hasFailure ? *failure_ : std::string(kNoMeasuresText));
  close();
}

void Exporter::Run::match() {
  const auto localIdentifiers = deps().photos.fetchImageAssetIdentifiers();
  const auto cloudIDs = CloudIdentity::cloudIDs(localIdentifiers, deps().photos);
  payload_.writtenAt = deps().clock.now();
  payload_.deviceName = deviceName(deps().desktop);
  for (const auto& localIdentifier : localIdentifiers) {
    if (auto row = matchedRow(localIdentifier, cloudIDs)) {
      payload_.features.push_back(std::move(*row));
    }
  }
  // The rows hold all that is still needed; a large library should not be
  // held twice while the file is written.
  features_ = {};
  measures_ = {};
  terms_ = {};
  panels_ = {};
  writeUnlessUnchanged();
}

std::optional<SyncFile::Features> Exporter::Run::matchedRow(
    const std::string& localIdentifier,
    const std::unordered_map<std::string, std::string>& cloudIDs) const {
  const auto cloudID = cloudIDs.find(localIdentifier);
  if (cloudID == cloudIDs.end()) return std::nullopt;
  const auto uuid = firstCharacters(localIdentifier, kUUIDLength);
  const auto features = valueOrEmpty(features_, uuid);
  // Upper-cased the way the panel table keys its rows, odd library text included.
  const auto panel = panels_.find(UnicodeText::upper(uuid));
  SyncFile::Features row{
      .assetID = cloudID->second,
      .sharpness = features.sharpness,
      .exposure = features.exposure,
      .faces = features.faces,
      .eyesClosed = features.eyesClosed,
      .smiles = features.smiles,
      .isScreenshot = features.isScreenshot,
      .measures = valueOrEmpty(measures_, uuid),
      .terms = valueOrEmpty(terms_, uuid),
      .panel = panel == panels_.end() ? std::string() : panel->second.json(),
  };
  if (isEmptyAsset(row)) return std::nullopt;
  return row;
}

void Exporter::Run::writeUnlessUnchanged() {
  const auto name = sharedFileName(SyncFolder::deviceID(deps().preferences));
  // The device identifier comes from the preferences and may hold anything; a
  // name that would leave the folder is never written.
  if (!SyncFolder::isSafeFileName(name)) {
    exporter_->setStatus(std::string(SyncError::description(SyncError::Code::cannotWrite)));
    close();
    return;
  }
  file_ = folder_.url / name;
  digest_ = Exporter::digest(payload_.features);
  const auto stored = deps().preferences.value(key(kDigestKey));
  const auto* storedDigest = stored ? std::get_if<std::string>(&*stored) : nullptr;
  if (storedDigest && *storedDigest == digest_ && SyncFolder::contains(name, folder_.url)) {
    exporter_->recordExport(static_cast<std::int64_t>(payload_.features.size()));
    exporter_->setStatus(std::nullopt);
    close();
    return;
  }
  write();
}

void Exporter::Run::write() {
  exporter_->setStatus(writingText(payload_.features.size()));
  deps().writeWorker.run([run = this] { run->writeError_ = run->writeSharedFile(); },
                         [self = shared_from_this()] { self->written(); });
}

std::optional<std::string> Exporter::Run::writeSharedFile() const {
  try {
    deps().writeSharedFile(payload_, file_);
    return std::nullopt;
  } catch (const SyncError& error) {
    return std::string(SyncError::description(error.code()));
  } catch (const std::exception& error) {
    return std::string(error.what());
  } catch (...) {
    return std::string(SyncError::description(SyncError::Code::cannotWrite));
  }
}

void Exporter::Run::written() {
  if (writeError_) {
    exporter_->setStatus(writeError_);
  } else {
    deps().preferences.setValue(key(kDigestKey), digest_);
    exporter_->recordExport(static_cast<std::int64_t>(payload_.features.size()));
    exporter_->setStatus(std::nullopt);
  }
  close();
}

void Exporter::Run::close() {
  // The library is not held open between runs; the next run reads it afresh.
  deps().storeWorker.run([run = this] { run->deps().store.release(); },
                         [self = shared_from_this()] {});
  exporter_->setWorking(false);
  if (folder_.release) folder_.release();
  exporter_->queue(std::move(done_));
}

Exporter::Exporter(Dependencies dependencies) : deps_(std::move(dependencies)) {
  recoverSettingsMovedIntoBrowserContainer();
  restoreLastExport();
  folderName_ = resolveFolderName();
}

Exporter::~Exporter() = default;

std::shared_ptr<Exporter> Exporter::create(Dependencies dependencies) {
  std::shared_ptr<Exporter> exporter(new Exporter(std::move(dependencies)));
  if (exporter->deps_.runsStartUp) {
    exporter->deps_.mainQueue.post([exporter] { exporter->start(); });
  }
  return exporter;
}

std::filesystem::path Exporter::oldPreferencesFile(const std::filesystem::path& home) {
  return home / kOldPreferencesFolder / kOldPreferencesName;
}

void Exporter::recoverSettingsMovedIntoBrowserContainer() {
  auto& preferences = deps_.preferences;
  if (preferences.value(key(SyncFolder::kFolderBookmarkKey))) return;
  if (preferences.value(key(SyncFolder::kDeviceIDKey))) return;
  const auto file = oldPreferencesFile(deps_.desktop.homeDirectory());
  const auto old = deps_.desktop.readPropertyList(file);
  if (!old) return;
  for (const auto& [name, value] : *old) preferences.setValue(name, value);
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

void Exporter::restoreLastExport() {
  const auto lastExport = deps_.preferences.value(key(kLastExportKey));
  if (const auto* date = lastExport ? std::get_if<PreferenceDate>(&*lastExport) : nullptr) {
    lastExport_ = date->secondsSince1970;
  }
  const auto lastCount = deps_.preferences.value(key(kLastCountKey));
  if (const auto* count = lastCount ? std::get_if<std::int64_t>(&*lastCount) : nullptr) {
    lastCount_ = *count;
  }
}

std::optional<std::string> Exporter::resolveFolderName() {
  auto folder = SyncFolder::resolve(deps_.preferences);
  if (!folder) return std::nullopt;
  auto name = lastPathComponent(folder->url);
  if (folder->release) folder->release();
  return name;
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

void Exporter::libraryChanged() {
  if (pending_) deps_.mainQueue.cancel(*pending_);
  auto self = shared_from_this();
  pending_ = deps_.mainQueue.postAfter(kChangeDelay, [self] { self->runExport(); });
}

void Exporter::runExport(std::function<void()> done) {
  if (isWorking_) {
    queue(std::move(done));
    return;
  }
  auto folder = SyncFolder::resolve(deps_.preferences);
  if (!folder) {
    setStatus(std::string(kChooseFolderText));
    queue(std::move(done));
    return;
  }
  std::make_shared<Run>(shared_from_this(), std::move(*folder), std::move(done))->begin();
}

void Exporter::chooseFolder() {
  const auto chosen =
      deps_.desktop.chooseFolder(std::string(kChoosePrompt), std::string(kChooseMessage));
  if (!chosen) return;
  try {
    SyncFolder::remember(deps_.preferences, *chosen);
  } catch (const std::exception&) {
    // The name below then shows whatever folder still resolves, if any.
  }
  setFolderName(resolveFolderName());
  setStatus(std::nullopt);
  auto self = shared_from_this();
  deps_.mainQueue.post([self] { self->runExport(); });
}

bool Exporter::opensAtLogin() const {
  return deps_.desktop.loginItemEnabled();
}

void Exporter::setOpensAtLogin(bool enabled) {
  if (enabled) {
    deps_.desktop.registerLoginItem();
  } else {
    deps_.desktop.unregisterLoginItem();
  }
  // The flag is read from the service, so this is its only change notice.
  changed();
}

void Exporter::openFullDiskAccessSettings() {
  deps_.desktop.openFullDiskAccessSettings();
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
  publish(status_, std::move(status));
}

void Exporter::setNeedsFullDiskAccess(bool needs) {
  publish(needsFullDiskAccess_, needs);
}

void Exporter::setFolderName(std::optional<std::string> name) {
  publish(folderName_, std::move(name));
}

void Exporter::recordExport(std::int64_t count) {
  lastExport_ = deps_.clock.now();
  lastCount_ = count;
  deps_.preferences.setValue(key(kLastExportKey), PreferenceDate{*lastExport_});
  deps_.preferences.setValue(key(kLastCountKey), count);
  changed();
}

void Exporter::changed() {
  // An observer may add or remove observers while it is told.
  const auto observers = observers_;
  for (const auto& [id, observer] : observers) observer();
}

std::string Exporter::digest(const std::vector<SyncFile::Features>& rows) {
  std::vector<std::string> lines;
  lines.reserve(rows.size());
  for (const auto& row : rows) lines.push_back(DigestLine::of(row));
  return SyncFile::key(std::move(lines));
}

}  // namespace lumenfolio
