// What the controller keeps about the shared file and its folder over time: a
// folder that is away for a while, a file changed behind its back, settings
// that cannot be saved. In virtual time, with the real writer in a temporary
// folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/exporter_harness.hpp"
#include "support/exporter_texts.hpp"
#include "support/two_asset_export.hpp"
#include "sync/sync_folder.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;

using namespace texts;

class SharedFileState : public TwoAssetExport {
 protected:
  // Runs one export and tells whether it wrote the file.
  bool exportWrites(Exporter& exporter) {
    const int before = harness.writes;
    EXPECT_TRUE(harness.exportNow(exporter));
    return harness.writes > before;
  }
  // The same folder, away (an unmounted disk) and back again with its files.
  void takeFolderAway() { fs::rename(folder, away); }
  void bringFolderBack() { fs::rename(away, folder); }

  const fs::path away = harness.temp / "away";
};

TEST_F(SharedFileState, aFolderThatIsAwayEndsTheRunAndIsKeptForTheRunAfterItIsBack) {
  const auto exporter = harness.create(false);
  ASSERT_TRUE(exportWrites(*exporter));
  const auto digest = stored(Exporter::kDigestKey);
  const auto lastExport = exporter->lastExport();
  const auto bookmark = stored(std::string(SyncFolder::kFolderBookmarkKey));
  takeFolderAway();
  harness.clock.advance(60);

  StateRecorder recorder(*exporter);
  EXPECT_FALSE(exportWrites(*exporter));
  EXPECT_EQ(recorder.statuses, Statuses{unavailable("Shared")});
  EXPECT_TRUE(recorder.working.empty());
  EXPECT_EQ(harness.store.featureReads, 1) << "nothing is read for a folder that is away";
  EXPECT_EQ(stored(std::string(SyncFolder::kFolderBookmarkKey)), bookmark);
  EXPECT_EQ(stored(Exporter::kDigestKey), digest);
  EXPECT_EQ(exporter->lastExport(), lastExport);
  EXPECT_EQ(exporter->folderName(), "Shared");
  EXPECT_FALSE(fs::exists(folder)) << "the exporter never makes the folder itself";

  bringFolderBack();
  EXPECT_FALSE(exportWrites(*exporter)) << "the file it left there is still the one written";
  EXPECT_EQ(exporter->status(), std::nullopt);
  EXPECT_EQ(exporter->lastExport(), harness.clock.now());
}

TEST_F(SharedFileState, aLongRunningExporterWaitsForTheFolderAndExportsOnceItIsBack) {
  takeFolderAway();
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();
  EXPECT_EQ(exporter->status(), unavailable("Shared"));
  EXPECT_EQ(harness.writes, 0);

  harness.queue.advance(600);
  EXPECT_EQ(harness.writes, 0);
  EXPECT_EQ(harness.queue.delayedCount(), 1U) << "one look at a time";
  // A library change while the folder is away runs into the same wait.
  harness.photos.reportChange();
  harness.queue.advance(300);
  EXPECT_EQ(harness.store.featureReads, 0) << "nothing is read for a folder that is away";
  EXPECT_EQ(harness.queue.delayedCount(), 1U) << "still one look at a time";
  EXPECT_EQ(harness.log.at(lumenfolio::LogLevel::info),
            std::vector<std::string>{"Waiting for the shared folder " + folder.string() +
                                     " to be there."})
      << "said once per wait, not at every look";

  bringFolderBack();
  harness.queue.advance(10);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(exporter->status(), std::nullopt);
  EXPECT_EQ(harness.queue.delayedCount(), 0U) << "no more looks once it is back";
  harness.queue.advance(600);
  EXPECT_EQ(harness.writes, 1) << "a folder that comes back gives one export";
}

TEST_F(SharedFileState, aOneOffExportDoesNotWaitForTheFolder) {
  takeFolderAway();
  const auto exporter = harness.create(false);
  harness.exportNow(*exporter);
  EXPECT_EQ(exporter->status(), unavailable("Shared"));
  EXPECT_EQ(harness.queue.delayedCount(), 0U);
}

TEST_F(SharedFileState, onlyChoosingAnotherFolderReplacesOneThatIsAway) {
  takeFolderAway();
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();
  const auto other = harness.temp / "Other";
  fs::create_directory(other);
  harness.desktop.chosenFolder = other;

  exporter->chooseFolder();
  harness.queue.runUntilIdle();

  EXPECT_EQ(exporter->folderName(), "Other");
  EXPECT_EQ(SyncFolder::remembered(harness.preferences), other);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(harness.queue.delayedCount(), 0U) << "the wait for the old folder ended";
}

TEST_F(SharedFileState, aFileChangedBehindTheExportersBackIsWrittenAgain) {
  const auto exporter = harness.create(false);
  ASSERT_TRUE(exportWrites(*exporter));
  const auto file = harness.sharedFile();
  ASSERT_FALSE(exportWrites(*exporter)) << "unchanged while the written file is in place";

  fs::resize_file(file, 0);
  EXPECT_TRUE(exportWrites(*exporter)) << "truncated to 0 bytes";
  EXPECT_EQ(sharedFileRows(file).size(), 2U);

  {
    // The same size, other bytes, as a sync client might leave it.
    std::fstream garbage(file, std::ios::in | std::ios::out | std::ios::binary);
    garbage.seekp(100);
    garbage << "garbage";
  }
  EXPECT_TRUE(exportWrites(*exporter)) << "overwritten in place";

  const auto elsewhere = harness.temp / "elsewhere.pdsync";
  fs::copy_file(file, elsewhere);
  fs::remove(file);
  fs::create_symlink(elsewhere, file);
  EXPECT_TRUE(exportWrites(*exporter)) << "replaced by a link";
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
  EXPECT_FALSE(exportWrites(*exporter));
}

TEST_F(SharedFileState, aFolderChosenAgainGetsTheRowsOfNow) {
  const auto exporter = harness.create(false);
  ASSERT_TRUE(exportWrites(*exporter));
  const auto first = harness.sharedFile();

  harness.store.featureTable[kFirst].faces = 5;
  const auto other = harness.chooseSharedFolder("Other");
  ASSERT_TRUE(exportWrites(*exporter));
  harness.store.featureTable[kFirst].faces = 2;
  harness.chooseSharedFolder("Shared");
  harness.store.featureTable[kFirst].faces = 5;

  EXPECT_TRUE(exportWrites(*exporter)) << "the first folder still held the older rows";
  EXPECT_EQ(sharedFileRows(first)[0].faces, 5);
}

TEST_F(SharedFileState, theCloudPlaceholderStillCountsAsTheFile) {
  const auto exporter = harness.create(false);
  ASSERT_TRUE(exportWrites(*exporter));
  const auto file = harness.sharedFile();
  fs::rename(file, folder / ("." + file.filename().string() + ".icloud"));
  EXPECT_FALSE(exportWrites(*exporter));
}

TEST_F(SharedFileState, theDigestAndTheFileAreStoredBeforeTheWriteJobEnds) {
  const auto exporter = harness.create(false);
  harness.writeWorker.pause();
  exporter->runExport();
  harness.queue.runUntilIdle();
  ASSERT_EQ(harness.writeWorker.jobsWaiting(), 1U);

  harness.writeWorker.resume();
  // The job has run; what it was told by the writer is stored, though its
  // outcome has not reached the main thread yet.
  EXPECT_TRUE(exporter->isWorking());
  ASSERT_TRUE(stored(Exporter::kDigestKey));
  const auto written = stored(Exporter::kSharedFileKey);
  ASSERT_TRUE(written && std::holds_alternative<std::string>(*written));
  EXPECT_EQ(SharedFileIdentity::parse(std::get<std::string>(*written)),
            SharedFileIdentity::of(harness.sharedFile()));
  harness.queue.runUntilIdle();
}

TEST_F(SharedFileState, aRunThatCannotKeepANewDeviceIdentifierWritesNothing) {
  const auto exporter = harness.create(false);
  harness.preferences.refusesChanges = true;

  StateRecorder recorder(*exporter);
  harness.exportNow(*exporter);

  EXPECT_EQ(harness.writes, 0);
  EXPECT_EQ(exporter->status(), "Couldn't save the settings in memory: refused");
  EXPECT_FALSE(exporter->isWorking());
  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(SharedFileState, anExportThatCannotBeRecordedFailsTheRun) {
  const auto exporter = harness.create(false);
  ASSERT_TRUE(exportWrites(*exporter));
  harness.preferences.refusesChanges = true;
  harness.clock.advance(60);

  harness.exportNow(*exporter);
  EXPECT_EQ(exporter->status(), "Couldn't save the settings in memory: refused");
  EXPECT_NE(exporter->lastExport(), harness.clock.now());
}

}  // namespace
}  // namespace lumenfolio::testing
