#include "metadata/search_terms.hpp"

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "metadata/distinct_ids.hpp"
#include "metadata/interned_texts.hpp"
#include "metadata/leo_index.hpp"
#include "metadata/text_cleaning.hpp"
#include "metadata/unicode_text.hpp"
#include "sqlite/sqlite_error.hpp"
#include "sqlite/sqlite_statement.hpp"

namespace lumenfolio {
namespace {

constexpr const char* kPsiStatement =
    "SELECT a.uuid_0, a.uuid_1, g.category, g.normalized_string\n"
    "FROM ga JOIN groups g ON g.rowid = ga.groupid\n"
    "JOIN assets a ON a.rowid = ga.assetid";

constexpr int kPsiCappedCategory = 1203;
constexpr int kLeoCappedCategory = 4120;
constexpr std::size_t kCappedLimit = 150;
constexpr std::size_t kCappedMinimumLength = 3;

bool isSkippedPsiCategory(int category) {
  return category == 2100 || category == 2300;
}

bool isLeoTermCategory(int category) {
  return (category >= 1000 && category <= 4999) || category == 11000 ||
         (category >= 6000 && category <= 7999);
}

bool isLongEnough(std::string_view term) {
  return UnicodeText::graphemeCount(term) >= kCappedMinimumLength;
}

// The texts of `terms` joined with line feeds.
std::string joined(std::span<const std::uint32_t> terms, const InternedTexts& texts) {
  std::size_t length = terms.size();
  for (const auto term : terms) length += texts.text(term).size();
  std::string text;
  text.reserve(length);
  for (const auto term : terms) {
    if (!text.empty()) text += '\n';
    text += texts.text(term);
  }
  return text;
}

// The terms of one asset in the order they were met, each canonical class at
// most once, with the number of capped terms taken so far.
class TermList {
 public:
  // False when a canonically equivalent term was taken before.
  bool take(std::uint32_t canonical) { return taken_.insert(canonical); }
  bool cappedFull() const { return capped_ >= kCappedLimit; }
  void countCapped() { ++capped_; }
  void append(std::uint32_t term) { terms_.push_back(term); }

  bool empty() const { return terms_.empty(); }
  std::span<const std::uint32_t> terms() const { return terms_; }
  std::size_t capped() const { return capped_; }

  std::string joined(const InternedTexts& texts) const { return lumenfolio::joined(terms_, texts); }

  void clear() {
    terms_.clear();
    taken_.clear();
    capped_ = 0;
  }

  // Back to what an earlier list of `terms` with `capped` capped ones held.
  void restore(std::span<const std::uint32_t> terms, std::size_t capped,
               const InternedTexts& texts) {
    clear();
    for (const auto term : terms) {
      taken_.insert(texts.canonical(term));
      terms_.push_back(term);
    }
    capped_ = capped;
  }

 private:
  std::vector<std::uint32_t> terms_;
  DistinctIds taken_;
  std::size_t capped_ = 0;
};

// A psi term column cleaned, interned and measured once per distinct text.
class PsiTermCache {
 public:
  struct Term {
    std::uint32_t id;
    bool longEnough;
  };

  explicit PsiTermCache(InternedTexts& texts) : texts_(texts) {}

  std::optional<Term> operator()(std::string_view raw) {
    if (const auto found = seen_.find(raw); found != seen_.end()) return found->second;
    std::optional<Term> term;
    if (const auto text = cleaned(raw)) term = Term{texts_.intern(*text), isLongEnough(*text)};
    seen_.emplace(std::string(raw), term);
    return term;
  }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };
  InternedTexts& texts_;
  std::unordered_map<std::string, std::optional<Term>, Hash, std::equal_to<>> seen_;
};

// Rows of many assets may interleave, so each asset keeps its terms until
// the end; its key text is composed once, when the result is built. The rows
// of one asset mostly come together: they gather in one list, found without
// a lookup, and move into storage shared by all assets when the next asset's
// rows begin. An asset whose rows begin again gets a list of its own for the
// rest of the read, so that no order of the rows costs more than one list
// per asset.
class PsiAssets {
 public:
  explicit PsiAssets(const InternedTexts& texts) : texts_(texts) {}

  TermList& operator[](std::pair<std::int64_t, std::int64_t> halves) {
    if (current_ < assets_.size() && assets_[current_].halves == halves) return *list_;
    store();
    const auto [found, added] = index_.try_emplace(halves, assets_.size());
    if (added) assets_.push_back({halves});
    current_ = found->second;
    auto& asset = assets_[current_];
    if (added) {
      shared_.clear();
      list_ = &shared_;
    } else {
      if (!asset.own) {
        asset.own = std::make_unique<TermList>();
        asset.own->restore(stored(asset), asset.capped, texts_);
      }
      list_ = asset.own.get();
    }
    return *list_;
  }

  // Each asset's text is made from its list or the shared storage, which go
  // at the end.
  ByAssetUuid<std::string> takeResult() {
    store();
    index_.clear();
    ByAssetUuid<std::string> terms;
    terms.reserve(assets_.size());
    for (auto& asset : assets_) {
      const auto list = asset.own ? asset.own->terms() : stored(asset);
      if (!list.empty()) {
        terms.emplace(SearchTerms::compose(asset.halves.first, asset.halves.second),
                      joined(list, texts_));
      }
      asset.own.reset();
    }
    assets_.clear();
    storage_.clear();
    return terms;
  }

 private:
  struct Asset {
    std::pair<std::int64_t, std::int64_t> halves;
    std::size_t first = 0;  // of its terms in the storage
    std::size_t count = 0;
    std::size_t capped = 0;
    std::unique_ptr<TermList> own = nullptr;  // once its rows began again
  };

  std::span<const std::uint32_t> stored(const Asset& asset) const {
    return std::span(storage_).subspan(asset.first, asset.count);
  }

  // The shared list of the current asset, into the storage.
  void store() {
    if (current_ >= assets_.size() || list_ != &shared_) return;
    auto& asset = assets_[current_];
    const auto terms = shared_.terms();
    asset.first = storage_.size();
    asset.count = terms.size();
    asset.capped = shared_.capped();
    storage_.insert(storage_.end(), terms.begin(), terms.end());
  }

  struct Hash {
    std::size_t operator()(std::pair<std::int64_t, std::int64_t> halves) const noexcept {
      const auto mixed = static_cast<std::uint64_t>(halves.first) * 0x9E3779B97F4A7C15ull ^
                         static_cast<std::uint64_t>(halves.second);
      return std::hash<std::uint64_t>{}(mixed);
    }
  };
  const InternedTexts& texts_;
  std::vector<Asset> assets_;
  std::unordered_map<std::pair<std::int64_t, std::int64_t>, std::size_t, Hash> index_;
  std::vector<std::uint32_t> storage_;
  TermList shared_;            // the terms of an asset met for the first time
  TermList* list_ = &shared_;  // the list of the asset at `current_`
  std::size_t current_ = SIZE_MAX;
};

struct Lexeme {
  std::uint32_t term;
  bool capped;
};

// Lexeme id to folded term, for the rows of term categories; the first kept
// row of an id wins.
std::unordered_map<std::uint32_t, Lexeme> leoLexemes(const SqliteDatabase& leo,
                                                     InternedTexts& texts) {
  std::unordered_map<std::uint32_t, Lexeme> lexemes;
  LeoIndex::forEachLexeme(
      leo, [&](std::uint32_t id, int category, std::optional<std::string_view> content) {
        if (!isLeoTermCategory(category)) return;
        const auto text = cleaned(content);
        if (!text) return;
        const auto folding = UnicodeText::folded(*text);
        const bool capped = category == kLeoCappedCategory;
        if (folding.empty() || (capped && !isLongEnough(folding))) return;
        if (lexemes.contains(id)) return;
        lexemes.emplace(id, Lexeme{texts.intern(folding), capped});
      });
  return lexemes;
}

}  // namespace

ByAssetUuid<std::string> SearchTerms::read(const SqliteDatabase* psi, const SqliteDatabase* leo,
                                           const PassedOver& passedOver) {
  const bool hasLeo = leo != nullptr && *leo;
  if (psi != nullptr && *psi) {
    try {
      return psiTerms(*psi);
    } catch (const SqliteError& error) {
      // A psi.sqlite that opens but whose tables can't be read is as good as
      // absent: leo.sqlite stands in for it when there is one.
      if (!hasLeo) throw;
      if (passedOver) passedOver(error);
    }
  }
  if (hasLeo) return leoTerms(*leo);
  return {};
}

ByAssetUuid<std::string> SearchTerms::psiTerms(const SqliteDatabase& psi) {
  SqliteStatement statement(psi, kPsiStatement);
  if (!statement) return {};
  InternedTexts texts;
  PsiTermCache termOf(texts);
  PsiAssets assets(texts);
  while (statement.step()) {
    const int category = statement.columnInt(2);
    if (isSkippedPsiCategory(category)) continue;
    const auto term = termOf(statement.columnText(3).value_or(std::string_view()));
    if (!term) continue;
    auto& list = assets[{statement.columnInt64(0), statement.columnInt64(1)}];
    const bool capped = category == kPsiCappedCategory;
    if (capped && (!term->longEnough || list.cappedFull())) continue;
    if (!list.take(texts.canonical(term->id))) continue;
    if (capped) list.countCapped();
    list.append(term->id);
  }
  return assets.takeResult();
}

ByAssetUuid<std::string> SearchTerms::leoTerms(const SqliteDatabase& leo) {
  InternedTexts texts;
  const auto lexemes = leoLexemes(leo, texts);
  if (lexemes.empty()) return {};
  ByAssetUuid<std::string> result;
  TermList list;
  LeoIndex::forEachItem(leo, [&](std::string identifier, std::span<const std::uint8_t> blob) {
    list.clear();
    LeoIndex::forEachLexemeId(blob, [&](std::uint32_t id) {
      const auto found = lexemes.find(id);
      if (found == lexemes.end()) return;
      const auto& lexeme = found->second;
      // Taken before the cap is looked at: past the cap, a capped lexeme still
      // hides a later lexeme of the same text (psi rows work the other way).
      if (!list.take(texts.canonical(lexeme.term))) return;
      if (lexeme.capped) {
        if (list.cappedFull()) return;
        list.countCapped();
      }
      list.append(lexeme.term);
    });
    if (!list.empty()) result.insert_or_assign(std::move(identifier), list.joined(texts));
  });
  return result;
}

std::string SearchTerms::compose(std::int64_t first, std::int64_t second) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::array<std::uint8_t, 16> bytes{};
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(first) >> (8 * i));
    bytes[8 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(second) >> (8 * i));
  }
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

}  // namespace lumenfolio
