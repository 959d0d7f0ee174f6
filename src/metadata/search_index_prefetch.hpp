// Reads the search index (the terms of psi.sqlite or leo.sqlite, then the
// lexeme fields of the panels from leo.sqlite) on a thread of its own, while
// the store's worker reads Photos.sqlite: the databases are separate
// connections, and an export needs all of them.
//
// The thread uses only the two search connections it is given, and nothing
// else touches them until it has ended: whoever holds those connections takes
// both results (or waits for the thread) before using or closing them.
#pragma once

#include <future>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

#include "metadata/asset_metadata.hpp"
#include "sqlite/sqlite_database.hpp"

namespace lumenfolio {

class SearchIndexPrefetch {
 public:
  using Terms = std::unordered_map<std::string, std::string>;
  using Records = std::unordered_map<std::string, AssetMetadata>;

  // Starts at once. Either connection may be absent (null); they must outlive this object.
  SearchIndexPrefetch(const SqliteDatabase* psi, const SqliteDatabase* leo);
  ~SearchIndexPrefetch();  // waits for the thread
  SearchIndexPrefetch(const SearchIndexPrefetch&) = delete;
  SearchIndexPrefetch& operator=(const SearchIndexPrefetch&) = delete;

  // Each result once, as SearchTerms::read and Panels::lexemeFields give it
  // (their exceptions included), waiting for it when it is not ready yet;
  // nothing when it was taken before.
  std::optional<Terms> takeTerms();
  std::optional<Records> takeLexemeFields();

  // Waits until the thread has let go of the connections.
  void wait();

 private:
  void read(const SqliteDatabase* psi, const SqliteDatabase* leo);

  std::promise<Terms> termsPromise_;
  std::promise<Records> fieldsPromise_;
  std::future<Terms> terms_;
  std::future<Records> fields_;
  std::thread thread_;
};

}  // namespace lumenfolio
