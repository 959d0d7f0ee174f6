#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/exporter_harness.hpp"
#include "sync/sync_folder.hpp"

namespace {

namespace fs = std::filesystem;

using lumenfolio::Bytes;
using lumenfolio::Exporter;
using lumenfolio::PreferenceDate;
using lumenfolio::PreferenceValue;
using lumenfolio::SyncFolder;
using lumenfolio::testing::ExporterHarness;

const std::string kBookmark(SyncFolder::kFolderBookmarkKey);
const std::string kDeviceID(SyncFolder::kDeviceIDKey);
const std::string kLastExport(Exporter::kLastExportKey);
const std::string kLastCount(Exporter::kLastCountKey);

Bytes pathBytes(const fs::path& folder) {
  const auto text = folder.string();
  return Bytes(text.begin(), text.end());
}

class SettingsRecovery : public ::testing::Test {
 protected:
  void SetUp() override {
    oldFile = harness.desktop.home /
              "Library/Containers/io.quillmere.lumenfolio/Data/Library/"
              "Preferences/io.quillmere.lumenfolio.exporter.plist";
    fs::create_directories(oldFile.parent_path());
    std::ofstream(oldFile) << "bplist00";
    oldFolder = harness.temp / "Old Share";
    fs::create_directories(oldFolder);
    harness.desktop.propertyList = std::map<std::string, PreferenceValue>{
        {kLastExport, PreferenceDate{harness.clock.now() - 600}},
        {kLastCount, std::int64_t{42}},
        {kBookmark, pathBytes(oldFolder)},
    };
  }

  std::shared_ptr<Exporter> start() { return harness.create(false); }

  ExporterHarness harness;
  fs::path oldFile;
  fs::path oldFolder;
};

TEST_F(SettingsRecovery, readsTheOldFileInTheCompanionsContainer) {
  EXPECT_EQ(Exporter::oldPreferencesFile(harness.desktop.home), oldFile);
  start();
  ASSERT_EQ(harness.desktop.propertyListReads.size(), 1U);
  EXPECT_EQ(harness.desktop.propertyListReads[0], oldFile);
}

TEST_F(SettingsRecovery, bothKeysAbsentRestoresTheOldStateAndRemovesTheFile) {
  const auto exporter = start();

  EXPECT_EQ(exporter->lastExport(), harness.clock.now() - 600);
  EXPECT_EQ(exporter->lastCount(), 42);
  EXPECT_EQ(exporter->folderName(), "Old Share");
  EXPECT_FALSE(fs::exists(oldFile));
}

TEST_F(SettingsRecovery, aDeviceIdentifierAlreadyStoredStopsTheRecovery) {
  harness.preferences.setValue(kDeviceID, std::string("ab12cd34"));
  const auto exporter = start();

  EXPECT_TRUE(harness.desktop.propertyListReads.empty());
  EXPECT_FALSE(harness.preferences.value(kLastExport).has_value());
  EXPECT_FALSE(harness.preferences.value(kBookmark).has_value());
  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_TRUE(fs::exists(oldFile));
}

TEST_F(SettingsRecovery, aFolderAlreadyStoredStopsTheRecovery) {
  const auto current = harness.chooseSharedFolder("Current");
  start();

  EXPECT_TRUE(harness.desktop.propertyListReads.empty());
  EXPECT_EQ(harness.preferences.value(kBookmark), PreferenceValue(pathBytes(current)));
  EXPECT_FALSE(harness.preferences.value(kLastCount).has_value());
  EXPECT_TRUE(fs::exists(oldFile));
}

TEST_F(SettingsRecovery, everyKeyIsCopiedWithItsValue) {
  auto& old = *harness.desktop.propertyList;
  old[kDeviceID] = std::string("Old-Mac");
  old["companion.theme"] = std::string("dark");
  old["companion.scale"] = 1.5;
  old["companion.compact"] = true;
  old["companion.blob"] = Bytes{0, 1, 2};
  start();

  for (const auto& [name, value] : old) {
    EXPECT_EQ(harness.preferences.value(name), value) << name;
  }
  EXPECT_EQ(harness.preferences.values.size(), old.size());
}

TEST_F(SettingsRecovery, theCopiedDeviceIdentifierNamesTheSharedFile) {
  (*harness.desktop.propertyList)[kDeviceID] = std::string("Old-Mac");
  const auto exporter = start();
  harness.store.termTable["A"] = "x";
  harness.store.measureTable["A"] = {1};
  harness.photos.assets = {"A"};
  harness.photos.cloudIDs["A"] = "cloud-a";
  harness.exportNow(*exporter);
  EXPECT_TRUE(fs::exists(oldFolder / "pixdeck-Old-Mac-features.pdsync"));
}

TEST_F(SettingsRecovery, anUnreadableFileIsLeftInPlaceAndNothingChangesButTheLogSaysWhy) {
  harness.desktop.propertyListFailure = lumenfolio::Failure("read", oldFile, "not a property list");
  const auto exporter = start();

  EXPECT_TRUE(harness.preferences.values.empty());
  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_TRUE(fs::exists(oldFile));
  EXPECT_EQ(harness.log.at(lumenfolio::LogLevel::warning),
            std::vector<std::string>{"Couldn't read the settings of an older version: read " +
                                     oldFile.string() + ": not a property list"});
}

TEST_F(SettingsRecovery, noOldFileChangesNothing) {
  fs::remove(oldFile);
  const auto exporter = start();
  EXPECT_TRUE(harness.preferences.values.empty());
  EXPECT_FALSE(exporter->folderName().has_value());
}

TEST_F(SettingsRecovery, aFileThatCannotBeRemovedStillLeavesTheCopiedValues) {
  // A non-empty directory under the file's name cannot be removed by a plain remove.
  fs::remove(oldFile);
  fs::create_directories(oldFile / "inside");
  const auto exporter = start();

  EXPECT_EQ(exporter->lastCount(), 42);
  EXPECT_TRUE(fs::exists(oldFile));
}

TEST_F(SettingsRecovery, settingsThatCannotBeStoredKeepTheOldFileAndLogWhy) {
  harness.preferences.refusesChanges = true;
  start();

  EXPECT_TRUE(fs::exists(oldFile));
  EXPECT_EQ(harness.log.at(lumenfolio::LogLevel::warning),
            std::vector<std::string>{"Couldn't take back the settings of an older version from " +
                                     oldFile.string() +
                                     ": Couldn't save the settings in memory: refused"});
}

TEST_F(SettingsRecovery, aSecondStartFindsTheValuesAndLeavesThingsAlone) {
  start();
  harness.desktop.propertyListReads.clear();
  const auto exporter = start();
  EXPECT_TRUE(harness.desktop.propertyListReads.empty());
  EXPECT_EQ(exporter->folderName(), "Old Share");
}

}  // namespace
