#include "metadata/search_index_prefetch.hpp"

#include <exception>
#include <utility>

#include "metadata/search_terms.hpp"

namespace lumenfolio {

SearchIndexPrefetch::SearchIndexPrefetch(const SqliteDatabase* psi, const SqliteDatabase* leo)
    : terms_(termsPromise_.get_future()), thread_([this, psi, leo] { read(psi, leo); }) {}

SearchIndexPrefetch::~SearchIndexPrefetch() {
  wait();
}

void SearchIndexPrefetch::read(const SqliteDatabase* psi, const SqliteDatabase* leo) {
  try {
    termsPromise_.set_value(SearchTerms::read(psi, leo));
  } catch (...) {
    termsPromise_.set_exception(std::current_exception());
  }
}

std::optional<SearchIndexPrefetch::Terms> SearchIndexPrefetch::takeTerms() {
  if (!terms_.valid()) return std::nullopt;
  return terms_.get();
}

void SearchIndexPrefetch::wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace lumenfolio
