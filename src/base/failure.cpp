#include "base/failure.hpp"

#include <system_error>
#include <utility>

namespace lumenfolio {

namespace {

// The log line: "open /some/file: unable to open database file".
std::string describe(const std::string& operation, const std::filesystem::path& path,
                     const std::string& cause) {
  auto text = operation;
  if (!path.empty()) text += " " + path.string();
  return text + ": " + cause;
}

}  // namespace

Failure::Failure(std::string operation, std::filesystem::path path, std::string cause)
    : std::runtime_error(describe(operation, path, cause)),
      operation_(std::move(operation)),
      path_(std::move(path)),
      cause_(std::move(cause)) {}

Failure Failure::fromErrno(std::string operation, std::filesystem::path path, int errorNumber) {
  return Failure(std::move(operation), std::move(path),
                 std::generic_category().message(errorNumber));
}

}  // namespace lumenfolio
