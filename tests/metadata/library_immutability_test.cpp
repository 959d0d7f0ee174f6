#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>

#include "base/file_uri.hpp"
#include "library_fixtures.hpp"
#include "metadata/library_database.hpp"
#include "metadata/metadata_store.hpp"
#include "sample_library/sample_library.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;
using sample::SampleLibrary;
using SideFiles = SampleLibrary::SideFiles;

constexpr int kAssets = 400;

struct Reading {
  ByAssetUuid<AssetFeatures> features;
  ByAssetUuid<Bytes> measures;
  ByAssetUuid<std::string> terms;
  ByAssetUuid<std::string> panels;
};

class LibraryImmutabilityTest : public ::testing::TestWithParam<SideFiles> {
 protected:
  fs::path package() const { return temp / "Pictures" / "Photos Library.photoslibrary"; }

  SampleLibrary::Summary writeSample(SideFiles sideFiles) const {
    return SampleLibrary::write(package(), {kAssets, 7, sideFiles});
  }

  Reading readAll() const {
    MetadataStore store(temp / "Pictures");
    Reading reading{store.features(), store.measures(), store.searchTerms(), store.panels()};
    EXPECT_FALSE(store.currentFailure().has_value());
    return reading;
  }

  lumenfolio::testing::TempDir temp;
};

TEST_P(LibraryImmutabilityTest, readingEverythingLeavesEveryFileOfThePackageAsItWas) {
  writeSample(GetParam());
  const auto before = testing::packageContents(package());
  const auto reading = readAll();
  EXPECT_FALSE(reading.features.empty());
  EXPECT_FALSE(reading.measures.empty());
  EXPECT_FALSE(reading.terms.empty());
  EXPECT_FALSE(reading.panels.empty());
  const auto after = testing::packageContents(package());
  EXPECT_EQ(after, before) << "before:\n"
                           << testing::listing(before) << "after:\n"
                           << testing::listing(after);
}

TEST_P(LibraryImmutabilityTest, rowsWrittenAfterTheCheckpointAreRead) {
  // A tidy copy holds every row in its main files: the reference reading.
  lumenfolio::testing::TempDir tidyFolder;
  SampleLibrary::write(tidyFolder / "Pictures" / "Photos Library.photoslibrary",
                       {kAssets, 7, SideFiles::none});
  MetadataStore tidy(tidyFolder / "Pictures");

  const auto summary = writeSample(GetParam());
  ASSERT_GT(summary.recentAssets, 0);
  const auto reading = readAll();
  EXPECT_EQ(reading.features, tidy.features());
  EXPECT_EQ(reading.measures, tidy.measures());
  EXPECT_EQ(reading.terms, tidy.searchTerms());
  EXPECT_EQ(reading.panels, tidy.panels());
}

INSTANTIATE_TEST_SUITE_P(SideFileStates, LibraryImmutabilityTest,
                         ::testing::Values(SideFiles::live, SideFiles::none,
                                           SideFiles::walWithoutShm),
                         [](const auto& info) {
                           switch (info.param) {
                             case SideFiles::live:
                               return "live";
                             case SideFiles::none:
                               return "tidy";
                             case SideFiles::walWithoutShm:
                               return "walWithoutShm";
                           }
                           return "unknown";
                         });

TEST(LibraryImmutability, recentRowsAreOnlyInTheWal) {
  // Guards the fixture: an immutable open alone would miss the recent assets.
  lumenfolio::testing::TempDir temp;
  const auto package = temp / "Sample.photoslibrary";
  const auto summary = SampleLibrary::write(package, {kAssets, 7, SideFiles::walWithoutShm});
  const auto file = package / "database" / "Photos.sqlite";
  auto immutable = SqliteDatabase::open(FileUri::of(file) + "?immutable=1",
                                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  SqliteStatement count(immutable, "SELECT COUNT(*) FROM ZASSET");
  ASSERT_TRUE(count.step());
  EXPECT_EQ(count.columnInt(0), summary.assets - summary.recentAssets);
}

TEST(LibraryImmutability, privateSnapshotIsGoneWhenTheStoreIs) {
  lumenfolio::testing::TempDir temp;
  const auto scratch = temp / "tmp";
  fs::create_directories(scratch);
  ASSERT_EQ(setenv("TMPDIR", scratch.c_str(), 1), 0);
  SampleLibrary::write(temp / "Pictures" / "Lost Shm.photoslibrary",
                       {50, 3, SideFiles::walWithoutShm});
  {
    MetadataStore store(temp / "Pictures");
    EXPECT_FALSE(store.features().empty());
    EXPECT_FALSE(fs::is_empty(scratch));
  }
  EXPECT_TRUE(fs::is_empty(scratch));
  unsetenv("TMPDIR");
}

}  // namespace
}  // namespace lumenfolio
