#include "metadata/panels.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "metadata/distinct_ids.hpp"
#include "metadata/interned_texts.hpp"
#include "metadata/leo_index.hpp"
#include "sqlite/sqlite_statement.hpp"
#include "metadata/text_cleaning.hpp"
#include "metadata/unicode_text.hpp"

namespace lumenfolio {
namespace {

constexpr const char* kCameraStatement =
    "SELECT a.ZUUID, e.ZCAMERAMODEL, e.ZLENSMODEL, e.ZISO, e.ZAPERTURE,\n"
    "       e.ZSHUTTERSPEED, e.ZFOCALLENGTH, e.ZFLASHFIRED\n"
    "FROM ZASSET a JOIN ZEXTENDEDATTRIBUTES e ON e.ZASSET = a.Z_PK";

// The place categories, most telling first: a category's rank is its position.
constexpr std::array<int, 16> kLeoPlaceOrder = {2220, 2010, 4020, 2060, 2030, 2050, 2070, 2120,
                                                2090, 2100, 2080, 2210, 2110, 2130, 2140, 2160};

constexpr std::array<std::string_view, 7> kExcludedWords = {"person", "persons", "people", "pet",
                                                            "pets",   "animal",  "animals"};

constexpr std::size_t kWordLimit = 60;
constexpr std::size_t kWordMinimumLength = 3;

enum class Field { none, people, pets, place, scenes, occasion, words, camera };

std::optional<std::size_t> placeRank(int category) {
  const auto found = std::find(kLeoPlaceOrder.begin(), kLeoPlaceOrder.end(), category);
  if (found == kLeoPlaceOrder.end()) return std::nullopt;
  return static_cast<std::size_t>(found - kLeoPlaceOrder.begin());
}

// The field a lexicon category fills; none for the categories panels do not use.
Field fieldOf(int category) {
  switch (category) {
    case 3000:
      return Field::people;
    case 3010:
      return Field::pets;
    case 4000:
    case 4010:
      return Field::scenes;
    case 1030:
    case 2240:
    case 4090:
      return Field::occasion;
    case 4120:
      return Field::words;
    case 6000:
      return Field::camera;
    default:
      return placeRank(category) ? Field::place : Field::none;
  }
}

// Generic words that name no one, and "my ..." labels such as "My Family".
bool namesSomeone(std::string_view text) {
  const auto lowered = UnicodeText::lower(text);
  const auto key = UnicodeText::canonicalKey(lowered);
  const bool excluded =
      std::find(kExcludedWords.begin(), kExcludedWords.end(), key) != kExcludedWords.end();
  return !excluded && !UnicodeText::hasCharacterPrefix(lowered, "my ");
}

// One lexicon entry, with everything classify asks of its text worked out
// once. A placeholder (field none) only holds its id so that later rows of
// the same id are ignored.
struct Lexeme {
  Field field = Field::none;
  std::size_t rank = 0;
  std::uint32_t text = 0;
  bool usable = false;  // passes its field's condition (people, pets, words)
};

bool isUsable(Field field, std::string_view text) {
  switch (field) {
    case Field::people:
    case Field::pets:
      return namesSomeone(text);
    case Field::words:
      return UnicodeText::graphemeCount(text) >= kWordMinimumLength;
    default:
      return true;
  }
}

using LexemeTable = std::unordered_map<std::uint32_t, Lexeme>;

LexemeTable lexemeTable(const SqliteDatabase& leo, InternedTexts& texts) {
  LexemeTable table;
  LeoIndex::forEachLexeme(
      leo, [&](std::uint32_t id, int category, std::optional<std::string_view> content) {
        if (table.contains(id)) return;
        Lexeme lexeme;
        const auto field = fieldOf(category);
        if (field != Field::none) {
          if (const auto text = cleaned(content)) {
            lexeme = Lexeme{field, placeRank(category).value_or(0), texts.intern(*text),
                            isUsable(field, *text)};
          }
        }
        table.emplace(id, lexeme);
      });
  return table;
}

// The lists of one item as text ids, kept between items so that their
// storage is reused.
class Classification {
 public:
  Classification(const LexemeTable& table, const InternedTexts& texts)
      : table_(table), texts_(texts) {}

  // Files each id under its lexeme's field, then fills `record` with the
  // lists in their final form: places by rank, no repeats, at most 60 words.
  void classify(std::span<const std::uint32_t> ids, AssetMetadata& record) {
    clear();
    for (const auto id : ids) {
      const auto found = table_.find(id);
      if (found != table_.end()) note(found->second);
    }
    std::stable_sort(places_.begin(), places_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [rank, text] : places_) place_.push_back(text);
    record.people = unique(people_);
    record.pets = unique(pets_);
    record.place = unique(place_);
    record.scenes = unique(scenes_);
    record.occasion = unique(occasion_);
    record.words = unique(words_, kWordLimit);
    if (camera_) record.camera = texts_.text(*camera_);
  }

 private:
  void note(const Lexeme& lexeme) {
    if (!lexeme.usable) return;
    switch (lexeme.field) {
      case Field::people:
        people_.push_back(lexeme.text);
        break;
      case Field::pets:
        pets_.push_back(lexeme.text);
        break;
      case Field::place:
        places_.emplace_back(lexeme.rank, lexeme.text);
        break;
      case Field::scenes:
        scenes_.push_back(lexeme.text);
        break;
      case Field::occasion:
        occasion_.push_back(lexeme.text);
        break;
      case Field::words:
        words_.push_back(lexeme.text);
        break;
      case Field::camera:
        if (!camera_) camera_ = lexeme.text;
        break;
      case Field::none:
        break;
    }
  }

  // The texts without repeats, first occurrence first, canonically
  // equivalent texts counting as one; cut to `limit` afterwards. The kept ids
  // are found first so that the list is allocated once, at its final size:
  // the result holds a hundred thousand records.
  std::vector<std::string> unique(const std::vector<std::uint32_t>& ids,
                                  std::size_t limit = SIZE_MAX) {
    kept_.clear();
    seen_.clear();
    for (const auto id : ids) {
      if (kept_.size() == limit) break;
      if (seen_.insert(texts_.canonical(id))) kept_.push_back(id);
    }
    std::vector<std::string> result;
    result.reserve(kept_.size());
    for (const auto id : kept_) result.push_back(texts_.text(id));
    return result;
  }

  void clear() {
    for (auto* list : {&people_, &pets_, &place_, &scenes_, &occasion_, &words_}) list->clear();
    places_.clear();
    camera_.reset();
  }

  const LexemeTable& table_;
  const InternedTexts& texts_;
  std::vector<std::uint32_t> people_, pets_, place_, scenes_, occasion_, words_;
  std::vector<std::pair<std::size_t, std::uint32_t>> places_;
  std::optional<std::uint32_t> camera_;
  std::vector<std::uint32_t> kept_;
  DistinctIds seen_;
};

std::optional<std::string> cleanedText(const SqliteStatement& statement, int column) {
  return cleaned(statement.columnText(column));
}

// Camera details from an extended-attributes row; a NULL column, or a text
// that cleans to nothing, leaves the field as it was.
void fillTechnique(const SqliteStatement& statement, int first, AssetMetadata& record) {
  if (auto camera = cleanedText(statement, first)) record.camera = std::move(camera);
  if (auto lens = cleanedText(statement, first + 1)) record.lens = std::move(lens);
  if (!statement.isNull(first + 2)) record.iso = statement.columnInt(first + 2);
  if (!statement.isNull(first + 3)) record.aperture = statement.columnDouble(first + 3);
  if (!statement.isNull(first + 4)) record.shutter = statement.columnDouble(first + 4);
  if (!statement.isNull(first + 5)) record.focalLength = statement.columnDouble(first + 5);
  if (!statement.isNull(first + 6)) record.flash = statement.columnInt(first + 6) != 0;
}

}  // namespace

std::unordered_map<std::string, AssetMetadata> Panels::lexemeFields(const SqliteDatabase& leo) {
  std::unordered_map<std::string, AssetMetadata> result;
  InternedTexts texts;
  const auto table = lexemeTable(leo, texts);
  Classification classification(table, texts);
  std::vector<std::uint32_t> ids;
  LeoIndex::forEachItem(leo, [&](std::string identifier, std::span<const std::uint8_t> blob) {
    ids.clear();
    LeoIndex::forEachLexemeId(blob, [&ids](std::uint32_t id) { ids.push_back(id); });
    AssetMetadata record;
    classification.classify(ids, record);
    if (!record.isEmpty()) result.insert_or_assign(std::move(identifier), std::move(record));
  });
  return result;
}

void Panels::addCameraDetails(const SqliteDatabase& library,
                              std::unordered_map<std::string, AssetMetadata>& result) {
  SqliteStatement statement(library, kCameraStatement);
  if (!statement) return;
  while (statement.step()) {
    const auto uuid = cleanedText(statement, 0);
    if (!uuid) continue;
    auto key = UnicodeText::upper(*uuid);
    // A record already in the result is not empty, and filling only adds.
    if (const auto found = result.find(key); found != result.end()) {
      fillTechnique(statement, 1, found->second);
      continue;
    }
    AssetMetadata record;
    fillTechnique(statement, 1, record);
    if (!record.isEmpty()) result.emplace(std::move(key), std::move(record));
  }
}

std::unordered_map<std::string, AssetMetadata> Panels::read(const SqliteDatabase* leo,
                                                            const SqliteDatabase* library) {
  std::unordered_map<std::string, AssetMetadata> result;
  if (leo != nullptr && *leo) result = lexemeFields(*leo);
  if (library != nullptr && *library) addCameraDetails(*library, result);
  return result;
}

}  // namespace lumenfolio
