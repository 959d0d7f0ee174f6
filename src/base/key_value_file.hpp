// A file of KEY=value lines: the shell-style assignments of user-dirs.dirs and
// machine-info, and the groups of a desktop entry.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lumenfolio {

class KeyValueFile {
 public:
  struct Entry {
    std::string group;  // the last "[…]" line above, as written; empty before any
    std::string key;    // the text before the first '=', without surrounding blanks
    std::string value;  // the text after it as written: each format unquotes its own way
  };

  // Every line holding a '=' in file order; a file that cannot be read has none.
  static std::vector<Entry> read(const std::filesystem::path& file);
  // The value of the last line for `key` outside any group.
  static std::optional<std::string> lastValue(const std::filesystem::path& file,
                                              const std::string& key);
  // `text` without the blanks (space, tab, carriage return) around it.
  static std::string trimmed(std::string_view text);
};

}  // namespace lumenfolio
