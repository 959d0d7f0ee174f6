// The digest of an export's rows: the key of their digest lines, computed
// without holding all the lines at once (for a large library they would
// weigh as much as the rows themselves).
#pragma once

#include <string>
#include <vector>

#include "sync/sync_file.hpp"

namespace lumenfolio {

class RowDigest {
 public:
  // Equal to SyncFile::key of DigestLine::of of every row.
  static std::string of(const std::vector<SyncFile::Features>& rows);
};

}  // namespace lumenfolio
