#include "library_fuzz/package_snapshot.hpp"

#include <fstream>
#include <sstream>

namespace lumenfolio::fuzz {
namespace fs = std::filesystem;
namespace {

std::string contentOf(const fs::directory_entry& entry) {
  const auto status = entry.symlink_status();
  if (fs::is_symlink(status)) return "link to " + fs::read_symlink(entry.path()).string();
  if (fs::is_directory(status)) return "folder";
  if (!fs::is_regular_file(status)) return "special file";
  std::ifstream in(entry.path(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) return "unreadable file";
  return "file " + bytes.str();
}

std::string kindOf(const std::string& content) {
  if (content.starts_with("file ")) {
    return "file of " + std::to_string(content.size() - 5) + " bytes";
  }
  return content;
}

}  // namespace

PackageSnapshot PackageSnapshot::of(const fs::path& package) {
  PackageSnapshot snapshot;
  for (const auto& entry : fs::recursive_directory_iterator(package)) {
    snapshot.entries_[fs::relative(entry.path(), package).string()] = contentOf(entry);
  }
  return snapshot;
}

std::string PackageSnapshot::differencesIn(const PackageSnapshot& later) const {
  std::string differences;
  auto note = [&](const std::string& path, const std::string& what) {
    differences += path + ": " + what + "\n";
  };
  for (const auto& [path, content] : entries_) {
    const auto found = later.entries_.find(path);
    if (found == later.entries_.end()) {
      note(path, "removed");
    } else if (found->second != content) {
      note(path, kindOf(content) + " became " + kindOf(found->second) +
                     (kindOf(content) == kindOf(found->second) ? " with other bytes" : ""));
    }
  }
  for (const auto& [path, content] : later.entries_) {
    if (!entries_.contains(path)) note(path, "added (" + kindOf(content) + ")");
  }
  return differences;
}

}  // namespace lumenfolio::fuzz
