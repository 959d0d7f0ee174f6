// Writes the sample library's "database/search/psi.sqlite": the search
// index's assets (UUIDs as two 64-bit halves), its groups of terms and the
// links between them.
#pragma once

#include "sample_library/sample_asset.hpp"
#include "sample_library/sample_database.hpp"

namespace lumenfolio::sample {

class SamplePsiDatabase {
 public:
  // Creates the schema on `database` and prepares the inserts.
  explicit SamplePsiDatabase(const SampleDatabase& database);

  void addGroups(const SampleVocabulary& vocabulary);
  // Indexes the asset when it is indexed at all; returns the links written.
  int add(const SampleAsset& asset);

 private:
  const SampleDatabase& database_;
  SqliteStatement group_;
  SqliteStatement asset_;
  SqliteStatement link_;
  std::int64_t assets_ = 0;
};

}  // namespace lumenfolio::sample
