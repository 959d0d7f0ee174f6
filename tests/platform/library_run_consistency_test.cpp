// One run, one package: the store and the photo platform read the package
// located at the run's start, from one read transaction, whatever appears,
// moves or is replaced meanwhile; the next run reads the library as it is then.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "metadata/metadata_store.hpp"
#include "platform/linux/library_photo_platform.hpp"
#include "sample_library/sample_library.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;
using sample::SampleLibrary;

class LibraryRunConsistency : public ::testing::Test {
 protected:
  fs::path pictures() const { return temp / "Pictures"; }

  // How many of the listed images have features in `features`.
  static int matched(const std::vector<std::string>& identifiers,
                     const ByAssetUuid<AssetFeatures>& features) {
    int count = 0;
    for (const auto& identifier : identifiers) count += features.contains(identifier.substr(0, 36));
    return count;
  }

  // The features of `package` alone, read by a store given that package: the
  // two sample libraries have UUIDs of their own, so these tell which package
  // a run read.
  static ByAssetUuid<AssetFeatures> featuresOf(const fs::path& package) {
    return MetadataStore(package.parent_path(), package).features();
  }

  testing::TempDir temp;
  LibraryPhotoPlatform platform{temp / "Pictures"};
  MetadataStore store{temp / "Pictures", std::nullopt, {}, platform.listingSink()};
};

// A restored "Photos Library.photoslibrary" appears beside "Family.photoslibrary"
// while a run reads: the run's assets and features both stay Family's.
TEST_F(LibraryRunConsistency, aPackageThatAppearsDuringARunIsTheNextRunsOnly) {
  SampleLibrary::write(pictures() / "Family.photoslibrary", {.assets = 80, .seed = 1});
  const auto features = store.features();
  ASSERT_FALSE(features.empty());
  SampleLibrary::write(pictures() / "Photos Library.photoslibrary", {.assets = 50, .seed = 2});

  const auto identifiers = platform.fetchImageAssetIdentifiers();
  ASSERT_FALSE(identifiers.empty());
  EXPECT_GT(matched(identifiers, features), 0) << "assets and features of one package";
  EXPECT_EQ(features, featuresOf(pictures() / "Family.photoslibrary"));
  EXPECT_TRUE(store.libraryUnchanged());
  store.release();

  const auto next = store.features();
  EXPECT_EQ(next, featuresOf(pictures() / "Photos Library.photoslibrary"));
  const auto nextIdentifiers = platform.fetchImageAssetIdentifiers();
  EXPECT_GT(matched(nextIdentifiers, next), 0);
  EXPECT_EQ(matched(nextIdentifiers, features), 0) << "the two samples share no UUID";
  store.release();
}

// Once a run is over the platform keeps nothing of it: a mapping asked
// afterwards answers from the library as it is now, not from the run's
// listing (which, for a large library, would hold tens of megabytes).
TEST_F(LibraryRunConsistency, theRunsListingGoesWithTheRun) {
  SampleLibrary::write(pictures() / "Family.photoslibrary", {.assets = 80, .seed = 1});
  ASSERT_FALSE(store.features().empty());
  const auto identifiers = platform.fetchImageAssetIdentifiers();
  ASSERT_FALSE(identifiers.empty());
  ASSERT_TRUE(platform.cloudIdentifierMappings({identifiers.front()})[0].cloudIdentifier);
  store.release();

  fs::remove_all(pictures() / "Family.photoslibrary");
  SampleLibrary::write(pictures() / "Photos Library.photoslibrary", {.assets = 50, .seed = 2});
  EXPECT_FALSE(platform.cloudIdentifierMappings({identifiers.front()})[0].cloudIdentifier)
      << "an asset of the library that is gone";
  const auto now = LibraryPhotoPlatform(pictures()).fetchImageAssetIdentifiers();
  ASSERT_FALSE(now.empty());
  EXPECT_TRUE(platform.cloudIdentifierMappings({now.front()})[0].cloudIdentifier);
}

// Once the run has mapped its photos, the listing goes before the largest
// tables are read; the run itself reads on.
TEST_F(LibraryRunConsistency, theRunsListingGoesOnceItsPhotosAreMapped) {
  SampleLibrary::write(pictures() / "Family.photoslibrary", {.assets = 80, .seed = 1});
  ASSERT_FALSE(store.features().empty());
  const auto identifiers = platform.fetchImageAssetIdentifiers();
  ASSERT_FALSE(identifiers.empty());
  ASSERT_TRUE(platform.cloudIdentifierMappings({identifiers.front()})[0].cloudIdentifier);
  store.photosMapped();

  fs::remove_all(pictures() / "Family.photoslibrary");
  EXPECT_FALSE(platform.cloudIdentifierMappings({identifiers.front()})[0].cloudIdentifier)
      << "an asset of the library that is gone";
  EXPECT_FALSE(store.measures().empty());
  store.release();
}

// A sync tool puts a newer Photos.sqlite in place while a run reads: the
// run's reads stay with the version it began with, and the run learns that
// the library changed under it.
TEST_F(LibraryRunConsistency, aDatabaseReplacedDuringARunIsSeenAsAChange) {
  const auto package = pictures() / "Photos Library.photoslibrary";
  SampleLibrary::write(package, {.assets = 80, .seed = 1});
  SampleLibrary::write(temp / "newer.photoslibrary", {.assets = 60, .seed = 3});
  const auto features = store.features();
  ASSERT_TRUE(store.libraryUnchanged());

  for (const char* file : {"Photos.sqlite", "Photos.sqlite-wal", "Photos.sqlite-shm"}) {
    fs::rename(temp / "newer.photoslibrary" / "database" / file, package / "database" / file);
  }
  const auto identifiers = platform.fetchImageAssetIdentifiers();
  EXPECT_GT(matched(identifiers, features), 0) << "the listing is the run's own version";
  EXPECT_FALSE(store.libraryUnchanged());
  store.release();
  EXPECT_TRUE(store.features() != features);
  EXPECT_TRUE(store.libraryUnchanged());
  store.release();
}

}  // namespace
}  // namespace lumenfolio
