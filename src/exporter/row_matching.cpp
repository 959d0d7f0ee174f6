#include "exporter/row_matching.hpp"

#include <algorithm>
#include <future>
#include <string_view>
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
  // The panel was found by the UUID upper-cased, a key other photos' UUIDs
  // may upper-case to as well.
  bool panelByUpperCase = false;
};

using SharedPanels = std::unordered_set<const std::string*>;

// Looking up only reads the tables, so the photos can be looked up on two
// threads at once: most of the time goes to waiting for memory.
void lookUp(const std::vector<std::string>& localIdentifiers,
            std::vector<std::optional<std::string>>& cloudIDs, Tables& tables, std::size_t first,
            std::size_t last, std::vector<Found>& found) {
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
        .panelByUpperCase = !(panelKey == uuid),
    };
  }
}

std::vector<Found> lookedUp(const std::vector<std::string>& localIdentifiers,
                            std::vector<std::optional<std::string>>& cloudIDs, Tables& tables) {
  // A photo past the end of either list has no cloud identifier.
  std::vector<Found> found(std::min(localIdentifiers.size(), cloudIDs.size()));
  const auto half = found.size() / 2;
  // Where no thread can be had, the first half is looked up when it is waited for.
  auto firstHalf = std::async(std::launch::async | std::launch::deferred,
                              [&] { lookUp(localIdentifiers, cloudIDs, tables, 0, half, found); });
  lookUp(localIdentifiers, cloudIDs, tables, half, found.size(), found);
  firstHalf.get();
  return found;
}

// The value found, taken out of its table; the empty value when none was found.
template <typename Table>
typename Table::mapped_type taken(Table& table, typename Table::iterator entry) {
  if (entry == table.end()) return {};
  return std::exchange(entry->second, {});
}

// The panels that photos of different UUID texts may share, as a UUID and its
// upper-case form do: those are copied into each row instead of moved. A
// library keys its assets in upper case, so this is mostly none.
SharedPanels sharedPanels(const std::vector<Found>& found, const Tables& tables) {
  SharedPanels shared;
  for (const auto& photo : found) {
    if (photo.assetID != nullptr && photo.panelByUpperCase && photo.panel != tables.panels.end()) {
      shared.insert(&photo.panel->second);
    }
  }
  return shared;
}

std::string takenPanel(const Found& photo, Tables& tables, const SharedPanels& shared) {
  if (photo.panel == tables.panels.end()) return {};
  if (shared.contains(&photo.panel->second)) return photo.panel->second;
  return std::exchange(photo.panel->second, {});
}

// Nothing in the row says anything about the photo.
bool isEmptyAsset(const SyncFile::Features& row) {
  return std::max(row.sharpness, row.exposure) <= 0 && row.faces <= 0 && !row.isScreenshot &&
         row.measures.empty() && row.terms.empty() && row.panel.empty();
}

SyncFile::Features takenRow(const Found& photo, Tables& tables, const SharedPanels& shared) {
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
      .panel = takenPanel(photo, tables, shared),
  };
}

}  // namespace

std::vector<SyncFile::Features> RowMatching::rows(const std::vector<std::string>& localIdentifiers,
                                                  std::vector<std::optional<std::string>>& cloudIDs,
                                                  Tables& tables) {
  const auto found = lookedUp(localIdentifiers, cloudIDs, tables);
  const auto shared = sharedPanels(found, tables);
  std::vector<SyncFile::Features> rows;
  rows.reserve(found.size());
  // The row that took the values of a UUID, for the next photo of that UUID.
  std::unordered_map<std::string_view, std::size_t> rowOf;
  rowOf.reserve(found.size());
  for (const auto& photo : found) {
    if (photo.assetID == nullptr) continue;
    if (const auto earlier = rowOf.find(photo.uuid); earlier != rowOf.end()) {
      auto row = rows[earlier->second];
      row.assetID = std::move(*photo.assetID);
      rows.push_back(std::move(row));
      continue;
    }
    auto row = takenRow(photo, tables, shared);
    if (isEmptyAsset(row)) continue;
    rowOf.try_emplace(photo.uuid, rows.size());
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace lumenfolio
