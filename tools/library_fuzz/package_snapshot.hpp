// Every entry of a library package as it lies on disk — regular files with
// their bytes, links with their targets, folders and other files by kind — so
// a run can prove that it left the package exactly as it found it. Links are
// never followed and special files never opened: a fifo would block the read
// and a link to /dev/zero would never end it.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace lumenfolio::fuzz {

class PackageSnapshot {
 public:
  static PackageSnapshot of(const std::filesystem::path& package);

  // The entries that differ in `later`, one per line; empty when nothing does.
  std::string differencesIn(const PackageSnapshot& later) const;

 private:
  std::map<std::string, std::string> entries_;  // by relative path: kind and content
};

}  // namespace lumenfolio::fuzz
