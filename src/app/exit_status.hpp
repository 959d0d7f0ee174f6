// The headless command's exit statuses, one per kind of outcome a script may
// want to act on. They are documented in --help, the manual page and the README.
#pragma once

#include <string_view>

#include "exporter/export_failure.hpp"

namespace lumenfolio {

enum class ExitStatus : int {
  success = 0,            // written or unchanged; for status: all is well
  exportFailed = 1,       // any other failure
  usage = 2,              // bad command line
  noLibrary = 3,          // no Photos library found
  libraryUnreadable = 4,  // the library's databases can't be opened or read
  noFolder = 5,           // no shared folder chosen, or it isn't available
  writeFailed = 6,        // the shared file couldn't be written
};

ExitStatus exitStatusOf(ExportFailure failure);

// The name a script reads in the JSON output: "noLibrary", "writeFailed"…
std::string_view nameOf(ExportFailure failure);

inline int code(ExitStatus status) {
  return static_cast<int>(status);
}

}  // namespace lumenfolio
