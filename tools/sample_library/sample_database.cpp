#include "sample_library/sample_database.hpp"

#include <stdexcept>
#include <utility>

#include "base/file_uri.hpp"

namespace lumenfolio::sample {

namespace {

std::string sidePath(const std::filesystem::path& path, const char* suffix) {
  return path.string() + suffix;
}

}  // namespace

SampleDatabase::SampleDatabase(std::filesystem::path path) : path_(std::move(path)) {
  // A stale "-wal" left beside a new file would be replayed into it.
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
    if (std::filesystem::exists(sidePath(path_, suffix))) {
      throw std::runtime_error(sidePath(path_, suffix) + " already exists");
    }
  }
  int rc = SQLITE_OK;
  db_ = SqliteDatabase::open(path_.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &rc);
  if (!db_) {
    throw std::runtime_error(path_.string() +
                             ": cannot create the database: " + sqlite3_errstr(rc));
  }
  // The bulk goes straight into the main file; durability does not matter
  // while a sample is made.
  exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-32768");
}

void SampleDatabase::exec(const std::string& sql) const {
  if (db_.exec(sql) != SQLITE_OK) fail(sql);
}

SqliteStatement SampleDatabase::prepare(const std::string& sql) const {
  SqliteStatement statement(db_, sql);
  if (!statement) fail(sql);
  return statement;
}

void SampleDatabase::bind(SqliteStatement& statement, int index, int value) {
  statement.bindInt(index, value);
}

void SampleDatabase::bind(SqliteStatement& statement, int index, std::int64_t value) {
  statement.bindInt64(index, value);
}

void SampleDatabase::bind(SqliteStatement& statement, int index, double value) {
  statement.bindDouble(index, value);
}

void SampleDatabase::bind(SqliteStatement& statement, int index, const std::string& value) {
  statement.bindText(index, value);
}

void SampleDatabase::bind(SqliteStatement& statement, int index,
                          std::span<const std::uint8_t> value) {
  statement.bindBlob(index, value);
}

void SampleDatabase::bind(SqliteStatement& statement, int index,
                          const std::vector<std::uint8_t>& value) {
  statement.bindBlob(index, std::span<const std::uint8_t>(value));
}

void SampleDatabase::finishInsert(SqliteStatement& statement) const {
  if (statement.stepResult() != SQLITE_DONE) fail(sqlite3_sql(statement.handle()));
  statement.reset();
}

void SampleDatabase::switchToWriteAheadLog() const {
  auto journal = prepare("PRAGMA journal_mode=WAL");
  if (!journal.step() || journal.columnText(0) != std::optional<std::string_view>("wal")) {
    fail("cannot switch to WAL journal mode");
  }
  // Checkpoints are left to `close`, so that the last rows can stay in the "-wal".
  exec("PRAGMA wal_autocheckpoint=0");
}

void SampleDatabase::fail(std::string_view what) const {
  const std::string reason = db_ ? sqlite3_errmsg(db_.handle()) : "not open";
  throw std::runtime_error(path_.string() + ": " + std::string(what) + ": " + reason);
}

void SampleDatabase::closeConnection(bool checkpointOnClose) {
  if (!checkpointOnClose &&
      sqlite3_db_config(db_.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr) != SQLITE_OK) {
    fail("cannot keep the write-ahead log on close");
  }
  const int rc = db_.close();
  if (rc != SQLITE_OK) {
    throw std::runtime_error(path_.string() + ": cannot close: " + sqlite3_errstr(rc));
  }
}

void SampleDatabase::readLikeALibraryReader() const {
  int rc = SQLITE_OK;
  const auto reader = SqliteDatabase::open(FileUri::of(path_) + "?mode=ro",
                                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, &rc);
  if (!reader || reader.exec("SELECT count(*) FROM sqlite_master") != SQLITE_OK) {
    throw std::runtime_error(path_.string() + ": cannot read back the database");
  }
}

void SampleDatabase::close(SampleLibrary::SideFiles sideFiles) {
  const auto wal = sidePath(path_, "-wal");
  const auto shm = sidePath(path_, "-shm");
  switch (sideFiles) {
    case SampleLibrary::SideFiles::none:
      closeConnection(true);
      break;
    case SampleLibrary::SideFiles::live:
      closeConnection(false);
      readLikeALibraryReader();
      break;
    case SampleLibrary::SideFiles::walWithoutShm:
      closeConnection(false);
      std::filesystem::remove(shm);
      break;
  }
  const bool wantWal = sideFiles != SampleLibrary::SideFiles::none;
  const bool wantShm = sideFiles == SampleLibrary::SideFiles::live;
  if (std::filesystem::exists(wal) != wantWal || std::filesystem::exists(shm) != wantShm) {
    throw std::runtime_error(path_.string() + ": the side files are not as intended");
  }
}

}  // namespace lumenfolio::sample
