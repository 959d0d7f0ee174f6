// What failed, on which path, and why. The core throws this (or a kind of it)
// unchanged up to the one place that shows the user a clear text and writes
// the cause to the log.
#pragma once

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace lumenfolio {

class Failure : public std::runtime_error {
 public:
  // `operation` says what was being done ("open", "rename into place"), `path`
  // what it was done to (empty when nothing on disk was involved) and `cause`
  // the text of whoever refused: SQLite's message, the system's error text.
  Failure(std::string operation, std::filesystem::path path, std::string cause);

  // The system refused `operation` on `path` with `errorNumber` (an errno value).
  static Failure fromErrno(std::string operation, std::filesystem::path path, int errorNumber);

  // The cause `thrown` carries, for a boundary that catches whatever a job
  // threw: the text of a std::exception, otherwise the type that was thrown.
  static std::string causeOf(const std::exception_ptr& thrown);

  const std::string& operation() const noexcept { return operation_; }
  const std::filesystem::path& path() const noexcept { return path_; }
  const std::string& cause() const noexcept { return cause_; }

 private:
  std::string operation_;
  std::filesystem::path path_;
  std::string cause_;
};

}  // namespace lumenfolio
