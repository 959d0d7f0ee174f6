#include "metadata/library_database.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/file_uri.hpp"
#include "library_fixtures.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/fifo_release.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;
using testing::Journal;
using testing::packageContents;
using testing::sideFile;

constexpr const char* kSchema = "CREATE TABLE t (x INTEGER);";
constexpr const char* kRows = "INSERT INTO t VALUES (1), (2), (3);";

int rowCount(const LibraryDatabase& database) {
  SqliteStatement count(database.connection(), "SELECT COUNT(*) FROM t");
  return count.step() ? count.columnInt(0) : -1;
}

// The private snapshot folder an open database reads from, found where
// snapshots are made: the temporary directory, which each test points at a
// folder of its own.
std::optional<fs::path> privateSnapshot() {
  std::optional<fs::path> found;
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
    if (!entry.path().filename().string().starts_with("lumenfolio-library-")) continue;
    EXPECT_FALSE(found.has_value()) << "a second snapshot folder: " << entry.path();
    found = entry.path();
  }
  return found;
}

// What opening and reading a database gave.
struct ReadOutcome {
  int rows = -1;  // -1: it did not open
  std::optional<fs::path> snapshot;
  unsigned snapshotMode = 0;
};

// Opens and reads `file`, checking that nothing under `folder` changes while
// the connection is open or after it is closed.
ReadOutcome readLeavingUnchanged(const fs::path& file, const fs::path& folder) {
  const auto before = packageContents(folder);
  ReadOutcome outcome;
  {
    const auto database = LibraryDatabase::open(file);
    if (database) {
      outcome.rows = rowCount(*database);
      outcome.snapshot = privateSnapshot();
      struct stat info {};
      if (outcome.snapshot && stat(outcome.snapshot->c_str(), &info) == 0) {
        outcome.snapshotMode = info.st_mode & 0777;
      }
    }
    EXPECT_EQ(packageContents(folder), before) << "while open:\n"
                                               << testing::listing(packageContents(folder));
  }
  EXPECT_EQ(packageContents(folder), before) << "after closing";
  return outcome;
}

class LibraryDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(scratch);
    ASSERT_EQ(setenv("TMPDIR", scratch.c_str(), 1), 0);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  fs::path writeLibrary(Journal journal, const fs::path& relative = "database/Photos.sqlite") {
    const auto file = temp / relative;
    testing::writeDatabase(file, kSchema, kRows, journal);
    return file;
  }

  lumenfolio::testing::TempDir temp;
  // Outside `temp`, whose contents the tests compare before and after.
  lumenfolio::testing::TempDir scratchParent;
  const fs::path scratch = scratchParent / "tmp";
};

// --- which files open -------------------------------------------------------

TEST_F(LibraryDatabaseTest, opensRollbackJournalDatabaseAndReadsIt) {
  const auto file = writeLibrary(Journal::rollback);
  const auto database = LibraryDatabase::open(file);
  ASSERT_TRUE(database.has_value());
  EXPECT_EQ(rowCount(*database), 3);
  EXPECT_FALSE(privateSnapshot().has_value());
}

TEST_F(LibraryDatabaseTest, connectionRefusesWrites) {
  for (const auto journal : {Journal::rollback, Journal::walTidy, Journal::walLive}) {
    lumenfolio::testing::TempDir own;
    const auto file = own / "Photos.sqlite";
    testing::writeDatabase(file, kSchema, kRows, journal);
    const auto before = packageContents(own.path());
    {
      const auto database = LibraryDatabase::open(file);
      ASSERT_TRUE(database.has_value());
      EXPECT_NE(database->connection().exec("INSERT INTO t VALUES (4)"), SQLITE_OK);
      EXPECT_NE(database->connection().exec("CREATE TABLE u (y)"), SQLITE_OK);
      EXPECT_EQ(rowCount(*database), 3);
    }
    EXPECT_EQ(packageContents(own.path()), before);
  }
}

TEST_F(LibraryDatabaseTest, missingFileGivesNothing) {
  EXPECT_FALSE(LibraryDatabase::open(temp / "database/Photos.sqlite").has_value());
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

TEST_F(LibraryDatabaseTest, zeroByteFileGivesNothingAndStaysEmpty) {
  const auto file = temp / "Photos.sqlite";
  testing::writeFile(file, "");
  EXPECT_FALSE(LibraryDatabase::open(file).has_value());
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(packageContents(temp.path()).size(), 1u);
}

TEST_F(LibraryDatabaseTest, fileThatIsNotADatabaseGivesNothing) {
  const auto file = temp / "Photos.sqlite";
  const std::string text(4096, 'x');
  testing::writeFile(file, text);
  EXPECT_FALSE(LibraryDatabase::open(file).has_value());
  EXPECT_EQ(testing::contentsOf(file), text);
}

TEST_F(LibraryDatabaseTest, databaseCutShortInsideItsHeaderGivesNothing) {
  const auto file = writeLibrary(Journal::rollback);
  fs::resize_file(file, 60);
  EXPECT_FALSE(LibraryDatabase::open(file).has_value());
}

// The page's missing end would read as zeros, which SQLite takes for cells.
TEST_F(LibraryDatabaseTest, databaseCutInsideAPageGivesNothingWhateverTheJournal) {
  for (const auto journal : {Journal::rollback, Journal::walTidy, Journal::walLive}) {
    lumenfolio::testing::TempDir own;
    const auto file = own / "Photos.sqlite";
    testing::writeDatabase(file, kSchema, kRows, journal);
    fs::resize_file(file, fs::file_size(file) - 1);
    EXPECT_EQ(readLeavingUnchanged(file, own.path()).rows, -1);
  }
}

TEST_F(LibraryDatabaseTest, folderInPlaceOfDatabaseGivesNothing) {
  const auto folder = temp / "database/Photos.sqlite";
  fs::create_directories(folder);
  EXPECT_FALSE(LibraryDatabase::open(folder).has_value());
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(LibraryDatabaseTest, fifoInPlaceOfDatabaseGivesNothingWithoutBlocking) {
  const auto fifo = temp / "Photos.sqlite";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(LibraryDatabase::open(fifo).has_value());
}

// SQLite would wait on a fifo under a side file's name until someone writes
// to it: such a database is read from a copy or without its side files.
TEST_F(LibraryDatabaseTest, fifoInPlaceOfASideFileIsNeverOpenedAndTheRowsAreRead) {
  struct Case {
    Journal journal;
    const char* side;
  };
  for (const auto& [journal, side] :
       {Case{Journal::rollback, "-journal"}, Case{Journal::walLive, "-journal"},
        Case{Journal::walLive, "-shm"}}) {
    lumenfolio::testing::TempDir own;
    const auto file = own / "Photos.sqlite";
    testing::writeDatabase(file, kSchema, kRows, journal);
    const auto fifo = sideFile(file, side);
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto bytes = testing::contentsOf(file);

    const auto database =
        testing::releasingFifos([&file] { return LibraryDatabase::open(file); }, {fifo});
    ASSERT_TRUE(database.has_value()) << side;
    EXPECT_EQ(rowCount(*database), 3) << side;
    EXPECT_TRUE(fs::is_fifo(fifo)) << side;
    EXPECT_EQ(testing::contentsOf(file), bytes) << side;
  }
}

// --- the probe and the second attempt ---------------------------------------

TEST_F(LibraryDatabaseTest, lockedDatabaseFailsTheProbeAndOpensImmutable) {
  const auto file = writeLibrary(Journal::rollback);
  auto writer = SqliteDatabase::open(file.string(), SQLITE_OPEN_READWRITE);
  ASSERT_TRUE(writer);
  ASSERT_EQ(writer.exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"), SQLITE_OK);

  // A plain read-only connection cannot even read the schema while the lock is held.
  auto plain =
      SqliteDatabase::open(FileUri::of(file) + "?mode=ro", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  ASSERT_TRUE(plain);
  ASSERT_NE(plain.exec("SELECT 1 FROM sqlite_master LIMIT 1"), SQLITE_OK);

  const auto database = LibraryDatabase::open(file);
  ASSERT_TRUE(database.has_value());
  EXPECT_EQ(rowCount(*database), 3);
}

class OddPathTest : public LibraryDatabaseTest,
                    public ::testing::WithParamInterface<const char*> {};

TEST_P(OddPathTest, databaseUnderOddFolderNameOpensAndReads) {
  for (const auto journal :
       {Journal::rollback, Journal::walTidy, Journal::walLive, Journal::walWithoutShm}) {
    lumenfolio::testing::TempDir own;
    const auto file = own / GetParam() / "database" / "Photos.sqlite";
    testing::writeDatabase(file, kSchema, kRows, journal);
    EXPECT_EQ(readLeavingUnchanged(file, own.path()).rows, 3) << GetParam();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Characters, OddPathTest,
    ::testing::Values("Photos Library.photoslibrary", "Hash#Mark.photoslibrary",
                      "Why?Not.photoslibrary", "100%25 sure %.photoslibrary",
                      "\xC3\x89t\xC3\xA9 \xE7\x85\xA7\xE7\x89\x87.photoslibrary",
                      "a&b=c;d+e'f.photoslibrary"));

// --- WAL journal: nothing created, nothing missed ---------------------------

TEST_F(LibraryDatabaseTest, tidyWalDatabaseOpensWithoutCreatingSideFiles) {
  const auto file = writeLibrary(Journal::walTidy);
  ASSERT_FALSE(fs::exists(sideFile(file, "-wal")));
  ASSERT_FALSE(fs::exists(sideFile(file, "-shm")));
  const auto outcome = readLeavingUnchanged(file, temp.path());
  EXPECT_EQ(outcome.rows, 3);
  EXPECT_FALSE(outcome.snapshot.has_value());
}

TEST_F(LibraryDatabaseTest, emptyWalFileCountsAsNoWalContent) {
  const auto file = writeLibrary(Journal::walTidy);
  testing::writeFile(sideFile(file, "-wal"), "");
  EXPECT_EQ(readLeavingUnchanged(file, temp.path()).rows, 3);
}

TEST_F(LibraryDatabaseTest, liveLibraryIsReadInPlaceWithItsWalRowsAndLeftUnchanged) {
  const auto file = writeLibrary(Journal::walLive);
  ASSERT_GT(fs::file_size(sideFile(file, "-wal")), 0u);
  ASSERT_TRUE(fs::exists(sideFile(file, "-shm")));
  const auto outcome = readLeavingUnchanged(file, temp.path());
  EXPECT_EQ(outcome.rows, 3);
  EXPECT_FALSE(outcome.snapshot.has_value());
}

TEST_F(LibraryDatabaseTest, walWithoutShmIsReadFromPrivateSnapshotThatGoesAway) {
  const auto file = writeLibrary(Journal::walWithoutShm);
  ASSERT_GT(fs::file_size(sideFile(file, "-wal")), 0u);
  ASSERT_FALSE(fs::exists(sideFile(file, "-shm")));
  const auto outcome = readLeavingUnchanged(file, temp.path());
  EXPECT_EQ(outcome.rows, 3);
  ASSERT_TRUE(outcome.snapshot.has_value());
  EXPECT_EQ(outcome.snapshotMode, 0700u);
  EXPECT_FALSE(fs::exists(*outcome.snapshot));
}

TEST_F(LibraryDatabaseTest, staleShmIsNeitherTrustedNorTouched) {
  const auto file = writeLibrary(Journal::walLive);
  // A "-shm" from some other moment: garbage where the WAL index should be.
  testing::writeFile(sideFile(file, "-shm"), std::string(32768, '\x5A'));
  EXPECT_EQ(readLeavingUnchanged(file, temp.path()).rows, 3);
}

TEST_F(LibraryDatabaseTest, failedInPlaceOpenWithWalContentFallsBackToSnapshot) {
  const auto file = writeLibrary(Journal::walLive);
  // A writer in exclusive locking mode keeps every other connection out of the file.
  auto writer = SqliteDatabase::open(file.string(), SQLITE_OPEN_READWRITE);
  ASSERT_TRUE(writer);
  ASSERT_EQ(writer.exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"), SQLITE_OK);
  const auto outcome = readLeavingUnchanged(file, temp.path());
  EXPECT_EQ(outcome.rows, 3);
  EXPECT_TRUE(outcome.snapshot.has_value());
}

TEST_F(LibraryDatabaseTest, walRowsAreMissingFromMainFileSoImmutableAloneWouldBeStale) {
  // Guards the fixture itself: the rows really are only in the "-wal".
  const auto file = writeLibrary(Journal::walLive);
  auto immutable = SqliteDatabase::open(FileUri::of(file) + "?immutable=1",
                                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
  ASSERT_TRUE(immutable);
  SqliteStatement count(immutable, "SELECT COUNT(*) FROM t");
  ASSERT_TRUE(count.step());
  EXPECT_EQ(count.columnInt(0), 0);
}

// --- ownership of the snapshot ----------------------------------------------

TEST_F(LibraryDatabaseTest, movedDatabaseKeepsSnapshotUntilTheLastOwnerGoes) {
  const auto file = writeLibrary(Journal::walWithoutShm);
  auto database = LibraryDatabase::open(file);
  ASSERT_TRUE(database.has_value());
  const auto found = privateSnapshot();
  ASSERT_TRUE(found.has_value());
  const auto snapshot = *found;

  LibraryDatabase moved = std::move(*database);
  database.reset();
  EXPECT_TRUE(fs::exists(snapshot));
  EXPECT_EQ(rowCount(moved), 3);

  LibraryDatabase other;
  other = std::move(moved);
  EXPECT_TRUE(fs::exists(snapshot));
  EXPECT_EQ(rowCount(other), 3);

  other = LibraryDatabase();
  EXPECT_FALSE(fs::exists(snapshot));
}

}  // namespace
}  // namespace lumenfolio
