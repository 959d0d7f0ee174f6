#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "support/exporter_harness.hpp"
#include "support/exporter_texts.hpp"
#include "sync/sync_folder.hpp"

namespace {

using lumenfolio::AssetFeatures;
using lumenfolio::AuthorizationStatus;
using lumenfolio::Exporter;
using lumenfolio::PreferenceDate;
using lumenfolio::testing::ExporterHarness;
using lumenfolio::testing::texts::kChooseFolder;
using lumenfolio::testing::texts::kNoAccess;

const std::string kUUID = "6F1C2A9E-3B4D-4E5F-8A6B-7C8D9E0F1A2B";

class ExporterStartUp : public ::testing::Test {
 protected:
  void giveLibraryData() {
    harness.store.featureTable[kUUID] = AssetFeatures{.sharpness = 0.4};
    harness.addAsset(kUUID, "cloud-1");
  }
  void setLastExport(double secondsAgo) {
    harness.preferences.setValue(std::string(Exporter::kLastExportKey),
                                 PreferenceDate{harness.clock.now() - secondsAgo});
  }

  ExporterHarness harness;
};

TEST_F(ExporterStartUp, firstLaunchRestoresNothingAndEndsAskingForAFolder) {
  giveLibraryData();
  const auto exporter = harness.create();

  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_EQ(exporter->lastCount(), 0);
  EXPECT_FALSE(exporter->folderName().has_value());
  EXPECT_FALSE(exporter->status().has_value());
  EXPECT_FALSE(exporter->isWorking());
  EXPECT_FALSE(exporter->needsFullDiskAccess());

  harness.queue.runUntilIdle();
  EXPECT_EQ(exporter->status(), kChooseFolder);
  EXPECT_FALSE(exporter->isWorking());
  EXPECT_EQ(harness.photos.observers.size(), 1U);
  EXPECT_EQ(harness.store.featureReads, 0);
}

TEST_F(ExporterStartUp, startIsQueuedNotRunDuringConstruction) {
  const auto exporter = harness.create();
  EXPECT_TRUE(harness.photos.observers.empty());
  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.photos.observers.size(), 1U);
}

TEST_F(ExporterStartUp, firstLaunchWithAFolderWritesTheSharedFile) {
  giveLibraryData();
  harness.chooseSharedFolder();
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  EXPECT_EQ(harness.writes, 1);
  EXPECT_TRUE(std::filesystem::exists(harness.sharedFile()));
  EXPECT_EQ(exporter->lastExport(), harness.clock.now());
  EXPECT_EQ(exporter->lastCount(), 1);
  EXPECT_FALSE(exporter->status().has_value());
}

TEST_F(ExporterStartUp, launchHalfAnHourAfterTheLastExportOnlyRegistersTheObserver) {
  giveLibraryData();
  harness.chooseSharedFolder();
  setLastExport(30 * 60);
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  EXPECT_EQ(harness.store.featureReads, 0);
  EXPECT_EQ(harness.writes, 0);
  EXPECT_EQ(harness.photos.observers.size(), 1U);
  EXPECT_FALSE(exporter->status().has_value());
}

TEST_F(ExporterStartUp, launchSixtyOneMinutesAfterTheLastExportExports) {
  giveLibraryData();
  harness.chooseSharedFolder();
  setLastExport(61 * 60);
  const auto exporter = harness.create();
  const double before = *exporter->lastExport();
  harness.queue.runUntilIdle();

  EXPECT_EQ(harness.store.featureReads, 1);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_GT(*exporter->lastExport(), before);
}

TEST_F(ExporterStartUp, lastExportStoredAsSomethingOtherThanADateCountsAsNever) {
  giveLibraryData();
  harness.chooseSharedFolder();
  harness.preferences.setValue(std::string(Exporter::kLastExportKey), std::string("yesterday"));
  const auto exporter = harness.create();
  EXPECT_FALSE(exporter->lastExport().has_value());

  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.writes, 1);
}

TEST_F(ExporterStartUp, restoresTheLastCountAndTheFolderName) {
  harness.chooseSharedFolder("Lumen Share");
  setLastExport(10);
  harness.preferences.setValue(std::string(Exporter::kLastCountKey), std::int64_t{1234});
  const auto exporter = harness.create();

  EXPECT_EQ(exporter->lastCount(), 1234);
  EXPECT_EQ(exporter->lastExport(), harness.clock.now() - 10);
  EXPECT_EQ(exporter->folderName(), "Lumen Share");
}

TEST_F(ExporterStartUp, aFolderThatIsAwayStillShowsItsName) {
  const auto folder = harness.chooseSharedFolder("Lumen Share");
  std::filesystem::remove(folder);
  const auto exporter = harness.create();
  EXPECT_EQ(exporter->folderName(), "Lumen Share");
}

TEST_F(ExporterStartUp, aLastExportThatIsNoDateCountsAsNeverExported) {
  giveLibraryData();
  harness.chooseSharedFolder();
  harness.preferences.setValue(std::string(Exporter::kLastExportKey),
                               PreferenceDate{std::numeric_limits<double>::quiet_NaN()});
  const auto exporter = harness.create();
  EXPECT_FALSE(exporter->lastExport().has_value());
  harness.queue.runUntilIdle();
  EXPECT_EQ(exporter->lastExport(), harness.clock.now()) << "the start-up export ran";
}

TEST_F(ExporterStartUp, deniedAccessShowsTheNoAccessTextAndDoesNothingElse) {
  harness.photos.status = AuthorizationStatus::denied;
  giveLibraryData();
  harness.chooseSharedFolder();
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  EXPECT_EQ(exporter->status(), kNoAccess);
  EXPECT_TRUE(harness.photos.observers.empty());
  EXPECT_EQ(harness.photos.authorizationRequests, 0);
  EXPECT_EQ(harness.store.featureReads, 0);
}

TEST_F(ExporterStartUp, restrictedAccessShowsTheNoAccessText) {
  harness.photos.status = AuthorizationStatus::restricted;
  harness.chooseSharedFolder();
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  EXPECT_EQ(exporter->status(), kNoAccess);
  EXPECT_TRUE(harness.photos.observers.empty());
  EXPECT_EQ(harness.store.featureReads, 0);
}

TEST_F(ExporterStartUp, undeterminedAccessIsRequestedAndTheAnswerDecides) {
  harness.photos.status = AuthorizationStatus::notDetermined;
  harness.photos.statusAfterRequest = AuthorizationStatus::authorized;
  giveLibraryData();
  harness.chooseSharedFolder();
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  EXPECT_EQ(harness.photos.authorizationRequests, 1);
  EXPECT_EQ(harness.photos.observers.size(), 1U);
  EXPECT_EQ(harness.writes, 1);
}

TEST_F(ExporterStartUp, accessStillUndeterminedAfterTheRequestCountsAsNoAccess) {
  harness.photos.status = AuthorizationStatus::notDetermined;
  harness.photos.statusAfterRequest = AuthorizationStatus::notDetermined;
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  EXPECT_EQ(harness.photos.authorizationRequests, 1);
  EXPECT_EQ(exporter->status(), kNoAccess);
  EXPECT_TRUE(harness.photos.observers.empty());
}

TEST_F(ExporterStartUp, limitedAccessCountsAsAccess) {
  harness.photos.status = AuthorizationStatus::limited;
  giveLibraryData();
  harness.chooseSharedFolder();
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  EXPECT_EQ(harness.photos.observers.size(), 1U);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_FALSE(exporter->status().has_value());
}

TEST_F(ExporterStartUp, withoutAccessAnExportAskedForLaterStillRuns) {
  harness.photos.status = AuthorizationStatus::denied;
  giveLibraryData();
  harness.chooseSharedFolder();
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  EXPECT_TRUE(harness.exportNow(*exporter));
  EXPECT_EQ(harness.writes, 1);
  EXPECT_FALSE(exporter->status().has_value());
}

TEST_F(ExporterStartUp, headlessUseLeavesTheStartUpToTheCaller) {
  giveLibraryData();
  harness.chooseSharedFolder();
  const auto exporter = harness.create(false);
  harness.queue.runUntilIdle();

  EXPECT_TRUE(harness.photos.observers.empty());
  EXPECT_EQ(harness.store.featureReads, 0);
  EXPECT_TRUE(harness.exportNow(*exporter));
  EXPECT_EQ(harness.writes, 1);
}

TEST_F(ExporterStartUp, changeReportsReachTheExporterOnlyThroughTheMainQueue) {
  setLastExport(10);
  const auto exporter = harness.create();
  harness.queue.runUntilIdle();

  harness.photos.reportChange();
  EXPECT_EQ(harness.queue.delayedCount(), 0U);
  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.queue.delayedCount(), 1U);
}

TEST_F(ExporterStartUp, aChangeReportAfterTheExporterIsGoneDoesNothing) {
  giveLibraryData();
  harness.chooseSharedFolder();
  setLastExport(10);
  auto exporter = harness.create();
  harness.queue.runUntilIdle();
  const std::weak_ptr<Exporter> weak = exporter;
  exporter.reset();
  ASSERT_TRUE(weak.expired());

  harness.photos.reportChange();
  harness.queue.runUntilIdle();
  harness.queue.advance(600);
  EXPECT_EQ(harness.queue.delayedCount(), 0U);
  EXPECT_EQ(harness.store.featureReads, 0);
}

}  // namespace
