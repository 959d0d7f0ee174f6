// Why the last export ended without a shared file, beside the status text the
// user reads: the texts are fixed and shown as they are, while a script or a
// log needs to tell the kinds of failure apart.
#pragma once

namespace lumenfolio {

enum class ExportFailure {
  noFolder,           // no shared folder chosen
  folderUnavailable,  // the chosen folder is not there right now
  noLibrary,          // no Photos library package found
  libraryUnreadable,  // the library's databases can't be opened or read
  noLibraryData,      // the library opened but holds no computed features or measures
  writeFailed,        // the shared file couldn't be written
};

}  // namespace lumenfolio
