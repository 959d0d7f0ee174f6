// The fixed vocabularies of the sample library's two search databases: the
// psi.sqlite groups and the leo.sqlite lexicon, with the pools that assets
// draw their terms and lexemes from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumenfolio::sample {

class SampleVocabulary {
 public:
  struct Group {
    int category = 0;
    std::optional<std::string> term;
  };

  struct Lexeme {
    std::int64_t id = 0;
    int category = 0;
    std::optional<std::string> content;
  };

  // Rows of psi.sqlite's groups table; a group's rowid is its position + 1.
  std::vector<Group> groups;
  // Group rowids by what an asset draws.
  struct PsiPools {
    std::vector<std::int64_t> scenes, people, dates, media, words, collections, internal, odd;
  } psi;

  // Rows of leo.sqlite's lexicon table in pk order.
  std::vector<Lexeme> lexicon;
  // Lexeme ids by what an asset draws.
  struct LeoPools {
    std::vector<std::uint32_t> people, pets, commonPlaces, scenes, occasions, words, cameras,
        others, shadowed;
  } leo;

  // Where assets are taken: the coordinates, and the psi groups and leo place
  // lexemes that name the place.
  struct Locality {
    double latitude = 0;
    double longitude = 0;
    std::vector<std::int64_t> groups;
    std::vector<std::uint32_t> lexemes;
  };
  std::vector<Locality> localities;

  static const SampleVocabulary& shared();

 private:
  SampleVocabulary();
  std::vector<std::int64_t> addGroups(int category, const std::vector<std::string>& terms);
  std::vector<std::uint32_t> addLexemes(int category, const std::vector<std::string>& contents);
  void addLocalities();
  std::uint32_t nextLexemeId();

  std::uint32_t lastLexemeId_ = 1000;
};

}  // namespace lumenfolio::sample
