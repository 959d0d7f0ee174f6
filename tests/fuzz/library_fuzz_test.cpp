// A short, fixed run of the library fuzzer: copies of the corpus libraries,
// each damaged once, exported by the real exporter. Its report, with one line
// per damaged library, is left in the test output folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "library_fuzz/library_fuzzer.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio::fuzz {
namespace {

using namespace std::chrono_literals;

TEST(LibraryFuzz, damagedLibrariesNeitherCrashNorHangNorChangeThePackageNorShrinkASuccess) {
  const testing::TempDir work;
  std::filesystem::create_directories(LUMENFOLIO_TEST_OUTPUT_DIR);
  const auto reportFile = std::filesystem::path(LUMENFOLIO_TEST_OUTPUT_DIR) / "library-fuzz.txt";
  std::ofstream report(reportFile);
  LibraryFuzzer fuzzer({.exporter = LUMENFOLIO_EXPORTER_BINARY,
                        .corpus = LUMENFOLIO_FUZZ_CORPUS,
                        .work = work.path(),
                        .seed = 1,
                        .first = 0,
                        .count = 100,
                        .limit = 60s},
                       report);

  const auto summary = fuzzer.run();
  report.close();

  std::cout << summary.describe() << std::endl;
  EXPECT_EQ(summary.tried, 100);
  EXPECT_GT(summary.succeeded, 0) << "no damaged library exported at all";
  EXPECT_EQ(summary.crashes, 0);
  EXPECT_EQ(summary.hangs, 0);
  EXPECT_EQ(summary.reports, 0);
  EXPECT_EQ(summary.packageChanges, 0);
  EXPECT_EQ(summary.shrunkenSuccesses, 0);
  if (summary.faults() > 0) {
    std::ifstream in(reportFile);
    ADD_FAILURE() << "the cases, with each fault's details:\n" << in.rdbuf();
  }
}

}  // namespace
}  // namespace lumenfolio::fuzz
