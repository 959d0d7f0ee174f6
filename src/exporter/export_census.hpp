// How much an export's rows hold: the rows, their search terms, their measure
// values and their panels. Rows that hold less of any of them than the last
// export's may come from a library damaged in a way SQLite reads on without a
// word (a page that points at the wrong child, a UUID whose bytes flipped):
// such a run has the library checked before its file replaces the last one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sync/sync_file.hpp"

namespace lumenfolio {

class ExportCensus {
 public:
  static ExportCensus of(const std::vector<SyncFile::Features>& rows);

  // "rows R terms T measures M panels P"; parse() gives nothing for any other text.
  std::string text() const;
  static std::optional<ExportCensus> parse(std::string_view text);

  // Fewer rows, terms, measure values or panels than `earlier`.
  bool holdsLessThan(const ExportCensus& earlier) const;

  bool operator==(const ExportCensus&) const = default;

 private:
  std::int64_t rows_ = 0;
  std::int64_t terms_ = 0;     // lines of the rows' terms
  std::int64_t measures_ = 0;  // measure values
  std::int64_t panels_ = 0;    // rows with a panel
};

}  // namespace lumenfolio
