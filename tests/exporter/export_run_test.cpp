#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "support/exporter_harness.hpp"
#include "support/exporter_texts.hpp"
#include "support/two_asset_export.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;

using namespace texts;

// Every test drives runs by hand; the start-up export is not part of them.
class ExportRun : public TwoAssetExport {
 protected:
  void SetUp() override {
    TwoAssetExport::SetUp();
    harness.store.termTable[kSecond] = "beach dog";
    exporter = harness.create(false);
  }

  void removeLibraryData() {
    harness.store.featureTable.clear();
    harness.store.measureTable.clear();
  }

  std::shared_ptr<Exporter> exporter;
};

TEST_F(ExportRun, writesTheSharedFileShowingEveryStageInOrder) {
  StateRecorder recorder(*exporter);
  EXPECT_TRUE(harness.exportNow(*exporter));

  EXPECT_EQ(recorder.statuses,
            (Statuses{kReading, kReadingDetails, kMatching, writing(2), std::nullopt}));
  EXPECT_EQ(recorder.working, (std::vector<bool>{true, false}));
  EXPECT_FALSE(exporter->isWorking());
  EXPECT_FALSE(exporter->needsFullDiskAccess());
  EXPECT_EQ(exporter->lastExport(), harness.clock.now());
  EXPECT_EQ(exporter->lastCount(), 2);
  EXPECT_EQ(stored(Exporter::kLastExportKey), PreferenceValue(PreferenceDate{harness.clock.now()}));
  EXPECT_EQ(stored(Exporter::kLastCountKey), PreferenceValue(std::int64_t{2}));
  const auto digest = stored(Exporter::kDigestKey);
  ASSERT_TRUE(digest && std::holds_alternative<std::string>(*digest));
  EXPECT_EQ(std::get<std::string>(*digest).size(), 64U);

  const auto rows = sharedFileRows(harness.sharedFile());
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows[0].assetID, "cloud-first");
  EXPECT_EQ(rows[0].sharpness, 0.75);
  EXPECT_EQ(rows[0].faces, 2);
  EXPECT_EQ(rows[1].assetID, "cloud-second");
  EXPECT_EQ(rows[1].measures, (lumenfolio::Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(rows[1].terms, "beach dog");
}

TEST_F(ExportRun, namesTheFileAfterTheDeviceInsideTheFolder) {
  harness.preferences.setValue(std::string(SyncFolder::kDeviceIDKey), std::string("0a1b2c3d"));
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.lastDestination, folder / "pixdeck-0a1b2c3d-features.pdsync");
  EXPECT_TRUE(fs::exists(folder / "pixdeck-0a1b2c3d-features.pdsync"));
}

TEST_F(ExportRun, handsTheWriterOnlyFeatureRowsWithTheTimeAndDeviceName) {
  harness.exportNow(*exporter);
  ASSERT_TRUE(harness.lastPayload.has_value());
  const auto& payload = *harness.lastPayload;
  EXPECT_TRUE(payload.ratings.empty());
  EXPECT_TRUE(payload.prints.empty());
  EXPECT_TRUE(payload.verdicts.empty());
  EXPECT_EQ(payload.features.size(), 2U);
  EXPECT_EQ(payload.writtenAt, harness.clock.now());
  EXPECT_EQ(payload.deviceName, "Studio (exporter)");
}

TEST_F(ExportRun, aHostWithoutANameWritesAsMac) {
  harness.desktop.host = std::nullopt;
  harness.exportNow(*exporter);
  ASSERT_TRUE(harness.lastPayload.has_value());
  EXPECT_EQ(harness.lastPayload->deviceName, "Mac (exporter)");
}

TEST_F(ExportRun, anEmptyHostNameCountsAsNone) {
  harness.desktop.host = "";
  harness.exportNow(*exporter);
  ASSERT_TRUE(harness.lastPayload.has_value());
  EXPECT_EQ(harness.lastPayload->deviceName, "Mac (exporter)");
}

TEST_F(ExportRun, readsTheLibraryInTwoVisitsOnTheStoreWorker) {
  harness.storeWorker.pause();
  exporter->runExport();
  harness.queue.runUntilIdle();
  // First the library's files are told, to see whether anything changed.
  EXPECT_EQ(harness.store.fingerprintReads, 0);
  EXPECT_EQ(exporter->status(), std::nullopt);
  EXPECT_TRUE(exporter->isWorking());

  harness.storeWorker.resume();
  harness.storeWorker.pause();
  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.store.fingerprintReads, 1);
  EXPECT_EQ(harness.store.featureReads, 0);
  EXPECT_EQ(exporter->status(), kReading);

  harness.storeWorker.resume();
  harness.storeWorker.pause();
  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.store.featureReads, 1);
  EXPECT_EQ(harness.store.measureReads, 1);
  // With library data at hand, the photos are fetched and mapped before the
  // terms are read, and the reader learns it.
  EXPECT_EQ(harness.photos.fetches, 1);
  EXPECT_EQ(harness.photos.requestSizes, std::vector<std::size_t>{2});
  EXPECT_EQ(harness.store.mappingsTold, 1);
  EXPECT_EQ(harness.store.termReads, 1);
  EXPECT_EQ(harness.store.panelReads, 0);
  EXPECT_EQ(exporter->status(), kReadingDetails);

  harness.storeWorker.resume();
  harness.storeWorker.pause();
  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.store.panelReads, 1);
  EXPECT_EQ(exporter->status(), kMatching);

  // The photos are matched and digested on the worker too, where the run
  // checks that the library stayed the same.
  harness.storeWorker.resume();
  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.photos.fetches, 1);
  // Two reading visits between the fingerprint and the matching, which lets
  // go of the library before the rows are built; last, the worker lets go of
  // the tables while the file is written.
  EXPECT_EQ(harness.storeWorker.jobsRun(), 5U);
  EXPECT_EQ(harness.store.releases, 1);
  EXPECT_EQ(harness.store.failureReads, 0);
  EXPECT_EQ(harness.store.fullDiskAccessReads, 0);
  EXPECT_EQ(harness.writes, 1);
}

TEST_F(ExportRun, aSecondRequestWhileWritingIsDroppedAndToldAtOnce) {
  harness.writeWorker.pause();
  bool firstDone = false;
  exporter->runExport([&firstDone] { firstDone = true; });
  harness.queue.runUntilIdle();
  ASSERT_TRUE(exporter->isWorking());
  ASSERT_EQ(exporter->status(), writing(2));
  // The write needs only the rows: the library was let go before it began.
  EXPECT_EQ(harness.store.releases, 1);

  StateRecorder recorder(*exporter);
  EXPECT_TRUE(harness.exportNow(*exporter));
  EXPECT_FALSE(firstDone);
  EXPECT_EQ(recorder.announcements, 0);
  EXPECT_TRUE(exporter->isWorking());
  EXPECT_EQ(exporter->status(), writing(2));
  EXPECT_EQ(harness.store.featureReads, 1);

  harness.writeWorker.resume();
  harness.queue.runUntilIdle();
  EXPECT_TRUE(firstDone);
  EXPECT_FALSE(exporter->isWorking());
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(harness.store.releases, 1);
}

TEST_F(ExportRun, withoutAFolderAsksForOneAndNeverStartsWorking) {
  harness.preferences.remove(std::string(SyncFolder::kFolderBookmarkKey));
  StateRecorder recorder(*exporter);
  EXPECT_TRUE(harness.exportNow(*exporter));

  EXPECT_EQ(recorder.statuses, Statuses{kChooseFolder});
  EXPECT_TRUE(recorder.working.empty());
  EXPECT_EQ(harness.store.featureReads, 0);
  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_FALSE(stored(Exporter::kDigestKey).has_value());
}

TEST_F(ExportRun, noFeaturesAndNoMeasuresShowsTheStoreFailureAndItsFlag) {
  removeLibraryData();
  harness.store.failure = "Full Disk Access is needed to read the Photos library.";
  harness.store.needsFullDiskAccess = true;
  StateRecorder recorder(*exporter);
  EXPECT_TRUE(harness.exportNow(*exporter));

  EXPECT_EQ(recorder.statuses, (Statuses{kReading, kReadingDetails, *harness.store.failure}));
  EXPECT_EQ(recorder.working, (std::vector<bool>{true, false}));
  EXPECT_TRUE(exporter->needsFullDiskAccess());
  EXPECT_EQ(harness.store.fullDiskAccessReads, 1);
  EXPECT_EQ(harness.store.failureReads, 1);
  EXPECT_EQ(harness.storeWorker.jobsRun(), 6U);
  EXPECT_EQ(harness.store.releases, 1);
  EXPECT_EQ(harness.photos.fetches, 0);
  EXPECT_EQ(harness.store.mappingsTold, 0);
  EXPECT_EQ(harness.writes, 0);
  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_FALSE(stored(Exporter::kLastExportKey).has_value());
  EXPECT_FALSE(stored(Exporter::kDigestKey).has_value());
}

TEST_F(ExportRun, noFeaturesAndNoMeasuresWithoutAFailureSaysNoMeasuresYet) {
  // Terms and panels alone do not count as library data.
  removeLibraryData();
  harness.store.panelTable[kFirst].people = {"Ann"};
  StateRecorder recorder(*exporter);
  harness.exportNow(*exporter);

  EXPECT_EQ(recorder.statuses, (Statuses{kReading, kReadingDetails, kNoMeasures}));
  EXPECT_FALSE(exporter->needsFullDiskAccess());
  EXPECT_EQ(harness.writes, 0);
  EXPECT_FALSE(fs::exists(harness.sharedFile()));
}

TEST_F(ExportRun, anEmptyFailureTextFromTheStoreSaysNoMeasuresYet) {
  removeLibraryData();
  harness.store.failure = "";
  harness.exportNow(*exporter);
  EXPECT_EQ(exporter->status(), kNoMeasures);
}

TEST_F(ExportRun, theFullDiskAccessFlagClearsOnceDataCanBeRead) {
  auto features = harness.store.featureTable;
  auto measures = harness.store.measureTable;
  removeLibraryData();
  harness.store.needsFullDiskAccess = true;
  harness.exportNow(*exporter);
  ASSERT_TRUE(exporter->needsFullDiskAccess());

  harness.store.featureTable = features;
  harness.store.measureTable = measures;
  harness.exportNow(*exporter);
  EXPECT_FALSE(exporter->needsFullDiskAccess());
  EXPECT_EQ(harness.writes, 1);
}

TEST_F(ExportRun, measuresAloneAreEnoughLibraryData) {
  harness.store.featureTable.clear();
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(exporter->lastCount(), 1);
}

TEST_F(ExportRun, anUnchangedLibraryIsNotWrittenAgainButTheRunIsRecorded) {
  harness.exportNow(*exporter);
  const auto file = harness.sharedFile();
  const auto writtenAt = fs::last_write_time(file);
  const auto digest = stored(Exporter::kDigestKey);

  harness.clock.advance(120);
  StateRecorder recorder(*exporter);
  harness.exportNow(*exporter);

  EXPECT_EQ(recorder.statuses, (Statuses{kReading, kReadingDetails, kMatching, std::nullopt}));
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(fs::last_write_time(file), writtenAt);
  EXPECT_EQ(exporter->lastExport(), harness.clock.now());
  EXPECT_EQ(exporter->lastCount(), 2);
  EXPECT_EQ(stored(Exporter::kLastExportKey), PreferenceValue(PreferenceDate{harness.clock.now()}));
  EXPECT_EQ(stored(Exporter::kDigestKey), digest);
}

TEST_F(ExportRun, theUnchangedCountMovesWithTheRun) {
  harness.exportNow(*exporter);
  harness.preferences.setValue(std::string(Exporter::kLastCountKey), std::int64_t{99});
  harness.exportNow(*exporter);
  EXPECT_EQ(stored(Exporter::kLastCountKey), PreferenceValue(std::int64_t{2}));
}

TEST_F(ExportRun, theOrderOfAssetsDoesNotMakeALibraryChanged) {
  harness.exportNow(*exporter);
  std::swap(harness.photos.assets[0], harness.photos.assets[1]);
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 1);
}

TEST_F(ExportRun, aChangedRowIsWritten) {
  harness.exportNow(*exporter);
  harness.store.termTable[kSecond] = "beach dog sunset";
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 2);
  EXPECT_EQ(sharedFileRows(harness.sharedFile())[1].terms, "beach dog sunset");
}

TEST_F(ExportRun, aDeletedSharedFileIsWrittenAgain) {
  harness.exportNow(*exporter);
  fs::remove(harness.sharedFile());
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 2);
  EXPECT_EQ(sharedFileRows(harness.sharedFile()).size(), 2U);
}

TEST_F(ExportRun, anICloudPlaceholderCountsAsTheFile) {
  harness.exportNow(*exporter);
  const auto file = harness.sharedFile();
  fs::rename(file, folder / ("." + file.filename().string() + ".icloud"));
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_FALSE(exporter->status().has_value());
}

TEST_F(ExportRun, aNewHostNameAloneDoesNotRewriteButReachesTheNextWrite) {
  harness.exportNow(*exporter);
  harness.desktop.host = "Attic";
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 1);

  harness.store.featureTable[kFirst].faces = 3;
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 2);
  EXPECT_EQ(harness.lastPayload->deviceName, "Attic (exporter)");
}

TEST_F(ExportRun, aWriteFailureShowsTheWritersTextAndKeepsTheRecord) {
  harness.writer = [](const SyncFile::Payload&, const fs::path&) {
    throw SyncError(SyncError::Code::cannotWrite);
  };
  StateRecorder recorder(*exporter);
  EXPECT_TRUE(harness.exportNow(*exporter));

  EXPECT_EQ(recorder.statuses,
            (Statuses{kReading, kReadingDetails, kMatching, writing(2), kCannotWrite}));
  EXPECT_EQ(recorder.working, (std::vector<bool>{true, false}));
  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_EQ(exporter->lastCount(), 0);
  EXPECT_FALSE(stored(Exporter::kDigestKey).has_value());
  EXPECT_FALSE(stored(Exporter::kLastExportKey).has_value());
}

TEST_F(ExportRun, aFailedMoveShowsThePlatformsDescription) {
  const std::system_error failure(std::make_error_code(std::errc::no_space_on_device), "rename");
  harness.writer = [failure](const SyncFile::Payload&, const fs::path&) { throw failure; };
  harness.exportNow(*exporter);
  EXPECT_EQ(exporter->status(), std::string(failure.what()));
}

TEST_F(ExportRun, afterAFailedWriteTheSameRowsAreWrittenAgain) {
  harness.exportNow(*exporter);
  const auto digest = stored(Exporter::kDigestKey);
  const auto lastExport = exporter->lastExport();
  harness.store.termTable[kSecond] = "snow";

  harness.writer = [](const SyncFile::Payload&, const fs::path&) {
    throw SyncError(SyncError::Code::cannotWrite);
  };
  harness.clock.advance(60);
  harness.exportNow(*exporter);
  EXPECT_EQ(stored(Exporter::kDigestKey), digest);
  EXPECT_EQ(exporter->lastExport(), lastExport);
  EXPECT_EQ(sharedFileRows(harness.sharedFile())[1].terms, "beach dog");

  harness.writer = ExporterHarness::writeForReal;
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.writes, 3);
  EXPECT_EQ(sharedFileRows(harness.sharedFile())[1].terms, "snow");
  EXPECT_FALSE(exporter->status().has_value());
}

TEST_F(ExportRun, aDeviceIdentifierThatWouldLeaveTheFolderWritesNothing) {
  harness.preferences.setValue(std::string(SyncFolder::kDeviceIDKey),
                               std::string("x/../../escape"));
  StateRecorder recorder(*exporter);
  EXPECT_TRUE(harness.exportNow(*exporter));

  EXPECT_EQ(recorder.statuses, (Statuses{kReading, kReadingDetails, kMatching, kCannotWrite}));
  EXPECT_EQ(recorder.working, (std::vector<bool>{true, false}));
  EXPECT_EQ(harness.writes, 0);
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_FALSE(fs::exists(harness.temp / "escape-features.pdsync"));
  EXPECT_FALSE(fs::exists(folder.parent_path().parent_path() / "escape-features.pdsync"));
  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_FALSE(stored(Exporter::kDigestKey).has_value());
}

// The library is not held open between runs: whichever way a run ends after
// reading, it lets go of the store once.
TEST_F(ExportRun, everyRunThatReadReleasesTheLibraryOnce) {
  harness.exportNow(*exporter);  // written
  EXPECT_EQ(harness.store.releases, 1);
  harness.exportNow(*exporter);  // unchanged
  EXPECT_EQ(harness.store.releases, 2);

  harness.writer = [](const SyncFile::Payload&, const fs::path&) {
    throw SyncError(SyncError::Code::cannotWrite);
  };
  harness.store.termTable[kSecond] = "snow";
  harness.exportNow(*exporter);  // write failed
  EXPECT_EQ(harness.store.releases, 3);

  removeLibraryData();
  harness.exportNow(*exporter);  // no library data
  EXPECT_EQ(harness.store.releases, 4);
}

TEST_F(ExportRun, aRunWithoutAFolderNeverTouchesTheLibrary) {
  fs::remove_all(folder);
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.store.featureReads, 0);
  EXPECT_EQ(harness.store.releases, 0);
}

TEST_F(ExportRun, everyChangeOfStateIsAnnounced) {
  StateRecorder recorder(*exporter);
  harness.exportNow(*exporter);
  // Working on, four stage texts, the record, the cleared text, working off.
  EXPECT_EQ(recorder.announcements, 8);
}

}  // namespace
}  // namespace lumenfolio::testing
