#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "base/failure.hpp"
#include "support/exporter_harness.hpp"
#include "support/exporter_texts.hpp"
#include "sync/sync_folder.hpp"

namespace {

namespace fs = std::filesystem;

using lumenfolio::AssetFeatures;
using lumenfolio::Exporter;
using lumenfolio::ExportFailure;
using lumenfolio::Failure;
using lumenfolio::LogLevel;
using lumenfolio::SyncError;
using lumenfolio::SyncFile;
using lumenfolio::SyncFolder;
using lumenfolio::testing::ExporterHarness;
using Lines = std::vector<std::string>;
using namespace lumenfolio::testing::texts;

const std::string kAsset = "11111111-AAAA-4BBB-8CCC-000000000001";
const std::string kUnreadable =
    "We read technique and measures straight from the Photos library databases, but this user "
    "can't open them. Check the permissions of the library's database folder.";

// Each way a run can end without a file: the kind beside the status, and one
// error line in the log that carries the cause the status leaves out.
class ExportFailureKinds : public ::testing::Test {
 protected:
  void SetUp() override {
    harness.store.featureTable[kAsset] = AssetFeatures{.sharpness = 0.5};
    harness.addAsset(kAsset, "cloud-first");
  }
  void run() {
    if (!exporter) exporter = harness.create(false);
    harness.exportNow(*exporter);
  }
  Lines errors() const { return harness.log.at(LogLevel::error); }

  ExporterHarness harness;
  std::shared_ptr<Exporter> exporter;
};

TEST_F(ExportFailureKinds, aWrittenFileIsNoFailureAndLogsNoError) {
  harness.chooseSharedFolder();
  run();
  EXPECT_FALSE(exporter->status().has_value());
  EXPECT_FALSE(exporter->failure().has_value());
  EXPECT_TRUE(errors().empty());
}

TEST_F(ExportFailureKinds, noFolderIsItsOwnKind) {
  run();
  EXPECT_EQ(exporter->status(), kChooseFolder);
  EXPECT_EQ(exporter->failure(), ExportFailure::noFolder);
  EXPECT_EQ(errors(), Lines{kChooseFolder});
}

TEST_F(ExportFailureKinds, aStoreThatFoundNoLibrarySaysNoLibrary) {
  harness.chooseSharedFolder();
  harness.store.featureTable.clear();
  harness.store.failure = "Couldn't find a Photos library in ~/Pictures.";
  run();
  EXPECT_EQ(exporter->failure(), ExportFailure::noLibrary);
  EXPECT_EQ(errors(), Lines{*harness.store.failure});
}

TEST_F(ExportFailureKinds, aStoreThatCantOpenTheDatabasesSaysUnreadable) {
  harness.chooseSharedFolder();
  harness.store.featureTable.clear();
  harness.store.failure = kUnreadable;
  harness.store.needsFullDiskAccess = true;
  run();
  EXPECT_EQ(exporter->failure(), ExportFailure::libraryUnreadable);
  EXPECT_EQ(errors(), Lines{kUnreadable});
}

TEST_F(ExportFailureKinds, aLibraryWithoutDataSaysSo) {
  harness.chooseSharedFolder();
  harness.store.featureTable.clear();
  run();
  EXPECT_EQ(exporter->status(), kNoMeasures);
  EXPECT_EQ(exporter->failure(), ExportFailure::noLibraryData);
}

TEST_F(ExportFailureKinds, aFailedWriteLogsTheSystemsCauseAndTheFile) {
  harness.chooseSharedFolder();
  harness.writer = [](const SyncFile::Payload&, const fs::path&) {
    throw std::system_error(std::make_error_code(std::errc::no_space_on_device), "rename");
  };
  run();
  EXPECT_EQ(exporter->failure(), ExportFailure::writeFailed);
  ASSERT_EQ(errors().size(), 1u);
  EXPECT_EQ(errors()[0], *exporter->status() + " (" + harness.sharedFile().string() + ")");
  EXPECT_NE(errors()[0].find("No space left on device"), std::string::npos);
}

TEST_F(ExportFailureKinds, theWritersOwnErrorNamesTheFileItCouldntWrite) {
  harness.chooseSharedFolder();
  harness.writer = [](const SyncFile::Payload&, const fs::path&) {
    throw SyncError(SyncError::Code::cannotWrite);
  };
  run();
  EXPECT_EQ(exporter->status(), kCannotWrite);
  EXPECT_EQ(exporter->failure(), ExportFailure::writeFailed);
  EXPECT_EQ(errors(), Lines{kCannotWrite + " (" + harness.sharedFile().string() + ")"});
}

TEST_F(ExportFailureKinds, theWritersCauseReachesTheLogAsItWasGiven) {
  const auto part = harness.chooseSharedFolder() / "pixdeck-x-features.pdsync.part";
  harness.writer = [part](const SyncFile::Payload&, const fs::path&) {
    throw SyncError(SyncError::Code::cannotWrite, Failure::fromErrno("open", part, ENOSPC));
  };
  run();
  EXPECT_EQ(exporter->status(), kCannotWrite);
  EXPECT_EQ(errors(),
            Lines{kCannotWrite + " (open " + part.string() + ": No space left on device)"});
}

TEST_F(ExportFailureKinds, anUnsafeDeviceIdentifierIsAWriteFailureNamingIt) {
  harness.chooseSharedFolder();
  harness.preferences.setValue(std::string(SyncFolder::kDeviceIDKey), std::string("x/../up"));
  run();
  EXPECT_EQ(exporter->failure(), ExportFailure::writeFailed);
  ASSERT_EQ(errors().size(), 1u);
  EXPECT_NE(errors()[0].find("pixdeck-x/../up-features.pdsync"), std::string::npos);
}

TEST_F(ExportFailureKinds, theNextRunThatWritesClearsTheFailure) {
  run();
  ASSERT_EQ(exporter->failure(), ExportFailure::noFolder);
  harness.chooseSharedFolder();
  run();
  EXPECT_FALSE(exporter->failure().has_value());
  EXPECT_EQ(errors().size(), 1u);
}

// The same text may stand for two kinds; the kind follows the last run.
TEST_F(ExportFailureKinds, theKindFollowsTheLastRunEvenWithTheSameText) {
  harness.chooseSharedFolder();
  harness.store.featureTable.clear();
  harness.store.failure = kUnreadable;
  run();
  ASSERT_EQ(exporter->failure(), ExportFailure::noLibrary);
  harness.store.needsFullDiskAccess = true;
  run();
  EXPECT_EQ(exporter->failure(), ExportFailure::libraryUnreadable);
  EXPECT_EQ(errors().size(), 2u);
}

}  // namespace
