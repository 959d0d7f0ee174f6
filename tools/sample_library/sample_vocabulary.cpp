#include "sample_library/sample_vocabulary.hpp"

#include <map>
#include <set>
#include <utility>

namespace lumenfolio::sample {

namespace {

// Made-up words for recognised text: distinct, mostly three letters or more,
// plus the short fragments text recognition also yields.
std::vector<std::string> madeUpWords(std::size_t count, std::size_t offset) {
  static const std::vector<std::string> syllables{"ka", "lo",  "mi",  "ren", "tor", "vi",  "sa",
                                                  "nu", "pel", "dra", "fin", "go",  "bel", "ux"};
  const auto n = syllables.size();
  std::set<std::string> seen;
  std::vector<std::string> words{"to", "of", "5", "km", "OK", "No"};
  for (std::size_t i = n + offset; words.size() < count; ++i) {
    std::string word = syllables[i % n] + syllables[(i / n) % n];
    if (i >= n * n) word += syllables[(i / (n * n)) % n];
    if (i % 5 == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
    if (seen.insert(word).second) words.push_back(word);
  }
  return words;
}

}  // namespace

const SampleVocabulary& SampleVocabulary::shared() {
  static const SampleVocabulary vocabulary;
  return vocabulary;
}

std::vector<std::int64_t> SampleVocabulary::addGroups(int category,
                                                      const std::vector<std::string>& terms) {
  std::vector<std::int64_t> rowids;
  for (const auto& term : terms) {
    groups.push_back({category, term});
    rowids.push_back(static_cast<std::int64_t>(groups.size()));
  }
  return rowids;
}

std::uint32_t SampleVocabulary::nextLexemeId() {
  // Sparse ids, as a long-lived lexicon has them.
  lastLexemeId_ += 13;
  return lastLexemeId_;
}

std::vector<std::uint32_t> SampleVocabulary::addLexemes(int category,
                                                        const std::vector<std::string>& contents) {
  std::vector<std::uint32_t> ids;
  for (const auto& content : contents) {
    ids.push_back(nextLexemeId());
    lexicon.push_back({ids.back(), category, content});
  }
  return ids;
}

void SampleVocabulary::addLocalities() {
  struct Place {
    double latitude, longitude;
    std::vector<std::string> terms;
    std::vector<std::pair<int, std::string>> lexemes;
  };
  // Paris is named by two place categories, as a city and as its district.
  const std::vector<Place> places{
      {48.886,
       2.343,
       {"Paris", "France", "Europe", "Île-de-France", "Montmartre"},
       {{2220, "Eiffel Tower"},
        {2010, "Paris"},
        {2060, "Île-de-France"},
        {2030, "France"},
        {2050, "Europe"},
        {2070, "Seine"},
        {2120, "Montmartre"},
        {2090, "75018"},
        {2100, "Rue Lepic"},
        {2080, "Paris"},
        {2210, "Sacré-Cœur"},
        {2110, "Pigalle"}}},
      {52.499,
       13.418,
       {"Berlin", "Germany", "Europe", "Kreuzberg"},
       {{2220, "Brandenburg Gate"},
        {2010, "Berlin"},
        {2060, "Berlin"},
        {2030, "Germany"},
        {2050, "Europe"},
        {2070, "Spree"},
        {2120, "Kreuzberg"},
        {2090, "10999"},
        {2100, "Oranienstraße"},
        {2080, "Friedrichshain-Kreuzberg"},
        {2110, "Wrangelkiez"}}},
      {38.711,
       -9.130,
       {"Lisbon", "Portugal", "Europe", "Alfama"},
       {{2220, "Belém Tower"},
        {2010, "Lisbon"},
        {2060, "Lisbon District"},
        {2030, "Portugal"},
        {2050, "Europe"},
        {2070, "Tagus"},
        {2120, "Alfama"},
        {2090, "1100-341"},
        {2100, "Rua Augusta"},
        {2080, "Santa Maria Maior"},
        {2210, "Miradouro de Santa Luzia"}}},
      {-23.550,
       -46.633,
       {"São Paulo", "Brazil", "South America"},
       {{2010, "São Paulo"}, {2030, "Brazil"}, {2050, "South America"}, {2120, "Vila Madalena"}}},
      {47.377,
       8.541,
       {"Zürich", "Switzerland", "Europe"},
       {{2010, "Zürich"}, {2030, "Switzerland"}, {2050, "Europe"}, {2070, "Limmat"}}},
      {35.011,
       135.768,
       {"Kyoto", "Japan", "Asia"},
       {{2220, "Fushimi Inari"}, {2010, "Kyoto"}, {2030, "Japan"}, {2050, "Asia"}}},
      {40.713,
       -74.006,
       {"New York", "United States", "North America"},
       {{2010, "New York"},
        {2060, "New York"},
        {2030, "United States"},
        {2050, "North America"},
        {2120, "SoHo"}}},
  };
  // A name shared by several places is one group, or one lexeme, for all of them.
  std::map<std::string, std::int64_t> groupOf;
  std::map<std::pair<int, std::string>, std::uint32_t> lexemeOf;
  for (const auto& place : places) {
    Locality locality{place.latitude, place.longitude, {}, {}};
    for (const auto& term : place.terms) {
      if (!groupOf.contains(term)) groupOf[term] = addGroups(1100, {term}).front();
      locality.groups.push_back(groupOf[term]);
    }
    for (const auto& lexeme : place.lexemes) {
      if (!lexemeOf.contains(lexeme)) {
        lexemeOf[lexeme] = addLexemes(lexeme.first, {lexeme.second}).front();
      }
      locality.lexemes.push_back(lexemeOf[lexeme]);
    }
    localities.push_back(std::move(locality));
  }
}

SampleVocabulary::SampleVocabulary() {
  psi.scenes = addGroups(
      1500,
      {"Beach",    "beach",  "Sky",   "Outdoor", "Tree",   "Dog",      "Cat",          "Food",
       "Mountain", "Sunset", "Snow",  "Water",   "Plant",  "Building", "Car",          "Flower",
       "Document", "Café",   "cafe",  "Bicycle", "Bridge", "Forest",   "Lake",         "River",
       "Night",    "Cloud",  "Grass", "Street",  "Table",  "Child",    "Boat",         "Bird",
       "Cake",     "Coffee", "Pizza", "Train",   "Garden", "Painting", "Wedding dress"});
  psi.people = addGroups(1300, {"Anna", "Jonas", "Mia", "Léa", "Noah", "Zoë", "Mateo", "Sofia"});
  psi.dates = addGroups(
      1600, {"January", "February",  "March",   "April",    "May",      "June",   "July",
             "August",  "September", "October", "November", "December", "Spring", "Summer",
             "Autumn",  "Winter",    "Weekend", "Morning",  "Evening",  "Sunset", "2019",
             "2020",    "2021",      "2022",    "2023",     "2024"});
  psi.media = addGroups(1400, {"Photo", "Live Photo", "Portrait", "Panorama", "Selfie", "HDR",
                               "Screenshot", "Video", "Slo-mo", "Burst"});
  psi.words = addGroups(1203, madeUpWords(400, 0));
  psi.collections =
      addGroups(2100, {"Favorites", "Recents", "Imports", "Album 1", "Album 2", "Album 3"});
  psi.internal = addGroups(2300, {"moment:1", "moment:2", "moment:3", "highlight:7"});
  // Terms a reader has to clean or skip.
  groups.push_back({1500, std::nullopt});
  psi.odd.push_back(static_cast<std::int64_t>(groups.size()));
  psi.odd.push_back(addGroups(1500, {""}).front());
  psi.odd.push_back(addGroups(1500, {"  Lake  "}).front());
  psi.odd.push_back(addGroups(1203, {"Grand\nCafé "}).front());

  leo.people = addLexemes(3000, {"Anna", "Jonas", "Mia", "Léa", "Noah", "Zoë", "People",
                                 "My Family", "Person", "my friends", "  "});
  leo.pets = addLexemes(3010, {"Bella", "Luna", "Max", "Oscar", "Animals", "Pets", "People"});
  addLocalities();
  leo.commonPlaces = addLexemes(4020, {"Old Town", "Riverside"});
  for (const auto& [category, name] : std::vector<std::pair<int, std::string>>{
           {2130, "Home"}, {2140, "Work"}, {2160, "Seaside"}}) {
    leo.commonPlaces.push_back(addLexemes(category, {name}).front());
  }
  leo.scenes = addLexemes(4000, {"Beach", "Sky", "Café", "cafe", "Sunset", "Dog", "Food", "Tree",
                                 "Mountain", "Snow", "Flower", "Car"});
  for (const auto id : addLexemes(4010, {"Outdoor", "Landscape", "Indoor", "Night"})) {
    leo.scenes.push_back(id);
  }
  // The largest id an unsigned 32-bit field can hold.
  lexicon.push_back({4294967295LL, 4000, "Zebra crossing"});
  leo.scenes.push_back(4294967295U);
  for (const auto& [category, names] : std::vector<std::pair<int, std::vector<std::string>>>{
           {1030, {"Birthday", "Wedding"}},
           {2240, {"Christmas", "New Year"}},
           {4090, {"Concert", "Hiking", "Picnic"}}}) {
    for (const auto id : addLexemes(category, names)) leo.occasions.push_back(id);
  }
  leo.words = addLexemes(4120, madeUpWords(200, 37));
  leo.cameras = addLexemes(6000, {"iPhone 15 Pro", "iPhone 12", "Canon EOS R6", "FUJIFILM X-T4"});
  for (const auto& [category, name] :
       std::vector<std::pair<int, std::string>>{{1100, "Photo"},
                                                {5000, "Favourite"},
                                                {11000, "Screenshot"},
                                                {7000, "Selfie"},
                                                {9000, "internal"},
                                                {999, "Legacy"}}) {
    leo.others.push_back(addLexemes(category, {name}).front());
  }
  // An id first listed under a category nobody reads and later as a person:
  // the first row decides, so it never names anyone.
  leo.shadowed = addLexemes(12, {"Alias"});
  // Rows that a reader has to skip: no content, and an id beyond 32 bits.
  lexicon.push_back({nextLexemeId(), 4000, std::nullopt});
  lexicon.push_back({4294967296LL + 9, 4000, "Overflow"});
  lexicon.push_back({leo.shadowed.front(), 3000, "Ghost"});
}

}  // namespace lumenfolio::sample
