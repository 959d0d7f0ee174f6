#include "sample_library/sample_leo_database.hpp"

namespace lumenfolio::sample {

namespace {

const char* const schema = R"(
CREATE TABLE lexicon (pk INTEGER PRIMARY KEY, lexeme_id INTEGER, category INTEGER, content TEXT);
CREATE INDEX lexicon_lexeme_id ON lexicon (lexeme_id);
CREATE TABLE items (identifier TEXT, lexeme_ids BLOB, type INTEGER);
CREATE INDEX items_identifier ON items (identifier);
)";

// Items of other types share identifiers with the assets' own items.
constexpr int assetItem = 1;
constexpr int otherItem = 2;

}  // namespace

SampleLeoDatabase::SampleLeoDatabase(const SampleDatabase& database)
    : database_(database.withSchema(schema)),
      lexeme_(database.prepare(
          "INSERT INTO lexicon (pk, lexeme_id, category, content) VALUES (?, ?, ?, ?)")),
      item_(database.prepare("INSERT INTO items (identifier, lexeme_ids, type) VALUES (?, ?, ?)")) {
}

void SampleLeoDatabase::addLexicon(const SampleVocabulary& vocabulary) {
  std::int64_t pk = 0;
  for (const auto& lexeme : vocabulary.lexicon) {
    database_.insert(lexeme_, ++pk, lexeme.id, lexeme.category, lexeme.content);
  }
}

int SampleLeoDatabase::add(const SampleAsset& asset) {
  if (!asset.indexed) return 0;
  database_.insert(item_, asset.leoIdentifier, asset.leoLexemeIds, assetItem);
  if (!asset.otherLeoItem) return 1;
  database_.insert(item_, asset.leoIdentifier, *asset.otherLeoItem, otherItem);
  return 2;
}

}  // namespace lumenfolio::sample
