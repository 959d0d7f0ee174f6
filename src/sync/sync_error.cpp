#include <string>
#include <utility>

#include "sync/sync_file.hpp"

namespace lumenfolio {

SyncError::SyncError(Code code) : std::runtime_error(std::string(description(code))), code_(code) {}

SyncError::SyncError(Code code, Failure cause) : SyncError(code) {
  cause_ = std::move(cause);
}

std::string_view SyncError::description(Code code) noexcept {
  switch (code) {
    case Code::cannotWrite:
      return "Couldn't write the shared file.";
    case Code::noFolder:
      return "No shared folder chosen.";
  }
  return {};
}

}  // namespace lumenfolio
