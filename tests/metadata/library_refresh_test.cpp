// A long-running reader (the tray, `watch`) must see what the library's owner
// writes after the reader opened it.
#include <gtest/gtest.h>

#include "library_fixtures.hpp"
#include "metadata/library_database.hpp"
#include "metadata/metadata_store.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio::testing {
namespace {

constexpr const char* kAsset =
    "INSERT INTO ZASSET (Z_PK, ZUUID) VALUES (%1, 'A000000%1-0000-0000-0000-000000000000');"
    "INSERT INTO ZMEDIAANALYSISASSETATTRIBUTES (ZASSET, ZBLURRINESSSCORE, ZEXPOSURESCORE) "
    "VALUES (%1, 0.5, 0.25);";

std::string assetRow(int pk) {
  std::string row = kAsset;
  for (auto at = row.find("%1"); at != std::string::npos; at = row.find("%1")) {
    row.replace(at, 2, std::to_string(pk));
  }
  return row;
}

// What the library's owner does: a read-write connection in WAL mode adding an asset.
void addAssetAsTheOwner(const std::filesystem::path& database, int pk) {
  auto db = SqliteDatabase::open(database.string(), SQLITE_OPEN_READWRITE);
  ASSERT_TRUE(db);
  execOrThrow(db, "PRAGMA journal_mode=WAL");
  sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  execOrThrow(db, assetRow(pk));
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

TEST_F(LibraryRefresh, aTidyLibraryChangedAfterOpeningIsReadAfresh) {
  writeLibrary(Journal::walTidy);
  MetadataStore store(dir_.path());
  ASSERT_EQ(store.features().size(), 1u);

  addAssetAsTheOwner(database(), 2);

  EXPECT_EQ(store.features().size(), 2u);
  EXPECT_EQ(store.measures().size(), 2u);
}

TEST_F(LibraryRefresh, aSnapshotIsTakenAgainOnceTheWalGrows) {
  writeLibrary(Journal::walWithoutShm);
  MetadataStore store(dir_.path());
  ASSERT_EQ(store.features().size(), 1u);

  // The owner brings its own "-shm" back when it writes; the reader then reads in place.
  addAssetAsTheOwner(database(), 2);

  EXPECT_EQ(store.features().size(), 2u);
}

TEST_F(LibraryRefresh, aFrozenConnectionIsOutdatedOnlyOnceTheFilesChange) {
  writeLibrary(Journal::walTidy);
  auto opened = LibraryDatabase::open(database());
  ASSERT_TRUE(opened);
  EXPECT_TRUE(opened->frozenFile().has_value());
  EXPECT_FALSE(opened->isOutdated());

  addAssetAsTheOwner(database(), 2);

  EXPECT_TRUE(opened->isOutdated());
}

TEST_F(LibraryRefresh, anUnchangedLibraryKeepsItsConnection) {
  writeLibrary(Journal::walTidy);
  MetadataStore store(dir_.path());
  ASSERT_EQ(store.features().size(), 1u);
  const auto before = packageContents(package());

  EXPECT_EQ(store.features().size(), 1u);
  EXPECT_EQ(packageContents(package()), before);
}

}  // namespace
}  // namespace lumenfolio::testing
