#include "model/measure.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace lumenfolio {
namespace {

TEST(MeasureCatalogue, holdsThirtyEightEntriesWithDistinctAscendingCodes) {
  const auto& all = Measure::all();
  ASSERT_EQ(all.size(), 38u);
  for (std::size_t i = 1; i < all.size(); ++i) {
    EXPECT_LT(all[i - 1].code, all[i].code) << all[i].key;
  }
  EXPECT_EQ(all.front().code, 1);
  EXPECT_EQ(all.back().code, 66);
}

TEST(MeasureCatalogue, groupFollowsCodeRange) {
  for (const auto& measure : Measure::all()) {
    if (measure.code <= 26) {
      EXPECT_EQ(measure.group, Measure::Group::photo) << measure.key;
      EXPECT_EQ(measure.kind, Measure::Kind::continuous) << measure.key;
    } else if (measure.code >= 40 && measure.code <= 44) {
      EXPECT_EQ(measure.group, Measure::Group::archive) << measure.key;
      EXPECT_EQ(measure.kind, Measure::Kind::flag) << measure.key;
    } else {
      EXPECT_GE(measure.code, 60) << measure.key;
      EXPECT_LE(measure.code, 66) << measure.key;
      EXPECT_EQ(measure.group, Measure::Group::technique) << measure.key;
      EXPECT_EQ(measure.kind, Measure::Kind::flag) << measure.key;
    }
  }
}

TEST(MeasureCatalogue, onlyLowLightPrefersLowerValues) {
  for (const auto& measure : Measure::all()) {
    EXPECT_EQ(measure.higherIsBetter, measure.code != 23) << measure.key;
  }
}

TEST(MeasureCatalogue, flagsAreCaseWithoutElseAndScoresAreBareColumns) {
  const std::set<char> aliases{'a', 'c', 'm', 'x'};
  for (const auto& measure : Measure::all()) {
    const auto& expression = measure.expression;
    if (measure.kind == Measure::Kind::flag) {
      EXPECT_EQ(expression.rfind("CASE WHEN ", 0), 0u) << measure.key;
      EXPECT_TRUE(expression.ends_with(" THEN 1 END")) << measure.key;
      EXPECT_EQ(expression.find("ELSE"), std::string::npos) << measure.key;
    } else {
      ASSERT_GE(expression.size(), 3u) << measure.key;
      EXPECT_TRUE(aliases.contains(expression[0])) << measure.key;
      EXPECT_EQ(expression[1], '.') << measure.key;
      EXPECT_EQ(expression.find(' '), std::string::npos) << measure.key;
    }
  }
}

TEST(MeasureCatalogue, entriesNamedInTheBlobExamplesHaveTheirExpressions) {
  const auto byCode = [](std::uint8_t code) {
    for (const auto& measure : Measure::all()) {
      if (measure.code == code) return measure;
    }
    return Measure{};
  };
  EXPECT_EQ(byCode(23).expression, "c.ZLOWLIGHT");
  EXPECT_EQ(byCode(42).expression, "CASE WHEN a.ZFAVORITE = 1 THEN 1 END");
  EXPECT_EQ(byCode(64).expression, "CASE WHEN a.ZKIND = 1 THEN 1 END");
  EXPECT_EQ(byCode(65).expression,
            "CASE WHEN (a.ZLATITUDE IS NULL OR a.ZLATITUDE <= -180) THEN 1 END");
}

TEST(MeasureGroup, rawValuesRoundTripInDeclarationOrder) {
  const auto& groups = Measure::allGroups();
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(Measure::rawValue(groups[0]), "photo");
  EXPECT_EQ(Measure::rawValue(groups[1]), "archive");
  EXPECT_EQ(Measure::rawValue(groups[2]), "technique");
  for (const auto group : groups) {
    EXPECT_EQ(Measure::groupNamed(Measure::rawValue(group)), group);
  }
}

TEST(MeasureGroup, unknownOrDifferentlyCasedTextGivesNoGroup) {
  EXPECT_FALSE(Measure::groupNamed("Photo").has_value());
  EXPECT_FALSE(Measure::groupNamed("").has_value());
  EXPECT_FALSE(Measure::groupNamed("techniques").has_value());
}

TEST(Measure, equalityTakesEveryField) {
  const Measure base = Measure::all().front();
  Measure other = base;
  EXPECT_EQ(base, other);
  other.higherIsBetter = !base.higherIsBetter;
  EXPECT_NE(base, other);
  other = base;
  other.expression += " ";
  EXPECT_NE(base, other);
}

}  // namespace
}  // namespace lumenfolio
