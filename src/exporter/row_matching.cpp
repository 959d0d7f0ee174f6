#include "exporter/row_matching.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <future>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "metadata/unicode_text.hpp"

namespace lumenfolio {

namespace {

constexpr std::size_t kUUIDLength = 36;

using Tables = RowMatching::Tables;

// Where one photo's values stand in the tables, found before any of them moves.
struct Found {
  std::string* assetID = nullptr;  // none: the photo has no cloud identifier
  std::string_view uuid;           // a view of the photo's local identifier
  decltype(Tables::features)::iterator features;
  decltype(Tables::measures)::iterator measures;
  decltype(Tables::terms)::iterator terms;
  decltype(Tables::panels)::iterator panel;
};

// Panels, by their place in the table.
using Panels = std::unordered_set<const std::string*>;

// Looking up only reads the tables, so the photos can be looked up on two
// threads at once: most of the time goes to waiting for memory.
void lookUp(const std::vector<std::string>& localIdentifiers,
            std::vector<std::optional<std::string>>& cloudIDs, Tables& tables, std::size_t first,
            std::size_t last, std::vector<Found>& found,
            std::vector<const std::string*>& foundByUpperCase) {
  for (auto at = first; at < last; ++at) {
    auto& cloudID = cloudIDs[at];
    if (!cloudID) continue;
    const auto& localIdentifier = localIdentifiers[at];
    // Counted as a person reads them, so neither a multi-byte character nor a
    // letter with its combining marks is cut in half.
    const auto uuidText = UnicodeText::firstCharacters(localIdentifier, kUUIDLength);
    const AssetUuid uuid(uuidText);
    // Upper-cased the way the panel table keys its rows, odd library text included.
    const auto panelKey = UnicodeText::upperUuid(uuid);
    found[at] = Found{
        .assetID = &*cloudID,
        .uuid = uuidText,
        .features = tables.features.find(uuid),
        .measures = tables.measures.find(uuid),
        .terms = tables.terms.find(uuid),
        .panel = tables.panels.find(panelKey),
    };
    if (found[at].panel != tables.panels.end() && panelKey != uuid) {
      foundByUpperCase.push_back(&found[at].panel->second);
    }
  }
}

std::vector<Found> lookedUp(const std::vector<std::string>& localIdentifiers,
                            std::vector<std::optional<std::string>>& cloudIDs, Tables& tables,
                            Panels& byUpperCase) {
  // A photo past the end of either list has no cloud identifier.
  std::vector<Found> found(std::min(localIdentifiers.size(), cloudIDs.size()));
  const auto half = found.size() / 2;
  std::vector<const std::string*> firstByUpperCase;
  std::vector<const std::string*> secondByUpperCase;
  // Where no thread can be had, the first half is looked up when it is waited for.
  auto firstHalf = std::async(std::launch::async | std::launch::deferred, [&] {
    lookUp(localIdentifiers, cloudIDs, tables, 0, half, found, firstByUpperCase);
  });
  lookUp(localIdentifiers, cloudIDs, tables, half, found.size(), found, secondByUpperCase);
  firstHalf.get();
  byUpperCase.insert(firstByUpperCase.begin(), firstByUpperCase.end());
  byUpperCase.insert(secondByUpperCase.begin(), secondByUpperCase.end());
  return found;
}

// The panels that photos of different UUID texts share, as a UUID and its
// upper-case form do: each photo gets its own copy. Only a panel found by a
// UUID upper-cased can be one, and a library keys its assets in upper case,
// so mostly there are none to look for.
Panels sharedPanels(const std::vector<Found>& found, const Tables& tables,
                    const Panels& byUpperCase) {
  Panels shared;
  if (byUpperCase.empty()) return shared;
  std::unordered_map<const std::string*, std::string_view> firstUuid;
  for (const auto& photo : found) {
    if (photo.assetID == nullptr || photo.panel == tables.panels.end()) continue;
    const auto* panel = &photo.panel->second;
    if (!byUpperCase.contains(panel)) continue;
    const auto [first, added] = firstUuid.try_emplace(panel, photo.uuid);
    if (!added && first->second != photo.uuid) shared.insert(panel);
  }
  return shared;
}

// The value found, taken out of its table; the empty value when none was found.
template <typename Table>
typename Table::mapped_type taken(Table& table, typename Table::iterator entry) {
  if (entry == table.end()) return {};
  return std::exchange(entry->second, {});
}

// Nothing in the row says anything about the photo.
bool isEmptyAsset(const SyncFile::Features& row) {
  return std::max(row.sharpness, row.exposure) <= 0 && row.faces <= 0 && !row.isScreenshot &&
         row.measures.empty() && row.terms.empty() && row.panel.empty();
}

SyncFile::Features takenRow(const Found& photo, Tables& tables) {
  const auto features =
      photo.features == tables.features.end() ? AssetFeatures{} : photo.features->second;
  return SyncFile::Features{
      .assetID = std::move(*photo.assetID),
      .sharpness = features.sharpness,
      .exposure = features.exposure,
      .faces = features.faces,
      .eyesClosed = features.eyesClosed,
      .smiles = features.smiles,
      .isScreenshot = features.isScreenshot,
      .measures = taken(tables.measures, photo.measures),
      .terms = taken(tables.terms, photo.terms),
      .panel = taken(tables.panels, photo.panel),
  };
}

// The row that took the values of each UUID, for the next photos of that
// UUID. Open addressing over two numbers a slot: a hash-table node per row
// would take several times what the rows' numbers do in a large library.
// Thirty-two bits count any listing that fits in memory.
class RowsByUuid {
 public:
  explicit RowsByUuid(const std::vector<Found>& found)
      : found_(found), slots_(std::bit_ceil(2 * found.size() + 1)) {}

  std::optional<std::uint32_t> find(std::string_view uuid) const {
    for (auto at = first(uuid);; at = next(at)) {
      const auto& slot = slots_[at];
      if (slot.photo == kNone) return std::nullopt;
      if (found_[slot.photo].uuid == uuid) return slot.row;
    }
  }

  // Only for a UUID that is not in yet.
  void add(std::uint32_t photo, std::uint32_t row) {
    auto at = first(found_[photo].uuid);
    while (slots_[at].photo != kNone) at = next(at);
    slots_[at] = Slot{photo, row};
  }

 private:
  static constexpr auto kNone = std::numeric_limits<std::uint32_t>::max();

  struct Slot {
    std::uint32_t photo = kNone;  // whose UUID this is, by its place in the listing
    std::uint32_t row = 0;
  };

  std::size_t first(std::string_view uuid) const {
    return std::hash<std::string_view>{}(uuid) & (slots_.size() - 1);
  }
  std::size_t next(std::size_t at) const { return (at + 1) & (slots_.size() - 1); }

  const std::vector<Found>& found_;
  // More than twice as many as the photos, so that a probe meets a free slot soon.
  std::vector<Slot> slots_;
};

}  // namespace

std::vector<SyncFile::Features> RowMatching::rows(const std::vector<std::string>& localIdentifiers,
                                                  std::vector<std::optional<std::string>>& cloudIDs,
                                                  Tables& tables) {
  Panels byUpperCase;
  const auto found = lookedUp(localIdentifiers, cloudIDs, tables, byUpperCase);
  const auto shared = sharedPanels(found, tables, byUpperCase);
  std::vector<SyncFile::Features> rows;
  rows.reserve(found.size());
  RowsByUuid rowOf(found);
  for (std::uint32_t at = 0; at < found.size(); ++at) {
    const auto& photo = found[at];
    if (photo.assetID == nullptr) continue;
    if (const auto earlier = rowOf.find(photo.uuid)) {
      auto row = rows[*earlier];
      row.assetID = std::move(*photo.assetID);
      rows.push_back(std::move(row));
      continue;
    }
    auto row = takenRow(photo, tables);
    // A panel that other photos share is left for the next of them.
    if (!shared.empty() && photo.panel != tables.panels.end() &&
        shared.contains(&photo.panel->second)) {
      photo.panel->second = row.panel;
    }
    if (isEmptyAsset(row)) continue;
    rowOf.add(at, static_cast<std::uint32_t>(rows.size()));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace lumenfolio
