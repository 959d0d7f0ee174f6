#include "base/key_value_file.hpp"

#include <fstream>

namespace lumenfolio {

namespace {

constexpr std::string_view kBlanks = " \t\r";

}  // namespace

std::vector<KeyValueFile::Entry> KeyValueFile::read(const std::filesystem::path& file) {
  std::ifstream stream(file);
  std::vector<Entry> entries;
  std::string group;
  for (std::string line; std::getline(stream, line);) {
    const auto text = trimmed(line);
    if (text.starts_with('[')) {
      group = text;
      continue;
    }
    const auto equals = text.find('=');
    if (equals == std::string::npos) continue;
    // The value keeps its trailing blanks: a quoted value may end in them.
    const auto start = line.find_first_not_of(kBlanks);
    entries.push_back({group, trimmed(std::string_view(text).substr(0, equals)),
                       line.substr(start + equals + 1)});
  }
  return entries;
}

std::optional<std::string> KeyValueFile::lastValue(const std::filesystem::path& file,
                                                   const std::string& key) {
  std::optional<std::string> found;
  for (auto& entry : read(file)) {
    if (entry.group.empty() && entry.key == key) found = std::move(entry.value);
  }
  return found;
}

std::string KeyValueFile::trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace lumenfolio
