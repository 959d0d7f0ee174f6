#include "exporter/row_digest.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exporter/digest_line.hpp"
#include "sync/sha256.hpp"

namespace lumenfolio {

namespace {

constexpr char kSeparator = '|';

// ASCII is its own composed form, and an identifier without the separator
// ends where its line's first separator stands.
bool isPlainIdentifier(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80 && c != kSeparator;
  });
}

// Whether the line that begins with `a` and its separator sorts before the
// one that begins with `b` and its separator, for plain identifiers that
// differ: such lines are ordered by that beginning alone, whatever follows.
bool beginsBefore(std::string_view a, std::string_view b) {
  const auto common = std::min(a.size(), b.size());
  const int compared = std::memcmp(a.data(), b.data(), common);
  if (compared != 0) return compared < 0;
  if (a.size() < b.size()) return kSeparator < b[common];
  return a.size() > b.size() && a[common] < kSeparator;
}

// The first eight bytes of a plain identifier and its separator, as a number
// that orders as those bytes do (zeros after a shorter one). Two identifiers
// that differ first differ at or before the shorter one's separator, so
// unequal prefixes order their lines and only equal ones need the rest.
std::uint64_t prefixOf(std::string_view identifier) {
  std::uint64_t prefix = 0;
  const auto taken = std::min<std::size_t>(identifier.size(), 8);
  for (std::size_t i = 0; i < 8; ++i) {
    const auto byte = i < taken ? static_cast<unsigned char>(identifier[i])
                                : (i == taken ? static_cast<unsigned char>(kSeparator) : 0U);
    prefix = (prefix << 8) | byte;
  }
  return prefix;
}

// Sorting these keeps each comparison inside one small array, instead of
// following every row to its identifier somewhere else in memory.
struct SortKey {
  std::uint64_t prefix;
  std::size_t row;
};

// Lines are joined with line feeds and fed to the hash a large block at a
// time: a call per line would cost more than the hashing itself. While one
// block is hashed on a thread of its own the next one is filled; hashing
// takes about a third as long as writing the lines.
class Feed {
 public:
  Feed() {
    filling_.reserve(kBlock + kBlock / 4);
    hashing_.reserve(kBlock + kBlock / 4);
  }

  // The text the next line is appended to, after its line feed.
  std::string& nextLine() {
    if (filling_.size() >= kBlock) handOver();
    if (!first_) filling_ += '\n';
    first_ = false;
    return filling_;
  }

  std::string finalHex() {
    handOver();
    hashed_.get();
    return digest_.finalHex();
  }

 private:
  static constexpr std::size_t kBlock = 1024 * 1024;

  void handOver() {
    if (hashed_.valid()) hashed_.get();
    std::swap(filling_, hashing_);
    filling_.clear();
    // Where no thread can be had, the block is hashed here when it is waited for.
    hashed_ = std::async(std::launch::async | std::launch::deferred,
                         [this] { digest_.update(hashing_); });
  }

  Sha256 digest_;
  std::string filling_;
  std::string hashing_;
  bool first_ = true;
  // Last, so that it waits for the block being hashed before the rest goes.
  std::future<void> hashed_;
};

std::string keyOfAllLines(const std::vector<SyncFile::Features>& rows) {
  std::vector<std::string> lines;
  lines.reserve(rows.size());
  for (const auto& row : rows) lines.push_back(DigestLine::of(row));
  return SyncFile::key(std::move(lines));
}

// Sorted keys of plain identifiers; nothing when one is not plain.
std::optional<std::vector<SortKey>> sortedKeys(const std::vector<SyncFile::Features>& rows) {
  std::vector<SortKey> keys;
  keys.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!isPlainIdentifier(rows[i].assetID)) return std::nullopt;
    keys.push_back({prefixOf(rows[i].assetID), i});
  }
  std::sort(keys.begin(), keys.end(), [&rows](const SortKey& a, const SortKey& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return beginsBefore(rows[a.row].assetID, rows[b.row].assetID);
  });
  return keys;
}

// The rows are visited in the order of their identifiers, which is not the
// order of their memory: fetching the parts of a row some rows ahead lets
// the memory catch up while earlier lines are written.
constexpr std::size_t kRowsAhead = 8;

void prefetchBytes(const void* start, std::size_t size) {
  const auto* bytes = static_cast<const char*>(start);
  for (std::size_t offset = 0; offset < size; offset += 64) __builtin_prefetch(bytes + offset);
}

void prefetchRow(const std::vector<SyncFile::Features>& rows, const std::vector<SortKey>& keys,
                 std::size_t index) {
  if (index + kRowsAhead < keys.size()) __builtin_prefetch(&rows[keys[index + kRowsAhead].row]);
  if (index >= keys.size()) return;
  const auto& row = rows[keys[index].row];
  prefetchBytes(row.assetID.data(), row.assetID.size());
  prefetchBytes(row.measures.data(), row.measures.size());
  prefetchBytes(row.terms.data(), row.terms.size());
  prefetchBytes(row.panel.data(), row.panel.size());
}

}  // namespace

std::string RowDigest::of(const std::vector<SyncFile::Features>& rows) {
  const auto keys = sortedKeys(rows);
  if (!keys) return keyOfAllLines(rows);

  const auto sameIdentifier = [&](std::size_t a, std::size_t b) {
    return (*keys)[a].prefix == (*keys)[b].prefix &&
           rows[(*keys)[a].row].assetID == rows[(*keys)[b].row].assetID;
  };
  Feed feed;
  for (std::size_t first = 0; first < keys->size();) {
    prefetchRow(rows, *keys, first + kRowsAhead);
    auto end = first + 1;
    while (end < keys->size() && sameIdentifier(first, end)) ++end;
    if (end - first == 1) {
      DigestLine::append(rows[(*keys)[first].row], feed.nextLine());
    } else {
      // Rows that share an identifier are ordered by their whole lines.
      std::vector<std::string> group;
      for (auto i = first; i < end; ++i) group.push_back(DigestLine::of(rows[(*keys)[i].row]));
      SyncFile::sortForKey(group);
      for (const auto& text : group) feed.nextLine() += text;
    }
    first = end;
  }
  return feed.finalHex();
}

}  // namespace lumenfolio
