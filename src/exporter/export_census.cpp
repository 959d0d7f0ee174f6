#include "exporter/export_census.hpp"

#include <algorithm>
#include <array>
#include <charconv>

#include "model/measure_packing.hpp"

namespace lumenfolio {

namespace {

constexpr std::array<std::string_view, 4> kNames = {"rows", "terms", "measures", "panels"};

std::int64_t termsIn(const std::string& terms) {
  if (terms.empty()) return 0;
  return 1 + std::count(terms.begin(), terms.end(), '\n');
}

// The next word of `text` from `at` on, which moves past it and one space;
// the empty word past the end.
std::string_view nextWord(std::string_view text, std::size_t& at) {
  if (at > text.size()) return {};
  const auto end = std::min(text.find(' ', at), text.size());
  const auto word = text.substr(at, end - at);
  at = end + 1;
  return word;
}

}  // namespace

ExportCensus ExportCensus::of(const std::vector<SyncFile::Features>& rows) {
  ExportCensus census;
  census.rows_ = static_cast<std::int64_t>(rows.size());
  for (const auto& row : rows) {
    census.terms_ += termsIn(row.terms);
    census.measures_ += static_cast<std::int64_t>(row.measures.size() / MeasurePacking::kEntrySize);
    census.panels_ += row.panel.empty() ? 0 : 1;
  }
  return census;
}

std::string ExportCensus::text() const {
  const std::array<std::int64_t, 4> counts = {rows_, terms_, measures_, panels_};
  std::string text;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (i > 0) text += ' ';
    text += std::string(kNames[i]) + ' ' + std::to_string(counts[i]);
  }
  return text;
}

std::optional<ExportCensus> ExportCensus::parse(std::string_view text) {
  ExportCensus census;
  const std::array<std::int64_t*, 4> counts = {&census.rows_, &census.terms_, &census.measures_,
                                               &census.panels_};
  std::size_t at = 0;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (nextWord(text, at) != kNames[i]) return std::nullopt;
    const auto number = nextWord(text, at);
    const auto* end = number.data() + number.size();
    const auto [stop, error] = std::from_chars(number.data(), end, *counts[i]);
    if (error != std::errc() || stop != end || number.empty() || *counts[i] < 0) {
      return std::nullopt;
    }
  }
  if (at <= text.size()) return std::nullopt;  // more than the four counts
  return census;
}

bool ExportCensus::holdsLessThan(const ExportCensus& earlier) const {
  return rows_ < earlier.rows_ || terms_ < earlier.terms_ || measures_ < earlier.measures_ ||
         panels_ < earlier.panels_;
}

}  // namespace lumenfolio
