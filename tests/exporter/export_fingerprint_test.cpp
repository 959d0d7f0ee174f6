// A run whose inputs are all as the last successful run left them ends at
// once, as an unchanged export ends, without reading the library; any single
// change to any input reads it all again.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/exporter_harness.hpp"
#include "support/exporter_texts.hpp"
#include "sync/sync_folder.hpp"

namespace {

namespace fs = std::filesystem;

using lumenfolio::AssetFeatures;
using lumenfolio::Exporter;
using lumenfolio::PreferenceDate;
using lumenfolio::PreferenceValue;
using lumenfolio::SyncFolder;
using lumenfolio::testing::ExporterHarness;
using lumenfolio::testing::StateRecorder;
using Statuses = std::vector<std::optional<std::string>>;
using namespace lumenfolio::testing::texts;

const std::string kFirst = "11111111-AAAA-4BBB-8CCC-000000000001";

class ExportFingerprint : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = harness.chooseSharedFolder();
    harness.store.featureTable[kFirst] = AssetFeatures{.sharpness = 0.75, .faces = 2};
    harness.store.libraryFingerprint = "library as it is";
    harness.addAsset(kFirst, "cloud-first");
    exporter = harness.create(false);
    ASSERT_TRUE(harness.exportNow(*exporter));
    ASSERT_EQ(harness.writes, 1);
    harness.clock.advance(60);
  }

  // Whether the next export read the library.
  bool nextExportReads() {
    const auto reads = harness.store.featureReads;
    EXPECT_TRUE(harness.exportNow(*exporter));
    return harness.store.featureReads > reads;
  }

  ExporterHarness harness;
  fs::path folder;
  std::shared_ptr<Exporter> exporter;
};

TEST_F(ExportFingerprint, nothingChangedEndsAtOnceAsAnUnchangedExport) {
  StateRecorder recorder(*exporter);
  const auto reads = harness.store.featureReads + harness.store.termReads +
                     harness.store.panelReads + harness.store.measureReads;
  EXPECT_TRUE(harness.exportNow(*exporter));

  EXPECT_EQ(harness.store.featureReads + harness.store.termReads + harness.store.panelReads +
                harness.store.measureReads,
            reads);
  EXPECT_EQ(harness.writes, 1);
  // No reading stage is shown, and the run ends with no text.
  EXPECT_EQ(recorder.statuses, Statuses{});
  EXPECT_EQ(recorder.working, (std::vector<bool>{true, false}));
  EXPECT_EQ(exporter->status(), std::nullopt);
  EXPECT_EQ(exporter->lastExport(), harness.clock.now());
  EXPECT_EQ(exporter->lastCount(), 1);
  EXPECT_EQ(harness.preferences.value(std::string(Exporter::kLastExportKey)),
            PreferenceValue(PreferenceDate{harness.clock.now()}));
  EXPECT_EQ(harness.preferences.value(std::string(Exporter::kLastCountKey)),
            PreferenceValue(std::int64_t{1}));
}

TEST_F(ExportFingerprint, eachChangeOfAnInputReadsTheLibraryAgain) {
  ASSERT_FALSE(nextExportReads());

  harness.store.libraryFingerprint = "a database written";
  EXPECT_TRUE(nextExportReads());
  EXPECT_EQ(harness.writes, 1);  // the same rows, in the file written last
  EXPECT_FALSE(nextExportReads());

  // A shared file that is not as it was written is written again.
  fs::last_write_time(harness.sharedFile(),
                      fs::last_write_time(harness.sharedFile()) + std::chrono::seconds(1));
  EXPECT_TRUE(nextExportReads());
  EXPECT_EQ(harness.writes, 2);
  EXPECT_FALSE(nextExportReads());

  harness.preferences.setValue(std::string(SyncFolder::kDeviceIDKey), std::string("0a1b2c3d"));
  EXPECT_TRUE(nextExportReads());
  EXPECT_EQ(harness.writes, 3);  // the file of the new device identifier
  EXPECT_FALSE(nextExportReads());

  harness.chooseSharedFolder("Elsewhere");
  EXPECT_TRUE(nextExportReads());
  EXPECT_EQ(harness.writes, 4);
  EXPECT_FALSE(nextExportReads());
}

TEST_F(ExportFingerprint, aDeletedSharedFileIsWrittenAgain) {
  fs::remove(harness.sharedFile());
  EXPECT_TRUE(nextExportReads());
  EXPECT_EQ(harness.writes, 2);
  EXPECT_TRUE(fs::exists(harness.sharedFile()));
}

TEST_F(ExportFingerprint, aLibraryThatCannotBeToldIsAlwaysRead) {
  harness.store.libraryFingerprint.reset();
  EXPECT_TRUE(nextExportReads());
  EXPECT_TRUE(nextExportReads());
}

TEST_F(ExportFingerprint, aFailedWriteLeavesNoFingerprintBehind) {
  harness.store.libraryFingerprint = "a database written";
  harness.store.featureTable[kFirst].sharpness = 0.5;
  harness.writer = [](const lumenfolio::SyncFile::Payload&, const fs::path&) {
    throw std::runtime_error("disk full");
  };
  EXPECT_TRUE(nextExportReads());
  EXPECT_EQ(exporter->status(), "disk full");
  harness.writer = ExporterHarness::writeForReal;
  EXPECT_TRUE(nextExportReads());
  EXPECT_EQ(exporter->status(), std::nullopt);
  EXPECT_EQ(harness.writes, 3);
  EXPECT_FALSE(nextExportReads());
}

}  // namespace
