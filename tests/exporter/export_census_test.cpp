#include "exporter/export_census.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace lumenfolio {
namespace {

SyncFile::Features row(std::string terms, std::size_t measureValues, std::string panel) {
  SyncFile::Features features;
  features.assetID = "cloud";
  features.terms = std::move(terms);
  features.measures.assign(measureValues * 5, 0);
  features.panel = std::move(panel);
  return features;
}

TEST(ExportCensus, countsRowsTermLinesMeasureValuesAndPanels) {
  const std::vector<SyncFile::Features> rows = {row("BEACH\nSEA", 3, "{\"iso\":100}"),
                                                row("", 0, ""), row("DOG", 1, "")};
  EXPECT_EQ(ExportCensus::of(rows).text(), "rows 3 terms 3 measures 4 panels 1");
  EXPECT_EQ(ExportCensus::of({}).text(), "rows 0 terms 0 measures 0 panels 0");
}

TEST(ExportCensus, readsBackWhatItWroteAndNothingElse) {
  const auto census = ExportCensus::of({row("A\nB", 2, "{}")});
  EXPECT_EQ(ExportCensus::parse(census.text()), census);
  for (const char* text :
       {"", "rows 1", "rows 1 terms 2 measures 2 panels", "rows 1 terms 2 measures 2 panels 1 x",
        "rows 1 terms 2 measures 2 panels 1 ", "rows -1 terms 2 measures 2 panels 1",
        "rows 1 terms 2 panels 1 measures 2", "rows 1 terms 2x measures 2 panels 1",
        "rows 99999999999999999999 terms 2 measures 2 panels 1"}) {
    EXPECT_EQ(ExportCensus::parse(text), std::nullopt) << text;
  }
}

TEST(ExportCensus, holdsLessWhenAnyCountIsLowerWhateverTheOthers) {
  const auto last = ExportCensus::of({row("A\nB", 2, "{}"), row("C", 1, "{}")});
  EXPECT_FALSE(last.holdsLessThan(last));
  EXPECT_FALSE(ExportCensus::of({row("A\nB", 2, "{}"), row("C\nD", 1, "{}"), row("", 0, "")})
                   .holdsLessThan(last));
  // One row fewer, though more of everything else.
  EXPECT_TRUE(ExportCensus::of({row("A\nB\nC\nD", 9, "{}")}).holdsLessThan(last));
  EXPECT_TRUE(ExportCensus::of({row("A\nB", 2, "{}"), row("", 1, "{}")}).holdsLessThan(last));
  EXPECT_TRUE(ExportCensus::of({row("A\nB", 2, "{}"), row("C", 0, "{}")}).holdsLessThan(last));
  EXPECT_TRUE(ExportCensus::of({row("A\nB", 2, "{}"), row("C", 1, "")}).holdsLessThan(last));
}

}  // namespace
}  // namespace lumenfolio
