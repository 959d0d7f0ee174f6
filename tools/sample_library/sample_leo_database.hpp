// Writes the sample library's "database/search/leo.sqlite": the lexicon of
// named things and, per asset, an item listing its lexeme ids.
#pragma once

#include "sample_library/sample_asset.hpp"
#include "sample_library/sample_database.hpp"

namespace lumenfolio::sample {

class SampleLeoDatabase {
 public:
  // Creates the schema on `database` and prepares the inserts.
  explicit SampleLeoDatabase(const SampleDatabase& database);

  void addLexicon(const SampleVocabulary& vocabulary);
  // Writes the asset's items when it is indexed at all; returns how many.
  int add(const SampleAsset& asset);

 private:
  const SampleDatabase& database_;
  SqliteStatement lexeme_;
  SqliteStatement item_;
};

}  // namespace lumenfolio::sample
