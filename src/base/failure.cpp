#include "base/failure.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <system_error>
#include <typeinfo>
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

// The name of the type being thrown, as the source spells it.
std::string currentExceptionType() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (type == nullptr) return "nothing";
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> readable(
      abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), &std::free);
  return status == 0 && readable ? readable.get() : type->name();
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

std::string Failure::causeOf(const std::exception_ptr& thrown) {
  if (!thrown) return "nothing was thrown";
  try {
    std::rethrow_exception(thrown);
  } catch (const std::exception& error) {
    return error.what();
  } catch (...) {
    return "an exception of type " + currentExceptionType();
  }
}

}  // namespace lumenfolio
