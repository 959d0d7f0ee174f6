#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/exporter_harness.hpp"
#include "support/exporter_texts.hpp"
#include "sync/sync_folder.hpp"

namespace {

namespace fs = std::filesystem;

using lumenfolio::AssetFeatures;
using lumenfolio::Exporter;
using lumenfolio::LogLevel;
using lumenfolio::SyncFolder;
using lumenfolio::testing::ExporterHarness;
using lumenfolio::testing::StateRecorder;
using lumenfolio::testing::texts::kChooseFolder;
using LoginItemStatus = lumenfolio::testing::FakeDesktopServices::LoginItemStatus;

const std::string kAsset = "9D8C7B6A-5F4E-4D3C-8B2A-190817263544";

class FolderChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    harness.store.featureTable[kAsset] = AssetFeatures{.faces = 1};
    harness.addAsset(kAsset, "cloud-asset");
    exporter = harness.create(false);
    // Without a folder the run leaves the choose-folder text.
    harness.exportNow(*exporter);
    ASSERT_EQ(exporter->status(), kChooseFolder);
  }

  fs::path newFolder(const std::string& name) {
    const auto folder = harness.temp / name;
    fs::create_directories(folder);
    return folder;
  }

  ExporterHarness harness;
  std::shared_ptr<Exporter> exporter;
};

TEST_F(FolderChoice, asksWithThePromptAndMessage) {
  exporter->chooseFolder();
  ASSERT_EQ(harness.desktop.folderRequests.size(), 1U);
  EXPECT_EQ(harness.desktop.folderRequests[0].prompt, "Choose");
  EXPECT_EQ(harness.desktop.folderRequests[0].message,
            "Choose the shared folder the lumenfolio apps use.");
}

TEST_F(FolderChoice, cancellingChangesNothingAndStartsNoExport) {
  harness.desktop.chosenFolder = std::nullopt;
  StateRecorder recorder(*exporter);
  exporter->chooseFolder();
  harness.queue.runUntilIdle();

  EXPECT_EQ(recorder.announcements, 0);
  EXPECT_EQ(exporter->status(), kChooseFolder);
  EXPECT_FALSE(exporter->folderName().has_value());
  EXPECT_FALSE(harness.preferences.value(std::string(SyncFolder::kFolderBookmarkKey)));
  EXPECT_EQ(harness.store.featureReads, 0);
}

TEST_F(FolderChoice, choosingShowsTheFolderClearsTheStatusAndExports) {
  const auto folder = newFolder("Lumen Share");
  harness.desktop.chosenFolder = folder;
  exporter->chooseFolder();

  EXPECT_EQ(exporter->folderName(), "Lumen Share");
  EXPECT_FALSE(exporter->status().has_value());
  EXPECT_EQ(harness.store.featureReads, 0);

  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(harness.lastDestination.parent_path(), folder);
  EXPECT_TRUE(fs::exists(harness.lastDestination));
  EXPECT_FALSE(exporter->status().has_value());
}

TEST_F(FolderChoice, aFolderThatCannotBeRememberedLeavesTheOldOneInPlace) {
  const auto folder = newFolder("Old");
  SyncFolder::remember(harness.preferences, folder);
  harness.desktop.chosenFolder = harness.temp / "missing";
  exporter->chooseFolder();

  EXPECT_EQ(exporter->folderName(), "Old");
  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.lastDestination.parent_path(), folder);
}

TEST_F(FolderChoice, aFolderThatCannotBeRememberedIsLoggedWithItsCause) {
  const auto missing = harness.temp / "missing";
  harness.desktop.chosenFolder = missing;
  exporter->chooseFolder();

  const auto warnings = harness.log.at(LogLevel::warning);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("Couldn't remember the chosen folder"), std::string::npos);
  EXPECT_NE(warnings[0].find(missing.string()), std::string::npos) << warnings[0];
}

TEST_F(FolderChoice, withNoFolderAtAllTheExportAsksAgain) {
  harness.desktop.chosenFolder = harness.temp / "missing";
  exporter->chooseFolder();

  EXPECT_FALSE(exporter->folderName().has_value());
  EXPECT_FALSE(exporter->status().has_value());
  harness.queue.runUntilIdle();
  EXPECT_EQ(exporter->status(), kChooseFolder);
  EXPECT_EQ(harness.writes, 0);
}

TEST_F(FolderChoice, theExportItStartsIsDroppedWhileAnotherRunIsUnderWay) {
  SyncFolder::remember(harness.preferences, newFolder("First"));
  harness.writeWorker.pause();
  exporter->runExport();
  harness.queue.runUntilIdle();
  ASSERT_TRUE(exporter->isWorking());

  harness.desktop.chosenFolder = newFolder("Second");
  exporter->chooseFolder();
  harness.queue.runUntilIdle();
  harness.writeWorker.resume();
  harness.queue.runUntilIdle();

  EXPECT_EQ(harness.store.featureReads, 1);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(exporter->folderName(), "Second");
}

class LoginItem : public ::testing::Test {
 protected:
  ExporterHarness harness;
  std::shared_ptr<Exporter> exporter = harness.create(false);
};

TEST_F(LoginItem, readsOnOnlyWhenTheServiceSaysEnabled) {
  harness.desktop.loginItem = LoginItemStatus::enabled;
  EXPECT_TRUE(exporter->opensAtLogin());
  harness.desktop.loginItem = LoginItemStatus::requiresApproval;
  EXPECT_FALSE(exporter->opensAtLogin());
  harness.desktop.loginItem = LoginItemStatus::notFound;
  EXPECT_FALSE(exporter->opensAtLogin());
  harness.desktop.loginItem = LoginItemStatus::notRegistered;
  EXPECT_FALSE(exporter->opensAtLogin());
}

TEST_F(LoginItem, switchingOnRegistersAndAnnounces) {
  StateRecorder recorder(*exporter);
  exporter->setOpensAtLogin(true);
  EXPECT_EQ(harness.desktop.registrations, 1);
  EXPECT_TRUE(exporter->opensAtLogin());
  EXPECT_EQ(recorder.announcements, 1);
}

TEST_F(LoginItem, aRegistrationAwaitingApprovalReadsOffYetIsAnnounced) {
  harness.desktop.registrationNeedsApproval = true;
  StateRecorder recorder(*exporter);
  exporter->setOpensAtLogin(true);
  EXPECT_EQ(harness.desktop.registrations, 1);
  EXPECT_FALSE(exporter->opensAtLogin());
  EXPECT_EQ(recorder.announcements, 1);
}

TEST_F(LoginItem, everyWriteIsAnnouncedEvenWhenNothingChanges) {
  StateRecorder recorder(*exporter);
  exporter->setOpensAtLogin(false);
  exporter->setOpensAtLogin(false);
  exporter->setOpensAtLogin(true);
  exporter->setOpensAtLogin(false);
  EXPECT_EQ(harness.desktop.unregistrations, 3);
  EXPECT_EQ(harness.desktop.registrations, 1);
  EXPECT_EQ(recorder.announcements, 4);
  EXPECT_FALSE(exporter->opensAtLogin());
}

TEST_F(LoginItem, aFailedWriteIsLoggedWithItsCauseAndStillAnnounced) {
  harness.desktop.loginItemFailure =
      lumenfolio::Failure("remove", "/config/autostart/x.desktop", "Directory not empty");
  harness.desktop.loginItem = LoginItemStatus::enabled;
  StateRecorder recorder(*exporter);
  exporter->setOpensAtLogin(false);
  EXPECT_TRUE(exporter->opensAtLogin()) << "the flag reads back as it is";
  harness.desktop.loginItem = LoginItemStatus::notRegistered;
  exporter->setOpensAtLogin(true);
  EXPECT_FALSE(exporter->opensAtLogin());
  EXPECT_EQ(recorder.announcements, 2);
  EXPECT_EQ(
      harness.log.at(LogLevel::warning),
      (std::vector<std::string>{
          "Couldn't stop opening at login: remove /config/autostart/x.desktop: Directory not "
          "empty",
          "Couldn't open at login: remove /config/autostart/x.desktop: Directory not empty"}));
}

TEST_F(LoginItem, aRemovedObserverHearsNothing) {
  int heard = 0;
  const auto id = exporter->addObserver([&heard] { ++heard; });
  exporter->setOpensAtLogin(true);
  exporter->removeObserver(id);
  exporter->setOpensAtLogin(false);
  EXPECT_EQ(heard, 1);
}

TEST_F(LoginItem, fullDiskAccessSettingsAreOpenedByTheDesktop) {
  exporter->openFullDiskAccessSettings();
  EXPECT_EQ(harness.desktop.settingsOpenings, 1);
}

}  // namespace
