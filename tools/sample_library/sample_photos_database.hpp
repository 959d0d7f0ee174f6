// Writes the sample library's "database/Photos.sqlite": assets with their
// computed, media-analysis, additional and extended attributes and their
// detected faces.
#pragma once

#include <string>
#include <vector>

#include "sample_library/sample_asset.hpp"
#include "sample_library/sample_database.hpp"
#include "sample_library/sample_library.hpp"

namespace lumenfolio::sample {

class SamplePhotosDatabase {
 public:
  // The score columns of ZCOMPUTEDASSETATTRIBUTES, as the measure catalogue names them.
  static const std::vector<std::string>& computedScoreColumns();

  // Creates the tables of the `schema`'s layout on `database` and prepares the inserts.
  SamplePhotosDatabase(const SampleDatabase& database, SampleLibrary::Schema schema);

  void add(const SampleAsset& asset);
  // Brings the entity counters of Z_PRIMARYKEY up to date, as the library's
  // store does at the end of each of its transactions.
  void recordPrimaryKeys();

 private:
  const SampleDatabase& database_;
  SampleLibrary::Schema schema_;
  SqliteStatement asset_;
  SqliteStatement computed_;
  SqliteStatement analysis_;
  SqliteStatement additional_;
  SqliteStatement face_;
  SqliteStatement extended_;
  SqliteStatement primaryKey_;
  std::int64_t assets_ = 0;
};

}  // namespace lumenfolio::sample
