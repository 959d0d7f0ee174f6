// Reads the search terms (of psi.sqlite, or of leo.sqlite without it) on a
// thread of its own, while the store's worker reads Photos.sqlite: the
// databases are separate connections, and an export needs all of them.
//
// The thread uses only the two search connections it is given, and nothing
// else touches them until it has ended: whoever holds those connections takes
// the result (or waits for the thread) before using or closing them.
#pragma once

#include <future>
#include <optional>
#include <string>
#include <thread>

#include "model/asset_uuid.hpp"
#include "sqlite/sqlite_database.hpp"

namespace lumenfolio {

class SearchIndexPrefetch {
 public:
  using Terms = ByAssetUuid<std::string>;

  // Starts at once. Either connection may be absent (null); they must outlive this object.
  SearchIndexPrefetch(const SqliteDatabase* psi, const SqliteDatabase* leo);
  ~SearchIndexPrefetch();  // waits for the thread
  SearchIndexPrefetch(const SearchIndexPrefetch&) = delete;
  SearchIndexPrefetch& operator=(const SearchIndexPrefetch&) = delete;

  // The terms once, as SearchTerms::read gives them (its exceptions
  // included), waiting for them when they are not ready yet; nothing when
  // they were taken before.
  std::optional<Terms> takeTerms();

  // Waits until the thread has let go of the connections.
  void wait();

 private:
  void read(const SqliteDatabase* psi, const SqliteDatabase* leo);

  std::promise<Terms> termsPromise_;
  std::future<Terms> terms_;
  std::thread thread_;
};

}  // namespace lumenfolio
