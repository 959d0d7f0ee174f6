#include "exporter/row_digest.hpp"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>

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

std::vector<std::string> allLines(const std::vector<SyncFile::Features>& rows) {
  std::vector<std::string> lines;
  lines.reserve(rows.size());
  for (const auto& row : rows) lines.push_back(DigestLine::of(row));
  return lines;
}

class Feed {
 public:
  void add(std::string_view line) {
    if (!first_) digest_.update("\n");
    first_ = false;
    digest_.update(line);
  }
  std::string finalHex() { return digest_.finalHex(); }

 private:
  Sha256 digest_;
  bool first_ = true;
};

}  // namespace

std::string RowDigest::of(const std::vector<SyncFile::Features>& rows) {
  const bool plain = std::all_of(rows.begin(), rows.end(), [](const SyncFile::Features& row) {
    return isPlainIdentifier(row.assetID);
  });
  if (!plain) return SyncFile::key(allLines(rows));

  std::vector<std::size_t> order(rows.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&rows](std::size_t a, std::size_t b) {
    return beginsBefore(rows[a].assetID, rows[b].assetID);
  });
  Feed feed;
  std::string line;
  for (std::size_t first = 0; first < order.size();) {
    const auto& id = rows[order[first]].assetID;
    auto end = first + 1;
    while (end < order.size() && rows[order[end]].assetID == id) ++end;
    if (end - first == 1) {
      line.clear();
      DigestLine::append(rows[order[first]], line);
      feed.add(line);
    } else {
      // Rows that share an identifier are ordered by their whole lines.
      std::vector<std::string> group;
      for (auto i = first; i < end; ++i) group.push_back(DigestLine::of(rows[order[i]]));
      SyncFile::sortForKey(group);
      for (const auto& text : group) feed.add(text);
    }
    first = end;
  }
  return feed.finalHex();
}

}  // namespace lumenfolio
