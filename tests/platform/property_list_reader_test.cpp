#include "platform/linux/property_list_reader.hpp"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "base/failure.hpp"
#include "support/temp_dir.hpp"

namespace lumenfolio {
namespace {

// 2001-01-01 00:00:00 UTC, where property-list dates start, in Unix seconds.
constexpr double k2001 = 978307200;

class PropertyListReaderTest : public ::testing::Test {
 protected:
  ~PropertyListReaderTest() override { plist_free(root); }

  // A dictionary holding one value of every kind a property list has.
  void buildEverything() {
    root = plist_new_dict();
    const char bytes[] = {0, 1, 2, static_cast<char>(0xff)};
    plist_dict_set_item(root, "sync.folderBookmark", plist_new_data(bytes, sizeof bytes));
    plist_dict_set_item(root, "sync.deviceID", plist_new_string("1a2b3c4d"));
    plist_dict_set_item(root, "unicode", plist_new_string("Fotos \u00e9t\u00e9 \U0001F600"));
    plist_dict_set_item(root, "exporter.lastExport", plist_new_date(100, 500000));
    plist_dict_set_item(root, "exporter.lastCount", plist_new_uint(1234));
    plist_dict_set_item(root, "negative", plist_new_uint(static_cast<std::uint64_t>(-42)));
    plist_dict_set_item(root, "ratio", plist_new_real(0.25));
    plist_dict_set_item(root, "yes", plist_new_bool(1));
    plist_dict_set_item(root, "no", plist_new_bool(0));
    plist_dict_set_item(root, "uid", plist_new_uid(7));
    plist_t array = plist_new_array();
    plist_array_append_item(array, plist_new_string("first element"));
    plist_array_append_item(array, plist_new_uint(99));
    plist_dict_set_item(root, "list", array);
    plist_t inner = plist_new_dict();
    plist_dict_set_item(inner, "innerKey", plist_new_string("inner value"));
    plist_dict_set_item(root, "nested", inner);
  }

  // What read() said of `file` as it failed; empty when it did not fail.
  static std::string failureOf(const std::filesystem::path& file) {
    try {
      PropertyListReader::read(file);
    } catch (const Failure& failure) {
      return failure.what();
    }
    return {};
  }

  std::filesystem::path writeBinary(plist_t node) {
    return writeWith(node, "binary.plist", plist_to_bin, plist_to_bin_free);
  }
  std::filesystem::path writeXML(plist_t node) {
    return writeWith(node, "xml.plist", plist_to_xml, plist_to_xml_free);
  }
  std::filesystem::path writeWith(plist_t node, const std::string& name,
                                  void (*serialize)(plist_t, char**, std::uint32_t*),
                                  void (*release)(char*)) {
    char* data = nullptr;
    std::uint32_t length = 0;
    serialize(node, &data, &length);
    const auto file = write(name, std::string(data, length));
    release(data);
    return file;
  }
  std::filesystem::path write(const std::string& name, const std::string& contents) {
    std::ofstream(temp / name, std::ios::binary) << contents;
    return temp / name;
  }

  // XML has no UID kind: it writes one as a dictionary, and reads it back as one.
  void expectEverything(const std::map<std::string, PreferenceValue>& values, bool binary) {
    EXPECT_EQ(values.size(), 12u);
    EXPECT_EQ(values.at("sync.folderBookmark"), PreferenceValue(Bytes{0, 1, 2, 0xff}));
    EXPECT_EQ(values.at("sync.deviceID"), PreferenceValue(std::string("1a2b3c4d")));
    EXPECT_EQ(values.at("unicode"), PreferenceValue(std::string("Fotos \u00e9t\u00e9 \U0001F600")));
    const auto* date = std::get_if<PreferenceDate>(&values.at("exporter.lastExport"));
    ASSERT_NE(date, nullptr);
    // An XML date carries whole seconds.
    EXPECT_NEAR(date->secondsSince1970, k2001 + (binary ? 100.5 : 100), 0.001);
    EXPECT_EQ(values.at("exporter.lastCount"), PreferenceValue(std::int64_t{1234}));
    EXPECT_EQ(values.at("negative"), PreferenceValue(std::int64_t{-42}));
    EXPECT_EQ(values.at("ratio"), PreferenceValue(0.25));
    EXPECT_EQ(values.at("yes"), PreferenceValue(true));
    EXPECT_EQ(values.at("no"), PreferenceValue(false));
    if (binary) {
      EXPECT_EQ(values.at("uid"), PreferenceValue(std::int64_t{7}));
    } else {
      const auto* uid = std::get_if<std::string>(&values.at("uid"));
      ASSERT_NE(uid, nullptr);
      EXPECT_NE(uid->find("<key>CF$UID</key>"), std::string::npos);
    }
    const auto* list = std::get_if<std::string>(&values.at("list"));
    ASSERT_NE(list, nullptr);
    EXPECT_NE(list->find("<array>"), std::string::npos);
    EXPECT_NE(list->find("first element"), std::string::npos);
    EXPECT_NE(list->find("99"), std::string::npos);
    const auto* nested = std::get_if<std::string>(&values.at("nested"));
    ASSERT_NE(nested, nullptr);
    EXPECT_NE(nested->find("<key>innerKey</key>"), std::string::npos);
    EXPECT_NE(nested->find("inner value"), std::string::npos);
  }

  testing::TempDir temp;
  plist_t root = nullptr;
};

TEST_F(PropertyListReaderTest, readsEveryKindFromABinaryPropertyList) {
  buildEverything();
  const auto values = PropertyListReader::read(writeBinary(root));
  ASSERT_TRUE(values);
  expectEverything(*values, true);
}

TEST_F(PropertyListReaderTest, readsEveryKindFromAnXMLPropertyList) {
  buildEverything();
  const auto values = PropertyListReader::read(writeXML(root));
  ASSERT_TRUE(values);
  expectEverything(*values, false);
}

// Written by hand, so the dates' epoch is checked against the format, not
// against the library that also reads them.
TEST_F(PropertyListReaderTest, countsDatesFrom2001InUTC) {
  const auto file = write("dates.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>exporter.lastExport</key><date>2024-03-01T12:00:00Z</date>
  <key>epoch</key><date>2001-01-01T00:00:10Z</date>
  <key>older</key><date>1999-12-31T00:00:00Z</date>
</dict>
</plist>
)");
  const auto values = PropertyListReader::read(file);
  ASSERT_TRUE(values);
  EXPECT_EQ(values->at("exporter.lastExport"), PreferenceValue(PreferenceDate{1709294400}));
  EXPECT_EQ(values->at("epoch"), PreferenceValue(PreferenceDate{k2001 + 10}));
  EXPECT_EQ(values->at("older"), PreferenceValue(PreferenceDate{946598400}));
}

TEST_F(PropertyListReaderTest, anEmptyDictionaryGivesNoValues) {
  root = plist_new_dict();
  const auto values = PropertyListReader::read(writeBinary(root));
  ASSERT_TRUE(values);
  EXPECT_TRUE(values->empty());
}

TEST_F(PropertyListReaderTest, aTopLevelOtherThanADictionaryFailsWithItsCause) {
  root = plist_new_array();
  plist_array_append_item(root, plist_new_string("sync.deviceID"));
  const auto binary = writeBinary(root);
  EXPECT_EQ(failureOf(binary),
            "read " + binary.string() + ": the property list is not a dictionary");
  const auto xml = writeXML(root);
  EXPECT_EQ(failureOf(xml), "read " + xml.string() + ": the property list is not a dictionary");
  plist_free(root);
  root = plist_new_string("just text");
  EXPECT_NE(failureOf(writeXML(root)).find(": the property list is not a dictionary"),
            std::string::npos);
}

TEST_F(PropertyListReaderTest, aMissingFileGivesNothing) {
  EXPECT_FALSE(PropertyListReader::read(temp / "missing.plist"));
}

TEST_F(PropertyListReaderTest, garbageEmptyTruncatedOrOtherFilesFailWithTheirCause) {
  const auto garbage = write("garbage.plist", "\x01\x02 not a property list");
  EXPECT_EQ(failureOf(garbage), "read " + garbage.string() + ": not a property list");
  const auto empty = write("empty.plist", "");
  EXPECT_EQ(failureOf(empty), "read " + empty.string() + ": the file is empty");
  EXPECT_EQ(failureOf(temp.path()), "read " + temp.path().string() + ": not a regular file");

  buildEverything();
  const auto whole = writeBinary(root);
  std::ifstream in(whole, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto cut = write("cut.plist", bytes.substr(0, bytes.size() / 2));
  EXPECT_EQ(failureOf(cut), "read " + cut.string() + ": not a property list");
  const auto cutXml = write("cut.xml", "<?xml version=\"1.0\"?><plist><dict><key>a</key>");
  EXPECT_EQ(failureOf(cutXml), "read " + cutXml.string() + ": not a property list");
}

TEST_F(PropertyListReaderTest, aFileThisUserCannotOpenFailsWithTheSystemsWords) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens any file";
  buildEverything();
  const auto file = writeBinary(root);
  std::filesystem::permissions(file, std::filesystem::perms::none);
  EXPECT_EQ(failureOf(file), "open " + file.string() + ": " + std::strerror(EACCES));
}

}  // namespace
}  // namespace lumenfolio
