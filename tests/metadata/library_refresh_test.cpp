// A long-running exporter releases the library after each run and reads it
// afresh the next time, so it follows what the library's owner writes.
#include <gtest/gtest.h>

#include "library_fixtures.hpp"
#include "metadata/metadata_store.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio::testing {
namespace {

std::string assetRow(int pk) {
  const auto id = std::to_string(pk);
  return "INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (" + id + ", 'A000000" + id +
         "-0000-0000-0000-000000000000');"
         "INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE, ZEXPOSURESCORE) "
         "VALUES (" +
         id + ", 0.5, 0.25);";
}

// What the library's owner does: a read-write connection in WAL mode adding an asset.
int addAssetAsTheOwner(const std::filesystem::path& database, int pk) {
  auto db = SqliteDatabase::open(database.string(), SQLITE_OPEN_READWRITE);
  if (!db) return SQLITE_CANTOPEN;
  sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  return db.exec("PRAGMA journal_mode=WAL;" + assetRow(pk));
}

class LibraryRefresh : public ::testing::Test {
 protected:
  void writeLibrary(Journal journal) {
    writeDatabase(database(), kPhotosSchema, assetRow(1), journal);
  }
  std::filesystem::path package() const { return dir_ / "Photos Library.photoslibrary"; }
  std::filesystem::path database() const { return package() / "database/Photos.sqlite"; }

  TempDir dir_;
};

TEST_F(LibraryRefresh, aReleasedLibraryIsReadAsItIsNow) {
  for (const auto journal :
       {Journal::rollback, Journal::walTidy, Journal::walLive, Journal::walWithoutShm}) {
    std::filesystem::remove_all(package());
    writeLibrary(journal);
    MetadataStore store(dir_.path());
    ASSERT_EQ(store.features().size(), 1u);
    store.release();

    ASSERT_EQ(addAssetAsTheOwner(database(), 2), SQLITE_OK);

    EXPECT_EQ(store.features().size(), 2u) << "journal " << static_cast<int>(journal);
  }
}

TEST_F(LibraryRefresh, theOwnerCanWriteOnceTheLibraryIsReleased) {
  writeLibrary(Journal::walLive);
  MetadataStore store(dir_.path());
  ASSERT_EQ(store.features().size(), 1u);

  store.release();

  EXPECT_EQ(addAssetAsTheOwner(database(), 2), SQLITE_OK);
}

TEST_F(LibraryRefresh, readingAgainAfterReleaseLeavesThePackageAsItWas) {
  writeLibrary(Journal::walLive);
  const auto before = packageContents(package());
  MetadataStore store(dir_.path());
  ASSERT_EQ(store.features().size(), 1u);
  store.release();
  EXPECT_EQ(store.measures().size(), 1u);
  store.release();

  EXPECT_EQ(packageContents(package()), before);
}

// Each run locates the library at its start: one that appears between runs
// is the next run's, one that appears during a run is not this run's.
TEST_F(LibraryRefresh, aLibraryThatAppearsIsFoundByTheNextRun) {
  MetadataStore store(dir_.path());
  const auto notFound = "Couldn't find a Photos library in " + dir_.path().string() + ".";
  ASSERT_EQ(store.currentFailure(), notFound);
  writeLibrary(Journal::walTidy);
  EXPECT_TRUE(store.features().empty());
  EXPECT_EQ(store.currentFailure(), notFound);
  store.release();

  EXPECT_EQ(store.features().size(), 1u);
  EXPECT_EQ(store.currentFailure(), std::nullopt);
}

TEST_F(LibraryRefresh, aLibraryThatTurnedUnreadableSaysSoAfterRelease) {
  writeLibrary(Journal::rollback);
  MetadataStore store(dir_.path());
  ASSERT_EQ(store.features().size(), 1u);
  store.release();

  writeFile(database(), "not a database");

  EXPECT_TRUE(store.features().empty());
  EXPECT_TRUE(store.currentNeedsFullDiskAccess());
  EXPECT_EQ(store.currentFailure(), std::string(MetadataStore::kFullDiskAccessFailure));
}

TEST_F(LibraryRefresh, releasingBeforeAnyReadChangesNothing) {
  writeLibrary(Journal::walTidy);
  MetadataStore store(dir_.path());
  store.release();
  EXPECT_EQ(store.features().size(), 1u);
  EXPECT_FALSE(store.currentFailure().has_value());
}

}  // namespace
}  // namespace lumenfolio::testing
