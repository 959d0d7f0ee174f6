#include "sample_library/sample_psi_database.hpp"

namespace lumenfolio::sample {

namespace {

const char* const schema = R"(
CREATE TABLE assets (uuid_0 INTEGER NOT NULL, uuid_1 INTEGER NOT NULL, creation_date REAL);
CREATE UNIQUE INDEX assets_uuid ON assets (uuid_0, uuid_1);
CREATE TABLE groups (category INTEGER NOT NULL, normalized_string TEXT, content_string TEXT);
CREATE INDEX groups_category ON groups (category);
CREATE TABLE ga (assetid INTEGER NOT NULL, groupid INTEGER NOT NULL);
)";

}  // namespace

SamplePsiDatabase::SamplePsiDatabase(const SampleDatabase& database)
    : database_(database.withSchema(schema)),
      group_(database.prepare(
          "INSERT INTO groups (rowid, category, normalized_string, content_string) "
          "VALUES (?, ?, ?, ?)")),
      asset_(database.prepare(
          "INSERT INTO assets (rowid, uuid_0, uuid_1, creation_date) VALUES (?, ?, ?, ?)")),
      link_(database.prepare("INSERT INTO ga (assetid, groupid) VALUES (?, ?)")) {}

void SamplePsiDatabase::addGroups(const SampleVocabulary& vocabulary) {
  std::int64_t rowid = 0;
  for (const auto& group : vocabulary.groups) {
    database_.insert(group_, ++rowid, group.category, group.term, group.term);
  }
}

int SamplePsiDatabase::add(const SampleAsset& asset) {
  if (!asset.indexed) return 0;
  const std::int64_t rowid = ++assets_;
  database_.insert(asset_, rowid, asset.uuidHalf(0), asset.uuidHalf(1), asset.dateCreated);
  for (const auto group : asset.psiGroups) database_.insert(link_, rowid, group);
  return static_cast<int>(asset.psiGroups.size());
}

}  // namespace lumenfolio::sample
