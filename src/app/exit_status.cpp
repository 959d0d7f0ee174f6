#include "app/exit_status.hpp"

namespace lumenfolio {

ExitStatus exitStatusOf(ExportFailure failure) {
  switch (failure) {
    case ExportFailure::noFolder:
    case ExportFailure::folderUnavailable:
      return ExitStatus::noFolder;
    case ExportFailure::noLibrary:
      return ExitStatus::noLibrary;
    case ExportFailure::libraryUnreadable:
      return ExitStatus::libraryUnreadable;
    case ExportFailure::writeFailed:
      return ExitStatus::writeFailed;
    case ExportFailure::noLibraryData:
      break;
  }
  return ExitStatus::exportFailed;
}

std::string_view nameOf(ExportFailure failure) {
  switch (failure) {
    case ExportFailure::noFolder:
      return "noFolder";
    case ExportFailure::folderUnavailable:
      return "folderUnavailable";
    case ExportFailure::noLibrary:
      return "noLibrary";
    case ExportFailure::libraryUnreadable:
      return "libraryUnreadable";
    case ExportFailure::noLibraryData:
      return "noLibraryData";
    case ExportFailure::writeFailed:
      return "writeFailed";
  }
  return "exportFailed";
}

}  // namespace lumenfolio
