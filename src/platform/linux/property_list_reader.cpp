#include "platform/linux/property_list_reader.hpp"

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

namespace lumenfolio {

namespace {

// Property-list dates count from 2001-01-01 00:00:00 UTC.
constexpr double kSecondsFrom1970To2001 = 978307200;

struct PlistFree {
  void operator()(plist_t node) const noexcept { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistFree>;

struct MallocFree {
  void operator()(void* memory) const noexcept { std::free(memory); }
};
using MallocedText = std::unique_ptr<char, MallocFree>;

// libstdc++ throws from a read error (a directory, a failing disk) instead of
// setting a flag, so a file that cannot be read is caught here.
std::optional<std::string> fileContents(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return std::nullopt;
  try {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return contents;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string xmlText(plist_t node) {
  char* xml = nullptr;
  std::uint32_t length = 0;
  plist_to_xml(node, &xml, &length);
  std::string text = xml != nullptr ? std::string(xml, length) : std::string();
  plist_to_xml_free(xml);
  return text;
}

std::optional<PreferenceValue> valueOf(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_DATA: {
      char* bytes = nullptr;
      std::uint64_t length = 0;
      plist_get_data_val(node, &bytes, &length);
      const MallocedText owned(bytes);
      const auto* first = reinterpret_cast<const std::uint8_t*>(bytes);
      return bytes != nullptr ? Bytes(first, first + length) : Bytes();
    }
    case PLIST_STRING: {
      char* text = nullptr;
      plist_get_string_val(node, &text);
      const MallocedText owned(text);
      return std::string(text != nullptr ? text : "");
    }
    case PLIST_DATE: {
      std::int32_t seconds = 0;
      std::int32_t microseconds = 0;
      plist_get_date_val(node, &seconds, &microseconds);
      return PreferenceDate{kSecondsFrom1970To2001 + seconds + microseconds / 1e6};
    }
    case PLIST_UINT: {
      // Negative integers arrive as their 64-bit two's complement.
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      return static_cast<std::int64_t>(value);
    }
    case PLIST_UID: {
      std::uint64_t value = 0;
      plist_get_uid_val(node, &value);
      return static_cast<std::int64_t>(value);
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return value;
    }
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return value != 0;
    }
    case PLIST_ARRAY:
    case PLIST_DICT:
      return xmlText(node);
    default:
      return std::nullopt;
  }
}

std::map<std::string, PreferenceValue> entriesOf(plist_t dictionary) {
  std::map<std::string, PreferenceValue> entries;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(dictionary, &iterator);
  const MallocedText ownedIterator(static_cast<char*>(iterator));
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(dictionary, iterator, &key, &value);
    const MallocedText ownedKey(key);
    if (key == nullptr || value == nullptr) break;
    if (auto converted = valueOf(value)) entries.insert_or_assign(key, std::move(*converted));
  }
  return entries;
}

}  // namespace

std::optional<std::map<std::string, PreferenceValue>> PropertyListReader::read(
    const std::filesystem::path& file) {
  const auto contents = fileContents(file);
  if (!contents || contents->empty() ||
      contents->size() > std::numeric_limits<std::uint32_t>::max()) {
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(contents->data(), static_cast<std::uint32_t>(contents->size()), &root);
  const PlistPointer owned(root);
  if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
  return entriesOf(root);
}

}  // namespace lumenfolio
