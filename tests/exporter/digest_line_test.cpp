#include "exporter/digest_line.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

using lumenfolio::Bytes;
using lumenfolio::DigestLine;
using lumenfolio::SyncFile;

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

std::string number(double value) {
  std::string text;
  DigestLine::appendNumber(value, text);
  return text;
}

std::string base64(const Bytes& bytes) {
  std::string text;
  DigestLine::appendBase64(bytes, text);
  return text;
}

TEST(DigestLine, writesTheTenFieldsJoinedByBars) {
  const SyncFile::Features row{
      .assetID = "cloud-7",
      .sharpness = 0.5,
      .exposure = 0,
      .faces = 2,
      .eyesClosed = 1,
      .smiles = -1,
      .isScreenshot = true,
      .measures = {1, 2},
      .terms = "dog cat",
      .panel = R"({"iso":100})",
  };
  EXPECT_EQ(DigestLine::of(row), R"(cloud-7|0.5|0.0|2|1|-1|true|AQI=|dog cat|{"iso":100})");
}

TEST(DigestLine, anEmptyRowKeepsAllNineSeparators) {
  EXPECT_EQ(DigestLine::of(SyncFile::Features{}), "|0.0|0.0|0|0|0|false|||");
}

TEST(DigestLine, writesTheWholeRangeOfTheCounts) {
  SyncFile::Features row;
  row.faces = std::numeric_limits<std::int32_t>::max();
  row.eyesClosed = std::numeric_limits<std::int32_t>::min();
  row.smiles = -10;
  EXPECT_EQ(DigestLine::of(row), "|0.0|0.0|2147483647|-2147483648|-10|false|||");
}

TEST(DigestLine, appendingKeepsWhatTheTextHeld) {
  SyncFile::Features row;
  row.assetID = "a";
  row.measures = {1, 2, 3, 4};
  row.terms = "t";
  std::string line = "kept\n";
  DigestLine::append(row, line);
  EXPECT_EQ(line, "kept\na|0.0|0.0|0|0|0|false|AQIDBA==|t|");

  std::string text = "x";
  DigestLine::appendNumber(2.5, text);
  DigestLine::appendBase64(bytesOf("fo"), text);
  DigestLine::appendNumber(3, text);
  EXPECT_EQ(text, "x2.5Zm8=3.0");
}

TEST(DigestLine, integralDoublesKeepAFractionalZero) {
  EXPECT_EQ(number(0), "0.0");
  EXPECT_EQ(number(1), "1.0");
  EXPECT_EQ(number(-2), "-2.0");
  EXPECT_EQ(number(1234567), "1234567.0");
  EXPECT_EQ(number(-0.0), "-0.0");
  EXPECT_EQ(number(1e22), "1e+22");
}

TEST(DigestLine, doublesUseTheShortestTextThatReadsBack) {
  EXPECT_EQ(number(0.1), "0.1");
  EXPECT_EQ(number(0.75), "0.75");
  EXPECT_EQ(number(0.1 + 0.2), "0.30000000000000004");
  for (const double value :
       {0.1, 1.0 / 3.0, 6.02214076e23, 5e-324, 1e-7, 123.456, std::numeric_limits<double>::max()}) {
    const auto text = number(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
}

TEST(DigestLine, differentDoublesGiveDifferentTexts) {
  EXPECT_NE(number(0.1), number(std::nextafter(0.1, 1.0)));
}

TEST(DigestLine, base64PadsToWholeGroups) {
  EXPECT_EQ(base64({}), "");
  EXPECT_EQ(base64(bytesOf("f")), "Zg==");
  EXPECT_EQ(base64(bytesOf("fo")), "Zm8=");
  EXPECT_EQ(base64(bytesOf("foo")), "Zm9v");
  EXPECT_EQ(base64(bytesOf("foob")), "Zm9vYg==");
  EXPECT_EQ(base64(bytesOf("fooba")), "Zm9vYmE=");
  EXPECT_EQ(base64(bytesOf("foobar")), "Zm9vYmFy");
}

TEST(DigestLine, base64UsesTheStandardAlphabetForHighBytes) {
  EXPECT_EQ(base64({0xFB, 0xFF, 0xBF}), "+/+/");
  EXPECT_EQ(base64({0x00, 0x00, 0x00}), "AAAA");
}

}  // namespace
