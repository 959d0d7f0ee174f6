// Reads a property-list file (binary or XML) whose top level is a dictionary.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "sync/preferences.hpp"

namespace lumenfolio {

class PropertyListReader {
 public:
  // Each value keeps its kind: data as bytes, string as text, date as date,
  // integer, real and boolean as themselves, a UID as its integer. Arrays and
  // dictionaries, which no preference kind holds, become the text of their own
  // XML property list, so nothing is lost. Nothing when there is no file; a
  // Failure naming the file and why when it cannot be read or its top level
  // is not a dictionary.
  static std::optional<std::map<std::string, PreferenceValue>> read(
      const std::filesystem::path& file);
};

}  // namespace lumenfolio
