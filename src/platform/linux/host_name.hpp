// The computer's user-visible name: PRETTY_HOSTNAME from /etc/machine-info
// when it is set there, else the kernel's host name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace lumenfolio {

class HostName {
 public:
  static constexpr const char* kMachineInfo = "/etc/machine-info";

  static std::optional<std::string> localizedName(
      const std::filesystem::path& machineInfo = kMachineInfo);

  // The unquoted PRETTY_HOSTNAME of a machine-info file, when it has a non-empty one.
  static std::optional<std::string> prettyHostName(const std::filesystem::path& machineInfo);
};

}  // namespace lumenfolio
