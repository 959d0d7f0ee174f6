#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/exporter_harness.hpp"

namespace {

using lumenfolio::AssetFeatures;
using lumenfolio::Exporter;
using lumenfolio::PreferenceDate;
using lumenfolio::testing::ExporterHarness;

const std::string kAsset = "3C4D5E6F-7081-4293-A4B5-C6D7E8F90A1B";

// Each export reads the features once, so the reads count the exports.
class LibraryChange : public ::testing::Test {
 protected:
  void SetUp() override {
    harness.chooseSharedFolder();
    harness.store.featureTable[kAsset] = AssetFeatures{.sharpness = 0.5};
    harness.addAsset(kAsset, "cloud-asset");
    // Exported a minute ago, so the start-up itself does not export.
    harness.preferences.setValue(std::string(Exporter::kLastExportKey),
                                 PreferenceDate{harness.clock.now() - 60});
    exporter = harness.create();
    harness.queue.runUntilIdle();
  }

  void report() {
    harness.photos.reportChange();
    harness.queue.runUntilIdle();
  }
  int exports() const { return harness.store.featureReads; }

  ExporterHarness harness;
  std::shared_ptr<Exporter> exporter;
};

TEST_F(LibraryChange, tenReportsASecondApartExportOnce300SecondsAfterTheLast) {
  report();
  for (int i = 1; i < 10; ++i) {
    harness.queue.advance(1);
    report();
  }
  harness.queue.advance(299.5);
  EXPECT_EQ(exports(), 0);
  harness.queue.advance(0.5);
  EXPECT_EQ(exports(), 1);
  harness.queue.advance(3600);
  EXPECT_EQ(exports(), 1);
}

TEST_F(LibraryChange, theExportRecordsTheTimeItRan) {
  report();
  const double reportedAt = harness.clock.now();
  harness.queue.advance(300);
  EXPECT_EQ(exporter->lastExport(), reportedAt + 300);
}

TEST_F(LibraryChange, aReport299SecondsLaterCancelsTheFirstWait) {
  report();
  harness.queue.advance(299);
  report();
  harness.queue.advance(299);
  EXPECT_EQ(exports(), 0);
  harness.queue.advance(1);
  EXPECT_EQ(exports(), 1);
  harness.queue.advance(3600);
  EXPECT_EQ(exports(), 1);
}

TEST_F(LibraryChange, twoReports301SecondsApartExportTwice) {
  report();
  harness.queue.advance(301);
  EXPECT_EQ(exports(), 1);
  report();
  harness.queue.advance(300);
  EXPECT_EQ(exports(), 2);
}

TEST_F(LibraryChange, aReportDuringAnExportLetsItFinishAndExportsAgainLater) {
  harness.writeWorker.pause();
  report();
  harness.queue.advance(300);
  ASSERT_TRUE(exporter->isWorking());

  harness.queue.advance(10);
  report();
  harness.writeWorker.resume();
  harness.queue.runUntilIdle();
  EXPECT_FALSE(exporter->isWorking());
  EXPECT_EQ(harness.writes, 1);
  EXPECT_EQ(exports(), 1);

  harness.queue.advance(299);
  EXPECT_EQ(exports(), 1);
  harness.queue.advance(1);
  EXPECT_EQ(exports(), 2);
}

TEST_F(LibraryChange, aDelayedExportThatFindsARunInProgressIsDropped) {
  harness.writeWorker.pause();
  report();
  harness.queue.advance(300);
  report();
  harness.queue.advance(300);
  EXPECT_EQ(exports(), 1);
  EXPECT_TRUE(exporter->isWorking());

  harness.writeWorker.resume();
  harness.queue.advance(3600);
  EXPECT_EQ(exports(), 1);
  EXPECT_FALSE(exporter->isWorking());
}

TEST_F(LibraryChange, aWaitingExportKeepsTheExporterAlive) {
  report();
  const std::weak_ptr<Exporter> weak = exporter;
  exporter.reset();
  EXPECT_FALSE(weak.expired());

  harness.queue.advance(300);
  EXPECT_EQ(exports(), 1);
  EXPECT_TRUE(weak.expired());
}

TEST_F(LibraryChange, aRunningExportKeepsTheExporterAliveUntilItHasClosed) {
  harness.writeWorker.pause();
  exporter->runExport();
  harness.queue.runUntilIdle();
  const std::weak_ptr<Exporter> weak = exporter;
  exporter.reset();
  ASSERT_FALSE(weak.expired());

  harness.writeWorker.resume();
  harness.queue.runUntilIdle();
  EXPECT_EQ(harness.writes, 1);
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(harness.preferences.value(std::string(Exporter::kDigestKey)).has_value());
}

}  // namespace
