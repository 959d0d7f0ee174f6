#include "metadata/asset_metadata.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "support/asset_metadata_decoding.hpp"

namespace lumenfolio {
namespace {

AssetMetadata withFlash(bool fired) {
  AssetMetadata record;
  record.flash = fired;
  return record;
}

AssetMetadata fullRecord() {
  AssetMetadata record;
  record.people = {"Anna", "Ben"};
  record.pets = {"Rex"};
  record.place = {"Paris", "France"};
  record.scenes = {"Beach"};
  record.occasion = {"Birthday"};
  record.words = {"sunset", "waves"};
  record.camera = "iPhone 15 Pro";
  record.lens = "Main Camera";
  record.iso = 100;
  record.aperture = 1.78;
  record.shutter = 1.0 / 3000.0;
  record.focalLength = 6.86;
  record.flash = true;
  return record;
}

TEST(AssetMetadataEmptiness, theEmptyRecordIsEmptyAndHasNoText) {
  const AssetMetadata record;
  EXPECT_TRUE(record.isEmpty());
  EXPECT_EQ(record.json(), "");
}

TEST(AssetMetadataEmptiness, aFileNameAloneLeavesTheRecordEmpty) {
  AssetMetadata a;
  a.filename = "IMG_0001.HEIC";
  AssetMetadata b;
  b.filename = "IMG_0002.HEIC";
  EXPECT_TRUE(a.isEmpty());
  EXPECT_EQ(a.json(), "");
  EXPECT_FALSE(a == b);
}

TEST(AssetMetadataEmptiness, aPresentFalseOrZeroIsContent) {
  EXPECT_FALSE(withFlash(false).isEmpty());
  AssetMetadata zeroIso;
  zeroIso.iso = 0;
  EXPECT_FALSE(zeroIso.isEmpty());
  AssetMetadata zeroAperture;
  zeroAperture.aperture = 0.0;
  EXPECT_FALSE(zeroAperture.isEmpty());
}

TEST(AssetMetadataJson, writesPresentFalseAndZero) {
  EXPECT_EQ(withFlash(false).json(), R"({"flash":false})");
  AssetMetadata record;
  record.iso = 0;
  EXPECT_EQ(record.json(), R"({"iso":0})");
}

TEST(AssetMetadataJson, leavesOutEmptyLists) {
  AssetMetadata record = withFlash(true);
  record.people = {};
  EXPECT_EQ(record.json(), R"({"flash":true})");
}

TEST(AssetMetadataJson, sortsMembersAndWritesFocalLengthAsFocal) {
  AssetMetadata record;
  record.focalLength = 26.0;
  record.aperture = 2.0;
  record.shutter = 0.008;
  record.iso = 100;
  EXPECT_EQ(record.json(), R"({"aperture":2.0,"focal":26.0,"iso":100,"shutter":0.008})");
}

TEST(AssetMetadataJson, writesEveryFieldInKeyOrder) {
  EXPECT_EQ(fullRecord().json(),
            R"({"aperture":1.78,"camera":"iPhone 15 Pro","flash":true,"focal":6.86,)"
            R"("iso":100,"lens":"Main Camera","occasion":["Birthday"],"people":["Anna","Ben"],)"
            R"("pets":["Rex"],"place":["Paris","France"],"scenes":["Beach"],)"
            R"("shutter":0.0003333333333333333,"words":["sunset","waves"]})");
}

TEST(AssetMetadataJson, keepsRepeatedNamesInOrder) {
  AssetMetadata record;
  record.people = {"Anna", "Anna"};
  EXPECT_EQ(record.json(), R"({"people":["Anna","Anna"]})");
}

TEST(AssetMetadataJson, writesNegativeIsoAsAPlainInteger) {
  AssetMetadata record;
  record.iso = -5;
  EXPECT_EQ(record.json(), R"({"iso":-5})");
}

TEST(AssetMetadataJson, escapesQuotesBackslashesAndControlCharacters) {
  AssetMetadata record;
  record.camera = "Say \"cheese\"\\\n\x01";
  record.lens = "Caf\u00E9 \U0001F4F7";
  EXPECT_EQ(record.json(),
            "{\"camera\":\"Say \\\"cheese\\\"\\\\\\n\\u0001\",\"lens\":\"Caf\u00E9 \U0001F4F7\"}");
}

TEST(AssetMetadataJson, numbersReadBackAsTheSameDoubles) {
  AssetMetadata record;
  record.aperture = 0.1 + 0.2;
  record.shutter = std::numeric_limits<double>::denorm_min();
  record.focalLength = 1e300;
  const auto decoded = testing::decodedAssetMetadata(record.json());
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->aperture, record.aperture);
  EXPECT_EQ(decoded->shutter, record.shutter);
  EXPECT_EQ(decoded->focalLength, record.focalLength);
}

TEST(AssetMetadataJson, aNumberJsonCannotHoldGivesNoText) {
  AssetMetadata record = withFlash(true);
  record.aperture = std::nan("");
  EXPECT_EQ(record.json(), "");
  record.aperture = std::numeric_limits<double>::infinity();
  EXPECT_EQ(record.json(), "");
}

TEST(AssetMetadataJson, invalidUtf8IsWrittenAsReplacementCharacters) {
  AssetMetadata record;
  record.camera = "Canon\xFF";
  EXPECT_EQ(record.json(), "{\"camera\":\"Canon\uFFFD\"}");
}

// The panel text as a general JSON encoder writes the same object: sorted
// keys, compact, its own escapes and number form.
std::string encodedByNlohmann(const AssetMetadata& record) {
  nlohmann::json object = nlohmann::json::object();
  const auto list = [&](const char* key, const std::vector<std::string>& texts) {
    if (!texts.empty()) object[key] = texts;
  };
  const auto value = [&](const char* key, const auto& optional) {
    if (optional) object[key] = *optional;
  };
  list("people", record.people);
  list("pets", record.pets);
  list("place", record.place);
  list("scenes", record.scenes);
  list("occasion", record.occasion);
  list("words", record.words);
  value("camera", record.camera);
  value("lens", record.lens);
  value("iso", record.iso);
  value("aperture", record.aperture);
  value("shutter", record.shutter);
  value("focal", record.focalLength);
  value("flash", record.flash);
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

class RandomRecords {
 public:
  explicit RandomRecords(std::uint32_t seed) : random_(seed) {}

  AssetMetadata next() {
    AssetMetadata record;
    for (auto* list : {&record.people, &record.pets, &record.place, &record.scenes,
                       &record.occasion, &record.words}) {
      *list = texts();
    }
    if (chance()) record.camera = text();
    if (chance()) record.lens = text();
    if (chance()) record.iso = integer();
    if (chance()) record.aperture = number();
    if (chance()) record.shutter = number();
    if (chance()) record.focalLength = number();
    if (chance()) record.flash = chance();
    return record;
  }

 private:
  bool chance() { return random_() % 2 == 0; }
  std::size_t below(std::size_t count) { return random_() % count; }

  std::string text() {
    static const std::vector<std::string> pieces = {
        "Anna",       "\"",     "\\",   "/",      "\b",          "\f",           "\n",     "\r",
        "\t",         "\x01",   "\x1f", "\x7f",   "caf\u00e9",   "e\u0301",      "\u2028", "\u00ff",
        "\U0001F600", "\uFFFD", " ",    "\u00a0", "Z\u00fcrich", "\u65e5\u672c", "x"};
    std::string text;
    const auto count = below(5);
    for (std::size_t i = 0; i < count; ++i) text += pieces[below(pieces.size())];
    return text;
  }

  std::vector<std::string> texts() {
    std::vector<std::string> list(below(4));
    for (auto& text : list) text = this->text();
    return list;
  }

  std::int64_t integer() {
    static const std::vector<std::int64_t> edges = {0, -1, 100,
                                                    std::numeric_limits<std::int64_t>::min(),
                                                    std::numeric_limits<std::int64_t>::max()};
    return chance() ? edges[below(edges.size())] : static_cast<std::int64_t>(random_());
  }

  double number() {
    static const std::vector<double> edges = {0.0,
                                              -0.0,
                                              0.008,
                                              1.78,
                                              26.0,
                                              1e-7,
                                              1e21,
                                              1e22,
                                              123456789012345680.0,
                                              5e-324,
                                              0.1 + 0.2,
                                              std::numeric_limits<double>::max(),
                                              std::numeric_limits<double>::min()};
    if (chance()) return edges[below(edges.size())];
    for (;;) {
      const auto value = std::bit_cast<double>(static_cast<std::uint64_t>(random_()));
      if (std::isfinite(value)) return value;
    }
  }

  std::mt19937_64 random_;
};

TEST(AssetMetadataJson, writesWhatAGeneralEncoderWritesForTheSameObject) {
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    RandomRecords records(seed);
    for (int i = 0; i < 3000; ++i) {
      const auto record = records.next();
      if (record.isEmpty()) continue;
      ASSERT_EQ(record.json(), encodedByNlohmann(record)) << "seed " << seed << ", record " << i;
    }
  }
}

TEST(AssetMetadataDecoding, readsKnownKeysAndIgnoresOthers) {
  const auto decoded = testing::decodedAssetMetadata(R"({"focal":26,"people":["x"],"label":1})");
  ASSERT_TRUE(decoded.has_value());
  AssetMetadata expected;
  expected.focalLength = 26.0;
  expected.people = {"x"};
  EXPECT_EQ(*decoded, expected);
  EXPECT_FALSE(decoded->filename.has_value());
}

TEST(AssetMetadataDecoding, readsBackWhatItWrote) {
  const auto decoded = testing::decodedAssetMetadata(fullRecord().json());
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, fullRecord());
}

TEST(AssetMetadataDecoding, nullsLeaveFieldsEmpty) {
  const auto decoded = testing::decodedAssetMetadata(R"({"people":null,"camera":null,"iso":null,)"
                                                     R"("flash":null,"focal":null})");
  ASSERT_TRUE(decoded.has_value());
  EXPECT_TRUE(decoded->isEmpty());
}

TEST(AssetMetadataDecoding, readsWholeNumbersWrittenWithAFractionAsIso) {
  const auto decoded = testing::decodedAssetMetadata(R"({"iso":100.0})");
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->iso, 100);
}

TEST(AssetMetadataDecoding, failsOnValuesOfTheWrongType) {
  for (const char* text :
       {R"({"camera":5})", R"({"iso":100.5})", R"({"iso":"100"})", R"({"people":["x",1]})",
        R"({"people":"x"})", R"({"flash":1})", R"({"aperture":"f/2"})", R"({"words":[null]})",
        R"({"iso":9223372036854775808})", R"({"iso":1e19})"}) {
    EXPECT_FALSE(testing::decodedAssetMetadata(text).has_value()) << text;
  }
}

TEST(AssetMetadataDecoding, failsOnTextThatIsNotAJsonObject) {
  for (const char* text : {"", "[]", "42", "{", R"({"people":["x"])", "\"text\""}) {
    EXPECT_FALSE(testing::decodedAssetMetadata(text).has_value()) << text;
  }
}

TEST(AssetMetadataEquality, comparesTextsByCanonicalEquivalence) {
  AssetMetadata precomposed;
  precomposed.place = {"Caf\u00E9"};
  precomposed.camera = "\u00C5";
  AssetMetadata decomposed;
  decomposed.place = {"Cafe\u0301"};
  decomposed.camera = "A\u030A";
  EXPECT_EQ(precomposed, decomposed);
  decomposed.place = {"Cafe"};
  EXPECT_FALSE(precomposed == decomposed);
}

TEST(AssetMetadataEquality, listsMustMatchInLengthAndOrder) {
  AssetMetadata a;
  a.people = {"Anna", "Ben"};
  AssetMetadata b;
  b.people = {"Ben", "Anna"};
  EXPECT_FALSE(a == b);
  b.people = {"Anna"};
  EXPECT_FALSE(a == b);
  b.people = {"Anna", "Ben"};
  EXPECT_EQ(a, b);
}

TEST(AssetMetadataEquality, comparesNumbersNumerically) {
  AssetMetadata a;
  a.aperture = 0.0;
  AssetMetadata b;
  b.aperture = -0.0;
  EXPECT_EQ(a, b);
  a.aperture = std::nan("");
  b.aperture = std::nan("");
  EXPECT_FALSE(a == b);
  EXPECT_FALSE(a == a);
}

TEST(AssetMetadataEquality, absentDiffersFromPresentZeroOrFalse) {
  AssetMetadata zero;
  zero.iso = 0;
  EXPECT_FALSE(zero == AssetMetadata());
  EXPECT_FALSE(withFlash(false) == AssetMetadata());
  EXPECT_FALSE(withFlash(false) == withFlash(true));
}

TEST(AssetMetadataCopies, areIndependent) {
  AssetMetadata original = fullRecord();
  AssetMetadata copy = original;
  copy.people.push_back("Chris");
  copy.camera = "Other";
  EXPECT_EQ(original, fullRecord());
  EXPECT_FALSE(copy == original);
}

}  // namespace
}  // namespace lumenfolio
