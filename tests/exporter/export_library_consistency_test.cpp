// A run writes what one version of the library holds, or nothing: a read that
// ends in an error fails the run, and a library that changed under the run is
// read again from the start.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/exporter_harness.hpp"
#include "support/exporter_texts.hpp"

namespace lumenfolio::testing {
namespace {

namespace fs = std::filesystem;
using namespace texts;

const std::string kFirst = "11111111-AAAA-4BBB-8CCC-000000000001";

class ExportLibraryConsistency : public ::testing::Test {
 protected:
  void SetUp() override {
    harness.chooseSharedFolder();
    harness.store.featureTable[kFirst] = AssetFeatures{.sharpness = 0.5};
    harness.addAsset(kFirst, "cloud-first");
    exporter = harness.create(false);
  }

  std::optional<PreferenceValue> stored(std::string_view key) const {
    return harness.preferences.value(std::string(key));
  }

  ExporterHarness harness;
  std::shared_ptr<Exporter> exporter;
};

TEST_F(ExportLibraryConsistency, aReadThatEndsInAnErrorFailsTheRunAndKeepsTheGoodFile) {
  harness.exportNow(*exporter);
  ASSERT_EQ(harness.writes, 1);
  const auto digest = stored(Exporter::kDigestKey);
  const auto lastExport = exporter->lastExport();
  const auto bytes = fs::file_size(harness.sharedFile());

  harness.clock.advance(60);
  harness.store.featureTable[kFirst].sharpness = 0.25;
  harness.store.panelFailure =
      SqliteError("step", "/library/database/Photos.sqlite", SQLITE_CORRUPT, SQLITE_CORRUPT,
                  "database disk image is malformed");
  StateRecorder recorder(*exporter);
  harness.exportNow(*exporter);
  EXPECT_EQ(exporter->status(), kIncompleteRead);
  EXPECT_EQ((recorder.statuses.end() - 1)->value_or(""), kIncompleteRead);
  EXPECT_FALSE(exporter->isWorking());
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(fs::file_size(harness.sharedFile()), bytes);
  EXPECT_EQ(stored(Exporter::kDigestKey), digest);
  EXPECT_EQ(exporter->lastExport(), lastExport);
  EXPECT_EQ(harness.store.releases, 2);
  EXPECT_EQ(harness.log.at(LogLevel::error),
            std::vector<std::string>{kIncompleteRead +
                                     " (step /library/database/Photos.sqlite: database disk image "
                                     "is malformed)"});
}

TEST_F(ExportLibraryConsistency, aReadInterruptedOnRequestEndsTheRunAsStopped) {
  harness.exportNow(*exporter);
  ASSERT_EQ(harness.writes, 1);
  const auto digest = stored(Exporter::kDigestKey);
  const auto lastExport = exporter->lastExport();
  harness.clock.advance(60);
  harness.store.featureTable[kFirst].sharpness = 0.25;
  harness.store.panelFailure = SqliteError("step", "/library/database/Photos.sqlite",
                                           SQLITE_INTERRUPT, SQLITE_INTERRUPT, "interrupted");

  EXPECT_TRUE(harness.exportNow(*exporter)) << "the run ends, and says so";
  EXPECT_FALSE(exporter->isWorking());
  EXPECT_EQ(exporter->failure(), std::nullopt) << "a stop is not a failure of the library";
  EXPECT_NE(exporter->status(), kIncompleteRead);
  EXPECT_TRUE(harness.log.at(LogLevel::error).empty());
  EXPECT_EQ(harness.writes, 1) << "nor is it an export";
  EXPECT_EQ(stored(Exporter::kDigestKey), digest);
  EXPECT_EQ(exporter->lastExport(), lastExport);
  EXPECT_EQ(harness.store.releases, 2) << "the library is let go as after any run";
}

// A damaged page can leave rows out without an error from SQLite: rows that
// hold less than the last export's replace its file only once the library
// passes SQLite's integrity check.
TEST_F(ExportLibraryConsistency, rowsThatHoldLessReplaceTheGoodFileOnlyFromASoundLibrary) {
  harness.store.termTable[kFirst] = "BEACH\nSEA";
  harness.exportNow(*exporter);
  ASSERT_EQ(harness.writes, 1);
  EXPECT_EQ(harness.store.integrityChecks, 0) << "nothing to hold less than";
  const auto digest = stored(Exporter::kDigestKey);
  const auto bytes = fs::file_size(harness.sharedFile());

  harness.clock.advance(60);
  harness.store.termTable[kFirst] = "BEACH";
  harness.store.integrityFailure = SqliteError(
      "integrity check of ga", "/library/database/search/psi.sqlite", SQLITE_CORRUPT,
      SQLITE_CORRUPT, "*** in database main ***; On tree page 7 cell 0: Rowid 9 out of order");
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.store.integrityChecks, 1);
  EXPECT_EQ(exporter->status(), kIncompleteRead);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(fs::file_size(harness.sharedFile()), bytes);
  EXPECT_EQ(stored(Exporter::kDigestKey), digest);
  EXPECT_EQ(harness.store.releases, 2) << "the library is let go after the failed check";
  EXPECT_EQ(harness.log.at(LogLevel::error),
            std::vector<std::string>{kIncompleteRead +
                                     " (integrity check of ga /library/database/search/psi.sqlite: "
                                     "*** in database main ***; On tree page 7 cell 0: Rowid 9 "
                                     "out of order)"});

  // The same rows again, from a library that passes: they are what it holds.
  harness.store.integrityFailure.reset();
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.store.integrityChecks, 2);
  EXPECT_EQ(exporter->status(), std::nullopt);
  EXPECT_EQ(harness.writes, 2);
  EXPECT_NE(stored(Exporter::kDigestKey), digest);

  // Rows that hold as much as the last written ones are not checked again.
  harness.store.termTable[kFirst] = "SEA";
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.store.integrityChecks, 2);
  EXPECT_EQ(harness.writes, 3);
}

TEST_F(ExportLibraryConsistency, aLibraryThatChangedUnderTheRunIsReadAgainFromTheStart) {
  harness.store.changesToReport = 1;
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.store.featureReads, 2);
  EXPECT_EQ(harness.store.panelReads, 2);
  EXPECT_EQ(harness.store.identityChecks, 2);
  EXPECT_EQ(harness.store.releases, 2);
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(exporter->status(), std::nullopt);
  EXPECT_EQ(exporter->lastCount(), 1);
}

TEST_F(ExportLibraryConsistency, aLibraryThatKeepsChangingEndsTheRunWithoutWriting) {
  harness.store.changesToReport = 3;
  harness.exportNow(*exporter);
  EXPECT_EQ(harness.store.featureReads, 3);
  EXPECT_EQ(harness.writes, 0);
  EXPECT_EQ(exporter->status(), kLibraryKeptChanging);
  EXPECT_FALSE(stored(Exporter::kDigestKey).has_value());
  EXPECT_FALSE(exporter->lastExport().has_value());
  EXPECT_FALSE(exporter->isWorking());
}

}  // namespace
}  // namespace lumenfolio::testing
