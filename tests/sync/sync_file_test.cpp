#include "sync/sync_file.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stop_token>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "support/temp_dir.hpp"
#include "sync/full_disk_vfs.hpp"
#include "sync/unwritable_folder.hpp"

namespace lumenfolio {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// A written file opened the way a companion app would read it.
class WrittenFile {
 public:
  explicit WrittenFile(const fs::path& path)
      : db_(SqliteDatabase::open(path.string(), SQLITE_OPEN_READONLY)) {
    if (!db_) throw std::runtime_error("cannot open " + path.string());
  }

  // The first column of every row, as text, with "NULL" for a NULL.
  std::vector<std::string> column(const std::string& sql) const {
    SqliteStatement statement(db_, sql);
    if (!statement) throw std::runtime_error("cannot prepare " + sql);
    std::vector<std::string> values;
    while (statement.step()) {
      const auto text = statement.columnText(0);
      values.emplace_back(text ? std::string(*text) : "NULL");
    }
    return values;
  }

  // Every column of the only row the query yields, as text; "NULL" for a NULL.
  std::vector<std::string> row(const std::string& sql) const {
    SqliteStatement statement(db_, sql);
    if (!statement || !statement.step()) throw std::runtime_error("no row for " + sql);
    std::vector<std::string> values;
    for (int i = 0; i < sqlite3_column_count(statement.handle()); ++i) {
      const auto text = statement.columnText(i);
      values.emplace_back(text ? std::string(*text) : "NULL");
    }
    return values;
  }

  int count(const std::string& table) const {
    return std::stoi(column("SELECT count(*) FROM " + table).at(0));
  }

  std::string meta(const std::string& key) const {
    const auto values = column("SELECT value FROM meta WHERE key = '" + key + "'");
    return values.empty() ? "absent" : values.front();
  }

  const SqliteDatabase& db() const { return db_; }

 private:
  SqliteDatabase db_;
};

SyncFile::Features feature(const std::string& assetID, double sharpness = 0.5) {
  SyncFile::Features row;
  row.assetID = assetID;
  row.sharpness = sharpness;
  row.exposure = -0.25;
  row.faces = 3;
  row.eyesClosed = 1;
  row.smiles = 2;
  row.isScreenshot = true;
  row.measures = {0x01, 0x00, 0x00, 0x80, 0x3F};
  row.terms = "beach\nsunset";
  row.panel = R"({"people":["Anna"]})";
  return row;
}

SyncFile::Payload payload(const std::string& device, int features) {
  SyncFile::Payload payload;
  payload.writtenAt = 1700000000.25;
  payload.deviceName = device;
  for (int i = 0; i < features; ++i) {
    payload.features.push_back(feature(device + "-asset-" + std::to_string(i)));
  }
  return payload;
}

class SyncFileTest : public ::testing::Test {
 protected:
  fs::path folder() const { return dir_.path(); }
  fs::path destination() const { return dir_ / "pixdeck-1a2b3c4d-features.pdsync"; }
  fs::path part() const { return dir_ / "pixdeck-1a2b3c4d-features.pdsync.part"; }

  void expectCannotWrite(const SyncFile::Payload& written, const fs::path& to) {
    try {
      SyncFile::write(written, to);
      ADD_FAILURE() << "the write to " << to << " succeeded";
    } catch (const SyncError& error) {
      EXPECT_EQ(error.code(), SyncError::Code::cannotWrite);
      EXPECT_STREQ(error.what(), "Couldn't write the shared file.");
    }
  }

  // The file under the final name is still the one written for "previous".
  void expectPreviousFileIntact() {
    WrittenFile file(destination());
    EXPECT_EQ(file.column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    EXPECT_EQ(file.meta("device"), "previous");
    EXPECT_EQ(file.count("feature"), 3);
  }

  TempDir dir_;
};

TEST_F(SyncFileTest, createsTheFiveTablesWithTheExactSchemaText) {
  SyncFile::write(SyncFile::Payload{}, destination());

  WrittenFile file(destination());
  const std::vector<std::string> expected = {
      "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT)",
      "CREATE TABLE rating(assetID TEXT PRIMARY KEY, weight REAL, isRated INT,\n"
      "                    judgements INT, updatedAt REAL)",
      "CREATE TABLE feature(assetID TEXT PRIMARY KEY, sharpness REAL, exposure REAL,\n"
      "                     faces INT, eyesClosed INT, smiles INT, screenshot INT,\n"
      "                     measures BLOB, terms TEXT, panel TEXT)",
      "CREATE TABLE print(assetID TEXT PRIMARY KEY, vector BLOB, takenAt REAL)",
      "CREATE TABLE verdict(key TEXT PRIMARY KEY, resolvedAt REAL, wasRejected INT,\n"
      "                     championID TEXT, challengerIndex INT)",
  };
  EXPECT_EQ(file.column("SELECT sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid"),
            expected);
}

TEST_F(SyncFileTest, emptyPayloadHoldsTheFourMetaRowsInOrderAndNothingElse) {
  SyncFile::Payload empty;
  empty.writtenAt = 1700000000;
  empty.deviceName = "Küche Mac";
  SyncFile::write(empty, destination());

  WrittenFile file(destination());
  EXPECT_EQ(file.column("SELECT key || '=' || value FROM meta ORDER BY rowid"),
            (std::vector<std::string>{"schema=6", "minReader=5", "writtenAt=1700000000.0",
                                      "device=Küche Mac"}));
  EXPECT_EQ(file.column("SELECT DISTINCT typeof(value) FROM meta"),
            std::vector<std::string>{"text"});
  EXPECT_EQ(file.count("rating"), 0);
  EXPECT_EQ(file.count("feature"), 0);
  EXPECT_EQ(file.count("print"), 0);
  EXPECT_EQ(file.count("verdict"), 0);
}

TEST_F(SyncFileTest, storesEveryFeatureColumnWithItsType) {
  SyncFile::Payload written;
  written.features = {feature("cloud-1", 0.75)};
  SyncFile::write(written, destination());

  WrittenFile file(destination());
  EXPECT_EQ(file.row("SELECT assetID, sharpness, exposure, faces, eyesClosed, smiles, screenshot,"
                     " hex(measures), terms, panel FROM feature"),
            (std::vector<std::string>{"cloud-1", "0.75", "-0.25", "3", "1", "2", "1", "010000803F",
                                      "beach\nsunset", R"({"people":["Anna"]})"}));
  EXPECT_EQ(file.row("SELECT typeof(assetID), typeof(sharpness), typeof(exposure), typeof(faces),"
                     " typeof(eyesClosed), typeof(smiles), typeof(screenshot), typeof(measures),"
                     " typeof(terms), typeof(panel) FROM feature"),
            (std::vector<std::string>{"text", "real", "real", "integer", "integer", "integer",
                                      "integer", "blob", "text", "text"}));
}

// The plain way to build the same file: SQLite as it comes, the same
// statements, every value copied as it is bound.
void writeWithSQLiteDefaults(const SyncFile::Payload& written, const fs::path& path) {
  auto db = SqliteDatabase::open(path.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  ASSERT_EQ(db.exec(SyncFile::kSchema), SQLITE_OK);
  ASSERT_EQ(db.exec("BEGIN"), SQLITE_OK);
  SqliteStatement meta(db, "INSERT OR REPLACE INTO meta VALUES(?,?)");
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, std::string>>{{"schema", SyncFile::kSchemaVersion},
                                                        {"minReader", SyncFile::kMinReaderVersion},
                                                        {"writtenAt", "1700000000.25"},
                                                        {"device", written.deviceName}}) {
    meta.bindText(1, key);
    meta.bindText(2, value);
    ASSERT_EQ(meta.stepResult(), SQLITE_DONE);
    meta.reset();
  }
  SqliteStatement insert(db, SyncFile::kInsertFeature);
  for (const auto& row : written.features) {
    insert.bindText(1, row.assetID);
    insert.bindDouble(2, row.sharpness);
    insert.bindDouble(3, row.exposure);
    insert.bindInt(4, row.faces);
    insert.bindInt(5, row.eyesClosed);
    insert.bindInt(6, row.smiles);
    insert.bindInt(7, row.isScreenshot ? 1 : 0);
    insert.bindBlob(8, row.measures);
    insert.bindText(9, row.terms);
    insert.bindText(10, row.panel);
    ASSERT_EQ(insert.stepResult(), SQLITE_DONE);
    insert.reset();
  }
  ASSERT_EQ(db.exec("COMMIT"), SQLITE_OK);
}

std::string contentsOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// How the writer tunes SQLite for speed must never show in the file: with
// keys in no order, more of them than SQLite's own cache holds, and a key
// given twice, the file is byte for byte the one plain SQLite builds.
TEST_F(SyncFileTest, isByteForByteTheFilePlainSQLiteBuildsFromTheSameRecords) {
  auto written = payload("device", 0);
  std::mt19937 random(5);
  for (int i = 0; i < 30000; ++i) {
    auto row = feature("asset-" + std::to_string(random()) + "-" + std::string(40, 'k'), i);
    row.terms = std::string(random() % 300, 't');
    row.measures.resize(random() % 3);
    written.features.push_back(std::move(row));
  }
  written.features.push_back(feature(written.features[10].assetID, -1));
  SyncFile::write(written, destination());
  writeWithSQLiteDefaults(written, folder() / "plain.sqlite");

  const auto file = contentsOf(destination());
  EXPECT_GT(file.size(), 2'000'000U);
  EXPECT_TRUE(file == contentsOf(folder() / "plain.sqlite"));
}

TEST_F(SyncFileTest, falseScreenshotIsStoredAsZero) {
  SyncFile::Payload written;
  written.features = {feature("cloud-1")};
  written.features[0].isScreenshot = false;
  SyncFile::write(written, destination());

  EXPECT_EQ(WrittenFile(destination()).column("SELECT screenshot FROM feature"),
            std::vector<std::string>{"0"});
}

TEST_F(SyncFileTest, emptyMeasuresTermsAndPanelStayEmptyInsteadOfNull) {
  SyncFile::Payload written;
  written.features = {feature("cloud-1")};
  written.features[0].measures.clear();
  written.features[0].terms.clear();
  written.features[0].panel.clear();
  SyncFile::write(written, destination());

  EXPECT_EQ(WrittenFile(destination())
                .row("SELECT typeof(measures), length(measures), typeof(terms), length(terms),"
                     " typeof(panel), length(panel) FROM feature"),
            (std::vector<std::string>{"blob", "0", "text", "0", "text", "0"}));
}

TEST_F(SyncFileTest, laterRecordWithTheSameKeyIsTheRowThatRemains) {
  SyncFile::Payload written;
  written.features = {feature("same", 0.1), feature("other", 0.2), feature("same", 0.9)};
  written.ratings = {{"r", 1.0, true, 4, 10.0}, {"r", 2.0, false, 5, 20.0}};
  SyncFile::write(written, destination());

  WrittenFile file(destination());
  EXPECT_EQ(file.column("SELECT assetID || ':' || sharpness FROM feature ORDER BY assetID"),
            (std::vector<std::string>{"other:0.2", "same:0.9"}));
  EXPECT_EQ(file.row("SELECT assetID, weight, isRated, judgements, updatedAt FROM rating"),
            (std::vector<std::string>{"r", "2.0", "0", "5", "20.0"}));
}

TEST_F(SyncFileTest, storesRatingsAndPrintsAsGiven) {
  SyncFile::Payload written;
  written.ratings = {{"rated", 0.5, true, -7, 1700000000.5}};
  written.prints = {{"print-1", {0xDE, 0xAD, 0x00, 0xEF}, 1699999999.75}, {"print-2", {}, 0}};
  SyncFile::write(written, destination());

  WrittenFile file(destination());
  EXPECT_EQ(file.row("SELECT assetID, weight, isRated, judgements, updatedAt FROM rating"),
            (std::vector<std::string>{"rated", "0.5", "1", "-7", "1700000000.5"}));
  EXPECT_EQ(file.column("SELECT assetID || ':' || hex(vector) || ':' || typeof(vector) || ':' ||"
                        " takenAt FROM print ORDER BY assetID"),
            (std::vector<std::string>{"print-1:DEAD00EF:blob:1699999999.75", "print-2::blob:0.0"}));
}

TEST_F(SyncFileTest, verdictColumnsAreNullOnlyWhereTheVerdictLacksThem) {
  SyncFile::Payload written;
  written.verdicts = {{"bare", std::nullopt, false, std::nullopt, 0},
                      {"full", 1700000000.5, true, std::string("champion"), 3},
                      {"emptyChampion", 0.0, false, std::string(), -1}};
  SyncFile::write(written, destination());

  WrittenFile file(destination());
  const std::string columns =
      "SELECT key, resolvedAt, wasRejected, championID, challengerIndex FROM verdict WHERE key = ";
  EXPECT_EQ(file.row(columns + "'bare'"),
            (std::vector<std::string>{"bare", "NULL", "0", "NULL", "0"}));
  EXPECT_EQ(file.row(columns + "'full'"),
            (std::vector<std::string>{"full", "1700000000.5", "1", "champion", "3"}));
  EXPECT_EQ(file.row("SELECT typeof(resolvedAt), typeof(championID), challengerIndex FROM verdict"
                     " WHERE key = 'emptyChampion'"),
            (std::vector<std::string>{"real", "text", "-1"}));
}

struct WrittenAtCase {
  double seconds;
  const char* text;
};

class WrittenAtText : public SyncFileTest, public ::testing::WithParamInterface<WrittenAtCase> {};

TEST_P(WrittenAtText, isTheShortestPositionalDecimalWithAPoint) {
  SyncFile::Payload written;
  written.writtenAt = GetParam().seconds;
  SyncFile::write(written, destination());

  const auto text = WrittenFile(destination()).meta("writtenAt");
  EXPECT_EQ(text, GetParam().text);
  EXPECT_EQ(std::stod(text), GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(SyncFile, WrittenAtText,
                         ::testing::Values(WrittenAtCase{1700000000.0, "1700000000.0"},
                                           WrittenAtCase{0.0, "0.0"},
                                           WrittenAtCase{1700000000.5, "1700000000.5"},
                                           WrittenAtCase{1700000000.123, "1700000000.123"},
                                           WrittenAtCase{1733412345.6789012, "1733412345.6789012"},
                                           WrittenAtCase{0.1 + 0.2, "0.30000000000000004"},
                                           WrittenAtCase{1e-7, "0.0000001"},
                                           WrittenAtCase{1e21, "1000000000000000000000.0"},
                                           WrittenAtCase{-86400.0, "-86400.0"},
                                           WrittenAtCase{-0.5, "-0.5"}));

TEST_F(SyncFileTest, writtenAtReadsBackExactlyForAnyMomentOfThisCentury) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> moments(0, 4102444800.0);
  for (int i = 0; i < 50; ++i) {
    SyncFile::Payload written;
    written.writtenAt = moments(random);
    SyncFile::write(written, destination());

    const auto text = WrittenFile(destination()).meta("writtenAt");
    EXPECT_EQ(std::stod(text), written.writtenAt) << text;
    EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
    // Shortest: one digit fewer no longer reads back as the same double.
    const auto fraction = text.substr(text.find('.') + 1);
    if (fraction.size() > 1) {
      EXPECT_NE(std::stod(text.substr(0, text.size() - 1)), written.writtenAt) << text;
    }
  }
}

TEST_F(SyncFileTest, writingOverAnExistingFileReplacesItWhole) {
  SyncFile::write(payload("first", 5), destination());
  SyncFile::write(payload("second", 2), destination());

  WrittenFile file(destination());
  EXPECT_EQ(file.meta("device"), "second");
  EXPECT_EQ(file.column("SELECT assetID FROM feature ORDER BY assetID"),
            (std::vector<std::string>{"second-asset-0", "second-asset-1"}));
  EXPECT_FALSE(fs::exists(part()));
}

TEST_F(SyncFileTest, staleTemporaryDatabaseIsReplacedNotAppendedTo) {
  SyncFile::write(payload("stale", 4), part());
  ASSERT_TRUE(fs::exists(part()));

  SyncFile::write(payload("fresh", 1), destination());

  WrittenFile file(destination());
  EXPECT_EQ(file.meta("device"), "fresh");
  EXPECT_EQ(file.column("SELECT assetID FROM feature"), std::vector<std::string>{"fresh-asset-0"});
  EXPECT_FALSE(fs::exists(part()));
}

TEST_F(SyncFileTest, staleTemporaryFileOfGarbageIsReplaced) {
  std::ofstream(part()) << "not a database, just leftovers of an interrupted write";

  SyncFile::write(payload("fresh", 1), destination());

  EXPECT_EQ(WrittenFile(destination()).meta("device"), "fresh");
  EXPECT_FALSE(fs::exists(part()));
}

TEST_F(SyncFileTest, missingFolderFailsWithCannotWriteAndIsNotCreated) {
  const auto missing = folder() / "missing";

  expectCannotWrite(payload("new", 1), missing / "pixdeck-1a2b3c4d-features.pdsync");

  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(SyncFileTest, unwritableFolderFailsWithCannotWriteAndKeepsThePreviousFile) {
  SyncFile::write(payload("previous", 3), destination());
  testing::UnwritableFolder unwritable(folder());
  if (!unwritable.active()) {
    GTEST_SKIP() << "cannot make a folder unwritable for root here: " << unwritable.failure();
  }

  expectCannotWrite(payload("new", 1), destination());

  expectPreviousFileIntact();
  EXPECT_FALSE(fs::exists(part()));
}

class FullDisk : public SyncFileTest, public ::testing::WithParamInterface<sqlite3_int64> {};

TEST_P(FullDisk, failsWithCannotWriteAndKeepsThePreviousFileReadable) {
  SyncFile::write(payload("previous", 3), destination());
  // About 3 MB, so a generous budget runs out while rows are still going in.
  auto large = payload("large", 5000);
  for (auto& row : large.features) row.terms.assign(600, 't');
  {
    testing::FullDiskVfs fullDisk(GetParam());
    expectCannotWrite(large, destination());
    EXPECT_GT(fullDisk.refusedWrites(), 0);
  }

  expectPreviousFileIntact();
  EXPECT_FALSE(fs::exists(part()));
}

// Nothing written at all; the schema's first pages; part of the rows; most of them.
INSTANTIATE_TEST_SUITE_P(SyncFile, FullDisk, ::testing::Values(0, 6000, 40000, 1 << 20, 3 << 20));

TEST_F(SyncFileTest, fullDiskWithoutAPreviousFileLeavesNothingBehind) {
  {
    testing::FullDiskVfs fullDisk(10000);
    expectCannotWrite(payload("large", 2000), destination());
  }

  EXPECT_FALSE(fs::exists(destination()));
  EXPECT_FALSE(fs::exists(part()));
}

TEST_F(SyncFileTest, failedMoveSaysWhereAndWhyAndLeavesNothingBehind) {
  // A folder with content under the final name cannot be replaced by a file.
  fs::create_directory(destination());
  std::ofstream(destination() / "keep") << "kept";

  try {
    SyncFile::write(payload("new", 1), destination());
    ADD_FAILURE() << "the move over a folder succeeded";
  } catch (const SyncError& error) {
    ADD_FAILURE() << "expected the system's error, got " << error.what();
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), EISDIR);
    EXPECT_EQ(std::string(error.what()), "Couldn't put the shared file in place as " +
                                             destination().string() + ": " + std::strerror(EISDIR));
  }

  EXPECT_TRUE(fs::is_directory(destination()));
  EXPECT_TRUE(fs::exists(destination() / "keep"));
  EXPECT_FALSE(fs::exists(part()));
}

TEST_F(SyncFileTest, returnsTheIdentityOfTheFileNowInPlace) {
  const auto identity = SyncFile::write(payload("new", 2), destination());

  EXPECT_EQ(SharedFileIdentity::of(destination()), identity);
  EXPECT_EQ(identity.file, destination());
  EXPECT_EQ(identity.size, fs::file_size(destination()));
}

TEST_F(SyncFileTest, aStopRequestedBeforeTheMoveKeepsThePreviousFileAndLeavesNoPart) {
  SyncFile::write(payload("previous", 3), destination());
  std::stop_source stop;
  stop.request_stop();

  try {
    SyncFile::write(payload("large", 20000), destination(), stop.get_token());
    ADD_FAILURE() << "a stopped write finished";
  } catch (const SyncError&) {
    // Stopped while SQLite was filling the file.
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::operation_canceled);
  }

  expectPreviousFileIntact();
  EXPECT_FALSE(fs::exists(part()));
}

// The default VFS with one change: just before SQLite looks up the path of a
// database it opens, a link to `target` takes the place of whatever is there,
// as someone with write access to the shared folder could do between the
// removal of a stale ".part" and its opening.
class LinkPlantingVfs {
 public:
  LinkPlantingVfs(fs::path linkPath, fs::path target) : vfs_(*sqlite3_vfs_find(nullptr)) {
    planted() = {std::move(linkPath), std::move(target), vfs_.xFullPathname};
    vfs_.zName = "lumenfolio-link-planting";
    vfs_.xFullPathname = [](sqlite3_vfs* vfs, const char* name, int size, char* out) {
      if (fs::path(name) == planted().link) {
        std::error_code ignored;
        fs::remove(planted().link, ignored);
        fs::create_symlink(planted().target, planted().link);
      }
      return planted().fullPathname(vfs, name, size, out);
    };
    sqlite3_vfs_register(&vfs_, 1);
  }
  ~LinkPlantingVfs() { sqlite3_vfs_unregister(&vfs_); }
  LinkPlantingVfs(const LinkPlantingVfs&) = delete;
  LinkPlantingVfs& operator=(const LinkPlantingVfs&) = delete;

 private:
  struct Planted {
    fs::path link;
    fs::path target;
    decltype(sqlite3_vfs::xFullPathname) fullPathname = nullptr;
  };
  static Planted& planted() {
    static Planted instance;
    return instance;
  }

  sqlite3_vfs vfs_;
};

TEST_F(SyncFileTest, aLinkPlantedAtThePartNameIsNeverWrittenThrough) {
  SyncFile::write(payload("previous", 3), destination());
  const auto victim = folder() / "someone else's file";
  std::ofstream(victim) << "not the exporter's to touch";
  {
    const LinkPlantingVfs planting(part(), victim);
    expectCannotWrite(payload("new", 1), destination());
  }

  std::ifstream read(victim);
  const std::string content((std::istreambuf_iterator<char>(read)), {});
  EXPECT_EQ(content, "not the exporter's to touch");
  expectPreviousFileIntact();
}

class UnsafeDestination : public SyncFileTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnsafeDestination, isRefusedAndNothingIsWrittenAnywhere) {
  const auto inside = folder() / "chosen";
  fs::create_directories(inside / "sub");
  const auto before = std::distance(fs::recursive_directory_iterator(folder()), {});

  expectCannotWrite(payload("new", 1), inside / "sub" / fs::path(GetParam()));

  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(folder()), {}), before);
  EXPECT_FALSE(fs::exists(folder() / "escape.pdsync"));
  EXPECT_FALSE(fs::exists(folder() / "escape.pdsync.part"));
}

INSTANTIATE_TEST_SUITE_P(SyncFile, UnsafeDestination,
                         ::testing::Values(std::string(""), std::string("."), std::string(".."),
                                           std::string("pixdeck-a\0b-features.pdsync", 27),
                                           std::string("../../escape.pdsync"),
                                           std::string("x/../../../escape.pdsync")));

}  // namespace
}  // namespace lumenfolio
