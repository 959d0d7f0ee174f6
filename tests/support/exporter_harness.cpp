#include "support/exporter_harness.hpp"

#include <sqlite3.h>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio::testing {

ExporterHarness::ExporterHarness() {
  desktop.home = temp / "home";
  std::filesystem::create_directories(desktop.home);
}

Exporter::Dependencies ExporterHarness::dependencies(bool runsStartUp) {
  return Exporter::Dependencies{
      .mainQueue = queue,
      .clock = clock,
      .storeWorker = storeWorker,
      .store = store,
      .writeWorker = writeWorker,
      .photos = photos,
      .preferences = preferences,
      .desktop = desktop,
      .writeSharedFile =
          [this](const SyncFile::Payload& payload, const std::filesystem::path& file,
                 const Exporter::WrittenAction& written) {
            ++writes;
            lastPayload = payload;
            lastDestination = file;
            writer(payload, file);
            // A fake writer may make no file; the run is told of one all the same.
            written(SharedFileIdentity::of(file).value_or(SharedFileIdentity{.file = file}));
          },
      .runsStartUp = runsStartUp,
      .log = log,
  };
}

std::filesystem::path ExporterHarness::chooseSharedFolder(const std::string& name) {
  const auto folder = temp / name;
  std::filesystem::create_directories(folder);
  SyncFolder::remember(preferences, folder);
  return folder;
}

std::filesystem::path ExporterHarness::sharedFile() {
  const auto folder = SyncFolder::resolve(preferences);
  if (!folder) return {};
  if (folder->release) folder->release();
  return folder->url / ("pixdeck-" + SyncFolder::deviceID(preferences) + "-features.pdsync");
}

std::string ExporterHarness::addAsset(const std::string& uuid,
                                      const std::optional<std::string>& cloudID) {
  const auto localIdentifier = uuid + "/L0/001";
  photos.assets.push_back(localIdentifier);
  if (cloudID) photos.cloudIDs[localIdentifier] = *cloudID;
  return localIdentifier;
}

bool ExporterHarness::exportNow(Exporter& exporter) {
  bool done = false;
  exporter.runExport([&done] { done = true; });
  queue.runUntilIdle();
  return done;
}

StateRecorder::StateRecorder(Exporter& exporter)
    : exporter_(exporter),
      lastStatus_(exporter.status()),
      lastWorking_(exporter.isWorking()),
      id_(exporter.addObserver([this] { record(); })) {}

void StateRecorder::record() {
  ++announcements;
  if (exporter_.status() != lastStatus_) {
    lastStatus_ = exporter_.status();
    statuses.push_back(lastStatus_);
  }
  if (exporter_.isWorking() != lastWorking_) {
    lastWorking_ = exporter_.isWorking();
    working.push_back(lastWorking_);
  }
}

StateRecorder::~StateRecorder() {
  exporter_.removeObserver(id_);
}

std::vector<SyncFile::Features> sharedFileRows(const std::filesystem::path& file) {
  std::vector<SyncFile::Features> rows;
  const auto db = SqliteDatabase::open(file.string(), SQLITE_OPEN_READONLY);
  SqliteStatement statement(db,
                            "SELECT assetID, sharpness, exposure, faces, eyesClosed, smiles, "
                            "screenshot, measures, terms, panel FROM feature ORDER BY assetID");
  while (statement.step()) {
    const auto blob = statement.columnBlob(7).value_or(std::span<const std::uint8_t>{});
    rows.push_back(SyncFile::Features{
        .assetID = std::string(statement.columnText(0).value_or("")),
        .sharpness = statement.columnDouble(1),
        .exposure = statement.columnDouble(2),
        .faces = statement.columnInt(3),
        .eyesClosed = statement.columnInt(4),
        .smiles = statement.columnInt(5),
        .isScreenshot = statement.columnInt(6) != 0,
        .measures = Bytes(blob.begin(), blob.end()),
        .terms = std::string(statement.columnText(8).value_or("")),
        .panel = std::string(statement.columnText(9).value_or("")),
    });
  }
  return rows;
}

std::optional<std::string> sharedFileMeta(const std::filesystem::path& file,
                                          const std::string& key) {
  const auto db = SqliteDatabase::open(file.string(), SQLITE_OPEN_READONLY);
  SqliteStatement statement(db, "SELECT value FROM meta WHERE key = ?");
  statement.bindText(1, key);
  if (!statement.step()) return std::nullopt;
  const auto value = statement.columnText(0);
  return value ? std::optional<std::string>(*value) : std::nullopt;
}

}  // namespace lumenfolio::testing
