// A refusal from SQLite with what SQLite said about it: the result code, the
// extended code and the connection's message.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "base/failure.hpp"

namespace lumenfolio {

class SqliteError : public Failure {
 public:
  SqliteError(std::string operation, std::filesystem::path path, int resultCode, int extendedCode,
              std::string message);

  // The error `db` holds right now (after the call that failed, before the
  // next one), on the file of its main database.
  static SqliteError of(sqlite3* db, std::string operation);
  // A refusal that came without a connection to ask, described from the code alone.
  static SqliteError ofCode(int resultCode, std::string operation, std::filesystem::path path);

  // The same refusal, said of another operation.
  SqliteError withOperation(std::string operation) const;

  int resultCode() const noexcept { return resultCode_; }
  int extendedCode() const noexcept { return extendedCode_; }

 private:
  int resultCode_;
  int extendedCode_;
};

}  // namespace lumenfolio
