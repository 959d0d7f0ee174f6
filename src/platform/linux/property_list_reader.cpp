#include "platform/linux/property_list_reader.hpp"

#include <fcntl.h>
#include <plist/plist.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <system_error>

#include "base/failure.hpp"
#include "base/unique_fd.hpp"

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

// Nothing when there is no file. Anything but a regular file is refused
// before it is opened: a fifo would block the read.
std::optional<std::string> fileContents(const std::filesystem::path& file) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  if (status.type() == std::filesystem::file_type::not_found) return std::nullopt;
  if (error) throw Failure("look at", file, error.message());
  if (!std::filesystem::is_regular_file(status)) throw Failure("read", file, "not a regular file");
  const UniqueFd descriptor(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!descriptor) throw Failure::fromErrno("open", file, errno);
  std::string contents;
  std::array<char, 65536> buffer;
  for (;;) {
    const auto got = ::read(descriptor.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw Failure::fromErrno("read", file, errno);
    if (got == 0) return contents;
    contents.append(buffer.data(), static_cast<std::size_t>(got));
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
  if (!contents) return std::nullopt;
  if (contents->empty()) throw Failure("read", file, "the file is empty");
  if (contents->size() > std::numeric_limits<std::uint32_t>::max()) {
    throw Failure("read", file, "too large for a property list");
  }
  plist_t root = nullptr;
  plist_from_memory(contents->data(), static_cast<std::uint32_t>(contents->size()), &root);
  const PlistPointer owned(root);
  if (root == nullptr) throw Failure("read", file, "not a property list");
  if (plist_get_node_type(root) != PLIST_DICT) {
    throw Failure("read", file, "the property list is not a dictionary");
  }
  return entriesOf(root);
}

}  // namespace lumenfolio
