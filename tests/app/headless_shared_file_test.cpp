// The shared file and the settings over months of use: stops at any moment,
// settings that cannot be saved, links where a link would mislead, a rename
// that fails. Each case runs the real binary as a user of its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <QSettings>
#include <QString>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <thread>

#include "app/shared_file_lock.hpp"
#include "headless_fixture.hpp"
#include "headless_library.hpp"
#include "platform/qt/settings_preferences.hpp"
#include "sync/unwritable_folder.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;

class HeadlessSharedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    writeSampleLibrary(user_.defaultLibrary());
    writeSampleLibrary(otherLibrary_, 180, 99);
  }

  // A good export into the shared folder, whose file the failures must keep.
  std::map<std::string, std::string> exportGoodFile() {
    const auto result = user_.run({"export", "--folder", shared_.string()});
    EXPECT_EQ(result.exitCode, 0) << describe(result);
    return filesOf(shared_);
  }

  fs::path sharedFile() const {
    const auto stored = preferences().value("sync.deviceID");
    return shared_ / ("pixdeck-" + std::get<std::string>(stored.value()) + "-features.pdsync");
  }

  SettingsPreferences preferences() const { return SettingsPreferences(user_.preferencesFile()); }

  fs::path lockFile() const { return user_.runtimeDir() / "lumenfolio-exporter.lock"; }

  static void expectFailure(const CommandResult& result, std::string_view text) {
    EXPECT_NE(result.exitCode, 0) << describe(result);
    EXPECT_NE(result.exitCode, 2) << "a failed run is not bad usage\n" << describe(result);
    EXPECT_NE(result.err.find(text), std::string::npos) << describe(result);
    EXPECT_EQ(result.out.find("Wrote "), std::string::npos) << describe(result);
  }

  HeadlessUser user_;
  const fs::path shared_ = user_.scratch("shared");
  const fs::path otherLibrary_ = user_.scratch("other") / "Other.photoslibrary";
};

TEST_F(HeadlessSharedFile, aStoppedExportLeavesNoPartNoCopyAndThePreviousFile) {
  const auto before = exportGoodFile();
  // Without its "-shm" the library's WAL content is read from private copies.
  for (const auto& entry : fs::recursive_directory_iterator(otherLibrary_)) {
    if (entry.path().string().ends_with("-shm")) fs::remove(entry.path());
  }
  for (const int signal : {SIGTERM, SIGINT}) {
    std::optional<SharedFileLock> held(std::in_place, lockFile());
    const auto exporting = user_.start({"export", "--library", otherLibrary_.string()});
    ASSERT_TRUE(exporting->waitForOutput(" photos…")) << exporting->outputSoFar();
    exporting->signal(signal);
    const auto result = exporting->finish(std::chrono::seconds(20));

    EXPECT_EQ(result.exitCode, 128 + signal) << describe(result);
    EXPECT_EQ(filesOf(shared_), before) << "no \".part\", and the previous file as it was";
    EXPECT_TRUE(fs::is_empty(user_.tmpDir())) << "a private copy of the library stayed behind";
  }
  const auto later = user_.run({"export", "--library", otherLibrary_.string()});
  EXPECT_EQ(later.exitCode, 0) << describe(later);
  EXPECT_NE(filesOf(shared_), before);
}

TEST_F(HeadlessSharedFile, theTrayApplicationQuitsOnTermWhileAnotherProcessHoldsTheLock) {
  exportGoodFile();
  // Due at start-up, so the tray's first export meets the held lock.
  preferences().remove("exporter.lastExport");
  std::optional<SharedFileLock> held(std::in_place, lockFile());
  auto environment = user_.environment();
  environment.push_back("QT_QPA_PLATFORM=offscreen");
  ExporterProcess tray({}, environment);
  // Long enough for the start-up export to read the library and wait for the lock.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  tray.signal(SIGTERM);
  const auto result = tray.finish(std::chrono::seconds(20));

  EXPECT_EQ(result.exitCode, 0) << describe(result);
  for (const auto& [name, bytes] : filesOf(shared_)) {
    EXPECT_FALSE(name.ends_with(".part")) << name;
  }
  EXPECT_TRUE(fs::is_empty(user_.tmpDir()));
}

TEST_F(HeadlessSharedFile, aFailedRenameRemovesThePartAndSaysWhereAndWhy) {
  exportGoodFile();
  const auto file = sharedFile();
  fs::remove(file);
  fs::create_directory(file);
  std::ofstream(file / "keep") << "someone's folder";

  const auto result = user_.run({"export", "--library", otherLibrary_.string()});

  expectFailure(result, file.string());
  EXPECT_NE(result.err.find(std::strerror(EISDIR)), std::string::npos) << describe(result);
  EXPECT_TRUE(fs::exists(file / "keep"));
  EXPECT_FALSE(fs::exists(fs::path(file.string() + ".part"))) << describe(result);
}

TEST_F(HeadlessSharedFile, aLinkInTheLockFilesPlaceIsNotFollowed) {
  const auto victim = user_.scratch("elsewhere") / "not a lock";
  fs::create_symlink(victim, lockFile());

  const auto result = user_.run({"export", "--folder", shared_.string()});

  expectFailure(result, lockFile().string());
  EXPECT_FALSE(fs::exists(victim)) << "the link was followed and a file made at its target";
  EXPECT_TRUE(fs::is_empty(shared_));
}

TEST_F(HeadlessSharedFile, aRunThatCannotKeepItsDeviceIdentifierWritesNoSharedFile) {
  exportGoodFile();
  // As if the settings had been lost, with the folder still known.
  preferences().remove("sync.deviceID");
  for (const auto& entry : fs::directory_iterator(shared_)) fs::remove(entry.path());
  const UnwritableFolder locked(user_.preferencesFile().parent_path());
  if (!locked.active()) GTEST_SKIP() << "cannot make the settings unwritable: " << locked.failure();

  for (int run = 0; run < 2; ++run) {
    const auto result = user_.run({"export"});
    expectFailure(result, "Couldn't save the settings in " + user_.preferencesFile().string());
    EXPECT_TRUE(fs::is_empty(shared_)) << "a shared file under an identifier no run will know";
  }
}

TEST_F(HeadlessSharedFile, aFolderThatCannotBeRememberedSaysSo) {
  fs::create_directories(user_.preferencesFile().parent_path());
  // A folder where the settings file should be: nothing can be saved.
  fs::create_directory(user_.preferencesFile());

  const auto result = user_.run({"export", "--folder", shared_.string()});

  expectFailure(result, "couldn't remember the folder");
  EXPECT_NE(result.err.find(std::strerror(EISDIR)), std::string::npos) << describe(result);
  EXPECT_TRUE(fs::is_empty(shared_));
}

TEST_F(HeadlessSharedFile, aLastExportThatIsNoDateReadsAsNeverExported) {
  exportGoodFile();
  for (const char* stored : {"nan", "inf", "-inf", "1e300"}) {
    {
      QSettings settings(QString::fromStdString(user_.preferencesFile().string()),
                         QSettings::IniFormat);
      settings.setValue("exporter.lastExport", QString("date:") + stored);
    }
    const auto result = user_.run({"status"});
    EXPECT_EQ(result.exitCode, 0) << describe(result);
    EXPECT_NE(result.out.find("Last export: never"), std::string::npos) << stored << "\n"
                                                                        << describe(result);
  }
}

TEST_F(HeadlessSharedFile, aFolderThatIsBrieflyGoneIsKeptAndUsedOnceBack) {
  const auto before = exportGoodFile();
  const auto away = user_.scratch("unmounted") / "shared";
  fs::rename(shared_, away);

  const auto whileAway = user_.run({"export"});
  expectFailure(whileAway, "The shared folder “shared” isn't available right now.");
  EXPECT_EQ(filesOf(away), before);
  EXPECT_FALSE(fs::exists(shared_)) << "the exporter never makes the folder itself";

  fs::rename(away, shared_);
  const auto back = user_.run({"export"});
  EXPECT_EQ(back.exitCode, 0) << describe(back);
  EXPECT_NE(back.out.find("Unchanged: "), std::string::npos) << describe(back);
  EXPECT_EQ(filesOf(shared_), before);
}

TEST_F(HeadlessSharedFile, aSharedFileChangedBehindTheExportersBackIsWrittenAgain) {
  exportGoodFile();
  const auto file = sharedFile();
  const auto rows = readSharedFile(file).features.size();

  fs::resize_file(file, 0);
  const auto truncated = user_.run({"export"});
  EXPECT_EQ(truncated.exitCode, 0) << describe(truncated);
  EXPECT_NE(truncated.out.find("Wrote "), std::string::npos) << describe(truncated);
  EXPECT_EQ(readSharedFile(file).features.size(), rows);

  const auto elsewhere = user_.scratch("elsewhere") / "copy.pdsync";
  fs::copy_file(file, elsewhere);
  fs::remove(file);
  fs::create_symlink(elsewhere, file);
  const auto linked = user_.run({"export"});
  EXPECT_EQ(linked.exitCode, 0) << describe(linked);
  EXPECT_NE(linked.out.find("Wrote "), std::string::npos) << describe(linked);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));
}

TEST_F(HeadlessSharedFile, aFolderChosenAgainGetsTheRowsOfNow) {
  exportGoodFile();
  const auto first = sharedFile();
  const auto other = user_.scratch("other shared");
  const auto toOther =
      user_.run({"export", "--library", otherLibrary_.string(), "--folder", other.string()});
  ASSERT_EQ(toOther.exitCode, 0) << describe(toOther);

  const auto back =
      user_.run({"export", "--library", otherLibrary_.string(), "--folder", shared_.string()});
  EXPECT_EQ(back.exitCode, 0) << describe(back);
  EXPECT_NE(back.out.find("Wrote "), std::string::npos) << describe(back);
  // The rows of the library exported now, not those the folder held before.
  const auto termsOf = [](const fs::path& file) {
    std::map<std::string, std::string> terms;
    for (const auto& [assetID, row] : readSharedFile(file).features) terms[assetID] = row.terms;
    return terms;
  };
  EXPECT_EQ(termsOf(first), termsOf(other / first.filename()));
}

TEST_F(HeadlessSharedFile, aWatchWithALastExportThatIsNoDateExportsAtStart) {
  exportGoodFile();
  {
    QSettings settings(QString::fromStdString(user_.preferencesFile().string()),
                       QSettings::IniFormat);
    settings.setValue("exporter.lastExport", "date:nan");
  }
  const auto watch = user_.start({"watch"});
  EXPECT_TRUE(watch->waitForOutput("Exported ", std::chrono::seconds(30))) << watch->outputSoFar();
  watch->signal(SIGTERM);
  const auto result = watch->finish();
  EXPECT_EQ(result.exitCode, 0) << describe(result);
}

}  // namespace
}  // namespace lumenfolio::testing
