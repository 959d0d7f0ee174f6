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
#include "metadata/text_cleaning.hpp"
#include "metadata/unicode_text.hpp"
#include "sqlite/sqlite_statement.hpp"

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

// Empty again, its lists keeping their storage for the next record.
void emptyKeepingStorage(AssetMetadata& record) {
  for (auto* list : {&record.people, &record.pets, &record.place, &record.scenes, &record.occasion,
                     &record.words}) {
    list->clear();
  }
  record.filename.reset();
  record.camera.reset();
  record.lens.reset();
  record.iso.reset();
  record.aperture.reset();
  record.shutter.reset();
  record.focalLength.reset();
  record.flash.reset();
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

  // Files each id under its lexeme's field, then fills `record` afresh with
  // the lists in their final form: places by rank, no repeats, at most 60
  // words. The record's lists keep their storage from item to item.
  void classify(std::span<const std::uint32_t> ids, AssetMetadata& record) {
    clear();
    for (const auto id : ids) {
      const auto found = table_.find(id);
      if (found != table_.end()) note(found->second);
    }
    std::stable_sort(places_.begin(), places_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [rank, text] : places_) place_.push_back(text);
    emptyKeepingStorage(record);
    fillUnique(people_, record.people);
    fillUnique(pets_, record.pets);
    fillUnique(place_, record.place);
    fillUnique(scenes_, record.scenes);
    fillUnique(occasion_, record.occasion);
    fillUnique(words_, record.words, kWordLimit);
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
  // equivalent texts counting as one; cut to `limit` afterwards.
  void fillUnique(const std::vector<std::uint32_t>& ids, std::vector<std::string>& list,
                  std::size_t limit = SIZE_MAX) {
    seen_.clear();
    for (const auto id : ids) {
      if (list.size() == limit) break;
      if (seen_.insert(texts_.canonical(id))) list.push_back(texts_.text(id));
    }
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
  DistinctIds seen_;
};

// The camera details of one asset, its texts kept once for all assets.
struct CameraDetails {
  std::optional<std::uint32_t> camera;
  std::optional<std::uint32_t> lens;
  std::optional<std::int64_t> iso;
  std::optional<double> aperture;
  std::optional<double> shutter;
  std::optional<double> focalLength;
  std::optional<bool> flash;
  // Whether a record of leo.sqlite took them in.
  bool taken = false;

  // A NULL column, or a text that cleans to nothing, leaves the field as it
  // was: the rows of one asset add up.
  void add(const SqliteStatement& statement, int first, InternedTexts& texts) {
    if (const auto text = cleaned(statement.columnText(first))) camera = texts.intern(*text);
    if (const auto text = cleaned(statement.columnText(first + 1))) lens = texts.intern(*text);
    if (!statement.isNull(first + 2)) iso = statement.columnInt(first + 2);
    if (!statement.isNull(first + 3)) aperture = statement.columnDouble(first + 3);
    if (!statement.isNull(first + 4)) shutter = statement.columnDouble(first + 4);
    if (!statement.isNull(first + 5)) focalLength = statement.columnDouble(first + 5);
    if (!statement.isNull(first + 6)) flash = statement.columnInt(first + 6) != 0;
  }

  // The library's camera model replaces a camera lexeme; absent details
  // leave the record's own.
  void fill(AssetMetadata& record, const InternedTexts& texts) const {
    if (camera) record.camera = texts.text(*camera);
    if (lens) record.lens = texts.text(*lens);
    if (iso) record.iso = iso;
    if (aperture) record.aperture = aperture;
    if (shutter) record.shutter = shutter;
    if (focalLength) record.focalLength = focalLength;
    if (flash) record.flash = flash;
  }
};

using CameraTable = ByAssetUuid<CameraDetails>;

CameraTable cameraDetails(const SqliteDatabase& library, InternedTexts& texts,
                          std::size_t expectedAssets) {
  CameraTable table;
  table.reserve(expectedAssets);
  SqliteStatement statement(library, kCameraStatement);
  if (!statement) return table;
  while (statement.step()) {
    const auto uuid = cleanedUuid(statement.columnText(0));
    if (uuid) table[UnicodeText::upperUuid(*uuid)].add(statement, 1, texts);
  }
  return table;
}

// Calls visit(key, record) for each item of leo.sqlite whose lexeme fields
// are not all empty, in table order; `record` is reused from item to item.
template <typename Visit>
void forEachLexemeRecord(const SqliteDatabase& leo, InternedTexts& texts, Visit visit) {
  const auto table = lexemeTable(leo, texts);
  Classification classification(table, texts);
  AssetMetadata record;
  std::vector<std::uint32_t> ids;
  LeoIndex::forEachItem(leo, [&](std::string identifier, std::span<const std::uint8_t> blob) {
    ids.clear();
    LeoIndex::forEachLexemeId(blob, [&ids](std::uint32_t id) { ids.push_back(id); });
    classification.classify(ids, record);
    if (!record.isEmpty()) visit(std::move(identifier), record);
  });
}

}  // namespace

// A later item of the same identifier replaces an earlier one, camera details
// and all; an asset known only to Photos.sqlite gets a record of its camera
// details. A record that has no text (nothing to tell, or a number JSON
// cannot hold) is left out, as an asset without one.
ByAssetUuid<std::string> Panels::read(const SqliteDatabase* leo, const SqliteDatabase* library,
                                      std::size_t expectedAssets) {
  InternedTexts texts;
  auto camera = library != nullptr && *library ? cameraDetails(*library, texts, expectedAssets)
                                               : CameraTable();
  ByAssetUuid<std::string> result;
  result.reserve(std::max(camera.size(), expectedAssets));
  if (leo != nullptr && *leo) {
    forEachLexemeRecord(*leo, texts, [&](const std::string& identifier, AssetMetadata& record) {
      AssetUuid key(identifier);
      if (const auto found = camera.find(key); found != camera.end()) {
        found->second.fill(record, texts);
        found->second.taken = true;
      }
      if (auto text = record.json(); !text.empty()) {
        result.insert_or_assign(std::move(key), std::move(text));
      } else {
        result.erase(key);
      }
    });
  }
  for (const auto& [key, details] : camera) {
    if (details.taken) continue;
    AssetMetadata record;
    details.fill(record, texts);
    if (auto text = record.json(); !text.empty()) result.emplace(key, std::move(text));
  }
  return result;
}

}  // namespace lumenfolio
