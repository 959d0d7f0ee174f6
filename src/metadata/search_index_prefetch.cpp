#include "metadata/search_index_prefetch.hpp"

#include <exception>
#include <utility>

#include "metadata/panels.hpp"
#include "metadata/search_terms.hpp"

namespace lumenfolio {

namespace {

template <typename T, typename Read>
void fulfil(std::promise<T>& promise, Read read) {
  try {
    promise.set_value(read());
  } catch (...) {
    promise.set_exception(std::current_exception());
  }
}

template <typename T>
std::optional<T> take(std::future<T>& future) {
  if (!future.valid()) return std::nullopt;
  return future.get();
}

}  // namespace

SearchIndexPrefetch::SearchIndexPrefetch(const SqliteDatabase* psi, const SqliteDatabase* leo)
    : terms_(termsPromise_.get_future()),
      fields_(fieldsPromise_.get_future()),
      thread_([this, psi, leo] { read(psi, leo); }) {}

SearchIndexPrefetch::~SearchIndexPrefetch() {
  wait();
}

void SearchIndexPrefetch::read(const SqliteDatabase* psi, const SqliteDatabase* leo) {
  // One after the other: without psi.sqlite both read leo.sqlite, whose
  // connection is not to be used by two threads at once.
  fulfil(termsPromise_, [&] { return SearchTerms::read(psi, leo); });
  fulfil(fieldsPromise_,
         [&] { return leo != nullptr && *leo ? Panels::lexemeFields(*leo) : Records(); });
}

std::optional<SearchIndexPrefetch::Terms> SearchIndexPrefetch::takeTerms() {
  return take(terms_);
}

std::optional<SearchIndexPrefetch::Records> SearchIndexPrefetch::takeLexemeFields() {
  return take(fields_);
}

void SearchIndexPrefetch::wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace lumenfolio
