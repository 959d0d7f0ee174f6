// One database of the sample library while it is written: a WAL-mode
// connection tuned for bulk inserts, and the closing that leaves its side
// files ("-wal", "-shm") in the state asked for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sqlite/sqlite_database.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "sample_library/sample_library.hpp"

namespace lumenfolio::sample {

class SampleDatabase {
 public:
  // Creates the file (neither it nor its side files may exist yet) without a journal, for the bulk
  // of the rows. Throws std::runtime_error when SQLite refuses.
  explicit SampleDatabase(std::filesystem::path path);

  const std::filesystem::path& path() const { return path_; }

  void exec(const std::string& sql) const;
  // Runs the statements that create the tables, for use in a writer's initializer list.
  const SampleDatabase& withSchema(const std::string& sql) const {
    exec(sql);
    return *this;
  }
  SqliteStatement prepare(const std::string& sql) const;

  // Binds the values to the statement's parameters in order, runs it and resets it.
  template <typename... Values>
  void insert(SqliteStatement& statement, const Values&... values) const {
    int index = 0;
    (bind(statement, ++index, values), ...);
    finishInsert(statement);
  }

  // From here on the database is in WAL journal mode, as the library's are,
  // and what is written stays in the "-wal" until `close`.
  void switchToWriteAheadLog() const;

  // Closes the connection; statements prepared on it must be gone by now.
  // `live` and `walWithoutShm` keep the rows of the last transaction only in
  // the "-wal"; `none` folds them into the main file and removes both side files.
  void close(SampleLibrary::SideFiles sideFiles);

 private:
  static void bind(SqliteStatement& statement, int index, int value);
  static void bind(SqliteStatement& statement, int index, std::int64_t value);
  static void bind(SqliteStatement& statement, int index, double value);
  static void bind(SqliteStatement& statement, int index, const std::string& value);
  static void bind(SqliteStatement& statement, int index, std::span<const std::uint8_t> value);
  static void bind(SqliteStatement& statement, int index, const std::vector<std::uint8_t>& value);
  template <typename T>
  static void bind(SqliteStatement& statement, int index, const std::optional<T>& value) {
    if (value) {
      bind(statement, index, *value);
    } else {
      statement.bindNull(index);
    }
  }

  void finishInsert(SqliteStatement& statement) const;
  [[noreturn]] void fail(std::string_view what) const;
  void closeConnection(bool checkpointOnClose);
  // Opens the database once more the way a reader of the library does, so that
  // the "-shm" holds what any later read-only reader leaves in it.
  void readLikeALibraryReader() const;

  std::filesystem::path path_;
  SqliteDatabase db_;
};

}  // namespace lumenfolio::sample
